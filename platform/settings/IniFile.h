#pragma once
// An INI file as the toolkit's TIniFile reads and writes it: "[Section]" lines and "Name=Value"
// lines kept verbatim (no escaping), section and value names matching ignoring case. Every change
// is written at once to a temporary file that replaces the old one.
//
// A relative file name lies in the settings folder that stands in for the Windows folder:
// $XDG_CONFIG_HOME/ORV Software.
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace settings {

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    QString FileName() const { return m_fileName; }
    // Where a relative INI file name is kept.
    static QString WindowsFolder();

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Decimal (or "0x" hexadecimal) text; the default when missing or not a number.
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& ident, int value);
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& ident, bool value);

    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const;   // value names
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& ident);

private:
    struct Section {
        QString name;
        std::vector<std::pair<QString, QString>> values;
    };
    void load();
    void save() const;
    const Section* find(const QString& name) const;
    Section* find(const QString& name);

    QString m_fileName;
    std::vector<Section> m_sections;
};

} // namespace settings
