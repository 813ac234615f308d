// The scrpack binary, run as a user would in temporary folders: pack, list,
// verify, extract, compress and expand, their refusals and exit codes, and
// that extraction writes exactly the expected files and nothing else.
#include "tests/scrpack/scrpack_fixture.h"

#include "package/records.h"

#include <cstring>
#include <random>

namespace {

using namespace scrpacktest;
namespace fs = std::filesystem;

TEST_F(Scrpack, HelpForTheToolAndEveryAction) {
    Outcome o = Run({"--help"});
    EXPECT_EQ(o.exit, 0);
    for (const char* action : {"pack", "list", "verify", "extract", "compress", "expand"}) {
        EXPECT_NE(o.out.find(action), std::string::npos) << action;
        Outcome a = Run({action, "--help"});
        EXPECT_EQ(a.exit, 0) << action;
        EXPECT_EQ(a.out.rfind(std::string("usage: scrpack ") + action, 0), 0u) << action << ": " << a.out;
    }
}

TEST_F(Scrpack, UsageErrorsExitWithOne) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), Path("a"), Path("b")},       // no --title
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", "T", Path("a")},  // no DATA
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", "T", "--first-number", "65536", Path("a"),
         Path("b")},
        {"list"},
        {"list", "--bogus", Path("a")},
        {"verify"},
        {"extract"},  // no INSTALLER
        {"extract", Path("stub.exe"), "-d"},
        {"help", "frobnicate"},
        {"compress", Path("stub.exe")},
        {"expand", Path("stub.exe"), Path("o")},  // no --size
        {"expand", Path("stub.exe"), Path("o"), "--size", "-3"},
        {"list", Path("missing.exe")},  // an I/O error
    };
    for (const auto& args : cases) {
        Outcome o = Run(args);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(o.exit, 1) << line << "\n" << o.err;
        EXPECT_FALSE(o.err.empty()) << line;
    }
}

TEST_F(Scrpack, PackVerifyListExtractRoundTrip) {
    PutInputs();
    for (bool store : {false, true}) {
        SCOPED_TRACE(store ? "stored" : "compressed");
        fs::create_directories(Path("out"));
        Outcome pack = PackStandard("out/Sunset.exe", store);
        ASSERT_EQ(pack.exit, 0) << pack.err;
        EXPECT_NE(pack.out.find("[3]"), std::string::npos) << "one progress line per entry";

        Outcome verify = Run({"verify", Path("out/Sunset.exe")});
        EXPECT_EQ(verify.exit, 0) << verify.err;
        EXPECT_NE(verify.out.find(": OK: 4 entries"), std::string::npos) << verify.out;

        Outcome list = Run({"list", Path("out/Sunset.exe")});
        EXPECT_EQ(list.exit, 0) << list.err;
        for (const char* expected :
             {"\"Zonsondergang \xC3\xA9\"", "First number:   13", "SUNSET.SCR",
              "TORVANEL\\KAVRELIN\\Sunset\\Sunset.DAT", "TORVANEL\\KAVRELIN\\Sunset\\FILE0013.txt",
              "TORVANEL\\KAVRELIN\\Sunset\\FILE0014.b", "Total installed size: 44,001 bytes (42 KB)"})
            EXPECT_NE(list.out.find(expected), std::string::npos) << expected << "\n" << list.out;
        EXPECT_EQ(list.out.find("compressed") != std::string::npos, !store) << list.out;

        fs::create_directories(Path("win"));
        Outcome extract = Run({"extract", Path("out/Sunset.exe"), "-d", Path("win")});
        ASSERT_EQ(extract.exit, 0) << extract.err;
        EXPECT_EQ(Tree(Path("win")), (std::set<std::string>{"SUNSET.SCR", "TORVANEL/KAVRELIN/Sunset/Sunset.DAT",
                                                            "TORVANEL/KAVRELIN/Sunset/FILE0013.txt",
                                                            "TORVANEL/KAVRELIN/Sunset/FILE0014.b"}));
        EXPECT_EQ(Get("win/SUNSET.SCR"), Get("sunset.scr"));
        EXPECT_EQ(Get("win/TORVANEL/KAVRELIN/Sunset/Sunset.DAT"), Get("scene.dat"));
        EXPECT_EQ(Get("win/TORVANEL/KAVRELIN/Sunset/FILE0013.txt"), Get("notes.txt"));
        EXPECT_EQ(Get("win/TORVANEL/KAVRELIN/Sunset/FILE0014.b"), Get("a.b"));
        fs::remove_all(Path("win"));
        fs::remove_all(Path("out"));
    }
}

