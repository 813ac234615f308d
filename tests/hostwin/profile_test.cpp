// WritePrivateProfileStringA on a real file: one line changes, every other
// byte stays, new lines end in CR LF, a bare name lies in the Windows
// directory.
#include "scratch.h"

using namespace hostwin;

namespace {

struct IniCase {
    const char* name;
    const char* before;  // nullptr: no file yet
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

const IniCase kCases[] = {
    {"replace keeps every other line",
     "; comment\r\n[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=C:\\OLD.SCR\r\nfonts.fon=x \r\n\r\n"
     "[386Enh]\n  woafont=dosapp.fon\n",
     "boot", "SCRNSAVE.EXE", "C:\\NEW.SCR",
     "; comment\r\n[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=C:\\NEW.SCR\r\nfonts.fon=x \r\n\r\n"
     "[386Enh]\n  woafont=dosapp.fon\n"},
    {"names match without case and blanks; the file's spelling stays", "[ Boot ]\nscrnsave.exe = old\n", "BOOT",
     "SCRNSAVE.EXE", "v", "[ Boot ]\nscrnsave.exe=v\n"},
    {"replaced last line keeps having no end", "[boot]\nSCRNSAVE.EXE=old", "boot", "SCRNSAVE.EXE", "v",
     "[boot]\nSCRNSAVE.EXE=v"},
    {"new key after the section's last line, before the blank", "[boot]\r\nshell=x\r\n\r\n[drivers]\r\nwave=y\r\n",
     "boot", "SCRNSAVE.EXE", "v", "[boot]\r\nshell=x\r\nSCRNSAVE.EXE=v\r\n\r\n[drivers]\r\nwave=y\r\n"},
    {"new key after a last line without end", "[boot]\nshell=x", "boot", "SCRNSAVE.EXE", "v",
     "[boot]\nshell=x\r\nSCRNSAVE.EXE=v\r\n"},
    {"new key in an empty section", "[boot]\n[x]\n", "boot", "K", "v", "[boot]\nK=v\r\n[x]\n"},
    {"a longer key name is another key", "[boot]\r\nSCRNSAVE.EXE2=a\r\n", "boot", "SCRNSAVE.EXE", "v",
     "[boot]\r\nSCRNSAVE.EXE2=a\r\nSCRNSAVE.EXE=v\r\n"},
    {"the key in another section does not count", "[other]\r\nSCRNSAVE.EXE=z\r\n", "boot", "SCRNSAVE.EXE", "v",
     "[other]\r\nSCRNSAVE.EXE=z\r\n[boot]\r\nSCRNSAVE.EXE=v\r\n"},
    {"new section at the end", "[drivers]\nwave=y\n", "boot", "SCRNSAVE.EXE", "v",
     "[drivers]\nwave=y\n[boot]\r\nSCRNSAVE.EXE=v\r\n"},
    {"new section after a last line without end", "[drivers]\nwave=y", "boot", "K", "v",
     "[drivers]\nwave=y\r\n[boot]\r\nK=v\r\n"},
    {"no file yet", nullptr, "boot", "SCRNSAVE.EXE", "C:\\WINDOWS\\SUNSET.SCR",
     "[boot]\r\nSCRNSAVE.EXE=C:\\WINDOWS\\SUNSET.SCR\r\n"},
    {"only the first of two equal sections", "[boot]\r\nk=1\r\n[boot]\r\nk=2\r\n", "boot", "k", "3",
     "[boot]\r\nk=3\r\n[boot]\r\nk=2\r\n"},
    {"other bytes are not touched", "[x]\r\na=\xEF\xFF\r\n\x01\r\n[boot]\r\nk=1\r\n", "boot", "k", "\xEF",
     "[x]\r\na=\xEF\xFF\r\n\x01\r\n[boot]\r\nk=\xEF\r\n"},
    {"NULL value removes the key", "[boot]\r\na=1\r\nk=2\r\nb=3\r\n", "boot", "K", nullptr, "[boot]\r\na=1\r\nb=3\r\n"},
    {"NULL key removes the section", "[a]\r\nx=1\r\n[boot]\r\nk=2\r\n[c]\r\n", "boot", nullptr, nullptr,
     "[a]\r\nx=1\r\n[c]\r\n"},
};

}  // namespace

class Profile : public Scratch {};

TEST_F(Profile, UpdatesOneLineAndKeepsTheRest) {
    for (const IniCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string path = root() + "/Windows/system.ini";
        std::filesystem::create_directories(root() + "/Windows");
        std::filesystem::remove(path);
        if (c.before) Put(path, c.before);
        SetWindowsDirectory("C:\\Windows");
        EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, "system.ini"));
        EXPECT_EQ(Get(path), c.after);
    }
}

TEST_F(Profile, BareNameFindsTheExistingFileWhateverItsCase) {
    Put(root() + "/WINDOWS/SYSTEM.INI", "[boot]\r\nSCRNSAVE.EXE=old\r\n");
    SetWindowsDirectory("C:\\windows\\");
    ASSERT_TRUE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "C:\\X.SCR", "system.ini"));
    EXPECT_EQ(Get(root() + "/WINDOWS/SYSTEM.INI"), "[boot]\r\nSCRNSAVE.EXE=C:\\X.SCR\r\n");
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(root() + "/WINDOWS"), std::filesystem::directory_iterator()),
        1);  // no second file, no temporary left
    ASSERT_EQ(Record().profileWrites.size(), 1u);
    EXPECT_EQ(Record().profileWrites[0].file, "system.ini");
    EXPECT_EQ(Record().profileWrites[0].value, "C:\\X.SCR");
    EXPECT_EQ(Record().events, std::vector<std::string>{"WritePrivateProfileStringA boot SCRNSAVE.EXE=C:\\X.SCR"});
}

TEST_F(Profile, FailsWithoutWindowsDirectoryOrWritableFolder) {
    EXPECT_FALSE(WritePrivateProfileStringA("boot", "k", "v", "system.ini"));  // no Windows directory
    SetWindowsDirectory("C:\\Missing");
    EXPECT_FALSE(WritePrivateProfileStringA("boot", "k", "v", "system.ini"));  // folder missing
    EXPECT_FALSE(Exists(root() + "/Missing"));
    EXPECT_EQ(Record().profileWrites.size(), 2u);  // recorded all the same
}

TEST_F(Profile, FullPathIsUsedAsGiven) {
    std::filesystem::create_directories(root() + "/Other");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "C:\\other\\my.ini"));
    EXPECT_EQ(Get(root() + "/Other/my.ini"), "[s]\r\nk=v\r\n");
}
