// Encoder for compressed catalogue entries (host only): produces the LZSS +
// adaptive Huffman stream that DecodeStream expands byte for byte.
#ifndef TOOLS_AUTHORING_ENCODER_H
#define TOOLS_AUTHORING_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace authoring {

enum class Parsing { Greedy, Lazy, Best };

// The compressed stream of `data` (size >= 0; an empty input gives an empty
// stream). Deterministic: the same input and parsing give the same bytes.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, Parsing parsing = Parsing::Best);

}  // namespace authoring

#endif
