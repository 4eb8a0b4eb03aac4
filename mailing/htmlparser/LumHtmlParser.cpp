#include "mailing/htmlparser/LumHtmlParser.h"

#include "mailing/htmlparser/LumHtmlTables.h"

using lum::IsLetter;
using lum::IsNameChar;
using lum::IsWhiteSpace;

// ---- name tables

namespace {

using NameTable = TLumWideStringHash<TLumWideStringKeyIgnoreCase, TLumCardinalItem>;
using EntityTable = TLumWideStringHash<TLumWideStringKey, TLumWideStringItem>;

const NameTable& TagNames()
{
    static const NameTable* table = [] {
        auto* t = new NameTable;
        t->FindOrAdd(QStringLiteral("PRE")) = kLumTagPre;
        t->FindOrAdd(QStringLiteral("SCRIPT")) = kLumTagScript;
        t->FindOrAdd(QStringLiteral("STYLE")) = kLumTagStyle;
        t->FindOrAdd(QStringLiteral("TITLE")) = kLumTagTitle;
        return t;
    }();
    return *table;
}

const NameTable& AttributeNames()
{
    static const NameTable table;
    return table;
}

const EntityTable& Entities()
{
    static const EntityTable* table = [] {
        auto* t = new EntityTable;
        t->SetHashCount(kLumHtmlEntityCount + 1);
        for (int i = 0; i < kLumHtmlEntityCount; ++i)
            t->FindOrAdd(QString::fromLatin1(kLumHtmlEntities[i].name)) = QChar(kLumHtmlEntities[i].code);
        return t;
    }();
    return *table;
}

} // namespace

quint32 TLumHtmlParser::TagIdOf(const char16_t* name, qsizetype length)
{
    const quint32* id = TagNames().FindBuf(name, length);
    return id ? *id : 0;
}

quint32 TLumHtmlParser::AttributeIdOf(const char16_t* name, qsizetype length)
{
    const quint32* id = AttributeNames().FindBuf(name, length);
    return id ? *id : 0;
}

const QString* TLumHtmlParser::EntityOf(const char16_t* name, qsizetype length)
{
    return Entities().FindBuf(name, length);
}

// ---- tags

void TLumTag::Assign(const TLumTag& source)
{
    TLumWideString2CardinalVector::Assign(source);
    fTagId = source.fTagId;
    fTagName = source.fTagName;
    fForm = source.fForm;
}

void TLumTag::LoadFromReader(TLumReader& reader, int flags)
{
    TLumWideString2CardinalVector::LoadFromReader(reader, flags);
    fTagName = reader.ReadWideString();
    fForm = TLumTagForm(reader.ReadByteElement());
    fTagId = reader.ReadUnsigned();
}

void TLumTag::SaveToWriter(TLumWriter& writer, int flags) const
{
    TLumWideString2CardinalVector::SaveToWriter(writer, flags);
    writer.WriteWideString(fTagName);
    writer.WriteByteElement(quint8(fForm));
    writer.WriteUnsigned(fTagId);
}

void TLumTag::Clear()
{
    TLumWideString2CardinalVector::Clear();
    fTagId = 0;
    fTagName.clear();
    fForm = tfStart;
}

bool TLumTag::WriteAttributeValue(const QString& value, int mode, QString& target, qsizetype& used) const
{
    lum::AppendChar(target, used, '=');
    bool bare = false;
    if (!value.isEmpty()) { // an empty value is always quoted: "a= b" would read back as a="b"
        if (mode == 1)
            bare = lum::AllCharsFrom(value, 1, &IsNameChar);
        else if (mode == 2)
            bare = !lum::AnyCharFrom(value, 1, &IsWhiteSpace) && !value.contains(u'>') && value[0] != u'"'
                && value[0] != u'\'';
    }
    if (bare) {
        lum::AppendWideString(target, used, value);
        return true;
    }
    QString body;
    body.reserve(value.size() + 8);
    const bool keepBrace = KeepsAmpBrace();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'&' && !(keepBrace && i + 1 < value.size() && value[i + 1] == u'{'))
            body += QStringLiteral("&amp;");
        else
            body += value[i];
    }
    char16_t quote = '"';
    const qsizetype doubles = value.count(u'"');
    const qsizetype singles = value.count(u'\'');
    if (doubles > 0 && singles == 0) {
        quote = '\'';
    } else if (doubles > 0 && singles > 0) {
        if (singles >= doubles) {
            body.replace(u'"', QStringLiteral("&quot;"));
        } else {
            quote = '\'';
            body.replace(u'\'', QStringLiteral("&apos;"));
        }
    }
    lum::AppendChar(target, used, quote);
    lum::AppendWideString(target, used, body);
    lum::AppendChar(target, used, quote);
    return false;
}

