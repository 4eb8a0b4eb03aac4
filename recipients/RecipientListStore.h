#pragma once
// SQL on the recipient lists: the directory table RecipientsLists and the list tables "RL" + ID.
// Headless; it works on the given connection and shows nothing.
#include <QString>
#include <QStringList>

namespace db { class Connection; }

namespace recipients {

class TRecipientListStore {
public:
    explicit TRecipientListStore(db::Connection& conn) : m_conn(conn) {}

    db::Connection& Connection() const { return m_conn; }

    // Table name of the unsaved list ("temp" + main window handle); it has no directory row.
    QString TEMP;

    // Declaration of a text column of a list table (or of RecipientsLists.Name): the quoted name,
    // TEXT(255), compared ignoring case (ASCII case folding).
    static QString TextColumnDef(const QString& column);
    // Appends a text column to a table.
    void AddTextColumn(const QString& table, const QString& column);

    // True when a stored list of that name exists (names compare ignoring case).
    bool ListExists(const QString& name);
    // ID of the stored list of that name, -1 when there is none.
    int GetListID(const QString& name);
    // Adds a directory row for a new name and returns its table name ("RL" + ID). For TEMP or a
    // name that exists already nothing is added and the name itself is returned.
    QString CreateListEntry(const QString& name);
    // CreateListEntry, then creates the list table with the fixed columns; returns the table name.
    // Both happen in one transaction.
    QString CreateListTable(const QString& name);
    // Copies a list table: the target gets the source's columns in order, Status with its default
    // and _ID last (numbered afresh from 1 in the source's _ID order).
    void CopyTable(const QString& source, const QString& target);

private:
    db::Connection& m_conn;
};

} // namespace recipients
