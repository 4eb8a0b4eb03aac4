#pragma once
// The source memo without its window: line list, caret, selection, editing operations, undo
// history, word wrap, block matching and the scanner state cache. The memo window
// (TZedCustomMemo) derives from it and overrides the view hooks.
#include "htmleditor/memo/ZedAssist.h"
#include "htmleditor/memo/ZedMarkers.h"
#include "htmleditor/memo/ZedMemoStrings.h"
#include "htmleditor/memo/ZedStyler.h"
#include "htmleditor/memo/ZedTypes.h"
#include "htmleditor/memo/ZedUndo.h"

#include <QPointer>
#include <functional>
#include <map>

// Modifier keys as the key operations see them.
enum TShiftStateFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = unsigned;

// Scan results kept for a long line: checkpoints to resume scanning near the visible columns,
// and the state at its end.
struct TZedLineScanCache {
    LineStartState Start;
    std::vector<TZedCheckpoint> Points;
    bool EndValid = false;
    LineStartState End;
};

// A matched block word: no mark when Col is below 0.
struct TZedBlockMark {
    int Line = -1;
    int Col = -1;
    int Length = 0;
    bool Valid() const { return Col >= 0; }
};

class TZedMemoChecker;
class TZedMemoSource;

// The keys that end a word while typing.
enum TWordEndKey { wkEnter, wkTab, wkBlank };

// A text found in a line: its first column and the text.
struct TZedWord {
    int Col = 0;
    QString Text;
};

class TZedMemoModel {
public:
    TZedMemoModel();
    virtual ~TZedMemoModel();
    TZedMemoModel(const TZedMemoModel&) = delete;
    TZedMemoModel& operator=(const TZedMemoModel&) = delete;

    // --- lines ---
    TZedMemoStrings& Lines() { return *m_lines; }
    const TZedMemoStrings& Lines() const { return *m_lines; }
    // The Lines setter: clears the list and adds the lines (trailing blanks removed with
    // TrimTrailingSpaces); keeps the undo history.
    void SetLines(const QStringList& lines);
    void SetLinesText(const QString& text) { SetLines(SplitLines(text)); }
    QString LineText(int i) const { return m_lines->Get(i); }

    // --- caret and view position ---
    int CaretCol() const { return m_caretCol; }
    int CaretLine() const { return m_caretLine; }
    TZedPos Caret() const { return {m_caretCol, m_caretLine}; }
    void SetCaretCol(int col);
    void SetCaretLine(int line);
    void SetCaret(TZedPos pos) { SetCaretLine(pos.Line); SetCaretCol(pos.Col); }
    int TopLine() const { return m_topLine; }
    int LeftColumn() const { return m_leftColumn; }
    void SetTopLine(int line);
    void SetLeftColumn(int column);
    int VisibleRows() const { return m_visibleRows; }
    int VisibleCols() const { return m_visibleCols; }
    // The view reports how many whole rows and columns its text area shows.
    void SetVisibleSize(int rows, int cols);
    int LongestLine() const { return m_longestLine; }
    void ScrollCaretIntoView();

    // --- selection ---
    TZedPos SelStartPos() const { return m_selStart; }
    TZedPos SelEndPos() const { return m_selEnd; }
    TZedPos Anchor() const { return m_anchor; }
    bool SelectionEmpty() const { return m_selStart == m_selEnd; }
    // The selection in text order.
    void OrderedSelection(TZedPos& from, TZedPos& to) const;
    void SetSelection(TZedPos start, TZedPos end);
    QString SelText() const;
    int SelStart() const;
    int SelLength() const { return SelText().length(); }
    void SetSelStart(int offset);
    void SetSelLength(int length);
    void SelectAll();
    void ClearSelection();
    void ExtendSelection();
    // Moves the caret as a key move does: with shift the selection grows when the caret stands
    // at the anchor, otherwise the selection is cleared.
    void MoveCaretTo(TZedPos pos, bool shift);

    // Offsets count a hard line break as two characters and a wrap break as none.
    int PosToOffset(TZedPos pos) const;
    TZedPos OffsetToPos(int offset) const;

    // --- editing ---
    void InsertText(const QString& text);
    void InsertChar(QChar ch);
    // One character as the user sees it: a single code unit or a surrogate pair.
    void InsertCharacter(const QString& ch);
    void DeleteChar();
    void Backspace();
    void DeleteWordBack();
    void DeleteLine();
    void NewLine();
    void TabKey(TShiftState shift);
    void DeleteSelection();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    // Typing of one character as the keyboard does it (selection replaced with DelErase).
    void TypeChar(QChar ch);
    void TypeCharacter(const QString& ch);
    void MarkLineModified(int line);
    // The caret column one character left or right of col on the line: a surrogate pair (a
    // character made of two code units) is stepped over whole.
    int CharacterLeft(int line, int col) const;
    int CharacterRight(int line, int col) const;

