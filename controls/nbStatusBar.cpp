#include "controls/nbStatusBar.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QSizeGrip>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <qdrawutil.h>

namespace {

// Rounds halves to even, like the arithmetic the bar was designed with.
int RoundEven(double v) { return int(std::nearbyint(v)); }

bool IsKeyStyle(TStatusPanelStyle s) { return s == psInsert || s == psCapsLock || s == psNumLock || s == psScrollLock; }
bool IsClockStyle(TStatusPanelStyle s) { return s == psDate || s == psTime || s == psDateTime; }

QPixmap LedPixmap(const QColor& colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(6, 6), 8);
    g.setColorAt(0, colour.lighter(170));
    g.setColorAt(1, colour.darker(130));
    p.setBrush(g);
    p.setPen(QPen(colour.darker(200), 1));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return pm;
}

bool g_keyState[4] = { false, false, false, false }; // insert, caps, num, scroll

int KeySlot(TStatusPanelStyle s)
{
    switch (s) {
    case psInsert: return 0;
    case psCapsLock: return 1;
    case psNumLock: return 2;
    case psScrollLock: return 3;
    default: return -1;
    }
}

}

// Watches the application's key presses while key panels exist (one for all bars).
class TnbKeyWatcher : public QObject {
public:
    static TnbKeyWatcher& Instance()
    {
        static TnbKeyWatcher w;
        return w;
    }
    void Join(TnbStatusPanel* panel, bool join)
    {
        auto it = std::find(FPanels.begin(), FPanels.end(), panel);
        if (join && it == FPanels.end())
            FPanels.push_back(panel);
        else if (!join && it != FPanels.end())
            FPanels.erase(it);
        if (!FPanels.empty() && !FInstalled && qApp) {
            qApp->installEventFilter(this);
            FInstalled = true;
        } else if (FPanels.empty() && FInstalled) {
            if (qApp)
                qApp->removeEventFilter(this);
            FInstalled = false;
        }
    }
    bool Installed() const { return FInstalled; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        // Each key event is seen once, at the widget that receives it.
        if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
            auto* k = static_cast<QKeyEvent*>(e);
            // A key a widget ignores travels on to its parents as the same event: count it once.
            auto* w = static_cast<QWidget*>(watched);
            const bool seen = k == FLastEvent && FLastReceiver && w->isAncestorOf(FLastReceiver);
            FLastEvent = k;
            FLastReceiver = w;
            if (!k->isAutoRepeat() && !seen) {
                TStatusPanelStyle style;
                bool known = true;
                switch (k->key()) {
                case Qt::Key_Insert: style = psInsert; break;
                case Qt::Key_CapsLock: style = psCapsLock; break;
                case Qt::Key_NumLock: style = psNumLock; break;
                case Qt::Key_ScrollLock: style = psScrollLock; break;
                default: known = false; style = psText; break;
                }
                if (known) {
                    g_keyState[KeySlot(style)] = !g_keyState[KeySlot(style)];
                    const auto panels = FPanels;
                    for (TnbStatusPanel* p : panels)
                        if (p->Style() == style)
                            p->Changed();
                }
            }
        }
        return false;
    }

private:
    std::vector<TnbStatusPanel*> FPanels;
    bool FInstalled = false;
    const QKeyEvent* FLastEvent = nullptr;
    QPointer<QWidget> FLastReceiver;
};

// ---------------------------------------------------------------------------------------------

TnbProgressBar::TnbProgressBar(TnbStatusPanel* owner) : FOwner(owner)
{
    const QPalette pal = QApplication::palette();
    FProgressColor = pal.color(QPalette::Highlight);
    FTextColor = pal.color(QPalette::HighlightedText);
    FColor = pal.color(QPalette::Button);
}

void TnbProgressBar::Assign(const TnbProgressBar& o)
{
    FMin = o.FMin;
    FMax = o.FMax;
    FPosition = o.FPosition;
    FBoxCount = o.FBoxCount;
    FProgressColor = o.FProgressColor;
    FTextColor = o.FTextColor;
    FColor = o.FColor;
    FShowStatus = o.FShowStatus;
    FSmooth = o.FSmooth;
    Changed();
}

