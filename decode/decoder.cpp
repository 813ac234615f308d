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
// C headers only: this is part of the stub.
#include "decode/block_io.h"
#include "decode/decode.h"
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

enum {
    RING_MASK = RING_SIZE - 1,
    MAX_DISTANCE_BITS = 8 + 6,                     // longest distance code: prefix and low bits
    ITEM_BITS = MAX_CODE_BITS + MAX_DISTANCE_BITS  // longest item
};
static const uint64_t NO_MISSING = UINT64_MAX;

// The bit buffer is a machine word: 64 bits on the hosts, 32 in the stub,
// whose smaller shifts and loads keep it small.
//
// Hosts also take the ways that are faster but cost code: a whole item read
// from a full bit buffer with no look at the input (FAST_ITEMS), and short
// match copies by pattern (PATTERN_COPY). The stub, built for size, goes
// the general way only.
enum { FAST_ITEMS = FOR_SPEED, PATTERN_COPY = FOR_SPEED };
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

// The first TOP_BITS levels of the code tree, resolved for every bit
// pattern: a walk starts with one lookup instead of a load per level. The top
// of the tree changes shape only rarely (exchanges happen almost always far
// below it), so the table changes only when the tree reports a change to the
// child value of a node it depends on (the tree's watched nodes). The stub
// then builds it afresh, five levels deep; hosts mend the entries below the
// nodes the tree names (NAME_CHANGES), which makes a table seven levels deep
// cheap to keep. Seven levels hold about two codes in three whole (of the
// bench corpus), and a walk that needs no more than the table ends without
// waiting for a load per level. Deeper tables cost more in mending than they
// save.
enum { TOP_BITS = NAME_CHANGES ? 7 : 5, TOP_SIZE = 1 << TOP_BITS };

// The walk goes on from the last node of an entry by reading its child value
// afresh, so only the nodes before it (and the root) must keep their shape.
// Hosts also keep each entry's last node apart, where a walk finds it
// without waiting for the entry's length; most walks need nothing more from
// the table.
struct TopEntry {
    uint16_t length;          // bits used, 1..TOP_BITS (fewer when a leaf comes first)
    uint16_t path[TOP_BITS];  // the nodes passed, root's child first
};

struct TopTable {
    struct TopEntry entry[TOP_SIZE];  // indexed by the next TOP_BITS bits
    uint16_t last[TOP_SIZE];          // hosts: the last node of each entry's path
    uint8_t heldLeaf[NODE_COUNT];     // hosts: for a watched node, 1 if it held a leaf when last walked
};

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

// --- Bit reading: the only code that takes input bytes -----------------------

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

// 1 when the next item may be read with no refill between its bits: the
// buffer holds the longest item. Taking a byte whenever no more than 8 bits
// are valid would meanwhile take at most one byte more than the buffer
// holds, and that byte is in the read block: this many bits are valid only
// after a word was taken from the block, which leaves at least one byte
// there (a word refill takes at most sizeof(BitWord) - 1 bytes of a block
// that holds a whole word). So no read call comes earlier or later than it
// would.
static inline int HoldsWholeItem(const struct BitReader* br) {
    return br->count >= ITEM_BITS;
}

// 1 when some bit used so far came from a stand-in zero.
static inline int UsedMissingBits(const struct BitReader* br) {
    uint64_t used = br->taken * 8 - br->count;
    return br->firstMissing != NO_MISSING && br->firstMissing * 8 < used;
}

// --- Items ----------------------------------------------------------------

// Completes the entry for `bits` below its first `length` nodes, descending
// from n, the child value of the last of them (of the root if none), which
// must not be a leaf, down to a leaf or TOP_BITS levels. The entry depends on
// the child values of the root and of every node it passes before its last
// one, so the tree watches those. Hosts also watch a last node that is a
// leaf above TOP_BITS levels (and note that it is one): should it come to
// hold a subtree, the entry must grow.
static void WalkEntry(struct TopTable* top, struct HuffTree* tree, unsigned bits, unsigned length, unsigned n) {
    struct TopEntry* e = &top->entry[bits];
    unsigned node;
    for (;;) {
        node = n + ((bits >> (TOP_BITS - 1 - length)) & 1);
        e->path[length++] = (uint16_t)node;
        n = tree->child[node];
        if (n >= NODE_COUNT || length == TOP_BITS) break;
        tree->watched[node] = 1;
        if (NAME_CHANGES) top->heldLeaf[node] = 0;
    }
    e->length = (uint16_t)length;
    if (NAME_CHANGES) {
        top->last[bits] = (uint16_t)node;
        if (length < TOP_BITS) {  // a leaf above TOP_BITS levels
            tree->watched[node] = 1;
            top->heldLeaf[node] = 1;
        }
    }
}

static void BuildTopTable(struct TopTable* top, struct HuffTree* tree) {
    memset(tree->watched, 0, sizeof tree->watched);
    tree->watched[ROOT] = 1;
    for (unsigned bits = 0; bits < TOP_SIZE; bits++) WalkEntry(top, tree, bits, 0, tree->child[ROOT]);
}

// Brings the entries below node y up to date after its child value changed.
// They are the entries whose bits begin with y's code, if y stands less than
// TOP_BITS levels deep; otherwise no entry depends on y. A leaf that gave
// way to another leaf changes no entry: each ends at y as before.
static void MendTopTable(struct TopTable* top, struct HuffTree* tree, unsigned y) {
    unsigned n = tree->child[y];
    if (top->heldLeaf[y] && n >= NODE_COUNT) return;
    unsigned depth = 0, code = 0;
    for (unsigned x = y; x != ROOT; depth++) {
        if (depth == TOP_BITS - 1) return;
        unsigned up = tree->parent[x];
        code |= (x - tree->child[up]) << depth;
        x = up;
    }
    unsigned first = code << (TOP_BITS - depth);
    unsigned last = first + (1u << (TOP_BITS - depth));
    top->heldLeaf[y] = n >= NODE_COUNT;
    for (unsigned bits = first; bits < last; bits++) {
        if (n < NODE_COUNT) {
            WalkEntry(top, tree, bits, depth, n);
        } else {  // the entries end at y
            top->entry[bits].length = (uint16_t)depth;
            top->last[bits] = (uint16_t)y;
        }
    }
}

