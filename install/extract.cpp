// Extraction and activation: writes every catalogue entry of the installer's
// package to its destination, then records the screen saver in system.ini and
// switches it on.
//
// Nothing is lost on a failed write: each entry is written to a temporary file
// in its destination's folder and moved over the destination only when all of
// its bytes were written (a stored entry: every read and write complete; a
// compressed one: DecodeFile says the file is whole). Any failure removes the
// temporary file, leaves the old destination as it was, stops the extraction
// and skips the activation; the destination is named in gInstaller.failedPath.
//
// Trusts the package check that ran before (catalogue inside the file), yet
// still treats every short read, failed seek and unreadable catalogue as a
// failure, and writes only bytes it has read.
#include "install/decode_file.h"
#include "install/install.h"
#include "install/naming.h"
#include "install/program.h"
#include "package/package.h"

#include <string.h>

// Working state of one extraction.
struct Extraction {
    char windowsDir[PATH_SIZE];        // the Windows directory, as the system gives it
    char baseName[PATH_SIZE];          // installer base name, case kept
    struct CatalogueWalk walk;         // package handle, current entry, catalogue position
    char* copyBuffer;                  // COPY_BUFFER_SIZE bytes for stored entries, or null
    char destination[WIDE_PATH_SIZE];  // where the current entry goes; refused when >= PATH_SIZE
    char temporary[PATH_SIZE];         // the file the current entry is written to first
};

// Records what could not be installed; returns 0 for the caller to pass on.
static int RecordFailure(const char* name) {
    FormatText(gInstaller.failedPath, sizeof gInstaller.failedPath, "%s", name);
    return 0;
}

// The current entry's destination: the Windows directory joined with the
// entry's relative path; the screen saver's whole path upper-cased. Fails
// (with the full path kept for the message) when it does not fit a path.
static int MakeDestination(struct Extraction* x) {
    char relative[WIDE_PATH_SIZE];
    const struct CatalogueWalk* w = &x->walk;
    if (!MakeEntryRelativePath(w->index, w->firstNumber, w->entry.extension, gInstaller.saverFileName, x->baseName,
                               relative, sizeof relative) ||
        !JoinPath(x->destination, sizeof x->destination, x->windowsDir, relative)) {
        x->destination[0] = 0;
        return RecordFailure(gInstaller.saverFileName);
    }
    if (w->index == ENTRY_SAVER) UpperCaseAscii(x->destination);
    if (strlen(x->destination) >= PATH_SIZE) return RecordFailure(x->destination);
    return 1;
}

// Creates every folder of the destination below the Windows directory, level
// by level; one that exists already or cannot be made is passed over (the
// file's creation then says whether it matters).
static void CreateFolders(char* destination, size_t windowsDirLength) {
    for (char* p = destination + windowsDirLength + 1; *p; p++) {
        if (*p != '\\') continue;
        *p = 0;
        CreateDirectoryA(destination, NULL);
        *p = '\\';
    }
}

// The temporary file's path: the destination's folder and TEMPORARY_FILE_NAME.
static int MakeTemporaryPath(const char* destination, char* out) {
    const char* slash = strrchr(destination, '\\');
    size_t folderLength = slash ? (size_t)(slash - destination) + 1 : 0;
    if (folderLength >= PATH_SIZE) return 0;
    memcpy(out, destination, folderLength);
    out[folderLength] = 0;
    return AppendText(out, PATH_SIZE, TEMPORARY_FILE_NAME);
}

// A stored entry: exactly storedSize bytes from its file offset, in chunks of
// at most the copy buffer. 1 when every read and every write was complete.
static int CopyStoredEntry(struct Extraction* x) {
    const struct CatalogueEntry* e = &x->walk.entry;
    HFILE package = x->walk.package;
    if (e->fileOffset > 0x7FFFFFFFu || _llseek(package, (LONG)e->fileOffset, FILE_BEGIN) != (LONG)e->fileOffset)
        return 0;
    HFILE out = _lcreat(x->temporary, 0);
    if (out == HFILE_ERROR) return 0;
    uint32_t remaining = e->storedSize;
    int whole = 1;
    while (whole && remaining > 0) {
        UINT wanted = remaining < COPY_BUFFER_SIZE ? (UINT)remaining : (UINT)COPY_BUFFER_SIZE;
        UINT got = _lread(package, x->copyBuffer, wanted);
        if (got == 0 || got > wanted)  // the file ended early, or HFILE_ERROR
            whole = 0;
        else if (_lwrite(out, x->copyBuffer, got) != got)
            whole = 0;
        else
            remaining -= got;
    }
    if (_lclose(out) == HFILE_ERROR) whole = 0;
    return whole;
}

