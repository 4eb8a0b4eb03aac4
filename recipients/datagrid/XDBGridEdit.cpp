#include "recipients/datagrid/XDBGridEdit.h"

#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridPickText.h"
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <limits>

namespace xdb {

// ================================================================== TXPopupListBox

TXPopupListBox::TXPopupListBox(TXCustomDBGrid* grid)
    : QListWidget(nullptr), m_grid(grid)
{
    setObjectName(QStringLiteral("PopupListBox"));
    // A top-most tool window that never takes the focus from the editor.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // A frame of two pixels on every side, drawn by the list itself (see event()).
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(2, 2, 2, 2);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_clock.start();
}

int TXPopupListBox::ItemHeight() const
{
    return fontMetrics().height() + 2;
}

void TXPopupListBox::SetItems(const QStringList& items)
{
    clear();
    addItems(items);
    const int h = ItemHeight();
    for (int i = 0; i < count(); ++i)
        item(i)->setSizeHint(QSize(0, h));
}

void TXPopupListBox::SearchKey(int key, QChar ch, qint64 nowMs)
{
    if (key == Qt::Key_Backspace || key == Qt::Key_Escape) {
        m_searchText.clear();
        return;
    }
    if (ch.isNull() || !ch.isPrint())
        return;
    if (nowMs - m_lastKey > 2000)
        m_searchText.clear();
    m_lastKey = nowMs;
    if (m_searchText.size() < 32)
        m_searchText += ch;
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text().startsWith(m_searchText, Qt::CaseInsensitive)) {
            setCurrentRow(i);
            break;
        }
    }
}

void TXPopupListBox::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    const int key = event->key();
    if (key == Qt::Key_Backspace || key == Qt::Key_Escape || (!t.isEmpty() && t.at(0).isPrint() &&
                                                             !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))) {
        SearchKey(key, t.isEmpty() ? QChar() : t.at(0), m_clock.elapsed());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TXPopupListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    if (inside) {
        if (QListWidgetItem* it = itemAt(viewport()->mapFrom(this, event->position().toPoint())))
            setCurrentItem(it);
    }
    if (OnCloseUp)
        OnCloseUp(inside);
}

void TXPopupListBox::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
}

bool TXPopupListBox::event(QEvent* event)
{
    if (event->type() != QEvent::Paint)
        return QListWidget::event(event);
    // The frame follows the grid's list border: lbGray a sunken inner edge left and top and a
    // raised outer edge right and bottom, lbMild a sunken outer edge left and top and a raised
    // inner edge right and bottom, lbDefault a plain frame.
    const TListBorder border = m_grid ? m_grid->GetListBorder() : lbDefault;
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor shadow = pal.color(QPalette::Mid);
    const QColor dark = pal.color(QPalette::Shadow);
    const QColor light = pal.color(QPalette::Light);
    QColor outerTL = dark, innerTL = face, outerBR = dark, innerBR = face;
    if (border == lbGray) {
        outerTL = face;
        innerTL = dark;
        outerBR = dark;
        innerBR = light;
    } else if (border == lbMild) {
        outerTL = shadow;
        innerTL = face;
        outerBR = face;
        innerBR = shadow;
    }
    QPainter p(this);
    const QRect r = rect();
    auto edges = [&p](const QRect& rr, const QColor& tl, const QColor& br) {
        p.setPen(tl);
        p.drawLine(rr.topLeft(), rr.topRight());
        p.drawLine(rr.topLeft(), rr.bottomLeft());
        p.setPen(br);
        p.drawLine(rr.bottomLeft(), rr.bottomRight());
        p.drawLine(rr.topRight(), rr.bottomRight());
    };
    edges(r, outerTL, outerBR);
    edges(r.adjusted(1, 1, -1, -1), innerTL, innerBR);
    return true;
}

// ================================================================== TXInplaceEditList

TXInplaceEditList::TXInplaceEditList(tk::TCustomGrid* grid)
    : tk::TInplaceEdit(grid)
{
    m_buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    setMouseTracking(true);
    // The edit limit restricts typing only; text set by the program is never cut.
    setMaxLength(std::numeric_limits<int>::max());
}

