// Stored forms: a grid written without its defaults and read back by class name, nested settings,
// enumerations by identifier, a defined wide-string list, fonts, the filter collection, a window
// with its children and their references, and broken streams.
#include "grid/GridLists.h"
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "platform/grid/ObjectStream.h"

#include <QWidget>
#include <vector>
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

// A stored window: its named children of registered classes are stored with it.
class TestForm : public QWidget, public tk::TStreamHooks {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)
public:
    explicit TestForm(QWidget* parent = nullptr) : QWidget(parent) {}
    QString Caption;
    static inline std::vector<QString>* loadOrder = nullptr;
    void Loaded() override
    {
        if (loadOrder)
            loadOrder->push_back(objectName());
    }
};

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GridFamilyStartup();
        tk::RegisterClass<WideHolder>("WideHolder");
        tk::RegisterClass<TestForm>("TestForm");
        tk::RegisterClass<TZodUvuzUndoRedo>("TZodUvuzUndoRedo");
    }
    void TearDown() override
    {
        tk::UnRegisterClass("TZodUvuzUndoRedo");
        tk::UnRegisterClass("TestForm");
        GridFamilyShutdown();
    }
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
    EXPECT_EQ(r->SelectionColor(), 0xEACAB6);
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
    g.SetFixedColWidth(80);
    g.SetFixedRowHeight(30);
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
    EXPECT_EQ(r->ColWidths(0), 80) << "the fixed column's width";
    EXPECT_EQ(r->FixedRowHeight(), 30);
    EXPECT_EQ(r->RowHeights(1), 30) << "both fixed rows";
    EXPECT_EQ(r->RowHeights(2), 21);
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

TEST_F(StreamTest, FontsAreStoredByTheirParts)
{
    TZedEzeravIvur g;
    tk::TFont fixed;
    QFont f("DejaVu Serif", 13);
    f.setItalic(true);
    f.setUnderline(true);
    fixed.SetFont(f);
    fixed.SetColor(0x0000FF);
    g.SetFixedFont(fixed);
    g.ActiveCellFont().SetHeight(-15);
    g.PrintSettings()->HeaderFont.SetName("DejaVu Sans Mono");
    const QByteArray data = tk::WriteComponent(&g);
    EXPECT_TRUE(mentions(data, "FixedFont.Style"));
    EXPECT_TRUE(mentions(data, "fsUnderline")) << "styles by identifier";
    EXPECT_TRUE(mentions(data, "ActiveCellFont.Height")) << "a pixel font keeps its height";
    EXPECT_TRUE(mentions(data, "PrintSettings.HeaderFont.Name"));
    EXPECT_FALSE(mentions(data, "PrintSettings.FooterFont")) << "an unchanged print font keeps its default";

    std::unique_ptr<QObject> obj(tk::ReadComponent(data));
    auto* r = qobject_cast<TZedEzeravIvur*>(obj.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->FixedFont().Font().family(), "DejaVu Serif");
    EXPECT_EQ(r->FixedFont().Font().pointSize(), 13);
    EXPECT_TRUE(r->FixedFont().Font().italic());
    EXPECT_TRUE(r->FixedFont().Font().underline());
    EXPECT_FALSE(r->FixedFont().Font().bold()) << "the stored style replaces the constructor's bold";
    EXPECT_EQ(r->FixedFont().Color(), 0x0000FF);
    EXPECT_EQ(r->ActiveCellFont().Font().pixelSize(), 15);
    EXPECT_TRUE(r->ActiveCellFont().Font().bold());
    EXPECT_EQ(r->PrintSettings()->HeaderFont.Font().family(), "DejaVu Sans Mono");
    EXPECT_TRUE(r->PrintSettings()->FooterFont == g.PrintSettings()->FooterFont);

    // A fresh grid stores its two fonts (they have no default) and reads them back unchanged.
    TZedEzeravIvur fresh;
    const QByteArray plain = tk::WriteComponent(&fresh);
    EXPECT_TRUE(mentions(plain, "FixedFont.Name"));
    std::unique_ptr<QObject> back(tk::ReadComponent(plain));
    EXPECT_TRUE(qobject_cast<TZedEzeravIvur*>(back.get())->FixedFont() == fresh.FixedFont());
    EXPECT_TRUE(qobject_cast<TZedEzeravIvur*>(back.get())->ActiveCellFont() == fresh.ActiveCellFont());
}

