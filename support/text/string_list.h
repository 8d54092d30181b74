// Doubly linked list of texts with one current element. Elements come from a
// shared block pool; the caller reads and replaces the current text through
// the pointer that Add and Next return.
#pragma once
#include <cstdint>
#include <string>

struct BlockPool;

struct StringListElement {
    StringListElement* next;
    StringListElement* previous;
    std::string text;
    int32_t encoding;  // how the text's bytes stand for characters (Utf8::Encoding)
};

struct StringList {
    StringListElement* first;
    StringListElement* last;
    StringListElement* current;  // none: the walk stands before the head
    int32_t count;
    int32_t currentIndex;
    int32_t indexKnown;
    BlockPool* pool;

    // Null only when memory runs out.
    static StringList* New();
    // Inserts an empty element behind the current one (at the head when there
    // is none) and makes it current; its text, or null without memory.
    static std::string* Add(StringList* list);
    static void Reset(StringList* list);
    // Moves to the head (from before it) or to the successor; the new current
    // text, or null at the end (the tail then stays current).
    static std::string* Next(StringList* list);
    static void Clear(StringList* list);
    static void Free(StringList* list);  // null is ignored
    // Uniform permutation drawn from RandomSource: for i = 1 ... n-1,
    // j = Draw(i), exchange s[i] and s[j]. Lists of 0 or 1 draw nothing.
    static void Shuffle(StringList* list);
    // The same exchanges done on the links, walking to each position; the
    // path Shuffle takes when its scratch table cannot be had. Public for tests.
    static void ShuffleWithoutTable(StringList* list);
};
