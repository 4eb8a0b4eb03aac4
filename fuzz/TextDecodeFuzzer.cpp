// The decoding of text files: UTF-16 by its byte-order mark, UTF-8 when the bytes are valid
// UTF-8, otherwise Windows-1252.
// Input: byte 0 gives the piece size (1..64 bytes) of the piecewise readers; the rest is the file.
// Properties:
//   - the kind decided piece by piece (TextFileReader::Kind) is the kind of the whole bytes;
//   - the text read piece by piece (TextFileReader, TextFileLineReader with its line ends) is
//     DecodeTextFile's text of the whole bytes;
//   - one byte gives at most one character (Windows-1252 exactly one; UTF-8 at most one UTF-16
//     unit per byte; UTF-16 one unit per two bytes, one more for an odd byte at the end);
//   - no lone surrogate comes out.
// Seeds (tests/fuzz-corpus/textdecode/): UTF-8 with and without a mark, Windows-1252 umlauts,
// UTF-16 LE and BE with a surrogate pair, a cut sequence at the end.
#include "core/TextFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>

namespace {

bool LoneSurrogate(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return true;
            ++i;
        } else if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

[[noreturn]] void Fail(const char* what, const QString& a, const QString& b)
{
    fprintf(stderr, "%s\nwhole: %s\npieces: %s\n", what, qPrintable(a.toUtf8().toHex(' ')), qPrintable(b.toUtf8().toHex(' ')));
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 8192)
        return 0;
    const qint64 pieceSize = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    core::TextSniffer whole;
    whole.Feed(bytes);
    const core::TTextFileKind kind = whole.Finish();
    const QString text = core::DecodeTextFile(bytes);

    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    core::TextFileReader reader(device, pieceSize);
    const core::TTextFileKind pieceKind = reader.Kind();
    if (pieceKind.encoding != kind.encoding || pieceKind.bomLength != kind.bomLength
        || pieceKind.isText != kind.isText || pieceKind.size != kind.size)
        Fail("the kind read in pieces differs", QString(), QString());
    reader.Start(pieceKind);
    QString pieces, piece;
    while (reader.Read(piece))
        pieces += piece;
    if (pieces != text)
        Fail("the text read in pieces differs", text, pieces);

    const qsizetype body = bytes.size() - kind.bomLength;
    switch (kind.encoding) {
    case core::TextEncoding::Windows1252:
        if (text.size() != body)
            Fail("not one character per byte", text, QString());
        break;
    case core::TextEncoding::Utf8:
        if (text.size() > body)
            Fail("more characters than bytes", text, QString());
        break;
    default:
        if (text.size() > (body + 1) / 2)
            Fail("more characters than byte pairs", text, QString());
        break;
    }
    if (LoneSurrogate(text))
        Fail("a lone surrogate came out", text, QString());

    // The line reader: its lines and line ends give the same text.
    QBuffer lines;
    lines.setData(bytes);
    lines.open(QIODevice::ReadOnly);
    core::TextFileLineReader lineReader(lines, pieceSize);
    QString joined;
    QStringView line;
    while (lineReader.NextLine(line)) {
        joined += line;
        joined += lineReader.LineEnd();
    }
    if (kind.encoding != core::TextEncoding::Utf16LE && kind.encoding != core::TextEncoding::Utf16BE && joined != text)
        Fail("the lines read in pieces differ", text, joined);
    return 0;
}
