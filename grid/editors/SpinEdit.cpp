#include "grid/editors/SpinEdit.h"
#include <QRegularExpression>
#include <QLocale>

#include "platform/graphics/SpinRepeatButton.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace grid::editors {

namespace {
std::function<void()>& beepHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void Beep()
{
    if (beepHook())
        beepHook()();
    else
        QApplication::beep();
}

void SetBeepHook(std::function<void()> hook) { beepHook() = std::move(hook); }

// ================================================================== TVidAvezButton

TVidAvezButton::TVidAvezButton(QWidget* parent) : QWidget(parent)
{
    m_up = new DAvoRorurAroruDadaze(this);
    m_down = new DAvoRorurAroruDadaze(this);
    m_up->setObjectName(QStringLiteral("UpButton"));
    m_down->setObjectName(QStringLiteral("DownButton"));
    for (DAvoRorurAroruDadaze* b : {m_up, m_down}) {
        b->SetAllowTimer(true);
        connect(b, &QAbstractButton::clicked, this, [this, b] {
            if (b == m_up && OnUpClick)
                OnUpClick();
            else if (b == m_down && OnDownClick)
                OnDownClick();
        });
        connect(b, &QAbstractButton::pressed, this, [this, b] { arrowPressed(b); });
    }
    m_up->SetButtonDirection(bdUp);
    m_down->SetButtonDirection(bdDown);
    m_focused = m_up;
    setFocusPolicy(Qt::NoFocus);
    resize(15, 25);
}

void TVidAvezButton::SetDirection(TSpinDirection value)
{
    if (value == m_direction)
        return;
    m_direction = value;
    if (value == spHorizontal) {
        m_up->SetButtonDirection(bdRight);
        m_down->SetButtonDirection(bdLeft);
        resize(20, height());
    } else {
        m_up->SetButtonDirection(bdUp);
        m_down->SetButtonDirection(bdDown);
        resize(15, height());
    }
    AdjustButtonBounds(width(), height());
}

QSize TVidAvezButton::AdjustButtonBounds(int width, int height)
{
    if (m_direction == spVertical) {
        width = std::max(width, 15);
        const int upHeight = height / 2;
        m_up->setGeometry(0, 0, width, upHeight);
        m_down->setGeometry(0, upHeight - 1, width, height - upHeight + 1);
    } else {
        width = std::max(width, 20);
        m_down->setGeometry(0, 0, width / 2, height);
        m_up->setGeometry(width / 2 + 1, 0, width / 2, height);
    }
    return QSize(width, height);
}

void TVidAvezButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize s = AdjustButtonBounds(width(), height());
    if (s != size())
        resize(s);
}

void TVidAvezButton::setFocusedArrow(DAvoRorurAroruDadaze* button)
{
    if (focusPolicy() == Qt::NoFocus || button == m_focused)
        return;
    m_focused->SetFocusShown(false);
    m_focused = button;
    if (hasFocus())
        m_focused->SetFocusShown(true);
}

void TVidAvezButton::arrowPressed(DAvoRorurAroruDadaze* button)
{
    setFocusedArrow(button);
    if (FocusControl && FocusControl->focusPolicy() != Qt::NoFocus && !FocusControl->hasFocus())
        FocusControl->setFocus(Qt::MouseFocusReason);
    else if (focusPolicy() != Qt::NoFocus && !hasFocus())
        setFocus(Qt::MouseFocusReason);
}

void TVidAvezButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space: m_focused->click(); return;
    case Qt::Key_Up: setFocusedArrow(m_up); m_up->click(); return;
    case Qt::Key_Down: setFocusedArrow(m_down); m_down->click(); return;
    default: QWidget::keyPressEvent(event);
    }
}

void TVidAvezButton::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    m_focused->SetFocusShown(true);
}

void TVidAvezButton::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    m_focused->SetFocusShown(false);
}

// ================================================================== DAveVevaDiza

