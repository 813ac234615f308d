// The stream calls of platform/streams.h straight from the C runtime: what
// the stub and the host tools use. Paths are passed on exactly as given.
#include "platform/streams.h"

extern "C" {

FILE* StreamOpen(const char* path, const char* mode) {
    return fopen(path, mode);
}

size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    return fread(buffer, size, count, stream);
}

size_t StreamWrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    return fwrite(buffer, size, count, stream);
}

int StreamSeek(FILE* stream, long offset, int origin) {
    return fseek(stream, offset, origin);
}

int StreamClose(FILE* stream) {
    return fclose(stream);
}

}  // extern "C"
