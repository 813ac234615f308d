// Files and folders of our Linux Win32 layer: the handle-based file calls,
// folder creation, deletion and renaming on the host file system, with
// Windows paths mapped onto host folders per drive letter, and the two
// process paths (module file name, Windows directory) that tests choose.
//
// Trusts nothing it is handed: a handle the layer did not give out is
// refused (and noted as misuse) rather than passed to the host, so a stub bug
// can never close or write the test program's own descriptors. A path never
// leaves its drive's folder through "..".
#include "platform/host/file_core.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostwin {

// The entry of `dir` whose name equals `name` ignoring ASCII case; `name`
// itself when it exists as written or nothing matches.
static std::string MatchComponent(const std::string& dir, const std::string& name) {
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0) return name;
    DIR* d = opendir(dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

static void AppendComponent(std::string* out, const std::string& component) {
    if (out->empty() || out->back() != '/') *out += '/';
    *out += component;
}

bool ToHostPath(const char* windowsPath, std::string* hostPath) {
    if (!HasDrive(windowsPath)) {
        *hostPath = windowsPath ? windowsPath : "";
        return true;
    }
    auto it = State().drives.find((char)std::toupper((unsigned char)windowsPath[0]));
    if (it == State().drives.end()) return false;
    std::string root = it->second;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::string out = root;
    const char* p = windowsPath + 2;
    while (*p) {
        while (*p == '\\' || *p == '/') p++;
        const char* start = p;
        while (*p && *p != '\\' && *p != '/') p++;
        if (p == start) break;
        std::string component(start, p);
        if (component == ".") continue;
        if (component == "..") {  // never above the drive's root
            if (out.size() > root.size()) {
                size_t cut = out.rfind('/');
                out.erase(cut == 0 ? 1 : cut);
            }
            continue;
        }
        AppendComponent(&out, MatchComponent(out, component));
    }
    *hostPath = out;
    return true;
}

// A descriptor this layer gave out and has not closed; misuse noted otherwise.
static bool OwnHandle(HFILE file, const char* call) {
    if (State().fileHandles.count(file)) return true;
    Misuse(std::string(call) + " on handle " + std::to_string(file) + " that is not open");
    return false;
}

static HFILE Adopt(HFILE fd) {
    if (fd == HFILE_ERROR) return HFILE_ERROR;
    State().fileHandles.insert(fd);
    State().counters.openHandles++;
    return fd;
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HFILE _lopen(LPCSTR path, int mode) {
    std::string host;
    if (!MapPath(path, &host)) return HFILE_ERROR;
    if (OpenFails()) return HFILE_ERROR;
    HFILE fd = hostfile::OpenFile(host.c_str(), mode);
    if (fd != HFILE_ERROR) State().counters.opens++;
    return Adopt(fd);
}

HFILE _lcreat(LPCSTR path, int attribute) {
    (void)attribute;
    Event(std::string("_lcreat ") + (path ? path : "NULL"));
    if (CreateFails()) return HFILE_ERROR;
    std::string host;
    if (!MapPath(path, &host)) return HFILE_ERROR;
    return Adopt(hostfile::CreateFile(host.c_str()));
}

UINT _lread(HFILE file, LPVOID buffer, UINT count) {
    if (!OwnHandle(file, "_lread")) return (UINT)HFILE_ERROR;
    if (ReadFails()) return (UINT)HFILE_ERROR;
    return hostfile::ReadFile(file, buffer, count);
}

UINT _lwrite(HFILE file, LPCSTR buffer, UINT count) {
    if (!OwnHandle(file, "_lwrite")) return (UINT)HFILE_ERROR;
    switch (NextWriteFault()) {
    case WriteFault::None: break;
    case WriteFault::OneByteShort: count = count > 0 ? count - 1 : 0; break;
    case WriteFault::DiskFull: return (UINT)HFILE_ERROR;
    }
    return hostfile::WriteFile(file, buffer, count);
}

LONG _llseek(HFILE file, LONG offset, int origin) {
    if (!OwnHandle(file, "_llseek")) return HFILE_ERROR;
    return hostfile::SeekFile(file, offset, origin);
}

HFILE _lclose(HFILE file) {
    if (!OwnHandle(file, "_lclose")) return HFILE_ERROR;
    State().fileHandles.erase(file);
    State().counters.openHandles--;
    return hostfile::CloseFile(file);
}

BOOL CreateDirectoryA(LPCSTR path, void* security) {
    (void)security;
    Event(std::string("CreateDirectoryA ") + (path ? path : "NULL"));
    std::string host;
    if (!MapPath(path, &host)) return 0;
    return mkdir(host.c_str(), 0755) == 0;  // an existing folder fails, as on Windows
}

BOOL DeleteFileA(LPCSTR path) {
    Event(std::string("DeleteFileA ") + (path ? path : "NULL"));
    std::string host;
    if (!MapPath(path, &host)) return 0;
    struct stat st;
    if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    return unlink(host.c_str()) == 0;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    Event(std::string("MoveFileExA ") + (from ? from : "NULL") + " " + (to ? to : "NULL"));
    std::string a, b;
    if (!MapPath(from, &a) || !MapPath(to, &b)) return 0;
    struct stat st;
    if (lstat(a.c_str(), &st) != 0) return 0;
    if (lstat(b.c_str(), &st) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(st.st_mode)) return 0;
    }
    return rename(a.c_str(), b.c_str()) == 0;
}

DWORD GetFileAttributesA(LPCSTR path) {
    std::string host;
    struct stat st;
    if (!MapPath(path, &host) || stat(host.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

// Our host file system keeps long names, so the short form of an existing
// path is the path as given; a missing file has none.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    if (State().faults.failShortPath || !longPath) return 0;
    std::string host;
    struct stat st;
    if (!MapPath(longPath, &host) || stat(host.c_str(), &st) != 0) return 0;
    DWORD length = (DWORD)std::strlen(longPath);
    if (!shortPath || size <= length) return length + 1;  // too small: the size needed
    std::memmove(shortPath, longPath, length + 1);
    return length;
}

// As Windows since Vista: a name longer than the buffer is cut to size - 1
// characters, ended with NUL, and the call returns size.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    (void)module;
    const std::string& name = State().moduleFileName;
    if (name.empty() || size == 0 || !buffer) return 0;
    if (name.size() < size) {
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return (DWORD)name.size();
    }
    std::memcpy(buffer, name.data(), size - 1);
    buffer[size - 1] = 0;
    return size;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    const std::string& dir = State().windowsDirectory;
    if (dir.empty()) return 0;
    if (!buffer || dir.size() >= size) return (UINT)dir.size() + 1;  // too small: the size needed
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return (UINT)dir.size();
}

}  // extern "C"
