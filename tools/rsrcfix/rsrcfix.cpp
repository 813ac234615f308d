// Post-link step of the stub: moves the data of the first resource (LASTRES)
// to the end of the last section, .rsrc. Contract in rsrcfix.h. Every read of
// the image goes through the bounds-checked helpers below; a value that does
// not fit leaves the image unchanged and names what was wrong.
#include "tools/rsrcfix/rsrcfix.h"

#include "package/records.h"
#include "tools/authoring/numbers.h"

#include <cstdio>
#include <cstring>

namespace rsrcfix {
namespace {

using authoring::Hex;

// Resource data are placed on 8-byte boundaries, as the resource compiler does.
constexpr uint32_t kDataAlignment = 8;
constexpr char kMarkerType[] = "LASTRES";

bool InRange(uint64_t size, uint64_t off, uint64_t len) {
    return off <= size && len <= size - off;
}

// Rounds up to a power-of-two alignment; false when the result does not fit
// in 32 bits.
bool AlignUp(uint64_t value, uint32_t alignment, uint32_t* out) {
    uint64_t aligned = (value + alignment - 1) & ~uint64_t(alignment - 1);
    if (aligned > 0xFFFFFFFFu) return false;
    *out = uint32_t(aligned);
    return true;
}

bool IsPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Where the fields that the fix reads and writes are, once the image has been
// found sound.
struct Layout {
    size_t optional = 0;       // file offset of the optional header
    size_t rsrcHeader = 0;     // file offset of the .rsrc section header
    uint32_t va = 0;           // .rsrc VirtualAddress
    uint32_t virtualSize = 0;  // .rsrc VirtualSize
    uint32_t rawPointer = 0;   // .rsrc PointerToRawData
    uint32_t rawSize = 0;      // .rsrc SizeOfRawData
    uint32_t fileAlignment = 0;
    uint32_t sectionAlignment = 0;
    size_t dataEntry = 0;     // file offset of the first leaf's data entry
    uint32_t dataOffset = 0;  // section offset of its data
    uint32_t dataSize = 0;    // declared size of its data
};

// "Sound so far": the analysis steps return this when they found nothing wrong.
Result Ok() {
    return Result{Status::kAlreadyInPlace, ""};
}

bool IsOk(const Result& r) {
    return r.status == Status::kAlreadyInPlace;
}

Result Problem(Status status, const std::string& detail) {
    Result r;
    r.status = status;
    r.detail = detail;
    return r;
}

// A section-relative view of .rsrc's bytes, limited to what both its
// VirtualSize and its raw data cover.
struct Section {
    const std::vector<uint8_t>& image;
    size_t start;   // file offset of the section's first byte
    uint32_t size;  // bytes that may be read

