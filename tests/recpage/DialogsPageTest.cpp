// The recipients page's dialogs: duplicate removal, the find dialog and the import wizard.
#include "RecipientsPageFixture.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/views/FindDialog.h"
#include "recipients/views/RemoveDoubles.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTimer>
#include <QToolButton>
#include <cstring>

using namespace pagetest;

namespace {

// _IDs of the selected rows of the duplicate dialog's grid.
QList<int> DialogSelection(recipients::TRemoveDoublesForm* d)
{
    QList<int> out;
    for (const db::TBookmark& b : d->XDBGridDoubles->SelectedRows()->List()) {
        qint64 key = 0;
        std::memcpy(&key, b.constData(), sizeof key);
        out << int(key);
    }
    return out;
}

} // namespace

// Runs the duplicate dialog from the menu; `inside` works on it while it is shown.
#define RUN_DOUBLES_DIALOG(inside)                                                                                    \
    do {                                                                                                             \
        bool ran = false;                                                                                            \
        QTimer::singleShot(0, [&] {                                                                                  \
            recipients::TRemoveDoublesForm* d = form->RemoveDoublesForm;                                             \
            inside;                                                                                                  \
            ran = true;                                                                                              \
            d->ButtonClose->click();                                                                                 \
        });                                                                                                          \
        form->MenuRemoveDoubles->trigger();                                                                          \
        EXPECT_TRUE(ran);                                                                                            \
    } while (0)

TEST_F(RecipientsPageTest, DuplicateDialogGroupsAddressesIgnoringCaseAndDeletes)
{
    // _IDs 1..6; three spellings of one address, a pair, and a single row.
    AddRows({{"Max@X.de", "", ""}, {"solo@x.de", "", ""}, {"max@x.DE", "", ""}, {"ab@c.de", "", ""}, {"MAX@X.DE", "", ""},
             {"ab@c.de", "", ""}});
    form->SpeedButtonSaveFavorite->setEnabled(false);
    RUN_DOUBLES_DIALOG({
        EXPECT_EQ(d->windowTitle(), "Suche nach Duplikaten");
        EXPECT_EQ(d->Panel1->text(), " Folgende Duplikate wurden in der ungespeicherten Tabelle gefunden:");
        EXPECT_EQ(d->DataSet().RecordCount(), 5);
        // Grouped by address; the last row of each group is kept.
        EXPECT_EQ(DialogSelection(d), QList<int>({4, 1, 3}));
        EXPECT_TRUE(d->RadioExceptOne->isChecked());
        EXPECT_TRUE(d->ButtonRemove->isEnabled());
        // Columns: the check box "löschen", then the list's columns without _ID.
        EXPECT_EQ(d->XDBGridDoubles->Columns()->Items(0)->Title()->Caption(), "löschen");
        EXPECT_EQ(d->XDBGridDoubles->Columns()->Items(0)->Width(), 41);
        EXPECT_EQ(d->XDBGridDoubles->Columns()->Count(), 5);
        EXPECT_EQ(d->XDBGridDoubles->Columns()->Items(1)->Width(), Grid()->Columns()->Items(0)->Width()) << "as in the list grid";
        const QRect title = d->XDBGridDoubles->CellRect(d->XDBGridDoubles->DataColToGridCol(2), 0);
        QTest::mouseClick(d->XDBGridDoubles->viewport(), Qt::LeftButton, Qt::NoModifier, title.center());
        EXPECT_TRUE(d->XDBGridDoubles->OrderFields().isEmpty()) << "a title click shows no sort marker";
        EXPECT_EQ(DialogSelection(d), QList<int>({4, 1, 3})) << "and keeps the selection";

        d->ButtonRemove->click();
        EXPECT_EQ(d->Panel1->text(), " Es konnten keine Duplikate in der ungespeicherten Liste gefunden werden.");
        EXPECT_FALSE(d->ButtonRemove->isEnabled());
        EXPECT_FALSE(d->ButtonBlock->isEnabled());
        EXPECT_FALSE(d->RadioExceptOne->isEnabled());
        EXPECT_FALSE(d->RadioCustom->isEnabled());
        EXPECT_FALSE(d->XDBGridDoubles->isEnabled());
    });
    EXPECT_EQ(Emails(), QStringList({"solo@x.de", "MAX@X.DE", "ab@c.de"})) << "the list grid shows the result";
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
}

