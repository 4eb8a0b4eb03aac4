#pragma once
// Pictures that mini-HTML texts and picture cells draw: THTMLPicture keeps an image's raw bytes
// (BMP, PNG, JPEG, GIF with frame selection, ICO, WMF) and decodes them on demand; TFilePicture
// keeps only a file name; TPictureContainer is a named store a form fills; THTMLPictureCache holds
// pictures reached by a source text ("RES://", "FILE://" or a URL, which is never fetched).
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QIODevice;
class QPainter;
class QSvgRenderer;

namespace pictures {

// A picture that cannot be decoded ("Could not load image. Invalid format").
class EPictureError : public std::runtime_error {
public:
    explicit EPictureError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

// The largest file a picture reads (FILE:// sources, backgrounds, file pictures).
constexpr qint64 kMaxPictureFileSize = 64 * 1024 * 1024;
// Reads a regular file of at most kMaxPictureFileSize bytes; false for anything else (devices,
// FIFOs, folders, missing or larger files), which is never opened for reading.
bool ReadPictureFile(const QString& path, QByteArray& bytes);

class THTMLPicture {
public:
    THTMLPicture();
    virtual ~THTMLPicture();
    THTMLPicture(const THTMLPicture&) = delete;
    THTMLPicture& operator=(const THTMLPicture&) = delete;

    // Takes another picture's bytes and decodes them; nullptr clears. The frame goes back to 1.
    virtual void Assign(const THTMLPicture* source);
    // Nothing when empty or not decoded; with Stretch the whole picture fills `rect`, otherwise it
    // is drawn at its natural size at the rectangle's top-left (a GIF: its selected frame).
    virtual void Draw(QPainter& painter, const QRect& rect) const { DrawInto(painter, rect, Stretch); }
    // Draw with the stretch given here instead of the picture's own Stretch. Only the part inside
    // the painter's clip is rasterised, however large the target.
    void DrawInto(QPainter& painter, const QRect& rect, bool stretch) const;
    bool Empty() const { return m_empty; }
    // Natural size in pixels at 96 dpi; 0 when not decoded.
    int Width() const;
    int Height() const;
    bool Decoded() const { return m_decoded; }

    // A file that cannot be read or decoded leaves the picture empty; nothing is raised.
    void LoadFromFile(const QString& fileName);
    // Raises EPictureError when the bytes cannot be decoded (the picture then holds them, empty
    // of an image). Nothing for no stream.
    void LoadFromStream(QIODevice* stream);
    void LoadFromBytes(const QByteArray& bytes);
    // LoadFromStream without OnChange (the form reader's binary property).
    void ReadData(QIODevice* stream);
    void WriteData(QIODevice* stream) const;
    void SaveToStream(QIODevice* stream) const { WriteData(stream); }
    const QByteArray& Bytes() const { return m_bytes; }

    // "RES://name": the program's resource of that name (":/name", matched ignoring case);
    // "FILE://path": a regular file; anything else is only remembered, never fetched.
    void LoadFromSource(const QString& source);
    // A Qt resource under ":/" whose path matches `name` ignoring case; nothing when absent.
    void LoadFromRCData(const QString& name);

    bool IsGIF() const;
    // -1 for a picture that is not a GIF, else its number of frames (counted once).
    int GIFFrameCount();
    int FrameWidth() const;
    int FrameHeight() const;
    // The selected frame's offset inside the GIF's logical screen.
    QPoint FrameOffset() const { return m_frameRect.topLeft(); }

    bool Stretch = false;
    int Frame() const { return m_frame; }
    // Selects a frame (1-based) and decodes again when bytes are held.
    void SetFrame(int frame);

    QString CacheKey;
    QString SourceToFetch;
    bool Asynchronous = true;
    bool FetchInProgress = false;

    std::function<void(THTMLPicture*)> OnChange;
    std::function<void(THTMLPicture*)> OnFrameChange;
    // Part of the published surface for a fetch by URL; nothing fetches, so nothing raises them.
    std::function<void(THTMLPicture*, const QString& error)> OnDownLoadError;
    std::function<void(THTMLPicture*)> OnDownLoadComplete;
    std::function<void(THTMLPicture*, bool& cancel)> OnDownLoadCancel;
    std::function<void(THTMLPicture*, unsigned size, unsigned totalSize)> OnDownLoadProgress;

private:
    void decode();
    void clearDecoded();
    void changed() { if (OnChange) OnChange(this); }

    QByteArray m_bytes;
    bool m_empty = true;
    bool m_decoded = false;
    QImage m_image;                         // raster pictures (a GIF: the selected frame's area)
    std::unique_ptr<QSvgRenderer> m_svg;    // metafiles
    QSize m_size;                           // natural size at 96 dpi
    int m_frame = 1;
    int m_frameCount = -1;
    QRect m_frameRect;                      // from the selected frame's descriptor
};

class TPictureContainer;

class TPictureItem {
public:
    TPictureItem() : m_picture(std::make_unique<THTMLPicture>()) {}
    THTMLPicture* Picture() const { return m_picture.get(); }
    // Copies the given picture's content.
    void SetPicture(const THTMLPicture* picture) { m_picture->Assign(picture); }
    QString Name;
    int Tag = 0;
private:
    std::unique_ptr<THTMLPicture> m_picture;
};

class TPictureCollection {
public:
    int Count() const { return int(m_items.size()); }
    TPictureItem* Items(int index) const { return m_items.at(size_t(index)).get(); }
    TPictureItem* Add();
    void Delete(int index);
    void Clear() { m_items.clear(); }
private:
    std::vector<std::unique_ptr<TPictureItem>> m_items;
};

// A component: the grid refers to it by pointer and forgets it when it is destroyed.
class TPictureContainer : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
public:
    explicit TPictureContainer(QObject* parent = nullptr) : QObject(parent) {}
    TPictureCollection& Items() { return m_items; }
    const TPictureCollection& Items() const { return m_items; }
    // The first item whose name equals `name` ignoring case; nullptr when none.
    virtual THTMLPicture* PictureByName(const QString& name) const;
    QString Version() const;
    void SetVersion(const QString&) {}
private:
    TPictureCollection m_items;
};

// Pictures reached by a source text; the cache owns them.
class THTMLPictureCache {
public:
    THTMLPicture* AddEmpty();
    // The first picture whose CacheKey equals `key` exactly (case-sensitive); nullptr when none.
    THTMLPicture* FindCached(const QString& key) const;
    int Count() const { return int(m_pictures.size()); }
    THTMLPicture* Items(int index) const { return m_pictures.at(size_t(index)).get(); }
    void Clear() { m_pictures.clear(); }
private:
    std::vector<std::unique_ptr<THTMLPicture>> m_pictures;
};

// A picture kept as a file name: every draw reads the file again.
class TFilePicture {
public:
    QString Filename() const { return m_filename; }
    // Reads the file's size; raises EPictureError when it is not a readable picture.
    void SetFilename(const QString& name);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void Assign(const TFilePicture* source);
    // Stretches the file's picture into `rect`; nothing for an empty name or an unreadable file.
    void DrawFilePicture(QPainter& painter, const QRect& rect) const;
private:
    QString m_filename;
    int m_width = 0;
    int m_height = 0;
};

} // namespace pictures