void TnbProgressBar::Changed()
{
    if (FOwner)
        FOwner->Changed();
}

void TnbProgressBar::SetMin(int v)
{
    FMin = v;
    if (FPosition < FMin)
        FPosition = FMin;
    Changed();
}

void TnbProgressBar::SetMax(int v)
{
    FMax = v;
    if (FPosition > FMax)
        FPosition = FMax;
    Changed();
}

void TnbProgressBar::SetPosition(int v)
{
    if (v < FMin || v > FMax || v == FPosition)
        return;
    FPosition = v;
    Changed();
}

void TnbProgressBar::SetBoxCount(int v)
{
    if (v < 1 || v > 50)
        return;
    FBoxCount = v;
    Changed();
}

void TnbProgressBar::SetProgressColor(const QColor& c) { FProgressColor = c; Changed(); }
void TnbProgressBar::SetTextColor(const QColor& c) { FTextColor = c; Changed(); }
void TnbProgressBar::SetColor(const QColor& c) { FColor = c; Changed(); }
void TnbProgressBar::SetShowStatus(bool on) { FShowStatus = on; Changed(); }
void TnbProgressBar::SetSmooth(bool on) { FSmooth = on; Changed(); }

// ---------------------------------------------------------------------------------------------

TnbStatusPanel::TnbStatusPanel(TnbStatusBar* bar) : FBar(bar), FProgressBar(nullptr)
{
    FColor = QApplication::palette().color(QPalette::Button);
    FFont = bar->font();
    FDateFormat = QLocale().dateFormat(QLocale::LongFormat);
    FTimeFormat = QLocale().timeFormat(QLocale::LongFormat);
    FProgressBar = TnbProgressBar(this);
}

TnbStatusPanel::~TnbStatusPanel() { StyleLists(false); }

int TnbStatusPanel::Index() const { return FBar->Panels().IndexOf(this); }

void TnbStatusPanel::Changed() { FBar->PanelChanged(this); }

void TnbStatusPanel::StyleLists(bool join)
{
    if (IsClockStyle(FStyle))
        FBar->ClockJoin(this, join);
    if (IsKeyStyle(FStyle))
        FBar->KeyJoin(this, join);
}

void TnbStatusPanel::SetAlignment(TPanelAlignment a) { FAlignment = a; Changed(); }
void TnbStatusPanel::SetBevel(TStatusPanelBevel b) { FBevel = b; Changed(); }

void TnbStatusPanel::SetStyle(TStatusPanelStyle s)
{
    if (s == FStyle)
        return;
    StyleLists(false);
    FStyle = s;
    StyleLists(true);
    if (FStyle == psLed && FWidth < 40)
        SetWidth(40);
    Changed();
}

void TnbStatusPanel::SetText(const QString& t)
{
    if (t == FText)
        return;
    FText = t;
    Changed();
}

void TnbStatusPanel::SetWidth(int w)
{
    if (FStyle == psLed && w < 40)
        w = 40;
    if (w == FWidth)
        return;
    FWidth = w;
    FBar->PartsChanged();
}

void TnbStatusPanel::SetEnabled(bool on) { FEnabled = on; Changed(); }
void TnbStatusPanel::SetColor(const QColor& c) { FColor = c; Changed(); }
void TnbStatusPanel::SetFont(const QFont& f) { FFont = f; Changed(); }
void TnbStatusPanel::SetImageIndex(int i) { FImageIndex = i; Changed(); }
void TnbStatusPanel::SetDateFormat(const QString& f) { FDateFormat = f; Changed(); }
void TnbStatusPanel::SetTimeFormat(const QString& f) { FTimeFormat = f; Changed(); }
void TnbStatusPanel::SetLedStatus(TnbLedStatus s) { FLedStatus = s; Changed(); }

// ---------------------------------------------------------------------------------------------

TnbStatusPanel* TnbStatusPanels::Add()
{
    FItems.push_back(std::make_unique<TnbStatusPanel>(FBar));
    FBar->PartsChanged();
    return FItems.back().get();
}

