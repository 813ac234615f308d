// What the fuzz targets that read an installer from a file share: one input
// file per process (in /dev/shm when it can be, else $TMPDIR or /tmp),
// removed at exit, and the abort that reports a broken promise by name.
#ifndef FUZZ_FUZZ_INPUT_H
#define FUZZ_FUZZ_INPUT_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzinput {

inline std::string& PathHeld() {
    static std::string path;
    return path;
}

inline void RemoveInput() {
    if (!PathHeld().empty()) unlink(PathHeld().c_str());
}

// The file this process writes each input to; `target` names it.
inline const std::string& InputPath(const char* target) {
    std::string& path = PathHeld();
    if (path.empty()) {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        if (!dir || !*dir) dir = "/tmp";
        path = std::string(dir) + "/" + target + "_" + std::to_string(getpid()) + ".exe";
        std::atexit(RemoveInput);
    }
    return path;
}

// Writes one input to the file; false when it could not be written whole.
inline bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    size_t written = size ? std::fwrite(data, 1, size, out) : 0;
    return std::fclose(out) == 0 && written == size;
}

inline void Require(const char* target, bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "%s: broken promise: %s\n", target, what);
        std::abort();
    }
}

}  // namespace fuzzinput

#endif
