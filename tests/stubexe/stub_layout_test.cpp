// Layout of the cross-built stubs, one per language: their headers, the
// resource directory the package locator walks (LASTRES first at every level,
// its data the last bytes of the last section), the icon and both dialog
// templates field by field, every text byte for byte. Reads the files the
// build produced (stub.exe at STUB_EXE_PATH, the other languages' stubs
// beside it); the texts come from the language table (res/languages.h), the
// same headers the resource script takes them from.
#include "package/package.h"
#include "res/languages.h"
#include "tools/authoring/codepage.h"
#include "tests/support/pe_builder.h"
#include "tests/support/pe_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Test names carry the language's code; this names the parameter too.
void PrintTo(const InstallerLanguage* language, std::ostream* out) {
    *out << language->code;
}

namespace {

using namespace pe_reader;

constexpr uint16_t kRtIcon = 3, kRtDialog = 5, kRtGroupIcon = 14;
constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kButton = 0x0080, kStatic = 0x0082;  // predefined control class ordinals

struct Stub {
    std::string path;
    std::vector<uint8_t> file;
    Headers headers;
    ResourceTree tree;
    std::vector<ResourceLeaf> leaves;
    const Section* rsrc = nullptr;
    std::string error;  // empty when everything above could be read
};

std::string StubPath(const InstallerLanguage& language) {
    std::string dutch = STUB_EXE_PATH;
    return dutch.substr(0, dutch.rfind('/') + 1) + language.stubName;
}

Stub Load(const InstallerLanguage& language) {
    Stub s;
    s.path = StubPath(language);
    try {
        s.file = pe::ReadFileBytes(s.path);
    } catch (const std::exception& e) {
        s.error = e.what();
        return s;
    }
    if (!ReadHeaders(s.file, &s.headers, &s.error) || !ReadResources(s.file, s.headers, &s.tree, &s.error)) return s;
    s.leaves = Leaves(s.tree);
    s.rsrc = FindSection(s.headers, ".rsrc");
    if (!s.rsrc) s.error = "no .rsrc section";
    return s;
}

const Stub& StubOf(const InstallerLanguage& language) {
    static std::map<std::string, Stub> stubs;
    auto it = stubs.find(language.code);
    if (it == stubs.end()) it = stubs.emplace(language.code, Load(language)).first;
    return it->second;
}

// Every test below runs on each language's stub.
class StubTest : public ::testing::TestWithParam<const InstallerLanguage*> {
protected:
    const InstallerLanguage& language() const { return *GetParam(); }
};
class StubHeaders : public StubTest {};
class StubResources : public StubTest {};
class StubIcon : public StubTest {};
class StubDialogs : public StubTest {};

std::vector<const InstallerLanguage*> Languages() {
    std::vector<const InstallerLanguage*> all;
    for (const InstallerLanguage& language : kInstallerLanguages) all.push_back(&language);
    return all;
}
std::string LanguageName(const ::testing::TestParamInfo<const InstallerLanguage*>& info) {
    return info.param->code;
}
#define FOR_EVERY_LANGUAGE(suite) \
    INSTANTIATE_TEST_SUITE_P(Languages, suite, ::testing::ValuesIn(Languages()), LanguageName)
FOR_EVERY_LANGUAGE(StubHeaders);
FOR_EVERY_LANGUAGE(StubResources);
FOR_EVERY_LANGUAGE(StubIcon);
FOR_EVERY_LANGUAGE(StubDialogs);

#define LOAD_STUB(s)                    \
    const Stub& s = StubOf(language()); \
    ASSERT_TRUE(s.error.empty()) << s.path << ": " << s.error

// A Windows-1252 text as the resource compiler stores it in a template.
std::u16string Utf16(const std::string& cp1252) {
    std::u16string out;
    std::string utf8 = authoring::Cp1252ToUtf8(cp1252);
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;
        char16_t unit = extra == 0 ? c : extra == 1 ? c & 0x1F : c & 0x0F;
        for (int k = 1; k <= extra; k++) unit = char16_t(unit << 6 | (utf8[i + k] & 0x3F));
        out += unit;
        i += 1 + extra;
    }
    return out;
}

