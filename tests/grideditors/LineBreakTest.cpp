// The default edit's two kinds: which one a cell gets, Enter and Ctrl+Enter with and without line
// feeds on Enter, the row growing with the lines, moving between lines, the clipboard events and the
// reports to descendants.
#include "Fixture.h"

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>

using namespace gridedit;

namespace {
QString lines(std::initializer_list<const char*> parts)
{
    QStringList l;
    for (const char* p : parts)
        l << QString::fromUtf8(p);
    return l.join(QStringLiteral("\r\n"));
}
} // namespace

TEST_F(GridEditFixture, TheEditorKindFollowsTheCell)
{
    struct Case {
        const char* what;
        TEditorType kind;
        bool ctrlEnter;
        bool masked;
        bool multiLine;
    };
    const std::vector<Case> cases = {
        {"plain text", edNormal, true, false, true},
        {"numbers", edNumeric, true, false, true},
        {"Ctrl+Enter breaks off", edNormal, false, false, false},
        {"password", edPassword, true, false, false},
        {"masked", edNormal, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        grid->HideEditor();
        grid->Navigation()->AllowCtrlEnter = c.ctrlEnter;
        grid->OnGetEditMask = [&c](QObject*, int, int, QString& mask) { mask = c.masked ? "00:00" : ""; };
        open(1, 1, "", c.kind);
        ASSERT_TRUE(inplace() && inplace()->Visible());
        EXPECT_EQ(inplace()->MultiLine(), c.multiLine);
        EXPECT_EQ(qobject_cast<QPlainTextEdit*>(inplaceWidget()) != nullptr, c.multiLine);
        EXPECT_NE(dynamic_cast<TZedInplaceEdit*>(inplace()), nullptr);
    }
}

TEST_F(GridEditFixture, MovingBetweenKindsReplacesTheEditorWithoutEndingTheEdit)
{
    int done = 0;
    grid->OnEditingDone = [&](QObject*) { ++done; };
    kinds[{2, 1}] = edPassword;
    grid->SetCells(2, 1, "pw");
    open(1, 1, "text", edNormal);
    ASSERT_TRUE(inplace()->MultiLine());
    grid->FocusCell(2, 1, true);
    QApplication::processEvents();
    ASSERT_TRUE(inplace() && inplace()->Visible());
    EXPECT_FALSE(inplace()->MultiLine());
    EXPECT_EQ(inplace()->Text(), "pw");
    EXPECT_TRUE(inplace()->Focused());
    EXPECT_EQ(done, 0);
    EXPECT_EQ(grid->Cells(1, 1), "text");
}

TEST_F(GridEditFixture, MultiLineCellTextRoundTrips)
{
    open(1, 1, lines({"first", "second"}), edNormal);
    auto* memo = qobject_cast<QPlainTextEdit*>(inplaceWidget());
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->document()->blockCount(), 2);
    EXPECT_EQ(inplace()->Text(), lines({"first", "second"}));
    // Positions count the line break as two characters, as the cell does.
    inplace()->SetSelection(7, 6);
    EXPECT_EQ(inplace()->SelText(), "second");
    EXPECT_EQ(inplace()->SelStart(), 7);
    QTest::keyClick(memo, Qt::Key_End);
    QTest::keyClicks(memo, "!");
    EXPECT_EQ(grid->Cells(1, 1), lines({"first", "second!"}));
}

TEST_F(GridEditFixture, BareLineFeedsKeepTheCaretWhenTheEditorIsPlacedAgain)
{
    open(1, 1, "one\ntwo", edNormal);
    inplace()->SetCaretPos(2);
    grid->SetColWidths(1, 120);   // places the editor again
    EXPECT_EQ(inplaceWidget()->width(), 119);
    EXPECT_EQ(inplace()->CaretPos(), 2);
    EXPECT_EQ(grid->Cells(1, 1), "one\ntwo") << "unchanged until edited";
}

