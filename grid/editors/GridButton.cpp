#include "grid/editors/GridButton.h"

#include "platform/graphics/VisualStyles.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QStyleOptionButton>

namespace grid::editors {

TZodUvuzButton::TZodUvuzButton(QWidget* parent) : QWidget(parent)
{
    resize(23, 22);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

void TZodUvuzButton::SetMargin(int value)
{
    if (value < -1)
        return;
    m_margin = value;
    update();
}

void TZodUvuzButton::SetCaption(const QString& value)
{
    m_caption = value;
    // The caption's accelerator clicks the button.
    delete m_mnemonic;
    m_mnemonic = nullptr;
    const QKeySequence mnemonic = QKeySequence::mnemonic(value);
    if (!mnemonic.isEmpty() && parentWidget()) {
        m_mnemonic = new QShortcut(mnemonic, parentWidget());
        connect(m_mnemonic, &QShortcut::activated, this, [this] {
            if (isEnabled() && isVisible())
                click();
        });
    }
    update();
}

void TZodUvuzButton::SetAllowAllUp(bool value)
{
    m_allowAllUp = value;
    announce();
}

void TZodUvuzButton::SetGroupIndex(int value)
{
    m_groupIndex = value;
    announce();
}

void TZodUvuzButton::SetDown(bool value)
{
    if (m_groupIndex == 0 && m_style == tasButton)
        value = false;
    if (m_style == tasCheck) {
        m_down = value;
        update();
        return;
    }
    if (value == m_down || (m_down && !m_allowAllUp))
        return;
    m_down = value;
    if (value) {
        m_state = bsExclusive;
        update();
        announce();
    } else {
        m_state = bsUp;
        update();
    }
}

void TZodUvuzButton::announce()
{
    if (m_groupIndex == 0 || !parentWidget())
        return;
    // The group: the parent's direct children.
    for (QObject* o : parentWidget()->children())
        if (auto* b = qobject_cast<TZodUvuzButton*>(o); b && b != this)
            b->buttonPressed(m_groupIndex, this);
}

void TZodUvuzButton::buttonPressed(int group, TZodUvuzButton* sender)
{
    if (group != m_groupIndex)
        return;
    if (sender->m_down && m_down) {
        m_down = false;
        m_state = bsUp;
        if (m_action && m_action->isCheckable())
            m_action->setChecked(false);
        update();
    }
    m_allowAllUp = sender->m_allowAllUp;
}

void TZodUvuzButton::SetGlyph(const QImage& value)
{
    m_glyph = value;
    if (GlyphDisabled.isNull() && !value.isNull()) {
        QImage gray = value.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < gray.height(); ++y)
            for (int x = 0; x < gray.width(); ++x) {
                const QRgb px = gray.pixel(x, y);
                const int avg = (qRed(px) + qGreen(px) + qBlue(px)) / 3;
                const int level = avg / 2 + 96;
                gray.setPixel(x, y, qRgba(level, level, level, qAlpha(px)));
            }
        GlyphDisabled = gray;
    }
    // A new glyph gets a new shade while shading is on.
    if (m_shaded)
        buildShade();
    update();
}

void TZodUvuzButton::SetShaded(bool value)
{
    m_shaded = value;
    if (value)
        buildShade();
}

void TZodUvuzButton::buildShade()
{
    if (m_glyph.isNull()) {
        m_shade = QImage();
        return;
    }
    // A gray silhouette of the glyph's pixels that are not its transparent colour (the bottom-left
    // pixel's).
    const QImage g = m_glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = g.pixel(0, g.height() - 1);
    QImage s(g.size(), QImage::Format_ARGB32);
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x) {
            const QRgb px = g.pixel(x, y);
            s.setPixel(x, y, (px == transparent || qAlpha(px) == 0) ? qRgba(0, 0, 0, 0) : qRgb(0x80, 0x80, 0x80));
        }
    m_shade = s;
}

int TZodUvuzButton::CurrentScheme()
{
    const QString name = visualstyles::GetCurrentThemeName().colorName;
    if (name == QLatin1String("NormalColor"))
        return 1;
    if (name == QLatin1String("HomeStead"))
        return 2;
    if (name == QLatin1String("Metallic"))
        return 3;
    return 0;
}

