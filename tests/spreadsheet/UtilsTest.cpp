#include "spreadsheet/DecodeFormula.h"
#include "spreadsheet/XLSUtils.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

using namespace xls;
using namespace xlstest;

TEST(XlsUtils, CellReferencesRkErrorsAndPalette)
{
    EXPECT_EQ(CellRefText(27, 0, true, true), "$AB$1");
    EXPECT_EQ(CellRefText(255, 9, false, false), "IV10");
    EXPECT_EQ(AreaRefText(0, 0, 1, 2, false, false, false, false), "A1:B3");
    EXPECT_DOUBLE_EQ(DecodeRK(0x00000082), 32.0);
    EXPECT_DOUBLE_EQ(DecodeRK(0x00000083), 0.32);
    EXPECT_DOUBLE_EQ(DecodeRK(0x3FF00000), 1.0);
    EXPECT_DOUBLE_EQ(DecodeRK(0xFFFFFFFE), -1.0);   // arithmetic shift
    EXPECT_EQ(ErrorText(0x2A), "N/A");
    EXPECT_EQ(ErrorText(0x07), "#DIV/0!");
    EXPECT_EQ(ErrorText(0x05), "#???");
    EXPECT_EQ(NearestPaletteIndex(0x0000FF), 10);
    EXPECT_EQ(CellKey(300, 2), (2u << 8) | 44u);
}

TEST(XlsUtils, Crc32AsTheStringTableComputesIt)
{
    // Start 0xFFFFFFFF and no final inversion: the complement of the usual check value.
    const QByteArray s("123456789");
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(s.constData()), s.size()), 0x340BC6D9u);
    EXPECT_EQ(Crc32(nullptr, 0), 0xFFFFFFFFu);
    // every length and alignment against the plain bit-by-bit remainder
    QByteArray data;
    for (int i = 0; i < 70; ++i) data += char((i * 37 + 11) & 0xFF);
    for (int from = 0; from < 8; ++from)
        for (int len = 0; from + len <= data.size(); ++len) {
            uint32_t c = 0xFFFFFFFFu;
            for (int i = from; i < from + len; ++i) {
                c ^= uint8_t(data[i]);
                for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            }
            ASSERT_EQ(Crc32(reinterpret_cast<const uint8_t*>(data.constData()) + from, len), c) << from << " " << len;
        }
}

TEST(XlsUtils, GeneralNumberText)
{
    struct Case { double v; const char* comma; };
    const Case cases[] = {
        {0, "0"}, {3.5, "3,5"}, {-2, "-2"}, {39448, "39448"}, {0.1 + 0.2, "0,3"}, {1.0 / 3, "0,333333333333333"},
        {123456789012345.0, "123456789012345"}, {1234567890123456.0, "1,23456789012346E15"}, {1e20, "1E20"},
        {0.00001, "0,00001"}, {0.000001234, "1,234E-6"}, {-1.5e-7, "-1,5E-7"}, {100, "100"}, {2.5e-5, "0,000025"},
    };
    for (const Case& c : cases) EXPECT_EQ(FloatToStrG(c.v, ','), QString::fromLatin1(c.comma)) << c.v;
    EXPECT_EQ(FloatToStrG(3.5, '.'), "3.5");
}

TEST(XlsUtils, GeneralNumberTextAgreesWithPrintfOnDecimalsAndOtherValues)
{
    // Between 1E-4 and 1E15 the text is printf's "%.15G": decimals of few places (found by
    // scaling) and values that are no short decimal (0.1 + 0.2, thirds, random bits) alike.
    std::mt19937_64 rnd(17);
    QList<double> values = {0.1 + 0.2, 0.7 * 3, 1.005, 99999999999999.9, 12345678901234.5, 0.0001, 0.00012345678901234,
                            9.9999999999999995, 0.30000000000000004, 1e14 - 0.5, 4.35, 2.675, 1.0 / 3, 2.0 / 3};
    for (int i = 0; i < 20000; ++i) {
        const long long m = (long long)(rnd() % 1000000000000000ull);
        const int places = int(rnd() % 16);
        values << double(m) / std::pow(10.0, places) << -double(m % 100000) / 100.0 << double(i) * 1.25;
        const uint64_t bits = rnd();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        int exponent = 0;
        if (std::isfinite(d) && d != 0) values << std::ldexp(std::frexp(d, &exponent), int(rnd() % 60) - 13);
    }
    for (double v : values) {
        if (std::fabs(v) < 1e-4 || std::fabs(v) >= 1e15) continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15G", v);
        ASSERT_EQ(FloatToStrG(v, '.'), QString::fromLatin1(expected)) << expected;
    }
}

TEST(XlsUtils, CodePageDecoding)
{
    AnsiCodec().setCodePage(1252);
    const char bytes[] = "\x80\x93x\x94\x96";
    EXPECT_EQ(AnsiCodec().toUnicode(bytes, 5), QString::fromUtf8("€“x”–"));
    EXPECT_EQ(AnsiCodec().fromUnicode(QString::fromUtf8("€ä")), QByteArray("\x80\xe4"));
    EXPECT_EQ(SheetNameText(QByteArray("\x00\x80", 2)), QString::fromUtf8("€"));
    EXPECT_EQ(SheetNameText(QByteArray("\x01\xac\x20", 3)), QString::fromUtf8("€"));
    // another single-byte code page named by the workbook
    AnsiCodec().setCodePage(1251);
    EXPECT_EQ(AnsiCodec().toUnicode("\xc0", 1), QString::fromUtf8("А"));
    AnsiCodec().setCodePage(850);
    EXPECT_EQ(AnsiCodec().toUnicode("\x81", 1), QString::fromUtf8("ü"));
    AnsiCodec().setCodePage(932);   // multi-byte: not taken
    EXPECT_EQ(AnsiCodec().toUnicode("\x80", 1), QString::fromUtf8("€"));
    AnsiCodec().setCodePage(1252);
}

