// The text model and its editing operations, without a window.
#include "htmleditor/memo/ZedMemoModel.h"
#include "tests/common/TestUtil.h"
#include "tests/memo/MemoTestUtil.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

QStringList LinesOf(const TZedMemoModel& m) { return m.Lines().Strings(); }

void Load(TZedMemoModel& m, const QStringList& lines) { m.SetLines(lines); }

void Type(TZedMemoModel& m, const QString& text)
{
    for (QChar c : text)
        m.TypeChar(c);
}

}  // namespace

TEST(MemoModel, StartsWithOneEmptyLineAndPadsWhenTypingPastTheEnd)
{
    TZedMemoModel m;
    EXPECT_EQ(LinesOf(m), QStringList{QString()});
    m.SetCaretCol(10);
    m.InsertChar(QLatin1Char('x'));
    EXPECT_EQ(m.LineText(0), QStringLiteral("          x"));
    EXPECT_EQ(m.Caret(), (TZedPos{11, 0}));

    // Leaving a line drops its trailing blanks, and only those.
    m.Lines().Add(QStringLiteral("second"));
    m.SetCaretCol(15);
    EXPECT_EQ(m.LineText(0), QStringLiteral("          x    "));
    m.SetCaretLine(1);
    EXPECT_EQ(m.LineText(0), QStringLiteral("          x"));
    EXPECT_EQ(m.LineText(1), QStringLiteral("second         "));  // padded to the caret column
    m.SetCaretLine(0);
    EXPECT_EQ(m.LineText(1), QStringLiteral("second"));
}

TEST(MemoModel, TabInsertsTabSizeBlanksAndOverwriteTabOnlyPads)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("ab")});
    m.SetCaretCol(1);
    m.InsertChar(QLatin1Char('\t'));
    EXPECT_EQ(m.LineText(0), QStringLiteral("a    b"));
    EXPECT_EQ(m.CaretCol(), 5);

    TZedMemoModel o;
    Load(o, {QStringLiteral("abcdef")});
    o.SetOverwrite(true);
    o.SetCaretCol(1);
    o.InsertChar(QLatin1Char('\t'));  // moves over existing text
    EXPECT_EQ(o.LineText(0), QStringLiteral("abcdef"));
    EXPECT_EQ(o.CaretCol(), 5);
    EXPECT_FALSE(o.CanUndo());
    o.InsertChar(QLatin1Char('\t'));  // passes the end: pads to column 9
    EXPECT_EQ(o.LineText(0), QStringLiteral("abcdef   "));
    EXPECT_EQ(o.CaretCol(), 9);
    o.Undo();
    EXPECT_EQ(o.LineText(0).trimmed(), QStringLiteral("abcdef"));
    EXPECT_EQ(o.LineText(0).left(6), QStringLiteral("abcdef"));
}

TEST(MemoModel, InsertTextSplitsAtLineBreaksAsOneUndoStep)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("xy")});
    m.SetCaretCol(1);
    m.InsertText(QStringLiteral("a\r\nb"));
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("xa"), QStringLiteral("by")}));
    EXPECT_EQ(m.Caret(), (TZedPos{1, 1}));

    m.InsertText(QStringLiteral("1\r\n2\r\n3\r\n"));
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("xa"), QStringLiteral("b1"), QStringLiteral("2"),
                                       QStringLiteral("3"), QStringLiteral("y")}));
    EXPECT_EQ(m.Caret(), (TZedPos{0, 4}));
    m.Undo();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("xa"), QStringLiteral("by")}));
    EXPECT_EQ(m.Caret(), (TZedPos{1, 1}));
    m.Undo();
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("xy")});
    EXPECT_EQ(m.Caret(), (TZedPos{1, 0}));
    m.Redo();
    m.Redo();
    EXPECT_EQ(m.Lines().Count(), 5);
    EXPECT_EQ(m.Caret(), (TZedPos{0, 4}));

    // A lone LF is a line break too, never a character inside a line.
    TZedMemoModel n;
    n.InsertText(QStringLiteral("a\nb"));
    EXPECT_EQ(LinesOf(n), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST(MemoModel, SelTextOffsetsAndDeleteSelectionAcrossLines)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("line one"), QStringLiteral("line two"), QStringLiteral("line three"),
             QStringLiteral("line four"), QStringLiteral("end")});
    m.SetSelection(TZedPos{5, 3}, TZedPos{2, 1});  // made backwards
    EXPECT_EQ(m.SelText(), QStringLiteral("ne two\r\nline three\r\nline "));
    EXPECT_EQ(m.SelStart(), 10 + 2);
    EXPECT_EQ(m.SelLength(), 25);

    m.SetCaret(TZedPos{5, 3});
    m.DeleteSelection();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("line one"), QStringLiteral("lifour"), QStringLiteral("end")}));
    EXPECT_EQ(m.Caret(), (TZedPos{2, 1}));
    EXPECT_TRUE(m.SelectionEmpty());
    m.Undo();
    EXPECT_EQ(m.Lines().Count(), 5);
    EXPECT_EQ(m.LineText(2), QStringLiteral("line three"));
    TZedPos a, b;
    m.OrderedSelection(a, b);
    EXPECT_EQ(a, (TZedPos{2, 1}));
    EXPECT_EQ(b, (TZedPos{5, 3}));
    EXPECT_EQ(m.Caret(), (TZedPos{5, 3}));
}

