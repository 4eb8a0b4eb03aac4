// The search bar: its options, the panel's controls and layout, and the wiring to the grid's
// search handlers.
#include "grid/GridSearchBar.h"

#include <QEvent>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace grid {

// ------------------------------------------------------------------ TSearchFooter

void TSearchFooter::SetVisible(bool v)
{
    if (m_visible == v)
        return;
    m_visible = v;
    changed();
}

void TSearchFooter::Assign(const TSearchFooter* s)
{
    if (!s)
        return;
    m_color = s->m_color;
    m_colorTo = s->m_colorTo;
    m_findNextCaption = s->m_findNextCaption;
    m_findPrevCaption = s->m_findPrevCaption;
    m_highLightCaption = s->m_highLightCaption;
    m_matchCaseCaption = s->m_matchCaseCaption;
    m_hintClose = s->m_hintClose;
    m_hintFindNext = s->m_hintFindNext;
    m_hintFindPrev = s->m_hintFindPrev;
    m_hintHighlight = s->m_hintHighlight;
    m_showClose = s->m_showClose;
    m_showFindNext = s->m_showFindNext;
    m_showFindPrev = s->m_showFindPrev;
    m_showHighLight = s->m_showHighLight;
    m_showMatchCase = s->m_showMatchCase;
    m_searchActiveColumnOnly = s->m_searchActiveColumnOnly;
    m_searchColumn = s->m_searchColumn;
    m_visible = s->m_visible;
    changed();
}

// ------------------------------------------------------------------ glyphs

namespace {

enum class Glyph { Down, Up, Close, Highlight };

// The button glyphs, drawn in the given colour (grey for the disabled variants).
QPixmap drawGlyph(Glyph g, const QColor& color, int size = 16)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(color);
    const qreal s = size;
    switch (g) {
    case Glyph::Down: {
        QPainterPath path;
        path.moveTo(s * 0.2, s * 0.35);
        path.lineTo(s * 0.8, s * 0.35);
        path.lineTo(s * 0.5, s * 0.75);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case Glyph::Up: {
        QPainterPath path;
        path.moveTo(s * 0.2, s * 0.7);
        path.lineTo(s * 0.8, s * 0.7);
        path.lineTo(s * 0.5, s * 0.3);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case Glyph::Close:
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(s * 0.2, s * 0.2), QPointF(s * 0.8, s * 0.8));
        p.drawLine(QPointF(s * 0.8, s * 0.2), QPointF(s * 0.2, s * 0.8));
        break;
    case Glyph::Highlight:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 230, 0, color == Qt::gray ? 90 : 255));
        p.drawRect(QRectF(s * 0.1, s * 0.55, s * 0.8, s * 0.3));
        p.setPen(QPen(color, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(s * 0.35, s * 0.5), QPointF(s * 0.65, s * 0.1));
        p.drawLine(QPointF(s * 0.55, s * 0.5), QPointF(s * 0.85, s * 0.1));
        break;
    }
    return pm;
}

QIcon glyphIcon(Glyph g, bool hasHot = false)
{
    QIcon icon;
    icon.addPixmap(drawGlyph(g, QColor(40, 40, 40)), QIcon::Normal);
    icon.addPixmap(drawGlyph(g, Qt::gray), QIcon::Disabled);
    if (hasHot) {
        icon.addPixmap(drawGlyph(g, QColor(200, 0, 0)), QIcon::Active);
        icon.addPixmap(drawGlyph(g, QColor(120, 0, 0)), QIcon::Selected);
    }
    return icon;
}

QToolButton* makeButton(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, w, h);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIconSize(QSize(12, 12));
    return b;
}

void setHint(QWidget* w, const QString& hint) { w->setToolTip(hint); }


} // namespace

// ------------------------------------------------------------------ TSearchPanel

TSearchPanel::TSearchPanel(TZedEzeravIvur* grid)
    : QWidget(grid), m_grid(grid), m_footer(new TSearchFooter(this))
{
    setObjectName(QStringLiteral("SearchPanel"));
    m_footer->setObjectName(QStringLiteral("SearchFooter"));
    setAutoFillBackground(false);
    resize(grid->width(), 0);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("SearchEdit"));
    m_edit->setGeometry(25, 5, 110, 21);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { editChanged(); });

    m_next = makeButton(this, "SearchNext", 140, 5, 90, 23);
    m_next->setIcon(glyphIcon(Glyph::Down));
    m_next->setEnabled(false);
    connect(m_next, &QToolButton::clicked, this, [this] { if (OnForwardClick) OnForwardClick(this); });

    m_prev = makeButton(this, "SearchPrev", 235, 5, 90, 23);
    m_prev->setIcon(glyphIcon(Glyph::Up));
    m_prev->setEnabled(false);
    connect(m_prev, &QToolButton::clicked, this, [this] { if (OnBackwardClick) OnBackwardClick(this); });

    m_close = makeButton(this, "SearchClose", 5, 7, 14, 14);
    m_close->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_close->setIcon(glyphIcon(Glyph::Close, true));
    m_close->setIconSize(QSize(12, 12));
    m_close->setAutoRaise(true);
    connect(m_close, &QToolButton::clicked, this, [this] { if (OnExitClick) OnExitClick(this); });

    m_highlight = makeButton(this, "SearchHighlight", 330, 5, 90, 23);
    m_highlight->setIcon(glyphIcon(Glyph::Highlight));
    m_highlight->setCheckable(true);
    m_highlight->setEnabled(false);
    connect(m_highlight, &QToolButton::clicked, this, [this] { if (OnHighlightClick) OnHighlightClick(this); });

    m_matchCase = new QCheckBox(this);
    m_matchCase->setObjectName(QStringLiteral("SearchMatchCase"));
    m_matchCase->move(425, 8);
    m_matchCase->setFocusPolicy(Qt::NoFocus);

    OnEditChange = [grid](QObject*) { grid->SearchTextChanged(); };
    OnBackwardClick = [grid](QObject*) { grid->SearchFindPrevious(); };
    OnForwardClick = [grid](QObject*) { grid->SearchFindNext(); };
    OnExitClick = [grid](QObject*) { grid->SearchClose(); };
    OnHighlightClick = [grid](QObject*) { grid->SearchHighlightClicked(); };
    m_footer->OnChange = [this](QObject*) { ApplySearchFooter(); };

    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);   // a scroll bar coming or going moves the cells' bottom
    grid->SetSearchBar(this);
    ApplySearchFooter();
}

