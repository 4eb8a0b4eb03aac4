// What the grid answers when asked for a hint: title captions, header bands, tool tips for cut-off
// cell texts, and a failing hint handler.
#include "tests/datagrid/GridFixture.h"
#include <gtest/gtest.h>

using namespace xdb;
using gridtest::ListGrid;

namespace {

constexpr int kEmail = 2;

// A text at least `pixels` wide in a font.
QString TextOfWidth(const QFont& font, int pixels)
{
    const QFontMetrics fm(font);
    QString s;
    while (fm.horizontalAdvance(s) < pixels)
        s += QLatin1Char('W');
    return s;
}

} // namespace

TEST(GridHints, TitleShowsItsHintOrCaptionAndBandsTheirPartOfHeaderHint)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kEmail);
    const int col = g.grid->DataColToGridCol(kEmail);
    QRect title = g.grid->CellRect(col, 0);
    auto info = g.grid->HintAt(title.center());
    EXPECT_EQ(info.text, QStringLiteral("Email"));
    EXPECT_EQ(info.kind, hcTitle);
    EXPECT_TRUE(info.show);
    c->Title()->SetHint(QStringLiteral("Adresse"));
    EXPECT_EQ(g.grid->HintAt(title.center()).text, QStringLiteral("Adresse"));
    g.grid->SetHintOptions(hoTitleHints);                     // computed, not shown
    EXPECT_FALSE(g.grid->HintAt(title.center()).show);
    g.grid->SetHintOptions(kDefaultHintOptions);

    c->Title()->SetHeader(QStringLiteral("Kontakt|Mail"));
    c->Title()->SetHeaderHint(QStringLiteral("Wie erreichbar|"));
    QApplication::processEvents();
    title = g.grid->CellRect(col, 0);
    const int band = g.grid->HeaderHeight();
    ASSERT_GT(band, 0);
    info = g.grid->HintAt(QPoint(title.center().x(), title.top() + band / 2));
    EXPECT_EQ(info.kind, hcHeader);
    EXPECT_EQ(info.index, 0);
    EXPECT_EQ(info.text, QStringLiteral("Wie erreichbar"));
    info = g.grid->HintAt(QPoint(title.center().x(), title.top() + band + band / 2));
    EXPECT_EQ(info.index, 1);
    EXPECT_EQ(info.text, QStringLiteral("Mail"));             // empty part: the band text
    info = g.grid->HintAt(QPoint(title.center().x(), title.bottom() - 1));
    EXPECT_EQ(info.kind, hcTitle);
    EXPECT_EQ(info.text, QStringLiteral("Adresse"));
    EXPECT_EQ(info.area.top(), title.top() + 2 * band);
}

TEST(GridHints, ToolTipOnlyForACutOffTextAtTheCellsPosition)
{
    ListGrid g(3);
    TXColumn* c = g.grid->Columns()->Items(kEmail);
    const QString wide = TextOfWidth(c->Font().Font(), 300);
    const QString narrow = TextOfWidth(c->Font().Font(), 50);
    g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Email\" = ? WHERE \"_ID\" = 1"), {wide});
    g.conn.Execute(QStringLiteral("UPDATE \"RL1\" SET \"Email\" = ? WHERE \"_ID\" = 2"), {narrow});
    g.ds.Requery();
    c->SetWidth(180);
    QApplication::processEvents();
    const int active = g.grid->DataLink()->ActiveRecord();

    const QRect cell = g.grid->CellRect(g.grid->DataColToGridCol(kEmail), g.grid->TitleOffset());
    auto info = g.grid->HintAt(cell.center());
    EXPECT_TRUE(info.toolTip);
    EXPECT_TRUE(info.show);
    EXPECT_EQ(info.text, wide);
    // Left aligned at the cell, centred vertically, one pixel left and up.
    const int room = std::max(0, cell.height() - info.window.height() - 2);
    EXPECT_EQ(info.window.topLeft(), g.grid->viewport()->mapToGlobal(QPoint(cell.left() - 1, cell.top() + room / 2 - 1)));
    EXPECT_EQ(info.hideTimeout, 2 * kHintHidePause);
    EXPECT_EQ(g.grid->DataLink()->ActiveRecord(), active);

    const QRect cell2 = g.grid->CellRect(g.grid->DataColToGridCol(kEmail), g.grid->TitleOffset() + 1);
    info = g.grid->HintAt(cell2.center());
    EXPECT_FALSE(info.show);
    g.grid->SetHintOptions(kDefaultHintOptions | hoAlwaysShowToolTips);
    EXPECT_TRUE(g.grid->HintAt(cell2.center()).show);
    // A check-box column shows none.
    c->SetCheckBox(true);
    EXPECT_FALSE(g.grid->HintAt(cell.center()).toolTip);
}

TEST(GridHints, FailingHandlersLeaveAnEmptyHintAndTheActiveRecordRestored)
{
    ListGrid g(5);
    g.grid->SetHintOptions(hoDataHints | hoShowDataHints);
    g.grid->OnCellHint = [](TXCustomDBGrid*, TXColumn*, int, THintCell, QString&) { throw std::runtime_error("hint"); };
    g.ds.SetRecNo(1);
    const int active = g.grid->DataLink()->ActiveRecord();
    const QRect cell = g.grid->CellRect(g.grid->DataColToGridCol(kEmail), g.grid->TitleOffset() + 2);
    auto info = g.grid->HintAt(cell.center());
    EXPECT_TRUE(info.text.isEmpty());
    EXPECT_EQ(info.kind, hcData);
    EXPECT_EQ(g.grid->DataLink()->ActiveRecord(), active);

    // Reading the text itself fails: the record is put back all the same.
    g.grid->OnCellHint = nullptr;
    g.grid->OnColGetText = [](TXColumn*, QString&, TTextKind) { throw std::runtime_error("text"); };
    EXPECT_THROW(g.grid->HintAt(cell.center()), std::runtime_error);
    EXPECT_EQ(g.grid->DataLink()->ActiveRecord(), active);
    EXPECT_EQ(g.Id(), 1);
}
