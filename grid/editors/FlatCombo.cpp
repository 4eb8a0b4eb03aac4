#include "grid/editors/FlatCombo.h"

#include "platform/graphics/VisualStyles.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace grid::editors {

void SetComboEditable(QComboBox* combo, bool editable)
{
    if (combo->isEditable() == editable)
        return;
    QLineEdit* old = combo->lineEdit();
    combo->setEditable(editable);
    if (!editable && old)
        delete old;
}

TZEICustomCombo::TZEICustomCombo(QWidget* parent) : QComboBox(parent)
{
    m_buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    setAttribute(Qt::WA_Hover);
    m_savedColor = palette().color(QPalette::Base);
    // Emitted for the user's choices only, never for setCurrentIndex.
    connect(this, &QComboBox::activated, this, [this](int index) { SelectionChanged(index); });
}

void TZEICustomCombo::SelectionChanged(int index)
{
    if (index >= 0 && isEditable())
        setEditText(itemText(index));
    if (OnClick)
        OnClick(this);
    if (OnChange)
        OnChange(this);
}

void TZEICustomCombo::SetButtonWidth(int value)
{
    if (value < 14 || value > 32)
        return;
    m_buttonWidth = value;
    update();
}

void TZEICustomCombo::SetFlat(bool value)
{
    if (value == m_flat)
        return;
    m_flat = value;
    update();
}

void TZEICustomCombo::SetEtched(bool value)
{
    if (value == m_etched)
        return;
    m_etched = value;
    update();
}

void TZEICustomCombo::SetDropWidth(int value)
{
    m_dropWidth = value;
    if (value > 0)
        view()->setMinimumWidth(value);
}

QString TZEIComboBox::Version() const
{
    const quint32 v = VersionNumber();
    return QStringLiteral("%1.%2.%3.%4").arg(v >> 24).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

void TZEICustomCombo::paintEvent(QPaintEvent* event)
{
    if (!m_flat) {
        QComboBox::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QColor own = palette().color(QPalette::Base);
    p.fillRect(rect(), own);
    // The text (or the edit field, a child of its own) and a flat drop-down button.
    const QRect button(width() - m_buttonWidth, 0, m_buttonWidth, height());
    if (!isEditable()) {
        QRect text = rect().adjusted(3, 0, -m_buttonWidth, 0);
        p.setPen(palette().color(isEnabled() ? QPalette::Text : QPalette::PlaceholderText));
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, currentText());
    }
    PaintButton(p, button);
    PaintButtonEdge(p, button);
    // The border: sunken in the focused look, else thin in the parent's colour.
    const bool focused = ActiveLook();
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    const QColor parentColor = parentWidget() ? parentWidget()->palette().color(QPalette::Window) : own;
    const QColor a = focused ? palette().color(QPalette::Button) : parentColor;
    QRect r = rect().adjusted(0, 0, -1, -1);
    if (focused) {
        p.setPen(dark);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(light);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    } else {
        p.setPen(a);
        p.drawRect(r);
    }
    r.adjust(1, 1, -1, -1);
    p.setPen(a);
    p.drawRect(r);
    r.adjust(1, 1, -1, -1);
    p.setPen(own);
    p.drawRect(r);
}

void TZEICustomCombo::DrawArrowButton(QPainter& p, const QRect& r)
{
    if (IsWinXP) {
        visualstyles::HTheme theme = visualstyles::OpenThemeData(this, QStringLiteral("combobox"));
        // Pressed while a mouse button is held, wherever the press began.
        const bool held = QApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton);
        const bool drawn = theme && visualstyles::DrawThemeBackground(theme, p, visualstyles::CP_DROPDOWNBUTTON,
                                                                      held ? visualstyles::CBXS_PRESSED
                                                                           : visualstyles::CBXS_NORMAL,
                                                                      r);
        visualstyles::CloseThemeData(theme);
        if (drawn)
            return;
    }
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = r.adjusted(2, 2, -2, -2);
    p.fillRect(r, palette().color(QPalette::Button));
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
}

void TZEICustomCombo::PaintButton(QPainter& p, const QRect& button)
{
    // Themed: one pixel inside; plain: a pixel shorter at top and bottom, 2 left and 1 down.
    DrawArrowButton(p, IsWinXP ? button.adjusted(1, 1, -1, -1) : button.adjusted(0, 1, 0, -1).translated(-2, 1));
}

void TZEICustomCombo::PaintButtonEdge(QPainter& p, const QRect& button)
{
    if (IsWinXP)
        return;
    // Raised, or etched.
    const QRect edge = button.adjusted(1, 1, -2, -2);
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    p.setPen(m_etched ? dark : light);
    p.drawLine(edge.topLeft(), edge.topRight());
    p.drawLine(edge.topLeft(), edge.bottomLeft());
    p.setPen(m_etched ? light : dark);
    p.drawLine(edge.bottomLeft(), edge.bottomRight());
    p.drawLine(edge.topRight(), edge.bottomRight());
}

