// Package locator: finds the first byte of the package catalogue inside an
// installer's file by walking the PE headers to the section named ".rsrc" and
// following the first entry at each of the three levels of its resource
// directory down to the first resource's data.
//
// Trusts nothing it reads. Every read must deliver all the bytes asked for and
// every seek must land where asked; otherwise the walk stops, the handle is
// closed and -1 comes back with a named reason. Positions are computed in
// unsigned 32-bit arithmetic and checked against the signed 32-bit range that
// _llseek can reach before they are used. The names and ids of the entries,
// the entry counts and the data's declared size are read but never decide the
// way: the first entry is taken at every level, and the catalogue starts at the
// data's first byte whatever size the resource declares.
#include "package/package.h"

#include <string.h>

static const uint32_t MAX_POSITION = 0x7FFFFFFFu;  // the last position _llseek reaches
static const uint32_t OFFSET_MASK = 0x7FFFFFFFu;   // low 31 bits of a directory entry's offset

// One walk through an open file.
struct Walker {
    HFILE file;   // the handle being walked
    uint32_t at;  // file offset of the read under way (kept for the tools' messages)
};

// position = base + add, saturating at 0xFFFFFFFF (which no seek reaches).
static uint32_t AddPosition(uint32_t base, uint32_t add) {
    return add > 0xFFFFFFFFu - base ? 0xFFFFFFFFu : base + add;
}

// Reads exactly `count` bytes at the walker's current file offset: 1, or 0
// when the seek does not land there or the read falls short.
static int SeekHere(struct Walker* walker) {
    return walker->at <= MAX_POSITION && _llseek(walker->file, (LONG)walker->at, FILE_BEGIN) == (LONG)walker->at;
}

static int ReadHere(struct Walker* walker, void* buffer, UINT count) {
    return SeekHere(walker) && _lread(walker->file, buffer, count) == count;
}

static int ReadAt(struct Walker* walker, uint32_t position, void* buffer, UINT count) {
    walker->at = position;
    return ReadHere(walker, buffer, count);
}

// Reads the section table and finds the header named ".rsrc": the whole
// 8-byte name compared as a NUL-terminated string, case-sensitive.
static PackageStatus FindResourceSection(struct Walker* walker, uint8_t section[SECTION_HEADER_SIZE]) {
    uint8_t raw[4];
    uint8_t headers[SECTION_TABLE_OFFSET];
    if (!ReadAt(walker, DOS_E_LFANEW, raw, sizeof raw)) return PACKAGE_SHORT_HEADER;
    uint32_t peHeader = LoadU32(raw);
    if (!ReadAt(walker, peHeader, headers, sizeof headers)) return PACKAGE_SHORT_HEADER;
    uint16_t sections = LoadU16(headers + PE_SIGNATURE_SIZE + COFF_NUMBER_OF_SECTIONS);
    uint32_t next = AddPosition(peHeader, SECTION_TABLE_OFFSET);
    for (uint16_t k = 0; k < sections; k++, next = AddPosition(next, SECTION_HEADER_SIZE)) {
        if (!ReadAt(walker, next, section, SECTION_HEADER_SIZE)) return PACKAGE_SHORT_HEADER;
        if (memcmp(section + SECTION_NAME, ".rsrc", 6) == 0) return PACKAGE_OK;
    }
    return PACKAGE_NO_RESOURCES;
}

// Reads the first entry of the directory at section offset `directory`
// (its 16-byte header skipped, not read) into `entry`.
static PackageStatus ReadFirstEntry(struct Walker* walker, uint32_t sectionStart, uint32_t directory,
                                    uint8_t entry[RES_DIR_ENTRY_SIZE]) {
    uint32_t position = AddPosition(AddPosition(sectionStart, RES_DIR_HEADER_SIZE), directory);
    return ReadAt(walker, position, entry, RES_DIR_ENTRY_SIZE) ? PACKAGE_OK : PACKAGE_SHORT_HEADER;
}

