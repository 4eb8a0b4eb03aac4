// GLib headers use "signals" as a name: include them before any Qt header.
#include <gmime/gmime.h>

#include "mailing/MyMessage.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <bitset>
#include <cstring>
#include <mutex>
#include <stdexcept>

struct TEncodedContent {
    GByteArray* bytes = nullptr;
    ~TEncodedContent() { if (bytes) g_byte_array_unref(bytes); }
};

namespace {

// The output buffer of this thread's messages, reused so that large messages do not cost a
// fresh allocation (and its page faults) each time.
struct OutputBuffer {
    GByteArray* bytes = g_byte_array_new();
    ~OutputBuffer() { g_byte_array_unref(bytes); }
};
thread_local OutputBuffer t_output;

// Owns a GObject reference.
template <typename T>
struct GRef {
    T* p = nullptr;
    explicit GRef(T* ptr = nullptr) : p(ptr) {}
    ~GRef() { if (p) g_object_unref(p); }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    T* get() const { return p; }
};

QByteArray EncodeBase64Lines(const QByteArray& data)
{
    const QByteArray b64 = data.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 76 + 2);
    for (qsizetype i = 0; i < b64.size(); i += 76) {
        out.append(b64.constData() + i, std::min<qsizetype>(76, b64.size() - i));
        out.append('\n');
    }
    return out;
}

// CR LF and lone CR become LF.
QString NormalizeLineBreaks(const QString& text)
{
    const qsizetype first = text.indexOf(QLatin1Char('\r'));
    if (first < 0)
        return text;
    QString out(text.size(), Qt::Uninitialized);
    const QChar* in = text.constData();
    QChar* o = out.data();
    memcpy(static_cast<void*>(o), in, size_t(first) * sizeof(QChar));
    o += first;
    for (qsizetype i = first, n = text.size(); i < n; ++i) {
        if (in[i] == QLatin1Char('\r')) {
            *o++ = QLatin1Char('\n');
            if (i + 1 < n && in[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            *o++ = in[i];
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QString HostPart(const QString& address)
{
    const int at = address.lastIndexOf('@');
    const QString host = at >= 0 ? address.mid(at + 1) : QString();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

GMimeObject* MakeTextPart(const TMessagePart& part)
{
    GRef<GMimeContentType> type(g_mime_content_type_parse(nullptr, part.ContentType.toUtf8().constData()));
    GMimeTextPart* text = g_mime_text_part_new_with_subtype(g_mime_content_type_get_media_subtype(type.get()));
    // The text goes in as UTF-8 bytes; g_mime_text_part_set_text would pick another charset.
    const QByteArray utf8 = NormalizeLineBreaks(part.Body).toUtf8();
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(utf8.constData(), size_t(utf8.size())));
    GRef<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(text), wrapper.get());
    g_mime_text_part_set_charset(text, "utf-8");
    // SMTP limits lines to 998 octets; quoted-printable keeps every line short and 8-bit safe.
    g_mime_part_set_content_encoding(GMIME_PART(text), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    return GMIME_OBJECT(text);
}

GMimeObject* MakeFilePart(const TMessagePart& part)
{
    if (!part.Encoded)
        throw std::runtime_error(QStringLiteral("Die Datei \"%1\" wurde nicht geladen.")
                                     .arg(part.FileName).toStdString());
    QString contentType = part.ContentType;
    if (contentType.isEmpty())
        contentType = QStringLiteral("application/octet-stream");
    const QStringList typeParts = contentType.split('/');
    GMimePart* mime = g_mime_part_new_with_type(typeParts.value(0).toUtf8().constData(),
                                                typeParts.value(1, QStringLiteral("octet-stream")).toUtf8().constData());
    const QString name = CleanHeaderValue(QFileInfo(part.FileName).fileName());
    g_mime_part_set_filename(mime, name.toUtf8().constData());
    if (part.Inline) {
        g_mime_object_set_disposition(GMIME_OBJECT(mime), GMIME_DISPOSITION_INLINE);
    }
    if (!part.ContentID.isEmpty()) {
        QString id = CleanHeaderValue(part.ContentID);
        if (id.startsWith('<') && id.endsWith('>'))
            id = id.mid(1, id.size() - 2);
        g_mime_object_set_content_id(GMIME_OBJECT(mime), id.toUtf8().constData());
    }
    // The content is already base64: the wrapper says so and GMime writes it unchanged. The
    // stream reads the shared bytes in place and does not own them.
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(part.Encoded->bytes));
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
    GRef<GMimeDataWrapper> wrapper(g_mime_data_wrapper_new_with_stream(stream.get(),
                                                                       GMIME_CONTENT_ENCODING_BASE64));
    g_mime_part_set_content(mime, wrapper.get());
    g_mime_part_set_content_encoding(mime, GMIME_CONTENT_ENCODING_BASE64);
    return GMIME_OBJECT(mime);
}

GMimeMultipart* MakeMultipart(const QString& contentType)
{
    GRef<GMimeContentType> type(g_mime_content_type_parse(nullptr, contentType.toUtf8().constData()));
    return g_mime_multipart_new_with_subtype(g_mime_content_type_get_media_subtype(type.get()));
}

void SetRelatedType(GMimeMultipart* mp)
{
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(mp));
    if (!g_mime_content_type_is_type(type, "multipart", "related") || g_mime_multipart_get_count(mp) < 1)
        return;
    GMimeObject* first = g_mime_multipart_get_part(mp, 0);
    char* rootType = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(first));
    g_mime_content_type_set_parameter(type, "type", rootType);
    g_free(rootType);
}

bool IsContainerType(const QString& contentType)
{
    return contentType.startsWith(QLatin1String("multipart/"), Qt::CaseInsensitive);
}

InternetAddressMailbox* MakeMailbox(const TMailAddress& a)
{
    const QByteArray name = CleanHeaderValue(a.Name).trimmed().toUtf8();
    const QByteArray addr = CleanHeaderValue(a.Address).trimmed().toUtf8();
    return INTERNET_ADDRESS_MAILBOX(internet_address_mailbox_new(name.isEmpty() ? nullptr : name.constData(),
                                                                 addr.constData()));
}

} // namespace

QString ImageContentTypeFromHeader(const QByteArray& head)
{
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("image/png");
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (head.startsWith("\xff\xd8\xff"))
        return QStringLiteral("image/jpeg");
    if (head.startsWith("BM"))
        return QStringLiteral("image/bmp");
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    return {};
}

QString CleanHeaderValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            continue;
        out.append(c);
    }
    return out;
}