    // --- undo ---
    void Undo();
    void Redo();
    bool CanUndo() const { return m_undo->CanUndo(); }
    bool CanRedo() const { return m_undo->CanRedo(); }
    void ClearUndo() { m_undo->Clear(); }
    int UndoLimit() const { return m_undo->Limit(); }
    void SetUndoLimit(int limit) { m_undo->SetLimit(limit); }
    bool Modified() const { return m_undo->Count() > 0; }
    void SetModified(bool value);
    TZedUndoList& UndoList() { return *m_undo; }
    void UndoChanged();

    // --- word wrap ---
    TZedWordWrap WordWrap() const { return m_wordWrap; }
    void SetWordWrap(TZedWordWrap value);
    int WrapWidth() const;
    bool WrapActive() const { return m_wordWrap != wwNone && !m_wrapSuspended && WrapWidth() > 0; }
    // A position without wrap breaks (line = hard line).
    TZedPos ToLogical(TZedPos display) const;
    TZedPos LogicalPos(TZedPos display) const { return WrapActive() ? ToLogical(display) : display; }
    // Undo and redo run on the unwrapped text.
    void SuspendWrap();
    void ResumeWrap();
    void Wrap();
    void Unwrap();
    void Rewrap();  // keeps the caret on the same text

    // --- styler ---
    TZedCustomMemoStyler* SyntaxStyles() const { return m_styler.data(); }
    virtual void SetSyntaxStyles(TZedCustomMemoStyler* styler);
    bool UseStyler() const { return m_useStyler && m_styler; }
    void SetUseStyler(bool value) { m_useStyler = value; Invalidate(); }
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool value);
    bool UrlAware() const { return m_urlAware; }
    void SetUrlAware(bool value);
    TCharStyle UrlStyle{gfx::clBlue, gfx::clWhite, fsUnderline};
    // The start state of a line for the scanner (cached every 20 lines and for the top line).
    LineStartState StartStateOfLine(int line);
    // Forgets cached scanner states that depend on text from (fromLine, col) on.
    void InvalidateStates(int fromLine, int col = 0);
    // The scan cache of a long line whose start state is the given one (reset when it differs).
    TZedLineScanCache& LineScanCache(int line, const LineStartState& start);
    static constexpr int LongLine = 4096;

    // --- block matching ---
    bool BlockShow() const { return m_blockShow; }
    void SetBlockShow(bool value) { m_blockShow = value; Invalidate(); }
    TZedBlockMark BlockStartMark() const { return m_blockStart; }
    TZedBlockMark BlockEndMark() const { return m_blockEnd; }
    void MatchBlocks();

    // --- active line ---
    int ActiveLine() const { return m_activeLine; }
    virtual void SetActiveLine(int line) { m_activeLine = line; Invalidate(); }
    bool ActiveLineAtCursor() const { return m_activeLineAtCursor; }
    void SetActiveLineAtCursorFlag(bool value) { m_activeLineAtCursor = value; }

    // --- options ---
    int TabSize() const { return m_tabSize; }
    void SetTabSize(int value) { m_tabSize = qMax(1, value); }
    bool AutoExpand = true;
    bool AutoIndent = true;
    bool DelErase = true;
    bool ReadOnly = false;
    bool SmartTabs = false;
    bool TrimTrailingSpaces = false;
    bool EnhancedHomeKey = false;
    int RightMargin() const { return m_rightMargin; }
    void SetRightMargin(int value);
    TZedScrollMode ScrollMode = smAuto;
    TZedScrollBars ScrollBars() const { return m_scrollBars; }
    virtual void SetScrollBars(TZedScrollBars value) { m_scrollBars = value; }
    bool Overwrite() const { return m_overwrite; }
    void SetOverwrite(bool value) { m_overwrite = value; StatusChanged(); }
    // The Insert key: OnOverwriteToggle may refuse.
    void ToggleOverwrite();
    const TIntList& Bookmarks() const { return m_bookmarks; }
    // Sets bookmark index (0 to 9) to a line (-1: none).
    void SetBookmark(int index, int line)
    {
        if (index >= 0 && index < m_bookmarks.size())
            m_bookmarks[index] = line;
    }
    void RestoreBookmarks(const TIntList& marks) { m_bookmarks = marks; }

    // --- words ---
    // The word at a cell (bounded by IsWordDelimiter) and the token at a cell (IsTokenDelimiter).
    TZedWord WordAt(TZedPos cell) const;
    TZedWord TokenAt(TZedPos cell) const;
    // Around the caret: the word (IsWordDelimiter), the identifier (bounded by blank, "(" and ")").
    TZedWord WordAroundCaret() const;
    TZedWord IdentifierAroundCaret() const;
    // The word left of the caret (IsWordDelimiter on the left).
    TZedWord WordBeforeCaret() const;

    // --- word replacement and checker ---
    TAutoCorrect AutoCorrect;
    std::function<void(const QString& currentWord, QString& newWord)> OnWordComplete;
    TZedMemoChecker* MemoChecker() const { return m_checker; }
    void SetMemoChecker(TZedMemoChecker* checker);
    // Typing Enter, Tab or blank: the word replacement and the checker run on the word the key
    // ends, then the key is handled. A replaced word is one undo step of its own, on top of the key.
    void WordEndKey(TWordEndKey key, TShiftState shift = 0);
    // Replaces a text of the caret line by another, as one undo step (the caret moves by the
    // difference when it stands behind the text).
    void ReplaceInCaretLine(int col, const QString& oldText, const QString& newText);

    // --- markers ---
    TZedMarkerList& MarkerList() { return m_markerList; }
    const TZedMarkerList& MarkerList() const { return m_markerList; }

    // --- shared text ---
    TZedMemoSource* MemoSource() const { return m_source; }
    // Detaches from the old source and attaches to the new one; without a source the memo
    // returns to its own lines and history.
    void SetMemoSource(TZedMemoSource* source);

    // --- events ---
    std::function<void()> OnChange;
    std::function<void()> OnSelectionChange;
    std::function<void()> OnStatusChange;
    std::function<void()> OnCursorChange;
    std::function<void(bool canUndo, bool canRedo)> OnUndoChange;
    std::function<void(int curYPos)> OnActiveLineChange;
    std::function<void(int curXPos)> OnColumnChange;
    std::function<void(bool& allow)> OnOverwriteToggle;
    std::function<void()> OnTopLeftChanged;

    // --- overridable operations ---
    virtual void SelectionChanged();
    virtual void StatusChanged();
    virtual bool IsWordDelimiter(QChar ch) const;
    virtual bool IsTokenDelimiter(QChar ch) const;
    virtual void CaretMoved();
    virtual bool EditAllowed() const { return true; }
    virtual bool IsUrl(const QString& text) const;
    virtual quint32 GetVersionNr() const { return (1u << 24) | (7u << 16); }
    virtual QString GetVersionString() const;

    // Raises OnChange and recomputes the longest line and the scroll bars (notifications on).
    void LinesChanged();
    bool Notifications() const { return m_notify; }
    void SetNotifications(bool on) { m_notify = on; }

    // --- primitives used by the undo records (no recording, no selection handling) ---
    TZedPos RawInsertAt(TZedPos at, const QString& text);
    QString RawDeleteRange(TZedPos from, TZedPos to);
    QString RawTextRange(TZedPos from, TZedPos to) const;

    // Called by the line list.
    void LineListCleared();
    void LineListInserted(int line);
    void LineListDeleted(int line);
    void LineListChanged(int line);
    void LinesLoaded();
    bool Wrapping() const { return m_wrapping; }

