#pragma once
// Columns and titles of the data grid: TXColumn items in TXDBGridColumns, each with a TXColumnTitle.
// A column binds one field by name and carries how it is shown: width and bounds, colours, fonts,
// alignment, images, check boxes, word wrap, and its title with caption, header bands and marker.
#include "platform/db/DataSet.h"
#include "platform/grid/Toolkit.h"
#include <QMenu>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

namespace xdb {

using db::TAlignment;
using db::taCenter;
using db::taLeftJustify;
using db::taRightJustify;
using tk::TColor;

class TXCustomDBGrid;
class TXColumn;
class TXDBGridColumns;
class TXGridDataLink;

enum TVAlignment { tvTopJustify, tvBottomJustify, tvCenter };
enum TImageDraw { idAlignment, idOpposite, idCenter, idScaled, idStretch, idTileCell, idTileGrid, idTileCol, idTileRow };
enum TCheckBoxKind { ckCheck, ckCross, cbBox };
enum TCheckBoxStyle { cbAuto, cbAutoGray, cbDefault, cbSoft, cbLoweredDark, cbLoweredGray, cbLoweredMild, cbFlat, cbGray, cbMild };
enum TCheckBoxToggle { ctCustomToggle, ctKeyPressOnly, ctOnCellClick, ctSelectClick };
enum TXColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone, cbsDropDown, cbsDropDownMenu };
enum TXColumnExpandStyle { cesAuto, cesNone, cesDropDown, cesDropDownMenu };
// Input method modes. Qt has no per-widget choice of input method by name; the modes become the
// editor's input-method switch and hints (see TXCustomDBGrid::ApplyImeToEditor).
enum TImeMode { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata,
                imChinese, imSHanguel, imHanguel };
enum TMarker { tmNone, tmAscend, tmDescend };
enum TToolTipsWidth { ttAutoWidth, ttFixedWidth };
enum TXPickOption { poDropDownList = 1, poListItemsOnly = 2, poSelectPickText = 4, poStoreItemIndex = 8,
                    poAcceptPickList = 16, poAcceptItemIndex = 32 };
using TXPickOptions = int;
enum TXListOption { loAutoDropDown = 1, loSelectNextValue = 2, loAllowClearValue = 4 };
using TXListOptions = int;
enum TDialogOption { doShowColumn = 1, doItemEnabled = 2 };
using TDialogOptions = int;
enum TDBGridColumnsState { csDefault, csCustomized };
// Check-box state of a cell.
enum TCheckState { cbUnchecked, cbChecked, cbGrayed };

// ------------------------------------------------------------------ TXColumnTitle

class TXColumnTitle {
public:
    explicit TXColumnTitle(TXColumn* column);

    TXColumn* Column() const { return m_column; }

    QString Caption() const;
    virtual void SetCaption(const QString& value);
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);
    TVAlignment VAlignment() const { return m_vAlignment; }
    void SetVAlignment(TVAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    const tk::TFont& Font() const;
    void SetFont(const tk::TFont& value);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value);
    bool Ellipsis() const { return m_ellipsis; }
    void SetEllipsis(bool value);
    bool Button() const { return m_button; }
    void SetButton(bool value);
    QString Header() const { return m_header; }
    void SetHeader(const QString& value);
    QString HeaderHint() const { return m_headerHint; }
    void SetHeaderHint(const QString& value) { m_headerHint = value; }
    QString Hint() const { return m_hint; }
    void SetHint(const QString& value) { m_hint = value; }
    int ImageIndex() const { return m_imageIndex; }
    void SetImageIndex(int value);
    bool AutoToggle() const { return m_autoToggle; }
    void SetAutoToggle(bool value) { m_autoToggle = value; }
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    QMenu* DropDownMenu() const { return m_dropDownMenu; }
    void SetDropDownMenu(QMenu* menu);

    // Sort marker (see TXDBGridColumns for the encoding of MarkerIndex).
    TMarker Marker() const { return m_marker; }
    void SetMarker(TMarker value);
    int MarkerIndex() const { return m_markerIndex; }
    void SetMarkerIndex(int value);
    int OrderIndex() const { return m_markerIndex < 0 ? -1 : m_markerIndex / 2; }
    void SetOrderIndex(int value);

    // Header bands: 0 for an empty Header, else the number of "|" plus 1.
    int HeaderCount() const;
    QString HeaderText(int band) const;

    bool IsCaptionStored() const { return m_assigned & aCaption; }
    bool IsFontStored() const { return m_assigned & aFont; }
    bool IsColorStored() const { return m_assigned & aColor; }

    virtual void Assign(const TXColumnTitle& source);
    virtual void RestoreDefaults();
    virtual ~TXColumnTitle() = default;

