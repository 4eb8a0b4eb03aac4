#pragma once
// The family's string grid TZedEzeravIvur: texts with per-cell properties on the base grid, created
// by class name through the class registry.
#include "grid/BaseGrid.h"
#include "platform/grid/Toolkit.h"
#include <QString>
#include <functional>

namespace grid {

class TZedEzeravIvur : public TBaseGrid {
    Q_OBJECT
public:
    // `designing`: the grid is being designed (no editor controls, no drop markers).
    explicit TZedEzeravIvur(QWidget* parent = nullptr, bool designing = false);
    ~TZedEzeravIvur() override;

    bool Designing() const { return m_designing; }

    // --- internal values
    int CellMarginX() const { return m_cellMarginX; }
    int CellMarginY() const { return m_cellMarginY; }
    QChar PasswordChar() const { return m_passwordChar; }
    QString CheckTrueText() const { return m_checkTrue; }
    void SetCheckTrueText(const QString& v) { m_checkTrue = v; }
    QString CheckFalseText() const { return m_checkFalse; }
    void SetCheckFalseText(const QString& v) { m_checkFalse = v; }
    QString FloatFormat() const { return m_floatFormat; }
    void SetFloatFormat(const QString& v) { m_floatFormat = v; }

    // --- dimensions (the grid's own setters)
    int RowCount() const { return TBaseGrid::RowCount(); }
    void SetRowCount(int value);
    int FixedRows() const;
    void SetFixedRows(int value);
    int FixedCols() const;
    void SetFixedCols(int value);
    bool FixedRowAlways() const { return m_fixedRowAlways; }
    void SetFixedRowAlways(bool value);
    bool FixedColAlways() const { return m_fixedColAlways; }
    void SetFixedColAlways(bool value);
    int FixedFooters() const { return m_fixedFooters; }
    void SetFixedFooters(int value);
    int FixedRightCols() const { return m_fixedRightCols; }
    void SetFixedRightCols(int value);

    // --- updates
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }

    // --- navigation
    void GoToCell(int col, int row);
    void SetRowNotify(int row);

    // --- version
    virtual int GetVersionNr() { return 0x03020003; }
    virtual void GetVersionString(QString& text);
    QString Version();

    // --- hooks with behaviour of their own
    virtual void GetCellFixed(int col, int row, bool& isFixed);
    bool IsFixedCell(int col, int row) override;
    virtual void GetCheckTrue(int col, int row, QString& value);
    virtual void GetCheckFalse(int col, int row, QString& value);
    virtual void UpdateFooter(int col) { (void)col; }
    void CalcFooter(int col) { UpdateFooter(col); }

    // Marks the grid loaded: remembers the fixed counts and the default row height.
    virtual void Loaded();
    bool IsLoaded() const { return m_loaded; }

    // --- events
    std::function<void(QObject* sender, int oldRow, int newRow)> OnRowUpdate;
    std::function<void(QObject* sender, int row, int col, bool& isFixed)> OnIsFixedCell;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnGetCheckTrue;
    std::function<void(QObject* sender, int col, int row, QString& value)> OnGetCheckFalse;

private:
    bool m_designing;
    bool m_loaded = false;
    int m_cellMarginX = 2;
    int m_cellMarginY = 2;
    QChar m_passwordChar = QLatin1Char('*');
    QString m_checkTrue = QStringLiteral("Y");
    QString m_checkFalse = QStringLiteral("N");
    QString m_floatFormat = QStringLiteral("%.2f");
    int m_lastReportedRow = -1;
    int m_updateCount = 0;
    bool m_fixedRowAlways = false;
    bool m_fixedColAlways = false;
    int m_fixedFooters = 0;
    int m_fixedRightCols = 0;
    int m_fixedRowsStored = 1;
    int m_fixedColsStored = 1;
    int m_loadedFixedRows = 1;
    int m_loadedFixedCols = 1;
    int m_loadedDefaultRowHeight = 21;
};

} // namespace grid
