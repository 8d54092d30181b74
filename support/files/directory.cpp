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

#include "support/memory/object_table.h"
#include "support/files/file_platform.h"
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

// Sorted, matching entries of `directory`; false when it cannot be listed.
bool ListMatching(const std::string& directory, const std::string& pattern,
                  std::vector<FilePlatform::DirEntry>* out) {
    std::vector<FilePlatform::DirEntry> all;
    if (!FilePlatform::ListDirectory(directory.c_str(), &all)) return false;
    for (auto& entry : all) {
        if (!pattern.empty() && WildcardMatch(pattern.c_str(), entry.name.c_str())) out->push_back(std::move(entry));
    }
    std::sort(out->begin(), out->end(), ListingBefore);
    return true;
}

// Splits "dir/pattern" at its last separator; no separator lists ".".
struct SplitPath {
    std::string directory;
    std::string last;
};
SplitPath SplitLast(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(1, '.'), path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
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
    // Drive letters and network names have no counterpart here: such paths
    // are looked up like any other.
    while (copy.size() > 1 && copy.back() == '\\') copy.pop_back();

    auto [directory, last] = SplitLast(copy);
    if (last.find_first_of("*?") != std::string::npos) {
        std::vector<FilePlatform::DirEntry> matches;
        if (!ListMatching(directory, last, &matches) || matches.empty()) return PathSizeMissing;
        if (matches.front().isDirectory) return PathSizeDirectory;
        copy = directory + "/" + matches.front().name;
    }
    FilePlatform::PathInfo info = FilePlatform::Query(copy.c_str());
    if (info.kind == 1) return info.size;
    if (info.kind == 2) return PathSizeDirectory;
    return PathSizeMissing;
}

int32_t MakeDirectory(const char* path) {
    if (path == nullptr) return 0;
    std::string copy(path, strnlen(path, MaxPath));
    while (!copy.empty() && (copy.back() == ' ' || copy.back() == '\\' || copy.back() == '/')) copy.pop_back();
    if (copy.empty()) return 0;
    return FilePlatform::MakeDir(copy.c_str());
}

namespace DirectoryScan {

int32_t Begin(int32_t number, const char* directory, const char* pattern) {
    if (scans == nullptr) {
        scans = ObjectTable::Create(sizeof(ScanRecord), 16, &End);
        if (scans == nullptr) return 0;
    }
    std::string dir = directory != nullptr ? directory : "";
    std::string pat = (pattern != nullptr && *pattern != '\0') ? pattern : "*.*";
    std::string searchPath = dir;
    if (!dir.empty() && dir.back() != '/') searchPath += '/';
    searchPath += pat;

    int32_t identifier = 0;
    // Obtain ends a scan still running under the number.
    ScanRecord* scan = static_cast<ScanRecord*>(ObjectTable::Obtain(scans, number, &identifier));
    if (scan == nullptr) return 0;
    int32_t name = number == ObjectTable::NewUnnumbered ? identifier : number;

    Listing* listing = new (std::nothrow) Listing{};
    auto [listDirectory, listPattern] = SplitLast(searchPath);
    if (listing == nullptr || !ListMatching(listDirectory, listPattern, &listing->entries)) {
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