private:
    friend class TXColumn;
    friend class TXDBGridColumns;
    enum Assigned { aCaption = 1, aAlignment = 2, aColor = 4, aFont = 8 };
    void Changed(bool allColumns);
    void SetMarkerIndexRaw(int index);   // no list bookkeeping
    void FontChanged();

    TXColumn* m_column;
    int m_assigned = 0;
    QString m_caption;
    TAlignment m_alignment = taLeftJustify;
    TVAlignment m_vAlignment = tvCenter;
    TColor m_color = gfx::clBtnFace;
    tk::TFont m_font;
    bool m_wordWrap = true;
    bool m_ellipsis = true;
    bool m_button = true;
    QString m_header;
    QString m_headerHint;
    QString m_hint;
    int m_imageIndex = -1;
    TMarker m_marker = tmNone;
    int m_markerIndex = -1;
    bool m_autoToggle = true;
    QPointer<QMenu> m_popupMenu;
    QPointer<QMenu> m_dropDownMenu;
};

// ------------------------------------------------------------------ TXColumn

class TXColumn {
public:
    explicit TXColumn(TXDBGridColumns* collection, bool stored = true);
    virtual ~TXColumn();
    TXColumn(const TXColumn&) = delete;
    TXColumn& operator=(const TXColumn&) = delete;

    TXDBGridColumns* Collection() const { return m_collection; }
    TXCustomDBGrid* Grid() const;
    int Index() const;
    virtual void SetIndex(int value);
    bool Stored() const { return m_stored; }

    // --- binding
    QString FieldName() const { return m_fieldName; }
    void SetFieldName(const QString& value);
    db::TField* Field() const;                 // resolved lazily by name
    virtual void SetField(db::TField* value);
    TXColumnTitle* Title() const { return m_title.get(); }

    // --- size
    int Width() const;
    virtual void SetWidth(int value);
    int DefaultWidth() const;
    int WidthMin() const { return m_widthMin; }
    void SetWidthMin(int value);
    int WidthMax() const { return m_widthMax; }
    void SetWidthMax(int value);
    // In stretch mode the column's base share, else its width.
    int WidthBase() const;
    void SetWidthBase(int value);
    bool IsWidthStored() const { return m_assigned & aWidth; }

