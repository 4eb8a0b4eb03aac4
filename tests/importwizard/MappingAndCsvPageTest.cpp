// The CSV file page (separator guess, settings, open button) and the mapping page (preview
// arrows, "Erste Zeile ignorieren", "Feld hinzufügen").
#include "WizardTestSupport.h"

#include <QAbstractItemView>
#include <QDir>
#include <QElapsedTimer>

using namespace wiztest;

namespace {

const QByteArray kThree = "Name;Email;Vorname\r\n"
                          "Meier;meier@x.de;Hans\r\n"
                          "Schulz;schulz@x.de;Eva\r\n";

QStringList Captions(TAssociationBox* box)
{
    // Top-down on the screen.
    QList<TAssociationRow*> rows = box->Rows();
    std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
    QStringList captions;
    for (auto* row : rows)
        captions.append(row->fLabel->text());
    return captions;
}

} // namespace

TEST_F(WizardTest, SeparatorGuessedFromFirstNonEmptyLine)
{
    struct Case {
        const char* name;
        QByteArray content;
        int before;
        int expected;
    };
    const Case cases[] = {
        {"leading empty lines, more commas", "\r\n\nName,Email,Vorname;x\r\n", 0, 2},
        {"two semicolons, one comma", "a;b;c,d\r\n", 2, 0},
        {"tie keeps the earlier", "a;b,c\r\n", 2, 0},
        {"tabs", "Name\tEmail\tVorname\r\n", 0, 3},
        {"separators inside quotes", "\"Meier; Hans; Dr.\",m@x.de\r\n", 0, 2},
        {"a line of blanks is the first line", "   \r\na,b,c\r\n", 1, 1},
        {"no separator keeps the choice", "Meier\r\n", 1, 1},
        {"empty file keeps the choice", "", 1, 1},
    };
    Make();
    form->show();
    Next()->click();
    auto* combo = Find<QComboBox>("BegrenzerComboBox");
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(3), QStringLiteral("\tTab"));
    for (const Case& c : cases) {
        combo->setCurrentIndex(c.before);
        dialogs.openFileAnswer = WriteFile("pick.csv", c.content);
        Find<QToolButton>("SpeedButtonFilenameDialog")->click();
        EXPECT_EQ(Find<QLineEdit>("EditCSVFilename")->text(), dialogs.openFileAnswer) << c.name;
        EXPECT_EQ(combo->currentIndex(), c.expected) << c.name;
    }

    // A cancelled dialog changes nothing.
    Find<QLineEdit>("EditCSVFilename")->setText("kept.csv");
    dialogs.openFileAnswer.clear();
    Find<QToolButton>("SpeedButtonFilenameDialog")->click();
    EXPECT_EQ(Find<QLineEdit>("EditCSVFilename")->text(), QStringLiteral("kept.csv"));
}

TEST_F(WizardTest, OpenButtonOpensOnlyExistingFiles)
{
    const QString path = WriteFile("people.csv", kThree);
    Make();
    form->show();
    Next()->click();
    auto* edit = Find<QLineEdit>("EditCSVFilename");
    edit->setText(path);
    Find<QToolButton>("SpeedButtonOpenImportEditor")->click();
    edit->setText(dir.file("gone.csv"));
    Find<QToolButton>("SpeedButtonOpenImportEditor")->click();
    EXPECT_EQ(dialogs.openedWithDesktop, QStringList({path}));
    EXPECT_EQ(dialogs.messages, QStringList({"Der angegebene Dateiname existiert nicht."}));
}

