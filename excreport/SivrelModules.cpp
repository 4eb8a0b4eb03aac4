#include "excreport/SivrelModules.h"
#include "excreport/SivrelCallStack.h"
#include "excreport/SivrelDebugBlock.h"
#include "excreport/SivrelExcept.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelSupport.h"
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace excreport {

// ------------------------------------------------------------------ loaded objects

namespace {

struct LoadedObject {
    uintptr_t base = 0;
    QString name;
    bool isMain = false;
    const ElfW(Phdr)* phdr = nullptr;
    int phnum = 0;
};

bool IsVdso(const char* name)
{
    return name && std::strncmp(name, "linux-vdso", 10) == 0;
}

std::vector<LoadedObject> LoadedObjects()
{
    std::vector<LoadedObject> out;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* list = static_cast<std::vector<LoadedObject>*>(data);
            const bool first = list->empty();
            if (IsVdso(info->dlpi_name) || (!first && (!info->dlpi_name || !*info->dlpi_name)))
                return 0;
            LoadedObject o;
            o.base = info->dlpi_addr;
            o.isMain = first;
            o.name = first ? QFile::symLinkTarget(QStringLiteral("/proc/self/exe")) : QFile::decodeName(info->dlpi_name);
            o.phdr = info->dlpi_phdr;
            o.phnum = info->dlpi_phnum;
            list->push_back(o);
            return 0;
        },
        &out);
    return out;
}

std::optional<LoadedObject> ObjectAt(uintptr_t handle)
{
    for (const LoadedObject& o : LoadedObjects())
        if (o.base == handle)
            return o;
    return std::nullopt;
}

} // namespace

uintptr_t SivrelModuleOfAddress(uintptr_t address)
{
    // Called for every call-stack entry: no names, no allocations.
    struct Search {
        uintptr_t address;
        uintptr_t base;
        bool found;
    } search{address, 0, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (IsVdso(info->dlpi_name))
                return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type == PT_LOAD && s->address >= info->dlpi_addr + ph.p_vaddr
                    && s->address - (info->dlpi_addr + ph.p_vaddr) < ph.p_memsz) {
                    s->base = info->dlpi_addr;
                    s->found = true;
                    return 1;
                }
            }
            return 0;
        },
        &search);
    return search.found ? search.base : 0;
}

QString ModuleFileName(uintptr_t handle)
{
    const auto o = ObjectAt(handle);
    return o ? o->name : QString();
}

uintptr_t SivrelThisModule()
{
    return SivrelModuleOfAddress(reinterpret_cast<uintptr_t>(&SivrelThisModule));
}

uintptr_t SivrelMainModule()
{
    uintptr_t base = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            *static_cast<uintptr_t*>(data) = info->dlpi_addr;
            return 1; // the main program comes first
        },
        &base);
    return base;
}

bool IsLibraryModule(uintptr_t handle)
{
    const auto o = ObjectAt(handle);
    return o && !o->isMain;
}

uint8_t GetModuleType(uintptr_t handle)
{
    const auto o = ObjectAt(handle);
    return !o ? mtUnknown : o->isMain ? mtExecutable : mtLibrary;
}

QString VersionFromFileName(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const auto m = QRegularExpression(QStringLiteral("\\.so\\.(\\d+(?:\\.\\d+){0,3})$")).match(name);
    if (!m.hasMatch())
        return QString();
    QStringList parts = m.captured(1).split(u'.');
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    const QString version = parts.join(u'.');
    return version == QStringLiteral("0.0.0.0") ? QString() : version;
}

