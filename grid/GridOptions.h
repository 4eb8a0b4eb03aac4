#pragma once
// The small settings objects the string grid creates, owns and publishes (CellNode, SizeWhileTyping,
// MouseActions, ColumnSize, Navigation, HTMLSettings, PrintSettings) and TCellGraphic, what a cell
// shows besides its text.
//
// Each settings class publishes its values as Qt properties in their stored order; Assign copies
// every published property from an object of the same class and ignores any other source.
#include "grid/GridTypes.h"
#include "platform/graphics/Graphics.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/Toolkit.h"
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace grid {

using gfx::TColor;
class TBaseGrid;

class TGridPersistent : public QObject {
    Q_OBJECT
public:
    explicit TGridPersistent(TBaseGrid* grid = nullptr) : m_grid(grid) {}
    TBaseGrid* Grid() const { return m_grid; }
    // Copies every published property of `source` when it is of this very class; true when it was.
    virtual bool Assign(const QObject* source);

protected:
    // The same, leaving out the named properties.
    bool AssignExcept(const QObject* source, const QStringList& skipped);
    void RepaintGrid();
    bool GridDesigning() const;

private:
    TBaseGrid* m_grid;
};

class TCellNode : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int Color MEMBER Color)
    Q_PROPERTY(bool ExpandOne MEMBER ExpandOne)
    Q_PROPERTY(grid::TNodeType NodeType READ NodeType WRITE SetNodeType)
    Q_PROPERTY(int NodeColor MEMBER NodeColor)
    Q_PROPERTY(int NodeIndent READ NodeIndent WRITE SetNodeIndent)
    Q_PROPERTY(QImage ExpandGlyph MEMBER ExpandGlyph)
    Q_PROPERTY(QImage ContractGlyph MEMBER ContractGlyph)
    Q_PROPERTY(bool ShowTree READ ShowTree WRITE SetShowTree)
    Q_PROPERTY(bool ShowTreeFull READ ShowTreeFull WRITE SetShowTreeFull)
    Q_PROPERTY(int TreeColor READ TreeColor WRITE SetTreeColor)
public:
    using TGridPersistent::TGridPersistent;
    TColor Color = 0xC0C0C0;
    bool ExpandOne = false;
    TColor NodeColor = 0;
    QImage ExpandGlyph;
    QImage ContractGlyph;
    grid::TNodeType NodeType() const { return m_nodeType; }
    void SetNodeType(grid::TNodeType v);
    int NodeIndent() const { return m_nodeIndent; }
    void SetNodeIndent(int v);
    bool ShowTree() const { return m_showTree; }
    void SetShowTree(bool v);
    bool ShowTreeFull() const { return m_showTreeFull; }
    void SetShowTreeFull(bool v);
    TColor TreeColor() const { return m_treeColor; }
    void SetTreeColor(TColor v);

private:
    grid::TNodeType m_nodeType = cnXP;
    int m_nodeIndent = 12;
    bool m_showTree = true;
    bool m_showTreeFull = true;
    TColor m_treeColor = 0x808080;
};

class TSizeWhileTyping : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Height MEMBER Height)
    Q_PROPERTY(bool Width MEMBER Width)
public:
    using TGridPersistent::TGridPersistent;
    bool Height = false;
    bool Width = false;
};

class TMouseActions : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool AllColumnSize MEMBER AllColumnSize)
    Q_PROPERTY(bool AllRowSize MEMBER AllRowSize)
    Q_PROPERTY(bool AllSelect MEMBER AllSelect)
    Q_PROPERTY(bool AutoSizeColOnDblClick MEMBER AutoSizeColOnDblClick)
    Q_PROPERTY(bool CaretPositioning MEMBER CaretPositioning)
    Q_PROPERTY(bool CheckAllCheck MEMBER CheckAllCheck)
    Q_PROPERTY(bool ColSelect MEMBER ColSelect)
    Q_PROPERTY(bool DirectComboDrop MEMBER DirectComboDrop)
    Q_PROPERTY(bool DirectDateDrop MEMBER DirectDateDrop)
    Q_PROPERTY(bool DirectEdit MEMBER DirectEdit)
    Q_PROPERTY(bool DisjunctRowSelect READ DisjunctRowSelect WRITE SetDisjunctRowSelect)
    Q_PROPERTY(bool DisjunctColSelect READ DisjunctColSelect WRITE SetDisjunctColSelect)
    Q_PROPERTY(bool DisjunctCellSelect READ DisjunctCellSelect WRITE SetDisjunctCellSelect)
    Q_PROPERTY(grid::TGridFixedCellEdit FixedRowsEdit MEMBER FixedRowsEdit)
    Q_PROPERTY(grid::TGridFixedCellEdit FixedColsEdit MEMBER FixedColsEdit)
    Q_PROPERTY(bool HotmailRowSelect READ HotmailRowSelect WRITE SetHotmailRowSelect)
    Q_PROPERTY(bool MoveRowOnNodeClick MEMBER MoveRowOnNodeClick)
    Q_PROPERTY(bool NoAutoRangeScroll MEMBER NoAutoRangeScroll)
    Q_PROPERTY(bool NodeAllExpandContract MEMBER NodeAllExpandContract)
    Q_PROPERTY(bool NoScrollOnPartialRow MEMBER NoScrollOnPartialRow)
    Q_PROPERTY(bool PreciseCheckBoxCheck MEMBER PreciseCheckBoxCheck)
    Q_PROPERTY(bool RangeSelectAndEdit MEMBER RangeSelectAndEdit)
    Q_PROPERTY(bool RowSelect MEMBER RowSelect)
    Q_PROPERTY(bool RowSelectPersistent MEMBER RowSelectPersistent)
    Q_PROPERTY(bool SelectOnRightClick MEMBER SelectOnRightClick)
    Q_PROPERTY(bool SizeFixedCol MEMBER SizeFixedCol)
    Q_PROPERTY(bool SizeFixedRow MEMBER SizeFixedRow)
    Q_PROPERTY(int WheelIncrement MEMBER WheelIncrement)
    Q_PROPERTY(grid::TWheelAction WheelAction MEMBER WheelAction)
