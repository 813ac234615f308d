// The installer shell: the entry point, the host window whose creation runs
// the whole install, and the installation sequence.
//
// C headers only: this is part of the stub.
#ifndef SHELL_SHELL_H
#define SHELL_SHELL_H

#include "install/program.h"
#include "platform/win32.h"

// Runs the whole installation sequence; called by the host window procedure
// for WM_CREATE. Leaves its verdict in gInstaller.exitCode.
void RunInstallation(void);

// The host window procedure and the entry point.
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

#endif
