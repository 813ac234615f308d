// ReadPtr and WritePtr: the sizes of their read and write calls, resets,
// reads that deliver nothing, surplus bytes and short writes.
#include "tests/support/sample_data.h"
#include "decode/decode.h"
#include "tests/decode/recording_stream.h"
#include "tools/authoring/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <random>
#include <vector>

namespace {

using decodetest::DecodeRun;
using decodetest::OpenReader;
using decodetest::OpenWriter;
using decodetest::StreamLog;
using Calls = std::vector<size_t>;

struct WriterCase {
    uint32_t fileSize;
    uint32_t given;  // bytes handed to WritePtr
    Calls calls;
};

// Each block is written the moment its last byte arrives, never earlier;
// bytes past the file size never reach the file.
// (In blocks of WRITE_BLOCK_SIZE: the stub's 16,384 bytes in decode_small.*.)
TEST(WritePtr, BlockCallsAndSurplus) {
    const uint32_t W = WRITE_BLOCK_SIZE;
    const WriterCase cases[] = {
        {1, 1, {1}},    {100, 100, {100}},       {W - 1, W - 1, {W - 1}},
        {W, W, {W}},    {W + 1, W + 1, {W, 1}},  {2 * W + 7232, 2 * W + 7232, {W, W, 7232}},
        {10, 15, {10}},  // surplus of a short file
        {40, 69, {40}}, {W + 5, W + 30, {W, 5}},
    };
    for (const WriterCase& c : cases) {
        StreamLog log;
        FILE* f = OpenWriter(&log);
        WritePtr(nullptr, 0, 0, 0);
        std::vector<uint8_t> given = NoiseBytes(c.given, c.fileSize);
        size_t lastCall = c.calls.size();
        for (uint32_t i = 0; i < c.given; i++) {
            if (i + 1 == c.fileSize) {
                ASSERT_EQ(log.calls.size(), lastCall - 1) << "early write, size " << c.fileSize;
            }
            WritePtr(f, given[i], STREAM_MODE, c.fileSize);
        }
        fclose(f);
        EXPECT_EQ(log.calls, c.calls) << "file size " << c.fileSize;
        given.resize(std::min(c.given, c.fileSize));
        EXPECT_EQ(log.bytes, given) << "file size " << c.fileSize;
        EXPECT_EQ(WriteFailed(), 0);
    }
}

TEST(WritePtr, ShortWriteStopsTheFile) {
    StreamLog log;
    log.shortWriteAt = 1;
    FILE* f = OpenWriter(&log);
    WritePtr(nullptr, 0, 0, 0);
    const uint32_t size = WRITE_BLOCK_SIZE * 5 / 2;
    for (uint32_t i = 0; i < WRITE_BLOCK_SIZE - 1; i++) WritePtr(f, 'a', STREAM_MODE, size);
    EXPECT_EQ(WriteFailed(), 0);
    WritePtr(f, 'a', STREAM_MODE, size);
    EXPECT_EQ(WriteFailed(), 1);
    for (uint32_t i = 0; i < size; i++) WritePtr(f, 'b', STREAM_MODE, size);
    fclose(f);
    EXPECT_EQ(log.calls, Calls{WRITE_BLOCK_SIZE});
    EXPECT_EQ(log.bytes.size(), size_t(WRITE_BLOCK_SIZE - 1));
    EXPECT_EQ(WriteFailed(), 1);
    WritePtr(nullptr, 0, 0, 0);
    EXPECT_EQ(WriteFailed(), 0);
}

TEST(WritePtr, ResetStartsAFreshFile) {
    StreamLog first, second;
    FILE* a = OpenWriter(&first);
    FILE* b = OpenWriter(&second);
    WritePtr(nullptr, 0, 0, 0);
    for (int i = 0; i < 5; i++) WritePtr(a, 'a', STREAM_MODE, 10);  // left half done
    WritePtr(nullptr, 0, 0, 0);
    for (char c : {'x', 'y', 'z'}) WritePtr(b, c, STREAM_MODE, 3);
    fclose(a);
    fclose(b);
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, Calls{3});
    EXPECT_EQ(second.bytes, (std::vector<uint8_t>{'x', 'y', 'z'}));
}

