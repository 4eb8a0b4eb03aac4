// The memo window: keys, mouse, scrolling, word wrap and painting (offscreen).
#include "htmleditor/memo/ZedMemo.h"
#include "tests/common/TestUtil.h"
#include "tests/memo/MemoTestUtil.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QPainter>
#include <QTimer>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct View {
    TZedMemo memo;
    TZedWebMemoStyler styler;
    explicit View(const QStringList& lines = {}, QSize size = QSize(800, 400))
    {
        memo.resize(size);
        memo.SetSyntaxStyles(&styler);
        memo.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&memo));
        QApplication::setActiveWindow(&memo);
        memo.setFocus();
        if (!lines.isEmpty())
            memo.SetLines(lines);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&memo, Qt::Key(key), mods); }
    QPoint CellCenter(int col, int line)
    {
        return memo.CellOrigin(TZedPos{col, line}) + QPoint(memo.CellWidth() / 2, memo.CellHeight() / 2);
    }
};

// Types text as key presses that carry only the text (any characters).
void TypeText(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// Sends one mouse event to the memo's viewport.
void Mouse(TZedMemo& m, QEvent::Type type, QPoint pos, Qt::MouseButton button,
           Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButtons buttons = (type == QEvent::MouseButtonRelease) ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent ev(type, QPointF(pos), m.viewport()->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(m.viewport(), &ev);
}

void Click(TZedMemo& m, QPoint pos, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    Mouse(m, QEvent::MouseButtonPress, pos, button, mods);
    Mouse(m, QEvent::MouseButtonRelease, pos, button, mods);
}

// The pixel of a rectangle that differs most from the background.
QColor Ink(const QImage& img, const QRect& r, const QColor& bg)
{
    QColor best = bg;
    int bestDist = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = img.pixelColor(x, y);
            const int d = std::abs(p.red() - bg.red()) + std::abs(p.green() - bg.green()) + std::abs(p.blue() - bg.blue());
            if (d > bestDist) {
                bestDist = d;
                best = p;
            }
        }
    return best;
}

// True when some pixel of the rectangle is within tolerance of the colour.
bool HasColour(const QImage& img, const QRect& r, const QColor& c, int tolerance = 40)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = img.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) <= tolerance)
                return true;
        }
    return false;
}

}  // namespace

TEST(MemoView, ConstructionValues)
{
    TZedMemo m;
    EXPECT_TRUE(gfx::IsFixedPitch(m.Font()));
    EXPECT_EQ(m.Font().pixelSize(), 13);
    EXPECT_EQ(m.Gutter().GutterWidth(), 45);
    EXPECT_EQ(m.Gutter().LineNumberStart(), 1);
    EXPECT_EQ(m.Gutter().GutterColor(), gfx::clBtnFace);
    EXPECT_EQ(m.RightMargin(), 80);
    EXPECT_EQ(m.RightMarginColor(), 0xE2E2E2);
    EXPECT_EQ(m.SelBkColor(), 0x800000);
    EXPECT_EQ(m.BlockColor(), 0xFFFF00);
    EXPECT_EQ(m.BlockLineColor(), gfx::clNone);
    EXPECT_EQ(m.UndoLimit(), 100);
    EXPECT_EQ(m.TabSize(), 4);
    EXPECT_EQ(m.ScrollBars(), ssBoth);
    EXPECT_EQ(m.WordWrap(), wwNone);
    EXPECT_EQ(m.Version(), QStringLiteral("1.7.0.0"));
    EXPECT_EQ(m.ActiveLineSettings().ActiveLineColor(), 0x800000);
    m.Gutter().SetGutterMargin(10);
    EXPECT_EQ(m.Gutter().GutterMargin(), 45);
    m.Gutter().SetLineNumberStart(-1);
    EXPECT_EQ(m.Gutter().LineNumberStart(), 1);
    EXPECT_EQ(m.Gutter().NumberX(m.Gutter().NumberText(6)), 24);  // line number 7
    EXPECT_EQ(m.Gutter().NumberX(m.Gutter().NumberText(41)), 16);
    m.Gutter().SetShowLeadingZeros(true);
    EXPECT_EQ(m.Gutter().NumberText(6), QStringLiteral("0007"));
    m.SetFont(QFont(QStringLiteral("DejaVu Sans")));  // proportional: refused
    EXPECT_TRUE(gfx::IsFixedPitch(m.Font()));
}

