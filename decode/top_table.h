// Private to decode/: the first levels of the code tree resolved for every
// bit pattern, kept in step with the tree through its watched nodes. The
// stub's table is five levels deep and built afresh after a change; the
// hosts' (NAME_CHANGES) is seven deep and mended where the tree names a
// change (MendTopTable and the `last` and `heldLeaf` records).
//
// C headers only: this is part of the stub.
#ifndef DECODE_TOP_TABLE_H
#define DECODE_TOP_TABLE_H

#include "decode/tree.h"

#include <stdint.h>
#include <string.h>

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
    uint16_t path[TOP_BITS];  // the nodes passed, root's child first; on hosts, ROOT after the
                              // last of them (CountTablePath counts the whole array)
};

struct TopTable {
    struct TopEntry entry[TOP_SIZE];  // indexed by the next TOP_BITS bits
    uint16_t last[TOP_SIZE];          // hosts: the last node of each entry's path
    uint8_t heldLeaf[NODE_COUNT];     // hosts: for a watched node, 1 if it held a leaf when last walked
};

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
        for (unsigned i = length; i < TOP_BITS; i++) e->path[i] = ROOT;
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
            for (unsigned i = depth; i < TOP_BITS; i++) top->entry[bits].path[i] = ROOT;
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

#endif
