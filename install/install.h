// Installation steps: the checks before installing, the thousands formatter,
// the install dialog (extraction and activation), the order info dialog and
// the centring rule both dialogs use, and the one function every message box
// goes through.
//
// Texts are composed with a bounded "%s" formatter: a text that would not fit
// its buffer is cut, never written past it. The buffers are sized so that the
// longest real inputs (32-character title, 259-character paths) fit whole.
//
// C headers only: this is part of the stub.
#ifndef INSTALL_INSTALL_H
#define INSTALL_INSTALL_H

#include "install/text.h"
#include "package/package.h"
#include "platform/win32.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

enum {
    CAPTION_SIZE = 256,   // a caption holds the title (32) and a few words
    MESSAGE_SIZE = 1024,  // the longest message holds an 801-character path and its sentence
    COPY_BUFFER_SIZE = 2048
};

// Free space that cannot be found out; also what a count beyond 32 bits gives.
static const uint32_t FREE_SPACE_UNKNOWN = 0xFFFFFFFFu;

// Name of the file each entry is first written to, in its destination's
// folder. No entry can have this name: the screen saver ends in ".SCR", the
// data file in ".DAT", every extra file begins with "FILE".
#define TEMPORARY_FILE_NAME "~QMDXINS.TMP"

// --- Texts and messages ------------------------------------------------------

// Every message box of the installer: formats `format` with the arguments and
// shows it with no owner window. Returns the answer.
int ShowMessage(const char* caption, UINT style, const char* format, ...);

// The Windows directory into a buffer of PATH_SIZE (the installer's own path:
// GetOwnPath). 1 on success; 0 with an empty text when the system gives
// nothing or a text that would not fit.
int GetWindowsDir(char* out);

// --- Pre-install checks (1 = go on, 0 = stop) --------------------------------

// Asks before an existing screen saver of the name the install will write is
// replaced; on No advises renaming the installer.
int CheckExistingSaver(HINSTANCE module);

// Has the total installed size computed (gInstaller.totalSize) and asks when
// the Windows directory's drive has no more free kilobytes than needed.
int CheckDiskSpace(HINSTANCE module);

// Free kilobytes available to the user on the drive of `directory`;
// FREE_SPACE_UNKNOWN when not to be had or beyond 32 bits.
uint32_t QueryFreeKilobytes(const char* directory);

// --- Dialogs -------------------------------------------------------------------

// Install dialog (template 103): labels and centres itself, then extracts
// every entry and activates the screen saver while handling its own start
// command. The outcome goes to gInstaller.extraction / failedPath.
INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Order info dialog (template 104): centres itself, ends on IDOK or IDCANCEL.
INT_PTR CALLBACK OrderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Centring rule: moves `dialog` to the middle of the primary screen, size kept.
void CentreDialog(HWND dialog);

// Where an extent of `size` pixels starts when centred on `screen` pixels:
// screen / 2 - size / 2, each halving truncated toward zero.
int CentredPosition(int screen, int size);

// --- Extraction ----------------------------------------------------------------

// Writes every catalogue entry to its destination, each through a temporary
// file that replaces the destination only once it is whole; then records the
// screen saver in system.ini and switches it on. Stops at the first entry that
// cannot be written whole, leaving that destination as it was and activating
// nothing. Sets gInstaller.extraction (and failedPath).
void ExtractAndActivate(void);

#endif
