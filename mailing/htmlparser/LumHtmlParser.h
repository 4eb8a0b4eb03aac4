#pragma once
// HTML pull parser: each ReadPiece call reads the next piece of an HTML text (a tag, a run of text,
// a comment, a declaration, a processing instruction ...), collects its characters with the
// character references decoded and tells whether the caller asked to see that kind of piece.
#include "mailing/htmlparser/LumContainers.h"
#include "mailing/htmlparser/LumUnicode.h"

#include <functional>

// What the caller wants to see of a kind of piece; stored as a bit set (see the kFilter* bits).
enum TLumFilter : quint8 {
    fiHide = 0x01,
    fiShowHidden = 0x02,
    fiShowShown = 0x04,
    fiShowLocal = 0x68,
    fiShow = 0x70,
};

// Bits of a filter word: report the piece, parse a tag's attributes (start tags; end tags use the
// same bits shifted by 8), and the bits by which a plugin asks to see a piece.
enum : quint32 {
    kFilterReport = 0x20,
    kFilterAttributes = 0x40,
    kFilterEndReport = 0x2000,
    kFilterEndAttributes = 0x4000,
    kFilterPluginPiece = 0x200000,
    kFilterPluginStartTag = 0x400000,
    kFilterPluginEndTag = 0x40000000,
};

enum TLumPieceKind : quint8 {
    pkNone = 0,
    pkASP = 1,
    pkCDataSection = 2,
    pkComment = 3,
    pkCustomTag = 4,
    pkDTD = 5,
    pkHtmlPI = 6,
    pkHtmlTag = 7,
    pkPHP = 8,
    pkScript = 9,
    pkSsiTag = 10,
    pkStyle = 11,
    pkText = 12,
    pkTitle = 13,
    pkXmlPI = 14,
};

enum TLumTagForm : quint8 { tfStart = 0, tfEnd = 1, tfEmpty = 2 };

// One tag with its attributes (name, value, attribute id).
class TLumTag : public TLumWideString2CardinalVector {
public:
    const char* ClassName() const override { return "TLumTag"; }

    quint32 TagId() const { return fTagId; }
    void SetTagId(quint32 id) { fTagId = id; }
    const QString& TagName() const { return fTagName; }
    void SetTagName(const QString& name) { fTagName = name; }
    TLumTagForm Form() const { return fForm; }
    void SetForm(TLumTagForm form) { fForm = form; }

    void Assign(const TLumTag& source);
    void LoadFromReader(TLumReader& reader, int flags) override;
    void SaveToWriter(TLumWriter& writer, int flags) const override;
    void Clear() override;
    void ClearAttributes() { TLumWideString2CardinalVector::Clear(); }

    // Appends "=" and the value to a growing text (target, used length); true when the value
    // was written bare. Mode 1: bare when made of name characters only; mode 2: bare when it
    // holds no white space and no ">" and does not begin with a quote.
    bool WriteAttributeValue(const QString& value, int mode, QString& target, qsizetype& targetLength) const;

protected:
    // HTML tags keep "&{" (a script entity) unescaped in quoted values.
    virtual bool KeepsAmpBrace() const { return false; }

private:
    quint32 fTagId = 0;
    QString fTagName;
    TLumTagForm fForm = tfStart;
};

class TLumHtmlTag : public TLumTag {
public:
    const char* ClassName() const override { return "TLumHtmlTag"; }

protected:
    bool KeepsAmpBrace() const override { return true; }
};

class TLumCustomTag : public TLumTag {
public:
    const char* ClassName() const override { return "TLumCustomTag"; }
};

class TLumSsiTag : public TLumTag {
public:
    const char* ClassName() const override { return "TLumSsiTag"; }
};

// Start-tag and end-tag filters of one tag kind.
class TLumTagFilter {
public:
    TLumFilter StartTags() const { return fStart ? TLumFilter(fStart) : fiHide; }
    TLumFilter EndTags() const { return fEnd ? TLumFilter(fEnd) : fiHide; }
    void SetStartTags(TLumFilter f);
    void SetEndTags(TLumFilter f);
    void Assign(const TLumTagFilter& source);
    quint32 Word() const { return quint32(fStart) | (quint32(fEnd) << 8); }
    std::function<void()> OnChange; // the owning parser recomputes the kind's filter word

private:
    quint8 fStart = fiHide;
    quint8 fEnd = fiHide;
};

class TLumHtmlParser : public TLumUnicodeReader {
public:
    TLumHtmlParser();
    ~TLumHtmlParser() override;
    const char* ClassName() const override { return "TLumHtmlParser"; }

    bool EnableASP() const { return fEnableASP; }
    void SetEnableASP(bool on) { fEnableASP = on; }
    bool EnableCustomTags() const { return fEnableCustomTags; }
    void SetEnableCustomTags(bool on) { fEnableCustomTags = on; }
    bool EnablePHP() const { return fEnablePHP; }
    void SetEnablePHP(bool on) { fEnablePHP = on; }
    bool EnableSSI() const { return fEnableSSI; }
    void SetEnableSSI(bool on) { fEnableSSI = on; }
    char16_t CustomStartChar() const { return fCustomChar; }
    void SetCustomStartChar(char16_t c) { fCustomChar = c; }
    bool NormalizeWhiteSpace() const { return !(fRawText & 0x80000000u); }
    void SetNormalizeWhiteSpace(bool on);

