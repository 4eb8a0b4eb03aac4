#include "grid/exchange/WorkbookText.h"

#include "spreadsheet/Cells.h"
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/SST.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSUtils.h"

#include <QDateTime>
#include <cmath>

namespace grid::exchange {

bool IsDateTimeFormat(int formatIndex, const QString& formatText)
{
    if ((formatIndex >= 14 && formatIndex <= 22) || (formatIndex >= 45 && formatIndex <= 47))
        return true;
    if (formatText.isEmpty() || formatText.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return false;
    bool inQuote = false;
    int bracket = 0;
    for (qsizetype i = 0; i < formatText.size(); ++i) {
        const QChar c = formatText[i];
        if (inQuote) {
            inQuote = c != QLatin1Char('"');
            continue;
        }
        if (c == QLatin1Char('"')) {
            inQuote = true;
        } else if (c == QLatin1Char('\\')) {
            ++i;   // an escaped character is shown as it is
        } else if (c == QLatin1Char('[')) {
            ++bracket;
        } else if (c == QLatin1Char(']')) {
            bracket = std::max(0, bracket - 1);
        } else if (bracket == 0) {
            switch (c.toLower().unicode()) {
            case 'd': case 'm': case 'y': case 'h': case 's': return true;
            default: break;
            }
        }
    }
    return false;
}

QString SerialDateTimeText(double serial)
{
    const double day = std::floor(serial);
    // Milliseconds rounded to whole seconds, as the time is shown.
    qint64 seconds = qint64(std::llround((serial - day) * 86400.0));
    qint64 days = qint64(day);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    const QDate date = QDate(1899, 12, 30).addDays(days);
    const QTime time = QTime(0, 0).addSecs(int(seconds));
    const bool showDate = days != 0;
    const bool showTime = seconds != 0 || !showDate;
    QString text;
    if (showDate)
        text = date.toString(QStringLiteral("dd.MM.yyyy"));
    if (showTime) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += time.toString(QStringLiteral("hh:mm:ss"));
    }
    return text;
}

namespace {

bool isDateFormat(xls::TXLSBook& book, const xls::TCellFormat* f)
{
    const int index = f->NumberFormatIndex();
    QString formatText;
    if (xls::TNumberFormats* formats = book.CellFormats().NumberFormats)
        if (const int pos = formats->FindByIndex(index); pos >= 0)
            if (const xls::TNumberFormat* nf = formats->Item(pos))
                formatText = nf->FValue;
    return IsDateTimeFormat(index, formatText);
}

QString numberText(xls::TXLSBook& book, const xls::TCell* cell, double value, QChar sep,
                   std::vector<signed char>* cache)
{
    if (const xls::TCellFormat* f = cell->Format()) {
        bool date;
        if (cache && f->Index >= 0 && f->Index < 65536) {
            if (size_t(f->Index) >= cache->size())
                cache->resize(size_t(f->Index) + 1, -1);
            signed char& known = (*cache)[size_t(f->Index)];
            if (known < 0)
                known = isDateFormat(book, f) ? 1 : 0;
            date = known == 1;
        } else {
            date = isDateFormat(book, f);
        }
        if (date && std::isfinite(value) && value >= 0 && value < 2958466)
            return SerialDateTimeText(value);
    }
    return xls::FloatToStrG(value, sep);
}

QString boolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

} // namespace

bool WorkbookCellText(xls::TXLSBook& book, const xls::TCell* cell, QChar sep, QString& text,
                      std::vector<signed char>* cache)
{
    if (!cell)
        return false;
    using namespace xls;
    switch (cell->CellType() & 0x7F) {
    case ctFloat: text = numberText(book, cell, static_cast<const TFloatCell*>(cell)->Value, sep, cache); break;
    case ctNumberFormula:
        text = numberText(book, cell, static_cast<const TNumberFormulaCell*>(cell)->Value, sep, cache);
        break;
    case ctString: {
        const TSSTEntry* e = static_cast<const TStringCell*>(cell)->Entry;
        text = e ? e->Text() : QString();
        break;
    }
    case ctStringFormula: text = static_cast<const TStringFormulaCell*>(cell)->Value; break;
    case ctBoolean: text = boolText(static_cast<const TBooleanCell*>(cell)->Value != 0); break;
    case ctBooleanFormula: text = boolText(static_cast<const TBooleanFormulaCell*>(cell)->Value != 0); break;
    case ctArrayFormula: {
        const auto* a = static_cast<const TArrayFormulaCell*>(cell);
        switch (a->ResultType) {
        case TArrayFormulaCell::arString: text = a->ResultText; break;
        case TArrayFormulaCell::arBoolean: text = boolText(a->ResultByte != 0); break;
        case TArrayFormulaCell::arError:
        case TArrayFormulaCell::arEmpty: return false;
        default: text = numberText(book, cell, a->Value, sep, cache); break;
        }
        break;
    }
    default: return false;   // blanks and errors
    }
    return !text.isEmpty();
}

int SelectedSheetOfWorkbook(const QByteArray& fileBytes)
{
    QByteArray stream = fileBytes;
    if (xls::TCompoundFile::IsCompoundFile(fileBytes)) {
        try {
            xls::TCompoundFile file;
            file.Open(fileBytes);
            stream.clear();
            for (int entry : file.Children(0)) {
                const auto& e = file.Entries().at(entry);
                if (e.type == xls::TCompoundFile::etStream
                    && (e.name == QLatin1String("Workbook") || e.name == QLatin1String("Book"))) {
                    stream = file.ReadStream(entry);
                    break;
                }
            }
        } catch (...) {
            return -1;
        }
    }
    // The workbook globals: records up to the first EOF.
    const auto* b = reinterpret_cast<const uint8_t*>(stream.constData());
    qsizetype pos = 0;
    while (pos + 4 <= stream.size()) {
        const int id = b[pos] | (b[pos + 1] << 8);
        const int len = b[pos + 2] | (b[pos + 3] << 8);
        if (pos + 4 + len > stream.size() || id == 0x000A)
            break;
        if (id == 0x003D && len >= 12)
            return b[pos + 4 + 10] | (b[pos + 4 + 11] << 8);
        pos += 4 + len;
    }
    return -1;
}

} // namespace grid::exchange
