// Feeds arbitrary text through the tag scanner (split into lines at line feeds) and rewrites the
// picture sources it found.
#include "mailing/HtmlMailText.h"
#include "mailing/HtmlScanner.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    THTMLParser scanner;
    int found = 0;
    scanner.OnFoundTag = [&found](THTMLParser*, const QString&) { ++found; };
    scanner.OnFoundComment = [&found](THTMLParser*, const QString&) { ++found; };
    scanner.OnFoundHyperlink = [&found](THTMLParser*, const QString&) { ++found; };
    scanner.SetHTML(text.split(u'\n'));
    scanner.Parse();
    const TParsed& parsed = scanner.Parsed();
    if (parsed.Images.size() > text.size() || found > text.size())
        __builtin_trap();

    QHash<QString, QString> cids;
    int n = 0;
    for (const QString& image : parsed.Images)
        if (!image.isEmpty() && !cids.contains(image))
            cids.insert(image, QString::number(++n));
    const QString rewritten = htmlmail::ReplacePictureSources(text, cids);
    if (cids.isEmpty() && rewritten != text)
        __builtin_trap();
    return 0;
}
