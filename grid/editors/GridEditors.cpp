#include "grid/editors/GridEditors.h"

#include "platform/graphics/Graphics.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace grid::editors {

namespace {
bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

void sendKeyTo(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent e(type, key, modifiers);
    QCoreApplication::sendEvent(target, &e);
}
} // namespace

// ================================================================== TGridEditorLink

bool TGridEditorLink::Commit(QLineEdit* edit, bool keepCaret)
{
    m_host->SetInplaceEditText(edit->text());
    if (!m_host->ValidateCell(edit->text())) {
        if (!keepCaret) {
            edit->setText(m_host->GetInplaceEditText());
            edit->setCursorPosition(int(edit->text().size()));
            edit->update();
        }
        return false;
    }
    edit->setText(m_host->GetInplaceEditText());
    return true;
}

void TGridEditorLink::Leave(int key, Qt::KeyboardModifiers modifiers)
{
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && m_host->WantsTabs()) {
        m_host->EndInplaceEdit();
        m_host->HostWidget()->setFocus();
        m_host->TabAdvance(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        return;
    }
    m_host->EditorKeyExit(key, modifiers);
}

// ================================================================== TDidEzevBtn

TDidEzevBtn::TDidEzevBtn(QWidget* parent) : QLineEdit(parent), m_button(new TDidEzevButton(this))
{
    m_button->SetButtonCaption(QStringLiteral("..."));
    m_button->FocusControl = this;
    m_button->SetBounds(0, 0, 18, 18);
    // The speed button reports the release of the left mouse button.
    m_button->OnClick = [this](QObject*) {
        const bool byPress = m_focusByPress;
        m_focusByPress = false;
        ButtonPressed();
        // The focus the press on the button brought counts from the release, when no button is down.
        if (byPress && AutoSelect && hasFocus())
            selectAll();
    };
    setText(QStringLiteral("0"));
    layoutButton();
}

void TDidEzevBtn::focusInEvent(QFocusEvent* event)
{
    m_focusByPress = false;
    if (!AutoSelect && SelectsOnFocusByItself(event->reason())) {
        QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
        return;
    }
    QLineEdit::focusInEvent(event);
    if (!AutoSelect)
        return;
    if (event->reason() == Qt::MouseFocusReason && (QApplication::mouseButtons() & Qt::LeftButton))
        m_focusByPress = true;   // a press on the edit clears it; the button's release selects
    else
        selectAll();
}

void TDidEzevBtn::focusOutEvent(QFocusEvent* event)
{
    m_focusByPress = false;
    QLineEdit::focusOutEvent(event);
}

void TDidEzevBtn::mousePressEvent(QMouseEvent* event)
{
    m_focusByPress = false;   // the press is on the edit itself
    QLineEdit::mousePressEvent(event);
}

void TDidEzevBtn::ButtonPressed()
{
    if (OnClickBtn)
        OnClickBtn(this);
}

void TDidEzevBtn::SetButtonWidth(int value)
{
    m_buttonWidth = value;
    m_button->SetBounds(m_button->x(), m_button->y(), value, m_button->height());
    layoutButton();
}

void TDidEzevBtn::SetRightAlign(bool value)
{
    if (value == m_rightAlign)
        return;
    m_rightAlign = value;
    setAlignment((value ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

void TDidEzevBtn::SetUnitWidth(int value)
{
    m_unitWidth = value;
    layoutButton();
    update();
}

void TDidEzevBtn::layoutButton()
{
    // Inside the frame when there is one, else one pixel short of the right and bottom edges.
    const int w = m_button->width();
    const int f = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
    if (f > 0)
        m_button->SetBounds(width() - w - f, f, w, height() - 2 * f);
    else
        m_button->SetBounds(width() - w - 1, 0, w, height() - 1);
    setTextMargins(0, 0, w + m_unitWidth + 3, 0);
}

int SystemFontTextHeight() { return QFontMetrics(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).height(); }

int TDidEzevBtn::MinEditHeight() const
{
    const int h = QFontMetrics(font()).height();
    return h + std::min(h, SystemFontTextHeight()) / 4;
}

void TDidEzevBtn::resizeEvent(QResizeEvent* event)
{
    // Laid out at once for the raised height: a hidden control gets no second resize event.
    if (height() < MinEditHeight())
        resize(width(), MinEditHeight());
    QLineEdit::resizeEvent(event);
    layoutButton();
}

void TDidEzevBtn::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_editorEnabled)
        return;   // no paste, cut or delete through the menu either
    QLineEdit::contextMenuEvent(event);
}

void TDidEzevBtn::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F4 && !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
        ButtonPressed();
        return;
    }
    if (HandleKey(event))
        return;
    if (!m_editorEnabled) {
        const bool changes = !event->text().isEmpty() || event->key() == Qt::Key_Delete
                             || event->key() == Qt::Key_Backspace || event->matches(QKeySequence::Paste)
                             || event->matches(QKeySequence::Cut);
        if (changes && !event->matches(QKeySequence::Copy))
            return;
    }
    QLineEdit::keyPressEvent(event);
}

