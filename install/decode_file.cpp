// DecodeFile: expands one compressed catalogue entry of the running
// executable into a destination file (see decode_file.h).
//
// Trusts: the entry's offset and sizes as the catalogue gives them (the
// decoder itself copes with any of them). Promises: nothing is created when
// the module's file cannot be named, opened or positioned; the destination
// counts as written whole only when it was closed without error. It never
// ends the process: a short write stops the decoding, with the destination
// left as far as it was written.
//
// C headers only: this is part of the stub.
#include "install/decode_file.h"
#include "package/package.h"
#include "platform/streams.h"

#include <stdio.h>

// The running module's file, opened for reading at `fileOffset`, or NULL.
static FILE* OpenEntry(HINSTANCE module, uint32_t fileOffset) {
    char path[PATH_SIZE];
    if (!GetOwnPath(module, path)) return NULL;  // none, or cut short
    FILE* in = StreamOpen(path, "rb");
    if (in == NULL) return NULL;
    if (fileOffset > 0x7FFFFFFFu || StreamSeek(in, (long)fileOffset, SEEK_SET) != 0) {
        StreamClose(in);
        return NULL;
    }
    return in;
}

enum DecodeStatus DecodeFile(HINSTANCE module, uint32_t fileOffset, uint32_t originalSize, uint32_t storedSize,
                             const char* destination) {
    FILE* in = OpenEntry(module, fileOffset);
    if (in == NULL) return DECODE_CANNOT_OPEN;
    FILE* out = StreamOpen(destination, "wb");
    if (out == NULL) {
        StreamClose(in);
        return DECODE_CANNOT_OPEN;
    }
    ExpandStream(in, out, originalSize, storedSize, DECODE_TO_ORIGINAL_SIZE);
    // A full disk may only show when the stream's own buffer is written out.
    int closed = StreamClose(out) == 0;
    StreamClose(in);
    if (WriteFailed() || !closed) return DECODE_WRITE_FAILED;
    return LastDecodeStatus();
}