public:
    using TGridPersistent::TGridPersistent;
    bool AllColumnSize = false;
    bool AllRowSize = false;
    bool AllSelect = false;
    bool AutoSizeColOnDblClick = true;
    bool CaretPositioning = false;
    bool CheckAllCheck = false;
    bool ColSelect = false;
    bool DirectComboDrop = false;
    bool DirectDateDrop = false;
    bool DirectEdit = false;
    grid::TGridFixedCellEdit FixedRowsEdit = fceNone;
    grid::TGridFixedCellEdit FixedColsEdit = fceNone;
    bool MoveRowOnNodeClick = false;
    bool NoAutoRangeScroll = false;
    bool NodeAllExpandContract = false;
    bool NoScrollOnPartialRow = false;
    bool PreciseCheckBoxCheck = false;
    bool RangeSelectAndEdit = false;
    bool RowSelect = false;
    bool RowSelectPersistent = false;
    bool SelectOnRightClick = false;
    bool SizeFixedCol = false;
    bool SizeFixedRow = false;
    int WheelIncrement = 0;
    grid::TWheelAction WheelAction = waMoveSelection;

    // At design time one of the three disjunct selections excludes the other two.
    bool DisjunctRowSelect() const { return m_disjunctRow; }
    void SetDisjunctRowSelect(bool v);
    bool DisjunctColSelect() const { return m_disjunctCol; }
    void SetDisjunctColSelect(bool v);
    bool DisjunctCellSelect() const { return m_disjunctCell; }
    void SetDisjunctCellSelect(bool v);
    bool HotmailRowSelect() const { return m_hotmail; }
    void SetHotmailRowSelect(bool v);
    // Copies all but HotmailRowSelect and SizeFixedRow.
    bool Assign(const QObject* source) override;

private:
    bool m_disjunctRow = false;
    bool m_disjunctCol = false;
    bool m_disjunctCell = false;
    bool m_hotmail = false;
};

class TColumnSize : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Save MEMBER Save)
    Q_PROPERTY(QString Key MEMBER Key)
    Q_PROPERTY(QString Section MEMBER Section)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(int StretchColumn MEMBER StretchColumn)
    Q_PROPERTY(bool SynchWithGrid MEMBER SynchWithGrid)
    Q_PROPERTY(grid::TColumnSizeLocation Location MEMBER Location)
public:
    using TGridPersistent::TGridPersistent;
    bool Save = false;
    QString Key;
    QString Section;
    int StretchColumn = -1;
    bool SynchWithGrid = false;
    grid::TColumnSizeLocation Location = clRegistry;
    bool Stretch() const { return m_stretch; }
    // Stores; a grid placed in a window stretches its column at once (later resizes keep it).
    void SetStretch(bool v);

private:
    bool m_stretch = false;
};

