#pragma once
// Readable gtest output for Qt strings.
#include <QString>
#include <ostream>

#ifndef QLY_TEST_QSTRING_PRINTER
#define QLY_TEST_QSTRING_PRINTER
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
#endif
