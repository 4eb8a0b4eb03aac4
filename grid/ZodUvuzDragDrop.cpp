// The string grid in drag and drop: the drop target on its viewport, the drops of text, rich
// text, files and columns, and the drag of cells or a column.
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzRichEdit.h"

#include "grid/GridHelpers.h"
#include "grid/exchange/DragData.h"
#include "grid/exchange/TextBlock.h"

#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

namespace grid {

using namespace exchange;

// The grid whose drag is running (QDropEvent::source() needs a real drag loop).
static QPointer<TZedEzeravIvur> g_dragSource;

// Reads the drag events of a grid's viewport.
class TGridDropTarget : public QObject {
public:
    explicit TGridDropTarget(TZedEzeravIvur* grid) : QObject(grid), m_grid(grid) {}
    bool AcceptText = true;
    bool AcceptFiles = true;
    bool AcceptColumns = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            const TEnumFormats formats(e->mimeData());
            if (event->type() == QEvent::DragEnter)
                m_accepted = accepts(formats);
            bool allow = m_accepted;
            const QPoint pt = e->position().toPoint();
            // The drag events also drive the grid's scrolling near its edges.
            const QPoint client = m_grid->viewport()->mapTo(m_grid, pt);
            m_grid->DragOverScroll(client.x(), client.y(), false);
            if (allow)
                m_grid->DragMouseMove(pt, allow, formats.HasGridColumn());
            else
                m_grid->HideDropMarkers();
            if (allow) {
                e->setDropAction(effect(e, formats));
                e->accept();
            } else {
                e->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            m_grid->DragOverScroll(0, 0, true);
            m_grid->HideDropMarkers();
            return true;
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            const TEnumFormats formats(e->mimeData());
            bool done = false;
            if (accepts(formats)) {
                const QPoint pt = e->position().toPoint();
                if (formats.HasGridColumn()) {
                    m_grid->DropColumn(pt, formats.GetInteger());
                    done = true;
                } else if (formats.HasRTF() && DropRTFEnabled() && AcceptText) {
                    done = m_grid->DropRTF(pt, formats.GetRTF());
                } else if (formats.HasText() && AcceptText) {
                    done = m_grid->DropText(pt, formats.GetText());
                }
                QStringList files;
                if (formats.GetFileNames(files) && AcceptFiles)
                    done = m_grid->DropFiles(pt, files) || done;
            }
            m_grid->DragOverScroll(0, 0, true);
            m_grid->HideDropMarkers();
            // A refused drop, or one that took nothing, tells the source so: it keeps its cells.
            if (done) {
                e->setDropAction(effect(e, formats));
                e->accept();
            } else {
                e->setDropAction(Qt::IgnoreAction);
                e->ignore();
            }
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    bool accepts(const TEnumFormats& f) const
    {
        return (f.HasText() && AcceptText) || (f.HasFiles() && AcceptFiles)
               || (f.HasRTF() && DropRTFEnabled() && AcceptText) || (f.HasGridColumn() && AcceptColumns)
               || (f.HasGridColumn() && AcceptText);   // a column drag also announces text
    }
    static Qt::DropAction effect(const QDropEvent* e, const TEnumFormats& f)
    {
        if (f.HasFiles() || (e->modifiers() & Qt::ControlModifier))
            return Qt::CopyAction;   // no file manager deletes a dropped file
        return (e->possibleActions() & Qt::MoveAction) ? Qt::MoveAction : Qt::CopyAction;
    }
    TZedEzeravIvur* m_grid;
    bool m_accepted = false;
};

// ------------------------------------------------------------------ settings

void TDragDropSettings::SetOleDropTarget(bool value)
{
    OleDropTarget = value;
    if (auto* g = qobject_cast<TZedEzeravIvur*>(Grid()); g && !GridDesigning())
        g->RegisterDropTarget(value);
}

void TDragDropSettings::SetOleDropRTF(bool value)
{
    OleDropRTF = value;
    SetDropRTFEnabled(value);
}

void TZedEzeravIvur::RegisterDropTarget(bool on)
{
    if (on && !m_dropTarget) {
        m_dropTarget = new TGridDropTarget(this);
        viewport()->installEventFilter(m_dropTarget);
    } else if (!on && m_dropTarget) {
        viewport()->removeEventFilter(m_dropTarget);
        delete m_dropTarget;
        m_dropTarget = nullptr;
    }
    if (m_dropTarget) {
        m_dropTarget->AcceptText = DragDropSettings()->OleAcceptText;
        m_dropTarget->AcceptFiles = DragDropSettings()->OleAcceptFiles;
    }
    viewport()->setAcceptDrops(on);
}

// ------------------------------------------------------------------ target

void TZedEzeravIvur::DragMouseMove(QPoint pt, bool& allow, bool columnDrag)
{
    const tk::TGridCoord cell = MouseCoord(pt.x(), pt.y());
    allow = cell.X >= 0 && cell.Y >= 0;
    if (allow) {
        if (!columnDrag && cell.Y < FixedRows() && !(RowCount() == 1 && FixedRowAlways()))
            allow = false;
        if (columnDrag && (cell.Y >= FixedRows() || cell.X < FixedCols()))
            allow = false;
    }
    if (allow && OnOleDragOver)
        OnOleDragOver(this, cell.Y, cell.X, allow);
    HideDropMarkers();
    if (!allow)
        return;
    auto place = [this](TArrowWindow* arrow, QPoint viewportPoint) {
        if (!arrow)
            return;
        QWidget* parent = arrow->parentWidget();
        const QPoint global = viewport()->mapToGlobal(viewportPoint);
        arrow->move(parent ? parent->mapFromGlobal(global) : global);
        arrow->show();
        arrow->raise();
    };
    if (columnDrag) {
        // A pair at the column's left edge: above the cell pointing down, below it pointing up.
        const QRect r = CellRect(cell.X, cell.Y);
        place(ArrowWindow(1), QPoint(r.left(), r.top() - 8));
        place(ArrowWindow(0), QPoint(r.left(), r.bottom()));
    } else {
        int row = cell.Y;
        if (row == 0 && FixedRowAlways())
            row = 1;
        const int col = DragDropSettings()->OleEntireRows ? FixedCols() : cell.X;
        const QRect r = CellRect(col, row);
        place(ArrowWindow(2), QPoint(r.left() - 10, r.top()));
    }
}

void TZedEzeravIvur::HideDropMarkers()
{
    for (int d = 0; d < 4; ++d)
        if (TArrowWindow* a = ArrowWindow(d))
            a->hide();
}

bool TZedEzeravIvur::DropText(QPoint pt, const QString& text)
{
    const tk::TGridCoord cell = MouseCoord(pt.x(), pt.y());
    int col = cell.X, row = cell.Y;
    if (col < 0 || row < 0)
        return false;
    int cols = 0, breaks = 0;
    GetTextDimensions(text, cols, breaks);
    const bool rowSelect = (GridOptions() & tk::goRowSelect) != 0;
    TDragDropSettings* dd = DragDropSettings();
    if (rowSelect)
        col = dd->OleEntireRows ? 0 : FixedCols();
    bool allow = true;
    if (OnOleDrop)
        OnOleDrop(this, row, col, text, allow);
    if (!allow)
        return false;
    const bool fromHere = g_dragSource == this;
    tk::TGridRect& src = m_dragSourceRect;
    // A drop inside the dragged block does nothing.
    if (fromHere && col >= src.Left && col <= src.Right && row >= src.Top && row <= src.Bottom)
        return false;
    if (row == 0 && FixedRowAlways() && RowCount() == 1)
        row = 1;
    if (dd->OleInsertRows) {
        const int top = TopRow();
        InsertRows(row, breaks + 1);
        // The dragged rows moved down when the new rows went in at or above them.
        if (fromHere && row <= src.Top) {
            src.Top += breaks + 1;
            src.Bottom += breaks + 1;
        }
        SetTopRow(std::min(top > FixedRows() ? top + 1 : top, std::max(FixedRows(), RowCount() - 1)));
    }
    m_lastDropRect = tk::TGridRect{std::max(col, FixedCols()), row, std::max(col, FixedCols()) + cols - 1, row + breaks};
    if (rowSelect)
        m_lastDropRect.Right -= FixedCols() - 1;
    const int pasted = PasteTextAt(col, row, text);
    if (pasted <= 0)
        return false;
    SetSelection(m_lastDropRect);
    m_dropHappened = true;
    if (OnOleDropped)
        OnOleDropped(this, m_lastDropRect);
    return true;
}

bool TZedEzeravIvur::DropRTF(QPoint pt, const QString& rtf)
{
    const tk::TGridCoord cell = MouseCoord(pt.x(), pt.y());
    if (cell.X < 0 || cell.Y < 0)
        return false;
    bool allow = true;
    if (OnOleDrop)
        OnOleDrop(this, cell.Y, cell.X, rtf, allow);
    if (!allow)
        return false;
    SetCellText(RealColIndex(cell.X), cell.Y, rtf);
    return true;
}

void TZedEzeravIvur::DropColumn(QPoint pt, int column)
{
    const tk::TGridCoord cell = MouseCoord(pt.x(), pt.y());
    if (OnOleDropCol)
        OnOleDropCol(this, cell.Y, cell.X, column);
}

bool TZedEzeravIvur::DropFiles(QPoint pt, const QStringList& files)
{
    if (files.size() != 1)
        return false;   // only a single file is handled
    const QString& file = files.front();
    const tk::TGridCoord cell = MouseCoord(pt.x(), pt.y());
    bool allow = true;
    if (OnOleDropFile)
        OnOleDropFile(this, cell.Y, cell.X, file, allow);
    if (!allow)
        return false;
    // The kind is sought in the file's name, not in its folders.
    const QString name = file.section(QLatin1Char('/'), -1).toUpper();
    const bool csv = name.contains(QLatin1String(".CSV"));
    const bool xls = !csv && name.contains(QLatin1String(".XLS"));
    if (!csv && !xls)
        return false;
    if (OnOleDrop)
        OnOleDrop(this, -1, -1, file, allow);
    if (!allow)
        return false;
    if (csv)
        LoadFromCSV(file);
    else
        LoadFromXLS(file);
    return true;
}

// ------------------------------------------------------------------ source

TZedEzeravIvur::TDragExecutor& TZedEzeravIvur::DragExecutor()
{
    static TDragExecutor executor = [](QMimeData* data, Qt::DropActions allowed, TZedEzeravIvur* source,
                                       const QPixmap& pixmap, QPoint hotSpot) {
        auto* drag = new QDrag(source);
        drag->setMimeData(data);
        if (!pixmap.isNull()) {
            drag->setPixmap(pixmap);
            drag->setHotSpot(hotSpot);
        }
        return drag->exec(allowed, Qt::MoveAction);
    };
    return executor;
}

QString TZedEzeravIvur::SelectionToDragText()
{
    tk::TGridRect sel = Selection();
    const bool rowSelect = (GridOptions() & tk::goRowSelect) != 0;
    if (rowSelect && DragDropSettings()->OleEntireRows) {
        sel.Left = 0;
        sel.Right = ColCount() - 1;
    }
    std::vector<int> rows;
    TMouseActions* ma = MouseActions();
    if (ma->DisjunctRowSelect()) {
        for (int r = FixedRows(); r < RowCount(); ++r)
            if (RowSelected(ma->RowSelectPersistent ? RealRowIndex(r) : r))
                rows.push_back(r);
    } else {
        for (int r = sel.Top; r <= sel.Bottom; ++r)
            rows.push_back(r);
    }
    QString out;
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int c = sel.Left; c <= sel.Right; ++c) {
            if (c > sel.Left)
                out += QLatin1Char('\t');
            // A rich-text cell is offered as its plain text (the rich text travels on its own).
            const QString& stored = Cells(RealColIndex(c), rows[i]);
            out += CopyField(stored.contains(QLatin1String("{\\")) ? RichCellPlainText(stored) : stored, true);
        }
        if (rows[i] != sel.Bottom)
            out += QLatin1String("\r\n");
    }
    return out;
}

