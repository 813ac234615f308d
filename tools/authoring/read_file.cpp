// Whole files into memory (see read_file.h).
#include "tools/authoring/read_file.h"

#include "platform/streams.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace authoring {

namespace {

std::string Reason(int error) {
    return error ? std::strerror(error) : "the read stopped early";
}

}  // namespace

ReadOutcome ReadWholeStream(FILE* stream, const std::string& name, uint64_t limit, std::vector<uint8_t>* bytes,
                            std::string* error) {
    bytes->clear();
    uint8_t chunk[1 << 16];
    for (;;) {
        errno = 0;
        size_t got = StreamRead(chunk, 1, sizeof chunk, stream);
        if (got > limit - bytes->size()) {
            bytes->clear();
            return ReadOutcome::TooLarge;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
        if (got == sizeof chunk) continue;
        // Short: the end, or a failure. Only the end sets the end-of-file mark.
        if (feof(stream)) return ReadOutcome::Read;
        *error = name + ": cannot read it: " + Reason(errno);
        bytes->clear();
        return ReadOutcome::ReadError;
    }
}

ReadOutcome ReadWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error) {
    // The size first, where the file has one: a file of gigabytes is refused
    // before a byte of it is read.
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *error = path + ": is a folder, not a file";
            return ReadOutcome::CannotOpen;
        }
        if (S_ISREG(st.st_mode) && uint64_t(st.st_size) > limit) return ReadOutcome::TooLarge;
    }
    errno = 0;
    FILE* stream = StreamOpen(path.c_str(), "rb");
    if (!stream) {
        *error = path + ": cannot open it: " + Reason(errno);
        return ReadOutcome::CannotOpen;
    }
    ReadOutcome outcome = ReadWholeStream(stream, path, limit, bytes, error);
    StreamClose(stream);
    return outcome;
}

}  // namespace authoring