    bool Has(uint64_t off, uint64_t len) const { return InRange(size, off, len); }
    uint16_t U16(uint32_t off) const { return LoadU16(&image[start + off]); }
    uint32_t U32(uint32_t off) const { return LoadU32(&image[start + off]); }
};

// The name of a root entry is LASTRES (stored as a counted UTF-16 string).
bool NamesMarker(const Section& s, uint32_t nameField) {
    if (!(nameField & RES_SUBDIR_BIT)) return false;
    uint32_t off = nameField & ~RES_SUBDIR_BIT;
    const uint32_t length = sizeof kMarkerType - 1;
    if (!s.Has(off, 2 + 2 * length) || s.U16(off) != length) return false;
    for (uint32_t i = 0; i < length; i++)
        if (s.U16(off + 2 + 2 * i) != uint16_t(kMarkerType[i])) return false;
    return true;
}

// First entry of the directory at section offset `dir`: its offset field, or
// false when the directory is empty or leaves the section.
bool FirstEntry(const Section& s, uint32_t dir, uint32_t* name, uint32_t* target) {
    if (!s.Has(dir, RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE)) return false;
    if (s.U16(dir + RES_DIR_NAMED_COUNT) + s.U16(dir + RES_DIR_ID_COUNT) == 0) return false;
    *name = s.U32(dir + RES_DIR_HEADER_SIZE + RES_ENTRY_NAME);
    *target = s.U32(dir + RES_DIR_HEADER_SIZE + RES_ENTRY_OFFSET);
    return true;
}

// Headers: a PE32 image with a 224-byte optional header.
Result ReadHeaders(const std::vector<uint8_t>& image, Layout* l, size_t* sections, uint16_t* count) {
    if (image.size() < DOS_HEADER_SIZE || image[DOS_MAGIC] != 'M' || image[DOS_MAGIC + 1] != 'Z')
        return Problem(Status::kNotPe, "no DOS header (\"MZ\")");
    uint32_t pe = LoadU32(&image[DOS_E_LFANEW]);
    if (!InRange(image.size(), pe, PE_SIGNATURE_SIZE + COFF_HEADER_SIZE) || std::memcmp(&image[pe], "PE\0\0", 4) != 0)
        return Problem(Status::kNotPe, "no PE signature at " + Hex(pe));
    size_t coff = size_t(pe) + PE_SIGNATURE_SIZE;
    uint16_t optionalSize = LoadU16(&image[coff + COFF_SIZE_OF_OPTIONAL_HEADER]);
    if (optionalSize != OPTIONAL_HEADER_SIZE)
        return Problem(Status::kOptionalHeaderSize,
                       "SizeOfOptionalHeader is " + std::to_string(optionalSize) + ", the package locator assumes 224");
    l->optional = coff + COFF_HEADER_SIZE;
    if (!InRange(image.size(), l->optional, OPTIONAL_HEADER_SIZE))
        return Problem(Status::kNotPe, "the file ends inside the optional header");
    const uint8_t* opt = &image[l->optional];
    if (LoadU16(opt + OPT_MAGIC) != PE32_MAGIC)
        return Problem(Status::kNotPe32, "optional header magic is not PE32 (0x10B)");
    if (LoadU32(opt + OPT_NUMBER_OF_RVA_AND_SIZES) <= DATA_DIRECTORY_RESOURCE)
        return Problem(Status::kNotPe32, "no resource data directory");
    l->fileAlignment = LoadU32(opt + OPT_FILE_ALIGNMENT);
    l->sectionAlignment = LoadU32(opt + OPT_SECTION_ALIGNMENT);
    if (!IsPowerOfTwo(l->fileAlignment) || !IsPowerOfTwo(l->sectionAlignment))
        return Problem(Status::kNotPe, "FileAlignment or SectionAlignment is not a power of two");
    *count = LoadU16(&image[coff + COFF_NUMBER_OF_SECTIONS]);
    *sections = l->optional + OPTIONAL_HEADER_SIZE;
    if (!InRange(image.size(), *sections, uint64_t(*count) * SECTION_HEADER_SIZE))
        return Problem(Status::kNotPe, "the file ends inside the section table");
    return Ok();
}

// .rsrc: found by its exact name, last in the table, in memory and in the
// file, and the file ends with its raw data.
Result FindResourceSection(const std::vector<uint8_t>& image, size_t sections, uint16_t count, Layout* l) {
    static const uint8_t kName[SECTION_NAME_SIZE] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    int found = -1;
    for (int k = 0; k < count && found < 0; k++)
        if (std::memcmp(&image[sections + size_t(k) * SECTION_HEADER_SIZE + SECTION_NAME], kName, sizeof kName) == 0)
            found = k;
    if (found < 0) return Problem(Status::kNoResourceSection, "no section named .rsrc");
    if (found != count - 1)
        return Problem(Status::kResourceNotLast, ".rsrc is section " + std::to_string(found + 1) + " of " +
                                                     std::to_string(count) + ", not the last");
    l->rsrcHeader = sections + size_t(found) * SECTION_HEADER_SIZE;
    const uint8_t* h = &image[l->rsrcHeader];
    l->va = LoadU32(h + SECTION_VIRTUAL_ADDRESS);
    l->virtualSize = LoadU32(h + SECTION_VIRTUAL_SIZE);
    l->rawPointer = LoadU32(h + SECTION_POINTER_TO_RAW_DATA);
    l->rawSize = LoadU32(h + SECTION_SIZE_OF_RAW_DATA);
    for (int k = 0; k < found; k++) {
        const uint8_t* other = &image[sections + size_t(k) * SECTION_HEADER_SIZE];
        uint64_t otherEnd = uint64_t(LoadU32(other + SECTION_VIRTUAL_ADDRESS)) + LoadU32(other + SECTION_VIRTUAL_SIZE);
        uint32_t otherRaw = LoadU32(other + SECTION_SIZE_OF_RAW_DATA);
        uint64_t otherRawEnd = uint64_t(LoadU32(other + SECTION_POINTER_TO_RAW_DATA)) + otherRaw;
        if (otherEnd > l->va || (otherRaw != 0 && otherRawEnd > l->rawPointer))
            return Problem(Status::kResourceNotLast,
                           "section " + std::to_string(k + 1) + " lies after .rsrc in memory or in the file");
    }
    if (!InRange(image.size(), l->rawPointer, l->rawSize))
        return Problem(Status::kNotPe, ".rsrc raw data (" + Hex(l->rawPointer) + ", " + Hex(l->rawSize) +
                                           " bytes) run past the end of the file");
    if (uint64_t(l->rawPointer) + l->rawSize != image.size())
        return Problem(Status::kTrailingData, "the file has " + Hex(image.size() - l->rawPointer - l->rawSize) +
                                                  " bytes after the raw data of .rsrc");
    const uint8_t* dirs = &image[l->optional + OPT_DATA_DIRECTORIES];
    if (LoadU32(dirs + 8 * DATA_DIRECTORY_RESOURCE) != l->va)
        return Problem(Status::kBadDirectory, "the resource data directory does not point at .rsrc");
    return Ok();
}

// Walks the first entry at each level down to the first leaf; it must belong
// to LASTRES, the only named type.
Result FindMarkerData(const std::vector<uint8_t>& image, Layout* l) {
    Section s{image, l->rawPointer, l->virtualSize < l->rawSize ? l->virtualSize : l->rawSize};
    uint32_t name = 0, target = 0;
    if (!FirstEntry(s, 0, &name, &target))
        return Problem(Status::kBadDirectory, "empty or cut root resource directory");
    if (s.U16(RES_DIR_NAMED_COUNT) != 1 || !NamesMarker(s, name))
        return Problem(Status::kNotMarkerFirst,
                       "the first resource type is not LASTRES, or it is not the only named type");
    for (int level = 1; level <= 2; level++) {
        if (!(target & RES_SUBDIR_BIT))
            return Problem(Status::kBadDirectory,
                           "a data entry where a directory was expected at level " + std::to_string(level));
        if (!FirstEntry(s, target & ~RES_SUBDIR_BIT, &name, &target))
            return Problem(Status::kBadDirectory,
                           "empty or cut resource directory at level " + std::to_string(level + 1));
    }
    if ((target & RES_SUBDIR_BIT) || !s.Has(target, RES_DATA_ENTRY_SIZE))
        return Problem(Status::kBadDirectory, "the first language entry has no data entry inside .rsrc");
    l->dataEntry = s.start + target;
    uint32_t rva = s.U32(target + RES_DATA_RVA);
    l->dataSize = s.U32(target + RES_DATA_SIZE);
    if (rva < l->va || !s.Has(rva - l->va, l->dataSize))
        return Problem(Status::kBadData, "the LASTRES data (RVA " + Hex(rva) + ", " + Hex(l->dataSize) +
                                             " bytes) do not lie inside .rsrc");
    l->dataOffset = rva - l->va;
    return Ok();
}

Result Analyse(const std::vector<uint8_t>& image, Layout* l) {
    size_t sections = 0;
    uint16_t count = 0;
    Result r = ReadHeaders(image, l, &sections, &count);
    if (IsOk(r)) r = FindResourceSection(image, sections, count, l);
    if (IsOk(r)) r = FindMarkerData(image, l);
    return r;
}

// Moves the data behind everything else, growing the raw data when needed.
Result MoveMarkerData(std::vector<uint8_t>& image, const Layout& l) {
    uint32_t newOffset = 0, newEnd = 0, sizeOfImage = 0, rawSize = l.rawSize;
    if (!AlignUp(l.virtualSize, kDataAlignment, &newOffset) || uint64_t(newOffset) + l.dataSize > 0xFFFFFFFFu)
        return Problem(Status::kTooLarge, ".rsrc would grow past 4 GiB");
    newEnd = newOffset + l.dataSize;
    if (!AlignUp(uint64_t(l.va) + newEnd, l.sectionAlignment, &sizeOfImage) ||
        (newEnd > rawSize && !AlignUp(newEnd, l.fileAlignment, &rawSize)) ||
        uint64_t(l.rawPointer) + rawSize > 0xFFFFFFFFu)
        return Problem(Status::kTooLarge, ".rsrc would grow past 4 GiB");

    uint8_t* opt = &image[l.optional];
    uint32_t grow = rawSize - l.rawSize;
    if (grow != 0) {
        image.resize(image.size() + grow, 0);
        opt = &image[l.optional];
        StoreU32(&image[l.rsrcHeader + SECTION_SIZE_OF_RAW_DATA], rawSize);
        StoreU32(opt + OPT_SIZE_OF_INITIALIZED_DATA, LoadU32(opt + OPT_SIZE_OF_INITIALIZED_DATA) + grow);
    }
    uint8_t* section = &image[l.rawPointer];
    std::memcpy(section + newOffset, section + l.dataOffset, l.dataSize);
    std::memset(section + l.dataOffset, 0, l.dataSize);
    StoreU32(&image[l.dataEntry + RES_DATA_RVA], l.va + newOffset);
    StoreU32(&image[l.rsrcHeader + SECTION_VIRTUAL_SIZE], newEnd);
    StoreU32(opt + OPT_DATA_DIRECTORIES + 8 * DATA_DIRECTORY_RESOURCE + 4, newEnd);
    StoreU32(opt + OPT_SIZE_OF_IMAGE, sizeOfImage);

    Result r;
    r.status = Status::kMoved;
    r.dataSize = l.dataSize;
    r.oldOffset = l.dataOffset;
    r.newOffset = newOffset;
    r.virtualSize = newEnd;
    r.detail = "LASTRES data (" + std::to_string(l.dataSize) + " bytes) moved from .rsrc+" + Hex(l.dataOffset) +
               " to .rsrc+" + Hex(newOffset) + "; VirtualSize " + Hex(newEnd);
    return r;
}

}  // namespace

bool Succeeded(Status status) {
    return status == Status::kMoved || status == Status::kAlreadyInPlace;
}

const char* StatusName(Status status) {
    switch (status) {
    case Status::kMoved: return "moved";
    case Status::kAlreadyInPlace: return "already in place";
    case Status::kNotPe: return "not a PE image";
    case Status::kNotPe32: return "not a PE32 image";
    case Status::kOptionalHeaderSize: return "optional header size is not 224";
    case Status::kNoResourceSection: return "no .rsrc section";
    case Status::kResourceNotLast: return ".rsrc is not the last section";
    case Status::kTrailingData: return "data after .rsrc";
    case Status::kBadDirectory: return "bad resource directory";
    case Status::kNotMarkerFirst: return "LASTRES is not the first resource";
    case Status::kBadData: return "LASTRES data outside .rsrc";
    case Status::kTooLarge: return "too large";
    }
    return "unknown";
}

uint32_t PeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset) {
    auto byteAt = [&](size_t i) -> uint32_t {
        if (i >= image.size() || (i >= checksumOffset && i - checksumOffset < 4)) return 0;
        return image[i];
    };
    uint32_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        sum += byteAt(i) | (byteAt(i + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + uint32_t(image.size());
}

Result FixResourceLayout(std::vector<uint8_t>& image) {
    Layout l;
    Result r = Analyse(image, &l);
    if (!IsOk(r)) return r;
    std::vector<uint8_t> work = image;
    if (uint64_t(l.dataOffset) + l.dataSize == l.virtualSize) {
        r.dataSize = l.dataSize;
        r.oldOffset = r.newOffset = l.dataOffset;
        r.virtualSize = l.virtualSize;
        r.detail = "LASTRES data already end .rsrc at " + Hex(l.virtualSize);
    } else {
        r = MoveMarkerData(work, l);
        if (r.status != Status::kMoved) return r;
    }
    size_t checksumAt = l.optional + OPT_CHECKSUM;
    StoreU32(&work[checksumAt], PeChecksum(work, checksumAt));

    // The result must pass the same walk with its data now last.
    Layout after;
    Result check = Analyse(work, &after);
    if (!IsOk(check) || uint64_t(after.dataOffset) + after.dataSize != after.virtualSize)
        return Problem(Status::kBadDirectory, "internal: the fixed image does not pass its own check");
    image.swap(work);
    return r;
}

Result CheckResourceLayout(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> copy = image;
    Result r = FixResourceLayout(copy);
    if (Succeeded(r.status) && copy != image) {
        r.status = Status::kMoved;
        if (r.oldOffset == r.newOffset) r.detail = "the PE checksum is wrong";
    }
    return r;
}

}  // namespace rsrcfix