TXInplaceEditList::~TXInplaceEditList()
{
    qApp->removeEventFilter(this);
    delete m_pickList;
}

TXPopupListBox* TXInplaceEditList::PickList()
{
    if (!m_pickList) {
        auto* db = qobject_cast<TXCustomDBGrid*>(Grid());
        m_pickList = new TXPopupListBox(db);
        m_pickList->hide();
        m_pickList->OnCloseUp = [this](bool accept) { CloseUp(accept); };
    }
    return m_pickList;
}

void TXInplaceEditList::SetEditStyle(TEditStyle value)
{
    if (value == m_editStyle)
        return;
    m_editStyle = value;
    BoundsChanged();
    update();
}

QRect TXInplaceEditList::ButtonRect() const
{
    if (m_editStyle == esSimple)
        return QRect();
    if (layoutDirection() == Qt::RightToLeft)
        return QRect(0, 0, m_buttonWidth, height());
    return QRect(width() - m_buttonWidth, 0, m_buttonWidth, height());
}

void TXInplaceEditList::BoundsChanged()
{
    int left = 0, right = 0;
    if (m_editStyle != esSimple) {
        if (layoutDirection() == Qt::RightToLeft)
            left = m_buttonWidth - 2;
        else
            right = m_buttonWidth;
    }
    setTextMargins(left, 0, right, 0);
}

void TXInplaceEditList::UpdateContents()
{
    // The toolkit's contents without its maximum length (see InsertLimited).
    tk::TCustomGrid* g = Grid();
    m_editLimit = g->GetEditLimit();
    const QString text = g->GetEditText(g->Col(), g->Row());
    if (text != this->text())
        setText(text);
}

void TXInplaceEditList::SelectAllText()
{
    selectAll();
}

void TXInplaceEditList::DoGetPickListItems()
{
    if (m_pickListLoaded)
        return;
    QStringList items = PickListItems();
    if (OnGetPickListItems)
        OnGetPickListItems(Grid()->Col(), Grid()->Row(), items);
    PickList()->SetItems(items);
    m_pickListLoaded = true;
}

void TXInplaceEditList::DropDown()
{
    if (m_listVisible || !m_activeList)
        return;
    TXPopupListBox* list = m_activeList;
    int width = std::max(m_dropDownWidth, this->width() + 2);
    if (list == m_pickList || list == PickList()) {
        DoGetPickListItems();
        list->setPalette(palette());
        list->setFont(font());
        const int ih = list->ItemHeight();
        const int n = list->count();
        const int h = (m_dropDownRows > 0 && n >= m_dropDownRows) ? ih * m_dropDownRows + 4 : ih * n + 4;
        list->setFixedHeight(h);
        // The item equal to the text is selected (none for an empty text).
        list->clearSelection();
        list->setCurrentRow(-1);
        if (!text().isEmpty()) {
            for (int i = 0; i < n; ++i) {
                if (list->item(i)->text() == text()) {
                    list->setCurrentRow(i);
                    break;
                }
            }
        }
        // The client width grows to the widest item text + 5.
        int widest = 0;
        const QFontMetrics fm(list->font());
        for (int i = 0; i < n; ++i)
            widest = std::max(widest, fm.horizontalAdvance(list->item(i)->text()));
        const int frame = 4;
        const int bar = n > m_dropDownRows && m_dropDownRows > 0 ? list->verticalScrollBar()->sizeHint().width() : 0;
        width = std::max(width, widest + 5 + frame + bar);
    }
    list->setFixedWidth(width);
    // Placement: under the editor, above it when it does not fit below, else at the bottom of the
    // work area.
    const QPoint topLeft = mapToGlobal(QPoint(-1, height()));
    QScreen* screen = this->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
    int h = std::min(list->height(), work.height());
    if (h != list->height())
        list->setFixedHeight(h);
    int y = topLeft.y();
    if (y + h > work.bottom() + 1) {
        const int above = mapToGlobal(QPoint(0, 0)).y() - h;
        y = above >= work.top() ? above : work.bottom() + 1 - h;
    }
    list->move(topLeft.x(), y);
    // The list's bar takes the grid's scroll bar look.
    if (auto* g = qobject_cast<TXCustomDBGrid*>(Grid()))
        g->UpdateScrollBarLook();
    list->show();
    m_listVisible = true;
    qApp->installEventFilter(this);
    update();
}

