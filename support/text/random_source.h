// The program's pseudo-random generator: two lagged tables of 17 words with
// rotations. Its outputs for a given seed are fixed; tests pin them.
#pragma once
#include <cstdint>

namespace RandomSource {
void Seed(uint32_t seed);
// 0 ... max, uniform to 32-bit resolution; seeds itself from the thread id
// and tick count on first use. max 0xFFFFFFFF returns the raw step output.
uint32_t Draw(uint32_t max);
}  // namespace RandomSource
