// scrpack's system calls on Windows (see system.h).
//
// Paths go to the ANSI file calls exactly as given: the calls the installer
// itself makes, so that a path names for scrpack what it names for the
// installer. A failure leaves errno as the C runtime would set it for the
// same Windows error, so that reasons read as they do on other systems; an
// error the runtime has no number for keeps its Windows code (above
// kWindowsErrors) and its Windows text.
//
// Interrupts arrive as console control events, on a thread of their own
// while the main thread goes on. The handler takes the lock that
// HoldInterrupts holds (so no list is half-changed), stops the main thread,
// and clears up through handles opened for that purpose when each temporary
// file and folder was made: the main thread may have stopped inside any call,
// holding the heap's lock or the one of the current folder, so nothing the
// cleanup calls may take a path or allocate.
#include "tools/scrpack/system.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <io.h>

// MinGW's start-up code expands wildcards in the arguments ("list *.exe"),
// which the shells of other systems do for their programs; a quoted argument
// stays as it is.
extern "C" {
int _dowildcard = -1;
}

namespace scrpack {
namespace sys {

namespace {

const int kWindowsErrors = 0x10000;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    default: return kWindowsErrors + int(code);
    }
}

// The Windows call just made failed: its reason into errno. Returns false.
bool Failed() {
    errno = ErrnoOf(GetLastError());
    return false;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsDrive(const std::string& path) {
    char c = path.size() >= 2 && path[1] == ':' ? path[0] : 0;
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Past the component that starts at `at`, and its separator.
size_t SkipComponent(const std::string& path, size_t at) {
    while (at < path.size() && !IsSeparator(path[at])) at++;
    return at < path.size() ? at + 1 : at;
}

bool SameLetters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? char(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

// The length of the path's root, with its separator: "C:\" and "\" and
// "\\server\share\", the same behind "\\?\" ("\\?\C:\", "\\?\UNC\server\share\")
// and a device behind "\\.\"; "C:" alone, which names the current folder of
// drive C; 0 for a relative path.
size_t RootLength(const std::string& path) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t host = SkipComponent(path, 2);
        std::string prefix = path.substr(2, host - 2);
        if (prefix != "?\\" && prefix != "?/" && prefix != ".\\" && prefix != "./") return SkipComponent(path, host);
        size_t next = SkipComponent(path, host);
        std::string first = path.substr(host, next - host);
        if (SameLetters(first, "UNC\\") || SameLetters(first, "UNC/"))
            return SkipComponent(path, SkipComponent(path, next));
        return next;
    }
    if (IsDrive(path)) return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

HANDLE OpenToInspect(const std::string& path, bool followLinks) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

Node KindOf(DWORD attributes, bool followLinks) {
    if (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Node::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Node::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Node::Other;
    return Node::File;
}

Node Inspect(const std::string& path, bool followLinks) {
    HANDLE file = OpenToInspect(path, followLinks);
    if (file == INVALID_HANDLE_VALUE) {
        // Some files cannot be opened just to look at them (one held open
        // without sharing); their attributes still tell. A link whose
        // target is missing leads nowhere.
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return Node::Missing;
        if (followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return Node::Missing;
        return KindOf(attributes, followLinks);
    }
    Node kind = Node::Other;  // a console, NUL, a pipe
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info))
        kind = KindOf(info.dwFileAttributes, followLinks);
    CloseHandle(file);
    return kind;
}

bool SameFileHandles(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

std::string OwnProgram() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, &path[0], DWORD(path.size()));
        if (length == 0) return "";
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

// --- What an interrupt clears -------------------------------------------------
// Every temporary file keeps a handle of its own, with the right to delete
// it, until it is removed or renamed; a made folder is held with that right
// (Folder::MakeIn). Changed only under the lock. By folder and name, so that
// the cleanup finds a file without making a path, and forgetting one of many
// costs no scan.

struct Temporary {
    HANDLE own;      // a duplicate, closed only here
    HANDLE runtime;  // the handle the C runtime's stream writes through and closes
};

struct TemporaryKey {
    intptr_t folder;  // the held folder's handle
    std::string name;
};

// A key to look one up with, without copying the name.
struct TemporaryView {
    intptr_t folder;
    const std::string* name;
};

struct TemporaryOrder {
    using is_transparent = void;
    static bool Less(intptr_t a, const std::string& x, intptr_t b, const std::string& y) {
        return a != b ? a < b : x < y;
    }
    bool operator()(const TemporaryKey& a, const TemporaryKey& b) const {
        return Less(a.folder, a.name, b.folder, b.name);
    }
    bool operator()(const TemporaryKey& a, const TemporaryView& b) const {
        return Less(a.folder, a.name, b.folder, *b.name);
    }
    bool operator()(const TemporaryView& a, const TemporaryKey& b) const {
        return Less(a.folder, *a.name, b.folder, b.name);
    }
};

struct Lock {
    CRITICAL_SECTION section;
    Lock() { InitializeCriticalSection(&section); }
};

Lock gLock;
std::map<TemporaryKey, Temporary, TemporaryOrder> gTemporaries;
void (*gCleanup)() = nullptr;
HANDLE gMainThread = nullptr;
bool gInterrupted = false;                                    // set by the handler, with the main thread stopped
volatile LONG gPending = 0;                                   // an interrupt came: the handler waits for the lock
UINT gConsoleCodePage = 0;                                    // to restore at the end; 0 while unchanged
const DWORD kHoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;  // a held folder: no one renames or deletes it

// Deleted once its last handle is closed; a folder only when it is empty.
bool MarkDeleted(HANDLE own) {
    FILE_DISPOSITION_INFO gone;
    gone.DeleteFile = TRUE;
    return SetFileInformationByHandle(own, FileDispositionInfo, &gone, sizeof gone);
}

// The record of a temporary file is dropped; its own handle closed.
void ForgetTemporary(const Folder& folder, const std::string& name) {
    HoldInterrupts();
    auto found = gTemporaries.find(TemporaryView{folder.handle(), &name});
    if (found != gTemporaries.end()) {
        if (found->second.own) CloseHandle(found->second.own);
        gTemporaries.erase(found);
    }
    ReleaseInterrupts();
}

// During an interrupt: deleted through the handles alone. The runtime's
// handle is closed too (the main thread is stopped) unless the runtime
// closed it already, when the number may name another file by now.
bool ClearTemporary(const Folder& folder, const std::string& name) {
    auto found = gTemporaries.find(TemporaryView{folder.handle(), &name});
    if (found == gTemporaries.end() || !found->second.own) return false;
    Temporary& t = found->second;
    MarkDeleted(t.own);
    if (t.runtime && SameFileHandles(t.own, t.runtime)) CloseHandle(t.runtime);
    CloseHandle(t.own);
    t.own = nullptr;
    return true;
}

void RestoreConsole() {
    if (gConsoleCodePage) SetConsoleOutputCP(gConsoleCodePage);
}

BOOL WINAPI Interrupted(DWORD event) {
    int code = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : event == CTRL_CLOSE_EVENT ? 129 : 143;
    InterlockedExchange(&gPending, 1);
    EnterCriticalSection(&gLock.section);  // never left: the process ends here
    SuspendThread(gMainThread);
    CONTEXT context;
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(gMainThread, &context);  // returns once the thread has stopped
    gInterrupted = true;
    if (gCleanup) gCleanup();
    RestoreConsole();
    TerminateProcess(GetCurrentProcess(), UINT(code));
    return TRUE;
}

// From the main thread, once.
void WatchConsoleEvents() {
    if (gMainThread) return;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &gMainThread,
                    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
    SetConsoleCtrlHandler(Interrupted, TRUE);
}

uint32_t NextRandom() {
    static uint32_t state = 0;
    if (!state) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        state = uint32_t(now.QuadPart) ^ (GetCurrentProcessId() << 16) ^ 0x9E3779B9u;
    }
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::string RandomName() {
    const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name;
    for (int i = 0; i < 6; i++) name += letters[NextRandom() % (sizeof letters - 1)];
    return name;
}

}  // namespace

Node NodeAt(const std::string& path) {
    return Inspect(path, false);
}

Node TargetAt(const std::string& path) {
    return Inspect(path, true);
}

bool FileSize(const std::string& path, uint64_t* size) {
    HANDLE file = OpenToInspect(path, true);
    if (file == INVALID_HANDLE_VALUE) return Failed();
    LARGE_INTEGER length;
    bool known = GetFileSizeEx(file, &length);
    if (!known) Failed();
    CloseHandle(file);
    if (known) *size = uint64_t(length.QuadPart);
    return known;
}

bool FreeSpace(const std::string& folder, uint64_t* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return Failed();
    *bytes = uint64_t(available.QuadPart);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    HANDLE x = OpenToInspect(a, true);
    if (x == INVALID_HANDLE_VALUE) return false;
    HANDLE y = OpenToInspect(b, true);
    bool same = y != INVALID_HANDLE_VALUE && SameFileHandles(x, y);
    if (y != INVALID_HANDLE_VALUE) CloseHandle(y);
    CloseHandle(x);
    return same;
}

// The final path of an open file, without the prefix that lifts the length
// limit: "C:\x", "\\server\share\x"; "" when it cannot be had.
static std::string FinalPath(HANDLE file) {
    std::string real(MAX_PATH, '\0');
    DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD length = GetFinalPathNameByHandleA(file, &real[0], DWORD(real.size()), flags);
    if (length >= real.size()) {
        real.resize(length + 1);
        length = GetFinalPathNameByHandleA(file, &real[0], DWORD(real.size()), flags);
    }
    if (length == 0 || length >= real.size()) {
        Failed();
        return "";
    }
    real.resize(length);
    if (real.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + real.substr(7);
    if (real.compare(0, 4, "\\\\?\\") == 0) return real.substr(4);
    return real;
}

std::string RealPath(const std::string& path) {
    HANDLE file = OpenToInspect(path, true);
    if (file == INVALID_HANDLE_VALUE) {
        Failed();
        return "";
    }
    std::string real = FinalPath(file);
    CloseHandle(file);
    return real;
}

std::string FolderOf(const std::string& path) {
    size_t root = RootLength(path);
    size_t last = path.find_last_of("\\/");
    if (last == std::string::npos || last < root) return root ? path.substr(0, root) : ".";
    return path.substr(0, last);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSeparator(folder.back()) || (folder.size() == 2 && IsDrive(folder))) return folder + name;
    return folder + "\\" + name;
}

std::string LastComponent(const std::string& path) {
    size_t last = path.find_last_of("\\/");
    if (last != std::string::npos) return path.substr(last + 1);
    return IsDrive(path) ? path.substr(2) : path;
}

std::string WithoutTrailingSeparators(const std::string& path) {
    size_t root = RootLength(path);
    size_t end = path.size();
    while (end > root && end > 1 && IsSeparator(path[end - 1])) end--;
    return path.substr(0, end);
}

// A folder handle that lets others read and write in the folder but not
// rename or delete it; a reparse point (a link, a junction) is refused when
// `followLinks` is false.
static HANDLE HoldFolder(const std::string& path, DWORD access, bool followLinks) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE folder =
        CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | access, kHoldShare, nullptr, OPEN_EXISTING, flags, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        Failed();
        return folder;
    }
    BY_HANDLE_FILE_INFORMATION info;
    int refused = 0;
    if (!GetFileInformationByHandle(folder, &info))
        refused = ErrnoOf(GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT && !followLinks)
        refused = ELOOP;
    else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        refused = ENOTDIR;
    if (!refused) return folder;
    CloseHandle(folder);
    errno = refused;
    return INVALID_HANDLE_VALUE;
}

