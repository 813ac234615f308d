// The package writer: the layout it produces (checked against the worked
// example's numbers and read back with the stub's own readers), its choice
// between storing and compressing, and what it refuses.
#include "tests/support/sample_data.h"
#include "package_util.h"

#include "decode/decode.h"
#include "tools/authoring/memory_decode.h"
#include "tools/authoring/package_writer.h"

#include <cstdio>
#include <cstring>
#include <random>

namespace {

class Writer : public PackageTest {
protected:
    authoring::PackRequest Request(const pe::Options& stub = pe::Options()) {
        authoring::PackRequest request;
        request.stubPath = Put("stub.exe", pe::Build(stub).bytes);
        request.title = "Sunset";
        return request;
    }
    // Expands a compressed entry of the packed bytes.
    static std::vector<uint8_t> Expand(const authoring::Package& pkg, const authoring::PackedEntry& e) {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(authoring::DecodeBuffer(pkg.bytes.data() + e.fileOffset, e.storedSize, e.originalSize, &bytes),
                  DECODE_OK);
        EXPECT_EQ(bytes.size(), e.originalSize);
        return bytes;
    }
};

TEST_F(Writer, ReproducesTheWorkedExampleLayout) {
    // A stub whose package resource's data lies 0x85C into a resource
    // section starting at 54272 whose raw data end at 56832.
    pe::Options o;
    o.sections = {{".text", 0xD200}, {".rsrc", 0, true}};
    o.packageDataOffset = 0x85C;
    pe::Image stub = pe::Build(o);
    ASSERT_EQ(stub.layout.packagePos, 56412u);
    ASSERT_EQ(stub.layout.rsrcRawEnd, 56832u);

    authoring::PackRequest request;
    request.stubPath = Put("stub.exe", stub.bytes);
    request.title = "Zonsondergang";
    request.title.resize(12);
    request.firstNumber = 13;
    request.storeAll = true;
    std::vector<uint8_t> saver = NoiseBytes(276480, 1);
    saver[0] = 'M';
    saver[1] = 'Z';
    request.files = {{"saver.scr", saver, ".TMP"}, {"data.dat", NoiseBytes(1132123, 2), ".TMP"}};
    authoring::Package pkg;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);

    EXPECT_EQ(pkg.bytes.size(), 1465097u);
    EXPECT_EQ(pkg.position, 56412u);
    EXPECT_EQ(pkg.padding, 0u);
    EXPECT_EQ(0, std::memcmp(pkg.bytes.data(), stub.bytes.data(), 56412)) << "the stub up to P is unchanged";
    const std::vector<uint8_t> catalogue =
        CatalogueBytes(request.title, 13, {{56494, 276480, 0, ".TMP"}, {332974, 1132123, 0, ".TMP"}});
    ASSERT_EQ(catalogue.size(), 82u);
    EXPECT_EQ(std::vector<uint8_t>(pkg.bytes.begin() + 56412, pkg.bytes.begin() + 56494), catalogue);
    EXPECT_EQ(0, std::memcmp(pkg.bytes.data() + 56494, saver.data(), saver.size()));
    EXPECT_EQ(pkg.bytes[56494], 'M');
    EXPECT_EQ(56832u - 56412u - 82u, 338u) << "the section's raw data hold the first 338 bytes of the saver";

    // Read back with the stub's own readers.
    std::string path = Put("Saver.exe", pkg.bytes);
    HFILE file = LocatePackageIn(path.c_str(), nullptr);
    ASSERT_NE(file, HFILE_ERROR);
    uint32_t total = 0;
    EXPECT_EQ(ReadTotalSize(file, &total), PACKAGE_OK);
    _lclose(file);
    EXPECT_EQ(total, 1408603u);
    EXPECT_EQ(total / 1024, 1375u);
    EXPECT_EQ(pkg.totalInstalled, 1408603u);
    EXPECT_EQ(CheckPackageIn(path.c_str(), nullptr, nullptr), PACKAGE_OK);
}

TEST_F(Writer, LaysFilesOutCompactlyInEntryOrderAndPadsToTheRawEnd) {
    authoring::PackRequest request = Request();
    request.files = {{"a", {1, 2, 3}, ".SCR"}, {"b", {4}, ".DAT"}, {"c", {5, 6}, ".T"}};
    authoring::Package pkg;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    pe::Image stub = pe::Build();
    uint32_t first = stub.layout.packagePos + CAT_HEADER_SIZE + 4 * ENTRY_SIZE;
    ASSERT_EQ(pkg.entries.size(), 3u);
    EXPECT_EQ(pkg.entries[0].fileOffset, first);
    EXPECT_EQ(pkg.entries[1].fileOffset, first + 3);
    EXPECT_EQ(pkg.entries[2].fileOffset, first + 4);
    for (const authoring::PackedEntry& e : pkg.entries) EXPECT_EQ(e.originalSize, 0u) << "tiny files are stored";
    // Too small to reach the stub's raw resource end: zeros up to it.
    EXPECT_EQ(pkg.bytes.size(), stub.layout.rsrcRawEnd);
    EXPECT_EQ(pkg.padding, stub.layout.rsrcRawEnd - (first + 6));
    for (size_t i = first + 6; i < pkg.bytes.size(); i++) ASSERT_EQ(pkg.bytes[i], 0) << i;
    EXPECT_EQ(pkg.bytes[first + 5], 6);

    // Larger than the section: no padding, the last file ends the installer.
    request.files[2].bytes = NoiseBytes(5000, 3);
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    EXPECT_EQ(pkg.padding, 0u);
    EXPECT_EQ(pkg.bytes.size(), first + 4 + 5000);
}

