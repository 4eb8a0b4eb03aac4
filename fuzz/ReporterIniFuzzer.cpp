// The reporter's INI routines (ReadIniString / WriteIniString) on arbitrary files.
// Input: bytes 0-1 give the lengths of a section name and a key name (each 0..15), then come
// those names, a value (up to the first 0x00 byte) and after it the file's content.
// Property: after WriteIniString(section, key, value) on that file, ReadIniString gives the value
// back, and every other key of every section reads as it did before (names and value as the
// routines can hold them: one line, no spaces around, a key without "=" that does not start with
// "[", since its line would read as a section header once the value holds a "]").
// Seeds (tests/fuzz-corpus/reporterini/): a dialog-position file with two sections, one with CR LF
// line ends, quotes and duplicate sections, and one without a final line break.
#include "excreport/SivrelSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QString g_file;

bool OneLine(const QString& s)
{
    return !s.contains(u'\n') && !s.contains(u'\r') && s.trimmed() == s;
}

// What every (section, key) the file seems to name reads as.
std::vector<std::pair<std::pair<QString, QString>, QString>> Snapshot(const QByteArray& bytes)
{
    std::vector<std::pair<std::pair<QString, QString>, QString>> all;
    QStringList sections{QString()};
    QStringList keys;
    for (const QString& raw : QString::fromUtf8(bytes).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[') && line.contains(u']'))
            sections << line.mid(1, line.indexOf(u']') - 1).trimmed();
        else if (line.indexOf(u'=') > 0)
            keys << line.left(line.indexOf(u'=')).trimmed();
    }
    sections.removeDuplicates();
    keys.removeDuplicates();
    if (sections.size() * keys.size() > 400)
        return all;
    for (const QString& s : sections)
        for (const QString& k : keys)
            all.push_back({{s, k}, excreport::ReadIniString(g_file, s, k, QStringLiteral("\x01<none>"))});
    return all;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char dir[] = "/tmp/qly-fuzz-ini-XXXXXX";
    if (!::mkdtemp(dir))
        std::abort();
    static QString scratch = QString::fromLocal8Bit(dir);
    std::atexit([] { QDir(scratch).removeRecursively(); });
    g_file = QString::fromLocal8Bit(dir) + QStringLiteral("/ELSettings.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 8192)
        return 0;
    const size_t sectionLen = data[0] % 16, keyLen = data[1] % 16;
    if (size < 2 + sectionLen + keyLen)
        return 0;
    const char* p = reinterpret_cast<const char*>(data) + 2;
    const QString section = QString::fromUtf8(p, qsizetype(sectionLen));
    const QString key = QString::fromUtf8(p + sectionLen, qsizetype(keyLen));
    const char* rest = p + sectionLen + keyLen;
    const char* end = reinterpret_cast<const char*>(data) + size;
    const char* zero = static_cast<const char*>(memchr(rest, 0, size_t(end - rest)));
    const QString value = QString::fromUtf8(rest, qsizetype((zero ? zero : end) - rest));
    const QByteArray file = zero ? QByteArray(zero + 1, qsizetype(end - zero - 1)) : QByteArray();

    // Names and values the routines cannot hold are left out.
    if (!OneLine(section) || section.contains(u']') || !OneLine(key) || key.isEmpty() || key.contains(u'=')
        || key.startsWith(u'[') || !OneLine(value) || value.size() > 2047
        || (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()))
        return 0;

    {
        QFile f(g_file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(file) != file.size())
            std::abort();
    }
    const auto before = Snapshot(file);
    excreport::WriteIniString(g_file, section, key, value);
    if (excreport::ReadIniString(g_file, section, key, QStringLiteral("\x01<none>")) != value)
        __builtin_trap(); // the value written does not read back
    for (const auto& [where, was] : before) {
        if (where.first.compare(section, Qt::CaseInsensitive) == 0 && where.second.compare(key, Qt::CaseInsensitive) == 0)
            continue;
        if (excreport::ReadIniString(g_file, where.first, where.second, QStringLiteral("\x01<none>")) != was)
            __builtin_trap(); // writing one key changed another
    }
    return 0;
}