std::vector<uint8_t> LeafData(const Stub& s, size_t index) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(LeafBytes(s.file, s.leaves.at(index), &data)) << "leaf " << index << " outside the file";
    return data;
}

uint32_t AlignUp(uint32_t v, uint32_t a) {
    return (v + a - 1) / a * a;
}

// No stub may outgrow 17,408 bytes (34 blocks of 512): a translation that
// does costs every installer in its language another block.
TEST_P(StubHeaders, IsAtMost17408Bytes) {
    LOAD_STUB(s);
    EXPECT_LE(s.file.size(), 17408u);
}

TEST_P(StubHeaders, Is32BitGuiPe32WithA224ByteOptionalHeader) {
    LOAD_STUB(s);
    EXPECT_EQ(s.headers.machine, 0x014C);
    EXPECT_EQ(s.headers.magic, 0x010B);
    EXPECT_EQ(s.headers.subsystem, 2);
    EXPECT_EQ(s.headers.sizeOfOptionalHeader, 224);
}

TEST_P(StubHeaders, ResourceSectionIsLastAndTheFileEndsWithIt) {
    LOAD_STUB(s);
    const Section& r = *s.rsrc;
    ASSERT_EQ(&s.headers.sections.back(), &r) << "sections after .rsrc";
    for (const Section& other : s.headers.sections) {
        if (&other == &r) continue;
        SCOPED_TRACE(other.name);
        EXPECT_LE(uint64_t(other.virtualAddress) + other.virtualSize, r.virtualAddress);
        EXPECT_LE(uint64_t(other.pointerToRawData) + other.sizeOfRawData, r.pointerToRawData);
    }
    EXPECT_EQ(s.file.size(), uint64_t(r.pointerToRawData) + r.sizeOfRawData);
    EXPECT_LE(r.virtualSize, r.sizeOfRawData);
    ASSERT_GT(s.headers.dataDirectories.size(), 2u);
    EXPECT_EQ(s.headers.dataDirectories[2].rva, r.virtualAddress);
    EXPECT_EQ(s.headers.dataDirectories[2].size, r.virtualSize);
    EXPECT_EQ(s.headers.sizeOfImage, AlignUp(r.virtualAddress + r.virtualSize, s.headers.sectionAlignment));
    EXPECT_EQ(s.headers.checkSum, Checksum(s.file, s.headers.checkSumOffset));
}

struct ExpectedResource {
    ResourceId type;
    uint16_t name;
    int64_t size;  // -1: not fixed here (dialog templates, checked below)
};

TEST_P(StubResources, FiveResourcesInDirectoryOrderAllInEnglishUs) {
    LOAD_STUB(s);
    ResourceId lastres;
    lastres.named = true;
    lastres.name = U16("LASTRES");
    auto id = [](uint16_t v) {
        ResourceId r;
        r.id = v;
        return r;
    };
    const std::vector<ExpectedResource> expected = {
        {lastres, 1000, 4},       {id(kRtIcon), 1, 744},       {id(kRtDialog), 103, -1},
        {id(kRtDialog), 104, -1}, {id(kRtGroupIcon), 101, 20},
    };
    ASSERT_EQ(s.leaves.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const ResourceLeaf& leaf = s.leaves[i];
        SCOPED_TRACE("resource " + std::to_string(i) + " " + leaf.type.Text() + "/" + leaf.name.Text());
        EXPECT_EQ(leaf.type.named, expected[i].type.named);
        EXPECT_EQ(leaf.type.name, expected[i].type.name);
        EXPECT_EQ(leaf.type.id, expected[i].type.id);
        EXPECT_FALSE(leaf.name.named);
        EXPECT_EQ(leaf.name.id, expected[i].name);
        EXPECT_EQ(leaf.language, kEnglishUs);
        if (expected[i].size >= 0) {
            EXPECT_EQ(leaf.data.size, expected[i].size);
        }
    }
}

