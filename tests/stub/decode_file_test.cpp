// DecodeFile, the extraction step of a compressed entry, through real files:
// an "executable" holding streams at offsets, destinations in a temporary
// folder, and every way it can fail; the outcome is its own return value.
#include "tests/support/sample_data.h"
#include "install/decode_file.h"
#include "platform/hostwin/hostwin.h"
#include "tools/authoring/encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Entry {
    uint32_t offset, originalSize, storedSize;
};

class DecodeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostwin::Reset();
        dir_ = fs::temp_directory_path() / ("decode_file_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        exe_ = dir_ / "setup.exe";
        hostwin::SetModuleFileName(exe_.string());
    }
    void TearDown() override {
        fs::remove_all(dir_);
        hostwin::Reset();
    }

    // Appends the stream of `data` to the executable's bytes; returns its entry.
    Entry Pack(const std::vector<uint8_t>& data) {
        std::vector<uint8_t> stream = authoring::EncodeStream(data.data(), data.size());
        Entry e{uint32_t(image_.size()), uint32_t(data.size()), uint32_t(stream.size())};
        image_.insert(image_.end(), stream.begin(), stream.end());
        return e;
    }
    void WriteExe() {
        image_.insert(image_.end(), 300, 0xCC);  // whatever follows the last entry
        WriteAll(exe_, image_);
    }
    DecodeStatus Decode(const Entry& e, const std::string& destination) {
        return DecodeFile(nullptr, e.offset, e.originalSize, e.storedSize, destination.c_str());
    }

    fs::path dir_, exe_;
    std::vector<uint8_t> image_ = std::vector<uint8_t>(777, 0x90);  // the stub in front
};

TEST_F(DecodeFileTest, TwoFilesInARow) {
    std::vector<uint8_t> big = TextBytes(50000, 1), small = TextBytes(100, 2);
    Entry a = Pack(big), b = Pack(small);
    WriteExe();
    EXPECT_EQ(Decode(a, (dir_ / "a.bin").string()), DECODE_OK);
    EXPECT_EQ(Decode(b, (dir_ / "b.bin").string()), DECODE_OK);
    EXPECT_EQ(ReadAll(dir_ / "a.bin"), big);
    EXPECT_EQ(ReadAll(dir_ / "b.bin"), small);
}

TEST_F(DecodeFileTest, OriginalSizeZeroCreatesAnEmptyFile) {
    Entry e = Pack(TextBytes(10, 3));
    WriteExe();
    e.originalSize = 0;
    EXPECT_EQ(Decode(e, (dir_ / "empty.bin").string()), DECODE_OK);
    EXPECT_TRUE(fs::exists(dir_ / "empty.bin"));
    EXPECT_EQ(fs::file_size(dir_ / "empty.bin"), 0u);
}

TEST_F(DecodeFileTest, NothingCreatedWithoutTheExecutable) {
    Entry e = Pack(TextBytes(1000, 4));
    WriteExe();
    struct Case {
        const char* what;
        std::string module;
        uint32_t offset;
    };
    const Case cases[] = {
        {"no module name", "", e.offset},
        {"executable missing", (dir_ / "gone.exe").string(), e.offset},
        {"offset beyond a seek", exe_.string(), 0x80000000u},
    };
    for (const Case& c : cases) {
        hostwin::SetModuleFileName(c.module);
        fs::path dest = dir_ / "out.bin";
        EXPECT_EQ(DecodeFile(nullptr, c.offset, e.originalSize, e.storedSize, dest.string().c_str()),
                  DECODE_CANNOT_OPEN)
            << c.what;
        EXPECT_FALSE(fs::exists(dest)) << c.what;
    }
}

// A module name that does not fit the 260-character buffer is not cut to a
// name that may belong to another file.
TEST_F(DecodeFileTest, ModuleNameTooLongForTheBuffer) {
    Entry e = Pack(TextBytes(1000, 8));
    WriteExe();
    std::string base = dir_.string() + "/";
    fs::path sub = dir_ / std::string(MAX_PATH - 1 - base.size() - 6, 'd');
    fs::create_directories(sub);
    fs::path cut = sub / "s.exe";  // exactly MAX_PATH - 1 characters
    ASSERT_EQ(cut.string().size(), size_t(MAX_PATH - 1));
    fs::copy_file(exe_, cut);
    hostwin::SetModuleFileName(cut.string() + "_real.exe");
    EXPECT_EQ(Decode(e, (dir_ / "out.bin").string()), DECODE_CANNOT_OPEN);
    EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
}

TEST_F(DecodeFileTest, DestinationThatCannotBeCreated) {
    Entry e = Pack(TextBytes(1000, 5));
    WriteExe();
    EXPECT_EQ(Decode(e, (dir_ / "no" / "such" / "dir.bin").string()), DECODE_CANNOT_OPEN);
    EXPECT_EQ(hostwin::Count().openStreams, 0);
}

// A full disk: the write of a whole block fails at once, a small file's only
// when its stream is closed; both give 0.
TEST_F(DecodeFileTest, FullDisk) {
    for (size_t size : {size_t(40000), size_t(100)}) {
        Entry e = Pack(TextBytes(size, 6));
        WriteExe();
        EXPECT_EQ(Decode(e, "/dev/full"), DECODE_WRITE_FAILED) << size;
    }
}

// Through the layer's drive mapping and fault switch: the first block stores
// one byte fewer; nothing more is written after it.
TEST_F(DecodeFileTest, ShortWriteLeavesTheFileAsFarAsWritten) {
    Entry e = Pack(TextBytes(150000, 7));
    WriteExe();
    hostwin::MapDrive('C', dir_.string());
    hostwin::SetModuleFileName("C:\\setup.exe");
    hostwin::FaultSwitches().shortWrite = 1;
    EXPECT_EQ(Decode(e, "C:\\out.bin"), DECODE_WRITE_FAILED);
    EXPECT_EQ(fs::file_size(dir_ / "out.bin"), size_t(WRITE_BLOCK_SIZE - 1));
    EXPECT_EQ(hostwin::Count().writes, 1);
    EXPECT_EQ(hostwin::Count().openStreams, 0);
}

}  // namespace
