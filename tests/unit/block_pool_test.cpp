#include "support/memory/block_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

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
