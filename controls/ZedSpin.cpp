#include "controls/ZedSpin.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QTimer>
#include <cmath>

namespace {

QLocale NumberLocale()
{
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return loc;
}

QChar FirstNonLetter(const QString& format, QChar fallback)
{
    for (QChar c : format)
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
            return c;
    return fallback;
}

// Built-in arrow glyphs of the classic look (7 by 4 pixels).
QPixmap ArrowGlyph(bool up)
{
    QPixmap pm(7, 4);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    for (int row = 0; row < 4; ++row) {
        const int y = up ? 3 - row : row;
        p.drawLine(row, y, 6 - row, y);
    }
    return pm;
}

constexpr double kMsPerDay = 86400000.0;

QTime TimeOfDay(double days)
{
    double frac = days - std::floor(days);
    qint64 ms = std::llround(frac * kMsPerDay);
    if (ms >= qint64(kMsPerDay))
        ms = qint64(kMsPerDay) - 1;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

}

// ---------------------------------------------------------------------------------------------
// TZedSpinButton

TZedSpinButton::TZedSpinButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    FUpButton = new DAvoRorurAroruDadaze(this);
    FUpButton->setObjectName(QStringLiteral("UpButton"));
    FDownButton = new DAvoRorurAroruDadaze(this);
    FDownButton->setObjectName(QStringLiteral("DownButton"));
    for (DAvoRorurAroruDadaze* b : { FUpButton, FDownButton }) {
        b->SetAllowTimer(true);
        b->installEventFilter(this);
    }
    FUpButton->SetButtonDirection(bdUp);
    FDownButton->SetButtonDirection(bdDown);
    SetUpGlyph(QPixmap());
    SetDownGlyph(QPixmap());
    connect(FUpButton, &QAbstractButton::clicked, this, [this] { if (OnUpClick) OnUpClick(); });
    connect(FDownButton, &QAbstractButton::clicked, this, [this] { if (OnDownClick) OnDownClick(); });
    FFocusedButton = FUpButton;
    resize(15, 25);
    AdjustSize();
}

void TZedSpinButton::SetUpGlyph(const QPixmap& glyph) { FUpButton->SetGlyph(glyph.isNull() ? ArrowGlyph(true) : glyph); }

void TZedSpinButton::SetDownGlyph(const QPixmap& glyph) { FDownButton->SetGlyph(glyph.isNull() ? ArrowGlyph(false) : glyph); }

void TZedSpinButton::SetDirection(TSpinDirection d)
{
    if (d == FDirection)
        return;
    FDirection = d;
    if (d == spHorizontal) {
        resize(20, height());
        FUpButton->SetButtonDirection(bdRight);
        FDownButton->SetButtonDirection(bdLeft);
    } else {
        resize(15, height());
        FUpButton->SetButtonDirection(bdUp);
        FDownButton->SetButtonDirection(bdDown);
    }
    AdjustSize();
}

void TZedSpinButton::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    AdjustSize();
}

void TZedSpinButton::AdjustSize()
{
    const int w = width(), h = height();
    if (FDirection == spVertical) {
        const int upH = h / 2;
        FUpButton->setGeometry(0, 0, w, upH);
        FDownButton->setGeometry(0, upH - 1, w, h - upH + 1);
    } else {
        const int half = w / 2;
        FDownButton->setGeometry(0, 0, half, h);
        FUpButton->setGeometry(half + 1, 0, w - half - 1, h);
    }
}

bool TZedSpinButton::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        FocusStep(static_cast<DAvoRorurAroruDadaze*>(watched));
    return QWidget::eventFilter(watched, e);
}

void TZedSpinButton::FocusStep(DAvoRorurAroruDadaze* pressed)
{
    if (focusPolicy() != Qt::NoFocus && isEnabled())
        FFocusedButton = pressed;
    QWidget* fc = FFocusControl;
    if (fc && (fc->focusPolicy() & Qt::TabFocus) && fc->isEnabled() && fc->isVisible() && !fc->hasFocus())
        fc->setFocus(Qt::MouseFocusReason);
    else if ((focusPolicy() & Qt::TabFocus) && isEnabled() && !hasFocus())
        setFocus(Qt::MouseFocusReason);
}

