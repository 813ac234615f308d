// icongen: writes the stub's icon file, one 32x32 image in 16 colours (a
// floppy disk at the upper left, a desktop computer at the lower right), for
// the resource compiler to build into RT_ICON 1 and RT_GROUP_ICON 101.
//
// Contract: the picture is the pixel map below, nothing is read from outside.
// The output is always the same 766 bytes: a 6-byte icon directory, one
// 16-byte directory entry and the 744-byte image (40-byte header with height
// 64 for the colour and mask halves, the standard 16-colour Windows palette,
// 512 bytes of 4-bit pixels, 128 bytes of 1-bit mask, both bottom-up). The
// file is written whole to a temporary name and renamed, so a failed run
// never leaves a half-written icon for the build to pick up.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 32;
constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kPaletteSize = 16 * 4;
constexpr uint32_t kColourBytes = kSide * kSide / 2;  // 4 bits per pixel, rows of 16 bytes
constexpr uint32_t kMaskBytes = kSide * kSide / 8;    // 1 bit per pixel, rows of 4 bytes
constexpr uint32_t kImageSize = kHeaderSize + kPaletteSize + kColourBytes + kMaskBytes;
constexpr uint32_t kDirSize = 6 + 16;
static_assert(kImageSize == 744, "the icon image the stub carries is 744 bytes");

// The standard 16-colour Windows palette, as RGB.
constexpr uint32_t kPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// Top row first. A hex digit is a palette index (0 black, 4 navy, 6 teal,
// 7 light grey, 8 grey, A lime, C blue, F white); '.' is transparent.
constexpr const char* kPicture[kSide] = {
    "................................", ".00000000000000.................", ".0CCC7777777CCC0................",
    ".0CCC7700777CCCC0...............", ".0CCC7700777CCCC0...............", ".0CCC7700777CCCC0...............",
    ".0CCC7777777CCCC0...............", ".0CCCCCCCCCCCCCC0...............", ".0CCCCCCCCCCCCCC0...............",
    ".0CCFFFFFFFFFFCC0...............", ".0CCF88888888FCC0...............", ".0CCFFFFFFFFFFCC0...............",
    ".0CCF88888888FCC0...............", ".0CCFFFFFFFFFFCC0...............", ".0C4FFFFFFFFFF4C0...............",
    ".0CCFFFFFFFFFFCC0000000000000000", ".0000000000000000777777777777770", "................0700000000000070",
    "................070F666666666070", "................0706666666666070", "................0706666666666070",
    "................0706666666666070", "................0706666666666070", "................0700000000000070",
    "................0777777777777A70", "................0000000000000000", "......................0770......",
    "..................000000000000..", "..................077777777770..", "..................070000777A70..",
    "..................077777777770..", "..................000000000000..",
};

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}

// Palette index of a picture cell, or -1 for a transparent one.
int CellColour(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Checks the pixel map once, so a typo in it fails the build with its place.
bool PictureIsValid() {
    for (int y = 0; y < kSide; y++) {
        if (std::strlen(kPicture[y]) != size_t(kSide)) {
            std::fprintf(stderr, "icongen: picture row %d is not %d cells wide\n", y, kSide);
            return false;
        }
        for (int x = 0; x < kSide; x++) {
            char c = kPicture[y][x];
            if (c != '.' && CellColour(c) < 0) {
                std::fprintf(stderr, "icongen: picture row %d column %d: '%c' is no colour\n", y, x, c);
                return false;
            }
        }
    }
    return true;
}

// The 744-byte image as it is stored in RT_ICON: header, palette, colour
// rows bottom-up (a transparent cell is black there, so the XOR with the
// screen leaves it unchanged), then the mask rows bottom-up (1 = transparent).
std::vector<uint8_t> BuildImage() {
    std::vector<uint8_t> out;
    Put32(out, kHeaderSize);
    Put32(out, kSide);         // width
    Put32(out, 2 * kSide);     // height of colour plus mask
    Put16(out, 1);             // planes
    Put16(out, 4);             // bits per pixel
    Put32(out, 0);             // no compression
    Put32(out, kColourBytes);  // image size
    Put32(out, 0);             // horizontal resolution
    Put32(out, 0);             // vertical resolution
    Put32(out, 0);             // colours used: all 16
    Put32(out, 0);             // important colours: all
    for (uint32_t rgb : kPalette) {
        out.push_back(uint8_t(rgb));        // blue
        out.push_back(uint8_t(rgb >> 8));   // green
        out.push_back(uint8_t(rgb >> 16));  // red
        out.push_back(0);
    }
    for (int y = kSide - 1; y >= 0; y--) {
        for (int x = 0; x < kSide; x += 2) {
            int hi = CellColour(kPicture[y][x]);
            int lo = CellColour(kPicture[y][x + 1]);
            out.push_back(uint8_t(((hi < 0 ? 0 : hi) << 4) | (lo < 0 ? 0 : lo)));
        }
    }
    for (int y = kSide - 1; y >= 0; y--) {
        for (int x = 0; x < kSide; x += 8) {
            uint8_t bits = 0;
            for (int b = 0; b < 8; b++)
                if (CellColour(kPicture[y][x + b]) < 0) bits |= uint8_t(0x80 >> b);
            out.push_back(bits);
        }
    }
    return out;
}

// The .ico file: directory with one entry, then the image.
std::vector<uint8_t> BuildIconFile() {
    std::vector<uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // type: icon
    Put16(out, 1);  // one image
    out.push_back(kSide);
    out.push_back(kSide);
    out.push_back(16);  // colours
    out.push_back(0);   // reserved
    Put16(out, 1);      // planes
    Put16(out, 4);      // bits per pixel
    Put32(out, kImageSize);
    Put32(out, kDirSize);
    std::vector<uint8_t> image = BuildImage();
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        std::perror(("icongen: " + temp).c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        std::perror(("icongen: " + path).c_str());
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "icongen: could not write %s\n", path.c_str());
        std::remove(temp.c_str());
    }
    return ok;
}

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: icongen OUTPUT.ico\n"
                 "Writes the installer stub's icon: one 32x32 image in 16 colours (744 bytes),\n"
                 "a floppy disk at the upper left and a desktop computer at the lower right.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        Usage(stderr);
        return 1;
    }
    if (!PictureIsValid()) return 2;
    return WriteWhole(argv[1], BuildIconFile()) ? 0 : 1;
}
