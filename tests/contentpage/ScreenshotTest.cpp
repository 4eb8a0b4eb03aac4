// Pictures of the content and preview pages as a user sees them, kept beside the test binary
// (screenshots/) and checked to show something.
#include "TestUtil.h"

#include "app/ContentPage.h"
#include "app/PreviewPage.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/Schema.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

QString ShotDir()
{
    const QString d = QStringLiteral(QLY_SCREENSHOT_DIR);
    QDir().mkpath(d);
    return d;
}

// Distinct colours in a picture (sampled): a blank picture has one or two.
int Colours(const QImage& img)
{
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2)
            seen.insert(img.pixel(x, y));
    return int(seen.size());
}

// The web view's picture once its content has been painted.
QImage WebShot(QWidget* view)
{
    QImage img;
    (void)QTest::qWaitFor([&] {
        img = view->grab().toImage();
        return Colours(img) > 3;
    }, 10000);
    return img;
}

struct Shots : ::testing::Test {
    qlytest::TempDir dir;
    db::Connection conn;
    QWidget window;
    app::TContentPageControls ctl;
    std::unique_ptr<app::TContentPage> page;
    void SetUp() override
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        recipients::UpgradeSchema(conn, {});
        auto* v = new QVBoxLayout(&window);
        ctl.ComboBoxSubject = new QComboBox(&window);
        ctl.ComboBoxSubject->setEditable(true);
        ctl.ComboBoxSubject->setEditText(QStringLiteral("Einladung für %First Name%"));
        v->addWidget(ctl.ComboBoxSubject);
        ctl.MemoMailBody = new QPlainTextEdit(&window);
        ctl.MemoMailBody->setPlainText(QStringLiteral("Hallo %First Name% %Last Name%,\n\nwir laden Sie herzlich ein.\n\nGrüße"));
        v->addWidget(ctl.MemoMailBody, 1);
        ctl.ORVHTMLEditor1 = new TORVHTMLEditor(&window);
        ctl.ORVHTMLEditor1->ShowSourceCode = true;
        ctl.ORVHTMLEditor1->setVisible(false);
        v->addWidget(ctl.ORVHTMLEditor1, 1);
        ctl.SpeedButtonInsertField = new QToolButton(&window);
        ctl.OrvFileListAttachments = new TOrvFileList(&window);
        ctl.OrvFileListAttachments->setFixedHeight(90);
        v->addWidget(ctl.OrvFileListAttachments);
        ctl.ORVHTMLEditor1->CreateWnd();
        page = std::make_unique<app::TContentPage>(ctl, conn);
        QFile f(dir.file("Programm.pdf"));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(4000, 'x'));
        f.close();
        ctl.OrvFileListAttachments->AddFile(dir.file("Programm.pdf"));
        window.resize(800, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

TEST_F(Shots, ContentPagePlainHtmlAndSource)
{
    QImage plain = window.grab().toImage();
    EXPECT_GT(Colours(plain), 10);
    EXPECT_TRUE(plain.save(ShotDir() + "/content-plain.png"));

    ctl.MemoMailBody->setVisible(false);
    ctl.ORVHTMLEditor1->setVisible(true);
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<html><body><h1 style=\"color:#0050a0\">Einladung</h1>"
                                               "<p>Hallo <b>%First Name%</b>,</p><ul><li>Programm</li><li>Anfahrt</li></ul>"
                                               "</body></html>"), false);
    const QImage browser = WebShot(ctl.ORVHTMLEditor1->Browser);
    EXPECT_GT(Colours(browser), 3);
    QImage html = window.grab().toImage();
    // The web view is drawn by the engine: put its picture where it stands.
    {
        QPainter p(&html);
        p.drawImage(ctl.ORVHTMLEditor1->Browser->mapTo(&window, QPoint(0, 0)), browser);
    }
    EXPECT_TRUE(html.save(ShotDir() + "/content-html.png"));

    ctl.ORVHTMLEditor1->ToolButton(QStringLiteral("HTMLCode"))->click();
    QApplication::processEvents();
    const QImage source = window.grab().toImage();
    EXPECT_GT(Colours(source), 10);
    EXPECT_TRUE(source.save(ShotDir() + "/content-source.png"));
}

