// Numbered objects of a module (files, fonts, windows, directory scans).
//
// A record is a zeroed block of `recordSize` bytes whose first field is a
// non-zero handle while the object is live. Numbers 0 and above name slots;
// -1 asks for a new unnumbered object, whose identifier (-2, -3, ...) the
// creating operation returns in place of its handle. Identifiers are never
// addresses, so a stray number can never be dereferenced.
#pragma once
#include <cstddef>
#include <cstdint>

struct ObjectTableUnnumbered;

struct ObjectTable {
    using Dispose = void (*)(int32_t number);

    size_t recordSize;
    int32_t growthStep;  // equal to the initial slot count
    int32_t slotCount;
    void** slots;
    ObjectTableUnnumbered* unnumberedHead;  // oldest first
    ObjectTableUnnumbered* unnumberedTail;
    int32_t nextIdentifier;  // -2, -3, ...
    Dispose dispose;

    static constexpr int32_t NewUnnumbered = -1;

    static ObjectTable* Create(size_t recordSize, int32_t initialSlots, Dispose dispose);
    // Record for a new object under `number`; a live object there is disposed
    // of first and its record reused. For -1, *identifier receives the new
    // object's identifier. None when memory runs out or the number is invalid.
    static void* Obtain(ObjectTable* table, int32_t number, int32_t* identifier);
    // Live record under a number or unnumbered identifier, else none.
    static void* Lookup(ObjectTable* table, int32_t number);
    // Any record (live or not) under a number or identifier, else none.
    static void* Record(ObjectTable* table, int32_t number);
    // Numbered: record cleared, stays in its slot. Unnumbered: released.
    static void Free(ObjectTable* table, int32_t number);
    // Disposes of every live object: numbered ones in ascending order, then
    // unnumbered ones from the oldest to the newest.
    static void FreeAll(ObjectTable* table);
    // FreeAll, then releases the table itself. A null table is ignored.
    static void Destroy(ObjectTable* table);
};

// A record counts as live while its leading handle is non-zero.
inline bool ObjectRecordLive(const void* record) {
    return record != nullptr && *static_cast<const uintptr_t*>(record) != 0;
}
