#include "TestUtil.h"

#include "htmleditor/ORVHTMLEditor.h"
#include "htmleditor/memo/ZedMemo.h"

#include <QComboBox>
#include <QFile>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QString Html(TORVHTMLEditor& e) { return e.GetHTML().value(0); }

QString ReadFile(const QString& name)
{
    QFile f(name);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

struct Editor : ::testing::Test {
    TORVHTMLEditor editor;
    int changes = 0;
    QStringList errors;
    void SetUp() override
    {
        editor.ShowSourceCode = true; // as the content page has it
        editor.OnChange = [this] { ++changes; };
        editor.ShowError = [this](const QString& t) { errors << t; };
        editor.resize(760, 320);
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    }
    // Selects the first occurrence of a word in the body.
    void SelectWord(const QString& word)
    {
        editor.RunScript(QStringLiteral(
            "(function (w) { var t = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), n;"
            " while ((n = t.nextNode())) { var i = n.data.indexOf(w); if (i >= 0) {"
            "  var r = document.createRange(); r.setStart(n, i); r.setEnd(n, i + w.length);"
            "  var s = window.getSelection(); s.removeAllRanges(); s.addRange(r); return; } } })(%1)")
                             .arg(TORVHTMLEditor::JsString(word)));
    }
};

TEST_F(Editor, EmptyTextGivesTheEmptySkeletonAndOneResultString)
{
    editor.SetHTML(QString(), false);
    QStringList& first = editor.GetHTML();
    EXPECT_EQ(first.size(), 1);
    EXPECT_EQ(first.value(0).toLower(), QStringLiteral("<html><head></head><body></body></html>"));
    EXPECT_EQ(editor.Memo()->Lines().Text().trimmed(), QStringLiteral("<HTML><HEAD></HEAD><BODY></BODY></HTML>"));
    QStringList& second = editor.GetHTML();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.size(), 1);
}

TEST_F(Editor, TheViewTakesNoDrops)
{
    editor.SetHTML(QStringLiteral("<p>Text</p>"), false);
    EXPECT_FALSE(editor.Browser->acceptDrops());
    ASSERT_NE(editor.Browser->focusProxy(), nullptr);
    EXPECT_FALSE(editor.Browser->focusProxy()->acceptDrops());
}

TEST_F(Editor, AppendAddsBehindTheDocument)
{
    editor.SetHTML(QStringLiteral("<p>eins</p>"), false);
    editor.SetHTML(QStringLiteral("<p>zwei</p>"), true);
    const QString html = Html(editor);
    EXPECT_TRUE(html.contains(QStringLiteral("<p>eins</p><p>zwei</p>"), Qt::CaseInsensitive)) << html.toStdString();
    editor.SetHTML(QStringLiteral("<p>drei</p>"), false);
    EXPECT_FALSE(Html(editor).contains(QStringLiteral("eins")));
}

TEST_F(Editor, ToolBarItemsHintsAndDividers)
{
    struct Item { QString caption, hint; };
    // "" caption: a divider; "#": a combo (hint given).
    const QList<Item> expected = {
        {"copy", "Kopieren"}, {"cut", "Ausschneiden"}, {"paste", "Einfügen"}, {"", ""},
        {"bold", "Fett"}, {"italic", "Kursiv"}, {"underline", "Unterstrichen"}, {"", ""},
        {"#", "Schriftart"}, {"#", "Schriftgröße"}, {"ForeColor", "Schriftfarbe"}, {"", ""},
        {"JustifyLeft", "Linksbündig"}, {"JustifyCenter", "Zentriert"}, {"JustifyRight", "Rechtsbündig"}, {"", ""},
        {"InsertUnorderedList", "Aufzählungszeichen"}, {"InsertOrderedList", "Nummerierung"}, {"", ""},
        {"CreateLink", "Link einfügen/bearbeiten"}, {"", ""}, {"InsertImage", "Bid einfügen/bearbeiten"}, {"", ""},
        {"HTMLCode", "Quelltext"}};
    const auto& items = editor.ToolItems();
    ASSERT_EQ(int(items.size()), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const auto& it = items[size_t(i)];
        SCOPED_TRACE(i);
        if (expected[i].caption.isEmpty()) {
            EXPECT_EQ(it.Kind, TORVHTMLEditor::TItemKind::Divider);
            EXPECT_EQ(it.Widget->width(), 10);
        } else if (expected[i].caption == "#") {
            EXPECT_EQ(it.Kind, TORVHTMLEditor::TItemKind::Combo);
            EXPECT_EQ(it.Hint, expected[i].hint);
        } else {
            EXPECT_EQ(it.Caption, expected[i].caption);
            EXPECT_EQ(it.Hint, expected[i].hint);
            EXPECT_EQ(it.Widget->toolTip(), expected[i].hint);
        }
    }
    EXPECT_TRUE(editor.ToolButton("bold")->isCheckable());
    EXPECT_FALSE(editor.ToolButton("copy")->isCheckable());
    QStringList sizes;
    for (int i = 0; i < editor.FontSizeCombo()->count(); ++i)
        sizes << editor.FontSizeCombo()->itemText(i);
    EXPECT_EQ(sizes, QStringList({"1", "2", "3", "4", "5", "6", "7"}));
    QComboBox* names = editor.FontNameCombo();
    ASSERT_GE(names->count(), 2);
    EXPECT_EQ(names->itemText(names->count() - 2), QStringLiteral("Helvetica"));
    EXPECT_EQ(names->itemText(names->count() - 1), QStringLiteral("Times New Roman"));
}

