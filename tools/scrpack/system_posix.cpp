// scrpack's system calls on POSIX systems (see system.h).
#include "tools/scrpack/system.h"

#include "tools/authoring/codepage.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <ctime>
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

// A name ".scrpack-" and six letters, from a generator seeded once by the
// time and the process; O_EXCL makes a clash a retry, never a shared file.
static std::string RandomName() {
    static uint32_t state = 0;
    if (!state) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        state = uint32_t(now.tv_nsec) ^ (uint32_t(getpid()) << 16) ^ 0x9E3779B9u;
    }
    const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = ".scrpack-";
    for (int i = 0; i < 6; i++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        name += letters[state % (sizeof letters - 1)];
    }
    return name;
}

// A new empty file of a random name in `folder`, open; -1 on failure.
static int CreateUnique(int folder, std::string* name) {
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string candidate = RandomName();
        int fd = openat(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *name = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

static int Fd(const Folder& folder) {
    return int(folder.handle());
}

bool Folder::Open(const std::string& path) {
    Close();
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    handle_ = fd;
    path_ = path;
    return true;
}

bool Folder::OpenIn(const Folder& parent, const std::string& name) {
    Close();
    int fd = openat(Fd(parent), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    handle_ = fd;
    path_ = JoinPath(parent.path(), name);
    return true;
}

bool Folder::MakeIn(const Folder& parent, const std::string& name) {
    Close();
    if (mkdirat(Fd(parent), name.c_str(), 0777) != 0) return false;
    if (!OpenIn(parent, name)) {
        int error = errno;
        unlinkat(Fd(parent), name.c_str(), AT_REMOVEDIR);
        errno = error;
        return false;
    }
    parent_ = parent.handle();
    name_ = name;
    return true;
}

bool Folder::Remove() {
    bool removed = parent_ >= 0 && unlinkat(int(parent_), name_.c_str(), AT_REMOVEDIR) == 0;
    Close();
    return removed;
}

void Folder::Close() {
    if (handle_ >= 0) close(int(handle_));
    handle_ = -1;
    parent_ = -1;
}

static void IdOf(const struct stat& st, FileId* id) {
    id->volume = uint64_t(st.st_dev);
    id->file = uint64_t(st.st_ino);
}

bool FileIdOf(const std::string& path, FileId* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    IdOf(st, id);
    return true;
}

bool FileIdOf(const Folder& folder, FileId* id) {
    struct stat st;
    if (fstat(Fd(folder), &st) != 0) return false;
    IdOf(st, id);
    return true;
}

bool FileIdIn(const Folder& folder, const std::string& name, FileId* id) {
    struct stat st;
    if (fstatat(Fd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    IdOf(st, id);
    return true;
}

Node NodeIn(const Folder& folder, const std::string& name) {
    struct stat st;
    return fstatat(Fd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? KindOf(st) : Node::Missing;
}

FILE* CreateTempFileIn(const Folder& folder, std::string* name) {
    std::string made;
    int fd = CreateUnique(Fd(folder), &made);
    if (fd < 0) return nullptr;
    FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        int error = errno;
        close(fd);
        unlinkat(Fd(folder), made.c_str(), 0);
        errno = error;
        return nullptr;
    }
    *name = made;
    return stream;
}

bool RenameIn(const Folder& folder, const std::string& from, const std::string& to) {
    return renameat(Fd(folder), from.c_str(), Fd(folder), to.c_str()) == 0;
}

// The new name is taken first, as an empty file, and the old file renamed
// over it: rename alone cannot refuse an existing name everywhere.
bool MoveAsideIn(const Folder& folder, const std::string& name, std::string* aside) {
    std::string reserved;
    int fd = CreateUnique(Fd(folder), &reserved);
    if (fd < 0) return false;
    close(fd);
    if (renameat(Fd(folder), name.c_str(), Fd(folder), reserved.c_str()) != 0) {
        int error = errno;
        unlinkat(Fd(folder), reserved.c_str(), 0);
        errno = error;
        return false;
    }
    *aside = reserved;
    return true;
}

void ReopenTemporaryIn(const Folder&, const std::string&) {}  // removed by its name, opened or not

bool RemoveFileIn(const Folder& folder, const std::string& name) {
    return unlinkat(Fd(folder), name.c_str(), 0) == 0;
}

std::string TempFolder() {
    std::string folder = Environment("TMPDIR");
    return folder.empty() ? "/tmp" : folder;
}

FILE* OpenScratchFile() {
    std::string pattern = JoinPath(TempFolder(), ".scrpack-XXXXXX");
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

uint64_t Milliseconds() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

struct Ticker::State {
    pthread_t thread;
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t wake;
    bool stopping = false;
    void (*tick)(void*);
    void* context;
    unsigned ms;
};

namespace {

void* Tick(void* argument) {
    Ticker::State* state = static_cast<Ticker::State*>(argument);
    pthread_mutex_lock(&state->lock);
    for (;;) {
        timespec until = {};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_nsec += long(state->ms % 1000) * 1000000;
        until.tv_sec += state->ms / 1000 + until.tv_nsec / 1000000000;
        until.tv_nsec %= 1000000000;
        while (!state->stopping && pthread_cond_timedwait(&state->wake, &state->lock, &until) == 0) {
        }
        if (state->stopping) break;
        state->tick(state->context);
    }
    pthread_mutex_unlock(&state->lock);
    return nullptr;
}

}  // namespace

bool Ticker::Start(void (*tick)(void*), void* context, unsigned ms) {
    Stop();
    State* state = new State;
    state->tick = tick;
    state->context = context;
    state->ms = ms;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&state->wake, &attributes);
    pthread_condattr_destroy(&attributes);
    // The thread starts with every signal blocked: interrupts go to the
    // main thread, whose holds (HoldInterrupts) they respect.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    bool started = pthread_create(&state->thread, nullptr, Tick, state) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!started) {
        pthread_cond_destroy(&state->wake);
        delete state;
        return false;
    }
    state_ = state;
    return true;
}

void Ticker::Stop() {
    if (!state_) return;
    pthread_mutex_lock(&state_->lock);
    state_->stopping = true;
    pthread_cond_signal(&state_->wake);
    pthread_mutex_unlock(&state_->lock);
    pthread_join(state_->thread, nullptr);
    pthread_cond_destroy(&state_->wake);
    delete state_;
    state_ = nullptr;
}

void Ticker::Lock() {
    if (state_) pthread_mutex_lock(&state_->lock);
}

void Ticker::Unlock() {
    if (state_) pthread_mutex_unlock(&state_->lock);
}

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
std::vector<std::string> StubPlaces(const std::string& stubName) {
    std::vector<std::string> places;
    std::string program = RealPath("/proc/self/exe");
    if (program.empty()) return places;
    std::string folder = FolderOf(program);
    places.push_back(JoinPath(FolderOf(folder), "share/scrpack/" + stubName));
    std::string buildTree = FolderOf(FolderOf(folder));
    if (NodeAt(JoinPath(buildTree, "CMakeCache.txt")) == Node::File)
        places.push_back(JoinPath(buildTree, "cross/" + stubName));
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
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
int gHolds = 0;  // HoldInterrupts less ReleaseInterrupts; the main thread's alone

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
        // background; SIGPIPE, to see write errors instead) stays ignored,
        // as every tool does it.
        struct sigaction old;
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

void HoldInterrupts() {
    if (gHolds++ == 0) SetMask(SIG_BLOCK);
}

void ReleaseInterrupts() {
    if (--gHolds == 0) SetMask(SIG_UNBLOCK);
}

bool InterruptPending() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (int s : kInterrupts)
        if (sigismember(&pending, s) == 1) return true;
    return false;
}

const char* const kStubHelp =
    "the bare installer stub; default: $SCRPACK_STUB, else the stub installed with scrpack "
    "(../share/scrpack/stub.exe from the program), else, run from its build tree, the stub built there "
    "(cross/stub.exe)";
const char* const kTitleHelp = "the screen saver's title, UTF-8; stored in Windows-1252, at most 32 bytes";
const char* const kInPlaceHelp =
    "OUT may not be IN. An OUT that is a device or a FIFO is written to, never replaced; a symbolic link is "
    "replaced as a link (with -f), its target untouched.";
const char* const kSystemNotes = "";

}  // namespace sys
}  // namespace scrpack
