// End to end: the recipients page opens the wizard, which imports the contacts of an Outlook data
// file (made by the project's writer, read with libpff) into a new list; the list is saved.
#include "../outlook/OutlookFiles.h"
#include "RecipientsPageFixture.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

using namespace pagetest;

namespace {

// The desktop services: the file dialog answers the data file, the folder dialog its "Kontakte".
class OutlookDialogs : public importwizard::IWizardDialogs {
public:
    QString file;
    QStringList messages;
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return std::nullopt; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return file; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
    std::optional<quint32> PickOutlookFolder(QWidget*, const outlook::TFolderNode& root) override
    {
        for (const outlook::TFolderNode& child : root.children) {
            if (child.name == "Kontakte")
                return child.id;
        }
        return std::nullopt;
    }
};

} // namespace

TEST_F(RecipientsPageTest, ThousandOutlookContactsIntoANewListThatIsSaved)
{
    const QString pst = dir.file("kontakte.pst");
    ASSERT_EQ(qlytest::MakeOutlookFile("contacts", pst, 1000)["count"].toInt(), 1000);
    OutlookDialogs dialogs;
    dialogs.file = pst;
    form->ImportWizardDialogs = &dialogs;
    ShowRecipientsPage();
    bool done = false;
    QTimer::singleShot(0, [&] {
        auto* wizard = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        auto* next = wizard->findChild<QPushButton*>("ButtonNext");
        auto* sources = wizard->findChild<QListWidget*>("ListBoxSourceType");
        sources->setCurrentRow(sources->row(sources->findItems("Micosoft Outlook Verzeichnis", Qt::MatchExactly).value(0)));
        next->click();                                               // the six steps
        EXPECT_EQ(wizard->findChild<QWidget*>("PLSearchContacts")->findChild<QLabel*>("LabelStatus")->text(),
                  "1000  Einträge gefunden.");
        wizard->findChild<QRadioButton*>("RadioButtonOutlookNoDuplicates")->setChecked(true);
        next->click();                                               // mapping
        for (TAssociationRow* row : wizard->AssociationBox()->Rows()) {
            const QString column = row->fLabel->text();
            const QString property = column == "Email" ? "Email1Address" : column == "Last Name" ? "LastName"
                                   : column == "First Name"                ? "FirstName" : QString();
            row->SetItemIndex(row->fComboBox->findText(property));
        }
        next->click();                                               // overview
        next->click();                                               // run
        EXPECT_EQ(next->text(), "Schließen");
        next->click();
        done = true;
    });
    form->SpeedButtonImport->click();
    ASSERT_TRUE(done);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
    EXPECT_TRUE(shown.isEmpty()) << shown.join('\n').toStdString();
    // Every 50th contact repeats an earlier address: "Keine Duplikate erstellen" drops it.
    EXPECT_EQ(Grid()->RowCount(), 980);
    DataSet().SetRecNo(980);
    EXPECT_EQ(CurrentEmail(), "person998@beispiel.de");
    EXPECT_EQ(DataSet().FieldByName("Last Name")->AsString(), QStringLiteral("Müller998"));
    EXPECT_EQ(DataSet().FieldByName("First Name")->AsString(), QStringLiteral("Jörg"));

    form->ComboBoxFavorites->setEditText("Outlook");
    form->SpeedButtonSaveFavoriteClick();
    EXPECT_FALSE(form->SpeedButtonSaveFavorite->isEnabled());
    form->SpeedButton1->click();
    form->ComboBoxFavorites->setCurrentIndex(form->ComboBoxFavorites->findText("Outlook"));
    form->ComboBoxFavoritesSelect();
    EXPECT_EQ(Grid()->RowCount(), 980);
}
