#pragma once
// Small-object pool for the many little objects of a workbook model (cells, strings, storage
// blocks): size classes of 8 bytes up to 256 bytes, carved from 1 MB chunks. All chunks go back
// to the system when the last object is freed. Main thread only, like the rest of the reader.
#include <cstddef>

// Under the address sanitizer every object is a heap block of its own, so use after free and
// overruns of pooled objects are found.
#if defined(__SANITIZE_ADDRESS__)
#define XLS_POOL_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XLS_POOL_OFF 1
#endif
#endif

namespace xls {

void* PoolAlloc(size_t size);
void PoolFree(void* p, size_t size);
size_t PoolLiveCount();   // objects allocated and not yet freed

// Large blocks for pools and arenas: 2 MB aligned and populated at once, so filling a big
// model costs few page faults.
constexpr size_t BigChunkSize = size_t(2) << 20;
void* AllocBigChunk(size_t size);
void FreeBigChunk(void* p);

// Gives a class pool-backed allocation.
#define XLS_POOLED                                                                       \
    static void* operator new(size_t size) { return ::xls::PoolAlloc(size); }          \
    static void operator delete(void* p, size_t size) { ::xls::PoolFree(p, size); }

}
