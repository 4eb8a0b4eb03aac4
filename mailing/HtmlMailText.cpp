#include "mailing/HtmlMailText.h"

#include "mailing/HtmlScanner.h"
#include "mailing/htmlparser/LumHtmlParser.h"
#include "mailing/htmlparser/LumHtmlTables.h"

#include <QFile>
#include <QFileInfo>

namespace htmlmail {

const QString kPlainTextBanner =
    QStringLiteral(" - This mail is a HTML mail. Not all elements could be shown in plain text mode. -");

namespace {

QString Trimmed(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 32)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

} // namespace

QStringList PlainTextLines(const QString& html)
{
    QStringList lines{kPlainTextBanner, QString()};
    TLumHtmlParser parser;
    parser.SetFilterText(fiShow);
    parser.SetSourceWideString(html);
    while (parser.ReadTextPiece(fiShow)) {
        QString piece = Trimmed(parser.DataString());
        if (piece.isEmpty())
            continue;
        piece.replace(QChar(0x00A0), u' ');
        piece.replace(QLatin1String("&nbsp;"), QLatin1String(" "), Qt::CaseInsensitive);
        lines.append(Trimmed(piece));
    }
    return lines;
}

QString PictureMimeType(const QByteArray& b)
{
    auto starts = [&b](const char* sig, qsizetype n, qsizetype at = 0) {
        return b.size() >= at + n && std::equal(sig, sig + n, b.constData() + at);
    };
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return QStringLiteral("image/png");
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return QStringLiteral("image/gif");
    if (starts("\xFF\xD8\xFF", 3))
        return QStringLiteral("image/jpeg");
    if (starts("RIFF", 4) && starts("WEBP", 4, 8))
        return QStringLiteral("image/webp");
    if (starts("BM", 2) && b.size() >= 18) {
        // the size of the info header that follows the 14-byte file header names a known version
        const quint32 info = quint8(b[14]) | (quint8(b[15]) << 8) | (quint8(b[16]) << 16) | (quint32(quint8(b[17])) << 24);
        if (info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124)
            return QStringLiteral("image/bmp");
    }
    return QString();
}

QString PictureFileMimeType(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QString();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return PictureMimeType(f.read(32));
}

namespace {

bool IsRemoteSource(const QString& s)
{
    return s.startsWith(QLatin1String("http://")) || s.startsWith(QLatin1String("https://"))
        || s.startsWith(QLatin1String("ftp://")) || s.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)
        || s.left(16).toUpper() == QLatin1String("BACKGROUND-COLOR");
}

} // namespace

QString DecodeCharacterReferences(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const qsizetype semicolon = c == u'&' ? text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (semicolon < 0 || semicolon - i > 32) {
            out += c;
            ++i;
            continue;
        }
        const QStringView name = QStringView(text).mid(i + 1, semicolon - i - 1);
        bool decoded = false;
        if (name.startsWith(u'#') && name.size() > 1) {
            bool ok = false;
            const bool hex = name.at(1) == u'x' || name.at(1) == u'X';
            const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok) {
                const bool valid = code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
                out += valid ? QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1) : QString(QChar(0xFFFD));
                decoded = true;
            }
        } else if (name == QLatin1String("apos")) {
            out += QLatin1Char('\'');
            decoded = true;
        } else {
            for (int k = 0; k < kLumHtmlEntityCount; ++k)
                if (name == QLatin1String(kLumHtmlEntities[k].name)) {
                    out += QChar(char16_t(kLumHtmlEntities[k].code));
                    decoded = true;
                    break;
                }
        }
        if (decoded) {
            i = semicolon + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

QList<HtmlPicture> ScanPictures(const QStringList& htmlLines)
{
    THTMLParser scanner;
    scanner.SetHTML(htmlLines);
    scanner.Parse();
    QList<HtmlPicture> pictures;
    for (const QString& entry : scanner.Parsed().Images) {
        HtmlPicture p{entry, PictureKind::Remote, QString(), DecodeCharacterReferences(entry)};
        if (!IsRemoteSource(p.Path)) {
            p.MimeType = PictureFileMimeType(p.Path);
            p.Kind = p.MimeType.isEmpty() ? PictureKind::Missing : PictureKind::Local;
        }
        pictures.append(p);
    }
    return pictures;
}

QString ReplacePictureSources(const QString& html, const QHash<QString, QString>& cidBySource)
{
    if (cidBySource.isEmpty())
        return html;
    QString out;
    out.reserve(html.size());
    qsizetype copied = 0;
    qsizetype tagStart = -1;
    // Tags are cut as the scanner cuts them: from the last "<" before a ">" up to that ">".
    for (qsizetype i = 0; i < html.size(); ++i) {
        const QChar c = html.at(i);
        if (c == u'<') {
            tagStart = i + 1;
        } else if (c == u'>' && tagStart >= 0) {
            const qsizetype begin = tagStart;
            tagStart = -1;
            THTMLParser::ForEachAttribute(html, begin, i, [&](const THTMLParser::AttributeSpan& a) {
                const QStringView name = QStringView(html).mid(a.nameBegin, a.nameLength);
                if (name.compare(QLatin1String("src"), Qt::CaseInsensitive) != 0
                    && name.compare(QLatin1String("background"), Qt::CaseInsensitive) != 0)
                    return true;
                const auto it = cidBySource.constFind(html.mid(a.valueBegin, a.valueLength));
                if (it != cidBySource.constEnd() && a.valueLength > 0) {
                    out += QStringView(html).mid(copied, a.valueBegin - copied);
                    out += QLatin1String("cid:") + it.value();
                    copied = a.valueBegin + a.valueLength;
                }
                return true;
            });
        }
    }
    out += QStringView(html).mid(copied);
    return out;
}

} // namespace htmlmail
