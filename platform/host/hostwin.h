// Test control of our Linux Win32 layer: which host folder each drive letter
// stands for, what the module file name and the Windows directory are,
// scripted answers for message boxes and dialogs, a record of every call with
// a visible effect, and fault switches. Host-only (tests and tools); the
// stub's code never sees it.
//
// Nothing in the layer ever blocks: a message loop or a modal dialog that
// would wait for input nobody scripted ends at once and records the fact in
// Record().stalls, so a faulty test fails instead of hanging.
#ifndef PLATFORM_HOST_HOSTWIN_H
#define PLATFORM_HOST_HOSTWIN_H

#include "platform/host/windows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

// Back to a clean state: no drives, no module file name, no Windows
// directory, no answers, no faults, empty records, counters at zero.
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
void QueueMessageBoxAnswer(int answer);

// What the user does in an open dialog once its procedure has handled every
// message posted so far: a message sent to the dialog procedure (for example
// WM_COMMAND with IDOK, as the Enter key or the OK button does). Actions are
// consumed in order by the dialog whose template id they name. A dialog with
// nothing left to handle and no action queued records a stall and ends with -1.
void QueueDialogAction(int templateId, UINT message, WPARAM wParam, LPARAM lParam);

// Screen size that GetSystemMetrics reports (default 1024 x 768).
void SetScreenSize(int width, int height);

// Free space that the disk queries report, in bytes, per call kind. Default:
// statvfs of the host folder behind the directory asked about.
void SetFreeBytes(uint64_t availableToCaller);

// --- Records of what the program did ----------------------------------------
struct MessageBoxCall {
    std::string text;     // exact bytes
    std::string caption;  // exact bytes
    UINT style;
    int answer;           // what the layer returned
};
struct DialogCall {
    int templateId;           // 103, 104
    std::string windowText;   // last SetWindowTextA on the dialog
    std::string item1001;     // last SetDlgItemTextA(1001), when the template has it
    RECT rect;                // window rectangle after the dialog's own moves
    INT_PTR result;           // what DialogBoxParamA returned
};
struct ProfileWrite {
    std::string section, key, value, file;
};
struct SpiCall {
    UINT action, param, flags;
};
struct ExecCall {
    std::string commandLine;
    UINT show;
};
struct Records {
    std::vector<std::string> events;        // every visible call in order, one line each
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<DialogCall> dialogs;
    std::vector<ProfileWrite> profileWrites;
    std::vector<SpiCall> spiCalls;
    std::vector<ExecCall> execs;
    std::vector<std::string> cursors;        // "IDC_WAIT", "IDC_ARROW" as SetCursor was given them
    std::vector<std::string> stalls;         // places where a real system would have waited for ever
    std::vector<std::string> registeredClasses;
    int libraryLoads = 0, libraryFrees = 0;  // LoadLibraryA / FreeLibrary balance
    int localAllocs = 0, localFrees = 0;
    int windowsCreated = 0;                  // CreateWindowExA that returned a window
    int windowsAlive = 0;                    // windows not destroyed
};
const Records& Record();

// --- Fault switches, counted from the last Reset(); 0 = off -------------------
struct Faults {
    int failCreate = 0;         // the Nth file creation (_lcreat, fopen for writing) fails
    int shortWrite = 0;         // the Nth write (_lwrite, fwrite) stores one byte fewer than asked
    bool failRegisterClass = false;
    bool failCreateWindow = false;      // CreateWindowExA fails before any message
    bool noDestroyOnRefusal = false;    // a refused WM_CREATE gets WM_NCDESTROY only (as Wine 8 does)
    bool noDiskFreeSpaceEx = false;     // GetProcAddress does not find GetDiskFreeSpaceExA
    bool failDiskFreeSpaceEx = false;   // GetDiskFreeSpaceExA returns 0
    bool failDiskFreeSpace = false;     // GetDiskFreeSpaceA returns 0
    bool failShortPath = false;         // GetShortPathNameA returns 0
    bool failLocalAlloc = false;
};
Faults& FaultSwitches();

struct Counters {
    int creates = 0;      // file creations attempted
    int writes = 0;       // writes attempted
    int opens = 0;        // successful _lopen
    int openHandles = 0;  // handles from _lopen/_lcreat not yet closed
    int openStreams = 0;  // FILE streams from fopen not yet closed (through the layer)
};
const Counters& Count();

}  // namespace hostwin

#endif
