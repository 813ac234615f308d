// The catalogue readers (title reader, size reader, walk) and the package
// check, on hand-made catalogues: what they read from sound packages, and the
// named status they give for damaged or hostile ones.
#include "package_util.h"

#include <cstring>

namespace {

class Catalogue : public PackageTest {
protected:
    // Writes the installer and opens it through the locator.
    HFILE Open(const HandMade& h) {
        path_ = Put("Saver.exe", h.bytes);
        HFILE file = LocatePackageIn(path_.c_str(), nullptr);
        EXPECT_NE(file, HFILE_ERROR);
        return file;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// --- Title reader -------------------------------------------------------------

TEST_F(Catalogue, TitleReaderReadsAllThirtyTwoBytesAndKeepsTheNul) {
    const std::string full = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // 32 characters, no NUL in the field
    ASSERT_EQ(full.size(), 32u);
    struct Case {
        std::string stored, read;
    } cases[] = {{full, full}, {"Sunset   ", "Sunset   "}, {"Zonsondergang \xE9", "Zonsondergang \xE9"}, {"", ""}};
    for (const Case& c : cases) {
        HandMade h = InstallerWith(CatalogueBytes(c.stored, 1, {{0, 1, 0, ".TMP"}}));
        hostwin::SetModuleFileName(Put("Saver.exe", h.bytes));
        char title[CAT_TITLE_SIZE + 1];
        std::memset(title, 0, sizeof title);
        ReadTitle(title);
        EXPECT_EQ(std::string(title), c.read);
        EXPECT_EQ(title[CAT_TITLE_SIZE], 0) << "the 33rd byte is never written";
    }
}

TEST_F(Catalogue, TitleReaderLeavesTheBufferWhenThereIsNoWholeTitle) {
    HandMade h = InstallerWith(CatalogueBytes("Sunset", 1, {}));
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"no package", std::vector<uint8_t>(100, 'x')},
        {"title cut short", std::vector<uint8_t>(h.bytes.begin(), h.bytes.begin() + h.position + 31)},
    };
    for (const Case& c : cases) {
        hostwin::SetModuleFileName(Put("Saver.exe", c.bytes));
        char title[CAT_TITLE_SIZE + 1] = "kept";
        ReadTitle(title);
        EXPECT_STREQ(title, "kept") << c.what;
    }
}

// --- Size reader --------------------------------------------------------------

TEST_F(Catalogue, SizeReaderCountsWhatTheFilesWillOccupy) {
    struct Case {
        const char* what;
        std::vector<RawEntry> entries;
        uint32_t start, total;
    } cases[] = {
        {"no entries", {}, 0, 0},
        {"stored counts its stored size", {{0, 100, 0, ""}}, 0, 100},
        {"compressed counts its original size", {{0, 100, 5000, ""}}, 0, 5000},
        {"mixed", {{0, 100, 5000, ""}, {0, 7, 0, ""}, {0, 1, 65536, ""}}, 0, 70543},
        {"adds to what the total held", {{0, 10, 0, ""}}, 1000, 1010},
        {"saturates instead of wrapping", {{0, 1, 0xFFFFFFF0u, ""}, {0, 0x20, 0, ""}}, 0, 0xFFFFFFFFu},
        {"saturated stays saturated", {{0, 5, 0, ""}}, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"one short of the limit", {{0, 1, 0xFFFFFFF0u, ""}, {0, 0xE, 0, ""}}, 0, 0xFFFFFFFEu},
        {"exactly the limit", {{0, 1, 0xFFFFFFF0u, ""}, {0, 0xF, 0, ""}}, 0, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        HandMade h = InstallerWith(CatalogueBytes("t", 1, c.entries), std::vector<uint8_t>(8, 0xAB));
        HFILE file = Open(h);
        uint32_t total = c.start;
        EXPECT_EQ(ReadTotalSize(file, &total), PACKAGE_OK) << c.what;
        EXPECT_EQ(total, c.total) << c.what;
        EXPECT_EQ(_llseek(file, 0, FILE_CURRENT),
                  (LONG)(h.position + CAT_HEADER_SIZE + ENTRY_SIZE * (c.entries.size() + 1)))
            << c.what << ": the handle stays just past the terminating entry";
        _lclose(file);
    }
}

TEST_F(Catalogue, SizeReaderAndWalkStopAtTheEndOfAFileWithoutTerminator) {
    const std::vector<RawEntry> entries = {{0, 10, 0, ".A"}, {0, 20, 0, ".B"}, {0, 30, 0, ".C"}};
    HandMade whole = InstallerWith(CatalogueBytes("t", 1, entries));
    const uint32_t p = whole.position;
    // Cut at every record boundary and inside every record, terminator included.
    std::vector<uint32_t> cuts = {p, p + 31, p + 32, p + 33};
    for (uint32_t r = 0; r <= entries.size(); r++)
        for (uint32_t in : {0u, 1u, 15u}) cuts.push_back(p + CAT_HEADER_SIZE + ENTRY_SIZE * r + in);
    for (uint32_t cut : cuts) {
        if (cut <= p) continue;  // no package at all: the locator's case
        HandMade h = whole;
        h.bytes.resize(cut);
        HFILE file = Open(h);
        uint32_t total = 0;
        EXPECT_EQ(ReadTotalSize(file, &total), PACKAGE_DAMAGED) << "cut at P+" << cut - p;
        _lclose(file);

        file = Open(h);
        CatalogueWalk walk;
        int visited = 0;
        for (int more = BeginWalk(&walk, file); more; more = NextEntry(&walk)) visited++;
        EXPECT_EQ(walk.status, PACKAGE_DAMAGED) << "cut at P+" << cut - p;
        EXPECT_LE(visited, 3);
        EXPECT_EQ(NextEntry(&walk), 0) << "a stopped walk stays stopped";
        _lclose(file);
    }
}

// --- Catalogue walk -----------------------------------------------------------

TEST_F(Catalogue, WalkVisitsEveryEntryInOrderAcrossMovesAndReopens) {
    const std::vector<RawEntry> entries = {
        {900, 4, 0, ".TMP"}, {800, 3, 0, ".TMP"}, {700, 2, 99, ".T\0X"}, {600, 1, 0, ".BIN"}};
    HandMade h = InstallerWith(CatalogueBytes("t", 13, entries));
    HFILE file = Open(h);
    CatalogueWalk walk;
    std::vector<uint32_t> offsets;
    for (int more = BeginWalk(&walk, file); more; more = NextEntry(&walk)) {
        EXPECT_EQ(walk.firstNumber, 13);
        EXPECT_EQ(walk.nextRecord, (LONG)(h.position + CAT_HEADER_SIZE + ENTRY_SIZE * (walk.index + 1)));
        offsets.push_back(walk.entry.fileOffset);
        if (walk.index == 2) {
            EXPECT_STREQ(walk.entry.extension, ".T") << "the field ends at its first NUL";
        }
        // What the extraction does between entries: move the handle away,
        // or close it and take a fresh one from the locator.
        if (walk.index % 2 == 0) {
            _llseek(walk.package, 0, FILE_BEGIN);
        } else {
            _lclose(walk.package);
            walk.package = LocatePackageIn(path().c_str(), nullptr);
        }
    }
    EXPECT_EQ(walk.status, PACKAGE_OK);
    EXPECT_EQ(walk.index, 4) << "at the terminating entry the index is the number of entries";
    EXPECT_EQ(offsets, (std::vector<uint32_t>{900, 800, 700, 600}));
    EXPECT_EQ(NextEntry(&walk), 0) << "nothing is read past the terminating entry";
    _lclose(walk.package);
}

TEST_F(Catalogue, EmptyCatalogueWalksNothing) {
    HFILE file = Open(InstallerWith(CatalogueBytes("t", 1, {})));
    CatalogueWalk walk;
    EXPECT_EQ(BeginWalk(&walk, file), 0);
    EXPECT_EQ(walk.status, PACKAGE_OK);
    EXPECT_EQ(walk.index, 0);
    _lclose(file);
}

// --- Package check --------------------------------------------------------------

struct CheckCase {
    const char* what;
    std::vector<RawEntry> entries;  // file offsets below 0x10000 count from the end of the catalogue
    bool terminate;
    size_t payload;  // bytes after the catalogue
    PackageStatus expected;
    int badIndex;
};

TEST_F(Catalogue, PackageCheckNamesWhatIsWrong) {
    const CheckCase cases[] = {
        {"sound", {{0, 10, 0, ".SCR"}, {10, 5, 0, ".DAT"}, {15, 5, 9, ".TMP"}}, true, 20, PACKAGE_OK, -1},
        {"out of order with gaps", {{15, 5, 0, ""}, {0, 3, 0, ""}, {8, 1, 0, ".x"}}, true, 20, PACKAGE_OK, -1},
        {"last byte is the file's last", {{19, 1, 0, ""}}, true, 20, PACKAGE_OK, -1},
        {"one byte past the end", {{0, 10, 0, ""}, {19, 2, 0, ""}}, true, 20, PACKAGE_ENTRY_OUTSIDE, 1},
        {"offset at the end", {{20, 1, 0, ""}}, true, 20, PACKAGE_ENTRY_OUTSIDE, 0},
        {"offset plus size wraps", {{0, 1, 0, ""}, {0xFFFFFFF0u, 0x20, 0, ""}}, true, 20, PACKAGE_ENTRY_OUTSIDE, 1},
        {"size wraps from a small offset", {{16, 0xFFFFFFF8u, 0, ""}}, true, 20, PACKAGE_ENTRY_OUTSIDE, 0},
        {"no terminating entry", {{0x10000, 10, 0, ""}, {0x10000, 10, 0, ""}}, false, 0, PACKAGE_DAMAGED, 2},
        {"cut short is named before entries past the end", {{0x7000000, 10, 0, ""}}, false, 0, PACKAGE_DAMAGED, 1},
        {"no entries", {}, true, 20, PACKAGE_NO_ENTRIES, 0},
        {"backslash in an extra's extension",
         {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".\\a"}},
         true,
         20,
         PACKAGE_BAD_EXTENSION,
         2},
        {"slash", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, "/.."}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"colon", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ":x"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"control byte", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".\x01"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"DEL", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".\x7F"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"wildcard", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".*"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"quote and pipe", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".\"|"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"angle bracket", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, ".a<"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"question mark", {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, "?"}}, true, 20, PACKAGE_BAD_EXTENSION, 2},
        {"bytes after a NUL do not count",
         {{0, 1, 0, ""}, {0, 1, 0, ""}, {0, 1, 0, std::string(".\0/:", 4)}},
         true,
         20,
         PACKAGE_OK,
         -1},
        {"the saver's and data file's extensions name nothing",
         {{0, 1, 0, "\\.."}, {0, 1, 0, "/:"}},
         true,
         20,
         PACKAGE_OK,
         -1},
    };
    for (const CheckCase& c : cases) {
        std::vector<RawEntry> entries = c.entries;
        uint32_t p = InstallerWith({}).position;
        uint32_t payloadStart = p + CAT_HEADER_SIZE + ENTRY_SIZE * (uint32_t)(entries.size() + (c.terminate ? 1 : 0));
        for (RawEntry& e : entries) {
            if (e.fileOffset < 0x10000)
                e.fileOffset += payloadStart;
            else if (e.fileOffset == 0x10000)
                e.fileOffset = 0;  // inside the stub
        }
        HandMade h = InstallerWith(CatalogueBytes("t", 1, entries, c.terminate), std::vector<uint8_t>(c.payload, 1));
        std::string path = Put("Saver.exe", h.bytes);
        PackageCheck check;
        EXPECT_EQ(CheckPackageDetail(path.c_str(), &check), c.expected) << c.what;
        EXPECT_EQ(check.badIndex, c.badIndex) << c.what;
        EXPECT_EQ(check.position, p) << c.what;
        if (c.expected == PACKAGE_OK) {
            uint32_t count = 0, size = 0;
            EXPECT_EQ(CheckPackageIn(path.c_str(), &count, &size), PACKAGE_OK);
            EXPECT_EQ(count, entries.size()) << c.what;
            EXPECT_EQ(size, h.bytes.size()) << c.what;
        } else if (c.badIndex >= 0) {
            EXPECT_EQ(check.badRecord, p + CAT_HEADER_SIZE + ENTRY_SIZE * (uint32_t)c.badIndex) << c.what;
        }
    }
}

