// Message boxes and modal dialogs of the layer: scripted answers and their
// record, a dialog that labels and centres itself, posts itself its start
// command and ends (the install dialog's shape), dialogs ended by scripted
// user actions (the order info dialog's shape), and loops that would wait
// for ever ending with a stall.
#include "platform/hostwin/hostwin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hostwin;

namespace {

using Lines = std::vector<std::string>;
const HINSTANCE kInstance = (HINSTANCE)0x400000;

void Centre(HWND dialog) {
    RECT r;
    GetWindowRect(dialog, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    MoveWindow(dialog, GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2, GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2, w, h, 0);
}

// The install dialog's shape: label, centre, post the start command, and on
// it do the work and end with the command's wParam.
int gWorked;
INT_PTR CALLBACK SelfStartingProc(HWND d, UINT m, WPARAM wp, LPARAM lp) {
    (void)lp;
    if (m == WM_INITDIALOG) {
        SetWindowTextA(d, "Sunset Screen Saver Installatie");
        SetDlgItemTextA(d, 1001, "Sunset Screen Saver");
        Centre(d);
        PostMessageA(d, WM_COMMAND, 1, (LPARAM)GetDlgItem(d, 1));
        return 1;
    }
    if (m == WM_COMMAND && (wp == 1 || wp == 2)) {
        gWorked++;
        EndDialog(d, (INT_PTR)wp);
        return 1;
    }
    return 0;
}

// The order info dialog's shape: centre, end on 1 or 2, ignore the rest.
INT_PTR CALLBACK WaitingProc(HWND d, UINT m, WPARAM wp, LPARAM lp) {
    (void)lp;
    if (m == WM_INITDIALOG) {
        Centre(d);
        return 1;
    }
    if (m == WM_COMMAND && (wp == 1 || wp == 2)) {
        EndDialog(d, (INT_PTR)wp);
        return 1;
    }
    return 0;
}

INT_PTR CALLBACK EndlessProc(HWND d, UINT m, WPARAM wp, LPARAM lp) {
    (void)wp;
    (void)lp;
    if (m == WM_INITDIALOG || m == WM_COMMAND) PostMessageA(d, WM_COMMAND, 99, 0);
    return 0;
}

INT_PTR RunDialog(int id, DLGPROC proc, LPARAM init = 0) {
    return DialogBoxParamA(kInstance, MAKEINTRESOURCEA(id), nullptr, proc, init);
}

}  // namespace

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        gWorked = 0;
    }
    void TearDown() override { Reset(); }
};

TEST_F(Dialogs, MessageBoxesAnswerFromTheQueueAndAreRecorded) {
    QueueMessageBoxAnswer(IDOK);
    QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Dit \xEF\r\n\r\nx", "Cap tion", MB_OKCANCEL | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Vraag", "Q", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Nog een", "Schijf vol", MB_OKCANCEL), IDCANCEL);  // none left
    ASSERT_EQ(Record().messageBoxes.size(), 3u);
    const MessageBoxCall& first = Record().messageBoxes[0];
    EXPECT_EQ(first.text, "Dit \xEF\r\n\r\nx");
    EXPECT_EQ(first.caption, "Cap tion");
    EXPECT_EQ(first.style, 0x41u);
    EXPECT_EQ(first.owner, nullptr);
    EXPECT_EQ(Record().events,
              (Lines{"MessageBoxA caption=Cap tion style=0x41 -> 1", "MessageBoxA caption=Q style=0x24 -> 7",
                     "MessageBoxA caption=Schijf vol style=0x1 -> 2"}));
    EXPECT_EQ(Record().stalls.size(), 1u);
    EXPECT_TRUE(Record().misuse.empty());
}

TEST_F(Dialogs, AnswerNoButtonCanGiveIsMisuse) {
    struct Case {
        UINT style;
        int answer;
        bool possible;
    } cases[] = {
        {MB_OK, IDOK, true},
        {MB_OK, IDCANCEL, false},
        {MB_OKCANCEL, IDCANCEL, true},
        {MB_OKCANCEL, IDYES, false},
        {MB_YESNO, IDYES, true},
        {MB_YESNO, IDCANCEL, false},
        {MB_YESNO | MB_ICONQUESTION, IDNO, true},
    };
    for (const Case& c : cases) {
        Reset();
        QueueMessageBoxAnswer(c.answer);
        EXPECT_EQ(MessageBoxA(nullptr, "t", "c", c.style), c.answer);
        EXPECT_EQ(Record().misuse.empty(), c.possible) << c.style << " " << c.answer;
    }
}