TEditorLocale TEditorLocale::FromSystem()
{
    const QLocale sys = QLocale::system();
    TEditorLocale l;
    if (!sys.decimalPoint().isEmpty())
        l.decimalSeparator = sys.decimalPoint().at(0);
    if (!sys.groupSeparator().isEmpty())
        l.thousandSeparator = sys.groupSeparator().at(0);
    // The short date with a four-digit year (as "dd.MM.yyyy" of German settings).
    QString date = sys.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    date.replace(twoDigitYear, QStringLiteral("yyyy"));
    if (!date.isEmpty())
        l.shortDateFormat = date;
    for (const QChar c : date)
        if (!c.isLetter()) {
            l.dateSeparator = c;
            break;
        }
    for (const QChar c : sys.timeFormat(QLocale::ShortFormat))
        if (!c.isLetter() && !c.isSpace()) {
            l.timeSeparator = c;
            break;
        }
    l.timeFormat = QStringLiteral("HH%1mm%1ss").arg(l.timeSeparator);
    return l;
}

DAveVevaDiza::DAveVevaDiza(QWidget* parent) : QLineEdit(parent), Locale(TEditorLocale::FromSystem())
{
    m_button = new TVidAvezButton(this);
    m_button->FocusControl = this;
    m_button->OnUpClick = [this] { StepUp(); };
    m_button->OnDownClick = [this] { StepDown(); };
    MinDateValue = MaxDateValue = QDateTime(QDate(1899, 12, 30), QTime(0, 0));
    setText(QStringLiteral("0"));
    layoutButton();
}

void DAveVevaDiza::SetSpinType(TVidAvezType value)
{
    // The text is rewritten in the new type's form.
    switch (value) {
    case sptNormal: { const int v = Value(); m_spinType = value; SetValue(v); break; }
    case sptFloat: { const double v = FloatValue(); m_spinType = value; SetFloatValue(v); break; }
    case sptDate: { const QDateTime v = DateValue(); m_spinType = value; SetDateValue(v); break; }
    case sptTime: { const QTime v = TimeValue(); m_spinType = value; SetTimeValue(v); break; }
    }
}

void DAveVevaDiza::SetPrecision(int value)
{
    const double v = FloatValue();
    m_precision = value;
    if (m_spinType == sptFloat)
        SetFloatValue(v);
}

void DAveVevaDiza::SetDirection(TSpinDirection value)
{
    m_button->SetDirection(value);
    layoutButton();
}

int DAveVevaDiza::ClampValue(int v) const
{
    if (MinValue == MaxValue)
        return v;
    return v < MinValue ? MinValue : v > MaxValue ? MaxValue : v;
}

double DAveVevaDiza::ClampFloat(double v) const
{
    if (MinFloatValue == MaxFloatValue)
        return v;
    return v < MinFloatValue ? MinFloatValue : v > MaxFloatValue ? MaxFloatValue : v;
}

QDateTime DAveVevaDiza::ClampDate(const QDateTime& v) const
{
    if (MinDateValue == MaxDateValue)
        return v;
    return v < MinDateValue ? MinDateValue : v > MaxDateValue ? MaxDateValue : v;
}

int DAveVevaDiza::Value() const
{
    bool ok = false;
    const int v = text().trimmed().toInt(&ok);
    return ok ? v : MinValue;
}

void DAveVevaDiza::SetValue(int value)
{
    setText(QString::number(ClampValue(value)));
    if (!m_editorEnabled)
        selectAll();
}

