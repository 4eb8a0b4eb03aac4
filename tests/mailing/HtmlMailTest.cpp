// HTML mails: the template layout the builder makes, pictures as "cid:" parts, the plain-text
// alternative, the missing-picture question, and a whole HTML mailing to the SMTP peer.
#include <gmime/gmime.h>

#include "MailTestUtil.h"
#include "mailing/HtmlMailBuilder.h"
#include "mailing/HtmlMailText.h"
#include "mailing/MyMessage.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace mailtest;

namespace {

const QByteArray kPng = QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray(300, '\x01');
const QByteArray kGif = QByteArray("GIF89a\x01\x00\x01\x00", 10) + QByteArray(200, '\x02');

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// "type (parent)" of every part, in order.
QStringList Layout(const TMyMessage& m)
{
    QStringList out;
    for (const TMessagePart& p : m.MessageParts)
        out.append(QStringLiteral("%1 (%2)").arg(p.IsText ? p.ContentType : QStringLiteral("file"), QString::number(p.ParentPart)));
    return out;
}

struct Asker {
    QStringList questions;
    bool answer = true;
    TAskYesNo fn()
    {
        return [this](const QString& q) {
            questions.append(q);
            return answer;
        };
    }
};

} // namespace

TEST(HtmlMailBuilder, OnePictureTwiceGivesOnePartAndTheCountersFirstId)
{
    qlytest::TempDir dir;
    const QString pic = dir.file("bild.png"), other = dir.file("zwei.gif");
    WriteFile(pic, kPng);
    WriteFile(other, kGif);
    const QString html = QStringLiteral(
        "<html><head><title>Titel</title><style>p { color: red; }</style></head><body>"
        "<p>Hallo&nbsp;Welt &amp; Co</p><img src=\"%1\"><p>&#228;&#x41;</p><img src='%1'><img src=%2></body></html>")
                             .arg(pic, other);
    Asker ask;
    TMyMessage m;
    BuildHtmlMessage(m, {html}, 0, ask.fn(), 100);

    EXPECT_TRUE(ask.questions.isEmpty());
    EXPECT_EQ(m.ContentType, "multipart/related");
    EXPECT_EQ(Layout(m), (QStringList{"multipart/alternative (-1)", "text/plain (0)", "text/html (0)", "file (-1)",
                                      "file (-1)"}));
    // the second reference to the same file still advances the counter
    EXPECT_EQ(m.MessageParts[3].ContentID, "<100>");
    EXPECT_EQ(m.MessageParts[3].FileName, pic);
    EXPECT_EQ(m.MessageParts[3].ContentType, "image/png");
    EXPECT_EQ(m.MessageParts[4].ContentID, "<102>");
    EXPECT_EQ(m.MessageParts[4].ContentType, "image/gif");
    EXPECT_EQ(m.fImages.Count(), 2);

    const QString out = m.MessageParts[2].Body;
    EXPECT_EQ(out.count("src=\"cid:100\""), 1);
    EXPECT_EQ(out.count("src='cid:100'"), 1);
    EXPECT_TRUE(out.contains("src=cid:102>"));
    EXPECT_FALSE(out.contains(dir.file(""))) << "no local path left";

    EXPECT_EQ(m.MessageParts[1].Body.split("\r\n"),
              (QStringList{htmlmail::kPlainTextBanner, "", "Hallo Welt & Co", QString::fromUtf8("äA")}));
    EXPECT_EQ(htmlmail::kPlainTextBanner,
              " - This mail is a HTML mail. Not all elements could be shown in plain text mode. -");
}

TEST(HtmlMailBuilder, LayoutForPicturesAndAttachments)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("p.png"), kPng);
    WriteFile(dir.file("a1.pdf"), "%PDF-1.4");
    WriteFile(dir.file("a2.txt"), "text");
    struct Case {
        int pictures, attachments;
        const char* type;
        QStringList layout;
    };
    const Case cases[] = {
        {0, 0, "multipart/alternative", {"text/plain (-1)", "text/html (-1)"}},
        {1, 0, "multipart/related",
         {"multipart/alternative (-1)", "text/plain (0)", "text/html (0)", "file (-1)"}},
        {0, 2, "multipart/mixed",
         {"multipart/alternative (-1)", "text/plain (0)", "text/html (0)", "file (-1)", "file (-1)"}},
        // the alternative sits inside the related container, beside the pictures
        {1, 2, "multipart/mixed",
         {"multipart/related (-1)", "multipart/alternative (0)", "text/plain (1)", "text/html (1)", "file (0)",
          "file (-1)", "file (-1)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 pictures, %2 attachments").arg(c.pictures).arg(c.attachments).toStdString());
        const QString html = c.pictures ? QStringLiteral("<p>x</p><img src=\"%1\">").arg(dir.file("p.png"))
                                        : QStringLiteral("<p>x</p>");
        const QStringList attachments =
            c.attachments ? QStringList{dir.file("a1.pdf"), dir.file("a2.txt")} : QStringList();
        TMyMessage m;
        BuildHtmlMessage(m, {html}, int(attachments.size()), Asker().fn(), 7);
        m.AddAttachments(attachments);
        EXPECT_EQ(m.ContentType, c.type);
        EXPECT_EQ(Layout(m), c.layout);
        if (c.pictures) {
            EXPECT_EQ(m.MessageParts[c.attachments ? 4 : 3].ContentID, "<7>");
        }
    }
}

