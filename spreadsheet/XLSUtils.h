#pragma once
// Small shared routines and tables of the workbook reader: cell keys, error values, RK numbers,
// BIFF strings, A1 references, the format-text hash, the colour palette, CRC-32, the 8-bit code
// page and the general number-to-text conversion.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace xls {

// Every failure of the reader is one of these, with an English message.
class EXLSError : public std::runtime_error {
public:
    explicit EXLSError(const QString& msg) : std::runtime_error(msg.toStdString()), m_msg(msg) {}
    const QString& message() const { return m_msg; }
private:
    QString m_msg;
};

// Raises EXLSError when fewer than `need` bytes lie at `offset` of a body of `size` bytes.
[[noreturn]] void RaiseRecordTooShort(qint64 size, qint64 offset, qint64 need);
inline void CheckRange(qint64 size, qint64 offset, qint64 need)
{
    if (offset < 0 || need < 0 || offset > size || need > size - offset) [[unlikely]]
        RaiseRecordTooShort(size, offset, need);
}

inline uint16_t GetWord(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetDWord(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
double GetDouble(const uint8_t* p);
inline void PutWord(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutDWord(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void PutDouble(uint8_t* p, double v);

inline uint32_t CellKey(uint32_t col, uint32_t row) { return (row << 8) | (col & 0xFF); }

// Error values: code (0x00, 0x07, ...) to index 1..7, 0 for anything else.
int ErrorIndex(uint8_t code);
QString ErrorTextByIndex(int index);
QString ErrorText(uint8_t code);   // "#???" for a code that is no error value

double DecodeRK(uint32_t rk);

// BIFF string after its option byte: 1 = 16-bit characters, else 8-bit, one byte per code.
QString ReadBIFFString(const uint8_t* p, qint64 avail, int count, qint64* consumed = nullptr);
// A text whose characters go on in CONTINUE records: `first` holds the part in the record itself
// (from its option byte in BIFF8), `pieces` the bodies of the CONTINUE records after it. Excel and
// LibreOffice start every further BIFF8 piece with an option byte of its own (the width may change
// there); gnumeric goes on with the bytes as they are. BIFF2-7 texts go on byte for byte.
QString JoinContinuedText(const uint8_t* first, qint64 firstLength, const QList<QByteArray>& pieces, int count, bool biff8);
QString SheetNameText(const QByteArray& raw);
QString WideFromBytes(const uint8_t* p, int byteCount);

QString CellRefText(int col, int row, bool colAbs, bool rowAbs);
QString AreaRefText(int col1, int row1, int col2, int row2, bool c1Abs, bool r1Abs, bool c2Abs, bool r2Abs);
bool ParseCellRef(const QString& text, int& col, int& row, bool& colAbs, bool& rowAbs);
bool ParseAreaRef(const QString& text, int& col1, int& row1, int& col2, int& row2);
bool ClampArea(int& col1, int& row1, int& col2, int& row2);

uint16_t TextHash(const uint8_t* p, int len);
uint16_t TextHash(const QString& text);
uint32_t Crc32(const uint8_t* p, qint64 len);   // reflected 0xEDB88320, start 0xFFFFFFFF, no final inversion

// Palette in the toolkit's colour order (red in the low byte); 65 entries.
extern const uint32_t DefaultPalette[65];
void ResetPalette();
void SetPaletteColor(int index, uint32_t color);
uint32_t PaletteColor(int index);
int ClampColorIndex(int index);
int NearestPaletteIndex(uint32_t color);

// The 8-bit code page of "ANSI" texts: Windows-1252 unless the workbook names another
// single-byte code page in its CODEPAGE record.
class TAnsiCodec {
public:
    void setCodePage(int cp);
    int codePage() const { return m_cp; }
    QString toUnicode(const char* p, int len) const;
    QString toUnicode(const QByteArray& b) const { return toUnicode(b.constData(), int(b.size())); }
    QByteArray fromUnicode(const QString& s) const;   // unmappable characters become '?'
private:
    int m_cp = 1252;
    char16_t m_table[128] = {};
    bool m_useTable = false;
    void loadTable(const QByteArray& name);
    static QList<QByteArray> candidateNames(int cp);
};
TAnsiCodec& AnsiCodec();   // the one used by the reader (set per read)

// Number to text: up to 15 significant digits, trailing zeros dropped, exponent form
// ("1E20", "1.5E-7") outside 1E-5 .. 1E15.
QString FloatToStrG(double v, QChar decimalSeparator);
QString FloatToStrG(double v);       // with DecimalSeparator()
// Process-wide decimal separator of number texts: the user's locale unless set.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar c);
QChar ListSeparator();               // ';' where the decimal separator is ',', else ','
void SetListSeparator(QChar c);

}
