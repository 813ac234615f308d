// Naming rules shared by the stub and the host tools (see naming.h).
#include "install/naming.h"

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

int JoinPath(char* out, size_t size, const char* dir, const char* name) {
    if (size == 0) return 0;
    out[0] = 0;
    size_t n = strlen(dir);
    int ok = AppendText(out, size, dir);
    if (ok && (n == 0 || dir[n - 1] != '\\')) ok = AppendText(out, size, "\\");
    if (ok) ok = AppendText(out, size, name);
    if (!ok) out[0] = 0;
    return ok;
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
    char digits[12];
    int n = 0;
    do {
        digits[n++] = (char)('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (n < 4) digits[n++] = '0';
    for (int i = 0; i < n; i++) out[i] = digits[n - 1 - i];
    out[n] = 0;
}

int MakeDataFolder(const char* baseName, char* out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    int ok = AppendText(out, size, DATA_FOLDER_1 "\\" DATA_FOLDER_2 "\\") && AppendText(out, size, baseName);
    if (!ok) out[0] = 0;
    return ok;
}

int MakeEntryRelativePath(int index, uint16_t firstNumber, const char* extension,
                          const char* saverFileName, const char* baseName, char* out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    if (index == 0) return AppendText(out, size, saverFileName);
    int ok = MakeDataFolder(baseName, out, size) && AppendText(out, size, "\\");
    if (ok && index == 1) {
        ok = AppendText(out, size, baseName) && AppendText(out, size, ".DAT");
    } else if (ok) {
        char number[12];
        FormatFileNumber((uint32_t)index + firstNumber - 2u, number);
        ok = AppendText(out, size, "FILE") && AppendText(out, size, number) &&
             AppendText(out, size, extension);
    }
    if (!ok) out[0] = 0;
    return ok;
}
