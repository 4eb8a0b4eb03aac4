#pragma once
// Readable gtest output for Qt values.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

inline void PrintTo(const QVariant& v, std::ostream* os)
{
    if (v.isNull())
        *os << "NULL";
    else if (v.typeId() == QMetaType::QString)
        *os << '"' << v.toString().toStdString() << '"';
    else
        *os << v.toString().toStdString() << " (" << v.typeName() << ')';
}