class TNavigation : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool AllowInsertRow MEMBER AllowInsertRow)
    Q_PROPERTY(bool AllowDeleteRow MEMBER AllowDeleteRow)
    Q_PROPERTY(bool AlwaysEdit MEMBER AlwaysEdit)
    Q_PROPERTY(bool AdvanceOnEnter MEMBER AdvanceOnEnter)
    Q_PROPERTY(bool AdvanceInsert MEMBER AdvanceInsert)
    Q_PROPERTY(bool AutoGotoWhenSorted MEMBER AutoGotoWhenSorted)
    Q_PROPERTY(bool AutoGotoIncremental MEMBER AutoGotoIncremental)
    Q_PROPERTY(bool AutoComboDropSize MEMBER AutoComboDropSize)
    Q_PROPERTY(grid::TAdvanceDirection AdvanceDirection MEMBER AdvanceDirection)
    Q_PROPERTY(bool AllowClipboardShortCuts MEMBER AllowClipboardShortCuts)
    Q_PROPERTY(bool AllowCtrlEnter MEMBER AllowCtrlEnter)
    Q_PROPERTY(bool AllowSmartClipboard MEMBER AllowSmartClipboard)
    Q_PROPERTY(bool AllowRTFClipboard MEMBER AllowRTFClipboard)
    Q_PROPERTY(bool AllowFmtClipboard MEMBER AllowFmtClipboard)
    Q_PROPERTY(bool AllowClipboardAlways MEMBER AllowClipboardAlways)
    Q_PROPERTY(bool AllowClipboardRowGrow MEMBER AllowClipboardRowGrow)
    Q_PROPERTY(bool AllowClipboardColGrow MEMBER AllowClipboardColGrow)
    Q_PROPERTY(bool AdvanceAuto MEMBER AdvanceAuto)
    Q_PROPERTY(bool AppendOnArrowDown MEMBER AppendOnArrowDown)
    Q_PROPERTY(bool EditSelectAll MEMBER EditSelectAll)
    Q_PROPERTY(grid::TInsertPosition InsertPosition MEMBER InsertPosition)
    Q_PROPERTY(bool CursorWalkEditor MEMBER CursorWalkEditor)
    Q_PROPERTY(bool MoveRowOnSort MEMBER MoveRowOnSort)
    Q_PROPERTY(bool ImproveMaskSel MEMBER ImproveMaskSel)
    Q_PROPERTY(bool CopyHTMLTagsToClipboard MEMBER CopyHTMLTagsToClipboard)
    Q_PROPERTY(bool KeepHorizScroll MEMBER KeepHorizScroll)
    Q_PROPERTY(bool LineFeedOnEnter MEMBER LineFeedOnEnter)
    Q_PROPERTY(grid::THomeEndAction HomeEndKey MEMBER HomeEndKey)
    Q_PROPERTY(bool SkipFixedCells MEMBER SkipFixedCells)
    Q_PROPERTY(bool TabToNextAtEnd MEMBER TabToNextAtEnd)
    Q_PROPERTY(grid::TAdvanceDirection TabAdvanceDirection MEMBER TabAdvanceDirection)
public:
    using TGridPersistent::TGridPersistent;
    bool AllowInsertRow = false;
    bool AllowDeleteRow = false;
    bool AlwaysEdit = false;
    bool AdvanceOnEnter = false;
    bool AdvanceInsert = false;
    bool AutoGotoWhenSorted = false;
    bool AutoGotoIncremental = false;
    bool AutoComboDropSize = false;
    grid::TAdvanceDirection AdvanceDirection = adLeftRight;
    bool AllowClipboardShortCuts = false;
    bool AllowCtrlEnter = true;
    bool AllowSmartClipboard = false;
    bool AllowRTFClipboard = false;
    bool AllowFmtClipboard = false;
    bool AllowClipboardAlways = false;
    bool AllowClipboardRowGrow = true;
    bool AllowClipboardColGrow = true;
    bool AdvanceAuto = false;
    bool AppendOnArrowDown = false;
    bool EditSelectAll = true;
    grid::TInsertPosition InsertPosition = pInsertBefore;
    bool CursorWalkEditor = false;
    bool MoveRowOnSort = false;
    bool ImproveMaskSel = false;
    bool CopyHTMLTagsToClipboard = true;
    bool KeepHorizScroll = false;
    bool LineFeedOnEnter = false;
    grid::THomeEndAction HomeEndKey = heFirstLastColumn;
    bool SkipFixedCells = true;
    bool TabToNextAtEnd = false;
    grid::TAdvanceDirection TabAdvanceDirection = adLeftRight;
};

class THTMLSettings : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int BorderSize MEMBER BorderSize)
    Q_PROPERTY(int CellSpacing MEMBER CellSpacing)
    Q_PROPERTY(int CellPadding MEMBER CellPadding)
    Q_PROPERTY(bool SaveColor MEMBER SaveColor)
    Q_PROPERTY(bool SaveFonts MEMBER SaveFonts)
    Q_PROPERTY(QString FooterFile MEMBER FooterFile)
    Q_PROPERTY(QString HeaderFile MEMBER HeaderFile)
    Q_PROPERTY(QString TableStyle MEMBER TableStyle)
    Q_PROPERTY(QString PrefixTag MEMBER PrefixTag)
    Q_PROPERTY(QString SuffixTag MEMBER SuffixTag)
    Q_PROPERTY(int Width MEMBER Width)
    Q_PROPERTY(bool XHTML MEMBER XHTML)
    Q_PROPERTY(bool ConvertSpecialChars MEMBER ConvertSpecialChars)
    Q_PROPERTY(bool AutoPreview MEMBER AutoPreview)
    Q_PROPERTY(bool NonBreakingText MEMBER NonBreakingText)
