// Expanding a stream from memory into memory (see memory_decode.h).
#include "tools/authoring/memory_decode.h"

#include "platform/streams.h"

#include <algorithm>

namespace authoring {

DecodeStatus DecodeBuffer(const uint8_t* stream, size_t storedSize, uint32_t originalSize, std::vector<uint8_t>* out,
                          DecodeEnd end) {
    out->clear();
    out->reserve(std::min<size_t>(originalSize, size_t(1) << 20));  // a declared size may be false
    FILE* in = OpenMemoryReader(stream, storedSize);
    FILE* sink = in ? OpenMemoryWriter(out) : nullptr;
    if (!sink) {
        if (in) StreamClose(in);
        return DECODE_CANNOT_OPEN;
    }
    uint32_t stored = uint32_t(std::min<size_t>(storedSize, UINT32_MAX));
    ExpandStream(in, sink, originalSize, stored, end);
    DecodeStatus status = LastDecodeStatus();
    if (!CloseMemoryWriter(sink, out) && status == DECODE_OK) status = DECODE_WRITE_FAILED;
    StreamClose(in);
    return status;
}

}  // namespace authoring
