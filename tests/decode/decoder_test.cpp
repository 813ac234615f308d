// DecodeStream on hand-made streams: the documented byte strings, the
// all-zero stream, the distance tables, and every status it can report.
#include "decode/decode.h"
#include "tests/decode/recording_stream.h"
#include "tools/authoring/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using decodetest::DecodeRun;

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(Decoder, DocumentedStreams) {
    struct Case {
        std::vector<uint8_t> stream;
        std::string expected;
        const char* what;
    };
    const Case cases[] = {
        {{0x29, 0x2A, 0x2B}, "abc", "three 8-bit literals"},
        {{0x29, 0xE3, 0xE1, 0xC4}, "aaaa", "the code of 'a' shortens after its first use"},
        {{0x29, 0x2A, 0x2B, 0xCB, 0x01, 0x00}, "abcabcabc", "a match overlapping its own output"},
        {{0xC9, 0x00, 0x00}, "    ", "a match into the initial blanks"},
    };
    for (const Case& c : cases) {
        DecodeRun run;
        run.in.bytes = c.stream;
        run.Run(uint32_t(c.expected.size()));
        EXPECT_EQ(run.out.bytes, Bytes(c.expected)) << c.what;
        EXPECT_EQ(run.returned, c.expected.size()) << c.what;
        EXPECT_EQ(run.status, DECODE_OK) << c.what;
        EXPECT_EQ(run.in.calls, std::vector<size_t>{c.stream.size()}) << c.what;
        EXPECT_EQ(run.out.calls, std::vector<size_t>{c.expected.size()}) << c.what;
    }
}

TEST(Decoder, OriginalSizeZeroTouchesNothing) {
    DecodeRun run;
    run.in.bytes = {0x29, 0x2A, 0x2B};
    run.Run(0);
    EXPECT_EQ(run.returned, 0u);
    EXPECT_TRUE(run.in.calls.empty());
    EXPECT_TRUE(run.out.calls.empty());
    EXPECT_EQ(run.status, DECODE_OK);
}

// Stored size 0: no read at all; the all-zero bits give 0x38, then matches
// at distance code 0, so the first 463 bytes are all 0x38, whatever the size.
TEST(Decoder, StoredSizeZeroDecodesZeroBits) {
    for (uint32_t n = 1; n <= 463; n++) {
        DecodeRun run;
        run.Run(n, 0);
        ASSERT_EQ(run.out.bytes, std::vector<uint8_t>(n, 0x38)) << "n " << n;
        ASSERT_TRUE(run.in.calls.empty()) << "n " << n;
        ASSERT_EQ(run.status, DECODE_SHORT_INPUT) << "n " << n;
    }
    DecodeRun run;
    run.Run(600, 0);
    ASSERT_EQ(run.out.bytes.size(), 600u);
    EXPECT_EQ(run.out.bytes[463], 0xFF);
    EXPECT_EQ(std::vector<uint8_t>(run.out.bytes.begin(), run.out.bytes.begin() + 463),
              std::vector<uint8_t>(463, 0x38));
}

// The window tables read as a prefix code: each high value owns one aligned
// run of 2^(8 - prefix length) windows, in rising order, covering all 256.
TEST(Decoder, DistanceTablesFormACompletePrefixCode) {
    const int lengthOfRow[][2] = {{0, 3}, {1, 4}, {4, 5}, {12, 6}, {24, 7}, {48, 8}};
    int w = 0;
    for (int high = 0; high < 64; high++) {
        int expectedLength = 0;
        for (const auto& row : lengthOfRow)
            if (high >= row[0]) expectedLength = row[1];
        int run = 1 << (8 - expectedLength);
        ASSERT_EQ(w % run, 0) << "high " << high;
        for (int i = 0; i < run; i++, w++) {
            ASSERT_EQ(DISTANCE_HIGH[w], high) << "window " << w;
            ASSERT_EQ(DISTANCE_PREFIX_LEN[w], expectedLength) << "window " << w;
        }
    }
    EXPECT_EQ(w, 256);
}

// Every distance code 0..4095 written by the item writer comes back: the
// match copies from the expected place of a known history.
TEST(Decoder, EveryDistanceCodeCopiesFromItsPlace) {
    std::vector<uint8_t> history(4096 + 64);
    for (size_t i = 0; i < history.size(); i++) history[i] = uint8_t(i * 7 + i / 251);
    authoring::ItemWriter w;
    for (uint8_t b : history) w.Literal(b);
    std::vector<uint8_t> expected = history;
    for (int d = 0; d < RING_SIZE; d += (d < 200 ? 1 : 37)) {
        w.Match(3, d);
        for (int k = 0; k < 3; k++) expected.push_back(expected[expected.size() - size_t(d) - 1]);
    }
    w.Match(3, 4095);
    for (int k = 0; k < 3; k++) expected.push_back(expected[expected.size() - 4096]);
    DecodeRun run;
    run.in.bytes = w.Finish();
    run.Run(uint32_t(expected.size()));
    EXPECT_EQ(run.out.bytes, expected);
    EXPECT_EQ(run.status, DECODE_OK);
}

