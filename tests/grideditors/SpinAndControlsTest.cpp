// The spin editor, the combo, the edit-with-button editors, the check box and the button.
#include "Fixture.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>

using namespace gridedit;
using namespace grid::editors;

namespace {
// Types characters QTest cannot map to keys (press and release, as the keyboard would).
void typeText(QWidget* w, const QString& text)
{
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

TEditorLocale german()
{
    TEditorLocale l;
    l.decimalSeparator = QLatin1Char(',');
    l.thousandSeparator = QLatin1Char('.');
    l.dateSeparator = QLatin1Char('.');
    l.shortDateFormat = QStringLiteral("dd.MM.yyyy");
    return l;
}
} // namespace

TEST(SpinEdit, BoundsClampExceptWhenEqual)
{
    DAveVevaDiza s;
    s.setText("0");
    for (int i = 0; i < 150; ++i)
        s.StepUp();
    EXPECT_EQ(s.text(), "100");
    s.MinValue = s.MaxValue = 0;
    s.SetValue(150);
    s.StepUp();
    EXPECT_EQ(s.text(), "151");
}

TEST(SpinEdit, UnreadableTextsReadAsTheMinimum)
{
    DAveVevaDiza s;
    s.Locale = german();
    s.MinValue = 7;
    s.MinFloatValue = 2.5;
    s.setText("abc");
    EXPECT_EQ(s.Value(), 7);
    EXPECT_DOUBLE_EQ(s.FloatValue(), 2.5);   // the float minimum, not the integer one
    s.SetSpinType(sptDate);
    s.setText("0");
    EXPECT_EQ(s.DateValue().date(), QDate::currentDate());
}

TEST(SpinEdit, DateAndTimeStepTheFieldUnderTheCaret)
{
    DAveVevaDiza s;
    s.Locale = german();
    s.SetSpinType(sptDate);
    struct Case {
        QString text;
        int caret;
        bool up;
        QString result;
    };
    const std::vector<Case> dates = {
        {"31.01.2024", 4, true, "29.02.2024"},   // month: the day is cut to February
        {"29.02.2024", 8, true, "28.02.2025"},   // year from 29 February
        {"31.12.2024", 1, true, "01.01.2025"},   // day
        {"01.03.2024", 1, false, "29.02.2024"},
    };
    for (const Case& c : dates) {
        SCOPED_TRACE(c.text.toStdString());
        s.setText(c.text);
        s.setCursorPosition(c.caret);
        c.up ? s.StepUp() : s.StepDown();
        EXPECT_EQ(s.text(), c.result);
    }
    s.SetSpinType(sptTime);
    const std::vector<Case> times = {
        {"00:00:00", 0, false, "23:00:00"},
        {"23:30:00", 1, true, "00:30:00"},
        {"10:59:00", 4, true, "11:00:00"},
        {"10:00:00", 7, false, "09:59:59"},
    };
    for (const Case& c : times) {
        SCOPED_TRACE(c.text.toStdString());
        s.setText(c.text);
        s.setCursorPosition(c.caret);
        c.up ? s.StepUp() : s.StepDown();
        EXPECT_EQ(s.text(), c.result);
    }
}

TEST(SpinEdit, TypedCharactersAndTheStepKeys)
{
    int beeps = 0;
    SetBeepHook([&] { ++beeps; });
    DAveVevaDiza s;
    s.Locale = german();
    std::vector<int> seen;
    s.OnKeyDown = [&](QObject*, int& key, Qt::KeyboardModifiers) { seen.push_back(key); };
    s.show();
    s.setText("5");
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown})
        QTest::keyClick(&s, k);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(s.text(), "5");

    s.setCursorPosition(1);
    QTest::keyClicks(&s, "a-");
    EXPECT_EQ(s.text(), "5");
    EXPECT_EQ(beeps, 2);

    s.SetSpinType(sptFloat);
    s.SetPrecision(2);
    s.setText("1,25");
    s.setCursorPosition(4);
    QTest::keyClicks(&s, "7");          // a third digit after the separator
    EXPECT_EQ(s.text(), "1,25");
    s.setCursorPosition(0);
    QTest::keyClicks(&s, "3");          // in front of it
    EXPECT_EQ(s.text(), "31,25");

    // Without typing, nothing changes the text but the steps.
    s.SetSpinType(sptNormal);
    s.setText("12");
    s.SetEditorEnabled(false);
    QGuiApplication::clipboard()->setText("99");
    s.setCursorPosition(2);
    QTest::keyClicks(&s, "3");
    QTest::keyClick(&s, Qt::Key_Backspace);
    QTest::keyClick(&s, Qt::Key_Delete);
    QTest::keyClick(&s, Qt::Key_V, Qt::ControlModifier);
    s.selectAll();
    QTest::keyClick(&s, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(s.text(), "12");
    QTest::keyClick(&s, Qt::Key_Up);
    EXPECT_EQ(s.text(), "13");
    SetBeepHook(nullptr);
}