bool Folder::Open(const std::string& path) {
    Close();
    HANDLE folder = HoldFolder(path, 0, true);
    if (folder == INVALID_HANDLE_VALUE) return false;
    handle_ = intptr_t(folder);
    path_ = path;
    return true;
}

// Where links show as no reparse point (a Unix link under Wine), the
// folder's final path tells: it must lie directly in its parent's.
bool Folder::OpenIn(const Folder& parent, const std::string& name) {
    Close();
    std::string path = JoinPath(parent.path(), name);
    HANDLE folder = HoldFolder(path, 0, false);
    if (folder == INVALID_HANDLE_VALUE) return false;
    std::string above = FinalPath(HANDLE(parent.handle())), real = FinalPath(folder);
    size_t start = above.size() + (above.empty() || IsSeparator(above.back()) ? 0 : 1);
    bool inside = !above.empty() && real.size() > start && SameLetters(real.substr(0, above.size()), above) &&
                  IsSeparator(real[start - 1]) && real.find_first_of("\\/", start) == std::string::npos;
    if (!inside) {
        CloseHandle(folder);
        errno = ELOOP;
        return false;
    }
    handle_ = intptr_t(folder);
    path_ = path;
    return true;
}

// Held with the right to delete it, which Remove uses (no one else can
// open it so while it is held).
bool Folder::MakeIn(const Folder& parent, const std::string& name) {
    Close();
    std::string path = JoinPath(parent.path(), name);
    if (!CreateDirectoryA(path.c_str(), nullptr)) return Failed();
    HANDLE folder = HoldFolder(path, DELETE, false);
    if (folder == INVALID_HANDLE_VALUE) {
        int error = errno;
        RemoveDirectoryA(path.c_str());
        errno = error;
        return false;
    }
    handle_ = intptr_t(folder);
    parent_ = parent.handle();
    name_ = name;
    path_ = path;
    return true;
}

