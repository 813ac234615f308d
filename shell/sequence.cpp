// Installation sequence: everything the program does for the user, run inside
// the host window's creation. In order: read the title, check the package,
// the two pre-install checks, the confirmation, the install dialog (which
// writes everything), the completion message, the order info dialog and the
// start of the installed screen saver.
//
// Stops before anything is written when the package is damaged (exit code 1,
// with a message), when a check says stop or the user does not confirm (exit
// code 0). A failed extraction is reported instead of the completion, and
// nothing after it happens (exit code 1). Every text is composed within its
// buffer; a failure to get the installer's path or the Windows directory
// counts as a damaged installer, and every step that fetches them again
// passes silently when it cannot, so no step ever works on undefined text.
#include "install/install.h"
#include "install/naming.h"
#include "package/package.h"
#include "res/resource.h"
#include "shell/shell.h"
#include "res/texts.h"

#include <string.h>

// Only blanks, and only at the end: an all-blank title becomes empty.
static void TrimTitle(char* title) {
    size_t length = strlen(title);
    while (length > 0 && title[length - 1] == ' ') title[--length] = 0;
}

static void StopDamaged(const char* caption) {
    ShowMessage(caption, MB_OK | MB_ICONSTOP, TEXT_DAMAGED);
    gInstaller.exitCode = EXIT_FAILED;
}

// The confirmation names the Windows directory upper-cased. 1 on OK.
static int Confirm(const char* caption, const char* windowsDir) {
    char upperDir[PATH_SIZE], size[THOUSANDS_SIZE];
    FormatText(upperDir, sizeof upperDir, "%s", windowsDir);
    UpperCaseAscii(upperDir);
    int answer = ShowMessage(caption, MB_OKCANCEL | MB_ICONINFORMATION, TEXT_CONFIRM, gInstaller.saverFileName,
                             gInstaller.title, upperDir, FormatThousands(gInstaller.totalSize, size, sizeof size));
    return answer == IDOK;
}

// The install dialog writes everything while it is open, under the wait
// cursor. Should it never start its work, the screen saver is what failed.
static void RunInstallDialog(void) {
    gInstaller.extraction = EXTRACTION_NOT_RUN;
    FormatText(gInstaller.failedPath, sizeof gInstaller.failedPath, "%s", gInstaller.saverFileName);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    DialogBoxParamA(gInstaller.module, MAKEINTRESOURCEA(IDD_INSTALL), NULL, InstallDialogProc, 0);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
}

// Names the data folder: the Windows directory in the system's case ending in
// '\', and '\' with the installer base name upper-cased.
static void ReportCompletion(const char* caption, const char* ownPath, const char* windowsDir) {
    char folder[PATH_SIZE + 1], level[PATH_SIZE + 1];
    JoinPath(folder, sizeof folder, windowsDir, "");  // fits: windowsDir is shorter than PATH_SIZE
    level[0] = '\\';
    if (!MakeBaseName(ownPath, level + 1, sizeof level - 1)) level[1] = 0;
    UpperCaseAscii(level);
    ShowMessage(caption, MB_OK | MB_ICONEXCLAMATION, TEXT_COMPLETE, folder, level);
}

// Started by its bare name, which the system finds in the Windows directory;
// a name with a blank is quoted so that it is not read as name and argument.
static void StartSaver(void) {
    char command[SAVER_NAME_SIZE + 2];
    const char* form = strchr(gInstaller.saverFileName, ' ') ? "\"%s\"" : "%s";
    FormatText(command, sizeof command, form, gInstaller.saverFileName);
    WinExec(command, SW_SHOW);
}

void RunInstallation(void) {
    struct Installer* s = &gInstaller;
    char caption[CAPTION_SIZE], ownPath[PATH_SIZE], windowsDir[PATH_SIZE];
    s->exitCode = EXIT_OK;

    memset(s->title, 0, sizeof s->title);
    ReadTitle(s->title);
    TrimTitle(s->title);
    FormatText(caption, sizeof caption, TEXT_INSTALLER_CAPTION, s->title);
    if (CheckPackage() != PACKAGE_OK || !GetOwnPath(s->module, ownPath) || !GetWindowsDir(windowsDir)) {
        StopDamaged(caption);
        return;
    }
    if (!CheckExistingSaver(s->module) || !CheckDiskSpace(s->module)) return;
    MakeSaverFileName(ownPath, s->saverFileName, sizeof s->saverFileName);  // fits: SAVER_NAME_SIZE
    if (!Confirm(caption, windowsDir)) return;

    RunInstallDialog();
    if (s->extraction != EXTRACTION_DONE) {
        ShowMessage(caption, MB_OK | MB_ICONSTOP, TEXT_FAILED, s->failedPath);
        s->exitCode = EXIT_FAILED;
        return;
    }
    ReportCompletion(caption, ownPath, windowsDir);
    DialogBoxParamA(s->module, MAKEINTRESOURCEA(IDD_ORDER_INFO), NULL, OrderDialogProc, 0);
    StartSaver();
}
