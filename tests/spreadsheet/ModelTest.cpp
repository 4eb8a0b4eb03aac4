// Shared strings, cell storage, rows and columns, formats and record storage.
#include "spreadsheet/Cells.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/Pool.h"
#include "spreadsheet/RecordStorage.h"
#include "spreadsheet/SST.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSStream.h"
#include "XlsTestUtil.h"

#include <gtest/gtest.h>

#include <QSet>
#include <cstring>
#include <vector>

using namespace xls;
using namespace xlstest;

namespace {
// Reads an SST from records laid out as a workbook stream.
void readSST(TSST2& sst, const QByteArray& records)
{
    TXLSStream st;
    st.OpenData(rec(0x0009, u16(0) + u16(0x10)) + records);   // plain-file header so it opens
    uint16_t id, len;
    st.ReadHeader(id, len);
    st.Seek(len, TXLSStream::soFromCurrent);
    st.ReadHeader(id, len);
    sst.ReadSST(st, len);
}
}

TEST(XlsSST, EqualStringsAreSharedAndCounted)
{
    TXLSBook book;
    book.LoadFromData(compoundFile({{"Workbook", book8({{QStringLiteral("S"),
        dims8(0, 3, 0, 1) + labelsst(0, 0, 0) + labelsst(1, 0, 1) + labelsst(2, 0, 2)}},
        sst({"a", "b", "a"}))}}).bytes);
    TSheet* s = book.Sheets()[0];
    auto* a0 = static_cast<TStringCell*>(s->Cell(0, 0));
    auto* a2 = static_cast<TStringCell*>(s->Cell(0, 2));
    EXPECT_EQ(a0->Entry, a2->Entry);
    EXPECT_EQ(a0->Entry->RefCount, 2u);
    EXPECT_EQ(book.Sheets().SST().UniqueCount(), 2);
    EXPECT_EQ(s->CellText(0, 1), "b");
    // cell texts added by LABEL share too; a text above U+00FF is stored 16-bit
    TSSTEntry* e1 = book.Sheets().SST().AddText(QString::fromUtf8("Straße"));
    TSSTEntry* e2 = book.Sheets().SST().AddText(QString::fromUtf8("Straße"));
    TSSTEntry* euro = book.Sheets().SST().AddText(QString::fromUtf8("5 €"));
    EXPECT_EQ(e1, e2);
    EXPECT_EQ(e1->RefCount, 2u);
    EXPECT_EQ(e1->Options & 1, 0);
    EXPECT_EQ(euro->Options & 1, 1);
    EXPECT_EQ(euro->Text(), QString::fromUtf8("5 €"));
}

