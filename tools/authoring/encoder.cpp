// The encoder of compressed catalogue entries: LZSS over the decoder's
// 4096-byte ring, items sent in the adaptive Huffman code of decode/tree.h,
// distances in the fixed prefix code of DISTANCE_HIGH / DISTANCE_PREFIX_LEN.
//
// Trusts: nothing of the data; sizes below 4 GiB (a catalogue entry's limit).
// Promises: DecodeStream expands every stream made here to exactly the input,
// with status DECODE_OK: no match reaches past the end of the data, none
// copies from ring positions the decoder has not written, and the stream
// takes no bit beyond its last byte.
//
// The three parsings share the match finder and the item writer:
// - Greedy takes the longest match at each position (the baseline);
// - Lazy defers a match by one byte when the next position has a longer one;
// - Best prices every path through a chunk of the data with the adaptive
//   code's counts at the chunk's start, and sends the cheapest.
#include "tools/authoring/encoder.h"
#include "tools/authoring/match_finder.h"

#include <algorithm>
#include <cmath>
// Whether OfferMatch takes its SSE2 path is a property of the authoring
// library's target (ENCODER_SSE2), never of the compiler's flags: so the
// scalar path, the one scrpack.exe takes, builds and runs on a host too.
#if !defined(ENCODER_SSE2)
#error "ENCODER_SSE2 comes with the authoring library's target"
#endif
#if ENCODER_SSE2
#include <emmintrin.h>
#endif
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#if !defined(ENCODER_THREADS)
#error "ENCODER_THREADS comes with the authoring library's target"
#endif
#if ENCODER_THREADS
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace authoring {

// --- ItemWriter -------------------------------------------------------------

namespace {

struct DistancePrefix {
    uint8_t code[64];    // prefix of each high value, right-aligned
    uint8_t length[64];  // its length in bits, 3..8
};

// The decoder's window tables read the other way: the prefix of a high value
// is the top of the first window that maps to it.
DistancePrefix MakeDistancePrefix() {
    DistancePrefix p{};
    bool seen[64] = {};
    for (int w = 0; w < 256; w++) {
        int high = DISTANCE_HIGH[w];
        if (seen[high]) continue;
        seen[high] = true;
        p.length[high] = DISTANCE_PREFIX_LEN[w];
        p.code[high] = uint8_t(w >> (8 - DISTANCE_PREFIX_LEN[w]));
    }
    return p;
}

// The decoder's tables are constant data, ready before any dynamic
// initialisation, so this may be built at start-up.
const DistancePrefix kPrefix = MakeDistancePrefix();

}  // namespace

ItemWriter::ItemWriter() {
    InitTree(&tree_);
}

ItemWriter::ItemWriter(const DataWriter& write) : write_(&write) {
    InitTree(&tree_);
}

// Hands the whole bytes so far to the writer, once there are enough of them.
void ItemWriter::Drain() {
    if (write_ && bytes_.size() >= kDrainAt) {
        (*write_)(bytes_.data(), bytes_.size());
        bytes_.clear();
    }
}

void ItemWriter::Bits(uint32_t value, int count) {
    if (count == 0) return;
    pending_ = (pending_ << count) | (value & (uint32_t(0xFFFFFFFFu) >> (32 - count)));
    pendingCount_ += count;
    while (pendingCount_ >= 8) {
        pendingCount_ -= 8;
        bytes_.push_back(uint8_t(pending_ >> pendingCount_));
    }
}

// The path from the root to the symbol's leaf, found bottom-up, sent
// top-down; then the code adapts, as it does in the decoder, along the path
// just found (stored from the end, so that it reads root's child first).
void ItemWriter::Symbol(int symbol) {
    uint16_t path[SYMBOL_COUNT];
    uint64_t code = 0;
    int length = 0;
    for (unsigned c = tree_.parent[NODE_COUNT + symbol]; c != ROOT;) {
        unsigned up = tree_.parent[c];
        code |= uint64_t(c - tree_.child[up]) << length;
        length++;
        path[SYMBOL_COUNT - length] = uint16_t(c);
        c = up;
    }
    int bits = length;
    while (bits > 32) {
        bits -= 32;
        Bits(uint32_t(code >> bits), 32);
    }
    Bits(uint32_t(code), bits);
    UpdateTreeOnPath(&tree_, path + SYMBOL_COUNT - length, length);
}

void ItemWriter::Literal(uint8_t byte) {
    Symbol(byte);
    Drain();
}

void ItemWriter::Match(int length, int distanceCode) {
    Symbol(FIRST_LENGTH_SYMBOL + length - MIN_MATCH);
    int high = distanceCode >> 6;
    Bits(kPrefix.code[high], kPrefix.length[high]);
    Bits(uint32_t(distanceCode & 63), 6);
    Drain();
}

int ItemWriter::CodeLength(int symbol) const {
    int length = 0;
    for (unsigned c = tree_.parent[NODE_COUNT + symbol]; c != ROOT; c = tree_.parent[c]) length++;
    return length;
}

double ItemWriter::SymbolBits(int symbol) const {
    unsigned count = tree_.weight[tree_.parent[NODE_COUNT + symbol]];
    return std::log2(double(tree_.weight[ROOT]) / count);
}

int ItemWriter::DistanceBits(int distanceCode) {
    return kPrefix.length[distanceCode >> 6] + 6;
}

std::vector<uint8_t> ItemWriter::Finish() {
    std::vector<uint8_t> out = std::move(bytes_);
    bytes_.clear();
    if (pendingCount_ > 0) out.push_back(uint8_t(pending_ << (8 - pendingCount_)));
    pendingCount_ = 0;
    if (write_) {
        if (!out.empty()) (*write_)(out.data(), out.size());
        out.clear();
    }
    return out;
}

// --- Parsings ----------------------------------------------------------------

namespace {

// Tree nodes looked at per position: the walk ends sooner on most data, and
// deeper walks gain next to nothing.
constexpr int kMaxDepth = 16;
// Positions priced together by Best. The code adapts with every symbol, so
// prices drift within a chunk; short chunks follow it closely while the code
// is young and changes fast.
constexpr int64_t kFirstChunk = 256;
constexpr int64_t kChunk = 4096;
// How far each priced window reaches past the part of it that is sent.
constexpr int64_t kLookPast = 512;

// How the data comes in: in blocks this large, and the held bytes slide
// down once this many have fallen out of reach.
constexpr size_t kReadBlock = size_t(1) << 18;
constexpr size_t kSlideAt = size_t(1) << 18;

// The history as the decoder sees it, with the match finder over it: the
// RING_START blanks, then the data as `read` delivers it. Only a stretch of
// it is held, from a reach behind the oldest position still to be searched
// or sent (Release) to as far as the parse has asked (Need); so memory stays
// the same whatever the size of the data.
class Source {
public:
    explicit Source(const DataReader& read) : read_(read), finder(kMaxDepth) {
        bytes_.assign(RING_START + MatchFinder::kPadding, ' ');
        held_ = RING_START;
        Need(RING_START + MAX_MATCH);
        // The initial blanks are sources like any written byte. Only the last
        // MAX_MATCH of them need to be known: a source further back holds
        // nothing but blanks, as one of these does, at a larger distance.
        for (int64_t p = RING_START - MAX_MATCH; p < RING_START; p++) finder.Insert(p, MaxLength(p));
    }

    // Loads the data up to position `upTo` (exclusive), or to its end.
    void Need(int64_t upTo) {
        while (!ended_ && first_ + int64_t(held_) < upTo) {
            Slide();
            bytes_.resize(held_ + kReadBlock + MatchFinder::kPadding);
            size_t got = read_(bytes_.data() + held_, kReadBlock);
            held_ += got;
            if (got == 0) ended_ = true;
            bytes_.resize(held_ + MatchFinder::kPadding);
            std::memset(bytes_.data() + held_, 0, MatchFinder::kPadding);
            finder.SetSequence(bytes_.data(), first_);
        }
    }
    // 1 when `pos` is a data position (loading what its search may read).
    bool Has(int64_t pos) {
        Need(pos + MAX_MATCH);
        return pos < first_ + int64_t(held_);
    }
    // One past the last data byte, once known (Ended); loaded data so far before.
    bool Ended() const { return ended_; }
    int64_t End() const { return first_ + int64_t(held_); }
    // Longest match the data allows at `pos`, once Need(pos + MAX_MATCH).
    int MaxLength(int64_t pos) const { return int(std::min<int64_t>(MAX_MATCH, End() - pos)); }
    uint8_t Byte(int64_t pos) const { return bytes_[size_t(pos - first_)]; }
    // Nothing before `pos` will be searched or sent again.
    void Release(int64_t pos) { released_ = pos; }

private:
    // Drops the bytes out of reach of every position still to be searched:
    // a search reads at most RING_SIZE bytes back.
    void Slide() {
        int64_t keep = released_ - RING_SIZE - 1;
        if (keep - first_ < int64_t(kSlideAt)) return;
        size_t drop = size_t(keep - first_);
        std::memmove(bytes_.data(), bytes_.data() + drop, held_ - drop);
        held_ -= drop;
        first_ = keep;
    }

    const DataReader& read_;
    std::vector<uint8_t> bytes_;  // the positions from first_ on, then kPadding bytes
    int64_t first_ = 0;           // position of bytes_[0]
    size_t held_ = 0;             // positions held
    int64_t released_ = 0;        // see Release
    bool ended_ = false;          // the reader delivered its last byte

public:
    MatchFinder finder;
};

// Prices in sixteenths of a bit. Symbols are priced by their share of the
// counts rather than by their present code lengths: on the bench corpus that
// packs a little tighter, the code drifting towards the shares as it adapts.
constexpr uint32_t kPriceScale = 16;

struct SymbolPrices {
    explicit SymbolPrices(const ItemWriter& w) {
        for (int s = 0; s < SYMBOL_COUNT; s++) {
            uint32_t price = uint32_t(std::lround(kPriceScale * w.SymbolBits(s)));
            if (s < FIRST_LENGTH_SYMBOL)
                literal[s] = price;
            else
                length[s - FIRST_LENGTH_SYMBOL + MIN_MATCH] = price;
        }
    }
    uint32_t literal[256];
    uint32_t length[MAX_MATCH + 4] = {};  // [MIN_MATCH..MAX_MATCH]; three more for reading four at a time
};

// The search of every position, in order: each one's byte and its match
// list (as MatchFinder::FindAndInsert gives it), in blocks of kFeedBlock
// positions. A walk that reports its matches leaves the finder's trees as
// one that only inserts, so the parse may skip the lists of positions it
// passes over in a match: the search does not depend on the parse, and may
// run ahead of it on a thread of its own.
constexpr size_t kFeedBlock = 4096;

struct FeedBlock {
    std::vector<uint8_t> bytes;         // per position
    std::vector<uint32_t> ends;         // per position: where its list ends in lists (it starts
                                        // where the one before ends)
    std::vector<MatchCandidate> lists;  // the lists, one after the other (room for the longest
                                        // ones; ends.back() are used)
    bool last = false;                  // the data ends after these positions
};

// Fills blocks with the search of the next positions.
class Searcher {
public:
    explicit Searcher(const DataReader& read) : src_(read) {}

    void Fill(FeedBlock* block) {
        block->bytes.clear();
        block->ends.clear();
        block->lists.resize(kFeedBlock * MAX_MATCH);  // once: never shrunk
        block->last = false;
        uint32_t at = 0;
        for (size_t i = 0; i < kFeedBlock; i++) {
            if (!src_.Has(pos_)) {
                block->last = true;
                return;
            }
            at += uint32_t(src_.finder.FindAndInsert(pos_, src_.MaxLength(pos_), block->lists.data() + at));
            block->bytes.push_back(src_.Byte(pos_));
            block->ends.push_back(at);
            src_.Release(pos_);
            pos_++;
        }
    }

private:
    Source src_;
    int64_t pos_ = RING_START;
};

// The blocks of a Searcher, in order: searched when asked, or by a thread of
// their own that runs up to kFeedAhead blocks ahead of the parse.
class Feed {
public:
    Feed(const DataReader& read, int threads) : searcher_(read) {
#if ENCODER_THREADS
        if (threads != 1 && (threads > 1 || std::thread::hardware_concurrency() > 1)) {
            ring_.resize(kFeedAhead);
            thread_ = std::thread([this] { Run(); });
        }
#else
        (void)threads;
#endif
    }
    ~Feed() {
#if ENCODER_THREADS
        if (thread_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stop_ = true;
            }
            changed_.notify_all();
            thread_.join();
        }
#endif
    }
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    // The next block; valid until the next call.
    const FeedBlock& Next() {
#if ENCODER_THREADS
        if (thread_.joinable()) {
            std::unique_lock<std::mutex> lock(mutex_);
            done_ = taken_;  // the block handed out last is read
            changed_.notify_all();
            changed_.wait(lock, [this] { return filled_ > taken_; });
            return ring_[taken_++ % kFeedAhead];
        }
#endif
        searcher_.Fill(&single_);
        return single_;
    }

private:
#if ENCODER_THREADS
    static constexpr uint64_t kFeedAhead = 4;

    void Run() {
        for (uint64_t k = 0;; k++) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || k - done_ < kFeedAhead; });
                if (stop_) return;
            }
            FeedBlock& block = ring_[k % kFeedAhead];
            searcher_.Fill(&block);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                filled_ = k + 1;
            }
            changed_.notify_all();
            if (block.last) return;
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<FeedBlock> ring_;
    uint64_t filled_ = 0;  // blocks searched
    uint64_t taken_ = 0;   // blocks handed out
    uint64_t done_ = 0;    // blocks read (the searcher may fill their places again)
    bool stop_ = false;
