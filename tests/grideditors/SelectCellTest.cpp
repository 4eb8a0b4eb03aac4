// What happens when the current cell is asked to move: the changing events, the node column, the
// floating footer, the marks repainted and the row report.
#include "Fixture.h"

#include "grid/ZodUvuzFooter.h"

#include <QPaintEvent>
#include <QRegion>
#include <functional>
#include <vector>

using namespace gridedit;

namespace {

// Collects the areas the viewport repaints.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* w) { w->installEventFilter(this); }
    QRegion painted;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

} // namespace

TEST_F(GridEditFixture, ChangingEventsSeeTheMoveAndARefusalKeepsCellAndEditor)
{
    struct Case {
        const char* name;
        int col, row;          // target from (1, 1)
        const char* refuser;   // which event refuses, "" for none
        QStringList raised;
    };
    const std::vector<Case> cases = {
        {"row only", 1, 3, "", {"row 1>3", "cell 1,1>3,1"}},
        {"column only", 3, 1, "", {"col 1>3", "cell 1,1>1,3"}},
        {"both", 2, 4, "", {"row 1>4", "col 1>2", "cell 1,1>4,2"}},
        {"row refused", 2, 4, "row", {"row 1>4", "col 1>2", "cell 1,1>4,2"}},
        {"column refused", 2, 4, "col", {"row 1>4", "col 1>2", "cell 1,1>4,2"}},
        {"cell refused", 2, 4, "cell", {"row 1>4", "col 1>2", "cell 1,1>4,2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        grid->OnRowChanging = nullptr;
        grid->OnColChanging = nullptr;
        grid->OnCellChanging = nullptr;
        open(1, 1, "start", edNormal);
        inplace()->SetCaretPos(5);   // the shown text is selected whole: append instead
        QTest::keyClicks(inplaceWidget(), "X");
        QStringList raised;
        const QString refuser = QString::fromLatin1(c.refuser);
        grid->OnRowChanging = [&](QObject*, int o, int n, bool& allow) {
            raised << QString("row %1>%2").arg(o).arg(n);
            if (refuser == "row")
                allow = false;
        };
        grid->OnColChanging = [&](QObject*, int o, int n, bool& allow) {
            raised << QString("col %1>%2").arg(o).arg(n);
            if (refuser == "col")
                allow = false;
        };
        grid->OnCellChanging = [&](QObject*, int orow, int ocol, int nrow, int ncol, bool& allow) {
            raised << QString("cell %1,%2>%3,%4").arg(orow).arg(ocol).arg(nrow).arg(ncol);
            if (refuser == "cell")
                allow = false;
        };
        grid->FocusCell(c.col, c.row, true);
        EXPECT_EQ(raised, c.raised);
        if (refuser.isEmpty()) {
            EXPECT_EQ(grid->Col(), c.col);
            EXPECT_EQ(grid->Row(), c.row);
            EXPECT_EQ(grid->Cells(1, 1), "startX");
        } else {
            EXPECT_EQ(grid->Col(), 1);
            EXPECT_EQ(grid->Row(), 1);
            // The edit goes on untouched in the old cell.
            EXPECT_TRUE(inplace()->Visible());
            EXPECT_EQ(inplace()->Text(), "startX");
            grid->OnCellChanging = nullptr;
            grid->OnRowChanging = nullptr;
            grid->OnColChanging = nullptr;
            grid->FocusCell(1, 2, true);
        }
    }
}

TEST_F(GridEditFixture, TheNodeColumnTakesTheCurrentCellOnlyWithRowSelect)
{
    grid->SetFixedCols(0);
    grid->AddNode(1, 3);
    grid->FocusCell(2, 2, true);
    grid->FocusCell(0, 2, true);
    EXPECT_EQ(grid->Col(), 2);
    grid->FocusCell(1, 3, true);
    EXPECT_EQ(grid->Col(), 1);
    EXPECT_EQ(grid->Row(), 3);

    grid->SetGridOptions(grid->GridOptions() | tk::goRowSelect);
    grid->FocusCell(0, 2, true);
    EXPECT_EQ(grid->Col(), 0);
    EXPECT_EQ(grid->Row(), 2);
}

TEST_F(GridEditFixture, TheFloatingFooterRowNeverBecomesCurrentAndHiddenRowsScrollUp)
{
    grid->SetRowCount(30);
    TFloatingFooter* footer = grid->FloatingFooter();
    footer->SetVisible(true);
    QApplication::processEvents();
    const int last = grid->RowCount() - 1;

    grid->FocusCell(1, 5, true);
    grid->FocusCell(1, last, true);
    EXPECT_EQ(grid->Row(), 5);

    // The first row the viewport cuts off at its bottom edge scrolls into view by one row.
    const int top = grid->TopRow();
    int cut = top;
    auto bottom = [&](int r) { const QRect c = grid->CellRect(1, r); return c.top() + c.height(); };
    while (!grid->CellRect(1, cut).isEmpty() && bottom(cut) <= grid->viewport()->height() + 2)
        ++cut;
    ASSERT_FALSE(grid->CellRect(1, cut).isEmpty()) << "the test needs a row cut at the bottom";
    grid->FocusCell(1, cut, true);
    EXPECT_EQ(grid->Row(), cut);
    EXPECT_EQ(grid->TopRow(), top + 1);

    // A preview footer shows the current row: the last row may become current and the panel repaints.
    footer->SetFooterStyle(fsColumnPreview);
    QApplication::processEvents();
    int panelPaints = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&panelPaints);
    grid->FooterPanel()->installEventFilter(&counter);
    grid->FocusCell(1, last, true);
    QApplication::processEvents();
    EXPECT_EQ(grid->Row(), last);
    EXPECT_GT(panelPaints, 0);
    grid->FooterPanel()->removeEventFilter(&counter);
}

TEST_F(GridEditFixture, MovingRepaintsTheMarksThatFollowTheCurrentCell)
{
    struct Case {
        const char* name;
        std::function<void(TestGrid*)> set;
        std::vector<QPoint> cells;    // cells that must be repainted (col, row)
        std::vector<int> rows;        // whole rows that must be repainted
    };
    QImage indicator(8, 8, QImage::Format_ARGB32);
    indicator.fill(Qt::black);
    const std::vector<Case> cases = {
        {"row indicator", [&](TestGrid* g) { g->SetRowIndicator(indicator); }, {{0, 1}, {0, 4}}, {}},
        {"active cell headers", [](TestGrid* g) { g->SetActiveCellShow(true); }, {{0, 1}, {0, 4}, {1, 0}, {3, 0}}, {}},
        {"active row", [](TestGrid* g) { g->SetActiveRowShow(true); }, {}, {1, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        grid->SetRowIndicator(QImage());
        grid->SetActiveCellShow(false);
        grid->SetActiveRowShow(false);
        grid->FocusCell(1, 1, true);
        c.set(grid);
        QApplication::processEvents();
        PaintRecorder rec(grid->viewport());
        grid->FocusCell(3, 4, true);
        QApplication::processEvents();
        for (const QPoint& p : c.cells)
            EXPECT_TRUE(rec.painted.contains(grid->CellRect(p.x(), p.y()).center())) << p.x() << "," << p.y();
        for (int r : c.rows)
            EXPECT_TRUE(rec.painted.contains(grid->CellRect(4, r).center())) << "row " << r;
        grid->viewport()->removeEventFilter(&rec);
    }
    // Without any mark the header of the old row is left alone.
    grid->SetActiveRowShow(false);
    grid->FocusCell(1, 1, true);
    QApplication::processEvents();
    PaintRecorder rec(grid->viewport());
    grid->FocusCell(3, 4, true);
    QApplication::processEvents();
    EXPECT_FALSE(rec.painted.contains(grid->CellRect(0, 1).center()));
}

TEST_F(GridEditFixture, RowUpdateIsReportedOncePerRowAndNotForRefusedMoves)
{
    grid->FocusCell(1, 1, true);
    std::vector<std::pair<int, int>> reports;
    grid->OnRowUpdate = [&](QObject*, int o, int n) { reports.push_back({o, n}); };
    // Nothing was reported before: the first move reports its row, a move inside it nothing more.
    grid->FocusCell(2, 1, true);
    grid->FocusCell(3, 1, true);
    grid->FocusCell(2, 3, true);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], std::make_pair(-1, 1));
    EXPECT_EQ(reports[1], std::make_pair(1, 3));

    // A value refused by validation keeps the row: no report.
    grid->OnCellValidate = [](QObject*, int, int, QString& value, bool& valid) { valid = value != "bad"; };
    open(2, 3, "good", edEditBtn);
    grid->GridEditBtn()->setText("bad");
    reports.clear();
    grid->FocusCell(2, 4, true);
    EXPECT_EQ(grid->Row(), 3);
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(grid->GridEditBtn()->isVisible());
    EXPECT_EQ(grid->GridEditBtn()->text(), "good");
    EXPECT_EQ(grid->Cells(2, 3), "good");

    // Inside an update nothing is reported.
    grid->OnCellValidate = nullptr;
    grid->EndInplaceEdit();
    grid->BeginUpdate();
    grid->FocusCell(2, 5, true);
    grid->EndUpdate();
    EXPECT_TRUE(reports.empty());
}
