// The data grid's in-place editor, its key-press handling, the optimal column width, column moving
// and row sizing.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridEdit.h"
#include "recipients/datagrid/XDBGridPickText.h"

#include <QApplication>
#include <QTimer>

namespace xdb {

namespace {

template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

bool IsTextField(const db::TField* f)
{
    return f && (f->DataType() == db::ftString || f->DataType() == db::ftFixedChar || f->DataType() == db::ftWideString);
}

} // namespace

bool EditableFieldType(const db::TField* f)
{
    // Binary and memo fields take typed text only through an OnSetText handler.
    switch (f->DataType()) {
    case db::ftBytes:
    case db::ftVarBytes:
    case db::ftBlob:
    case db::ftMemo:
        return bool(f->OnSetText);
    default:
        return true;
    }
}

// ------------------------------------------------------------------ editing

tk::TInplaceEdit* TXCustomDBGrid::CreateEditor()
{
    auto* editor = new TXDBGridInplaceEdit(this);
    // Focus that leaves the editor for a widget outside the grid leaves the grid.
    connect(qApp, &QApplication::focusChanged, editor, [this, editor](QWidget* old, QWidget* now) {
        if (old == editor && now != this && !(now && isAncestorOf(now)))
            ExitFromEditor();
    });
    return editor;
}

void TXCustomDBGrid::DoExit()
{
    if (!m_dataLink->Active())
        return;
    db::TDataSet* ds = m_dataLink->DataSet();
    try {
        if ((m_options & dgCancelOnExit) && ds->State() == db::dsInsert && !ds->Modified() &&
            !m_dataLink->IsModified())
            ds->Cancel();
        else if (m_dataLink->Editing())
            m_dataLink->UpdateRecord();
    } catch (...) {
        // The field refused the text: the grid takes the focus back and the error goes on.
        setFocus();
        throw;
    }
}

void TXCustomDBGrid::ExitFromEditor()
{
    // Run from the event loop, so an error of the field reaches the application's handler as
    // any other event's error does.
    QTimer::singleShot(0, this, [this] {
        if (!hasFocus() && !(InplaceEditor() && InplaceEditor()->hasFocus()))
            DoExit();
    });
}

int TXCustomDBGrid::GetEditLimit()
{
    const int dc = SelectedIndex();
    if (dc < 0 || dc >= m_columns->Count())
        return 0;
    TXColumn* c = m_columns->Items(dc);
    if (PickTextMapping(c))
        return 0;
    db::TField* f = c->Field();
    return IsTextField(f) ? f->Size() : 0;
}

void TXCustomDBGrid::EditButtonClick()
{
    // Without a handler a dataset field would open its nested dataset; SQLite has no such fields.
    if (OnEditButtonClick)
        OnEditButtonClick(this);
}

TListBorder TXCustomDBGrid::GetListBorder() const
{
    if (m_listBorder != lbAuto)
        return m_listBorder;
    if (!((m_options & dgColLines) && (m_options & dgRowLines)))
        return lbDefault;
    if (ThemedFixedCells() || m_fixedStyle == fsFine || m_fixedStyle == fsMild)
        return lbMild;
    return m_fixedStyle == fsSoft ? lbGray : lbDefault;
}

// ------------------------------------------------------------------ TXScrollProp

void TXScrollProp::SetColor(TColor value)
{
    m_color = value;
    m_parentColor = false;
}

void TXScrollProp::SetParentColor(bool value)
{
    m_parentColor = value;
    if (value)
        m_color = gfx::clBtnHighlight;
}

TScrollBarStyle TXScrollProp::Style() const
{
    if (!m_parentStyle || !m_grid)
        return m_style;
    static constexpr TScrollBarStyle table[] = {ssRegular, ssRegular, ssFlat, ssHotTrack, ssFlat, ssHotTrack};
    return table[m_grid->FixedStyle()];
}

void TXScrollProp::SetStyle(TScrollBarStyle value)
{
    m_style = value;
    m_parentStyle = false;
}

// ------------------------------------------------------------------ column widths and moving

int TXCustomDBGrid::OptimalWidth(TXColumn* column)
{
    if (!column)
        return 0;
    if (!m_dataLink->Active())
        return column->WidthBase();
    const QFontMetrics fm(column->Font().Font());
    int widest = 0;
    const int current = m_dataLink->ActiveRecord();
    {
        Finally restore{[this, current] { m_dataLink->SetActiveRecord(current); }};
        for (int r = 0; r < m_dataLink->RecordCount(); ++r) {
            m_dataLink->SetActiveRecord(r);
            QString text;
            if (db::TField* f = column->Field())
                text = (f->DataType() == db::ftMemo && column->ShowBlob()) ? f->AsString() : f->DisplayText();
            text = ColGetText(column, text, tkDisplay);
            widest = std::max(widest, fm.horizontalAdvance(text));
        }
    }
    int width = widest + 4;
    auto* editor = qobject_cast<TXInplaceEditList*>(InplaceEditor());
    if (editor && editor->isVisible() && editor->EditStyle() != esSimple && SelectedIndex() == column->Index())
        width += editor->ButtonWidth();
    return width;
}

bool TXCustomDBGrid::ColumnMoving(int fromIndex, int toIndex)
{
    if (!OnColumnMoving)
        return true;
    bool accept = true;
    try {
        OnColumnMoving(this, fromIndex, toIndex, accept);
    } catch (...) {
        return false;          // an exception there refuses the move
    }
    return accept;
}

int TXCustomDBGrid::LinesForRowHeight(int height) const
{
    const int th = std::max(1, TextHeight(m_font));
    int lines = std::max(0, height - RowLineWidth() - th / 2 - 3) / th + 1;
    lines = std::max(lines, m_linesCountMin);
    if (m_linesCountMax >= 0)
        lines = std::min(lines, m_linesCountMax);
    return lines;
}

} // namespace xdb
