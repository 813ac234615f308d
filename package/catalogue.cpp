// Catalogue readers: the title reader, the size reader and the catalogue walk,
// each reading through a package handle from the locator.
//
// Trusts no count: a read that delivers fewer bytes than asked ends the reader
// with PACKAGE_DAMAGED instead of using bytes that never came, so a catalogue
// without a terminating entry stops at the end of the file. Every loop moves
// the handle forward by a whole record per turn and so ends there. The total
// installed size saturates at 0xFFFFFFFF instead of wrapping.
#include "package/package.h"

#include <string.h>

static const uint32_t SIZE_LIMIT = 0xFFFFFFFFu;

static int ReadRecord(HFILE package, uint8_t* buffer, UINT count) {
    return _lread(package, buffer, count) == count;
}

// Moves past the title and reads the first file number.
static int ReadCatalogueHeader(HFILE package, uint16_t* firstNumber) {
    uint8_t raw[CAT_HEADER_SIZE - CAT_FIRST_NUMBER];
    if (_llseek(package, CAT_FIRST_NUMBER, FILE_CURRENT) < 0 || !ReadRecord(package, raw, sizeof raw)) return 0;
    *firstNumber = LoadU16(raw);
    return 1;
}

// What an entry occupies once installed: its original size, or its stored
// size when it is stored as is.
static uint32_t InstalledSize(const CatalogueEntry* entry) {
    return entry->originalSize != 0 ? entry->originalSize : entry->storedSize;
}

PackageStatus ReadTotalSize(HFILE package, uint32_t* total) {
    uint16_t firstNumber;
    if (!ReadCatalogueHeader(package, &firstNumber)) return PACKAGE_DAMAGED;
    for (;;) {
        uint8_t raw[ENTRY_SIZE];
        CatalogueEntry entry;
        if (!ReadRecord(package, raw, sizeof raw)) return PACKAGE_DAMAGED;
        ParseEntry(raw, &entry);
        uint32_t add = InstalledSize(&entry);
        *total = add > SIZE_LIMIT - *total ? SIZE_LIMIT : *total + add;
        if (entry.storedSize == 0) return PACKAGE_OK;
    }
}

// Reads the record at the handle's position into walk->entry and notes where
// the next one begins. 1 when an entry is current, 0 at the end or on damage.
static int ReadWalkEntry(struct CatalogueWalk* walk) {
    uint8_t raw[ENTRY_SIZE];
    LONG next;
    if (!ReadRecord(walk->package, raw, sizeof raw) || (next = _llseek(walk->package, 0, FILE_CURRENT)) < 0) {
        walk->status = PACKAGE_DAMAGED;
        return 0;
    }
    ParseEntry(raw, &walk->entry);
    walk->nextRecord = next;
    return walk->entry.storedSize != 0;
}

int BeginWalk(struct CatalogueWalk* walk, HFILE package) {
    memset(walk, 0, sizeof *walk);
    walk->package = package;
    walk->status = PACKAGE_OK;
    if (!ReadCatalogueHeader(package, &walk->firstNumber)) {
        walk->status = PACKAGE_DAMAGED;
        return 0;
    }
    return ReadWalkEntry(walk);
}

int NextEntry(struct CatalogueWalk* walk) {
    if (walk->status != PACKAGE_OK || walk->entry.storedSize == 0) return 0;  // already ended
    if (_llseek(walk->package, walk->nextRecord, FILE_BEGIN) != walk->nextRecord) {
        walk->status = PACKAGE_DAMAGED;
        return 0;
    }
    walk->index++;
    return ReadWalkEntry(walk);
}
