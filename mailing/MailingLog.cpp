#include "mailing/MailingLog.h"

#include "core/OrvUtils.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {
QLocale GermanLocale()
{
    QLocale l(QLocale::German, QLocale::Germany);
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}
}

QString LogTime()
{
    // Asked for with every batch of log lines: the local time is looked up and written once a
    // second (each lookup reads the time zone file's state anew).
    thread_local qint64 second = -1;
    thread_local QString text;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        second = now;
        text = GermanLocale().toString(QDateTime::fromSecsSinceEpoch(now).time(), QStringLiteral("hh:mm:ss"));
    }
    return text;
}

QString LogDate()
{
    return GermanLocale().toString(QDate::currentDate(), QStringLiteral("dd.MM.yyyy"));
}

QString LogNumber(double value)
{
    return GermanLocale().toString(value, 'g', 15);
}

TMailingLog::TMailingLog(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("MemoLogFile"));
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    m_queueTimer = new QTimer(this);
    m_queueTimer->setSingleShot(true);
    connect(m_queueTimer, &QTimer::timeout, this, &TMailingLog::FlushQueuedLines);
}

void TMailingLog::QueueLines(const QList<std::pair<QString, QColor>>& lines)
{
    if (lines.isEmpty())
        return;
    m_queued.append(lines);
    if (!m_queueTimer->isActive())
        m_queueTimer->start(QueueMs);
}

void TMailingLog::FlushQueuedLines()
{
    m_queueTimer->stop();
    if (m_queued.isEmpty())
        return;
    const QList<std::pair<QString, QColor>> lines = std::move(m_queued);
    m_queued.clear();
    WriteLinesToLog(lines);
}

void TMailingLog::WriteToLog(const QString& text, const QColor& color)
{
    FlushQueuedLines();
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertBlock();
    QTextCharFormat fmt = c.charFormat();
    fmt.setForeground(color);
    c.setCharFormat(fmt);
    c.insertText(text, fmt);
    setTextCursor(c);
    ensureCursorVisible();
}

void TMailingLog::WriteLinesToLog(const QList<std::pair<QString, QColor>>& lines)
{
    FlushQueuedLines();
    if (lines.isEmpty())
        return;
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    // A run of lines in one colour is inserted as one text with paragraph separators between
    // them: the same blocks and formats as line by line, for a fraction of the cost.
    QString run;
    for (qsizetype i = 0; i < lines.size();) {
        const QColor& color = lines.at(i).second;
        c.insertBlock();
        QTextCharFormat fmt = c.charFormat();
        fmt.setForeground(color);
        c.setCharFormat(fmt);
        qsizetype end = i + 1;
        while (end < lines.size() && lines.at(end).second == color)
            ++end;
        if (end == i + 1) {
            c.insertText(lines.at(i).first, fmt);
        } else {
            run.clear();
            for (qsizetype j = i; j < end; ++j) {
                if (j > i)
                    run += QChar::ParagraphSeparator;
                run += lines.at(j).first;
            }
            c.insertText(run, fmt);
        }
        i = end;
    }
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
}

void TMailingLog::AppendLine(const QString& text)
{
    FlushQueuedLines();
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    const QTextCharFormat fmt = c.charFormat();
    c.insertBlock();
    c.insertText(text, fmt);
    setTextCursor(c);
    ensureCursorVisible();
}

void TMailingLog::PrepareLogHeader(const QString& from, const QString& smtpServer)
{
    WriteToLog(QString(62, QLatin1Char('-')), mailcolors::Black);
    AppendLine(QStringLiteral("Datum/Uhrzeit:  ") + LogDate() + QLatin1Char(' ') + LogTime());
    AppendLine(QStringLiteral("Benutzer:  ") + from);
    AppendLine(QStringLiteral("SMTP Server: ") + smtpServer);
    AppendLine(QString());
}

QStringList TMailingLog::Lines() const
{
    const_cast<TMailingLog*>(this)->FlushQueuedLines();
    QStringList lines;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

QColor TMailingLog::LineColor(int line) const
{
    const_cast<TMailingLog*>(this)->FlushQueuedLines();
    const QTextBlock b = document()->findBlockByNumber(line);
    if (!b.isValid())
        return {};
    QTextCursor c(b);
    c.movePosition(QTextCursor::NextCharacter);
    const QBrush brush = c.charFormat().foreground();
    return brush.style() == Qt::NoBrush ? mailcolors::Black : brush.color();
}

bool TMailingLog::SaveToFile(const QString& fileName)
{
    QStringList lines = Lines();
    lines.removeFirst();
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QByteArray data;
    for (const QString& line : lines)
        data += line.toUtf8() + "\r\n";
    const QFileInfo info(fileName);
    bool ok = !fileName.isEmpty() && !(info.exists() && (!info.isFile() || !info.isWritable()));
    if (ok) {
        QSaveFile file(fileName);
        ok = file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
    }
    if (!ok) {
        const QString message = QStringLiteral("Datei kann nicht gespeichert werden: ") + fileName;
        if (ShowMessage)
            ShowMessage(message);
        else
            QMessageBox::warning(window(), QApplication::applicationName(), message);
    }
    return ok;
}

void TMailingLog::CopyToClipboard()
{
    FlushQueuedLines();
    QApplication::clipboard()->setText(toPlainText());
}

void TMailingLog::PrintLog(QPrinter& printer)
{
    core::PrintStrings(Lines(), 34, printer);
}

void TMailingLog::SpeedButtonPrintLogFileClick()
{
    try {
        core::PrintStrings(Lines(), 34);
    } catch (const core::EPrinter& e) {
        if (ShowMessage)
            ShowMessage(e.message());
        else
            QMessageBox::warning(window(), QApplication::applicationName(), e.message());
    }
}

void TMailingLog::SpeedButtonSaveLogFileClick()
{
    QFileDialog dialog(window());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Text Dateien (*.txt)"), QStringLiteral("Alle Dateien (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SaveToFile(dialog.selectedFiles().constFirst());
}
