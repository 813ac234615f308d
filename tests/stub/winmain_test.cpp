// The entry point and host window: the class and window as registered and
// created, and the promise that the process always ends, with the sequence's
// verdict as exit code, whatever the platform does with the refused window.
#include "tests/support/installer_fixture.h"

#include "platform/hostwin/hostwin.h"
#include "res/texts.h"

#include <gtest/gtest.h>

using stubtest::Box;
using stubtest::Boxes;
using stubtest::Fill;
using stubtest::InstallerFixture;

namespace {

int Count(const std::vector<std::string>& events, const std::string& line) {
    return (int)std::count(events.begin(), events.end(), line);
}

TEST(WinMain, RegistersTheClassAndCreatesAnInvisibleRefusedWindow) {
    InstallerFixture f;
    f.UseStandardFiles();
    f.Build();
    hostwin::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(f.Run(), 0);
    const auto& r = hostwin::Record();
    ASSERT_EQ(r.classCalls.size(), 1u);
    const auto& c = r.classCalls[0];
    EXPECT_EQ(c.className, "QMDXInst");
    EXPECT_EQ(c.style, 3u);
    EXPECT_EQ(c.classExtra, 0);
    EXPECT_EQ(c.windowExtra, 0);
    EXPECT_EQ(c.instance, (HINSTANCE)0x400000);
    EXPECT_EQ(c.icon, "101");
    EXPECT_EQ(c.cursor, "IDC_ARROW");
    EXPECT_EQ(c.brush, "WHITE_BRUSH");
    EXPECT_FALSE(c.hasMenu);
    ASSERT_EQ(r.windowCalls.size(), 1u);
    const auto& w = r.windowCalls[0];
    EXPECT_EQ(w.exStyle, 0u);
    EXPECT_EQ(w.className, "QMDXInst");
    EXPECT_EQ(w.windowName, "");
    EXPECT_EQ(w.style, 0x00CF0000u);
    EXPECT_EQ(w.x, CW_USEDEFAULT);
    EXPECT_EQ(w.y, CW_USEDEFAULT);
    EXPECT_EQ(w.width, CW_USEDEFAULT);
    EXPECT_EQ(w.height, CW_USEDEFAULT);
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.menu, nullptr);
    EXPECT_EQ(w.instance, (HINSTANCE)0x400000);
    EXPECT_EQ(w.result, nullptr) << "creation is refused";
    EXPECT_EQ(r.windowsCreated, 0);
    // The whole sequence runs inside the creation, before the window dies;
    // the quit message is posted by the destroy handling itself.
    EXPECT_EQ(hostwin::EventsOf({"CreateWindowExA", "WM_CREATE", "MessageBoxA", "WM_DESTROY", "PostQuitMessage",
                                 "WM_NCDESTROY", "ShowWindow", "GetMessageA"}),
              (std::vector<std::string>{
                  "CreateWindowExA QMDXInst",
                  "WM_CREATE",
                  "MessageBoxA caption=" + Fill(TEXT_INSTALLER_CAPTION, {"Sunset"}) + " style=0x41 -> 2",
                  "WM_DESTROY",
                  "PostQuitMessage 0",
                  "WM_NCDESTROY",
                  "ShowWindow NULL 10",
                  "GetMessageA -> WM_QUIT 0",
              }));
    f.ExpectCleanEnd();
}

TEST(WinMain, AlwaysEndsWithTheSequencesVerdict) {
    struct Case {
        const char* what;
        void (*setUp)(InstallerFixture& f);
        int exitCode;
        size_t boxes;  // message boxes seen
    } cases[] = {
        {"cancelled, Wine-style refusal",
         [](InstallerFixture&) {
             hostwin::FaultSwitches().noDestroyOnRefusal = true;
             hostwin::QueueMessageBoxAnswer(IDCANCEL);
         },
         0, 1},
        {"installed, Wine-style refusal",
         [](InstallerFixture&) {
             hostwin::FaultSwitches().noDestroyOnRefusal = true;
             hostwin::QueueMessageBoxAnswer(IDOK);
             hostwin::QueueMessageBoxAnswer(IDOK);
             hostwin::QueueDialogAction(104, WM_COMMAND, IDOK, 0);
         },
         0, 2},
        {"damaged, Wine-style refusal",
         [](InstallerFixture& f) {
             hostwin::FaultSwitches().noDestroyOnRefusal = true;
             f.Write(f.installerPath, stubtest::BareStub());
             hostwin::QueueMessageBoxAnswer(IDOK);
         },
         1, 1},
        {"failed write, Wine-style refusal",
         [](InstallerFixture&) {
             hostwin::FaultSwitches().noDestroyOnRefusal = true;
             hostwin::FaultSwitches().failCreate = 2;
             hostwin::QueueMessageBoxAnswer(IDOK);
             hostwin::QueueMessageBoxAnswer(IDOK);
             hostwin::QueueMessageBoxAnswer(IDOK);
         },
         1, 2},
        {"window not created", [](InstallerFixture&) { hostwin::FaultSwitches().failCreateWindow = true; }, 1, 0},
        {"class not registered", [](InstallerFixture&) { hostwin::FaultSwitches().failRegisterClass = true; }, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerFixture f;
        f.UseStandardFiles();
        f.Build();
        c.setUp(f);
        EXPECT_EQ(f.Run(), c.exitCode);
        EXPECT_EQ(Boxes().size(), c.boxes);
        const auto& events = hostwin::Record().events;
        EXPECT_EQ(Count(events, "PostQuitMessage " + std::to_string(c.exitCode)), 1);
        EXPECT_EQ(Count(events, "GetMessageA -> WM_QUIT " + std::to_string(c.exitCode)), 1);
        f.ExpectCleanEnd();
    }
}

}  // namespace
