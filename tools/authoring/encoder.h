// Encoder for compressed catalogue entries (host only): produces the LZSS +
// adaptive Huffman stream that DecodeStream expands byte for byte.
#ifndef TOOLS_AUTHORING_ENCODER_H
#define TOOLS_AUTHORING_ENCODER_H

#include "decode/decode.h"
#include "decode/tree.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace authoring {

enum class Parsing { Greedy, Lazy, Best };

// Where EncodeData takes its data: fills up to `most` bytes of `buffer`,
// returns how many; 0 ends the data. Where it puts the stream: called with
// each stretch of it, in order.
using DataReader = std::function<size_t(uint8_t* buffer, size_t most)>;
using DataWriter = std::function<void(const uint8_t* bytes, size_t size)>;

// Compresses what `read` delivers into `write`, holding a bounded stretch of
// data (the reach of a match, the parse's look-ahead) and of the stream,
// whatever the size of the data. The same bytes as EncodeStream on the data
// whole. Returns the number of data bytes.
//
// `threads`: 1 runs everything on the calling thread; 2 or more searches the
// matches on a second thread, ahead of the parse (`read` is then called
// there); 0 takes two where the machine has more than one core. The stream
// is the same whatever the number. A build without threads
// (ENCODER_THREADS=0, scrpack.exe) always takes one.
uint64_t EncodeData(const DataReader& read, const DataWriter& write, Parsing parsing = Parsing::Best, int threads = 0);

// The compressed stream of `data` (size >= 0; an empty input gives an empty
// stream). Deterministic: the same input and parsing give the same bytes,
// whatever the number of threads (see EncodeData). Sizes are those of a
// catalogue entry: below 4 GiB.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, Parsing parsing = Parsing::Best, int threads = 0);

// From now on `progress` is told, now and then while a stream is encoded,
// how many of its bytes are done, with `size` 0 while its end is not known
// and equal to `done` once it is whole; on the thread that parses. For showing progress; nullptr: no one.
void SetEncodeProgress(void (*progress)(uint64_t done, uint64_t size, void* context), void* context);

// Writes a stream item by item, keeping the adaptive code in step with the
// decoder's. EncodeStream is built on it; tests use it for streams that no
// encoder would produce (copies from unwritten history, an over-long last
// match). Whether the items make sense is the caller's affair.
class ItemWriter {
public:
    ItemWriter();
    // A writer that hands its whole bytes to `write` as it goes (and
    // everything at Finish, which then returns nothing); `write` must
    // outlive it.
    explicit ItemWriter(const DataWriter& write);
    void Literal(uint8_t byte);
    void Match(int length, int distanceCode);  // length 3..30, distance code 0..4095
    // Bits the symbol (0..283) costs with the code as it stands now.
    int CodeLength(int symbol) const;
    // What the symbol is worth in bits by its share of all counts so far,
    // -log2(count / total): its code length rounds this, and the code moves
    // towards it as the counts grow.
    double SymbolBits(int symbol) const;
    // Bits a distance code costs: its prefix and six low bits.
    static int DistanceBits(int distanceCode);
    // The stream (what was not handed to the writer yet), the last byte
    // padded with zero bits. The writer is done after it.
    std::vector<uint8_t> Finish();

private:
    static constexpr size_t kDrainAt = size_t(1) << 16;
    void Symbol(int symbol);
    void Drain();
    void Bits(uint32_t value, int count);  // count 0..32, most significant bit first

    const DataWriter* write_ = nullptr;
    HuffTree tree_;
    std::vector<uint8_t> bytes_;
    uint64_t pending_ = 0;  // bits not yet in bytes_, the last ones lowest
    int pendingCount_ = 0;  // number of them, below 8 between calls
};

}  // namespace authoring

#endif
