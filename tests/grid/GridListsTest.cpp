// The grid's lists: change reports of integer lists, sort keys, owned controls, wide strings and
// the string list's objects.
#include "grid/GridLists.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace grid;

namespace {
struct Tagged : tk::TObject {
    explicit Tagged(int v) : value(v) {}
    int value;
};
class CountingList : public TWideStringList {
public:
    std::vector<bool> states;
    void SetUpdateState(bool updating) override { states.push_back(updating); }
};
std::vector<std::u16string> entries(const TWideStrings& l)
{
    std::vector<std::u16string> out;
    for (int i = 0; i < l.Count(); ++i)
        out.push_back(l.Get(i));
    return out;
}
} // namespace

TEST(IntList, ChangesAreReportedWithTheirCell)
{
    TIntList list(3, 7);
    std::vector<std::pair<int, int>> reports;
    list.OnListChange = [&](TIntList*, int col, int row) { reports.push_back({col, row}); };
    list.Add(1);
    list.Insert(0, 5);
    EXPECT_EQ(reports.size(), 1u) << "Insert is silent";
    list.SetItems(1, 20);
    list.Delete(0);
    EXPECT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports.front(), std::make_pair(3, 7));

    list.SetCommaText("1,20,3");
    EXPECT_EQ(list.CommaText(), "1,20,3");
    EXPECT_EQ(reports.size(), 6u) << "each added item is reported";
    EXPECT_THROW(list.SetCommaText("4,x,6"), tk::EInvalidGridOperation);
    EXPECT_EQ(list.CommaText(), "1,20,3") << "a bad text leaves the list as it was";
    list.SetCommaText("");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.CommaText(), "");
    EXPECT_THROW(list.Delete(0), tk::EInvalidGridOperation);
}

TEST(IntList, SortColumnsWithDirections)
{
    TSortIndexList keys;
    int changes = 0;
    keys.OnListChange = [&](TIntList*, int, int) { ++changes; };
    keys.AddSortColumn(1, true);
    keys.AddSortColumn(3, false);
    EXPECT_EQ(unsigned(keys.Items(1)), 0x80000003u);
    EXPECT_EQ(keys.FindSortColumn(3), 1);
    EXPECT_EQ(keys.FindSortColumn(2), -1);
    EXPECT_FALSE(keys.Ascending(1));
    keys.ToggleSortColumn(3);
    EXPECT_TRUE(keys.Ascending(1));
    EXPECT_EQ(keys.SortColumn(1), 3);
    EXPECT_EQ(changes, 3);
    keys.ToggleSortColumn(9);
    EXPECT_EQ(changes, 3);
}

TEST(ControlList, OwnsItsControls)
{
    QPointer<QObject> a = new QObject, b = new QObject, c = new QObject;
    {
        TControlList list;
        list.Add(a);
        list.Add(b);
        list.Add(c);
        list.DeleteControl(1);
        EXPECT_TRUE(b.isNull());
        EXPECT_EQ(list.Items(1), c.data());
    }
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(c.isNull());
}

TEST(WideStrings, TextLinesAndBreaks)
{
    TWideStringList l;
    l.SetTextStr(u"a\r\nb\n\n");
    EXPECT_EQ(entries(l), (std::vector<std::u16string>{u"a", u"b", u""}));
    l.SetTextStr(u"x\ry\u2028z\x0b\x0cw");
    EXPECT_EQ(entries(l), (std::vector<std::u16string>{u"x", u"y", u"z", u"", u"w"}));
    EXPECT_EQ(l.GetTextStr(), u"x\r\ny\r\nz\r\n\r\nw\r\n");
    l.SetTextStr(u"");
    EXPECT_EQ(l.Count(), 0);
}

TEST(WideStrings, IndexOfIgnoresCaseEqualsDoesNot)
{
    TWideStringList a, b;
    a.SetTextStr(u"Stra\u00dfe\nM\u00fcller\n");
    b.SetTextStr(u"STRA\u00dfE\nm\u00fcller\n");
    EXPECT_EQ(a.IndexOf(u"m\u00dcLLER"), 1);
    EXPECT_EQ(a.IndexOf(u"Meier"), -1);
    EXPECT_FALSE(a.Equals(b));
    for (int i = 0; i < b.Count(); ++i)
        EXPECT_EQ(a.IndexOf(b.Get(i)), i);
    TWideStringList c;
    c.Assign(a);
    EXPECT_TRUE(a.Equals(c));
}

