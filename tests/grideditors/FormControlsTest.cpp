// Form controls in mini-HTML cells and the translation of edit masks.
#include "Fixture.h"

#include "grid/ZodUvuzControls.h"
#include "grid/editors/EditMask.h"

using namespace gridedit;
using namespace grid::editors;

namespace {
QString ctrl(const QString& type, const QString& id, const QString& value, const QString& prop = QString())
{
    QString t = QStringLiteral("<CONTROL TYPE=\"%1\" ID=\"%2\" VALUE=\"%3\" WIDTH=\"40\"").arg(type, id, value);
    if (!prop.isEmpty())
        t += QStringLiteral(" PROP=\"%1\"").arg(prop);
    return t + QLatin1Char('>');
}
} // namespace

TEST_F(GridEditFixture, FocusCellControlOpensTheFirstEditAndWritesTheValueBack)
{
    grid->SetColWidths(2, 200);
    grid->SetCells(2, 2, ctrl("EDIT", "a", "abc") + " " + ctrl("EDIT", "b", ""));
    int done = 0;
    QString doneValue, doneID;
    grid->OnControlEditDone = [&](QObject*, int row, int col, const QString& id, const QString& type, const QString& v) {
        ++done;
        EXPECT_EQ(row, 2);
        EXPECT_EQ(col, 2);
        EXPECT_EQ(type, "EDIT");
        doneID = id;
        doneValue = v;
    };
    grid->FocusCellControl(2, 2, QString());
    auto* e = grid->ControlEdit();
    ASSERT_TRUE(e->isVisible());
    EXPECT_EQ(e->text(), "abc");
    EXPECT_TRUE(e->hasFocus());
    e->selectAll();
    QTest::keyClicks(e, "x\"y");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(doneID, "a");
    EXPECT_EQ(doneValue, "x\"y");
    EXPECT_TRUE(grid->Cells(2, 2).contains("VALUE=\"x&quot;y\"")) << grid->Cells(2, 2).toStdString();
    EXPECT_FALSE(e->isVisible());

    // Tab moves to the next edit control of the cell; from the last one nothing more opens.
    grid->FocusCellControl(2, 2, QString());
    QTest::keyClick(grid->ControlEdit(), Qt::Key_Tab);
    EXPECT_EQ(grid->ControlEdit()->text(), "");
    EXPECT_TRUE(grid->ControlEdit()->isVisible());
    QTest::keyClicks(grid->ControlEdit(), "2nd");
    QTest::keyClick(grid->ControlEdit(), Qt::Key_Return);
    EXPECT_FALSE(grid->ControlEdit()->isVisible());
    EXPECT_TRUE(grid->Cells(2, 2).contains("ID=\"b\" VALUE=\"2nd\""));

    // A cell without an editable control keeps the focus in the grid.
    grid->SetCells(1, 1, "plain");
    grid->FocusCellControl(1, 1, QString());
    EXPECT_TRUE(grid->hasFocus());
}

TEST_F(GridEditFixture, TabWithAdvanceAutoMovesToTheNextCell)
{
    grid->SetColWidths(2, 200);
    grid->Navigation()->AdvanceAuto = true;
    grid->SetCells(2, 2, ctrl("EDIT", "a", "1") + " " + ctrl("EDIT", "b", "2"));
    grid->FocusCell(2, 2, true);
    grid->FocusCellControl(2, 2, QString());
    QTest::keyClick(grid->ControlEdit(), Qt::Key_Tab);
    EXPECT_FALSE(grid->ControlEdit()->isVisible());
    EXPECT_EQ(grid->Col(), 3);
}

