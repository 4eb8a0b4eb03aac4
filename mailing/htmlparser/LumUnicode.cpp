#include "mailing/htmlparser/LumUnicode.h"

#include <algorithm>

namespace {
constexpr int kStreamBlock = 4096;
}

TLumUnicodeReader::TLumUnicodeReader() : fReadFunc(&DefaultRead) {}

TLumUnicodeReader::~TLumUnicodeReader()
{
    FreeStream();
}

void TLumUnicodeReader::Error(const QString& text) const
{
    throw ELumError(QStringLiteral("Class ") + QString::fromLatin1(ClassName()) + QStringLiteral(": ") + text);
}

void TLumUnicodeReader::FreeStream()
{
    if (fStream && fStreamOwnership != 0)
        delete fStream;
    fStream = nullptr;
}

void TLumUnicodeReader::ResetCounters()
{
    fChar = 0;
    fPrevChar = 0;
    fLine = 1;
    fPosition = 0;
    fColumn = 0;
}

void TLumUnicodeReader::ResetSource()
{
    fLookStart = 0;
    fLookCount = 0;
    fHasChar = false;
    fWideSource = QString();
    fWideData = nullptr;
    fWideLength = 0;
    fWidePos = 0;
    if (fReadFunc == &WideRead)
        fReadFunc = &DefaultRead;
}

void TLumUnicodeReader::SetSourceBuffer(const void* buffer, quint32 length)
{
    if (fStream)
        Error(QStringLiteral("Operation not allowed in Source Stream Mode"));
    ResetSource();
    fSourceString = QByteArray();
    fBuffer = static_cast<const quint8*>(buffer);
    fBufferEnd = buffer ? length : 0;
    fBufferPos = 0;
    ResetCounters();
}

void TLumUnicodeReader::SetSourceString(const QByteArray& s)
{
    SetSourceBuffer(s.constData(), quint32(s.size()));
    fSourceString = s;
}

void TLumUnicodeReader::SetSourceWideString(const QString& s)
{
    SetSourceBuffer(nullptr, 0);
    fWideSource = s;
    fWideData = reinterpret_cast<const char16_t*>(fWideSource.utf16());
    fWideLength = fWideSource.size();
    fWidePos = 0;
    fReadFunc = &WideRead;
}

void TLumUnicodeReader::SetSourceStream(QIODevice* stream, quint8 ownership)
{
    if (stream != fStream)
        FreeStream();
    ResetSource();
    fSourceString = QByteArray();
    if (stream) {
        if (!fStreamBlock)
            fStreamBlock.reset(new quint8[kStreamBlock]);
        fStream = stream;
        fStreamOwnership = ownership;
        fBuffer = fStreamBlock.get();
    } else {
        fStreamBlock.reset();
        fBuffer = nullptr;
    }
    fBufferEnd = 0;
    fBufferPos = 0;
}

bool TLumUnicodeReader::RefillFromStream()
{
    if (!fStream)
        return false;
    const qint64 got = fStream->read(reinterpret_cast<char*>(fStreamBlock.get()), kStreamBlock);
    fBufferPos = 0;
    if (got > 0) {
        fBufferEnd = quint32(got);
        return true;
    }
    fBufferEnd = 0;
    if (fStreamOwnership == 2) { // freed as soon as it is exhausted; stream mode ends
        FreeStream();
        fStreamBlock.reset();
        fBuffer = nullptr;
    }
    return false;
}

bool TLumUnicodeReader::DefaultRead(TLumUnicodeReader& r, char16_t& ch)
{
    if (r.fBufferPos >= r.fBufferEnd && !r.RefillFromStream())
        return false;
    ch = r.fBuffer[r.fBufferPos++];
    return true;
}

bool TLumUnicodeReader::WideRead(TLumUnicodeReader& r, char16_t& ch)
{
    if (r.fWidePos >= r.fWideLength)
        return false;
    ch = r.fWideData[r.fWidePos++];
    return true;
}

bool TLumUnicodeReader::Fetch(char16_t& ch)
{
    if (fLookCount > 0) {
        ch = fLook[fLookStart++];
        if (--fLookCount == 0)
            fLookStart = 0;
        return true;
    }
    return fReadFunc(*this, ch);
}

bool TLumUnicodeReader::Peek(int n)
{
    if (fLookCount >= n)
        return true;
    if (fLookStart + n > fLookCap) {
        // compact first; grow only when a longer look-ahead is asked for
        if (n > fLookCap) {
            const int cap = std::max(n, fLookCap * 2);
            std::unique_ptr<char16_t[]> look(new char16_t[cap]);
            std::copy(fLook.get() + fLookStart, fLook.get() + fLookStart + fLookCount, look.get());
            fLook = std::move(look);
            fLookCap = cap;
        } else {
            std::copy(fLook.get() + fLookStart, fLook.get() + fLookStart + fLookCount, fLook.get());
        }
        fLookStart = 0;
    }
    while (fLookCount < n) {
        char16_t c;
        if (!fReadFunc(*this, c))
            return false;
        fLook[fLookStart + fLookCount++] = c;
    }
    return true;
}

void TLumUnicodeReader::GrowData(int needed)
{
    int cap = (needed + needed / 4 + 4) & ~3;
    std::unique_ptr<char16_t[]> data(new char16_t[cap]);
    std::copy(fData.get(), fData.get() + fDataLen, data.get());
    fData = std::move(data);
    fDataCap = cap;
}

void TLumUnicodeReader::AddString(const QString& s)
{
    if (fDataLen + s.size() > fDataCap)
        GrowData(int(fDataLen + s.size()));
    for (QChar c : s)
        fData[fDataLen++] = c.unicode();
}

void TLumUnicodeReader::AddStringFolded(const QString& s)
{
    for (QChar c : s)
        AddCharCodeFolded(c.unicode());
}

void TLumUnicodeReader::AddWhileChar(char16_t c)
{
    while (fHasChar && fChar == c)
        AddCharAndRead();
}

void TLumUnicodeReader::SkipWhileChar(char16_t c)
{
    while (fHasChar && fChar == c)
        ReadChar();
}

void TLumUnicodeReader::AddWhile(lum::CharPredicate pred)
{
    while (fHasChar && pred(fChar))
        AddCharAndRead();
}

void TLumUnicodeReader::SkipWhile(lum::CharPredicate pred)
{
    while (fHasChar && pred(fChar))
        ReadChar();
}

void TLumUnicodeReader::AddUntilChar(char16_t c)
{
    while (fHasChar && fChar != c)
        AddCharAndRead();
}

void TLumUnicodeReader::SkipUntilChar(char16_t c)
{
    while (fHasChar && fChar != c)
        ReadChar();
}

void TLumUnicodeReader::AddUntilChar2(char16_t c1, char16_t c2)
{
    while (fHasChar && fChar != c1 && fChar != c2)
        AddCharAndRead();
}

void TLumUnicodeReader::SkipUntilChar2(char16_t c1, char16_t c2)
{
    while (fHasChar && fChar != c1 && fChar != c2)
        ReadChar();
}

void TLumUnicodeReader::AddUntilChar3(char16_t c1, char16_t c2, char16_t c3)
{
    while (fHasChar && fChar != c1 && fChar != c2 && fChar != c3)
        AddCharAndRead();
}

void TLumUnicodeReader::AddUntil(lum::CharPredicate pred)
{
    while (fHasChar && !pred(fChar))
        AddCharAndRead();
}

void TLumUnicodeReader::SkipUntil(lum::CharPredicate pred)
{
    while (fHasChar && !pred(fChar))
        ReadChar();
}
