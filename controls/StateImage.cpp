#include "controls/StateImage.h"

#include <QLabel>
#include <QPainter>

TStateImage::TStateImage(QWidget* parent) : QWidget(parent)
{
    setFixedSize(16, 16);
    auto make = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(0, 0, 16, 16);
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TranslucentBackground);
        return l;
    };
    FGreen = make("ImageGreen");
    FGrey = make("ImageGrey");
    FYellow = make("ImageYellow");
    FGreen->setPixmap(DefaultMark(QColor(0, 170, 0)));
    FGrey->setPixmap(DefaultMark(QColor(160, 160, 160)));
    FYellow->setPixmap(DefaultMark(QColor(230, 200, 0)));
    FYellow->raise();
}

QPixmap TStateImage::DefaultMark(const QColor& colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    if (colour.green() > colour.red() + 50) { // a tick on the green mark
        p.setPen(QPen(Qt::white, 2));
        p.drawPolyline(QPolygonF({ QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5.5) }));
    }
    return pm;
}

QPixmap TStateImage::ImageGreen() const { return FGreen->pixmap(); }
void TStateImage::SetImageGreen(const QPixmap& pm) { FGreen->setPixmap(pm); }
QPixmap TStateImage::ImageGrey() const { return FGrey->pixmap(); }
void TStateImage::SetImageGrey(const QPixmap& pm) { FGrey->setPixmap(pm); }
QPixmap TStateImage::ImageYellow() const { return FYellow->pixmap(); }
void TStateImage::SetImageYellow(const QPixmap& pm) { FYellow->setPixmap(pm); }

void TStateImage::ShowGreen()
{
    FGreen->show();
    FGrey->hide();
    FYellow->hide();
}

void TStateImage::ShowGrey()
{
    FGrey->show();
    FGreen->hide();
    FYellow->hide();
}

bool TStateImage::GreenShown() const { return FGreen->isVisibleTo(this); }
bool TStateImage::GreyShown() const { return FGrey->isVisibleTo(this); }
bool TStateImage::YellowShown() const { return FYellow->isVisibleTo(this); }
