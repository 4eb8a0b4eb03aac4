// The typing aids, markers, checker hooks and shared text of the memo model, without a window.
#include "htmleditor/memo/ZedChecker.h"
#include "htmleditor/memo/ZedMemoModel.h"
#include "htmleditor/memo/ZedMemoSource.h"
#include "tests/memo/MemoTestUtil.h"

#include <gtest/gtest.h>

namespace {

void Type(TZedMemoModel& m, const QString& text)
{
    for (QChar c : text) {
        if (c == QLatin1Char(' '))
            m.WordEndKey(wkBlank);
        else if (c == QLatin1Char('\n'))
            m.WordEndKey(wkEnter);
        else if (c == QLatin1Char('\t'))
            m.WordEndKey(wkTab);
        else
            m.TypeChar(c);
    }
}

QStringList Names(const TCompletionEntries& entries)
{
    QStringList out;
    for (const TCompletionEntry& e : entries)
        out << e.Text;
    return out;
}

}  // namespace

TEST(CompletionEntries, KindsTokensFiltersAndAcceptedText)
{
    const TCompletionEntries all = CompletionEntriesOf({QStringLiteral("function alert(message)"),
                                                        QStringLiteral("var x"), QStringLiteral("property y"),
                                                        QStringLiteral("confirm"), QStringLiteral("Event window.onload")});
    std::vector<int> kinds;
    for (const auto& e : all)
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<int>{ckFunction, ckVariable, ckProperty, ckIdentifier, ckEvent}));

    EXPECT_EQ(Names(EntriesForToken(all, QStringLiteral("al"))), QStringList{QStringLiteral("function alert(message)")});
    EXPECT_EQ(EntriesForToken(all, QString()).size(), all.size());
    EXPECT_TRUE(EntriesForToken(all, QStringLiteral("function")).empty());  // the kind word is no part of the name
    // Filtering looks behind the first "." of a name.
    EXPECT_EQ(Names(FilterEntries(all, QStringLiteral("ONL"))), QStringList{QStringLiteral("Event window.onload")});
    EXPECT_TRUE(FilterEntries(all, QStringLiteral("WINDOW")).empty());

    struct Case {
        const char* entry;
        const char* text;
        bool parens;
    } cases[] = {{"function alert(message)", "alert()", true},
                 {"var x", "x", false},
                 {"prompt;x", "prompt", false},
                 {"confirm more", "confirm", false}};
    for (const Case& c : cases) {
        bool parens = false;
        EXPECT_EQ(AcceptedEntryText(QString::fromUtf8(c.entry), &parens), QString::fromUtf8(c.text)) << c.entry;
        EXPECT_EQ(parens, c.parens) << c.entry;
    }
}

TEST(ParameterHint, ScanFindsTheOpenCallAndTheCurrentParameter)
{
    const THintParameter hp;
    struct Case {
        const char* line;
        bool found;
        const char* name;
        int parameter;
    } cases[] = {
        {"alert(", true, "ALERT", 0},
        {"x = prompt(a,", true, "PROMPT", 1},
        {"prompt(a, b, c", true, "PROMPT", 2},
        {"alert(x)", false, "", 0},        // a closing character ends the search
        {"alert(     ", false, "", 0},     // five blanks in a row
        {"alert(    x", true, "ALERT", 0},  // four are not enough
        {"no call here", false, "", 0},
    };
    for (const Case& c : cases) {
        const QString line = QString::fromUtf8(c.line);
        const THintScan r = ScanParameterHint(line, line.length(), hp, false);
        EXPECT_EQ(r.Found, c.found) << c.line;
        EXPECT_EQ(r.Name, QString::fromUtf8(c.name)) << c.line;
        if (c.found)
            EXPECT_EQ(r.Parameter, c.parameter) << c.line;
    }
    EXPECT_EQ(ScanParameterHint(QStringLiteral("Alert("), 6, hp, true).Name, QStringLiteral("Alert"));

    const QStringList params{QStringLiteral("alert(message)"), QStringLiteral("prompt(message,defaultvalue)")};
    EXPECT_EQ(FindParameterText(params, QStringLiteral("PROMPT"), false), params[1]);
    EXPECT_TRUE(FindParameterText(params, QStringLiteral("PROMPT"), true).isEmpty());

    const THintParts p1 = SplitParameterHint(params[1], 1, hp);
    EXPECT_EQ(p1.Before, QStringLiteral("message,"));
    EXPECT_EQ(p1.Current, QStringLiteral("defaultvalue"));
    EXPECT_EQ(p1.After, QString());
    const THintParts p0 = SplitParameterHint(QStringLiteral("f(a;b,c)"), 1, hp);
    EXPECT_EQ(p0.Before, QStringLiteral("a;"));
    EXPECT_EQ(p0.Current, QStringLiteral("b"));
    EXPECT_EQ(p0.After, QStringLiteral(",c"));
}

