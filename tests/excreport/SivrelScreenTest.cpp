// The report's screen picture with the mouse pointer: XFixes on the xcb platform under Xvfb.
#include "excreport/SivrelScreen.h"
#include <QCursor>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace excreport;

TEST(SivrelScreen, XcbUnderXvfbDrawsThePointerFromXFixes)
{
    if (!qEnvironmentVariableIsSet("QLY_XVFB_INNER")) {
        // Without X there is no pointer picture, and the screen picture is the plain grab.
        EXPECT_TRUE(SivrelCursorImage(nullptr).isNull());
        if (QGuiApplication::primaryScreen())
            EXPECT_EQ(SivrelGrabScreen().size(), QGuiApplication::primaryScreen()->grabWindow(0).size());
        // This very test again, inside a virtual X server on the xcb platform.
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
            GTEST_SKIP() << "xvfb-run is not installed";
        QProcess inner;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QLY_XVFB_INNER", "1");
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(QStringLiteral("xvfb-run"),
                    {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 640x480x24 -br"),
                     QCoreApplication::applicationFilePath(), QStringLiteral("--gtest_filter=SivrelScreen.*")});
        ASSERT_TRUE(inner.waitForFinished(60000));
        const QByteArray out = inner.readAll();
        EXPECT_EQ(inner.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        EXPECT_FALSE(out.contains("SKIPPED")) << out.toStdString();
        return;
    }
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QCursor::setPos(200, 150);
    QCoreApplication::processEvents();
    QPoint at;
    const QImage cursor = SivrelCursorImage(&at);
    ASSERT_FALSE(cursor.isNull());
    const QRect area(at, cursor.size());
    EXPECT_TRUE(area.contains(200, 150)) << area.x() << "," << area.y();
    const QImage plain = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage shot = SivrelGrabScreen().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), plain.size());
    int inside = 0, outside = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) != plain.pixel(x, y))
                ++(area.contains(x, y) ? inside : outside);
    EXPECT_GT(inside, 10) << "the pointer is drawn where it is";
    EXPECT_EQ(outside, 0);
    const QString shots = qEnvironmentVariable("QLY_EXC_SHOTS");
    if (!shots.isEmpty())
        shot.copy(area.adjusted(-40, -40, 40, 40)).scaled(area.size() * 6 + QSize(480, 480)).save(shots + QStringLiteral("/xvfb-pointer.png"));
}
