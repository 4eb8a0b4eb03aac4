#include "TestUtil.h"

#include "app/PreviewPage.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "mailing/MailingJob.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using app::TPreviewPage;

namespace {

struct TContent : IMailContent {
    QString subject, plain, html, signature;
    bool htmlMode = false, signatureOn = false;
    QString Subject() const override { return subject; }
    QString PlainBody() const override { return plain; }
    bool SignatureOn() const override { return signatureOn; }
    QString Signature() const override { return signature; }
    bool HtmlMode() const override { return htmlMode; }
    QString Html() const override { return html; }
    QStringList AttachmentPaths() const override { return {}; }
};

struct Preview : ::testing::Test {
    qlytest::TempDir dir;
    db::Connection conn;
    db::TExtADODataSet list{&conn};
    TContent content;
    QWidget window;
    app::TPreviewPageControls ctl;
    std::unique_ptr<TPreviewPage> page;
    QString from = QStringLiteral("absender@beispiel.de"), name = QStringLiteral("Max Absender");

    void SetUp() override
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        conn.Execute(R"(CREATE TABLE "RL1" ("_ID" INTEGER PRIMARY KEY AUTOINCREMENT, "Status" INTEGER, "Email" TEXT,
                        "Last Name" TEXT, "First Name" TEXT, "Firma & Co" TEXT))");
        const QList<QVariantList> rows = {
            {0, "anna@beispiel.de", "Muster", "Anna", "A & B <GmbH>"},
            {1, "bert@beispiel.de", "Gesendet", "Bert", "x"},
            {0, "carl@beispiel.de", "", "", "Carl AG"},
            {2, "dora@beispiel.de", "Gesperrt", "Dora", "y"},
            {0, "emil@beispiel.de", "Emil", "", "%First Name%"},
        };
        for (const QVariantList& r : rows)
            conn.Execute(R"(INSERT INTO "RL1" ("Status", "Email", "Last Name", "First Name", "Firma & Co") VALUES (?, ?, ?, ?, ?))", r);
        list.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));

        auto* v = new QVBoxLayout(&window);
        auto label = [&](const char* n) {
            auto* l = new QLabel(&window);
            l->setObjectName(QLatin1String(n));
            v->addWidget(l);
            return l;
        };
        ctl.LabelPFrom = label("LabelPFrom");
        ctl.DBTextTo = label("DBTextTo");
        ctl.DBTextFirstName = label("DBTextFirstName");
        ctl.DBTextLastName = label("DBTextLastName");
        ctl.LabelPSubject = label("LabelPSubject");
        ctl.LabelPreviewPosition = label("LabelPreviewPosition");
        for (QToolButton** b : {&ctl.NavFirst, &ctl.NavPrior, &ctl.NavNext, &ctl.NavLast}) {
            *b = new QToolButton(&window);
            v->addWidget(*b);
        }
        ctl.PanelWebBrowserP = new QWidget(&window);
        new QVBoxLayout(ctl.PanelWebBrowserP);
        ctl.WebBrowserP = new THtmlPreview(ctl.PanelWebBrowserP);
        ctl.PanelWebBrowserP->layout()->addWidget(ctl.WebBrowserP);
        v->addWidget(ctl.PanelWebBrowserP, 1);
        ctl.PanelPBody = new QWidget(&window);
        new QVBoxLayout(ctl.PanelPBody);
        ctl.MemoPBody = new QPlainTextEdit(ctl.PanelPBody);
        ctl.PanelPBody->layout()->addWidget(ctl.MemoPBody);
        v->addWidget(ctl.PanelPBody, 1);
        ctl.OrvFileListAttOverview = new TOrvFileList(&window);
        v->addWidget(ctl.OrvFileListAttOverview);
        page = std::make_unique<TPreviewPage>(ctl, content);
        page->ListDataSet = [this] { return &list; };
        page->From = [this] { return from; };
        page->Name = [this] { return name; };
        window.resize(700, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QString Recipient() const { return ctl.DBTextTo->text() + ctl.DBTextFirstName->text() + ctl.DBTextLastName->text(); }
    QColor Color(QLabel* l) const { return l->palette().color(QPalette::WindowText); }
};

