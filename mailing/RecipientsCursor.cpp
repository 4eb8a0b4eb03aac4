#include "mailing/RecipientsCursor.h"

#include "platform/db/Connection.h"

#include <QElapsedTimer>
#include <algorithm>

TRecipientsCursor::TRecipientsCursor(const db::TExtADODataSet& listDataSet) : m_cursor(listDataSet)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        try {
            WriteMarks();
        } catch (...) {
            // Tried again with the next mark and when the job closes.
        }
    });
}

TRecipientsCursor::~TRecipientsCursor()
{
    // The window closes or the next mailing begins: marks still held back by a busy database
    // get the connection's full wait, a few times over.
    QElapsedTimer waited;
    waited.start();
    do {
        try {
            if (WriteMarks())
                return;
        } catch (...) {
            return;
        }
    } while (waited.elapsed() < 15000);
}

void TRecipientsCursor::SetStatus(int id, int status)
{
    // A full batch is written before it takes a further mark (a crash re-sends at most a batch).
    if (m_marks.size() >= BatchSize && !m_held) {
        try {
            WriteMarks();
        } catch (...) {
            // Tried again by the timer and when the job closes.
        }
    }
    m_marks.append({id, status});
    // A full batch is written when the event loop comes round; a partial one after BatchMs.
    if (m_marks.size() >= BatchSize && !m_held)
        m_timer.start(0);
    else if (!m_timer.isActive())
        m_timer.start(m_held ? RetryMs : BatchMs);
}

int TRecipientsCursor::RowsToSent()
{
    int kept = 0;
    for (const auto& mark : std::as_const(m_marks))
        kept += mark.second != 0 ? 1 : 0;
    return std::max(0, m_cursor.RowsToSent() - kept);
}

void TRecipientsCursor::Flush()
{
    WriteMarks();
}

bool TRecipientsCursor::WriteMarks()
{
    if (m_marks.isEmpty())
        return true;
    db::Connection* conn = m_cursor.GetConnection();
    if (!conn)
        return false;
    // The marks go in with a transaction of their own; a transaction someone else has open on
    // the connection is waited for.
    if (conn->TransactionLevel() != 0) {
        m_timer.start(RetryMs);
        return false;
    }
    try {
        db::Transaction trans(*conn);
        for (const auto& [id, status] : std::as_const(m_marks))
            m_cursor.SetStatus(id, status);
        trans.Commit();
    } catch (const db::EDatabaseError& e) {
        // Nothing of the batch is written; it is tried again.
        m_timer.start(RetryMs);
        if (e.IsBusy()) {
            m_held = true;
            return false;
        }
        throw;
    }
    const int late = m_held ? int(m_marks.size()) : 0;
    m_marks.clear();
    m_held = false;
    m_timer.stop();
    if (late > 0 && OnLateMarks)
        OnLateMarks(late);
    return true;
}
