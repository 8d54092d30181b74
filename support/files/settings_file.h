// Reader and rewriter of the settings file: groups of "key = value" lines.
// At most one file is open; every write marks it modified and Close rewrites
// it in a normalised layout.
#pragma once
#include <cstdint>

namespace SettingsFile {
enum Layout : int32_t {
    CompactSeparator = 1,  // "key=value" instead of "key = value"
    SpaceGroups = 2,       // an empty line before every group but the first
};

// Closes any open file (with write-back), then opens and parses `path`.
// Non-zero when the file was opened; 0 otherwise, in which case reads give
// defaults and Close creates the file when something was written.
int32_t Open(const char* path, int32_t flags);
int32_t SelectGroup(const char* name);
int32_t ReadInteger(const char* key, int32_t defaultValue);
void WriteInteger(const char* key, int32_t value);
void Close();

void Startup();   // clears the module state
void Shutdown();  // Close, with write-back
}  // namespace SettingsFile
