// codec_bench: compression ratio and speed of the encoder's parsings and of
// the decoder, against gzip and xz on the same data.
//
// Builds its own deterministic corpus of about 10 MB (24-bit bitmaps with
// gradients and shapes, text, a PE-like executable, a file of records), then
// prints per file and in total: original size, compressed size with Greedy
// and Best parsing, what Best saves over Greedy, encode and decode speed, and
// the decompression speed of `gzip -d` (from gzip -9) and `xz -d` (from xz -6)
// measured in the same run. Speeds are MB/s (10^6 bytes) of original data;
// each is the best of several repetitions. The external tools decompress
// enough copies of the compressed file in one run (both formats allow
// streams back to back) that starting them costs next to nothing.
//
// Figures only: nothing here passes or fails, except a round trip that does
// not give the data back, which ends the program with status 1.
#include "decode/decode.h"
#include "tools/authoring/encoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

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

// A bottom-up 24-bit bitmap file of `pixel(x, y)`, rows padded to 4 bytes.
template <class Pixel>
Bytes Bitmap(int width, int height, Pixel pixel) {
    size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    Bytes b(54 + stride * size_t(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, uint32_t(stride * size_t(height)));
    for (int y = 0; y < height; y++) {
        uint8_t* row = &b[54 + stride * size_t(height - 1 - y)];
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

// Sky gradient, a sun, a sea with wave bands: smooth, mostly horizontal runs.
Bytes SunsetBitmap() {
    const int w = 1024, h = 768;
    return Bitmap(w, h, [&](int x, int y) {
        double t = double(y) / h;
        if (y < h * 6 / 10) {
            double dx = x - w * 0.62, dy = y - h * 0.45;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < 70) return Rgb{255, 230 - d, 120 - d};
            double glow = std::max(0.0, 1 - d / 400) * 60;
            return Rgb{40 + 215 * t + glow, 20 + 120 * t + glow / 2, 90 - 60 * t};
        }
        double wave = std::sin(x * 0.05 + std::sin(y * 0.3) * 3) > 0.6 ? 25 : 0;
        return Rgb{20 + wave + 40 * (1 - t), 40 + wave + 30 * (1 - t), 80 + wave};
    });
}

// Flat background and solid shapes, as a drawn screen saver scene.
Bytes ShapesBitmap() {
    const int w = 800, h = 600;
    struct Shape {
        int kind, x, y, size;
        Rgb colour;
    };
    Rng rng(11);
    std::vector<Shape> shapes;
    for (int i = 0; i < 40; i++)
        shapes.push_back({int(rng.Below(3)), int(rng.Below(w)), int(rng.Below(h)), 20 + int(rng.Below(120)),
                          Rgb{double(rng.Below(256)), double(rng.Below(256)), double(rng.Below(256))}});
    return Bitmap(w, h, [&](int x, int y) {
        Rgb c{230, 230, 210};
        for (const Shape& s : shapes) {
            int dx = x - s.x, dy = y - s.y;
            bool inside = s.kind == 0   ? std::abs(dx) < s.size && std::abs(dy) < s.size / 2
                          : s.kind == 1 ? dx * dx + dy * dy < s.size * s.size
                                        : dy >= 0 && dy < s.size && std::abs(dx) < (s.size - dy) / 2;
            if (inside) c = s.colour;
        }
        return c;
    });
}

// A smooth photo-like field with sensor noise: the hard case.
Bytes PhotoBitmap() {
    const int w = 640, h = 480;
    Rng rng(12);
    return Bitmap(w, h, [&](int x, int y) {
        double v = 100 + 60 * std::sin(x * 0.013) * std::cos(y * 0.021) + 40 * std::sin((x + y) * 0.004);
        double n = double(rng.Below(7)) - 3;
        return Rgb{v + n + 30, v * 0.8 + n, v * 0.6 + n + 10};
    });
}

// Words of a made-up language under a Zipf-like law, sentences and lines.
Bytes Text(size_t size) {
    Rng rng(21);
    static const char* syllables[] = {"ka", "ve", "lin", "dor", "mo", "ra", "sen", "te", "gu", "wal", "ne",
                                      "ij", "oo", "ster", "ber", "en", "ge", "schap", "lo", "ri"};
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
        if (column + word.size() > 72) {
            b.push_back('\r');
            b.push_back('\n');
            column = 0;
        } else if (column > 0) {
            b.push_back(' ');
            column++;
        }
        b.insert(b.end(), word.begin(), word.end());
        column += word.size();
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
            case 0: emit({0x8B, 0x45, int(8 + 4 * rng.Below(6))}); break;                // mov eax,[ebp+n]
            case 1: emit({0x89, 0x45, int(0x100 - 4 * (1 + rng.Below(8)))}); break;      // mov [ebp-n],eax
            case 2: {
                uint32_t target = 0x401000 + rng.Below(0x40000);
                emit({0xE8, int(target & 0xFF), int((target >> 8) & 0xFF), int((target >> 16) & 0xFF), 0});
                break;
            }
            case 3: emit({0x85, 0xC0, 0x74, int(rng.Below(0x40))}); break;                // test; jz
            case 4: emit({0x50 + int(rng.Below(8))}); break;                              // push reg
            case 5: emit({0x6A, int(rng.Below(4))}); break;                               // push small
            case 6: emit({0xFF, 0x15, 0x00, int(0x20 + rng.Below(8) * 4), 0x40, 0x00}); break;  // call [iat]
            default: emit({0x33, 0xC0}); break;                                           // xor eax,eax
            }
        }
        emit({0x8B, 0xE5, 0x5D, 0xC3});  // epilogue
        while (b.size() % 16) b.push_back(0xCC);
    }
    // .rdata: import names and strings
    static const char* imports[] = {"GetModuleFileNameA", "CreateWindowExA", "DialogBoxParamA",
                                    "GetWindowsDirectoryA", "WritePrivateProfileStringA", "SetCursor",
                                    "MessageBoxA", "LoadIconA", "RegisterClassA", "GetSystemMetrics"};
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

