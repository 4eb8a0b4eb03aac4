// CSV files as spreadsheet and address programs write them, imported through the recipients page
// and the wizard into a new list: every value arrives in the list table exactly as the file holds
// it, line breaks inside quoted values included, whatever the file's encoding.
#include "RecipientsPageFixture.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"
#include "platform/settings/RegIniFile.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringEncoder>
#include <QTimer>

using namespace pagetest;

namespace {

class NoDialogs : public importwizard::IWizardDialogs {
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

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Once the wizard is shown: CSV source, the file, the header row skipped; the preview's values
// (preview row 1) are kept, then the run and "Schließen".
void DriveImport(const QString& path, QStringList* preview, bool* done)
{
    QTimer::singleShot(0, [=] {
        auto* wizard = qobject_cast<TImportWizardForm*>(QApplication::activeModalWidget());
        if (!wizard) {
            ADD_FAILURE() << "no wizard";
            return;
        }
        QPushButton* next = Child<QPushButton>(wizard, "ButtonNext");
        next->click();
        Child<QLineEdit>(wizard, "EditCSVFilename")->setText(path);
        Child<QRadioButton>(wizard, "RadioButtonCSVAllowDuplicates")->setChecked(true);
        next->click();
        Child<QCheckBox>(wizard, "CheckBoxIgnoreFirstRow")->setChecked(true);
        const auto& rows = wizard->AssociationBox()->Rows();
        if (!rows.isEmpty()) {
            for (int i = 0; i < rows[0]->fComboBox->count(); ++i)
                preview->append(rows[0]->fComboBox->itemText(i));
        }
        next->click();
        next->click();
        if (next->text() == QStringLiteral("Schließen")) {
            next->click();
            *done = true;
        } else {
            wizard->reject();
        }
    });
}

QByteArray Utf16(const QString& text, bool littleEndian)
{
    QByteArray bytes = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        bytes += littleEndian ? lo : hi;
        bytes += littleEndian ? hi : lo;
    }
    return bytes;
}

} // namespace

TEST_F(RecipientsPageTest, CsvValuesArriveExactlyInTheListTable)
{
    // Multi-line cells as a spreadsheet writes them (CR LF, LF and a lone CR inside quotes),
    // doubled quotes across a line break, a separator inside quotes, a last record without line
    // end; and a quote left open at the end of a file.
    const QString sheet = QStringLiteral(
        "Email;Nachname;Vorname;Notiz\r\n"
        "dora@example.de;Groß;Dora;\"Zeile eins\r\nZeile zwei\"\r\n"
        "emil@example.de;\"Mehr\nzeilig\";Emil;\"vor\rnach\"\r\n"
        "fritz@example.de;Fuß;\"Er sagte \"\"Grüß\ndich\"\"\";\"Straße 1; Köln €\"");
    const QList<QStringList> sheetRows = {
        {"dora@example.de", "Groß", "Dora", "Zeile eins\r\nZeile zwei"},
        {"emil@example.de", "Mehr\nzeilig", "Emil", "vor\rnach"},
        {"fritz@example.de", "Fuß", "Er sagte \"Grüß\ndich\"", "Straße 1; Köln €"},
    };
    QStringEncoder latin1(QStringEncoder::Latin1);
    QByteArray windows1252 = latin1(sheet);
    windows1252.replace("K\xF6ln ?", "K\xF6ln \x80");  // "€" is no Latin-1 character: its Windows-1252 byte
    struct Case {
        const char* name;
        QByteArray bytes;
        QList<QStringList> rows;
    };
    const Case cases[] = {
        {"UTF-8", sheet.toUtf8(), sheetRows},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + sheet.toUtf8(), sheetRows},
        {"Windows-1252", windows1252, sheetRows},
        {"UTF-16 LE", Utf16(sheet, true), sheetRows},
        {"UTF-16 BE", Utf16(sheet, false), sheetRows},
        {"quote open at the end of the file",
         "Email;Nachname;Vorname;Notiz\nanna@example.de;A;Anna;\"offen\nbis zum Ende\n",
         {{"anna@example.de", "A", "Anna", "offen\nbis zum Ende"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        form = Make();
        inputs.push_back(QStringLiteral("Notiz"));
        form->MenuAddColumnClick();
        const QString path = dir.file("adressen.csv");
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(c.bytes);
        }
        {
            settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
            s.WriteString(TImportWizardForm::SettingsSection, "CSVAssociations", "3\r\n2\r\n1\r\n0\r\n");
            s.WriteString(TImportWizardForm::SettingsSection, "CSVSeparator", "0");
        }
        NoDialogs dialogs;
        form->ImportWizardDialogs = &dialogs;
        ShowRecipientsPage();
        QStringList preview;
        bool done = false;
        DriveImport(path, &preview, &done);
        form->SpeedButtonImportClick();
        ASSERT_TRUE(done) << dialogs.messages.join('\n').toStdString();
        EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
        // The preview shows the first record after the header as one row of four values.
        EXPECT_EQ(preview, c.rows.first());

        const QList<QVariantList> stored = Conn().Select(
            "SELECT CAST(\"Email\" AS BLOB), CAST(\"Last Name\" AS BLOB), CAST(\"First Name\" AS BLOB), "
            "CAST(\"Notiz\" AS BLOB) FROM " + db::QuoteName(Grid()->TableName()) + " ORDER BY \"_ID\"");
        ASSERT_EQ(stored.size(), c.rows.size());
        for (int r = 0; r < stored.size(); ++r) {
            for (int col = 0; col < 4; ++col)
                EXPECT_EQ(stored[r][col].toByteArray(), c.rows[r][col].toUtf8()) << "row " << r << ", column " << col;
        }
    }
}
