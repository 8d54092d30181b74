// Text files from arbitrary bytes, read line by line through the buffer.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* failure = FuzzChecks::CheckLineReader(data, size)) {
        std::fprintf(stderr, "line reader check failed: %s\n", failure);
        std::abort();
    }
    return 0;
}
