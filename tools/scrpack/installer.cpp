// Reading and checking an installer (see installer.h).
#include "tools/scrpack/installer.h"

#include "install/naming.h"
#include "platform/streams.h"
#include "res/resource.h"
#include "tools/authoring/codepage.h"
#include "tools/scrpack/cli.h"
#include "tools/scrpack/system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace scrpack {

namespace {

const uint64_t kLargestInstaller = 0x7FFFFFFFu;  // the last position the stub's file calls reach

// The temporary files that hold standard input: they have no name of their
// own to give the entries.
std::set<std::string>& StandardInputs() {
    static std::set<std::string> paths;
    return paths;
}

Problem Found(int exit, const std::string& message) {
    Problem p;
    p.exit = exit;
    p.message = message;
    return p;
}

std::string Reason(int error) {
    return sys::ErrorText(error ? error : EIO);
}

// The security directory of a PE32 program whose headers hold one (data
// directory 4, after the signature at `peAt`); left at none when the headers
// are cut short, or when it does not lie inside the file. False when a read
// inside the file failed (the reason in errno).
bool ReadSignatureDirectory(FILE* in, uint32_t peAt, uint64_t size, InstallerFile* out) {
    const uint32_t optional = PE_SIGNATURE_SIZE + COFF_HEADER_SIZE;
    const uint32_t entry = OPT_DATA_DIRECTORIES + DATA_DIRECTORY_SECURITY * 8;
    uint8_t headers[optional + entry + 8];
    if (uint64_t(peAt) + sizeof headers > size) return true;
    errno = 0;
    if (StreamSeek(in, (long)peAt, SEEK_SET) != 0 || StreamRead(headers, 1, sizeof headers, in) != sizeof headers)
        return false;
    uint16_t optionalSize = LoadU16(headers + PE_SIGNATURE_SIZE + COFF_SIZE_OF_OPTIONAL_HEADER);
    if (LoadU16(headers + optional + OPT_MAGIC) != PE32_MAGIC || optionalSize < entry + 8 ||
        LoadU32(headers + optional + OPT_NUMBER_OF_RVA_AND_SIZES) <= DATA_DIRECTORY_SECURITY)
        return true;
    uint32_t at = LoadU32(headers + optional + entry), length = LoadU32(headers + optional + entry + 4);
    if (length == 0 || at > size || length > size - at) return true;
    out->signatureOffset = at;
    out->signatureSize = length;
    return true;
}

// Before the stub's locator, which trusts nothing but says little: is this a
// file that can be read at all, and a Windows program (MZ, then PE\0\0 where
// e_lfanew points)?
Problem Probe(const std::string& path, InstallerFile* out) {
    if (sys::TargetAt(path) == sys::Node::Folder) return Found(kExitIo, Shown(path) + ": is a folder");
    errno = 0;
    FILE* in = StreamOpen(path.c_str(), "rb");
    if (!in) return Found(kExitIo, Shown(path) + ": cannot open it: " + Reason(errno));
    uint8_t dos[DOS_E_LFANEW + 4] = {}, pe[PE_SIGNATURE_SIZE] = {};
    // A regular file's size from the system: a position is a long, which on
    // Windows stops short of 2 GiB and more. Anything else by seeking.
    uint64_t size = 0;
    bool sized = false;
    if (sys::TargetAt(path) == sys::Node::File) {
        sized = sys::FileSize(path, &size);
    } else {
        long end = StreamSeek(in, 0, SEEK_END) == 0 ? ftell(in) : -1;
        sized = end >= 0;
        if (sized) size = (uint64_t)end;
    }
    errno = 0;
    size_t got = sized && StreamSeek(in, 0, SEEK_SET) == 0 ? StreamRead(dos, 1, sizeof dos, in) : 0;
    int error = errno;
    bool readFailed = !sized || (got < sizeof dos && !feof(in));
    bool windows = got == sizeof dos && dos[0] == 'M' && dos[1] == 'Z';
    uint32_t peAt = windows ? LoadU32(dos + DOS_E_LFANEW) : 0;
    if (windows) {
        errno = 0;
        got = peAt <= size && StreamSeek(in, (long)peAt, SEEK_SET) == 0 ? StreamRead(pe, 1, sizeof pe, in) : 0;
        windows = got == sizeof pe && std::memcmp(pe, "PE\0\0", 4) == 0;
        if (got < sizeof pe && peAt <= size && sizeof pe <= size - peAt) {  // inside the file: a read failed
            readFailed = true;
            error = errno;
        }
    }
    if (windows && !readFailed && !ReadSignatureDirectory(in, peAt, size, out)) {
        readFailed = true;
        error = errno;
    }
    StreamClose(in);
    if (readFailed) return Found(kExitIo, Shown(path) + ": cannot read it: " + Reason(error));
    if (!windows) return Found(kExitBadData, Shown(path) + ": not a Windows executable");
    if (size > kLargestInstaller)
        return Found(kExitBadData, Shown(path) + ": " + Grouped(size) +
                                       " bytes: too large for an installer, "
                                       "which stays below 2 GiB");
    out->fileSize = (uint32_t)size;
    return Problem();
}

std::string NoPackage(const InstallerFile& installer, const std::string& why) {
    return Shown(installer.path) + ": no installer package in this program (" + why + ")";
}

// The locator's failures, said without positions read from the file unless
// they lie inside it.
Problem LocatorProblem(const InstallerFile& installer, PackageStatus status, const PackageResource& found) {
    switch (status) {
    case PACKAGE_CANNOT_OPEN: return Found(kExitIo, Shown(installer.path) + ": cannot open it: " + Reason(errno));
    case PACKAGE_NO_RESOURCES: return Found(kExitBadData, NoPackage(installer, "it has no resource section"));
    case PACKAGE_BAD_RESOURCE_DATA:
        return Found(kExitBadData, NoPackage(installer, "its first resource's data lies outside the file"));
    default:
        if (errno != 0)  // a read failed: that says nothing about the file's contents
            return Found(kExitIo, Shown(installer.path) + ": cannot read it: " + Reason(errno));
        if (found.failedAt < installer.fileSize)
            return Found(kExitBadData, NoPackage(installer,
                                                 "its headers are cut short by the end of the file; the "
                                                 "last one starts at offset " +
                                                     Offset(found.failedAt)));
        return Found(kExitBadData, NoPackage(installer, "a header points past the end of the file"));
    }
}

// The stub's package check, said as what happened.
Problem CheckProblem(const InstallerFile& installer, PackageStatus status, const PackageCheck& check) {
    std::string at = Shown(installer.path) + ": at offset " + Offset(check.badRecord) + ": ";
    std::string entry = "entry " + std::to_string(check.badIndex);
    const CatalogueEntry& e = check.badEntry;
    switch (status) {
    case PACKAGE_OK: return Problem();
    case PACKAGE_DAMAGED:
        if (check.badRecord == check.position)
            return Found(kExitBadData, at +
                                           "the catalogue header (title and first file number, 34 bytes) is cut "
                                           "short by the end of the file at " +
                                           Offset(check.fileSize));
        return Found(kExitBadData, at + "the catalogue is cut short: " + entry +
                                       " (16 bytes) would start here, "
                                       "but the file ends at " +
                                       Offset(check.fileSize));
    case PACKAGE_ENTRY_OUTSIDE:
        return Found(kExitBadData, at + entry + ": its " + Grouped(e.storedSize) + " stored bytes at offset " +
                                       Offset(e.fileOffset) + " run past the end of the file (" +
                                       Grouped(check.fileSize) + " bytes)");
    case PACKAGE_NO_ENTRIES: return Found(kExitBadData, at + "the catalogue lists no files");
    case PACKAGE_BAD_EXTENSION:
        return Found(kExitBadData, Shown(installer.path) + ": at offset " +
                                       Offset(uint64_t(check.badRecord) + ENTRY_EXTENSION) + ": " + entry +
                                       ": its extension \"" + ShownCp1252(e.extension, true) +
                                       "\" holds a character Windows refuses in a file name");
    default: return Found(kExitBadData, Shown(installer.path) + ": " + PackageStatusName(status));
    }
}

// The most entries a catalogue can list in a file of `fileSize` bytes: each
// takes its 16-byte record and at least one stored byte of its own (a stored
// size of 0 ends the catalogue), outside the catalogue and apart from every
// other entry's (CheckLayout), and the header and the terminating record
// take 50 bytes more.
uint32_t MostEntries(uint32_t fileSize) {
    const uint32_t fixed = CAT_HEADER_SIZE + ENTRY_SIZE;
    return fileSize > fixed ? (fileSize - fixed) / (ENTRY_SIZE + 1) : 0;
}

// A record at `at` of `size` bytes that could not be read whole: cut short
// by the end of the file (damage, said by CheckProblem), or a read that
// failed inside it.
bool ReadFailedInside(const InstallerFile& installer, uint64_t at, uint64_t size) {
    return at <= installer.fileSize && size <= installer.fileSize - at;
}

Problem CannotRead(const InstallerFile& installer, int error) {
    return Found(kExitIo, Shown(installer.path) + ": cannot read it: " + Reason(error));
}

// The one walk of the catalogue, through the locator's handle: title, first
// number and every entry, at most MostEntries of them, then the stub's
// package check on what was read (a catalogue cut short first, then one that
// lists nothing, then the first entry at fault). What every later step uses:
// the catalogue is never read again.
Problem ReadCatalogue(HFILE package, InstallerFile* out) {
    PackageCheck check = {};
    check.position = out->position;
    check.fileSize = out->fileSize;
    check.badIndex = -1;
    char title[CAT_TITLE_SIZE + 1] = {};
    errno = 0;
    if (_lread(package, title, CAT_TITLE_SIZE) != CAT_TITLE_SIZE ||
        _llseek(package, (LONG)out->position, FILE_BEGIN) != (LONG)out->position) {
        if (ReadFailedInside(*out, out->position, CAT_HEADER_SIZE)) return CannotRead(*out, errno);
        check.badRecord = out->position;
        return CheckProblem(*out, PACKAGE_DAMAGED, check);
    }
    CatalogueWalk walk;
    errno = 0;
    bool more = BeginWalk(&walk, package) != 0;
    const uint64_t firstRecord = uint64_t(out->position) + CAT_HEADER_SIZE;
    if (walk.status != PACKAGE_OK && ReadFailedInside(*out, firstRecord, ENTRY_SIZE)) return CannotRead(*out, errno);
    if (firstRecord <= out->fileSize) {  // the header was read
        out->catalogueRead = true;
        out->title = title;
        out->firstNumber = walk.firstNumber;
    }
    if (!more && walk.status == PACKAGE_OK) {
        check.badIndex = 0;
        check.badRecord = (uint32_t)firstRecord;
        return CheckProblem(*out, PACKAGE_NO_ENTRIES, check);
    }
    PackageStatus entryFault = PACKAGE_OK;
    const uint32_t most = MostEntries(out->fileSize);
    for (; more; errno = 0, more = NextEntry(&walk) != 0) {
        uint32_t record = (uint32_t)walk.nextRecord - ENTRY_SIZE;
        if (out->entries.size() == most)
            return Found(kExitBadData, Shown(out->path) + ": at offset " + Offset(record) + ": entry " +
                                           std::to_string(walk.index) + ": the catalogue lists more entries than a " +
                                           "file of " + Grouped(out->fileSize) + " bytes can hold (" + Grouped(most) +
                                           "; each takes 16 bytes and a stored byte of its own)");
        InstallerEntry e;
        e.index = walk.index;
        e.raw = walk.entry;
        e.fault = CheckEntry(&walk, out->fileSize);
        out->entries.push_back(e);
        out->totalSize += e.installedSize();
        if (e.fault != PACKAGE_OK && entryFault == PACKAGE_OK) {
            entryFault = e.fault;
            check.badIndex = e.index;
            check.badRecord = record;
            check.badEntry = e.raw;
        }
    }
    if (walk.status == PACKAGE_OK) return CheckProblem(*out, entryFault, check);
    // The walk stopped at the record after the last one read (at nextRecord).
    uint64_t cut = out->entries.empty() ? firstRecord : uint64_t(walk.nextRecord);
    if (ReadFailedInside(*out, cut, ENTRY_SIZE)) return CannotRead(*out, errno);
    check.badEntry = CatalogueEntry();
    check.badIndex = walk.index;
    check.badRecord = cut <= out->fileSize ? (uint32_t)cut : out->position;
    return CheckProblem(*out, PACKAGE_DAMAGED, check);
}

// The name Windows would give a path: each component's trailing dots and
// blanks dropped, letters in upper case.
std::string WindowsKey(const std::string& name) {
    std::string key;
    for (std::string component : Components(name)) {
        while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
        key += (key.empty() ? "" : "\\") + component;
    }
    return authoring::UpperCaseCp1252(key);
}

std::string Relative(int index, uint16_t firstNumber, const std::string& extension, const std::string& saver,
                     const std::string& base) {
    char out[PATH_SIZE];
    if (!MakeEntryRelativePath(index, firstNumber, extension.c_str(), saver.c_str(), base.c_str(), out, sizeof out))
        return "";
    return out;
}

}  // namespace

