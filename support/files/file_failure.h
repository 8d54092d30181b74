// Why the last file operation that failed did so, for the line on standard
// error that a lab reads beside the error box: the error number says which
// step failed, the system's reason and the path say what to do about it.
#pragma once
#include <cstdint>
#include <string>

namespace FileFailure {
// Taken by the file modules as each failure happens: the path (none when
// there is no file to name) and the system's code (FilePlatform::LastError;
// 0 when the system gave none).
void Note(const char* path, int64_t code);
// "path: the system's reason"; the path or the reason alone when the other
// is missing; empty when nothing has failed or neither is known.
std::string Describe();
}  // namespace FileFailure
