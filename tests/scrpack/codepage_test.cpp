// Windows-1252 <-> UTF-8 for titles and extensions.
#include "tools/authoring/codepage.h"

#include <gtest/gtest.h>

namespace {

TEST(Codepage, ConvertsWhatTheCodePageHas) {
    struct Case {
        const char* what;
        std::string utf8, cp1252;
    } cases[] = {
        {"ASCII", "Sunset 123", "Sunset 123"},
        {"e acute", "Zonsondergang \xC3\xA9", "Zonsondergang \xE9"},
        {"euro sign (0x80)", "\xE2\x82\xAC", "\x80"},
        {"S caron (0x8A)", "\xC5\xA0", "\x8A"},
        {"Y diaeresis (0x9F)", "\xC5\xB8", "\x9F"},
        {"undefined 0x81 as its C1 control", "\xC2\x81", "\x81"},
        {"y diaeresis (0xFF)", "\xC3\xBF", "\xFF"},
        {"no-break space (0xA0)", "\xC2\xA0", "\xA0"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        std::string out, problem;
        ASSERT_TRUE(authoring::Utf8ToCp1252(c.utf8, &out, &problem)) << c.what << ": " << problem;
        EXPECT_EQ(out, c.cp1252) << c.what;
        EXPECT_EQ(authoring::Cp1252ToUtf8(c.cp1252), c.utf8) << c.what;
    }
}

TEST(Codepage, RefusesWhatItDoesNotHaveAndSaysWhere) {
    struct Case {
        const char* what;
        std::string utf8;
        std::string where;  // expected in the message
    } cases[] = {
        {"CJK", "Zon \xE6\x97\xA5", "U+65E5"},
        {"emoji", "a\xF0\x9F\x98\x80", "U+1F600"},
        {"C1 control that 0x80 does not stand for", "\xC2\x80", "U+0080"},
        {"Latin Extended-A letter the page lacks", "\xC4\x81", "U+0101"},
        {"truncated sequence", "ab\xC3", "byte 2"},
        {"overlong slash", "\xC0\xAF", "byte 0"},
        {"surrogate", "\xED\xA0\x80", "byte 0"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "byte 0"},
        {"stray continuation byte", "x\x80", "byte 1"},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged", problem;
        EXPECT_FALSE(authoring::Utf8ToCp1252(c.utf8, &out, &problem)) << c.what;
        EXPECT_EQ(out, "unchanged") << c.what;
        EXPECT_NE(problem.find(c.where), std::string::npos) << c.what << ": " << problem;
    }
}

TEST(Codepage, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; b++) all += (char)b;
    std::string back, problem;
    ASSERT_TRUE(authoring::Utf8ToCp1252(authoring::Cp1252ToUtf8(all), &back, &problem)) << problem;
    EXPECT_EQ(back, all);
}

}  // namespace