public:
    using TGridPersistent::TGridPersistent;
    int BorderSize = 1;
    int CellSpacing = 0;
    int CellPadding = 0;
    bool SaveColor = true;
    bool SaveFonts = true;
    QString FooterFile;
    QString HeaderFile;
    QString TableStyle;
    QString PrefixTag;
    QString SuffixTag;
    int Width = 100;
    bool XHTML = false;
    bool ConvertSpecialChars = false;
    bool AutoPreview = false;
    bool NonBreakingText = false;
    std::vector<int> ColWidths;   // column widths of the export; not published
};

class TPrintSettings : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int FooterSize MEMBER FooterSize)
    Q_PROPERTY(int HeaderSize MEMBER HeaderSize)
    Q_PROPERTY(grid::TPrintPosition Time MEMBER Time)
    Q_PROPERTY(grid::TPrintPosition Date MEMBER Date)
    Q_PROPERTY(grid::TPrintPosition PageNr MEMBER PageNr)
    Q_PROPERTY(grid::TPrintPosition Title MEMBER Title)
    Q_PROPERTY(QString DateFormat MEMBER DateFormat)
    Q_PROPERTY(QString TitleText MEMBER TitleText)
    Q_PROPERTY(QStringList TitleLines MEMBER TitleLines)
    Q_PROPERTY(tk::TFont Font MEMBER Font)
    Q_PROPERTY(tk::TFont FixedFont MEMBER FixedFont)
    Q_PROPERTY(tk::TFont HeaderFont MEMBER HeaderFont)
    Q_PROPERTY(tk::TFont FooterFont MEMBER FooterFont)
    Q_PROPERTY(grid::TPrintBorders Borders MEMBER Borders)
    Q_PROPERTY(grid::TPenStyle BorderStyle MEMBER BorderStyle)
    Q_PROPERTY(bool Centered MEMBER Centered)
    Q_PROPERTY(bool RepeatFixedRows MEMBER RepeatFixedRows)
    Q_PROPERTY(bool RepeatFixedCols MEMBER RepeatFixedCols)
    Q_PROPERTY(int LeftSize MEMBER LeftSize)
    Q_PROPERTY(int RightSize MEMBER RightSize)
    Q_PROPERTY(int ColumnSpacing MEMBER ColumnSpacing)
    Q_PROPERTY(int RowSpacing MEMBER RowSpacing)
    Q_PROPERTY(int TitleSpacing MEMBER TitleSpacing)
    Q_PROPERTY(grid::TPrinterOrientation Orientation MEMBER Orientation)
    Q_PROPERTY(QString PagePrefix MEMBER PagePrefix)
    Q_PROPERTY(QString PageSuffix MEMBER PageSuffix)
    Q_PROPERTY(int PageNumberOffset MEMBER PageNumberOffset)
    Q_PROPERTY(int MaxPagesOffset MEMBER MaxPagesOffset)
    Q_PROPERTY(int FixedWidth MEMBER FixedWidth)
    Q_PROPERTY(int FixedHeight MEMBER FixedHeight)
    Q_PROPERTY(bool UseFixedHeight MEMBER UseFixedHeight)
    Q_PROPERTY(bool UseFixedWidth MEMBER UseFixedWidth)
    Q_PROPERTY(grid::TFitToPage FitToPage MEMBER FitToPage)
    Q_PROPERTY(QString JobName MEMBER JobName)
    Q_PROPERTY(QString PageNumSep MEMBER PageNumSep)
    Q_PROPERTY(bool NoAutoSize MEMBER NoAutoSize)
    Q_PROPERTY(bool NoAutoSizeRow MEMBER NoAutoSizeRow)
    Q_PROPERTY(bool PrintGraphics MEMBER PrintGraphics)
    Q_PROPERTY(bool UseDisplayFont MEMBER UseDisplayFont)
    Q_PROPERTY(bool UseDefaultOrientation MEMBER UseDefaultOrientation)
