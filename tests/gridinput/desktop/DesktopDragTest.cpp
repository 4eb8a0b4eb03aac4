// Drag and drop on a real X server: two grids of this process and a small GTK program, with the
// pointer moved by xdotool. DesktopDrag.UnderXvfb starts this program again under xvfb-run on
// the xcb platform, where the DesktopDragInner tests do the work.
#include "grid/ZodUvuz.h"

#include <QApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr const char* kInnerVar = "QLY_DESKTOP_INNER";
const QString kPython = QStringLiteral("/usr/bin/python3");

QString peerScript() { return QStringLiteral(QLY_SOURCE_DIR "/tests/gridinput/desktop/gtkpeer.py"); }

// Keeps the application running until done() holds or the time is up; whether it holds.
bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Runs xdotool with the arguments while this process keeps handling its events (a drag started
// by the motion runs inside this call); whether it ended well.
bool xdo(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForStarted(5000))
        return false;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 10000) {
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

QPoint g_pointer;

bool pointerTo(QPoint global)
{
    g_pointer = global;
    return xdo({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y())});
}

// Presses the left button where the pointer is. A press near the last one and soon after it
// would be taken as a double click: it waits for that time to pass first.
bool press()
{
    static QElapsedTimer last;
    static QPoint lastAt;
    if (last.isValid() && (g_pointer - lastAt).manhattanLength() < 16) {
        const qint64 due = QApplication::doubleClickInterval() + 100;
        waitFor([&] { return last.elapsed() > due; }, int(due) + 100);
    }
    last.start();
    lastAt = g_pointer;
    return xdo({"mousedown", "1"});
}

// The small GTK program: its window, its zones on the screen and what it reports.
class Peer {
public:
    bool start(const QString& csvFile, QPoint at)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            m_output += m_process.readAllStandardOutput();
        });
        m_process.start(kPython, {peerScript(), csvFile, QString::number(at.x()), QString::number(at.y())});
        if (!m_process.waitForStarted(5000))
            return false;
        return waitFor([this] { return !zone("drop").isEmpty() && !zone("source").isEmpty(); }, 20000);
    }
    ~Peer()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();   // the peer ends when its input closes
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }
    QRect zone(const QString& name) const
    {
        for (const QString& line : lines()) {
            const QStringList f = line.split(QLatin1Char(' '));
            if (f.size() == 6 && f[0] == QLatin1String("ZONE") && f[1] == name)
                return QRect(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt());
        }
        return QRect();
    }
    // The first reported line starting with the word, without it; a null string when none.
    QString line(const QString& word) const
    {
        for (const QString& l : lines())
            if (l == word || l.startsWith(word + QLatin1Char(' ')))
                return l.mid(word.size()).trimmed();
        return QString();
    }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }
    QString output() const { return QString::fromUtf8(m_output); }

private:
    QStringList lines() const { return QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QProcess m_process;
    QByteArray m_output;
};

// Watches a grid's viewport for the drag events that reach it.
class DragWatch : public QObject {
public:
    explicit DragWatch(QWidget* viewport) { viewport->installEventFilter(this); }
    int moves = 0;
    int drops = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::DragMove || e->type() == QEvent::DragEnter)
            ++moves;
        else if (e->type() == QEvent::Drop)
            ++drops;
        return false;
    }
};

// A 4 x 4 grid with one fixed row and column as a top-level window at a place on the screen.
std::unique_ptr<grid::TZedEzeravIvur> placedGrid(const QString& title, QPoint at)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(4);
    g->SetRowCount(4);
    g->setWindowTitle(title);
    g->setGeometry(QRect(at, QSize(300, 180)));
    g->show();
    return g;
}

// The whole screen into $QLY_SCREENSHOT_DIR when that is set.
void saveScreen(const QString& name)
{
    const QString dir = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    QDir().mkpath(dir);
    QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QLatin1Char('/') + name);
}

bool exposed(QWidget& w) { return w.windowHandle() && w.windowHandle()->isExposed(); }