QString EscapeHtml(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

void InitMimeLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

void TMyMessage::Assign(const TMyMessage& Source)
{
    fBodyTemplate = Source.fBodyTemplate;
    fSubjectTemplate = Source.fSubjectTemplate;
    From = Source.From;
    Recipients = Source.Recipients;
    Subject = Source.Subject;
    Body = Source.Body;
    ContentType = Source.ContentType;
    ReplyTo = Source.ReplyTo;
    fAttachmentCount = Source.fAttachmentCount;
    for (const TMessagePart& part : Source.MessageParts)
        if (part.IsText)
            AddTextPart(part.ContentType, part.Body, part.ParentPart);
    if (Source.fImages.Count() > 0)
        AddInlineImages(Source.fImages);
    if (!Source.fAttachments.isEmpty())
        AddAttachments(Source.fAttachments);
    // Parts stand at the same indexes as in Source: share the encoded file contents.
    for (int i = 0; i < MessageParts.size() && i < Source.MessageParts.size(); ++i) {
        TMessagePart& mine = MessageParts[i];
        const TMessagePart& theirs = Source.MessageParts.at(i);
        if (!mine.IsText && !theirs.IsText && mine.FileName == theirs.FileName) {
            mine.Encoded = theirs.Encoded;
            mine.ContentType = theirs.ContentType;
        }
    }
    fTemplates = Source.fTemplates;
}

int TMyMessage::AddTextPart(const QString& contentType, const QString& body, int parentPart)
{
    TMessagePart part;
    part.IsText = true;
    part.ContentType = contentType;
    part.Body = body;
    part.ParentPart = parentPart;
    MessageParts.append(part);
    return int(MessageParts.size()) - 1;
}

void TMyMessage::SetPlainTextBody(const QString& Text)
{
    ContentType = QStringLiteral("multipart/mixed");
    AddTextPart(QStringLiteral("text/plain"), Text, -1);
}

void TMyMessage::AddAttachments(const QStringList& Paths)
{
    if (Paths.isEmpty())
        return;
    for (const QString& path : Paths) {
        if (fAttachments.contains(path))  // file names are case-sensitive here
            continue;
        TMessagePart part;
        part.IsText = false;
        part.FileName = path;
        part.ParentPart = -1;
        MessageParts.append(part);
    }
    fAttachments = Paths;
}

void TMyMessage::AddInlineImages(const TAssociativeArray& Images)
{
    for (int i = 0; i < Images.Count(); ++i) {
        TMessagePart part;
        part.IsText = false;
        part.Inline = true;
        part.FileName = Images.ValueAt(i);
        part.ContentTransfer = QStringLiteral("base64");
        part.ContentID = QLatin1Char('<') + Images.KeyAt(i) + QLatin1Char('>');
        part.ParentPart = fAttachmentCount > 0 ? 0 : -1;
        QFile f(part.FileName);
        if (f.open(QIODevice::ReadOnly))
            part.ContentType = ImageContentTypeFromHeader(f.read(16));
        if (part.ContentType.isEmpty())
            part.ContentType = QStringLiteral("image/jpeg");
        MessageParts.append(part);
    }
    fImages.Assign(Images);
}

void TMyMessage::EnsureRelatedPart()
{
    for (const TMessagePart& part : MessageParts)
        if (part.ContentType == QLatin1String("multipart/related"))
            return;
    AddTextPart(QStringLiteral("multipart/related"), QString(), -1);
}

void TMyMessage::SaveTemplates()
{
    fBodyTemplate = Body;
    fSubjectTemplate = Subject;
    fTemplates.clear();
    for (const TMessagePart& part : MessageParts)
        fTemplates.append(part.IsText ? part.Body : QString());
}

void TMyMessage::RestoreTemplates()
{
    Body = fBodyTemplate;
    Subject = fSubjectTemplate;
    for (int i = 0; i < fTemplates.size() && i < MessageParts.size(); ++i)
        if (MessageParts[i].IsText)
            MessageParts[i].Body = fTemplates.at(i);
}

void TMyMessage::LoadFiles()
{
    static const QMimeDatabase mimeDb;
    for (TMessagePart& part : MessageParts) {
        if (part.IsText || part.Encoded)
            continue;
        QFile f(part.FileName);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden: %2")
                                         .arg(part.FileName, f.errorString()).toStdString());
        const QByteArray data = f.readAll();
        if (f.error() != QFileDevice::NoError)
            throw std::runtime_error(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden: %2")
                                         .arg(part.FileName, f.errorString()).toStdString());
        if (part.Inline) {
            const QString sniffed = ImageContentTypeFromHeader(data.left(16));
            if (!sniffed.isEmpty())
                part.ContentType = sniffed;
        } else if (part.ContentType.isEmpty()) {
            part.ContentType = mimeDb.mimeTypeForFileNameAndData(part.FileName, data.left(512)).name();
        }
        const QByteArray encoded = EncodeBase64Lines(data);
        auto content = std::make_shared<TEncodedContent>();
        content->bytes = g_byte_array_sized_new(guint(encoded.size()));
        g_byte_array_append(content->bytes, reinterpret_cast<const guint8*>(encoded.constData()), guint(encoded.size()));
        part.Encoded = std::move(content);
    }
}

namespace {

// The local time zone, looked up once per thread (looking it up costs more than the rest of
// the date).
GTimeZone* LocalZone()
{
    struct Zone {
        GTimeZone* zone = g_time_zone_new_local();
        ~Zone() { g_time_zone_unref(zone); }
    };
    thread_local Zone zone;
    return zone.zone;
}

void AddMailboxes(InternetAddressList* list, const QList<TMailAddress>& addresses, bool skipEmpty)
{
    for (const TMailAddress& a : addresses) {
        if (skipEmpty && CleanHeaderValue(a.Address).trimmed().isEmpty())
            continue;
        InternetAddressMailbox* box = MakeMailbox(a);
        internet_address_list_add(list, INTERNET_ADDRESS(box));
        g_object_unref(box);
    }
}

// The subject and the second of the date last set on a message object of this thread: what
// has not changed since is not set (and formatted) again.
struct LastSet {
    QString subject;
    gint64 second = -1;
};

void SetSubjectDateAndId(GMimeMessage* msg, const TMyMessage& m, LastSet* last = nullptr)
{
    const QString subject = CleanHeaderValue(m.Subject);
    if (!last || last->subject.isNull() || last->subject != subject) {
        g_mime_message_set_subject(msg, subject.toUtf8().constData(), "utf-8");
        if (last)
            last->subject = subject;
    }
    GDateTime* now = g_date_time_new_now(LocalZone());
    const gint64 second = g_date_time_to_unix(now);
    if (!last || last->second != second) {
        g_mime_message_set_date(msg, now);
        if (last)
            last->second = second;
    }
    g_date_time_unref(now);
    char* id = g_mime_utils_generate_message_id(HostPart(CleanHeaderValue(m.From.Address)).toUtf8().constData());
    g_mime_message_set_message_id(msg, id);
    g_free(id);
}

// Sets the message's own headers: MIME-Version, From, To, Reply-To, Subject, Date, Message-Id.
void SetMessageHeaders(GMimeMessage* msg, const TMyMessage& m)
{
    g_mime_object_set_header(GMIME_OBJECT(msg), "MIME-Version", "1.0", nullptr);
    AddMailboxes(g_mime_message_get_from(msg), {m.From}, false);
    AddMailboxes(g_mime_message_get_addresses(msg, GMIME_ADDRESS_TYPE_TO), m.Recipients, false);
    AddMailboxes(g_mime_message_get_reply_to(msg), m.ReplyTo, true);
    SetSubjectDateAndId(msg, m);
}

// The MIME tree of a message. parts holds a reference to each part's object (by part index);
// boundaries, when given, are used for the multiparts (key -1: the top one).
GMimeMessage* BuildMime(const TMyMessage& m, const QMap<int, QByteArray>* boundaries,
                        std::vector<GMimeObject*>& parts, GMimeMultipart** rootOut)
{
    GMimeMessage* msg = g_mime_message_new(FALSE);
    SetMessageHeaders(msg, m);
    const QList<TMessagePart>& list = m.MessageParts;
    parts.assign(size_t(list.size()), nullptr);
    auto release = [&] {
        for (GMimeObject*& o : parts)
            if (o) {
                g_object_unref(o);
                o = nullptr;
            }
    };
    try {
        for (int i = 0; i < list.size(); ++i) {
            const TMessagePart& part = list.at(i);
            if (part.IsText && IsContainerType(part.ContentType)) {
                GMimeMultipart* mp = MakeMultipart(part.ContentType);
                if (boundaries && boundaries->contains(i))
                    g_mime_multipart_set_boundary(mp, boundaries->value(i).constData());
                parts[size_t(i)] = GMIME_OBJECT(mp);
            } else if (part.IsText) {
                parts[size_t(i)] = MakeTextPart(part);
            } else {
                parts[size_t(i)] = MakeFilePart(part);
            }
        }
    } catch (...) {
        release();
        g_object_unref(msg);
        throw;
    }
    GMimeObject* top = nullptr;
    if (list.isEmpty()) {
        TMessagePart body;
        body.ContentType = QStringLiteral("text/plain");
        body.Body = m.Body;
        top = MakeTextPart(body);
    } else {
        GMimeMultipart* root = MakeMultipart(IsContainerType(m.ContentType) ? m.ContentType
                                                                            : QStringLiteral("multipart/mixed"));
        if (boundaries && boundaries->contains(-1))
            g_mime_multipart_set_boundary(root, boundaries->value(-1).constData());
        for (int i = 0; i < list.size(); ++i) {
            const int parent = list.at(i).ParentPart;
            GMimeMultipart* container = root;
            if (parent >= 0 && parent < list.size() && parent != i && GMIME_IS_MULTIPART(parts[size_t(parent)]))
                container = GMIME_MULTIPART(parts[size_t(parent)]);
            g_mime_multipart_add(container, parts[size_t(i)]);
        }
        // A related container names the type of its root (its first) part (RFC 2387).
        SetRelatedType(root);
        for (GMimeObject* o : parts)
            if (o && GMIME_IS_MULTIPART(o))
                SetRelatedType(GMIME_MULTIPART(o));
        if (rootOut)
            *rootOut = root;
        top = GMIME_OBJECT(root);
    }
    g_mime_message_set_mime_part(msg, top);
    g_object_unref(top);
    return msg;
}

GMimeFormatOptions* WireFormat()
{
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    return options;
}

// Writes an object (or, with headersOnly, its header list) into buffer, which is emptied first.
void WriteTo(GMimeObject* object, GByteArray* buffer, bool headersOnly = false)
{
    GMimeFormatOptions* options = WireFormat();
    g_byte_array_set_size(buffer, 0);
    GRef<GMimeStream> out(g_mime_stream_mem_new_with_byte_array(buffer));
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(out.get()), FALSE);
    if (headersOnly)
        g_mime_header_list_write_to_stream(g_mime_object_get_header_list(object), options, out.get());
    else
        g_mime_object_write_to_stream(object, options, out.get());
    g_mime_format_options_free(options);
}

