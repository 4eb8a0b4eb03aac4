#pragma once
// The grid family's flat, colour-styled speed button: up, down, grouped exclusive buttons, a check
// style, hot / down / checked colours with optional gradients, a gray shade under a hot glyph, an
// optional drop-down part, and colour presets that follow the desktop's colour scheme.
#include "platform/graphics/Graphics.h"
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QShortcut;

namespace grid::editors {

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TZodUvuzButtonStyle { tasButton, tasCheck };

class TZodUvuzButton : public QWidget {
    Q_OBJECT
public:
    explicit TZodUvuzButton(QWidget* parent = nullptr);

    // Button states.
    enum { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3 };
    int State() const { return m_state; }

    bool AllowAllUp() const { return m_allowAllUp; }
    void SetAllowAllUp(bool value);
    int GroupIndex() const { return m_groupIndex; }
    void SetGroupIndex(int value);
    bool Down() const { return m_down; }
    void SetDown(bool value);
    TZodUvuzButtonStyle Style() const { return m_style; }
    void SetStyle(TZodUvuzButtonStyle value) { m_style = value; update(); }
    bool Flat() const { return m_flat; }
    void SetFlat(bool value) { m_flat = value; update(); }
    TButtonLayout Layout() const { return m_layout; }
    void SetLayout(TButtonLayout value) { m_layout = value; update(); }
    int Margin() const { return m_margin; }
    // Only -1 and above are taken.
    void SetMargin(int value);
    int Spacing() const { return m_spacing; }
    void SetSpacing(int value) { m_spacing = value; update(); }
    bool ShowCaption() const { return m_showCaption; }
    void SetShowCaption(bool value) { m_showCaption = value; update(); }
    bool Rounded() const { return m_rounded; }
    void SetRounded(bool value) { m_rounded = value; update(); }
    bool DropDownButton() const { return m_dropDown; }
    void SetDropDownButton(bool value) { m_dropDown = value; update(); }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    gfx::TColor Color = gfx::clBtnFace;
    gfx::TColor ColorTo = gfx::clNone;
    gfx::TColor ColorDown = 0xD8D3D2;   // red 210, green 211, blue 216
    gfx::TColor ColorDownTo = gfx::clNone;
    gfx::TColor ColorHot = 0xCAC7C7;    // red 199, green 199, blue 202
    gfx::TColor ColorHotTo = gfx::clNone;
    gfx::TColor ColorChecked = 0x808080;
    gfx::TColor ColorCheckedTo = gfx::clNone;
    gfx::TColor BorderColor = gfx::clNone;
    gfx::TColor BorderDownColor = gfx::clNone;
    gfx::TColor BorderHotColor = gfx::clNone;
    bool AutoXPStyle = false;

    QImage Glyph() const { return m_glyph; }
    // A new glyph also fills an empty GlyphDisabled with its gray version, and rebuilds the shade
    // while Shaded is on.
    void SetGlyph(const QImage& value);
    QImage GlyphHot;
    QImage GlyphDown;
    QImage GlyphDisabled;
    QImage Shade() const { return m_shade; }
    bool Shaded() const { return m_shaded; }
    void SetShaded(bool value);
    bool AutoThemeAdapt() const { return m_autoThemeAdapt; }
    void SetAutoThemeAdapt(bool value);
    // The desktop's colour scheme: 0 unless a scheme hook names one (1 "NormalColor", 2 "HomeStead",
    // 3 "Metallic").
    static int CurrentScheme();
    void ApplyScheme(int scheme);

    QMenu* DropDownMenu = nullptr;
    // Links the button to an action (caption, checked state; a click triggers it).
    void SetAction(QAction* action);
    QAction* Action() const { return m_action; }

    // Where the glyph and the caption stand in a rectangle (for painting; tests read it).
    void CalcLayout(const QRect& client, QPoint& glyphPos, QRect& textBounds) const;

    std::function<void(QObject* sender)> OnClick;
    std::function<void(QObject* sender)> OnDropDown;
    std::function<void(QObject* sender)> OnMouseEnter;
    std::function<void(QObject* sender)> OnMouseLeave;

    QSize sizeHint() const override { return QSize(23, 22); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void click();
    void announce();
    void buttonPressed(int group, TZodUvuzButton* sender);
    void buildShade();
    void fillRect(QPainter& p, const QRect& r, gfx::TColor from, gfx::TColor to, gfx::TColor outline);
    bool inside(const QPoint& pt) const { return pt.x() >= 0 && pt.x() < width() && pt.y() >= 0 && pt.y() <= height(); }

    int m_state = bsUp;
    bool m_down = false;
    bool m_allowAllUp = false;
    int m_groupIndex = 0;
    TZodUvuzButtonStyle m_style = tasButton;
    bool m_flat = true;
    TButtonLayout m_layout = blGlyphLeft;
    int m_margin = -1;
    int m_spacing = 4;
    bool m_showCaption = true;
    bool m_rounded = false;
    bool m_dropDown = false;
    bool m_shaded = true;
    bool m_autoThemeAdapt = false;
    bool m_hot = false;
    bool m_dragging = false;
    QString m_caption;
    QImage m_glyph;
    QImage m_shade;
    QPointer<QAction> m_action;
    QShortcut* m_mnemonic = nullptr;
};

} // namespace grid::editors
