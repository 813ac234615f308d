// The stub's post-link step, as a library (tools/rsrcfix/main.cpp is the
// program, the tests call it directly).
//
// The resource compiler writes the data of the resources in directory order,
// so the data of LASTRES, the first resource, come first in .rsrc. The
// package locator needs the opposite: those data must be the last bytes the
// section uses, and .rsrc the image's last section, so that a package can be
// written from there to the end of the file. FixResourceLayout moves the data
// of the first leaf (first entry at each of the three levels) behind
// everything else in the section, zeroes their old place and fixes what
// depends on it: the leaf's data entry, the section's VirtualSize (and
// SizeOfRawData and SizeOfInitializedData when the raw data must grow),
// the resource data directory's size, SizeOfImage and the PE checksum.
//
// Trusts nothing in the image: every offset and size read from it is checked
// against the buffer (overflow-safe) before use. It refuses, and leaves the
// image untouched, whatever it cannot fix: not a PE32 image, an optional
// header other than 224 bytes, no ".rsrc", ".rsrc" not last in the section
// table, in memory and in the file, bytes after its raw data, a first
// resource type other than the named type LASTRES (or a second named type),
// a broken directory walk. Idempotent: an image already in shape comes back
// unchanged (its checksum is recomputed and found right).
#ifndef TOOLS_RSRCFIX_RSRCFIX_H
#define TOOLS_RSRCFIX_RSRCFIX_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rsrcfix {

enum class Status {
    kMoved,               // the LASTRES data were moved to the end of .rsrc
    kAlreadyInPlace,      // nothing had to move (the checksum may have been fixed)
    kNotPe,               // no DOS/PE signature, or headers outside the file
    kNotPe32,             // optional header magic is not PE32, or fewer than 3 data directories
    kOptionalHeaderSize,  // SizeOfOptionalHeader is not 224: the locator assumes 224
    kNoResourceSection,   // no section named ".rsrc"
    kResourceNotLast,     // ".rsrc" is not the last section (table, memory or file)
    kTrailingData,        // the file goes on past the raw data of ".rsrc"
    kBadDirectory,        // resource directory walk leaves the section or finds no leaf
    kNotMarkerFirst,      // the first resource type is not LASTRES, or LASTRES is not the only named type
    kBadData,             // the first leaf's data do not lie inside the section
    kTooLarge             // moving the data would overflow a 32-bit field
};

struct Result {
    Status status;
    std::string detail;        // one line for the user, naming offsets when it refuses
    uint32_t dataSize = 0;     // size of the LASTRES data (declared in its data entry)
    uint32_t oldOffset = 0;    // section offset of the data before
    uint32_t newOffset = 0;    // ... and after
    uint32_t virtualSize = 0;  // .rsrc VirtualSize after
};

bool Succeeded(Status status);
const char* StatusName(Status status);

// Fixes `image` in place (on success only).
Result FixResourceLayout(std::vector<uint8_t>& image);

// Checks without changing anything: kAlreadyInPlace when the layout is right
// and the checksum matches, kMoved when a fix would change the image, or the
// reason it could not be fixed.
Result CheckResourceLayout(const std::vector<uint8_t>& image);

// The PE checksum of `image`, taking the 4 bytes at `checksumOffset` as zero:
// 16-bit one's-complement-style sum with carries folded back, plus the length.
uint32_t PeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset);

}  // namespace rsrcfix

#endif