Problem OpenArgument(const std::string& argument, std::unique_ptr<SpooledInput>* input, std::string* path) {
    *path = argument;
    if (argument != "-") return Problem();
    input->reset(new SpooledInput);
    std::string error;
    int code;
    if (!(*input)->Open(kLargestInstaller, "2 GiB or more: too large for an installer, which stays below 2 GiB", &error,
                        &code))
        return Found(code, error);
    *path = (*input)->path();
    StandardInputs().insert(*path);
    return Problem();
}

std::vector<std::string> Components(const std::string& windowsName) {
    std::vector<std::string> components(1);
    for (char c : windowsName) {
        if (c == '\\')
            components.emplace_back();
        else
            components.back() += c;
    }
    return components;
}

const char* RoleOf(int index) {
    return index == ENTRY_SAVER ? "screen saver" : index == ENTRY_DATA ? "data file" : "extra file";
}

const char* RoleKeyOf(int index) {
    return index == ENTRY_SAVER ? "saver" : index == ENTRY_DATA ? "data" : "extra";
}

const char* InstallerEntry::role() const {
    return RoleOf(index);
}

const char* InstallerEntry::roleKey() const {
    return RoleKeyOf(index);
}

bool NameEntries(const std::string& fileName, InstallerFile* installer) {
    // The names the stub derives from its own file name; what Windows would
    // call that name, in code page 1252, where the name has one.
    std::string windowsFileName;
    if (!sys::AnsiFromHost(fileName, &windowsFileName)) windowsFileName = fileName;
    char saver[PATH_SIZE], base[PATH_SIZE], windowsSaver[PATH_SIZE], windowsBase[PATH_SIZE];
    bool fit = MakeSaverFileName(fileName.c_str(), saver, sizeof saver) &&
               MakeBaseName(fileName.c_str(), base, sizeof base) &&
               MakeSaverFileName(windowsFileName.c_str(), windowsSaver, sizeof windowsSaver) &&
               MakeBaseName(windowsFileName.c_str(), windowsBase, sizeof windowsBase);
    for (InstallerEntry& e : installer->entries) {
        e.name = fit ? Relative(e.index, installer->firstNumber, sys::HostFromAnsi(e.raw.extension), saver, base) : "";
        e.windowsName =
            fit ? Relative(e.index, installer->firstNumber, e.raw.extension, windowsSaver, windowsBase) : "";
    }
    return fit;
}

