// The adaptive code tree: the initial codes, the invariants every update and
// rebuild must keep, and the exact moment of the first rebuild.
#include "decode/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// The code of `symbol` as '0'/'1' from the root down.
std::string CodeOf(const HuffTree& t, int symbol) {
    std::string code;
    for (unsigned c = t.parent[NODE_COUNT + symbol]; c != ROOT; c = t.parent[c])
        code.insert(code.begin(), char('0' + (c - t.child[t.parent[c]])));
    return code;
}

unsigned LeafWeight(const HuffTree& t, int symbol) {
    return t.weight[t.parent[NODE_COUNT + symbol]];
}

// Every structural promise of the tree; returns "" or what is broken.
std::string CheckTree(const HuffTree& t) {
    if (t.weight[NODE_COUNT] != 0xFFFF) return "sentinel changed";
    if (t.parent[ROOT] != 0) return "root has a parent";
    for (int n = 0; n + 1 < NODE_COUNT; n++)
        if (t.weight[n] > t.weight[n + 1]) return "weights out of order at " + std::to_string(n);
    int leaves = 0;
    for (int n = 0; n < NODE_COUNT; n++) {
        unsigned k = t.child[n];
        if (k >= NODE_COUNT) {
            if (k >= NODE_COUNT + SYMBOL_COUNT) return "bad symbol at " + std::to_string(n);
            if (t.parent[k] != n) return "symbol map broken at " + std::to_string(n);
            if (t.weight[n] == 0) return "leaf of weight 0";
            leaves++;
            continue;
        }
        if (k + 1 >= NODE_COUNT) return "child out of range at " + std::to_string(n);
        if (t.parent[k] != n || t.parent[k + 1] != n) return "parent link broken at " + std::to_string(n);
        if (t.weight[n] != t.weight[k] + t.weight[k + 1]) return "sum broken at " + std::to_string(n);
    }
    if (leaves != SYMBOL_COUNT) return "leaf count " + std::to_string(leaves);
    // A complete prefix code: the Kraft sum of all code lengths is exactly 1.
    // No code is longer than the decoder's fast path reads at once.
    double kraft = 0;
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        size_t length = CodeOf(t, s).size();
        if (length > MAX_CODE_BITS) return "code of " + std::to_string(length) + " bits";
        kraft += std::ldexp(1.0, -int(length));
    }
    if (kraft != 1.0) return "not a complete code";
    return "";
}

TEST(Tree, InitialCodes) {
    HuffTree t;
    InitTree(&t);
    struct Case {
        int symbol;
        const char* code;
    };
    const Case cases[] = {
        {0x38, "00000000"}, {0x41, "00001001"}, {0x61, "00101001"},
        {256, "11001000"},  {283, "11100011"},  {0, "111001000"},
    };
    for (const Case& c : cases) EXPECT_EQ(CodeOf(t, c.symbol), c.code) << "symbol " << c.symbol;
    for (int s = 0; s < SYMBOL_COUNT; s++) EXPECT_EQ(CodeOf(t, s).size(), s < 56 ? 9u : 8u) << "symbol " << s;
    EXPECT_EQ(t.weight[ROOT], 284);
    EXPECT_EQ(CheckTree(t), "");
}

// A symbol from a source from flat (skew 0) to very skewed (deep trees, long
// scans).
int DrawSymbol(std::mt19937& rng, double skew) {
    if (skew <= 0) return int(rng() % SYMBOL_COUNT);
    return std::geometric_distribution<int>(skew)(rng) % SYMBOL_COUNT;
}

TEST(Tree, InvariantsHoldAcrossUpdatesAndRebuilds) {
    const uint32_t seed = 20240611;
    std::mt19937 rng(seed);
    for (double skew : {0.0, 0.05, 0.5}) {
        HuffTree t;
        InitTree(&t);
        for (int i = 0; i < 120000; i++) {
            UpdateTree(&t, DrawSymbol(rng, skew));
            if (i % 4999 == 0 || i % 32485 < 2) {
                std::string broken = CheckTree(t);
                ASSERT_EQ(broken, "") << "seed " << seed << " skew " << skew << " after " << i + 1;
            }
            ASSERT_LE(t.weight[ROOT], WEIGHT_LIMIT);
        }
    }
}

