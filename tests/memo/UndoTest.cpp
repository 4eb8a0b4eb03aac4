// The undo history: every edit kind undoes and redoes exactly, merging and the limit.
#include "htmleditor/memo/ZedMemoModel.h"
#include "tests/memo/MemoTestUtil.h"

#include <QClipboard>
#include <QGuiApplication>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct EditCase {
    const char* name;
    QStringList lines;
    TZedPos caret;
    std::function<void(TZedMemoModel&)> edit;
    QStringList expected;
    int records;  // records the edit leaves in the history
};

void Type(TZedMemoModel& m, const QString& text)
{
    for (QChar c : text)
        m.TypeChar(c);
}

}  // namespace

TEST(MemoUndo, EveryEditKindUndoesAndRedoesToTheExactTextAndCaret)
{
    const QString a = QStringLiteral("0abc1");
    const std::vector<EditCase> cases = {
        {"typing", {a}, {1, 0}, [](TZedMemoModel& m) { Type(m, QStringLiteral("xyz")); }, {QStringLiteral("0xyzabc1")}, 1},
        {"delete key", {a}, {1, 0}, [](TZedMemoModel& m) { m.DeleteChar(); m.DeleteChar(); m.DeleteChar(); },
         {QStringLiteral("01")}, 1},
        {"backspace", {a}, {4, 0}, [](TZedMemoModel& m) { m.Backspace(); m.Backspace(); m.Backspace(); },
         {QStringLiteral("01")}, 1},
        {"delete joins lines", {QStringLiteral("ab"), QStringLiteral("cd")}, {2, 0},
         [](TZedMemoModel& m) { m.DeleteChar(); m.DeleteChar(); }, {QStringLiteral("abd")}, 1},
        {"backspace joins lines", {QStringLiteral("ab"), QStringLiteral("cd  ")}, {0, 1},
         [](TZedMemoModel& m) { m.Backspace(); m.Backspace(); }, {QStringLiteral("acd  ")}, 1},
        {"delete selection",
         {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}, {3, 2},
         [](TZedMemoModel& m) { m.SetSelection(TZedPos{1, 0}, TZedPos{3, 2}); m.DeleteSelection(); },
         {QStringLiteral("oee")}, 1},
        {"paste", {a}, {2, 0}, [](TZedMemoModel& m) { m.InsertText(QStringLiteral("X\r\nY\r\nZ")); },
         {QStringLiteral("0aX"), QStringLiteral("Y"), QStringLiteral("Zbc1")}, 1},
        {"new line", {QStringLiteral("  ab  cd")}, {5, 0}, [](TZedMemoModel& m) { m.NewLine(); },
         {QStringLiteral("  ab"), QStringLiteral("  cd")}, 1},
        {"delete line", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, {1, 1},
         [](TZedMemoModel& m) { m.DeleteLine(); }, {QStringLiteral("a"), QStringLiteral("c")}, 1},
        {"overwrite", {a}, {1, 0}, [](TZedMemoModel& m) { m.SetOverwrite(true); Type(m, QStringLiteral("XY")); },
         {QStringLiteral("0XYc1")}, 1},
        {"overwrite past the end", {QStringLiteral("ab")}, {1, 0},
         [](TZedMemoModel& m) { m.SetOverwrite(true); Type(m, QStringLiteral("XYZ")); }, {QStringLiteral("aXYZ")}, 1},
        {"delete word back", {QStringLiteral("one two")}, {7, 0}, [](TZedMemoModel& m) { m.DeleteWordBack(); },
         {QStringLiteral("one ")}, 1},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        TZedMemoModel m;
        m.SetLines(c.lines);
        m.SetCaret(c.caret);
        ASSERT_EQ(m.Lines().Strings(), c.lines);
        c.edit(m);
        EXPECT_EQ(m.Lines().Strings(), c.expected);
        EXPECT_EQ(m.UndoList().Count(), c.records);
        const TZedPos after = m.Caret();
        while (m.CanUndo())
            m.Undo();
        EXPECT_EQ(m.Lines().Strings(), c.lines);
        EXPECT_EQ(m.Caret(), c.caret);
        while (m.CanRedo())
            m.Redo();
        EXPECT_EQ(m.Lines().Strings(), c.expected);
        EXPECT_EQ(m.Caret(), after);
    }
}

