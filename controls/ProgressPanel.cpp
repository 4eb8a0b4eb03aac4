#include "controls/ProgressPanel.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <algorithm>

namespace {

qint64 SteadyMSecs()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

QString Padded(qint64 value, int width)
{
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

int TextWidth(const QLabel* label)
{
    return label->fontMetrics().horizontalAdvance(label->text());
}

void SetLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
    label->repaint();
}

} // namespace

QString FormatElapsedTime(const QString& format, qint64 msecs)
{
    msecs = std::max<qint64>(msecs, 0);
    const qint64 hours = (msecs / 3600000) % 24;
    const qint64 minutes = (msecs / 60000) % 60;
    const qint64 seconds = (msecs / 1000) % 60;
    const qint64 millis = msecs % 1000;

    QString out;
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype close = format.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? n : close;
            out += format.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        const QChar lower = c.toLower();
        qsizetype run = 1;
        while (i + run < n && format[i + run].toLower() == lower)
            ++run;
        if (lower == QLatin1Char('h') || lower == QLatin1Char('n') || lower == QLatin1Char('s')) {
            const qint64 v = lower == QLatin1Char('h') ? hours : lower == QLatin1Char('n') ? minutes : seconds;
            // "hh" pads to two digits; a longer run is read in pairs.
            qsizetype left = run;
            while (left > 0) {
                out += left >= 2 ? Padded(v, 2) : QString::number(v);
                left -= 2;
            }
            i += run;
            continue;
        }
        if (lower == QLatin1Char('z')) {
            qsizetype left = run;
            while (left > 0) {
                out += left >= 3 ? Padded(millis, 3) : QString::number(millis);
                left -= 3;
            }
            i += run;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// ---- TProgressPanel ----------------------------------------------------------------------

TProgressPanel::TProgressPanel(QWidget* parent)
    : QGroupBox(parent)
    , FDateTimeFormat(QStringLiteral("nn:ss:zzz"))
    , FClock(SteadyMSecs)
{
    resize(281, 80);
    auto makeLabel = [this](const QString& name, const QString& text, int x, int y) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->move(x, y);
        label->adjustSize();
        return label;
    };
    FCaptionLeft = makeLabel(QStringLiteral("LabelCaptionLeft"), QStringLiteral("Rows left:"), 8, 16);
    FCaptionDone = makeLabel(QStringLiteral("LabelCaptionDone"), QStringLiteral("Rows done:"), 8, 32);
    FCaptionTimeLeft = makeLabel(QStringLiteral("LabelCaptionTimeLeft"), QStringLiteral("Time left:"), 0, 16);
    FCaptionTimeNeeded = makeLabel(QStringLiteral("LabelCaptionTimeNeeded"), QStringLiteral("Time needed:"), 0, 32);
    FValueLeft = makeLabel(QStringLiteral("LabelLeft"), QStringLiteral("0"), 0, 16);
    FValueDone = makeLabel(QStringLiteral("LabelDone"), QStringLiteral("0"), 0, 32);
    FValueTimeLeft = makeLabel(QStringLiteral("LabelTimeLeft"), FormatElapsedTime(FDateTimeFormat, 0), 0, 16);
    FValueTimeNeeded = makeLabel(QStringLiteral("LabelTimeNeeded"), FormatElapsedTime(FDateTimeFormat, 0), 0, 32);

    FBar = new QProgressBar(this);
    FBar->setObjectName(QStringLiteral("ProgressBar"));
    FBar->setTextVisible(false);
    FBar->setRange(0, 0);
    FBar->setValue(0);
    FBar->setGeometry(7, 52, width() - 14, 17);

    LayoutRowCaptions();
    LayoutTimeCaptions();
}

qint64 TProgressPanel::Now() const
{
    return FClock();
}

void TProgressPanel::SetClock(std::function<qint64()> clock)
{
    FClock = clock ? std::move(clock) : std::function<qint64()>(SteadyMSecs);
}

void TProgressPanel::SetMax(int value)
{
    if (value < FMin)
        throw EPropertyOutOfRange(QStringLiteral("%1 property out of range").arg(QStringLiteral("TProgressPanel")));
    FMax = value;
    FBar->setMaximum(value);
    SetLabelText(FValueLeft, QString::number(FMax - FPosition));
}

void TProgressPanel::SetMin(int value)
{
    if (value > FMax)
        throw EPropertyOutOfRange(QStringLiteral("%1 property out of range").arg(QStringLiteral("TProgressPanel")));
    FMin = value;
    FBar->setMinimum(value);
    SetLabelText(FValueLeft, QString::number(FMax - FPosition));
}

void TProgressPanel::SetPosition(int value)
{
    if (value < FMin || value > FMax)
        return;
    FPosition = value;
    const qint64 now = Now();
    if (FStartTime && now - FLastUpdate <= FRefreshRate && value != FMax)
        return;
    FLastUpdate = now;
    SetLabelText(FValueLeft, QString::number(FMax - FPosition));
    SetLabelText(FValueDone, QString::number(FPosition - FMin));
    FBar->setValue(FPosition);

    const qint64 needed = FStartTime ? now - *FStartTime : 0;
    qint64 left = 0;
    if (FStartTime && FPosition > FMin)
        left = qint64(double(needed) * double(qint64(FMax) - FMin) / double(qint64(FPosition) - FMin)) - needed;
    SetLabelText(FValueTimeLeft, FormatElapsedTime(FDateTimeFormat, left));
    SetLabelText(FValueTimeNeeded, FormatElapsedTime(FDateTimeFormat, needed));
}

void TProgressPanel::Start()
{
    const qint64 now = Now();
    FStartTime = now;
    FLastUpdate = now;
}

void TProgressPanel::StepBy(int n)
{
    if (!FStartTime)
        Start();
    SetPosition(FPosition + n);
}

QString TProgressPanel::CaptionLeft() const { return FCaptionLeft->text(); }
QString TProgressPanel::CaptionDone() const { return FCaptionDone->text(); }
QString TProgressPanel::CaptionTimeLeft() const { return FCaptionTimeLeft->text(); }
QString TProgressPanel::CaptionTimeNeeded() const { return FCaptionTimeNeeded->text(); }

void TProgressPanel::SetCaptionLeft(const QString& text)
{
    SetLabelText(FCaptionLeft, text);
    LayoutRowCaptions();
}

void TProgressPanel::SetCaptionDone(const QString& text)
{
    SetLabelText(FCaptionDone, text);
    LayoutRowCaptions();
}

void TProgressPanel::SetCaptionTimeLeft(const QString& text)
{
    SetLabelText(FCaptionTimeLeft, text);
    LayoutTimeCaptions();
}

void TProgressPanel::SetCaptionTimeNeeded(const QString& text)
{
    SetLabelText(FCaptionTimeNeeded, text);
    LayoutTimeCaptions();
}

void TProgressPanel::SetDateTimeFormat(const QString& format)
{
    FDateTimeFormat = format;
    SetPosition(FPosition);
    LayoutTimeCaptions();
}

QString TProgressPanel::LeftText() const { return FValueLeft->text(); }
QString TProgressPanel::DoneText() const { return FValueDone->text(); }
QString TProgressPanel::TimeLeftText() const { return FValueTimeLeft->text(); }
QString TProgressPanel::TimeNeededText() const { return FValueTimeNeeded->text(); }

void TProgressPanel::LayoutRowCaptions()
{
    const int x = std::max(TextWidth(FCaptionLeft), TextWidth(FCaptionDone)) + 16;
    FValueLeft->move(x, FValueLeft->y());
    FValueDone->move(x, FValueDone->y());
}

void TProgressPanel::LayoutTimeCaptions()
{
    // The time values stand at the right edge and their captions just left of them, so the row
    // counters keep the room up to the captions.
    const int valueWidth = std::max({ TextWidth(FValueTimeLeft), TextWidth(FValueTimeNeeded),
                                      FValueTimeLeft->fontMetrics().horizontalAdvance(FormatElapsedTime(FDateTimeFormat, 0)) });
    const int valueX = width() - 8 - valueWidth;
    FValueTimeLeft->move(valueX, FValueTimeLeft->y());
    FValueTimeNeeded->move(valueX, FValueTimeNeeded->y());
    const int captionX = valueX - std::max(TextWidth(FCaptionTimeLeft), TextWidth(FCaptionTimeNeeded)) - 8;
    FCaptionTimeLeft->move(captionX, FCaptionTimeLeft->y());
    FCaptionTimeNeeded->move(captionX, FCaptionTimeNeeded->y());
}

void TProgressPanel::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    FBar->setGeometry(7, 52, width() - 14, FBar->height());
    LayoutTimeCaptions();
}