void TXInplaceEditList::CloseUp(bool accept)
{
    if (!m_listVisible)
        return;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    QString value;
    bool chosen = false;
    if (m_activeList && m_activeList->currentItem() && m_activeList->currentItem()->isSelected()) {
        value = m_activeList->currentItem()->text();
        chosen = true;
    }
    if (m_activeList)
        m_activeList->hide();
    m_listVisible = false;
    qApp->removeEventFilter(this);
    update();
    if (accept && chosen && value != text()) {
        setText(value);
        setModified(true);
        Grid()->SetEditText(Grid()->Col(), Grid()->Row(), value);
    }
}

void TXInplaceEditList::DoEditButtonClick()
{
    if (OnEditButtonClick)
        OnEditButtonClick(this);
}

void TXInplaceEditList::DoDropDownKeys(int& key, tk::TShiftState shift)
{
    const bool alt = shift & tk::ssAlt;
    const bool ctrl = shift & tk::ssCtrl;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) {
            if (m_listVisible)
                CloseUp(true);
            else
                DropDown();
            key = 0;
        } else if (m_listVisible && !alt) {
            CloseUp(true);
            key = 0;
        }
        break;
    case Qt::Key_Escape:
        if (m_listVisible && !alt) {
            CloseUp(false);
            key = 0;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (alt) {
            if (m_listVisible)
                CloseUp(true);
            else
                DropDown();
            key = 0;
        }
        break;
    case Qt::Key_F2:
        if (!alt && !ctrl) {
            if (m_listVisible)
                CloseUp(true);
            else
                DropDown();
            key = 0;
        }
        break;
    default:
        break;
    }
}

void TXInplaceEditList::KeyDown(int& key, tk::TShiftState shift)
{
    if (m_editStyle == esEllipsis || m_editStyle == esDropDown) {
        const bool ctrlEnter = (shift & tk::ssCtrl) && (key == Qt::Key_Return || key == Qt::Key_Enter);
        const bool f2 = key == Qt::Key_F2 && !(shift & (tk::ssAlt | tk::ssCtrl));
        if (ctrlEnter || f2) {
            key = 0;
            DoEditButtonClick();
            return;
        }
    }
    // Keys the grid handles itself.
    tk::TCustomGrid* g = Grid();
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Escape:
        g->EditorKeyDown(key, shift);
        key = 0;
        break;
    case Qt::Key_Insert:
        if (shift == 0) {
            g->EditorKeyDown(key, shift);
            key = 0;
        }
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(shift & tk::ssAlt)) {
            g->EditorKeyDown(key, shift);
            key = 0;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End: {
        // At the edge of the text (nothing selected) the grid moves to the next cell.
        const bool atStart = cursorPosition() == 0 && !hasSelectedText();
        const bool atEnd = cursorPosition() == text().size() && !hasSelectedText();
        const bool toParent = (shift & tk::ssCtrl) ||
                              ((key == Qt::Key_Left || key == Qt::Key_Home) && atStart && !(shift & tk::ssShift)) ||
                              ((key == Qt::Key_Right || key == Qt::Key_End) && atEnd && !(shift & tk::ssShift));
        if (toParent && (key == Qt::Key_Left || key == Qt::Key_Right || (shift & tk::ssCtrl))) {
            g->EditorKeyDown(key, shift);
            key = 0;
        }
        break;
    }
    case Qt::Key_Delete:
        if (shift & tk::ssCtrl) {
            g->EditorKeyDown(key, shift);
            key = 0;
        } else if (!g->CanEditModify()) {
            key = 0;
        }
        break;
    case Qt::Key_F2:
        // F2 in the editor only drops the selection.
        deselect();
        key = 0;
        break;
    default:
        break;
    }
}

