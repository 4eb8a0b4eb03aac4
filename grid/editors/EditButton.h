#pragma once
// The button inside an edit's right edge: a small control that hosts one painted speed button with
// a caption or a glyph, drawn flat, as a classic push button or in the desktop's themed look.
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace grid::editors {

class TZedSpeedButton : public QWidget {
    Q_OBJECT
public:
    explicit TZedSpeedButton(QWidget* parent = nullptr);

    // The themed look (the "button" class of the visual styles, opened on the parent).
    bool IsWinXP() const { return m_winXP; }
    void SetIsWinXP(bool value);
    // Flat: a one-pixel raised edge, sunken while down; otherwise a push-button frame.
    bool Flat() const { return m_flat; }
    void SetFlat(bool value);
    QPixmap Glyph() const { return m_glyph; }
    void SetGlyph(const QPixmap& value);
    int NumGlyphs() const { return m_numGlyphs; }
    void SetNumGlyphs(int value);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    // Down while the left button is held on it.
    bool Down() const { return m_down; }
    bool MouseOver() const { return m_mouseOver; }
    // The glyph's top-left and the caption's origin as painted now (tests read them).
    QPoint GlyphPos() const;
    QPoint CaptionPos() const { return m_down ? QPoint(3, 3) : QPoint(2, 2); }

    // The left button released after a press on the button (wherever the pointer is then).
    std::function<void(QObject* sender)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_winXP = false;
    bool m_flat = false;
    QPixmap m_glyph;
    int m_numGlyphs = 1;
    QString m_caption;
    bool m_down = false;
    bool m_mouseOver = false;
};

// The control an edit embeds: its speed button fills it; a left release raises OnClick and then
// gives the focus to FocusControl.
class TDidEzevButton : public QWidget {
    Q_OBJECT
public:
    explicit TDidEzevButton(QWidget* parent = nullptr);
    TZedSpeedButton* SpeedButton() const { return m_button; }
    QPixmap Glyph() const { return m_button->Glyph(); }
    void SetGlyph(const QPixmap& value) { m_button->SetGlyph(value); }
    int NumGlyphs() const { return m_button->NumGlyphs(); }
    void SetNumGlyphs(int value) { m_button->SetNumGlyphs(value); }
    QString ButtonCaption() const { return m_button->Caption(); }
    void SetButtonCaption(const QString& value) { m_button->SetCaption(value); }
    bool Flat() const { return m_flat; }
    void SetFlat(bool value);
    QPointer<QWidget> FocusControl;
    std::function<void(QObject* sender)> OnClick;
    // Places the control; the width is at least 15 and the speed button fills it.
    void SetBounds(int x, int y, int w, int h);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buttonMouseUp();
    TZedSpeedButton* m_button;
    bool m_flat = false;
};

} // namespace grid::editors
