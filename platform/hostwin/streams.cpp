// The stream calls of platform/streams.h as the test layer gives them. A
// Windows path ("C:\...") is mapped onto its host folder (a host path is
// taken as given), and every call is subject to the fault switches like the
// handle-based calls: the Nth open, creation, read or write can fail. Streams
// opened here are counted while open; a creation on a Windows path is
// recorded as an event.
#include "platform/streams.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace hostwin;

static bool CreatesFile(const char* mode) {
    return std::strpbrk(mode, "wa") != nullptr;  // "r+" opens, never creates
}

extern "C" {

FILE* StreamOpen(const char* path, const char* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    bool creates = CreatesFile(mode);
    if (creates && HasDrive(path)) Event(std::string("fopen ") + path + " " + mode);
    if (creates ? CreateFails() : OpenFails()) return nullptr;
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
    FILE* stream = fopen(host.c_str(), mode);
    if (stream) {
        State().streams.insert(stream);
        State().counters.openStreams++;
    }
    return stream;
}

size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    if (ReadFails()) return 0;
    return fread(buffer, size, count, stream);
}

size_t StreamWrite(const void* data, size_t size, size_t count, FILE* stream) {
    size_t bytes = size * count;
    switch (NextWriteFault()) {
    case WriteFault::None: break;
    case WriteFault::OneByteShort:
        if (bytes == 0 || size == 0) break;
        // One byte fewer than asked reaches the file; the result counts whole items.
        return fwrite(data, 1, bytes - 1, stream) / size;
    case WriteFault::DiskFull: return 0;
    }
    return fwrite(data, size, count, stream);
}

int StreamSeek(FILE* stream, long offset, int origin) {
    return fseek(stream, offset, origin);
}

int StreamClose(FILE* stream) {
    if (State().streams.erase(stream)) State().counters.openStreams--;
    return fclose(stream);
}

}  // extern "C"
