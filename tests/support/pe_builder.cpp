// Synthetic PE32 files with a resource section (see pe_builder.h).
#include "tests/support/pe_builder.h"

#include "package/records.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pe {

namespace {

enum {
    kDosHeaderSize = 64,
    kOptionalHeaderSize = 224,
    kResourceDirectoryIndex = 2,
    kDataDirectories = 96,  // offset of the data directories inside the optional header
};

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    StoreU16(out.data() + at, v);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    StoreU32(out.data() + at, v);
}

// Offsets inside one resource section, relative to its start.
struct TreeLayout {
    std::vector<uint32_t> typeDir, nameDir, dataEntry, typeName, data;
    uint32_t virtualSize = 0;
};

TreeLayout PlanTree(const Options& o) {
    size_t n = o.resources.size();
    TreeLayout t;
    uint32_t at = RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * (uint32_t)n;
    for (size_t i = 0; i < n; i++, at += RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE) t.typeDir.push_back(at);
    for (size_t i = 0; i < n; i++, at += RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE) t.nameDir.push_back(at);
    for (size_t i = 0; i < n; i++, at += RES_DATA_ENTRY_SIZE) t.dataEntry.push_back(at);
    for (const Resource& r : o.resources) {
        t.typeName.push_back(at);
        if (r.namedType) at = AlignUp(at + 2 + 2 * (uint32_t)r.typeName.size(), 2);
    }
    t.data.assign(n, 0);
    for (size_t i = 1; i < n; i++) {
        at = AlignUp(at, 4);
        t.data[i] = at;
        at += (uint32_t)o.resources[i].data.size();
    }
    at = AlignUp(at, 4);
    if (o.packageDataOffset) {
        if (o.packageDataOffset < at) throw std::invalid_argument("packageDataOffset overlaps the directory");
        at = o.packageDataOffset;
    }
    if (n) {
        t.data[0] = at;
        at += (uint32_t)o.resources[0].data.size();
    }
    t.virtualSize = at;
    return t;
}

// Writes the resource tree of a section whose first byte is at `base` in the
// file and at `va` in memory.
void WriteTree(const Options& o, const TreeLayout& t, std::vector<uint8_t>& out, uint32_t base, uint32_t va) {
    size_t n = o.resources.size();
    uint16_t named = 0;
    for (const Resource& r : o.resources) named = (uint16_t)(named + (r.namedType ? 1 : 0));
    Put16(out, base + 12, named);
    Put16(out, base + 14, (uint16_t)(n - named));
    for (size_t i = 0; i < n; i++) {
        const Resource& r = o.resources[i];
        uint32_t entry = base + RES_DIR_HEADER_SIZE + RES_DIR_ENTRY_SIZE * (uint32_t)i;
        Put32(out, entry + RES_ENTRY_NAME, r.namedType ? RES_SUBDIR_BIT | t.typeName[i] : r.typeId);
        Put32(out, entry + RES_ENTRY_OFFSET, RES_SUBDIR_BIT | t.typeDir[i]);
        Put16(out, base + t.typeDir[i] + 14, 1);
        Put32(out, base + t.typeDir[i] + RES_DIR_HEADER_SIZE + RES_ENTRY_NAME, r.nameId);
        Put32(out, base + t.typeDir[i] + RES_DIR_HEADER_SIZE + RES_ENTRY_OFFSET, RES_SUBDIR_BIT | t.nameDir[i]);
        Put16(out, base + t.nameDir[i] + 14, 1);
        Put32(out, base + t.nameDir[i] + RES_DIR_HEADER_SIZE + RES_ENTRY_NAME, r.language);
        Put32(out, base + t.nameDir[i] + RES_DIR_HEADER_SIZE + RES_ENTRY_OFFSET, t.dataEntry[i]);
        uint32_t declared = r.declaredSize < 0 ? (uint32_t)r.data.size() : (uint32_t)r.declaredSize;
        Put32(out, base + t.dataEntry[i] + RES_DATA_RVA, va + t.data[i]);
        Put32(out, base + t.dataEntry[i] + RES_DATA_SIZE, declared);
        if (r.namedType) {
            Put16(out, base + t.typeName[i], (uint16_t)r.typeName.size());
            for (size_t c = 0; c < r.typeName.size(); c++)
                Put16(out, base + t.typeName[i] + 2 + 2 * (uint32_t)c, (uint8_t)r.typeName[c]);
        }
        std::copy(r.data.begin(), r.data.end(), out.begin() + base + t.data[i]);
    }
}

