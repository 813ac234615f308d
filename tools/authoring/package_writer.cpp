// Package writer (see package_writer.h). The stub's package position comes
// from the stub's own locator, so writer and stub cannot disagree on P; every
// size is summed in 64 bits and checked against the 2 GiB limits before a byte
// is laid out.
#include "tools/authoring/package_writer.h"

#include "package/package.h"

#include "platform/streams.h"
#include "tools/authoring/memory_decode.h"
#include "tools/authoring/numbers.h"
#include "tools/authoring/read_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

// A file's contents, in blocks: from its bytes, or read from its file.
class InputReader {
public:
    explicit InputReader(const PackInput& file) : file_(file) {}
    ~InputReader() {
        if (stream_) StreamClose(stream_);
    }
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    bool Open(std::string* error) {
        if (file_.path.empty()) return true;
        errno = 0;
        stream_ = StreamOpen(file_.path.c_str(), "rb");
        if (!stream_) *error = file_.path + ": cannot open it: " + std::strerror(errno ? errno : EIO);
        return stream_ != nullptr;
    }
    // Up to `most` bytes; 0 at the end (or after a failure, see Check).
    size_t Read(uint8_t* buffer, size_t most) {
        size_t got;
        if (file_.path.empty()) {
            got = std::min<uint64_t>(most, file_.bytes.size() - at_);
            if (got) std::memcpy(buffer, file_.bytes.data() + at_, got);
        } else {
            if (failed_) return 0;
            errno = 0;
            got = StreamRead(buffer, 1, most, stream_);
            if (got < most && !feof(stream_)) {
                failed_ = errno ? errno : EIO;
                return 0;
            }
        }
        at_ += got;
        return got;
    }
    // After the last Read: whether every byte came, as many as the size said.
    bool Check(std::string* error) const {
        if (failed_) {
            *error = file_.path + ": cannot read it: " + std::strerror(failed_);
            return false;
        }
        if (at_ != file_.Size()) {
            *error = file_.name + ": changed while it was packed (" + std::to_string(at_) + " bytes read, " +
                     std::to_string(file_.Size()) + " expected)";
            return false;
        }
        return true;
    }

private:
    const PackInput& file_;
    FILE* stream_ = nullptr;
    uint64_t at_ = 0;
    int failed_ = 0;
};

// The compressed streams one after the other: in a scratch file, or in
// memory where the request gives none.
class StreamStore {
public:
    explicit StreamStore(FILE* file) : file_(file) {}
    ~StreamStore() {
        if (file_) StreamClose(file_);
    }
    StreamStore(const StreamStore&) = delete;
    StreamStore& operator=(const StreamStore&) = delete;

    uint64_t size() const { return size_; }
    bool failed() const { return failed_; }
    FILE* file() const { return file_; }
    // The file, standing at `at` for reading; null when it cannot. (The C
    // library wants a seek between reading and writing: the next Append
    // makes one.)
    FILE* ReadAt(uint64_t at) {
        positioned_ = false;
        if (failed_ || std::fflush(file_) != 0 || StreamSeek(file_, long(at), SEEK_SET) != 0) return nullptr;
        return file_;
    }
    const uint8_t* bytes(uint64_t at) const { return bytes_.data() + at; }

    void Append(const uint8_t* bytes, size_t count) {
        if (!file_) {
            bytes_.insert(bytes_.end(), bytes, bytes + count);
        } else if (!failed_) {
            if (!positioned_ && StreamSeek(file_, long(size_), SEEK_SET) != 0) failed_ = true;
            positioned_ = true;
            if (!failed_ && StreamWrite(bytes, 1, count, file_) != count) failed_ = true;
        }
        size_ += count;
    }
    // Drops what was appended from `size` on.
    void Truncate(uint64_t size) {
        size_ = size;
        bytes_.resize(file_ ? 0 : size);
        positioned_ = false;
    }
    // Hands `count` bytes from `at` on to `write`.
    bool Copy(uint64_t at, uint64_t count, const DataWriter& write) {
        if (!file_) {
            write(bytes_.data() + at, size_t(count));
            return true;
        }
        if (!ReadAt(at)) return false;
        std::vector<uint8_t> block(size_t(1) << 16);
        while (count > 0) {
            size_t want = size_t(std::min<uint64_t>(count, block.size()));
            if (StreamRead(block.data(), 1, want, file_) != want) return false;
            write(block.data(), want);
            count -= want;
        }
        return true;
    }

private:
    FILE* file_;
    std::vector<uint8_t> bytes_;
    uint64_t size_ = 0;
    bool positioned_ = false;  // the file stands at size_ (for Append)
    bool failed_ = false;
};

// Where each entry's stored bytes are: the compressed stream at `at` in the
// store, or the file itself.
struct StoredAt {
    bool compressed = false;
    uint64_t at = 0;
};