void TZodUvuzButton::SetAutoThemeAdapt(bool value)
{
    m_autoThemeAdapt = value;
    if (value)
        ApplyScheme(CurrentScheme());
}

void TZodUvuzButton::ApplyScheme(int scheme)
{
    struct Preset {
        gfx::TColor color, colorTo, hot, hotTo, down, downTo, checked, checkedTo, border;
    };
    static const Preset presets[4] = {
        {gfx::clBtnFace, gfx::clNone, 0xEED2C1, gfx::clNone, 0xE2B598, gfx::clNone, 0xE8E6E1, gfx::clNone, 0xC56A31},
        {0xFDEADA, 0xE4AE88, 0xCCF4FF, 0x91D0FF, 0x4E91FE, 0x8ED3FF, 0x8ED3FF, 0x55ADFF, 0x000000},
        {0xCFF0EA, 0x8CC0B1, 0xCCF4FF, 0x91D0FF, 0x4E91FE, 0x8ED3FF, 0x8ED3FF, 0x55ADFF, 0x000000},
        {0xECE2E1, 0xB39698, 0xCCF4FF, 0x91D0FF, 0x4E91FE, 0x8ED3FF, 0x8ED3FF, 0x55ADFF, 0x000000},
    };
    const Preset& p = presets[std::clamp(scheme, 0, 3)];
    Color = p.color;
    ColorTo = p.colorTo;
    ColorHot = p.hot;
    ColorHotTo = p.hotTo;
    ColorDown = p.down;
    ColorDownTo = p.downTo;
    ColorChecked = p.checked;
    ColorCheckedTo = p.checkedTo;
    BorderColor = gfx::clNone;
    BorderDownColor = BorderHotColor = p.border;
    m_rounded = false;
    m_flat = true;
    update();
}

void TZodUvuzButton::SetAction(QAction* action)
{
    m_action = action;
    if (!action)
        return;
    auto sync = [this] {
        if (!m_action)
            return;
        if (m_action->text() != m_caption)
            SetCaption(m_action->text());
        if (m_groupIndex != 0 && m_allowAllUp && m_action->isCheckable() && m_action->isChecked() != m_down)
            SetDown(m_action->isChecked());
        setEnabled(m_action->isEnabled());
    };
    connect(action, &QAction::changed, this, sync);
    sync();
}

void TZodUvuzButton::click()
{
    if (m_action)
        m_action->trigger();
    if (OnClick)
        OnClick(this);
}

void TZodUvuzButton::CalcLayout(const QRect& client, QPoint& glyphPos, QRect& textBounds) const
{
    TButtonLayout layout = m_layout;
    if (layoutDirection() == Qt::RightToLeft) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    const QSize glyph = m_glyph.isNull() ? QSize(0, 0) : m_glyph.size();
    QSize text(0, 0);
    if (m_showCaption && !m_caption.isEmpty()) {
        const QRect b = fontMetrics().boundingRect(QRect(0, 0, client.width(), 0), Qt::TextShowMnemonic, m_caption);
        text = b.size();
    }
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    QPoint gp, tp;
    if (horizontal) {
        gp.setY((client.height() - glyph.height() + 1) / 2);
        tp.setY((client.height() - text.height() + 1) / 2);
    } else {
        gp.setX((client.width() - glyph.width() + 1) / 2);
        tp.setX((client.width() - text.width() + 1) / 2);
    }
    int spacing = m_spacing, margin = m_margin;
    if (glyph.isEmpty() || text.isEmpty())
        spacing = 0;
    const int extent = horizontal ? client.width() : client.height();
    const int g = horizontal ? glyph.width() : glyph.height();
    const int t = horizontal ? text.width() : text.height();
    if (margin == -1 && spacing == -1) {
        margin = spacing = (extent - g - t) / 3;
    } else if (margin == -1) {
        margin = (extent - g - spacing - t + 1) / 2;
    } else if (spacing == -1) {
        spacing = (extent - margin - g - t) / 2;
    }
    switch (layout) {
    case blGlyphLeft: gp.setX(margin); tp.setX(margin + g + spacing); break;
    case blGlyphRight: gp.setX(extent - margin - g); tp.setX(extent - margin - g - spacing - t); break;
    case blGlyphTop: gp.setY(margin); tp.setY(margin + g + spacing); break;
    case blGlyphBottom: gp.setY(extent - margin - g); tp.setY(extent - margin - g - spacing - t); break;
    }
    glyphPos = gp + client.topLeft();
    textBounds = QRect(tp + client.topLeft(), text);
}

