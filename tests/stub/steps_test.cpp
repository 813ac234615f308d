// The installation steps on their own: the order info dialog and the
// centring rule through the layer's dialogs, the thousands formatter, the
// bounded text formatter and the free space query.
#include "install/install.h"
#include "platform/hostwin/hostwin.h"
#include "res/resource.h"
#include "install/program.h"
#include "res/texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

INT_PTR RunOrderDialog() {
    return DialogBoxParamA((HINSTANCE)0x400000, MAKEINTRESOURCEA(IDD_ORDER_INFO), nullptr, OrderDialogProc, 0);
}

TEST(OrderDialog, EndsOnlyOnOkOrCancel) {
    struct Case {
        std::vector<WPARAM> ignored;  // commands that must leave it open
        UINT endMessage;
        WPARAM endParam;
        INT_PTR result;
    } cases[] = {
        {{0, 3, 0x10001, 0x20002, 0x10000}, WM_COMMAND, IDOK, IDOK},
        {{0, 3, 0x10001}, WM_COMMAND, IDCANCEL, IDCANCEL},
        {{}, WM_CLOSE, 0, IDCANCEL},  // the close box: the system's IDCANCEL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.endParam);
        hostwin::Reset();
        for (WPARAM w : c.ignored) hostwin::QueueDialogAction(IDD_ORDER_INFO, WM_COMMAND, w, 0);
        hostwin::QueueDialogAction(IDD_ORDER_INFO, c.endMessage, c.endParam, 0x1234);
        EXPECT_EQ(RunOrderDialog(), c.result);
        EXPECT_TRUE(hostwin::Record().stalls.empty());
        EXPECT_EQ(hostwin::EventsOf({"EndDialog"}),
                  std::vector<std::string>{"EndDialog 104 " + std::to_string(c.result)});
    }
}

TEST(OrderDialog, AnIgnoredCommandAloneLeavesItWaiting) {
    hostwin::Reset();
    hostwin::QueueDialogAction(IDD_ORDER_INFO, WM_COMMAND, 0x10001, 0);
    RunOrderDialog();
    EXPECT_FALSE(hostwin::Record().stalls.empty()) << "the dialog should still have been open";
    EXPECT_TRUE(hostwin::EventsOf({"EndDialog"}).empty());
}

TEST(Centring, HalvesTruncateTowardZero) {
    struct Case {
        int screen, size, at;
    } cases[] = {
        {640, 301, 170}, {640, 300, 170}, {640, 302, 169}, {641, 301, 170},
        {640, 640, 0},   {640, 641, 0},   {640, 643, -1},  {100, 301, -100},
    };
    for (const Case& c : cases) EXPECT_EQ(CentredPosition(c.screen, c.size), c.at) << c.screen << " " << c.size;
}

TEST(Centring, BothDialogsMoveToTheMiddleKeepingTheirSize) {
    struct Case {
        int templateId;
        int screenWidth, screenHeight;
        int widthUnits, heightUnits;  // with base units 4 x 8: pixels = units, plus a 3-pixel frame
        int x, y;
    } cases[] = {
        {IDD_ORDER_INFO, 640, 480, 295, 100, 170, 187},  // 301 x 106 (no title bar defined)
        {IDD_INSTALL, 640, 480, 295, 100, 170, 187},
        {IDD_ORDER_INFO, 640, 480, 1000, 700, -183, -113},  // larger than the screen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templateId);
        hostwin::Reset();
        ResetInstaller();
        gInstaller.extraction = EXTRACTION_FAILED;  // its own start command then only ends it
        hostwin::SetScreenSize(c.screenWidth, c.screenHeight);
        hostwin::SetDialogBaseUnits(4, 8);
        hostwin::DefineDialogTemplate({c.templateId, c.widthUnits, c.heightUnits, false, {{IDOK, 0, 0, 10, 10}}});
        if (c.templateId == IDD_ORDER_INFO) hostwin::QueueDialogAction(c.templateId, WM_COMMAND, IDOK, 0);
        DLGPROC proc = c.templateId == IDD_INSTALL ? InstallDialogProc : OrderDialogProc;
        DialogBoxParamA((HINSTANCE)0x400000, MAKEINTRESOURCEA(c.templateId), nullptr, proc, 0);
        ASSERT_EQ(hostwin::Record().dialogs.size(), 1u);
        RECT r = hostwin::Record().dialogs[0].rect;
        EXPECT_EQ(r.left, c.x);
        EXPECT_EQ(r.top, c.y);
        EXPECT_EQ(r.right - r.left, c.widthUnits + 6);
        EXPECT_EQ(r.bottom - r.top, c.heightUnits + 6);
    }
}

TEST(Thousands, GroupsOfThreeFromTheRight) {
    struct Case {
        uint32_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {123, "123"},
        {999, "999"},
        {1000, "1,000"},
        {1234, "1,234"},
        {99999, "99,999"},
        {123456, "123,456"},
        {999999, "999,999"},
        {1000000, "1,000,000"},
        {1234567, "1,234,567"},
        {2147483647, "2,147,483,647"},
        {2147483648u, "2,147,483,648"},
        {4294967295u, "4,294,967,295"},
    };
    for (const Case& c : cases) {
        char out[THOUSANDS_SIZE + 1];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(FormatThousands(c.value, out, THOUSANDS_SIZE), out);
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(out[THOUSANDS_SIZE], 'Z');
    }
}