void TXInplaceEditList::KeyPress(QChar& key)
{
    tk::TCustomGrid* g = Grid();
    g->EditorKeyPress(key);
    if (key.isNull())
        return;
    const ushort c = key.unicode();
    if (key.isPrint() && !g->CanEditAcceptKey(key)) {
        QApplication::beep();
        key = QChar();
        return;
    }
    switch (c) {
    case 9:
    case 27:
        key = QChar();
        break;
    case 13:
        selectAll();
        key = QChar();
        break;
    case 8:
    case 22:
    case 24:
        if (isReadOnly() || !g->CanEditModify())
            key = QChar();
        break;
    default:
        if (key.isPrint() && (isReadOnly() || !g->CanEditModify()))
            key = QChar();
        break;
    }
}

bool TXInplaceEditList::InsertLimited(const QString& inserted)
{
    QString t = inserted;
    if (m_editLimit > 0) {
        const qsizetype room = m_editLimit - (text().size() - selectedText().size());
        if (room <= 0)
            return false;
        if (t.size() > room)
            t.truncate(room);
    }
    insert(t);
    return true;
}

void TXInplaceEditList::PassToList(QKeyEvent* event)
{
    if (!m_activeList)
        return;
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(), event->isAutoRepeat(),
                   ushort(event->count()));
    QApplication::sendEvent(m_activeList, &copy);
}

void TXInplaceEditList::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    int key = event->key();
    const tk::TShiftState shift = tk::ShiftStateOf(event->modifiers());
    m_keypad = event->modifiers() & Qt::KeypadModifier;
    // Key-down stage.
    if (m_editStyle == esPickList || m_editStyle == esDropDown) {
        DoDropDownKeys(key, shift);
        if (key == 0)
            return;                 // handled: neither the grid nor the text sees it
        if (m_listVisible) {
            PassToList(event);
            return;
        }
    }
    if (event->matches(QKeySequence::Paste)) {
        if (!isReadOnly() && Grid()->CanEditModify()) {
            const QString clip = QApplication::clipboard()->text().section(QLatin1Char('\n'), 0, 0);
            if (!clip.isEmpty() && InsertLimited(clip))
                Grid()->SetEditText(Grid()->Col(), Grid()->Row(), text());
        }
        return;
    }
    KeyDown(key, shift);
    if (key == 0)
        return;
    // Key-press stage: the character of the key.
    QString t = event->text();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        t = QStringLiteral("\r");
    if (t.isEmpty() || ((shift & tk::ssAlt))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QChar ch = t.at(0);
    KeyPress(ch);
    if (ch.isNull())
        return;
    if (ch.isPrint() && !(shift & tk::ssCtrl)) {
        if (isReadOnly())
            return;
        if (InsertLimited(QString(ch)))
            Grid()->SetEditText(Grid()->Col(), Grid()->Row(), text());
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TXInplaceEditList::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    selectAll();
}

void TXInplaceEditList::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    CloseUp(false);
}

bool TXInplaceEditList::eventFilter(QObject* watched, QEvent* event)
{
    // A press outside the editor and its list closes the list.
    if (m_listVisible && event->type() == QEvent::MouseButtonPress) {
        QWidget* w = qobject_cast<QWidget*>(watched);
        if (w && w != this && w != m_activeList && !(m_activeList && m_activeList->isAncestorOf(w)))
            CloseUp(false);
    }
    return tk::TInplaceEdit::eventFilter(watched, event);
}

void TXInplaceEditList::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    BoundsChanged();
}

