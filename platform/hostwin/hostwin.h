// Test control of our Linux Win32 layer: which host folder each drive letter
// stands for, what the module file name and the Windows directory are,
// scripted answers for message boxes and dialogs, a record of every call with
// a visible effect, and fault switches. Host-only (tests and tools); the
// stub's code never sees it.
//
// Nothing in the layer ever blocks: a message loop or a modal dialog that
// would wait for input nobody scripted ends at once and records the fact in
// Record().stalls, so a faulty test fails instead of hanging; so does a modal
// loop whose procedure keeps posting to itself (after 10,000 deliveries).
//
// Record().events: one line per call with a visible effect, in call order.
// Handles are written by name: NULL; a window made by CreateWindowExA by its
// class name (QMDXInst); a dialog by its template id (103); a dialog control
// as <template>.<control id> (103.1, 103.-1); a cursor as IDC_ARROW,
// IDC_WAIT or #<number>; anything else as 0x<hex>. Lines carry no results
// but those written with "->" below; the others are in the structured
// records and counters.
//
//   RegisterClassA <class>
//   CreateWindowExA <class>
//   <MESSAGE>                          a message handed to a window procedure
//   <MESSAGE> <dialog>                 a message handed to a dialog procedure
//        MESSAGE is WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY, WM_CLOSE,
//        WM_INITDIALOG, WM_QUIT, or WM_0x<hex>; a WM_COMMAND line goes on with
//        " <wParam> <lParam as a handle>": "WM_COMMAND 103 1 103.1".
//        A dialog's end shows as "WM_DESTROY 103", "WM_NCDESTROY 103".
//   ShowWindow <window> <show>         UpdateWindow <window>
//   PostMessageA <window> <MESSAGE> <wParam> <lParam as a handle>
//   PostQuitMessage <exit code>
//   GetMessageA -> WM_QUIT <exit code> the message loop met the quit message
//   MessageBoxA caption=<caption> style=0x<hex> -> <answer>   (as the box closes)
//   DialogBoxParamA <template>         as the dialog opens
//   DialogBoxParamA <template> -> <result>    as it returns
//   EndDialog <dialog> <result>
//   SetWindowTextA <window> <text>     SetDlgItemTextA <dialog> <id> <text>
//   MoveWindow <window> <x> <y> <width> <height> <repaint>
//   SetCursor <cursor>
//   WritePrivateProfileStringA <section> <key>=<value>   (key or "=value"
//        left out when the call passes NULL for it)
//   SystemParametersInfoA <action> <param> <NULL|pointer> <flags>
//   WinExec <command line> <show>
//   _lcreat <path>   CreateDirectoryA <path>   DeleteFileA <path>
//   MoveFileExA <from> <to>   fopen <path> <mode>   (Windows paths; fopen is
//        StreamOpen when it creates: mode "w" or "a")
// Texts are written as given, bytes unchanged (they may hold blanks).
#ifndef PLATFORM_HOST_HOSTWIN_H
#define PLATFORM_HOST_HOSTWIN_H

#include "platform/host/windows.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hostwin {

// Back to a clean state: no drives, no module file name, no Windows
// directory, no answers, no faults, empty records, counters at zero, the two
// default dialog templates, a 1024 x 768 screen. File handles from _lopen and
// _lcreat still open are closed; FILE streams and LocalAlloc blocks still
// open are forgotten (their owner may still use them).
void Reset();

// Drive letter `letter` ("C") stands for the host folder `hostRoot`.
void MapDrive(char letter, const std::string& hostRoot);

// Windows path -> host path: drive letter mapped, '\' and '/' both separate,
// each component matched case-insensitively against what exists (as Windows
// does), the rest taken as given; ".." never climbs above the drive's root.
// A path without a drive letter is a host path and is returned unchanged.
// Returns false for an unmapped drive.
bool ToHostPath(const char* windowsPath, std::string* hostPath);

