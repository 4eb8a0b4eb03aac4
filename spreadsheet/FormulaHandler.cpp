#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/DecodeFormula.h"

namespace xls {

TFormulaHandler::TFormulaHandler(TSheetByName byName, TSheetText sheetText)
    : SheetByNameCallback(std::move(byName)), SheetTextCallback(std::move(sheetText))
{
    m_internal = std::make_unique<TInternalNames>(
        nullptr, [this](int k, int i, QString& t, int c, int r, int n) { return NameCallback(k, i, t, c, r, n); });
}

TFormulaHandler::~TFormulaHandler() = default;

QString TFormulaHandler::DecodeFormula(const QByteArray& tokens, int tokenLength) const
{
    return xls::DecodeFormula(m_version, tokens, tokenLength,
                              [this](int k, int i, QString& t, int c, int r, int n) { return NameCallback(k, i, t, c, r, n); },
                              0, 0, 0);
}

QString TFormulaHandler::DecodeCellFormula(const QByteArray& tokens, int tokenLength, int row, int col, int sheetIndex) const
{
    return xls::DecodeFormula(m_version, tokens, tokenLength,
                              [this](int k, int i, QString& t, int c, int r, int n) { return NameCallback(k, i, t, c, r, n); },
                              col, row, sheetIndex);
}

void TFormulaHandler::Clear()
{
    m_external.Clear();
    m_internal->Clear();
}

// The sheet's name, or an empty text when there is no such sheet.
QString TFormulaHandler::sheetName(int index) const
{
    return SheetTextCallback ? SheetTextCallback(0, index, 0, 0) : QString();
}

bool TFormulaHandler::NameCallback(int kind, int index, QString& text, int, int, int nameNumber) const
{
    switch (kind) {
    case 0: case 1:
        // Names are read from BIFF8 workbooks only; earlier ones keep the decoder's placeholder.
        if (m_version != xvExcel97) return false;
        if (nameNumber < 1 || nameNumber > m_internal->Count()) text = QStringLiteral("#NAME?");
        else text = m_internal->Items(nameNumber - 1)->Name();
        return true;
    case 2: {
        if (m_external.ExtSheetToSheet(index) < 0) {
            text = m_external.ExtRefText(index, nameNumber);
            return true;
        }
        const TExtSheet& e = m_external.ExtSheets()[size_t(index)];
        const QString first = sheetName(e.FirstSheet);
        const QString last = e.LastSheet == e.FirstSheet ? first : sheetName(e.LastSheet);
        if (first.isEmpty() || last.isEmpty()) text = QStringLiteral("#REF!");
        else text = QuotedSheetRef(first, last) + '!';
        return true;
    }
    case 3: case 4:
        if (!SheetTextCallback) return false;
        text = sheetName(index);
        return true;
    default:
        return false;
    }
}

}
