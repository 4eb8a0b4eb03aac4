// The flat combo box and the cell checker through the grid's validation.
#include "Fixture.h"

#include "grid/editors/FlatCombo.h"

using namespace gridedit;
using namespace grid::editors;

TEST(FlatCombo, ButtonWidthRangeVersionAndDisabledColour)
{
    QWidget parent;
    QPalette pp = parent.palette();
    pp.setColor(QPalette::Window, QColor(200, 10, 10));
    parent.setPalette(pp);
    TZEIComboBox c(&parent);
    const int initial = c.ButtonWidth();
    for (const auto& [value, taken] : std::vector<std::pair<int, bool>>{{13, false}, {14, true}, {32, true}, {33, false}}) {
        const int before = c.ButtonWidth();
        c.SetButtonWidth(value);
        EXPECT_EQ(c.ButtonWidth(), taken ? value : before) << value;
    }
    EXPECT_NE(initial, 0);
    EXPECT_EQ(c.Version(), "1.2.0.0");
    c.setProperty("Version", "9.9.9.9");
    EXPECT_EQ(c.property("Version").toString(), "1.2.0.0");

    QPalette own = c.palette();
    own.setColor(QPalette::Base, QColor(10, 200, 10));
    c.setPalette(own);
    c.setEnabled(false);
    EXPECT_EQ(c.palette().color(QPalette::Base), QColor(200, 10, 10));
    c.setEnabled(true);
    EXPECT_EQ(c.palette().color(QPalette::Base), QColor(10, 200, 10));
}

namespace {
class Checker : public TZedEzeravIvurCheck {
public:
    QString Correct(int, int, const QString& text) override { return text.trimmed(); }
    QString MarkError(int, int, const QString& text) override { return "<e>" + text + "</e>"; }
};
} // namespace

TEST_F(GridEditFixture, CheckerCorrectsBeforeAndMarksAfterTheValidationEvent)
{
    Checker checker;
    grid->SetCellChecker(&checker);
    QString seen;
    grid->OnCellValidate = [&](QObject*, int, int, QString& value, bool&) { seen = value; };
    struct Case {
        bool correct, mark;
        QString expectSeen, expectStored;
    };
    const std::vector<Case> cases = {
        {false, false, " x ", " x "},
        {true, false, "x", "x"},
        {true, true, "x", "<e>x</e>"},
    };
    int row = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(row);
        checker.AutoCorrect = c.correct;
        checker.AutoMarkError = c.mark;
        open(1, row, "", edNormal);
        QTest::keyClicks(inplaceWidget(), " x ");
        QTest::keyClick(inplaceWidget(), Qt::Key_Down);
        EXPECT_EQ(seen, c.expectSeen);
        EXPECT_EQ(grid->Cells(1, row), c.expectStored);
        ++row;
        grid->HideEditor();
    }
}