#endif
    Searcher searcher_;
    FeedBlock single_;
};

// The parse's view of the feed: the bytes and match lists of a stretch of
// positions, from the last Forget to as far as it has asked.
class PositionCache {
public:
    explicit PositionCache(Feed& feed) : feed_(feed), first_(RING_START), next_(RING_START) { offsets_.push_back(0); }

    // 1 when `pos` is a data position.
    bool Has(int64_t pos) {
        while (pos >= next_ && !ended_) Pull();
        return pos < next_;
    }
    // One past the last data byte, once Has said no.
    int64_t End() const { return next_; }
    uint8_t Byte(int64_t pos) const { return bytes_[size_t(pos - first_)]; }
    // Matches at `pos` (Has(pos), not before the last Forget), longest last.
    const MatchCandidate* Get(int64_t pos, int* count) const {
        size_t i = size_t(pos - first_);
        *count = int(offsets_[i + 1] - offsets_[i]);
        return lists_.data() + offsets_[i];
    }
    // The longest match at `pos` (length 0 if none).
    MatchCandidate Longest(int64_t pos) const {
        int n;
        const MatchCandidate* found = Get(pos, &n);
        return n > 0 ? found[n - 1] : MatchCandidate{0, 0};
    }
    // Drops the positions before `pos` (now and then, a block's worth at a
    // time).
    void Forget(int64_t pos) {
        size_t drop = size_t(std::min(pos, next_) - first_);
        if (drop < kFeedBlock) return;
        size_t kept = size_t(next_ - first_) - drop;
        uint32_t base = offsets_[drop];
        lists_.erase(lists_.begin(), lists_.begin() + base);
        bytes_.erase(bytes_.begin(), bytes_.begin() + ptrdiff_t(drop));
        for (size_t i = 0; i <= kept; i++) offsets_[i] = offsets_[drop + i] - base;
        offsets_.resize(kept + 1);
        first_ += int64_t(drop);
    }

private:
    void Pull() {
        const FeedBlock& block = feed_.Next();
        uint32_t base = uint32_t(lists_.size());
        lists_.insert(lists_.end(), block.lists.begin(),
                      block.lists.begin() + (block.ends.empty() ? 0 : block.ends.back()));
        bytes_.insert(bytes_.end(), block.bytes.begin(), block.bytes.end());
        for (uint32_t end : block.ends) offsets_.push_back(base + end);
        next_ += int64_t(block.bytes.size());
        ended_ = block.last;
    }

