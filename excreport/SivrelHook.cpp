#include "excreport/SivrelHook.h"
#include "excreport/SivrelSupport.h"
#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace excreport {

EProcNull::EProcNull(const QString& name)
    : EHookError(QStringLiteral("Cannot hook a null procedure (\"%1\").").arg(name))
{
}

EHookingError::EHookingError(const QString& name)
    : EHookError(QStringLiteral("Cannot hook the procedure \"%1\".").arg(name))
{
}

namespace {

struct Module {
    uintptr_t base = 0;
    const char* name = "";
    const ElfW(Phdr)* phdr = nullptr;
    int phnum = 0;
};

// The loaded module with this base, or the one whose segments hold the address.
bool FindModule(uintptr_t base, uintptr_t address, Module& out)
{
    struct Search {
        uintptr_t base, address;
        Module* out;
        bool found;
    } s{base, address, &out, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            bool match = s->address == 0 && info->dlpi_addr == s->base;
            for (int i = 0; !match && s->address && i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                match = ph.p_type == PT_LOAD && s->address >= info->dlpi_addr + ph.p_vaddr
                        && s->address - (info->dlpi_addr + ph.p_vaddr) < ph.p_memsz;
            }
            if (!match)
                return 0;
            *s->out = Module{info->dlpi_addr, info->dlpi_name ? info->dlpi_name : "", info->dlpi_phdr, info->dlpi_phnum};
            s->found = true;
            return 1;
        },
        &s);
    return s.found;
}

bool InSegments(const Module& m, uintptr_t address)
{
    for (int i = 0; i < m.phnum; ++i) {
        const ElfW(Phdr)& ph = m.phdr[i];
        if (ph.p_type == PT_LOAD && address >= m.base + ph.p_vaddr && address - (m.base + ph.p_vaddr) < ph.p_memsz)
            return true;
    }
    return false;
}

// The records are made on first use and never freed: hooks are placed by the reporter's
// constructor before this file's dynamic initialisation, and undone by the loader's destructors
// after the program's static objects are gone.
std::recursive_mutex& HookLock() // guards detours, imports and every write
{
    static std::recursive_mutex& lock = *new std::recursive_mutex;
    return lock;
}

struct DetourRecord {
    uintptr_t* slot;
    uintptr_t previous, replacement;
};
std::vector<DetourRecord>& Detours()
{
    static auto& list = *new std::vector<DetourRecord>;
    return list;
}

struct ImportRecord {
    uintptr_t module, slot, previous, replacement;
};
std::vector<ImportRecord>& Imports()
{
    static auto& list = *new std::vector<ImportRecord>;
    return list;
}

// The table entries, with a lock of their own.
class THookedMethodsList {
public:
    struct Entry {
        uintptr_t table, previous;
        int index;
    };
    std::mutex lock;
    std::vector<Entry> entries;
};
THookedMethodsList& Methods()
{
    static auto& list = *new THookedMethodsList;
    return list;
}

} // namespace

bool SivrelWriteSlot(uintptr_t slot, uintptr_t value)
{
    Module m;
    if (slot % sizeof(uintptr_t) != 0 || !FindModule(0, slot, m))
        return false;
    int prot = 0;
    bool relro = false;
    for (int i = 0; i < m.phnum; ++i) {
        const ElfW(Phdr)& ph = m.phdr[i];
        const bool inside = slot >= m.base + ph.p_vaddr && slot - (m.base + ph.p_vaddr) < ph.p_memsz;
        if (!inside)
            continue;
        if (ph.p_type == PT_LOAD)
            prot = (ph.p_flags & PF_R ? PROT_READ : 0) | (ph.p_flags & PF_W ? PROT_WRITE : 0)
                   | (ph.p_flags & PF_X ? PROT_EXEC : 0);
        else if (ph.p_type == PT_GNU_RELRO)
            relro = true;
    }
    if (relro)
        prot = PROT_READ; // made read-only by the loader after relocation
    std::lock_guard lock(HookLock());
    if (prot & PROT_WRITE) {
        *reinterpret_cast<volatile uintptr_t*>(slot) = value;
        return true;
    }
    const uintptr_t page = slot & ~(uintptr_t(sysconf(_SC_PAGESIZE)) - 1);
    if (mprotect(reinterpret_cast<void*>(page), 1, prot | PROT_READ | PROT_WRITE) != 0)
        return false;
    *reinterpret_cast<volatile uintptr_t*>(slot) = value;
    mprotect(reinterpret_cast<void*>(page), 1, prot);
    return true;
}

uintptr_t HookProcedure(uintptr_t* slot, uintptr_t replacement, const QString& name)
{
    std::lock_guard lock(HookLock());
    if (!slot || *slot == 0)
        throw EProcNull(name);
    const uintptr_t previous = *slot;
    Detours().push_back({slot, previous, replacement});
    *slot = replacement;
    return previous;
}