    // --- look
    TAlignment Alignment() const;
    virtual void SetAlignment(TAlignment value);
    TVAlignment VAlignment() const { return m_vAlignment; }
    void SetVAlignment(TVAlignment value);
    TColor Color() const;
    void SetColor(TColor value);
    const tk::TFont& Font() const;
    void SetFont(const tk::TFont& value);
    bool ReadOnly() const;
    virtual void SetReadOnly(bool value);
    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool value);
    bool Ellipsis() const { return m_ellipsis; }
    void SetEllipsis(bool value);
    bool ShowEdit() const { return m_showEdit; }
    void SetShowEdit(bool value);
    bool ShowBlob() const { return m_showBlob; }
    void SetShowBlob(bool value);
    bool QuickDraw() const { return m_quickDraw; }
    void SetQuickDraw(bool value) { m_quickDraw = value; }
    bool AutoNumber() const { return m_autoNumber; }
    void SetAutoNumber(bool value);
    bool SuppressRTL() const { return m_suppressRTL; }
    void SetSuppressRTL(bool value) { m_suppressRTL = value; Changed(false); }
    TXColumnButtonStyle ButtonStyle() const { return m_buttonStyle; }
    void SetButtonStyle(TXColumnButtonStyle value) { m_buttonStyle = value; Changed(false); }
    int DropDownRows() const { return m_dropDownRows; }
    void SetDropDownRows(int value) { m_dropDownRows = std::max(0, value); }
    int DropDownWidth() const { return m_dropDownWidth; }
    void SetDropDownWidth(int value) { m_dropDownWidth = std::max(0, value); }
    QMenu* DropDownMenu() const { return m_dropDownMenu; }
    void SetDropDownMenu(QMenu* menu);
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    tk::TStringList& PickList() { return m_pickList; }
    tk::TStringList& PickText() { return m_pickText; }
    TXPickOptions PickOptions() const { return m_pickOptions; }
    void SetPickOptions(TXPickOptions value) { m_pickOptions = value; }
    TXListOptions ListOptions() const { return m_listOptions; }
    void SetListOptions(TXListOptions value) { m_listOptions = value; }
    QString Hint() const { return m_hint; }
    void SetHint(const QString& value) { m_hint = value; }
    QString EditorHint() const { return m_editorHint; }
    void SetEditorHint(const QString& value) { m_editorHint = value; }
    bool ToolTips() const { return m_toolTips; }
    void SetToolTips(bool value) { m_toolTips = value; }
    TToolTipsWidth ToolTipsWidth() const { return m_toolTipsWidth; }
    void SetToolTipsWidth(TToolTipsWidth value) { m_toolTipsWidth = value; }
    TDialogOptions DialogOptions() const { return m_dialogOptions; }
    void SetDialogOptions(TDialogOptions value) { m_dialogOptions = value; }

    // --- check boxes
    bool CheckBox() const { return m_checkBox; }
    void SetCheckBox(bool value);
    TCheckBoxKind CheckBoxKind() const { return m_checkBoxKind; }
    void SetCheckBoxKind(TCheckBoxKind value) { m_checkBoxKind = value; Changed(false); }
    TCheckBoxStyle CheckBoxStyle() const { return m_checkBoxStyle; }
    void SetCheckBoxStyle(TCheckBoxStyle value) { m_checkBoxStyle = value; Changed(false); }
    TCheckBoxToggle CheckBoxToggle() const { return m_checkBoxToggle; }
    void SetCheckBoxToggle(TCheckBoxToggle value) { m_checkBoxToggle = value; }
    QString CheckBoxValues() const { return m_checkBoxValues; }
    void SetCheckBoxValues(const QString& value);  // empty restores the default
    QString CheckedText() const;                   // part before the first ";" (or 255 characters)
    QString UncheckedText() const;                 // part after the first ";"
    // State of the current record's cell (the link's active record).
    TCheckState CheckState() const;

    // --- images
    tk::TImageList* Images() const { return m_images; }
    void SetImages(tk::TImageList* images);
    TImageDraw ImageDraw() const { return m_imageDraw; }
    void SetImageDraw(TImageDraw value);
    int ImageOffsetX() const { return m_imageOffsetX; }
    void SetImageOffsetX(int value) { m_imageOffsetX = value; Changed(false); }
    int ImageOffsetY() const { return m_imageOffsetY; }
    void SetImageOffsetY(int value) { m_imageOffsetY = value; Changed(false); }
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value) { m_transparent = value; Changed(false); }
    TColor TransparentColor() const { return m_transparentColor; }
    void SetTransparentColor(TColor value) { m_transparentColor = value; Changed(false); }
    bool Wallpaper() const { return m_wallpaper; }
    void SetWallpaper(bool value) { m_wallpaper = value; Changed(false); }
    // Image of the current record's cell: a check-box glyph index, -1 without field, 0/1 for a
    // Boolean field, else the field text as an integer (-1 when it is none).
    int ImageIndex() const;

    // --- input method of the editor in this column (unassigned: the grid's)
    TImeMode ImeMode() const;
    void SetImeMode(TImeMode value);
    QString ImeName() const;
    void SetImeName(const QString& value);
    bool ImeAssigned() const { return m_imeModeAssigned || m_imeNameAssigned; }

    // --- sub-columns
    bool Expanded() const { return m_expanded; }
    void SetExpanded(bool value);
    int ExpandCols() const { return m_expandCols; }
    void SetExpandCols(int value);
    TXColumnExpandStyle ExpandStyle() const { return m_expandStyle; }
    void SetExpandStyle(TXColumnExpandStyle value) { m_expandStyle = value; Changed(true); }
    TXColumn* ParentColumn() const;
    int Level() const;              // number of ancestors
    bool HasSubColumns() const { return m_expandCols > 0; }
    bool Showing() const;           // visible, ancestors visible and expanded, not an expanded parent

    // --- operations
    virtual bool CanShowEditor() const { return m_showEdit && !m_checkBox && !m_autoNumber; }
    virtual bool IsCheckBox() const { return m_checkBox; }
    virtual void Assign(const TXColumn& source);
    virtual void RestoreDefaults();
    QString GetDisplayName() const;

    // Assigned-value flags (a value not assigned follows the grid or the field).
    bool IsColorStored() const { return m_assigned & aColor; }
    bool IsFontStored() const { return m_assigned & aFont; }
    bool IsAlignmentStored() const { return m_assigned & aAlignment; }
    bool IsReadOnlyStored() const { return m_assigned & aReadOnly; }

protected:
    virtual std::unique_ptr<TXColumnTitle> CreateTitle() { return std::make_unique<TXColumnTitle>(this); }

