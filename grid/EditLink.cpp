#include "grid/EditLink.h"

#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzEdit.h"
#include "grid/ZodUvuzInplace.h"

#include <QKeyEvent>
#include <QWidget>

namespace grid {

namespace {
// The popup window of a link: tells the link when it closes.
class TGridForm : public QWidget {
public:
    TGridForm(QWidget* parent, std::function<void()> closed)
        : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), m_closed(std::move(closed))
    {
        setObjectName(QStringLiteral("gridform"));
    }

protected:
    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        if (m_closed)
            m_closed();
    }

private:
    std::function<void()> m_closed;
};
} // namespace

TEditLink::TEditLink(QObject* owner) : QObject(owner) {}

TEditLink::~TEditLink()
{
    if (m_filtered)
        m_filtered->removeEventFilter(this);
}

void TEditLink::attach(TZedEzeravIvur* grid, int col, int row)
{
    m_grid = grid;
    m_col = col;
    m_row = row;
}

QWidget* TEditLink::popupFor(QWidget* grid)
{
    if (!m_popup)
        m_popup = new TGridForm(grid, [this] { popupClosed(); });
    return m_popup;
}

void TEditLink::SetFocus(bool value)
{
    QWidget* c = GetEditControl();
    if (!c || !m_grid)
        return;
    if (value) {
        c->show();
        c->setEnabled(true);
    }
    if (m_filtered != c) {
        if (m_filtered)
            m_filtered->removeEventFilter(this);
        c->installEventFilter(this);
        m_filtered = c;
    }
    if (value)
        c->setFocus();
    else
        m_grid->setFocus();
}

void TEditLink::SetRect(const QRect& rect)
{
    QWidget* c = GetEditControl();
    if (!c || !m_grid)
        return;
    const int line = m_grid->GridLineWidth();
    c->setGeometry(rect.left(), rect.top(), rect.width() - line, rect.height() - line);
}

void TEditLink::SetVisible(bool value)
{
    if (QWidget* c = GetEditControl())
        c->setVisible(value);
}

bool TEditLink::eventFilter(QObject* watched, QEvent* event)
{
    // With the grid's Tab option, Tab is the control's key and leaves the editor.
    if (watched == m_filtered && event->type() == QEvent::KeyPress && m_grid
        && (m_grid->GridOptions() & tk::goTabs)) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            int key = k->key();
            EditKeyDown(watched, key, k->modifiers());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TEditLink::EditKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers modifiers)
{
    (void)sender;
    if (!m_grid)
        return;
    bool leaves = false;
    switch (key) {
    case Qt::Key_Tab: case Qt::Key_Backtab: leaves = true; break;
    case Qt::Key_Return: case Qt::Key_Enter: leaves = !WantKeyReturn; break;
    case Qt::Key_Escape: leaves = !WantKeyEscape; break;
    case Qt::Key_PageUp: case Qt::Key_PageDown: leaves = !WantKeyPriorNext; break;
    case Qt::Key_End: leaves = !WantKeyHomeEnd; break;
    case Qt::Key_Up: case Qt::Key_Down: leaves = !WantKeyUpDown; break;
    case Qt::Key_Left: case Qt::Key_Right: leaves = !WantKeyLeftRight; break;
    default: break;
    }
    if (!leaves)
        return;
    TZedEzeravIvur* g = m_grid;
    if (key == Qt::Key_Escape)
        SetEditorValue(g->editing().textAtStart);
    m_forcedExit = true;
    g->setFocus();
    const QPoint b = g->BaseCell(g->Col(), g->Row());
    g->HideInplaceEdit(b.x(), b.y());
    g->editing().controlActive = false;
    g->editing().editingInProgress = false;
    m_forcedExit = false;
    if (m_popup && m_popup->isVisible()) {
        m_ending = true;
        m_popup->hide();
        m_ending = false;
    }
    g->SelectCell(g->Col(), g->Row());
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (g->Navigation()->AdvanceOnEnter)
            g->AdvanceCell(g->Col(), g->Row(), false, !(modifiers & Qt::ShiftModifier), false, false);
        key = 0;
    } else if (key == Qt::Key_Escape) {
        key = 0;
    } else {
        int k = key;
        g->KeyDown(k, tk::ShiftStateOf(modifiers));
        if (QWidget* c = GetEditControl())
            c->setEnabled(false);
        g->setFocus();
    }
}

void TEditLink::EndEdit()
{
    if (!m_grid)
        return;
    TZedEzeravIvur* g = m_grid;
    g->StoreEditText(g->Col(), g->Row(), GetEditorValue());
    g->EndInplaceEdit();
    if (m_filtered) {
        m_filtered->removeEventFilter(this);
        m_filtered = nullptr;
    }
    if (QWidget* c = GetEditControl())
        c->hide();
    if (EditStyle == esPopup && m_popup) {
        DestroyEditor();
        m_ending = true;
        m_popup->hide();
        m_ending = false;
    }
}

void TEditLink::popupClosed()
{
    if (m_ending || !m_grid)
        return;
    TZedEzeravIvur* g = m_grid;
    if (auto* e = g->InplaceEditor())
        e->SetText(GetEditorValue());
    if (m_forcedExit) {
        g->StoreEditText(g->Col(), g->Row(), GetEditorValue());
        return;
    }
    EndEdit();
}

} // namespace grid
