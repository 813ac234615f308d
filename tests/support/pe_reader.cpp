// Read-only PE/resource parser for tests; contract in pe_reader.h. All reads
// go through Bytes, which refuses any range outside its buffer.
#include "tests/support/pe_reader.h"

#include "package/records.h"

#include <cstdio>

namespace pe_reader {
namespace {

constexpr size_t kCoffMachine = 0;
constexpr size_t kCoffNumberOfSections = 2;
constexpr size_t kCoffSizeOfOptionalHeader = 16;
constexpr size_t kCoffCharacteristics = 18;
constexpr size_t kOptMagic = 0;
constexpr size_t kOptSizeOfInitializedData = 8;
constexpr size_t kOptAddressOfEntryPoint = 16;
constexpr size_t kOptSectionAlignment = 32;
constexpr size_t kOptFileAlignment = 36;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptCheckSum = 64;
constexpr size_t kOptSubsystem = 68;
constexpr size_t kOptNumberOfRvaAndSizes = 92;
constexpr size_t kOptDataDirectories = 96;
constexpr size_t kResourceDirectoryIndex = 2;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kHighBit = 0x80000000u;

// A bounds-checked view of a byte range.
struct Bytes {
    const uint8_t* data;
    size_t size;

    bool Has(uint64_t off, uint64_t len) const { return off <= size && len <= size - off; }
    uint16_t U16(size_t off) const { return LoadU16(data + off); }
    uint32_t U32(size_t off) const { return LoadU32(data + off); }
};

std::string Hex(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
    return text;
}

bool Broken(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

// Counted UTF-16 string of a resource name, at section offset `off`.
bool ReadResourceName(const Bytes& s, uint32_t off, std::u16string* out) {
    if (!s.Has(off, 2)) return false;
    uint16_t length = s.U16(off);
    if (!s.Has(uint64_t(off) + 2, uint64_t(length) * 2)) return false;
    out->clear();
    for (uint16_t i = 0; i < length; i++) out->push_back(char16_t(s.U16(off + 2 + 2 * size_t(i))));
    return true;
}

// No sound resource section has more entries than this; a directory that
// points back at itself cannot make the walk grow without end.
constexpr uint32_t kMaxEntries = 65536;

struct ResourceWalk {
    Bytes section;        // the resource section's raw bytes within VirtualSize
    uint32_t va;          // its VirtualAddress
    uint32_t rawPointer;  // its PointerToRawData
    uint32_t* entries;    // entries read so far, against kMaxEntries
    std::string* error;
};

bool ReadDirectory(const ResourceWalk& w, uint32_t dir, int level, uint16_t* named, uint16_t* ids,
                   std::vector<ResourceEntry>* out);

bool ReadEntry(const ResourceWalk& w, uint32_t at, int level, ResourceEntry* e) {
    uint32_t nameField = w.section.U32(at + RES_ENTRY_NAME);
    uint32_t target = w.section.U32(at + RES_ENTRY_OFFSET);
    e->id.named = (nameField & kHighBit) != 0;
    if (e->id.named) {
        if (!ReadResourceName(w.section, nameField & ~kHighBit, &e->id.name))
            return Broken(w.error, "resource name at " + Hex(nameField & ~kHighBit) + " leaves the section");
    } else {
        if (nameField > 0xFFFF) return Broken(w.error, "resource id " + Hex(nameField) + " is not 16-bit");
        e->id.id = uint16_t(nameField);
    }
    e->isDirectory = (target & kHighBit) != 0;
    if (level < 2) {
        if (!e->isDirectory) return Broken(w.error, "data entry at directory level " + std::to_string(level));
        e->directoryOffset = target & ~kHighBit;
        return ReadDirectory(w, e->directoryOffset, level + 1, &e->namedCount, &e->idCount, &e->children);
    }
    if (e->isDirectory) return Broken(w.error, "a fourth directory level at " + Hex(target & ~kHighBit));
    if (!w.section.Has(target, RES_DATA_ENTRY_SIZE))
        return Broken(w.error, "data entry at " + Hex(target) + " leaves the section");
    ResourceData& d = e->data;
    d.entryOffset = target;
    d.rva = w.section.U32(target + RES_DATA_RVA);
    d.size = w.section.U32(target + RES_DATA_SIZE);
    d.codePage = w.section.U32(target + RES_DATA_SIZE + 4);
    if (d.rva < w.va) return Broken(w.error, "data RVA " + Hex(d.rva) + " lies before the resource section");
    uint64_t fileOffset = uint64_t(d.rva - w.va) + w.rawPointer;
    if (fileOffset > 0xFFFFFFFFu) return Broken(w.error, "data RVA " + Hex(d.rva) + " maps past 4 GiB");
    d.fileOffset = uint32_t(fileOffset);
    return true;
}

bool ReadDirectory(const ResourceWalk& w, uint32_t dir, int level, uint16_t* named, uint16_t* ids,
                   std::vector<ResourceEntry>* out) {
    if (!w.section.Has(dir, RES_DIR_HEADER_SIZE))
        return Broken(w.error, "directory at " + Hex(dir) + " leaves the section");
    *named = w.section.U16(dir + 12);
    *ids = w.section.U16(dir + 14);
    uint32_t count = uint32_t(*named) + *ids;
    *w.entries += count;
    if (*w.entries > kMaxEntries)
        return Broken(w.error, "more than " + std::to_string(kMaxEntries) + " directory entries");
    if (!w.section.Has(uint64_t(dir) + RES_DIR_HEADER_SIZE, uint64_t(count) * RES_DIR_ENTRY_SIZE))
        return Broken(w.error, "the " + std::to_string(count) + " entries of the directory at " + Hex(dir) +
                                   " leave the section");
    out->assign(count, ResourceEntry());
    for (uint32_t k = 0; k < count; k++)
        if (!ReadEntry(w, dir + RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * k, level, &(*out)[k])) return false;
    return true;
}

bool ReadSzOrOrdinal(const Bytes& b, size_t* at, SzOrOrdinal* out) {
    if (!b.Has(*at, 2)) return false;
    uint16_t first = b.U16(*at);
    *at += 2;
    if (first == 0xFFFF) {
        if (!b.Has(*at, 2)) return false;
        out->isOrdinal = true;
        out->ordinal = b.U16(*at);
        *at += 2;
        return true;
    }
    out->isOrdinal = false;
    for (uint16_t c = first; c != 0; *at += 2) {
        out->text.push_back(char16_t(c));
        if (!b.Has(*at, 2)) return false;
        c = b.U16(*at);
    }
    return true;
}

bool ReadString(const Bytes& b, size_t* at, std::u16string* out) {
    for (;;) {
        if (!b.Has(*at, 2)) return false;
        uint16_t c = b.U16(*at);
        *at += 2;
        if (c == 0) return true;
        out->push_back(char16_t(c));
    }
}

size_t AlignTo4(size_t v) {
    return (v + 3) & ~size_t(3);
}

bool ReadControl(const Bytes& b, size_t* at, DialogControl* c) {
    *at = AlignTo4(*at);
    if (!b.Has(*at, 18)) return false;
    c->style = b.U32(*at);
    c->exStyle = b.U32(*at + 4);
    c->x = int16_t(b.U16(*at + 8));
    c->y = int16_t(b.U16(*at + 10));
    c->cx = int16_t(b.U16(*at + 12));
    c->cy = int16_t(b.U16(*at + 14));
    c->id = b.U16(*at + 16);
    *at += 18;
    if (!ReadSzOrOrdinal(b, at, &c->windowClass) || !ReadSzOrOrdinal(b, at, &c->text) || !b.Has(*at, 2)) return false;
    c->creationDataSize = b.U16(*at);
    *at += 2;
    if (!b.Has(*at, c->creationDataSize)) return false;
    *at += c->creationDataSize;
    return true;
}

}  // namespace

std::string ResourceId::Text() const {
    if (!named) return "#" + std::to_string(id);
    std::string text;
    for (char16_t c : name) text.push_back(c < 0x80 ? char(c) : '?');
    return text;
}

bool ReadHeaders(const std::vector<uint8_t>& file, Headers* out, std::string* error) {
    Bytes b{file.data(), file.size()};
    if (!b.Has(0, 64) || file[0] != 'M' || file[1] != 'Z') return Broken(error, "no DOS header");
    out->peOffset = b.U32(DOS_E_LFANEW);
    size_t pe = out->peOffset;
    if (!b.Has(pe, PE_SIGNATURE_SIZE + COFF_HEADER_SIZE) || b.U32(pe) != 0x00004550)
        return Broken(error, "no PE signature at " + Hex(pe));
    size_t coff = pe + PE_SIGNATURE_SIZE;
    out->machine = b.U16(coff + kCoffMachine);
    out->numberOfSections = b.U16(coff + kCoffNumberOfSections);
    out->sizeOfOptionalHeader = b.U16(coff + kCoffSizeOfOptionalHeader);
    out->characteristics = b.U16(coff + kCoffCharacteristics);
    size_t opt = coff + COFF_HEADER_SIZE;
    if (out->sizeOfOptionalHeader < kOptDataDirectories || !b.Has(opt, out->sizeOfOptionalHeader))
        return Broken(error, "optional header cut or too small");
    out->magic = b.U16(opt + kOptMagic);
    if (out->magic != kPe32Magic) return Broken(error, "not PE32 (magic " + Hex(out->magic) + ")");
    out->sizeOfInitializedData = b.U32(opt + kOptSizeOfInitializedData);
    out->addressOfEntryPoint = b.U32(opt + kOptAddressOfEntryPoint);
    out->sectionAlignment = b.U32(opt + kOptSectionAlignment);
    out->fileAlignment = b.U32(opt + kOptFileAlignment);
    out->sizeOfImage = b.U32(opt + kOptSizeOfImage);
    out->sizeOfHeaders = b.U32(opt + kOptSizeOfHeaders);
    out->checkSum = b.U32(opt + kOptCheckSum);
    out->checkSumOffset = opt + kOptCheckSum;
    out->subsystem = b.U16(opt + kOptSubsystem);
    uint32_t dirCount = b.U32(opt + kOptNumberOfRvaAndSizes);
    if (uint64_t(dirCount) * 8 > out->sizeOfOptionalHeader - kOptDataDirectories)
        return Broken(error, std::to_string(dirCount) + " data directories do not fit the optional header");
    out->dataDirectories.assign(dirCount, DataDirectory());
    for (uint32_t k = 0; k < dirCount; k++) {
        out->dataDirectories[k].rva = b.U32(opt + kOptDataDirectories + 8 * k);
        out->dataDirectories[k].size = b.U32(opt + kOptDataDirectories + 8 * k + 4);
    }
    size_t table = opt + out->sizeOfOptionalHeader;
    if (!b.Has(table, uint64_t(out->numberOfSections) * SECTION_HEADER_SIZE)) return Broken(error, "section table cut");
    out->sections.assign(out->numberOfSections, Section());
    for (size_t k = 0; k < out->numberOfSections; k++) {
        size_t h = table + k * SECTION_HEADER_SIZE;
        Section& s = out->sections[k];
        s.name.clear();
        for (size_t i = 0; i < SECTION_NAME_SIZE && file[h + i] != 0; i++) s.name.push_back(char(file[h + i]));
        s.virtualSize = b.U32(h + SECTION_VIRTUAL_SIZE);
        s.virtualAddress = b.U32(h + SECTION_VIRTUAL_ADDRESS);
        s.sizeOfRawData = b.U32(h + SECTION_SIZE_OF_RAW_DATA);
        s.pointerToRawData = b.U32(h + SECTION_POINTER_TO_RAW_DATA);
        s.characteristics = b.U32(h + 36);
    }
    return true;
}

const Section* FindSection(const Headers& headers, const std::string& name) {
    for (const Section& s : headers.sections)
        if (s.name == name) return &s;
    return nullptr;
}

bool ReadResources(const std::vector<uint8_t>& file, const Headers& headers, ResourceTree* out, std::string* error) {
    if (headers.dataDirectories.size() <= kResourceDirectoryIndex) return Broken(error, "no resource data directory");
    uint32_t rva = headers.dataDirectories[kResourceDirectoryIndex].rva;
    const Section* section = nullptr;
    for (const Section& s : headers.sections)
        if (s.virtualAddress == rva) section = &s;
    if (!section) return Broken(error, "no section starts at the resource directory's RVA " + Hex(rva));
    Bytes fileBytes{file.data(), file.size()};
    uint32_t length = section->virtualSize < section->sizeOfRawData ? section->virtualSize : section->sizeOfRawData;
    if (!fileBytes.Has(section->pointerToRawData, length))
        return Broken(error, "the resource section's raw data leave the file");
    uint32_t entries = 0;
    ResourceWalk w{Bytes{file.data() + section->pointerToRawData, length}, section->virtualAddress,
                   section->pointerToRawData, &entries, error};
    return ReadDirectory(w, 0, 0, &out->namedCount, &out->idCount, &out->types);
}

std::vector<ResourceLeaf> Leaves(const ResourceTree& tree) {
    std::vector<ResourceLeaf> leaves;
    for (const ResourceEntry& type : tree.types)
        for (const ResourceEntry& name : type.children)
            for (const ResourceEntry& language : name.children) {
                ResourceLeaf leaf;
                leaf.type = type.id;
                leaf.name = name.id;
                leaf.language = language.id.id;
                leaf.data = language.data;
                leaves.push_back(leaf);
            }
    return leaves;
}

bool LeafBytes(const std::vector<uint8_t>& file, const ResourceLeaf& leaf, std::vector<uint8_t>* out) {
    Bytes b{file.data(), file.size()};
    if (!b.Has(leaf.data.fileOffset, leaf.data.size)) return false;
    out->assign(file.begin() + leaf.data.fileOffset, file.begin() + leaf.data.fileOffset + leaf.data.size);
    return true;
}

bool ParseDialogTemplate(const std::vector<uint8_t>& data, DialogTemplate* out, std::string* error) {
    Bytes b{data.data(), data.size()};
    if (!b.Has(0, 18)) return Broken(error, "dialog template shorter than its header");
    if (b.U16(0) == 1 && b.U16(2) == 0xFFFF) return Broken(error, "an extended dialog template");
    out->style = b.U32(0);
    out->exStyle = b.U32(4);
    uint16_t count = b.U16(8);
    out->x = int16_t(b.U16(10));
    out->y = int16_t(b.U16(12));
    out->cx = int16_t(b.U16(14));
    out->cy = int16_t(b.U16(16));
    size_t at = 18;
    if (!ReadSzOrOrdinal(b, &at, &out->menu) || !ReadSzOrOrdinal(b, &at, &out->windowClass) ||
        !ReadString(b, &at, &out->caption))
        return Broken(error, "dialog template cut in its menu, class or caption");
    if (out->style & kDsSetFont) {
        if (!b.Has(at, 2)) return Broken(error, "dialog template cut before its font");
        out->pointSize = b.U16(at);
        at += 2;
        if (!ReadString(b, &at, &out->fontName)) return Broken(error, "dialog template cut in its font name");
    }
    out->controls.assign(count, DialogControl());
    for (uint16_t k = 0; k < count; k++)
        if (!ReadControl(b, &at, &out->controls[k]))
            return Broken(error, "dialog template cut in control " + std::to_string(k));
    out->bytesUsed = at;
    return true;
}

bool ParseGroupIcon(const std::vector<uint8_t>& data, GroupIcon* out, std::string* error) {
    Bytes b{data.data(), data.size()};
    if (!b.Has(0, 6)) return Broken(error, "icon group shorter than its header");
    out->reserved = b.U16(0);
    out->type = b.U16(2);
    uint16_t count = b.U16(4);
    if (!b.Has(6, uint64_t(count) * 14))
        return Broken(error, "icon group cut in its " + std::to_string(count) + " members");
    out->members.assign(count, GroupIconMember());
    for (size_t k = 0; k < count; k++) {
        size_t at = 6 + 14 * k;
        GroupIconMember& m = out->members[k];
        m.width = data[at];
        m.height = data[at + 1];
        m.colorCount = data[at + 2];
        m.reserved = data[at + 3];
        m.planes = b.U16(at + 4);
        m.bitCount = b.U16(at + 6);
        m.bytesInRes = b.U32(at + 8);
        m.id = b.U16(at + 12);
    }
    return true;
}

uint32_t Checksum(const std::vector<uint8_t>& file, size_t checkSumOffset) {
    uint64_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        uint32_t word = 0;
        for (size_t j = 0; j < 2 && i + j < file.size(); j++) {
            bool inField = i + j >= checkSumOffset && i + j < checkSumOffset + 4;
            word |= uint32_t(inField ? 0 : file[i + j]) << (8 * j);
        }
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return uint32_t((sum & 0xFFFF) + (sum >> 16) + file.size());
}

std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace pe_reader
