#include "mailing/htmlparser/LumContainers.h"

#include <QBuffer>
#include "PrintQt.h"

#include <gtest/gtest.h>

namespace {

using StringHash = TLumWideStringHash<TLumWideStringKey, TLumWideStringItem>;
using NameHash = TLumWideStringHash<TLumWideStringKeyIgnoreCase, TLumCardinalItem>;
using CardinalHash = TLumCardinalHash<TLumCardinalItem>;

template <class F>
QString ErrorOf(F&& f)
{
    try {
        f();
    } catch (const ELumContainerError& e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

} // namespace

TEST(LumContainers, BlockCapacityAndShrinkThreshold)
{
    const int capacity[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {17, 20}, {33, 40}, {100, 112}};
    for (const auto& c : capacity)
        EXPECT_EQ(lum::BlockCapacity(c[0]), c[1]) << c[0];
    const int threshold[][2] = {{1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 5}, {6, 5}, {9, 9}, {12, 11}};
    for (const auto& c : threshold)
        EXPECT_EQ(lum::ShrinkThreshold(c[0]), c[1]) << c[0];
}

TEST(LumContainers, VectorGrowsShrinksAndChecksCount)
{
    TLumWideStringVector v;
    v.SetCount(5);
    EXPECT_EQ(v.Capacity(), 6);
    v.Items(4) = "last";
    v.Items(0) = "first";
    v.SetCount(1);
    EXPECT_EQ(v.Capacity(), 1);
    EXPECT_EQ(v.Items(0), "first");
    v.SetCount(3);
    EXPECT_TRUE(v.Items(2).isEmpty()) << "new items start empty, not with what stood there before";
    EXPECT_EQ(v.Add(), QString());
    EXPECT_EQ(v.Count(), 4);

    EXPECT_EQ(ErrorOf([&] { v.SetCount(-1); }), "Class TLumWideStringVector: List index out of bounds (-1)");
    EXPECT_EQ(ErrorOf([&] { v.Items(4); }), "Class TLumWideStringVector: List index out of bounds (4)");

    TLumWideStringVector copy;
    copy.Assign(v);
    EXPECT_EQ(copy.Count(), 4);
    EXPECT_EQ(copy.Items(0), "first");
    v.Clear();
    EXPECT_EQ(v.Count(), 0);
    EXPECT_EQ(v.Capacity(), 0);
    EXPECT_EQ(copy.Items(0), "first");
}

TEST(LumContainers, HashBucketsGrowAndDeletedPlacesAreReused)
{
    CardinalHash h;
    EXPECT_EQ(h.HashCount(), 3);
    h.FindOrAdd(10) = 100;
    h.FindOrAdd(20) = 200;
    EXPECT_EQ(h.HashCount(), 3);
    h.FindOrAdd(30) = 300;
    EXPECT_EQ(h.HashCount(), 7);
    for (quint32 k = 40; k <= 60; k += 10)
        h.FindOrAdd(k) = k * 10;
    EXPECT_EQ(h.HashCount(), 7);
    h.FindOrAdd(70) = 700;
    EXPECT_EQ(h.HashCount(), 11);
    EXPECT_EQ(h.FindOrAdd(30), 300u) << "an existing key is found, not added";
    EXPECT_EQ(h.Count(), 7);

    EXPECT_EQ(ErrorOf([&] { h.Items(7); }), "Class TLumCardinalHash: List index out of bounds (7)");

    // four entries: deleting one stays above the packing threshold, so its place is reused
    CardinalHash small;
    for (quint32 k : {1, 2, 3, 4})
        small.FindOrAdd(k) = k * 10;
    ASSERT_TRUE(small.Delete(2));
    EXPECT_FALSE(small.Delete(2));
    EXPECT_EQ(small.Find(2), nullptr);
    EXPECT_TRUE(small.IsDeleted(1));
    EXPECT_EQ(ErrorOf([&] { small.Items(1); }), "Class TLumCardinalHash: Item is deleted");
    small.FindOrAdd(9) = 90;
    EXPECT_FALSE(small.IsDeleted(1));
    EXPECT_EQ(small.Keys(1), 9u);
    EXPECT_EQ(small.Items(1), 90u);
    EXPECT_EQ(small.EntryCount(), 4);
    for (quint32 k : {1, 3, 4, 9})
        ASSERT_NE(small.Find(k), nullptr) << k;

    EXPECT_EQ(ErrorOf([&] { h.SetHashCount(6); }), "Class TLumCardinalHash: Invalid HashCount (6)");
    h.SetHashCount(20);
    EXPECT_EQ(h.HashCount(), 23);
    EXPECT_EQ(*h.Find(50), 500u);
    h.Clear();
    EXPECT_EQ(h.HashCount(), 3);
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.Find(50), nullptr);
}

TEST(LumContainers, HashPacksWhenMostEntriesAreDeleted)
{
    StringHash h;
    for (int i = 0; i < 16; ++i)
        h.FindOrAdd(QString("k%1").arg(i)) = QString("v%1").arg(i);
    for (int i = 0; i < 12; ++i)
        h.Delete(QString("k%1").arg(i));
    EXPECT_LT(h.EntryCount(), 16);
    EXPECT_EQ(h.Count(), 4);
    for (int i = 12; i < 16; ++i) {
        const QString* v = h.Find(QString("k%1").arg(i));
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(*v, QString("v%1").arg(i));
    }
    // the survivors keep their order
    EXPECT_EQ(h.Keys(h.EntryCount() - 1), "k15");
}

TEST(LumContainers, KeysCompareAsTheirHandlerSays)
{
    NameHash names;
    names.FindOrAdd("Style") = 89;
    EXPECT_EQ(*names.Find("STYLE"), 89u);
    const char16_t buf[] = u"sTyLe";
    ASSERT_NE(names.FindBuf(buf, 5), nullptr);
    EXPECT_EQ(names.FindBuf(buf, 4), nullptr);

    StringHash exact;
    exact.FindOrAdd("amp") = "&";
    EXPECT_EQ(exact.Find("AMP"), nullptr);
    EXPECT_NE(exact.Find("amp"), nullptr);
}

TEST(LumContainers, StreamRoundTripSkipsDeletedEntries)
{
    StringHash h;
    for (const char* k : {"a", "b", "c", "d"})
        h.FindOrAdd(k) = QString(k).toUpper() + "-wert";
    h.Delete("b");
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    h.SaveToStream(&out);
    out.close();
    EXPECT_TRUE(bytes.startsWith("DIHC"));

    StringHash back;
    back.FindOrAdd("stale") = "x";
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    back.LoadFromStream(&in);
    EXPECT_EQ(back.Count(), 3);
    EXPECT_EQ(back.EntryCount(), 3);
    EXPECT_EQ(back.Find("stale"), nullptr);
    EXPECT_EQ(back.Find("b"), nullptr);
    for (const char* k : {"a", "c", "d"})
        EXPECT_EQ(*back.Find(k), QString(k).toUpper() + "-wert");

    TLumWideString2CardinalVector v;
    v.Add() = {"href", "a.html", 3};
    v.Add() = {"alt", QString(), 0};
    QByteArray vbytes;
    QBuffer vout(&vbytes);
    vout.open(QIODevice::WriteOnly);
    v.SaveToStream(&vout, lfAll);
    vout.close();
    EXPECT_TRUE(vbytes.startsWith("DIVC"));
    TLumWideString2CardinalVector vback;
    QBuffer vin(&vbytes);
    vin.open(QIODevice::ReadOnly);
    vback.LoadFromStream(&vin, lfAll);
    ASSERT_EQ(vback.Count(), 2);
    EXPECT_EQ(vback.Items(0).Value, "a.html");
    EXPECT_EQ(vback.Items(0).Id, 3u);
    EXPECT_EQ(vback.Items(1).Name, "alt");

    // without signature, version and header only the count and items are written
    QByteArray bare;
    QBuffer bout(&bare);
    bout.open(QIODevice::WriteOnly);
    v.SaveToStream(&bout, 0);
    EXPECT_EQ(quint8(bare[0]), 2); // integer element 2
    EXPECT_EQ(bare[1], 2);
}

TEST(LumContainers, StreamFormatErrors)
{
    TLumWideStringVector v;
    EXPECT_EQ(ErrorOf([&] { v.LoadFromStream(nullptr); }), "Class TLumWideStringVector: Stream is nil");
    EXPECT_EQ(ErrorOf([&] { v.SaveToStream(nullptr); }), "Class TLumWideStringVector: Stream is nil");

    const struct { QByteArray bytes; const char* message; } cases[] = {
        {QByteArray("DIHC\x02\x01\x02\x04\x02\x00", 10), "Class TLumWideStringVector: Invalid stream format"},
        {QByteArray("DIVC\x02\x02\x02\x04\x02\x00", 10), "Class TLumWideStringVector: Invalid stream format"},
        {QByteArray("DIVC\x02\x01\x02\x0C\x02\x00", 10), "Class TLumWideStringVector: Invalid ItemSize (12)"},
        {QByteArray("DIVC\x02\x01\x02\x04\x01\xFF", 10), "Class TLumWideStringVector: List index out of bounds (-1)"},
    };
    for (const auto& c : cases) {
        QByteArray copy = c.bytes;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        EXPECT_EQ(ErrorOf([&] { v.LoadFromStream(&in); }), c.message);
    }
    // a count larger than the items that follow ends in a read error, not in a huge block
    QByteArray truncated("DIVC\x02\x01\x02\x04\x0B\xFF\xFF\xFF\x7F", 13);
    QBuffer in(&truncated);
    in.open(QIODevice::ReadOnly);
    EXPECT_THROW(v.LoadFromStream(&in), ELumStreamError);
}
