// Private to the encoder: binary-tree match finder over the history as the
// decoder sees it, a sequence of RING_START blanks followed by the data.
//
// A match at position `pos` with source `src` has distance code
// pos - src - 1 (0..4095), so sources lie in [pos - 4096, pos - 1] and never
// before the sequence's start: the ring positions a stream has not written
// are out of reach by construction, while the initial blanks are legitimate
// sources.
//
// Every position is inserted, in order, into a binary search tree of the
// positions with the same first three bytes, ordered by the bytes that
// follow (up to MAX_MATCH of them), newer positions nearer the root. One walk
// down from the root both finds the matches and inserts the position: the
// nodes passed are ever longer matches, each the nearest of its length.
//
// The walk keeps the common length of the nearest bounds on either side:
// every node below lies between them, so it shares at least the shorter of
// the two with the position, and the compare starts there. That holds for as
// long as every position went in with the full MAX_MATCH compare (positions
// fallen out of reach end a walk before it reads them). Once one went in
// with a shorter compare (near the end of the data), the tree may be bent
// out of order, and every match is checked byte by byte before it is
// reported: a bent tree can only cost compression, never give a wrong match.
#ifndef TOOLS_AUTHORING_MATCH_FINDER_H
#define TOOLS_AUTHORING_MATCH_FINDER_H

#include "decode/tree.h"

#include <cstdint>
#include <cstring>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "CommonLength reads words little-endian");

namespace authoring {

struct MatchCandidate {
    int length;        // MIN_MATCH..MAX_MATCH
    int distanceCode;  // 0..RING_SIZE - 1
};

class MatchFinder {
public:
    // The bytes read past the end of the sequence by the word-wise compare;
    // the caller's buffer must have this much readable padding.
    static constexpr size_t kPadding = 16;

    // `maxDepth` bounds the tree nodes looked at per position.
    explicit MatchFinder(int maxDepth) : maxDepth_(maxDepth), head_(kHashSize, kNone), son_(2 * kSlots, kNone) {}

    // Where the sequence is held: `bytes` holds its positions from `first`
    // on, every one a walk may read (a reach back from the position and up
    // to maxLength on), followed by kPadding readable bytes. Called again
    // whenever the holder moves or slides its bytes.
    void SetSequence(const uint8_t* bytes, int64_t first) {
        seq_ = bytes;
        first_ = first;
    }

    // Inserts `pos` (positions in order, each once) and writes the matches
    // at it, not longer than maxLength (at most the bytes left), in
    // increasing length; each is the nearest source found for its length and
    // all lengths between the previous one and it. Returns their number.
    int FindAndInsert(int64_t pos, int maxLength, MatchCandidate* out) { return Walk(pos, maxLength, out); }

    // Inserts `pos` without reporting matches.
    void Insert(int64_t pos, int maxLength) { Walk(pos, maxLength, nullptr); }

private:
    // 8192 trees for the 4096 positions in reach. Slots of positions are
    // kept for twice the reach, so that a node fallen out of reach is never
    // the one being overwritten.
    static constexpr int kHashBits = 13;
    static constexpr size_t kHashSize = size_t(1) << kHashBits;
    static constexpr uint32_t kSlots = 2 * RING_SIZE;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    static uint32_t Hash(const uint8_t* p) {
        uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    // Equal leading bytes of a and b from `from` on, up to `limit` (<=
    // MAX_MATCH); eight bytes at a time, reading at most kPadding bytes past
    // the limit.
    static int CommonLength(const uint8_t* a, const uint8_t* b, int from, int limit) {
        int n = from;
        while (n < limit) {
            uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (uint64_t diff = x ^ y) {
                n += __builtin_ctzll(diff) / 8;  // little-endian: first differing byte
                break;
            }
            n += 8;
        }
        return n < limit ? n : limit;
    }

    // Positions are kept in their low 32 bits; a node is found again through
    // its distance, which must stay within reach and within the sequence.
    int Walk(int64_t pos, int maxLength, MatchCandidate* out) {
        if (maxLength < MAX_MATCH) bent_ = true;
        const uint8_t* cur = seq_ + (pos - first_);
        uint32_t h = Hash(cur);
        uint32_t cand = head_[h];
        head_[h] = uint32_t(pos);
        uint32_t* smaller = &son_[2 * (uint32_t(pos) % kSlots)];  // where the next node below cur goes
        uint32_t* larger = smaller + 1;                           // where the next node above cur goes
        int smallerLength = 0, largerLength = 0;                  // bytes the bounds share with cur
        int best = MIN_MATCH - 1;
        int found = 0;
        uint64_t reach = pos < RING_SIZE ? uint64_t(pos) : uint64_t(RING_SIZE);
        for (int depth = maxDepth_; depth > 0; depth--) {
            uint32_t distance = uint32_t(pos) - cand;
            if (cand == kNone || distance == 0 || distance > reach) break;
            const uint8_t* src = cur - distance;
            uint32_t* pair = &son_[2 * (cand % kSlots)];
            int length = smallerLength < largerLength ? smallerLength : largerLength;
            length = CommonLength(src, cur, length, maxLength);
            if (out && length > best && (!bent_ || CommonLength(src, cur, 0, length) == length)) {
                best = length;
                out[found++] = MatchCandidate{length, int(distance - 1)};
            }
            if (length >= maxLength) {  // cur takes the node's place
                *smaller = pair[0];
                *larger = pair[1];
                return found;
            }
            if (src[length] < cur[length]) {
                *smaller = cand;
                smaller = &pair[1];
                smallerLength = length;
                cand = pair[1];
            } else {
                *larger = cand;
                larger = &pair[0];
                largerLength = length;
                cand = pair[0];
            }
        }
        *smaller = kNone;
        *larger = kNone;
        return found;
    }

    const uint8_t* seq_ = nullptr;  // the held bytes of the sequence,
    int64_t first_ = 0;             // from this position on
    int maxDepth_;
    bool bent_ = false;           // a position was inserted with a shorter compare: the tree may be out of order
    std::vector<uint32_t> head_;  // per hash: the root of its tree (latest position), or kNone
    std::vector<uint32_t> son_;   // per position slot: its smaller and larger subtree
};

}  // namespace authoring

#endif
