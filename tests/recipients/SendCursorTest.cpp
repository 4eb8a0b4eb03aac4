// The send cursor: rows with status 0 of the snapshot, in the list's order, as recipient records.
#include "ListFixture.h"
#include "recipients/Recipients.h"

using namespace listtest;
using recipients::TRecipients;

namespace {

QStringList Emails(TRecipients& cursor)
{
    QStringList out;
    TAssociativeArray r;
    for (cursor.NextRecipient(r); !r.IsEmpty(); cursor.NextRecipient(r))
        out << r.GetValue("Email");
    return out;
}

TEST_F(ListTest, SendCursorHandsOutRowsToSendOnceThenEmptyRecords)
{
    MakeList("Kunden", {{"a@x.de", "Alt", "", "0"}, {"b@x.de", "", "", "2"}, {"c@x.de", "", "", "0"}});
    store.OpenList("Kunden");
    ASSERT_TRUE(store.AddColumn("Firma"));
    conn.Execute("UPDATE RL1 SET \"Last Name\" = NULL WHERE Email = 'c@x.de'");

    TRecipients cursor(store.DataSet());
    EXPECT_EQ(cursor.TableName(), "RL1");
    EXPECT_EQ(cursor.RowsToSent(), 2);
    TAssociativeArray r;
    cursor.NextRecipient(r);
    ASSERT_EQ(r.Count(), 6);
    const QStringList keys{r.KeyAt(0), r.KeyAt(1), r.KeyAt(2), r.KeyAt(3), r.KeyAt(4), r.KeyAt(5)};
    EXPECT_EQ(keys, (QStringList{"_ID", "Status", "Email", "Last Name", "First Name", "Firma"}));
    EXPECT_EQ(r.GetValue("_ID"), "1");
    EXPECT_EQ(r.GetValue("Status"), "0");
    EXPECT_EQ(r.GetValue("Last Name"), "Alt");
    EXPECT_EQ(r.GetValue("Firma"), "") << "NULL comes out empty";

    // Sent since the cursor opened: counted no more, still handed out once. Added: not handed out.
    cursor.SetStatus(3, 1);
    conn.Execute("INSERT INTO RL1 (Email) VALUES ('d@x.de')");
    EXPECT_EQ(cursor.RowsToSent(), 2) << "a fresh count: a@x.de and the new row";
    cursor.NextRecipient(r);
    EXPECT_EQ(r.GetValue("Email"), "c@x.de");
    EXPECT_EQ(r.GetValue("Last Name"), "");
    for (int i = 0; i < 3; ++i) {
        cursor.NextRecipient(r);
        EXPECT_TRUE(r.IsEmpty());
    }
}

TEST_F(ListTest, SendCursorFollowsTheListOrderAndAnEmptyListGivesNothing)
{
    MakeList("Kunden", {{"m@x.de", "M"}, {"a@x.de", "Z"}, {"z@x.de", "A"}, {"q@x.de", "Q", "", "1"}});
    store.OpenList("Kunden");
    store.SortByColumn("Last Name");
    TRecipients byName(store.DataSet());
    EXPECT_EQ(Emails(byName), (QStringList{"z@x.de", "m@x.de", "a@x.de"}));
    store.SortByColumn("Last Name");
    TRecipients descending(store.DataSet());
    EXPECT_EQ(Emails(descending), (QStringList{"a@x.de", "m@x.de", "z@x.de"}));

    store.MarkAllAsBlocked();
    TRecipients none(store.DataSet());
    EXPECT_EQ(none.RowsToSent(), 0);
    TAssociativeArray r;
    r.SetValue("alt", "x");
    none.NextRecipient(r);
    EXPECT_TRUE(r.IsEmpty());
}

TEST(StatementTable, NamesTheTableAfterFrom)
{
    EXPECT_EQ(recipients::StatementTable("SELECT * FROM \"RL1\" ORDER BY \"Email\" DESC"), "RL1");
    EXPECT_EQ(recipients::StatementTable("select * from temp99"), "temp99");
    EXPECT_EQ(recipients::StatementTable("SELECT * FROM \"a \"\"b\"\"\""), "a \"b\"");
}

} // namespace