bool TZedEzeravIvur::StartOleDrag(int col, int row, bool* refused)
{
    bool allow = true;
    const int realCol = RealColIndex(col);
    if (OnOleDrag)
        OnOleDrag(this, row, realCol, Cells(realCol, row), allow);
    if (refused)
        *refused = !allow;
    if (!allow)
        return false;
    if (OnOleDragStart)
        OnOleDragStart(this, row, realCol);
    TDragDropSettings* dd = DragDropSettings();
    g_dragSource = this;
    const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction;
    if (row < FixedRows() && col >= 0 && col < ColCount() && dd->OleColumnDragDrop) {
        // The header cell rides along, its bottom-left corner at the pointer.
        QPixmap pixmap;
        QPoint hot;
        if (TPopupButton* button = PopupButton()) {
            button->SetCaption(Cells(realCol, row));
            button->resize(ColWidths(col), RowHeights(0));
            pixmap = button->grab();
            hot = QPoint(0, pixmap.height() - 1);
        }
        const Qt::DropAction effect = DragExecutor()(MakeColumnDragData(realCol), allowed, this, pixmap, hot);
        g_dragSource = nullptr;
        if (effect != Qt::IgnoreAction && OnOleDragStop)
            OnOleDragStop(this, int(effect));
        return effect != Qt::IgnoreAction;
    }
    m_dragSourceRect = Selection();
    m_dropHappened = false;
    const QString text = SelectionToDragText();
    const Qt::DropAction effect =
        DragExecutor()(MakeTextDragData(text, Cells(realCol, row)), allowed, this, QPixmap(), QPoint());
    const bool droppedHere = m_dropHappened;
    g_dragSource = nullptr;
    if (effect == Qt::IgnoreAction)
        return false;   // cancelled: the source stays as it was
    if (effect == Qt::MoveAction) {
        const tk::TGridRect src = m_dragSourceRect;
        const bool rowSelect = (GridOptions() & tk::goRowSelect) != 0;
        if (dd->OleRemoveRows && rowSelect) {
            RemoveRows(src.Top, src.Bottom - src.Top + 1);
        } else if (!dd->OleCopyAlways) {
            // Only the source cells the drop did not cover are cleared.
            const tk::TGridRect& covered = m_lastDropRect;
            for (int r = src.Top; r <= src.Bottom; ++r)
                for (int c = src.Left; c <= src.Right; ++c) {
                    const bool keep = droppedHere && c >= covered.Left && c <= covered.Right && r >= covered.Top
                                      && r <= covered.Bottom;
                    if (!keep)
                        SetCellText(RealColIndex(c), r, QString());
                }
            CellsChanged(QRect(QPoint(RealColIndex(src.Left), src.Top), QPoint(RealColIndex(src.Right), src.Bottom)));
        }
    }
    if (OnOleDragStop)
        OnOleDragStop(this, int(effect));
    return true;
}

} // namespace grid
