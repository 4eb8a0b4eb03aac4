// What the HTML editor does with a document that is not the program's own: its scripts never run
// (loaded files, stored mails, pasted HTML), pictures given relative to a loaded file are shown
// and go out with the mail.
#include "TestUtil.h"

#include "htmleditor/ORVHTMLEditor.h"
#include "mailing/HtmlMailBuilder.h"
#include "mailing/MyMessage.h"

#include <QFile>
#include <QImage>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct EditorSafety : ::testing::Test {
    qlytest::TempDir dir;
    TORVHTMLEditor editor;
    QStringList errors;
    void SetUp() override
    {
        editor.ShowSourceCode = true;
        editor.ShowError = [this](const QString& t) { errors << t; };
        editor.resize(760, 420);
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
        QImage picture(24, 16, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(picture.save(dir.file("bild.png")));
        ASSERT_TRUE(picture.save(dir.file("Brot & Butter.png")));
        QFile secret(dir.file("geheim.txt"));
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("GEHEIMER INHALT");
    }
    QString WriteFile(const QString& name, const QString& text)
    {
        QFile f(dir.file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return f.fileName();
    }
    // The marker a script of the document would set; empty when none ran.
    QString Marker() { return editor.RunScript("document.documentElement.getAttribute('data-ran') || ''").toString(); }
    // Waits until the picture with the id has loaded (or failed); its width, 0 when not shown.
    int PictureWidth(const QString& id)
    {
        const QString script = QStringLiteral("(function () { var i = document.getElementById(%1);"
                                              " return i && i.complete ? i.naturalWidth : -1; })()")
                                   .arg(TORVHTMLEditor::JsString(id));
        int width = -1;
        (void)QTest::qWaitFor([&] { return (width = editor.RunScript(script).toInt()) >= 0; }, 10000);
        return width;
    }
};

const QString kHostile = QStringLiteral(
    "<html><head><script>document.documentElement.setAttribute('data-ran', 'script');"
    "var x = new XMLHttpRequest(); x.open('GET', 'geheim.txt', false); x.send();"
    "document.body.insertAdjacentText('beforeend', x.responseText);</script></head>"
    "<body onload=\"document.documentElement.setAttribute('data-ran', 'onload')\">"
    "<p>Hallo</p><img id=\"kaputt\" src=\"fehlt.png\" onerror=\"document.documentElement.setAttribute('data-ran', "
    "'onerror')\"><p><a id=\"link\" href=\"javascript:document.documentElement.setAttribute('data-ran', 'link')\" "
    "style=\"font-size: 40px\">Klick mich</a></p><img id=\"bild\" src=\"bild.png\">"
    "<iframe id=\"rahmen\" src=\"geheim.txt\"></iframe><iframe id=\"absolut\" src=\"file:///etc/hostname\"></iframe>"
    "</body></html>");

} // namespace

// A loaded file with a script, an onerror handler, an onload handler and a javascript: link:
// none of them runs, also not when the user clicks the link; the file beside it is not read.
// The editing commands of the program still work.
TEST_F(EditorSafety, ALoadedFileRunsNoScript)
{
    editor.LoadFromFile(WriteFile("mail.html", kHostile));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(PictureWidth("kaputt"), 0);
    EXPECT_EQ(Marker(), QString());
    // a real click on the link
    const QVariantList box = editor.RunScript("(function () { var r = document.getElementById('link')"
                                              ".getBoundingClientRect(); return [r.left + 10, r.top + r.height / 2]; })()")
                                 .toList();
    ASSERT_EQ(box.size(), 2);
    QWidget* target = editor.Browser->focusProxy();
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(box[0].toInt(), box[1].toInt()));
    QTest::qWait(500);
    EXPECT_EQ(Marker(), QString());
    const QString html = editor.GetHTML().value(0);
    EXPECT_FALSE(html.contains("GEHEIMER INHALT"));
    EXPECT_TRUE(html.contains("Hallo"));
    // a local file that is no picture is not read into the page, also not into a frame
    EXPECT_EQ(PictureWidth("bild"), 24);
    const QString framed = editor.RunScript(
        "(function () { var t = ''; document.querySelectorAll('iframe').forEach(function (f) {"
        " try { var d = f.contentDocument; if (d && d.documentElement) t += d.documentElement.innerText; }"
        " catch (e) {} }); return t; })()").toString();
    EXPECT_FALSE(framed.contains("GEHEIMER INHALT")) << framed.toStdString();

    // the program's own commands run in a world of their own
    editor.RunScript("(function () { var p = document.querySelector('p'); var r = document.createRange();"
                     " r.selectNodeContents(p); var s = window.getSelection(); s.removeAllRanges(); s.addRange(r); })()");
    QTest::mouseClick(editor.ToolButton("bold"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.GetHTML().value(0).contains("<b>Hallo</b>"); }, 5000))
        << editor.GetHTML().value(0).toStdString();
}

// A stored mail (set as a whole) and HTML pasted behind the document run no script either.
TEST_F(EditorSafety, StoredAndPastedHtmlRunsNoScript)
{
    editor.SetHTML(kHostile, false);
    EXPECT_EQ(PictureWidth("kaputt"), 0);
    EXPECT_EQ(Marker(), QString());
    editor.SetHTML(QStringLiteral("<p>Eingefügt</p><img id=\"zwei\" src=\"auch-nicht-da.png\" "
                                  "onerror=\"document.documentElement.setAttribute('data-ran', 'paste')\">"),
                   true);
    EXPECT_EQ(PictureWidth("zwei"), 0);
    QTest::qWait(200);
    EXPECT_EQ(Marker(), QString());
    EXPECT_TRUE(editor.GetHTML().value(0).contains(QString::fromUtf8("Eingefügt")));
}

// A picture given relative to the loaded file is shown, and the mail built from the editor's HTML
// carries it (and the one whose name holds "&") as inline parts.
TEST_F(EditorSafety, RelativePicturesOfALoadedFileAreShownAndGoOut)
{
    editor.LoadFromFile(WriteFile("mail.html", QStringLiteral("<html><body><p>Bilder</p><img id=\"bild\" src=\"bild.png\">"
                                                              "<img id=\"brot\" src=\"Brot &amp; Butter.png\"></body></html>")));
    EXPECT_EQ(PictureWidth("bild"), 24);
    EXPECT_EQ(PictureWidth("brot"), 24);
    const QString html = editor.GetHTML().value(0);
    EXPECT_TRUE(html.contains(dir.file("bild.png"))) << html.toStdString();

    TMyMessage message;
    QStringList questions;
    BuildHtmlMessage(message, {html}, 0, [&](const QString& q) {
        questions << q;
        return false;
    });
    EXPECT_TRUE(questions.isEmpty()) << questions.join('\n').toStdString();
    QStringList files;
    for (const TMessagePart& part : message.MessageParts)
        if (!part.IsText)
            files << part.FileName;
    EXPECT_EQ(files, (QStringList{dir.file("bild.png"), dir.file("Brot & Butter.png")}));
    QString sent;
    for (const TMessagePart& part : message.MessageParts)
        if (part.ContentType == "text/html")
            sent = part.Body;
    EXPECT_EQ(sent.count("src=\"cid:"), 2) << sent.toStdString();
    EXPECT_FALSE(sent.contains(dir.path()));
}