TEST_F(RecipientsPageTest, DuplicateDialogBlocksAndFollowsTheUsersSelection)
{
    AddRows({{"a@x.de", "", ""}, {"A@x.de", "", ""}, {"b@x.de", "", ""}, {"b@x.de", "", ""}});
    RUN_DOUBLES_DIALOG({
        EXPECT_EQ(DialogSelection(d), QList<int>({1, 3}));
        // A click on a row changes the selection: the custom choice is shown; the automatic
        // choice comes back with its radio button.
        d->XDBGridDoubles->SelectedRows()->Clear();
        d->XDBGridDoublesCellClick();
        EXPECT_TRUE(d->RadioCustom->isChecked());
        d->RadioExceptOne->click();
        EXPECT_EQ(DialogSelection(d), QList<int>({1, 3}));

        d->ButtonBlock->click();
        EXPECT_EQ(d->DataSet().RecordCount(), 4) << "blocked rows stay shown";
        d->DataSet().First();
        EXPECT_EQ(d->DataSet().FieldByName("Status")->AsInteger(), 2);
    });
    EXPECT_EQ(Conn().Select("SELECT Status FROM " + db::QuoteName(Grid()->TableName()) + " ORDER BY _ID"),
              QList<QVariantList>({{2}, {0}, {2}, {0}}));
    DataSet().First();
    EXPECT_EQ(DataSet().FieldByName("Status")->AsInteger(), 2) << "the list grid was refreshed";
}

