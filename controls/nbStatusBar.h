#pragma once
// TnbStatusBar: a status bar whose panels are drawn by the bar itself, each in its own style
// (text, clock, lock-key state, LED, progress bar or owner drawing), with fixed-width parts.
#include <QColor>
#include <QDate>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include <QMenu>
class QSizeGrip;
class QTimer;
class TnbStatusBar;
class TnbStatusPanel;

enum TStatusPanelStyle {
    psInsert, psCapsLock, psDate, psDateTime, psEndEllipsis, psPathEllipsis, psText, psTime,
    psNumLock, psScrollLock, psLed, psProgress, psOwnerDraw
};
enum TnbHintType { htParentHint, htSelfHint, htTextHint };
enum TnbLedStatus { lsBusy, lsFree };
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum TPanelAlignment { taLeftJustify, taRightJustify, taCenter };

// The progress part of one panel.
class TnbProgressBar {
public:
    explicit TnbProgressBar(TnbStatusPanel* owner);
    void Assign(const TnbProgressBar& other);

    int Min() const { return FMin; }
    void SetMin(int v);
    int Max() const { return FMax; }
    // Lowering Max below Position lowers Position.
    void SetMax(int v);
    int Position() const { return FPosition; }
    // Values outside Min..Max are refused.
    void SetPosition(int v);
    int BoxCount() const { return FBoxCount; }
    // 1 to 50; other values are refused.
    void SetBoxCount(int v);
    QColor ProgressColor() const { return FProgressColor; }
    void SetProgressColor(const QColor& c);
    QColor TextColor() const { return FTextColor; }
    void SetTextColor(const QColor& c);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& c);
    bool ShowStatus() const { return FShowStatus; }
    void SetShowStatus(bool on);
    bool Smooth() const { return FSmooth; }
    void SetSmooth(bool on);

private:
    void Changed();
    TnbStatusPanel* FOwner;
    int FMin = 0, FMax = 100, FPosition = 0, FBoxCount = 10;
    QColor FProgressColor, FTextColor, FColor;
    bool FShowStatus = true, FSmooth = false;
};

class TnbStatusPanel {
public:
    explicit TnbStatusPanel(TnbStatusBar* bar);
    ~TnbStatusPanel();
    TnbStatusPanel(const TnbStatusPanel&) = delete;
    TnbStatusPanel& operator=(const TnbStatusPanel&) = delete;

    int Index() const;
    TnbStatusBar* Bar() const { return FBar; }

    TPanelAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TPanelAlignment a);
    TStatusPanelBevel Bevel() const { return FBevel; }
    void SetBevel(TStatusPanelBevel b);
    TStatusPanelStyle Style() const { return FStyle; }
    void SetStyle(TStatusPanelStyle s);
    QString Text() const { return FText; }
    void SetText(const QString& t);
    int Width() const { return FWidth; }
    void SetWidth(int w);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool on);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& c);
    QFont Font() const { return FFont; }
    void SetFont(const QFont& f);
    QString Hint() const { return FHint; }
    void SetHint(const QString& h) { FHint = h; }
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int i);
    QMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu* m) { FPopupMenu = m; }
    // Qt date/time format strings; empty falls back to the locale's long formats.
    QString DateFormat() const { return FDateFormat; }
    void SetDateFormat(const QString& f);
    QString TimeFormat() const { return FTimeFormat; }
    void SetTimeFormat(const QString& f);
    TnbHintType HintType() const { return FHintType; }
    void SetHintType(TnbHintType t) { FHintType = t; }
    TnbLedStatus LedStatus() const { return FLedStatus; }
    void SetLedStatus(TnbLedStatus s);
    TnbProgressBar& ProgressBar() { return FProgressBar; }
    const TnbProgressBar& ProgressBar() const { return FProgressBar; }
    void SetProgressBar(const TnbProgressBar& p) { FProgressBar.Assign(p); }
    int Tag = 0;

    std::function<void(TnbStatusPanel*)> OnClick;
    std::function<void(TnbStatusPanel*)> OnDblClick;
    // x is relative to the panel's left edge.
    std::function<void(TnbStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;
    std::function<void(TnbStatusPanel*, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    std::function<void(TnbStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;

    // Marks the panel for redrawing.
    void Changed();

private:
    void StyleLists(bool join);
    TnbStatusBar* FBar;
    TPanelAlignment FAlignment = taLeftJustify;
    TStatusPanelBevel FBevel = pbLowered;
    TStatusPanelStyle FStyle = psText;
    QString FText;
    int FWidth = 50;
    bool FEnabled = true;
    QColor FColor;
    QFont FFont;
    QString FHint;
    int FImageIndex = -1;
    QPointer<QMenu> FPopupMenu;
    QString FDateFormat, FTimeFormat;
    TnbHintType FHintType = htSelfHint;
    TnbLedStatus FLedStatus = lsFree;
    TnbProgressBar FProgressBar;
};

class TnbStatusPanels {
public:
    explicit TnbStatusPanels(TnbStatusBar* bar) : FBar(bar) {}
    TnbStatusPanel* Add();
    TnbStatusPanel* Items(int i) const { return FItems.at(size_t(i)).get(); }
    TnbStatusPanel* operator[](int i) const { return Items(i); }
    int Count() const { return int(FItems.size()); }
    void Delete(int i);
    void Clear();
    int IndexOf(const TnbStatusPanel* p) const;

private:
    TnbStatusBar* FBar;
    std::vector<std::unique_ptr<TnbStatusPanel>> FItems;
};

class TnbStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TnbStatusBar(QWidget* parent = nullptr);
    ~TnbStatusBar() override;

    static QString Version() { return QStringLiteral("1.12"); }

    TnbStatusPanels& Panels() { return FPanels; }
    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool on);
    QString SimpleText() const { return FSimpleText; }
    void SetSimpleText(const QString& t);
    bool SizeGrip() const { return FSizeGrip; }
    void SetSizeGrip(bool on);
    bool UseSystemFont() const { return FUseSystemFont; }
    void SetUseSystemFont(bool on);
    QList<QPixmap> Images() const { return FImages; }
    void SetImages(const QList<QPixmap>& images);
    bool AutoHint() const { return FAutoHint; }
    void SetAutoHint(bool on) { FAutoHint = on; }
    QColor Color() const;
    void SetColor(const QColor& c);
    // The bar's own pop-up menu, used where a panel has none.
    QMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu* m) { FPopupMenu = m; }

    // Part rectangles: each panel's right edge is the sum of its width and those before it;
    // the last part reaches the right edge of the bar.
    QRect PanelRect(int index) const;
    int PanelAt(const QPoint& pos) const;
    // The clock timer exists while clock panels do.
    QTimer* ClockTimer() const { return FClockTimer; }
    // Whether the lock key of a key style is on, as tracked from the key presses seen.
    static bool KeyToggled(TStatusPanelStyle style);

    // Filled rectangles of a progress panel drawn in rect (bar or boxes); empty when Max <= Min.
    static std::vector<QRect> ProgressRects(const QRect& rect, const TnbProgressBar& bar);
    // The status text of a progress panel ("42%"); empty when Max <= Min.
    static QString ProgressText(const TnbProgressBar& bar);
    // The text a panel shows (key names, clock texts or its Text).
    static QString PanelText(const TnbStatusPanel* panel, const QDateTime& now);

    std::function<void(TnbStatusBar*, TnbStatusPanel*, const QRect&)> OnDrawPanel;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnResize;
    std::function<void(const QString&)> OnHint;

    // Internal: panels report changes here.
    void PanelChanged(TnbStatusPanel* panel);
    void PartsChanged();
    void ClockJoin(TnbStatusPanel* panel, bool join);
    void KeyJoin(TnbStatusPanel* panel, bool join);
    void PanelDeleted(TnbStatusPanel* panel);

protected:
    virtual void DrawPanel(QPainter& painter, TnbStatusPanel* panel, const QRect& rect);
    virtual bool DoHint();
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;

private:
    friend class TnbKeyWatcher;
    void ClockTick();
    void UpdateClockTimer();
    void UpdateSizeGrip();
    void TrackPanel(const QPoint& pos);
    QString PanelHint(int index) const;
    void DrawTextPanel(QPainter& p, TnbStatusPanel* panel, const QRect& rect);
    void DrawProgressPanel(QPainter& p, TnbStatusPanel* panel, const QRect& rect);
    QFont PanelFont(const TnbStatusPanel* panel) const;
    void KeyPressed(TStatusPanelStyle style);

    TnbStatusPanels FPanels;
    bool FSimplePanel = false;
    QString FSimpleText;
    bool FSizeGrip = true;
    bool FUseSystemFont = true;
    bool FAutoHint = false;
    QList<QPixmap> FImages;
    QSizeGrip* FGrip = nullptr;
    QPointer<QMenu> FPopupMenu;
    QTimer* FClockTimer = nullptr;
    std::vector<TnbStatusPanel*> FClockPanels;
    QDate FLastTickDate;
    int FMousePanel = -1;
    QPixmap FLedFree, FLedBusy;
    bool FClickedPanel = false;
};