void TXInplaceEditList::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    if (m_editStyle == esSimple)
        return;
    QPainter p(this);
    const QRect r = ButtonRect();
    if (m_editStyle == esEllipsis) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state |= m_pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        if (m_mouseInButton)
            opt.state |= QStyle::State_MouseOver;
        style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
        // Three square dots: the width / 8 (at least 1), at the centre and 2 dot widths apart.
        const int d = m_buttonWidth >= 8 ? m_buttonWidth / 8 : 1;
        const int shiftPx = m_pressed ? 1 : 0;
        const int cx = r.left() + (r.width() - d) / 2 + shiftPx;
        const int cy = r.top() + (r.height() - d) / 2 + shiftPx;
        for (int i = -1; i <= 1; ++i)
            p.fillRect(QRect(cx + i * 2 * d, cy, d, d), Qt::black);
    } else {
        QStyleOptionComboBox opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.subControls = QStyle::SC_ComboBoxArrow;
        opt.activeSubControls = m_pressed ? QStyle::SC_ComboBoxArrow : QStyle::SC_None;
        if (m_pressed)
            opt.state |= QStyle::State_Sunken;
        if (m_editStyle == esPickList && (!m_activeList))
            opt.state &= ~QStyle::State_Enabled;
        QStyleOptionButton bevel;
        bevel.initFrom(this);
        bevel.rect = r;
        bevel.state |= m_pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &bevel, &p, this);
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = r.adjusted(3, 3, -3, -3).translated(m_pressed ? 1 : 0, m_pressed ? 1 : 0);
        if (!(opt.state & QStyle::State_Enabled))
            arrow.state &= ~QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
    }
}

bool TXInplaceEditList::event(QEvent* event)
{
    if (event->type() == QEvent::Leave && m_mouseInButton) {
        m_mouseInButton = false;
        update(ButtonRect());
    }
    return tk::TInplaceEdit::event(event);
}

void TXInplaceEditList::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && m_editStyle != esSimple && ButtonRect().contains(pos)) {
        if (m_listVisible) {
            CloseUp(false);
        } else {
            grabMouse();
            m_tracking = true;
            m_pressed = true;
            update(ButtonRect());
            if (m_editStyle == esPickList || m_editStyle == esDropDown)
                DropDown();
        }
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void TXInplaceEditList::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const bool inButton = m_editStyle != esSimple && ButtonRect().contains(pos);
    setCursor(inButton ? Qt::ArrowCursor : Qt::IBeamCursor);
    if (inButton != m_mouseInButton) {
        m_mouseInButton = inButton;
        update(ButtonRect());
    }
    if (m_tracking) {
        const bool pressed = ButtonRect().contains(pos);
        if (pressed != m_pressed) {
            m_pressed = pressed;
            update(ButtonRect());
        }
        if (m_listVisible && m_activeList) {
            const QPoint g = mapToGlobal(pos);
            const QPoint inList = m_activeList->mapFromGlobal(g);
            if (m_activeList->rect().contains(inList)) {
                // The user drags into the list: the list takes over the mouse.
                m_tracking = false;
                m_pressed = false;
                releaseMouse();
                update(ButtonRect());
                const QPoint vp = m_activeList->viewport()->mapFromGlobal(g);
                if (QListWidgetItem* it = m_activeList->itemAt(vp))
                    m_activeList->setCurrentItem(it);
                m_activeList->grabMouse();
            }
        }
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void TXInplaceEditList::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_tracking) {
        const bool wasPressed = m_pressed;
        m_tracking = false;
        m_pressed = false;
        releaseMouse();
        update(ButtonRect());
        if (wasPressed && (m_editStyle == esEllipsis || m_editStyle == esDropDown))
            DoEditButtonClick();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TXInplaceEditList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_editStyle != esSimple && ButtonRect().contains(event->position().toPoint()))
        return;
    const QString before = text();
    DblClick();
    // Nothing chosen: the line edit's own double click (selecting a word).
    if (m_editStyle == esSimple && text() == before)
        QLineEdit::mouseDoubleClickEvent(event);
}

void TXInplaceEditList::contextMenuEvent(QContextMenuEvent* event)
{
    // Paste, cut and delete of the menu change the cell like typing: the grid is asked first, and
    // a cell that may not change gets a read-only menu.
    const bool readOnly = isReadOnly();
    if (!readOnly && !Grid()->CanEditModify())
        setReadOnly(true);
    QLineEdit::contextMenuEvent(event);
    setReadOnly(readOnly);
}