TEST_F(WizardTest, PreviewArrowsKeepTheChoices)
{
    const QString path = WriteFile("people.csv", kThree);
    const QString other = WriteFile("other.csv", "x;y;z;w\r\nA;B;C;D\r\n");
    Make();
    GoToMapping(path);
    TAssociationBox* box = form->AssociationBox();
    EXPECT_EQ(Captions(box), QStringList({"Email", "Last Name", "First Name"}));
    EXPECT_EQ(PreviewValues(), QStringList({"Meier", "meier@x.de", "Hans"}));
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "1"}));

    box->Rows()[0]->SetItemIndex(2);  // First Name from the third column
    auto* next = Find<QToolButton>("UpDown1Next");
    auto* prev = Find<QToolButton>("UpDown1Prev");
    next->click();
    EXPECT_EQ(form->PreviewRow(), 2);
    EXPECT_EQ(PreviewValues(), QStringList({"Schulz", "schulz@x.de", "Eva"}));
    EXPECT_EQ(Mapping(), QStringList({"2", "-1", "1"}));

    // Beyond the last line the combos keep what they showed.
    next->click();
    EXPECT_EQ(form->PreviewRow(), 3);
    EXPECT_EQ(PreviewValues(), QStringList({"Schulz", "schulz@x.de", "Eva"}));
    prev->click();
    prev->click();
    prev->click();
    EXPECT_EQ(form->PreviewRow(), 1);
    EXPECT_EQ(PreviewValues(), QStringList({"Meier", "meier@x.de", "Hans"}));
    EXPECT_EQ(Mapping(), QStringList({"2", "-1", "1"}));

    // At preview row 1 the box refills at once: the first line shows.
    Find<QCheckBox>("CheckBoxIgnoreFirstRow")->setChecked(false);
    EXPECT_EQ(PreviewValues(), QStringList({"Name", "Email", "Vorname"}));
    EXPECT_EQ(Mapping(), QStringList({"2", "-1", "1"}));

    // The mapping kept in memory applies to another file of the same source.
    Back()->click();
    Find<QLineEdit>("EditCSVFilename")->setText(other);
    Next()->click();
    EXPECT_EQ(PreviewValues(), QStringList({"x", "y", "z", "w"}));
    EXPECT_EQ(Mapping(), QStringList({"2", "-1", "1"}));
}

TEST_F(WizardTest, AddingAFieldInTheMiddleOfAMapping)
{
    const QString path = WriteFile("people.csv", kThree);
    Make();
    GoToMapping(path);
    auto* add = Button("ButtonAddField");
    EXPECT_TRUE(add->isVisible());
    TAssociationBox* box = form->AssociationBox();
    // Email from position 2, Last Name from 0, First Name unmapped.
    box->Rows()[2]->SetItemIndex(2);
    box->Rows()[1]->SetItemIndex(0);
    box->Rows()[0]->SetItemIndex(-1);
    ASSERT_EQ(Mapping(), QStringList({"-1", "0", "2"}));

    // Cancelled, blank and refused names change nothing.
    owner.acceptColumns = false;
    dialogs.inputs = {std::nullopt, QString("   "), QString("Fax")};
    add->click();
    add->click();
    add->click();
    EXPECT_EQ(owner.newColumns, QStringList({"Fax"}));
    EXPECT_EQ(form->Descriptions(), QStringList({"Email", "Last Name", "First Name"}));
    EXPECT_EQ(box->Rows().size(), 3);
    EXPECT_EQ(Mapping(), QStringList({"-1", "0", "2"}));

    owner.acceptColumns = true;
    dialogs.inputs = {QString("  Phone ")};
    add->click();
    EXPECT_EQ(owner.newColumns, QStringList({"Fax", "Phone"}));
    EXPECT_EQ(form->Descriptions(), QStringList({"Email", "Last Name", "First Name", "Phone"}));
    EXPECT_EQ(Captions(box), QStringList({"Email", "Last Name", "First Name", "Phone"}));
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "0", "2"}));

    // Later rows carry one more value at their end.
    Next()->click();
    Next()->click();
    ASSERT_EQ(owner.rows.size(), 2);
    EXPECT_EQ(owner.rows[0], QStringList({"Hans", "Meier", "", ""}));
    EXPECT_FALSE(add->isVisible());
}

TEST_F(WizardTest, AddFieldOnlyWithItsEvent)
{
    const QString path = WriteFile("people.csv", kThree);
    Make({"Email"}, false);
    GoToMapping(path);
    EXPECT_FALSE(Button("ButtonAddField")->isVisible());
}

