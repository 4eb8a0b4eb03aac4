#pragma once
// The hub through which formulas become text and text becomes formulas: owns the defined names,
// the external references and the formula encoder, and answers the decoder's questions for the
// texts of names and sheets.
#include "spreadsheet/EncodeFormula.h"
#include "spreadsheet/XLSNames.h"
#include "spreadsheet/XLSStream.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace xls {

class TFormulaHandler {
public:
    using TSheetByName = std::function<void(const QString& name, int& index, int& count)>;
    using TSheetText = std::function<QString(int kind, int sheetIndex, int col, int row)>;

    TFormulaHandler(TSheetByName byName, TSheetText sheetText);
    ~TFormulaHandler();
    TFormulaHandler(const TFormulaHandler&) = delete;
    TFormulaHandler& operator=(const TFormulaHandler&) = delete;

    QString DecodeFormula(const QByteArray& tokens, int tokenLength) const;
    QString DecodeCellFormula(const QByteArray& tokens, int tokenLength, int row, int col, int sheetIndex) const;
    bool NameCallback(int kind, int index, QString& text, int col, int row, int nameNumber) const;
    void Clear();
    // Compiles formula text into at most `size` bytes of tokens; answers their number.
    int EncodeFormula(const QString& text, QByteArray& buffer, int size);
    void SetVersion(TExcelVersion v) { m_version = v; m_encoder->SetVersion(v); }
    TExcelVersion Version() const { return m_version; }
    void SetStrTRUE(const QString& s) { m_encoder->SetStrTRUE(s); }
    void SetStrFALSE(const QString& s) { m_encoder->SetStrFALSE(s); }
    TEncodeFormula& Encoder() { return *m_encoder; }

    TExternalNames& ExternalNames() { return m_external; }
    const TExternalNames& ExternalNames() const { return m_external; }
    TInternalNames& InternalNames() { return *m_internal; }
    const TInternalNames& InternalNames() const { return *m_internal; }

    TSheetByName SheetByNameCallback;
    TSheetText SheetTextCallback;

private:
    TExcelVersion m_version = xvExcel97;
    std::unique_ptr<TEncodeFormula> m_encoder;
    TExternalNames m_external;
    std::unique_ptr<TInternalNames> m_internal;
    QString sheetName(int index) const;
    int extRef(const QString& path, const QString& file, const QString& sheet, const QString& sheet2,
               const QString& name, int& nameIndex);
};

}
