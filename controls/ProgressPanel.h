#pragma once
// TProgressPanel: a group box showing how far a long operation has come - rows left and done,
// time left and needed, and a progress bar. TProgressLabel: one line of a check list - a
// description, a progress mark and a coloured "done" or "failed" word.
// Both are used from the main thread only.
#include <QGroupBox>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <stdexcept>

class QLabel;
class QProgressBar;

// Raised when a range property would become inconsistent (a maximum below the minimum).
class EPropertyOutOfRange : public std::runtime_error {
public:
    explicit EPropertyOutOfRange(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

// Formats a duration (milliseconds) like a time of day with the tokens h/hh (hours), n/nn
// (minutes), s/ss (seconds) and z/zzz (milliseconds), case-insensitive; text in single or double
// quotes and every other character are copied. Hours wrap at 24, like a time of day.
QString FormatElapsedTime(const QString& format, qint64 msecs);

class TProgressPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TProgressPanel(QWidget* parent = nullptr);

    int Max() const { return FMax; }
    // Raises EPropertyOutOfRange ("TProgressPanel property out of range") and changes nothing
    // when the value is below Min.
    void SetMax(int value);
    int Min() const { return FMin; }
    // Raises EPropertyOutOfRange when the value is above Max.
    void SetMin(int value);
    int Step() const { return FStep; }
    void SetStep(int value) { FStep = value; }
    int Position() const { return FPosition; }
    // A value outside Min..Max is ignored.
    void SetPosition(int value);

    QString CaptionLeft() const;
    void SetCaptionLeft(const QString& text);
    QString CaptionDone() const;
    void SetCaptionDone(const QString& text);
    QString CaptionTimeLeft() const;
    void SetCaptionTimeLeft(const QString& text);
    QString CaptionTimeNeeded() const;
    void SetCaptionTimeNeeded(const QString& text);
    QString DateTimeFormat() const { return FDateTimeFormat; }
    void SetDateTimeFormat(const QString& format);
    // The labels are updated at most once per this many milliseconds (400 by default); the
    // last position (Max) is always shown.
    int RefreshRate() const { return FRefreshRate; }
    void SetRefreshRate(int msecs) { FRefreshRate = msecs; }

    // Starts the clock: the start time and the last update are now.
    void Start();
    // Starts the clock when it is not running yet, then moves Position by n.
    void StepBy(int n);
    void StepIt() { StepBy(FStep); }

    // The clock the panel reads: milliseconds on any steady scale. Tests put their own in.
    void SetClock(std::function<qint64()> clock);

    // The value labels, for reading what the panel shows.
    QString LeftText() const;
    QString DoneText() const;
    QString TimeLeftText() const;
    QString TimeNeededText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    qint64 Now() const;
    void LayoutRowCaptions();
    void LayoutTimeCaptions();

    int FMax = 0;
    int FMin = 0;
    int FStep = 1;
    int FPosition = 0;
    QString FDateTimeFormat;
    int FRefreshRate = 400;
    std::optional<qint64> FStartTime;
    qint64 FLastUpdate = 0;
    std::function<qint64()> FClock;

    QLabel* FCaptionLeft;
    QLabel* FCaptionDone;
    QLabel* FCaptionTimeLeft;
    QLabel* FCaptionTimeNeeded;
    QLabel* FValueLeft;
    QLabel* FValueDone;
    QLabel* FValueTimeLeft;
    QLabel* FValueTimeNeeded;
    QProgressBar* FBar;
};

class TProgressLabel : public QWidget {
    Q_OBJECT
public:
    explicit TProgressLabel(QWidget* parent = nullptr);

    QString Description() const;
    void SetDescription(const QString& text);
    QString ProgressString() const { return FProgressString; }
    void SetProgressString(const QString& text) { FProgressString = text; }
    QString DoneString() const { return FDoneString; }
    void SetDoneString(const QString& text) { FDoneString = text; }
    QString FailedString() const { return FFailedString; }
    void SetFailedString(const QString& text) { FFailedString = text; }
    int Padding() const { return FPadding; }
    void SetPadding(int pixels);
    // The description's font; the progress and status labels take it when they are made.
    QFont Font() const;
    void SetFont(const QFont& font);

    void ShowProgress();
    void ShowDone();
    void ShowFailed();

    // The labels made on first use (null before).
    QLabel* DescriptionLabel() const { return FDescription; }
    QLabel* ProgressLabel() const { return FProgress; }
    QLabel* StatusLabel() const { return FStatus; }

private:
    void ShowStatus(const QString& text, const QColor& color);

    QString FProgressString;
    QString FDoneString;
    QString FFailedString;
    int FPadding = 5;
    QLabel* FDescription;
    QLabel* FProgress = nullptr;
    QLabel* FStatus = nullptr;
};
