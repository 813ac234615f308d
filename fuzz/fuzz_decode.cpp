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
// bits; stopping when short takes it as it stands, and gives what the full
// decode gives as far as it goes.
#include "decode/decode.h"
#include "tools/authoring/memory_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kMaxOriginal = size_t(1) << 16;

struct Outcome {
    std::vector<uint8_t> out;
    DecodeStatus status = DECODE_OK;
    uint32_t shortfall = 0;
};

Outcome Decode(const uint8_t* stream, size_t size, uint32_t originalSize, DecodeEnd end) {
    Outcome o;
    o.status = authoring::DecodeBuffer(stream, size, originalSize, &o.out, end);
    o.shortfall = LastDecodeShortfall();
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t word = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    size_t cap = std::min(kMaxOriginal, 1024 + 16 * (size - 4));
    uint32_t originalSize = uint32_t(word % (cap + 1));
    Outcome first = Decode(data + 4, size - 4, originalSize, DECODE_TO_ORIGINAL_SIZE);
    if (first.out.size() != originalSize) abort();
    if (first.status == DECODE_WRITE_FAILED || first.status == DECODE_CANNOT_OPEN) abort();
    Outcome again = Decode(data + 4, size - 4, originalSize, DECODE_TO_ORIGINAL_SIZE);
    if (again.out != first.out || again.status != first.status) abort();
    Outcome stopped = Decode(data + 4, size - 4, word, DECODE_STOP_WHEN_SHORT);
    uint64_t most = uint64_t(MaxExpandedSize(uint32_t(size - 4))) + MAX_MATCH;
    if (stopped.out.size() > word || stopped.out.size() > most) abort();
    // It stops early only when short (what it stopped at may still wait in
    // the write block, so less than it gave can have reached the output).
    if (stopped.out.size() != word && stopped.shortfall == 0) abort();
    size_t common = std::min(stopped.out.size(), first.out.size());
    if (!std::equal(stopped.out.begin(), stopped.out.begin() + long(common), first.out.begin())) abort();
    return 0;
}
