// scrpack list and verify: show and check an installer's package, reading it
// with the stub's own locator, walk, size reader and package check, so that
// what the tool says is what the stub would do.
#include "tools/scrpack/scrpack.h"

#include "decode/decode.h"
#include "tools/authoring/codepage.h"

#include <cstring>

namespace scrpack {

namespace {

std::string Offset(uint64_t value) {
    char text[40];
    std::snprintf(text, sizeof text, "%llu (0x%llX)", (unsigned long long)value, (unsigned long long)value);
    return text;
}

// The extension's bytes, with anything unprintable as \xNN.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

const char* Role(int index) {
    return index == ENTRY_SAVER ? "screen saver" : index == ENTRY_DATA ? "data file" : "extra file";
}

}  // namespace

std::string DescribeCheck(const std::string& path, PackageStatus status, const PackageCheck& check) {
    std::string at = path + ": at offset " + Offset(check.badRecord) + ": ";
    std::string entry = "entry " + std::to_string(check.badIndex);
    const CatalogueEntry& e = check.badEntry;
    switch (status) {
    case PACKAGE_OK:
        return path + ": ok";
    case PACKAGE_CANNOT_OPEN:
        return path + ": cannot open for reading";
    case PACKAGE_SHORT_HEADER:
        return at + "expected a PE header or resource directory record, but the file ends there: no package found";
    case PACKAGE_NO_RESOURCES:
        return path + ": expected a section named \".rsrc\" among the NumberOfSections section headers, found "
                      "none: no package found";
    case PACKAGE_BAD_RESOURCE_DATA:
        return at + "expected the first resource's data inside the file, but it lies outside: no package found";
    case PACKAGE_DAMAGED:
        if (check.badRecord == check.position)
            return at + "expected the 34-byte catalogue header (title and first file number), but the file ends "
                        "first";
        return at + "expected catalogue " + entry + " (16 bytes), but the file ends at " + Offset(check.fileSize) +
               ": the catalogue has no terminating entry";
    case PACKAGE_ENTRY_OUTSIDE:
        return at + entry + ": expected its " + std::to_string(e.storedSize) + " stored bytes at offset " +
               Offset(e.fileOffset) + " to lie inside the file of " + std::to_string(check.fileSize) + " bytes";
    case PACKAGE_NO_ENTRIES:
        return at + "expected catalogue entry 0, found the terminating entry: the package lists no files";
    case PACKAGE_BAD_EXTENSION:
        return path + ": at offset " + Offset(uint64_t(check.badRecord) + ENTRY_EXTENSION) + ": " + entry +
               ": expected an extension without path separators, colons or control characters, found \"" +
               Printable(e.extension) + "\"";
    }
    return path + ": " + PackageStatusName(status);
}

int CheckExitCode(PackageStatus status) {
    return status == PACKAGE_CANNOT_OPEN ? kExitIo : kExitBadData;
}

namespace {

int ListPackage(const std::string& path, HFILE package, uint32_t position) {
    uint8_t title[CAT_TITLE_SIZE + 1] = {};
    if (_lread(package, title, CAT_TITLE_SIZE) != CAT_TITLE_SIZE) {
        PackageCheck check = {};
        check.badRecord = check.position = position;
        return Fail(kExitBadData, DescribeCheck(path, PACKAGE_DAMAGED, check));
    }
    _llseek(package, (LONG)position, FILE_BEGIN);

    std::string saver, base;
    if (!InstallerNames(path, &saver, &base))
        return Fail(kExitUsage, path + ": the file name is too long for the installer's names");

    CatalogueWalk walk;
    bool more = BeginWalk(&walk, package) != 0;
    std::printf("Installer:      %s\n", path.c_str());
    std::printf("Title:          \"%s\"\n", authoring::Cp1252ToUtf8((const char*)title).c_str());
    std::printf("First number:   %u\n", (unsigned)walk.firstNumber);
    std::printf("Package at:     %s\n", Offset(position).c_str());
    std::printf("\n%5s  %-12s  %-44s %10s %10s %10s  %s\n", "index", "role", "installed as (in the Windows directory)",
                "offset", "stored", "original", "kind");
    for (; more; more = NextEntry(&walk) != 0) {
        const CatalogueEntry& e = walk.entry;
        std::string relative = EntryName(walk.index, walk.firstNumber, e, saver, base);
        if (relative.empty()) relative = "(name too long)";
        bool compressed = e.originalSize != 0;
        std::printf("%5d  %-12s  %-44s %10u %10u %10u  %s\n", walk.index, Role(walk.index), relative.c_str(),
                    (unsigned)e.fileOffset, (unsigned)e.storedSize,
                    (unsigned)(compressed ? e.originalSize : e.storedSize), compressed ? "compressed" : "stored");
    }
    if (walk.status != PACKAGE_OK) return kExitBadData;  // the check below names the place

    uint32_t total = 0;
    _llseek(package, (LONG)position, FILE_BEGIN);
    ReadTotalSize(package, &total);
    std::printf("\nTotal installed size: %s bytes (%u KB)%s\n", Grouped(total).c_str(), (unsigned)(total / 1024),
                total == 0xFFFFFFFFu ? ", at the limit: the real sum is larger" : "");
    return kExitOk;
}

}  // namespace

int List(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {}, {}, &args, &error)) return UsageError("list", error);
    if (args.help) {
        std::fputs(kListHelp, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 1) return UsageError("list", "expected one INSTALLER");
    const std::string& path = args.positional[0];

    PackageStatus status;
    PackageResource found;
    HFILE package = LocatePackageResource(path.c_str(), &status, &found);
    if (package == HFILE_ERROR) {
        PackageCheck check = {};
        check.badRecord = found.failedAt;
        return Fail(CheckExitCode(status), DescribeCheck(path, status, check));
    }
    int code = ListPackage(path, package, found.position);
    _lclose(package);
    if (code == kExitOk || code == kExitBadData) {
        PackageCheck check;
        status = CheckPackageDetail(path.c_str(), &check);
        if (status != PACKAGE_OK) return Fail(CheckExitCode(status), DescribeCheck(path, status, check));
    }
    return code;
}