void TXInplaceEditList::DblClick()
{
    if (m_editStyle == esPickList) {
        DoGetPickListItems();
        TXPopupListBox* list = PickList();
        if (list->count() == 0)
            return;
        int i = -1;
        for (int k = 0; k < list->count(); ++k)
            if (list->item(k)->text() == text())
                i = k;
        i = (i + 1) % list->count();
        const QString value = list->item(i)->text();
        setText(value);
        setModified(true);
        Grid()->SetEditText(Grid()->Col(), Grid()->Row(), value);
        selectAll();
    } else if (m_editStyle == esEllipsis || m_editStyle == esDropDown) {
        DoEditButtonClick();
    }
}

// ================================================================== TXDBGridInplaceEdit

TXDBGridInplaceEdit::TXDBGridInplaceEdit(TXCustomDBGrid* grid)
    : TXInplaceEditList(grid), m_dbGrid(grid)
{
}

TXColumn* TXDBGridInplaceEdit::Column() const
{
    const int dc = m_dbGrid->SelectedIndex();
    return dc >= 0 && dc < m_dbGrid->Columns()->Count() ? m_dbGrid->Columns()->Items(dc) : nullptr;
}

// ------------------------------------------------------------------ the lookup list

void TXPopupDataList::Fill(db::TDataSet* lookup, const QString& keyField, const QString& listField,
                           const QVariant& keyValue)
{
    clear();
    if (!lookup || !lookup->Active())
        return;
    db::TField* key = lookup->FieldByName(keyField);
    db::TField* shown = lookup->FieldByName(listField);
    const db::TBookmark keep = lookup->GetBookmark();
    lookup->DisableControls();
    try {
        for (lookup->First(); !lookup->Eof(); lookup->Next()) {
            auto* item = new QListWidgetItem(shown->DisplayText(), this);
            item->setData(Qt::UserRole, key->Value());
            if (!keyValue.isNull() && key->Value() == keyValue)
                setCurrentItem(item);
        }
        if (!keep.isEmpty())
            lookup->GotoBookmark(keep);
    } catch (...) {
        lookup->EnableControls();
        throw;
    }
    lookup->EnableControls();
}

QVariant TXPopupDataList::KeyValue() const
{
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole) : QVariant();
}

TXPopupDataList* TXDBGridInplaceEdit::LookupList()
{
    if (!m_lookupList) {
        auto* list = new TXPopupDataList(m_dbGrid);
        list->setObjectName(QStringLiteral("PopupDataList"));
        list->hide();
        list->OnCloseUp = [this](bool accept) { CloseUp(accept); };
        connect(this, &QObject::destroyed, [list] { delete list; });
        m_lookupList = list;
    }
    return m_lookupList;
}

db::TField* TXDBGridInplaceEdit::LookupKeyField() const
{
    TXColumn* c = Column();
    db::TField* f = c ? c->Field() : nullptr;
    if (!f || !f->Lookup() || !f->DataSet())
        return nullptr;
    db::TField* key = f->DataSet()->FindField(f->KeyFields());
    if (!key || !key->CanModify() || c->ReadOnly() || f->ReadOnly())
        return nullptr;
    TXGridDataLink* link = m_dbGrid->DataLink();
    if (!link->Active() || link->ReadOnly())
        return nullptr;
    return key;
}

QStringList TXDBGridInplaceEdit::PickListItems()
{
    TXColumn* c = Column();
    if (!c)
        return {};
    return PickTextMapping(c) ? c->PickText().List() : c->PickList().List();
}

