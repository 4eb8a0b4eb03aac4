#pragma once
// The job's send cursor over the open list: the recipient lists' cursor behind the job's
// small interface. The main window creates one per mailing over its list grid's dataset.
#include "mailing/MailingJob.h"
#include "recipients/Recipients.h"

class TRecipientsCursor : public IRecipientCursor {
public:
    explicit TRecipientsCursor(const db::TExtADODataSet& listDataSet) : m_cursor(listDataSet) {}
    void NextRecipient(TAssociativeArray& record) override { m_cursor.NextRecipient(record); }
    // Each call is its own statement and commit: a crash can only re-send the mails that were
    // accepted by the server but not yet marked (at most one per worker).
    void SetStatus(int id, int status) override { m_cursor.SetStatus(id, status); }
    int RowsToSent() override { return m_cursor.RowsToSent(); }
    recipients::TRecipients& Cursor() { return m_cursor; }

private:
    recipients::TRecipients m_cursor;
};