QByteArray BytesOf(GByteArray* buffer)
{
    return QByteArray(reinterpret_cast<const char*>(buffer->data), qsizetype(buffer->len));
}

QByteArray WriteObject(GMimeObject* object, bool headersOnly = false)
{
    WriteTo(object, t_output.bytes, headersOnly);
    return BytesOf(t_output.bytes);
}

} // namespace

QByteArray TMyMessage::Serialize() const
{
    const QByteArray shared = SerializeShared();
    return QByteArray(shared.constData(), shared.size());
}

QByteArray TMyMessage::SerializeShared() const
{
    InitMimeLibrary();
    std::vector<GMimeObject*> parts;
    GRef<GMimeMessage> msg(BuildMime(*this, nullptr, parts, nullptr));
    for (GMimeObject* o : parts)
        if (o) g_object_unref(o);
    WriteTo(GMIME_OBJECT(msg.get()), t_output.bytes);
    return QByteArray::fromRawData(reinterpret_cast<const char*>(t_output.bytes->data), qsizetype(t_output.bytes->len));
}

QByteArray TMyMessage::SerializeWithBoundaries(const QMap<int, QByteArray>& boundaries) const
{
    InitMimeLibrary();
    std::vector<GMimeObject*> parts;
    GRef<GMimeMessage> msg(BuildMime(*this, &boundaries, parts, nullptr));
    for (GMimeObject* o : parts)
        if (o) g_object_unref(o);
    return WriteObject(GMIME_OBJECT(msg.get()));
}

// ---- TPreparedMessage ------------------------------------------------------------------------

namespace {

bool SameAddresses(const QList<TMailAddress>& a, const QList<TMailAddress>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].Address != b[i].Address || a[i].Name != b[i].Name)
            return false;
    return true;
}

bool IsPlainWordChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// A name of ASCII letters and digits in words split by single blanks: written as it is.
bool IsPlainName(const QString& name)
{
    if (name.isEmpty() || name.front() == QLatin1Char(' ') || name.back() == QLatin1Char(' '))
        return name.isEmpty();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char(' ') ? name.at(i - 1) == QLatin1Char(' ') : !IsPlainWordChar(c))
            return false;
    }
    return true;
}

// An address of ASCII letters, digits and ._+- with one "@" and a host name of letters,
// digits, dots and hyphens: written as it is.
bool IsPlainAddress(const QString& address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == address.size() - 1)
        return false;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (i == at || IsPlainWordChar(c) || c == QLatin1Char('.') || c == QLatin1Char('-')
            || (i < at && (c == QLatin1Char('_') || c == QLatin1Char('+'))))
            continue;
        return false;
    }
    return true;
}

bool IsPlainHost(const QString& host)
{
    for (const QChar c : host)
        if (!IsPlainWordChar(c) && c != QLatin1Char('.') && c != QLatin1Char('-'))
            return false;
    return !host.isEmpty();
}

// The To line of one plain recipient as the MIME library writes it (the tests compare both), or
// nothing when the recipient is not plain or the line would be folded.
QByteArray PlainToLine(const QList<TMailAddress>& recipients)
{
    if (recipients.size() != 1)
        return {};
    const QString name = CleanHeaderValue(recipients.front().Name).trimmed();
    const QString address = CleanHeaderValue(recipients.front().Address).trimmed();
    if (!IsPlainName(name) || !IsPlainAddress(address))
        return {};
    QByteArray line;
    line.reserve(name.size() + address.size() + 10);
    line += "To: ";
    if (name.isEmpty()) {
        line += address.toLatin1();
    } else {
        line += name.toLatin1();
        line += " <";
        line += address.toLatin1();
        line += '>';
    }
    if (line.size() > 76)
        return {};
    line += "\r\n";
    return line;
}

// A fresh message id: the time, a random number and a counter of this thread in base 36.
QByteArray NewMessageId(const QString& host)
{
    thread_local quint64 counter = 0;
    const quint64 random = QRandomGenerator::global()->generate64();
    // Written in one go: three numbers in upper-case base 36 (13 digits at most each).
    char digits[3 * 14 + 1];
    char* o = digits;
    const auto base36 = [&o](quint64 v) {
        char reversed[14];
        int n = 0;
        do {
            reversed[n++] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36];
            v /= 36;
        } while (v != 0);
        while (n > 0)
            *o++ = reversed[--n];
    };
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now < 0)
        *o++ = '-';
    base36(now < 0 ? 0 - quint64(now) : quint64(now));
    *o++ = '.';
    base36(random);
    *o++ = '.';
    base36(++counter);
    *o++ = '@';
    QByteArray id;
    id.reserve(qsizetype(o - digits) + host.size());
    id.append(digits, o - digits);
    id += host.toLatin1();
    return id;
}

// The span of the header line starting with name (with its folded continuation lines).
bool FindHeaderLine(const QByteArray& block, const char* name, qsizetype& at, qsizetype& end)
{
    const QByteArray start = QByteArray("\n") + name;
    at = block.startsWith(name) ? 0 : block.indexOf(start);
    if (at < 0)
        return false;
    if (at > 0)
        ++at;
    end = at;
    for (;;) {
        const qsizetype lineEnd = block.indexOf("\r\n", end);
        if (lineEnd < 0)
            return false;
        end = lineEnd + 2;
        if (end >= block.size() || (block.at(end) != ' ' && block.at(end) != '\t'))
            return true;
    }
}