TEST_F(RecipientsPageTest, DuplicateDialogDeletesTheUsersChoiceAndShowsTheDuplicatesLeft)
{
    // _IDs 1..7: a group of three, a pair, a pair, a single row.
    AddRows({{"a@x.de", "", ""}, {"A@x.de", "", ""}, {"a@X.de", "", ""}, {"b@x.de", "", ""}, {"B@x.de", "", ""},
             {"c@x.de", "", ""}, {"C@x.de", "", ""}});
    RUN_DOUBLES_DIALOG({
        EXPECT_EQ(DialogSelection(d), QList<int>({1, 2, 4, 6}));
        // A click on the second row (_ID 2) takes it out of the selection; the pair "c" is kept whole.
        auto clickRow = [d](int row) {
            const QRect cell = d->XDBGridDoubles->CellRect(d->XDBGridDoubles->DataColToGridCol(2), row);
            QTest::mouseClick(d->XDBGridDoubles->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        };
        clickRow(2);
        clickRow(6);
        EXPECT_EQ(DialogSelection(d), QList<int>({1, 4}));
        EXPECT_TRUE(d->RadioCustom->isChecked());

        d->ButtonRemove->click();
        QStringList shown;
        for (d->DataSet().First(); !d->DataSet().Eof(); d->DataSet().Next())
            shown << d->DataSet().FieldByName("Email")->AsString();
        EXPECT_EQ(shown, QStringList({"A@x.de", "a@X.de", "c@x.de", "C@x.de"})) << "the groups left, in their order";
        EXPECT_TRUE(DialogSelection(d).isEmpty());
        EXPECT_TRUE(d->ButtonRemove->isEnabled());
        d->RadioExceptOne->click();
        EXPECT_EQ(DialogSelection(d), QList<int>({2, 6}));
        d->ButtonRemove->click();
        EXPECT_EQ(d->Panel1->text(), " Es konnten keine Duplikate in der ungespeicherten Liste gefunden werden.");
    });
    EXPECT_EQ(Emails(), QStringList({"a@X.de", "B@x.de", "C@x.de"}));
}

TEST_F(RecipientsPageTest, DuplicateDialogWithoutDuplicatesNamesTheList)
{
    AddRows({{"a@x.de", "", ""}});
    form->ComboBoxFavorites->setEditText("Kunden");
    form->SpeedButtonSaveFavoriteClick();
    RUN_DOUBLES_DIALOG({
        EXPECT_EQ(d->Panel1->text(), " Es konnten keine Duplikate in der Liste \"Kunden\" gefunden werden.");
        EXPECT_FALSE(d->ButtonRemove->isEnabled());
        EXPECT_FALSE(d->ButtonBlock->isEnabled());
    });
    AddRows({{"A@X.DE", "", ""}});
    RUN_DOUBLES_DIALOG({ EXPECT_EQ(d->Panel1->text(), " Folgende Duplikate wurden in der Liste \"Kunden\" an:"); });
}

TEST_F(RecipientsPageTest, FindDialogSearchesTheListsTextColumns)
{
    AddRows({{"a@x.de", "Bobby", "Ann", "2"},
             {"b@x.de", "Müller", "Bob", "0"},
             {"c@x.de", "O'Brien", "bob", "2"},
             {"d@x.de", "50%", "Eve", "2"},
             {"e@x.de", "MÜLLER", "Udo", "0"}});
    auto* dialog = [&] {
        form->SpeedButtonSearchRecipients->click();
        return Grid()->FindDialog();
    }();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->ButtonFindNext->text(), "Weitersuchen");
    EXPECT_EQ(dialog->ButtonCancel->text(), "Abbrechen");
    EXPECT_EQ(dialog->CheckBoxWholeWord->text(), "Nur ganzes Wort");
    auto find = [&](const QString& text, bool whole = false, bool down = true) {
        dialog->EditFindText->setText(text);
        dialog->CheckBoxWholeWord->setChecked(whole);
        (down ? dialog->RadioButtonDown : dialog->RadioButtonUp)->setChecked(true);
        dialog->ButtonFindNext->click();
        return CurrentEmail();
    };

    // "müller" from the current row on, ignoring case; at the end the beep and the flash.
    form->SpeedButtonSearchRecipients->click(); // a new search starts at the current row
    EXPECT_EQ(find("müller"), "b@x.de");
    EXPECT_EQ(find("müller"), "e@x.de");
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(find("müller"), "e@x.de");
    EXPECT_EQ(beeps, 1);
    ASSERT_FALSE(flashed.isEmpty());
    EXPECT_EQ(flashed.last(), dialog);
    EXPECT_EQ(find("müller", false, false), "b@x.de") << "upwards from the last hit";

    // Starting at the current row, also in a sorted list.
    Grid()->SetSortField("Last Name"); // d 50%, a Bobby, e MÜLLER, b Müller, c O'Brien
    DataSet().SetRecNo(4);
    ASSERT_EQ(CurrentEmail(), "b@x.de");
    form->SpeedButtonSearchRecipientsClick();
    EXPECT_EQ(find("@x.de"), "b@x.de") << "the current row first";
    EXPECT_EQ(find("@x.de"), "c@x.de") << "then the next row in the shown order";

    // Whole word: the whole value, ignoring case.
    DataSet().First();
    form->SpeedButtonSearchRecipientsClick();
    EXPECT_EQ(find("Bob", true), "b@x.de");
    EXPECT_EQ(find("Bob", true), "c@x.de");
    const int before = beeps;
    EXPECT_EQ(find("Bob", true), "c@x.de") << "Bobby is no whole-word hit";
    EXPECT_EQ(beeps, before + 1);

    // Quotes and percent signs are plain text; Status and _ID are never searched.
    DataSet().First();
    form->SpeedButtonSearchRecipientsClick();
    EXPECT_EQ(find("O'Brien"), "c@x.de");
    EXPECT_EQ(find("50%"), "d@x.de");
    DataSet().First();
    form->SpeedButtonSearchRecipientsClick();
    const int beforeDigits = beeps;
    EXPECT_EQ(find("2"), "d@x.de") << "no text holds a 2: the search stays";
    EXPECT_EQ(beeps, beforeDigits + 1);
}

// ------------------------------------------------------------------ import end to end

