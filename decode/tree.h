// The adaptive Huffman code tree shared by the decoder and the encoder.
//
// 284 symbols: 0..255 literal bytes, 256..283 match lengths 3..30. Nodes are
// kept sorted by weight along the index order, so the node to exchange with on
// an update is found by a short upward scan that the sentinel weight[567] =
// 0xFFFF always stops. The root stands at index 566; the tree is rebuilt with
// halved leaf weights when the root's weight reaches WEIGHT_LIMIT, inside the
// update of the symbol that would carry it further (the 32,485th of a stream).
//
// Sorted by weight, with the two children of every node side by side, the
// tree is a Huffman tree of its leaf weights. A leaf n levels deep in a tree
// whose leaves weigh at least 1 needs a root weight of at least the Fibonacci
// number F(n + 2); F(24) = 46,368 is beyond WEIGHT_LIMIT, so no code is
// longer than MAX_CODE_BITS = 21 bits, whatever the symbols sent.
//
// C headers only: this is part of the stub.
#ifndef DECODE_TREE_H
#define DECODE_TREE_H

#include <stdint.h>

enum {
    RING_SIZE = 4096,
    MAX_MATCH = 30,
    MIN_MATCH = 3,
    SYMBOL_COUNT = 284,
    NODE_COUNT = 2 * SYMBOL_COUNT - 1,  // 567
    ROOT = NODE_COUNT - 1,              // 566
    WEIGHT_LIMIT = 0x8000,
    FIRST_LENGTH_SYMBOL = 256,           // symbol of a match of MIN_MATCH bytes
    RING_START = RING_SIZE - MAX_MATCH,  // 4066: where a stream starts writing
    MAX_CODE_BITS = 21,                  // longest code: see below
    CHANGED_MAX = 16                     // changed watched nodes a tree names (HuffTree.changed)
};
static_assert(NODE_COUNT == 567 && ROOT == 566, "tree size");
static_assert(SYMBOL_COUNT == 256 + MAX_MATCH - MIN_MATCH + 1, "one symbol per match length");

// The stub is built for size, the hosts for speed: where a faster way costs
// code, the stub takes the shorter one. Which of the two a build is, is a
// property of the decode library's target (DECODE_SMALL, a definition that
// every user of the library sees), never of the compiler's flags: a test
// file built with other flags than the library must still agree with it.
#if !defined(DECODE_SMALL)
#error "DECODE_SMALL comes with the decode library's target (stub_decode or stub_decode_small)"
#endif
enum { FOR_SPEED = !DECODE_SMALL };

// Hosts with SSE2 (DECODE_SSE2, set by the library like DECODE_SMALL) scan
// for the node to exchange with eight weights at a time; the weight array
// then has room for the eight read from the sentinel on.
#if !defined(DECODE_SSE2)
#error "DECODE_SSE2 comes with the decode library's target (stub_decode or stub_decode_small)"
#endif
#if DECODE_SSE2
#include <emmintrin.h>
#endif
enum { WEIGHT_PAD = DECODE_SSE2 ? 7 : 0 };

struct HuffTree {
    uint16_t weight[NODE_COUNT + 1 + WEIGHT_PAD];  // node weights, ascending by index; [567] = 0xFFFF
                                                   // (and the room after it, where there is some)
    uint16_t child[NODE_COUNT];                    // internal: index of the 0-child (1-child is +1); leaf: 567 + symbol
    uint16_t parent[NODE_COUNT + SYMBOL_COUNT];    // [n < 567]: parent of node n; [567 + s]: node holding symbol s
    uint8_t watched[NODE_COUNT];    // 1 for nodes whose child value a reader keeps a copy of (0 after InitTree)
    uint8_t watchedChanged;         // 1 once the child value of a watched node changed since a reader cleared
                                    // this (set by InitTree and RebuildTree): lets a reader keep a copy of
                                    // the tree's top levels
    uint8_t changedCount;           // how many nodes `changed` names; above CHANGED_MAX when they were too many
                                    // to name (or after InitTree and RebuildTree); a reader clears it along
                                    // with watchedChanged
    uint16_t changed[CHANGED_MAX];  // the watched nodes whose child values changed since then, so that a
                                    // reader can mend its copy where it changed (hosts only)
};

// Hosts name the watched nodes that changed, so that a reader's copy can be
// mended in place; the stub only flags a change, and its reader builds its
// copy afresh.
enum { NAME_CHANGES = FOR_SPEED };