// The header lines of one mail. Each thread keeps the message object of its last mail and the
// lines it wrote: while the sender and reply addresses stay the same, a plain recipient's To
// line and a fresh Message-Id line are put in place of the kept ones, and the object writes its
// lines again only when the subject or the second of the date changed. Any other recipient is
// set on the object, which then writes every line.
QByteArray MailHeaders(const TMyMessage& m)
{
    struct Kept {
        GMimeMessage* msg = nullptr;
        GMimeMessage* subjectOnly = nullptr;  // writes a Subject line by itself
        TMailAddress from;
        QList<TMailAddress> replyTo;
        LastSet last;
        QByteArray lines;  // written with the subject and date of last; To, Message-Id and Subject replaced
        QString linesSubject;
        qsizetype toAt = -1, toEnd = -1, idAt = -1, idEnd = -1, subjectAt = -1, subjectEnd = -1;
        ~Kept()
        {
            if (msg)
                g_object_unref(msg);
            if (subjectOnly)
                g_object_unref(subjectOnly);
        }
    };
    thread_local Kept kept;
    const bool same = kept.msg && SameAddresses({kept.from}, {m.From}) && SameAddresses(kept.replyTo, m.ReplyTo);
    if (same) {
        const QString host = HostPart(CleanHeaderValue(m.From.Address));
        const QByteArray toLine = IsPlainHost(host) ? PlainToLine(m.Recipients) : QByteArray();
        if (!toLine.isEmpty()) {
            const QString subject = CleanHeaderValue(m.Subject);
            GDateTime* now = g_date_time_new_now(LocalZone());
            const gint64 second = g_date_time_to_unix(now);
            g_date_time_unref(now);
            // The whole block is written again when the second changes (the Date line); a new
            // subject alone is written as a header of its own (GMime folds and encodes a
            // header the same wherever it stands).
            if (kept.lines.isEmpty() || kept.last.second != second || (subject != kept.linesSubject && kept.subjectAt < 0)) {
                SetSubjectDateAndId(kept.msg, m, &kept.last);
                kept.lines = WriteObject(GMIME_OBJECT(kept.msg), true);
                kept.linesSubject = subject;
                if (!FindHeaderLine(kept.lines, "To: ", kept.toAt, kept.toEnd)
                    || !FindHeaderLine(kept.lines, "Message-Id: ", kept.idAt, kept.idEnd))
                    kept.lines.clear();
                // an empty subject may leave no line to replace
                if (!FindHeaderLine(kept.lines, "Subject: ", kept.subjectAt, kept.subjectEnd))
                    kept.subjectAt = kept.subjectEnd = -1;
            }
            QByteArray subjectLine;
            // GMime writes a subject of blanks only as it is when the header is new, as nothing
            // when it replaces a value: such a line comes from a new object each time.
            const bool blanks = !subject.isEmpty() && subject.trimmed().isEmpty();
            if (!kept.lines.isEmpty() && (subject != kept.linesSubject || blanks)) {
                if (blanks && kept.subjectOnly) {
                    g_object_unref(kept.subjectOnly);
                    kept.subjectOnly = nullptr;
                }
                if (!kept.subjectOnly)
                    kept.subjectOnly = g_mime_message_new(FALSE);
                g_mime_message_set_subject(kept.subjectOnly, subject.toUtf8().constData(), "utf-8");
                subjectLine = WriteObject(GMIME_OBJECT(kept.subjectOnly), true);
                qsizetype at = 0, end = 0;
                if (!FindHeaderLine(subjectLine, "Subject: ", at, end) || at != 0 || end != subjectLine.size())
                    kept.lines.clear();
            }
            const QByteArray idLine = "Message-Id: <" + NewMessageId(host) + ">\r\n";
            if (!kept.lines.isEmpty() && idLine.size() <= 78) {
                struct Splice {
                    qsizetype at, end;
                    const QByteArray* bytes;
                };
                Splice splices[3] = {{kept.toAt, kept.toEnd, &toLine}, {kept.idAt, kept.idEnd, &idLine},
                                     {kept.subjectAt, kept.subjectEnd, subjectLine.isNull() ? nullptr : &subjectLine}};
                std::sort(std::begin(splices), std::end(splices), [](const Splice& a, const Splice& b) { return a.at < b.at; });
                QByteArray out;
                out.reserve(kept.lines.size() + 256);
                qsizetype copied = 0;
                bool overlap = false;
                for (const Splice& sp : splices) {
                    if (!sp.bytes)
                        continue;
                    overlap = overlap || sp.at < copied;
                    out.append(kept.lines.constData() + copied, sp.at - copied);
                    out += *sp.bytes;
                    copied = sp.end;
                }
                out.append(kept.lines.constData() + copied, kept.lines.size() - copied);
                if (!overlap)
                    return out;
            }
        }
        InternetAddressList* to = g_mime_message_get_addresses(kept.msg, GMIME_ADDRESS_TYPE_TO);
        internet_address_list_clear(to);
        AddMailboxes(to, m.Recipients, false);
        SetSubjectDateAndId(kept.msg, m, &kept.last);
    } else {
        if (kept.msg)
            g_object_unref(kept.msg);
        kept.msg = g_mime_message_new(FALSE);
        kept.from = m.From;
        kept.replyTo = m.ReplyTo;
        kept.last = LastSet();
        SetMessageHeaders(kept.msg, m);
        kept.last.subject = CleanHeaderValue(m.Subject);
        kept.last.second = -1;  // set again with the next mail
    }
    kept.lines.clear();
    return WriteObject(GMIME_OBJECT(kept.msg), true);
}

} // namespace

// A text part cut after each hard line break (CR LF, lone CR, LF) into runs of lines without a
// placeholder and runs of lines that may hold one; each run keeps its encoded bytes, the latter
// their text too.
struct TPreparedMessage::TextLines {
    struct Piece {
        QByteArray encoded;     // the run of lines as written when nothing is filled in
        QString text;           // the lines of a run that may hold placeholders
        bool variable = false;  // lines with "%" in a filled part
        bool endsWithCr = false;  // the last line ends with a lone CR
    };
    QString body;  // the template's text
    bool html = false;
    std::vector<Piece> pieces;
    qsizetype fixedSize = 0;
};

std::shared_ptr<const TPreparedMessage::TextLines> TPreparedMessage::SplitTextLines(const TMessagePart& part,
                                                                                    const QByteArray& encoded)
{
    // Only these parts are filled (see ReplacePlaceholder); in any other every line stays.
    const bool plain = part.ContentType == QLatin1String("text/plain");
    const bool html = part.ContentType == QLatin1String("text/html");
    auto lines = std::make_shared<TextLines>();
    lines->body = part.Body;
    lines->html = html;
    const QString& body = part.Body;
    QByteArray joined;
    qsizetype from = 0;
    while (from < body.size()) {
        qsizetype end = from;
        while (end < body.size() && body.at(end) != QLatin1Char('\n') && body.at(end) != QLatin1Char('\r'))
            ++end;
        qsizetype breakLength = 0;
        if (end < body.size())
            breakLength = body.at(end) == QLatin1Char('\r') && end + 1 < body.size() && body.at(end + 1) == QLatin1Char('\n') ? 2 : 1;
        const QString line = body.mid(from, end + breakLength - from);
        const QByteArray bytes = EncodeTextContent(line);
        joined += bytes;
        const bool variable = (plain || html) && line.contains(QLatin1Char('%'));
        if (lines->pieces.empty() || lines->pieces.back().variable != variable)
            lines->pieces.push_back(TextLines::Piece{QByteArray(), QString(), variable, false});
        TextLines::Piece& piece = lines->pieces.back();
        piece.encoded += bytes;
        if (variable)
            piece.text += line;
        else
            lines->fixedSize += bytes.size();
        piece.endsWithCr = line.endsWith(QLatin1Char('\r'));
        from = end + breakLength;
    }
    // The lines encoded one by one must give the bytes of the whole text.
    if (joined != encoded)
        return nullptr;
    return lines;
}

