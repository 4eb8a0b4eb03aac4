#pragma once
// The rich-text in-place editor: the grid's rich edit over the cell; while the user types, a growing
// document grows the row (unless locked). Up and Down go to the grid when cells neither wrap nor
// hold several lines; losing the focus to the grid ends the edit.
#include "grid/VOdoZozaRere.h"
#include <QPointer>

namespace grid {

class TRichInplaceEdit : public VOdoZozaRere {
    Q_OBJECT
public:
    explicit TRichInplaceEdit(TZedEzeravIvur* grid);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void requestResize();
    QPointer<TZedEzeravIvur> m_owner;
};

// The plain text of a cell's rich text (paragraphs ended by CR LF).
QString RichCellPlainText(const QString& rtf);

} // namespace grid
