#include "controls/ChmHelp.h"
#include "QStringPrint.h"
#include "TestUtil.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {
// Builds a small help file with the free CHM compiler (skipped where it is not installed).
class ChmHelpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString compiler = QStandardPaths::findExecutable("chmcmd");
        if (compiler.isEmpty())
            GTEST_SKIP() << "chmcmd is not installed";
        Write("index.htm", "<html><head><title>Start</title></head><body><h1>Willkommen</h1><a href=\"faq.htm\">FAQ</a></body></html>");
        Write("faq.htm", "<html><head><title>FAQ</title></head><body><h1>Fragen und Antworten</h1></body></html>");
        Write("CSHelp.txt", ".topic 77\nEin kurzer Hilfetext.\n\n.topic 78\nNoch einer.\n");
        Write("help.hhp", "[OPTIONS]\nCompiled file=Quillory.chm\nDefault topic=index.htm\nTitle=Test\n\n"
                          "[FILES]\nindex.htm\nfaq.htm\nCSHelp.txt\n\n[MAP]\n#define IDH_FAQ 3\n\n[ALIAS]\nIDH_FAQ=faq.htm\n");
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(compiler, { "help.hhp" });
        ASSERT_TRUE(p.waitForFinished(30000));
        chm = dir.file("Quillory.chm");
        ASSERT_TRUE(QFile::exists(chm));
    }
    void Write(const QString& name, const QByteArray& text)
    {
        QFile f(dir.file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    qlytest::TempDir dir;
    QString chm;
};
}

TEST_F(ChmHelpTest, ReadsPagesStartPageAndContextMap)
{
    TChmFile f(chm);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.DefaultTopic(), "/index.htm");
    EXPECT_EQ(f.TopicOfContext(3), "/faq.htm");
    EXPECT_EQ(f.TopicOfContext(4), "");
    EXPECT_TRUE(f.Read("/faq.htm").contains("Fragen und Antworten"));
    EXPECT_TRUE(f.Read("/nicht-da.htm").isEmpty());
    EXPECT_TRUE(f.Pages().contains("/index.htm"));
}

TEST_F(ChmHelpTest, BackendOpensContentsTopicsContextsAndPopups)
{
    QStringList messages;
    auto saved = ChmHelpMessage();
    ChmHelpMessage() = [&](QWidget*, const QString& text) { messages << text; };
    std::unique_ptr<THtmlHelpBackend> backend = CreateChmHelpBackend();
    ASSERT_TRUE(backend->LoadHHCtrl());
    THelpData d;
    auto* win = qobject_cast<TChmHelpWindow*>(backend->HtmlHelp(nullptr, chm, HH_DISPLAY_TOC, d));
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(win->CurrentPage(), "/index.htm");
    EXPECT_TRUE(win->toPlainText().contains("Willkommen"));

    EXPECT_EQ(backend->HtmlHelp(nullptr, chm + "::/faq.htm", HH_DISPLAY_TOPIC, d), win);
    EXPECT_TRUE(win->toPlainText().contains("Fragen und Antworten"));

    backend->HtmlHelp(nullptr, chm, HH_DISPLAY_TOC, d);
    d.number = 3;
    EXPECT_EQ(backend->HtmlHelp(nullptr, chm, HH_HELP_CONTEXT, d), win);
    EXPECT_EQ(win->CurrentPage(), "/faq.htm");

    THelpData popup;
    popup.popup.idString = 77;
    popup.popup.pt = QPoint(10, 10);
    auto* label = qobject_cast<QLabel*>(backend->HtmlHelp(nullptr, chm + "::/CSHelp.txt", HH_DISPLAY_TEXT_POPUP, popup));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Ein kurzer Hilfetext.");

    d.number = 4;
    EXPECT_EQ(backend->HtmlHelp(nullptr, chm, HH_HELP_CONTEXT, d), nullptr);
    EXPECT_EQ(messages, QStringList({ "Zu diesem Thema (Nummer 4) gibt es in der Hilfedatei keine Seite." }));

    backend->HtmlHelp(nullptr, QString(), HH_CLOSE_ALL, d);
    EXPECT_FALSE(win->isVisible());
    backend->UnloadHHCtrl();
    ChmHelpMessage() = saved;
}
