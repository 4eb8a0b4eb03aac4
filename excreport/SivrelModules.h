#pragma once
// The modules of the process: file details, exports, reporter options and debug block of each,
// and the call stack built from them.
#include "excreport/SivrelDataBlock.h"
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelLists.h"
#include "excreport/SivrelOptions.h"
#include <QDateTime>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <unistd.h>
#include <vector>

namespace excreport {

// Options bound to a module: a change of the options of the module that holds the reporter is
// published in that module's shared block, where the reporter of another module reads them.
// The options of this module (those CurrentSivrelLogOptions hands out) also switch the freeze
// watch: it runs while both Active and FreezeActive are on.
class TSivrelModuleOptionsEx : public TSivrelModuleOptions {
public:
    using TSivrelModuleOptions::TSivrelModuleOptions;
    ~TSivrelModuleOptionsEx() override;

    void SetActive(bool value) override;
    void SetFreezeActive(bool value) override;

    // Set on the entry of this module in the process's module list when it is handed out.
    void MarkAsCurrent() { m_current = true; }
    bool IsCurrent() const { return m_current; }

protected:
    void Changed() override;

private:
    std::atomic<bool> m_current{false};
};

// Module types: 1 the main program, 3 a shared object (2, a run-time package, never occurs).
enum : uint8_t { mtUnknown = 0, mtExecutable = 1, mtPackage = 2, mtLibrary = 3 };

struct TSivrelModuleInfo {
    uintptr_t Handle = 0;            // load base
    QString FileName;
    QString Description;
    QString Version;                 // four numbers, empty when unknown
    uint32_t FileSize = 0;
    TSivrelFunctionsList Functions;  // exports, not for the main program
    uint8_t ModuleType = mtUnknown;
    uint16_t DataVersion = 467;
    std::array<uint8_t, 8> Reserved{};
    std::unique_ptr<TSivrelModuleOptionsEx> Options;
    TSivrelDebugSource DebugInfo;    // read on first use
    QDateTime FileDate;              // modification time, local time
};

// The module list. Look-ups may come from any thread; entries are shared, so an entry handed out
// stays valid while a refresh drops it from the list.
class TSivrelModulesList {
public:
    int Count() const;
    TSivrelModuleRef Items(int index) const;

    // The entry of a module (made on first use), or none.
    TSivrelModuleRef ModuleInfo(uintptr_t handle);
    TSivrelModuleRef ModuleOfAddress(uintptr_t address);
    // Drops modules no longer loaded, adds the new ones (examined on first use), sorts by handle.
    void RefreshModules();
    // Drops every entry whose file's modification time changed.
    void DropChangedModules();
    void Clear();

    // Call-stack entry of an address: line information from the module's debug block, else the
    // export that contains it, else the module only.
    TSivrelDebugInfo GetDebugInfo(uintptr_t address);
    // Code address of a qualified name of the module's name table, or 0.
    uintptr_t FindInDebugBlock(uintptr_t module, const QString& qualifiedName);
    // The call stack: the first address, then the calls before the unwinder's return addresses;
    // with fewer than two of those, the calls found on the stack [stackStart, stackEnd). Repeats hidden.
    std::unique_ptr<TSivrelStackList> BuildCallStack(uintptr_t firstAddress, const std::vector<uintptr_t>& returnAddresses,
                                                     uintptr_t stackStart, uintptr_t stackEnd);

private:
    TSivrelModuleRef Find(uintptr_t handle) const;
    TSivrelModuleRef AddModule(uintptr_t handle, bool enumerating);

    mutable std::shared_mutex m_lock;
    std::vector<TSivrelModuleRef> m_items;
};

// Reads a module's data block and its published options (the shared block of that module).
bool LoadModuleData(TSivrelModuleInfo& info);
// Load base of the module that contains the address, or 0.
uintptr_t SivrelModuleOfAddress(uintptr_t address);
// File name of a loaded module (the main program's from /proc/self/exe); empty when none is loaded there.
QString ModuleFileName(uintptr_t handle);
// The reporter's module (the one holding this code), and the process's main program.
uintptr_t SivrelThisModule();
uintptr_t SivrelMainModule();
// An ELF object that is not the main program.
bool IsLibraryModule(uintptr_t handle);
uint8_t GetModuleType(uintptr_t handle);
// Version of a shared object from its real file name: libQt6Core.so.6.4.2 -> "6.4.2.0".
QString VersionFromFileName(const QString& fileName);
// Description and version from the module's ".note.qly.version" note, when it has one.
bool ReadVersionNote(uintptr_t handle, QString* description, QString* version);
// The exports of a module, sorted by address.
void ReadExports(uintptr_t handle, TSivrelFunctionsList& list);
int32_t EstimateRoutineSize(uintptr_t start, uintptr_t codeEnd);
void DecodeExportName(const QString& name, TSivrelDebugInfo& info);

// Shared block "/<pid, 8 hex digits><handle, 16 hex digits>MODULE": a 32-bit total size, then the
// data. Size 0 opens an existing block only. Created with mode 0600.
struct TSivrelSharedBlock {
    int fd = -1;
    uint8_t* base = nullptr;  // the size word
    size_t total = 0;
    uint8_t* Data() const { return base ? base + 4 : nullptr; }
    size_t DataSize() const { return total >= 4 ? total - 4 : 0; }
};
QString SharedBlockName(uintptr_t handle, pid_t pid);
inline QString SharedBlockName(uintptr_t handle) { return SharedBlockName(handle, getpid()); }
std::optional<TSivrelSharedBlock> OpenSharedBlock(uintptr_t handle, size_t size);
void CloseSharedBlock(TSivrelSharedBlock& block);
void UnlinkSharedBlock(uintptr_t handle);

// The shared block of the module that holds the reporter. Created with one data byte 0 (nothing
// published) at the activation, made anew whenever this module's options change. Its name would
// outlive the process, so the deactivation and the fatal-signal path remove it.
bool SivrelCreateOwnSharedBlock();
void SivrelCloseOwnSharedBlock();
// The same for a fatal-signal handler: async-signal-safe, with the name noted when the block was
// made; does nothing in a forked child, whose block the parent owns.
void SivrelUnlinkOwnSharedBlockFromSignal() noexcept;

} // namespace excreport
