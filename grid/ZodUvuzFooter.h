#pragma once
// The options of the string grid's floating footer.
#include "grid/GridTypes.h"
#include "platform/graphics/Graphics.h"

#include <QObject>
#include <QString>
#include <functional>
#include <map>

namespace grid {

class TZedEzeravIvur;

class TFloatingFooter : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool CalculateHiddenRows MEMBER CalculateHiddenRows)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int Column READ Column WRITE SetColumn)
    Q_PROPERTY(QString CustomTemplate READ CustomTemplate WRITE SetCustomTemplate)
    Q_PROPERTY(grid::TFooterStyle FooterStyle READ FooterStyle WRITE SetFooterStyle)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
public:
    explicit TFloatingFooter(TZedEzeravIvur* grid);
    TZedEzeravIvur* Grid() const { return m_grid; }

    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    TFooterStyle FooterStyle() const { return m_style; }
    void SetFooterStyle(TFooterStyle value);
    gfx::TColor Color() const { return m_color; }
    void SetColor(gfx::TColor value);
    int Column() const { return m_column; }
    void SetColumn(int value);
    QString CustomTemplate() const { return m_template; }
    void SetCustomTemplate(const QString& value);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool value);
    bool CalculateHiddenRows = false;
    // The footer's own calculation switch (on after construction).
    bool Calculate = true;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnCalcFooter;

    // Copies the published values (Visible through its setter).
    void Assign(const TFloatingFooter* source);

    // The calculation of a column's footer cell (low 7 bits: 0 none, 1 sum, 2 average, 3 count,
    // 4 minimum, 5 maximum, 7 custom); -1 for a column never given one, whose cell is left alone.
    // Kept here, by column, so that rows added or removed under the footer leave it in place;
    // inserted and removed columns move it along.
    int Calc(int col) const;
    void SetCalc(int col, int kind);
    const std::map<int, quint8>& Calcs() const { return m_calcs; }
    void ColumnsInserted(int col, int count);
    void ColumnsRemoved(int col, int count);

private:
    TZedEzeravIvur* m_grid;
    bool m_visible = false;
    TFooterStyle m_style = fsFixedLastRow;
    gfx::TColor m_color = gfx::clBtnFace;
    int m_column = 0;
    QString m_template;
    bool m_showHint = false;
    std::map<int, quint8> m_calcs;
};

} // namespace grid
