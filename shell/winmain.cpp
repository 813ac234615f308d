// Entry point and host window. The host window is only a vehicle: the whole
// installation runs inside the handling of its creation message, which always
// refuses creation, so the window never exists once CreateWindowExA returns.
// The command line is never read.
//
// The process always ends: the quit message is posted when the refused window
// is destroyed, and if that never happened (class or window not to be had, or
// a platform that sends no WM_DESTROY for a refused creation) WinMain posts it
// itself before its message loop. The exit code is the sequence's verdict;
// 1 when the sequence never ran.
#include "res/resource.h"
#include "shell/shell.h"

static const char HOST_CLASS_NAME[] = "QMDXInst";

static void PostQuit(void) {
    gInstaller.quitPosted = 1;
    PostQuitMessage(gInstaller.exitCode);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: RunInstallation(); return -1;  // refuse creation: the platform destroys the window
    case WM_DESTROY: PostQuit(); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

static void RegisterHostClass(HINSTANCE instance) {
    WNDCLASSA windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_STUB));
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = HOST_CLASS_NAME;
    RegisterClassA(&windowClass);
}

// Ends at the quit message; a failing GetMessageA ends it too, with the
// sequence's verdict.
static int RunMessageLoop(void) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? (int)message.wParam : gInstaller.exitCode;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)commandLine;
    if (!previous) RegisterHostClass(instance);
    gInstaller.module = instance;
    gInstaller.exitCode = EXIT_FAILED;  // until the sequence has run
    gInstaller.quitPosted = 0;
    HWND window = CreateWindowExA(0, HOST_CLASS_NAME, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
    if (!gInstaller.quitPosted) PostQuit();
    ShowWindow(window, show);  // a null handle: nothing is ever shown
    UpdateWindow(window);
    return RunMessageLoop();
}
