// Data grid core and columns: row mapping, field map, property bounds, widths, check-box values,
// image indexes and the update lock.
#include "GridFixture.h"
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace gridtest;
using namespace xdb;

TEST(GridRows, RowsAreTheLinksBuffersPlusTitles)
{
    {
        ListGrid g(3, QStringLiteral("SELECT \"Status\", \"Email\", \"Last Name\" FROM \"RL1\""));
        EXPECT_EQ(g.grid->ColCount(), 4);
        EXPECT_EQ(g.grid->RowCount(), 4);
        EXPECT_EQ(g.grid->TitleOffset(), 1);
        EXPECT_EQ(g.grid->IndicatorOffset(), 1);
    }
    {
        ListGrid g(200);
        const int visible = g.grid->VisibleRowCount();
        ASSERT_GT(visible, 3);
        ASSERT_LT(visible, 100);
        EXPECT_EQ(g.grid->RowCount(), visible + 1);
        EXPECT_EQ(g.grid->DataLink()->BufferCount(), visible);
        // Moving to the end keeps the same number of rows; the current record is on the last one.
        g.ds.Last();
        EXPECT_EQ(g.grid->RowCount(), visible + 1);
        EXPECT_EQ(g.grid->Row(), visible);
        EXPECT_EQ(g.Id(), 200);
    }
}

TEST(GridRows, EmptyOrClosedDatasetGivesOneEmptyDataRow)
{
    ListGrid empty(0);
    EXPECT_EQ(empty.grid->RowCount(), 2);
    EXPECT_EQ(empty.grid->DataLink()->RecordCount(), 0);

    ListGrid closed(10, QStringLiteral("SELECT * FROM \"RL1\""), false);
    EXPECT_EQ(closed.grid->RowCount(), 2);
    closed.ds.Open();
    EXPECT_GT(closed.grid->RowCount(), 2);
    closed.ds.Close();
    EXPECT_EQ(closed.grid->RowCount(), 2);
    // Both still paint.
    EXPECT_FALSE(empty.Shot().isNull());
    EXPECT_FALSE(closed.Shot().isNull());
}

TEST(GridFields, DefaultColumnsFollowTheVisibleFields)
{
    ListGrid g(5);
    EXPECT_EQ(g.grid->Columns()->State(), csDefault);
    ASSERT_EQ(g.grid->Columns()->Count(), 5);
    EXPECT_EQ(g.grid->Columns()->Items(2)->FieldName(), QStringLiteral("Email"));
    g.ds.FieldByName(QStringLiteral("_ID"))->SetVisible(false);
    QApplication::processEvents();
    ASSERT_EQ(g.grid->Columns()->Count(), 4);
    EXPECT_EQ(g.grid->Columns()->Items(0)->FieldName(), QStringLiteral("Status"));
    for (int i = 0; i < g.grid->FieldCount(); ++i)
        EXPECT_NE(g.grid->DataLink()->FieldIndex(i), -1) << "default columns never map a missing field";
}

TEST(GridFields, PersistentColumnWithMissingFieldMapsToMinusOneAndPaintsEmpty)
{
    ListGrid g(5);
    TXDBGridColumns* cols = g.grid->Columns();
    cols->Clear();
    TXColumn* email = cols->Add();
    email->SetFieldName(QStringLiteral("Email"));
    email->SetWidth(100);
    TXColumn* missing = cols->Add();
    missing->SetFieldName(QStringLiteral("NoSuchField"));
    missing->SetWidth(90);
    EXPECT_EQ(cols->State(), csCustomized);
    ASSERT_EQ(g.grid->DataLink()->FieldCount(), 2);
    EXPECT_GE(g.grid->DataLink()->FieldIndex(0), 0);
    EXPECT_EQ(g.grid->DataLink()->FieldIndex(1), -1);
    EXPECT_EQ(missing->Field(), nullptr);
    // The missing column's cells hold nothing but the column colour.
    const QImage img = g.Shot();
    const QRect r = g.grid->ColumnCellRect(missing, 1);
    ASSERT_FALSE(r.isEmpty());
    const QRgb window = g.grid->palette().color(QPalette::Base).rgb();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, window & 0xFFFFFF) << x << "," << y;
}

