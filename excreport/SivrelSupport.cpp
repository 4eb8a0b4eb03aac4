#include "excreport/SivrelSupport.h"
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>
#include <dlfcn.h>
#include <link.h>

namespace excreport {

namespace {

struct FindObject {
    uintptr_t address = 0;
    bool found = false;
    QString name;
};

int FindObjectCallback(dl_phdr_info* info, size_t, void* data)
{
    auto* f = static_cast<FindObject*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (f->address >= start && f->address - start < ph.p_memsz) {
            f->found = true;
            f->name = QFile::decodeName(info->dlpi_name ? info->dlpi_name : "");
            return 1;
        }
    }
    return 0;
}

} // namespace

QString SivrelThisModuleFileName()
{
    static const QString name = [] {
        FindObject f;
        f.address = reinterpret_cast<uintptr_t>(&SivrelThisModuleFileName);
        dl_iterate_phdr(FindObjectCallback, &f);
        // The main program is listed without a name.
        if (!f.found || f.name.isEmpty())
            return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        return f.name;
    }();
    return name;
}

namespace {

size_t PageSize()
{
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

enum class Probe { Readable, Unreadable, Refused };

std::atomic<bool> g_mapsFallback{false};

bool Refused(int error)
{
    return error == EPERM || error == ENOSYS;
}

Probe ProbeByte(uintptr_t address)
{
    if (g_mapsFallback.load(std::memory_order_relaxed))
        return Probe::Refused;
    char byte;
    iovec local{&byte, 1};
    iovec remote{reinterpret_cast<void*>(address), 1};
    const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (n == 1)
        return Probe::Readable;
    return Refused(errno) ? Probe::Refused : Probe::Unreadable;
}

// Readable per /proc/self/maps: every page of [first, last] in a mapping with "r".
bool ReadableByMaps(uintptr_t first, uintptr_t last)
{
    FILE* f = std::fopen("/proc/self/maps", "re");
    if (!f)
        return false;
    uintptr_t covered = first;
    char line[512];
    bool lineStart = true;
    while (covered <= last && std::fgets(line, sizeof line, f)) {
        // A line longer than the buffer comes in pieces; only a line's first piece has the range.
        const bool atStart = lineStart;
        lineStart = std::strchr(line, '\n') != nullptr;
        unsigned long start = 0, end = 0;
        char perms[8] = {};
        if (!atStart || std::sscanf(line, "%lx-%lx %7s", &start, &end, perms) != 3)
            continue;
        if (covered >= start && covered < end) {
            if (perms[0] != 'r')
                break;
            if (end == 0 || end - 1 >= last) {
                covered = last + 1;
                break;
            }
            covered = end;
        }
    }
    std::fclose(f);
    return covered > last;
}

} // namespace

size_t ReadableLength(uintptr_t address, size_t length)
{
    if (address == 0)
        return 0;
    const size_t page = PageSize();
    const uintptr_t firstPage = address & ~(page - 1);
    const uintptr_t lastByte = length > 0 ? address + length - 1 : address;
    if (lastByte < address)
        return 0; // wraps around
    const uintptr_t lastPage = lastByte & ~(page - 1);
    for (uintptr_t p = firstPage;; p += page) {
        const Probe probe = ProbeByte(p < address ? address : p);
        if (probe == Probe::Refused)
            return ReadableByMaps(address, lastByte) ? lastPage + page - address : 0;
        if (probe == Probe::Unreadable)
            return 0;
        if (p == lastPage)
            break;
    }
    return lastPage + page - address;
}

bool IsReadable(uintptr_t address, size_t length)
{
    return ReadableLength(address, length) >= length && address != 0;
}

void SivrelSetMapsFallback(bool on)
{
    g_mapsFallback.store(on, std::memory_order_relaxed);
}

bool ReadMemory(uintptr_t address, void* dest, size_t length)
{
    if (length == 0)
        return true;
    ssize_t n = -1;
    int error = EPERM;
    if (!g_mapsFallback.load(std::memory_order_relaxed)) {
        iovec local{dest, length};
        iovec remote{reinterpret_cast<void*>(address), length};
        n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
        error = errno;
    }
    if (n == static_cast<ssize_t>(length))
        return true;
    if (n < 0 && Refused(error) && IsReadable(address, length)) {
        std::memcpy(dest, reinterpret_cast<const void*>(address), length);
        return true;
    }
    return false;
}

bool DebuggerPresent()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed().toLongLong() != 0;
    return false;
}

uintptr_t CurrentStackTop()
{
    thread_local uintptr_t top = 0;
    if (top == 0) {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* base = nullptr;
            size_t size = 0;
            if (pthread_attr_getstack(&attr, &base, &size) == 0)
                top = reinterpret_cast<uintptr_t>(base) + size;
            pthread_attr_destroy(&attr);
        }
    }
    return top;
}

QString ReplaceAll(const QString& text, const QString& oldText, const QString& newText)
{
    if (oldText.isEmpty())
        return text;
    QString out;
    qsizetype from = 0;
    for (qsizetype at; (at = text.indexOf(oldText, from, Qt::CaseSensitive)) >= 0; from = at + oldText.size())
    {
        out += QStringView(text).mid(from, at - from);
        out += newText;
    }
    out += QStringView(text).mid(from);
    return out;
}

QString TextToHtml(const QString& text)
{
    return ReplaceAll(ReplaceAll(text, QStringLiteral("\r\n"), QStringLiteral("<br>")), QStringLiteral(" "),
                      QStringLiteral("&nbsp;"));
}

QString TempFolder()
{
    const QString dir = qEnvironmentVariable("TMPDIR");
    return dir.isEmpty() ? QStringLiteral("/tmp") : dir;
}

namespace {

constexpr int IniValueLimit = 2047;

QStringList IniLines(const QString& file, bool* exists)
{
    QFile f(file);
    *exists = f.open(QIODevice::ReadOnly);
    if (!*exists)
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
}

bool IsSection(const QString& trimmed, QString* name)
{
    if (!trimmed.startsWith(u'[') || !trimmed.contains(u']'))
        return false;
    *name = trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
    return true;
}

} // namespace

QString ReadIniString(const QString& file, const QString& section, const QString& key, const QString& def)
{
    bool exists = false;
    const QStringList lines = IniLines(file, &exists);
    bool inSection = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        QString name;
        if (IsSection(line, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq <= 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value.left(IniValueLimit);
    }
    return def;
}

void WriteIniString(const QString& file, const QString& section, const QString& key, const QString& value)
{
    bool exists = false;
    QStringList lines = IniLines(file, &exists);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QString entry = key + u'=' + value;
    qsizetype sectionAt = -1, insertAt = -1;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        const QString line = lines[i].trimmed();
        QString name;
        if (IsSection(line, &name)) {
            if (sectionAt >= 0)
                break;
            if (name.compare(section, Qt::CaseInsensitive) == 0)
                sectionAt = insertAt = i + 1;
            continue;
        }
        if (sectionAt < 0)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = entry;
            replaced = true;
        } else if (!line.isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!replaced) {
        if (sectionAt < 0) {
            lines << u'[' + section + u']';
            insertAt = lines.size();
        }
        lines.insert(insertAt, entry);
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return;
    out.write((lines.join(u'\n') + u'\n').toUtf8());
    out.commit();
}

int TimeZoneMinutes(std::time_t when)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
}

} // namespace excreport
