#include "spreadsheet/DrawingObj.h"
#include "spreadsheet/XLSNames.h"
#include "spreadsheet/XLSUtils.h"

#include <cmath>

namespace xls {

namespace {
[[noreturn]] void fail(const QString& text) { throw EXLSError(text); }
uint8_t* raw(QByteArray& b) { return reinterpret_cast<uint8_t*>(b.data()); }
const uint8_t* raw(const QByteArray& b) { return reinterpret_cast<const uint8_t*>(b.constData()); }

// The part of a picture's file name after the last "\" or "/".
QString fileNamePart(const QString& path)
{
    const int cut = int(qMax(path.lastIndexOf('\\'), path.lastIndexOf('/')));
    return path.mid(cut + 1);
}
}   // namespace

uint16_t TDrwAnchor::offset(double v, int unit)
{
    if (!(v > 0)) v = 0;   // NaN too
    if (v > 1) v = 1;
    return uint16_t(std::lround(v * unit));
}

// ---- texts

QString TCustomDrwText::Text() const
{
    auto* t = m_shape->Text();
    return t ? t->Text : QString();
}

void TCustomDrwText::SetText(const QString& text)
{
    auto* t = m_shape->Text();
    if (!t) return;
    t->Text = text.size() >= 32768 ? text.left(32767) : text;
}

// ---- basic and auto shapes

TBasicShapeType TDrwBasic::ShapeType() const
{
    switch (m_shape->ShapeType) {
    case 13: return bstArrow;
    case 3: return bstEllipse;
    case 1: return bstRectangle;
    default: return bstLine;
    }
}

void TDrwBasic::SetShapeType(TBasicShapeType t)
{
    static const int shapeTypes[] = {20, 13, 3, 1};   // line, arrow, ellipse, rectangle
    static const int objectTypes[] = {1, 1, 3, 2};
    m_shape->ShapeType = uint32_t(shapeTypes[t]);
    if (m_shape->ObjRecords.Count() > 0) {
        TStoredRecord* r = m_shape->ObjRecords.Item(0);
        if (r->Id == 0x15 && r->Length() >= 2) PutWord(r->Bytes(), uint16_t(objectTypes[t]));
    }
}

static const int autoShapeTypes[] = {183, 184, 66, 67, 68, 69, 70, 76, 77, 78, 79, 80, 81, 82, 83};

TAutoShapeType TDrwAutoShape::ShapeType() const
{
    for (int i = 0; i < int(std::size(autoShapeTypes)); ++i)
        if (uint32_t(autoShapeTypes[i]) == m_shape->ShapeType) return TAutoShapeType(i);
    return astSun;
}

void TDrwAutoShape::SetShapeType(TAutoShapeType t)
{
    m_shape->ShapeType = uint32_t(t < std::size(autoShapeTypes) ? autoShapeTypes[t] : 183);
}

// ---- pictures

void TDrwPicture::SetPictureId(int id)
{
    TEscherGroup* pictures = m_context.Pictures;
    const int count = pictures ? pictures->Count() : 0;
    // Checked also in a workbook without pictures: there is none to refer to.
    if (id < 0 || id > count) fail(QStringLiteral("Picture Id out of range."));
    if (id > 0) m_shape->Opt.SetString(261, fileNamePart(pictures->Items(id - 1)->Filename()));
    else m_shape->Opt.SetString(261, QString());
    m_shape->Opt.SetPictureRef(id);
}

void TDrwPicture::SetPictureName(const QString& name)
{
    TEscherGroup* pictures = m_context.Pictures;
    for (int i = 0; pictures && i < pictures->Count(); ++i)
        if (pictures->Items(i)->Filename().compare(name, Qt::CaseInsensitive) == 0) {
            SetPictureId(i + 1);
            return;
        }
    fail(QStringLiteral("Can not find picture: ") + name);
}

// ---- list and combo boxes

static TShapeControlListBox& listData(const TControlListBox& box)
{
    TShapeControlListBox* c = box.Control();
    if (!c) fail(QStringLiteral("Unknown LBS formula."));
    return *c;
}

QString TControlListBox::SourceArea() const
{
    const QByteArray& f = listData(*this).Source;
    if (f.size() != 9 || uint8_t(f[0]) != 0x25) fail(QStringLiteral("Unknown LBS formula."));
    const uint8_t* p = raw(f);
    return AreaRefText(GetWord(p + 5), GetWord(p + 1), GetWord(p + 7), GetWord(p + 3), true, true, true, true);
}

void TControlListBox::SetSourceArea(const QString& area)
{
    int c1, r1, c2, r2;
    if (!ParseAreaRef(area, c1, r1, c2, r2)) fail(QStringLiteral("Invalid area reference"));
    TShapeControlListBox& c = listData(*this);
    QByteArray f(9, 0);
    f[0] = 0x25;
    PutWord(raw(f) + 1, uint16_t(r1));
    PutWord(raw(f) + 3, uint16_t(r2));
    PutWord(raw(f) + 5, uint16_t(c1));
    PutWord(raw(f) + 7, uint16_t(c2));
    if (f == c.Source) return;
    c.Source = f;
    c.Changed = true;
}

QString TControlListBox::DestCell() const
{
    const QByteArray& f = listData(*this).CellLink;
    if (f.size() != 5 || uint8_t(f[0]) != 0x24) fail(QStringLiteral("Unknown SBS formula."));
    return CellRefText(GetWord(raw(f) + 3), GetWord(raw(f) + 1), true, true);
}

void TControlListBox::SetDestCell(const QString& cell)
{
    int col, row;
    bool ca, ra;
    if (!ParseCellRef(cell, col, row, ca, ra)) fail(QStringLiteral("Invalid cell reference"));
    TShapeControlListBox& c = listData(*this);
    QByteArray f(5, 0);
    f[0] = 0x24;
    PutWord(raw(f) + 1, uint16_t(row));
    PutWord(raw(f) + 3, uint16_t(col));
    if (f == c.CellLink) return;
    c.CellLink = f;
    c.Changed = true;
}

// ---- buttons

QString TControlButton::MacroName() const
{
    TShapeControlButton* c = Control();
    if (!c || c->Macro.size() < 11 || uint8_t(c->Macro[6]) != 0x39 || !m_context.Names) return {};
    const int n = GetWord(raw(c->Macro) + 9);
    // A number that names no defined name refers to no macro.
    if (n < 1 || n > m_context.Names->Count()) return {};
    return m_context.Names->Items(n - 1)->Name();
}

void TControlButton::SetMacroName(const QString& name)
{
    TShapeControlButton* c = Control();
    TInternalNames* names = m_context.Names;
    int index = -1;
    for (int i = 0; names && i < names->Count(); ++i)
        if (names->Items(i)->Name().compare(name, Qt::CaseInsensitive) == 0) {
            index = i;
            break;
        }
    if (index < 0) fail(QStringLiteral("Can not find Name ") + name);
    if (!c) return;
    QByteArray f(13, 0);
    PutWord(raw(f), 5);
    f[6] = 0x39;
    PutWord(raw(f) + 7, 2);
    PutWord(raw(f) + 9, uint16_t(index + 1));
    c->Macro = f;
}

QString TControlButton::Text() const
{
    TShapeControlButton* c = Control();
    return c ? c->Text : QString();
}

void TControlButton::SetText(const QString& text)
{
    if (TShapeControlButton* c = Control()) c->Text = text.size() >= 32768 ? text.left(32767) : text;
}

// ---- routing

bool IsTopLevelClientShape(TShape* shape, TEscherDrawing& drawing)
{
    const auto& top = drawing.Root.Children;
    if (top.empty() || top.back().get() != shape) return false;
    return dynamic_cast<TShapeClientAnchor*>(shape) && !dynamic_cast<TShapeGroup*>(shape);
}

bool RouteShape(TShape* shape, TEscherDrawing& drawing, TDrawingObjects& objects, TControlObjects& controls)
{
    if (!IsTopLevelClientShape(shape, drawing)) return false;
    auto* s = static_cast<TShapeClientAnchor*>(shape);
    switch (shape->ObjectType()) {
    case 6: objects.Texts.AddExisting(s); return true;
    case 25: objects.Notes.AddExisting(s); return true;
    case 1: case 2: case 3: objects.Basics.AddExisting(s); return true;
    case 30: objects.AutoShapes.AddExisting(s); return true;
    case 8: objects.Pictures.AddExisting(s); return true;
    case 18: controls.ListBoxes.AddExisting(s); return true;
    case 20: controls.ComboBoxes.AddExisting(s); return true;
    case 7: controls.Buttons.AddExisting(s); return true;
    default: return false;
    }
}

}
