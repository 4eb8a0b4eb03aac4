#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/DecodeFormula.h"

namespace xls {

TFormulaHandler::TFormulaHandler(TSheetByName byName, TSheetText sheetText)
    : SheetByNameCallback(std::move(byName)), SheetTextCallback(std::move(sheetText))
{
    m_encoder = std::make_unique<TEncodeFormula>();
    m_encoder->NameIndexCallback = [this](const QString& name) { return m_internal->FindName(name); };
    m_encoder->ExtRefCallback = [this](const QString& p, const QString& f, const QString& s, const QString& s2,
                                       const QString& n, int& ni) { return extRef(p, f, s, s2, n, ni); };
    m_internal = std::make_unique<TInternalNames>(
        m_encoder.get(), [this](int k, int i, QString& t, int c, int r, int n) { return NameCallback(k, i, t, c, r, n); });
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

int TFormulaHandler::EncodeFormula(const QString& text, QByteArray& buffer, int size)
{
    return m_encoder->Encode(text, 0, size, buffer);
}

// The EXTERNSHEET entry of a sheet-qualified reference, made when there is none yet.
int TFormulaHandler::extRef(const QString& path, const QString& file, const QString& sheet, const QString& sheet2,
                            const QString& name, int& nameIndex)
{
    if (!name.isEmpty()) {
        int supBook = -1;
        nameIndex = m_external.FindExtName(path, file, name, supBook);
        if (nameIndex < 0) return -1;
        auto& entries = m_external.ExtSheets();
        for (size_t e = 0; e < entries.size(); ++e)
            if (entries[e].SupBook == supBook) return int(e);
        entries.push_back({supBook, 0xFFFE, 0xFFFE});
        return int(entries.size() - 1);
    }
    if (path.isEmpty() && file.isEmpty()) {
        if (!SheetByNameCallback) return -1;
        int first = -1, last = -1, count = 0;
        SheetByNameCallback(sheet, first, count);
        if (first < 0) return -1;
        last = first;
        if (!sheet2.isEmpty()) {
            SheetByNameCallback(sheet2, last, count);
            if (last < 0) return -1;
        }
        m_encoder->LastSheetIndex = first;
        return m_external.FindOrAddIntSheet(first, count, last);
    }
    if (sheet.isEmpty()) return -1;
    return m_external.FindOrAddExtSheet(path, file, sheet);
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
        if (nameNumber >= 0) {
            // a name of this workbook, a sheet's own name with its sheet
            if (nameNumber < 1 || nameNumber > m_internal->Count()) {
                text = QStringLiteral("#NAME?");
                return true;
            }
            const TInternalName* n = m_internal->Items(nameNumber - 1);
            const QString sheet = n->SheetIndexWord > 0 ? sheetName(n->SheetIndexWord - 1) : QString();
            text = sheet.isEmpty() ? n->Name() : QuotedSheetRef(sheet) + '!' + n->Name();
            return true;
        }
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
