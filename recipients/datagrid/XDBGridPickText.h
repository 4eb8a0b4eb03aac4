#pragma once
// Pick-text mapping of a column: stored values shown as the texts of its PickText, and typed or
// chosen texts turned back into the values to store.
#include "recipients/datagrid/XDBGridColumns.h"

namespace xdb {

// Whether a column maps stored values to pick texts (poSelectPickText with a non-empty PickText).
bool PickTextMapping(TXColumn* column);
// Stored value -> shown text (the mapping part of ColGetText).
QString PickGetText(TXColumn* column, const QString& text);
// Typed or chosen text -> value to store (the mapping part of ColSetText); `field` decides the
// padding of a stored item index.
QString PickSetText(TXColumn* column, const QString& text, const db::TField* field);

} // namespace xdb
