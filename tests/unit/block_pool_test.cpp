#include "core/block_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(BlockPool, ElementSizeIsRoundedAndCarriesBlockReference) {
    BlockPool* pool = BlockPool::Create(13, 16, 64, 0);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->elementSize, 16 + sizeof(void*));
    BlockPool::Release(pool);
}

TEST(BlockPool, BlocksGrowWithOneSixteenthOfAllocatedInMultiplesOf16) {
    BlockPool* pool = BlockPool::Create(24, 16, 64, 0);
    std::vector<void*> elements;
    for (int i = 0; i < 512; ++i) elements.push_back(BlockPool::Allocate(pool));
    // Up to 511 allocated, a sixteenth rounds down below 32: blocks of the minimum.
    EXPECT_EQ(BlockPool::BlockCount(pool), 32);
    EXPECT_EQ(BlockPool::LastBlockCapacity(pool), 16);
    elements.push_back(BlockPool::Allocate(pool));
    EXPECT_EQ(BlockPool::LastBlockCapacity(pool), 32);
    while (elements.size() < 2200) elements.push_back(BlockPool::Allocate(pool));
    EXPECT_EQ(BlockPool::LastBlockCapacity(pool), 64);  // the maximum

    // Every element is distinct, writable and pointer-aligned.
    for (size_t i = 0; i < elements.size(); ++i) {
        ASSERT_NE(elements[i], nullptr);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(elements[i]) % alignof(void*), 0u);
        std::memset(elements[i], static_cast<int>(i & 0xFF), 24);
    }
    for (size_t i = 0; i < elements.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char*>(elements[i])[23], i & 0xFF);
    for (void* element : elements) BlockPool::Free(element);
    EXPECT_EQ(BlockPool::BlockCount(pool), 0);
    BlockPool::Release(pool);
}

TEST(BlockPool, EmptyBlocksAreReleasedAndFullBlocksRegainRoom) {
    BlockPool* pool = BlockPool::Create(8, 4, 4, 0);
    void* lone = BlockPool::Allocate(pool);
    EXPECT_EQ(BlockPool::BlockCount(pool), 1);
    BlockPool::Free(lone);
    EXPECT_EQ(BlockPool::BlockCount(pool), 0);

    std::vector<void*> first;
    for (int i = 0; i < 4; ++i) first.push_back(BlockPool::Allocate(pool));
    void* second = BlockPool::Allocate(pool);
    EXPECT_EQ(BlockPool::BlockCount(pool), 2);
    BlockPool::Free(first[1]);
    // The freed slot of the formerly full block is used before any new block.
    EXPECT_EQ(BlockPool::Allocate(pool), first[1]);
    void* third = BlockPool::Allocate(pool);  // fills the second block's room
    EXPECT_EQ(BlockPool::BlockCount(pool), 2);
    BlockPool::Free(second);
    BlockPool::Free(third);
    EXPECT_EQ(BlockPool::BlockCount(pool), 1);
    // An unshared pool may be released with elements still out.
    BlockPool::Release(pool);
}

TEST(BlockPool, SharedPoolsAreFoundBySizeAndOptionsAndCounted) {
    BlockPool* a = BlockPool::Create(40, 16, 65536, BlockPool::Shared);
    BlockPool* b = BlockPool::Create(38, 16, 65536, BlockPool::Shared);  // same rounded size
    BlockPool* other = BlockPool::Create(72, 16, 65536, BlockPool::Shared);
    BlockPool* locked = BlockPool::Create(40, 16, 65536, BlockPool::Shared | BlockPool::Locked);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->references, 2);
    EXPECT_NE(a, other);
    EXPECT_NE(a, locked);

    void* element = BlockPool::Allocate(b);
    BlockPool::Release(b);
    EXPECT_EQ(a->references, 1);
    BlockPool::Free(element);  // the pool is still alive for the remaining user
    BlockPool::Release(a);
    BlockPool::Release(other);
    BlockPool::Release(locked);
    BlockPool::Release(nullptr);
}

TEST(BlockPool, LockedPoolServesSeveralThreads) {
    BlockPool* pool = BlockPool::Create(16, 16, 256, BlockPool::Locked);
    auto work = [pool] {
        std::vector<void*> held;
        for (int round = 0; round < 200; ++round) {
            for (int i = 0; i < 50; ++i) held.push_back(BlockPool::Allocate(pool));
            for (void* element : held) BlockPool::Free(element);
            held.clear();
        }
    };
    std::thread one(work), two(work);
    one.join();
    two.join();
    EXPECT_EQ(BlockPool::BlockCount(pool), 0);
    BlockPool::Release(pool);
}

}  // namespace