TEST(EditorToolBar, SecureFontsAndFileOperations)
{
    TORVHTMLEditor e;
    e.SecureFontsOnly = true;
    e.ShowFileOperations = true;
    e.ToolBarButtons = EditorButton(ebNew) | EditorButton(ebSave) | EditorButton(ebFont);
    e.CreateWnd();
    QStringList fonts;
    for (int i = 0; i < e.FontNameCombo()->count(); ++i)
        fonts << e.FontNameCombo()->itemText(i);
    EXPECT_EQ(fonts, QStringList({"Arial", "Helvetica", "Times New Roman"}));
    const auto& items = e.ToolItems();
    ASSERT_EQ(items.size(), 5u); // new, save, divider, font combo, divider
    EXPECT_EQ(items[0].Caption, QStringLiteral("new"));
    EXPECT_EQ(items[0].Hint, QStringLiteral("Eine neue HTML Mail erstellen."));
    EXPECT_EQ(items[1].Caption, QStringLiteral("SaveAs"));
    EXPECT_EQ(items[2].Kind, TORVHTMLEditor::TItemKind::Divider);
    EXPECT_EQ(items[3].Kind, TORVHTMLEditor::TItemKind::Combo);
    EXPECT_EQ(e.FontSizeCombo(), nullptr);
    EXPECT_EQ(e.ToolButton("HTMLCode"), nullptr);
}

TEST_F(Editor, BoldOnASelectedWordAndTheButtonShowsDown)
{
    editor.SetHTML(QStringLiteral("<p>Hallo Welt</p>"), false);
    SelectWord("Welt");
    changes = 0;
    QToolButton* bold = editor.ToolButton("bold");
    const int refreshes = editor.ToolBarRefreshCount();
    bold->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.ToolBarRefreshCount() > refreshes; }, 10000));
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("<b>Welt</b>"), Qt::CaseInsensitive)) << Html(editor).toStdString();
    EXPECT_TRUE(bold->isChecked());
    EXPECT_EQ(changes, 1); // a formatting command is a change
}

TEST_F(Editor, SourceViewRoundTripWithAPlaceholder)
{
    editor.SetHTML(QStringLiteral("<p>Hallo </p>"), false);
    QToolButton* source = editor.ToolButton("HTMLCode");
    source->click();
    EXPECT_TRUE(editor.Memo()->isVisible());
    EXPECT_FALSE(editor.Browser->isVisible());
    EXPECT_TRUE(editor.Memo()->Lines().Text().contains(QStringLiteral("<p>Hallo </p>"), Qt::CaseInsensitive));
    EXPECT_FALSE(editor.Memo()->CanUndo());
    // Only copy, cut, paste and the toggle work while the source is shown.
    for (const auto& it : editor.ToolItems()) {
        const bool on = it.Caption == "copy" || it.Caption == "cut" || it.Caption == "paste" || it.Caption == "HTMLCode";
        EXPECT_EQ(it.Widget->isEnabled(), on) << it.Caption.toStdString();
    }
    // Into the memo at its caret: the start of the text.
    changes = 0;
    editor.InsertAtCaret(QStringLiteral("%Vorname%"));
    EXPECT_TRUE(editor.Memo()->Lines().Text().startsWith(QStringLiteral("%Vorname%")));
    EXPECT_GE(changes, 1);
    // The memo's edit is part of the HTML even before the view is switched back.
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("%Vorname%")));
    source->click();
    EXPECT_TRUE(editor.Browser->isVisible());
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("%Vorname%")));
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("<p>Hallo </p>"), Qt::CaseInsensitive));
    for (const auto& it : editor.ToolItems())
        EXPECT_TRUE(it.Widget->isEnabled());
}

TEST_F(Editor, ReplacingTheMemoTextClearsItsUndoHistory)
{
    editor.SetHTML(QStringLiteral("<p>alt</p>"), false);
    editor.ToolButton("HTMLCode")->click();
    editor.Memo()->InsertText(QStringLiteral("x"));
    EXPECT_TRUE(editor.Memo()->CanUndo());
    editor.SetHTML(QStringLiteral("<p>neu</p>"), false);
    EXPECT_FALSE(editor.Memo()->CanUndo());
    // Ctrl+Z replays nothing of the old text into the new one.
    editor.Memo()->setFocus();
    QTest::keyClick(editor.Memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.Memo()->Lines().Text().trimmed(), QStringLiteral("<p>neu</p>"));
    // Ctrl+Z undoes the memo's own last edit; Z alone types the letter.
    QTest::keyClick(editor.Memo(), Qt::Key_Z);
    EXPECT_TRUE(editor.Memo()->Lines().Text().contains(QStringLiteral("z"), Qt::CaseSensitive));
    QTest::keyClick(editor.Memo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.Memo()->Lines().Text().trimmed(), QStringLiteral("<p>neu</p>"));
}

