// The grid's published option objects in the component stream: every stored property of every
// option object (footer, search bar and balloons included) set to a value other than its default
// reads back equal. The table of properties comes from the meta objects, so a property added later
// is covered without a change here.
#include "grid/GridHints.h"
#include "grid/GridSearchBar.h"
#include "grid/GridStartup.h"
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzFooter.h"

#include <QImage>
#include <QMetaEnum>
#include <QMetaProperty>
#include <gtest/gtest.h>
#include <memory>

using namespace grid;

namespace {

bool isOption(const QMetaProperty& p)
{
    return p.metaType().flags().testFlag(QMetaType::PointerToQObject) && !p.isWritable();
}

// A value of the property's type that differs from `current` (invalid when the type is not known).
QVariant otherValue(const QMetaProperty& p, const QVariant& current)
{
    if (p.isEnumType() && !p.isFlagType()) {
        const QMetaEnum e = p.enumerator();
        for (int i = 0; i < e.keyCount(); ++i)
            if (e.value(i) != current.toInt())
                return e.value(i);
        return {};
    }
    if (p.metaType() == QMetaType::fromType<tk::TFont>()) {
        tk::TFont f = current.value<tk::TFont>();
        QFont qf = f.Font();
        qf.setBold(!qf.bold());
        qf.setPointSize(qf.pointSize() + 3);
        f.SetFont(qf);
        f.SetColor(f.Color() == 0x0000FF ? 0x00FF00 : 0x0000FF);
        return QVariant::fromValue(f);
    }
    switch (p.metaType().id()) {
    case QMetaType::Bool: return !current.toBool();
    case QMetaType::Int: return current.toInt() == 1 ? 2 : 1;   // small: a count, a margin or a column
    case QMetaType::Double: return current.toDouble() + 0.5;
    case QMetaType::QString: return current.toString() + QStringLiteral("x");
    case QMetaType::QStringList: return current.toStringList() + QStringList{QStringLiteral("item")};
    case QMetaType::QImage: {
        QImage img(3, 2, QImage::Format_ARGB32);
        img.fill(QColor(10, 200, 30));
        return img;
    }
    default: return {};
    }
}

bool same(const QVariant& a, const QVariant& b)
{
    if (a.metaType() == QMetaType::fromType<tk::TFont>() && b.metaType() == a.metaType())
        return a.value<tk::TFont>() == b.value<tk::TFont>();
    return a == b;
}

struct Row {
    QString name;   // dotted, as the stream writes it
    QObject* target;
    QMetaProperty property;
};

// Every stored property of the grid's option objects, sub-objects of option objects included.
void collect(QObject* object, const QString& prefix, std::vector<Row>& rows)
{
    const QMetaObject* mo = object->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        const QString name = prefix + QString::fromLatin1(p.name());
        if (isOption(p)) {
            if (QObject* sub = p.read(object).value<QObject*>())
                collect(sub, name + QLatin1Char('.'), rows);
            continue;
        }
        if (!prefix.isEmpty() && p.isWritable() && p.isStored())
            rows.push_back({name, object, p});
    }
}

class PublishedOptions : public ::testing::Test {
protected:
    void SetUp() override { GridFamilyStartup(); }
    void TearDown() override { GridFamilyShutdown(); }
};

} // namespace