TEST(ReadPtr, ResetDropsTheBlock) {
    StreamLog first, second;
    first.bytes = {1, 2, 3, 4, 5};
    second.bytes = {9, 8, 7};
    FILE* a = OpenReader(&first);
    FILE* b = OpenReader(&second);
    ReadPtr(nullptr, 0, 0);
    EXPECT_EQ(ReadPtr(a, STREAM_MODE, 5), 1);
    EXPECT_EQ(ReadPtr(a, STREAM_MODE, 4), 2);
    ReadPtr(nullptr, 0, 0);
    EXPECT_EQ(ReadPtr(b, STREAM_MODE, 3), 9);
    decodetest::CloseReader(a);
    decodetest::CloseReader(b);
    EXPECT_EQ(first.calls, Calls{5});
    EXPECT_EQ(second.calls, Calls{3});
}

// A read that delivers nothing gives zeros, never the bytes of the last block.
TEST(ReadPtr, EmptyReadGivesZeros) {
    StreamLog log;
    log.bytes.assign(BLOCK_SIZE + 10, 0xAA);
    log.deliverable = BLOCK_SIZE;
    FILE* f = OpenReader(&log);
    ReadPtr(nullptr, 0, 0);
    uint32_t remaining = BLOCK_SIZE + 10;
    for (int i = 0; i < BLOCK_SIZE; i++) ASSERT_EQ(ReadPtr(f, STREAM_MODE, remaining--), 0xAA);
    for (int i = 0; i < 10; i++) EXPECT_EQ(ReadPtr(f, STREAM_MODE, remaining--), 0) << i;
    decodetest::CloseReader(f);
    EXPECT_EQ(log.calls.front(), size_t(BLOCK_SIZE));
    EXPECT_EQ(log.calls.at(1), size_t(10));
}