void TLumTagFilter::SetStartTags(TLumFilter f)
{
    if (fStart == f)
        return;
    fStart = f;
    if (OnChange)
        OnChange();
}

void TLumTagFilter::SetEndTags(TLumFilter f)
{
    if (fEnd == f)
        return;
    fEnd = f;
    if (OnChange)
        OnChange();
}

void TLumTagFilter::Assign(const TLumTagFilter& source)
{
    const bool changed = fStart != source.fStart || fEnd != source.fEnd;
    fStart = source.fStart;
    fEnd = source.fEnd;
    if (changed && OnChange)
        OnChange();
}

// ---- parser

TLumHtmlParser::TLumHtmlParser()
{
    for (quint32& m : fMasks)
        m = 0xFFFFFFFFu;
    fFilterCustomTags.OnChange = [this] { Word(pkCustomTag) = fFilterCustomTags.Word(); };
    fFilterHtmlTags.OnChange = [this] { Word(pkHtmlTag) = fFilterHtmlTags.Word(); };
    fFilterSsiTags.OnChange = [this] { Word(pkSsiTag) = fFilterSsiTags.Word(); };
}

TLumHtmlParser::~TLumHtmlParser() = default;

void TLumHtmlParser::SetNormalizeWhiteSpace(bool on)
{
    if (on)
        fRawText &= ~0x80000000u;
    else
        fRawText |= 0x80000000u;
}

TLumFilter TLumHtmlParser::Filter(TLumPieceKind kind) const
{
    const quint8 f = quint8(fFilters[kind - 1]);
    return f ? TLumFilter(f) : fiHide;
}

void TLumHtmlParser::SetFilter(TLumPieceKind kind, TLumFilter f)
{
    if (kind == pkNone || kind > pkXmlPI || kind == pkCustomTag || kind == pkHtmlTag || kind == pkSsiTag)
        return;
    quint32& w = Word(kind);
    if (quint8(w) != f)
        w = (w & ~0xFFu) | f;
}

TLumHtmlParser::Decision TLumHtmlParser::Decide(TLumPieceKind kind) const
{
    const quint32 w = fFilters[kind - 1] & fMasks[kind - 1];
    Decision d;
    d.reported = w & kFilterReport;
    d.collected = d.reported || (w & kFilterPluginPiece);
    return d;
}

TLumHtmlParser::Decision TLumHtmlParser::DecideTag(TLumPieceKind kind, quint32 id, bool endTag) const
{
    quint32 word = fFilters[kind - 1];
    const TLumCardinalHash<TLumCardinalItem>& perTag =
        kind == pkHtmlTag ? fHtmlTagFilters : kind == pkCustomTag ? fCustomTagFilters : fSsiTagFilters;
    if (perTag.Count() > 0)
        if (const quint32* own = perTag.Find(id))
            word = *own;
    const quint32 w = word & fMasks[kind - 1];
    Decision d;
    if (endTag) {
        d.reported = w & kFilterEndReport;
        d.collected = d.reported || (w & kFilterPluginEndTag);
    } else {
        d.reported = w & kFilterReport;
        d.attributes = w & (kFilterAttributes | kFilterPluginStartTag);
        d.collected = d.reported || (w & kFilterPluginStartTag);
    }
    return d;
}

