#pragma once
// Small windows the string grid keeps: the four arrows that mark a drop position while columns
// or rows are dragged, and the button shown while a mini-HTML form button is pressed. Both are
// child widgets of the grid's window (raised, shaped, never focused): free top-level windows
// cannot be placed everywhere.
#include "platform/grid/Toolkit.h"
#include "grid/GridTypes.h"

#include <QPolygon>
#include <QString>
#include <QWidget>

namespace grid {

using gfx::TColor;

class TArrowWindow : public QWidget {
    Q_OBJECT
public:
    // Direction 0 up, 1 down, 2 right, 3 left; lime, hidden.
    TArrowWindow(QWidget* parent, int direction);
    int Direction() const { return m_direction; }
    TColor Color() const { return m_color; }
    // The arrow's outline in pixels from the window's top-left.
    static QPolygon ArrowPolygon(int direction);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_direction;
    TColor m_color = 0x00FF00;
};

class TPopupButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)
    Q_PROPERTY(int GradFrom READ GradFrom WRITE SetGradFrom)
    Q_PROPERTY(int GradTo READ GradTo WRITE SetGradTo)
public:
    explicit TPopupButton(QWidget* parent);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    bool Flat() const { return m_flat; }
    void SetFlat(bool value);
    TColor GradFrom() const { return m_gradFrom; }
    void SetGradFrom(TColor value);
    TColor GradTo() const { return m_gradTo; }
    void SetGradTo(TColor value);
    const tk::TImageList* Images() const { return m_images; }
    void SetImages(const tk::TImageList* images) { m_images = images; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    bool m_flat = false;
    TColor m_gradFrom = gfx::clNone;
    TColor m_gradTo = gfx::clNone;
    const tk::TImageList* m_images = nullptr;
};

} // namespace grid
