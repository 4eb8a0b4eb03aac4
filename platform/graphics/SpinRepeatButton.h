#pragma once
// The arrow button of spin controls: a speed button that keeps clicking while it is held down
// (first repeat after 400 ms, then every 100 ms). Shared by the spin edit and the grid family.
#include <QAbstractButton>
#include <QPixmap>

class QPainter;
class QTimer;

enum TButtonDirection { bdLeft, bdRight, bdUp, bdDown };

class DAvoRorurAroruDadaze : public QAbstractButton {
    Q_OBJECT
public:
    explicit DAvoRorurAroruDadaze(QWidget* parent = nullptr);

    TButtonDirection ButtonDirection() const { return FButtonDirection; }
    void SetButtonDirection(TButtonDirection d);
    // When set, holding the button down repeats its click.
    bool AllowTimer() const { return FAllowTimer; }
    void SetAllowTimer(bool on) { FAllowTimer = on; }
    // The focus mark of the arrow pair's focused button (drawn as a focus rectangle).
    bool FocusShown() const { return FFocusShown; }
    void SetFocusShown(bool on);
    bool Flat() const { return FFlat; }
    void SetFlat(bool on);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool on);
    QPixmap Glyph() const { return FGlyph; }
    void SetGlyph(const QPixmap& glyph);
    // Images side by side in the glyph (1 to 4): normal, disabled, pressed, down.
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int count);
    bool MouseOver() const { return FMouseOver; }
    // True: drawn with the style's spin parts when visual styles are active.
    bool UsesVisualStyles() const { return FVisualStyles; }
    void SetUsesVisualStyles(bool on)
    {
        FVisualStyles = on;
        update();
    }
    // The repeat timer, once the button was pressed (null before).
    QTimer* RepeatTimer() const { return FRepeatTimer; }

    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void TimerExpired();
    void RepaintParent();
    void paintFocus(QPainter& p);

    QTimer* FRepeatTimer = nullptr;
    bool FAllowTimer = false;
    bool FFocusShown = false;
    TButtonDirection FButtonDirection = bdUp;
    bool FMouseOver = false;
    bool FFlat = false;
    bool FTransparent = false;
    bool FVisualStyles = true;
    QPixmap FGlyph;
    int FNumGlyphs = 1;
};
