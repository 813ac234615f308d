// The whole installer run natively, WinMain to exit code, on a fake machine:
// every message box in order, every file written, system.ini, the screen
// saver switch and the start of the screen saver.
#include "tests/support/installer_fixture.h"

#include "platform/hostwin/hostwin.h"
#include "res/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using stubtest::Box;
using stubtest::Boxes;
using stubtest::Fill;
using stubtest::InstallerFixture;

namespace {

std::string Caption(const std::string& title) {
    return Fill(TEXT_INSTALLER_CAPTION, {title});
}

std::string Thousands(uint64_t v) {
    std::string digits = std::to_string(v), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return s;
}

Box Confirmation(const InstallerFixture& f, const std::string& shownTitle) {
    return {Fill(TEXT_CONFIRM,
                 {f.SaverFileName(), shownTitle, UpperAscii(f.windowsDir), Thousands(f.package().totalInstalled)}),
            Caption(shownTitle), 0x41};
}

Box Completion(const InstallerFixture& f, const std::string& shownTitle) {
    std::string dir = f.windowsDir.back() == '\\' ? f.windowsDir : f.windowsDir + "\\";
    return {Fill(TEXT_COMPLETE, {dir, "\\" + UpperAscii(f.BaseName())}), Caption(shownTitle), 0x30};
}

// Everything a complete install leaves: each entry at its destination, byte
// for byte, and no other file but the installer and system.ini.
void ExpectInstalled(const InstallerFixture& f) {
    std::vector<std::string> expected = {f.installerPath};
    for (size_t i = 0; i < f.files.size(); i++) {
        EXPECT_EQ(f.Read(f.Destination(i)), f.files[i].bytes) << f.Destination(i);
        expected.push_back(f.Destination(i));
    }
    std::string dir = f.windowsDir.back() == '\\' ? f.windowsDir : f.windowsDir + "\\";
    expected.push_back(dir + "system.ini");
    EXPECT_EQ(stubtest::Folded(f.AllFiles()), stubtest::Folded(expected));

    std::string saverPath = dir + f.SaverFileName();
    std::vector<uint8_t> iniBytes = f.Read(dir + "system.ini");
    std::string ini(iniBytes.begin(), iniBytes.end());
    EXPECT_EQ(ini, "[boot]\r\nSCRNSAVE.EXE=" + saverPath + "\r\n");
    const auto& r = hostwin::Record();
    ASSERT_EQ(r.spiCalls.size(), 1u);
    EXPECT_EQ(r.spiCalls[0].action, 17u);
    EXPECT_EQ(r.spiCalls[0].param, 1u);
    EXPECT_EQ(r.spiCalls[0].flags, 1u);
}

// Nothing of an install: no dialog, no file, no setting, nothing started.
void ExpectNothingInstalled(const InstallerFixture& f) {
    const auto& r = hostwin::Record();
    EXPECT_TRUE(r.dialogs.empty());
    EXPECT_TRUE(r.profileWrites.empty());
    EXPECT_TRUE(r.spiCalls.empty());
    EXPECT_TRUE(r.execs.empty());
    EXPECT_EQ(hostwin::Count().creates, 0);
    EXPECT_FALSE(f.Exists(f.Destination(0)));
    EXPECT_FALSE(f.Exists(f.windowsDir + "\\TORVANEL"));
}

TEST(Sequence, ConfirmedInstallWritesEverythingReportsAndStartsTheSaver) {
    InstallerFixture f;
    f.title = "Sunset   ";  // trailing blanks are not shown
    f.UseStandardFiles();
    const auto& pkg = f.Build();
    ASSERT_NE(pkg.entries[0].originalSize, 0u) << "the screen saver should be compressed";
    ASSERT_EQ(pkg.entries[1].originalSize, 0u) << "the data file should be stored";
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(f.Run(), 0);

    EXPECT_EQ(Boxes(), (std::vector<Box>{Confirmation(f, "Sunset"), Completion(f, "Sunset")}));
    ExpectInstalled(f);
    const auto& r = hostwin::Record();
    ASSERT_EQ(r.dialogs.size(), 2u);
    EXPECT_EQ(r.dialogs[0].templateId, 103);
    EXPECT_EQ(r.dialogs[0].windowText, Caption("Sunset"));
    EXPECT_EQ(r.dialogs[0].item1001, Fill(TEXT_INSTALL_ITEM, {"Sunset"}));
    EXPECT_EQ(r.dialogs[0].result, IDOK);
    EXPECT_EQ(r.dialogs[1].templateId, 104);
    EXPECT_EQ(r.dialogs[1].result, IDOK);
    ASSERT_EQ(r.execs.size(), 1u);
    EXPECT_EQ(r.execs[0].commandLine, "SUNSET.SCR");
    EXPECT_EQ(r.execs[0].show, 5u);
    EXPECT_EQ(r.execs[0].result, 33u) << "the layer finds the installed screen saver";
    // In this order, the wait cursor around the install dialog only, the
    // install dialog started by its own posted command naming hidden OK.
    EXPECT_EQ(hostwin::EventsOf({"MessageBoxA", "SetCursor", "DialogBoxParamA", "PostMessageA", "RedrawWindow",
                                 "WinExec", "PostQuitMessage", "GetMessageA"}),
              (std::vector<std::string>{
                  "MessageBoxA caption=" + Caption("Sunset") + " style=0x41 -> 1",
                  "SetCursor IDC_WAIT",
                  "DialogBoxParamA 103",
                  "PostMessageA 103 WM_COMMAND 1 103.1",
                  "RedrawWindow 103 384",
                  "DialogBoxParamA 103 -> 1",
                  "SetCursor IDC_ARROW",
                  "MessageBoxA caption=" + Caption("Sunset") + " style=0x30 -> 1",
                  "DialogBoxParamA 104",
                  "DialogBoxParamA 104 -> 1",
                  "WinExec SUNSET.SCR 5",
                  "PostQuitMessage 0",
                  "GetMessageA -> WM_QUIT 0",
              }));
    // The please-wait text is painted before the first file is written.
    const std::vector<std::string>& events = r.events;
    auto painted = std::find(events.begin(), events.end(), "RedrawWindow 103 384");
    auto firstWrite =
        std::find_if(events.begin(), events.end(), [](const std::string& e) { return e.rfind("_lcreat", 0) == 0; });
    EXPECT_LT(painted - events.begin(), firstWrite - events.begin());
    f.ExpectCleanEnd();
}

TEST(Sequence, CancelledConfirmationEndsWithNothingWritten) {
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    hostwin::QueueMessageBoxAnswer(IDCANCEL);  // Cancel, Escape and the close box alike
    EXPECT_EQ(f.Run(), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Confirmation(f, "Sunset")});
    ExpectNothingInstalled(f);
    EXPECT_EQ(f.AllFiles(), std::vector<std::string>{f.installerPath});
    f.ExpectCleanEnd();
}