Problem ReadInstaller(const std::string& path, InstallerFile* out) {
    *out = InstallerFile();
    out->path = path;
    Problem problem = Probe(path, out);
    if (problem.found()) return problem;

    PackageStatus status;
    PackageResource found;
    errno = 0;
    HFILE package = LocatePackageResource(path.c_str(), &status, &found);
    if (package == HFILE_ERROR) return LocatorProblem(*out, status, found);
    out->position = found.position;
    if (!(found.typeNameField & RES_SUBDIR_BIT)) {
        _lclose(package);
        return Found(kExitBadData, NoPackage(*out, "its first resource is not the package marker"));
    }
    problem = ReadCatalogue(package, out);
    _lclose(package);
    NameEntries(StandardInputs().count(path) ? kStandardInputName : sys::LastComponent(path), out);
    return problem;
}

std::vector<std::pair<size_t, size_t>> Clashes(const InstallerFile& installer) {
    std::vector<std::pair<size_t, size_t>> clashes;
    std::map<std::string, size_t> seen;
    for (size_t i = 0; i < installer.entries.size(); i++) {
        const InstallerEntry& e = installer.entries[i];
        if (e.windowsName.empty()) continue;
        auto placed = seen.emplace(WindowsKey(e.windowsName), i);
        if (!placed.second) clashes.emplace_back(placed.first->second, i);
    }
    return clashes;
}