struct FormulaCase {
    const char* name;
    QByteArray tokens;
    const char* text;
};

TEST(XlsFormula, DecodesTokens)
{
    SetListSeparator(',');
    const QByteArray one = u8(0x1E) + u16(1), two = u8(0x1E) + u16(2), three = u8(0x1E) + u16(3);
    const QByteArray areaA1B3 = u8(0x25) + u16(0) + u16(2) + u16(0xC000) + u16(0xC001);
    const FormulaCase cases[] = {
        {"precedence", one + two + three + u8(0x05) + u8(0x03), "1+2*3"},
        {"parenthesis", one + two + u8(0x03) + u8(0x15) + three + u8(0x05), "(1+2)*3"},
        {"sum over area", areaA1B3 + u8(0x22) + u8(1) + u16(4), "SUM(A1:B3)"},
        {"attribute sum", areaA1B3 + u8(0x19) + u8(0x10) + u16(0), "SUM(A1:B3)"},
        {"integer", u8(0x1E) + u16(40000), "40000"},
        {"absolute ref", u8(0x24) + u16(4) + u16(0x0002), "$C$5"},
        {"string", u8(0x17) + u8(2) + u8(0) + QByteArray("ab") + u8(0x17) + u8(1) + u8(1) + u16(0x20AC) + u8(0x08), "\"ab\"&\"\xe2\x82\xac\""},
        {"bool and error", u8(0x1D) + u8(1) + u8(0x1C) + u8(0x2A) + u8(0x0B), "TRUE=N/A"},
        {"unary and percent", one + u8(0x13) + u8(0x14), "-1%"},
        {"intersection unknown", one + two + u8(0x0F), "Unknown ptg[0F]"},
        {"operator short of texts", one + u8(0x03), "<Val missing>"},
        {"empty", QByteArray(), "[ERROR]"},
        {"array constant", u8(0x60) + QByteArray(7, 0) + u8(2) + u16(0) + u8(1) + f64(1.5) + u8(4) + u8(1) + QByteArray(7, 0) + u8(16) + u8(0x07) + QByteArray(7, 0),
         "{1.5,}{TRUE,}{#DIV/0!,}"},
        {"bad array element", u8(0x20) + QByteArray(7, 0) + u8(0) + u16(0) + u8(9), "Bad element ID#9 in array"},
        {"user function", u8(0x23) + u16(1) + u16(0) + one + u8(0x22) + u8(2) + u16(255), "[NAME](1)"},
        {"3-D reference unresolved", u8(0x3A) + u16(0) + u16(0) + u16(0xC000), "[ExternSheet]A1"},
    };
    SetDecimalSeparator('.');
    for (const FormulaCase& c : cases) {
        // Array constants follow the tokens: for those cases the token length ends at the data.
        int tl = int(c.tokens.size());
        if (QByteArray(c.name).startsWith("array constant") || QByteArray(c.name).startsWith("bad array")) tl = 8;
        EXPECT_EQ(DecodeFormula(xvExcel97, c.tokens, tl, {}, 0, 0, 0), QString::fromUtf8(c.text)) << c.name;
    }
    EXPECT_THROW(DecodeFormula(xvExcel97, u8(0x21) + u16(1), 3, {}, 0, 0, 0), EXLSError);   // IF needs 2
    SetListSeparator(';');
    const QByteArray iff = u8(0x1D) + u8(1) + one + u8(0x22) + u8(2) + u16(1);
    EXPECT_EQ(DecodeFormula(xvExcel97, iff, int(iff.size()), {}, 0, 0, 0), "IF(TRUE;1)");
    SetListSeparator(',');
}

TEST(XlsFormula, SharedFormulaBecomesTheCellsOwn)
{
    // A1 = A(row-1): a relative reference one row up, stored for A1:A10, used in A5.
    QByteArray tokens = u8(0x2C) + u16(0xFFFF) + u16(0xC000);
    ConvertSharedFormula(true, tokens, int(tokens.size()), 4, 0);
    EXPECT_EQ(uint8_t(tokens[0]), 0x24);
    EXPECT_EQ(DecodeFormula(xvExcel97, tokens, int(tokens.size()), {}, 0, 4, 0), "A4");
    QByteArray bad = u8(0x0F) + u8(0x7F);
    bad[0] = char(0x7F);
    EXPECT_THROW(ConvertSharedFormula(true, bad, 2, 0, 0), EXLSError);
    const QByteArray arr = u8(0x20) + QByteArray(7, 0) + u8(0) + u16(1) + u8(2) + u16(2) + u8(0) + QByteArray("ab") + u8(1) + f64(2);
    EXPECT_EQ(ArrayDataSize(arr, 8), 3 + 6 + 9);
}
