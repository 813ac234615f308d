// scrpack compress and expand: raw compressed streams, as compressed entries
// store them, written and read with the installer's own encoder and decoder.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

#include "decode/decode.h"
#include "platform/streams.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/read_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace scrpack {

namespace {

const uint64_t kLargestEntry = 0x7FFFFFFFu;  // an installer stays below 2 GiB

std::string NameOf(const std::string& path) {
    return path == "-" ? "standard input" : Shown(path);
}

// IN has no length to go by: standard input, or a file that is not a
// regular one (a FIFO).
bool Unsized(const std::string& path) {
    return path == "-" || sys::TargetAt(path) == sys::Node::Other;
}

// An unsized IN, copied to a scratch file with a running count: refused the
// moment it passes `limit` bytes, never held in memory. The scratch file is
// left at its start, its size in *size.
int SpoolInput(const std::string& path, uint64_t limit, const char* limitText, FILE** scratch, uint64_t* size) {
    errno = 0;
    FILE* in = path == "-" ? stdin : StreamOpen(path.c_str(), "rb");
    if (!in) return Error(kExitIo, NameOf(path) + ": cannot open it: " + sys::ErrorText(errno));
    if (in == stdin) sys::UseBinary(stdin);
    *scratch = sys::OpenScratchFile();
    int code = *scratch
                   ? kExitOk
                   : Error(kExitIo, NameOf(path) + ": cannot make a temporary copy of it: " + sys::ErrorText(errno));
    std::vector<uint8_t> chunk(1 << 16);
    for (*size = 0; code == kExitOk;) {
        errno = 0;
        size_t got = StreamRead(chunk.data(), 1, chunk.size(), in);
        int error = errno;
        if (got > limit - *size) {
            code = Error(kExitUsage, NameOf(path) + ": " + limitText);
            break;
        }
        *size += got;
        errno = 0;
        if (got && StreamWrite(chunk.data(), 1, got, *scratch) != got)
            code = Error(kExitIo, NameOf(path) +
                                      ": its temporary copy: cannot write it: " + sys::ErrorText(errno ? errno : EIO));
        if (code != kExitOk || got == chunk.size()) continue;
        // Short: the end, or a failure. Only the end sets the end-of-file mark.
        if (!feof(in)) code = Error(kExitIo, NameOf(path) + ": cannot read it: " + sys::ErrorText(error ? error : EIO));
        break;
    }
    if (in != stdin) StreamClose(in);
    errno = 0;
    if (code == kExitOk && (std::fflush(*scratch) != 0 || StreamSeek(*scratch, 0, SEEK_SET) != 0))
        code = Error(kExitIo,
                     NameOf(path) + ": its temporary copy: cannot write it: " + sys::ErrorText(errno ? errno : EIO));
    if (code != kExitOk && *scratch) {
        StreamClose(*scratch);
        *scratch = nullptr;
    }
    return code;
}

// IN whole, at most `limit` bytes; an unsized one through a scratch file,
// so that only what is kept is held.
int ReadInput(const std::string& path, uint64_t limit, const char* limitText, std::vector<uint8_t>* bytes) {
    std::string error;
    authoring::ReadOutcome outcome;
    if (Unsized(path)) {
        FILE* scratch = nullptr;
        uint64_t size = 0;
        int code = SpoolInput(path, limit, limitText, &scratch, &size);
        if (code != kExitOk) return code;
        bytes->resize(size);
        errno = 0;
        bool read = StreamRead(bytes->data(), 1, bytes->size(), scratch) == bytes->size();
        int readError = errno;
        StreamClose(scratch);
        if (!read)
            return Error(kExitIo, NameOf(path) + ": its temporary copy: cannot read it: " +
                                      sys::ErrorText(readError ? readError : EIO));
        return kExitOk;
    }
    outcome = authoring::ReadWholeFile(path, limit, bytes, &error);
    switch (outcome) {
    case authoring::ReadOutcome::Read: return kExitOk;
    case authoring::ReadOutcome::TooLarge: return Error(kExitUsage, NameOf(path) + ": " + limitText);
    default: return Error(kExitIo, sys::Utf8FromHost(error));
    }
}

// The result line; on standard error when standard output carries the data.
void Summary(const Output& out, const std::string& line) {
    if (Quiet()) return;
    if (out.toStandardOutput())
        std::fprintf(stderr, "%s\n", line.c_str());
    else
        Say(line);
}

std::string OutName(const std::string& path) {
    return path == "-" ? "standard output" : Shown(path);
}

// What a damaged stream gave, said after OUT is written.
std::string DamageText(const std::string& in, const std::string& out, uint32_t stored, uint32_t size) {
    switch (LastDecodeStatus()) {
    case DECODE_SHORT_INPUT:
        return NameOf(in) + ": the stream is cut short: it needed " + Grouped(LastDecodeShortfall()) +
               " bytes more than its " + Grouped(stored) + " stored bytes, and zero bits stood in for them; " +
               OutName(out) + " is written, damaged";
    case DECODE_OVERRUN:
        return NameOf(in) + ": the stream's last match runs past " + Grouped(size) + " bytes; " + OutName(out) +
               " holds the first " + Grouped(size);
    case DECODE_UNSET_RING:
        return NameOf(in) + ": the stream copies from history it never wrote (zeros stood in); " + OutName(out) +
               " is written, damaged";
    default: return NameOf(in) + ": " + DecodeStatusName(LastDecodeStatus());
    }
}

}  // namespace

