#include "core/AssociativeArray.h"

#include <cassert>
#include <stdexcept>

namespace {
[[noreturn]] void IndexError(int index)
{
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}
}

void TAssociativeArray::SetValue(const QString& key, const QString& value)
{
    const int i = IndexOfKey(key);
    if (i < 0) {
        m_keys.append(key);
        m_values.append(value);
    } else {
        m_values[i] = value;
    }
}

QString TAssociativeArray::GetValue(const QString& key) const
{
    const int i = IndexOfKey(key);
    if (i < 0)
        IndexError(-1);
    return m_values.at(i);
}

void TAssociativeArray::AssignDistinct(const QStringList& keys, const QStringList& values)
{
    assert(keys.size() == values.size());
    m_keys = keys;
    m_values = values;
}

int TAssociativeArray::Count() const
{
    assert(m_keys.size() == m_values.size());
    return int(m_keys.size());
}

QString TAssociativeArray::KeyAt(int index) const
{
    if (index < 0 || index >= m_keys.size())
        IndexError(index);
    return m_keys.at(index);
}

QString TAssociativeArray::ValueAt(int index) const
{
    if (index < 0 || index >= m_values.size())
        IndexError(index);
    return m_values.at(index);
}

int TAssociativeArray::IndexOfKey(const QString& key) const
{
    for (int i = 0; i < m_keys.size(); ++i)
        if (m_keys.at(i).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int TAssociativeArray::IndexOfValue(const QString& value) const
{
    for (int i = 0; i < m_values.size(); ++i)
        if (m_values.at(i).compare(value, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TAssociativeArray::Clear()
{
    m_keys.clear();
    m_values.clear();
}
