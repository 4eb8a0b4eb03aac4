#pragma once
// The workbook component: reads an Excel workbook (BIFF2 to BIFF8, plain or compound file)
// into its model; the sheets answer their names, used extents and the text of any cell.
#include "spreadsheet/ApplyFormat.h"
#include "spreadsheet/CellAreas.h"
#include "spreadsheet/Cells.h"
#include "spreadsheet/CondFmt.h"
#include "spreadsheet/DecodeFormula.h"
#include "spreadsheet/Chart.h"
#include "spreadsheet/DrawingObj.h"
#include "spreadsheet/Escher.h"
#include "spreadsheet/Formats.h"
#include "spreadsheet/Hyperlink.h"
#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/RecordStorage.h"
#include "spreadsheet/SST.h"
#include "spreadsheet/Validate.h"
#include "spreadsheet/XLSStream.h"
#include "spreadsheet/XLSUtils.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QIODevice;

namespace xls {

class TXLSBook;
class TSheets;

struct TSelectedArea {
    int Col1 = 0, Row1 = 0, Col2 = 0, Row2 = 0;
};

struct TSelectedAreas {
    QList<TSelectedArea> Areas{TSelectedArea()};
    int ActiveCol = 0, ActiveRow = 0, ActiveArea = 0;
};

enum TPaneType : uint8_t { ptNone, ptFrozen, ptSplit };
struct TPane {
    TPaneType PaneType = ptNone;
    int SplitColX = 0, SplitRowY = 0, LeftCol = 0, TopRow = 0;
    QList<QByteArray> Selections;   // the SELECTION records of the pane
};

struct THorizPagebreak { int Row = 0, Col1 = 0, Col2 = 255; };
struct TVertPagebreak { int Col = 0, Row1 = 0, Row2 = 65535; };

class TSheet;
class TPrintSettings {
public:
    explicit TPrintSettings(TSheet* sheet) : m_sheet(sheet) {}
    void Clear();
    QString Header, Footer;
    double MarginLeft = -1.0, MarginRight = -1.0, MarginTop = -1.0, MarginBottom = -1.0;
    QList<THorizPagebreak> HorizPagebreaks;
    QList<TVertPagebreak> VertPagebreaks;
    int PaperSize() const;
    int ScalingFactor() const;
    int StartingPage() const;
    int Copies() const;
    double HeaderMargin() const;
    double FooterMargin() const;
private:
    TSheet* m_sheet;
};

enum THiddenState : uint8_t { hsVisible, hsHidden, hsVeryHidden };

// View of the sheet's SELECTION record: the active cell and the first reference.
class TSelection {
public:
    explicit TSelection(TSheet* sheet) : m_sheet(sheet) {}
    int ActiveRow() const { return word(1); }
    int ActiveCol() const { return word(3); }
    int Row1() const { return word(9); }
    int Row2() const { return word(11); }
    int Col1() const { return byte(13); }
    int Col2() const { return byte(14); }
    void SetActiveRow(int r) { setWord(1, r); setWord(9, r); setWord(11, r); }
    void SetActiveCol(int c) { setWord(3, c); setByte(13, c); setByte(14, c); }
    void SetRow1(int r) { setWord(9, r); }
    void SetRow2(int r) { setWord(11, r); }
    void SetCol1(int c) { setByte(13, c); }
    void SetCol2(int c) { setByte(14, c); }
private:
    TSheet* m_sheet;
    int word(int off) const;
    int byte(int off) const;
    void setWord(int off, int v);
    void setByte(int off, int v);
};

// WINDOW2 option bits and WSBOOL bits as sets.
enum TSheetOption : uint16_t { soShowFormulas = 0x0001, soGridlines = 0x0002, soRowColHeadings = 0x0004,
                               soFrozenPanes = 0x0008, soShowZeros = 0x0010 };
enum TWorkspaceOption : uint16_t { woShowAutoBreaks = 0x0001, woApplyStyles = 0x0020, woRowSumsBelow = 0x0040,
                                   woColSumsRight = 0x0080, woFitToPage = 0x0100, woOutlineSymbols = 0x0400 };

class TSheet {
public:
    TSheet(TSheets* owner, int id);
    ~TSheet();
    TSheet(const TSheet&) = delete;
    TSheet& operator=(const TSheet&) = delete;

