// The recipient list text file: save, load, refusals, encodings.
#include "ListFixture.h"
#include "core/TextFile.h"
#include <QBuffer>
#include <QFile>
#include <gmock/gmock.h>

using namespace listtest;
using ::testing::ElementsAre;

namespace {

const QString kInvalid = "Diese Datei ist keine gültige Quillory Empfängerliste. \\n Bitte benutzen Sie den Import "
                         "Assistenten um diese Liste zu laden.";

class ListFileTest : public ListTest {
protected:
    QString file = dir.file("liste.csv");
    QList<QVariantList> TempRows() { return Rows("SELECT * FROM temp4711 ORDER BY _ID"); }
};

TEST_F(ListFileTest, SaveWritesHeaderAndRowsInTheListOrderAndLoadReadsThemBack)
{
    MakeList("Kunden", {{"b@x.de", "Bär", "Björn", "1"}, {"a@x.de", "", "", "0"}});
    store.OpenList("Kunden");
    ASSERT_TRUE(store.AddColumn("Firma"));
    conn.Execute("UPDATE RL1 SET Firma = ' Müller & Co ' WHERE Email = 'a@x.de'");
    store.SortByColumn("Email");
    ASSERT_TRUE(store.SaveToFile(file));
    EXPECT_EQ(qlytest::readFileBytes(file), QString("Status;Email;Last Name;First Name;Firma;\r\n"
                                       "0;a@x.de;;;\" Müller & Co \";\r\n"
                                       "1;b@x.de;Bär;Björn;;\r\n")
                                   .toUtf8());

    ASSERT_TRUE(store.LoadFromFile(file));
    EXPECT_EQ(store.TableName(), "temp4711");
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Firma"));
    EXPECT_EQ(TempRows(), (QList<QVariantList>{{1LL, 0LL, "a@x.de", "", "", " Müller & Co "}, {2LL, 1LL, "b@x.de", "Bär", "Björn", ""}}));
    EXPECT_EQ(store.DataSet().RecordCount(), 2);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(Value("SELECT LockedBy FROM RecipientsLists").toString(), "") << "the open list was released";
}

TEST_F(ListFileTest, SaveWritesManyMegabytesAndAValueLongerThanItsBufferWhole)
{
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i)
        rows << QStringList{QString("r%1@x.de").arg(i), QString(500, QChar('a' + i % 26)), "Zoë", "0"};
    MakeList("Gross", rows);
    store.OpenList("Gross");
    ASSERT_TRUE(store.AddColumn("Betrag"));
    const QString huge(3 * 1024 * 1024 + 7, 'h');
    conn.Execute("UPDATE RL1 SET \"Last Name\" = ?, Betrag = 2.5 WHERE Email = 'r1500@x.de'", {huge});
    conn.Execute("UPDATE RL1 SET Betrag = x'4869' WHERE Email = 'r7@x.de'");  // a blob, written as its text
    ASSERT_TRUE(store.SaveToFile(file));
    QByteArray expected = "Status;Email;Last Name;First Name;Betrag;\r\n";
    for (int i = 0; i < 3000; ++i)
        expected += "0;r" + QByteArray::number(i) + "@x.de;" + (i == 1500 ? huge : QString(500, QChar('a' + i % 26))).toUtf8()
                    + ";Zoë;" + (i == 1500 ? "2.5" : i == 7 ? "Hi" : "") + ";\r\n";
    const QByteArray saved = qlytest::readFileBytes(file);
    EXPECT_EQ(saved.size(), expected.size());
    EXPECT_TRUE(saved == expected);
}