TEST_F(WizardTest, SettingsStoredAndRestored)
{
    const QString path = WriteFile("people.csv", "Nachname,Vorname,Mail\r\nMeier,Hans,meier@x.de\r\n");
    Make();
    form->show();
    Next()->click();
    Find<QLineEdit>("EditCSVFilename")->setText(path);
    Find<QComboBox>("BegrenzerComboBox")->setCurrentIndex(2);
    Find<QRadioButton>("RadioButtonCSVAllowDuplicates")->setChecked(true);
    Next()->click();
    Find<QCheckBox>("CheckBoxIgnoreFirstRow")->setChecked(false);
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "2"}));
    form->AssociationBox()->Rows()[1]->SetItemIndex(0);
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetOverview");
    EXPECT_EQ(Find<QLabel>("LabelSeparatorValue")->text(), QStringLiteral(", (Komma)"));

    EXPECT_EQ(Stored("SourceSelection"), QStringLiteral("0"));
    EXPECT_EQ(Stored("CSVFile"), path);
    EXPECT_EQ(Stored("CSVSeparator"), QStringLiteral("2"));
    EXPECT_EQ(Stored("CSVAllowDuplicates"), QStringLiteral("1"));
    EXPECT_EQ(Stored("CSVIgnoreFirstRow"), QStringLiteral("0"));
    EXPECT_EQ(Stored("CSVAssociations"), QStringLiteral("-1\r\n0\r\n2\r\n"));

    // The next import starts where this one left off.
    Make();
    form->show();
    Next()->click();
    EXPECT_EQ(Find<QLineEdit>("EditCSVFilename")->text(), path);
    EXPECT_EQ(Find<QComboBox>("BegrenzerComboBox")->currentIndex(), 2);
    EXPECT_TRUE(Find<QRadioButton>("RadioButtonCSVAllowDuplicates")->isChecked());
    Next()->click();
    EXPECT_FALSE(Find<QCheckBox>("CheckBoxIgnoreFirstRow")->isChecked());
    EXPECT_EQ(Mapping(), QStringList({"-1", "0", "2"}));

    // With one more target column the stored mapping no longer fits: the automatic one applies.
    Make({"Email", "Last Name", "First Name", "Phone"});
    form->show();
    Next()->click();
    Next()->click();
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "-1", "2"}));

    // A stored entry that is not a number counts as no stored mapping.
    Store("CSVAssociations", "-1\r\nzwei\r\n2\r\n");
    Make();
    form->show();
    Next()->click();
    Next()->click();
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "2"}));
}

TEST_F(WizardTest, RunsReadEncodingsQuotesAndTabs)
{
    struct Case {
        const char* name;
        QByteArray content;
        int separator;
        QList<QStringList> rows;
    };
    const Case cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBFMail;Name\r\nj\xC3\xB6rg@x.de;M\xC3\xBCller\r\n", 0, {{"jörg@x.de", "Müller"}}},
        {"Windows-1252", "Mail;Name\r\nj\xF6rg@x.de;M\xFCller \x80\r\n", 0, {{"jörg@x.de", "Müller €"}}},
        {"quotes", "Mail;Name\r\n\"o'neil@x.ie\";\"O'Neil; Dr.\"\r\n'a@x.de';\"Say \"\"Hi\"\"\"\r\n", 0,
         {{"o'neil@x.ie", "O'Neil; Dr."}, {"a@x.de", "Say \"Hi\""}}},
        {"tab with empty fields", "Mail\tX\tName\r\nm@x.de\t\tMeier\r\n\t\tOhne\r\n", 3,
         {{"m@x.de", "Meier"}, {"", "Ohne"}}},
    };
    for (const Case& c : cases) {
        owner = FakeOwner();
        Store("CSVAssociations", c.separator == 3 ? "2\r\n0\r\n" : "1\r\n0\r\n");
        Store("CSVSeparator", QString::number(c.separator));
        Store("CSVAllowDuplicates", "1");
        Make({"Email", "Last Name"});
        GoToOverview(WriteFile("run.csv", c.content));
        Next()->click();
        EXPECT_EQ(owner.rows, c.rows) << c.name;
    }
}