TEST(GridFields, ColumnByFieldNameIgnoresCaseAndRaises)
{
    ListGrid g(2);
    EXPECT_EQ(g.grid->ColumnByFieldName(QStringLiteral("LAST NAME"))->FieldName(), QStringLiteral("Last Name"));
    EXPECT_EQ(g.grid->FindColumn(QStringLiteral("x")), nullptr);
    try {
        g.grid->ColumnByFieldName(QStringLiteral("x"));
        FAIL() << "no exception";
    } catch (const tk::EInvalidGridOperation& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Field 'x' not found"));
    }
}

TEST(GridProperties, BoundedValuesAreClamped)
{
    TXDBGrid grid;
    struct Case {
        const char* what;
        std::function<void(int)> set;
        std::function<int()> get;
        int value;
        int expected;
    };
    // Each case starts from the defaults of a fresh grid (LinesCount 1, Min 1, Max -1 ...).
    const std::vector<Case> cases = {
        {"TitleLinesCount 0", [&](int v) { grid.SetTitleLinesCount(v); }, [&] { return grid.TitleLinesCount(); }, 0, 1},
        {"TitleLinesCount -3", [&](int v) { grid.SetTitleLinesCount(v); }, [&] { return grid.TitleLinesCount(); }, -3, 1},
        {"HeaderLinesCount 0", [&](int v) { grid.SetHeaderLinesCount(v); }, [&] { return grid.HeaderLinesCount(); }, 0, 1},
        {"IndicatorWidth 5", [&](int v) { grid.SetIndicatorWidth(v); }, [&] { return grid.IndicatorWidth(); }, 5, 11},
        {"IndicatorWidth 30", [&](int v) { grid.SetIndicatorWidth(v); }, [&] { return grid.IndicatorWidth(); }, 30, 30},
        {"WheelScrollRows -7", [&](int v) { grid.SetWheelScrollRows(v); }, [&] { return grid.WheelScrollRows(); }, -7, -1},
        {"WheelScrollRows 3", [&](int v) { grid.SetWheelScrollRows(v); }, [&] { return grid.WheelScrollRows(); }, 3, 3},
        {"FixedCols -2", [&](int v) { grid.SetFixedCols(v); }, [&] { return grid.FixedCols(); }, -2, 0},
        {"LinesCount -1 ignored", [&](int v) { grid.SetLinesCount(v); }, [&] { return grid.LinesCount(); }, -1, 1},
        {"LinesCount 0", [&](int v) { grid.SetLinesCount(v); }, [&] { return grid.LinesCount(); }, 0, 1},
        {"LinesCount 4", [&](int v) { grid.SetLinesCount(v); }, [&] { return grid.LinesCount(); }, 4, 4},
    };
    for (const Case& c : cases) {
        grid.SetLinesCount(1);
        c.set(c.value);
        EXPECT_EQ(c.get(), c.expected) << c.what;
    }
    // The lines bounds pull LinesCount along and stay ordered.
    grid.SetLinesCount(2);
    grid.SetLinesCountMin(3);
    EXPECT_EQ(grid.LinesCount(), 3);
    grid.SetLinesCountMax(5);
    grid.SetLinesCount(9);
    EXPECT_EQ(grid.LinesCount(), 5);
    grid.SetLinesCountMax(4);
    EXPECT_EQ(grid.LinesCount(), 4);
    grid.SetLinesCountMax(1);       // below the minimum: raised to it
    EXPECT_EQ(grid.LinesCountMax(), 3);
    EXPECT_EQ(grid.LinesCount(), 3);
    grid.SetLinesCountMax(-5);      // below -1: ignored
    EXPECT_EQ(grid.LinesCountMax(), 3);
    grid.SetLinesCountMin(7);       // above the maximum: lowered to it
    EXPECT_EQ(grid.LinesCountMin(), 3);
    grid.SetLinesCountMin(-2);      // negative: ignored
    EXPECT_EQ(grid.LinesCountMin(), 3);
    grid.SetLinesCountMax(-1);      // no bound
    grid.SetLinesCount(12);
    EXPECT_EQ(grid.LinesCount(), 12);
    // Without column sizing the optimal and default widths go too.
    grid.SetResizeOptions(roOptimalWidth | roDefaultWidth | roColumnMoving);
    EXPECT_EQ(grid.ResizeOptions(), roColumnMoving);
    // dgRowSelect removes editing from the stored options.
    grid.SetOptions(grid.Options() | dgRowSelect | dgAlwaysShowEditor);
    EXPECT_FALSE(grid.Options() & dgEditing);
    EXPECT_FALSE(grid.Options() & dgAlwaysShowEditor);
}

