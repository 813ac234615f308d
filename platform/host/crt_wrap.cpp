// The C runtime's fopen, fwrite and fclose as the decode driver sees them,
// put in place at link time (-Wl,--wrap, see CMakeLists.txt). A Windows path
// ("C:\...") is mapped onto its host folder, and the stream it gives is the
// layer's: counted while open, its creation and writes subject to the fault
// switches like _lcreat and _lwrite. Every other path and every other stream
// (gtest's, the host tools') goes to the real runtime untouched.
#include "platform/host/hostwin.h"
#include "platform/host/state.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

extern "C" {
FILE* __real_fopen(const char* path, const char* mode);
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* stream);
int __real_fclose(FILE* stream);
FILE* __wrap_fopen(const char* path, const char* mode);
size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* stream);
int __wrap_fclose(FILE* stream);
}

using namespace hostwin;

static bool CreatesFile(const char* mode) {
    return std::strpbrk(mode, "wa") != nullptr;  // "r+" opens, never creates
}

FILE* __wrap_fopen(const char* path, const char* mode) {
    if (!HasDrive(path) || !mode) return __real_fopen(path, mode);
    bool creates = CreatesFile(mode);
    if (creates) {
        Event(std::string("fopen ") + path + " " + mode);
        State().counters.creates++;
        if (State().faults.failCreate == State().counters.creates) {
            errno = EACCES;
            return nullptr;
        }
    }
    std::string host;
    if (!ToHostPath(path, &host)) {
        errno = ENOENT;
        return nullptr;
    }
    struct stat st;
    if (stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {  // Windows opens no folder
        errno = EISDIR;
        return nullptr;
    }
    FILE* stream = __real_fopen(host.c_str(), mode);
    if (stream) {
        State().streams.insert(stream);
        State().counters.openStreams++;
    }
    return stream;
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (!State().streams.count(stream)) return __real_fwrite(data, size, count, stream);
    State().counters.writes++;
    size_t bytes = size * count;
    if (State().faults.shortWrite != State().counters.writes || bytes == 0 || size == 0)
        return __real_fwrite(data, size, count, stream);
    // One byte fewer than asked reaches the file; the result counts whole items.
    size_t stored = __real_fwrite(data, 1, bytes - 1, stream);
    return stored / size;
}

int __wrap_fclose(FILE* stream) {
    if (State().streams.erase(stream)) State().counters.openStreams--;
    return __real_fclose(stream);
}