TEST_F(Scrpack, PackingIsReproducibleAndStoresWhatDoesNotShrink) {
    PutInputs();
    ASSERT_EQ(PackStandard("one.exe").exit, 0);
    ASSERT_EQ(PackStandard("two.exe").exit, 0);
    EXPECT_EQ(Get("one.exe"), Get("two.exe"));
    Outcome list = Run({"list", Path("one.exe")});
    // The saver and the text extra shrink; the noise and the single byte do not.
    std::istringstream lines(list.out);
    std::string line;
    std::vector<std::string> kinds;
    while (std::getline(lines, line))
        if (line.find("  screen saver  ") != std::string::npos || line.find("  data file  ") != std::string::npos ||
            line.find("  extra file  ") != std::string::npos)
            kinds.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(kinds, (std::vector<std::string>{"compressed", "stored", "compressed", "stored"})) << list.out;
}

TEST_F(Scrpack, ExtractRefusesToOverwriteWithoutForce) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    fs::create_directories(Path("win"));
    Put("win/SUNSET.SCR", {'o', 'l', 'd'});
    Outcome o = Run({"extract", Path("Sunset.exe"), "-d", Path("win")});
    EXPECT_EQ(o.exit, 1);
    EXPECT_NE(o.err.find("use -f"), std::string::npos) << o.err;
    EXPECT_EQ(Tree(Path("win")), (std::set<std::string>{"SUNSET.SCR"})) << "nothing else written, no temp file";
    EXPECT_EQ(Get("win/SUNSET.SCR"), (std::vector<uint8_t>{'o', 'l', 'd'}));

    o = Run({"extract", Path("Sunset.exe"), "-d", Path("win"), "--force"});
    EXPECT_EQ(o.exit, 0) << o.err;
    EXPECT_EQ(Get("win/SUNSET.SCR"), Get("sunset.scr"));
    EXPECT_EQ(Tree(Path("win")).size(), 4u);
}

TEST_F(Scrpack, ExtractNeverWritesOutsideTheWindowsDirectory) {
    PutInputs();
    ASSERT_EQ(PackStandard("Sunset.exe").exit, 0);
    // A symbolic link inside WINDIR that leads out of it.
    fs::create_directories(Path("win"));
    fs::create_directories(Path("elsewhere"));
    fs::create_directory_symlink(Path("elsewhere"), Path("win/TORVANEL"));
    Outcome o = Run({"extract", Path("Sunset.exe"), "-d", Path("win"), "--force"});
    EXPECT_EQ(o.exit, 1);
    EXPECT_NE(o.err.find("outside"), std::string::npos) << o.err;
    EXPECT_TRUE(Tree(Path("elsewhere")).empty());
    EXPECT_TRUE(fs::is_empty(Path("elsewhere")));

    // An installer whose name would make the data folder "..": refused before
    // anything is written.
    fs::remove(Path("win/TORVANEL"));
    fs::copy_file(Path("Sunset.exe"), Path("...exe"));
    o = Run({"extract", Path("...exe"), "-d", Path("win")});
    EXPECT_EQ(o.exit, 1) << o.err;
    EXPECT_TRUE(fs::is_empty(Path("win")));
}

