// Dragging rows and docking the grid, the floating grids of nested datasets, the flat scroll
// bar look, the input method of the editor per column and the column expansion event.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridEdit.h"

#include <QApplication>
#include <QDataStream>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QVBoxLayout>
#include <qdrawutil.h>

namespace xdb {

namespace {

const char* kDockMimeType = "application/x-qly-grid-dock";

// The nearest data grid at or above a widget.
TXCustomDBGrid* GridOf(QObject* o)
{
    for (; o; o = o->parent())
        if (auto* g = qobject_cast<TXCustomDBGrid*>(o))
            return g;
    return nullptr;
}

QWidget* DockSiteOf(QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (w->property("dockSite").toBool())
            return w;
    return nullptr;
}

// Draws the bars in the flat look while the grid uses flat scroll bars, else as the style does.
class TXFlatScrollStyle : public QProxyStyle {
public:
    explicit TXFlatScrollStyle(TXCustomDBGrid* grid) : m_grid(grid) {}

    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* opt, QPainter* p,
                            const QWidget* w) const override
    {
        const auto* sb = qstyleoption_cast<const QStyleOptionSlider*>(opt);
        if (cc != CC_ScrollBar || !sb || !m_grid->FlatScrollBars()) {
            QProxyStyle::drawComplexControl(cc, opt, p, w);
            return;
        }
        const QPalette& pal = opt->palette;
        p->fillRect(opt->rect, gfx::ToQColor(m_grid->ScrollProp()->Color(), &pal));
        const TScrollBarStyle look = m_grid->ScrollProp()->Style();
        const bool horizontal = sb->orientation == Qt::Horizontal;
        for (const SubControl sc : {SC_ScrollBarSubLine, SC_ScrollBarAddLine, SC_ScrollBarSlider}) {
            const QRect r = subControlRect(cc, sb, sc, w);
            if (!r.isValid() || r.isEmpty())
                continue;
            const bool active = sb->activeSubControls & sc;
            const bool down = active && (sb->state & State_Sunken);
            const bool hot = active && (sb->state & State_MouseOver) && !down;
            const QBrush face = pal.button();
            switch (look) {
            case ssRegular:
                qDrawShadePanel(p, r, pal, down, 1, &face);
                break;
            case ssFlat:
                // Flat until the mouse is over it, then raised (pressed: sunken).
                if (hot || down)
                    qDrawShadePanel(p, r, pal, down, 1, &face);
                else
                    qDrawPlainRect(p, r, pal.color(QPalette::Dark), 1, &face);
                break;
            case ssHotTrack:
                // Flat without a frame; the part under the mouse is lit.
                if (hot || down)
                    qDrawPlainRect(p, r, pal.color(QPalette::Highlight), 1, &pal.midlight());
                else
                    p->fillRect(r, face);
                break;
            }
            if (sc == SC_ScrollBarSlider)
                continue;
            QStyleOption arrow(*opt);
            arrow.rect = r.adjusted(2, 2, -2, -2).translated(down ? 1 : 0, down ? 1 : 0);
            arrow.state = opt->state & State_Enabled;
            const bool sub = sc == SC_ScrollBarSubLine;
            const PrimitiveElement pe = horizontal ? (sub ? PE_IndicatorArrowLeft : PE_IndicatorArrowRight)
                                                   : (sub ? PE_IndicatorArrowUp : PE_IndicatorArrowDown);
            proxy()->drawPrimitive(pe, &arrow, p, w);
        }
    }

private:
    TXCustomDBGrid* m_grid;
};

} // namespace

// ------------------------------------------------------------------ column expansion, input method

void TXCustomDBGrid::ColExpand(TXColumn* column)
{
    if (OnColExpand)
        OnColExpand(column);
}

