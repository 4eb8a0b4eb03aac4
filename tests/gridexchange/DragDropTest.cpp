// Drag and drop through the drag executor, which sends Qt's drag events to the target.
#include "ExchangeFixture.h"

#include "grid/exchange/DragData.h"

#include <QApplication>
#include <QDropEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace xtest;

namespace {

struct DropPlan {
    grid::TZedEzeravIvur* target = nullptr;
    QPoint cell;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    bool cancel = false;
    QByteArray columnBytes;
};

// Installs an executor that drops on the plan's target cell; restores the default afterwards.
class ExecutorScope {
public:
    explicit ExecutorScope(DropPlan& plan) : m_saved(grid::TZedEzeravIvur::DragExecutor())
    {
        grid::TZedEzeravIvur::DragExecutor() = [&plan](QMimeData* data, Qt::DropActions allowed,
                                                      grid::TZedEzeravIvur*, const QPixmap&, QPoint) {
            std::unique_ptr<QMimeData> owned(data);
            plan.columnBytes = data->data(grid::exchange::GridColumnMime());
            if (plan.cancel)
                return Qt::IgnoreAction;
            return drop(*plan.target, plan.cell, data, allowed, plan.modifiers);
        };
    }
    ~ExecutorScope() { grid::TZedEzeravIvur::DragExecutor() = m_saved; }

    static Qt::DropAction drop(grid::TZedEzeravIvur& target, QPoint cell, const QMimeData* data,
                               Qt::DropActions allowed, Qt::KeyboardModifiers mods)
    {
        const QPoint pt = target.CellRect(cell.x(), cell.y()).center();
        QWidget* vp = target.viewport();
        QDragEnterEvent enter(pt, allowed, data, Qt::LeftButton, mods);
        QApplication::sendEvent(vp, &enter);
        if (!enter.isAccepted())
            return Qt::IgnoreAction;
        QDragMoveEvent move(pt, allowed, data, Qt::LeftButton, mods);
        QApplication::sendEvent(vp, &move);
        if (!move.isAccepted())
            return Qt::IgnoreAction;
        QDropEvent dropEvent(QPointF(pt), allowed, data, Qt::LeftButton, mods);
        QApplication::sendEvent(vp, &dropEvent);
        return dropEvent.isAccepted() ? dropEvent.dropAction() : Qt::IgnoreAction;
    }

private:
    grid::TZedEzeravIvur::TDragExecutor m_saved;
};

std::unique_ptr<grid::TZedEzeravIvur> ddGrid(int cols, int rows)
{
    auto g = makeGrid(cols, rows);
    g->resize(600, 400);
    g->DragDropSettings()->SetOleDropTarget(true);
    g->DragDropSettings()->OleDropSource = true;
    return g;
}

void fill2x2(grid::TZedEzeravIvur& a)
{
    a.SetCells(1, 1, "a");
    a.SetCells(2, 1, "b");
    a.SetCells(1, 2, "c");
    a.SetCells(2, 2, "d");
    a.SetSelection(tk::TGridRect{1, 1, 2, 2});
}

} // namespace

TEST(DragDrop, BlockMovesToAnotherGrid)
{
    for (bool ctrl : {false, true}) {
        auto a = ddGrid(4, 4);
        auto b = ddGrid(6, 6);
        fill2x2(*a);
        tk::TGridRect dropped{-1, -1, -1, -1};
        b->OnOleDropped = [&](QObject*, const tk::TGridRect& r) { dropped = r; };
        DropPlan plan{b.get(), QPoint(2, 3), ctrl ? Qt::ControlModifier : Qt::NoModifier};
        ExecutorScope scope(plan);
        int stopped = -1;
        a->OnOleDragStop = [&](QObject*, int effect) { stopped = effect; };
        EXPECT_TRUE(a->StartOleDrag(1, 1));
        EXPECT_EQ(row(*b, 3, 2), QStringList({"a", "b", "", ""}));
        EXPECT_EQ(row(*b, 4, 2), QStringList({"c", "d", "", ""}));
        EXPECT_EQ(b->Selection(), (tk::TGridRect{2, 3, 3, 4}));
        EXPECT_EQ(dropped, (tk::TGridRect{2, 3, 3, 4}));
        EXPECT_EQ(stopped, ctrl ? int(Qt::CopyAction) : int(Qt::MoveAction));
        EXPECT_EQ(a->Cells(1, 1), ctrl ? "a" : "");
        EXPECT_EQ(a->Cells(2, 2), ctrl ? "d" : "");
    }

    // With OleInsertRows the target gets a row per line first.
    auto a = ddGrid(4, 4);
    auto b = ddGrid(6, 6);
    fill2x2(*a);
    b->DragDropSettings()->OleInsertRows = true;
    b->SetCells(2, 3, "was here");
    DropPlan plan{b.get(), QPoint(2, 3)};
    ExecutorScope scope(plan);
    a->StartOleDrag(1, 1);
    EXPECT_EQ(b->RowCount(), 8);
    EXPECT_EQ(b->Cells(2, 5), "was here");
    EXPECT_EQ(b->Cells(2, 3), "a");
}

