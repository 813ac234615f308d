// Private to decode/, hosts only (FAST_ITEMS): a whole item read from a
// bit buffer that holds the longest one, with no look at the count or the
// input between its bits. The stub, built for size, reads every item the
// general way (DecodeSymbol, DecodeDistance in decoder.cpp).
//
// C headers only: this is part of the stub's sources, though the stub never
// takes this way.
#ifndef DECODE_FAST_ITEMS_H
#define DECODE_FAST_ITEMS_H

#include "decode/bit_reader.h"
#include "decode/top_table.h"
#include "decode/tree.h"

#include <stdint.h>
#include <string.h>

enum { FAST_ITEMS = FOR_SPEED };

enum {
    MAX_DISTANCE_BITS = 8 + 6,                     // longest distance code: prefix and low bits
    ITEM_BITS = MAX_CODE_BITS + MAX_DISTANCE_BITS  // longest item
};

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

// UpdateTreeOnPath for a code the top table holds whole: `path` is the
// entry's, padded with the root up to TOP_BITS nodes. Where no node on it
// needs an exchange (most symbols of most data), counting is one increment
// per node in any order, so it goes in a fixed number of steps: the
// climb's loop, whose end is hard to foresee, is left for the
// symbols that need an exchange. The padding counts the root over again;
// the root's weight is set once at the end, and the sentinel after it keeps
// its check from ever asking for an exchange.
static inline void CountTablePath(struct HuffTree* tree, const uint16_t* path, unsigned length) {
    uint16_t* weight = tree->weight;
    unsigned root = weight[ROOT];
    unsigned exchange = root == WEIGHT_LIMIT;
    for (unsigned i = 0; i < TOP_BITS; i++) exchange |= weight[path[i]] >= weight[path[i] + 1];
    if (exchange) {
        UpdateTreeOnPath(tree, path, (int)length);
        return;
    }
    for (unsigned i = 0; i < TOP_BITS; i++) weight[path[i]]++;
    weight[ROOT] = (uint16_t)(root + 1);
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
        CountTablePath(tree, e->path, depth);
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

// DecodeDistance for a buffer that holds at least MAX_DISTANCE_BITS bits.
static inline unsigned TakeDistance(struct BitReader* br) {
    unsigned w = (unsigned)(br->buffer >> (WORD_BITS - 8));
    unsigned length = DISTANCE_PREFIX_LEN[w] + 6u;
    unsigned low = (unsigned)(br->buffer >> (WORD_BITS - length)) & 63;
    br->buffer <<= length;
    br->count -= length;
    return DISTANCE_HIGH[w] * 64u + low;
}

#endif