std::shared_ptr<const TPreparedMessage> TPreparedMessage::Prepare(const TMyMessage& templ)
{
    InitMimeLibrary();
    if (templ.MessageParts.isEmpty())
        return nullptr;
    std::vector<GMimeObject*> parts;
    GMimeMultipart* root = nullptr;
    GRef<GMimeMessage> msg(BuildMime(templ, nullptr, parts, &root));
    struct Release {
        std::vector<GMimeObject*>& parts;
        ~Release() { for (GMimeObject* o : parts) if (o) g_object_unref(o); }
    } release{parts};

    const QByteArray whole = WriteObject(GMIME_OBJECT(msg.get()));
    auto prepared = std::make_shared<TPreparedMessage>();
    // Writing chose the boundaries: every mail of the mailing uses them. They cannot occur in
    // the encoded parts (quoted-printable writes "=" as "=3D", base64 has no "-").
    if (root)
        prepared->m_boundaries.insert(-1, QByteArray(g_mime_multipart_get_boundary(root)));
    for (int i = 0; i < templ.MessageParts.size(); ++i)
        if (parts[size_t(i)] && GMIME_IS_MULTIPART(parts[size_t(i)]))
            prepared->m_boundaries.insert(i, QByteArray(g_mime_multipart_get_boundary(GMIME_MULTIPART(parts[size_t(i)]))));

    // The message's headers lead; each text part that may hold a placeholder is found by its
    // own bytes. Anything that does not split this way is built whole for every mail.
    const QByteArray headers = WriteObject(GMIME_OBJECT(msg.get()), true);
    if (headers.isEmpty() || !whole.startsWith(headers))
        return nullptr;
    prepared->m_segments.append(Segment{QByteArray(), HeadersSlot});
    qsizetype at = headers.size();
    for (int i = 0; i < templ.MessageParts.size(); ++i) {
        const TMessagePart& part = templ.MessageParts.at(i);
        if (!part.IsText || IsContainerType(part.ContentType) || !part.Body.contains(QLatin1Char('%')))
            continue;
        const QByteArray bytes = WriteObject(parts[size_t(i)]);
        const qsizetype found = whole.indexOf(bytes, at);
        if (bytes.isEmpty() || found < 0)
            return nullptr;
        if (found > at)
            prepared->m_segments.append(Segment{whole.mid(at, found - at), FixedSlot});
        // The part's header lines stay the same for every mail (its type, charset and
        // encoding); its content is encoded per mail when that gives the bytes the library
        // writes, else the part is built as an object each time.
        Segment slot{QByteArray(), i};
        const qsizetype headerEnd = bytes.indexOf("\r\n\r\n");
        if (headerEnd >= 0) {
            const QByteArray head = bytes.left(headerEnd + 4);
            if (head + EncodeTextContent(part.Body) == bytes) {
                slot.fixed = head;
                slot.encodedHere = true;
                slot.lines = SplitTextLines(part, bytes.mid(head.size()));
            }
        }
        prepared->m_segments.append(slot);
        at = found + bytes.size();
    }
    if (at < whole.size())
        prepared->m_segments.append(Segment{whole.mid(at), FixedSlot});
    return prepared;
}

void TPreparedMessage::AppendPart(const Segment& segment, const TMyMessage& filled, QList<QByteArray>& segments) const
{
    if (segment.slot == FixedSlot) {
        segments.append(segment.fixed);
    } else if (segment.slot == HeadersSlot) {
        segments.append(MailHeaders(filled));
    } else {
        if (segment.slot >= filled.MessageParts.size())
            throw std::logic_error("the message does not match its prepared template");
        if (segment.encodedHere) {
            segments.append(segment.fixed);
            segments.append(EncodeTextContent(filled.MessageParts.at(segment.slot).Body));
        } else {
            GRef<GMimeObject> part(MakeTextPart(filled.MessageParts.at(segment.slot)));
            segments.append(WriteObject(part.get()));
        }
    }
}

void TPreparedMessage::Build(const TMyMessage& filled, QList<QByteArray>& segments) const
{
    segments.clear();
    for (const Segment& segment : m_segments)
        AppendPart(segment, filled, segments);
}

namespace {

// The text's content through GMime's own quoted-printable encoder (LF line ends turned into
// CR LF afterwards): for texts the direct encoder below does not take.
QByteArray EncodeTextContentThroughLibrary(const QString& body)
{
    const QByteArray utf8 = NormalizeLineBreaks(body).toUtf8();
    GMimeEncoding state;
    g_mime_encoding_init_encode(&state, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    thread_local QByteArray encoded;
    encoded.resize(qsizetype(g_mime_encoding_outlen(&state, size_t(utf8.size()))) + 16);
    size_t n = g_mime_encoding_flush(&state, utf8.constData(), size_t(utf8.size()), encoded.data());
    qsizetype lines = 0;
    for (size_t i = 0; i < n; ++i)
        lines += encoded.at(qsizetype(i)) == '\n';
    QByteArray out(qsizetype(n) + lines, Qt::Uninitialized);
    char* o = out.data();
    const char* in = encoded.constData();
    for (size_t i = 0; i < n;) {
        const void* nl = memchr(in + i, '\n', n - i);
        const size_t end = nl ? size_t(static_cast<const char*>(nl) - in) : n;
        memcpy(o, in + i, end - i);
        o += end - i;
        if (!nl)
            break;
        *o++ = '\r';
        *o++ = '\n';
        i = end + 1;
    }
    return out;
}

// Quoted-printable as GMime writes it, straight from UTF-16 text: the line breaks (CR LF, lone
// CR, LF) become CR LF, every character goes in as UTF-8, bytes other than tab and the
// printable ASCII characters without "=" are written "=XX", a blank before a line end or at
// the end is encoded, and lines are broken softly ("=" CR LF) before they pass 76 characters,
// at the same places as GMime breaks them. False for a text with an unpaired surrogate (the
// UTF-8 conversion decides what becomes of it).
bool EncodeQuotedPrintable(const QString& body, QByteArray& out)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const char16_t* in = reinterpret_cast<const char16_t*>(body.utf16());
    const qsizetype n = body.size();
    // At most 3 UTF-8 bytes per UTF-16 unit, each written as "=XX", and a soft break after
    // at most 72 characters.
    out.resize(n * 10 + 16);
    char* o = out.data();
    int sofar = 0;   // characters on the current line
    int blank = -1;  // a blank whose output waits for the next byte
    // "=XX" and a soft line break ("=" CR LF).
    const auto putHex = [](char* at, unsigned byte) {
        at[0] = '=';
        at[1] = Hex[byte >> 4];
        at[2] = Hex[byte & 15];
        return at + 3;
    };
    const auto softBreak = [](char* at) {
        at[0] = '=';
        at[1] = '\r';
        at[2] = '\n';
        return at + 3;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        // Most characters are printable ASCII written as they are: a run of them (a blank
        // inside it too, when the run goes on after it) is copied up to the line's limit.
        if (c > 0x20 && c < 0x7f && c != '=' && blank < 0 && sofar <= 74) {
            auto plain = [](char16_t x) { return x > 0x20 && x < 0x7f && x != '='; };
            const qsizetype stop = std::min<qsizetype>(n, i + (75 - sofar));
            qsizetype j = i + 1;
            bool found = false;
#if defined(__SSE2__)
            // Sixteen characters at a time while the one after them is still on the line: a
            // bit per character for "plain" and for "blank", a blank taken when the next
            // character is plain.
            auto plainMask = [](__m128i x) {
                return _mm_andnot_si128(_mm_cmpeq_epi16(x, _mm_set1_epi16('=')),
                                        _mm_and_si128(_mm_cmpgt_epi16(x, _mm_set1_epi16(0x20)),
                                                      _mm_cmplt_epi16(x, _mm_set1_epi16(0x7f))));
            };
            while (j + 17 <= stop) {
                const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
                const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j + 8));
                const unsigned plainBits = unsigned(_mm_movemask_epi8(_mm_packs_epi16(plainMask(low), plainMask(high))));
                const unsigned blankBits = unsigned(_mm_movemask_epi8(
                    _mm_packs_epi16(_mm_cmpeq_epi16(low, _mm_set1_epi16(' ')), _mm_cmpeq_epi16(high, _mm_set1_epi16(' ')))));
                const unsigned nextPlain = (plainBits >> 1) | (plain(in[j + 16]) ? 0x8000u : 0u);
                const unsigned ok = plainBits | (blankBits & nextPlain);
                if (ok != 0xffff) {
                    j += qsizetype(__builtin_ctz(~ok));
                    found = true;
                    break;
                }
                j += 16;
            }
#endif
            while (!found && j < stop && (plain(in[j]) || (in[j] == ' ' && j + 1 < stop && plain(in[j + 1]))))
                ++j;
            qsizetype k = i;
#if defined(__SSE2__)
            // The output has room behind the run: what is written past it is overwritten later.
            for (; k + 8 <= j; k += 8) {
                const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(o + (k - i)), _mm_packus_epi16(chars, chars));
            }
#endif
            for (; k < j; ++k)
                o[k - i] = char(in[k]);
            o += j - i;
            sofar += int(j - i);
            i = j - 1;
            continue;
        }
        // A two-byte character (Latin letters with accents) that fits on the line as it is.
        if (c >= 0x80 && c < 0x800 && sofar + int(blank >= 0) <= 69) {
            if (blank >= 0) {
                *o++ = char(blank);
                ++sofar;
                blank = -1;
            }
            o = putHex(o, 0xc0 | (c >> 6));
            o = putHex(o, 0x80 | (c & 0x3f));
            sofar += 6;
            continue;
        }
        unsigned char bytes[4];
        int count = 1;
        if (c < 0x80) {
            if (c == '\n' || c == '\r') {
                if (blank >= 0)
                    o = putHex(o, unsigned(blank));
                o[0] = '\r';
                o[1] = '\n';
                o += 2;
                sofar = 0;
                blank = -1;
                if (c == '\r' && i + 1 < n && in[i + 1] == '\n')
                    ++i;
                continue;
            }
            if (c == '\t' || (c >= 0x20 && c < 0x7f && c != '=')) {
                if (blank >= 0) {
                    *o++ = char(blank);
                    ++sofar;
                }
                if (sofar > 74) {
                    o = softBreak(o);
                    sofar = 0;
                }
                if (c == ' ' || c == '\t') {
                    blank = c;
                } else {
                    *o++ = char(c);
                    ++sofar;
                    blank = -1;
                }
                continue;
            }
            bytes[0] = (unsigned char)c;
        } else if (c < 0x800) {
            bytes[0] = (unsigned char)(0xc0 | (c >> 6));
            bytes[1] = (unsigned char)(0x80 | (c & 0x3f));
            count = 2;
        } else if (c < 0xd800 || c > 0xdfff) {
            bytes[0] = (unsigned char)(0xe0 | (c >> 12));
            bytes[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3f));
            bytes[2] = (unsigned char)(0x80 | (c & 0x3f));
            count = 3;
        } else {
            if (c > 0xdbff || i + 1 >= n || in[i + 1] < 0xdc00 || in[i + 1] > 0xdfff)
                return false;
            const char32_t u = 0x10000 + ((char32_t(c) - 0xd800) << 10) + (char32_t(in[i + 1]) - 0xdc00);
            ++i;
            bytes[0] = (unsigned char)(0xf0 | (u >> 18));
            bytes[1] = (unsigned char)(0x80 | ((u >> 12) & 0x3f));
            bytes[2] = (unsigned char)(0x80 | ((u >> 6) & 0x3f));
            bytes[3] = (unsigned char)(0x80 | (u & 0x3f));
            count = 4;
        }
        // Bytes written "=XX": a waiting blank goes first, as it is.
        if (blank >= 0) {
            *o++ = char(blank);
            ++sofar;
            blank = -1;
        }
        for (int k = 0; k < count; ++k) {
            if (sofar > 72) {
                o = softBreak(o);
                sofar = 3;
            } else {
                sofar += 3;
            }
            o = putHex(o, bytes[k]);
        }
    }
    if (blank >= 0) {
        // a blank at the very end is encoded and the line ends softly
        o = putHex(o, unsigned(blank));
        o = softBreak(o);
    }
    out.truncate(o - out.constData());
    return true;
}

} // namespace