void TProgressPanel::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        for (QLabel* label : {FCaptionLeft, FCaptionDone, FCaptionTimeLeft, FCaptionTimeNeeded, FValueLeft, FValueDone,
                              FValueTimeLeft, FValueTimeNeeded})
            label->adjustSize();
        LayoutRowCaptions();
        LayoutTimeCaptions();
    }
}

// ---- TProgressLabel ----------------------------------------------------------------------

TProgressLabel::TProgressLabel(QWidget* parent)
    : QWidget(parent)
    , FProgressString(QStringLiteral("..."))
    , FDoneString(QStringLiteral("Erledigt."))
    , FFailedString(QStringLiteral("Fehlgeschlagen."))
{
    FDescription = new QLabel(this);
    FDescription->setObjectName(QStringLiteral("LabelDescription"));
    FDescription->move(FPadding, 0);
    FDescription->adjustSize();
    resize(width(), FDescription->height());
}

QString TProgressLabel::Description() const
{
    return FDescription->text();
}

void TProgressLabel::SetDescription(const QString& text)
{
    FDescription->setText(text);
    FDescription->adjustSize();
    resize(width(), FDescription->height());
}

void TProgressLabel::SetPadding(int pixels)
{
    FPadding = pixels;
    FDescription->move(FPadding, FDescription->y());
}

