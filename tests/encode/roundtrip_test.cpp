// Encoder -> decoder round trips: every parsing, sizes around the ring and
// block edges, data of several kinds, inputs long enough to cross the code
// tree's rebuild many times, and the few streams whose bytes are known.
#include "decode/decode.h"
#include "decode/tree.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/memory_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using authoring::DecodeBuffer;
using authoring::EncodeStream;
using authoring::Parsing;

const Parsing kParsings[] = {Parsing::Greedy, Parsing::Lazy, Parsing::Best};

const char* Name(Parsing p) {
    return p == Parsing::Greedy ? "greedy" : p == Parsing::Lazy ? "lazy" : "best";
}

enum class Kind { Noise, Text, Runs, Blanks, Records };

const char* Name(Kind k) {
    switch (k) {
    case Kind::Noise: return "noise";
    case Kind::Text: return "text";
    case Kind::Runs: return "runs";
    case Kind::Blanks: return "blanks";
    case Kind::Records: return "records";
    }
    return "?";
}

std::vector<uint8_t> Make(Kind kind, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(size + 64);
    static const char* words[] = {"the ", "screen ", "saver ", "shows ", "a ",   "quiet ",     "harbour ",
                                  "at ",  "night, ", "with ",  "boats ", "and ", "lights.\r\n"};
    while (v.size() < size) {
        switch (kind) {
        case Kind::Noise: v.push_back(uint8_t(rng())); break;
        case Kind::Text: {
            const char* w = words[rng() % 13];
            v.insert(v.end(), w, w + std::char_traits<char>::length(w));
            break;
        }
        case Kind::Runs: v.insert(v.end(), 1 + rng() % 80, uint8_t(rng() % 4 ? rng() : ' ')); break;
        case Kind::Blanks: v.push_back(' '); break;
        case Kind::Records: {  // fixed-size records with a counter and a few changing fields
            uint32_t n = uint32_t(v.size() / 16);
            uint8_t rec[16] = {uint8_t(n), uint8_t(n >> 8), 0, 0, 'R', 'E', 'C', 0, uint8_t(rng() % 3), 0, 0, 0, 0xFF,
                               0xFF,       uint8_t(n % 7),  0};
            v.insert(v.end(), rec, rec + 16);
            break;
        }
        }
    }
    v.resize(size);
    return v;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, Parsing parsing, const std::string& what) {
    std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), parsing);
    std::vector<uint8_t> out;
    DecodeStatus status = DecodeBuffer(stream.data(), stream.size(), uint32_t(data.size()), &out);
    ASSERT_EQ(status, DECODE_OK) << what << " (" << Name(parsing) << "): " << DecodeStatusName(status);
    ASSERT_EQ(out.size(), data.size()) << what << " (" << Name(parsing) << ")";
    ASSERT_TRUE(out == data) << what << " (" << Name(parsing) << "): bytes differ";
}

TEST(RoundTrip, SizesAroundTheEdges) {
    const uint32_t seed = 4242;
    const size_t sizes[] = {1, 2, 3, 29, 30, 31, 4065, 4066, 4067, 4095, 4096, 4097, 16383, 16384, 16385};
    for (Kind kind : {Kind::Noise, Kind::Text, Kind::Runs, Kind::Blanks, Kind::Records})
        for (size_t size : sizes)
            for (Parsing p : kParsings) {
                uint32_t s = seed + uint32_t(size);
                ExpectRoundTrip(
                    Make(kind, size, s), p,
                    std::string(Name(kind)) + " of " + std::to_string(size) + ", seed " + std::to_string(s));
            }
}

// Over 100,000 symbols each: the code tree is rebuilt several times, and
// encoder and decoder must rebuild at the very same symbols.
TEST(RoundTrip, LongInputsCrossManyRebuilds) {
    const uint32_t seed = 99;
    struct Case {
        Kind kind;
        size_t size;
    };
    const Case cases[] = {{Kind::Noise, 150000}, {Kind::Text, 600000}, {Kind::Records, 400000}};
    for (const Case& c : cases)
        for (Parsing p : kParsings)
            ExpectRoundTrip(
                Make(c.kind, c.size, seed), p,
                std::string(Name(c.kind)) + " of " + std::to_string(c.size) + ", seed " + std::to_string(seed));
}