// ================================================================== TGridSpin

TGridSpin::TGridSpin(TEditorHost* host, QWidget* parent) : DAveVevaDiza(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridSpin"));
    setFrame(false);
}

void TGridSpin::raiseSpin(bool up)
{
    switch (SpinType()) {
    case sptNormal: Host()->SpinClicked(0, Value(), up); break;
    case sptFloat: Host()->SpinClicked(1, FloatValue(), up); break;
    case sptDate: Host()->SpinClicked(2, DateValue(), up); break;
    case sptTime: Host()->SpinClicked(3, QDateTime(QDate(1899, 12, 30), TimeValue()), up); break;
    }
}

void TGridSpin::StepUp()
{
    DAveVevaDiza::StepUp();
    raiseSpin(true);
}

void TGridSpin::StepDown()
{
    DAveVevaDiza::StepDown();
    raiseSpin(false);
}

bool TGridSpin::HandleKey(QKeyEvent* event)
{
    const int key = event->key();
    const bool number = SpinType() == sptNormal || SpinType() == sptFloat;
    if ((key == Qt::Key_Home || key == Qt::Key_End) && number && !(event->modifiers() & Qt::ShiftModifier)) {
        const bool home = key == Qt::Key_Home;
        if (SpinType() == sptNormal)
            SetValue(home ? MaxValue : MinValue);
        else
            SetFloatValue(home ? MaxFloatValue : MinFloatValue);
        raiseSpin(false);
        return true;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key)) {
        if (!Commit(this))
            return true;
        Leave(key, event->modifiers());
        return true;
    }
    if (key == Qt::Key_Escape) {
        setText(Host()->EditStartText());
        if (SpinType() == sptNormal)
            SetValue(Value());
        else if (SpinType() == sptFloat)
            SetFloatValue(FloatValue());
        Leave(key, event->modifiers());
        return true;
    }
    return false;
}

void TGridSpin::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    DAveVevaDiza::focusOutEvent(event);
}

// ================================================================== TGridCombo

TGridCombo::TGridCombo(TEditorHost* host, QWidget* parent) : TZEIComboBox(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridCombo"));
    setEditable(true);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::StrongFocus);
    // An item chosen by the user, from the list or by key; changes made by code raise nothing.
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            Host()->ComboChanged(index, itemText(index), nullptr);
    });
    watchLineEdit();
}

void TGridCombo::watchLineEdit()
{
    if (QLineEdit* e = lineEdit())
        connect(e, &QLineEdit::textEdited, this, &TGridCombo::textEditedByUser, Qt::UniqueConnection);
}

void TGridCombo::textEditedByUser(const QString& text)
{
    Host()->ComboChanged(-1, text, nullptr);
}

void TGridCombo::showEvent(QShowEvent* event)
{
    watchLineEdit();
    TZEIComboBox::showEvent(event);
}

void TGridCombo::showPopup()
{
    m_dropped = true;
    QComboBox::showPopup();
}

void TGridCombo::hidePopup()
{
    const bool wasDropped = m_dropped;
    QComboBox::hidePopup();
    m_dropped = false;
    if (wasDropped)
        Host()->ComboCloseUp();
}