TEST(HtmlMailBuilder, PictureThatCannotBeEmbeddedAsksAndNoStopsTheBuild)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("bild.png"), kPng);
    WriteFile(dir.file("geheim.png"), "not a picture at all");  // a picture name is not enough
    struct Case {
        const char* name;
        QString html;
        QString source;
    };
    const Case cases[] = {
        {"missing file", QStringLiteral("<img src=\"%1\">").arg(dir.file("fehlt.png")), dir.file("fehlt.png")},
        {"no picture", QStringLiteral("<img src=\"%1\">").arg(dir.file("geheim.png")), dir.file("geheim.png")},
        {"other case", QStringLiteral("<img src=\"%1\">").arg(dir.file("BILD.PNG")), dir.file("BILD.PNG")},
        {"no src", QStringLiteral("<img alt=\"x\">"), QString()},
        {"capital scheme", QStringLiteral("<img src=\"HTTP://example.org/a.png\">"),
         QStringLiteral("HTTP://example.org/a.png")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Asker no;
        no.answer = false;
        TMyMessage refused;
        try {
            BuildHtmlMessage(refused, {c.html}, 0, no.fn(), 1);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), "Ein Bild konnte nicht hinzugefügt werden:  " + c.source);
        }
        EXPECT_EQ(no.questions, QStringList{QStringLiteral("Das Bild \"") + c.source
                                            + QStringLiteral("\" konnte nicht hinzugefügt werden. Möchten Sie den "
                                                             "Vorgang fortsetzen?")});

        Asker yes;
        TMyMessage kept;
        BuildHtmlMessage(kept, {c.html}, 0, yes.fn(), 1);
        EXPECT_EQ(yes.questions.size(), 1);
        EXPECT_EQ(kept.ContentType, "multipart/alternative");
        EXPECT_EQ(kept.MessageParts.size(), 2);
        EXPECT_EQ(kept.MessageParts[1].Body, c.html) << "the reference stays as written";
    }
}

TEST(HtmlMailBuilder, UrlsAndDataSourcesNeedNoQuestionAndOnlyExactSourcesAreRewritten)
{
    qlytest::TempDir dir;
    const QString pic = dir.file("a.png");
    WriteFile(pic, kPng);
    const QString remote = QStringLiteral(
        "<body style=\"background-color: red\"><img src=\"http://x.de/a.png\"><img src=\"https://x.de/b.png\">"
        "<img src=\"ftp://x.de/c.png\"><img src=\"data:image/png;base64,iVBORw0KGgo=\">"
        "<table><tr><td background=\"https://x.de/bg.gif\">t</td></tr></table>");
    // the picture's path also stands in a link, in its text and inside another attribute
    const QString local = QStringLiteral("<a href=\"%1\">%1</a><img data-src=\"%1\" src=\"%1\"></body>").arg(pic);
    Asker ask;
    TMyMessage m;
    BuildHtmlMessage(m, {remote + local}, 0, ask.fn(), 5);
    EXPECT_TRUE(ask.questions.isEmpty());
    ASSERT_EQ(m.MessageParts.size(), 4);
    EXPECT_EQ(m.MessageParts[2].Body,
              remote + QStringLiteral("<a href=\"%1\">%1</a><img data-src=\"%1\" src=\"cid:5\"></body>").arg(pic));
    EXPECT_EQ(m.MessageParts[3].FileName, pic);
}

