#include "support/text/random_source.h"

#include "support/time/time_platform.h"

namespace {

struct RandomSourceState {
    uint32_t a[17];
    uint32_t b[17];
    int32_t p1;
    int32_t p2;
    int32_t seeded;
};
RandomSourceState gState;

uint32_t RotateRight(uint32_t value, int shift) { return (value >> shift) | (value << (32 - shift)); }

uint32_t Step() {
    RandomSourceState& s = gState;
    uint32_t x = RotateRight(s.b[s.p1], 13) + s.b[s.p2];
    uint32_t y = RotateRight(s.a[s.p1], 5) + s.a[s.p2];
    s.a[s.p1] = x;
    s.b[s.p1] = y;
    if (--s.p1 < 0) s.p1 = 16;
    if (--s.p2 < 0) s.p2 = 16;
    return x;
}

}  // namespace

namespace RandomSource {

void Seed(uint32_t seed) {
    uint32_t s = seed;
    for (int i = 0; i < 17; ++i) {
        s = 1u - s * 1403630843u;
        gState.b[i] = s;
        s = 1u - s * 1403630843u;
        gState.a[i] = s;
    }
    gState.p1 = 0;
    gState.p2 = 10;
    for (int i = 0; i < 31; ++i) Step();
    gState.seeded = 1;
}

uint32_t Draw(uint32_t max) {
    if (!gState.seeded) Seed(TimePlatform::ThreadId() ^ TimePlatform::TickCount());
    // For max 0xFFFFFFFF the product is x * 2^32, so the raw output comes back.
    return static_cast<uint32_t>((static_cast<uint64_t>(Step()) * (static_cast<uint64_t>(max) + 1)) >> 32);
}

}  // namespace RandomSource