namespace {

// The wizard's desktop services: no message is expected.
class QuietDialogs : public importwizard::IWizardDialogs {
public:
    QStringList messages;
    void ShowMessage(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return std::nullopt; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
};

template <typename T> T* FindIn(QWidget* w, const char* name)
{
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Drives the wizard once it is shown: CSV source, the file, no duplicates, header row skipped.
void DriveCsvImport(const QString& path, bool noDuplicates, bool* done)
{
    QTimer::singleShot(0, [=] {
        auto* wizard = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget());
        if (!wizard) {
            ADD_FAILURE() << "no wizard";
            return;
        }
        QPushButton* next = FindIn<QPushButton>(wizard, "ButtonNext");
        next->click();                                       // source page -> CSV page
        FindIn<QLineEdit>(wizard, "EditCSVFilename")->setText(path);
        (noDuplicates ? FindIn<QRadioButton>(wizard, "RadioButtonCSVNoDuplicates")
                      : FindIn<QRadioButton>(wizard, "RadioButtonCSVAllowDuplicates"))
            ->setChecked(true);
        next->click();                                       // -> mapping
        FindIn<QCheckBox>(wizard, "CheckBoxIgnoreFirstRow")->setChecked(true);
        next->click();                                       // -> overview
        next->click();                                       // run
        EXPECT_EQ(next->text(), QStringLiteral("Schließen"));
        next->click();                                       // close
        *done = true;
    });
}

} // namespace

class ImportTest : public RecipientsPageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ImportTest, TenThousandRowsWithUmlautsIntoANewList)
{
    const QString encoding = QString::fromLatin1(GetParam());
    // Header, 10,000 rows, and 200 repeats of earlier addresses that the duplicate test drops.
    QString text = QStringLiteral("Email;Last Name;First Name\r\n");
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("kunde%1@beispiel.de;Müller-Lüdenscheidt %1;Jörg Ä\r\n").arg(i);
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("KUNDE%1@beispiel.de;Doppelt;Zweimal\r\n").arg(i * 7);
    QStringEncoder encoder(encoding == "UTF-8" ? QStringEncoder::Utf8 : QStringEncoder::Latin1);
    QByteArray bytes = encoder(text);
    ASSERT_EQ(bytes.contains("\xC3\xBC"), encoding == "UTF-8");
    const QString path = dir.file("kunden.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The wizard's stored mapping (kept in the order of its controls, the last column first):
    // file column i to list column i.
    {
        settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
        s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "2\r\n1\r\n0\r\n");
    }
    QuietDialogs dialogs;
    form->ImportWizardDialogs = &dialogs;
    ShowRecipientsPage();
    bool done = false;
    DriveCsvImport(path, true, &done);
    form->SpeedButtonImport->click();
    ASSERT_TRUE(done);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
    EXPECT_TRUE(shown.isEmpty()) << "no failed inserts";

    EXPECT_EQ(Grid()->RowCount(), 10000) << "the grid shows the new rows, duplicates left out";
    EXPECT_TRUE(form->SpeedButtonSaveFavorite->isEnabled());
    DataSet().SetRecNo(10000);
    EXPECT_EQ(CurrentEmail(), "kunde9999@beispiel.de");
    EXPECT_EQ(DataSet().FieldByName("Last Name")->AsString(), QStringLiteral("Müller-Lüdenscheidt 9999"));
    EXPECT_EQ(DataSet().FieldByName("First Name")->AsString(), QStringLiteral("Jörg Ä"));
    EXPECT_EQ(DataSet().FieldByName("Status")->AsInteger(), 0);

    // The imported list is saved under a name and reopened from the name box.
    form->ComboBoxFavorites->setEditText("Import");
    form->SpeedButtonSaveFavoriteClick();
    EXPECT_FALSE(form->SpeedButtonSaveFavorite->isEnabled());
    EXPECT_TRUE(Grid()->TableName().startsWith("RL"));
    form->SpeedButton1->click();
    form->ComboBoxFavorites->setCurrentIndex(form->ComboBoxFavorites->findText("Import"));
    form->ComboBoxFavoritesSelect();
    EXPECT_EQ(Grid()->RowCount(), 10000);
    EXPECT_EQ(form->ListStore().RowsToSent(), 10000);
}

INSTANTIATE_TEST_SUITE_P(Encodings, ImportTest, ::testing::Values("UTF-8", "Windows-1252"));

