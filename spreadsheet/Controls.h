#pragma once
// Form controls: the side data that BIFF keeps in the OBJ sub-records of list boxes, combo boxes
// and buttons.
#include "spreadsheet/Escher.h"

namespace xls {

class TShapeControl : public TShapeOutsideMso {};

// A list box, or with the combo flag a combo box: its scroll data, the cell it writes the
// selection to and the area its entries come from.
class TShapeControlListBox : public TShapeControl {
public:
    explicit TShapeControlListBox(bool combo = false);
    uint16_t Options = 0x2011;   // option word of the common-object data
    QByteArray Sbs;              // ftSbs: 20 bytes
    QByteArray CellLink;         // 5 bytes: 0x24, row, column
    QByteArray LinkFmla;         // the link-formula sub-record as read
    QByteArray LbsData;          // the list-data sub-record as read
    uint16_t LbsFirst = 0;
    QByteArray LbsReserved;      // 4 bytes
    QByteArray Source;           // 9 bytes: 0x25, first row, last row, first column, last column
    QByteArray LbsOptions;       // 7 bytes
    QByteArray Selection;        // of a multi-selection list
    QByteArray Macro;
    bool Combo;
    bool Changed = true;
    bool TakeObjData(TBaseRecordStorage& subRecords) override;
    std::unique_ptr<TShapeOutsideMso> Clone() const override { return std::make_unique<TShapeControlListBox>(*this); }
};

class TShapeControlComboBox : public TShapeControlListBox {
public:
    TShapeControlComboBox() : TShapeControlListBox(true) {}
    std::unique_ptr<TShapeOutsideMso> Clone() const override { return std::make_unique<TShapeControlComboBox>(*this); }
};

// A button: its text (as a text box) and the formula naming its macro.
class TShapeControlButton : public TShapeOutsideMsoBaseText {
public:
    TShapeControlButton() { OwnsObjData = true; }
    uint16_t Options = 0x4001;
    QByteArray Macro;
    bool TakeObjData(TBaseRecordStorage& subRecords) override;
    std::unique_ptr<TShapeOutsideMso> Clone() const override { return std::make_unique<TShapeControlButton>(*this); }
};

}
