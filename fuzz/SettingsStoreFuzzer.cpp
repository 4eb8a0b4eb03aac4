// The settings store's file reader (TRegIniFile) on arbitrary files, and its writer on arbitrary
// names and values.
// Input: byte 0 picks the mode.
//   even: the rest is the content of a settings file. Whatever the store reads from it, it writes
//         back (a change makes it rewrite the file); that file, read afresh, gives the same key,
//         and it still holds every comment and every line that is no header and has no "=".
//   odd:  the rest drives writes of strings, integers and binary values under section paths and
//         names of arbitrary UTF-16 text (lone surrogates, control characters, "%", "\", quotes);
//         the file written, read afresh, gives what the store holds in memory.
// Seeds (tests/fuzz-corpus/settingsstore/): files in the store's format (sections, nested
// sub-keys, escapes, binary values, comments, a damaged line) and two write scripts.
#include "platform/settings/RegIniFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using settings::ERegistryException;
using settings::TRegIniFile;

namespace {

const QString kIn = QStringLiteral("Software\\Fuzz\\In");
const QString kOut = QStringLiteral("Software\\Fuzz\\Out");

// The whole key as text: sub-keys in the store's order, each value with its kind.
void Dump(const TRegIniFile& reg, const QString& section, QString& out, int depth = 0)
{
    if (depth > 64)
        return;
    out += QStringLiteral("[") + section + QStringLiteral("]\n");
    for (const QString& name : reg.ReadSection(section)) {
        out += name + QStringLiteral("=");
        try {
            out += QStringLiteral("s:") + reg.ReadString(section, name, QStringLiteral("<missing>"));
        } catch (const ERegistryException&) {
            const auto data = reg.ReadBinaryData(section, name);
            if (!data)
                __builtin_trap(); // listed, but neither a string nor binary data
            out += QStringLiteral("b:") + QString::fromLatin1(data->toHex());
        }
        out += QStringLiteral("\n");
    }
    for (const QString& sub : reg.ReadSubKeys(section)) {
        if (!reg.SectionExists(section.isEmpty() ? sub : section + QStringLiteral("\\") + sub))
            __builtin_trap(); // a listed sub-key must be found by its name
        Dump(reg, section.isEmpty() ? sub : section + QStringLiteral("\\") + sub, out, depth + 1);
    }
}

QByteArray ReadAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The key "Out" given the bytes of a file the store wrote, read afresh.
QString ReadBack(const QByteArray& written)
{
    const QString outFile = TRegIniFile::FileNameForKey(kOut);
    if (!WriteAll(outFile, written))
        __builtin_trap();
    TRegIniFile out(kOut);
    QString dump;
    Dump(out, QString(), dump);
    return dump;
}

QString Text(FuzzedDataProvider& p, size_t maxUnits)
{
    const size_t n = p.ConsumeIntegralInRange<size_t>(0, maxUnits);
    QString s;
    for (size_t i = 0; i < n && p.remaining_bytes() > 0; ++i) {
        // Mostly short codes, so that "\", "%", quotes and line breaks come up often.
        const uint8_t kind = p.ConsumeIntegral<uint8_t>();
        if (kind < 160)
            s += QChar(char16_t(kind % 0x80));
        else
            s += QChar(p.ConsumeIntegral<char16_t>());
    }
    return s;
}

void FileMode(const uint8_t* data, size_t size)
{
    const QString inFile = TRegIniFile::FileNameForKey(kIn);
    if (!WriteAll(inFile, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        __builtin_trap();
    TRegIniFile in(kIn);
    QString before;
    Dump(in, QString(), before);
    // A change makes the store write the whole key; the marker value goes again at once.
    const QString marker = QStringLiteral("\x01fuzz-marker");
    if (in.ValueExists(QString(), marker))
        return;
    in.WriteString(QString(), marker, QStringLiteral("x"));
    in.DeleteKey(QString(), marker);
    QString after;
    Dump(in, QString(), after);
    if (after != before)
        __builtin_trap(); // writing lost or changed what was read
    const QByteArray written = ReadAll(inFile);
    if (ReadBack(written) != before)
        __builtin_trap(); // the file written does not read back as the key it was written from
    // Lines that can be no section header and no value (no "="), and comments, are kept.
    QStringList out = QString::fromUtf8(written).split(QLatin1Char('\n'));
    for (QString& line : out)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    for (QString line : QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const bool header = line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
        const bool comment = line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'));
        if (!line.isEmpty() && !header && (comment || !line.contains(QLatin1Char('='))) && !out.contains(line)) {
            fprintf(stderr, "line lost by the rewrite: %s\n", qPrintable(line));
            __builtin_trap();
        }
    }
}

void WriteMode(const uint8_t* data, size_t size)
{
    ::unlink(QFile::encodeName(TRegIniFile::FileNameForKey(kIn)).constData());
    TRegIniFile in(kIn);
    FuzzedDataProvider p(data, size);
    for (int op = 0; op < 24 && p.remaining_bytes() > 0; ++op) {
        QString section = Text(p, 12);
        const QString name = Text(p, 12);
        switch (p.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
            in.WriteString(section, name, Text(p, 40));
            break;
        case 1:
            in.WriteInteger(section, name, p.ConsumeIntegral<int>());
            break;
        case 2: {
            const std::string bytes = p.ConsumeRandomLengthString(32);
            in.WriteBinaryData(section, name, QByteArray(bytes.data(), qsizetype(bytes.size())));
            break;
        }
        case 3:
            in.DeleteKey(section, name);
            break;
        case 4:
            in.EraseSection(section + QStringLiteral("\\") + name);
            break;
        }
    }
    QString held;
    Dump(in, QString(), held);
    if (ReadBack(ReadAll(TRegIniFile::FileNameForKey(kIn))) != held)
        __builtin_trap(); // the file written does not read back as the key held in memory
}

} // namespace

// The store syncs every file it writes; on a scratch folder that only slows the runs down
// (the executable's definition is the one the store's calls reach).
extern "C" int fsync(int) { return 0; }

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char dir[] = "/tmp/qly-fuzz-settings-XXXXXX";
    if (!::mkdtemp(dir))
        std::abort();
    static QString scratch = QString::fromLocal8Bit(dir);
    std::atexit([] { QDir(scratch).removeRecursively(); });
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    if (::mkdir((std::string(dir) + "/Fuzz").c_str(), 0700) != 0)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 16384)
        return 0;
    // Every store object is gone at the end of a run, so the next run reads its files afresh.
    if (data[0] % 2 == 0)
        FileMode(data + 1, size - 1);
    else
        WriteMode(data + 1, size - 1);
    return 0;
}