TEST_F(GridEditFixture, EnterAndCtrlEnterWithAndWithoutLineFeedOnEnter)
{
    struct Case {
        const char* what;
        bool lineFeedOnEnter;
        bool ctrlEnter;   // AllowCtrlEnter: the multi-line editor
        TEditorType kind;
        Qt::KeyboardModifiers mods;
        QString start;
        QString typed;
        QString text;     // the cell's text afterwards
        int col;          // the current column afterwards (Enter advances)
        int enterPresses; // Enter characters the grid's OnKeyPress saw
    };
    const std::vector<Case> cases = {
        {"Enter validates and advances", false, true, edNormal, Qt::NoModifier, "ab", "x", "abx", 2, 1},
        {"Ctrl+Enter breaks the line", false, true, edNormal, Qt::ControlModifier, "ab", "x", lines({"abx", ""}), 1, 0},
        {"line feed: Enter breaks the line", true, true, edNormal, Qt::NoModifier, "ab", "x", lines({"abx", ""}), 1, 0},
        {"line feed: upper case too", true, true, edUpperCase, Qt::NoModifier, "AB", "x", lines({"ABX", ""}), 1, 0},
        {"line feed: Ctrl+Enter is the grid's Enter", true, true, edNormal, Qt::ControlModifier, "ab", "x", "abx", 2, 1},
        {"line feed: numbers take no break", true, true, edNumeric, Qt::NoModifier, "12", "3", "123", 2, 1},
        {"single line: Ctrl+Enter breaks nothing", false, false, edNormal, Qt::ControlModifier, "ab", "x", "abx", 1, 0},
        {"single line: Enter advances", false, false, edNormal, Qt::NoModifier, "ab", "x", "abx", 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        grid->HideEditor();
        grid->SetCells(2, 1, "");
        grid->Navigation()->AdvanceOnEnter = true;
        grid->Navigation()->LineFeedOnEnter = c.lineFeedOnEnter;
        grid->Navigation()->AllowCtrlEnter = c.ctrlEnter;
        int enters = 0;
        grid->OnKeyPress = [&](QObject*, QChar& key) { enters += key == QChar(13); };
        open(1, 1, c.start, c.kind);
        ASSERT_TRUE(inplace() && inplace()->Visible());
        inplace()->SetCaretPos(int(c.start.size()));
        QTest::keyClicks(inplaceWidget(), c.typed);
        QTest::keyClick(inplaceWidget(), Qt::Key_Return, c.mods);
        EXPECT_EQ(grid->Cells(1, 1), c.text);
        EXPECT_EQ(grid->Col(), c.col);
        EXPECT_EQ(enters, c.enterPresses);
        if (c.col == 1)
            EXPECT_EQ(inplace()->Text(), c.text);
        grid->OnKeyPress = nullptr;
        grid->FocusCell(1, 1, true);
    }
}

TEST_F(GridEditFixture, EnterRefusedByValidationKeepsTheLinesUnbroken)
{
    // Ctrl+Enter breaks the line without validating; Enter validates the whole text.
    int validated = 0;
    grid->OnCellValidate = [&](QObject*, int, int, QString& value, bool& valid) {
        ++validated;
        valid = !value.contains("bad");
    };
    open(1, 1, "", edNormal);
    QTest::keyClicks(inplaceWidget(), "bad");
    QTest::keyClick(inplaceWidget(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(validated, 0);
    QTest::keyClicks(inplaceWidget(), "x");
    QTest::keyClick(inplaceWidget(), Qt::Key_Return);
    EXPECT_EQ(validated, 1);
    EXPECT_EQ(grid->Cells(1, 1), "");
    EXPECT_TRUE(inplace()->Visible());
}

TEST_F(GridEditFixture, TheRowGrowsWithEachLineBreak)
{
    grid->Multilinecells = true;
    grid->SizeWhileTyping()->Height = true;
    grid->SetWordWrap(false);   // key releases size wrapped rows to their contents besides
    int sized = 0;
    grid->OnEndRowSize = [&](QObject*, int row) {
        ++sized;
        EXPECT_EQ(row, 1);
    };
    open(1, 1, "", edNormal);
    const int h1 = grid->RowHeights(1);
    QTest::keyClicks(inplaceWidget(), "a");
    QTest::keyClick(inplaceWidget(), Qt::Key_Return, Qt::ControlModifier);
    const int h2 = grid->RowHeights(1);
    EXPECT_GT(h2, h1);
    EXPECT_EQ(sized, 1);
    QTest::keyClicks(inplaceWidget(), "b");
    QTest::keyClick(inplaceWidget(), Qt::Key_Return, Qt::ControlModifier);
    const int h3 = grid->RowHeights(1);
    EXPECT_GT(h3, h2);
    EXPECT_EQ(sized, 2);
    // Three lines as SetRowLines measures them, and the editor follows the row.
    grid->SetRowLines(2, 3, 2 * grid->CellMarginY());
    EXPECT_EQ(h3, grid->RowHeights(2));
    EXPECT_EQ(inplaceWidget()->height(), grid->RowHeights(1) - 1);
    EXPECT_EQ(grid->Cells(1, 1), lines({"a", "b", ""}));

    // An Enter that breaks no line grows nothing: Shift+Enter without line feeds validates instead.
    QTest::keyClick(inplaceWidget(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(grid->RowHeights(1), h3);
    EXPECT_EQ(sized, 2);
}

TEST_F(GridEditFixture, UpAndDownMoveBetweenLinesBeforeLeavingTheCell)
{
    open(1, 2, lines({"one", "two"}), edNormal);
    auto* e = inplace();
    e->SetCaretPos(int(e->Text().size()));
    QTest::keyClick(e->Widget(), Qt::Key_Up);
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_TRUE(e->CaretOnFirstLine());
    QTest::keyClick(e->Widget(), Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_TRUE(e->CaretOnLastLine());
    QTest::keyClick(e->Widget(), Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 3);
    EXPECT_EQ(grid->Cells(1, 2), lines({"one", "two"}));
}

TEST_F(GridEditFixture, ClipboardEventsDecideCutCopyAndPaste)
{
    struct Case {
        const char* what;
        QKeySequence::StandardKey op;
        bool allow;
        QString text;       // the editor's text afterwards
        QString clipboard;  // the clipboard afterwards
    };
    const std::vector<Case> cases = {
        {"copy allowed", QKeySequence::Copy, true, "hello world", "world"},
        {"copy refused", QKeySequence::Copy, false, "hello world", "before"},
        {"cut allowed", QKeySequence::Cut, true, "hello ", "world"},
        {"cut refused", QKeySequence::Cut, false, "hello world", "before"},
        {"paste allowed, changed by the cell event", QKeySequence::Paste, true, "hello [before]", "before"},
        {"paste refused", QKeySequence::Paste, false, "hello world", "before"},
    };
    for (bool multiLine : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (multiLine ? ", multi-line" : ", single line"));
            grid->HideEditor();
            grid->Navigation()->AllowCtrlEnter = multiLine;
            open(1, 1, "hello world", edNormal);
            QObject* sender = nullptr;
            int events = 0;
            auto handler = [&](QObject* s, bool& allow) {
                sender = s;
                ++events;
                allow = c.allow;
            };
            grid->OnClipboardCopy = handler;
            grid->OnClipboardCut = handler;
            grid->OnClipboardPaste = handler;
            grid->OnClipboardBeforePasteCell = [&](QObject*, int col, int row, QString& value, bool&) {
                EXPECT_EQ(col, 1);
                EXPECT_EQ(row, 1);
                value = "[" + value + "]";
            };
            QGuiApplication::clipboard()->setText("before");
            inplace()->SetSelection(6, 5);
            QTest::keySequence(inplaceWidget(), QKeySequence(c.op));
            EXPECT_EQ(events, 1);
            EXPECT_EQ(sender, inplaceWidget());
            EXPECT_EQ(inplace()->Text(), c.text);
            EXPECT_EQ(grid->Cells(1, 1), c.text);
            EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
        }
    }
    grid->OnClipboardCopy = nullptr;
    grid->OnClipboardCut = nullptr;
    grid->OnClipboardPaste = nullptr;
    grid->OnClipboardBeforePasteCell = nullptr;
}

TEST_F(GridEditFixture, TheContextMenuGoesThroughTheClipboardEvents)
{
    for (bool multiLine : {true, false}) {
        SCOPED_TRACE(multiLine);
        grid->HideEditor();
        grid->Navigation()->AllowCtrlEnter = multiLine;
        open(1, 1, "hello world", edNormal);
        int copies = 0, pastes = 0;
        grid->OnClipboardCopy = [&](QObject*, bool& allow) {
            ++copies;
            allow = false;
        };
        grid->OnClipboardPaste = [&](QObject*, bool&) { ++pastes; };
        QGuiApplication::clipboard()->setText("before");
        inplace()->SetSelection(0, 5);
        auto* edit = dynamic_cast<TZedInplaceEdit*>(inplace());
        ASSERT_NE(edit, nullptr);
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        // Copy and Paste, by their place in the standard menu (undo, redo, separator, cut, copy, paste).
        const QList<QAction*> actions = menu->actions();
        ASSERT_GE(actions.size(), 6);
        actions[4]->trigger();
        EXPECT_EQ(copies, 1);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
        actions[5]->trigger();
        EXPECT_EQ(pastes, 1);
        EXPECT_EQ(inplace()->Text(), "before world");
    }
    grid->OnClipboardCopy = nullptr;
    grid->OnClipboardPaste = nullptr;
}

TEST_F(GridEditFixture, CaretAndFormulaReportsToDescendants)
{
    open(1, 1, "", edNormal);
    grid->caretCalls.clear();
    grid->prefixCalls.clear();
    QTest::keyClicks(inplaceWidget(), "=a");
    ASSERT_EQ(grid->caretCalls.size(), 2u);
    EXPECT_EQ(grid->caretCalls.back().text, "=a");
    EXPECT_EQ(grid->caretCalls.back().position, 2);
    // The point is that of the character before the caret: right of the first one's.
    EXPECT_GT(grid->caretCalls.back().point.x(), grid->caretCalls.front().point.x());
    EXPECT_EQ(grid->prefixCalls, (std::vector<bool>{true, true}));
    // The caret at 0 reports no position, only the prefix.
    QTest::keyClick(inplaceWidget(), Qt::Key_Home);
    EXPECT_EQ(grid->caretCalls.size(), 2u);
    EXPECT_EQ(grid->prefixCalls.size(), 3u);
    // Leaving: no formula, and the caret nowhere.
    other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(grid->prefixCalls.back());
    EXPECT_EQ(grid->caretCalls.back().position, -1);
    EXPECT_EQ(grid->caretCalls.back().point, QPoint(-1, -1));
}

TEST_F(GridEditFixture, AFilledMaskAdvancesWithAdvanceAuto)
{
    grid->Navigation()->AdvanceOnEnter = true;
    grid->OnGetEditMask = [](QObject*, int col, int, QString& mask) { mask = col == 1 ? "00" : ""; };
    for (bool advanceAuto : {false, true}) {
        SCOPED_TRACE(advanceAuto);
        grid->HideEditor();
        grid->Navigation()->AdvanceAuto = advanceAuto;
        open(1, 1, "", edNormal);
        ASSERT_FALSE(inplace()->MultiLine());
        QTest::keyClicks(inplaceWidget(), "1");
        EXPECT_EQ(grid->Col(), 1) << "half filled";
        QTest::keyClicks(inplaceWidget(), "2");
        EXPECT_EQ(grid->Col(), advanceAuto ? 2 : 1);
        EXPECT_EQ(grid->Cells(1, 1), "12");
    }
}

TEST_F(GridEditFixture, MultiLineEditorShowsEveryLineOverTheCell)
{
    grid->Multilinecells = true;
    grid->SizeWhileTyping()->Height = true;
    grid->SetWordWrap(false);
    grid->SetColWidths(2, 160);
    grid->SetCells(1, 2, "neben");
    grid->SetCells(3, 2, "daneben");
    open(2, 2, "", edNormal);
    auto* memo = qobject_cast<QPlainTextEdit*>(inplaceWidget());
    ASSERT_NE(memo, nullptr);
    QTest::keyClicks(memo, "Zeile eins");
    QTest::keyClick(memo, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(memo, "Zeile zwei");
    QTest::keyClick(memo, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(memo, "drei");
    QApplication::processEvents();
    // The editor lies over the grown cell less one pixel, and every line fits in it.
    const QRect cell = grid->CellRect(2, 2);
    EXPECT_EQ(memo->geometry(), QRect(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1));
    const int lineHeight = memo->fontMetrics().lineSpacing();
    EXPECT_GE(memo->viewport()->height(), 3 * lineHeight);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 0) << "no line scrolled out of view";
    const QImage shot = window.grab().toImage();
    // Below the text, inside the editor: the cell's own colour.
    const QPoint inside = memo->mapTo(&window, QPoint(memo->width() - 4, memo->height() - 3));
    EXPECT_EQ(shot.pixelColor(inside), tk::ToQColor(grid->cellBrush, grid->palette()));
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOTS"))
        shot.save(qEnvironmentVariable("QLY_SCREENSHOTS") + "/grid-multiline-editor.png");

    // The single-line editor's text starts where the painted texts beside it do.
    grid->HideEditor();
    grid->Navigation()->AllowCtrlEnter = false;
    grid->SetCells(1, 4, "neben");
    open(2, 4, "einzeilig", edNormal);
    ASSERT_FALSE(inplace()->MultiLine());
    QApplication::processEvents();
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOTS"))
        window.grab().save(qEnvironmentVariable("QLY_SCREENSHOTS") + "/grid-line-editor.png");
}

TEST_F(GridEditFixture, VAlignCentresTheTextInATallCell)
{
    grid->SetRowHeights(1, 90);
    for (bool multiLine : {true, false}) {
        SCOPED_TRACE(multiLine);
        grid->Navigation()->AllowCtrlEnter = multiLine;
        int tops[2] = {0, 0};
        for (bool centred : {false, true}) {
            grid->HideEditor();
            open(1, 1, "Mitte", edNormal);
            auto* edit = dynamic_cast<TZedInplaceEdit*>(inplace());
            ASSERT_NE(edit, nullptr);
            edit->SetVAlign(centred);
            QApplication::processEvents();
            // The caret's top shows where the text line lies.
            tops[centred] = inplace()->PosFromChar(0).y();
            edit->SetVAlign(false);
        }
        EXPECT_LE(tops[0], 4) << "at the top";
        EXPECT_GT(tops[1], 90 / 2 - 20) << "centred";
        EXPECT_LT(tops[1], 90 / 2);
    }
}

TEST_F(GridEditFixture, ImproveMaskSelSelectsTheFirstPlace)
{
    grid->Navigation()->ImproveMaskSel = true;
    grid->OnGetEditMask = [](QObject*, int, int, QString& mask) { mask = "00:00"; };
    open(1, 1, "12:34", edNormal);
    ASSERT_TRUE(inplaceWidget()->hasFocus());
    EXPECT_EQ(inplace()->SelStart(), 0);
    EXPECT_EQ(inplace()->SelLength(), 1);
    QTest::keyClicks(inplaceWidget(), "9");
    EXPECT_EQ(grid->Cells(1, 1), "92:34");
}

TEST_F(GridEditFixture, WrappedTypingGrowsTheRowInBothKinds)
{
    grid->SizeWhileTyping()->Height = true;
    grid->SetWordWrap(true);
    grid->SetColWidths(1, 60);
    for (bool multiLine : {true, false}) {
        SCOPED_TRACE(multiLine);
        grid->HideEditor();
        grid->Navigation()->AllowCtrlEnter = multiLine;
        const int row = multiLine ? 1 : 2;
        int sized = 0;
        grid->OnEndRowSize = [&](QObject*, int r) { sized += r == row; };
        open(1, row, "", edNormal);
        const int before = grid->RowHeights(row);
        QTest::keyClicks(inplaceWidget(), "ein Text, der umbricht");
        EXPECT_GT(grid->RowHeights(row), before);
        EXPECT_GT(sized, 0);
        EXPECT_EQ(inplaceWidget()->height(), grid->RowHeights(row) - 1);
        if (multiLine) {
            // The editor wraps as the cell does.
            EXPECT_EQ(qobject_cast<QPlainTextEdit*>(inplaceWidget())->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        }
    }
    grid->OnEndRowSize = nullptr;
}

TEST_F(GridEditFixture, AReplacedEditorLeavesTheNewCellAlone)
{
    // Down leaves the cell for a masked cell below, whose editor replaces the multi-line one while
    // the key is handled; the key's release still reaches the replaced editor.
    grid->Lookup = true;
    grid->SetLookupItemsList({"abcdef"});
    grid->OnGetEditMask = [](QObject*, int, int row, QString& mask) { mask = row == 2 ? "00" : ""; };
    kinds[{2, 2}] = edNormal;
    grid->SetCells(2, 2, "12");
    open(2, 1, "ab", edNormal);
    ASSERT_TRUE(inplace()->MultiLine());
    inplace()->SetCaretPos(2);
    QTest::keyClick(inplaceWidget(), Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 2);
    QApplication::processEvents();
    EXPECT_FALSE(inplace()->MultiLine());
    EXPECT_EQ(grid->Cells(2, 2), "12");
    EXPECT_EQ(grid->Cells(2, 1), "ab");
}