TEST(MemoModel, OffsetsCountTwoPerHardBreakAndNoneForWrapBreaks)
{
    TZedMemoModel m;
    m.SetVisibleSize(10, 11);  // wrap width 10
    Load(m, {QStringLiteral("aaaa bbbb cccc dddd"), QStringLiteral("xy")});
    m.SetWordWrap(wwClientWidth);
    ASSERT_EQ(LinesOf(m), (QStringList{QStringLiteral("aaaa "), QStringLiteral("bbbb "), QStringLiteral("cccc dddd"),
                                       QStringLiteral("xy")}));
    EXPECT_EQ(m.PosToOffset(TZedPos{0, 1}), 5);
    EXPECT_EQ(m.PosToOffset(TZedPos{1, 3}), 19 + 2 + 1);
    EXPECT_EQ(m.OffsetToPos(22), (TZedPos{1, 3}));
    m.SetSelection(TZedPos{2, 0}, TZedPos{1, 3});
    EXPECT_EQ(m.SelText(), QStringLiteral("aa bbbb cccc dddd\r\nx"));
    EXPECT_EQ(m.SelStart(), 2);
    EXPECT_EQ(m.SelLength(), 20);
}

TEST(MemoModel, DeleteLineOnTheOnlyLastAndInnerLine)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("only")});
    m.SetCaretCol(2);
    m.DeleteLine();
    EXPECT_EQ(LinesOf(m), QStringList{QString()});
    m.Undo();
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("only")});
    EXPECT_EQ(m.Caret(), (TZedPos{2, 0}));

    Load(m, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    m.SetCaretLine(2);
    m.DeleteLine();  // the last line: the caret moves up
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(m.Caret(), (TZedPos{0, 1}));
    m.Undo();  // back in its place, below "b"
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    m.SetCaretLine(1);
    m.DeleteLine();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    m.Undo();
    m.Redo();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
}

TEST(MemoModel, NewLineWithAutoIndentRecordsTheBlanksItTrims)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("    foo   bar  ")});
    m.SetCaretCol(10);  // before "bar"
    m.NewLine();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("    foo"), QStringLiteral("    bar")}));
    EXPECT_EQ(m.Caret(), (TZedPos{4, 1}));
    m.Undo();
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("    foo   bar  ")});
    EXPECT_EQ(m.Caret(), (TZedPos{10, 0}));
    m.Redo();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("    foo"), QStringLiteral("    bar")}));

    // Enter at the end of an indented line, then typing: one record; undo joins again.
    TZedMemoModel t;
    Load(t, {QStringLiteral("  ab")});
    t.SetCaretCol(4);
    t.NewLine();
    Type(t, QStringLiteral("cd"));
    EXPECT_EQ(LinesOf(t), (QStringList{QStringLiteral("  ab"), QStringLiteral("  cd")}));
    t.Undo();
    EXPECT_EQ(LinesOf(t), QStringList{QStringLiteral("  ab")});
    EXPECT_FALSE(t.CanUndo());
}

TEST(MemoModel, TabsExpandedOnLoadAndLoadClearsHistoryWhileSettingLinesKeepsIt)
{
    qlytest::TempDir dir;
    const QString file = dir.file(QStringLiteral("t.html"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<p>\r\n\t<b>x</b>\r\n\t\tend\xE4\r\n");  // not UTF-8: read as Windows-1252
    f.close();

    TZedMemoModel m;
    Type(m, QStringLiteral("abc"));
    ASSERT_TRUE(m.CanUndo());
    m.SetLines({QStringLiteral("\tnew")});
    EXPECT_EQ(m.LineText(0), QStringLiteral("    new"));
    EXPECT_TRUE(m.CanUndo());
    EXPECT_TRUE(m.Modified());
    // The kept record no longer matches the text: undoing it leaves the new text alone and
    // drops the history that does not fit it.
    m.Undo();
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("    new")});
    EXPECT_FALSE(m.CanUndo());
    EXPECT_FALSE(m.CanRedo());

    bool canUndo = true;
    int events = 0;
    m.OnUndoChange = [&](bool u, bool) { canUndo = u; ++events; };
    ASSERT_TRUE(m.Lines().LoadFromFile(file));
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("<p>"), QStringLiteral("    <b>x</b>"),
                                       QStringLiteral("        end\u00E4")}));
    EXPECT_FALSE(m.CanUndo());
    EXPECT_FALSE(canUndo);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(m.Caret(), (TZedPos{0, 0}));
    EXPECT_FALSE(m.Lines().LoadFromFile(dir.file(QStringLiteral("missing.html"))));
}

