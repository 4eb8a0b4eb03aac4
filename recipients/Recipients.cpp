#include "recipients/Recipients.h"
#include "recipients/RecipientListStore.h"
#include "platform/db/Connection.h"
#include <QRegularExpression>

namespace recipients {

using db::QuoteName;

QString StatementTable(const QString& sql)
{
    static const QRegularExpression from(QStringLiteral("\\bFROM\\s+"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = from.match(sql);
    if (!m.hasMatch())
        return {};
    qsizetype i = m.capturedEnd();
    const qsizetype n = sql.size();
    if (i < n && (sql[i] == QLatin1Char('"') || sql[i] == QLatin1Char('`') || sql[i] == QLatin1Char('['))) {
        const QChar close = sql[i] == QLatin1Char('[') ? QLatin1Char(']') : sql[i];
        QString name;
        for (++i; i < n; ++i) {
            if (sql[i] == close) {
                if (close != QLatin1Char(']') && i + 1 < n && sql[i + 1] == close) {
                    name += close;
                    ++i;
                    continue;
                }
                break;
            }
            name += sql[i];
        }
        return name;
    }
    const qsizetype start = i;
    while (i < n && !sql[i].isSpace() && sql[i] != QLatin1Char(';'))
        ++i;
    return sql.mid(start, i - start);
}

TRecipients::TRecipients(const db::TExtADODataSet& source) : db::TExtADODataSet(source.GetConnection())
{
    SetParamCheck(false);
    SetCommandText(source.CommandText());
    m_table = StatementTable(source.CommandText());
    SetFilter(QStringLiteral("Status = 0"));
    SetFiltered(true);
}

TRecipients::~TRecipients() = default;

void TRecipients::NextRecipient(TAssociativeArray& record)
{
    record.Clear();
    if (!Active()) {
        Open();
        m_fieldNames = FieldNames();
        First();
    } else {
        Next();
    }
    if (Eof())
        return; // past the last row (or none at all)
    for (const QString& name : m_fieldNames)
        record.SetValue(name, FieldByName(name)->AsString());
}

void TRecipients::SetStatus(qint64 id, int status)
{
    // The mark records what happened outside the program, so it goes into a stored list's
    // backup as well, in the same transaction: discarding the list's edits or restoring the
    // backup after a crash keeps it. The unsaved list has no backup.
    db::Connection& conn = *GetConnection();
    const QString update = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?");
    const QString backup = BackupTableName(m_table);
    db::Transaction trans(conn);
    conn.Execute(update.arg(QuoteName(m_table), QuoteName("Status"), QuoteName("_ID")), {status, id});
    if (conn.TableExists(backup))
        conn.Execute(update.arg(QuoteName(backup), QuoteName("Status"), QuoteName("_ID")), {status, id});
    trans.Commit();
}

int TRecipients::RowsToSent()
{
    return GetConnection()
        ->Scalar(QStringLiteral("SELECT count(%1) FROM %2 WHERE %3 = 0").arg(QuoteName("_ID"), QuoteName(m_table), QuoteName("Status")))
        .toInt();
}

} // namespace recipients
