// Cleaning (address pattern, invalid and empty addresses), duplicates, and the search.
#include "ListFixture.h"
#include "recipients/ADOSearch.h"

#include <map>

using namespace listtest;
using recipients::TRecipientListStore;

namespace {

TEST(AddressPattern, Cases)
{
    const struct {
        const char* email;
        bool valid;
    } cases[] = {{"", false},
                 {"a@b", false},
                 {"a@b.", false},
                 {"@b.de", false},
                 {"x@y.z", true},
                 {"Max <max@x.de>", true},
                 {"a.b-c@d-e.f.gh", true},
                 {"under_score@x.de", true},
                 {"info@müller.de", false}, // \w is ASCII
                 {"müller@x.de", true},     // "ller@x.de" is enough: the pattern is not anchored
                 {"kein at", false},
                 {"a@b c.de", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.email);
        EXPECT_EQ(TRecipientListStore::IsValidAddress(QString::fromUtf8(c.email)), c.valid);
    }
}

TEST_F(ListTest, RemoveInvalidAddressesKeepsTheValidRowsAndTheirStatus)
{
    MakeList("Kunden", {{"ok@x.de", "", "", "1"}, {"kaputt"}, {""}, {"Max <max@x.de>", "", "", "2"}, {"a@b."}, {"c@d.ef"}});
    conn.Execute("INSERT INTO RL1 (Email) VALUES (NULL)");
    store.OpenList("Kunden");
    EXPECT_EQ(store.RemoveInvalidAddresses(), 4);
    EXPECT_EQ(Rows("SELECT Email, Status FROM RL1 ORDER BY _ID"),
              (QList<QVariantList>{{"ok@x.de", 1LL}, {"Max <max@x.de>", 2LL}, {"c@d.ef", 0LL}}));
    EXPECT_EQ(store.DataSet().RecordCount(), 3);
}

TEST_F(ListTest, GotoNextInvalidWrapsAndBeepsWhenNoneIsLeft)
{
    MakeList("Kunden", {{"falsch"}, {"a@x.de"}, {"b@x.de"}, {"c@x.de"}});
    store.OpenList("Kunden");
    auto& ds = store.DataSet();
    ds.Last();
    EXPECT_TRUE(store.GotoNextInvalid());
    EXPECT_EQ(ds.RecNo(), 1) << "wrapped to the first row";
    EXPECT_TRUE(store.GotoNextInvalid()) << "the same row again, after a full round";
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(prompts.beeps, 0);

    conn.Execute("UPDATE RL1 SET Email = 'ok@x.de' WHERE Email = 'falsch'");
    store.Requery();
    ds.SetRecNo(3);
    EXPECT_FALSE(store.GotoNextInvalid());
    EXPECT_EQ(ds.RecNo(), 3) << "the current row stays";
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.alerts, 1);

    store.NewUnsavedList();
    EXPECT_TRUE(store.GotoNextInvalid());
}

// Addresses compare with every letter's case folded (also Ö and ö); empty, blank and null
// addresses are never duplicates, in the dialog and in the import's duplicate test alike.
TEST_F(ListTest, DuplicatesFoldEveryLettersCaseAndEmptyAddressesAreNone)
{
    MakeList("Kunden", {{"b@x.de"}, {"A@x.de"}, {"solo@x.de"}, {"a@X.DE"}, {"B@x.de"}, {"a@x.de"}, {""}, {""}});
    conn.Execute("INSERT INTO RL1 (Email) VALUES (NULL), (NULL), ('  ')");
    conn.Execute("INSERT INTO RL1 (Email) VALUES ('JÖRG@x.de'), ('MÜLLER@x.de'), ('jörg@x.de'), ('müller@X.de'), ('ma@x.de')");
    const recipients::TDuplicateRows found = TRecipientListStore::FindDuplicates(conn, "RL1");
    db::TExtADODataSet dups(&conn);
    dups.SetCommandText(found.statement);
    dups.Open();
    QStringList shown;
    QList<qint64> ids;
    for (dups.First(); !dups.Eof(); dups.Next()) {
        shown << dups.FieldByName("Email")->AsString();
        ids << dups.FieldByName("_ID")->AsLargeInt();
    }
    EXPECT_EQ(shown, (QStringList{"A@x.de", "a@X.DE", "a@x.de", "b@x.de", "B@x.de", "JÖRG@x.de", "jörg@x.de", "MÜLLER@x.de",
                                  "müller@X.de"}));
    EXPECT_EQ(ids, (QList<qint64>{2, 4, 6, 1, 5, 12, 14, 13, 15}));
    EXPECT_EQ(found.autoSelected, (QList<qint64>{2, 4, 1, 12, 13}));
    EXPECT_EQ(found.rows, 9);

    store.OpenList("Kunden");
    store.DeleteRows(found.autoSelected);
    EXPECT_EQ(Value("SELECT group_concat(_ID) FROM (SELECT _ID FROM RL1 ORDER BY _ID)").toString(), "3,5,6,7,8,9,10,11,14,15,16");

    // The import's duplicate test.
    EXPECT_TRUE(store.IsDuplicate("Email", "JÖRG@X.DE"));
    EXPECT_TRUE(store.IsDuplicate("Email", "Müller@x.de"));
    EXPECT_FALSE(store.IsDuplicate("Email", "mülle@x.de"));
    EXPECT_FALSE(store.IsDuplicate("Email", ""));
    EXPECT_FALSE(store.IsDuplicate("Email", "  "));
}