TEST_F(Catalogue, PackageCheckOfABareStubFindsNoEntries) {
    // The zero padding after the stub's 4-byte placeholder reads as an empty catalogue.
    std::string path = Put("stub.exe", pe::Build().bytes);
    EXPECT_EQ(CheckPackageIn(path.c_str(), nullptr, nullptr), PACKAGE_NO_ENTRIES);
}

TEST_F(Catalogue, PackageCheckPassesOnLocatorFailures) {
    pe::Options o;
    o.sections.back().name = ".RSRC";
    struct Case {
        std::vector<uint8_t> bytes;
        PackageStatus expected;
    } cases[] = {
        {pe::Build(o).bytes, PACKAGE_NO_RESOURCES},
        {std::vector<uint8_t>(10, 0), PACKAGE_SHORT_HEADER},
        {InstallerWith({}).bytes, PACKAGE_BAD_RESOURCE_DATA},  // the file ends at P
        {InstallerWith(CatalogueBytes("t", 1, {})).bytes, PACKAGE_NO_ENTRIES},
    };
    for (const Case& c : cases) {
        std::string path = Put("x.exe", c.bytes);
        EXPECT_EQ(CheckPackageIn(path.c_str(), nullptr, nullptr), c.expected);
    }
    EXPECT_EQ(CheckPackageIn((dir() + "/missing.exe").c_str(), nullptr, nullptr), PACKAGE_CANNOT_OPEN);
}

TEST_F(Catalogue, TheStubsCheckRunsOnItsOwnModule) {
    uint32_t p = InstallerWith({}).position;
    uint32_t start = p + CAT_HEADER_SIZE + 2 * ENTRY_SIZE;
    hostwin::SetModuleFileName(
        Put("a.exe", InstallerWith(CatalogueBytes("t", 1, {{start, 3, 0, ""}}), {1, 2, 3}).bytes));
    EXPECT_EQ(CheckPackage(), PACKAGE_OK);
    hostwin::SetModuleFileName(
        Put("b.exe", InstallerWith(CatalogueBytes("t", 1, {{start, 4, 0, ""}}), {1, 2, 3}).bytes));
    EXPECT_EQ(CheckPackage(), PACKAGE_ENTRY_OUTSIDE);
    hostwin::SetModuleFileName("");
    EXPECT_EQ(CheckPackage(), PACKAGE_CANNOT_OPEN);
}

}  // namespace
