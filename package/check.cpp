// The package check, run before anything is asked or written: the package is
// found, its catalogue ends (with a terminating entry) before the end of the
// file, it lists at least one file, every entry's stored bytes lie inside the
// file and no extension that names a file holds a byte Windows refuses in a
// file name (a path separator, a drive colon, a wildcard, a control byte...).
//
// Reads with the catalogue walk, so it stops at the end of the file like the
// walk does; ranges are checked overflow-safe. The first fault in catalogue
// order is the one reported. Extension fields of entries 0 and 1 name nothing
// (their names follow from their position) and are not looked at.
#include "package/package.h"

#include <string.h>

int ExtensionRefused(const char* extension, int strict) {
    for (const char* c = extension; *c; c++) {
        unsigned char b = (unsigned char)*c;
        if (b < 0x20 || b == 0x7F || strchr("\\/:*?\"<>|", b)) return 1;
        if (strict && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)) return 1;
    }
    return 0;
}

// The stored bytes of `entry` lie inside a file of `fileSize` bytes.
static int InsideFile(const CatalogueEntry* entry, uint32_t fileSize) {
    return entry->fileOffset <= fileSize && entry->storedSize <= fileSize - entry->fileOffset;
}

PackageStatus CheckEntry(const struct CatalogueWalk* walk, uint32_t fileSize) {
    if (!InsideFile(&walk->entry, fileSize)) return PACKAGE_ENTRY_OUTSIDE;
    if (walk->index >= ENTRY_FIRST_EXTRA && ExtensionRefused(walk->entry.extension, 0)) return PACKAGE_BAD_EXTENSION;
    return PACKAGE_OK;
}

// Walks the whole catalogue of an open package handle. A catalogue cut short
// is reported before any entry's fault: the entries of a truncated file point
// past its end as a rule, and the truncation is what happened.
static PackageStatus CheckCatalogue(HFILE package, struct PackageCheck* check) {
    struct CatalogueWalk walk;
    PackageStatus entryFault = PACKAGE_OK;
    int more = BeginWalk(&walk, package);
    check->firstNumber = walk.firstNumber;
    if (!more && walk.status == PACKAGE_OK) {
        check->badIndex = 0;
        check->badRecord = check->position + CAT_HEADER_SIZE;
        return PACKAGE_NO_ENTRIES;
    }
    for (; more; more = NextEntry(&walk)) {
        PackageStatus status = CheckEntry(&walk, check->fileSize);
        if (status != PACKAGE_OK && entryFault == PACKAGE_OK) {
            entryFault = status;
            check->badIndex = walk.index;
            check->badRecord = (uint32_t)walk.nextRecord - ENTRY_SIZE;
            check->badEntry = walk.entry;
        }
        if (entryFault == PACKAGE_OK) check->entryCount++;
    }
    if (walk.status == PACKAGE_OK) return entryFault;

    // Cut short: name the record that is incomplete.
    uint32_t firstRecord = check->position + CAT_HEADER_SIZE;
    memset(&check->badEntry, 0, sizeof check->badEntry);
    check->badIndex = walk.index;
    if (walk.index != 0)
        check->badRecord = (uint32_t)walk.nextRecord;
    else
        check->badRecord = check->fileSize >= firstRecord ? firstRecord : check->position;
    return walk.status;
}

PackageStatus CheckPackageDetail(const char* path, struct PackageCheck* check) {
    struct PackageResource found;
    PackageStatus status;
    memset(check, 0, sizeof *check);
    check->badIndex = -1;
    HFILE package = LocatePackageResource(path, &status, &found);
    if (package == HFILE_ERROR) {
        check->badRecord = found.failedAt;
        return status;
    }
    check->position = found.position;
    LONG fileSize = _llseek(package, 0, FILE_END);
    if (fileSize < 0 || _llseek(package, (LONG)found.position, FILE_BEGIN) != (LONG)found.position) {
        status = PACKAGE_DAMAGED;
    } else {
        check->fileSize = (uint32_t)fileSize;
        status = CheckCatalogue(package, check);
    }
    _lclose(package);
    return status;
}

PackageStatus CheckPackageIn(const char* path, uint32_t* entryCount, uint32_t* fileSize) {
    struct PackageCheck check;
    PackageStatus status = CheckPackageDetail(path, &check);
    if (status == PACKAGE_OK && entryCount) *entryCount = check.entryCount;
    if (status == PACKAGE_OK && fileSize) *fileSize = check.fileSize;
    return status;
}
