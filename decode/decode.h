// Block-buffered byte streams and the adaptive Huffman LZSS decoder for
// compressed catalogue entries (the installer's extraction step that opens
// the files around it is install/decode_file.h).
//
// Promises, whatever the input: the decoder never reads more than the stored
// size from its input stream, never hands the output more than the original
// size, never indexes outside its fixed arrays and always ends (every item adds
// at least one byte to the output count). Past the stored size it goes on with
// zero bits and records DECODE_SHORT_INPUT. A short write stops it
// (DECODE_WRITE_FAILED). No allocation: all state is fixed, process-wide.
//
// C headers only: this is part of the stub.
#ifndef DECODE_DECODE_H
#define DECODE_DECODE_H

#include "decode/tree.h"

#include <stdint.h>
#include <stdio.h>

enum {
    BLOCK_SIZE = 16384,  // size of the read block (and of the stub's write block)
    // Size of the write block: the stub's 16,384 bytes; hosts write 64 KiB
    // at a time, a quarter of the write calls.
    WRITE_BLOCK_SIZE = DECODE_SMALL ? BLOCK_SIZE : 65536,
    STREAM_MODE = 514  // the mode word of ordinary ReadPtr/WritePtr calls
};

enum DecodeStatus {
    DECODE_OK = 0,
    DECODE_SHORT_INPUT,   // the stream needed bits beyond its stored size (zeros were used)
    DECODE_OVERRUN,       // the last match ran past the original size (surplus dropped)
    DECODE_UNSET_RING,    // a match copied from ring positions not yet written
    DECODE_WRITE_FAILED,  // a write stored fewer bytes than asked; decoding stopped
    DECODE_CANNOT_OPEN    // for the callers' own use: the input or the output not to be had
                          // (the decoder itself never records it)
};

const char* DecodeStatusName(enum DecodeStatus status);

// The prefix code of a distance's high six bits, indexed by the first eight
// bits of a distance code: the high six bits, and how many of the eight bits
// their prefix takes (3..8; the rest are the first low bits).
extern const uint8_t DISTANCE_HIGH[256];
extern const uint8_t DISTANCE_PREFIX_LEN[256];

// Block-buffered input: the next stored byte. The reset form (all zeros)
// empties the block. Never asks the stream for more than `remaining` bytes.
int ReadPtr(FILE* stream, int mode, uint32_t remaining);

// Block-buffered output of one byte for a file of `fileSize` bytes; each block
// of WRITE_BLOCK_SIZE bytes (and the last, shorter one) is written the moment
// its last byte arrives. Bytes beyond fileSize are dropped. The reset form (all zeros)
// starts a new file. A short write sets the writer's failure flag.
int WritePtr(FILE* stream, int byte, int mode, uint32_t fileSize);

// 1 when a write of the current file stored fewer bytes than asked.
int WriteFailed(void);

// 1 when a read of the current stream delivered nothing although stored bytes
// remained: the file ended early or could not be read (zeros stood in).
int ReadFailed(void);

// Expands one compressed entry from `in` (at its first stored byte) into
// `out`. Returns the number of bytes handed to WritePtr (at most the original
// size). The outcome is left in LastDecodeStatus().
uint32_t DecodeStream(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize, int mode);
enum DecodeStatus LastDecodeStatus(void);

// How far a stream that needs bits beyond its stored size is expanded. Such
// a stream is damaged (an encoder never needs them), but what it gives with
// zero bits in their place is defined.
enum DecodeEnd {
    DECODE_TO_ORIGINAL_SIZE,  // on with zero bits up to the original size, as the installer does
    DECODE_STOP_WHEN_SHORT    // stop after the first item that used such a bit: a bomb that
                              // declares gigabytes for a few stored bytes ends at once
};

// Resets both block layers, then expands one stream as DecodeStream does,
// ending as `end` says: one call per stream for the decode driver and the
// tools.
uint32_t ExpandStream(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize, enum DecodeEnd end);

// Of the last stream: how many bytes beyond those its input delivered it
// needed (their bits were zeros); 0 when it needed none. (Its status may name
// an earlier problem.)
uint32_t LastDecodeShortfall(void);

// Of the last stream: how many of its stored bytes its items took a bit
// from (stand-in zeros past them not counted). An encoder's stream ends in
// its last stored byte; one that ends sooner stores bytes nothing reads.
uint32_t LastDecodeUsedBytes(void);

// The most bytes a stream of `storedSize` bytes can give without needing
// bits beyond them: every item costs at least one bit per three bytes it
// gives (a match of 30 bytes at least ten bits: one for its code, nine for
// its distance; a literal at least one). Saturates at 0xFFFFFFFF.
uint32_t MaxExpandedSize(uint32_t storedSize);

#endif