TEST(Thousands, ABufferTooSmallGetsTheLeadingPartAndNoMore) {
    struct Case {
        size_t size;
        const char* text;
    } cases[] = {{14, "4,294,967,295"}, {13, "4,294,967,29"}, {6, "4,294"}, {2, "4"}, {1, ""}};
    for (const Case& c : cases) {
        char out[20];
        std::memset(out, 'Z', sizeof out);
        FormatThousands(4294967295u, out, c.size);
        EXPECT_STREQ(out, c.text);
        for (size_t i = c.size; i < sizeof out; i++) EXPECT_EQ(out[i], 'Z') << c.size;
    }
}

TEST(FormatText, FillsPlaceholdersAndNeverWritesPastItsBuffer) {
    struct Case {
        size_t size;
        const char* expected;
        int whole;
    } cases[] = {
        {64, "a<one>b<>c%d", 1}, {13, "a<one>b<>c%d", 1},  // exactly: 12 characters and the NUL
        {12, "a<one>b<>c%", 0},  {4, "a<o", 0},           {1, "", 0},
    };
    for (const Case& c : cases) {
        char out[80];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(FormatText(out, c.size, "a<%s>b<%s>c%d", "one", (const char*)nullptr), c.whole) << c.size;
        EXPECT_STREQ(out, c.expected);
        for (size_t i = c.size; i < sizeof out; i++) ASSERT_EQ(out[i], 'Z') << c.size;
    }
}

TEST(FormatText, TheLongestRealMessagesFitWhole) {
    // 32-character title, 259-character paths, the longest numbers.
    std::string title(32, 'T'), path(259, 'P'), number = "4,294,967,295";
    char out[MESSAGE_SIZE];
    EXPECT_EQ(FormatText(out, sizeof out, TEXT_CONFIRM, path.c_str(), title.c_str(), path.c_str(), number.c_str()), 1);
    EXPECT_EQ(FormatText(out, sizeof out, TEXT_COMPLETE, path.c_str(), path.c_str()), 1);
    EXPECT_EQ(FormatText(out, sizeof out, TEXT_FAILED, std::string(WIDE_PATH_SIZE - 1, 'W').c_str()), 0)
        << "only a path of the full wide size does not fit";
    EXPECT_EQ(FormatText(out, sizeof out, TEXT_FAILED, std::string(801, 'W').c_str()), 1);
    char caption[CAPTION_SIZE];
    EXPECT_EQ(FormatText(caption, sizeof caption, TEXT_INSTALLER_CAPTION, title.c_str()), 1);
}

TEST(FreeSpace, PrefersTheExtendedQueryFallsBackAndReleasesTheLibrary) {
    const uint64_t bytes = 123456789ull * 1024 + 1000;
    struct Case {
        const char* what;
        void (*faults)(hostwin::Faults&);
        uint32_t kilobytes;
        int loads;
    } cases[] = {
        {"extended", [](hostwin::Faults&) {}, 123456789, 1},
        {"extended missing", [](hostwin::Faults& f) { f.noDiskFreeSpaceEx = true; }, 123456789, 1},
        {"extended fails", [](hostwin::Faults& f) { f.failDiskFreeSpaceEx = true; }, 123456789, 1},
        {"no library", [](hostwin::Faults& f) { f.noKernel32 = true; }, 123456789, 0},
        {"both fail",
         [](hostwin::Faults& f) {
             f.failDiskFreeSpaceEx = true;
             f.failDiskFreeSpace = true;
         },
         0xFFFFFFFFu, 1},
    };
    char tmpl[] = "/tmp/freespace-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string folder = std::string(tmpl) + "/A folder with a rather long name";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hostwin::Reset();
        hostwin::MapDrive('C', tmpl);
        hostwin::SetFreeBytes(bytes);
        c.faults(hostwin::FaultSwitches());
        // A Windows directory far longer than 32 characters still gives its root.
        EXPECT_EQ(QueryFreeKilobytes("C:\\A folder with a rather long name\\Windows"), c.kilobytes);
        EXPECT_EQ(hostwin::Record().libraryLoads, c.loads);
        EXPECT_EQ(hostwin::Record().libraryFrees, c.loads);
        EXPECT_TRUE(hostwin::Record().misuse.empty());
    }
    rmdir(folder.c_str());
    rmdir(tmpl);
}

TEST(FreeSpace, KilobytesBeyondThirtyTwoBitsCountAsPlenty) {
    struct Case {
        uint64_t bytes;
        uint32_t kilobytes;
    } cases[] = {
        {0xFFFFFFFEull * 1024, 0xFFFFFFFEu},
        {0xFFFFFFFFull * 1024, 0xFFFFFFFFu},
        {0x100000000ull * 1024, 0xFFFFFFFFu},
        {(0x100000000ull + 5) * 1024, 0xFFFFFFFFu},  // not 5
    };
    char tmpl[] = "/tmp/freespace-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    for (const Case& c : cases) {
        for (bool classic : {false, true}) {
            hostwin::Reset();
            hostwin::MapDrive('C', tmpl);
            hostwin::SetFreeBytes(c.bytes);
            hostwin::FaultSwitches().noDiskFreeSpaceEx = classic;
            EXPECT_EQ(QueryFreeKilobytes("C:\\Windows"), c.kilobytes) << c.bytes << " classic " << classic;
        }
    }
    rmdir(tmpl);
}

}  // namespace