void WriteHeaders(const Options& o, const Layout& layout, uint32_t headersSize, uint32_t imageSize,
                  uint32_t resourceRva, uint32_t resourceSize, std::vector<uint8_t>& out) {
    out[0] = 'M';
    out[1] = 'Z';
    Put32(out, DOS_E_LFANEW, o.peOffset);
    uint32_t pe = o.peOffset;
    out[pe] = 'P';
    out[pe + 1] = 'E';
    uint32_t coff = pe + PE_SIGNATURE_SIZE;
    Put16(out, coff + 0, 0x014C);  // i386
    uint16_t count = (uint16_t)(o.declaredSections < 0 ? (int)o.sections.size() : o.declaredSections);
    Put16(out, coff + COFF_NUMBER_OF_SECTIONS, count);
    Put16(out, coff + 16, kOptionalHeaderSize);
    Put16(out, coff + 18, 0x0103);  // relocations stripped, executable, 32-bit
    uint32_t opt = coff + COFF_HEADER_SIZE;
    Put16(out, opt + 0, 0x010B);  // PE32
    if (!layout.sections.empty()) Put32(out, opt + 16, layout.sections[0].virtualAddress);
    Put32(out, opt + 28, 0x00400000);
    Put32(out, opt + 32, o.sectionAlignment);
    Put32(out, opt + 36, o.fileAlignment);
    Put16(out, opt + 40, 4);  // operating system version
    Put16(out, opt + 48, 4);  // subsystem version
    Put32(out, opt + 56, imageSize);
    Put32(out, opt + 60, headersSize);
    Put16(out, opt + 68, 2);  // GUI
    Put32(out, opt + 92, 16);
    Put32(out, opt + kDataDirectories + 8 * kResourceDirectoryIndex, resourceRva);
    Put32(out, opt + kDataDirectories + 8 * kResourceDirectoryIndex + 4, resourceSize);
    for (size_t k = 0; k < o.sections.size(); k++) {
        const Section& s = o.sections[k];
        const SectionLayout& l = layout.sections[k];
        uint32_t h = pe + SECTION_TABLE_OFFSET + SECTION_HEADER_SIZE * (uint32_t)k;
        if (s.name.size() > SECTION_NAME_SIZE) throw std::invalid_argument("section name longer than 8 bytes");
        std::copy(s.name.begin(), s.name.end(), out.begin() + h + SECTION_NAME);
        Put32(out, h + SECTION_VIRTUAL_SIZE, l.virtualEnd - l.rawStart);
        Put32(out, h + SECTION_VIRTUAL_ADDRESS, l.virtualAddress);
        Put32(out, h + SECTION_SIZE_OF_RAW_DATA, l.rawEnd - l.rawStart);
        Put32(out, h + SECTION_POINTER_TO_RAW_DATA, l.rawStart);
        Put32(out, h + 36, s.resources ? 0x40000040u : 0x60000020u);
    }
}

// What the locator reads on its way through `l`'s tree, in order.
void PlanWalk(const Options& o, const TreeLayout& t, const SectionLayout& l, int rsrcIndex, Layout* layout) {
    layout->walk.push_back({"e_lfanew", DOS_E_LFANEW, 4});
    layout->walk.push_back({"PE signature, COFF and optional header", o.peOffset, SECTION_TABLE_OFFSET});
    for (int k = 0; k <= rsrcIndex; k++)
        layout->walk.push_back({"section header " + std::to_string(k),
                                o.peOffset + SECTION_TABLE_OFFSET + SECTION_HEADER_SIZE * (uint32_t)k,
                                SECTION_HEADER_SIZE});
    uint32_t s = l.rawStart;
    layout->walk.push_back({"root directory header", s, RES_DIR_HEADER_SIZE});
    layout->walk.push_back({"type level entry", s + RES_DIR_HEADER_SIZE, RES_DIR_ENTRY_SIZE});
    layout->walk.push_back({"name level entry", s + t.typeDir[0] + RES_DIR_HEADER_SIZE, RES_DIR_ENTRY_SIZE});
    layout->walk.push_back({"language level entry", s + t.nameDir[0] + RES_DIR_HEADER_SIZE, RES_DIR_ENTRY_SIZE});
    layout->walk.push_back({"data entry", s + t.dataEntry[0], RES_DATA_ENTRY_SIZE});
}

}  // namespace

