#pragma once
// TOrvRollOverSpeedBtn: a speed button that changes its glyph and font with the mouse:
// one look while pressed, one while the mouse is over it, one otherwise.
#include <QFont>
#include <QPixmap>
#include <QToolButton>
#include <functional>

class TOrvRollOverSpeedBtn : public QToolButton {
    Q_OBJECT
public:
    explicit TOrvRollOverSpeedBtn(QWidget* parent = nullptr);

    QPixmap GlyphNormal() const { return FGlyphNormal; }
    void SetGlyphNormal(const QPixmap& pm);
    QPixmap GlyphDown() const { return FGlyphDown; }
    void SetGlyphDown(const QPixmap& pm) { FGlyphDown = pm; }
    QPixmap GlyphHighLighted() const { return FGlyphHighLighted; }
    void SetGlyphHighLighted(const QPixmap& pm) { FGlyphHighLighted = pm; }
    QFont FontNormal() const { return FFontNormal; }
    void SetFontNormal(const QFont& f);
    QFont FontDown() const { return FFontDown; }
    void SetFontDown(const QFont& f) { FFontDown = f; }
    QFont FontHighLighted() const { return FFontHighLighted; }
    void SetFontHighLighted(const QFont& f) { FFontHighLighted = f; }

    bool Pressed() const { return FPressed; }
    bool Hot() const { return FHot; }
    // The glyph shown now.
    QPixmap CurrentGlyph() const { return FCurrentGlyph; }

    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void Appearance();
    bool FPressed = false;
    bool FHot = false;
    QPixmap FGlyphNormal, FGlyphDown, FGlyphHighLighted, FCurrentGlyph;
    QFont FFontNormal, FFontDown, FFontHighLighted;
};
