// Helpers of the package tests: a scratch folder that also checks that the
// test closed every handle it was given, and hand-made catalogues, written
// apart from the package writer so that the readers are tested on their own.
#ifndef TESTS_PACKAGE_PACKAGE_UTIL_H
#define TESTS_PACKAGE_PACKAGE_UTIL_H

#include "package/package.h"
#include "platform/hostwin/hostwin.h"
#include "tests/support/pe_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostwin::Reset();
        std::string pattern = (std::filesystem::temp_directory_path() / "package-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        handlesAtStart_ = hostwin::Count().openHandles;
    }
    void TearDown() override {
        EXPECT_EQ(hostwin::Count().openHandles, handlesAtStart_) << "a handle was left open";
        std::filesystem::remove_all(dir_);
        hostwin::Reset();
    }

    // Writes `bytes` to a file of the scratch folder and returns its path.
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::string path = dir_ + "/" + name;
        pe::WriteFileBytes(path, bytes);
        return path;
    }
    const std::string& dir() const { return dir_; }
    int handlesAtStart() const { return handlesAtStart_; }

private:
    std::string dir_;
    int handlesAtStart_ = 0;
};

// One catalogue entry as the test wants it written.
struct RawEntry {
    uint32_t fileOffset, storedSize, originalSize;
    std::string extension;  // up to 4 bytes, may hold a NUL
};

// The catalogue bytes: title (NUL-filled to 32), first number, entries, and
// the terminating entry unless `terminate` is false.
inline std::vector<uint8_t> CatalogueBytes(const std::string& title, uint16_t firstNumber,
                                           const std::vector<RawEntry>& entries, bool terminate = true) {
    std::vector<uint8_t> out(CAT_HEADER_SIZE, 0);
    for (size_t i = 0; i < title.size() && i < CAT_TITLE_SIZE; i++) out[i] = (uint8_t)title[i];
    StoreU16(out.data() + CAT_FIRST_NUMBER, firstNumber);
    for (const RawEntry& e : entries) {
        uint8_t raw[ENTRY_SIZE] = {};
        StoreU32(raw + ENTRY_FILE_OFFSET, e.fileOffset);
        StoreU32(raw + ENTRY_STORED_SIZE, e.storedSize);
        StoreU32(raw + ENTRY_ORIGINAL_SIZE, e.originalSize);
        for (size_t i = 0; i < e.extension.size() && i < ENTRY_EXTENSION_SIZE; i++)
            raw[ENTRY_EXTENSION + i] = (uint8_t)e.extension[i];
        out.insert(out.end(), raw, raw + ENTRY_SIZE);
    }
    if (terminate) out.resize(out.size() + ENTRY_SIZE, 0);
    return out;
}

// The default bare stub cut at P, the catalogue, then `payload`.
struct HandMade {
    std::vector<uint8_t> bytes;
    uint32_t position;  // P
};
inline HandMade InstallerWith(const std::vector<uint8_t>& catalogue, const std::vector<uint8_t>& payload = {}) {
    pe::Image stub = pe::Build();
    HandMade h;
    h.position = stub.layout.packagePos;
    h.bytes.assign(stub.bytes.begin(), stub.bytes.begin() + h.position);
    h.bytes.insert(h.bytes.end(), catalogue.begin(), catalogue.end());
    h.bytes.insert(h.bytes.end(), payload.begin(), payload.end());
    return h;
}

#endif