struct CorpusFile {
    std::string name;
    Bytes bytes;
};

std::vector<CorpusFile> MakeCorpus() {
    return {
        {"sunset.bmp", SunsetBitmap()},
        {"shapes.bmp", ShapesBitmap()},
        {"photo.bmp", PhotoBitmap()},
        {"readme.txt", Text(2000000)},
        {"saver.scr", Executable(2500000)},
        {"scene.dat", Records(1000000)},
    };
}

// --- Measurements -----------------------------------------------------------

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Best time of `run` over at least `reps` repetitions and `minTotal` seconds.
template <class Run>
double BestTime(Run run, int reps, double minTotal) {
    double best = 1e30, total = 0;
    for (int i = 0; i < reps || total < minTotal; i++) {
        auto t0 = Clock::now();
        run();
        double t = Seconds(t0, Clock::now());
        best = std::min(best, t);
        total += t;
        if (i > 50) break;
    }
    return best;
}

ssize_t CountWrite(void* cookie, const char*, size_t size) {
    *static_cast<uint64_t*>(cookie) += size;
    return ssize_t(size);
}

// One DecodeStream from memory into a counting sink; the bytes it wrote.
uint64_t DecodeToSink(const Bytes& stream, uint32_t originalSize) {
    uint64_t written = 0;
    FILE* in = fmemopen(const_cast<uint8_t*>(stream.data()), std::max<size_t>(stream.size(), 1), "rb");
    cookie_io_functions_t io{};
    io.write = CountWrite;
    FILE* out = fopencookie(&written, "wb", io);
    ReadPtr(nullptr, 0, 0);
    WritePtr(nullptr, 0, 0, 0);
    DecodeStream(in, out, originalSize, uint32_t(stream.size()), STREAM_MODE);
    fclose(out);
    fclose(in);
    return written;
}

