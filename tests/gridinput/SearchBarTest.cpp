// The search bar: its layout, enabling, searching as one types, the buttons and its options.
#include "InputFixture.h"
#include "grid/GridSearchBar.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Bar {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    TSearchPanel* panel = GridSearchPanel(grid.get());
    TSearchFooter* footer = panel->SearchFooter();
    Bar()
    {
        grid->resize(520, 260);
        footer->SetVisible(true);
        grid->show();
    }
    QColor editBase() const { return panel->Edit()->palette().color(QPalette::Base); }
};

} // namespace

TEST(SearchBar, LayoutAndHeights)
{
    Bar b;
    EXPECT_EQ(b.panel->Edit()->geometry().topLeft(), QPoint(25, 5));
    EXPECT_EQ(b.panel->Edit()->width(), 110);
    struct { QToolButton* button; QRect rect; } buttons[] = {
        {b.panel->ForwardButton(), QRect(140, 5, 90, 23)},
        {b.panel->BackwardButton(), QRect(235, 5, 90, 23)},
        {b.panel->HighlightButton(), QRect(330, 5, 90, 23)},
        {b.panel->CloseButton(), QRect(5, 7, 14, 14)},
    };
    for (auto& c : buttons)
        EXPECT_EQ(c.button->geometry(), c.rect) << c.button->objectName().toStdString();
    EXPECT_EQ(b.panel->MatchCaseBox()->pos(), QPoint(425, 8));
    EXPECT_EQ(b.panel->height(), 32);
    // Docked along the bottom, the cells end above it.
    EXPECT_EQ(b.panel->geometry().bottom(), b.grid->contentsRect().bottom());
    EXPECT_LE(b.grid->viewport()->geometry().bottom(), b.panel->geometry().top());

    b.footer->SetShowHighLight(false);
    EXPECT_EQ(b.panel->MatchCaseBox()->pos(), QPoint(330, 8));
    EXPECT_EQ(b.panel->HighlightButton()->height(), 0);
    EXPECT_FALSE(b.panel->HighlightButton()->isVisibleTo(b.panel));

    b.footer->SetFindNextCaption("Weiter");
    EXPECT_EQ(b.panel->ForwardButton()->text(), "Weiter");
    EXPECT_EQ(b.panel->ForwardButton()->toolTip(), "Find next occurence");
    b.footer->SetVisible(false);
    EXPECT_EQ(b.panel->height(), 0);
    EXPECT_FALSE(b.panel->isVisible());
}

TEST(SearchBar, ButtonsFollowTheText)
{
    Bar b;
    auto enabled = [&] {
        return std::array{b.panel->ForwardButton()->isEnabled(), b.panel->BackwardButton()->isEnabled(),
                          b.panel->HighlightButton()->isEnabled()};
    };
    EXPECT_EQ(enabled(), (std::array{false, false, false}));
    QTest::keyClicks(b.panel->Edit(), "bi");
    EXPECT_EQ(enabled(), (std::array{true, true, true}));
    b.panel->Edit()->clear();
    EXPECT_EQ(enabled(), (std::array{false, false, false}));
}

TEST(SearchBar, TypingSearchesAndColoursTheBox)
{
    Bar b;
    const QColor normal = b.editBase();
    QTest::keyClicks(b.panel->Edit(), "Kir");
    EXPECT_EQ(QPoint(b.grid->Col(), b.grid->Row()), QPoint(1, 4));
    EXPECT_EQ(b.editBase(), normal);

    // Highlight down: the occurrences are shown marked (the stored text stays); a text that is
    // nowhere turns the box red and takes the marks away.
    b.panel->HighlightButton()->click();
    QString shown = b.grid->Cells(1, 4);
    int kind = 0;
    EXPECT_TRUE(b.grid->ViewHighlight(1, 4, shown, kind));
    EXPECT_TRUE(shown.contains("<hi>", Qt::CaseInsensitive));
    EXPECT_EQ(b.grid->Cells(1, 4), "Kirsche");
    QTest::keyClicks(b.panel->Edit(), "zzz");
    EXPECT_EQ(b.editBase(), QColor(255, 0, 0));
    EXPECT_TRUE(b.grid->HighlightedText().isEmpty());
    b.panel->Edit()->clear();
    EXPECT_EQ(b.editBase(), b.grid->palette().color(QPalette::Base));
}

