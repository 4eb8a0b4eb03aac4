#include "grid/richtext/RichText.h"

#include "core/TextFile.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iconv.h>
#include <map>
#include <optional>
#include <vector>

namespace grid::richtext {

namespace {

// Groups nested deeper than this only count their braces; their words change nothing.
constexpr int MaxDepth = 1024;

struct CharProps {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int font = -1;       // font table number; -1: the document's default font
    int halfPoints = 24; // \fs
    int fg = -1;         // colour table index; -1 (or an empty entry): automatic
    int bg = -1;         // -1 or 0: no background
    int vpos = 0;        // 0 normal, 1 superscript, 2 subscript
    bool operator==(const CharProps&) const = default;
};

struct ParaProps {
    int align = 0; // 0 left, 1 right, 2 centre, 3 justified
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0; // twips
    bool operator==(const ParaProps&) const = default;
};

enum Dest { DestText, DestFontTable, DestColorTable, DestSkip };

struct State {
    CharProps chr;
    ParaProps para;
    Dest dest = DestText;
    int uc = 1;
};

struct Font {
    QString name;
    int charset = -1;
};

// Destinations whose content is no text of the document.
bool isSkippedDestination(QByteArrayView word)
{
    static const char* const names[] = {
        "info", "stylesheet", "pict", "header", "headerl", "headerr", "headerf", "footer", "footerl",
        "footerr", "footerf", "footnote", "fldinst", "listtable", "listoverridetable", "revtbl",
        "rsidtbl", "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore",
        "object", "objdata", "nonshppict", "filetbl", "generator", "annotation", "atnid",
        "atnauthor", "author", "title", "subject", "operator", "keywords", "doccomm", "comment",
        "company", "creatim", "revtim", "printim", "buptim", "template", "pgdsctbl", "listtext",
        "pntext", "pntxta", "pntxtb", "bkmkstart", "bkmkend", "xe", "tc", "txe", "userprops",
        "docvar", "mmathPr", "shpinst", "sp", "sn", "sv", "fonttbl_alt", "falt", "panose",
    };
    for (const char* n : names)
        if (word == QByteArrayView(n))
            return true;
    return false;
}

int codePageOfCharset(int charset, int documentCodePage)
{
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return documentCodePage;
    }
}

// Byte decoders by code page (iconv for everything but 1252 and UTF-8).
class Decoders {
public:
    ~Decoders()
    {
        for (auto& [cp, cd] : m_open)
            if (cd != iconv_t(-1))
                iconv_close(cd);
    }