Problem FindClash(const InstallerFile& installer) {
    std::vector<std::pair<size_t, size_t>> clashes = Clashes(installer);
    if (clashes.empty()) return Problem();
    const InstallerEntry& first = installer.entries[clashes[0].first];
    const InstallerEntry& later = installer.entries[clashes[0].second];
    return Found(kExitBadData, Shown(installer.path) + ": entry " + std::to_string(first.index) + " (" + first.role() +
                                   ") and entry " + std::to_string(later.index) + " (" + later.role() +
                                   ") would both install to " + Shown(first.name) +
                                   ": the later one would replace the earlier");
}

bool SeekEntry(FILE* in, const InstallerEntry& entry) {
    return entry.raw.fileOffset <= kLargestInstaller && StreamSeek(in, (long)entry.raw.fileOffset, SEEK_SET) == 0;
}

std::string ReadFailure(const InstallerFile& installer, const InstallerEntry& entry, int error) {
    return Shown(installer.path) + ": cannot read entry " + std::to_string(entry.index) + " at offset " +
           Offset(entry.raw.fileOffset) + ": " + Reason(error);
}

std::string DescribeStream(const InstallerFile& installer, const InstallerEntry& entry, DecodeStatus status) {
    std::string at = Shown(installer.path) + ": at offset " + Offset(entry.raw.fileOffset) + ": entry " +
                     std::to_string(entry.index) + ": its compressed stream ";
    switch (status) {
    case DECODE_OK: return "";
    case DECODE_SHORT_INPUT:
        return at + "is cut short: it needs more than its " + Grouped(entry.raw.storedSize) + " stored bytes to give " +
               Grouped(entry.raw.originalSize);
    case DECODE_OVERRUN:
        return at + "ends in a match that runs past its original size of " + Grouped(entry.raw.originalSize) + " bytes";
    case DECODE_UNSET_RING: return at + "copies from history it never wrote";
    default: return at + "cannot be read: " + DecodeStatusName(status);
    }
}