TEST(MemoModel, ClipboardCopyCutPaste)
{
    TZedMemoModel m;
    Load(m, {QStringLiteral("hello world")});
    m.SetSelection(TZedPos{0, 0}, TZedPos{5, 0});
    m.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("hello"));
    m.SetCaret(TZedPos{5, 0});
    m.CutToClipboard();
    EXPECT_EQ(m.LineText(0), QStringLiteral(" world"));
    QGuiApplication::clipboard()->setText(QStringLiteral("A\nB"));
    m.SetCaret(TZedPos{6, 0});
    m.PasteFromClipboard();
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral(" worldA"), QStringLiteral("B")}));
    EXPECT_EQ(m.Caret(), (TZedPos{1, 1}));
    EXPECT_TRUE(m.SelectionEmpty());
    EXPECT_TRUE(m.Lines().PropsIfAny(0)->Modified);
    EXPECT_TRUE(m.Lines().PropsIfAny(1)->Modified);

    m.ReadOnly = true;
    m.PasteFromClipboard();
    m.SelectAll();
    m.CutToClipboard();
    EXPECT_EQ(m.Lines().Count(), 2);
    m.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral(" worldA\r\nB"));
}

TEST(MemoModel, WordWrapCutsAtWordsOrHardAtTheWidth)
{
    TZedMemoModel m;
    m.SetVisibleSize(20, 40);  // wrap width 39
    Load(m, {QString(100, QLatin1Char('x'))});
    m.SetWordWrap(wwClientWidth);
    ASSERT_EQ(m.Lines().Count(), 3);
    EXPECT_EQ(m.LineText(0).length(), 39);
    EXPECT_EQ(m.LineText(1).length(), 39);
    EXPECT_EQ(m.LineText(2).length(), 22);
    EXPECT_FALSE(m.Lines().IsWrapped(0));
    EXPECT_TRUE(m.Lines().IsWrapped(1));
    EXPECT_TRUE(m.Lines().IsWrapped(2));

    // The caret stays on the same character when the wrap changes.
    m.SetCaret(TZedPos{5, 2});  // character 83
    m.SetVisibleSize(20, 51);   // width 50
    EXPECT_EQ(m.Lines().Count(), 2);
    EXPECT_EQ(m.Caret(), (TZedPos{33, 1}));
    m.SetWordWrap(wwNone);
    EXPECT_EQ(LinesOf(m), QStringList{QString(100, QLatin1Char('x'))});
    EXPECT_EQ(m.Caret(), (TZedPos{83, 0}));
}

TEST(MemoModel, TypingWhileWrappedFollowsTheWrap)
{
    TZedMemoModel m;
    m.SetVisibleSize(20, 11);  // width 10
    Load(m, {QStringLiteral("abcd efgh")});
    m.SetWordWrap(wwClientWidth);
    m.SetCaret(TZedPos{9, 0});
    Type(m, QStringLiteral("ij"));
    EXPECT_EQ(LinesOf(m), (QStringList{QStringLiteral("abcd "), QStringLiteral("efghij")}));
    EXPECT_EQ(m.Caret(), (TZedPos{6, 1}));
    m.Undo();
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("abcd efgh")});
    // Backspace at the start of a continuation removes the blank before the wrap.
    m.SetVisibleSize(20, 8);
    ASSERT_EQ(LinesOf(m), (QStringList{QStringLiteral("abcd "), QStringLiteral("efgh")}));
    m.SetCaret(TZedPos{0, 1});
    m.Backspace();
    m.SetWordWrap(wwNone);
    EXPECT_EQ(LinesOf(m), QStringList{QStringLiteral("abcdefgh")});
}

TEST(MemoModel, SmartTabsFollowThePreviousLineAndUnindentUndoes)
{
    TZedMemoModel m;
    m.SmartTabs = true;
    m.SetLines({QStringLiteral("    foo bar"), QString()});
    m.SetCaret(TZedPos{0, 1});
    m.TabKey(0);
    EXPECT_EQ(m.Caret(), (TZedPos{4, 1}));
    m.TabKey(0);
    EXPECT_EQ(m.Caret(), (TZedPos{8, 1}));
    EXPECT_EQ(m.LineText(1), QString(8, QLatin1Char(' ')));
    m.Backspace();  // back to the indentation of the line above
    EXPECT_EQ(m.Caret(), (TZedPos{4, 1}));
    EXPECT_EQ(m.LineText(1), QString(4, QLatin1Char(' ')));
    m.Undo();
    EXPECT_EQ(m.LineText(1), QString(8, QLatin1Char(' ')));
    EXPECT_EQ(m.Caret(), (TZedPos{8, 1}));
    m.TabKey(ssShift);  // moves left, changes nothing
    EXPECT_EQ(m.Caret(), (TZedPos{4, 1}));
    EXPECT_EQ(m.LineText(1), QString(8, QLatin1Char(' ')));
}