// Through the decoder: the stored bytes are read in blocks of 16,384 and a
// remainder, never beyond the stored size; the output is written in blocks of
// WRITE_BLOCK_SIZE (the stub's 16,384) and a remainder.
TEST(BlockCalls, DecodeReadsAndWritesWholeBlocks) {
    struct Case {
        uint32_t dataSize;
        uint32_t stored;  // 0: the whole stream (its reads are not looked at)
        Calls reads, writes;
    };
    const uint32_t W = WRITE_BLOCK_SIZE;
    const Case cases[] = {
        {W, 0, {}, {W}},
        {W + 1, 0, {}, {W, 1}},
        {W + 3616, 16384, {16384}, {W, 3616}},
        {W + 3616, 16385, {16384, 1}, {W, 3616}},
        {2 * W + 12232, 40000, {16384, 16384, 7232}, {W, W, 12232}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = NoiseBytes(c.dataSize, c.dataSize);
        DecodeRun run;
        run.in.bytes = authoring::EncodeStream(data.data(), data.size(), authoring::Parsing::Greedy);
        run.Run(c.dataSize, c.stored ? c.stored : uint32_t(run.in.bytes.size()));
        if (c.stored) {
            EXPECT_EQ(run.in.calls, c.reads) << c.dataSize << " stored " << c.stored;
        }
        EXPECT_EQ(run.out.calls, c.writes) << c.dataSize;
        if (c.stored == 0) {
            EXPECT_EQ(run.out.bytes, data);
        }
    }
}

// The decoder keeps only what the next bits need: a stream that ends in the
// last byte of the first block needs no second read, one that ends in the
// first byte of the next does -- however much stored size is left.
TEST(BlockCalls, ReadsNoFurtherThanTheBitsNeed) {
    for (size_t target : {size_t(BLOCK_SIZE - 1), size_t(BLOCK_SIZE)}) {
        // Noise of a length whose stream is exactly `target` bytes.
        std::vector<uint8_t> data, stream;
        size_t size = target;
        for (uint32_t seed = 1; stream.size() != target; seed++) {
            ASSERT_LT(seed, 200u) << "no stream of " << target << " bytes found";
            data = NoiseBytes(size, seed);
            stream = authoring::EncodeStream(data.data(), data.size(), authoring::Parsing::Greedy);
            size = size + target - stream.size();  // noise grows by a little
        }
        DecodeRun run;
        run.in.bytes = stream;
        run.in.bytes.resize(stream.size() + 50, 0x5A);
        run.Run(uint32_t(data.size()), uint32_t(run.in.bytes.size()));
        EXPECT_EQ(run.out.bytes, data);
        EXPECT_EQ(run.status, DECODE_OK);
        // One byte beyond the last one with a used bit is taken: within the
        // block for target 16383, the first byte of a second read for 16384.
        Calls expected{BLOCK_SIZE};
        if (target == BLOCK_SIZE) expected.push_back(50);
        EXPECT_EQ(run.in.calls, expected) << "stream of " << target;
    }
}

// A stream cut within a word of a block's start or end: the bit reader
// takes whole words from the block only where the stream delivered them,
// and the rest byte by byte, so the cut stream decodes exactly as the whole
// stream with zeros from the cut on (the stand-ins), reads the stored bytes
// in blocks of 16,384 and the remainder, and reports a shortfall.
TEST(BlockCalls, CutNearABlockEdgeGivesZeroBitsFromTheCut) {
    std::vector<uint8_t> data = NoiseBytes(60000, 9);
    std::vector<uint8_t> stream = authoring::EncodeStream(data.data(), data.size(), authoring::Parsing::Greedy);
    ASSERT_GT(stream.size(), 2u * BLOCK_SIZE + 16);
    for (uint32_t edge : {0u, uint32_t(BLOCK_SIZE), 2u * BLOCK_SIZE}) {
        for (uint32_t cut = edge > 9 ? edge - 9 : 1; cut <= edge + 9; cut++) {
            DecodeRun cutRun, zeroRun;
            cutRun.in.bytes = stream;
            cutRun.Run(uint32_t(data.size()), cut);
            zeroRun.in.bytes = stream;
            std::fill(zeroRun.in.bytes.begin() + cut, zeroRun.in.bytes.end(), 0);
            zeroRun.Run(uint32_t(data.size()));
            Calls reads(cut / BLOCK_SIZE, size_t(BLOCK_SIZE));
            if (cut % BLOCK_SIZE) reads.push_back(cut % BLOCK_SIZE);
            SCOPED_TRACE("cut at " + std::to_string(cut));
            ASSERT_EQ(cutRun.out.bytes, zeroRun.out.bytes);
            EXPECT_EQ(cutRun.in.calls, reads);
            EXPECT_EQ(cutRun.status, DECODE_SHORT_INPUT);
            EXPECT_GT(cutRun.shortfall, 0u);
        }
    }
}

// A stream cut short by its file: zeros stand in, the file still gets its
// size, and the status says so.
TEST(BlockCalls, TruncatedInputStillFillsTheFile) {
    std::vector<uint8_t> data(20000);
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t("abcdefgh"[i % 8] + i / 1000);
    std::vector<uint8_t> stream = authoring::EncodeStream(data.data(), data.size());
    DecodeRun run;
    run.in.bytes = stream;
    run.in.deliverable = stream.size() / 2;
    run.Run(uint32_t(data.size()));
    EXPECT_EQ(run.status, DECODE_SHORT_INPUT);
    EXPECT_EQ(run.returned, data.size());
    EXPECT_EQ(run.out.bytes.size(), data.size());
}

TEST(BlockCalls, ShortWriteStopsTheDecoder) {
    std::vector<uint8_t> data = NoiseBytes(WRITE_BLOCK_SIZE * 5 / 2, 3);
    DecodeRun run;
    run.in.bytes = authoring::EncodeStream(data.data(), data.size());
    run.out.shortWriteAt = 1;
    run.Run(uint32_t(data.size()));
    EXPECT_EQ(run.status, DECODE_WRITE_FAILED);
    EXPECT_EQ(run.out.calls, Calls{WRITE_BLOCK_SIZE});
    EXPECT_LT(run.returned, uint32_t(WRITE_BLOCK_SIZE + MAX_MATCH));
    EXPECT_EQ(WriteFailed(), 1);
}

}  // namespace