Problem CheckDeclaredSize(const InstallerFile& installer, const InstallerEntry& entry) {
    const CatalogueEntry& e = entry.raw;
    uint32_t most = MaxExpandedSize(e.storedSize);
    if (!entry.compressed() || e.originalSize <= most) return Problem();
    return Found(kExitBadData, Shown(installer.path) + ": at offset " + Offset(e.fileOffset) + ": entry " +
                                   std::to_string(entry.index) + ": it declares " + Grouped(e.originalSize) +
                                   " bytes, more than its " + Grouped(e.storedSize) +
                                   " stored bytes can give (at most " + Grouped(most) +
                                   "): it is cut short or "
                                   "its size is false");
}

Problem CheckStream(FILE* in, const InstallerFile& installer, const InstallerEntry& entry) {
    const CatalogueEntry& e = entry.raw;
    Problem declared = CheckDeclaredSize(installer, entry);
    if (declared.found()) return declared;
    FILE* sink = sys::OpenNullSink();
    if (!sink) return Found(kExitIo, "cannot open a null device: " + Reason(errno));
    DecodeStatus status = DECODE_CANNOT_OPEN;
    errno = 0;
    if (SeekEntry(in, entry)) {
        ExpandStream(in, sink, e.originalSize, e.storedSize, DECODE_STOP_WHEN_SHORT);
        status = ReadFailed() ? DECODE_CANNOT_OPEN : LastDecodeStatus();
    }
    int error = errno;
    StreamClose(sink);
    if (status == DECODE_CANNOT_OPEN) return Found(kExitIo, ReadFailure(installer, entry, error));
    if (status == DECODE_WRITE_FAILED) return Found(kExitIo, "cannot write to the null device: " + Reason(error));
    if (status != DECODE_OK) return Found(kExitBadData, DescribeStream(installer, entry, status));
    // The encoder's last byte holds the stream's last bits; one byte more is
    // let pass as padding.
    uint32_t used = LastDecodeUsedBytes();
    if (e.storedSize - used > 1)
        return Found(kExitBadData,
                     Shown(installer.path) + ": at offset " + Offset(e.fileOffset) + ": entry " +
                         std::to_string(entry.index) + ": its compressed stream gives all its original size (" +
                         Grouped(e.originalSize) + ") from the first " + Grouped(used) + " of its " +
                         Grouped(e.storedSize) + " stored bytes; the other " + Grouped(e.storedSize - used) +
                         " are never read: its original size is false, or bytes were added");
    return Problem();
}

Problem CheckLayout(const InstallerFile& installer) {
    // Each entry's stored bytes, and the catalogue (as index -1), by where
    // they start: sorted, a range that starts before the furthest end so far
    // overlaps the range of that end.
    struct Range {
        uint64_t start, end;
        int index;
    };
    std::vector<Range> ranges;
    ranges.reserve(installer.entries.size() + 1);
    uint64_t stored = 0;
    for (const InstallerEntry& e : installer.entries) {
        ranges.push_back({e.raw.fileOffset, uint64_t(e.raw.fileOffset) + e.raw.storedSize, e.index});
        stored += e.raw.storedSize;
    }
    uint64_t catalogue = CAT_HEADER_SIZE + uint64_t(ENTRY_SIZE) * (installer.entries.size() + 1);
    if (stored > installer.fileSize)
        return Found(kExitBadData, Shown(installer.path) + ": the entries' stored bytes add up to " + Grouped(stored) +
                                       ", more than the file's " + Grouped(installer.fileSize) + " bytes");
    ranges.push_back({installer.position, installer.position + catalogue, -1});
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
        return a.start != b.start ? a.start < b.start : a.index < b.index;
    });
    const Range* furthest = nullptr;
    for (const Range& r : ranges) {
        if (furthest && r.start < furthest->end) {
            const Range& first = furthest->index < r.index ? *furthest : r;
            const Range& other = furthest->index < r.index ? r : *furthest;
            std::string what = first.index < 0 ? "the catalogue" : "entry " + std::to_string(first.index);
            return Found(kExitBadData, Shown(installer.path) + ": at offset " + Offset(r.start) + ": entry " +
                                           std::to_string(other.index) + "'s stored bytes overlap those of " + what +
                                           ": an installer never shares stored bytes");
        }
        if (!furthest || r.end > furthest->end) furthest = &r;
    }
    return Problem();
}

std::vector<std::string> SafeComponents(const std::string& name) {
    std::vector<std::string> components = Components(name);
    for (const std::string& c : components)
        if (c.empty() || c == "." || c == ".." || c.find('/') != std::string::npos) return {};
    return components;
}

