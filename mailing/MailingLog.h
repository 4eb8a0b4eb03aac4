#pragma once
// The mailing log of the mailing page: a coloured, read-only text in which every mailing writes
// its header, its events, one line per sent or failed mail and its totals. Its first line is
// empty. It can be printed, copied to the clipboard and saved as a text file. It is a plain-text
// edit: that lays out only the lines in view, where a rich-text edit lays out every line a
// mailing adds.
#include <QColor>
#include <QStringList>
#include <QPlainTextEdit>
#include <QTimer>
#include <functional>
#include <utility>

class QPrinter;

namespace mailcolors {
inline const QColor Black(0, 0, 0);
inline const QColor Blue(0, 0, 255);
inline const QColor Red(255, 0, 0);
inline const QColor Green(14, 144, 4);
}

// Log times, dates and numbers are German whatever the process locale.
QString LogTime();                 // hh:mm:ss
QString LogDate();                 // dd.MM.yyyy
QString LogNumber(double value);   // decimal comma, no grouping

class TMailingLog : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMailingLog(QWidget* parent = nullptr);

    // Starts a new line at the end, writes the text in the colour and scrolls it into view.
    void WriteToLog(const QString& text, const QColor& color);
    // Writes several lines as WriteToLog does, in one edit and one scroll.
    void WriteLinesToLog(const QList<std::pair<QString, QColor>>& lines);
    // The same lines written a little later, together with the lines queued in the meantime:
    // a shown log lays out and paints what each edit adds, which would cost a mailing more than
    // its mails. Every other write and every read of the log writes the queued lines first, so
    // order and colours stay.
    void QueueLines(const QList<std::pair<QString, QColor>>& lines);
    void FlushQueuedLines();
    static constexpr int QueueMs = 100;
    // Appends a plain line that keeps the colour of the line before.
    void AppendLine(const QString& text);
    // The header of a mailing: 62 hyphens, date and time, sender, server, an empty line.
    void PrepareLogHeader(const QString& from, const QString& smtpServer);

    QStringList Lines() const;
    QColor LineColor(int line) const;  // colour of the line's first character

    // Writes the lines below the empty first one as UTF-8 with CR LF; on failure shows
    // "Datei kann nicht gespeichert werden: " + file name and returns false.
    bool SaveToFile(const QString& fileName);
    void CopyToClipboard();
    // Every line, the empty first one included, with a font 3.4 mm high.
    void PrintLog(QPrinter& printer);

    // The three buttons of the log group.
    void SpeedButtonPrintLogFileClick();
    void SpeedButtonCopyLogToClipboardClick() { CopyToClipboard(); }
    void SpeedButtonSaveLogFileClick();

    // Notice to the user (a message box unless replaced).
    std::function<void(const QString&)> ShowMessage;

private:
    QList<std::pair<QString, QColor>> m_queued;
    QTimer* m_queueTimer = nullptr;
};
