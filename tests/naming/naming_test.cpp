// Naming rules: where each entry of an installer is written, from the
// installer's own file name, and that no function writes past the buffer it
// is given, whatever its size.
#include "install/naming.h"
#include "package/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

TEST(Naming, NamesFromTheInstallersPath) {
    struct Case {
        const char* path;
        const char* saver;      // screen saver file name: cut at the first '.', upper-cased
        const char* candidate;  // the same with the path's case
        const char* base;       // base name: cut at the last '.', case kept
    } cases[] = {
        {"C:\\Temp\\Saver.exe", "SAVER.SCR", "Saver.SCR", "Saver"},
        {"C:\\x\\my.saver.exe", "MY.SCR", "my.SCR", "my.saver"},
        {"C:\\x\\noext", "NOEXT.SCR", "noext.SCR", "noext"},
        {"C:\\dir.d\\file", "FILE.SCR", "file.SCR", "file"},  // a '.' in a folder does not count
        {"relative.exe", "RELATIVE.SCR", "relative.SCR", "relative"},
        {"C:\\x\\\xE9t\xE9.exe", "\xE9T\xE9.SCR", "\xE9t\xE9.SCR", "\xE9t\xE9"},  // only a..z change
        {"C:\\x\\.hidden", ".SCR", ".SCR", ""},
        {"C:\\x\\trailing.", "TRAILING.SCR", "trailing.SCR", "trailing"},
    };
    for (const Case& c : cases) {
        char out[PATH_SIZE];
        ASSERT_EQ(MakeSaverFileName(c.path, out, sizeof out), 1) << c.path;
        EXPECT_STREQ(out, c.saver) << c.path;
        ASSERT_EQ(MakeSaverCandidate(c.path, out, sizeof out), 1) << c.path;
        EXPECT_STREQ(out, c.candidate) << c.path;
        ASSERT_EQ(MakeBaseName(c.path, out, sizeof out), 1) << c.path;
        EXPECT_STREQ(out, c.base) << c.path;
    }
}

