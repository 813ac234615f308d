// A small read-only PE/resource parser over a byte vector, for tests: the
// headers and section table, the whole three-level resource directory as
// written (entry order and counts kept), and the resource formats the stub
// carries (standard dialog templates, icon groups).
//
// It is a checker, not a loader: every offset and size read from the bytes is
// checked against the buffer before use (overflow-safe), and anything that
// does not fit gives false with a message naming where; it never reads out
// of range, whatever the input.
#ifndef TESTS_SUPPORT_PE_READER_H
#define TESTS_SUPPORT_PE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe_reader {

struct Section {
    std::string name;  // up to 8 characters, trailing NULs dropped
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
    uint32_t characteristics = 0;
};

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct Headers {
    uint32_t peOffset = 0;  // e_lfanew
    uint16_t machine = 0;
    uint16_t numberOfSections = 0;
    uint16_t sizeOfOptionalHeader = 0;
    uint16_t characteristics = 0;
    uint16_t magic = 0;      // 0x10B for PE32
    uint16_t subsystem = 0;  // 2 = Windows GUI
    uint32_t sizeOfInitializedData = 0;
    uint32_t addressOfEntryPoint = 0;  // an RVA
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t checkSum = 0;
    size_t checkSumOffset = 0;  // file offset of the CheckSum field
    std::vector<DataDirectory> dataDirectories;
    std::vector<Section> sections;  // in section table order
};

// A name or id of a resource directory entry.
struct ResourceId {
    bool named = false;
    uint16_t id = 0;           // when !named
    std::u16string name;       // when named
    std::string Text() const;  // "LASTRES" or "#14", for messages
};

struct ResourceData {
    uint32_t entryOffset = 0;  // section offset of the 16-byte data entry
    uint32_t rva = 0;
    uint32_t size = 0;
    uint32_t codePage = 0;
    uint32_t fileOffset = 0;  // where the data begin in the file
};

struct ResourceDirectory;

struct ResourceEntry {
    ResourceId id;
    bool isDirectory = false;
    std::vector<ResourceEntry> children;  // entries of the subdirectory, in stored order
    uint16_t namedCount = 0;              // counts in the subdirectory's header
    uint16_t idCount = 0;
    uint32_t directoryOffset = 0;  // section offset of the subdirectory
    ResourceData data;             // for a leaf
};

struct ResourceTree {
    uint16_t namedCount = 0;  // counts in the root header
    uint16_t idCount = 0;
    std::vector<ResourceEntry> types;
};

// One resource: type, name, language and its data, in directory order.
struct ResourceLeaf {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    ResourceData data;
};

// Headers and section table (PE32 only).
bool ReadHeaders(const std::vector<uint8_t>& file, Headers* out, std::string* error);

// The first section with exactly this name, or null.
const Section* FindSection(const Headers& headers, const std::string& name);

// The resource directory of the section the resource data directory points
// at: exactly three levels (type, name, language), leaves at the third.
bool ReadResources(const std::vector<uint8_t>& file, const Headers& headers, ResourceTree* out, std::string* error);

// Every leaf in directory order (depth first).
std::vector<ResourceLeaf> Leaves(const ResourceTree& tree);

// The data of a leaf, or false when they do not lie inside the file.
bool LeafBytes(const std::vector<uint8_t>& file, const ResourceLeaf& leaf, std::vector<uint8_t>* out);

// --- Resource formats -----------------------------------------------------

// A name-or-ordinal field of a dialog template.
struct SzOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string text;  // empty both for "none" and for an empty string
};

struct DialogControl {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    SzOrOrdinal windowClass;
    SzOrOrdinal text;
    uint16_t creationDataSize = 0;
};

// A standard (not extended) dialog template.
struct DialogTemplate {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    SzOrOrdinal menu;
    SzOrOrdinal windowClass;
    std::u16string caption;
    uint16_t pointSize = 0;   // when DS_SETFONT
    std::u16string fontName;  // when DS_SETFONT
    std::vector<DialogControl> controls;
    size_t bytesUsed = 0;  // how far the template's records reach
};

// Fails on an extended template (signature 0xFFFF) as on a cut one.
bool ParseDialogTemplate(const std::vector<uint8_t>& data, DialogTemplate* out, std::string* error);

struct GroupIconMember {
    uint8_t width = 0, height = 0, colorCount = 0, reserved = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t bytesInRes = 0;
    uint16_t id = 0;
};

struct GroupIcon {
    uint16_t reserved = 0;
    uint16_t type = 0;  // 1 for icons
    std::vector<GroupIconMember> members;
};

bool ParseGroupIcon(const std::vector<uint8_t>& data, GroupIcon* out, std::string* error);

// The PE checksum of `file`, taking the four bytes at `checkSumOffset` as zero.
uint32_t Checksum(const std::vector<uint8_t>& file, size_t checkSumOffset);

// UTF-16 from ASCII, for comparisons in tests.
std::u16string U16(const std::string& ascii);

}  // namespace pe_reader

#endif
