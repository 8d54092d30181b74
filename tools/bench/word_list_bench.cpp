// Benchmarks of the word-list path: reading a large list into a StringList
// the way the experiment's loader does, and shuffling a large list.
//
//   wordtap_bench generate <path> <lines> [utf16]  writes a word list (as
//                                           UTF-16 LE with its mark: Notepad's "Unicode")
//   wordtap_bench read <path> [rounds]      best read time, MB/s
//   wordtap_bench shuffle <elements> [rounds]  best shuffle time
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/files/text_file.h"
#include "support/text/random_source.h"
#include "support/text/string_list.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Generate(const char* path, long lines, bool utf16) {
    FILE* out = std::fopen(path, "wb");
    if (!out) return 1;
    if (utf16) std::fwrite("\xFF\xFE", 1, 2, out);
    uint32_t state = 12345;
    char word[16];
    for (long i = 0; i < lines; ++i) {
        state = state * 1664525u + 1013904223u;
        int length = 3 + static_cast<int>((state >> 24) % 9);  // 3 ... 11 bytes, 7 on average
        for (int k = 0; k < length; ++k) {
            state = state * 1664525u + 1013904223u;
            word[k] = static_cast<char>('a' + (state >> 27) % 26);
        }
        word[length] = '\n';
        for (int k = 0; utf16 && k <= length; ++k) {
            const char unit[2] = {word[k], 0};
            std::fwrite(unit, 1, 2, out);
        }
        if (!utf16) std::fwrite(word, 1, static_cast<size_t>(length) + 1, out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

// As the word-list loader: every non-empty line becomes an element.
long LoadList(StringList* list, const char* path) {
    constexpr int32_t number = 0;
    if (TextFile::OpenRead(number, path) == 0) return -1;
    long words = 0;
    while (TextFile::AtEnd(number) == 0) {
        std::string line = TextFile::ReadLine(number);
        if (line.empty()) continue;
        std::string* slot = StringList::Add(list);
        if (!slot) break;
        *slot = std::move(line);
        ++words;
    }
    TextFile::Close(number);
    return words;
}

int Read(const char* path, int rounds) {
    FILE* probe = std::fopen(path, "rb");
    if (!probe) return 1;
    std::fseek(probe, 0, SEEK_END);
    double megabytes = static_cast<double>(std::ftell(probe)) / 1e6;
    std::fclose(probe);

    TextFile::Startup();
    double best = 1e30;
    long words = 0;
    for (int round = 0; round < rounds; ++round) {
        StringList* list = StringList::New();
        Clock::time_point start = Clock::now();
        words = LoadList(list, path);
        best = std::min(best, MillisecondsSince(start));
        StringList::Free(list);
    }
    TextFile::Shutdown();
    if (words < 0) return 1;
    std::printf("read: %ld words, %.1f MB in %.1f ms: %.0f MB/s\n", words, megabytes, best,
                megabytes / (best / 1000.0));
    return 0;
}

int Shuffle(long elements, int rounds) {
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        StringList* list = StringList::New();
        for (long i = 0; i < elements; ++i) *StringList::Add(list) = "w" + std::to_string(i);
        RandomSource::Seed(static_cast<uint32_t>(round));
        Clock::time_point start = Clock::now();
        StringList::Shuffle(list);
        best = std::min(best, MillisecondsSince(start));
        StringList::Free(list);
    }
    std::printf("shuffle: %ld elements in %.1f ms\n", elements, best);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "generate") == 0)
        return Generate(argv[2], std::atol(argv[3]), argc >= 5 && std::strcmp(argv[4], "utf16") == 0);
    if (argc >= 3 && std::strcmp(argv[1], "read") == 0)
        return Read(argv[2], argc >= 4 ? std::atoi(argv[3]) : 3);
    if (argc >= 3 && std::strcmp(argv[1], "shuffle") == 0)
        return Shuffle(std::atol(argv[2]), argc >= 4 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr, "usage: wordtap_bench generate <path> <lines> [utf16] | read <path> [rounds] | "
                         "shuffle <elements> [rounds]\n");
    return 2;
}
