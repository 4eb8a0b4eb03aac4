// The main window started on a recorded database file that cannot be used: the file is never
// replaced, changed or un-recorded; the user chooses to try again, to work with a fallback for
// this run, or to quit. A recorded file that is gone is replaced, and the user is told so.
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "core/DatabaseLocation.h"
#include "platform/db/Connection.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/RecipientListStore.h"
#include "TestUtil.h"
#include "../app/PermissionChecks.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>

#include <sys/stat.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

const QString kKey = QStringLiteral("Software\\ORV Software\\Quillory2");

class DatabaseStartTest : public ::testing::Test {
protected:
    struct Asked {
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    qlytest::TempDir dir;
    QList<Asked> asked;
    std::function<QMessageBox::StandardButton(const QString&)> answer;
    QStringList errors;

    QString Own() const { return dir.file("own/qly.db"); }      // the user's recorded database
    QString Fallback() const { return dir.file("qly.db"); }     // the program folder's file

    std::unique_ptr<app::TMainForm> Make()
    {
        app::TMainFormSite site;
        site.programFolder = dir.path();
        site.appDataFolder = dir.file("data");
        site.messageBox = [this](const QString&, const QString& text, QMessageBox::StandardButtons buttons) {
            asked.append({text, buttons});
            return answer ? answer(text) : QMessageBox::No;
        };
        site.onException = [this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromUtf8(ex.what());
            }
        };
        return std::make_unique<app::TMainForm>(site);
    }

    static QString Recorded() { return settings::TRegIniFile(kKey).ReadString("database", "file", "<none>"); }

    // The user's database: a list "Kunden" with 300 rows (enough pages to cut the file short),
    // recorded as the database in use.
    void MakeOwnDatabase()
    {
        {
            auto f = Make();
            recipients::TRecipientListStore& store = f->ListStore();
            const QString table = store.CreateListTable("Kunden");
            db::Transaction t(f->Connection());
            for (int i = 0; i < 300; ++i)
                f->Connection().Execute("INSERT INTO " + db::QuoteName(table) + " (\"Email\", \"Last Name\") VALUES (?, ?)",
                                        {QStringLiteral("k%1@beispiel.de").arg(i), QString(100, QLatin1Char('x'))});
            t.Commit();
            f->close();
        }
        QDir().mkpath(dir.file("own"));
        ASSERT_TRUE(QFile::rename(Fallback(), Own()));
        settings::TRegIniFile(kKey).WriteString("database", "file", Own());
        asked.clear();
    }

    static QStringList Lists(app::TMainForm& f)
    {
        QStringList names;
        for (int i = 0; i < f.ComboBoxFavorites->count(); ++i)
            names << f.ComboBoxFavorites->itemText(i);
        return names;
    }
};

} // namespace