TEST(MemoView, CaretKeys)
{
    View v({QStringLiteral("alpha beta gamma"), QStringLiteral("short"), QStringLiteral("third line here")});
    TZedMemo& m = v.memo;
    m.SetCaret(TZedPos{12, 0});
    v.Key(Qt::Key_Down);
    EXPECT_EQ(m.Caret(), (TZedPos{12, 1}));
    EXPECT_EQ(m.LineText(1), QStringLiteral("short       "));  // padded to the caret
    v.Key(Qt::Key_Down);
    EXPECT_EQ(m.LineText(1), QStringLiteral("short"));  // padding gone on leaving

    struct Move {
        TZedPos from;
        int key;
        Qt::KeyboardModifiers mods;
        TZedPos to;
    };
    const std::vector<Move> moves = {
        {{3, 0}, Qt::Key_Left, Qt::NoModifier, {2, 0}},
        {{0, 1}, Qt::Key_Left, Qt::NoModifier, {16, 0}},
        {{3, 0}, Qt::Key_Right, Qt::NoModifier, {4, 0}},
        {{3, 1}, Qt::Key_Up, Qt::NoModifier, {3, 0}},
        {{8, 0}, Qt::Key_Right, Qt::ControlModifier, {11, 0}},
        {{8, 0}, Qt::Key_Left, Qt::ControlModifier, {6, 0}},
        {{16, 0}, Qt::Key_Right, Qt::ControlModifier, {0, 1}},
        {{7, 2}, Qt::Key_Home, Qt::NoModifier, {0, 2}},
        {{3, 2}, Qt::Key_End, Qt::NoModifier, {15, 2}},
        {{3, 2}, Qt::Key_Home, Qt::ControlModifier, {0, 0}},
        {{3, 0}, Qt::Key_End, Qt::ControlModifier, {15, 2}},
        {{3, 1}, Qt::Key_PageUp, Qt::ControlModifier, {0, 0}},
        {{3, 0}, Qt::Key_PageDown, Qt::ControlModifier, {15, 2}},
    };
    for (const Move& mv : moves) {
        SCOPED_TRACE(testing::Message() << "key " << mv.key << " from " << mv.from.Col << "," << mv.from.Line);
        m.SetCaret(mv.from);
        m.ClearSelection();
        v.Key(mv.key, mv.mods);
        EXPECT_EQ(m.Caret(), mv.to);
        EXPECT_TRUE(m.SelectionEmpty());
    }

    // Shift selection: Ctrl+Home, Shift+End selects the first line; Ctrl+Shift+End everything.
    v.Key(Qt::Key_Home, Qt::ControlModifier);
    v.Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(m.SelText(), QStringLiteral("alpha beta gamma"));
    v.Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(m.SelText(), QStringLiteral("alpha beta gamm"));
    v.Key(Qt::Key_Right);
    EXPECT_TRUE(m.SelectionEmpty());
    v.Key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m.SelText(), QStringLiteral("alpha beta gamma\r\nshort\r\nthird line here"));
}