TEST(SpinEdit, ArrowsRepeatAfter400ThenEvery100Milliseconds)
{
    DAveVevaDiza s;
    s.resize(80, 24);
    s.show();
    auto* up = s.Button()->UpButton();
    QTest::mousePress(up, Qt::LeftButton);
    ASSERT_NE(up->RepeatTimer(), nullptr);
    EXPECT_EQ(up->RepeatTimer()->interval(), 400);
    QTest::qWait(450);
    EXPECT_EQ(up->RepeatTimer()->interval(), 100);
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_FALSE(up->RepeatTimer()->isActive());
    EXPECT_GT(s.Value(), 0);
}

TEST(SpinEdit, AlignmentFlatAndTransparentArrowsAndTheirGlyphs)
{
    DAveVevaDiza s;
    s.resize(90, 24);
    s.show();
    auto* up = s.Button()->UpButton();
    auto* down = s.Button()->DownButton();

    const std::pair<TEditAlign, Qt::Alignment> aligns[] = {
        {eaRight, Qt::AlignRight}, {eaCenter, Qt::AlignHCenter}, {eaLeft, Qt::AlignLeft}};
    for (auto [align, qt] : aligns) {
        s.SetEditAlign(align);
        EXPECT_EQ(s.EditAlign(), align);
        EXPECT_EQ(s.alignment() & Qt::AlignHorizontal_Mask, qt);
    }
    s.SetSpinFlat(true);
    EXPECT_TRUE(up->Flat() && down->Flat());
    s.SetSpinTransparent(true);
    EXPECT_TRUE(up->Transparent() && down->Transparent());
    EXPECT_TRUE(up->testAttribute(Qt::WA_NoSystemBackground));
    s.SetSpinFlat(false);
    s.SetSpinTransparent(false);
    EXPECT_FALSE(up->Flat() || down->Flat() || up->Transparent() || down->Transparent());

    // The default arrows: 9 x 6, one image each, pointing up and down.
    const QImage upArrow = s.Button()->UpGlyph().toImage();
    const QImage downArrow = s.Button()->DownGlyph().toImage();
    ASSERT_EQ(upArrow.size(), QSize(9, 6));
    ASSERT_EQ(downArrow.size(), QSize(9, 6));
    EXPECT_EQ(s.Button()->UpNumGlyphs(), 1);
    EXPECT_EQ(qAlpha(upArrow.pixel(4, 1)), 255) << "the up arrow's tip is at the top";
    EXPECT_EQ(qAlpha(upArrow.pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(downArrow.pixel(4, 4)), 255) << "the down arrow's tip is at the bottom";
    EXPECT_EQ(qAlpha(downArrow.pixel(1, 4)), 0);

    // A glyph of two images: the first shows while enabled, the second while disabled (classic look).
    QPixmap strip(12, 6);
    strip.fill(Qt::red);
    {
        QPainter p(&strip);
        p.fillRect(6, 0, 6, 6, Qt::blue);
    }
    s.Button()->SetUpGlyph(strip);
    s.Button()->SetUpNumGlyphs(2);
    EXPECT_EQ(s.Button()->UpNumGlyphs(), 2);
    s.Button()->SetUpNumGlyphs(9);
    EXPECT_EQ(s.Button()->UpNumGlyphs(), 4) << "at most four images";
    s.Button()->SetUpNumGlyphs(2);
    up->SetUsesVisualStyles(false);
    const QPoint middle = up->rect().center();
    EXPECT_EQ(up->grab().toImage().pixel(middle), qRgb(255, 0, 0));
    up->setEnabled(false);
    EXPECT_EQ(up->grab().toImage().pixel(middle), qRgb(0, 0, 255));
    up->setEnabled(true);
    if (qEnvironmentVariableIsSet("QLY_SCREENSHOT_DIR")) {
        s.Button()->SetUpGlyph(QPixmap());
        down->SetUsesVisualStyles(false);
        s.grab().save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") + QStringLiteral("/spin-classic-glyphs.png"));
    }
    // No glyph given: the default arrow and one image again.
    s.Button()->SetUpGlyph(QPixmap());
    EXPECT_EQ(s.Button()->UpGlyph().size(), QSize(9, 6));
    EXPECT_EQ(s.Button()->UpNumGlyphs(), 1);
}

TEST_F(GridEditFixture, SpinEventsIncludingHomeAndEnd)
{
    std::vector<std::pair<int, bool>> spins;
    std::vector<std::pair<double, bool>> floats;
    grid->OnSpinClick = [&](QObject*, int, int, int v, bool up) { spins.push_back({v, up}); };
    grid->OnFloatSpinClick = [&](QObject*, int, int, double v, bool up) { floats.push_back({v, up}); };
    open(1, 1, "5", edSpinEdit);
    auto* s = grid->GridSpin();
    QTest::keyClick(s, Qt::Key_Up);
    QTest::keyClick(s, Qt::Key_Home);
    QTest::keyClick(s, Qt::Key_End);
    EXPECT_EQ(spins, (std::vector<std::pair<int, bool>>{{6, true}, {100, false}, {0, false}}));
    EXPECT_TRUE(s->isVisible());
    grid->EndInplaceEdit();

    open(1, 2, "1", edFloatSpinEdit);
    QTest::keyClick(grid->GridSpin(), Qt::Key_Home);
    ASSERT_EQ(floats.size(), 1u);
    EXPECT_DOUBLE_EQ(floats[0].first, 100.0);
    EXPECT_FALSE(floats[0].second);
}

TEST_F(GridEditFixture, SpinEnterCommitsAndARefusalKeepsTheEditor)
{
    grid->OnCellValidate = [](QObject*, int, int, QString& value, bool& valid) { valid = value != "7"; };
    open(1, 1, "5", edSpinEdit);
    auto* s = grid->GridSpin();
    s->setText("7");
    QTest::keyClick(s, Qt::Key_Return);
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(s->text(), "5");
    EXPECT_EQ(s->cursorPosition(), 1);
    EXPECT_EQ(grid->Cells(1, 1), "5");
    s->setText("8");
    QTest::keyClick(s, Qt::Key_Return);
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(grid->Cells(1, 1), "8");
}

TEST_F(GridEditFixture, ComboKeysLeaveOrOpenTheList)
{
    grid->GridCombo()->addItems({"one", "two"});
    open(1, 1, "one", edComboEdit);
    auto* c = grid->GridCombo();
    QTest::keyClick(c, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(c->IsDroppedDown());
    c->hidePopup();
    QTest::keyClick(c, Qt::Key_Down);
    EXPECT_FALSE(c->isVisible());
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_EQ(grid->Cells(1, 1), "one");
}

TEST_F(GridEditFixture, ComboCompletesFromItemsThenTheLookupList)
{
    grid->Lookup = true;
    auto* c = grid->GridCombo();
    c->addItems({"Banana", "Apricot"});
    for (bool sensitive : {false, true}) {
        SCOPED_TRACE(sensitive);
        grid->LookupCaseSensitive = sensitive;
        open(1, 1, "", edComboEdit);
        QTest::keyClicks(c, "ap");
        if (sensitive) {
            EXPECT_EQ(c->currentText(), "ap");
        } else {
            EXPECT_EQ(c->currentText(), "Apricot");
            EXPECT_EQ(c->lineEdit()->selectedText(), "ricot");
            EXPECT_EQ(c->currentIndex(), 1);
        }
        grid->EndInplaceEdit();
    }
    grid->LookupCaseSensitive = false;
    grid->SetLookupItemsList({"Monday"});
    c->setCurrentIndex(-1);
    open(1, 2, "", edComboEdit);
    QTest::keyClicks(c, "m");
    EXPECT_EQ(c->currentText(), "monday");
    EXPECT_EQ(c->lineEdit()->selectedText(), "onday");
    EXPECT_EQ(c->findText("Monday"), -1);
}

TEST_F(GridEditFixture, ComboHistoryAndWheel)
{
    grid->LookupHistory = true;
    auto* c = grid->GridCombo();
    c->addItems({"a", "b"});
    open(1, 1, "", edComboEdit);
    QTest::keyClicks(c, "new");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_GE(c->findText("new"), 0);

    int changes = 0;
    grid->OnComboChange = [&](QObject*, int, int, int, const QString&) { ++changes; };
    open(1, 2, "", edComboEdit);
    c->setCurrentIndex(2);
    QWheelEvent down(QPointF(5, 5), c->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c, &down);
    EXPECT_EQ(c->currentIndex(), 2);   // the last item stays
    c->setCurrentIndex(-1);
    QApplication::sendEvent(c, &down);
    EXPECT_EQ(c->currentIndex(), -1);
    EXPECT_EQ(changes, 1);             // none while nothing is selected
}

TEST_F(GridEditFixture, EditButtonClicksOnReleaseAndF4)
{
    int clicks = 0;
    grid->OnEllipsClick = [&](QObject*, int, int, QString& value) {
        ++clicks;
        value = "picked";
    };
    open(1, 1, "x", edEditBtn);
    auto* e = grid->GridEditBtn();
    QTest::mousePress(e->Button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 0);
    QTest::mouseRelease(e->Button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(e->text(), "picked");
    QTest::mouseClick(e->Button(), Qt::RightButton);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(e, Qt::Key_F4);
    EXPECT_EQ(clicks, 2);
}

TEST_F(GridEditFixture, UnitMenuAndEscape)
{
    auto* u = grid->GridUnitEditBtn();
    open(1, 2, "3m", edUnitEditBtn);
    ASSERT_EQ(grid->ShownEditorControl(), u);
    EXPECT_EQ(u->UnitID(), "m");
    QTest::keyClick(u, Qt::Key_Escape);
    EXPECT_EQ(u->UnitID(), "");
    EXPECT_FALSE(u->isVisible());
    EXPECT_EQ(grid->Cells(1, 2), "3m");

    u->Units = {"mm", "cm", "m"};
    open(1, 1, "12mm", edUnitEditBtn);
    QTest::mouseClick(u->Button(), Qt::LeftButton);
    ASSERT_EQ(u->UnitMenu()->actions().size(), 3);
    u->UnitMenu()->actions().at(1)->trigger();
    EXPECT_EQ(u->UnitID(), "cm");
    u->UnitMenu()->hide();
    QApplication::processEvents();
    u->setFocus();
    QTest::keyClick(u, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(grid->Cells(1, 1), "12cm");

    u->Units.clear();
    open(1, 3, "3", edUnitEditBtn);
    QTest::mouseClick(u->Button(), Qt::LeftButton);
    EXPECT_TRUE(u->UnitMenu()->actions().isEmpty());
    u->UnitMenu()->hide();
}

TEST_F(GridEditFixture, NumericAndFloatEditButtonsFilter)
{
    open(1, 1, "1,5", edFloatEditBtn);
    auto* e = grid->GridEditBtn();
    e->setCursorPosition(3);
    beeps = 0;
    QTest::keyClicks(e, ",");
    EXPECT_EQ(e->text(), "1,5");
    EXPECT_EQ(beeps, 0);
    e->setCursorPosition(2);
    QTest::keyClicks(e, "-");
    EXPECT_EQ(beeps, 1);
    grid->EndInplaceEdit();
    open(1, 2, "", edNumericEditBtn);
    QTest::keyClicks(grid->GridEditBtn(), "4a");
    EXPECT_EQ(grid->GridEditBtn()->text(), "4");
    EXPECT_EQ(beeps, 2);
}

TEST_F(GridEditFixture, CheckBoxTogglesOnPressOnce)
{
    open(1, 1, "c", edCheckBox);
    auto* b = grid->GridCheckBox();
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->isChecked());
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->isChecked());
    QTest::keyClick(b, Qt::Key_Down);
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(grid->Row(), 2);
}

TEST_F(GridEditFixture, GridButtonSpaceReleaseRaisesTheEllipsis)
{
    int clicks = 0;
    grid->OnEllipsClick = [&](QObject*, int col, int row, QString& value) {
        ++clicks;
        EXPECT_EQ(col, 1);
        EXPECT_EQ(row, 1);
        value = "done";
    };
    open(1, 1, "go", edButton);
    auto* b = grid->GridButton();
    QTest::keyPress(b, Qt::Key_Space);
    EXPECT_EQ(clicks, 0);
    QTest::keyRelease(b, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b->text(), "done");
    QTest::keyClick(b, Qt::Key_Escape);
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(grid->Cells(1, 1), "go");
}

TEST_F(GridEditFixture, RowModifiedRefusesRowsOutsideTheGrid)
{
    grid->SetRowModified(-1, true);
    grid->SetRowModified(grid->RowCount(), true);
    EXPECT_FALSE(grid->RowModified(-1));
    EXPECT_FALSE(grid->RowModified(grid->RowCount()));
    grid->SetRowModified(2, true);
    EXPECT_TRUE(grid->RowModified(2));
}

TEST_F(GridEditFixture, AdvanceWithoutAnEditableCellStopsAfterOnePass)
{
    grid->OnCanEditCell = [](QObject*, int, int, bool& can) { can = false; };
    grid->FocusCell(1, 1, true);
    grid->AdvanceCell(1, 1, false, true, false, true);
    EXPECT_EQ(grid->Col(), 1);
    EXPECT_EQ(grid->Row(), 1);
}

TEST_F(GridEditFixture, ValidationRecordsTheChangeAndMarksTheRow)
{
    grid->ShowModified()->Enabled = true;
    std::vector<QRect> changed;
    grid->OnCellsChanged = [&](QObject*, const QRect& r) { changed.push_back(r); };
    open(1, 1, "a", edNormal);
    inplace()->SelectAll();
    QTest::keyClicks(inplaceWidget(), "b");
    QTest::keyClick(inplaceWidget(), Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_EQ(grid->Cells(1, 1), "b");
    EXPECT_TRUE(grid->RowModified(1));
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.front(), QRect(1, 1, 1, 1));
}

TEST_F(GridEditFixture, UnicodeEditorsStoreWideText)
{
    open(1, 1, "", edUniEdit);
    ASSERT_EQ(grid->ShownEditorControl(), grid->GridUniEdit());
    const QRect cell = grid->MergedCellRect(1, 1);
    EXPECT_EQ(grid->GridUniEdit()->geometry().topLeft(),
              cell.topLeft() + QPoint(grid->CellMarginX() + 2, grid->CellMarginY() + 2));
    typeText(grid->GridUniEdit(), QString::fromUtf8("Ωmega"));
    QTest::keyClick(grid->GridUniEdit(), Qt::Key_Return);
    EXPECT_TRUE(grid->IsWideCell(1, 1));
    EXPECT_EQ(QString::fromStdU16String(grid->WideCells(1, 1)), QString::fromUtf8("Ωmega"));

    // The combo completes in UTF-16; Alt+Down leaves it.
    grid->Lookup = true;
    auto* c = grid->GridUniCombo();
    c->addItems({QString::fromUtf8("Ωmega"), "beta"});
    open(1, 2, "", edUniComboEdit);
    typeText(c, QString::fromUtf8("ω"));
    EXPECT_EQ(c->currentText(), QString::fromUtf8("Ωmega"));
    EXPECT_EQ(c->lineEdit()->selectedText(), "mega");
    QTest::keyClick(c, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(c->isVisible());
    EXPECT_EQ(QString::fromStdU16String(grid->WideCells(1, 2)), QString::fromUtf8("Ωmega"));

    // A refused wide value keeps the editor on the cell's text.
    grid->OnCellValidateWide = [](QObject*, int, int, std::u16string& v, bool& valid) { valid = v != u"bad"; };
    open(1, 3, "ok", edUniEditBtn);
    auto* b = grid->GridUniEditBtn();
    b->setText("bad");
    QTest::keyClick(b, Qt::Key_Tab);
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(b->text(), "ok");
}

TEST(UnicodeControls, KeyPressSeesRealCharactersAndCommitsOneByOne)
{
    TZeiUniEdit e;
    QString seen;
    e.OnKeyPress = [&](QObject*, QChar& ch) { seen += ch; };
    e.show();
    typeText(&e, QString::fromUtf8("λx€"));
    EXPECT_EQ(seen, QString::fromUtf8("λx€"));
    EXPECT_EQ(e.text(), QString::fromUtf8("λx€"));

    seen.clear();
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("日本"));
    QApplication::sendEvent(&e, &commit);
    EXPECT_EQ(seen, QString::fromUtf8("日本"));
    EXPECT_EQ(e.text(), QString::fromUtf8("λx€日本"));

    TZeiUniMemo m;
    m.setPlainText(QString::fromUtf8("Zeile 1\nZeile 2"));
    m.SetWordWrap(false);
    m.SetScrollBars(Qt::ScrollBarAlwaysOn, Qt::ScrollBarAlwaysOn);
    m.SetWordWrap(true);
    EXPECT_EQ(m.toPlainText(), QString::fromUtf8("Zeile 1\nZeile 2"));
}

TEST_F(GridEditFixture, UnicodeComboClearKeepsTheEditText)
{
    auto* c = grid->GridUniCombo();
    c->addItems({"a", "b"});
    open(1, 1, QString::fromUtf8("ünï"), edUniComboEdit);
    c->ClearItems();
    EXPECT_EQ(c->count(), 0);
    EXPECT_EQ(c->currentText(), QString::fromUtf8("ünï"));
}