TEST(DragDrop, CancelRefusalAndReadOnlyTargetChangeNothing)
{
    for (int variant = 0; variant < 3; ++variant) {
        auto a = ddGrid(4, 4);
        auto b = ddGrid(6, 6);
        fill2x2(*a);
        DropPlan plan{b.get(), QPoint(2, 3)};
        plan.cancel = variant == 0;
        if (variant == 1)
            b->OnOleDrop = [](QObject*, int, int, const QString&, bool& allow) { allow = false; };
        if (variant == 2)
            b->SetGridOptions(b->GridOptions() & ~tk::goEditing);
        bool stopped = false;
        a->OnOleDragStop = [&](QObject*, int) { stopped = true; };
        ExecutorScope scope(plan);
        EXPECT_FALSE(a->StartOleDrag(1, 1)) << variant;
        EXPECT_FALSE(stopped) << variant;
        EXPECT_EQ(a->Cells(1, 1), "a") << variant;
        EXPECT_EQ(b->Cells(2, 3), "") << variant;
    }
}

TEST(DragDrop, WithinOneGrid)
{
    // Rows 5-6 dropped at row 2 with rows inserted and the dragged rows removed.
    auto g = ddGrid(3, 9);
    g->SetGridOptions(g->GridOptions() | tk::goRowSelect);
    g->DragDropSettings()->OleInsertRows = true;
    g->DragDropSettings()->OleRemoveRows = true;
    g->DragDropSettings()->OleEntireRows = true;
    for (int r = 1; r < 9; ++r)
        g->SetCells(1, r, QStringLiteral("r%1").arg(r));
    g->SetSelection(tk::TGridRect{1, 5, 2, 6});
    DropPlan plan{g.get(), QPoint(1, 2)};
    ExecutorScope scope(plan);
    EXPECT_TRUE(g->StartOleDrag(1, 5));
    EXPECT_EQ(column(*g, 1, 1), QStringList({"r1", "r5", "r6", "r2", "r3", "r4", "r7", "r8"}));

    // A drop inside the dragged block does nothing.
    auto h = ddGrid(4, 4);
    fill2x2(*h);
    DropPlan inside{h.get(), QPoint(2, 2)};
    ExecutorScope scope2(inside);
    EXPECT_FALSE(h->StartOleDrag(1, 1));
    EXPECT_EQ(row(*h, 1, 1), QStringList({"a", "b", ""}));
    EXPECT_EQ(row(*h, 2, 1), QStringList({"c", "d", ""}));
}

TEST(DragDrop, OverlappingMoveKeepsThePastedCells)
{
    auto g = ddGrid(5, 5);
    fill2x2(*g);
    DropPlan plan{g.get(), QPoint(2, 3)};
    ExecutorScope scope(plan);
    EXPECT_TRUE(g->StartOleDrag(1, 1));
    EXPECT_EQ(row(*g, 1), QStringList({"", "", "", "", ""}));
    EXPECT_EQ(row(*g, 2), QStringList({"", "", "", "", ""}));
    EXPECT_EQ(row(*g, 3), QStringList({"", "", "a", "b", ""}));
    EXPECT_EQ(row(*g, 4), QStringList({"", "", "c", "d", ""}));

    auto h = ddGrid(5, 5);
    fill2x2(*h);
    DropPlan overlap{h.get(), QPoint(2, 2)};
    ExecutorScope scope2(overlap);
    h->SetSelection(tk::TGridRect{1, 1, 2, 2});
    // (2, 2) lies inside the block: nothing happens; one row down it overlaps.
    overlap.cell = QPoint(1, 3);
    EXPECT_TRUE(h->StartOleDrag(1, 1));
    EXPECT_EQ(row(*h, 3, 1), QStringList({"a", "b", "", ""}));
    EXPECT_EQ(row(*h, 4, 1), QStringList({"c", "d", "", ""}));
    EXPECT_EQ(row(*h, 1, 1), QStringList({"", "", "", ""}));
}