TEST(SearchBar, SearchColumnRestrictsTheSearch)
{
    Bar b;
    // "Apfel" stands in column 1 (row 1) and column 2 (row 3).
    b.footer->SetSearchColumn(2);
    QTest::keyClicks(b.panel->Edit(), "Apfel");
    EXPECT_EQ(QPoint(b.grid->Col(), b.grid->Row()), QPoint(2, 3));
    b.footer->SetSearchColumn(-1);
    b.panel->Edit()->clear();
    QTest::keyClicks(b.panel->Edit(), "Apfel");
    EXPECT_EQ(QPoint(b.grid->Col(), b.grid->Row()), QPoint(1, 1));
}

TEST(SearchBar, VisibleNotifiesOnlyOnChangeAndCloseHides)
{
    Bar b;
    int changes = 0;
    auto apply = b.footer->OnChange;
    b.footer->OnChange = [&](QObject* s) { ++changes; apply(s); };
    b.footer->SetVisible(true);
    EXPECT_EQ(changes, 0);
    b.footer->SetColor(gfx::clWhite);   // other setters always notify
    EXPECT_EQ(changes, 1);
    b.panel->CloseButton()->click();
    EXPECT_FALSE(b.footer->Visible());
    EXPECT_FALSE(b.panel->isVisible());
    EXPECT_EQ(changes, 2);
}

TEST(SearchBar, WithoutAutoSearchANewTextRestarts)
{
    Bar b;
    b.footer->SetAutoSearch(false);
    QTest::keyClicks(b.panel->Edit(), "e");   // nothing is searched while typing
    EXPECT_EQ(QPoint(b.grid->Col(), b.grid->Row()), QPoint(1, 1));
    b.panel->ForwardButton()->click();
    const QPoint first(b.grid->Col(), b.grid->Row());
    b.panel->ForwardButton()->click();
    const QPoint second(b.grid->Col(), b.grid->Row());
    EXPECT_NE(first, second);
    // Another text starts from the beginning again.
    b.panel->Edit()->setText("Apfel");
    b.panel->ForwardButton()->click();
    EXPECT_EQ(QPoint(b.grid->Col(), b.grid->Row()), QPoint(1, 1));
}

TEST(SearchBar, AssignCopiesAllButAutoSearch)
{
    TSearchFooter src, dst;
    src.SetColor(0x123456);
    src.SetColorTo(0x654321);
    src.SetFindNextCaption("Weiter");
    src.SetHintClose("Zu");
    src.SetShowMatchCase(false);
    src.SetSearchActiveColumnOnly(true);
    src.SetSearchColumn(3);
    src.SetVisible(true);
    src.SetAutoSearch(false);
    dst.Assign(&src);
    for (const char* name : {"Color", "ColorTo", "FindNextCaption", "HintClose", "ShowMatchCase",
                             "SearchActiveColumnOnly", "SearchColumn", "Visible"})
        EXPECT_EQ(dst.property(name), src.property(name)) << name;
    EXPECT_TRUE(dst.AutoSearch());
    EXPECT_EQ(src.FindNextCaption(), "Weiter");
}

TEST(SearchBar, Screenshot)
{
    Bar b;
    b.footer->SetColorTo(gfx::clSilver);
    QTest::keyClicks(b.panel->Edit(), "Bir");
    saveShot(b.grid->grab(), "searchbar.png");
    EXPECT_EQ(b.panel->grab().size(), QSize(b.grid->contentsRect().width(), 32));
}
