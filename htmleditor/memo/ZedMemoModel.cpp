#include "htmleditor/memo/ZedMemoModel.h"

#include "htmleditor/memo/ZedChecker.h"
#include "htmleditor/memo/ZedMemoSource.h"
#include "htmleditor/memo/ZedScanner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>

namespace {

int TrailingBlankStart(const QString& s)
{
    int n = s.length();
    while (n > 0 && s[n - 1] <= QLatin1Char(' '))
        --n;
    return n;
}

int LeadingBlanks(const QString& s, int limit)
{
    int n = 0;
    const int max = std::min<int>(limit, s.length());
    while (n < max && s[n] == QLatin1Char(' '))
        ++n;
    return n;
}

// Line breaks of any kind become CR LF.
QString NormaliseBreaks(const QString& text)
{
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString r;
    r.reserve(text.size() + 16);
    for (int i = 0; i < text.length(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            r += QStringLiteral("\r\n");
            if (c == QLatin1Char('\r') && i + 1 < text.length() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            r += c;
        }
    }
    return r;
}

// Splits at line breaks, keeping a last empty part after a final break.
QStringList SplitKeepEmpty(const QString& text)
{
    QStringList parts;
    int start = 0;
    const int n = text.length();
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            parts << text.mid(start, i - start);
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

}  // namespace

TZedMemoModel::TZedMemoModel() : m_ownLines(this), m_bookmarks(10, -1)
{
    m_ownLines.RawInsert(0, QString());
}

TZedMemoModel::~TZedMemoModel()
{
    m_destroying = true;
    if (m_checker && m_checker->m_memo == this)
        m_checker->m_memo = nullptr;
    if (m_source) {
        if (m_source->m_memo == this)
            m_source->AttachMemo(nullptr);
        m_source->m_users.erase(std::remove(m_source->m_users.begin(), m_source->m_users.end(), this),
                                m_source->m_users.end());
    }
    m_ownUndo.Clear(false);
    if (m_styler && m_styler->AllStyles.Memo == this)
        m_styler->AllStyles.Memo = nullptr;
}

// ---------------------------------------------------------------------------------------------
// lines

void TZedMemoModel::SetLines(const QStringList& lines)
{
    m_lines->Assign(lines);
    SelectionChanged();
    Invalidate();
}

void TZedMemoModel::LinesLoaded()
{
    EnsureLine();
    m_caretCol = m_caretLine = 0;
    m_topLine = m_leftColumn = 0;
    m_selStart = m_selEnd = m_anchor = TZedPos{};
    m_blockStart = m_blockEnd = TZedBlockMark{};
    InvalidateStates(-1);
    if (WrapActive())
        Wrap();
    const bool notify = m_notify;
    m_notify = true;
    LinesChanged();
    m_notify = notify;
    UpdateScrollBars();
    StatusChanged();
    CaretUpdated();
}

void TZedMemoModel::LineListCleared()
{
    m_caretCol = m_caretLine = 0;
    m_selStart = m_selEnd = m_anchor = TZedPos{};
    InvalidateStates(-1);
    LinesChanged();
}

void TZedMemoModel::LineListInserted(int line)
{
    for (int& b : m_bookmarks)
        if (b >= line)
            ++b;
    SetCaretLine(m_caretLine);
    LinesChanged();
}

void TZedMemoModel::LineListDeleted(int line)
{
    const TZedPos old = Caret();
    m_caretLine = line;
    m_caretCol = 0;
    DeleteLine();
    TZedPos back = old;
    if (old.Line > line)
        --back.Line;
    back.Line = std::clamp(back.Line, 0, m_lines->Count() - 1);
    if (m_lines->Count() == 1)
        back.Col = 0;
    PlaceCaret(back);
}

void TZedMemoModel::LineListChanged(int line)
{
    InvalidateStates(line);
    LinesChanged();
}

void TZedMemoModel::EnsureLine()
{
    if (m_lines->Count() == 0)
        m_lines->RawInsert(0, QString());
    if (m_caretLine >= m_lines->Count())
        m_caretLine = m_lines->Count() - 1;
}

void TZedMemoModel::PadLine(int line, int col)
{
    if (line < 0 || line >= m_lines->Count())
        return;
    QString& s = m_lines->RawLine(line);
    if (s.length() < col) {
        const int old = s.length();
        s += QString(col - s.length(), QLatin1Char(' '));
        InvalidateStates(line, old);
    }
}

void TZedMemoModel::TrimLeavingLine(int line)
{
    if (line < 0 || line >= m_lines->Count())
        return;
    if (line + 1 < m_lines->Count() && m_lines->IsWrapped(line + 1))
        return;
    QString& s = m_lines->RawLine(line);
    const int n = TrailingBlankStart(s);
    if (n < s.length()) {
        s.truncate(n);
        InvalidateStates(line, n);
        InvalidateLines(line, line);
    }
}

void TZedMemoModel::RecomputeLongestLine()
{
    int longest = 0;
    for (const QString& s : m_lines->Strings())
        longest = std::max<int>(longest, s.length());
    m_longestLine = longest;
}

void TZedMemoModel::LinesChanged()
{
    if (!m_notify)
        return;
    RecomputeLongestLine();
    UpdateScrollBars();
    if (OnChange)
        OnChange();
    Invalidate();
}

void TZedMemoModel::MarkLineModified(int line)
{
    if (TLineProp* p = m_lines->Props(line))
        p->Modified = true;
}

// ---------------------------------------------------------------------------------------------
// caret and scrolling

void TZedMemoModel::SetCaretCol(int col)
{
    EnsureLine();
    if (col < 0) {
        if (m_caretLine > 0) {
            TrimLeavingLine(m_caretLine);
            --m_caretLine;
            col = m_lines->Get(m_caretLine).length();
        } else {
            col = 0;
        }
    }
    const int len = m_lines->Get(m_caretLine).length();
    if (col > len) {
        if (AutoExpand && !RowContinues(m_caretLine))
            PadLine(m_caretLine, col);
        else
            col = len;
    }
    m_caretCol = col;
    if (col > m_longestLine) {
        m_longestLine = col;
        if (col > m_leftColumn + m_visibleCols - 1 && !WrapActive()) {
            m_leftColumn = std::max(0, col - m_visibleCols + 1);
            TopLeftChanged();
        }
    }
    ScrollCaretIntoView();
    UpdateScrollBars();
    StatusChanged();
    CaretUpdated();
    CaretMoved();
    if (OnColumnChange)
        OnColumnChange(m_caretCol);
}

void TZedMemoModel::SetCaretLine(int line)
{
    EnsureLine();
    line = std::clamp(line, 0, m_lines->Count() - 1);
    if (m_activeLineAtCursor)
        SetActiveLine(line);
    const bool changed = line != m_caretLine;
    if (changed)
        TrimLeavingLine(m_caretLine);
    m_caretLine = line;
    int col = m_caretCol;
    const int len = m_lines->Get(line).length();
    if (col > len) {
        if (AutoExpand && !RowContinues(line))
            PadLine(line, col);
        else
            col = len;
    }
    m_caretCol = col;
    ScrollCaretIntoView();
    UpdateScrollBars();
    StatusChanged();
    CaretUpdated();
    if (changed)
        CaretMoved();
    if (m_activeLineAtCursor && OnActiveLineChange)
        OnActiveLineChange(line);
}

void TZedMemoModel::PlaceCaret(TZedPos pos)
{
    EnsureLine();
    m_caretLine = std::clamp(pos.Line, 0, m_lines->Count() - 1);
    int col = std::max(0, pos.Col);
    const int len = m_lines->Get(m_caretLine).length();
    if (col > len) {
        if (AutoExpand && !RowContinues(m_caretLine))
            PadLine(m_caretLine, col);
        else
            col = len;
    }
    m_caretCol = col;
    if (m_activeLineAtCursor && m_activeLine != m_caretLine)
        SetActiveLine(m_caretLine);
    ScrollCaretIntoView();
    UpdateScrollBars();
    StatusChanged();
    CaretUpdated();
    CaretMoved();
}

void TZedMemoModel::ScrollCaretIntoView()
{
    const int rows = std::max(1, m_visibleRows);
    const int cols = std::max(1, m_visibleCols);
    bool changed = false;
    if (m_caretCol < m_leftColumn) {
        m_leftColumn = std::max(0, m_caretCol - 2);
        changed = true;
    }
    if (m_caretCol > m_leftColumn + cols - 1) {
        if (ScrollMode == smStrict && m_scrollBars != ssHorizontal && m_scrollBars != ssBoth) {
            m_caretCol = m_leftColumn + cols - 1;
        } else {
            m_leftColumn = std::max(0, m_caretCol - cols + 3);
            changed = true;
        }
    }
    if (m_caretLine < m_topLine) {
        m_topLine = m_caretLine;
        changed = true;
    }
    if (m_caretLine > m_topLine + rows - 1) {
        if (ScrollMode == smStrict && m_scrollBars != ssVertical && m_scrollBars != ssBoth) {
            m_caretLine = m_topLine + rows - 1;
        } else {
            m_topLine += m_caretLine - (m_topLine + rows - 1);
            changed = true;
        }
    }
    if (changed) {
        TopLeftChanged();
        Invalidate();
    }
}

void TZedMemoModel::SetTopLine(int line)
{
    const int count = m_lines->Count();
    const int rows = std::max(1, m_visibleRows);
    int top = std::max(0, line);
    if (top > count - rows)
        top = std::max(0, count - rows / 2);
    if (top != m_topLine) {
        m_topLine = top;
        UpdateScrollBars();
        TopLeftChanged();
        Invalidate();
    }
}

void TZedMemoModel::SetLeftColumn(int column)
{
    column = std::max(0, column);
    if (column == m_leftColumn)
        return;
    m_leftColumn = column;
    UpdateScrollBars();
    Invalidate();
    TopLeftChanged();
}

void TZedMemoModel::TopLeftChanged()
{
    if (OnTopLeftChanged)
        OnTopLeftChanged();
}

void TZedMemoModel::SetVisibleSize(int rows, int cols)
{
    rows = std::max(0, rows);
    cols = std::max(0, cols);
    if (rows == m_visibleRows && cols == m_visibleCols)
        return;
    const bool colsChanged = cols != m_visibleCols;
    m_visibleRows = rows;
    m_visibleCols = cols;
    if (colsChanged && m_wordWrap != wwNone)
        Rewrap();
    UpdateScrollBars();
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// selection and offsets

void TZedMemoModel::OrderedSelection(TZedPos& from, TZedPos& to) const
{
    from = m_selStart;
    to = m_selEnd;
    if (to < from)
        std::swap(from, to);
}

void TZedMemoModel::SetSelection(TZedPos start, TZedPos end)
{
    m_selStart = start;
    m_selEnd = end;
    m_anchor = end;
    SelectionChanged();
    Invalidate();
}

QString TZedMemoModel::RawTextRange(TZedPos from, TZedPos to) const
{
    const int count = m_lines->Count();
    if (count == 0 || from.Line >= count || !(from < to))
        return QString();
    if (to.Line >= count)
        to = TZedPos{int(m_lines->Get(count - 1).length()), count - 1};
    if (from.Line == to.Line) {
        const QString& s = m_lines->Strings()[from.Line];
        const int a = std::min<int>(from.Col, s.length());
        const int b = std::min<int>(to.Col, s.length());
        return b > a ? s.mid(a, b - a) : QString();
    }
    const QString& first = m_lines->Strings()[from.Line];
    QString r = from.Col < first.length() ? first.mid(from.Col) : QString();
    for (int l = from.Line + 1; l <= to.Line; ++l) {
        if (!m_lines->IsWrapped(l))
            r += QStringLiteral("\r\n");
        const QString& s = m_lines->Strings()[l];
        r += (l == to.Line) ? s.left(to.Col) : s;
    }
    return r;
}

QString TZedMemoModel::SelText() const
{
    TZedPos from, to;
    OrderedSelection(from, to);
    return RawTextRange(from, to);
}

int TZedMemoModel::PosToOffset(TZedPos pos) const
{
    const int count = m_lines->Count();
    if (count == 0)
        return 0;
    const int line = std::clamp(pos.Line, 0, count - 1);
    int off = 0;
    const QStringList& lines = m_lines->Strings();
    for (int l = 0; l < line; ++l) {
        off += lines[l].length();
        if (!m_lines->IsWrapped(l + 1))
            off += 2;
    }
    return off + std::clamp<int>(pos.Col, 0, lines[line].length());
}

TZedPos TZedMemoModel::OffsetToPos(int offset) const
{
    const int count = m_lines->Count();
    if (count == 0 || offset <= 0)
        return {};
    const QStringList& lines = m_lines->Strings();
    int off = offset;
    for (int l = 0; l < count; ++l) {
        const int len = lines[l].length();
        const bool nextWrapped = l + 1 < count && m_lines->IsWrapped(l + 1);
        if (off < len || (off == len && !nextWrapped) || l + 1 == count)
            return {std::min(off, len), l};
        if (nextWrapped) {
            off -= len;
        } else {
            if (off < len + 2)
                return {len, l};
            off -= len + 2;
        }
    }
    return {int(lines[count - 1].length()), count - 1};
}

int TZedMemoModel::SelStart() const
{
    TZedPos from, to;
    OrderedSelection(from, to);
    return PosToOffset(from);
}

void TZedMemoModel::SetSelStart(int offset)
{
    const TZedPos p = OffsetToPos(offset);
    SetCaretCol(p.Col);
    SetCaretLine(p.Line);
    SetCaretCol(p.Col);
    m_selStart = m_selEnd = m_anchor = Caret();
    SelectionChanged();
    Invalidate();
}

void TZedMemoModel::SetSelLength(int length)
{
    TZedPos from, to;
    OrderedSelection(from, to);
    const TZedPos end = OffsetToPos(PosToOffset(from) + std::max(0, length));
    m_selStart = from;
    m_selEnd = end;
    PlaceCaret(end);
    m_anchor = Caret();
    SelectionChanged();
    Invalidate();
}

void TZedMemoModel::SelectAll()
{
    EnsureLine();
    const int last = m_lines->Count() - 1;
    m_selStart = TZedPos{};
    m_selEnd = TZedPos{int(m_lines->Get(last).length()), last};
    m_anchor = m_selEnd;
    SelectionChanged();
    Invalidate();
}

void TZedMemoModel::ClearSelection()
{
    const bool had = !SelectionEmpty();
    m_selStart = m_selEnd = m_anchor = Caret();
    if (had) {
        SelectionChanged();
        Invalidate();
    }
}

void TZedMemoModel::ExtendSelection()
{
    m_selEnd = m_anchor = Caret();
    SelectionChanged();
    Invalidate();
}

namespace {
// Whether col lies between the two code units of a surrogate pair.
bool InsidePair(const QString& line, int col)
{
    return col > 0 && col < line.length() && line[col - 1].isHighSurrogate() && line[col].isLowSurrogate();
}
}

void TZedMemoModel::MoveCaretTo(TZedPos pos, bool shift)
{
    const bool atAnchor = Caret() == m_anchor;
    // The caret never stands inside a character made of two code units.
    if (pos.Line >= 0 && pos.Line < m_lines->Count() && InsidePair(m_lines->Get(pos.Line), pos.Col))
        --pos.Col;
    if (pos.Line != m_caretLine) {
        // The target column goes with the line, so the new line is padded no further than needed.
        m_caretCol = std::max(0, pos.Col);
        SetCaretLine(pos.Line);
    }
    SetCaretCol(pos.Col);
    if (shift && atAnchor)
        ExtendSelection();
    else
        ClearSelection();
}

// ---------------------------------------------------------------------------------------------
// primitives

TZedPos TZedMemoModel::RawInsertAt(TZedPos at, const QString& rawText)
{
    EnsureLine();
    const QString text = m_lines->ExpandTabs(rawText);
    at.Line = std::clamp(at.Line, 0, m_lines->Count() - 1);
    at.Col = std::max(0, at.Col);
    const bool wrap = WrapActive() && !m_wrapping;
    if (wrap) {
        const int off = PosToOffset(at);
        Unwrap();
        at = OffsetToPos(off);
    }
    PadLine(at.Line, at.Col);
    const QStringList parts = SplitKeepEmpty(text);
    QString& line = m_lines->RawLine(at.Line);
    TZedPos end;
    if (parts.size() == 1) {
        line.insert(at.Col, parts[0]);
        end = TZedPos{at.Col + int(parts[0].length()), at.Line};
        InvalidateStates(at.Line, at.Col);
    } else {
        const QString tail = line.mid(at.Col);
        line.truncate(at.Col);
        line += parts[0];
        QStringList rest = parts.mid(1);
        rest.last() += tail;
        m_lines->RawInsertLines(at.Line + 1, rest);
        end = TZedPos{int(parts.last().length()), at.Line + int(parts.size()) - 1};
        InvalidateStates(at.Line, at.Col);
    }
    if (wrap) {
        const int off = PosToOffset(end);
        Wrap();
        end = OffsetToPos(off);
    }
    return end;
}

QString TZedMemoModel::RawDeleteRange(TZedPos from, TZedPos to)
{
    if (to < from)
        std::swap(from, to);
    const int count = m_lines->Count();
    if (count == 0 || from.Line >= count)
        return QString();
    if (to.Line >= count)
        to = TZedPos{int(m_lines->Get(count - 1).length()), count - 1};
    const bool wrap = WrapActive() && !m_wrapping;
    if (wrap) {
        const int a = PosToOffset(from);
        const int b = PosToOffset(to);
        Unwrap();
        from = OffsetToPos(a);
        to = OffsetToPos(b);
    }
    const QString text = RawTextRange(from, to);
    const QString& last = m_lines->Strings()[to.Line];
    const QString tail = to.Col < last.length() ? last.mid(to.Col) : QString();
    QString& first = m_lines->RawLine(from.Line);
    if (first.length() > from.Col)
        first.truncate(from.Col);
    first += tail;
    if (to.Line > from.Line)
        m_lines->RawDelete(from.Line + 1, to.Line - from.Line);
    InvalidateStates(from.Line, from.Col);
    if (wrap)
        Wrap();
    return text;
}

// ---------------------------------------------------------------------------------------------
// editing

void TZedMemoModel::RecordUndo(std::unique_ptr<TUndo> record)
{
    // Records keep positions in the unwrapped text, so a later change of the wrap width does
    // not move them: the editing operations give the positions from before the edit already
    // converted (LogicalPos), the after-position is converted here.
    record->After = LogicalPos(record->After);
    m_undo->Add(std::move(record));
}

TZedPos TZedMemoModel::ToLogical(TZedPos p) const
{
    const int count = m_lines->Count();
    if (count == 0)
        return {};
    if (m_wordWrap == wwNone || m_wrapSuspended)
        return p;
    p.Line = std::clamp(p.Line, 0, count - 1);
    int line = -1;
    for (int l = 0; l <= p.Line; ++l)
        if (!m_lines->IsWrapped(l))
            ++line;
    int col = p.Col;
    for (int l = p.Line; l > 0 && m_lines->IsWrapped(l); --l)
        col += m_lines->Get(l - 1).length();
    return TZedPos{col, std::max(0, line)};
}

void TZedMemoModel::SuspendWrap()
{
    if (!WrapActive())
        return;
    const int off = PosToOffset(Caret());
    const int selA = PosToOffset(m_selStart);
    const int selB = PosToOffset(m_selEnd);
    const int anchor = PosToOffset(m_anchor);
    Unwrap();
    m_wrapSuspended = true;
    const TZedPos caret = OffsetToPos(off);
    m_caretLine = caret.Line;
    m_caretCol = caret.Col;
    m_selStart = OffsetToPos(selA);
    m_selEnd = OffsetToPos(selB);
    m_anchor = OffsetToPos(anchor);
}

void TZedMemoModel::ResumeWrap()
{
    if (!m_wrapSuspended)
        return;
    m_wrapSuspended = false;
    Rewrap();
}

void TZedMemoModel::InsertText(const QString& rawText)
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        InsertText(rawText);
        ResumeWrap();
        return;
    }
    if (!SelectionEmpty())
        DeleteSelection();
    EnsureLine();
    const QString text = m_lines->ExpandTabs(NormaliseBreaks(rawText));
    if (text.isEmpty())
        return;
    const TZedPos before = Caret();
    const TZedPos beforeL = LogicalPos(before);
    const bool notify = m_notify;
    m_notify = false;
    const TZedPos end = RawInsertAt(before, text);
    m_notify = notify;
    PlaceCaret(end);
    ClearSelection();
    RecordUndo(std::make_unique<TPasteUndo>(beforeL, Caret(), text));
    LinesChanged();
}

int TZedMemoModel::CharacterLeft(int line, int col) const
{
    const QString s = line >= 0 && line < m_lines->Count() ? m_lines->Get(line) : QString();
    return InsidePair(s, col - 1) ? col - 2 : col - 1;
}

int TZedMemoModel::CharacterRight(int line, int col) const
{
    const QString s = line >= 0 && line < m_lines->Count() ? m_lines->Get(line) : QString();
    return InsidePair(s, col + 1) ? col + 2 : col + 1;
}

void TZedMemoModel::InsertChar(QChar ch)
{
    InsertCharacter(QString(ch));
}

void TZedMemoModel::InsertCharacter(const QString& ch)
{
    if (!EditAllowed() || ReadOnly || ch.isEmpty())
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        InsertCharacter(ch);
        ResumeWrap();
        return;
    }
    EnsureLine();
    const TZedPos before = Caret();
    const TZedPos beforeL = LogicalPos(before);
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    PadLine(cl, cc);
    QString& line = m_lines->RawLine(cl);
    std::unique_ptr<TUndo> record;
    int advance = int(ch.length());
    if (ch == QLatin1String("\t")) {
        advance = m_tabSize;
        if (m_overwrite) {
            const QString old = line.mid(cc, m_tabSize);
            PadLine(cl, cc + m_tabSize);
            const QString now = m_lines->Get(cl).mid(cc, m_tabSize);
            if (now != old)
                record = std::make_unique<TOverwriteUndo>(beforeL, beforeL, now, old);
        } else {
            const QString blanks(m_tabSize, QLatin1Char(' '));
            line.insert(cc, blanks);
            record = std::make_unique<TInsertCharUndo>(beforeL, beforeL, blanks);
        }
    } else if (m_overwrite) {
        // the character under the caret goes whole (both units of a pair)
        const int oldLength = cc >= line.length() ? 0 : InsidePair(line, cc + 1) ? 2 : 1;
        const QString old = line.mid(cc, oldLength);
        line.replace(cc, oldLength, ch);
        record = std::make_unique<TOverwriteUndo>(beforeL, beforeL, ch, old);
    } else {
        line.insert(cc, ch);
        record = std::make_unique<TInsertCharUndo>(beforeL, beforeL, ch);
    }
    InvalidateStates(cl, cc);
    if (WrapActive()) {
        const int off = PosToOffset(before) + advance;
        Rewrap();
        PlaceCaret(OffsetToPos(off));
    } else {
        PlaceCaret(TZedPos{cc + advance, cl});
    }
    ClearSelection();
    if (record) {
        record->After = Caret();
        RecordUndo(std::move(record));
    }
    LinesChanged();
}