TEST_P(StubResources, LastresIsFirstAtEveryLevelAndTheOnlyNamedType) {
    LOAD_STUB(s);
    EXPECT_EQ(s.tree.namedCount, 1);
    EXPECT_EQ(s.tree.idCount, 3);
    ASSERT_EQ(s.tree.types.size(), 4u);
    const ResourceEntry& type = s.tree.types[0];
    EXPECT_TRUE(type.id.named);
    EXPECT_EQ(type.id.name, U16("LASTRES"));
    for (size_t i = 1; i < s.tree.types.size(); i++) EXPECT_FALSE(s.tree.types[i].id.named) << "type " << i;
    EXPECT_EQ(type.namedCount + type.idCount, 1);
    ASSERT_EQ(type.children.size(), 1u);
    const ResourceEntry& name = type.children[0];
    EXPECT_FALSE(name.id.named);
    EXPECT_EQ(name.id.id, 1000);
    EXPECT_EQ(name.namedCount + name.idCount, 1);
    ASSERT_EQ(name.children.size(), 1u);
    EXPECT_EQ(name.children[0].id.id, kEnglishUs);
    EXPECT_EQ(name.children[0].data.size, 4u);
}

// Everything of the section (directories, data entries, other data) lies
// before the LASTRES data, and those end at the section's virtual size.
TEST_P(StubResources, LastresDataAreTheLastBytesOfTheSection) {
    LOAD_STUB(s);
    const ResourceData& marker = s.leaves.at(0).data;
    const uint32_t start = marker.rva - s.rsrc->virtualAddress;
    EXPECT_EQ(uint64_t(start) + marker.size, s.rsrc->virtualSize);
    EXPECT_LE(RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * uint32_t(s.tree.types.size()), start);
    for (size_t i = 0; i < s.leaves.size(); i++) {
        SCOPED_TRACE("resource " + std::to_string(i));
        EXPECT_LE(s.leaves[i].data.entryOffset + RES_DATA_ENTRY_SIZE, start);
        if (i > 0) {
            EXPECT_LE(uint64_t(s.leaves[i].data.rva - s.rsrc->virtualAddress) + s.leaves[i].data.size, start);
        }
    }
    for (const ResourceEntry& type : s.tree.types) {
        EXPECT_LE(type.directoryOffset + RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * type.children.size(), start);
        for (const ResourceEntry& name : type.children)
            EXPECT_LE(name.directoryOffset + RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * name.children.size(), start);
    }
}

TEST_P(StubResources, PackageLocatorStopsAtTheLastresData) {
    LOAD_STUB(s);
    PackageStatus why = PACKAGE_OK;
    HFILE h = LocatePackageIn(s.path.c_str(), &why);
    ASSERT_NE(h, HFILE_ERROR) << PackageStatusName(why);
    EXPECT_EQ(_llseek(h, 0, FILE_CURRENT), LONG(s.leaves.at(0).data.fileOffset));
    _lclose(h);
}

// --- Icon ------------------------------------------------------------------

TEST_P(StubIcon, ImageIsA32x32SixteenColourDibOf744Bytes) {
    LOAD_STUB(s);
    std::vector<uint8_t> icon = LeafData(s, 1);
    ASSERT_EQ(icon.size(), 744u);
    struct Field {
        const char* name;
        size_t offset, size;
        uint32_t value;
    };
    const Field header[] = {
        {"biSize", 0, 4, 40},     {"biWidth", 4, 4, 32},       {"biHeight", 8, 4, 64},      {"biPlanes", 12, 2, 1},
        {"biBitCount", 14, 2, 4}, {"biCompression", 16, 4, 0}, {"biSizeImage", 20, 4, 512},
    };
    for (const Field& f : header)
        EXPECT_EQ(f.size == 2 ? LoadU16(&icon[f.offset]) : LoadU32(&icon[f.offset]), f.value) << f.name;
    const uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                  0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int i = 0; i < 16; i++) {
        const uint8_t* q = &icon[40 + 4 * i];
        EXPECT_EQ(uint32_t(q[2] << 16 | q[1] << 8 | q[0]), palette[i]) << "palette entry " << i;
        EXPECT_EQ(q[3], 0) << "palette entry " << i;
    }
}

