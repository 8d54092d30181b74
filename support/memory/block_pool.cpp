#include "support/memory/block_pool.h"

#include <cstdlib>
#include <mutex>
#include <new>

// A block: this header, then `capacity` elements of `elementSize` bytes. Each
// element starts with a reference to its block, so Free needs no pool.
struct BlockPoolBlock {
    BlockPool* pool;
    BlockPoolBlock* previous;
    BlockPoolBlock* next;
    void* freeList;     // freed elements, linked through their payload
    char* fresh;        // next never-used element
    int32_t capacity;
    int32_t used;       // equal to capacity exactly while the block is on the full list
};

namespace {

// What the pool keeps beside its public record.
struct PoolRecord {
    BlockPool pool;
    PoolRecord* nextShared;
};

constexpr size_t kBlockHeader = (sizeof(BlockPoolBlock) + alignof(std::max_align_t) - 1) /
                                alignof(std::max_align_t) * alignof(std::max_align_t);

PoolRecord* RecordOf(BlockPool* pool) { return reinterpret_cast<PoolRecord*>(pool); }

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
PoolRecord* gSharedPools = nullptr;

std::mutex* LockOf(BlockPool* pool) { return static_cast<std::mutex*>(pool->lock); }

void PushFront(BlockPoolBlock** list, BlockPoolBlock* block) {
    block->previous = nullptr;
    block->next = *list;
    if (*list) (*list)->previous = block;
    *list = block;
}

void Remove(BlockPoolBlock** list, BlockPoolBlock* block) {
    if (block->previous) block->previous->next = block->next;
    else *list = block->next;
    if (block->next) block->next->previous = block->previous;
    block->previous = block->next = nullptr;
}

BlockPoolBlock* NewBlock(BlockPool* pool) {
    int64_t wanted = pool->allocatedTotal / 16 / 16 * 16;
    if (wanted > pool->maxPerBlock) wanted = pool->maxPerBlock;
    if (wanted < pool->minPerBlock) wanted = pool->minPerBlock;
    for (int64_t capacity : {wanted, int64_t{1}}) {
        void* memory = std::malloc(kBlockHeader + static_cast<size_t>(capacity) * pool->elementSize);
        if (!memory) continue;
        auto* block = static_cast<BlockPoolBlock*>(memory);
        block->pool = pool;
        block->freeList = nullptr;
        block->fresh = static_cast<char*>(memory) + kBlockHeader;
        block->capacity = static_cast<int32_t>(capacity);
        block->used = 0;
        PushFront(&pool->withRoom, block);
        return block;
    }
    return nullptr;
}

void* AllocateUnlocked(BlockPool* pool) {
    BlockPoolBlock* block = pool->withRoom;
    if (!block) block = NewBlock(pool);
    if (!block) return nullptr;

    char* element;
    if (block->freeList) {
        element = static_cast<char*>(block->freeList) - sizeof(BlockPoolBlock*);
        block->freeList = *static_cast<void**>(block->freeList);
    } else {
        element = block->fresh;
        block->fresh += pool->elementSize;
    }
    *reinterpret_cast<BlockPoolBlock**>(element) = block;
    if (++block->used == block->capacity) {
        Remove(&pool->withRoom, block);
        PushFront(&pool->full, block);
    }
    ++pool->allocatedTotal;
    return element + sizeof(BlockPoolBlock*);
}

void FreeUnlocked(BlockPool* pool, BlockPoolBlock* block, void* payload) {
    bool wasFull = block->used == block->capacity;
    if (--block->used == 0) {
        Remove(wasFull ? &pool->full : &pool->withRoom, block);
        std::free(block);
        return;
    }
    *static_cast<void**>(payload) = block->freeList;
    block->freeList = payload;
    if (wasFull) {
        Remove(&pool->full, block);
        PushFront(&pool->withRoom, block);
    }
}

void ReleaseBlocks(BlockPoolBlock* block) {
    while (block) {
        BlockPoolBlock* next = block->next;
        std::free(block);
        block = next;
    }
}

void Destroy(BlockPool* pool) {
    ReleaseBlocks(pool->withRoom);
    ReleaseBlocks(pool->full);
    delete LockOf(pool);
    std::free(RecordOf(pool));
}

}  // namespace

BlockPool* BlockPool::Create(size_t elementSize, int32_t minPerBlock, int32_t maxPerBlock,
                             uint32_t options) {
    if (minPerBlock < 1) minPerBlock = 1;
    if (maxPerBlock < minPerBlock) maxPerBlock = minPerBlock;
    // Elements are kept pointer-aligned (on 32-bit targets this is the
    // rounding to 4 alone); the payload must at least hold a free-list link.
    size_t payload = (elementSize + 3) / 4 * 4;
    if (payload < sizeof(void*)) payload = sizeof(void*);
    size_t size = payload + sizeof(BlockPoolBlock*);
    size = (size + alignof(void*) - 1) / alignof(void*) * alignof(void*);

    std::unique_lock<std::mutex> registry;
    if (options & Shared) {
        registry = std::unique_lock<std::mutex>(RegistryLock());
        for (PoolRecord* shared = gSharedPools; shared; shared = shared->nextShared) {
            if (shared->pool.elementSize == size && shared->pool.options == options) {
                ++shared->pool.references;
                return &shared->pool;
            }
        }
    }

    auto* record = static_cast<PoolRecord*>(std::calloc(1, sizeof(PoolRecord)));
    if (!record) return nullptr;
    BlockPool* pool = &record->pool;
    pool->elementSize = size;
    pool->minPerBlock = minPerBlock;
    pool->maxPerBlock = maxPerBlock;
    pool->options = options;
    pool->references = 1;
    if (options & Locked) {
        pool->lock = new (std::nothrow) std::mutex;
        if (!pool->lock) {
            std::free(record);
            return nullptr;
        }
    }
    if (options & Shared) {
        record->nextShared = gSharedPools;
        gSharedPools = record;
    }
    return pool;
}

void* BlockPool::Allocate(BlockPool* pool) {
    if (!pool) return nullptr;
    if (std::mutex* lock = LockOf(pool)) {
        std::lock_guard<std::mutex> guard(*lock);
        return AllocateUnlocked(pool);
    }
    return AllocateUnlocked(pool);
}

void BlockPool::Free(void* element) {
    if (!element) return;
    BlockPoolBlock* block =
        *reinterpret_cast<BlockPoolBlock**>(static_cast<char*>(element) - sizeof(BlockPoolBlock*));
    BlockPool* pool = block->pool;
    if (std::mutex* lock = LockOf(pool)) {
        std::lock_guard<std::mutex> guard(*lock);
        FreeUnlocked(pool, block, element);
        return;
    }
    FreeUnlocked(pool, block, element);
}

void BlockPool::Release(BlockPool* pool) {
    if (!pool) return;
    if (pool->options & Shared) {
        std::lock_guard<std::mutex> registry(RegistryLock());
        if (--pool->references > 0) return;
        for (PoolRecord** link = &gSharedPools; *link; link = &(*link)->nextShared) {
            if (*link == RecordOf(pool)) {
                *link = (*link)->nextShared;
                break;
            }
        }
    }
    Destroy(pool);
}