TEST(XlsSST, StringsAcrossContinueRecords)
{
    // "abcdefghij": 6 characters in the SST record, 4 in a CONTINUE that switches to 16 bits.
    QByteArray first = u32(3) + u32(3) + u16(10) + u8(0) + QByteArray("abcdef");
    QByteArray cont = u8(1) + u16('g') + u16('h') + u16('i') + u16(0x20AC);
    // then a string whose header ends exactly at the record end: characters in the next CONTINUE
    cont += u16(3) + u8(0);
    QByteArray cont2 = u8(0) + QByteArray("xyz") + u16(2) + u8(0) + QByteArray("ok");
    TXFonts fonts;
    TSST2 sst(&fonts);
    readSST(sst, rec(0x00FC, first) + rec(0x003C, cont) + rec(0x003C, cont2));
    ASSERT_EQ(sst.IndexCount(), 3);
    EXPECT_EQ(sst.EntryAt(0)->Text(), QString::fromUtf8("abcdefghi€"));
    EXPECT_EQ(sst.EntryAt(0)->Options & 1, 1);
    EXPECT_EQ(sst.EntryAt(1)->Text(), "xyz");
    EXPECT_EQ(sst.EntryAt(2)->Text(), "ok");
    EXPECT_THROW(sst.EntryAt(3), EXLSError);

    // empty strings share one entry too
    TSST2 empty(&fonts);
    readSST(empty, xlstest::sst({"", "", "z"}));
    ASSERT_EQ(empty.IndexCount(), 3);
    EXPECT_EQ(empty.EntryAt(0), empty.EntryAt(1));
    EXPECT_EQ(empty.EntryAt(1)->Text(), QString());

    // repeats near and far (inside and beyond the strings read ahead), the last one a repeat
    QStringList texts;
    for (int i = 0; i < 60; ++i) texts << QStringLiteral("s%1").arg(i % 3 == 2 ? i / 7 : i);
    texts << QStringLiteral("s0");
    TSST2 repeated(&fonts);
    readSST(repeated, xlstest::sst(texts));
    ASSERT_EQ(repeated.IndexCount(), int(texts.size()));
    QSet<TSSTEntry*> distinct;
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(repeated.EntryAt(i)->Text(), texts[i]) << i;
        EXPECT_EQ(repeated.EntryAt(i), repeated.EntryAt(int(texts.indexOf(texts[i])))) << i;
        distinct << repeated.EntryAt(i);
    }
    EXPECT_EQ(repeated.UniqueCount(), int(QSet<QString>(texts.begin(), texts.end()).size()));
    EXPECT_EQ(distinct.size(), repeated.UniqueCount());

    TSST2 bad(&fonts);
    EXPECT_THROW(readSST(bad, rec(0x00FC, u32(1) + u32(1) + u16(1) + u8(2) + QByteArray("a"))), EXLSError);
    TSST2 missing(&fonts);
    try {
        readSST(missing, rec(0x00FC, u32(1) + u32(1) + u16(4) + u8(0) + QByteArray("ab")) + rec(0x0203, QByteArray(14, 0)));
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "CONTINUE record is missing in SST");
    }
}

TEST(XlsSST, RunsAndPhoneticBytesWholeInTheRecordOrSplit)
{
    // "Köln" with two formatting runs (fonts 1 and 3) and a phonetic block of 5 bytes, a 16-bit
    // "€x" with one run, and "z": read once from one record, then split over a CONTINUE record at
    // every byte (an option byte starts the CONTINUE where characters go on in it). Every read
    // gives the same texts, runs and phonetic bytes and counts the fonts' uses alike.
    const QByteArray runs = u16(0) + u16(1) + u16(2) + u16(3);
    const QByteArray phonetic("\x01\x02\x03\x04\x05", 5);
    const QByteArray koeln = u16(4) + u8(12) + u16(2) + u32(5) + QByteArray("K\xf6ln", 4) + runs + phonetic;
    const QByteArray euro = u16(2) + u8(9) + u16(1) + u16(0x20AC) + u16('x') + u16(0) + u16(2);
    const QByteArray body = u32(3) + u32(3) + koeln + euro + u16(1) + u8(0) + QByteArray("z");
    struct Read {
        QList<QByteArray> keys;
        QStringList texts;
        QList<QByteArray> phonetics;
        QList<int> runFonts, usage;
    };
    auto read = [](const QByteArray& records) {
        TXFonts fonts;
        fonts.ResetDefaults();
        QList<int> before;
        for (int f = 0; f < 4; ++f) before << fonts.Item(f)->UsageCount;
        TSST2 sst(&fonts);
        readSST(sst, records);
        Read r;
        for (int i = 0; i < sst.IndexCount(); ++i) {
            const TSSTEntry* e = sst.EntryAt(i);
            r.keys << QByteArray(e->Data(), int(e->DataSize)) + u8(e->Options) + u16(e->CharCount);
            r.texts << e->Text();
            const int charBytes = (e->Options & 1) ? 2 * e->CharCount : e->CharCount;
            r.phonetics << QByteArray(e->Data() + charBytes + 4 * e->RunCount, int(e->PhoneticSize()));
            for (int k = 0; k < e->RunCount; ++k) r.runFonts << e->RunFont(k);
        }
        for (int f = 0; f < 4; ++f) r.usage << fonts.Item(f)->UsageCount - before[f];
        return r;
    };
    const Read whole = read(rec(0x00FC, body));
    ASSERT_EQ(whole.keys.size(), 3);
    EXPECT_EQ(whole.keys[0], QByteArray("K\xf6ln", 4) + runs + phonetic + u8(12) + u16(4));
    EXPECT_EQ(whole.keys[1], u16(0x20AC) + u16('x') + u16(0) + u16(2) + u8(9) + u16(2));
    EXPECT_EQ(whole.texts, (QStringList{QString::fromUtf8("Köln"), QString::fromUtf8("€x"), "z"}));
    EXPECT_EQ(whole.phonetics, (QList<QByteArray>{phonetic, QByteArray(), QByteArray()}));
    EXPECT_EQ(whole.runFonts, (QList<int>{1, 3, 2}));
    EXPECT_EQ(whole.usage, (QList<int>{0, 1, 1, 1}));
    const int koelnChars = 8 + 9, euroChars = 8 + int(koeln.size()) + 5, zChars = euroChars + 4 + 4 + 3;
    for (int cut = 9; cut < body.size(); ++cut) {
        QByteArray second = body.mid(cut);
        if (cut >= koelnChars && cut < koelnChars + 4) second.prepend(u8(0));
        else if (cut >= euroChars && cut < euroChars + 4) {
            if ((cut - euroChars) % 2) continue;   // inside a 16-bit character
            second.prepend(u8(1));
        } else if (cut == zChars) second.prepend(u8(0));
        const Read split = read(rec(0x00FC, body.left(cut)) + rec(0x003C, second));
        EXPECT_EQ(split.texts, whole.texts) << cut;
        EXPECT_EQ(split.phonetics, whole.phonetics) << cut;
        EXPECT_EQ(split.runFonts, whole.runFonts) << cut;
        EXPECT_EQ(split.usage, whole.usage) << cut;
    }
}

