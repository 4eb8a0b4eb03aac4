#pragma once
// A light HTML scanner: walks HTML text character by character, cuts it into tags and text runs
// and collects what the tags point to (pictures, links, frames, the title, two META values).
#include <QString>
#include <QStringList>
#include <functional>

class TLocalRemote {
public:
    QStringList Local;
    QStringList Remote;
};

class TParsed {
public:
    QString Title;
    QString Keyword;
    QString Description;
    TLocalRemote HTML, Image, Media, Java, ActiveX, ASP, PHP, PERL;
    QStringList Hyperlinks, Images, EMails, HTTPlinks, FTPlinks, Locallinks, FramePages;
};

class THTMLParser {
public:
    THTMLParser() = default;

    const QStringList& HTML() const { return fHTML; }
    void SetHTML(const QStringList& lines) { fHTML = lines; }
    TParsed& Parsed() { return fParsed; }
    const TParsed& Parsed() const { return fParsed; }

    std::function<void(THTMLParser* sender, const QString& comment)> OnFoundComment;
    std::function<void(THTMLParser* sender, const QString& hyperlink)> OnFoundHyperlink;
    std::function<void(THTMLParser* sender, const QString& tag)> OnFoundTag;
    std::function<void(THTMLParser* sender, const QString& text)> OnFoundText;
    std::function<void(THTMLParser* sender, int line, int total)> OnParsing;

    void Parse();

    // Tag text: what stands between "<" and ">" of a tag, the closing ">" included.
    // The name runs from the first character up to white space, ">" or a later "/", in capitals.
    static QString TagName(const QString& tagText);
    // The value of the attribute `name` (matched as a whole name, ignoring case, outside quoted
    // values); empty and found = false when the tag has no such attribute.
    static QString AttributeValue(const QString& tagText, const QString& name, bool* found = nullptr);

    // One attribute of a tag text: positions within the text; value length 0 for a bare name.
    struct AttributeSpan {
        qsizetype nameBegin, nameLength, valueBegin, valueLength;
    };
    // Calls visit for every attribute of the tag text text[begin, end) (without the closing
    // ">"), in order; visit returns false to stop.
    static void ForEachAttribute(const QString& text, qsizetype begin, qsizetype end,
                                 const std::function<bool(const AttributeSpan&)>& visit);

private:
    void HandleText(const QString& text);
    void HandleTag(const QString& tagText);
    void HandleLink(const QString& link);

    QStringList fHTML;
    TParsed fParsed;
    int fLastLine = 0;
    int fLine = 0;
    int fLineCount = 0;
    QString fTitleBuffer;
    QString fTitleEnd;
    bool fTitleMode = false;
};