// Every match length at the distances where a copy overlaps its own output
// or its source lies just ahead of it round the ring: the output is what a
// byte-by-byte forward copy gives, wherever the match falls in the ring.
TEST(Decoder, EveryLengthAtOverlappingAndWrappingDistances) {
    std::vector<int> distances;
    for (int d = 0; d <= 16; d++) distances.push_back(d);
    for (int d = 4078; d < RING_SIZE; d++) distances.push_back(d);
    distances.push_back(1000);
    std::vector<uint8_t> expected(4096);
    for (size_t i = 0; i < expected.size(); i++) expected[i] = uint8_t(i * 13 + i / 199);
    authoring::ItemWriter w;
    for (uint8_t b : expected) w.Literal(b);
    for (int round = 0; round < 3; round++) {
        for (int d : distances) {
            for (int length = MIN_MATCH; length <= MAX_MATCH; length++) {
                w.Match(length, d);
                for (int k = 0; k < length; k++) expected.push_back(expected[expected.size() - size_t(d) - 1]);
            }
            w.Literal(uint8_t(d + round));  // shifts where the next match starts
            expected.push_back(uint8_t(d + round));
        }
    }
    DecodeRun run;
    run.in.bytes = w.Finish();
    run.Run(uint32_t(expected.size()));
    ASSERT_EQ(run.out.bytes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) ASSERT_EQ(run.out.bytes[i], expected[i]) << "byte " << i;
    EXPECT_EQ(run.status, DECODE_OK);
}

// A match whose source lies before the stream's first blank reads ring
// positions 4066..4095 before they are written.
TEST(Decoder, CopyFromUnwrittenRingPositions) {
    struct Case {
        int literals;  // bytes written before the match
        int distance;
        DecodeStatus status;
    };
    const Case cases[] = {
        {0, 4065, DECODE_OK},          {0, 4066, DECODE_UNSET_RING}, {0, 4095, DECODE_UNSET_RING},
        {1, 4066, DECODE_OK},          {1, 4067, DECODE_UNSET_RING}, {29, 4094, DECODE_OK},
        {29, 4095, DECODE_UNSET_RING}, {30, 4095, DECODE_OK},
    };
    for (const Case& c : cases) {
        authoring::ItemWriter w;
        for (int i = 0; i < c.literals; i++) w.Literal(uint8_t('A' + i));
        w.Match(3, c.distance);
        DecodeRun run;
        run.in.bytes = w.Finish();
        run.Run(uint32_t(c.literals + 3));
        EXPECT_EQ(run.status, c.status) << c.literals << " literals, distance " << c.distance;
        EXPECT_EQ(run.out.bytes.size(), size_t(c.literals + 3));
    }
}

// The unwritten positions read as zeros in every stream, not as what the
// stream before left there.
TEST(Decoder, UnwrittenPositionsDoNotCarryOver) {
    authoring::ItemWriter w;
    w.Match(30, 4095);
    std::vector<uint8_t> unset = w.Finish();

    DecodeRun alone;
    alone.in.bytes = unset;
    alone.Run(30);
    EXPECT_EQ(alone.out.bytes, std::vector<uint8_t>(30, 0));
    EXPECT_EQ(alone.status, DECODE_UNSET_RING);

    std::vector<uint8_t> text(5000);
    for (size_t i = 0; i < text.size(); i++) text[i] = uint8_t('a' + i % 23);
    DecodeRun before;
    before.in.bytes = authoring::EncodeStream(text.data(), text.size());
    before.Run(uint32_t(text.size()));
    ASSERT_EQ(before.out.bytes, text);

    DecodeRun after;
    after.in.bytes = unset;
    after.Run(30);
    EXPECT_EQ(after.out.bytes, alone.out.bytes);
}

// A last match longer than the bytes left: the file still ends at exactly
// its size, and the surplus is reported.
TEST(Decoder, OverlongLastMatch) {
    for (uint32_t size : {4u, 10u, 29u, 16384u + 3}) {
        authoring::ItemWriter w;
        std::vector<uint8_t> expected;
        while (expected.size() + 30 < size) {
            w.Literal('x');
            expected.push_back('x');
        }
        w.Literal('y');
        w.Match(30, 0);
        expected.resize(size, 'y');
        DecodeRun run;
        run.in.bytes = w.Finish();
        run.Run(size);
        EXPECT_EQ(run.status, DECODE_OVERRUN) << size;
        EXPECT_EQ(run.returned, size);
        EXPECT_EQ(run.out.bytes, expected) << size;
    }
}