TSearchPanel::~TSearchPanel()
{
    if (m_grid)
        m_grid->SetSearchBar(nullptr);
}

void TSearchPanel::editChanged()
{
    const bool has = !m_edit->text().isEmpty();
    m_next->setEnabled(has);
    m_prev->setEnabled(has);
    m_highlight->setEnabled(has);
    if (OnEditChange)
        OnEditChange(this);
}

void TSearchPanel::ApplySearchFooter()
{
    TSearchFooter* f = m_footer;
    m_color = f->Color();
    m_colorTo = f->ColorTo();
    m_next->setText(f->FindNextCaption());
    m_prev->setText(f->FindPrevCaption());
    m_matchCase->setText(f->MatchCaseCaption());
    m_matchCase->adjustSize();
    m_highlight->setText(f->HighLightCaption());

    const TControlStyle style = m_grid->ControlLook()->ControlStyle();
    bool flat = false;
    if (m_grid->AutoThemeAdapt || f->ThemeAdapt())
        flat = true;
    else if (style == csFlat)
        flat = true;
    for (QToolButton* b : {m_next, m_prev, m_highlight})
        b->setAutoRaise(flat);

    m_highlight->setVisible(f->ShowHighLight());
    m_close->setVisible(f->ShowClose());
    m_matchCase->setVisible(f->ShowMatchCase());
    m_prev->setVisible(f->ShowFindPrev());
    m_next->setVisible(f->ShowFindNext());
    setHint(m_close, f->HintClose());
    setHint(m_next, f->HintFindNext());
    setHint(m_prev, f->HintFindPrev());
    setHint(m_highlight, f->HintHighlight());

    m_matchCase->move(f->ShowHighLight() ? 425 : 330, 8);
    m_next->resize(90, f->ShowFindNext() ? 23 : 0);
    m_prev->resize(90, f->ShowFindPrev() ? 23 : 0);
    m_highlight->resize(90, f->ShowHighLight() ? 23 : 0);
    m_matchCase->resize(m_matchCase->width(), f->ShowMatchCase() ? 17 : 0);
    m_barHeight = f->Visible() ? 32 : 0;
    resize(width(), m_barHeight);
    setVisible(f->Visible());
    align();
    update();
}

// Docked at the bottom: the cells end above the panel.
void TSearchPanel::align()
{
    m_grid->LayoutBottomPanels();
}

int TSearchPanel::BarHeight() const
{
    return m_footer->Visible() ? m_barHeight : 0;
}

bool TSearchPanel::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_grid || watched == m_grid->viewport())
        && (event->type() == QEvent::Resize || event->type() == QEvent::Move) && m_footer->Visible())
        align();
    return QWidget::eventFilter(watched, event);
}

void TSearchPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    const QColor from = gfx::ToQColor(m_color, &palette());
    const QColor to = gfx::ToQColor(m_colorTo, &palette());
    if (!to.isValid() || !from.isValid()) {
        if (from.isValid())
            p.fillRect(r, from);
        return;
    }
    // A vertical gradient in 32 bands.
    constexpr int bands = 32;
    for (int i = 0; i < bands; ++i) {
        const int y0 = r.top() + r.height() * i / bands;
        const int y1 = r.top() + r.height() * (i + 1) / bands;
        const QColor c = QColor::fromRgb(from.red() + (to.red() - from.red()) * i / (bands - 1),
                                         from.green() + (to.green() - from.green()) * i / (bands - 1),
                                         from.blue() + (to.blue() - from.blue()) * i / (bands - 1));
        p.fillRect(QRect(r.left(), y0, r.width(), y1 - y0), c);
    }
}

QString TSearchPanel::EditText() const { return m_edit->text(); }
bool TSearchPanel::HighlightDown() const { return m_highlight->isChecked(); }
bool TSearchPanel::MatchCase() const { return m_matchCase->isChecked(); }
bool TSearchPanel::AutoSearch() const { return m_footer->AutoSearch(); }
bool TSearchPanel::SearchActiveColumnOnly() const { return m_footer->SearchActiveColumnOnly(); }
int TSearchPanel::SearchColumn() const { return m_footer->SearchColumn(); }

void TSearchPanel::SetEditColor(gfx::TColor color)
{
    QPalette pal = m_edit->palette();
    pal.setColor(QPalette::Base, gfx::ToQColor(color, &palette()));
    m_edit->setPalette(pal);
}

void TSearchPanel::SetVisible(bool visible) { m_footer->SetVisible(visible); }

TSearchPanel* GridSearchPanel(TZedEzeravIvur* grid)
{
    if (auto* p = grid->findChild<TSearchPanel*>(QStringLiteral("SearchPanel"), Qt::FindDirectChildrenOnly))
        return p;
    return new TSearchPanel(grid);
}

} // namespace grid