protected:
    friend class TZedMemoStrings;
    friend class TZedUndoList;
    friend class TZedMemoSource;
    friend class TZedMemoChecker;

    // The memo now shows other lines (a memo source was attached or left).
    void LinesRebound();

    // View hooks; the window overrides them.
    virtual void Invalidate() {}
    virtual void InvalidateLines(int /*from*/, int /*to*/) { Invalidate(); }
    virtual void UpdateScrollBars() {}
    virtual void CaretUpdated() {}
    virtual void TopLeftChanged();

    void RecordUndo(std::unique_ptr<TUndo> record);
    void EnsureLine();
    void PadLine(int line, int col);
    // True when the next row continues this one (word wrap): such a row is never padded, since
    // blanks there would land inside the paragraph.
    bool RowContinues(int line) const { return line + 1 < m_lines->Count() && m_lines->IsWrapped(line + 1); }
    void TrimLeavingLine(int line);
    void RecomputeLongestLine();
    void AfterTextChange();
    void PlaceCaret(TZedPos pos);
    void PlainBackspace(bool& joined, bool& moved);
    // Upper-case start and end word; empty when the styler has none.
    bool BlockWords(QString& start, QString& end) const;

    // The memo's own lines and history; a memo source puts its own in their place.
    TZedMemoStrings m_ownLines;
    TZedMemoStrings* m_lines = &m_ownLines;
    int m_caretCol = 0;
    int m_caretLine = 0;
    int m_topLine = 0;
    int m_leftColumn = 0;
    int m_visibleRows = 25;
    int m_visibleCols = 80;
    TZedPos m_selStart, m_selEnd, m_anchor;
    int m_longestLine = 0;
    bool m_overwrite = false;
    bool m_notify = true;
    TZedUndoList m_ownUndo{this};
    TZedUndoList* m_undo = &m_ownUndo;
    TZedMarkerList m_markerList{this};
    TZedMemoChecker* m_checker = nullptr;
    TZedMemoSource* m_source = nullptr;
    TIntList m_bookmarks;
    int m_tabSize = 4;
    int m_rightMargin = 80;
    TZedScrollBars m_scrollBars = ssBoth;
    TZedWordWrap m_wordWrap = wwNone;
    bool m_wrapping = false;
    bool m_wrapSuspended = false;
    QPointer<TZedCustomMemoStyler> m_styler;
    bool m_useStyler = true;
    bool m_caseSensitive = false;
    bool m_urlAware = true;
    bool m_blockShow = true;
    TZedBlockMark m_blockStart, m_blockEnd;
    int m_activeLine = -1;
    bool m_activeLineAtCursor = false;
    bool m_destroying = false;
    // Scanner states at line starts: every 20th line, and the top line.
    std::map<int, LineStartState> m_stateCache;
    std::map<int, TZedLineScanCache> m_lineScanCache;
    int m_topStateLine = -1;
    LineStartState m_topState;
};
