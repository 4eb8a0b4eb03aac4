#pragma once
// How the string grid explains its cells: balloon hints (a balloon at the pointer with a title, an
// icon and the text of the cell under it), cell hints (a cell's comment, an anchor's title, the
// full text of a cell that does not fit, or what OnGridHint gives) and THTMLHintWindow, the
// grid's own hint window that shows mini-HTML texts.
#include "grid/ZodUvuz.h"
#include "platform/graphics/Graphics.h"
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace grid {

class TBalloonSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Enable READ Enable WRITE SetEnable)
    Q_PROPERTY(int TextColor MEMBER TextColor)
    Q_PROPERTY(int BackgroundColor MEMBER BackgroundColor)
    Q_PROPERTY(int InitialDelay MEMBER InitialDelay)
    Q_PROPERTY(int ReshowDelay MEMBER ReshowDelay)
    Q_PROPERTY(int AutoHideDelay MEMBER AutoHideDelay)
    Q_PROPERTY(int Transparency MEMBER Transparency)
public:
    explicit TBalloonSettings(QObject* owner = nullptr) : QObject(owner) {}

    bool Enable() const { return m_enable; }
    void SetEnable(bool v);
    TColor TextColor = gfx::clNone;
    TColor BackgroundColor = gfx::clNone;
    int InitialDelay = -1;    // milliseconds; -1: the desktop's
    int ReshowDelay = -1;
    int AutoHideDelay = -1;
    quint8 Transparency = 0;  // 0 opaque

    // Copies colours, delays and Enable (not Transparency); the balloon window follows the copied
    // Enable.
    void Assign(const TBalloonSettings* source);

    // The delays in effect: -1 takes the desktop's double-click time as the initial delay, ten
    // times that for hiding and a fifth of it between neighbouring cells.
    int EffectiveInitialDelay() const;
    int EffectiveAutoHideDelay() const;
    int EffectiveReshowDelay() const;

    std::function<void(QObject* sender)> OnEnableChange;

private:
    bool m_enable = false;
};

// The text a balloon shows for a cell's plain text: tabs become blanks, leading tabs and line
// breaks go, and a text over 1024 characters keeps its first 1021 and "...".
QString BalloonText(const QString& text);
// A title over 100 characters keeps 97 and "...".
QString BalloonTitle(const QString& title);
// Room the balloon keeps for its text (characters beyond are cut).
constexpr int BalloonBufferChars = 4095;

// The balloon: a rounded frame with its tail at the pointer, an icon (1 information, 2 warning,
// 3 error, others none), a bold title and the text. Shown without taking the focus.
class TBalloonWindow : public QWidget {
    Q_OBJECT
public:
    explicit TBalloonWindow(QWidget* owner);

    void SetContents(const QString& title, const QString& text, int icon);
    void SetColors(TColor text, TColor background);
    QString Title() const { return m_title; }
    QString Text() const { return m_text; }
    int Icon() const { return m_icon; }
    // Places the tail's tip at the screen point and shows the balloon.
    void ShowAt(const QPoint& screenPos);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutContents();
    QString m_title;
    QString m_text;
    int m_icon = 0;
    QColor m_textColor;
    QColor m_backColor;
    QRect m_iconRect;
    QRect m_titleRect;
    QRect m_textRect;
};

// The grid's hint window: mini-HTML (or, with html off, plain) text on the hint colour with a
// light upper-left and a dark lower-right edge.
class THTMLHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit THTMLHintWindow(QWidget* owner = nullptr);

    QString Text() const { return m_text; }
    void SetText(const QString& text);
    TColor Color() const { return m_color; }
    void SetColor(TColor color) { m_color = color; update(); }
    bool Html() const { return m_html; }
    void SetHtml(bool html) { m_html = html; update(); }
    // The text's measured size at (0, 0) within maxWidth.
    QRect CalcHintRect(int maxWidth, const QString& hint) const;
    // Shows the hint from the rectangle's top-left, text width + 16 by text height + 4, moved
    // back onto the screen (2 pixels from its right and bottom edges) where it would pass them.
    void ActivateHint(const QRect& rect, const QString& hint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize measure(const QString& text, int maxWidth) const;
    QString m_text;
    TColor m_color = gfx::clInfoBk;
    bool m_html = true;
};

struct THintInfo {
    QPoint HintPos;       // screen position of the hint
    QString HintStr;
    TColor HintColor = gfx::clInfoBk;
    QPoint CursorPos;     // viewport position of the pointer
};

// The grid's hint and balloon handling, a child object of the grid watching its viewport.
class TGridHints : public QObject {
    Q_OBJECT
public:
    explicit TGridHints(TZedEzeravIvur* grid);
    ~TGridHints() override;

    TZedEzeravIvur* Grid() const { return m_grid; }
    TBalloonSettings* Balloon() const { return m_balloon; }
    THTMLHintWindow* HintWindow() const { return m_hintWindow; }
    // The balloon window while balloons are on, else null.
    TBalloonWindow* BalloonWindow() const { return m_balloonWindow; }

    void BalloonInit();
    void BalloonDone();
    // The balloon's request for the text of the cell under the viewport point: fills and shows
    // the balloon; false outside cells or with balloons off.
    bool BalloonRequest(const QPoint& viewportPos);
    QPoint BalloonCell() const { return m_balloonCell; }
    // The delay (ms) after which the balloon for the cell under the pointer shows; -1 when none
    // is pending.
    int PendingBalloonDelay() const { return m_initialTimer.isActive() ? m_initialTimer.interval() : -1; }

    // Builds the hint for the pointer at info.CursorPos (the hint string starts as the grid's
    // tool tip). False when the pointer lies outside the cells.
    bool GetCellHintInfo(THintInfo& info);
    // Shows the cell hint for a viewport point in the hint window (hides it when empty).
    void ShowCellHint(const QPoint& viewportPos);
    QPoint HintCell() const { return m_hintCell; }
    // The pointer reached a cell: a balloon or hint of another cell goes away.
    void PointerAt(int col, int row);
    // Takes away a shown hint or balloon and one about to show (panning switches hints off).
    void HideAll();

    std::function<void(QObject* sender, int col, int row, QString& title, QString& text, int& icon)> OnCellBalloon;
    std::function<void(QObject* sender, int row, int col, QString& anchor)> OnAnchorHint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString cellHintText(int col, int row) const;
    QSize cellTextExtent(int col, int row) const;
    TZedEzeravIvur* m_grid;
    TBalloonSettings* m_balloon;
    THTMLHintWindow* m_hintWindow;
    QPointer<TBalloonWindow> m_balloonWindow;
    QPoint m_balloonCell{-1, -1};
    QPoint m_hintCell{-1, -1};
    QPoint m_lastPointer;
    QTimer m_initialTimer;
    QTimer m_hideTimer;
    QElapsedTimer m_sinceHidden;
};

// The grid's hint handling, created on first use (a child of the grid named "GridHints").
TGridHints* GridHints(TZedEzeravIvur* grid);
inline TBalloonSettings* GridBalloon(TZedEzeravIvur* grid) { return GridHints(grid)->Balloon(); }

} // namespace grid
