// Stored forms: a grid written without its defaults and read back by class name, nested settings,
// enumerations by identifier, a defined wide-string list, and broken streams.
#include "grid/GridLists.h"
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "platform/grid/ObjectStream.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace grid;

namespace {
// A component that keeps a wide string list outside its Qt properties.
class WideHolder : public QObject, public tk::TStreamHooks {
    Q_OBJECT
    Q_PROPERTY(int Tag MEMBER Tag)
public:
    explicit WideHolder(QWidget* parent = nullptr) : QObject(parent) {}
    int Tag = 0;
    TWideStringList Items;
    bool loaded = false;
    void DefineProperties(tk::TFiler& filer) override { Items.DefineWideStrings(filer); }
    void Loaded() override { loaded = true; }
};

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GridFamilyStartup();
        tk::RegisterClass<WideHolder>("WideHolder");
    }
    void TearDown() override { GridFamilyShutdown(); }
};

// The property names stored in a stream (its strings of Latin-1 letters and dots).
bool mentions(const QByteArray& data, const QString& name)
{
    QByteArray utf16;
    for (QChar c : name) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    return data.contains(utf16);
}
} // namespace

TEST_F(StreamTest, AFreshGridWritesNoListedDefaultAndReadsBackTheSame)
{
    TZedEzeravIvur g;
    g.setObjectName("Grid1");
    const QByteArray data = tk::WriteComponent(&g);
    EXPECT_TRUE(data.startsWith("TPF0"));
    for (const char* name : {"ColCount", "RowCount", "FixedRows", "Look", "SelectionColor", "CellNode.NodeIndent",
                             "Navigation.AllowCtrlEnter", "PrintSettings.DateFormat", "EnableHTML", "WordWrap",
                             "Cursor", "ScrollBars", "LookupItems", "RowIndicator", "ColumnHeaders",
                             "RowHeaders"})
        EXPECT_FALSE(mentions(data, name)) << name;
    EXPECT_TRUE(mentions(data, "ScrollWidth")) << "always stored";
    EXPECT_TRUE(mentions(data, "DefaultRowHeight")) << "no stream default";

    std::unique_ptr<QObject> obj(tk::ReadComponent(data));
    auto* r = qobject_cast<TZedEzeravIvur*>(obj.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->objectName(), "Grid1");
    EXPECT_TRUE(r->IsLoaded());
    EXPECT_EQ(r->ColCount(), 5);
    EXPECT_EQ(r->RowCount(), 10);
    EXPECT_EQ(r->DefaultRowHeight(), 21);
    EXPECT_EQ(r->SelectionColor, 0xEACAB6);
    EXPECT_EQ(r->CellNode()->NodeIndent(), 12);
}

