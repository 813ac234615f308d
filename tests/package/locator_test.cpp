// The package locator on synthetic PE files: where it finds the package, what
// it refuses, and that it never leaves a handle open or trusts a short read.
#include "package_util.h"

namespace {

class Locator : public PackageTest {
protected:
    // Locates in `bytes`; returns the position (handle closed) or -1.
    LONG Locate(const std::vector<uint8_t>& bytes, PackageStatus* why, PackageResource* found = nullptr) {
        std::string path = Put("stub.exe", bytes);
        HFILE h = LocatePackageResource(path.c_str(), why, found);
        if (h == HFILE_ERROR) {
            EXPECT_EQ(hostwin::Count().openHandles, handlesAtStart()) << "handle not closed on failure";
            return -1;
        }
        LONG at = _llseek(h, 0, FILE_CURRENT);
        _lclose(h);
        return at;
    }
};

TEST_F(Locator, FindsTheFirstResourceDataOfTheDefaultStub) {
    pe::Image image = pe::Build();
    PackageStatus why = PACKAGE_DAMAGED;
    PackageResource found;
    EXPECT_EQ(Locate(image.bytes, &why, &found), (LONG)image.layout.packagePos);
    EXPECT_EQ(why, PACKAGE_OK);
    const pe::SectionLayout& rsrc = image.layout.sections[image.layout.rsrcIndex];
    EXPECT_EQ(found.position, image.layout.packagePos);
    EXPECT_NE(found.typeNameField & RES_SUBDIR_BIT, 0u) << "LASTRES is a named type";
    EXPECT_EQ(found.declaredSize, 4u);
    EXPECT_EQ(found.sectionStart, rsrc.rawStart);
    EXPECT_EQ(found.sectionRawEnd, rsrc.rawEnd);
    EXPECT_EQ(found.sectionVirtualEnd, found.position + 4) << "the marker ends the section's virtual size";
}

TEST_F(Locator, FindsTheResourceSectionAnywhereInTheTable) {
    for (int place = 0; place < 4; place++) {
        pe::Options o;
        o.sections = {{".text", 0x400}, {".data", 0x200}, {".reloc", 0x200}};
        o.sections.insert(o.sections.begin() + place, pe::Section{".rsrc", 0, true});
        pe::Image image = pe::Build(o);
        PackageStatus why;
        EXPECT_EQ(Locate(image.bytes, &why), (LONG)image.layout.packagePos) << "at table index " << place;
        EXPECT_EQ(why, PACKAGE_OK);
    }
}

TEST_F(Locator, TakesOnlyTheSectionNamedExactlyRsrc) {
    struct Case {
        std::string name;
        bool found;
    } cases[] = {
        {".rsrc", true},   {std::string(".rsrc\0ab", 8), true},  // a NUL ends the name: what follows it does not count
        {".RSRC", false},  {".Rsrc", false},
        {".rsrc2", false}, {".rsrcxyz", false},  // 8 bytes, no NUL
        {"rsrc", false},   {".rsr", false},
    };
    for (const Case& c : cases) {
        pe::Options o;
        o.sections.back().name = c.name;
        pe::Image image = pe::Build(o);
        PackageStatus why;
        LONG at = Locate(image.bytes, &why);
        if (c.found) {
            EXPECT_EQ(at, (LONG)image.layout.sections.back().packagePos) << c.name;
        } else {
            EXPECT_EQ(at, -1) << c.name;
            EXPECT_EQ(why, PACKAGE_NO_RESOURCES) << c.name;
        }
    }
}

TEST_F(Locator, LooksPastLookAlikesToTheRealResourceSection) {
    pe::Options o;
    o.sections = {{".RSRC", 0, true}, {".rsrc2", 0, true}, {".rsrcxyz", 0, true}, {".rsrc", 0, true}};
    pe::Image image = pe::Build(o);
    ASSERT_EQ(image.layout.rsrcIndex, 3);
    PackageStatus why;
    EXPECT_EQ(Locate(image.bytes, &why), (LONG)image.layout.sections[3].packagePos);
}

TEST_F(Locator, ReadsNoMoreSectionHeadersThanNumberOfSections) {
    for (int declared : {0, 1, 2}) {  // .rsrc is the third header
        pe::Options o;
        o.declaredSections = declared;
        PackageStatus why;
        EXPECT_EQ(Locate(pe::Build(o).bytes, &why), -1) << declared;
        EXPECT_EQ(why, PACKAGE_NO_RESOURCES) << declared;
    }
    pe::Options o;
    o.declaredSections = 3;
    PackageStatus why;
    EXPECT_EQ(Locate(pe::Build(o).bytes, &why), (LONG)pe::Build(o).layout.packagePos);
}

TEST_F(Locator, FileCutInsideAnyHeaderGivesMinusOneAndSaysWhere) {
    pe::Image image = pe::Build();
    ASSERT_GE(image.layout.walk.size(), 8u);
    for (const pe::Span& span : image.layout.walk) {
        for (uint32_t cut : {span.offset, span.offset + span.size - 1}) {
            std::vector<uint8_t> bytes(image.bytes.begin(), image.bytes.begin() + cut);
            PackageStatus why = PACKAGE_OK;
            PackageResource found;
            EXPECT_EQ(Locate(bytes, &why, &found), -1) << span.what << " cut at " << cut;
            EXPECT_EQ(why, PACKAGE_SHORT_HEADER) << span.what;
            EXPECT_EQ(found.failedAt, span.offset) << span.what;
        }
    }
}

TEST_F(Locator, DataAtOrBeyondTheEndOfTheFileIsNoPackage) {
    pe::Image image = pe::Build();
    uint32_t p = image.layout.packagePos;
    PackageStatus why;
    EXPECT_EQ(Locate(std::vector<uint8_t>(image.bytes.begin(), image.bytes.begin() + p), &why), -1);
    EXPECT_EQ(why, PACKAGE_BAD_RESOURCE_DATA);
    EXPECT_EQ(Locate(std::vector<uint8_t>(image.bytes.begin(), image.bytes.begin() + p + 1), &why), (LONG)p);
}

// Patches one u32 of the image found by the walk and locates again.
struct Patch {
    const char* what;
    size_t span;  // index into layout.walk, from the end (0 = data entry)
    uint32_t at;  // offset inside that span
    uint32_t value;
    PackageStatus expected;
};

TEST_F(Locator, HostileOffsetsGiveANamedReason) {
    pe::Image image = pe::Build();
    const pe::SectionLayout& rsrc = image.layout.sections[image.layout.rsrcIndex];
    const Patch patches[] = {
        {"data before the section", 0, RES_DATA_RVA, rsrc.virtualAddress - 1, PACKAGE_BAD_RESOURCE_DATA},
        {"data far beyond the file", 0, RES_DATA_RVA, 0xFFFFFFF0u, PACKAGE_BAD_RESOURCE_DATA},
        {"data just past the file", 0, RES_DATA_RVA, rsrc.virtualAddress + (uint32_t)image.bytes.size() - rsrc.rawStart,
         PACKAGE_BAD_RESOURCE_DATA},
        {"language entry beyond the file", 1, RES_ENTRY_OFFSET, 0x7FFFFFF0u, PACKAGE_SHORT_HEADER},
        {"language entry with the high bit (not masked)", 1, RES_ENTRY_OFFSET, 0x80000000u, PACKAGE_SHORT_HEADER},
        {"name entry beyond the file", 2, RES_ENTRY_OFFSET, 0xFFFFFFFFu, PACKAGE_SHORT_HEADER},
        {"type entry beyond the file", 3, RES_ENTRY_OFFSET, 0x80100000u, PACKAGE_SHORT_HEADER},
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> bytes = image.bytes;
        const pe::Span& span = image.layout.walk[image.layout.walk.size() - 1 - p.span];
        StoreU32(bytes.data() + span.offset + p.at, p.value);
        PackageStatus why = PACKAGE_OK;
        EXPECT_EQ(Locate(bytes, &why), -1) << p.what;
        EXPECT_EQ(why, p.expected) << p.what;
    }
}

TEST_F(Locator, HostileHeaderFieldsGiveANamedReason) {
    struct Case {
        const char* what;
        uint32_t offset, value;
        PackageStatus expected;
    } cases[] = {
        {"e_lfanew beyond the file", DOS_E_LFANEW, 0x00100000u, PACKAGE_SHORT_HEADER},
        {"e_lfanew at the top of the range", DOS_E_LFANEW, 0xFFFFFFF0u, PACKAGE_SHORT_HEADER},
        {"section start at the top of the range", 0, 0xFFFFFFF8u, PACKAGE_SHORT_HEADER},
    };
    pe::Image image = pe::Build();
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = image.bytes;
        uint32_t at = c.offset;
        if (at == 0)  // PointerToRawData of the .rsrc header
            at = image.layout.walk[2 + image.layout.rsrcIndex].offset + SECTION_POINTER_TO_RAW_DATA;
        StoreU32(bytes.data() + at, c.value);
        PackageStatus why = PACKAGE_OK;
        EXPECT_EQ(Locate(bytes, &why), -1) << c.what;
        EXPECT_EQ(why, c.expected) << c.what;
    }
    // NumberOfSections at its largest with the table running off the file.
    std::vector<uint8_t> bytes = image.bytes;
    StoreU16(bytes.data() + 0x80 + PE_SIGNATURE_SIZE + COFF_NUMBER_OF_SECTIONS, 0xFFFF);
    bytes[image.layout.walk[2 + image.layout.rsrcIndex].offset] = 'x';  // no header matches
    PackageStatus why = PACKAGE_OK;
    EXPECT_EQ(Locate(bytes, &why), -1);
    EXPECT_EQ(why, PACKAGE_SHORT_HEADER);
}

