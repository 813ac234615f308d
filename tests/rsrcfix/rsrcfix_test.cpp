// The post-link step: on synthetic images (tests/support/pe_builder) where a
// case needs a shape the linker never makes, on the stub exactly as linked
// (STUB_LINKED_PATH, before the step ran), and as the program the build runs
// (RSRCFIX_PATH): what it moves, what it refuses, that a refusal writes
// nothing and fails, and that a second run changes nothing.
#include "tests/support/pe_builder.h"
#include "tests/support/pe_reader.h"
#include "tools/rsrcfix/rsrcfix.h"

#include "package/records.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using rsrcfix::Status;

// Field positions of the synthetic images, from the headers they carry.
struct Fields {
    size_t rsrcHeader;  // file offset of the .rsrc section header
    size_t optional;    // file offset of the optional header
};

Fields Locate(const std::vector<uint8_t>& image) {
    pe_reader::Headers h;
    std::string error;
    EXPECT_TRUE(pe_reader::ReadHeaders(image, &h, &error)) << error;
    Fields f;
    f.optional = h.peOffset + PE_SIGNATURE_SIZE + COFF_HEADER_SIZE;
    size_t index = 0;
    while (index < h.sections.size() && h.sections[index].name != ".rsrc") index++;
    f.rsrcHeader = f.optional + OPTIONAL_HEADER_SIZE + SECTION_HEADER_SIZE * index;
    return f;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return LoadU32(&b[at]);
}

void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    StoreU32(&b[at], v);
}

// Everything the fixed image must satisfy, read back by the independent
// reader: LASTRES data last in .rsrc, the other data unchanged, sizes and
// checksum consistent.
void ExpectFixed(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    pe_reader::Headers h0, h1;
    pe_reader::ResourceTree t0, t1;
    std::string error;
    ASSERT_TRUE(pe_reader::ReadHeaders(before, &h0, &error) && pe_reader::ReadResources(before, h0, &t0, &error))
        << error;
    ASSERT_TRUE(pe_reader::ReadHeaders(after, &h1, &error) && pe_reader::ReadResources(after, h1, &t1, &error))
        << error;
    const pe_reader::Section& r = h1.sections.back();
    ASSERT_EQ(r.name, ".rsrc");
    std::vector<pe_reader::ResourceLeaf> l0 = pe_reader::Leaves(t0), l1 = pe_reader::Leaves(t1);
    ASSERT_EQ(l0.size(), l1.size());
    ASSERT_FALSE(l1.empty());
    EXPECT_EQ(uint64_t(l1[0].data.rva - r.virtualAddress) + l1[0].data.size, r.virtualSize);
    for (size_t i = 0; i < l0.size(); i++) {
        std::vector<uint8_t> d0, d1;
        ASSERT_TRUE(pe_reader::LeafBytes(before, l0[i], &d0));
        ASSERT_TRUE(pe_reader::LeafBytes(after, l1[i], &d1));
        EXPECT_EQ(d0, d1) << "data of resource " << i;
        if (i > 0) {
            EXPECT_EQ(l0[i].data.rva, l1[i].data.rva) << "resource " << i << " moved";
        }
    }
    EXPECT_EQ(h1.dataDirectories[2].size, r.virtualSize);
    EXPECT_LE(r.virtualSize, r.sizeOfRawData);
    EXPECT_EQ(after.size(), uint64_t(r.pointerToRawData) + r.sizeOfRawData);
    EXPECT_EQ(h1.sizeOfImage % h1.sectionAlignment, 0u);
    EXPECT_GE(h1.sizeOfImage, uint64_t(r.virtualAddress) + r.virtualSize);
    EXPECT_LT(h1.sizeOfImage - h1.sectionAlignment, uint64_t(r.virtualAddress) + r.virtualSize);
    EXPECT_EQ(h1.checkSum, pe_reader::Checksum(after, h1.checkSumOffset));
    EXPECT_EQ(h1.sizeOfInitializedData - h0.sizeOfInitializedData, r.sizeOfRawData - h0.sections.back().sizeOfRawData);
}

