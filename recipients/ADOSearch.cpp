#include "recipients/ADOSearch.h"

namespace recipients {

TADOSearch::TADOSearch(db::Connection& connection, const QString& statement, const QString& keyField)
    : m_dataSet(&connection), m_keyField(keyField)
{
    m_dataSet.SetParamCheck(false);
    m_dataSet.SetCommandText(statement);
    m_dataSet.Open();
    for (int i = 0; i < m_dataSet.FieldCount(); ++i) {
        const db::TField* f = m_dataSet.Fields(i);
        const db::TFieldType t = f->DataType();
        if (t == db::ftString || t == db::ftMemo || t == db::ftWideString)
            m_textFields << f->FieldName();
    }
}

void TADOSearch::SetStartKey(const QVariant& key)
{
    m_position = 1;
    if (!key.isNull() && m_dataSet.Locate(m_keyField, key))
        m_position = m_dataSet.RecNo();
}

void TADOSearch::FilterSearch(const QString& text, bool wholeWord)
{
    m_matches.clear();
    std::vector<const db::TField*> fields;
    for (const QString& name : m_textFields)
        fields.push_back(m_dataSet.FieldByName(name));
    m_dataSet.DisableControls();
    int recNo = 0;
    for (m_dataSet.First(); !m_dataSet.Eof(); m_dataSet.Next()) {
        ++recNo;
        for (const db::TField* f : fields) {
            if (f->IsNull())
                continue;
            const QString value = f->AsString();
            if (wholeWord ? value.compare(text, Qt::CaseInsensitive) == 0 : value.contains(text, Qt::CaseInsensitive)) {
                m_matches.push_back(recNo);
                break;
            }
        }
    }
    m_dataSet.EnableControls();
    // Start at the first hit at or after the search's current row, else at the last hit.
    m_current = qsizetype(m_matches.size()) - 1;
    for (size_t i = 0; i < m_matches.size(); ++i) {
        if (m_matches[i] >= m_position) {
            m_current = qsizetype(i);
            break;
        }
    }
}

bool TADOSearch::DoFind(const QString& text, bool wholeWord, bool down)
{
    return Find(text, wholeWord, down, true);
}

bool TADOSearch::Find(const QString& text, bool wholeWord, bool down, bool fromDialog)
{
    if (!m_searched || text != m_lastText || wholeWord != m_lastWhole || down != m_lastDown) {
        FilterSearch(text, wholeWord);
        m_searched = true;
        m_lastText = text;
        m_lastWhole = wholeWord;
        m_lastDown = down;
    } else if (down) {
        m_current = std::min<qsizetype>(m_current + 1, qsizetype(m_matches.size()));
    } else {
        m_current = std::max<qsizetype>(m_current - 1, -1);
    }
    if (m_current >= 0 && m_current < qsizetype(m_matches.size())) {
        m_position = m_matches[size_t(m_current)];
        m_dataSet.SetRecNo(m_position);
        const QString key = m_dataSet.FieldByName(m_keyField)->AsString();
        if (key != m_lastFound) {
            m_lastFound = key;
            if (m_onFound)
                m_onFound(key);
            return true;
        }
    }
    if (fromDialog)
        return Find(text, wholeWord, down, false);
    if (OnNotFound)
        OnNotFound();
    return false;
}

} // namespace recipients