private:
    friend class TXDBGridColumns;
    friend class TXColumnTitle;
    friend class TXCustomDBGrid;
    friend class TXGridDataLink;
    enum Assigned { aColor = 1, aWidth = 2, aFont = 4, aAlignment = 8, aReadOnly = 16 };
    void Changed(bool allColumns);
    void FontChanged();
    void DropField();

    TXDBGridColumns* m_collection;
    bool m_stored;
    std::unique_ptr<TXColumnTitle> m_title;
    int m_assigned = 0;
    QString m_fieldName;
    mutable db::TField* m_field = nullptr;
    int m_width = 64;
    int m_widthMin = -1;
    int m_widthMax = -1;
    int m_widthBase = -1;       // stretch share; -1: the width
    int m_stretchWidth = -1;    // width given by the stretch computation; -1: none
    TAlignment m_alignment = taLeftJustify;
    TVAlignment m_vAlignment = tvCenter;
    TColor m_color = gfx::clWindow;
    tk::TFont m_font;
    bool m_readOnly = false;
    bool m_visible = true;
    bool m_wordWrap = true;
    bool m_ellipsis = true;
    bool m_showEdit = true;
    bool m_showBlob = true;
    bool m_quickDraw = true;
    bool m_autoNumber = false;
    bool m_suppressRTL = false;
    TXColumnButtonStyle m_buttonStyle = cbsAuto;
    int m_dropDownRows = 7;
    int m_dropDownWidth = 0;
    QPointer<QMenu> m_dropDownMenu;
    QPointer<QMenu> m_popupMenu;
    tk::TStringList m_pickList;
    tk::TStringList m_pickText;
    TXPickOptions m_pickOptions = poSelectPickText | poAcceptPickList;
    TXListOptions m_listOptions = loSelectNextValue | loAllowClearValue;
    QString m_hint;
    QString m_editorHint;
    bool m_toolTips = true;
    TToolTipsWidth m_toolTipsWidth = ttAutoWidth;
    TDialogOptions m_dialogOptions = doShowColumn | doItemEnabled;
    bool m_checkBox = false;
    TCheckBoxKind m_checkBoxKind = ckCheck;
    TCheckBoxStyle m_checkBoxStyle = cbAuto;
    TCheckBoxToggle m_checkBoxToggle = ctOnCellClick;
    QString m_checkBoxValues;
    tk::TImageList* m_images = nullptr;
    TImageDraw m_imageDraw = idCenter;
    int m_imageOffsetX = 0;
    int m_imageOffsetY = 0;
    bool m_transparent = false;
    TColor m_transparentColor = gfx::clNone;
    bool m_wallpaper = false;
    bool m_expanded = true;
    int m_expandCols = 0;
    TXColumnExpandStyle m_expandStyle = cesAuto;
    TImeMode m_imeMode = imDontCare;
    QString m_imeName;
    bool m_imeModeAssigned = false;
    bool m_imeNameAssigned = false;
};

// ------------------------------------------------------------------ TXDBGridColumns

class TXDBGridColumns {
public:
    explicit TXDBGridColumns(TXCustomDBGrid* grid);
    ~TXDBGridColumns();

    TXCustomDBGrid* Grid() const { return m_grid; }
    int Count() const { return int(m_items.size()); }
    TXColumn* Items(int index) const;
    TXColumn* operator[](int index) const { return Items(index); }
    TXColumn* Add();                 // a persistent column
    void Clear();
    void Delete(int index);
    TDBGridColumnsState State() const;
    void SetState(TDBGridColumnsState value);
    void RebuildColumns();
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return m_updateCount > 0; }

    // Sort markers: the marked columns in sort order.
    const std::vector<TXColumn*>& SortList() const { return m_sortList; }
    void ClearMarkers();
    void RealignMarkers();
    // The title-click toggle of a column's marker; `ctrl`: Ctrl was held.
    void ToggleMarker(TXColumn* column, bool ctrl);

    // --- used by the grid
    TXColumn* AddDefault();          // a non-persistent column
    void Move(int from, int to);
    void Update(TXColumn* item);     // nullptr: every column changed
    int IndexOf(const TXColumn* column) const;

private:
    friend class TXColumnTitle;
    friend class TXColumn;
    void SortListRemove(TXColumn* column);
    void SortListAdd(TXColumn* column);
    void Reencode();                 // MarkerIndex of every listed column by its position

    TXCustomDBGrid* m_grid;
    std::vector<std::unique_ptr<TXColumn>> m_items;
    std::vector<TXColumn*> m_sortList;
    int m_updateCount = 0;
    bool m_changedAll = false;
    std::vector<TXColumn*> m_changedItems;
};

} // namespace xdb
