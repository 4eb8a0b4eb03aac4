// The download dialog against a small HTTP server on 127.0.0.1, and the data-access check's
// download at program start.
#include "app/OrvDownloadDialog.h"
#include "app/ProgramStart.h"
#include "QtPrint.h"
#include "TestUtil.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QByteArray Pattern(int n)
{
    QByteArray b;
    while (b.size() < n)
        b += "0123456789";
    return b.left(n);
}

// The test server: started once for all tests of this process.
class HttpServer {
public:
    static HttpServer& Instance()
    {
        static HttpServer server;
        return server;
    }
    bool Running() const { return m_port > 0; }
    QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }
    int Requests()
    {
        QNetworkAccessManager http;
        QNetworkReply* r = http.get(QNetworkRequest(QUrl(Url("/requests"))));
        QTest::qWaitFor([&] { return r->isFinished(); }, 5000);
        const int n = r->readAll().toInt();
        r->deleteLater();
        return n;
    }

private:
    HttpServer()
    {
        m_process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(QLY_TEST_DATA_DIR "/http_server.py")});
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~HttpServer()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    QProcess m_process;
    int m_port = 0;
};

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        if (!HttpServer::Instance().Running())
            GTEST_SKIP() << "no test server (/usr/bin/python3)";
        dest = dir.file("ziel.bin");
        dlg.Destination = dest;
        dlg.Texts.German = true;
        dlg.ShowMessage = [this](const QString& m) { messages << m; };
        dlg.Launcher = [this](const QString& p) {
            launched << p;
            return true;
        };
        dlg.Ask = [this](const QString& q) {
            questions << q;
            return answer;
        };
        dlg.OnFormShown = [this](app::TDownloadProgressForm& form) {
            // The window's texts while the transfer runs and at its end.
            auto* f = &form;
            QObject::connect(form.pro_download, &QProgressBar::valueChanged, f, [this, f] { Capture(*f); });
            QObject::connect(f, &QDialog::finished, f, [this, f] { Capture(*f); });
            if (onShown)
                onShown(form);
        };
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    void Capture(app::TDownloadProgressForm& f)
    {
        source = f.lab_speichern->text();
        target = f.lab_pfad->text();
        progress = f.lab_progress->text();
        cancelCaption = f.btn_abbrechen->text();
        caption = f.windowTitle();
        size = f.size();
    }
    void Run(const QString& path)
    {
        dlg.Source = HttpServer::Instance().Url(path);
        dlg.Execute();
    }
    qlytest::TempDir dir;
    QString dest;
    app::TOrvDownloadDialog dlg;
    QStringList messages, launched, questions;
    bool answer = true;
    std::function<void(app::TDownloadProgressForm&)> onShown;
    QString source, target, progress, cancelCaption, caption;
    QSize size;
};

TEST_F(Download, ACompleteFileIsSavedAndHandedToTheDesktop)
{
    dlg.ExecFile = true;
    Run("/bytes/10240");
    EXPECT_EQ(dlg.Result(), app::mrOk);
    EXPECT_FALSE(dlg.Cancelled());
    EXPECT_EQ(qlytest::readFileBytes(dest), Pattern(10240));
    EXPECT_EQ(progress, "Fortschritt: 10,00 kByte von 10,00 kByte heruntergeladen");
    EXPECT_EQ(launched, QStringList{dest});
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(QFile::exists(dest + ".part"));
    EXPECT_EQ(caption, "Download");
    EXPECT_EQ(size, QSize(368, 217));
    EXPECT_EQ(source, "Quelle: 10240");
    EXPECT_EQ(target, "Ziel: " + dest.left(47) + "...");
    EXPECT_EQ(cancelCaption, "Abbrechen");

    // Without ExecFile nothing is started.
    dlg.ExecFile = false;
    launched.clear();
    Run("/bytes/1023");
    EXPECT_EQ(progress, "Fortschritt: 0,99 kByte von 0,99 kByte heruntergeladen"); // cut, not rounded
    EXPECT_TRUE(launched.isEmpty());
    EXPECT_EQ(questions.size(), 1); // the first download is there now: asked, and Yes
}