    Feed& feed_;
    int64_t first_;                      // position of bytes_[0] and offsets_[0]
    int64_t next_;                       // first position not yet pulled
    bool ended_ = false;                 // the feed has no more
    std::vector<uint8_t> bytes_;         // per position from first_
    std::vector<uint32_t> offsets_;      // per position from first_: its first entry in lists_; one more
    std::vector<MatchCandidate> lists_;  // the lists, one after the other
};

void EncodeGreedy(PositionCache& src, ItemWriter& out) {
    for (int64_t pos = RING_START; src.Has(pos);) {
        MatchCandidate m = src.Longest(pos);
        if (m.length >= MIN_MATCH) {
            out.Match(m.length, m.distanceCode);
            pos += m.length;
        } else {
            out.Literal(src.Byte(pos));
            pos++;
        }
        src.Forget(pos);
    }
}

// The match looked at one position ahead is kept for when the parse gets
// there.
void EncodeLazy(PositionCache& src, ItemWriter& out) {
    int64_t pos = RING_START;
    if (!src.Has(pos)) return;
    MatchCandidate m = src.Longest(pos);
    for (;;) {
        src.Forget(pos);
        if (m.length >= MIN_MATCH && m.length < MAX_MATCH && src.Has(pos + 1)) {
            MatchCandidate next = src.Longest(pos + 1);
            if (next.length > m.length) {
                out.Literal(src.Byte(pos));
                pos++;
                m = next;
                continue;
            }
        }
        if (m.length >= MIN_MATCH) {
            out.Match(m.length, m.distanceCode);
            pos += m.length;
        } else {
            out.Literal(src.Byte(pos));
            pos++;
        }
        if (!src.Has(pos)) break;
        m = src.Longest(pos);
    }
}

