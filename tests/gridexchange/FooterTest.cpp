// The floating footer: calculations, styles, painting and hints.
#include "ExchangeFixture.h"

#include "grid/ZodUvuzFooter.h"
#include "grid/footer/FooterPanel.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace xtest;

namespace {

// Rows: a fixed row, the values, the footer row.
std::unique_ptr<grid::TZedEzeravIvur> footerGrid(const QStringList& values)
{
    auto g = makeGrid(3, int(values.size()) + 2);
    for (int i = 0; i < values.size(); ++i)
        g->SetCells(1, 1 + i, values[i]);
    g->FloatingFooter()->SetVisible(true);
    return g;
}

QString footerOf(grid::TZedEzeravIvur& g, int kind)
{
    g.SetFooterCalc(1, kind);
    g.UpdateFooter(-1);
    return g.Cells(1, g.RowCount() - 1);
}

} // namespace

TEST(Footer, Calculations)
{
    auto g = footerGrid({"1", "2", "3"});
    EXPECT_EQ(footerOf(*g, 1), "6.00");
    EXPECT_EQ(footerOf(*g, 2), "2.00");
    EXPECT_EQ(footerOf(*g, 3), "3.00");
    EXPECT_EQ(footerOf(*g, 4), "1.00");
    EXPECT_EQ(footerOf(*g, 5), "3.00");
    EXPECT_EQ(footerOf(*g, 0), "");
    g->FloatingFooter()->OnCalcFooter = [](QObject*, int col, int row, QString& v) { v = QStringLiteral("c%1r%2").arg(col).arg(row); };
    EXPECT_EQ(footerOf(*g, 7), "c1r4");
    g->SetCells(1, 4, "kept");
    EXPECT_EQ(footerOf(*g, 6), "kept");   // an unknown kind leaves the cell alone

    // A text is skipped by the sum and counted.
    auto x = footerGrid({"1", "x", "2"});
    EXPECT_EQ(footerOf(*x, 1), "3.00");
    EXPECT_EQ(footerOf(*x, 3), "3.00");

    // A hidden 4 counts with CalculateHiddenRows.
    auto h = footerGrid({"1", "2", "4", "3"});
    h->HideRows(3, 3);
    EXPECT_EQ(footerOf(*h, 1), "6.00");
    h->FloatingFooter()->CalculateHiddenRows = true;
    EXPECT_EQ(footerOf(*h, 1), "10.00");

    // Cell changes recalculate every footer.
    auto c = footerGrid({"1", "2"});
    c->SetFooterCalc(1, 1);
    c->PasteTextAt(1, 1, "5\n5");
    EXPECT_EQ(c->Cells(1, 3), "10.00");
}

TEST(Footer, AverageIsTheColumnAverage)
{
    // 1, 2, a text and 5: 8 over the four rows, as ColumnAvg counts them.
    auto g = footerGrid({"1", "2", "x", "5"});
    EXPECT_DOUBLE_EQ(double(g->ColumnAvg(1, 1, 4)), 2.0);
    EXPECT_EQ(footerOf(*g, 2), "2.00");

    // With a hidden row taken in, the hidden value counts as a row of its own.
    auto h = footerGrid({"1", "2", "3", "6"});
    h->HideRows(4, 4);
    h->FloatingFooter()->CalculateHiddenRows = true;
    EXPECT_EQ(footerOf(*h, 2), "3.00");
    EXPECT_EQ(footerOf(*h, 1), "12.00");
}

TEST(Footer, TemplateExpansion)
{
    const QStringList cells = {"Anna", "Bob"};
    auto text = [&](int c) { return cells.value(c); };
    EXPECT_EQ(grid::ExpandFooterTemplate("<#1>|<#a>|<#2", text), "Bob||<#2");
    EXPECT_EQ(grid::ExpandFooterTemplate("Name: <#0>, <#9>!", text), "Name: Anna, !");
}

TEST(Footer, VisibleStyles)
{
    auto g = makeGrid(3, 5);
    grid::TFloatingFooter* f = g->FloatingFooter();
    f->SetVisible(true);
    EXPECT_EQ(g->FixedFooters(), 1);
    EXPECT_TRUE(g->LastRowIsFooter());
    EXPECT_EQ(g->FooterPanel()->PanelHeight(), g->DefaultRowHeight() - 1);
    f->SetFooterStyle(grid::fsColumnPreview);
    EXPECT_EQ(g->FixedFooters(), 0);
    EXPECT_FALSE(g->LastRowIsFooter());
    EXPECT_EQ(g->FooterPanel()->PanelHeight(), g->DefaultRowHeight() - 1);
    f->SetVisible(false);
    EXPECT_EQ(g->FooterPanel()->PanelHeight(), 0);
    EXPECT_EQ(g->FixedFooters(), 0);
    EXPECT_FALSE(g->FooterPanel()->isVisibleTo(g.get()));
}

