#pragma once
// What a sheet keeps to apply formats to its cells: the workbook's format list, the sheet's
// cells and one work format of its own.
#include "spreadsheet/Formats.h"

namespace xls {

class TCellStorage;

class TApplyFormat {
public:
    TApplyFormat(TCellFormats* formats, TCellStorage* cells) : Formats(formats), Cells(cells)
    {
        WorkFormat.Owner = formats;
        WorkFormat.SetNew();
    }
    TCellFormats* const Formats;
    TCellStorage* const Cells;
    TCellFormat WorkFormat;
};

}
