// Numbers as the host tools' messages write them (see numbers.h).
#include "tools/authoring/numbers.h"

#include <cstdio>

namespace authoring {

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Offset(uint64_t value) {
    return std::to_string(value) + " (" + Hex(value) + ")";
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", (unsigned long long)value);
    return text;
}

}  // namespace authoring