QPoint cellCenter(grid::TZedEzeravIvur& g, int col, int row)
{
    return g.viewport()->mapToGlobal(g.CellRect(col, row).center());
}

QStringList block(grid::TZedEzeravIvur& g)
{
    return {g.Cells(1, 1), g.Cells(2, 1), g.Cells(1, 2), g.Cells(2, 2)};
}

class DesktopDragInner : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty(kInnerVar))
            GTEST_SKIP() << "runs inside DesktopDrag.UnderXvfb, on the xcb platform of a virtual X server";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        a = placedGrid(QStringLiteral("Grid A"), QPoint(20, 20));
        b = placedGrid(QStringLiteral("Grid B"), QPoint(20, 260));
        a->DragDropSettings()->OleDropSource = true;
        a->SetCells(1, 1, "a");
        a->SetCells(2, 1, "b");
        a->SetCells(1, 2, "c");
        a->SetCells(2, 2, "d");
        a->SetSelection(tk::TGridRect{1, 1, 2, 2});
        a->OnOleDragStart = [this](QObject*, int, int) {
            ++dragStarts;
            if (whileDragging)
                QTimer::singleShot(0, a.get(), [this] { whileDragging(); });
        };
        a->OnOleDragStop = [this](QObject*, int) { ++dragStops; };
        b->SetGridOptions(b->GridOptions() | tk::goEditing);
        b->DragDropSettings()->SetOleDropTarget(true);
        watchB = std::make_unique<DragWatch>(b->viewport());
        ASSERT_TRUE(waitFor([this] { return exposed(*a) && exposed(*b); }));
    }
    void TearDown() override
    {
        // No button or key may stay down for the next test.
        if (!qEnvironmentVariableIsEmpty(kInnerVar)) {
            xdo({"mouseup", "1"});
            xdo({"keyup", "ctrl"});
        }
    }

    // Presses on A's cell (1,1) and moves the pointer by the given steps to the right.
    void pressOnAAndMove(std::initializer_list<int> steps)
    {
        const QPoint start = cellCenter(*a, 1, 1);
        ASSERT_TRUE(pointerTo(start));
        ASSERT_TRUE(press());
        for (int dx : steps)
            ASSERT_TRUE(pointerTo(start + QPoint(dx, 0)));
    }

    enum class Key { None, Ctrl, Escape };
    // While a drag is running: the pointer to the target (through a point short of it, so the
    // target sees an enter and a move), then the button is released once the target answered.
    // Ctrl is held from before the last move; Escape is pressed before the release.
    void dropAt(QPoint target, const std::function<bool()>& targetSawIt, Key key = Key::None)
    {
        whileDragging = [=, this] {
            dragSteps += pointerTo(target - QPoint(12, 6)) ? 1 : 0;
            if (key == Key::Ctrl)
                xdo({"keydown", "ctrl"});
            dragSteps += pointerTo(target) ? 1 : 0;
            targetAnswered = waitFor(targetSawIt);
            if (!shotWhileDragging.isEmpty())
                saveScreen(std::exchange(shotWhileDragging, QString()));
            if (key == Key::Escape)
                xdo({"key", "Escape"});
            dragSteps += xdo({"mouseup", "1"}) ? 1 : 0;
        };
    }

    std::unique_ptr<grid::TZedEzeravIvur> a, b;
    std::unique_ptr<DragWatch> watchB;
    std::function<void()> whileDragging;
    QString shotWhileDragging;
    int dragStarts = 0, dragStops = 0, dragSteps = 0;
    bool targetAnswered = false;
};

} // namespace

