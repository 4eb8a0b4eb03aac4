#include "grid/ZodUvuzRichEdit.h"

#include "grid/ZodUvuz.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <cmath>

namespace grid {

TRichInplaceEdit::TRichInplaceEdit(TZedEzeravIvur* grid) : VOdoZozaRere(grid), m_owner(grid)
{
    setObjectName(QStringLiteral("RichEdit"));
    setParent(grid->viewport());
    setAttribute(Qt::WA_TranslucentBackground, false);
    setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(2);   // the formatting rectangle inset by 2 on every side
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { requestResize(); });
    hide();
}

void TRichInplaceEdit::requestResize()
{
    UpdateRequestedSize();
    TZedEzeravIvur* g = m_owner;
    if (!g || Locked() || !isVisible() || !g->SizeWhileTyping()->Height)
        return;
    const int row = g->Row();
    const QRect cell = g->CellRect(g->Col(), row);
    const int req = ReqHeight();
    if (req <= g->RowHeights(row) || cell.top() + req > g->viewport()->height())
        return;
    resize(width(), req + 4);
    g->SetRowHeights(row, req + 5);
    if (g->OnEndRowSize)
        g->OnEndRowSize(g, row);
}

void TRichInplaceEdit::keyPressEvent(QKeyEvent* event)
{
    VOdoZozaRere::keyPressEvent(event);
    const int key = event->key();
    TZedEzeravIvur* g = m_owner;
    if (g && (key == Qt::Key_Up || key == Qt::Key_Down) && !g->WordWrap() && !g->Multilinecells) {
        g->setFocus();
        QKeyEvent e(QEvent::KeyPress, key, event->modifiers());
        QApplication::sendEvent(g, &e);
    }
}

void TRichInplaceEdit::focusOutEvent(QFocusEvent* event)
{
    TZedEzeravIvur* g = m_owner;
    if (g && (QApplication::focusWidget() == g || QApplication::focusWidget() == g->viewport()))
        g->EndInplaceEdit();
    VOdoZozaRere::focusOutEvent(event);
}

} // namespace grid
