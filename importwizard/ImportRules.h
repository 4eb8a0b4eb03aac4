#pragma once
// The import wizard's rules that need no window: reading delimited text, guessing the separator,
// the first column mapping, arranging a source row in target order, and the overview texts.
#include "core/TextFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace importwizard {

// ---- delimited text ----------------------------------------------------------------------

using core::DecodeTextFile;

// Splits one record of delimited text (CsvRecords.h) into trimmed values (blanks and control characters removed
// at both ends). A value whose first non-blank character is a double quote runs to its closing
// quote; inside it "" stands for one quote and the separator and line breaks belong to the value, and a
// quote still open at the end of the record closes there. A double quote anywhere else is kept as it is.
// A pair of single quotes around a whole unquoted value is removed (an apostrophe inside stays).
// The line is split at every separator outside quotes and empty values are kept, also with the
// tab separator. A line that is blank after trimming gives no values; a null separator makes
// the whole line one value.
QStringList SplitCsvLine(QStringView line, QChar separator);

// Number of separators of the line that stand outside quoted values.
int CountSeparators(QStringView line, QChar separator);

// Picks the separator for a line: the candidate that occurs most often outside quoted values,
// the earlier one on a tie. Returns the index of the candidate, or current when none occurs.
int DetectSeparatorIndex(QStringView line, const QList<QChar>& candidates, int current);

// True when every value is empty (also for no values).
bool AllEmpty(const QStringList& values);

// ---- column mapping ----------------------------------------------------------------------
// A mapping holds one decimal entry per target column in reverse order of the target columns,
// "-1" for none (see TAssociationBox).

// The stored form: every entry followed by CR LF.
QString JoinMapping(const QStringList& mapping);
// Reads the stored form back. Nothing when an entry is not a decimal integer.
std::optional<QStringList> ParseStoredMapping(const QString& text);

// The automatic first mapping: the position of the first value that contains "@" or "mail"
// (ignoring case) as the only entry, or no entry when there is none.
QStringList AutomaticMapping(const QStringList& values);

// The mapping to apply when the mapping page is filled for n target columns: the one kept in
// memory when it holds an entry, else the stored one when it has exactly n entries, else the
// automatic one; padded at its front with "-1" to n entries. Empty when it ends up with more than
// n entries (then nothing is applied).
QStringList InitialMapping(const QStringList& inMemory, const QString& stored, const QStringList& values, int n);

// True when at least one entry maps a source column.
bool MapsAnyColumn(const QStringList& mapping);

// The row in target order: walks the mapping from its last entry to its first and takes the
// value at each entry's position, an empty text for "-1" or a position beyond the values.
QStringList OrderRow(const QStringList& values, const QStringList& mapping);
// The mapping's column numbers in row order (-1 where an entry names no column), read once for
// the rows of a run.
QList<int> MappingColumns(const QStringList& mapping);
QStringList OrderRowByColumns(const QStringList& values, const QList<int>& columns);
QStringList OrderRowByColumns(QStringList&& values, const QList<int>& columns);   // takes the values over

// ---- overview ----------------------------------------------------------------------------

// "; (Semikolon)", ", (Komma)", ": (Doppelpunkt)", else "Tabulator".
QString SeparatorDescription(QChar separator);

// A file name shown in at most about 30 characters: whole when it has at most 30, otherwise its
// first (30 - n) characters, ".../" and its last path component of n characters.
QString ShortFileName(const QString& fileName);

} // namespace importwizard
