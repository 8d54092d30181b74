// Scratch folders and raw file helpers for the file-module tests and fuzzers.
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace Scratch {

// A fresh folder under `base` (default: the system's temporary directory), removed at the end.
class Folder {
public:
    explicit Folder(const std::string& base = "")
        : path_((base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base)) /
                ("wordtap_files_" + std::to_string(std::random_device()()) + std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(path_);
    }
    ~Folder() { std::filesystem::remove_all(path_, ignored_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
    std::error_code ignored_;
};

inline void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace Scratch
