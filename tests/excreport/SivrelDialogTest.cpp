// The report dialog and the request dialog, offscreen.
#include "excreport/SivrelDialog.h"
#include "excreport/SivrelLook.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelSmtpDialog.h"
#include "excreport/SivrelSupport.h"
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <thread>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace excreport;

namespace {

int g_argc = 1;
char g_name[] = "test";
char* g_argv[] = {g_name, nullptr};

QApplication& App()
{
    static QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance())
                                   ? qobject_cast<QApplication*>(QCoreApplication::instance())
                                   : new QApplication(g_argc, g_argv);
    return *app;
}

template <typename T>
T* Child(QWidget* parent, const char* id)
{
    T* w = parent->findChild<T*>(QString::fromLatin1(id));
    EXPECT_TRUE(w) << id;
    return w;
}

void Shot(QWidget& w, const QString& name)
{
    // Screenshots to look at, when QLY_EXC_SHOTS names a folder.
    const QString folder = qEnvironmentVariable("QLY_EXC_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    w.grab().save(folder + u'/' + name + QStringLiteral(".png"));
}

struct Fixture {
    TSivrelModuleOptions options{QString(), false};
    TSivrelReportTexts texts;
    TSivrelDialogData data;
    Fixture()
    {
        App();
        texts.MessageText = QStringLiteral("Access violation at address 00005555DEADBEEF.\r\nRead of address 0000000000000000.");
        texts.HeaderText = QStringLiteral("SivrelLog 4.6.7\r\n\r\nApplication:\r\n---\r\n  1.1 Start Date: now\r\n");
        texts.CPUText = QStringLiteral("Registers:\r\n");
        data.Texts = &texts;
        data.Options = &options;
        auto m = std::make_shared<TSivrelModuleInfo>();
        m->FileName = QStringLiteral("/usr/lib/x86_64-linux-gnu/libQt6Core.so.6");
        m->Version = QStringLiteral("5.1.2600.2180");
        m->FileSize = 1234567;
        m->Handle = 0x7F0000000000;
        m->ModuleType = mtLibrary;
        data.Modules = {m};
        auto exe = std::make_shared<TSivrelModuleInfo>();
        exe->FileName = QStringLiteral("/usr/bin/quillory");
        exe->ModuleType = mtExecutable;
        data.CallStack = {{4, exe, 0x5555AAAA1234, QStringLiteral("MainForm.cpp"), QStringLiteral("TMainForm"),
                           QStringLiteral("EditSmtpServerKeyDown"), 812},
                          {3, exe, 0x5555AAAA2000, QStringLiteral("TMainForm"), {}, QStringLiteral("hidden"), 0},
                          {3, m, 0x7F0000001000, QStringLiteral("QWidget"), {}, QStringLiteral("event"), 0}};
    }
};

} // namespace

TEST(SivrelDialog, CollapsedSizeFromTheMetrics)
{
    TSivrelModuleOptions options(QString(), false);
    TSivrelDialogMetrics m;
    m.Extent = [](const QString& line) { return QSize(6 * int(line.size()), 13); };
    m.FrameWidth = m.FrameHeight = 4;
    m.CaptionHeight = 18;
    const TSivrelCollapsedLayout small = CollapsedLayout(QStringLiteral("Boom."), options, m, 20);
    EXPECT_EQ(small.Window.width(), 370);
    EXPECT_EQ(small.TextHeight, 26);
    EXPECT_EQ(small.Window.height(), 0 + 8 + 18 + 86 + 20);
    const TSivrelCollapsedLayout wide = CollapsedLayout(QString(200, u'x'), options, m, 34);
    EXPECT_EQ(wide.Window.width(), 640);
    EXPECT_EQ(wide.TextHeight, 26 + 2 * 13);
    EXPECT_EQ(wide.Window.height(), 52 - 39 + 8 + 18 + 86 + 34);
    // A one-word message with short captions still gives 250 pixels.
    options.SetText(16, QStringLiteral("S"));
    options.SetText(18, QStringLiteral("C"));
    EXPECT_EQ(CollapsedLayout(QStringLiteral("x"), options, m, 20).Window.width(), 250);

    EXPECT_EQ(ShortVersion(QStringLiteral("5.1.2600.2180")), QStringLiteral("5.1.x"));
    EXPECT_EQ(ShortVersion(QStringLiteral("6.4")), QStringLiteral("6.4"));
    EXPECT_EQ(SizeInKb(1234567), QStringLiteral("1206 Kb"));
}

