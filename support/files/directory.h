// Path queries, directory creation and pattern listing of directories.
#pragma once
#include <cstdint>
#include <string>

constexpr int64_t PathSizeMissing = -1;
constexpr int64_t PathSizeDirectory = -2;

// Size of a file (0 or more), PathSizeMissing or PathSizeDirectory.
int64_t PathSize(const char* path);
// Creates the last component; trailing blanks and separators are dropped.
// Non-zero on success, 0 otherwise (also when it exists already); a failure
// is noted (FileFailure) with the system's reason.
int32_t MakeDirectory(const char* path);

// Case-insensitive wildcard match ("*" any run, "?" one byte).
bool WildcardMatch(const char* pattern, const char* name);

namespace DirectoryScan {
enum Kind : int32_t { NoScan = 0, File = 1, Directory = 2 };
// Lists the entries of `directory` matching `pattern` (empty: "*.*") in a
// fixed order, names compared without regard to case. Non-zero on success,
// also when nothing matches; 0 when the directory cannot be listed.
int32_t Begin(int32_t number, const char* directory, const char* pattern);
int32_t Next(int32_t number);
std::string EntryName(int32_t number);
int32_t EntryKind(int32_t number);
void End(int32_t number);
void Shutdown();  // ends every scan still open
}  // namespace DirectoryScan