// What GetModuleFileNameA reports (a Windows path); empty = the call fails.
void SetModuleFileName(const std::string& windowsPath);
// What GetWindowsDirectoryA reports; empty = the call fails.
void SetWindowsDirectory(const std::string& windowsPath);

// --- Scripted answers -------------------------------------------------------
// MessageBoxA returns the queued answers in order (IDOK, IDCANCEL, IDYES,
// IDNO...). With the queue empty it records a stall and returns IDCANCEL.
// An answer that the box's buttons cannot give (IDYES to MB_OKCANCEL) is
// returned all the same and noted in Record().misuse.
void QueueMessageBoxAnswer(int answer);

// What the user does in an open dialog once its procedure has handled every
// message posted so far: a message sent to the dialog procedure (for example
// WM_COMMAND with IDOK, as the Enter key or the OK button does). Actions are
// consumed in order by the dialog whose template id they name. A dialog with
// nothing left to handle and no action queued records a stall and ends with -1.
// WM_CLOSE (the close box) that the procedure leaves unhandled becomes
// WM_COMMAND IDCANCEL, as the default dialog handling does.
void QueueDialogAction(int templateId, UINT message, WPARAM wParam, LPARAM lParam);

// Screen size that GetSystemMetrics reports (default 1024 x 768).
void SetScreenSize(int width, int height);

// Free space that both disk queries report, in bytes (the bytes available to
// the caller; GetDiskFreeSpaceA splits them into clusters). Default: statvfs
// of the host folder behind the directory asked about.
void SetFreeBytes(uint64_t availableToCaller);

// --- Dialog templates ---------------------------------------------------------
// What the layer knows of a dialog template: enough to give the dialog and
// its controls their window rectangles and to answer GetDlgItem. Reset()
// defines the stub's two templates, 103 (187 x 75, controls 1, 2, -1, -1,
// 1001, no title bar) and 104 (205 x 154, title bar, OK button 1 and
// statics), with their control rectangles.
struct DialogControl {
    int id;                   // -1 for statics nobody addresses
    int x, y, width, height;  // dialog units, relative to the client area
};
struct DialogTemplate {
    int id;
    int width, height;                    // client area, dialog units
    bool titleBar;                        // WS_CAPTION: the frame has a caption bar
    std::vector<DialogControl> controls;  // template order
};
// Adds a template or replaces the one of the same id.
void DefineDialogTemplate(const DialogTemplate& dialogTemplate);
// Dialog base units in pixels (default 6 x 13, MS Sans Serif 8 pt at 96 dpi):
// pixels = units * baseX / 4 across, units * baseY / 8 down, rounded. Every
// dialog has a 3-pixel frame on each side plus a 19-pixel caption bar when
// its template has a title bar. A dialog opens at (0, 0).
void SetDialogBaseUnits(int baseX, int baseY);