bool ReadVersionNote(uintptr_t handle, QString* description, QString* version)
{
    const auto o = ObjectAt(handle);
    if (!o)
        return false;
    for (int i = 0; i < o->phnum; ++i) {
        const ElfW(Phdr)& ph = o->phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        QByteArray notes(static_cast<qsizetype>(ph.p_memsz), Qt::Uninitialized);
        if (!ReadMemory(o->base + ph.p_vaddr, notes.data(), ph.p_memsz))
            continue;
        qsizetype pos = 0;
        auto align4 = [](qsizetype v) { return (v + 3) & ~qsizetype(3); };
        while (pos + 12 <= notes.size()) {
            uint32_t nameSize, descSize, type;
            std::memcpy(&nameSize, notes.constData() + pos, 4);
            std::memcpy(&descSize, notes.constData() + pos + 4, 4);
            std::memcpy(&type, notes.constData() + pos + 8, 4);
            const qsizetype nameAt = pos + 12, descAt = nameAt + align4(nameSize);
            if (nameSize > uint32_t(notes.size()) || descSize > uint32_t(notes.size()) || descAt + descSize > notes.size())
                break;
            if (type == 1 && nameSize == 4 && std::memcmp(notes.constData() + nameAt, "QLY", 4) == 0) {
                const QByteArray desc = notes.mid(descAt, descSize);
                const QList<QByteArray> fields = desc.split('\0');
                *description = QString::fromUtf8(fields.value(0));
                const QString v = QString::fromUtf8(fields.value(1));
                *version = v == QStringLiteral("0.0.0.0") ? QString() : v;
                return true;
            }
            pos = descAt + align4(descSize);
        }
    }
    return false;
}

// ------------------------------------------------------------------ exports

int32_t EstimateRoutineSize(uintptr_t start, uintptr_t codeEnd)
{
    // The first return byte (C3 ret, C2 ret n, CB/CA far returns) ends the routine.
    uint8_t chunk[256];
    for (uintptr_t p = start; p <= codeEnd;) {
        const size_t n = static_cast<size_t>(std::min<uintptr_t>(sizeof chunk, codeEnd - p + 1));
        if (!ReadMemory(p, chunk, n))
            return 1;
        for (size_t i = 0; i < n; ++i)
            if (chunk[i] == 0xC3 || chunk[i] == 0xC2 || chunk[i] == 0xCB || chunk[i] == 0xCA)
                return static_cast<int32_t>(p + i - start);
        p += n;
    }
    return 1;
}