bool TLumHtmlParser::AheadIs(int offset, const char* word)
{
    int n = 0;
    while (word[n])
        ++n;
    if (!Peek(offset + n))
        return false;
    for (int i = 0; i < n; ++i) {
        char16_t c = LookAhead(offset + i);
        if (c >= 'A' && c <= 'Z')
            c += 32;
        if (c != char16_t(word[i]))
            return false;
    }
    return true;
}

void TLumHtmlParser::SkipChars(int n)
{
    for (int i = 0; i < n; ++i)
        ReadChar();
}

bool TLumHtmlParser::BeginsMarkup()
{
    // current character is "<"
    if (!Peek(1))
        return false;
    const char16_t n = LookAhead(0);
    if (n == '!' || n == '?' || IsLetter(n))
        return true;
    if (n == '%')
        return fEnableASP;
    if (n == '/')
        return Peek(2) && IsLetter(LookAhead(1));
    if (fEnableCustomTags && n == fCustomChar && Peek(2)) {
        const char16_t m = LookAhead(1);
        return IsLetter(m) || (m == '/' && Peek(3) && IsLetter(LookAhead(2)));
    }
    return false;
}

bool TLumHtmlParser::EndTagAhead(const char* word)
{
    // current character is "<": "/", the word in either case, optional white space, ">"
    if (!Peek(1) || LookAhead(0) != '/' || !AheadIs(1, word))
        return false;
    int k = 1;
    while (word[k - 1])
        ++k;
    for (;; ++k) {
        if (!Peek(k + 1))
            return false;
        const char16_t c = LookAhead(k);
        if (c == '>')
            return true;
        if (!IsWhiteSpace(c))
            return false;
    }
}

void TLumHtmlParser::ReadReference(bool folded)
{
    // current character is "&"
    const int start = DataLength();
    if (!AddCharAndRead())
        return;
    if (Char() == '#') {
        if (!AddCharAndRead())
            return;
        quint32 base = 10;
        if (Char() == 'x' || Char() == 'X') {
            base = 16;
            if (!AddCharAndRead())
                return;
        }
        quint32 value = 0;
        int digits = 0;
        bool tooBig = false;
        while (HasChar()) {
            const char16_t c = Char();
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0)
                break;
            value = value * base + quint32(d);
            ++digits;
            AddCharAndRead();
            if (value > 0x10FFFF) {
                tooBig = true;
                break;
            }
        }
        // no digits and the value 0 stay as written: no NUL character enters the text
        if (tooBig || digits == 0 || value == 0 || !HasChar() || Char() != ';')
            return;
        SetDataLength(start);
        if (value >= 0xD800 && value <= 0xDFFF) {
            AddCharCode(0xFFFD);
        } else if (value > 0xFFFF) {
            AddCharCode(char16_t(0xD800 + ((value - 0x10000) >> 10)));
            AddCharCode(char16_t(0xDC00 + ((value - 0x10000) & 0x3FF)));
        } else if (folded && value <= 32) {
            AddBlank();
        } else {
            AddCharCode(char16_t(value));
        }
        ReadChar(); // the ";"
        return;
    }
    if (!IsNameChar(Char()))
        return;
    const int nameStart = DataLength();
    AddWhile(&IsNameChar);
    if (!HasChar() || Char() != ';')
        return;
    if (const QString* replacement = EntityOf(Data() + nameStart, DataLength() - nameStart)) {
        SetDataLength(start);
        AddString(*replacement);
        ReadChar();
    }
}

void TLumHtmlParser::TrimDataEnd(int from)
{
    int n = DataLength();
    while (n > from && IsWhiteSpace(Data()[n - 1]))
        --n;
    SetDataLength(n);
}

