// The Unicode combo: its typed characters, its items and its flat look; and its use as the grid's
// Unicode combo editor.
#include "Fixture.h"

#include <QAbstractItemView>
#include <QInputMethodEvent>
#include <QMetaObject>

using namespace gridedit;
using namespace grid::editors;

namespace {

// Records the hook and the event in the order they see each character.
class RecordingCombo : public TZEIUniComboBox {
public:
    using TZEIUniComboBox::TZEIUniComboBox;
    QStringList seen;
    void BeforeEditChar(QChar& ch) override { seen << QStringLiteral("before ") + ch; }
};

void send(QWidget* w, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
}

QImage shot(QWidget* w) { return w->grab().toImage(); }

} // namespace

TEST(UniCombo, TypedAndCommittedCharactersPassTheHookThenTheEvent)
{
    QWidget window;
    auto* c = new RecordingCombo(&window);
    c->setEditable(true);
    c->setGeometry(0, 0, 160, 22);
    window.show();
    c->setFocus();
    c->OnKeyPress = [c](QObject*, QChar& ch) {
        c->seen << QStringLiteral("key ") + (ch.unicode() == 8 ? QStringLiteral("BS") : QString(ch));
        if (ch == QLatin1Char('x'))
            ch = QLatin1Char('y');
        if (ch == QLatin1Char('#'))
            ch = QChar();
    };
    for (QChar ch : QString::fromUtf8("λx€#"))
        send(c, 0, QString(ch));
    EXPECT_EQ(c->currentText(), QString::fromUtf8("λy€"));
    EXPECT_EQ(c->seen, QStringList({QString::fromUtf8("before λ"), QString::fromUtf8("key λ"), "before x", "key x",
                                    QString::fromUtf8("before €"), QString::fromUtf8("key €"), "before #", "key #"}));

    c->seen.clear();
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("日本"));
    QApplication::sendEvent(c, &commit);
    EXPECT_EQ(c->currentText(), QString::fromUtf8("λy€日本"));
    EXPECT_EQ(c->seen, QStringList({QString::fromUtf8("before 日"), QString::fromUtf8("key 日"),
                                    QString::fromUtf8("before 本"), QString::fromUtf8("key 本")}));

    // Backspace raises only the event; a handler that drops it keeps the text.
    c->seen.clear();
    auto keep = c->OnKeyPress;
    c->OnKeyPress = [&](QObject* s, QChar& ch) {
        keep(s, ch);
        ch = QChar();
    };
    send(c, Qt::Key_Backspace, QStringLiteral("\b"));
    EXPECT_EQ(c->seen, QStringList({"key BS"}));
    EXPECT_EQ(c->currentText(), QString::fromUtf8("λy€日本"));
    c->OnKeyPress = keep;
    send(c, Qt::Key_Backspace, QStringLiteral("\b"));
    EXPECT_EQ(c->currentText(), QString::fromUtf8("λy€日"));
}

TEST(UniCombo, ItemsClearKeepsTheTextAndTheClassHasNoVersion)
{
    TZEIUniComboBox c;
    c.setEditable(true);
    EXPECT_EQ(c.Items().Add(QString::fromUtf8("Ωmega")), 0);
    EXPECT_EQ(c.Items().Add("beta"), 1);
    c.Items().Insert(0, "alpha");
    EXPECT_EQ(c.Items().IndexOf("beta"), 2);
    EXPECT_EQ(c.Items().IndexOf("Beta"), -1);
    c.setEditText(QString::fromUtf8("ωx"));
    c.Items().Clear();
    EXPECT_EQ(c.Items().Count(), 0);
    EXPECT_EQ(c.currentText(), QString::fromUtf8("ωx"));

    EXPECT_EQ(c.metaObject()->indexOfProperty("Version"), -1);
    TZEIComboBox plain;
    EXPECT_EQ(plain.property("Version").toString(), "1.2.0.0");
    // The flat settings are the plain combo's.
    c.SetButtonWidth(13);
    c.SetButtonWidth(20);
    c.SetButtonWidth(33);
    EXPECT_EQ(c.ButtonWidth(), 20);
}

TEST(UniCombo, ThemedEdgeShowsOnlyWhileActive)
{
    QWidget window;
    auto* c = new TZEIUniComboBox(&window);
    auto* other = new QLineEdit(&window);
    c->addItems({"a", "b"});
    // Away from the pointer, which rests at the window's corner.
    window.resize(300, 200);
    c->setGeometry(100, 100, 120, 22);
    other->setGeometry(0, 0, 90, 22);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_FALSE(c->MouseInControl());
    auto look = [&](bool xp, bool active) {
        c->IsWinXP = xp;
        (active ? static_cast<QWidget*>(c) : other)->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(c->hasFocus(), active);
        return shot(c);
    };
    EXPECT_NE(look(true, false), look(true, true));
    // The plain look without FocusBorder does not change with the focus.
    EXPECT_EQ(look(false, false), look(false, true));
    EXPECT_NE(look(true, false), look(false, false));
}

TEST_F(GridEditFixture, UniComboEditorIsFlatInTheModernLooksAndDropsDirectly)
{
    auto* c = grid->GridUniCombo();
    c->addItems({"eins", "zwei"});
    grid->MouseActions()->DirectComboDrop = true;
    open(1, 1, "zwei", edUniComboList);
    ASSERT_EQ(grid->ShownEditorControl(), c);
    EXPECT_TRUE(c->Flat());
    EXPECT_TRUE(c->Etched());
    EXPECT_EQ(c->currentText(), "zwei");
    EXPECT_TRUE(c->view()->isVisible());
    c->hidePopup();
}

