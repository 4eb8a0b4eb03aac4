// Balloons, cell hints and the mini-HTML hint window.
#include "InputFixture.h"
#include "grid/GridHints.h"
#include "grid/ZodUvuzFooter.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyleHints>
#include <QApplication>
#include <QHelpEvent>
#include <QCursor>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Hints {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    TGridHints* hints = GridHints(grid.get());
    Hints()
    {
        grid->resize(400, 300);
        grid->show();
    }
    QPoint inside(int col, int row) const { return grid->CellRect(col, row).topLeft() + QPoint(3, 3); }
    TBalloonWindow* balloonAt(int col, int row)
    {
        hints->Balloon()->SetEnable(true);
        EXPECT_TRUE(hints->BalloonRequest(inside(col, row)));
        return hints->BalloonWindow();
    }
    QString hintAt(int col, int row, QPoint* pos = nullptr, QPoint at = QPoint(-1, -1))
    {
        THintInfo info;
        info.CursorPos = at.x() < 0 ? inside(col, row) : at;
        hints->GetCellHintInfo(info);
        if (pos)
            *pos = grid->viewport()->mapFromGlobal(info.HintPos);
        return info.HintStr;
    }
};

} // namespace

TEST(Balloon, TextTitleAndIcon)
{
    Hints h;
    h.grid->SetCells(1, 2, QString(2000, QLatin1Char('a')));
    h.grid->SetCells(1, 3, "\r\nabc\tdef");
    TBalloonWindow* w = h.balloonAt(1, 2);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Text(), QString(1021, QLatin1Char('a')) + "...");
    EXPECT_EQ(h.hints->BalloonCell(), QPoint(1, 2));
    h.balloonAt(1, 3);
    EXPECT_EQ(w->Text(), "abc def");
    EXPECT_EQ(w->Title(), " ");
    EXPECT_EQ(w->Icon(), 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));

    // The handler's choices: a long title is cut, icons outside 1..3 show none, and a text longer
    // than the balloon's buffer is cut to it.
    struct Case { int icon; QString title; int wantIcon; QString wantTitle; };
    const Case cases[] = {
        {2, QString(150, QLatin1Char('T')), 2, QString(97, QLatin1Char('T')) + "..."},
        {7, "Hinweis", 0, "Hinweis"},
    };
    for (const Case& c : cases) {
        h.hints->OnCellBalloon = [&](QObject*, int col, int row, QString& title, QString& text, int& icon) {
            EXPECT_EQ(QPoint(col, row), QPoint(1, 3));
            title = c.title;
            icon = c.icon;
            text = QString(5000, QLatin1Char('z'));
        };
        h.balloonAt(1, 3);
        EXPECT_EQ(w->Icon(), c.wantIcon);
        EXPECT_EQ(w->Title(), c.wantTitle);
        EXPECT_EQ(w->Text().size(), BalloonBufferChars);
    }
}

TEST(Balloon, HtmlCellsShowTheirTextWithoutTags)
{
    Hints h;
    h.grid->SetCells(1, 2, "<b>fett</b> und <i>schräg</i>");
    EXPECT_EQ(h.balloonAt(1, 2)->Text(), "fett und schräg");
}

TEST(Balloon, TransparencyEnableAssignAndCellChange)
{
    Hints h;
    h.hints->Balloon()->Transparency = 55;
    TBalloonWindow* w = h.balloonAt(1, 1);
    EXPECT_NEAR(w->windowOpacity(), 200.0 / 255.0, 0.01);

    // Moving to another cell pops the balloon and forgets its cell.
    QTest::mouseMove(h.grid->viewport(), h.inside(1, 4));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(h.hints->BalloonCell(), QPoint(-1, -1));

    h.hints->Balloon()->SetEnable(false);
    EXPECT_EQ(h.hints->BalloonWindow(), nullptr);
    EXPECT_FALSE(h.hints->BalloonRequest(h.inside(1, 1)));

    TBalloonSettings on;
    on.SetEnable(true);
    on.InitialDelay = 100;
    on.Transparency = 9;
    h.hints->Balloon()->Assign(&on);
    EXPECT_NE(h.hints->BalloonWindow(), nullptr);
    EXPECT_EQ(h.hints->Balloon()->InitialDelay, 100);
    EXPECT_EQ(h.hints->Balloon()->Transparency, 55);
    TBalloonSettings off;
    h.hints->Balloon()->Assign(&off);
    EXPECT_EQ(h.hints->BalloonWindow(), nullptr);
}

