// Files and folders of our Linux Win32 layer: the handle-based file calls,
// folder creation, deletion and renaming on the host file system, with
// Windows paths mapped onto host folders per drive letter.
#include "platform/host/windows.h"
#include "platform/host/hostwin.h"
#include "platform/host/state.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostwin {

static bool HasDrive(const char* p) {
    return p && std::isalpha((unsigned char)p[0]) && p[1] == ':';
}

// Finds the entry of `dir` whose name equals `name` ignoring ASCII case.
static std::string MatchComponent(const std::string& dir, const std::string& name) {
    struct stat st;
    std::string exact = dir + "/" + name;
    if (lstat(exact.c_str(), &st) == 0) return name;
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

bool ToHostPath(const char* windowsPath, std::string* hostPath) {
    if (!HasDrive(windowsPath)) {
        *hostPath = windowsPath ? windowsPath : "";
        return true;
    }
    auto it = State().drives.find((char)std::toupper((unsigned char)windowsPath[0]));
    if (it == State().drives.end()) return false;
    std::string out = it->second;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    const char* p = windowsPath + 2;
    while (*p) {
        while (*p == '\\' || *p == '/') p++;
        const char* start = p;
        while (*p && *p != '\\' && *p != '/') p++;
        if (p == start) break;
        std::string comp(start, p);
        if (comp == ".") continue;
        if (comp == "..") {  // never above the drive's root
            if (out.size() > it->second.size()) out.erase(out.rfind('/'));
            continue;
        }
        out += "/" + MatchComponent(out, comp);
    }
    *hostPath = out;
    return true;
}

}  // namespace hostwin

using hostwin::State;

static bool MappedPath(LPCSTR path, std::string* host) {
    return path && hostwin::ToHostPath(path, host);
}

extern "C" {

HFILE _lopen(LPCSTR path, int mode) {
    std::string host;
    if (!MappedPath(path, &host)) return HFILE_ERROR;
    int access = mode & 3;
    int flags = access == OF_WRITE ? O_WRONLY : access == OF_READWRITE ? O_RDWR : O_RDONLY;
    int fd = open(host.c_str(), flags);
    if (fd < 0) return HFILE_ERROR;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        return HFILE_ERROR;
    }
    State().counters.opens++;
    State().counters.openHandles++;
    return fd;
}

HFILE _lcreat(LPCSTR path, int attribute) {
    (void)attribute;
    std::string host;
    State().counters.creates++;
    if (hostwin::FaultSwitches().failCreate == State().counters.creates) return HFILE_ERROR;
    if (!MappedPath(path, &host)) return HFILE_ERROR;
    int fd = open(host.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return HFILE_ERROR;
    State().counters.openHandles++;
    return fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT count) {
    UINT done = 0;
    while (done < count) {
        ssize_t n = read(file, (char*)buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done ? done : (UINT)HFILE_ERROR;
        if (n == 0) break;
        done += (UINT)n;
    }
    return done;
}

UINT _lwrite(HFILE file, LPCSTR buffer, UINT count) {
    State().counters.writes++;
    if (hostwin::FaultSwitches().shortWrite == State().counters.writes && count > 0) count--;
    UINT done = 0;
    while (done < count) {
        ssize_t n = write(file, buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? done : (UINT)HFILE_ERROR;
        done += (UINT)n;
    }
    return done;
}

LONG _llseek(HFILE file, LONG offset, int origin) {
    int whence = origin == FILE_CURRENT ? SEEK_CUR : origin == FILE_END ? SEEK_END : SEEK_SET;
    off_t pos = lseek(file, offset, whence);
    if (pos < 0 || pos > 0x7FFFFFFF) return HFILE_ERROR;
    return (LONG)pos;
}

HFILE _lclose(HFILE file) {
    if (close(file) != 0) return HFILE_ERROR;
    State().counters.openHandles--;
    return 0;
}

BOOL CreateDirectoryA(LPCSTR path, void* security) {
    (void)security;
    std::string host;
    if (!MappedPath(path, &host)) return 0;
    return mkdir(host.c_str(), 0755) == 0;
}

BOOL DeleteFileA(LPCSTR path) {
    std::string host;
    if (!MappedPath(path, &host)) return 0;
    struct stat st;
    if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    return unlink(host.c_str()) == 0;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
    std::string a, b;
    if (!MappedPath(from, &a) || !MappedPath(to, &b)) return 0;
    struct stat st;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && lstat(b.c_str(), &st) == 0) return 0;
    if (lstat(b.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return rename(a.c_str(), b.c_str()) == 0;
}

DWORD GetFileAttributesA(LPCSTR path) {
    std::string host;
    struct stat st;
    if (!MappedPath(path, &host) || stat(host.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    (void)module;
    const std::string& name = State().moduleFileName;
    if (name.empty() || size == 0) return 0;
    DWORD n = (DWORD)name.size() < size ? (DWORD)name.size() : size - 1;
    std::memcpy(buffer, name.data(), n);
    buffer[n] = 0;
    return n;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    const std::string& dir = State().windowsDirectory;
    if (dir.empty()) return 0;
    if (dir.size() >= size) return (UINT)dir.size() + 1;  // too small: the size needed
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return (UINT)dir.size();
}

}  // extern "C"
