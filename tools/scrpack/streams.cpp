// scrpack compress and expand: raw compressed streams, as compressed entries
// store them, written and read with the installer's own encoder and decoder.
#include "tools/scrpack/scrpack.h"

#include "decode/decode.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/package_writer.h"

#include <sys/stat.h>

namespace scrpack {

DecodeOutcome DecodeEntry(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize) {
    // The block buffers and the decoder are process-wide: reset them first.
    ReadPtr(NULL, 0, 0);
    WritePtr(NULL, 0, 0, 0);
    DecodeOutcome outcome;
    outcome.produced = DecodeStream(in, out, originalSize, storedSize, STREAM_MODE);
    outcome.status = LastDecodeStatus();
    outcome.writeFailed = WriteFailed() != 0;
    return outcome;
}

const char* DecodeStatusText(int status) {
    return DecodeStatusName((enum DecodeStatus)status);
}

int Compress(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {}, {}, &args, &error)) return UsageError("compress", error);
    if (args.help) {
        std::fputs(kCompressHelp, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 2) return UsageError("compress", "expected IN and OUT");
    const std::string& in = args.positional[0];
    const std::string& out = args.positional[1];
    std::vector<uint8_t> data;
    if (!ReadWholeFile(in, &data, &error)) return Fail(kExitIo, error);
    if (data.size() >= authoring::kTwoGiB)
        return Fail(kExitUsage, in + ": " + std::to_string(data.size()) +
                                    " bytes; a compressed entry holds less than 2 GiB");
    std::vector<uint8_t> stream = authoring::EncodeStream(data.data(), data.size());
    if (!WriteWholeFile(out, stream, &error)) return Fail(kExitIo, error);
    std::printf("%s: %s bytes -> %s: %s bytes\n", in.c_str(), Grouped(data.size()).c_str(), out.c_str(),
                Grouped(stream.size()).c_str());
    return kExitOk;
}

int Expand(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {"--size"}, {}, &args, &error)) return UsageError("expand", error);
    if (args.help) {
        std::fputs(kExpandHelp, stdout);
        return kExitOk;
    }
    if (args.positional.size() != 2) return UsageError("expand", "expected IN and OUT");
    uint64_t size = 0;
    if (!args.values.count("--size")) return UsageError("expand", "--size N is required");
    if (!ParseNumber(args.values["--size"], 0xFFFFFFFFu, &size))
        return UsageError("expand", "--size expects a number of bytes from 0 to 4294967295");
    const std::string& inPath = args.positional[0];
    const std::string& outPath = args.positional[1];

    struct stat st;
    if (stat(inPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail(kExitIo, inPath + ": not a readable file");
    if ((uint64_t)st.st_size > 0xFFFFFFFFu) return Fail(kExitUsage, inPath + ": larger than any stored stream");
    FILE* in = std::fopen(inPath.c_str(), "rb");
    if (!in) return Fail(kExitIo, inPath + ": cannot open for reading");
    TempFile out(outPath);
    if (!out.ok()) {
        std::fclose(in);
        return Fail(kExitIo, out.error());
    }
    DecodeOutcome outcome = DecodeEntry(in, out.stream(), (uint32_t)size, (uint32_t)st.st_size);
    std::fclose(in);
    if (outcome.writeFailed) return Fail(kExitIo, outPath + ": write error (disk full?)");
    if (!outcome.whole((uint32_t)size))
        return Fail(kExitBadData, inPath + ": at offset 0: expected a compressed stream of " +
                                      std::to_string(st.st_size) + " bytes that expands to " + std::to_string(size) +
                                      " bytes, got " + std::to_string(outcome.produced) + " (" +
                                      DecodeStatusText(outcome.status) + ")");
    if (!out.Commit()) return Fail(kExitIo, out.error());
    std::printf("%s: %s bytes -> %s: %s bytes\n", inPath.c_str(), Grouped(st.st_size).c_str(), outPath.c_str(),
                Grouped(size).c_str());
    return kExitOk;
}

}  // namespace scrpack
