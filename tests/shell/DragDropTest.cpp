// Files dropped on a file list and dragged out of it.
#include "QtPrint.h"
#include "TestUtil.h"

#include "controls/shell/OrvFileList.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class DragList : public TOrvFileList {
public:
    using TOrvFileList::startDrag;
};

QStringList Paths(const TOrvFileList& l)
{
    QStringList p;
    for (int i = 0; i < l.Count(); ++i)
        p << l.GetItemPath(i);
    return p;
}

// Enter, move and drop as the drag manager sends them; answers the drop's action (Ignore when
// the enter was refused, as then nothing more is sent).
Qt::DropAction Drop(TOrvFileList& list, const QList<QUrl>& urls, Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(20, 10);
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

class DragDrop : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* n : {"c.txt", "a.txt", "b.txt"})
            qlytest::writeFileBytes(dir.file(n), "x");
        list.resize(400, 200);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    QUrl Url(const char* name) const { return QUrl::fromLocalFile(dir.file(name)); }
    qlytest::TempDir dir;
    DragList list;
};

TEST_F(DragDrop, DroppedFilesAreAddedInDropOrderAsACopy)
{
    QStringList before;
    list.OnBeforeShellDrop = [&](TOrvFileList* sender, QTreeWidgetItem*, const QStringList& files, bool& execute) {
        EXPECT_EQ(sender, &list);
        before = files;
        EXPECT_TRUE(execute);
    };
    EXPECT_EQ(Drop(list, {Url("c.txt"), Url("a.txt"), Url("b.txt")}), Qt::CopyAction);
    EXPECT_EQ(Paths(list), QStringList({dir.file("c.txt"), dir.file("a.txt"), dir.file("b.txt")}));
    EXPECT_EQ(before.size(), 3);
    EXPECT_TRUE(QFile::exists(dir.file("c.txt"))); // the source keeps its files

    // Already listed, and not a file: nothing more.
    EXPECT_EQ(Drop(list, {Url("a.txt"), QUrl("https://beispiel.de/datei.pdf")}), Qt::CopyAction);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(before, QStringList{dir.file("a.txt")});
}

TEST_F(DragDrop, TheDropCanBeRefused)
{
    list.OnBeforeShellDrop = [&](TOrvFileList*, QTreeWidgetItem*, const QStringList&, bool& execute) { execute = false; };
    Drop(list, {Url("a.txt")});
    EXPECT_EQ(list.Count(), 0);

    list.OnBeforeShellDrop = nullptr;
    list.SetOleDragDrop(false);
    EXPECT_EQ(Drop(list, {Url("a.txt")}), Qt::IgnoreAction);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(DragDrop, ADragCarriesTheSelectedFilesForCopyOrLink)
{
    for (const char* n : {"c.txt", "a.txt", "b.txt"})
        list.AddFile(dir.file(n));
    list.topLevelItem(2)->setSelected(true);
    list.topLevelItem(0)->setSelected(true);
    QList<QUrl> carried;
    Qt::DropActions allowedSeen;
    Qt::DropAction result = Qt::CopyAction;
    int drags = 0;
    list.DragExecutor = [&](QDrag& drag, Qt::DropActions allowed) {
        ++drags;
        carried = drag.mimeData()->urls();
        allowedSeen = allowed;
        return result;
    };
    QList<std::pair<TOrvShellOperations, QStringList>> ops;
    list.OnOperation = [&](TOrvShellOperations op, const QStringList& files, const QString& destination) {
        EXPECT_TRUE(destination.isEmpty());
        ops.append({op, files});
    };
    list.startDrag(Qt::CopyAction | Qt::MoveAction);
    EXPECT_EQ(carried, QList<QUrl>({Url("c.txt"), Url("b.txt")})); // item order
    EXPECT_EQ(allowedSeen, Qt::CopyAction | Qt::LinkAction);
    ASSERT_EQ(ops.size(), 1);
    EXPECT_EQ(ops[0].first, TOrvShellOperations(sopDrag | sopCopy));
    EXPECT_EQ(ops[0].second, QStringList({dir.file("c.txt"), dir.file("b.txt")}));

    result = Qt::MoveAction; // a target that moved anyway
    list.startDrag(Qt::CopyAction);
    ASSERT_EQ(ops.size(), 2);
    EXPECT_EQ(ops[1].first, TOrvShellOperations(sopDrag | sopMove | sopRemove));
    EXPECT_EQ(list.Count(), 3); // the items stay
    EXPECT_TRUE(QFile::exists(dir.file("c.txt")));

    result = Qt::IgnoreAction;
    list.startDrag(Qt::CopyAction);
    EXPECT_EQ(ops.size(), 2);

    list.SetOleDragDrop(false);
    list.startDrag(Qt::CopyAction);
    EXPECT_EQ(drags, 3);
    list.SetOleDragDrop(true);
    list.clearSelection();
    list.startDrag(Qt::CopyAction);
    EXPECT_EQ(drags, 3); // nothing selected: no drag
}

} // namespace