TEST_F(StreamTest, ChangedValuesRoundTrip)
{
    TZedEzeravIvur g;
    g.CellNode()->SetNodeIndent(20);
    g.Navigation()->AdvanceDirection = adTopBottom;
    g.SetLook(glSoft);
    g.ScrollWidth = 17;
    g.SetColCount(8);
    g.SetRowCount(30);
    g.SetFixedRows(2);
    g.SetFloatFormat("%.3f");
    g.PrintSettings()->TitleLines = {"Kopf", "Zeile 2"};
    QImage glyph(4, 4, QImage::Format_ARGB32);
    glyph.fill(Qt::red);
    g.ControlLook()->SetCheckedGlyph(glyph);
    g.ColumnSize()->Key = "Software\\ORV Software\\x";
    g.SetCursor(-21);
    g.SetScrollBarsStyle(ssVertical);
    g.LookupItems().Add("Berlin");
    g.LookupItems().Add("Bonn");
    g.SetRowIndicator(glyph);
    g.SetColumnHeadersList({"", "Vor\\nname", "Ort"});
    g.SetRowHeadersList({"", "1"});
    const QByteArray data = tk::WriteComponent(&g);
    EXPECT_TRUE(mentions(data, "ssVertical"));
    EXPECT_TRUE(mentions(data, "CellNode.NodeIndent"));
    EXPECT_TRUE(mentions(data, "adTopBottom")) << "enumerations by identifier";

    std::unique_ptr<QObject> obj(tk::ReadComponent(data));
    auto* r = qobject_cast<TZedEzeravIvur*>(obj.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CellNode()->NodeIndent(), 20);
    EXPECT_EQ(r->Navigation()->AdvanceDirection, adTopBottom);
    EXPECT_EQ(r->Look(), glSoft);
    EXPECT_EQ(r->ScrollWidth, 17);
    EXPECT_EQ(r->Cursor(), -21);
    EXPECT_EQ(r->ScrollBars(), tk::ssVertical);
    EXPECT_EQ(r->LookupItems().List(), QStringList({"Berlin", "Bonn"}));
    EXPECT_EQ(r->RowIndicator().pixel(1, 1), glyph.pixel(1, 1));
    EXPECT_EQ(r->ColumnHeadersList(), QStringList({"", "Vor\\nname", "Ort"}));
    EXPECT_EQ(r->RowHeadersList(), QStringList({"", "1"}));
    EXPECT_EQ(r->Cells(1, 0), "Vor\rname") << "copied into the fixed row after reading";
    EXPECT_EQ(r->Cells(2, 0), "Ort");
    EXPECT_EQ(r->Cells(0, 1), "1");
    EXPECT_EQ(r->ColCount(), 8);
    EXPECT_EQ(r->RowCount(), 30);
    EXPECT_EQ(r->FixedRows(), 2);
    EXPECT_EQ(r->FloatFormat(), "%.3f");
    EXPECT_EQ(r->PrintSettings()->TitleLines, (QStringList{"Kopf", "Zeile 2"}));
    EXPECT_EQ(r->ControlLook()->CheckedGlyph().pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(r->ColumnSize()->Key, "Software\\ORV Software\\x");
}

TEST_F(StreamTest, WideStringsAreADefinedProperty)
{
    WideHolder h;
    EXPECT_FALSE(mentions(tk::WriteComponent(&h), "WideStrings")) << "an empty list is not written";
    h.Items.SetTextStr(u"\u00c4pfel\nBirnen\n\n");
    h.Tag = 4;
    const QByteArray data = tk::WriteComponent(&h);
    std::unique_ptr<QObject> obj(tk::ReadComponent(data));
    auto* r = dynamic_cast<WideHolder*>(obj.get());
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->Items.Equals(h.Items));
    EXPECT_EQ(r->Items.Count(), 3);
    EXPECT_EQ(r->Tag, 4);
    EXPECT_TRUE(r->loaded);
}

TEST_F(StreamTest, BrokenStreamsRaiseAndLeaveNothing)
{
    TZedEzeravIvur g;
    g.CellNode()->SetNodeIndent(20);
    g.SetLook(glSoft);
    const QByteArray data = tk::WriteComponent(&g);
    QWidget parent;
    // Every cut of the stream fails; the grid it began to read is gone again (ASan sees leaks).
    for (qsizetype n = 0; n < data.size(); ++n) {
        EXPECT_THROW(tk::ReadComponent(data.left(n), &parent), tk::EFilerError) << "cut at " << n;
        EXPECT_TRUE(parent.children().isEmpty()) << "cut at " << n;
    }
    QByteArray other = data;
    other.replace(QByteArray("g\0l\0S\0o\0f\0t\0", 12), QByteArray("g\0l\0N\0o\0n\0e\0", 12));
    EXPECT_THROW(tk::ReadComponent(other), tk::EReadError) << "an unknown identifier";
    EXPECT_THROW(tk::ReadComponent("XPF0"), tk::EReadError);
    tk::UnRegisterClass("TZedEzeravIvur");
    EXPECT_THROW(tk::ReadComponent(data), tk::EClassNotFound);
}

#include "ObjectStreamTest.moc"
