// The adaptive Huffman LZSS decoder: expands one compressed entry, taking its
// input a byte at a time from the read block and giving its output to the
// write block (decode/block_io.h, the code behind ReadPtr and WritePtr).
//
// Trusts nothing in the stream. Promises, whatever the bits: it never takes
// more than storedSize bytes from the input, never gives more than
// originalSize bytes to the output, never indexes outside its fixed arrays,
// and always ends (every item adds at least one byte to the output count).
// What went wrong is recorded in LastDecodeStatus(), the first problem first;
// decoding goes on regardless, except after a failed write.
//
// Format notes:
// - Bits are taken from each stored byte most significant first. A symbol is
//   the path from the root to its leaf (0 = child[n], 1 = child[n] + 1).
//   Symbols 0..255 are literal bytes, 256..283 matches of 3..30 bytes; the
//   code adapts after every symbol (UpdateTree), a distance never changes it.
// - A distance code d (0..4095) is sent as a prefix for d / 64, taken from the
//   top of an 8-bit window through DISTANCE_HIGH / DISTANCE_PREFIX_LEN, then
//   the six low bits as they stand.
// - A match copies from ring position r - d - 1, byte by byte, so it may
//   overlap its own output (d = 0 repeats the last byte): never a memcpy.
// - Every stream starts with ring positions 0..4065 blank (0x20) and r = 4066.
//   Positions 4066..4095 are set to 0 here at the start of every stream, so
//   that a stream's output never depends on the stream before; a valid stream
//   never reads them before writing them (DECODE_UNSET_RING otherwise).
// - There is no end code: the stream ends at the original size, and the bits
//   left in the last byte are padding.
//
// This file is the decoding loop itself, the same for the stub and the
// hosts. The input side is bit_reader.h, the first levels of the code tree
// top_table.h; the ways the hosts take and the stub, built for size, does
// not (DECODE_SMALL, set by the library, see tree.h) live in files of their
// own: whole items from a full bit buffer (fast_items.h), the mending of a
// deeper top table (top_table.h), short copies by pattern (pattern_copy.h)
// and the output cursor (out_cursor.h).
//
// C headers only: this is part of the stub.
#include "decode/bit_reader.h"
#include "decode/block_io.h"
#include "decode/decode.h"
#include "decode/fast_items.h"
#include "decode/out_cursor.h"
#include "decode/pattern_copy.h"
#include "decode/top_table.h"
#include "decode/tree.h"

#include <stdint.h>
#include <string.h>

// Indexed by the first eight bits of a distance code: the high six bits of
// the distance, and how many of the eight bits the prefix took.
// clang-format off: the tables keep their rows of 16
const uint8_t DISTANCE_HIGH[256] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,
    2,  2,  2,  2,  2,  2,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  4,  4,  4,  4,  4,  4,  4,
    4,  5,  5,  5,  5,  5,  5,  5,  5,  6,  6,  6,  6,  6,  6,  6,  6,  7,  7,  7,  7,  7,  7,  7,  7,  8,  8,  8,  8,
    8,  8,  8,  8,  9,  9,  9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11, 12,
    12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15, 16, 16, 16, 16, 17, 17, 17, 17, 18, 18, 18, 18, 19, 19,
    19, 19, 20, 20, 20, 20, 21, 21, 21, 21, 22, 22, 22, 22, 23, 23, 23, 23, 24, 24, 25, 25, 26, 26, 27, 27, 28, 28, 29,
    29, 30, 30, 31, 31, 32, 32, 33, 33, 34, 34, 35, 35, 36, 36, 37, 37, 38, 38, 39, 39, 40, 40, 41, 41, 42, 42, 43, 43,
    44, 44, 45, 45, 46, 46, 47, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,
};

const uint8_t DISTANCE_PREFIX_LEN[256] = {
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4,
    4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
    4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,
    5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};
// clang-format on

enum { RING_MASK = RING_SIZE - 1 };

struct DecodeState {
    uint8_t ring[RING_SIZE + 8];  // the last 4096 output bytes (blanks and zeros at stream start),
                                  // and eight spare bytes for CopyMatch
    struct HuffTree tree;         // adaptive code of literals and match lengths
    struct TopTable top;          // the tree's first levels, while tree.watchedChanged stays 0
    struct BitReader bits;        // input position of the stream
    uint32_t r;                   // next ring position to write
    uint32_t originalSize;        // bytes the stream produces
    uint32_t outputCount;         // bytes given to the output so far, never above originalSize
    enum DecodeStatus status;     // first problem of the stream
};

static struct DecodeState gDecode;

// --- Items ----------------------------------------------------------------

