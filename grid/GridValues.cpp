// Typed views of cell texts (integer, float, date), the text hooks for showing, saving and
// loading cells, and the automatic merging of equal cells in chosen columns.
#include "grid/FloatFormat.h"
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QDate>

namespace grid {

namespace {
bool readFloat(const QString& text, double& value)
{
    QString clean = CleanNumberText(text);
    if (clean.isEmpty() || clean == QLatin1String("-")) {
        const QString t = text.trimmed();
        if (!t.isEmpty() && t != QLatin1String("-"))
            return false;
        clean = QStringLiteral("0");
    }
    bool ok = false;
    value = clean.toDouble(&ok);
    return ok;
}
} // namespace

int TZedEzeravIvur::IntegerCell(int col, int row)
{
    QString t = DisplayText(col, row).trimmed();
    if (t.isEmpty() || t == QLatin1String("-"))
        return 0;
    bool negative = false;
    if (t.size() >= 2 && t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')'))) {
        negative = true;
        t = t.mid(1, t.size() - 2).trimmed();
    }
    t.remove(CurrentGridLocale().thousandSeparator);
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok)
        throw EZodUvuzError(QStringLiteral("Cell does not contain integer value"));
    return negative ? -v : v;
}

double TZedEzeravIvur::FloatCell(int col, int row)
{
    double v = 0;
    if (!readFloat(DisplayText(col, row), v))
        throw EZodUvuzError(QStringLiteral("Cell does not contain a float value"));
    return v;
}

double TZedEzeravIvur::FloatCellByRealRow(int col, int realRow)
{
    double v = 0;
    if (!readFloat(statText(col, realRow, true), v))
        throw EZodUvuzError(QStringLiteral("Cell does not contain a float value"));
    return v;
}

void TZedEzeravIvur::SetFloatCell(int col, int row, double value)
{
    const GridLocale& l = CurrentGridLocale();
    QString text;
    if (!FormatFloatValue(FloatFormat(), value, l.decimalSeparator, l.thousandSeparator, text))
        FormatFloatValue(QStringLiteral("%.2f"), value, l.decimalSeparator, l.thousandSeparator, text);
    SetCellText(col, row, text);
}

void TZedEzeravIvur::SetDateCell(int col, int row, const QDate& date)
{
    SetCellText(col, row, date.toString(CurrentGridLocale().shortDateFormat));
}

void TZedEzeravIvur::GetFormattedText(int col, int row, QString& value)
{
    value = DisplayText(col, row);
    if (!OnGetFloatFormat)
        return;
    const int kind = NumberKind(value);
    if (kind != 0 && kind != 1)
        return;
    bool isFloat = true;
    QString format = FloatFormat();
    OnGetFloatFormat(this, col, row, isFloat, format);
    if (!isFloat)
        return;
    double v = 0;
    if (!readFloat(value, v))
        return;
    const GridLocale& l = CurrentGridLocale();
    QString out;
    // A format that is not one floating conversion keeps the displayed text.
    if (FormatFloatValue(format, v, l.decimalSeparator, l.thousandSeparator, out))
        value = out;
}

void TZedEzeravIvur::GetCellTextForSave(int col, int row, QString& value)
{
    GetFormattedText(col, row, value);
    const TCellGraphic* g = GetCellGraphic(col, row);
    if (value.isEmpty() && g && g->CellType == ctCheckBox) {
        if (g->CellBoolean)
            GetCheckTrue(col, row, value);
        else
            GetCheckFalse(col, row, value);
    }
}

void TZedEzeravIvur::SetCellTextFromLoad(int col, int row, const QString& value) { StoreCell(col, row, value); }

void TZedEzeravIvur::UnmergeAllColumns()
{
    for (int c = 0; c < ColCount(); ++c)
        UnmergeColumn(c);
}

void TZedEzeravIvur::ReMergeColumns()
{
    UnmergeAllColumns();
    const TIntList& cols = AutoMergeColumns();
    for (int i = 0; i < cols.Count(); ++i)
        if (cols.Items(i) >= 0 && cols.Items(i) < ColCount())
            MergeEqualRuns(cols.Items(i), i == 0);
}

} // namespace grid