TEST_F(Editor, PasteWhileTheSourceIsShownKeepsTheBody)
{
    editor.SetHTML(QStringLiteral("<p>Text der Mail</p>"), false);
    editor.ToolButton("HTMLCode")->click();
    editor.SetHTML(QStringLiteral("eingefügt"), true);
    const QString memo = editor.Memo()->Lines().Text();
    EXPECT_TRUE(memo.contains(QStringLiteral("Text der Mail"))) << memo.toStdString();
    EXPECT_TRUE(memo.contains(QStringLiteral("eingefügt")));
    editor.ToolButton("HTMLCode")->click();
    const QString html = Html(editor);
    EXPECT_TRUE(html.contains(QStringLiteral("Text der Mail")));
    EXPECT_TRUE(html.contains(QStringLiteral("eingefügt")));
}

TEST_F(Editor, PlaceholderIsInsertedAsTextAtTheCaretOrAtTheEnd)
{
    editor.SetHTML(QStringLiteral("<p>Hallo Welt</p>"), false);
    editor.RunScript("window.getSelection().removeAllRanges()");
    changes = 0;
    editor.InsertAtCaret(QStringLiteral("%Firma <b> & Co%"));
    EXPECT_EQ(changes, 1);
    QString html = Html(editor);
    EXPECT_TRUE(html.contains(QStringLiteral("%Firma &lt;b&gt; &amp; Co%"))) << html.toStdString();
    EXPECT_FALSE(html.contains(QStringLiteral("<b>"), Qt::CaseInsensitive));
    EXPECT_LT(html.indexOf(QStringLiteral("Welt")), html.indexOf(QStringLiteral("%Firma")));
    // With a selection: the selection is replaced.
    SelectWord("Welt");
    editor.InsertAtCaret(QStringLiteral("%Name%"));
    html = Html(editor);
    EXPECT_TRUE(html.contains(QStringLiteral("Hallo %Name%"))) << html.toStdString();
    EXPECT_FALSE(html.contains(QStringLiteral("Welt")));
}

TEST_F(Editor, LoadErrorsAreShownAndTheDocumentStays)
{
    editor.SetHTML(QStringLiteral("<p>bleibt</p>"), false);
    editor.LoadFromFile(QStringLiteral("/nicht/vorhanden.html"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Fehler: ")));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("/nicht/vorhanden.html")));
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("bleibt")));

    qlytest::TempDir dir;
    QFile f(dir.file("mail.html"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<p>Gr\xfc\xdf" "e aus der Datei</p>"); // Windows-1252
    f.close();
    editor.HTMLHeader = QStringList{QStringLiteral("<!-- Kopf -->")};
    editor.LoadFromFile(dir.file("mail.html"));
    EXPECT_TRUE(Html(editor).contains(QStringLiteral("Grüße aus der Datei")));
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(Editor, SaveAsksBeforeOverwritingAndReportsFailure)
{
    qlytest::TempDir dir;
    const QString name = dir.file("mail.html");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("alt");
    f.close();
    editor.SetHTML(QStringLiteral("<p>neu</p>"), false);
    editor.AskBeforeSave = true;
    QString question;
    editor.AskOverwrite = [&](const QString& q) { question = q; return false; };
    EXPECT_FALSE(editor.SaveToFile(name));
    EXPECT_EQ(question, QStringLiteral("Die Datei \"") + name + QStringLiteral("\" existiert bereits. Möchten Sie sie überschreiben?"));
    EXPECT_EQ(ReadFile(name), QStringLiteral("alt"));

    editor.AskOverwrite = [&](const QString&) { return true; };
    EXPECT_TRUE(editor.SaveToFile(name));
    EXPECT_TRUE(ReadFile(name).contains(QStringLiteral("<p>neu</p>"), Qt::CaseInsensitive));
    EXPECT_TRUE(ReadFile(name).endsWith('\n'));

    EXPECT_FALSE(editor.SaveToFile(dir.file("kein/ordner.html")));
}

TEST_F(Editor, AClickInTheDocumentRaisesOnChangeOnce)
{
    editor.SetHTML(QStringLiteral("<p>Klick</p>"), false);
    changes = 0;
    QWidget* target = editor.Browser->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(changes, 1);
}

TEST_F(Editor, LargeDocumentsLoad)
{
    QString big = QStringLiteral("<p>");
    big += QString(3 * 1024 * 1024, QLatin1Char('x'));
    big += QStringLiteral("</p><p>Ende</p>");
    editor.SetHTML(big, false);
    const QString html = Html(editor);
    EXPECT_GT(html.size(), 3 * 1024 * 1024);
    EXPECT_TRUE(html.contains(QStringLiteral("<p>Ende</p>"), Qt::CaseInsensitive));
}

} // namespace
