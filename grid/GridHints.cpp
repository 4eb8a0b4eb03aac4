// Balloon hints, cell hints and the grid's mini-HTML hint window.
#include "grid/GridHints.h"
#include "grid/minihtml/MiniHTML.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QToolTip>

namespace grid {

// ------------------------------------------------------------------ settings

void TBalloonSettings::SetEnable(bool v)
{
    m_enable = v;
    if (OnEnableChange)
        OnEnableChange(this);
}

void TBalloonSettings::Assign(const TBalloonSettings* s)
{
    if (!s)
        return;
    TextColor = s->TextColor;
    BackgroundColor = s->BackgroundColor;
    InitialDelay = s->InitialDelay;
    AutoHideDelay = s->AutoHideDelay;
    ReshowDelay = s->ReshowDelay;
    m_enable = s->m_enable;
    if (OnEnableChange)
        OnEnableChange(this);
}

int TBalloonSettings::EffectiveInitialDelay() const
{
    return InitialDelay >= 0 ? InitialDelay : QApplication::doubleClickInterval();
}

int TBalloonSettings::EffectiveAutoHideDelay() const
{
    return AutoHideDelay >= 0 ? AutoHideDelay : 10 * QApplication::doubleClickInterval();
}

int TBalloonSettings::EffectiveReshowDelay() const
{
    return ReshowDelay >= 0 ? ReshowDelay : QApplication::doubleClickInterval() / 5;
}

QString BalloonText(const QString& text)
{
    qsizetype skip = 0;
    while (skip < text.size()
           && (text[skip] == QLatin1Char('\t') || text[skip] == QLatin1Char('\n') || text[skip] == QLatin1Char('\r')))
        ++skip;
    QString out = text.mid(skip);
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    if (out.size() > 1024)
        out = out.left(1021) + QStringLiteral("...");
    return out;
}

QString BalloonTitle(const QString& title)
{
    return title.size() > 100 ? title.left(97) + QStringLiteral("...") : title;
}

// ------------------------------------------------------------------ balloon window

namespace {
constexpr int kTail = 12;        // height of the tail
constexpr int kTailX = 18;       // the tail's tip from the left edge
constexpr int kPad = 8;
constexpr int kMaxTextWidth = 320;

QFont boldFont(const QFont& f)
{
    QFont b = f;
    b.setBold(true);
    return b;
}

QStyle::StandardPixmap iconPixmap(int icon)
{
    switch (icon) {
    case 1: return QStyle::SP_MessageBoxInformation;
    case 2: return QStyle::SP_MessageBoxWarning;
    case 3: return QStyle::SP_MessageBoxCritical;
    default: return QStyle::SP_CustomBase;
    }
}
} // namespace

TBalloonWindow::TBalloonWindow(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("BalloonWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    SetColors(gfx::clNone, gfx::clNone);
}

void TBalloonWindow::SetColors(TColor text, TColor background)
{
    const QPalette tip = QToolTip::palette();
    m_textColor = text == gfx::clNone ? tip.color(QPalette::ToolTipText) : gfx::ToQColor(text, &tip);
    m_backColor = background == gfx::clNone ? tip.color(QPalette::ToolTipBase) : gfx::ToQColor(background, &tip);
    update();
}

void TBalloonWindow::SetContents(const QString& title, const QString& text, int icon)
{
    m_title = title;
    m_text = text;
    m_icon = (icon >= 1 && icon <= 3) ? icon : 0;
    layoutContents();
    update();
}

void TBalloonWindow::layoutContents()
{
    const QFontMetrics fm(font());
    const QFontMetrics bm(boldFont(font()));
    int x = kPad;
    int y = kTail + kPad;
    int headH = 0;
    m_iconRect = QRect();
    if (m_icon) {
        m_iconRect = QRect(x, y, 16, 16);
        x += 16 + 6;
        headH = 16;
    }
    const QString title = m_title.trimmed().isEmpty() ? QString() : m_title;
    m_titleRect = QRect(x, y, title.isEmpty() ? 0 : bm.horizontalAdvance(title), title.isEmpty() ? 0 : bm.height());
    headH = std::max(headH, m_titleRect.height());
    const int textTop = y + (headH ? headH + 4 : 0);
    const QRect tr = fm.boundingRect(QRect(0, 0, kMaxTextWidth, 10000), Qt::TextWordWrap, m_text);
    m_textRect = QRect(kPad, textTop, tr.width(), tr.height());
    const int w = std::max({m_textRect.right(), m_titleRect.right(), m_iconRect.right(), kTailX + 20}) + kPad + 1;
    const int h = m_textRect.bottom() + kPad + 1;
    resize(w, h);
}

void TBalloonWindow::ShowAt(const QPoint& screenPos)
{
    move(screenPos - QPoint(kTailX, 0));
    show();
}

void TBalloonWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const QRectF body(0.5, kTail + 0.5, width() - 1, height() - kTail - 1);
    path.addRoundedRect(body, 8, 8);
    QPainterPath tail;
    tail.moveTo(kTailX, 0.5);
    tail.lineTo(kTailX + 4, kTail + 1);
    tail.lineTo(kTailX + 16, kTail + 1);
    tail.closeSubpath();
    path = path.united(tail);
    p.setPen(QPen(m_textColor, 1));
    p.setBrush(m_backColor);
    p.drawPath(path);
    if (m_icon)
        style()->standardIcon(iconPixmap(m_icon), nullptr, this).paint(&p, m_iconRect);
    p.setPen(m_textColor);
    if (m_titleRect.width() > 0) {
        p.setFont(boldFont(font()));
        p.drawText(m_titleRect, Qt::AlignLeft | Qt::AlignVCenter, m_title);
        p.setFont(font());
    }
    p.drawText(m_textRect, Qt::TextWordWrap, m_text);
}

// ------------------------------------------------------------------ hint window

THTMLHintWindow::THTMLHintWindow(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("HTMLHintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

void THTMLHintWindow::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

QSize THTMLHintWindow::measure(const QString& text, int maxWidth) const
{
    if (!m_html) {
        const QRect r = QFontMetrics(font()).boundingRect(QRect(0, 0, maxWidth, 100000), Qt::TextWordWrap, text);
        return r.size();
    }
    minihtml::TMiniHTMLInput in;
    in.Text = text;
    in.Rect = QRect(0, 0, maxWidth, 100000);
    in.MeasureOnly = true;
    in.Font = font();
    in.Window = const_cast<THTMLHintWindow*>(this);
    minihtml::TMiniHTMLResult out;
    minihtml::DrawMiniHTML(nullptr, in, out);
    return QSize(out.ExtentX, out.ExtentY);
}

QRect THTMLHintWindow::CalcHintRect(int maxWidth, const QString& hint) const
{
    return QRect(QPoint(0, 0), measure(hint, maxWidth));
}

void THTMLHintWindow::ActivateHint(const QRect& rect, const QString& hint)
{
    SetText(hint);
    const QSize text = measure(hint, 1008);
    QRect r(rect.topLeft(), QSize(text.width() + 16, text.height() + 4));
    const QScreen* screen = QGuiApplication::screenAt(rect.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect s = screen->geometry();
        if (r.right() > s.right() && s.right() - 2 - r.width() + 1 >= s.left())
            r.moveRight(s.right() - 2);
        if (r.bottom() > s.bottom() && s.bottom() - 2 - r.height() + 1 >= s.top())
            r.moveBottom(s.bottom() - 2);
    }
    setGeometry(r);
    show();
    update();
}

void THTMLHintWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    p.fillRect(r, gfx::ToQColor(m_color, &pal));
    p.setPen(gfx::ToQColor(gfx::cl3DLight, &pal));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(gfx::ToQColor(gfx::cl3DDkShadow, &pal));
    p.drawLine(r.topRight(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.bottomRight());
    const QSize text = measure(m_text, std::max(1, r.width() - 8));
    const int top = (r.height() - text.height()) / 2;
    const QRect textRect(4, top, r.width() - 8, text.height() + 8);
    if (!m_html) {
        p.setPen(pal.color(QPalette::ToolTipText));
        p.drawText(textRect, Qt::TextWordWrap, m_text);
        return;
    }
    minihtml::TMiniHTMLInput in;
    in.Text = m_text;
    in.Rect = textRect;
    in.Font = font();
    in.FontColor = gfx::clInfoText;
    in.URLColor = gfx::clBlue;
    in.ShadowColor = gfx::clGray;
    in.Window = this;
    minihtml::TMiniHTMLResult out;
    minihtml::DrawMiniHTML(&p, in, out);
}

// ------------------------------------------------------------------ the grid's hints

TGridHints::TGridHints(TZedEzeravIvur* grid)
    : QObject(grid), m_grid(grid), m_balloon(new TBalloonSettings(this)), m_hintWindow(new THTMLHintWindow(grid))
{
    setObjectName(QStringLiteral("GridHints"));
    m_balloon->setObjectName(QStringLiteral("Balloon"));
    m_balloon->OnEnableChange = [this](QObject*) {
        if (m_balloon->Enable())
            BalloonInit();
        else
            BalloonDone();
    };
    m_initialTimer.setSingleShot(true);
    m_hideTimer.setSingleShot(true);
    connect(&m_initialTimer, &QTimer::timeout, this, [this] { BalloonRequest(m_lastPointer); });
    connect(&m_hideTimer, &QTimer::timeout, this, [this] {
        if (m_balloonWindow)
            m_balloonWindow->hide();
        m_sinceHidden.start();
    });
    grid->viewport()->setMouseTracking(true);
    grid->viewport()->installEventFilter(this);
}

TGridHints::~TGridHints()
{
    BalloonDone();
}

void TGridHints::BalloonInit()
{
    if (m_balloonWindow)
        return;
    m_balloonWindow = new TBalloonWindow(m_grid);
    m_balloonWindow->SetContents(QStringLiteral("ToolTipText"), QString(), 3);
    if (m_balloon->Transparency > 0)
        m_balloonWindow->setWindowOpacity((255 - m_balloon->Transparency) / 255.0);
}

void TGridHints::BalloonDone()
{
    m_initialTimer.stop();
    m_hideTimer.stop();
    delete m_balloonWindow.data();
    m_balloonCell = QPoint(-1, -1);
}

bool TGridHints::BalloonRequest(const QPoint& viewportPos)
{
    if (!m_balloon->Enable() || !m_balloonWindow)
        return false;
    const tk::TGridCoord c = m_grid->MouseCoord(viewportPos.x(), viewportPos.y());
    if (c.X < 0 || c.Y < 0)
        return false;
    QString text = m_grid->DisplayText(c.X, c.Y);
    if (m_grid->EnableHTML && text.contains(QLatin1Char('<')))
        text = minihtml::MiniHTMLToText(text);
    text = BalloonText(text);
    int icon = 1;
    QString title = QStringLiteral(" ");
    if (OnCellBalloon)
        OnCellBalloon(m_grid, c.X, c.Y, title, text, icon);
    m_balloonCell = QPoint(c.X, c.Y);
    // What the handler gives is kept within the balloon's text buffer.
    text.truncate(BalloonBufferChars);
    m_balloonWindow->SetColors(m_balloon->TextColor, m_balloon->BackgroundColor);
    m_balloonWindow->SetContents(BalloonTitle(title), text, icon);
    m_balloonWindow->setWindowOpacity((255 - m_balloon->Transparency) / 255.0);
    m_balloonWindow->ShowAt(m_grid->viewport()->mapToGlobal(viewportPos));
    m_hideTimer.start(m_balloon->EffectiveAutoHideDelay());
    return true;
}

void TGridHints::HideAll()
{
    m_initialTimer.stop();
    PointerAt(-1, -1);
    m_hintWindow->hide();
    if (m_balloonWindow)
        m_balloonWindow->hide();
    QToolTip::hideText();
}

void TGridHints::PointerAt(int col, int row)
{
    const QPoint cell(col, row);
    if (m_balloonCell != QPoint(-1, -1) && cell != m_balloonCell) {
        if (m_balloonWindow && m_balloonWindow->isVisible()) {
            m_balloonWindow->hide();
            m_sinceHidden.start();
        }
        m_balloonCell = QPoint(-1, -1);
    }
    if (m_hintCell != QPoint(-1, -1) && cell != m_hintCell) {
        m_hintWindow->hide();
        m_hintCell = QPoint(-1, -1);
    }
}

QSize TGridHints::cellTextExtent(int col, int row) const
{
    const QString text = m_grid->Cells(col, row);
    if (m_grid->EnableHTML && text.contains(QLatin1Char('<'))) {
        minihtml::TMiniHTMLInput in;
        in.Text = text;
        in.Rect = QRect(0, 0, 100000, 100000);
        in.MeasureOnly = true;
        in.WordWrap = false;
        in.Font = m_grid->font();
        in.Window = m_grid;
        minihtml::TMiniHTMLResult out;
        minihtml::DrawMiniHTML(nullptr, in, out);
        return QSize(out.ExtentX, out.ExtentY);
    }
    return QFontMetrics(m_grid->font()).boundingRect(QRect(0, 0, 100000, 100000), 0, text).size();
}

QString TGridHints::cellHintText(int col, int row) const
{
    const QString text = m_grid->Cells(col, row);
    if (m_grid->HTMLHint)
        return text;
    return text.contains(QLatin1Char('<')) ? minihtml::MiniHTMLToText(text) : text;
}

bool TGridHints::GetCellHintInfo(THintInfo& info)
{
    info.HintColor = m_grid->HintColor;
    const tk::TGridCoord c = m_grid->MouseCoord(info.CursorPos.x(), info.CursorPos.y());
    if (c.X < 0 || c.Y < 0)
        return false;
    const QPoint base = m_grid->BaseCell(c.X, c.Y);
    m_hintCell = QPoint(c.X, c.Y);
    const QRect cell = m_grid->CellRect(c.X, c.Y);

    if (m_grid->AnchorHint) {
        const QString text = m_grid->DisplayText(c.X, c.Y);
        if (text.contains(QLatin1Char('<'))) {
            minihtml::TMiniHTMLInput in;
            in.Text = text;
            in.Rect = cell.adjusted(m_grid->CellMarginX(), m_grid->CellMarginY(), -m_grid->CellMarginX(), 0);
            in.X = info.CursorPos.x();
            in.Y = info.CursorPos.y();
            in.HitTest = true;
            in.Font = m_grid->font();
            in.Window = m_grid;
            minihtml::TMiniHTMLResult out;
            if (minihtml::DrawMiniHTML(nullptr, in, out) && !out.AnchorValue.isEmpty()) {
                QString anchor = out.AnchorTitle.isEmpty() ? out.AnchorValue : out.AnchorTitle;
                if (OnAnchorHint)
                    OnAnchorHint(m_grid, c.Y, c.X, anchor);
                info.HintStr = anchor;
            }
        }
    }

    QString comment;
    QPoint pos;
    if (m_grid->GetComment(c.X, c.Y, comment)) {
        info.HintStr = comment;
        pos = cell.topRight();
    } else {
        pos = QPoint(cell.left(), cell.bottom() + 1 + 6);
    }

    const bool normal = c.X >= m_grid->FixedCols() && c.Y >= m_grid->FixedRows()
                        && c.X < m_grid->ColCount() - m_grid->FixedRightCols()
                        && c.Y < m_grid->RowCount() - m_grid->FixedFooters();
    if (m_grid->HintShowCells && normal) {
        info.HintStr = cellHintText(base.x(), base.y());
        pos.setY(cell.top());
    }
    if (m_grid->HintShowLargeText) {
        const QSize extent = cellTextExtent(base.x(), base.y());
        if (extent.width() + 2 * m_grid->CellMarginX() > m_grid->ColWidths(c.X)
            || extent.height() + 2 * m_grid->CellMarginY() > m_grid->RowHeights(c.Y)) {
            info.HintStr = cellHintText(base.x(), base.y());
            pos.setY(cell.top());
        }
    }
    // The floating footer's row is drawn blank; the footer asks for its own hints.
    if (!(m_grid->LastRowIsFooter() && c.Y == m_grid->RowCount() - 1))
        m_grid->GridHint(c.X, c.Y, info.HintStr);
    info.HintPos = m_grid->viewport()->mapToGlobal(pos);
    return true;
}

void TGridHints::ShowCellHint(const QPoint& viewportPos)
{
    THintInfo info;
    info.CursorPos = viewportPos;
    info.HintStr = m_grid->toolTip();
    if (!GetCellHintInfo(info) || info.HintStr.isEmpty()) {
        m_hintWindow->hide();
        return;
    }
    m_hintWindow->SetHtml(m_grid->HTMLHint);
    m_hintWindow->SetColor(info.HintColor);
    m_hintWindow->ActivateHint(QRect(info.HintPos, QSize(1, 1)), info.HintStr);
}

bool TGridHints::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_grid->viewport())
        return false;
    // No hints while the middle button pans the grid.
    if (m_grid->Panning())
        return event->type() == QEvent::ToolTip;
    switch (event->type()) {
    case QEvent::ToolTip:
        if (!m_balloon->Enable()) {
            ShowCellHint(static_cast<QHelpEvent*>(event)->pos());
            return true;
        }
        return true;
    case QEvent::MouseMove: {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        const tk::TGridCoord c = m_grid->MouseCoord(pos.x(), pos.y());
        const QPoint before = m_balloonCell;
        m_lastPointer = pos;
        PointerAt(c.X, c.Y);
        if (m_balloon->Enable() && m_balloonWindow && QPoint(c.X, c.Y) != before && c.X >= 0 && c.Y >= 0) {
            // Between neighbouring cells the next balloon comes after the shorter reshow delay.
            const bool reshow = m_sinceHidden.isValid() && m_sinceHidden.elapsed() < m_balloon->EffectiveAutoHideDelay();
            m_initialTimer.start(reshow ? m_balloon->EffectiveReshowDelay() : m_balloon->EffectiveInitialDelay());
        }
        break;
    }
    case QEvent::Leave:
        PointerAt(-1, -1);
        m_initialTimer.stop();
        break;
    default:
        break;
    }
    return false;
}

TBalloonSettings* TZedEzeravIvur::Balloon() { return GridBalloon(this); }

TGridHints* GridHints(TZedEzeravIvur* grid)
{
    if (auto* h = grid->findChild<TGridHints*>(QStringLiteral("GridHints"), Qt::FindDirectChildrenOnly))
        return h;
    return new TGridHints(grid);
}

} // namespace grid
