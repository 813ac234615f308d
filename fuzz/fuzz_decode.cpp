// Fuzz target for the decoder's promise on any input: it ends, gives the
// output exactly the original size (never more, never less while the writes
// succeed), reports no write failure of its own, and a stream's output does
// not depend on the stream decoded before it. Stopping when short, it ends
// within what the stored bytes can give (and the item that ran out) whatever
// size the stream declares, up to 4 GiB.
//
// Input: 4 bytes little-endian original size, then the stored bytes. For the
// full decode the size is taken modulo a cap that grows with the stored bytes
// (up to 64 KiB), so that a short input does not spend each run decoding zero
// bits; stopping when short takes it as it stands.
#include "decode/decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kMaxOriginal = size_t(1) << 16;

struct Sink {
    uint64_t bytes = 0;
    uint64_t hash = 1469598103934665603ull;  // FNV-1a over everything written
};

ssize_t SinkWrite(void* cookie, const char* data, size_t size) {
    auto* sink = static_cast<Sink*>(cookie);
    for (size_t i = 0; i < size; i++) sink->hash = (sink->hash ^ uint8_t(data[i])) * 1099511628211ull;
    sink->bytes += size;
    return ssize_t(size);
}

struct Outcome {
    Sink sink;
    uint32_t returned = 0;
    DecodeStatus status = DECODE_OK;
    uint32_t shortfall = 0;
};

Outcome Decode(const uint8_t* stream, size_t size, uint32_t originalSize, DecodeEnd end) {
    Outcome o;
    static uint8_t empty[1];
    FILE* in = fmemopen(size ? const_cast<uint8_t*>(stream) : empty, size ? size : 1, "rb");
    cookie_io_functions_t io{};
    io.write = SinkWrite;
    FILE* out = fopencookie(&o.sink, "wb", io);
    if (!in || !out) abort();
    o.returned = ExpandStream(in, out, originalSize, uint32_t(size), end);
    o.status = LastDecodeStatus();
    o.shortfall = LastDecodeShortfall();
    fclose(out);
    fclose(in);
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t word = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    size_t cap = std::min(kMaxOriginal, 1024 + 16 * (size - 4));
    uint32_t originalSize = uint32_t(word % (cap + 1));
    Outcome first = Decode(data + 4, size - 4, originalSize, DECODE_TO_ORIGINAL_SIZE);
    if (first.returned != originalSize || first.sink.bytes != originalSize) abort();
    if (first.status == DECODE_WRITE_FAILED || first.status == DECODE_CANNOT_OPEN) abort();
    Outcome again = Decode(data + 4, size - 4, originalSize, DECODE_TO_ORIGINAL_SIZE);
    if (again.sink.hash != first.sink.hash || again.status != first.status) abort();
    Outcome stopped = Decode(data + 4, size - 4, word, DECODE_STOP_WHEN_SHORT);
    uint64_t most = uint64_t(MaxExpandedSize(uint32_t(size - 4))) + MAX_MATCH;
    // What it stopped at may still wait in the write block: never more is written.
    if (stopped.returned > word || stopped.returned > most || stopped.sink.bytes > stopped.returned) abort();
    if (stopped.returned != word && stopped.shortfall == 0) abort();  // it stops only when short
    return 0;
}
