// Failed writes during the extraction: whatever fails, the destination that
// was being written keeps its old bytes, no temporary file remains, nothing
// is activated or started, the user is told which file failed and the exit
// code is 1. And a damaged or missing package stops before any question.
#include "tests/support/installer_fixture.h"

#include "install/install.h"
#include "platform/hostwin/hostwin.h"
#include "install/program.h"
#include "res/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using stubtest::Box;
using stubtest::Boxes;
using stubtest::Fill;
using stubtest::InstallerFixture;

namespace {

std::string Caption() {
    return Fill(TEXT_INSTALLER_CAPTION, {"Sunset"});
}

Box FailedBox(const std::string& path) {
    return {Fill(TEXT_FAILED, {path}), Caption(), 0x10};
}

// Old files at every destination, different from what the package holds.
std::vector<std::vector<uint8_t>> PlantOldFiles(const InstallerFixture& f) {
    std::vector<std::vector<uint8_t>> old;
    for (size_t i = 0; i < f.files.size(); i++) {
        std::string dest = f.Destination(i);
        f.MakeFolder(dest.substr(0, dest.rfind('\\')));
        old.push_back(NoiseBytes(100 + i, 77 + (uint32_t)i));
        f.Write(dest, old.back());
    }
    return old;
}

// Entries before `failed` hold their new bytes, the rest their old ones; no
// other file (no temporary file, no system.ini) exists; nothing activated.
void ExpectStoppedAt(const InstallerFixture& f, size_t failed, const std::vector<std::vector<uint8_t>>& old) {
    std::vector<std::string> expected = {f.installerPath};
    for (size_t i = 0; i < f.files.size(); i++) {
        EXPECT_EQ(f.Read(f.Destination(i)), i < failed ? f.files[i].bytes : old[i]) << f.Destination(i);
        expected.push_back(f.Destination(i));
    }
    EXPECT_EQ(stubtest::Folded(f.AllFiles()), stubtest::Folded(expected));
    const auto& r = hostwin::Record();
    EXPECT_TRUE(r.profileWrites.empty());
    EXPECT_TRUE(r.spiCalls.empty());
    EXPECT_TRUE(r.execs.empty());
}

// Runs the installer over the old files (so it asks before replacing the
// screen saver) to the failure message. The install dialog itself still ends
// normally; the order info dialog never opens.
void RunToFailure(InstallerFixture& f, size_t failed, const std::vector<std::vector<uint8_t>>& old) {
    hostwin::QueueMessageBoxAnswer(IDYES);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(f.Run(), 1);
    ASSERT_EQ(Boxes().size(), 3u) << Boxes().back();
    EXPECT_EQ(Boxes()[0].caption, TEXT_REPLACE_CAPTION);
    EXPECT_EQ(Boxes()[1].style, 0x41u);
    EXPECT_EQ(Boxes()[2], FailedBox(f.Destination(failed)));
    const auto& r = hostwin::Record();
    ASSERT_EQ(r.dialogs.size(), 1u);
    EXPECT_EQ(r.dialogs[0].templateId, 103);
    EXPECT_EQ(r.dialogs[0].result, IDOK);
    ExpectStoppedAt(f, failed, old);
    f.ExpectCleanEnd();
}

TEST(Failure, TemporaryFileThatCannotBeCreatedStopsAtItsEntry) {
    // One creation per entry, in catalogue order: the Nth fails entry N - 1.
    for (size_t entry = 0; entry < 4; entry++) {
        SCOPED_TRACE(entry);
        InstallerFixture f;
        f.UseStandardFiles();
        f.Build();
        auto old = PlantOldFiles(f);
        hostwin::FaultSwitches().failCreate = (int)entry + 1;
        RunToFailure(f, entry, old);
    }
}

TEST(Failure, ShortWriteOfAStoredOrCompressedScreenSaverKeepsTheOldOne) {
    for (bool storeAll : {true, false}) {
        SCOPED_TRACE(storeAll ? "stored" : "compressed");
        InstallerFixture f;
        f.storeAll = storeAll;
        f.UseStandardFiles();
        const auto& pkg = f.Build();
        ASSERT_EQ(pkg.entries[0].originalSize != 0, !storeAll);
        auto old = PlantOldFiles(f);
        hostwin::FaultSwitches().shortWrite = 1;
        RunToFailure(f, 0, old);
    }
}

TEST(Failure, ShortWriteOfTheLastEntryKeepsEverythingBefore) {
    int writes = 0;
    {
        InstallerFixture clean;
        clean.UseStandardFiles();
        clean.Build();
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
        ASSERT_EQ(clean.Run(), 0);
        writes = hostwin::Count().writes;
    }
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    auto old = PlantOldFiles(f);
    hostwin::FaultSwitches().shortWrite = writes;  // the 1-byte extra file's one write
    RunToFailure(f, 3, old);
}

TEST(Failure, PathsThatDoNotFitStopWithTheWholePathNamed) {
    struct Case {
        const char* what;
        std::string windowsDir;
        size_t failed;
    } cases[] = {
        // 224 characters: SUNSET.SCR fits, the data file's 260-character path does not.
        {"data file", "C:\\" + std::string(120, 'w') + "\\" + std::string(100, 'x'), 1},
        // 248: the screen saver's path (259) fits, its temporary file's (261) does not.
        {"temporary file", "C:\\" + std::string(120, 'w') + "\\" + std::string(124, 'x'), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerFixture f;
        f.windowsDir = c.windowsDir;
        f.UseStandardFiles();
        f.Build();
        ASSERT_EQ(f.Destination(c.failed).size(), c.failed == 1 ? 260u : 259u);
        // Old files only where the name can exist at all.
        std::vector<std::vector<uint8_t>> old(f.files.size());
        old[0] = NoiseBytes(50, 5);
        f.Write(f.Destination(0), old[0]);
        hostwin::QueueMessageBoxAnswer(IDYES);  // replace the existing screen saver
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        EXPECT_EQ(f.Run(), 1);
        ASSERT_EQ(Boxes().size(), 3u);
        EXPECT_EQ(Boxes()[2], FailedBox(f.Destination(c.failed)));
        EXPECT_EQ(f.Read(f.Destination(0)), c.failed == 0 ? old[0] : f.files[0].bytes);
        EXPECT_EQ(stubtest::Folded(f.AllFiles()), stubtest::Folded({f.installerPath, f.Destination(0)}));
        EXPECT_TRUE(hostwin::Record().profileWrites.empty());
        EXPECT_TRUE(hostwin::Record().execs.empty());
        f.ExpectCleanEnd();
    }
}

TEST(Failure, CopyBufferThatCannotBeHadNamesTheScreenSaver) {
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    auto old = PlantOldFiles(f);
    hostwin::FaultSwitches().failLocalAlloc = true;
    hostwin::QueueMessageBoxAnswer(IDYES);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(f.Run(), 1);
    ASSERT_EQ(Boxes().size(), 3u);
    EXPECT_EQ(Boxes()[2], (Box{Fill(TEXT_FAILED, {"SUNSET.SCR"}), Caption(), 0x10}));
    ExpectStoppedAt(f, 0, old);
    f.ExpectCleanEnd();
}

// The package check before any question makes an entry that runs past the
// end of the file unreachable through WinMain; the extraction on its own
// still must not install a file cut short. The installer is cut after the
// check would have passed, and the extraction is run directly.
TEST(Failure, SourceThatEndsEarlyFailsTheEntry) {
    for (bool storeAll : {true, false}) {
        SCOPED_TRACE(storeAll ? "stored" : "compressed");
        InstallerFixture f;
        f.storeAll = storeAll;
        f.files = {{"s", TextBytes(5000, 1), ""}, {"d", TextBytes(5000, 2), ""}, {"a", TextBytes(9000, 3), ".TMP"}};
        const auto& pkg = f.Build();
        auto old = PlantOldFiles(f);
        auto bytes = pkg.bytes;
        bytes.resize(pkg.entries[2].fileOffset + pkg.entries[2].storedSize / 2);
        f.Write(f.installerPath, bytes);

        ResetInstaller();
        gInstaller.module = (HINSTANCE)0x400000;
        strcpy(gInstaller.title, "Sunset");
        strcpy(gInstaller.saverFileName, "SUNSET.SCR");
        ExtractAndActivate();

        EXPECT_EQ(gInstaller.extraction, EXTRACTION_FAILED);
        EXPECT_STREQ(gInstaller.failedPath, f.Destination(2).c_str());
        ExpectStoppedAt(f, 2, old);
        f.ExpectCleanEnd();
    }
}

TEST(Failure, DamagedOrMissingPackageStopsBeforeAnyQuestion) {
    struct Case {
        const char* what;
        std::string caption;  // the title is read before the check
        void (*damage)(InstallerFixture& f);
    } cases[] = {
        {"extra files cut short", Caption(),
         [](InstallerFixture& f) {
             auto b = f.package().bytes;
             b.resize(f.package().entries[2].fileOffset + 1);
             f.Write(f.installerPath, b);
         }},
        {"catalogue cut short", Caption(),
         [](InstallerFixture& f) {
             auto b = f.package().bytes;
             b.resize(f.package().position + 34 + 16 + 8);
             f.Write(f.installerPath, b);
         }},
        {"bare stub", Fill(TEXT_INSTALLER_CAPTION, {""}),
         [](InstallerFixture& f) { f.Write(f.installerPath, stubtest::BareStub()); }},
        {"installer file gone", Fill(TEXT_INSTALLER_CAPTION, {""}),
         [](InstallerFixture& f) { std::filesystem::remove(f.Host(f.installerPath)); }},
        {"own path not to be had", Fill(TEXT_INSTALLER_CAPTION, {""}),
         [](InstallerFixture&) { hostwin::SetModuleFileName(""); }},
        {"own path too long", Fill(TEXT_INSTALLER_CAPTION, {""}),
         [](InstallerFixture&) { hostwin::SetModuleFileName("C:\\" + std::string(257, 'a') + ".exe"); }},
        {"Windows directory not to be had", Caption(), [](InstallerFixture&) { hostwin::SetWindowsDirectory(""); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerFixture f;
        f.UseStandardFiles();
        f.Build();
        c.damage(f);
        std::vector<std::string> before = f.AllFiles();
        hostwin::QueueMessageBoxAnswer(IDOK);
        EXPECT_EQ(f.Run(), 1);
        EXPECT_EQ(Boxes(), (std::vector<Box>{{TEXT_DAMAGED, c.caption, 0x10}}));
        EXPECT_EQ(f.AllFiles(), before);
        EXPECT_EQ(hostwin::Count().creates, 0);
        EXPECT_TRUE(hostwin::Record().dialogs.empty());
        EXPECT_TRUE(hostwin::Record().execs.empty());
        f.ExpectCleanEnd();
    }
}

}  // namespace
