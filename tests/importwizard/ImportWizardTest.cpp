// The wizard's pages, buttons and CSV runs, driven with a fake owner.
#include "WizardTestSupport.h"

#include <QTimer>

using namespace wiztest;

namespace {

const QString kNoFileName = QStringLiteral("Bitte geben Sie die für den Import benötigte Datei an.");
const QString kNoSuchFile = QStringLiteral("Der angegebene Dateiname existiert nicht.");
const QString kNoColumn = QStringLiteral("Bitte geben Sie mindestens eine Spalte an.");
const QString kOpenFailed = QStringLiteral(
    "Die angegebe Datei konnte nicht geöffnet werden. Bitte achten Sie darauf, dass die Datei nicht bereits "
    "von einer anderen Anwendung geöffnet ist.");

const QByteArray kPeople = "Name;Email;Vorname\r\n"
                           "Meier;meier@x.de;Hans\r\n"
                           "\r\n"
                           "   \r\n"
                           ";;\r\n"
                           "Schulz;schulz@x.de;Eva\r\n"
                           "Meier;meier@x.de;Karl\r\n";

QStringList ItemTexts(QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

} // namespace

TEST_F(WizardTest, SourceListOffersTheChosenTypes)
{
    Make();
    form->show();
    auto* list = Find<QListWidget>("ListBoxSourceType");
    EXPECT_EQ(ItemTexts(list), QStringList({"Comma Separated Values (CSV)",
                                            "Datenbankverbindung / Microsoft Access Datei",
                                            "Microsoft Excel Datei", "Microsoft Access Datei"}));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(Find<QLabel>("LabelDescription")->text().startsWith("Eine CSV Datei (Comma Separated Values)"));
    EXPECT_FALSE(Back()->isEnabled());
    EXPECT_FALSE(Button("ButtonRetry")->isVisible());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Import Wizard"));
    EXPECT_EQ(form->size(), QSize(445, 292));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);

    Make();
    form->SetImportTypes(TImportTypes::All());
    form->show();
    list = Find<QListWidget>("ListBoxSourceType");
    EXPECT_EQ(ItemTexts(list),
              QStringList({"Comma Separated Values (CSV)", "Micosoft Outlook Verzeichnis",
                           "Datenbankverbindung / Microsoft Access Datei", "Microsoft Excel Datei",
                           "Microsoft Access Datei"}));
    list->setCurrentRow(1);
    EXPECT_EQ(Find<QLabel>("LabelDescription")->text(),
              QStringLiteral("Diese Option erlaubt Ihnen den direkten Import von Kontakten aus MS Outlook.\n\nHinweis: "
                             "\nUnterstützt Outlook 98 oder höher."));

    // No types: an empty list, and Next changes no page.
    Make();
    form->SetImportTypes({});
    form->show();
    EXPECT_EQ(Find<QListWidget>("ListBoxSourceType")->count(), 0);
    Next()->click();
    EXPECT_EQ(Page(), "TabSheetSelectSource");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WizardTest, NextRefusesWithoutFileOrMapping)
{
    const QString noAddress = WriteFile("names.csv", "Meier;Hans\r\n");
    Make();
    form->show();
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetCSVFiles");
    auto* edit = Find<QLineEdit>("EditCSVFilename");

    struct Case {
        QString fileName;
        QString message;
    };
    const Case cases[] = {{QString(), kNoFileName}, {dir.file("missing.csv"), kNoSuchFile}, {dir.path(), kNoSuchFile}};
    for (const Case& c : cases) {
        dialogs.messages.clear();
        edit->setText(c.fileName);
        Next()->click();
        EXPECT_EQ(dialogs.messages, QStringList({c.message})) << c.fileName.toStdString();
        EXPECT_EQ(Page(), "TabSheetCSVFiles");
        EXPECT_EQ(edit->text(), c.fileName);
        EXPECT_TRUE(Next()->isEnabled());
        EXPECT_TRUE(Back()->isEnabled());
        EXPECT_EQ(Next()->text(), QStringLiteral("Weiter >"));
    }

    // Nothing looks like an address: nothing is mapped and Next asks for a column.
    dialogs.messages.clear();
    edit->setText(noAddress);
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetCSVAssociations");
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "-1"}));
    Next()->click();
    EXPECT_EQ(dialogs.messages, QStringList({kNoColumn}));
    EXPECT_EQ(Page(), "TabSheetCSVAssociations");
    EXPECT_EQ(Next()->text(), QStringLiteral("Weiter >"));
}

