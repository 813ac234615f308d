// The adaptive Huffman code tree: built, counted and rebuilt identically for
// the decoder and the encoder, which must stay in step symbol for symbol.
//
// Trusts: symbols handed to UpdateTree are 0..283 (callers take them from the
// tree itself or from their own item list). Every index used here comes from
// the tree's own arrays, whose values stay below their sizes by construction.
//
// Format notes:
// - Nodes stand in non-decreasing weight order along the index (the sibling
//   order); the two children of a node always stand side by side, so one child
//   index per node is enough.
// - weight[567] is a sentinel of 0xFFFF: the upward scan for the node to
//   exchange with stops there without a bounds check. The root's weight is
//   the sum of all leaves, never above WEIGHT_LIMIT, so the scan never
//   reaches the root itself.
// - The rebuild runs at the start of the update that finds the root at
//   WEIGHT_LIMIT, before the new symbol is counted.
#include "decode/tree.h"

#include <string.h>

void InitTree(struct HuffTree* tree) {
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        tree->weight[s] = 1;
        tree->child[s] = (uint16_t)(NODE_COUNT + s);
        tree->parent[NODE_COUNT + s] = (uint16_t)s;
    }
    for (int j = SYMBOL_COUNT; j < NODE_COUNT; j++) {
        int i = 2 * (j - SYMBOL_COUNT);
        tree->child[j] = (uint16_t)i;
        tree->weight[j] = (uint16_t)(tree->weight[i] + tree->weight[i + 1]);
        tree->parent[i] = tree->parent[i + 1] = (uint16_t)j;
    }
    for (int n = NODE_COUNT; n < NODE_COUNT + 1 + WEIGHT_PAD; n++) tree->weight[n] = 0xFFFF;
    tree->parent[ROOT] = 0;
    memset(tree->watched, 0, sizeof tree->watched);
    tree->watchedChanged = 1;
    if (NAME_CHANGES) tree->changedCount = CHANGED_MAX + 1;
}

// The pairing of RebuildTree in one pass (hosts; the stub inserts node by
// node, which is shorter code and costs it a few thousand moves per rebuild).
// The new nodes come out in order of weight, each the sum of two nodes that
// stand before it, and each goes behind every node of equal weight, leaves
// included: so the sorted order is the merge of the leaves and the new
// nodes, a leaf first where they weigh the same, and a new node can be
// placed once both its children are.
static void MergeInternalNodes(struct HuffTree* tree) {
    uint16_t* weight = tree->weight;
    uint16_t* child = tree->child;
    uint16_t leafWeight[SYMBOL_COUNT], leafChild[SYMBOL_COUNT];
    memcpy(leafWeight, weight, sizeof leafWeight);
    memcpy(leafChild, child, sizeof leafChild);
    unsigned leaf = 0, pair = 0;  // next leaf; children of the next new node at pair, pair + 1
    for (unsigned n = 0; n < NODE_COUNT; n++) {
        unsigned f = pair + 1 < n ? (unsigned)weight[pair] + weight[pair + 1] : 0xFFFFFFFFu;
        if (leaf < SYMBOL_COUNT && leafWeight[leaf] <= f) {
            weight[n] = leafWeight[leaf];
            child[n] = leafChild[leaf];
            leaf++;
        } else {
            weight[n] = (uint16_t)f;
            child[n] = (uint16_t)pair;
            pair += 2;
        }
    }
}

void RebuildTree(struct HuffTree* tree) {
    uint16_t* weight = tree->weight;
    uint16_t* child = tree->child;

    // Leaves to the front in their old order, weights halved (rounding up, so
    // no leaf drops to 0).
    int j = 0;
    for (int i = 0; i < NODE_COUNT; i++) {
        if (child[i] >= NODE_COUNT) {
            weight[j] = (uint16_t)((weight[i] + 1) / 2);
            child[j] = child[i];
            j++;
        }
    }
    // Pair them up again; each new node goes behind every node of equal
    // weight, which keeps the order sorted.
    if (FOR_SPEED)
        MergeInternalNodes(tree);
    else
        for (j = SYMBOL_COUNT; j < NODE_COUNT; j++) {
            int i = 2 * (j - SYMBOL_COUNT);
            unsigned f = (unsigned)weight[i] + weight[i + 1];
            int k = j - 1;
            while (weight[k] > f) k--;
            k++;
            size_t moved = (size_t)(j - k);
            memmove(&weight[k + 1], &weight[k], moved * sizeof weight[0]);
            memmove(&child[k + 1], &child[k], moved * sizeof child[0]);
            weight[k] = (uint16_t)f;
            child[k] = (uint16_t)i;
        }
    for (int i = 0; i < NODE_COUNT; i++) AdoptChildren(tree, (unsigned)i);
    tree->parent[ROOT] = 0;
    tree->watchedChanged = 1;
    if (NAME_CHANGES) tree->changedCount = CHANGED_MAX + 1;
}

void ClimbTree(struct HuffTree* tree, unsigned c) {
    uint16_t* weight = tree->weight;
    const uint16_t* parent = tree->parent;
    size_t n = c;  // as wide as a pointer: w[1] below needs no index arithmetic
    do {
        uint16_t* w = weight + n;
        unsigned old = *w;
        if (old >= w[1])  // counted, it would outweigh the next node
            n = ExchangeNode(tree, (unsigned)n, old + 1);
        else
            *w = (uint16_t)(old + 1);
        n = parent[n];
    } while (n != 0);
}

void UpdateTree(struct HuffTree* tree, int symbol) {
    if (tree->weight[ROOT] == WEIGHT_LIMIT) RebuildTree(tree);
    ClimbTree(tree, tree->parent[NODE_COUNT + symbol]);
}
