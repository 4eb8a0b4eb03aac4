// The message template: filling, restoring, copying, file parts and what GMime makes of it.
// GLib headers use "signals" as a name: include them before any Qt header.
#include <gmime/gmime.h>

#include "MailTestUtil.h"
#include "mailing/MyMessage.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

using namespace mailtest;

namespace {

// A small repeatable source of numbers for the generated cases (the same sequence every run).
struct Draw {
    quint32 seed;
    quint32 operator()(quint32 n)
    {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    }
    // Fewer than maxLength characters of alphabet.
    QString Text(const QString& alphabet, int maxLength)
    {
        QString t;
        for (int n = int((*this)(quint32(maxLength))); n > 0; --n)
            t += alphabet.at(int((*this)(quint32(alphabet.size()))));
        return t;
    }
};

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The layout of an HTML mail with pictures and attachments, as the HTML builder makes it.
void BuildRelatedWithAttachment(TMyMessage& m, const QString& image, const QString& attachment)
{
    m.fAttachmentCount = 1;
    m.ContentType = "multipart/mixed";
    m.EnsureRelatedPart();                                  // 0
    m.AddTextPart("multipart/alternative", QString(), -1);  // 1
    m.AddTextPart("text/plain", "Hallo %Name%", 1);         // 2
    m.AddTextPart("text/html", "<p>Hallo %Name%</p><img src=\"cid:4711\">", 1);  // 3
    TAssociativeArray images;
    images.SetValue("4711", image);
    m.AddInlineImages(images);                              // 4
    m.AddAttachments({attachment});                         // 5
}

} // namespace

TEST(MessageTemplate, PlaceholdersAreFilledIgnoringCaseOnlyInTextParts)
{
    TMyMessage m;
    m.Subject = "Für %VORNAME% & %Unbekannt%";
    m.SetPlainTextBody("Hallo %vorname% <%Vorname%>");
    m.AddTextPart("text/html", "<b>%Vorname%</b>");
    m.AddTextPart("multipart/alternative", "%Vorname%");
    m.AddTextPart("text/plain; charset=utf-8", "%Vorname%");
    m.AddAttachments({"/tmp/%Vorname%.pdf"});
    ReplacePlaceholder(m, "Vorname", "Tom & \"Jerry\" <x>");
    EXPECT_EQ(m.Subject, "Für Tom & \"Jerry\" <x> & %Unbekannt%");
    EXPECT_EQ(m.MessageParts[0].Body, "Hallo Tom & \"Jerry\" <x> <Tom & \"Jerry\" <x>>");
    EXPECT_EQ(m.MessageParts[1].Body, "<b>Tom &amp; &quot;Jerry&quot; &lt;x&gt;</b>");
    EXPECT_EQ(m.MessageParts[2].Body, "%Vorname%");
    EXPECT_EQ(m.MessageParts[3].Body, "%Vorname%");
    EXPECT_EQ(m.MessageParts[4].FileName, "/tmp/%Vorname%.pdf");
}

TEST(MessageTemplate, RecordOrderDecidesChainedPlaceholdersAndRestoreUndoesAll)
{
    TMyMessage m;
    m.Subject = "%A%";
    m.SetPlainTextBody("%A% %B%");
    m.SaveTemplates();
    TAssociativeArray record;
    record.SetValue("A", "[%B%]");
    record.SetValue("B", "(%A%)");
    for (int i = 0; i < record.Count(); ++i)
        ReplacePlaceholder(m, record.KeyAt(i), record.ValueAt(i));
    EXPECT_EQ(m.Subject, "[(%A%)]");
    EXPECT_EQ(m.MessageParts[0].Body, "[(%A%)] (%A%)");
    m.RestoreTemplates();
    EXPECT_EQ(m.Subject, "%A%");
    EXPECT_EQ(m.MessageParts[0].Body, "%A% %B%");
}