TEST_F(Locator, TheDeclaredSizeLimitsNothing) {
    for (int64_t declared : {0ll, 1ll, 4ll, 0xFFFFFFFFll}) {
        pe::Options o;
        o.resources[0].declaredSize = declared;
        pe::Image image = pe::Build(o);
        PackageStatus why;
        EXPECT_EQ(Locate(image.bytes, &why), (LONG)image.layout.packagePos) << declared;
    }
}

TEST_F(Locator, FollowsTheFirstEntryWhateverItsTypeOrName) {
    // A numbered type first, and a named type that sorts before LASTRES: the
    // locator takes whichever comes first and never looks at names.
    pe::Options numbered;
    numbered.resources = {pe::Numbered(3, 40), pe::Named("LASTRES", {1, 2, 3, 4})};
    pe::Options named;
    named.resources = {pe::Named("AAA", std::vector<uint8_t>(12, 7)), pe::Named("LASTRES", {1, 2, 3, 4})};
    for (const pe::Options& o : {numbered, named}) {
        pe::Image image = pe::Build(o);
        PackageStatus why;
        EXPECT_EQ(Locate(image.bytes, &why), (LONG)image.layout.packagePos);
    }
}

TEST_F(Locator, TwoCallsGiveHandlesAtTheSamePosition) {
    pe::Options o;
    o.packageDataOffset = 0x85C;
    pe::Image image = pe::Build(o);
    std::string path = Put("stub.exe", image.bytes);
    HFILE a = LocatePackageIn(path.c_str(), nullptr);
    HFILE b = LocatePackageIn(path.c_str(), nullptr);
    ASSERT_NE(a, HFILE_ERROR);
    ASSERT_NE(b, HFILE_ERROR);
    EXPECT_NE(a, b) << "each call opens its own handle";
    EXPECT_EQ(_llseek(a, 0, FILE_CURRENT), (LONG)image.layout.packagePos);
    EXPECT_EQ(_llseek(b, 0, FILE_CURRENT), (LONG)image.layout.packagePos);
    _lclose(a);
    _lclose(b);
}

