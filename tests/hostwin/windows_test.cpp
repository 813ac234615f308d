// Windows and messages of the layer: the order of messages when a creation
// is refused (with and without the Wine 8 fault), the quit message after
// earlier posted messages, a message loop that would wait for ever ending
// with a stall, the class record.
#include "platform/hostwin/hostwin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hostwin;

namespace {

using Lines = std::vector<std::string>;

// A host window procedure as the installer has: refuse creation, post the
// quit message on WM_DESTROY.
LRESULT RefusingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_CREATE) return -1;
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

LRESULT AcceptingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DESTROY) return 0;
    return DefWindowProcA(w, m, wp, lp);
}

const HINSTANCE kInstance = (HINSTANCE)0x400000;

void Register(WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = kInstance;
    wc.hIcon = LoadIconA(kInstance, MAKEINTRESOURCEA(101));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "QMDXInst";
    RegisterClassA(&wc);
}

HWND Create() {
    return CreateWindowExA(0, "QMDXInst", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, kInstance, nullptr);
}

// WinMain's loop; the exit code, or -99 when GetMessageA failed.
int Loop(HWND window) {
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return got < 0 ? -99 : (int)msg.wParam;
}

}  // namespace

class Windows : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

TEST_F(Windows, RefusedCreationDestroysTheWindowInWindowsOrder) {
    struct Case {
        bool wine8;
        Lines events;
        size_t stalls;
    } cases[] = {
        {false,
         {"RegisterClassA QMDXInst", "CreateWindowExA QMDXInst", "WM_NCCREATE", "WM_CREATE", "WM_DESTROY",
          "PostQuitMessage 0", "WM_NCDESTROY", "ShowWindow NULL 10", "UpdateWindow NULL", "GetMessageA -> WM_QUIT 0"},
         0},
        {true,  // no WM_DESTROY, so no quit message: the loop would wait for ever
         {"RegisterClassA QMDXInst", "CreateWindowExA QMDXInst", "WM_NCCREATE", "WM_CREATE", "WM_NCDESTROY",
          "ShowWindow NULL 10", "UpdateWindow NULL"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wine8 ? "Wine 8" : "Windows");
        Reset();
        FaultSwitches().noDestroyOnRefusal = c.wine8;
        Register(RefusingProc);
        HWND window = Create();
        EXPECT_EQ(window, nullptr);
        EXPECT_EQ(Loop(window), 0);
        EXPECT_EQ(Record().events, c.events);
        EXPECT_EQ(Record().stalls.size(), c.stalls);
        EXPECT_EQ(Record().windowsCreated, 0);
        EXPECT_EQ(Record().windowsAlive, 0);
        EXPECT_TRUE(Record().misuse.empty());
    }
}

TEST_F(Windows, CreationThatCannotStartSendsNothing) {
    struct Case {
        const char* name;
        bool registerFirst, failRegister, failCreate;
    } cases[] = {
        {"class never registered", false, false, false},
        {"registration fails", true, true, false},
        {"creation fails", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        FaultSwitches().failRegisterClass = c.failRegister;
        FaultSwitches().failCreateWindow = c.failCreate;
        if (c.registerFirst) Register(RefusingProc);
        EXPECT_EQ(Create(), nullptr);
        for (const std::string& line : Record().events) EXPECT_NE(line.rfind("WM_", 0), 0u) << line;
        EXPECT_EQ(Record().windowsAlive, 0);
    }
}

TEST_F(Windows, QuitComesAfterEveryMessagePostedBefore) {
    Register(AcceptingProc);
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Record().windowsCreated, 1);
    EXPECT_EQ(Record().windowsAlive, 1);
    PostMessageA(window, WM_COMMAND, 1, 0);
    PostQuitMessage(7);
    PostMessageA(window, WM_COMMAND, 2, 0);  // still before the quit
    EXPECT_EQ(Loop(nullptr), 7);
    EXPECT_EQ(EventsOf({"WM_COMMAND", "GetMessageA"}),
              (Lines{"WM_COMMAND 1 NULL", "WM_COMMAND 2 NULL", "GetMessageA -> WM_QUIT 7"}));
    EXPECT_TRUE(Record().stalls.empty());
}

TEST_F(Windows, GetMessageWithNothingToComeStallsInsteadOfHanging) {
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    ASSERT_EQ(Record().stalls.size(), 1u);
    PostQuitMessage(3);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(Record().stalls.size(), 1u);
}

TEST_F(Windows, MessagesToADestroyedWindowAreDropped) {
    Register(AcceptingProc);
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_COMMAND, 1, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);    // DefWindowProcA destroys it
    PostMessageA(window, WM_COMMAND, 2, 0);  // posted before it was destroyed
    PostQuitMessage(0);
    Loop(nullptr);
    EXPECT_EQ(EventsOf({"WM_COMMAND", "WM_CLOSE", "WM_DESTROY", "WM_NCDESTROY"}),
              (Lines{"WM_COMMAND 1 NULL", "WM_CLOSE", "WM_DESTROY", "WM_NCDESTROY"}));
    EXPECT_EQ(Record().windowsAlive, 0);
    EXPECT_EQ(PostMessageA(window, WM_COMMAND, 3, 0), 0);
    EXPECT_EQ(Record().misuse.size(), 1u);
}

TEST_F(Windows, ClassAndCreationAreRecordedAsGiven) {
    Register(RefusingProc);
    Create();
    ASSERT_EQ(Record().classCalls.size(), 1u);
    const ClassCall& k = Record().classCalls[0];
    EXPECT_EQ(k.style, 3u);
    EXPECT_EQ(k.instance, kInstance);
    EXPECT_EQ(k.icon, "101");
    EXPECT_EQ(k.cursor, "IDC_ARROW");
    EXPECT_EQ(k.brush, "WHITE_BRUSH");
    EXPECT_FALSE(k.hasMenu);
    EXPECT_EQ(Record().registeredClasses, Lines{"QMDXInst"});
    ASSERT_EQ(Record().windowCalls.size(), 1u);
    const CreateWindowCall& w = Record().windowCalls[0];
    EXPECT_EQ(w.style, (DWORD)WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(w.x, CW_USEDEFAULT);
    EXPECT_EQ(w.instance, kInstance);
    EXPECT_EQ(w.result, nullptr);
    Register(RefusingProc);  // twice: refused, as Windows does
    EXPECT_EQ(Record().registeredClasses.size(), 1u);
}

TEST_F(Windows, CursorsAreRecordedByName) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);  // shared, as Windows does
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_NE(SetCursor(arrow), arrow);
    SetCursor(nullptr);
    EXPECT_EQ(Record().cursors, (Lines{"IDC_WAIT", "IDC_ARROW", "NULL"}));
    EXPECT_EQ(Record().events, (Lines{"SetCursor IDC_WAIT", "SetCursor IDC_ARROW", "SetCursor NULL"}));
}
