// scrpack extract: writes every entry of an installer where its stub would,
// below a folder that stands for the Windows directory.
//
// Promises: nothing is written when the package check fails or, without
// --force, when any destination exists; nothing is written outside WINDIR
// (names are built by the stub's own rules, their components checked, and
// every folder's real path compared with WINDIR's, so a symbolic link cannot
// lead out); each file goes through a temporary file in its own folder and is
// renamed into place only when complete, so a failure leaves no partial file.
#include "tools/scrpack/scrpack.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace scrpack {

namespace {

namespace fs = std::filesystem;

struct Planned {
    CatalogueEntry entry;
    std::string relative;     // '/'-separated, below WINDIR
    std::string destination;  // WINDIR/relative
};

// The stub's '\'-separated name as a relative host path; "" when a component
// is empty, "." or "..".
std::string HostRelative(const std::string& name) {
    std::string out, component;
    for (size_t i = 0; i <= name.size(); i++) {
        if (i < name.size() && name[i] != '\\') {
            component += name[i];
            continue;
        }
        if (component.empty() || component == "." || component == ".." || component.find('/') != std::string::npos)
            return "";
        out += (out.empty() ? "" : "/") + component;
        component.clear();
    }
    return out;
}

// Every entry's destination. The package has passed the check; what can
// still fail is a name the installer's file name makes (exit 1).
int Plan(const std::string& installer, const std::string& windir, std::vector<Planned>* plan, std::string* error) {
    std::string saver, base;
    if (!InstallerNames(installer, &saver, &base)) {
        *error = installer + ": the file name is too long for the installer's names";
        return kExitUsage;
    }
    PackageStatus status;
    HFILE package = LocatePackageIn(installer.c_str(), &status);
    if (package == HFILE_ERROR) {
        *error = installer + ": " + PackageStatusName(status);
        return CheckExitCode(status);
    }
    CatalogueWalk walk;
    for (bool more = BeginWalk(&walk, package) != 0; more; more = NextEntry(&walk) != 0) {
        Planned p;
        p.entry = walk.entry;
        std::string name = EntryName(walk.index, walk.firstNumber, walk.entry, saver, base);
        p.relative = HostRelative(name);
        if (p.relative.empty()) {
            *error = installer + ": entry " + std::to_string(walk.index) + ": expected a name inside the Windows "
                     "directory, got \"" + name + "\" (rename the installer)";
            break;
        }
        p.destination = windir + "/" + p.relative;
        plan->push_back(p);
    }
    _lclose(package);
    if (!error->empty()) return kExitUsage;
    if (walk.status != PACKAGE_OK) {
        *error = installer + ": " + PackageStatusName(walk.status);
        return kExitBadData;
    }
    return kExitOk;
}

// True when `folder`, symbolic links followed, is `root` or lies below it.
bool InsideRoot(const std::string& root, const std::string& folder) {
    std::error_code ec;
    std::string real = fs::canonical(folder, ec).string();
    return !ec && (real == root || real.compare(0, root.size() + 1, root + "/") == 0);
}

// Before anything is written: every folder of `relative` that exists already
// lies inside windir, symbolic links followed.
bool FoldersStayInside(const std::string& windir, const std::string& relative, std::string* error) {
    std::error_code ec;
    std::string root = fs::canonical(windir, ec).string();
    std::string folder = windir;
    size_t start = 0;
    for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        folder += "/" + relative.substr(start, slash - start);
        if (!fs::exists(fs::symlink_status(folder, ec))) return true;  // the rest will be created here
        if (!InsideRoot(root, folder)) {
            *error = folder + ": leads outside " + windir + " (a symbolic link?); nothing extracted";
            return false;
        }
    }
    return true;
}

// Creates the folders of `relative` below `windir` level by level. Each level
// is checked to lie inside windir before anything is created in it.
bool MakeFolders(const std::string& windir, const std::string& relative, std::string* error) {
    std::error_code ec;
    std::string root = fs::canonical(windir, ec).string();
    std::string folder = windir;
    size_t start = 0;
    for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        folder += "/" + relative.substr(start, slash - start);
        if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            *error = folder + ": cannot create the folder: " + std::strerror(errno);
            return false;
        }
        if (ec || !InsideRoot(root, folder)) {
            *error = folder + ": leads outside " + windir + " (a symbolic link?); nothing written there";
            return false;
        }
        if (!fs::is_directory(folder, ec)) {
            *error = folder + ": expected a folder, found a file";
            return false;
        }
    }
    return true;
}

