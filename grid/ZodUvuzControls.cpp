// Form controls in mini-HTML cells: opening their editors, writing the value back into the cell
// text, keyboard access and clicks.
#include "grid/ZodUvuzControls.h"

#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzEdit.h"
#include "grid/editors/EditMask.h"
#include "grid/minihtml/MiniHTML.h"

#include <QAbstractItemView>
#include <QKeyEvent>

namespace grid {

namespace {
// Tab and Enter end the control edit; Tab moves on.
template <class Control>
bool controlKey(TZedEzeravIvur* grid, Control* control, QKeyEvent* event, const QString& id, int col, int row)
{
    const int key = event->key();
    if (!grid)
        return false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        grid->ControlEditDone();
        grid->setFocus();
        return true;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        grid->ControlEditDone();
        if (grid->Navigation()->AdvanceAuto) {
            grid->setFocus();
            grid->AdvanceCell(grid->Col(), grid->Row(), false, true, false, true);
        } else {
            grid->FocusCellControl(col, row, id);
        }
        return true;
    }
    (void)control;
    return false;
}
} // namespace

TControlEdit::TControlEdit(TZedEzeravIvur* grid) : QLineEdit(grid->viewport()), m_grid(grid)
{
    setObjectName(QStringLiteral("ControlEdit"));
    setFrame(false);
    hide();
}

bool TControlEdit::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void TControlEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_grid) {
        const QPoint cell = m_grid->m_controlEditCell;
        if (controlKey(m_grid.data(), this, event, m_grid->m_controlEditID, cell.x(), cell.y()))
            return;
    }
    QLineEdit::keyPressEvent(event);
}

void TControlEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (m_grid && isVisible() && m_grid->m_controlEditOpen)
        m_grid->ControlEditDone();
}

TControlCombo::TControlCombo(TZedEzeravIvur* grid) : editors::TZEIComboBox(grid->viewport()), m_grid(grid)
{
    setObjectName(QStringLiteral("ControlCombo"));
    setCompleter(nullptr);
    hide();
}

bool TControlCombo::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return editors::TZEIComboBox::event(event);
}

void TControlCombo::keyPressEvent(QKeyEvent* event)
{
    if (m_grid) {
        const QPoint cell = m_grid->m_controlEditCell;
        if (controlKey(m_grid.data(), this, event, m_grid->m_controlEditID, cell.x(), cell.y()))
            return;
    }
    editors::TZEIComboBox::keyPressEvent(event);
}

void TControlCombo::focusOutEvent(QFocusEvent* event)
{
    editors::TZEIComboBox::focusOutEvent(event);
    if (view()->isVisible())
        return;
    if (m_grid && isVisible() && m_grid->m_controlEditOpen)
        m_grid->ControlEditDone();
}

// ================================================================== the grid's side

TControlEdit* TZedEzeravIvur::ControlEdit() const
{
    if (!m_controlEdit)
        m_controlEdit = new TControlEdit(const_cast<TZedEzeravIvur*>(this));
    return m_controlEdit;
}

TControlCombo* TZedEzeravIvur::ControlCombo() const
{
    if (!m_controlCombo)
        m_controlCombo = new TControlCombo(const_cast<TZedEzeravIvur*>(this));
    return m_controlCombo;
}