// Flags a change to the child value of watched node n and names it, or
// notes that there were too many to name.
static inline void NoteWatchedChange(struct HuffTree* tree, unsigned n) {
    unsigned count = tree->changedCount;
    tree->watchedChanged = 1;
    if (count < CHANGED_MAX) tree->changed[count] = (uint16_t)n;
    tree->changedCount = (uint8_t)(count < CHANGED_MAX ? count + 1 : CHANGED_MAX + 1);
}

void InitTree(struct HuffTree* tree);
void UpdateTree(struct HuffTree* tree, int symbol);
void RebuildTree(struct HuffTree* tree);

// Points the parent entries of whatever node `n` holds (a leaf's symbol, or
// both children of an internal node) at `n`. Whether a node holds a leaf is
// as good as random, so hosts take no branch on it (the stub, built for
// size, does).
static inline void AdoptChildren(struct HuffTree* tree, unsigned n) {
    unsigned k = tree->child[n];
    tree->parent[k] = (uint16_t)n;
    if (!FOR_SPEED) {
        if (k < NODE_COUNT) tree->parent[k + 1] = (uint16_t)n;
    } else {
        tree->parent[k + (k < NODE_COUNT)] = (uint16_t)n;  // a leaf's entry twice: no branch to foresee
    }
}

// One exchange of an update: node c, not yet counted (weight k - 1), weighs
// as much as the next node, so counted it would outweigh it. It moves behind
// the last node still lighter than k (the sentinel ends the scan; the root,
// heavier than any node below it, is never reached) and is counted there.
// Every node from c to that one weighs k - 1, so index c keeps its weight.
// Returns the new index. Inline, as UpdateTreeOnPath below.
static inline unsigned ExchangeNode(struct HuffTree* tree, unsigned c, unsigned k) {
    uint16_t* weight = tree->weight;
    uint16_t* child = tree->child;
#if DECODE_SSE2
    // The first of eight weights not below k (k - w saturates to 0), from
    // c + 2 on; the sentinel is such a weight, and the room after it keeps
    // every load inside the array.
    const __m128i key = _mm_set1_epi16((short)k);
    const uint16_t* next = weight + c + 2;
    for (;;) {
        __m128i w = _mm_loadu_si128((const __m128i*)next);
        unsigned heavier = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(key, w), _mm_setzero_si128()));
        if (heavier != 0) {
            next += __builtin_ctz(heavier) / 2;
            break;
        }
        next += 8;
    }
    unsigned l = (unsigned)(next - weight) - 1;
#else
    const uint16_t* last = weight + c + 1;
    while (k > last[1]) last++;
    unsigned l = (unsigned)(last - weight);
#endif
    weight[l] = (uint16_t)k;
    unsigned i = child[c];
    child[c] = child[l];
    child[l] = (uint16_t)i;
    AdoptChildren(tree, l);
    AdoptChildren(tree, c);
    if (!NAME_CHANGES) {
        tree->watchedChanged |= (uint8_t)(tree->watched[c] | tree->watched[l]);
    } else {
        if (tree->watched[c]) NoteWatchedChange(tree, c);
        if (tree->watched[l]) NoteWatchedChange(tree, l);
    }
    return l;
}

// Counts one more use for node c and every node above it, exchanging as
// needed: the climb of UpdateTree.
void ClimbTree(struct HuffTree* tree, unsigned c);

// UpdateTree for a caller that has just walked down to the symbol's leaf:
// `path` holds the nodes it passed through, from the root's child (path[0])
// to the leaf (path[length - 1]). Same effect as UpdateTree on that symbol,
// cheaper: the parent of path[i] is path[i - 1] with no lookup, for as long
// as no exchange moves the climb off the path (an exchange between siblings
// does not). Inline: it runs once per decoded symbol.
static inline void UpdateTreeOnPath(struct HuffTree* tree, const uint16_t* path, int length) {
    uint16_t* weight = tree->weight;
    if (weight[ROOT] == WEIGHT_LIMIT) {  // a rebuild moves every node: no path holds
        UpdateTree(tree, tree->child[path[length - 1]] - NODE_COUNT);
        return;
    }
    const uint16_t* at = path + length;
    do {
        uint16_t* w = weight + *--at;  // a pointer, so that w[1] needs no index arithmetic
        unsigned old = *w;
        if (old >= w[1]) {  // counted, it would outweigh the next node
            unsigned up = tree->parent[ExchangeNode(tree, (unsigned)(w - weight), old + 1)];
            if (up != (at != path ? at[-1] : (unsigned)ROOT)) {
                ClimbTree(tree, up);
                return;
            }
        } else {
            *w = (uint16_t)(old + 1);
        }
    } while (at != path);
    weight[ROOT]++;
}

#endif