TEST_F(ListFileTest, OverwriteOnlyAfterOk)
{
    store.NewUnsavedList();
    ASSERT_TRUE(store.InsertRow({"0", "a@x.de"}));
    qlytest::writeFileBytes(file, "alt\r\n");
    prompts.answers = {TAnswer::Cancel};
    EXPECT_FALSE(store.SaveToFile(file));
    EXPECT_EQ(prompts.asked, QStringList{"Die Datei \"" + file + "' existert bereits. Möchten Sie sie überschreiben?"});
    EXPECT_EQ(qlytest::readFileBytes(file), "alt\r\n");
    prompts.answers = {TAnswer::Ok};
    EXPECT_TRUE(store.SaveToFile(file));
    EXPECT_EQ(qlytest::readFileBytes(file), "Status;Email;Last Name;First Name;\r\n0;a@x.de;;;\r\n");

    // A file that cannot be written: the message, nothing else.
    EXPECT_FALSE(store.SaveToFile(dir.file("fehlt/liste.csv")));
    EXPECT_EQ(prompts.messages, QStringList{"Datei kann nicht gespeichert werden: " + dir.file("fehlt/liste.csv")});
}

TEST_F(ListFileTest, RefusedFilesChangeNothing)
{
    MakeList("Kunden", {{"a@x.de"}});
    ASSERT_TRUE(store.OpenStoredList("Kunden"));
    const QString lock = Value("SELECT LockedBy FROM RecipientsLists").toString();
    const struct {
        const char* bytes;
    } refused[] = {{"Email;Status;Last Name;First Name;\r\n0;a@x;;;\r\n"},
                   {"Status;Email;Last Name;\r\n"},
                   {""},
                   {"Status;Email;Last Name;First Name;_geheim;\r\n"},
                   {"Status;Email;Last Name;First Name;Firma;FIRMA;\r\n"},
                   {"Status;Email;Last Name;First Name;email;\r\n"},
                   {"Status;Email;Last Name;First Name;a`b;\r\n"}};
    for (const auto& c : refused) {
        SCOPED_TRACE(c.bytes);
        qlytest::writeFileBytes(file, c.bytes);
        prompts.messages.clear();
        EXPECT_FALSE(store.LoadFromFile(file));
        EXPECT_EQ(prompts.messages, QStringList{kInvalid});
        EXPECT_EQ(store.TableName(), "RL1");
        EXPECT_EQ(Value("SELECT LockedBy FROM RecipientsLists").toString(), lock);
        EXPECT_FALSE(conn.TableExists("temp4711"));
    }
    EXPECT_FALSE(store.LoadFromFile(dir.file("gibtsnicht.csv")));
    EXPECT_EQ(prompts.warnings, QStringList{"Die Datei \"" + dir.file("gibtsnicht.csv") +
                                            "\" konnte nicht gefunden werden. Bitte überprüfen Sie den Dateinamen."});
    EXPECT_EQ(store.TableName(), "RL1");
}

// Values with the separator, quotes, line breaks of every kind and outer blanks come back as they
// were; the writer quotes only those values.
TEST_F(ListFileTest, ValuesWithSeparatorsQuotesAndLineBreaksRoundTrip)
{
    MakeList("Kunden", {{"a@x.de", "Semi;colon", "\"Quoted\" \"\"", "0"},
                        {"b@x.de", "two\r\nlines", "lf\nonly and cr\rtoo", "1"},
                        {"c@x.de", "  outer blanks\t", "", "2"},
                        {"d@x.de", "ends with ;", "\"", "0"}});
    store.OpenList("Kunden");
    ASSERT_TRUE(store.AddColumn("Notiz \"x\""));
    conn.Execute("UPDATE RL1 SET \"Notiz \"\"x\"\"\" = 'Zeile 1\r\n\"Zeile\";2\r\n' WHERE Email = 'a@x.de'");
    // A null reads back as an empty text.
    const QList<QVariantList> before = Rows("SELECT Status, Email, \"Last Name\", \"First Name\", ifnull(\"Notiz \"\"x\"\"\", '') FROM RL1 ORDER BY _ID");
    ASSERT_TRUE(store.SaveToFile(file));
    const QByteArray bytes = qlytest::readFileBytes(file);
    EXPECT_TRUE(bytes.startsWith("Status;Email;Last Name;First Name;\"Notiz \"\"x\"\"\";\r\n0;a@x.de;\"Semi;colon\";")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\r\n2;c@x.de;\"  outer blanks\t\";;;\r\n")) << "plain values stay unquoted";

    ASSERT_TRUE(store.LoadFromFile(file));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('|').toStdString();
    EXPECT_EQ(Rows("SELECT Status, Email, \"Last Name\", \"First Name\", \"Notiz \"\"x\"\"\" FROM temp4711 ORDER BY _ID"), before);
}

