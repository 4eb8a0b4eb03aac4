#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelReport.h"
#include "excreport/SivrelReportText.h"
#include "excreport/SivrelTypes.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace excreport {

namespace {

const QString Separator = QStringLiteral("\r\n\r\n\r\n\r\n");

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TLogFile::TLogFile(const QString& fileName) : m_fileName(fileName)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        ::chmod(folderName.constData(), 0700);
    }
    // Other processes of the program share the log: one reads, changes and writes it at a time.
    m_lock = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_lock < 0)
        throw ESivrelError(QStringLiteral("Cannot open the folder \"%1\": %2").arg(folder, SystemError()));
    while (::flock(m_lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    QFile file(fileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        ::close(m_lock);
        m_lock = -1;
        throw ESivrelError(QStringLiteral("Cannot open the file \"%1\": %2").arg(fileName, file.errorString()));
    }
    m_entries = ParseEntries(QString::fromUtf8(file.readAll()));
}

TLogFile::~TLogFile()
{
    if (m_lock >= 0)
        ::close(m_lock);
}

QStringList TLogFile::ParseEntries(const QString& content)
{
    QStringList entries;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = content.indexOf(Separator, start);
        if (at < 0)
            break;
        entries << content.mid(start, at + 6 - start);
        start = at + Separator.size();
    }
    return entries;
}

void TLogFile::Add(const QString& text, int maximum)
{
    if (m_entries.size() >= maximum)
        m_entries.remove(0, m_entries.size() - maximum + 1);
    m_entries << text + Separator;
}

void TLogFile::Replace(const QString& before, const QString& after, int maximum)
{
    // An entry read from the file ends with three of the separator's four line ends.
    const auto bare = [](QString text) {
        while (text.endsWith(QStringLiteral("\r\n")))
            text.chop(2);
        return text;
    };
    const QString wanted = bare(before);
    for (qsizetype i = m_entries.size(); i-- > 0;) {
        if (bare(m_entries[i]) == wanted) {
            m_entries[i] = after + Separator;
            return;
        }
    }
    Add(after, maximum);
}

QString TLogFile::GetText() const
{
    QString text;
    for (const QString& e : m_entries)
        text += e + QStringLiteral("\r\n");
    return text;
}

void TLogFile::Save()
{
    QSaveFile file(m_fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw ESivrelError(QStringLiteral("Cannot create the file \"%1\": %2").arg(m_fileName, file.errorString()));
    const QByteArray bytes = GetText().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ESivrelError(QStringLiteral("Cannot write the file \"%1\": %2").arg(m_fileName, file.errorString()));
}

bool TLogFile::Contains(const QStringList& names, const QStringList& values) const
{
    for (const QString& entry : m_entries) {
        bool all = true;
        for (int i = 0; i < names.size() && all; ++i) {
            const qsizetype at = entry.indexOf(QStringLiteral("\r\n  ") + names[i] + u' ');
            if (at < 0) {
                all = false;
                break;
            }
            const QStringView item = QStringView(entry).mid(at + 2);
            const qsizetype colon = item.indexOf(QStringLiteral(": "));
            const qsizetype end = item.indexOf(QStringLiteral("\r\n"));
            all = colon >= 0 && end > colon && item.mid(colon + 2, end - colon - 2) == values.value(i);
        }
        if (all)
            return true;
    }
    return false;
}

QString NormalizeRequestText(const QString& text)
{
    static const QRegularExpression runs(QStringLiteral("(\\r\\n){3,}"));
    QString normal = text.trimmed();
    normal.replace(runs, QStringLiteral("\r\n\r\n"));
    return normal;
}

bool IsDuplicateReport(const TSivrelModuleOptions& options, const TSivrelReportTexts& texts)
{
    if (!(options.LogFlags() & 1))
        return false;
    try {
        const TLogFile log(options.LogFileName());
        return log.Contains({QStringLiteral("2.2"), QStringLiteral("2.3"), QStringLiteral("2.4"), QStringLiteral("2.5")},
                            {texts.DupAddress, texts.DupModule, texts.DupType, texts.DupMessage});
    } catch (...) {
        WarnFromException(eeLogError, QStringLiteral("Log"));
        return false;
    }
}

void WriteReportToLog(const TSivrelModuleOptions& options, TSivrelReportTexts& texts, bool duplicate,
                      bool& requestAppended)
{
    TLogFile log(options.LogFileName());
    if (duplicate)
        return;
    // Before the request dialog there are no words to add yet: they come with CompleteReportInLog.
    if (!requestAppended && !texts.RequestText.isEmpty()) {
        AppendRequestSection(texts, options, duplicate);
        requestAppended = true;
    }
    log.Add(texts.ReportText, options.MaxLogReports());
    if (options.MailWholeLog())
        texts.MailText = log.GetText();
    log.Save();
}

void CompleteReportInLog(const TSivrelModuleOptions& options, TSivrelReportTexts& texts, bool duplicate,
                         bool& requestAppended)
{
    if (duplicate || requestAppended)
        return;
    const QString logged = texts.ReportText;
    AppendRequestSection(texts, options, duplicate);
    requestAppended = true;
    if (texts.ReportText == logged)
        return;
    TLogFile log(options.LogFileName());
    log.Replace(logged, texts.ReportText, options.MaxLogReports());
    if (options.MailWholeLog())
        texts.MailText = log.GetText();
    log.Save();
}

} // namespace excreport