TEST(MemoWords, WordTokenIdentifierAroundACell)
{
    TZedMemoModel m;
    m.SetLines({QStringLiteral("call(obj.name, x) end")});
    EXPECT_EQ(m.WordAt({6, 0}).Text, QStringLiteral("call(obj.name,"));  // no styler: only blanks part words
    EXPECT_EQ(m.WordAt({14, 0}).Text, QString());  // on a blank
    EXPECT_EQ(m.TokenAt({6, 0}).Text, QStringLiteral("obj"));
    EXPECT_EQ(m.TokenAt({4, 0}).Text, QString());  // "(" is a token delimiter
    m.SetCaret({9, 0});
    EXPECT_EQ(m.IdentifierAroundCaret().Text, QStringLiteral("obj.name,"));
    EXPECT_EQ(m.IdentifierAroundCaret().Col, 5);
    EXPECT_EQ(m.WordBeforeCaret().Text, QStringLiteral("call(obj."));
    m.SetCaret({21, 0});
    EXPECT_EQ(m.WordAroundCaret().Text, QStringLiteral("end"));
}

TEST(WordReplacement, ReplacesExactWordsAsOneUndoStep)
{
    TZedMemoModel m;
    m.AutoCorrect.OldValue = {QStringLiteral("teh"), QStringLiteral("orphan")};
    m.AutoCorrect.NewValue = {QStringLiteral("the")};
    Type(m, QStringLiteral("teh "));
    EXPECT_EQ(m.LineText(0), QStringLiteral("the "));
    EXPECT_EQ(m.Caret(), (TZedPos{4, 0}));
    m.Undo();
    EXPECT_EQ(m.LineText(0), QStringLiteral("teh "));
    m.Redo();
    EXPECT_EQ(m.LineText(0), QStringLiteral("the "));
    m.Undo();
    m.Undo();
    EXPECT_EQ(m.LineText(0), QString());

    TZedMemoModel c;
    c.AutoCorrect.OldValue = m.AutoCorrect.OldValue;
    c.AutoCorrect.NewValue = m.AutoCorrect.NewValue;
    Type(c, QStringLiteral("Teh orphan x\n"));  // other case, and no new value at that index
    EXPECT_EQ(c.Lines().Strings(), (QStringList{QStringLiteral("Teh orphan x"), QString()}));

    // The handler sees the word and may change it; Enter replaces before the break.
    TZedMemoModel h;
    QStringList seen;
    h.OnWordComplete = [&](const QString& word, QString& newWord) {
        seen << word;
        if (word == QStringLiteral("br"))
            newWord = QStringLiteral("<br>");
    };
    Type(h, QStringLiteral("a br\n"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("a"), QStringLiteral("br")}));
    EXPECT_EQ(h.Lines().Strings(), (QStringList{QStringLiteral("a <br>"), QString()}));
    h.Undo();
    EXPECT_EQ(h.Lines().Strings(), (QStringList{QStringLiteral("a br"), QString()}));
}

namespace {

class RecordingChecker : public TZedMemoChecker {
public:
    QStringList Calls;
    void CheckLine(int line) override { Calls << QStringLiteral("CheckLine %1").arg(line); }
    void CheckWord(int line, int col, const QString& word) override
    {
        Calls << QStringLiteral("CheckWord %1 %2 %3").arg(line).arg(col).arg(word);
    }
    void CorrectLine(int line) override { Calls << QStringLiteral("CorrectLine %1").arg(line); }
    void CorrectWord(int line, int col, QString& word) override
    {
        Calls << QStringLiteral("CorrectWord %1 %2 %3").arg(line).arg(col).arg(word);
        if (word == QStringLiteral("recieve"))
            word = QStringLiteral("receive");
    }
};

}  // namespace

TEST(MemoChecker, EachModeIsAskedOnItsKeys)
{
    struct Case {
        int mode;
        QStringList calls;
        QString text;
    } cases[] = {
        {cmNone, {}, QStringLiteral("recieve    x")},
        {cmCorrectLine, {QStringLiteral("CorrectLine 0")}, QStringLiteral("recieve    x")},
        {cmCheckLine, {QStringLiteral("CheckLine 0")}, QStringLiteral("recieve    x")},
        {cmCorrectWord, {QStringLiteral("CorrectWord 0 7 recieve")}, QStringLiteral("receive    x")},
        {cmCheckWord, {QStringLiteral("CheckWord 0 7 recieve"), QStringLiteral("CheckWord 0 12 x")}, QStringLiteral("recieve    x")},
    };
    for (const Case& c : cases) {
        TZedMemoModel m;
        RecordingChecker checker;
        checker.SetMemo(&m);
        EXPECT_EQ(m.MemoChecker(), &checker);
        checker.CheckMode = c.mode;
        Type(m, QStringLiteral("recieve\tx\n"));  // Tab for the first word, Enter for the second
        EXPECT_EQ(checker.Calls, c.calls) << c.mode;
        EXPECT_EQ(m.LineText(0), c.text) << c.mode;
    }
    // A freed memo is forgotten.
    RecordingChecker checker;
    {
        TZedMemoModel m;
        m.SetMemoChecker(&checker);
        EXPECT_EQ(checker.Memo(), &m);
    }
    EXPECT_EQ(checker.Memo(), nullptr);
}

