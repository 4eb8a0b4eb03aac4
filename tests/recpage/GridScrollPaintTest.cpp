// The list grid of the recipients page after paging with its scroll bar, as the user does it:
// what the window shows must equal a full repaint.
#include "RecipientsPageFixture.h"
#include "ScreenPixels.h"
#include <QScrollBar>

using namespace pagetest;
using namespace qlytest;

TEST_F(RecipientsPageTest, PagingWithTheScrollBarTrackShowsWhatAFullRepaintShows)
{
    QList<QStringList> rows;
    for (int i = 1; i <= 200; ++i)
        rows << QStringList{QStringLiteral("empfaenger%1@example.com").arg(i), QStringLiteral("Name%1").arg(i),
                            QStringLiteral("Vorname%1").arg(i)};
    AddRows(rows);
    ShowRecipientsPage();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QWidget* view = Grid()->viewport();
    // A window height that leaves part of a row's height empty under the last row, as most do.
    const auto emptyUnderTheRows = [&] {
        const int last = Grid()->TitleOffset() + Grid()->VisibleRowCount() - 1;
        return view->height() - (Grid()->CellRect(1, last).bottom() + 1);
    };
    for (int grow = 0; grow < 40 && (emptyUnderTheRows() < 5 || emptyUnderTheRows() > 12); ++grow) {
        form->resize(900, 600 + grow);
        QApplication::processEvents();
    }
    ASSERT_GE(emptyUnderTheRows(), 5);
    QScrollBar* bar = Grid()->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    const struct {
        QStyle::SubControl part;
        int clicks;
    } steps[] = {{QStyle::SC_ScrollBarAddPage, 1}, {QStyle::SC_ScrollBarAddPage, 2}, {QStyle::SC_ScrollBarSubPage, 1},
                 {QStyle::SC_ScrollBarAddLine, 3}, {QStyle::SC_ScrollBarSubLine, 2}};
    for (const auto& step : steps) {
        SCOPED_TRACE(int(step.part));
        // A cell in the fifth row, then the bar.
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                          Grid()->ColumnCellRect(Grid()->Columns()->Items(1), 4).center());
        QApplication::processEvents();
        const QString clicked = CurrentEmail();
        for (int i = 0; i < step.clicks; ++i) {
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, ScrollBarPoint(bar, step.part));
            QApplication::processEvents();
        }
        EXPECT_NE(CurrentEmail(), clicked);
        const QImage shown = OnScreen(view);
        view->update();
        QApplication::processEvents();
        const auto [differing, where] = DifferingPixels(shown, OnScreen(view));
        EXPECT_EQ(differing, 0) << clicked.toStdString() << " -> " << CurrentEmail().toStdString() << ", in x "
                                << where.x() << ".." << where.right() << " y " << where.y() << ".." << where.bottom();
    }
}