void TnbStatusPanels::Delete(int i)
{
    if (i < 0 || i >= Count())
        return;
    std::unique_ptr<TnbStatusPanel> gone = std::move(FItems[size_t(i)]);
    FItems.erase(FItems.begin() + i);
    FBar->PanelDeleted(gone.get());
    gone.reset();
    FBar->PartsChanged();
}

void TnbStatusPanels::Clear()
{
    while (Count() > 0)
        Delete(Count() - 1);
}

int TnbStatusPanels::IndexOf(const TnbStatusPanel* p) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == p)
            return int(i);
    return -1;
}

// ---------------------------------------------------------------------------------------------

TnbStatusBar::TnbStatusBar(QWidget* parent) : QWidget(parent), FPanels(this)
{
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFont(QToolTip::font());
    setFixedHeight(qMax(19, fontMetrics().height() + 6));
    FLedFree = LedPixmap(QColor(0, 170, 0));
    FLedBusy = LedPixmap(QColor(220, 0, 0));
    FGrip = new QSizeGrip(this);
    FGrip->hide();
}

TnbStatusBar::~TnbStatusBar() { FPanels.Clear(); }

QColor TnbStatusBar::Color() const { return palette().color(QPalette::Window); }

void TnbStatusBar::SetColor(const QColor& c)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
}

void TnbStatusBar::SetSimplePanel(bool on) { FSimplePanel = on; update(); }

void TnbStatusBar::SetSimpleText(const QString& t)
{
    FSimpleText = t;
    update();
}

void TnbStatusBar::SetSizeGrip(bool on)
{
    FSizeGrip = on;
    UpdateSizeGrip();
}

void TnbStatusBar::SetUseSystemFont(bool on)
{
    FUseSystemFont = on;
    if (on) {
        const QFont old = font();
        setFont(QToolTip::font());
        for (int i = 0; i < FPanels.Count(); ++i)
            if (FPanels[i]->Font() == old)
                FPanels[i]->SetFont(font());
    }
    update();
}

void TnbStatusBar::SetImages(const QList<QPixmap>& images)
{
    FImages = images;
    update();
}

void TnbStatusBar::UpdateSizeGrip()
{
    QWidget* w = window();
    const bool sizeable = w && w != this && w->minimumSize() != w->maximumSize();
    FGrip->setVisible(FSizeGrip && sizeable);
    const QSize s = FGrip->sizeHint();
    FGrip->setGeometry(width() - s.width(), height() - s.height(), s.width(), s.height());
}

void TnbStatusBar::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    UpdateSizeGrip();
}

void TnbStatusBar::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    UpdateSizeGrip();
    if (OnResize)
        OnResize();
}

QRect TnbStatusBar::PanelRect(int index) const
{
    const int n = std::min(FPanels.Count(), 128);
    if (index < 0 || index >= n)
        return QRect();
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += FPanels.Items(i)->Width();
    const int right = index == n - 1 ? width() : left + FPanels.Items(index)->Width();
    return QRect(QPoint(left, 0), QPoint(right - 1, height() - 1));
}

int TnbStatusBar::PanelAt(const QPoint& pos) const
{
    if (FSimplePanel)
        return -1;
    for (int i = 0; i < std::min(FPanels.Count(), 128); ++i)
        if (PanelRect(i).contains(pos))
            return i;
    return -1;
}

void TnbStatusBar::PanelChanged(TnbStatusPanel* panel)
{
    const int i = FPanels.IndexOf(panel);
    if (i >= 0)
        update(PanelRect(i));
}

void TnbStatusBar::PartsChanged() { update(); }

void TnbStatusBar::PanelDeleted(TnbStatusPanel* panel)
{
    if (FMousePanel >= 0 && FMousePanel < FPanels.Count() && FPanels[FMousePanel] == panel)
        FMousePanel = -1;
}

bool TnbStatusBar::KeyToggled(TStatusPanelStyle style)
{
    const int slot = KeySlot(style);
    return slot >= 0 && g_keyState[slot];
}

void TnbStatusBar::KeyJoin(TnbStatusPanel* panel, bool join) { TnbKeyWatcher::Instance().Join(panel, join); }