TEST_F(Download, NoSizeRedirectsAndShortPaths)
{
    dlg.AlwaysOverwrite = true;
    Run("/nolength/3000");
    EXPECT_EQ(dlg.Result(), app::mrOk);
    EXPECT_EQ(qlytest::readFileBytes(dest), Pattern(3000));
    EXPECT_EQ(progress, "Fortschritt: 2,92 kByte von 0,00 kByte heruntergeladen");

    Run("/redirect/2048");
    EXPECT_EQ(dlg.Result(), app::mrOk);
    EXPECT_EQ(qlytest::readFileBytes(dest), Pattern(2048));
    EXPECT_EQ(source, "Quelle: 2048");

    // A short destination is still followed by "...".
    const QString shortPath = QStringLiteral("/tmp/qly%1").arg(QCoreApplication::applicationPid());
    dlg.Destination = shortPath;
    dlg.Source = HttpServer::Instance().Url("/slow/100000");
    onShown = [](app::TDownloadProgressForm& f) { QTimer::singleShot(400, &f, [&f] { f.btn_abbrechen->click(); }); };
    dlg.Execute();
    EXPECT_EQ(target, "Ziel: " + shortPath + "...");
    EXPECT_FALSE(QFile::exists(shortPath));
    EXPECT_FALSE(QFile::exists(shortPath + ".part"));
}

TEST_F(Download, ServerErrorsLeaveTheOldFileAlone)
{
    qlytest::writeFileBytes(dest, "alt");
    dlg.AlwaysOverwrite = true;
    dlg.ExecFile = true;
    Run("/missing");
    EXPECT_EQ(dlg.Result(), app::mrAbort);
    EXPECT_FALSE(dlg.Cancelled());
    EXPECT_EQ(messages, QStringList{"Fehler beim Verbinden zum Webserver.\n\r404 Not Found"});
    EXPECT_TRUE(launched.isEmpty());
    EXPECT_EQ(qlytest::readFileBytes(dest), "alt");
    EXPECT_FALSE(QFile::exists(dest + ".part"));

    // Nobody listening: the message without a response text.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    messages.clear();
    dlg.Source = QStringLiteral("http://127.0.0.1:%1/datei.exe").arg(port);
    dlg.Execute();
    EXPECT_EQ(dlg.Result(), app::mrAbort);
    EXPECT_EQ(messages, QStringList{"Fehler beim Verbinden zum Webserver.\n\r"});
    EXPECT_TRUE(launched.isEmpty());
    EXPECT_EQ(qlytest::readFileBytes(dest), "alt");
}

TEST_F(Download, AnExistingFileIsReplacedOnlyAfterYes)
{
    qlytest::writeFileBytes(dest, "alt");
    const int before = HttpServer::Instance().Requests();
    answer = false;
    Run("/bytes/100");
    EXPECT_EQ(questions, QStringList{"Die Datei '" + dest + "' existiert bereits. Durch neue ersetzen?"});
    EXPECT_EQ(HttpServer::Instance().Requests(), before); // the server saw nothing
    EXPECT_EQ(qlytest::readFileBytes(dest), "alt");
    answer = true;
    Run("/bytes/100");
    EXPECT_EQ(qlytest::readFileBytes(dest), Pattern(100));
    EXPECT_EQ(questions.size(), 2);
}

TEST_F(Download, EnglishTexts)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    app::TOrvDownloadDialog english;
    EXPECT_FALSE(english.Texts.German);
    dlg.Texts = english.Texts;
    qlytest::writeFileBytes(dest, "alt");
    Run("/bytes/10240");
    EXPECT_EQ(questions, QStringList{"File '" + dest + "' already exists. Replace existing file?"});
    EXPECT_EQ(progress, "Progress : 10.00 kBytes of 10.00 kBytes received");
    EXPECT_EQ(source, "Source: 10240");
    EXPECT_EQ(target, "Destination: " + dest.left(47) + "...");
    EXPECT_EQ(cancelCaption, "Cancel");
    messages.clear();
    Run("/missing");
    EXPECT_EQ(messages, QStringList{"Error while connecting to server.\n\r404 Not Found"});
}

