#include "app/ProgramIcon.h"

#include <QFileInfo>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace app {

namespace {

class TLazyPngIconEngine final : public QIconEngine {
public:
    TLazyPngIconEngine(const QString& pattern, const QList<int>& sizes) : m_pattern(pattern), m_sizes(sizes) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return Icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return Icon().availableSizes(mode, state);
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override
    {
        Icon().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        Icon().addFile(fileName, size, mode, state);
    }
    bool isNull() override
    {
        if (m_loaded)
            return m_icon.isNull();
        for (int size : m_sizes)
            if (QFileInfo::exists(m_pattern.arg(size)))
                return false;
        return true;
    }
    QString key() const override { return QStringLiteral("QlyLazyPngIcon"); }
    QIconEngine* clone() const override { return new TLazyPngIconEngine(*this); }

private:
    QIcon& Icon()
    {
        if (!m_loaded) {
            m_loaded = true;
            for (int size : m_sizes) {
                // The toolkit's own PNG reader: left to guess the format, the reader would first
                // load and ask every image-format plugin.
                QImageReader reader(m_pattern.arg(size), "png");
                reader.setAutoDetectImageFormat(false);
                const QImage image = reader.read();
                if (!image.isNull())
                    m_icon.addPixmap(QPixmap::fromImage(image));
            }
        }
        return m_icon;
    }

    QString m_pattern;
    QList<int> m_sizes;
    bool m_loaded = false;
    QIcon m_icon;
};

} // namespace

QIcon LazyPngIcon(const QString& pattern, const QList<int>& sizes)
{
    return QIcon(new TLazyPngIconEngine(pattern, sizes));
}

} // namespace app