bool TLumHtmlParser::ReadPiece()
{
    if (!HasChar() || !(fPiece == pkScript || fPiece == pkStyle || fPiece == pkText || fPiece == pkTitle)) {
        if (!ReadChar())
            return false;
    }
    fStartPos = Position();
    fStartLine = Line();
    fStartColumn = Column();
    ClearData();

    if (fContentMode != pkNone) {
        const TLumPieceKind kind = fContentMode;
        fContentMode = pkNone;
        return ReadContent(kind);
    }
    if (Char() != '<')
        return ReadText();

    AddCharAndRead();
    if (!HasChar())
        return ReadText();
    const char16_t c = Char();
    if (c == '!') {
        AddCharAndRead();
        if (!HasChar())
            return ReadText();
        if (Char() == '-' && Peek(1) && LookAhead(0) == '-') {
            SkipChars(2);
            if (fEnableSSI && HasChar() && Char() == '#' && Peek(1)
                && (IsLetter(LookAhead(0)) || (LookAhead(0) == '/' && Peek(2) && IsLetter(LookAhead(1)))))
                return ReadSsiTag();
            return ReadComment();
        }
        if ((Char() == 'D' || Char() == 'd') && AheadIs(0, "octype")) {
            SkipChars(7);
            return ReadUntilGreater(pkDTD);
        }
        if (Char() == '[' && AheadIs(0, "cdata[")) {
            SkipChars(7);
            return ReadCData();
        }
        return ReadText();
    }
    if (c == '?') {
        ClearData();
        if (!ReadChar())
            return ReadUntilGreater(pkHtmlPI);
        if ((Char() == 'x' || Char() == 'X') && AheadIs(0, "ml"))
            return ReadUntilClose(pkXmlPI, '?');
        if (fEnablePHP && (Char() == 'p' || Char() == 'P') && AheadIs(0, "hp")) {
            SkipChars(3);
            return ReadUntilClose(pkPHP, '?');
        }
        return ReadUntilGreater(pkHtmlPI);
    }
    if (c == '%' && fEnableASP) {
        ReadChar();
        return ReadUntilClose(pkASP, '%');
    }
    if (IsLetter(c)) {
        const int nameStart = DataLength();
        AddWhile(&IsNameChar);
        if (!HasChar() || IsWhiteSpace(Char()) || Char() == '>'
            || (Char() == '/' && (!Peek(1) || LookAhead(0) == '>')))
            return ReadTag(pkHtmlTag, fHtmlTag, false, nameStart);
        return ReadText();
    }
    if (c == '/' && Peek(1) && IsLetter(LookAhead(0))) {
        AddCharAndRead();
        const int nameStart = DataLength();
        AddWhile(&IsNameChar);
        if (!HasChar() || IsWhiteSpace(Char()) || Char() == '>')
            return ReadTag(pkHtmlTag, fHtmlTag, true, nameStart);
        return ReadText();
    }
    if (fEnableCustomTags && c == fCustomChar && Peek(1)) {
        const bool endTag = LookAhead(0) == '/';
        if (IsLetter(LookAhead(0)) || (endTag && Peek(2) && IsLetter(LookAhead(1)))) {
            AddCharAndRead();
            if (endTag)
                AddCharAndRead();
            const int nameStart = DataLength();
            AddWhile(&IsNameChar);
            if (!HasChar() || IsWhiteSpace(Char()) || Char() == '>'
                || (!endTag && Char() == '/' && (!Peek(1) || LookAhead(0) == '>')))
                return ReadTag(pkCustomTag, fCustomTag, endTag, nameStart);
        }
    }
    return ReadText();
}

bool TLumHtmlParser::ReadTextPiece(TLumFilter filter)
{
    const quint32 savedText = Word(pkText);
    quint32 savedMasks[14];
    std::copy(std::begin(fMasks), std::end(fMasks), savedMasks);
    struct Restore {
        TLumHtmlParser* p;
        quint32 text;
        const quint32* masks;
        ~Restore()
        {
            p->Word(pkText) = text;
            std::copy(masks, masks + 14, p->fMasks);
        }
    } restore{this, savedText, savedMasks};

    Word(pkText) = (savedText & ~0xFFu) | filter;
    const quint32 bits = kFilterReport | kFilterAttributes | kFilterEndReport | kFilterEndAttributes;
    for (quint32& m : fMasks)
        m &= ~bits;
    fMasks[pkText - 1] |= bits;

    bool reported;
    do {
        reported = ReadPiece();
    } while (!reported && HasChar());
    return reported;
}

