#include "TestUtil.h"

#include "controls/shell/OrvFileList.h"
#include "controls/shell/Vantry.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

void WriteFile(const QString& name, const QByteArray& data)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(Vantry, ObjectNameByPathNameAndRoot)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("brief.txt"), "x");
    TVantry v;
    v.SetObjectName(dir.file("brief.txt"));
    EXPECT_EQ(v.Folder(), dir.path() + "/");
    EXPECT_EQ(v.ObjectName(), QStringLiteral("brief.txt"));
    EXPECT_EQ(v.ObjectPath(), dir.file("brief.txt"));

    v.SetObjectName(QStringLiteral("/"));
    EXPECT_EQ(v.Folder(), QString());
    EXPECT_EQ(v.ObjectName(), QStringLiteral("/"));

    v.SetFolder(dir.path());
    try {
        v.SetObjectName(QStringLiteral("fehlt.txt"));
        FAIL() << "no error";
    } catch (const EVantryError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Error! Cannot find Object \"fehlt.txt\" in Folder \"") + dir.path() + "/\"");
    }
    // Names compare exactly.
    EXPECT_THROW(v.SetObjectName(QStringLiteral("BRIEF.TXT")), EVantryError);
    EXPECT_THROW(v.SetFolder(dir.file("kein")), EVantryError);
    EXPECT_EQ(v.Folder(), dir.path() + "/"); // unchanged after the failure
}

TEST(Vantry, FilterAndEnumeration)
{
    TVantry v;
    v.SetFilter(QStringLiteral(";"));
    EXPECT_EQ(v.Filter(), QString()); // one empty mask
    v.SetFilter(QStringLiteral("*.txt"));
    EXPECT_EQ(v.Filter(), QStringLiteral("*.txt"));
    v.SetFilter(QString());
    EXPECT_EQ(v.Filter(), QStringLiteral("*"));

    qlytest::TempDir dir;
    WriteFile(dir.file("a.txt"), "1");
    WriteFile(dir.file("b.doc"), "1");
    QDir(dir.path()).mkdir("ordner");
    v.SetFolder(dir.path());
    v.SetFilter(QStringLiteral("*.txt"));
    QStringList seen;
    while (v.NextObject())
        seen << v.ObjectName();
    EXPECT_EQ(seen, QStringList({"a.txt", "ordner"})); // folders pass every filter
}

