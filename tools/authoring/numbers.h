// Numbers as the host tools' messages write them.
#ifndef TOOLS_AUTHORING_NUMBERS_H
#define TOOLS_AUTHORING_NUMBERS_H

#include <cstdint>
#include <string>

namespace authoring {

// "1,408,603": a size or a count.
std::string Grouped(uint64_t value);
// "16466 (0x4052)": a position in a file.
std::string Offset(uint64_t value);
// "0x4052": a field's value.
std::string Hex(uint64_t value);

}  // namespace authoring

#endif