TEST_F(DesktopDragInner, ABlockMovesIntoTheOtherGridIsCopiedWithCtrlAndStaysWithEscape)
{
    struct Case {
        const char* name;
        Key key;
        QStringList inA, inB;
        int stops;
    };
    const QStringList abcd{"a", "b", "c", "d"}, none{"", "", "", ""};
    const std::vector<Case> cases{{"plain", Key::None, none, abcd, 1}, {"Ctrl", Key::Ctrl, abcd, abcd, 1},
                                  {"Escape", Key::Escape, abcd, none, 0}};
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        if (i > 0)
            SetUp();   // fresh grids
        dropAt(cellCenter(*b, 1, 1), [&] { return watchB->moves > 0; }, c.key);
        if (c.key == Key::None)
            shotWhileDragging = QStringLiteral("desktop-drag-over-grid.png");
        // The drag runs inside the move that starts it: it is over when this returns.
        pressOnAAndMove({2, 4, 8, 16});
        xdo({"keyup", "ctrl"});
        EXPECT_EQ(dragStarts, 1);
        EXPECT_TRUE(targetAnswered) << "B saw no drag over it";
        EXPECT_EQ(dragSteps, 3);
        EXPECT_EQ(dragStops, c.stops);
        EXPECT_EQ(watchB->drops, c.stops);
        EXPECT_EQ(block(*b), c.inB);
        if (c.stops) {
            const tk::TGridRect sel = b->Selection();
            EXPECT_EQ(QRect(QPoint(sel.Left, sel.Top), QPoint(sel.Right, sel.Bottom)), QRect(1, 1, 2, 2));
        }
        EXPECT_EQ(block(*a), c.inA);
        // After the drag the pointer belongs to nobody: a click in B selects there.
        ASSERT_TRUE(pointerTo(cellCenter(*b, 3, 3)));
        ASSERT_TRUE(press());
        ASSERT_TRUE(xdo({"mouseup", "1"}));
        EXPECT_TRUE(waitFor([&] { return b->Selection().Left == 3 && b->Selection().Top == 3; }));
        TearDown();
        dragStarts = dragStops = dragSteps = 0;
        targetAnswered = false;
        whileDragging = nullptr;
    }
}

TEST_F(DesktopDragInner, AThreePixelMoveStartsNoDrag)
{
    pressOnAAndMove({1, 2, 3});
    ASSERT_TRUE(xdo({"mouseup", "1"}));
    // The release on the selection makes the pressed cell the selection.
    EXPECT_TRUE(waitFor([&] {
        const tk::TGridRect s = a->Selection();
        return s.Left == 1 && s.Top == 1 && s.Right == 1 && s.Bottom == 1;
    }));
    EXPECT_EQ(dragStarts, 0);
    EXPECT_EQ(watchB->moves, 0);
    EXPECT_EQ(block(*a), QStringList({"a", "b", "c", "d"}));
}

TEST_F(DesktopDragInner, TheBlockReachesAnotherProgramAsTabsAndLines)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("kunden.csv");
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x;y\n");
    f.close();
    Peer peer;
    ASSERT_TRUE(peer.start(csv, QPoint(360, 20))) << peer.output().toStdString() << peer.errors().toStdString();
    const QRect zone = peer.zone("drop");
    dropAt(zone.center(), [&] { return !peer.line("MOTION").isNull(); });
    pressOnAAndMove({2, 4, 8, 16});
    ASSERT_TRUE(waitFor([&] { return !peer.line("DROP").isNull(); })) << peer.output().toStdString();
    const QStringList drop = peer.line("DROP").split(QLatin1Char(' '));
    ASSERT_EQ(drop.size(), 2) << peer.output().toStdString();
    EXPECT_EQ(QByteArray::fromHex(drop[1].toLatin1()), QByteArray("a\tb\r\nc\td")) << "target " << drop[0].toStdString();
    ASSERT_TRUE(waitFor([&] { return dragStops == 1; }));
    // The peer only copies: the grid keeps its cells.
    EXPECT_EQ(block(*a), QStringList({"a", "b", "c", "d"}));
    EXPECT_TRUE(waitFor([&] { return !peer.line("SHOWN").isNull(); }));
    saveScreen(QStringLiteral("desktop-drag-to-peer.png"));
}

