// Spin editors used on their own read and write values in the system's settings: the test runs
// itself again under German settings (LC_ALL=de_DE.UTF-8), as a user's session would start it.
#include "grid/editors/SpinEdit.h"

#include <QApplication>
#include <QLocale>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid::editors;

TEST(EditorLocale, StandAloneSpinsFollowTheSystemSettings)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("QLY_GERMAN_SESSION"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=EditorLocaleGermanSession.*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String("[  PASSED  ] 1 test"))) << out.toStdString();
    EXPECT_FALSE(out.contains(QLatin1String("SKIPPED"))) << out.toStdString();
}

TEST(EditorLocaleGermanSession, TypedGermanValues)
{
    if (!qEnvironmentVariableIsSet("QLY_GERMAN_SESSION"))
        GTEST_SKIP() << "runs in the German session its parent test starts";
    ASSERT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
    QWidget window;
    auto* spin = new DAveVevaDiza(&window);
    spin->setGeometry(0, 0, 150, 24);
    spin->MaxFloatValue = 1000;
    window.show();
    QApplication::setActiveWindow(&window);
    spin->setFocus();
    QApplication::processEvents();

    spin->SetSpinType(sptFloat);
    spin->selectAll();
    QTest::keyClicks(spin, "2,50");
    EXPECT_EQ(spin->text(), "2,50");
    EXPECT_DOUBLE_EQ(spin->FloatValue(), 2.5);

    spin->SetSpinType(sptDate);
    spin->MaxDateValue = QDateTime(QDate(2100, 1, 1), QTime(0, 0));
    spin->selectAll();
    QTest::keyClicks(spin, "31.01.2024");
    EXPECT_EQ(spin->DateValue().date(), QDate(2024, 1, 31));
}
