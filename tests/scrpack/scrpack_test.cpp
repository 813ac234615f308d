// The scrpack binary, run as a user would in temporary folders: pack, list,
// verify, extract, compress and expand, their refusals and exit codes, and
// that extraction writes exactly the expected files and nothing else.
#include "tests/support/sample_data.h"
#include "package/records.h"
#include "tests/support/pe_builder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef SCRPACK_PATH
#error "SCRPACK_PATH must name the scrpack binary"
#endif

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit = -1;
    std::string out, err;
};

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; i++) out += text;
    return out;
}

class Scrpack : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "scrpack-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        pe::WriteFileBytes(Path("stub.exe"), pe::Build().bytes);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    Outcome Run(const std::vector<std::string>& args) const {
        std::string command = Quote(SCRPACK_PATH);
        for (const std::string& a : args) command += " " + Quote(a);
        command += " >" + Quote(Path(".out")) + " 2>" + Quote(Path(".err"));
        int status = std::system(command.c_str());
        Outcome o;
        o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = Slurp(Path(".out"));
        o.err = Slurp(Path(".err"));
        fs::remove(Path(".out"));
        fs::remove(Path(".err"));
        return o;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void Put(const std::string& name, const std::vector<uint8_t>& bytes) const { pe::WriteFileBytes(Path(name), bytes); }
    std::vector<uint8_t> Get(const std::string& name) const { return pe::ReadFileBytes(Path(name)); }

    // Every file below `folder`, relative to it, sorted.
    static std::set<std::string> Tree(const std::string& folder) {
        std::set<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (!e.is_directory()) files.insert(fs::relative(e.path(), folder).string());
        return files;
    }

    // The usual inputs: a compressible saver, a noisy data file, a
    // compressible extra and a one-byte extra with a two-character extension.
    void PutInputs() {
        Put("sunset.scr", TextBytes(30000, 1));
        Put("scene.dat", NoiseBytes(5000, 2));
        Put("notes.txt", TextBytes(9000, 3));
        Put("a.b", {0x42});
    }
    Outcome PackStandard(const std::string& out, bool store = false) {
        std::vector<std::string> args = {"pack", "-o", Path(out), "--stub", Path("stub.exe"), "--title",
                                         "Zonsondergang \xC3\xA9", "--first-number", "13"};
        if (store) args.push_back("--store");
        for (const char* f : {"sunset.scr", "scene.dat", "notes.txt", "a.b"}) args.push_back(Path(f));
        return Run(args);
    }

private:
    std::string dir_;
};

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
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), Path("a"), Path("b")},  // no --title
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", "T", Path("a")},  // no DATA
        {"pack", "-o", Path("o.exe"), "--stub", Path("stub.exe"), "--title", "T", "--first-number", "65536",
         Path("a"), Path("b")},
        {"list"},
        {"list", Path("a"), Path("b")},
        {"list", "--bogus", Path("a")},
        {"verify"},
        {"extract", Path("stub.exe")},  // no -d
        {"extract", Path("stub.exe"), "-d", Path("missing-folder")},
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
             {"\"Zonsondergang \xC3\xA9\"", "First number:   13", "SUNSET.SCR", "TORVANEL\\KAVRELIN\\Sunset\\Sunset.DAT",
              "TORVANEL\\KAVRELIN\\Sunset\\FILE0013.txt", "TORVANEL\\KAVRELIN\\Sunset\\FILE0014.b",
              "Total installed size: 44,001 bytes (42 KB)"})
            EXPECT_NE(list.out.find(expected), std::string::npos) << expected << "\n" << list.out;
        EXPECT_EQ(list.out.find("compressed") != std::string::npos, !store) << list.out;

        fs::create_directories(Path("win"));
        Outcome extract = Run({"extract", Path("out/Sunset.exe"), "-d", Path("win")});
        ASSERT_EQ(extract.exit, 0) << extract.err;
        EXPECT_EQ(Tree(Path("win")),
                  (std::set<std::string>{"SUNSET.SCR", "TORVANEL/KAVRELIN/Sunset/Sunset.DAT",
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
    EXPECT_NE(o.err.find("--force"), std::string::npos) << o.err;
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
        std::vector<std::string> args = {"pack", "-o", Path("o.exe"), "--stub", Path(c.stub), "--title", "T"};
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
                     "terminating entry"});
    cases.push_back({"cut inside the last file", std::vector<uint8_t>(good.begin(), good.end() - 1), "inside the file"});
    std::vector<uint8_t> longer = good;  // the saver claims more than its stream holds
    StoreU32(longer.data() + entry0 + ENTRY_ORIGINAL_SIZE, LoadU32(longer.data() + entry0 + ENTRY_ORIGINAL_SIZE) + 5000);
    cases.push_back({"original size larger than the stream gives", longer, "expand to"});
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

    // A stream cut short cannot give 50000 bytes: refused, nothing written.
    stream.resize(stream.size() / 2);
    Put("cut.bin", stream);
    e = Run({"expand", Path("cut.bin"), Path("cut.txt"), "--size", "50000"});
    EXPECT_EQ(e.exit, 2) << e.err;
    EXPECT_FALSE(fs::exists(Path("cut.txt")));
    for (const std::string& f : Tree(Path(""))) EXPECT_EQ(f.find(".scrpack-"), std::string::npos) << f;
}

}  // namespace
