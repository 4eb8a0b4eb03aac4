#include "mailing/HtmlScanner.h"

namespace {

inline bool IsBlank(QChar c)
{
    return c.unicode() <= 32;
}

} // namespace

void THTMLParser::Parse()
{
    TParsed& p = fParsed;
    p.Hyperlinks.clear();
    p.Images.clear();
    p.EMails.clear();
    p.HTTPlinks.clear();
    p.FTPlinks.clear();
    p.Locallinks.clear();
    p.FramePages.clear();

    QString tagBuffer;
    QString textBuffer;
    bool inTag = false;
    fLineCount = int(fHTML.size());
    for (fLine = 0; fLine < fLineCount; ++fLine) {
        const QString line = fHTML.at(fLine);
        if (line.isEmpty())
            continue;
        // OnParsing comes for every character, before the character is handled
        const auto progress = [this](qsizetype n) {
            if (OnParsing)
                for (qsizetype i = 0; i < n; ++i)
                    OnParsing(this, fLine + 1, fLineCount);
        };
        // Runs up to the next "<" (outside a tag) or ">" (inside one) are taken whole.
        qsizetype pos = 0;
        while (pos < line.size()) {
            if (!inTag) {
                const qsizetype lt = line.indexOf(u'<', pos);
                progress((lt < 0 ? line.size() : lt + 1) - pos);
                if (lt < 0) {
                    textBuffer += QStringView(line).mid(pos);
                    break;
                }
                textBuffer += QStringView(line).mid(pos, lt - pos);
                if (!textBuffer.isEmpty()) {
                    HandleText(textBuffer);
                    textBuffer.clear();
                }
                inTag = true;
                tagBuffer += u'<';
                pos = lt + 1;
            } else {
                const qsizetype gt = line.indexOf(u'>', pos);
                progress((gt < 0 ? line.size() : gt + 1) - pos);
                if (gt < 0) {
                    tagBuffer += QStringView(line).mid(pos);
                    break;
                }
                tagBuffer += QStringView(line).mid(pos, gt + 1 - pos);
                // the tag text is what follows the last "<" of the buffer
                const QString tagText = tagBuffer.mid(tagBuffer.lastIndexOf(u'<') + 1);
                tagBuffer.clear();
                inTag = false;
                HandleTag(tagText);
                pos = gt + 1;
            }
        }
        fLastLine = fLine + 1;
    }
    // a text run after the last tag is not handed on
}

void THTMLParser::HandleText(const QString& text)
{
    if (fTitleMode)
        fTitleBuffer = text;
    else if (OnFoundText)
        OnFoundText(this, text);
}

QStringView THTMLParser::TagNameView(const QString& tagText)
{
    qsizetype i = 0;
    while (i < tagText.size()) {
        const QChar c = tagText.at(i);
        if (IsBlank(c) || c == u'>' || (c == u'/' && i > 0))
            break;
        ++i;
    }
    return QStringView(tagText).left(i);
}

QString THTMLParser::TagName(const QString& tagText)
{
    return TagNameView(tagText).toString().toUpper();
}

QString THTMLParser::AttributeValue(const QString& tagText, const QString& name, bool* found)
{
    qsizetype end = tagText.size();
    if (end > 0 && tagText.at(end - 1) == u'>')
        --end;
    QString value;
    bool hit = false;
    ForEachAttribute(tagText, 0, end, [&](const AttributeSpan& a) {
        if (a.nameLength == name.size()
            && QStringView(tagText).mid(a.nameBegin, a.nameLength).compare(name, Qt::CaseInsensitive) == 0) {
            hit = true;
            value = tagText.mid(a.valueBegin, a.valueLength);
            return false;
        }
        return true;
    });
    if (found)
        *found = hit;
    return value;
}