// A trie whose hash is chosen by the test, to put many entries on one slot.
class FixedHashTrie : public THashTrie {
public:
    struct E { int id; uint32_t h; };
    ~FixedHashTrie() override { ClearTrie(); }
    int released = 0;
protected:
    uint32_t Hash(const void* e) const override { return static_cast<const E*>(e)->h; }
    void Release(void* e) override { ++released; delete static_cast<E*>(e); }
    bool Equal(const void* a, const void* b) const override { return static_cast<const E*>(a)->id == static_cast<const E*>(b)->id; }
};

TEST(XlsSST, TrieKeepsCollidingEntriesThroughGrowth)
{
    FixedHashTrie t;
    // 100 distinct entries with one and the same 32-bit hash, then 5000 on 7 hashes that share
    // their low bits, with the table doubling on the way; an equal entry is found, not added
    for (int i = 100; i < 200; ++i) t.Insert(new FixedHashTrie::E{i, 0xABCDEF01u}, 0xABCDEF01u);
    for (int i = 1000; i < 6000; ++i) {
        auto* e = new FixedHashTrie::E{i, uint32_t(i % 7) << 24};
        bool found = true;
        EXPECT_EQ(t.AddOrFind(e, &found), e);
        EXPECT_FALSE(found);
    }
    FixedHashTrie::E again{1234, uint32_t(1234 % 7) << 24};
    bool found = false;
    EXPECT_NE(t.AddOrFind(&again, &found), &again);
    EXPECT_TRUE(found);
    EXPECT_EQ(t.Count(), 5100u);
    int present = 0;
    for (int i = 100; i < 200; ++i) {
        FixedHashTrie::E probe{i, 0xABCDEF01u};
        present += t.Find(&probe, probe.h) != nullptr;
    }
    for (int i = 1000; i < 6000; ++i) {
        FixedHashTrie::E probe{i, uint32_t(i % 7) << 24};
        present += t.Find(&probe, probe.h) != nullptr;
    }
    EXPECT_EQ(present, 5100);
    FixedHashTrie::E absent{99, 0xABCDEF01u};
    EXPECT_EQ(t.Find(&absent, absent.h), nullptr);
    int walked = 0;
    t.ForEach([&](void*) { ++walked; });
    EXPECT_EQ(walked, 5100);
    t.ClearTrie();
    EXPECT_EQ(t.released, 5100);
    EXPECT_EQ(t.Count(), 0u);
}