void TGridCombo::keyPressEvent(QKeyEvent* event)
{
    watchLineEdit();
    int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    m_autoComplete = !(key == Qt::Key_Backspace || key == Qt::Key_Delete);
    const bool listLike = !isEditable() || m_dropped;
    bool handled;
    if (listLike)
        handled = key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Escape
                  || key == Qt::Key_Left || key == Qt::Key_Right;
    else
        handled = key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Escape
                  || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End || key == Qt::Key_Up
                  || (key == Qt::Key_Down && !(mods & Qt::AltModifier));
    if (isEnter(key) && OnReturnKey)
        OnReturnKey(this);
    if (!handled) {
        if (key == Qt::Key_Down && (mods & Qt::AltModifier)) {
            showPopup();
            return;
        }
        // A key that picks another item reports it through activated.
        QComboBox::keyPressEvent(event);
        return;
    }
    if (key == Qt::Key_Escape) {
        const QString t = Host()->GetInplaceEditText();
        if (isEditable())
            setEditText(t);
        const int i = findText(t);
        if (i >= 0)
            setCurrentIndex(i);
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Up || key == Qt::Key_Down) {
        Host()->SetInplaceEditText(currentText());
        if (!Host()->ValidateCell(currentText())) {
            if (isEditable()) {
                setEditText(Host()->GetInplaceEditText());
                lineEdit()->setCursorPosition(int(lineEdit()->text().size()));
            }
            return;
        }
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && Host()->WantsTabs()) {
        Leave(key, mods);
        return;
    }
    if (listLike) {
        if (m_dropped)
            hidePopup();
        Host()->EndInplaceEdit();
        if (key == Qt::Key_Left || key == Qt::Key_Right)
            sendKeyTo(Host()->HostWidget(), QEvent::KeyPress, key, mods);
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down
            || key == Qt::Key_PageUp || key == Qt::Key_PageDown)
            key = 0;
    }
    Host()->EditorKeyExit(key, mods);
}

void TGridCombo::keyReleaseEvent(QKeyEvent* event)
{
    QComboBox::keyReleaseEvent(event);
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right)
        AutoComplete();
}

void TGridCombo::AutoComplete()
{
    if (!m_autoComplete || !Host()->LookupEnabled() || !isEditable())
        return;
    QLineEdit* e = lineEdit();
    if (e->hasSelectedText())
        return;
    const int typedLength = e->cursorPosition();
    const QString typed = e->text().left(typedLength);
    if (typed.isEmpty())
        return;   // an empty typed part completes nothing
    const Qt::CaseSensitivity cs = Host()->LookupIsCaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!item.startsWith(typed, cs))
            continue;
        e->setText(typed + item.mid(typedLength));
        // Selecting the item shows the item's own text.
        if (currentIndex() != i)
            setCurrentIndex(i);
        e->setSelection(typedLength, int(e->text().size()) - typedLength);
        return;
    }
    const int n = Host()->LookupCount();
    for (int i = 0; i < n; ++i) {
        const QString item = Host()->LookupItem(i);
        if (!item.startsWith(typed, cs))
            continue;
        e->setText(typed + item.mid(typedLength));
        e->setSelection(typedLength, int(item.size()) - typedLength);
        return;
    }
}

void TGridCombo::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const int i = currentIndex();
    if (i < 0 || count() == 0)
        return;   // nothing selected: no change and no event
    const int next = event->angleDelta().y() < 0 ? std::min(i + 1, count() - 1) : std::max(i - 1, 0);
    if (next != i)
        setCurrentIndex(next);
    Host()->ComboChanged(next, itemText(next), nullptr);
}

void TGridCombo::focusOutEvent(QFocusEvent* event)
{
    if (m_dropped) {
        QComboBox::focusOutEvent(event);
        return;
    }
    const QString t = currentText();
    if (Host()->LookupKeepsHistory() && !t.isEmpty() && findText(t, Qt::MatchExactly) < 0)
        addItem(t);
    Host()->EndInplaceEdit();
    QComboBox::focusOutEvent(event);
}

// ================================================================== TGridEditBtn

TGridEditBtn::TGridEditBtn(TEditorHost* host, QWidget* parent) : TDidEzevBtn(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridEditBtn"));
    setFrame(false);
    OnClickBtn = [this](QObject*) {
        setText(Host()->EllipsClick(text()));
        selectAll();
        update();
    };
}

bool TGridEditBtn::acceptsChar(QChar ch)
{
    const TEditorLocale& loc = Host()->EditorLocale();
    const QString t = text();
    const QString sel = selectedText();
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    const QChar minus = QLatin1Char('-');
    const bool control = ch == QChar(8) || ch == QChar(9) || ch == QChar(13) || ch == QChar(27);
    if (Kind == ebkNumeric) {
        if (!(control || ch.isDigit() || ch == minus)) {
            Beep();
            return false;
        }
        if (ch == minus && (t.contains(minus) || caret != 0)) {
            Beep();
            return false;
        }
        return true;
    }
    if (Kind == ebkFloat) {
        if (!(control || ch.isDigit() || ch == minus || ch == QLatin1Char(',') || ch == QLatin1Char('.')))
            return false;
        if (ch == loc.decimalSeparator && t.contains(ch) && !sel.contains(ch))
            return false;
        if (ch == loc.thousandSeparator && ch != loc.decimalSeparator)
            return false;
        if (ch == minus && !((caret == 0 && !t.contains(minus)) || sel.contains(minus))) {
            Beep();
            return false;
        }
    }
    return true;
}

