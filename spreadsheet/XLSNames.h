#pragma once
// Defined names and external references of a BIFF8 workbook: the EXTERNSHEET table, the
// supporting workbooks (SUPBOOK) with their sheets, cached cells (CRN) and external names
// (EXTERNNAME), and the defined names (NAME).
//
// Strings are kept in their raw BIFF8 form ("raw text"): a flag byte (0: one byte per character,
// 1: UTF-16LE) followed by the characters exactly as in the file.
#include "spreadsheet/DecodeFormula.h"
#include "spreadsheet/SST.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace xls {

class TEncodeFormula;

QString RawTextToString(const QByteArray& raw);
QByteArray StringToRawText(const QString& text);   // 8-bit when every character fits, else UTF-16
QByteArray StringToRawText16(const QString& text);

// The component streaming of names: bytes as upper-case hex text, two digits a byte.
QString BytesToHex(const QByteArray& bytes);
QByteArray HexToBytes(const QString& hex);   // "Length error in hex string." for an odd digit

// A sheet name as formulas show it: quoted when it is not a plain word ('O''Brien', 'Umsatz 2024').
// With two names, the 3-D range of sheets (Sheet1:Sheet3, 'Jan 1:Mar 3').
QString QuotedSheetRef(const QString& first, const QString& last = QString());

struct TExtSheet {
    int32_t SupBook = 0;
    uint16_t FirstSheet = 0, LastSheet = 0;
};

struct TCRN {
    uint8_t Col1 = 0, Col2 = 0;
    uint16_t Row = 0;
    QByteArray Values;   // the cached values, as in the record after its first four bytes
};

struct TSupBookSheet {
    QByteArray Name;   // raw text
    std::vector<TCRN> CRNs;
    QString NameText() const { return RawTextToString(Name); }
};

class TExtName {
public:
    virtual ~TExtName() = default;
    virtual QByteArray Write() const;   // the whole EXTERNNAME record (id 0x23)
    virtual int ExtNameType() const = 0;
    uint16_t Options = 0;
    QByteArray Name;   // raw text
    QString NameText() const { return RawTextToString(Name); }
protected:
    virtual QByteArray body() const = 0;
    QByteArray countedName() const;
};

class TExtNameName : public TExtName {
public:
    int ExtNameType() const override { return 0; }
    QByteArray Definition;   // the name's formula tokens
protected:
    QByteArray body() const override;
};

class TExtNameDDE : public TExtName {
public:
    int ExtNameType() const override { return 1; }
protected:
    QByteArray body() const override;
};

class TExtNameOLE : public TExtName {
public:
    int ExtNameType() const override { return 2; }
    uint32_t StorageId = 0;
protected:
    QByteArray body() const override;
};

class TSupBook {
public:
    static constexpr uint16_t OwnWorkbook = 0x0401;
    static constexpr uint16_t AddInFunctions = 0x3A01;

    int32_t TabCount = 0;
    uint16_t Kind = 0;
    QByteArray Path;   // raw text of the encoded file name
    std::vector<TSupBookSheet> Sheets;
    std::vector<std::unique_ptr<TExtName>> Names;

    // The file name decoded: plain ("C:\dir\b.xls"), or as formulas show it: with sheets
    // "C:\dir\[b.xls]", without sheets (DDE and OLE links) "APP|topic!".
    QString PathText(bool formulaForm) const;
};

// Kept with the external names; it carries a string table of its own and nothing else here.
struct TExternalSeek {
    int Version = 6;
    TSST2 SST{nullptr};
};

class TExternalNames {
public:
    void AddSupBook(const uint8_t* data, int length);
    void AddExternName(const uint8_t* data, int length);
    void AddExternSheets(const uint8_t* data, int length);
    void AddCRN(int sheetIndex, const uint8_t* data, int length);
    void Clear();

    int ExtSheetToSheet(int entry) const;   // own-workbook entry: its first sheet, else -1
    QString ExtRefText(int entry, int nameNumber) const;

