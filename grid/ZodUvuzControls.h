#pragma once
// The editors of form controls in mini-HTML cells: a (masked) line edit and a combo box. Enter and
// Tab end the edit; Tab moves on to the next control of the cell, or to the next cell.
#include "grid/editors/FlatCombo.h"
#include <QLineEdit>
#include <QPointer>

namespace grid {

class TZedEzeravIvur;

class TControlEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TControlEdit(TZedEzeravIvur* grid);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<TZedEzeravIvur> m_grid;
};

class TControlCombo : public editors::TZEIComboBox {
    Q_OBJECT
public:
    explicit TControlCombo(TZedEzeravIvur* grid);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<TZedEzeravIvur> m_grid;
};

} // namespace grid