TEST(WideStrings, MoveKeepsObjectsAndUpdatesNest)
{
    Tagged oa(1), ob(2), oc(3);
    CountingList l;
    l.AddObject(u"a", &oa);
    l.AddObject(u"b", &ob);
    l.AddObject(u"c", &oc);
    l.states.clear();
    l.Move(1, 1);
    EXPECT_TRUE(l.states.empty()) << "no change, no update";
    l.Move(0, 2);
    EXPECT_EQ(entries(l), (std::vector<std::u16string>{u"b", u"c", u"a"}));
    EXPECT_EQ(static_cast<Tagged*>(l.GetObject(2))->value, 1);
    EXPECT_EQ(static_cast<Tagged*>(l.GetObject(0))->value, 2);
    EXPECT_EQ(l.states, (std::vector<bool>{true, false}));

    l.states.clear();
    l.BeginUpdate();
    l.Exchange(0, 1);   // its own update nests inside
    l.SetTextStr(u"x\n");
    EXPECT_EQ(l.states, (std::vector<bool>{true}));
    l.EndUpdate();
    EXPECT_EQ(l.states, (std::vector<bool>{true, false}));
    l.EndUpdate();      // not below 0
    EXPECT_EQ(l.UpdateCount(), 0);

    l.AddObject(u"y", &ob);
    l.Put(1, u"z");
    EXPECT_EQ(l.Get(1), u"z");
    EXPECT_EQ(l.GetObject(1), &ob);
}

TEST(WideStrings, ExchangesWithStringLists)
{
    Tagged o(7);
    tk::TStringList ansi;
    ansi.Add("eins");
    ansi.AddObject("zwei", &o);
    TWideStringList w;
    w.Assign(ansi);
    EXPECT_EQ(entries(w), (std::vector<std::u16string>{u"eins", u"zwei"}));
    EXPECT_EQ(w.GetObject(1), &o);
    w.Add(u"\u20ac");
    tk::TStringList back;
    w.AssignTo(back);
    EXPECT_EQ(back.Count(), 3);
    EXPECT_EQ(back[2], QString(QChar(0x20AC)));
    EXPECT_EQ(back.Objects(1), &o);
    // The string list keeps one object per item through its changes.
    back.Insert(0, "null");
    EXPECT_EQ(back.Objects(2), &o);
    back.Delete(0);
    back.SetText("a\nb");
    EXPECT_EQ(back.Objects(1), nullptr);
}

TEST(WideStrings, PlainStringView)
{
    Tagged o(3);
    CountingList w;
    w.AddObject(u"Alpha", &o);
    w.Add(u"\u00c4rger");
    TAnsiStringsForWideStrings& a = w.AnsiStrings();
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a[1], QString::fromUtf8("Ärger"));
    EXPECT_EQ(a.IndexOf("ALPHA"), 0);
    EXPECT_EQ(a.Text(), QString::fromUtf8("Alpha\r\nÄrger\r\n"));
    EXPECT_EQ(a.Add("Gamma"), 2);
    a.Insert(0, "Null");
    a.Delete(1);
    EXPECT_EQ(entries(w), (std::vector<std::u16string>{u"Null", u"\u00c4rger", u"Gamma"}));

    // Writing the view replaces the list within one update; objects do not pass through it.
    tk::TStringList src;
    src.AddObject("x", &o);
    src.Add("y");
    w.states.clear();
    w.SetAnsiStrings(src);
    EXPECT_EQ(entries(w), (std::vector<std::u16string>{u"x", u"y"}));
    EXPECT_EQ(w.GetObject(0), nullptr);
    EXPECT_EQ(w.states, (std::vector<bool>{true, false}));
    a.Clear();
    EXPECT_EQ(w.Count(), 0);
}
