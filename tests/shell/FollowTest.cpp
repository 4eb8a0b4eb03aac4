// The change notifier, the search options and a file list that follows the file system.
#include "QtPrint.h"
#include "TestUtil.h"

#include "controls/shell/OrvFileList.h"
#include "controls/shell/OrvFileSearch.h"
#include "controls/shell/OrvShellNotifier.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <semaphore>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace {

struct Notice {
    TNotificationEvent event;
    QString path1, path2;
    bool operator==(const Notice& o) const { return event == o.event && path1 == o.path1 && path2 == o.path2; }
};

std::ostream& operator<<(std::ostream& os, const Notice& n)
{
    return os << int(n.event) << " " << n.path1.toStdString() << " -> " << n.path2.toStdString();
}

void Touch(const QString& path, const QByteArray& data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
    f.write(data);
}

void Chmod(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// A notifier on one folder with a clock the test moves.
class NotifierFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        n.Now = [this] { return now; };
        n.SetEnabled(false);
        n.SetDirectories({dir.path()});
        n.OnChange = [this](TOrvShellChangeNotifier*, TNotificationEvent e, const QString& p1, const QString& p2) {
            seen.append({e, p1, p2});
        };
        n.SetEnabled(true);
    }
    // Waits until a notice arrives that satisfies pred.
    bool WaitFor(const Notice& notice)
    {
        return QTest::qWaitFor([&] { return seen.contains(notice); }, 3000);
    }
    qlytest::TempDir dir, outside;
    TOrvShellChangeNotifier n;
    qint64 now = 0;
    QList<Notice> seen;
};

TEST_F(NotifierFixture, ReportsEveryKindOfChangeInTheWatchedTree)
{
    const QString a = dir.file("a.txt"), b = dir.file("b.txt"), sub = dir.file("sub");
    Touch(a);
    ASSERT_TRUE(WaitFor({neFileCreate, a, {}}));
    ASSERT_TRUE(WaitFor({neFileChange, a, {}}));
    now += 3000;
    ASSERT_TRUE(QFile::rename(a, b));
    ASSERT_TRUE(WaitFor({neFileRename, a, b}));
    now += 3000;
    Touch(b, "more");
    ASSERT_TRUE(WaitFor({neFileChange, b, {}}));
    now += 3000;
    // A folder made after the start is watched as well.
    ASSERT_TRUE(QDir().mkdir(sub));
    ASSERT_TRUE(WaitFor({neFolderCreate, sub, {}}));
    Touch(sub + "/c.txt");
    ASSERT_TRUE(WaitFor({neFileCreate, sub + "/c.txt", {}}));
    now += 3000;
    // Moved out of the tree: a delete.
    ASSERT_TRUE(QFile::rename(b, outside.file("b.txt")));
    ASSERT_TRUE(WaitFor({neFileDelete, b, {}}));
    now += 3000;
    ASSERT_TRUE(QFile::remove(sub + "/c.txt"));
    ASSERT_TRUE(WaitFor({neFileDelete, sub + "/c.txt", {}}));
    Chmod(sub, 0700);
    ASSERT_TRUE(WaitFor({neAttributesChange, sub, {}}));
    // Moved in from outside: a create.
    ASSERT_TRUE(QFile::rename(outside.file("b.txt"), dir.file("back.txt")));
    ASSERT_TRUE(WaitFor({neFileCreate, dir.file("back.txt"), {}}));
    EXPECT_EQ(n.WatchCount(), 2);

    // A lost queue: every watched folder is to be read again.
    seen.clear();
    QByteArray record(sizeof(inotify_event), '\\0');
    inotify_event ev{};
    ev.wd = -1;
    ev.mask = IN_Q_OVERFLOW;
    std::memcpy(record.data(), &ev, sizeof ev);
    n.ProcessRecords(record);
    ASSERT_TRUE(WaitFor({neFolderUpdate, sub, {}}));
    EXPECT_EQ(seen, QList<Notice>({{neFolderUpdate, dir.path(), {}}, {neFolderUpdate, sub, {}}}));

    // Switched off: nothing more.
    seen.clear();
    n.SetEnabled(false);
    Touch(dir.file("late.txt"));
    QTest::qWait(300);
    EXPECT_TRUE(seen.isEmpty());
}

