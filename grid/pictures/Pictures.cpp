#include "grid/pictures/Pictures.h"

#include "grid/pictures/GifBlocks.h"
#include "grid/pictures/Metafile.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace pictures {

namespace {
const QString kInvalidFormat = QStringLiteral("Could not load image. Invalid format");

// Decodes raster bytes; for a GIF with frames the `frame`-th image Qt composes.
bool readImage(const QByteArray& bytes, int frame, QImage& image)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    for (int i = 1; i <= frame; ++i) {
        if (!reader.read(&image))
            return false;
    }
    return !image.isNull();
}
} // namespace

bool ReadPictureFile(const QString& path, QByteArray& bytes)
{
    bytes.clear();
    const QFileInfo info(path);
    // Only regular files: a device, a FIFO or a folder could block or never end.
    if (!info.exists() || !info.isFile() || info.size() > kMaxPictureFileSize)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    if (file.isSequential())
        return false;
    bytes = file.read(kMaxPictureFileSize + 1);
    return bytes.size() <= kMaxPictureFileSize;
}

// ------------------------------------------------------------------ THTMLPicture

THTMLPicture::THTMLPicture() = default;
THTMLPicture::~THTMLPicture() = default;

void THTMLPicture::clearDecoded()
{
    m_decoded = false;
    m_image = QImage();
    m_svg.reset();
    m_size = QSize();
    m_frameRect = QRect();
}

void THTMLPicture::decode()
{
    clearDecoded();
    if (IsWmfData(m_bytes)) {
        QSize size;
        const QByteArray svg = WmfToSvg(m_bytes, size);
        if (svg.isEmpty())
            throw EPictureError(kInvalidFormat);
        auto renderer = std::make_unique<QSvgRenderer>(svg);
        if (!renderer->isValid())
            throw EPictureError(kInvalidFormat);
        m_svg = std::move(renderer);
        m_size = size;
        m_decoded = true;
        return;
    }
    int frame = 1;
    if (GIFFrameCount() > 0) {
        const std::vector<TGifFrame> frames = GifFrames(m_bytes);
        if (m_frame < 1 || m_frame > int(frames.size()))
            throw EPictureError(kInvalidFormat);
        frame = m_frame;
        m_frameRect = frames[size_t(frame - 1)].rect;
    }
    QImage image;
    if (!readImage(m_bytes, frame, image)) {
        m_frameRect = QRect();
        throw EPictureError(kInvalidFormat);
    }
    m_size = image.size();
    // The frame is its descriptor's rectangle of the composed image.
    const QRect area = m_frameRect.intersected(image.rect());
    m_image = m_frameRect.isValid() && !area.isEmpty() && area != image.rect() ? image.copy(area) : image;
    m_decoded = true;
}

void THTMLPicture::Assign(const THTMLPicture* source)
{
    m_empty = true;
    clearDecoded();
    m_frameCount = -1;
    m_frame = 1;
    if (!source) {
        m_bytes.clear();
        return;
    }
    m_bytes = source->m_bytes;
    m_empty = false;
    try {
        decode();
    } catch (const EPictureError&) {
        // The bytes stay; the picture draws nothing.
    }
    changed();
}

void THTMLPicture::DrawInto(QPainter& painter, const QRect& rect, bool stretch) const
{
    if (m_empty || !m_decoded || rect.isEmpty())
        return;
    const QRect target = stretch ? rect : QRect(rect.topLeft(), m_svg ? m_size : m_image.size());
    if (m_svg) {
        m_svg->render(&painter, QRectF(target));
        return;
    }
    if (!stretch || target.size() == m_image.size()) {
        painter.drawImage(target.topLeft(), m_image);
        return;
    }
    // A stretched picture: only the source part that lands in the visible area is scaled.
    QRect visible = target;
    if (painter.hasClipping())
        visible &= painter.clipBoundingRect().toAlignedRect();
    if (const QPaintDevice* device = painter.device(); device && painter.transform().isIdentity())
        visible &= QRect(0, 0, device->width(), device->height());
    if (visible.isEmpty())
        return;
    const double sx = double(m_image.width()) / target.width();
    const double sy = double(m_image.height()) / target.height();
    const QRectF source((visible.x() - target.x()) * sx, (visible.y() - target.y()) * sy,
                        visible.width() * sx, visible.height() * sy);
    painter.drawImage(QRectF(visible), m_image, source);
}

int THTMLPicture::Width() const { return m_decoded ? m_size.width() : 0; }
int THTMLPicture::Height() const { return m_decoded ? m_size.height() : 0; }

void THTMLPicture::LoadFromBytes(const QByteArray& bytes)
{
    m_bytes = bytes;
    m_frameCount = -1;
    m_empty = false;
    decode();
}

void THTMLPicture::LoadFromFile(const QString& fileName)
{
    QByteArray bytes;
    if (!ReadPictureFile(fileName, bytes)) {
        m_empty = true;
        clearDecoded();
        return;
    }
    try {
        LoadFromBytes(bytes);
        changed();
    } catch (const EPictureError&) {
        m_empty = true;
        clearDecoded();
    }
}

