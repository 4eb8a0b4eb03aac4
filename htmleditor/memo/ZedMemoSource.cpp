#include "htmleditor/memo/ZedMemoSource.h"

#include "htmleditor/memo/ZedMemoModel.h"

TZedMemoSource::TZedMemoSource(QObject* owner) : QObject(owner), m_lines(nullptr), m_bookmarks(10, -1)
{
    m_lines.RawInsert(0, QString());
}

TZedMemoSource::~TZedMemoSource()
{
    // Memos still using the text go back to their own.
    const std::vector<TZedMemoModel*> users = m_users;
    for (TZedMemoModel* memo : users)
        memo->SetMemoSource(nullptr);
}

void TZedMemoSource::SetSyntaxStyler(TZedCustomMemoStyler* styler)
{
    m_styler = styler;
    if (m_memo)
        m_memo->SetSyntaxStyles(styler);
}

void TZedMemoSource::SetLines(const QStringList& lines)
{
    if (m_memo) {
        m_memo->SetLines(lines);
        return;
    }
    m_lines.RawClear();
    for (const QString& l : lines)
        m_lines.RawInsert(m_lines.Count(), l);
    if (m_lines.Count() == 0)
        m_lines.RawInsert(0, QString());
    for (TZedMemoModel* memo : m_users)
        memo->LinesRebound();
}

bool TZedMemoSource::ReadOnly() const
{
    return m_memo ? m_memo->ReadOnly : m_readOnly;
}

void TZedMemoSource::SetReadOnly(bool value)
{
    if (m_memo)
        m_memo->ReadOnly = value;
    else
        m_readOnly = value;
}

void TZedMemoSource::AttachMemo(TZedMemoModel* memo)
{
    if (memo == m_memo)
        return;
    if (TZedMemoModel* old = m_memo) {
        // The memo keeps showing the text, but its changes no longer report to it, and its
        // caret state waits here for the next time it is attached.
        m_lines.SetMemo(nullptr);
        if (m_styler && m_styler->AllStyles.Memo == old)
            m_styler->AllStyles.Memo = nullptr;
        m_modified = old->CanUndo();
        m_readOnly = old->ReadOnly;
        m_caret = old->Caret();
        m_selStart = old->SelStartPos();
        m_selEnd = old->SelEndPos();
        m_leftColumn = old->LeftColumn();
        m_topLine = old->TopLine();
        m_hasState = true;
        if (old->Bookmarks().size() == 10)
            m_bookmarks = old->Bookmarks();
        m_undo.SetMemo(nullptr);
        m_memo = nullptr;
        old->Invalidate();
    }
    if (!memo)
        return;
    m_memo = memo;
    memo->m_lines = &m_lines;
    memo->m_undo = &m_undo;
    m_lines.SetMemo(memo);
    m_undo.SetMemo(memo);
    if (m_styler)
        memo->SetSyntaxStyles(m_styler);
    memo->LinesRebound();
    if (m_hasState) {
        memo->SetTopLine(m_topLine);
        memo->SetLeftColumn(m_leftColumn);
        memo->SetCaret(m_caret);
        if (m_selStart != m_selEnd)
            memo->SetSelection(m_selStart, m_selEnd);
        else
            memo->ClearSelection();
    }
    if (m_bookmarks.size() == 10)
        memo->RestoreBookmarks(m_bookmarks);
    memo->ReadOnly = m_readOnly;
    memo->CaretUpdated();
    memo->Invalidate();
}
