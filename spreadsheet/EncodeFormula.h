#pragma once
// Formula text to BIFF8 formula tokens: the tokenizer splits the text, the encoder compiles the
// token list with the usual operator precedence into the token bytes.
#include "spreadsheet/XLSStream.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace xls {

class TEncodeFormula;

struct TXLSToken {
    enum Kind : uint8_t {
        Plus = 1, Concat = 2, Minus = 3, Mul = 4, Div = 5, Percent = 6, Power = 7, Greater = 8, GreaterEqual = 9,
        Less = 10, LessEqual = 11, Equal = 12, NotEqual = 13, Open = 14, Close = 15, Blank = 16, Separator = 17,
        BraceOpen = 18, BraceClose = 19, Function = 20, CellRef = 21, AreaRef = 22, SheetCellRef = 23,
        SheetAreaRef = 24, SheetName = 25, String = 28, Word = 31, Number = 32
    };
    QString Text;   // the token as written; strings without their quotes
    uint8_t Kind = 0;
    // Sheet-qualified tokens: folder, file, first and last sheet of the prefix.
    QString Path, File, Sheet, Sheet2;
};

class TXLSTokenizer {
public:
    explicit TXLSTokenizer(TEncodeFormula* owner) : m_owner(owner) {}
    // Splits the text; on a fault raises the encoder's error with its code and the text.
    void Tokenize(const QString& text);
    std::vector<TXLSToken> Tokens;
    bool Error = false;
private:
    TEncodeFormula* m_owner;
    void reference(const QString& text, int& i, TXLSToken t);
};

class TEncodeFormula {
public:
    // Sheet-qualified references: path and file empty for the own workbook; answers the
    // EXTERNSHEET index, or -1. For an external name `name` is set and `nameIndex` receives the
    // name's 0-based number.
    using TExtRefCallback = std::function<int(const QString& path, const QString& file, const QString& sheet,
                                              const QString& sheet2, const QString& name, int& nameIndex)>;
    using TNameIndexCallback = std::function<int(const QString& name)>;

    TEncodeFormula();

    // Compiles the text into at most `capacity` bytes with the class of the whole formula
    // (0x20 reference, 0x40 value, 0x60 array; 0 counts as reference) and answers their number.
    int Encode(const QString& text, int argClass, int capacity, QByteArray& out);

    void SetStrTRUE(const QString& s) { m_true = s.toUpper(); }
    void SetStrFALSE(const QString& s) { m_false = s.toUpper(); }
    void SetVersion(TExcelVersion v) { m_version = v; }

    TExtRefCallback ExtRefCallback;
    TNameIndexCallback NameIndexCallback;
    std::function<int(const QString&)> NameLookup2;   // the further name lookup; answers -1
    std::function<void(const QString& message)> OnError;   // unassigned: errors are raised

    int LastSheetIndex = -1;   // set by the reference lookup to the sheet of an own-workbook reference
    int LastOperand = -1;      // position of the last operand token written

    [[noreturn]] void Fail(int code, const QString& arg = QString());

private:
    TXLSTokenizer m_tokenizer;
    QString m_text, m_true = QStringLiteral("TRUE"), m_false = QStringLiteral("FALSE");
    TExcelVersion m_version = xvExcel97;
    QByteArray* m_out = nullptr;
    int m_capacity = 0;

    const std::vector<TXLSToken>& tk() const { return m_tokenizer.Tokens; }
    void put(const QByteArray& bytes);
    void put8(int v);
    void put16(int v);
    void compile(int a, int b, int cls);
    void operand(int a, int b, int cls);
    void function(int a, int close, int cls);
    int matching(int open, int end) const;
    bool isBinary(int i, int a) const;
    void writeRef(int id, const TXLSToken& t, bool area);
};

}
