// scrpack pack: writes an installer with the package writer, after checking
// that every compressed stream expands back to exactly its file, so that a
// fault in the encoder can never ship.
#include "tools/scrpack/scrpack.h"

#include "tools/authoring/codepage.h"
#include "tools/authoring/package_writer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace scrpack {

namespace {

namespace fs = std::filesystem;

// The extension field of a file: its own extension in Windows-1252.
bool ExtensionOf(const std::string& path, std::string* extension, std::string* error) {
    std::string utf8 = fs::path(path).extension().string();
    std::string problem;
    if (!authoring::Utf8ToCp1252(utf8, extension, &problem)) {
        *error = path + ": the extension: " + problem;
        return false;
    }
    problem = authoring::CheckExtension(*extension);
    if (!problem.empty()) {
        *error = path + ": " + problem;
        return false;
    }
    return true;
}

int ExitFor(authoring::PackFault fault) {
    return fault == authoring::PackFault::BadStub ? kExitBadData : fault == authoring::PackFault::Io ? kExitIo : kExitUsage;
}

// Expands each compressed entry of the packed bytes and compares it with its file.
bool RoundTrips(const authoring::Package& pkg, const authoring::PackRequest& request, std::string* error) {
    for (size_t i = 0; i < pkg.entries.size(); i++) {
        const authoring::PackedEntry& e = pkg.entries[i];
        if (e.originalSize == 0) continue;
        FILE* in = fmemopen((void*)(pkg.bytes.data() + e.fileOffset), e.storedSize, "rb");
        char* expanded = nullptr;
        size_t expandedSize = 0;
        FILE* out = open_memstream(&expanded, &expandedSize);
        bool same = false;
        if (in && out) {
            DecodeOutcome outcome = DecodeEntry(in, out, e.originalSize, e.storedSize);
            std::fflush(out);
            same = outcome.whole(e.originalSize) && expandedSize == request.files[i].bytes.size() &&
                   std::equal(request.files[i].bytes.begin(), request.files[i].bytes.end(), (const uint8_t*)expanded);
        }
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        std::free(expanded);
        if (!same) {
            *error = request.files[i].name + ": its compressed stream does not expand back to the file (encoder fault)";
            return false;
        }
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

const char* Role(size_t index) {
    return index == 0 ? "screen saver" : index == 1 ? "data file" : "extra file";
}

}  // namespace

int Pack(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    if (!ParseArgs(argv, {"-o", "--stub", "--title", "--first-number"}, {"--store"}, &args, &error))
        return UsageError("pack", error);
    if (args.help) {
        std::fputs(kPackHelp, stdout);
        return kExitOk;
    }
    for (const char* required : {"-o", "--stub", "--title"})
        if (!args.values.count(required)) return UsageError("pack", std::string(required) + " is required");
    if (args.positional.size() < 2) return UsageError("pack", "expected SAVER and DATA, then any EXTRA files");

    authoring::PackRequest request;
    request.stubPath = args.values["--stub"];
    request.storeAll = args.flags.count("--store") != 0;
    const std::string& output = args.values["-o"];
    std::string problem;
    if (!authoring::Utf8ToCp1252(args.values["--title"], &request.title, &problem))
        return UsageError("pack", "the title: " + problem);
    if (args.values.count("--first-number")) {
        uint64_t number;
        if (!ParseNumber(args.values["--first-number"], 0xFFFF, &number))
            return UsageError("pack", "--first-number expects a number from 0 to 65535");
        request.firstNumber = (uint16_t)number;
    }
    for (const std::string& path : args.positional) {
        if (SameFile(path, output) || SameFile(request.stubPath, output))
            return UsageError("pack", output + " is also an input; write the installer elsewhere");
        authoring::PackInput input;
        input.name = path;
        if (!ReadWholeFile(path, &input.bytes, &error)) return Fail(kExitIo, error);
        if (!ExtensionOf(path, &input.extension, &error)) return Fail(kExitUsage, error);
        request.files.push_back(std::move(input));
    }

    authoring::Package pkg;
    authoring::PackResult result = authoring::WritePackage(request, &pkg);
    if (result.fault != authoring::PackFault::None) return Fail(ExitFor(result.fault), result.message);
    if (!RoundTrips(pkg, request, &error)) return Fail(kExitBadData, error);
    for (size_t i = 0; i < pkg.entries.size(); i++) {
        const authoring::PackedEntry& e = pkg.entries[i];
        std::printf("  [%zu] %-12s  %s: %s bytes -> %s bytes at offset %u (%s)\n", i, Role(i),
                    request.files[i].name.c_str(), Grouped(request.files[i].bytes.size()).c_str(),
                    Grouped(e.storedSize).c_str(), (unsigned)e.fileOffset, e.originalSize ? "compressed" : "stored");
    }
    if (!WriteWholeFile(output, pkg.bytes, &error)) return Fail(kExitIo, error);
    std::printf("%s: %s bytes, package at offset %u, %zu entries, %s bytes to install\n", output.c_str(),
                Grouped(pkg.bytes.size()).c_str(), (unsigned)pkg.position, pkg.entries.size(),
                Grouped(pkg.totalInstalled).c_str());
    return kExitOk;
}

}  // namespace scrpack