TEST(Balloon, DesktopDelays)
{
    TBalloonSettings s;
    const int dbl = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    EXPECT_EQ(s.EffectiveInitialDelay(), dbl);
    EXPECT_EQ(s.EffectiveAutoHideDelay(), 10 * dbl);
    EXPECT_EQ(s.EffectiveReshowDelay(), dbl / 5);
    s.InitialDelay = 0;
    s.AutoHideDelay = 700;
    EXPECT_EQ(s.EffectiveInitialDelay(), 0);
    EXPECT_EQ(s.EffectiveAutoHideDelay(), 700);
}

TEST(CellHint, LargeTextCommentsAnchorsAndPositions)
{
    Hints h;
    h.grid->HintShowLargeText = true;
    h.grid->SetCells(1, 2, "kurz");
    h.grid->SetCells(1, 3, "<b>ein sehr langer Text</b> der nicht passt");
    EXPECT_EQ(h.hintAt(1, 2), "");
    QPoint pos;
    EXPECT_EQ(h.hintAt(1, 3, &pos), "ein sehr langer Text der nicht passt");
    EXPECT_EQ(pos.y(), h.grid->CellRect(1, 3).top());
    h.grid->HTMLHint = true;
    EXPECT_EQ(h.hintAt(1, 3), "<b>ein sehr langer Text</b> der nicht passt");
    h.grid->HintShowLargeText = false;

    // A comment sits at the cell's top-right, anything else 6 pixels below the cell.
    auto g = std::make_unique<TCellGraphic>();
    g->CellType = ctComment;
    g->CellText = "Anmerkung";
    h.grid->SetCellGraphic(2, 2, std::move(g));
    EXPECT_EQ(h.hintAt(2, 2, &pos), "Anmerkung");
    EXPECT_EQ(pos, h.grid->CellRect(2, 2).topRight());
    int hooked = 0;
    h.grid->OnGridHint = [&](QObject*, int row, int col, QString& hint) {
        ++hooked;
        if (QPoint(col, row) == QPoint(2, 4))
            hint = "vom Programm";
    };
    EXPECT_EQ(h.hintAt(2, 4, &pos), "vom Programm");
    EXPECT_EQ(pos, QPoint(h.grid->CellRect(2, 4).left(), h.grid->CellRect(2, 4).bottom() + 7));
    EXPECT_EQ(h.hints->HintCell(), QPoint(2, 4));
    EXPECT_EQ(hooked, 1);
}

TEST(CellHint, NoGridHintForTheFloatingFooterRow)
{
    Hints h;
    h.grid->resize(400, 420);
    h.grid->FloatingFooter()->SetVisible(true);
    std::vector<int> rows;
    h.grid->OnGridHint = [&](QObject*, int row, int, QString& hint) {
        rows.push_back(row);
        hint = "Zeile";
    };
    ASSERT_FALSE(h.grid->CellRect(1, 9).isEmpty());
    EXPECT_EQ(h.hintAt(1, 8), "Zeile");
    EXPECT_EQ(h.hintAt(1, 9), "");
    EXPECT_EQ(rows, std::vector<int>{8});
    // The footer asks for its own hints.
    EXPECT_EQ(h.grid->FooterHint(1), "Zeile");
    h.grid->FloatingFooter()->SetVisible(false);
    EXPECT_EQ(h.hintAt(1, 9), "Zeile");
}

