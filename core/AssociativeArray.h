#pragma once
// An ordered map of texts: the recipient record of a mailing (column name -> value, in the list
// table's column order) and the content-id map of an HTML mail. Keys are unique, compared
// ignoring case, and keep the letter case they were first written with.
#include <QString>
#include <QStringList>

class TAssociativeArray {
public:
    // Appends the entry, or replaces the value when the key is already there.
    void SetValue(const QString& key, const QString& value);
    // The value of the key; a missing key raises std::out_of_range.
    QString GetValue(const QString& key) const;
    int Count() const;
    QString KeyAt(int index) const;    // std::out_of_range when out of range
    QString ValueAt(int index) const;  // std::out_of_range when out of range
    int IndexOfKey(const QString& key) const;
    // Position of the first entry with that value (case-insensitive), -1 when none.
    int IndexOfValue(const QString& value) const;
    void Assign(const TAssociativeArray& other) { *this = other; }
    // Replaces every entry by keys[i] -> values[i] (the lists are shared, not copied). The keys
    // must differ ignoring case and the lists have the same length; a record of a table's row
    // is built this way without looking its keys up.
    void AssignDistinct(const QStringList& keys, const QStringList& values);
    void Clear();
    bool IsEmpty() const { return Count() == 0; }

private:
    QStringList m_keys;
    QStringList m_values;
};
