// Zonsondergang: the small screen saver that the demo and the end-to-end
// scenarios install. A real 32-bit Windows screen saver, no framework:
//
//   /s         full screen, a setting sun over the sea with the data file's
//              text, until a key, a mouse button or a mouse move
//   /c[:hwnd]  a short settings message box that shows the data file's text
//   /p hwnd    returns at once (no preview)
//   no switch  like /c; this is how the installer starts it: by file name only
//
// The data file. The installer writes this program as <windir>\BASE.SCR, BASE
// being its own file name cut at the FIRST '.' and upper-cased, and the data
// file as <windir>\TORVANEL\KAVRELIN\<base>\<base>.DAT, <base> being its file
// name cut at the LAST '.'. So the folder cannot be derived from our own name
// (MY.SCR came from my.saver.exe, whose folder is my.saver), but it can be
// matched: we look at every folder D below TORVANEL\KAVRELIN whose name cut at
// its first '.' equals our own name cut at its first '.' (ASCII letters
// compared without case) and that holds D\D.DAT, and take the newest such
// file. That is exactly the folder an installer of our name wrote, and the
// newest one when two installers (my.saver.exe, my.other.exe) share a name.
//
// Every start appends one line to <windir>\saver-started.txt (mode, data
// file, command line) so that tests can see that and how it was started.
// Trusts nothing in the data file: at most SAVER_TEXT_MAX bytes are shown,
// up to the first NUL. C headers only, like the installer stub.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "saver_texts.h"

namespace {

enum { TIMER_ID = 1, FRAME_MS = 50, FRAMES_PER_CYCLE = 240, MOVE_SLACK = 4 };

struct SaverState {
    char windir[MAX_PATH];          // Windows directory, no trailing '\'
    char dataRoot[MAX_PATH];        // <windir>\TORVANEL\KAVRELIN
    char dataPath[MAX_PATH];        // the data file found, or empty
    char text[SAVER_TEXT_MAX + 1];  // its text, NUL-terminated
    FILETIME dataTime;              // last write time of dataPath
    int frame;                      // animation step, 0..FRAMES_PER_CYCLE-1
    int haveMouse;                  // 1 once the first mouse position is known
    POINT firstMouse;               // that first position
};

SaverState gSaver;

// Copies at most size-1 bytes and always terminates.
void CopyText(char* out, size_t size, const char* text) {
    size_t n = strlen(text);
    if (n >= size) n = size - 1;
    memcpy(out, text, n);
    out[n] = '\0';
}

// ASCII-only upper case, so the match does not depend on the code page.
char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

// 1 when a and b agree up to their first '.' (or end), letters without case.
int SameNameStem(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = (*a == '.') ? '\0' : UpperAscii(*a);
        char cb = (*b == '.') ? '\0' : UpperAscii(*b);
        if (ca != cb) return 0;
        if (ca == '\0') return 1;
    }
}

const char* LastComponent(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// The mode letter from the command line: what follows our own program name.
// Screen saver hosts pass "/s", "/c:1234", "/p 1234", in either case, with '/'
// or '-'. Anything else, or nothing, means the settings box.
char ParseMode(const char* cmdline) {
    const char* p = cmdline;
    if (*p == '"') {
        p = strchr(p + 1, '"');
        p = p ? p + 1 : cmdline + strlen(cmdline);
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    if (*p != '/' && *p != '-') return 'c';
    char c = UpperAscii(p[1]);
    if (c == 'S') return 's';
    if (c == 'P') return 'p';
    return 'c';
}

// Looks at one candidate folder; keeps its data file if it is the newest so far.
void ConsiderFolder(SaverState* s, const char* folder) {
    char path[MAX_PATH];
    int n = _snprintf(path, sizeof path, "%s\\%s\\%s.DAT", s->dataRoot, folder, folder);
    if (n < 0 || n >= (int)sizeof path) return;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &info)) return;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
    if (s->dataPath[0] && CompareFileTime(&info.ftLastWriteTime, &s->dataTime) <= 0) return;
    CopyText(s->dataPath, sizeof s->dataPath, path);
    s->dataTime = info.ftLastWriteTime;
}