TEST(Vantry, DetailColumnsAndSizes)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TVantry v;
    QStringList headers;
    for (int i = 0; i < 6; ++i)
        headers << v.DetailsText(i, true);
    EXPECT_EQ(headers, QStringList({"Name", "Size", "Type", "Changed", "", ""}));
    EXPECT_EQ(v.ColumnInfo(1).Alignment, Qt::AlignRight);
    EXPECT_EQ(v.ColumnInfo(1).Width, 60);
    EXPECT_EQ(v.ColumnInfo(7).Width, 120);

    struct Case { qint64 size; const char* text; };
    const Case cases[] = {{0, "0 KB"}, {1, "1 KB"}, {1023, "1 KB"}, {1024, "1 KB"}, {1536, "2 KB"},
                          {5368709120LL, "5.242.880 KB"}}; // beyond 32 bits
    for (const Case& c : cases)
        EXPECT_EQ(shell::FormatFileSize(c.size), QString::fromLatin1(c.text)) << c.size;

    qlytest::TempDir dir;
    WriteFile(dir.file("text.txt"), "hallo");
    {
        QFile big(dir.file("gross.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(5368709120LL)); // sparse
    }
    v.SetObjectName(dir.file("text.txt"));
    EXPECT_EQ(v.DetailsText(0), QStringLiteral("text.txt"));
    EXPECT_EQ(v.DetailsText(1), QStringLiteral("1 KB"));
    EXPECT_FALSE(v.DetailsText(2).isEmpty());
    EXPECT_FALSE(v.DetailsText(3).isEmpty());
    v.SetObjectName(dir.file("gross.bin"));
    EXPECT_EQ(v.DetailsText(1), QStringLiteral("5.242.880 KB"));
    QDir(dir.path()).mkdir("sub");
    v.SetObjectName(dir.file("sub"));
    EXPECT_EQ(v.DetailsText(1), QString());
    QLocale::setDefault(QLocale::c());
}

TEST(Vantry, VerbsOpenCopyAndDeleteToTheTrash)
{
    qlytest::TempDir dir;
    WriteFile(dir.file("a.txt"), "a");
    WriteFile(dir.file("b.txt"), "b");
    QDir().mkpath(qEnvironmentVariable("XDG_DATA_HOME"));
    TVantry v;
    QStringList opened;
    v.OpenFile = [&](const QString& p) { opened << p; return true; };
    v.SetFolder(dir.path());
    v.MultiObjects = QStringList{dir.file("a.txt"), QStringLiteral("b.txt")};
    EXPECT_TRUE(v.ExecuteVerb(QString())); // the default verb opens
    EXPECT_EQ(opened, QStringList({dir.file("a.txt"), dir.file("b.txt")}));
    EXPECT_TRUE(v.MultiObjects.isEmpty());

    // A refused verb does nothing.
    v.OnContextMenuSelect = [](const QString&, bool& execute) { execute = false; };
    v.SetObjectName(QStringLiteral("a.txt"));
    EXPECT_FALSE(v.ExecuteVerb(QStringLiteral("delete")));
    EXPECT_TRUE(QFile::exists(dir.file("a.txt")));
    v.OnContextMenuSelect = nullptr;

    v.MultiObjects = QStringList{dir.file("a.txt")};
    EXPECT_TRUE(v.ExecuteVerb(QStringLiteral("DELETE")));
    EXPECT_FALSE(QFile::exists(dir.file("a.txt")));
    // In a trash folder, not gone.
    QStringList found;
    for (const QString& trash : {qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files", QDir::homePath() + "/.local/share/Trash/files",
                                 QStringLiteral("/.Trash-%1/files").arg(::getuid())}) {
        for (const QString& n : QDir(trash).entryList({"a*.txt"}, QDir::Files))
            if (QFile(trash + "/" + n).size() == 1)
                found << trash + "/" + n;
    }
    EXPECT_FALSE(found.isEmpty());
    for (const QString& f : found)
        QFile::remove(f);
    EXPECT_FALSE(v.ExecuteVerb(QStringLiteral("unbekannt")));
}

TEST(Vantry, ContextMenuCarriesTheVerbs)
{
    TVantry v;
    QMenu extra;
    extra.addAction(QStringLiteral("Eigener Eintrag"));
    std::unique_ptr<QMenu> menu(v.CreateContextMenu(&extra, nullptr));
    QStringList captions, verbs;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        captions << a->text();
        verbs << a->data().toString();
    }
    EXPECT_EQ(captions, QStringList({"Eigener Eintrag", "Öffnen", "Kopieren", "Löschen"}));
    EXPECT_EQ(verbs, QStringList({"", "open", "copy", "delete"}));
    v.ShowContextMenuOnTop = true;
    menu.reset(v.CreateContextMenu(&extra, nullptr));
    EXPECT_EQ(menu->actions().first()->data().toString(), QStringLiteral("open"));
}

struct FileList : ::testing::Test {
    qlytest::TempDir dir;
    TOrvFileList list;
    QStringList Column(int c)
    {
        QStringList out;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            out << list.topLevelItem(i)->text(c);
        return out;
    }
};

TEST_F(FileList, ColumnsAndDetails)
{
    QStringList captions;
    QList<int> widths;
    for (int i = 0; i < list.columnCount(); ++i) {
        captions << list.headerItem()->text(i);
        widths << list.columnWidth(i);
    }
    EXPECT_EQ(captions, QStringList({"Name", "In Folder", "Size", "Type", "Changed"}));
    EXPECT_EQ(widths, QList<int>({150, 150, 60, 120, 100}));
    EXPECT_EQ(list.ColumnCount(), 5);

    WriteFile(dir.file("anhang.txt"), QByteArray(3000, 'x'));
    list.AddFile(dir.file("anhang.txt"));
    ASSERT_EQ(list.Count(), 1);
    QTreeWidgetItem* it = list.topLevelItem(0);
    EXPECT_EQ(it->text(0), QStringLiteral("anhang.txt"));
    EXPECT_EQ(it->text(1), dir.path() + "/");
    EXPECT_EQ(it->text(2), QStringLiteral("3 KB"));
    EXPECT_FALSE(it->text(3).isEmpty());
    EXPECT_FALSE(it->text(4).isEmpty());
    EXPECT_FALSE(it->icon(0).isNull());

    list.SetDetails(false);
    EXPECT_EQ(list.columnCount(), 1);
}

