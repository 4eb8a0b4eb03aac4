// Dragging rows from one data grid to another and docking a grid, with the pointer moved by
// xdotool on a real X server. GridDragDock.UnderXvfb starts this program again under xvfb-run
// on the xcb platform, where the GridDragDockInner tests do the work.
#include "tests/datagrid/GridFixture.h"

#include <QDrag>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

using namespace xdb;

namespace {

constexpr const char* kInnerVar = "QLY_GRID_DRAG_INNER";

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Runs one chain of xdotool commands while this process keeps handling its events: a drag
// started by the chain's motion runs its own loop inside this call until the chain releases.
bool xdo(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForStarted(5000))
        return false;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        p.waitForFinished(5);
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Press at `from`, move in steps to `to`, release there.
bool dragWithPointer(QPoint from, QPoint to)
{
    QStringList a{"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()), "sleep", "0.3",
                  "mousedown", "1", "sleep", "0.3"};
    for (int i = 1; i <= 8; ++i) {
        const QPoint p = from + (to - from) * i / 8;
        a << "mousemove" << QString::number(p.x()) << QString::number(p.y()) << "sleep" << "0.15";
    }
    a << "sleep" << "0.3" << "mouseup" << "1" << "sleep" << "0.3";
    return xdo(a);
}

void ExposeAll(const QList<QWidget*>& windows)
{
    for (QWidget* w : windows)
        w->show();
    waitFor([&] {
        for (QWidget* w : windows)
            if (!w->windowHandle() || !w->windowHandle()->isExposed())
                return false;
        return true;
    });
    QTest::qWait(300);
}

// The centre of the title cell that is the grid's filler (found by what the grid reports).
QPoint FillerPoint(TXCustomDBGrid* g)
{
    for (int y = 1; y < 40; ++y)
        for (int x = 1; x < g->viewport()->width(); ++x)
            if (g->TitleHitAt(QPoint(x, y)).filler)
                return g->viewport()->mapToGlobal(QPoint(x + 3, y + 3));
    return QPoint(-1, -1);
}

class GridDragDockInner : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty(kInnerVar))
            GTEST_SKIP() << "runs inside GridDragDock.UnderXvfb, on the xcb platform of a virtual X server";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
};

} // namespace

TEST_F(GridDragDockInner, DraggedRowsReachTheOtherGridWithTheirCursor)
{
    gridtest::ListGrid a(5);
    gridtest::ListGrid b(2);
    a.grid->setWindowTitle("A");
    b.grid->setWindowTitle("B");
    a.grid->setGeometry(20, 20, 380, 220);
    b.grid->setGeometry(20, 320, 380, 220);
    for (auto* g : {a.grid.get(), b.grid.get()})
        for (int i = 0; i < g->Columns()->Count(); ++i)
            g->Columns()->Items(i)->SetWidth(70);
    ExposeAll({a.grid.get(), b.grid.get()});
    a.grid->SetDragRows(true);
    a.grid->SetOptions(a.grid->Options() | dgMultiSelect | dgAutoUnselectOff);

    QStringList log;
    QList<db::TBookmark> dropped;
    QImage cursorSeen;
    a.grid->OnStartDrag = [&](TXCustomDBGrid*) { log << "start"; };
    a.grid->OnEndDrag = [&](TXCustomDBGrid*, QObject* target, int, int) {
        log << (target == b.grid.get() ? "end on B" : "end elsewhere");
    };
    b.grid->OnDragOver = [&](TXCustomDBGrid*, TXCustomDBGrid* source, int, int, bool& accept) {
        accept = source == a.grid.get();
        if (QDrag* drag = a.grid->findChild<QDrag*>())
            cursorSeen = drag->dragCursor(Qt::MoveAction).toImage();
    };
    b.grid->OnDragDrop = [&](TXCustomDBGrid*, TXCustomDBGrid* source, int, int) {
        log << QStringLiteral("drop from %1").arg(source == a.grid.get() ? "A" : "?");
    };
    // The dropped rows arrive as the drag's data.
    struct DropWatch : QObject {
        QList<db::TBookmark>* out;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Drop)
                *out = TXCustomDBGrid::DraggedBookmarks(static_cast<QDropEvent*>(e)->mimeData());
            return false;
        }
    } watch;
    watch.out = &dropped;
    b.grid->viewport()->installEventFilter(&watch);

    // Two rows selected: the multi-row cursor and both bookmarks.
    a.ds.SetRecNo(2);
    a.grid->SelectedRows()->SetCurrentRowSelected(true);
    a.ds.SetRecNo(3);
    a.grid->SelectedRows()->SetCurrentRowSelected(true);
    const QPoint from = a.grid->viewport()->mapToGlobal(a.CellCenter(2, 2));
    const QPoint to = b.grid->viewport()->mapToGlobal(b.CellCenter(2, 1));

    ASSERT_TRUE(dragWithPointer(from, to));
    waitFor([&] { return log.size() >= 3; });
    EXPECT_EQ(log, QStringList({"start", "drop from A", "end on B"}));
    ASSERT_EQ(dropped.size(), 2);
    const auto selected = a.grid->SelectedRows()->List();
    EXPECT_EQ(dropped, QList<db::TBookmark>(selected.begin(), selected.end()));
    EXPECT_EQ(cursorSeen, TXCustomDBGrid::DragCursorPixmap(true).toImage());

    // No selection: the current row alone, with the single-row cursor.
    a.grid->SelectedRows()->Clear();
    log.clear();
    ASSERT_TRUE(dragWithPointer(a.grid->viewport()->mapToGlobal(a.CellCenter(2, 0)), to));
    waitFor([&] { return log.size() >= 3; });
    EXPECT_EQ(log, QStringList({"start", "drop from A", "end on B"}));
    ASSERT_EQ(dropped.size(), 1);
    a.ds.First();
    EXPECT_EQ(dropped[0], a.ds.GetBookmark());
    EXPECT_EQ(cursorSeen, TXCustomDBGrid::DragCursorPixmap(false).toImage());

    // A grid without DragRows takes a press and move as a selection, not a drag.
    a.grid->SetDragRows(false);
    log.clear();
    ASSERT_TRUE(dragWithPointer(a.grid->viewport()->mapToGlobal(a.CellCenter(2, 0)), to));
    EXPECT_TRUE(log.isEmpty()) << log.join(", ").toStdString();
}

