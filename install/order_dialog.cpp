// Order info dialog procedure and the centring rule that both dialogs use
// when they open. The dialog ends only on a command whose whole wParam is
// IDOK (OK button, Enter) or IDCANCEL (Escape, close box); a command with a
// notification code in its high half leaves it open.
#include "install/install.h"

int CentredPosition(int screen, int size) {
    return screen / 2 - size / 2;  // C++ division truncates toward zero
}

void CentreDialog(HWND dialog) {
    RECT rect;
    if (!GetWindowRect(dialog, &rect)) return;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = CentredPosition(GetSystemMetrics(SM_CXSCREEN), width);
    int y = CentredPosition(GetSystemMetrics(SM_CYSCREEN), height);
    MoveWindow(dialog, x, y, width, height, 0);
}

static INT_PTR OnOrderCommand(HWND dialog, WPARAM wParam) {
    if (wParam != IDOK && wParam != IDCANCEL) return 0;
    EndDialog(dialog, (INT_PTR)wParam);
    return 1;
}

INT_PTR CALLBACK OrderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: CentreDialog(dialog); return 1;  // the system gives the focus to OK, the only tab stop
    case WM_COMMAND: return OnOrderCommand(dialog, wParam);
    default: return 0;
    }
}
