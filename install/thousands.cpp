// Decimal formatter: a 32-bit count as decimal text, '0'-padded to a least
// number of digits, optionally with a separator between groups of three
// digits counted from the right (1234567 -> "1,234,567"; 13 -> "0013"); the
// installer's counts with the separator of the language it is built for. The
// value is unsigned, so every count up to 4,294,967,295 reads as it is. Never
// writes past the caller's buffer: a buffer too small gets the leading part.
#include "install/text.h"
#include "res/texts.h"

char* FormatDecimal(uint32_t value, int minDigits, char separator, char* out, size_t size) {
    char digits[10];  // least significant first; minDigits is at most 10
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0 || count < minDigits);
    if (size == 0) return out;
    size_t used = 0;
    for (int i = count - 1; i >= 0 && used + 1 < size; i--) {
        out[used++] = digits[i];
        if (separator && i > 0 && i % 3 == 0 && used + 1 < size) out[used++] = separator;
    }
    out[used] = 0;
    return out;
}

char* FormatThousands(uint32_t value, char* out, size_t size) {
    return FormatDecimal(value, 1, TEXT_THOUSANDS_SEPARATOR, out, size);
}
