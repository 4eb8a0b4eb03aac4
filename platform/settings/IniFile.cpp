#include "platform/settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace settings {

namespace {
bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }
} // namespace

QString TIniFile::WindowsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/ORV Software");
}

TIniFile::TIniFile(const QString& fileName)
{
    m_fileName = QFileInfo(fileName).isRelative() ? WindowsFolder() + QLatin1Char('/') + fileName : fileName;
    load();
}

void TIniFile::load()
{
    m_sections.clear();
    QFile f(m_fileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray raw = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    Section* current = nullptr;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            const QString name = trimmed.mid(1, trimmed.size() - 2);
            current = find(name);
            if (!current) {
                m_sections.push_back(Section{name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0)
            continue;
        const QString name = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        bool replaced = false;
        for (auto& v : current->values)
            if (sameName(v.first, name)) {
                v.second = value;
                replaced = true;
            }
        if (!replaced)
            current->values.emplace_back(name, value);
    }
}

void TIniFile::save() const
{
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    QString text;
    for (const Section& s : m_sections) {
        text += QLatin1Char('[') + s.name + QStringLiteral("]\r\n");
        for (const auto& v : s.values)
            text += v.first + QLatin1Char('=') + v.second + QStringLiteral("\r\n");
        text += QStringLiteral("\r\n");
    }
    QSaveFile f(m_fileName);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error(("Cannot write " + m_fileName).toStdString());
    f.write(text.toUtf8());
    if (!f.commit())
        throw std::runtime_error(("Cannot write " + m_fileName).toStdString());
}

const TIniFile::Section* TIniFile::find(const QString& name) const
{
    for (const Section& s : m_sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

TIniFile::Section* TIniFile::find(const QString& name)
{
    return const_cast<Section*>(static_cast<const TIniFile*>(this)->find(name));
}

QString TIniFile::ReadString(const QString& section, const QString& ident, const QString& defaultValue) const
{
    if (const Section* s = find(section))
        for (const auto& v : s->values)
            if (sameName(v.first, ident))
                return v.second;
    return defaultValue;
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    Section* s = find(section);
    if (!s) {
        m_sections.push_back(Section{section, {}});
        s = &m_sections.back();
    }
    bool done = false;
    for (auto& v : s->values)
        if (sameName(v.first, ident)) {
            v.second = value;
            done = true;
        }
    if (!done)
        s->values.emplace_back(ident, value);
    save();
}

int TIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const
{
    const QString text = ReadString(section, ident, QString()).trimmed();
    bool ok = false;
    const int v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                  : text.startsWith(QLatin1Char('$'))                       ? text.mid(1).toInt(&ok, 16)
                                                                            : text.toInt(&ok);
    return ok ? v : defaultValue;
}

void TIniFile::WriteInteger(const QString& section, const QString& ident, int value)
{
    WriteString(section, ident, QString::number(value));
}

bool TIniFile::ReadBool(const QString& section, const QString& ident, bool defaultValue) const
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList TIniFile::ReadSections() const
{
    QStringList out;
    for (const Section& s : m_sections)
        out << s.name;
    return out;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    QStringList out;
    if (const Section* s = find(section))
        for (const auto& v : s->values)
            out << v.first;
    return out;
}

bool TIniFile::SectionExists(const QString& section) const { return find(section) != nullptr; }

bool TIniFile::ValueExists(const QString& section, const QString& ident) const
{
    return ReadSection(section).contains(ident, Qt::CaseInsensitive);
}

void TIniFile::EraseSection(const QString& section)
{
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
        if (sameName(it->name, section)) {
            m_sections.erase(it);
            save();
            return;
        }
}

void TIniFile::DeleteKey(const QString& section, const QString& ident)
{
    Section* s = find(section);
    if (!s)
        return;
    for (auto it = s->values.begin(); it != s->values.end(); ++it)
        if (sameName(it->first, ident)) {
            s->values.erase(it);
            save();
            return;
        }
}

} // namespace settings
