// Replays the fixtures and a few nasty inputs through the fuzz targets'
// checks, so that the ordinary sanitizer build covers the same paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/fuzz_checks.h"

namespace {

std::vector<std::string> Nasty() {
    using namespace std::string_literals;
    std::vector<std::string> inputs = {
        "", "\r", "\n\r", "\0"s, "\r\r\r\n\n\0\0\r"s, "\xEF\xBB\xBF", "\xEF\xBB", "\xEF\xBB\xBF\r\n",
        "[", "]", "=", ";", "[Screen", "[Screen]]=]\n=\n;;\n", " \t \t", "Width", "\xEF\xBB\xBF" "Width=1",
        " \xEF\xBB\xBFWidth=1\n", "[Screen]\0Width=5\0"s, std::string(4095, 'x') + "\r\n" + "y",
        std::string(4095, 'x') + "\r" + "y", std::string(4096, '\r'), std::string(9000, '\0'),
        std::string(100000, '['),
    };
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) {
        std::string bytes(random() % 9000, '\0');
        for (char& c : bytes) c = "[]=; \t\r\n\0aWS#"[random() % 14];
        inputs.push_back(bytes);
    }
    return inputs;
}

// Every fixture file, then the nasty inputs.
std::vector<std::string> Inputs() {
    std::vector<std::string> inputs;
    for (const char* sub : {"/settings", "/lines"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(WT_FIXTURES) + sub))
            inputs.push_back(FuzzChecks::GetBytes(entry.path().string()));
    for (std::string& input : Nasty()) inputs.push_back(std::move(input));
    return inputs;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(FuzzReplayTest, SettingsCheckHoldsForFixturesAndNastyInputs) {
    for (const std::string& input : Inputs()) {
        const char* failure = FuzzChecks::CheckSettings(Bytes(input), input.size());
        EXPECT_EQ(std::string(failure ? failure : ""), "")
            << "input of " << input.size() << " bytes: " << testing::PrintToString(input.substr(0, 80));
    }
    SettingsFile::Shutdown();
}

TEST(FuzzReplayTest, LineReaderCheckHoldsForFixturesAndNastyInputs) {
    for (const std::string& input : Inputs()) {
        const char* failure = FuzzChecks::CheckLineReader(Bytes(input), input.size());
        EXPECT_EQ(std::string(failure ? failure : ""), "")
            << "input of " << input.size() << " bytes: " << testing::PrintToString(input.substr(0, 80));
    }
    TextFile::Shutdown();
}

}  // namespace
