// The bounded "%s" formatter (see text.h).
#include "install/text.h"

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