TEST(CellHint, AnchorTitleElseReference)
{
    Hints h;
    h.grid->AnchorHint = true;
    h.grid->SetColWidths(1, 200);
    h.grid->SetCells(1, 2, R"(<a href="http://example.org" title="Beispiel">Link</a>)");
    h.grid->SetCells(1, 3, R"(<a href="http://example.org/x">Link</a>)");
    QString seen;
    h.hints->OnAnchorHint = [&](QObject*, int, int, QString& a) { seen = a; };
    const QPoint on2 = h.grid->CellRect(1, 2).topLeft() + QPoint(6, 8);
    const QPoint on3 = h.grid->CellRect(1, 3).topLeft() + QPoint(6, 8);
    EXPECT_EQ(h.hintAt(1, 2, nullptr, on2), "Beispiel");
    EXPECT_EQ(seen, "Beispiel");
    EXPECT_EQ(h.hintAt(1, 3, nullptr, on3), "http://example.org/x");
    // Beside the link text there is no anchor.
    EXPECT_EQ(h.hintAt(1, 3, nullptr, h.grid->CellRect(1, 3).topLeft() + QPoint(150, 8)), "");
}

TEST(HintWindow, StaysOnTheScreen)
{
    THTMLHintWindow w;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QString hint = "<b>Breite</b> Spalte";
    const QRect text = w.CalcHintRect(1008, hint);
    ASSERT_GT(text.width(), 0);
    w.ActivateHint(QRect(screen.bottomRight() - QPoint(5, 5), QSize(1, 1)), hint);
    EXPECT_EQ(w.size(), QSize(text.width() + 16, text.height() + 4));
    EXPECT_EQ(w.geometry().right(), screen.right() - 2);
    EXPECT_EQ(w.geometry().bottom(), screen.bottom() - 2);
    // Away from the edges it starts at the given point.
    w.ActivateHint(QRect(QPoint(40, 50), QSize(1, 1)), hint);
    EXPECT_EQ(w.pos(), QPoint(40, 50));
    EXPECT_TRUE(w.isVisible());
}

TEST(HintWindow, ToolTipEventShowsTheCellHint)
{
    Hints h;
    h.grid->HintShowCells = true;
    QHelpEvent ev(QEvent::ToolTip, h.inside(1, 3), h.grid->viewport()->mapToGlobal(h.inside(1, 3)));
    QApplication::sendEvent(h.grid->viewport(), &ev);
    EXPECT_TRUE(h.hints->HintWindow()->isVisible());
    EXPECT_EQ(h.hints->HintWindow()->Text(), "Birne");
    // Leaving the cell cancels it.
    QTest::mouseMove(h.grid->viewport(), h.inside(1, 5));
    EXPECT_FALSE(h.hints->HintWindow()->isVisible());
}

TEST(HintWindow, ScrollThumbHint)
{
    auto g = fruitGrid();
    g->SetRowCount(200);
    g->resize(300, 300);
    g->show();
    g->ScrollHints = shVertical;
    g->HintColor = gfx::clYellow;
    g->OnScrollHint = [](QObject*, int row, QString& hint) { hint = QStringLiteral("Zeile <b>%1</b>").arg(row); };
    THTMLHintWindow* w = GridHints(g.get())->HintWindow();
    QScrollBar* bar = g->verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(89);
    ASSERT_TRUE(w->isVisible());
    EXPECT_EQ(g->ScrollHintText(), "Zeile <b>90</b>");
    EXPECT_TRUE(w->Html());
    EXPECT_EQ(w->Color(), gfx::clYellow);
    const QRect text = w->CalcHintRect(1008, w->Text());
    EXPECT_EQ(w->size(), QSize(text.width() + 16, text.height() + 4));
    EXPECT_EQ(w->pos().x(), QCursor::pos().x() + 10);
    saveShot(w->grab(), "scrollhint.png");
    bar->setSliderDown(false);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(g->ScrollHintText(), "");
    // Without scroll hints for this direction nothing shows.
    g->ScrollHints = shHorizontal;
    bar->setSliderDown(true);
    bar->setSliderPosition(20);
    EXPECT_FALSE(w->isVisible());
    bar->setSliderDown(false);
}

TEST(HintWindow, Screenshots)
{
    Hints h;
    h.grid->HTMLHint = true;
    THTMLHintWindow& w = *h.hints->HintWindow();
    w.SetColor(h.grid->HintColor);
    w.ActivateHint(QRect(100, 100, 1, 1), "cw=<b>85</b> <a href=\"x\">Link</a>");
    saveShot(w.grab(), "hintwindow.png");
    h.grid->SetCells(1, 2, "Ein Apfel am Tag hält den Doktor fern.");
    h.hints->OnCellBalloon = [](QObject*, int, int, QString& title, QString&, int& icon) {
        title = "Obst";
        icon = 2;
    };
    TBalloonWindow* b = h.balloonAt(1, 2);
    saveShot(b->grab(), "balloon.png");
    EXPECT_GT(b->width(), 40);
}
