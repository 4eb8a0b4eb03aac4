#pragma once
// The source memo window: a self-drawn editor for source text on a grid of fixed-pitch cells,
// with gutter, syntax colours, selection, block matching, keyboard and mouse handling.
#include "htmleditor/memo/ZedExport.h"
#include "htmleditor/memo/ZedMemoModel.h"
#include "htmleditor/memo/ZedScanner.h"
#include "platform/graphics/Graphics.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <QRawFont>
#include <QTimer>
#include <functional>

class QMenu;
class TZedCustomMemo;
class TZedAutoform;
class TAutoCompletionListBox;
class TZedHintForm;
namespace tk { class TImageList; }

// The line-number column at the memo's left edge.
class TZedGutter {
public:
    explicit TZedGutter(TZedCustomMemo* memo);

    int DigitCount() const { return m_digitCount; }
    void SetDigitCount(int v);
    QFont Font() const { return m_font; }
    void SetFont(const QFont& f);
    int GutterWidth() const { return m_width; }
    void SetGutterWidth(int v);
    int GutterMargin() const { return m_margin; }
    void SetGutterMargin(int v);
    TColor GutterColor() const { return m_color; }
    void SetGutterColor(TColor v);
    TColor GutterColorTo() const { return m_colorTo; }
    void SetGutterColorTo(TColor v);
    int LineNumberStart() const { return m_lineNumberStart; }
    void SetLineNumberStart(int v);
    TColor LineNumberTextColor() const { return m_lineNumberTextColor; }
    void SetLineNumberTextColor(TColor v);
    TColor ModifiedColorBkg() const { return m_modifiedColorBkg; }
    void SetModifiedColorBkg(TColor v);
    TColor ModifiedColor() const { return m_modifiedColor; }
    void SetModifiedColor(TColor v);
    QString NumberSuffix() const { return m_numberSuffix; }
    void SetNumberSuffix(const QString& v);
    bool ShowLineNumbers() const { return m_showLineNumbers; }
    void SetShowLineNumbers(bool v);
    bool ShowModified() const { return m_showModified; }
    void SetShowModified(bool v);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    bool ShowLeadingZeros() const { return m_showLeadingZeros; }
    void SetShowLeadingZeros(bool v);

    // The text drawn for a line index (LineNumberStart added, zeros, suffix).
    QString NumberText(int lineNo) const;
    // The x position of a line number text inside the gutter.
    int NumberX(const QString& text) const;

private:
    void Repaint();
    TZedCustomMemo* m_memo;
    int m_digitCount = 4;
    QFont m_font;
    int m_width = 45;
    int m_margin = 45;
    TColor m_color = gfx::clBtnFace;
    TColor m_colorTo = gfx::clWhite;
    int m_lineNumberStart = 1;
    TColor m_lineNumberTextColor = gfx::clBlack;
    TColor m_modifiedColorBkg = 0x00FF00;
    TColor m_modifiedColor = 0x00FFFF;
    QString m_numberSuffix;
    bool m_showLineNumbers = true;
    bool m_showModified = false;
    bool m_visible = true;
    bool m_showLeadingZeros = false;
};

class TZedActiveLineSettings {
public:
    explicit TZedActiveLineSettings(TZedCustomMemo* memo) : m_memo(memo) {}
    bool ShowActiveLine() const { return m_showActiveLine; }
    void SetShowActiveLine(bool v);
    bool ShowActiveLineIndicator() const { return m_showIndicator; }
    void SetShowActiveLineIndicator(bool v);
    TColor ActiveLineColor() const { return m_color; }
    void SetActiveLineColor(TColor v);
    bool ActiveLineAtCursor() const { return m_atCursor; }
    void SetActiveLineAtCursor(bool v);
    TColor ActiveLineTextColor() const { return m_textColor; }
    void SetActiveLineTextColor(TColor v);

private:
    TZedCustomMemo* m_memo;
    bool m_showActiveLine = false;
    bool m_showIndicator = false;
    TColor m_color = 0x800000;
    bool m_atCursor = false;
    TColor m_textColor = 0x00FFFF;
};

#define QLY_ZED_COLOR(Name, Default)                                                                                   \
public:                                                                                                              \
    TColor Name() const { return m_##Name; }                                                                         \
    void Set##Name(TColor v)                                                                                         \
    {                                                                                                                \
        if (v != m_##Name) {                                                                                         \
            m_##Name = v;                                                                                            \
            Invalidate();                                                                                            \
        }                                                                                                            \
    }                                                                                                                \
                                                                                                                     \
private:                                                                                                             \
    TColor m_##Name = Default;

class TZedCustomMemo : public QAbstractScrollArea, public TZedMemoModel {
    Q_OBJECT
public:
    explicit TZedCustomMemo(QWidget* parent = nullptr);
    ~TZedCustomMemo() override;

    TZedGutter& Gutter() { return m_gutter; }
    TZedActiveLineSettings& ActiveLineSettings() { return m_activeLineSettings; }

    // The memo font; a proportional font is replaced by the previous one or the system fixed font.
    QFont Font() const { return m_font; }
    void SetFont(const QFont& font);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor c);
    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }

    QLY_ZED_COLOR(BkColor, gfx::clWhite)
    QLY_ZED_COLOR(SelColor, gfx::clWhite)
    QLY_ZED_COLOR(SelBkColor, 0x800000)
    QLY_ZED_COLOR(BreakpointColor, 0x0000FF)
    QLY_ZED_COLOR(BreakpointTextColor, gfx::clWhite)
    QLY_ZED_COLOR(BlockColor, 0xFFFF00)
    QLY_ZED_COLOR(BlockLineColor, gfx::clNone)
    QLY_ZED_COLOR(RightMarginColor, 0xE2E2E2)
