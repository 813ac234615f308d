// fread of the test program, interposed: logs the size of each call made on
// a watched reader, then hands the call to the C library's own fread.
#include "tests/decode/recording_stream.h"

#include <dlfcn.h>

#include <map>

namespace decodetest {

static std::map<FILE*, StreamLog*>& Watched() {
    static std::map<FILE*, StreamLog*> watched;
    return watched;
}

void WatchReads(FILE* stream, StreamLog* log) {
    Watched()[stream] = log;
}

void UnwatchReads(FILE* stream) {
    Watched().erase(stream);
}

}  // namespace decodetest

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
    using Fread = size_t (*)(void*, size_t, size_t, FILE*);
    static const Fread real = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
    auto it = decodetest::Watched().find(stream);
    if (it != decodetest::Watched().end()) it->second->calls.push_back(size * count);
    return real(buffer, size, count, stream);
}
