#include "support/text/string_list.h"

#include <cstdlib>
#include <new>

#include "support/memory/block_pool.h"
#include "support/text/random_source.h"

namespace {

constexpr int32_t kPoolMinPerBlock = 16;
constexpr int32_t kPoolMaxPerBlock = 65536;

// Exchanges the places of two elements, `front` lying before `back`.
void ExchangeElements(StringList* list, StringListElement* front, StringListElement* back) {
    StringListElement* beforeFront = front->previous;
    StringListElement* afterBack = back->next;
    if (front->next == back) {
        back->next = front;
        front->previous = back;
    } else {
        StringListElement* afterFront = front->next;
        StringListElement* beforeBack = back->previous;
        back->next = afterFront;
        afterFront->previous = back;
        front->previous = beforeBack;
        beforeBack->next = front;
    }
    back->previous = beforeFront;
    front->next = afterBack;
    if (beforeFront) beforeFront->next = back;
    else list->first = back;
    if (afterBack) afterBack->previous = front;
    else list->last = front;
}

}  // namespace

StringList* StringList::New() {
    auto* list = static_cast<StringList*>(std::calloc(1, sizeof(StringList)));
    if (!list) return nullptr;
    list->pool = BlockPool::Create(sizeof(StringListElement), kPoolMinPerBlock, kPoolMaxPerBlock,
                                   BlockPool::Shared);
    if (!list->pool) {
        std::free(list);
        return nullptr;
    }
    return list;
}

std::string* StringList::Add(StringList* list) {
    if (!list) return nullptr;
    void* memory = BlockPool::Allocate(list->pool);
    if (!memory) return nullptr;
    auto* element = new (memory) StringListElement{};

    StringListElement* before = list->current;
    if (before) {
        element->previous = before;
        element->next = before->next;
        before->next = element;
        if (list->indexKnown) ++list->currentIndex;
    } else {
        element->next = list->first;
        list->first = element;
        list->currentIndex = 0;
        list->indexKnown = 1;
    }
    if (element->next) element->next->previous = element;
    else list->last = element;
    list->current = element;
    ++list->count;
    return &element->text;
}

void StringList::Reset(StringList* list) {
    if (!list) return;
    list->current = nullptr;
    list->indexKnown = 0;
}

std::string* StringList::Next(StringList* list) {
    if (!list) return nullptr;
    if (!list->current) {
        if (!list->first) return nullptr;
        list->current = list->first;
        list->currentIndex = 0;
        list->indexKnown = 1;
    } else {
        if (!list->current->next) return nullptr;
        list->current = list->current->next;
        ++list->currentIndex;
    }
    return &list->current->text;
}

void StringList::Clear(StringList* list) {
    if (!list) return;
    StringListElement* element = list->first;
    while (element) {
        StringListElement* next = element->next;
        element->~StringListElement();
        BlockPool::Free(element);
        element = next;
    }
    list->first = list->last = list->current = nullptr;
    list->count = 0;
    list->currentIndex = 0;
    list->indexKnown = 0;
}

void StringList::Free(StringList* list) {
    if (!list) return;
    Clear(list);
    BlockPool::Release(list->pool);
    std::free(list);
}

void StringList::Shuffle(StringList* list) {
    if (!list || list->count <= 1) return;
    size_t n = static_cast<size_t>(list->count);
    auto** order = static_cast<StringListElement**>(std::malloc(n * sizeof(StringListElement*)));
    if (!order) {
        ShuffleWithoutTable(list);
        return;
    }
    size_t at = 0;
    for (StringListElement* element = list->first; element; element = element->next) order[at++] = element;
    for (uint32_t i = 1; i < n; ++i) {
        uint32_t j = RandomSource::Draw(i);
        if (j != i) {
            StringListElement* held = order[i];
            order[i] = order[j];
            order[j] = held;
        }
    }
    StringListElement* previous = nullptr;
    for (size_t i = 0; i < n; ++i) {
        order[i]->previous = previous;
        if (previous) previous->next = order[i];
        previous = order[i];
    }
    previous->next = nullptr;
    list->first = order[0];
    list->last = previous;
    list->indexKnown = 0;
    std::free(order);
}

void StringList::ShuffleWithoutTable(StringList* list) {
    if (!list || list->count <= 1) return;
    uint32_t n = static_cast<uint32_t>(list->count);
    StringListElement* atI = list->first->next;
    for (uint32_t i = 1; i < n; ++i) {
        uint32_t j = RandomSource::Draw(i);
        if (j != i) {
            StringListElement* atJ = list->first;
            for (uint32_t k = 0; k < j; ++k) atJ = atJ->next;
            ExchangeElements(list, atJ, atI);
            atI = atJ;  // now at position i
        }
        atI = atI->next;
    }
    list->indexKnown = 0;
}