void TnbStatusBar::ClockJoin(TnbStatusPanel* panel, bool join)
{
    auto it = std::find(FClockPanels.begin(), FClockPanels.end(), panel);
    if (join && it == FClockPanels.end())
        FClockPanels.push_back(panel);
    else if (!join && it != FClockPanels.end())
        FClockPanels.erase(it);
    UpdateClockTimer();
}

void TnbStatusBar::UpdateClockTimer()
{
    if (FClockPanels.empty()) {
        delete FClockTimer;
        FClockTimer = nullptr;
        return;
    }
    if (!FClockTimer) {
        FClockTimer = new QTimer(this);
        connect(FClockTimer, &QTimer::timeout, this, &TnbStatusBar::ClockTick);
        FLastTickDate = QDate::currentDate();
    }
    int interval = 100000;
    for (TnbStatusPanel* p : FClockPanels)
        if (p->Style() == psTime || p->Style() == psDateTime)
            interval = 1000;
    FClockTimer->setInterval(interval);
    if (!FClockTimer->isActive())
        FClockTimer->start();
}

void TnbStatusBar::ClockTick()
{
    const QDate today = QDate::currentDate();
    const bool dateChanged = today != FLastTickDate;
    FLastTickDate = today;
    for (TnbStatusPanel* p : FClockPanels)
        if (p->Style() != psDate || dateChanged)
            p->Changed();
}

QString TnbStatusBar::PanelText(const TnbStatusPanel* panel, const QDateTime& now)
{
    const QLocale loc;
    const QString df = panel->DateFormat().isEmpty() ? loc.dateFormat(QLocale::LongFormat) : panel->DateFormat();
    const QString tf = panel->TimeFormat().isEmpty() ? loc.timeFormat(QLocale::LongFormat) : panel->TimeFormat();
    switch (panel->Style()) {
    case psInsert: return QStringLiteral("INS");
    case psCapsLock: return QStringLiteral("CAPS");
    case psNumLock: return QStringLiteral("NUM");
    case psScrollLock: return QStringLiteral("SCROLL");
    case psDate: return loc.toString(now, df);
    case psTime: return loc.toString(now, tf);
    case psDateTime: return loc.toString(now, df + QLatin1Char(' ') + tf);
    default: return panel->Text();
    }
}

std::vector<QRect> TnbStatusBar::ProgressRects(const QRect& rect, const TnbProgressBar& bar)
{
    std::vector<QRect> out;
    const int range = bar.Max() - bar.Min();
    if (range <= 0 || bar.BoxCount() < 1)
        return out;
    const int pos = bar.Position() - bar.Min();
    const int w = rect.width();
    const int h = rect.height() - 6;
    if (h <= 0)
        return out;
    if (bar.Smooth()) {
        const int fill = RoundEven(double(pos) * (w - 6) / range);
        if (fill > 0)
            out.push_back(QRect(rect.left() + 1, rect.top() + 1, fill, h));
        return out;
    }
    int boxes = RoundEven(double(pos) * bar.BoxCount() / range);
    if (bar.Position() == bar.Max())
        ++boxes;
    const int step = RoundEven(double(w) / bar.BoxCount());
    const int boxWidth = step - 2;
    if (boxWidth <= 0)
        return out;
    for (int i = 0; i < boxes; ++i) {
        const QRect box(rect.left() + 1 + i * step, rect.top() + 1, boxWidth, h);
        const QRect visible = box.intersected(rect);
        if (!visible.isEmpty())
            out.push_back(visible);
    }
    return out;
}

QString TnbStatusBar::ProgressText(const TnbProgressBar& bar)
{
    const int range = bar.Max() - bar.Min();
    if (range <= 0)
        return QString();
    return QString::number(RoundEven(double(bar.Position() - bar.Min()) / range * 100)) + QLatin1Char('%');
}

QFont TnbStatusBar::PanelFont(const TnbStatusPanel* panel) const { return FUseSystemFont ? font() : panel->Font(); }

static int TextFlags(TPanelAlignment a)
{
    const int h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    return h | Qt::AlignVCenter | Qt::TextSingleLine;
}