void UnhookProcedure(uintptr_t* slot)
{
    std::lock_guard lock(HookLock());
    for (auto it = Detours().rbegin(); it != Detours().rend(); ++it)
        if (it->slot == slot) {
            if (*slot == it->replacement)
                *slot = it->previous;
            Detours().erase(std::next(it).base());
            return;
        }
}

std::vector<uintptr_t> SivrelRedirectableModules()
{
    std::vector<uintptr_t> out;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const char* name = info->dlpi_name ? info->dlpi_name : "";
            const char* file = std::strrchr(name, '/');
            file = file ? file + 1 : name;
            if (std::strncmp(file, "linux-vdso", 10) == 0 || std::strncmp(file, "libc.so", 7) == 0
                || std::strncmp(file, "ld-linux", 8) == 0)
                return 0;
            // The main program comes first without a name; other nameless entries are the vdso.
            auto* list = static_cast<std::vector<uintptr_t>*>(data);
            if (*name || list->empty())
                list->push_back(info->dlpi_addr);
            return 0;
        },
        &out);
    return out;
}

namespace {

// Calls visit(slot address, symbol name, relocation type) for each JUMP_SLOT and GLOB_DAT slot
// of a loaded module, from its dynamic section in memory.
template <class Visit>
void ForEachImportSlot(const Module& m, Visit&& visit)
{
    const ElfW(Dyn)* dynamic = nullptr;
    for (int i = 0; i < m.phnum; ++i)
        if (m.phdr[i].p_type == PT_DYNAMIC)
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(m.base + m.phdr[i].p_vaddr);
    if (!dynamic)
        return;
    uintptr_t jmprel = 0, rela = 0, symtab = 0, strtab = 0;
    size_t pltrelsz = 0, relasz = 0, strsz = 0;
    // The dynamic section, the tables and the slots lie in the module's loaded segments, which are
    // readable: checking the bounds is enough (no system call per entry).
    const auto inside = [&](uintptr_t address, size_t size) {
        return InSegments(m, address) && InSegments(m, address + size - 1);
    };
    for (const ElfW(Dyn)* d = dynamic; inside(reinterpret_cast<uintptr_t>(d), sizeof *d) && d->d_tag != DT_NULL; ++d) {
        // The loader turns most of these into addresses; add the base where it did not.
        const uintptr_t v = d->d_un.d_ptr < m.base ? d->d_un.d_ptr + m.base : d->d_un.d_ptr;
        switch (d->d_tag) {
        case DT_JMPREL: jmprel = v; break;
        case DT_PLTRELSZ: pltrelsz = d->d_un.d_val; break;
        case DT_RELA: rela = v; break;
        case DT_RELASZ: relasz = d->d_un.d_val; break;
        case DT_SYMTAB: symtab = v; break;
        case DT_STRTAB: strtab = v; break;
        case DT_STRSZ: strsz = d->d_un.d_val; break;
        default: break;
        }
    }
    if (!symtab || !strtab)
        return;
    const auto scan = [&](uintptr_t table, size_t size) {
        if (!table || size == 0 || !inside(table, size))
            return;
        const auto* r = reinterpret_cast<const ElfW(Rela)*>(table);
        for (size_t i = 0; i < size / sizeof(ElfW(Rela)); ++i) {
            const uint32_t type = ELF64_R_TYPE(r[i].r_info), sym = ELF64_R_SYM(r[i].r_info);
            if ((type != R_X86_64_JUMP_SLOT && type != R_X86_64_GLOB_DAT) || sym == 0)
                continue;
            const auto* s = reinterpret_cast<const ElfW(Sym)*>(symtab) + sym;
            if (!inside(reinterpret_cast<uintptr_t>(s), sizeof *s) || !strsz || s->st_name >= strsz)
                continue;
            const uintptr_t slot = m.base + r[i].r_offset;
            if (inside(slot, sizeof(uintptr_t)))
                visit(slot, reinterpret_cast<const char*>(strtab + s->st_name), type);
        }
    };
    scan(jmprel, pltrelsz);
    scan(rela, relasz);
}

// Every redirection in one pass over the module's slots; true when a slot changed.
bool RedirectInModule(uintptr_t module, TSivrelImportRedirect* redirects, size_t count, bool noRecord)
{
    Module m;
    if (!FindModule(module, 0, m))
        return false;
    bool changed = false;
    std::lock_guard lock(HookLock());
    ForEachImportSlot(m, [&](uintptr_t slot, const char* symbol, uint32_t type) {
        for (size_t i = 0; i < count; ++i) {
            TSivrelImportRedirect& r = redirects[i];
            if (r.Previous == 0 || symbol[0] != r.FunctionName[0] || std::strcmp(symbol, r.FunctionName) != 0)
                continue;
            const uintptr_t value = *reinterpret_cast<const volatile uintptr_t*>(slot);
            // A call slot that was never bound still leads to the module's own lazy-binding stub.
            const bool lazy = type == R_X86_64_JUMP_SLOT && value != r.Previous && InSegments(m, value);
            if (value != r.Previous && !lazy)
                continue;
            if (!SivrelWriteSlot(slot, r.Replacement))
                continue;
            r.Changed = changed = true;
            if (!noRecord)
                Imports().push_back({module, slot, value, r.Replacement});
        }
    });
    return changed;
}

} // namespace

