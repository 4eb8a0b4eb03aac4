#pragma once
// The message template of a mailing: one MIME message (subject, sender, reply-to, text parts,
// inline image parts, attachment parts) that is built once when a mailing starts, copied into
// every SMTP worker, filled with one recipient's values, sent and put back for the next one.
//
// The model is our own; GMime serialises it (Serialize). File parts are read and base64-encoded
// once per mailing (LoadFiles) and the encoded bytes are shared read-only between all copies.
#include "core/AssociativeArray.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

struct TMailAddress {
    QString Address;
    QString Name;
};

// The base64 lines of a file part, made once per mailing and read by every worker's copy.
struct TEncodedContent;

struct TMessagePart {
    // Text parts carry a body; container parts are text parts whose content type is
    // "multipart/related" or "multipart/alternative" and whose body stays empty.
    bool IsText = true;
    QString ContentType;
    QString Body;
    int ParentPart = -1;         // index of the container part, -1 for the message's top level
    // File parts
    QString FileName;            // the path the part is read from
    QString ContentID;           // "<id>" for inline images
    QString ContentTransfer;     // "base64" for inline images
    bool Inline = false;
    std::shared_ptr<const TEncodedContent> Encoded;  // set by LoadFiles
};

// Real picture type from a file's first bytes: PNG, GIF, JPEG, BMP, WebP; empty when unknown.
QString ImageContentTypeFromHeader(const QByteArray& head);
// Removes CR, LF and every other control character from a header value.
QString CleanHeaderValue(const QString& value);
// HTML-escapes & < > " for values filled into an HTML part.
QString EscapeHtml(const QString& value);

// Initialises the MIME library once; call in the main thread before any worker starts.
void InitMimeLibrary();

class TMyMessage {
public:
    TMyMessage() = default;
    TMyMessage(const TMyMessage&) = delete;
    TMyMessage& operator=(const TMyMessage&) = delete;

    // Message
    QString Subject;
    QString Body;
    QString ContentType;
    TMailAddress From;
    QList<TMailAddress> Recipients;
    QList<TMailAddress> ReplyTo;
    QList<TMessagePart> MessageParts;

    // Template state
    QStringList fTemplates;
    TAssociativeArray fImages;
    QStringList fAttachments;
    QString fBodyTemplate;
    QString fSubjectTemplate;
    int fAttachmentCount = 0;

    // Makes this newly created message a copy of Source (texts, addresses, parts, templates);
    // encoded file contents are shared, not copied.
    void Assign(const TMyMessage& Source);
    // Layout of a plain-text mail: multipart/mixed with one text/plain part.
    void SetPlainTextBody(const QString& Text);
    // One attachment part per path not yet listed (exact comparison); the list becomes Paths.
    void AddAttachments(const QStringList& Paths);
    // One inline image part per (content id, path) entry.
    void AddInlineImages(const TAssociativeArray& Images);
    // Adds a "multipart/related" container part unless one exists.
    void EnsureRelatedPart();
    // Appends a text (or container) part; result: its index.
    int AddTextPart(const QString& contentType, const QString& body, int parentPart = -1);

    void SaveTemplates();
    void RestoreTemplates();

    // Reads and encodes every file part that has no encoded content yet. A file that cannot be
    // read raises std::runtime_error naming it.
    void LoadFiles();

    // The message as sent: RFC 5322 text with CRLF line ends, a fresh Message-ID and Date.
    QByteArray Serialize() const;
    // The same without a copy: the bytes live in a buffer of the calling thread and stay valid
    // until its next call of SerializeShared (the workers send them at once).
    QByteArray SerializeShared() const;
};

// Fills the placeholder "%" + Name + "%" (ignoring case) in the subject, the body and every part
// whose content type is exactly "text/plain" or "text/html"; HTML parts take the value escaped.
void ReplacePlaceholder(TMyMessage& Message, const QString& Name, const QString& Value);
