// scrpack's system calls on POSIX systems (see system.h).
#include "tools/scrpack/system.h"

#include "tools/authoring/codepage.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace scrpack {
namespace sys {

static Node KindOf(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return Node::File;
    if (S_ISDIR(st.st_mode)) return Node::Folder;
    if (S_ISLNK(st.st_mode)) return Node::Link;
    return Node::Other;
}

Node NodeAt(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? KindOf(st) : Node::Missing;
}

Node TargetAt(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? KindOf(st) : Node::Missing;
}

bool FileSize(const std::string& path, uint64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *size = (uint64_t)st.st_size;
    return true;
}

bool FreeSpace(const std::string& folder, uint64_t* bytes) {
    struct statvfs fs;
    if (statvfs(folder.c_str(), &fs) != 0) return false;
    *bytes = (uint64_t)fs.f_bavail * fs.f_frsize;
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return "";
    std::string out = real;
    std::free(real);
    return out;
}

bool IsWithin(const std::string& path, const std::string& root) {
    if (path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || root.back() == '/' || path[root.size()] == '/';
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string LastComponent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSeparators(const std::string& path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') end--;
    return path.substr(0, end);
}

bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool RemoveFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

FILE* CreateTempFile(const std::string& folder, std::string* path) {
    std::string pattern = JoinPath(folder, ".scrpack-XXXXXX");
    int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0) return nullptr;
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);  // as an ordinary new file, not mkstemp's 0600
    FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        int error = errno;
        close(fd);
        unlink(pattern.c_str());
        errno = error;
        return nullptr;
    }
    *path = pattern;
    return stream;
}

FILE* OpenScratchFile() {
    std::string folder = Environment("TMPDIR");
    std::string pattern = JoinPath(folder.empty() ? "/tmp" : folder, ".scrpack-XXXXXX");
    int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0) return nullptr;
    unlink(pattern.c_str());  // nameless from now on: gone with its descriptor
    FILE* stream = fdopen(fd, "w+b");
    if (!stream) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}

FILE* OpenNullSink() {
    return std::fopen("/dev/null", "wb");
}

void UseBinary(FILE*) {}

bool IsTerminal(FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

// Terminals here take UTF-8 as it comes, and an interrupt that finds no
// handler ends the process by its signal, which shells report as 128 + n.
void PrepareProcess() {}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

const char* const kStubVariable = "$SCRPACK_STUB";

// An installed scrpack lives in PREFIX/bin, its stub in PREFIX/share. One run
// from its build tree (BUILD/tools/scrpack/scrpack) takes the stub built
// there, BUILD/cross/stub.exe; the build tree is known by its CMakeCache.txt.
// Both are found from where the program is now, so that the program holds no
// path of the machine it was built on.
std::vector<std::string> StubPlaces() {
    std::vector<std::string> places;
    std::string program = RealPath("/proc/self/exe");
    if (program.empty()) return places;
    std::string folder = FolderOf(program);
    places.push_back(JoinPath(FolderOf(folder), "share/scrpack/stub.exe"));
    std::string buildTree = FolderOf(FolderOf(folder));
    if (NodeAt(JoinPath(buildTree, "CMakeCache.txt")) == Node::File)
        places.push_back(JoinPath(buildTree, "cross/stub.exe"));
    return places;
}

std::string Utf8FromHost(const std::string& host) {
    return host;
}

std::string HostFromAnsi(const std::string& ansi) {
    return authoring::Cp1252ToUtf8(ansi);
}

bool AnsiFromHost(const std::string& host, std::string* ansi) {
    return authoring::Utf8ToCp1252(host, ansi, nullptr);
}

int LastError() {
    return errno;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

namespace {

void (*gCleanup)() = nullptr;
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void Interrupted(int signal) {
    if (gCleanup) gCleanup();
    _exit(128 + signal);
}

void SetMask(int how) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kInterrupts) sigaddset(&set, s);
    sigprocmask(how, &set, nullptr);
}

}  // namespace

void OnInterrupt(void (*cleanup)()) {
    gCleanup = cleanup;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = Interrupted;
    sigemptyset(&action.sa_mask);
    for (int s : kInterrupts) sigaddset(&action.sa_mask, s);
    for (int s : kInterrupts) {
        // A signal the caller chose to ignore (a job started in the
        // background) stays ignored, as every tool does it.
        struct sigaction old;
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

void HoldInterrupts() {
    SetMask(SIG_BLOCK);
}

void ReleaseInterrupts() {
    SetMask(SIG_UNBLOCK);
}

const char* const kStubHelp =
    "  --stub STUB.exe     the bare installer stub; default: $SCRPACK_STUB, else the stub\n"
    "                      installed with scrpack (../share/scrpack/stub.exe from the program),\n"
    "                      else, run from its build tree, the stub built there (cross/stub.exe)\n";
const char* const kTitleHelp =
    "  --title TITLE       the screen saver's title, UTF-8; stored in Windows-1252, at most 32 bytes\n";
const char* const kInPlaceHelp =
    "OUT may not be IN. An OUT that is a device or a FIFO is written to, never replaced; a\n"
    "symbolic link is replaced as a link (with -f), its target untouched.\n";
const char* const kSystemNotes = "";

}  // namespace sys
}  // namespace scrpack