TEST_F(Download, CancelAndTheCloseButtonStopTheTransfer)
{
    dlg.ExecFile = true;
    dlg.AlwaysOverwrite = true;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    bool animating = false;
    for (int how = 0; how < 2; ++how) {
        onShown = [&, how](app::TDownloadProgressForm& f) {
            QTimer::singleShot(700, &f, [&, how, form = &f] {
                animating = form->avi_copy->Active();
                if (how == 0)
                    form->btn_abbrechen->click();
                else
                    form->close(); // the window's close button
            });
        };
        ticks = 0;
        Run("/slow/400000");
        EXPECT_TRUE(animating) << how;
        EXPECT_TRUE(dlg.Cancelled()) << how;
        EXPECT_EQ(dlg.Result(), app::mrCancel) << how;
        EXPECT_TRUE(messages.isEmpty()) << how;
        EXPECT_TRUE(launched.isEmpty()) << how;
        EXPECT_FALSE(QFile::exists(dest)) << how;
        EXPECT_FALSE(QFile::exists(dest + ".part")) << how;
        EXPECT_GE(ticks, 15) << how; // the program went on meanwhile
        EXPECT_TRUE(progress.startsWith("Fortschritt: ")) << how;
    }
}

TEST_F(Download, NothingWithoutSourceOrDestination)
{
    dlg.Source.clear();
    dlg.Execute();
    EXPECT_EQ(dlg.Result(), app::mrNone);
    dlg.Source = HttpServer::Instance().Url("/bytes/10");
    dlg.Destination.clear();
    dlg.Execute();
    EXPECT_EQ(dlg.Result(), app::mrNone);
}

TEST_F(Download, TheDataAccessCheckDownloadsTheInstaller)
{
    app::MdacStart saved = app::MdacStartSettings();
    app::MdacStart& s = app::MdacStartSettings();
    int asked = 0;
    s.Version = [] { return 2.1; };
    s.Ask = [&](const QString&) {
        ++asked;
        return true;
    };
    s.Source = HttpServer::Instance().Url("/bytes/5000");
    s.ProgramFolder = dir.path();
    qlytest::writeFileBytes(dir.file("mdac_typ25sp3.exe"), "alt");
    bool always = false, exec = false;
    QString destination;
    s.Prepare = [&](app::TOrvDownloadDialog& d) {
        always = d.AlwaysOverwrite;
        exec = d.ExecFile;
        destination = d.Destination;
        d.Launcher = [&](const QString& p) {
            launched << p;
            return true;
        };
        d.Ask = [&](const QString& q) {
            questions << q;
            return false;
        };
    };
    EXPECT_FALSE(app::CheckMdacVersion()); // the start ends after the download
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(always);
    EXPECT_TRUE(exec);
    EXPECT_EQ(destination, dir.file("mdac_typ25sp3.exe"));
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(qlytest::readFileBytes(destination), Pattern(5000));
    EXPECT_EQ(launched, QStringList{destination});
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className(); // no main window

    // The version read again when the download starts: new enough by then, nothing is fetched.
    int reads = 0;
    s.Version = [&] { return ++reads == 1 ? 2.1 : 2.5; };
    launched.clear();
    EXPECT_FALSE(app::CheckMdacVersion());
    EXPECT_TRUE(launched.isEmpty());

    // The program's own data-access version never asks; without a source nothing is fetched.
    s.Version = saved.Version;
    s.Source.clear();
    asked = 0;
    EXPECT_TRUE(app::CheckMdacVersion());
    EXPECT_EQ(asked, 0);
    app::DownloadMdac();
    s = saved;
}

TEST(DownloadScreenshot, TheProgressWindow)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    app::TDownloadTexts texts;
    app::TDownloadProgressForm form("http://beispiel.de/setup/mdac_typ25sp3.exe", "/opt/quillory/programm/ordner/mit/langem/namen/mdac_typ25sp3.exe", texts);
    form.StartTimer->setInterval(60000); // no transfer here
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.lab_speichern->setText(texts.SourceLabel("http://beispiel.de/setup/mdac_typ25sp3.exe"));
    form.lab_pfad->setText(texts.DestinationLabel("/opt/quillory/programm/ordner/mit/langem/namen/mdac_typ25sp3.exe"));
    form.lab_progress->setText(texts.Progress(3 * 1024 * 1024 + 512, 7 * 1024 * 1024));
    form.pro_download->setValue(45);
    form.avi_copy->Start();
    QTest::qWait(300);
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (!out.isEmpty())
        form.grab().save(out + "/download-dialog.png");
    EXPECT_EQ(form.lab_progress->text(), "Fortschritt: 3.072,50 kByte von 7.168,00 kByte heruntergeladen");
    form.reject();
    QLocale::setDefault(QLocale::c());
}

} // namespace
