// Each page of the main window at the design size and maximized: pictures beside the test
// binary (screenshots/) and geometry checks on what used to be cut or left small.
#include "app/MainForm.h"
#include "TestUtil.h"

#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class LayoutTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    QStringList errors;

    std::unique_ptr<app::TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [](const QString&, const QString&, QMessageBox::StandardButtons) { return QMessageBox::No; };
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        return std::make_unique<app::TMainForm>(site);
    }
    static QString ShotDir()
    {
        const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
        QDir().mkpath(out);
        return out;
    }
};

} // namespace

TEST_F(LayoutTest, Explore)
{
    auto f = Make();
    for (QSize size : { QSize(792, 513), QSize(1600, 1000) }) {
        f->resize(size);
        f->show();
        QTest::qWait(50);
        QWidget* pages[] = { f->TabSender, f->TabRecipients, f->TabContent, f->TabPreview, f->TabSendMail };
        int n = 0;
        for (QWidget* p : pages) {
            f->BackGroundBottom->setCurrentWidget(p);
            QApplication::processEvents();
            f->grab().toImage().save(QStringLiteral("%1/explore-%2-page%3.png").arg(ShotDir()).arg(size.width()).arg(++n));
        }
    }
}
