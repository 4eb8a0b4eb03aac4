// The import's delimited-text reading: TCsvRecordReader cuts records, SplitCsvLine their values.
// Input: byte 0 picks the separator (";", ",", TAB, "|" or none) and the line end written
// (CR LF, LF, CR); byte 1 seeds where the text is cut into pieces; the rest is UTF-8 text.
// Properties:
//   - the records of the text are the same whether the reader gets it whole or in pieces cut
//     anywhere (also between CR and LF);
//   - taking the text's values as a table (records split at the separator), writing that table
//     the way the list file quotes (a value with the separator, a quote, a line break or a
//     leading "'" between double quotes, quotes doubled) and reading it back gives the same
//     values, trimmed as the import trims them.
// Seeds (tests/fuzz-corpus/csvrecords/): quoted multi-line values, CR LF split across lines,
// a quote open at the end, tab-separated values with blanks.
#include "importwizard/CsvRecords.h"
#include "importwizard/ImportRules.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>

using importwizard::CsvRecords;
using importwizard::SplitCsvLine;
using importwizard::TCsvRecordReader;

namespace {

const QChar kSeparators[] = {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t'), QLatin1Char('|'), QChar()};
const char* const kLineEnds[] = {"\r\n", "\n", "\r"};

QList<QString> InPieces(const QString& text, QChar separator, uint32_t seed)
{
    qsizetype pos = 0;
    TCsvRecordReader reader(separator, [&](QString& piece) {
        if (pos >= text.size())
            return false;
        seed = seed * 1103515245u + 12345u;
        const qsizetype len = std::min<qsizetype>(text.size() - pos, qsizetype((seed >> 16) % 7));
        piece = text.mid(pos, len); // empty pieces too
        pos += len;
        return true;
    });
    QList<QString> records;
    QStringView record;
    while (reader.Next(record))
        records.append(record.toString());
    return records;
}

bool IsBlank(QChar c) { return c.unicode() <= 0x20; }

QString Trimmed(const QString& s)
{
    qsizetype from = 0, to = s.size();
    while (from < to && IsBlank(s[from]))
        ++from;
    while (to > from && IsBlank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

QString Written(const QString& value, QChar separator, bool force)
{
    const bool quote = force || value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\r'))
                       || value.contains(QLatin1Char('\n')) || Trimmed(value).startsWith(QLatin1Char('\''))
                       || (!separator.isNull() && value.contains(separator));
    if (!quote)
        return value;
    QString t = value;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    const QChar separator = kSeparators[(data[0] & 7) % 5];
    const QLatin1StringView lineEnd(kLineEnds[(data[0] >> 3) % 3]);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));

    const QList<QString> whole = CsvRecords(text, separator);
    for (uint32_t seed : {uint32_t(data[1]), uint32_t(data[1]) * 7919u + 1u}) {
        if (InPieces(text, separator, seed) != whole) {
            fprintf(stderr, "records differ when the text comes in pieces (seed %u)\n", seed);
            __builtin_trap();
        }
    }

    // The table of the text's values, written with quotes where needed.
    QList<QStringList> table;
    for (const QString& record : whole) {
        QStringList values = SplitCsvLine(record, separator);
        if (values.isEmpty())
            continue; // a blank record holds no values
        table.append(values);
    }
    QString written;
    for (const QStringList& values : table) {
        QString line;
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i)
                line += separator.isNull() ? QString() : QString(separator);
            line += Written(values[i], separator, false);
        }
        if (Trimmed(line).isEmpty()) {
            // A record of blank values only: its first value in quotes keeps it a record.
            line = Written(values[0], separator, true) + line.mid(values[0].size());
        }
        written += line + lineEnd;
    }
    const QList<QString> back = CsvRecords(written, separator);
    bool same = back.size() == table.size();
    for (qsizetype r = 0; same && r < table.size(); ++r) {
        QStringList expected;
        for (const QString& v : table[r])
            expected << Trimmed(v);
        if (SplitCsvLine(back[r], separator) != expected) {
            fprintf(stderr, "record %lld: [%s] read back as [%s]\n", qlonglong(r),
                    qPrintable(expected.join(QLatin1Char('|'))),
                    qPrintable(SplitCsvLine(back[r], separator).join(QLatin1Char('|'))));
            same = false;
        }
    }
    if (!same) {
        fprintf(stderr, "written:\n%s\n", qPrintable(written));
        __builtin_trap(); // a table written with the import's quoting does not read back equal
    }
    return 0;
}
