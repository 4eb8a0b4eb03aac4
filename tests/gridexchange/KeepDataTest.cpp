// Data that must survive the grid's exchange paths: awkward texts through the text stream after a
// paste and after a workbook load, the footer's calculations while rows come and go, footer and
// search bar together, highlighting that never reaches the stored texts, UTF-16 CSV files, rich
// text dragged as plain text, and caller formats of the progress bar.
#include "ExchangeFixture.h"

#include "grid/GridSearchBar.h"
#include "grid/ZodUvuzFooter.h"
#include "grid/exchange/DragData.h"
#include "grid/footer/FooterPanel.h"
#include "grid/minihtml/MiniHTML.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace xtest;
using grid::TZedEzeravIvur;

namespace {

QString dataFile(const char* name) { return QStringLiteral(QLY_SOURCE_DIR "/tests/gridexchange/data/") + QLatin1String(name); }

// The texts the stream has to give back as they were (the workbook holds the same, its last one
// cut to a cell's 32767 characters).
QStringList awkwardTexts()
{
    QString big;
    while (big.size() < (1 << 20))
        big += QStringLiteral("Zeile \u00fc\u20ac\r\n");
    return {QStringLiteral("zeile1\nzeile2"),
            QStringLiteral("a\rb"),
            QStringLiteral("a\r\nb"),
            QStringLiteral("tab\there"),
            QStringLiteral("\"quoted\" and \"\"double\"\""),
            QString::fromUtf16(u"nul\0inside", 10),
            QStringLiteral("\x08 backspace and \x1B escape"),
            QStringLiteral("\n\x1B" "starts with LF ESC"),
            big};
}

QString quotedField(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

// Saves the grid to the text stream and loads it into a new grid.
std::unique_ptr<TZedEzeravIvur> throughStream(TZedEzeravIvur& g)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    g.SaveToStream(buffer);
    buffer.seek(0);
    auto copy = makeGrid(2, 2);
    copy->Multilinecells = true;
    copy->StoreFixedCells = g.StoreFixedCells;
    copy->LoadFromStream(buffer);
    return copy;
}

void expectSameCells(TZedEzeravIvur& a, TZedEzeravIvur& b)
{
    ASSERT_EQ(a.RowCount(), b.RowCount());
    ASSERT_EQ(a.ColCount(), b.ColCount());
    for (int r = 0; r < a.RowCount(); ++r)
        for (int c = 0; c < a.ColCount(); ++c)
            EXPECT_TRUE(a.Cells(c, r) == b.Cells(c, r))
                << "cell " << c << "," << r << ": " << a.Cells(c, r).left(40).toStdString() << " / "
                << b.Cells(c, r).left(40).toStdString();
}

} // namespace

TEST(KeepData, AwkwardTextsPastedComeBackFromTheStreamExactly)
{
    const QStringList texts = awkwardTexts();
    auto g = makeGrid(2, int(texts.size()) + 1);
    g->Multilinecells = true;
    g->Navigation()->AllowClipboardShortCuts = true;
    g->resize(400, 300);
    g->show();
    QApplication::setActiveWindow(g.get());
    g->setFocus();
    QStringList lines;
    for (const QString& t : texts)
        lines << quotedField(t);
    QGuiApplication::clipboard()->setText(lines.join(QLatin1String("\r\n")));
    g->FocusCell(1, 1, true);
    QTest::keyClick(g.get(), Qt::Key_V, Qt::ControlModifier);
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(g->Cells(1, 1 + i) == texts[i]) << "pasted text " << i << ": " << g->Cells(1, 1 + i).left(30).toStdString();
    auto copy = throughStream(*g);
    expectSameCells(*g, *copy);
}

TEST(KeepData, AwkwardTextsOfAWorkbookComeBackFromTheStreamExactly)
{
    auto g = makeGrid(2, 2);
    g->StoreFixedCells = false;   // A1 goes to the first normal cell
    g->LoadFromXLS(dataFile("awkward-texts.xls"));
    const QStringList texts = awkwardTexts();
    for (int i = 0; i + 1 < texts.size(); ++i)
        ASSERT_TRUE(g->Cells(1, 1 + i) == texts[i]) << "workbook text " << i << ": " << g->Cells(1, 1 + i).left(30).toStdString();
    ASSERT_EQ(g->Cells(1, int(texts.size())).size(), 32767);
    auto copy = throughStream(*g);
    expectSameCells(*g, *copy);
}

