#pragma once
// Formula tokens (the parsed expressions of the BIFF formats) to formula text; shared-formula
// conversion to one cell; size of the array-constant data after a token array.
#include "spreadsheet/XLSStream.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace xls {

// kind 0 defined name, 1 BIFF5 external name, 2 EXTERNSHEET entry, 3 BIFF5 sheet, 4 sheet.
// Answers false when it has nothing to say.
using TNameResolver = std::function<bool(int kind, int index, QString& text, int col, int row, int nameNumber)>;

// `data` holds the tokens (tokenLength bytes) followed by their extra data (array constants).
QString DecodeFormula(TExcelVersion version, const QByteArray& data, int tokenLength, const TNameResolver& resolver,
                      int col, int row, int sheetIndex);

// Rewrites the relative references of a shared formula for the cell (row, col), in place.
void ConvertSharedFormula(bool biff8, QByteArray& tokens, int tokenLength, int row, int col);

// Size of the array-constant data that follows a BIFF8 token array.
int ArrayDataSize(const QByteArray& tokens, int tokenLength);

}