bool Folder::Remove() {
    bool removed = parent_ != -1 && handle_ != -1 && (MarkDeleted(HANDLE(handle_)) || Failed());
    Close();
    return removed;
}

void Folder::Close() {
    if (handle_ != -1) CloseHandle(HANDLE(handle_));
    handle_ = -1;
    parent_ = -1;
}

static bool IdOf(HANDLE file, FileId* id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return Failed();
    id->volume = info.dwVolumeSerialNumber;
    id->file = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

static bool IdAt(const std::string& path, bool followLinks, FileId* id) {
    HANDLE file = OpenToInspect(path, followLinks);
    if (file == INVALID_HANDLE_VALUE) return Failed();
    bool known = IdOf(file, id);
    CloseHandle(file);
    return known;
}

bool FileIdOf(const std::string& path, FileId* id) {
    return IdAt(path, true, id);
}

bool FileIdOf(const Folder& folder, FileId* id) {
    return IdOf(HANDLE(folder.handle()), id);
}

bool FileIdIn(const Folder& folder, const std::string& name, FileId* id) {
    return IdAt(JoinPath(folder.path(), name), false, id);
}

// The held folder cannot be renamed or deleted, nor any above it while it
// is open inside them: its path leads to it for as long as it is held.
Node NodeIn(const Folder& folder, const std::string& name) {
    return Inspect(JoinPath(folder.path(), name), false);
}

std::string TempFolder() {
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    return length == 0 || length > MAX_PATH ? "." : WithoutTrailingSeparators(folder);
}

FILE* OpenScratchFile() {
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) {
        Failed();
        return nullptr;
    }
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = JoinPath(folder, ".scrpack-" + RandomName());
        // Deleted when its last handle closes, also when the process is ended.
        HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            Failed();
            return nullptr;
        }
        int descriptor = _open_osfhandle(intptr_t(file), _O_RDWR | _O_BINARY);
        FILE* stream = descriptor >= 0 ? _fdopen(descriptor, "w+b") : nullptr;
        if (!stream) {
            int error = errno;
            if (descriptor >= 0)
                _close(descriptor);
            else
                CloseHandle(file);
            errno = error;
        }
        return stream;
    }
    errno = EEXIST;
    return nullptr;
}