TEST_F(NotifierFixture, ARepeatedNoticeCountsOnlyAfterTheInterval)
{
    const QString a = dir.file("a");
    Touch(a);
    ASSERT_TRUE(WaitFor({neFileChange, a, {}}));
    seen.clear();
    const Notice attrib{neAttributesChange, a, {}};
    auto expectCount = [&](const Notice& notice, int count) {
        QTest::qWaitFor([&] { return seen.count(notice) >= count; }, 3000);
        QTest::qWait(200); // time for a notice that should not come
        return seen.count(notice) == count;
    };
    now = 10000;
    Chmod(a, 0600);
    EXPECT_TRUE(expectCount(attrib, 1));
    now = 10000 + 2499;
    Chmod(a, 0644);
    EXPECT_TRUE(expectCount(attrib, 1)); // within 2499 ms: once
    now = 10000 + 2501;
    Chmod(a, 0600);
    EXPECT_TRUE(expectCount(attrib, 2)); // after 2501 ms: twice
    // A-B-A: another notice for the same file in between makes the repeat count again.
    now += 1;
    Touch(a);
    EXPECT_TRUE(expectCount({neFileChange, a, {}}, 1)); // written and closed: one change
    now += 1;
    Chmod(a, 0644);
    EXPECT_TRUE(expectCount(attrib, 3));
}

TEST(SearchOptions, FilterMasksAndRules)
{
    struct Case { const char* filter; QStringList masks; };
    const Case cases[] = {
        {"*.txt; *.doc", {"*.txt", "*.doc"}},
        {"report", {"*report*"}},
        {"*.a;;*.b", {"*.a"}},
        {"", {"*"}},
        {"a?c;[xy].bin", {"a?c", "*[xy].bin*"}},
    };
    for (const Case& c : cases) {
        TOrvSearchOptions o;
        o.SetFilter(c.filter);
        EXPECT_EQ(o.Masks(), c.masks) << c.filter;
    }
    TOrvSearchOptions o;
    EXPECT_EQ(o.Filter(), "*");

    auto file = [](const char* name, qint64 size) {
        TFindData d;
        d.Name = name;
        d.Size = size;
        d.WriteTime = d.AccessTime = d.CreationTime = QDateTime(QDate(2020, 6, 1), QTime(12, 0)).toMSecsSinceEpoch();
        return d;
    };
    o.SetFilter("*.TXT;report");
    EXPECT_TRUE(o.Matches(file("brief.txt", 5)));  // masks ignore case
    EXPECT_TRUE(o.Matches(file("Q3-Report.pdf", 5)));
    EXPECT_FALSE(o.Matches(file("brief.doc", 5)));
    EXPECT_FALSE(o.Matches(file(".", 0)));
    EXPECT_FALSE(o.Matches(file(".hidden.txt", 1)));
    o.IncludeHidden = true;
    EXPECT_TRUE(o.Matches(file(".hidden.txt", 1)));

    o.SetFilter("*");
    EXPECT_TRUE(o.Matches(file("big", qint64(1) << 40))); // -1: no upper bound
    o.MaxFileSize = 0;
    EXPECT_TRUE(o.Matches(file("empty", 0)));
    EXPECT_FALSE(o.Matches(file("one", 1)));
    o.MaxFileSize = -1;
    o.MinFileSize = 10;
    EXPECT_FALSE(o.Matches(file("small", 9)));
    EXPECT_TRUE(o.Matches(file("ten", 10)));
    o.MinFileSize = 0;

    TFindData folder = file("ordner", 0);
    folder.IsDir = true;
    EXPECT_TRUE(o.Matches(folder));
    o.FilesOnly = true;
    EXPECT_FALSE(o.Matches(folder));

    // Date bounds: 1.0 is no bound; bounds are local times.
    o.LastWriteDateMax = 1.0;
    EXPECT_TRUE(o.Matches(file("old", 1)));
    const double june1 = QDate(1899, 12, 30).daysTo(QDate(2020, 6, 1));
    o.LastWriteDateMax = june1 + 0.5 - 1.0 / 24 / 60; // 11:59 local
    EXPECT_FALSE(o.Matches(file("noon", 1)));
    o.LastWriteDateMax = june1 + 0.5; // 12:00 local: not after it
    EXPECT_TRUE(o.Matches(file("noon", 1)));
    o.CreationDateMin = june1 + 1;
    EXPECT_FALSE(o.Matches(file("noon", 1)));
    TFindData unknownCreation = file("noon", 1);
    unknownCreation.CreationTime = -1; // no creation time recorded: the bound does not apply
    EXPECT_TRUE(o.Matches(unknownCreation));
}