TEST(XlsCells, StorageCornersAndReplacement)
{
    TXFonts fonts;
    TCellFormats formats(&fonts);
    formats.AddNew();   // index 21
    TCellStorage st;
    const int corners[4][2] = {{0, 0}, {255, 0}, {0, 65535}, {255, 65535}};
    for (auto& c : corners) st.PutCell(CellKey(c[0], c[1]), new TFloatCell(&formats, 15, c[0] * 100000.0 + c[1]));
    for (auto& c : corners) {
        auto* cell = static_cast<TFloatCell*>(st.FindCell(CellKey(c[0], c[1])));
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->Value, c[0] * 100000.0 + c[1]);
    }
    EXPECT_EQ(st.FindCell(CellKey(1, 0)), nullptr);
    EXPECT_EQ(st.FindCell(CellKey(254, 65535)), nullptr);
    EXPECT_EQ(st.FindCell(0x1000000), nullptr);
    // a second cell at an occupied position takes over the first one's format
    st.PutCell(CellKey(3, 3), new TFloatCell(&formats, 21, 1));
    st.PutCell(CellKey(3, 3), new TBlankCell(&formats, 0));
    EXPECT_EQ(st.FindCell(CellKey(3, 3))->CellType(), ctBlank);
    EXPECT_EQ(st.FindCell(CellKey(3, 3))->FormatIndex(), 21);
    // a row that grows to the left from its last columns and back to the right keeps every cell,
    // and the walk goes in key order
    const int cols[] = {254, 0, 255, 128, 3, 253};
    for (int c : cols) st.PutCell(CellKey(c, 7), new TFloatCell(&formats, 15, c));
    for (int c : cols) {
        auto* cell = static_cast<TFloatCell*>(st.FindCell(CellKey(c, 7)));
        ASSERT_NE(cell, nullptr) << c;
        EXPECT_EQ(cell->Value, c);
    }
    EXPECT_EQ(st.FindCell(CellKey(252, 7)), nullptr);
    QList<int> walked;
    st.ForEach([&](uint32_t key, TCell*) {
        if ((key >> 8) == 7) walked << int(key & 0xFF);
    });
    EXPECT_EQ(walked, (QList<int>{0, 3, 128, 253, 254, 255}));
    // an unknown format index gives format 15
    TFloatCell odd(&formats, 4000, 0);
    EXPECT_EQ(odd.FormatIndex(), 15);
}