bool TLumHtmlParser::ReadText()
{
    fPiece = pkText;
    const Decision d = Decide(pkText);
    if (!d.collected) {
        while (HasChar() && !(Char() == '<' && BeginsMarkup()))
            ReadChar();
        return false;
    }
    const bool folded = NormalizeWhiteSpace() && PreCount() == 0;
    while (HasChar()) {
        const char16_t c = Char();
        if (c == '<') {
            if (BeginsMarkup())
                break;
            AddCharAndRead();
        } else if (c == '&') {
            ReadReference(folded);
        } else if (folded && c <= 32) {
            AddBlank();
            ReadChar();
        } else {
            AddCharAndRead();
        }
    }
    return d.reported;
}

bool TLumHtmlParser::ReadContent(TLumPieceKind kind)
{
    fPiece = kind;
    const Decision d = Decide(kind);
    const bool collect = d.collected;
    const char* word = kind == pkScript ? "script" : kind == pkStyle ? "style" : "title";
    while (HasChar()) {
        const char16_t c = Char();
        if (c == '<') {
            if (EndTagAhead(word))
                break;
            if (kind == pkScript && AheadIs(0, "!--")) { // an HTML comment inside a script, passed whole
                for (int i = 0; i < 4; ++i)
                    Take(collect);
                int dashes = 0;
                while (HasChar()) {
                    const char16_t e = Char();
                    Take(collect);
                    if (e == '>' && dashes >= 2)
                        break;
                    dashes = e == '-' ? dashes + 1 : 0;
                }
                continue;
            }
            Take(collect);
            continue;
        }
        if (kind == pkScript) {
            if (c == '"' || c == '\'') {
                Take(collect);
                while (HasChar() && Char() != c) {
                    if (Char() == '\\') {
                        Take(collect);
                        if (!HasChar())
                            break;
                    }
                    Take(collect);
                }
                if (HasChar())
                    Take(collect);
                continue;
            }
            if (c == '/' && Peek(1) && LookAhead(0) == '/') {
                while (HasChar() && Char() != '\n' && Char() != '\r')
                    Take(collect);
                continue;
            }
            if (c == '/' && Peek(1) && LookAhead(0) == '*') {
                Take(collect);
                Take(collect);
                char16_t prev = 0;
                while (HasChar()) {
                    const char16_t e = Char();
                    Take(collect);
                    if (prev == '*' && e == '/')
                        break;
                    prev = e;
                }
                continue;
            }
        } else if (kind == pkTitle) {
            if (c == '&') {
                if (collect)
                    ReadReference(true);
                else
                    ReadChar();
                continue;
            }
            if (c <= 32) {
                if (collect)
                    AddBlank();
                ReadChar();
                continue;
            }
        }
        Take(collect);
    }
    return d.reported;
}

bool TLumHtmlParser::ReadComment()
{
    fPiece = pkComment;
    const Decision d = Decide(pkComment);
    ClearData();
    while (HasChar()) {
        if (Char() == '-') {
            const int runStart = DataLength();
            int run = 0;
            while (HasChar() && Char() == '-') {
                Take(d.collected);
                ++run;
            }
            if (run >= 2 && HasChar() && Char() == '>') {
                if (d.collected)
                    SetDataLength(runStart);
                break;
            }
            continue;
        }
        Take(d.collected);
    }
    return d.reported;
}

bool TLumHtmlParser::ReadCData()
{
    fPiece = pkCDataSection;
    const Decision d = Decide(pkCDataSection);
    ClearData();
    while (HasChar()) {
        if (Char() == ']') {
            int run = 0;
            while (HasChar() && Char() == ']') {
                Take(d.collected);
                ++run;
            }
            if (run >= 2 && HasChar() && Char() == '>') {
                if (d.collected)
                    SetDataLength(DataLength() - 2);
                break;
            }
            continue;
        }
        Take(d.collected);
    }
    return d.reported;
}

