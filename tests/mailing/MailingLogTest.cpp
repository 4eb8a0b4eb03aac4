// The mailing log: header, colours, save, clipboard and print.
#include "MailTestUtil.h"
#include "mailing/MailingLog.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTextDocument>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace mailtest;

TEST(MailingLog, HeaderLinesAndColours)
{
    QLocale::setDefault(QLocale::c());
    TMailingLog log;
    EXPECT_EQ(log.objectName(), "MemoLogFile");
    log.PrepareLogHeader("info@absender.de", "smtp.absender.de:587");
    log.WriteToLog("12:00:00 Thread 1 : Initialisiert.", mailcolors::Blue);
    log.WriteToLog("12:00:01 Thread 1 : a@x.de  gesendet.", mailcolors::Green);
    log.WriteToLog("12:00:02 Thread 1 : b@x.de Fehler: x", mailcolors::Red);
    log.AppendLine(QString());
    log.WriteToLog("1 Mail(s) gesendet.", mailcolors::Blue);
    log.PrepareLogHeader("info@absender.de", "smtp.absender.de");

    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], QString(62, '-'));
    EXPECT_TRUE(QRegularExpression("^Datum/Uhrzeit:  \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(lines[2]).hasMatch());
    EXPECT_EQ(lines[3], "Benutzer:  info@absender.de");
    EXPECT_EQ(lines[4], "SMTP Server: smtp.absender.de:587");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], "1 Mail(s) gesendet.");
    EXPECT_EQ(lines[11], QString(62, '-')) << "the next header follows the totals directly";
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(log.LineColor(i), mailcolors::Black) << i;
    EXPECT_EQ(log.LineColor(6), QColor(0, 0, 255));
    EXPECT_EQ(log.LineColor(7), QColor(14, 144, 4));
    EXPECT_EQ(log.LineColor(8), QColor(255, 0, 0));
    EXPECT_EQ(log.LineColor(10), mailcolors::Blue);
    EXPECT_EQ(log.LineColor(12), mailcolors::Black);
    EXPECT_EQ(LogNumber(0.5), "0,5");
    EXPECT_EQ(LogNumber(1440), "1440");
}

// Lines written together (runs of one colour go in as one text) give the same lines and colours
// as the same lines written one by one, empty lines and line breaks inside a text included.
TEST(MailingLog, LinesWrittenTogetherEqualLinesWrittenOneByOne)
{
    const QList<std::pair<QString, QColor>> lines{
        {"a  gesendet.", mailcolors::Green}, {"", mailcolors::Green},       {"b  gesendet.\r", mailcolors::Green},
        {"\nc", mailcolors::Green},          {"d Fehler: x", mailcolors::Red}, {"", mailcolors::Red},
        {"e  gesendet.", mailcolors::Green}, {"", mailcolors::Blue}};
    TMailingLog together, single;
    together.WriteToLog("Kopf", mailcolors::Black);
    single.WriteToLog("Kopf", mailcolors::Black);
    together.WriteLinesToLog(lines);
    for (const auto& [text, color] : lines)
        single.WriteToLog(text, color);
    together.AppendLine("danach");
    single.AppendLine("danach");
    ASSERT_EQ(together.Lines(), single.Lines());
    EXPECT_EQ(together.Lines().size(), 13);
    for (int i = 0; i < single.Lines().size(); ++i)
        EXPECT_EQ(together.LineColor(i), single.LineColor(i)) << i;
}

TEST(MailingLog, SaveWritesUtf8WithCrLfAndReportsFailures)
{
    qlytest::TempDir dir;
    TMailingLog log;
    QStringList messages;
    log.ShowMessage = [&](const QString& m) { messages.append(m); };

    ASSERT_TRUE(log.SaveToFile(dir.file("leer.txt")));
    QFile empty(dir.file("leer.txt"));
    ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
    EXPECT_EQ(empty.readAll(), QByteArray());

    log.WriteToLog(QString::fromUtf8("Grüße"), mailcolors::Blue);
    log.AppendLine("zweite");
    log.AppendLine(QString());
    ASSERT_TRUE(log.SaveToFile(dir.file("log.txt")));
    QFile f(dir.file("log.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QString::fromUtf8("Grüße\r\nzweite\r\n").toUtf8());
    EXPECT_TRUE(messages.isEmpty());

    {
        QFile plain(dir.file("datei"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    }
    const QString bad = dir.file("datei/log.txt");
    EXPECT_FALSE(log.SaveToFile(bad));
    EXPECT_EQ(messages, QStringList{"Datei kann nicht gespeichert werden: " + bad});
    EXPECT_EQ(log.Lines().size(), 4) << "the log is unchanged";
}

TEST(MailingLog, CopyAndPrint)
{
    TMailingLog log;
    log.WriteToLog("erste", mailcolors::Blue);
    log.AppendLine("zweite");
    log.CopyToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), "\nerste\nzweite");

    for (int i = 0; i < 150; ++i)
        log.AppendLine(QStringLiteral("Zeile %1").arg(i));
    qlytest::TempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.file("log.pdf"));
    log.PrintLog(printer);
    QFile pdf(dir.file("log.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray data = pdf.readAll();
    EXPECT_TRUE(data.startsWith("%PDF"));
    EXPECT_GE(data.count("/Type /Page\n") + data.count("/Type /Page\r") + data.count("/Type /Page "), 2)
        << "150 lines at 3.4 mm need more than one page";
}

TEST(MailingLog, QueuedLinesAreWrittenTogetherLaterAndBeforeAnythingElse)
{
    TMailingLog log;
    int edits = 0;
    QObject::connect(log.document(), &QTextDocument::contentsChange, [&](int, int, int) { ++edits; });
    log.QueueLines({{"a gesendet.", mailcolors::Green}, {"b Fehler", mailcolors::Red}});
    log.QueueLines({{"c gesendet.", mailcolors::Green}});
    EXPECT_EQ(edits, 0) << "nothing is written at once";
    EXPECT_EQ(log.document()->blockCount(), 1);
    QElapsedTimer t;
    t.start();
    while (log.document()->blockCount() == 1 && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(t.elapsed(), TMailingLog::QueueMs / 2);
    EXPECT_EQ(edits, 1) << "three lines in one edit";
    // A line written directly comes after the queued ones; reading the log writes them.
    log.QueueLines({{"d gesendet.", mailcolors::Green}});
    log.WriteToLog("beendet.", mailcolors::Blue);
    log.QueueLines({{"e Fehler", mailcolors::Red}});
    EXPECT_EQ(log.Lines(), (QStringList{"", "a gesendet.", "b Fehler", "c gesendet.", "d gesendet.", "beendet.", "e Fehler"}));
    const QList<QColor> colours{mailcolors::Green, mailcolors::Red, mailcolors::Green, mailcolors::Green, mailcolors::Blue,
                                mailcolors::Red};
    for (int i = 0; i < colours.size(); ++i)
        EXPECT_EQ(log.LineColor(i + 1), colours.at(i)) << i;
}
