#pragma once
// Data validations of a sheet (DVAL with its DV records).
#include "spreadsheet/CellAreas.h"
#include "spreadsheet/MoveCopy.h"

#include <QString>
#include <memory>
#include <vector>

namespace xls {

class TFormulaHandler;

enum TValidationOption : uint8_t { voAllowEmptyCells = 1, voSupressDropDown = 2, voShowPromptBox = 4, voShowErrorBox = 8 };
enum TValidationType : uint8_t { vtAny, vtInteger, vtNumber, vtList, vtDate, vtTime, vtTextLength, vtCustom };
enum TValidationStyle : uint8_t { vsStop, vsWarning, vsInfo };
enum TValidationOperator : uint8_t {
    vopBetween, vopNotBetween, vopEqual, vopNotEqual, vopGreater, vopLess, vopGreateEqual, vopLessEqual
};

class TDataValidation : public TCollectionItemMoveCopy {
public:
    TDataValidation(int id, TFormulaHandler* handler) : TCollectionItemMoveCopy(id), m_handler(handler) {}

    uint32_t RawOptions = 0;
    int Options = voAllowEmptyCells | voShowPromptBox | voShowErrorBox;   // not taken from the file
    bool Changed = false;
    QByteArray Formula1, Formula2;   // tokens

    QString InputTitle() const { return m_texts[0]; }
    QString ErrorTitle() const { return m_texts[1]; }
    QString InputMsg() const { return m_texts[2]; }
    QString ErrorMsg() const { return m_texts[3]; }
    void SetInputTitle(const QString& s) { m_texts[0] = s; Changed = true; }
    void SetErrorTitle(const QString& s) { m_texts[1] = s; Changed = true; }
    void SetInputMsg(const QString& s) { m_texts[2] = s; Changed = true; }
    void SetErrorMsg(const QString& s) { m_texts[3] = s; Changed = true; }
    TValidationType ValidationType() const { return m_type; }
    TValidationStyle ValidationStyle() const { return m_style; }
    TValidationOperator ValidationOperator() const { return m_operator; }
    void SetValidationType(TValidationType v) { m_type = v; Changed = true; }
    void SetValidationStyle(TValidationStyle v) { m_style = v; Changed = true; }
    void SetValidationOperator(TValidationOperator v) { m_operator = v; Changed = true; }
    QString Expression1() const;
    QString Expression2() const;
    void SetExpression1(const QString& text);
    void SetExpression2(const QString& text);

    TCellAreas& Areas() { return m_areas; }
    const TCellAreas& Areas() const { return m_areas; }
    void Assign(const TDataValidation& other);
    void Read(const uint8_t* data, int length);   // a DV record

    QLY_FORWARD_AREA_OPERATIONS(m_areas)

private:
    TFormulaHandler* m_handler;
    QString m_texts[4];
    TValidationType m_type = vtAny;
    TValidationStyle m_style = vsStop;
    TValidationOperator m_operator = vopEqual;
    TCellAreas m_areas{this};
    QString text(const QByteArray& tokens) const;
    QByteArray compile(const QString& text);
};

class TDataValidations {
public:
    TDataValidations(void* sheet, TFormulaHandler* handler);
    int Count() const { return int(m_items.size()); }
    TDataValidation* Items(int index) const;
    TDataValidation* Add();
    void Delete(int index);
    void Clear();
    // The DVAL record, then as many DV records as it counts, taken from the source. Nothing is
    // added when one of them cannot be read.
    void ReadDVAL(const uint8_t* data, int length, TRecordSource& source);
    const uint8_t* DVAL() const { return m_dval; }
    void* Owner() const { return m_sheet; }

private:
    void* m_sheet;
    TFormulaHandler* m_handler;
    uint8_t m_dval[18] = {};
    std::vector<std::unique_ptr<TDataValidation>> m_items;
    int m_nextId = 0;
    void resetDval();
};

}
