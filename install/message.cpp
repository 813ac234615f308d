// Message boxes and the Windows directory, which every step needs.
//
// Trusts nothing about lengths: the name query gives an empty text, never a
// partial or undefined one, when the system reports failure or a name that
// does not fit.
#include "install/install.h"
#include "install/naming.h"
#include "install/program.h"
#include "res/texts.h"

#include <string.h>

// The longest text each "%s" of a message or caption can be given.
enum {
    LONGEST_TITLE = TITLE_BUFFER_SIZE - 1,
    LONGEST_PATH = PATH_SIZE - 1,  // the Windows directory, a folder, an installer name
    LONGEST_SAVER_NAME = SAVER_NAME_SIZE - 1,
    LONGEST_COUNT = THOUSANDS_SIZE - 1,
    // A destination that could not be written: the Windows directory, '\'
    // and TORVANEL\KAVRELIN\<base>\<base>.DAT with the longest base names.
    LONGEST_FAILED_PATH = LONGEST_PATH + 1 + (sizeof DATA_FOLDER_1 + sizeof DATA_FOLDER_2) + 2 * LONGEST_PATH + 5
};

// Every message and caption with its longest arguments fits its buffer whole,
// in the language this stub is built for: each language's build checks its
// own texts, so a translation that outgrows a buffer does not compile. Each
// "%s" of a text counts its two bytes too, which only errs on the safe side.
#define TEXT_FITS(text, arguments, size) \
    static_assert(sizeof(text) + (arguments) <= (size), #text " with its longest arguments outgrows " #size)
TEXT_FITS(TEXT_CONFIRM, LONGEST_SAVER_NAME + LONGEST_TITLE + LONGEST_PATH + LONGEST_COUNT, MESSAGE_SIZE);
TEXT_FITS(TEXT_COMPLETE, 2 * (LONGEST_PATH + 1), MESSAGE_SIZE);
TEXT_FITS(TEXT_DAMAGED, 0, MESSAGE_SIZE);
TEXT_FITS(TEXT_FAILED, LONGEST_FAILED_PATH, MESSAGE_SIZE);
TEXT_FITS(TEXT_REPLACE, LONGEST_SAVER_NAME, MESSAGE_SIZE);
TEXT_FITS(TEXT_RENAME, LONGEST_SAVER_NAME, MESSAGE_SIZE);
TEXT_FITS(TEXT_DISK, 2 * LONGEST_COUNT, MESSAGE_SIZE);
TEXT_FITS(TEXT_INSTALLER_CAPTION, LONGEST_TITLE, CAPTION_SIZE);
TEXT_FITS(TEXT_INSTALL_ITEM, LONGEST_TITLE, CAPTION_SIZE);
static_assert(int(LONGEST_FAILED_PATH) < int(WIDE_PATH_SIZE), "a failed destination outgrows its buffer");
#undef TEXT_FITS

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