// Many rows against a plain reference (every address folded, grouped in a map): groups meet
// across ASCII and other letters (the Kelvin sign folds to "k"), blanks, NULLs and the deleted
// rows' gaps in the _IDs change nothing, and a list without duplicates shows none.
TEST_F(ListTest, DuplicatesOfManyRowsMatchAPlainFoldedGrouping)
{
    const QStringList stems = {"kunde", "KUNDE", "\u212Aunde", "jörg", "JÖRG", "Jörg", "müller", "MÜLLER", "x", "X", "ÿ", "\u0178"};
    MakeList("Kunden");
    conn.Execute("BEGIN");
    for (int i = 0; i < 3000; ++i) {
        QVariant email;
        if (i % 97 == 5)
            email = QString(i % 2 ? "   " : "");
        else if (i % 101 != 7)
            email = stems[i % stems.size()] + QString::number(i / stems.size() % 150) + "@x.de";
        conn.Execute("INSERT INTO RL1 (Email) VALUES (?)", {email});
    }
    conn.Execute("DELETE FROM RL1 WHERE _ID % 13 = 0");
    conn.Execute("COMMIT");

    std::map<QString, QList<qint64>> groups; // folded address -> _IDs
    for (const QVariantList& r : Rows("SELECT _ID, Email FROM RL1 ORDER BY _ID"))
        if (!r[1].isNull() && !r[1].toString().trimmed().isEmpty())
            groups[r[1].toString().toCaseFolded()] << r[0].toLongLong();
    QList<qint64> expectShown, expectSelected;
    for (const auto& [key, ids] : groups)
        if (ids.size() > 1) {
            expectShown << ids;
            expectSelected << ids.mid(0, ids.size() - 1);
        }
    ASSERT_GT(expectSelected.size(), 1000);

    // The addresses kept from the first pass: all of them, a part (the rest read again), none.
    const size_t kept = TRecipientListStore::DuplicateTextKept;
    for (const size_t keep : {kept, size_t(9000), size_t(0)}) {
        SCOPED_TRACE(keep);
        TRecipientListStore::DuplicateTextKept = keep;
        const recipients::TDuplicateRows found = TRecipientListStore::FindDuplicates(conn, "RL1");
        TRecipientListStore::DuplicateTextKept = kept;
        db::TExtADODataSet dups(&conn);
        dups.SetCommandText(found.statement);
        dups.Open();
        QList<qint64> shown;
        for (dups.First(); !dups.Eof(); dups.Next())
            shown << dups.FieldByName("_ID")->AsLargeInt();
        EXPECT_EQ(shown, expectShown);
        EXPECT_EQ(found.autoSelected, expectSelected);
        EXPECT_EQ(found.rows, expectShown.size());
    }
    const recipients::TDuplicateRows found = TRecipientListStore::FindDuplicates(conn, "RL1");

    store.OpenList("Kunden");
    store.DeleteRows(found.autoSelected);
    const recipients::TDuplicateRows after = TRecipientListStore::FindDuplicates(conn, "RL1");
    EXPECT_EQ(after.rows, 0);
    EXPECT_TRUE(after.autoSelected.isEmpty());
    EXPECT_TRUE(conn.Select(after.statement).isEmpty());
}