// Makes the table match the tree again. Mending is exact. Take an entry and
// the path its bits now take: above the first node on it whose child value
// changed, the path is the one the entry holds (those nodes kept their child
// values), and every node on it was watched, so that node was named; its
// mend walks the entry again below it, and only mends of nodes further down
// the same path write to the entry after that. An entry whose path passes no
// changed node would come out as it is. Watched nodes that no longer lie on
// a path stay watched until the next full build, which costs only a
// needless mend.
static void RefreshTopTable(struct TopTable* top, struct HuffTree* tree) {
    if (NAME_CHANGES && tree->changedCount <= CHANGED_MAX) {
        for (unsigned i = 0; i < tree->changedCount; i++) MendTopTable(top, tree, tree->changed[i]);
    } else {
        BuildTopTable(top, tree);
    }
    tree->watchedChanged = 0;
    if (NAME_CHANGES) tree->changedCount = 0;
}

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

// DecodeSymbol for a buffer that holds at least MAX_CODE_BITS bits: the walk
// takes them with no look at the count or the input. Where the table holds
// the whole code, the update reads the path from the table.
static inline int WalkCode(struct HuffTree* tree, struct TopTable* top, struct BitReader* br, uint16_t* path) {
    if (tree->watchedChanged) RefreshTopTable(top, tree);
    BitWord buffer = br->buffer;
    size_t bits = buffer >> (WORD_BITS - TOP_BITS);
    const struct TopEntry* e = &top->entry[bits];
    unsigned depth = e->length;
    unsigned n = tree->child[top->last[bits]];
    buffer <<= depth;
    if (n >= NODE_COUNT) {
        br->buffer = buffer;
        br->count -= depth;
        UpdateTreeOnPath(tree, e->path, (int)depth);
        return (int)(n - NODE_COUNT);
    }
    memcpy(path, e->path, sizeof e->path);
    do {
        unsigned node = n + (unsigned)(buffer >> (WORD_BITS - 1));
        buffer <<= 1;
        path[depth++] = (uint16_t)node;
        n = tree->child[node];
    } while (n < NODE_COUNT);
    br->buffer = buffer;
    br->count -= depth;
    UpdateTreeOnPath(tree, path, (int)depth);
    return (int)(n - NODE_COUNT);
}

static inline unsigned DecodeDistance(struct BitReader* br, FILE* in) {
    unsigned w = ReadEightBits(br, in);
    unsigned high = DISTANCE_HIGH[w];
    unsigned extra = DISTANCE_PREFIX_LEN[w] - 2u;
    w = (w << extra) | ReadBits(br, in, extra);
    return high * 64 + (w & 63);
}

// DecodeDistance for a buffer that holds at least MAX_DISTANCE_BITS bits.
static inline unsigned TakeDistance(struct BitReader* br) {
    unsigned w = (unsigned)(br->buffer >> (WORD_BITS - 8));
    unsigned length = DISTANCE_PREFIX_LEN[w] + 6u;
    unsigned low = (unsigned)(br->buffer >> (WORD_BITS - length)) & 63;
    br->buffer <<= length;
    br->count -= length;
    return DISTANCE_HIGH[w] * 64u + low;
}

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

// Hosts keep the open write block in locals while the loop runs (an output
// cursor): where the next output byte goes and how many more may go there
// before a write falls due. Every byte stored into the ring or the block
// could alias the block's own count, so through the block itself each byte
// costs a reload and a store of it. The count is brought up to date
// (CloseCursor) before other code looks at the block, and the cursor taken
// afresh (OpenCursor) after. The stub, built for size, goes through the block
// for every byte: its cursor never has room, and opening and closing it do
// nothing.
enum { OUT_CURSOR = FOR_SPEED };

struct OutCursor {
    uint8_t* next;  // where the next output byte goes in the block
    uint32_t room;  // bytes that may still go there with no write falling due
};

static inline void OpenCursor(struct OutCursor* c) {
    struct WriteBlock* wb = &gWriteBlock;
    c->next = wb->block + wb->buffered;
    c->room = OUT_CURSOR && wb->open && wb->buffered + 1 < wb->limit ? wb->limit - wb->buffered - 1 : 0;
}

static inline void CloseCursor(const struct OutCursor* c) {
    if (OUT_CURSOR) gWriteBlock.buffered = (uint32_t)(c->next - gWriteBlock.block);
}

// Where `n` bytes can be put straight into the block with no write falling
// due, or NULL; AdvanceCursor(n) then accounts for them.
static inline uint8_t* CursorRoom(const struct OutCursor* c, uint32_t n) {
    if (!OUT_CURSOR) return BlockRoom(n);
    return n <= c->room ? c->next : NULL;
}

static inline void AdvanceCursor(struct OutCursor* c, uint32_t n) {
    if (!OUT_CURSOR) {
        WroteBlockBytes(n);
        return;
    }
    c->next += n;
    c->room -= n;
}

// Gives one output byte.
static inline void PutByte(struct OutCursor* c, FILE* out, uint8_t byte, uint32_t originalSize) {
    if (c->room != 0) {
        *c->next++ = byte;
        c->room--;
        return;
    }
    CloseCursor(c);
    GiveBlockByte(out, byte, originalSize);
    OpenCursor(c);
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
