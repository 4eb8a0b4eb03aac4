#include "controls/shell/OrvThumbnails.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QUrl>

namespace {

// The value of a PNG tEXt chunk (Qt's reader cuts keys at ":", and thumbnail keys hold "::").
QString PngTextValue(const QByteArray& png, const QByteArray& key)
{
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return QString();
    qsizetype pos = 8;
    while (pos + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uchar*>(png.constData() + pos);
        const quint32 len = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        const QByteArray type = png.mid(pos + 4, 4);
        if (len > quint32(png.size() - pos - 12) || type == "IDAT" || type == "IEND")
            break;
        if (type == "tEXt") {
            const QByteArray body = png.mid(pos + 8, len);
            const qsizetype zero = body.indexOf('\0');
            if (zero >= 0 && body.left(zero) == key)
                return QString::fromLatin1(body.mid(zero + 1));
        }
        pos += 12 + len;
    }
    return QString();
}

} // namespace

QImage CachedDesktopThumbnail(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.isFile())
        return QImage();
    const QByteArray uri = QUrl::fromLocalFile(fi.absoluteFilePath()).toEncoded();
    const QString name = QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString mtime = QString::number(fi.lastModified().toSecsSinceEpoch());
    for (const char* size : {"normal", "large"}) {
        QFile f(cache + QStringLiteral("/thumbnails/") + QLatin1String(size) + QLatin1Char('/') + name);
        if (!f.open(QIODevice::ReadOnly) || f.size() > 16 * 1024 * 1024)
            continue;
        const QByteArray png = f.readAll();
        if (PngTextValue(png, "Thumb::MTime") != mtime)
            continue;
        const QImage image = QImage::fromData(png, "PNG");
        if (!image.isNull())
            return image;
    }
    return QImage();
}

QImage MakeThumbnail(const QString& path, const QSize& size)
{
    if (size.isEmpty())
        return QImage();
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image;
    if (reader.canRead()) {
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > size.width() || full.height() > size.height()))
            reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio));
        image = reader.read();
    }
    if (image.isNull())
        image = CachedDesktopThumbnail(path);
    if (!image.isNull() && (image.width() > size.width() || image.height() > size.height()))
        image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

TOrvThumbnailThread::TOrvThumbnailThread(const QString& path, const QSize& size, std::function<void(const QImage&)> done)
    : m_path(path), m_size(size), m_done(std::move(done))
{
    setAutoDelete(true);
}

void TOrvThumbnailThread::run()
{
    QImage image;
    try {
        image = MakeThumbnail(m_path, m_size);
    } catch (...) {
        image = QImage();
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [done = m_done, image] { done(image); }, Qt::QueuedConnection);
}