// Fixes, checks the result and that a second run leaves it as it is.
void ExpectFixesTo(std::vector<uint8_t> image, Status expected) {
    const std::vector<uint8_t> before = image;
    rsrcfix::Result r = rsrcfix::FixResourceLayout(image);
    ASSERT_EQ(r.status, expected) << r.detail;
    ExpectFixed(before, image);
    std::vector<uint8_t> again = image;
    rsrcfix::Result second = rsrcfix::FixResourceLayout(again);
    EXPECT_EQ(second.status, Status::kAlreadyInPlace) << second.detail;
    EXPECT_EQ(again, image) << "a second run changed the image";
    EXPECT_EQ(rsrcfix::CheckResourceLayout(image).status, Status::kAlreadyInPlace);
}

// The bare synthetic stub has its LASTRES data last already; `after` bytes of
// other content are added behind them inside VirtualSize.
std::vector<uint8_t> WithContentAfterMarker(uint32_t after, const pe::Options& options = pe::Options()) {
    std::vector<uint8_t> image = pe::Build(options).bytes;
    Fields f = Locate(image);
    uint32_t vs = Get32(image, f.rsrcHeader + SECTION_VIRTUAL_SIZE) + after;
    Set32(image, f.rsrcHeader + SECTION_VIRTUAL_SIZE, vs);
    Set32(image, f.optional + 96 + 8 * 2 + 4, vs);
    uint32_t rawStart = Get32(image, f.rsrcHeader + SECTION_POINTER_TO_RAW_DATA);
    for (uint32_t i = 0; i < after; i++) image[rawStart + vs - after + i] = 0xA5;
    return image;
}

TEST(RsrcFix, MovesMarkerDataBehindWhateverFollowsThem) {
    for (uint32_t after : {1u, 3u, 4u, 8u, 100u}) {
        SCOPED_TRACE("bytes after the marker: " + std::to_string(after));
        ExpectFixesTo(WithContentAfterMarker(after), Status::kMoved);
    }
}

// The moved data start on the next 8-byte boundary: around the raw end, the
// last content size that still fits, the first that does not, and content
// up to the raw end. With a section alignment as small as the file
// alignment, growing the raw data also grows the image.
TEST(RsrcFix, GrowsRawDataOnlyWhenTheMovedDataDoNotFit) {
    for (uint32_t sectionAlignment : {0x1000u, 0x200u}) {
        pe::Options options;
        options.sectionAlignment = sectionAlignment;
        const std::vector<uint8_t> base = pe::Build(options).bytes;
        Fields f = Locate(base);
        const uint32_t vs = Get32(base, f.rsrcHeader + SECTION_VIRTUAL_SIZE);
        const uint32_t raw = Get32(base, f.rsrcHeader + SECTION_SIZE_OF_RAW_DATA);
        const uint32_t image = Get32(base, f.optional + 56);
        ASSERT_GE(raw - vs, 8u);
        struct Case {
            uint32_t after;
            bool grows;
        } cases[] = {{raw - vs - 8, false}, {raw - vs - 7, true}, {raw - vs, true}};
        for (const Case& c : cases) {
            SCOPED_TRACE("section alignment " + std::to_string(sectionAlignment) + ", bytes after the marker " +
                         std::to_string(c.after));
            std::vector<uint8_t> fixed = WithContentAfterMarker(c.after, options);
            ExpectFixesTo(fixed, Status::kMoved);
            rsrcfix::FixResourceLayout(fixed);
            EXPECT_EQ(Get32(fixed, f.rsrcHeader + SECTION_SIZE_OF_RAW_DATA), c.grows ? raw + 0x200 : raw);
            EXPECT_EQ(Get32(fixed, f.optional + 56), c.grows && sectionAlignment == 0x200 ? image + 0x200 : image);
        }
    }
}

