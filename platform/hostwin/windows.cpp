// Window classes, windows and the thread's message queue of our Linux Win32
// layer, delivering messages in the order Windows does: CreateWindowExA sends
// WM_NCCREATE, then WM_CREATE; a creation refused with -1 destroys the window
// (WM_DESTROY, WM_NCDESTROY; WM_NCDESTROY alone with the Wine 8 fault) and
// returns NULL. PostQuitMessage makes GetMessageA return 0 once every message
// posted before has been taken.
//
// Never blocks: a GetMessageA with nothing queued and no quit message posted
// records a stall and returns 0 as if the quit had come. Calls on handles
// that are not live windows do nothing and are noted in Records::misuse
// (NULL for ShowWindow/UpdateWindow is the stub's normal case and is not).
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cctype>
#include <cstdio>

namespace hostwin {

std::string MessageName(UINT message) {
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    }
    char text[16];
    snprintf(text, sizeof text, "WM_0x%04X", message);
    return text;
}

// "<MESSAGE>[ <dialog>][ <wParam> <lParam>]" as hostwin.h describes.
static std::string DeliveryLine(const Window& window, HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string line = MessageName(message);
    if (window.kind == WindowKind::Dialog) line += " " + HandleName(handle);
    if (message == WM_COMMAND) line += " " + std::to_string(wParam) + " " + HandleName((const void*)lParam);
    return line;
}

LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = WindowOf(handle);
    if (!window || window->kind == WindowKind::Control) return 0;  // controls: not modelled
    Event(DeliveryLine(*window, handle, message, wParam, lParam));
    if (window->kind == WindowKind::Class) {
        WNDPROC proc = window->proc;
        return proc(handle, message, wParam, lParam);
    }
    DLGPROC proc = window->dialogProc;
    INT_PTR handled = proc(handle, message, wParam, lParam);
    if (!handled && message == WM_CLOSE)  // the default dialog handling of the close box
        return Deliver(handle, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(handle, IDCANCEL));
    return handled;
}

void DestroyWindowNow(HWND handle, bool ncOnly) {
    Window* window = WindowOf(handle);
    if (!window) return;
    if (!ncOnly) Deliver(handle, WM_DESTROY, 0, 0);
    Deliver(handle, WM_NCDESTROY, 0, 0);
    window->alive = false;
    if (window->kind == WindowKind::Class) State().records.windowsAlive--;
    for (auto& entry : State().windows) {
        if (entry.second.parent == handle) entry.second.alive = false;
    }
    auto& queue = State().queue;
    for (auto it = queue.begin(); it != queue.end();) {  // a dead window gets no more messages
        it = WindowOf(it->hwnd) || !it->hwnd ? it + 1 : queue.erase(it);
    }
}

bool DispatchOne() {
    auto& queue = State().queue;
    if (queue.empty()) return false;
    MSG msg = queue.front();
    queue.pop_front();
    DispatchMessageA(&msg);
    return true;
}

static std::string UpperCase(std::string text) {
    for (char& c : text) c = (char)std::toupper((unsigned char)c);
    return text;
}

