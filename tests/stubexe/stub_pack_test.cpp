// The built stub.exe as the packer's input: `scrpack pack --stub stub.exe`
// gives an installer that `scrpack verify` accepts, whose stub part is the
// stub byte for byte, whose package starts where the stub's locator points,
// and whose files come back out unchanged; and `pack --language` with every
// language's stub, which `list` then names.
#include "package/package.h"
#include "res/languages.h"
#include "tests/support/pe_builder.h"
#include "tests/support/pe_reader.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class StubPack : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/stubexe-pack-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "/windir'").c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Exit code of scrpack with `args`; its output goes to a file.
    int Scrpack(const std::string& args) const {
        std::string command = std::string(SCRPACK_PATH) + " " + args + " >>'" + Path("scrpack.log") + "' 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log() const {
        std::vector<uint8_t> log = pe::ReadFileBytes(Path("scrpack.log"));
        return std::string(log.begin(), log.end());
    }

    std::string dir_;
};

// Compressible and incompressible contents, so that both kinds of entry occur.
std::vector<uint8_t> Text(size_t size) {
    const std::string line = "Een regel tekst die vaak terugkomt, zodat er iets te comprimeren valt.\r\n";
    std::vector<uint8_t> out;
    while (out.size() < size) out.push_back(uint8_t(line[out.size() % line.size()]));
    return out;
}

std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 24);
    }
    return out;
}

TEST_F(StubPack, PackedStubVerifiesKeepsTheStubAndExtractsTheSameFiles) {
    const std::vector<uint8_t> stub = pe::ReadFileBytes(STUB_EXE_PATH);
    pe_reader::Headers headers;
    pe_reader::ResourceTree tree;
    std::string error;
    ASSERT_TRUE(pe_reader::ReadHeaders(stub, &headers, &error) &&
                pe_reader::ReadResources(stub, headers, &tree, &error))
        << error;
    const uint32_t marker = pe_reader::Leaves(tree).at(0).data.fileOffset;

    const std::vector<uint8_t> saver = Text(20000), data = Noise(3000, 7), extra = Text(333);
    pe::WriteFileBytes(Path("saver.scr"), saver);
    pe::WriteFileBytes(Path("saver.dat"), data);
    pe::WriteFileBytes(Path("extra.txt"), extra);
    ASSERT_EQ(Scrpack("pack -o " + Path("Zon.exe") + " --stub " STUB_EXE_PATH " --title Zonsondergang " +
                      Path("saver.scr") + " " + Path("saver.dat") + " " + Path("extra.txt")),
              0)
        << Log();
    ASSERT_EQ(Scrpack("verify " + Path("Zon.exe")), 0) << Log();

    const std::vector<uint8_t> installer = pe::ReadFileBytes(Path("Zon.exe"));
    ASSERT_GT(installer.size(), marker);
    EXPECT_TRUE(std::equal(stub.begin(), stub.begin() + marker, installer.begin())) << "the stub part changed";
    PackageStatus why = PACKAGE_OK;
    HFILE h = LocatePackageIn(Path("Zon.exe").c_str(), &why);
    ASSERT_NE(h, HFILE_ERROR) << PackageStatusName(why);
    EXPECT_EQ(_llseek(h, 0, FILE_CURRENT), LONG(marker));
    _lclose(h);

    ASSERT_EQ(Scrpack("extract " + Path("Zon.exe") + " -d " + Path("windir")), 0) << Log();
    EXPECT_EQ(pe::ReadFileBytes(Path("windir/ZON.SCR")), saver);
    EXPECT_EQ(pe::ReadFileBytes(Path("windir/TORVANEL/KAVRELIN/Zon/Zon.DAT")), data);
    EXPECT_EQ(pe::ReadFileBytes(Path("windir/TORVANEL/KAVRELIN/Zon/FILE0001.txt")), extra);
}

