// Pre-install checks: an existing screen saver of the name the install will
// write, and room on the Windows directory's drive. Each returns 1 to go on or
// 0 to stop and only reads; what a check cannot find out lets it pass.
//
// The free space query prefers the extended system query (looked up at run
// time, as very old systems lack it) and falls back to the classic one. A
// count of free kilobytes that does not fit 32 bits counts as unknown, which
// passes: a huge disk never looks full.
#include "install/install.h"
#include "install/naming.h"
#include "package/package.h"
#include "install/program.h"
#include "res/texts.h"

#include <string.h>

typedef BOOL(WINAPI* DiskFreeSpaceExProc)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

int CheckExistingSaver(HINSTANCE module) {
    char ownPath[PATH_SIZE], windowsDir[PATH_SIZE];
    char candidate[SAVER_NAME_SIZE], candidatePath[PATH_SIZE];
    if (!GetOwnPath(module, ownPath) || !GetWindowsDir(windowsDir)) return 1;
    // A name that does not fit here fails the install later, with a message.
    if (!MakeSaverCandidate(ownPath, candidate, sizeof candidate)) return 1;
    if (!JoinPath(candidatePath, sizeof candidatePath, windowsDir, candidate)) return 1;
    if (GetFileAttributesA(candidatePath) == INVALID_FILE_ATTRIBUTES) return 1;

    if (ShowMessage(TEXT_REPLACE_CAPTION, MB_YESNO | MB_ICONQUESTION, TEXT_REPLACE, candidate) != IDNO) return 1;
    char advice[SAVER_NAME_SIZE];
    if (!MakeBaseName(ownPath, advice, sizeof advice) || !AppendText(advice, sizeof advice, ".EXE")) advice[0] = 0;
    ShowMessage(TEXT_RENAME_CAPTION, MB_OK | MB_ICONINFORMATION, TEXT_RENAME, advice);
    return 0;
}

int CheckDiskSpace(HINSTANCE module) {
    (void)module;  // the package locator finds the module's file itself
    HFILE package = LocatePackage();
    if (package == HFILE_ERROR) return 1;
    uint32_t total = 0;
    ReadTotalSize(package, &total);
    _lclose(package);
    gInstaller.totalSize = total;

    char windowsDir[PATH_SIZE];
    if (!GetWindowsDir(windowsDir)) return 1;
    uint32_t freeKilobytes = QueryFreeKilobytes(windowsDir);
    uint32_t neededKilobytes = total >> 10;
    if (freeKilobytes > neededKilobytes) return 1;

    char needed[THOUSANDS_SIZE], available[THOUSANDS_SIZE];
    int answer = ShowMessage(TEXT_DISK_CAPTION, MB_OKCANCEL | MB_ICONINFORMATION, TEXT_DISK,
                             FormatThousands(neededKilobytes, needed, sizeof needed),
                             FormatThousands(freeKilobytes, available, sizeof available));
    return answer != IDCANCEL;
}

// Bytes to kilobytes; a count beyond 32 bits is reported as unknown (plenty).
static uint32_t KilobytesOrPlenty(uint64_t bytes) {
    uint64_t kilobytes = bytes >> 10;
    return kilobytes >= FREE_SPACE_UNKNOWN ? FREE_SPACE_UNKNOWN : (uint32_t)kilobytes;
}

// The directory cut right after its last '\' (C:\WINDOWS -> C:\), which both
// system queries accept. A text without '\' is kept whole.
static int DriveRootOf(const char* directory, char* out) {
    size_t length = strlen(directory);
    if (length >= PATH_SIZE) return 0;
    memcpy(out, directory, length + 1);
    char* slash = strrchr(out, '\\');
    if (slash) slash[1] = 0;
    return 1;
}

uint32_t QueryFreeKilobytes(const char* directory) {
    char root[PATH_SIZE];
    if (!DriveRootOf(directory, root)) return FREE_SPACE_UNKNOWN;

    HMODULE kernel = LoadLibraryA("KERNEL32.DLL");
    if (kernel) {
        // Through void(*)(void): the one cast between function types that
        // says "looked up by name, type known to the caller".
        DiskFreeSpaceExProc extended =
            (DiskFreeSpaceExProc)(void (*)(void))GetProcAddress(kernel, "GetDiskFreeSpaceExA");
        ULARGE_INTEGER available, total, totalFree;
        BOOL ok = extended && extended(root, &available, &total, &totalFree);
        FreeLibrary(kernel);
        if (ok) return KilobytesOrPlenty(available.QuadPart);
    }

    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return FREE_SPACE_UNKNOWN;
    uint64_t clusterBytes = (uint64_t)sectorsPerCluster * bytesPerSector;  // < 2^64
    if (clusterBytes != 0 && freeClusters > UINT64_MAX / clusterBytes) return FREE_SPACE_UNKNOWN;
    return KilobytesOrPlenty(clusterBytes * freeClusters);
}