TEST_F(Dialogs, SelfStartingDialogRunsItsPostedCommandAndEnds) {
    SetScreenSize(1024, 768);
    EXPECT_EQ(RunDialog(103, SelfStartingProc), 1);
    EXPECT_EQ(gWorked, 1);
    // Template 103 is 187 x 75 units: 281 x 122 pixels inside a 3-pixel frame.
    EXPECT_EQ(Record().events,
              (Lines{"DialogBoxParamA 103", "WM_INITDIALOG 103", "SetWindowTextA 103 Sunset Screen Saver Installatie",
                     "SetDlgItemTextA 103 1001 Sunset Screen Saver", "MoveWindow 103 369 320 287 128 0",
                     "PostMessageA 103 WM_COMMAND 1 103.1", "WM_COMMAND 103 1 103.1", "EndDialog 103 1",
                     "WM_DESTROY 103", "WM_NCDESTROY 103", "DialogBoxParamA 103 -> 1"}));
    ASSERT_EQ(Record().dialogs.size(), 1u);
    const DialogCall& d = Record().dialogs[0];
    EXPECT_EQ(d.templateId, 103);
    EXPECT_EQ(d.windowText, "Sunset Screen Saver Installatie");
    EXPECT_EQ(d.item1001, "Sunset Screen Saver");
    EXPECT_EQ(d.rect.left, 369);
    EXPECT_EQ(d.rect.bottom, 320 + 128);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.instance, kInstance);
    EXPECT_TRUE(Record().stalls.empty());
    EXPECT_TRUE(Record().misuse.empty());
}

TEST_F(Dialogs, DialogAnswersWindowQueries) {
    static LONG instanceSeen;
    static RECT okRect, dialogRect;
    static HWND missing;
    auto proc = [](HWND d, UINT m, WPARAM, LPARAM lp) -> INT_PTR {
        if (m != WM_INITDIALOG) return 0;
        EXPECT_EQ(lp, 42);
        instanceSeen = GetWindowLongA(d, GWL_HINSTANCE);
        GetWindowRect(d, &dialogRect);
        GetWindowRect(GetDlgItem(d, IDOK), &okRect);
        missing = GetDlgItem(d, 1001);  // template 104 has no control 1001
        EndDialog(d, 5);
        return 1;
    };
    EXPECT_EQ(RunDialog(104, proc, 42), 5);
    EXPECT_EQ(instanceSeen, 0x400000);
    EXPECT_EQ(missing, nullptr);
    // Template 104: 205 x 154 units -> 308 x 250 pixels, frame 3, caption 19.
    EXPECT_EQ(dialogRect.right - dialogRect.left, 314);
    EXPECT_EQ(dialogRect.bottom - dialogRect.top, 275);
    // The OK button at (78, 134), 50 x 14 units, inside the client area.
    EXPECT_EQ(okRect.left, 3 + 117);
    EXPECT_EQ(okRect.top, 22 + 218);
    EXPECT_EQ(okRect.right - okRect.left, 75);
    EXPECT_EQ(okRect.bottom - okRect.top, 23);
}

