#pragma once
// TOrvSearchOptions: which files a folder search (or a creation notice) may add to a file list:
// name masks, size bounds, hidden entries, folders, date bounds. TOrvFileSearchThread: the
// background search that hands every match to the main thread.
#include <QString>
#include <QStringList>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// One directory entry as the search sees it. Times are milliseconds since the epoch (UTC); a
// creation time of -1 means the file system does not record one.
struct TFindData {
    QString Name;
    bool IsDir = false;
    bool IsSymLink = false;
    qint64 Size = 0;
    qint64 CreationTime = -1;
    qint64 AccessTime = 0;
    qint64 WriteTime = 0;
    quint64 Device = 0;
};

// Calls each(entry) for every entry of a folder (path with a trailing "/") in name order, until
// each returns false. The default reads the file system (symbolic links are not followed).
using TFindEnumerator = std::function<void(const QString& dir, const std::function<bool(const TFindData&)>& each)>;
void EnumerateFolder(const QString& dir, const std::function<bool(const TFindData&)>& each);
// The entry of one path (not following a symbolic link); false when there is none.
bool FindDataOf(const QString& path, TFindData& data);

// A date-time as days since 30 December 1899 in local time (the fraction is the time of day), the
// way the date bounds are given; the result is milliseconds since the epoch in UTC.
qint64 DateTimeToUtcMsecs(double dateTime);

class TOrvSearchOptions {
public:
    qint64 MaxFileSize = -1; // -1: no upper bound
    qint64 MinFileSize = 0;
    bool RecursiveSearch = true;
    double CreationDateMax = 0, CreationDateMin = 0;
    double AccessDateMax = 0, AccessDateMin = 0;
    double LastWriteDateMax = 0, LastWriteDateMin = 0;
    bool FilesOnly = false;
    bool IncludeHidden = false;

    QString Filter() const { return m_filter; }
    // Splits the filter at ";" into masks (blanks trimmed); the masks end at the first empty
    // piece; a piece without "*" or "?" becomes "*piece*"; an empty filter is "*".
    void SetFilter(const QString& value);
    QStringList Masks() const { return m_masks; }

    // True when the entry passes every rule (masks case-insensitive with "*", "?" and "[...]").
    bool Matches(const TFindData& data) const;
    // The mask rule alone, on a name as the file system stores it.
    bool NameMatches(const QByteArray& name) const;

private:
    QString m_filter = QStringLiteral("*");
    QStringList m_masks{QStringLiteral("*")};
    QList<QByteArray> m_masks8{QByteArrayLiteral("*")};
};

// A background folder search. The folder "" searches every mounted volume that is ready (pseudo
// file systems left out). Found() and Progress() run in the main thread, in order, through
// blocking calls that carry up to 128 of them (or what 25 ms gathered); the thread checks its stop
// request at every entry. It deletes itself when it has ended.
class TOrvFileSearchThread : public QThread {
    Q_OBJECT
public:
    // Shared between the thread and the main thread; Released is touched in the main thread only.
    struct State {
        std::atomic<bool> Stop{false};
        bool Released = false; // the owner let go: later calls are dropped
    };

    TOrvFileSearchThread(const TOrvSearchOptions& options, const QString& folder);
    ~TOrvFileSearchThread() override;

    std::shared_ptr<State> Shared() const { return m_state; }
    void RequestStop() { m_state->Stop = true; }
    bool StopRequested() const { return m_state->Stop; }

    // Set before start(); called in the main thread unless the stop was requested or the owner
    // let go of the thread.
    std::function<void(const QString& path)> Found;
    std::function<void(const QString& path)> Progress; // unset: no progress calls at all
    std::function<void()> Ended;                        // queued after the last call
    TFindEnumerator Enumerate; // unset: the file system, with a stat only for names that match

protected:
    void run() override;

private:
    void Search(const QString& dir, bool sameDeviceOnly, quint64 device);
    void SearchFileSystem(const QString& dir, bool sameDeviceOnly, quint64 device);
    bool Descend(const TFindData& d, bool sameDeviceOnly, quint64 device) const;
    void Call(const std::function<void(const QString&)>& fn, const QString& path);
    void Flush();

    TOrvSearchOptions m_options;
    QString m_folder;
    std::shared_ptr<State> m_state;
    std::vector<std::pair<const std::function<void(const QString&)>*, QString>> m_pending;
    QElapsedTimer m_sinceFlush;
};

// The roots of the mounted volumes a search of "all drives" visits, in mount order.
QStringList ReadyVolumeRoots();
