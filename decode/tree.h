// The adaptive Huffman code tree shared by the decoder and the encoder.
//
// 284 symbols: 0..255 literal bytes, 256..283 match lengths 3..30. Nodes are
// kept sorted by weight along the index order, so the node to exchange with on
// an update is found by a short upward scan that the sentinel weight[567] =
// 0xFFFF always stops. The root stands at index 566; the tree is rebuilt with
// halved leaf weights when the root's weight reaches WEIGHT_LIMIT, inside the
// update of the symbol that would carry it further (the 32,485th of a stream).
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
    FIRST_LENGTH_SYMBOL = 256,          // symbol of a match of MIN_MATCH bytes
    RING_START = RING_SIZE - MAX_MATCH  // 4066: where a stream starts writing
};
static_assert(NODE_COUNT == 567 && ROOT == 566, "tree size");
static_assert(SYMBOL_COUNT == 256 + MAX_MATCH - MIN_MATCH + 1, "one symbol per match length");

struct HuffTree {
    uint16_t weight[NODE_COUNT + 1];            // node weights, ascending by index; [567] = 0xFFFF
    uint16_t child[NODE_COUNT];                 // internal: index of the 0-child (1-child is +1); leaf: 567 + symbol
    uint16_t parent[NODE_COUNT + SYMBOL_COUNT]; // [n < 567]: parent of node n; [567 + s]: node holding symbol s
};

void InitTree(struct HuffTree* tree);
void UpdateTree(struct HuffTree* tree, int symbol);
void RebuildTree(struct HuffTree* tree);

#endif