// Transparent pixels are black in the colour half (so the XOR leaves the
// screen alone); the floppy disk covers the upper left, the computer the lower
// right, and the other two corners stay clear.
TEST_P(StubIcon, PictureFillsUpperLeftAndLowerRightOnly) {
    LOAD_STUB(s);
    std::vector<uint8_t> icon = LeafData(s, 1);
    ASSERT_EQ(icon.size(), 744u);
    const size_t colour = 40 + 64, mask = colour + 512;
    auto opaque = [&](int x, int y) {  // y from the top
        int row = 31 - y;
        return ((icon[mask + 4 * row + x / 8] >> (7 - x % 8)) & 1) == 0;
    };
    auto index = [&](int x, int y) {
        int row = 31 - y;
        uint8_t b = icon[colour + 16 * row + x / 2];
        return x % 2 ? b & 0x0F : b >> 4;
    };
    int corner[4] = {0, 0, 0, 0};  // opaque pixels in the 10x10 corners: UL, UR, LL, LR
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            if (!opaque(x, y)) {
                EXPECT_EQ(index(x, y), 0) << "transparent pixel " << x << "," << y << " is not black";
                continue;
            }
            if (y < 10 && x < 10) corner[0]++;
            if (y < 10 && x >= 22) corner[1]++;
            if (y >= 22 && x < 10) corner[2]++;
            if (y >= 22 && x >= 22) corner[3]++;
        }
    EXPECT_GT(corner[0], 50);
    EXPECT_EQ(corner[1], 0);
    EXPECT_EQ(corner[2], 0);
    EXPECT_GT(corner[3], 30);
}

TEST_P(StubIcon, GroupHasOneMemberThatIsIcon1) {
    LOAD_STUB(s);
    GroupIcon group;
    std::string error;
    ASSERT_TRUE(ParseGroupIcon(LeafData(s, 4), &group, &error)) << error;
    EXPECT_EQ(group.reserved, 0);
    EXPECT_EQ(group.type, 1);
    ASSERT_EQ(group.members.size(), 1u);
    const GroupIconMember& m = group.members[0];
    EXPECT_EQ(m.width, 32);
    EXPECT_EQ(m.height, 32);
    EXPECT_EQ(m.colorCount, 16);
    EXPECT_EQ(m.reserved, 0);
    EXPECT_EQ(m.planes, 1);
    EXPECT_EQ(m.bitCount, 4);
    EXPECT_EQ(m.bytesInRes, 744u);
    EXPECT_EQ(m.id, 1);
    EXPECT_EQ(m.id, s.leaves.at(1).name.id);
    EXPECT_EQ(m.bytesInRes, s.leaves.at(1).data.size);
}

// --- Dialog templates -------------------------------------------------------

struct ExpectedControl {
    uint16_t id;
    uint16_t classOrdinal;
    std::string text;
    int16_t x, y, cx, cy;
    uint32_t style;
};

struct ExpectedDialog {
    size_t leaf;
    uint32_t style;
    std::string caption;
    int16_t cx, cy;
    std::vector<ExpectedControl> controls;
};