TEST_F(GridEditFixture, PasswordMaskComboAndCheckControls)
{
    grid->SetColWidths(2, 200);
    grid->SetCells(2, 1, ctrl("PASSWORD", "p", ""));
    grid->FocusCellControl(2, 1, QString());
    EXPECT_EQ(grid->ControlEdit()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(grid->ControlEdit(), "pw");
    EXPECT_EQ(grid->ControlEdit()->displayText(), "**");
    QTest::keyClick(grid->ControlEdit(), Qt::Key_Return);
    EXPECT_TRUE(grid->Cells(2, 1).contains("VALUE=\"pw\""));

    grid->SetCells(2, 2, ctrl("MASK", "m", "", "00-00;0;_"));
    grid->FocusCellControl(2, 2, QString());
    EXPECT_EQ(grid->ControlEdit()->inputMask(), "99-99;_");
    grid->ControlEdit()->setCursorPosition(0);
    QTest::keyClicks(grid->ControlEdit(), "1234");
    QTest::keyClick(grid->ControlEdit(), Qt::Key_Return);
    EXPECT_TRUE(grid->Cells(2, 2).contains("VALUE=\"1234\"")) << grid->Cells(2, 2).toStdString();

    for (bool edit : {true, false}) {
        SCOPED_TRACE(edit);
        grid->OnControlComboList = [edit](QObject*, int, int, const QString&, const QString&, const QString&,
                                          QStringList& values, bool& e, int&) {
            values = {"rot", "blau"};
            e = edit;
        };
        grid->SetCells(2, 3, ctrl("COMBO", "c", "rot"));
        grid->FocusCellControl(2, 3, QString());
        auto* c = grid->ControlCombo();
        ASSERT_TRUE(c->isVisible());
        EXPECT_EQ(c->isEditable(), edit);
        EXPECT_EQ(c->currentText(), "rot");
        c->hidePopup();
        if (edit)
            c->setEditText("grün");
        else
            c->setCurrentIndex(1);
        QTest::keyClick(c, Qt::Key_Return);
        EXPECT_TRUE(grid->Cells(2, 3).contains(edit ? QString::fromUtf8("VALUE=\"grün\"") : QStringLiteral("VALUE=\"blau\"")))
            << grid->Cells(2, 3).toStdString();
    }

    grid->SetCells(2, 4, ctrl("CHECK", "k", "FALSE"));
    std::vector<QString> clicks;
    grid->OnControlClick = [&](QObject*, int, int, const QString&, const QString&, const QString& v) { clicks.push_back(v); };
    grid->ClickCellControl(2, 4, "k", "CHECK", "FALSE", QRect());
    EXPECT_TRUE(grid->Cells(2, 4).contains("VALUE=\"TRUE\""));
    grid->ClickCellControl(2, 4, "k", "CHECK", "TRUE", QRect());
    EXPECT_TRUE(grid->Cells(2, 4).contains("VALUE=\"FALSE\""));
    EXPECT_EQ(clicks, (std::vector<QString>{"TRUE", "FALSE"}));
}

TEST(EditMask, Translations)
{
    struct Case {
        QString mask, qt;
        bool save;
    };
    const std::vector<Case> cases = {
        {"", "", true},
        {"00-00", "99-99;_", true},
        {"99/99/0000;1;_", "00/00/9999;_", true},
        {"LLL;0; ", "AAA; ", false},
        {"ll-aa-cc", "aa-nn-xx;_", true},
        {"AA#CC", "NN#XX;_", true},
        {">LL<ll", ">AA<aa;_", true},
        {"<>cc", "!xx;_", true},
        {"!9999", "0000;_", true},
        {"\\H0", "\\H9;_", true},      // an escaped literal that is a Qt mask character
        {"D0", "\\D9;_", true},        // an unescaped literal that is one too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask.toStdString());
        const TEditMask m = TranslateEditMask(c.mask);
        EXPECT_EQ(m.inputMask, c.qt);
        EXPECT_EQ(m.saveLiterals, c.save);
    }
    EXPECT_EQ(MaskedText("00-00;0;_", "12-34"), "1234");
    EXPECT_EQ(MaskedText("00-00;1;_", "12-34"), "12-34");
}

TEST_F(GridEditFixture, DefaultEditTakesTheCellsMask)
{
    grid->OnGetEditMask = [](QObject*, int, int, QString& mask) { mask = "00:00"; };
    open(1, 1, "", edNormal);
    ASSERT_NE(inplaceLine(), nullptr);
    EXPECT_EQ(inplaceLine()->inputMask(), "99:99;_");
}
