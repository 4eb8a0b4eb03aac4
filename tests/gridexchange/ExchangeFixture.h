#pragma once
// Grids for the exchange tests.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QStringList>
#include <ostream>
#include <memory>

namespace xtest {

inline std::unique_ptr<grid::TZedEzeravIvur> makeGrid(int cols = 5, int rows = 5)
{
    auto g = std::make_unique<grid::TZedEzeravIvur>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetGridOptions(g->GridOptions() | tk::goEditing);
    return g;
}

inline QStringList column(grid::TZedEzeravIvur& g, int col, int from = 0)
{
    QStringList out;
    for (int r = from; r < g.RowCount(); ++r)
        out << g.Cells(col, r);
    return out;
}

inline QStringList row(grid::TZedEzeravIvur& g, int r, int from = 0)
{
    QStringList out;
    for (int c = from; c < g.ColCount(); ++c)
        out << g.Cells(c, r);
    return out;
}

// Sets the grid locale for the scope.
class LocaleScope {
public:
    explicit LocaleScope(QChar decimal, QChar date = QLatin1Char('.'), QString dateFormat = QStringLiteral("dd.MM.yyyy"))
        : m_saved(grid::CurrentGridLocale())
    {
        grid::GridLocale l = m_saved;
        l.decimalSeparator = decimal;
        l.thousandSeparator = decimal == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(',');
        l.dateSeparator = date;
        l.shortDateFormat = dateFormat;
        grid::SetGridLocale(l);
    }
    ~LocaleScope() { grid::SetGridLocale(m_saved); }
private:
    grid::GridLocale m_saved;
};

} // namespace xtest

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
