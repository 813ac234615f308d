// The whole stub run natively, built with one language's texts: this source
// is built once per language (TEST_LANGUAGE names it; tests/CMakeLists.txt),
// each program linking the stub's code built with that language's header.
// Every prompt is compared with the language table (res/languages.h), which
// is compiled apart from the stub, and every count with the grouping that
// language writes (the table below): a stub built with another language's
// texts, a wrong separator or a buffer that cuts a translation fails here.
#include "tests/support/installer_fixture.h"

#include "platform/hostwin/hostwin.h"
#include "res/languages.h"

#include <gtest/gtest.h>

#include <cstring>

using stubtest::Box;
using stubtest::Boxes;
using stubtest::Fill;
using stubtest::InstallerFixture;

namespace {

// The counts the installer below shows, as each language groups them: its
// 1,234,567 bytes, the 1,205 kilobytes they need and the 1,074 kilobytes free.
struct Counts {
    const char* code;
    const char* bytes;
    const char* needed;
    const char* available;
};
const Counts kCounts[] = {
    {"nl", "1,234,567", "1,205", "1,074"},
    {"en", "1,234,567", "1,205", "1,074"},
    {"de", "1.234.567", "1.205", "1.074"},
    {"fr",
     "1\xA0"
     "234\xA0"
     "567",
     "1\xA0"
     "205",
     "1\xA0"
     "074"},
};
static_assert(sizeof kCounts / sizeof kCounts[0] == INSTALLER_LANGUAGE_COUNT, "a row for every language");

const InstallerLanguage& Language() {
    const InstallerLanguage* language = FindInstallerLanguage(TEST_LANGUAGE);
    EXPECT_NE(language, nullptr) << TEST_LANGUAGE;
    return language ? *language : kInstallerLanguages[0];
}

const Counts& CountsOf(const InstallerLanguage& language) {
    for (const Counts& c : kCounts)
        if (std::strcmp(c.code, language.code) == 0) return c;
    ADD_FAILURE() << "no counts for " << language.code;
    return kCounts[0];
}

// A stored screen saver and data file of 1,234,567 bytes together, under a
// title of the full 32 bytes so that the longest caption is shown whole.
const std::string kTitle = "Zonsondergang boven de Noordzee!";

void BuildInstaller(InstallerFixture& f) {
    f.title = kTitle;
    f.storeAll = true;
    f.files = {{"saver.scr", NoiseBytes(34567, 1), ".SCR"}, {"data.dat", NoiseBytes(1200000, 2), ".DAT"}};
    f.Build();
}

TEST(LanguageTexts, EveryPromptOfAReplacingInstallShortOfSpace) {
    static_assert(sizeof "Zonsondergang boven de Noordzee!" == 33, "a title of 32 bytes");
    const InstallerLanguage& l = Language();
    const Counts& counts = CountsOf(l);
    InstallerFixture f;
    BuildInstaller(f);
    f.Write(f.windowsDir + "\\SUNSET.SCR", NoiseBytes(10, 3));
    hostwin::SetFreeBytes(1074 * 1024 + 1023);
    hostwin::QueueMessageBoxAnswer(IDYES);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueMessageBoxAnswer(IDOK);
    hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(f.Run(), 0);

    const std::string caption = Fill(l.INSTALLER_CAPTION, {kTitle});
    EXPECT_EQ(Boxes(), (std::vector<Box>{
                           {Fill(l.REPLACE, {"sunset.SCR"}), l.REPLACE_CAPTION, 0x24},
                           {Fill(l.DISK, {counts.needed, counts.available}), l.DISK_CAPTION, 0x41},
                           {Fill(l.CONFIRM, {"SUNSET.SCR", kTitle, "C:\\WINDOWS", counts.bytes}), caption, 0x41},
                           {Fill(l.COMPLETE, {"C:\\Windows\\", "\\SUNSET"}), caption, 0x30},
                       }));
    const auto& r = hostwin::Record();
    ASSERT_EQ(r.dialogs.size(), 2u);
    EXPECT_EQ(r.dialogs[0].windowText, caption);
    EXPECT_EQ(r.dialogs[0].item1001, Fill(l.INSTALL_ITEM, {kTitle}));
    EXPECT_EQ(r.dialogs[1].templateId, 104);
    f.ExpectCleanEnd();
}

TEST(LanguageTexts, RenameAdviceFailureAndDamage) {
    const InstallerLanguage& l = Language();
    const std::string caption = Fill(l.INSTALLER_CAPTION, {kTitle});
    {
        SCOPED_TRACE("No to the existing screen saver");
        InstallerFixture f;
        BuildInstaller(f);
        f.Write(f.windowsDir + "\\SUNSET.SCR", NoiseBytes(10, 3));
        hostwin::QueueMessageBoxAnswer(IDNO);
        hostwin::QueueMessageBoxAnswer(IDOK);
        EXPECT_EQ(f.Run(), 0);
        EXPECT_EQ(Boxes(), (std::vector<Box>{{Fill(l.REPLACE, {"sunset.SCR"}), l.REPLACE_CAPTION, 0x24},
                                             {Fill(l.RENAME, {"sunset.EXE"}), l.RENAME_CAPTION, 0x40}}));
        f.ExpectCleanEnd();
    }
    {
        SCOPED_TRACE("the screen saver cannot be written");
        InstallerFixture f;
        BuildInstaller(f);
        hostwin::FaultSwitches().failCreate = 1;
        hostwin::QueueMessageBoxAnswer(IDOK);
        hostwin::QueueMessageBoxAnswer(IDOK);
        EXPECT_EQ(f.Run(), 1);
        ASSERT_EQ(Boxes().size(), 2u);
        EXPECT_EQ(Boxes()[1], (Box{Fill(l.FAILED, {f.Destination(0)}), caption, 0x10}));
        f.ExpectCleanEnd();
    }
    {
        SCOPED_TRACE("a bare stub");
        InstallerFixture f;
        BuildInstaller(f);
        f.Write(f.installerPath, stubtest::BareStub());
        hostwin::QueueMessageBoxAnswer(IDOK);
        EXPECT_EQ(f.Run(), 1);
        EXPECT_EQ(Boxes(), (std::vector<Box>{{l.DAMAGED, Fill(l.INSTALLER_CAPTION, {""}), 0x10}}));
        f.ExpectCleanEnd();
    }
}

}  // namespace