void ReadExports(uintptr_t handle, TSivrelFunctionsList& list)
{
    list.Clear();
    const auto o = ObjectAt(handle);
    if (!o || o->isMain)
        return;
    const ElfW(Dyn)* dynamic = nullptr;
    uintptr_t codeStart = 0, codeEnd = 0;
    for (int i = 0; i < o->phnum; ++i) {
        const ElfW(Phdr)& ph = o->phdr[i];
        if (ph.p_type == PT_DYNAMIC)
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(o->base + ph.p_vaddr);
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) {
            codeStart = o->base + ph.p_vaddr;
            codeEnd = codeStart + ph.p_memsz - 1;
        }
    }
    if (!dynamic || !codeStart)
        return;
    uintptr_t symtab = 0, strtab = 0, hash = 0, gnuHash = 0;
    size_t strsz = 0;
    for (const ElfW(Dyn)* d = dynamic; IsReadable(reinterpret_cast<uintptr_t>(d), sizeof *d) && d->d_tag != DT_NULL; ++d) {
        // The loader stores most of these as addresses; add the base where it did not.
        const uintptr_t v = d->d_un.d_ptr < o->base ? d->d_un.d_ptr + o->base : d->d_un.d_ptr;
        switch (d->d_tag) {
        case DT_SYMTAB: symtab = v; break;
        case DT_STRTAB: strtab = v; break;
        case DT_HASH: hash = v; break;
        case DT_GNU_HASH: gnuHash = v; break;
        case DT_STRSZ: strsz = d->d_un.d_val; break;
        default: break;
        }
    }
    if (!symtab || !strtab)
        return;
    // The tables are read in whole pieces: one read for a name or an entry at a time made the
    // first report of a run take seconds (tens of thousands of exports in the Qt libraries).
    size_t count = 0;
    if (hash) {
        uint32_t words[2];
        if (ReadMemory(hash, words, sizeof words))
            count = words[1];
    } else if (gnuHash) {
        // The highest symbol index over the buckets and their chains.
        uint32_t header[4];
        if (!ReadMemory(gnuHash, header, sizeof header))
            return;
        const uint32_t nbuckets = header[0], symoffset = header[1], bloomSize = header[2];
        const uintptr_t buckets = gnuHash + 16 + uintptr_t(bloomSize) * sizeof(ElfW(Addr));
        const uintptr_t chains = buckets + uintptr_t(nbuckets) * 4;
        uint32_t last = 0;
        std::vector<uint32_t> words(std::min<size_t>(nbuckets, 4096));
        for (uint32_t b = 0; b < nbuckets;) {
            const size_t n = std::min<size_t>(words.size(), nbuckets - b);
            if (ReadMemory(buckets + uintptr_t(b) * 4, words.data(), n * 4)) {
                for (size_t i = 0; i < n; ++i)
                    last = std::max(last, words[i]);
            } else {
                for (size_t i = 0; i < n; ++i)
                    if (uint32_t v; ReadMemory(buckets + (b + i) * 4, &v, 4))
                        last = std::max(last, v);
            }
            b += static_cast<uint32_t>(n);
        }
        if (last >= symoffset) {
            // The chain of the highest bucket start ends with an entry whose lowest bit is set.
            uint32_t chunk[64];
            bool ended = false;
            while (!ended) {
                const uintptr_t at = chains + uintptr_t(last - symoffset) * 4;
                size_t n = sizeof chunk / 4;
                if (!ReadMemory(at, chunk, sizeof chunk)) {
                    // near the end of what is mapped: one entry at a time
                    n = 1;
                    if (!ReadMemory(at, chunk, 4))
                        break;
                }
                for (size_t i = 0; i < n && !ended; ++i) {
                    ++last;
                    ended = chunk[i] & 1;
                }
            }
            count = last;
        } else {
            count = symoffset;
        }
    }
    // The string table in one piece when its size is known and it can be read whole.
    QByteArray strings;
    if (strsz && strsz <= 256u * 1024 * 1024) {
        strings.resize(static_cast<qsizetype>(strsz));
        if (!ReadMemory(strtab, strings.data(), strsz))
            strings.clear();
    }
    constexpr size_t SymbolsPerRead = 1024;
    std::vector<ElfW(Sym)> symbols(std::min(count, SymbolsPerRead));
    for (size_t first = 0; first < count;) {
        size_t n = std::min(count - first, SymbolsPerRead);
        if (!ReadMemory(symtab + first * sizeof(ElfW(Sym)), symbols.data(), n * sizeof(ElfW(Sym)))) {
            // Up to the first entry that cannot be read, as the entries one by one would.
            size_t readable = 0;
            while (readable < n && ReadMemory(symtab + (first + readable) * sizeof(ElfW(Sym)), &symbols[readable],
                                              sizeof(ElfW(Sym))))
                ++readable;
            n = readable;
            count = first + n;
        }
        for (size_t i = 0; i < n; ++i) {
            const ElfW(Sym)& sym = symbols[i];
            const int type = ELF64_ST_TYPE(sym.st_info);
            if ((type != STT_FUNC && type != STT_GNU_IFUNC) || sym.st_shndx == SHN_UNDEF || sym.st_value == 0)
                continue;
            if (strsz && sym.st_name >= strsz)
                continue;
            char name[256];
            size_t length = 0;
            if (!strings.isEmpty()) {
                const char* at = strings.constData() + sym.st_name;
                const size_t left = std::min<size_t>(sizeof name - 1, strsz - sym.st_name);
                const void* end = std::memchr(at, 0, left);
                length = end ? size_t(static_cast<const char*>(end) - at) : left;
                std::memcpy(name, at, length);
            } else {
                for (; length < sizeof name - 1; ++length)
                    if (!ReadMemory(strtab + sym.st_name + length, &name[length], 1) || name[length] == 0)
                        break;
            }
            name[length] = 0;
            TSivrelFunctionInfo f;
            f.Name = QString::fromUtf8(name, qsizetype(length));
            f.Address = o->base + sym.st_value;
            f.Size = sym.st_size ? static_cast<int32_t>(sym.st_size - 1)
                     : f.Address < codeStart ? 1 : EstimateRoutineSize(f.Address, codeEnd);
            list.Add(f);
        }
        first += n;
        if (n == 0)
            break;
    }
    list.SortByAddress();
}

