#pragma once
// Database routines shared by the program: the data-access version, creation of an empty database
// file, and quoting of table and column names.
#include <QLocale>
#include <QString>

#include "platform/db/Connection.h"

namespace core {

// The version of the data-access library (SQLite) as a number, read with the rule below and the
// user's locale; 0 when it cannot be read. Never raises.
double GetMdacVersion();
// The text-to-number rule of GetMdacVersion: the first 3 characters of the version text with the
// first "." replaced by ",", converted with the locale's decimal separator; 0 when that fails
// (so the conversion succeeds only where the decimal separator is the comma).
double MdacVersionFromText(const QString& versionText, const QLocale& locale);

// Creates an empty database file when the file does not exist (an existing file is left alone).
// Raises db::EDatabaseError when it cannot be created.
void CreateAccessDatabase(const QString& fileName);

// Quotes a table or column name for a foreign database's SQL: a name made only of letters, digits
// and "_" comes back unchanged; any other name is enclosed in "[" "]" (with "]" doubled) when the
// connection string names a Jet provider (".Jet.", ignoring case), otherwise in double quotes
// (with '"' doubled).
QString QuoteIdentifier(const QString& name, const QString& connectionString);

// Quotes a table or column name for our own SQLite statements: always "name", '"' doubled.
inline QString QuoteSqlName(const QString& name) { return db::QuoteName(name); }

} // namespace core
