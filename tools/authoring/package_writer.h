// Package writer (host only): writes a package into a copy of the stub so that
// the stub finds and reads it.
//
// The result is the stub's bytes up to P (found by the stub's own locator),
// then the catalogue (title, first file number, one entry per file, a
// terminating entry of 16 zero bytes), then the files' stored bytes laid out
// compactly in entry order. When that would end before the end of the stub's
// raw resource data, zeros fill up to it. The same inputs always give the
// same bytes.
//
// Refuses, with a message naming the file and what was expected: a stub whose
// package resource cannot be found or is not a 4-byte resource of a named type
// that ends the resource section, a stub with bytes after its resource
// section, an empty file, an extension or title that does not fit its field,
// and installed or output totals of 2 GiB or more.
#ifndef TOOLS_AUTHORING_PACKAGE_WRITER_H
#define TOOLS_AUTHORING_PACKAGE_WRITER_H

#include "tools/authoring/encoder.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace authoring {

// One file to pack.
struct PackInput {
    std::string name;            // how messages name it (the path given)
    std::vector<uint8_t> bytes;  // its contents, at least 1 byte (unless `path` is set)
    std::string extension;       // extension field: Windows-1252, at most 4 bytes ("" for none)
    // Instead of `bytes`: the file the contents are read from as they are
    // packed (more than once), and its size, which must not change meanwhile.
    std::string path = std::string();
    uint64_t size = 0;

    uint64_t Size() const { return path.empty() ? bytes.size() : size; }
};

struct PackRequest {
    std::string stubPath;      // the bare stub, read through the package locator
    std::string title;         // Windows-1252, 1 to 32 bytes, no control bytes
    uint16_t firstNumber = 1;  // file number of entry index 2
    bool storeAll = false;     // never compress
    Parsing parsing = Parsing::Best;
    int threads = 0;               // the encoder's (EncodeData)
    std::vector<PackInput> files;  // screen saver, data file, extra files
    // Expands every compressed stream again and compares it with its file
    // (an encoder fault is refused as PackFault::Encoder).
    bool checkRoundTrip = false;
    // Temporary files for the compressed streams (and the check), so that
    // nothing is held whole; none: they are held in memory.
    std::function<FILE*()> openScratch;
};

// One entry as written into the catalogue.
struct PackedEntry {
    uint32_t fileOffset = 0;
    uint32_t storedSize = 0;
    uint32_t originalSize = 0;  // 0: stored as is
};

struct Package {
    std::vector<uint8_t> bytes;   // the whole packaged installer (WritePackage only)
    uint64_t size = 0;            // its size
    uint32_t position = 0;        // P: where the catalogue starts
    uint32_t padding = 0;         // zeros added after the last file to reach the stub's raw resource end
    uint64_t totalInstalled = 0;  // what the stub's size reader will add up
    std::vector<PackedEntry> entries;
};

enum class PackFault {
    None,
    Refused,  // an input the format cannot carry (empty file, long extension, totals too large)
    BadStub,  // the stub is not one the package can be written into
    Io,       // the stub, a file or a temporary file cannot be read or written
    Encoder   // a compressed stream does not expand back to its file (checkRoundTrip)
};

struct PackResult {
    PackFault fault = PackFault::None;
    std::string message;  // plain text naming the file and what was expected
};

// Both limits that follow from signed 32-bit file offsets and sizes.
constexpr uint64_t kTwoGiB = 0x80000000ull;
constexpr size_t kMaxExtension = 4;  // with its leading '.'

// The extension field's check: at most 4 bytes, none of them a path
// separator, a colon or a control byte. Returns "" when it fits, else what is
// wrong with it.
std::string CheckExtension(const std::string& extension);

// The title's check: 1 to 32 bytes, no control bytes. "" when it fits.
std::string CheckTitle(const std::string& title);

// The 2 GiB limits: the installed files together, and the installer's size.
// `what` names the file that reached the limit.
PackResult CheckLimits(uint64_t installedTotal, uint64_t installerSize, const std::string& what);

PackResult WritePackage(const PackRequest& request, Package* out);

// WritePackage, the installer's bytes handed to `write` in order as they are
// laid out instead of kept in out->bytes. Holds no file whole when the
// request gives scratch files and its files by path.
PackResult WritePackageTo(const PackRequest& request, const DataWriter& write, Package* out);

}  // namespace authoring

#endif