// Column names that the list file could not carry are refused, in German, wherever a column is made.
TEST_F(ListFileTest, ColumnNamesWithTheSeparatorOrALineBreakAreRefused)
{
    MakeList("Kunden", {{"a@x.de", "A", "B", "0"}});
    store.OpenList("Kunden");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {{"Tel;Fax", "Der Name darf kein \";\" enthalten."},
                 {"Zeile\nzwei", "Der Name darf keinen Zeilenumbruch enthalten."},
                 {"Zeile\rzwei", "Der Name darf keinen Zeilenumbruch enthalten."}};
    for (const auto& c : cases) {
        prompts.messages.clear();
        EXPECT_FALSE(store.AddColumn(c.name)) << c.name;
        EXPECT_EQ(prompts.messages, QStringList{"Diese Spalte konnte nicht erstellt werden. (" + QString::fromUtf8(c.reason) + ")"});
        EXPECT_FALSE(store.RenameColumn("Email", c.name));
    }
    ASSERT_TRUE(store.AddColumn("Tel"));
    prompts.messages.clear();
    EXPECT_FALSE(store.RenameColumn("Tel", "Tel;Fax"));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Tel"));
}

TEST_F(ListFileTest, LinesAreReadLeniently)
{
    store.NewUnsavedList();
    // Lower-case header, blank lines, short lines, an empty and a bad status, LF and CR endings.
    qlytest::writeFileBytes(file, "status;EMAIL;last name;First Name;Ort;\r\n"
                     "1;a@x.de;A;Anna;Bonn;\r\n"
                     "\r\n"
                     "   \n"
                     ";b@x.de;\n"
                     "7;c@x.de;C;;\r"
                     "2;d@x.de\r\n");
    ASSERT_TRUE(store.LoadFromFile(file));
    EXPECT_THAT(store.GetFieldNames(), ElementsAre("_ID", "Status", "Email", "Last Name", "First Name", "Ort"));
    EXPECT_EQ(TempRows(), (QList<QVariantList>{{1LL, 1LL, "a@x.de", "A", "Anna", "Bonn"},
                                               {2LL, 0LL, "b@x.de", "", "", ""},
                                               {3LL, 2LL, "d@x.de", "", "", ""}}));
    EXPECT_EQ(prompts.messages, QStringList{"Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"7'"});
}

TEST_F(ListFileTest, ALineWithTooManyValuesStopsTheLoadAndKeepsTheRowsBefore)
{
    store.NewUnsavedList();
    qlytest::writeFileBytes(file, "Status;Email;Last Name;First Name;\r\n"
                     "0;a@x.de;A;;\r\n"
                     "0;b@x.de;Semi;colon;zu viel;\r\n"
                     "0;c@x.de;;;\r\n");
    EXPECT_TRUE(store.LoadFromFile(file));
    EXPECT_EQ(prompts.messages, QStringList{"Die angegebene Datei konnte nicht geöffnet werden: " + file +
                                            " (Die Zeile hat 5 Werte, die Liste aber nur 4 Spalten.)"});
    EXPECT_EQ(Value("SELECT group_concat(Email) FROM temp4711").toString(), "a@x.de");
    EXPECT_EQ(store.DataSet().RecordCount(), 1);
    EXPECT_EQ(conn.TransactionLevel(), 0);
}

TEST_F(ListFileTest, EncodingsUtf8WithOrWithoutMarkElseWindows1252)
{
    EXPECT_EQ(core::DecodeTextFile("M\xC3\xBCller"), "Müller");
    EXPECT_EQ(core::DecodeTextFile("\xEF\xBB\xBFM\xC3\xBCller"), "Müller");
    EXPECT_EQ(core::DecodeTextFile("M\xFCller \x80 \x93x\x94"), QString::fromUtf8("Müller € “x”"));

    store.NewUnsavedList();
    qlytest::writeFileBytes(file, "Status;Email;Last Name;First Name;\r\n0;m@x.de;M\xFCller;J\xF6rg;\r\n");
    ASSERT_TRUE(store.LoadFromFile(file));
    EXPECT_EQ(Rows("SELECT \"Last Name\", \"First Name\" FROM temp4711"), (QList<QVariantList>{{"Müller", "Jörg"}}));
}

// The line reader gives the lines of the whole decoded text, however the pieces cut the bytes.
TEST(TextFileLineReader, PiecesCutAnywhereGiveTheLinesOfTheWholeText)
{
    const QByteArray inputs[] = {
        "",
        "eine Zeile ohne Ende",
        "a\r\nb\nc\rd\r\n\r\n\n e \r",
        "\xEF\xBB\xBFM\xC3\xBCller;J\xC3\xB6rg;\r\n\xE2\x82\xAC;\xF0\x9F\x98\x80;\r\nende",
        "M\xFCller\r\n\x80;\x93x\x94\r\r\n",
        "\xEF\xBB\xBF" "ascii\r\nlast line broken \xC3",
        "lange Zeile " + QByteArray(40, 'x') + "\r\n" + QByteArray(3, '\r') + "kurz",
    };
    for (const QByteArray& bytes : inputs) {
        // The reference: the decoded whole text split at CR LF, LF and lone CR.
        const QString text = core::DecodeTextFile(bytes);
        QStringList expected;
        for (qsizetype pos = 0; pos < text.size();) {
            qsizetype e = pos;
            while (e < text.size() && text[e] != '\n' && text[e] != '\r')
                ++e;
            expected << text.mid(pos, e - pos);
            if (e + 1 < text.size() && text[e] == '\r' && text[e + 1] == '\n')
                ++e;
            pos = e + 1;
        }
        for (qint64 piece : {1, 2, 3, 5, 8, 64, 1 << 20}) {
            QByteArray copy = bytes;
            QBuffer buffer(&copy);
            ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
            core::TextFileLineReader reader(buffer, piece);
            QStringList lines;
            QStringView line;
            while (reader.NextLine(line))
                lines << line.toString();
            EXPECT_EQ(lines, expected) << bytes.toHex().toStdString() << " in pieces of " << piece;
            EXPECT_EQ(reader.Utf8(), QByteArrayView(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes).isValidUtf8());
            EXPECT_TRUE(reader.ErrorString().isEmpty());
        }
    }
}

TEST_F(ListFileTest, AWindows1252TailAfterManyMegabytesOfAsciiDecidesTheEncoding)
{
    // 50 MB of plain ASCII rows, then 5 MB of rows with Windows-1252 letters: the whole file is
    // not UTF-8, so every row is read as Windows-1252 (and none is lost to a decoding error).
    const QByteArray filler(4000, 'x');
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Status;Email;Last Name;First Name;Notiz;\r\n");
    qint64 rows = 0;
    while (f.size() < 50LL * 1024 * 1024) {
        f.write("0;a" + QByteArray::number(rows++) + "@x.de;Ascii;Anna;" + filler + ";\r\n");
    }
    const qint64 asciiRows = rows;
    while (f.size() < 55LL * 1024 * 1024) {
        f.write("0;m" + QByteArray::number(rows++) + "@x.de;M\xFCller;J\xF6rg \x80;" + filler + ";\r\n");
    }
    f.close();

    store.NewUnsavedList();
    ASSERT_TRUE(store.LoadFromFile(file));
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('\n').toStdString();
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711").toLongLong(), rows);
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE \"Last Name\" = 'Müller' AND \"First Name\" = 'Jörg €'").toLongLong(),
              rows - asciiRows);
    EXPECT_EQ(Value("SELECT \"First Name\" FROM temp4711 WHERE Email = 'a0@x.de'").toString(), "Anna");
}

} // namespace

