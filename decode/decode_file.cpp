// DecodeFile, the decode driver: expands one compressed catalogue entry of the
// running executable into a destination file.
//
// Trusts: the entry's offset and sizes as the catalogue gives them (the
// decoder itself copes with any of them). Promises: nothing is created when
// the module's file cannot be named, opened or positioned; the result is 1
// only when the destination was written whole and closed without error. It
// never ends the process: a short write stops the decoding and gives 0, with
// the destination left as far as it was written.
//
// C headers only: this is part of the stub.
#include "decode/block_io.h"
#include "decode/decode.h"
#include "package/package.h"
#include "platform/streams.h"
#include "platform/win32.h"

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

int DecodeFile(HINSTANCE module, uint32_t fileOffset, uint32_t originalSize, uint32_t storedSize,
               const char* destination) {
    FILE* in = OpenEntry(module, fileOffset);
    if (in == NULL) {
        SetDecodeStatus(DECODE_CANNOT_OPEN);
        return 0;
    }
    FILE* out = StreamOpen(destination, "wb");
    if (out == NULL) {
        StreamClose(in);
        SetDecodeStatus(DECODE_CANNOT_OPEN);
        return 0;
    }
    ExpandStream(in, out, originalSize, storedSize, DECODE_TO_ORIGINAL_SIZE);
    // A full disk may only show when the stream's own buffer is written out.
    int closed = StreamClose(out) == 0;
    StreamClose(in);
    if (WriteFailed() || !closed) {
        SetDecodeStatus(DECODE_WRITE_FAILED);
        return 0;
    }
    return 1;
}
