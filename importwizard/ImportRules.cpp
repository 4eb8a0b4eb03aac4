#include "importwizard/ImportRules.h"

#include "core/OrvUtils.h"

#include <QStringDecoder>

namespace importwizard {

namespace {

bool IsBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QStringView Trimmed(QStringView s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && IsBlank(s[from]))
        ++from;
    while (to > from && IsBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

// Scans one line value by value. For each value calls sink(value text) unless sink is null;
// returns the number of separators found outside quotes.
template <typename Sink>
int ScanLine(QStringView line, QChar separator, Sink&& sink)
{
    const bool hasSeparator = !separator.isNull();
    const qsizetype n = line.size();
    int separators = 0;
    qsizetype i = 0;
    for (;;) {
        // Start of a value: look past leading blanks for an opening double quote.
        qsizetype j = i;
        while (j < n && IsBlank(line[j]) && !(hasSeparator && line[j] == separator))
            ++j;
        QString value;
        bool quoted = false;
        if (j < n && line[j] == QLatin1Char('"')) {
            quoted = true;
            qsizetype k = j + 1;
            while (k < n) {
                // the characters up to the next quote at once
                qsizetype q = k;
                while (q < n && line[q] != QLatin1Char('"'))
                    ++q;
                value += line.mid(k, q - k);
                k = q;
                if (k >= n)
                    break;
                if (k + 1 < n && line[k + 1] == QLatin1Char('"')) {
                    value += QLatin1Char('"');
                    k += 2;
                    continue;
                }
                ++k;
                break;
            }
            i = k;
        }
        // The rest of the value up to the next separator (after a closing quote: appended).
        qsizetype end = i;
        while (end < n && !(hasSeparator && line[end] == separator))
            ++end;
        if (quoted) {
            value += line.mid(i, end - i).toString();
            sink(Trimmed(value).toString(), true);
        } else {
            sink(line.mid(i, end - i), false);
        }
        if (end >= n)
            break;
        ++separators;
        i = end + 1;
    }
    return separators;
}

} // namespace

// ---- delimited text ----------------------------------------------------------------------

QStringList SplitCsvLine(QStringView line, QChar separator)
{
    QStringList values;
    if (Trimmed(line).isEmpty())
        return values;
    if (!separator.isNull())
        values.reserve(line.count(separator) + 1);   // at most that many values
    ScanLine(line, separator, [&values](auto value, bool quoted) {
        if constexpr (std::is_same_v<decltype(value), QString>) {
            if (quoted) {
                values.append(value);
                return;
            }
        }
        QStringView v = Trimmed(QStringView(value));
        if (v.size() >= 2 && v.front() == QLatin1Char('\'') && v.back() == QLatin1Char('\''))
            v = v.mid(1, v.size() - 2);
        values.append(v.toString());
    });
    return values;
}

int CountSeparators(QStringView line, QChar separator)
{
    if (separator.isNull())
        return 0;
    return ScanLine(line, separator, [](auto, bool) {});
}

int DetectSeparatorIndex(QStringView line, const QList<QChar>& candidates, int current)
{
    int best = 0;
    int chosen = current;
    for (int i = 0; i < candidates.size(); ++i) {
        const int count = CountSeparators(line, candidates[i]);
        if (count > best) {
            best = count;
            chosen = i;
        }
    }
    return chosen;
}

bool AllEmpty(const QStringList& values)
{
    for (const QString& v : values) {
        if (!v.isEmpty())
            return false;
    }
    return true;
}

// ---- column mapping ----------------------------------------------------------------------

QString JoinMapping(const QStringList& mapping)
{
    QString text;
    for (const QString& entry : mapping)
        text += entry + QLatin1String("\r\n");
    return text;
}

std::optional<QStringList> ParseStoredMapping(const QString& text)
{
    QStringList entries;
    core::SplitString(text, QStringLiteral("\r\n"), entries);
    for (const QString& entry : entries) {
        bool ok = false;
        entry.toInt(&ok, 10);
        if (!ok)
            return std::nullopt;
    }
    return entries;
}

QStringList AutomaticMapping(const QStringList& values)
{
    for (int p = 0; p < values.size(); ++p) {
        if (values[p].contains(QLatin1Char('@')) || values[p].contains(QLatin1String("mail"), Qt::CaseInsensitive))
            return {QString::number(p)};
    }
    return {};
}

QStringList InitialMapping(const QStringList& inMemory, const QString& stored, const QStringList& values, int n)
{
    QStringList mapping;
    if (!inMemory.isEmpty()) {
        mapping = inMemory;
    } else {
        const std::optional<QStringList> parsed = ParseStoredMapping(stored);
        if (parsed && !parsed->isEmpty() && parsed->size() == n)
            mapping = *parsed;
        else
            mapping = AutomaticMapping(values);
    }
    while (mapping.size() < n)
        mapping.prepend(QStringLiteral("-1"));
    if (mapping.size() != n)
        return {};
    return mapping;
}

bool MapsAnyColumn(const QStringList& mapping)
{
    for (const QString& entry : mapping) {
        if (entry.toInt() != -1)
            return true;
    }
    return false;
}

QList<int> MappingColumns(const QStringList& mapping)
{
    QList<int> columns;
    columns.reserve(mapping.size());
    for (qsizetype i = mapping.size() - 1; i >= 0; --i) {
        bool ok = false;
        const int v = mapping[i].toInt(&ok);
        columns.append(ok && v >= 0 ? v : -1);
    }
    return columns;
}

QStringList OrderRowByColumns(const QStringList& values, const QList<int>& columns)
{
    return OrderRowByColumns(QStringList(values), columns);
}

QStringList OrderRowByColumns(QStringList&& values, const QList<int>& columns)
{
    QStringList row;
    row.reserve(columns.size() + 1);
    // A place left free in front: a receiver that puts the status before the values (the list
    // does) takes it without moving the row.
    row.append(QString());
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const int v = columns[i];
        if (v < 0 || v >= values.size()) {
            row.append(QString());
            continue;
        }
        // A value that no later entry takes again is moved rather than shared.
        bool again = false;
        for (qsizetype k = i + 1; k < columns.size() && !again; ++k)
            again = columns[k] == v;
        row.append(again ? values[v] : std::move(values[v]));
    }
    row.removeFirst();
    return row;
}

QStringList OrderRow(const QStringList& values, const QStringList& mapping)
{
    return OrderRowByColumns(values, MappingColumns(mapping));
}

// ---- overview ----------------------------------------------------------------------------

QString SeparatorDescription(QChar separator)
{
    if (separator == QLatin1Char(';'))
        return QStringLiteral("; (Semikolon)");
    if (separator == QLatin1Char(','))
        return QStringLiteral(", (Komma)");
    if (separator == QLatin1Char(':'))
        return QStringLiteral(": (Doppelpunkt)");
    return QStringLiteral("Tabulator");
}

QString ShortFileName(const QString& fileName)
{
    if (fileName.size() <= 30)
        return fileName;
    const QString last = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype keep = std::max<qsizetype>(0, 30 - last.size());
    return fileName.left(keep) + QLatin1String(".../") + last;
}

} // namespace importwizard