TEST(SivrelDialog, CheckBoxesAndButtons)
{
    Fixture f;
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        EXPECT_FALSE(Child<QCheckBox>(&dialog, "Id3000")->isVisible());
        EXPECT_FALSE(Child<QCheckBox>(&dialog, "Id4000")->isVisible());
        EXPECT_TRUE(Child<QCheckBox>(&dialog, "Id5000")->isVisible());
        EXPECT_EQ(dialog.ExtraHeight(), 20);
        EXPECT_EQ(Child<QPushButton>(&dialog, "Id2")->text(), QStringLiteral("&OK"));
        EXPECT_EQ(Child<QPushButton>(&dialog, "Id4")->text(), QStringLiteral("&Details >>"));
        EXPECT_EQ(Child<QLabel>(&dialog, "Id101")->text(), f.texts.MessageText);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Error."));
        Shot(dialog, QStringLiteral("collapsed-none"));
    }
    f.options.SetSendMode(smSmtpDirect);
    f.options.SetAttachScreenshot(true);
    f.data.SendSwitch = true;
    f.data.ScreenshotSwitch = true;
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        auto* send = Child<QCheckBox>(&dialog, "Id3000");
        auto* shot = Child<QCheckBox>(&dialog, "Id4000");
        EXPECT_TRUE(send->isVisible());
        EXPECT_TRUE(shot->isVisible());
        EXPECT_EQ(dialog.ExtraHeight(), 34);
        Shot(dialog, QStringLiteral("collapsed-send"));
        send->setChecked(false);
        EXPECT_FALSE(shot->isEnabled());
        send->setChecked(true);
        EXPECT_TRUE(shot->isEnabled());
        Child<QCheckBox>(&dialog, "Id5000")->setChecked(true);
        shot->setChecked(false);
        dialog.accept();
        EXPECT_TRUE(f.data.SendSwitch);
        EXPECT_FALSE(f.data.ScreenshotSwitch);
        EXPECT_TRUE(f.data.CopySwitch);
    }
    // A duplicate hides the send box.
    f.data.Duplicate = true;
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        EXPECT_FALSE(Child<QCheckBox>(&dialog, "Id3000")->isVisible());
        EXPECT_EQ(dialog.ExtraHeight(), 20);
    }
    // Button 3 from the fourth report of a run.
    f.data.Duplicate = false;
    f.options.SetOfferTerminate(true);
    f.options.SetTerminateThreshold(3);
    for (const auto& [reports, action, shown, text] :
         {std::tuple{3, taTerminate, false, "&Terminate"}, std::tuple{4, taTerminate, true, "&Terminate"},
          std::tuple{4, taRestart, true, "&Restart"}}) {
        f.data.ReportsThisRun = reports;
        f.options.SetTerminateAction(action);
        f.data.TerminateChosen = false;
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        auto* button = Child<QPushButton>(&dialog, "Id3");
        EXPECT_EQ(button->isVisible(), shown) << reports;
        EXPECT_EQ(button->text().toStdString(), text);
        if (shown) {
            button->click();
            EXPECT_TRUE(f.data.TerminateChosen);
        }
    }
}

