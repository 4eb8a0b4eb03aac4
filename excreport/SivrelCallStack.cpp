#include "excreport/SivrelCallStack.h"
#include "excreport/SivrelLists.h"
#include "excreport/SivrelSupport.h"
#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace excreport {

namespace {

bool IsRex(uint8_t b)
{
    return b >= 0x40 && b <= 0x4F;
}

// A PLT entry (optionally endbr64, optionally a bnd prefix, then jmp *disp32(%rip)) leads to the
// value of its GOT slot; anything else stays where it is.
uintptr_t ResolvePlt(uintptr_t target)
{
    uint8_t code[11];
    if (!ReadMemory(target, code, sizeof code))
        return target;
    size_t i = 0;
    if (code[0] == 0xF3 && code[1] == 0x0F && code[2] == 0x1E && code[3] == 0xFA)
        i = 4;
    if (code[i] == 0xF2)
        ++i;
    if (code[i] != 0xFF || code[i + 1] != 0x25)
        return target;
    int32_t disp;
    std::memcpy(&disp, code + i + 2, 4);
    const uintptr_t slot = target + i + 6 + static_cast<intptr_t>(disp);
    uintptr_t value = 0;
    return ReadMemory(slot, &value, sizeof value) && value ? value : target;
}

} // namespace

uintptr_t SivrelCallBefore(uintptr_t v, uintptr_t* target)
{
    if (target)
        *target = 0;
    if (v < 8)
        return 0;
    const uintptr_t r = v - 7;
    uint8_t c[7];
    if (!ReadMemory(r, c, 7))
        return 0;
    // A form found at position p may carry a REX prefix in the byte before it.
    auto at = [&](int p) -> uintptr_t { return p > 0 && IsRex(c[p - 1]) ? r + p - 1 : r + p; };

    if (c[2] == 0xE8) {
        int32_t disp;
        std::memcpy(&disp, c + 3, 4);
        const uintptr_t called = ResolvePlt(v + static_cast<intptr_t>(disp));
        uint8_t first;
        if (target && IsReadable(called, 5) && ReadMemory(called, &first, 1) && first != 0xE8)
            *target = called;
        return r + 2;
    }
    if (c[5] == 0xFF && c[6] >= 0xD0 && c[6] <= 0xD7)
        return at(5);
    if (c[5] == 0xFF && ((c[6] >= 0x10 && c[6] <= 0x13) || c[6] == 0x16 || c[6] == 0x17))
        return at(5);
    if (c[4] == 0xFF && ((c[5] >= 0x50 && c[5] <= 0x53) || (c[5] >= 0x55 && c[5] <= 0x57)))
        return at(4);
    if (c[1] == 0xFF && ((c[2] >= 0x90 && c[2] <= 0x93) || (c[2] >= 0x95 && c[2] <= 0x97)))
        return at(1);
    if (c[4] == 0xFF && c[5] == 0x14 && c[6] == 0x24)
        return at(4);
    if (c[3] == 0xFF && c[4] == 0x54 && c[5] == 0x24)
        return at(3);
    if (c[0] == 0xFF && c[1] == 0x94 && c[2] == 0x24)
        return r;
    if (c[1] == 0xFF && c[2] == 0x15) {
        // RIP-relative: the pointer lies at the end of the instruction + displacement.
        int32_t disp;
        std::memcpy(&disp, c + 3, 4);
        if (IsReadable(v + static_cast<intptr_t>(disp), 8))
            return at(1);
    }
    return 0;
}

std::vector<TSivrelStackCall> SivrelScanStack(uintptr_t start, uintptr_t end)
{
    std::vector<TSivrelStackCall> calls;
    if (start >= end)
        return calls;
    if (end - start > SivrelMaxStackScan)
        end = start + SivrelMaxStackScan;
    start = (start + 7) & ~uintptr_t(7);
    // Readability is tested in blocks of 400 bytes; a slot outside a readable block is skipped.
    constexpr size_t Block = 400;
    uint8_t block[Block];
    for (uintptr_t p = start; p + 8 <= end;) {
        const size_t n = std::min<uintptr_t>(Block, end - p) & ~size_t(7);
        if (!ReadMemory(p, block, n)) {
            // Slot by slot over a block that is only partly readable.
            for (size_t i = 0; i < n; i += 8) {
                uintptr_t v;
                if (!ReadMemory(p + i, &v, 8))
                    continue;
                uintptr_t target = 0;
                if (const uintptr_t call = SivrelCallBefore(v, &target))
                    calls.push_back({call, target});
            }
        } else {
            for (size_t i = 0; i < n; i += 8) {
                uintptr_t v;
                std::memcpy(&v, block + i, 8);
                uintptr_t target = 0;
                if (const uintptr_t call = SivrelCallBefore(v, &target))
                    calls.push_back({call, target});
            }
        }
        p += n;
    }
    return calls;
}

// ------------------------------------------------------------------ lists

TSivrelThreadRecord& TSivrelThreadsList::Add(std::unique_ptr<TSivrelThreadRecord> record)
{
    m_items.push_back(std::move(record));
    return *m_items.back();
}

int TSivrelThreadsList::IndexOfHandle(pthread_t handle) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (pthread_equal(m_items[size_t(i)]->ThreadHandle, handle))
            return i;
    return -1;
}

int TSivrelThreadsList::IndexOfObject(const void* threadObject) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)]->ThreadObject == threadObject)
            return i;
    return -1;
}

int TSivrelThreadsList::IndexOfId(pid_t threadId) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (m_items[size_t(i)]->ThreadId == threadId)
            return i;
    return -1;
}

void TSivrelThreadsList::RemoveCurrentThread()
{
    std::lock_guard lock(m_lock);
    const int i = IndexOfId(gettid());
    if (i >= 0)
        Delete(i);
}

void TSivrelStackList::HideRepeats()
{
    auto shown = [](const TSivrelDebugInfo& e) { return e.Kind >= 2 && e.Kind <= 4; };
    for (int i = Count() - 2; i >= 0; --i) {
        TSivrelDebugInfo& e = Items(i);
        if (!shown(e))
            continue;
        int seen = 0;
        for (int j = i + 1; j < Count() && seen < 2; ++j) {
            const TSivrelDebugInfo& next = Items(j);
            if (!shown(next) || next.Module != e.Module)
                continue;
            ++seen;
            if (next.Address == e.Address) {
                e.Kind = 0;
                break;
            }
        }
    }
}

void TSivrelFunctionsList::SortByAddress()
{
    std::stable_sort(m_items.begin(), m_items.end(),
                     [](const auto& a, const auto& b) { return a->Address < b->Address; });
}

const TSivrelFunctionInfo* TSivrelFunctionsList::Find(uintptr_t address) const
{
    auto it = std::upper_bound(m_items.begin(), m_items.end(), address,
                               [](uintptr_t a, const auto& f) { return a < f->Address; });
    if (it == m_items.begin())
        return nullptr;
    const TSivrelFunctionInfo& f = **std::prev(it);
    return address - f.Address <= static_cast<uintptr_t>(std::max(f.Size, 0)) ? &f : nullptr;
}

} // namespace excreport