bool TGridEditBtn::HandleKey(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (OnKeyDown) {
        int k = key;
        OnKeyDown(this, k, mods);
        if (k == 0)
            return true;
    }
    if (!(mods & Qt::ControlModifier)) {
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Up || key == Qt::Key_Down) {
            if (Commit(this))
                Leave(key, mods);
            return true;
        }
        if (key == Qt::Key_Escape) {
            setText(Host()->GetInplaceEditText());
            Leave(key, mods);
            return true;
        }
        if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            Leave(key, mods);
            return true;
        }
    }
    QString typed = event->text();
    if (key == Qt::Key_Backspace)
        typed = QString(QChar(8));
    if (!typed.isEmpty() && !(mods & Qt::ControlModifier) && !acceptsChar(typed.at(0)))
        return true;
    return false;
}

void TGridEditBtn::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    TDidEzevBtn::focusOutEvent(event);
}

// ================================================================== TGridUnitEditBtn

TGridUnitEditBtn::TGridUnitEditBtn(TEditorHost* host, QWidget* parent)
    : TDidEzevBtn(parent), TGridEditorLink(host), m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("GridUnitEditBtn"));
    setFrame(false);
    m_menu->setObjectName(QStringLiteral("UnitMenu"));
    SetRightAlign(true);
    SetUnitSpace(20);
}

void TGridUnitEditBtn::SetUnitID(const QString& value)
{
    m_unitID = value;
    update();
}

void TGridUnitEditBtn::SetUnitSpace(int value)
{
    SetUnitWidth(value);
}

void TGridUnitEditBtn::paintEvent(QPaintEvent* event)
{
    TDidEzevBtn::paintEvent(event);
    // The unit between the text and the button.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Text));
    const int right = ButtonControl()->x() - 3;
    const QRect unit(right - UnitWidth(), 0, UnitWidth(), height());
    p.drawText(unit, Qt::AlignLeft | Qt::AlignVCenter, m_unitID);
}

void TGridUnitEditBtn::ButtonPressed()
{
    m_menu->clear();
    for (const QString& u : Units) {
        QAction* a = m_menu->addAction(u);
        connect(a, &QAction::triggered, this, [this, u] { SetUnitID(u); });
    }
    // Under the edit's lower right corner.
    m_menu->popup(mapToGlobal(QPoint(width() - 15, height())));
}

bool TGridUnitEditBtn::HandleKey(QKeyEvent* event)
{
    if (!Host())
        return false;   // used on its own: a plain edit
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Up || key == Qt::Key_Down) {
        // The number and the unit are committed together.
        Host()->SetInplaceEditText(text() + m_unitID);
        if (!Host()->ValidateCell(text() + m_unitID))
            return true;
        Leave(key, mods);
        return true;
    }
    if (key == Qt::Key_Escape) {
        SetUnitID(QString());
        setText(Host()->GetInplaceEditText());
        Leave(key, mods);
        return true;
    }
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        Leave(key, mods);
        return true;
    }
    return false;
}

void TGridUnitEditBtn::focusOutEvent(QFocusEvent* event)
{
    if (m_menu->isVisible() || !Host()) {
        TDidEzevBtn::focusOutEvent(event);
        return;
    }
    Host()->EndInplaceEdit();
    TDidEzevBtn::focusOutEvent(event);
}

// ================================================================== TGridCheckBox

TGridCheckBox::TGridCheckBox(TEditorHost* host, QWidget* parent) : QCheckBox(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridCheckBox"));
}

void TGridCheckBox::mousePressEvent(QMouseEvent* event)
{
    // Toggles on the press; the release does not toggle again.
    if (event->button() == Qt::LeftButton)
        toggle();
    event->accept();
}

void TGridCheckBox::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void TGridCheckBox::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Space:
        toggle();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        Host()->EndInplaceEdit();
        Host()->HostWidget()->setFocus();
        if (isEnter(key))
            Host()->AdvanceCell(true);
        else if (key == Qt::Key_Up || key == Qt::Key_Down)
            sendKeyTo(Host()->HostWidget(), QEvent::KeyPress, key, event->modifiers());
        return;
    default:
        QCheckBox::keyPressEvent(event);
    }
}

