#pragma once
// The reporter's lists. Each list owns its items: deleting an item frees it, clearing deletes all.
#include "excreport/SivrelTypes.h"
#include <QString>
#include <exception>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/types.h>
#include <vector>

namespace excreport {

template <typename T>
class TSivrelOwnedList {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    T& Items(int index) { return *m_items.at(static_cast<size_t>(index)); }
    const T& Items(int index) const { return *m_items.at(static_cast<size_t>(index)); }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }
    // Stores a copy of the given item.
    T& Add(const T& item)
    {
        m_items.push_back(std::make_unique<T>(item));
        return *m_items.back();
    }

protected:
    std::vector<std::unique_ptr<T>> m_items;
};

// A call stack.
class TSivrelStackList : public TSivrelOwnedList<TSivrelDebugInfo> {
public:
    // From the second-last entry back to the first: an entry of kind 2-4 is hidden (kind 0) when the
    // next entry of kind 2-4 of the same module, or the one after that, has the same address.
    void HideRepeats();
};

// The exports of a module, sorted by address.
class TSivrelFunctionsList : public TSivrelOwnedList<TSivrelFunctionInfo> {
public:
    void SortByAddress();
    // The export whose range contains Address (binary search), or nullptr.
    const TSivrelFunctionInfo* Find(uintptr_t address) const;
};

// The record of one thread the program started, from its creation to its end.
struct TSivrelThreadRecord {
    pid_t ThreadId = 0;                // kernel thread id, noted by the thread itself
    pthread_t ThreadHandle{};          // as pthread_create returned it
    uintptr_t ThreadFunction = 0;      // the routine of a toolkit thread object's start
    uintptr_t StartAddress = 0;        // the start routine of any other thread
    void* Parameter = nullptr;
    // Return addresses of the code that started the thread (at most SivrelMaxCreatorFrames), shown
    // after the thread's own call stack.
    std::vector<uintptr_t> CreatorFrames;
    uintptr_t PreviousRun = 0;         // the run method of the thread object's class before the hook
    void* ThreadObject = nullptr;      // the thread object, or none
};

constexpr int SivrelMaxCreatorFrames = 64;

// The thread records, with a lock of their own (re-entrant). Look-ups go from the last record to
// the first and give -1 when none matches; they, like every change, belong under Lock/Unlock
// when other threads may change the list.
class TSivrelThreadsList : public TSivrelOwnedList<TSivrelThreadRecord> {
public:
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }
    std::recursive_mutex& Mutex() { return m_lock; }

    // Appends a record and hands it back (the list owns it).
    TSivrelThreadRecord& Add(std::unique_ptr<TSivrelThreadRecord> record);
    int IndexOfHandle(pthread_t handle) const;
    int IndexOfObject(const void* threadObject) const;
    int IndexOfId(pid_t threadId) const;
    // Deletes the calling thread's record (by its kernel thread id) under the lock.
    void RemoveCurrentThread();

private:
    using TSivrelOwnedList<TSivrelThreadRecord>::Add;
    std::recursive_mutex m_lock;
};

class TSivrelModuleOptionsEx;
class TSivrelModulesList;

// The report in progress, handed to listeners and read by the report's outputs.
struct TSivrelExceptionRecord {
    std::exception_ptr ExceptionObject;
    uintptr_t ExceptionAddress = 0;
    uint32_t ThreadId = 0;
    QString LogText;
    TSivrelModulesList* ModulesList = nullptr;  // the module list itself, not a copy
    TSivrelStackList* CallStack = nullptr;
    TSivrelModuleOptionsEx* ModuleOptions = nullptr;
};

} // namespace excreport