void TZodUvuzButton::fillRect(QPainter& p, const QRect& r, gfx::TColor from, gfx::TColor to, gfx::TColor outline)
{
    const QPalette& pal = palette();
    if (to == gfx::clNone) {
        p.fillRect(r, gfx::ToQColor(from, &pal));
    } else {
        // A vertical gradient in 16 steps.
        const QColor a = gfx::ToQColor(from, &pal), b = gfx::ToQColor(to, &pal);
        for (int i = 0; i < 16; ++i) {
            const int y0 = r.top() + r.height() * i / 16, y1 = r.top() + r.height() * (i + 1) / 16;
            const QColor c(a.red() + (b.red() - a.red()) * i / 15, a.green() + (b.green() - a.green()) * i / 15,
                           a.blue() + (b.blue() - a.blue()) * i / 15);
            p.fillRect(QRect(r.left(), y0, r.width(), y1 - y0), c);
        }
    }
    if (outline != gfx::clNone) {
        p.setPen(gfx::ToQColor(outline, &pal));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void TZodUvuzButton::paintEvent(QPaintEvent*)
{
    if (!isEnabled()) {
        m_state = bsDisabled;
        m_dragging = false;
    } else if (m_state == bsDisabled) {
        m_state = m_down && m_groupIndex != 0 ? bsExclusive : bsUp;
    }
    if (m_style == tasCheck && m_down)
        m_state = bsDown;
    QPainter p(this);
    p.setFont(font());
    QRect r = rect();
    const bool pressed = m_state == bsDown || m_state == bsExclusive;
    if (m_flat) {
        if (BorderDownColor == gfx::clNone || m_rounded)
            r.adjust(1, 1, -1, -1);
        if (!m_hot || !isEnabled()) {
            if (m_style == tasCheck && m_down)
                fillRect(p, r, ColorChecked, ColorCheckedTo, BorderDownColor);
            else
                fillRect(p, r, Color, ColorTo,
                         ColorTo == gfx::clNone || m_rounded ? gfx::clNone : (m_down ? BorderDownColor : BorderColor));
            if (BorderColor != gfx::clNone) {
                p.setPen(gfx::ToQColor(BorderColor, &palette()));
                p.setBrush(Qt::NoBrush);
                if (m_rounded)
                    p.drawRoundedRect(r.adjusted(-1, -1, 0, 0), 4, 4);
                else
                    p.drawRect(r.adjusted(0, 0, -1, -1));
            }
        } else {
            gfx::TColor from = ColorHot, to = ColorHotTo, border = BorderHotColor;
            if (m_state == bsDown && !(m_style == tasCheck && m_down && !m_dragging)) {
                from = ColorDown;
                to = ColorDownTo;
                border = BorderDownColor;
            } else if (m_style == tasCheck && m_down) {
                from = ColorChecked;
                to = ColorCheckedTo;
                border = BorderDownColor;
            }
            fillRect(p, r, from, to, m_rounded ? gfx::clNone : border);
            if (m_rounded) {
                p.setPen(gfx::ToQColor(m_state == bsDown ? BorderDownColor : BorderHotColor, &palette()));
                p.drawRoundedRect(r.adjusted(-1, -1, 0, 0), 4, 4);
            }
            if (m_dropDown) {
                p.setPen(gfx::ToQColor(border == gfx::clNone ? gfx::clBtnShadow : border, &palette()));
                p.drawLine(r.right() - 12, r.top(), r.right() - 12, r.bottom());
            }
        }
        r.adjust(1, 1, -1, -1);
    } else {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = rect();
        opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
    }
    QPoint offset;
    if (pressed) {
        if (m_state == bsExclusive && (!m_flat || !m_hot))
            fillRect(p, r.adjusted(-1, -1, 1, 1), ColorChecked, ColorCheckedTo, gfx::clNone);
        if (!m_flat)
            offset = QPoint(1, 1);
    } else if (m_flat && m_hot && isEnabled() && m_shaded) {
        offset = QPoint(-1, -1);
    }
    if (m_dropDown) {
        const int cx = r.right() - 6, cy = r.center().y();
        QPainterPath tri;
        tri.moveTo(cx - 2, cy - 1);
        tri.lineTo(cx + 3, cy - 1);
        tri.lineTo(cx + 0.5, cy + 2);
        tri.closeSubpath();
        p.fillPath(tri, palette().color(QPalette::WindowText));
        r.setRight(r.right() - 12);
    }
    QPoint gp;
    QRect tb;
    CalcLayout(r, gp, tb);
    gp += offset;
    tb.translate(offset);
    QImage glyph = m_glyph;
    if (!isEnabled())
        glyph = GlyphDisabled.isNull() ? m_glyph : GlyphDisabled;
    else if (pressed)
        glyph = GlyphDown.isNull() ? m_glyph : GlyphDown;
    else if (m_hot)
        glyph = GlyphHot.isNull() ? m_glyph : GlyphHot;
    if (!glyph.isNull()) {
        if (m_caption.isEmpty() || !m_showCaption)
            gp = QPoint(0, 0);
        if (m_hot && m_shaded && isEnabled() && !pressed && !m_shade.isNull())
            p.drawImage(gp + QPoint(2, 2), m_shade);
        // Drawn transparently: the bottom-left pixel's colour is the transparent one.
        QImage img = glyph.convertToFormat(QImage::Format_ARGB32);
        const QRgb transparent = img.pixel(0, img.height() - 1);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) == transparent)
                    img.setPixel(x, y, qRgba(0, 0, 0, 0));
        p.drawImage(gp, img);
    }
    if (m_showCaption && !m_caption.isEmpty()) {
        if (m_flat && m_hot && isEnabled() && m_shaded && !pressed)
            tb.translate(1, 1);
        const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
        if (!isEnabled()) {
            p.setPen(palette().color(QPalette::Light));
            p.drawText(tb.translated(1, 1), flags, m_caption);
            p.setPen(palette().color(QPalette::Dark));
        } else {
            p.setPen(palette().color(QPalette::WindowText));
        }
        p.drawText(tb, flags, m_caption);
    }
}

void TZodUvuzButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    if (m_dropDown && event->position().x() >= width() - 12) {
        m_state = bsUp;
        m_hot = false;
        update();
        if (OnDropDown)
            OnDropDown(this);
        if (DropDownMenu)
            DropDownMenu->popup(mapToGlobal(QPoint(0, height())));
        return;
    }
    if (!m_down || m_style == tasCheck)
        m_state = bsDown;
    update();
    m_dragging = true;
}

void TZodUvuzButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    int state = m_down ? bsExclusive : bsUp;
    if (inside(event->position().toPoint()))
        state = m_down ? bsExclusive : bsDown;
    if (m_style == tasCheck && m_down)
        state = bsDown;
    if (state != m_state) {
        m_state = state;
        update();
    }
}

void TZodUvuzButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    const bool in = inside(event->position().toPoint());
    if (m_groupIndex == 0) {
        m_state = bsUp;
        if (m_style == tasCheck && in)
            m_down = !m_down;
    } else if (in) {
        SetDown(!m_down);
    } else if (m_down) {
        m_state = bsExclusive;
    }
    update();
    if (in)
        click();
}

void TZodUvuzButton::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (m_flat && isEnabled() && !m_hot) {
        m_hot = true;
        update();
    }
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TZodUvuzButton::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_flat && isEnabled() && m_hot && !m_dragging) {
        m_hot = false;
        update();
    }
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TZodUvuzButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::PaletteChange)
        update();
}

} // namespace grid::editors
