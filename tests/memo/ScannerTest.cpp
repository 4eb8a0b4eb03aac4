// The web styler and the syntax scanner.
#include "htmleditor/memo/ZedMemoModel.h"
#include "htmleditor/memo/ZedScanner.h"
#include "tests/memo/MemoTestUtil.h"

#include <gtest/gtest.h>

namespace {

// Pieces as "kind:text" with the style index for styled kinds, joined by "|".
QString Describe(const QString& line, const std::vector<TZedPiece>& pieces)
{
    static const char* const kinds[] = {"plain", "comment", "string", "number", "keyword", "symbol", "url"};
    QStringList out;
    for (const TZedPiece& p : pieces) {
        QString k = QString::fromLatin1(kinds[p.Kind]);
        if (p.Kind == pkString || p.Kind == pkKeyword || p.Kind == pkSymbol)
            k += QString::number(p.Style);
        out << k + QLatin1Char(':') + line.mid(p.Start, p.Length);
    }
    return out.join(QLatin1Char('|'));
}

struct Fixture {
    TZedWebMemoStyler styler;
    TZedMemoModel memo;
    Fixture() { memo.SetSyntaxStyles(&styler); }
    // Scans lines in order and describes the last one.
    QString Scan(const QStringList& lines)
    {
        const TZedScanner scanner(memo);
        LineStartState state;
        std::vector<TZedPiece> pieces;
        for (const QString& l : lines)
            scanner.ScanLine(l, state, &pieces);
        return Describe(lines.last(), pieces);
    }
};

}  // namespace

TEST(MemoScanner, WebStylerLooksAsDefined)
{
    TZedWebMemoStyler s;
    ASSERT_EQ(s.AllStyles.Count(), 6);
    EXPECT_EQ(s.AllStyles[1]->Info, QStringLiteral("HTML Standard Default"));
    EXPECT_EQ(s.AllStyles[4]->Symbols.length(), 20);
    EXPECT_EQ(s.AllStyles[0]->KeyWords.count(QStringLiteral("WINDOW")), 2);
    EXPECT_EQ(s.Filter, QStringLiteral("HTML Document (*.htm,*.html)|*.htm;*.html"));
    EXPECT_EQ(s.Version(), QStringLiteral("1.0"));
    TZedMemoModel m;
    m.SetSyntaxStyles(&s);  // lists are lower-cased and sorted in place
    EXPECT_TRUE(s.AllStyles[1]->KeyWords.contains(QStringLiteral("table")));
    EXPECT_TRUE(std::is_sorted(s.AllStyles[1]->KeyWords.begin(), s.AllStyles[1]->KeyWords.end()));
    EXPECT_EQ(m.GetVersionString(), QStringLiteral("1.7.0.0 Oct, 2005"));
}

TEST(MemoScanner, LinesCutIntoStyledPieces)
{
    struct Case {
        QStringList lines;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {{"<TABLE>"}, "symbol4:<|keyword1:TABLE|symbol4:>"},
        {{"<table>"}, "symbol4:<|keyword1:table|symbol4:>"},
        {{"if { alert"}, "keyword0:if|symbol4: |keyword0:{|symbol4: |keyword5:alert"},
        {{"k=\"x\" v='y'"}, "plain:k|symbol4:=|string3:\"x\"|symbol4: |plain:v|symbol4:=|string2:'y'"},
        {{"don't stop", "more ' end"}, "string2:more '|symbol4: |plain:end"},
        {{"a <!-- b", "c --> td"}, "comment:c -->|symbol4: |keyword1:td"},
        {{"x // y", "td"}, "keyword1:td"},
        {{"x // y"}, "plain:x|symbol4: |comment:// y"},
        {{"foo // bar --> td"}, "plain:foo|symbol4: |comment:// bar -->|symbol4: |keyword1:td"},
        {{"12px 1.2.3"}, "number:12|plain:px|symbol4: |number:1|symbol4:.|number:2.3"},
        {{"<!--x-->table"}, "comment:<!--x-->|keyword1:table"},
        {{"12<!--x-->table"}, "number:12|comment:<!--x-->|plain:table"},
        {{"<a href=\"http://example.org/x\">"},
         "symbol4:<|keyword1:a|symbol4: |plain:href|symbol4:=|string3:\"|url:http://example.org/x|string3:\"|symbol4:>"},
        {{"href=http://example.org"}, "plain:href|symbol4:=|plain:http|symbol4::|comment://example.org"},
    };
    Fixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.join(QStringLiteral(" / ")).toStdString());
        EXPECT_EQ(f.Scan(c.lines), QString::fromUtf8(c.expected));
    }
}

TEST(MemoScanner, WithoutStylerOrUrlAwareness)
{
    TZedMemoModel m;
    const TZedScanner plain(m);
    LineStartState st;
    std::vector<TZedPiece> pieces;
    plain.ScanLine(QStringLiteral("<b> http://x"), st, &pieces);
    EXPECT_EQ(Describe(QStringLiteral("<b> http://x"), pieces), QStringLiteral("plain:<b> |url:http://x"));
    m.SetUrlAware(false);
    const TZedScanner noUrl(m);
    noUrl.ScanLine(QStringLiteral("<b> http://x"), st, &pieces);
    EXPECT_EQ(Describe(QStringLiteral("<b> http://x"), pieces), QStringLiteral("plain:<b> http://x"));
}

TEST(MemoScanner, StartStateOfALineFollowsACommentOpenedFarAbove)
{
    Fixture f;
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("line %1").arg(i);
    lines[5] = QStringLiteral("text <!-- open");
    f.memo.SetLines(lines);
    EXPECT_TRUE(f.memo.StartStateOfLine(45).InComment);
    EXPECT_FALSE(f.memo.StartStateOfLine(5).InComment);
    // Closing the comment above changes the cached states below.
    f.memo.SetCaret(TZedPos{0, 30});
    f.memo.InsertText(QStringLiteral("-->"));
    EXPECT_FALSE(f.memo.StartStateOfLine(45).InComment);
    EXPECT_TRUE(f.memo.StartStateOfLine(30).InComment);
}