int Compress(const Args& args) {
    std::string error;
    if (args.positional.size() != 2) return UsageError("compress", "expected IN and OUT");
    int threads = 0;
    if (!ParseThreads(args, &threads)) return UsageError("compress", "--threads expects a number from 1 to 64");
    const std::string& inPath = args.positional[0];
    const std::string& outPath = args.positional[1];
    bool force = args.has("force");
    const char* tooLarge = "2 GiB or more; a compressed entry holds less";

    Output out;
    int code = kExitOk;
    if (!out.Open(outPath, force, {inPath}, force, &error, &code)) return Error(code, error);
    // IN is compressed as it is read, and the stream written as it comes:
    // neither is ever held whole. A file's size is checked first; an
    // unsized IN is refused the moment it passes the limit.
    bool regular = inPath != "-" && sys::TargetAt(inPath) == sys::Node::File;
    if (!regular && !Unsized(inPath)) {  // missing, a folder: said as reading it says it
        std::vector<uint8_t> none;
        code = ReadInput(inPath, kLargestEntry, tooLarge, &none);
        return code != kExitOk ? code : Error(kExitIo, Shown(inPath) + ": not a file");
    }
    uint64_t size = 0;
    if (regular && !sys::FileSize(inPath, &size)) return Error(kExitIo, Shown(inPath) + ": " + sys::ErrorText(errno));
    if (size > kLargestEntry) return Error(kExitUsage, NameOf(inPath) + ": " + tooLarge);
    errno = 0;
    FILE* in = inPath == "-" ? stdin : StreamOpen(inPath.c_str(), "rb");
    if (!in) return Error(kExitIo, NameOf(inPath) + ": cannot open it: " + sys::ErrorText(errno));
    if (in == stdin) sys::UseBinary(stdin);

    uint64_t taken = 0, written = 0;
    bool over = false;
    int readError = 0;
    auto read = [&](uint8_t* buffer, size_t most) -> size_t {
        if (over || readError) return 0;
        errno = 0;
        size_t got = StreamRead(buffer, 1, most, in);
        // Short: the end, or a failure. Only the end sets the end-of-file mark.
        if (got < most && !feof(in)) readError = errno ? errno : EIO;
        if (got > kLargestEntry - taken) {
            over = true;
            return 0;
        }
        taken += got;
        return got;
    };
    auto write = [&](const uint8_t* bytes, size_t count) {
        out.Write(bytes, count);  // a failure is reported by Commit
        written += count;
    };
    {
        // Its progress where IN's size is known; a pipe's end is not.
        std::unique_ptr<Progress> progress;
        if (regular) progress.reset(new Progress(NameOf(inPath) + ": compressing", size));
        FollowEncoding(progress.get());
        authoring::EncodeData(read, write, authoring::Parsing::Best, threads);
        FollowEncoding(nullptr);
    }
    if (in != stdin) StreamClose(in);
    if (over) return Error(kExitUsage, NameOf(inPath) + ": " + tooLarge);
    if (readError) return Error(kExitIo, NameOf(inPath) + ": cannot read it: " + sys::ErrorText(readError));
    if (!out.Commit(&error)) return Error(kExitIo, error);
    Summary(out, NameOf(inPath) + ": " + Grouped(taken) + " bytes -> " + OutName(outPath) + ": " + Grouped(written) +
                     " bytes");
    return kExitOk;
}

