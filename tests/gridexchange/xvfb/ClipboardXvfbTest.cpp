// The clipboard between processes on a real X server: these tests run under xvfb-run on the xcb
// platform (their CTest names say so) and use Debian's xclip as the other program.
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "platform/grid/WinCompat.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// Runs a program while this process keeps serving the clipboard; its standard output.
QByteArray run(const QString& program, const QStringList& args, const QByteArray& input = QByteArray(),
               int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!input.isNull()) {
        p.write(input);
        p.closeWriteChannel();
    }
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        p.waitForFinished(10);
    }
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::unique_ptr<grid::TZedEzeravIvur> makeGrid(int cols, int rows)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    return g;
}

bool haveX() { return QGuiApplication::platformName() == QLatin1String("xcb"); }
QString xclip() { return QStandardPaths::findExecutable("xclip"); }

} // namespace

TEST(ClipboardXvfb, OtherProgramsSeeTheFormsAndTheText)
{
    if (!haveX() || xclip().isEmpty())
        GTEST_SKIP() << "needs the xcb platform (xvfb-run) and xclip";
    auto a = makeGrid(3, 3);
    a->Navigation()->AllowFmtClipboard = true;
    a->Navigation()->AllowRTFClipboard = true;
    a->SetCells(0, 0, "{\\rtf1 R}");
    a->SetCells(1, 0, QString::fromUtf8("Müller"));
    a->CopyRangeToClipboard(tk::TGridRect{0, 0, 1, 0}, false);
    const QByteArray targets = run(xclip(), {"-selection", "clipboard", "-t", "TARGETS", "-o"});
    EXPECT_TRUE(targets.contains("text/plain")) << targets.constData();
    EXPECT_TRUE(targets.contains("text/rtf")) << targets.constData();
    EXPECT_TRUE(targets.contains("TZedEzeravIvur Cells")) << targets.constData();
    EXPECT_EQ(run(xclip(), {"-selection", "clipboard", "-t", "UTF8_STRING", "-o"}),
              QString::fromUtf8("R\tMüller").toUtf8());
}

TEST(ClipboardXvfb, TextFromAnotherProgramPastes)
{
    if (!haveX() || xclip().isEmpty())
        GTEST_SKIP() << "needs the xcb platform (xvfb-run) and xclip";
    QGuiApplication::clipboard()->setText("before");
    waitFor([] { return QGuiApplication::clipboard()->text() == "before"; });
    // xclip keeps serving the selection from a child of its own.
    run(xclip(), {"-selection", "clipboard", "-i"}, QByteArray("1\t2\n3\t4\n"));
    ASSERT_TRUE(waitFor([] { return QGuiApplication::clipboard()->text() == "1\t2\n3\t4\n"; }));
    auto g = makeGrid(2, 2);
    EXPECT_EQ(g->PasteFromClipboardAt(0, 0), 5);
    EXPECT_EQ(g->Cells(1, 1), "4");
}

// The child half of the next test: pastes the private form and prints the cell's colour.
TEST(ClipboardXvfb, ChildPastesTheCellForm)
{
    if (qEnvironmentVariableIsEmpty("QLY_XVFB_CHILD"))
        GTEST_SKIP() << "runs as the second process of PrivateFormReachesASecondProcess";
    auto b = makeGrid(4, 4);
    b->Navigation()->AllowFmtClipboard = true;
    const QString mime = grid::TZedEzeravIvur::CellFormMime();
    ASSERT_TRUE(waitFor([&] {
        const QMimeData* m = QGuiApplication::clipboard()->mimeData();
        return m && m->hasFormat(mime);
    }));
    EXPECT_EQ(b->PasteFromClipboardAt(1, 1), 1);
    const grid::TCellProperties* p = b->CellPropertiesOrNull(1, 1);
    std::printf("CHILD %s %x\n", qPrintable(b->Cells(1, 1)), p ? unsigned(p->BrushColor()) : 0u);
}

TEST(ClipboardXvfb, PrivateFormReachesASecondProcess)
{
    if (!haveX())
        GTEST_SKIP() << "needs the xcb platform (xvfb-run)";
    auto a = makeGrid(3, 3);
    a->Navigation()->AllowFmtClipboard = true;
    a->SetCells(2, 2, "farbig");
    a->GetCellProperties(2, 2)->SetBrushColor(0x00AA55);
    a->CopyRangeToClipboard(tk::TGridRect{2, 2, 2, 2}, false);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QLY_XVFB_CHILD", "1");
    child.setProcessEnvironment(env);
    int code = -1;
    child.setProgram(QCoreApplication::applicationFilePath());
    const QByteArray out = [&] {
        QProcess& p = child;
        p.setArguments({"--gtest_filter=ClipboardXvfb.ChildPastesTheCellForm"});
        p.start();
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            p.waitForFinished(10);
        }
        code = p.exitCode();
        return p.readAllStandardOutput();
    }();
    EXPECT_EQ(code, 0) << out.constData();
    EXPECT_TRUE(out.contains("CHILD farbig 55aa00") || out.contains("CHILD farbig aa55")) << out.constData();
}
