#pragma once
// The shapes of a sheet's drawing as typed drawing objects (texts, comments, basic shapes, auto
// shapes, pictures) and form controls (list boxes, combo boxes, buttons), each with its cell
// anchor.
#include "spreadsheet/Controls.h"
#include "spreadsheet/Escher.h"

#include <QString>
#include <memory>
#include <vector>

namespace xls {

class TInternalNames;
class TFormulaHandler;

// What the items of a sheet need of their surroundings.
struct TDrawingContext {
    TEscherDrawing* Drawing = nullptr;
    TEscherGroup* Pictures = nullptr;
    TInternalNames* Names = nullptr;
    TFormulaHandler* Formulas = nullptr;
};

// An item that wraps one client-anchored shape of the drawing.
class TDrwAnchor {
public:
    TDrwAnchor(int id, const TDrawingContext& context) : Id(id), m_context(context) {}
    virtual ~TDrwAnchor() = default;
    const int Id;
    QString DisplayName;
    virtual void SetShape(TShapeClientAnchor* shape) { m_shape = shape; }
    TShapeClientAnchor* Shape() const { return m_shape; }

    int Col1() const { return m_shape->Anchor[1]; }
    int Row1() const { return m_shape->Anchor[3]; }
    int Col2() const { return m_shape->Anchor[5]; }
    int Row2() const { return m_shape->Anchor[7]; }
    void SetCol1(int v) { m_shape->Anchor[1] = uint16_t(v); }
    void SetRow1(int v) { m_shape->Anchor[3] = uint16_t(v); }
    void SetCol2(int v) { m_shape->Anchor[5] = uint16_t(v); }
    void SetRow2(int v) { m_shape->Anchor[7] = uint16_t(v); }
    double Col1Offset() const { return m_shape->Anchor[2] / 1024.0; }
    double Row1Offset() const { return m_shape->Anchor[4] / 256.0; }
    double Col2Offset() const { return m_shape->Anchor[6] / 1024.0; }
    double Row2Offset() const { return m_shape->Anchor[8] / 256.0; }
    // Offsets are clamped to 0..1 and kept in 1024ths of a column or 256ths of a row.
    void SetCol1Offset(double v) { m_shape->Anchor[2] = offset(v, 1024); }
    void SetRow1Offset(double v) { m_shape->Anchor[4] = offset(v, 256); }
    void SetCol2Offset(double v) { m_shape->Anchor[6] = offset(v, 1024); }
    void SetRow2Offset(double v) { m_shape->Anchor[8] = offset(v, 256); }
    bool FlipHorizontal() const { return m_shape->FlipH(); }
    bool FlipVertical() const { return m_shape->FlipV(); }
    void SetFlipHorizontal(bool on) { m_shape->SetFlipH(on); }
    void SetFlipVertical(bool on) { m_shape->SetFlipV(on); }

protected:
    TDrawingContext m_context;
    TShapeClientAnchor* m_shape = nullptr;
    static uint16_t offset(double v, int unit);
};

class TCustomDrwText : public TDrwAnchor {
public:
    using TDrwAnchor::TDrwAnchor;
    QString Name() const { return DisplayName; }
    void SetName(const QString& n) { DisplayName = n; }
    QString Text() const;
    void SetText(const QString& text);   // cut to 32767 characters
};

class TDrwText : public TCustomDrwText {
public:
    using TCustomDrwText::TCustomDrwText;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddTextBox(); }
};

class TDrwNote : public TCustomDrwText {
public:
    using TCustomDrwText::TCustomDrwText;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddComment(); }
    int CellCol() const { return note() ? note()->Col : 0; }
    int CellRow() const { return note() ? note()->Row : 0; }
    QString Author() const { return note() ? note()->Author : QString(); }
    void SetCellCol(int v) { if (note()) note()->Col = v; }
    void SetCellRow(int v) { if (note()) note()->Row = v; }
    void SetAuthor(const QString& a) { if (note()) note()->Author = a; }
private:
    TShapeOutsideMsoNote* note() const { return dynamic_cast<TShapeOutsideMsoNote*>(m_shape->Side.get()); }
};

enum TBasicShapeType : uint8_t { bstLine, bstArrow, bstEllipse, bstRectangle };

// Line and fill colours of a shape's property table.
class TDrwColored : public TDrwAnchor {
public:
    using TDrwAnchor::TDrwAnchor;
    int LineColor() const { return m_shape->Opt.Value(448); }
    int FillColor() const { return m_shape->Opt.Value(385); }
    void SetLineColor(int c) { m_shape->Opt.SetValue(448, c); }
    void SetFillColor(int c) { m_shape->Opt.SetValue(385, c); }
};

class TDrwBasic : public TDrwColored {
public:
    using TDrwColored::TDrwColored;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddLine(); }
    TBasicShapeType ShapeType() const;
    void SetShapeType(TBasicShapeType t);
};