public:
    bool ShowRightMargin() const { return m_showRightMargin; }
    void SetShowRightMargin(bool v) { m_showRightMargin = v; Invalidate(); }
    bool HideSelection() const { return m_hideSelection; }
    void SetHideSelection(bool v) { m_hideSelection = v; Invalidate(); }
    TZedBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TZedBorderStyle v);
    bool Ctl3D() const { return m_ctl3D; }
    void SetCtl3D(bool v);
    bool HiddenCaret() const { return m_hiddenCaret; }
    void SetHiddenCaret(bool v) { m_hiddenCaret = v; viewport()->update(); }
    bool WantTab = true;
    // While the vertical thumb is dragged, "Row : " and the row number are shown beside the mouse.
    bool ScrollHint = false;
    // Registers the window for dropped files (OnFileDrop, then loading the file).
    bool AcceptFiles() const { return acceptDrops(); }
    void SetAcceptFiles(bool v)
    {
        setAcceptDrops(v);
        viewport()->setAcceptDrops(v);
    }
    void SetScrollBars(TZedScrollBars value) override;
    void SetActiveLine(int line) override;
    void SetSyntaxStyles(TZedCustomMemoStyler* styler) override;

    // Geometry of the text area inside the viewport.
    QRect TextArea() const;
    int TextLeft() const;
    QRect GutterRect() const;
    // The cell under a viewport point (column and line, clamped to the text).
    TZedPos CellAt(const QPoint& pt) const;
    // The top-left pixel of a cell (column and line of the text).
    QPoint CellOrigin(TZedPos pos) const;

    // Menu shown by a right click in the text area (built on the spot).
    QMenu* CreateContextMenu();

    // --- events ---
    std::function<void(int& key, Qt::KeyboardModifiers shift)> OnKeyDown;
    std::function<void(int& key, Qt::KeyboardModifiers shift)> OnKeyUp;
    std::function<void(QChar& key)> OnKeyPress;
    std::function<void(int lineNo)> OnGutterClick;
    std::function<void(int lineNo)> OnGutterRightClick;
    std::function<void(QPainter* canvas, int lineNo, const QRect& rct)> OnGutterDraw;
    std::function<void(const QString& url)> OnURLClick;
    std::function<void()> OnFind;
    std::function<void()> OnReplace;
    std::function<void()> OnDblClick;
    std::function<void(const QString& fileName, bool& defaultHandler)> OnFileDrop;
    std::function<void(int row, QString& hint)> OnScrollHint;

    // The gutter drawing of one row: marker, bookmark, number, modified bar, indicator.
    void DefaultGutterDraw(QPainter* canvas, int lineNo, const QRect& rct);

    // --- completion and parameter hint ---
    TAutoCompletion& AutoCompletion() { return m_autoCompletion; }
    // Images 0 to 4 become the completion list's kind pictures.
    tk::TImageList* AutoCompletionListImages() const { return m_completionImages; }
    void SetAutoCompletionListImages(tk::TImageList* images);
    int AutoHintParameterDelay() const { return m_hintDelay; }
    void SetAutoHintParameterDelay(int ms);
    TAutoHintParameters AutoHintParameters() const { return m_hintMode; }
    void SetAutoHintParameters(TAutoHintParameters mode);
    TAutoHintParameterPosition AutoHintParameterPosition = hpBelowCode;

    // Ctrl+Space and the completion timer; byTimer uses the caret as the start point.
    void StartCompletion(bool byTimer = false);
    void FilterCompletion(const QString& word);
    void CancelCompletion();
    bool CompletionShowing() const;
    void ShowParameterHint();
    void HideParameterHint();
    TZedAutoform* CompletionForm() const { return m_autoform; }
    TAutoCompletionListBox* CompletionList() const;
    TZedHintForm* HintForm() const { return m_hintForm; }
    QTimer& CompletionTimer() { return m_completionTimer; }
    QTimer& HintTimer() { return m_hintTimer; }

    std::function<void(const QString& token, bool& show)> OnBeforeAutoCompletion;
    // The list may be changed; the kinds are taken from the entries' kind words.
    std::function<void(const QString& token, QStringList& list)> OnGetAutoCompletionList;
    std::function<void()> OnStartAutoCompletion;
    std::function<void(QString& entry)> OnInsertAutoCompletionEntry;
    std::function<void()> OnAutoCompletion;
    std::function<void()> OnCancelAutoCompletion;
    std::function<void(const QString& token, QString& parameterHint, bool& handled)> OnGetParameterHint;
    std::function<void(int x, int y, const QString& value, QString& hint, bool& show)> OnHintForWord;
    std::function<void(int x, int y, const QString& value, QString& hint, bool& show)> OnHintForToken;
    // Published but never raised.
    std::function<void(QStringList& list, int index1, int index2)> OnSortAutoCompletionList;
    std::function<void(int lineNo, const QString& markerText)> OnMarkerAdded;
    std::function<void(int lineNo)> OnMarkerRemoved;

    // --- companions ---
    TPrintOptions& PrintOptions() { return m_printOptions; }
    void SetPrintOptions(const TPrintOptions& options) { m_printOptions.Assign(options); }
    TZedStylerList& StylerList() { return *m_stylerList; }
    // Gutter colours from the desktop theme when the memo is first shown and on theme changes.
    bool AutoThemeAdapt = false;
    void ApplyThemeColors();

    // --- export and printing ---
    QStringList ExportHtml() const;
    QString ExportRtf() const;
    // Draws the lines onto a canvas inside a rectangle, each character advancing by the width of
    // "w" in the canvas font; with PrintLineNumbers each line starts with its number.
    // viaBuffer draws each line into a buffer first and copies it.
    void PrintLines(QPainter* canvas, const QRect& rect, bool viaBuffer = false) const;

