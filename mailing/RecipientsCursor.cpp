#include "mailing/RecipientsCursor.h"

#include "platform/db/Connection.h"

#include <sqlite3.h>

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
    // A full batch waiting for its commit is committed before it takes another mark.
    if (m_batchOpen && m_pending >= BatchSize)
        CommitBatch();
    if (!m_batchOpen && conn) {
        UseTruncatingJournal();
        conn->BeginTrans();
        m_batchOpen = true;
        m_batchLevel = conn->TransactionLevel();
        m_timer.start(BatchMs);
    }
    m_cursor.SetStatus(id, status);
    // The commit of a full batch (a disk sync) waits for the event loop: the worker whose
    // outcomes filled it gets its next recipients first.
    if (++m_pending >= BatchSize)
        m_timer.start(0);
}

void TRecipientsCursor::Flush()
{
    CommitBatch();
    if (!m_batchOpen)
        RestoreJournal();
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

void TRecipientsCursor::UseTruncatingJournal()
{
    db::Connection* conn = m_cursor.GetConnection();
    if (m_journalChanged || !conn || !conn->Connected() || !sqlite3_get_autocommit(conn->Handle()))
        return;
    try {
        if (conn->Scalar(QStringLiteral("PRAGMA journal_mode")).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0)
            return;
        m_journalChanged = conn->Scalar(QStringLiteral("PRAGMA journal_mode = TRUNCATE"))
                               .toString()
                               .compare(QLatin1String("truncate"), Qt::CaseInsensitive)
                           == 0;
    } catch (...) {
        // The marks are committed in the mode the connection has.
    }
}

void TRecipientsCursor::RestoreJournal()
{
    db::Connection* conn = m_cursor.GetConnection();
    if (!m_journalChanged || !conn || !conn->Connected() || !sqlite3_get_autocommit(conn->Handle()))
        return;
    try {
        conn->Scalar(QStringLiteral("PRAGMA journal_mode = DELETE"));
        m_journalChanged = false;
    } catch (...) {
        // Tried again by the next flush and the destructor.
    }
}
