#pragma once
// TStateImage: a 16 by 16 step mark holding a green, a grey and a yellow picture.
#include <QPixmap>
#include <QWidget>

class QLabel;

class TStateImage : public QWidget {
    Q_OBJECT
public:
    explicit TStateImage(QWidget* parent = nullptr);

    QPixmap ImageGreen() const;
    void SetImageGreen(const QPixmap& pm);
    QPixmap ImageGrey() const;
    void SetImageGrey(const QPixmap& pm);
    QPixmap ImageYellow() const;
    void SetImageYellow(const QPixmap& pm);

    void ShowGreen();
    void ShowGrey();

    // Which pictures are visible (for the window's state and for tests).
    bool GreenShown() const;
    bool GreyShown() const;
    bool YellowShown() const;

    // Round marks of our own drawing in the three colours.
    static QPixmap DefaultMark(const QColor& colour);

private:
    QLabel* FGreen;
    QLabel* FGrey;
    QLabel* FYellow;
};
