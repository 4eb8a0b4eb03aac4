// Data validations: DVAL with its DV records, from LibreOffice and hand-built.
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

struct ListSep {
    QChar old = ListSeparator();
    ListSep() { SetListSeparator(','); }
    ~ListSep() { SetListSeparator(old); }
};

QByteArray dv(uint32_t options, const QList<QByteArray>& texts, const QByteArray& f1, const QByteArray& f2, const QByteArray& areas)
{
    QByteArray b = u32(options);
    for (const QByteArray& t : texts) b += t;
    b += u16(int(f1.size())) + u16(0) + f1 + u16(int(f2.size())) + u16(0) + f2 + areas;
    return rec(0x01BE, b);
}
QByteArray dval(int count) { return rec(0x01B2, u16(0) + u32(0) + u32(0) + u32(0xFFFFFFFF) + u32(uint32_t(count))); }
QByteArray oneArea(int r1, int r2, int c1, int c2) { return u16(1) + u16(r1) + u16(r2) + u16(c1) + u16(c2); }
const QList<QByteArray> noTexts = {u16(0), u16(0), u16(0), u16(0)};

struct Loaded {
    TXLSBook book;
    QStringList messages;
    explicit Loaded(const QByteArray& sheetRecords)
    {
        book.OnMessage = [this](const QString& m) { messages << m; };
        book.LoadFromData(compoundFile({{"Workbook", book8({{"S", number(0, 0, 1) + sheetRecords + number(5, 0, 6)}})}}).bytes);
    }
    TDataValidations& dvs() { return book.Sheets()[0]->Validations(); }
};

}   // namespace

TEST(XlsValidations, LibreOfficeWholeNumberRule)
{
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/libreoffice-names.xls");
    book.Read();
    TDataValidations& dvs = book.Sheets()[0]->Validations();
    ASSERT_EQ(dvs.Count(), 1);
    TDataValidation* v = dvs.Items(0);
    EXPECT_EQ(v->ValidationType(), vtInteger);
    EXPECT_EQ(v->ValidationOperator(), vopBetween);
    EXPECT_EQ(v->ValidationStyle(), vsStop);
    EXPECT_EQ(v->Expression1(), "1");
    EXPECT_EQ(v->Expression2(), "10");
    EXPECT_EQ(v->InputTitle(), "Hilfe");
    EXPECT_EQ(v->ErrorTitle(), "Fehler");
    EXPECT_EQ(v->InputMsg(), "Zahl von 1 bis 10");
    EXPECT_EQ(v->ErrorMsg(), "Falsch");
    EXPECT_EQ(v->Options, voAllowEmptyCells | voShowPromptBox | voShowErrorBox);
    ASSERT_EQ(v->Areas().Count(), 1);
    EXPECT_EQ(v->Areas().Items(0)->Rect(), (TRect{2, 1, 2, 1}));   // C2
    EXPECT_FALSE(v->Changed);
    EXPECT_FALSE(hasRecord(book.Sheets()[0]->RecordStorage(), 0x01B2));
    EXPECT_FALSE(hasRecord(book.Sheets()[0]->RecordStorage(), 0x01BE));
}

