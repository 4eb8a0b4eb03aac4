// Typed cell values under two locales, the float formatter and automatic merging.
#include "RowsFixture.h"

#include "grid/FloatFormat.h"
#include "grid/GridUtils.h"

#include <gtest/gtest.h>

using namespace grid;
using namespace rowtest;

namespace {
GridLocale english()
{
    return GridLocale{};
}
GridLocale german()
{
    GridLocale l;
    l.decimalSeparator = QLatin1Char(',');
    l.thousandSeparator = QLatin1Char('.');
    l.dateSeparator = QLatin1Char('.');
    l.shortDateFormat = QStringLiteral("dd.MM.yyyy");
    return l;
}
class LocaleScope {
public:
    explicit LocaleScope(const GridLocale& l) : m_old(CurrentGridLocale()) { SetGridLocale(l); }
    ~LocaleScope() { SetGridLocale(m_old); }

private:
    GridLocale m_old;
};
} // namespace

TEST(Values, IntegerAndFloatCellsUnderTwoLocales)
{
    struct Case {
        GridLocale locale;
        QString amount;    // -1234.5 written in the locale
        QString integer;   // -1234
    };
    const Case cases[] = {{english(), "(1,234.50)", "(1,234)"}, {german(), "(1.234,50)", "(1.234)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount.toStdString());
        LocaleScope scope(c.locale);
        auto g = makeGrid(3, 3);
        g->SetCells(1, 1, c.amount);
        g->SetCells(2, 1, c.integer);
        EXPECT_DOUBLE_EQ(g->FloatCell(1, 1), -1234.5);
        EXPECT_EQ(g->IntegerCell(2, 1), -1234);
        EXPECT_EQ(g->IntegerCell(1, 2), 0);   // empty
        g->SetCells(1, 2, "12a");
        EXPECT_THROW(g->IntegerCell(1, 2), EZodUvuzError);
        g->SetCells(1, 2, "abc");
        EXPECT_THROW(g->FloatCell(1, 2), EZodUvuzError);
    }
}

TEST(Values, FloatCellsWriteTheLocalesSeparatorAndReadBack)
{
    LocaleScope scope(german());
    auto g = makeGrid(3, 3);
    g->SetFloatCell(1, 1, 3.14159);
    EXPECT_EQ(g->Cells(1, 1), "3,14");
    EXPECT_DOUBLE_EQ(g->FloatCell(1, 1), 3.14);
    g->SetFloatFormat("%s");   // not a floating conversion: the default format
    g->SetFloatCell(1, 1, 2.5);
    EXPECT_EQ(g->Cells(1, 1), "2,50");
    g->HideRows(1, 1);
    EXPECT_DOUBLE_EQ(g->FloatCellByRealRow(1, 1), 2.5);

    g->SetDateCell(2, 1, QDate(2005, 3, 12));
    EXPECT_EQ(g->Cells(2, 1), "12.03.2005");
}

TEST(Values, TheFormatterTakesOneFloatingConversionOnly)
{
    struct Case {
        QString format;
        double value;
        bool ok;
        QString want;
    };
    const Case cases[] = {
        {"%.2f", 1234.5, true, "1234,50"},
        {"%.1m EUR", 1234567.25, true, "1.234.567,2 EUR"},
        {"%8.3f|", -3.14159, true, "  -3,142|"},
        {"%-8.1f|", 2.25, true, "2,2     |"},
        {"%08.2f", -1.5, true, "-0001,50"},
        {"%e", 1500, true, "1,500000e+03"},
        {"%g%%", 0.5, true, "0,5%"},
        {"%n", 1, false, ""},
        {"%s", 1, false, ""},
        {"%d", 1, false, ""},
        {"%f %f", 1, false, ""},
        {"no conversion", 1, false, ""},
        {"%", 1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format.toStdString());
        QString out = "unchanged";
        EXPECT_EQ(FormatFloatValue(c.format, c.value, QLatin1Char(','), QLatin1Char('.'), out), c.ok);
        EXPECT_EQ(out, c.ok ? c.want : QString("unchanged"));
    }
}

TEST(Values, FormattedTextAndTheSaveText)
{
    auto g = makeGrid(3, 3);
    g->SetCells(1, 1, "3.14159");
    g->SetCells(2, 1, "text");
    QString format = "%.3f";
    g->OnGetFloatFormat = [&](QObject*, int, int, bool& isFloat, QString& f) {
        EXPECT_TRUE(isFloat);
        f = format;
    };
    QString v;
    g->GetFormattedText(1, 1, v);
    EXPECT_EQ(v, "3.142");
    g->GetFormattedText(2, 1, v);
    EXPECT_EQ(v, "text");
    for (const QString& bad : {QString("%n"), QString("%s")}) {
        format = bad;
        g->GetFormattedText(1, 1, v);
        EXPECT_EQ(v, "3.14159");
    }
    auto box = std::make_unique<TCellGraphic>();
    box->CellType = ctCheckBox;
    box->CellBoolean = true;
    g->SetCellGraphic(1, 2, std::move(box));
    g->GetCellTextForSave(1, 2, v);
    EXPECT_EQ(v, "Y");
    g->SetCellTextFromLoad(2, 2, "loaded");
    EXPECT_EQ(g->Cells(2, 2), "loaded");
}

TEST(Values, AutoMergedColumnsMergeInsideTheRangesOfEarlierOnes)
{
    auto g = makeGrid(6, 3);
    const QStringList a = {"A", "A", "A", "B", "B"};
    const QStringList b = {"x", "x", "y", "y", "y"};
    for (int i = 0; i < 5; ++i) {
        g->SetCells(0, i + 1, a[i]);
        g->SetCells(1, i + 1, b[i]);
    }
    g->AutoMergeColumns().Add(0);
    g->AutoMergeColumns().Add(1);
    EXPECT_EQ(g->CellSpan(0, 1), QPoint(0, 2));
    EXPECT_EQ(g->CellSpan(0, 4), QPoint(0, 1));
    EXPECT_EQ(g->CellSpan(1, 1), QPoint(0, 1));   // x, x inside A
    EXPECT_FALSE(g->IsMergedCell(1, 3));          // y of A does not join the y of B
    EXPECT_EQ(g->CellSpan(1, 4), QPoint(0, 1));
    g->UnmergeAllColumns();
    EXPECT_FALSE(g->IsMergedCell(0, 2));
}
