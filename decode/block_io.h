// Private to decode/: the state of the two block layers behind ReadPtr and
// WritePtr, and their byte paths as inline functions, so that the decoder's
// loop takes and gives bytes without a call per byte while ReadPtr and
// WritePtr (streams.cpp) stay thin wrappers around the very same code.
//
// Trusts: callers pass a real stream (the reset forms are handled by ReadPtr
// and WritePtr themselves). Promises: never asks a stream for more than the
// remaining count, never writes more than fileSize bytes in total to a file,
// never touches a stream again after a short write.
//
// C headers only: this is part of the stub.
#ifndef DECODE_BLOCK_IO_H
#define DECODE_BLOCK_IO_H

#include "decode/decode.h"
#include "platform/streams.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

struct ReadBlock {
    uint8_t block[BLOCK_SIZE];  // the block last read from the stream
    int32_t available;          // bytes of the block not yet handed out; < 1: read the next block
    uint32_t index;             // next byte of the block to hand out
    int starved;                // 1 after a read delivered nothing although stored bytes remained
};

struct WriteBlock {
    uint8_t block[WRITE_BLOCK_SIZE + 8];  // bytes collected for the next write, and eight spare bytes
                                          // that a short match copy may store into (see the decoder)
    uint32_t buffered;                    // bytes in the block
    uint32_t limit;                       // size of the block being filled: min(fileSize - written, WRITE_BLOCK_SIZE)
    int open;                             // 1 once `limit` is set for the block being filled
    uint32_t written;                     // bytes of the current file already written to its stream
    int failed;                           // 1 after a write stored fewer bytes than asked
};

extern struct ReadBlock gReadBlock;
extern struct WriteBlock gWriteBlock;

// The next stored byte, or -1 when the stream delivered nothing (end of file
// or read error) for it; the next call tries to read again.
static inline int TakeBlockByte(FILE* stream, uint32_t remaining) {
    struct ReadBlock* rb = &gReadBlock;
    if (rb->available < 1) {
        uint32_t want = remaining < (uint32_t)BLOCK_SIZE ? remaining : (uint32_t)BLOCK_SIZE;
        rb->available = (int32_t)StreamRead(rb->block, 1, want, stream);
        rb->index = 0;
        if (rb->available < 1) {
            rb->starved = 1;
            return -1;
        }
    }
    rb->available--;
    return rb->block[rb->index++];
}

// Where the read block still holds at least `size` bytes not yet handed
// out: a pointer to the next of them, which the caller may read (all `size`)
// and then take some of with TookBlockBytes; NULL otherwise. Lets the bit
// reader take a word at a time without reading past what the stream
// delivered, and without a read call of its own: near the end of a block the
// caller goes on byte by byte, as TakeBlockByte does.
static inline const uint8_t* BlockBytesAhead(uint32_t size) {
    struct ReadBlock* rb = &gReadBlock;
    return rb->available >= (int32_t)size ? rb->block + rb->index : NULL;
}

static inline void TookBlockBytes(uint32_t count) {
    gReadBlock.available -= (int32_t)count;
    gReadBlock.index += count;
}

// Writes the filled block and starts the next.
static inline void FlushBlock(FILE* stream) {
    struct WriteBlock* wb = &gWriteBlock;
    size_t stored = StreamWrite(wb->block, 1, wb->buffered, stream);
    if (stored != wb->buffered) wb->failed = 1;
    wb->written += wb->buffered;
    wb->buffered = 0;
    wb->open = 0;
}

// Hands `count` output bytes to the block, as `count` single-byte WritePtr
// calls would: each block is written the moment its last byte arrives. Bytes
// past fileSize, and everything after a failed write, are dropped.
static inline void GiveBlockBytes(FILE* stream, const uint8_t* bytes, uint32_t count, uint32_t fileSize) {
    struct WriteBlock* wb = &gWriteBlock;
    while (count > 0 && !wb->failed) {
        if (!wb->open) {
            if (wb->written >= fileSize) return;  // the file is complete: surplus
            uint32_t left = fileSize - wb->written;
            wb->limit = left < (uint32_t)WRITE_BLOCK_SIZE ? left : (uint32_t)WRITE_BLOCK_SIZE;
            wb->open = 1;
        }
        uint32_t room = wb->limit - wb->buffered;
        uint32_t take = count < room ? count : room;
        memcpy(wb->block + wb->buffered, bytes, take);
        wb->buffered += take;
        bytes += take;
        count -= take;
        if (wb->buffered == wb->limit) FlushBlock(stream);
    }
}

static inline void GiveBlockByte(FILE* stream, uint8_t byte, uint32_t fileSize) {
    struct WriteBlock* wb = &gWriteBlock;
    if (wb->open && wb->buffered + 1 < wb->limit) {
        wb->block[wb->buffered++] = byte;  // the common case: room left, no write due
        return;
    }
    GiveBlockBytes(stream, &byte, 1, fileSize);
}

// Where up to `count` more bytes can be put straight into the open block
// without a write falling due, or NULL; WroteBlockBytes(count) then accounts
// for them. Lets the decoder fill ring and block in one pass.
static inline uint8_t* BlockRoom(uint32_t count) {
    struct WriteBlock* wb = &gWriteBlock;
    return wb->open && wb->buffered + count < wb->limit ? wb->block + wb->buffered : NULL;
}

static inline void WroteBlockBytes(uint32_t count) {
    gWriteBlock.buffered += count;
}

#endif