void TXCustomDBGrid::ApplyImeToEditor()
{
    tk::TInplaceEdit* editor = InplaceEditor();
    if (!editor)
        return;
    const int dc = SelectedIndex();
    TXColumn* column = dc >= 0 && dc < m_columns->Count() ? m_columns->Items(dc) : nullptr;
    const TImeMode mode = column ? column->ImeMode() : m_imeMode;
    const QString name = column ? column->ImeName() : m_imeName;
    // A closed or disabled input method: keys reach the editor directly. Alphanumeric modes ask
    // for Latin input; the others leave the input method its own choice.
    editor->setAttribute(Qt::WA_InputMethodEnabled, mode != imDisable && mode != imClose);
    Qt::InputMethodHints hints = editor->inputMethodHints() & ~(Qt::ImhLatinOnly | Qt::ImhPreferLatin);
    if (mode == imSAlpha || mode == imAlpha)
        hints |= Qt::ImhLatinOnly;
    editor->setInputMethodHints(hints);
    editor->setProperty("imeName", name);
    if (editor->hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImHints);
}

// ------------------------------------------------------------------ dragging rows

QPixmap TXCustomDBGrid::DragCursorPixmap(bool multi)
{
    // An arrow with one page (crDrag) or three stacked pages (crMultiDrag) below it.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QPolygon arrow({QPoint(0, 0), QPoint(0, 15), QPoint(4, 11), QPoint(7, 17), QPoint(9, 16), QPoint(6, 10),
                          QPoint(11, 10)});
    p.setPen(Qt::white);
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    const int pages = multi ? 3 : 1;
    for (int i = pages - 1; i >= 0; --i) {
        const QRect page(8 + 3 * i, 16 + 3 * i, 10, 12);
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawRect(page);
    }
    return pm;
}

QList<db::TBookmark> TXCustomDBGrid::DraggedBookmarks(const QMimeData* data)
{
    QList<db::TBookmark> out;
    if (!data || !data->hasFormat(QString::fromLatin1(kRowsMimeType)))
        return out;
    QDataStream in(data->data(QString::fromLatin1(kRowsMimeType)));
    in >> out;
    return out;
}

void TXCustomDBGrid::StartRowDrag()
{
    db::TDataSet* ds = m_dataLink->DataSet();
    if (!m_dataLink->Active() || !ds || ds->IsEmpty())
        return;
    QList<db::TBookmark> marks;
    for (const db::TBookmark& b : m_bookmarks->List())
        marks << b;
    if (marks.isEmpty())
        marks << ds->GetBookmark();
    if (OnStartDrag)
        OnStartDrag(this);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << marks;
    }
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kRowsMimeType), bytes);
    QDrag* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QPixmap cursor = DragCursorPixmap(m_bookmarks->Count() > 1);
    drag->setDragCursor(cursor, Qt::MoveAction);
    drag->setDragCursor(cursor, Qt::CopyAction);
    drag->setDragCursor(cursor, Qt::IgnoreAction);
    const Qt::DropAction done = drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    QObject* target = done == Qt::IgnoreAction ? nullptr : drag->target();
    TXCustomDBGrid* targetGrid = GridOf(target);
    QPoint at = QCursor::pos();
    if (targetGrid)
        at = targetGrid->viewport()->mapFromGlobal(at);
    if (OnEndDrag)
        OnEndDrag(this, targetGrid ? static_cast<QObject*>(targetGrid) : target, at.x(), at.y());
    drag->deleteLater();
}

bool TXCustomDBGrid::AcceptsRowDrag(QDropEvent* event)
{
    if (!OnDragOver || !event->mimeData()->hasFormat(QString::fromLatin1(kRowsMimeType)))
        return false;
    TXCustomDBGrid* source = GridOf(event->source());
    const QPoint at = viewport()->mapFrom(this, event->position().toPoint());
    bool accept = false;
    OnDragOver(this, source, at.x(), at.y(), accept);
    return accept;
}

