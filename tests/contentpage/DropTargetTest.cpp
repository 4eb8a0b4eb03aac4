#include "controls/FileDropTarget.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QMimeData* FileData(const QStringList& paths)
{
    auto* d = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    d->setUrls(urls);
    return d;
}

struct Drop : ::testing::Test {
    QWidget target;
    TDropFileTarget drop;
    QStringList dropped;
    int drops = 0;
    void SetUp() override
    {
        drop.Register(&target);
        drop.OnDrop = [this](TDragType, const QPoint&) {
            ++drops;
            dropped = drop.Files;
        };
    }
    // Enters and drops; the answers to the source.
    std::pair<bool, Qt::DropAction> DragAndDrop(QMimeData* data, Qt::KeyboardModifiers keys)
    {
        std::unique_ptr<QMimeData> owned(data);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data, Qt::LeftButton, keys);
        QApplication::sendEvent(&target, &enter);
        if (!enter.isAccepted())
            return {false, Qt::IgnoreAction};
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data, Qt::LeftButton, keys);
        QApplication::sendEvent(&target, &dropEvent);
        return {dropEvent.isAccepted(), dropEvent.dropAction()};
    }
};

TEST_F(Drop, FilesArriveInOrderAndShiftStillCopies)
{
    EXPECT_TRUE(target.acceptDrops());
    for (Qt::KeyboardModifiers keys : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                       Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)}) {
        const auto [accepted, action] = DragAndDrop(FileData({"/tmp/b.txt", "/tmp/a.pdf", "/tmp/c.doc"}), keys);
        EXPECT_TRUE(accepted);
        // Never "move": the file manager would delete the user's file.
        EXPECT_EQ(action, Qt::CopyAction);
    }
    EXPECT_EQ(drops, 3);
    EXPECT_EQ(dropped, QStringList({"/tmp/b.txt", "/tmp/a.pdf", "/tmp/c.doc"}));
    EXPECT_TRUE(drop.Files.isEmpty()); // cleared after the drop
}

TEST_F(Drop, TextIsRefused)
{
    auto* text = new QMimeData;
    text->setText(QStringLiteral("nur Text"));
    EXPECT_FALSE(DragAndDrop(text, {}).first);
    auto* web = new QMimeData;
    web->setUrls({QUrl(QStringLiteral("https://example.org/datei.txt"))});
    EXPECT_FALSE(DragAndDrop(web, {}).first);
    EXPECT_EQ(drops, 0);
}

TEST_F(Drop, RegisterOnceAndUnregister)
{
    drop.Register(&target);
    EXPECT_TRUE(drop.Registered());
    QWidget other;
    drop.Register(&other);
    EXPECT_EQ(drop.Target(), &other);
    EXPECT_FALSE(target.acceptDrops());
    drop.Unregister();
    EXPECT_FALSE(drop.Registered());
    EXPECT_FALSE(other.acceptDrops());
    EXPECT_FALSE(DragAndDrop(FileData({"/tmp/x.txt"}), {}).first);
    drop.Dragtypes = 0;
    drop.Register(&target);
    EXPECT_FALSE(DragAndDrop(FileData({"/tmp/x.txt"}), {}).first); // no effect allowed
}

} // namespace