TEST_F(GridDragDockInner, FillerDragDocksTheGridOrLetsItFloat)
{
    gridtest::ListGrid g(3);
    QWidget home;
    home.setWindowTitle("Home");
    home.setGeometry(20, 20, 420, 260);
    auto* homeLayout = new QVBoxLayout(&home);
    homeLayout->addWidget(g.grid.get());
    QWidget site;
    site.setWindowTitle("Site");
    site.setGeometry(480, 20, 300, 260);
    site.setProperty("dockSite", true);
    site.setAcceptDrops(true);
    new QVBoxLayout(&site);
    ExposeAll({&home, &site});
    g.grid->SetDragKind(dkDock);
    QStringList log;
    g.grid->OnStartDock = [&](TXCustomDBGrid*) { log << "start"; };
    g.grid->OnEndDock = [&](TXCustomDBGrid*, QWidget* target, int, int) {
        log << (target == &site ? "docked" : target ? "elsewhere" : "floating");
    };

    QPoint filler = FillerPoint(g.grid.get());
    ASSERT_GE(filler.x(), 0);
    ASSERT_TRUE(dragWithPointer(filler, site.mapToGlobal(QPoint(150, 130))));
    waitFor([&] { return log.size() >= 2; });
    EXPECT_EQ(log, QStringList({"start", "docked"}));
    EXPECT_EQ(g.grid->parentWidget(), &site);
    EXPECT_TRUE(g.grid->isVisible());

    // Dropped where no dock site is, it floats in a window of its own there.
    log.clear();
    waitFor([&] { return g.grid->isVisible(); });
    QTest::qWait(300);
    filler = FillerPoint(g.grid.get());
    ASSERT_GE(filler.x(), 0);
    const QPoint free(300, 450);
    ASSERT_TRUE(dragWithPointer(filler, free));
    waitFor([&] { return log.size() >= 2; });
    EXPECT_EQ(log, QStringList({"start", "floating"}));
    EXPECT_TRUE(g.grid->Floating());
    ASSERT_NE(g.grid->FloatingWindow(), nullptr);
    EXPECT_TRUE(g.grid->FloatingWindow()->isVisible());
    EXPECT_NE(g.grid->window(), &site);
    EXPECT_EQ(site.layout()->count(), 0);
    const QString dir = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0).save(dir + "/grid-floating.png");
    // Destroyed before the grid: the floating window goes with its parent window.
    g.grid.release()->deleteLater();
}

TEST(GridDragDock, UnderXvfb)
{
    if (!qEnvironmentVariableIsEmpty(kInnerVar))
        GTEST_SKIP() << "the inner run";
    QStringList missing;
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (!missing.isEmpty())
        GTEST_SKIP() << "needs " << missing.join(", ").toStdString() << " (scripts/packages.txt lists them)";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kInnerVar, "1");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    QByteArray out;
    int exitCode = -1;
    // Servers started at the same moment by parallel tests may pick the same display: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess inner;
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(QStringLiteral("xvfb-run"), {"-a", "-s", "-screen 0 800x600x24 -nolisten tcp",
                                                 QCoreApplication::applicationFilePath(), "--gtest_filter=GridDragDockInner.*"});
        ASSERT_TRUE(inner.waitForStarted(10000));
        if (!inner.waitForFinished(240000)) {
            inner.terminate();
            if (!inner.waitForFinished(5000))
                inner.kill();
            inner.waitForFinished(5000);
            FAIL() << "the desktop run did not end within four minutes:\n" << inner.readAll().toStdString();
        }
        out = inner.readAll();
        exitCode = inner.exitCode();
        if (!out.contains("Xvfb failed to start"))
            break;
    }
    EXPECT_EQ(exitCode, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 2 tests")) << out.toStdString();
    EXPECT_FALSE(out.contains("SKIPPED")) << out.toStdString();
}
