// Whole files into memory for the host tools, through the stream calls of
// the platform seam (so the test layer's fault switches reach them). A size
// limit is checked before anything is read and again while reading, so a
// file that claims less and delivers more is never read past it.
#ifndef TOOLS_AUTHORING_READ_FILE_H
#define TOOLS_AUTHORING_READ_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace authoring {

enum class ReadOutcome {
    Read,        // *bytes holds the whole file
    CannotOpen,  // *error: "PATH: cannot open it: <the system's reason>"
    ReadError,   // *error: "PATH: cannot read it: <the system's reason>"
    TooLarge     // the file holds more than `limit` bytes; nothing kept
};

ReadOutcome ReadWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);

// The same from an open stream (standard input), named `name` in messages.
ReadOutcome ReadWholeStream(FILE* stream, const std::string& name, uint64_t limit, std::vector<uint8_t>* bytes,
                            std::string* error);

}  // namespace authoring

#endif