TEST(XlsCells, CellsHeldInPlace)
{
    TXFonts fonts;
    TCellFormats formats(&fonts);   // the 21 default formats count as loaded
    TSST2 sst(nullptr);
    TSSTEntry* text = sst.AddText(QStringLiteral("abc"));
    double half = 0.5;
    uint64_t halfBits;
    std::memcpy(&halfBits, &half, sizeof halfBits);
    struct Case {
        TCellSlot::TKind kind;
        uint64_t value;
        int type;
    };
    const Case cases[] = {{TCellSlot::skFloat, halfBits, ctFloat}, {TCellSlot::skString, uint64_t(uintptr_t(text)), ctString},
                          {TCellSlot::skBlank, 0, ctBlank}, {TCellSlot::skBoolean, 1, ctBoolean}, {TCellSlot::skError, 3, ctError}};
    const int refs15 = formats.Item(15)->RefCount, refs20 = formats.Item(20)->RefCount;
    {
        TCellStorage st;
        for (const Case& c : cases) {
            const uint32_t key = CellKey(c.kind, 9);
            st.PutValue(key, &formats, 20, c.kind, c.value);
            ASSERT_NE(st.FindSlot(key), nullptr);
            EXPECT_EQ(st.FindSlot(key)->Kind(), c.kind);
            EXPECT_EQ(st.FindSlot(key)->Value(), c.value);
        }
        EXPECT_EQ(formats.Item(20)->RefCount, refs20 + 5);
        // asked for as objects, the cells are what was put, with their format, and stay objects
        for (const Case& c : cases) {
            TCell* cell = st.FindCell(CellKey(c.kind, 9));
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->CellType(), c.type);
            EXPECT_EQ(cell->FormatIndex(), 20);
            EXPECT_EQ(st.FindSlot(CellKey(c.kind, 9))->Kind(), TCellSlot::skObject);
            EXPECT_EQ(st.FindCell(CellKey(c.kind, 9)), cell);
        }
        EXPECT_EQ(static_cast<TFloatCell*>(st.FindCell(CellKey(TCellSlot::skFloat, 9)))->Value, 0.5);
        EXPECT_EQ(static_cast<TStringCell*>(st.FindCell(CellKey(TCellSlot::skString, 9)))->Entry, text);
        EXPECT_EQ(static_cast<TBooleanCell*>(st.FindCell(CellKey(TCellSlot::skBoolean, 9)))->Value, 1);
        EXPECT_EQ(static_cast<TErrorCell*>(st.FindCell(CellKey(TCellSlot::skError, 9)))->ErrorIndex, 3);
        EXPECT_EQ(formats.Item(20)->RefCount, refs20 + 5);

        // a cell put where one is held in place takes over its format, either way
        st.PutValue(CellKey(0, 1), &formats, 20, TCellSlot::skBlank, 0);
        st.PutValue(CellKey(0, 1), &formats, 15, TCellSlot::skFloat, halfBits);
        EXPECT_EQ(st.FindSlot(CellKey(0, 1))->Kind(), TCellSlot::skObject);
        EXPECT_EQ(st.FindCell(CellKey(0, 1))->CellType(), ctFloat);
        EXPECT_EQ(st.FindCell(CellKey(0, 1))->FormatIndex(), 20);
        st.PutValue(CellKey(1, 1), &formats, 20, TCellSlot::skBlank, 0);
        st.PutCell(CellKey(1, 1), new TBooleanCell(&formats, 15, 0));
        EXPECT_EQ(st.FindCell(CellKey(1, 1))->FormatIndex(), 20);
        EXPECT_EQ(formats.Item(20)->RefCount, refs20 + 7);
        EXPECT_EQ(formats.Item(15)->RefCount, refs15);
        int walked = 0;
        st.ForEachKey([&](uint32_t) { ++walked; });
        EXPECT_EQ(walked, 7);
    }
    // the storage gave every reference back
    EXPECT_EQ(formats.Item(15)->RefCount, refs15);
    EXPECT_EQ(formats.Item(20)->RefCount, refs20);

    // a format added after loading may be renumbered: its cells are objects, and it goes with the
    // last of them
    TCellFormat* added = formats.AddNew();
    const int addedIndex = added->Index, count = formats.Count();
    {
        TCellStorage st;
        st.PutValue(CellKey(0, 0), &formats, addedIndex, TCellSlot::skFloat, halfBits);
        EXPECT_EQ(st.FindSlot(CellKey(0, 0))->Kind(), TCellSlot::skObject);
        EXPECT_EQ(st.FindCell(CellKey(0, 0))->FormatIndex(), addedIndex);
    }
    EXPECT_EQ(formats.Count(), count - 1);
}

