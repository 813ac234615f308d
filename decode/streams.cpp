// ReadPtr and WritePtr: the block-buffered byte streams between the decoder
// and the standard library's file streams. One read call per 16,384 stored
// bytes (never more than the remaining count), one write call per 16,384
// output bytes and one for the last, shorter block when its last byte arrives.
//
// Trusts: the caller resets both layers before each file and passes the same
// file size with every WritePtr call of one file. Promises on bad outcomes: a
// read that delivers nothing gives 0 (never a byte of an earlier block); a
// short write is recorded (WriteFailed) and nothing more is written to that
// file; bytes beyond fileSize never reach the file.
//
// C headers only: this is part of the stub.
#include "decode/block_io.h"

struct ReadBlock g_readBlock;
struct WriteBlock g_writeBlock;

// A call without a stream is the reset form (all arguments zero); the mode
// word plays no other part.
int ReadPtr(FILE* stream, int mode, uint32_t remaining) {
    (void)mode;
    if (stream == NULL) {
        memset(&g_readBlock, 0, sizeof g_readBlock);
        return 0;
    }
    int byte = TakeBlockByte(stream, remaining);
    return byte < 0 ? 0 : byte;
}

int WritePtr(FILE* stream, int byte, int mode, uint32_t fileSize) {
    (void)mode;
    if (stream == NULL) {
        memset(&g_writeBlock, 0, sizeof g_writeBlock);
        return 0;
    }
    GiveBlockByte(stream, (uint8_t)byte, fileSize);
    return 0;
}

int WriteFailed(void) {
    return g_writeBlock.failed;
}

int ReadFailed(void) {
    return g_readBlock.starved;
}
