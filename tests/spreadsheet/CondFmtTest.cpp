// Conditional formats: CONDFMT with its CF records, the format blocks and their setters.
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

QByteArray condfmt(int count, const QByteArray& areas, int areaCount)
{
    return rec(0x01B0, u16(count) + u16(1) + QByteArray(8, 0) + u16(areaCount) + areas);
}
QByteArray cf(int type, int op, uint32_t flags, const QByteArray& blocks, const QByteArray& f1 = {}, const QByteArray& f2 = {})
{
    return rec(0x01B1, u8(type) + u8(op) + u16(int(f1.size())) + u16(int(f2.size())) + u32(flags) + u16(0) + blocks + f1 + f2);
}
const QByteArray area = u16(0) + u16(3) + u16(1) + u16(1);   // B1:B4

struct Loaded {
    TXLSBook book;
    QStringList messages;
    explicit Loaded(const QByteArray& sheetRecords)
    {
        book.OnMessage = [this](const QString& m) { messages << m; };
        book.LoadFromData(compoundFile({{"Workbook", book8({{"S", number(0, 0, 1) + sheetRecords + number(5, 0, 6)}})}}).bytes);
    }
    TConditionalFormats& cfs() { return book.Sheets()[0]->ConditionalFormats(); }
};

}   // namespace

TEST(XlsCondFmt, LibreOfficeGreaterThanFiveInBoldRed)
{
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/libreoffice-names.xls");
    book.Read();
    TConditionalFormats& cfs = book.Sheets()[0]->ConditionalFormats();
    ASSERT_EQ(cfs.Count(), 1);
    TConditionalFormat* f = cfs.Items(0);
    EXPECT_EQ(f->ConditionCount, 1);
    ASSERT_EQ(f->Areas().Count(), 1);
    EXPECT_EQ(f->Areas().Items(0)->Rect(), (TRect{2, 1, 2, 2}));   // C2:C3
    const TCondFmtData& c = f->Condition1;
    EXPECT_TRUE(c.CompareCell());
    EXPECT_EQ(c.CompOperator(), coGreater);
    EXPECT_EQ(c.Formula1(), "5");
    EXPECT_EQ(c.Formula2(), "");
    EXPECT_TRUE(c.FmtFont.Assigned);
    EXPECT_EQ(c.FmtFont.FontStyle(), xfsBold);
    EXPECT_EQ(c.FmtFont.Color(), xcRed);
    EXPECT_FALSE(hasRecord(book.Sheets()[0]->RecordStorage(), 0x01B0));
    EXPECT_FALSE(hasRecord(book.Sheets()[0]->RecordStorage(), 0x01B1));
}

