// Node glyphs under the mouse, and moving columns and rows by their headers.
#include "InputFixture.h"
#include "grid/GridHelpers.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;
using namespace inputtest;

namespace {

struct Nodes {
    std::unique_ptr<TZedEzeravIvur> grid = fruitGrid();
    std::vector<std::string> events;
    bool allow = true;
    Nodes()
    {
        grid->resize(420, 300);
        grid->AddNode(2, 3);   // rows 2, 3, 4
        grid->AddNode(6, 2);   // rows 6, 7
        grid->OnBeforeExpandNode = [this](QObject*, int row, int real, bool& a) {
            events.push_back("before expand " + std::to_string(row) + "/" + std::to_string(real));
            a = allow;
        };
        grid->OnExpandNode = [this](QObject*, int row, int real) {
            events.push_back("expand " + std::to_string(row) + "/" + std::to_string(real));
        };
        grid->OnBeforeContractNode = [this](QObject*, int row, int real, bool& a) {
            events.push_back("before contract " + std::to_string(row) + "/" + std::to_string(real));
            a = allow;
        };
        grid->OnContractNode = [this](QObject*, int row, int real) {
            events.push_back("contract " + std::to_string(row) + "/" + std::to_string(real));
        };
        grid->show();
    }
    // On the glyph of a first-level node (indent 12) in a displayed row.
    void pressGlyph(int row)
    {
        const QRect r = grid->CellRect(0, row);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 6, r.center().y()));
    }
};

} // namespace

TEST(NodeMouse, GlyphContractsAndExpandsWithItsEvents)
{
    Nodes n;
    n.grid->FocusCell(2, 1, true);
    n.pressGlyph(2);
    EXPECT_TRUE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->RowCount(), 8);
    EXPECT_EQ(n.grid->Cells(1, 3), "Pflaume");   // rows 3 and 4 hidden
    EXPECT_EQ(n.grid->Row(), 1);                  // the current row stays without MoveRowOnNodeClick
    // The second node now stands in displayed row 4: displayed and real rows both reported.
    n.pressGlyph(4);
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    n.pressGlyph(2);
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->Cells(1, 3), "Birne");
    EXPECT_EQ(n.events, (std::vector<std::string>{"before contract 2/2", "contract 2/2", "before contract 4/6",
                                                  "contract 4/6", "before expand 2/2", "expand 2/2"}));
}

TEST(NodeMouse, RefusalMoveRowAndPressesBesideTheGlyph)
{
    Nodes n;
    n.allow = false;
    n.pressGlyph(2);
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.events, (std::vector<std::string>{"before contract 2/2"}));

    n.allow = true;
    n.events.clear();
    n.grid->MouseActions()->MoveRowOnNodeClick = true;
    n.grid->FocusCell(3, 8, true);
    n.pressGlyph(6);
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    EXPECT_EQ(QPoint(n.grid->Col(), n.grid->Row()), QPoint(3, 6));

    // Beside the glyph, and on a row that is no node, nothing opens or closes.
    n.events.clear();
    const QRect r = n.grid->CellRect(0, 2);
    QTest::mouseClick(n.grid->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 14, r.center().y()));
    n.pressGlyph(3);
    EXPECT_TRUE(n.events.empty());
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
}

TEST(NodeMouse, HeaderNodeOpensOrClosesEveryNode)
{
    Nodes n;
    n.grid->AddNode(0, 1);
    n.pressGlyph(0);   // without NodeAllExpandContract nothing
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    n.grid->MouseActions()->NodeAllExpandContract = true;
    n.pressGlyph(0);
    EXPECT_TRUE(n.grid->IsNodeContracted(0));
    EXPECT_TRUE(n.grid->IsNodeContracted(2));
    EXPECT_TRUE(n.grid->IsNodeContracted(6));
    EXPECT_EQ(n.grid->RowCount(), 7);
    n.pressGlyph(0);
    EXPECT_FALSE(n.grid->IsNodeContracted(0));
    EXPECT_FALSE(n.grid->IsNodeContracted(2));
    EXPECT_EQ(n.grid->RowCount(), 10);
    EXPECT_TRUE(n.events.empty());   // the header's glyph asks no node events
}