double DAveVevaDiza::FloatValue() const
{
    QString t = text().trimmed();
    t.remove(Locale.thousandSeparator);
    t.replace(Locale.decimalSeparator, QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    // An unreadable text reads as the float minimum (not the integer one).
    return ok ? v : MinFloatValue;
}

QString DAveVevaDiza::formatFloat(double v) const
{
    QString s = m_precision != 0 ? QString::number(v, 'f', m_precision) : QString::number(v, 'g', 15);
    s.replace(QLatin1Char('.'), Locale.decimalSeparator);
    return s;
}

void DAveVevaDiza::SetFloatValue(double value) { setText(formatFloat(ClampFloat(value))); }

QDateTime DAveVevaDiza::DateValue() const
{
    const QString t = text().trimmed();
    if (t.isEmpty() || t == QLatin1String("0"))
        return QDateTime::currentDateTime();
    const QDate d = QDate::fromString(t, Locale.shortDateFormat);
    return d.isValid() ? QDateTime(d, QTime(0, 0)) : MinDateValue;
}

void DAveVevaDiza::SetDateValue(const QDateTime& value)
{
    const int caret = cursorPosition();
    setText(ClampDate(value).date().toString(Locale.shortDateFormat));
    setCursorPosition(std::min(caret, int(text().size())));
}

QTime DAveVevaDiza::TimeValue() const
{
    const QTime t = QTime::fromString(text().trimmed(), Locale.timeFormat);
    return t.isValid() ? t : QTime(0, 0);
}

void DAveVevaDiza::SetTimeValue(const QTime& value)
{
    const int caret = cursorPosition();
    setText(value.toString(Locale.timeFormat));
    setCursorPosition(std::min(caret, int(text().size())));
}

int DAveVevaDiza::fieldUnderCaret(QChar separator) const
{
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    const QString t = text();
    const int first = t.indexOf(separator);
    const int second = first >= 0 ? t.indexOf(separator, first + 1) : -1;
    if (first >= 0 && caret < first + 1)
        return 0;
    if (second >= 0 && caret < second + 1)
        return 1;
    return 2;
}

void DAveVevaDiza::step(int direction)
{
    if (isReadOnly()) {
        Beep();
        return;
    }
    switch (m_spinType) {
    case sptNormal:
        SetValue(Value() + direction * Increment);
        break;
    case sptFloat:
        SetFloatValue(FloatValue() + direction * IncrementFloat);
        break;
    case sptDate: {
        const QString f = Locale.shortDateFormat.toUpper();
        const bool monthFirst = f.indexOf(QLatin1Char('M')) < f.indexOf(QLatin1Char('D'));
        const int field = fieldUnderCaret(Locale.dateSeparator);
        QDate d = DateValue().date();
        if (field == 2)
            d = d.addYears(direction);   // 29 February gives 28 February in other years
        else if ((field == 0) == monthFirst)
            d = d.addMonths(direction);  // the day is cut to the target month
        else
            d = d.addDays(direction);
        SetDateValue(QDateTime(d, QTime(0, 0)));
        break;
    }
    case sptTime: {
        static const int seconds[3] = {3600, 60, 1};
        const int field = fieldUnderCaret(Locale.timeSeparator);
        SetTimeValue(TimeValue().addSecs(direction * seconds[field]));   // wraps around midnight
        break;
    }
    }
}

void DAveVevaDiza::StepUp() { step(1); }
void DAveVevaDiza::StepDown() { step(-1); }

bool DAveVevaDiza::AcceptsChar(QChar ch)
{
    const QChar dec = Locale.decimalSeparator, tho = Locale.thousandSeparator, ts = Locale.timeSeparator,
                ds = Locale.dateSeparator, minus = QLatin1Char('-');
    if (ch == QChar(8))
        return m_editorEnabled;   // the text cannot be deleted when typing is off
    bool ok = ch == dec || ch == tho || ch == ts || ch == ds || ch == minus || ch.isDigit()
              || (ch.unicode() < 32 && ch.unicode() != 13);
    auto special = [&](QChar c) { return c == dec || c == tho || c == minus || c == QLatin1Char('+'); };
    if (ch == ts && ok) {
        if (special(ts))
            ok = m_spinType != sptDate;
        else
            ok = m_spinType == sptTime;
    }
    if (ch == ds && ok && ch != ts) {
        if (special(ds))
            ok = m_spinType != sptTime;
        else
            ok = m_spinType == sptDate;
    }
    const QString t = text();
    const QString sel = selectedText();
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    if (ok && ch == minus && (caret != 0 || (t.contains(minus) && !sel.contains(minus))))
        ok = false;
    if (ok && m_spinType == sptNormal && !(ch == minus || ch.isDigit()))
        ok = false;
    if (ok && m_spinType == sptFloat && ch.unicode() != 13 && ch.unicode() != 27) {
        if (ch == tho && ch != dec)
            ok = false;
        else if (ch == dec && t.contains(dec) && !sel.contains(dec))
            ok = false;
        else if (m_precision > 0 && !hasSelectedText()) {
            const int p = int(t.indexOf(dec)) + 1;
            if (p > 0 && cursorPosition() >= p && t.size() >= p + m_precision)
                ok = false;
        }
    }
    if (ok && m_spinType == sptTime && ch == ts && t.count(ts) >= 2)
        ok = false;
    if (ok && !m_editorEnabled && (ch.unicode() >= 32 || ch == QLatin1Char('.')))
        ok = false;
    return ok;
}

void DAveVevaDiza::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Up || key == Qt::Key_PageUp) {
        StepUp();
        return;
    }
    if (key == Qt::Key_Down || key == Qt::Key_PageDown) {
        StepDown();
        return;
    }
    if (OnKeyDown) {
        int k = key;
        OnKeyDown(this, k, event->modifiers());
        if (k == 0)
            return;
    }
    if (HandleKey(event))
        return;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && ReturnIsTab) {
        focusNextChild();
        return;
    }
    if (!m_editorEnabled
        && (key == Qt::Key_Delete || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)
            || event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfWord))) {
        return;
    }
    if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) && isReadOnly())
        return;
    QString typed = event->text();
    if (key == Qt::Key_Backspace)
        typed = QString(QChar(8));
    if (!typed.isEmpty() && !(event->modifiers() & Qt::ControlModifier)) {
        QChar ch = typed.at(0);
        if (ch == QLatin1Char('.') && (event->modifiers() & Qt::KeypadModifier) && ExcelStyleDecimalSeparator)
            ch = Locale.decimalSeparator;
        if (!AcceptsChar(ch)) {
            Beep();
            return;
        }
        if (OnKeyPress) {
            OnKeyPress(this, ch);
            if (ch.isNull())
                return;
        }
        if (ch != typed.at(0) && ch.unicode() >= 32) {
            insert(QString(ch));
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void DAveVevaDiza::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_editorEnabled)
        return;   // no paste or cut by the menu either
    QLineEdit::contextMenuEvent(event);
}