TEST_F(Scrpack, TitleMustFitWindows1252AndThirtyTwoBytes) {
    Put("s.scr", {1, 2, 3});
    Put("d.dat", {4, 5});
    struct Case {
        const char* what;
        std::string title;
        int exit;
        std::string stored;
    } cases[] = {
        {"e acute", "Zonsondergang \xC3\xA9", 0, "Zonsondergang \xE9"},
        {"32 e acutes: 64 bytes in UTF-8, 32 in the code page", Repeat("\xC3\xA9", 32), 0, std::string(32, '\xE9')},
        {"trailing blanks kept", "Sunset   ", 0, "Sunset   "},
        {"a CJK character", "Sunset \xE6\x97\xA5", 1, ""},
        {"33 bytes", std::string(33, 'a'), 1, ""},
    };
    for (const Case& c : cases) {
        fs::remove(Path("o.exe"));
        Outcome o = Run({"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", c.title, Path("s.scr"),
                         Path("d.dat")});
        EXPECT_EQ(o.exit, c.exit) << c.what << "\n" << o.err;
        if (c.exit != 0) {
            EXPECT_FALSE(fs::exists(Path("o.exe"))) << c.what;
            EXPECT_NE(o.err.find("title"), std::string::npos) << c.what << ": " << o.err;
            continue;
        }
        std::vector<uint8_t> bytes = Get("o.exe");
        uint32_t p = pe::Build().layout.packagePos;
        std::string field(bytes.begin() + p, bytes.begin() + p + CAT_TITLE_SIZE);
        EXPECT_EQ(field.substr(0, c.stored.size()), c.stored) << c.what;
        EXPECT_EQ(field.find_first_not_of('\0', c.stored.size()), std::string::npos) << c.what << ": NUL-filled";
        Outcome list = Run({"list", Path("o.exe")});
        EXPECT_NE(list.out.find("\"" + c.title + "\""), std::string::npos) << c.what << ": shown back in UTF-8";
    }
}

TEST_F(Scrpack, PackRefusesWhatItCannotCarry) {
    Put("s.scr", {1, 2, 3});
    Put("empty.dat", {});
    Put("d.dat", {4});
    Put("long.jpeg", {5});
    Put("text.txt", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'e'});
    pe::Options numbered;
    numbered.resources = {pe::Numbered(3, 4), pe::Named("LASTRES", {0, 0, 0, 0})};
    pe::WriteFileBytes(Path("numbered.exe"), pe::Build(numbered).bytes);
    struct Case {
        const char* what;
        std::string stub;
        std::vector<std::string> files;
        int exit;
        std::string mention;
    } cases[] = {
        {"an empty file", "stub.exe", {"s.scr", "empty.dat"}, 1, "empty.dat"},
        {"a 5-character extension", "stub.exe", {"s.scr", "long.jpeg"}, 1, ".jpeg"},
        {"a missing file", "stub.exe", {"s.scr", "missing.dat"}, 1, "missing.dat"},
        {"a stub whose first type is numbered", "numbered.exe", {"s.scr", "d.dat"}, 2, "named type"},
        {"a stub that is no PE file", "text.txt", {"s.scr", "d.dat"}, 2, "text.txt"},
        {"the output is an input", "stub.exe", {"s.scr", "o.exe"}, 1, "input"},
    };
    for (const Case& c : cases) {
        Put("o.exe", {'k', 'e', 'e', 'p'});
        std::vector<std::string> args = {"pack", "-f", "-o", Path("o.exe"), "--stub", Path(c.stub), "--title", "T"};
        for (const std::string& f : c.files) args.push_back(Path(f));
        Outcome o = Run(args);
        EXPECT_EQ(o.exit, c.exit) << c.what << "\n" << o.err;
        EXPECT_NE(o.err.find(c.mention), std::string::npos) << c.what << ": " << o.err;
        EXPECT_EQ(Get("o.exe"), (std::vector<uint8_t>{'k', 'e', 'e', 'p'})) << c.what << ": output untouched";
    }
    std::set<std::string> left = Tree(Path(""));
    for (const std::string& f : left) EXPECT_EQ(f.find(".scrpack-"), std::string::npos) << "temp file left: " << f;
}

