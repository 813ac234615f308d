// decodecheck: expands compressed streams with the decoder as it is built
// here, and prints how each ended. Built twice from this one file: for Linux
// with the hosts' settings (wine/CMakeLists.txt), and by the MinGW project
// with exactly the stub's code generation, 32-bit and for size
// (cross/CMakeLists.txt). The decoder takes different ways in the two (a
// 32-bit bit buffer, a smaller top table built afresh, byte-by-byte copies),
// and an installer test carries a few kilobytes; so the Wine tests give both
// builds the same large and damaged streams and compare what they write.
//
//   decodecheck IN STORED SIZE OUT [IN STORED SIZE OUT ...]
//
// For each stream: expands the first STORED bytes of IN into OUT as the
// installer's decode driver does, to SIZE bytes (a stream short of bits goes
// on with zero bits), and prints a line: the bytes it gave, a TAB, the
// decoder's status. Exit 0, or 2 for wrong arguments or a file that cannot be
// opened or closed.
//
// C headers only: built with the stub's options.
#include "decode/decode.h"
#include "platform/streams.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static int Fail(const char* what, const char* path) {
    fprintf(stderr, "decodecheck: %s: %s\n", path, what);
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 5 || (argc - 1) % 4 != 0) {
        fputs("usage: decodecheck IN STORED SIZE OUT [IN STORED SIZE OUT ...]\n", stderr);
        return 2;
    }
    for (int i = 1; i < argc; i += 4) {
        const char* inPath = argv[i];
        const char* outPath = argv[i + 3];
        uint32_t stored = (uint32_t)strtoul(argv[i + 1], NULL, 10);
        uint32_t size = (uint32_t)strtoul(argv[i + 2], NULL, 10);
        FILE* in = StreamOpen(inPath, "rb");
        if (in == NULL) return Fail("cannot open", inPath);
        FILE* out = StreamOpen(outPath, "wb");
        if (out == NULL) return Fail("cannot create", outPath);
        uint32_t given = ExpandStream(in, out, size, stored, DECODE_TO_ORIGINAL_SIZE);
        StreamClose(in);
        if (StreamClose(out) != 0) return Fail("cannot close", outPath);
        printf("%lu\t%s\n", (unsigned long)given, DecodeStatusName(LastDecodeStatus()));
    }
    return 0;
}