TEST(SivrelDialog, DetailsPagesAndProfile)
{
    Fixture f;
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        Child<QPushButton>(&dialog, "Id4")->click();
        EXPECT_TRUE(dialog.Expanded());
        EXPECT_EQ(Child<QPushButton>(&dialog, "Id4")->text(), QStringLiteral("<< &Details"));
        EXPECT_EQ(dialog.size(), QSize(640, 385 + 20));
        auto* tabs = Child<QTabWidget>(&dialog, "Id1000");
        EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
        EXPECT_EQ(tabs->findChild<QPlainTextEdit*>(QStringLiteral("Id103"))->toPlainText(),
                  QString(f.texts.HeaderText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        Shot(dialog, QStringLiteral("expanded-general"));
        tabs->setCurrentIndex(1);
        auto* stack = tabs->findChild<QTreeWidget*>(QStringLiteral("Id103"));
        ASSERT_TRUE(stack);
        ASSERT_EQ(stack->topLevelItemCount(), 2) << "an export of the program itself is not listed";
        EXPECT_EQ(stack->topLevelItem(0)->text(4), QStringLiteral("EditSmtpServerKeyDown"));
        EXPECT_EQ(stack->topLevelItem(0)->text(5), QStringLiteral("812"));
        stack->setColumnWidth(4, 222);
        Shot(dialog, QStringLiteral("expanded-stack"));
        tabs->setCurrentIndex(2);
        auto* modules = tabs->findChild<QTreeWidget*>(QStringLiteral("Id103"));
        ASSERT_TRUE(modules);
        ASSERT_EQ(modules->topLevelItemCount(), 1);
        EXPECT_EQ(modules->topLevelItem(0)->text(3), QStringLiteral("5.1.x"));
        EXPECT_EQ(modules->topLevelItem(0)->text(4), QStringLiteral("1206 Kb"));
        EXPECT_EQ(modules->topLevelItem(0)->text(5), QStringLiteral("/usr/lib/x86_64-linux-gnu"));
        Shot(dialog, QStringLiteral("expanded-modules"));
        dialog.setGeometry(30, 40, 700, 450);
        dialog.accept();
    }
    const QString ini = SivrelProfileFile();
    EXPECT_EQ(ReadIniString(ini, "Coordinates", "Width", ""), QStringLiteral("700"));
    EXPECT_EQ(ReadIniString(ini, "Coordinates", "Height", ""), QStringLiteral("430"));
    EXPECT_EQ(ReadIniString(ini, "Coordinates", "WindowsState", ""), QStringLiteral("1"));
    EXPECT_EQ(ReadIniString(ini, "Coordinates", "Col4", ""), QStringLiteral("222"));
    // Read back; a stored minimised state opens normal, a top below the screen is pulled up.
    WriteIniString(ini, "Coordinates", "WindowsState", "6");
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        dialog.SetExpanded(true);
        EXPECT_EQ(dialog.size(), QSize(700, 450));
        EXPECT_FALSE(dialog.isMinimized());
        auto* tabs = Child<QTabWidget>(&dialog, "Id1000");
        tabs->setCurrentIndex(1);
        EXPECT_EQ(tabs->findChild<QTreeWidget*>(QStringLiteral("Id103"))->columnWidth(4), 222);
    }
    WriteIniString(ini, "Coordinates", "Top", "100000");
    WriteIniString(ini, "Coordinates", "Left", "-50");
    {
        TSivrelReportDialog dialog(f.data);
        dialog.SetExpanded(true);
        const QRect screen = dialog.screen()->availableGeometry();
        EXPECT_EQ(dialog.geometry().top(), screen.height() - 430 - 20);
        EXPECT_EQ(dialog.geometry().left(), 0);
    }
}

TEST(SivrelDialog, CaptionGradientBands)
{
    // Each band is the previous colour times 0.96 and 2 pixels shorter at top and bottom.
    const auto active = CaptionBands(QRect(4, 4, 300, 18), true);
    ASSERT_EQ(active.size(), 3u);
    EXPECT_EQ(active[0].first, QRect(4, 4, 300, 18));
    EXPECT_EQ(active[0].second, QColor(125, 148, 186));
    EXPECT_EQ(active[1].first, QRect(4, 6, 300, 14));
    EXPECT_EQ(active[1].second, QColor(120, 142, 179));
    EXPECT_EQ(active[2].first, QRect(4, 8, 300, 10));
    EXPECT_EQ(active[2].second, QColor(115, 136, 172));
    const auto inactive = CaptionBands(QRect(0, 0, 10, 24), false);
    ASSERT_EQ(inactive.size(), 4u);
    EXPECT_EQ(inactive[0].second, QColor(145, 145, 145));
    EXPECT_TRUE(CaptionBands(QRect(0, 0, 10, 4), true).empty()) << "a caption under 5 pixels has no band";
}

