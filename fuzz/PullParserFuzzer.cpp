// Feeds arbitrary input through the HTML pull parser: every piece kind shown, then the road of the
// plain-text alternative. The first byte picks the options and whether the rest is read as bytes
// or as 16-bit code units.
#include "mailing/HtmlMailText.h"
#include "mailing/htmlparser/LumHtmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void ShowEverything(TLumHtmlParser& p)
{
    for (TLumPieceKind k : {pkASP, pkCDataSection, pkComment, pkDTD, pkHtmlPI, pkPHP, pkScript, pkStyle,
                            pkText, pkTitle, pkXmlPI})
        p.SetFilter(k, fiShow);
    for (TLumTagFilter* f : {&p.FilterHtmlTags(), &p.FilterCustomTags(), &p.FilterSsiTags()}) {
        f->SetStartTags(fiShow);
        f->SetEndTags(fiShow);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 1 << 20)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    QString text;
    if (mode & 0x40) {
        text.resize(qsizetype(size / 2));
        std::memcpy(text.data(), data, size / 2 * 2);
    } else
        text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    TLumHtmlParser p;
    ShowEverything(p);
    p.SetEnableASP(mode & 0x01);
    p.SetEnablePHP(mode & 0x02);
    p.SetEnableSSI(mode & 0x04);
    p.SetEnableCustomTags(mode & 0x08);
    p.SetNormalizeWhiteSpace(mode & 0x10);
    if (mode & 0x80)
        p.SetSourceString(bytes);
    else
        p.SetSourceWideString(text);
    // every piece but an empty script, style or title content consumes a character
    const size_t limit = 2 * size + 4;
    size_t pieces = 0;
    for (;;) {
        if (!p.ReadPiece() && !p.HasChar())
            break;
        if (++pieces > limit)
            __builtin_trap();
        if (p.PieceKind() == pkHtmlTag)
            for (int i = 0; i < p.HtmlTag().Count(); ++i)
                (void)p.HtmlTag().Items(i).Value.size();
    }
    const QStringList lines = htmlmail::PlainTextLines(text);
    if (lines.size() < 2 || size_t(lines.size()) > size + 2)
        __builtin_trap();
    return 0;
}