int Expand(const Args& args) {
    std::string error;
    if (args.positional.size() != 2) return UsageError("expand", "expected IN and OUT");
    if (!args.has("size")) return UsageError("expand", "--size N is required");
    uint64_t size = 0;
    if (!ParseNumber(args.value("size"), 0xFFFFFFFFu, &size))
        return UsageError("expand", "--size expects a number of bytes from 0 to 4294967295");
    const std::string& inPath = args.positional[0];
    const std::string& outPath = args.positional[1];

    // The stored size is IN's length: a file is read as it stands, anything
    // unsized through a scratch file first.
    FILE* spooled = nullptr;
    uint64_t stored = 0;
    bool regular = inPath != "-" && sys::TargetAt(inPath) == sys::Node::File;
    bool unsized = Unsized(inPath);
    if (!regular && !unsized) {  // missing, a folder: said as reading it says it
        std::vector<uint8_t> none;
        int code = ReadInput(inPath, kLargestEntry, "", &none);
        return code != kExitOk ? code : Error(kExitIo, Shown(inPath) + ": not a file");
    }
    if (regular && !sys::FileSize(inPath, &stored)) return Error(kExitIo, Shown(inPath) + ": " + sys::ErrorText(errno));
    if (regular && stored > kLargestEntry)
        return Error(kExitUsage, Shown(inPath) + ": 2 GiB or more; a compressed entry holds less");
    if (unsized) {
        int code = SpoolInput(inPath, kLargestEntry, "2 GiB or more; a compressed entry holds less", &spooled, &stored);
        if (code != kExitOk) return code;
    }
    uint32_t most = MaxExpandedSize((uint32_t)stored);
    if (size > most && spooled) StreamClose(spooled);
    if (size > most)
        return Error(kExitBadData, NameOf(inPath) + ": a stream of " + Grouped(stored) + " bytes gives at most " +
                                       Grouped(most) + " bytes without running past its end; " + Grouped(size) +
                                       " cannot be its original size");

    Output out;
    int code = kExitOk;
    if (!out.Open(outPath, args.has("force"), {inPath}, true, &error, &code)) {
        if (spooled) StreamClose(spooled);
        return Error(code, error);
    }
    errno = 0;
    FILE* in = regular ? StreamOpen(inPath.c_str(), "rb") : spooled;
    if (!in) return Error(kExitIo, NameOf(inPath) + ": cannot open it: " + sys::ErrorText(errno));
    errno = 0;
    Progress progress(NameOf(inPath) + ": expanding", stored);
    progress.Follow(in, 0);
    ExpandStream(in, out.stream(), (uint32_t)size, (uint32_t)stored, DECODE_TO_ORIGINAL_SIZE);
    progress.Unfollow(stored);
    int readError = ReadFailed() ? (errno ? errno : EIO) : 0;
    if (WriteFailed()) out.NoteWriteFailure();
    StreamClose(in);
    if (readError) return Error(kExitIo, NameOf(inPath) + ": cannot read it: " + sys::ErrorText(readError));
    DecodeStatus status = LastDecodeStatus();
    if (!out.Commit(&error)) return Error(kExitIo, error);
    if (status != DECODE_OK && status != DECODE_WRITE_FAILED)
        code = Error(kExitBadData, DamageText(inPath, outPath, (uint32_t)stored, (uint32_t)size));
    Summary(out, NameOf(inPath) + ": " + Grouped(stored) + " bytes -> " + OutName(outPath) + ": " + Grouped(size) +
                     " bytes");
    return code;
}

}  // namespace scrpack