void TZedSpinButton::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Space: FFocusedButton->click(); break;
    case Qt::Key_Up: FFocusedButton = FUpButton; FUpButton->click(); break;
    case Qt::Key_Down: FFocusedButton = FDownButton; FDownButton->click(); break;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

void TZedSpinButton::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    FFocusedButton->update();
}

void TZedSpinButton::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    FFocusedButton->update();
}

// ---------------------------------------------------------------------------------------------
// TZedSpinEdit

TZedSpinEdit::TZedSpinEdit(QWidget* parent) : QLineEdit(parent)
{
    FButton = new TZedSpinButton(this);
    FButton->setObjectName(QStringLiteral("SpinButton"));
    FButton->SetFocusControl(this);
    FButton->OnUpClick = [this] { UpClick(); };
    FButton->OnDownClick = [this] { DownClick(); };
    FButton->setCursor(Qt::ArrowCursor);
    FFocusColor = palette().color(QPalette::Base);
    FNormalColor = palette().color(QPalette::Base);
    FLabelFont = font();
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this] { if (OnChange) OnChange(); });
    LayoutButton();
}

TZedSpinEdit::~TZedSpinEdit() { delete FLabel; }

QChar TZedSpinEdit::DecimalSeparator()
{
    const QString s = QLocale().decimalPoint();
    return s.isEmpty() ? QLatin1Char('.') : s.at(0);
}

QChar TZedSpinEdit::ThousandSeparator()
{
    const QString s = QLocale().groupSeparator();
    return s.isEmpty() ? QLatin1Char(',') : s.at(0);
}

QChar TZedSpinEdit::TimeSeparator() { return FirstNonLetter(QLocale().timeFormat(QLocale::ShortFormat), QLatin1Char(':')); }

QChar TZedSpinEdit::DateSeparator() { return FirstNonLetter(ShortDateFormat(), QLatin1Char('/')); }

QString TZedSpinEdit::ShortDateFormat()
{
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    // Two-digit years would lose the century; show four.
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

bool TZedSpinEdit::MonthFirst() const
{
    const QString f = ShortDateFormat().toUpper();
    return f.indexOf(QLatin1Char('M')) < f.indexOf(QLatin1Char('D'));
}

QString TZedSpinEdit::TimeFormat() const
{
    const QString sep(TimeSeparator());
    return QStringLiteral("H") + sep + QStringLiteral("mm") + (FShowSeconds ? sep + QStringLiteral("ss") : QString());
}

// --- limits and values

int TZedSpinEdit::CheckValue(int v) const
{
    if (FMinValue != 0 || FMaxValue != 0) {
        if (v < FMinValue)
            return FMinValue;
        if (v > FMaxValue)
            return FMaxValue;
    }
    return v;
}

double TZedSpinEdit::CheckFloat(double v) const
{
    if (FMinFloatValue != FMaxFloatValue) {
        if (v < FMinFloatValue)
            return FMinFloatValue;
        if (v > FMaxFloatValue)
            return FMaxFloatValue;
    }
    return v;
}

QDateTime TZedSpinEdit::CheckDate(const QDateTime& v) const
{
    if (FMinDateValue != FMaxDateValue) {
        if (FMinDateValue.isValid() && v < FMinDateValue)
            return FMinDateValue;
        if (FMaxDateValue.isValid() && v > FMaxDateValue)
            return FMaxDateValue;
    }
    return v;
}

int TZedSpinEdit::RawValue() const
{
    bool ok = false;
    const int v = NumberLocale().toInt(text().trimmed(), &ok);
    return ok ? v : FMinValue;
}

int TZedSpinEdit::Value() const { return CheckValue(RawValue()); }

void TZedSpinEdit::SetValue(int v)
{
    WriteText(QString::number(CheckValue(v)), false);
    if (!FEditorEnabled && FAutoSelect)
        selectAll();
}

double TZedSpinEdit::RawFloatValue() const
{
    bool ok = false;
    const double v = NumberLocale().toDouble(text().trimmed(), &ok);
    return ok && std::isfinite(v) ? v : FMinFloatValue;
}

double TZedSpinEdit::FloatValue() const { return CheckFloat(RawFloatValue()); }

void TZedSpinEdit::SetFloatValue(double v)
{
    v = CheckFloat(v);
    const QLocale loc = NumberLocale();
    QString s;
    if (FPrecision < 0)
        s = loc.toString(v, 'g', 4);
    else if (FPrecision > 0)
        s = loc.toString(v, 'f', FPrecision);
    else
        s = loc.toString(v, 'g', QLocale::FloatingPointShortest);
    WriteText(s, false);
}

QDateTime TZedSpinEdit::RawDateValue() const
{
    const QString t = text().trimmed();
    if (t.isEmpty() || t == QLatin1String("0"))
        return QDateTime::currentDateTime();
    const QDate d = QDate::fromString(t, ShortDateFormat());
    if (!d.isValid())
        return FMinDateValue;
    return QDateTime(d, FDateValue.isValid() ? FDateValue.time() : QTime(0, 0));
}

QDateTime TZedSpinEdit::DateValue() const { return CheckDate(RawDateValue()); }

void TZedSpinEdit::SetDateValue(const QDateTime& v)
{
    FDateValue = v;
    const QDateTime d = CheckDate(v);
    WriteText(d.date().toString(ShortDateFormat()), true);
}

double TZedSpinEdit::TimeValue() const
{
    QString t = text().trimmed();
    const QString sep(TimeSeparator());
    if (!FShowSeconds)
        t += sep + QStringLiteral("00");
    QTime tm = QTime::fromString(t, QStringLiteral("H") + sep + QStringLiteral("m") + sep + QStringLiteral("s"));
    if (!tm.isValid())
        return 0;
    return std::floor(FTimeValue) + tm.msecsSinceStartOfDay() / kMsPerDay;
}

void TZedSpinEdit::SetTimeValue(double v)
{
    FTimeValue = v;
    WriteText(TimeOfDay(v).toString(TimeFormat()), true);
}

int TZedSpinEdit::RawHexValue() const
{
    const QString digits = text().mid(2);
    quint32 v = 0;
    int i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        bool ok = false;
        const uint pair = digits.mid(i, 2).toUInt(&ok, 16);
        v = v * 256 + (ok ? pair : 0);
    }
    if (i < digits.size()) {
        bool ok = false;
        const uint d = digits.mid(i, 1).toUInt(&ok, 16);
        v = v * 16 + (ok ? d : 0);
    }
    return int(v);
}

