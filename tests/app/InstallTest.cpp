// The program as installed with cmake --install, and the data-access check at its start.
#include "app/ProgramStart.h"
#include "controls/ChmHelp.h"
#include "TestUtil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

QString RunProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env, int* exitCode,
            QString* errors = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors)
        *errors = QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The value of a key of the [Desktop Entry] group.
QString EntryValue(const QString& file, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key.toUtf8() + '='))
            return QString::fromUtf8(line.mid(key.size() + 1)).trimmed();
    return {};
}

} // namespace

TEST(Install, IntoAPrefixGivesAValidMenuEntryIconHelpAndAStartingProgram)
{
    qlytest::TempDir dir;
    const QString prefix = dir.file("prefix");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    int rc = -1;
    QString errors;
    const QString log = RunProcess(QStringLiteral("cmake"), {"--install", QStringLiteral(QLY_BUILD_DIR), "--prefix", prefix}, env, &rc, &errors);
    ASSERT_EQ(rc, 0) << log.toStdString() << errors.toStdString();

    // The menu entry passes the desktop's check.
    const QString entry = prefix + "/share/applications/quillory.desktop";
    ASSERT_TRUE(QFile::exists(entry));
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) {
        ADD_FAILURE() << "desktop-file-validate (desktop-file-utils) is not installed";
    } else {
        const QString out = RunProcess(validator, {entry}, env, &rc, &errors);
        EXPECT_EQ(rc, 0) << out.toStdString() << errors.toStdString();
        EXPECT_TRUE((out + errors).trimmed().isEmpty()) << (out + errors).toStdString();
    }
    EXPECT_EQ(EntryValue(entry, "Categories"), "Office;Email;");
    EXPECT_EQ(EntryValue(entry, "Name"), "Quillory");

    // The icon the entry names, where the desktop looks for it.
    const QString icon = EntryValue(entry, "Icon");
    EXPECT_TRUE(QFile::exists(prefix + "/share/icons/hicolor/scalable/apps/" + icon + ".svg"));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString png = QStringLiteral("%1/share/icons/hicolor/%2x%2/apps/%3.png").arg(prefix).arg(size).arg(icon);
        QImage img(png);
        EXPECT_EQ(img.size(), QSize(size, size)) << png.toStdString();
    }

    // The program the entry starts, with its help file and web-engine module beside it.
    const QString exec = EntryValue(entry, "Exec");
    const QFileInfo link(prefix + "/bin/" + exec);
    ASSERT_TRUE(link.exists()) << link.filePath().toStdString();
    const QString programDir = QFileInfo(link.canonicalFilePath()).absolutePath();
    const QString help = programDir + "/Quillory.chm";
    ASSERT_TRUE(QFile::exists(help));
    EXPECT_FALSE(TChmFile(help).TopicOfContext(3).isEmpty());
    EXPECT_TRUE(QFile::exists(programDir + "/quillory-webengine.so"));

    QProcessEnvironment run = env;
    run.insert("QT_QPA_PLATFORM", "offscreen");
    run.insert("QLY_QUIT_AFTER_SHOW", "1");
    run.insert("XDG_CONFIG_HOME", dir.file("config"));
    run.insert("XDG_DATA_HOME", dir.file("data"));
    // As the desktop runs the entry's command: found on the path that holds the prefix.
    const QString command = QStandardPaths::findExecutable(exec, {prefix + "/bin"});
    ASSERT_FALSE(command.isEmpty());
    const QString shown = RunProcess(command, {}, run, &rc, &errors);
    EXPECT_EQ(rc, 0) << errors.toStdString();
    EXPECT_EQ(shown.trimmed(), "shown=Quillory visible=1 icon=1") << errors.toStdString();
}

// The start checks the SQLite library it runs with: too old, it names the version needed and
// the package and the start ends; the real library passes without a word.
TEST(DataAccessCheck, TooOldSqliteIsNamedAndTheRealOnePassesSilently)
{
    QStringList shown;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown << box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    answer.start();

    app::DataAccessStart saved = app::DataAccessSettings();
    app::DataAccessSettings().VersionNumber = [] { return 3034001; };
    EXPECT_FALSE(app::CheckDataAccess());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], QStringLiteral("Quillory benötigt die SQLite-Bibliothek in Version 3.35.0 oder neuer, installiert ist "
                                       "Version 3.34.1.\nBitte installieren Sie eine neuere Version des Debian-Pakets "
                                       "\"libsqlite3-0\" und starten Sie Quillory danach erneut."));

    app::DataAccessSettings().VersionNumber = [] { return 3035000; };
    EXPECT_TRUE(app::CheckDataAccess());
    app::DataAccessSettings() = saved;
    ASSERT_GE(sqlite3_libversion_number(), app::SqliteMinimumVersion) << "this machine's SQLite is too old for the program";
    EXPECT_TRUE(app::CheckDataAccess());
    QTest::qWait(100);
    EXPECT_EQ(shown.size(), 1) << "no message for a new enough library";
}
