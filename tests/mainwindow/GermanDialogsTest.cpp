// The toolkit's dialogs speak German once the program's start has loaded the translations:
// the main window's message boxes and the (non-native) file dialog.
#include "app/MainForm.h"
#include "app/ToolkitTranslations.h"
#include "TestUtil.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

class GermanDialogs : public ::testing::Test {
protected:
    void SetUp() override { loaded = app::LoadToolkitTranslations(*qApp); }
    void TearDown() override
    {
        for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).removeRecursively();
    }
    QStringList loaded;
    qlytest::TempDir dir;
};

QStringList ButtonTexts(const QWidget* w)
{
    QStringList texts;
    for (const QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (!b->isHidden())
            texts << b->text().remove(QLatin1Char('&'));
    texts.sort();
    return texts;
}

} // namespace

TEST_F(GermanDialogs, MainWindowMessageBoxSaysJaNeinAbbrechen)
{
    ASSERT_TRUE(loaded.contains(QStringLiteral("qtbase"))) << "qt6-translations-l10n is missing";
    app::TMainFormSite site;
    site.programFolder = dir.path();
    site.appDataFolder = dir.file("data");
    app::TMainForm form(site);
    QStringList seen;
    // The window's own message box (no test replacement): read its buttons, then answer No.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = ButtonTexts(box);
        box->button(QMessageBox::No)->click();
    });
    const auto answer = form.MessageBox(QStringLiteral("Bestätigung"), QStringLiteral("Speichern?"),
                                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(answer, QMessageBox::No);
    EXPECT_EQ(seen, QStringList({ "Abbrechen", "Ja", "Nein" }));
}

TEST_F(GermanDialogs, FileDialogLabelsAndButtons)
{
    ASSERT_TRUE(loaded.contains(QStringLiteral("qtbase")));
    // The widget dialog the program shows where no desktop dialog exists (as offscreen).
    QFileDialog dialog(nullptr, QStringLiteral("Empfängerliste öffnen"), dir.path(), QStringLiteral("Textdateien (*.txt)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.show();
    QStringList labels;
    for (const QLabel* l : dialog.findChildren<QLabel*>())
        if (!l->text().isEmpty())
            labels << l->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(labels.contains(QStringLiteral("Suchen in:"))) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Dateiname:"))) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Dateien des Typs:"))) << labels.join('|').toStdString();
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(ButtonTexts(buttons), QStringList({ "Abbrechen", "Öffnen" }));
    dialog.close();
}