TEST(XlsCondFmt, HandBuiltRecords)
{
    // border: left not assigned (bit 10); pattern: fore colour not assigned (bit 17)
    const uint32_t flags = 0x30000000 | (1u << 10) | (1u << 17);
    const QByteArray border = u16(0x4321) + u32(0x00000000) + u16(0);
    const QByteArray pattern = u16(5 << 10) + u16((12 << 7) | 11);
    Loaded l(condfmt(2, area, 1) + cf(2, 0, flags, border + pattern, QByteArray::fromHex("24000000c0"), QByteArray()) +
             cf(1, 1, 0x3FFFFF, {}, QByteArray::fromHex("1e0100"), QByteArray::fromHex("1e0900")));
    EXPECT_TRUE(l.messages.isEmpty());
    ASSERT_EQ(l.cfs().Count(), 1);
    TConditionalFormat* f = l.cfs().Items(0);
    EXPECT_EQ(f->ConditionCount, 2);
    EXPECT_EQ(f->Areas().Items(0)->Rect(), (TRect{1, 0, 1, 3}));
    const TCondFmtData& a = f->Condition1;
    EXPECT_FALSE(a.CompareCell());
    EXPECT_EQ(a.Formula1(), "A1");
    EXPECT_FALSE(a.FmtFont.Assigned);
    EXPECT_FALSE(a.FmtBorder.LeftAssigned);
    EXPECT_TRUE(a.FmtBorder.TopAssigned);
    EXPECT_TRUE(a.FmtBorder.RightAssigned);
    EXPECT_TRUE(a.FmtBorder.BottomAssigned);
    EXPECT_EQ(a.FmtBorder.LeftStyle(), 1);
    EXPECT_EQ(a.FmtBorder.RightStyle(), 2);
    EXPECT_EQ(a.FmtBorder.TopStyle(), 3);
    EXPECT_EQ(a.FmtBorder.BottomStyle(), 4);
    EXPECT_TRUE(a.FmtPattern.PatternAssigned);
    EXPECT_FALSE(a.FmtPattern.ForeAssigned);
    EXPECT_TRUE(a.FmtPattern.BackAssigned);
    EXPECT_EQ(a.FmtPattern.FillPattern(), 5);
    EXPECT_EQ(a.FmtPattern.ForeColor(), 11);
    EXPECT_EQ(a.FmtPattern.BackColor(), 12);
    const TCondFmtData& b = f->Condition2;
    EXPECT_EQ(b.CompOperator(), coBetween);
    EXPECT_EQ(b.Formula1(), "1");
    EXPECT_EQ(b.Formula2(), "9");
    EXPECT_FALSE(b.FmtBorder.LeftAssigned);
    EXPECT_EQ(f->Condition3.Formula1(), "");

    // failures: CONDFMT and the CF records it took stay raw, one message, the cells are read
    const QByteArray one = cf(1, 5, 0x3FFFFF, {}, QByteArray::fromHex("1e0500"));
    struct Case { const char* what; QByteArray records; const char* message; } cases[] = {
        {"four CF records", condfmt(4, area, 1) + one + one + one + one, "Bad number of CF records."},
        {"no CF records", condfmt(0, area, 1), "Bad number of CF records."},
        {"a CF record missing", condfmt(2, area, 1) + one, "Excpected record missing: CF"},
        {"areas past the record", condfmt(1, area, 3) + one, "Offs:"},
        {"formula past the record", condfmt(1, area, 1) + rec(0x01B1, u8(1) + u8(5) + u16(40) + u16(0) + u32(0x3FFFFF) + u16(0) + "x"), "Offs:"},
        {"font block past the record", condfmt(1, area, 1) + cf(1, 5, 0x043FFFFF, QByteArray(100, 0)), "Offs:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded x(c.records);
        ASSERT_EQ(x.messages.size(), 1);
        EXPECT_TRUE(x.messages[0].contains(", 01B0 Offs:")) << x.messages[0].toStdString();
        EXPECT_TRUE(x.messages[0].contains(c.message)) << x.messages[0].toStdString();
        EXPECT_EQ(x.cfs().Count(), 0);
        EXPECT_TRUE(hasRecord(x.book.Sheets()[0]->RecordStorage(), 0x01B0));
        EXPECT_EQ(x.book.Sheets()[0]->CellText(0, 5), "6");
    }
}

TEST(XlsCondFmt, FreshBlocksAndSetters)
{
    TCondFmtFont font;
    EXPECT_EQ(GetDWord(font.Block + 64), 0xFFFFFFFFu);   // height
    EXPECT_EQ(GetWord(font.Block + 72), 400);             // weight
    EXPECT_EQ(GetDWord(font.Block + 80), 0xFFFFFFFFu);   // colour
    EXPECT_EQ(GetDWord(font.Block + 88), 154u);           // modified flags
    EXPECT_EQ(GetDWord(font.Block + 92), 1u);
    EXPECT_EQ(GetDWord(font.Block + 96), 1u);
    EXPECT_EQ(GetWord(font.Block + 116), 1);
    EXPECT_FALSE(font.Assigned);
    EXPECT_EQ(font.Height20(), 0);
    EXPECT_EQ(font.Color(), xcAutomatic);
    EXPECT_EQ(font.FontStyle(), 0);

    font.SetFontStyle(xfsBold | xfsItalic);
    EXPECT_EQ(font.FontStyle(), xfsBold | xfsItalic);
    EXPECT_EQ(GetWord(font.Block + 72), 700);
    EXPECT_EQ(GetDWord(font.Block + 68), 0x02u);
    EXPECT_EQ(GetDWord(font.Block + 88), 152u);
    EXPECT_TRUE(font.Assigned);
    font.SetFontStyle(xfsStrikeOut);
    EXPECT_EQ(GetDWord(font.Block + 68), 0x80u);
    EXPECT_EQ(GetDWord(font.Block + 88), 26u);
    EXPECT_EQ(GetWord(font.Block + 72), 400);

    font.SetColor(10);
    EXPECT_EQ(font.Color(), 10);
    font.SetColor(xcAutomatic);   // stored as the 32-bit -1: reads back as automatic
    EXPECT_EQ(GetDWord(font.Block + 80), 0xFFFFFFFFu);
    EXPECT_EQ(font.Color(), xcAutomatic);
    font.SetColor(0x8A);
    EXPECT_EQ(font.Color(), 10);

    TCondFmtFont h;
    h.SetHeight20(240);
    EXPECT_EQ(h.Height20(), 240);
    EXPECT_TRUE(h.Assigned);
    h.SetHeight20(0);
    EXPECT_EQ(GetDWord(h.Block + 64), 0xFFFFFFFFu);
    EXPECT_FALSE(h.Assigned);
    h.SetUnderline(xulDoubleAccount);
    EXPECT_EQ(h.Block[76], 0x22);
    EXPECT_EQ(h.Underline(), xulDoubleAccount);
    EXPECT_EQ(GetDWord(h.Block + 96), 0u);
    h.SetEscapment(xssSubscript);
    EXPECT_EQ(h.Escapment(), xssSubscript);
    EXPECT_EQ(GetDWord(h.Block + 92), 0u);

    TCondFmtBorder border;
    EXPECT_EQ(GetDWord(border.Block + 2), 0x20402040u);
    EXPECT_EQ(border.LeftColor(), 64);
    EXPECT_EQ(border.BottomColor(), 64);
    border.SetTopStyle(0);
    EXPECT_FALSE(border.TopAssigned);
    border.SetTopStyle(5);
    EXPECT_TRUE(border.TopAssigned);
    EXPECT_EQ(border.TopStyle(), 5);
    EXPECT_EQ(border.LeftStyle(), 0);
    border.SetRightColor(12);
    EXPECT_EQ(border.RightColor(), 12);
    EXPECT_EQ(border.LeftColor(), 64);
    EXPECT_EQ(border.TopColor(), 64);

    TCondFmtPattern pattern;
    pattern.SetForeColor(12);
    EXPECT_TRUE(pattern.ForeAssigned);
    EXPECT_EQ(pattern.ForeColor(), 12);
    pattern.SetForeColor(xcAutomatic);
    EXPECT_FALSE(pattern.ForeAssigned);
    EXPECT_EQ(pattern.ForeColor(), 0);
    pattern.SetBackColor(13);
    pattern.SetBackColor(0);
    EXPECT_FALSE(pattern.BackAssigned);
    pattern.SetFillPattern(3);
    EXPECT_EQ(pattern.FillPattern(), 3);

    // a condition: defaults, formulas, copies
    QChar old = ListSeparator();
    SetListSeparator(',');
    TXLSBook book;
    TConditionalFormat* f = book.Sheets()[0]->ConditionalFormats().Add();
    TCondFmtData& c = f->Condition1;
    EXPECT_TRUE(c.CompareCell());
    EXPECT_EQ(c.CompOperator(), coEqual);
    EXPECT_EQ(c.Flags(), 0x3FFFFFu);
    c.SetFormula1("MAX(A1:A3,2)");
    EXPECT_EQ(c.Formula1(), "MAX(A1:A3,2)");
    EXPECT_EQ(GetWord(c.Header + 2), c.Formula1Tokens.size());
    c.SetCompareCell(false);
    EXPECT_EQ(c.Header[0], 2);
    c.FmtFont.SetColor(10);
    f->Areas().AddArea(0, 0, 1, 1);
    TConditionalFormat* g = book.Sheets()[0]->ConditionalFormats().Add();
    g->Assign(*f);
    EXPECT_EQ(g->Condition1.Formula1(), "MAX(A1:A3,2)");
    EXPECT_FALSE(g->Condition1.CompareCell());
    EXPECT_EQ(g->Condition1.FmtFont.Color(), 10);
    EXPECT_TRUE(g->Condition1.FmtFont.Assigned);
    EXPECT_EQ(g->Areas().Count(), 1);
    c.SetFormula1("");
    EXPECT_TRUE(c.Formula1Tokens.isEmpty());
    EXPECT_EQ(GetWord(c.Header + 2), 0);
    SetListSeparator(old);
}