void TXDBGridInplaceEdit::UpdateContents()
{
    SetActiveList(nullptr);
    m_useLookupList = false;
    SetPickListLoaded(false);
    TXColumn* c = Column();
    // The edit style of the current cell.
    TEditStyle style = esSimple;
    if (c) {
        switch (c->ButtonStyle()) {
        case cbsEllipsis: style = esEllipsis; break;
        case cbsNone: style = esSimple; break;
        case cbsDropDown:
        case cbsDropDownMenu: style = esDropDown; break;
        case cbsAuto:
            if (c->Field() && c->Field()->Lookup()) {
                // A lookup field picks from its lookup dataset when its key can be set.
                m_useLookupList = LookupKeyField() != nullptr;
                style = m_useLookupList ? esPickList : esSimple;
            } else if (c->Field() && (PickTextMapping(c) || (c->PickList().Count() > 0 && !c->ReadOnly()))) {
                style = esPickList;
            } else if (c->Field() && c->Field()->DataType() == db::ftDataSet) {
                style = esEllipsis; // opens the nested dataset's grid
            }
            break;
        }
    }
    SetEditStyle(style);
    if (style == esPickList)
        SetActiveList(m_useLookupList ? static_cast<TXPopupListBox*>(LookupList()) : PickList());
    if (c)
        SetDropDownRows(c->DropDownRows());
    TXInplaceEditList::UpdateContents();
    setReadOnly(c && (c->ReadOnly() || (c->PickOptions() & poDropDownList)));
    // Colour: clNone keeps the editor's colour, clDefault gives the hint background.
    const TColor ec = m_dbGrid->EditorColor();
    if (ec != gfx::clNone) {
        QPalette pal = palette();
        pal.setColor(QPalette::Base, gfx::ToQColor(ec == gfx::clDefault ? gfx::clInfoBk : ec, &pal));
        setPalette(pal);
    }
    if (c)
        setFont(c->Font().Font());
    m_dbGrid->ApplyImeToEditor();
    const int col = m_dbGrid->Col(), row = m_dbGrid->Row();
    if (col != m_lastCol || row != m_lastRow) {
        m_lastCol = col;
        m_lastRow = row;
        if (c && (c->ListOptions() & loAutoDropDown) && style != esSimple) {
            QKeyEvent* f2 = new QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
            QApplication::postEvent(this, f2);
        }
    }
}

void TXDBGridInplaceEdit::DropDown()
{
    if (ListVisible())
        return;
    TXColumn* c = Column();
    if (c)
        SetDropDownWidth(c->DropDownWidth());
    if (m_useLookupList && c && c->Field()) {
        db::TField* f = c->Field();
        db::TField* key = LookupKeyField();
        TXPopupDataList* list = LookupList();
        list->setPalette(palette());
        list->setFont(font());
        list->Fill(f->LookupDataSet(), f->LookupKeyFields(), f->LookupResultField(), key ? key->Value() : QVariant());
        const int rows = std::max(1, std::min(c->DropDownRows(), std::max(1, list->count())));
        list->setFixedHeight(list->ItemHeight() * rows + 4);
    }
    TXInplaceEditList::DropDown();
}

void TXDBGridInplaceEdit::CloseUp(bool accept)
{
    if (!ListVisible())
        return;
    TXPopupListBox* list = ActiveList();
    QString value;
    bool chosen = false;
    if (list && list->currentItem() && list->currentItem()->isSelected()) {
        value = list->currentItem()->text();
        chosen = true;
    }
    if (m_useLookupList && list == m_lookupList) {
        // The lookup list sets the key field; the lookup field then shows the chosen record.
        const QVariant key = m_lookupList->KeyValue();
        TXInplaceEditList::CloseUp(false);
        db::TField* keyField = LookupKeyField();
        if (accept && chosen && keyField && m_dbGrid->DataLink()->Edit()) {
            keyField->SetValue(key);
            UpdateContents();
            selectAll();
        }
        return;
    }
    // Hides the list; the base writes only into the editor, the field is written here.
    TXInplaceEditList::CloseUp(false);
    if (accept && chosen && static_cast<tk::TCustomGrid*>(m_dbGrid)->CanEditModify()) {
        TXColumn* c = Column();
        if (c && c->Field()) {
            c->Field()->SetEditText(m_dbGrid->ColSetText(c, value));
            UpdateContents();
            selectAll();
        }
    }
}

void TXDBGridInplaceEdit::DoEditButtonClick()
{
    TXColumn* c = Column();
    if (c && c->ButtonStyle() == cbsDropDownMenu && c->DropDownMenu()) {
        c->DropDownMenu()->popup(mapToGlobal(QPoint(0, height())));
        return;
    }
    m_dbGrid->EditButtonClick();
}

