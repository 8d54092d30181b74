// Fixed-size element pool: list nodes and queued events come from here so
// that adding and removing them costs no heap call in the common case.
#pragma once
#include <cstddef>
#include <cstdint>

struct BlockPoolBlock;

struct BlockPool {
    enum Options : uint32_t { Shared = 1, Locked = 2 };

    size_t elementSize;     // requested size rounded up to 4, plus the block reference
    int32_t minPerBlock;
    int32_t maxPerBlock;
    uint32_t options;
    int64_t allocatedTotal;  // elements handed out over the pool's life
    BlockPoolBlock* withRoom;
    BlockPoolBlock* full;
    int32_t references;      // shared pools: lists that use this pool
    void* lock;              // locked pools only

    // Shared pools are looked up by element size and options and counted.
    static BlockPool* Create(size_t elementSize, int32_t minPerBlock, int32_t maxPerBlock,
                             uint32_t options);
    static void* Allocate(BlockPool* pool);
    static void Free(void* element);
    // Drops one reference of a shared pool (the last one releases it);
    // releases an unshared pool and all its blocks at once.
    static void Release(BlockPool* pool);
};
