// Path queries, directory creation and pattern listings.
//
// Listings come in a fixed order rather than the file system's own: names
// compared with ASCII letters folded to upper case (as NTFS orders them),
// ties broken by plain byte order. The same data folder thus gives the same
// word order on every platform and file system.
#include "support/files/directory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "support/files/file_failure.h"
#include "support/files/file_platform.h"
#include "support/memory/object_table.h"
#include "support/text/conversions.h"

namespace {

constexpr size_t MaxPath = 260;  // longer paths are cut here

bool ListingBefore(const FilePlatform::DirEntry& a, const FilePlatform::DirEntry& b) {
    size_t n = std::min(a.name.size(), b.name.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = AsciiUpper(static_cast<unsigned char>(a.name[i]));
        unsigned char y = AsciiUpper(static_cast<unsigned char>(b.name[i]));
        if (x != y) return x < y;
    }
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    return a.name < b.name;
}

bool MatchPlain(const char* pattern, size_t patternLength, const char* name) {
    // Greedy match that backtracks only to the last "*": linear in practice,
    // never exponential.
    size_t p = 0, n = 0, nameLength = std::strlen(name);
    size_t starP = SIZE_MAX, starN = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < patternLength &&
                   (pattern[p] == '?' || AsciiUpper(static_cast<unsigned char>(pattern[p])) ==
                                             AsciiUpper(static_cast<unsigned char>(name[n])))) {
            ++p;
            ++n;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == '*') ++p;
    return p == patternLength;
}

// Listing of one scan: the matching entries, already in delivery order.
struct Listing {
    std::vector<FilePlatform::DirEntry> entries;
    size_t position;     // the current entry
    bool firstPending;   // entry 0 fetched by Begin, not yet handed out
};

// Zeroed raw memory while free; `live` first so that the table sees it live.
struct ScanRecord {
    uintptr_t live;
    Listing* listing;
};

ObjectTable* scans = nullptr;

ScanRecord* FindScan(int32_t number) {
    if (scans == nullptr) return nullptr;
    return static_cast<ScanRecord*>(ObjectTable::Lookup(scans, number));
}

// The entries matching the last component of `searchPath`, sorted; false
// when its directory cannot be listed.
bool ListMatching(const std::string& searchPath, std::vector<FilePlatform::DirEntry>* out) {
    if (!FilePlatform::Search(searchPath.c_str(), out)) return false;
    std::sort(out->begin(), out->end(), ListingBefore);
    return true;
}

}  // namespace

bool WildcardMatch(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) return false;
    size_t length = std::strlen(pattern);
    if (MatchPlain(pattern, length, name)) return true;
    // As on the target platform, a final ".*" also matches no extension at
    // all: "*.*" matches every name, "notes.*" matches "notes".
    if (length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*') {
        return MatchPlain(pattern, length - 2, name);
    }
    return false;
}

int64_t PathSize(const char* path) {
    if (path == nullptr || *path == '\0') return PathSizeMissing;
    std::string copy(path, strnlen(path, MaxPath));
    while (copy.size() > 1 && copy.back() == '\\') copy.pop_back();

    // Wildcards take the first match in listing order. Anywhere but in the
    // last component they name no directory, and the search fails.
    if (copy.find_first_of("*?") != std::string::npos) {
        std::vector<FilePlatform::DirEntry> matches;
        if (!ListMatching(copy, &matches) || matches.empty()) return PathSizeMissing;
        return matches.front().isDirectory ? PathSizeDirectory : matches.front().size;
    }
    // Drive letters and network names, where the system has them, are the
    // platform's to resolve.
    FilePlatform::PathInfo info = FilePlatform::Query(copy.c_str());
    if (info.kind == 1) return info.size;
    if (info.kind == 2) return PathSizeDirectory;
    return PathSizeMissing;
}

int32_t MakeDirectory(const char* path) {
    if (path == nullptr) return 0;
    std::string copy(path, strnlen(path, MaxPath));
    while (!copy.empty() && (copy.back() == ' ' || copy.back() == '\\' || copy.back() == '/')) copy.pop_back();
    if (copy.empty()) {
        FileFailure::Note(path, 0);
        return 0;
    }
    if (FilePlatform::MakeDir(copy.c_str()) != 0) return 1;
    FileFailure::Note(copy.c_str(), FilePlatform::LastError());
    return 0;
}

namespace DirectoryScan {

int32_t Begin(int32_t number, const char* directory, const char* pattern) {
    if (scans == nullptr) {
        scans = ObjectTable::Create(sizeof(ScanRecord), 16, &End);
        if (scans == nullptr) return 0;
    }
    std::string dir = directory != nullptr ? directory : "";
    std::string pat = (pattern != nullptr && *pattern != '\0') ? pattern : "*.*";
    const char separator = FilePlatform::PathSeparator();
    std::string searchPath = dir;
    if (!dir.empty() && dir.back() != separator) searchPath += separator;
    searchPath += pat;

    int32_t identifier = 0;
    // Obtain ends a scan still running under the number.
    ScanRecord* scan = static_cast<ScanRecord*>(ObjectTable::Obtain(scans, number, &identifier));
    if (scan == nullptr) return 0;
    int32_t name = number == ObjectTable::NewUnnumbered ? identifier : number;

    Listing* listing = new (std::nothrow) Listing{};
    if (listing == nullptr || !ListMatching(searchPath, &listing->entries)) {
        // A numbered object stays without a search, so Next gives 0.
        delete listing;
        ObjectTable::Free(scans, name);
        return 0;
    }
    listing->position = 0;
    listing->firstPending = !listing->entries.empty();
    scan->listing = listing;
    scan->live = 1;
    return number == ObjectTable::NewUnnumbered ? identifier : 1;
}

int32_t Next(int32_t number) {
    ScanRecord* scan = FindScan(number);
    if (scan == nullptr || scan->listing == nullptr) return 0;
    Listing* listing = scan->listing;
    if (listing->firstPending) {
        listing->firstPending = false;
        return 1;
    }
    // At the end the last entry stays current.
    if (listing->position + 1 >= listing->entries.size()) return 0;
    ++listing->position;
    return 1;
}

std::string EntryName(int32_t number) {
    ScanRecord* scan = FindScan(number);
    if (scan == nullptr || scan->listing == nullptr) return std::string();
    const Listing* listing = scan->listing;
    if (listing->position >= listing->entries.size()) return std::string();
    return listing->entries[listing->position].name;
}

int32_t EntryKind(int32_t number) {
    ScanRecord* scan = FindScan(number);
    if (scan == nullptr || scan->listing == nullptr) return NoScan;
    const Listing* listing = scan->listing;
    if (listing->position >= listing->entries.size()) return NoScan;
    return listing->entries[listing->position].isDirectory ? Directory : File;
}

void End(int32_t number) {
    ScanRecord* scan = FindScan(number);
    if (scan == nullptr) return;
    delete scan->listing;
    ObjectTable::Free(scans, number);
}

void Shutdown() {
    ObjectTable::Destroy(scans);
    scans = nullptr;
}

}  // namespace DirectoryScan