TEST(GridColumns, WidthBoundsAndDefaultWidths)
{
    ListGrid g(3);
    TXColumn* email = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    db::TField* field = email->Field();
    ASSERT_NE(field, nullptr);
    const QFontMetrics fm(email->Font().Font());
    // dgTitleWidthOff (default): characters of the field's display width only.
    EXPECT_EQ(email->Width(), fm.horizontalAdvance(QLatin1Char('0')) * field->DisplayWidth() + 4);
    // Without it, a caption wider than that widens the column.
    TXColumn* status = g.grid->ColumnByFieldName(QStringLiteral("Status"));
    status->Title()->SetCaption(QStringLiteral("A rather long caption for a narrow field"));
    g.grid->SetOptions(g.grid->Options() & ~dgTitleWidthOff);
    const QFontMetrics tm(status->Title()->Font().Font());
    EXPECT_EQ(status->Width(), tm.horizontalAdvance(status->Title()->Caption()) + 4);

    TXColumn* c = g.grid->Columns()->Add();
    c->SetWidth(100);
    c->SetWidthMin(120);            // a bound the width violates sets the width
    EXPECT_EQ(c->Width(), 120);
    c->SetWidthMax(80);             // below the minimum: raised to it
    EXPECT_EQ(c->WidthMax(), 120);
    c->SetWidthMax(300);
    c->SetWidthMin(400);            // above the maximum: lowered to it
    EXPECT_EQ(c->WidthMin(), 300);
    c->SetWidthMin(-5);             // below -1: ignored
    EXPECT_EQ(c->WidthMin(), 300);
    c->SetWidthMin(-1);
    c->SetWidthMax(-1);             // -1: no bound
    c->SetWidth(1000);
    EXPECT_EQ(c->Width(), 1000);
    c->SetWidthMax(200);
    EXPECT_EQ(c->Width(), 200);
    c->SetWidth(50);
    EXPECT_EQ(c->Width(), 50);
    // A hidden column reads -1 with column lines.
    c->SetVisible(false);
    EXPECT_EQ(c->Width(), -1);
}

TEST(GridColumns, HeaderBandCounts)
{
    TXDBGrid grid;
    TXColumn* c = grid.Columns()->Add();
    const std::vector<std::pair<QString, int>> cases = {
        {QString(), 0}, {QStringLiteral("|"), 2}, {QStringLiteral("Adresse"), 1}, {QStringLiteral("a|b|c"), 3}};
    for (const auto& [header, bands] : cases) {
        c->Title()->SetHeader(header);
        EXPECT_EQ(c->Title()->HeaderCount(), bands) << header.toStdString();
    }
    c->Title()->SetHeader(QStringLiteral("Kontakt|Adresse"));
    EXPECT_EQ(c->Title()->HeaderText(0), QStringLiteral("Kontakt"));
    EXPECT_EQ(c->Title()->HeaderText(1), QStringLiteral("Adresse"));
}