TEST(SivrelDialog, ListIcons)
{
    App();
    auto exe = std::make_shared<TSivrelModuleInfo>();
    exe->ModuleType = mtExecutable;
    auto package = std::make_shared<TSivrelModuleInfo>();
    package->ModuleType = mtPackage;
    auto library = std::make_shared<TSivrelModuleInfo>();
    library->ModuleType = mtLibrary;
    for (const auto& [kind, module, icon] :
         {std::tuple{uint8_t(4), exe, int(siPas)}, std::tuple{uint8_t(4), library, int(siPas)}, std::tuple{uint8_t(3), exe, int(siVcl)},
          std::tuple{uint8_t(2), package, int(siBpl)}, std::tuple{uint8_t(3), library, int(siDll)},
          std::tuple{uint8_t(2), TSivrelModuleRef(), int(siDll)}}) {
        TSivrelDebugInfo e;
        e.Kind = kind;
        e.Module = module;
        EXPECT_EQ(CallStackIcon(e), icon) << int(kind);
    }
    for (const auto& [name, type, icon] :
         {std::tuple{"/opt/x/rtl.bpl", mtLibrary, int(siBpl)}, std::tuple{"C:\\x\\DESIGN.DPL", mtUnknown, int(siBpl)},
          std::tuple{"/opt/x/Tool.Exe", mtLibrary, int(siVcl)}, std::tuple{"/usr/bin/quillory", mtExecutable, int(siVcl)},
          std::tuple{"/usr/lib/libQt6Core.so.6", mtLibrary, int(siDll)}})
        EXPECT_EQ(ModuleIcon(QString::fromLatin1(name), uint8_t(type)), icon) << name;
    // Four different 16 x 16 drawings, none of them empty.
    QList<QImage> images;
    for (int i = 0; i < 4; ++i) {
        const QImage image = SivrelListIcon(i).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_FALSE(images.contains(image)) << i;
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255;
        EXPECT_GT(opaque, 60) << i;
        images << image;
    }
    const QImage monitor = SivrelMonitorPicture().toImage();
    EXPECT_EQ(monitor.size(), QSize(32, 32));
    const QImage masked = SivrelMaskedMonitor().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(masked.pixel(0, 31)), 0) << "the bottom-left colour is left out";
    EXPECT_EQ(qAlpha(masked.pixel(31, 0)), 0);
    EXPECT_EQ(qAlpha(masked.pixel(16, 12)), 255);
}

