// Cells of the kind edCustom edited through an application's edit link, in place and in a popup.
#include "Fixture.h"

#include "grid/EditLink.h"

using namespace gridedit;

namespace {

// A link whose control is a line edit that hands its keys to the link.
class LineLink : public TEditLink {
public:
    class Edit : public QLineEdit {
    public:
        Edit(LineLink* link, QWidget* parent) : QLineEdit(parent), m_link(link) {}

    protected:
        void keyPressEvent(QKeyEvent* e) override
        {
            int key = e->key();
            m_link->EditKeyDown(this, key, e->modifiers());
            if (key != 0 && isEnabled())   // a leaving key disables the control
                QLineEdit::keyPressEvent(e);
        }

    private:
        LineLink* m_link;
    };

    QWidget* GetEditControl() override { return edit; }
    void CreateEditor(QWidget* parent) override
    {
        if (!edit)
            edit = new Edit(this, parent);
        else if (edit->parentWidget() != parent)
            edit->setParent(parent);
        ++created;
    }
    void DestroyEditor() override { ++destroyed; }
    QString GetEditorValue() override { return edit ? edit->text() : QString(); }
    void SetEditorValue(const QString& v) override { edit->setText(v); }

    QPointer<Edit> edit;
    int created = 0;
    int destroyed = 0;
};

} // namespace

TEST_F(GridEditFixture, InplaceLinkEditsTheCellAndLeavesByItsKeys)
{
    LineLink link;
    grid->SetEditLink(&link);
    int props = 0;
    grid->OnGetEditorProp = [&](QObject*, int col, int row, TEditLink* l) {
        ++props;
        EXPECT_EQ(col, 2);
        EXPECT_EQ(row, 2);
        EXPECT_EQ(l, &link);
    };
    open(2, 2, "old", edCustom);
    ASSERT_TRUE(link.edit);
    EXPECT_EQ(grid->ShownEditorControl(), link.edit.data());
    EXPECT_EQ(link.edit->text(), "old");
    EXPECT_EQ(props, 1);
    const QRect cell = grid->MergedCellRect(2, 2);
    EXPECT_EQ(link.edit->geometry(), QRect(cell.left(), cell.top(), cell.width() - 1, cell.height() - 1));
    EXPECT_TRUE(link.edit->hasFocus());

    link.edit->selectAll();
    QTest::keyClicks(link.edit, "new");
    QTest::keyClick(link.edit, Qt::Key_Return);
    EXPECT_EQ(grid->Cells(2, 2), "new");
    EXPECT_FALSE(link.edit->isVisible());
    EXPECT_FALSE(grid->EditorControlActive());

    // Escape gives the control the cell's text back before storing it.
    open(2, 2, "keep", edCustom);
    QTest::keyClicks(link.edit, "xyz");
    QTest::keyClick(link.edit, Qt::Key_Escape);
    EXPECT_EQ(grid->Cells(2, 2), "keep");

    // Down leaves and moves the grid; Left with WantKeyLeftRight stays with the control.
    open(2, 2, "a", edCustom);
    QTest::keyClick(link.edit, Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 3);
    link.WantKeyLeftRight = true;
    open(2, 2, "ab", edCustom);
    link.edit->setCursorPosition(2);
    QTest::keyClick(link.edit, Qt::Key_Left);
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(link.edit->cursorPosition(), 1);
    EXPECT_TRUE(link.edit->isVisible());
}

TEST_F(GridEditFixture, PopupLinkShowsTheGridFormAndStoresWhenItCloses)
{
    LineLink link;
    link.EditStyle = esPopup;
    link.PopupWidth = 150;
    link.PopupHeight = 40;
    grid->SetEditLink(&link);
    open(2, 2, "pop", edCustom);
    QWidget* form = link.PopupForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->objectName(), "gridform");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->size(), QSize(150, 40));
    EXPECT_EQ(form->pos(), grid->viewport()->mapToGlobal(grid->MergedCellRect(2, 2).topLeft()));
    EXPECT_EQ(link.edit->parentWidget(), form);
    link.edit->setText("chosen");
    form->hide();   // the popup closes (deactivation)
    EXPECT_EQ(grid->Cells(2, 2), "chosen");
    EXPECT_EQ(link.destroyed, 1);
    EXPECT_FALSE(grid->EditorControlActive());

    // A second edit uses the same form.
    open(2, 3, "again", edCustom);
    EXPECT_EQ(link.PopupForm(), form);
    link.AutoPopupWidth = true;
    form->hide();
    open(2, 4, "", edCustom);
    EXPECT_EQ(form->width(), grid->MergedCellRect(2, 4).width() - 1);
    form->hide();
}
