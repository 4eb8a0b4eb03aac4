// Pick-text mapping between stored values and shown texts, and the order text parser.
#include "recipients/datagrid/XDBGrid.h"
#include "recipients/datagrid/XDBGridOrder.h"
#include "recipients/datagrid/XDBGridPickText.h"
#include <gtest/gtest.h>

using namespace xdb;

namespace {

struct PickCase {
    const char* name;
    int options;
    QStringList pickList;
    QStringList pickText;
    bool toField;        // true: ColSetText direction, false: ColGetText direction
    QString input;
    QString expected;
};

const QStringList kTexts{QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue")};
const QStringList kCodes{QStringLiteral("r"), QStringLiteral("g"), QStringLiteral("b")};

} // namespace

TEST(PickText, MappingTable)
{
    const PickCase cases[] = {
        // Stored item index: "2" is the second pick text and back.
        {"index shown", poSelectPickText | poStoreItemIndex, {}, kTexts, false, QStringLiteral("2"), QStringLiteral("Green")},
        {"index trimmed", poSelectPickText | poStoreItemIndex, {}, kTexts, false, QStringLiteral(" 3 "), QStringLiteral("Blue")},
        {"index out of range kept", poSelectPickText | poStoreItemIndex, {}, kTexts, false, QStringLiteral("7"), QStringLiteral("7")},
        {"index non-number list only", poSelectPickText | poStoreItemIndex | poListItemsOnly, {}, kTexts, false,
         QStringLiteral("x"), QString()},
        {"index stored", poSelectPickText | poStoreItemIndex, {}, kTexts, true, QStringLiteral("Green"), QStringLiteral("2")},
        {"index stored ignores case", poSelectPickText | poStoreItemIndex, {}, kTexts, true, QStringLiteral("blue"),
         QStringLiteral("3")},
        // Codes in PickList shown as PickText.
        {"code shown", poSelectPickText, kCodes, kTexts, false, QStringLiteral("g"), QStringLiteral("Green")},
        {"unknown code kept", poSelectPickText, kCodes, kTexts, false, QStringLiteral("q"), QStringLiteral("q")},
        {"unknown code list only", poSelectPickText | poListItemsOnly, kCodes, kTexts, false, QStringLiteral("q"), QString()},
        {"text stored as code", poSelectPickText, kCodes, kTexts, true, QStringLiteral("Blue"), QStringLiteral("b")},
        {"code accepted", poSelectPickText | poAcceptPickList, kCodes, kTexts, true, QStringLiteral("g"), QStringLiteral("g")},
        {"code refused", poSelectPickText | poListItemsOnly, kCodes, kTexts, true, QStringLiteral("g"), QString()},
        {"item index accepted", poSelectPickText | poAcceptItemIndex, kCodes, kTexts, true, QStringLiteral("3"),
         QStringLiteral("b")},
        {"item index beyond list", poSelectPickText | poAcceptItemIndex | poListItemsOnly, kCodes, kTexts, true,
         QStringLiteral("4"), QString()},
        {"short code list", poSelectPickText | poListItemsOnly, {QStringLiteral("r")}, kTexts, true, QStringLiteral("Blue"),
         QString()},
        // Without mapping: the PickList alone.
        {"plain list only shown", poListItemsOnly, kCodes, {}, false, QStringLiteral("q"), QString()},
        {"plain in list shown", poListItemsOnly, kCodes, {}, false, QStringLiteral("b"), QStringLiteral("b")},
        {"plain item index", poAcceptItemIndex, kCodes, {}, true, QStringLiteral("2"), QStringLiteral("g")},
        {"plain free text", 0, kCodes, {}, true, QStringLiteral("free"), QStringLiteral("free")},
        {"plain list only stored", poListItemsOnly, kCodes, {}, true, QStringLiteral("free"), QString()},
        // Mapping needs poSelectPickText and a PickText.
        {"no select option", poStoreItemIndex, {}, kTexts, false, QStringLiteral("2"), QStringLiteral("2")},
    };
    TXDBGrid grid;
    TXColumn* c = grid.Columns()->Add();
    for (const PickCase& k : cases) {
        SCOPED_TRACE(k.name);
        c->SetPickOptions(k.options);
        c->PickList().SetText(k.pickList.join(QLatin1Char('\n')));
        c->PickText().SetText(k.pickText.join(QLatin1Char('\n')));
        const QString got = k.toField ? PickSetText(c, k.input, nullptr) : PickGetText(c, k.input);
        EXPECT_EQ(got, k.expected);
    }
}

TEST(OrderFields, ParsesDirectionsAndFirstOnly)
{
    auto items = ParseOrderFields(QStringLiteral("  Email desc , Last Name ASC,First Name,, Nowhere "), false);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].fieldName, QStringLiteral("Email"));
    EXPECT_TRUE(items[0].descending);
    EXPECT_EQ(items[1].fieldName, QStringLiteral("Last Name"));
    EXPECT_FALSE(items[1].descending);
    EXPECT_EQ(items[2].fieldName, QStringLiteral("First Name"));
    EXPECT_EQ(items[3].fieldName, QStringLiteral("Nowhere"));

    items = ParseOrderFields(QStringLiteral("Email DESC,Status"), true);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].fieldName, QStringLiteral("Email"));
    EXPECT_TRUE(items[0].descending);
    EXPECT_TRUE(ParseOrderFields(QStringLiteral("  "), false).empty());
}