TEST_F(FileList, AddOnceMissingFilesAndVetoes)
{
    WriteFile(dir.file("a.txt"), "a");
    list.AddFile(dir.file("a.txt"));
    list.AddFile(dir.file("a.txt"));
    EXPECT_EQ(list.Count(), 1);
    WriteFile(dir.file("A.txt"), "a");
    list.AddFile(dir.file("A.txt")); // another file on Linux
    EXPECT_EQ(list.Count(), 2);

    list.AddFile(dir.file("fehlt.pdf"));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.topLevelItem(2)->text(0), QStringLiteral("fehlt.pdf"));
    EXPECT_EQ(list.topLevelItem(2)->text(2), QString());

    QStringList deleted;
    list.OnDeletion = [&](QTreeWidgetItem* i) { deleted << list.GetItemPath(i); };
    list.OnAddItem = [&](QTreeWidgetItem* i, bool& canAdd) { canAdd = QFile::exists(list.GetItemPath(i)); };
    list.AddFile(dir.file("auch-fehlt.pdf"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(deleted, QStringList({dir.file("auch-fehlt.pdf")}));
    list.OnAddItem = nullptr;
    list.OnAddPath = [](const QString&, bool& canAdd) { canAdd = false; };
    WriteFile(dir.file("b.txt"), "b");
    list.AddFile(dir.file("b.txt"));
    EXPECT_EQ(list.Count(), 3);

    EXPECT_EQ(list.GetItemPath(0), dir.file("a.txt"));
    EXPECT_EQ(list.GetItemPath(nullptr), QString());
    list.topLevelItem(0)->setSelected(true);
    list.topLevelItem(2)->setSelected(true);
    deleted.clear();
    list.DeleteSelected();
    EXPECT_EQ(deleted, QStringList({dir.file("a.txt"), dir.file("fehlt.pdf")}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetItemPath(0), dir.file("A.txt"));
}

TEST_F(FileList, SortingByHeaderClicks)
{
    WriteFile(dir.file("b.txt"), QByteArray(5000, 'x'));
    WriteFile(dir.file("a.txt"), QByteArray(20000, 'x'));
    WriteFile(dir.file("c.txt"), QByteArray(900, 'x'));
    for (const char* n : {"b.txt", "a.txt", "c.txt"})
        list.AddFile(dir.file(n));
    list.SortByColumn(0);
    EXPECT_EQ(Column(0), QStringList({"a.txt", "b.txt", "c.txt"}));
    list.SortByColumn(0);
    EXPECT_TRUE(list.SortDescending());
    EXPECT_EQ(Column(0), QStringList({"c.txt", "b.txt", "a.txt"}));
    list.SortByColumn(0);
    EXPECT_EQ(Column(0), QStringList({"a.txt", "b.txt", "c.txt"}));
    // Another column starts ascending; sizes sort as numbers.
    list.SortByColumn(0);
    list.SortByColumn(2);
    EXPECT_FALSE(list.SortDescending());
    EXPECT_EQ(Column(0), QStringList({"c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(list.header()->sortIndicatorSection(), 2);
    // A click on the header does the same.
    list.resize(600, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {},
                      QPoint(list.header()->sectionViewportPosition(2) + 5, 5));
    EXPECT_TRUE(list.SortDescending());
    EXPECT_EQ(Column(0), QStringList({"a.txt", "b.txt", "c.txt"}));
}

TEST_F(FileList, VerbsRunOnTheSelectedFiles)
{
    WriteFile(dir.file("a.txt"), "a");
    WriteFile(dir.file("b.txt"), "b");
    list.AddFile(dir.file("a.txt"));
    list.AddFile(dir.file("b.txt"));
    QStringList opened;
    list.Namespace().OpenFile = [&](const QString& p) { opened << p; return true; };
    EXPECT_FALSE(list.ExecuteVerb(QStringLiteral("open"))); // nothing selected
    list.topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(list.ExecuteVerb(QStringLiteral("default")));
    EXPECT_EQ(opened, QStringList({dir.file("b.txt")}));
    // A double-click opens the file under the mouse.
    list.resize(600, 200);
    list.show();
    const QRect r = list.visualItemRect(list.topLevelItem(1));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(opened.size(), 2);
}

} // namespace
