// ReadPtr and WritePtr: the block-buffered byte streams between the decoder
// and the standard library's file streams. One read call per 16,384 stored
// bytes (never more than the remaining count), one write call per
// WRITE_BLOCK_SIZE output bytes (the stub's 16,384) and one for the last,
// shorter block when its last byte arrives.
//
// Trusts: the caller resets both layers before each file and passes the same
// file size with every WritePtr call of one file. Promises on bad outcomes: a
// read that delivers nothing gives 0 (never a byte of an earlier block); a
// short write is recorded (WriteFailed) and nothing more is written to that
// file; bytes beyond fileSize never reach the file.
//
// C headers only: this is part of the stub.
#include "decode/block_io.h"

struct ReadBlock gReadBlock;
struct WriteBlock gWriteBlock;

// A call without a stream is the reset form (all arguments zero); the mode
// word plays no other part.
int ReadPtr(FILE* stream, int mode, uint32_t remaining) {
    (void)mode;
    if (stream == NULL) {
        memset(&gReadBlock, 0, sizeof gReadBlock);
        return 0;
    }
    int byte = TakeBlockByte(stream, remaining);
    return byte < 0 ? 0 : byte;
}

int WritePtr(FILE* stream, int byte, int mode, uint32_t fileSize) {
    (void)mode;
    if (stream == NULL) {
        memset(&gWriteBlock, 0, sizeof gWriteBlock);
        return 0;
    }
    GiveBlockByte(stream, (uint8_t)byte, fileSize);
    return 0;
}

int WriteFailed(void) {
    return gWriteBlock.failed;
}

int ReadFailed(void) {
    return gReadBlock.starved;
}
