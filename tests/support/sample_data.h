// Seeded sample contents for tests: bytes that compress well (words) and
// bytes that do not compress at all (noise). The same size and seed always
// give the same bytes.
#ifndef TESTS_SUPPORT_SAMPLE_DATA_H
#define TESTS_SUPPORT_SAMPLE_DATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> TextBytes(size_t size, uint32_t seed);
std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed);

#endif
