// Message boxes and the Windows directory, which every step needs.
//
// Trusts nothing about lengths: the name query gives an empty text, never a
// partial or undefined one, when the system reports failure or a name that
// does not fit.
#include "install/install.h"
#include "install/naming.h"

#include <string.h>

int ShowMessage(const char* caption, UINT style, const char* format, ...) {
    char text[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof text, format, args);
    va_end(args);
    return MessageBoxA(NULL, text, caption, style);
}

// GetWindowsDirectoryA reports a name that did not fit by its needed size.
int GetWindowsDir(char* out) {
    UINT length = GetWindowsDirectoryA(out, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) {
        out[0] = 0;
        return 0;
    }
    out[length] = 0;
    return 1;
}