TEST(XlsCells, RowsAndColumns)
{
    TXFonts fonts;
    TCellFormats formats(&fonts);
    const int refs15 = formats.Item(15)->RefCount, refs18 = formats.Item(18)->RefCount;
    TXLSRows rows(&formats, nullptr);
    auto row = [](int r, int options, int xfWord) {
        return u16(r) + u16(0) + u16(3) + u16(300) + u16(0) + u16(0) + u16(options) + u16(xfWord);
    };
    rows.AddRow(reinterpret_cast<const uint8_t*>(row(7, 0x0080, 0x1000 | 18).constData()), 16);
    rows.AddRow(reinterpret_cast<const uint8_t*>(row(3, 0, 0).constData()), 16);
    EXPECT_EQ(formats.Item(18)->RefCount, refs18 + 1);
    rows.SortRows();
    ASSERT_NE(rows.RowAt(7), nullptr);
    TXLSRow* seven = rows.RowAt(7);
    EXPECT_EQ(rows.RowAt(7)->FormatIndex(), 18);   // flag bits above bit 11 ignored
    EXPECT_EQ(rows.RowAt(3)->FormatIndex(), 15);
    EXPECT_EQ(rows.RowAt(3)->Height, 300);
    EXPECT_EQ(rows.RowAt(4), nullptr);
    EXPECT_EQ(rows.RowAt(70000), nullptr);
    // rows added after a sort, in order and then out of order, are found after the next one
    for (int r : {9, 12, 5, 6})
        rows.AddRow(reinterpret_cast<const uint8_t*>(row(r, 0, 0).constData()), 16);
    rows.SortRows();
    for (int r : {3, 5, 6, 7, 9, 12}) EXPECT_NE(rows.RowAt(r), nullptr) << r;
    EXPECT_EQ(rows.RowAt(8), nullptr);
    EXPECT_EQ(rows.RowAt(7), seven);   // a row asked for once is that object from then on
    EXPECT_EQ(formats.Item(18)->RefCount, refs18 + 1);
    // a row with a format added after loading (which may be renumbered) holds it as an object,
    // which goes with the row
    const int added = formats.AddNew()->Index, count = formats.Count();
    rows.AddRow(reinterpret_cast<const uint8_t*>(row(20, 0x0080, added).constData()), 16);
    EXPECT_EQ(rows.RowAt(20)->FormatIndex(), added);
    rows.Clear();
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_EQ(formats.Count(), count - 1);
    EXPECT_EQ(formats.Item(15)->RefCount, refs15);
    EXPECT_EQ(formats.Item(18)->RefCount, refs18);

    TXLSColumns cols(&formats, nullptr);
    QByteArray ci = u16(250) + u16(300) + u16(3000) + u16(16) + u16(0x0103) + u16(0);
    cols.AddColumns(reinterpret_cast<const uint8_t*>(ci.constData()), 12);
    EXPECT_EQ(cols.ColumnAt(249), nullptr);
    ASSERT_NE(cols.ColumnAt(255), nullptr);
    EXPECT_EQ(cols.ColumnAt(250)->Width, 3000);
    EXPECT_EQ(cols.ColumnAt(250)->Hidden, 1);
    EXPECT_EQ(cols.ColumnAt(250)->OutlineLevel, 1);
    EXPECT_THROW(cols.DeleteColumns(5, 4), EXLSError);
    EXPECT_THROW(cols.DeleteColumns(0, 256), EXLSError);
}