void CheckDialog(const Stub& s, const ExpectedDialog& want) {
    std::vector<uint8_t> data = LeafData(s, want.leaf);
    DialogTemplate d;
    std::string error;
    ASSERT_TRUE(ParseDialogTemplate(data, &d, &error)) << error;
    EXPECT_EQ(d.bytesUsed, data.size()) << "bytes after the last control";
    EXPECT_EQ(d.style, want.style) << std::hex << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, want.cx);
    EXPECT_EQ(d.cy, want.cy);
    EXPECT_FALSE(d.menu.isOrdinal || !d.menu.text.empty()) << "a menu";
    EXPECT_FALSE(d.windowClass.isOrdinal || !d.windowClass.text.empty()) << "a dialog class";
    EXPECT_EQ(d.caption, Utf16(want.caption));
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.fontName, U16("MS Sans Serif"));
    ASSERT_EQ(d.controls.size(), want.controls.size());
    for (size_t i = 0; i < want.controls.size(); i++) {
        const DialogControl& c = d.controls[i];
        const ExpectedControl& w = want.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + w.text + "\"");
        EXPECT_EQ(c.id, w.id);
        EXPECT_TRUE(c.windowClass.isOrdinal);
        EXPECT_EQ(c.windowClass.ordinal, w.classOrdinal);
        EXPECT_FALSE(c.text.isOrdinal);
        EXPECT_EQ(c.text.text, Utf16(w.text));
        EXPECT_EQ(c.x, w.x);
        EXPECT_EQ(c.y, w.y);
        EXPECT_EQ(c.cx, w.cx);
        EXPECT_EQ(c.cy, w.cy);
        EXPECT_EQ(c.style, w.style) << std::hex << c.style;
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_EQ(c.creationDataSize, 0);
    }
}

TEST_P(StubDialogs, InstallDialog103) {
    LOAD_STUB(s);
    CheckDialog(s, {2,
                    0x900000C0,
                    "",
                    187,
                    75,
                    {
                        {1, kButton, "OK", 131, 6, 50, 14, 0x40010001},
                        {2, kButton, "Cancel", 131, 23, 50, 14, 0x40010000},
                        {0xFFFF, kStatic, language().INSTALL_LINE_1, 50, 15, 86, 8, 0x50020001},
                        {0xFFFF, kStatic, language().INSTALL_LINE_3, 48, 50, 90, 8, 0x50020001},
                        {1001, kStatic, "", 13, 31, 159, 8, 0x50020081},
                    }});
}

TEST_P(StubDialogs, OrderInfoDialog104) {
    LOAD_STUB(s);
    CheckDialog(s, {3,
                    0x90C800C0,
                    language().ORDER_CAPTION,
                    205,
                    154,
                    {
                        {0xFFFF, kStatic, language().ORDER_BANNER, 23, 25, 158, 10, 0x50020001},
                        {0xFFFF, kStatic, language().ORDER_MARK, 157, 18, 11, 8, 0x50020000},
                        {1, kButton, "OK", 78, 134, 50, 14, 0x50010001},
                        {0xFFFF, kStatic, language().ORDER_MADE_WITH, 23, 7, 158, 10, 0x50020001},
                        {0xFFFF, kStatic, language().ORDER_PITCH, 23, 42, 158, 8, 0x50020001},
                        {0xFFFF, kStatic, language().ORDER_DOWNLOAD, 23, 59, 158, 8, 0x50020001},
                        {0xFFFF, kStatic, language().ORDER_WEB, 23, 74, 158, 8, 0x50020001},
                        {0xFFFF, kStatic, language().ORDER_MAKER, 23, 91, 158, 36, 0x50020001},
                    }});
}

// The maker's lines are three (name, empty, e-mail), split by single line
// feeds as the resource compiler stored them.
TEST_P(StubDialogs, MakerTextIsThreeLinesSplitBySingleLineFeeds) {
    LOAD_STUB(s);
    DialogTemplate d;
    std::string error;
    ASSERT_TRUE(ParseDialogTemplate(LeafData(s, 3), &d, &error)) << error;
    ASSERT_EQ(d.controls.size(), 8u);
    const std::u16string& maker = d.controls[7].text.text;
    EXPECT_EQ(maker.find(u'\r'), std::u16string::npos);
    size_t first = maker.find(u'\n');
    ASSERT_NE(first, std::u16string::npos);
    EXPECT_GT(first, 0u);
    ASSERT_LT(first + 2, maker.size());
    EXPECT_EQ(maker[first + 1], u'\n');
    EXPECT_EQ(maker.find(u'\n', first + 2), std::u16string::npos);
}

}  // namespace