TEST(Naming, FileNumbersHaveAtLeastFourDigits) {
    struct Case {
        uint32_t number;
        const char* text;
    } cases[] = {{0, "0000"},      {1, "0001"},      {13, "0013"},     {999, "0999"},    {9999, "9999"},
                 {10000, "10000"}, {12345, "12345"}, {65535, "65535"}, {65536, "65536"}, {0xFFFFFFFFu, "4294967295"}};
    for (const Case& c : cases) {
        char out[12];
        std::memset(out, 'x', sizeof out);
        FormatFileNumber(c.number, out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(Naming, DestinationsOfTheEntries) {
    struct Case {
        int index;
        uint16_t first;
        std::string extensionField;  // the raw 4-byte field
        const char* expected;
    } cases[] = {
        {0, 13, ".TMP", "SAVER.SCR"},
        {1, 13, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\Saver.DAT"},
        {2, 13, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\FILE0013.TMP"},
        {3, 13, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\FILE0014.TMP"},
        {2, 65535, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\FILE65535.TMP"},
        {3, 65535, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\FILE65536.TMP"},
        {2, 0, ".TMP", "TORVANEL\\KAVRELIN\\Saver\\FILE0000.TMP"},
        {2, 13, std::string(".T\0X", 4), "TORVANEL\\KAVRELIN\\Saver\\FILE0013.T"},
        {2, 13, std::string("\0\0\0\0", 4), "TORVANEL\\KAVRELIN\\Saver\\FILE0013"},
    };
    for (const Case& c : cases) {
        uint8_t raw[ENTRY_SIZE] = {};
        std::memcpy(raw + ENTRY_EXTENSION, c.extensionField.data(), ENTRY_EXTENSION_SIZE);
        CatalogueEntry entry;
        ParseEntry(raw, &entry);
        char out[PATH_SIZE];
        ASSERT_EQ(MakeEntryRelativePath(c.index, c.first, entry.extension, "SAVER.SCR", "Saver", out, sizeof out), 1);
        EXPECT_STREQ(out, c.expected) << "index " << c.index << ", first number " << c.first;
    }
}

TEST(Naming, WorkedExampleForMySaver) {
    char saver[PATH_SIZE], base[PATH_SIZE], out[PATH_SIZE];
    ASSERT_TRUE(MakeSaverFileName("C:\\Temp\\my.saver.exe", saver, sizeof saver));
    ASSERT_TRUE(MakeBaseName("C:\\Temp\\my.saver.exe", base, sizeof base));
    ASSERT_TRUE(MakeEntryRelativePath(1, 1, "", saver, base, out, sizeof out));
    EXPECT_STREQ(out, "TORVANEL\\KAVRELIN\\my.saver\\my.saver.DAT");
    ASSERT_TRUE(MakeEntryRelativePath(0, 1, "", saver, base, out, sizeof out));
    EXPECT_STREQ(out, "MY.SCR");
}

TEST(Naming, JoinPathAddsOneBackslashOnlyWhenMissing) {
    struct Case {
        const char *dir, *name, *expected;
    } cases[] = {
        {"C:\\", "SAVER.SCR", "C:\\SAVER.SCR"},
        {"C:\\Windows", "SAVER.SCR", "C:\\Windows\\SAVER.SCR"},
        {"C:\\Windows\\", "SAVER.SCR", "C:\\Windows\\SAVER.SCR"},
        {"", "SAVER.SCR", "\\SAVER.SCR"},
    };
    for (const Case& c : cases) {
        char out[PATH_SIZE];
        ASSERT_EQ(JoinPath(out, sizeof out, c.dir, c.name), 1);
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(Naming, UpperCasingChangesOnlyAsciiLetters) {
    char text[] = "abc`{z\xE9\xFFMixed09";
    UpperCaseAscii(text);
    EXPECT_STREQ(text, "ABC`{Z\xE9\xFFMIXED09");
    EXPECT_STREQ(LastComponent("C:\\a\\b.exe"), "b.exe");
    EXPECT_STREQ(LastComponent("b.exe"), "b.exe");
    EXPECT_STREQ(LastComponent("C:\\a\\"), "");
}

// Every builder at every buffer size from 0 to what it needs: it succeeds
// exactly when the result fits with its NUL, never writes past `size`, and
// leaves an empty text when it fails.
TEST(Naming, ABufferTooSmallGivesZeroWithoutOverrun) {
    using Builder = std::function<int(char*, size_t)>;
    struct Case {
        const char* what;
        Builder build;
    } cases[] = {
        {"JoinPath", [](char* o, size_t n) { return JoinPath(o, n, "C:\\Windows", "SAVER.SCR"); }},
        {"JoinPath root", [](char* o, size_t n) { return JoinPath(o, n, "C:\\", "SAVER.SCR"); }},
        {"MakeSaverFileName", [](char* o, size_t n) { return MakeSaverFileName("C:\\t\\my.saver.exe", o, n); }},
        {"MakeSaverCandidate", [](char* o, size_t n) { return MakeSaverCandidate("C:\\t\\My.exe", o, n); }},
        {"MakeBaseName", [](char* o, size_t n) { return MakeBaseName("C:\\t\\my.saver.exe", o, n); }},
        {"MakeDataFolder", [](char* o, size_t n) { return MakeDataFolder("Saver", o, n); }},
        {"entry 0", [](char* o, size_t n) { return MakeEntryRelativePath(0, 13, ".TMP", "SAVER.SCR", "Saver", o, n); }},
        {"entry 1", [](char* o, size_t n) { return MakeEntryRelativePath(1, 13, ".TMP", "SAVER.SCR", "Saver", o, n); }},
        {"entry 2", [](char* o, size_t n) { return MakeEntryRelativePath(2, 13, ".TMP", "SAVER.SCR", "Saver", o, n); }},
    };
    for (const Case& c : cases) {
        char big[PATH_SIZE + 16];
        ASSERT_EQ(c.build(big, sizeof big), 1) << c.what;
        const size_t needed = std::strlen(big) + 1;
        for (size_t size = 0; size <= needed; size++) {
            char buffer[PATH_SIZE + 16];
            std::memset(buffer, '#', sizeof buffer);  // canary everywhere past `size`
            int ok = c.build(buffer, size);
            EXPECT_EQ(ok, size == needed ? 1 : 0) << c.what << " with " << size << " bytes";
            for (size_t i = size; i < sizeof buffer; i++)
                ASSERT_EQ(buffer[i], '#') << c.what << ": byte " << i << " written with a buffer of " << size;
            if (ok) {
                EXPECT_STREQ(buffer, big) << c.what;
            } else if (size > 0) {
                EXPECT_EQ(buffer[0], 0) << c.what << " with " << size << " bytes";
            }
        }
    }
}

TEST(Naming, AppendTextLeavesTheTextWhenItDoesNotFit) {
    char out[8] = "abc";
    EXPECT_EQ(AppendText(out, sizeof out, "defgh"), 0);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(AppendText(out, sizeof out, "defg"), 1);
    EXPECT_STREQ(out, "abcdefg");
}

}  // namespace
