// Internal state of our Linux Win32 layer, shared by its source files, and
// the few helpers every subject file uses (event lines, handle names, stall
// and misuse notes). One instance per process; Reset() replaces it whole.
#ifndef PLATFORM_HOST_STATE_H
#define PLATFORM_HOST_STATE_H

#include "platform/hostwin/hostwin.h"

#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>

namespace hostwin {

enum class WindowKind { Class, Dialog, Control };

// One window of any kind. Handles are made-up pointer values, never
// dereferenced; a destroyed window stays in the table with alive = false so
// that a late call on its handle is recognised as misuse.
struct Window {
    WindowKind kind = WindowKind::Class;
    bool alive = true;
    std::string className;            // Class: the registered class name as given
    WNDPROC proc = nullptr;           // Class: the window procedure
    DLGPROC dialogProc = nullptr;     // Dialog: the dialog procedure
    HINSTANCE instance = nullptr;     // Class/Dialog: what GWL_HINSTANCE gives
    std::string text;                 // window text
    RECT rect = {0, 0, 0, 0};         // Class/Dialog: screen rectangle
    int templateId = 0;               // Dialog, Control: the dialog's template id
    int controlId = 0;                // Control: its id
    RECT controlRect = {0, 0, 0, 0};  // Control: pixels relative to the dialog's client area
    HWND parent = nullptr;            // Control: its dialog
    int clientX = 0, clientY = 0;     // Dialog: offset of the client area within the window
    bool ended = false;               // Dialog: EndDialog was called
    INT_PTR result = 0;               // Dialog: what EndDialog gave
    size_t record = 0;                // Dialog: index into Records::dialogs
};

struct WindowClass {
    std::string name;  // as registered
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
};

struct DialogAction {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct LayerState {
    LayerState();

    // Paths and files
    std::map<char, std::string> drives;  // upper-case letter -> host folder
    std::string moduleFileName;          // Windows path; empty = call fails
    std::string windowsDirectory;        // Windows path; empty = call fails
    std::set<int> fileHandles;           // descriptors from _lopen/_lcreat still open
    std::set<FILE*> streams;             // streams from StreamOpen still open
    // System
    bool freeBytesSet = false;    // SetFreeBytes was called
    uint64_t freeBytes = 0;       // its value
    int kernel32Refs = 0;         // LoadLibraryA("KERNEL32.DLL") not yet freed
    std::set<void*> localBlocks;  // LocalAlloc blocks not yet freed
    // Windows, dialogs, messages
    std::map<std::string, WindowClass> classes;    // key: class name upper-cased
    std::map<uintptr_t, Window> windows;           // key: handle value
    uintptr_t nextHandle = 0x10000;                // next made-up handle value
    std::map<uintptr_t, std::string> objectNames;  // icons, cursors, brushes -> name
    std::deque<MSG> queue;                         // posted messages, oldest first
    bool quitPending = false;                      // PostQuitMessage called, not yet retrieved
    int quitCode = 0;                              // its exit code
    HCURSOR cursor = nullptr;                      // what SetCursor last set
    std::map<int, DialogTemplate> templates;
    int baseX = 6, baseY = 13;  // dialog base units
    int screenWidth = 1024, screenHeight = 768;
    std::deque<int> messageBoxAnswers;
    std::map<int, std::deque<DialogAction>> dialogActions;  // per template id
    // Test-visible
    Faults faults;
    Counters counters;
    Records records;
};

LayerState& State();

// Appends one line to Records::events.
void Event(const std::string& line);
// Notes a place where a real system would wait for ever (Records::stalls).
void Stall(const std::string& what);
// Notes a call that a real system would refuse or ignore (Records::misuse).
void Misuse(const std::string& what);

// The name of a handle as event lines write it (see hostwin.h).
std::string HandleName(const void* handle);
// A made-up handle value, unique within the current state.
uintptr_t NewHandleValue();
// The window behind a handle, or null; `alive` only.
Window* WindowOf(HWND handle);

// The fault switches of the file and stream calls, each counting one call.
// A failing call sets errno as the system would: EACCES for an open or a
// creation, EIO for a read, ENOSPC for a write on a full disk.
bool OpenFails();    // an opening of an existing file (_lopen, StreamOpen for reading)
bool CreateFails();  // a creation (_lcreat, StreamOpen for writing)
bool ReadFails();    // a read (_lread, StreamRead)
enum class WriteFault { None, OneByteShort, DiskFull };
WriteFault NextWriteFault();  // a write (_lwrite, StreamWrite)

// Windows path helpers shared by the subject files.
bool HasDrive(const char* path);
// Windows path or host path -> host path; false for NULL or an unmapped drive.
bool MapPath(const char* path, std::string* hostPath);

// The stub's two dialog templates (dialogs.cpp).
std::map<int, DialogTemplate> DefaultDialogTemplates();
// Deliveries and the modal loop (windows.cpp), used by dialogs and message boxes.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
std::string MessageName(UINT message);
// Dispatches the oldest queued message, as a modal loop does; false when
// the queue is empty.
bool DispatchOne();
// The most messages one modal loop delivers before it gives up (a stall):
// a procedure that keeps posting to itself must not hang the test.
enum { kMaxDeliveries = 10000 };
// Ends a window: WM_DESTROY (unless `ncOnly`), WM_NCDESTROY, queue purged.
void DestroyWindowNow(HWND window, bool ncOnly);

}  // namespace hostwin

#endif