TEST_F(Shots, PreviewPage)
{
    conn.Execute(R"(CREATE TABLE "RL1" ("_ID" INTEGER PRIMARY KEY AUTOINCREMENT, "Status" INTEGER, "Email" TEXT,
                    "Last Name" TEXT, "First Name" TEXT))");
    conn.Execute(R"(INSERT INTO "RL1" ("Status", "Email", "Last Name", "First Name") VALUES (0, 'anna@beispiel.de', 'Muster', 'Anna'))");
    db::TExtADODataSet list(&conn);
    list.SetCommandText(QStringLiteral("SELECT * FROM \"RL1\""));
    ctl.MemoMailBody->setVisible(false);
    ctl.ORVHTMLEditor1->setVisible(true);
    ctl.ORVHTMLEditor1->SetHTML(QStringLiteral("<html><body><h1 style=\"color:#0050a0\">Einladung</h1>"
                                               "<p>Hallo <b>%First Name% %Last Name%</b>,</p></body></html>"), false);

    QWidget pw;
    auto* v = new QVBoxLayout(&pw);
    app::TPreviewPageControls pc;
    auto label = [&] { auto* l = new QLabel(&pw); v->addWidget(l); return l; };
    pc.LabelPFrom = label();
    auto* row = new QHBoxLayout;
    pc.DBTextTo = new QLabel(&pw);
    pc.DBTextFirstName = new QLabel(&pw);
    pc.DBTextLastName = new QLabel(&pw);
    row->setSpacing(0);
    row->addWidget(pc.DBTextTo);
    row->addWidget(pc.DBTextFirstName);
    row->addWidget(pc.DBTextLastName);
    row->addStretch();
    v->addLayout(row);
    pc.LabelPSubject = label();
    pc.LabelPreviewPosition = label();
    pc.PanelWebBrowserP = new QWidget(&pw);
    new QVBoxLayout(pc.PanelWebBrowserP);
    pc.WebBrowserP = new THtmlPreview(pc.PanelWebBrowserP);
    pc.PanelWebBrowserP->layout()->addWidget(pc.WebBrowserP);
    v->addWidget(pc.PanelWebBrowserP, 1);
    pc.PanelPBody = new QWidget(&pw);
    new QVBoxLayout(pc.PanelPBody);
    pc.MemoPBody = new QPlainTextEdit(pc.PanelPBody);
    pc.PanelPBody->layout()->addWidget(pc.MemoPBody);
    v->addWidget(pc.PanelPBody, 1);
    pc.OrvFileListAttOverview = new TOrvFileList(&pw);
    pc.OrvFileListAttOverview->setFixedHeight(80);
    v->addWidget(pc.OrvFileListAttOverview);
    app::TPreviewPage preview(pc, *page);
    preview.ListDataSet = [&] { return &list; };
    preview.From = [] { return QStringLiteral("info@beispiel.de"); };
    preview.Name = [] { return QStringLiteral("Beispiel GmbH"); };
    pw.resize(800, 600);
    pw.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pw));
    preview.FillAttachmentOverview(page->AttachmentPaths());
    preview.TabPreviewShow();
    EXPECT_EQ(pc.LabelPreviewPosition->text(), QStringLiteral("1/1"));
    const QImage body = WebShot(pc.WebBrowserP->View());
    EXPECT_GT(Colours(body), 3);
    QImage img = pw.grab().toImage();
    {
        QPainter p(&img);
        p.drawImage(pc.WebBrowserP->View()->mapTo(&pw, QPoint(0, 0)), body);
    }
    EXPECT_GT(Colours(img), 10);
    EXPECT_TRUE(img.save(ShotDir() + "/preview.png"));
}

} // namespace