    // Lookups of the formula encoder. `path` is the folder (may be empty), `file` the file name.
    int FindExtName(const QString& path, const QString& file, const QString& name, int& supBook) const;
    int FindExtSheet(const QString& path, const QString& file, const QString& sheet) const;
    int FindOrAddExtSheet(const QString& path, const QString& file, const QString& sheet);
    int FindOrAddIntSheet(int sheet, int sheetCount, int lastSheet = -1);   // lastSheet: a 3-D range

    std::vector<TExtSheet>& ExtSheets() { return m_extSheets; }
    const std::vector<TExtSheet>& ExtSheets() const { return m_extSheets; }
    std::vector<std::unique_ptr<TSupBook>>& SupBooks() { return m_supBooks; }
    const std::vector<std::unique_ptr<TSupBook>>& SupBooks() const { return m_supBooks; }
    TExternalSeek& ExternalSeek() { return m_seek; }

    QString BasePath;   // folder of the file read, with its closing delimiter

private:
    std::vector<TExtSheet> m_extSheets;
    std::vector<std::unique_ptr<TSupBook>> m_supBooks;
    TExternalSeek m_seek;
    const TSupBook* supBookOf(int entry) const;
};

enum TBuiltInName : uint8_t {
    bnConsolidateArea, bnAutoOpen, bnAutoClose, bnExtract, bnDatabase, bnCriteria, bnPrintArea, bnPrintTitles,
    bnRecorder, bnDataForm, bnAutoActivate, bnAutoDeactivate, bnSheetTitle, bnNone
};

class TInternalNames;

class TInternalName {
public:
    explicit TInternalName(TInternalNames* owner) : m_owner(owner) {}

    QString Name() const;
    void SetName(const QString& name);
    QString Definition() const;
    void SetDefinition(const QString& text);
    TBuiltInName BuiltInName() const;
    void SetBuiltInName(TBuiltInName code);
    int Col1() const;
    int Col2() const;
    int Row1() const;
    int Row2() const;
    void SetCol1(int v);
    void SetCol2(int v);
    void SetRow1(int v);
    void SetRow2(int v);
    int ExtSheet() const;

    // The two streamed properties: "NameDef" (definition bytes) and "NameName" (raw name).
    QString NameDef() const { return BytesToHex(DefinitionBytes); }
    void SetNameDef(const QString& hex) { DefinitionBytes = HexToBytes(hex); }
    QString NameName() const { return BytesToHex(RawName); }
    void SetNameName(const QString& hex);

    int Index() const;

    uint16_t Options = 0;
    uint8_t Shortcut = 0;
    uint16_t ExternSheetWord = 0;
    uint16_t SheetIndexWord = 0;   // 0: global, else the sheet's index + 1
    QByteArray RawName;            // raw text
    QByteArray DefinitionBytes;    // tokens, then the data the tokens carry after them
    QByteArray CustomMenu, Description, HelpTopic, StatusText;   // raw text, empty when absent
    int TokenCount = 0;
    bool ReadFromFile = false;

private:
    TInternalNames* m_owner;
    enum Shape { NoShape, CellShape, AreaShape, AreaListShape };
    Shape shape(bool listAllowed) const;
    static Shape shapeOf(const QByteArray& bytes, bool listAllowed);
    int word(int offset) const;
    void setWord(int offset, int v);
    int coordOffset(bool isColumn, bool second) const;
    friend class TInternalNames;
};

class TInternalNames {
public:
    TInternalNames(TEncodeFormula* encoder, TNameResolver resolver)
        : m_encoder(encoder), m_resolver(std::move(resolver)) {}

    int Count() const { return int(m_items.size()); }
    TInternalName* Items(int index) const;   // raises on an index out of range
    TInternalName* Add();
    void Delete(int index);
    void Clear();
    void AddFromRecord(const uint8_t* data, int length);
    int FindName(const QString& text) const;   // ignoring case; -1 when absent

    TEncodeFormula* Encoder() const { return m_encoder; }
    const TNameResolver& Resolver() const { return m_resolver; }
    void NameChanged() { m_indexValid = false; }

private:
    TEncodeFormula* m_encoder;
    TNameResolver m_resolver;
    std::vector<std::unique_ptr<TInternalName>> m_items;
    mutable QHash<QString, int> m_index;   // lower-cased name -> first index
    mutable bool m_indexValid = false;
    friend class TInternalName;
};

}