TEST_F(Locator, TheStubsLocatorWalksItsOwnModuleFile) {
    pe::Image image = pe::Build();
    std::string path = Put("Sunset.exe", image.bytes);
    hostwin::SetModuleFileName(path);
    HFILE h = LocatePackage();
    ASSERT_NE(h, HFILE_ERROR);
    EXPECT_EQ(_llseek(h, 0, FILE_CURRENT), (LONG)image.layout.packagePos);
    _lclose(h);

    hostwin::SetModuleFileName("");  // the module's name cannot be had
    EXPECT_EQ(LocatePackage(), HFILE_ERROR);
    hostwin::SetModuleFileName(dir() + "/missing.exe");
    EXPECT_EQ(LocatePackage(), HFILE_ERROR);
}

TEST_F(Locator, AMissingFileCannotBeOpened) {
    PackageStatus why = PACKAGE_OK;
    EXPECT_EQ(LocatePackageIn((dir() + "/missing.exe").c_str(), &why), HFILE_ERROR);
    EXPECT_EQ(why, PACKAGE_CANNOT_OPEN);
    EXPECT_EQ(LocatePackageIn(dir().c_str(), &why), HFILE_ERROR) << "a folder is no file";
    EXPECT_EQ(why, PACKAGE_CANNOT_OPEN);
}

}  // namespace
