#pragma once
// The texts of a report mail: recipients, the mailto URL, base64 and the SMTP message.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>

namespace excreport {

// Recipients separated by "," or ";": every item trimmed, empty items included; an empty text
// gives none.
QStringList SplitAddresses(const QString& text);
// Keeps "-", digits, letters and every byte from 128 on; any other byte becomes "%XX".
QString UrlEncode(const QString& text);
// "mailto:" + addresses + "?Subject=" + subject + "&Body=" + body + three line ends + report.
QString MailtoUrl(const QString& addresses, const QString& subject, const QString& body, const QString& report);
// Base64 in lines of 80 characters (60 bytes), every line ending with CR LF; empty for no bytes.
QByteArray EncodeBase64(const QByteArray& bytes);
// CR and LF removed: a value that goes into a command or a header line.
QString HeaderSafe(const QString& text);
// The text as it stands when it is ASCII, else an RFC 2047 word ("=?UTF-8?B?...?=").
QByteArray EncodeHeaderText(const QString& text);
// "image/png" for ".png" files (any case), else "application/octet-stream".
QByteArray AttachmentType(const QString& fileName);

struct TSivrelMailParts {
    QString From;
    QString To;
    QString Subject;
    QString Body;
    QStringList Attachments;  // file paths; a blank name or a missing file adds nothing
    std::time_t Date = 0;
    QString MessageId;        // without the angle brackets
};
// The message from the "Date:" header to the closing boundary line (CR LF line ends).
QByteArray BuildSmtpMessage(const TSivrelMailParts& parts);
// The DATA of a message: every line that begins with "." gets a second one, and the line "."
// ends it.
QByteArray SmtpDataText(const QByteArray& message);

} // namespace excreport
