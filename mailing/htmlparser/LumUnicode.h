#pragma once
// A reader that hands out a source one 16-bit character at a time, counts positions, lines and
// columns, looks ahead any number of characters and collects characters into its data buffer.
#include "mailing/htmlparser/LumUtils.h"

#include <QIODevice>
#include <QString>
#include <memory>

class TLumUnicodeBase {
public:
    virtual ~TLumUnicodeBase() = default;
    virtual const char* ClassName() const { return "TLumUnicodeBase"; }
};

class TLumUnicodeReader;
// Fetches the next character from the source; false at its end.
using TLumReadFunction = bool (*)(TLumUnicodeReader& reader, char16_t& ch);

class TLumUnicodeReader : public TLumUnicodeBase {
public:
    TLumUnicodeReader();
    ~TLumUnicodeReader() override;
    TLumUnicodeReader(const TLumUnicodeReader&) = delete;
    TLumUnicodeReader& operator=(const TLumUnicodeReader&) = delete;
    const char* ClassName() const override { return "TLumUnicodeReader"; }

    // Sources. The buffer is read in place and must outlive the reading.
    void SetSourceBuffer(const void* buffer, quint32 length);
    void SetSourceString(const QByteArray& s); // keeps a reference to s
    // 16-bit text read through its own read function (one code unit per character).
    void SetSourceWideString(const QString& s);
    // Stream mode; ownership 0: the caller's, 1: freed with the reader or the next source,
    // 2: freed as soon as it is exhausted. nullptr leaves stream mode.
    void SetSourceStream(QIODevice* stream, quint8 ownership = 0);

    TLumReadFunction ReadFunction() const { return fReadFunc; }
    void SetReadFunction(TLumReadFunction f) { fReadFunc = f ? f : &DefaultRead; }
    static bool DefaultRead(TLumUnicodeReader& reader, char16_t& ch);

    bool ReadChar()
    {
        fPrevChar = fChar;
        char16_t c;
        if (fLookCount == 0 && fReadFunc == &WideRead) { // the wide read function, inline
            if (fWidePos >= fWideLength) {
                fHasChar = false;
                return false;
            }
            c = fWideData[fWidePos++];
        } else if (!Fetch(c)) {
            fHasChar = false;
            return false;
        }
        fChar = c;
        fHasChar = true;
        ++fPosition;
        if (fPrevChar == '\n' || (fPrevChar == '\r' && c != '\n')) {
            ++fLine;
            fColumn = 1;
        } else {
            ++fColumn;
        }
        return true;
    }
    bool HasChar() const { return fHasChar; }
    char16_t Char() const { return fChar; }
    char16_t PrevChar() const { return fPrevChar; }
    qint32 Position() const { return fPosition; }
    qint32 Line() const { return fLine; }
    qint32 Column() const { return fColumn; }
    void ResetCounters();

    // Makes sure n characters are in the look-ahead; false when the input ends first
    // (what could be read stays for later reads).
    bool Peek(int n);
    int LookAheadCount() const { return fLookCount; }
    char16_t LookAhead(int i) const { return fLook[fLookStart + i]; } // i < LookAheadCount()

    // Collected data.
    void AddChar() { AddCharCode(fChar); }
    bool AddCharAndRead()
    {
        AddCharCode(fChar);
        return ReadChar();
    }
    void AddCharCode(char16_t c)
    {
        if (fDataLen >= fDataCap)
            GrowData(fDataLen + 1);
        fData[fDataLen++] = c;
    }
    void AddBlank()
    {
        if (fDataLen == 0 || fData[fDataLen - 1] != ' ')
            AddCharCode(' ');
    }
    void AddCharCodeFolded(char16_t c)
    {
        if (c <= 32)
            AddBlank();
        else
            AddCharCode(c);
    }
    void AddString(const QString& s);
    void AddStringFolded(const QString& s);
    QString DataString() const { return QString(reinterpret_cast<const QChar*>(fData.get()), fDataLen); }
    const char16_t* Data() const { return fData.get(); }
    int DataLength() const { return fDataLen; }
    int DataCapacity() const { return fDataCap; }
    void ClearData() { fDataLen = 0; }
    void SetDataLength(int n) { fDataLen = n; } // n <= DataLength()

    // Scanning family: each stops at the first character that ends it (it stays current) or at
    // the end of the input; does nothing without a current character.
    void AddWhileChar(char16_t c);
    void SkipWhileChar(char16_t c);
    void AddWhile(lum::CharPredicate pred);
    void SkipWhile(lum::CharPredicate pred);
    void AddUntilChar(char16_t c);
    void SkipUntilChar(char16_t c);
    void AddUntilChar2(char16_t c1, char16_t c2);
    void SkipUntilChar2(char16_t c1, char16_t c2);
    void AddUntilChar3(char16_t c1, char16_t c2, char16_t c3);
    void AddUntil(lum::CharPredicate pred);
    void SkipUntil(lum::CharPredicate pred);
    void AddWhiteSpace() { AddWhile(&lum::IsWhiteSpace); }
    void SkipWhiteSpace() { SkipWhile(&lum::IsWhiteSpace); }

protected:
    [[noreturn]] void Error(const QString& text) const;

private:
    static bool WideRead(TLumUnicodeReader& reader, char16_t& ch);
    bool Fetch(char16_t& ch);
    bool RefillFromStream();
    void ResetSource();
    void GrowData(int needed);
    void FreeStream();

    bool fHasChar = false;
    char16_t fChar = 0;
    char16_t fPrevChar = 0;
    TLumReadFunction fReadFunc;
    qint32 fPosition = 0;
    qint32 fLine = 1;
    qint32 fColumn = 0;
    const quint8* fBuffer = nullptr;
    quint32 fBufferEnd = 0;
    quint32 fBufferPos = 0;
    std::unique_ptr<char16_t[]> fLook;
    int fLookStart = 0;
    int fLookCount = 0;
    int fLookCap = 0;
    QIODevice* fStream = nullptr;
    quint8 fStreamOwnership = 0;
    std::unique_ptr<quint8[]> fStreamBlock;
    QByteArray fSourceString; // keeps an 8-bit source alive
    QString fWideSource;
    const char16_t* fWideData = nullptr;
    qsizetype fWideLength = 0;
    qsizetype fWidePos = 0;
    std::unique_ptr<char16_t[]> fData;
    int fDataLen = 0;
    int fDataCap = 0;
};
