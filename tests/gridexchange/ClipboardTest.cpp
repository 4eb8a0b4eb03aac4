// Cells through the process's clipboard as text.
#include "ExchangeFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace xtest;

namespace {

QString clipboardText() { return QString::fromUtf8(QGuiApplication::clipboard()->mimeData()->data("text/plain")); }
void setClipboardText(const QString& text)
{
    auto* mime = new QMimeData;
    mime->setData("text/plain", text.toUtf8());
    QGuiApplication::clipboard()->setMimeData(mime);
}

void select(grid::TZedEzeravIvur& g, int left, int top, int right, int bottom)
{
    g.SetSelection(tk::TGridRect{left, top, right, bottom});
}

} // namespace

TEST(ClipboardCopy, RowsColumnsAndQuoting)
{
    auto g = makeGrid();
    g->SetCells(1, 1, "a");
    g->SetCells(2, 1, "b");
    g->CopyRangeToClipboard(tk::TGridRect{1, 1, 2, 1}, false);
    EXPECT_EQ(clipboardText(), "a\tb");
    EXPECT_EQ(g->CopyOrigin(), QPoint(1, 1));

    g->SetCells(1, 2, "b");
    g->CopyRangeToClipboard(tk::TGridRect{1, 1, 1, 2}, false);
    EXPECT_EQ(clipboardText(), "a\r\nb\r\n");

    g->SetCells(3, 3, "x\r\ny");
    g->CopyRangeToClipboard(tk::TGridRect{3, 3, 3, 3}, false);
    EXPECT_EQ(clipboardText(), "\"x\ny\"");

    g->Multilinecells = true;
    g->MultiLineClipboardQuoting = true;
    g->CopyRangeToClipboard(tk::TGridRect{3, 3, 3, 3}, false);
    EXPECT_EQ(clipboardText(), "\"x\x0By\"");

    // A check box without text is copied as its check text.
    auto box = std::make_unique<grid::TCellGraphic>();
    box->CellType = grid::ctCheckBox;
    box->CellBoolean = true;
    g->SetCellGraphic(0, 4, std::move(box));
    g->CopyRangeToClipboard(tk::TGridRect{0, 4, 0, 4}, false);
    EXPECT_EQ(clipboardText(), "Y");

    g->SetCells(4, 4, "<b>bold</b> text");
    g->Navigation()->CopyHTMLTagsToClipboard = false;
    g->CopyRangeToClipboard(tk::TGridRect{4, 4, 4, 4}, false);
    EXPECT_EQ(clipboardText(), "bold text");
    g->Navigation()->CopyHTMLTagsToClipboard = true;
    g->CopyRangeToClipboard(tk::TGridRect{4, 4, 4, 4}, false);
    EXPECT_EQ(clipboardText(), "<b>bold</b> text");
}

TEST(ClipboardCopy, AwkwardTextsRoundTripThroughASecondGrid)
{
    const QStringList texts = {"x\"y\nz", "\"Hi\" he said", "a\tb", "x\ny", "plain", "\"", ""};
    auto a = makeGrid(2, int(texts.size()) + 1);
    for (int i = 0; i < texts.size(); ++i) {
        a->SetCells(0, i, texts[i]);
        a->SetCells(1, i, QString::number(i));
    }
    a->CopyRangeToClipboard(tk::TGridRect{0, 0, 1, int(texts.size()) - 1}, false);
    auto b = makeGrid(3, 3);
    b->PasteFromClipboardAt(1, 1);
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(b->Cells(1, 1 + i), texts[i]) << i;
        EXPECT_EQ(b->Cells(2, 1 + i), QString::number(i)) << i;
    }
}