TEST(Decoder, StoredSizeDecidesShortInput) {
    std::vector<uint8_t> text(3000);
    for (size_t i = 0; i < text.size(); i++) text[i] = uint8_t("lorem ipsum dolor "[i % 18] ^ (i % 97 == 0));
    std::vector<uint8_t> stream = authoring::EncodeStream(text.data(), text.size());
    uint32_t len = uint32_t(stream.size());
    struct Case {
        uint32_t stored;
        DecodeStatus status;
    };
    const Case cases[] = {{len - 1, DECODE_SHORT_INPUT},
                          {len, DECODE_OK},
                          {len + 1, DECODE_OK},
                          {len + 100, DECODE_OK},
                          {len / 2, DECODE_SHORT_INPUT}};
    for (const Case& c : cases) {
        DecodeRun run;
        run.in.bytes = stream;
        run.in.bytes.resize(len + 100, 0xA5);
        run.Run(uint32_t(text.size()), c.stored);
        EXPECT_EQ(run.status, c.status) << "stored " << c.stored << " of " << len;
        EXPECT_EQ(run.out.bytes.size(), text.size());
        if (c.status == DECODE_OK) {
            EXPECT_EQ(run.out.bytes, text);
        }
    }
}

// A cut stream that declares far more than it can give: decoding to the
// original size fills it with what zero bits give; stopping when short ends
// within the most the stored bytes can give and the one item that ran out,
// with the same first bytes.
TEST(Decoder, StopWhenShortEndsACutStreamAtOnce) {
    std::vector<uint8_t> text(5000);
    for (size_t i = 0; i < text.size(); i++) text[i] = uint8_t(i * 7 % 251 ^ (i / 300));
    std::vector<uint8_t> stream = authoring::EncodeStream(text.data(), text.size());
    const DecodeEnd stop = DECODE_STOP_WHEN_SHORT, full = DECODE_TO_ORIGINAL_SIZE;
    struct Case {
        uint32_t stored, original;
    };
    const Case cases[] = {
        {0, 100000}, {1, 100000}, {200, 4000000}, {uint32_t(stream.size() - 1), 5000}, {uint32_t(stream.size()), 5000}};
    for (const Case& c : cases) {
        DecodeRun stopped, whole;
        stopped.in.bytes = whole.in.bytes = stream;
        stopped.end = &stop;
        whole.end = &full;
        stopped.Run(c.original, c.stored);
        whole.Run(c.original, c.stored);
        bool sound = c.stored == stream.size();
        SCOPED_TRACE("stored " + std::to_string(c.stored));
        EXPECT_EQ(whole.returned, c.original);
        EXPECT_EQ(stopped.status, sound ? DECODE_OK : DECODE_SHORT_INPUT);
        EXPECT_EQ(whole.status, stopped.status);
        EXPECT_LE(stopped.returned, sound ? c.original : MaxExpandedSize(c.stored) + MAX_MATCH);
        EXPECT_EQ(stopped.out.bytes.size(),
                  std::min<size_t>(stopped.returned, WRITE_BLOCK_SIZE * stopped.out.calls.size()));
        EXPECT_TRUE(std::equal(stopped.out.bytes.begin(), stopped.out.bytes.end(), whole.out.bytes.begin()));
        EXPECT_EQ(stopped.shortfall == 0, sound);
        EXPECT_GE(whole.shortfall, stopped.shortfall);
    }
}

// The bound on what a stream can give holds for the stream that gives the
// most per stored byte: one long run.
TEST(Decoder, NoStreamExpandsBeyondTheBound) {
    for (size_t size : {size_t(31), size_t(4096), size_t(1) << 20}) {
        std::vector<uint8_t> run(size, 'x');
        std::vector<uint8_t> stream = authoring::EncodeStream(run.data(), run.size());
        EXPECT_LE(size, MaxExpandedSize(uint32_t(stream.size()))) << size;
    }
    EXPECT_EQ(MaxExpandedSize(0), 0u);
    EXPECT_EQ(MaxExpandedSize(10), 240u);
    EXPECT_EQ(MaxExpandedSize(0xFFFFFFFFu), 0xFFFFFFFFu);
}

// The first problem is kept; a failed write overrides it.
TEST(Decoder, StatusPriority) {
    authoring::ItemWriter w;
    w.Match(3, 4095);  // unset ring
    w.Match(30, 0);    // then past the end
    std::vector<uint8_t> stream = w.Finish();
    DecodeRun run;
    run.in.bytes = stream;
    run.Run(10);
    EXPECT_EQ(run.status, DECODE_UNSET_RING);

    DecodeRun failing;
    failing.in.bytes = stream;
    failing.out.shortWriteAt = 1;
    failing.Run(10);
    EXPECT_EQ(failing.status, DECODE_WRITE_FAILED);
}

// Sizes of 2 GiB and more are counts like any other: decoding starts and
// goes on until stopped (here by a full disk after two blocks).
TEST(Decoder, OriginalSizeOfTwoGigabytesAndMore) {
    for (uint32_t size : {0x80000000u, 0xFFFFFFFFu}) {
        DecodeRun run;
        run.out.shortWriteAt = 2;
        run.Run(size, 0);
        EXPECT_EQ(run.out.calls, (std::vector<size_t>{WRITE_BLOCK_SIZE, WRITE_BLOCK_SIZE}));
        EXPECT_EQ(run.status, DECODE_WRITE_FAILED);
        EXPECT_GE(run.returned, 2u * WRITE_BLOCK_SIZE);
        EXPECT_LT(run.returned, 2u * WRITE_BLOCK_SIZE + MAX_MATCH);
    }
}

}  // namespace