FILE* CreateTempFileIn(const Folder& folder, std::string* name) {
    HoldInterrupts();  // the file and its record come together
    FILE* stream = nullptr;
    for (int attempt = 0; attempt < 100 && !stream; attempt++) {
        std::string candidate = ".scrpack-" + RandomName();
        std::string path = JoinPath(folder.path(), candidate);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            Failed();
            break;
        }
        HANDLE own = nullptr;
        DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS);
        int descriptor = _open_osfhandle(intptr_t(file), _O_WRONLY | _O_BINARY);
        stream = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
        if (!stream) {
            int error = errno;
            if (descriptor >= 0)
                _close(descriptor);
            else
                CloseHandle(file);
            if (own) CloseHandle(own);
            DeleteFileA(path.c_str());
            errno = error;
            break;
        }
        gTemporaries[TemporaryKey{folder.handle(), candidate}] = Temporary{own, file};
        *name = candidate;
    }
    ReleaseInterrupts();
    return stream;
}

// The file's own handle is closed before the move, which some systems
// refuse while another handle is open; when the move fails, the file gets
// one again, so that an interrupt still removes it.
bool RenameIn(const Folder& folder, const std::string& from, const std::string& to) {
    HoldInterrupts();
    bool temporary = gTemporaries.count(TemporaryView{folder.handle(), &from}) != 0;
    if (temporary) ForgetTemporary(folder, from);
    std::string path = JoinPath(folder.path(), from);
    bool moved = MoveFileExA(path.c_str(), JoinPath(folder.path(), to).c_str(), MOVEFILE_REPLACE_EXISTING);
    int error = moved ? 0 : ErrnoOf(GetLastError());
    if (!moved && temporary) {
        HANDLE own = CreateFileA(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        if (own != INVALID_HANDLE_VALUE) gTemporaries[TemporaryKey{folder.handle(), from}] = Temporary{own, nullptr};
    }
    ReleaseInterrupts();
    if (!moved) errno = error;
    return moved;
}

bool MoveAsideIn(const Folder& folder, const std::string& name, std::string* aside) {
    std::string path = JoinPath(folder.path(), name);
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string candidate = ".scrpack-" + RandomName();
        if (MoveFileExA(path.c_str(), JoinPath(folder.path(), candidate).c_str(), 0)) {
            *aside = candidate;
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return Failed();
    }
    return Failed();
}

void ReopenTemporaryIn(const Folder& folder, const std::string& name) {
    HoldInterrupts();
    auto found = gTemporaries.find(TemporaryView{folder.handle(), &name});
    if (found != gTemporaries.end() && found->second.own) {
        CloseHandle(found->second.own);
        found->second.own = nullptr;
    }
    ReleaseInterrupts();
}

bool RemoveFileIn(const Folder& folder, const std::string& name) {
    if (gInterrupted) return ClearTemporary(folder, name);
    ForgetTemporary(folder, name);
    return DeleteFileA(JoinPath(folder.path(), name).c_str()) || Failed();
}

FILE* OpenNullSink() {
    return std::fopen("NUL", "wb");
}

void UseBinary(FILE* stream) {
    _setmode(_fileno(stream), _O_BINARY);
}

bool IsTerminal(FILE* stream) {
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(stream)));
    DWORD mode;
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

