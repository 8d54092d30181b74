#include "support/memory/object_table.h"

#include <cstdlib>
#include <cstring>

// Unnumbered records carry their list links in a header in front of the record.
struct ObjectTableUnnumbered {
    ObjectTableUnnumbered* previous;
    ObjectTableUnnumbered* next;
    int32_t identifier;
};

namespace {

constexpr size_t kHeaderSize =
    (sizeof(ObjectTableUnnumbered) + alignof(std::max_align_t) - 1) /
    alignof(std::max_align_t) * alignof(std::max_align_t);

void* RecordOf(ObjectTableUnnumbered* node) {
    return reinterpret_cast<char*>(node) + kHeaderSize;
}

ObjectTableUnnumbered* FindUnnumbered(const ObjectTable* table, int32_t identifier) {
    for (ObjectTableUnnumbered* node = table->unnumberedHead; node; node = node->next)
        if (node->identifier == identifier) return node;
    return nullptr;
}

void Unlink(ObjectTable* table, ObjectTableUnnumbered* node) {
    if (node->previous) node->previous->next = node->next;
    else table->unnumberedHead = node->next;
    if (node->next) node->next->previous = node->previous;
    else table->unnumberedTail = node->previous;
}

// Identifiers count down from -2; after the last one they wrap and skip any
// still in use, so that no two live objects ever share one.
int32_t TakeIdentifier(ObjectTable* table) {
    for (int64_t tries = 0; tries < 0x80000000LL; ++tries) {
        int32_t candidate = table->nextIdentifier;
        table->nextIdentifier = candidate == INT32_MIN ? -2 : candidate - 1;
        if (!FindUnnumbered(table, candidate)) return candidate;
    }
    return 0;
}

bool Grow(ObjectTable* table, int32_t number) {
    int64_t wanted = static_cast<int64_t>(number) + table->growthStep;
    if (wanted > INT32_MAX) wanted = INT32_MAX;
    void** slots = static_cast<void**>(
        std::realloc(table->slots, static_cast<size_t>(wanted) * sizeof(void*)));
    if (!slots) return false;
    std::memset(slots + table->slotCount, 0,
                static_cast<size_t>(wanted - table->slotCount) * sizeof(void*));
    table->slots = slots;
    table->slotCount = static_cast<int32_t>(wanted);
    return true;
}

}  // namespace

ObjectTable* ObjectTable::Create(size_t recordSize, int32_t initialSlots, Dispose dispose) {
    if (recordSize < sizeof(uintptr_t) || initialSlots < 1) return nullptr;
    auto* table = static_cast<ObjectTable*>(std::calloc(1, sizeof(ObjectTable)));
    if (!table) return nullptr;
    table->slots = static_cast<void**>(std::calloc(static_cast<size_t>(initialSlots), sizeof(void*)));
    if (!table->slots) {
        std::free(table);
        return nullptr;
    }
    table->recordSize = recordSize;
    table->growthStep = initialSlots;
    table->slotCount = initialSlots;
    table->nextIdentifier = -2;
    table->dispose = dispose;
    return table;
}

void* ObjectTable::Obtain(ObjectTable* table, int32_t number, int32_t* identifier) {
    if (!table) return nullptr;
    if (number == NewUnnumbered) {
        int32_t id = TakeIdentifier(table);
        if (id == 0) return nullptr;
        auto* node = static_cast<ObjectTableUnnumbered*>(std::calloc(1, kHeaderSize + table->recordSize));
        if (!node) return nullptr;
        node->identifier = id;
        node->previous = table->unnumberedTail;
        if (table->unnumberedTail) table->unnumberedTail->next = node;
        else table->unnumberedHead = node;
        table->unnumberedTail = node;
        if (identifier) *identifier = id;
        return RecordOf(node);
    }
    if (number < 0) return nullptr;
    if (number >= table->slotCount && !Grow(table, number)) return nullptr;

    if (ObjectRecordLive(table->slots[number]) && table->dispose) table->dispose(number);
    void* record = table->slots[number];
    if (record) {
        std::memset(record, 0, table->recordSize);
        return record;
    }
    record = std::calloc(1, table->recordSize);
    table->slots[number] = record;
    return record;
}

void* ObjectTable::Record(ObjectTable* table, int32_t number) {
    if (!table) return nullptr;
    if (number >= 0) return number < table->slotCount ? table->slots[number] : nullptr;
    if (number == NewUnnumbered) return nullptr;
    ObjectTableUnnumbered* node = FindUnnumbered(table, number);
    return node ? RecordOf(node) : nullptr;
}

void* ObjectTable::Lookup(ObjectTable* table, int32_t number) {
    void* record = Record(table, number);
    return ObjectRecordLive(record) ? record : nullptr;
}

void ObjectTable::Free(ObjectTable* table, int32_t number) {
    if (!table) return;
    if (number >= 0) {
        if (number < table->slotCount && table->slots[number])
            std::memset(table->slots[number], 0, table->recordSize);
        return;
    }
    if (number == NewUnnumbered) return;
    ObjectTableUnnumbered* node = FindUnnumbered(table, number);
    if (!node) return;
    Unlink(table, node);
    std::free(node);
}

void ObjectTable::FreeAll(ObjectTable* table) {
    if (!table) return;
    for (int32_t number = 0; number < table->slotCount; ++number)
        if (ObjectRecordLive(table->slots[number]) && table->dispose) table->dispose(number);

    // Dispose usually frees the record (and could free others), so the walk
    // goes by identifier rather than by a link that may be gone.
    ObjectTableUnnumbered* node = table->unnumberedHead;
    while (node) {
        int32_t id = node->identifier;
        int32_t nextId = node->next ? node->next->identifier : 0;
        if (ObjectRecordLive(RecordOf(node)) && table->dispose) table->dispose(id);
        // A record left behind that is not live belongs to no object.
        ObjectTableUnnumbered* left = FindUnnumbered(table, id);
        if (left && !ObjectRecordLive(RecordOf(left))) {
            Unlink(table, left);
            std::free(left);
        }
        node = nextId ? FindUnnumbered(table, nextId) : nullptr;
    }
}

void ObjectTable::Destroy(ObjectTable* table) {
    if (!table) return;
    FreeAll(table);
    for (int32_t number = 0; number < table->slotCount; ++number) std::free(table->slots[number]);
    std::free(table->slots);
    while (ObjectTableUnnumbered* node = table->unnumberedHead) {
        Unlink(table, node);
        std::free(node);
    }
    std::free(table);
}
