#pragma once
// The log file: the last reports of a module, each stored with its text and four CR LF.
#include <QString>
#include <QStringList>

namespace excreport {

class TSivrelModuleOptions;
struct TSivrelReportTexts;

class TLogFile {
public:
    // Locks the log's folder (made 0700 when missing) and reads the file when it exists; raises
    // ESivrelError when the folder or the file cannot be used.
    explicit TLogFile(const QString& fileName);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    const QString& FileName() const { return m_fileName; }
    const QStringList& Entries() const { return m_entries; }
    // Drops the oldest entries until fewer than Maximum remain, then appends the text.
    void Add(const QString& text, int maximum);
    // Replaces the last entry with the text Before by the text After (added when none has it).
    void Replace(const QString& before, const QString& after, int maximum);
    // Writes every entry and CR LF to a temporary file beside the log and renames it over the log;
    // raises ESivrelError on failure.
    void Save();
    QString GetText() const;
    // Some entry holds, for every pair, the item of that number with exactly that value.
    bool Contains(const QStringList& names, const QStringList& values) const;

    // The entries of a log's content: each up to the first three CR LF of the next
    // "\r\n\r\n\r\n\r\n"; a tail without that separator is not an entry.
    static QStringList ParseEntries(const QString& content);

private:
    QString m_fileName;
    QStringList m_entries;
    int m_lock = -1;
};

// Runs of more than two line ends become two, the text is trimmed: four CR LF would split a log
// entry when it is read back.
QString NormalizeRequestText(const QString& text);

// The duplicate test (LogFlags bit 0): the log holds an entry with the report's items 2.2-2.5. A
// log that cannot be read records the warning "[Log] ..." and the report counts as new.
bool IsDuplicateReport(const TSivrelModuleOptions& options, const TSivrelReportTexts& texts);

// The log step: the request section (when there are words already) joins the report once (a
// repeated step does not add it again), the report enters the log, the mailed text becomes the
// whole log with MailWholeLog, and the log is saved. A duplicate report is not logged. Failures
// raise ESivrelError.
void WriteReportToLog(const TSivrelModuleOptions& options, TSivrelReportTexts& texts, bool duplicate,
                      bool& requestAppended);
// After the request dialog, for a report logged before it: the request section joins the report,
// and the report's entry in the log is replaced by the completed text (or added when it is gone).
void CompleteReportInLog(const TSivrelModuleOptions& options, TSivrelReportTexts& texts, bool duplicate,
                         bool& requestAppended);

} // namespace excreport