TEST(XlsFormats, SharingIsCopyOnWrite)
{
    TXFonts fonts;
    TCellFormats formats(&fonts);
    TFloatCell a(&formats, 15, 0), b(&formats, 15, 0);
    a.SetBorderStyle(0, 1);
    b.SetBorderStyle(0, 1);
    ASSERT_EQ(formats.Count(), 22);
    EXPECT_EQ(a.Format(), b.Format());
    EXPECT_EQ(a.Format()->RefCount, 2);
    EXPECT_TRUE(a.Format()->Word(8) & 0x2000);
    TCellFormat* shared = a.Format();
    a.SetBorderStyle(0, 1);   // same value: nothing changes
    EXPECT_EQ(a.Format(), shared);
    EXPECT_EQ(shared->RefCount, 2);
    a.SetBorderStyle(0, 0);   // back to format 15
    EXPECT_EQ(a.FormatIndex(), 15);
    EXPECT_EQ(b.Format()->RefCount, 1);
    b.SetBorderStyle(0, 0);   // the last user gone: the entry is removed
    EXPECT_EQ(formats.Count(), 21);
    a.SetNumberFormat(QStringLiteral("0.000"));
    EXPECT_EQ(a.NumberFormat(), "0.000");
    EXPECT_GE(a.Format()->NumberFormatIndex(), 50);
    a.SetFontSize(14);
    EXPECT_EQ(a.Font()->Size20, 280);
    EXPECT_THROW(TExcelMask().SetMask(QString(256, '0')), EXLSError);
}

TEST(XlsFormats, XfNamesAFormatThatMustExist)
{
    auto book = [](bool withFormat) {
        QByteArray globals;
        if (withFormat) globals += rec(0x041E, u16(164) + str16("0.0000"));
        QByteArray xf = u16(0) + u16(164) + u16(0) + u16(0x20) + QByteArray(12, 0);
        for (int i = 0; i < 16; ++i) globals += rec(0x00E0, xf);
        return compoundFile({{"Workbook", book8({{QStringLiteral("S"), number(0, 0, 1)}}, globals)}}).bytes;
    };
    TXLSBook ok;
    ok.LoadFromData(book(true));
    EXPECT_EQ(ok.CellFormats().Count(), 16);
    TXLSBook bad;
    try {
        bad.LoadFromData(book(false));
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_TRUE(e.message().endsWith("Can not find number format# 164")) << e.message().toStdString();
    }
}

TEST(XlsRecordStorage, DefaultsOrderAndLengths)
{
    TRecordStorageSheet st;
    // nothing stored: the slots read the templates
    EXPECT_EQ(st.Count(), 0);
    EXPECT_EQ(st.Slot(0x0200)->Length(), 14);
    // the first default is DIMENSIONS: every template before it moves into the list first
    QByteArray d = u32(1) + u32(5) + u16(2) + u16(4) + u16(0);
    st.UpdateDefault(RecordHeader(0x0200, 14), reinterpret_cast<const uint8_t*>(d.constData()));
    ASSERT_EQ(st.Count(), 24);
    EXPECT_EQ(st.Item(0)->Id, 0x0809);
    EXPECT_EQ(st.Item(13)->Id, 0x8101);
    EXPECT_EQ(st.Item(23)->Id, 0x0200);
    EXPECT_EQ(st.Slot(0x0200)->Data, d);
    st.AddRec(RecordHeader(0x0099, 2), reinterpret_cast<const uint8_t*>("\1\2"));
    // a marker placed twice stands once; a record without a slot is kept raw
    st.UpdateInternal(0x8106);
    st.UpdateInternal(0x8106);
    st.UpdateDefault(RecordHeader(0x0013, 2), reinterpret_cast<const uint8_t*>("\0\0"));
    int markers = 0, raw = 0;
    for (int i = 0; i < st.Count(); ++i) {
        markers += st.Item(i)->Id == 0x8106;
        raw += st.Item(i)->Id == 0x0013;
    }
    EXPECT_EQ(markers, 1);
    EXPECT_EQ(raw, 1);
    EXPECT_THROW(st.UpdateInternal(0x8001), EXLSError);
    // a SELECTION with two references, then one with three: each kept whole
    QByteArray sel2 = u8(3) + u16(0) + u16(0) + u16(0) + u16(2) + QByteArray(12, 1);
    QByteArray sel3 = u8(3) + u16(0) + u16(0) + u16(0) + u16(3) + QByteArray(18, 2);
    st.UpdateDefault(RecordHeader(0x001D, uint16_t(sel2.size())), reinterpret_cast<const uint8_t*>(sel2.constData()));
    EXPECT_EQ(st.Slot(0x001D)->Data, sel2);
    st.UpdateDefault(RecordHeader(0x001D, uint16_t(sel3.size())), reinterpret_cast<const uint8_t*>(sel3.constData()));
    EXPECT_EQ(st.Slot(0x001D)->Data, sel3);
    // a BIFF5 BOF (8 bytes) keeps the template's last 8 bytes
    TRecordStorageSheet st2;
    QByteArray bof5body = u16(0x0500) + u16(0x10) + u16(1) + u16(2);
    QByteArray tail = st2.Slot(0x0809)->Data.mid(8);
    st2.UpdateDefault(RecordHeader(0x0809, 8), reinterpret_cast<const uint8_t*>(bof5body.constData()));
    EXPECT_EQ(st2.Slot(0x0809)->Data, bof5body + tail);

    TRecordStorageGlobals g;
    g.SetUserName(QString(120, 'x'));
    EXPECT_EQ(g.UserName(), QString(109, 'x'));
    EXPECT_EQ(g.Slot(0x005C)->Length(), 112);
}

