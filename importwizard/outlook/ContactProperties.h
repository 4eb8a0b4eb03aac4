#pragma once
// The contact properties the import offers, by the names Outlook gives them, and where each one
// lives in a data file: a property tag, a named property of the contact or common property set,
// a name composed from the stored name parts, or nothing.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace outlook {

// The property sets the contact names use (GUIDs in the byte order a data file stores them).
enum class TPropertySet { None, Address, Common, PublicStrings };
QByteArray PropertySetGuid(TPropertySet set);

struct TContactProperty {
    enum Kind {
        Tag,       // a property tag: id
        Named,     // a named property: set and numeric id
        NamedText, // a named property with a string name: set and text
        Composed,  // made from other names (ComposeContactName)
        EntryId,   // the item's entry identifier
        Empty,     // not held in a data file: always empty
    };
    Kind kind = Empty;
    quint32 id = 0;
    TPropertySet set = TPropertySet::None;
    const char* text = nullptr;
};

// The 120 names, in alphabetical order ignoring case.
const QStringList& ContactPropertyNames();
// Where a name lives; null for a name that is none of the 120 (case counts).
const TContactProperty* FindContactProperty(const QString& name);
// The value of a composed name, from the stored values that get returns.
QString ComposeContactName(const QString& name, const std::function<QString(const QString&)>& get);

// Text of stored values, as the import writes them.
QString DateText(qint64 msecsSinceEpochUtc);  // dd.MM.yyyy, with HH:mm:ss when not midnight (local time)
QString HexText(const QByteArray& bytes);     // upper-case hex

} // namespace outlook