// scrpack run from its build tree finds each language's stub beside the
// Dutch one; the installer carries that stub byte for byte up to its package,
// and list reads the language back from its dialogs. A stub of no language
// of ours lists as unknown.
TEST_F(StubPack, EachLanguagePacksItsOwnStubWhichListNames) {
    pe::WriteFileBytes(Path("saver.scr"), Text(5000));
    pe::WriteFileBytes(Path("saver.dat"), Noise(300, 5));
    const std::string dutch = STUB_EXE_PATH;
    for (const InstallerLanguage& language : kInstallerLanguages) {
        SCOPED_TRACE(language.code);
        const std::string out = Path(std::string("Sonne-") + language.code + ".exe");
        ASSERT_EQ(Scrpack(std::string("pack -o ") + out + " --language " + language.code + " --title Sonnenuntergang " +
                          Path("saver.scr") + " " + Path("saver.dat")),
                  0)
            << Log();
        const std::vector<uint8_t> stub = pe::ReadFileBytes(dutch.substr(0, dutch.rfind('/') + 1) + language.stubName);
        pe_reader::Headers headers;
        pe_reader::ResourceTree tree;
        std::string error;
        ASSERT_TRUE(pe_reader::ReadHeaders(stub, &headers, &error) &&
                    pe_reader::ReadResources(stub, headers, &tree, &error))
            << error;
        const uint32_t marker = pe_reader::Leaves(tree).at(0).data.fileOffset;
        const std::vector<uint8_t> installer = pe::ReadFileBytes(out);
        ASSERT_GT(installer.size(), marker);
        EXPECT_TRUE(std::equal(stub.begin(), stub.begin() + marker, installer.begin())) << "not " << language.stubName;
        ASSERT_EQ(Scrpack("list --json " + out), 0) << Log();
        EXPECT_NE(Log().find(std::string("\"language\": \"") + language.code + "\""), std::string::npos) << Log();
        ASSERT_EQ(Scrpack("list " + out), 0) << Log();
        EXPECT_NE(Log().find(std::string("Language:       ") + language.name + " (" + language.code + ")"),
                  std::string::npos)
            << Log();
    }
    std::vector<uint8_t> foreign = pe::ReadFileBytes(Path("Sonne-de.exe"));
    std::u16string line = u"Bitte warten...";
    std::vector<uint8_t> utf16;
    for (char16_t c : line) utf16.insert(utf16.end(), {uint8_t(c), uint8_t(c >> 8)});
    auto at = std::search(foreign.begin(), foreign.end(), utf16.begin(), utf16.end());
    ASSERT_NE(at, foreign.end());
    at[0] = 'b';  // one letter of one dialog text: no longer German
    pe::WriteFileBytes(Path("foreign.exe"), foreign);
    std::remove(Path("scrpack.log").c_str());
    ASSERT_EQ(Scrpack("list --json " + Path("foreign.exe")), 0) << Log();
    EXPECT_NE(Log().find("\"language\": null"), std::string::npos) << Log();
}

TEST_F(StubPack, AnUnknownLanguageListsTheLanguagesThereAre) {
    pe::WriteFileBytes(Path("saver.scr"), Text(500));
    pe::WriteFileBytes(Path("saver.dat"), Text(50));
    const std::string files = " --title T " + Path("saver.scr") + " " + Path("saver.dat");
    EXPECT_EQ(Scrpack("pack -o " + Path("a.exe") + " --language es" + files), 1);
    EXPECT_NE(Log().find("unknown language \"es\"; the languages are nl (Dutch), en (English), de (German), "
                         "fr (French)"),
              std::string::npos)
        << Log();
    EXPECT_EQ(Scrpack("pack -o " + Path("b.exe") + " --language de --stub " STUB_EXE_PATH + files), 1);
    EXPECT_NE(Log().find("--stub and --language exclude each other"), std::string::npos) << Log();
    EXPECT_FALSE(std::ifstream(Path("a.exe")).good() || std::ifstream(Path("b.exe")).good());
}

}  // namespace
