// A CSV file of any size (1.5 GB by default, written to a temporary folder and deleted at the
// end) through every step of the wizard: the separator guess after the file dialog, the preview,
// the overview's count and the run, then a second run cancelled after a few seconds. Reports for
// each step its time, the longest pause of the event loop (a 10 ms timer) and the growth of the
// peak memory over the memory before the steps; the peer is `wc -l` reading the same file in the
// same run. Run by hand from a Release build, for example under a memory limit:
//   (ulimit -v 6000000; bench_importwizard_bigcsv [megabytes] [folder])
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

namespace {

class QuietDialogs : public importwizard::IWizardDialogs {
public:
    QString file;
    void ShowMessage(QWidget*, const QString& text) override { std::printf("message: %s\n", qPrintable(text)); }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return file; }
    bool OpenWithDesktop(const QString&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    QString PromptDataSource(QWidget*, const QString& initial) override { return initial; }
};

qint64 StatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Writes about `megabytes` of rows; every tenth row has a note over two lines.
qint64 WriteCsv(const QString& path, qint64 megabytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return 0;
    const qint64 target = megabytes << 20;
    QByteArray chunk = "Email;Nachname;Vorname;Ort;Notiz\r\n";
    qint64 rows = 0;
    while (f.size() + chunk.size() < target) {
        chunk += "person" + QByteArray::number(rows) + "@beispiel.de;M\xC3\xBCller " + QByteArray::number(rows)
                 + ";J\xC3\xB6rg;K\xC3\xB6ln;";
        chunk += (rows % 10 == 0) ? "\"Zeile eins\r\nZeile \"\"zwei\"\"\"\r\n" : "kurz\r\n";
        ++rows;
        if (chunk.size() > (4 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return rows;
}

struct Step {
    const char* name;
    qint64 ms = 0;
    qint64 longestPause = 0;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1536;
    QTemporaryDir dir(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bigcsv-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bigcsv-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("gross.csv"));
    QElapsedTimer clock;
    clock.start();
    const qint64 written = WriteCsv(path, megabytes);
    std::printf("file: %s, %lld MB, %lld records (%lld multi-line), written in %lld ms\n", qPrintable(path),
                static_cast<long long>(QFileInfo(path).size() >> 20), static_cast<long long>(written),
                static_cast<long long>((written + 9) / 10), static_cast<long long>(clock.elapsed()));

    // The peer: wc -l over the same file (one pass, no decoding).
    clock.restart();
    QProcess wc;
    wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
    wc.waitForFinished(-1);
    const qint64 peerMs = clock.elapsed();
    std::printf("peer wc -l: %lld ms (%s)\n", static_cast<long long>(peerMs), wc.readAllStandardOutput().trimmed().constData());

    settings::TRegIniFile s(TImportWizardForm::SettingsKeyPath());
    s.WriteString(TImportWizardForm::SettingsSection, QStringLiteral("CSVAssociations"),
                  QStringLiteral("4\r\n2\r\n1\r\n0\r\n"));

    QuietDialogs dialogs;
    dialogs.file = path;
    qint64 rows = 0;
    QList<Step> steps;
    const qint64 rssBefore = StatusKb("VmRSS:");
    auto measured = [&](const char* name, const std::function<void()>& action) {
        Step step{name};
        QElapsedTimer since;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] { step.longestPause = std::max(step.longestPause, since.restart()); });
        QElapsedTimer took;
        took.start();
        since.start();
        ticker.start();
        action();
        step.longestPause = std::max(step.longestPause, since.elapsed());
        step.ms = took.elapsed();
        steps.append(step);
    };
    {
        TImportWizardForm form;
        form.SetDialogs(&dialogs);
        form.setDescriptions({QStringLiteral("Email"), QStringLiteral("Last Name"), QStringLiteral("First Name"),
                              QStringLiteral("Notiz")});
        form.OnRowOutput = [&](QStringList&) { ++rows; };
        form.show();
        QApplication::processEvents();
        auto* next = form.findChild<QPushButton*>(QStringLiteral("ButtonNext"));
        next->click();
        form.findChild<QRadioButton*>(QStringLiteral("RadioButtonCSVAllowDuplicates"))->setChecked(true);
        measured("file dialog and separator guess",
                 [&] { form.findChild<QToolButton*>(QStringLiteral("SpeedButtonFilenameDialog"))->click(); });
        measured("Next: text check and preview", [&] { next->click(); });
        form.findChild<QCheckBox*>(QStringLiteral("CheckBoxIgnoreFirstRow"))->setChecked(true);
        measured("Next: overview and count", [&] { next->click(); });
        measured("run", [&] { next->click(); });
    }
    const qint64 imported = rows;
    const qint64 peak = StatusKb("VmHWM:");

    // A second run, cancelled after three seconds.
    rows = 0;
    qint64 cancelToEnd = -1;
    {
        TImportWizardForm form;
        form.SetDialogs(&dialogs);
        form.setDescriptions({QStringLiteral("Email"), QStringLiteral("Last Name"), QStringLiteral("First Name"),
                              QStringLiteral("Notiz")});
        form.OnRowOutput = [&](QStringList&) { ++rows; };
        form.show();
        auto* next = form.findChild<QPushButton*>(QStringLiteral("ButtonNext"));
        next->click();
        form.findChild<QLineEdit*>(QStringLiteral("EditCSVFilename"))->setText(path);
        next->click();
        next->click();
        QElapsedTimer sinceCancel;
        QTimer::singleShot(3000, &form, [&] {
            sinceCancel.start();
            form.findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
        });
        next->click();
        cancelToEnd = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
    }

    std::printf("\n%-34s %10s %10s %16s\n", "step", "ms", "x wc -l", "longest pause ms");
    for (const Step& step : steps)
        std::printf("%-34s %10lld %10.2f %16lld\n", step.name, static_cast<long long>(step.ms),
                    peerMs > 0 ? double(step.ms) / double(peerMs) : 0.0, static_cast<long long>(step.longestPause));
    std::printf("\nrecords handed out: %lld of %lld\n", static_cast<long long>(imported), static_cast<long long>(written));
    std::printf("memory: %lld KB before the steps, peak %lld KB, growth %lld KB\n", static_cast<long long>(rssBefore),
                static_cast<long long>(peak), static_cast<long long>(peak - rssBefore));
    std::printf("cancelled run: %lld records kept, ended %lld ms after Abbrechen\n", static_cast<long long>(rows),
                static_cast<long long>(cancelToEnd));
    QFile::remove(path);
    return 0;
}
