// The process entry of the stub and of the sample screen saver, in place of
// the C runtime's start-up code: neither needs what that code prepares (no
// constructors, no TLS, no command-line arguments array, no
// pseudo-relocations, no atexit list), and it costs several KB of the file.
// msvcrt.dll, whose functions they call, sets itself up when it is loaded,
// as every DLL does.
//
// The entry gives WinMain what the runtime's code would: the module handle,
// the command line after the program's name, and the show command from the
// start-up information; the process ends with WinMain's return value.
#include <windows.h>

// The command line after the program's name (quoted or not) and the blanks
// after it.
static LPSTR CommandTail(LPSTR line) {
    int quoted = 0;
    for (; *line != '\0'; line++) {
        if (*line == '"')
            quoted = !quoted;
        else if (!quoted && (*line == ' ' || *line == '\t'))
            break;
    }
    while (*line == ' ' || *line == '\t') line++;
    return line;
}

extern "C" void ProcessStartup(void) {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, CommandTail(GetCommandLineA()), show));
}