TEST_F(Preview, PlainMailForEachRecipientToSend)
{
    content.subject = QStringLiteral("Hallo %first name%, %Firma & Co%");
    content.plain = QStringLiteral("Liebe(r) %First Name% %Last Name%,\nIhre Adresse: %EMAIL%");
    content.signatureOn = true;
    content.signature = QStringLiteral("--\nGruß");
    page->TabPreviewShow();
    EXPECT_EQ(ctl.LabelPreviewPosition->text(), QStringLiteral("1/3"));
    EXPECT_EQ(Recipient(), QStringLiteral("anna@beispiel.de (Anna Muster)"));
    EXPECT_EQ(ctl.LabelPSubject->text(), QStringLiteral("Hallo Anna, A & B <GmbH>"));
    EXPECT_EQ(ctl.LabelPSubject->textFormat(), Qt::PlainText);
    EXPECT_EQ(ctl.MemoPBody->toPlainText(), QStringLiteral("Liebe(r) Anna Muster,\nIhre Adresse: anna@beispiel.de\n--\nGruß"));
    EXPECT_TRUE(ctl.PanelPBody->isVisible());
    EXPECT_FALSE(ctl.PanelWebBrowserP->isVisible());
    EXPECT_EQ(ctl.LabelPFrom->text(), QStringLiteral("absender@beispiel.de (Max Absender)"));
    EXPECT_EQ(Color(ctl.LabelPFrom), QColor(0, 0, 0));

    ctl.NavNext->click();
    EXPECT_EQ(ctl.LabelPreviewPosition->text(), QStringLiteral("2/3"));
    EXPECT_EQ(Recipient(), QStringLiteral("carl@beispiel.de")); // no names: no parentheses
    EXPECT_FALSE(ctl.DBTextFirstName->isVisibleTo(&window));
    ctl.NavLast->click();
    EXPECT_EQ(ctl.LabelPreviewPosition->text(), QStringLiteral("3/3"));
    EXPECT_EQ(Recipient(), QStringLiteral("emil@beispiel.de (Emil)"));
    // A value holding a placeholder is filled again by a later column.
    EXPECT_EQ(ctl.LabelPSubject->text(), QStringLiteral("Hallo , %First Name%"));
    ctl.NavFirst->click();
    EXPECT_EQ(ctl.LabelPreviewPosition->text(), QStringLiteral("1/3"));
    page->TabPreviewHide();
    EXPECT_EQ(page->PreviewRecipients(), nullptr);
}

