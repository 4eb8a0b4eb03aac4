// Feeds arbitrary text to the mini-HTML renderer: measured, drawn into a 200 x 60 image and
// hit-tested at points taken from the input, with an image list and an in-memory picture
// container. The string helpers run too: a control value must survive SetControlValue and
// ParseControlTag, entity encoding must be undone by decoding, stripping never lengthens a text,
// and unhighlighting undoes highlighting.
#include "grid/minihtml/MiniHTML.h"
#include "grid/pictures/Pictures.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QApplication* g_app = nullptr;
QWidget* g_window = nullptr;
tk::TImageList* g_images = nullptr;
pictures::TPictureContainer* g_container = nullptr;

void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

// Font configuration keeps what it looked up for the process (caches of fonts and substitutions
// that a FACE attribute can grow); those are not leaks of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libfreetype.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QApplication(*argc, *argv);
    minihtml::MiniHTMLUnitStartup();
    g_window = new QWidget;
    g_window->resize(200, 60);
    g_images = new tk::TImageList(16, 16);
    for (int i = 0; i < 3; ++i) {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(QColor::fromHsv(i * 100, 200, 200));
        g_images->Add(img);
    }
    g_container = new pictures::TPictureContainer;
    QImage logo(24, 12, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    logo.save(&buffer, "PNG");
    pictures::TPictureItem* item = g_container->Items().Add();
    item->Name = QStringLiteral("logo");
    item->Picture()->LoadFromBytes(png);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6 || size > 64 * 1024)
        return 0;
    const uint8_t flags = data[0];
    const int px = data[1] % 210;
    const int py = data[2] % 70;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 6), qsizetype(size - 6));

    minihtml::TMiniHTMLInput in;
    in.Text = text;
    in.Rect = QRect(0, 0, 200, 60);
    in.Images = g_images;
    in.PictureContainer = g_container;
    in.Window = g_window;
    in.WordWrap = flags & 1;
    in.Selected = flags & 2;
    in.BlinkOn = flags & 4;
    in.HoverEnabled = flags & 8;
    in.MouseDown = flags & 16;
    in.ScaleImages = flags & 32;
    in.ScaleFactor = 1.5;
    in.HoverLink = data[3] % 4;
    in.FocusLink = data[4] % 4 - 1;
    in.HoverColor = (flags & 64) ? gfx::clYellow : gfx::clNone;
    in.HoverFontColor = (flags & 128) ? gfx::clRed : gfx::clNone;
    in.BrushColor = (data[5] & 1) ? gfx::clWhite : gfx::clNone;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    in.Font = font;

    minihtml::TMiniHTMLResult out;
    in.MeasureOnly = true;
    minihtml::DrawMiniHTML(nullptr, in, out);
    check(out.ExtentX >= 0 && out.ExtentY >= 0);
    in.MeasureOnly = false;
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setClipRect(in.Rect);
        in.X = px;
        in.Y = py;
        minihtml::DrawMiniHTML(&painter, in, out);
    }
    in.HitTest = true;
    for (const QPoint& p : {QPoint(px, py), QPoint(py * 2, px / 3), QPoint(5, 5)}) {
        in.X = p.x();
        in.Y = p.y();
        in.ControlID = (data[5] & 2) ? QStringLiteral("c1") : QString();
        if (minihtml::DrawMiniHTML(nullptr, in, out))
            check(!out.AnchorValue.isNull());
    }

    // Helpers.
    check(minihtml::StripMiniHTMLTags(text).size() <= text.size());
    check(minihtml::MiniHTMLToText(text).size() <= text.size());
    check(minihtml::DecodeBasicEntities(minihtml::EncodeBasicEntities(text)) == text);
    QString control = QStringLiteral("a<CONTROL TYPE=\"EDIT\" ID=\"f\" VALUE=\"x\" WIDTH=\"30\" PROP=\"p\">b");
    check(minihtml::SetControlValue(control, QStringLiteral("f"), text));
    const qsizetype at = control.indexOf(QLatin1String("<CONTROL"));
    const qsizetype gt = control.indexOf(QLatin1Char('>'), at);
    QString type, id, value, width, prop;
    minihtml::ParseControlTag(control.mid(at + 8, gt - at - 8), type, id, value, width, prop);
    check(value == text && id == QLatin1String("f") && width == QLatin1String("30") && prop == QLatin1String("p"));
    QString unknown = text;
    check(minihtml::SetControlValue(unknown, QStringLiteral("\x01none"), QStringLiteral("v")) || unknown == text);
    const QString what = text.left(data[3] % 3 + 1);
    if (!text.contains(QLatin1String("<HI>"), Qt::CaseInsensitive) && !text.contains(QLatin1String("</HI>"), Qt::CaseInsensitive))
        check(minihtml::UnhighlightMiniHTML(minihtml::HighlightMiniHTML(text, what, QStringLiteral("HI"), flags & 1),
                                           QStringLiteral("HI")) == text);
    minihtml::VisiblePosToTagPos(text, data[4]);
    minihtml::NextEditControlID(text, QString());
    return 0;
}
