#pragma once
// Thumbnails of files for the file list's picture view: a picture file is read and scaled (aspect
// kept); any other file takes the thumbnail the desktop keeps in its cache, when that is still
// valid for the file. The work runs off the main thread; the result reaches the list queued.
#include <QImage>
#include <QRunnable>
#include <QSize>
#include <QString>
#include <functional>

// The thumbnail of a file within the given size; a null image when there is none.
QImage MakeThumbnail(const QString& path, const QSize& size);
// The desktop's cached thumbnail of a file ($XDG_CACHE_HOME/thumbnails/normal or large, named by
// the MD5 of the file's URI, valid when its "Thumb::MTime" is the file's change time).
QImage CachedDesktopThumbnail(const QString& path);

// One thumbnail made in a pool thread; Done runs in the main thread with the result.
class TOrvThumbnailThread : public QRunnable {
public:
    TOrvThumbnailThread(const QString& path, const QSize& size, std::function<void(const QImage&)> done);
    void run() override;

private:
    QString m_path;
    QSize m_size;
    std::function<void(const QImage&)> m_done;
};
