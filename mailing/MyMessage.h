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
#include <QMap>
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
    // Serialize with the given multipart boundaries (by part index, -1 for the top multipart).
    QByteArray SerializeWithBoundaries(const QMap<int, QByteArray>& boundaries) const;
};

// The template of a mailing serialised once: the bytes that are the same in every mail (the
// multipart structure, the attachments' and pictures' base64, the text parts without
// placeholders) are kept, and each mail builds only the message headers and the text parts that
// hold placeholders. The result equals the filled copy serialised whole with the same
// boundaries (Date and Message-Id are made per mail).
class TPreparedMessage {
public:
    // Null when the template does not split into fixed and changing pieces; then each mail is
    // serialised whole. The template's files must be loaded.
    static std::shared_ptr<const TPreparedMessage> Prepare(const TMyMessage& templ);
    // One recipient's message (a copy of the template, filled) as pieces to send in order; the
    // fixed pieces share the prepared bytes.
    void Build(const TMyMessage& filled, QList<QByteArray>& segments) const;
    // Fills the record into a copy of the template (as FillPlaceholders does) and builds its
    // pieces as Build does, with the same bytes. The text parts encoded here are not filled in
    // Message: only their runs of lines that hold a "%" are filled and encoded; the other lines
    // keep the bytes encoded once (quoted-printable starts afresh after every hard line break).
    void FillAndBuild(TMyMessage& Message, const TAssociativeArray& Record, QList<QByteArray>& segments) const;
    const QMap<int, QByteArray>& Boundaries() const { return m_boundaries; }
    // A text part's content as it is written in a mail: quoted-printable with CR LF line ends.
    static QByteArray EncodeTextContent(const QString& body);

private:
    struct TextLines;
    static constexpr int FixedSlot = -2;
    static constexpr int HeadersSlot = -1;
    struct Segment {
        QByteArray fixed;      // a fixed piece; for a text part with encodedHere: its header lines
        int slot = FixedSlot;  // a text part's index, or one of the two above
        // The text part's content is encoded here (quoted-printable by the MIME library's own
        // encoder, CR LF line ends), without building the part as an object.
        bool encodedHere = false;
        // With encodedHere: the part's lines encoded once, null when they do not join into the
        // encoding of the whole text.
        std::shared_ptr<const TextLines> lines = nullptr;
    };
    static std::shared_ptr<const TextLines> SplitTextLines(const TMessagePart& part, const QByteArray& encoded);
    void AppendPart(const Segment& segment, const TMyMessage& filled, QList<QByteArray>& segments) const;
    QList<Segment> m_segments;
    QMap<int, QByteArray> m_boundaries;
};

// Fills every entry of the record, in its order: the same result as ReplacePlaceholder for each
// entry one after the other, but each text is read once and then only its "%" signs are visited.
void FillPlaceholders(TMyMessage& Message, const TAssociativeArray& Record);

// Fills the placeholder "%" + Name + "%" (ignoring case) in the subject, the body and every part
// whose content type is exactly "text/plain" or "text/html"; HTML parts take the value escaped.
void ReplacePlaceholder(TMyMessage& Message, const QString& Name, const QString& Value);