int TZedSpinEdit::HexValue() const { return CheckValue(RawHexValue()); }

void TZedSpinEdit::SetHexValue(int v)
{
    FHexValue = v;
    WriteText(QStringLiteral("0x") + QString::number(quint32(v), 16).toUpper(), true);
}

void TZedSpinEdit::WriteText(const QString& s, bool keepCaret)
{
    const int caret = cursorPosition();
    setText(s);
    if (keepCaret)
        setCursorPosition(qMin(caret, int(s.size())));
}

void TZedSpinEdit::SetSpinType(TZedSpinType t)
{
    FSpinType = t;
    switch (t) {
    case sptNormal: SetValue(Value()); break;
    case sptFloat: SetFloatValue(FloatValue()); break;
    case sptDate: SetDateValue(DateValue()); break;
    case sptTime: SetTimeValue(TimeValue()); break;
    case sptHex: SetHexValue(HexValue()); break;
    }
}

void TZedSpinEdit::SetPrecision(int p)
{
    FPrecision = p;
    if (FSpinType == sptFloat)
        SetFloatValue(FloatValue());
}

void TZedSpinEdit::SetShowSeconds(bool on)
{
    if (FSpinType != sptTime)
        return;
    const double v = TimeValue();
    FShowSeconds = on;
    SetTimeValue(v);
}

void TZedSpinEdit::SetEditAlign(TEditAlign a)
{
    FEditAlign = a;
    setAlignment(a == eaRight ? Qt::AlignRight | Qt::AlignVCenter
                 : a == eaCenter ? Qt::AlignHCenter | Qt::AlignVCenter
                                 : Qt::AlignLeft | Qt::AlignVCenter);
}

TSpinDirection TZedSpinEdit::Direction() const { return FButton->Direction(); }

void TZedSpinEdit::SetDirection(TSpinDirection d)
{
    FButton->SetDirection(d);
    LayoutButton();
}

void TZedSpinEdit::SetFlat(bool on)
{
    if (on == FFlat)
        return;
    FFlat = on;
    if (on)
        FNormalColor = palette().color(QPalette::Base);
    else if (FNormalColor.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Base, FNormalColor);
        setPalette(pal);
    }
    setFrame(!on);
    LayoutButton();
    update();
}

