// Install dialog procedure (template 103): a please-wait dialog that does the
// installation's writing while it is open. On opening it labels and centres
// itself and posts itself the start command, so that the work begins only
// once its modal loop runs; handling that command runs the extraction and the
// activation once, then ends the dialog with the command's id.
#include "install/install.h"
#include "res/resource.h"
#include "install/program.h"
#include "res/texts.h"

static INT_PTR OnInitInstallDialog(HWND dialog) {
    char text[CAPTION_SIZE];
    FormatText(text, sizeof text, TEXT_INSTALLER_CAPTION, gInstaller.title);
    SetWindowTextA(dialog, text);
    FormatText(text, sizeof text, TEXT_INSTALL_ITEM, gInstaller.title);
    SetDlgItemTextA(dialog, IDC_INSTALL_TITLE, text);
    CentreDialog(dialog);
    // The start command names the hidden OK button, as its click would.
    PostMessageA(dialog, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(dialog, IDOK));
    return 1;
}

static INT_PTR OnInstallCommand(HWND dialog, WPARAM wParam) {
    if (wParam != IDOK && wParam != IDCANCEL) return 0;
    // A second command (a stray Enter queued before the start command) must
    // not write everything again.
    if (gInstaller.extraction == EXTRACTION_NOT_RUN) {
        // The posted command comes before any paint, and no message is
        // handled while the files are written: paint the please-wait text now
        // or the user watches an empty box.
        RedrawWindow(dialog, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
        ExtractAndActivate();
    }
    EndDialog(dialog, (INT_PTR)wParam);
    return 1;
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: return OnInitInstallDialog(dialog);
    case WM_COMMAND: return OnInstallCommand(dialog, wParam);
    default: return 0;
    }
}
