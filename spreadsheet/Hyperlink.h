#pragma once
// Hyperlinks of a sheet (HLINK, with the HLINKTOOLTIP that may follow).
#include "spreadsheet/MoveCopy.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace xls {

class TFormulaHandler;

enum THyperlinkType : uint8_t { hltUnknown, hltURL, hltFile, hltUNC, hltWorkbook };

class THyperlink {
public:
    THyperlink(int id, TFormulaHandler* handler) : ID(id), m_handler(handler) {}
    const int ID;

    THyperlinkType HyperlinkType() const { return m_type; }
    THyperlinkType Encoding() const { return m_encoding; }
    uint16_t Col1 = 0, Col2 = 0, Row1 = 0, Row2 = 0;
    uint32_t Options = 0;
    bool Changed = false;

    QString Description() const { return m_description; }
    void SetDescription(const QString& s) { m_description = s; Changed = true; }
    QString ToolTip() const { return m_toolTip; }
    void SetToolTip(const QString& s) { m_toolTip = s; Changed = true; }
    QString TargetFrame() const { return m_frame; }
    QString Address() const { return m_address; }
    void SetAddress(const QString& address);
    QString Location() const { return m_location; }
    const QByteArray& RawRecord() const { return m_raw; }   // the whole HLINK of an unknown kind

    // An HLINK record; its tooltip, when the next record is one, is taken from the source.
    void Read(const uint8_t* data, int length, TRecordSource& source);

private:
    TFormulaHandler* m_handler;
    THyperlinkType m_type = hltUnknown, m_encoding = hltUnknown;
    QString m_description, m_frame, m_address, m_location, m_toolTip;
    QByteArray m_raw;
};

class THyperlinks {
public:
    THyperlinks(void* sheet, TFormulaHandler* handler) : m_sheet(sheet), m_handler(handler) {}
    int Count() const { return int(m_items.size()); }
    THyperlink* Items(int index) const;
    THyperlink* Add();
    void Delete(int index);
    void Clear() { m_items.clear(); }
    void ReadHLINK(TRecordSource& source, int length, const uint8_t* data);
    void* Owner() const { return m_sheet; }

private:
    void* m_sheet;
    TFormulaHandler* m_handler;
    std::vector<std::unique_ptr<THyperlink>> m_items;
    int m_nextId = 0;
};

}