TEST(MemoView, PageKeysMoveByVisibleRowsMinusOne)
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("line %1").arg(i);
    View v(lines, QSize(400, 200));
    TZedMemo& m = v.memo;
    const int rows = m.VisibleRows();
    ASSERT_GT(rows, 3);
    m.SetCaret(TZedPos{0, 0});
    v.Key(Qt::Key_PageDown);
    EXPECT_EQ(m.CaretLine(), rows - 1);
    v.Key(Qt::Key_PageDown);
    EXPECT_EQ(m.CaretLine(), 2 * (rows - 1));
    EXPECT_EQ(m.TopLine(), 2 * (rows - 1) - rows + 1);  // the caret stays in view
    v.Key(Qt::Key_PageUp);
    EXPECT_EQ(m.CaretLine(), rows - 1);

    // The vertical bar covers the lines below the page.
    EXPECT_EQ(m.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(m.verticalScrollBar()->maximum(), 100 - rows);
    EXPECT_EQ(m.verticalScrollBar()->pageStep(), rows);
    m.verticalScrollBar()->setValue(50);
    EXPECT_EQ(m.TopLine(), 50);

    // The wheel scrolls 4 lines without moving the caret, and back to the top near it.
    m.SetTopLine(2);
    QTest::qWait(0);
    const TZedPos caret = m.Caret();
    QWheelEvent down(QPointF(100, 50), m.mapToGlobal(QPointF(100, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m.viewport(), &down);
    EXPECT_EQ(m.TopLine(), 6);
    QWheelEvent up(QPointF(100, 50), m.mapToGlobal(QPointF(100, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m.viewport(), &up);
    EXPECT_EQ(m.TopLine(), 2);
    QApplication::sendEvent(m.viewport(), &up);
    EXPECT_EQ(m.TopLine(), 0);
    EXPECT_EQ(m.Caret(), caret);
}

TEST(MemoView, EditingKeysUndoRedoAndClipboard)
{
    View v({QStringLiteral("one two"), QStringLiteral("three")});
    TZedMemo& m = v.memo;
    m.SetCaret(TZedPos{3, 0});
    TypeText(&m, QStringLiteral("X€„“–"));
    EXPECT_EQ(m.LineText(0), QStringLiteral("oneX€„“– two"));
    v.Key(Qt::Key_Backspace, Qt::AltModifier);  // undo
    EXPECT_EQ(m.LineText(0), QStringLiteral("one two"));
    v.Key(Qt::Key_Backspace, Qt::AltModifier | Qt::ShiftModifier);  // redo
    EXPECT_EQ(m.LineText(0), QStringLiteral("oneX€„“– two"));
    v.Key(Qt::Key_Backspace, Qt::AltModifier);

    // Committed input-method text (dead keys, compose) is typed too.
    QInputMethodEvent ime;
    ime.setCommitString(QStringLiteral("é"));
    QApplication::sendEvent(&m, &ime);
    EXPECT_EQ(m.LineText(0), QStringLiteral("oneé two"));
    v.Key(Qt::Key_Backspace);
    EXPECT_EQ(m.LineText(0), QStringLiteral("one two"));

    v.Key(Qt::Key_Tab);
    EXPECT_EQ(m.LineText(0), QStringLiteral("one     two"));
    EXPECT_TRUE(m.hasFocus());
    v.Key(Qt::Key_Backspace, Qt::AltModifier);

    v.Key(Qt::Key_Insert);
    EXPECT_TRUE(m.Overwrite());
    QTest::keyClicks(&m, QStringLiteral("ZZ"));
    EXPECT_EQ(m.LineText(0), QStringLiteral("oneZZwo"));
    v.Key(Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(m.LineText(0), QStringLiteral("one two"));  // overwritten characters are back
    m.OnOverwriteToggle = [](bool& allow) { allow = false; };
    v.Key(Qt::Key_Insert);
    EXPECT_TRUE(m.Overwrite());
    m.OnOverwriteToggle = nullptr;
    v.Key(Qt::Key_Insert);
    EXPECT_FALSE(m.Overwrite());

    v.Key(Qt::Key_Return);
    EXPECT_EQ(m.Lines().Strings(), (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    v.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(m.Lines().Strings(), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));

    v.Key(Qt::Key_Home, Qt::ControlModifier);
    v.Key(Qt::Key_End, Qt::ShiftModifier);
    v.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("one"));
    v.Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(m.LineText(0), QString());
    v.Key(Qt::Key_V, Qt::ControlModifier);
    v.Key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(m.LineText(0), QStringLiteral("oneone"));
    v.Key(Qt::Key_Home, Qt::ShiftModifier);
    v.Key(Qt::Key_Delete, Qt::ShiftModifier);  // cut
    EXPECT_EQ(m.LineText(0), QString());
    v.Key(Qt::Key_A, Qt::ControlModifier);
    v.Key(Qt::Key_Insert, Qt::ControlModifier);  // copy
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("\r\nthree"));
    v.Key(Qt::Key_Delete);
    EXPECT_EQ(m.Lines().Strings(), QStringList{QString()});
}

TEST(MemoView, ReadOnlyBlocksEditingButNotCopying)
{
    View v({QStringLiteral("fixed text")});
    TZedMemo& m = v.memo;
    m.ReadOnly = true;
    m.SetCaret(TZedPos{5, 0});
    QGuiApplication::clipboard()->setText(QStringLiteral("paste"));
    v.Key(Qt::Key_Delete);
    v.Key(Qt::Key_Backspace);
    QTest::keyClicks(&m, QStringLiteral("abc"));
    v.Key(Qt::Key_V, Qt::ControlModifier);
    v.Key(Qt::Key_Return);
    v.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(m.Lines().Strings(), QStringList{QStringLiteral("fixed text")});
    v.Key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    v.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("fixed text"));
    QGuiApplication::clipboard()->clear();
    v.Key(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("fixed text"));
}

TEST(MemoView, EnhancedHomeKeyStopsAtTheWordStart)
{
    View v({QStringLiteral("  alpha beta")});
    TZedMemo& m = v.memo;
    m.EnhancedHomeKey = true;
    m.SetCaret(TZedPos{10, 0});
    v.Key(Qt::Key_Home);
    EXPECT_EQ(m.Caret(), (TZedPos{8, 0}));
    v.Key(Qt::Key_Home);
    EXPECT_EQ(m.Caret(), (TZedPos{2, 0}));
    v.Key(Qt::Key_Home);
    EXPECT_EQ(m.Caret(), (TZedPos{0, 0}));
}

TEST(MemoView, MouseClickDragDoubleClickAndGutter)
{
    View v({QStringLiteral("first line of text"), QStringLiteral("visit http://example.org now"), QStringLiteral("x")});
    TZedMemo& m = v.memo;
    QStringList urls;
    m.OnURLClick = [&](const QString& u) { urls << u; };

    Click(m, v.CellCenter(6, 0));
    EXPECT_EQ(m.Caret(), (TZedPos{6, 0}));
    Click(m, v.CellCenter(10, 0), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(m.SelText(), QStringLiteral("line"));

    // Drag from the start of line 2 up to column 5 of line 0.
    Mouse(m, QEvent::MouseButtonPress, v.CellCenter(0, 2), Qt::LeftButton);
    Mouse(m, QEvent::MouseMove, v.CellCenter(0, 2) + QPoint(1, 0), Qt::LeftButton);  // ignored right after the click
    Mouse(m, QEvent::MouseMove, v.CellCenter(5, 0), Qt::LeftButton);
    Mouse(m, QEvent::MouseButtonRelease, v.CellCenter(5, 0), Qt::LeftButton);
    EXPECT_EQ(m.SelText(), QStringLiteral(" line of text\r\nvisit http://example.org now\r\n"));
    EXPECT_EQ(m.Caret(), (TZedPos{5, 0}));

    // A click inside the selection without a drag clears it and places the caret.
    Click(m, v.CellCenter(8, 0));
    EXPECT_TRUE(m.SelectionEmpty());
    EXPECT_EQ(m.Caret(), (TZedPos{8, 0}));
    Mouse(m, QEvent::MouseButtonDblClick, v.CellCenter(8, 0), Qt::LeftButton);
    EXPECT_EQ(m.SelText(), QStringLiteral("line"));

    EXPECT_TRUE(urls.isEmpty());
    Click(m, v.CellCenter(10, 1));
    EXPECT_EQ(urls, QStringList{QStringLiteral("http://example.org")});

    int gutterLine = -1;
    m.OnGutterRightClick = [&](int line) { gutterLine = line; };
    Click(m, QPoint(10, v.CellCenter(0, 2).y()), Qt::RightButton);
    EXPECT_EQ(gutterLine, 2);
    Click(m, QPoint(10, v.CellCenter(0, 2).y()));
    EXPECT_EQ(m.CaretLine(), 2);  // the default gutter-click handler
}

TEST(MemoView, ContextMenuItemsFollowTheState)
{
    View v({QStringLiteral("abc")});
    TZedMemo& m = v.memo;
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    std::unique_ptr<QMenu> menu(m.CreateContextMenu());
    QStringList texts;
    QList<bool> enabled;
    for (QAction* a : menu->actions()) {
        texts << a->text();
        enabled << a->isEnabled();
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Undo"), QStringLiteral("Redo"), QString(), QStringLiteral("Copy\tCtrl-C"),
                                  QStringLiteral("Cut\tCtrl-X"), QStringLiteral("Paste\tCtrl-V"), QStringLiteral("Delete"),
                                  QString(), QStringLiteral("Select All\tCtrl-A")}));
    EXPECT_EQ(enabled, (QList<bool>{false, false, true, false, false, true, false, true, true}));
    m.SelectAll();
    menu.reset(m.CreateContextMenu());
    menu->actions()[6]->trigger();  // Delete
    EXPECT_EQ(m.LineText(0), QString());
    menu.reset(m.CreateContextMenu());
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();  // Undo
    EXPECT_EQ(m.LineText(0), QStringLiteral("abc"));
}

TEST(MemoView, WordWrapOnAndOffKeepsTheCaretOnItsText)
{
    View v({}, QSize(300, 300));
    TZedMemo& m = v.memo;
    QString para;
    for (int i = 0; i < 30; ++i)
        para += QStringLiteral("word%1 ").arg(i);
    m.SetLines({para.trimmed(), QStringLiteral("tail")});
    m.SetCaret(TZedPos{int(para.indexOf(QStringLiteral("word17"))), 0});
    m.SetWordWrap(wwClientWidth);
    EXPECT_GT(m.Lines().Count(), 3);
    EXPECT_EQ(m.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (int l = 0; l < m.Lines().Count(); ++l)
        EXPECT_LE(m.LineText(l).length(), m.VisibleCols() - 1);
    EXPECT_EQ(m.LineText(m.CaretLine()).mid(m.CaretCol(), 6), QStringLiteral("word17"));
    m.resize(500, 300);
    EXPECT_EQ(m.LineText(m.CaretLine()).mid(m.CaretCol(), 6), QStringLiteral("word17"));
    m.SetWordWrap(wwNone);
    EXPECT_EQ(m.Lines().Strings(), (QStringList{para.trimmed(), QStringLiteral("tail")}));
    EXPECT_EQ(m.LineText(m.CaretLine()).mid(m.CaretCol(), 6), QStringLiteral("word17"));

    // When the vertical bar appears the text area narrows and the text is wrapped again.
    m.SetWordWrap(wwClientWidth);
    const int colsBefore = m.VisibleCols();
    QStringList many;
    for (int i = 0; i < 40; ++i)
        many << para.trimmed();
    m.SetLines(many);
    EXPECT_EQ(m.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_LT(m.VisibleCols(), colsBefore);
    for (int l = 0; l < m.Lines().Count(); ++l)
        ASSERT_LE(m.LineText(l).length(), m.VisibleCols() - 1) << l;
}

TEST(MemoView, PaintsStylesGutterAndRightMargin)
{
    const QStringList html = {QStringLiteral("<html>"), QStringLiteral("<!-- comment -->"), QStringLiteral("<table>"),
                              QStringLiteral("<script>"), QStringLiteral("if (a) {"), QStringLiteral("  x = 1;"),
                              QStringLiteral("}"), QStringLiteral("</script>")};
    View v(html, QSize(900, 300));
    TZedMemo& m = v.memo;
    m.SetCaret(TZedPos{0, 6});  // on the closing brace
    m.viewport()->repaint();
    const QImage img = m.viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("QLY_MEMO_SCREENSHOT"))  // keep the picture for a look
        img.save(qEnvironmentVariable("QLY_MEMO_SCREENSHOT"));
    auto cell = [&](int col, int line, int n = 1) {
        return QRect(m.CellOrigin(TZedPos{col, line}), QSize(n * m.CellWidth(), m.CellHeight()));
    };
    // "table" in the HTML keyword colour (0xFF00FF), the comment in silver, "<" in the symbol colour.
    const QColor white(Qt::white);
    EXPECT_TRUE(HasColour(img, cell(1, 2, 5), QColor(0xFF, 0x00, 0xFF)));
    const QColor comment = Ink(img, cell(5, 1, 7), white);
    EXPECT_TRUE(comment.red() >= 0xA0 && comment.red() < 0xF0) << comment.name().toStdString();
    EXPECT_LE(std::abs(comment.red() - comment.blue()), 8);
    const QColor symbol = Ink(img, cell(0, 2), white);
    EXPECT_LT(symbol.red(), 0x50) << symbol.name().toStdString();
    EXPECT_GT(symbol.green(), 0x60);
    EXPECT_LE(std::abs(symbol.green() - symbol.blue()), 0x20);
    EXPECT_LT(Ink(img, cell(2, 5), white).red(), 0x40);  // "x" plain black

    // Gutter: a gradient from button face to white, line numbers in black at x = 24.
    const QRect gutter = m.GutterRect();
    EXPECT_EQ(gutter.width(), 45);
    EXPECT_EQ(img.pixelColor(gutter.left() + 1, gutter.bottom() - 2), QGuiApplication::palette().color(QPalette::Button));
    const QColor gutterBg = img.pixelColor(30, cell(0, 0).top());
    EXPECT_LT(Ink(img, QRect(24, cell(0, 0).top(), 10, m.CellHeight()), gutterBg).lightness(), 0x80);
    EXPECT_GT(Ink(img, QRect(2, cell(0, 0).top(), 20, m.CellHeight()), Qt::white).lightness(), 0xC0);  // nothing left of it

    // Right margin: 2 pixels of 0xE2E2E2 at column 80.
    const int x = m.TextLeft() + 80 * m.CellWidth();
    EXPECT_EQ(img.pixelColor(x, cell(0, 5).center().y()), QColor(0xE2, 0xE2, 0xE2));
    EXPECT_EQ(img.pixelColor(x + 1, cell(0, 5).center().y()), QColor(0xE2, 0xE2, 0xE2));

    // Block matching: both braces on the BlockColor background (0xFFFF00 = aqua), no underline.
    EXPECT_EQ(m.BlockStartMark().Line, 4);
    EXPECT_EQ(m.BlockStartMark().Col, 7);
    EXPECT_EQ(m.BlockEndMark().Line, 6);
    const QColor aqua(0x00, 0xFF, 0xFF);
    for (const QRect& r : {cell(7, 4), cell(0, 6)}) {
        EXPECT_EQ(img.pixelColor(r.topRight()), aqua);
        EXPECT_EQ(img.pixelColor(r.bottomRight() + QPoint(0, -1)), aqua);  // where an underline would be
    }
    EXPECT_EQ(img.pixelColor(cell(6, 4).topLeft()), QColor(Qt::white));

    m.SetBlockLineColor(gfx::clRed);
    m.viewport()->repaint();
    const QImage lined = m.viewport()->grab().toImage();
    EXPECT_EQ(lined.pixelColor(cell(0, 6).bottomRight() + QPoint(0, -1)), QColor(Qt::red));

    // Moving away removes the marks.
    m.SetCaret(TZedPos{0, 0});
    EXPECT_FALSE(m.BlockStartMark().Valid());
}

TEST(MemoView, SelectionOnTheActiveLineSwapsColours)
{
    View v({QStringLiteral("aaaa"), QStringLiteral("bbbb")});
    TZedMemo& m = v.memo;
    m.SetHideSelection(false);
    m.SetSelection(TZedPos{0, 0}, TZedPos{2, 1});
    m.viewport()->repaint();
    QImage img = m.viewport()->grab().toImage();
    EXPECT_EQ(img.pixelColor(m.CellOrigin(TZedPos{0, 1})), QColor(0, 0, 0x80));  // SelBkColor 0x800000
    m.ActiveLineSettings().SetShowActiveLine(true);
    m.SetActiveLine(1);
    m.viewport()->repaint();
    img = m.viewport()->grab().toImage();
    // Text 0x00FFFF (yellow) on 0x800000 swapped: yellow background for the selected part.
    EXPECT_EQ(img.pixelColor(m.CellOrigin(TZedPos{0, 1})), QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(img.pixelColor(m.CellOrigin(TZedPos{3, 1})), QColor(0, 0, 0x80));
}

TEST(MemoView, LongLinesPaintTheRightStateAtAnyColumn)
{
    const QString longLine = QString(100, QLatin1Char('a')) + QStringLiteral("<!--") + QString(5000, QLatin1Char('x'))
        + QStringLiteral("--> table ") + QString(3000, QLatin1Char('y'));
    View v({longLine, QStringLiteral("<table>")});
    TZedMemo& m = v.memo;
    auto inkAt = [&](int col) {
        m.viewport()->repaint();
        const QImage img = m.viewport()->grab().toImage();
        return Ink(img, QRect(m.CellOrigin(TZedPos{col, 0}), QSize(m.CellWidth(), m.CellHeight())), Qt::white);
    };
    auto isComment = [](const QColor& c) { return c.red() >= 0xA0 && std::abs(c.red() - c.blue()) <= 8; };
    m.SetLeftColumn(5000);
    EXPECT_TRUE(isComment(inkAt(5010)));
    m.SetLeftColumn(5080);
    EXPECT_TRUE(HasColour(m.viewport()->grab().toImage(),
                          QRect(m.CellOrigin(TZedPos{5108, 0}), QSize(5 * m.CellWidth(), m.CellHeight())),
                          QColor(0xFF, 0x00, 0xFF)));  // "table" after the comment
    EXPECT_FALSE(m.StartStateOfLine(1).InComment);

    // Closing the comment far left of the view changes what is shown at column 5010.
    m.SetCaret(TZedPos{2000, 0});
    m.InsertText(QStringLiteral("-->"));
    m.SetLeftColumn(5000);
    EXPECT_FALSE(isComment(inkAt(5010)));
    m.Undo();
    m.SetLeftColumn(5000);
    EXPECT_TRUE(isComment(inkAt(5010)));

    // A comment left open at the end of the long line carries into the next line.
    m.SetCaret(TZedPos{int(m.LineText(0).length()), 0});
    m.InsertText(QStringLiteral("<!--"));
    EXPECT_TRUE(m.StartStateOfLine(1).InComment);
}

TEST(MemoView, DroppedFilesLoadUnlessTheHandlerRefuses)
{
    qlytest::TempDir dir;
    const QString file = dir.file(QStringLiteral("drop.html"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<p>dropped</p>\r\n");
    f.close();
    View v({QStringLiteral("before")});
    TZedMemo& m = v.memo;
    EXPECT_FALSE(m.AcceptFiles());
    m.SetAcceptFiles(true);
    QStringList seen;
    bool allow = false;
    m.OnFileDrop = [&](const QString& name, bool& handler) {
        seen << name;
        handler = allow;
    };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file)});
    auto drop = [&] {
        QDragEnterEvent enter(QPoint(100, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m.viewport(), &enter);
        QDropEvent ev(QPointF(100, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m.viewport(), &ev);
    };
    drop();
    EXPECT_EQ(seen, QStringList{file});
    EXPECT_EQ(m.LineText(0), QStringLiteral("before"));
    allow = true;
    drop();
    EXPECT_EQ(m.Lines().Strings(), QStringList{QStringLiteral("<p>dropped</p>")});
}

namespace {

// Receives URLs that would open in the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// A styler that draws its keywords itself.
class DrawingStyler : public TZedWebMemoStyler {
public:
    DrawingStyler() { CustomKeywordDraw = true; }
    void DrawKeyword(QPainter* canvas, const QString& word, const QRect& rect) override
    {
        words << word;
        canvas->fillRect(rect, Qt::green);
    }
    QStringList words;
};

}  // namespace

TEST(MemoView, UrlClickWithoutHandlerOpensTheDesktopBrowser)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    View v({QStringLiteral("see http://example.org/x here")});
    Click(v.memo, v.CellCenter(8, 0));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), QStringLiteral("http://example.org/x"));
}

TEST(MemoView, NoContextMenuInTheGutter)
{
    View v({QStringLiteral("abc")});
    TZedMemo& m = v.memo;
    bool shown = false;
    auto rightClickAt = [&](QPoint pos) {
        shown = false;
        QTimer::singleShot(50, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                shown = true;
                popup->close();
            }
        });
        QContextMenuEvent ev(QContextMenuEvent::Mouse, pos, m.viewport()->mapToGlobal(pos));
        QApplication::sendEvent(m.viewport(), &ev);
        QTest::qWait(100);
    };
    rightClickAt(QPoint(10, v.CellCenter(0, 0).y()));
    EXPECT_FALSE(shown);
    rightClickAt(v.CellCenter(1, 0));
    EXPECT_TRUE(shown);
}

