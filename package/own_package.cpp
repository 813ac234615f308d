// The stub's own package: its own path, and the locator, title reader and
// package check run on the running module's file. Kept apart from the
// readers, which work on any file, so that the host tools never need the
// system's module name.
#include "package/package.h"

#include <string.h>

int GetOwnPath(HINSTANCE module, char* out) {
    DWORD length = GetModuleFileNameA(module, out, PATH_SIZE);
    if (length == 0 || length >= PATH_SIZE) {
        out[0] = 0;
        return 0;
    }
    out[length] = 0;
    return 1;
}

HFILE LocatePackage(void) {
    char path[PATH_SIZE];
    if (!GetOwnPath(NULL, path)) return HFILE_ERROR;
    return LocatePackageIn(path, 0);
}

void ReadTitle(char* title) {
    HFILE package = LocatePackage();
    if (package == HFILE_ERROR) return;
    uint8_t raw[CAT_TITLE_SIZE];
    if (_lread(package, raw, sizeof raw) == sizeof raw) memcpy(title, raw, sizeof raw);  // the 33rd byte stays
    _lclose(package);
}

PackageStatus CheckPackage(void) {
    char path[PATH_SIZE];
    if (!GetOwnPath(NULL, path)) return PACKAGE_CANNOT_OPEN;
    return CheckPackageIn(path, 0, 0);
}
