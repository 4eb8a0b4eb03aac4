#pragma once
// The texts a grid takes from the cells of a workbook sheet.
#include <QByteArray>
#include <QChar>
#include <QString>
#include <vector>

namespace xls {
class TXLSBook;
class TCell;
} // namespace xls

namespace grid::exchange {

// Whether a number format shows dates or times: the built-in formats 14-22 and 45-47, or a format
// other than General that holds d, m, y, h or s outside quotes and brackets.
bool IsDateTimeFormat(int formatIndex, const QString& formatText);

// A date-time serial (days since 30.12.1899) as "dd.MM.yyyy", "hh:mm:ss" or both: the date part
// is left out for a serial below 1, the time part when the serial is whole.
QString SerialDateTimeText(double serial);

// The text of a workbook cell as a grid shows it: numbers by FloatToStrG with the decimal
// separator (in a date or time format as SerialDateTimeText), booleans "True"/"False", formulas
// their results, texts as they are. False for blanks, errors and empty texts.
// `dateFormats` (may be null) remembers per cell format whether it shows dates, for many cells of
// one book.
bool WorkbookCellText(xls::TXLSBook& book, const xls::TCell* cell, QChar decimalSeparator, QString& text,
                      std::vector<signed char>* dateFormats = nullptr);

// The sheet a workbook file shows first: the current tab of its window record (BIFF2 to BIFF8,
// plain or in a compound file); -1 when the bytes have none.
int SelectedSheetOfWorkbook(const QByteArray& fileBytes);

} // namespace grid::exchange