QByteArray TPreparedMessage::EncodeTextContent(const QString& body)
{
    // What writing a text part does to its content: the line breaks become LF, the UTF-8
    // bytes are encoded quoted-printable (which leaves no CR), and every LF goes out as CR LF.
    QByteArray out;
    if (EncodeQuotedPrintable(body, out))
        return out;
    return EncodeTextContentThroughLibrary(body);
}

namespace {

// Replaces, left to right and ignoring case, every occurrence of any of the patterns by value;
// the inserted value is not searched again. Where two patterns match at the same place the
// longer one wins. Every pattern starts with "%": only the places of that character are tried
// (a search that folds the case of every character would cost far more on long texts).
void ReplaceAny(QString& text, const QStringList& patterns, const QString& value)
{
    const QStringView view(text);
    QString out;
    qsizetype copied = 0, from = 0;
    bool replaced = false;
    for (;;) {
        const qsizetype at = view.indexOf(QLatin1Char('%'), from);
        if (at < 0)
            break;
        qsizetype length = 0;
        for (const QString& p : patterns) {
            Q_ASSERT(p.startsWith(QLatin1Char('%')));
            // Patterns end with "%" too: that cheap test comes first.
            if (p.size() > length && at + p.size() <= view.size() && view.at(at + p.size() - 1) == p.back()
                && view.mid(at, p.size()).compare(p, Qt::CaseInsensitive) == 0)
                length = p.size();
        }
        if (length == 0) {
            from = at + 1;
            continue;
        }
        if (!replaced) {
            out.reserve(text.size() + value.size());
            replaced = true;
        }
        out += view.mid(copied, at - copied);
        out += value;
        copied = from = at + length;
    }
    if (!replaced)
        return;
    out += view.mid(copied);
    text = std::move(out);
}

// How an HTML editor writes a text: & < > as references.
QString EscapeHtmlText(const QString& value)
{
    QString out = value;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

} // namespace

void ReplacePlaceholder(TMyMessage& Message, const QString& Name, const QString& Value)
{
    const QString placeholder = QLatin1Char('%') + Name + QLatin1Char('%');
    const QStringList plainForm{placeholder};
    ReplaceAny(Message.Subject, plainForm, Value);
    ReplaceAny(Message.Body, plainForm, Value);
    QString escaped;
    QStringList htmlForms;
    for (TMessagePart& part : Message.MessageParts) {
        if (!part.IsText)
            continue;
        if (part.ContentType == QLatin1String("text/plain")) {
            ReplaceAny(part.Body, plainForm, Value);
        } else if (part.ContentType == QLatin1String("text/html")) {
            if (escaped.isNull()) {
                escaped = EscapeHtml(Value);
                // An HTML editor writes "%Firma & Co%" as "%Firma &amp; Co%" (and in an
                // attribute value a quote as "&quot;"): fill those forms too.
                htmlForms = QStringList{placeholder, EscapeHtmlText(placeholder), EscapeHtml(placeholder)};
                htmlForms.removeDuplicates();
            }
            ReplaceAny(part.Body, htmlForms, escaped);
        }
    }
}

namespace {

// a.compare(b, Qt::CaseInsensitive) == 0, quicker for ASCII names.
bool EqualsIgnoringCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= 0x80 || y >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        if (x >= 'A' && x <= 'Z')
            x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z')
            y += 'a' - 'A';
        if (x != y)
            return false;
    }
    return true;
}

struct FillPlan;

// A text cut at its "%" signs; the pieces are views into the template text and into the values
// filled in so far.
class PercentTokens {
public:
    // A template text is cut once per thread: every mail starts from the same text.
    explicit PercentTokens(const QString& text);

    // What filling the fields (their forms, in the record's order) into text does, worked out
    // once per thread for a template and a list of names: the filled text is then the
    // template's pieces and the values, put together without looking at a "%" sign again.
    // Null when that does not hold for these values: a value with a "%" sign, or a template
    // where a name could run across a value filled in before (then the passes run one by one).
    static const FillPlan* PlanFor(const QString& text, const QList<QStringList>& forms, const QStringList& values);
    static QString PlannedText(const FillPlan& plan, const QStringList& values);

