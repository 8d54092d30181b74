// Settings files from arbitrary bytes: parse, select, read, write, rewrite,
// and the rewrite must parse back to what was written.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* failure = FuzzChecks::CheckSettings(data, size)) {
        std::fprintf(stderr, "settings check failed: %s\n", failure);
        std::abort();
    }
    return 0;
}