// After a delete the duplicates left are taken from the search before it only while nothing
// else changed the list since: a part of a group deleted leaves the rest (a group of one row
// goes, rows never shown change nothing); an address changed on the same connection or a row
// added by another connection meanwhile is found by a new search.
TEST_F(ListTest, DuplicatesAfterADeleteAreThoseOfANewSearch)
{
    db::Connection other;
    other.Open(dir.file("qly.db"));
    const struct {
        const char* name;
        QList<qint64> deleted;
        const char* sameConnection;  // run on this connection between search and delete
        const char* otherConnection; // and on another one
        QList<qint64> shown, selected;
    } cases[] = {
        {"the automatic selection", {1, 2, 4}, nullptr, nullptr, {}, {}},
        {"the middle of three", {2}, nullptr, nullptr, {1, 3, 4, 5}, {1, 4}},
        {"one of a pair", {5}, nullptr, nullptr, {1, 2, 3}, {1, 2}},
        {"rows never shown", {6, 8}, nullptr, nullptr, {1, 2, 3, 4, 5}, {1, 2, 4}},
        {"an address changed here", {1, 2, 4}, "UPDATE %1 SET Email = 'C@x.de' WHERE _ID = 7", nullptr, {6, 7}, {6}},
        {"a row added elsewhere", {4}, nullptr, "INSERT INTO %1 (Email) VALUES ('b@X.DE')", {1, 2, 3, 5, 9}, {1, 2, 5}},
        {"an address changed elsewhere", {3}, nullptr, "UPDATE %1 SET Email = 'x@x.de' WHERE _ID = 2", {4, 5}, {4}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QStringLiteral("Kunden%1").arg(++n);
        const QString table = MakeList(name, {{"a@x.de"}, {"A@x.de"}, {"a@X.de"}, {"b@x.de"}, {"B@x.de"}, {"c@x.de"}, {"d@x.de"}, {""}});
        store.OpenList(name);
        const recipients::TDuplicateRows found = TRecipientListStore::FindDuplicates(conn, table);
        ASSERT_EQ(found.autoSelected, (QList<qint64>{1, 2, 4}));
        if (c.sameConnection)
            conn.Execute(QString(c.sameConnection).arg(db::QuoteName(table)));
        if (c.otherConnection)
            other.Execute(QString(c.otherConnection).arg(db::QuoteName(table)));
        const qint64 deleted = store.DeleteRows(c.deleted);
        EXPECT_EQ(deleted, c.deleted.size());
        const recipients::TDuplicateRows after = TRecipientListStore::DuplicatesAfterDelete(conn, table, found, c.deleted, deleted);
        EXPECT_EQ(after.autoSelected, c.selected);
        EXPECT_EQ(after.rows, c.shown.size());
        QList<qint64> shown;
        for (const QVariantList& r : conn.Select(after.statement))
            shown << r[0].toLongLong();
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(QList<qint64>(after.shown.begin(), after.shown.end()), c.shown);
        store.CloseList();
    }
}

// ---- search

class SearchTest : public ListTest {
protected:
    void SetUp() override
    {
        ListTest::SetUp();
        MakeList("Kunden", {{"bob@x.de", "Bobby", "Tables", "2"},
                            {"mueller@x.de", "Müller", "Hans"},
                            {"o@x.de", "O'Brien", "50%"},
                            {"x@x.de", "bob", "Müllerin"},
                            {"zw@x.de", "Zwölf", "Eins"}});
        conn.Execute("ALTER TABLE RL1 ADD COLUMN Notiz TEXT");
        store.OpenList("Kunden");
    }
    // Runs find-next and returns the reported keys.
    QStringList Find(recipients::TADOSearch& s, const QString& text, bool whole = false, bool down = true, int times = 1)
    {
        QStringList keys;
        s.SetOnFound([&](const QString& key) { keys << key; });
        for (int i = 0; i < times; ++i)
            s.DoFind(text, whole, down);
        return keys;
    }
    int notFound = 0;
    std::unique_ptr<recipients::TADOSearch> Search(const QVariant& startKey)
    {
        auto s = std::make_unique<recipients::TADOSearch>(conn, store.DataSet().CommandText());
        s->SetStartKey(startKey);
        s->OnNotFound = [this] { ++notFound; };
        return s;
    }
};

TEST_F(SearchTest, FindsFromTheCurrentRowIgnoringCaseAndBeepsAfterTheLast)
{
    auto s = Search(3);
    EXPECT_EQ(s->TextFields(), (QStringList{"Email", "Last Name", "First Name", "Notiz"}));
    // From row 3 on: "Müllerin" in row 4, then nothing; row 2 is before the start.
    EXPECT_EQ(Find(*s, "müller", false, true, 3), (QStringList{"4"}));
    EXPECT_EQ(notFound, 2);
    // Upwards: a new search from the current search row, walking backwards.
    EXPECT_EQ(Find(*s, "müller", false, false, 1), (QStringList{"2"}));

    auto fromStart = Search(QVariant());
    EXPECT_EQ(Find(*fromStart, "MÜLLER", false, true, 2), (QStringList{"2", "4"}));
    // A hit in the current row is reported first.
    auto current = Search(2);
    EXPECT_EQ(Find(*current, "hans"), (QStringList{"2"}));
}

TEST_F(SearchTest, WholeWordLiteralTextsAndHiddenColumns)
{
    const struct {
        const char* text;
        bool whole;
        QStringList keys;
    } cases[] = {{"Bob", true, {"4"}},
                 {"Bob", false, {"1", "4"}},
                 {"O'Brien", false, {"3"}},
                 {"50%", true, {"3"}},
                 {"%", false, {"3"}},
                 {"_", false, {}},
                 {"2", false, {}}, // Status values and keys are never searched
                 {"4", false, {}},
                 {"*", false, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto s = Search(QVariant());
        EXPECT_EQ(Find(*s, c.text, c.whole, true, 3), c.keys);
    }
    // A search sees the snapshot of its command; the list's sort order is the walking order.
    store.SortByColumn("Last Name");
    store.SortByColumn("Last Name"); // descending: Zwölf, O'Brien, Müller, Bobby, bob
    auto sorted = Search(5);
    EXPECT_EQ(Find(*sorted, "@x.de", false, true, 5), (QStringList{"5", "3", "2", "1", "4"}));
    auto fromMiddle = Search(2);
    EXPECT_EQ(Find(*fromMiddle, "@x.de", false, true, 5), (QStringList{"2", "1", "4"}));
}

} // namespace
