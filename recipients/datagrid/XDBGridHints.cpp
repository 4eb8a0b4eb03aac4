#include "recipients/datagrid/XDBGridHints.h"

#include <QPainter>
#include <QStringList>

namespace xdb {

TXHintWindow::TXHintWindow(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("XHintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &TXHintWindow::ReleaseHandle);
}

int TXHintWindow::TextFlags() const
{
    int flags = Qt::TextWordWrap;
    switch (m_alignment) {
    case db::taRightJustify: flags |= Qt::AlignRight; break;
    case db::taCenter: flags |= Qt::AlignHCenter; break;
    default: flags |= Qt::AlignLeft; break;
    }
    return flags;
}

QString TXHintWindow::Wrapped(const QString& text, int width, const QFontMetrics& fm) const
{
    QStringList lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString& para : paragraphs) {
        const QStringList words = para.split(QLatin1Char(' '));
        QString line;
        for (const QString& w : words) {
            const QString candidate = line.isEmpty() ? w : line + QLatin1Char(' ') + w;
            if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
                lines << line;
                line = w;
            } else {
                line = candidate;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QRect TXHintWindow::CalcHintRect(int maxWidth, const QString& hint, const TXHintData* data)
{
    QFont f = font();
    if (data && data->font)
        f = *data->font;
    setFont(f);
    setLayoutDirection(data && data->rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    m_alignment = data ? data->alignment : db::taLeftJustify;
    m_wordWrap = data ? data->wordWrap : false;
    const QFontMetrics fm(f);
    QRect r;
    if (m_wordWrap) {
        int width = maxWidth;
        if (m_alignment == db::taCenter && width % 2 == 0)
            --width;
        const QString text = Wrapped(hint, width + 2, fm);
        r = fm.boundingRect(QRect(0, 0, width + 2, 100000), TextFlags(), text);
        r.moveTopLeft(QPoint(0, 0));
        const bool several = text.contains(QLatin1Char('\n'));
        if (r.width() <= maxWidth || (r.width() <= maxWidth + 2 && several))
            r.setWidth(maxWidth);
    } else {
        r = fm.boundingRect(QRect(0, 0, maxWidth, 100000), TextFlags(), hint);
        r.moveTopLeft(QPoint(0, 0));
        if (m_alignment == db::taCenter && r.width() % 2 == 1)
            r.setWidth(r.width() + 1);
    }
    r.setWidth(r.width() + 6);
    r.setHeight(r.height() + 2);
    return r;
}

void TXHintWindow::ActivateHint(const QRect& rect, const QString& hint, const TXHintData* data, int hideTimeout)
{
    if (data) {
        if (data->font)
            setFont(*data->font);
        m_alignment = data->alignment;
        m_wordWrap = data->wordWrap;
        setLayoutDirection(data->rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    }
    m_text = hint;
    setGeometry(rect);
    show();
    raise();
    update();
    m_hideTimer.stop();
    if (hideTimeout > 0)
        m_hideTimer.start(hideTimeout);
}

void TXHintWindow::ReleaseHandle()
{
    m_hideTimer.stop();
    hide();
}

void TXHintWindow::paintEvent(QPaintEvent* event)
{
    (void)event;
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::ToolTipBase));
    p.setPen(palette().color(QPalette::ToolTipText).darker(150));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QRect r = rect();
    switch (m_alignment) {
    case db::taRightJustify: r.setRight(r.right() - 2); break;
    case db::taCenter: r.adjust(1, 0, -1, 0); break;
    default: r.setLeft(r.left() + 2); break;
    }
    r.setTop(r.top() + 2);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.setFont(font());
    const QString text = m_wordWrap ? Wrapped(m_text, r.width(), QFontMetrics(font())) : m_text;
    p.drawText(r, TextFlags() | Qt::AlignTop, text);
}

} // namespace xdb
