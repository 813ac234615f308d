// Private to decode/: the masks of short copies, and hosts only
// (PATTERN_COPY), short match copies by pattern.
//
// C headers only: this is part of the stub.
#ifndef DECODE_PATTERN_COPY_H
#define DECODE_PATTERN_COPY_H

#include "decode/tree.h"

#include <stdint.h>
#include <string.h>

enum { PATTERN_COPY = FOR_SPEED };

// Read at FIRST_BYTES_MASK + 8 - n: eight bytes of which the first n are
// 0xFF, in memory order, whatever the byte order of the machine.
static const uint8_t FIRST_BYTES_MASK[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A match whose source starts fewer than eight bytes back repeats its first
// `period` (d + 1) bytes: the hosts build eight bytes of that pattern with a
// multiplication and move it on by whole periods, eight bytes at a time; the
// stub, built for size, copies such a match byte by byte instead
// (PATTERN_COPY).

// Indexed by the period (1..7): its bytes repeated to fill eight, as a
// factor; and how far the pattern moves on from one eight bytes to the next
// (8 modulo the period).
static const uint64_t PATTERN_REPEAT[8] = {0,
                                           0x0101010101010101ull,
                                           0x0001000100010001ull,
                                           0x0001000001000001ull,
                                           0x0000000100000001ull,
                                           0x0000010000000001ull,
                                           0x0001000000000001ull,
                                           0x0100000000000001ull};
static const uint8_t PATTERN_ADVANCE[8] = {0, 0, 0, 2, 0, 3, 2, 1};

// Puts the `n` bytes of a match that repeats the `period` (1..7) bytes before
// ring position r (period <= r, r + n <= RING_SIZE) into the ring at r and
// into the block room. Eight bytes of the pattern are stored at a time; the
// next eight are the same pattern moved on by 8 modulo the period, and since
// it repeats, shifting it right by that many bytes and left by the rest of a
// period gives every byte twice over, the same both times. The last stores
// merge into the ring so that the history after the match stays; the room
// takes all eight (its bytes past n are overwritten before they are written
// out; both arrays have eight spare bytes at the end for this). Little
// endian: byte i of a word is bits 8i..8i+7.
static inline void CopyPattern(uint8_t* ring, uint32_t r, uint32_t period, uint32_t n, uint8_t* room) {
    uint64_t pattern;
    memcpy(&pattern, ring + r - period, 8);  // period bytes of the source, then the ring's old bytes
    pattern = (pattern & ((1ull << (8 * period)) - 1)) * PATTERN_REPEAT[period];
    uint32_t advance = 8 * PATTERN_ADVANCE[period];
    uint32_t rest = 8 * period - advance;
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        memcpy(ring + r + i, &pattern, 8);
        memcpy(room + i, &pattern, 8);
        pattern = (pattern >> advance) | (pattern << rest);
    }
    if (i < n) {
        uint64_t keep, mask;
        memcpy(&keep, ring + r + i, 8);
        memcpy(&mask, FIRST_BYTES_MASK + 8 - (n - i), 8);
        keep = (keep & ~mask) | (pattern & mask);
        memcpy(ring + r + i, &keep, 8);
        memcpy(room + i, &pattern, 8);
    }
}

#endif