void TZedSpinEdit::SetSpinFlat(bool on)
{
    FSpinFlat = on;
    FButton->UpButton()->SetFlat(on);
    FButton->DownButton()->SetFlat(on);
}

void TZedSpinEdit::SetSpinTransparent(bool on)
{
    FSpinTransparent = on;
    FButton->UpButton()->SetTransparent(on);
    FButton->DownButton()->SetTransparent(on);
    LayoutButton();
}

void TZedSpinEdit::SetLabelTransparent(bool on)
{
    FLabelTransparent = on;
    PlaceLabel();
}

void TZedSpinEdit::SetLabelFont(const QFont& f)
{
    FLabelFont = f;
    PlaceLabel();
}

// --- steps

void TZedSpinEdit::UpClick() { DoStep(Step::Up); }

void TZedSpinEdit::DownClick() { DoStep(Step::Down); }

void TZedSpinEdit::DoStep(Step step)
{
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    const QString before = text();
    const int selStart = selectionStart() >= 0 ? selectionStart() : cursorPosition();
    const int selLen = selectedText().size();
    switch (FSpinType) {
    case sptNormal:
    case sptFloat:
        if (FIncrementSmart)
            SmartStep(step);
        else
            PlainStep(step);
        break;
    case sptDate: DateStep(step); break;
    case sptTime: TimeStep(step); break;
    case sptHex: SetHexValue(HexValue() + (step == Step::Up ? FIncrement : -FIncrement)); break;
    }
    const QString after = text();
    if (after != before)
        setModified(true);
    int start = selStart;
    const bool minusBefore = before.startsWith(QLatin1Char('-'));
    const bool minusAfter = after.startsWith(QLatin1Char('-'));
    if (minusBefore && !minusAfter)
        start = qMax(0, start - 1);
    else if (!minusBefore && minusAfter)
        ++start;
    start = qMin(start, int(after.size()));
    if (selLen > 0)
        setSelection(start, qMin(selLen, int(after.size()) - start));
    else
        setCursorPosition(start);
}

void TZedSpinEdit::PlainStep(Step step)
{
    const int sign = step == Step::Up ? 1 : -1;
    if (FSpinType == sptNormal)
        SetValue(Value() + sign * FIncrement);
    else
        SetFloatValue(FloatValue() + sign * FIncrementFloat);
}

void TZedSpinEdit::SmartStep(Step step)
{
    const QString t = text();
    const int c = hasSelectedText() ? selectionStart() : cursorPosition();
    if (c == 0 || (c == 1 && t.contains(QLatin1Char('-')))) {
        PlainStep(step);
        return;
    }
    const int L = t.size();
    const int sepPos = t.indexOf(DecimalSeparator());
    const int d = sepPos < 0 ? -1 : L - sepPos - 1;
    const int sign = step == Step::Up ? 1 : -1;
    if (L - c < d) {
        if (FSpinType == sptFloat)
            SetFloatValue(FloatValue() + sign * std::pow(10.0, -(d - (L - c))));
        return;
    }
    int e = L - c - d - 1;
    if (d < 0)
        e = L - c;
    const double amount = e < 0 ? 1.0 : std::pow(10.0, e);
    if (FSpinType == sptFloat)
        SetFloatValue(FloatValue() + sign * amount);
    else
        SetValue(int(Value() + sign * static_cast<qint64>(amount)));
}

void TZedSpinEdit::DateStep(Step step)
{
    const int sign = step == Step::Up ? 1 : -1;
    const QString t = text();
    const QChar sep = DateSeparator();
    const int p1 = t.indexOf(sep);
    const int p2 = p1 < 0 ? -1 : t.indexOf(sep, p1 + 1);
    const int c = cursorPosition();
    const QDateTime cur = DateValue();
    QDate d = cur.date();
    int field; // 0 day, 1 month, 2 year
    if (p1 >= 0 && c <= p1)
        field = MonthFirst() ? 1 : 0;
    else if (p2 >= 0 && c <= p2)
        field = MonthFirst() ? 0 : 1;
    else
        field = 2;
    if (field == 0)
        d = d.addDays(sign);
    else if (field == 1)
        d = d.addMonths(sign);
    else
        d = d.addYears(sign);
    SetDateValue(QDateTime(d, cur.time()));
    setCursorPosition(qMin(c, int(text().size())));
}