    // Filters of the non-tag kinds (kind as in TLumPieceKind).
    TLumFilter Filter(TLumPieceKind kind) const;
    void SetFilter(TLumPieceKind kind, TLumFilter f);
#define LUM_FILTER_PROPERTY(Name, Kind) \
    TLumFilter Name() const { return Filter(Kind); } \
    void Set##Name(TLumFilter f) { SetFilter(Kind, f); }
    LUM_FILTER_PROPERTY(FilterASPs, pkASP)
    LUM_FILTER_PROPERTY(FilterCDataSections, pkCDataSection)
    LUM_FILTER_PROPERTY(FilterComments, pkComment)
    LUM_FILTER_PROPERTY(FilterDTDs, pkDTD)
    LUM_FILTER_PROPERTY(FilterHtmlPIs, pkHtmlPI)
    LUM_FILTER_PROPERTY(FilterPHPs, pkPHP)
    LUM_FILTER_PROPERTY(FilterScripts, pkScript)
    LUM_FILTER_PROPERTY(FilterStyles, pkStyle)
    LUM_FILTER_PROPERTY(FilterText, pkText)
    LUM_FILTER_PROPERTY(FilterTitles, pkTitle)
    LUM_FILTER_PROPERTY(FilterXmlPIs, pkXmlPI)
#undef LUM_FILTER_PROPERTY
    TLumTagFilter& FilterCustomTags() { return fFilterCustomTags; }
    TLumTagFilter& FilterHtmlTags() { return fFilterHtmlTags; }
    TLumTagFilter& FilterSsiTags() { return fFilterSsiTags; }
    void SetFilterCustomTags(const TLumTagFilter& f) { fFilterCustomTags.Assign(f); }
    void SetFilterHtmlTags(const TLumTagFilter& f) { fFilterHtmlTags.Assign(f); }
    void SetFilterSsiTags(const TLumTagFilter& f) { fFilterSsiTags.Assign(f); }
    // Per-tag filter words (tag id to filter word) that take the place of the kind's filter.
    TLumCardinalHash<TLumCardinalItem>& HtmlTagFilters() { return fHtmlTagFilters; }
    TLumCardinalHash<TLumCardinalItem>& CustomTagFilters() { return fCustomTagFilters; }
    TLumCardinalHash<TLumCardinalItem>& SsiTagFilters() { return fSsiTagFilters; }

    // Reads the next piece; true when it is reported.
    bool ReadPiece();
    // Reads pieces until a text piece is reported (true) or the input ends (false).
    bool ReadTextPiece(TLumFilter filter);

    TLumPieceKind PieceKind() const { return fPiece; }
    qint32 PieceStartPosition() const { return fStartPos; }
    qint32 PieceStartLine() const { return fStartLine; }
    qint32 PieceStartColumn() const { return fStartColumn; }
    const TLumHtmlTag& HtmlTag() const { return fHtmlTag; }
    const TLumCustomTag& CustomTag() const { return fCustomTag; }
    const TLumSsiTag& SsiTag() const { return fSsiTag; }
    int PreCount() const { return int(fRawText & 0x7FFFFFFFu); }

    // Name tables: tag and attribute ids (0 when unknown), entity replacement (nullptr when unknown).
    static quint32 TagIdOf(const char16_t* name, qsizetype length);
    static quint32 AttributeIdOf(const char16_t* name, qsizetype length);
    static const QString* EntityOf(const char16_t* name, qsizetype length);

private:
    struct Decision {
        bool reported = false;
        bool collected = false;
        bool attributes = false;
    };
    Decision Decide(TLumPieceKind kind) const;
    Decision DecideTag(TLumPieceKind kind, quint32 id, bool endTag) const;
    quint32& Word(TLumPieceKind kind) { return fFilters[kind - 1]; }

    bool AheadIs(int offset, const char* word); // lower-case word, letters in either case
    void SkipChars(int n);
    bool BeginsMarkup();
    bool EndTagAhead(const char* word);
    void Take(bool collect) { collect ? (void)AddCharAndRead() : (void)ReadChar(); }
    void ReadReference(bool folded);
    void TrimDataEnd(int from);

    bool ReadText();
    bool ReadContent(TLumPieceKind kind);
    bool ReadComment();
    bool ReadCData();
    bool ReadUntilGreater(TLumPieceKind kind);
    bool ReadUntilClose(TLumPieceKind kind, char16_t mark);
    bool ReadTag(TLumPieceKind kind, TLumTag& tag, bool endTag, int nameStart);
    bool ReadSsiTag();
    void ParseAttributes(TLumTag& tag);
    void SkipAttributes();

    bool fEnableASP = false;
    bool fEnableCustomTags = false;
    bool fEnablePHP = false;
    bool fEnableSSI = false;
    char16_t fCustomChar = '#';
    qint32 fStartPos = 0;
    qint32 fStartLine = 0;
    qint32 fStartColumn = 0;
    TLumCustomTag fCustomTag;
    TLumHtmlTag fHtmlTag;
    TLumSsiTag fSsiTag;
    TLumPieceKind fPiece = pkNone;
    TLumPieceKind fContentMode = pkNone;
    quint32 fFilters[14] = {};
    TLumTagFilter fFilterCustomTags;
    TLumTagFilter fFilterHtmlTags;
    TLumTagFilter fFilterSsiTags;
    quint32 fMasks[14];
    TLumCardinalHash<TLumCardinalItem> fCustomTagFilters;
    TLumCardinalHash<TLumCardinalItem> fHtmlTagFilters;
    TLumCardinalHash<TLumCardinalItem> fSsiTagFilters;
    quint32 fRawText = 0x80000000u;
};
