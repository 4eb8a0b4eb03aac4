// The spin and the edit with a button never get lower than their text needs; the grid places them
// over the cell, and a cell lower than that lets them reach down past it.
#include "Fixture.h"

#include <QFontDatabase>
#include <QStyle>

using namespace gridedit;
using namespace grid::editors;

namespace {

int textHeight(const QFont& f) { return QFontMetrics(f).height(); }
int systemHeight() { return textHeight(QFontDatabase::systemFont(QFontDatabase::GeneralFont)); }

} // namespace

TEST(MinEditHeight, LowerHeightsAreRaisedToTheMinimumOfTheFont)
{
    const int s = systemHeight();
    QFont small, large;
    small.setPixelSize(8);
    large.setPixelSize(40);
    ASSERT_LT(textHeight(small), s);
    ASSERT_GT(textHeight(large), s);
    struct Row {
        const char* name;
        QFont font;
        bool frame;
        int spinMin, buttonMin;
    };
    const int hs = textHeight(small), hl = textHeight(large);
    // The quarter is taken of the smaller of the two text heights; the spin adds 2, and 4 more with
    // a frame.
    const Row rows[] = {
        {"small, no frame", small, false, hs + hs / 4 + 2, hs + hs / 4},
        {"large, no frame", large, false, hl + s / 4 + 2, hl + s / 4},
        {"large, frame", large, true, hl + s / 4 + 6, hl + s / 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QWidget window;
        auto* spin = new DAveVevaDiza(&window);
        auto* button = new TDidEzevBtn(&window);
        auto* uni = new TZeiUniEditBtn(&window);
        for (QLineEdit* e : {static_cast<QLineEdit*>(spin), static_cast<QLineEdit*>(button), static_cast<QLineEdit*>(uni)}) {
            e->setFont(r.font);
            e->setFrame(r.frame);
        }
        window.show();
        EXPECT_EQ(spin->MinEditHeight(), r.spinMin);
        EXPECT_EQ(button->MinEditHeight(), r.buttonMin);
        EXPECT_EQ(uni->MinEditHeight(), r.buttonMin);
        spin->setGeometry(0, 0, 120, 5);
        button->setGeometry(0, 60, 120, 5);
        uni->setGeometry(0, 120, 120, 5);
        QApplication::processEvents();
        EXPECT_EQ(spin->height(), r.spinMin);
        EXPECT_EQ(button->height(), r.buttonMin);
        EXPECT_EQ(uni->height(), r.buttonMin);
        // The arrows and the button follow the raised height.
        EXPECT_EQ(spin->Button()->height(), r.spinMin);
        const int f = r.frame ? button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) : 0;
        EXPECT_EQ(button->ButtonControl()->height(), r.frame ? r.buttonMin - 2 * f : r.buttonMin - 1);
        // Higher heights are taken as they come.
        spin->setGeometry(0, 0, 120, 70);
        button->setGeometry(0, 80, 120, 70);
        EXPECT_EQ(spin->height(), 70);
        EXPECT_EQ(button->height(), 70);
    }
}

// A row lower than the editor's minimum: the editor keeps the cell's top-left and width and reaches
// down past the cell; a row high enough gets the editor at its height less one.
TEST_F(GridEditFixture, EditorsKeepTheCellsPlaceAndTheirMinimumHeight)
{
    struct Row {
        const char* name;
        TEditorType kind;
        std::function<QLineEdit*()> editor;
        std::function<int()> minimum;
        // The arrows or the button, as laid out in an editor of the given size.
        std::function<QRect()> part;
        std::function<QRect(QSize)> expectedPart;
    };
    const Row rows[] = {
        {"spin", edSpinEdit, [&] { return static_cast<QLineEdit*>(grid->GridSpin()); },
         [&] { return grid->GridSpin()->MinEditHeight(); }, [&] { return grid->GridSpin()->Button()->geometry(); },
         [](QSize s) { return QRect(s.width() - 15, 0, 15, s.height()); }},
        {"edit with button", edEditBtn, [&] { return static_cast<QLineEdit*>(grid->GridEditBtn()); },
         [&] { return grid->GridEditBtn()->MinEditHeight(); },
         [&] { return grid->GridEditBtn()->ButtonControl()->geometry(); },
         [](QSize s) { return QRect(s.width() - 18 - 1, 0, 18, s.height() - 1); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const int minimum = r.minimum();
        for (int rowHeight : {minimum - 4, minimum + 10}) {
            grid->SetRowHeights(1, rowHeight);
            open(1, 1, "5", r.kind);
            ASSERT_EQ(grid->ShownEditorControl(), r.editor());
            const QRect cell = grid->MergedCellRect(1, 1);
            const QRect g = r.editor()->geometry();
            EXPECT_EQ(g.topLeft(), cell.topLeft());
            EXPECT_EQ(g.width(), cell.width() - 1);
            EXPECT_EQ(g.height(), std::max(minimum, cell.height() - 1));
            EXPECT_EQ(r.part(), r.expectedPart(g.size()));
            grid->EndInplaceEdit();
            grid->HideEditor();
        }
    }
}
