#pragma once
// The pure halves of building an HTML mail: the plain-text alternative made from the HTML's text
// pieces, the scan for the pictures the HTML refers to, and rewriting their sources to "cid:".
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace htmlmail {

// First line of every plain-text alternative.
extern const QString kPlainTextBanner;

// The plain-text alternative: the banner line, an empty line, then one line per text piece of
// the HTML (STYLE, SCRIPT and TITLE content left out, character references decoded, non-breaking
// spaces as blanks, pieces trimmed, white-space-only pieces dropped).
QStringList PlainTextLines(const QString& html);

// The MIME type of a picture judged by its first bytes (PNG, GIF, JPEG, BMP, WebP); empty for
// anything else.
QString PictureMimeType(const QByteArray& firstBytes);
// The same for a file; empty when the file cannot be read or is no picture.
QString PictureFileMimeType(const QString& path);

enum class PictureKind {
    Remote, // a URL or "data:" source: stays as it is, needs no part
    Local,  // an existing picture file: becomes an inline part
    Missing // no such file, or a file that is no picture: the user is asked
};

struct HtmlPicture {
    QString Source;   // the entry as written in the HTML
    PictureKind Kind;
    QString MimeType; // for Local
    QString Path;     // the file: Source with its character references decoded
};

// Decodes the character references of an attribute value: named ones of HTML 4 ("&amp;",
// "&nbsp;" ...), decimal and hexadecimal ones ("&#38;", "&#x26;"). Others stay as written.
QString DecodeCharacterReferences(const QString& text);

// Every picture reference of the HTML (IMG src, BODY and TD background), in document order,
// duplicates included.
QList<HtmlPicture> ScanPictures(const QStringList& htmlLines);

// Rewrites every src and background attribute value that equals a key of cidBySource exactly
// (case-sensitive) to "cid:" + the mapped content id; all other text stays as it is.
QString ReplacePictureSources(const QString& html, const QHash<QString, QString>& cidBySource);

} // namespace htmlmail