namespace {

// Expands every compressed entry into nothing, checking it comes out whole.
int VerifyStreams(const std::string& path, int* compressed, uint32_t* total) {
    PackageStatus status;
    PackageResource found;
    HFILE package = LocatePackageResource(path.c_str(), &status, &found);
    if (package == HFILE_ERROR) return Fail(CheckExitCode(status), path + ": " + PackageStatusName(status));
    std::vector<CatalogueEntry> entries;
    CatalogueWalk walk;
    for (bool more = BeginWalk(&walk, package) != 0; more; more = NextEntry(&walk) != 0) entries.push_back(walk.entry);
    _llseek(package, (LONG)found.position, FILE_BEGIN);
    ReadTotalSize(package, total);
    _lclose(package);

    FILE* in = std::fopen(path.c_str(), "rb");
    FILE* sink = std::fopen("/dev/null", "wb");
    int code = in && sink ? kExitOk : Fail(kExitIo, path + ": cannot open for reading");
    for (size_t i = 0; i < entries.size() && code == kExitOk; i++) {
        const CatalogueEntry& e = entries[i];
        if (e.originalSize == 0) continue;
        ++*compressed;
        if (std::fseek(in, (long)e.fileOffset, SEEK_SET) != 0) {
            code = Fail(kExitIo, path + ": cannot seek to offset " + std::to_string(e.fileOffset));
            break;
        }
        DecodeOutcome outcome = DecodeEntry(in, sink, e.originalSize, e.storedSize);
        if (!outcome.whole(e.originalSize))
            code = Fail(kExitBadData, path + ": at offset " + Offset(e.fileOffset) + ": entry " + std::to_string(i) +
                                          ": expected its compressed stream of " + std::to_string(e.storedSize) +
                                          " bytes to expand to " + std::to_string(e.originalSize) + " bytes, got " +
                                          std::to_string(outcome.produced) + " (" +
                                          DecodeStatusText(outcome.status) + ")");
    }
    if (in) std::fclose(in);
    if (sink) std::fclose(sink);
    return code;
}

}  // namespace

int Verify(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {}, {}, &args, &error)) return UsageError("verify", error);
    if (args.help) {
        std::fputs(kVerifyHelp, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 1) return UsageError("verify", "expected one INSTALLER");
    const std::string& path = args.positional[0];

    PackageCheck check;
    PackageStatus status = CheckPackageDetail(path.c_str(), &check);
    if (status != PACKAGE_OK) {
        int code = Fail(CheckExitCode(status), DescribeCheck(path, status, check));
        std::printf("%s: BAD: %s\n", path.c_str(), PackageStatusName(status));
        return code;
    }
    int compressed = 0;
    uint32_t total = 0;
    int code = VerifyStreams(path, &compressed, &total);
    if (code != kExitOk) {
        std::printf("%s: BAD: a compressed entry does not expand to its original size\n", path.c_str());
        return code;
    }
    std::printf("%s: OK: %u entries (%d compressed), %s bytes to install\n", path.c_str(),
                (unsigned)check.entryCount, compressed, Grouped(total).c_str());
    return kExitOk;
}

}  // namespace scrpack
