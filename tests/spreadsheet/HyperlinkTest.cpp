// Hyperlinks: HLINK and HLINKTOOLTIP records, and links made in code.
#include "spreadsheet/XLSBook.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

QByteArray utf16(const QString& s)
{
    QByteArray b;
    for (QChar c : s) b += u16(c.unicode());
    return b;
}
QByteArray counted(const QString& s) { return u32(uint32_t(s.size() + 1)) + utf16(s) + u16(0); }
const QByteArray urlClass = QByteArray::fromHex("e0c9ea79f9bace118c8200aa004ba90b");
const QByteArray fileClass = QByteArray::fromHex("0303000000000000c000000000000046");

QByteArray hlink(uint32_t options, const QByteArray& rest, int row = 2, int col = 1)
{
    return rec(0x01B8, u16(row) + u16(row) + u16(col) + u16(col) + QByteArray::fromHex("d0c9ea79f9bace118c8200aa004ba90b") +
                           u32(2) + u32(options) + rest);
}
QByteArray fileMoniker(int up, const QByteArray& ansi, const QString& wide = QString())
{
    QByteArray b = fileClass + u16(up) + u32(uint32_t(ansi.size() + 1)) + ansi + u8(0) + u16(0xDEAD) + u16(0) + QByteArray(20, 0);
    if (wide.isEmpty()) return b + u32(0);
    const QByteArray w = utf16(wide);
    return b + u32(uint32_t(6 + w.size())) + u32(uint32_t(w.size())) + u16(3) + w;
}

struct Loaded {
    TXLSBook book;
    QStringList messages;
    explicit Loaded(const QByteArray& sheetRecords)
    {
        book.OnMessage = [this](const QString& m) { messages << m; };
        book.LoadFromData(compoundFile({{"Workbook", book8({{"S", number(0, 0, 1) + sheetRecords + number(5, 0, 6)}, {"Sheet2", QByteArray()}})}}).bytes);
    }
    THyperlinks& links() { return book.Sheets()[0]->Hyperlinks(); }
};

}   // namespace

TEST(XlsHyperlinks, LibreOfficeMailLink)
{
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/libreoffice-names.xls");
    book.Read();
    THyperlinks& links = book.Sheets()[0]->Hyperlinks();
    ASSERT_EQ(links.Count(), 1);
    THyperlink* l = links.Items(0);
    EXPECT_EQ(l->HyperlinkType(), hltURL);
    EXPECT_EQ(l->Encoding(), hltURL);
    EXPECT_EQ(l->Address(), "mailto:info@example.de");
    EXPECT_EQ(l->Description(), "Mail");
    EXPECT_EQ(l->Col1, 3);
    EXPECT_EQ(l->Row1, 0);
    EXPECT_EQ(l->Options, 0x17u);
    EXPECT_TRUE(l->RawRecord().isEmpty());
    EXPECT_FALSE(hasRecord(book.Sheets()[0]->RecordStorage(), 0x01B8));
}

