// Declarations of the Win32 calls, types and constants that the stub uses, for
// our own Linux layer. Same names, same values as Win32; the functions are
// implemented in platform/host/*.cpp and controlled by tests via hostwin.h.
// Paths are Windows paths ("C:\dir\file"); the layer maps drive letters onto
// host folders (see hostwin.h). A path without a drive letter is a host path
// and passes through unchanged, which is how the host tools open any file.
#ifndef PLATFORM_HOST_WINDOWS_H
#define PLATFORM_HOST_WINDOWS_H

#include <stdint.h>
#include <stddef.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int INT;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HICON__* HICON;
typedef struct HCURSOR__* HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef void* HGDIOBJ;
typedef void* HLOCAL;
typedef int HFILE;
typedef intptr_t (*FARPROC)(void);
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
    LONG left, top, right, bottom;
} RECT, *LPRECT;
typedef struct tagPOINT {
    LONG x, y;
} POINT;
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;
typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;
typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA;
typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    uint64_t QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;
typedef BOOL (*GetDiskFreeSpaceExA_t)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

#define MAKEINTRESOURCEA(i) ((LPSTR)(UINT_PTR)(WORD)(i))
#define MAX_PATH 260
#define HFILE_ERROR ((HFILE)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define MOVEFILE_REPLACE_EXISTING 0x1

enum {
    OF_READ = 0,
    OF_WRITE = 1,
    OF_READWRITE = 2,
    OF_SHARE_DENY_NONE = 0x40,
    FILE_BEGIN = 0,
    FILE_CURRENT = 1,
    FILE_END = 2,
    LMEM_FIXED = 0,
    LMEM_ZEROINIT = 0x40,
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_NCCREATE = 0x0081,
    WM_NCDESTROY = 0x0082,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
    CS_VREDRAW = 0x1,
    CS_HREDRAW = 0x2,
    WS_OVERLAPPEDWINDOW = 0x00CF0000,
    SW_SHOW = 5,
    SW_SHOWDEFAULT = 10,
    WHITE_BRUSH = 0,
    GWL_HINSTANCE = -6,
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SPI_SETSCREENSAVEACTIVE = 17,
    SPIF_UPDATEINIFILE = 1,
    RDW_ALLCHILDREN = 0x0080,
    RDW_UPDATENOW = 0x0100
};
#define CW_USEDEFAULT ((int)0x80000000)
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)

#ifdef __cplusplus
extern "C" {
#endif

// KERNEL32: files (host file system, drive letters mapped, see hostwin.h)
HFILE _lopen(LPCSTR path, int mode);
HFILE _lcreat(LPCSTR path, int attribute);
UINT _lread(HFILE file, LPVOID buffer, UINT count);
UINT _lwrite(HFILE file, LPCSTR buffer, UINT count);
LONG _llseek(HFILE file, LONG offset, int origin);
HFILE _lclose(HFILE file);
BOOL CreateDirectoryA(LPCSTR path, void* security);
BOOL DeleteFileA(LPCSTR path);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
DWORD GetFileAttributesA(LPCSTR path);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
BOOL GetDiskFreeSpaceA(LPCSTR root, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                       DWORD* totalClusters);
BOOL GetDiskFreeSpaceExA(LPCSTR dir, PULARGE_INTEGER availableToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
// KERNEL32: process and system
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
HLOCAL LocalAlloc(UINT flags, size_t bytes);
HLOCAL LocalFree(HLOCAL memory);
UINT WinExec(LPCSTR commandLine, UINT show);
// USER32
BOOL RegisterClassA(const WNDCLASSA* windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL ShowWindow(HWND window, int show);
BOOL UpdateWindow(HWND window);
BOOL RedrawWindow(HWND window, const RECT* update, void* region, UINT flags);
BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
HWND GetDlgItem(HWND dialog, int id);
LONG GetWindowLongA(HWND window, int index);
BOOL GetWindowRect(HWND window, LPRECT rect);
int GetSystemMetrics(int index);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID pointer, UINT flags);
// GDI32
HGDIOBJ GetStockObject(int object);

#ifdef __cplusplus
}
#endif

#endif