public:
    using TGridPersistent::TGridPersistent;
    int FooterSize = 0;
    int HeaderSize = 0;
    grid::TPrintPosition Time = ppNone;
    grid::TPrintPosition Date = ppNone;
    grid::TPrintPosition PageNr = ppNone;
    grid::TPrintPosition Title = ppNone;
    QString DateFormat = QStringLiteral("dd/mm/yyyy");
    QString TitleText;
    QStringList TitleLines;
    tk::TFont Font;
    tk::TFont FixedFont;
    tk::TFont HeaderFont;
    tk::TFont FooterFont;
    grid::TPrintBorders Borders = pbSingle;
    grid::TPenStyle BorderStyle = psSolid;
    bool Centered = true;
    bool RepeatFixedRows = false;
    bool RepeatFixedCols = false;
    int LeftSize = 0;
    int RightSize = 0;
    int ColumnSpacing = 0;
    int RowSpacing = 0;
    int TitleSpacing = 0;
    grid::TPrinterOrientation Orientation = poPortrait;
    QString PagePrefix;
    QString PageSuffix;
    int PageNumberOffset = 0;
    int MaxPagesOffset = 0;
    int FixedWidth = 0;
    int FixedHeight = 0;
    bool UseFixedHeight = false;
    bool UseFixedWidth = false;
    grid::TFitToPage FitToPage = fpNever;
    QString JobName;
    QString PageNumSep = QStringLiteral("/");
    bool NoAutoSize = false;
    bool NoAutoSizeRow = false;
    bool PrintGraphics = false;
    bool UseDisplayFont = true;
    bool UseDefaultOrientation = false;

    // The fonts are copied with the published values.
    bool Assign(const QObject* source) override;
};

// How cell controls (check boxes, radio buttons, buttons, progress bars, comments) look.
class TControlLook : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int CommentColor READ CommentColor WRITE SetCommentColor)
    Q_PROPERTY(QImage CheckedGlyph READ CheckedGlyph WRITE SetCheckedGlyph)
    Q_PROPERTY(QImage UnCheckedGlyph READ UnCheckedGlyph WRITE SetUnCheckedGlyph)
    Q_PROPERTY(QImage RadioOnGlyph READ RadioOnGlyph WRITE SetRadioOnGlyph)
    Q_PROPERTY(QImage RadioOffGlyph READ RadioOffGlyph WRITE SetRadioOffGlyph)
    Q_PROPERTY(int CheckSize READ CheckSize WRITE SetCheckSize)
    Q_PROPERTY(bool CheckAlwaysActive MEMBER CheckAlwaysActive)
    Q_PROPERTY(int RadioSize READ RadioSize WRITE SetRadioSize)
    Q_PROPERTY(bool RadioAlwaysActive MEMBER RadioAlwaysActive)
    Q_PROPERTY(grid::TControlStyle ControlStyle READ ControlStyle WRITE SetControlStyle)
    Q_PROPERTY(bool DropDownAlwaysVisible READ DropDownAlwaysVisible WRITE SetDropDownAlwaysVisible)
    Q_PROPERTY(bool FlatButton READ FlatButton WRITE SetFlatButton)
    Q_PROPERTY(bool NoDisabledCheckRadioLook READ NoDisabledCheckRadioLook WRITE SetNoDisabledCheckRadioLook)
    Q_PROPERTY(bool NoDisabledButtonLook READ NoDisabledButtonLook WRITE SetNoDisabledButtonLook)
    Q_PROPERTY(int ProgressBorderColor MEMBER ProgressBorderColor)
    Q_PROPERTY(int ProgressMarginX READ ProgressMarginX WRITE SetProgressMarginX)
    Q_PROPERTY(int ProgressMarginY READ ProgressMarginY WRITE SetProgressMarginY)
    Q_PROPERTY(bool ProgressXP READ ProgressXP WRITE SetProgressXP)
    Q_PROPERTY(int FixedGradientFrom MEMBER FixedGradientFrom)
    Q_PROPERTY(int FixedGradientTo MEMBER FixedGradientTo)
public:
    using TGridPersistent::TGridPersistent;
    bool CheckAlwaysActive = false;
    bool RadioAlwaysActive = false;
    TColor ProgressBorderColor = gfx::clGray;
    TColor FixedGradientFrom = gfx::clNone;
    TColor FixedGradientTo = gfx::clNone;

#define QLY_REPAINTING(type, name, init)                                                                         \
    type name() const { return m_##name; }                                                                       \
    void Set##name(const type& v) { m_##name = v; RepaintGrid(); }                                               \
private:                                                                                                         \
    type m_##name = init;                                                                                        \
public:
    QLY_REPAINTING(TColor, Color, gfx::clBlack)
    QLY_REPAINTING(TColor, CommentColor, gfx::clRed)
    QLY_REPAINTING(QImage, CheckedGlyph, QImage())
    QLY_REPAINTING(QImage, UnCheckedGlyph, QImage())
    QLY_REPAINTING(QImage, RadioOnGlyph, QImage())
    QLY_REPAINTING(QImage, RadioOffGlyph, QImage())
    QLY_REPAINTING(int, CheckSize, 15)
    QLY_REPAINTING(int, RadioSize, 10)
    QLY_REPAINTING(grid::TControlStyle, ControlStyle, csWinXP)
    QLY_REPAINTING(bool, DropDownAlwaysVisible, false)
    QLY_REPAINTING(bool, FlatButton, false)
    QLY_REPAINTING(bool, NoDisabledCheckRadioLook, false)
    QLY_REPAINTING(bool, NoDisabledButtonLook, false)
    QLY_REPAINTING(int, ProgressMarginX, 2)
    QLY_REPAINTING(int, ProgressMarginY, 2)
    QLY_REPAINTING(bool, ProgressXP, false)
#undef QLY_REPAINTING

    // Copies the look, not the drop-down, button, disabled-look, progress-style and gradient values.
    bool Assign(const QObject* source) override;
};

