// The one platform seam of the stub's code. The stub calls the Win32 API by its
// own names; on Windows they come from <windows.h>, on Linux from our own layer
// (platform/host), which gives each call the effect the installer relies on and
// lets tests script answers and inject faults. Which one is used is decided
// here and at link time, never inside a function.
#ifndef PLATFORM_WIN32_H
#define PLATFORM_WIN32_H

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/host/windows.h"
#endif

#endif