// Finds our data file by the rule in the file comment; dataPath stays empty
// when there is none.
void FindDataFile(SaverState* s) {
    char own[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, own, sizeof own);
    if (n == 0 || n >= sizeof own) return;
    const char* stem = LastComponent(own);

    char pattern[MAX_PATH];
    int len = _snprintf(pattern, sizeof pattern, "%s\\*", s->dataRoot);
    if (len < 0 || len >= (int)sizeof pattern) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != '.' &&
            SameNameStem(found.cFileName, stem)) {
            ConsiderFolder(s, found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Reads at most SAVER_TEXT_MAX bytes of the data file, up to its first NUL.
void ReadDataText(SaverState* s) {
    s->text[0] = '\0';
    if (!s->dataPath[0]) return;
    HANDLE file =
        CreateFileA(s->dataPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD got = 0;
    if (!ReadFile(file, s->text, SAVER_TEXT_MAX, &got, NULL)) got = 0;
    CloseHandle(file);
    s->text[got] = '\0';
}

void WriteMarker(const SaverState* s, char mode) {
    char path[MAX_PATH];
    int n = _snprintf(path, sizeof path, "%s\\%s", s->windir, SAVER_MARKER_NAME);
    if (n < 0 || n >= (int)sizeof path) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[2 * MAX_PATH + 1100];
    n = _snprintf(line, sizeof line, SAVER_MARKER_LINE, mode, s->dataPath[0] ? s->dataPath : "-", GetCommandLineA());
    if (n < 0 || n >= (int)sizeof line) n = (int)sizeof line - 1;
    DWORD written;
    WriteFile(file, line, (DWORD)n, &written, NULL);
    CloseHandle(file);
}

void ShowSettings(const SaverState* s) {
    char message[MAX_PATH + SAVER_TEXT_MAX + 200];
    int n = s->dataPath[0] ? _snprintf(message, sizeof message, SAVER_SETTINGS_FOUND, s->dataPath, s->text)
                           : _snprintf(message, sizeof message, SAVER_SETTINGS_MISSING, s->dataRoot);
    if (n < 0 || n >= (int)sizeof message) message[sizeof message - 1] = '\0';
    MessageBoxA(NULL, message, SAVER_CAPTION, MB_OK | MB_ICONINFORMATION);
}

// ---- full-screen animation ----

COLORREF Blend(COLORREF a, COLORREF b, int num, int den) {
    int r = GetRValue(a) + (GetRValue(b) - GetRValue(a)) * num / den;
    int g = GetGValue(a) + (GetGValue(b) - GetGValue(a)) * num / den;
    int bl = GetBValue(a) + (GetBValue(b) - GetBValue(a)) * num / den;
    return RGB(r, g, bl);
}

void FillBand(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT band = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &band, brush);
    DeleteObject(brush);
}

// Sky darkening as the sun sinks, the sun, the sea over its lower part, the text.
void DrawScene(HDC dc, int width, int height, int frame, const char* text) {
    enum { BANDS = 24 };
    int horizon = height * 2 / 3;
    COLORREF zenith = Blend(RGB(70, 110, 200), RGB(20, 10, 50), frame, FRAMES_PER_CYCLE);
    COLORREF glow = Blend(RGB(250, 190, 90), RGB(200, 60, 30), frame, FRAMES_PER_CYCLE);
    for (int i = 0; i < BANDS; ++i) {
        FillBand(dc, 0, horizon * i / BANDS, width, horizon * (i + 1) / BANDS, Blend(zenith, glow, i, BANDS - 1));
    }
    int radius = height / 10;
    int sunTop = height * 2 / 5;
    int sunY = sunTop + (horizon + radius - sunTop) * frame / FRAMES_PER_CYCLE;
    HBRUSH sunBrush = CreateSolidBrush(RGB(255, 220, 80));
    HGDIOBJ oldBrush = SelectObject(dc, sunBrush);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, width / 2 - radius, sunY - radius, width / 2 + radius, sunY + radius);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(sunBrush);
    for (int i = 0; i < BANDS; ++i) {
        FillBand(dc, 0, horizon + (height - horizon) * i / BANDS, width, horizon + (height - horizon) * (i + 1) / BANDS,
                 Blend(RGB(30, 40, 90), RGB(5, 5, 25), i, BANDS - 1));
    }
    RECT box = {width / 8, height / 20, width - width / 8, height / 4};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, text, -1, &box, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

void PaintWindow(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first, so the picture does not flicker.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    DrawScene(memory, client.right, client.bottom, gSaver.frame, gSaver.dataPath[0] ? gSaver.text : SAVER_NO_DATA);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(window, &ps);
}

// A mouse move ends the saver only beyond a few pixels: some systems report
// one move when the window appears.
void OnMouseMove(HWND window, LPARAM lParam) {
    POINT at = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    if (!gSaver.haveMouse) {
        gSaver.firstMouse = at;
        gSaver.haveMouse = 1;
        return;
    }
    if (abs(at.x - gSaver.firstMouse.x) > MOVE_SLACK || abs(at.y - gSaver.firstMouse.y) > MOVE_SLACK) {
        DestroyWindow(window);
    }
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: SetTimer(window, TIMER_ID, FRAME_MS, NULL); return 0;
    case WM_TIMER:
        gSaver.frame = (gSaver.frame + 1) % FRAMES_PER_CYCLE;
        InvalidateRect(window, NULL, FALSE);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintWindow(window); return 0;
    case WM_SETCURSOR: SetCursor(NULL); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(window, lParam); return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: DestroyWindow(window); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE) return 0;  // we are the screen saver already
        break;
    case WM_DESTROY:
        KillTimer(window, TIMER_ID);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RunFullScreen(HINSTANCE instance) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = SaverWindowProc;
    wc.hInstance = instance;
    wc.hCursor = NULL;
    wc.lpszClassName = SAVER_CLASS;
    if (!RegisterClassA(&wc)) return 1;
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, SAVER_CLASS, SAVER_CAPTION, WS_POPUP | WS_VISIBLE, 0, 0,
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), NULL, NULL, instance, NULL);
    if (!window) return 1;
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SaverState* s = &gSaver;
    UINT n = GetWindowsDirectoryA(s->windir, sizeof s->windir);
    if (n == 0 || n >= sizeof s->windir) s->windir[0] = '\0';
    size_t len = strlen(s->windir);
    if (len > 0 && s->windir[len - 1] == '\\') s->windir[len - 1] = '\0';  // a root: "C:\"
    _snprintf(s->dataRoot, sizeof s->dataRoot, "%s\\%s", s->windir, SAVER_DATA_ROOT);
    s->dataRoot[sizeof s->dataRoot - 1] = '\0';

    char mode = ParseMode(GetCommandLineA());
    FindDataFile(s);
    ReadDataText(s);
    WriteMarker(s, mode);
    if (mode == 'p') return 0;
    if (mode == 's') return RunFullScreen(instance);
    ShowSettings(s);
    return 0;
}
