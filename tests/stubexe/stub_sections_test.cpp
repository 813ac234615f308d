// The section layout the stub's linker script makes (cross/stub.ld), as
// the loader will see it: no section both writable and executable, zero-filled
// data stored nowhere in the file, an import directory that covers exactly
// its descriptors, whose lookup and address tables agree entry for entry and
// whose address table is writable, an entry point in code and no TLS
// directory. Reads the file the build produced (STUB_EXE_PATH).
#include "tests/support/pe_builder.h"
#include "tests/support/pe_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace pe_reader;

constexpr uint32_t kUninitialised = 0x00000080, kExecute = 0x20000000, kWrite = 0x80000000;
constexpr int kImportDir = 1, kTlsDir = 9, kIatDir = 12;

struct Image {
    std::vector<uint8_t> file;
    Headers headers;
    uint32_t imageBase = 0;
    std::string error;

    const Section* SectionAt(uint32_t rva, uint32_t size = 1) const {
        for (const Section& s : headers.sections)
            if (rva >= s.virtualAddress && size <= s.virtualSize && rva - s.virtualAddress <= s.virtualSize - size)
                return &s;
        return nullptr;
    }
    // `size` bytes at `rva` that the file holds, or false.
    bool Bytes(uint32_t rva, uint32_t size, const uint8_t** out) const {
        const Section* s = SectionAt(rva, size);
        if (!s || rva - s->virtualAddress + uint64_t(size) > s->sizeOfRawData) return false;
        uint64_t at = uint64_t(s->pointerToRawData) + (rva - s->virtualAddress);
        if (at + size > file.size()) return false;
        *out = file.data() + at;
        return true;
    }
    bool U32(uint32_t rva, uint32_t* out) const {
        const uint8_t* p;
        if (!Bytes(rva, 4, &p)) return false;
        *out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        return true;
    }
    // A NUL-terminated text at `rva`, or "" with ok false.
    std::string Text(uint32_t rva, bool* ok) const {
        const Section* s = SectionAt(rva);
        *ok = false;
        if (!s) return "";
        std::string text;
        for (uint32_t at = rva; at - s->virtualAddress < s->virtualSize; at++) {
            const uint8_t* p;
            if (!Bytes(at, 1, &p)) return "";
            if (*p == 0) {
                *ok = true;
                return text;
            }
            text += char(*p);
        }
        return "";
    }
};

Image Load() {
    Image image;
    try {
        image.file = pe::ReadFileBytes(STUB_EXE_PATH);
    } catch (const std::exception& e) {
        image.error = e.what();
        return image;
    }
    if (!ReadHeaders(image.file, &image.headers, &image.error)) return image;
    const size_t imageBaseAt = size_t(image.headers.peOffset) + 24 + 28;  // optional header + 28
    if (image.file.size() < imageBaseAt + 4) {
        image.error = "file ends inside the optional header";
        return image;
    }
    std::memcpy(&image.imageBase, image.file.data() + imageBaseAt, 4);  // the tests run little-endian
    if (image.headers.dataDirectories.size() <= kIatDir) image.error = "fewer data directories than 13";
    return image;
}

const Image& TheImage() {
    static const Image image = Load();
    return image;
}

#define LOAD_IMAGE(s)            \
    const Image& s = TheImage(); \
    ASSERT_TRUE(s.error.empty()) << STUB_EXE_PATH << ": " << s.error

TEST(StubSections, NoneIsWritableAndExecutableAndZeroFillTakesNoFileSpace) {
    LOAD_IMAGE(s);
    for (const Section& section : s.headers.sections) {
        SCOPED_TRACE(section.name);
        EXPECT_FALSE((section.characteristics & kWrite) && (section.characteristics & kExecute));
        if (section.characteristics & kUninitialised) {
            EXPECT_EQ(section.sizeOfRawData, 0u);
        }
        EXPECT_NE(section.name, ".eh_fram");
    }
}

TEST(StubImports, LookupAndAddressTablesAgreeAndTheAddressTableIsWritable) {
    LOAD_IMAGE(s);
    const DataDirectory imports = s.headers.dataDirectories[kImportDir];
    const DataDirectory iat = s.headers.dataDirectories[kIatDir];
    const Section* iatSection = s.SectionAt(iat.rva, iat.size);
    ASSERT_NE(iatSection, nullptr) << "address table outside every section";
    EXPECT_TRUE(iatSection->characteristics & kWrite) << iatSection->name;

    std::set<std::string> dlls;
    uint32_t descriptor = imports.rva, entries = 0;
    for (;; descriptor += 20) {
        uint32_t lookup, name, address;
        ASSERT_TRUE(s.U32(descriptor, &lookup) && s.U32(descriptor + 12, &name) && s.U32(descriptor + 16, &address))
            << "descriptor at " << descriptor << " not in the file";
        if (lookup == 0 && name == 0 && address == 0) break;
        bool ok;
        std::string dll = s.Text(name, &ok);
        ASSERT_TRUE(ok) << "DLL name of the descriptor at " << descriptor;
        dlls.insert(dll);
        for (uint32_t i = 0;; i++) {
            uint32_t wanted, slot;
            ASSERT_TRUE(s.U32(lookup + 4 * i, &wanted) && s.U32(address + 4 * i, &slot)) << dll << " entry " << i;
            EXPECT_EQ(wanted, slot) << dll << " entry " << i << ": lookup and address tables differ";
            EXPECT_TRUE(address + 4 * i >= iat.rva && address + 4 * i + 4 <= iat.rva + iat.size)
                << dll << " entry " << i << " outside the address table directory";
            if (wanted == 0) break;
            ASSERT_EQ(wanted & 0x80000000u, 0u) << dll << " imports by ordinal";
            std::string function = s.Text(wanted + 2, &ok);
            EXPECT_TRUE(ok && !function.empty()) << dll << " entry " << i << ": no name";
            entries++;
        }
    }
    EXPECT_EQ(imports.size, descriptor + 20 - imports.rva) << "directory size: the descriptors and the null one";
    EXPECT_EQ(iat.size, 4 * (entries + dlls.size())) << "every entry and one null per DLL";
    // No runtime DLL that a Windows system may lack (libgcc's, for one).
    EXPECT_EQ(dlls, (std::set<std::string>{"GDI32.dll", "KERNEL32.dll", "USER32.dll", "msvcrt.dll"}));
}

// The stub starts at its own entry, without the C runtime's start-up code,
// so nothing would set up thread-local storage: a TLS directory would be a
// promise the image cannot keep.
TEST(StubEntry, EntryPointIsCodeInTheFileAndThereIsNoTlsDirectory) {
    LOAD_IMAGE(s);
    const uint32_t entry = s.headers.addressOfEntryPoint;
    const Section* code = s.SectionAt(entry, 1);
    ASSERT_NE(code, nullptr) << "entry point " << entry << " lies in no section";
    EXPECT_TRUE(code->characteristics & kExecute) << "entry point in " << code->name;
    const uint8_t* bytes;
    EXPECT_TRUE(s.Bytes(entry, 16, &bytes)) << "entry point code not stored in the file";
    const DataDirectory tls = s.headers.dataDirectories[kTlsDir];
    EXPECT_EQ(tls.rva, 0u);
    EXPECT_EQ(tls.size, 0u);
}

}  // namespace
