// The shared check-box selection, its link and the file list's check boxes.
#include "QtPrint.h"
#include "TestUtil.h"

#include "controls/shell/OrvFileList.h"
#include "controls/shell/OrvSelectionList.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void Write(const QString& path, int size)
{
    QDir().mkpath(QFileInfo(path).path());
    qlytest::writeFileBytes(path, QByteArray(size, 'x'));
}

bool Settled(const TOrvSelectionList& s)
{
    return QTest::qWaitFor([&] { return s.PendingSizes() == 0; }, 5000);
}

TEST(SelectionList, StatesOfFilesAndFolders)
{
    qlytest::TempDir dir;
    const QString f = dir.file("ordner");
    Write(f + "/a.txt", 1);
    Write(f + "/sub/b.txt", 1);
    Write(dir.file("einzeln/c.txt"), 1);
    TOrvShellLink link;
    TOrvSelectionList& s = link.SelectionList();

    s.Add(f);
    EXPECT_EQ(s.Paths(), QStringList{f + "/*"});
    bool viaFolder = false;
    EXPECT_EQ(s.State(f + "/sub/b.txt", &viaFolder), ssChecked);
    EXPECT_TRUE(viaFolder);
    EXPECT_EQ(s.State(f, &viaFolder), ssChecked);
    EXPECT_FALSE(viaFolder);
    s.Add(f + "/a.txt"); // already covered: nothing
    EXPECT_EQ(s.Paths().size(), 1);

    s.Add(dir.file("einzeln/c.txt"));
    EXPECT_EQ(s.State(dir.file("einzeln")), ssGrayed);
    EXPECT_EQ(s.State(dir.path()), ssGrayed);
    EXPECT_EQ(s.State(dir.file("fehlt.txt")), ssNone);
    EXPECT_EQ(s.State(QString()), ssNone);
    EXPECT_EQ(s.State(dir.file("einzeln/")), ssGrayed); // a trailing "/" or "*" is the same folder
    EXPECT_EQ(s.State(dir.file("einzeln/*")), ssGrayed);

    // Adding a grayed folder takes the entries below it in.
    s.Add(dir.file("einzeln"));
    EXPECT_EQ(s.Paths(), QStringList({f + "/*", dir.file("einzeln/*")}));
    Settled(s);
}

TEST(SelectionList, BelowMeansBelowNotSomewhereInside)
{
    // An entry whose path holds another folder's path in its middle is not below that folder.
    qlytest::TempDir dir;
    const QString a = dir.file("a");
    const QString deep = dir.file("x") + dir.path() + "/a/b";
    Write(a + "/f.txt", 1);
    Write(deep + "/g.txt", 1);
    TOrvShellLink link;
    TOrvSelectionList& s = link.SelectionList();
    s.Add(deep);
    EXPECT_EQ(s.State(a), ssUnChecked);
    s.Add(a);
    EXPECT_EQ(s.Paths(), QStringList({deep + "/*", a + "/*"}));
    s.Remove(a);
    EXPECT_EQ(s.Paths(), QStringList{deep + "/*"});
    Settled(s);
}

TEST(SelectionList, RemovingFromACheckedFolderKeepsTheSiblingsAndExactTotals)
{
    qlytest::TempDir dir;
    const QString f = dir.file("ordner");
    Write(f + "/a.txt", 3);
    Write(f + "/b.txt", 5);
    Write(f + "/sub/c.txt", 7);
    Write(f + "/sub/d.txt", 11);
    TOrvShellLink link;
    TOrvSelectionList& s = link.SelectionList();

    Write(dir.file("zehn.txt"), 10);
    s.Add(dir.file("zehn.txt"));
    EXPECT_EQ(s.TotalSize(), 10);
    EXPECT_EQ(s.FileCount(), 1);
    Write(dir.file("zehn.txt"), 25); // grown since: the sum still comes back to 0
    s.Remove(dir.file("zehn.txt"));
    EXPECT_EQ(s.TotalSize(), 0);
    EXPECT_EQ(s.FileCount(), 0);

    s.Add(f);
    ASSERT_TRUE(Settled(s));
    EXPECT_EQ(s.TotalSize(), 26);
    EXPECT_EQ(s.FileCount(), 4);

    s.Remove(f + "/sub/c.txt");
    ASSERT_TRUE(Settled(s));
    EXPECT_EQ(s.Paths(), QStringList({f + "/sub/d.txt", f + "/a.txt", f + "/b.txt"})); // from the line upward
    EXPECT_EQ(s.State(f + "/sub/c.txt"), ssUnChecked);
    EXPECT_EQ(s.State(f), ssGrayed);
    EXPECT_EQ(s.TotalSize(), 19);
    EXPECT_EQ(s.FileCount(), 3);

    s.Remove(f); // grayed: everything below goes
    ASSERT_TRUE(Settled(s));
    EXPECT_TRUE(s.Paths().isEmpty());
    EXPECT_EQ(s.TotalSize(), 0);
    EXPECT_EQ(s.FileCount(), 0);

    // A collapse goes up as long as every sibling is selected.
    s.Add(f + "/sub");
    s.Add(f + "/a.txt");
    EXPECT_EQ(s.CollapseUpward(f + "/a.txt"), f + "/a.txt");
    s.Add(f + "/b.txt");
    EXPECT_TRUE(s.AllChildrenSelected(f));
    EXPECT_EQ(s.CollapseUpward(f + "/a.txt"), f + "/");
    Settled(s);
}