TEST_F(Dialogs, ScriptedActionsEndTheWaitingDialog) {
    struct Case {
        const char* name;
        std::vector<std::pair<UINT, WPARAM>> actions;
        INT_PTR result;
        size_t stalls;
    } cases[] = {
        {"OK", {{WM_COMMAND, 1}}, 1, 0},
        {"Escape", {{WM_COMMAND, 2}}, 2, 0},
        {"close box", {{WM_CLOSE, 0}}, 2, 0},
        {"others ignored, then OK", {{WM_COMMAND, 0}, {WM_COMMAND, 3}, {WM_COMMAND, 0x10001}, {WM_COMMAND, 1}}, 1, 0},
        {"nothing scripted", {}, -1, 1},
        {"nothing that ends it", {{WM_COMMAND, 0}}, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        for (const auto& a : c.actions) QueueDialogAction(104, a.first, a.second, 0);
        QueueDialogAction(103, WM_COMMAND, 1, 0);  // another template's: not taken
        EXPECT_EQ(RunDialog(104, WaitingProc), c.result);
        EXPECT_EQ(Record().stalls.size(), c.stalls);
        EXPECT_EQ(Record().dialogs.at(0).result, c.result);
    }
}

TEST_F(Dialogs, CloseBoxBecomesCancelInTheRecord) {
    QueueDialogAction(104, WM_CLOSE, 0, 0);
    RunDialog(104, WaitingProc);
    EXPECT_EQ(EventsOf({"WM_CLOSE", "WM_COMMAND", "EndDialog"}),
              (Lines{"WM_CLOSE 104", "WM_COMMAND 104 2 NULL", "EndDialog 104 2"}));
}

TEST_F(Dialogs, EndlessPostingStallsInsteadOfHanging) {
    EXPECT_EQ(RunDialog(103, EndlessProc), -1);
    EXPECT_EQ(Record().stalls.size(), 1u);
}

TEST_F(Dialogs, PendingQuitEndsTheDialogAndStaysPosted) {
    PostQuitMessage(0);
    EXPECT_EQ(RunDialog(104, WaitingProc), 0);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), 0);  // a box flashes and is gone
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_TRUE(Record().stalls.empty());
}

TEST_F(Dialogs, UnknownTemplateFailsWithoutAnyMessage) {
    EXPECT_EQ(RunDialog(999, WaitingProc), -1);
    EXPECT_EQ(Record().events, (Lines{"DialogBoxParamA 999", "DialogBoxParamA 999 -> -1"}));
}

TEST_F(Dialogs, TestsCanDescribeTheirOwnTemplates) {
    DefineDialogTemplate({7, 40, 16, false, {{5, 0, 0, 4, 8}}});
    SetDialogBaseUnits(8, 16);
    static RECT r, c;
    auto proc = [](HWND d, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
        if (m != WM_INITDIALOG) return 0;
        EXPECT_EQ((HWND)wp, GetDlgItem(d, 5));  // the focus goes to the first control
        GetWindowRect(d, &r);
        GetWindowRect(GetDlgItem(d, 5), &c);
        EndDialog(d, 1);
        return 1;
    };
    RunDialog(7, proc);
    EXPECT_EQ(r.right, 80 + 6);
    EXPECT_EQ(r.bottom, 32 + 6);
    EXPECT_EQ(c.left, 3);
    EXPECT_EQ(c.right - c.left, 8);
    EXPECT_EQ(c.bottom - c.top, 16);
}

TEST_F(Dialogs, MessageBoxRunsMessagesPostedBeforeIt) {
    static int seen;
    seen = 0;
    auto proc = [](HWND d, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
        if (m == WM_INITDIALOG) {
            PostMessageA(d, WM_COMMAND, 7, 0);
            QueueMessageBoxAnswer(IDOK);
            MessageBoxA(d, "t", "c", MB_OK);  // its own loop delivers the post
            EXPECT_EQ(seen, 7);
            EndDialog(d, 1);
        }
        if (m == WM_COMMAND) seen = (int)wp;
        return 1;
    };
    EXPECT_EQ(RunDialog(103, proc), 1);
    EXPECT_NE(Record().messageBoxes.at(0).owner, nullptr);
}

TEST_F(Dialogs, CallsOnDeadOrForeignHandlesAreMisuse) {
    static HWND kept;
    auto proc = [](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
        if (m == WM_INITDIALOG) {
            kept = d;
            EXPECT_FALSE(SetDlgItemTextA(d, 4242, "x"));  // no such control
            EndDialog(d, 1);
        }
        return 1;
    };
    RunDialog(103, proc);
    EXPECT_FALSE(EndDialog(kept, 1));
    EXPECT_FALSE(SetWindowTextA(kept, "x"));
    EXPECT_EQ(Record().misuse.size(), 3u);
}