TEST(SivrelDialog, CustomLookAndNativeLook)
{
    Fixture f;
    // With the custom look: no decorations from the window manager; the dialog paints the frame,
    // the caption gradient and the monitor, and its controls sit inside the frame.
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
        const QImage image = dialog.grab().toImage();
        const bool active = dialog.isActiveWindow();
        const QMargins m = dialog.contentsMargins();
        ASSERT_EQ(m.left(), 4);
        const int caption = m.top() - 4;
        ASSERT_GE(caption, 17);
        EXPECT_EQ(dialog.size(), CollapsedLayout(f.texts.MessageText, f.options, [&] {
                                     TSivrelDialogMetrics metrics;
                                     const QFontMetrics fm(QApplication::font("QMessageBox"));
                                     metrics.Extent = [fm](const QString& l) { return QSize(fm.horizontalAdvance(l), fm.lineSpacing()); };
                                     metrics.CaptionHeight = caption;
                                     return metrics;
                                 }(), 20).Window);
        EXPECT_EQ(QColor(image.pixel(0, 0)), active ? QColor(64, 64, 64) : QColor(48, 48, 48));
        EXPECT_EQ(QColor(image.pixel(2, 2)), active ? QColor(128, 128, 128) : QColor(96, 96, 96));
        EXPECT_EQ(QColor(image.pixel(2, image.height() - 3)), active ? QColor(128, 128, 128) : QColor(96, 96, 96));
        const auto bands = CaptionBands(QRect(4, 4, dialog.width() - 8, caption), active);
        const int right = dialog.width() - 6;  // clear of the caption text
        EXPECT_EQ(QColor(image.pixel(right, 4)), bands.front().second);
        EXPECT_EQ(QColor(image.pixel(right, bands.back().first.center().y())), bands.back().second);
        // The monitor 8 pixels into the client area; its key colour shows the background.
        const QPoint origin(4 + 8, 4 + caption + 8);
        EXPECT_EQ(QColor(image.pixel(origin + QPoint(5, 5))), QColor(0, 0, 96));
        EXPECT_EQ(QColor(image.pixel(origin + QPoint(0, 31))), QColor(212, 208, 200));
        EXPECT_EQ(Child<QLabel>(&dialog, "Id101")->pos(), QPoint(4 + 48, 4 + caption + 8));
        Shot(dialog, QStringLiteral("custom-collapsed"));
        dialog.SetExpanded(true);
        const QRect tabs = Child<QTabWidget>(&dialog, "Id1000")->geometry();
        EXPECT_EQ(tabs.topLeft(), QPoint(4 + 4, 4 + caption + 52));
        EXPECT_EQ(tabs.right(), dialog.width() - 4 - 4 - 1);
        Child<QTabWidget>(&dialog, "Id1000")->setCurrentIndex(1);
        Shot(dialog, QStringLiteral("custom-expanded"));
        dialog.reject();
    }
    // Without it: the window manager's frame; the monitor at 8,8 of the window.
    f.options.SetCustomDialogLook(false);
    {
        TSivrelReportDialog dialog(f.data);
        dialog.show();
        EXPECT_FALSE(dialog.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(dialog.contentsMargins(), QMargins());
        const QImage image = dialog.grab().toImage();
        EXPECT_EQ(QColor(image.pixel(0, 0)), dialog.palette().color(QPalette::Window));
        EXPECT_EQ(QColor(image.pixel(8 + 5, 8 + 5)), QColor(0, 0, 96));
        EXPECT_EQ(Child<QLabel>(&dialog, "Id101")->pos(), QPoint(48, 8));
        Shot(dialog, QStringLiteral("native-collapsed"));
        dialog.SetExpanded(true);
        Child<QTabWidget>(&dialog, "Id1000")->setCurrentIndex(2);
        Shot(dialog, QStringLiteral("native-expanded"));
        dialog.reject();
    }
    // The request dialog takes the same look.
    f.options.SetCustomDialogLook(true);
    TSivrelRequestDialog request(f.options);
    request.show();
    EXPECT_TRUE(request.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_GE(Child<QLabel>(&request, "Id100")->geometry().top(), request.contentsMargins().top());
    Shot(request, QStringLiteral("custom-request"));
}

TEST(SivrelDialog, DataForTheHelperProcess)
{
    Fixture f;
    f.options.SetText(2, QStringLiteral("Fehler."));
    f.options.SetCustomDialogLook(false);
    f.options.SetSendMode(smSmtpDirect);
    f.data.ReportsThisRun = 5;
    f.data.SendSwitch = true;
    TSivrelDialogPacket packet;
    ASSERT_TRUE(UnpackDialogData(PackDialogData(f.data), packet));
    const TSivrelDialogData& d = packet.Data;
    EXPECT_EQ(d.Texts->MessageText, f.texts.MessageText);
    EXPECT_EQ(d.Texts->HeaderText, f.texts.HeaderText);
    EXPECT_EQ(d.Options->GetText(2), QStringLiteral("Fehler."));
    EXPECT_FALSE(d.Options->CustomDialogLook());
    EXPECT_EQ(d.Options->SendMode(), smSmtpDirect);
    EXPECT_EQ(d.ReportsThisRun, 5);
    EXPECT_TRUE(d.SendSwitch);
    EXPECT_FALSE(d.ScreenshotSwitch);
    // The executable is not in the module list but the call stack still knows it; entries share modules.
    ASSERT_EQ(d.Modules.size(), 1u);
    EXPECT_EQ(d.Modules[0]->Version, QStringLiteral("5.1.2600.2180"));
    EXPECT_EQ(d.Modules[0]->Handle, uintptr_t(0x7F0000000000));
    ASSERT_EQ(d.CallStack.size(), 3u);
    EXPECT_EQ(d.CallStack[0].Module->FileName, QStringLiteral("/usr/bin/quillory"));
    EXPECT_EQ(d.CallStack[0].Module->ModuleType, mtExecutable);
    EXPECT_EQ(d.CallStack[0].Module, d.CallStack[1].Module);
    EXPECT_EQ(d.CallStack[2].Module, d.Modules[0]);
    EXPECT_EQ(d.CallStack[0].Line, 812);
    EXPECT_EQ(d.CallStack[0].Address, uintptr_t(0x5555AAAA1234));
    EXPECT_EQ(d.CallStack[0].ProcedureName, QStringLiteral("EditSmtpServerKeyDown"));
    const QByteArray bytes = PackDialogData(f.data);
    EXPECT_FALSE(UnpackDialogData(bytes.left(bytes.size() - 3), packet)) << "a cut packet";

    // The answer travels as the exit code; other codes are no answer.
    for (int bits = 0; bits < 16; ++bits) {
        TSivrelDialogData in, out;
        in.SendSwitch = bits & 1;
        in.ScreenshotSwitch = bits & 2;
        in.CopySwitch = bits & 4;
        in.TerminateChosen = bits & 8;
        ASSERT_TRUE(ReadDialogAnswer(DialogAnswerCode(in), out));
        EXPECT_EQ(DialogAnswerCode(out), 64 | bits);
    }
    TSivrelDialogData none;
    for (int code : {-1, 0, 1, 2, 63, 80, 128})
        EXPECT_FALSE(ReadDialogAnswer(code, none)) << code;
}

TEST(SivrelDialog, RequestDialogAndIdeMessage)
{
    App();
    TSivrelModuleOptions options(QString(), false);
    TSivrelRequestDialog request(options);
    request.show();
    EXPECT_EQ(request.windowTitle(), QStringLiteral("Request"));
    EXPECT_EQ(Child<QLabel>(&request, "Id100")->text(), QStringLiteral("Please describe the steps to reproduce the error:"));
    Child<QPlainTextEdit>(&request, "Id101")->setPlainText(QStringLiteral("  \nOpened the list.\n\n\n\nClicked.  \n"));
    Shot(request, QStringLiteral("request"));
    request.reject();
    EXPECT_EQ(request.RequestText(), QStringLiteral("Opened the list.\r\n\r\nClicked."));

    // The datagram for a development environment: exactly 2052 bytes.
    QTemporaryDir runtime;
    const QString folder = runtime.path();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    EXPECT_FALSE(SendIdeMessage(QStringLiteral("MainForm.cpp"), 812)) << "nobody listens";
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/SivrelLog"));
    ::unlink(path.constData());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::memcpy(at.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    EXPECT_TRUE(SendIdeMessage(QStringLiteral("MainForm.cpp"), 812));
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    ASSERT_EQ(n, 2052);
    EXPECT_STREQ(buffer, "MainForm.cpp");
    EXPECT_EQ(uint8_t(buffer[2048]), 812 & 0xFF);
    EXPECT_EQ(uint8_t(buffer[2049]), 812 >> 8);
    EXPECT_EQ(QByteArray(buffer, 2052), IdeMessage(QStringLiteral("MainForm.cpp"), 812));
    ::close(fd);
    ::unlink(path.constData());
}

TEST(SivrelDialog, SmtpProgressWindowFollowsQueuedCalls)
{
    App();
    TSivrelModuleOptions options(QString(), false);
    QPointer<TSivrelSmtpProgressDialog> dialog = new TSivrelSmtpProgressDialog(options);
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("SMTP."));
    std::thread sender([&] {
        PostSmtpProgressText(dialog, QStringLiteral("Message 1/2: Connecting with SMTP server..."));
        PostSmtpProgressPercent(dialog, 40);
    });
    sender.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(Child<QLabel>(dialog, "Id100")->text(), QStringLiteral("Message 1/2: Connecting with SMTP server..."));
    EXPECT_EQ(Child<QProgressBar>(dialog, "Id101")->value(), 40);
    Shot(*dialog, QStringLiteral("smtp-progress"));
    PostSmtpProgressClose(dialog);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}