// With multi-line cells and their clipboard quoting every line break is copied as character 11:
// tabs and quotes beside line breaks come back, and a lone CR stays a line break (read back as
// CR LF) instead of being dropped.
TEST(ClipboardCopy, MultiLineCellsWithTabsQuotesAndLoneCRRoundTrip)
{
    const struct {
        QString text, pasted;
    } cases[] = {{"a\tb\r\nc", "a\tb\r\nc"},
                 {"\"q\"\r\n\"", "\"q\"\r\n\""},
                 {"x\"\t\"\r\ny\"", "x\"\t\"\r\ny\""},
                 {"eins\rzwei\r\ndrei", "eins\r\nzwei\r\ndrei"},
                 {"\t\"\r", "\t\"\n"},
                 {"a\tb", "a\tb"},
                 {"\"\t", "\"\t"}};
    const int n = int(std::size(cases));
    auto a = makeGrid(2, n + 1);
    a->Multilinecells = true;
    a->MultiLineClipboardQuoting = true;
    for (int i = 0; i < n; ++i) {
        a->SetCells(0, i, cases[i].text);
        a->SetCells(1, i, QString::number(i));
    }
    a->CopyRangeToClipboard(tk::TGridRect{0, 0, 1, n - 1}, false);
    auto b = makeGrid(3, 3);
    b->Multilinecells = true;
    b->MultiLineClipboardQuoting = true;
    b->PasteFromClipboardAt(1, 1);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(b->Cells(1, 1 + i), cases[i].pasted) << i;
        EXPECT_EQ(b->Cells(2, 1 + i), QString::number(i)) << i;
    }
}

TEST(ClipboardPaste, TextBlocksGrowTheGrid)
{
    auto g = makeGrid(2, 2);
    EXPECT_EQ(g->PasteTextAt(0, 0, "1\t2\n3\t4\n"), 5);
    EXPECT_EQ(row(*g, 0), QStringList({"1", "2"}));
    EXPECT_EQ(row(*g, 1), QStringList({"3", "4"}));
    EXPECT_EQ(g->RowCount(), 2);   // the empty last line adds no row

    // Three lines at the last row add two rows.
    g->PasteTextAt(0, 1, "a\r\nb\r\nc\r\n");
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(column(*g, 0, 1), QStringList({"a", "b", "c"}));

    // Without column growth nothing lands past the last column.
    g->Navigation()->AllowClipboardColGrow = false;
    g->Navigation()->AllowClipboardRowGrow = false;
    g->PasteTextAt(1, 3, "p\tq\tr\ns\tt");
    EXPECT_EQ(g->ColCount(), 2);
    EXPECT_EQ(g->RowCount(), 4);
    EXPECT_EQ(g->Cells(1, 3), "p");

    // A footer row is never pasted on.
    auto f = makeGrid(2, 3);
    f->SetLastRowIsFooter(true);
    f->Navigation()->AllowClipboardRowGrow = false;
    f->PasteTextAt(0, 1, "x\ny\n");
    EXPECT_EQ(column(*f, 0), QStringList({"", "x", ""}));
}

TEST(ClipboardPaste, EventsEditabilityAndGate)
{
    auto g = makeGrid(3, 3);
    g->GetCellProperties(1, 0)->ReadOnly = true;
    QList<QPoint> offered;
    g->OnClipboardBeforePasteCell = [&](QObject*, int c, int r, QString& v, bool& allow) {
        offered << QPoint(c, r);
        if (v == "veto")
            allow = false;
        v = v.toUpper();
    };
    std::u16string wide;
    g->OnClipboardBeforePasteWideCell = [&](QObject*, int, int, std::u16string& v, bool&) {
        wide = v;
        v += u"!";
    };
    const QString packed = grid::PackWideCell(u"Ωmega");
    g->PasteTextAt(0, 0, "a\tro\tveto\nb\t" + packed);
    EXPECT_EQ(row(*g, 0), QStringList({"A", "", ""}));
    EXPECT_EQ(g->Cells(0, 1), "B");
    EXPECT_EQ(wide, u"Ωmega");   // the packed last field of a line reaches the wide event
    EXPECT_EQ(grid::UnpackWideCell(g->Cells(1, 1)), u"Ωmega!");
    EXPECT_EQ(offered, QList<QPoint>({{0, 0}, {2, 0}, {0, 1}}));

    auto off = makeGrid(2, 2);
    off->SetGridOptions(off->GridOptions() & ~tk::goEditing);
    EXPECT_EQ(off->PasteTextAt(0, 0, "x"), 0);
    EXPECT_EQ(off->Cells(0, 0), "");
    off->Navigation()->AllowClipboardAlways = true;
    EXPECT_EQ(off->PasteTextAt(0, 0, "x"), 1);
    EXPECT_EQ(off->Cells(0, 0), "x");
}

