#include "mailing/RecipientsCursor.h"

#include "platform/db/Connection.h"

TRecipientsCursor::TRecipientsCursor(const db::TExtADODataSet& listDataSet) : m_cursor(listDataSet)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        try {
            Flush();
        } catch (...) {
            // Tried again with the next mark and when the job closes.
        }
    });
}

TRecipientsCursor::~TRecipientsCursor()
{
    try {
        Flush();
    } catch (...) {
    }
}

void TRecipientsCursor::SetStatus(int id, int status)
{
    db::Connection* conn = m_cursor.GetConnection();
    if (!m_batchOpen && conn) {
        conn->BeginTrans();
        m_batchOpen = true;
        m_batchLevel = conn->TransactionLevel();
        m_timer.start(BatchMs);
    }
    m_cursor.SetStatus(id, status);
    if (++m_pending >= BatchSize)
        Flush();
}

void TRecipientsCursor::Flush()
{
    db::Connection* conn = m_cursor.GetConnection();
    if (!m_batchOpen || !conn)
        return;
    // Only the batch's own level is committed; a statement of someone else still open on the
    // connection is waited for.
    if (conn->TransactionLevel() != m_batchLevel) {
        m_timer.start(BatchMs);
        return;
    }
    conn->CommitTrans();
    m_batchOpen = false;
    m_pending = 0;
    m_timer.stop();
}
