// Windows-1252 <-> UTF-8 for the texts an installer carries (the title, the
// extensions): the stub shows them as ANSI bytes in code page 1252, the host
// tools take and print UTF-8.
//
// Every byte of code page 1252 converts to UTF-8; the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control of the
// same number, as Windows converts them, so that nothing is lost. The other
// way refuses, and says where, any text that is not valid UTF-8 or holds a
// character the code page does not have.
#ifndef TOOLS_AUTHORING_CODEPAGE_H
#define TOOLS_AUTHORING_CODEPAGE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace authoring {

// UTF-8 -> Windows-1252. On failure returns false and, when `problem` is not
// null, describes the first offending character and its byte offset.
bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* problem);

// Windows-1252 -> UTF-8; always succeeds.
std::string Cp1252ToUtf8(const std::string& text);

// Decodes the UTF-8 sequence at text[*at] into *code and moves *at past it;
// false (nothing moved) when it is malformed.
bool NextCodePoint(const std::string& text, size_t* at, uint32_t* code);

// The letters of code page 1252 in upper case, as Windows compares file
// names: a-z, the accented letters, š œ ž ÿ; every other byte unchanged.
std::string UpperCaseCp1252(const std::string& text);

}  // namespace authoring

#endif
