// Writes scrpack's bash completion, made from its table of actions, to the
// file named by the one argument: run by the build, never installed.
#include "tools/scrpack/scrpack.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scrpack_completion OUT\n");
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    std::string script = scrpack::BashCompletion();
    bool written = out && std::fwrite(script.data(), 1, script.size(), out) == script.size();
    if (out && std::fclose(out) != 0) written = false;
    if (!written) std::fprintf(stderr, "scrpack_completion: %s: cannot write it\n", argv[1]);
    return written ? 0 : 1;
}
