#pragma once
// The send cursor of a mailing and of the preview page: the open list's rows with status 0, in the
// list's order, handed out one recipient record at a time. The rows are those of the snapshot
// taken when the cursor opens: a row whose status changes later is still handed out (once), rows
// added later are not.
#include "platform/db/ExtADODataSet.h"
#include "core/AssociativeArray.h"
#include <QStringList>
#include <memory>

namespace db { class Statement; }

namespace recipients {

// Recipient status, the column Status of every list table.
enum RecipientStatus : int { rsToSend = 0, rsSent = 1, rsBlocked = 2 };

class TRecipients : public db::TExtADODataSet {
public:
    // Reads the same table in the same order as the source (the list's dataset). Not opened yet.
    explicit TRecipients(const db::TExtADODataSet& source);
    ~TRecipients() override;

    // The list table the cursor reads.
    QString TableName() const { return m_table; }
    // The next row to send as a record: every field of the table in table order (_ID and Status
    // included), NULL as ''. An empty record when no row is left. Opens the cursor on first use.
    void NextRecipient(TAssociativeArray& record);
    // Sets the status of one row of the table and, for a stored list, of the same row in its
    // backup table; both in one transaction (a savepoint inside the caller's transaction). The
    // statements are prepared on the first call and kept; whether the backup exists is looked
    // up again only after the database's schema changed (inside a write transaction in the
    // connection's schema, without a statement).
    void SetStatus(qint64 id, int status);
    // A fresh count of the table's rows with status 0.
    int RowsToSent();

private:
    struct MarkStatements;
    MarkStatements& Marks();

    QString m_table;
    // Of the open cursor: its fields' names in table order, and whether they differ ignoring
    // case (then a record takes them as they are, with the fields' values by position).
    QStringList m_fieldNames;
    bool m_distinctNames = false;
    std::unique_ptr<MarkStatements> m_marks;
};

// The table named after the first FROM of a statement (quotes removed).
QString StatementTable(const QString& sql);

} // namespace recipients