TEST(MemoView, StylerCanDrawItsKeywords)
{
    TZedMemo m;
    DrawingStyler styler;
    m.resize(600, 200);
    m.SetSyntaxStyles(&styler);
    m.SetLines({QStringLiteral("<table> text")});
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    m.viewport()->repaint();
    ASSERT_FALSE(styler.words.isEmpty());
    EXPECT_EQ(styler.words.count(QStringLiteral("table")), styler.words.size());  // once per paint
    const QImage img = m.viewport()->grab().toImage();
    EXPECT_EQ(img.pixelColor(m.CellOrigin(TZedPos{2, 0}) + QPoint(2, 2)), QColor(Qt::green));
}

TEST(MemoView, SavingJoinsWrappedLinesAndListOperationsKeepTheCaret)
{
    qlytest::TempDir dir;
    View v({}, QSize(200, 300));
    TZedMemo& m = v.memo;
    const QString para = QStringLiteral("one two three four five six seven eight nine ten eleven twelve");
    m.SetLines({para, QStringLiteral("next")});
    m.SetWordWrap(wwClientWidth);
    const int wrapped = m.Lines().Count();
    ASSERT_GT(wrapped, 2);
    const QString file = dir.file(QStringLiteral("out.html"));
    ASSERT_TRUE(m.Lines().SaveToFile(file));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), para + QStringLiteral("\r\nnext\r\n"));
    EXPECT_EQ(m.Lines().Count(), wrapped);

    m.SetWordWrap(wwNone);
    m.SetCaret(TZedPos{2, 1});
    m.Lines().Insert(0, QStringLiteral("\tfirst"));
    EXPECT_EQ(m.LineText(0), QStringLiteral("    first"));
    m.Lines().Delete(0);
    EXPECT_EQ(m.Lines().Strings(), (QStringList{para, QStringLiteral("next")}));
    EXPECT_EQ(m.Caret(), (TZedPos{2, 0}));  // an insertion keeps the caret's line number, a deletion above moves it up
    m.Undo();  // list deletions go through DeleteLine and are recorded
    EXPECT_EQ(m.LineText(0), QStringLiteral("    first"));
}

