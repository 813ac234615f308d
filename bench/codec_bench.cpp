// codec_bench: compression ratio and speed of the encoder's parsings and of
// the decoder, against gzip and xz on the same data.
//
// The corpus (about 13 MB) is as hard as what an installer really carries:
// real Windows binaries where the machine has them (the MinGW runtime DLLs
// that the set-up installs), photograph-like pictures with gradients, texture
// and sensor noise as 24- and 8-bit bitmaps, flat-colour pictures in both
// depths, English-like text and mixed binary data; a deterministic generator
// makes everything but the DLLs (and stands in for them, with a note, where
// they are missing).
//
// Per file and in total it prints: sizes (Greedy and Best parsing, gzip -9,
// xz -6), the Best stream's ratio, encode speed of both parsings, decode speed
// and nanoseconds per decoded symbol in-process, the same for the tree
// update alone (UpdateTree on the stream's symbols in turn, reading the list
// of symbols and nothing else: what is left of a decode once reading bits,
// walking codes and writing cost nothing), and whole-process decode CPU time
// of ours against `gzip -d` and `xz -d` as ratios; under the total, the
// update alone against our own decode, in-process both. The encoder runs on
// one thread here (its CPU time is the figure); its streams on two threads
// are checked to be the same bytes. All times are CPU
// times (a busy machine slows the wall clock, hardly the CPU time); each
// figure is the median of several runs. The whole-process runs go in rounds,
// ours, gzip and xz in turn, file by file, so that a change in the machine's
// load hits all three alike; each ratio is taken within a round, and the
// median over the rounds is printed. Every process expands enough copies of
// its file (back to back; both tools take concatenated streams, ours is
// asked to repeat) that starting it costs next to nothing.
//
// Figures only: nothing here passes or fails on time; a round trip that does
// not give the data back ends the program with status 1.
#include "decode/decode.h"
#include "decode/tree.h"
#include "tools/authoring/encoder.h"
#include "tools/authoring/memory_decode.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// --- Deterministic corpus -------------------------------------------------------

struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next() {  // splitmix64, upper half
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

struct Rgb {
    double r, g, b;
};

// An empty bottom-up bitmap file of `bits` per pixel with `colours`
// palette entries; its rows are `stride` bytes and start at `offset`.
Bytes BitmapFile(int width, int height, int bits, size_t colours, size_t* stride, size_t* offset) {
    *stride = (size_t(width) * size_t(bits) / 8 + 3) & ~size_t(3);
    *offset = 54 + 4 * colours;
    Bytes b(*offset + *stride * size_t(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, uint32_t(*offset));
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(height));
    Put16(b, 26, 1);
    Put16(b, 28, uint32_t(bits));
    Put32(b, 34, uint32_t(*stride * size_t(height)));
    Put32(b, 46, uint32_t(colours));
    return b;
}

// A bottom-up 24-bit bitmap file of `pixel(x, y)`, rows padded to 4 bytes.
template <class Pixel>
Bytes Bitmap(int width, int height, Pixel pixel) {
    size_t stride, offset;
    Bytes b = BitmapFile(width, height, 24, 0, &stride, &offset);
    for (int y = 0; y < height; y++) {
        uint8_t* row = &b[offset + stride * size_t(height - 1 - y)];
        for (int x = 0; x < width; x++) {
            Rgb c = pixel(x, y);
            auto clamp = [](double v) { return uint8_t(std::min(255.0, std::max(0.0, v))); };
            row[3 * x] = clamp(c.b);
            row[3 * x + 1] = clamp(c.g);
            row[3 * x + 2] = clamp(c.r);
        }
    }
    return b;
}

// A bottom-up 8-bit bitmap file with `palette` (up to 256 colours) and
// pixels `index(x, y)`, rows padded to 4 bytes.
template <class Index>
Bytes Bitmap8(int width, int height, const std::vector<Rgb>& palette, Index index) {
    size_t stride, offset;
    Bytes b = BitmapFile(width, height, 8, palette.size(), &stride, &offset);
    for (size_t i = 0; i < palette.size(); i++) {
        b[54 + 4 * i] = uint8_t(palette[i].b);
        b[54 + 4 * i + 1] = uint8_t(palette[i].g);
        b[54 + 4 * i + 2] = uint8_t(palette[i].r);
    }
    for (int y = 0; y < height; y++) {
        uint8_t* row = &b[offset + stride * size_t(height - 1 - y)];
        for (int x = 0; x < width; x++) row[x] = index(x, y);
    }
    return b;
}

// Flat background and solid shapes, as a drawn screen saver scene: which
// shape (0..39, -1 for the background) covers each pixel, and its colour.
struct ShapeScene {
    static constexpr int kWidth = 800, kHeight = 600, kShapes = 40;
    struct Shape {
        int kind, x, y, size;
        Rgb colour;
    };
    std::vector<Shape> shapes;
    ShapeScene() {
        Rng rng(11);
        for (int i = 0; i < kShapes; i++)
            shapes.push_back({int(rng.Below(3)), int(rng.Below(kWidth)), int(rng.Below(kHeight)),
                              20 + int(rng.Below(120)),
                              Rgb{double(rng.Below(256)), double(rng.Below(256)), double(rng.Below(256))}});
    }
    int At(int x, int y) const {
        int found = -1;
        for (int i = 0; i < kShapes; i++) {
            const Shape& s = shapes[size_t(i)];
            int dx = x - s.x, dy = y - s.y;
            bool inside = s.kind == 0   ? std::abs(dx) < s.size && std::abs(dy) < s.size / 2
                          : s.kind == 1 ? dx * dx + dy * dy < s.size * s.size
                                        : dy >= 0 && dy < s.size && std::abs(dx) < (s.size - dy) / 2;
            if (inside) found = i;
        }
        return found;
    }
    Rgb Colour(int shape) const { return shape < 0 ? Rgb{230, 230, 210} : shapes[size_t(shape)].colour; }
};

Bytes ShapesBitmap() {
    ShapeScene scene;
    return Bitmap(ShapeScene::kWidth, ShapeScene::kHeight, [&](int x, int y) { return scene.Colour(scene.At(x, y)); });
}

Bytes ShapesBitmap8() {
    ShapeScene scene;
    std::vector<Rgb> palette;
    for (int i = -1; i < ShapeScene::kShapes; i++) palette.push_back(scene.Colour(i));
    return Bitmap8(ShapeScene::kWidth, ShapeScene::kHeight, palette,
                   [&](int x, int y) { return uint8_t(scene.At(x, y) + 1); });
}

// Smooth random relief: bilinear interpolation of a lattice of random values
// `cell` pixels apart, 0..1.
class ValueNoise {
public:
    ValueNoise(int width, int height, int cell, uint64_t seed)
        : cell_(cell), columns_(width / cell + 2), values_(size_t(columns_) * size_t(height / cell + 2)) {
        Rng rng(seed);
        for (double& v : values_) v = rng.Below(10000) / 10000.0;
    }
    double At(int x, int y) const {
        int cx = x / cell_, cy = y / cell_;
        double fx = double(x % cell_) / cell_, fy = double(y % cell_) / cell_;
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        auto v = [&](int i, int j) { return values_[size_t(j) * size_t(columns_) + size_t(i)]; };
        double top = v(cx, cy) + (v(cx + 1, cy) - v(cx, cy)) * fx;
        double bottom = v(cx, cy + 1) + (v(cx + 1, cy + 1) - v(cx, cy + 1)) * fx;
        return top + (bottom - top) * fy;
    }

private:
    int cell_, columns_;
    std::vector<double> values_;
};

// A photograph-like scene: a sky gradient over a hilly landscape whose
// texture has detail at several scales, soft shading, and sensor noise on
// every channel of every pixel. Nothing repeats exactly: the hard case, as
// real photographs are.
struct PhotoScene {
    PhotoScene(int width, int height, uint64_t seed)
        : w(width),
          h(height),
          coarse(width, height, 160, seed),
          middle(width, height, 40, seed + 1),
          fine(width, height, 8, seed + 2),
          grain(seed + 3) {}
    Rgb At(int x, int y) {
        double horizon = h * (0.45 + 0.15 * coarse.At(x, 0));
        double t = double(y) / h;
        Rgb c;
        if (y < horizon) {
            double cloud = std::max(0.0, middle.At(x, y) * 1.6 - 0.7) * 120 + fine.At(x, y) * 10;
            c = Rgb{90 + 80 * t + cloud, 130 + 60 * t + cloud, 210 - 30 * t + cloud * 0.8};
        } else {
            double relief = 0.5 * coarse.At(x, y) + 0.35 * middle.At(x, y) + 0.15 * fine.At(x, y);
            double shade = 0.6 + 0.4 * (double(y) - horizon) / (h - horizon);
            c = Rgb{(60 + 110 * relief) * shade, (80 + 120 * relief) * shade, (30 + 60 * relief) * shade};
        }
        double n = double(grain.Below(9)) + double(grain.Below(9)) - 8;  // triangular, -8..8
        return Rgb{c.r + n + double(grain.Below(3)) - 1, c.g + n, c.b + n + double(grain.Below(3)) - 1};
    }
    int w, h;
    ValueNoise coarse, middle, fine;
    Rng grain;
};

Bytes PhotoBitmap() {
    PhotoScene scene(1024, 768, 12);
    return Bitmap(1024, 768, [&](int x, int y) { return scene.At(x, y); });
}

// The same kind of scene reduced to a 6x7x6 colour cube with random
// dithering, as an 8-bit picture of a photograph is.
Bytes PhotoBitmap8() {
    std::vector<Rgb> palette;
    for (int r = 0; r < 6; r++)
        for (int g = 0; g < 7; g++)
            for (int b = 0; b < 6; b++) palette.push_back(Rgb{r * 51.0, g * 42.5, b * 51.0});
    PhotoScene scene(1024, 768, 13);
    Rng dither(14);
    return Bitmap8(1024, 768, palette, [&](int x, int y) {
        Rgb c = scene.At(x, y);
        auto level = [&](double v, double step, int top) {
            double q = v / step + double(dither.Below(1000)) / 1000.0 - 0.5;
            return std::min(top, std::max(0, int(std::lround(q))));
        };
        return uint8_t((level(c.r, 51.0, 5) * 7 + level(c.g, 42.5, 6)) * 6 + level(c.b, 51.0, 5));
    });
}

// Appends `word` to the text, after a blank, or on a new line (CR LF) when
// the line would grow past `width` characters.
void AppendWord(const std::string& word, size_t width, Bytes* b, size_t* column) {
    if (*column + word.size() > width) {
        b->push_back('\r');
        b->push_back('\n');
        *column = 0;
    } else if (*column > 0) {
        b->push_back(' ');
        (*column)++;
    }
    b->insert(b->end(), word.begin(), word.end());
    *column += word.size();
}

// English-like text: common English words under a Zipf law, sentences with
// capitals and punctuation, paragraphs, lines of at most 72 characters.
Bytes EnglishText(size_t size) {
    static const char* const words[] = {
        "the",    "of",     "and",      "to",     "a",       "in",       "is",       "it",      "you",     "that",
        "he",     "was",    "for",      "on",     "are",     "with",     "as",       "his",     "they",    "be",
        "at",     "one",    "have",     "this",   "from",    "or",       "had",      "by",      "not",     "word",
        "but",    "what",   "some",     "we",     "can",     "out",      "other",    "were",    "all",     "there",
        "when",   "up",     "use",      "your",   "how",     "said",     "an",       "each",    "she",     "which",
        "do",     "their",  "time",     "if",     "will",    "way",      "about",    "many",    "then",    "them",
        "write",  "would",  "like",     "so",     "these",   "her",      "long",     "make",    "thing",   "see",
        "him",    "two",    "has",      "look",   "more",    "day",      "could",    "go",      "come",    "did",
        "number", "sound",  "no",       "most",   "people",  "my",       "over",     "know",    "water",   "than",
        "call",   "first",  "who",      "may",    "down",    "side",     "been",     "now",     "find",    "any",
        "new",    "work",   "part",     "take",   "get",     "place",    "made",     "live",    "where",   "after",
        "back",   "little", "only",     "round",  "man",     "year",     "came",     "show",    "every",   "good",
        "me",     "give",   "our",      "under",  "name",    "very",     "through",  "just",    "form",    "sentence",
        "great",  "think",  "say",      "help",   "low",     "line",     "differ",   "turn",    "cause",   "much",
        "mean",   "before", "move",     "right",  "boy",     "old",      "too",      "same",    "tell",    "does",
        "set",    "three",  "want",     "air",    "well",    "also",     "play",     "small",   "end",     "put",
        "home",   "read",   "hand",     "port",   "large",   "spell",    "add",      "even",    "land",    "here",
        "must",   "big",    "high",     "such",   "follow",  "act",      "why",      "ask",     "men",     "change",
        "went",   "light",  "kind",     "off",    "need",    "house",    "picture",  "try",     "us",      "again",
        "animal", "point",  "mother",   "world",  "near",    "build",    "self",     "earth",   "father",  "screen",
        "saver",  "window", "install",  "folder", "program", "computer", "settings", "display", "harbour", "evening",
        "quiet",  "river",  "mountain", "colour", "sunset",  "morning",  "garden"};
    const size_t count = sizeof words / sizeof words[0];
    Rng rng(22);
    Bytes b;
    size_t column = 0, sentence = 0;
    bool capital = true;
    while (b.size() < size) {
        size_t rank = size_t(std::exp(double(rng.Below(10000)) / 10000.0 * std::log(double(count)))) - 1;
        std::string word = words[std::min(rank, count - 1)];
        if (capital) word[0] = char(std::toupper(word[0]));
        capital = false;
        sentence++;
        if (sentence > 6 && rng.Below(9) == 0) {
            word += rng.Below(10) == 0 ? "?" : ".";
            capital = true;
            sentence = 0;
        } else if (rng.Below(11) == 0) {
            word += ",";
        }
        AppendWord(word, 71, &b, &column);
        if (capital && rng.Below(6) == 0) {  // end of a paragraph
            static const char blank[] = "\r\n\r\n";
            b.insert(b.end(), blank, blank + 4);
            column = 0;
        }
    }
    b.resize(size);
    return b;
}

// Words of a made-up language under a Zipf-like law, sentences and lines.
Bytes Text(size_t size) {
    Rng rng(21);
    static const char* syllables[] = {"ka", "ve", "lin", "dor",  "mo",  "ra", "sen", "te",    "gu", "wal",
                                      "ne", "ij", "oo",  "ster", "ber", "en", "ge",  "schap", "lo", "ri"};
    std::vector<std::string> words;
    for (int i = 0; i < 3000; i++) {
        std::string word;
        int n = 1 + int(rng.Below(3));
        for (int k = 0; k < n; k++) word += syllables[rng.Below(20)];
        words.push_back(word);
    }
    Bytes b;
    size_t column = 0;
    bool capital = true;
    while (b.size() < size) {
        // Zipf-like: rank ~ exp(u * ln 3000)
        size_t rank = size_t(std::exp(double(rng.Below(10000)) / 10000.0 * std::log(3000.0))) - 1;
        std::string word = words[std::min(rank, words.size() - 1)];
        if (capital) word[0] = char(word[0] - 32);
        capital = false;
        if (rng.Below(12) == 0) {
            word += ".";
            capital = true;
        } else if (rng.Below(10) == 0) {
            word += ",";
        }
        AppendWord(word, 72, &b, &column);
    }
    b.resize(size);
    return b;
}

// Headers, code-like bytes (prologues, moves, calls, jumps), import names,
// tables of pointers, relocation blocks, zero padding, icon-like bitmaps.
Bytes Executable(size_t size) {
    Rng rng(31);
    Bytes b(1024, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, 0x80);
    std::memcpy(&b[0x80], "PE\0\0", 4);
    const char* stubText = "This program cannot be run in DOS mode.\r\r\n$";
    std::memcpy(&b[0x4E], stubText, std::strlen(stubText));
    for (int s = 0; s < 5; s++) {
        static const char* names[] = {".text", ".rdata", ".data", ".reloc", ".rsrc"};
        std::memcpy(&b[0x178 + size_t(s) * 40], names[s], std::strlen(names[s]));
        Put32(b, 0x178 + size_t(s) * 40 + 12, 0x1000u * uint32_t(s + 1));
    }
    auto emit = [&](std::initializer_list<int> bytes) {
        for (int v : bytes) b.push_back(uint8_t(v));
    };
    // .text: about half the file
    while (b.size() < size / 2) {
        emit({0x55, 0x8B, 0xEC});  // function prologue
        if (rng.Below(2)) emit({0x83, 0xEC, int(4 * (1 + rng.Below(16)))});
        int body = 3 + int(rng.Below(25));
        for (int i = 0; i < body; i++) {
            switch (rng.Below(8)) {
            case 0: emit({0x8B, 0x45, int(8 + 4 * rng.Below(6))}); break;            // mov eax,[ebp+n]
            case 1: emit({0x89, 0x45, int(0x100 - 4 * (1 + rng.Below(8)))}); break;  // mov [ebp-n],eax
            case 2: {
                uint32_t target = 0x401000 + rng.Below(0x40000);
                emit({0xE8, int(target & 0xFF), int((target >> 8) & 0xFF), int((target >> 16) & 0xFF), 0});
                break;
            }
            case 3: emit({0x85, 0xC0, 0x74, int(rng.Below(0x40))}); break;                      // test; jz
            case 4: emit({0x50 + int(rng.Below(8))}); break;                                    // push reg
            case 5: emit({0x6A, int(rng.Below(4))}); break;                                     // push small
            case 6: emit({0xFF, 0x15, 0x00, int(0x20 + rng.Below(8) * 4), 0x40, 0x00}); break;  // call [iat]
            default: emit({0x33, 0xC0}); break;                                                 // xor eax,eax
            }
        }
        emit({0x8B, 0xE5, 0x5D, 0xC3});  // epilogue
        while (b.size() % 16) b.push_back(0xCC);
    }
    // .rdata: import names and strings
    static const char* imports[] = {"GetModuleFileNameA",
                                    "CreateWindowExA",
                                    "DialogBoxParamA",
                                    "GetWindowsDirectoryA",
                                    "WritePrivateProfileStringA",
                                    "SetCursor",
                                    "MessageBoxA",
                                    "LoadIconA",
                                    "RegisterClassA",
                                    "GetSystemMetrics"};
    while (b.size() < size * 6 / 10) {
        const char* s = imports[rng.Below(10)];
        emit({int(rng.Below(256)), 0});
        b.insert(b.end(), s, s + std::strlen(s) + 1);
        if (b.size() % 2) b.push_back(0);
    }
    // .data: pointer tables
    uint32_t pointer = 0x00405000;
    while (b.size() < size * 75 / 100) {
        pointer += 4 * (1 + rng.Below(8));
        emit({int(pointer & 0xFF), int((pointer >> 8) & 0xFF), int((pointer >> 16) & 0xFF), 0});
    }
    // .reloc: blocks of 16-bit entries
    while (b.size() < size * 85 / 100) {
        uint32_t page = uint32_t(b.size()) & ~0xFFFu;
        emit({int(page & 0xFF), int((page >> 8) & 0xFF), int((page >> 16) & 0xFF), 0, 0x48, 0, 0, 0});
        uint32_t offset = 0;
        for (int i = 0; i < 32; i++) {
            offset += 2 + rng.Below(60);
            emit({int(offset & 0xFF), int(0x30 | ((offset >> 8) & 0x0F))});
        }
    }
    b.resize(b.size() + 4096 - b.size() % 4096, 0);  // section padding
    // .rsrc: icon-like bitmaps, 32x32, 4-bit
    while (b.size() < size) {
        for (int row = 0; row < 32; row++)
            for (int col = 0; col < 16; col++) {
                int d = (row - 16) * (row - 16) + (col * 2 - 16) * (col * 2 - 16);
                b.push_back(uint8_t(d < 150 ? 0x99 : d < 200 ? 0x9E : 0xEE));
            }
    }
    b.resize(size);
    return b;
}

// Records of a screen saver's data file: ids, coordinates, names, flags.
Bytes Records(size_t size) {
    Rng rng(41);
    Bytes b;
    uint32_t id = 1000;
    static const char* names[] = {"boat", "lamp", "star", "cloud", "moon", "bird", "wave", "ship"};
    while (b.size() < size) {
        uint8_t rec[32] = {};
        id += 1 + rng.Below(3);
        rec[0] = uint8_t(id);
        rec[1] = uint8_t(id >> 8);
        rec[4] = uint8_t(rng.Below(200));
        rec[6] = uint8_t(rng.Below(150));
        const char* n = names[rng.Below(8)];
        std::memcpy(rec + 8, n, std::strlen(n));
        rec[24] = uint8_t(rng.Below(2));
        rec[28] = 0xFF;
        b.insert(b.end(), rec, rec + 32);
    }
    b.resize(size);
    return b;
}

// Mixed binary, as a data file that bundles several kinds: records, code,
// text, already compressed (random) stretches, in pieces of 4 to 64 KB.
Bytes MixedBinary(size_t size) {
    Bytes records = Records(size), code = Executable(size), text = Text(size);
    Rng rng(51);
    Bytes b;
    size_t at = 0;
    while (b.size() < size) {
        size_t piece = 4096 * (1 + rng.Below(16));
        uint32_t kind = rng.Below(8);
        if (kind < 3)
            b.insert(b.end(), records.begin() + long(at % (size / 2)), records.begin() + long(at % (size / 2) + piece));
        else if (kind < 6)
            b.insert(b.end(), code.begin() + long(at % (size / 2)), code.begin() + long(at % (size / 2) + piece));
        else if (kind < 7)
            b.insert(b.end(), text.begin() + long(at % (size / 2)), text.begin() + long(at % (size / 2) + piece));
        else
            for (size_t i = 0; i < piece; i++) b.push_back(uint8_t(rng.Next()));
        at += piece;
    }
    b.resize(size);
    return b;
}

// The MinGW runtime DLLs, where the set-up installed them: real Windows code,
// data, relocations and resources.
const char* const kDllPaths[] = {
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/libgcc_s_dw2-1.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/libgomp-1.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/libquadmath-0.dll",
    "/usr/i686-w64-mingw32/lib/libwinpthread-1.dll",
};

bool ReadFile(const std::string& path, Bytes* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !out->empty();
}

struct CorpusFile {
    std::string name;
    Bytes bytes;
};

std::vector<CorpusFile> MakeCorpus() {
    std::vector<CorpusFile> corpus = {
        {"photo24.bmp", PhotoBitmap()},
        {"photo8.bmp", PhotoBitmap8()},
        {"shapes24.bmp", ShapesBitmap()},
        {"shapes8.bmp", ShapesBitmap8()},
    };
    for (const char* path : kDllPaths) {
        CorpusFile f{fs::path(path).filename().string(), {}};
        if (ReadFile(path, &f.bytes)) {
            corpus.push_back(f);
        } else {
            std::printf("note: %s not found; a generated executable stands in\n", path);
            corpus.push_back({"gen-" + f.name, Executable(800000)});
        }
    }
    corpus.push_back({"english.txt", EnglishText(2000000)});
    corpus.push_back({"mixed.bin", MixedBinary(1500000)});
    return corpus;
}

// --- Measurements -----------------------------------------------------------

double CpuNow() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median CPU seconds of `reps` runs of `run` in this process.
template <class Run>
double MedianCpu(Run run, int reps) {
    std::vector<double> times;
    for (int i = 0; i < reps; i++) {
        double t0 = CpuNow();
        run();
        times.push_back(CpuNow() - t0);
    }
    return Median(times);
}

ssize_t CountWrite(void* cookie, const char*, size_t size) {
    *static_cast<uint64_t*>(cookie) += size;
    return ssize_t(size);
}

// One expansion from `in` into a counting sink, as DecodeFile does it: the
// figures are the decoder's, without the copying into memory that
// DecodeBuffer adds.
uint64_t ExpandToSink(FILE* in, uint32_t storedSize, uint32_t originalSize) {
    uint64_t written = 0;
    cookie_io_functions_t io{};
    io.write = CountWrite;
    FILE* out = fopencookie(&written, "wb", io);
    ExpandStream(in, out, originalSize, storedSize, DECODE_TO_ORIGINAL_SIZE);
    fclose(out);
    return written;
}

uint64_t DecodeToSink(const Bytes& stream, uint32_t originalSize) {
    FILE* in = authoring::OpenMemoryReader(stream.data(), stream.size());
    uint64_t written = ExpandToSink(in, uint32_t(stream.size()), originalSize);
    fclose(in);
    return written;
}

// The symbols of a stream (literals and match lengths), in order, found by
// walking the code with the tree alone, apart from the decoder under test.
std::vector<uint16_t> WalkStream(const Bytes& stream, uint64_t originalSize) {
    HuffTree tree;
    InitTree(&tree);
    std::vector<uint16_t> symbols;
    uint64_t bitPos = 0, produced = 0;
    auto bit = [&]() -> unsigned {
        size_t byte = size_t(bitPos >> 3);
        unsigned b = byte < stream.size() ? (stream[byte] >> (7 - (bitPos & 7))) & 1 : 0;
        bitPos++;
        return b;
    };
    while (produced < originalSize) {
        unsigned n = tree.child[ROOT];
        do n = tree.child[n + bit()];
        while (n < NODE_COUNT);
        int s = int(n - NODE_COUNT);
        symbols.push_back(uint16_t(s));
        UpdateTree(&tree, s);
        if (s < 256) {
            produced++;
            continue;
        }
        unsigned w = 0;
        for (int i = 0; i < 8; i++) w = 2 * w + bit();
        for (int i = 2; i < DISTANCE_PREFIX_LEN[w]; i++) bit();
        produced += unsigned(s) - (FIRST_LENGTH_SYMBOL - MIN_MATCH);
    }
    return symbols;
}

// The adaptive code's own count of every symbol: UpdateTree on each symbol
// of the stream in turn, which climbs from the symbol's leaf by its parent
// links (the decoder climbs along the path it has just walked). It reads the
// list of symbols (two bytes a symbol) and nothing else: no recorded path,
// no bits, no output.
void ReplayUpdates(const std::vector<uint16_t>& symbols) {
    static HuffTree tree;
    InitTree(&tree);
    for (uint16_t s : symbols) UpdateTree(&tree, s);
    volatile unsigned root = tree.weight[ROOT];  // the result is used
    (void)root;
}

void WriteFile(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Runs `argv` with its output thrown away; returns its CPU seconds (user and
// system), or -1 when it could not run or failed.
double ProcessCpu(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The child side of a whole-process run: expands FILE (a stream of SIZE
// bytes once expanded) COPIES times into a counting sink.
int ExpandCopies(const char* path, const char* size, const char* copies) {
    FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return 1;
    std::fseek(in, 0, SEEK_END);
    uint32_t stored = uint32_t(std::ftell(in));
    uint32_t original = uint32_t(std::strtoul(size, nullptr, 10));
    for (long i = std::strtol(copies, nullptr, 10); i > 0; i--) {
        std::fseek(in, 0, SEEK_SET);
        if (ExpandToSink(in, stored, original) != original || LastDecodeStatus() != DECODE_OK) return 1;
    }
    std::fclose(in);
    return 0;
}

// Copies of `one` back to back.
Bytes Repeat(const Bytes& one, size_t copies) {
    Bytes many;
    many.reserve(one.size() * copies);
    for (size_t i = 0; i < copies; i++) many.insert(many.end(), one.begin(), one.end());
    return many;
}

Bytes Slurp(const fs::path& p) {
    Bytes b;
    ReadFile(p.string(), &b);
    return b;
}

// The corpus and its Best streams, for timing other ways (callgrind, perf,
// whole-process timers): NAME and NAME.q for every file.
int WriteCorpus(const char* dir) {
    fs::create_directories(dir);
    for (const CorpusFile& f : MakeCorpus()) {
        fs::path file = fs::path(dir) / f.name;
        WriteFile(file, f.bytes);
        WriteFile(file.string() + ".q", authoring::EncodeStream(f.bytes.data(), f.bytes.size()));
        std::printf("%s %zu\n", file.string().c_str(), f.bytes.size());
    }
    return 0;
}

struct Row {
    std::string name;
    double size = 0, symbols = 0, greedy = 0, best = 0, gz = 0, xz = 0;
    double encGreedy = 0, encBest = 0, dec = 0;  // CPU seconds in-process, medians
    double update = 0;                           // CPU seconds of ReplayUpdates, median
    double gzRatio = 0, xzRatio = 0;             // whole-process CPU, ours / tool, median over rounds
};

double Mbps(double bytes, double seconds) {
    return seconds > 0 ? bytes / seconds / 1e6 : 0;
}

void PrintRow(const Row& r) {
    double perSymbol = r.symbols > 0 ? 1e9 / r.symbols : 0;
    std::printf("%-20s %9.0f %9.0f %6.2f%% %6.2f%% %9.0f %9.0f | %6.1f %6.1f %7.1f %6.1f %6.1f | %6.2f %6.2f\n",
                r.name.c_str(), r.size, r.best, 100.0 * r.best / r.size, 100.0 * (r.greedy - r.best) / r.greedy, r.gz,
                r.xz, Mbps(r.size, r.encGreedy), Mbps(r.size, r.encBest), Mbps(r.size, r.dec), r.dec * perSymbol,
                r.update * perSymbol, r.gzRatio, r.xzRatio);
}

constexpr int kRounds = 7;            // whole-process rounds
constexpr double kBytesPerRun = 4e6;  // original bytes each whole-process run expands, at least

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--expand") == 0) return ExpandCopies(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "--corpus") == 0) return WriteCorpus(argv[2]);
    if (argc > 1) {
        std::printf(
            "usage: %s\n"
            "Builds a ~13 MB corpus (real DLLs where present, pictures, text, binary) and prints\n"
            "compressed sizes, encode and decode speeds (CPU time, in-process) and whole-process\n"
            "decode CPU time against gzip -d and xz -d.\n"
            "%s --corpus DIR writes the corpus files and their streams (NAME.q) to DIR;\n"
            "%s --expand FILE.q SIZE COPIES expands a stream COPIES times (the child of the\n"
            "whole-process runs).\n",
            argv[0], argv[0], argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    bool haveTools = Run("gzip --version > /dev/null 2>&1") && Run("xz --version > /dev/null 2>&1");
    fs::path tmp = fs::temp_directory_path() / ("codec_bench_" + std::to_string(::getpid()));
    fs::create_directories(tmp);
    std::string self = fs::read_symlink("/proc/self/exe").string();

    std::vector<CorpusFile> corpus = MakeCorpus();
    std::vector<Row> rows;
    int status = 0;
    for (const CorpusFile& f : corpus) {
        Row r;
        r.name = f.name;
        r.size = double(f.bytes.size());
        Bytes greedy, best;
        r.encGreedy = MedianCpu(
            [&] { greedy = authoring::EncodeStream(f.bytes.data(), f.bytes.size(), authoring::Parsing::Greedy, 1); },
            3);
        r.encBest = MedianCpu(
            [&] { best = authoring::EncodeStream(f.bytes.data(), f.bytes.size(), authoring::Parsing::Best, 1); }, 3);
        r.greedy = double(greedy.size());
        r.best = double(best.size());
        Bytes back;
        if (authoring::DecodeBuffer(best.data(), best.size(), uint32_t(f.bytes.size()), &back) != DECODE_OK ||
            back != f.bytes) {
            std::fprintf(stderr, "%s: round trip failed\n", f.name.c_str());
            status = 1;
        }
        // The match search on a second thread must not change a byte.
        if (authoring::EncodeStream(f.bytes.data(), f.bytes.size(), authoring::Parsing::Best, 2) != best) {
            std::fprintf(stderr, "%s: the stream of two threads differs from one thread's\n", f.name.c_str());
            status = 1;
        }
        std::vector<uint16_t> symbols = WalkStream(best, f.bytes.size());
        r.symbols = double(symbols.size());
        r.dec = MedianCpu([&] { DecodeToSink(best, uint32_t(f.bytes.size())); }, 7);
        r.update = MedianCpu([&] { ReplayUpdates(symbols); }, 7);
        fs::path file = tmp / f.name;
        WriteFile(file.string() + ".q", best);
        if (haveTools) {
            WriteFile(file, f.bytes);
            Run("gzip -9 -kf '" + file.string() + "' && xz -6 -kf '" + file.string() + "'");
            r.gz = double(fs::file_size(file.string() + ".gz"));
            r.xz = double(fs::file_size(file.string() + ".xz"));
        }
        rows.push_back(r);
    }

    // Whole processes, in rounds.
    std::vector<std::vector<double>> gzRatios(corpus.size()), xzRatios(corpus.size());
    std::vector<double> totalGz, totalXz;  // per round: ratios
    if (haveTools) {
        std::vector<size_t> copies(corpus.size());
        for (size_t i = 0; i < corpus.size(); i++) {
            fs::path file = tmp / corpus[i].name;
            copies[i] = size_t(std::ceil(kBytesPerRun / double(corpus[i].bytes.size())));
            for (const char* ext : {".gz", ".xz"}) {
                std::string one = file.string() + ext;
                WriteFile(one + ".copies", Repeat(Slurp(one), copies[i]));
            }
        }
        for (int round = 0; round < kRounds; round++) {
            double ours = 0, gz = 0, xz = 0;
            for (size_t i = 0; i < corpus.size(); i++) {
                std::string file = (tmp / corpus[i].name).string();
                std::vector<std::string> runs[3] = {
                    {self, "--expand", file + ".q", std::to_string(corpus[i].bytes.size()), std::to_string(copies[i])},
                    {"gzip", "-dc", file + ".gz.copies"},
                    {"xz", "-dc", file + ".xz.copies"}};
                double t[3];
                for (int k = 0; k < 3; k++) {  // a different one first in each round
                    int which = (k + round) % 3;
                    t[which] = ProcessCpu(runs[which]) / double(copies[i]);
                    if (t[which] < 0) status = 1;
                }
                gzRatios[i].push_back(t[0] / t[1]);
                xzRatios[i].push_back(t[0] / t[2]);
                ours += t[0];
                gz += t[1];
                xz += t[2];
            }
            totalGz.push_back(ours / gz);
            totalXz.push_back(ours / xz);
        }
    }

    std::printf("%-20s %9s %9s %7s %7s %9s %9s | %6s %6s %7s %6s %6s | %6s %6s\n", "file", "original", "best", "ratio",
                "saved", "gzip-9", "xz-6", "enc-gr", "enc-bs", "decode", "ns/sym", "update", "/gz-d", "/xz-d");
    std::printf("%-20s %9s %9s %7s %7s %9s %9s | %6s %6s %7s %6s %6s | %13s\n", "", "bytes", "bytes", "", "vs gr",
                "bytes", "bytes", "MB/s", "MB/s", "MB/s", "", "ns/sym", "process CPU");
    Row total;
    total.name = "total";
    for (size_t i = 0; i < rows.size(); i++) {
        Row& r = rows[i];
        r.gzRatio = Median(gzRatios[i]);
        r.xzRatio = Median(xzRatios[i]);
        PrintRow(r);
        total.size += r.size;
        total.symbols += r.symbols;
        total.greedy += r.greedy;
        total.best += r.best;
        total.gz += r.gz;
        total.xz += r.xz;
        total.encGreedy += r.encGreedy;
        total.encBest += r.encBest;
        total.dec += r.dec;
        total.update += r.update;
    }
    total.gzRatio = Median(totalGz);
    total.xzRatio = Median(totalXz);
    PrintRow(total);
    if (haveTools) {
        std::printf("\nwhole-process decode CPU time, median of %d interleaved rounds:\n", kRounds);
        std::printf("ours / xz -d:   %.2f\n", total.xzRatio);
        std::printf("ours / gzip -d: %.2f\n", total.gzRatio);
        std::printf(
            "our tree update alone / our decode: %.2f (both in-process CPU; the update replays the\n"
            "  stream's symbols, reading two bytes a symbol, no paths, bits or output)\n",
            total.update / total.dec);
    } else {
        std::printf("\ngzip or xz not found: no comparison\n");
    }
    fs::remove_all(tmp);
    return status;
}
