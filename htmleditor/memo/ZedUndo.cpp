#include "htmleditor/memo/ZedUndo.h"

#include "htmleditor/memo/ZedMemoModel.h"

namespace {

// The lines of a text with their trailing blanks dropped.
QStringList TrimmedLines(const QString& text)
{
    QStringList lines;
    int start = 0;
    auto add = [&](int end) {
        int e = end;
        while (e > start && text[e - 1] == QLatin1Char(' '))
            --e;
        lines << text.mid(start, e - start);
    };
    for (int i = 0; i < text.length(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            add(i);
            if (c == QLatin1Char('\r') && i + 1 < text.length() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    add(text.length());
    return lines;
}

// Whether the text found in the memo is the one a record holds: line breaks of any kind are
// alike, and blanks at line ends do not count (leaving a line drops them without a record).
bool SameText(const QString& a, const QString& b)
{
    return a == b || TrimmedLines(a) == TrimmedLines(b);
}

// The position behind text standing at a position.
TZedPos EndOf(const TZedMemoModel& m, TZedPos at, const QString& text)
{
    int len = 0;
    int breaks = 0;
    int lastLen = 0;
    for (int i = 0; i < text.length(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.length() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            ++breaks;
            len += 2;
            lastLen = 0;
        } else {
            ++len;
            ++lastLen;
        }
    }
    if (m.WrapActive())
        return m.OffsetToPos(m.PosToOffset(at) + len);
    if (breaks == 0)
        return TZedPos{at.Col + lastLen, at.Line};
    return TZedPos{lastLen, at.Line + breaks};
}

}  // namespace

// --- TInsertCharUndo ---

bool TInsertCharUndo::Append(TUndo* other)
{
    auto* o = dynamic_cast<TInsertCharUndo*>(other);
    if (!o || o->Before != After || HasTrims() || o->HasTrims())
        return false;
    Text += o->Text;
    After = o->After;
    return true;
}

bool TInsertCharUndo::PerformUndo()
{
    TZedMemoStrings& lines = Memo->Lines();
    if (HasTrims()) {
        const int l = Before.Line;
        if (l + 1 >= lines.Count())
            return false;
        const int indent = Text.length() - 1;
        if (!lines.Get(l + 1).startsWith(Text.mid(1)))
            return false;
        const QString moved = lines.Get(l + 1).mid(indent);
        lines.RawLine(l) += HeadTrim + LeadTrim + moved + TailTrim;
        lines.RawDelete(l + 1);
        Memo->InvalidateStates(l);
        return true;
    }
    if (!SameText(Memo->RawTextRange(Before, After), Text))
        return false;
    Memo->RawDeleteRange(Before, After);
    return true;
}

bool TInsertCharUndo::PerformRedo()
{
    TZedMemoStrings& lines = Memo->Lines();
    if (HasTrims()) {
        const int l = Before.Line;
        if (l >= lines.Count())
            return false;
        // Split again and drop the blanks as the line break did; blanks that leaving a line
        // dropped meanwhile are simply not there any more.
        const QString line = lines.Get(l);
        QString head = line.left(Before.Col);
        QString core = line.mid(Before.Col);
        while (head.endsWith(QLatin1Char(' ')))
            head.chop(1);
        while (core.endsWith(QLatin1Char(' ')))
            core.chop(1);
        int lead = 0;
        while (lead < LeadTrim.length() && lead < core.length() && core[lead] == QLatin1Char(' '))
            ++lead;
        core.remove(0, lead);
        lines.RawLine(l) = head;
        lines.RawInsert(l + 1, Text.mid(1) + core);
        Memo->InvalidateStates(l);
        return true;
    }
    Memo->RawInsertAt(Before, Text);
    return true;
}

// --- TOverwriteUndo ---

bool TOverwriteUndo::Append(TUndo* other)
{
    auto* o = dynamic_cast<TOverwriteUndo*>(other);
    if (!o || o->Before != After)
        return false;
    Text += o->Text;
    Replaced += o->Replaced;
    After = o->After;
    return true;
}

bool TOverwriteUndo::PerformUndo()
{
    TZedMemoStrings& lines = Memo->Lines();
    if (Before.Line >= lines.Count())
        return false;
    QString& line = lines.RawLine(Before.Line);
    if (line.mid(Before.Col, Text.length()) != Text)
        return false;
    line.replace(Before.Col, Text.length(), Replaced);
    Memo->InvalidateStates(Before.Line);
    return true;
}

bool TOverwriteUndo::PerformRedo()
{
    TZedMemoStrings& lines = Memo->Lines();
    if (Before.Line >= lines.Count())
        return false;
    QString& line = lines.RawLine(Before.Line);
    if (line.length() < Before.Col)
        line += QString(Before.Col - line.length(), QLatin1Char(' '));
    line.replace(Before.Col, Replaced.length(), Text);
    Memo->InvalidateStates(Before.Line);
    return true;
}

// --- TDeleteCharUndo ---

bool TDeleteCharUndo::Append(TUndo* other)
{
    auto* o = dynamic_cast<TDeleteCharUndo*>(other);
    if (!o || o->Backspace != Backspace || o->Before != After)
        return false;
    // Both kinds keep the characters in the order they stood in the line.
    if (Backspace)
        Text = o->Text + Text;
    else
        Text += o->Text;
    After = o->After;
    return true;
}

bool TDeleteCharUndo::PerformUndo()
{
    Memo->RawInsertAt(Backspace ? After : Before, Text);
    return true;
}

bool TDeleteCharUndo::PerformRedo()
{
    const TZedPos from = Backspace ? After : Before;
    const TZedPos to = EndOf(*Memo, from, Text);
    if (!SameText(Memo->RawTextRange(from, to), Text))
        return false;
    Memo->RawDeleteRange(from, to);
    return true;
}

// --- TDeleteLineUndo ---

bool TDeleteLineUndo::PerformUndo()
{
    TZedMemoStrings& lines = Memo->Lines();
    switch (LineKind) {
    case Only:
        if (lines.Count() == 0)
            lines.RawInsert(0, QString());
        if (!lines.Get(0).trimmed().isEmpty())
            return false;
        lines.RawLine(0) = Text;
        Memo->InvalidateStates(0);
        break;
    case Last:
        lines.RawInsert(lines.Count(), Text);
        break;
    case Inner:
        lines.RawInsert(std::min(LineIndex, lines.Count()), Text);
        break;
    }
    return true;
}

bool TDeleteLineUndo::PerformRedo()
{
    TZedMemoStrings& lines = Memo->Lines();
    if (LineIndex >= lines.Count() || !SameText(lines.Get(LineIndex), Text))
        return false;
    if (LineKind == Only) {
        lines.RawLine(0).clear();
        Memo->InvalidateStates(0);
    } else {
        lines.RawDelete(LineIndex);
    }
    return true;
}

// --- TDeleteBufUndo ---

bool TDeleteBufUndo::PerformUndo()
{
    Memo->RawInsertAt(SelStart, Text);
    Memo->SetSelection(SelStart, SelEnd);
    return true;
}

bool TDeleteBufUndo::PerformRedo()
{
    if (!SameText(Memo->RawTextRange(SelStart, SelEnd), Text))
        return false;
    Memo->RawDeleteRange(SelStart, SelEnd);
    return true;
}

// --- TPasteUndo ---

bool TPasteUndo::PerformUndo()
{
    if (!SameText(Memo->RawTextRange(Before, After), Text))
        return false;
    Memo->RawDeleteRange(Before, After);
    return true;
}

bool TPasteUndo::PerformRedo()
{
    Memo->RawInsertAt(Before, Text);
    return true;
}

// --- TReplaceUndo ---

namespace {

// Replaces `from` standing at a position by `to`; false when the text there is not `from`.
bool ReplaceAt(TZedMemoModel* memo, TZedPos at, const QString& from, const QString& to)
{
    const TZedPos end{at.Col + int(from.length()), at.Line};
    if (memo->RawTextRange(at, end) != from)
        return false;
    memo->RawDeleteRange(at, end);
    memo->RawInsertAt(at, to);
    return true;
}

}  // namespace

bool TReplaceUndo::PerformUndo() { return ReplaceAt(Memo, At, Text, Replaced); }

bool TReplaceUndo::PerformRedo() { return ReplaceAt(Memo, At, Replaced, Text); }

// --- TZedUndoList ---

void TZedUndoList::Add(std::unique_ptr<TUndo> record)
{
    if (m_performing || !record || !m_memo)
        return;
    if (!m_records.empty() && m_pos == 0 && m_records.front()->Append(record.get())) {
        m_memo->UndoChanged();
        return;
    }
    record->Memo = m_memo;
    while (m_pos > 0 && !m_records.empty()) {
        m_records.pop_front();
        --m_pos;
    }
    m_pos = 0;
    m_records.push_front(std::move(record));
    while (int(m_records.size()) > m_limit)
        m_records.pop_back();
    m_memo->UndoChanged();
}

void TZedUndoList::Undo()
{
    if (!CanUndo() || !m_memo)
        return;
    const bool autoIndent = m_memo->AutoIndent;
    m_memo->AutoIndent = false;
    m_performing = true;
    m_memo->SuspendWrap();
    TUndo* rec = m_records[size_t(m_pos)].get();
    rec->Memo = m_memo;  // a shared history replays in the memo attached now
    m_memo->m_caretCol = rec->After.Col;  // the line is padded no further than the record needs
    m_memo->SetCaretLine(rec->After.Line);
    m_memo->SetCaretCol(rec->After.Col);
    m_memo->ClearSelection();
    const bool notify = m_memo->Notifications();
    m_memo->SetNotifications(false);
    const bool ok = rec->PerformUndo();
    m_memo->SetNotifications(notify);
    const TZedPos sel[2] = {m_memo->SelStartPos(), m_memo->SelEndPos()};
    m_memo->PlaceCaret(rec->Before);
    if (sel[0] != sel[1])
        m_memo->SetSelection(sel[0], sel[1]);
    else
        m_memo->ClearSelection();
    ++m_pos;
    m_memo->ResumeWrap();
    m_performing = false;
    m_memo->AutoIndent = autoIndent;
    m_memo->LinesChanged();
    if (!ok)
        Clear();  // the text was replaced meanwhile: the history no longer fits it
    else
        m_memo->UndoChanged();
}

void TZedUndoList::Redo()
{
    if (!CanRedo() || !m_memo)
        return;
    const bool autoIndent = m_memo->AutoIndent;
    m_memo->AutoIndent = false;
    m_performing = true;
    m_memo->SuspendWrap();
    --m_pos;
    TUndo* rec = m_records[size_t(m_pos)].get();
    rec->Memo = m_memo;
    m_memo->m_caretCol = rec->Before.Col;
    m_memo->SetCaretLine(rec->Before.Line);
    m_memo->SetCaretCol(rec->Before.Col);
    m_memo->ClearSelection();
    const bool notify = m_memo->Notifications();
    m_memo->SetNotifications(false);
    const bool ok = rec->PerformRedo();
    m_memo->SetNotifications(notify);
    m_memo->PlaceCaret(rec->After);
    m_memo->ClearSelection();
    m_memo->ResumeWrap();
    m_performing = false;
    m_memo->AutoIndent = autoIndent;
    m_memo->LinesChanged();
    if (!ok)
        Clear();
    else
        m_memo->UndoChanged();
}

void TZedUndoList::Clear(bool notify)
{
    m_records.clear();
    m_pos = 0;
    if (notify && m_memo)
        m_memo->UndoChanged();
}

void TZedUndoList::SetLimit(int limit)
{
    limit = std::clamp(limit, 1, 100);
    if (limit == m_limit)
        return;
    m_limit = limit;
    Clear();
}