Problem CheckEntryName(const InstallerFile& installer, const InstallerEntry& entry) {
    Problem problem;
    if (entry.name.empty())
        problem = Found(kExitUsage, Shown(installer.path) + ": the file name is too long for the installer's names " +
                                        "(rename it)");
    else if (SafeComponents(entry.name).empty())
        problem = Found(kExitUsage, Shown(installer.path) + ": entry " + std::to_string(entry.index) +
                                        " would install to \"" + Shown(entry.name, true) +
                                        "\", which leaves the Windows directory (rename the installer)");
    problem.rename = problem.found();
    return problem;
}

Problem CheckInstaller(const std::string& path, InstallerFile* installer, int* compressed) {
    *compressed = 0;
    // In extract's order, so that both come to the same verdict.
    Problem problem = ReadInstaller(path, installer);
    if (!problem.found()) problem = CheckLayout(*installer);
    if (!problem.found()) problem = FindClash(*installer);
    for (size_t i = 0; !problem.found() && i < installer->entries.size(); i++)
        problem = CheckEntryName(*installer, installer->entries[i]);
    for (size_t i = 0; !problem.found() && i < installer->entries.size(); i++)
        problem = CheckDeclaredSize(*installer, installer->entries[i]);
    if (problem.found()) return problem;
    errno = 0;
    FILE* in = StreamOpen(path.c_str(), "rb");
    if (!in) return Found(kExitIo, Shown(path) + ": cannot open it: " + Reason(errno));
    uint64_t total = 0;
    for (const InstallerEntry& e : installer->entries)
        if (e.compressed()) total += e.raw.storedSize;
    Progress progress(Shown(path) + ": verifying", total);
    for (const InstallerEntry& e : installer->entries) {
        if (!e.compressed()) continue;
        ++*compressed;
        progress.Follow(in, e.raw.fileOffset);
        problem = CheckStream(in, *installer, e);
        progress.Unfollow(e.raw.storedSize);
        if (problem.found()) break;
    }
    StreamClose(in);
    return problem;
}