void TXCustomDBGrid::dragEnterEvent(QDragEnterEvent* event)
{
    if (AcceptsRowDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TXCustomDBGrid::dragMoveEvent(QDragMoveEvent* event)
{
    if (AcceptsRowDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TXCustomDBGrid::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(kRowsMimeType))) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (OnDragDrop) {
        const QPoint at = viewport()->mapFrom(this, event->position().toPoint());
        OnDragDrop(this, GridOf(event->source()), at.x(), at.y());
    }
}

// ------------------------------------------------------------------ docking

bool TXCustomDBGrid::Floating() const
{
    return m_floatWindow && parentWidget() == m_floatWindow;
}

void TXCustomDBGrid::FloatAt(const QPoint& globalPos)
{
    if (!Floating()) {
        QWidget* home = parentWidget();
        if (!home) {
            move(globalPos); // already a window of its own
            return;
        }
        m_dockHome = home;
        auto* w = new QWidget(home->window(), Qt::Tool);
        w->setObjectName(objectName() + QStringLiteral("Float"));
        w->setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(w);
        layout->setContentsMargins(0, 0, 0, 0);
        const QSize size = this->size();
        setParent(w);
        layout->addWidget(this);
        w->resize(size);
        m_floatWindow = w;
    }
    m_floatWindow->move(globalPos);
    m_floatWindow->show();
    show();
}

void TXCustomDBGrid::DockInto(QWidget* site)
{
    if (!site)
        return;
    QWidget* old = Floating() ? m_floatWindow.data() : nullptr;
    setParent(site);
    if (site->layout())
        site->layout()->addWidget(this);
    else
        setGeometry(site->rect());
    show();
    m_dockHome = site;
    if (old) {
        m_floatWindow = nullptr;
        old->deleteLater();
    }
}

void TXCustomDBGrid::StartDocking(const QPoint& globalPos)
{
    if (OnStartDock)
        OnStartDock(this);
    // While the docking drag runs, dock sites accept it.
    struct SiteFilter : QObject {
        QPointer<QWidget> site;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            const auto t = e->type();
            if (t != QEvent::DragEnter && t != QEvent::DragMove && t != QEvent::Drop)
                return false;
            auto* de = static_cast<QDropEvent*>(e);
            if (!de->mimeData()->hasFormat(QString::fromLatin1(kDockMimeType)))
                return false;
            QWidget* w = qobject_cast<QWidget*>(o);
            QWidget* s = DockSiteOf(w);
            if (!s)
                return false;
            de->acceptProposedAction();
            if (t == QEvent::Drop)
                site = s;
            return true;
        }
    } filter;
    qApp->installEventFilter(&filter);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kDockMimeType), QByteArray());
    QDrag* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(grab().scaled(160, 100, Qt::KeepAspectRatio));
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    qApp->removeEventFilter(&filter);
    drag->deleteLater();
    QWidget* site = filter.site;
    if (site && (site == this || isAncestorOf(site)))
        site = nullptr;
    const QPoint at = QCursor::pos();
    if (site)
        DockInto(site);
    else
        FloatAt(at == globalPos ? globalPos : at);
    if (OnEndDock) {
        const QPoint local = site ? site->mapFromGlobal(at) : at;
        OnEndDock(this, site, local.x(), local.y());
    }
}

// ------------------------------------------------------------------ nested datasets

TXCustomDBGrid* TXCustomDBGrid::CreateNestedGrid()
{
    return new TXDBGrid;
}

QList<TXCustomDBGrid*> TXCustomDBGrid::NestedGrids() const
{
    QList<TXCustomDBGrid*> out;
    for (const auto& v : m_nestedViews)
        if (v->grid)
            out << v->grid.data();
    return out;
}

void TXCustomDBGrid::FreeNestedGrids()
{
    m_nestedViews.clear();
}

