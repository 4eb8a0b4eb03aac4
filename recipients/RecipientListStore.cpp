#include "recipients/RecipientListStore.h"
#include "platform/db/Connection.h"

namespace recipients {

using db::QuoteName;

namespace {
const QString kLists = QStringLiteral("RecipientsLists");

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }
} // namespace

QString TRecipientListStore::TextColumnDef(const QString& column)
{
    return QuoteName(column) + QStringLiteral(" TEXT(255) COLLATE NOCASE");
}

void TRecipientListStore::AddTextColumn(const QString& table, const QString& column)
{
    m_conn.Execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(QuoteName(table), TextColumnDef(column)));
}

bool TRecipientListStore::ListExists(const QString& name)
{
    return GetListID(name) >= 0;
}

int TRecipientListStore::GetListID(const QString& name)
{
    const QVariant id = m_conn.Scalar(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(QuoteName("ID"), QuoteName(kLists), QuoteName("Name")),
        {name});
    return id.isNull() ? -1 : id.toInt();
}

QString TRecipientListStore::CreateListEntry(const QString& name)
{
    if (name == TEMP || ListExists(name))
        return name;
    m_conn.Execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(QuoteName(kLists), QuoteName("Name")), {name});
    return QStringLiteral("RL") + QString::number(m_conn.LastInsertId());
}

QString TRecipientListStore::CreateListTable(const QString& name)
{
    db::Transaction trans(m_conn);
    const QString table = CreateListEntry(name);
    m_conn.Execute(QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY AUTOINCREMENT, %3 SMALLINT DEFAULT 0, %4, %5, %6)")
                       .arg(QuoteName(table), QuoteName("_ID"), QuoteName("Status"), TextColumnDef("Email"),
                            TextColumnDef("Last Name"), TextColumnDef("First Name")));
    trans.Commit();
    return table;
}

void TRecipientListStore::CopyTable(const QString& source, const QString& target)
{
    const QStringList sourceColumns = m_conn.ColumnNames(source);
    QStringList defs, columns;
    bool hasId = false;
    for (const QString& c : sourceColumns) {
        if (SameName(c, "_ID")) {
            hasId = true;
            continue;
        }
        columns << QuoteName(c);
        defs << (SameName(c, "Status") ? QuoteName(c) + QStringLiteral(" SMALLINT DEFAULT 0") : TextColumnDef(c));
    }
    defs << QuoteName("_ID") + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT");
    const QString create = QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteName(target), defs.join(", "));
    if (sourceColumns.isEmpty())
        throw db::EDatabaseError(QStringLiteral("no such table: %1 - CommandText:%2").arg(source, create));
    const QString list = columns.join(',');
    QString copy = QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(QuoteName(target), list, QuoteName(source));
    if (hasId)
        copy += QStringLiteral(" ORDER BY ") + QuoteName("_ID");

    db::Transaction trans(m_conn);
    for (const QString& sql : {create, copy}) {
        try {
            m_conn.Execute(sql);
        } catch (const db::EDatabaseError& e) {
            // A failed copy names the tables involved.
            throw db::EDatabaseError(e.message() + QStringLiteral(" - CommandText:") + sql, e.code());
        }
    }
    trans.Commit();
}

} // namespace recipients