void TZedMemoModel::TypeChar(QChar ch)
{
    TypeCharacter(QString(ch));
}

void TZedMemoModel::TypeCharacter(const QString& ch)
{
    if (ReadOnly || !EditAllowed())
        return;
    if (DelErase && !SelectionEmpty())
        DeleteSelection();
    InsertCharacter(ch);
    MarkLineModified(m_caretLine);
    Invalidate();
}

void TZedMemoModel::DeleteChar()
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        DeleteChar();
        ResumeWrap();
        return;
    }
    EnsureLine();
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    const int len = m_lines->Get(cl).length();
    TZedPos to;
    if (cc < len)
        to = TZedPos{CharacterRight(cl, cc), cl};
    else if (cl + 1 < m_lines->Count())
        to = m_lines->IsWrapped(cl + 1) ? OffsetToPos(PosToOffset(Caret()) + 1) : TZedPos{0, cl + 1};
    else
        return;
    const TZedPos from = Caret();
    const TZedPos fromL = LogicalPos(from);
    const int off = PosToOffset(from);
    const QString text = RawDeleteRange(from, to);
    if (text.isEmpty())
        return;
    PlaceCaret(WrapActive() ? OffsetToPos(off) : from);
    RecordUndo(std::make_unique<TDeleteCharUndo>(fromL, Caret(), text, false));
    LinesChanged();
}