TEST(MessageTemplate, AttachmentPathsAreComparedExactly)
{
    TMyMessage m;
    m.AddAttachments({"/a/Liste.pdf"});
    m.AddAttachments({});
    EXPECT_EQ(m.fAttachments, QStringList{"/a/Liste.pdf"});
    m.AddAttachments({"/a/Liste.pdf", "/a/liste.pdf"});
    ASSERT_EQ(m.MessageParts.size(), 2);
    EXPECT_EQ(m.MessageParts[1].FileName, "/a/liste.pdf");
    EXPECT_EQ(m.fAttachments, (QStringList{"/a/Liste.pdf", "/a/liste.pdf"}));
}

TEST(MessageTemplate, PicturesGetTheirRealType)
{
    struct Case { QByteArray head; const char* type; };
    const Case cases[] = {
        {QByteArray("\x89PNG\r\n\x1a\n\0\0", 10), "image/png"},
        {"GIF89a....", "image/gif"},
        {"GIF87a....", "image/gif"},
        {"\xff\xd8\xff\xe0..JFIF", "image/jpeg"},
        {"BM\x36\x00\x00\x00", "image/bmp"},
        {QByteArray("RIFF\x10\x00\x00\x00WEBPVP8 ", 16), "image/webp"},
        {"<svg>", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageContentTypeFromHeader(c.head), c.type) << c.type;

    qlytest::TempDir dir;
    WriteFile(dir.file("bild.jpg"), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x'));
    TMyMessage m;
    TAssociativeArray images;
    images.SetValue("1", dir.file("bild.jpg"));
    m.AddInlineImages(images);
    EXPECT_EQ(m.MessageParts[0].ContentType, "image/png");
    EXPECT_EQ(m.MessageParts[0].ContentID, "<1>");
    EXPECT_EQ(m.MessageParts[0].ParentPart, -1);
}

TEST(MessageTemplate, CopiesShareEncodedFilesAndKeepTheLayout)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("logo.gif"), "GIF89a" + QByteArray(3000, '\x01'));
    QByteArray pdf;
    for (int i = 0; i < 10000; ++i)
        pdf.append(char(i % 251));
    WriteFile(dir.file("anhang.pdf"), pdf);

    TMyMessage templ;
    BuildRelatedWithAttachment(templ, dir.file("logo.gif"), dir.file("anhang.pdf"));
    templ.Subject = "Betreff %Name%";
    templ.From = {"info@absender.de", QString::fromUtf8("Jürgen Ä")};
    templ.ReplyTo = {{"antwort@absender.de", QString()}};
    templ.SaveTemplates();
    templ.LoadFiles();

    TMyMessage copy;
    copy.Assign(templ);
    ASSERT_EQ(copy.MessageParts.size(), templ.MessageParts.size());
    for (int i = 0; i < copy.MessageParts.size(); ++i) {
        EXPECT_EQ(copy.MessageParts[i].ParentPart, templ.MessageParts[i].ParentPart) << i;
        EXPECT_EQ(copy.MessageParts[i].ContentType, templ.MessageParts[i].ContentType) << i;
    }
    EXPECT_EQ(copy.MessageParts[4].Encoded.get(), templ.MessageParts[4].Encoded.get()) << "encoded once, shared";
    EXPECT_EQ(copy.MessageParts[5].Encoded.get(), templ.MessageParts[5].Encoded.get());
    EXPECT_EQ(copy.fTemplates, templ.fTemplates);

    ReplacePlaceholder(copy, "Name", "Eva");
    EXPECT_EQ(templ.MessageParts[2].Body, "Hallo %Name%") << "the template is not touched";
    copy.Recipients = {{"eva@x.de", "Eva Muster"}};
    const QByteArray raw = copy.Serialize();
    const ParsedMail mail = ParseMail(raw);
    EXPECT_EQ(mail.topType, "multipart/mixed");
    EXPECT_EQ(mail.subject, "Betreff Eva");
    EXPECT_EQ(mail.from, QString::fromUtf8("Jürgen Ä <info@absender.de>"));
    EXPECT_TRUE(raw.contains("From: =?")) << "display name encoded";
    EXPECT_EQ(mail.headers.value("reply-to"), "antwort@absender.de");
    // mixed( related(image), alternative(plain, html), attachment )
    ASSERT_EQ(mail.parts.size(), 4);
    EXPECT_EQ(mail.parts[0].contentType, "image/gif");
    EXPECT_EQ(mail.parts[0].parentType, "multipart/related");
    EXPECT_EQ(mail.parts[0].contentId, "4711");
    EXPECT_EQ(mail.parts[0].data, "GIF89a" + QByteArray(3000, '\x01'));
    EXPECT_EQ(mail.parts[1].contentType, "text/plain");
    EXPECT_EQ(mail.parts[1].parentType, "multipart/alternative");
    EXPECT_EQ(mail.parts[1].text, "Hallo Eva");
    EXPECT_EQ(mail.parts[2].contentType, "text/html");
    EXPECT_EQ(mail.parts[2].parentType, "multipart/alternative");
    EXPECT_EQ(mail.parts[2].text, "<p>Hallo Eva</p><img src=\"cid:4711\">");
    EXPECT_EQ(mail.parts[3].parentType, "multipart/mixed");
    EXPECT_EQ(mail.parts[3].fileName, "anhang.pdf");
    EXPECT_EQ(mail.parts[3].data, pdf);
}