TEST_F(PublishedOptions, EveryPropertyOfEveryOptionObjectSurvivesTheStream)
{
    TZedEzeravIvur g;
    g.setObjectName(QStringLiteral("Grid1"));
    g.SetFixedRows(2);   // SortSettings.Row must stay below the fixed rows
    std::vector<Row> rows;
    collect(&g, QString(), rows);

    // The footer, the search bar and the balloons are published option objects like Navigation.
    for (const char* name : {"FloatingFooter.Visible", "FloatingFooter.CustomTemplate", "SearchFooter.FindNextCaption",
                             "SearchFooter.ShowMatchCase", "Balloon.Enable", "Balloon.Transparency",
                             "Navigation.AllowCtrlEnter", "DragScrollOptions.Delays.InitialDelay"})
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r.name == QLatin1String(name); }))
            << name;

    // Every value is set to something else than the constructor's; each must take.
    std::vector<std::pair<Row, QVariant>> table;
    for (const Row& r : rows) {
        const QVariant before = r.property.read(r.target);
        const QVariant wanted = otherValue(r.property, before);
        ASSERT_TRUE(wanted.isValid()) << "no test value for " << r.name.toStdString() << " of type "
                                      << r.property.typeName();
        r.property.write(r.target, wanted);
        const QVariant now = r.property.read(r.target);
        ASSERT_FALSE(same(now, before)) << r.name.toStdString() << " does not take a new value";
        table.emplace_back(r, now);
    }
    // Setting one value may move another (FloatingFooter.Visible sets FixedFooters, not an option):
    // what is compared is what the grid holds before writing.
    for (auto& [r, v] : table)
        v = r.property.read(r.target);

    const QByteArray data = tk::WriteComponent(&g);
    std::unique_ptr<QObject> back(tk::ReadComponent(data));
    auto* r = qobject_cast<TZedEzeravIvur*>(back.get());
    ASSERT_NE(r, nullptr);
    std::vector<Row> readRows;
    collect(r, QString(), readRows);
    ASSERT_EQ(readRows.size(), table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        const Row& rr = readRows[i];
        ASSERT_EQ(rr.name, table[i].first.name);
        EXPECT_TRUE(same(rr.property.read(rr.target), table[i].second)) << rr.name.toStdString();
    }
}

TEST_F(PublishedOptions, LoadedAppliesTheFooterSearchBarAndBalloonRead)
{
    TZedEzeravIvur g;
    g.FloatingFooter()->SetVisible(true);
    g.SearchFooter()->SetVisible(true);
    g.SearchFooter()->SetFindNextCaption(QStringLiteral("Weiter"));
    g.Balloon()->SetEnable(true);
    g.Balloon()->Transparency = 55;
    g.SetCells(1, 1, QStringLiteral("4"));
    g.SetCells(1, 2, QStringLiteral("6"));
    g.SetFooterCalc(1, 1);   // cell properties are not part of the component stream

    std::unique_ptr<QObject> back(tk::ReadComponent(tk::WriteComponent(&g)));
    auto* r = qobject_cast<TZedEzeravIvur*>(back.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->FixedFooters(), 1);
    EXPECT_TRUE(r->LastRowIsFooter());
    EXPECT_EQ(r->FooterPanel()->PanelHeight(), r->DefaultRowHeight() - 1);
    TSearchPanel* bar = GridSearchPanel(r);
    EXPECT_EQ(bar->height(), 32);
    EXPECT_EQ(bar->ForwardButton()->text(), QStringLiteral("Weiter"));
    TBalloonWindow* balloon = GridHints(r)->BalloonWindow();
    ASSERT_NE(balloon, nullptr) << "balloons are on after loading";
    EXPECT_NEAR(balloon->windowOpacity(), 200 / 255.0, 0.01) << "the transparency read after Enable applies";
}

TEST_F(PublishedOptions, AssignCopiesTheSearchBarsOptions)
{
    TZedEzeravIvur source, target;
    source.SearchFooter()->SetFindNextCaption(QStringLiteral("Weiter"));
    source.SearchFooter()->SetColor(0x123456);
    source.SearchFooter()->SetAutoSearch(false);
    target.Assign(&source);
    EXPECT_EQ(target.SearchFooter()->FindNextCaption(), QStringLiteral("Weiter"));
    EXPECT_EQ(target.SearchFooter()->Color(), 0x123456);
    EXPECT_TRUE(target.SearchFooter()->AutoSearch()) << "AutoSearch is not copied";
    EXPECT_EQ(source.SearchFooter()->FindNextCaption(), QStringLiteral("Weiter"));
}