void TZedMemoModel::PlainBackspace(bool& joined, bool& moved)
{
    joined = moved = false;
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    if (cc == 0 && cl == 0)
        return;
    TZedPos from;
    const TZedPos to = Caret();
    if (cc > 0) {
        from = TZedPos{std::max(0, CharacterLeft(cl, cc)), cl};
    } else if (WrapActive() && m_lines->IsWrapped(cl)) {
        from = OffsetToPos(std::max(0, PosToOffset(to) - 1));
        if (from.Line == cl)  // the head line is empty: step back to its end
            from = TZedPos{std::max(0, int(m_lines->Get(cl - 1).length()) - 1), cl - 1};
    } else {
        from = TZedPos{int(m_lines->Get(cl - 1).length()), cl - 1};
        joined = true;
    }
    const int off = PosToOffset(from);
    const TZedPos toL = LogicalPos(to);
    const QString text = RawDeleteRange(from, to);
    if (text.isEmpty()) {
        joined = false;
        return;
    }
    moved = true;
    if (joined && m_markerList.Markers().MarkerBelowLine(cl))
        m_markerList.Markers().MoveUp(cl);
    PlaceCaret(WrapActive() ? OffsetToPos(off) : from);
    RecordUndo(std::make_unique<TDeleteCharUndo>(toL, Caret(), text, true));
}