// The handler is there from the start, so that an interrupt before any
// output ends with the same code, and the console gets its code page back.
//
// A console shows the UTF-8 written to it once its output code page is
// UTF-8, if each character comes whole: the C runtime writes a console
// stream a byte at a time, and in text mode some runtimes (Wine's) take the
// bytes for ANSI first. So a console stream is binary and buffered here; the
// console starts a new line at LF, and scrpack flushes after every message.
void PrepareProcess() {
    WatchConsoleEvents();
    bool out = IsTerminal(stdout), err = IsTerminal(stderr);
    if (!out && !err) return;
    UINT codePage = GetConsoleOutputCP();
    if (!SetConsoleOutputCP(CP_UTF8)) return;
    gConsoleCodePage = codePage;
    std::atexit(RestoreConsole);
    for (FILE* stream : {out ? stdout : nullptr, err ? stderr : nullptr}) {
        if (!stream) continue;
        _setmode(_fileno(stream), _O_BINARY);
        std::setvbuf(stream, nullptr, _IOFBF, 1 << 14);
    }
}

uint64_t Milliseconds() {
    return GetTickCount64();
}

struct Ticker::State {
    HANDLE thread = nullptr;
    HANDLE stop = nullptr;  // an event: set by Stop
    CRITICAL_SECTION lock;
    void (*tick)(void*);
    void* context;
    unsigned ms;
};