TEST(MessageTemplate, LongAndNonAsciiTextStaysWithinSmtpLineLimits)
{
    TMyMessage m;
    const QString longLine = QString::fromUtf8("Grüße ").repeated(400);  // 2400 characters, no break
    m.SetPlainTextBody(longLine + "\r\n.\r\nEnde");
    m.Subject = QString::fromUtf8("Ärger über Öl ") + QString("x").repeated(200);
    m.From = {"a@b.de", QString()};
    m.Recipients = {{"c@d.de", QString()}};
    const QByteArray raw = m.Serialize();
    for (const QByteArray& line : raw.split('\n'))
        EXPECT_LE(line.size(), 998);
    for (char c : raw)
        ASSERT_LT(static_cast<unsigned char>(c), 128) << "8-bit data in the message";
    const ParsedMail mail = ParseMail(raw);
    EXPECT_EQ(mail.subject, m.Subject);
    ASSERT_EQ(mail.parts.size(), 1);
    EXPECT_EQ(mail.parts[0].text, longLine + "\r\n.\r\nEnde");
}

namespace {

// Date and Message-Id lines blanked: they are made anew for every mail.
QByteArray WithoutDateAndId(QByteArray raw)
{
    for (const QByteArray& name : {QByteArray("\r\nDate: "), QByteArray("\r\nMessage-Id: ")}) {
        const qsizetype at = raw.indexOf(name);
        if (at < 0)
            continue;
        const qsizetype end = raw.indexOf("\r\n", at + name.size());
        raw.replace(at + name.size(), end - at - name.size(), "-");
    }
    return raw;
}

} // namespace

