#pragma once
// Small-object pool for the many little objects of a workbook model (cells, strings, storage
// blocks): size classes of 8 bytes up to 256 bytes, carved from 2 MB chunks. All chunks go back
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

namespace pooldetail {
constexpr size_t MaxPooled = 256;
struct FreeItem { FreeItem* next; };
struct State {
    FreeItem* free[MaxPooled / 8 + 1];   // by size class (8-byte steps)
    char* cur;     // the unused rest of the newest chunk
    size_t left;
    size_t live;   // objects allocated and not yet freed
};
extern State state;   // zero before any code runs: no start-up order to mind
void* allocSlow(size_t size);
void freeSlow(void* p, size_t size);
void releaseAll();
}

// The common cases in place: a freed object of the size class, or the next bytes of the chunk.
inline void* PoolAlloc(size_t size)
{
#ifndef XLS_POOL_OFF
    if (size - 1 < pooldetail::MaxPooled) {
        pooldetail::State& p = pooldetail::state;
        const size_t cls = (size + 7) / 8;
        if (pooldetail::FreeItem* f = p.free[cls]) {
            p.free[cls] = f->next;
            ++p.live;
            return f;
        }
        if (p.left >= cls * 8) {
            void* r = p.cur;
            p.cur += cls * 8;
            p.left -= cls * 8;
            ++p.live;
            return r;
        }
    }
#endif
    return pooldetail::allocSlow(size);
}

inline void PoolFree(void* ptr, size_t size)
{
#ifndef XLS_POOL_OFF
    if (ptr && size - 1 < pooldetail::MaxPooled) {
        pooldetail::State& p = pooldetail::state;
        const size_t cls = (size + 7) / 8;
        auto* f = static_cast<pooldetail::FreeItem*>(ptr);
        f->next = p.free[cls];
        p.free[cls] = f;
        if (--p.live == 0) pooldetail::releaseAll();
        return;
    }
#endif
    pooldetail::freeSlow(ptr, size);
}

size_t PoolLiveCount();   // objects allocated and not yet freed

// Large blocks for pools and arenas: 2 MB aligned, backed by huge pages where the system
// allows, and populated at once, so filling a big model costs few page faults. Without `populate`, the owner populates the parts it comes to use
// (PopulateRange, from a page boundary) in steps of PopulateStep: the unused end of its last
// block is never touched.
constexpr size_t BigChunkSize = size_t(2) << 20;
constexpr size_t PopulateStep = size_t(256) << 10;
void* AllocBigChunk(size_t size, bool populate = true);
void PopulateRange(void* p, size_t size);
void FreeBigChunk(void* p);

// Gives a class pool-backed allocation.
#define XLS_POOLED                                                                       \
    static void* operator new(size_t size) { return ::xls::PoolAlloc(size); }          \
    static void operator delete(void* p, size_t size) { ::xls::PoolFree(p, size); }

}
