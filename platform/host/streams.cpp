// The stream calls of platform/streams.h as the test layer gives them. A
// Windows path ("C:\...") is mapped onto its host folder, and the stream it
// gives is the layer's: counted while open, its creation and writes subject
// to the fault switches like _lcreat and _lwrite. Every other path and every
// other stream goes to the C runtime untouched.
#include "platform/streams.h"
#include "platform/host/hostwin.h"
#include "platform/host/state.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace hostwin;

static bool CreatesFile(const char* mode) {
    return std::strpbrk(mode, "wa") != nullptr;  // "r+" opens, never creates
}

extern "C" {

FILE* StreamOpen(const char* path, const char* mode) {
    if (!HasDrive(path) || !mode) return fopen(path, mode);
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
    FILE* stream = fopen(host.c_str(), mode);
    if (stream) {
        State().streams.insert(stream);
        State().counters.openStreams++;
    }
    return stream;
}

size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    return fread(buffer, size, count, stream);
}

size_t StreamWrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (!State().streams.count(stream)) return fwrite(data, size, count, stream);
    State().counters.writes++;
    size_t bytes = size * count;
    if (State().faults.shortWrite != State().counters.writes || bytes == 0 || size == 0)
        return fwrite(data, size, count, stream);
    // One byte fewer than asked reaches the file; the result counts whole items.
    size_t stored = fwrite(data, 1, bytes - 1, stream);
    return stored / size;
}

int StreamSeek(FILE* stream, long offset, int origin) {
    return fseek(stream, offset, origin);
}

int StreamClose(FILE* stream) {
    if (State().streams.erase(stream)) State().counters.openStreams--;
    return fclose(stream);
}

}  // extern "C"
