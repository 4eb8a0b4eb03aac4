// The help file the build compiles (Quillory.chm): every help context the program's windows
// can ask for has a page in it, and F1 and the help menu open the right page in the window.
#include "app/MainForm.h"
#include "controls/ChmHelp.h"
#include "importwizard/ImportWizardForm.h"
#include "recipients/views/RecipientsGrid.h"
#include "recipients/views/RemoveDoubles.h"
#include "TestUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QDir>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QString kBuiltHelp = QStringLiteral(QLY_HELP_FILE);

// The help contexts of a window and all its widgets.
void CollectContexts(QWidget* w, QSet<int>& out)
{
    if (const int ctx = w->property("HelpContext").toInt())
        out.insert(ctx);
    for (QWidget* child : w->findChildren<QWidget*>())
        if (const int ctx = child->property("HelpContext").toInt())
            out.insert(ctx);
}

class HelpFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(kBuiltHelp))
            GTEST_SKIP() << "the help file was not built (chmcmd of fp-utils missing): " << kBuiltHelp.toStdString();
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
        ASSERT_TRUE(QFile::copy(kBuiltHelp, dir.file("Quillory.chm")));
        m_savedMessage = ChmHelpMessage();
        ChmHelpMessage() = [this](QWidget*, const QString& text) { messages << text; };
    }
    void TearDown() override
    {
        if (m_savedMessage)
            ChmHelpMessage() = m_savedMessage;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TChmHelpWindow*>(w))
                w->close();
    }
    std::unique_ptr<app::TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.onException = [](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                ADD_FAILURE() << ex.what();
            }
        };
        return std::make_unique<app::TMainForm>(site);
    }
    static TChmHelpWindow* HelpWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<TChmHelpWindow*>(w); h && h->isVisible())
                return h;
        return nullptr;
    }
    static QString ShownPage()
    {
        TChmHelpWindow* h = HelpWindow();
        return h ? h->CurrentPage() : QStringLiteral("<no help window>");
    }

    qlytest::TempDir dir;
    QStringList messages;
    std::function<void(QWidget*, const QString&)> m_savedMessage;
};

TEST_F(HelpFile, EveryHelpContextOfTheProgramHasAPage)
{
    auto f = Make();
    QSet<int> contexts;
    CollectContexts(f.get(), contexts);
    TImportWizardForm wizard(f.get());
    CollectContexts(&wizard, contexts);
    recipients::TRemoveDoublesForm doubles(f.get());
    CollectContexts(&doubles, contexts);
    EXPECT_EQ(contexts, QSet<int>({1, 2, 3, 4, 5, 6, 7}));

    TChmFile chm(dir.file("Quillory.chm"));
    ASSERT_TRUE(chm.IsOpen());
    const QMap<int, QString> expected = {{1, "/absender.htm"}, {2, "/empfaenger.htm"}, {3, "/inhalt.htm"}, {4, "/vorschau.htm"},
                                         {5, "/versand.htm"}, {6, "/import.htm"}, {7, "/doppelte.htm"}};
    for (int ctx : contexts) {
        const QString page = chm.TopicOfContext(quint32(ctx));
        EXPECT_EQ(page.toStdString(), expected.value(ctx).toStdString()) << "context " << ctx;
        const QString text = QString::fromUtf8(chm.Read(page));
        EXPECT_TRUE(text.contains("<h1>")) << "context " << ctx;
    }
    // The contents open the start page; "FAQ" asks for the topic "faq" (".htm" added).
    EXPECT_EQ(chm.DefaultTopic(), "/index.htm");
    EXPECT_TRUE(QString::fromUtf8(chm.Read("/faq.htm")).contains(QStringLiteral("Häufige Fragen")));
    // Every page the start page and the others link to is in the file.
    for (const QString& page : chm.Pages()) {
        const QString text = QString::fromUtf8(chm.Read(page));
        static const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
        for (auto m = link.globalMatch(text); m.hasNext();) {
            const QString target = QLatin1Char('/') + m.next().captured(1);
            EXPECT_TRUE(chm.Exists(target)) << page.toStdString() << " links to " << target.toStdString();
        }
    }
}

TEST_F(HelpFile, F1AndTheHelpMenuOpenTheRightPage)
{
    auto f = Make();
    f->resize(900, 700);
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));

    // F1 in "Von" on the sender page.
    QTest::mouseClick(f->EditFrom, Qt::LeftButton);
    QTest::keyClick(f->windowHandle(), Qt::Key_F1);
    ASSERT_TRUE(QTest::qWaitFor([] { return HelpWindow() != nullptr; }, 3000)) << messages.join('\n').toStdString();
    EXPECT_EQ(ShownPage(), "/absender.htm");
    EXPECT_TRUE(HelpWindow()->toPlainText().contains("Absender Informationen"));

    // F1 in the body of the content page.
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    QTest::mouseClick(f->SpeedButtonContent, Qt::LeftButton);
    QTest::mouseClick(f->ComboBoxSubject->lineEdit(), Qt::LeftButton);
    QTest::keyClick(f->windowHandle(), Qt::Key_F1);
    EXPECT_EQ(ShownPage(), "/inhalt.htm");

    // "Hilfe" -> "FAQ" and "Hilfe" -> "Hilfe".
    const auto menu = [&](const char* action) {
        f->activateWindow();
        QTest::mouseClick(f->SpeedButtonAbout, Qt::LeftButton);
        QMenu* m = f->PopupMenuAbout;
        ASSERT_TRUE(QTest::qWaitFor([m] { return m->isVisible(); }, 3000));
        QAction* a = m->findChild<QAction*>(QLatin1String(action));
        ASSERT_NE(a, nullptr);
        QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(a).center());
    };
    menu("MenuFaq");
    EXPECT_EQ(ShownPage(), "/faq.htm");
    menu("MenuHelp");
    EXPECT_EQ(ShownPage(), "/index.htm");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    f->close();
}

} // namespace
