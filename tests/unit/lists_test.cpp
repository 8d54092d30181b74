// String lists with their random order, and the block pool under them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/memory/block_pool.h"
#include "support/text/random_source.h"
#include "support/text/string_list.h"

namespace {

using Texts = std::vector<std::string>;

StringList* ListOf(const Texts& texts) {
    StringList* list = StringList::New();
    for (const std::string& text : texts) *StringList::Add(list) = text;
    return list;
}

// Walks the list from the head; the walk then stands at the tail.
Texts Walk(StringList* list) {
    Texts texts;
    StringList::Reset(list);
    while (const std::string* text = StringList::Next(list)) texts.push_back(*text);
    EXPECT_EQ(StringList::Next(list), nullptr);
    return texts;
}

TEST(RandomSource, SeedZeroReproducesTheGenerator) {
    RandomSource::Seed(0);
    for (uint32_t expected : {2341539169u, 3366969473u, 2836287535u}) EXPECT_EQ(RandomSource::Draw(UINT32_MAX), expected);
    RandomSource::Seed(0);
    for (uint32_t expected : {5, 7, 6, 3, 2, 6, 6, 4, 2, 4}) EXPECT_EQ(RandomSource::Draw(9), expected);
}

TEST(StringList, ShuffleWithSeedZeroKeepsTheCurrentElement) {
    for (auto shuffle : {&StringList::Shuffle, &StringList::ShuffleWithoutTable}) {
        StringList* list = ListOf({"a", "b", "c", "d", "e"});
        StringList::Reset(list);
        for (int i = 0; i < 3; ++i) StringList::Next(list);
        RandomSource::Seed(0);
        shuffle(list);
        EXPECT_EQ(*StringList::Next(list), "b");  // the walk goes on from "c"
        EXPECT_EQ(Walk(list), (Texts{"a", "e", "d", "c", "b"}));
        StringList::Free(list);
    }
}

// Enough elements for blocks of every size, from the minimum to the maximum;
// a shared pool lives until its last user lets go.
TEST(BlockPool, ElementsStayApartAcrossBlocksAndSharedPoolsLiveWhileUsed) {
    BlockPool* pool = BlockPool::Create(21, 16, 64, 0);
    std::vector<void*> elements(2200);
    for (void*& element : elements) element = BlockPool::Allocate(pool);
    for (size_t i = 0; i < elements.size(); ++i) std::memset(elements[i], static_cast<int>(i & 0xFF), 21);
    for (size_t i = 0; i < elements.size(); ++i) {  // distinct, whole and pointer-aligned
        ASSERT_EQ(reinterpret_cast<uintptr_t>(elements[i]) % alignof(void*), 0u);
        ASSERT_EQ(static_cast<unsigned char*>(elements[i])[0], i & 0xFF);
        ASSERT_EQ(static_cast<unsigned char*>(elements[i])[20], i & 0xFF);
    }
    for (void* element : elements) BlockPool::Free(element);
    BlockPool::Release(pool);

    BlockPool* a = BlockPool::Create(40, 16, 65536, BlockPool::Shared);
    BlockPool* b = BlockPool::Create(38, 16, 65536, BlockPool::Shared);  // same rounded size
    EXPECT_EQ(a, b);
    void* element = BlockPool::Allocate(b);
    BlockPool::Release(b);
    BlockPool::Free(element);  // AddressSanitizer: the pool is still alive for `a`
    BlockPool::Release(a);
}

}  // namespace
