// Text helpers of the installer's texts and names: the bounded "%s"
// formatter and the decimal number texts. A leaf: they need no system call,
// so the naming rules and the host tools use them without the dialogs.
//
// A text that would not fit its buffer is cut, never written past it.
// C headers only: this is part of the stub.
#ifndef INSTALL_TEXT_H
#define INSTALL_TEXT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

enum { THOUSANDS_SIZE = 36 };  // text of a 32-bit count: 13 characters, reserved with room

// Copies `format` into `out` (size bytes), each "%s" replaced by the next
// argument (a null argument counts as empty). Returns 1 when the whole text
// fit, 0 when it was cut; `out` is NUL-ended whenever size > 0.
int FormatTextV(char* out, size_t size, const char* format, va_list args);
int FormatText(char* out, size_t size, const char* format, ...);

// `value` in decimal with the installer's thousands separator (res/texts.h:
// ',' in Dutch) between groups of three digits, into `out`
// (size bytes, THOUSANDS_SIZE is plenty). Returns out.
char* FormatThousands(uint32_t value, char* out, size_t size);

// The engine of both number texts: `value` in decimal, '0'-padded to at
// least minDigits (1..10) digits, `separator` (none when 0) between groups of
// three; cut to what fits `size` with its NUL. Returns out.
char* FormatDecimal(uint32_t value, int minDigits, char separator, char* out, size_t size);

#endif
