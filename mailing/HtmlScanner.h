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
    static QStringView TagNameView(const QString& tagText);
    // The value of the attribute `name` (matched as a whole name, ignoring case, outside quoted
    // values); empty and found = false when the tag has no such attribute.
    static QString AttributeValue(const QString& tagText, const QString& name, bool* found = nullptr);

    // One attribute of a tag text: positions within the text; value length 0 for a bare name.
    struct AttributeSpan {
        qsizetype nameBegin, nameLength, valueBegin, valueLength;
    };
    // Calls visit for every attribute of the tag text text[begin, end) (without the closing
    // ">"), in order; visit returns false to stop.
    template <class Visit>
    static void ForEachAttribute(const QString& text, qsizetype begin, qsizetype end, Visit&& visit);

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

template <class Visit>
void THTMLParser::ForEachAttribute(const QString& text, qsizetype begin, qsizetype end, Visit&& visit)
{
    const auto blank = [](QChar c) { return c.unicode() <= 32; };
    const auto quote = [](QChar c) { return c == u'"' || c == u'\''; };
    qsizetype i = begin;
    // pass the tag name
    while (i < end && !blank(text.at(i)) && !(text.at(i) == u'/' && i > begin))
        ++i;
    while (i < end) {
        const QChar c = text.at(i);
        if (blank(c) || c == u'/' || c == u'=') {
            ++i;
            continue;
        }
        if (quote(c)) { // a stray quoted text: passed whole
            const qsizetype close = text.indexOf(c, i + 1);
            i = (close < 0 || close >= end) ? end : close + 1;
            continue;
        }
        AttributeSpan a{i, 0, 0, 0};
        while (i < end && !blank(text.at(i)) && text.at(i) != u'=' && text.at(i) != u'/' && !quote(text.at(i)))
            ++i;
        a.nameLength = i - a.nameBegin;
        qsizetype j = i;
        while (j < end && blank(text.at(j)))
            ++j;
        a.valueBegin = j;
        if (j < end && text.at(j) == u'=') {
            ++j;
            while (j < end && blank(text.at(j)))
                ++j;
            if (j < end && quote(text.at(j))) {
                qsizetype close = text.indexOf(text.at(j), j + 1);
                if (close < 0 || close >= end)
                    close = end;
                a.valueBegin = j + 1;
                a.valueLength = close - a.valueBegin;
                i = close < end ? close + 1 : end;
            } else {
                a.valueBegin = j;
                while (j < end && !blank(text.at(j)))
                    ++j;
                a.valueLength = j - a.valueBegin;
                i = j;
            }
        }
        if (!visit(a))
            return;
    }
}