TEST_F(WizardTest, BackAndNextCaptions)
{
    const QString path = WriteFile("people.csv", kPeople);
    Make();
    GoToOverview(path);
    EXPECT_EQ(Next()->text(), QStringLiteral("Fertigstellen"));
    Back()->click();
    EXPECT_EQ(Page(), "TabSheetCSVAssociations");
    EXPECT_EQ(Next()->text(), QStringLiteral("Weiter >"));
    Back()->click();
    EXPECT_EQ(Page(), "TabSheetCSVFiles");
    EXPECT_TRUE(Back()->isEnabled());
    Back()->click();
    EXPECT_EQ(Page(), "TabSheetSelectSource");
    EXPECT_FALSE(Back()->isEnabled());

    Next()->click();
    Next()->click();
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetOverview");
    Next()->click();
    EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    EXPECT_TRUE(Next()->isEnabled());
    EXPECT_TRUE(Next()->isDefault());
    EXPECT_FALSE(Back()->isEnabled());
    EXPECT_FALSE(Cancel()->isEnabled());
    EXPECT_FALSE(Button("ButtonRetry")->isVisible());
    EXPECT_EQ(dialogs.waitCursorShown, 1);
    EXPECT_EQ(dialogs.waitDepth, 0);

    // Esc does nothing once only "Schließen" is left; "Schließen" closes with OK.
    form->reject();
    EXPECT_TRUE(form->isVisible());
    Next()->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(WizardTest, CsvRunHandsOutMappedRowsAndTestsDuplicates)
{
    // Email from the second column, Last Name from the first, First Name from the third.
    Store("CSVAssociations", "2\r\n0\r\n1\r\n");
    const QString path = WriteFile("people.csv", kPeople);

    // First with the overview's maximum, then with room to count every step.
    for (const bool roomForSteps : {false, true}) {
        owner = FakeOwner();
        Make();
        GoToOverview(path);
        EXPECT_TRUE(Find<QRadioButton>("RadioButtonCSVNoDuplicates")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>("CheckBoxIgnoreFirstRow")->isChecked());
        EXPECT_EQ(Panel()->Max(), 4);
        EXPECT_EQ(Find<QLabel>("LabelSeparatorValue")->text(), QStringLiteral("; (Semikolon)"));
        EXPECT_EQ(Find<QLabel>("LabelOptionsValue")->text(), QStringLiteral("Keine Duplikate erstellen"));
        EXPECT_EQ(Find<QLabel>("LabelIgnoreFirstRowValue")->text(), QStringLiteral("Ja"));
        EXPECT_EQ(Find<QLabel>("LabelTypeValue")->text(), QStringLiteral("Comma Separated Values (CSV)"));
        if (roomForSteps)
            Panel()->SetMax(100);
        Next()->click();

        EXPECT_EQ(owner.duplicateTests.size(), 3);
        for (const auto& test : owner.duplicateTests)
            EXPECT_EQ(test.first, QStringLiteral("Email"));
        ASSERT_EQ(owner.rows.size(), 2);
        EXPECT_EQ(owner.rows[0], QStringList({"meier@x.de", "Meier", "Hans"}));
        EXPECT_EQ(owner.rows[1], QStringList({"schulz@x.de", "Schulz", "Eva"}));
        EXPECT_EQ(Panel()->Position(), roomForSteps ? 5 : 4);
        EXPECT_EQ(owner.runStarts, 1);
        EXPECT_EQ(owner.runEnds, 1);
        EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    }
}

TEST_F(WizardTest, AllowDuplicatesAndUnmappedColumns)
{
    const QString path = WriteFile("people.csv", "a@x.de;A\r\na@x.de;B\r\n");
    Store("CSVAllowDuplicates", "1");
    Make();
    GoToMapping(path);
    Find<QCheckBox>("CheckBoxIgnoreFirstRow")->setChecked(false);
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "0"}));
    Next()->click();
    EXPECT_EQ(Find<QLabel>("LabelIgnoreFirstRowValue")->text(), QStringLiteral("Nein"));
    EXPECT_EQ(Panel()->Max(), 2);
    Next()->click();
    EXPECT_TRUE(owner.duplicateTests.isEmpty());
    EXPECT_EQ(owner.rows, QList<QStringList>({{"a@x.de", "", ""}, {"a@x.de", "", ""}}));
}

TEST_F(WizardTest, CancelInsideARowEndsTheRunAndTheDialog)
{
    QByteArray many = "Email\r\n";
    for (int i = 0; i < 10; ++i)
        many += "user" + QByteArray::number(i) + "@x.de\r\n";
    const QString path = WriteFile("many.csv", many);
    Make();
    owner.onRow = [this](QStringList&) {
        if (owner.rows.size() == 2)
            Cancel()->click();
    };
    QTimer::singleShot(0, form.get(), [&] {
        Next()->click();
        Find<QLineEdit>("EditCSVFilename")->setText(path);
        Next()->click();
        Next()->click();
        Next()->click();
    });
    QTimer::singleShot(10000, form.get(), [&] { form->done(42); });  // never hang
    const int result = form->ShowModal();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(owner.rows.size(), 2);
    EXPECT_EQ(owner.runStarts, 1);
    EXPECT_EQ(owner.runEnds, 1);
    EXPECT_TRUE(form->Cancelled());
    EXPECT_EQ(dialogs.waitDepth, 0);
}

TEST_F(WizardTest, EscapeAndCloseCancelOutsideARun)
{
    Make();
    form->show();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_TRUE(form->Cancelled());

    Make();
    form->show();
    form->setResult(QDialog::Accepted);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_TRUE(form->Cancelled());
}