TEST(XlsHyperlinks, HandBuiltRecords)
{
    struct Case {
        const char* what;
        QByteArray records;
        THyperlinkType type;
        const char* address;
        const char* description;
        const char* location;
    } cases[] = {
        {"URL with description but no absolute flag", hlink(0x13, counted("Seite") + urlClass + u32(36) + utf16("http://example.de") + u16(0)),
         hltURL, "http://example.de", "Seite", ""},
        {"location in the workbook", hlink(0x08, counted("Sheet2!A1")), hltWorkbook, "Sheet2!A1", "", "Sheet2!A1"},
        {"file two folders up", hlink(0x01, fileMoniker(2, "a.xls")), hltFile, "..\\..\\a.xls", "", ""},
        {"file with a UTF-16 path", hlink(0x15, counted("Bericht") + fileMoniker(0, "Bericht ~1.xls", QString::fromUtf8("Bericht ä.xls"))),
         hltFile, "Bericht ä.xls", "Bericht", ""},
        {"file with a location", hlink(0x09, fileMoniker(0, "b.xls") + counted("Sheet1!B2")), hltFile, "b.xls", "", "Sheet1!B2"},
        {"URL class read for a file link", hlink(0x01, urlClass + u32(12) + utf16("x.htm") + u16(0)), hltFile, "x.htm", "", ""},
        {"UNC path", hlink(0x103, counted("\\\\srv\\share\\c.xls")), hltUNC, "\\\\srv\\share\\c.xls", "", ""},
        {"target frame and description", hlink(0x97, counted("Text") + counted("_blank") + urlClass + u32(8) + utf16("a.de")),
         hltURL, "a.de", "Text", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l(c.records);
        EXPECT_TRUE(l.messages.isEmpty()) << (l.messages.isEmpty() ? "" : l.messages[0].toStdString());
        ASSERT_EQ(l.links().Count(), 1);
        THyperlink* h = l.links().Items(0);
        EXPECT_EQ(h->HyperlinkType(), c.type);
        EXPECT_EQ(h->Address(), QString::fromUtf8(c.address));
        EXPECT_EQ(h->Description(), c.description);
        EXPECT_EQ(h->Location(), c.location);
        EXPECT_EQ(h->Row1, 2);
        EXPECT_EQ(h->Col2, 1);
    }

    // an unknown kind is kept whole; its address stays empty
    const QByteArray odd = hlink(0x21, counted("irgendwas"));
    Loaded u(odd);
    ASSERT_EQ(u.links().Count(), 1);
    EXPECT_EQ(u.links().Items(0)->HyperlinkType(), hltUnknown);
    EXPECT_EQ(u.links().Items(0)->RawRecord(), odd.mid(4));
    EXPECT_EQ(u.links().Items(0)->Address(), "");

    // a tooltip after the link is read into it and not kept raw
    Loaded t(hlink(0x08, counted("Sheet2!A1")) + rec(0x0800, u16(0x0800) + u16(2) + u16(2) + u16(1) + u16(1) + utf16("Zum Bericht") + u16(0)));
    ASSERT_EQ(t.links().Count(), 1);
    EXPECT_EQ(t.links().Items(0)->ToolTip(), "Zum Bericht");
    EXPECT_FALSE(hasRecord(t.book.Sheets()[0]->RecordStorage(), 0x0800));
    EXPECT_EQ(t.book.Sheets()[0]->CellText(0, 5), "6");
}

TEST(XlsHyperlinks, DamagedRecordsAreKeptRaw)
{
    struct Case { const char* what; QByteArray records; } cases[] = {
        {"shorter than its header", rec(0x01B8, QByteArray(20, 0))},
        {"character count far past the record", hlink(0x17, u32(0x7FFFFFFF) + utf16("ab"))},
        {"URL length past the record", hlink(0x03, urlClass + u32(0xFFFFFFF0) + utf16("ab"))},
        {"8-bit path length past the record", hlink(0x01, fileClass + u16(0) + u32(4000000000u) + "a.xls")},
        {"UTF-16 part past the record", hlink(0x01, fileMoniker(0, "a.xls").chopped(4) + u32(1000))},
        {"moniker class cut short", hlink(0x03, urlClass.left(7))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l(c.records);
        ASSERT_EQ(l.messages.size(), 1);
        EXPECT_TRUE(l.messages[0].contains(", 01B8 Offs:")) << l.messages[0].toStdString();
        EXPECT_EQ(l.links().Count(), 0);
        EXPECT_TRUE(hasRecord(l.book.Sheets()[0]->RecordStorage(), 0x01B8));
        EXPECT_EQ(l.book.Sheets()[0]->CellText(0, 5), "6");
    }
}

TEST(XlsHyperlinks, AddressSetter)
{
    TXLSBook book;
    book.Sheets().AddSheet(0)->SetName("Sheet2");
    THyperlinks& links = book.Sheets()[0]->Hyperlinks();
    struct Case { const char* address; THyperlinkType type; const char* location; } cases[] = {
        {"MAILTO:x@y.de", hltURL, ""},
        {"https://example.de/a", hltURL, ""},
        {"www.example.de", hltURL, ""},
        {"ftp://example.de", hltURL, ""},
        {"\\\\srv\\share", hltUNC, ""},
        {"Sheet1!A1", hltWorkbook, "#Sheet1!A1"},
        {"Sheet2!B2:C3", hltWorkbook, "#Sheet2!B2:C3"},
        {"report.doc", hltFile, ""},
        {"C:\\Daten\\report.doc", hltFile, ""},
    };
    for (const Case& c : cases) {
        THyperlink* h = links.Add();
        h->SetAddress(c.address);
        EXPECT_EQ(h->HyperlinkType(), c.type) << c.address;
        EXPECT_EQ(h->Encoding(), c.type) << c.address;
        EXPECT_EQ(h->Address(), c.address);
        EXPECT_EQ(h->Location(), c.location) << c.address;
        EXPECT_TRUE(h->Changed);
    }
    THyperlink* h = links.Items(0);
    h->Changed = false;
    h->SetToolTip("Tipp");
    EXPECT_TRUE(h->Changed);
    h->SetDescription("Beschreibung");
    EXPECT_EQ(h->Description(), "Beschreibung");
}
