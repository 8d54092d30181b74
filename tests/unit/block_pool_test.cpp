#include "support/memory/block_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(BlockPool, BlocksGrowWithOneSixteenthOfAllocatedInMultiplesOf16) {
    BlockPool* pool = BlockPool::Create(21, 16, 64, 0);
    std::vector<void*> elements;
    const std::pair<size_t, int32_t> steps[] = {{512, 16}, {513, 32}, {2200, 64}};  // below 32 the minimum; 64 the maximum
    for (const auto& [total, capacity] : steps) {
        while (elements.size() < total) elements.push_back(BlockPool::Allocate(pool));
        EXPECT_EQ(BlockPool::LastBlockCapacity(pool), capacity) << total;
    }
    for (size_t i = 0; i < elements.size(); ++i) std::memset(elements[i], static_cast<int>(i & 0xFF), 21);
    for (size_t i = 0; i < elements.size(); ++i) {  // distinct, whole and pointer-aligned
        ASSERT_EQ(reinterpret_cast<uintptr_t>(elements[i]) % alignof(void*), 0u);
        ASSERT_EQ(static_cast<unsigned char*>(elements[i])[20], i & 0xFF);
    }
    for (void* element : elements) BlockPool::Free(element);
    EXPECT_EQ(BlockPool::BlockCount(pool), 0);
    BlockPool::Release(pool);
}

TEST(BlockPool, EmptyBlocksAreReleasedAndFullBlocksRegainRoom) {
    BlockPool* pool = BlockPool::Create(8, 4, 4, 0);
    std::vector<void*> first;
    for (int i = 0; i < 4; ++i) first.push_back(BlockPool::Allocate(pool));
    void* second = BlockPool::Allocate(pool);
    BlockPool::Free(first[1]);
    EXPECT_EQ(BlockPool::Allocate(pool), first[1]);  // before any new block
    void* third = BlockPool::Allocate(pool);
    EXPECT_EQ(BlockPool::BlockCount(pool), 2);
    BlockPool::Free(second);
    BlockPool::Free(third);
    EXPECT_EQ(BlockPool::BlockCount(pool), 1);
    BlockPool::Release(pool);  // an unshared pool may go with elements still out
}

TEST(BlockPool, SharedPoolsAreFoundBySizeAndCounted) {
    BlockPool* a = BlockPool::Create(40, 16, 65536, BlockPool::Shared);
    BlockPool* b = BlockPool::Create(38, 16, 65536, BlockPool::Shared);  // same rounded size
    EXPECT_EQ(a, b);
    void* element = BlockPool::Allocate(b);
    BlockPool::Release(b);
    BlockPool::Free(element);  // still alive for the remaining user
    BlockPool::Release(a);
}

}  // namespace
