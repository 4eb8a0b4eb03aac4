#pragma once
// The job's send cursor over the open list: the recipient lists' cursor behind the job's small
// interface. The main window creates one per mailing over its list grid's dataset.
//
// Rows are marked sent in short batches: one transaction holds the marks of up to 50 mails or
// half a second, whichever comes first, and the job flushes it when it closes. A crash can
// therefore re-send at most the mails of the last open batch; a commit per mail would cost a
// disk sync per mail. A full batch is committed when the main thread next serves its event
// loop (so the request that filled it is answered first), and at the latest before it would
// take a further mark.
#include "mailing/MailingJob.h"
#include "recipients/Recipients.h"

#include <QTimer>

class TRecipientsCursor : public IRecipientCursor {
public:
    explicit TRecipientsCursor(const db::TExtADODataSet& listDataSet);
    ~TRecipientsCursor() override;

    void NextRecipient(TAssociativeArray& record) override { m_cursor.NextRecipient(record); }
    void SetStatus(int id, int status) override;
    int RowsToSent() override { return m_cursor.RowsToSent(); }
    void Flush() override;

    static constexpr int BatchSize = 50;
    static constexpr int BatchMs = 500;

private:
    void CommitBatch();

    recipients::TRecipients m_cursor;
    QTimer m_timer;
    bool m_batchOpen = false;
    int m_batchLevel = 0;
    int m_pending = 0;
};