    // Fills the forms (the names inside the "%" signs, longest first) with value, as ReplaceAny
    // does: left to right, the inserted value not searched again in this pass.
    void Fill(const QStringList& forms, const QString& value)
    {
        // A pass whose names are all of a length no text between two "%" signs has finds nothing.
        if (!m_lengthsKnown) {
            m_lengths.reset();
            for (size_t i = 0; i < m_nodes.size(); ++i) {
                if (!m_nodes[i].percent)
                    continue;
                qsizetype length = 0;
                size_t j = i + 1;
                while (j < m_nodes.size() && !m_nodes[j].percent)
                    length += m_nodes[j++].text.size();
                if (j == m_nodes.size())
                    break;
                m_lengths.set(size_t(std::min<qsizetype>(length, LongName)));
            }
            m_lengthsKnown = true;
        }
        bool possible = false;
        for (const QString& form : forms)
            possible = possible || m_lengths.test(size_t(std::min<qsizetype>(form.size(), LongName)));
        if (!possible)
            return;
        std::vector<Node>& inserted = m_inserted;
        inserted.clear();
        bool tokenized = false;
        // The nodes are copied into out from the first match on; a pass without one changes nothing.
        std::vector<Node>& out = m_spare;
        out.clear();
        bool copying = false;
        size_t i = 0;
        while (i < m_nodes.size()) {
            if (!m_nodes[i].percent) {
                if (copying)
                    out.push_back(m_nodes[i]);
                ++i;
                continue;
            }
            size_t j = i + 1;
            qsizetype length = 0;
            while (j < m_nodes.size() && !m_nodes[j].percent)
                length += m_nodes[j++].text.size();
            if (j == m_nodes.size())
                break;
            bool match = false;
            for (const QString& form : forms) {
                if (form.size() != length)
                    continue;
                if (j == i + 2) {
                    match = EqualsIgnoringCase(m_nodes[i + 1].text, form);
                } else {
                    QString joined;
                    for (size_t k = i + 1; k < j; ++k)
                        joined += m_nodes[k].text;
                    match = EqualsIgnoringCase(joined, form);
                }
                if (match)
                    break;
            }
            if (match) {
                if (!copying) {
                    out.insert(out.end(), m_nodes.begin(), m_nodes.begin() + qsizetype(i));
                    copying = true;
                }
                if (!tokenized) {
                    Tokenize(value, inserted);
                    tokenized = true;
                }
                out.insert(out.end(), inserted.begin(), inserted.end());
                i = j + 1;
                m_changed = true;
            } else {
                // the "%" stays; the next one may open a placeholder
                if (copying)
                    out.insert(out.end(), m_nodes.begin() + qsizetype(i), m_nodes.begin() + qsizetype(j));
                i = j;
            }
        }
        if (!copying)
            return;
        out.insert(out.end(), m_nodes.begin() + qsizetype(i), m_nodes.end());
        std::swap(m_nodes, m_spare);
        m_lengthsKnown = false;
    }

    // The filled text, when anything was filled.
    bool Changed() const { return m_changed; }
    QString Text() const
    {
        qsizetype size = 0;
        for (const Node& n : m_nodes)
            size += n.percent ? 1 : n.text.size();
        QString out(size, Qt::Uninitialized);
        QChar* o = out.data();
        for (const Node& n : m_nodes) {
            if (n.percent) {
                *o++ = QLatin1Char('%');
            } else {
                memcpy(static_cast<void*>(o), n.text.data(), size_t(n.text.size()) * sizeof(QChar));
                o += n.text.size();
            }
        }
        return out;
    }

private:
    struct Node {
        bool percent = false;
        QStringView text;
    };
    struct CutText;
    static void MakePlan(const std::vector<Node>& templ, FillPlan& plan);
    static void Tokenize(QStringView text, std::vector<Node>& out)
    {
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = text.indexOf(QLatin1Char('%'), from);
            const qsizetype end = at < 0 ? text.size() : at;
            if (end > from)
                out.push_back(Node{false, text.mid(from, end - from)});
            if (at < 0)
                break;
            out.push_back(Node{true, {}});
            from = at + 1;
        }
    }
    // The cut of a text, kept for the last few texts of the thread. An entry holds its text, so
    // the same characters at the same place are the same text.
    static CutText& Cut(const QString& text);

    std::vector<Node> m_nodes;
    std::vector<Node> m_spare;
    std::vector<Node> m_inserted;
    bool m_changed = false;
    // The lengths of the texts between two "%" signs (LongName for any longer one).
    static constexpr qsizetype LongName = 63;
    std::bitset<LongName + 1> m_lengths;
    bool m_lengthsKnown = false;
};

struct FillPlan {
    QList<QStringList> forms;
    bool usable = false;
    bool changes = false;
    // The filled text: pieces of the template (field -1), "%" signs (-2) and values (field).
    struct Item {
        int field;
        QStringView text;
    };
    std::vector<Item> items;
    std::vector<int> fields;  // the fields whose values are filled in
    qsizetype fixedSize = 0;
};

struct PercentTokens::CutText {
    QString text;
    std::vector<Node> nodes;
    std::vector<FillPlan> plans;  // the last few lists of names filled into this text
    size_t nextPlan = 0;
};

PercentTokens::PercentTokens(const QString& text) : m_nodes(Cut(text).nodes) {}

PercentTokens::CutText& PercentTokens::Cut(const QString& text)
{
    thread_local std::vector<CutText> cuts;
    thread_local size_t next = 0;
    for (CutText& e : cuts)
        if (e.text.constData() == text.constData() && e.text.size() == text.size())
            return e;
    constexpr size_t Kept = 8;
    CutText* e;
    if (cuts.size() < Kept) {
        cuts.emplace_back();
        e = &cuts.back();
    } else {
        e = &cuts[next++ % Kept];
    }
    e->text = text;
    e->nodes.clear();
    e->plans.clear();
    e->nextPlan = 0;
    Tokenize(e->text, e->nodes);
    return *e;
}

void PercentTokens::MakePlan(const std::vector<Node>& templ, FillPlan& plan)
{
    // The passes of Fill over the template with every value standing as one node of its own
    // (field >= 0). Text between two "%" signs that holds a value could match a name for one
    // value and not for another, unless the template's share of it is already longer than
    // every name: then the plan gives up.
    struct Symbol {
        int field;  // -1: template text, -2: "%"
        QStringView text;
    };
    std::vector<Symbol> nodes, out;
    nodes.reserve(templ.size());
    for (const Node& n : templ)
        nodes.push_back(Symbol{n.percent ? -2 : -1, n.text});
    plan.usable = false;
    plan.changes = false;
    for (int field = 0; field < plan.forms.size(); ++field) {
        const QStringList& forms = plan.forms.at(field);
        qsizetype longest = 0;
        for (const QString& form : forms)
            longest = std::max(longest, form.size());
        out.clear();
        size_t i = 0;
        while (i < nodes.size()) {
            if (nodes[i].field != -2) {
                out.push_back(nodes[i++]);
                continue;
            }
            size_t j = i + 1;
            qsizetype length = 0;
            bool holdsValue = false;
            while (j < nodes.size() && nodes[j].field != -2) {
                if (nodes[j].field >= 0)
                    holdsValue = true;
                else
                    length += nodes[j].text.size();
                ++j;
            }
            if (j == nodes.size())
                break;
            bool match = false;
            if (holdsValue) {
                if (length <= longest)
                    return;
            } else {
                QString joined;
                for (size_t k = i + 1; k < j; ++k)
                    joined += nodes[k].text;
                for (const QString& form : forms)
                    if (form.size() == length && EqualsIgnoringCase(joined, form)) {
                        match = true;
                        break;
                    }
            }
            if (match) {
                out.push_back(Symbol{field, {}});
                plan.changes = true;
                i = j + 1;
            } else {
                out.insert(out.end(), nodes.begin() + qsizetype(i), nodes.begin() + qsizetype(j));
                i = j;
            }
        }
        out.insert(out.end(), nodes.begin() + qsizetype(i), nodes.end());
        std::swap(nodes, out);
    }
    plan.items.clear();
    plan.fields.clear();
    plan.fixedSize = 0;
    for (const Symbol& n : nodes) {
        // neighbouring template pieces become one
        if (n.field == -1 && !plan.items.empty() && plan.items.back().field == -1
            && plan.items.back().text.data() + plan.items.back().text.size() == n.text.data()) {
            plan.items.back().text = QStringView(plan.items.back().text.data(), plan.items.back().text.size() + n.text.size());
        } else {
            plan.items.push_back(FillPlan::Item{n.field, n.text});
        }
        if (n.field >= 0 && std::find(plan.fields.begin(), plan.fields.end(), n.field) == plan.fields.end())
            plan.fields.push_back(n.field);
        plan.fixedSize += n.field == -1 ? n.text.size() : n.field == -2 ? 1 : 0;
    }
    plan.usable = true;
}

