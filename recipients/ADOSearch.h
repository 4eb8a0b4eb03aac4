#pragma once
// The search of the recipients page: finds rows of the open list whose text columns hold a text.
// It works on a snapshot of the list taken when the search command ran (a dataset of its own on
// the list's statement, so in the list's order) and reports each hit by its key; the list then
// locates that key. The searched text never becomes SQL: the values are compared here.
#include "platform/db/ExtADODataSet.h"
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace recipients {

class TADOSearch {
public:
    TADOSearch(db::Connection& connection, const QString& statement, const QString& keyField = QStringLiteral("_ID"));

    // Called with the key of each hit (as text).
    void SetOnFound(std::function<void(const QString& key)> callback) { m_onFound = std::move(callback); }
    // The search starts at the row with this key (the list's current row); none: the first row.
    void SetStartKey(const QVariant& key);
    // The find dialog's find-next: text, "Nur ganzes Wort" (the whole value equals the text,
    // ignoring case; otherwise the value contains it, ignoring case) and the direction. Result:
    // a hit was reported; without one OnNotFound runs (beep, dialog caption flashes).
    bool DoFind(const QString& text, bool wholeWord, bool down);
    std::function<void()> OnNotFound;

    // The names of the searched columns (the text columns of the list).
    QStringList TextFields() const { return m_textFields; }

private:
    bool Find(const QString& text, bool wholeWord, bool down, bool fromDialog);
    void FilterSearch(const QString& text, bool wholeWord);

    db::TExtADODataSet m_dataSet;
    QString m_keyField;
    QStringList m_textFields;
    std::function<void(const QString&)> m_onFound;
    bool m_searched = false;
    QString m_lastText;
    bool m_lastWhole = false;
    bool m_lastDown = true;
    std::vector<int> m_matches; // record numbers of the hits, ascending
    qsizetype m_current = -1;   // index into m_matches; -1 before the first, size() after the last
    int m_position = 1;         // the search's current record number
    QString m_lastFound;
};

} // namespace recipients
