// The decoder on bytes held in memory, for the host tools, the tests, the
// fuzzers and the benchmark: streams over memory (the decoder reads and
// writes FILE streams through the stream seam) and one call that expands a
// stream from memory into memory.
//
// The streams come from one file per system (memory_streams_posix.cpp).
#ifndef TOOLS_AUTHORING_MEMORY_DECODE_H
#define TOOLS_AUTHORING_MEMORY_DECODE_H

#include "decode/decode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace authoring {

// A stream that reads `size` bytes at `bytes` (which must outlive it), or
// null when none can be made. Close it with StreamClose.
FILE* OpenMemoryReader(const uint8_t* bytes, size_t size);

// A stream whose bytes end up in *out (appended), or null when none can be
// made. Close it with CloseMemoryWriter; only then is *out complete.
FILE* OpenMemoryWriter(std::vector<uint8_t>* out);
// False when a write failed; *out holds what was written either way.
bool CloseMemoryWriter(FILE* writer, std::vector<uint8_t>* out);

// Expands the stream of `storedSize` bytes into *out (cleared first) as
// ExpandStream does, ending as `end` says. Its status; DECODE_CANNOT_OPEN
// when the streams could not be made. What stopping early left in the write
// block is not in *out.
DecodeStatus DecodeBuffer(const uint8_t* stream, size_t storedSize, uint32_t originalSize, std::vector<uint8_t>* out,
                          DecodeEnd end = DECODE_TO_ORIGINAL_SIZE);

}  // namespace authoring

#endif