void TnbStatusBar::DrawTextPanel(QPainter& p, TnbStatusPanel* panel, const QRect& rect)
{
    p.fillRect(rect, panel->Color());
    QRect textRect = rect.adjusted(2, 1, -2, -1);
    const int img = panel->ImageIndex();
    if (img >= 0 && img < FImages.size()) {
        const QPixmap& pm = FImages[img];
        const int top = rect.top() + (rect.height() - pm.height()) / 2;
        if (panel->Alignment() == taRightJustify) {
            p.drawPixmap(textRect.right() - pm.width() + 1, top, pm);
            textRect.setRight(textRect.right() - pm.width() - 2);
        } else {
            p.drawPixmap(textRect.left(), top, pm);
            textRect.setLeft(textRect.left() + pm.width() + 2);
        }
    }
    p.setFont(PanelFont(panel));
    QString text = PanelText(panel, QDateTime::currentDateTime());
    const QFontMetrics fm(p.font());
    if (panel->Style() == psEndEllipsis)
        text = fm.elidedText(text, Qt::ElideRight, textRect.width());
    else if (panel->Style() == psPathEllipsis)
        text = fm.elidedText(text, Qt::ElideMiddle, textRect.width());
    const int flags = TextFlags(panel->Alignment());
    const QColor grey = palette().color(QPalette::Disabled, QPalette::WindowText);
    const bool textStyle = panel->Style() == psText || panel->Style() == psEndEllipsis || panel->Style() == psPathEllipsis;
    if (IsKeyStyle(panel->Style()) && !KeyToggled(panel->Style())) {
        p.setPen(grey);
    } else if (textStyle && !panel->Enabled()) {
        p.setPen(Qt::white);
        p.drawText(textRect.translated(1, 1), flags, text);
        p.setPen(grey);
    } else {
        p.setPen(palette().color(QPalette::WindowText));
    }
    p.drawText(textRect, flags, text);
}

void TnbStatusBar::DrawProgressPanel(QPainter& p, TnbStatusPanel* panel, const QRect& rect)
{
    const TnbProgressBar& bar = panel->ProgressBar();
    QPixmap off(rect.size());
    off.fill(bar.Color());
    QPainter op(&off);
    const QRect local(QPoint(0, 0), rect.size());
    QRegion filled;
    for (const QRect& r : ProgressRects(local, bar)) {
        op.fillRect(r, bar.ProgressColor());
        filled += r;
    }
    if (bar.ShowStatus()) {
        const QString text = ProgressText(bar);
        if (!text.isEmpty()) {
            op.setFont(PanelFont(panel));
            const int flags = TextFlags(panel->Alignment());
            op.setClipRegion(QRegion(local) - filled);
            op.setPen(palette().color(QPalette::WindowText));
            op.drawText(local, flags, text);
            op.setClipRegion(filled);
            op.setPen(bar.TextColor());
            op.drawText(local, flags, text);
        }
    }
    op.end();
    p.drawPixmap(rect.topLeft(), off);
}

void TnbStatusBar::DrawPanel(QPainter& p, TnbStatusPanel* panel, const QRect& rect)
{
    switch (panel->Style()) {
    case psLed: {
        p.fillRect(rect, panel->Color());
        const QPixmap& pm = panel->LedStatus() == lsFree ? FLedFree : FLedBusy;
        const QRect box(rect.left() + (rect.width() - 32) / 2, rect.top() + (rect.height() - 16) / 2, 32, 16);
        p.drawPixmap(box.left() + (32 - pm.width()) / 2, box.top() + (16 - pm.height()) / 2, pm);
        break;
    }
    case psProgress: DrawProgressPanel(p, panel, rect); break;
    case psOwnerDraw:
        p.fillRect(rect, panel->Color());
        if (OnDrawPanel)
            OnDrawPanel(this, panel, rect);
        break;
    default: DrawTextPanel(p, panel, rect); break;
    }
}

void TnbStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (FSimplePanel || FPanels.Count() == 0) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FSimplePanel ? FSimpleText : QString());
        return;
    }
    const int n = std::min(FPanels.Count(), 128);
    for (int i = 0; i < n; ++i) {
        TnbStatusPanel* panel = FPanels[i];
        const QRect outer = PanelRect(i);
        const QRect inner = panel->Bevel() == pbNone ? outer : outer.adjusted(1, 1, -1, -1);
        p.save();
        p.setClipRect(inner);
        DrawPanel(p, panel, inner);
        p.restore();
        if (panel->Bevel() != pbNone)
            qDrawShadePanel(&p, outer.adjusted(0, 0, -2, 0), palette(), panel->Bevel() == pbLowered, 1);
    }
}

// --- mouse and hints

void TnbStatusBar::TrackPanel(const QPoint& pos)
{
    const int i = PanelAt(pos);
    if (i != FMousePanel) {
        FMousePanel = i;
        QToolTip::hideText();
    }
}

QString TnbStatusBar::PanelHint(int index) const
{
    if (index < 0 || index >= FPanels.Count())
        return toolTip();
    const TnbStatusPanel* p = FPanels.Items(index);
    switch (p->HintType()) {
    case htTextHint: return p->Text();
    case htSelfHint: return p->Hint().isEmpty() ? toolTip() : p->Hint();
    default: return toolTip();
    }
}

bool TnbStatusBar::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        TrackPanel(he->pos());
        const QString hint = PanelHint(FMousePanel);
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(he->globalPos(), hint, this);
        return true;
    }
    if (e->type() == QEvent::StatusTip && FAutoHint) {
        const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
        if (OnHint) {
            OnHint(tip);
        } else if (FSimplePanel || FPanels.Count() == 0) {
            SetSimpleText(tip);
        } else {
            FPanels[0]->SetText(tip);
        }
        return true;
    }
    return QWidget::event(e);
}

bool TnbStatusBar::DoHint()
{
    if (!OnHint)
        return false;
    OnHint(QString());
    return true;
}

void TnbStatusBar::mousePressEvent(QMouseEvent* e)
{
    TrackPanel(e->pos());
    if (FMousePanel >= 0) {
        TnbStatusPanel* p = FPanels[FMousePanel];
        if (p->OnMouseDown)
            p->OnMouseDown(p, e->button(), e->modifiers(), e->pos().x() - PanelRect(FMousePanel).left(), e->pos().y());
    }
    QWidget::mousePressEvent(e);
}

void TnbStatusBar::mouseMoveEvent(QMouseEvent* e)
{
    TrackPanel(e->pos());
    if (FMousePanel >= 0) {
        TnbStatusPanel* p = FPanels[FMousePanel];
        if (p->OnMouseMove)
            p->OnMouseMove(p, e->modifiers(), e->pos().x() - PanelRect(FMousePanel).left(), e->pos().y());
    }
    QWidget::mouseMoveEvent(e);
}

void TnbStatusBar::mouseReleaseEvent(QMouseEvent* e)
{
    const int i = PanelAt(e->pos());
    if (i >= 0) {
        TnbStatusPanel* p = FPanels[i];
        if (p->OnMouseUp)
            p->OnMouseUp(p, e->button(), e->modifiers(), e->pos().x() - PanelRect(i).left(), e->pos().y());
    }
    if (e->button() == Qt::LeftButton && rect().contains(e->pos())) {
        if (i >= 0 && FPanels[i]->Enabled() && FPanels[i]->OnClick)
            FPanels[i]->OnClick(FPanels[i]);
        if (OnClick)
            OnClick();
    }
    QWidget::mouseReleaseEvent(e);
}

void TnbStatusBar::mouseDoubleClickEvent(QMouseEvent* e)
{
    const int i = PanelAt(e->pos());
    if (i >= 0 && FPanels[i]->Enabled() && FPanels[i]->OnDblClick)
        FPanels[i]->OnDblClick(FPanels[i]);
    if (OnDblClick)
        OnDblClick();
    QWidget::mouseDoubleClickEvent(e);
}

void TnbStatusBar::contextMenuEvent(QContextMenuEvent* e)
{
    const int i = PanelAt(e->pos());
    QMenu* menu = i >= 0 ? FPanels[i]->PopupMenu() : nullptr;
    if (!menu)
        menu = FPopupMenu;
    if (menu) {
        menu->popup(e->globalPos());
        e->accept();
        return;
    }
    QWidget::contextMenuEvent(e);
}
