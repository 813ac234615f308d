// Thousands formatter: a 32-bit count as decimal text with ',' between groups
// of three digits counted from the right (1234567 -> "1,234,567"). The value
// is unsigned, so every count up to 4,294,967,295 reads as it is. Never writes
// past the caller's buffer: a buffer too small gets the leading part.
#include "install/install.h"

char* FormatThousands(uint32_t value, char* out, size_t size) {
    char digits[10];  // least significant first
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (size == 0) return out;
    size_t used = 0;
    for (int i = count - 1; i >= 0 && used + 1 < size; i--) {
        out[used++] = digits[i];
        if (i > 0 && i % 3 == 0 && used + 1 < size) out[used++] = ',';
    }
    out[used] = 0;
    return out;
}
