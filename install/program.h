// The program-wide values of the installer: written once, early, by the entry
// point and the installation sequence (shell/), read by the checks and the
// install dialog (here, below the shell). One process-wide instance; tests
// start each run from a clean one with ResetInstaller().
//
// C headers only: this is part of the stub.
#ifndef INSTALL_PROGRAM_H
#define INSTALL_PROGRAM_H

#include "install/naming.h"
#include "package/records.h"
#include "platform/win32.h"

#include <stdint.h>

enum {
    TITLE_BUFFER_SIZE = CAT_TITLE_SIZE + 1,  // 32 title bytes and a NUL that is never overwritten
    SAVER_NAME_SIZE = PATH_SIZE + 8,         // a 259-character own name without '.' still fits with ".SCR"
    WIDE_PATH_SIZE = 1024                    // windir (259) + '\' + data folder path (541), with room
};

// How the install dialog's work ended, for the sequence to report.
enum ExtractionOutcome {
    EXTRACTION_NOT_RUN = 0,  // the install dialog never started its work
    EXTRACTION_DONE,         // every entry written whole, screen saver activated
    EXTRACTION_FAILED        // stopped at failedPath; nothing activated
};

// Exit codes: the wParam of the quit message.
enum { EXIT_OK = 0, EXIT_FAILED = 1 };

struct Installer {
    HINSTANCE module;                     // instance handle given to WinMain, set before the host window exists
    char title[TITLE_BUFFER_SIZE];        // the package's title, trimmed of trailing blanks by the sequence
    uint32_t totalSize;                   // total installed size in bytes, set by the disk space check
    char saverFileName[SAVER_NAME_SIZE];  // BASE.SCR, upper-case, no folder; set before the install dialog runs
    enum ExtractionOutcome extraction;    // what the install dialog achieved
    char failedPath[WIDE_PATH_SIZE];      // destination that could not be written whole (EXTRACTION_FAILED)
    int quitPosted;                       // 1 once the quit message has been posted
    int exitCode;                         // wParam of the quit message: EXIT_OK or EXIT_FAILED
};

extern struct Installer gInstaller;

// Back to the values at process start: all zero.
void ResetInstaller(void);

#endif