TEST(ClipboardPaste, CellsPastedAndCellsChanged)
{
    struct Grid : grid::TZedEzeravIvur {
        QPoint origin{-2, -2};
        tk::TGridRect target;
        bool fromCopy = false;
        void CellsPasted(QPoint o, const tk::TGridRect& t, bool c) override { origin = o; target = t; fromCopy = c; }
    } g;
    g.SetColCount(4);
    g.SetRowCount(4);
    g.SetGridOptions(g.GridOptions() | tk::goEditing);
    QList<QRect> changed;
    g.OnCellsChanged = [&](QObject*, const QRect& r) { changed << r; };
    g.SetCells(1, 1, "v");
    g.SetSelection(tk::TGridRect{1, 1, 1, 1});
    g.CopyToClipboard();
    g.PasteFromClipboardAt(2, 2);
    EXPECT_EQ(g.origin, QPoint(1, 1));
    EXPECT_TRUE(g.fromCopy);
    EXPECT_EQ(g.target, (tk::TGridRect{2, 2, 2, 2}));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0], QRect(QPoint(2, 2), QPoint(2, 2)));
}

TEST(ClipboardCut, ClearsOnlyEditableCopiedCells)
{
    auto g = makeGrid(3, 3);
    g->SetCells(1, 1, "a");
    g->SetCells(2, 1, "b");
    g->GetCellProperties(2, 1)->ReadOnly = true;
    select(*g, 1, 1, 2, 1);
    g->CutToClipboard();
    EXPECT_EQ(clipboardText(), "a\tb");
    EXPECT_EQ(g->Cells(1, 1), "");
    EXPECT_EQ(g->Cells(2, 1), "b");
    EXPECT_FALSE(g->LastTransferWasCopy());
}

TEST(ClipboardCopy, RichTextOfTheTopLeftCellKeepsTheText)
{
    auto g = makeGrid(3, 3);
    g->Navigation()->AllowRTFClipboard = true;
    const QString rtf = "{\\rtf1\\ansi {\\b hello}}";
    g->SetCells(1, 1, rtf);
    g->CopyRangeToClipboard(tk::TGridRect{1, 1, 1, 1}, false);
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(QString::fromLatin1(m->data("text/rtf")), rtf);
    EXPECT_EQ(clipboardText(), "hello");   // the text form holds the rich text's plain text
    // Pasting prefers the rich text when allowed: one text, nothing counted.
    EXPECT_EQ(g->PasteFromClipboardAt(2, 2), 0);
    EXPECT_EQ(g->Cells(2, 2), rtf);
}