TEST(DragDrop, RichTextOnlyWhileEnabledForAllGrids)
{
    const QString rtf = "{\\rtf1 x}";
    for (bool enabled : {false, true}) {
        auto a = ddGrid(4, 4);
        auto b = ddGrid(4, 4);
        auto other = ddGrid(2, 2);
        other->DragDropSettings()->SetOleDropRTF(enabled);   // any grid switches it for the family
        a->SetCells(1, 1, rtf);
        a->SetSelection(tk::TGridRect{1, 1, 1, 1});
        DropPlan plan{b.get(), QPoint(2, 2)};
        ExecutorScope scope(plan);
        a->StartOleDrag(1, 1);
        // With rich text the target takes it; without, the text form: the rich text's plain text.
        EXPECT_EQ(b->Cells(2, 2), enabled ? rtf : QStringLiteral("x"));
        std::unique_ptr<QMimeData> data(grid::exchange::MakeTextDragData("t", rtf));
        EXPECT_EQ(data->hasFormat("text/rtf"), enabled);
    }
    grid::exchange::SetDropRTFEnabled(false);
}

TEST(DragDrop, ColumnDragCarriesTheIndex)
{
    auto a = ddGrid(8, 4);
    a->DragDropSettings()->OleColumnDragDrop = true;
    auto b = ddGrid(8, 4);
    int dropped = -1;
    b->OnOleDropCol = [&](QObject*, int, int, int col) { dropped = col; };
    DropPlan plan{b.get(), QPoint(3, 0)};
    ExecutorScope scope(plan);
    EXPECT_TRUE(a->StartOleDrag(5, 0));
    EXPECT_EQ(plan.columnBytes, QByteArray("\x05\x00\x00\x00", 4));
    EXPECT_EQ(dropped, 5);
}

TEST(DragDrop, FileDrops)
{
    QTemporaryDir dir;
    auto write = [&](const QString& rel) {
        const QString path = dir.filePath(rel);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("1;2\r\n3;4\r\n");
        return path;
    };
    auto dropFiles = [&](grid::TZedEzeravIvur& g, const QStringList& paths, Qt::DropAction& action) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        data.setText(paths.join('\n'));   // what file managers add
        action = ExecutorScope::drop(g, QPoint(1, 1), &data, Qt::CopyAction | Qt::MoveAction, Qt::NoModifier);
    };
    const QString kunden = write(QString::fromUtf8("Kunden Übersicht.csv"));
    const QString bak = write("a.csv.bak");
    const QString png = write("x.csv.d/p.png");
    Qt::DropAction action;

    auto g = ddGrid(2, 2);
    dropFiles(*g, {kunden}, action);
    EXPECT_EQ(action, Qt::CopyAction);
    EXPECT_EQ(g->Cells(0, 0), "1");   // loaded, not the file name pasted
    EXPECT_EQ(g->Cells(1, 1), "4");

    auto h = ddGrid(2, 2);
    dropFiles(*h, {bak}, action);
    EXPECT_EQ(h->Cells(1, 1), "4");

    for (const QStringList& files : {QStringList{png}, QStringList{kunden, bak}}) {
        auto n = ddGrid(2, 2);
        dropFiles(*n, files, action);
        EXPECT_EQ(action, Qt::IgnoreAction);
        EXPECT_EQ(n->Cells(0, 0), "");
        EXPECT_EQ(n->Cells(1, 1), "");
    }
}

TEST(DragDrop, ArrowsMarkTheDropPlaceAndGoOnLeaving)
{
    auto g = ddGrid(5, 5);
    ASSERT_NE(g->ArrowWindow(2), nullptr);
    QMimeData text;
    text.setData("text/plain", "x");
    const QPoint pt = g->CellRect(2, 3).center();
    QDragEnterEvent enter(pt, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_FALSE(g->ArrowWindow(2)->isHidden());
    // Over the fixed row a text drop is refused and the arrow goes.
    QDragMoveEvent overHeader(g->CellRect(2, 0).center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g->viewport(), &overHeader);
    EXPECT_FALSE(overHeader.isAccepted());
    EXPECT_TRUE(g->ArrowWindow(2)->isHidden());
    QDragMoveEvent back(pt, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g->viewport(), &back);
    EXPECT_FALSE(g->ArrowWindow(2)->isHidden());
    QDragLeaveEvent leave;
    QApplication::sendEvent(g->viewport(), &leave);
    EXPECT_TRUE(g->ArrowWindow(2)->isHidden());

    // A column drag over the header shows the pair.
    std::unique_ptr<QMimeData> column(grid::exchange::MakeColumnDragData(1));
    QDragEnterEvent overColumn(g->CellRect(3, 0).center(), Qt::CopyAction, column.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g->viewport(), &overColumn);
    EXPECT_TRUE(overColumn.isAccepted());
    EXPECT_FALSE(g->ArrowWindow(0)->isHidden());
    EXPECT_FALSE(g->ArrowWindow(1)->isHidden());
}