// Copies a stored entry, or expands a compressed one, into `out`.
int WriteEntry(FILE* in, const std::string& installer, const CatalogueEntry& e, FILE* out, std::string* error) {
    if (std::fseek(in, (long)e.fileOffset, SEEK_SET) != 0) {
        *error = installer + ": cannot seek to offset " + std::to_string(e.fileOffset);
        return kExitIo;
    }
    if (e.originalSize != 0) {
        DecodeOutcome outcome = DecodeEntry(in, out, e.originalSize, e.storedSize);
        if (outcome.writeFailed) return kExitIo;
        if (outcome.whole(e.originalSize)) return kExitOk;
        *error = installer + ": at offset " + std::to_string(e.fileOffset) + ": expected a compressed stream of " +
                 std::to_string(e.storedSize) + " bytes that expands to " + std::to_string(e.originalSize) +
                 " bytes, got " + std::to_string(outcome.produced) + " (" + DecodeStatusText(outcome.status) + ")";
        return kExitBadData;
    }
    std::vector<char> buffer(1 << 16);
    for (uint32_t left = e.storedSize; left > 0;) {
        size_t want = left < buffer.size() ? left : buffer.size();
        size_t got = std::fread(buffer.data(), 1, want, in);
        if (got != want) {
            *error = installer + ": at offset " + std::to_string(e.fileOffset + (e.storedSize - left)) +
                     ": expected more stored bytes, but the file ends";
            return kExitBadData;
        }
        if (std::fwrite(buffer.data(), 1, got, out) != got) return kExitIo;
        left -= (uint32_t)got;
    }
    return kExitOk;
}

int ExtractOne(FILE* in, const std::string& installer, const std::string& windir, const Planned& p, int index) {
    std::string error;
    if (!MakeFolders(windir, p.relative, &error)) return Fail(kExitIo, error);
    TempFile out(p.destination);
    if (!out.ok()) return Fail(kExitIo, out.error());
    int code = WriteEntry(in, installer, p.entry, out.stream(), &error);
    if (code == kExitIo && error.empty()) error = p.destination + ": write error (disk full?)";
    if (code != kExitOk) return Fail(code, error);
    if (!out.Commit()) return Fail(kExitIo, out.error());
    uint32_t size = p.entry.originalSize ? p.entry.originalSize : p.entry.storedSize;
    std::printf("  [%d] %s: %s bytes (%s)\n", index, p.relative.c_str(), Grouped(size).c_str(),
                p.entry.originalSize ? "expanded" : "stored");
    return kExitOk;
}

}  // namespace

int Extract(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {"-d"}, {"--force"}, &args, &error)) return UsageError("extract", error);
    if (args.help) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 1) return UsageError("extract", "expected one INSTALLER");
    if (!args.values.count("-d")) return UsageError("extract", "-d WINDIR is required");
    const std::string& installer = args.positional[0];
    std::string windir = args.values["-d"];
    while (windir.size() > 1 && windir.back() == '/') windir.pop_back();
    struct stat st;
    if (stat(windir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(kExitUsage, windir + ": expected an existing folder to stand for the Windows directory");

    PackageCheck check;
    PackageStatus status = CheckPackageDetail(installer.c_str(), &check);
    if (status != PACKAGE_OK) return Fail(CheckExitCode(status), DescribeCheck(installer, status, check));
    std::vector<Planned> plan;
    int code = Plan(installer, windir, &plan, &error);
    if (code != kExitOk) return Fail(code, error);
    if (!args.flags.count("--force"))
        for (const Planned& p : plan)
            if (lstat(p.destination.c_str(), &st) == 0)
                return Fail(kExitUsage, p.destination + ": exists; nothing extracted (use --force to replace it)");
    for (const Planned& p : plan)
        if (!FoldersStayInside(windir, p.relative, &error)) return Fail(kExitIo, error);

    FILE* in = std::fopen(installer.c_str(), "rb");
    if (!in) return Fail(kExitIo, installer + ": cannot open for reading");
    uint64_t total = 0;
    for (size_t i = 0; i < plan.size() && code == kExitOk; i++) {
        code = ExtractOne(in, installer, windir, plan[i], (int)i);
        total += plan[i].entry.originalSize ? plan[i].entry.originalSize : plan[i].entry.storedSize;
    }
    std::fclose(in);
    if (code == kExitOk)
        std::printf("%s: %zu files, %s bytes, extracted into %s\n", installer.c_str(), plan.size(),
                    Grouped(total).c_str(), windir.c_str());
    return code;
}

}  // namespace scrpack