    // --- what the import uses
    QString Name() const { return m_name; }
    void SetName(const QString& name);
    QString CellText(int col, int row) const;
    uint16_t FirstRow() const;
    uint16_t LastRow() const;
    uint16_t FirstCol() const;
    uint16_t LastCol() const;
    // The rows and columns that hold cells, joined with the extents above: a DIMENSIONS record
    // that covers fewer rows or columns than the sheet's cells (some programs write one) does not
    // hide them.
    struct TUsedArea {
        int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    };
    TUsedArea UsedArea() const;

    // --- model
    TCell* Cell(int col, int row) const { return (col < 0 || col > 255 || row < 0 || row > 65535) ? nullptr : m_cells.FindCell(CellKey(uint32_t(col), uint32_t(row))); }
    void AddBlank(int col, int row, int fi);
    void AddBoolean(int col, int row, int fi, uint8_t v);
    void AddError(int col, int row, int fi, uint8_t errorIndex);
    void AddFloat(int col, int row, int fi, double v);
    void AddSST(int col, int row, int fi, TSSTEntry* entry);
    void AddText(int col, int row, int fi, const QString& text);
    void AddCell(int col, int row, TCell* cell);   // takes the cell; dropped outside the grid
    int FormatIndexAt(int col, int row) const;
    void ApplyRowFormat(TCellFormat* format, int row);
    void ApplyColumnFormat(TCellFormat* format, int col);
    void ClearSheet();
    void AfterRead();
    int Index() const;

    TCellStorage& Cells() { return m_cells; }
    const TCellStorage& Cells() const { return m_cells; }
    TRecordStorageSheet& RecordStorage() { return m_records; }
    const TRecordStorageSheet& RecordStorage() const { return m_records; }
    TXLSRows& Rows() { return *m_rows; }
    TXLSColumns& Columns() { return *m_columns; }
    TPrintSettings& PrintSettings() { return m_print; }
    TPane& Pane() { return m_pane; }
    TSelectedAreas& SelectedAreas() { return m_selected; }
    TSheets* Owner() const { return m_owner; }
    TXLSBook* Book() const;

    int DefaultRowHeight() const;
    int DefaultColWidth() const;
    int Zoom() const;
    uint16_t WindowOptions() const;
    int Options() const { return WindowOptions() & 0x001F; }   // TSheetOption bits
    void SetOptions(int options);                              // the word becomes 0x04A0 plus the bits
    int WorkspaceOptions() const;                              // TWorkspaceOption bits
    void SetWorkspaceOptions(int options);                     // writes the whole WSBOOL word
    TSelection& Selection() { return m_selection; }
    // properties of cell areas
    TMergedCells& MergedCells() { return *m_merged; }
    TDataValidations& Validations() { return *m_validations; }
    THyperlinks& Hyperlinks() { return *m_hyperlinks; }
    TConditionalFormats& ConditionalFormats() { return *m_condFmts; }
    TApplyFormat& ApplyFormat() { return *m_applyFormat; }
    // the sheet's office drawing
    TEscherDrawing& Drawing() { return *m_drawing; }
    TDrawingObjects& DrawingObjects() { return *m_drawingObjects; }
    TControlObjects& ControlsObjects() { return *m_controls; }
    TDrwCollection<TDrwChart>& Charts() { return *m_charts; }   // the embedded charts
    void ClearDrawing();   // the drawing with its drawing objects and controls