TEST(GridColumns, CheckBoxValuesAndImageIndexFromFieldText)
{
    tk::SetThemesEnabled(false);
    ListGrid g(0);
    const QStringList texts = {QStringLiteral("ja"), QStringLiteral("Nein"), QString(), QStringLiteral("vielleicht"),
                               QStringLiteral("2"), QStringLiteral("abc"), QStringLiteral(" 7 ")};
    for (const QString& t : texts)
        g.conn.Execute(QStringLiteral("INSERT INTO \"RL1\" (\"Email\") VALUES (?)"), {t.isNull() ? QVariant() : t});
    g.ds.Requery();
    TXColumn* c = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    auto stateAt = [&](int recNo) {
        g.ds.SetRecNo(recNo);
        return c->CheckState();
    };
    c->SetCheckBoxValues(QStringLiteral("Ja;Nein"));
    EXPECT_EQ(stateAt(1), cbChecked);      // case ignored
    EXPECT_EQ(stateAt(2), cbUnchecked);
    EXPECT_EQ(stateAt(3), cbGrayed);       // empty value
    EXPECT_EQ(stateAt(4), cbGrayed);
    c->SetCheckBoxValues(QStringLiteral("ja"));      // no ";": the empty text is the unchecked one
    EXPECT_EQ(c->CheckedText(), QStringLiteral("ja"));
    EXPECT_EQ(c->UncheckedText(), QString());
    EXPECT_EQ(stateAt(1), cbChecked);
    EXPECT_EQ(stateAt(3), cbUnchecked);
    EXPECT_EQ(stateAt(2), cbGrayed);
    c->SetCheckBoxValues(QString());                 // empty restores the default
    EXPECT_EQ(c->CheckBoxValues(), QStringLiteral("True;False"));
    c->SetCheckBoxValues(QString(300, QLatin1Char('x')));
    EXPECT_EQ(c->CheckedText().size(), 255);

    // Image index: the field text as an integer, -1 when it is none.
    const std::vector<std::pair<int, int>> images = {{5, 2}, {6, -1}, {7, 7}, {3, -1}, {1, -1}};
    for (const auto& [recNo, index] : images) {
        g.ds.SetRecNo(recNo);
        EXPECT_EQ(c->ImageIndex(), index) << "record " << recNo;
    }
    // A check-box column's image is its glyph: state + kind * 3.
    c->SetCheckBoxValues(QStringLiteral("Ja;Nein"));
    c->SetCheckBox(true);
    c->SetCheckBoxKind(ckCross);
    g.ds.SetRecNo(1);
    EXPECT_EQ(c->ImageIndex(), 1 + 3);
    g.ds.SetRecNo(3);
    EXPECT_EQ(c->ImageIndex(), 2 + 3);
    // Themed check boxes without an image list of their own fall back to the first three.
    tk::SetThemesEnabled(true);
    EXPECT_EQ(c->ImageIndex(), 2);
}

TEST(GridUpdateLock, WalkInsideTheLockKeepsRecordAndScreenRow)
{
    ListGrid g(200);
    g.ds.First();
    g.ds.MoveBy(20);
    // Put the current record on screen row 3.
    g.grid->DataLink()->SetActiveRecord(3);
    g.ds.Resync(0);
    ASSERT_EQ(g.grid->DataLink()->ActiveRecord(), 3);
    const int id = g.Id();
    const int row = g.grid->Row();

    int changes = 0;
    g.source.OnDataChange = [&](db::TDataSource*, db::TField*) { ++changes; };
    g.grid->BeginUpdate();
    g.ds.First();
    int walked = 0;
    while (!g.ds.Eof()) {
        ++walked;
        g.ds.Next();
    }
    EXPECT_EQ(changes, 0) << "no data-change events during the walk";
    g.grid->EndUpdate();
    EXPECT_EQ(walked, 200);
    EXPECT_EQ(g.Id(), id);
    EXPECT_EQ(g.grid->DataLink()->ActiveRecord(), 3);
    EXPECT_EQ(g.grid->Row(), row);
}

