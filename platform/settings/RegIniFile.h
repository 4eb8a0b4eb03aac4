#pragma once
// The per-user settings store: a key of sections and named values, kept in one INI-style file
// below $XDG_CONFIG_HOME. A key path "Software\<Maker>\<Name>" lives in "<Maker>/<Name>.conf";
// a section is a sub-key of the key, and a section name with "\" is a path of nested sub-keys
// ("Users\a@b.de"). The empty section name means the key itself.
//
// Section and value names match ignoring case; a sub-key or value keeps the spelling it was
// created with. Sub-keys are listed in case-insensitive alphabetical order. Values are either
// strings (integers and Booleans are stored as decimal text) or binary data; reading a value as
// the wrong kind raises ERegistryException.
//
// The file is created 0600 in a 0700 folder and every change is written to a temporary file that
// replaces the old one, so an interrupted write leaves the previous file intact. Comments (";",
// "#") and lines the store cannot read (a damaged file, a hand edit) are kept as they stand: a
// rewrite puts them back in their section after its values. The store objects
// of one process share what was read of a key's file and write every change through to it; a
// read looks at the file's status and reads it again only when another process has changed it,
// so a program start reads each settings file once.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <stdexcept>

namespace settings {

class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

class TRegIniFile {
public:
    // Opens the key (for example "Software\ORV Software\Quillory2"); the file is created when
    // it is missing and can be created.
    explicit TRegIniFile(const QString& keyPath);
    ~TRegIniFile();
    TRegIniFile(const TRegIniFile&) = delete;
    TRegIniFile& operator=(const TRegIniFile&) = delete;

    QString KeyPath() const;
    QString FileName() const;  // the file that holds the key

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Decimal text; the default when the value is missing or not a number.
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& ident, int value);
    // Stored as "0" / "1"; read as an integer, anything but 0 is true.
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& ident, bool value);
    // Binary value; nothing when it is missing.
    std::optional<QByteArray> ReadBinaryData(const QString& section, const QString& ident) const;
    void WriteBinaryData(const QString& section, const QString& ident, const QByteArray& data);

    // Names of the direct sub-keys of a section ("" = the key itself), case-insensitively sorted.
    QStringList ReadSubKeys(const QString& section) const;
    // The key's own sub-keys (the top-level sections).
    QStringList ReadSections() const { return ReadSubKeys(QString()); }
    // Names of the values of a section, in the order they were created.
    QStringList ReadSection(const QString& section) const;

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    // Removes a section with all its values and sub-keys. Erasing "" empties the whole key.
    void EraseSection(const QString& section);
    // Removes one value of a section.
    void DeleteKey(const QString& section, const QString& ident);

    // Where a key path is stored: $XDG_CONFIG_HOME/<path without "Software\">.conf
    static QString FileNameForKey(const QString& keyPath);
    // How often this process has read a settings file (for checks of the start).
    static int FileReads();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace settings
