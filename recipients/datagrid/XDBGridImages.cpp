// The grid's built-in images, drawn in code: indicator, check-box and marker strips, and the
// status images of a recipient list.
#include "recipients/datagrid/XDBGrid.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace xdb {

namespace {

const QColor kMask(0x80, 0x80, 0x00);      // 0x008080 in BGR notation
const QColor kAqua(0x00, 0xFF, 0xFF);      // 0xFFFF00
const QColor kTeal(0x00, 0x80, 0x80);      // 0x808000
const QColor kBlue(0x00, 0x00, 0xFF);      // 0xFF0000
const QColor kNavy(0x00, 0x00, 0x80);      // 0x800000
const QColor kLime(0x00, 0xFF, 0x00);      // 0x00FF00

QImage Strip(int count, int size, const QColor& background)
{
    QImage img(count * size, size, QImage::Format_RGB32);
    img.fill(background);
    return img;
}

void Poly(QPainter& p, std::initializer_list<QPoint> points, const QColor& c)
{
    p.setPen(c);
    p.setBrush(c);
    p.drawPolygon(QPolygon(QList<QPoint>(points)));
}

} // namespace

QImage IndicatorStrip()
{
    QImage img = Strip(20, 16, kMask);
    QPainter p(&img);
    const QColor black(Qt::black);
    auto at = [&](int i) { p.resetTransform(); p.translate(i * 16, 0); };
    // 0 right-pointing solid triangle
    at(0);
    Poly(p, {{5, 3}, {5, 12}, {10, 7}}, black);
    // 1 text cursor (I-beam)
    at(1);
    p.setPen(black);
    p.drawLine(5, 3, 10, 3);
    p.drawLine(7, 3, 7, 12);
    p.drawLine(8, 3, 8, 12);
    p.drawLine(5, 12, 10, 12);
    // 2 asterisk
    at(2);
    p.setPen(QPen(black, 2));
    p.drawLine(8, 3, 8, 12);
    p.drawLine(4, 5, 12, 10);
    p.drawLine(4, 10, 12, 5);
    // 3 dot
    at(3);
    p.setPen(black);
    p.setBrush(black);
    p.drawEllipse(QRect(6, 6, 4, 4));
    // 4 outlined right-pointing triangle
    at(4);
    p.setPen(black);
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygon(QList<QPoint>{{5, 2}, {5, 13}, {11, 7}}));
    // 5 down-pointing solid triangle
    at(5);
    Poly(p, {{3, 6}, {12, 6}, {7, 11}}, black);
    // 6 small inverted T
    at(6);
    p.setPen(black);
    p.drawLine(7, 4, 7, 11);
    p.drawLine(4, 11, 10, 11);
    // 7 inverted T with a round head
    at(7);
    p.setPen(black);
    p.drawLine(7, 6, 7, 11);
    p.drawLine(4, 11, 10, 11);
    p.setBrush(black);
    p.drawEllipse(QRect(5, 2, 4, 4));
    // 8, 9 small up and down triangles
    at(8);
    Poly(p, {{4, 9}, {10, 9}, {7, 6}}, black);
    at(9);
    Poly(p, {{4, 6}, {10, 6}, {7, 9}}, black);
    // 10, 11 small left and right triangles
    at(10);
    Poly(p, {{9, 4}, {9, 10}, {6, 7}}, black);
    at(11);
    Poly(p, {{6, 4}, {6, 10}, {9, 7}}, black);
    // 12 check mark
    at(12);
    p.setPen(QPen(black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygon(QList<QPoint>{{3, 8}, {6, 11}, {12, 4}}));
    // 13 cross
    at(13);
    p.drawLine(4, 4, 11, 11);
    p.drawLine(4, 11, 11, 4);
    // 14 square
    at(14);
    p.setPen(black);
    p.setBrush(black);
    p.drawRect(4, 4, 7, 7);
    // 15 circle
    at(15);
    p.drawEllipse(QRect(4, 4, 8, 8));
    // 16 triangle
    at(16);
    Poly(p, {{3, 12}, {12, 12}, {7, 3}}, black);
    // 17 plus, 18 minus
    at(17);
    p.setPen(QPen(black, 2));
    p.drawLine(3, 8, 12, 8);
    p.drawLine(8, 3, 8, 12);
    at(18);
    p.drawLine(3, 8, 12, 8);
    // 19 exclamation mark
    at(19);
    p.drawLine(8, 2, 8, 9);
    p.drawPoint(8, 12);
    p.end();
    return img;
}

QImage CheckBoxStrip()
{
    QImage img = Strip(9, 13, kMask);
    QPainter p(&img);
    const QColor grey(0x80, 0x80, 0x80);
    for (int i = 0; i < 9; ++i) {
        p.resetTransform();
        p.translate(i * 13, 0);
        p.fillRect(0, 0, 13, 13, Qt::white);
        p.setPen(grey);
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, 12, 12);
        const int state = i % 3;        // 0 empty, 1 black, 2 grey
        const int kind = i / 3;         // check, cross, box
        if (state == 0)
            continue;
        const QColor mark = state == 1 ? QColor(Qt::black) : grey;
        if (kind == 0) {
            p.setPen(QPen(mark, 2));
            p.drawPolyline(QPolygon(QList<QPoint>{{3, 6}, {5, 9}, {10, 3}}));
        } else if (kind == 1) {
            p.setPen(QPen(mark, 2));
            p.drawLine(3, 3, 9, 9);
            p.drawLine(3, 9, 9, 3);
        } else {
            p.fillRect(3, 3, 7, 7, mark);
        }
    }
    p.end();
    return img;
}