// The rebuild happens inside the 32,485th update, before its symbol counts:
// one symbol earlier or later gives a different root weight.
TEST(Tree, FirstRebuildAtThe32485thSymbol) {
    const uint32_t seed = 77;
    std::mt19937 rng(seed);
    HuffTree t;
    InitTree(&t);
    for (int i = 0; i < 32484; i++) UpdateTree(&t, int(rng() % SYMBOL_COUNT));
    ASSERT_EQ(t.weight[ROOT], WEIGHT_LIMIT) << "seed " << seed;

    unsigned halved = 0;
    for (int s = 0; s < SYMBOL_COUNT; s++) halved += (LeafWeight(t, s) + 1) / 2;
    unsigned before = LeafWeight(t, 5);
    UpdateTree(&t, 5);
    EXPECT_EQ(t.weight[ROOT], halved + 1);
    EXPECT_EQ(LeafWeight(t, 5), (before + 1) / 2 + 1);
    EXPECT_EQ(CheckTree(t), "");
}

// The rebuild's pairing as the format states it, node by node: leaves to the
// front with halved weights, then each new node (the sum of the next two
// nodes in order) inserted behind every node that weighs no more.
void PairByInsertion(const HuffTree& before, uint16_t* weight, uint16_t* child) {
    std::vector<std::pair<unsigned, unsigned>> nodes;  // weight, child value
    for (int n = 0; n < NODE_COUNT; n++)
        if (before.child[n] >= NODE_COUNT) nodes.push_back({(before.weight[n] + 1u) / 2, before.child[n]});
    for (unsigned i = 0; nodes.size() < NODE_COUNT; i += 2) {
        unsigned f = nodes[i].first + nodes[i + 1].first;
        auto behind = std::upper_bound(nodes.begin(), nodes.end(), f,
                                       [](unsigned w, const std::pair<unsigned, unsigned>& n) { return w < n.first; });
        nodes.insert(behind, {f, i});
    }
    for (int n = 0; n < NODE_COUNT; n++) {
        weight[n] = uint16_t(nodes[size_t(n)].first);
        child[n] = uint16_t(nodes[size_t(n)].second);
    }
}

// Hosts pair the nodes of a rebuild in one merge, the stub one insertion at a
// time: both must give the very same tree, ties between leaves and new nodes
// included (the initial tree is nothing but ties).
TEST(Tree, RebuildEqualsPairingByInsertion) {
    const uint32_t seed = 2718;
    std::mt19937 rng(seed);
    for (double skew : {0.0, 0.02, 0.3}) {
        HuffTree t;
        InitTree(&t);
        for (int round = 0; round < 40; round++) {
            uint16_t weight[NODE_COUNT], child[NODE_COUNT];
            PairByInsertion(t, weight, child);
            HuffTree rebuilt = t;
            RebuildTree(&rebuilt);
            ASSERT_EQ(std::memcmp(rebuilt.weight, weight, sizeof weight), 0) << "seed " << seed << " round " << round;
            ASSERT_EQ(std::memcmp(rebuilt.child, child, sizeof child), 0) << "seed " << seed << " round " << round;
            ASSERT_EQ(CheckTree(rebuilt), "");
            for (int i = 0; i < 800; i++) UpdateTree(&t, DrawSymbol(rng, skew));
        }
    }
}

// The nodes from the root's child down to the symbol's leaf, as a decoder
// walking the symbol's code passes them.
std::vector<uint16_t> PathTo(const HuffTree& t, int symbol) {
    std::vector<uint16_t> path;
    for (unsigned c = t.parent[NODE_COUNT + symbol]; c != ROOT; c = t.parent[c]) path.insert(path.begin(), uint16_t(c));
    return path;
}

bool SameTree(const HuffTree& a, const HuffTree& b) {
    return std::memcmp(a.weight, b.weight, sizeof a.weight) == 0 &&
           std::memcmp(a.child, b.child, sizeof a.child) == 0 && std::memcmp(a.parent, b.parent, sizeof a.parent) == 0;
}

