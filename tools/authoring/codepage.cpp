// Windows-1252 <-> UTF-8 (see codepage.h). Strict UTF-8: no overlong forms,
// no surrogates, nothing above U+10FFFF.
#include "tools/authoring/codepage.h"

#include <cstdint>
#include <cstdio>

namespace authoring {

// Code points of bytes 0x80..0x9F; 0 where the code page defines none (those
// bytes stand for the C1 control of the same number).
static const uint16_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static uint32_t ToCodePoint(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    uint16_t mapped = kHighControls[byte - 0x80];
    return mapped ? mapped : byte;
}

// The byte for `code`, or -1 when the code page has none.
static int FromCodePoint(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return (int)code;
    for (int i = 0; i < 32; i++) {
        uint32_t mapped = kHighControls[i] ? kHighControls[i] : 0x80u + (uint32_t)i;
        if (mapped == code) return 0x80 + i;
    }
    return -1;
}

static void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
        *out += (char)code;
    } else if (code < 0x800) {
        *out += (char)(0xC0 | (code >> 6));
        *out += (char)(0x80 | (code & 0x3F));
    } else {
        *out += (char)(0xE0 | (code >> 12));
        *out += (char)(0x80 | ((code >> 6) & 0x3F));
        *out += (char)(0x80 | (code & 0x3F));
    }
}

bool NextCodePoint(const std::string& text, size_t* at, uint32_t* code) {
    unsigned char lead = (unsigned char)text[*at];
    int extra = lead < 0x80             ? 0
                : (lead & 0xE0) == 0xC0 ? 1
                : (lead & 0xF0) == 0xE0 ? 2
                : (lead & 0xF8) == 0xF0 ? 3
                                        : -1;
    if (extra < 0 || text.size() - *at <= (size_t)extra) return false;
    uint32_t value = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 1; i <= extra; i++) {
        unsigned char next = (unsigned char)text[*at + i];
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *at += (size_t)extra + 1;
    *code = value;
    return true;
}

bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* problem) {
    std::string result;
    char where[96];
    for (size_t at = 0; at < utf8.size();) {
        size_t start = at;
        uint32_t code;
        if (!NextCodePoint(utf8, &at, &code)) {
            std::snprintf(where, sizeof where, "invalid UTF-8 at byte %zu", start);
            if (problem) *problem = where;
            return false;
        }
        int byte = FromCodePoint(code);
        if (byte < 0) {
            std::snprintf(where, sizeof where, "character U+%04X (\"%s\") at byte %zu is not in code page Windows-1252",
                          (unsigned)code, utf8.substr(start, at - start).c_str(), start);
            if (problem) *problem = where;
            return false;
        }
        result += (char)byte;
    }
    *out = result;
    return true;
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char byte : text) AppendUtf8(ToCodePoint(byte), &out);
    return out;
}

std::string UpperCaseCp1252(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        unsigned char b = (unsigned char)c;
        if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
            b -= 0x20;
        else if (b == 0x9A || b == 0x9C || b == 0x9E)
            b -= 0x10;  // š œ ž
        else if (b == 0xFF)
            b = 0x9F;  // ÿ
        c = (char)b;
    }
    return out;
}

}  // namespace authoring