TEST_F(RecipientsPageTest, ImportOffersTheListColumnsAndReportsFailedRowsOnce)
{
    inputs.push_back(QStringLiteral("Firma"));
    form->MenuAddColumnClick();
    // A trigger that refuses three of the rows stands for rows the database rejects; the third
    // lies among many rows that go in together.
    Conn().Execute("CREATE TRIGGER refuse BEFORE INSERT ON " + db::QuoteName(Grid()->TableName()) +
                   " WHEN NEW.Email LIKE 'bad%' BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END");
    const QString path = dir.file("rows.csv");
    QStringList kept;
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray text = "Email;Last;First;Firma\r\n";
        int bad = 0;
        for (int i = 1; i <= 70; ++i) {
            const QString email = i == 2 || i == 4 || i == 50 ? QStringLiteral("bad%1@x.de").arg(++bad) : QStringLiteral("ok%1@x.de").arg(i);
            text += email.toUtf8() + ";A;B;C\r\n";
            if (!email.startsWith("bad"))
                kept << email;
        }
        f.write(text);
    }
    QStringList descriptions;
    QTimer::singleShot(0, [&] {
        if (auto* w = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget()))
            descriptions = w->Descriptions();
    });
    {
        settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
        s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "3\r\n2\r\n1\r\n0\r\n");
    }
    QuietDialogs dialogs;
    form->ImportWizardDialogs = &dialogs;
    bool done = false;
    DriveCsvImport(path, false, &done);
    form->SpeedButtonImportClick();
    ASSERT_TRUE(done);
    EXPECT_EQ(descriptions, QStringList({"Email", "Last Name", "First Name", "Firma"}));
    EXPECT_EQ(Emails(), kept) << "the rows around the refused ones stay";
    EXPECT_EQ(shown, QStringList({"Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"bad1@x.de' (3 Einträge insgesamt)"}));
}

TEST_F(RecipientsPageTest, ImportKeepsLongFieldsWhole)
{
    inputs.push_back(QStringLiteral("Notiz"));
    form->MenuAddColumnClick();
    // The preview row holds a 1 MB note, the last row a quoted 10 MB one with the separator and
    // doubled quotes inside; umlauts make bytes and characters differ.
    QByteArray mega;
    while (mega.size() < 1024 * 1024)
        mega += QStringLiteral("Grüße %1 ").arg(mega.size()).toUtf8();
    mega += "Ende";
    QByteArray tenMega;
    while (tenMega.size() < 10 * 1024 * 1024)
        tenMega += QStringLiteral("Straße; \"Nr.\" %1 ").arg(tenMega.size()).toUtf8();
    tenMega += "Ende";
    QByteArray quoted = tenMega;
    quoted.replace("\"", "\"\"");
    const QString path = dir.file("notes.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Email;Last Name;First Name;Notiz\r\n");
        f.write("a@x.de;Adler;Anna;" + mega + "\r\n");
        f.write("b@x.de;Berg;Bert;kurz\r\n");
        f.write("c@x.de;Cem;Can;\"" + quoted + "\"\r\n");
    }
    {
        settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
        s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "3\r\n2\r\n1\r\n0\r\n");
        s.WriteString(TImportWizardForm::SettingsSection, "CSVSeparator", "0");
    }
    QuietDialogs dialogs;
    form->ImportWizardDialogs = &dialogs;
    ShowRecipientsPage();
    bool done = false;
    DriveCsvImport(path, false, &done);
    form->SpeedButtonImportClick();
    ASSERT_TRUE(done);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
    EXPECT_TRUE(shown.isEmpty()) << shown.join('\n').toStdString();

    const QList<QVariantList> rows = Conn().Select("SELECT \"Email\", CAST(\"Notiz\" AS BLOB) FROM "
                                                   + db::QuoteName(Grid()->TableName()) + " ORDER BY \"_ID\"");
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0][0].toString(), "a@x.de");
    EXPECT_TRUE(rows[0][1].toByteArray() == mega) << "1 MB note: " << rows[0][1].toByteArray().size() << " bytes";
    EXPECT_EQ(rows[1][1].toByteArray(), QByteArray("kurz"));
    EXPECT_TRUE(rows[2][1].toByteArray() == tenMega) << "10 MB note: " << rows[2][1].toByteArray().size() << " bytes";
    EXPECT_EQ(Grid()->RowCount(), 3);
}
