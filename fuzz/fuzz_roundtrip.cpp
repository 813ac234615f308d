// Fuzz target for the encoder's promise: whatever the data, each parsing's
// stream expands to exactly the data, with status DECODE_OK (no bit taken
// past the stream, no match past the end, no copy from unwritten history).
//
// Input: the data itself, cut at 64 KiB so that each run stays fast.
#include "decode/decode.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/memory_decode.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) size = 65536;
    std::vector<uint8_t> out;
    for (authoring::Parsing p : {authoring::Parsing::Greedy, authoring::Parsing::Lazy, authoring::Parsing::Best}) {
        std::vector<uint8_t> stream = authoring::EncodeStream(data, size, p);
        DecodeStatus status = authoring::DecodeBuffer(stream.data(), stream.size(), uint32_t(size), &out);
        if (status != DECODE_OK || out.size() != size) abort();
        for (size_t i = 0; i < size; i++)
            if (out[i] != data[i]) abort();
    }
    return 0;
}