void TZedMemoModel::Backspace()
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        Backspace();
        ResumeWrap();
        return;
    }
    EnsureLine();
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    const QString line = m_lines->Get(cl);
    if (SmartTabs && cc > 0 && LeadingBlanks(line, cc) >= cc) {
        // Unindent to the indentation of the closest previous line that starts left of the caret.
        int target = 0;
        for (int l = cl - 1; l >= 0; --l) {
            const QString& s = m_lines->Strings()[l];
            const int indent = LeadingBlanks(s, s.length());
            if (indent < s.length() && indent < cc) {
                target = indent;
                break;
            }
        }
        const TZedPos before = Caret();
        const TZedPos beforeL = LogicalPos(before);
        const QString text = RawDeleteRange(TZedPos{target, cl}, before);
        PlaceCaret(TZedPos{target, cl});
        if (!text.isEmpty())
            RecordUndo(std::make_unique<TDeleteCharUndo>(beforeL, Caret(), text, true));
        LinesChanged();
        return;
    }
    bool joined, moved;
    PlainBackspace(joined, moved);
    if (moved)
        LinesChanged();
}

void TZedMemoModel::DeleteWordBack()
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        DeleteWordBack();
        ResumeWrap();
        return;
    }
    EnsureLine();
    bool any = false;
    for (;;) {
        bool joined, moved;
        PlainBackspace(joined, moved);
        any = any || moved;
        if (!moved || joined || m_caretCol == 0)
            break;
        const QString& s = m_lines->Strings()[m_caretLine];
        if (m_caretCol <= s.length() && s[m_caretCol - 1] == QLatin1Char(' '))
            break;
    }
    if (any)
        LinesChanged();
}

