#include "spreadsheet/Validate.h"
#include "spreadsheet/FormulaHandler.h"
#include "spreadsheet/XLSUtils.h"

#include <cstring>

namespace xls {

QString TDataValidation::text(const QByteArray& tokens) const
{
    if (tokens.isEmpty() || !m_handler) return QString();
    return m_handler->DecodeFormula(tokens, int(tokens.size()));
}

QByteArray TDataValidation::compile(const QString& text)
{
    QByteArray tokens;
    if (!text.trimmed().isEmpty() && m_handler) m_handler->EncodeFormula(text, tokens, 1024);
    Changed = true;
    return tokens;
}

QString TDataValidation::Expression1() const { return text(Formula1); }
QString TDataValidation::Expression2() const { return text(Formula2); }
void TDataValidation::SetExpression1(const QString& text) { Formula1 = compile(text); }
void TDataValidation::SetExpression2(const QString& text) { Formula2 = compile(text); }

void TDataValidation::Assign(const TDataValidation& other)
{
    RawOptions = other.RawOptions;
    for (int i = 0; i < 4; ++i) m_texts[i] = other.m_texts[i];
    Formula1 = other.Formula1;
    Formula2 = other.Formula2;
    m_type = other.m_type;
    m_style = other.m_style;
    m_operator = other.m_operator;
    m_areas.Assign(other.m_areas);
    Changed = true;
}

void TDataValidation::Read(const uint8_t* data, int length)
{
    CheckRange(length, 0, 4);
    RawOptions = GetDWord(data);
    const int type = RawOptions & 0x0F, style = (RawOptions >> 4) & 0x07, op = (RawOptions >> 20) & 0x0F;
    m_type = type <= vtCustom ? TValidationType(type) : vtAny;
    m_style = style <= vsInfo ? TValidationStyle(style) : vsStop;
    m_operator = op <= vopLessEqual ? TValidationOperator(op) : vopBetween;
    int pos = 4;
    for (QString& t : m_texts) {
        CheckRange(length, pos, 2);
        const int n = GetWord(data + pos);
        pos += 2;
        if (n == 0) {
            t.clear();
            continue;
        }
        CheckRange(length, pos, 1);
        const int flag = data[pos];
        if (flag > 1) throw EXLSError(QStringLiteral("Unhandled string in DV"));
        const int bytes = flag ? 2 * n : n;
        CheckRange(length, pos + 1, bytes);
        // trimmed of blanks and control characters: the single NUL that stands for an empty text goes
        t = ReadBIFFString(data + pos, length - pos, n);
        int a = 0, b = int(t.size());
        while (a < b && t[a].unicode() <= ' ') ++a;
        while (b > a && t[b - 1].unicode() <= ' ') --b;
        t = t.mid(a, b - a);
        pos += 1 + bytes;
    }
    for (QByteArray* f : {&Formula1, &Formula2}) {
        CheckRange(length, pos, 4);
        const int n = GetWord(data + pos);
        pos += 4;
        CheckRange(length, pos, n);
        *f = QByteArray(reinterpret_cast<const char*>(data + pos), n);
        pos += n;
    }
    CheckRange(length, pos, 2);
    const int areas = GetWord(data + pos);
    pos += 2;
    if (areas < 4096) {
        CheckRange(length, pos, 8 * areas);
        for (int i = 0; i < areas; ++i) m_areas.AddRef(data + pos + 8 * i);
    }
}

TDataValidations::TDataValidations(void* sheet, TFormulaHandler* handler) : m_sheet(sheet), m_handler(handler) { resetDval(); }

void TDataValidations::resetDval()
{
    std::memset(m_dval, 0, sizeof m_dval);
    PutDWord(m_dval + 10, 0xFFFFFFFF);   // no drop-down object
}

TDataValidation* TDataValidations::Items(int index) const
{
    if (index < 0 || index >= Count()) throw EXLSError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_items[size_t(index)].get();
}

TDataValidation* TDataValidations::Add()
{
    m_items.push_back(std::make_unique<TDataValidation>(m_nextId++, m_handler));
    return m_items.back().get();
}

void TDataValidations::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
}

void TDataValidations::Clear()
{
    m_items.clear();
    resetDval();
}

void TDataValidations::ReadDVAL(const uint8_t* data, int length, TRecordSource& source)
{
    CheckRange(length, 0, 18);
    const uint32_t count = GetDWord(data + 14);
    std::vector<std::unique_ptr<TDataValidation>> read;
    for (uint32_t i = 0; i < count; ++i) {
        if (source.PeekRecordId() != 0x01BE) throw EXLSError(QStringLiteral("Excpected record missing: DV"));
        uint16_t id;
        const QByteArray dv = source.ReadRecord(id);
        auto item = std::make_unique<TDataValidation>(m_nextId + int(i), m_handler);
        item->Read(reinterpret_cast<const uint8_t*>(dv.constData()), int(dv.size()));
        read.push_back(std::move(item));
    }
    std::memcpy(m_dval, data, 18);
    m_nextId += int(read.size());
    for (auto& item : read) m_items.push_back(std::move(item));
}

}