// A compressed entry: the decode driver opens the executable as its own
// stream, so the package handle is closed around it and opened again. A
// stream whose stored bytes ran out (the file ends early) still fills the
// whole file, with stand-in zeros: that is no whole entry either.
static int ExpandCompressedEntry(struct Extraction* x) {
    const struct CatalogueEntry* e = &x->walk.entry;
    _lclose(x->walk.package);
    enum DecodeStatus status =
        DecodeFile(gInstaller.module, e->fileOffset, e->originalSize, e->storedSize, x->temporary);
    int whole = status != DECODE_CANNOT_OPEN && status != DECODE_WRITE_FAILED && status != DECODE_SHORT_INPUT;
    x->walk.package = LocatePackage();
    return whole;
}

// One entry, from its destination to the moment it replaces the old file.
static int ExtractEntry(struct Extraction* x) {
    if (!MakeDestination(x)) return 0;
    CreateFolders(x->destination, strlen(x->windowsDir));
    if (!MakeTemporaryPath(x->destination, x->temporary)) return RecordFailure(x->destination);

    int whole = x->walk.entry.originalSize != 0 ? ExpandCompressedEntry(x) : CopyStoredEntry(x);
    if (whole) whole = MoveFileExA(x->temporary, x->destination, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!whole) {
        DeleteFileA(x->temporary);
        return RecordFailure(x->destination);
    }
    // The package could not be opened again: the entries after this one are
    // out of reach.
    if (x->walk.package == HFILE_ERROR) return RecordFailure(gInstaller.saverFileName);
    return 1;
}

// Every entry in catalogue order; 1 when all were written whole.
static int ExtractAll(struct Extraction* x) {
    char ownPath[PATH_SIZE];
    RecordFailure(gInstaller.saverFileName);  // what is named until an entry's destination is known
    if (!GetWindowsDir(x->windowsDir) || !GetOwnPath(gInstaller.module, ownPath) ||
        !MakeBaseName(ownPath, x->baseName, sizeof x->baseName))
        return 0;
    x->walk.package = LocatePackage();
    if (x->walk.package == HFILE_ERROR) return 0;
    x->copyBuffer = (char*)LocalAlloc(LMEM_FIXED, COPY_BUFFER_SIZE);

    int ok = x->copyBuffer != NULL && BeginWalk(&x->walk, x->walk.package);
    while (ok) {
        ok = ExtractEntry(x);
        if (ok && !NextEntry(&x->walk)) {
            if (x->walk.status != PACKAGE_OK) ok = RecordFailure(gInstaller.saverFileName);
            break;
        }
    }
    if (x->copyBuffer) LocalFree(x->copyBuffer);
    if (x->walk.package != HFILE_ERROR) _lclose(x->walk.package);
    return ok;
}

// system.ini names the screen saver by its short path, or by its long path
// when the system has no short form for it; then the switch goes on.
static void ActivateSaver(const struct Extraction* x) {
    char saverPath[PATH_SIZE], shortPath[PATH_SIZE];
    if (!JoinPath(saverPath, sizeof saverPath, x->windowsDir, gInstaller.saverFileName)) return;
    DWORD length = GetShortPathNameA(saverPath, shortPath, sizeof shortPath);
    const char* value = length > 0 && length < sizeof shortPath ? shortPath : saverPath;
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value, "system.ini");
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, NULL, SPIF_UPDATEINIFILE);
}

void ExtractAndActivate(void) {
    struct Extraction x;
    memset(&x, 0, sizeof x);
    x.walk.package = HFILE_ERROR;
    if (!ExtractAll(&x)) {
        gInstaller.extraction = EXTRACTION_FAILED;
        return;
    }
    ActivateSaver(&x);
    gInstaller.failedPath[0] = 0;
    gInstaller.extraction = EXTRACTION_DONE;
}