TEST(HtmlMailBuilder, PlaceholdersAreFilledAlsoInTheirEscapedHtmlForm)
{
    TMyMessage m;
    BuildHtmlMessage(m, {QStringLiteral("<p>%Firma &amp; Co% und %firma & co% bei %Ort%</p>")}, 0, Asker().fn(), 1);
    m.Subject = QStringLiteral("%Firma & Co%");
    m.SaveTemplates();
    ReplacePlaceholder(m, QStringLiteral("Firma & Co"), QStringLiteral("<Müller & Söhne>"));
    ReplacePlaceholder(m, QStringLiteral("Ort"), QStringLiteral("%Firma & Co%"));
    EXPECT_EQ(m.Subject, QString::fromUtf8("<Müller & Söhne>"));
    EXPECT_EQ(m.MessageParts[1].Body,
              QString::fromUtf8("<p>&lt;Müller &amp; Söhne&gt; und &lt;Müller &amp; Söhne&gt; bei %Firma &amp; Co%</p>"));
    // the plain text took the decoded "&" and gets the raw value
    EXPECT_EQ(m.MessageParts[0].Body.split("\r\n").last(),
              QString::fromUtf8("<Müller & Söhne> und <Müller & Söhne> bei %Firma & Co%"));
}

// ---- a whole HTML mailing --------------------------------------------------------------------

namespace {

// The MIME tree as text: "type[child,child]".
QString Tree(GMimeObject* o)
{
    char* t = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(o));
    QString out = QString::fromUtf8(t);
    g_free(t);
    if (GMIME_IS_MULTIPART(o)) {
        QStringList children;
        GMimeMultipart* mp = GMIME_MULTIPART(o);
        for (int i = 0; i < g_mime_multipart_get_count(mp); ++i)
            children.append(Tree(g_mime_multipart_get_part(mp, i)));
        out += QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return out;
}

QString MessageTree(const QByteArray& raw)
{
    ParseMail(QByteArray());  // initialises GMime
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!msg)
        return QString();
    const QString out = Tree(g_mime_message_get_mime_part(msg));
    g_object_unref(msg);
    return out;
}

} // namespace