TEST(KeepData, FooterKeepsItsCalculationWhenRowsAreAddedAtTheEnd)
{
    auto footered = [] {
        auto g = makeGrid(3, 5);   // rows 1..3 data, row 4 the footer
        g->resize(400, 300);
        for (int r = 1; r <= 3; ++r)
            g->SetCells(1, r, QString::number(r));
        g->SetFloatFormat(QStringLiteral("%g"));
        g->FloatingFooter()->SetVisible(true);
        g->SetFooterCalc(1, 1);
        g->CalcFooter(-1);
        return g;
    };
    {   // more rows by count: the footer row stays last, the new rows are empty data rows
        auto g = footered();
        ASSERT_EQ(g->Cells(1, 4), "6");
        g->SetRowCount(8);
        g->SetCells(1, 4, "10");
        g->CalcFooter(-1);
        EXPECT_EQ(column(*g, 1, 1), QStringList({"1", "2", "3", "10", "", "", "16"}));
    }
    {   // a paste at the last data row that runs past it
        auto g = footered();
        g->show();
        QApplication::setActiveWindow(g.get());
        g->setFocus();
        g->Navigation()->AllowClipboardRowGrow = true;
        g->Navigation()->AllowClipboardShortCuts = true;
        QGuiApplication::clipboard()->setText(QStringLiteral("30\r\n40\r\n50"));
        g->FocusCell(1, 3, true);
        QTest::keyClick(g.get(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(column(*g, 1, 1), QStringList({"1", "2", "30", "40", "50", "123"}));
    }
    {   // a CSV file with another number of lines
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("werte.csv"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("a;5\r\nb;6\r\nc;7\r\nd;8\r\ne;9\r\n");
        f.close();
        auto g = footered();
        g->StoreFixedCells = false;
        g->LoadFromCSV(path);
        EXPECT_EQ(column(*g, 2, 1), QStringList({"5", "6", "7", "8", "9", ""}));
        g->SetFooterCalc(2, 1);
        g->CalcFooter(-1);
        EXPECT_EQ(g->Cells(2, g->RowCount() - 1), "35");
        EXPECT_EQ(g->Cells(1, g->RowCount() - 1), "0");   // column 1 holds no numbers now
    }
}

TEST(KeepData, FooterAndSearchBarAreStackedUnderTheCells)
{
    QWidget window;
    window.resize(520, 320);
    auto* g = new TZedEzeravIvur(&window);
    g->setGeometry(10, 10, 500, 300);
    g->SetColCount(4);
    g->SetRowCount(30);
    for (int r = 1; r < 29; ++r)
        g->SetCells(1, r, QString::number(r));
    g->FloatingFooter()->SetVisible(true);
    g->SetFooterCalc(1, 1);
    grid::GridSearchFooter(g)->SetVisible(true);
    g->CalcFooter(-1);
    window.show();
    QApplication::processEvents();
    grid::TFooterPanel* footer = g->FooterPanel();
    auto* search = grid::GridSearchPanel(g);
    ASSERT_TRUE(footer->isVisible());
    ASSERT_TRUE(search->isVisible());
    const QRect cells = g->viewport()->geometry();
    EXPECT_EQ(footer->geometry().top(), cells.bottom() + 1);
    EXPECT_EQ(search->geometry().top(), footer->geometry().bottom() + 1);
    EXPECT_EQ(search->height(), 32);
    EXPECT_LE(search->geometry().bottom(), g->contentsRect().bottom());
    EXPECT_FALSE(footer->geometry().intersects(search->geometry()));
    if (const QString shots = qEnvironmentVariable("QLY_SHOTS"); !shots.isEmpty())
        window.grab().save(shots + QStringLiteral("/footer-and-search.png"));
    // Either one alone takes only its own room.
    grid::GridSearchFooter(g)->SetVisible(false);
    EXPECT_EQ(g->viewport()->geometry().bottom() + 1, footer->geometry().top());
    EXPECT_EQ(g->viewport()->geometry().height(), cells.height() + 32);
}

TEST(KeepData, HighlightingMarksTheViewAndNotTheTexts)
{
    auto g = makeGrid(3, 4);
    g->resize(500, 300);
    g->SetCells(1, 1, QStringLiteral("1 < 2 > b"));
    g->SetCells(2, 2, QStringLiteral("<b>bold</b> b"));
    g->Navigation()->AllowClipboardShortCuts = true;
    auto* bar = grid::GridSearchPanel(g.get());
    grid::GridSearchFooter(g.get())->SetVisible(true);
    g->show();
    QApplication::processEvents();
    auto* edit = bar->findChild<QLineEdit*>(QStringLiteral("SearchEdit"));
    auto* highlight = bar->findChild<QToolButton*>(QStringLiteral("SearchHighlight"));
    ASSERT_TRUE(edit && highlight);
    QTest::keyClicks(edit, "b");
    highlight->setCheckable(true);
    QTest::mouseClick(highlight, Qt::LeftButton);
    EXPECT_EQ(g->HighlightedText(), "b");
    // The stored texts stay; the view shows the plain text's characters, the found ones marked.
    EXPECT_EQ(g->Cells(1, 1), "1 < 2 > b");
    EXPECT_EQ(g->Cells(2, 2), "<b>bold</b> b");
    QString shown = g->Cells(1, 1);
    int kind = 0;
    ASSERT_TRUE(g->ViewHighlight(1, 1, shown, kind));
    EXPECT_EQ(kind, 1);
    EXPECT_TRUE(shown.contains(QLatin1String("<hi>b</hi>")));
    EXPECT_EQ(minihtml::DecodeEntities(minihtml::MiniHTMLToText(shown)), "1 < 2 > b");
    // Copies and streams carry the stored texts.
    g->SetSelection(tk::TGridRect{1, 1, 2, 2});
    g->setFocus();
    QTest::keyClick(g.get(), Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QLatin1String("1 < 2 > b"))) << copied.toStdString();
    EXPECT_FALSE(copied.contains(QLatin1String("<hi>")));
    auto copy = throughStream(*g);
    EXPECT_EQ(copy->Cells(1, 1), "1 < 2 > b");
    // Closing the bar leaves nothing marked.
    auto* close = bar->findChild<QToolButton*>(QStringLiteral("SearchClose"));
    ASSERT_TRUE(close);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_TRUE(g->HighlightedText().isEmpty());
    shown = g->Cells(1, 1);
    kind = 0;
    EXPECT_FALSE(g->ViewHighlight(1, 1, shown, kind));
}

TEST(KeepData, UnicodeCsvFilesWithAByteOrderMarkLoadAsText)
{
    QTemporaryDir dir;
    for (const bool bigEndian : {false, true}) {
        const QString path = dir.filePath(bigEndian ? QStringLiteral("be.csv") : QStringLiteral("le.csv"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral("Name;Stra\u00dfe\r\nM\u00fcller;Hauptstr. 1\r\n");
        QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
        for (const QChar c : text) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            bytes += bigEndian ? QByteArray{&hi, 1} + QByteArray{&lo, 1} : QByteArray{&lo, 1} + QByteArray{&hi, 1};
        }
        f.write(bytes);
        f.close();
        auto g = makeGrid(3, 2);
        g->StoreFixedCells = false;
        g->LoadFromCSV(path);
        EXPECT_EQ(row(*g, 1, 1), QStringList({"Name", "Stra\u00dfe"}));
        EXPECT_EQ(row(*g, 2, 1), QStringList({"M\u00fcller", "Hauptstr. 1"}));
    }
}

TEST(KeepData, DraggedRichTextCellOffersItsPlainText)
{
    auto g = makeGrid(3, 3);
    g->resize(400, 300);
    g->DragDropSettings()->OleDropSource = true;
    g->DragDropSettings()->SetOleDropRTF(true);
    g->SetCells(1, 1, QStringLiteral("{\\rtf1\\ansi Hallo \\b Welt\\b0\\par}"));
    g->SetSelection(tk::TGridRect{1, 1, 1, 1});
    QString plain, rich;
    const auto saved = TZedEzeravIvur::DragExecutor();
    TZedEzeravIvur::DragExecutor() = [&](QMimeData* data, Qt::DropActions, TZedEzeravIvur*, const QPixmap&, QPoint) {
        std::unique_ptr<QMimeData> owned(data);
        plain = QString::fromUtf8(data->data(grid::exchange::TextMime()));
        rich = QString::fromLatin1(data->data(grid::exchange::RTFMime()));
        return Qt::IgnoreAction;
    };
    g->StartOleDrag(1, 1);
    TZedEzeravIvur::DragExecutor() = saved;
    g->DragDropSettings()->SetOleDropRTF(false);
    EXPECT_TRUE(plain.contains(QLatin1String("Hallo Welt"))) << plain.toStdString();
    EXPECT_FALSE(plain.contains(QLatin1String("rtf")));
    EXPECT_TRUE(rich.startsWith(QLatin1String("{\\rtf1")));
}

TEST(KeepData, ProgressBarAndFooterTakeAnyCallerFormat)
{
    struct Case {
        const char* format;
        double value;
        const char* text;
    };
    for (const Case& c : {Case{"Wert %s", 42, "Wert %s"}, Case{"%d %%", 42, "42 %"}, Case{"%5.1f", 2.24, "  2.2"},
                          Case{"%n%p", 7, "%n%p"}, Case{"%04x", 255, "00ff"}, Case{"%", 1, "%"},
                          Case{"%.2f of %d", 3.14159, "3.14 of 3"}}) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(grid::FormatNumber(QString::fromLatin1(c.format), c.value), QString::fromLatin1(c.text));
        QImage image(120, 20, QImage::Format_RGB32);
        QPainter p(&image);
        grid::DrawProgressBar(p, image.rect(), 0xFF0000, 0xFFFFFF, 0xFFFFFF, 0, int(c.value), 0, 0, 0, 100,
                              QString::fromLatin1(c.format), gfx::clNone);
    }
    // The footer's numbers follow the grid's float format the same way.
    auto g = makeGrid(3, 4);
    g->SetCells(1, 1, "2");
    g->SetCells(1, 2, "3");
    g->SetFloatFormat(QStringLiteral("Summe %s %.1f"));
    g->FloatingFooter()->SetVisible(true);
    g->SetFooterCalc(1, 1);
    g->CalcFooter(-1);
    EXPECT_EQ(g->Cells(1, 3), "Summe %s 5.0");
}