class TSortSettings : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int Column MEMBER Column)
    Q_PROPERTY(bool Show READ Show WRITE SetShow)
    Q_PROPERTY(bool IndexShow MEMBER IndexShow)
    Q_PROPERTY(int IndexColor MEMBER IndexColor)
    Q_PROPERTY(bool Full MEMBER Full)
    Q_PROPERTY(bool SingleColumn MEMBER SingleColumn)
    Q_PROPERTY(bool IgnoreBlanks MEMBER IgnoreBlanks)
    Q_PROPERTY(grid::TSortBlankPosition BlankPos MEMBER BlankPos)
    Q_PROPERTY(bool AutoFormat MEMBER AutoFormat)
    Q_PROPERTY(grid::TSortDirection Direction MEMBER Direction)
    Q_PROPERTY(grid::TSortDirection InitSortDirection MEMBER InitSortDirection)
    Q_PROPERTY(QImage UpGlyph MEMBER UpGlyph)
    Q_PROPERTY(QImage DownGlyph MEMBER DownGlyph)
    Q_PROPERTY(QImage IndexUpGlyph MEMBER IndexUpGlyph)
    Q_PROPERTY(QImage IndexDownGlyph MEMBER IndexDownGlyph)
    Q_PROPERTY(bool FixedCols MEMBER FixedCols)
    Q_PROPERTY(bool NormalCellsOnly MEMBER NormalCellsOnly)
    Q_PROPERTY(int Row READ Row WRITE SetRow)
    Q_PROPERTY(bool UndoSort MEMBER UndoSort)
    Q_PROPERTY(bool AutoSortForGrouping MEMBER AutoSortForGrouping)
    Q_PROPERTY(bool AutoColumnMerge MEMBER AutoColumnMerge)
public:
    using TGridPersistent::TGridPersistent;
    int Column = 0;
    bool IndexShow = false;
    TColor IndexColor = gfx::clYellow;
    bool Full = true;
    bool SingleColumn = false;
    bool IgnoreBlanks = false;
    grid::TSortBlankPosition BlankPos = blFirst;
    bool AutoFormat = true;
    grid::TSortDirection Direction = sdAscending;
    grid::TSortDirection InitSortDirection = sdAscending;
    QImage UpGlyph, DownGlyph, IndexUpGlyph, IndexDownGlyph;
    bool FixedCols = false;
    bool NormalCellsOnly = false;
    bool UndoSort = false;
    bool AutoSortForGrouping = true;
    bool AutoColumnMerge = false;
    bool Show() const { return m_show; }
    void SetShow(bool v);
    int Row() const { return m_row; }
    // Raises EZodUvuzError "Sort row should be smaller than number of fixed rows" for a row that
    // is not a fixed row of the grid.
    void SetRow(int v);
    // Copies every value; the row as it is (the receiver's fixed rows may follow later).
    bool Assign(const QObject* source) override;

private:
    bool m_show = false;
    int m_row = 0;
};

class TBackGround : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(QImage Bitmap READ Bitmap WRITE SetBitmap)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(grid::TBackGroundDisplay Display READ Display WRITE SetDisplay)
    Q_PROPERTY(grid::TBackGroundCells Cells READ Cells WRITE SetCells)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int ColorTo READ ColorTo WRITE SetColorTo)
public:
    using TGridPersistent::TGridPersistent;
#define QLY_REPAINTING(type, name, init)                                                                         \
    type name() const { return m_##name; }                                                                       \
    void Set##name(const type& v) { m_##name = v; RepaintGrid(); }                                               \
private:                                                                                                         \
    type m_##name = init;                                                                                        \
public:
    QLY_REPAINTING(QImage, Bitmap, QImage())
    QLY_REPAINTING(int, Top, 0)
    QLY_REPAINTING(int, Left, 0)
    QLY_REPAINTING(grid::TBackGroundDisplay, Display, bdTile)
    QLY_REPAINTING(grid::TBackGroundCells, Cells, bcNormal)
    QLY_REPAINTING(TColor, Color, gfx::clWindow)
    QLY_REPAINTING(TColor, ColorTo, gfx::clBtnFace)
#undef QLY_REPAINTING
};