TEST(HtmlMailBuilder, HtmlMailingWithTwoPicturesAndAnAttachmentArrivesNested)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("logo.png"), kPng);
    WriteFile(dir.file("foto.gif"), kGif);
    WriteFile(dir.file("preise.pdf"), "%PDF-1.4 preise");
    SmtpPeer peer;
    ListDb list({QStringLiteral("Firma & Co")});
    list.Add({"eva@x.de", "Muster", "Eva", "Muster & Partner"});
    list.Add({"tom@x.de", "Tal", "Tom", "<Tal>"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.sender.Threads = 2;
    rig.content.htmlMode = true;
    rig.content.subject = QStringLiteral("Angebot für %Last Name%");
    rig.content.html = QStringLiteral(
        "<html><head><style>body { font-family: Arial; }</style></head><body>"
        "<p>Hallo %First Name% von %Firma &amp; Co%</p><img src=\"%1\"><table><tr><td background=\"%2\">"
        "Bild</td></tr></table><img src=\"%1\"></body></html>")
                            .arg(dir.file("logo.png"), dir.file("foto.gif"));
    rig.content.attachments = {dir.file("preise.pdf")};
    rig.RunToEnd();

    EXPECT_EQ(rig.Lines().last(), "2 Mail(s) gesendet.");
    EXPECT_EQ(list.Statuses(), (QList<int>{1, 1}));
    ASSERT_EQ(peer.messageFiles().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QByteArray raw = peer.raw(i);
        EXPECT_EQ(MessageTree(raw),
                  "multipart/mixed[multipart/related[multipart/alternative[text/plain,text/html],image/png,image/gif],"
                  "application/pdf]");
        QByteArray unfolded = raw;
        unfolded.replace("\r\n\t", " ").replace("\r\n ", " ");
        EXPECT_TRUE(QRegularExpression("Content-Type: multipart/related;[^\r\n]*type=\"?multipart/alternative")
                        .match(QString::fromLatin1(unfolded))
                        .hasMatch())
            << "the nested related container names its root's type";
        const ParsedMail mail = ParseMail(raw);
        ASSERT_EQ(mail.parts.size(), 5);
        const ParsedPart& plain = mail.parts[0];
        const ParsedPart& html = mail.parts[1];
        const bool eva = mail.to.contains("eva@x.de");
        EXPECT_EQ(plain.text.split(QRegularExpression("\r?\n")),
                  (QStringList{htmlmail::kPlainTextBanner, "",
                               eva ? "Hallo Eva von Muster & Partner" : "Hallo Tom von <Tal>", "Bild"}));
        EXPECT_FALSE(plain.text.contains("font-family"));
        EXPECT_TRUE(html.text.contains(eva ? "Hallo Eva von Muster &amp; Partner" : "Hallo Tom von &lt;Tal&gt;"))
            << html.text.toStdString();
        EXPECT_FALSE(html.text.contains(dir.file("")));
        EXPECT_EQ(mail.parts[2].data, kPng);
        EXPECT_EQ(mail.parts[3].data, kGif);
        EXPECT_EQ(mail.parts[4].data, "%PDF-1.4 preise");
        EXPECT_EQ(mail.parts[4].fileName, "preise.pdf");
        for (int p = 2; p <= 3; ++p) {
            ASSERT_FALSE(mail.parts[p].contentId.isEmpty());
            EXPECT_EQ(html.text.count("\"cid:" + mail.parts[p].contentId + "\""), p == 2 ? 2 : 1);
        }
    }
}

TEST(HtmlMailBuilder, RefusedMissingPictureStopsTheMailingAtItsStart)
{
    SmtpPeer peer;
    ListDb list;
    list.Add({"eva@x.de", "Muster", "Eva"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.content.htmlMode = true;
    rig.content.html = QStringLiteral("<img src=\"/nirgends/bild.png\">");
    rig.answer = false;
    rig.job->ButtonSendMailClick();
    EXPECT_FALSE(rig.job->Running());
    EXPECT_EQ(rig.questions.last(), QString::fromUtf8("Das Bild \"/nirgends/bild.png\" konnte nicht hinzugefügt werden. "
                                                      "Möchten Sie den Vorgang fortsetzen?"));
    const QStringList lines = rig.Lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.at(lines.size() - 2), QString::fromUtf8(" Fehler: Ein Bild konnte nicht hinzugefügt werden:  "
                                                            "/nirgends/bild.png"));
    EXPECT_EQ(lines.last(), " Anwendung abgebrochen.");
    EXPECT_EQ(list.Statuses(), QList<int>{0});
    EXPECT_EQ(peer.count("connect"), 0);
}

// Picture files whose names hold "&", a quote or a non-breaking space, written as a browser
// writes them into the HTML (as character references): each goes out as an inline part, no
// question is asked and no local path is left in the mail. The related container names the
// type of its root part.
TEST(HtmlMailBuilder, PictureSourcesWithCharacterReferencesAreEmbedded)
{
    qlytest::TempDir dir;
    const QStringList names{QString::fromUtf8("Brot & Butter.png"), QString::fromUtf8("Sag \"Käse\".gif"),
                            QString::fromUtf8("Bild\u00A0eins.png"), QString::fromUtf8("Tom's & Jerry's.png")};
    for (const QString& name : names)
        WriteFile(dir.file(name), name.endsWith(".gif") ? kGif : kPng);
    const QString folder = dir.path() + QLatin1Char('/');
    const QString html = QStringLiteral("<html><head></head><body><p>Bilder</p>"
                                        "<img src=\"%1Brot &amp; Butter.png\"><img src=\"%1Sag &quot;K&auml;se&quot;.gif\">"
                                        "<img src=\"%1Bild&nbsp;eins.png\"><img src='%1Tom&#39;s &#x26; Jerry&apos;s.png'>"
                                        "</body></html>")
                             .arg(folder);
    SmtpPeer peer;
    ListDb list;
    list.Add({"eva@x.de", "Muster", "Eva"});
    JobRig rig(list);
    rig.sender.SmtpServer = peer.server();
    rig.content.htmlMode = true;
    rig.content.html = html;
    rig.RunToEnd();
    EXPECT_TRUE(rig.questions.isEmpty()) << rig.questions.join('\n').toStdString();
    EXPECT_EQ(rig.Lines().last(), "1 Mail(s) gesendet.");
    ASSERT_EQ(peer.messageFiles().size(), 1);
    const QByteArray raw = peer.raw(0);
    const ParsedMail mail = ParseMail(raw);
    EXPECT_EQ(mail.topType, "multipart/related");
    ASSERT_EQ(mail.parts.size(), 6);
    const QString sentHtml = mail.parts[1].text;
    EXPECT_FALSE(sentHtml.contains(folder)) << sentHtml.toStdString();
    EXPECT_EQ(sentHtml.count("src=\"cid:"), 3);
    EXPECT_EQ(sentHtml.count("src='cid:"), 1);
    for (int i = 2; i < 6; ++i) {
        EXPECT_FALSE(mail.parts[i].contentId.isEmpty());
        EXPECT_TRUE(sentHtml.contains("cid:" + mail.parts[i].contentId)) << mail.parts[i].contentId.toStdString();
        EXPECT_EQ(mail.parts[i].data, i == 3 ? kGif : kPng);
    }
    QByteArray unfolded = raw;
    unfolded.replace("\r\n\t", " ").replace("\r\n ", " ");
    EXPECT_TRUE(QRegularExpression("Content-Type: multipart/related;[^\r\n]*type=\"?multipart/alternative")
                    .match(QString::fromLatin1(unfolded))
                    .hasMatch())
        << raw.left(400).toStdString();
}