namespace {

void SplitDotted(const QString& name, TSivrelDebugInfo& info)
{
    const QStringList parts = name.split(u'.');
    if (parts.size() == 2) {
        info.UnitName = parts[0] + QStringLiteral(".pas");
        info.ClassName.clear();
        info.ProcedureName = parts[1];
    } else if (parts.size() == 3) {
        info.UnitName = parts[0] + QStringLiteral(".pas");
        info.ClassName = parts[1];
        info.ProcedureName = parts[2];
    } else {
        return;
    }
    info.Kind = 3;
    if (info.ProcedureName.startsWith(u'@'))
        info.ProcedureName[0] = u'_';
}

// Components of a demangled C++ name without parameters and template arguments.
QStringList ItaniumComponents(const QString& demangled)
{
    QStringList parts;
    QString current;
    int depth = 0;
    for (qsizetype i = 0; i < demangled.size(); ++i) {
        const QChar ch = demangled[i];
        if (depth == 0 && current == QStringLiteral("operator")) {
            qsizetype j = i;
            if (demangled.mid(i, 2) == QStringLiteral("()"))
                j = i + 2;
            else
                while (j < demangled.size() && QStringLiteral("+-*/%^&|~!=<>[],").contains(demangled[j]))
                    ++j;
            current += demangled.mid(i, j - i);
            i = j - 1;
            continue;
        }
        if (ch == u'<' || ch == u'(' || ch == u'{') {
            if (ch == u'(' && depth == 0 && !(current.isEmpty() && parts.isEmpty()))
                break; // parameter list
            ++depth;
            continue;
        }
        if (ch == u'>' || ch == u')' || ch == u'}') {
            depth = std::max(0, depth - 1);
            continue;
        }
        if (depth > 0)
            continue;
        if (ch == u' ' && !current.startsWith(QStringLiteral("operator"))) {
            // The return type of a template function: "void ns::foo<int>(int)".
            parts.clear();
            current.clear();
            continue;
        }
        if (ch == u':' && i + 1 < demangled.size() && demangled[i + 1] == u':') {
            parts << current.trimmed();
            current.clear();
            ++i;
            continue;
        }
        current += ch;
    }
    parts << current.trimmed();
    return parts;
}

} // namespace

void DecodeExportName(const QString& name, TSivrelDebugInfo& info)
{
    if (name.startsWith(QStringLiteral("_Z"))) {
        int status = 0;
        char* demangled = abi::__cxa_demangle(name.toUtf8().constData(), nullptr, nullptr, &status);
        if (status == 0 && demangled) {
            const QStringList parts = ItaniumComponents(QString::fromUtf8(demangled));
            std::free(demangled);
            if (!parts.isEmpty() && !parts.last().isEmpty()) {
                info.UnitName.clear();
                info.ProcedureName = parts.last();
                info.ClassName = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
                info.Kind = 3;
                return;
            }
        } else {
            std::free(demangled);
        }
    }
    if (name.startsWith(u'@') && !name.startsWith(QStringLiteral("@$"))) {
        const qsizetype dollar = name.indexOf(u'$');
        if (dollar < 0)
            return;
        QString s = name.left(dollar);
        if (s.endsWith(u'@'))
            s.chop(1);
        s.remove(0, 1);
        const qsizetype twice = s.indexOf(QStringLiteral("@@"));
        if (twice >= 0)
            s[twice + 1] = u'_';
        for (qsizetype i = 0; i < s.size(); ++i)
            if (s[i] == u'@' && !(twice >= 0 && i == twice))
                s[i] = u'.';
        SplitDotted(s, info);
    } else if (name.contains(u'.')) {
        const qsizetype at = name.indexOf(u'@');
        SplitDotted(at >= 0 ? name.left(at) : name, info);
    } else if (!name.startsWith(u'?')) {
        info.UnitName.clear();
        info.ClassName.clear();
        info.ProcedureName = name.startsWith(u'@') ? u'_' + name.mid(1) : name;
        info.Kind = 2;
    }
}

// ------------------------------------------------------------------ shared block