TEST(GridUpdateLock, DeletingTheCurrentRecordInsideTheLockDoesNotThrow)
{
    ListGrid g(50);
    g.ds.SetRecNo(10);
    const int id = g.Id();
    g.grid->BeginUpdate();
    g.ds.Delete();
    EXPECT_NO_THROW(g.grid->EndUpdate());
    // The dataset stays where the deletion left it.
    EXPECT_NE(g.Id(), id);
    EXPECT_EQ(g.ds.RecordCount(), 49);
    EXPECT_EQ(g.grid->Row(), g.grid->DataLink()->ActiveRecord() + g.grid->TitleOffset());
}

TEST(GridColumns, StretchModeSharesTheClientWidth)
{
    ListGrid g(3, QStringLiteral("SELECT \"Status\", \"Email\", \"Last Name\" FROM \"RL1\""));
    TXColumn* status = g.grid->ColumnByFieldName(QStringLiteral("Status"));
    TXColumn* email = g.grid->ColumnByFieldName(QStringLiteral("Email"));
    TXColumn* last = g.grid->ColumnByFieldName(QStringLiteral("Last Name"));
    status->SetWidth(50);
    email->SetWidth(100);
    last->SetWidth(50);
    g.grid->SetStretchMode(true);
    const int line = g.grid->GridLineWidth();
    const int avail = g.grid->viewport()->width() - g.grid->IndicatorWidth() - line - 3 * line;
    EXPECT_EQ(status->Width() + email->Width() + last->Width(), avail);
    EXPECT_NEAR(email->Width(), 2 * status->Width(), 2);
    EXPECT_EQ(g.grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // A column bound holds; the others share the rest.
    last->SetWidthMax(40);
    g.grid->UpdateStretchWidths();
    EXPECT_EQ(last->Width(), 40);
    EXPECT_EQ(status->Width() + email->Width(), avail - 40);
    // The grid bounds apply to columns without bounds of their own.
    g.grid->SetStretchWidthMax(60);
    EXPECT_EQ(status->Width(), 60);
    EXPECT_EQ(email->Width(), 60);
    // Clamps of the grid bounds.
    g.grid->SetStretchWidthMin(80);     // above the maximum: lowered to it
    EXPECT_EQ(g.grid->StretchWidthMin(), 60);
    g.grid->SetStretchWidthMin(-4);     // below -1: ignored
    EXPECT_EQ(g.grid->StretchWidthMin(), 60);
    // Off again: the assigned widths are back.
    g.grid->SetStretchMode(false);
    EXPECT_EQ(email->Width(), 100);
}

TEST(GridLayoutRules, FixedColumnsAndAlwaysShowEditor)
{
    ListGrid g(3);
    g.grid->SetFixedCols(10);                       // more than there are: column count - 1
    EXPECT_EQ(g.grid->FixedCols(), g.grid->Columns()->Count() - 1);
    EXPECT_EQ(static_cast<tk::TCustomGrid*>(g.grid.get())->FixedCols(),
              g.grid->IndicatorOffset() + g.grid->Columns()->Count() - 1);
    g.grid->SetFixedCols(1);
    // The first scrollable column cannot show an editor: dgAlwaysShowEditor goes at the next layout.
    g.grid->ColumnByFieldName(QStringLiteral("Status"))->SetShowEdit(false);
    g.grid->SetOptions(g.grid->Options() | dgAlwaysShowEditor);
    EXPECT_FALSE(g.grid->Options() & dgAlwaysShowEditor);
}

TEST(GridLayoutRules, WheelMovesUnderAStillCursor)
{
    ListGrid g(200);
    g.ds.SetRecNo(1);
    g.ds.MoveBy(3);
    const int row = g.grid->Row();
    g.grid->SetWheelScrollRows(-1);                 // a page per notch
    const int page = g.grid->DataLink()->BufferCount();
    QWheelEvent wheel(QPointF(50, 80), g.grid->viewport()->mapToGlobal(QPointF(50, 80)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.grid->viewport(), &wheel);
    EXPECT_EQ(g.ds.RecNo(), 4 + page);
    EXPECT_EQ(g.grid->Row(), row);
}