TEST(Footer, CSVLoadsKeepOrFillTheFooterRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("n.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1\r\n2\r\n3\r\n");
    file.close();

    auto sum = makeGrid(2, 2);
    sum->StoreFixedCells = false;
    sum->FloatingFooter()->SetVisible(true);
    sum->LoadFromCSV(path);
    sum->SetCells(1, 4, "stale");
    sum->SetFooterCalc(1, 1);
    sum->LoadFromCSV(path);
    EXPECT_EQ(column(*sum, 1), QStringList({"", "1", "2", "3", "6.00"}));

    auto preview = makeGrid(2, 2);
    preview->StoreFixedCells = false;
    preview->FloatingFooter()->SetFooterStyle(grid::fsColumnPreview);
    preview->FloatingFooter()->SetVisible(true);
    preview->LoadFromCSV(path);
    EXPECT_EQ(column(*preview, 1), QStringList({"", "1", "2", "3"}));
}

TEST(Footer, PaintingFollowsHorizontalScrollAndHintsHitThePaintedColumn)
{
    auto g = makeGrid(8, 6);
    g->resize(300, 200);
    g->SetFixedCols(1);
    for (int c = 0; c < 8; ++c)
        g->SetColWidths(c, 60);
    g->FloatingFooter()->SetVisible(true);
    g->FloatingFooter()->SetShowHint(true);
    g->GetCellProperties(3, 5)->SetBrushColor(0x0000FF);   // red (BGR)
    g->show();
    QList<int> hinted;
    g->OnGridHint = [&](QObject*, int row, int col, QString& hint) {
        hinted << col;
        hint = QStringLiteral("r%1").arg(row);
    };
    grid::TFooterPanel* panel = g->FooterPanel();
    const int lw = g->GridLineWidth();
    const int x3 = 3 * (60 + lw) + 10;
    QImage before = panel->grab().toImage();
    EXPECT_EQ(QColor(before.pixel(x3, 5)), QColor(Qt::red));
    EXPECT_EQ(g->FooterColumnAt(x3), 3);
    EXPECT_EQ(g->FooterHint(g->FooterColumnAt(x3)), "r5");

    g->SetLeftCol(2);
    QImage after = panel->grab().toImage();
    const int x3after = (60 + lw) + (60 + lw) + 10;   // fixed column, column 2, then column 3
    EXPECT_EQ(QColor(after.pixel(x3after, 5)), QColor(Qt::red));
    EXPECT_NE(QColor(after.pixel(x3, 5)), QColor(Qt::red));
    EXPECT_EQ(g->FooterColumnAt(x3after), 3);
    EXPECT_EQ(g->FooterColumnAt(10), 0);
    EXPECT_EQ(g->FooterColumnAt(5000), -1);
    g->SetCells(4, 1, "2.5");
    g->SetCells(4, 2, "4");
    g->SetFooterCalc(4, 1);
    g->UpdateFooter(-1);
    EXPECT_EQ(g->Cells(4, 5), "6.50");
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOTS"))
        g->grab().save(QString::fromLocal8Bit(qgetenv("QLY_SCREENSHOTS")) + "/footer.png");
}

TEST(Footer, RightToLeftTheFooterCellsStandUnderTheirMirroredColumns)
{
    auto g = makeGrid(4, 6);
    g->resize(300, 200);
    for (int c = 0; c < 4; ++c)
        g->SetColWidths(c, 60);
    g->FloatingFooter()->SetVisible(true);
    g->GetCellProperties(1, 5)->SetBrushColor(0x0000FF);   // red (BGR)
    g->setLayoutDirection(Qt::RightToLeft);
    g->show();
    QApplication::processEvents();
    grid::TFooterPanel* panel = g->FooterPanel();
    const QImage img = panel->grab().toImage();
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR"))
        img.save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + QStringLiteral("/footer-right-to-left.png"));
    // Column 1's footer cell lies under column 1's mirrored rectangle.
    const QRect column1 = g->CellRect(1, 1);
    const int x = g->viewport()->mapTo(panel->parentWidget(), column1.center()).x() - panel->x();
    EXPECT_EQ(QColor(img.pixel(x, 5)), QColor(Qt::red));
    EXPECT_EQ(g->FooterColumnAt(x), 1);
    EXPECT_EQ(g->FooterColumnAt(panel->width() - 5), 0) << "the fixed column stands at the right";
}
