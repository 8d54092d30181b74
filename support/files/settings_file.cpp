// Reader and rewriter of the settings file.
//
// The file is parsed once into a doubly linked list of entries (group
// headers, comments, key lines) that own copies of their texts; Close builds
// the normalised text in one buffer and replaces the file with it in one
// step. Parsing and rewriting are linear in the size of the file.
#include "support/files/settings_file.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "support/files/file_platform.h"
#include "support/text/conversions.h"
#include "support/text/utf16.h"

namespace SettingsFile {
namespace {

enum class Kind { Group, Comment, Key };

struct Entry {
    Kind kind;
    std::string name;   // group name, comment text or key
    std::string value;  // key lines only
    Entry* previous;
    Entry* next;
};

constexpr int32_t Utf8 = 65001;

struct State {
    FilePlatform::Handle file = 0;
    std::string path;             // the rewrite replaces the file by its name
    bool hasPendingPath = false;  // could not be opened: created at Close
    bool modified = false;
    bool readOnly = false;
    int32_t encoding = 0;
    Entry* first = nullptr;
    Entry* last = nullptr;
    Entry* currentGroup = nullptr;  // none: top level
    std::string pendingGroup;  // selected but not in the file yet; empty: none
    int32_t flags = 0;
};

State state;

bool IsOpen() { return state.file != 0 || state.hasPendingPath; }


// A caller's 8-bit name in the file's encoding.
std::string CallerName(const char* name) {
    std::string out;
    if (name == nullptr) return out;
    if (state.encoding != Utf8) return name;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p));
        } else {
            out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
            out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
        }
    }
    return out;
}

Entry* NewEntry(Kind kind) {
    Entry* entry = new (std::nothrow) Entry{};
    if (entry != nullptr) entry->kind = kind;
    return entry;
}

void InsertAfter(Entry* anchor, Entry* entry) {
    if (anchor == nullptr) {  // at the very start
        entry->previous = nullptr;
        entry->next = state.first;
        if (state.first != nullptr) state.first->previous = entry;
        state.first = entry;
        if (state.last == nullptr) state.last = entry;
        return;
    }
    entry->previous = anchor;
    entry->next = anchor->next;
    if (anchor->next != nullptr) anchor->next->previous = entry;
    anchor->next = entry;
    if (state.last == anchor) state.last = entry;
}

bool LineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }
bool Blank(char c) { return c == ' ' || c == '\t'; }

// Parses text[0, length) into entries appended in file order. A zero byte
// ends a line like CR and LF do. Stops early when memory runs out.
void Parse(const char* text, size_t length) {
    size_t p = 0;
    while (p < length) {
        while (p < length && Blank(text[p])) ++p;
        if (p >= length) break;
        if (LineEnd(text[p])) {
            while (p < length && LineEnd(text[p])) ++p;
            continue;
        }
        size_t lineEnd = p;
        while (lineEnd < length && !LineEnd(text[lineEnd])) ++lineEnd;
        Entry* entry = nullptr;
        if (text[p] == ';') {
            ++p;
            if (p < lineEnd && text[p] == ' ') ++p;
            entry = NewEntry(Kind::Comment);
            if (entry == nullptr) return;
            entry->name.assign(text + p, lineEnd - p);
        } else if (text[p] == '[') {
            ++p;
            const void* close = std::memchr(text + p, ']', lineEnd - p);
            size_t nameEnd = close != nullptr ? static_cast<size_t>(static_cast<const char*>(close) - text) : lineEnd;
            entry = NewEntry(Kind::Group);
            if (entry == nullptr) return;
            entry->name.assign(text + p, nameEnd - p);
        } else {
            const void* equals = std::memchr(text + p, '=', lineEnd - p);
            size_t keyEnd = equals != nullptr ? static_cast<size_t>(static_cast<const char*>(equals) - text) : lineEnd;
            size_t trimmed = keyEnd;
            while (trimmed > p && Blank(text[trimmed - 1])) --trimmed;
            entry = NewEntry(Kind::Key);
            if (entry == nullptr) return;
            entry->name.assign(text + p, trimmed - p);
            if (equals != nullptr) {
                size_t v = keyEnd + 1;
                while (v < lineEnd && Blank(text[v])) ++v;
                entry->value.assign(text + v, lineEnd - v);
            }
        }
        InsertAfter(state.last, entry);
        p = lineEnd;
        while (p < length && LineEnd(text[p])) ++p;
    }
}

