#include "support/files/file_failure.h"

#include "support/files/file_platform.h"

namespace FileFailure {
namespace {
struct Failure {
    std::string path;
    int64_t code;
};
Failure last{{}, 0};
}  // namespace

void Note(const char* path, int64_t code) {
    last.path = path != nullptr ? path : "";
    last.code = code;
}

std::string Describe() {
    // Looked up only now: the text is the system's, in the user's language.
    const std::string reason = last.code != 0 ? FilePlatform::ErrorText(last.code) : std::string();
    if (last.path.empty() || reason.empty()) return last.path + reason;
    return last.path + ": " + reason;
}
}  // namespace FileFailure