// The user's choice of another item raises the click, then the change event, with the edit field
// already showing the item; items set by code raise nothing.
TEST(UniCombo, UserSelectionRaisesClickThenChange)
{
    for (bool editable : {true, false}) {
        SCOPED_TRACE(editable ? "drop-down" : "drop-down list");
        QWidget window;
        auto* c = new TZEIUniComboBox(&window);
        c->setEditable(editable);
        c->setGeometry(0, 0, 160, 22);
        c->Items().Add(QString::fromUtf8("Ωmega"));
        c->Items().Add("beta");
        c->Items().Add("gamma");
        QStringList log;
        c->OnClick = [&](QObject* s) { log << QStringLiteral("click ") + static_cast<QComboBox*>(s)->currentText(); };
        c->OnChange = [&](QObject* s) { log << QStringLiteral("change ") + static_cast<QComboBox*>(s)->currentText(); };
        window.show();
        c->setFocus();

        // By code: no events.
        c->setCurrentIndex(0);
        c->Items().Clear();
        c->Items().Add(QString::fromUtf8("Ωmega"));
        c->Items().Add("beta");
        c->Items().Add("gamma");
        c->setCurrentIndex(0);
        EXPECT_TRUE(log.isEmpty());

        // By the keyboard on the closed combo; the first item goes no further up.
        QTest::keyClick(c, Qt::Key_Down);
        QTest::keyClick(c, Qt::Key_Up);
        QTest::keyClick(c, Qt::Key_Up);
        EXPECT_EQ(log, QStringList({"click beta", "change beta", QString::fromUtf8("click Ωmega"),
                                    QString::fromUtf8("change Ωmega")}));

        // From the open list.
        log.clear();
        c->showPopup();
        QTest::keyClick(c->view(), Qt::Key_Down);
        QTest::keyClick(c->view(), Qt::Key_Down);
        EXPECT_TRUE(log.isEmpty());
        QTest::keyClick(c->view(), Qt::Key_Return);
        EXPECT_EQ(log, QStringList({"click gamma", "change gamma"}));
        EXPECT_EQ(c->currentText(), "gamma");
    }
}

// In the grid: a choice from the list raises the grid's OnComboChange (not the object event) before
// the combo's own events; typing the first letters in the list kind does the same once; the wheel
// raises both grid events and none of the combo's; filling the editor and completing raise nothing.
TEST_F(GridEditFixture, UniComboEditorSelectionEvents)
{
    auto* c = grid->GridUniCombo();
    c->addItems({"eins", "zwei", QString::fromUtf8("Ωmega")});
    QStringList log;
    grid->OnComboChange = [&](QObject*, int col, int row, int index, const QString& text) {
        log << QStringLiteral("combo %1,%2 %3 %4").arg(col).arg(row).arg(index).arg(text);
    };
    grid->OnComboObjectChange = [&](QObject*, int, int, int index, const QString&, QObject*) {
        log << QStringLiteral("object %1").arg(index);
    };
    c->OnClick = [&](QObject*) { log << "click " + c->currentText(); };
    c->OnChange = [&](QObject*) { log << "change " + c->currentText(); };

    open(1, 1, "nicht da", edUniComboList);   // no match: item 0, by code
    ASSERT_EQ(grid->ShownEditorControl(), c);
    ASSERT_EQ(c->currentIndex(), 0);
    EXPECT_TRUE(log.isEmpty());
    QTest::keyClicks(c, "z");
    EXPECT_EQ(c->currentIndex(), 1);
    EXPECT_EQ(log, QStringList({"combo 1,1 1 zwei", "click zwei", "change zwei"}));

    log.clear();
    grid->Lookup = true;
    open(2, 1, "", edUniComboEdit);
    ASSERT_EQ(grid->ShownEditorControl(), c);
    send(c, 0, QString::fromUtf8("ω"));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString::fromUtf8("ω"));
    QApplication::sendEvent(c, &release);   // completion selects the item by code
    // The item's own text: the combo's completion, not Qt's (which a list style shown before would
    // have left on the new edit field).
    EXPECT_EQ(c->currentText(), QString::fromUtf8("Ωmega"));
    EXPECT_EQ(c->currentIndex(), 2);
    // The typed character is the user's edit; the completion adds nothing to it.
    EXPECT_EQ(log, QStringList({QString::fromUtf8("combo 2,1 -1 ω")}));
    log.clear();
    c->setCurrentIndex(0);
    EXPECT_TRUE(log.isEmpty());

    c->showPopup();
    QTest::keyClick(c->view(), Qt::Key_Down);
    QTest::keyClick(c->view(), Qt::Key_Down);
    QTest::keyClick(c->view(), Qt::Key_Return);
    EXPECT_EQ(log, QStringList({QString::fromUtf8("combo 2,1 2 Ωmega"), QString::fromUtf8("click Ωmega"),
                                QString::fromUtf8("change Ωmega")}));

    log.clear();
    QWheelEvent up(QPointF(5, 5), c->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c, &up);
    EXPECT_EQ(c->currentIndex(), 1);
    EXPECT_EQ(log, QStringList({"combo 2,1 1 zwei", "object 1"}));
}