// A mail of the mailing is built from the template's prepared pieces; it must be byte for byte
// the mail that serialising the filled copy whole gives (with the same boundaries).
TEST(MessageTemplate, MailFromPreparedPiecesEqualsTheMailBuiltWhole)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("logo.gif"), "GIF89a" + QByteArray(3000, '\x01'));
    QByteArray pdf;
    for (int i = 0; i < 100000; ++i)
        pdf.append(char(i * 7 % 253));
    WriteFile(dir.file("anhang.pdf"), pdf);
    const QString longText = QString::fromUtf8("Sehr geehrte(r) %Name%, Grüße aus Köln. .Punkt\r\n").repeated(300)
                             + QString::fromUtf8("Lange Zeile ohne Umbruch: ") + QString("x%Name%").repeated(300);

    struct Case {
        const char* name;
        std::function<void(TMyMessage&)> layout;
    };
    const QList<Case> cases{
        {"plain text with attachment",
         [&](TMyMessage& m) {
             m.SetPlainTextBody(longText);
             m.AddAttachments({dir.file("anhang.pdf")});
         }},
        {"plain text without placeholders, mixed line ends",
         [&](TMyMessage& m) { m.SetPlainTextBody(QString::fromUtf8("Für alle\r\ngleich.\rEnde\n\r\n")); }},
        {"HTML with picture and attachment",
         [&](TMyMessage& m) { BuildRelatedWithAttachment(m, dir.file("logo.gif"), dir.file("anhang.pdf")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMyMessage templ;
        c.layout(templ);
        templ.Subject = QString::fromUtf8("Angebot für %Name%: ") + QString::fromUtf8("Ärger über Öl ").repeated(8);
        templ.From = {"info@absender.de", QString::fromUtf8("Jürgen Ä")};
        templ.ReplyTo = {{"antwort@absender.de", QString()}};
        templ.SaveTemplates();
        templ.LoadFiles();
        const auto prepared = TPreparedMessage::Prepare(templ);
        ASSERT_TRUE(prepared);

        TMyMessage copy;
        copy.Assign(templ);
        for (const QString& name : {QString::fromUtf8("Jörg & <Söhne>"), QStringLiteral("Eva")}) {
            ReplacePlaceholder(copy, "Name", name);
            copy.Recipients = {{"joerg@x.de", name + " Müller"}};
            QList<QByteArray> pieces;
            prepared->Build(copy, pieces);
            const QByteArray built = pieces.join();
            const QByteArray whole = copy.SerializeWithBoundaries(prepared->Boundaries());
            EXPECT_EQ(WithoutDateAndId(built), WithoutDateAndId(whole));
            EXPECT_TRUE(built.contains("\r\nDate: ") && built.contains("\r\nMessage-Id: <"));
            const ParsedMail mail = ParseMail(built);
            EXPECT_TRUE(mail.to.endsWith("<joerg@x.de>") && mail.to.contains(name)) << mail.to.toStdString();
            EXPECT_TRUE(mail.subject.startsWith(QString::fromUtf8("Angebot für ") + name + ":"));
            if (QByteArray(c.name).startsWith("plain text without")) {
                ASSERT_EQ(mail.parts.size(), 1);
                EXPECT_EQ(mail.parts[0].text, QString::fromUtf8("Für alle\r\ngleich.\r\nEnde\r\n\r\n"));
            }
            copy.RestoreTemplates();
        }
    }
}

TEST(MessageTemplate, TextAndRecipientFilledPerMailAreWrittenAsTheLibraryWritesThem)
{
    // Values at the edges of quoted-printable: blanks before line ends and at the end, "=",
    // lines around the 76-character limit and far beyond it, every kind of line break, control
    // characters, four-byte UTF-8, dots and "From " at line starts, nothing at all.
    QStringList values{
        "", " ", "\t", "a \n b\t\r\nc  ", "x=y==\n=", QString(75, 'a'), QString(76, 'b'), QString(77, 'c'),
        QString(74, 'd') + "=", QString(75, 'e') + " ", QString(5000, 'f'), QString::fromUtf8("ä").repeated(40),
        QString(73, 'g') + QString::fromUtf8("ü") + "h", "\r\r\n\n\r", QString(QChar(0)) + "\x01\x7f",
        QString::fromUtf8("😀 Grüße 😀"), ".\n..\nFrom here\n.", "ende ohne Umbruch\t",
    };
    QString mixed;
    for (int i = 0; i < 3000; ++i)
        mixed += QChar(" =\t\naäx.\r"[i * 7919 % 10]) + QString(i % 90, 'y');
    values << mixed;
    for (const QString& body : {QStringLiteral("%Wert%"), QStringLiteral("Anfang %Wert% Mitte\n%Wert%\nEnde \n")}) {
        TMyMessage templ;
        templ.SetPlainTextBody(body);
        templ.Subject = "Betreff";
        templ.From = {"info@absender.de", QString()};
        templ.SaveTemplates();
        const auto prepared = TPreparedMessage::Prepare(templ);
        ASSERT_TRUE(prepared);
        TMyMessage copy;
        copy.Assign(templ);
        for (const QString& value : values) {
            // the header lines of a thread's mails come from one kept object: vary the To line too
            copy.Recipients = {{"a@x.de", value.left(40)}};
            ReplacePlaceholder(copy, "Wert", value);
            QList<QByteArray> pieces;
            prepared->Build(copy, pieces);
            EXPECT_EQ(WithoutDateAndId(pieces.join()), WithoutDateAndId(copy.SerializeWithBoundaries(prepared->Boundaries())))
                << QString(value).replace('\r', "\\r").replace('\n', "\\n").left(200).toStdString();
            copy.RestoreTemplates();
        }
    }
}

TEST(MessageTemplate, FillingARecordAtOnceEqualsFillingItFieldByField)
{
    // Random texts and records over a small alphabet, so that placeholders meet, nest, chain
    // through values holding "%", differ in case and HTML forms.
    const QStringList names{"a", "A", "b", "ab", "a&b", "a&amp;b", "\"", "", "ä", "Ä"};
    const QString alphabet = QString::fromUtf8("%%%%aAbB&<>\"ä Ä;");
    Draw next{12345};
    auto randomText = [&](int maxLength) { return next.Text(alphabet, maxLength); };
    TMyMessage m, atOnce;
    for (int round = 0; round < 3000; ++round) {
        // A copy filled, restored and filled again, as a worker does, and now and then a new template.
        if (round % 3 == 0) {
            m.MessageParts.clear();
            m.Subject = randomText(20);
            m.Body = randomText(20);
            m.AddTextPart("text/plain", randomText(40));
            m.AddTextPart("text/html", randomText(40));
            m.AddTextPart("text/plain; charset=utf-8", randomText(10));
            m.SaveTemplates();
            atOnce.MessageParts.clear();
            atOnce.Assign(m);
        } else {
            atOnce.RestoreTemplates();
        }
        TAssociativeArray record;
        const int fields = 1 + int(next(4));
        for (int i = 0; i < fields; ++i)
            record.SetValue(names.at(int(next(quint32(names.size())))), randomText(6));
        if (round % 50 == 0)
            record.SetValue("a%b", "x");  // a name spanning two "%" signs
        TMyMessage byField;
        byField.Assign(m);
        for (int i = 0; i < record.Count(); ++i)
            ReplacePlaceholder(byField, record.KeyAt(i), record.ValueAt(i));
        FillPlaceholders(atOnce, record);
        QString recordText;
        for (int i = 0; i < record.Count(); ++i)
            recordText += record.KeyAt(i) + "=" + record.ValueAt(i) + " | ";
        ASSERT_EQ(atOnce.Subject, byField.Subject) << recordText.toStdString();
        ASSERT_EQ(atOnce.Body, byField.Body) << recordText.toStdString();
        for (int i = 0; i < m.MessageParts.size(); ++i)
            ASSERT_EQ(atOnce.MessageParts[i].Body, byField.MessageParts[i].Body)
                << "part " << i << " of " << m.MessageParts[i].Body.toStdString() << " with " << recordText.toStdString();
    }
}

TEST(MessageTemplate, ManyRecordsWithTheSameNamesFillAsFieldByField)
{
    // A worker fills one template with record after record of the same names: what it learnt
    // from the first records must hold for values of other lengths, empty ones and ones with
    // "%" signs (names running across values, values opening placeholders).
    const QStringList names{"a", "b", "ab", "a%b", "Ä"};
    const QString alphabet = QString::fromUtf8("%%%%aAbB&<> Ää");
    Draw next{777};
    auto randomText = [&](int maxLength) { return next.Text(alphabet, maxLength); };
    for (int templ = 0; templ < 300; ++templ) {
        TMyMessage m, atOnce;
        m.Subject = randomText(20);
        m.AddTextPart("text/plain", randomText(60));
        m.AddTextPart("text/html", randomText(60));
        m.SaveTemplates();
        atOnce.Assign(m);
        QStringList keys;
        for (int k = 1 + int(next(3)); k > 0; --k)
            keys.append(names.at(int(next(quint32(names.size())))));
        keys.removeDuplicates();
        for (int mail = 0; mail < 12; ++mail) {
            TAssociativeArray record;
            for (const QString& key : keys)
                record.SetValue(key, mail % 4 == 3 ? randomText(4) : randomText(5).remove('%'));
            TMyMessage byField;
            byField.Assign(m);
            for (int i = 0; i < record.Count(); ++i)
                ReplacePlaceholder(byField, record.KeyAt(i), record.ValueAt(i));
            atOnce.RestoreTemplates();
            FillPlaceholders(atOnce, record);
            QString recordText;
            for (int i = 0; i < record.Count(); ++i)
                recordText += record.KeyAt(i) + "=" + record.ValueAt(i) + " | ";
            ASSERT_EQ(atOnce.Subject, byField.Subject) << m.Subject.toStdString() << " with " << recordText.toStdString();
            for (int i = 0; i < m.MessageParts.size(); ++i)
                ASSERT_EQ(atOnce.MessageParts[i].Body, byField.MessageParts[i].Body)
                    << m.MessageParts[i].Body.toStdString() << " with " << recordText.toStdString();
        }
    }
}

TEST(MessageTemplate, TextsFilledLineByLineGiveTheBytesOfTheWholeFilledMail)
{
    // Random templates: placeholders at line starts and ends, empty lines, CR LF, lone CR and
    // LF, lines long enough for soft breaks, blanks before a break, "=", non-ASCII and an
    // unpaired surrogate; values with line breaks of each kind (at their start and end too),
    // with "%" and with other placeholders. Each mail filled and built line by line equals the
    // copy filled whole and written by the library.
    const QList<QString> alphabet{
        "%Name%", "%ort%", "%Leer%", "%a\nb%", "%", " ", "\t", "\r", "\n", "\r\n", "\n\n", "=", "a", "Z.",
        QString::fromUtf8("ä"), QString::fromUtf8("😀"), QString(QChar(0xd800)), QString(30, 'x'), QString(74, 'y'),
    };
    const QList<QString> valueAlphabet{
        "Eva", " ", "\r", "\n", "\r\n", "%", "%Ort%", "%Name%", "&<>\"", QString::fromUtf8("Jörg"), QString(50, 'v'),
    };
    Draw next{99};
    auto randomText = [&](const QList<QString>& from, int maxPieces) {
        QString t;
        const quint32 width = 3 + next(quint32(from.size() - 2));
        for (int n = int(next(quint32(maxPieces))); n > 0; --n)
            t += from.at(int(next(width)));
        return t;
    };
    int lineWise = 0;
    for (int round = 0; round < 400; ++round) {
        TMyMessage templ;
        templ.ContentType = "multipart/mixed";
        templ.AddTextPart("multipart/alternative", QString(), -1);
        templ.AddTextPart("text/plain", randomText(alphabet, 120) + "%Name%", 0);
        templ.AddTextPart("text/html", randomText(alphabet, 120) + "%ort%\n", 0);
        templ.AddTextPart("text/plain; charset=utf-8", randomText(alphabet, 20) + "%Name%", -1);
        templ.Subject = "Hallo %Name%";
        templ.From = {"info@absender.de", QString()};
        templ.SaveTemplates();
        const auto prepared = TPreparedMessage::Prepare(templ);
        ASSERT_TRUE(prepared);
        TMyMessage copy, whole;
        copy.Assign(templ);
        whole.Assign(templ);
        for (int mail = 0; mail < 8; ++mail) {
            TAssociativeArray record;
            record.SetValue("Name", randomText(valueAlphabet, 4));
            record.SetValue("Ort", randomText(valueAlphabet, mail % 2 ? 4 : 1));
            record.SetValue("Leer", QString());
            if (round % 10 == 9 && mail == 7)
                record.SetValue("a\nb", "quer");  // a name across a line break
            if (round % 10 == 4 && mail == 6)
                record.SetValue("a%b", "x");  // a name spanning two "%" signs
            copy.Recipients = whole.Recipients = {{"eva@x.de", QString()}};
            QList<QByteArray> pieces;
            prepared->FillAndBuild(copy, record, pieces);
            FillPlaceholders(whole, record);
            const QByteArray expected = WithoutDateAndId(whole.SerializeWithBoundaries(prepared->Boundaries()));
            const QByteArray built = WithoutDateAndId(pieces.join());
            ASSERT_EQ(built.toStdString(), expected.toStdString()) << "round " << round << " mail " << mail;
            lineWise += copy.MessageParts[1].Body == templ.MessageParts[1].Body
                        && whole.MessageParts[1].Body != templ.MessageParts[1].Body;
            copy.RestoreTemplates();
            whole.RestoreTemplates();
        }
    }
    // the copy's texts were not filled whole: their lines were filled while the mail was built
    EXPECT_GT(lineWise, 500);
}

TEST(MessageTemplate, RecipientLinesAndMessageIdsOfManyMailsMatchTheLibrary)
{
    // Names and addresses made only of the characters that are written unchanged, near the
    // line limit too, and others that need quoting or encoding, mixed: every mail's header lines
    // equal those of the mail built whole, and every Message-Id is new and readable.
    // The subject changes with every mail; in the second round it is now and then empty or
    // made of blanks only.
    for (const QString& subjectTemplate : {QStringLiteral("Betreff %Name%"), QStringLiteral("%Name%")}) {
        TMyMessage templ;
        templ.SetPlainTextBody("Hallo %Name%\n");
        templ.Subject = subjectTemplate;
        templ.From = {"info@absender.de", "Absender"};
        templ.ReplyTo = {{"antwort@absender.de", QString()}};
        templ.SaveTemplates();
        const auto prepared = TPreparedMessage::Prepare(templ);
        ASSERT_TRUE(prepared);
        TMyMessage copy;
        copy.Assign(templ);
        Draw next{777};
        const QString nameChars = "abcXYZ019 ";
        const QString otherChars = QString::fromUtf8("äé.,\"()<>@;:\\=?_");
        const QString addressChars = "az09._+-";
        QSet<QByteArray> ids;
        for (int i = 0; i < 2000; ++i) {
            QString name;
            for (int k = int(next(i % 10 == 0 ? 70 : 30)); k > 0; --k)
                name += nameChars.at(int(next(quint32(nameChars.size()))));
            if (i % 7 == 3)
                name.insert(int(next(quint32(name.size() + 1))), otherChars.at(int(next(quint32(otherChars.size())))));
            QString local;
            for (int k = 1 + int(next(i % 10 == 0 ? 60 : 12)); k > 0; --k)
                local += addressChars.at(int(next(quint32(addressChars.size()))));
            const QString address = local + "@x-" + QString::number(i) + ".de";
            copy.Recipients = {{address, name}};
            ReplacePlaceholder(copy, "Name", name);
            QList<QByteArray> pieces;
            prepared->Build(copy, pieces);
            const QByteArray built = pieces.join();
            ASSERT_EQ(WithoutDateAndId(built), WithoutDateAndId(copy.SerializeWithBoundaries(prepared->Boundaries())))
                << "name [" << name.toStdString() << "] address " << address.toStdString();
            GMimeStream* stream = g_mime_stream_mem_new_with_buffer(built.constData(), size_t(built.size()));
            GMimeParser* parser = g_mime_parser_new_with_stream(stream);
            GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
            ASSERT_TRUE(parsed);
            const QByteArray id = g_mime_message_get_message_id(parsed);
            EXPECT_TRUE(id.endsWith("@absender.de")) << id.toStdString();
            const QRegularExpressionMatch idLine =
                QRegularExpression("\r\nMessage-Id: <([^>]*)>\r\n").match(QString::fromLatin1(built));
            EXPECT_TRUE(QRegularExpression("^[0-9A-Z]+(\\.[0-9A-Z]+){1,2}@absender\\.de$")
                            .match(idLine.captured(1))
                            .hasMatch())
                << idLine.captured(1).toStdString() << ": upper-case base-36 numbers (ours: time, random number, counter)";
            EXPECT_FALSE(ids.contains(id)) << id.toStdString();
            ids.insert(id);
            g_object_unref(parsed);
            g_object_unref(parser);
            g_object_unref(stream);
            copy.RestoreTemplates();
        }
    }
}

TEST(MessageTemplate, TextContentIsEncodedByteForByteAsTheLibraryEncodesIt)
{
    // The reference: line breaks to LF, UTF-8, GMime's quoted-printable encoder, LF to CR LF.
    auto library = [](const QString& text) {
        QString lf = text;
        lf.replace("\r\n", "\n").replace('\r', '\n');
        const QByteArray utf8 = lf.toUtf8();
        GMimeEncoding state;
        g_mime_encoding_init_encode(&state, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
        QByteArray encoded(qsizetype(g_mime_encoding_outlen(&state, size_t(utf8.size()))) + 16, '\0');
        encoded.truncate(qsizetype(g_mime_encoding_flush(&state, utf8.constData(), size_t(utf8.size()), encoded.data())));
        return encoded.replace("\n", "\r\n");
    };
    // Random texts of blanks, "=", line breaks of every kind, control characters, NUL, DEL,
    // two- three- and four-byte characters and unpaired surrogates, in runs that reach the line
    // limit and pass it, with and without a line break or blank at the end.
    const QList<QString> alphabet{
        " ", "\t", "\r", "\n", "\r\n", "=", "a", "Z", ".", "~", QString(QChar(0)), "\x01", "\x1f", "\x7f",
        QString::fromUtf8("ä"), QString::fromUtf8("€"), QString::fromUtf8("😀"), QString(QChar(0xd800)),
        QString(QChar(0xdc00)), QString(QChar(0xffff)), QString(20, 'x'), QString(70, 'y'),
    };
    Draw next{4242};
    // Every length of a plain run before a blank and what follows it, so that the blank meets
    // each position of a block of characters the encoder looks at together.
    for (int length = 0; length < 90; ++length)
        for (const QString& after : {QString("\r\n"), QString::fromUtf8("ä"), QString("="), QString(), QString(" x"), QString("x")}) {
            const QString text = QString(length, 'p') + " " + after;
            ASSERT_EQ(TPreparedMessage::EncodeTextContent(text), library(text)) << length << " plain, then [ " << after.toStdString() << "]";
        }
    for (int i = 0; i < 20000; ++i) {
        QString text;
        const int pieces = int(next(i % 50 == 0 ? 400 : 40));
        // most texts lean on a few pieces, so that runs of blanks or of long characters occur
        const quint32 width = 1 + next(quint32(alphabet.size()));
        for (int k = 0; k < pieces; ++k)
            text += alphabet.at(int(next(quint32(alphabet.size())) % width + (k % 3 == 0 ? next(3) : 0)) % alphabet.size());
        const QByteArray expected = library(text);
        ASSERT_EQ(TPreparedMessage::EncodeTextContent(text), expected)
            << "text [" << QString(text).replace('\r', "\\r").replace('\n', "\\n").toStdString() << "]";
    }
}