    void Decode(int codePage, const QByteArray& bytes, QString& out)
    {
        if (codePage == 65001) {
            out += QString::fromUtf8(bytes);
            return;
        }
        iconv_t cd = codePage == 1252 ? iconv_t(-1) : open(codePage);
        if (cd == iconv_t(-1)) {
            out += core::DecodeWindows1252(bytes);
            return;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        QByteArray in = bytes;
        char* src = in.data();
        size_t left = size_t(in.size());
        std::vector<char16_t> buf(in.size() * 2 + 8);
        while (left > 0) {
            char* dst = reinterpret_cast<char*>(buf.data());
            size_t room = buf.size() * sizeof(char16_t);
            const size_t r = iconv(cd, &src, &left, &dst, &room);
            const qsizetype produced = qsizetype((reinterpret_cast<char16_t*>(dst) - buf.data()));
            out += QStringView(buf.data(), produced);
            if (r == size_t(-1)) {
                if (errno == E2BIG)
                    continue;
                // An invalid or incomplete sequence: one replacement character per byte.
                out += QChar(QChar::ReplacementCharacter);
                ++src;
                --left;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }

private:
    iconv_t open(int codePage)
    {
        auto it = m_open.find(codePage);
        if (it != m_open.end())
            return it->second;
        QByteArray name;
        switch (codePage) {
        case 10000: name = "MACINTOSH"; break;
        case 950: name = "BIG5"; break;
        case 1361: name = "JOHAB"; break;
        case 874: name = "CP874"; break;
        default: name = "CP" + QByteArray::number(codePage);
        }
        iconv_t cd = iconv_open("UTF-16LE", name.constData());
        m_open.emplace(codePage, cd);
        return cd;
    }
    std::map<int, iconv_t> m_open;
};

class Reader {
public:
    Reader(QByteArrayView in, QTextDocument& doc) : m_in(in), m_doc(doc), m_cursor(&doc) {}

    void Run();

private:
    void flushBytes();
    void emitText(QStringView text);
    void flushRun();
    void paragraph();
    void controlWord(QByteArrayView word, bool hasParam, int param);
    void controlSymbol(char c);
    void textByte(char c);
    QTextCharFormat charFormat(const CharProps& p) const;
    QTextBlockFormat blockFormat(const ParaProps& p) const;
    int codePage() const;
    State& st() { return m_stack.back(); }
    // One fallback character of a \uN is skipped; true when it was.
    bool skipFallback()
    {
        if (m_ucSkip <= 0)
            return false;
        --m_ucSkip;
        return true;
    }

    QByteArrayView m_in;
    QTextDocument& m_doc;
    QTextCursor m_cursor;
    std::vector<State> m_stack;
    int m_overflow = 0;
    int m_ucSkip = 0;
    int m_docCodePage = 1252;
    int m_defaultFont = 0;
    std::map<int, Font> m_fonts;
    int m_tableFont = -1;     // font being read in the font table
    QByteArray m_fontName;
    std::vector<std::optional<QColor>> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
    Decoders m_decoders;
    QByteArray m_bytes; // text bytes waiting for decoding
    int m_bytesCodePage = 1252;
    QString m_run;      // decoded text waiting for insertion in m_runProps
    CharProps m_runProps;
    ParaProps m_blockPara;
    bool m_cellPending = false;
};

int Reader::codePage() const
{
    const State& s = m_stack.back();
    const int f = s.chr.font >= 0 ? s.chr.font : m_defaultFont;
    auto it = m_fonts.find(f);
    if (it == m_fonts.end())
        return m_docCodePage;
    return codePageOfCharset(it->second.charset, m_docCodePage);
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    QString text;
    m_decoders.Decode(m_bytesCodePage, m_bytes, text);
    m_bytes.clear();
    emitText(text);
}

QTextCharFormat Reader::charFormat(const CharProps& p) const
{
    QTextCharFormat f;
    const int fontNo = p.font >= 0 ? p.font : m_defaultFont;
    if (auto it = m_fonts.find(fontNo); it != m_fonts.end() && !it->second.name.isEmpty())
        f.setFontFamilies(QStringList{it->second.name});
    f.setFontPointSize(p.halfPoints / 2.0);
    if (p.bold)
        f.setFontWeight(QFont::Bold);
    if (p.italic)
        f.setFontItalic(true);
    if (p.underline)
        f.setFontUnderline(true);
    if (p.strike)
        f.setFontStrikeOut(true);
    if (p.fg >= 0 && size_t(p.fg) < m_colors.size() && m_colors[size_t(p.fg)])
        f.setForeground(*m_colors[size_t(p.fg)]);
    if (p.bg >= 0 && size_t(p.bg) < m_colors.size() && m_colors[size_t(p.bg)])
        f.setBackground(*m_colors[size_t(p.bg)]);
    if (p.vpos == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (p.vpos == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return f;
}

QTextBlockFormat Reader::blockFormat(const ParaProps& p) const
{
    QTextBlockFormat f;
    static const Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
    f.setAlignment(aligns[p.align]);
    // Twips to pixels at 96 dpi.
    f.setLeftMargin(p.li / 15.0);
    f.setRightMargin(p.ri / 15.0);
    f.setTextIndent(p.fi / 15.0);
    f.setTopMargin(p.sb / 15.0);
    f.setBottomMargin(p.sa / 15.0);
    return f;
}

void Reader::flushRun()
{
    if (m_run.isEmpty())
        return;
    m_cursor.insertText(m_run, charFormat(m_runProps));
    m_run.clear();
}

void Reader::emitText(QStringView text)
{
    if (text.isEmpty())
        return;
    if (m_cellPending) {
        m_cellPending = false;
        emitText(u"\t");
    }
    if (!(st().chr == m_runProps)) {
        flushRun();
        m_runProps = st().chr;
    }
    m_run += text;
    m_blockPara = st().para;
}

void Reader::paragraph()
{
    flushBytes();
    flushRun();
    m_cellPending = false;
    m_cursor.setBlockFormat(blockFormat(st().para));
    m_cursor.insertBlock();
    m_blockPara = st().para;
}

void Reader::textByte(char c)
{
    State& s = st();
    if (s.dest == DestText) {
        if (skipFallback())
            return;
        const int cp = codePage();
        if (cp != m_bytesCodePage)
            flushBytes();
        m_bytesCodePage = cp;
        m_bytes += c;
    } else if (s.dest == DestFontTable) {
        if (c == ';') {
            if (m_tableFont >= 0)
                m_fonts[m_tableFont].name = core::DecodeWindows1252(m_fontName).trimmed();
            m_fontName.clear();
        } else if (m_fontName.size() < 256) {
            m_fontName += c;
        }
    } else if (s.dest == DestColorTable) {
        if (c == ';') {
            if (m_colors.size() < 4096)
                m_colors.push_back(m_colorSet ? std::optional<QColor>(QColor(m_red, m_green, m_blue))
                                              : std::nullopt);
            m_red = m_green = m_blue = 0;
            m_colorSet = false;
        }
    }
}

void Reader::controlSymbol(char c)
{
    State& s = st();
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(c);
        return;
    case '*':
        flushBytes();
        s.dest = DestSkip;
        return;
    case '\n':
    case '\r':
        if (s.dest == DestText)
            paragraph();
        return;
    case '~':
    case '_':
        flushBytes();
        if (s.dest == DestText && !skipFallback())
            emitText(c == '~' ? u"\u00A0" : u"\u2011");
        return;
    default:
        flushBytes();
        skipFallback();
        return;
    }
}

void Reader::controlWord(QByteArrayView w, bool hasParam, int param)
{
    State& s = st();
    if (s.dest == DestSkip)
        return;
    if (s.dest == DestFontTable) {
        if (w == "f")
            m_tableFont = std::clamp(param, 0, 65535);
        else if (w == "fcharset" && m_tableFont >= 0)
            m_fonts[m_tableFont].charset = param;
        else if (isSkippedDestination(w))
            s.dest = DestSkip;
        return;
    }
    if (s.dest == DestColorTable) {
        const int v = std::clamp(param, 0, 255);
        if (w == "red")
            m_red = v, m_colorSet = true;
        else if (w == "green")
            m_green = v, m_colorSet = true;
        else if (w == "blue")
            m_blue = v, m_colorSet = true;
        return;
    }
    // Text destination. A word stands for one fallback character of a \uN.
    if (m_ucSkip > 0 && w != "u") {
        --m_ucSkip;
        return;
    }
    auto flag = [&](bool& prop) { prop = !hasParam || param != 0; };
    auto twips = [&]() { return std::clamp(param, -31680, 31680); };
    CharProps& ch = s.chr;
    ParaProps& pa = s.para;
    if (w == "par") {
        paragraph();
    } else if (w == "row" || w == "nestrow") {
        paragraph();
    } else if (w == "cell" || w == "nestcell") {
        flushBytes();
        if (m_cellPending)
            emitText(u"\t");
        m_cellPending = true;
    } else if (w == "line") {
        emitText(u"\u2028");
    } else if (w == "tab") {
        emitText(u"\t");
    } else if (w == "u") {
        const ushort unit = ushort(short(std::clamp(param, -32768, 65535)));
        const QChar ch16(unit);
        emitText(QStringView(&ch16, 1));
        m_ucSkip = s.uc;
    } else if (w == "uc") {
        s.uc = std::clamp(param, 0, 16);
    } else if (w == "emdash") {
        emitText(u"\u2014");
    } else if (w == "endash") {
        emitText(u"\u2013");
    } else if (w == "bullet") {
        emitText(u"\u2022");
    } else if (w == "lquote") {
        emitText(u"\u2018");
    } else if (w == "rquote") {
        emitText(u"\u2019");
    } else if (w == "ldblquote") {
        emitText(u"\u201C");
    } else if (w == "rdblquote") {
        emitText(u"\u201D");
    } else if (w == "plain") {
        ch = CharProps();
    } else if (w == "b") {
        flag(ch.bold);
    } else if (w == "i") {
        flag(ch.italic);
    } else if (w == "ul") {
        flag(ch.underline);
    } else if (w == "ulnone") {
        ch.underline = false;
    } else if (w == "strike") {
        flag(ch.strike);
    } else if (w == "f") {
        ch.font = std::clamp(param, 0, 65535);
    } else if (w == "fs") {
        ch.halfPoints = hasParam ? std::clamp(param, 2, 3276) : 24;
    } else if (w == "cf") {
        ch.fg = std::max(param, 0);
    } else if (w == "cb" || w == "highlight") {
        ch.bg = param > 0 ? param : -1;
    } else if (w == "super") {
        ch.vpos = 1;
    } else if (w == "sub") {
        ch.vpos = 2;
    } else if (w == "nosupersub") {
        ch.vpos = 0;
    } else if (w == "pard") {
        pa = ParaProps();
    } else if (w == "ql") {
        pa.align = 0;
    } else if (w == "qr") {
        pa.align = 1;
    } else if (w == "qc") {
        pa.align = 2;
    } else if (w == "qj") {
        pa.align = 3;
    } else if (w == "li") {
        pa.li = twips();
    } else if (w == "ri") {
        pa.ri = twips();
    } else if (w == "fi") {
        pa.fi = twips();
    } else if (w == "sb") {
        pa.sb = std::max(0, twips());
    } else if (w == "sa") {
        pa.sa = std::max(0, twips());
    } else if (w == "ansicpg") {
        if (param > 0)
            m_docCodePage = param;
    } else if (w == "mac") {
        m_docCodePage = 10000;
    } else if (w == "pc") {
        m_docCodePage = 437;
    } else if (w == "pca") {
        m_docCodePage = 850;
    } else if (w == "deff") {
        m_defaultFont = std::clamp(param, 0, 65535);
    } else if (w == "fonttbl") {
        s.dest = DestFontTable;
        m_tableFont = -1;
        m_fontName.clear();
    } else if (w == "colortbl") {
        s.dest = DestColorTable;
        m_colors.clear();
        m_colorSet = false;
        m_red = m_green = m_blue = 0;
    } else if (isSkippedDestination(w)) {
        s.dest = DestSkip;
    }
}

void Reader::Run()
{
    m_stack.reserve(64);
    m_stack.push_back(State());
    m_runProps = CharProps();
    const char* p = m_in.data();
    const qsizetype n = m_in.size();
    qsizetype i = 0;
    int depth = 0;
    bool started = false;
    while (i < n) {
        const char c = p[i];
        if (c == '{') {
            flushBytes();
            m_ucSkip = 0;
            ++i;
            ++depth;
            started = true;
            if (int(m_stack.size()) > MaxDepth) {
                ++m_overflow;
                continue;
            }
            m_stack.push_back(m_stack.back());
            continue;
        }
        if (c == '}') {
            flushBytes();
            m_ucSkip = 0;
            ++i;
            if (m_overflow > 0) {
                --m_overflow;
            } else if (m_stack.size() > 1) {
                const Dest left = m_stack.back().dest;
                m_stack.pop_back();
                // A font entry of its own group ends with the group.
                if (left == DestFontTable && m_stack.back().dest == DestFontTable && !m_fontName.isEmpty()) {
                    if (m_tableFont >= 0)
                        m_fonts[m_tableFont].name = core::DecodeWindows1252(m_fontName).trimmed();
                    m_fontName.clear();
                }
            }
            if (--depth <= 0 && started)
                break; // the document's group is closed
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            textByte(c);
            ++i;
            continue;
        }
        // A control word or symbol.
        ++i;
        if (i >= n)
            break;
        const char d = p[i];
        const bool letter = (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z');
        if (!letter) {
            ++i;
            if (d == '\'') {
                auto hex = [](char h) {
                    if (h >= '0' && h <= '9') return h - '0';
                    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                    return -1;
                };
                const int hi = i < n ? hex(p[i]) : -1;
                const int lo = i + 1 < n ? hex(p[i + 1]) : -1;
                if (hi < 0 || lo < 0) {
                    i += hi < 0 ? 0 : 1; // a broken escape is dropped with its digit
                    continue;
                }
                i += 2;
                textByte(char(hi * 16 + lo));
                continue;
            }
            controlSymbol(d);
            continue;
        }
        const qsizetype start = i;
        while (i < n && i - start < 32 && ((p[i] >= 'a' && p[i] <= 'z') || (p[i] >= 'A' && p[i] <= 'Z')))
            ++i;
        const QByteArrayView word(p + start, i - start);
        bool hasParam = false;
        bool negative = false;
        long long value = 0;
        if (i < n && p[i] == '-' && i + 1 < n && p[i + 1] >= '0' && p[i + 1] <= '9') {
            negative = true;
            ++i;
        }
        int digits = 0;
        while (i < n && p[i] >= '0' && p[i] <= '9') {
            if (digits++ < 10)
                value = value * 10 + (p[i] - '0');
            hasParam = true;
            ++i;
        }
        if (i < n && p[i] == ' ')
            ++i;
        value = std::clamp(negative ? -value : value, (long long)INT_MIN, (long long)INT_MAX);
        flushBytes();
        if (word == "bin") {
            // Binary data: skipped as bytes, whatever they hold.
            const qsizetype len = hasParam ? std::clamp<qsizetype>(qsizetype(value), 0, n - i) : 0;
            i += len;
            continue;
        }
        if (int(m_stack.size()) > MaxDepth && m_overflow > 0)
            continue;
        controlWord(word, hasParam, int(value));
    }
    flushBytes();
    flushRun();
    m_cursor.setBlockFormat(blockFormat(m_blockPara));
}

} // namespace

bool IsRtf(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.sliced(i).startsWith("{\\rtf");
}

void ReadRtf(QByteArrayView bytes, QTextDocument& doc)
{
    doc.clear();
    if (!IsRtf(bytes)) {
        doc.setPlainText(core::DecodeTextFile(bytes.toByteArray()));
        return;
    }
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    Reader(bytes, doc).Run();
    doc.setUndoRedoEnabled(undo);
}

} // namespace grid::richtext