TEST_F(Preview, HtmlMailIsEscapedAndRunsNoScripts)
{
    // A server on this machine that must not be reached.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] { ++connections; });
    content.htmlMode = true;
    content.subject = QStringLiteral("Angebot");
    content.html = QStringLiteral("<html><head></head><body><p id=\"a\">Hallo %First Name%</p>"
                                  "<p id=\"b\">%Firma &amp; Co%</p>"
                                  "<script>document.getElementById('a').textContent = 'Skript lief';</script>"
                                  "<img src=\"http://127.0.0.1:%1/zaehler.gif\"></body></html>").arg(server.serverPort());
    page->TabPreviewShow();
    EXPECT_TRUE(ctl.PanelWebBrowserP->isVisible());
    EXPECT_FALSE(ctl.PanelPBody->isVisible());
    const QString html = ctl.WebBrowserP->DocumentHtml();
    EXPECT_TRUE(html.contains(QStringLiteral("Hallo Anna</p>"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("A &amp; B &lt;GmbH&gt;")));
    EXPECT_FALSE(html.contains(QStringLiteral("<GmbH>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<p id=\"a\">Skript lief")));
    QTest::qWait(1500);
    EXPECT_EQ(connections, 0);
    // A dropped file never replaces the preview.
    ASSERT_NE(ctl.WebBrowserP->View()->focusProxy(), nullptr);
    EXPECT_FALSE(ctl.WebBrowserP->View()->focusProxy()->acceptDrops());
    ctl.NavNext->click();
    EXPECT_TRUE(ctl.WebBrowserP->DocumentHtml().contains(QStringLiteral("Carl AG")));
}

TEST_F(Preview, NoRecipientsNoSenderNoSubject)
{
    conn.Execute(R"(UPDATE "RL1" SET "Status" = 1)");
    from.clear();
    content.subject.clear();
    page->TabPreviewShow();
    EXPECT_EQ(ctl.DBTextTo->text(), QStringLiteral("Keine Empfänger in der Liste."));
    EXPECT_EQ(Color(ctl.DBTextTo), QColor(255, 0, 0));
    EXPECT_TRUE(ctl.DBTextTo->font().bold());
    EXPECT_EQ(ctl.LabelPreviewPosition->text(), QStringLiteral("-/-"));
    EXPECT_EQ(ctl.LabelPFrom->text(), QStringLiteral("Keine gültige E-Mail Adresse angegeben. (Max Absender)"));
    EXPECT_EQ(Color(ctl.LabelPFrom), QColor(255, 0, 0));
    EXPECT_EQ(ctl.LabelPSubject->text(), QStringLiteral("Keine Betreffzeile angegeben."));
    EXPECT_EQ(Color(ctl.LabelPSubject), QColor(255, 120, 0));
    EXPECT_TRUE(ctl.LabelPSubject->font().bold());
}

TEST_F(Preview, AttachmentOverview)
{
    QFile(dir.file("a.pdf")).open(QIODevice::WriteOnly);
    QFile(dir.file("b.png")).open(QIODevice::WriteOnly);
    page->FillAttachmentOverview({dir.file("a.pdf"), dir.file("b.png")});
    EXPECT_TRUE(ctl.OrvFileListAttOverview->isVisible());
    ASSERT_EQ(ctl.OrvFileListAttOverview->Count(), 2);
    EXPECT_EQ(ctl.OrvFileListAttOverview->GetItemPath(1), dir.file("b.png"));
    EXPECT_EQ(ctl.OrvFileListAttOverview->topLevelItem(0)->text(0), QStringLiteral("a.pdf"));
    page->FillAttachmentOverview({});
    EXPECT_FALSE(ctl.OrvFileListAttOverview->isVisible());
    EXPECT_EQ(ctl.OrvFileListAttOverview->Count(), 0);
}

TEST_F(Preview, AttachmentOverviewFollowsRenamesAndDeletionsOnly)
{
    TOrvFileList* list = ctl.OrvFileListAttOverview;
    qlytest::writeFileBytes(dir.file("a.pdf"), "a");
    qlytest::writeFileBytes(dir.file("b.png"), "b");
    page->FillAttachmentOverview({dir.file("a.pdf"), dir.file("b.png")});
    EXPECT_TRUE(list->AutomaticRefresh());
    EXPECT_FALSE(list->Notifier().Recursive());
    EXPECT_EQ(list->Notifier().Directories(), QStringList{dir.path()});

    ASSERT_TRUE(QFile::remove(dir.file("a.pdf")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Count() == 1; }, 3000));
    ASSERT_TRUE(QFile::rename(dir.file("b.png"), dir.file("c.png")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->GetItemPath(0) == dir.file("c.png"); }, 3000));
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("c.png"));
    // A file created beside an attachment is no attachment.
    qlytest::writeFileBytes(dir.file("neu.txt"), "n");
    QTest::qWait(300);
    EXPECT_EQ(list->Count(), 1);
    // The renamed item still follows: its delete notice removes it.
    ASSERT_TRUE(QFile::remove(dir.file("c.png")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->Count() == 0; }, 3000));
}

TEST(FillPlaceholders, CasesAndEscapedForms)
{
    const QStringList names = {"_ID", "First Name", "Firma & Co"};
    const QStringList values = {"7", "Änne", "<b>&"};
    EXPECT_EQ(app::FillPlaceholders("%FIRST NAME% %_id%", names, values, false), QStringLiteral("Änne 7"));
    EXPECT_EQ(app::FillPlaceholders("%Firma & Co%|%Firma &amp; Co%", names, values, false), QStringLiteral("<b>&|%Firma &amp; Co%"));
    EXPECT_EQ(app::FillPlaceholders("%Firma & Co%|%Firma &amp; Co%", names, values, true),
              QStringLiteral("&lt;b&gt;&amp;|&lt;b&gt;&amp;"));
}

} // namespace
