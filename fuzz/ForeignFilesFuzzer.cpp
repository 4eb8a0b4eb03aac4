// The Outlook data file reader (libpff) and the Access file reader (mdbtools in its child
// process, TChildWork) on arbitrary files.
// Input: byte 0 picks the reader (even: Outlook, odd: Access); the rest is the file.
// Property: every file ends within the time limit with a result or with the readers' own error
// (EOutlookError, EForeignDbError) - never a hang, never another exception. The Outlook steps run
// in a thread of their own with the wizard's limit of a step (a hang ends the run); the Access
// reader's child has a limit of 2 s here and must end by it, its result or the damaged-file
// message reaching the parent.
// Seeds (tests/fuzz-corpus/foreignfiles/): Outlook files written by the tests' pstwriter.py
// (contacts, mails, folders) and a bare Access header. Real files of other programs (the shared
// fixtures) may be given as a further corpus folder on the command line; they are not committed.
#include "importwizard/dataaccess/ChildWork.h"
#include "importwizard/dataaccess/ForeignDb.h"
#include "importwizard/outlook/OutlookFile.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kOutlookStepLimitMs = 8000; // the wizard's limit for one step on an Outlook file
constexpr int kAccessLimitMs = 2000;
constexpr int kItems = 20;  // items read per folder
constexpr int kRows = 50;   // rows read per table

QString g_dir;

QString WriteInput(const char* name, const uint8_t* data, size_t size)
{
    const QString file = g_dir + QLatin1Char('/') + QLatin1String(name);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        __builtin_trap();
    return file;
}

// One step of the Outlook reader in a thread, waited for no longer than the wizard waits.
template <typename Step>
void OutlookStep(Step&& step)
{
    struct State {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        bool foreign = false; // an exception other than EOutlookError
    } state;
    std::thread worker([&] {
        bool foreign = false;
        try {
            step();
        } catch (const outlook::EOutlookError&) {
        } catch (...) {
            foreign = true;
        }
        std::lock_guard<std::mutex> guard(state.lock);
        state.foreign = foreign;
        state.finished = true;
        state.done.notify_one();
    });
    std::unique_lock<std::mutex> guard(state.lock);
    if (!state.done.wait_for(guard, std::chrono::milliseconds(kOutlookStepLimitMs), [&] { return state.finished; })) {
        fprintf(stderr, "an Outlook step did not end within %d ms\n", kOutlookStepLimitMs);
        __builtin_trap(); // a hang (the wizard would give the file up and leave the thread running)
    }
    guard.unlock();
    worker.join();
    if (state.foreign) {
        fprintf(stderr, "the Outlook reader raised something other than EOutlookError\n");
        __builtin_trap();
    }
}

void VisitFolders(outlook::IDataFile& file, const outlook::TFolderNode& node, int& budget)
{
    if (budget-- <= 0)
        return;
    std::unique_ptr<outlook::IFolder> folder = file.Folder(node.id);
    const int count = std::min(folder->Count(), kItems);
    for (int i = 1; i <= count; ++i) {
        std::unique_ptr<outlook::IItem> item = folder->Item(i);
        if (!item)
            continue;
        if (item->Class() == outlook::olContact) {
            item->ContactProperty(QStringLiteral("Email1Address"));
            item->ContactProperty(QStringLiteral("LastName"));
        } else if (item->Class() == outlook::olMail) {
            const QString address = item->SenderEmailAddress();
            item->SenderName();
            item->SmtpAddress(address);
        }
    }
    for (const outlook::TFolderNode& child : node.children)
        VisitFolders(file, child, budget);
}

void Outlook(const uint8_t* data, size_t size)
{
    const QString name = WriteInput("input.pst", data, size);
    std::unique_ptr<outlook::IDataFile> file;
    OutlookStep([&] { file = outlook::OpenDataFile(name); });
    if (!file)
        return;
    bool open = false;
    OutlookStep([&] {
        file->OpenMessageStore();
        open = true;
    });
    if (!open)
        return;
    outlook::TFolderNode tree;
    OutlookStep([&] {
        file->FileType();
        tree = file->FolderTree();
    });
    OutlookStep([&] {
        int budget = 16;
        VisitFolders(*file, tree, budget);
    });
}

void Access(const uint8_t* data, size_t size)
{
    const QString name = WriteInput("input.mdb", data, size);
    QElapsedTimer clock;
    clock.start();
    int waits = 0; // the child's time limit applies to each message waited for
    try {
        dataaccess::TForeignConnection conn;
        conn.SetConnectionString(dataaccess::AccessConnectionString(name));
        ++waits;
        conn.Open();
        ++waits;
        const QStringList tables = conn.TableNames();
        for (qsizetype t = 0; t < std::min<qsizetype>(tables.size(), 4); ++t) {
            dataaccess::TForeignQuery query(conn);
            query.SetSQL(QStringLiteral("SELECT * FROM [") + QString(tables[t]).replace(QLatin1Char(']'), QLatin1String("]]"))
                         + QLatin1Char(']'));
            try {
                ++waits;
                query.Open();
                for (int r = 0; r < kRows && !query.Eof(); ++r, ++waits) {
                    query.Values();
                    query.Next();
                }
            } catch (const dataaccess::EForeignDbError&) {
                // a table that cannot be read; the others still can
            }
        }
    } catch (const dataaccess::EForeignDbError&) {
    } catch (const std::exception& e) {
        fprintf(stderr, "the Access reader raised %s\n", e.what());
        __builtin_trap();
    }
    // Rows come many to a message, so this bound is generous; a child that never answered
    // would have taken at least one limit per wait.
    if (clock.elapsed() > qint64(waits) * kAccessLimitMs + 2000) {
        fprintf(stderr, "the Access reader took %lld ms for %d waits\n", clock.elapsed(), waits);
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_dir = QDir::tempPath() + QStringLiteral("/qly-fuzz-foreign-%1").arg(::getpid());
    QDir().mkpath(g_dir);
    std::atexit([] { QDir(g_dir).removeRecursively(); });
    dataaccess::TChildWork::SetTimeLimit(kAccessLimitMs);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (320u << 10))
        return 0;
    if (data[0] & 1)
        Access(data + 1, size - 1);
    else
        Outlook(data + 1, size - 1);
    return 0;
}