TEST(MemoUndo, DeleteWordBackAtColumnZeroJoinsOnce)
{
    TZedMemoModel m;
    m.SetLines({QStringLiteral("one two"), QStringLiteral("three")});
    m.SetCaret(TZedPos{0, 1});
    m.DeleteWordBack();
    EXPECT_EQ(m.Lines().Strings(), QStringList{QStringLiteral("one twothree")});
    EXPECT_EQ(m.Caret(), (TZedPos{7, 0}));
}

TEST(MemoUndo, MergingRulesAndRedoDroppedByANewEdit)
{
    TZedMemoModel m;
    m.SetLines({QStringLiteral("abc"), QStringLiteral("def")});
    m.SetCaret(TZedPos{3, 0});
    Type(m, QStringLiteral("xy"));
    m.SetCaret(TZedPos{0, 1});
    Type(m, QStringLiteral("z"));
    EXPECT_EQ(m.UndoList().Count(), 2);  // the caret moved between the two runs
    m.Backspace();
    m.DeleteChar();
    EXPECT_EQ(m.UndoList().Count(), 4);  // different keys never merge

    m.Undo();
    EXPECT_TRUE(m.CanRedo());
    Type(m, QStringLiteral("q"));
    EXPECT_FALSE(m.CanRedo());
}

TEST(MemoUndo, LimitAndModified)
{
    TZedMemoModel m;
    int events = 0;
    bool lastUndo = true, lastRedo = true;
    m.OnUndoChange = [&](bool u, bool r) { ++events; lastUndo = u; lastRedo = r; };
    m.Undo();  // empty history: nothing, no event
    EXPECT_EQ(events, 0);

    for (int i = 0; i < 101; ++i) {
        m.SetCaret(TZedPos{0, 0});  // every character its own record
        m.InsertChar(QChar(u'a' + i % 26));
    }
    EXPECT_EQ(m.UndoList().Count(), 100);
    const QString full = m.LineText(0);
    while (m.CanUndo())
        m.Undo();
    EXPECT_EQ(m.LineText(0), full.right(1));  // the oldest record was dropped

    m.SetUndoLimit(0);
    EXPECT_EQ(m.UndoLimit(), 1);
    EXPECT_EQ(m.UndoList().Count(), 0);
    m.SetUndoLimit(500);
    EXPECT_EQ(m.UndoLimit(), 100);
    m.InsertChar(QLatin1Char('x'));
    m.SetUndoLimit(100);  // unchanged: the history stays
    EXPECT_TRUE(m.CanUndo());

    events = 0;
    EXPECT_TRUE(m.Modified());
    m.SetModified(true);
    EXPECT_TRUE(m.Modified());
    m.SetModified(false);
    EXPECT_FALSE(m.Modified());
    EXPECT_EQ(events, 1);
    EXPECT_FALSE(lastUndo);
    EXPECT_FALSE(lastRedo);
}

TEST(MemoUndo, UndoRestoresTextAfterTheWrapWidthChanged)
{
    TZedMemoModel m;
    m.SetVisibleSize(10, 21);
    m.SetLines({QStringLiteral("alpha beta gamma delta epsilon")});
    m.SetWordWrap(wwClientWidth);
    m.SetCaret(TZedPos{0, 1});
    Type(m, QStringLiteral("XX "));
    m.SetVisibleSize(10, 13);
    m.Undo();
    m.SetWordWrap(wwNone);
    EXPECT_EQ(m.Lines().Strings(), QStringList{QStringLiteral("alpha beta gamma delta epsilon")});
}