// The cheapest ways from the window's start to each of its positions, and
// the item that ends each, in two arrays of their own. Prices stay far below
// 2^31 (a window's worth of the dearest items), so they compare as signed
// numbers too; an unreached position has the largest.
constexpr uint32_t kUnreached = 0x7FFFFFFF;

struct Steps {
    std::vector<uint32_t> price;  // from the window's start, in sixteenths of a bit
    std::vector<uint32_t> item;   // length of the item that ends here (1: a literal), distance code << 16
};

// Offers a match at distance code `tag >> 16`, priced `dist` plus its
// length's price, to the positions `from`..`to` bytes on (price and item
// point at the match's start): each takes it where it is as cheap as what
// the position has, the last offer winning a tie. The positions are apart,
// so they may be done four at a time; a batch reads and rewrites up to three
// positions and length prices past `to`, unchanged.
#if ENCODER_SSE2
inline void OfferMatch(uint32_t* price, uint32_t* item, int from, int to, uint32_t dist, uint32_t tag,
                       const uint32_t* lengthPrice) {
    const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i last = _mm_set1_epi32(to);
    const __m128i base = _mm_set1_epi32(int(dist));
    const __m128i tags = _mm_set1_epi32(int(tag));
    for (int len = from; len <= to; len += 4) {
        __m128i lens = _mm_add_epi32(_mm_set1_epi32(len), lane);
        __m128i offer = _mm_add_epi32(base, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lengthPrice + len)));
        __m128i* at = reinterpret_cast<__m128i*>(price + len);
        __m128i* items = reinterpret_cast<__m128i*>(item + len);
        __m128i now = _mm_loadu_si128(at);
        __m128i keep = _mm_or_si128(_mm_cmpgt_epi32(offer, now), _mm_cmpgt_epi32(lens, last));
        _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(keep, now), _mm_andnot_si128(keep, offer)));
        __m128i was = _mm_loadu_si128(items);
        __m128i put = _mm_or_si128(tags, lens);
        _mm_storeu_si128(items, _mm_or_si128(_mm_and_si128(keep, was), _mm_andnot_si128(keep, put)));
    }
}
#else
inline void OfferMatch(uint32_t* price, uint32_t* item, int from, int to, uint32_t dist, uint32_t tag,
                       const uint32_t* lengthPrice) {
    for (int len = from; len <= to; len++) {
        uint32_t offer = dist + lengthPrice[len];
        if (offer <= price[len]) {
            price[len] = offer;
            item[len] = tag | uint32_t(len);
        }
    }
}
#endif

