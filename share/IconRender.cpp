// Renders the program's icon (icons/quillory.svg) into the PNG sizes a desktop and the window
// need: icons/quillory-<size>.png. Run by scripts/render-icons; the PNGs are committed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s icon.svg output-folder\n", argv[0]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid())
        return 1;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p);
        p.end();
        const QString out = QStringLiteral("%1/quillory-%2.png").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!img.save(out))
            return 1;
    }
    return 0;
}
