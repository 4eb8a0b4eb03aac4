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
