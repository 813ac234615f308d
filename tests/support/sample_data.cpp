#include "tests/support/sample_data.h"

#include <random>

std::vector<uint8_t> TextBytes(size_t size, uint32_t seed) {
    static const char* const words[] = {"screen ", "saver ", "sunset ", "over ", "the ", "sea ", "\r\n"};
    std::mt19937 random(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        for (const char* w = words[random() % 7]; *w && out.size() < size; w++) out.push_back((uint8_t)*w);
    }
    return out;
}

std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(size);
    for (uint8_t& b : out) b = (uint8_t)random();
    return out;
}