    THiddenState Hidden = hsVisible;
    uint8_t Kind = 0;                 // 0 worksheet, 1 Visual Basic module, 2 macro sheet
    uint16_t SheetProtection = 0x7FFF;
    bool RecalcFormulas = true;

private:
    TSheets* m_owner;
    QString m_name;
    TCellStorage m_cells;
    TRecordStorageSheet m_records;
    TPrintSettings m_print;
    std::unique_ptr<TXLSColumns> m_columns;
    std::unique_ptr<TXLSRows> m_rows;
    TPane m_pane;
    TSelectedAreas m_selected;
    TSelection m_selection{this};
    std::unique_ptr<TMergedCells> m_merged;
    std::unique_ptr<TDataValidations> m_validations;
    std::unique_ptr<THyperlinks> m_hyperlinks;
    std::unique_ptr<TConditionalFormats> m_condFmts;
    std::unique_ptr<TApplyFormat> m_applyFormat;
    std::unique_ptr<TEscherDrawing> m_drawing;
    std::unique_ptr<TDrawingObjects> m_drawingObjects;
    std::unique_ptr<TControlObjects> m_controls;
    std::unique_ptr<TDrwCollection<TDrwChart>> m_charts;
    TCellFormats* formats() const;
};

class TSheets {
public:
    explicit TSheets(TXLSBook* owner);
    ~TSheets();
    TSheets(const TSheets&) = delete;
    TSheets& operator=(const TSheets&) = delete;

    int Count() const { return int(m_items.size()); }
    TSheet* Items(int index) const   // raises on an index out of range
    {
        if (index < 0 || index >= m_items.size()) [[unlikely]]
            raiseOutOfBounds(index);
        return m_items[index];
    }
    TSheet* operator[](int index) const { return Items(index); }
    TSheet* SheetByName(const QString& name) const;
    TSheet* AddSheet(uint8_t kind);
    void ClearAll();
    void Reset();
    int IndexOf(const TSheet* s) const { return int(m_items.indexOf(const_cast<TSheet*>(s))); }
    TSST2& SST() { return *m_sst; }
    TXLSBook* Owner() const { return m_owner; }

private:
    TXLSBook* m_owner;
    std::unique_ptr<TSST2> m_sst;
    QList<TSheet*> m_items;
    int m_nextId = 0;
    [[noreturn]] static void raiseOutOfBounds(int index);
};

enum TWorkbookOption : uint8_t { woHidden = 0x01, woIconized = 0x02, woHScroll = 0x08, woVScroll = 0x10, woTabs = 0x20 };

// View of the WINDOW1 slot.
class TWorkbookData {
public:
    explicit TWorkbookData(TRecordStorageGlobals* g) : m_g(g) {}
    int Left() const { return word(0); }
    int Top() const { return word(2); }
    int Width() const { return word(4); }
    int Height() const { return word(6); }
    int Options() const { return word(8) & 0x3B; }
    int SelectedTab() const { return word(10); }
    void SetLeft(int v) { setWord(0, v); }
    void SetTop(int v) { setWord(2, v); }
    void SetWidth(int v) { setWord(4, v); }
    void SetHeight(int v) { setWord(6, v); }
    void SetOptions(int v) { setWord(8, v & 0x3B); }
    void SetSelectedTab(int v) { setWord(10, v); }
private:
    TRecordStorageGlobals* m_g;
    int word(int off) const;
    void setWord(int off, int v);
};

enum TCalcMode : uint8_t { cmManual, cmAutomatic, cmAutoExTables };
class TOptionsDialog {
public:
    explicit TOptionsDialog(TRecordStorageGlobals* g) : m_g(g) {}
    int CalcCount() const { return m_calcCount; }
    void SetCalcCount(int v) { m_calcCount = v == 0 ? 1 : (v < 0 ? 32767 : v); }
    TCalcMode CalcMode = cmAutomatic;
    double Delta = 0.001;
    bool Iteration = false, R1C1Mode = false, RecalcBeforeSave = false, Uncalced = false, SaveRecalc = true;
    bool PrecisionAsDisplayed() const { return m_g->Flag(0x000E); }
    void SetPrecisionAsDisplayed(bool on) { m_g->SetFlag(0x000E, on); }
    bool SaveExtLinkVal() const { return m_g->Flag(0x00DA); }
    void SetSaveExtLinkVal(bool on) { m_g->SetFlag(0x00DA, on); }
    int ShowObjects() const;
    void RefreshFrom(TSheet* sheet);
private:
    TRecordStorageGlobals* m_g;
    int m_calcCount = 100;
};


// A component with an owner: freed by its creator or together with its owner.
class TXLSBook : public QObject {
public:
    explicit TXLSBook(QObject* owner = nullptr);
    ~TXLSBook() override;

    QString Filename;
    void Read();                            // reads Filename
    void LoadFromStream(QIODevice* stream); // nullptr: reads Filename
    void LoadFromData(const QByteArray& bytes);
    void Clear();