// ---- the list ----------------------------------------------------------------------------

QStringList Paths(const TOrvFileList& l)
{
    QStringList p;
    for (int i = 0; i < l.Count(); ++i)
        p << l.GetItemPath(i);
    return p;
}

TEST(FileListFollow, ASearchAddsTheMatchesInOrderAndEndsOnce)
{
    qlytest::TempDir dir;
    Touch(dir.file("b.txt"));
    Touch(dir.file("a.txt"));
    QDir().mkpath(dir.file("sub"));
    Touch(dir.file("sub/c.txt"));
    QDir().mkpath(dir.file(".versteckt"));
    Touch(dir.file(".versteckt/d.txt"));
    TOrvFileList list;
    list.SearchOptions.SetFilter("*.txt");
    int ended = 0;
    QStringList progress;
    list.OnEndSearch = [&] { ++ended; };
    list.OnSearchProgress = [&](const QString& p) { progress << p; };
    list.StartSearch(dir.path());
    EXPECT_TRUE(list.Searching());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended > 0; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(list.Searching());
    EXPECT_EQ(Paths(list), QStringList({dir.file("a.txt"), dir.file("b.txt"), dir.file("sub/c.txt")}));
    EXPECT_TRUE(progress.contains(dir.file("sub"))); // every entry passes by
    EXPECT_EQ(list.Notifier().Directories(), QStringList{dir.path()});

    // The notifier now watches that folder: a created matching file is added, others are not.
    Touch(dir.file("neu.txt"));
    Touch(dir.file("neu.doc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.ContainsPath(dir.file("neu.txt")); }, 3000));
    QTest::qWait(100);
    EXPECT_FALSE(list.ContainsPath(dir.file("neu.doc")));
    // Deleted: removed; renamed: the item follows.
    ASSERT_TRUE(QFile::remove(dir.file("a.txt")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list.ContainsPath(dir.file("a.txt")); }, 3000));
    ASSERT_TRUE(QFile::rename(dir.file("b.txt"), dir.file("b2.txt")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.ContainsPath(dir.file("b2.txt")); }, 3000));
    EXPECT_EQ(list.topLevelItem(0)->text(0), "b2.txt");
}

TEST(FileListFollow, FolderUpdatesSearchAgainAtMostEveryFiveSeconds)
{
    qlytest::TempDir a, b;
    Touch(a.file("1.txt"));
    Touch(b.file("2.txt"));
    TOrvFileList list;
    qint64 now = 100000;
    list.Now = [&] { return now; };
    int ended = 0;
    list.OnEndSearch = [&] { ++ended; };
    auto settle = [&] { QTest::qWaitFor([&] { return !list.Searching(); }, 5000); QTest::qWait(50); };

    list.ShellChanged(nullptr, neFolderUpdate, a.path(), {});
    now += 4999;
    list.ShellChanged(nullptr, neFolderUpdate, a.path(), {});
    settle();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(list.SearchOptions.RecursiveSearch);
    EXPECT_EQ(Paths(list), QStringList{a.file("1.txt")});

    // Another folder at once: the first search (if still running) is stopped, the second runs.
    list.ShellChanged(nullptr, neFolderUpdate, b.path(), {});
    list.ShellChanged(nullptr, neFolderUpdate, a.path(), {});
    settle();
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(list.SearchFolder(), a.path());

    // Items of the updated folder that are gone are removed first.
    ASSERT_TRUE(QFile::remove(a.file("1.txt")));
    now += 5000;
    list.ShellChanged(nullptr, neFolderUpdate, a.path(), {});
    settle();
    EXPECT_FALSE(list.ContainsPath(a.file("1.txt")));
    EXPECT_EQ(ended, 4);

    // A notice without a path starts nothing (it would search every volume).
    now += 10000;
    list.ShellChanged(nullptr, neFolderUpdate, QString(), {});
    EXPECT_FALSE(list.Searching());
    EXPECT_EQ(list.SearchFolder(), a.path());
}

