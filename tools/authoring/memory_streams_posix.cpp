// Streams over memory on POSIX systems (see memory_decode.h): the C library's
// own memory streams.
#include "tools/authoring/memory_decode.h"

#include <sys/types.h>

namespace authoring {

namespace {

ssize_t AppendToVector(void* cookie, const char* bytes, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(cookie);
    out->insert(out->end(), bytes, bytes + size);
    return ssize_t(size);
}

}  // namespace

FILE* OpenMemoryReader(const uint8_t* bytes, size_t size) {
    // fmemopen wants at least one byte; the decoder reads none of an empty stream.
    static uint8_t empty[1];
    return fmemopen(size > 0 ? const_cast<uint8_t*>(bytes) : empty, size > 0 ? size : 1, "rb");
}

FILE* OpenMemoryWriter(std::vector<uint8_t>* out) {
    cookie_io_functions_t io{};
    io.write = AppendToVector;
    return fopencookie(out, "wb", io);
}

bool CloseMemoryWriter(FILE* writer, std::vector<uint8_t>*) {
    return fclose(writer) == 0;
}

}  // namespace authoring
