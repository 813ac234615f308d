// Text composition, message boxes and the two system names every step needs.
//
// Trusts nothing about lengths: the formatter cuts a text at its buffer's end
// and says so; the name queries give an empty text, never a partial or
// undefined one, when the system reports failure or a name that does not fit.
#include "install/install.h"
#include "install/naming.h"

#include <string.h>

int FormatTextV(char* out, size_t size, const char* format, va_list args) {
    if (size == 0) return 0;
    size_t used = 0;
    int whole = 1;
    for (const char* f = format; *f; f++) {
        const char* piece = f;
        size_t length = 1;
        if (f[0] == '%' && f[1] == 's') {
            piece = va_arg(args, const char*);
            if (!piece) piece = "";
            length = strlen(piece);
            f++;
        }
        if (length > size - 1 - used) {
            length = size - 1 - used;
            whole = 0;
        }
        memcpy(out + used, piece, length);
        used += length;
    }
    out[used] = 0;
    return whole;
}

int FormatText(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int whole = FormatTextV(out, size, format, args);
    va_end(args);
    return whole;
}

int ShowMessage(const char* caption, UINT style, const char* format, ...) {
    char text[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof text, format, args);
    va_end(args);
    return MessageBoxA(NULL, text, caption, style);
}

// GetModuleFileNameA reports a name that did not fit by filling the whole
// buffer (older systems without a NUL); anything at or above the size fails.
int GetOwnPath(HINSTANCE module, char* out) {
    DWORD length = GetModuleFileNameA(module, out, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) {
        out[0] = 0;
        return 0;
    }
    out[length] = 0;
    return 1;
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
