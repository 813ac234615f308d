// Private to decode/: the decoder's input side, a bit buffer over the read
// block (block_io.h). The only code that takes input bytes; end of input is
// decided here and only here.
//
// The bit buffer is a machine word: 64 bits on the hosts, 32 in the stub,
// whose smaller shifts and loads keep it small.
//
// C headers only: this is part of the stub.
#ifndef DECODE_BIT_READER_H
#define DECODE_BIT_READER_H

#include "decode/block_io.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

static const uint64_t NO_MISSING = UINT64_MAX;

typedef uintptr_t BitWord;
enum { WORD_BITS = 8 * sizeof(BitWord) };
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "LoadBigEndian swaps the bytes of a word");

// The input side of a stream. Invariant: before every bit is taken, more
// than 8 bits are valid (Refill); where the read block has a whole word left,
// a refill takes as many of its bytes as fit, otherwise one byte at a time
// until more than 8 bits are valid. So bytes are taken from a new block
// exactly when the byte-at-a-time rule would take them, and no read call is
// made that it would not make. Valid bits stand left-aligned, the bits below
// them are zero.
struct BitReader {
    BitWord buffer;         // valid bits from the top bit down; the next bit is the top bit
    uint32_t count;         // number of valid bits (0..WORD_BITS)
    uint32_t remaining;     // stored bytes not yet taken from the input
    uint64_t taken;         // bytes loaded into the buffer: stored ones and stand-in zeros
    uint64_t firstMissing;  // load number of the first stand-in zero (past the stored
                            // size, or a read that delivered nothing); NO_MISSING if none
};

static inline BitWord LoadBigEndian(const uint8_t* p) {
    BitWord w;
    memcpy(&w, p, sizeof w);
    return sizeof w == 8 ? (BitWord)__builtin_bswap64(w) : (BitWord)__builtin_bswap32((uint32_t)w);
}

// Takes input bytes while no more than `level` bits are valid (8, except
// where several bits are taken at once). End of input is decided here and
// only here: past the stored size, or where the stream delivered nothing, a
// zero stands in and the first such load is remembered. A word from the
// block holds only stored bytes (the block never holds more than the
// remaining count), so no stand-in is ever taken that way.
static inline void Refill(struct BitReader* br, FILE* in, uint32_t level) {
    const uint8_t* word = BlockBytesAhead(sizeof(BitWord));
    if (word != NULL) {
        uint32_t take = (WORD_BITS - 1 - br->count) / 8;
        uint32_t filled = br->count + 8 * take;
        br->buffer |= (LoadBigEndian(word) >> br->count) & ((BitWord)-1 << (WORD_BITS - filled));
        br->count = filled;
        br->remaining -= take;
        br->taken += take;
        TookBlockBytes(take);
        return;
    }
    while (br->count <= level) {
        int byte = -1;
        if (br->remaining != 0) {
            byte = TakeBlockByte(in, br->remaining);
            br->remaining--;
        }
        if (byte < 0) {
            if (br->firstMissing == NO_MISSING) br->firstMissing = br->taken;
            byte = 0;
        }
        br->buffer |= (BitWord)byte << (WORD_BITS - 8 - br->count);
        br->count += 8;
        br->taken++;
    }
}

static inline unsigned ReadBit(struct BitReader* br, FILE* in) {
    if (br->count <= 8) Refill(br, in, 8);
    unsigned bit = (unsigned)(br->buffer >> (WORD_BITS - 1));
    br->buffer <<= 1;
    br->count--;
    return bit;
}

// `count` (1..8) bits at once, taking input bytes exactly as `count` calls
// of ReadBit would: before the last of them more than 8 bits are valid.
static inline unsigned ReadBits(struct BitReader* br, FILE* in, unsigned count) {
    if (br->count <= count + 7) Refill(br, in, count + 7);
    unsigned bits = (unsigned)(br->buffer >> (WORD_BITS - count));
    br->buffer <<= count;
    br->count -= count;
    return bits;
}

static inline unsigned ReadEightBits(struct BitReader* br, FILE* in) {
    if (br->count <= 8) Refill(br, in, 8);
    unsigned bits = (unsigned)(br->buffer >> (WORD_BITS - 8));
    br->buffer <<= 8;
    br->count -= 8;
    return bits;
}

// 1 when some bit used so far came from a stand-in zero.
static inline int UsedMissingBits(const struct BitReader* br) {
    uint64_t used = br->taken * 8 - br->count;
    return br->firstMissing != NO_MISSING && br->firstMissing * 8 < used;
}

#endif
