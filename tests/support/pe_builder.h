// Builder of small synthetic PE32 files with a resource section, for tests of
// everything that walks an installer's headers: the package locator, the
// package writer, the host tools and the resource fixer.
//
// By default it builds what a bare stub looks like to the locator: sections
// .text, .rdata and .rsrc (the last), a resource directory whose first type is
// the named type LASTRES (name 1000, language 1033) holding 4 bytes, followed
// by the numbered types 3, 5 and 14; the LASTRES data are the last bytes of the
// section's virtual size, and the file ends at the section's raw end. Every
// part can be changed: section order and names (stored verbatim, so an 8-byte
// name has no NUL), which sections carry the resource tree, named or numbered
// types, the declared size, the NumberOfSections field, where the first
// resource's data lies, slack after it and truncation.
//
// The directory is laid out breadth-first (root, type level, name level, data
// entries, type names, data), so the headers the locator reads appear in file
// order; Layout::walk lists them for truncation tests.
#ifndef TESTS_SUPPORT_PE_BUILDER_H
#define TESTS_SUPPORT_PE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

struct Section {
    std::string name;          // at most 8 bytes, stored as given, NUL-padded
    uint32_t rawSize = 0x200;  // raw bytes of a plain section; a resource section is sized to fit
    bool resources = false;    // this section holds the resource tree
    uint8_t fill = 0xCC;       // content byte of a plain section
};

struct Resource {
    bool namedType = false;    // a named type (high bit in the root entry's name field)
    std::string typeName;      // ASCII name of a named type
    uint16_t typeId = 0;       // id of a numbered type
    uint16_t nameId = 1;       // the one entry at the name level
    uint16_t language = 1033;  // the one entry at the language level
    std::vector<uint8_t> data;
    int64_t declaredSize = -1;  // the data entry's Size; -1: data.size()
};

struct Options {
    Options();  // the default stub described above
    std::vector<Section> sections;
    std::vector<Resource> resources;  // resources[0] is the first entry at every level
    uint32_t peOffset = 0x80;         // e_lfanew
    int declaredSections = -1;        // NumberOfSections; -1: sections.size()
    uint32_t fileAlignment = 0x200;
    uint32_t sectionAlignment = 0x1000;
    uint32_t packageDataOffset = 0;  // section offset of resources[0]'s data; 0: right after the rest
    uint32_t rawSlack = 0;           // raw bytes of the resource section beyond its aligned size
    size_t truncateAt = SIZE_MAX;    // the file is cut to this many bytes
};

// A stretch of the file that the locator reads, named for messages.
struct Span {
    std::string what;
    uint32_t offset;
    uint32_t size;
};

struct SectionLayout {
    std::string name;
    uint32_t rawStart = 0, rawEnd = 0;  // PointerToRawData, + SizeOfRawData
    uint32_t virtualAddress = 0;
    uint32_t virtualEnd = 0;  // rawStart + VirtualSize
    uint32_t packagePos = 0;  // resource section: file offset of resources[0]'s data
};

struct Layout {
    std::vector<SectionLayout> sections;  // in section table order
    int rsrcIndex = -1;                   // the section the locator takes: the first named exactly ".rsrc" within
                                          // NumberOfSections and holding the tree; -1 if none
    uint32_t packagePos = 0;              // that section's packagePos (P), 0 if none
    uint32_t rsrcRawEnd = 0;              // that section's raw end
    std::vector<Span> walk;               // what the locator reads, in order, up to the data entry
};

struct Image {
    std::vector<uint8_t> bytes;
    Layout layout;
};

// Throws std::invalid_argument on options that cannot be laid out.
Image Build(const Options& options = Options());

// A resource of a numbered type with `size` bytes of `fill`.
Resource Numbered(uint16_t typeId, size_t size, uint8_t fill = 0x5A);
// A resource of a named type.
Resource Named(const std::string& typeName, std::vector<uint8_t> data, uint16_t nameId = 1000);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace pe

#endif