TEST_F(Writer, CompressesOnlyWhenTheStreamIsSmaller) {
    authoring::PackRequest request = Request();
    request.files = {
        {"text", TextBytes(20000, 1), ".SCR"}, {"noise", NoiseBytes(3000, 4), ".DAT"}, {"one", {42}, ".X"}};
    authoring::Package pkg;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    EXPECT_EQ(pkg.entries[0].originalSize, 20000u);
    EXPECT_LT(pkg.entries[0].storedSize, 20000u);
    EXPECT_EQ(Expand(pkg, pkg.entries[0]), request.files[0].bytes);
    EXPECT_EQ(pkg.entries[1].originalSize, 0u) << "noise does not shrink: stored";
    EXPECT_EQ(pkg.entries[1].storedSize, 3000u);
    EXPECT_EQ(pkg.entries[2].originalSize, 0u);
    EXPECT_EQ(pkg.entries[1].fileOffset, pkg.entries[0].fileOffset + pkg.entries[0].storedSize);
    EXPECT_EQ(pkg.totalInstalled, 23001u);

    request.storeAll = true;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    EXPECT_EQ(pkg.entries[0].originalSize, 0u);
    EXPECT_EQ(pkg.entries[0].storedSize, 20000u);
}

TEST_F(Writer, SameInputsGiveTheSameBytes) {
    authoring::PackRequest request = Request();
    request.files = {{"text", TextBytes(30000, 1), ".SCR"}, {"noise", NoiseBytes(2000, 5), ".DAT"}};
    authoring::Package a, b;
    ASSERT_EQ(authoring::WritePackage(request, &a).fault, authoring::PackFault::None);
    ASSERT_EQ(authoring::WritePackage(request, &b).fault, authoring::PackFault::None);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST_F(Writer, RefusesWhatTheFormatCannotCarry) {
    struct Case {
        const char* what;
        std::string title;
        std::vector<authoring::PackInput> files;
    } cases[] = {
        {"no files", "Sunset", {}},
        {"an empty file", "Sunset", {{"saver", {1}, ""}, {"empty.dat", {}, ".DAT"}}},
        {"a 5-character extension", "Sunset", {{"saver", {1}, ".jpeg"}}},
        {"a separator in an extension", "Sunset", {{"saver", {1}, ".\\a"}}},
        {"an empty title", "", {{"saver", {1}, ""}}},
        {"a 33-byte title", std::string(33, 'a'), {{"saver", {1}, ""}}},
        {"a control byte in the title", "Sun\tset", {{"saver", {1}, ""}}},
        {"a byte the code page leaves undefined", "Sun\x81set", {{"saver", {1}, ""}}},
    };
    for (const Case& c : cases) {
        authoring::PackRequest request = Request();
        request.title = c.title;
        request.files = c.files;
        authoring::Package pkg;
        authoring::PackResult result = authoring::WritePackage(request, &pkg);
        EXPECT_EQ(result.fault, authoring::PackFault::Refused) << c.what;
        EXPECT_FALSE(result.message.empty()) << c.what;
        EXPECT_TRUE(pkg.bytes.empty()) << c.what;
    }
    // The boundaries that do fit.
    authoring::PackRequest request = Request();
    request.title = std::string(32, 'a');
    request.files = {{"saver", {1}, ".SCR"}, {"data", {2}, ""}};
    authoring::Package pkg;
    EXPECT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
}

TEST_F(Writer, TwoGibibyteLimits) {
    const uint64_t limit = authoring::kTwoGiB;
    EXPECT_EQ(authoring::CheckLimits(limit - 1, limit - 1, "f").fault, authoring::PackFault::None);
    EXPECT_EQ(authoring::CheckLimits(limit, 0, "f").fault, authoring::PackFault::Refused);
    EXPECT_EQ(authoring::CheckLimits(0, limit, "f").fault, authoring::PackFault::Refused);
    EXPECT_NE(authoring::CheckLimits(0, limit, "big.dat").message.find("big.dat"), std::string::npos);
}

TEST_F(Writer, RefusesAStubItCannotWriteInto) {
    struct Case {
        const char* what;
        pe::Options stub;
        authoring::PackFault fault;
    };
    std::vector<Case> cases;
    {
        pe::Options o;
        o.resources = {pe::Numbered(3, 4), pe::Named("LASTRES", {0, 0, 0, 0})};
        cases.push_back({"first resource type numbered", o, authoring::PackFault::BadStub});
    }
    {
        pe::Options o;
        o.resources[0].declaredSize = 8;
        cases.push_back({"first resource declares 8 bytes", o, authoring::PackFault::BadStub});
    }
    {
        pe::Options o;
        o.sections.push_back({".reloc", 0x200});
        cases.push_back({"a section after .rsrc", o, authoring::PackFault::BadStub});
    }
    {
        pe::Options o;
        o.sections.back().name = ".RSRC";
        cases.push_back({"no .rsrc", o, authoring::PackFault::BadStub});
    }
    for (const Case& c : cases) {
        authoring::PackRequest request = Request(c.stub);
        request.files = {{"saver", {1}, ""}};
        authoring::Package pkg;
        authoring::PackResult result = authoring::WritePackage(request, &pkg);
        EXPECT_EQ(result.fault, c.fault) << c.what;
        EXPECT_NE(result.message.find(request.stubPath), std::string::npos) << c.what << ": " << result.message;
    }
    // Resource data after the marker's (the marker is not last in the section).
    authoring::PackRequest request = Request();
    std::vector<uint8_t> stub = pe::ReadFileBytes(request.stubPath);
    pe::Image image = pe::Build();
    uint32_t header = image.layout.walk[2 + image.layout.rsrcIndex].offset;
    StoreU32(stub.data() + header + SECTION_VIRTUAL_SIZE, LoadU32(stub.data() + header + SECTION_VIRTUAL_SIZE) + 16);
    pe::WriteFileBytes(request.stubPath, stub);
    request.files = {{"saver", {1}, ""}};
    authoring::Package pkg;
    EXPECT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::BadStub);
    // Not a file at all.
    request.stubPath = dir() + "/missing.exe";
    EXPECT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::Io);
}