void TZedSpinEdit::TimeStep(Step step)
{
    const QString t = text();
    const QChar sep = TimeSeparator();
    const int p1 = t.indexOf(sep);
    const int p2 = p1 < 0 ? -1 : t.indexOf(sep, p1 + 1);
    const int c = cursorPosition();
    double amount;
    if (p1 >= 0 && c <= p1)
        amount = FIncrementHours != 0 ? FIncrementHours / 24.0 : FIncrementMinutes / 1440.0;
    else if (FShowSeconds && p2 >= 0 && c >= p2)
        amount = 1.0 / 86400.0;
    else
        amount = FIncrementMinutes / 1440.0;
    const double cur = TimeValue();
    if (step == Step::Up)
        SetTimeValue(cur + amount);
    else if (cur >= amount - 1e-9)
        SetTimeValue(cur - amount);
    setCursorPosition(qMin(c, int(text().size())));
}

// --- keys and characters

bool TZedSpinEdit::IsValidChar(QChar& key) const
{
    const QChar dec = DecimalSeparator(), thou = ThousandSeparator(), tsep = TimeSeparator(), dsep = DateSeparator();
    const ushort k = key.unicode();
    const bool control = k < 0x20;
    const bool enter = k == 13;
    auto isSign = [](QChar c) { return c == QLatin1Char('+') || c == QLatin1Char('-'); };
    bool valid = key == dec || key == thou || key == tsep || key == dsep || isSign(key)
        || (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || (control && !enter);
    if (FSpinType == sptNormal && (key == dec || key == thou || key == tsep || key == dsep))
        valid = false;
    if (key == tsep && FSpinType != sptTime) {
        const bool shared = tsep == dec || tsep == thou || isSign(tsep);
        if (!(shared && (FSpinType == sptNormal || FSpinType == sptFloat)))
            valid = false;
    }
    if (key == dsep && FSpinType != sptDate) {
        const bool shared = dsep == dec || dsep == thou || isSign(dsep);
        if (!(shared && (FSpinType == sptNormal || FSpinType == sptFloat)))
            valid = false;
    }
    if (FSpinType == sptNormal && (key == dec || key == thou || key == tsep || key == dsep))
        valid = false;

    const QString t = text();
    const bool hasSel = hasSelectedText();
    const int caret = hasSel ? selectionStart() : cursorPosition();
    if (FSpinType == sptFloat && k != 8 && k != 13 && k != 27) {
        if (key == thou)
            key = dec;
        if (key == dec) {
            if (hasSel && selectedText() == t)
                valid = true;
            else
                valid = !t.contains(dec) && FPrecision != 0;
        }
        if (FPrecision > 0 && !hasSel) {
            const int decPos = t.indexOf(dec);
            if (decPos >= 0 && decPos <= caret && t.size() - decPos - 1 >= FPrecision)
                valid = false;
        }
    }
    if (FSpinType == sptTime) {
        if ((key == QLatin1Char(',') || key == QLatin1Char('.')) && key != tsep) {
            key = tsep;
            valid = true;
        }
        if (key == tsep) {
            QString rest = t;
            if (hasSel)
                rest.remove(selectionStart(), selectedText().size());
            if (rest.contains(tsep))
                valid = false;
        }
    }
    if (FSpinType == sptHex) {
        const bool hexDigit = (key >= QLatin1Char('0') && key <= QLatin1Char('9'))
            || (key >= QLatin1Char('A') && key <= QLatin1Char('F')) || (key >= QLatin1Char('a') && key <= QLatin1Char('f'));
        valid = (hexDigit || (control && !enter)) && caret > 1;
        if (k == 8 && caret == 2 && !hasSel)
            valid = false;
    }
    if (!FEditorEnabled && (!control || k == 8 || key == QLatin1Char('.')))
        valid = false;
    return valid;
}

void TZedSpinEdit::InsertLimited(const QString& s)
{
    QString ins = s;
    if (FMaxLength > 0) {
        const int room = FMaxLength - (int(text().size()) - int(selectedText().size()));
        if (room <= 0) {
            QApplication::beep();
            return;
        }
        ins = ins.left(room);
    }
    insert(ins);
}

bool TZedSpinEdit::HandleCharacter(QKeyEvent* e)
{
    const QString s = e->text();
    const bool backspace = e->key() == Qt::Key_Backspace;
    if (!backspace && (s.size() != 1 || s.at(0).unicode() < 0x20 || (e->modifiers() & Qt::ControlModifier)))
        return false;
    QChar key = backspace ? QChar(8) : s.at(0);
    if (key == QLatin1Char('+'))
        return true;
    if (key == QLatin1Char('-') && !(FSpinType == sptDate && DateSeparator() == QLatin1Char('-'))) {
        if (FSigned && FEditorEnabled && !isReadOnly()) {
            const int c = cursorPosition();
            QString t = text();
            if (t.startsWith(QLatin1Char('-'))) {
                t.remove(0, 1);
                setText(t);
                setCursorPosition(qMax(0, c - 1));
            } else {
                setText(QLatin1Char('-') + t);
                setCursorPosition(c + 1);
            }
            setModified(true);
        }
        return true;
    }
    if (!IsValidChar(key)) {
        QApplication::beep();
        return true;
    }
    if (backspace)
        return false; // the edit's own Backspace handling
    if (isReadOnly())
        return true;
    InsertLimited(QString(key));
    setModified(true);
    return true;
}

void TZedSpinEdit::keyPressEvent(QKeyEvent* e)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) {
            UpClick();
        } else if (FReturnIsTab) {
            focusNextChild();
        } else {
            QChar c(13);
            if (OnKeyPress)
                OnKeyPress(c);
        }
        e->accept();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int sign = e->key() == Qt::Key_PageUp ? 1 : -1;
        const int selStart = selectionStart(), selLen = selectedText().size(), caret = cursorPosition();
        if (!FIncrementSmart || hasSelectedText()) {
            if (FSpinType == sptNormal)
                SetValue(Value() + sign * FIncrementPage);
            else if (FSpinType == sptFloat)
                SetFloatValue(FloatValue() + sign * FIncrementFloatPage);
        } else {
            SmartStep(sign > 0 ? Step::Up : Step::Down);
        }
        if (selLen > 0)
            setSelection(selStart, selLen);
        else
            setCursorPosition(qMin(caret, int(text().size())));
        e->accept();
        return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const Step step = e->key() == Qt::Key_Up ? Step::Up : Step::Down;
        if (!FIncrementSmart || hasSelectedText() || FSpinType > sptFloat) {
            DoStep(step);
        } else {
            const int caret = cursorPosition();
            SmartStep(step);
            setCursorPosition(qMin(caret, int(text().size())));
        }
        e->accept();
        return;
    }
    case Qt::Key_Delete:
        if (!FEditorEnabled || (FSpinType == sptHex && cursorPosition() < 2)) {
            e->accept();
            return;
        }
        break;
    default:
        break;
    }
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut)) {
        if (FEditorEnabled && !isReadOnly()) {
            if (e->matches(QKeySequence::Cut))
                cut();
            else
                InsertLimited(QApplication::clipboard()->text());
        }
        e->accept();
        return;
    }
    if (HandleCharacter(e)) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