TEST(SelectionList, FolderShortcutsStandForTheirTarget)
{
    qlytest::TempDir dir;
    Write(dir.file("ziel/x.txt"), 1);
    QDir().mkpath(dir.file("verknuepfung"));
    ASSERT_TRUE(QFile::link(dir.file("ziel"), dir.file("verknuepfung/target.lnk")));
    TOrvShellLink link;
    TOrvSelectionList& s = link.SelectionList();
    s.Add(dir.file("verknuepfung"));
    EXPECT_EQ(s.Paths(), QStringList{dir.file("ziel/*")});
    s.ResolveFolderShortcuts = false;
    EXPECT_EQ(s.State(dir.file("verknuepfung")), ssUnChecked);
    Settled(s);
}

class CountingControl : public IOrvShellControl {
public:
    void SetShellLink(TOrvShellLink* l) override { link = l; }
    TOrvShellLink* ShellLink() const override { return link; }
    void SelectAllItems() override {}
    void RefreshControl() override {}
    void UpdateCheckStates() override { ++updates; }
    TOrvShellLink* link = nullptr;
    int updates = 0;
};

TEST(ShellLink, UpdatesWaitForTheEndOfAnUpdate)
{
    qlytest::TempDir dir;
    Write(dir.file("a"), 1);
    Write(dir.file("b"), 1);
    CountingControl c[3];
    TOrvShellLink link; // goes first: it lets its controls know
    for (auto& x : c)
        link.Join(&x);
    link.Join(&c[0]); // joined once only
    EXPECT_EQ(link.Controls().size(), 3);
    TOrvSelectionList& s = link.SelectionList();
    s.BeginUpdate();
    s.Add(dir.file("a"));
    s.Add(dir.file("b"));
    for (auto& x : c)
        EXPECT_EQ(x.updates, 0);
    s.EndUpdate();
    for (auto& x : c)
        EXPECT_EQ(x.updates, 1);
    link.TellOthers(&c[1]);
    EXPECT_EQ(c[1].updates, 1);
    EXPECT_EQ(c[2].updates, 2);
    link.Enabled = false;
    s.Remove(dir.file("a"));
    EXPECT_EQ(c[0].updates, 2);
    EXPECT_EQ(link.Version(), "TOrvShellLink V4.12");
}

TEST(FileListCheckboxes, AClickOnTheStateImageTogglesTheSharedSelection)
{
    qlytest::TempDir dir;
    Write(dir.file("a.txt"), 1);
    Write(dir.file("b.txt"), 1);
    TOrvFileList list, other;
    list.SetCheckboxes(true);
    EXPECT_FALSE(list.Checkboxes()); // nothing to show without a link
    TOrvShellLink link;
    list.SetShellLink(&link);
    other.SetShellLink(&link);
    list.SetCheckboxes(true);
    other.SetCheckboxes(true);
    ASSERT_TRUE(list.Checkboxes());
    for (TOrvFileList* l : {&list, &other}) {
        l->AddFile(dir.file("a.txt"));
        l->AddFile(dir.file("b.txt"));
    }
    list.AddFile(dir.file("fehlt.txt"));
    EXPECT_EQ(list.topLevelItem(0)->data(0, TOrvFileList::StateRole).toInt(), int(ssUnChecked));
    EXPECT_EQ(list.topLevelItem(2)->data(0, TOrvFileList::StateRole).toInt(), int(ssNone));
    list.resize(500, 200);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    struct Call { int index; QString path; TOrvSelectionState state; };
    QList<Call> calls;
    list.OnCheckStateChanged = [&](TOrvFileList* sender, int index, const QString& path, TOrvSelectionState state) {
        EXPECT_EQ(sender, &list);
        calls.append({index, path, state});
    };
    const QRect r = list.StateImageRect(list.topLevelItem(1));
    ASSERT_FALSE(r.isEmpty());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[0].path, dir.file("b.txt"));
    EXPECT_EQ(calls[0].state, ssChecked);
    EXPECT_EQ(link.SelectionList().Paths(), QStringList{dir.file("b.txt")});
    EXPECT_EQ(other.topLevelItem(1)->data(0, TOrvFileList::StateRole).toInt(), int(ssChecked)); // joined list follows
    EXPECT_TRUE(list.selectedItems().isEmpty()); // the click only checks

    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR");
    if (!out.isEmpty())
        list.grab().save(out + "/filelist-checkboxes.png");

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].state, ssUnChecked);
    EXPECT_TRUE(link.SelectionList().Paths().isEmpty());
    // A missing file cannot be checked.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.StateImageRect(list.topLevelItem(2)).center());
    EXPECT_EQ(calls.size(), 2);
    // A click beside the state image selects as usual.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r.center() + QPoint(60, 0));
    EXPECT_EQ(calls.size(), 2);
    EXPECT_TRUE(list.topLevelItem(1)->isSelected());
    Settled(link.SelectionList());
}

TEST(StateImages, FiveDistinctLooks)
{
    TOrvSelectionStateImageList images;
    ASSERT_EQ(images.Count(), 5);
    EXPECT_EQ(images.Image(ssChecked).size(), QSize(16, 16));
    EXPECT_NE(images.Image(ssChecked).toImage(), images.Image(ssUnChecked).toImage());
    EXPECT_EQ(images.Image(ssUnused).toImage(), images.Image(ssUnChecked).toImage());
    EXPECT_NE(images.Image(ssGrayed).toImage(), images.Image(ssChecked).toImage());
    EXPECT_EQ(QColor(images.Image(ssNone).toImage().pixel(0, 0)), QColor(Qt::white));
}

} // namespace