// Walks from the root to a leaf, the first levels by one table lookup, the
// rest one bit per level, noting the path for the update that follows.
static inline int DecodeSymbol(struct HuffTree* tree, struct TopTable* top, struct BitReader* br, FILE* in,
                               uint16_t* path) {
    if (tree->watchedChanged) RefreshTopTable(top, tree);
    if (br->count <= 8) Refill(br, in, 8);  // at least 9 bits to look at
    const struct TopEntry* e = &top->entry[br->buffer >> (WORD_BITS - TOP_BITS)];
    int depth = e->length;
    ReadBits(br, in, (unsigned)depth);
    memcpy(path, e->path, sizeof e->path);
    unsigned n = tree->child[path[depth - 1]];
    while (n < NODE_COUNT) {
        unsigned node = n + ReadBit(br, in);
        path[depth++] = (uint16_t)node;
        n = tree->child[node];
    }
    UpdateTreeOnPath(tree, path, depth);
    return (int)(n - NODE_COUNT);
}

static inline unsigned DecodeDistance(struct BitReader* br, FILE* in) {
    unsigned w = ReadEightBits(br, in);
    unsigned high = DISTANCE_HIGH[w];
    unsigned extra = DISTANCE_PREFIX_LEN[w] - 2u;
    w = (w << extra) | ReadBits(br, in, extra);
    return high * 64 + (w & 63);
}

// Copies `n` bytes from distance code `d` into the ring at `r` and gives them
// to the output. The copy runs forward, so a source that overlaps the bytes
// being produced repeats them (a pattern; a run when d = 0).
static inline void CopyMatch(uint8_t* ring, uint32_t r, uint32_t d, uint32_t n, FILE* out, uint32_t originalSize,
                             struct OutCursor* cursor) {
    uint32_t p = (r - d - 1) & RING_MASK;
    uint8_t* room = CursorRoom(cursor, n);
    if (room != NULL && p + n <= RING_SIZE && r + n <= RING_SIZE) {  // the common case, in one pass
        if (d >= 7 && d <= RING_SIZE - 8) {
            // The source starts at least 8 bytes before the destination, or
            // at least 7 after it round the ring: eight bytes at a time then
            // give what a byte-by-byte forward copy gives, and so does
            // copying the last eight again (their sources hold their final
            // bytes already, or are not written by this copy). A shorter
            // match merges its bytes into the eight at r, keeping the history
            // after it; the block takes all eight, its bytes past n are
            // overwritten before they are written out (both arrays have
            // eight spare bytes at the end for this).
            uint64_t chunk;
            if (n < 8) {
                uint64_t keep, mask;
                memcpy(&chunk, ring + p, 8);
                memcpy(&keep, ring + r, 8);
                memcpy(&mask, FIRST_BYTES_MASK + 8 - n, 8);
                keep = (keep & ~mask) | (chunk & mask);
                memcpy(ring + r, &keep, 8);
                memcpy(room, &chunk, 8);
            } else {
                uint32_t i = 0;
                for (; i + 8 <= n; i += 8) {
                    memcpy(&chunk, ring + p + i, 8);
                    memcpy(ring + r + i, &chunk, 8);
                    memcpy(room + i, &chunk, 8);
                }
                if (i < n) {
                    memcpy(&chunk, ring + p + n - 8, 8);
                    memcpy(ring + r + n - 8, &chunk, 8);
                    memcpy(room + n - 8, &chunk, 8);
                }
            }
        } else if (PATTERN_COPY && d < 7 && r > d) {
            CopyPattern(ring, r, d + 1, n, room);
        } else {
            for (uint32_t i = 0; i < n; i++) room[i] = ring[r + i] = ring[p + i];
        }
        AdvanceCursor(cursor, n);
        return;
    }
    CloseCursor(cursor);
    uint32_t w = r;
    for (uint32_t i = 0; i < n; i++) {
        ring[w] = ring[p];
        w = (w + 1) & RING_MASK;
        p = (p + 1) & RING_MASK;
    }
    uint32_t first = RING_SIZE - r < n ? RING_SIZE - r : n;
    GiveBlockBytes(out, ring + r, first, originalSize);
    if (first < n) GiveBlockBytes(out, ring, n - first, originalSize);
    OpenCursor(cursor);
}

// Keeps the first problem; one that appears after input ran short is
// recorded as the short input that caused it.
static void NoteProblem(enum DecodeStatus* status, int usedMissing, enum DecodeStatus problem) {
    if (*status != DECODE_OK) return;
    *status = usedMissing ? DECODE_SHORT_INPUT : problem;
}

static void StartStream(struct DecodeState* st, uint32_t originalSize, uint32_t storedSize) {
    memset(&st->bits, 0, sizeof st->bits);
    st->bits.remaining = storedSize;
    st->bits.firstMissing = NO_MISSING;
    st->originalSize = originalSize;
    st->outputCount = 0;
    st->status = DECODE_OK;
    InitTree(&st->tree);
    memset(st->ring, ' ', RING_START);
    memset(st->ring + RING_START, 0, RING_SIZE - RING_START);
    st->r = RING_START;
}