bool TXDBGridInplaceEdit::SelectNextValue(bool next)
{
    TXColumn* c = Column();
    if (m_useLookupList && c && c->Field() && (c->ListOptions() & loSelectNextValue)) {
        db::TField* keyField = LookupKeyField();
        db::TDataSet* lookup = c->Field()->LookupDataSet();
        if (!keyField || !lookup || !lookup->Active() || !m_dbGrid->DataLink()->Edit())
            return false;
        const QString lookupKey = c->Field()->LookupKeyFields();
        if (lookup->Locate(lookupKey, keyField->Value())) {
            if (next) {
                lookup->Next();
                if (lookup->Eof())
                    lookup->First();
            } else {
                lookup->Prior();
                if (lookup->Bof() && lookup->RecNo() == 1 && lookup->FieldByName(lookupKey)->Value() == keyField->Value())
                    lookup->Last();
            }
        } else if (next) {
            lookup->First();
        } else {
            lookup->Last();
        }
        if (!lookup->IsEmpty())
            keyField->SetValue(lookup->FieldByName(lookupKey)->Value());
        UpdateContents();
        selectAll();
        return true;
    }
    if (!c || !c->Field() || !(c->ListOptions() & loSelectNextValue))
        return false;
    if (EditStyle() != esPickList || !static_cast<tk::TCustomGrid*>(m_dbGrid)->CanEditModify())
        return false;
    const tk::TStringList& items = PickTextMapping(c) ? c->PickText() : c->PickList();
    const int n = items.Count();
    if (n == 0)
        return false;
    int i = items.IndexOf(text());
    if (next)
        i = i + 1 >= n ? 0 : i + 1;
    else
        i = i - 1 < 0 ? n - 1 : i - 1;
    c->Field()->SetEditText(m_dbGrid->ColSetText(c, items[i]));
    UpdateContents();
    selectAll();
    return true;
}

bool TXDBGridInplaceEdit::ClearValue()
{
    TXColumn* c = Column();
    if (!c || !c->Field() || text().isEmpty() || selectedText() != text())
        return false;
    if (m_useLookupList) {
        db::TField* keyField = LookupKeyField();
        if (!(c->ListOptions() & loAllowClearValue) || !keyField || !m_dbGrid->DataLink()->Edit())
            return false;
        keyField->SetEditText(QString());
        UpdateContents();
        selectAll();
        return true;
    }
    if (!(c->ListOptions() & loAllowClearValue) || !(c->PickOptions() & poDropDownList) ||
        !static_cast<tk::TCustomGrid*>(m_dbGrid)->CanEditModify())
        return false;
    c->Field()->SetEditText(m_dbGrid->ColSetText(c, QString()));
    UpdateContents();
    selectAll();
    return true;
}

void TXDBGridInplaceEdit::KeyDown(int& key, tk::TShiftState shift)
{
    const bool plain = !(shift & (tk::ssAlt | tk::ssCtrl));
    if (plain && (key == Qt::Key_Plus || key == Qt::Key_Minus) && KeypadKey()) {
        if (SelectNextValue(key == Qt::Key_Plus)) {
            key = 0;
            return;
        }
    }
    if (plain && key == Qt::Key_Delete && ClearValue()) {
        key = 0;
        return;
    }
    TXInplaceEditList::KeyDown(key, shift);
}

void TXDBGridInplaceEdit::KeyPress(QChar& key)
{
    TXInplaceEditList::KeyPress(key);
    if (!m_dbGrid->EditorMode())
        ForgetLastCell();
}

void TXDBGridInplaceEdit::DblClick()
{
    if (SelectNextValue(true))
        return;
    TXInplaceEditList::DblClick();
}

bool TXDBGridInplaceEdit::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        m_dbGrid->ShowEditorHint(static_cast<QHelpEvent*>(event)->globalPos(), this);
        return true;
    }
    return TXInplaceEditList::event(event);
}

} // namespace xdb