TEST_F(Writer, AnInstallerCanBeWrittenIntoAgainFromItsStub) {
    // Packing leaves the stub's headers untouched: the packed installer's
    // locator still finds P, and its check passes.
    authoring::PackRequest request = Request();
    request.files = {
        {"saver", TextBytes(5000, 1), ".SCR"}, {"data", NoiseBytes(100, 6), ".DAT"}, {"x", {9, 9}, ".TMP"}};
    authoring::Package pkg;
    ASSERT_EQ(authoring::WritePackage(request, &pkg).fault, authoring::PackFault::None);
    std::string path = Put("Sunset.exe", pkg.bytes);
    uint32_t count = 0, size = 0;
    EXPECT_EQ(CheckPackageIn(path.c_str(), &count, &size), PACKAGE_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(size, pkg.bytes.size());
    hostwin::SetModuleFileName(path);
    char title[CAT_TITLE_SIZE + 1] = {};
    ReadTitle(title);
    EXPECT_STREQ(title, "Sunset");
}

// What scrpack pack does: files read by path as they are packed, the
// streams in a scratch file, each expanded again and compared. The bytes are
// those of the writer on the files held in memory.
TEST_F(Writer, WritesFromFilesAsFromMemory) {
    authoring::PackRequest request = Request();
    request.files = {{"saver.scr", TextBytes(300000, 11), ".SCR"},
                     {"noise.bin", NoiseBytes(5000, 12), ""},
                     {"text.txt", TextBytes(40000, 13), ".TXT"}};
    authoring::Package whole;
    ASSERT_EQ(authoring::WritePackage(request, &whole).fault, authoring::PackFault::None);

    for (authoring::PackInput& file : request.files) {
        file.path = Put(file.name, file.bytes);
        file.size = file.bytes.size();
        file.bytes.clear();
    }
    request.checkRoundTrip = true;
    request.openScratch = [] { return std::tmpfile(); };
    std::vector<uint8_t> bytes;
    authoring::Package streamed;
    authoring::PackResult result = authoring::WritePackageTo(
        request, [&](const uint8_t* b, size_t n) { bytes.insert(bytes.end(), b, b + n); }, &streamed);
    ASSERT_EQ(result.fault, authoring::PackFault::None) << result.message;
    EXPECT_EQ(streamed.size, bytes.size());
    EXPECT_TRUE(bytes == whole.bytes) << "the installers differ";

    // A file that changed since its size was taken is refused, not packed.
    request.files[2].size++;
    result = authoring::WritePackageTo(
        request, [](const uint8_t*, size_t) {}, &streamed);
    EXPECT_EQ(result.fault, authoring::PackFault::Io);
    EXPECT_NE(result.message.find("changed while it was packed"), std::string::npos) << result.message;
}

}  // namespace