// Prices every path through [begin, end) and sends the cheapest one's items
// that start before `commit`; returns where the last of them ends. Paths must
// end exactly at `end`, which distorts their last few items: the window
// reaches well past `commit` so that this never touches what is sent, unless
// `end` is the end of the data.
int64_t EncodeWindow(PositionCache& src, ItemWriter& out, int64_t begin, int64_t end, int64_t commit, Steps& steps) {
    const SymbolPrices prices(out);
    const size_t n = size_t(end - begin);
    steps.price.assign(n + 4, kUnreached);  // three more for OfferMatch
    steps.item.assign(n + 4, 0);
    steps.price[0] = 0;
    for (size_t i = 0; i < n; i++) {
        int64_t pos = begin + int64_t(i);
        uint32_t* price = steps.price.data() + i;  // [len]: the position len bytes on
        uint32_t* item = steps.item.data() + i;
        uint32_t base = price[0];
        uint32_t lit = base + prices.literal[src.Byte(pos)];
        if (lit < price[1]) {
            price[1] = lit;
            item[1] = 1;
        }

        int count;
        const MatchCandidate* found = src.Get(pos, &count);
        int room = int(std::min<int64_t>(MAX_MATCH, end - pos));
        int shorter = MIN_MATCH - 1;
        for (int k = 0; k < count && shorter < room; k++) {
            uint32_t dist = base + kPriceScale * uint32_t(ItemWriter::DistanceBits(found[k].distanceCode));
            int longest = std::min(found[k].length, room);
            if (longest > shorter)
                OfferMatch(price, item, shorter + 1, longest, dist, uint32_t(found[k].distanceCode) << 16,
                           prices.length);
            shorter = longest;
        }
    }
    // Walk back from the end, then send forwards what starts before `commit`.
    std::vector<size_t> ends;
    for (size_t i = n; i > 0; i -= steps.item[i] & 0xFFFF) ends.push_back(i);
    int64_t done = begin;
    for (auto it = ends.rbegin(); it != ends.rend() && done < commit; ++it) {
        uint32_t item = steps.item[*it];
        if ((item & 0xFFFF) == 1)
            out.Literal(src.Byte(done));
        else
            out.Match(int(item & 0xFFFF), int(item >> 16));
        done = begin + int64_t(*it);
    }
    return done;
}