TEST_F(DesktopDragInner, AFileFromAnotherProgramLoadsWithoutItsPath)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QString::fromUtf8("Kunden März 2.csv"));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Name;Ort\nMeier;Bonn\n");
    f.close();
    Peer peer;
    ASSERT_TRUE(peer.start(csv, QPoint(360, 20))) << peer.output().toStdString() << peer.errors().toStdString();
    const QPoint from = peer.zone("source").center();
    ASSERT_TRUE(pointerTo(from));
    ASSERT_TRUE(press());
    for (int dy : {4, 8, 12, 16, 24})
        ASSERT_TRUE(pointerTo(from + QPoint(0, dy)));
    ASSERT_TRUE(waitFor([&] { return !peer.line("BEGIN").isNull(); })) << peer.output().toStdString();
    const QPoint target = cellCenter(*b, 1, 1);
    ASSERT_TRUE(pointerTo(target - QPoint(12, 6)));
    ASSERT_TRUE(pointerTo(target));
    EXPECT_TRUE(waitFor([&] { return watchB->moves > 0; })) << "B saw no drag over it";
    ASSERT_TRUE(xdo({"mouseup", "1"}));
    ASSERT_TRUE(waitFor([&] { return !peer.line("END").isNull(); })) << peer.output().toStdString();
    EXPECT_EQ(peer.line("END"), QStringLiteral("copy")) << "a dropped file is copied, never moved";
    // The whole file, from the top-left cell on (the fixed cells load too).
    EXPECT_EQ(b->RowCount(), 2);
    EXPECT_EQ(b->Cells(0, 0), QStringLiteral("Name"));
    EXPECT_EQ(b->Cells(1, 1), QStringLiteral("Bonn"));
    for (int r = 0; r < b->RowCount(); ++r)
        for (int c = 0; c < b->ColCount(); ++c)
            EXPECT_FALSE(b->Cells(c, r).contains(QStringLiteral("Kunden"))) << c << "," << r;
    EXPECT_TRUE(QFile::exists(csv));
    saveScreen(QStringLiteral("desktop-file-drop.png"));
}

// The tests above, inside a virtual X server. Skips only when a tool they need is missing.
TEST(DesktopDrag, UnderXvfb)
{
    if (!qEnvironmentVariableIsEmpty(kInnerVar))
        GTEST_SKIP() << "the inner run";
    QStringList missing;
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    QProcess gi;
    gi.start(kPython, {"-c", "import gi; gi.require_version('Gtk', '3.0'); gi.require_version('Gdk', '3.0')"});
    if (!gi.waitForFinished(20000) || gi.exitStatus() != QProcess::NormalExit || gi.exitCode() != 0)
        missing << QStringLiteral("python3-gi with gir1.2-gtk-3.0 for /usr/bin/python3");
    if (!missing.isEmpty())
        GTEST_SKIP() << "needs " << missing.join(", ").toStdString() << " (scripts/packages.txt lists them)";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kInnerVar, "1");
    // Everything on the virtual server, also when started from a Wayland session; no
    // accessibility bus for the GTK program to wait for.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("GDK_BACKEND", "x11");
    env.insert("NO_AT_BRIDGE", "1");
    QByteArray out;
    int exitCode = -1;
    QElapsedTimer t;
    t.start();
    // Servers started at the same moment by parallel tests may pick the same display: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess inner;
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(QStringLiteral("xvfb-run"),
                    {"-a", "-s", "-screen 0 800x600x24 -nolisten tcp", QCoreApplication::applicationFilePath(),
                     "--gtest_filter=DesktopDragInner.*"});
        ASSERT_TRUE(inner.waitForStarted(10000));
        if (!inner.waitForFinished(240000)) {
            // xvfb-run ends its server on TERM, which takes the program on it along.
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
    std::printf("desktop run: %lld ms\n", static_cast<long long>(t.elapsed()));
    EXPECT_EQ(exitCode, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 4 tests")) << out.toStdString();
    EXPECT_FALSE(out.contains("SKIPPED")) << out.toStdString();
}