void TGridCheckBox::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    QCheckBox::focusOutEvent(event);
}

// ================================================================== TGridDatePicker

namespace {
class TCalendarPopup : public QWidget {
public:
    explicit TCalendarPopup(TGridDatePicker* owner) : QWidget(owner, Qt::Popup)
    {
        setObjectName(QStringLiteral("CalendarPopup"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        calendar = new QCalendarWidget(this);
        layout->addWidget(calendar);
        QObject::connect(calendar, &QCalendarWidget::clicked, this, [this, owner](QDate d) {
            owner->PickDate(d);
            hide();
        });
        QObject::connect(calendar, &QCalendarWidget::activated, this, [this, owner](QDate d) {
            owner->PickDate(d);
            hide();
        });
    }
    QCalendarWidget* calendar;
};
} // namespace

TGridDatePicker::TGridDatePicker(TEditorHost* host, QWidget* parent) : QDateTimeEdit(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridDatePicker"));
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& value) {
        if (m_byUser || ownsActivePopup())
            Host()->DateTimeChanged(value);
    });
}

// A date picked in the toolkit's own calendar popup arrives while that popup is open.
bool TGridDatePicker::ownsActivePopup() const
{
    for (const QObject* o = QApplication::activePopupWidget(); o; o = o->parent())
        if (o == this)
            return true;
    return false;
}

void TGridDatePicker::PickDate(QDate date)
{
    QScopedValueRollback<bool> user(m_byUser, true);
    setDate(date);
}

bool TGridDatePicker::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::Wheel:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Timer: {   // the held step arrows repeat by timer
        QScopedValueRollback<bool> user(m_byUser, true);
        return QDateTimeEdit::event(event);
    }
    default:
        return QDateTimeEdit::event(event);
    }
}

void TGridDatePicker::paintEvent(QPaintEvent* event)
{
    QDateTimeEdit::paintEvent(event);
    QPainter p(this);
    p.setPen(gfx::ToQColor(gfx::clWindow));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

void TGridDatePicker::DropDown()
{
    auto* popup = findChild<QWidget*>(QStringLiteral("CalendarPopup"), Qt::FindDirectChildrenOnly);
    if (!popup)
        popup = new TCalendarPopup(this);
    static_cast<TCalendarPopup*>(popup)->calendar->setSelectedDate(date());
    popup->move(mapToGlobal(QPoint(0, height())));
    popup->show();
}

bool TGridDatePicker::IsDroppedDown() const
{
    auto* popup = findChild<QWidget*>(QStringLiteral("CalendarPopup"), Qt::FindDirectChildrenOnly);
    return popup && popup->isVisible();
}

void TGridDatePicker::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key == Qt::Key_F4 && !TimeKind) {
        DropDown();
        return;
    }
    if (key == Qt::Key_Escape) {
        QScopedValueRollback<bool> restoring(m_byUser, false);   // putting back is no change
        const QString t = Host()->GetInplaceEditText();
        const TEditorLocale& loc = Host()->EditorLocale();
        if (TimeKind) {
            const QTime tm = QTime::fromString(t, loc.timeFormat);
            setTime(tm.isValid() ? tm : QTime::currentTime());
        } else {
            const QDate d = QDate::fromString(t, loc.shortDateFormat);
            setDate(d.isValid() ? d : QDate::currentDate());
        }
        if (!IsDroppedDown())
            Host()->EditorKeyExit(key, mods);
        return;
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && Host()->WantsTabs()) {
        Leave(key, mods);
        return;
    }
    if (isEnter(key) || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End || key == Qt::Key_Tab) {
        if (!IsDroppedDown())
            Host()->EditorKeyExit(key, mods);
        return;
    }
    const QString typed = event->text();
    const QChar ch = typed.size() == 1 ? typed.at(0) : QChar();
    const bool separator = !ch.isNull() && !ch.isLetterOrNumber() && !ch.isSpace() && displayFormat().contains(ch);
    if (separator && m_sectionFilled) {
        // "24." after the day moved on to the month by itself: the caret stays in the month.
        m_sectionFilled = false;
        return;
    }
    const int section = currentSectionIndex();
    QDateTimeEdit::keyPressEvent(event);
    m_sectionFilled = ch.isDigit() && currentSectionIndex() > section;
}

