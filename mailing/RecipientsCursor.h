#pragma once
// The job's send cursor over the open list: the recipient lists' cursor behind the job's small
// interface. The main window creates one per mailing over its list grid's dataset.
//
// Sent marks are kept in memory and written in short transactions: the marks of up to 50 mails
// or half a second, whichever comes first, each write holding the database only for its own few
// statements. A crash can therefore re-send at most the mails of the last half second; a commit
// per mail would cost a disk sync per mail. A full batch is written when the main thread next
// serves its event loop (so the request that filled it is answered first).
//
// A mark is never dropped because another program holds the database: the write is tried again
// every RetryMs until it goes through, and OnLateMarks tells how many marks were written late.
#include "mailing/MailingJob.h"
#include "recipients/Recipients.h"

#include <QList>
#include <QTimer>
#include <utility>

class TRecipientsCursor : public IRecipientCursor {
public:
    explicit TRecipientsCursor(const db::TExtADODataSet& listDataSet);
    ~TRecipientsCursor() override;

    void NextRecipient(TAssociativeArray& record) override { m_cursor.NextRecipient(record); }
    // Keeps the mark for the next write; never raises.
    void SetStatus(int id, int status) override;
    // Rows with status 0, the kept marks counted as written.
    int RowsToSent() override;
    // Writes the kept marks now. A busy database keeps them for the next try (PendingMarks);
    // any other failure raises (the marks stay kept as well).
    void Flush() override;
    int PendingMarks() const override { return int(m_marks.size()); }

    static constexpr int BatchSize = 50;
    static constexpr int BatchMs = 500;
    static constexpr int RetryMs = 200;

private:
    // Result: the kept marks are written (or there were none).
    bool WriteMarks();

    recipients::TRecipients m_cursor;
    QTimer m_timer;
    QList<std::pair<int, int>> m_marks;  // id, status, in the order they were set
    bool m_held = false;                 // a write of m_marks met a busy database
};