std::vector<TSivrelImportSlot> SivrelImportSlots(uintptr_t module)
{
    std::vector<TSivrelImportSlot> out;
    Module m;
    if (FindModule(module, 0, m))
        ForEachImportSlot(m, [&](uintptr_t slot, const char* symbol, uint32_t type) { out.push_back({slot, symbol, type}); });
    return out;
}

uintptr_t RedirectImports(uintptr_t module, uintptr_t previous, uintptr_t replacement, bool noRecord, bool silent,
                          const char* functionName, const QString& name)
{
    if (!previous)
        throw EProcNull(name);
    TSivrelImportRedirect redirect{functionName, previous, replacement};
    if (RedirectInModule(module, &redirect, 1, noRecord))
        return previous;
    if (!silent)
        throw EHookingError(name);
    return 0;
}

bool HookImports(const std::vector<uintptr_t>& modules, std::vector<TSivrelImportRedirect>& redirects)
{
    bool any = false;
    for (uintptr_t module : modules)
        any = RedirectInModule(module, redirects.data(), redirects.size(), false) || any;
    return any;
}

bool HookImport(const std::vector<uintptr_t>& modules, const char* dllName, bool silent, uintptr_t& previous,
                uintptr_t replacement, const char* functionName)
{
    previous = 0;
    if (!dllName || !*dllName) {
        previous = reinterpret_cast<uintptr_t>(dlsym(RTLD_DEFAULT, functionName));
    } else if (void* library = dlopen(dllName, RTLD_LAZY | RTLD_NOLOAD)) {
        previous = reinterpret_cast<uintptr_t>(dlsym(library, functionName));
        dlclose(library);
    }
    const QString name = dllName && *dllName ? QString::fromUtf8(dllName) + u'.' + QString::fromUtf8(functionName)
                                             : QString::fromUtf8(functionName);
    bool any = false;
    for (uintptr_t module : modules)
        if (RedirectImports(module, previous, replacement, false, silent, functionName, name))
            any = true;
    return any;
}

uintptr_t HookMethod(uintptr_t table, int index, uintptr_t replacement)
{
    const uintptr_t entry = table + uintptr_t(index) * sizeof(uintptr_t);
    uintptr_t current = 0;
    if (!ReadMemory(entry, &current, sizeof current))
        return 0;
    std::lock_guard lock(Methods().lock);
    if (current == replacement) {
        for (const auto& e : Methods().entries)
            if (e.table == table && e.index == index)
                return e.previous;
        return 0;
    }
    if (!SivrelWriteSlot(entry, replacement))
        return 0;
    Methods().entries.push_back({table, current, index});
    return current;
}

bool UnhookMethod(uintptr_t table, int index)
{
    std::lock_guard lock(Methods().lock);
    for (auto it = Methods().entries.begin(); it != Methods().entries.end(); ++it)
        if (it->table == table && it->index == index) {
            SivrelWriteSlot(table + uintptr_t(index) * sizeof(uintptr_t), it->previous);
            Methods().entries.erase(it);
            return true;
        }
    return false;
}

void SivrelUnhookAll()
{
    {
        std::lock_guard lock(HookLock());
        while (!Detours().empty())
            UnhookProcedure(Detours().back().slot);
        // Last change first, so a slot changed twice ends with its first value.
        for (auto it = Imports().rbegin(); it != Imports().rend(); ++it) {
            Module m;
            uintptr_t value = 0;
            if (FindModule(it->module, 0, m) && InSegments(m, it->slot) && ReadMemory(it->slot, &value, sizeof value)
                && value == it->replacement)
                SivrelWriteSlot(it->slot, it->previous);
        }
        Imports().clear();
    }
    std::lock_guard lock(Methods().lock);
    for (auto it = Methods().entries.rbegin(); it != Methods().entries.rend(); ++it)
        SivrelWriteSlot(it->table + uintptr_t(it->index) * sizeof(uintptr_t), it->previous);
    Methods().entries.clear();
}

namespace {

// The engine's finalization runs after the reporter's deactivation (priority 102).
__attribute__((destructor(101))) void SivrelHookFinalization()
{
    SivrelUnhookAll();
}

} // namespace

} // namespace excreport
