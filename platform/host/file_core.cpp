// The handle-based file calls on host paths (see file_core.h).
#include "platform/host/file_core.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostfile {

HFILE OpenFile(const char* hostPath, int mode) {
    int access = mode & 3;
    int flags = access == OF_WRITE ? O_WRONLY : access == OF_READWRITE ? O_RDWR : O_RDONLY;
    int fd = open(hostPath, flags | O_CLOEXEC);
    if (fd < 0) return HFILE_ERROR;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // Windows opens no folder as a file
        int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        close(fd);
        errno = error;
        return HFILE_ERROR;
    }
    return fd;
}

HFILE CreateFile(const char* hostPath) {
    int fd = open(hostPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? HFILE_ERROR : fd;
}

UINT ReadFile(HFILE file, void* buffer, UINT count) {
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

UINT WriteFile(HFILE file, const void* buffer, UINT count) {
    UINT done = 0;
    while (done < count) {
        ssize_t n = write(file, (const char*)buffer + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? done : (UINT)HFILE_ERROR;
        done += (UINT)n;
    }
    return done;
}

LONG SeekFile(HFILE file, LONG offset, int origin) {
    int whence = origin == FILE_CURRENT ? SEEK_CUR : origin == FILE_END ? SEEK_END : SEEK_SET;
    off_t pos = lseek(file, offset, whence);
    if (pos < 0) return HFILE_ERROR;
    if (pos > 0x7FFFFFFF) {
        errno = EOVERFLOW;
        return HFILE_ERROR;
    }
    return (LONG)pos;
}

HFILE CloseFile(HFILE file) {
    return close(file) == 0 ? 0 : HFILE_ERROR;
}

}  // namespace hostfile