TEST_F(WizardTest, LongFieldsArriveWholeAndOnlyTheirDisplayIsShortened)
{
    // A 1 MB note in the preview row, a short one, and a quoted 10 MB note holding the separator
    // and doubled quotes; "Ä" and "€" make the UTF-8 bytes differ from the characters.
    QString mega;
    while (mega.size() < 1024 * 1024)
        mega += QStringLiteral("Notiz Ä€ %1 ").arg(mega.size());
    QString tenMega;
    while (tenMega.size() < 10 * 1024 * 1024)
        tenMega += QStringLiteral("Zeile; \"zitiert\" %1 ").arg(tenMega.size());
    QString quotedTen = tenMega;
    quotedTen.replace(QLatin1Char('"'), QLatin1String("\"\""));
    const QString text = QStringLiteral("Email;Name;Notiz\r\n") + QStringLiteral("a@x.de;Anna;") + mega
                         + QStringLiteral("\r\nb@x.de;Bert;kurz\r\nc@x.de;Cem;\"") + quotedTen + QStringLiteral("\"\r\n");
    const QString path = WriteFile("notes.csv", text.toUtf8());
    Store("CSVAssociations", "2\r\n1\r\n0\r\n");
    Store("CSVSeparator", "0");
    Make({"Email", "Last Name", "Notiz"});
    GoToMapping(path);

    // The drop-downs show the values shortened; the mapping still names the long column.
    const QStringList shown = PreviewValues();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], "a@x.de");
    EXPECT_EQ(shown[2].size(), TAssociationRow::MaxShownLength);
    EXPECT_EQ(shown[2], mega.left(TAssociationRow::MaxShownLength - 1) + QChar(0x2026));
    EXPECT_EQ(Mapping(), QStringList({"2", "1", "0"}));
    EXPECT_EQ(form->AssociationBox()->Rows()[0]->fComboBox->lineEdit()->cursorPosition(), 0) << "shown from its start";
    for (TAssociationRow* row : form->AssociationBox()->Rows()) {
        // Opening a drop-down lays out only short items (measured, not asserted: see the report).
        QElapsedTimer opening;
        opening.start();
        row->fComboBox->showPopup();
        QCoreApplication::processEvents();
        row->fComboBox->hidePopup();
        RecordProperty("popup_ms_" + row->objectName().toStdString(), int(opening.elapsed()));
    }
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
    QDir().mkpath(out);
    form->AssociationBox()->Rows()[0]->fComboBox->showPopup();
    QCoreApplication::processEvents();
    form->grab().save(out + QStringLiteral("/mapping-long-values.png"));
    if (QWidget* popup = form->AssociationBox()->Rows()[0]->fComboBox->view()->window())
        popup->grab().save(out + QStringLiteral("/mapping-long-values-dropdown.png"));
    form->AssociationBox()->Rows()[0]->fComboBox->hidePopup();
    // Typing the shortened text chooses that column as well.
    TAssociationRow* notes = form->AssociationBox()->Rows()[0];
    notes->fComboBox->setEditText(shown[2]);
    EXPECT_EQ(notes->GetItemIndex(), 2);

    Next()->click();
    Next()->click();
    ASSERT_EQ(owner.rows.size(), 3);
    EXPECT_EQ(owner.rows[0], QStringList({"a@x.de", "Anna", mega.trimmed()}));
    EXPECT_EQ(owner.rows[1], QStringList({"b@x.de", "Bert", "kurz"}));
    EXPECT_EQ(owner.rows[2], QStringList({"c@x.de", "Cem", tenMega.trimmed()}));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('\n').toStdString();
}