TEST(Sequence, ExistingScreenSaverIsReplacedOnYesAndKeptOnNo) {
    struct Case {
        const char* installer;  // installer file name
        const char* existing;   // what is already in the Windows directory
        const char* asked;      // the name the question gives
        const char* advice;     // the name the rename advice gives
    } cases[] = {
        {"sunset.exe", "SUNSET.SCR", "sunset.SCR", "sunset.EXE"},
        {"Saver.exe", "saver.scr", "Saver.SCR", "Saver.EXE"},
        {"my.saver.exe", "MY.SCR", "my.SCR", "my.saver.EXE"},  // the file the install would write
    };
    for (const Case& c : cases) {
        for (int answer : {(int)IDYES, (int)IDNO}) {
            SCOPED_TRACE(std::string(c.installer) + (answer == IDYES ? " yes" : " no"));
            InstallerFixture f;
            f.installerPath = std::string("C:\\Downloads\\") + c.installer;
            f.UseStandardFiles();
            f.Build();
            std::vector<uint8_t> old = NoiseBytes(300, 9);
            f.Write(f.windowsDir + "\\" + c.existing, old);
            hostwin::QueueMessageBoxAnswer(answer);
            hostwin::QueueMessageBoxAnswer(IDOK);
            hostwin::QueueMessageBoxAnswer(IDOK);
            hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);

            EXPECT_EQ(f.Run(), 0);

            Box question{Fill(TEXT_REPLACE, {c.asked}), TEXT_REPLACE_CAPTION, 0x24};
            if (answer == IDYES) {
                EXPECT_EQ(Boxes(), (std::vector<Box>{question, Confirmation(f, "Sunset"), Completion(f, "Sunset")}));
                EXPECT_EQ(f.Read(f.windowsDir + "\\" + c.existing), f.files[0].bytes);
            } else {
                Box advice{Fill(TEXT_RENAME, {c.advice}), TEXT_RENAME_CAPTION, 0x40};
                EXPECT_EQ(Boxes(), (std::vector<Box>{question, advice}));
                EXPECT_EQ(f.Read(f.windowsDir + "\\" + c.existing), old);
                EXPECT_TRUE(hostwin::Record().dialogs.empty());
                EXPECT_EQ(hostwin::Count().creates, 0);
            }
            f.ExpectCleanEnd();
        }
    }
}

TEST(Sequence, AFolderOfTheScreenSaversNameCountsAsExisting) {
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    f.MakeFolder(f.windowsDir + "\\SUNSET.SCR");
    hostwin::QueueMessageBoxAnswer(IDNO);
    hostwin::QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(f.Run(), 0);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].caption, TEXT_REPLACE_CAPTION);
    f.ExpectCleanEnd();
}