TEST(XlsValidations, HandBuiltRecords)
{
    // options: list (3), info style (2), operator not equal (3); texts: a NUL, 8-bit, 16-bit, none
    const QList<QByteArray> texts = {u16(1) + u8(0) + QByteArray(1, '\0'), str16("Titel"), str16(QString::fromUtf8("Größe €")), u16(0)};
    Loaded ok(dval(2) + dv(0x00300023, texts, QByteArray::fromHex("1e0500"), QByteArray(), oneArea(1, 3, 0, 1)) +
              dv(0x1, noTexts, QByteArray(), QByteArray(), u16(4096)));
    EXPECT_TRUE(ok.messages.isEmpty());
    ASSERT_EQ(ok.dvs().Count(), 2);
    TDataValidation* v = ok.dvs().Items(0);
    EXPECT_EQ(v->ValidationType(), vtList);
    EXPECT_EQ(v->ValidationStyle(), vsInfo);
    EXPECT_EQ(v->ValidationOperator(), vopNotEqual);
    EXPECT_EQ(v->RawOptions, 0x00300023u);
    EXPECT_EQ(v->InputTitle(), "");
    EXPECT_EQ(v->ErrorTitle(), "Titel");
    EXPECT_EQ(v->InputMsg(), QString::fromUtf8("Größe €"));
    EXPECT_EQ(v->Expression1(), "5");
    EXPECT_EQ(v->Expression2(), "");
    EXPECT_EQ(v->Areas().Items(0)->Rect(), (TRect{0, 1, 1, 3}));
    EXPECT_EQ(ok.dvs().Items(1)->Areas().Count(), 0);   // 4096 areas and more: none taken
    EXPECT_EQ(ok.dvs().DVAL()[14], 2);

    // failures: the DVAL and the DV records it took stay raw, one message, the cells are read
    struct Case { const char* what; QByteArray records; const char* message; int rawDv; } cases[] = {
        {"more DV counted than present", dval(2) + dv(1, noTexts, {}, {}, u16(0)), "Excpected record missing: DV", 1},
        {"string flag 2", dval(1) + dv(1, {u16(2) + u8(2) + "ab", u16(0), u16(0), u16(0)}, {}, {}, u16(0)), "Unhandled string in DV", 1},
        {"text past the record", dval(1) + dv(1, {u16(200) + u8(0) + "ab"}, {}, {}, {}), "Offs:", 1},
        {"formula past the record", dval(1) + rec(0x01BE, u32(1) + u16(0) + u16(0) + u16(0) + u16(0) + u16(50) + u16(0) + "x"), "Offs:", 1},
        {"areas past the record", dval(1) + dv(1, noTexts, {}, {}, u16(3) + QByteArray(8, 0)), "Offs:", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l(c.records);
        ASSERT_EQ(l.messages.size(), 1);
        EXPECT_TRUE(l.messages[0].contains(", 01B2 Offs:")) << l.messages[0].toStdString();
        EXPECT_TRUE(l.messages[0].endsWith(c.message) || l.messages[0].contains(c.message)) << l.messages[0].toStdString();
        EXPECT_EQ(l.dvs().Count(), 0);
        EXPECT_TRUE(hasRecord(l.book.Sheets()[0]->RecordStorage(), 0x01B2));
        EXPECT_EQ(hasRecord(l.book.Sheets()[0]->RecordStorage(), 0x01BE), c.rawDv > 0);
        EXPECT_EQ(l.book.Sheets()[0]->CellText(0, 5), "6");
    }
}

TEST(XlsValidations, SettersAndAssign)
{
    ListSep sep;
    TXLSBook book;
    TDataValidations& dvs = book.Sheets()[0]->Validations();
    TDataValidation* v = dvs.Add();
    EXPECT_EQ(v->ValidationType(), vtAny);
    EXPECT_EQ(v->ValidationOperator(), vopEqual);
    EXPECT_EQ(dvs.DVAL()[10], 0xFF);   // no drop-down object yet
    v->SetExpression1("A1*2");
    v->SetExpression2("SUM(B1:B3,4)");
    EXPECT_TRUE(v->Changed);
    EXPECT_EQ(v->Expression1(), "A1*2");
    EXPECT_EQ(v->Expression2(), "SUM(B1:B3,4)");
    v->SetValidationType(vtDate);
    v->SetErrorMsg("Nein");
    v->Areas().AddArea(1, 1, 2, 2);
    v->Options = voAllowEmptyCells;

    TDataValidation* w = dvs.Add();
    EXPECT_EQ(w->ID, 1);
    w->Assign(*v);
    EXPECT_TRUE(w->Changed);
    EXPECT_EQ(w->ValidationType(), vtDate);
    EXPECT_EQ(w->ErrorMsg(), "Nein");
    EXPECT_EQ(w->Expression2(), "SUM(B1:B3,4)");
    EXPECT_EQ(w->Areas().Items(0)->Rect(), (TRect{1, 1, 2, 2}));
    EXPECT_EQ(w->Options, voAllowEmptyCells | voShowPromptBox | voShowErrorBox);   // not copied
    // the area operations reach the areas
    w->OffsetAreas(1, 0);
    EXPECT_TRUE(w->IntersectsArea(3, 1, 3, 1));
    v->SetExpression1("");
    EXPECT_TRUE(v->Formula1.isEmpty());
}
