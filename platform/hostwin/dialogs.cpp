// Modal dialogs of our Linux Win32 layer and the calls the stub makes on
// them. DialogBoxParamA makes the dialog and its controls from the template
// the layer knows (see hostwin.h), sends WM_INITDIALOG with the init value,
// then runs the modal loop: messages posted so far are dispatched first, and
// when none is left the next scripted action for the template is handed to
// the dialog procedure, until EndDialog. At the end the dialog is destroyed
// (WM_DESTROY, WM_NCDESTROY to its procedure) and the result returned.
//
// Never blocks: a dialog with nothing to handle and no action left, or one
// whose procedure keeps posting to itself without end, records a stall and
// returns -1. A quit message already posted ends the loop with 0 and stays
// posted, as the Windows dialog manager does. An unknown template gives -1
// at once, with no message.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

namespace hostwin {

std::map<int, DialogTemplate> DefaultDialogTemplates() {
    std::map<int, DialogTemplate> templates;
    templates[103] = {103,
                      187,
                      75,
                      false,
                      {{IDOK, 131, 6, 50, 14},
                       {IDCANCEL, 131, 23, 50, 14},
                       {-1, 50, 15, 86, 8},
                       {-1, 48, 50, 90, 8},
                       {1001, 13, 31, 159, 8}}};
    templates[104] = {104,
                      205,
                      154,
                      true,
                      {{-1, 23, 25, 158, 10},
                       {-1, 157, 18, 11, 8},
                       {IDOK, 78, 134, 50, 14},
                       {-1, 23, 7, 158, 10},
                       {-1, 23, 42, 158, 8},
                       {-1, 23, 59, 158, 8},
                       {-1, 23, 74, 158, 8},
                       {-1, 23, 91, 158, 36}}};
    return templates;
}

namespace {

const int kFrame = 3;     // SM_CXDLGFRAME / SM_CYDLGFRAME
const int kCaption = 19;  // SM_CYCAPTION

// Dialog units to pixels, rounded to nearest as MulDiv does.
int Pixels(int units, int base, int per) {
    long long twice = 2LL * units * base;
    return (int)(twice >= 0 ? (twice + per) / (2 * per) : -((-twice + per) / (2 * per)));
}

RECT ControlRect(const DialogControl& c) {
    const LayerState& s = State();
    int x = Pixels(c.x, s.baseX, 4), y = Pixels(c.y, s.baseY, 8);
    return {x, y, x + Pixels(c.width, s.baseX, 4), y + Pixels(c.height, s.baseY, 8)};
}

HWND MakeDialog(const DialogTemplate& t, DLGPROC proc, HINSTANCE instance) {
    LayerState& s = State();
    HWND dialog = (HWND)NewHandleValue();
    Window window;
    window.kind = WindowKind::Dialog;
    window.dialogProc = proc;
    window.instance = instance;
    window.templateId = t.id;
    window.clientX = kFrame;
    window.clientY = kFrame + (t.titleBar ? kCaption : 0);
    int width = Pixels(t.width, s.baseX, 4) + 2 * kFrame;
    int height = Pixels(t.height, s.baseY, 8) + window.clientY + kFrame;
    window.rect = {0, 0, width, height};
    window.record = s.records.dialogs.size();
    s.windows[(uintptr_t)dialog] = window;
    for (const DialogControl& c : t.controls) {
        Window control;
        control.kind = WindowKind::Control;
        control.templateId = t.id;
        control.controlId = c.id;
        control.controlRect = ControlRect(c);
        control.parent = dialog;
        control.instance = instance;
        s.windows[(uintptr_t)NewHandleValue()] = control;
    }
    return dialog;
}

// The control of `dialog` with id `id` (the first, for -1), or null.
HWND ControlOf(HWND dialog, int id) {
    for (auto& entry : State().windows) {
        const Window& w = entry.second;
        if (w.alive && w.kind == WindowKind::Control && w.parent == dialog && w.controlId == id)
            return (HWND)entry.first;
    }
    return nullptr;
}

// The control WM_INITDIALOG names for the focus: the first with an id.
HWND FirstControl(HWND dialog, const DialogTemplate& t) {
    for (const DialogControl& c : t.controls) {
        if (c.id != -1) return ControlOf(dialog, c.id);
    }
    return nullptr;
}

DialogCall& RecordOf(const Window& dialog) {
    return State().records.dialogs[dialog.record];
}

Window* DialogOf(HWND handle, const char* call) {
    Window* window = WindowOf(handle);
    if (window && window->kind == WindowKind::Dialog) return window;
    Misuse(std::string(call) + " on " + HandleName(handle) + ", which is no open dialog");
    return nullptr;
}

// The modal loop; the dialog's result.
INT_PTR RunModal(HWND dialog, int templateId) {
    std::string who = "DialogBoxParamA " + std::to_string(templateId);
    for (int deliveries = 0;; deliveries++) {
        const Window* window = WindowOf(dialog);
        if (!window) {
            Misuse(who + ": the dialog was destroyed without EndDialog");
            return -1;
        }
        if (window->ended) return window->result;
        if (deliveries == kMaxDeliveries) {
            Stall(who + ": messages keep coming and the dialog does not end");
            return -1;
        }
        if (DispatchOne()) continue;
        if (State().quitPending) return 0;  // the quit message stays posted
        auto& actions = State().dialogActions[templateId];
        if (actions.empty()) {
            Stall(who + ": nothing to handle and no scripted action");
            return -1;
        }
        DialogAction action = actions.front();
        actions.pop_front();
        Deliver(dialog, action.message, action.wParam, action.lParam);
    }
}

void SetText(Window* window, const std::string& text) {
    window->text = text;
    if (window->kind == WindowKind::Dialog) {
        RecordOf(*window).windowText = text;
    } else if (window->kind == WindowKind::Control) {
        DialogCall& record = RecordOf(*WindowOf(window->parent));
        record.itemTexts[window->controlId] = text;
        if (window->controlId == 1001) record.item1001 = text;
    }
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam) {
    bool byNumber = (uintptr_t)templateName < 0x10000;
    int id = byNumber ? (int)(uintptr_t)templateName : 0;
    std::string name = byNumber ? std::to_string(id) : std::string(templateName);
    Event("DialogBoxParamA " + name);
    auto found = State().templates.find(id);
    if (!byNumber || found == State().templates.end() || !proc || (owner && !WindowOf(owner))) {
        if (!proc) Misuse("DialogBoxParamA " + name + " without a dialog procedure");
        if (owner && !WindowOf(owner)) Misuse("DialogBoxParamA " + name + " with a dead owner");
        Event("DialogBoxParamA " + name + " -> -1");
        return -1;
    }
    DialogTemplate t = found->second;
    HWND dialog = MakeDialog(t, proc, instance);
    State().records.dialogs.push_back({id, "", "", WindowOf(dialog)->rect, 0, owner, instance, initParam, {}});
    size_t record = State().records.dialogs.size() - 1;

    Deliver(dialog, WM_INITDIALOG, (WPARAM)FirstControl(dialog, t), initParam);
    INT_PTR result = RunModal(dialog, id);
    DestroyWindowNow(dialog, false);
    State().records.dialogs[record].result = result;
    Event("DialogBoxParamA " + name + " -> " + std::to_string(result));
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Event("EndDialog " + HandleName(dialog) + " " + std::to_string(result));
    Window* window = DialogOf(dialog, "EndDialog");
    if (!window) return 0;
    window->ended = true;
    window->result = result;
    return 1;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
    std::string value = text ? text : "";
    Event("SetWindowTextA " + HandleName(handle) + " " + value);
    Window* window = WindowOf(handle);
    if (!window) {
        Misuse("SetWindowTextA on " + HandleName(handle) + ", no window");
        return 0;
    }
    SetText(window, value);
    return 1;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    std::string value = text ? text : "";
    Event("SetDlgItemTextA " + HandleName(dialog) + " " + std::to_string(id) + " " + value);
    HWND control = DialogOf(dialog, "SetDlgItemTextA") ? ControlOf(dialog, id) : nullptr;
    if (!control) {
        Misuse("SetDlgItemTextA " + HandleName(dialog) + " " + std::to_string(id) + ": no such control");
        return 0;
    }
    SetText(WindowOf(control), value);
    return 1;
}

HWND GetDlgItem(HWND dialog, int id) {
    return DialogOf(dialog, "GetDlgItem") ? ControlOf(dialog, id) : nullptr;
}

// The instance is a pointer on this host and LONG 32 bits, as on Win32: the
// low 32 bits are what the caller gets back.
LONG GetWindowLongA(HWND handle, int index) {
    Window* window = WindowOf(handle);
    if (!window) {
        Misuse("GetWindowLongA on " + HandleName(handle) + ", no window");
        return 0;
    }
    if (index != GWL_HINSTANCE) return 0;
    return (LONG)(uintptr_t)window->instance;
}

BOOL GetWindowRect(HWND handle, LPRECT rect) {
    Window* window = WindowOf(handle);
    if (!window || !rect) {
        Misuse("GetWindowRect on " + HandleName(handle) + ", no window or no RECT");
        return 0;
    }
    if (window->kind != WindowKind::Control) {
        *rect = window->rect;
        return 1;
    }
    const Window& dialog = *WindowOf(window->parent);
    int x = dialog.rect.left + dialog.clientX, y = dialog.rect.top + dialog.clientY;
    const RECT& c = window->controlRect;
    *rect = {x + c.left, y + c.top, x + c.right, y + c.bottom};
    return 1;
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
    Event("MoveWindow " + HandleName(handle) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
          std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(repaint));
    Window* window = WindowOf(handle);
    if (!window) {
        Misuse("MoveWindow on " + HandleName(handle) + ", no window");
        return 0;
    }
    RECT moved = {x, y, x + width, y + height};  // a control's is relative to its dialog's client area
    if (window->kind == WindowKind::Control) {
        window->controlRect = moved;
    } else {
        window->rect = moved;
        if (window->kind == WindowKind::Dialog) RecordOf(*window).rect = moved;
    }
    return 1;
}

}  // extern "C"
