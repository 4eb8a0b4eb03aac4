// Reads arbitrary bytes as RTF into a document, writes the document as RTF and reads that back:
// the second reading must give the same text (and the writer must emit 7-bit RTF).
#include "grid/richtext/RichText.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QGuiApplication* g_app = nullptr;
} // namespace

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libfreetype.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView in(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument doc;
    grid::richtext::ReadRtf(in, doc);
    const QByteArray rtf = grid::richtext::WriteRtf(doc);
    for (char c : rtf)
        if (uchar(c) >= 0x80)
            std::abort();
    QTextDocument back;
    grid::richtext::ReadRtf(rtf, back);
    if (back.toRawText() != doc.toRawText())
        std::abort();
    return 0;
}
