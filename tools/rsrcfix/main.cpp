// rsrcfix: the stub's post-link step as a program (see rsrcfix.h for what it
// changes and what it refuses).
//
//   rsrcfix INPUT [OUTPUT]   fix INPUT, write the result to OUTPUT (default: INPUT)
//   rsrcfix --check INPUT    only say whether INPUT is already in shape
//
// Exit codes: 0 done (or, with --check, in shape), 1 usage or I/O error,
// 2 the image cannot be fixed (or, with --check, is not in shape). The output
// is written to a temporary file and renamed, so a failed run never leaves a
// file that looks finished; on refusal nothing is written at all.
#include "tools/rsrcfix/rsrcfix.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace {

enum ExitCode { kExitOk = 0, kExitUsage = 1, kExitBadImage = 2 };

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: rsrcfix INPUT [OUTPUT]\n"
                 "       rsrcfix --check INPUT\n"
                 "Moves the data of the stub's LASTRES resource to the end of its .rsrc\n"
                 "section (the last section), so that a package can follow them, and fixes\n"
                 "the data entry, VirtualSize, the resource directory size, SizeOfImage and\n"
                 "the checksum. Refuses an image it cannot bring into that shape.\n"
                 "Exit codes: 0 done / in shape, 1 usage or I/O error, 2 cannot be fixed /\n"
                 "not in shape.\n");
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "rsrcfix: %s: cannot open for reading\n", path.c_str());
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "rsrcfix: %s: read error\n", path.c_str());
        return false;
    }
    return true;
}

// Writes `bytes` under a temporary name next to `path`, with the permissions
// of `modeFrom`, and renames it into place.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes, const std::string& modeFrom) {
    std::string temp = path + ".rsrcfix-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "rsrcfix: %s: cannot write\n", temp.c_str());
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::permissions(temp, std::filesystem::status(modeFrom, ec).permissions(), ec);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "rsrcfix: %s: cannot rename %s into place\n", path.c_str(), temp.c_str());
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        Usage(stdout);
        return kExitOk;
    }
    bool check = !args.empty() && args[0] == "--check";
    if (check) args.erase(args.begin());
    if (args.empty() || args.size() > (check ? 1u : 2u) || args[0].empty() || args[0][0] == '-') {
        Usage(stderr);
        return kExitUsage;
    }
    const std::string& input = args[0];
    std::vector<uint8_t> image;
    if (!ReadWhole(input, &image)) return kExitUsage;

    if (check) {
        rsrcfix::Result r = rsrcfix::CheckResourceLayout(image);
        bool inShape = r.status == rsrcfix::Status::kAlreadyInPlace;
        std::printf("rsrcfix: %s: %s (%s)\n", input.c_str(), inShape ? "in shape" : "not in shape", r.detail.c_str());
        return inShape ? kExitOk : kExitBadImage;
    }
    rsrcfix::Result r = rsrcfix::FixResourceLayout(image);
    if (!rsrcfix::Succeeded(r.status)) {
        std::fprintf(stderr, "rsrcfix: %s: %s: %s\n", input.c_str(), rsrcfix::StatusName(r.status), r.detail.c_str());
        return kExitBadImage;
    }
    const std::string& output = args.size() == 2 ? args[1] : input;
    if (!WriteWhole(output, image, input)) return kExitUsage;
    std::printf("rsrcfix: %s: %s\n", output.c_str(), r.detail.c_str());
    return kExitOk;
}
