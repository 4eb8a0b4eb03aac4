#include "spreadsheet/Controls.h"
#include "spreadsheet/XLSUtils.h"

namespace xls {

namespace {
QByteArray part(const TStoredRecord* r, int offset, int count)
{
    CheckRange(r->Length(), offset, count);
    return r->Data.mid(offset, count);
}
}   // namespace

TShapeControlListBox::TShapeControlListBox(bool combo) : Combo(combo)
{
    OwnsObjData = true;
    // value 0, minimum 0, maximum 4, increment 1, page 5, vertical, width 16, options 1
    Sbs = QByteArray(20, 0);
    auto* s = reinterpret_cast<uint8_t*>(Sbs.data());
    PutWord(s + 8, 4);
    PutWord(s + 10, 1);
    PutWord(s + 12, 5);
    PutWord(s + 16, 16);
    PutWord(s + 18, 1);
    CellLink = QByteArray(5, 0);
    CellLink[0] = 0x24;
    PutWord(reinterpret_cast<uint8_t*>(CellLink.data()) + 1, 1);
    PutWord(reinterpret_cast<uint8_t*>(CellLink.data()) + 3, 1);
    Source = QByteArray(9, 0);
    Source[0] = 0x25;
    PutWord(reinterpret_cast<uint8_t*>(Source.data()) + 3, 5);
    LbsReserved = QByteArray(4, 0);
    LbsOptions = QByteArray(7, 0);
}

bool TShapeControlListBox::TakeObjData(TBaseRecordStorage& subRecords)
{
    for (int i = 0; i < subRecords.Count(); ++i) {
        const TStoredRecord* r = subRecords.Item(i);
        const uint8_t* d = r->Bytes();
        switch (r->Id) {
        case 0x00: continue;
        case 0x04: Macro = r->Data; continue;
        case 0x0C: Sbs = part(r, 0, 20); continue;
        case 0x0E:
            LinkFmla = r->Data;
            if (r->Length() >= 2 && GetWord(d) == 5) CellLink = part(r, 6, 5);
            continue;
        case 0x13:
            LbsData = r->Data;
            if (r->Length() >= 4 && GetWord(d + 2) == 9) {
                LbsFirst = GetWord(d);
                LbsReserved = part(r, 4, 4);
                Source = part(r, 8, 9);
                LbsOptions = part(r, 17, 7);
                if (uint8_t(LbsOptions[5]) & 0x30) Selection = part(r, 24, uint8_t(LbsOptions[1]));
            }
            break;
        case 0x15:
            CheckRange(r->Length(), 0, 6);
            ObjectId = GetWord(d + 2);
            Options = GetWord(d + 4);
            continue;
        default:
            throw EXLSError(QString::asprintf("Unknown record %.4X in OBJ LBS", r->Id));
        }
        break;
    }
    Changed = false;
    return true;
}

bool TShapeControlButton::TakeObjData(TBaseRecordStorage& subRecords)
{
    for (int i = 0; i < subRecords.Count(); ++i) {
        const TStoredRecord* r = subRecords.Item(i);
        switch (r->Id) {
        case 0x00: break;
        case 0x04: Macro = r->Data; break;
        case 0x15:
            CheckRange(r->Length(), 0, 6);
            ObjectId = GetWord(r->Bytes() + 2);
            Options = GetWord(r->Bytes() + 4);
            break;
        default:
            throw EXLSError(QString::asprintf("Unknown record %.4X in OBJ LBS", r->Id));
        }
    }
    return true;
}

}