bool TLumHtmlParser::ReadUntilGreater(TLumPieceKind kind)
{
    fPiece = kind;
    const Decision d = Decide(kind);
    ClearData();
    if (d.collected)
        AddUntilChar('>');
    else
        SkipUntilChar('>');
    return d.reported;
}

bool TLumHtmlParser::ReadUntilClose(TLumPieceKind kind, char16_t mark)
{
    fPiece = kind;
    const Decision d = Decide(kind);
    ClearData();
    while (HasChar()) {
        if (Char() == mark) {
            Take(d.collected);
            if (HasChar() && Char() == '>') {
                if (d.collected)
                    SetDataLength(DataLength() - 1);
                break;
            }
            continue;
        }
        Take(d.collected);
    }
    return d.reported;
}

bool TLumHtmlParser::ReadTag(TLumPieceKind kind, TLumTag& tag, bool endTag, int nameStart)
{
    fPiece = kind;
    // "<name/>" keeps the "/" in its name and stays a start tag
    const bool slashName = !endTag && HasChar() && Char() == '/';
    if (slashName)
        AddCharAndRead();
    const char16_t* name = Data() + nameStart;
    const qsizetype nameLength = DataLength() - nameStart;
    const quint32 id = TagIdOf(name, nameLength);
    const Decision d = DecideTag(kind, id, endTag);
    if (d.collected) {
        tag.Clear();
        tag.SetTagName(QString(reinterpret_cast<const QChar*>(name), nameLength));
        tag.SetTagId(id);
        tag.SetForm(endTag ? tfEnd : tfStart);
    }
    if (!slashName) {
        if (d.collected && d.attributes)
            ParseAttributes(tag);
        else
            SkipAttributes();
    }
    if (kind == pkHtmlTag) {
        if (!endTag) {
            if (id == kLumTagScript)
                fContentMode = pkScript;
            else if (id == kLumTagStyle)
                fContentMode = pkStyle;
            else if (id == kLumTagTitle)
                fContentMode = pkTitle;
            else if (id == kLumTagPre && PreCount() < 0x7FFFFFFF)
                ++fRawText;
        } else if (id == kLumTagPre && PreCount() > 0) {
            --fRawText;
        }
    }
    return d.reported;
}

void TLumHtmlParser::ParseAttributes(TLumTag& tag)
{
    const int base = DataLength();
    for (;;) {
        SkipWhiteSpace();
        if (!HasChar() || Char() == '>')
            break;
        if (Char() == '/') {
            ReadChar();
            if (HasChar() && Char() == '>') {
                if (tag.Form() == tfStart)
                    tag.SetForm(tfEmpty);
                break;
            }
            continue;
        }
        if (!IsLetter(Char())) {
            ReadChar();
            continue;
        }
        SetDataLength(base);
        AddWhile(&IsNameChar);
        TLumWideString2Cardinal& added = tag.Add();
        added.Name = QString(reinterpret_cast<const QChar*>(Data() + base), DataLength() - base);
        added.Id = AttributeIdOf(Data() + base, DataLength() - base);
        SkipWhiteSpace();
        if (!HasChar() || Char() != '=')
            continue;
        ReadChar();
        SkipWhiteSpace();
        SetDataLength(base);
        if (HasChar() && (Char() == '"' || Char() == '\'')) {
            const char16_t quote = Char();
            ReadChar();
            SkipWhiteSpace();
            while (HasChar() && Char() != quote) {
                if (Char() == '&')
                    ReadReference(false);
                else
                    AddCharAndRead();
            }
            TrimDataEnd(base);
            if (HasChar())
                ReadChar(); // the closing quote
        } else {
            while (HasChar() && !IsWhiteSpace(Char()) && Char() != '>') {
                if (Char() == '&')
                    ReadReference(false);
                else
                    AddCharAndRead();
            }
        }
        tag.Items(tag.Count() - 1).Value =
            QString(reinterpret_cast<const QChar*>(Data() + base), DataLength() - base);
    }
    SetDataLength(base);
}