// Alternating row colours.
class TBands : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(int PrimaryColor READ PrimaryColor WRITE SetPrimaryColor)
    Q_PROPERTY(int PrimaryLength READ PrimaryLength WRITE SetPrimaryLength)
    Q_PROPERTY(int SecondaryColor READ SecondaryColor WRITE SetSecondaryColor)
    Q_PROPERTY(int SecondaryLength READ SecondaryLength WRITE SetSecondaryLength)
    Q_PROPERTY(bool Print MEMBER Print)
public:
    using TGridPersistent::TGridPersistent;
    bool Print = false;
    bool Active() const { return m_active; }
    void SetActive(bool v);
    TColor PrimaryColor() const { return m_primaryColor; }
    void SetPrimaryColor(TColor v);
    int PrimaryLength() const { return m_primaryLength; }
    void SetPrimaryLength(int v);
    TColor SecondaryColor() const { return m_secondaryColor; }
    void SetSecondaryColor(TColor v);
    int SecondaryLength() const { return m_secondaryLength; }
    void SetSecondaryLength(int v);
    // Rows of one primary and one secondary band.
    int Period() const { return m_period; }

private:
    void repaintWhenActive();
    bool m_active = false;
    TColor m_primaryColor = gfx::clInfoBk;
    int m_primaryLength = 1;
    TColor m_secondaryColor = gfx::clWindow;
    int m_secondaryLength = 1;
    int m_period = 2;
};

// One filter condition.
struct TFilterData {
    Q_GADGET
    Q_PROPERTY(short Column MEMBER Column)
    Q_PROPERTY(QString Condition MEMBER Condition)
    Q_PROPERTY(bool CaseSensitive MEMBER CaseSensitive)
    Q_PROPERTY(grid::TFilterCells Data MEMBER Data)
    Q_PROPERTY(QString Prefix MEMBER Prefix)
    Q_PROPERTY(QString Suffix MEMBER Suffix)
    Q_PROPERTY(grid::TFilterOperation Operation MEMBER Operation)
public:
    short Column = 0;
    QString Condition;
    bool CaseSensitive = true;
    TFilterCells Data = fcVirtual;
    QString Prefix;
    QString Suffix;
    TFilterOperation Operation = foSHORT;
    void Assign(const TFilterData& source) { *this = source; }
};

// The grid's filter conditions.
class TFilter {
public:
    explicit TFilter(TBaseGrid* grid = nullptr) : m_grid(grid) {}
    TBaseGrid* Owner() const { return m_grid; }
    int Count() const { return int(m_items.size()); }
    TFilterData& Items(int index) { return m_items.at(size_t(index)); }
    TFilterData& Add() { return m_items.emplace_back(); }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }
    void Assign(const TFilter& source) { m_items = source.m_items; }
    // The conditions as a stored collection.
    tk::TCollectionItems StoredItems();

private:
    TBaseGrid* m_grid;
    std::vector<TFilterData> m_items;
};

class TGrouping : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int HeaderColor MEMBER HeaderColor)
    Q_PROPERTY(int HeaderColorTo MEMBER HeaderColorTo)
    Q_PROPERTY(int HeaderTextColor MEMBER HeaderTextColor)
    Q_PROPERTY(bool HeaderUnderline MEMBER HeaderUnderline)
    Q_PROPERTY(int HeaderLineColor MEMBER HeaderLineColor)
    Q_PROPERTY(int HeaderLineWidth MEMBER HeaderLineWidth)
    Q_PROPERTY(bool MergeHeader MEMBER MergeHeader)
    Q_PROPERTY(bool MergeSummary MEMBER MergeSummary)
    Q_PROPERTY(bool Summary MEMBER Summary)
    Q_PROPERTY(int SummaryColor MEMBER SummaryColor)
    Q_PROPERTY(int SummaryColorTo MEMBER SummaryColorTo)
    Q_PROPERTY(int SummaryTextColor MEMBER SummaryTextColor)
    Q_PROPERTY(bool SummaryLine MEMBER SummaryLine)
    Q_PROPERTY(int SummaryLineColor MEMBER SummaryLineColor)
    Q_PROPERTY(int SummaryLineWidth MEMBER SummaryLineWidth)
public:
    using TGridPersistent::TGridPersistent;
    TColor HeaderColor = gfx::clNone;
    TColor HeaderColorTo = gfx::clNone;
    TColor HeaderTextColor = gfx::clNone;
    bool HeaderUnderline = false;
    TColor HeaderLineColor = gfx::clBlue;
    int HeaderLineWidth = 2;
    bool MergeHeader = false;
    bool MergeSummary = false;
    bool Summary = false;
    TColor SummaryColor = gfx::clNone;
    TColor SummaryColorTo = gfx::clNone;
    TColor SummaryTextColor = gfx::clNone;
    bool SummaryLine = false;
    TColor SummaryLineColor = gfx::clBlue;
    int SummaryLineWidth = 2;
    // Copies all but the line colours and widths and Summary.
    bool Assign(const QObject* source) override;
};

