// Rich-text cells: the grid's hidden rich edit, loading a cell's RTF into an edit and saving it
// back, and drawing a rich-text cell.
#include "grid/VOdoZozaRere.h"
#include "grid/ZodUvuz.h"

#include "grid/minihtml/MiniHTML.h"
#include "grid/richtext/RichText.h"
#include "platform/grid/GridColors.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

namespace grid {

VOdoZozaRere::VOdoZozaRere(TZedEzeravIvur* grid) : QTextEdit(grid), m_grid(grid)
{
    setFrameStyle(QFrame::NoFrame);
    setAttribute(Qt::WA_TranslucentBackground);
    document()->setDocumentMargin(0);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { UpdateRequestedSize(); });
}

void VOdoZozaRere::UpdateRequestedSize()
{
    QTextDocument* doc = document();
    m_reqWidth = int(std::ceil(doc->idealWidth()));
    m_reqHeight = int(std::ceil(doc->size().height()));
}

VOdoZozaRere* TZedEzeravIvur::RichRender()
{
    static const QString name = QStringLiteral("RichRender");
    auto* edit = findChild<VOdoZozaRere*>(name, Qt::FindDirectChildrenOnly);
    if (!edit) {
        edit = new VOdoZozaRere(this);
        edit->setObjectName(name);
        edit->setGeometry(0, 0, 0, 0);
        edit->hide();
    }
    return edit;
}

void TZedEzeravIvur::LoadRichTextToEdit(int col, int row, VOdoZozaRere* edit)
{
    const QString text = Cells(col, row);
    QTextDocument* doc = edit->document();
    if (text.isEmpty()) {
        doc->clear();
        return;
    }
    // A cell holds RTF as its bytes, one character each; a character beyond a byte is read as
    // the RTF escape of its code unit.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x100)
            bytes += char(c.unicode());
        else
            bytes += "\\u" + QByteArray::number(int(short(c.unicode()))) + "?";
    }
    richtext::ReadRtf(bytes, *doc);
}

void TZedEzeravIvur::SaveRichTextFromEdit(VOdoZozaRere* edit, QString& text)
{
    const QTextDocument* doc = edit->document();
    text = doc->isEmpty() ? QString() : QString::fromLatin1(richtext::WriteRtf(*doc));
}

void TZedEzeravIvur::DrawRichTextCell(int col, int row, const QRect& rect, QPainter& p)
{
    VOdoZozaRere* edit = RichRender();
    LoadRichTextToEdit(col, row, edit);
    QTextDocument* doc = edit->document();
    doc->setDocumentMargin(0);
    // Shown selected: the whole text takes the selection's text colour (the cell keeps its RTF).
    const tk::TGridRect sel = Selection();
    const bool inSelection = col >= sel.Left && col <= sel.Right && row >= sel.Top && row <= sel.Bottom;
    const bool focusedCurrent = col == Col() && row == Row() && hasFocus()
                                && !(GridOptions() & tk::goDrawFocusSelected);
    const bool marked = (MouseActions()->DisjunctRowSelect() || MouseActions()->DisjunctColSelect())
                        && IsCellSelected(col, row);
    if (((inSelection && !focusedCurrent) || marked) && !SelectionRTFKeep && ShowSelection()) {
        QTextCursor c(doc);
        c.select(QTextCursor::Document);
        QTextCharFormat f;
        f.setForeground(tk::ToQColor(SelectionTextColor(), palette()));
        c.mergeCharFormat(f);
    }
    const int inset = CellMarginX();
    const QRect page = rect.adjusted(inset, inset, -inset, -inset);
    // The edit lays its document out at the width it is given (it is never shown).
    edit->setLineWrapMode(QTextEdit::FixedPixelWidth);
    edit->setLineWrapColumnOrWidth(std::max(1, page.width()));
    doc->setTextWidth(std::max(1, page.width()));
    p.save();
    p.translate(page.topLeft());
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.clip = QRectF(0, 0, page.width(), page.height());
    ctx.palette = palette();
    ctx.palette.setColor(QPalette::Text, Qt::black);
    p.setClipRect(ctx.clip, Qt::IntersectClip);
    doc->documentLayout()->draw(&p, ctx);
    p.restore();
}

} // namespace grid
