#include "grid/editors/FlatCombo.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace grid::editors {

TZEIComboBox::TZEIComboBox(QWidget* parent) : QComboBox(parent)
{
    m_buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    setAttribute(Qt::WA_Hover);
    m_savedColor = palette().color(QPalette::Base);
}

void TZEIComboBox::SetButtonWidth(int value)
{
    if (value < 14 || value > 32)
        return;
    m_buttonWidth = value;
    update();
}

void TZEIComboBox::SetFlat(bool value)
{
    if (value == m_flat)
        return;
    m_flat = value;
    update();
}

void TZEIComboBox::SetEtched(bool value)
{
    if (value == m_etched)
        return;
    m_etched = value;
    update();
}

void TZEIComboBox::SetDropWidth(int value)
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

void TZEIComboBox::paintEvent(QPaintEvent* event)
{
    if (!m_flat) {
        QComboBox::paintEvent(event);
        return;
    }
    QPainter p(this);
    const QColor own = palette().color(QPalette::Base);
    p.fillRect(rect(), own);
    // The text (or the edit field, a child of its own) and a flat drop-down button.
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.frame = false;
    const QRect button(width() - m_buttonWidth, 0, m_buttonWidth, height());
    if (!isEditable()) {
        QRect text = rect().adjusted(3, 0, -m_buttonWidth, 0);
        p.setPen(palette().color(isEnabled() ? QPalette::Text : QPalette::PlaceholderText));
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, currentText());
    }
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = button.adjusted(3, 3, -3, -3);
    p.fillRect(button.adjusted(1, 1, -1, -1), palette().color(QPalette::Button));
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
    // The button edge: raised, or etched.
    const QRect edge = button.adjusted(1, 1, -2, -2);
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    if (!IsWinXP) {
        p.setPen(m_etched ? dark : light);
        p.drawLine(edge.topLeft(), edge.topRight());
        p.drawLine(edge.topLeft(), edge.bottomLeft());
        p.setPen(m_etched ? light : dark);
        p.drawLine(edge.bottomLeft(), edge.bottomRight());
        p.drawLine(edge.topRight(), edge.bottomRight());
    }
    // The border: sunken in the focused look, else thin in the parent's colour.
    const bool focused = FocusBorder && (m_mouseIn || hasFocus());
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

void TZEIComboBox::enterEvent(QEnterEvent* event)
{
    QComboBox::enterEvent(event);
    if (!m_mouseIn && isEnabled()) {
        m_mouseIn = true;
        update();
    }
    if (AutoFocus)
        setFocus(Qt::MouseFocusReason);
}

void TZEIComboBox::leaveEvent(QEvent* event)
{
    QComboBox::leaveEvent(event);
    if (m_mouseIn && isEnabled()) {
        m_mouseIn = false;
        update();
    }
}

void TZEIComboBox::changeEvent(QEvent* event)
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

void TZEIComboBox::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    update();
}

void TZEIComboBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    update();
}

} // namespace grid::editors