void THTMLPicture::ReadData(QIODevice* stream)
{
    if (!stream)
        return;
    LoadFromBytes(stream->readAll());
}

void THTMLPicture::LoadFromStream(QIODevice* stream)
{
    if (!stream)
        return;
    ReadData(stream);
    changed();
}

void THTMLPicture::WriteData(QIODevice* stream) const
{
    if (stream)
        stream->write(m_bytes);
}

void THTMLPicture::LoadFromRCData(const QString& name)
{
    if (name.isEmpty())
        return;
    QString path = QStringLiteral(":/") + name;
    if (!QFile::exists(path)) {
        path.clear();
        QDirIterator it(QStringLiteral(":/"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString candidate = it.next();
            if (candidate.mid(2).compare(name, Qt::CaseInsensitive) == 0) {
                path = candidate;
                break;
            }
        }
        if (path.isEmpty())
            return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    LoadFromStream(&file);
}

void THTMLPicture::LoadFromSource(const QString& source)
{
    if (source.startsWith(QLatin1String("RES://"), Qt::CaseInsensitive)) {
        CacheKey = source;
        const QString rest = source.mid(6);
        if (!rest.isEmpty()) {
            try {
                LoadFromRCData(rest);
            } catch (const EPictureError&) {
                m_empty = true;
                clearDecoded();
            }
        }
        return;
    }
    if (source.startsWith(QLatin1String("FILE://"), Qt::CaseInsensitive)) {
        CacheKey = source;
        const QString rest = source.mid(7);
        if (!rest.isEmpty())
            LoadFromFile(rest);
        return;
    }
    // Pictures named by a URL are never fetched: the picture stays empty, and once a fetch was
    // asked for, no second one is.
    if (!Asynchronous) {
        SourceToFetch = source;
        CacheKey = source;
        return;
    }
    if (!FetchInProgress) {
        SourceToFetch = source;
        FetchInProgress = true;
    }
}

bool THTMLPicture::IsGIF() const { return IsGifData(m_bytes); }

int THTMLPicture::GIFFrameCount()
{
    if (!IsGIF())
        return -1;
    if (m_frameCount < 0)
        m_frameCount = int(GifFrames(m_bytes).size());
    return m_frameCount;
}

int THTMLPicture::FrameWidth() const
{
    if (!m_decoded)
        return 0;
    return m_frameRect.width() != 0 ? m_frameRect.width() : Width();
}

int THTMLPicture::FrameHeight() const
{
    if (!m_decoded)
        return 0;
    return m_frameRect.height() != 0 ? m_frameRect.height() : Height();
}

void THTMLPicture::SetFrame(int frame)
{
    m_frame = frame;
    if (m_bytes.isEmpty())
        return;
    try {
        decode();
    } catch (const EPictureError&) {
        // A frame the picture does not have draws nothing.
    }
    if (OnFrameChange)
        OnFrameChange(this);
}

// ------------------------------------------------------------------ container and cache

TPictureItem* TPictureCollection::Add()
{
    m_items.push_back(std::make_unique<TPictureItem>());
    return m_items.back().get();
}

void TPictureCollection::Delete(int index)
{
    if (index >= 0 && index < Count())
        m_items.erase(m_items.begin() + index);
}

THTMLPicture* TPictureContainer::PictureByName(const QString& name) const
{
    for (int i = 0; i < m_items.Count(); ++i) {
        if (m_items.Items(i)->Name.compare(name, Qt::CaseInsensitive) == 0)
            return m_items.Items(i)->Picture();
    }
    return nullptr;
}

QString TPictureContainer::Version() const
{
    const unsigned packed = (1u << 24) | (0u << 16) | (0u << 8) | 0u;
    return QStringLiteral("%1.%2.%3.%4").arg(packed >> 24).arg((packed >> 16) & 0xFF).arg((packed >> 8) & 0xFF).arg(packed & 0xFF);
}

THTMLPicture* THTMLPictureCache::AddEmpty()
{
    m_pictures.push_back(std::make_unique<THTMLPicture>());
    return m_pictures.back().get();
}

THTMLPicture* THTMLPictureCache::FindCached(const QString& key) const
{
    for (const auto& p : m_pictures) {
        if (p->CacheKey == key)
            return p.get();
    }
    return nullptr;
}

// ------------------------------------------------------------------ TFilePicture

namespace {
bool readFileImage(const QString& path, QImage& image)
{
    QByteArray bytes;
    if (!ReadPictureFile(path, bytes))
        return false;
    return readImage(bytes, 1, image);
}
} // namespace

void TFilePicture::SetFilename(const QString& name)
{
    m_filename = name;
    QImage image;
    if (!readFileImage(name, image))
        throw EPictureError(kInvalidFormat);
    m_width = image.width();
    m_height = image.height();
}

void TFilePicture::Assign(const TFilePicture* source)
{
    if (!source)
        return;
    m_filename = source->m_filename;
    m_width = source->m_width;
    m_height = source->m_height;
}

void TFilePicture::DrawFilePicture(QPainter& painter, const QRect& rect) const
{
    if (m_filename.isEmpty())
        return;
    QImage image;
    if (readFileImage(m_filename, image))
        painter.drawImage(rect, image);
}

} // namespace pictures