void TZedMemoModel::DeleteLine()
{
    if (!EditAllowed() || ReadOnly)
        return;
    EnsureLine();
    const TZedPos before = Caret();
    const TZedPos beforeL = LogicalPos(before);
    const int cl = m_caretLine;
    const int count = m_lines->Count();
    const QString text = m_lines->Get(cl);
    if (WrapActive() && (m_lines->IsWrapped(cl) || (cl + 1 < count && m_lines->IsWrapped(cl + 1)))) {
        // One row of a wrapped paragraph: its text goes, the paragraph is wrapped again.
        const TZedPos from{0, cl};
        const TZedPos to{int(text.length()), cl};
        const TZedPos fromL = LogicalPos(from);
        const TZedPos toL = LogicalPos(to);
        const int off = PosToOffset(from);
        const QString removed = RawDeleteRange(from, to);
        PlaceCaret(OffsetToPos(off));
        ClearSelection();
        RecordUndo(std::make_unique<TDeleteBufUndo>(beforeL, Caret(), removed, fromL, toL));
        LinesChanged();
        return;
    }
    // The line's marker goes with it; the markers below keep their lines.
    m_markerList.Markers().RemoveFromLine(cl);
    if (count > 1)
        m_markerList.Markers().MoveUp(cl + 1);
    TDeleteLineUndo::Kind kind;
    TZedPos after;
    if (count == 1) {
        kind = TDeleteLineUndo::Only;
        m_lines->RawLine(0).clear();
        InvalidateStates(0);
        after = TZedPos{0, 0};
    } else if (cl == count - 1) {
        kind = TDeleteLineUndo::Last;
        m_lines->RawDelete(cl);
        after = TZedPos{0, cl - 1};
    } else {
        kind = TDeleteLineUndo::Inner;
        m_lines->RawDelete(cl);
        after = TZedPos{0, cl};
    }
    for (int& b : m_bookmarks)
        if (b > cl || (b == cl && b > 0))
            --b;
    PlaceCaret(after);
    ClearSelection();
    RecordUndo(std::make_unique<TDeleteLineUndo>(beforeL, Caret(), text, beforeL.Line, kind));
    LinesChanged();
}

void TZedMemoModel::NewLine()
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        NewLine();
        ResumeWrap();
        return;
    }
    EnsureLine();
    const TZedPos before = Caret();
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    if (m_markerList.Markers().MarkerBelowLine(cl))
        m_markerList.Markers().MoveDown(cl);
    PadLine(cl, cc);
    const QString line = m_lines->Get(cl);
    const QString indent = AutoIndent ? QString(LeadingBlanks(line, cc), QLatin1Char(' ')) : QString();
    QString head = line.left(cc);
    QString tail = line.mid(cc);
    auto record = std::make_unique<TInsertCharUndo>(LogicalPos(before), before, QStringLiteral("\r") + indent);
    const int headEnd = TrailingBlankStart(head);
    record->HeadTrim = head.mid(headEnd);
    head.truncate(headEnd);
    const int tailEnd = TrailingBlankStart(tail);
    record->TailTrim = tail.mid(tailEnd);
    tail.truncate(tailEnd);
    if (AutoIndent) {
        const int lead = LeadingBlanks(tail, tail.length());
        record->LeadTrim = tail.left(lead);
        tail.remove(0, lead);
    }
    m_lines->RawLine(cl) = head;
    m_lines->RawInsert(cl + 1, indent + tail);
    InvalidateStates(cl);
    if (WrapActive()) {
        const int off = PosToOffset(TZedPos{int(indent.length()), cl + 1});
        Rewrap();
        PlaceCaret(OffsetToPos(off));
    } else {
        PlaceCaret(TZedPos{int(indent.length()), cl + 1});
    }
    ClearSelection();
    record->After = Caret();
    RecordUndo(std::move(record));
    LinesChanged();
}

void TZedMemoModel::TabKey(TShiftState shift)
{
    if (!EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        TabKey(shift);
        ResumeWrap();
        return;
    }
    EnsureLine();
    const int cl = m_caretLine;
    const int cc = m_caretCol;
    if (SmartTabs && m_lines->Count() > 0 && !(shift & (ssShift | ssCtrl))) {
        for (int l = cl - 1; l >= 0; --l) {
            const QString& s = m_lines->Strings()[l];
            if (s.length() <= cc)
                continue;
            int k = cc;
            while (k < s.length() && s[k] != QLatin1Char(' '))
                ++k;
            while (k < s.length() && s[k] == QLatin1Char(' '))
                ++k;
            if (k >= s.length() || k <= cc)
                break;
            const TZedPos before = LogicalPos(Caret());
            const QString blanks(k - cc, QLatin1Char(' '));
            PadLine(cl, cc);
            m_lines->RawLine(cl).insert(cc, blanks);
            InvalidateStates(cl);
            PlaceCaret(TZedPos{k, cl});
            ClearSelection();
            RecordUndo(std::make_unique<TInsertCharUndo>(before, Caret(), blanks));
            LinesChanged();
            return;
        }
    }
    if (shift & ssCtrl)
        return;
    if (shift & ssShift) {
        MoveCaretTo(TZedPos{std::max(0, cc - m_tabSize), cl}, false);
        return;
    }
    InsertChar(QLatin1Char('\t'));
}

void TZedMemoModel::DeleteSelection()
{
    if (SelectionEmpty() || !EditAllowed() || ReadOnly)
        return;
    if (WrapActive()) {  // edits run on the unwrapped text, which is wrapped again afterwards
        SuspendWrap();
        DeleteSelection();
        ResumeWrap();
        return;
    }
    TZedPos from, to;
    OrderedSelection(from, to);
    const int count = m_lines->Count();
    if (from.Line >= count) {
        m_selStart = m_selEnd = m_anchor = Caret();
        return;
    }
    if (to.Line >= count)
        to = TZedPos{int(m_lines->Get(count - 1).length()), count - 1};
    from.Col = std::min<int>(from.Col, m_lines->Get(from.Line).length());
    to.Col = std::min<int>(to.Col, m_lines->Get(to.Line).length());
    const TZedPos before = LogicalPos(Caret());
    const TZedPos fromL = LogicalPos(from);
    const TZedPos toL = LogicalPos(to);
    const int off = PosToOffset(from);
    const bool notify = m_notify;
    m_notify = false;
    const QString text = RawDeleteRange(from, to);
    if (TrimTrailingSpaces) {
        QString& s = m_lines->RawLine(from.Line);
        s.truncate(std::max(TrailingBlankStart(s), from.Col));
    }
    m_notify = notify;
    PlaceCaret(WrapActive() ? OffsetToPos(off) : from);
    ClearSelection();
    RecordUndo(std::make_unique<TDeleteBufUndo>(before, Caret(), text, fromL, toL));
    LinesChanged();
}

void TZedMemoModel::CopyToClipboard()
{
    if (!EditAllowed())
        return;
    if (QClipboard* cb = QGuiApplication::clipboard())
        cb->setText(SelText());
}

void TZedMemoModel::CutToClipboard()
{
    if (!EditAllowed() || ReadOnly)
        return;
    CopyToClipboard();
    DeleteSelection();
    MarkLineModified(m_caretLine);
}

void TZedMemoModel::PasteFromClipboard()
{
    if (!EditAllowed() || ReadOnly)
        return;
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb)
        return;
    const QMimeData* mime = cb->mimeData();
    if (!mime || !mime->hasText())
        return;
    const QString text = NormaliseBreaks(cb->text());
    if (text.isEmpty())
        return;
    const int first = std::min(m_caretLine, SelectionEmpty() ? m_caretLine : std::min(m_selStart.Line, m_selEnd.Line));
    InsertText(text);
    for (int l = first; l <= m_caretLine; ++l)
        MarkLineModified(l);
    ClearSelection();
}

