#include "GridFixture.h"
#include <gtest/gtest.h>

using namespace gridtest;
using namespace xdb;

TEST(GridSmoke, OpensAndPaints)
{
    ListGrid g(20);
    EXPECT_EQ(g.grid->ColCount(), 6);
    EXPECT_GT(g.grid->RowCount(), 2);
    auto status = CreateStatusImageList();
    g.grid->Columns()->Items(1)->SetImages(status.get());
    g.grid->SetOptions(g.grid->Options() | dgMultiSelect);
    g.ds.MoveBy(2);
    g.grid->SelectCurrent();
    g.grid->Columns()->Items(2)->Title()->SetHeader(QStringLiteral("Adresse"));
    g.grid->Columns()->ToggleMarker(g.grid->Columns()->Items(2), false);
    g.grid->SetStripeColor(gfx::clDefault);
    QImage img = g.Shot();
    if (qEnvironmentVariableIsSet("GRID_SHOT"))
        img.save(qEnvironmentVariable("GRID_SHOT"));
    EXPECT_FALSE(img.isNull());
}