TEST_F(Scrpack, VerifyRejectsDamagedInstallers) {
    PutInputs();
    ASSERT_EQ(PackStandard("good.exe").exit, 0);
    std::vector<uint8_t> good = Get("good.exe");
    uint32_t p = pe::Build().layout.packagePos;
    uint32_t entry0 = p + CAT_HEADER_SIZE;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string mention;
    };
    std::vector<Case> cases;
    cases.push_back({"cut inside the catalogue", std::vector<uint8_t>(good.begin(), good.begin() + entry0 + 20),
                     "the catalogue is cut short"});
    cases.push_back({"cut inside the last file", std::vector<uint8_t>(good.begin(), good.end() - 1),
                     "run past the end of the file"});
    std::vector<uint8_t> longer = good;  // the saver claims more than its stream holds
    StoreU32(longer.data() + entry0 + ENTRY_ORIGINAL_SIZE,
             LoadU32(longer.data() + entry0 + ENTRY_ORIGINAL_SIZE) + 5000);
    cases.push_back({"original size larger than the stream gives", longer, "is cut short"});
    cases.push_back({"a bare stub", pe::Build().bytes, "lists no files"});
    for (const Case& c : cases) {
        Put("bad.exe", c.bytes);
        Outcome o = Run({"verify", Path("bad.exe")});
        EXPECT_EQ(o.exit, 2) << c.what << "\n" << o.err;
        EXPECT_NE(o.out.find("BAD"), std::string::npos) << c.what << ": " << o.out;
        EXPECT_NE(o.err.find(c.mention), std::string::npos) << c.what << ": " << o.err;
        EXPECT_NE(o.err.find("offset"), std::string::npos) << c.what << ": " << o.err;
        fs::create_directories(Path("win"));
        Outcome x = Run({"extract", Path("bad.exe"), "-d", Path("win")});
        EXPECT_EQ(x.exit, 2) << c.what;
        EXPECT_TRUE(fs::is_empty(Path("win"))) << c.what << ": nothing extracted from a damaged installer";
    }
}

TEST_F(Scrpack, CompressAndExpandRoundTrip) {
    std::vector<uint8_t> original = TextBytes(50000, 7);
    Put("in.txt", original);
    Outcome c = Run({"compress", Path("in.txt"), Path("stream.bin")});
    ASSERT_EQ(c.exit, 0) << c.err;
    EXPECT_NE(c.out.find("50,000 bytes"), std::string::npos) << c.out;
    std::vector<uint8_t> stream = Get("stream.bin");
    EXPECT_LT(stream.size(), original.size());

    Outcome e = Run({"expand", Path("stream.bin"), Path("back.txt"), "--size", "50000"});
    ASSERT_EQ(e.exit, 0) << e.err;
    EXPECT_EQ(Get("back.txt"), original);

    // A stream cut short gives what zero bits give past its end: written,
    // with the damage said and exit 2; its first bytes are the original's.
    stream.resize(stream.size() / 2);
    Put("cut.bin", stream);
    e = Run({"expand", Path("cut.bin"), Path("cut.txt"), "--size", "50000"});
    EXPECT_EQ(e.exit, 2) << e.err;
    EXPECT_NE(e.err.find("cut short: it needed"), std::string::npos) << e.err;
    std::vector<uint8_t> cut = Get("cut.txt");
    ASSERT_EQ(cut.size(), 50000u);
    EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + 1000, original.begin()));

    // More than the stream can give at all: refused, nothing written.
    e = Run({"expand", Path("cut.bin"), Path("bomb.txt"), "--size", std::to_string(24 * stream.size() + 1)});
    EXPECT_EQ(e.exit, 2) << e.err;
    EXPECT_NE(e.err.find("cannot be its original size"), std::string::npos) << e.err;
    EXPECT_FALSE(fs::exists(Path("bomb.txt")));
    for (const std::string& f : Tree(Path(""))) EXPECT_EQ(f.find(".scrpack-"), std::string::npos) << f;
}

}  // namespace