TEST(RsrcFix, ImageInShapeKeepsItsBytesOnlyTheChecksumIsSet) {
    std::vector<uint8_t> image = pe::Build().bytes;
    const std::vector<uint8_t> before = image;
    EXPECT_EQ(rsrcfix::CheckResourceLayout(image).status, Status::kMoved) << "the builder writes no checksum";
    ASSERT_EQ(rsrcfix::FixResourceLayout(image).status, Status::kAlreadyInPlace);
    Fields f = Locate(image);
    for (size_t i = 0; i < image.size(); i++) {
        if (i < f.optional + 64 || i >= f.optional + 68) {
            ASSERT_EQ(image[i], before[i]) << "byte " << i;
        }
    }
    ExpectFixed(before, image);
}

// Every refusal leaves the image as it was.
TEST(RsrcFix, RefusesWhatItCannotFix) {
    struct Case {
        const char* name;
        Status expected;
        std::vector<uint8_t> image;
    };
    std::vector<Case> cases;
    {
        pe::Options o;
        o.sections = {{".text", 0x400, false, 0xC3}, {".rsrc", 0, true, 0}, {".rdata", 0x200, false, 0x11}};
        cases.push_back({".rsrc not last in the table", Status::kResourceNotLast, pe::Build(o).bytes});
    }
    {
        pe::Options o;
        o.sections[2].name = ".RSRC";
        cases.push_back({"no section named exactly .rsrc", Status::kNoResourceSection, pe::Build(o).bytes});
    }
    {
        std::vector<uint8_t> image = WithContentAfterMarker(8);
        image.insert(image.end(), 16, 0x77);
        cases.push_back({"bytes after the raw data of .rsrc", Status::kTrailingData, image});
    }
    {
        pe::Options o;
        o.resources[0] = pe::Named("FIRSTRES", {1, 2, 3, 4});
        cases.push_back({"first type is another named type", Status::kNotMarkerFirst, pe::Build(o).bytes});
    }
    {
        pe::Options o;
        o.resources.insert(o.resources.begin() + 1, pe::Named("OTHER", {9, 9}));
        cases.push_back({"a second named type", Status::kNotMarkerFirst, pe::Build(o).bytes});
    }
    {
        pe::Options o;
        o.resources[0] = pe::Numbered(10, 4);
        cases.push_back({"first type numbered", Status::kNotMarkerFirst, pe::Build(o).bytes});
    }
    {
        std::vector<uint8_t> image = pe::Build().bytes;
        Fields f = Locate(image);
        StoreU16(&image[f.optional - COFF_HEADER_SIZE + 16], 240);
        cases.push_back({"optional header of 240 bytes", Status::kOptionalHeaderSize, image});
    }
    {
        std::vector<uint8_t> image = pe::Build().bytes;
        Fields f = Locate(image);
        StoreU16(&image[f.optional], 0x20B);
        cases.push_back({"PE32+", Status::kNotPe32, image});
    }
    {
        pe::Image built = pe::Build();
        uint32_t va = built.layout.sections.back().virtualAddress;
        uint32_t entry = built.layout.walk.back().offset;
        for (uint32_t rva : {va - 1, va + 0x10000u, 0xFFFFFFFCu}) {
            std::vector<uint8_t> image = built.bytes;
            Set32(image, entry + RES_DATA_RVA, rva);
            cases.push_back({"marker data outside .rsrc", Status::kBadData, image});
        }
        std::vector<uint8_t> image = built.bytes;
        Set32(image, entry + RES_DATA_SIZE, 0xFFFFFFFFu);
        cases.push_back({"marker size past the section", Status::kBadData, image});
    }
    {
        pe::Image built = pe::Build();
        std::vector<uint8_t> image = built.bytes;
        uint32_t typeEntry = built.layout.walk[built.layout.walk.size() - 4].offset;
        Set32(image, typeEntry + RES_ENTRY_OFFSET, RES_SUBDIR_BIT | 0x7FFFFFF0u);
        cases.push_back({"type directory far outside", Status::kBadDirectory, image});
    }
    {
        std::vector<uint8_t> image = pe::Build().bytes;
        image[0] = 'Z';
        cases.push_back({"no MZ", Status::kNotPe, image});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> before = c.image;
        rsrcfix::Result r = rsrcfix::FixResourceLayout(c.image);
        EXPECT_EQ(r.status, c.expected) << rsrcfix::StatusName(r.status) << ": " << r.detail;
        EXPECT_FALSE(r.detail.empty());
        EXPECT_EQ(c.image, before);
    }
}

