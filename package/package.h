// Package locator and catalogue readers.
//
// The locator finds the package catalogue inside an installer's file by
// walking the PE headers to the ".rsrc" section and following the first entry
// at each of the three levels of its resource directory down to the first
// resource's data. It trusts nothing it reads: a read that delivers fewer
// bytes than asked gives -1 (handle closed) and a named reason, never a
// position computed from missing bytes.
//
// The readers read through a package handle with _lread/_llseek. They never
// read on past the end of the file: a catalogue without a terminating entry
// before the end of the file is reported as PACKAGE_DAMAGED.
//
// C headers only: this is part of the stub.
#ifndef PACKAGE_PACKAGE_H
#define PACKAGE_PACKAGE_H

#include "package/records.h"
#include "platform/win32.h"

#include <stdint.h>

enum { PATH_SIZE = 260 };  // characters reserved for every path, with its NUL

// The running installer's own path (module handle NULL: the executable) into
// a buffer of PATH_SIZE. 1 on success; 0 with an empty text when the system
// gives nothing or a name that does not fit (older systems report that by
// filling the whole buffer, without a NUL).
int GetOwnPath(HINSTANCE module, char* out);

enum PackageStatus {
    PACKAGE_OK = 0,
    PACKAGE_CANNOT_OPEN,        // the installer's file cannot be opened (or its name not had)
    PACKAGE_SHORT_HEADER,       // the file ends inside a header the locator reads
    PACKAGE_NO_RESOURCES,       // no section named ".rsrc" among NumberOfSections headers
    PACKAGE_BAD_RESOURCE_DATA,  // the first resource's data lies before/outside the file
    PACKAGE_DAMAGED,            // the catalogue runs past the end of the file (no terminator)
    PACKAGE_ENTRY_OUTSIDE,      // an entry's bytes do not lie inside the file
    PACKAGE_NO_ENTRIES,         // the first entry is the terminating one: nothing to install
    PACKAGE_BAD_EXTENSION       // an extension field holds a byte Windows refuses in a file name
};

// A short English name of a status, for tools and test messages.
const char* PackageStatusName(PackageStatus status);

// The package locator on any file: a handle positioned at the first byte of
// the package catalogue, or -1 (with *why set when why is not null).
HFILE LocatePackageIn(const char* path, PackageStatus* why);

// The package locator of the stub: the same walk on the running module's file.
HFILE LocatePackage(void);

// What the locator's walk saw on its way, for the package writer and the host
// tools (the stub itself decides nothing on these fields).
struct PackageResource {
    uint32_t position;           // P: file offset of the first resource's data
    uint32_t typeNameField;      // name/id field of the root's first entry; high bit = named type
    uint32_t declaredSize;       // the first resource's declared size (4 in the stub)
    uint32_t sectionStart;       // PointerToRawData of ".rsrc"
    uint32_t sectionRawEnd;      // PointerToRawData + SizeOfRawData (saturating)
    uint32_t sectionVirtualEnd;  // PointerToRawData + VirtualSize (saturating)
    uint32_t failedAt;           // on failure: the file offset the walk could not read (or reach)
};

// The same walk as LocatePackageIn, also filling *found (may be null): all of
// it on success, only failedAt on failure.
HFILE LocatePackageResource(const char* path, PackageStatus* why, struct PackageResource* found);

// Title reader: fills the first 32 bytes of `title` (33 bytes, the last one
// never written) from the stub's own package; leaves it as it was when there
// is no package.
void ReadTitle(char* title);

// Size reader: from a handle at the first byte of the catalogue, adds every
// entry's installed size (original size, or stored size when stored as is) to
// *total, saturating at 0xFFFFFFFF. Leaves the handle just past the
// terminating entry. PACKAGE_DAMAGED when the file ends first.
PackageStatus ReadTotalSize(HFILE package, uint32_t* total);

// Catalogue walk: the order of reads by which the extraction visits entries.
struct CatalogueWalk {
    HFILE package;         // the walk's handle, owned by whoever began the walk
    uint16_t firstNumber;  // file number of entry index 2
    int index;             // index of the current entry
    CatalogueEntry entry;  // the current entry
    LONG nextRecord;       // file position just after the current entry's record
    PackageStatus status;  // PACKAGE_OK, or why the walk stopped early
};

// Reads the first file number and entry 0. Returns 1 when an entry is current,
// 0 when the catalogue is empty or damaged (see walk->status).
int BeginWalk(struct CatalogueWalk* walk, HFILE package);

// Moves the handle back to walk->nextRecord (the extraction may have moved or
// reopened it; set walk->package first then) and reads the next entry. Returns
// 1 when an entry is current, 0 at the terminating entry or on damage.
int NextEntry(struct CatalogueWalk* walk);

// The extension rule of the package check and the package writer: 1 when
// `extension` holds a byte Windows refuses in a file name: \ / : * ? " < > |
// and the control bytes (below 0x20, 0x7F). `strict` (the writer) also
// refuses the five bytes code page 1252 leaves undefined, which Windows reads
// as control characters.
int ExtensionRefused(const char* extension, int strict);

// The package check's rule for the walk's current entry: PACKAGE_ENTRY_OUTSIDE
// when its stored bytes do not lie inside a file of `fileSize` bytes,
// PACKAGE_BAD_EXTENSION when an extra file's extension is refused, else
// PACKAGE_OK.
PackageStatus CheckEntry(const struct CatalogueWalk* walk, uint32_t fileSize);

// The package check run before anything is asked or written: the locator
// finds the package, the catalogue ends before the end of the file, it has at
// least one entry, every entry's bytes lie inside the file and no extension
// field of an extra file holds a byte ExtensionRefused refuses. On PACKAGE_OK, *entryCount and *fileSize
// (either may be null) are filled.
PackageStatus CheckPackageIn(const char* path, uint32_t* entryCount, uint32_t* fileSize);
PackageStatus CheckPackage(void);

// The same check, telling the host tools where it failed.
struct PackageCheck {
    uint32_t position;        // P, when the locator found the package
    uint32_t fileSize;        // size of the installer's file
    uint32_t entryCount;      // entries before the terminating one (those read so far on failure)
    uint16_t firstNumber;     // file number of entry index 2
    int badIndex;             // index of the entry at fault, -1 when none is
    uint32_t badRecord;       // file offset of that entry's record, of the record that was cut short,
                              // or (locator failures) of the read where the locator stopped
    CatalogueEntry badEntry;  // that entry, when it was read whole
};
PackageStatus CheckPackageDetail(const char* path, struct PackageCheck* check);

#endif