void DAveVevaDiza::layoutButton()
{
    const int w = m_button->Direction() == spHorizontal ? 20 : 15;
    m_button->setGeometry(width() - w, 0, w, height());
    setTextMargins(1, 0, w + 2, 0);
}

int DAveVevaDiza::MinEditHeight() const
{
    const int h = QFontMetrics(font()).height();
    return h + std::min(h, SystemFontTextHeight()) / 4 + 2 + (hasFrame() ? 4 : 0);
}

void DAveVevaDiza::resizeEvent(QResizeEvent* event)
{
    // Laid out at once for the raised height: a hidden control gets no second resize event.
    if (height() < MinEditHeight())
        resize(width(), MinEditHeight());
    QLineEdit::resizeEvent(event);
    layoutButton();
}

void DAveVevaDiza::focusInEvent(QFocusEvent* event)
{
    if (!AutoSelect && SelectsOnFocusByItself(event->reason())) {
        QFocusEvent plain(QEvent::FocusIn, Qt::OtherFocusReason);
        QLineEdit::focusInEvent(&plain);
        return;
    }
    QLineEdit::focusInEvent(event);
    // A press on the arrows focuses the edit too; stepping rewrites the text, so the selection made
    // here does not outlive it.
    const bool leftPressHere = event->reason() == Qt::MouseFocusReason && (QApplication::mouseButtons() & Qt::LeftButton);
    if (!AutoSelect)
        return;
    if (!leftPressHere)
        selectAll();
    else if (!m_editorEnabled)
        // Not typable: the whole value is selected also after a click, once the press that brought
        // the focus has placed its caret.
        QTimer::singleShot(0, this, [this] {
            if (hasFocus())
                selectAll();
        });
}

void DAveVevaDiza::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A value outside its bounds is written back clamped.
    switch (m_spinType) {
    case sptNormal: { const int v = Value(); if (ClampValue(v) != v) SetValue(v); break; }
    case sptFloat: { const double v = FloatValue(); if (ClampFloat(v) != v) SetFloatValue(v); break; }
    case sptDate: {
        // An empty text stays empty (it reads as now, which is inside any bounds check's reach).
        if (text().trimmed().isEmpty())
            break;
        const QDateTime v = DateValue();
        if (ClampDate(v) != v)
            SetDateValue(v);
        break;
    }
    case sptTime: break;
    }
}

} // namespace grid::editors
