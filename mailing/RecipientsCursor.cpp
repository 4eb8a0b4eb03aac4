#include "mailing/RecipientsCursor.h"

#include "platform/db/Connection.h"

#include <exception>

TRecipientsCursor::TRecipientsCursor(const db::TExtADODataSet& listDataSet) : m_cursor(listDataSet)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        try {
            CommitBatch();
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
    // A full batch waiting for its commit is committed before it takes another mark. Should
    // the commit fail, the mark still joins the open batch (committed by a later attempt) and
    // the failure is reported.
    std::exception_ptr commitError;
    if (m_batchOpen && m_pending >= BatchSize) {
        try {
            CommitBatch();
        } catch (...) {
            commitError = std::current_exception();
        }
    }
    if (!m_batchOpen && conn) {
        conn->BeginTrans();
        m_batchOpen = true;
        m_batchLevel = conn->TransactionLevel();
        m_timer.start(BatchMs);
    }
    m_cursor.SetStatus(id, status);
    // The commit of a full batch (a disk sync) waits for the event loop: the worker whose
    // outcomes filled it gets its next recipients first.
    if (++m_pending >= BatchSize && !commitError)
        m_timer.start(0);
    if (commitError)
        std::rethrow_exception(commitError);
}

void TRecipientsCursor::Flush()
{
    CommitBatch();
}

void TRecipientsCursor::CommitBatch()
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