void TLumHtmlParser::SkipAttributes()
{
    while (HasChar() && Char() != '>') {
        if (Char() != '=') {
            ReadChar();
            continue;
        }
        ReadChar();
        SkipWhiteSpace();
        if (HasChar() && (Char() == '"' || Char() == '\'')) {
            const char16_t quote = Char();
            ReadChar();
            SkipUntilChar(quote);
            if (HasChar())
                ReadChar();
        } else {
            SkipUntil(&lum::IsEndOfSkippedUnquotedValue);
        }
    }
}

bool TLumHtmlParser::ReadSsiTag()
{
    // current character is the "#" after "<!--"
    fPiece = pkSsiTag;
    ReadChar();
    const bool endTag = HasChar() && Char() == '/';
    if (endTag)
        ReadChar();
    ClearData();
    AddWhile(&IsNameChar);
    const quint32 id = TagIdOf(Data(), DataLength());
    const Decision d = DecideTag(pkSsiTag, id, endTag);
    TLumSsiTag& tag = fSsiTag;
    if (d.collected) {
        tag.Clear();
        tag.SetTagName(DataString());
        tag.SetTagId(id);
        tag.SetForm(endTag ? tfEnd : tfStart);
    }
    const bool parse = d.collected && d.attributes;
    // A run of two or more hyphens followed by ">" ends the tag anywhere; returns true at that end.
    auto closingRun = [this](int dataMark, bool keep) {
        int run = 0;
        while (HasChar() && Char() == '-') {
            if (keep)
                AddChar();
            ReadChar();
            ++run;
        }
        if (run >= 2 && HasChar() && Char() == '>') {
            if (keep)
                SetDataLength(dataMark);
            return true;
        }
        return false;
    };
    const int base = DataLength();
    for (;;) {
        SkipWhiteSpace();
        if (!HasChar())
            break;
        if (Char() == '-') {
            if (closingRun(base, false))
                break;
            continue;
        }
        if (!IsNameChar(Char()) || !parse) {
            if (Char() == '"' || Char() == '\'' || Char() == '`') { // quoted values passed whole
                const char16_t quote = Char();
                ReadChar();
                while (HasChar() && Char() != quote) {
                    if (Char() == '\\')
                        ReadChar();
                    if (HasChar())
                        ReadChar();
                }
                if (HasChar())
                    ReadChar();
                continue;
            }
            ReadChar();
            continue;
        }
        SetDataLength(base);
        AddWhile(&IsNameChar);
        TLumWideString2Cardinal& added = tag.Add();
        added.Name = QString(reinterpret_cast<const QChar*>(Data() + base), DataLength() - base);
        added.Id = AttributeIdOf(Data() + base, DataLength() - base);
        SkipWhiteSpace();
        if (!HasChar() || Char() != '=')
            continue;
        ReadChar();
        SkipWhiteSpace();
        SetDataLength(base);
        bool ended = false;
        if (HasChar() && (Char() == '"' || Char() == '\'' || Char() == '`')) {
            const char16_t quote = Char();
            ReadChar();
            SkipWhiteSpace();
            while (HasChar() && Char() != quote) {
                if (Char() == '\\' && Peek(1) && LookAhead(0) == quote) {
                    ReadChar();
                    AddCharAndRead();
                } else if (Char() == '&') {
                    ReadReference(false);
                } else {
                    AddCharAndRead();
                }
            }
            TrimDataEnd(base);
            if (HasChar())
                ReadChar();
        } else {
            while (HasChar() && !IsWhiteSpace(Char())) {
                if (Char() == '-') {
                    const int mark = DataLength();
                    if (closingRun(mark, true)) {
                        ended = true;
                        break;
                    }
                } else if (Char() == '&') {
                    ReadReference(false);
                } else {
                    AddCharAndRead();
                }
            }
        }
        tag.Items(tag.Count() - 1).Value =
            QString(reinterpret_cast<const QChar*>(Data() + base), DataLength() - base);
        if (ended)
            break;
    }
    return d.reported;
}
