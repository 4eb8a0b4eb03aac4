#pragma once
// Delimited text read record by record. A record ends at a line end (CR LF, LF or a lone CR)
// that stands outside a quoted value. A value whose first non-blank character is a double quote
// runs to its closing quote and may hold separators, doubled quotes and line breaks, which are
// kept as they stand; a quote still open at the end of the text closes there. How a record is
// split into values is SplitCsvLine's rule (ImportRules.h).
#include <QList>
#include <QString>
#include <QStringView>
#include <functional>

namespace importwizard {

class TCsvRecordReader {
public:
    // Gives the next piece of the text (pieces may be cut anywhere, also inside a line break);
    // false at the end of the text.
    using TSource = std::function<bool(QString& piece)>;
    // A null separator: no value ends at a separator (quotes still hold line breaks).
    TCsvRecordReader(QChar separator, TSource source);

    // The next record without its line end; the view lasts until the next call. False at the end
    // of the text; a line break at the very end starts no further record.
    bool Next(QStringView& record);

private:
    bool Fill();

    char16_t FSeparator;
    bool FHasSeparator;
    TSource FSource;
    QString FPiece;
    qsizetype FPos = 0;
    QString FRecord;     // a record that spans pieces
    bool FSkipLF = false; // the last record ended with a CR at the end of a piece
    bool FEnd = false;
};

// The records of a whole text.
QList<QString> CsvRecords(QStringView text, QChar separator);

} // namespace importwizard