void TXCustomDBGrid::ShowNestedDataSet(TXColumn* column, int x, int y)
{
    db::TField* field = column ? column->Field() : nullptr;
    db::TDataSet* nested = field && field->DataType() == db::ftDataSet ? field->NestedDataSet() : nullptr;
    if (!nested)
        return;
    for (const auto& v : m_nestedViews) {
        if (v->dataSet == nested && v->grid && v->window && v->grid->isEnabled()) {
            v->window->show();
            v->window->raise();
            v->grid->setFocus();
            return;
        }
    }
    auto view = std::make_unique<NestedView>();
    view->dataSet = nested;
    view->source = std::make_unique<db::TDataSource>(nested);
    if (nested->Active())
        nested->CheckBrowseMode();
    auto* window = new QWidget(this, Qt::Tool);
    window->setObjectName(objectName() + QStringLiteral("Nested"));
    window->setWindowTitle(field->DisplayName());
    view->window = window;
    TXCustomDBGrid* grid = CreateNestedGrid();
    view->grid = grid;
    try {
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(grid);
        grid->SetOptions(m_options & ~TXDBGridOptions(dgTitleButtons | dgMarkerAutoToggle));
        grid->SetFixedStyle(m_fixedStyle);
        grid->SetFocusRect(m_focusRect);
        grid->SetEditorColor(m_editorColor);
        grid->SetStripeColor(m_stripeColor);
        grid->SetResizeOptions(m_resizeOptions);
        grid->SetImeMode(m_imeMode);
        grid->SetImeName(m_imeName);
        grid->setFont(font());
        grid->setPalette(palette());
        grid->setEnabled(isEnabled());
        grid->setCursor(cursor());
        grid->SetFillerIndex(-1);
        grid->SetDragKind(dkDock);
        for (QWidget* p = this; p; p = p->parentWidget())
            if (auto* g = qobject_cast<TXCustomDBGrid*>(p); g && g->PopupMenu()) {
                grid->SetPopupMenu(g->PopupMenu());
                break;
            }
        grid->SetDataSource(view->source.get());
        if (grid->Columns()->Count() > 0)
            grid->Columns()->Items(0)->SetExpanded(true);
    } catch (...) {
        view.reset();
        throw;
    }
    // A quarter of the screen high; as wide as its columns up to half the screen, else a quarter.
    QScreen* screen = this->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    int columnsWidth = grid->IndicatorOffset() ? grid->ColWidths(0) : 0;
    for (TXColumn* c : grid->VisibleColumns())
        columnsWidth += c->Width() + 1;
    columnsWidth += grid->verticalScrollBar()->sizeHint().width() + 4;
    const int width = columnsWidth < avail.width() / 2 ? columnsWidth : avail.width() / 4;
    window->resize(width, avail.height() / 4);
    QPoint at(x, y);
    if (x < 0 || y < 0)
        at = viewport()->mapToGlobal(CellRect(Col(), Row()).bottomRight());
    window->move(at);
    window->show();
    grid->setFocus();
    m_nestedViews.push_back(std::move(view));
}

// ------------------------------------------------------------------ flat scroll bars

bool TXCustomDBGrid::FlatScrollBars() const
{
    return !tk::ThemesEnabled() && !m_scrollProp->WinXPMode() && layoutDirection() == Qt::LeftToRight;
}

void TXCustomDBGrid::UpdateScrollBarLook()
{
    if (!m_scrollProp)
        return;
    if (!m_scrollStyle) {
        auto* style = new TXFlatScrollStyle(this);
        style->setParent(this);
        m_scrollStyle = style;
        for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
            bar->setStyle(style);
            bar->setAttribute(Qt::WA_Hover, true);
        }
    }
    verticalScrollBar()->update();
    horizontalScrollBar()->update();
    // The editor's lists take the same look.
    if (auto* editor = qobject_cast<TXInplaceEditList*>(InplaceEditor()))
        if (TXPopupListBox* list = editor->ActiveList())
            list->verticalScrollBar()->setStyle(static_cast<QStyle*>(m_scrollStyle));
}

} // namespace xdb