QString TGridDatePicker::ValueText()
{
    interpretText();
    return dateTime().toString(displayFormat());
}

void TGridDatePicker::focusOutEvent(QFocusEvent* event)
{
    if (!IsDroppedDown())
        Host()->EndInplaceEdit();
    QDateTimeEdit::focusOutEvent(event);
}

// ================================================================== TGridButton

TGridButton::TGridButton(TEditorHost* host, QWidget* parent) : QPushButton(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridButton"));
}

bool TGridButton::event(QEvent* event)
{
    // Escape and the arrows are the button's own keys, not the dialog's.
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up
            || key == Qt::Key_Down) {
            event->accept();
            return true;
        }
    }
    return QPushButton::event(event);
}

void TGridButton::hideSelf()
{
    hide();
    setEnabled(false);
    Host()->EndInplaceEdit();
}

void TGridButton::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    QWidget* grid = Host()->HostWidget();
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
        sendKeyTo(grid, QEvent::KeyPress, key, event->modifiers());
        hideSelf();
        grid->setFocus();
        sendKeyTo(grid, QEvent::KeyRelease, key, event->modifiers());
        return;
    }
    if (key == Qt::Key_Escape) {
        hideSelf();
        Host()->RestoreEditText();
        sendKeyTo(grid, QEvent::KeyPress, key, event->modifiers());
        return;
    }
    if (key == Qt::Key_Space)
        return;   // acts on the release
    QPushButton::keyPressEvent(event);
}

void TGridButton::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        setText(Host()->EllipsClick(text()));
        update();
    }
    event->accept();
}

void TGridButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        setText(Host()->EllipsClick(text()));
    QPushButton::mouseReleaseEvent(event);
}

void TGridButton::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    QPushButton::focusOutEvent(event);
}

} // namespace grid::editors

