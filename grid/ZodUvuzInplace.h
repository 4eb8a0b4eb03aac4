#pragma once
// The string grid's default in-place edit: filters and transforms typed characters by the cell's
// editor kind, limits the length, validates when keys leave it, walks the caret into neighbouring
// cells, completes from the grid's lookup list and filters pasted text.
#include "platform/grid/CustomGrid.h"
#include <QPointer>

namespace grid {

class TZedEzeravIvur;

class TZedInplaceEdit : public tk::TInplaceEdit {
    Q_OBJECT
public:
    explicit TZedInplaceEdit(TZedEzeravIvur* grid);
    TZedEzeravIvur* ZodGrid() const { return m_grid; }
    int LengthLimit() const { return m_lengthLimit; }
    void SetLengthLimit(int value) { m_lengthLimit = value; }
    bool AutoCompleteOn() const { return m_autoComplete; }
    void UpdateContents() override;
    void Move(const QRect& rect) override;
    // Pastes a text as the clipboard's paste does (events, limit, the kind's filter).
    void PasteText(QString text);
    // Completes the text from the grid's lookup list (after a key release).
    void AutoComplete();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool validateOrRestore(bool caretAtEnd);
    // The typed character after the length limit and the kind's filter; a null character drops it.
    QChar filterChar(QChar ch, bool& handled);

    TZedEzeravIvur* m_grid;
    int m_lengthLimit = 0;
    bool m_autoComplete = true;
};

// The editor of a fixed cell: validated and stored when it is left; Enter is swallowed.
class TGridTransEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TGridTransEdit(TZedEzeravIvur* grid);
    int Col = 0;
    int Row = 0;
    // OnCellValidate may refuse or change the text: accepted, it is stored and the editor hides;
    // refused, the grid's current cell becomes the edited one and the editor keeps the focus.
    bool ValidateAndStore();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<TZedEzeravIvur> m_grid;
};

} // namespace grid