// The decoder updates along the path it walked, the encoder by parent links;
// both must leave the very same tree, rebuilds included.
TEST(Tree, UpdateOnPathEqualsUpdate) {
    const uint32_t seed = 31337;
    std::mt19937 rng(seed);
    HuffTree byParent, byPath;
    InitTree(&byParent);
    InitTree(&byPath);
    std::geometric_distribution<int> skewed(0.08);
    for (int i = 0; i < 100000; i++) {
        int s = i % 3 ? skewed(rng) % SYMBOL_COUNT : int(rng() % SYMBOL_COUNT);
        std::vector<uint16_t> path = PathTo(byPath, s);
        UpdateTree(&byParent, s);
        UpdateTreeOnPath(&byPath, path.data(), int(path.size()));
        ASSERT_TRUE(SameTree(byParent, byPath)) << "seed " << seed << ", symbol " << i + 1;
    }
}

// UpdateTree as the adaptive code defines it, with the plainest scan for the
// node to exchange with (one weight at a time): the hosts scan eight at a
// time, and must find the very same node.
void PlainUpdate(HuffTree* t, int symbol) {
    if (t->weight[ROOT] == WEIGHT_LIMIT) RebuildTree(t);
    unsigned c = t->parent[NODE_COUNT + symbol];
    do {
        unsigned k = t->weight[c] + 1u;
        if (k > t->weight[c + 1]) {
            unsigned l = c + 1;
            while (t->weight[l + 1] < k) l++;
            t->weight[l] = uint16_t(k);
            std::swap(t->child[c], t->child[l]);
            for (unsigned n : {l, c}) {
                unsigned x = t->child[n];
                t->parent[x] = uint16_t(n);
                if (x < NODE_COUNT) t->parent[x + 1] = uint16_t(n);
            }
            c = l;
        } else {
            t->weight[c] = uint16_t(k);
        }
        c = t->parent[c];
    } while (c != 0);
}

TEST(Tree, ExchangeScanFindsThePlainScansNode) {
    const uint32_t seed = 2718;
    std::mt19937 rng(seed);
    HuffTree plain, library;
    InitTree(&plain);
    InitTree(&library);
    std::geometric_distribution<int> skewed(0.03);
    for (int i = 0; i < 100000; i++) {
        int s = i % 4 ? skewed(rng) % SYMBOL_COUNT : int(rng() % SYMBOL_COUNT);
        PlainUpdate(&plain, s);
        UpdateTree(&library, s);
        ASSERT_TRUE(SameTree(plain, library)) << "seed " << seed << ", symbol " << i + 1;
    }
}

// A reader may keep a copy of the top of the tree for as long as
// watchedChanged stays 0: every change to the child value of a watched node
// must be reported, rebuilds included (70,000 updates cross two of them).
// Where the tree names them (hosts), every changed watched node is named,
// unless the tree says there were too many to name.
TEST(Tree, WatchedChangedCoversEveryChangedWatchedNode) {
    const uint32_t seed = 4711;
    std::mt19937 rng(seed);
    HuffTree t;
    InitTree(&t);
    EXPECT_EQ(t.watchedChanged, 1);
    std::geometric_distribution<int> skewed(0.05);
    std::bernoulli_distribution pick(0.1);
    int reported = 0;
    for (int i = 0; i < 70000; i++) {
        uint16_t before[NODE_COUNT];
        std::memcpy(before, t.child, sizeof before);
        for (unsigned n = 0; n < NODE_COUNT; n++) t.watched[n] = pick(rng) ? 1 : 0;
        t.watchedChanged = 0;
        t.changedCount = 0;
        UpdateTree(&t, skewed(rng) % SYMBOL_COUNT);
        bool changed = false;
        for (unsigned n = 0; n < NODE_COUNT; n++) {
            if (!t.watched[n] || t.child[n] == before[n]) continue;
            changed = true;
            if (NAME_CHANGES && t.changedCount <= CHANGED_MAX) {
                ASSERT_NE(std::find(t.changed, t.changed + t.changedCount, n), t.changed + t.changedCount)
                    << "node " << n << " not named; seed " << seed << ", symbol " << i + 1;
            }
        }
        if (changed) {
            ASSERT_EQ(t.watchedChanged, 1) << "seed " << seed << ", symbol " << i + 1;
            reported++;
        }
    }
    EXPECT_GT(reported, 100) << "the updates hardly ever touched a watched node: the test proves little";
}

}  // namespace
