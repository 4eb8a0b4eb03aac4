#include "excreport/SivrelMailText.h"
#include "excreport/SivrelValues.h"
#include <QFile>
#include <QFileInfo>

namespace excreport {

namespace {

const QByteArray Boundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";

QByteArray WithCrLf(QByteArray text)
{
    // Every bare LF of the body becomes CR LF, so the message keeps one kind of line end.
    text.replace("\r\n", "\n");
    text.replace('\n', "\r\n");
    return text;
}

} // namespace

QStringList SplitAddresses(const QString& input)
{
    QString text = input.trimmed();
    QStringList items;
    if (text.isEmpty())
        return items;
    if (!text.endsWith(u',') && !text.endsWith(u';'))
        text += u',';
    QString item;
    for (const QChar c : text) {
        if (c == u',' || c == u';') {
            items << item.trimmed();
            item.clear();
        } else {
            item += c;
        }
    }
    return items;
}

QString UrlEncode(const QString& text)
{
    // The bytes of the UTF-8 text; those from 128 on stay as they are, so the letters they form do.
    QByteArray out;
    for (const char ch : text.toUtf8()) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '-' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 128)
            out += ch;
        else
            out += '%' + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
    }
    return QString::fromUtf8(out);
}

QString MailtoUrl(const QString& addresses, const QString& subject, const QString& body, const QString& report)
{
    return QStringLiteral("mailto:") + addresses + QStringLiteral("?Subject=") + UrlEncode(subject)
           + QStringLiteral("&Body=") + UrlEncode(body + QStringLiteral("\r\n\r\n\r\n") + report);
}

QByteArray EncodeBase64(const QByteArray& bytes)
{
    QByteArray out;
    for (qsizetype at = 0; at < bytes.size(); at += 60)
        out += bytes.mid(at, 60).toBase64() + "\r\n";
    return out;
}

QString HeaderSafe(const QString& text)
{
    QString out = text;
    out.remove(u'\r');
    out.remove(u'\n');
    return out;
}

QByteArray EncodeHeaderText(const QString& text)
{
    const QByteArray utf8 = HeaderSafe(text).toUtf8();
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 128)
            return "=?UTF-8?B?" + utf8.toBase64() + "?=";
    return utf8;
}

QByteArray AttachmentType(const QString& fileName)
{
    return fileName.toUpper().endsWith(QStringLiteral(".PNG")) ? QByteArray("image/png")
                                                               : QByteArray("application/octet-stream");
}

QByteArray BuildSmtpMessage(const TSivrelMailParts& p)
{
    QByteArray m;
    m += "Date: " + ReportDate(p.Date ? p.Date : std::time(nullptr)).toUtf8() + "\r\n";
    m += "From: <" + HeaderSafe(p.From).toUtf8() + ">\r\n";
    m += "Subject: " + EncodeHeaderText(p.Subject) + "\r\n";
    m += "To: <" + HeaderSafe(p.To).toUtf8() + ">\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"" + Boundary + "\";\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Message-ID: <" + HeaderSafe(p.MessageId).toUtf8() + ">\r\n";
    m += "\r\n";
    m += "This is a multi-part message in MIME format\r\n\r\n";
    m += "--" + Boundary + "\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    m += WithCrLf(p.Body.toUtf8()) + "\r\n";
    for (const QString& path : p.Attachments) {
        if (path.trimmed().isEmpty())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = HeaderSafe(QFileInfo(path).fileName()).toUtf8();
        m += "\r\n--" + Boundary + "\r\n";
        m += "Content-Type: " + AttachmentType(path) + ";\r\n";
        m += "        name=\"" + name + "\"\r\n";
        m += "Content-Transfer-Encoding: base64\r\n";
        m += "Content-Disposition: attachment;\r\n";
        m += "        filename=\"" + name + "\"\r\n\r\n";
        m += EncodeBase64(file.readAll());
    }
    m += "--" + Boundary + "--\r\n";
    return m;
}

QByteArray SmtpDataText(const QByteArray& message)
{
    QByteArray out;
    out.reserve(message.size() + 16);
    bool lineStart = true;
    for (const char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!lineStart)
        out += "\r\n";
    return out + ".\r\n";
}

} // namespace excreport
