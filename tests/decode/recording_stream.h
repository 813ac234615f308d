// Test streams for the block layers: stdio streams over memory (glibc
// fopencookie) that record the size of every fread or fwrite call the code
// under test makes on them, and can fall short on request. Writes are seen by
// the cookie itself (the stream is unbuffered); reads go through the stream's
// own buffer, so fread is interposed for the test program instead
// (recording_stream.cpp) and logs the calls made on a reader.
#ifndef TESTS_DECODE_RECORDING_STREAM_H
#define TESTS_DECODE_RECORDING_STREAM_H

#include "decode/decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace decodetest {

struct StreamLog {
    std::vector<uint8_t> bytes;     // reader: what it serves; writer: what it received
    size_t position = 0;            // reader: next byte to serve
    size_t deliverable = SIZE_MAX;  // reader: bytes it delivers at most, in total
    int shortWriteAt = 0;           // writer: this call (1-based) stores one byte fewer; 0 = none
    std::vector<size_t> calls;      // size asked in each fread / fwrite call, in order
};

// Readers whose fread calls are logged (recording_stream.cpp).
void WatchReads(FILE* stream, StreamLog* log);
void UnwatchReads(FILE* stream);

inline ssize_t ServeRead(void* cookie, char* buffer, size_t size) {
    auto* log = static_cast<StreamLog*>(cookie);
    size_t end = std::min(log->bytes.size(), log->deliverable);
    size_t n = log->position < end ? std::min(size, end - log->position) : 0;
    std::memcpy(buffer, log->bytes.data() + log->position, n);
    log->position += n;
    return ssize_t(n);
}

inline ssize_t LogWrite(void* cookie, const char* buffer, size_t size) {
    auto* log = static_cast<StreamLog*>(cookie);
    log->calls.push_back(size);
    size_t n = int(log->calls.size()) == log->shortWriteAt && size > 0 ? size - 1 : size;
    log->bytes.insert(log->bytes.end(), buffer, buffer + n);
    return ssize_t(n);
}

inline FILE* OpenReader(StreamLog* log) {
    cookie_io_functions_t io{};
    io.read = ServeRead;
    FILE* f = fopencookie(log, "rb", io);
    if (f) WatchReads(f, log);
    return f;
}

inline void CloseReader(FILE* f) {
    UnwatchReads(f);
    fclose(f);
}

inline FILE* OpenWriter(StreamLog* log) {
    cookie_io_functions_t io{};
    io.write = LogWrite;
    FILE* f = fopencookie(log, "wb", io);
    if (f) setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

// One DecodeStream call through recording streams, both block layers reset
// first as DecodeFile does (or one ExpandStream call, when `end` says where
// to stop). `in.bytes` is the stored data; fill `in` and `out` settings
// before Run().
struct DecodeRun {
    StreamLog in, out;
    uint32_t returned = 0;
    DecodeStatus status = DECODE_OK;
    uint32_t shortfall = 0;
    const DecodeEnd* end = nullptr;

    void Run(uint32_t originalSize, uint32_t storedSize) {
        FILE* reader = OpenReader(&in);
        FILE* writer = OpenWriter(&out);
        if (end) {
            returned = ExpandStream(reader, writer, originalSize, storedSize, *end);
        } else {
            ReadPtr(nullptr, 0, 0);
            WritePtr(nullptr, 0, 0, 0);
            returned = DecodeStream(reader, writer, originalSize, storedSize, STREAM_MODE);
        }
        status = LastDecodeStatus();
        shortfall = LastDecodeShortfall();
        fclose(writer);
        CloseReader(reader);
    }
    void Run(uint32_t originalSize) { Run(originalSize, uint32_t(in.bytes.size())); }
};

}  // namespace decodetest

#endif
