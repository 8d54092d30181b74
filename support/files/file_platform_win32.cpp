// Windows file access over kernel32. Sharing, wildcard matching, drive
// letters and network names are the system's own: a second opener, in this
// process or another, is refused exactly as Windows decides.
#include "support/files/file_platform.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace FilePlatform {
namespace {

struct PlatformState {
    int64_t lastError;  // GetLastError of the last call here that failed
};
PlatformState state{0};

// Notes why the call that just failed did; its result, 0.
int32_t Failed(DWORD error = GetLastError()) {
    state.lastError = error;
    return 0;
}

HANDLE Native(Handle file) { return reinterpret_cast<HANDLE>(file); }

// Longest transfer per call: ReadFile and WriteFile count in 32 bits.
constexpr int64_t MaxChunk = 1 << 30;

// Drive roots and network shares answer to GetDriveTypeA only with a
// trailing "\"; unknown or without a root directory means nothing is there.
bool DriveExists(const char* path) {
    std::string root = path;
    if (root.empty() || root.back() != '\\') root += '\\';
    UINT type = GetDriveTypeA(root.c_str());
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

PathInfo FromFindData(const WIN32_FIND_DATAA& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {2, 0};
    return {1, static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow)};
}

// The old file's access rights and attributes go to the new one, as a write
// in place would have kept them.
void CarryOver(const std::string& from, const std::string& to) {
    const DWORD attributes = GetFileAttributesA(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    DWORD needed = 0;
    GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<char> descriptor(needed);
    if (needed > 0 && GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed))
        SetFileSecurityA(to.c_str(), DACL_SECURITY_INFORMATION, descriptor.data());
    SetFileAttributesA(to.c_str(), attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
}

}  // namespace

Handle Open(const char* path, uint32_t access, uint32_t share, Disposition disposition) {
    if (path == nullptr || *path == '\0') return Failed(ERROR_FILE_NOT_FOUND);
    DWORD desired = 0;
    if (access & Access::Read) desired |= GENERIC_READ;
    if (access & Access::Write) desired |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & ShareRead) shareMode |= FILE_SHARE_READ;
    if (share & ShareWrite) shareMode |= FILE_SHARE_WRITE;
    DWORD creation = OPEN_EXISTING;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (disposition == CreateAlways) creation = CREATE_ALWAYS;
    if (disposition == CreateNew) creation = CREATE_NEW;
    if (disposition == TruncateExisting) {
        creation = TRUNCATE_EXISTING;
        attributes = 0;
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
    HANDLE file = CreateFileA(path, desired, shareMode, nullptr, creation, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed();
    // Only disk files and devices: a pipe holds no text, and reading one could wait forever.
    if (GetFileType(file) == FILE_TYPE_PIPE) {
        CloseHandle(file);
        return Failed(ERROR_INVALID_FUNCTION);
    }
    return reinterpret_cast<Handle>(file);
}

int64_t Read(Handle file, void* buffer, int64_t count) {
    if (file == 0 || count <= 0) return 0;
    char* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(count - done > MaxChunk ? MaxChunk : count - done);
        DWORD got = 0;
        if (!ReadFile(Native(file), out + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

int64_t Write(Handle file, const void* buffer, int64_t count) {
    if (file == 0 || count <= 0) return 0;
    const char* in = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(count - done > MaxChunk ? MaxChunk : count - done);
        DWORD put = 0;
        if (!WriteFile(Native(file), in + done, chunk, &put, nullptr)) {
            Failed();
            break;
        }
        if (put == 0) {
            Failed(ERROR_WRITE_FAULT);
            break;
        }
        done += put;
    }
    return done;
}

int64_t Seek(Handle file, int64_t offset, Origin origin) {
    if (file == 0) return -1;
    DWORD method = origin == FromStart ? FILE_BEGIN : origin == FromCurrent ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(Native(file), distance, &position, method)) return -1;
    return position.QuadPart;
}

int32_t Truncate(Handle file) {
    if (file == 0) return 0;
    return SetEndOfFile(Native(file)) ? 1 : 0;
}

int64_t Size(Handle file) {
    LARGE_INTEGER size;
    if (file == 0 || !GetFileSizeEx(Native(file), &size)) return -1;
    return size.QuadPart;
}

SyncAnswer SyncOnce(Handle file) {
    // A device such as NUL or a console keeps nothing to flush.
    if (GetFileType(Native(file)) != FILE_TYPE_DISK) return SyncNothingToSync;
    if (FlushFileBuffers(Native(file))) return SyncDone;
    const DWORD error = GetLastError();
    Failed(error);
    return SortSyncError(error);
}

SyncAnswer SortSyncError(int64_t code) {
    switch (code) {
        // Some redirectors and virtual drives keep nothing to flush.
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return SyncNothingToSync;
        // A full disk, a network share gone, a device error and the rest:
        // what was written may be lost.
        default:
            return SyncFailed;
    }
}

void Close(Handle file) {
    if (file != 0) CloseHandle(Native(file));
}

int64_t LastError() { return state.lastError; }

std::string ErrorText(int64_t code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = length > 0 && text != nullptr ? std::string(text, length) : "system error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

// MoveFileEx renames in one step and, failing, leaves the old file alone.
// (ReplaceFile, which would carry the rights over itself, can fail halfway
// with the old file gone.)
int32_t Replace(const char* path, const void* bytes, int64_t count) {
    if (path == nullptr || *path == '\0' || count < 0 || (count > 0 && bytes == nullptr)) return 0;
    const std::string target = path;
    // A name of our own next to the file; a stale one from a crash is skipped.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return 0;
    }
    if (file == INVALID_HANDLE_VALUE) return 0;
    const Handle handle = reinterpret_cast<Handle>(file);
    bool ok = Write(handle, bytes, count) == count && Sync(handle) != 0;
    ok = CloseHandle(file) && ok;
    if (ok) CarryOver(target, temporary);
    if (!ok || !MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return 0;
    }
    return 1;
}

PathInfo Query(const char* path) {
    if (path == nullptr || *path == '\0') return {0, 0};
    const size_t length = std::strlen(path);
    // "C:" or "C:\": the drive alone decides, nothing else is looked at.
    if ((length == 2 || length == 3) && path[1] == ':') return DriveExists(path) ? PathInfo{2, 0} : PathInfo{0, 0};

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return FromFindData(data);
    }
    // A share root or a parent directory is no entry of any directory, so the
    // search cannot find it; its attributes or its drive type can.
    const bool network = path[0] == '\\' && path[1] == '\\';
    const bool parent = path[0] == '.' && path[1] == '.';
    if (!network && !parent) return {0, 0};
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathInfo{2, 0} : PathInfo{0, 0};
    }
    return DriveExists(path) ? PathInfo{2, 0} : PathInfo{0, 0};
}

int32_t MakeDir(const char* path) {
    if (path == nullptr || *path == '\0') return Failed(ERROR_PATH_NOT_FOUND);
    return CreateDirectoryA(path, nullptr) ? 1 : Failed();
}

char PathSeparator() { return '\\'; }

int32_t Search(const char* searchPath, std::vector<DirEntry>* entries) {
    if (searchPath == nullptr || entries == nullptr) return 0;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(searchPath, &data);
    if (search == INVALID_HANDLE_VALUE) {
        // The directory exists but nothing in it matches.
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
    }
    do {
        PathInfo info = FromFindData(data);
        entries->push_back(DirEntry{data.cFileName, info.kind == 2 ? 1 : 0, info.size});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return 1;
}

}  // namespace FilePlatform