namespace grid::editors {

namespace {
// Hands each typed character to a key-press event; returns the text to insert (empty: dropped).
QString filterTyped(QObject* sender, const std::function<void(QObject*, QChar&)>& onKeyPress, const QString& typed)
{
    if (!onKeyPress)
        return typed;
    QString out;
    for (QChar ch : typed) {
        QChar c = ch;
        onKeyPress(sender, c);
        if (!c.isNull())
            out += c;
    }
    return out;
}

// Hands the toolkit an input-method event whose committed text went through OnKeyPress one
// character at a time.
template <class Deliver>
void commitFiltered(QObject* sender, const std::function<void(QObject*, QChar&)>& onKeyPress,
                    const QInputMethodEvent& event, Deliver deliver)
{
    QInputMethodEvent e(event.preeditString(), event.attributes());
    e.setCommitString(filterTyped(sender, onKeyPress, event.commitString()), event.replacementStart(),
                      event.replacementLength());
    deliver(&e);
}

bool isPrintable(const QString& text) { return !text.isEmpty() && text.at(0).isPrint(); }
} // namespace

// ================================================================== Unicode controls

TZeiUniEdit::TZeiUniEdit(QWidget* parent) : QLineEdit(parent) {}

void TZeiUniEdit::focusInEvent(QFocusEvent* event)
{
    if (!AutoSelect && SelectsOnFocusByItself(event->reason())) {
        QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
        return;
    }
    QLineEdit::focusInEvent(event);
    const bool leftPressHere = event->reason() == Qt::MouseFocusReason && (QApplication::mouseButtons() & Qt::LeftButton);
    if (AutoSelect && !leftPressHere)
        selectAll();
}

void TZeiUniEdit::keyPressEvent(QKeyEvent* event)
{
    if (OnKeyPress && isPrintable(event->text()) && !(event->modifiers() & Qt::ControlModifier)) {
        const QString out = filterTyped(this, OnKeyPress, event->text());
        if (!out.isEmpty())
            insert(out);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TZeiUniEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (!OnKeyPress || event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    commitFiltered(this, OnKeyPress, *event, [this](QInputMethodEvent* e) { QLineEdit::inputMethodEvent(e); });
}

TZeiUniMemo::TZeiUniMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TZeiUniMemo::SetWordWrap(bool value)
{
    const QString text = toPlainText();
    setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    if (toPlainText() != text)
        setPlainText(text);
}

void TZeiUniMemo::SetScrollBars(Qt::ScrollBarPolicy horizontal, Qt::ScrollBarPolicy vertical)
{
    const QString text = toPlainText();
    setHorizontalScrollBarPolicy(horizontal);
    setVerticalScrollBarPolicy(vertical);
    if (toPlainText() != text)
        setPlainText(text);
}

void TZeiUniMemo::keyPressEvent(QKeyEvent* event)
{
    if (OnKeyPress && isPrintable(event->text()) && !(event->modifiers() & Qt::ControlModifier)) {
        const QString out = filterTyped(this, OnKeyPress, event->text());
        if (!out.isEmpty())
            insertPlainText(out);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TZeiUniMemo::inputMethodEvent(QInputMethodEvent* event)
{
    if (!OnKeyPress || event->commitString().isEmpty()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    commitFiltered(this, OnKeyPress, *event, [this](QInputMethodEvent* e) { QPlainTextEdit::inputMethodEvent(e); });
}

// ================================================================== TGridUniEdit

namespace {
// The Unicode editors' commit: the wide text to the cell, then its validation.
template <class Edit>
bool commitWide(TEditorHost* host, Edit* edit, const QString& text)
{
    host->SetWideEditText(text);
    if (!host->ValidateWideCell(text)) {
        edit->setText(host->GetWideEditText());
        edit->setCursorPosition(int(edit->text().size()));
        edit->update();
        return false;
    }
    edit->setText(host->GetWideEditText());
    return true;
}
} // namespace

TGridUniEdit::TGridUniEdit(TEditorHost* host, QWidget* parent) : TZeiUniEdit(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridUniEdit"));
    setFrame(false);
}

void TGridUniEdit::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Up || key == Qt::Key_Down) {
        if (commitWide(Host(), this, text()))
            Leave(key, event->modifiers());
        return;
    }
    if (key == Qt::Key_Escape) {
        setText(Host()->GetWideEditText());
        Leave(key, event->modifiers());
        return;
    }
    TZeiUniEdit::keyPressEvent(event);
}

void TGridUniEdit::focusInEvent(QFocusEvent* event)
{
    TZeiUniEdit::focusInEvent(event);
    if (!Host()->EditSelectAll())
        setCursorPosition(int(text().size()));
}

void TGridUniEdit::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    TZeiUniEdit::focusOutEvent(event);
}

TGridUniEditBtn::TGridUniEditBtn(TEditorHost* host, QWidget* parent) : TZeiUniEditBtn(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridUniEditBtn"));
    setFrame(false);
    OnClickBtn = [this](QObject*) {
        setText(Host()->EllipsClick(text()));
        selectAll();
    };
}

bool TGridUniEditBtn::HandleKey(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Up || key == Qt::Key_Down) {
        if (commitWide(Host(), this, text()))
            Leave(key, event->modifiers());
        return true;
    }
    if (key == Qt::Key_Escape) {
        setText(Host()->GetWideEditText());
        Leave(key, event->modifiers());
        return true;
    }
    return false;
}

void TGridUniEditBtn::focusInEvent(QFocusEvent* event)
{
    TZeiUniEditBtn::focusInEvent(event);
    if (!Host()->EditSelectAll())
        setCursorPosition(int(text().size()));
}

void TGridUniEditBtn::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    TZeiUniEditBtn::focusOutEvent(event);
}

// ================================================================== TGridUniMemo

TGridUniMemo::TGridUniMemo(TEditorHost* host, QWidget* parent) : TZeiUniMemo(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridUniMemo"));
    setFrameShape(QFrame::NoFrame);
}

bool TGridUniMemo::event(QEvent* event)
{
    // Tab is the memo's key (commit and leave), not the focus chain's.
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return TZeiUniMemo::event(event);
}

void TGridUniMemo::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        Host()->SetWideEditText(toPlainText());
        if (!Host()->ValidateWideCell(toPlainText())) {
            setPlainText(Host()->GetWideEditText());
            moveCursor(QTextCursor::End);
            return;
        }
        setPlainText(Host()->GetWideEditText());
        Leave(key, event->modifiers());
        return;
    }
    if (key == Qt::Key_Escape) {
        setPlainText(Host()->GetWideEditText());
        Leave(key, event->modifiers());
        return;
    }
    TZeiUniMemo::keyPressEvent(event);
}

void TGridUniMemo::focusInEvent(QFocusEvent* event)
{
    TZeiUniMemo::focusInEvent(event);
    if (!Host()->EditSelectAll())
        moveCursor(QTextCursor::End);
}

void TGridUniMemo::focusOutEvent(QFocusEvent* event)
{
    Host()->EndInplaceEdit();
    TZeiUniMemo::focusOutEvent(event);
}

