#pragma once
// The reporter's lists. Each list owns its items: deleting an item frees it, clearing deletes all.
#include "excreport/SivrelTypes.h"
#include <QString>
#include <exception>
#include <memory>
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