namespace {

// The pattern matches all of `name` (both folded), '*' and '?' never taking
// a '/'.
bool Matches(const char* pattern, const char* name) {
    for (;; pattern++, name++) {
        switch (*pattern) {
        case '\0': return *name == '\0';
        case '*':
            for (const char* rest = name;; rest++) {
                if (Matches(pattern + 1, rest)) return true;
                if (*rest == '\0' || *rest == '/') return false;
            }
        case '?':
            if (*name == '\0' || *name == '/') return false;
            break;
        case '[': {
            const char* at = pattern + 1;
            bool negated = *at == '!' || *at == '^';
            if (negated) at++;
            bool found = false;
            const char* first = at;
            for (; *at && (*at != ']' || at == first); at++) {
                unsigned char low = (unsigned char)*at, high = low;
                if (at[1] == '-' && at[2] && at[2] != ']') {
                    high = (unsigned char)at[2];
                    at += 2;
                }
                if ((unsigned char)*name >= low && (unsigned char)*name <= high) found = true;
            }
            if (*at != ']') {  // no closing bracket: an ordinary '['
                if (*name != '[') return false;
                break;
            }
            if (*name == '\0' || *name == '/' || found == negated) return false;
            pattern = at;
            break;
        }
        default:
            if (*pattern != *name) return false;
        }
    }
}

std::string Folded(const std::string& ansi) {
    std::string out = authoring::UpperCaseCp1252(ansi);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace

Selection::Selection(const std::vector<std::string>& patterns) : given_(patterns), matched_(patterns.size()) {
    for (const std::string& pattern : patterns) {
        std::string ansi;
        if (!sys::AnsiFromHost(pattern, &ansi)) ansi = pattern;  // then it matches only what it spells alike
        folded_.push_back(Folded(ansi));
    }
}

bool Selection::Picks(const InstallerEntry& entry) {
    if (all()) return true;
    if (entry.windowsName.empty()) return false;
    std::string path = Folded(entry.windowsName);
    std::string fileName = path.substr(path.rfind('/') + 1);
    bool picked = false;
    for (size_t i = 0; i < folded_.size(); i++) {
        bool anyFolder = folded_[i].find('/') == std::string::npos;
        if (!Matches(folded_[i].c_str(), anyFolder ? fileName.c_str() : path.c_str())) continue;
        matched_[i] = true;
        picked = true;
    }
    return picked;
}

int Selection::ReportUnmatched(const InstallerFile& installer) {
    int code = kExitOk;
    for (size_t i = 0; i < given_.size(); i++) {
        if (!matched_[i])
            code = Error(kExitUsage, Shown(installer.path) + ": no entry matches \"" + Shown(given_[i], true) + "\"");
        matched_[i] = false;
    }
    return code;
}

// --- The installer's language --------------------------------------------

namespace {

const uint32_t kLargestStub = 16u << 20;  // a stub part beyond this is no stub of ours
const uint16_t kResourceTypeDialog = 5;
const uint32_t kDialogSetFont = 0x40;  // DS_SETFONT: a point size and a font name follow the caption

// Bounds-checked little-endian reads of the stub part; every offset comes
// from the file.
struct Image {
    std::vector<uint8_t> bytes;
    bool Has(uint64_t offset, uint64_t size) const { return offset <= bytes.size() && size <= bytes.size() - offset; }
    bool U16(uint64_t offset, uint16_t* v) const { return Has(offset, 2) && (*v = LoadU16(&bytes[offset]), true); }
    bool U32(uint64_t offset, uint32_t* v) const { return Has(offset, 4) && (*v = LoadU32(&bytes[offset]), true); }
};

// The entry of numeric id `id` in the resource directory at `directory`
// (offsets from the resource section's start `base`): its offset field.
bool FindResourceEntry(const Image& image, uint64_t base, uint32_t directory, uint32_t id, uint32_t* field) {
    uint16_t named, ids;
    const uint64_t at = base + directory;
    if (!image.U16(at + RES_DIR_NAMED_COUNT, &named) || !image.U16(at + RES_DIR_ID_COUNT, &ids)) return false;
    for (uint32_t i = named; i < uint32_t(named) + ids; i++) {
        uint32_t name;
        const uint64_t entry = at + RES_DIR_HEADER_SIZE + uint64_t(i) * RES_DIR_ENTRY_SIZE;
        if (!image.U32(entry + RES_ENTRY_NAME, &name) || !image.U32(entry + RES_ENTRY_OFFSET, field)) return false;
        if (name == id) return true;
    }
    return false;
}

// The data of resource `type`/`name` (its first language) as a range of the
// image; false on any doubt.
bool FindResourceData(const Image& image, uint16_t type, uint16_t name, uint64_t* offset, uint32_t* size) {
    uint32_t peHeader, rva = 0, sectionSize = 0, raw = 0;
    uint16_t sections, optionalSize;
    if (!image.U32(DOS_E_LFANEW, &peHeader) ||
        !image.U16(uint64_t(peHeader) + PE_SIGNATURE_SIZE + COFF_NUMBER_OF_SECTIONS, &sections) ||
        !image.U16(uint64_t(peHeader) + PE_SIGNATURE_SIZE + COFF_SIZE_OF_OPTIONAL_HEADER, &optionalSize))
        return false;
    uint64_t table = uint64_t(peHeader) + PE_SIGNATURE_SIZE + COFF_HEADER_SIZE + optionalSize;
    bool found = false;
    for (uint16_t k = 0; k < sections && !found; k++) {
        uint64_t header = table + uint64_t(k) * SECTION_HEADER_SIZE;
        if (!image.Has(header, SECTION_HEADER_SIZE)) return false;
        found = std::memcmp(&image.bytes[header + SECTION_NAME], ".rsrc", 6) == 0;
        if (found) {
            image.U32(header + SECTION_VIRTUAL_ADDRESS, &rva);
            image.U32(header + SECTION_SIZE_OF_RAW_DATA, &sectionSize);
            image.U32(header + SECTION_POINTER_TO_RAW_DATA, &raw);
        }
    }
    uint32_t field = 0;
    if (!found || !FindResourceEntry(image, raw, 0, type, &field) || !(field & RES_SUBDIR_BIT) ||
        !FindResourceEntry(image, raw, field & ~RES_SUBDIR_BIT, name, &field) || !(field & RES_SUBDIR_BIT))
        return false;
    uint16_t named, ids;
    const uint64_t languages = uint64_t(raw) + (field & ~RES_SUBDIR_BIT);
    if (!image.U16(languages + RES_DIR_NAMED_COUNT, &named) || !image.U16(languages + RES_DIR_ID_COUNT, &ids) ||
        named + ids == 0 || !image.U32(languages + RES_DIR_HEADER_SIZE + RES_ENTRY_OFFSET, &field) ||
        (field & RES_SUBDIR_BIT) || field >= sectionSize)
        return false;
    uint32_t dataRva;
    if (!image.U32(uint64_t(raw) + field + RES_DATA_RVA, &dataRva) ||
        !image.U32(uint64_t(raw) + field + RES_DATA_SIZE, size) || dataRva < rva || dataRva - rva >= sectionSize)
        return false;
    *offset = uint64_t(raw) + (dataRva - rva);
    return image.Has(*offset, *size);
}

// A string of a dialog template (caption, class or control text) at *at, as
// UTF-8: 0 for none, 0xFFFF and an ordinal (shown as "#N"), or UTF-16 up to
// its NUL. Moves *at past it.
bool ReadTemplateString(const Image& image, uint64_t end, uint64_t* at, std::string* out) {
    out->clear();
    uint16_t c;
    if (*at + 2 > end || !image.U16(*at, &c)) return false;
    if (c == 0xFFFF) {
        if (*at + 4 > end || !image.U16(*at + 2, &c)) return false;
        *at += 4;
        *out = "#" + std::to_string(c);
        return true;
    }
    for (;;) {
        if (*at + 2 > end || !image.U16(*at, &c)) return false;
        *at += 2;
        if (c == 0) return true;
        if (c >= 0xD800 && c <= 0xDFFF) return false;  // none of our texts needs a surrogate pair
        if (c < 0x80) {
            *out += char(c);
        } else if (c < 0x800) {
            *out += char(0xC0 | c >> 6);
            *out += char(0x80 | (c & 0x3F));
        } else {
            *out += char(0xE0 | c >> 12);
            *out += char(0x80 | (c >> 6 & 0x3F));
            *out += char(0x80 | (c & 0x3F));
        }
    }
}

// The texts of a standard dialog template, as UTF-8: its caption, then each
// control's text in template order. An extended template is none of ours.
bool ReadDialogTexts(const Image& image, uint64_t offset, uint32_t size, std::vector<std::string>* texts) {
    const uint64_t end = offset + size;
    uint32_t style;
    uint16_t count, signature;
    if (size < 18 || !image.U32(offset, &style) || !image.U16(offset + 2, &signature) ||
        !image.U16(offset + 8, &count) || (signature == 0xFFFF && LoadU16(&image.bytes[offset]) == 1))
        return false;
    uint64_t at = offset + 18;
    std::string text;
    texts->clear();
    if (!ReadTemplateString(image, end, &at, &text) || !ReadTemplateString(image, end, &at, &text) ||
        !ReadTemplateString(image, end, &at, &text))  // menu, class, caption
        return false;
    texts->push_back(text);
    if (style & kDialogSetFont) {
        at += 2;  // point size
        if (!ReadTemplateString(image, end, &at, &text)) return false;
    }
    for (uint16_t i = 0; i < count; i++) {
        at = offset + ((at - offset + 3) & ~uint64_t(3));  // each control starts on a 4-byte boundary
        at += 18;                                          // style, extended style, place, size, id
        uint16_t extra;
        if (!ReadTemplateString(image, end, &at, &text) || !ReadTemplateString(image, end, &at, &text) ||
            at + 2 > end || !image.U16(at, &extra))  // class, text, creation data
            return false;
        texts->push_back(text);
        at += 2 + extra;
    }
    return at <= end;
}

// Every text of the two dialogs as res/stub.rc lays them out for `language`:
// the caption first, then each control's.
std::vector<std::string> ExpectedTexts(const InstallerLanguage& l, uint16_t dialog) {
    std::vector<const char*> texts;
    if (dialog == IDD_INSTALL) texts = {"", "OK", "Cancel", l.INSTALL_LINE_1, l.INSTALL_LINE_3, ""};
    if (dialog == IDD_ORDER_INFO)
        texts = {l.ORDER_CAPTION, l.ORDER_BANNER,   l.ORDER_MARK, "OK",         l.ORDER_MADE_WITH,
                 l.ORDER_PITCH,   l.ORDER_DOWNLOAD, l.ORDER_WEB,  l.ORDER_MAKER};
    std::vector<std::string> utf8;
    for (const char* text : texts) utf8.push_back(authoring::Cp1252ToUtf8(text));
    return utf8;
}

}  // namespace

Problem ReadLanguage(const InstallerFile& installer, const InstallerLanguage** language) {
    *language = nullptr;
    if (installer.position == 0 || installer.position > kLargestStub) return Problem();
    Image image;
    image.bytes.resize(installer.position);
    errno = 0;
    FILE* in = StreamOpen(installer.path.c_str(), "rb");
    if (!in) return Found(kExitIo, Shown(installer.path) + ": cannot open it: " + Reason(errno));
    errno = 0;
    bool read = StreamRead(image.bytes.data(), 1, image.bytes.size(), in) == image.bytes.size();
    int error = errno;
    StreamClose(in);
    if (!read) return CannotRead(installer, error);
    std::vector<std::string> dialogs[2];
    const uint16_t ids[2] = {IDD_INSTALL, IDD_ORDER_INFO};
    for (int d = 0; d < 2; d++) {
        uint64_t offset;
        uint32_t size;
        if (!FindResourceData(image, kResourceTypeDialog, ids[d], &offset, &size) ||
            !ReadDialogTexts(image, offset, size, &dialogs[d]))
            return Problem();
    }
    for (const InstallerLanguage& l : kInstallerLanguages)
        if (dialogs[0] == ExpectedTexts(l, ids[0]) && dialogs[1] == ExpectedTexts(l, ids[1])) *language = &l;
    return Problem();
}

}  // namespace scrpack