QImage MarkerStrip()
{
    QImage img = Strip(20, 16, kMask);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < 20; ++i) {
        p.resetTransform();
        p.translate(i * 16, 0);
        const bool down = i % 2 == 1;
        const int number = i / 2; // 0: no number
        // The triangle sits left of a number, centred without one.
        const int left = number == 0 ? 3 : 1;
        const int right = left + 9;
        const int mid = (left + right) / 2;
        const int top = 4, bottom = 11;
        if (!down) {
            Poly(p, {{mid, top}, {left, bottom}, {right, bottom}}, kTeal);
            p.setPen(kAqua);
            p.drawLine(mid, top, left, bottom);       // lit edge
            p.setPen(kBlue);
            p.drawLine(mid, top, right, bottom);      // shaded edge
            p.setPen(kNavy);
            p.drawLine(left, bottom, right, bottom);  // outer edge
        } else {
            Poly(p, {{left, top}, {right, top}, {mid, bottom}}, kTeal);
            p.setPen(kAqua);
            p.drawLine(left, top, right, top);
            p.drawLine(left, top, mid, bottom);
            p.setPen(kNavy);
            p.drawLine(right, top, mid, bottom);
        }
        if (number > 0) {
            p.fillRect(11, 3, 5, 10, kLime);
            QFont f;
            f.setPixelSize(9);
            f.setBold(true);
            f.setStyleStrategy(QFont::NoAntialias);
            p.setFont(f);
            p.setPen(kNavy);
            p.drawText(QRect(11, 3, 5, 10), Qt::AlignCenter, QString::number(number));
        }
    }
    p.end();
    return img;
}

QImage MarkerStripFor(TMarkerStyle style, bool transparent, const QPalette& palette)
{
    const QColor white(Qt::white), black(Qt::black);
    const QColor highlight = tk::ToQColor(gfx::cl3DLight, palette);
    const QColor shadow = tk::ToQColor(gfx::clBtnShadow, palette);
    const QColor darkShadow = tk::ToQColor(gfx::cl3DDkShadow, palette);
    const QColor dark = transparent ? kMask : white;
    // Replacements of aqua, teal, blue and navy.
    QColor r[4];
    switch (style) {
    case msDefault: r[0] = white; r[1] = kMask; r[2] = shadow; r[3] = black; break;
    case msSoft: r[0] = white; r[1] = kMask; r[2] = shadow; r[3] = darkShadow; break;
    case msRaisedDark: r[0] = highlight; r[1] = dark; r[2] = dark; r[3] = black; break;
    case msRaisedGray: r[0] = highlight; r[1] = dark; r[2] = dark; r[3] = darkShadow; break;
    case msRaisedMild: r[0] = highlight; r[1] = dark; r[2] = dark; r[3] = shadow; break;
    case msLoweredDark: r[0] = black; r[1] = dark; r[2] = dark; r[3] = highlight; break;
    case msLoweredGray: r[0] = darkShadow; r[1] = dark; r[2] = dark; r[3] = highlight; break;
    case msLoweredMild: r[0] = shadow; r[1] = dark; r[2] = dark; r[3] = highlight; break;
    case msFlat: r[0] = black; r[1] = dark; r[2] = dark; r[3] = black; break;
    case msGray: r[0] = darkShadow; r[1] = dark; r[2] = dark; r[3] = darkShadow; break;
    case msMild: default: r[0] = shadow; r[1] = dark; r[2] = dark; r[3] = shadow; break;
    }
    if (style == msDefault || style == msSoft)
        r[0] = white;
    const QColor lime = transparent ? kMask : white;
    QImage img = MarkerStrip().convertToFormat(QImage::Format_RGB32);
    const QRgb keys[5] = {kAqua.rgb(), kTeal.rgb(), kBlue.rgb(), kNavy.rgb(), kLime.rgb()};
    const QRgb repl[5] = {r[0].rgb(), r[1].rgb(), r[2].rgb(), r[3].rgb(), lime.rgb()};
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            for (int k = 0; k < 5; ++k)
                if ((line[x] & 0xFFFFFF) == (keys[k] & 0xFFFFFF)) {
                    line[x] = repl[k];
                    break;
                }
    }
    return img;
}

std::unique_ptr<tk::TImageList> CreateStatusImageList()
{
    auto list = std::make_unique<tk::TImageList>(16, 16);
    for (int status = 0; status < 3; ++status) {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        switch (status) {
        case 0: // to send: a closed envelope
            p.setPen(QColor(0x80, 0x60, 0x00));
            p.setBrush(QColor(0xFF, 0xE0, 0x80));
            p.drawRect(1, 3, 13, 9);
            p.drawLine(1, 3, 8, 8);
            p.drawLine(14, 3, 8, 8);
            break;
        case 1: // sent: a green check mark
            p.setPen(QPen(QColor(0x00, 0xA0, 0x00), 3));
            p.drawPolyline(QPolygon(QList<QPoint>{{2, 8}, {6, 12}, {13, 3}}));
            break;
        default: // blocked: a red no-entry sign
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xE0, 0x00, 0x00));
            p.drawEllipse(QRect(1, 1, 14, 14));
            p.fillRect(4, 7, 8, 2, Qt::white);
            break;
        }
        p.end();
        list->Add(img);
    }
    return list;
}

} // namespace xdb
