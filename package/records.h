// On-disk records of a packaged installer, defined once for the stub, the
// host tools and the tests: the few PE/COFF fields the package locator walks
// through, and the package catalogue that begins at the data of the stub's
// first resource.
//
// Records are read from byte buffers by named offsets with little-endian
// loads; no packed structs, so the layout does not depend on the compiler.
// C headers only: this file is part of the stub.
#ifndef PACKAGE_RECORDS_H
#define PACKAGE_RECORDS_H

#include <stdint.h>

// --- PE/COFF, as far as the locator reads it (and, below, what the host
// tools also check and fix) --------------------------------------------------
enum {
    DOS_MAGIC = 0,  // "MZ" (the locator never compares it; the tools do)
    DOS_HEADER_SIZE = 64,
    DOS_E_LFANEW = 60,      // u32: file offset of the PE signature
    PE_SIGNATURE_SIZE = 4,  // "PE\0\0", read past, never compared
    COFF_HEADER_SIZE = 20,
    COFF_NUMBER_OF_SECTIONS = 2,        // u16 inside the COFF header
    COFF_SIZE_OF_OPTIONAL_HEADER = 16,  // u16 inside the COFF header
    OPTIONAL_HEADER_SIZE = 224,         // PE32 with 16 data directories, fixed
    SECTION_TABLE_OFFSET = PE_SIGNATURE_SIZE + COFF_HEADER_SIZE + OPTIONAL_HEADER_SIZE,
    SECTION_HEADER_SIZE = 40,
    SECTION_NAME = 0,  // 8 bytes, NUL-padded
    SECTION_NAME_SIZE = 8,
    SECTION_VIRTUAL_SIZE = 8,          // u32
    SECTION_VIRTUAL_ADDRESS = 12,      // u32
    SECTION_SIZE_OF_RAW_DATA = 16,     // u32
    SECTION_POINTER_TO_RAW_DATA = 20,  // u32
    OPT_MAGIC = 0,                     // u16 inside the optional header: PE32_MAGIC
    OPT_SIZE_OF_INITIALIZED_DATA = 8,  // u32
    OPT_SECTION_ALIGNMENT = 32,        // u32
    OPT_FILE_ALIGNMENT = 36,           // u32
    OPT_SIZE_OF_IMAGE = 56,            // u32
    OPT_CHECKSUM = 64,                 // u32
    OPT_NUMBER_OF_RVA_AND_SIZES = 92,  // u32
    OPT_DATA_DIRECTORIES = 96,         // 8 bytes each: RVA, size
    DATA_DIRECTORY_RESOURCE = 2,       // index of the resource data directory
    DATA_DIRECTORY_SECURITY = 4,       // the signature: a file offset (not an RVA) and a size
    PE32_MAGIC = 0x10B,
    RES_DIR_HEADER_SIZE = 16,  // a resource directory's header
    RES_DIR_NAMED_COUNT = 12,  // u16 in a directory header
    RES_DIR_ID_COUNT = 14,     // u16
    RES_DIR_ENTRY_SIZE = 8,
    RES_ENTRY_NAME = 0,    // u32 name or id, never examined by the locator
    RES_ENTRY_OFFSET = 4,  // u32: high bit = subdirectory, low 31 bits = offset
    RES_DATA_ENTRY_SIZE = 16,
    RES_DATA_RVA = 0,  // u32: relative virtual address of the data
    RES_DATA_SIZE = 4  // u32: declared size (4 for the package marker)
};
static const uint32_t RES_SUBDIR_BIT = 0x80000000u;  // in RES_ENTRY_OFFSET: points at a subdirectory
static_assert(SECTION_TABLE_OFFSET == 248, "section table follows a 224-byte optional header");
static_assert(RES_DIR_ENTRY_SIZE == RES_ENTRY_OFFSET + 4, "directory entry is two u32");

// --- Package catalogue, at P, the first byte of the package resource's data --
enum {
    CAT_TITLE = 0,  // title in Windows-1252, NUL-filled, no NUL when 32 long
    CAT_TITLE_SIZE = 32,
    CAT_FIRST_NUMBER = 32,  // u16: file number of entry index 2
    CAT_HEADER_SIZE = 34,   // first entry follows the header directly
    ENTRY_SIZE = 16,
    ENTRY_FILE_OFFSET = 0,    // u32: from the start of the executable's file
    ENTRY_STORED_SIZE = 4,    // u32: 0 marks the terminating entry
    ENTRY_ORIGINAL_SIZE = 8,  // u32: 0 = stored as is, else compressed, size after decoding
    ENTRY_EXTENSION = 12,     // 4 chars with the leading '.', NUL-ended when shorter
    ENTRY_EXTENSION_SIZE = 4
};
static_assert(CAT_HEADER_SIZE == CAT_TITLE_SIZE + 2, "title then u16 first file number");
static_assert(ENTRY_EXTENSION + ENTRY_EXTENSION_SIZE == ENTRY_SIZE, "entry is 16 bytes");

// Entry roles by index.
enum { ENTRY_SAVER = 0, ENTRY_DATA = 1, ENTRY_FIRST_EXTRA = 2 };

static inline uint16_t LoadU16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}
static inline uint32_t LoadU32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// One catalogue entry, decoded from its 16 bytes.
struct CatalogueEntry {
    uint32_t fileOffset;
    uint32_t storedSize;
    uint32_t originalSize;
    char extension[ENTRY_EXTENSION_SIZE + 1];  // the field's characters up to its first NUL, NUL-ended
};

static inline void ParseEntry(const uint8_t* raw, CatalogueEntry* e) {
    e->fileOffset = LoadU32(raw + ENTRY_FILE_OFFSET);
    e->storedSize = LoadU32(raw + ENTRY_STORED_SIZE);
    e->originalSize = LoadU32(raw + ENTRY_ORIGINAL_SIZE);
    int i = 0;
    for (; i < ENTRY_EXTENSION_SIZE && raw[ENTRY_EXTENSION + i] != 0; i++)
        e->extension[i] = (char)raw[ENTRY_EXTENSION + i];
    e->extension[i] = 0;
}

static inline void FormatEntry(const CatalogueEntry* e, uint8_t* raw) {
    StoreU32(raw + ENTRY_FILE_OFFSET, e->fileOffset);
    StoreU32(raw + ENTRY_STORED_SIZE, e->storedSize);
    StoreU32(raw + ENTRY_ORIGINAL_SIZE, e->originalSize);
    int i = 0;
    for (; i < ENTRY_EXTENSION_SIZE && e->extension[i] != 0; i++) raw[ENTRY_EXTENSION + i] = (uint8_t)e->extension[i];
    for (; i < ENTRY_EXTENSION_SIZE; i++) raw[ENTRY_EXTENSION + i] = 0;
}

#endif