TEST(Markers, QueriesAndMovesWithTheLines)
{
    TZedMemoModel m;
    m.SetLines({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    TZedMarkers& mk = m.MarkerList().Markers();
    TZedMarker* first = mk.Add();
    first->LineNumber = 1;
    first->ImageIndex = 3;
    first->Text = QStringLiteral("one");
    TZedMarker* second = mk.Add();
    second->LineNumber = 3;
    EXPECT_TRUE(mk.HasMarkers());
    EXPECT_TRUE(mk.MarkerOnLine(1));
    EXPECT_FALSE(mk.MarkerOnLine(2));
    EXPECT_TRUE(mk.MarkerBelowLine(2));
    EXPECT_FALSE(mk.MarkerBelowLine(3));
    EXPECT_EQ(mk.ImageIndexOfLine(1), 3);
    EXPECT_EQ(mk.ImageIndexOfLine(0), -1);
    EXPECT_EQ(mk.MarkerOfLine(1)->DisplayName(), QStringLiteral("one"));
    m.MarkerList().UseDefaultMarkerImageIndex = true;
    m.MarkerList().DefaultMarkerImageIndex = 7;
    EXPECT_EQ(m.MarkerList().DrawIndexOfLine(1), 7);
    EXPECT_EQ(m.MarkerList().DrawIndexOfLine(2), -1);

    // Enter on line 1 with a marker below: markers on line 1 and below move down.
    m.SetCaret({1, 1});
    m.NewLine();
    EXPECT_EQ(first->LineNumber, 2);
    EXPECT_EQ(second->LineNumber, 4);
    // A Backspace joining line 2 into line 1 moves them back up.
    m.SetCaret({0, 2});
    m.Backspace();
    EXPECT_EQ(first->LineNumber, 1);
    EXPECT_EQ(second->LineNumber, 3);
    // Insert toggles overwrite and moves nothing.
    m.SetCaret({0, 1});
    m.ToggleOverwrite();
    EXPECT_EQ(first->LineNumber, 1);
    // Ctrl+Y removes the line's marker.
    m.DeleteLine();
    EXPECT_EQ(mk.Count(), 1);
    EXPECT_EQ(mk.Items(0), second);
}

TEST(MemoSource, AttachedMemosShareTextHistoryAndHandOverTheirState)
{
    TZedMemoSource source;
    source.SetLines({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    TZedMemoModel m1, m2;
    m1.SetMemoSource(&source);
    EXPECT_EQ(m1.Lines().Strings(), source.Lines().Strings());
    m1.SetCaret({2, 1});
    m1.TypeChar(QLatin1Char('X'));  // a record made in memo 1
    m1.SetSelection({0, 2}, {3, 2});
    m1.SetBookmark(4, 2);
    m1.ReadOnly = true;

    m2.SetMemoSource(&source);
    EXPECT_EQ(source.AttachedMemo(), &m2);
    EXPECT_EQ(m2.Lines().Strings(), (QStringList{QStringLiteral("one"), QStringLiteral("twXo"), QStringLiteral("three")}));
    EXPECT_EQ(m1.Lines().Strings(), m2.Lines().Strings());  // memo 1 still shows the text
    EXPECT_EQ(m2.Caret(), m1.Caret());
    EXPECT_EQ(m2.SelStartPos(), (TZedPos{0, 2}));
    EXPECT_EQ(m2.SelEndPos(), (TZedPos{3, 2}));
    EXPECT_EQ(m2.Bookmarks()[4], 2);
    EXPECT_TRUE(m2.ReadOnly);
    EXPECT_TRUE(source.ReadOnly());
    source.SetReadOnly(false);  // through the attached memo
    EXPECT_FALSE(m2.ReadOnly);

    ASSERT_TRUE(m2.CanUndo());
    m2.Undo();  // undoes the record made in memo 1
    EXPECT_EQ(m2.LineText(1), QStringLiteral("two"));

    // Freeing the attached memo detaches it; the next memo gets its state.
    {
        TZedMemoModel m3;
        m3.SetMemoSource(&source);
        m3.SetCaret({1, 0});
    }
    EXPECT_EQ(source.AttachedMemo(), nullptr);
    m2.SetMemoSource(nullptr);  // back to its own text
    EXPECT_EQ(m2.Lines().Strings(), QStringList{QString()});
    m2.SetMemoSource(&source);
    EXPECT_EQ(m2.Caret(), (TZedPos{1, 0}));
    EXPECT_EQ(m2.LineText(2), QStringLiteral("three"));
}