void (*gProgress)(uint64_t, uint64_t, void*) = nullptr;
void* gProgressContext = nullptr;

void EncodeBest(PositionCache& src, ItemWriter& out) {
    Steps steps;
    int64_t chunk = kFirstChunk;
    for (int64_t pos = RING_START; src.Has(pos);) {
        int64_t end = pos + chunk + kLookPast;
        int64_t commit = pos + chunk;
        if (!src.Has(end)) end = commit = std::min(src.End(), end);  // the data ends within the window
        pos = EncodeWindow(src, out, pos, end, commit, steps);
        src.Forget(pos);
        if (gProgress) gProgress(uint64_t(pos - RING_START), 0, gProgressContext);
        chunk = std::min(kChunk, chunk * 2);
    }
}

}  // namespace

void SetEncodeProgress(void (*progress)(uint64_t done, uint64_t size, void* context), void* context) {
    gProgress = progress;
    gProgressContext = context;
}

uint64_t EncodeData(const DataReader& read, const DataWriter& write, Parsing parsing, int threads) {
    Feed feed(read, threads);
    PositionCache src(feed);
    if (!src.Has(RING_START)) return 0;  // no data: an empty stream
    ItemWriter out(write);
    switch (parsing) {
    case Parsing::Greedy: EncodeGreedy(src, out); break;
    case Parsing::Lazy: EncodeLazy(src, out); break;
    case Parsing::Best: EncodeBest(src, out); break;
    }
    out.Finish();
    src.Has(INT64_MAX);  // the end, where a parse did not ask that far
    uint64_t size = uint64_t(src.End() - RING_START);
    if (gProgress) gProgress(size, size, gProgressContext);
    return size;
}

std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, Parsing parsing, int threads) {
    std::vector<uint8_t> stream;
    size_t at = 0;
    EncodeData(
        [&](uint8_t* buffer, size_t most) {
            size_t n = std::min(most, size - at);
            if (n) std::memcpy(buffer, data + at, n);
            at += n;
            return n;
        },
        [&](const uint8_t* bytes, size_t n) { stream.insert(stream.end(), bytes, bytes + n); }, parsing, threads);
    return stream;
}

}  // namespace authoring