protected:
    // view hooks of the model
    void Invalidate() override;
    void InvalidateLines(int from, int to) override;
    void UpdateScrollBars() override;
    void CaretUpdated() override;

    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void MeasureFont();
    void Relayout();
    void PaintGutter(QPainter& p);
    void PaintLine(QPainter& p, int line, int row, LineStartState& state, const class TZedScanner& scanner);
    void PaintBorder(QPainter& p);
    bool HandleKey(int key, Qt::KeyboardModifiers mods);
    void WordMove(bool right, bool shift);
    bool IsWordMoveDelimiter(QChar ch);
    QString UrlAt(int line, int col) const;
    void UrlClick();
    void SelectWordAtCaret();
    // The completion list's key handling; true when the key was used.
    bool CompletionKeyDown(QKeyEvent* e);
    void AcceptCompletion(bool byMouse);
    void CloseCompletion();
    // The word the list is filtered with: the token at the start point after a start by "."
    // or "(", the identifier at the caret otherwise.
    QString CompletionFilterWord() const;
    void EnsureCompletionWindows();

    TAutoCompletion m_autoCompletion;
    tk::TImageList* m_completionImages = nullptr;
    int m_hintDelay = 2500;
    TAutoHintParameters m_hintMode = hpAuto;
    QTimer m_completionTimer;
    QTimer m_hintTimer;
    TZedAutoform* m_autoform = nullptr;
    TZedHintForm* m_hintForm = nullptr;
    TCompletionEntries m_completionEntries;
    bool m_completionByDot = false;
    TZedPos m_completionStart;
    int m_hintLine = -1;
    TPrintOptions m_printOptions;
    TZedStylerList* m_stylerList = nullptr;
    bool m_themeApplied = false;

    TZedGutter m_gutter{this};
    TZedActiveLineSettings m_activeLineSettings{this};
    QFont m_font;
    TColor m_fontColor = gfx::clBlack;
    int m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_marginCharWidth = 8;
    bool m_showRightMargin = true;
    bool m_hideSelection = true;
    TZedBorderStyle m_borderStyle = bsSingle;
    bool m_ctl3D = false;
    bool m_hiddenCaret = false;
    bool m_caretOn = true;
    QTimer m_blink;
    bool m_inScrollUpdate = false;
    bool m_mouseSelecting = false;
    bool m_dragPending = false;
    bool m_ignoreMove = false;
    QString m_wordDelimiters;
    bool m_wordDelimitersValid = false;
    const TZedCustomMemoStyler* m_wordDelimiterStyler = nullptr;
    QMetaObject::Connection m_stylerGone;
    struct FontVariant {
        QFont Font;
        QRawFont Raw;
        bool SamePitch = true;
    };
    // Draws text with one glyph per cell (no shaping); characters the font lacks go through
    // the toolkit's text drawing with its font fallback.
    void DrawCells(QPainter& p, const FontVariant& fv, QStringView text, QPoint origin, int advance);
    FontVariant m_gutterFont;
    // The gutter's colour gradient, drawn once for its size and colours.
    QPixmap m_gutterBack;
    QRgb m_gutterBackFrom = 0, m_gutterBackTo = 0;
    FontVariant m_fonts[16];
    std::vector<TZedPiece> m_pieces;
};

#undef QLY_ZED_COLOR

// The memo with the values the program runs with.
class TZedMemo : public TZedCustomMemo {
    Q_OBJECT
public:
    explicit TZedMemo(QWidget* parent = nullptr);
    // The version number as text; there is nothing to set.
    QString Version() const;
};