namespace {

DWORD WINAPI Tick(void* argument) {
    Ticker::State* state = static_cast<Ticker::State*>(argument);
    while (WaitForSingleObject(state->stop, state->ms) == WAIT_TIMEOUT) {
        EnterCriticalSection(&state->lock);
        state->tick(state->context);
        LeaveCriticalSection(&state->lock);
    }
    return 0;
}

}  // namespace

bool Ticker::Start(void (*tick)(void*), void* context, unsigned ms) {
    Stop();
    State* state = new State;
    state->tick = tick;
    state->context = context;
    state->ms = ms;
    InitializeCriticalSection(&state->lock);
    state->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (state->stop) state->thread = CreateThread(nullptr, 0, Tick, state, 0, nullptr);
    if (!state->thread) {
        if (state->stop) CloseHandle(state->stop);
        DeleteCriticalSection(&state->lock);
        delete state;
        return false;
    }
    state_ = state;
    return true;
}

void Ticker::Stop() {
    if (!state_) return;
    SetEvent(state_->stop);
    WaitForSingleObject(state_->thread, INFINITE);
    CloseHandle(state_->thread);
    CloseHandle(state_->stop);
    DeleteCriticalSection(&state_->lock);
    delete state_;
    state_ = nullptr;
}

void Ticker::Lock() {
    if (state_) EnterCriticalSection(&state_->lock);
}

void Ticker::Unlock() {
    if (state_) LeaveCriticalSection(&state_->lock);
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

const char* const kStubVariable = "%SCRPACK_STUB%";

// The zip puts the stubs beside scrpack.exe, and so does the build.
std::vector<std::string> StubPlaces(const std::string& stubName) {
    std::string program = OwnProgram();
    if (program.empty()) return {};
    return {JoinPath(FolderOf(program), stubName)};
}

std::string Utf8FromHost(const std::string& host) {
    if (host.empty()) return host;
    int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, host.data(), int(host.size()), nullptr, 0);
    if (wide <= 0) return host;
    std::wstring text(size_t(wide), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, host.data(), int(host.size()), &text[0], wide);
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return host;
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// The installer reads its names in the ANSI code page, as scrpack does here.
std::string HostFromAnsi(const std::string& ansi) {
    return ansi;
}

bool AnsiFromHost(const std::string& host, std::string* ansi) {
    *ansi = host;
    return true;
}

int LastError() {
    return errno;
}

std::string ErrorText(int error) {
    if (error < kWindowsErrors) return std::strerror(error);
    char* text = nullptr;
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, DWORD(error - kWindowsErrors), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out = length ? std::string(text, length) : "Windows error " + std::to_string(error - kWindowsErrors);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return Utf8FromHost(out);
}

void OnInterrupt(void (*cleanup)()) {
    WatchConsoleEvents();
    HoldInterrupts();
    gCleanup = cleanup;
    ReleaseInterrupts();
}

void HoldInterrupts() {
    EnterCriticalSection(&gLock.section);
}

void ReleaseInterrupts() {
    LeaveCriticalSection(&gLock.section);
}

bool InterruptPending() {
    return gPending != 0;
}

const char* const kStubHelp =
    "the bare installer stub; default: %SCRPACK_STUB%, else stub.exe in scrpack.exe's own folder";
const char* const kTitleHelp =
    "the screen saver's title as the console gives it; stored in Windows-1252, at most 32 bytes";
const char* const kInPlaceHelp =
    "OUT may not be IN. An OUT that is a device (NUL, CON) or a named pipe is written to, never replaced; a "
    "symbolic link is replaced as a link (with -f), its target untouched.";
const char* const kSystemNotes =
    "On Windows: arguments come in the console's ANSI code page and paths go to Windows as given (drive "
    "letters, '\\' or '/', UNC paths); wildcards are expanded unless quoted, as a shell would (quote -I's "
    "PATTERN). Output is UTF-8 (a console is set to show it "
    "while scrpack runs); lines written to a file or a pipe end in CR LF. Ctrl+C and Ctrl+Break end an action "
    "with exit 130, closing the console with 129, logging off or shutting down with 143, after removing what "
    "it had partly written.";

}  // namespace sys
}  // namespace scrpack
