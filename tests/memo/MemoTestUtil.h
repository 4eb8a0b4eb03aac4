#pragma once
// Readable gtest output for Qt strings and memo positions.
#include "htmleditor/memo/ZedTypes.h"

#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{';
    for (int i = 0; i < l.size(); ++i)
        *os << (i ? ", " : "") << '"' << l[i].toStdString() << '"';
    *os << '}';
}
inline void PrintTo(const TZedPos& p, std::ostream* os) { *os << "(col " << p.Col << ", line " << p.Line << ')'; }