// Any cut of an image must be refused, never read past its end.
TEST(RsrcFix, EveryTruncationIsRefused) {
    const std::vector<uint8_t> full = WithContentAfterMarker(8);
    for (size_t n = 0; n < full.size(); n++) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + n);
        rsrcfix::Result r = rsrcfix::FixResourceLayout(cut);
        ASSERT_FALSE(rsrcfix::Succeeded(r.status)) << "cut at " << n;
        ASSERT_EQ(cut.size(), n);
    }
}

// The checksum as the linker computed it is the oracle for ours.
TEST(RsrcFixLinkedStub, ChecksumMatchesTheLinkers) {
    std::vector<uint8_t> linked = pe::ReadFileBytes(STUB_LINKED_PATH);
    pe_reader::Headers h;
    std::string error;
    ASSERT_TRUE(pe_reader::ReadHeaders(linked, &h, &error)) << error;
    ASSERT_NE(h.checkSum, 0u) << "the linker wrote no checksum";
    EXPECT_EQ(rsrcfix::PeChecksum(linked, h.checkSumOffset), h.checkSum);
    EXPECT_EQ(pe_reader::Checksum(linked, h.checkSumOffset), h.checkSum);
}

TEST(RsrcFixLinkedStub, MovesTheMarkerDataOfTheLinkedStub) {
    std::vector<uint8_t> linked = pe::ReadFileBytes(STUB_LINKED_PATH);
    EXPECT_EQ(rsrcfix::CheckResourceLayout(linked).status, Status::kMoved)
        << "the resource compiler no longer writes the marker first";
    ExpectFixesTo(linked, Status::kMoved);
}

// --- The program --------------------------------------------------------------

class RsrcFixProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rsrcfix-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Exit code of rsrcfix with `args`; output goes to a file in the folder.
    int Run(const std::string& args) const {
        int status = std::system((std::string(RSRCFIX_PATH) + " " + args + " >'" + Path("out.txt") + "' 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool Exists(const std::string& name) const { return access(Path(name).c_str(), F_OK) == 0; }

    std::string dir_;
};

TEST_F(RsrcFixProgram, FixesIntoOutputThenFindsItInShape) {
    pe::WriteFileBytes(Path("in.exe"), WithContentAfterMarker(8));
    EXPECT_EQ(Run("--check " + Path("in.exe")), 2);
    ASSERT_EQ(Run(Path("in.exe") + " " + Path("out.exe")), 0);
    EXPECT_EQ(Run("--check " + Path("out.exe")), 0);
    std::vector<uint8_t> fixed = pe::ReadFileBytes(Path("out.exe"));
    ASSERT_EQ(Run(Path("out.exe")), 0) << "in place";
    EXPECT_EQ(pe::ReadFileBytes(Path("out.exe")), fixed);
    EXPECT_EQ(pe::ReadFileBytes(Path("in.exe")), WithContentAfterMarker(8)) << "input changed";
}

TEST_F(RsrcFixProgram, RefusalFailsAndWritesNothing) {
    pe::Options o;
    o.sections = {{".rsrc", 0, true, 0}, {".text", 0x400, false, 0xC3}};
    pe::WriteFileBytes(Path("bad.exe"), pe::Build(o).bytes);
    EXPECT_EQ(Run(Path("bad.exe") + " " + Path("out.exe")), 2);
    EXPECT_FALSE(Exists("out.exe"));
    EXPECT_FALSE(Exists("out.exe.rsrcfix-tmp"));
    EXPECT_EQ(pe::ReadFileBytes(Path("bad.exe")), pe::Build(o).bytes);
}

TEST_F(RsrcFixProgram, UsageErrorsAndHelp) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_EQ(Run(""), 1);
    EXPECT_EQ(Run("--check"), 1);
    EXPECT_EQ(Run("a b c"), 1);
    EXPECT_EQ(Run(Path("missing.exe")), 1);
}

}  // namespace