void THTMLParser::HandleLink(const QString& link)
{
    TParsed& p = fParsed;
    const QString up = link.toUpper();
    QString file = link;
    const qsizetype protocol = up.indexOf(QLatin1String("://"));
    if (protocol >= 0)
        file = link.mid(protocol + 3);
    else if (up.contains(QLatin1String("MAILTO:")))
        file = link.mid(7);
    const qsizetype slash = file.lastIndexOf(u'/');
    if (slash >= 0)
        file = file.mid(slash + 1);
    QString ext;
    if (file.contains(u'.')) {
        const qsizetype q = file.indexOf(u'?');
        if (q >= 0)
            file = file.left(q);
        const qsizetype dot = file.lastIndexOf(u'.');
        if (dot >= 0)
            ext = file.mid(dot).toUpper();
    }
    auto in = [&ext](std::initializer_list<const char*> list) {
        for (const char* e : list)
            if (ext == QLatin1String(e))
                return true;
        return false;
    };
    TLocalRemote* kind = nullptr;
    if (ext.contains(QLatin1String("HTM")))
        kind = &p.HTML;
    else if (in({".JPG", ".JPEG", ".GIF", ".TIF", ".PCX", ".PNG", ".BMP"}))
        kind = &p.Image;
    else if (in({".AVI", ".MP3", ".AU", ".MOV", ".MPG", ".MPEG"}))
        kind = &p.Media;
    else if (in({".JS", ".CLASS", ".JAVA"}))
        kind = &p.Java;
    else if (in({".ASP"}))
        kind = &p.ASP;
    else if (in({".PL", ".CGI"}))
        kind = &p.PERL;
    else if (ext.contains(QLatin1String("PHP")))
        kind = &p.PHP;
    else if (in({".CAB"}))
        kind = &p.ActiveX;
    if (kind)
        (up.contains(QLatin1String("HTTP://")) ? kind->Remote : kind->Local).append(link);

    if (up.contains(QLatin1String("MAILTO:")))
        p.EMails.append(link.mid(7));
    else if (up.contains(QLatin1String("FTP://")))
        p.FTPlinks.append(link);
    else if (up.contains(QLatin1String("HTTP://")))
        p.HTTPlinks.append(link);
    else if (!up.contains(QLatin1String("://")))
        p.Locallinks.append(link);
    else if (OnFoundHyperlink)
        OnFoundHyperlink(this, link);
    p.Hyperlinks.append(link);
}

void THTMLParser::HandleTag(const QString& tagText)
{
    TParsed& p = fParsed;
    if (fTitleMode && !tagText.toUpper().contains(fTitleEnd)) {
        fTitleBuffer += u'<' + tagText + u'>';
        return;
    }
    if (OnFoundTag && !tagText.contains(QLatin1String("!--")))
        OnFoundTag(this, tagText);
    const QStringView name = TagNameView(tagText);
    const auto is = [&name](const char* n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
    if (is("A")) {
        HandleLink(AttributeValue(tagText, QStringLiteral("href")));
    } else if (is("IMG")) {
        p.Images.append(AttributeValue(tagText, QStringLiteral("src")));
    } else if (is("BODY") || is("TD")) {
        bool found = false;
        const QString value = AttributeValue(tagText, QStringLiteral("background"), &found);
        if (found)
            p.Images.append(QString(value).remove(u'>'));
    } else if (is("FRAME")) {
        p.FramePages.append(AttributeValue(tagText, QStringLiteral("src")));
    } else if (is("META")) {
        const QString metaName = AttributeValue(tagText, QStringLiteral("name")).toUpper();
        if (metaName == QLatin1String("KEYWORD"))
            p.Keyword = AttributeValue(tagText, QStringLiteral("content"));
        else if (metaName == QLatin1String("DESCRIPTION"))
            p.Description = AttributeValue(tagText, QStringLiteral("content"));
    } else if (is("!--")) {
        if (OnFoundComment)
            OnFoundComment(this, tagText.mid(4, std::max<qsizetype>(0, tagText.size() - 7)));
    } else if (is("TITLE")) {
        fTitleMode = true;
        fTitleEnd = QStringLiteral("/TITLE");
    } else if (is("/TITLE")) {
        fTitleMode = false;
        p.Title = fTitleBuffer;
        fTitleBuffer.clear();
        fTitleEnd.clear();
    }
}