// Many rows go in together; every row keeps its place, its values and its message, also where a
// refused row or a stopping line falls inside a group.
TEST_F(ListFileTest, ManyRowsKeepTheirOrderValuesAndMessages)
{
    store.NewUnsavedList();
    QByteArray bytes = "Status;Email;Last Name;First Name;Ort;\r\n";
    QList<QVariantList> expected;
    QStringList messages;
    for (int i = 1; i <= 300; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i == 70 || i == 129) { // refused: a status other than 0, 1, 2
            bytes += "5;bad" + n + "@x.de;;;;\r\n";
            messages << "Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"5'";
        } else if (i == 200) { // stops the load: more values than columns
            bytes += "0;z@x.de;A;B;C;D;\r\n";
        } else if (i % 3 == 0) { // short, status empty
            bytes += ";kurz" + n + "@x.de\r\n";
            if (i < 200)
                expected << QVariantList{0LL, "kurz" + QString::number(i) + "@x.de", "", "", ""};
        } else {
            bytes += QByteArray::number(i % 3) + "; p" + n + "@x.de ;Müller-Straße " + n + ";Zoë;Köln 😀;\r\n";
            if (i < 200)
                expected << QVariantList{qlonglong(i % 3), "p" + QString::number(i) + "@x.de",
                                         "Müller-Straße " + QString::number(i), "Zoë", "Köln 😀"};
        }
    }
    qlytest::writeFileBytes(file, bytes);
    ASSERT_TRUE(store.LoadFromFile(file));
    messages << "Die angegebene Datei konnte nicht geöffnet werden: " + file +
                    " (Die Zeile hat 6 Werte, die Liste aber nur 5 Spalten.)";
    EXPECT_EQ(prompts.messages, messages);
    EXPECT_EQ(Rows("SELECT Status, Email, \"Last Name\", \"First Name\", Ort FROM temp4711 ORDER BY _ID"), expected);
    EXPECT_EQ(Value("SELECT count(DISTINCT _ID) FROM temp4711").toLongLong(), 197);
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE Email = 'P10@X.DE'").toLongLong(), 1); // NOCASE kept
    EXPECT_EQ(Value("SELECT typeof(Ort) || typeof(Status) FROM temp4711 WHERE _ID = 1").toString(), "textinteger");
    EXPECT_EQ(conn.TransactionLevel(), 0);
}