// --- Records of what the program did ----------------------------------------
struct MessageBoxCall {
    std::string text;     // exact bytes
    std::string caption;  // exact bytes
    UINT style;
    int answer;  // what the layer returned
    HWND owner;  // the owner window given
};
struct DialogCall {
    int templateId;                        // 103, 104
    std::string windowText;                // last SetWindowTextA on the dialog
    std::string item1001;                  // last SetDlgItemTextA(1001), when the template has it
    RECT rect;                             // window rectangle after the dialog's own moves
    INT_PTR result;                        // what DialogBoxParamA returned (while open: 0)
    HWND owner;                            // the owner window given
    HINSTANCE instance;                    // the instance given (what GWL_HINSTANCE reports)
    LPARAM initParam;                      // the value handed on with WM_INITDIALOG
    std::map<int, std::string> itemTexts;  // last text set per control id
};
struct ProfileWrite {
    std::string section, key, value, file;  // file as given; NULL key/value give ""
};
struct SpiCall {
    UINT action, param, flags;
};
struct ExecCall {
    std::string commandLine;
    UINT show;
    std::string program;  // host path of the program found (empty: not found)
    UINT result;          // 33 when found, 2 (file not found) otherwise
};
struct ClassCall {  // RegisterClassA, as given
    std::string className;
    UINT style;
    int classExtra, windowExtra;
    HINSTANCE instance;
    std::string icon;    // "101" for LoadIconA(instance, 101); "NULL"
    std::string cursor;  // "IDC_ARROW", ...; "NULL"
    std::string brush;   // "WHITE_BRUSH", "stock <n>"; "NULL"
    bool hasMenu;
};
struct CreateWindowCall {  // CreateWindowExA, as given
    DWORD exStyle;
    std::string className, windowName;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
    HWND result;
};
struct Records {
    std::vector<std::string> events;  // every visible call in order, one line each
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<DialogCall> dialogs;
    std::vector<ProfileWrite> profileWrites;
    std::vector<SpiCall> spiCalls;
    std::vector<ExecCall> execs;
    std::vector<std::string> cursors;  // "IDC_WAIT", "IDC_ARROW" as SetCursor was given them
    std::vector<std::string> stalls;   // places where a real system would have waited for ever
    std::vector<std::string> registeredClasses;
    int libraryLoads = 0, libraryFrees = 0;  // LoadLibraryA / FreeLibrary balance
    int localAllocs = 0, localFrees = 0;
    int windowsCreated = 0;           // CreateWindowExA that returned a window
    int windowsAlive = 0;             // of those made by CreateWindowExA, not destroyed
    std::vector<std::string> misuse;  // calls a real system would refuse or ignore:
                                      // unknown handles, impossible answers, double frees
    std::vector<ClassCall> classCalls;
    std::vector<CreateWindowCall> windowCalls;
};
const Records& Record();

// The events whose first word is one of `firstWords`, in order: for asserting
// one kind of call without the others ({"MessageBoxA", "DialogBoxParamA"}).
std::vector<std::string> EventsOf(const std::vector<std::string>& firstWords);

// --- Fault switches, counted from the last Reset(); 0 = off -------------------
struct Faults {
    // Files and streams count when they go through the layer: the handle-based
    // calls on any handle it gave out, the stream calls on any stream, Windows
    // path or host path. A failing call sets errno as the system would.
    int failOpen = 0;    // the Nth opening of an existing file (_lopen, StreamOpen for
                         // reading) fails: EACCES
    int failCreate = 0;  // the Nth file creation (_lcreat, StreamOpen for writing) fails: EACCES
    int failRead = 0;    // the Nth read (_lread, StreamRead) fails, delivering nothing: EIO
    int shortWrite = 0;  // the Nth write (_lwrite, StreamWrite) stores one byte fewer than asked
    int diskFull = 0;    // the Nth write and every later one store nothing: ENOSPC
    bool failRegisterClass = false;
    bool failCreateWindow = false;     // CreateWindowExA fails before any message
    bool noDestroyOnRefusal = false;   // a refused WM_CREATE gets WM_NCDESTROY only (as Wine 8 does)
    bool noDiskFreeSpaceEx = false;    // GetProcAddress does not find GetDiskFreeSpaceExA
    bool failDiskFreeSpaceEx = false;  // GetDiskFreeSpaceExA returns 0
    bool failDiskFreeSpace = false;    // GetDiskFreeSpaceA returns 0
    bool failShortPath = false;        // GetShortPathNameA returns 0
    bool failLocalAlloc = false;
    bool noKernel32 = false;  // LoadLibraryA("KERNEL32.DLL") returns NULL
};
Faults& FaultSwitches();

struct Counters {
    int openAttempts = 0;  // openings of existing files attempted (_lopen, StreamOpen for reading)
    int creates = 0;       // file creations attempted
    int reads = 0;         // reads attempted
    int writes = 0;        // writes attempted
    int opens = 0;         // successful _lopen
    int openHandles = 0;   // handles from _lopen/_lcreat not yet closed
    int openStreams = 0;   // FILE streams from StreamOpen not yet closed (through the layer)
};
const Counters& Count();

}  // namespace hostwin

#endif
