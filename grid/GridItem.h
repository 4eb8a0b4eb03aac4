#pragma once
// A row kept aside by the string grid while it is hidden: its cells (texts and cell objects) as
// one record, its real index and the height it had.
#include "platform/grid/StringGrid.h"
#include <QStringList>

namespace grid {

struct TGridItem {
    int Idx = 0;
    int Height = 0;
    tk::TStringGrid::TRowRecord Row;

    // The row's texts, one per stored column.
    QStringList Items() const { return QStringList(Row.texts); }
    tk::TObject* Object(int col) const
    {
        return Row.objects && col >= 0 && col < int(Row.objects->size()) ? (*Row.objects)[size_t(col)] : nullptr;
    }
};

} // namespace grid
