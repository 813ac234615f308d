// Private to decode/, hosts only (OUT_CURSOR): the decoder's output cursor
// into the open write block (block_io.h).
//
// C headers only: this is part of the stub.
#ifndef DECODE_OUT_CURSOR_H
#define DECODE_OUT_CURSOR_H

#include "decode/block_io.h"

#include <stdint.h>
#include <stdio.h>

// Hosts keep the open write block in locals while the loop runs (an output
// cursor): where the next output byte goes and how many more may go there
// before a write falls due. Every byte stored into the ring or the block
// could alias the block's own count, so through the block itself each byte
// costs a reload and a store of it. The count is brought up to date
// (CloseCursor) before other code looks at the block, and the cursor taken
// afresh (OpenCursor) after. The stub, built for size, goes through the block
// for every byte: its cursor never has room, and opening and closing it do
// nothing.
enum { OUT_CURSOR = FOR_SPEED };

struct OutCursor {
    uint8_t* next;  // where the next output byte goes in the block
    uint32_t room;  // bytes that may still go there with no write falling due
};

static inline void OpenCursor(struct OutCursor* c) {
    struct WriteBlock* wb = &gWriteBlock;
    c->next = wb->block + wb->buffered;
    c->room = OUT_CURSOR && wb->open && wb->buffered + 1 < wb->limit ? wb->limit - wb->buffered - 1 : 0;
}

static inline void CloseCursor(const struct OutCursor* c) {
    if (OUT_CURSOR) gWriteBlock.buffered = (uint32_t)(c->next - gWriteBlock.block);
}

// Where `n` bytes can be put straight into the block with no write falling
// due, or NULL; AdvanceCursor(n) then accounts for them.
static inline uint8_t* CursorRoom(const struct OutCursor* c, uint32_t n) {
    if (!OUT_CURSOR) return BlockRoom(n);
    return n <= c->room ? c->next : NULL;
}

static inline void AdvanceCursor(struct OutCursor* c, uint32_t n) {
    if (!OUT_CURSOR) {
        WroteBlockBytes(n);
        return;
    }
    c->next += n;
    c->room -= n;
}

// Gives one output byte.
static inline void PutByte(struct OutCursor* c, FILE* out, uint8_t byte, uint32_t originalSize) {
    if (c->room != 0) {
        *c->next++ = byte;
        c->room--;
        return;
    }
    CloseCursor(c);
    GiveBlockByte(out, byte, originalSize);
    OpenCursor(c);
}

#endif