// --- focus, layout, label

void TZedSpinEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (FAutoSelect && !(e->reason() == Qt::MouseFocusReason && FEditorEnabled))
        selectAll();
    if (FFocusColor.isValid()) {
        FNormalColor = palette().color(QPalette::Base);
        QPalette pal = palette();
        pal.setColor(QPalette::Base, FFocusColor);
        setPalette(pal);
    }
    update();
    if (OnEnter)
        OnEnter();
}

void TZedSpinEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    switch (FSpinType) {
    case sptNormal:
        if (CheckValue(RawValue()) != RawValue())
            SetValue(RawValue());
        break;
    case sptFloat:
        if (CheckFloat(RawFloatValue()) != RawFloatValue())
            SetFloatValue(RawFloatValue());
        break;
    case sptDate:
        if (CheckDate(RawDateValue()) != RawDateValue())
            SetDateValue(RawDateValue());
        break;
    case sptHex:
        SetHexValue(CheckValue(RawHexValue()));
        break;
    case sptTime:
        break;
    }
    if (FFocusColor.isValid() && FNormalColor.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Base, FNormalColor);
        setPalette(pal);
    }
    update();
    if (OnExit)
        OnExit();
}

void TZedSpinEdit::enterEvent(QEnterEvent* e)
{
    QLineEdit::enterEvent(e);
    if (FAutoFocus && isEnabled() && !hasFocus())
        setFocus(Qt::OtherFocusReason);
}