// 1 when the stream of `file` at `at` in the store expands back to the file.
bool ExpandsBack(const PackInput& file, const StoredAt& where, const PackedEntry& entry, StreamStore& store,
                 const PackRequest& request, PackResult* result) {
    InputReader input(file);
    std::string error;
    if (!input.Open(&error)) {
        *result = Refusal(PackFault::Io, error);
        return false;
    }
    std::vector<uint8_t> expanded, original(size_t(1) << 16);
    FILE* check = nullptr;
    bool same = true;
    if (!store.file()) {
        same = DecodeBuffer(store.bytes(where.at), entry.storedSize, entry.originalSize, &expanded) == DECODE_OK;
    } else {
        // Expanded into a scratch file of its own, then compared block by block.
        check = request.openScratch();
        FILE* stream = check ? store.ReadAt(where.at) : nullptr;
        if (!stream) {
            if (check) StreamClose(check);
            *result = Refusal(PackFault::Io, "a temporary file: cannot make or read it");
            return false;
        }
        ExpandStream(stream, check, entry.originalSize, entry.storedSize, DECODE_TO_ORIGINAL_SIZE);
        same = LastDecodeStatus() == DECODE_OK && !WriteFailed() && std::fflush(check) == 0 &&
               StreamSeek(check, 0, SEEK_SET) == 0;
        expanded.resize(original.size());
    }
    uint64_t compared = 0;
    while (same) {
        size_t got = input.Read(original.data(), original.size());
        if (got == 0) break;
        const uint8_t* theirs;
        if (check) {
            if (StreamRead(expanded.data(), 1, got, check) != got) same = false;
            theirs = expanded.data();
        } else {
            same = compared + got <= expanded.size();
            theirs = same ? expanded.data() + compared : nullptr;
        }
        same = same && std::memcmp(theirs, original.data(), got) == 0;
        compared += got;
    }
    if (check) StreamClose(check);
    if (!input.Check(&error)) {
        *result = Refusal(PackFault::Io, error);
        return false;
    }
    if (!same || compared != entry.originalSize) {
        *result = Refusal(PackFault::Encoder, file.name +
                                                  ": its compressed stream does not expand back to the file "
                                                  "(encoder fault)");
        return false;
    }
    return true;
}

// Compresses each file into the store, where that makes it smaller, and
// notes where its stored bytes are.
PackResult StoreFiles(const PackRequest& request, StreamStore& store, Package* out, std::vector<StoredAt>* where) {
    for (const PackInput& file : request.files) {
        PackedEntry entry;
        StoredAt at;
        at.at = store.size();
        if (!request.storeAll) {
            InputReader input(file);
            std::string error;
            if (!input.Open(&error)) return Refusal(PackFault::Io, error);
            uint64_t before = store.size();
            EncodeData([&](uint8_t* buffer, size_t most) { return input.Read(buffer, most); },
                       [&](const uint8_t* bytes, size_t count) { store.Append(bytes, count); }, request.parsing,
                       request.threads);
            if (!input.Check(&error)) return Refusal(PackFault::Io, error);
            if (store.failed()) return Refusal(PackFault::Io, "a temporary file: cannot write it");
            uint64_t streamSize = store.size() - before;
            at.compressed = streamSize > 0 && streamSize < file.Size();
            if (at.compressed) {
                entry.storedSize = (uint32_t)streamSize;
                entry.originalSize = (uint32_t)file.Size();
            } else {
                store.Truncate(before);
            }
        }
        if (!at.compressed) entry.storedSize = (uint32_t)file.Size();
        if (at.compressed && request.checkRoundTrip) {
            PackResult result;
            if (!ExpandsBack(file, at, entry, store, request, &result)) return result;
        }
        out->entries.push_back(entry);
        where->push_back(at);
    }
    return PackResult();
}

PackResult CheckInputs(const PackRequest& request) {
    std::string problem = CheckTitle(request.title);
    if (!problem.empty()) return Refusal(PackFault::Refused, "pack: " + problem);
    if (request.files.empty()) return Refusal(PackFault::Refused, "no files to pack");
    uint64_t installed = 0;
    for (const PackInput& file : request.files) {
        if (file.Size() == 0)
            return Refusal(PackFault::Refused, file.name +
                                                   ": the file is empty; an installer cannot carry a file of 0 "
                                                   "bytes (its entry would read as the end of the catalogue)");
        problem = CheckExtension(file.extension);
        if (!problem.empty()) return Refusal(PackFault::Refused, file.name + ": " + problem);
        installed += file.Size();
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

PackResult WritePackageTo(const PackRequest& request, const DataWriter& write, Package* out) {
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

    FILE* scratch = nullptr;
    if (request.openScratch && !request.storeAll) {
        scratch = request.openScratch();
        if (!scratch)
            return Refusal(PackFault::Io, std::string("cannot make a temporary file: ") + std::strerror(errno));
    }
    StreamStore store(scratch);
    std::vector<StoredAt> where;
    result = StoreFiles(request, store, out, &where);
    if (result.fault != PackFault::None) return result;
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
    out->size = at + out->padding;

    std::vector<uint8_t> head(stub.begin(), stub.begin() + found.position);
    AppendCatalogue(request, *out, &head);
    write(head.data(), head.size());
    for (size_t i = 0; i < out->entries.size(); i++) {
        if (where[i].compressed) {
            if (!store.Copy(where[i].at, out->entries[i].storedSize, write))
                return Refusal(PackFault::Io, "a temporary file: cannot read it");
            continue;
        }
        InputReader input(request.files[i]);
        if (!input.Open(&error)) return Refusal(PackFault::Io, error);
        std::vector<uint8_t> block(size_t(1) << 16);
        while (size_t got = input.Read(block.data(), block.size())) write(block.data(), got);
        if (!input.Check(&error)) return Refusal(PackFault::Io, error);
    }
    std::vector<uint8_t> zeros(out->padding, 0);
    if (!zeros.empty()) write(zeros.data(), zeros.size());
    return PackResult();
}

PackResult WritePackage(const PackRequest& request, Package* out) {
    std::vector<uint8_t> bytes;
    PackResult result = WritePackageTo(
        request, [&](const uint8_t* data, size_t count) { bytes.insert(bytes.end(), data, data + count); }, out);
    if (result.fault == PackFault::None) out->bytes = std::move(bytes);
    return result;
}

}  // namespace authoring
