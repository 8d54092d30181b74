// Sequential text files through a write-behind / read-ahead buffer.
//
// The buffer reaches the operating system only when a write would fill or
// overflow it, when the file switches to reading, on an explicit Flush and
// at Close; never at the end of a line.
#include "support/files/text_file.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "support/files/file_failure.h"
#include "support/files/file_platform.h"
#include "support/memory/object_table.h"
#include "support/text/utf16.h"
#include "support/text/utf8.h"

namespace TextFile {
namespace {

// Zeroed raw memory while free; `handle` first so that the table sees it live.
struct FileRecord {
    FilePlatform::Handle handle;
    unsigned char* buffer;  // none: unbuffered, every transfer goes to the file
    int32_t bufferSize;
    int32_t count;    // write mode: free bytes; read mode: unconsumed read-ahead
    int32_t filled;   // read mode: valid bytes from the last refill
    int32_t reading;  // 1: read mode, 0: write mode
    int32_t written;  // written since the last sync: make it durable at close
    int32_t unicode;  // read mode: a UTF-8 mark was skipped, or the file is UTF-16
    int32_t utf16;    // read mode: Utf16::Order; its lines are given as UTF-8
    char* path;       // named in the note of a failure
};

ObjectTable* table = nullptr;

FileRecord* Find(int32_t number) {
    if (table == nullptr) return nullptr;
    return static_cast<FileRecord*>(ObjectTable::Lookup(table, number));
}

// Every failure of a write, a sync or an open is noted with the system's
// reason: the line on standard error names it beside the error number.
int32_t Failed(const FileRecord* file) {
    FileFailure::Note(file->path, FilePlatform::LastError());
    return 0;
}

// Writes the buffered bytes; 0 when the system took fewer of them.
int32_t FlushRecord(FileRecord* file) {
    if (file->reading || file->buffer == nullptr) return 1;
    int64_t used = file->bufferSize - file->count;
    file->count = file->bufferSize;
    if (used <= 0) return 1;
    return FilePlatform::Write(file->handle, file->buffer, used) == used ? 1 : Failed(file);
}

int32_t WriteRecord(FileRecord* file, const void* bytes, int32_t n) {
    if (n <= 0) return 0;
    file->written = 1;
    if (file->buffer == nullptr) {
        const int64_t w = FilePlatform::Write(file->handle, bytes, n);
        return w == n ? n : Failed(file);
    }
    if (file->reading) {
        // Writing continues at the logical position, behind what was consumed.
        if (file->count > 0) FilePlatform::Seek(file->handle, -file->count, FilePlatform::FromCurrent);
        file->reading = 0;
        file->filled = 0;
        file->count = file->bufferSize;
    }
    if (file->count <= n) {
        int32_t ok = FlushRecord(file);
        if (n < file->bufferSize) {
            std::memcpy(file->buffer, bytes, static_cast<size_t>(n));
            file->count -= n;
            return ok ? n : 0;
        }
        int64_t w = FilePlatform::Write(file->handle, bytes, n);
        if (w != n) return Failed(file);
        return ok ? n : 0;
    }
    std::memcpy(file->buffer + (file->bufferSize - file->count), bytes, static_cast<size_t>(n));
    file->count -= n;
    return n;
}

void EnterReadMode(FileRecord* file) {
    if (!file->reading) {
        FlushRecord(file);
        file->reading = 1;
        file->count = 0;
        file->filled = 0;
    }
}

int32_t ReadRecord(FileRecord* file, void* destination, int32_t n) {
    if (n <= 0) return 0;
    if (file->buffer == nullptr) {
        return static_cast<int32_t>(FilePlatform::Read(file->handle, destination, n));
    }
    EnterReadMode(file);
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* ahead = file->buffer + (file->filled - file->count);
    if (file->count >= n) {
        std::memcpy(out, ahead, static_cast<size_t>(n));
        file->count -= n;
        return n;
    }
    int32_t copied = file->count;
    std::memcpy(out, ahead, static_cast<size_t>(copied));
    file->count = 0;
    int32_t rest = n - copied;
    if (rest >= file->bufferSize) {
        file->filled = 0;
        return copied + static_cast<int32_t>(FilePlatform::Read(file->handle, out + copied, rest));
    }
    int32_t got = static_cast<int32_t>(FilePlatform::Read(file->handle, file->buffer, file->bufferSize));
    file->filled = got;
    file->count = got;
    int32_t take = std::min(rest, got);
    std::memcpy(out + copied, file->buffer, static_cast<size_t>(take));
    file->count -= take;
    return copied + take;
}

// Gives back the byte just read, so that the next read starts with it.
void PutBack(FileRecord* file) {
    if (file->buffer == nullptr) {
        FilePlatform::Seek(file->handle, -1, FilePlatform::FromCurrent);
    } else {
        file->count += 1;
    }
}

// Editors that save UTF-8 may put a byte-order mark first; it belongs to no
// line. UTF-16 is told by its mark or by its pattern in the first read-ahead
// (a file read without a buffer is taken byte by byte). Anything else read
// here is given back.
void TakeEncoding(FileRecord* file) {
    unsigned char mark[3];
    int32_t got = ReadRecord(file, mark, 3);
    if (got == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
        file->unicode = 1;
        return;
    }
    if (got <= 0) return;
    if (file->buffer == nullptr) {
        FilePlatform::Seek(file->handle, -got, FilePlatform::FromCurrent);
        return;
    }
    file->count += got;
    int32_t markSize = 0;
    file->utf16 = Utf16::Detect(file->buffer + (file->filled - file->count), file->count, &markSize);
    file->count -= markSize;
    file->unicode = file->utf16 != Utf16::NotUtf16;
}

// At least one whole code unit ahead in the buffer, if the file has one. An
// odd byte left over moves to the front first, so that no unit is ever split
// between two reads and a unit just taken can always be given back.
bool FillUnit(FileRecord* file) {
    if (file->count >= 2) return true;
    if (file->count == 1) file->buffer[0] = file->buffer[file->filled - 1];
    const int64_t got = FilePlatform::Read(file->handle, file->buffer + file->count, file->bufferSize - file->count);
    file->filled = file->count + static_cast<int32_t>(got);
    file->count = file->filled;
    return file->count >= 2;
}

// A line of a UTF-16 file, as UTF-8. Its ends are the units of LF, CR and
// NUL, as in any other file; an odd last byte is no character (U+FFFD).
std::string ReadUnitLine(FileRecord* file) {
    std::string line;
    Utf16::Decoder decoder{0};
    EnterReadMode(file);
    for (;;) {
        if (!FillUnit(file)) {
            Utf16::Finish(&decoder, &line);
            if (file->count == 1) {
                file->count = 0;
                Utf8::Append(0xFFFD, &line);
            }
            return line;
        }
        const uint32_t unit = Utf16::Unit(file->buffer + (file->filled - file->count), file->utf16);
        file->count -= 2;
        // Most units of a list are ASCII, and above CR no ASCII unit ends a line.
        if (unit < 0x80 && unit > '\r' && decoder.high == 0) {
            line.push_back(static_cast<char>(unit));
            continue;
        }
        if (unit == '\n' || unit == '\r' || unit == 0) {
            if (unit == '\r' && FillUnit(file) &&
                Utf16::Unit(file->buffer + (file->filled - file->count), file->utf16) == '\n')
                file->count -= 2;
            Utf16::Finish(&decoder, &line);
            return line;
        }
        Utf16::Put(&decoder, unit, &line);
    }
}

void ReleasePath(FileRecord* file) {
    delete[] file->path;
    file->path = nullptr;
}

enum OpenMode { ForReading, Creating, CreatingNew };

int32_t Open(int32_t number, const char* path, OpenMode mode) {
    if (table == nullptr) Startup();
    if (table == nullptr) return 0;
    int32_t identifier = 0;
    // Obtain closes (and writes out) whatever is open under the number.
    FileRecord* file = static_cast<FileRecord*>(ObjectTable::Obtain(table, number, &identifier));
    if (file == nullptr) {
        FileFailure::Note(path, 0);
        return 0;
    }
    FilePlatform::Handle handle = 0;
    if (path != nullptr) {
        using namespace FilePlatform;
        if (mode == Creating) {
            handle = FilePlatform::Open(path, Access::Read | Access::Write, ShareRead, CreateAlways);
            if (handle == 0) handle = FilePlatform::Open(path, Access::Write, ShareRead, TruncateExisting);
        } else if (mode == CreatingNew) {
            handle = FilePlatform::Open(path, Access::Read | Access::Write, ShareRead, FilePlatform::CreateNew);
        } else {
            handle = FilePlatform::Open(path, FilePlatform::Access::Read, FilePlatform::ShareRead,
                                        FilePlatform::OpenExisting);
        }
    }
    if (handle == 0) {
        FileFailure::Note(path, path != nullptr ? FilePlatform::LastError() : 0);
        ObjectTable::Free(table, number == ObjectTable::NewUnnumbered ? identifier : number);
        return 0;
    }
    // The table hands out the record zeroed.
    file->buffer = new (std::nothrow) unsigned char[BufferSize];
    file->bufferSize = file->buffer != nullptr ? BufferSize : 0;
    file->reading = 1;
    file->handle = handle;
    const size_t length = std::strlen(path);
    file->path = new (std::nothrow) char[length + 1];
    if (file->path != nullptr) std::memcpy(file->path, path, length + 1);
    if (mode == ForReading) TakeEncoding(file);
    return number == ObjectTable::NewUnnumbered ? identifier : static_cast<int32_t>(handle);
}

}  // namespace

int32_t Create(int32_t number, const char* path) { return Open(number, path, Creating); }

int32_t CreateNew(int32_t number, const char* path) { return Open(number, path, CreatingNew); }

int32_t OpenRead(int32_t number, const char* path) { return Open(number, path, ForReading); }

int32_t WriteLine(int32_t number, std::string_view text) {
    FileRecord* file = Find(number);
    if (file == nullptr) {
        FileFailure::Note(nullptr, 0);
        return 0;
    }
    bool ok = true;
    int64_t total = 0;
    // Texts beyond the 32-bit counts of a record write go in slices.
    while (!text.empty()) {
        int32_t slice = static_cast<int32_t>(std::min<size_t>(text.size(), 1u << 30));
        if (WriteRecord(file, text.data(), slice) != slice) ok = false;
        total += slice;
        text.remove_prefix(static_cast<size_t>(slice));
    }
    if (WriteRecord(file, "\r\n", 2) != 2) ok = false;
    total += 2;
    if (!ok) return 0;
    return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

std::string ReadLine(int32_t number) {
    std::string line;
    FileRecord* file = Find(number);
    if (file == nullptr) return line;
    if (file->utf16 != Utf16::NotUtf16) return ReadUnitLine(file);
    unsigned char end = 0;
    bool ended = false;
    if (file->buffer != nullptr) {
        EnterReadMode(file);
        // Scan the read-ahead in place; appending whole runs keeps a long
        // line linear, where growing by fixed steps would be quadratic.
        while (!ended) {
            if (file->count == 0) {
                int32_t got = static_cast<int32_t>(FilePlatform::Read(file->handle, file->buffer, file->bufferSize));
                file->filled = got;
                file->count = got;
                if (got == 0) return line;
            }
            const unsigned char* start = file->buffer + (file->filled - file->count);
            const unsigned char* stop = start + file->count;
            const unsigned char* p = start;
            // Most bytes lie above CR, so one comparison settles them.
            while (p < stop && (*p > '\r' || (*p != '\n' && *p != '\r' && *p != '\0'))) ++p;
            line.append(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
            if (p < stop) {
                end = *p;
                ended = true;
                ++p;
            }
            file->count -= static_cast<int32_t>(p - start);
        }
    } else {
        unsigned char byte;
        while (ReadRecord(file, &byte, 1) == 1) {
            if (byte == '\n' || byte == '\r' || byte == '\0') {
                end = byte;
                break;
            }
            line.push_back(static_cast<char>(byte));
        }
    }
    if (end == '\r') {
        unsigned char next;
        if (ReadRecord(file, &next, 1) == 1 && next != '\n') PutBack(file);
    }
    return line;
}

int32_t AtEnd(int32_t number) {
    FileRecord* file = Find(number);
    if (file == nullptr) return 0;
    unsigned char byte;
    if (ReadRecord(file, &byte, 1) != 1) return 1;
    PutBack(file);
    return 0;
}

int32_t Unicode(int32_t number) {
    FileRecord* file = Find(number);
    return file != nullptr && file->unicode;
}

int32_t Flush(int32_t number) {
    FileRecord* file = Find(number);
    if (file == nullptr) return 0;
    return FlushRecord(file);
}

int32_t Sync(int32_t number) {
    FileRecord* file = Find(number);
    if (file == nullptr) {
        FileFailure::Note(nullptr, 0);
        return 0;
    }
    int32_t ok = FlushRecord(file);
    if (FilePlatform::Sync(file->handle) == 0) ok = Failed(file);
    // A later close has nothing left to make durable unless more is written.
    if (ok) file->written = 0;
    return ok;
}

int32_t Close(int32_t number) {
    if (table == nullptr) return 0;
    if (number == -1) {
        ObjectTable::FreeAll(table);
        return 1;
    }
    FileRecord* file = Find(number);
    if (file == nullptr) {
        FileFailure::Note(nullptr, 0);
        return 0;
    }
    // The last lines of a short file reach the system only here: a full disk
    // must not pass for a written file.
    int32_t ok = FlushRecord(file);
    // A results file must survive a crash of the machine right after the run.
    if (file->written && FilePlatform::Sync(file->handle) == 0) ok = Failed(file);
    FilePlatform::Close(file->handle);
    delete[] file->buffer;
    ReleasePath(file);
    ObjectTable::Free(table, number);
    return ok;
}

void Startup() {
    if (table == nullptr) table = ObjectTable::Create(sizeof(FileRecord), 16, [](int32_t number) { Close(number); });
}

void Shutdown() {
    ObjectTable::Destroy(table);  // disposes of every file through Close
    table = nullptr;
}

}  // namespace TextFile
