// Replays the fixtures and hostile inputs through the fuzz targets' checks,
// so that the ordinary sanitizer build covers the same paths. Large inputs
// must go through in linear time: a quadratic reader would run into the
// test's time-out.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/fuzz_checks.h"

namespace {

TEST(FuzzReplay, SettingsAndLineReaderChecksHold) {
    using namespace std::string_literals;
    std::vector<std::string> inputs = {
        "", "\r", "\n\r", "\0"s, "\r\r\r\n\n\0\0\r"s, "\xEF\xBB", "\xEF\xBB\xBF\r\n", "[", "]", "=", ";", "[Screen",
        "[Screen]]=]\n=\n;;\n", " \t \t", "Width", " \xEF\xBB\xBFWidth=1\n", "[Screen]\0Width=5\0"s,
        std::string(4095, 'x') + "\r\ny", std::string(4095, 'x') + "\ry", std::string(4096, '\r'),
        "[Screen]\nWidth=" + std::string(10 << 20, '7'), std::string(1 << 18, '\r'), std::string(1 << 18, '['),
        std::string(1 << 18, '='), "[Screen]\0Width=5\0\0\0[Words]\0"s + std::string(1 << 18, '\0'),
    };
    std::string groups;
    for (int i = 0; i < 100000; ++i) groups += "[g" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    inputs.push_back(groups + "[Screen]\nWidth=5\n");
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) {
        std::string bytes(random() % 9000, '\0');
        for (char& c : bytes) c = "[]=; \t\r\n\0aWS#\xEF\xBB"[random() % 16];
        inputs.push_back(bytes);
    }
    for (const char* sub : {"/settings", "/lines"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(WT_FIXTURES) + sub))
            inputs.push_back(Scratch::Get(entry.path().string()));
    for (const std::string& input : inputs) {
        SCOPED_TRACE(std::to_string(input.size()) + " bytes: " + testing::PrintToString(input.substr(0, 80)));
        for (auto check : {FuzzChecks::CheckSettings, FuzzChecks::CheckLineReader}) {
            const char* failure = check(reinterpret_cast<const uint8_t*>(input.data()), input.size());
            EXPECT_EQ(std::string(failure ? failure : ""), "");
        }
    }
    SettingsFile::Shutdown();
    TextFile::Shutdown();
}

}  // namespace
