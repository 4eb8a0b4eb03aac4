#include "mailing/HtmlMailBuilder.h"

#include "mailing/HtmlMailText.h"

#include <QElapsedTimer>
#include <QHash>
#include <stdexcept>

namespace {

// Milliseconds since the system started, as a signed 32-bit number (negative after ~24.8 days).
qint32 TickCount()
{
    QElapsedTimer t;
    t.start();
    return static_cast<qint32>(t.msecsSinceReference());
}

} // namespace

QString MissingPictureQuestion(const QString& source)
{
    return QStringLiteral("Das Bild \"") + source
        + QStringLiteral("\" konnte nicht hinzugefügt werden. Möchten Sie den Vorgang fortsetzen?");
}

QString MissingPictureError(const QString& source)
{
    return QStringLiteral("Ein Bild konnte nicht hinzugefügt werden:  ") + source;
}

void BuildHtmlMessage(TMyMessage& Message, const QStringList& HtmlLines, int AttachmentCount, const TAskYesNo& ask,
                      std::optional<qint32> firstId)
{
    Message.fAttachmentCount = AttachmentCount;
    qint32 counter = firstId ? *firstId : TickCount();

    // Content id -> picture file, in the order of first reference; and the way back for the
    // rewrite (exact, case-sensitive: file names are).
    TAssociativeArray images;
    QHash<QString, QString> cidBySource;
    for (const htmlmail::HtmlPicture& picture : htmlmail::ScanPictures(HtmlLines)) {
        switch (picture.Kind) {
        case htmlmail::PictureKind::Remote:
            break;
        case htmlmail::PictureKind::Local: {
            if (!cidBySource.contains(picture.Source)) {
                const QString id = QString::number(counter);
                images.SetValue(id, picture.Path);
                cidBySource.insert(picture.Source, id);
            }
            ++counter;
            break;
        }
        case htmlmail::PictureKind::Missing:
            // A mail never carries a file that is not a picture: it counts as missing.
            if (!ask || !ask(MissingPictureQuestion(picture.Path)))
                throw std::runtime_error(MissingPictureError(picture.Path).toStdString());
            break;
        }
    }
    const QString html = htmlmail::ReplacePictureSources(HtmlLines.join(QLatin1Char('\n')), cidBySource);

    const bool hasImages = images.Count() > 0;
    const bool hasAttachments = AttachmentCount > 0;
    if (hasAttachments)
        Message.ContentType = QStringLiteral("multipart/mixed");
    else if (!hasImages)
        Message.ContentType = QStringLiteral("multipart/alternative");
    else
        Message.ContentType = QStringLiteral("multipart/related");

    if (hasImages && hasAttachments)
        Message.EnsureRelatedPart();
    if (Message.ContentType != QLatin1String("multipart/alternative")) {
        // With pictures and attachments the alternative sits inside the related container, so
        // that mail programs show the pictures with the HTML instead of as attachments.
        Message.AddTextPart(QStringLiteral("multipart/alternative"), QString(), hasImages && hasAttachments ? 0 : -1);
    }
    const int textParent = hasImages && hasAttachments ? 1 : (hasImages || hasAttachments ? 0 : -1);
    Message.AddTextPart(QStringLiteral("text/plain"), htmlmail::PlainTextLines(html).join(QStringLiteral("\r\n")),
                        textParent);
    Message.AddTextPart(QStringLiteral("text/html"), html, textParent);
    if (hasImages)
        Message.AddInlineImages(images);
}
