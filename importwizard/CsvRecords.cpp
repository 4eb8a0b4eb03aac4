#include "importwizard/CsvRecords.h"

namespace importwizard {

namespace {

enum class State { FieldStart, Unquoted, Quoted, QuoteSeen };

} // namespace

TCsvRecordReader::TCsvRecordReader(QChar separator, TSource source)
    : FSeparator(separator.unicode()), FHasSeparator(!separator.isNull()), FSource(std::move(source))
{
}

bool TCsvRecordReader::Fill()
{
    QString piece;
    while (!FEnd && FSource && FSource(piece)) {
        if (!piece.isEmpty()) {
            FPiece = std::move(piece);
            FPos = 0;
            return true;
        }
    }
    FEnd = true;
    FPiece.clear();
    FPos = 0;
    return false;
}

bool TCsvRecordReader::Next(QStringView& record)
{
    FRecord.clear();
    bool spanning = false;
    State state = State::FieldStart;
    for (;;) {
        if (FPos >= FPiece.size() && !Fill()) {
            if (!spanning)
                return false;
            record = FRecord;  // the last record without a line end, or a quote open at the end
            return true;
        }
        const char16_t* d = reinterpret_cast<const char16_t*>(FPiece.constData());
        const qsizetype n = FPiece.size();
        if (FSkipLF) {
            FSkipLF = false;
            if (d[FPos] == u'\n') {
                ++FPos;
                continue;
            }
        }
        const qsizetype start = FPos;
        qsizetype i = FPos;
        bool ended = false;
        while (i < n) {
            const char16_t c = d[i];
            switch (state) {
            case State::FieldStart:
                if (FHasSeparator && c == FSeparator)
                    break;
                if (c == u'\r' || c == u'\n')
                    ended = true;
                else if (c == u'"')
                    state = State::Quoted;
                else if (c > 0x20)
                    state = State::Unquoted;
                break;
            case State::Unquoted:
                if (FHasSeparator && c == FSeparator) {
                    state = State::FieldStart;
                } else if (c == u'\r' || c == u'\n') {
                    ended = true;
                } else {
                    // the rest of the value at once, up to a separator or a line end
                    for (++i; i < n; ++i) {
                        const char16_t e = d[i];
                        if (e == u'\r' || e == u'\n' || (FHasSeparator && e == FSeparator))
                            break;
                    }
                    continue;
                }
                break;
            case State::Quoted:
                if (c == u'"') {
                    state = State::QuoteSeen;
                } else {
                    // up to the next quote at once
                    const qsizetype q = QStringView(d + i, n - i).indexOf(u'"');
                    i = q < 0 ? n : i + q;
                    continue;
                }
                break;
            case State::QuoteSeen:
                // A doubled quote stays inside; anything else closes the quoted part.
                if (c == u'"')
                    state = State::Quoted;
                else if (FHasSeparator && c == FSeparator)
                    state = State::FieldStart;
                else if (c == u'\r' || c == u'\n')
                    ended = true;
                else
                    state = State::Unquoted;
                break;
            }
            if (ended)
                break;
            ++i;
        }
        if (!ended) {
            FRecord.append(QStringView(d + start, n - start));
            spanning = true;
            FPos = n;
            continue;
        }
        if (spanning) {
            FRecord.append(QStringView(d + start, i - start));
            record = FRecord;
        } else {
            record = QStringView(d + start, i - start);
        }
        if (d[i] == u'\r') {
            if (i + 1 < n) {
                FPos = d[i + 1] == u'\n' ? i + 2 : i + 1;
            } else {
                FPos = i + 1;
                FSkipLF = true;
            }
        } else {
            FPos = i + 1;
        }
        return true;
    }
}

QList<QString> CsvRecords(QStringView text, QChar separator)
{
    bool given = false;
    TCsvRecordReader reader(separator, [&](QString& piece) {
        if (given)
            return false;
        given = true;
        piece = text.toString();
        return true;
    });
    QList<QString> records;
    QStringView record;
    while (reader.Next(record))
        records.append(record.toString());
    return records;
}

} // namespace importwizard