enum TAutoShapeType : uint8_t {
    astSun, astMoon, astLeftArrow, astDownArrow, astUpArrow, astLeftRightArrow, astUpDownArrow, astQuadArrow,
    astLeftArrowCallout, astRightArrowCallout, astUpArrowCallout, astDownArrowCallout, astLeftRightArrowCallout,
    astUpDownArrowCallout, astQuadArrowCallout
};

class TDrwAutoShape : public TDrwColored {
public:
    using TDrwColored::TDrwColored;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddAutoShape(); }
    TAutoShapeType ShapeType() const;
    void SetShapeType(TAutoShapeType t);
};

class TDrwPicture : public TDrwAnchor {
public:
    using TDrwAnchor::TDrwAnchor;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddPicture(); }
    int PictureId() const { return m_shape->Opt.Value(260); }
    void SetPictureId(int id);
    QString PictureName() const { return m_shape->Opt.String(261); }
    void SetPictureName(const QString& name);
};

class TControlListBox : public TDrwAnchor {
public:
    using TDrwAnchor::TDrwAnchor;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddListBox(false); }
    QString SourceArea() const;
    void SetSourceArea(const QString& area);
    QString DestCell() const;
    void SetDestCell(const QString& cell);
    TShapeControlListBox* Control() const { return dynamic_cast<TShapeControlListBox*>(m_shape->Side.get()); }
};

class TControlComboBox : public TControlListBox {
public:
    using TControlListBox::TControlListBox;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddListBox(true); }
};

class TControlButton : public TDrwAnchor {
public:
    using TDrwAnchor::TDrwAnchor;
    static TShapeClientAnchor* MakeShape(TEscherDrawing& d) { return d.AddButton(); }
    QString MacroName() const;
    void SetMacroName(const QString& name);
    QString Text() const;
    void SetText(const QString& text);
    TShapeControlButton* Control() const { return dynamic_cast<TShapeControlButton*>(m_shape->Side.get()); }
};

// A collection of one item class; its items' shapes belong to the drawing.
template <class T>
class TDrwCollection {
public:
    TDrwCollection(const TDrawingContext& context, const char* prefix) : m_context(context), m_prefix(QString::fromLatin1(prefix)) {}
    int Count() const { return int(m_items.size()); }
    T* Items(int i) const { return m_items.at(size_t(i)).get(); }
    T* operator[](int i) const { return Items(i); }
    // An item for a shape read with the drawing.
    T* AddExisting(TShapeClientAnchor* shape)
    {
        m_items.push_back(std::make_unique<T>(m_nextId, m_context));
        T* item = m_items.back().get();
        item->DisplayName = m_prefix + QString::number(m_nextId++);
        item->SetShape(shape);
        return item;
    }
    // A new item with a new shape made by the drawing's factory of the item class.
    T* Add()
    {
        TShapeClientAnchor* shape = T::MakeShape(*m_context.Drawing);
        return AddExisting(shape);
    }
    // Removes the items and their shapes from the drawing.
    void Clear()
    {
        std::vector<std::unique_ptr<T>> items;
        items.swap(m_items);
        for (const auto& i : items)
            if (i->Shape()) m_context.Drawing->DeleteShape(i->Shape()->ShapeId);
    }
private:
    TDrawingContext m_context;
    QString m_prefix;
    std::vector<std::unique_ptr<T>> m_items;
    int m_nextId = 0;
};

class TDrawingObjects {
public:
    explicit TDrawingObjects(const TDrawingContext& c)
        : Texts(c, "Text "), Notes(c, "Note "), Basics(c, "Basic "), AutoShapes(c, "AutoShape "), Pictures(c, "Picture ") {}
    TDrwCollection<TDrwText> Texts;
    TDrwCollection<TDrwNote> Notes;
    TDrwCollection<TDrwBasic> Basics;
    TDrwCollection<TDrwAutoShape> AutoShapes;
    TDrwCollection<TDrwPicture> Pictures;
    void Clear()
    {
        Texts.Clear();
        Notes.Clear();
        Basics.Clear();
        AutoShapes.Clear();
        Pictures.Clear();
    }
};

class TControlObjects {
public:
    explicit TControlObjects(const TDrawingContext& c) : ListBoxes(c, "ListBox "), ComboBoxes(c, "ComboBox "), Buttons(c, "Button ") {}
    TDrwCollection<TControlListBox> ListBoxes;
    TDrwCollection<TControlComboBox> ComboBoxes;
    TDrwCollection<TControlButton> Buttons;
    void Clear()
    {
        ListBoxes.Clear();
        ComboBoxes.Clear();
        Buttons.Clear();
    }
};

// A shape at the top of the drawing with a cell anchor (no group).
bool IsTopLevelClientShape(TShape* shape, TEscherDrawing& drawing);

// Files a shape read with the drawing into its collection: top-level, client-anchored shapes by
// their object type; others stay in the drawing only. Answers whether it was filed.
bool RouteShape(TShape* shape, TEscherDrawing& drawing, TDrawingObjects& objects, TControlObjects& controls);

}