TEST_F(StreamTest, FilterConditionsAreACollection)
{
    TZedEzeravIvur g;
    EXPECT_FALSE(mentions(tk::WriteComponent(&g), "Filter")) << "no conditions, nothing stored";
    TFilterData& a = g.Filter().Add();
    a.Column = 2;
    a.Condition = ">5";
    TFilterData& b = g.Filter().Add();
    b.Column = 3;
    b.Condition = "M*";
    b.CaseSensitive = false;
    b.Data = fcNormal;
    b.Prefix = "EUR ";
    b.Operation = foOR;
    const QByteArray data = tk::WriteComponent(&g);
    EXPECT_TRUE(mentions(data, "foOR"));
    EXPECT_FALSE(mentions(data, "foSHORT")) << "an item's defaults are left out";

    std::unique_ptr<QObject> obj(tk::ReadComponent(data));
    auto* r = qobject_cast<TZedEzeravIvur*>(obj.get());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Filter().Count(), 2);
    EXPECT_EQ(r->Filter().Items(0).Column, 2);
    EXPECT_EQ(r->Filter().Items(0).Condition, ">5");
    EXPECT_TRUE(r->Filter().Items(0).CaseSensitive);
    EXPECT_EQ(r->Filter().Items(0).Operation, foSHORT);
    EXPECT_EQ(r->Filter().Items(1).Column, 3);
    EXPECT_EQ(r->Filter().Items(1).Condition, "M*");
    EXPECT_FALSE(r->Filter().Items(1).CaseSensitive);
    EXPECT_EQ(r->Filter().Items(1).Data, fcNormal);
    EXPECT_EQ(r->Filter().Items(1).Prefix, "EUR ");
    EXPECT_EQ(r->Filter().Items(1).Suffix, "");
    EXPECT_EQ(r->Filter().Items(1).Operation, foOR);
}

TEST_F(StreamTest, AWindowKeepsItsChildrenAndTheirReferences)
{
    std::vector<QString> loaded;
    TestForm::loadOrder = &loaded;
    QWidget outer;
    auto* elsewhere = new QObject(&outer);
    elsewhere->setObjectName("Pictures1");
    TestForm form(&outer);
    form.setObjectName("Form1");
    form.Caption = "Serienbrief";
    auto* recorder = new TZodUvuzUndoRedo(&form);
    recorder->setObjectName("Recorder1");
    recorder->SetMaxLevel(3);
    auto* images = new WideHolder(&form);
    images->setObjectName("Images1");
    images->Tag = 7;
    auto* grid = new TZedEzeravIvur(&form);
    grid->setObjectName("Grid1");
    grid->SetColCount(9);
    grid->SetGridImages(images);
    grid->SetUndoRedo(recorder);
    grid->SetPictureContainer(elsewhere);
    QObject unnamed;
    grid->SetCellChecker(&unnamed);
    new QObject(&form);   // neither registered nor named: not stored

    const QByteArray data = tk::WriteComponent(&form);
    EXPECT_FALSE(mentions(data, "CellChecker")) << "a component without a name cannot be referred to";

    // Read into a window that holds a component named like the outside one.
    QWidget target;
    auto* pictures = new QObject(&target);
    pictures->setObjectName("Pictures1");
    std::unique_ptr<QObject> obj(tk::ReadComponent(data, &target));
    auto* r = qobject_cast<TestForm*>(obj.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Caption, "Serienbrief");
    auto* rg = r->findChild<TZedEzeravIvur*>("Grid1");
    auto* rr = r->findChild<TZodUvuzUndoRedo*>("Recorder1");
    auto* ri = r->findChild<WideHolder*>("Images1");
    ASSERT_TRUE(rg && rr && ri);
    EXPECT_EQ(rg->parentWidget(), r);
    EXPECT_EQ(rg->ColCount(), 9);
    EXPECT_EQ(rr->MaxLevel(), 3);
    EXPECT_EQ(ri->Tag, 7);
    EXPECT_EQ(rg->GridImages(), ri) << "the new window's component, not the old one";
    EXPECT_EQ(rg->UndoRedo(), rr);
    EXPECT_EQ(rr->Grid(), rg) << "the recorder knows its grid again";
    EXPECT_EQ(rg->PictureContainer(), pictures) << "found beside the window";
    EXPECT_EQ(rg->CellChecker(), nullptr);
    EXPECT_TRUE(rg->IsLoaded());
    EXPECT_TRUE(ri->loaded);
    EXPECT_EQ(r->findChildren<QObject*>(QString(), Qt::FindDirectChildrenOnly).size(), 3)
        << "the unnamed object stayed behind";
    EXPECT_EQ(loaded, std::vector<QString>{"Form1"});

    // Without a component of that name the reference stays empty.
    std::unique_ptr<QObject> alone(tk::ReadComponent(data));
    EXPECT_EQ(alone->findChild<TZedEzeravIvur*>("Grid1")->PictureContainer(), nullptr);
    TestForm::loadOrder = nullptr;
}

TEST_F(StreamTest, BrokenStreamsRaiseAndLeaveNothing)
{
    TestForm form;
    auto* recorder = new TZodUvuzUndoRedo(&form);
    recorder->setObjectName("Recorder1");
    auto* child = new TZedEzeravIvur(&form);
    child->setObjectName("Grid2");
    child->SetUndoRedo(recorder);
    child->Filter().Add().Condition = "x";
    child->FixedFont().SetName("DejaVu Serif");
    const QByteArray formData = tk::WriteComponent(&form);
    QWidget formParent;
    for (qsizetype n = 0; n < formData.size(); ++n) {
        EXPECT_THROW(tk::ReadComponent(formData.left(n), &formParent), tk::EFilerError) << "cut at " << n;
        EXPECT_TRUE(formParent.children().isEmpty()) << "cut at " << n;
    }

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
