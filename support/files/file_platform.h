// What the file modules need from the operating system: byte-exact file
// access with Windows-like sharing, path queries and directory listing.
// One implementation per platform (file_platform_posix.cpp, _win32.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace FilePlatform {
using Handle = intptr_t;  // 0: no file

// Scoped, so that the names do not clash with the Read and Write calls.
struct Access {
    enum : uint32_t { Read = 1, Write = 2 };
};
// What other openers may do while this handle is open. On POSIX this is kept
// between processes that use these calls (advisory locks): an opener that
// does not share writing keeps others from writing, and a writer keeps
// everyone else out.
enum Share : uint32_t { ShareRead = 1, ShareWrite = 2 };
// CreateNew fails when anything of that name exists, so that no earlier file
// is ever emptied.
enum Disposition { OpenExisting, CreateAlways, TruncateExisting, CreateNew };

Handle Open(const char* path, uint32_t access, uint32_t share, Disposition disposition);
// Bytes transferred; 0 at end of file or on failure.
int64_t Read(Handle file, void* buffer, int64_t count);
int64_t Write(Handle file, const void* buffer, int64_t count);
enum Origin { FromStart = 0, FromCurrent = 1, FromEnd = 2 };
// New position, or -1 on failure.
int64_t Seek(Handle file, int64_t offset, Origin origin);
// Cuts the file at the current position; non-zero on success.
int32_t Truncate(Handle file);
int64_t Size(Handle file);  // -1 on failure
// Makes written data durable. 0 only when written data may be lost (an I/O
// error, a full disk or quota, a network file gone stale); a file that cannot
// be synced by its nature, such as a device, counts as success. One judgement
// for every platform (file_platform.cpp) over the answers sorted below.
int32_t Sync(Handle file);
// What one attempt at a sync came to, sorted from the system's answer.
enum SyncAnswer : int32_t { SyncDone, SyncNothingToSync, SyncInterrupted, SyncFailed };
SyncAnswer SyncOnce(Handle file);
// The sorting of a system error code that a sync gave.
SyncAnswer SortSyncError(int64_t code);
void Close(Handle file);

// The system's code (errno, GetLastError) of the last call here that failed;
// what it says in the user's language, without a line end.
int64_t LastError();
std::string ErrorText(int64_t code);

// Gives `path` the `count` bytes as its whole new content in one step: they
// are written to a new file in the same folder, made durable, and that file
// then takes the name, so that a reader sees either the old file or the new
// one, never a part. Any failure (a full disk, a size limit, no right to
// create files in the folder) leaves the file at `path` as it was and removes
// the new file; non-zero on success. A missing file is created. Call it with
// `path` closed: a file held open cannot be replaced on every platform. The
// replaced file's permissions carry over where the platform keeps any.
int32_t Replace(const char* path, const void* bytes, int64_t count);

// Path queries. Kind: 0 nothing, 1 file, 2 directory. Where the system has
// drive letters and network names, a drive ("C:", "C:\") or a share that
// exists counts as a directory.
struct PathInfo {
    int32_t kind;
    int64_t size;
};
PathInfo Query(const char* path);
// Creates the last component only; non-zero on success.
int32_t MakeDir(const char* path);

// Joins a directory and a name.
char PathSeparator();

struct DirEntry {
    std::string name;
    int32_t isDirectory;
    int64_t size;  // files only
};
// The entries that the last component of `searchPath` matches by the
// system's wildcard rules ("*" any run, "?" one character), "." and ".."
// included when they match, in no particular order. Non-zero also when
// nothing matches; 0 when the directory cannot be listed.
int32_t Search(const char* searchPath, std::vector<DirEntry>* entries);
}  // namespace FilePlatform