void TZedMemoModel::ToggleOverwrite()
{
    bool allow = true;
    if (OnOverwriteToggle)
        OnOverwriteToggle(allow);
    if (allow)
        SetOverwrite(!m_overwrite);
}

// ---------------------------------------------------------------------------------------------
// undo

void TZedMemoModel::Undo()
{
    m_undo->Undo();
}

void TZedMemoModel::Redo()
{
    m_undo->Redo();
    Invalidate();
}

void TZedMemoModel::SetModified(bool value)
{
    if (!value)
        m_undo->Clear();
}

void TZedMemoModel::UndoChanged()
{
    if (!m_destroying && OnUndoChange)
        OnUndoChange(CanUndo(), CanRedo());
}

// ---------------------------------------------------------------------------------------------
// word wrap

int TZedMemoModel::WrapWidth() const
{
    const int width = m_visibleCols - 1;
    if (m_wordWrap == wwRightMargin)
        return std::min(width, m_rightMargin);
    return width;
}

void TZedMemoModel::SetWordWrap(TZedWordWrap value)
{
    if (value == m_wordWrap)
        return;
    const int off = PosToOffset(Caret());
    Unwrap();
    m_wordWrap = value;
    if (WrapActive())
        Wrap();
    PlaceCaret(OffsetToPos(off));
    ClearSelection();
    UpdateScrollBars();
    Invalidate();
}

void TZedMemoModel::SetRightMargin(int value)
{
    if (value == m_rightMargin)
        return;
    m_rightMargin = value;
    if (m_wordWrap == wwRightMargin)
        Rewrap();
    Invalidate();
}

void TZedMemoModel::Unwrap()
{
    auto& lines = m_lines->RawLines();
    auto& props = m_lines->RawProps();
    bool any = false;
    for (size_t i = 1; i < props.size() && !any; ++i)
        any = props[i] && props[i]->Wrapped;
    if (!any)
        return;
    QStringList out;
    std::vector<std::unique_ptr<TLineProp>> outProps;
    out.reserve(lines.size());
    outProps.reserve(props.size());
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0 && props[size_t(i)] && props[size_t(i)]->Wrapped && !out.isEmpty()) {
            out.last() += lines[i];
            if (props[size_t(i)]->Modified) {
                if (!outProps.back())
                    outProps.back() = std::make_unique<TLineProp>();
                outProps.back()->Modified = true;
            }
            continue;
        }
        out.append(lines[i]);
        outProps.push_back(std::move(props[size_t(i)]));
    }
    lines = std::move(out);
    props = std::move(outProps);
    InvalidateStates(-1);
}

void TZedMemoModel::Wrap()
{
    const int width = WrapWidth();
    if (width <= 0 || m_lines->Count() == 0 || m_wordWrap == wwNone)
        return;
    auto& lines = m_lines->RawLines();
    auto& props = m_lines->RawProps();
    bool any = false;
    for (const QString& s : lines)
        if (s.length() > width) {
            any = true;
            break;
        }
    if (!any)
        return;
    m_wrapping = true;
    QStringList out;
    std::vector<std::unique_ptr<TLineProp>> outProps;
    out.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QString& s = lines[i];
        const int len = s.length();
        if (len <= width) {
            out.append(s);
            outProps.push_back(std::move(props[size_t(i)]));
            continue;
        }
        int p = 0;
        bool first = true;
        while (len - p > width) {
            // Words with their following blank go into the head while it stays shorter than the width.
            int h = 0;
            int q = p;
            while (q < len) {
                int k = q;
                while (k < len && k - p <= width && s[k] != QLatin1Char(' '))
                    ++k;
                const int tokenEnd = (k < len && s[k] == QLatin1Char(' ')) ? k + 1 : k;
                const int tokLen = tokenEnd - q;
                if (h + tokLen < width && tokenEnd > q) {
                    h += tokLen;
                    q = tokenEnd;
                } else {
                    break;
                }
            }
            if (h == 0)
                h = width;
            out.append(s.mid(p, h));
            if (first) {
                outProps.push_back(std::move(props[size_t(i)]));
            } else {
                auto prop = std::make_unique<TLineProp>();
                prop->Wrapped = true;
                outProps.push_back(std::move(prop));
            }
            first = false;
            p += h;
        }
        out.append(s.mid(p));
        auto prop = std::make_unique<TLineProp>();
        prop->Wrapped = true;
        outProps.push_back(std::move(prop));
    }
    lines = std::move(out);
    props = std::move(outProps);
    m_wrapping = false;
    InvalidateStates(-1);
}

