// The mail template's fill: placeholders "%Name%" in the subject, a plain and an HTML part,
// filled with arbitrary names and values ("%" in values, names that overlap or hold "%",
// CR / LF and other control characters in values).
// Input: byte 0 = the number of record entries (1..4); then NUL-separated texts: the subject
// template, the plain part, the HTML part, then name and value of each entry.
// Properties:
//   - FillPlaceholders gives what ReplacePlaceholder gives entry by entry;
//   - the mail built from the prepared template (FillAndBuild) equals the filled copy serialised
//     whole (Date and Message-Id aside);
//   - the header block gains no line break from a value: it has the same header fields, in the
//     same order, as the mail filled with empty values, and no CR or LF outside a CR LF.
// Seeds (tests/fuzz-corpus/templatefill/): a greeting, values with "%" and CR LF "Bcc:" lines,
// overlapping names ("Name" and "Name2", "a%b").
#include "core/AssociativeArray.h"
#include "mailing/MyMessage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>

namespace {

QByteArray WithoutDateAndId(QByteArray raw)
{
    for (const QByteArray& name : {QByteArray("\r\nDate: "), QByteArray("\r\nMessage-Id: ")}) {
        const qsizetype at = raw.indexOf(name);
        if (at < 0)
            continue;
        const qsizetype end = raw.indexOf("\r\n", at + name.size());
        raw.replace(at + name.size(), end - at - name.size(), "-");
    }
    return raw;
}

// The names of the header fields, in order; empty when a CR or LF stands alone in the block.
QList<QByteArray> HeaderNames(const QByteArray& mail, bool* clean)
{
    const qsizetype end = mail.indexOf("\r\n\r\n");
    const QByteArray block = mail.left(end < 0 ? mail.size() : end);
    *clean = block.count('\r') == block.count("\r\n") && block.count('\n') == block.count("\r\n");
    QList<QByteArray> names;
    for (const QByteArray& line : block.split('\n')) {
        if (line.isEmpty() || line.startsWith(' ') || line.startsWith('\t'))
            continue; // a folded continuation
        names << line.left(line.indexOf(':'));
    }
    return names;
}

void Setup(TMyMessage& m, const QStringList& texts)
{
    m.ContentType = QStringLiteral("multipart/mixed");
    m.AddTextPart(QStringLiteral("multipart/alternative"), QString(), -1);
    m.AddTextPart(QStringLiteral("text/plain"), texts.value(1), 0);
    m.AddTextPart(QStringLiteral("text/html"), texts.value(2), 0);
    m.Subject = texts.value(0);
    m.From = {QStringLiteral("info@example.org"), QStringLiteral("Info")};
    m.Recipients = {{QStringLiteral("eva@example.org"), QString()}};
    m.SaveTemplates();
}

bool SameTexts(const TMyMessage& a, const TMyMessage& b)
{
    if (a.Subject != b.Subject || a.Body != b.Body || a.MessageParts.size() != b.MessageParts.size())
        return false;
    for (qsizetype i = 0; i < a.MessageParts.size(); ++i)
        if (a.MessageParts[i].Body != b.MessageParts[i].Body)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InitMimeLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    const int entries = 1 + data[0] % 4;
    const QStringList texts = QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1))
                                  .split(QChar(0));
    TAssociativeArray record, empty;
    for (int i = 0; i < entries; ++i) {
        const QString name = texts.value(3 + 2 * i);
        if (name.isEmpty())
            continue;
        record.SetValue(name, texts.value(4 + 2 * i));
        empty.SetValue(name, QString());
    }

    TMyMessage templ;
    Setup(templ, texts);
    const auto prepared = TPreparedMessage::Prepare(templ);

    TMyMessage atOnce, oneByOne, blank;
    atOnce.Assign(templ);
    oneByOne.Assign(templ);
    blank.Assign(templ);
    FillPlaceholders(atOnce, record);
    for (int i = 0; i < record.Count(); ++i)
        ReplacePlaceholder(oneByOne, record.KeyAt(i), record.ValueAt(i));
    if (!SameTexts(atOnce, oneByOne))
        __builtin_trap(); // filling at once differs from filling entry by entry
    FillPlaceholders(blank, empty);

    const QByteArray whole = atOnce.SerializeWithBoundaries(prepared ? prepared->Boundaries() : QMap<int, QByteArray>());
    if (prepared) {
        TMyMessage copy;
        copy.Assign(templ);
        QList<QByteArray> pieces;
        prepared->FillAndBuild(copy, record, pieces);
        if (WithoutDateAndId(pieces.join()) != WithoutDateAndId(whole)) {
            fprintf(stderr, "built:\n%s\nwhole:\n%s\n", pieces.join().constData(), whole.constData());
            __builtin_trap(); // the mail from the prepared pieces differs from the mail built whole
        }
    }

    bool clean = false, blankClean = false;
    const QList<QByteArray> names = HeaderNames(whole, &clean);
    const QList<QByteArray> blankNames =
        HeaderNames(blank.SerializeWithBoundaries(prepared ? prepared->Boundaries() : QMap<int, QByteArray>()), &blankClean);
    if (!clean || names != blankNames) {
        fprintf(stderr, "%s\n", whole.constData());
        __builtin_trap(); // a value broke a header line
    }
    return 0;
}
