// Naming rules shared by the stub and the host tools (see naming.h). The
// paths are composed with the installer's bounded "%s" formatter.
#include "install/naming.h"
#include "install/text.h"

#include <stdarg.h>
#include <string.h>

const char* LastComponent(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

void UpperCaseAscii(char* text) {
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
}

int AppendText(char* out, size_t size, const char* text) {
    size_t have = strlen(out), add = strlen(text);
    if (have >= size || add >= size - have) return 0;
    memcpy(out + have, text, add + 1);
    return 1;
}

// `format` with its "%s" parts, whole, into out; a text that does not fit
// leaves out empty (and a buffer of size 0 untouched).
static int ComposeWhole(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int whole = FormatTextV(out, size, format, args);
    va_end(args);
    if (!whole && size > 0) out[0] = 0;
    return whole;
}

int JoinPath(char* out, size_t size, const char* dir, const char* name) {
    size_t n = strlen(dir);
    return ComposeWhole(out, size, "%s%s%s", dir, n > 0 && dir[n - 1] == '\\' ? "" : "\\", name);
}

// Copies the installer's file name up to its first (or last) '.', then ".SCR".
static int CopyNameCut(const char* ownPath, char* out, size_t size, int atFirstDot, const char* suffix) {
    const char* name = LastComponent(ownPath);
    const char* dot = atFirstDot ? strchr(name, '.') : strrchr(name, '.');
    size_t n = dot ? (size_t)(dot - name) : strlen(name);
    if (size == 0) return 0;
    out[0] = 0;
    if (n >= size) return 0;
    memcpy(out, name, n);
    out[n] = 0;
    if (!AppendText(out, size, suffix)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

int MakeSaverCandidate(const char* ownPath, char* out, size_t size) {
    return CopyNameCut(ownPath, out, size, 1, ".SCR");
}

int MakeSaverFileName(const char* ownPath, char* out, size_t size) {
    if (!MakeSaverCandidate(ownPath, out, size)) return 0;
    UpperCaseAscii(out);
    return 1;
}

int MakeBaseName(const char* ownPath, char* out, size_t size) {
    return CopyNameCut(ownPath, out, size, 0, "");
}

void FormatFileNumber(uint32_t number, char out[12]) {
    FormatDecimal(number, 4, 0, out, 12);
}

#define DATA_FOLDERS DATA_FOLDER_1 "\\" DATA_FOLDER_2 "\\"

int MakeDataFolder(const char* baseName, char* out, size_t size) {
    return ComposeWhole(out, size, DATA_FOLDERS "%s", baseName);
}

int MakeEntryRelativePath(int index, uint16_t firstNumber, const char* extension, const char* saverFileName,
                          const char* baseName, char* out, size_t size) {
    if (index == 0) return ComposeWhole(out, size, "%s", saverFileName);
    if (index == 1) return ComposeWhole(out, size, DATA_FOLDERS "%s\\%s.DAT", baseName, baseName);
    char number[12];
    FormatFileNumber((uint32_t)index + firstNumber - 2u, number);
    return ComposeWhole(out, size, DATA_FOLDERS "%s\\FILE%s%s", baseName, number, extension);
}
