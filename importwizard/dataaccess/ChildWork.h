#pragma once
// Work of a foreign file parser run in a child process of this program, so that a parser that
// hangs or crashes on a damaged file can be ended. The child sends its results as messages (lists
// of texts) through a pipe; what the parser writes to its standard error goes to the log category
// "qly.import.parser" (the first 64 KB of each child), not to ours. The parent waits for each
// message no longer than the time limit, calling the wait hook every few milliseconds so that the
// window goes on painting; the hook may raise to give up (the child is then ended).
#include "importwizard/dataaccess/ForeignDb.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <sys/types.h>

namespace dataaccess {

class TChildWork {
public:
    using TSend = std::function<void(const QStringList& message)>;
    // Runs in the child; a raised EForeignDbError reaches the parent with its message.
    using TWork = std::function<void(const TSend& send)>;

    // Starts the child at once; raises EForeignDbError when no process can be started.
    explicit TChildWork(TWork work);
    ~TChildWork();
    TChildWork(const TChildWork&) = delete;
    TChildWork& operator=(const TChildWork&) = delete;

    // The next message; false once the work has ended. Raises EForeignDbError with the work's own
    // message when it raised one, and with DamagedFileMessage() when the child died, stopped
    // before its end or sent nothing within the time limit.
    bool Next(QStringList& message);

    // "Die Datei ist beschädigt oder kann nicht gelesen werden."
    static QString DamagedFileMessage();

    // Called while the parent waits (every 20 ms at most); null waits without it.
    static void SetWaitHook(std::function<void()> hook);
    // Milliseconds without a message after which the child counts as hung (default 5000).
    static void SetTimeLimit(int milliseconds);

private:
    void Kill();
    void CallHook();
    void DrainLog(bool all);
    [[noreturn]] void Fail(const QString& message);

    pid_t FPid = -1;
    int FData = -1;  // the read ends of the result pipe and of the child's standard error
    int FLog = -1;
    QByteArray FBuffer;
    qint64 FLogged = 0;
    qint64 FDropped = 0;
    QByteArray FLogLine;
    bool FDone = false;
};

// A cursor whose rows a child reads: the rows work sends the field names, then one message a
// row; rewinding starts it anew. The count work sends the number of rows, in a child of its own
// so that the cursor keeps its place.
class TChildCursor : public IBackend::ICursor {
public:
    TChildCursor(TChildWork::TWork rows, TChildWork::TWork count);
    QStringList FieldNames() const override { return FFields; }
    void Rewind() override;
    bool Fetch() override;
    QStringList Values() override { return FValues; }
    int RecordCount() override;

private:
    TChildWork::TWork FRows;
    TChildWork::TWork FCount;
    std::unique_ptr<TChildWork> FChild;
    QStringList FFields;
    QStringList FValues;
};

} // namespace dataaccess