TEST(FileListFollow, ABlockedSearchIsLetGoAfterTwoSeconds)
{
    qlytest::TempDir dir;
    std::binary_semaphore release(0);
    std::atomic<bool> returned{false};
    int ended = 0;
    {
        TOrvFileList list;
        list.OnEndSearch = [&] { ++ended; };
        list.SearchEnumerator = [&](const QString&, const std::function<bool(const TFindData&)>& each) {
            release.acquire(); // a file-system call that hangs
            TFindData d;
            d.Name = "late.txt";
            each(d);
            returned = true;
        };
        list.StartSearch(dir.path());
        QElapsedTimer t;
        t.start();
        list.StopSearch();
        EXPECT_GE(t.elapsed(), 1900);
        EXPECT_LT(t.elapsed(), 3000);
        EXPECT_FALSE(list.Searching());
        release.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 3000));
        QTest::qWait(100);
        EXPECT_EQ(list.Count(), 0); // its later calls are dropped
    }
    EXPECT_EQ(ended, 0);
}

TEST(FileListFollow, DestroyedDuringASearch)
{
    // Many folders, so the search is still running when the list goes away.
    qlytest::TempDir dir;
    for (int i = 0; i < 200; ++i) {
        QDir().mkpath(dir.file(QString("d%1").arg(i)));
        Touch(dir.file(QString("d%1/f.txt").arg(i)));
    }
    std::atomic<int> calls{0};
    auto* list = new TOrvFileList;
    list->SearchEnumerator = [&](const QString& d, const std::function<bool(const TFindData&)>& each) {
        ++calls;
        EnumerateFolder(d, each);
    };
    list->StartSearch(dir.path());
    QTest::qWaitFor([&] { return list->Count() > 3; }, 3000);
    delete list;
    const int after = calls;
    QTest::qWait(200);
    EXPECT_LE(calls.load(), after + 1); // the search stopped with the list
}

} // namespace

namespace {

TEST(FileListFollow, ARemovedItemCanBeAddedAgainWhicheverWayItLeft)
{
    qlytest::TempDir dir;
    Touch(dir.file("a"));
    TOrvFileList list;
    list.SetAutomaticRefresh(false);
    const std::function<void()> ways[] = {
        [&] { delete list.topLevelItem(0); },
        [&] { delete list.takeTopLevelItem(0); },
        [&] { list.clear(); },
        [&] { list.Clear(); },
        [&] { list.topLevelItem(0)->setSelected(true); list.DeleteSelected(); },
        [&] { list.ShellChanged(nullptr, neFileDelete, dir.file("a"), {}); },
    };
    int way = 0;
    for (const auto& remove : ways) {
        list.AddFile(dir.file("a"));
        list.AddFile(dir.file("a"));
        ASSERT_EQ(list.Count(), 1) << way;
        remove();
        EXPECT_EQ(list.Count(), 0) << way;
        EXPECT_FALSE(list.ContainsPath(dir.file("a"))) << way;
        ++way;
    }
    // A renamed item is found by its new path only.
    list.AddFile(dir.file("a"));
    list.ShellChanged(nullptr, neFileRename, dir.file("a"), dir.file("b"));
    EXPECT_FALSE(list.ContainsPath(dir.file("a")));
    EXPECT_TRUE(list.ContainsPath(dir.file("b")));
}

} // namespace