Options::Options() {
    sections = {{".text", 0x400, false, 0xC3}, {".rdata", 0x200, false, 0x11}, {".rsrc", 0, true, 0}};
    resources = {Named("LASTRES", {0, 0, 0, 0}), Numbered(3, 744), Numbered(5, 180, 0x44), Numbered(14, 20, 0x0E)};
    resources[1].nameId = 1;
    resources[2].nameId = 103;
    resources[3].nameId = 101;
}

Resource Numbered(uint16_t typeId, size_t size, uint8_t fill) {
    Resource r;
    r.typeId = typeId;
    r.data.assign(size, fill);
    return r;
}

Resource Named(const std::string& typeName, std::vector<uint8_t> data, uint16_t nameId) {
    Resource r;
    r.namedType = true;
    r.typeName = typeName;
    r.nameId = nameId;
    r.data = std::move(data);
    return r;
}

Image Build(const Options& o) {
    if (o.resources.empty()) throw std::invalid_argument("a resource tree needs at least one resource");
    TreeLayout tree = PlanTree(o);
    Image image;
    Layout& layout = image.layout;
    uint32_t tableEnd = o.peOffset + SECTION_TABLE_OFFSET + SECTION_HEADER_SIZE * (uint32_t)o.sections.size();
    if (o.peOffset < kDosHeaderSize) throw std::invalid_argument("e_lfanew inside the DOS header");
    uint32_t headersSize = AlignUp(tableEnd, o.fileAlignment);
    uint32_t raw = headersSize, va = o.sectionAlignment;
    uint32_t resourceRva = 0, resourceSize = 0;
    int declared = o.declaredSections < 0 ? (int)o.sections.size() : o.declaredSections;
    for (size_t k = 0; k < o.sections.size(); k++) {
        const Section& s = o.sections[k];
        SectionLayout l;
        l.name = s.name;
        l.rawStart = raw;
        l.virtualAddress = va;
        uint32_t virtualSize = s.resources ? tree.virtualSize : s.rawSize;
        uint32_t rawSize = s.resources ? AlignUp(tree.virtualSize, o.fileAlignment) + o.rawSlack : s.rawSize;
        l.rawEnd = raw + rawSize;
        l.virtualEnd = raw + virtualSize;
        if (s.resources) {
            l.packagePos = raw + tree.data[0];
            if (!resourceRva) {
                resourceRva = va;
                resourceSize = virtualSize;
            }
            if (layout.rsrcIndex < 0 && (int)k < declared && s.name == ".rsrc") layout.rsrcIndex = (int)k;
        }
        layout.sections.push_back(l);
        raw = l.rawEnd;
        va = AlignUp(va + (virtualSize > rawSize ? virtualSize : rawSize), o.sectionAlignment);
    }
    image.bytes.assign(raw, 0);
    WriteHeaders(o, layout, headersSize, va, resourceRva, resourceSize, image.bytes);
    for (size_t k = 0; k < o.sections.size(); k++) {
        const SectionLayout& l = layout.sections[k];
        if (o.sections[k].resources)
            WriteTree(o, tree, image.bytes, l.rawStart, l.virtualAddress);
        else
            std::fill(image.bytes.begin() + l.rawStart, image.bytes.begin() + l.rawEnd, o.sections[k].fill);
    }
    if (layout.rsrcIndex >= 0) {
        const SectionLayout& l = layout.sections[layout.rsrcIndex];
        layout.packagePos = l.packagePos;
        layout.rsrcRawEnd = l.rawEnd;
        PlanWalk(o, tree, l, layout.rsrcIndex, &layout);
    }
    if (o.truncateAt < image.bytes.size()) image.bytes.resize(o.truncateAt);
    return image;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace pe