void TZedSpinEdit::LayoutButton()
{
    const int bw = FButton->width();
    const int margin = FFlat ? 2 : 0;
    FButton->setGeometry(width() - bw - margin - (FFlat ? 0 : 1), FFlat ? 0 : 1, bw, height() - (FFlat ? 0 : 2));
    setTextMargins(margin, 0, bw + 2, 0);
}

void TZedSpinEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    LayoutButton();
    PlaceLabel();
}

void TZedSpinEdit::moveEvent(QMoveEvent* e)
{
    QLineEdit::moveEvent(e);
    PlaceLabel();
}

void TZedSpinEdit::changeEvent(QEvent* e)
{
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::EnabledChange && FLabel && !FLabelAlwaysEnabled)
        FLabel->setEnabled(isEnabled());
    if (e->type() == QEvent::ParentChange && FLabel) {
        FLabel->setParent(parentWidget());
        PlaceLabel();
    }
}

void TZedSpinEdit::showEvent(QShowEvent* e)
{
    QLineEdit::showEvent(e);
    if (FLabel)
        FLabel->show();
}

void TZedSpinEdit::hideEvent(QHideEvent* e)
{
    QLineEdit::hideEvent(e);
    if (FLabel && !isVisibleTo(parentWidget()))
        FLabel->hide();
}

void TZedSpinEdit::paintEvent(QPaintEvent* e)
{
    QLineEdit::paintEvent(e);
    if (!FFlat && !(hasFocus() && FFocusBorderColor.isValid()))
        return;
    QPainter p(this);
    if (FFlat) {
        p.setPen(FFlatLineColor);
        p.drawLine(0, height() - 1, width() - FButton->width() - 4, height() - 1);
    }
    if (hasFocus() && FFocusBorderColor.isValid()) {
        p.setPen(FFocusBorderColor);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

QString TZedSpinEdit::LabelCaption() const { return FLabel ? FLabel->text() : QString(); }

void TZedSpinEdit::SetLabelCaption(const QString& caption)
{
    if (!FLabel) {
        FLabel = new QLabel(parentWidget());
        FLabel->setBuddy(this);
        FLabel->setFont(FLabelFont);
        FLabel->setEnabled(isEnabled() || FLabelAlwaysEnabled);
        FLabel->setVisible(isVisibleTo(parentWidget()) || !parentWidget());
    }
    FLabel->setText(caption);
    FLabel->adjustSize();
    PlaceLabel();
}

void TZedSpinEdit::SetLabelPosition(TLabelPosition p)
{
    FLabelPosition = p;
    PlaceLabel();
}

void TZedSpinEdit::SetLabelMargin(int m)
{
    FLabelMargin = m;
    PlaceLabel();
}

void TZedSpinEdit::PlaceLabel()
{
    if (!FLabel)
        return;
    FLabel->setAutoFillBackground(!FLabelTransparent);
    const int w = FLabel->width(), h = FLabel->height();
    const int t = FLabel->fontMetrics().horizontalAdvance(FLabel->text());
    const int L = x(), T = y(), W = width(), H = height(), m = FLabelMargin;
    const int center = W > w ? L + (W - w) / 2 : L - (w - W) / 2;
    int top = T, left = L;
    switch (FLabelPosition) {
    case lpLeftTop: top = T; left = L - t - m; break;
    case lpLeftCenter: top = T + (H - h) / 2; left = L - t - m; break;
    case lpLeftBottom: top = T + H - h; left = L - t - m; break;
    case lpTopLeft: top = T - h - m; left = L; break;
    case lpBottomLeft: top = T + H + m; left = L; break;
    case lpLeftTopLeft: top = T; left = L - m; break;
    case lpLeftCenterLeft: top = T + (H - h) / 2; left = L - m; break;
    case lpLeftBottomLeft: top = T + H - h; left = L - m; break;
    case lpTopCenter: top = T - h - m; left = center; break;
    case lpBottomCenter: top = T + H + m; left = center; break;
    }
    FLabel->move(left, top);
    if (FLabel->font() != FLabelFont) {
        FLabel->setFont(FLabelFont);
        FLabel->adjustSize();
    }
}
