// Package writer (see package_writer.h). The stub's package position comes
// from the stub's own locator, so writer and stub cannot disagree on P; every
// size is summed in 64 bits and checked against the 2 GiB limits before a byte
// is laid out.
#include "tools/authoring/package_writer.h"

#include "package/package.h"

#include "tools/authoring/numbers.h"
#include "tools/authoring/read_file.h"

#include <cstdio>

namespace authoring {

namespace {

PackResult Refusal(PackFault fault, const std::string& message) {
    PackResult result;
    result.fault = fault;
    result.message = message;
    return result;
}

// C0 controls, DEL, and the five bytes Windows-1252 leaves undefined (which
// Windows maps to C1 controls).
bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// P and the resource section's extent, with the checks that make the stub
// one a package can be written into.
PackResult LocateInStub(const std::string& stubPath, uint64_t stubSize, PackageResource* found) {
    PackageStatus why;
    HFILE file = LocatePackageResource(stubPath.c_str(), &why, found);
    if (file == HFILE_ERROR) {
        PackFault fault = why == PACKAGE_CANNOT_OPEN ? PackFault::Io : PackFault::BadStub;
        return Refusal(fault, stubPath + ": no package resource found: " + PackageStatusName(why));
    }
    _lclose(file);
    if (!(found->typeNameField & RES_SUBDIR_BIT))
        return Refusal(
            PackFault::BadStub,
            stubPath + ": at offset " + Offset(found->sectionStart + RES_DIR_HEADER_SIZE) +
                ": expected the first resource type to be a named type (the package marker), found type id " +
                std::to_string(found->typeNameField));
    if (found->declaredSize != 4)
        return Refusal(PackFault::BadStub, stubPath + ": the first resource declares " +
                                               std::to_string(found->declaredSize) +
                                               " bytes; expected the 4-byte package marker");
    if (uint64_t(found->position) + found->declaredSize < found->sectionVirtualEnd)
        return Refusal(PackFault::BadStub,
                       stubPath + ": at offset " + Offset(found->position) +
                           ": expected the package marker's data to be the last data of the resource section, which "
                           "uses bytes up to offset " +
                           Offset(found->sectionVirtualEnd));
    if (stubSize > found->sectionRawEnd)
        return Refusal(PackFault::BadStub, stubPath + ": at offset " + Offset(found->sectionRawEnd) + ": " +
                                               std::to_string(stubSize - found->sectionRawEnd) +
                                               " bytes follow the resource section; expected it to end the file");
    return PackResult();
}

// The stored bytes of each file: the compressed stream when it is smaller.
std::vector<std::vector<uint8_t>> StoredStreams(const PackRequest& request, Package* out) {
    std::vector<std::vector<uint8_t>> streams;
    for (const PackInput& file : request.files) {
        PackedEntry entry;
        std::vector<uint8_t> stream;
        if (!request.storeAll) stream = EncodeStream(file.bytes.data(), file.bytes.size(), request.parsing);
        if (!request.storeAll && !stream.empty() && stream.size() < file.bytes.size()) {
            entry.storedSize = (uint32_t)stream.size();
            entry.originalSize = (uint32_t)file.bytes.size();
        } else {
            stream = file.bytes;
            entry.storedSize = (uint32_t)file.bytes.size();
        }
        out->entries.push_back(entry);
        streams.push_back(std::move(stream));
    }
    return streams;
}

PackResult CheckInputs(const PackRequest& request) {
    std::string problem = CheckTitle(request.title);
    if (!problem.empty()) return Refusal(PackFault::Refused, "pack: " + problem);
    if (request.files.empty()) return Refusal(PackFault::Refused, "no files to pack");
    uint64_t installed = 0;
    for (const PackInput& file : request.files) {
        if (file.bytes.empty())
            return Refusal(PackFault::Refused, file.name +
                                                   ": the file is empty; an installer cannot carry a file of 0 "
                                                   "bytes (its entry would read as the end of the catalogue)");
        problem = CheckExtension(file.extension);
        if (!problem.empty()) return Refusal(PackFault::Refused, file.name + ": " + problem);
        installed += file.bytes.size();
        PackResult result = CheckLimits(installed, 0, file.name);
        if (result.fault != PackFault::None) return result;
    }
    return PackResult();
}

void AppendCatalogue(const PackRequest& request, const Package& pkg, std::vector<uint8_t>* bytes) {
    uint8_t header[CAT_HEADER_SIZE] = {};
    for (size_t i = 0; i < request.title.size(); i++) header[CAT_TITLE + i] = (uint8_t)request.title[i];
    StoreU16(header + CAT_FIRST_NUMBER, request.firstNumber);
    bytes->insert(bytes->end(), header, header + sizeof header);
    for (size_t i = 0; i <= pkg.entries.size(); i++) {
        CatalogueEntry entry = {};
        if (i < pkg.entries.size()) {
            entry.fileOffset = pkg.entries[i].fileOffset;
            entry.storedSize = pkg.entries[i].storedSize;
            entry.originalSize = pkg.entries[i].originalSize;
            std::snprintf(entry.extension, sizeof entry.extension, "%s", request.files[i].extension.c_str());
        }
        uint8_t raw[ENTRY_SIZE];
        FormatEntry(&entry, raw);
        bytes->insert(bytes->end(), raw, raw + sizeof raw);
    }
}

}  // namespace

std::string CheckExtension(const std::string& extension) {
    if (extension.size() > kMaxExtension)
        return "the extension \"" + extension + "\" has " + std::to_string(extension.size()) +
               " characters; an installer keeps at most 4, the dot included";
    if (ExtensionRefused(extension.c_str(), 1))
        return "the extension \"" + extension +
               "\" holds a character Windows refuses in a file name "
               "(\\ / : * ? \" < > | or a control character)";
    return "";
}

std::string CheckTitle(const std::string& title) {
    if (title.empty()) return "the title is empty";
    if (title.size() > CAT_TITLE_SIZE)
        return "the title needs " + std::to_string(title.size()) + " bytes in Windows-1252; at most 32 fit";
    for (unsigned char c : title)
        if (IsControl(c)) return "the title holds a control character";
    return "";
}

PackResult CheckLimits(uint64_t installedTotal, uint64_t installerSize, const std::string& what) {
    if (installedTotal >= kTwoGiB)
        return Refusal(PackFault::Refused, what + ": the files together reach " + std::to_string(installedTotal) +
                                               " bytes; an installer installs less than 2 GiB");
    if (installerSize >= kTwoGiB)
        return Refusal(PackFault::Refused, what + ": the installer would reach " + std::to_string(installerSize) +
                                               " bytes; it must stay below 2 GiB");
    return PackResult();
}

PackResult WritePackage(const PackRequest& request, Package* out) {
    *out = Package();
    PackResult result = CheckInputs(request);
    if (result.fault != PackFault::None) return result;

    std::vector<uint8_t> stub;
    std::string error;
    switch (ReadWholeFile(request.stubPath, kTwoGiB - 1, &stub, &error)) {
    case ReadOutcome::Read: break;
    case ReadOutcome::TooLarge: return Refusal(PackFault::BadStub, request.stubPath + ": 2 GiB or more: no stub");
    default: return Refusal(PackFault::Io, error);
    }
    PackageResource found;
    result = LocateInStub(request.stubPath, stub.size(), &found);
    if (result.fault != PackFault::None) return result;
    if (found.position > stub.size()) return Refusal(PackFault::Io, request.stubPath + ": changed while it was read");

    std::vector<std::vector<uint8_t>> streams = StoredStreams(request, out);
    uint64_t at = uint64_t(found.position) + CAT_HEADER_SIZE + ENTRY_SIZE * (uint64_t(out->entries.size()) + 1);
    for (size_t i = 0; i < out->entries.size(); i++) {
        PackedEntry& entry = out->entries[i];
        result = CheckLimits(0, at + entry.storedSize, request.files[i].name);
        if (result.fault != PackFault::None) return result;
        entry.fileOffset = (uint32_t)at;
        at += entry.storedSize;
        out->totalInstalled += entry.originalSize ? entry.originalSize : entry.storedSize;
    }
    out->position = found.position;
    out->padding = at < found.sectionRawEnd ? (uint32_t)(found.sectionRawEnd - at) : 0;

    out->bytes.assign(stub.begin(), stub.begin() + found.position);
    AppendCatalogue(request, *out, &out->bytes);
    for (const std::vector<uint8_t>& stream : streams)
        out->bytes.insert(out->bytes.end(), stream.begin(), stream.end());
    out->bytes.resize(out->bytes.size() + out->padding, 0);
    return PackResult();
}

}  // namespace authoring