TEST_F(DatabaseStartTest, RecordedFileThatCannotBeOpenedIsAskedAboutAndKept)
{
    MakeOwnDatabase();
    const QByteArray good = qlytest::readFileBytes(Own());
    ASSERT_GT(good.size(), 8 * 4096);
    QByteArray random(64 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);

    const QString kDamaged = QString::fromUtf8("Die Datei ist beschädigt oder keine Quillory Datenbank.");
    const QString kInUse = QString::fromUtf8("Die Datei wird von einem anderen Programm verwendet.");
    const QString kNoPermission = QString::fromUtf8(
        "Keine Berechtigung: Die Datei oder ihr Ordner darf nicht gelesen oder beschrieben werden.");

    db::Connection other;
    std::unique_ptr<qlytest::PermissionChecksApply> permissionChecks;
    struct Case {
        const char* name;
        QString reason;
        std::function<void()> cause;
        std::function<void()> remove;
    };
    const Case cases[] = {
        {"random bytes", kDamaged, [&] { qlytest::writeFileBytes(Own(), random); }, [&] { qlytest::writeFileBytes(Own(), good); }},
        {"truncated", kDamaged, [&] { qlytest::writeFileBytes(Own(), good.left(2 * 4096)); }, [&] { qlytest::writeFileBytes(Own(), good); }},
        {"locked by another connection", kInUse,
         [&] {
             other.Open(Own());
             other.Execute("BEGIN EXCLUSIVE");
         },
         [&] { other.Close(); }},
        {"read-only folder", kNoPermission,
         [&] {
             permissionChecks = std::make_unique<qlytest::PermissionChecksApply>();
             ASSERT_EQ(::chmod(QFile::encodeName(dir.file("own")).constData(), 0555), 0);
         },
         [&] {
             ASSERT_EQ(::chmod(QFile::encodeName(dir.file("own")).constData(), 0755), 0);
             permissionChecks.reset();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.cause();
        const QByteArray before = qlytest::readFileBytes(Own());
        const QString question =
            QString::fromUtf8("Die Quillory Datenbank \"%1\" kann nicht geöffnet werden.\n\n%2\n\n"
                              "Die Datei wird nicht verändert und bleibt als Datenbank eingetragen. Sie können es "
                              "erneut versuchen, nur für diesen Start mit einer Ersatzdatenbank arbeiten oder "
                              "Quillory beenden.")
                .arg(Own(), c.reason);

        // "Nur diesmal Ersatzdatenbank verwenden": the window works on the program folder's file.
        asked.clear();
        answer = [](const QString&) { return QMessageBox::Ignore; };
        {
            auto f = Make();
            ASSERT_EQ(asked.size(), 1);
            EXPECT_EQ(asked[0].text, question);
            EXPECT_EQ(asked[0].buttons, QMessageBox::Retry | QMessageBox::Ignore | QMessageBox::Abort);
            EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
            EXPECT_EQ(f->Connection().FileName(), Fallback());
            EXPECT_FALSE(Lists(*f).contains("Kunden"));
            answer = {};
            f->close();
        }
        EXPECT_EQ(Recorded(), Own()) << "the recorded path stays";
        EXPECT_EQ(qlytest::readFileBytes(Own()), before) << "the file is not changed";

        // "Quillory beenden": the set-up stops; nothing is recorded or changed.
        asked.clear();
        answer = [](const QString&) { return QMessageBox::Abort; };
        {
            auto f = Make();
            EXPECT_EQ(asked.size(), 1);
            EXPECT_FALSE(f->Connection().Connected());
            EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
            answer = {};
        }
        EXPECT_EQ(Recorded(), Own());
        EXPECT_EQ(qlytest::readFileBytes(Own()), before);

        // "Erneut versuchen" after the cause is gone opens the user's file with its list ...
        asked.clear();
        answer = [&](const QString&) {
            c.remove();
            return QMessageBox::Retry;
        };
        {
            auto f = Make();
            EXPECT_EQ(asked.size(), 1);
            EXPECT_EQ(f->Connection().FileName(), Own());
            EXPECT_TRUE(Lists(*f).contains("Kunden"));
            answer = {};
            f->close();
        }
        // ... and so does the next start, without a question.
        asked.clear();
        {
            auto f = Make();
            EXPECT_TRUE(asked.isEmpty());
            EXPECT_EQ(f->Connection().FileName(), Own());
            EXPECT_EQ(f->Connection().Scalar("SELECT count(*) FROM " + db::QuoteName(f->ListStore().ListNameToTable("Kunden"))).toInt(),
                      300);
            f->close();
        }
        EXPECT_EQ(Recorded(), Own());
    }
}

TEST_F(DatabaseStartTest, RecordedFileThatIsGoneIsReplacedWithOneMessage)
{
    MakeOwnDatabase();
    ASSERT_TRUE(QFile::remove(Own()));
    answer = [](const QString&) { return QMessageBox::Ok; };
    {
        auto f = Make();
        ASSERT_EQ(asked.size(), 1);
        EXPECT_EQ(asked[0].text, QString::fromUtf8("Die Quillory Datenbank \"%1\" wurde nicht gefunden.\n"
                                                   "Quillory verwendet ab jetzt die Datenbank \"%2\".")
                                     .arg(Own(), Fallback()));
        EXPECT_EQ(asked[0].buttons, QMessageBox::Ok);
        EXPECT_EQ(f->Connection().FileName(), Fallback());
        answer = {};
        f->close();
    }
    EXPECT_EQ(Recorded(), Fallback());
    asked.clear();
    auto g = Make();
    EXPECT_TRUE(asked.isEmpty()) << "the next start is silent";
    EXPECT_EQ(g->Connection().FileName(), Fallback());
}

TEST_F(DatabaseStartTest, FirstStartIsSilent)
{
    auto f = Make();
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(f->Connection().FileName(), Fallback());
    EXPECT_EQ(Recorded(), Fallback());
}

TEST(DatabaseQuestionBox, NamesTheChoicesInGerman)
{
    const QString text = core::DatabaseUnusableText("/home/anna/Quillory/qly.db",
                                                     {core::DatabaseProblem::InUse, "database is locked"});
    const std::unique_ptr<QMessageBox> box = app::MakeDatabaseQuestionBox("Quillory", text, nullptr);
    EXPECT_EQ(box->button(QMessageBox::Retry)->text(), "Erneut versuchen");
    EXPECT_EQ(box->button(QMessageBox::Ignore)->text(), "Nur diesmal Ersatzdatenbank verwenden");
    EXPECT_EQ(box->button(QMessageBox::Abort)->text(), "Quillory beenden");
    EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Abort));
    EXPECT_EQ(app::DatabaseChoiceOf(QMessageBox::Retry), core::DatabaseChoice::Retry);
    EXPECT_EQ(app::DatabaseChoiceOf(QMessageBox::Ignore), core::DatabaseChoice::FallbackThisRun);
    EXPECT_EQ(app::DatabaseChoiceOf(QMessageBox::Abort), core::DatabaseChoice::Quit);
    EXPECT_EQ(app::DatabaseChoiceOf(QMessageBox::Close), core::DatabaseChoice::Quit);

    box->show();
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
    QDir().mkpath(out);
    const QImage shot = box->grab().toImage();
    shot.save(out + QStringLiteral("/database-question.png"));
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 8) << "the box looks blank";
}
