#pragma once
// A database with the current schema, a list store over it and scripted prompts.
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"
#include "recipients/RecipientListStore.h"
#include "recipients/Schema.h"
#include "Printers.h"
#include "TestUtil.h"
#include <gtest/gtest.h>
#include <deque>

namespace listtest {

using recipients::TAnswer;
using recipients::TAskButtons;

// Answers questions from a script and records everything shown. A question without a scripted
// answer fails the test.
class ScriptedPrompts : public recipients::IListPrompts {
public:
    std::deque<TAnswer> answers;
    QStringList asked, messages, infos, warnings;
    int beeps = 0, alerts = 0, busy = 0;

    TAnswer Ask(const QString& text, TAskButtons) override
    {
        asked << text;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return TAnswer::Cancel;
        }
        const TAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void Message(const QString& text) override { messages << text; }
    void Information(const QString& text) override { infos << text; }
    void Warning(const QString& text) override { warnings << text; }
    void Beep() override { ++beeps; }
    void AlertMainWindow() override { ++alerts; }
    void Busy(bool on) override { busy += on ? 1 : -1; }
};

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        conn.Open(dir.file("qly.db"), db::OpenMode::CreateIfMissing);
        ASSERT_EQ(recipients::UpgradeSchema(conn, {}), 31);
        store.TEMP = "temp4711";
        store.Instance = 4711;
    }
    void TearDown() override { EXPECT_EQ(prompts.busy, 0) << "busy cursor left on"; }

    QList<QVariantList> Rows(const QString& sql) { return conn.Select(sql); }
    QVariant Value(const QString& sql) { return conn.Scalar(sql); }
    // A stored list with rows (email, last name, first name, status), not open.
    QString MakeList(const QString& name, const QList<QStringList>& rows = {})
    {
        const QString table = store.CreateListTable(name);
        for (const QStringList& r : rows)
            conn.Execute("INSERT INTO " + db::QuoteName(table) + " (Email, \"Last Name\", \"First Name\", Status) VALUES (?,?,?,?)",
                         {r.value(0), r.value(1), r.value(2), r.value(3, "0").toInt()});
        return table;
    }
    // Emails of the open dataset in its order.
    QStringList ShownEmails()
    {
        QStringList out;
        auto& ds = store.DataSet();
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.FieldByName("Email")->AsString();
        return out;
    }

    qlytest::TempDir dir;
    db::Connection conn;
    ScriptedPrompts prompts;
    recipients::TRecipientListStore store{conn, &prompts};
};

} // namespace listtest