class TDragDropSettings : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool OleAcceptFiles MEMBER OleAcceptFiles)
    Q_PROPERTY(bool OleAcceptText MEMBER OleAcceptText)
    Q_PROPERTY(bool OleCopyAlways MEMBER OleCopyAlways)
    Q_PROPERTY(bool OleDropTarget MEMBER OleDropTarget WRITE SetOleDropTarget)
    Q_PROPERTY(bool OleDropSource MEMBER OleDropSource)
    Q_PROPERTY(bool OleEntireRows MEMBER OleEntireRows)
    Q_PROPERTY(bool OleInsertRows MEMBER OleInsertRows)
    Q_PROPERTY(bool OleRemoveRows MEMBER OleRemoveRows)
    Q_PROPERTY(bool OleDropRTF MEMBER OleDropRTF WRITE SetOleDropRTF)
    Q_PROPERTY(bool OleColumnDragDrop MEMBER OleColumnDragDrop)
public:
    using TGridPersistent::TGridPersistent;
    // The grid's viewport takes drops (not while the grid is designed).
    void SetOleDropTarget(bool value);
    // Rich text in drags for every grid of the family.
    void SetOleDropRTF(bool value);
    bool OleAcceptFiles = true;
    bool OleAcceptText = true;
    bool OleCopyAlways = false;
    bool OleDropTarget = false;
    bool OleDropSource = false;
    bool OleEntireRows = false;
    bool OleInsertRows = false;
    bool OleRemoveRows = false;
    bool OleDropRTF = false;
    bool OleColumnDragDrop = false;
};

class TShowModified : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Enabled MEMBER Enabled)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
public:
    using TGridPersistent::TGridPersistent;
    bool Enabled = false;
    TColor Color() const { return m_color; }
    void SetColor(TColor v);
    std::function<void(TShowModified*)> OnChange;

private:
    TColor m_color = gfx::clYellow;
};

class TDragScrollDelays : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int InitialDelay MEMBER InitialDelay)
    Q_PROPERTY(int RepeatDelay MEMBER RepeatDelay)
public:
    using TGridPersistent::TGridPersistent;
    int InitialDelay = 1000;
    int RepeatDelay = 250;
};

class TDragScrollMargins : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(int TopMargin MEMBER TopMargin)
    Q_PROPERTY(int BottomMargin MEMBER BottomMargin)
    Q_PROPERTY(int LeftMargin MEMBER LeftMargin)
    Q_PROPERTY(int RightMargin MEMBER RightMargin)
public:
    using TGridPersistent::TGridPersistent;
    int TopMargin = 50;
    int BottomMargin = 50;
    int LeftMargin = 50;
    int RightMargin = 50;
};

class TDragScrollOptions : public TGridPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Active MEMBER Active)
    Q_PROPERTY(grid::TDragScrollDelays* Delays READ Delays)
    Q_PROPERTY(grid::TDragScrollMargins* Margins READ Margins)
public:
    using TGridPersistent::TGridPersistent;
    bool Active = false;
    TDragScrollDelays* Delays() { return &m_delays; }
    TDragScrollMargins* Margins() { return &m_margins; }
    bool Assign(const QObject* source) override;

private:
    TDragScrollDelays m_delays;
    TDragScrollMargins m_margins;
};

// What a cell shows besides its text. The picture, icon and option list are held by value.
class TCellGraphic {
public:
    TCellType CellType = ctNone;
    TCellVAlign CellVAlign = vaTop;
    TCellHAlign CellHAlign = haLeft;
    int CellIndex = 0;          // image index, node span, radio index or picture margin
    bool CellTransparent = false;
    bool CellCreated = false;   // the graphic made its object itself
    bool CellBoolean = false;   // check state, or a node's contracted state
    int CellAngle = 0;          // rotation, a node's row, or a picture's stretch mode
    double CellValue = 0;
    int CellErrFrom = 0;
    int CellErrLen = 0;
    QString CellText;

    // The graphic's object, by type.
    QImage Picture;             // ctBitmap, ctPicture, ctFilePicture, ctBitButton
    QStringList Options;        // ctRadio
    std::vector<int> Images;    // ctImages
    QIcon Icon;                 // ctIcon
    QVariant Value;             // a node's grouping column
    // The colours some kinds keep in place of an object: bar / fill / negative colour, and the
    // rest / positive colour (progress bars, pies, range indicators); clNone: the default.
    TColor GraphicColor = gfx::clNone;
    TColor GraphicIconColor = gfx::clNone;

    // Copies the published values; the object, icon and CellCreated stay the receiver's own.
    void Assign(const TCellGraphic& source);
    // The size a picture takes in the available area (ctPicture and ctFilePicture only; other
    // types give (0, 0)). CellIndex is the margin, the low byte of CellAngle the stretch mode.
    QPoint PictureSize(int availWidth, int availHeight) const;
};

} // namespace grid