void TZedEzeravIvur::EditCellControl(const QString& cellText, const QString& ctrlType, int row, int col, int displayCol,
                                     const QRect& controlRect, const QString& ctrlValue, const QString& ctrlID)
{
    (void)displayCol;
    const QString type = ctrlType.toUpper();
    if (type == QLatin1String("EDIT") || type == QLatin1String("PASSWORD") || type == QLatin1String("MASK")) {
        m_controlEditCell = QPoint(col, row);
        m_controlEditID = ctrlID;
        m_controlEditType = type;
        m_controlEditOpen = true;
        TControlEdit* e = ControlEdit();
        e->setEchoMode(type == QLatin1String("PASSWORD") ? QLineEdit::Password : QLineEdit::Normal);
        // An asterisk for every character.
        e->setStyleSheet(type == QLatin1String("PASSWORD") ? QStringLiteral("QLineEdit { lineedit-password-character: 42; }")
                                                           : QString());
        m_controlEditMask = type == QLatin1String("MASK") ? minihtml::GetControlProp(cellText, ctrlID) : QString();
        e->setInputMask(editors::TranslateEditMask(m_controlEditMask).inputMask);
        e->setText(ctrlValue);
        e->setGeometry(controlRect.left() + 1, controlRect.top() + 4, controlRect.width() - 4, controlRect.height() - 4);
        e->show();
        e->raise();
        e->setFocus();
        return;
    }
    if (type == QLatin1String("COMBO")) {
        m_controlEditCell = QPoint(col, row);
        m_controlEditID = ctrlID;
        m_controlEditType = type;
        m_controlEditOpen = true;
        TControlCombo* c = ControlCombo();
        c->IsWinXP = ThemedDrawing();
        QStringList values;
        bool edit = true;
        int dropCount = 8;
        if (OnControlComboList)
            OnControlComboList(this, row, col, ctrlID, type, ctrlValue, values, edit, dropCount);
        c->clear();
        c->addItems(values);
        editors::SetComboEditable(c, edit);
        const int i = c->findText(ctrlValue, Qt::MatchExactly);
        c->setCurrentIndex(i);
        if (edit)
            c->setEditText(ctrlValue);
        c->setMaxVisibleItems(dropCount);
        c->setGeometry(controlRect.left() + 1, controlRect.top() + 4, controlRect.width() - 4,
                       std::max(controlRect.height() - 4, c->sizeHint().height()));
        c->show();
        c->raise();
        c->setFocus();
        c->showPopup();
    }
}

void TZedEzeravIvur::ControlEditDone()
{
    const QString type = m_controlEditType;
    QString value;
    QWidget* control = nullptr;
    if (type == QLatin1String("EDIT") || type == QLatin1String("PASSWORD") || type == QLatin1String("MASK")) {
        control = ControlEdit();
        value = editors::MaskedText(m_controlEditMask, ControlEdit()->text());
    } else if (type == QLatin1String("COMBO")) {
        control = ControlCombo();
        value = ControlCombo()->currentText();
    }
    const int col = m_controlEditCell.x(), row = m_controlEditCell.y();
    m_controlEditOpen = false;
    m_controlEditType.clear();
    if (control) {
        // The stored text gets the value (not the displayed one, which events may have changed).
        QString text = Cells(col, row);
        if (minihtml::SetControlValue(text, m_controlEditID, value))
            SetCellText(col, row, text);
        if (control->hasFocus())
            setFocus();
        control->hide();
        RepaintCell(col, row);
    }
    if (OnControlEditDone)
        OnControlEditDone(this, row, col, m_controlEditID, type, value);
}

void TZedEzeravIvur::FocusCellControl(int col, int row, const QString& afterID)
{
    const QString text = Cells(col, row);
    const QString id = minihtml::NextEditControlID(text, afterID);
    if (id.isEmpty()) {
        setFocus();
        return;
    }
    QRect r = CellRect(col, row);
    r.translate(CellMarginX() + 1 + (IsCheckBoxCell(col, row) ? ControlLook()->CheckSize() : 0), CellMarginY() + 1);
    minihtml::TMiniHTMLInput in;
    in.Text = text;
    in.Rect = r;
    in.HitTest = true;
    in.ControlID = id;
    in.Font = font();
    in.Window = this;
    in.PictureCache = &PictureCache();
    minihtml::TMiniHTMLResult out;
    minihtml::DrawMiniHTML(nullptr, in, out);
    if (out.ControlType.isEmpty() || out.ControlID.isEmpty()) {
        setFocus();
        return;
    }
    EditCellControl(text, out.ControlType, row, col, col, out.ControlRect, out.ControlValue, out.ControlID);
}

void TZedEzeravIvur::ClickCellControl(int col, int row, const QString& ctrlID, const QString& ctrlType,
                                      const QString& ctrlValue, const QRect& controlRect)
{
    bool canEdit = true;
    CanEditCell(col, row, canEdit);
    if (!canEdit)
        return;
    if (m_controlEditOpen)
        ControlEditDone();
    const QString type = ctrlType.toUpper();
    QString value = ctrlValue;
    if (type == QLatin1String("BUTTON")) {
        m_controlEditCell = QPoint(col, row);
        m_controlFocused = true;
        RepaintCell(col, row);
    } else if (type == QLatin1String("CHECK")) {
        value = value.toUpper() == QLatin1String("TRUE") ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        QString text = Cells(col, row);
        if (minihtml::SetControlValue(text, ctrlID, value))
            SetCellText(col, row, text);
    }
    if (OnControlClick)
        OnControlClick(this, row, col, ctrlID, type, value);
    EditCellControl(Cells(col, row), type, row, col, col, controlRect, value, ctrlID);
}

} // namespace grid