// When the database refuses a row inside a group, the group goes in row by row: only that row is
// missing and named, the rows around it stay in order.
TEST_F(ListFileTest, ARowTheDatabaseRefusesInsideAGroupIsNamedAlone)
{
    store.NewUnsavedList();
    QByteArray bytes = "Status;Email;Last Name;First Name;\r\n";
    for (int i = 1; i <= 200; ++i)
        bytes += "0;p" + QByteArray::number(i) + "@x.de;;;\r\n";
    qlytest::writeFileBytes(file, bytes);
    bool triggered = false;
    conn.OnStatement = [&](const QString& sql) {
        // Once the list's table exists and its rows start to go in, a trigger refuses one row.
        if (!triggered && sql.startsWith("INSERT INTO \"temp4711\"")) {
            triggered = true;
            conn.Execute("CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.temp4711 WHEN NEW.Email = 'p100@x.de' "
                         "BEGIN SELECT RAISE(ABORT, 'nein'); END");
        }
    };
    ASSERT_TRUE(store.LoadFromFile(file));
    conn.OnStatement = nullptr;
    ASSERT_TRUE(triggered);
    EXPECT_EQ(prompts.messages, QStringList{"Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"0'"});
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711").toLongLong(), 199);
    EXPECT_EQ(Value("SELECT count(*) FROM temp4711 WHERE Email = 'p100@x.de'").toLongLong(), 0);
    QStringList order;
    for (const QVariantList& r : Rows("SELECT Email FROM temp4711 ORDER BY _ID"))
        order << r[0].toString();
    QStringList expected;
    for (int i = 1; i <= 200; ++i)
        if (i != 100)
            expected << QString("p%1@x.de").arg(i);
    EXPECT_EQ(order, expected);
}