TEST_F(WizardTest, EmptyFileWithFirstRowIgnoredKeepsMaximumZero)
{
    // The file was mapped and then emptied by another program before the overview counted it.
    const QString path = WriteFile("people.csv", "Email\r\na@x.de\r\n");
    Make();
    GoToMapping(path);
    EXPECT_EQ(PreviewValues(), QStringList({"a@x.de"}));
    WriteFile("people.csv", "");
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetOverview");
    EXPECT_EQ(Panel()->Max(), 0);
    EXPECT_EQ(Find<QLabel>("LabelIgnoreFirstRowValue")->text(), QStringLiteral("Ja"));
    Next()->click();
    EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    EXPECT_EQ(Panel()->Position(), 0);
    EXPECT_TRUE(owner.rows.isEmpty());
    EXPECT_EQ(owner.runEnds, 1);

    // An empty file shows no preview values, so nothing can be mapped.
    Make();
    GoToMapping(path);
    EXPECT_TRUE(PreviewValues().isEmpty());
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "-1"}));
}

TEST_F(WizardTest, FileGoneAtRunStartLeavesFinishEnabled)
{
    const QString path = WriteFile("people.csv", kPeople);
    Make();
    GoToOverview(path);
    QFile::remove(path);
    int messagesUnderWaitCursor = 0;
    dialogs.onMessage = [&] { messagesUnderWaitCursor += dialogs.waitDepth; };
    Next()->click();
    EXPECT_EQ(dialogs.messages, QStringList({kOpenFailed}));
    EXPECT_EQ(messagesUnderWaitCursor, 0);
    EXPECT_EQ(Page(), "TabSheetOverview");
    EXPECT_EQ(Next()->text(), QStringLiteral("Fertigstellen"));
    EXPECT_TRUE(Next()->isEnabled());
    EXPECT_FALSE(Back()->isEnabled());
    EXPECT_TRUE(Cancel()->isEnabled());
    EXPECT_EQ(owner.runStarts, 0);
    EXPECT_TRUE(owner.rows.isEmpty());
    EXPECT_EQ(dialogs.waitDepth, 0);

    // The file is back: the same button runs the import.
    WriteFile("people.csv", kPeople);
    Next()->click();
    EXPECT_EQ(Next()->text(), QStringLiteral("Schließen"));
    EXPECT_EQ(owner.rows.size(), 2);
}

TEST_F(WizardTest, FileGoneWhileMappingGoesBackToTheFilePage)
{
    const QString path = WriteFile("people.csv", kPeople);
    Make();
    GoToMapping(path);
    QFile::remove(path);
    Find<QToolButton>("UpDown1Next")->click();
    EXPECT_EQ(dialogs.messages, QStringList({kOpenFailed}));
    EXPECT_EQ(Page(), "TabSheetCSVFiles");
    EXPECT_EQ(Next()->text(), QStringLiteral("Weiter >"));
}

TEST_F(WizardTest, ReplaceOptionOnlyWithItsEvent)
{
    const QString path = WriteFile("people.csv", kPeople);
    Make();
    form->show();
    EXPECT_FALSE(Find<QRadioButton>("RadioButtonCSVReplaceDuplicates")->isVisible());

    Make();
    int raised = 0;
    QObject* sender = form.get();
    form->OnReplaceDoubles = [&](QObject* s) {
        ++raised;
        sender = s;
    };
    form->show();
    Next()->click();
    auto* replace = Find<QRadioButton>("RadioButtonCSVReplaceDuplicates");
    EXPECT_TRUE(replace->isVisible());
    replace->setChecked(true);
    Find<QLineEdit>("EditCSVFilename")->setText(path);
    Next()->click();
    Next()->click();
    EXPECT_EQ(Find<QLabel>("LabelOptionsValue")->text(), QStringLiteral("Duplikate durch neue Einträge ersetzten"));
    Next()->click();
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(sender, nullptr);
    EXPECT_TRUE(owner.duplicateTests.isEmpty());
    EXPECT_EQ(owner.rows.size(), 3);
}

TEST_F(WizardTest, FailingReceiverEndsTheRunWithoutFinishing)
{
    const QString path = WriteFile("people.csv", kPeople);
    Make();
    owner.onRow = [this](QStringList&) {
        if (owner.rows.size() == 2)
            throw std::runtime_error("disk full");
    };
    GoToOverview(path);
    // What the application's error handling would receive from the button.
    EXPECT_THROW(form->ButtonNextClick(), std::runtime_error);
    EXPECT_EQ(owner.rows.size(), 2);
    EXPECT_EQ(owner.runStarts, 1);
    EXPECT_EQ(owner.runEnds, 1);  // the receiver can commit what it took
    EXPECT_EQ(dialogs.waitDepth, 0);
    EXPECT_EQ(Next()->text(), QStringLiteral("Fertigstellen"));
    EXPECT_FALSE(Next()->isEnabled());
    EXPECT_FALSE(Back()->isEnabled());
    EXPECT_TRUE(Cancel()->isEnabled());
}