static bool IsFamily(HWND handle, HWND filter) {
    if (!filter || handle == filter) return true;
    Window* window = WindowOf(handle);
    return window && window->parent == filter;
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName) {
        Misuse("RegisterClassA without a class record or name");
        return 0;
    }
    std::string name = wc->lpszClassName;
    Event("RegisterClassA " + name);
    State().records.classCalls.push_back({name, wc->style, wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                                          HandleName(wc->hIcon), HandleName(wc->hCursor), HandleName(wc->hbrBackground),
                                          wc->lpszMenuName != nullptr});
    if (State().faults.failRegisterClass || !wc->lpfnWndProc) return 0;
    std::string key = UpperCase(name);
    if (State().classes.count(key)) return 0;  // already registered
    State().classes[key] = {name, wc->lpfnWndProc, wc->hInstance};
    State().records.registeredClasses.push_back(name);
    return (BOOL)(0xC000 + State().classes.size());  // an atom
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    std::string name = className ? className : "";
    Event("CreateWindowExA " + name);
    auto& calls = State().records.windowCalls;
    calls.push_back({exStyle, name, windowName ? windowName : "", style, x, y, width, height, parent, menu, instance,
                     param, nullptr});
    size_t call = calls.size() - 1;
    auto found = State().classes.find(UpperCase(name));
    if (State().faults.failCreateWindow || found == State().classes.end()) return nullptr;

    HWND handle = (HWND)NewHandleValue();
    Window window;
    window.className = found->second.name;
    window.proc = found->second.proc;
    window.instance = instance;
    window.text = windowName ? windowName : "";
    int left = x == CW_USEDEFAULT ? 0 : x, top = x == CW_USEDEFAULT ? 0 : y;
    int w = width == CW_USEDEFAULT ? State().screenWidth * 3 / 4 : width;
    int h = width == CW_USEDEFAULT ? State().screenHeight * 3 / 4 : height;
    window.rect = {left, top, left + w, top + h};
    State().windows[(uintptr_t)handle] = window;
    State().records.windowsAlive++;

    CREATESTRUCTA create = {param, instance, menu,        parent,     h,         w,
                            top,   left,     (LONG)style, windowName, className, exStyle};
    if (!Deliver(handle, WM_NCCREATE, 0, (LPARAM)&create)) {
        DestroyWindowNow(handle, true);
        return nullptr;
    }
    if (Deliver(handle, WM_CREATE, 0, (LPARAM)&create) == -1) {
        DestroyWindowNow(handle, State().faults.noDestroyOnRefusal);
        return nullptr;
    }
    State().records.windowsCreated++;
    calls[call].result = handle;
    return handle;
}

BOOL ShowWindow(HWND window, int show) {
    Event("ShowWindow " + HandleName(window) + " " + std::to_string(show));
    if (window && !WindowOf(window)) Misuse("ShowWindow on " + HandleName(window) + ", no window");
    return 0;  // "was not visible before"
}

BOOL UpdateWindow(HWND window) {
    Event("UpdateWindow " + HandleName(window));
    if (!WindowOf(window)) {
        if (window) Misuse("UpdateWindow on " + HandleName(window) + ", no window");
        return 0;
    }
    return 1;
}

BOOL RedrawWindow(HWND window, const RECT* update, void* region, UINT flags) {
    (void)update;
    (void)region;
    Event("RedrawWindow " + HandleName(window) + " " + std::to_string(flags));
    if (!WindowOf(window)) {
        Misuse("RedrawWindow on " + HandleName(window) + ", no window");
        return 0;
    }
    return 1;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
    if (!msg) {
        Misuse("GetMessageA without a MSG");
        return -1;
    }
    auto& queue = State().queue;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        bool inRange = (first == 0 && last == 0) || (it->message >= first && it->message <= last);
        if (inRange && IsFamily(it->hwnd, window)) {
            *msg = *it;
            queue.erase(it);
            return 1;
        }
    }
    *msg = MSG();
    msg->message = WM_QUIT;
    if (!State().quitPending) {
        Stall("GetMessageA: nothing queued and no quit message posted");
        return 0;
    }
    State().quitPending = false;
    msg->wParam = (WPARAM)State().quitCode;
    Event("GetMessageA -> WM_QUIT " + std::to_string(State().quitCode));
    return 0;
}

BOOL TranslateMessage(const MSG* msg) {
    (void)msg;
    return 0;  // no key messages exist here to translate
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;  // a thread message has no window to go to
    return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    if (message == WM_NCCREATE) return 1;
    if (message == WM_CLOSE) DestroyWindowNow(window, false);
    return 0;
}

void PostQuitMessage(int exitCode) {
    Event("PostQuitMessage " + std::to_string(exitCode));
    State().quitPending = true;
    State().quitCode = exitCode;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Event("PostMessageA " + HandleName(window) + " " + MessageName(message) + " " + std::to_string(wParam) + " " +
          HandleName((const void*)lParam));
    if (window && !WindowOf(window)) {
        Misuse("PostMessageA to " + HandleName(window) + ", no window");
        return 0;
    }
    MSG msg = MSG();
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    State().queue.push_back(msg);
    return 1;
}

}  // extern "C"