TEST(AssociationRowDisplay, ShortValuesStayAndLongOnesAreCutWhole)
{
    const QString exact(TAssociationRow::MaxShownLength, QLatin1Char('x'));
    EXPECT_EQ(TAssociationRow::DisplayText(exact), exact);
    EXPECT_EQ(TAssociationRow::DisplayText(""), "");
    const QString longer = exact + QLatin1Char('y');
    EXPECT_EQ(TAssociationRow::DisplayText(longer), exact.left(exact.size() - 1) + QChar(0x2026));
    // A character outside the BMP at the cut is not split in half.
    const QString emoji = QString(TAssociationRow::MaxShownLength - 2, QLatin1Char('x')) + QString::fromUtf8("😀") + "zzz";
    const QString cut = TAssociationRow::DisplayText(emoji);
    EXPECT_FALSE(cut.at(cut.size() - 2).isHighSurrogate()) << cut.toStdString();
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
}

TEST_F(WizardTest, MultiLineRecordsArePreviewedCountedAndRunAsOneRow)
{
    // A record's quoted note spans three lines; the count and the arrows go by records.
    const QString path = WriteFile("multi.csv", "Email;Name;Notiz\r\n"
                                                "a@x.de;Adler;\"eins\r\nzwei\nDrei \"\"x\"\"\"\r\n"
                                                "b@x.de;Berg;kurz\r\n");
    Store("CSVAssociations", "2\r\n1\r\n0\r\n");
    Store("CSVSeparator", "0");
    Make({"Email", "Last Name", "Notiz"});
    GoToMapping(path);
    EXPECT_EQ(PreviewValues(), QStringList({"a@x.de", "Adler", "eins\r\nzwei\nDrei \"x\""}));
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR"))
        form->grab().save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + "/mapping-multi-line.png");
    Find<QToolButton>("UpDown1Next")->click();
    EXPECT_EQ(PreviewValues(), QStringList({"b@x.de", "Berg", "kurz"}));
    Next()->click();
    EXPECT_EQ(Panel()->Max(), 2);
    Next()->click();
    EXPECT_EQ(owner.rows, QList<QStringList>({{"a@x.de", "Adler", "eins\r\nzwei\nDrei \"x\""}, {"b@x.de", "Berg", "kurz"}}));
}

TEST_F(WizardTest, SeparatorGuessAndPreviewReadUtf16)
{
    const QString text = QStringLiteral("Name,Email,Ort\r\nMüller,m@x.de,Köln\r\n");
    QByteArray le("\xFF\xFE");
    for (QChar c : text) {
        le += char(c.unicode() & 0xFF);
        le += char(c.unicode() >> 8);
    }
    Make();
    form->show();
    Next()->click();
    dialogs.openFileAnswer = WriteFile("unicode.txt", le);
    Find<QToolButton>("SpeedButtonFilenameDialog")->click();
    EXPECT_EQ(Find<QComboBox>("BegrenzerComboBox")->currentIndex(), 2) << "the comma";
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetCSVAssociations");
    EXPECT_EQ(PreviewValues(), QStringList({"Müller", "m@x.de", "Köln"}));
    EXPECT_EQ(Mapping(), QStringList({"-1", "-1", "1"}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WizardTest, FilesThatAreNoTextAreRefused)
{
    const QString refusal =
        QStringLiteral("Die Datei enthält keinen lesbaren Text und kann nicht als CSV Datei importiert werden.");
    QByteArray random;
    quint32 x = 4711;
    for (int i = 0; i < 65536; ++i) {
        x = x * 1664525u + 1013904223u;
        random += char(x >> 24);
    }
    // Random bytes, and a text with a NUL byte in it (the rest of it plain text).
    for (const QByteArray& bytes : {random, QByteArray("Email;Name\r\na@x.de;A\0B\r\n", 22)}) {
        owner = FakeOwner();
        Make();
        form->show();
        Next()->click();
        Find<QLineEdit>("EditCSVFilename")->setText(WriteFile("data.csv", bytes));
        dialogs.messages.clear();
        Next()->click();
        EXPECT_EQ(dialogs.messages, QStringList({refusal}));
        EXPECT_EQ(Page(), "TabSheetCSVFiles");
        EXPECT_TRUE(Next()->isEnabled());
        EXPECT_TRUE(owner.rows.isEmpty());
    }
}
