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

// Random edits, then undo all and redo all: the text must come back exactly each way.
// Letters only and the caret always inside the text, so nothing depends on trailing blanks
// (which leaving a line drops without a record).
TEST(MemoUndo, RandomEditsUndoAndRedoExactly)
{
    for (const bool wrap : {false, true}) {
        for (unsigned seed = 1; seed <= 100; ++seed) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (wrap ? " wrapped" : ""));
            TZedMemoModel m;
            m.AutoIndent = false;
            m.SetVisibleSize(20, 13);
            m.SetLines({QStringLiteral("alpha beta"), QStringLiteral("gamma"), QStringLiteral("delta epsilon zeta eta")});
            if (wrap)
                m.SetWordWrap(wwClientWidth);
            auto text = [&] {
                const bool w = m.WordWrap() != wwNone;
                m.SetWordWrap(wwNone);
                QStringList out;
                for (const QString& l : m.Lines().Strings()) {
                    QString t = l;
                    while (t.endsWith(QLatin1Char(' ')))
                        t.chop(1);
                    out << t;
                }
                if (w)
                    m.SetWordWrap(wwClientWidth);
                return out;
            };
            const QStringList initial = text();
            quint32 state = seed * 2654435761u;
            auto rnd = [&](int n) {
                state = state * 1103515245u + 12345u;
                return int((state >> 8) % quint32(std::max(1, n)));
            };
            auto randomPos = [&] {
                const int line = rnd(m.Lines().Count());
                return TZedPos{rnd(m.LineText(line).length() + 1), line};
            };
            for (int op = 0; op < 60; ++op) {
                switch (rnd(10)) {
                case 0: m.SetCaret(randomPos()); m.ClearSelection(); break;
                case 1: Type(m, QString(1 + rnd(3), QChar(u'a' + rnd(26)))); break;
                case 2: m.NewLine(); break;
                case 3: m.Backspace(); break;
                case 4: m.DeleteChar(); break;
                case 5: {
                    const TZedPos a = randomPos();
                    const TZedPos b = randomPos();
                    m.SetCaret(b);
                    m.SetSelection(a, b);
                    m.DeleteSelection();
                    break;
                }
                case 6: m.InsertText(QStringLiteral("pq\r\nrs").left(1 + rnd(6))); break;
                case 7: m.DeleteLine(); break;
                case 8: m.SetOverwrite(true); Type(m, QStringLiteral("XY")); m.SetOverwrite(false); break;
                case 9: m.DeleteWordBack(); break;
                }
            }
            ASSERT_LE(m.UndoList().Count(), 100);
            const QStringList final = text();
            while (m.CanUndo())
                m.Undo();
            ASSERT_EQ(text(), initial);
            while (m.CanRedo())
                m.Redo();
            ASSERT_EQ(text(), final);
        }
    }
}