TEST(XlsPool, AModelGivesBackEveryObject)
{
    const size_t before = PoolLiveCount();
    {
        TXLSBook book;
        book.LoadFromData(compoundFile({{"Workbook", book8({{QStringLiteral("S"),
            dims8(0, 3, 0, 2) + number(0, 0, 1) + labelsst(1, 0, 0) + number(0, 0, 2) + labelsst(2, 1, 1)}},
            sst({"a", "b"}))}}).bytes);
        EXPECT_GT(PoolLiveCount(), before);
        // a failed read leaves a model that is freed as well
        TXLSBook broken;
        EXPECT_THROW(broken.LoadFromData(compoundFile({{"Workbook", book8({{QStringLiteral("S"),
            number(0, 0, 1) + rec(0x0006, u16(0) + u16(1) + u16(15) + u8(0) + QByteArray(5, 0) + u16(0xFFFF) + u16(0) + u32(0) + u16(3) + u8(0x01) + u16(0))
            + rec(0x0221, QByteArray(14, 0)) + rec(0x0207, u8(5))}})}}).bytes), EXLSError);
    }
    EXPECT_EQ(PoolLiveCount(), before);
}

TEST(XlsPool, BlocksAcrossPopulatedPartsAndChunksStayApart)
{
    // Pool and arena hand out their chunks part by part: what is handed out before and after each
    // step (and across chunks, and a block larger than a chunk) keeps its own bytes.
    std::vector<std::pair<char*, size_t>> blocks;
    for (int i = 0; i < 120000; ++i) {
        const size_t size = 8 + size_t(i % 31) * 8;
        blocks.emplace_back(static_cast<char*>(PoolAlloc(size)), size);
        std::memset(blocks.back().first, i & 0x7F, size);
    }
    for (size_t i = 0; i < blocks.size(); ++i)
        ASSERT_TRUE(blocks[i].first[0] == char(i & 0x7F) && blocks[i].first[blocks[i].second - 1] == char(i & 0x7F)) << i;
    for (auto& b : blocks) PoolFree(b.first, b.second);

    TStringArena arena;
    std::vector<std::pair<char*, size_t>> strings;
    for (int i = 0; i < 9000; ++i) {
        const size_t size = i == 4000 ? (size_t(3) << 20) : 1 + size_t(i * 37 % 1000);
        strings.emplace_back(arena.Alloc(size), size);
        std::memset(strings.back().first, i & 0x7F, size);
        if (i % 100 == 0) {
            // a block taken back is handed out again
            char* again = arena.Alloc(300);
            arena.TakeBack(again);
        }
    }
    for (size_t i = 0; i < strings.size(); ++i)
        ASSERT_TRUE(strings[i].first[0] == char(i & 0x7F) && strings[i].first[strings[i].second - 1] == char(i & 0x7F)) << i;
}