// Down the first entry of the type, name and language levels to the data entry.
static PackageStatus ReadDataEntry(struct Walker* walker, uint32_t sectionStart, uint8_t typeEntry[RES_DIR_ENTRY_SIZE],
                                   uint8_t dataEntry[RES_DATA_ENTRY_SIZE]) {
    uint8_t rootHeader[RES_DIR_HEADER_SIZE], nameEntry[RES_DIR_ENTRY_SIZE], languageEntry[RES_DIR_ENTRY_SIZE];
    if (!ReadAt(walker, sectionStart, rootHeader, sizeof rootHeader)) return PACKAGE_SHORT_HEADER;
    PackageStatus status = ReadFirstEntry(walker, sectionStart, 0, typeEntry);
    if (status == PACKAGE_OK)
        status = ReadFirstEntry(walker, sectionStart, LoadU32(typeEntry + RES_ENTRY_OFFSET) & OFFSET_MASK, nameEntry);
    if (status == PACKAGE_OK)
        status =
            ReadFirstEntry(walker, sectionStart, LoadU32(nameEntry + RES_ENTRY_OFFSET) & OFFSET_MASK, languageEntry);
    if (status != PACKAGE_OK) return status;
    // The language entry points at a data entry, not a directory: no mask, no header.
    uint32_t position = AddPosition(sectionStart, LoadU32(languageEntry + RES_ENTRY_OFFSET));
    return ReadAt(walker, position, dataEntry, RES_DATA_ENTRY_SIZE) ? PACKAGE_OK : PACKAGE_SHORT_HEADER;
}

// The whole walk on an open file; fills *found on PACKAGE_OK.
static PackageStatus WalkToPackage(struct Walker* walker, struct PackageResource* found) {
    uint8_t section[SECTION_HEADER_SIZE], typeEntry[RES_DIR_ENTRY_SIZE], dataEntry[RES_DATA_ENTRY_SIZE];
    PackageStatus status = FindResourceSection(walker, section);
    if (status != PACKAGE_OK) return status;
    uint32_t sectionStart = LoadU32(section + SECTION_POINTER_TO_RAW_DATA);
    status = ReadDataEntry(walker, sectionStart, typeEntry, dataEntry);
    if (status != PACKAGE_OK) return status;

    // The data's address inside the section becomes a file offset. Data that
    // would lie before the section, or at or beyond the end of the file, is
    // no package.
    uint32_t virtualAddress = LoadU32(section + SECTION_VIRTUAL_ADDRESS);
    uint32_t dataAddress = LoadU32(dataEntry + RES_DATA_RVA);
    LONG fileSize = _llseek(walker->file, 0, FILE_END);
    walker->at = dataAddress >= virtualAddress ? AddPosition(sectionStart, dataAddress - virtualAddress) : 0xFFFFFFFFu;
    if (dataAddress < virtualAddress || fileSize < 0 || walker->at >= (uint32_t)fileSize)
        return PACKAGE_BAD_RESOURCE_DATA;

    found->position = walker->at;
    found->typeNameField = LoadU32(typeEntry + RES_ENTRY_NAME);
    found->declaredSize = LoadU32(dataEntry + RES_DATA_SIZE);
    found->sectionStart = sectionStart;
    found->sectionRawEnd = AddPosition(sectionStart, LoadU32(section + SECTION_SIZE_OF_RAW_DATA));
    found->sectionVirtualEnd = AddPosition(sectionStart, LoadU32(section + SECTION_VIRTUAL_SIZE));
    return PACKAGE_OK;
}

const char* PackageStatusName(PackageStatus status) {
    switch (status) {
    case PACKAGE_OK: return "ok";
    case PACKAGE_CANNOT_OPEN: return "cannot open the installer's file";
    case PACKAGE_SHORT_HEADER: return "the file ends inside a header the locator reads";
    case PACKAGE_NO_RESOURCES: return "no section named .rsrc";
    case PACKAGE_BAD_RESOURCE_DATA: return "the first resource's data lies outside the file";
    case PACKAGE_DAMAGED: return "the catalogue runs past the end of the file";
    case PACKAGE_ENTRY_OUTSIDE: return "an entry's bytes lie outside the file";
    case PACKAGE_NO_ENTRIES: return "the catalogue lists no files";
    case PACKAGE_BAD_EXTENSION: return "an extension holds a character Windows refuses in a file name";
    }
    return "unknown status";
}

HFILE LocatePackageResource(const char* path, PackageStatus* why, struct PackageResource* found) {
    struct PackageResource scratch;
    struct Walker walker;
    if (!found) found = &scratch;
    memset(found, 0, sizeof *found);
    walker.file = _lopen(path, OF_READ | OF_SHARE_DENY_NONE);
    walker.at = 0;
    PackageStatus status = walker.file == HFILE_ERROR ? PACKAGE_CANNOT_OPEN : WalkToPackage(&walker, found);
    if (status == PACKAGE_OK && !SeekHere(&walker)) status = PACKAGE_SHORT_HEADER;  // at P since the walk's end
    if (status != PACKAGE_OK) {
        if (walker.file != HFILE_ERROR) _lclose(walker.file);
        found->failedAt = walker.at;
    }
    if (why) *why = status;
    return status == PACKAGE_OK ? walker.file : HFILE_ERROR;
}

HFILE LocatePackageIn(const char* path, PackageStatus* why) {
    return LocatePackageResource(path, why, 0);
}