QString SharedBlockName(uintptr_t handle, pid_t pid)
{
    return QStringLiteral("/%1%2MODULE")
        .arg(static_cast<uint32_t>(pid), 8, 16, QLatin1Char('0'))
        .arg(static_cast<qulonglong>(handle), 16, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<TSivrelSharedBlock> OpenSharedBlock(uintptr_t handle, size_t size)
{
    const QByteArray name = SharedBlockName(handle).toLatin1();
    TSivrelSharedBlock block;
    if (size == 0) {
        block.fd = shm_open(name.constData(), O_RDWR | O_CLOEXEC, 0600);
        if (block.fd < 0)
            return std::nullopt;
        struct stat st;
        if (fstat(block.fd, &st) != 0 || st.st_size < 4) {
            ::close(block.fd);
            return std::nullopt;
        }
        block.total = static_cast<size_t>(st.st_size);
    } else {
        block.fd = shm_open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (block.fd < 0)
            return std::nullopt;
        block.total = size + 4;
        if (ftruncate(block.fd, static_cast<off_t>(block.total)) != 0) {
            ::close(block.fd);
            return std::nullopt;
        }
    }
    void* p = mmap(nullptr, block.total, PROT_READ | PROT_WRITE, MAP_SHARED, block.fd, 0);
    if (p == MAP_FAILED) {
        ::close(block.fd);
        return std::nullopt;
    }
    block.base = static_cast<uint8_t*>(p);
    if (size != 0) {
        const uint32_t total = static_cast<uint32_t>(block.total);
        std::memcpy(block.base, &total, 4);
    } else {
        uint32_t stored;
        std::memcpy(&stored, block.base, 4);
        if (stored < block.total)
            block.total = std::max<size_t>(stored, 4); // the size the writer gave
    }
    return block;
}

void CloseSharedBlock(TSivrelSharedBlock& block)
{
    if (block.base) {
        struct stat st;
        size_t mapped = block.total;
        if (fstat(block.fd, &st) == 0)
            mapped = static_cast<size_t>(st.st_size);
        munmap(block.base, mapped);
    }
    if (block.fd >= 0)
        ::close(block.fd);
    block = TSivrelSharedBlock();
}

void UnlinkSharedBlock(uintptr_t handle)
{
    shm_unlink(SharedBlockName(handle).toLatin1().constData());
}

namespace {

// The own block's name as noted at its creation, for the signal path (no allocation there).
std::mutex g_ownBlockMutex;
char g_ownBlockName[64];
std::atomic<pid_t> g_ownBlockPid{0};

// Makes this module's block anew with the given data.
bool CreateOwnSharedBlock(const QByteArray& data)
{
    const uintptr_t self = SivrelThisModule();
    std::lock_guard lock(g_ownBlockMutex);
    const QByteArray name = SharedBlockName(self).toLatin1();
    if (g_ownBlockPid.load() != getpid() || name != g_ownBlockName) {
        g_ownBlockPid.store(0);
        qstrncpy(g_ownBlockName, name.constData(), sizeof g_ownBlockName);
        g_ownBlockPid.store(getpid());
    }
    UnlinkSharedBlock(self);
    auto block = OpenSharedBlock(self, static_cast<size_t>(data.size()));
    if (!block)
        return false;
    std::memcpy(block->Data(), data.constData(), static_cast<size_t>(data.size()));
    CloseSharedBlock(*block);
    return true;
}

} // namespace

bool SivrelCreateOwnSharedBlock()
{
    return CreateOwnSharedBlock(QByteArray(1, '\0'));
}

void SivrelCloseOwnSharedBlock()
{
    std::lock_guard lock(g_ownBlockMutex);
    UnlinkSharedBlock(SivrelThisModule());
    g_ownBlockPid.store(0);
}

void SivrelUnlinkOwnSharedBlockFromSignal() noexcept
{
    // glibc's shm_unlink builds the path on the stack and calls unlink: nothing that a signal
    // handler must avoid.
    if (g_ownBlockPid.load() == getpid())
        shm_unlink(g_ownBlockName);
}

TSivrelModuleOptionsEx::~TSivrelModuleOptionsEx() = default;

void TSivrelModuleOptionsEx::Changed()
{
    TSivrelStream stream;
    stream.WriteByte(1);
    SaveToStream(stream);
    CreateOwnSharedBlock(stream.Data());
}

void TSivrelModuleOptionsEx::SetActive(bool value)
{
    if (!m_current) {
        TSivrelModuleOptions::SetActive(value);
        return;
    }
    if (value == Active())
        return;
    TSivrelModuleOptions::SetActive(value);
    if (value && FreezeActive())
        StartFreezeDetector();
    else
        StopFreezeDetector();
}

void TSivrelModuleOptionsEx::SetFreezeActive(bool value)
{
    if (!m_current) {
        TSivrelModuleOptions::SetFreezeActive(value);
        return;
    }
    if (value == FreezeActive())
        return;
    TSivrelModuleOptions::SetFreezeActive(value);
    if (value && Active())
        StartFreezeDetector();
    else
        StopFreezeDetector();
}

bool LoadModuleData(TSivrelModuleInfo& info)
{
    TSivrelDataInfo data;
    // Loading is no change to publish: the shared block would only repeat the file's options (and
    // outlive the process until the reporter's deactivation removes it).
    info.Options->BeginUpdate();
    // The debug block is read when a call stack or a name needs it: inflating it at the start
    // took most of the program's start time.
    TSivrelDebugSource debug;
    const bool loaded = SivrelOpenDataBlock(info.FileName, *info.Options, data, debug);
    info.Options->EndUpdate();
    if (!loaded)
        return false;
    info.DataVersion = data.DataVersion;
    info.Reserved = data.Reserved;
    info.DebugInfo = debug;
    if (info.Handle != SivrelThisModule()) {
        if (auto block = OpenSharedBlock(info.Handle, 0)) {
            if (block->DataSize() >= 1 && block->Data()[0] != 0) {
                TSivrelStream s(QByteArray(reinterpret_cast<const char*>(block->Data()) + 1,
                                           static_cast<qsizetype>(block->DataSize() - 1)));
                TSivrelModuleOptions published(QString(), false);
                published.Assign(info.Options.get());
                try {
                    published.LoadFromStream(s, SivrelDataVersion);
                    info.Options->Assign(&published);
                } catch (const EReadError&) {
                    // a damaged block leaves the options of the data block in force
                }
            }
            CloseSharedBlock(*block);
        }
    }
    return true;
}

// ------------------------------------------------------------------ the list

int TSivrelModulesList::Count() const
{
    std::shared_lock lock(m_lock);
    return static_cast<int>(m_items.size());
}

TSivrelModuleRef TSivrelModulesList::Items(int index) const
{
    std::shared_lock lock(m_lock);
    return index >= 0 && size_t(index) < m_items.size() ? m_items[size_t(index)] : nullptr;
}

TSivrelModuleRef TSivrelModulesList::Find(uintptr_t handle) const
{
    for (const TSivrelModuleRef& m : m_items)
        if (m->Handle == handle)
            return m;
    return nullptr;
}

TSivrelModuleRef TSivrelModulesList::AddModule(uintptr_t handle, bool enumerating)
{
    const auto object = ObjectAt(handle);
    if (!object || object->name.isEmpty())
        return nullptr;
    auto m = std::make_shared<TSivrelModuleInfo>();
    m->Handle = handle;
    m->FileName = object->name;
    QFileInfo file(m->FileName);
    m->FileDate = file.lastModified();
    m->FileSize = static_cast<uint32_t>(file.size());
    if (!ReadVersionNote(handle, &m->Description, &m->Version))
        m->Version = VersionFromFileName(file.canonicalFilePath().isEmpty() ? m->FileName : file.canonicalFilePath());
    m->Options = std::make_unique<TSivrelModuleOptionsEx>(m->FileName, true);
    if (enumerating) {
        m->ModuleType = mtUnknown;
    } else {
        ReadExports(handle, m->Functions);
        m->ModuleType = GetModuleType(handle);
        if (!LoadModuleData(*m)) {
            m->DataVersion = 467;
            m->Reserved = {};
            m->DebugInfo.Reset();
        }
    }
    m_items.push_back(m);
    return m;
}

TSivrelModuleRef TSivrelModulesList::ModuleInfo(uintptr_t handle)
{
    if (handle == 0)
        return nullptr;
    {
        std::shared_lock lock(m_lock);
        if (TSivrelModuleRef m = Find(handle); m && m->ModuleType != mtUnknown)
            return m;
    }
    std::unique_lock lock(m_lock);
    if (TSivrelModuleRef m = Find(handle)) {
        if (m->ModuleType != mtUnknown)
            return m;
        // Made during an enumeration: examine it in full now.
        m_items.erase(std::find(m_items.begin(), m_items.end(), m));
    }
    TSivrelModuleRef m = AddModule(handle, false);
    std::sort(m_items.begin(), m_items.end(), [](const auto& a, const auto& b) { return a->Handle < b->Handle; });
    return m;
}

TSivrelModuleRef TSivrelModulesList::ModuleOfAddress(uintptr_t address)
{
    return ModuleInfo(SivrelModuleOfAddress(address));
}

void TSivrelModulesList::RefreshModules()
{
    const std::vector<LoadedObject> loaded = LoadedObjects();
    std::unique_lock lock(m_lock);
    std::erase_if(m_items, [&](const TSivrelModuleRef& m) {
        return std::none_of(loaded.begin(), loaded.end(), [&](const LoadedObject& o) { return o.base == m->Handle; });
    });
    for (const LoadedObject& o : loaded)
        if (!Find(o.base))
            AddModule(o.base, true);
    std::sort(m_items.begin(), m_items.end(), [](const auto& a, const auto& b) { return a->Handle < b->Handle; });
}

void TSivrelModulesList::DropChangedModules()
{
    std::unique_lock lock(m_lock);
    std::erase_if(m_items, [](const TSivrelModuleRef& m) { return QFileInfo(m->FileName).lastModified() != m->FileDate; });
}

void TSivrelModulesList::Clear()
{
    std::unique_lock lock(m_lock);
    m_items.clear();
}

TSivrelDebugInfo TSivrelModulesList::GetDebugInfo(uintptr_t address)
{
    TSivrelDebugInfo info;
    info.Address = address;
    const TSivrelModuleRef m = ModuleOfAddress(address);
    if (!m)
        return info;
    info.Module = m;
    info.Kind = 1;
    const TSivrelDebugSource::TLoaded* debug = m->DebugInfo.Get();
    if (debug && address >= m->Handle + SivrelCodeOffsetBase) {
        TSivrelLineInfo line;
        if (SivrelFindLine(debug->Block, m->DataVersion, address - m->Handle - SivrelCodeOffsetBase, line, &debug->Index)
            == TSivrelLookup::Found) {
            info.Kind = 4;
            info.UnitName = line.UnitName;
            info.ClassName = line.ClassName;
            info.ProcedureName = line.ProcedureName;
            info.Line = line.Line;
            return info;
        }
    }
    if (const TSivrelFunctionInfo* f = m->Functions.Find(address))
        DecodeExportName(f->Name, info);
    return info;
}

uintptr_t TSivrelModulesList::FindInDebugBlock(uintptr_t module, const QString& qualifiedName)
{
    const TSivrelModuleRef m = ModuleInfo(module);
    const TSivrelDebugSource::TLoaded* debug = m ? m->DebugInfo.Get() : nullptr;
    if (!debug)
        return 0;
    const auto offset = SivrelFindName(debug->Block, m->DataVersion, qualifiedName);
    return offset ? m->Handle + SivrelCodeOffsetBase + *offset : 0;
}

std::unique_ptr<TSivrelStackList> TSivrelModulesList::BuildCallStack(uintptr_t firstAddress,
                                                                     const std::vector<uintptr_t>& returnAddresses,
                                                                     uintptr_t stackStart, uintptr_t stackEnd)
{
    auto list = std::make_unique<TSivrelStackList>();
    if (firstAddress)
        list->Add(GetDebugInfo(firstAddress));
    if (returnAddresses.size() >= 2) {
        for (uintptr_t ret : returnAddresses) {
            const uintptr_t call = SivrelCallBefore(ret);
            list->Add(GetDebugInfo(call ? call : ret - 1));
        }
    } else {
        for (const TSivrelStackCall& c : SivrelScanStack(stackStart, stackEnd)) {
            if (c.Target)
                list->Add(GetDebugInfo(c.Target));
            list->Add(GetDebugInfo(c.Call));
        }
    }
    list->HideRepeats();
    return list;
}

} // namespace excreport
