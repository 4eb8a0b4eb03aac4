#pragma once
// The sort-order text of the data grid: "Field1 DESC, Field2" split into field names and
// directions.
#include <QString>
#include <vector>

namespace xdb {

struct TXOrderItem {
    QString fieldName;
    bool descending = false;
};

// Splits an order text at ","; an item whose upper-case form contains " DESC" is descending (the
// name is the part before it), else the name is the part before " ASC" or the whole item. Empty
// names are dropped. With `firstOnly` only the first item counts.
std::vector<TXOrderItem> ParseOrderFields(const QString& text, bool firstOnly);

} // namespace xdb