// Smart filling of a selection after a paste.
TEST(SmartFill, SeriesPatternsAndRepeats)
{
    LocaleScope german(QLatin1Char(','));
    struct Case { const char* clip; QStringList before; QStringList expected; } cases[] = {
        {"1\r\n2\r\n", {}, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"1,5\r\n2\r\n", {}, {"1,5", "2", "2,50", "3,00", "3,50", "4,00", "4,50", "5,00", "5,50", "6,00"}},
        {"Mon\r\nTue", {}, {"Mon", "Tue", "Mon", "Tue", "Mon", "Tue", "Mon", "Tue", "Mon", "Tue"}},
        {"a\r\nb\r\nc\r\n", {}, {"a", "b", "c", "a", "b", "c", "a", "b", "c", "a"}},
        {"5\r\n", {"", "8"}, {"5", "5", "5", "5", "5", "5", "5", "5", "5", "5"}},
        {"30.01.2024\r\n31.01.2024\r\n", {},
         {"30.01.2024", "31.01.2024", "01.02.2024", "02.02.2024", "03.02.2024", "04.02.2024", "05.02.2024",
          "06.02.2024", "07.02.2024", "08.02.2024"}},
        {"15.11.2024\r\n15.12.2024\r\n", {},   // only the months differ: carried into the next year
         {"15.11.2024", "15.12.2024", "15.01.2025", "15.02.2025", "15.03.2025", "15.04.2025", "15.05.2025",
          "15.06.2025", "15.07.2025", "15.08.2025"}},
        {"01.03.2020\r\n01.03.2021\r\n", {},   // only the years differ
         {"01.03.2020", "01.03.2021", "01.03.2022", "01.03.2023", "01.03.2024", "01.03.2025", "01.03.2026",
          "01.03.2027", "01.03.2028", "01.03.2029"}},
        {"29.02.2024\r\nx\r\n", {},   // a second value that is no date ends the fill
         {"29.02.2024", "x", "", "", "", "", "", "", "", ""}},
        {"08:00\r\n08:30\r\n", {},
         {"08:00", "08:30", "09:00", "09:30", "10:00", "10:30", "11:00", "11:30", "12:00", "12:30"}},
    };
    for (const Case& c : cases) {
        auto g = makeGrid(2, 11);
        g->Navigation()->AllowSmartClipboard = true;
        for (int i = 0; i < c.before.size(); ++i)
            g->SetCells(1, 1 + i, c.before[i]);
        setClipboardText(c.clip);
        select(*g, 1, 1, 1, 10);
        g->PasteFromClipboard();
        EXPECT_EQ(column(*g, 1, 1), c.expected) << c.clip;
    }

    // A block that covers the selection fills no more.
    auto g = makeGrid(2, 4);
    g->Navigation()->AllowSmartClipboard = true;
    setClipboardText("1\r\n5\r\n7");
    select(*g, 1, 1, 1, 3);
    g->PasteFromClipboard();
    EXPECT_EQ(column(*g, 1, 1), QStringList({"1", "5", "7"}));

    // A row of values fills along a row.
    auto r = makeGrid(6, 2);
    r->Navigation()->AllowSmartClipboard = true;
    setClipboardText("2\t4");
    select(*r, 1, 1, 5, 1);
    r->PasteFromClipboard();
    EXPECT_EQ(row(*r, 1, 1), QStringList({"2", "4", "6", "8", "10"}));
}

TEST(SmartFill, OneValueFillsTheEditableCellsOfABlock)
{
    struct Grid : grid::TZedEzeravIvur {
        int pasted = 0;
        void CellsPasted(QPoint, const tk::TGridRect&, bool fromCopy) override { pasted += fromCopy ? 1 : 0; }
    } g;
    g.SetColCount(4);
    g.SetRowCount(4);
    g.SetGridOptions(g.GridOptions() | tk::goEditing);
    g.Navigation()->AllowSmartClipboard = true;
    g.GetCellProperties(2, 2)->ReadOnly = true;
    setClipboardText("7");
    g.SetSelection(tk::TGridRect{1, 1, 3, 3});
    g.PasteFromClipboard();
    for (int c = 1; c <= 3; ++c)
        for (int r = 1; r <= 3; ++r)
            EXPECT_EQ(g.Cells(c, r), (c == 2 && r == 2) ? "" : "7") << c << "," << r;
    EXPECT_EQ(g.pasted, 7);   // nine cells but the top-left and the read-only one
}
