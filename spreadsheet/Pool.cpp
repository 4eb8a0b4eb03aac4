#include "spreadsheet/Pool.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace xls {

namespace {
#ifdef MADV_POPULATE_WRITE
constexpr int PopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int PopulateWrite = 23;   // Linux 5.14; older systems refuse it and fault as before
#endif

constexpr size_t MaxPooled = 256;
constexpr size_t ChunkSize = BigChunkSize;

struct FreeItem { FreeItem* next; };

struct Pool {
    FreeItem* free[MaxPooled / 8 + 1] = {};
    std::vector<char*> chunks;
    char* cur = nullptr;
    size_t left = 0;
    size_t live = 0;

    void releaseAll()
    {
        for (char* c : chunks) FreeBigChunk(c);
        chunks.clear();
        for (auto& f : free) f = nullptr;
        cur = nullptr;
        left = 0;
    }
    ~Pool() { if (live == 0) releaseAll(); }
};

Pool& pool()
{
    static Pool p;
    return p;
}
}

void* PoolAlloc(size_t size)
{
    if (size == 0) size = 8;
#ifdef XLS_POOL_OFF
    ++pool().live;
    return ::operator new(size);
#endif
    if (size > MaxPooled) return ::operator new(size);
    Pool& p = pool();
    const size_t cls = (size + 7) / 8;
    ++p.live;
    if (FreeItem* f = p.free[cls]) {
        p.free[cls] = f->next;
        return f;
    }
    const size_t bytes = cls * 8;
    if (p.left < bytes) {
        char* c;
        try {
            c = static_cast<char*>(AllocBigChunk(ChunkSize));
        } catch (...) {
            --p.live;
            throw;
        }
        p.chunks.push_back(c);
        p.cur = c;
        p.left = ChunkSize;
    }
    void* r = p.cur;
    p.cur += bytes;
    p.left -= bytes;
    return r;
}

size_t PoolLiveCount() { return pool().live; }

void* AllocBigChunk(size_t size)
{
    void* p = nullptr;
    if (size >= BigChunkSize) {
        size = (size + BigChunkSize - 1) / BigChunkSize * BigChunkSize;
        if (posix_memalign(&p, BigChunkSize, size) != 0) p = nullptr;
        // No huge pages: a virtual machine that hands freed memory back to its host does so in
        // blocks of a huge page, so a huge page is mostly one the host has to fault in and clear
        // anew (measured: 0.07-0.1 s of system time for this reader's 50 MB after a few seconds
        // idle, against 0.01 s with small pages). Populating the block's page tables in one call
        // still spares a fault per page.
        if (p) madvise(p, size, PopulateWrite);
    } else {
        p = std::malloc(size);
    }
    if (!p) throw std::bad_alloc();
    return p;
}

void FreeBigChunk(void* p) { std::free(p); }

void PoolFree(void* ptr, size_t size)
{
    if (!ptr) return;
    if (size == 0) size = 8;
#ifdef XLS_POOL_OFF
    --pool().live;
    ::operator delete(ptr);
    return;
#endif
    if (size > MaxPooled) {
        ::operator delete(ptr);
        return;
    }
    Pool& p = pool();
    const size_t cls = (size + 7) / 8;
    auto* f = static_cast<FreeItem*>(ptr);
    f->next = p.free[cls];
    p.free[cls] = f;
    if (--p.live == 0) p.releaseAll();
}

}