void TZedMemoModel::Rewrap()
{
    const int off = PosToOffset(Caret());
    const int selA = PosToOffset(m_selStart);
    const int selB = PosToOffset(m_selEnd);
    const int anchor = PosToOffset(m_anchor);
    const int oldCount = m_lines->Count();
    const int top = m_topLine;
    Unwrap();
    if (m_wordWrap != wwNone)
        Wrap();
    m_selStart = OffsetToPos(selA);
    m_selEnd = OffsetToPos(selB);
    m_anchor = OffsetToPos(anchor);
    const TZedPos caret = OffsetToPos(off);
    m_caretLine = caret.Line;
    m_caretCol = caret.Col;
    if (m_lines->Count() == oldCount)
        m_topLine = std::min(top, std::max(0, m_lines->Count() - 1));
    UpdateScrollBars();
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// styler, scanner states, block matching

void TZedMemoModel::SetSyntaxStyles(TZedCustomMemoStyler* styler)
{
    if (m_styler && m_styler->AllStyles.Memo == this)
        m_styler->AllStyles.Memo = nullptr;
    m_styler = styler;
    m_useStyler = styler != nullptr;
    if (styler) {
        styler->AllStyles.Memo = this;
        for (int i = 0; i < styler->AllStyles.Count(); ++i) {
            TElementStyle* st = styler->AllStyles[i];
            if (st->StyleType != stKeyword)
                continue;
            if (!m_caseSensitive)
                for (QString& k : st->KeyWords)
                    k = k.toLower();
            std::sort(st->KeyWords.begin(), st->KeyWords.end());
        }
    }
    InvalidateStates(-1);
    Invalidate();
}

void TZedMemoModel::SetCaseSensitive(bool value)
{
    if (value == m_caseSensitive)
        return;
    m_caseSensitive = value;
    InvalidateStates(-1);
    Invalidate();
}

void TZedMemoModel::SetUrlAware(bool value)
{
    if (value == m_urlAware)
        return;
    m_urlAware = value;
    InvalidateStates(-1);
    Invalidate();
}

void TZedMemoModel::InvalidateStates(int fromLine, int col)
{
    if (fromLine < 0) {
        m_stateCache.clear();
        m_lineScanCache.clear();
        m_topStateLine = -1;
        return;
    }
    m_stateCache.erase(m_stateCache.upper_bound(fromLine), m_stateCache.end());
    m_lineScanCache.erase(m_lineScanCache.upper_bound(fromLine), m_lineScanCache.end());
    auto it = m_lineScanCache.find(fromLine);
    if (it != m_lineScanCache.end()) {
        if (col <= 0) {
            m_lineScanCache.erase(it);
        } else {
            auto& pts = it->second.Points;
            pts.erase(std::lower_bound(pts.begin(), pts.end(), col,
                                       [](const TZedCheckpoint& p, int c) { return p.Col < c; }),
                      pts.end());
            it->second.EndValid = false;
        }
    }
    if (m_topStateLine > fromLine)
        m_topStateLine = -1;
}

TZedLineScanCache& TZedMemoModel::LineScanCache(int line, const LineStartState& start)
{
    if (m_lineScanCache.size() > 64 && !m_lineScanCache.count(line))
        m_lineScanCache.clear();
    TZedLineScanCache& c = m_lineScanCache[line];
    if (!(c.Start == start)) {
        c = TZedLineScanCache{};
        c.Start = start;
    }
    return c;
}

LineStartState TZedMemoModel::StartStateOfLine(int line)
{
    if (line <= 0)
        return LineStartState{};
    if (line == m_topStateLine)
        return m_topState;
    int from = 0;
    LineStartState state;
    auto it = m_stateCache.upper_bound(line);
    if (it != m_stateCache.begin()) {
        --it;
        from = it->first;
        state = it->second;
    }
    const TZedScanner scanner(*this);
    const QStringList& lines = m_lines->Strings();
    const int last = std::min(line, int(lines.size()));
    for (int l = from; l < last; ++l) {
        if (l % 20 == 0)
            m_stateCache.emplace(l, state);
        if (lines[l].length() > LongLine) {
            TZedLineScanCache& c = LineScanCache(l, state);
            if (!c.EndValid) {
                LineStartState st = c.Points.empty() ? c.Start : c.Points.back().State;
                scanner.ScanRange(lines[l], c.Points.empty() ? 0 : c.Points.back().Col, st, nullptr, lines[l].length(),
                                  &c.Points);
                c.End = st;
                c.EndValid = true;
            }
            state = c.End;
            continue;
        }
        scanner.ScanLine(lines[l], state, nullptr);
    }
    if (line % 20 == 0)
        m_stateCache.emplace(line, state);
    m_topStateLine = line;
    m_topState = state;
    return state;
}

bool TZedMemoModel::BlockWords(QString& start, QString& end) const
{
    if (!UseStyler())
        return false;
    start = m_styler->BlockStart.toUpper();
    end = m_styler->BlockEnd.toUpper();
    return !start.isEmpty() && !end.isEmpty();
}

void TZedMemoModel::MatchBlocks()
{
    const TZedBlockMark oldStart = m_blockStart;
    const TZedBlockMark oldEnd = m_blockEnd;
    m_blockStart = m_blockEnd = TZedBlockMark{};
    QString bs, be;
    if (BlockWords(bs, be) && m_lines->Count() > 0) {
        const int first = m_topLine;
        const int last = std::min(m_lines->Count() - 1, m_topLine + std::max(1, m_visibleRows) - 1);
        const int cl = m_caretLine;
        struct Occ {
            int col;
            bool start;
        };
        auto occurrences = [&](int l) {
            std::vector<Occ> occ;
            const QString& s = m_lines->Strings()[l];
            auto collect = [&](const QString& word, bool isStart) {
                int i = 0;
                const Qt::CaseSensitivity cs = word.toLower() == word ? Qt::CaseSensitive : Qt::CaseInsensitive;
                while ((i = s.indexOf(word, i, cs)) >= 0) {
                    if (i == 0 || IsWordDelimiter(s[i - 1]))
                        occ.push_back({i, isStart});
                    i += word.length();
                }
            };
            collect(bs, true);
            collect(be, false);
            std::sort(occ.begin(), occ.end(), [](const Occ& a, const Occ& b) { return a.col < b.col; });
            return occ;
        };
        if (cl >= first && cl <= last) {
            const auto caretOcc = occurrences(cl);
            bool hasStart = false, hasEnd = false;
            for (const Occ& o : caretOcc)
                (o.start ? hasStart : hasEnd) = true;
            TZedBlockMark endMark, startMark;
            int balance = 0;
            const int endTarget = hasStart ? 0 : -1;
            for (int l = cl; l <= last && !endMark.Valid(); ++l) {
                for (const Occ& o : (l == cl ? caretOcc : occurrences(l))) {
                    balance += o.start ? 1 : -1;
                    if (!o.start && balance == endTarget) {
                        endMark = {l, o.col, int(be.length())};
                        break;
                    }
                }
            }
            balance = 0;
            const int startTarget = hasEnd ? 0 : -1;
            for (int l = cl; l >= first && !startMark.Valid(); --l) {
                const auto occ = (l == cl ? caretOcc : occurrences(l));
                for (auto it = occ.rbegin(); it != occ.rend(); ++it) {
                    balance += it->start ? -1 : 1;
                    if (it->start && balance == startTarget) {
                        startMark = {l, it->col, int(bs.length())};
                        break;
                    }
                }
            }
            if (startMark.Valid() && endMark.Valid()) {
                m_blockStart = startMark;
                m_blockEnd = endMark;
            }
        }
    }
    auto repaint = [this](const TZedBlockMark& m) {
        if (m.Valid())
            InvalidateLines(m.Line, m.Line);
    };
    if (oldStart.Line != m_blockStart.Line || oldStart.Col != m_blockStart.Col || oldEnd.Line != m_blockEnd.Line
        || oldEnd.Col != m_blockEnd.Col) {
        repaint(oldStart);
        repaint(oldEnd);
        repaint(m_blockStart);
        repaint(m_blockEnd);
    }
}

// ---------------------------------------------------------------------------------------------
// overridable operations

void TZedMemoModel::SelectionChanged()
{
    if (OnSelectionChange)
        OnSelectionChange();
}

void TZedMemoModel::StatusChanged()
{
    if (OnStatusChange)
        OnStatusChange();
}

bool TZedMemoModel::IsWordDelimiter(QChar ch) const
{
    if (ch == QLatin1Char(' '))
        return true;
    return UseStyler() && m_styler->AllStyles.IsDelimiter(ch);
}

bool TZedMemoModel::IsTokenDelimiter(QChar ch) const
{
    static const QString delimiters = QStringLiteral(" \"'(),.:;=[]");
    return delimiters.contains(ch);
}

void TZedMemoModel::CaretMoved()
{
    MatchBlocks();
    if (OnCursorChange)
        OnCursorChange();
}

bool TZedMemoModel::IsUrl(const QString& text) const
{
    static const char* const prefixes[] = {"http://", "mailto:", "www.", "https://", "ftp://", "nntp://"};
    const QString head = text.left(8).toLower();
    for (const char* p : prefixes)
        if (head.startsWith(QLatin1String(p)))
            return true;
    return false;
}

QString TZedMemoModel::GetVersionString() const
{
    const quint32 v = GetVersionNr();
    return QStringLiteral("%1.%2.%3.%4 Oct, 2005").arg(v >> 24).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

// ---------------------------------------------------------------------------------------------
// words

namespace {

// The run of characters around a column that the predicate does not call delimiters: to the
// left of col and from col on.
TZedWord RunAround(const QString& s, int col, const std::function<bool(QChar)>& delim)
{
    col = std::clamp(col, 0, int(s.length()));
    int a = col;
    while (a > 0 && !delim(s[a - 1]))
        --a;
    int b = col;
    while (b < s.length() && !delim(s[b]))
        ++b;
    return {a, s.mid(a, b - a)};
}

bool IdentifierDelimiter(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('(') || c == QLatin1Char(')');
}

}  // namespace

TZedWord TZedMemoModel::WordAt(TZedPos cell) const
{
    const QString s = m_lines->Get(cell.Line);
    if (cell.Col < 0 || cell.Col >= s.length() || IsWordDelimiter(s[cell.Col]))
        return {cell.Col, QString()};
    return RunAround(s, cell.Col, [this](QChar c) { return IsWordDelimiter(c); });
}

TZedWord TZedMemoModel::TokenAt(TZedPos cell) const
{
    const QString s = m_lines->Get(cell.Line);
    if (cell.Col < 0 || cell.Col >= s.length() || IsTokenDelimiter(s[cell.Col]))
        return {cell.Col, QString()};
    return RunAround(s, cell.Col, [this](QChar c) { return IsTokenDelimiter(c); });
}

TZedWord TZedMemoModel::WordAroundCaret() const
{
    return RunAround(m_lines->Get(m_caretLine), m_caretCol, [this](QChar c) { return IsWordDelimiter(c); });
}

TZedWord TZedMemoModel::IdentifierAroundCaret() const
{
    return RunAround(m_lines->Get(m_caretLine), m_caretCol, IdentifierDelimiter);
}

TZedWord TZedMemoModel::WordBeforeCaret() const
{
    const QString s = m_lines->Get(m_caretLine);
    const int col = std::clamp(m_caretCol, 0, int(s.length()));
    int a = col;
    while (a > 0 && !IsWordDelimiter(s[a - 1]))
        --a;
    return {a, s.mid(a, col - a)};
}

// ---------------------------------------------------------------------------------------------
// word replacement and checker

void TZedMemoModel::SetMemoChecker(TZedMemoChecker* checker)
{
    if (m_checker == checker)
        return;
    if (m_checker && m_checker->m_memo == this)
        m_checker->m_memo = nullptr;
    m_checker = checker;
    if (checker) {
        if (checker->m_memo && checker->m_memo != this)
            checker->m_memo->m_checker = nullptr;
        checker->m_memo = this;
    }
}

void TZedMemoModel::ReplaceInCaretLine(int col, const QString& oldText, const QString& newText)
{
    if (oldText == newText)
        return;
    const TZedPos at{col, m_caretLine};
    const TZedPos before = Caret();
    RawDeleteRange(at, TZedPos{col + int(oldText.length()), m_caretLine});
    RawInsertAt(at, newText);
    TZedPos after = before;
    if (before.Col >= col + oldText.length())
        after.Col += int(newText.length() - oldText.length());
    PlaceCaret(after);
    RecordUndo(std::make_unique<TReplaceUndo>(LogicalPos(before), Caret(), LogicalPos(at), newText, oldText));
    LinesChanged();
}

void TZedMemoModel::WordEndKey(TWordEndKey key, TShiftState shift)
{
    auto handleKey = [&] {
        switch (key) {
        case wkEnter: NewLine(); break;
        case wkTab: TabKey(shift); break;
        case wkBlank: TypeChar(QLatin1Char(' ')); break;
        }
    };
    if (ReadOnly || !EditAllowed() || WrapActive()) {
        handleKey();
        return;
    }
    // Replacements are made before the key is handled but recorded after it, so that the first
    // undo gives the typed word back and leaves the key's own text.
    struct Pending {
        TZedPos At;
        QString Old, New;
    };
    std::vector<Pending> pending;
    auto replace = [&](int col, const QString& oldText, const QString& newText) {
        if (oldText == newText)
            return;
        const TZedPos at{col, m_caretLine};
        const int caret = m_caretCol;
        RawDeleteRange(at, TZedPos{col + int(oldText.length()), m_caretLine});
        RawInsertAt(at, newText);
        m_caretCol = caret >= col + oldText.length() ? caret + int(newText.length() - oldText.length()) : caret;
        pending.push_back({at, oldText, newText});
    };
    if (OnWordComplete || AutoCorrect.Wanted()) {
        const TZedWord word = WordAroundCaret();
        QString newWord = AutoCorrect.Active ? AutoCorrect.Replacement(word.Text) : word.Text;
        if (OnWordComplete)
            OnWordComplete(word.Text, newWord);
        replace(word.Col, word.Text, newWord);
    }
    if (m_checker) {
        const int line = m_caretLine;
        switch (key) {
        case wkEnter:
            if (m_checker->CheckMode == cmCorrectLine) {
                m_checker->CorrectLine(line);
                m_caretCol = m_lines->Get(line).length();
            } else if (m_checker->CheckMode == cmCheckLine) {
                m_checker->CheckLine(line);
            } else if (m_checker->CheckMode == cmCheckWord) {
                m_checker->CheckWord(line, m_caretCol, WordBeforeCaret().Text);
            }
            break;
        case wkTab:
        case wkBlank:
            if (m_checker->CheckMode == cmCorrectWord) {
                const TZedWord word = WordAroundCaret();
                QString corrected = word.Text;
                m_checker->CorrectWord(line, m_caretCol, corrected);
                replace(word.Col, word.Text, corrected);
            } else if (m_checker->CheckMode == cmCheckWord) {
                m_checker->CheckWord(line, m_caretCol, WordAroundCaret().Text);
            }
            break;
        }
    }
    if (!pending.empty())
        InvalidateLines(m_caretLine, m_caretLine);
    handleKey();
    for (const Pending& p : pending) {
        const TZedPos after = Caret();
        RecordUndo(std::make_unique<TReplaceUndo>(LogicalPos(after), after, p.At, p.New, p.Old));
    }
    if (!pending.empty())
        LinesChanged();
}

// ---------------------------------------------------------------------------------------------
// shared text

void TZedMemoModel::SetMemoSource(TZedMemoSource* source)
{
    if (m_source == source)
        return;
    if (m_source) {
        if (m_source->m_memo)
            m_source->AttachMemo(nullptr);
        m_source->m_users.erase(std::remove(m_source->m_users.begin(), m_source->m_users.end(), this),
                                m_source->m_users.end());
    }
    m_source = source;
    if (source) {
        source->m_users.push_back(this);
        source->AttachMemo(this);
    } else {
        m_lines = &m_ownLines;
        m_undo = &m_ownUndo;
        LinesRebound();
    }
}

void TZedMemoModel::LinesRebound()
{
    m_stateCache.clear();
    m_lineScanCache.clear();
    m_topStateLine = -1;
    EnsureLine();
    m_caretLine = std::clamp(m_caretLine, 0, m_lines->Count() - 1);
    RecomputeLongestLine();
    UndoChanged();
    UpdateScrollBars();
    Invalidate();
}
