#pragma once
// Changing where calls go: import slots (GOT entries) of loaded modules, table entries (virtual
// method tables) and the reporter's own hook slots. Every change is recorded and undone by
// SivrelUnhookAll, which runs after the reporter's deactivation at process end.
#include "excreport/SivrelTypes.h"
#include <QString>
#include <cstdint>
#include <vector>

namespace excreport {

class EHookError : public ESivrelError {
public:
    using ESivrelError::ESivrelError;
};
// "Cannot hook a null procedure ("name")."
class EProcNull : public EHookError {
public:
    explicit EProcNull(const QString& name);
};
// "Cannot hook the procedure "name"."
class EHookingError : public EHookError {
public:
    explicit EHookingError(const QString& name);
};

// A detour of one of our own routines that are called through a hook slot (a function pointer):
// the slot gets Replacement; the result is the previous value, through which the replacement
// calls the routine as it was. A slot that is null or holds null raises EProcNull.
uintptr_t HookProcedure(uintptr_t* slot, uintptr_t replacement, const QString& name);
// Puts the previous value back (only while the slot still holds the replacement) and forgets it.
void UnhookProcedure(uintptr_t* slot);

// Load bases of the loaded modules whose calls the reporter redirects: every module but the C
// library, the dynamic loader and the vdso.
std::vector<uintptr_t> SivrelRedirectableModules();

// One import slot of a module: its address, the symbol it binds and its relocation type.
struct TSivrelImportSlot {
    uintptr_t Address = 0;
    const char* Symbol = "";
    uint32_t Type = 0;
};
// The JUMP_SLOT and GLOB_DAT slots of a loaded module, from its dynamic section in memory.
std::vector<TSivrelImportSlot> SivrelImportSlots(uintptr_t module);

// In Module, every import slot that binds FunctionName and holds Previous (or still its own lazy
// binding stub) gets Replacement. Returns Previous when a slot changed (recorded unless
// NoRecord); otherwise raises EHookingError with Name unless Silent, and returns 0. A null
// Previous raises EProcNull.
uintptr_t RedirectImports(uintptr_t module, uintptr_t previous, uintptr_t replacement, bool noRecord, bool silent,
                          const char* functionName, const QString& name);
// Several redirections (silent, recorded) with one pass over each module's slots: every import
// slot of FunctionName that holds Previous (or its module's lazy-binding stub) gets Replacement.
// A redirection whose Previous is null changes nothing. Changed tells whether a slot of any
// module changed for it; the result whether any slot changed.
struct TSivrelImportRedirect {
    const char* FunctionName = "";
    uintptr_t Previous = 0;
    uintptr_t Replacement = 0;
    bool Changed = false;
};
bool HookImports(const std::vector<uintptr_t>& modules, std::vector<TSivrelImportRedirect>& redirects);
// Previous := FunctionName of the library DllName (a loaded one; any module when empty); then
// RedirectImports in each of Modules. True when any module changed.
bool HookImport(const std::vector<uintptr_t>& modules, const char* dllName, bool silent, uintptr_t& previous,
                uintptr_t replacement, const char* functionName);

// Entry Index of a table of routine addresses (8 bytes each) inside a loaded module gets
// Replacement; the result is the previous entry. When the entry already holds Replacement, the
// previous entry recorded by the first call is returned.
uintptr_t HookMethod(uintptr_t table, int index, uintptr_t replacement);
// Puts the recorded entry back; false when none was recorded.
bool UnhookMethod(uintptr_t table, int index);

// Undoes every detour, import redirection and table entry (the engine's finalization).
void SivrelUnhookAll();

// Writes an 8-byte slot of a loaded module, making a read-only page (RELRO) writable for the
// moment. False when the slot is not inside a loaded module's segments.
bool SivrelWriteSlot(uintptr_t slot, uintptr_t value);

} // namespace excreport