void TZEICustomCombo::enterEvent(QEnterEvent* event)
{
    QComboBox::enterEvent(event);
    if (!m_mouseIn && isEnabled()) {
        m_mouseIn = true;
        update();
    }
    if (AutoFocus)
        setFocus(Qt::MouseFocusReason);
}

void TZEICustomCombo::leaveEvent(QEvent* event)
{
    QComboBox::leaveEvent(event);
    if (m_mouseIn && isEnabled()) {
        m_mouseIn = false;
        update();
    }
}

void TZEICustomCombo::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && m_flat) {
        QPalette pal = palette();
        if (!isEnabled()) {
            // Disabled: the parent's colour; enabled again: the colour it had.
            m_savedColor = pal.color(QPalette::Active, QPalette::Base);
            const QColor parentColor = parentWidget() ? parentWidget()->palette().color(QPalette::Window)
                                                      : pal.color(QPalette::Window);
            pal.setColor(QPalette::Base, parentColor);
        } else {
            pal.setColor(QPalette::Base, m_savedColor);
        }
        setPalette(pal);
        if (lineEdit())
            lineEdit()->setPalette(pal);
    }
    QComboBox::changeEvent(event);
}

void TZEICustomCombo::focusInEvent(QFocusEvent* event)
{
    // Qt gives every new edit field (setEditable after a list style) a completer of its own; the
    // combos complete by their own rules only.
    if (lineEdit() && lineEdit()->completer())
        setCompleter(nullptr);
    QComboBox::focusInEvent(event);
    update();
}

void TZEICustomCombo::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    update();
}

// ------------------------------------------------------------------ Unicode combo

int TComboBoxStrings::Add(const QString& text)
{
    m_combo->addItem(text);
    return m_combo->count() - 1;
}

void TComboBoxStrings::Clear()
{
    const QString text = m_combo->currentText();
    m_combo->clear();
    if (m_combo->isEditable())
        m_combo->setEditText(text);
}

TZEIUniComboBox::TZEIUniComboBox(QWidget* parent) : TZEICustomCombo(parent), m_items(this) {}

QString TZEIUniComboBox::passChars(const QString& typed)
{
    QString out;
    for (QChar ch : typed) {
        QChar c = ch;
        BeforeEditChar(c);
        if (!c.isNull() && OnKeyPress)
            OnKeyPress(this, c);
        if (!c.isNull())
            out += c;
    }
    return out;
}

void TZEIUniComboBox::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    if (event->key() == Qt::Key_Backspace) {
        // Only the key event: no search through the items.
        QChar ch(8);
        if (OnKeyPress)
            OnKeyPress(this, ch);
        if (!ch.isNull() && isEditable())
            TZEICustomCombo::keyPressEvent(event);
        return;
    }
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        const QString out = passChars(text);
        if (out.isEmpty())
            return;
        if (out != text) {
            QKeyEvent replaced(event->type(), 0, event->modifiers(), out);
            TZEICustomCombo::keyPressEvent(&replaced);
            return;
        }
    }
    TZEICustomCombo::keyPressEvent(event);
}

void TZEIUniComboBox::inputMethodEvent(QInputMethodEvent* event)
{
    if (event->commitString().isEmpty()) {
        TZEICustomCombo::inputMethodEvent(event);
        return;
    }
    // A commit reaches the key handlers one character at a time.
    QInputMethodEvent e(event->preeditString(), event->attributes());
    e.setCommitString(passChars(event->commitString()), event->replacementStart(), event->replacementLength());
    TZEICustomCombo::inputMethodEvent(&e);
}

void TZEIUniComboBox::PaintButton(QPainter& p, const QRect& button)
{
    // One pixel inside the button area in both looks.
    DrawArrowButton(p, button.adjusted(1, 1, -1, -1));
}

void TZEIUniComboBox::PaintButtonEdge(QPainter& p, const QRect& button)
{
    // The plain look keeps its button as drawn. The themed look gets an edge two pixels inside the
    // button while the control is active: raised or etched, a flat line while the list is open.
    if (!IsWinXP || !(MouseInControl() || hasFocus()))
        return;
    const QRect edge = button.adjusted(-2, 0, 0, 0).adjusted(2, 2, -3, -3);
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    if (view()->isVisible()) {
        p.setPen(dark);
        p.drawRect(edge);
        return;
    }
    p.setPen(Etched() ? dark : light);
    p.drawLine(edge.topLeft(), edge.topRight());
    p.drawLine(edge.topLeft(), edge.bottomLeft());
    p.setPen(Etched() ? light : dark);
    p.drawLine(edge.bottomLeft(), edge.bottomRight());
    p.drawLine(edge.topRight(), edge.bottomRight());
}

} // namespace grid::editors