    TSheets& Sheets() { return *m_sheets; }
    const TSheets& Sheets() const { return *m_sheets; }
    TExcelVersion Version() const { return m_version; }
    void SetVersion(TExcelVersion v);
    int MaxRecordSize() const { return m_maxRecordSize; }

    QString StrTRUE() const { return m_strTrue; }
    QString StrFALSE() const { return m_strFalse; }
    void SetStrTRUE(const QString& s) { m_strTrue = s; m_formulaHandler->SetStrTRUE(s); }
    void SetStrFALSE(const QString& s) { m_strFalse = s; m_formulaHandler->SetStrFALSE(s); }
    bool ShowFormulas = false;
    bool IsMac = false;
    bool PreserveMacros = true;
    QString WritePassword;
    uint8_t DefaultPaperSize = 9;
    static QString ComponentVersion() { return QStringLiteral("2.02.06"); }

    std::function<void(TXLSBook*)> OnAfterRead;
    std::function<void(void* sender, int value)> OnProgress;
    std::function<void(TXLSBook* sender, QString& password)> OnPassword;
    // Stands in for the component's message boxes; unassigned, messages are dropped.
    std::function<void(const QString& text)> OnMessage;

    TXFont* Font();   // the first font; "No Fonts" when there is none
    QString UserName() const { return m_globals->UserName(); }
    void SetUserName(const QString& n) { m_globals->SetUserName(n); }
    bool BookProtected() const { return m_globals->Flag(0x0019); }
    void SetBookProtected(bool on) { m_globals->SetFlag(0x0019, on); }
    bool Backup() const { return m_globals->Flag(0x0040); }
    void SetBackup(bool on) { m_globals->SetFlag(0x0040, on); }
    bool RefreshAll() const { return m_globals->Flag(0x01B7); }
    void SetRefreshAll(bool on) { m_globals->SetFlag(0x01B7, on); }

    TCellFormats& CellFormats() { return *m_formats; }
    TCellFormat* DefaultCellFormat() const { return m_defaultFormat; }
    TXFonts& Fonts() { return *m_fonts; }
    TRecordStorageGlobals& GlobalsStorage() { return *m_globals; }
    TWorkbookData& Workbook() { return *m_workbook; }
    TOptionsDialog& OptionsDialog() { return *m_options; }
    TFormulaHandler& FormulaHandler() { return *m_formulaHandler; }
    TExtraObjects& ExtraObjects() { return m_extras; }
    QList<QByteArray>& Styles() { return m_styles; }
    // The drawing group (MSODRAWINGGROUP with its continuations) as read, kept when it could
    // not be modelled; the model of it with the workbook's pictures.
    QByteArray& DrawingGroup() { return m_drawingGroup; }
    TMSOPictures& MSOPictures() { return *m_pictures; }
    TSheetCharts& SheetCharts() { return *m_sheetCharts; }

    void SheetIndexByName(const QString& name, int& index, int& count) const;
    QString SheetNameOrCellText(int kind, int sheetIndex, int col, int row) const;
    void ShowMessage(const QString& text) const { if (OnMessage) OnMessage(text); }

private:
    void load(QIODevice* stream, const QByteArray* data);

    TExcelVersion m_version = xvExcel97;
    int m_maxRecordSize = 8224;
    QString m_strTrue = QStringLiteral("TRUE"), m_strFalse = QStringLiteral("FALSE");
    std::unique_ptr<TXFonts> m_fonts;
    std::unique_ptr<TCellFormats> m_formats;
    TCellFormat* m_defaultFormat = nullptr;
    std::unique_ptr<TRecordStorageGlobals> m_globals;
    std::unique_ptr<TWorkbookData> m_workbook;
    std::unique_ptr<TOptionsDialog> m_options;
    std::unique_ptr<TFormulaHandler> m_formulaHandler;
    std::unique_ptr<TMSOPictures> m_pictures;   // before the sheets: their drawings refer to it
    std::unique_ptr<TSheets> m_sheets;
    TExtraObjects m_extras;
    QList<QByteArray> m_styles;
    QByteArray m_drawingGroup;
    std::unique_ptr<TSheetCharts> m_sheetCharts;
};

}