void WriteFile(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Seconds that `tool -dc` takes for one copy of `packed`, compressed from
// `originalSize` bytes: timed on copies of it back to back that add up to
// about 20 MB, best of a few runs.
double ToolDecodeTime(const std::string& tool, const fs::path& packed, size_t originalSize) {
    size_t copies = std::max<size_t>(1, 20000000 / std::max<size_t>(originalSize, 1));
    Bytes one;
    {
        std::ifstream in(packed, std::ios::binary);
        one.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Bytes many;
    for (size_t i = 0; i < copies; i++) many.insert(many.end(), one.begin(), one.end());
    fs::path file = packed.string() + ".copies";
    WriteFile(file, many);
    std::string command = tool + " -dc '" + file.string() + "' > /dev/null";
    double t = BestTime([&] { Run(command); }, 3, 0) / double(copies);
    fs::remove(file);
    return t;
}

struct Row {
    std::string name;
    double size = 0, greedy = 0, best = 0, gz = 0, xz = 0;
    double encGreedy = 0, encBest = 0, dec = 0, gzDec = 0, xzDec = 0;  // seconds
};

double Mbps(double bytes, double seconds) {
    return seconds > 0 ? bytes / seconds / 1e6 : 0;
}

void PrintRow(const Row& r) {
    std::printf("%-11s %9.0f %9.0f %9.0f %6.2f%% %8.0f %8.0f | %7.1f %7.1f %7.1f | %7.1f %7.1f\n",
                r.name.c_str(), r.size, r.greedy, r.best, 100.0 * (r.greedy - r.best) / r.greedy, r.gz, r.xz,
                Mbps(r.size, r.encGreedy), Mbps(r.size, r.encBest), Mbps(r.size, r.dec),
                Mbps(r.size, r.gzDec), Mbps(r.size, r.xzDec));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::printf("usage: %s\n"
                    "Builds a ~10 MB corpus and prints compressed sizes and speeds of the\n"
                    "encoder (Greedy, Best) and decoder next to gzip -d and xz -d.\n",
                    argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    bool haveTools = Run("gzip --version > /dev/null 2>&1") && Run("xz --version > /dev/null 2>&1");
    fs::path tmp = fs::temp_directory_path() / ("codec_bench_" + std::to_string(::getpid()));
    fs::create_directories(tmp);

    std::printf("%-11s %9s %9s %9s %7s %8s %8s | %7s %7s %7s | %7s %7s\n", "file", "original", "greedy",
                "best", "saved", "gzip-9", "xz-6", "enc-gr", "enc-bst", "decode", "gzip-d", "xz-d");
    std::printf("%-11s %9s %9s %9s %7s %8s %8s | %23s | %15s\n", "", "bytes", "bytes", "bytes", "", "bytes",
                "bytes", "MB/s of original data", "MB/s");
    Row total;
    total.name = "total";
    int status = 0;
    for (const CorpusFile& f : MakeCorpus()) {
        Row r;
        r.name = f.name;
        r.size = double(f.bytes.size());
        Bytes greedy, best;
        r.encGreedy = BestTime([&] {
            greedy = authoring::EncodeStream(f.bytes.data(), f.bytes.size(), authoring::Parsing::Greedy);
        }, 2, 0);
        r.encBest = BestTime([&] {
            best = authoring::EncodeStream(f.bytes.data(), f.bytes.size(), authoring::Parsing::Best);
        }, 2, 0);
        r.greedy = double(greedy.size());
        r.best = double(best.size());
        Bytes back;
        if (authoring::DecodeBuffer(best.data(), best.size(), uint32_t(f.bytes.size()), &back) != DECODE_OK ||
            back != f.bytes) {
            std::fprintf(stderr, "%s: round trip failed\n", f.name.c_str());
            status = 1;
        }
        r.dec = BestTime([&] { DecodeToSink(best, uint32_t(f.bytes.size())); }, 5, 0.5);
        if (haveTools) {
            fs::path file = tmp / f.name;
            WriteFile(file, f.bytes);
            Run("gzip -9 -kf '" + file.string() + "' && xz -6 -kf '" + file.string() + "'");
            r.gz = double(fs::file_size(file.string() + ".gz"));
            r.xz = double(fs::file_size(file.string() + ".xz"));
            r.gzDec = ToolDecodeTime("gzip", file.string() + ".gz", f.bytes.size());
            r.xzDec = ToolDecodeTime("xz", file.string() + ".xz", f.bytes.size());
        }
        PrintRow(r);
        std::fflush(stdout);
        total.size += r.size;
        total.greedy += r.greedy;
        total.best += r.best;
        total.gz += r.gz;
        total.xz += r.xz;
        total.encGreedy += r.encGreedy;
        total.encBest += r.encBest;
        total.dec += r.dec;
        total.gzDec += r.gzDec;
        total.xzDec += r.xzDec;
    }
    PrintRow(total);
    if (haveTools) {
        std::printf("\ndecode / xz -d:   %.2fx\n", total.xzDec / total.dec);
        std::printf("decode / gzip -d: %.2fx\n", total.gzDec / total.dec);
    } else {
        std::printf("\ngzip or xz not found: no comparison\n");
    }
    fs::remove_all(tmp);
    return status;
}