// Random mixtures of the kinds, so that matches start and end at every
// possible place relative to the data's changes.
TEST(RoundTrip, SeededMixtures) {
    for (uint32_t seed = 1; seed <= 40; seed++) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> data;
        while (data.size() < 30000) {
            std::vector<uint8_t> part = Make(Kind(rng() % 5), 1 + rng() % 3000, rng());
            data.insert(data.end(), part.begin(), part.end());
        }
        for (Parsing p : kParsings) ExpectRoundTrip(data, p, "mixture, seed " + std::to_string(seed));
    }
}

// Sources at the far edge of the ring: a block repeated at distance 4096 is
// within reach (distance code 4095), at 4097 it is not.
TEST(RoundTrip, WholeRingDistance) {
    for (size_t period : {size_t(4096), size_t(4097)}) {
        std::vector<uint8_t> data = Make(Kind::Noise, period, 7);
        data.insert(data.end(), data.begin(), data.end());
        for (Parsing p : kParsings) {
            ExpectRoundTrip(data, p, "repeat at " + std::to_string(period));
            size_t size = EncodeStream(data.data(), data.size(), p).size();
            if (period == 4096)
                EXPECT_LT(size, period + period / 4) << Name(p);
            else
                EXPECT_GT(size, 2 * period) << Name(p);
        }
    }
}

TEST(Encoder, KnownStreams) {
    struct Case {
        std::string data;
        std::vector<uint8_t> stream;
        const char* what;
    };
    const Case cases[] = {
        {"abc", {0x29, 0x2A, 0x2B}, "three literals"},
        {std::string(30, ' '), {0xE3, 0x00, 0x00}, "one match of 30 into the initial blanks"},
        {"", {}, "nothing"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data(c.data.begin(), c.data.end());
        for (Parsing p : {Parsing::Greedy, Parsing::Best})
            EXPECT_EQ(EncodeStream(data.data(), data.size(), p), c.stream) << c.what << " " << Name(p);
    }
}

// EncodeData holds a sliding stretch of the data and loads it as the parse
// asks: however the reader cuts the data, the stream is the one of the data
// whole, also past the points where the held bytes slide down.
TEST(Encoder, StreamsTheSameBytesHoweverTheDataComes) {
    std::vector<uint8_t> data = Make(Kind::Text, 300000, 6);
    for (Kind k : {Kind::Runs, Kind::Noise, Kind::Records}) {
        std::vector<uint8_t> more = Make(k, 200000, 7);
        data.insert(data.end(), more.begin(), more.end());
    }
    for (Parsing p : kParsings) {
        std::mt19937 rng(8);
        size_t at = 0;
        std::vector<uint8_t> stream;
        uint64_t taken = authoring::EncodeData(
            [&](uint8_t* buffer, size_t most) {
                size_t n = std::min({most, data.size() - at, size_t(1 + rng() % 5000)});
                std::memcpy(buffer, data.data() + at, n);
                at += n;
                return n;
            },
            [&](const uint8_t* bytes, size_t n) { stream.insert(stream.end(), bytes, bytes + n); }, p);
        EXPECT_EQ(taken, data.size()) << Name(p);
        EXPECT_TRUE(stream == EncodeStream(data.data(), data.size(), p)) << Name(p) << ": streams differ";
    }
}

// The match search may run on a second thread, ahead of the parse: the
// streams are those of one thread, for every parsing, on the kinds of data
// above cut at sizes around the search's blocks, and on the committed seeds
// of the round-trip fuzzer. (A build without threads runs one either way.)
TEST(Encoder, SecondThreadGivesTheSameStreams) {
    std::vector<std::vector<uint8_t>> inputs;
    const Kind kinds[] = {Kind::Text, Kind::Runs, Kind::Noise, Kind::Records, Kind::Blanks};
    const size_t sizes[] = {1, 4095, 4096, 4097, 3 * 4096 + 5, 70000};
    uint32_t seed = 20;
    for (Kind k : kinds)
        for (size_t size : sizes) inputs.push_back(Make(k, size, seed++));
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(SOURCE_DIR) + "/fuzz/corpus/fuzz_roundtrip")) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (const std::vector<uint8_t>& data : inputs)
        for (Parsing p : kParsings)
            ASSERT_TRUE(EncodeStream(data.data(), data.size(), p, 2) == EncodeStream(data.data(), data.size(), p, 1))
                << Name(p) << ", " << data.size() << " bytes";
}

TEST(Encoder, Deterministic) {
    std::vector<uint8_t> data = Make(Kind::Text, 50000, 5);
    for (Parsing p : kParsings)
        EXPECT_EQ(EncodeStream(data.data(), data.size(), p), EncodeStream(data.data(), data.size(), p)) << Name(p);
}

}  // namespace