TEST(Sequence, DiskShortageAsksAndTheAnswerDecides) {
    // Needed kilobytes: the total installed size / 1024. The message shows
    // when the free kilobytes are not above it.
    struct Case {
        int64_t freeDelta;  // free kilobytes minus needed kilobytes
        int answer;         // 0: no question expected
        bool installs;
    } cases[] = {
        {-1, IDOK, true}, {0, IDOK, true}, {0, IDCANCEL, false}, {-5, IDCANCEL, false}, {1, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.freeDelta) + " " + std::to_string(c.answer));
        InstallerFixture f;
        f.UseStandardFiles();
        const auto& pkg = f.Build();
        uint64_t needed = pkg.totalInstalled >> 10;
        uint64_t freeKb = needed + c.freeDelta;
        hostwin::SetFreeBytes(freeKb * 1024 + 1023);  // the odd bytes round down
        if (c.answer) hostwin::QueueMessageBoxAnswer(c.answer);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);

        EXPECT_EQ(f.Run(), 0);

        std::vector<Box> expected;
        if (c.answer)
            expected.push_back({Fill(TEXT_DISK, {Thousands(needed), Thousands(freeKb)}), TEXT_DISK_CAPTION, 0x41});
        if (c.installs) {
            expected.push_back(Confirmation(f, "Sunset"));
            expected.push_back(Completion(f, "Sunset"));
            ExpectInstalled(f);
        } else {
            ExpectNothingInstalled(f);
        }
        EXPECT_EQ(Boxes(), expected);
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, FreeSpaceBeyondThirtyTwoBitsOfKilobytesIsPlenty) {
    // 2^42 + 5 KB: its low 32 bits (5 KB) would look like a full disk.
    for (bool classicQuery : {false, true}) {
        SCOPED_TRACE(classicQuery);
        InstallerFixture f;
        f.UseStandardFiles();
        f.Build();
        hostwin::FaultSwitches().noDiskFreeSpaceEx = classicQuery;
        hostwin::SetFreeBytes(((1ull << 42) + 5) * 1024);
        hostwin::QueueMessageBoxAnswer(IDCANCEL);
        EXPECT_EQ(f.Run(), 0);
        EXPECT_EQ(Boxes(), std::vector<Box>{Confirmation(f, "Sunset")});
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, FileNumbersStartAtTheCataloguesFirstNumber) {
    struct Case {
        uint16_t first;
        const char* second;  // name of entry 2, entry 3
        const char* third;
    } cases[] = {{13, "FILE0013.TMP", "FILE0014.TMP"}, {65535, "FILE65535.TMP", "FILE65536.TMP"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        InstallerFixture f;
        f.firstNumber = c.first;
        f.files = {{"s", TextBytes(3000, 1), ""},
                   {"d", TextBytes(3000, 2), ""},
                   {"a", NoiseBytes(10, 3), ".TMP"},
                   {"b", TextBytes(9000, 4), ".TMP"}};
        f.Build();
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(f.Run(), 0);
        std::string folder = "C:\\Windows\\TORVANEL\\KAVRELIN\\sunset\\";
        EXPECT_EQ(f.Read(folder + c.second), f.files[2].bytes);
        EXPECT_EQ(f.Read(folder + c.third), f.files[3].bytes);
        ExpectInstalled(f);
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, StoredAndCompressedEntriesInAnyOrder) {
    // Compressed entries between stored ones: after each expansion the
    // catalogue is read on from the next entry.
    for (bool storeAll : {false, true}) {
        SCOPED_TRACE(storeAll);
        InstallerFixture f;
        f.storeAll = storeAll;
        f.files = {{"s", NoiseBytes(2048, 1), ""},     {"d", TextBytes(40000, 2), ""},
                   {"a", NoiseBytes(2049, 3), ".TMP"}, {"b", TextBytes(16384, 4), ".BIN"},
                   {"c", TextBytes(16385, 5), ".X"},   {"e", NoiseBytes(2047, 6), ".Y"}};
        const auto& pkg = f.Build();
        int compressed = 0;
        for (auto& e : pkg.entries) compressed += e.originalSize != 0;
        EXPECT_EQ(compressed, storeAll ? 0 : 3);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(f.Run(), 0);
        ExpectInstalled(f);
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, RootWindowsDirectoryGetsNoSecondBackslash) {
    InstallerFixture f;
    f.windowsDir = "C:\\";
    f.UseStandardFiles();
    f.Build();
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(f.Run(), 0);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_NE(Boxes()[0].text.find(" in C:\\ en maakt"), std::string::npos) << Boxes()[0];
    EXPECT_NE(Boxes()[1].text.find("map C:\\TORVANEL\\KAVRELIN\\SUNSET ge"), std::string::npos) << Boxes()[1];
    EXPECT_EQ(Boxes(), (std::vector<Box>{Confirmation(f, "Sunset"), Completion(f, "Sunset")}));
    EXPECT_EQ(f.Destination(1), "C:\\TORVANEL\\KAVRELIN\\sunset\\sunset.DAT");
    ExpectInstalled(f);
    f.ExpectCleanEnd();
}

TEST(Sequence, NamesFollowTheInstallersFileName) {
    struct Case {
        const char* installer;
        const char* saver;    // destination of entry 0
        const char* data;     // destination of entry 1
        const char* command;  // WinExec's command line
        const char* level;    // last folder level in the completion message
    } cases[] = {
        {"C:\\Downloads\\my.saver.exe", "C:\\WINDOWS\\MY.SCR",
         "C:\\Windows\\TORVANEL\\KAVRELIN\\my.saver\\my.saver.DAT", "MY.SCR", "\\MY.SAVER"},
        {"C:\\Downloads\\setup", "C:\\WINDOWS\\SETUP.SCR", "C:\\Windows\\TORVANEL\\KAVRELIN\\setup\\setup.DAT",
         "SETUP.SCR", "\\SETUP"},
        {"C:\\Down loads\\sunset (1).exe", "C:\\WINDOWS\\SUNSET (1).SCR",
         "C:\\Windows\\TORVANEL\\KAVRELIN\\sunset (1)\\sunset (1).DAT", "\"SUNSET (1).SCR\"", "\\SUNSET (1)"},
        {"C:\\Downloads\\Zon\xEFg.Exe", "C:\\WINDOWS\\ZON\xEFG.SCR",
         "C:\\Windows\\TORVANEL\\KAVRELIN\\Zon\xEFg\\Zon\xEFg.DAT", "ZON\xEFG.SCR", "\\ZON\xEFG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installer);
        InstallerFixture f;
        f.installerPath = c.installer;
        f.UseStandardFiles();
        f.Build();
        ASSERT_EQ(f.Destination(0), c.saver);
        ASSERT_EQ(f.Destination(1), c.data);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(f.Run(), 0);
        ASSERT_EQ(Boxes().size(), 2u);
        EXPECT_NE(Boxes()[1].text.find(std::string("KAVRELIN") + c.level + " ge\xEFnst"), std::string::npos)
            << Boxes()[1];
        EXPECT_EQ(Boxes(), (std::vector<Box>{Confirmation(f, "Sunset"), Completion(f, "Sunset")}));
        ExpectInstalled(f);
        ASSERT_EQ(hostwin::Record().execs.size(), 1u);
        EXPECT_EQ(hostwin::Record().execs[0].commandLine, c.command);
        EXPECT_EQ(hostwin::Record().execs[0].result, 33u);
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, TitlesAreShownAsStoredLessTrailingBlanks) {
    struct Case {
        std::string stored, shown;
    } cases[] = {
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},  // all 32 bytes
        {"Zee  en  zon                    ", "Zee  en  zon"},
        {" ", ""},  // all blank: the caption starts with a blank
        {"Caf\xE9", "Caf\xE9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        InstallerFixture f;
        f.title = c.stored;
        f.UseStandardFiles();
        f.Build();
        hostwin::QueueMessageBoxAnswer(IDCANCEL);
        EXPECT_EQ(f.Run(), 0);
        EXPECT_EQ(Boxes(), std::vector<Box>{Confirmation(f, c.shown)});
        f.ExpectCleanEnd();
    }
}

TEST(Sequence, WithoutAShortPathSystemIniGetsTheLongOne) {
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    hostwin::FaultSwitches().failShortPath = true;
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(f.Run(), 0);
    ASSERT_EQ(hostwin::Record().profileWrites.size(), 1u);
    const auto& w = hostwin::Record().profileWrites[0];
    EXPECT_EQ(w.section, "boot");
    EXPECT_EQ(w.key, "SCRNSAVE.EXE");
    EXPECT_EQ(w.value, "C:\\Windows\\SUNSET.SCR");
    EXPECT_EQ(w.file, "system.ini");
    ExpectInstalled(f);
    f.ExpectCleanEnd();
}

TEST(Sequence, CommandLineIsNeverRead) {
    std::vector<std::string> events[2];
    const char* lines[] = {"", "/s /c:123 --uninstall \"x y\""};
    for (int i = 0; i < 2; i++) {
        InstallerFixture f;
        f.UseStandardFiles();
        f.Build();
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(f.Run(lines[i]), 0);
        events[i] = hostwin::Record().events;
        // The temporary folder's name differs; the events name Windows paths only.
    }
    EXPECT_EQ(events[0], events[1]);
}

}  // namespace