// The entry holding `key` in the current group, or none.
Entry* FindKey(const std::string& key) {
    Entry* entry = state.currentGroup != nullptr ? state.currentGroup->next : state.first;
    for (; entry != nullptr && entry->kind != Kind::Group; entry = entry->next) {
        if (entry->kind == Kind::Key && EqualIgnoringAsciiCase(entry->name, key)) return entry;
    }
    return nullptr;
}

const std::string* FindValue(const char* key) {
    if (!IsOpen() || !state.pendingGroup.empty()) return nullptr;
    Entry* entry = FindKey(CallerName(key));
    return entry != nullptr ? &entry->value : nullptr;
}

// Storage for the value of `key` in the current group, created if missing.
std::string* ReserveValue(const char* key) {
    if (!IsOpen()) return nullptr;
    if (!state.pendingGroup.empty()) {
        Entry* group = NewEntry(Kind::Group);
        if (group == nullptr) return nullptr;
        group->name = state.pendingGroup;
        InsertAfter(state.last, group);
        state.currentGroup = group;
        state.pendingGroup.clear();
    }
    std::string name = CallerName(key);
    Entry* entry = FindKey(name);
    if (entry != nullptr) {
        entry->name = name;  // takes the caller's letter case
    } else {
        entry = NewEntry(Kind::Key);
        if (entry == nullptr) return nullptr;
        entry->name = name;
        // Behind the last entry of the group (top level: before the first header).
        Entry* anchor = state.currentGroup;
        Entry* scan = state.currentGroup != nullptr ? state.currentGroup->next : state.first;
        for (; scan != nullptr && scan->kind != Kind::Group; scan = scan->next) anchor = scan;
        InsertAfter(anchor, entry);
    }
    state.modified = true;
    return &entry->value;
}

std::string BuildText() {
    size_t estimate = 8;
    for (const Entry* e = state.first; e != nullptr; e = e->next) estimate += e->name.size() + e->value.size() + 8;
    std::string text;
    text.reserve(estimate);
    if (state.encoding == Utf8) {
        text += "\xEF\xBB\xBF\r\n";
    } else if (state.first != nullptr && state.first->kind == Kind::Key &&
               state.first->name.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        // A first key that begins with the mark's bytes would be taken for
        // a byte-order mark when read again; an empty line keeps it a key.
        text += "\r\n";
    }
    const char* separator = (state.flags & CompactSeparator) ? "=" : " = ";
    bool firstGroup = true;
    for (const Entry* e = state.first; e != nullptr; e = e->next) {
        switch (e->kind) {
        case Kind::Group:
            if ((state.flags & SpaceGroups) && !firstGroup) text += "\r\n";
            firstGroup = false;
            text += '[';
            text += e->name;
            text += ']';
            break;
        case Kind::Comment:
            text += "; ";
            text += e->name;
            break;
        case Kind::Key:
            text += e->name;
            text += separator;
            text += e->value;
            break;
        }
        text += "\r\n";
    }
    return text;
}

void Release() {
    if (state.file != 0) FilePlatform::Close(state.file);
    for (Entry* e = state.first; e != nullptr;) {
        Entry* next = e->next;
        delete e;
        e = next;
    }
    state = State{};
}

// atoi rules (white space, sign, digits); out-of-range values saturate.
int32_t TextToInteger(const char* text) {
    if (text == nullptr) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= INT64_C(0x100000000)) magnitude = magnitude * 10 + (*p - '0');
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace


int32_t Open(const char* path, int32_t flags) {
    Close();
    state.flags = flags;
    if (path == nullptr) path = "";
    using namespace FilePlatform;
    FilePlatform::Handle file = FilePlatform::Open(path, Access::Read | Access::Write, ShareRead, OpenExisting);
    state.path = path;
    if (file == 0) {
        file = FilePlatform::Open(path, Access::Read, ShareRead, OpenExisting);
        if (file == 0) file = FilePlatform::Open(path, Access::Read, ShareRead | ShareWrite, OpenExisting);
        if (file == 0) {
            state.hasPendingPath = true;
            return 0;
        }
        state.readOnly = true;
    }
    state.file = file;

    int64_t size = FilePlatform::Size(file);
    if (size >= 3) {
        unsigned char mark[3];
        if (FilePlatform::Read(file, mark, 3) == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
            state.encoding = Utf8;
            size -= 3;
        } else {
            FilePlatform::Seek(file, 0, FromStart);
        }
    }
    if (size > 0) {
        // Compared before the cast: on a 32-bit target the cast alone would
        // wrap a huge size into a small buffer that the read then overruns.
        char* text = static_cast<uint64_t>(size) < SIZE_MAX
                         ? static_cast<char*>(std::malloc(static_cast<size_t>(size)))
                         : nullptr;
        int64_t got = text != nullptr ? FilePlatform::Read(file, text, size) : 0;
        if (got != size) {
            // Rewriting what we could not read whole would lose the rest.
            state.readOnly = true;
        }
        int32_t markSize = 0;
        const int32_t order = text != nullptr && state.encoding != Utf8
                                  ? Utf16::Detect(reinterpret_cast<unsigned char*>(text), got, &markSize)
                                  : Utf16::NotUtf16;
        if (order != Utf16::NotUtf16) {
            // Notepad's "Unicode": read as UTF-8 and written back so, rather
            // than parsed as bytes and rewritten with every value lost.
            std::string utf8;
            Utf16::AppendUtf8(reinterpret_cast<unsigned char*>(text) + markSize, got - markSize, order, &utf8);
            state.encoding = Utf8;
            Parse(utf8.data(), utf8.size());
        } else if (text != nullptr) {
            Parse(text, static_cast<size_t>(got));
        }
        std::free(text);
    }
    return static_cast<int32_t>(file);
}

int32_t SelectGroup(const char* name) {
    state.pendingGroup.clear();
    if (!IsOpen()) return 0;
    if (name == nullptr || *name == '\0') {
        state.currentGroup = nullptr;
        return 1;
    }
    std::string wanted = CallerName(name);
    for (Entry* e = state.first; e != nullptr; e = e->next) {
        if (e->kind == Kind::Group && EqualIgnoringAsciiCase(e->name, wanted)) {
            state.currentGroup = e;
            return 1;
        }
    }
    state.pendingGroup = wanted;  // never empty: the name was not
    return 0;
}

int32_t ReadInteger(const char* key, int32_t defaultValue) {
    const std::string* value = FindValue(key);
    return value != nullptr ? TextToInteger(value->c_str()) : defaultValue;
}

void WriteInteger(const char* key, int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    std::string* storage = ReserveValue(key);
    if (storage != nullptr) *storage = digits;
}

void Close() {
    if (state.modified && !state.readOnly && IsOpen()) {
        const std::string text = BuildText();
        // A file that could not be opened is created only where nothing is:
        // an unreadable file or a folder of that name stays as it is.
        const bool write = state.file != 0 || FilePlatform::Query(state.path.c_str()).kind == 0;
        // Our handle goes first: an open file cannot be replaced everywhere.
        FilePlatform::Close(state.file);
        state.file = 0;
        // The new text replaces the file whole or not at all: written in
        // place, a full disk would leave a fragment that the next run reads
        // as defaults. A failure is silent.
        if (write) FilePlatform::Replace(state.path.c_str(), text.data(), static_cast<int64_t>(text.size()));
    }
    Release();
}

void Startup() {
    // Forget whatever is left without writing it.
    Release();
}

void Shutdown() { Close(); }

}  // namespace SettingsFile
