// Sequential text files under numbers, through a 4096-byte write-behind /
// read-ahead buffer. Every operation on a number without an open file does
// nothing and returns 0 (ReadLine: the empty text). Every failure to open,
// write or sync is noted (FileFailure) with the system's reason.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace TextFile {
constexpr int32_t BufferSize = 4096;

// Creates or empties the file; shared for reading only while open, so a
// second opener cannot create or write it. Non-zero on success (for number
// -1 the new object's identifier).
int32_t Create(int32_t number, const char* path);
// Like Create, but only where nothing of that name exists yet: a file that is
// there already is left exactly as it is, and the result is 0.
int32_t CreateNew(int32_t number, const char* path);
// Opens for reading from the start; a UTF-8 byte-order mark there is
// skipped. A UTF-16 file (by its mark, or by the zero bytes of its ASCII
// text) gives its lines as UTF-8.
int32_t OpenRead(int32_t number, const char* path);
// Text, then CR LF; the bytes accepted, 0 when no file is open.
int32_t WriteLine(int32_t number, std::string_view text);
// Next line without its end: LF, CR LF, a lone CR or a NUL byte end a line.
std::string ReadLine(int32_t number);
int32_t AtEnd(int32_t number);
// Non-zero when the file's lines are UTF-8 by its own word: it began with a
// UTF-8 byte-order mark, or it is UTF-16.
int32_t Unicode(int32_t number);
// Hands buffered bytes to the operating system; non-zero when a file is open.
int32_t Flush(int32_t number);
// Flush, then makes what was written durable, so that it survives a power
// cut; 0 when it may not have reached the disk or no file is open.
int32_t Sync(int32_t number);
// Writes out buffered data and closes; -1 closes every file (result 1). A
// file that was written is made durable before it is closed. 0 when no file
// was open or what was written may not all have reached the disk.
int32_t Close(int32_t number);

// Module hooks, called by the runtime in its fixed order.
void Startup();
void Shutdown();  // closes every file, writing out buffers
}  // namespace TextFile