// ================================================================== TGridUniCombo

TGridUniCombo::TGridUniCombo(TEditorHost* host, QWidget* parent) : TZEIUniComboBox(parent), TGridEditorLink(host)
{
    setObjectName(QStringLiteral("GridUniCombo"));
    setEditable(true);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    watchLineEdit();
}

void TGridUniCombo::watchLineEdit()
{
    if (QLineEdit* e = lineEdit())
        connect(e, &QLineEdit::textEdited, this, &TGridUniCombo::textEditedByUser, Qt::UniqueConnection);
}

void TGridUniCombo::textEditedByUser(const QString& text)
{
    Host()->ComboChanged(-1, text, nullptr, false);
}

void TGridUniCombo::showEvent(QShowEvent* event)
{
    watchLineEdit();
    TZEIUniComboBox::showEvent(event);
}

void TGridUniCombo::showPopup()
{
    m_dropped = true;
    TZEIUniComboBox::showPopup();
}

void TGridUniCombo::hidePopup()
{
    const bool wasDropped = m_dropped;
    TZEIUniComboBox::hidePopup();
    m_dropped = false;
    if (wasDropped)
        Host()->ComboCloseUp();
}

void TGridUniCombo::SelectionChanged(int index)
{
    // The grid hears of the user's choice before the combo's own events (without the object event).
    Host()->ComboChanged(index, itemText(index), nullptr, false);
    TZEIUniComboBox::SelectionChanged(index);
}

void TGridUniCombo::wheelEvent(QWheelEvent* event)
{
    // The grid's wheel rule, as in the plain combo: the next or previous item, the grid's change
    // events, and nothing more (no click or change event of the combo).
    event->accept();
    const int i = currentIndex();
    if (i < 0 || count() == 0)
        return;
    const int next = event->angleDelta().y() < 0 ? std::min(i + 1, count() - 1) : std::max(i - 1, 0);
    if (next != i)
        setCurrentIndex(next);
    Host()->ComboChanged(next, itemText(next), nullptr);
}

void TGridUniCombo::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    m_autoComplete = !(key == Qt::Key_Backspace || key == Qt::Key_Delete);
    if (key == Qt::Key_Escape) {
        if (isEditable())
            setEditText(Host()->GetWideEditText());
        const int i = findText(Host()->GetInplaceEditText());
        if (i >= 0)
            setCurrentIndex(i);
    }
    const bool listLike = !isEditable() || view()->isVisible();
    const bool handled = listLike ? (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Escape
                                     || key == Qt::Key_Left || key == Qt::Key_Right)
                                  : (key == Qt::Key_Tab || key == Qt::Key_Backtab || isEnter(key) || key == Qt::Key_Escape
                                     || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End
                                     || key == Qt::Key_Up || key == Qt::Key_Down);
    if (!handled) {
        TZEIUniComboBox::keyPressEvent(event);
        return;
    }
    Host()->EditorKeyExit(key, mods);
}

void TGridUniCombo::keyReleaseEvent(QKeyEvent* event)
{
    TZEIUniComboBox::keyReleaseEvent(event);
    if (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)
        AutoComplete();
}

void TGridUniCombo::AutoComplete()
{
    // Compared and joined in UTF-16, so no character is lost.
    if (!m_autoComplete || !Host()->LookupEnabled() || !isEditable())
        return;
    QLineEdit* e = lineEdit();
    if (e->hasSelectedText())
        return;
    const int typedLength = e->cursorPosition();
    const QString typed = e->text().left(typedLength);
    if (typed.isEmpty())
        return;
    const Qt::CaseSensitivity cs = Host()->LookupIsCaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!item.startsWith(typed, cs))
            continue;
        e->setText(typed + item.mid(typedLength));
        // Selecting the item shows the item's own text.
        if (currentIndex() != i)
            setCurrentIndex(i);
        e->setSelection(typedLength, int(e->text().size()) - typedLength);
        return;
    }
}

void TGridUniCombo::focusOutEvent(QFocusEvent* event)
{
    if (view()->isVisible()) {
        TZEIUniComboBox::focusOutEvent(event);
        return;
    }
    const QString t = currentText();
    if (Host()->LookupKeepsHistory() && !t.isEmpty() && findText(t, Qt::MatchExactly) < 0)
        addItem(t);
    Host()->EndInplaceEdit();
    TZEIUniComboBox::focusOutEvent(event);
}

} // namespace grid::editors