// Bytes whose bits were used although the input did not deliver them.
static uint32_t Shortfall(const struct BitReader* br) {
    uint64_t used = br->taken * 8 - br->count;
    if (br->firstMissing == NO_MISSING || br->firstMissing * 8 >= used) return 0;
    uint64_t bytes = (used - br->firstMissing * 8 + 7) / 8;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)bytes;
}

// The decoding loop of DecodeStream and ExpandStream. With stopWhenShort, it
// ends after the first item that used a stand-in bit; the check costs one
// comparison per item until input first runs out.
static inline uint32_t DecodeItems(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize, int stopWhenShort) {
    struct DecodeState* st = &gDecode;
    StartStream(st, originalSize, storedSize);
    if (originalSize == 0) return 0;

    // The loop works on copies in locals: every byte stored into the ring or
    // the write block could alias the state struct, and would make the
    // compiler reload these after each one.
    struct BitReader bits = st->bits;
    struct HuffTree* tree = &st->tree;
    struct TopTable* top = &st->top;
    uint8_t* ring = st->ring;
    uint32_t r = st->r;
    uint32_t count = 0;
    enum DecodeStatus status = DECODE_OK;
    uint16_t path[SYMBOL_COUNT];  // the nodes of the last symbol's code, root's child first
    struct OutCursor cursor;
    OpenCursor(&cursor);

    while (count < originalSize && !gWriteBlock.failed) {
        if (stopWhenShort && bits.firstMissing != NO_MISSING && UsedMissingBits(&bits)) break;
        // A word from the read block, where one is there, lets the buffer hold
        // a whole item; near the end of the block, bits are taken one by one.
        if (FAST_ITEMS && bits.count < ITEM_BITS) Refill(&bits, in, 8);
        int fast = FAST_ITEMS && HoldsWholeItem(&bits);
        int symbol = fast ? WalkCode(tree, top, &bits, path) : DecodeSymbol(tree, top, &bits, in, path);
        if (symbol < 256) {
            ring[r] = (uint8_t)symbol;
            r = (r + 1) & RING_MASK;
            PutByte(&cursor, out, (uint8_t)symbol, originalSize);
            count++;
            continue;
        }
        uint32_t d = fast ? TakeDistance(&bits) : DecodeDistance(&bits, in);
        uint32_t n = (uint32_t)symbol - (FIRST_LENGTH_SYMBOL - MIN_MATCH);
        // Source ring position of the first byte, counted from the stream's
        // first blank: below 0 it is one of the positions not yet written.
        if (count < MAX_MATCH && d > RING_START - 1 + count)
            NoteProblem(&status, UsedMissingBits(&bits), DECODE_UNSET_RING);
        if (n > originalSize - count) {
            NoteProblem(&status, UsedMissingBits(&bits), DECODE_OVERRUN);
            n = originalSize - count;
        }
        CopyMatch(ring, r, d, n, out, originalSize, &cursor);
        r = (r + n) & RING_MASK;
        count += n;
    }

    CloseCursor(&cursor);
    if (UsedMissingBits(&bits)) NoteProblem(&status, 1, DECODE_SHORT_INPUT);
    if (gWriteBlock.failed) status = DECODE_WRITE_FAILED;
    st->bits = bits;
    st->r = r;
    st->outputCount = count;
    st->status = status;
    return count;
}

// The mode word marks the calls of ReadPtr and WritePtr as ordinary ones; the
// byte paths used here are the same code without the reset form, so it plays
// no part in them.
uint32_t DecodeStream(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize, int mode) {
    (void)mode;
    return DecodeItems(in, out, originalSize, storedSize, 0);
}

uint32_t ExpandStream(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize, enum DecodeEnd end) {
    ReadPtr(NULL, 0, 0);
    WritePtr(NULL, 0, 0, 0);
    return DecodeItems(in, out, originalSize, storedSize, end == DECODE_STOP_WHEN_SHORT);
}

uint32_t LastDecodeShortfall(void) {
    return Shortfall(&gDecode.bits);
}

uint32_t LastDecodeUsedBytes(void) {
    const struct BitReader* br = &gDecode.bits;
    uint64_t used = (br->taken * 8 - br->count + 7) / 8;
    if (br->firstMissing != NO_MISSING && br->firstMissing < used) used = br->firstMissing;
    return used > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)used;
}

uint32_t MaxExpandedSize(uint32_t storedSize) {
    uint64_t most = (uint64_t)storedSize * 8 * MAX_MATCH / 10;
    return most > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)most;
}

enum DecodeStatus LastDecodeStatus(void) {
    return gDecode.status;
}

const char* DecodeStatusName(enum DecodeStatus status) {
    switch (status) {
    case DECODE_OK: return "ok";
    case DECODE_SHORT_INPUT: return "stream shorter than its bits";
    case DECODE_OVERRUN: return "last match past the original size";
    case DECODE_UNSET_RING: return "copy from unwritten history";
    case DECODE_WRITE_FAILED: return "write failed";
    case DECODE_CANNOT_OPEN: return "cannot open";
    }
    return "unknown";
}