QFont TProgressLabel::Font() const
{
    return FDescription->font();
}

void TProgressLabel::SetFont(const QFont& font)
{
    FDescription->setFont(font);
    FDescription->adjustSize();
    resize(width(), FDescription->height());
}

void TProgressLabel::ShowProgress()
{
    if (!FProgress) {
        FProgress = new QLabel(this);
        FProgress->setObjectName(QStringLiteral("LabelProgress"));
        FProgress->setFont(FDescription->font());
        FProgress->show();
    }
    FProgress->move(FDescription->x() + FDescription->width() + FPadding, FDescription->y());
    FProgress->setText(FProgressString);
    FProgress->adjustSize();
    resize(std::max(width(), FProgress->x() + FProgress->width()), height());
}

void TProgressLabel::ShowStatus(const QString& text, const QColor& color)
{
    ShowProgress();
    if (!FStatus) {
        FStatus = new QLabel(this);
        FStatus->setObjectName(QStringLiteral("LabelStatus"));
        FStatus->setFont(FDescription->font());
        FStatus->show();
    }
    FStatus->move(FProgress->x() + FProgress->width() + FPadding, FDescription->y());
    QPalette pal = FStatus->palette();
    pal.setColor(QPalette::WindowText, color);
    FStatus->setPalette(pal);
    FStatus->setText(text);
    FStatus->adjustSize();
    resize(std::max(width(), FStatus->x() + FStatus->width()), height());
}

void TProgressLabel::ShowDone()
{
    ShowStatus(FDoneString, QColor(0, 128, 0));
}

void TProgressLabel::ShowFailed()
{
    ShowStatus(FFailedString, QColor(255, 0, 0));
}