// "a😀b": the emoji is two code units. Every caret and delete path of the keyboard and the mouse
// treats it as one character, and the text stays valid UTF-16 after each step.
TEST(MemoView, ACharacterOfTwoCodeUnitsIsNeverSplit)
{
    const QString emoji = QString::fromUtf8("😀");
    ASSERT_EQ(emoji.size(), 2);
    const QString text = QStringLiteral("a") + emoji + QStringLiteral("b");
    View v({text, text});
    TZedMemo& m = v.memo;
    auto valid = [&] {
        for (int l = 0; l < m.Lines().Count(); ++l)
            if (!m.LineText(l).isValidUtf16())
                return false;
        return true;
    };
    // Right and Left step over the pair
    m.SetCaret(TZedPos{0, 0});
    QList<int> cols;
    for (int i = 0; i < 3; ++i) {
        v.Key(Qt::Key_Right);
        cols << m.CaretCol();
    }
    EXPECT_EQ(cols, (QList<int>{1, 3, 4}));
    cols.clear();
    for (int i = 0; i < 3; ++i) {
        v.Key(Qt::Key_Left);
        cols << m.CaretCol();
    }
    EXPECT_EQ(cols, (QList<int>{3, 1, 0}));
    // Shift+Right selects it whole
    v.Key(Qt::Key_Right);
    v.Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(m.SelText(), emoji);
    // a click on its right half and Up/Down from the column inside it land before it
    QTest::mouseClick(m.viewport(), Qt::LeftButton, {}, v.CellCenter(2, 1));
    EXPECT_EQ(m.Caret(), (TZedPos{1, 1}));
    m.SetCaret(TZedPos{3, 1});
    v.Key(Qt::Key_Up);
    EXPECT_NE(m.CaretCol(), 2);
    // Backspace behind it and Delete before it remove both units
    m.SetCaret(TZedPos{3, 0});
    v.Key(Qt::Key_Backspace);
    EXPECT_EQ(m.LineText(0), QStringLiteral("ab"));
    EXPECT_EQ(m.CaretCol(), 1);
    m.SetCaret(TZedPos{1, 1});
    v.Key(Qt::Key_Delete);
    EXPECT_EQ(m.LineText(1), QStringLiteral("ab"));
    EXPECT_TRUE(valid());
    // typed (one key press carrying both units), it goes in and is undone whole
    m.SetCaret(TZedPos{1, 0});
    TypeText(&m, QString());  // nothing
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, emoji);
    QApplication::sendEvent(&m, &press);
    EXPECT_EQ(m.LineText(0), text);
    EXPECT_EQ(m.CaretCol(), 3);
    m.Undo();
    EXPECT_EQ(m.LineText(0), QStringLiteral("ab"));
    // overwrite mode replaces the pair whole
    m.SetLines({text});
    m.SetCaret(TZedPos{1, 0});
    v.Key(Qt::Key_Insert);
    TypeText(&m, QStringLiteral("x"));
    EXPECT_EQ(m.LineText(0), QStringLiteral("axb"));
    v.Key(Qt::Key_Insert);
    // Ctrl+Backspace deletes it with the word
    m.SetLines({QStringLiteral("x ") + text});
    m.SetCaret(TZedPos{6, 0});
    v.Key(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(m.LineText(0), QStringLiteral("x "));
    EXPECT_TRUE(valid());
}

#include "MemoViewTest.moc"