const FillPlan* PercentTokens::PlanFor(const QString& text, const QList<QStringList>& forms, const QStringList& values)
{
    CutText& cut = Cut(text);
    FillPlan* plan = nullptr;
    for (FillPlan& p : cut.plans)
        if (p.forms == forms) {
            plan = &p;
            break;
        }
    if (!plan) {
        constexpr size_t Kept = 4;
        if (cut.plans.size() < Kept) {
            cut.plans.emplace_back();
            plan = &cut.plans.back();
        } else {
            plan = &cut.plans[cut.nextPlan++ % Kept];
        }
        plan->forms = forms;
        MakePlan(cut.nodes, *plan);
    }
    if (!plan->usable)
        return nullptr;
    for (int field : plan->fields)
        if (values.at(field).contains(QLatin1Char('%')))
            return nullptr;
    return plan;
}

QString PercentTokens::PlannedText(const FillPlan& plan, const QStringList& values)
{
    qsizetype size = plan.fixedSize;
    for (const FillPlan::Item& item : plan.items)
        if (item.field >= 0)
            size += values.at(item.field).size();
    QString out(size, Qt::Uninitialized);
    QChar* o = out.data();
    for (const FillPlan::Item& item : plan.items) {
        if (item.field == -2) {
            *o++ = QLatin1Char('%');
            continue;
        }
        const QStringView text = item.field == -1 ? item.text : QStringView(values.at(item.field));
        if (text.isEmpty())
            continue; // an empty value may have no data at all: nothing to copy
        memcpy(static_cast<void*>(o), text.data(), size_t(text.size()) * sizeof(QChar));
        o += text.size();
    }
    return out;
}

} // namespace


namespace {

// One recipient's record with the forms its names and values take in plain and HTML texts.
class RecordFill {
public:
    explicit RecordFill(const TAssociativeArray& record) : m_record(record)
    {
        for (int i = 0; i < record.Count(); ++i) {
            const QString name = record.KeyAt(i);
            // A name holding "%" spans several "%" signs: then field by field. One holding a
            // line break may match across lines.
            m_byField = m_byField || name.contains(QLatin1Char('%'));
            m_acrossLines = m_acrossLines || name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r'));
            m_values.append(record.ValueAt(i));
            m_plainForms.append(QStringList{name});
        }
    }
    bool ByField() const { return m_byField; }
    bool AcrossLines() const { return m_byField || m_acrossLines; }

    // Fills every entry, in the record's order, into text; true when anything was filled (then
    // the result is in filled).
    bool Fill(const QString& text, QString& filled, bool html)
    {
        if (html)
            MakeHtmlForms();
        if (!text.contains(QLatin1Char('%')))
            return false;
        const QList<QStringList>& forms = html ? m_htmlForms : m_plainForms;
        const QStringList& values = html ? m_escapedValues : m_values;
        if (const FillPlan* plan = PercentTokens::PlanFor(text, forms, values)) {
            if (!plan->changes)
                return false;
            filled = PercentTokens::PlannedText(*plan, values);
            return true;
        }
        PercentTokens tokens(text);
        for (int i = 0; i < m_record.Count(); ++i)
            tokens.Fill(forms.at(i), values.at(i));
        if (!tokens.Changed())
            return false;
        filled = tokens.Text();
        return true;
    }
    void Fill(QString& text, bool html)
    {
        QString filled;
        if (Fill(text, filled, html))
            text = std::move(filled);
    }

    // The subject, the body and the text parts not skipped.
    void FillMessage(TMyMessage& message, const std::vector<bool>* skip)
    {
        if (m_byField) {
            for (int k = 0; k < m_record.Count(); ++k)
                ReplacePlaceholder(message, m_record.KeyAt(k), m_record.ValueAt(k));
            return;
        }
        Fill(message.Subject, false);
        Fill(message.Body, false);
        for (size_t i = 0; i < size_t(message.MessageParts.size()); ++i) {
            TMessagePart& part = message.MessageParts[qsizetype(i)];
            if (!part.IsText || (skip && i < skip->size() && (*skip)[i]))
                continue;
            if (part.ContentType == QLatin1String("text/plain"))
                Fill(part.Body, false);
            else if (part.ContentType == QLatin1String("text/html"))
                Fill(part.Body, true);
        }
    }

private:
    // The HTML forms are made only when an HTML text is filled.
    void MakeHtmlForms()
    {
        if (!m_htmlForms.isEmpty() || m_record.Count() == 0)
            return;
        for (int i = 0; i < m_record.Count(); ++i) {
            const QString name = m_record.KeyAt(i);
            m_escapedValues.append(EscapeHtml(m_record.ValueAt(i)));
            QStringList forms{name, EscapeHtmlText(name), EscapeHtml(name)};
            forms.removeDuplicates();
            std::stable_sort(forms.begin(), forms.end(),
                             [](const QString& a, const QString& b) { return a.size() > b.size(); });
            m_htmlForms.append(forms);
        }
    }

    const TAssociativeArray& m_record;
    bool m_byField = false;
    bool m_acrossLines = false;
    // The values and their forms live until the texts are put together.
    QStringList m_values, m_escapedValues;
    QList<QStringList> m_plainForms, m_htmlForms;
};

} // namespace

void FillPlaceholders(TMyMessage& Message, const TAssociativeArray& Record)
{
    RecordFill(Record).FillMessage(Message, nullptr);
}

void TPreparedMessage::FillAndBuild(TMyMessage& Message, const TAssociativeArray& Record, QList<QByteArray>& segments) const
{
    RecordFill fill(Record);
    if (fill.AcrossLines()) {
        fill.FillMessage(Message, nullptr);
        Build(Message, segments);
        return;
    }
    std::vector<bool> skip(size_t(Message.MessageParts.size()), false);
    for (const Segment& segment : m_segments)
        if (segment.lines && segment.slot >= 0 && segment.slot < Message.MessageParts.size())
            skip[size_t(segment.slot)] = true;
    fill.FillMessage(Message, &skip);
    segments.clear();
    for (const Segment& segment : m_segments) {
        if (!segment.lines || segment.slot < 0 || segment.slot >= Message.MessageParts.size()) {
            AppendPart(segment, Message, segments);
            continue;
        }
        const TextLines& lines = *segment.lines;
        segments.append(segment.fixed);
        // A single run is sent as it is encoded, without a copy.
        const bool single = lines.pieces.size() == 1;
        QByteArray out;
        if (!single)
            out.reserve(lines.fixedSize + 256);
        bool whole = false;
        bool afterCr = false;  // the text so far ends with a lone CR
        for (const TextLines::Piece& piece : lines.pieces) {
            QString text;
            if (!piece.variable || !fill.Fill(piece.text, text, lines.html)) {
                if (single)
                    out = piece.encoded;
                else
                    out += piece.encoded;
                afterCr = piece.endsWithCr;
                continue;
            }
            // Line breaks inside the filled lines encode as in the whole text, but an LF that now
            // starts a run after a line ending with a lone CR joins it into one break: then the
            // whole text.
            if (afterCr && text.startsWith(QLatin1Char('\n'))) {
                whole = true;
                break;
            }
            if (single)
                out = EncodeTextContent(text);
            else
                out += EncodeTextContent(text);
            afterCr = text.endsWith(QLatin1Char('\r'));
        }
        if (whole) {
            QString text;
            out = EncodeTextContent(fill.Fill(lines.body, text, lines.html) ? text : lines.body);
        }
        segments.append(out);
    }
}
