// The drawing group with its pictures, the MD4 digest that names them, and the sheet drawings
// with their shapes, comments and text boxes, on hand-built drawing records.
#include "spreadsheet/Escher.h"
#include "spreadsheet/MD4Lanes.h"
#include "spreadsheet/MoveCopy.h"
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSStream.h"
#include "DrawingTestUtil.h"
#include "XlsTestUtil.h"

#include <QFile>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace xls;
using namespace xlstest;

namespace {

QString readGroupError(const QByteArray& group)
{
    TMSOPictures p;
    try {
        p.ReadDrawingGroup(group);
    } catch (const EXLSError& e) {
        return e.message();
    }
    return {};
}

QByteArray deflate(const QByteArray& data)
{
    uLongf n = compressBound(uLong(data.size()));
    QByteArray out(int(n), 0);
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()), 9);
    out.truncate(int(n));
    return out;
}

}   // namespace

TEST(XlsDrawing, Md4Rfc1320Vectors)
{
    const struct { const char* in; const char* hex; } cases[] = {
        {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
        {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {"message digest", "d9130a8164549fe818874806e1c7014b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890", "e33b4ddc9c38f2199c3e7b164fcc0536"},
    };
    for (const auto& c : cases) EXPECT_EQ(TMD4Hash::Digest(c.in).toHex(), QByteArray(c.hex)) << c.in;

    // in steps; final resets the object, which must then be initialised again
    TMD4Hash h;
    h.Init();
    h.Update(QByteArray("message "));
    h.Update(QByteArray("digest"));
    EXPECT_EQ(h.Final().toHex(), QByteArray("d9130a8164549fe818874806e1c7014b"));
    for (const auto& step : {std::function<void()>([&] { h.Update(QByteArray("x")); }), std::function<void()>([&] { h.Final(); })}) {
        try {
            step();
            ADD_FAILURE();
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), "Hash not initialized");
        }
    }
}

TEST(XlsDrawing, Md4OfManyMessagesAtOnce)
{
    // The RFC vectors side by side, then messages around the padding borders and of mixed
    // lengths, more than the eight that share a step, against the digest one at a time.
    const QByteArrayView rfc[] = {"", "a", "abc", "message digest",
                                  "12345678901234567890123456789012345678901234567890123456789012345678901234567890"};
    const QList<QByteArray> rfcDigests = MD4Digests(QList<QByteArrayView>(std::begin(rfc), std::end(rfc)));
    ASSERT_EQ(rfcDigests.size(), 5);
    EXPECT_EQ(rfcDigests[0].toHex(), "31d6cfe0d16ae931b73c59d7e0c089c0");
    EXPECT_EQ(rfcDigests[2].toHex(), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(rfcDigests[4].toHex(), "e33b4ddc9c38f2199c3e7b164fcc0536");

    QList<QByteArray> messages;
    for (int size : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 100000, 3, 70000, 64 * 9, 5, 56 + 64}) {
        QByteArray m(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i) m[i] = char((i * 131 + size) ^ (i >> 8));
        messages << m;
    }
    for (int count : {1, 8, 9, int(messages.size())}) {
        const QList<QByteArrayView> views(messages.cbegin(), messages.cbegin() + count);
        const QList<QByteArray> digests = MD4Digests(views);
        ASSERT_EQ(digests.size(), count);
        for (int i = 0; i < count; ++i) EXPECT_EQ(digests[i], TMD4Hash::Digest(messages[i])) << count << " size " << messages[i].size();
    }
    EXPECT_TRUE(MD4Digests({}).isEmpty());
}

// A store of more than 8 MB is hashed by several threads: each picture still gets the digest of
// its own bytes, also when a damaged BSE after them ends the read.
TEST(XlsDrawing, LargeStoreIdentifiers)
{
    QList<QByteArray> pngs;
    QByteArray bstore;
    for (int i = 0; i < 12; ++i) {
        QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(800000 + 1000 * i, char('a' + i));
        png[100 + i] = 'X';
        pngs << png;
        bstore += bse(6, blip(0xF01E, 0x6E0, png));
    }
    TMSOPictures p;
    p.ReadDrawingGroup(drawingGroup(bstore, dgg(0x0C02, {{1, 3}}, 5, 1)));
    ASSERT_EQ(p.Count(), 12);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(p.Items(i)->Identifier, TMD4Hash::Digest(pngs[i])) << i;

    TMSOPictures damaged;
    EXPECT_THROW(damaged.ReadDrawingGroup(drawingGroup(bstore + esc(2, 0, 0xF00A, QByteArray(8, 0)), dgg(0x0C02, {{1, 3}}, 5, 1))),
                 EXLSError);
    ASSERT_EQ(damaged.Count(), 12);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(damaged.Items(i)->Identifier, TMD4Hash::Digest(pngs[i])) << i;

    // fewer pictures than share a step, together over the size for threads
    QList<QByteArray> big;
    QByteArray bigStore;
    for (int i = 0; i < 3; ++i) {
        big << QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000000 + 64 * i, char('k' + i));
        bigStore += bse(6, blip(0xF01E, 0x6E0, big.last()));
    }
    TMSOPictures few;
    few.ReadDrawingGroup(drawingGroup(bigStore, dgg(0x0C02, {{1, 3}}, 5, 1)));
    ASSERT_EQ(few.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(few.Items(i)->Identifier, TMD4Hash::Digest(big[i])) << i;
}

TEST(XlsDrawing, GroupPicturesAndClusters)
{
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'p');
    const QByteArray jpeg = QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(120, 'j');
    const QByteArray bstore = bse(6, blip(0xF01E, 0x6E0, png)) + bse(5, blip(0xF01D, 0x46A, jpeg), "Bild1.jpg");
    const QByteArray group = drawingGroup(bstore, dgg(0x0C02, {{1, 3}, {2, 2}}, 5, 2) + esc(3, 3, 0xF00B, u16(0x00BF) + u32(0x80008) + u16(0x0181) + u32(0x8000041) + u16(0x01C0) + u32(0x8000040)) +
                                                     esc(0, 4, 0xF11E, u32(0x0800000D) + u32(0x0800000C) + u32(0x08000017) + u32(0x100000F7)));
    TMSOPictures p;
    p.ReadDrawingGroup(group);
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.Items(0)->Type, 6);
    EXPECT_EQ(p.Items(0)->Data(), png);
    EXPECT_EQ(p.Items(0)->Identifier, TMD4Hash::Digest(png));
    EXPECT_EQ(p.Items(0)->RefCount, 1u);
    EXPECT_EQ(p.Items(1)->Type, 5);
    EXPECT_EQ(p.Items(1)->Data(), jpeg);
    EXPECT_EQ(p.Items(1)->Filename(), "Bild1.jpg");
    EXPECT_EQ(p.Items(1)->Name(), "Picture 1");
    EXPECT_EQ(p.BsePositions(), QList<int>({0, 1}));
    EXPECT_EQ(p.Dgg.MaxShapeId, 0x0C02u);
    ASSERT_EQ(p.Dgg.Entries.size(), 2);
    EXPECT_EQ(p.Dgg.Entries[1].DrawingId, 2u);
    EXPECT_EQ(p.Dgg.Entries[1].ShapesUsed, 2u);
    EXPECT_EQ(p.Dgg.SavedShapes, 5u);
    EXPECT_EQ(p.NextShapeIdBlock, 0x0C00u);
    EXPECT_EQ(p.DefaultOpt.Value(385), 0x8000041);
    EXPECT_EQ(p.SplitMenuColors.size(), 4);
}

TEST(XlsDrawing, BlipVariants)
{
    // a deflated EMF is held inflated, its identifier the MD4 of the inflated bytes
    QByteArray emf(5000, 0);
    for (int i = 0; i < emf.size(); ++i) emf[i] = char(i % 7);
    const QByteArray packed = deflate(emf);
    {
        TMSOPictures p;
        p.ReadDrawingGroup(drawingGroup(bse(2, metafileBlip(0xF01A, 0x3D4, emf.size(), packed, 0))));
        ASSERT_EQ(p.Count(), 1);
        EXPECT_EQ(p.Items(0)->Data(), emf);
        EXPECT_EQ(p.Items(0)->Identifier, TMD4Hash::Digest(emf));
    }
    // an odd instance carries a second identifier: it is skipped, for bitmaps and metafiles
    {
        const QByteArray png = QByteArray("\x89PNG", 4) + QByteArray(50, 'q');
        TMSOPictures p;
        p.ReadDrawingGroup(drawingGroup(bse(6, blip(0xF01E, 0x6E1, png)) + bse(2, metafileBlip(0xF01A, 0x3D5, emf.size(), packed, 0))));
        ASSERT_EQ(p.Count(), 2);
        EXPECT_EQ(p.Items(0)->Data(), png);
        EXPECT_EQ(p.Items(1)->Data(), emf);
    }
    // a stored (not deflated) metafile is held as it is
    {
        TMSOPictures p;
        p.ReadDrawingGroup(drawingGroup(bse(3, metafileBlip(0xF01B, 0x216, 40, QByteArray(40, 'w'), 0xFE))));
        EXPECT_EQ(p.Items(0)->Data(), QByteArray(40, 'w'));
    }
    // inflate must end at exactly the declared size
    for (int declared : {emf.size() - 1, emf.size() + 1}) {
        EXPECT_EQ(readGroupError(drawingGroup(bse(2, metafileBlip(0xF01A, 0x3D4, declared, packed, 0)))), "Can not decompress picture") << declared;
    }
}

TEST(XlsDrawing, GroupErrors)
{
    const QByteArray png(20, 'p');
    const struct { QByteArray group; const char* error; } cases[] = {
        {esc(0xF, 0, 0xF002, {}), "Expected record missing: DGGContainer"},
        {drawingGroup(esc(2, 0, 0xF008, QByteArray(36, 0))), "Expected record missing: BSE"},
        {drawingGroup(bse(6, esc(0, 0, 0xF00B, QByteArray(40, 0)))), "Expected record missing: BLIP"},
        {drawingGroup(bse(6, blip(0xF01E, 0x6E0, png), {}, 3)), "Blip size in BSE don't match actually blip"},
        {drawingGroup({}, esc(0, 0, 0xF016, QByteArray(16, 0))), "CLSID in MSODRAWINGGROUP"},
        {drawingGroup({}, esc(0, 0, 0xF122, QByteArray(8225, 0))), "Unknown FBT in MSODRAWINGGROUP to large"},
        // a container that claims more than the record holds, and a header cut in two
        {esc(0xF, 0, 0xF000, esc(0, 0, 0xF122, QByteArray(4, 0))).left(12), "Error while reading MSODRAWINGGROUP. Length < 0"},
        {esc(0xF, 0, 0xF000, QByteArray(5, 0)), "MSOHeader split in MSODRAWINGGROUP"},
        // a complex property whose data would run past the OPT
        {drawingGroup({}, esc(3, 1, 0xF00B, u16(0x8000 | 0x0181) + u32(100) + QByteArray(10, 0))), "Property data of OPT is larger than the record"},
    };
    for (const auto& c : cases) EXPECT_EQ(readGroupError(c.group), c.error) << c.error;
}

TEST(XlsDrawing, EmptyBseTakesAPositionAndRelinks)
{
    // BSE 1 and 3 hold pictures, BSE 2 is empty: references 1 and 3 become 1 and 2, 4 is unknown
    const QByteArray a(30, 'a'), c(30, 'c');
    TMSOPictures p;
    p.ReadDrawingGroup(drawingGroup(bse(6, blip(0xF01E, 0x6E0, a)) + emptyBse() + bse(6, blip(0xF01E, 0x6E0, c))));
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.BsePositions(), QList<int>({0, 2}));

    TEscherDrawing d(&p);
    for (int ref : {3, 1, 0}) {
        auto s = std::make_unique<TShapeClientAnchor>();
        s->Opt.AddSimple(260, ref, true);
        d.Root.Children.push_back(std::move(s));
    }
    LinkBlipIds(d, p.BsePositions());
    EXPECT_EQ(d.Root.Child(0)->Opt.PictureRef(), 2);
    EXPECT_EQ(d.Root.Child(1)->Opt.PictureRef(), 1);
    EXPECT_EQ(d.Root.Child(2)->Opt.PictureRef(), 0);   // no picture: left alone

    TEscherDrawing other(&p);
    auto bad = std::make_unique<TShapeClientAnchor>();
    bad->Opt.AddSimple(260, 4, true);
    other.Root.Children.push_back(std::move(bad));
    try {
        LinkBlipIds(other, p.BsePositions());
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Can not find Blip Id #4");
    }
}

TEST(XlsDrawing, PropertyTable)
{
    TOPT o;
    o.AddSimple(127, 0x1040104);
    o.AddString(261, QStringLiteral("Bild Ä"));
    o.AddSimple(260, 3, true);
    EXPECT_EQ(o.Value(127), 0x1040104);
    EXPECT_EQ(o.Value(999), -1);
    EXPECT_EQ(o.String(261), QStringLiteral("Bild Ä"));
    EXPECT_EQ(o.TextId(), 0);
    EXPECT_EQ(o.Size(), 3 * 6 + 14);
    // written and read back alike
    const QByteArray w = o.Write();
    EXPECT_EQ(w.left(8), esc(3, 3, 0xF00B, QByteArray(int(o.Size()), 0)).left(8));
    TOPT back;
    back.Read(reinterpret_cast<const uint8_t*>(w.constData()) + 8, w.size() - 8, 3);
    EXPECT_TRUE(back == o);

    TOPT none;
    none.AddSimple(127, 1);
    const struct { TOPT* opt; const char* error; } cases[] = {{&none, "Shape has no Blip Id"}};
    for (const auto& c : cases) {
        try {
            c.opt->SetPictureRef(1);
            ADD_FAILURE();
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), c.error);
        }
    }
    TOPT complexRef;
    const QByteArray entry = u16(0xC104) + u32(4) + u32(0);
    complexRef.Read(reinterpret_cast<const uint8_t*>(entry.constData()), entry.size(), 1);
    try {
        complexRef.SetPictureRef(1);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "OPT value is complex");
    }
}

TEST(XlsDrawing, WorkbookKeepsAGroupItCannotRead)
{
    const QByteArray png(40, 'p');
    const QByteArray good = drawingGroup(bse(6, blip(0xF01E, 0x6E0, png)));
    const QByteArray bad = drawingGroup(bse(6, esc(0, 0, 0xF00B, QByteArray(40, 0))));
    for (const QByteArray& group : {good, bad}) {
        TXLSBook book;
        QStringList messages;
        book.OnMessage = [&](const QString& m) { messages << m; };
        book.LoadFromData(compoundFile({{"Workbook", book8({{"S", number(0, 0, 7)}}, rec(0x00EB, group))}}).bytes);
        EXPECT_EQ(book.Sheets()[0]->CellText(0, 0), "7");
        if (group == good) {
            EXPECT_TRUE(messages.isEmpty());
            ASSERT_EQ(book.MSOPictures().Count(), 1);
            EXPECT_EQ(book.MSOPictures().Items(0)->Data(), png);
            EXPECT_TRUE(book.DrawingGroup().isEmpty());
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].startsWith("Error on reading record # ")) << messages[0].toStdString();
            EXPECT_TRUE(messages[0].contains(", 00EB Offs: ")) << messages[0].toStdString();
            EXPECT_TRUE(messages[0].endsWith("Expected record missing: BLIP")) << messages[0].toStdString();
            EXPECT_EQ(book.MSOPictures().Count(), 0);
            EXPECT_EQ(book.DrawingGroup(), group);
        }
    }
}

namespace {
// The drawing group of a file: MSODRAWINGGROUP with its CONTINUE records, joined.
QByteArray groupBytesOf(const QString& path)
{
    TXLSStream st;
    st.Open(path);
    QByteArray out;
    uint16_t id, len;
    bool in = false;
    while (st.ReadHeader(id, len) == 4) {
        QByteArray b(len, 0);
        st.ReadBody(reinterpret_cast<uint8_t*>(b.data()), len);
        if (id == 0x00EB || (in && id == 0x003C)) {
            in = true;
            out += b;
        } else if (in) {
            break;
        }
    }
    return out;
}
}   // namespace

TEST(XlsDrawing, GroupWrittenAndReadAgain)
{
    TXLSBook book;
    book.Filename = QStringLiteral(QLY_TEST_DATA_DIR "/drawing-shapes.xls");
    book.Read();
    TMSOPictures& p = book.MSOPictures();
    const QByteArray written = p.WriteDrawingGroup();
    TMSOPictures back;
    back.ReadDrawingGroup(written);
    ASSERT_EQ(back.Count(), p.Count());
    for (int i = 0; i < p.Count(); ++i) {
        EXPECT_EQ(back.Items(i)->Type, p.Items(i)->Type);
        EXPECT_EQ(back.Items(i)->Data(), p.Items(i)->Data());
        EXPECT_EQ(back.Items(i)->Identifier, p.Items(i)->Identifier);
        EXPECT_EQ(back.Items(i)->RefCount, p.Items(i)->RefCount);
    }
    EXPECT_EQ(back.Dgg.MaxShapeId, p.Dgg.MaxShapeId);
    EXPECT_EQ(back.Dgg.Entries.size(), p.Dgg.Entries.size());
    EXPECT_TRUE(back.DefaultOpt == p.DefaultOpt);
    EXPECT_EQ(back.SplitMenuColors, p.SplitMenuColors);
    // LibreOffice's group has the writer's layout; only its BStore count (1 for two pictures) and
    // the BSE identifiers (not MD4 digests) are its own
    const QByteArray lo = groupBytesOf(book.Filename);
    EXPECT_EQ(written.size(), lo.size());
    EXPECT_EQ(written.left(40).toHex(), lo.left(40).toHex().replace("1f0001f0", "2f0001f0"));
}

TEST(XlsDrawing, PicturesLoadedInCode)
{
    TMSOPictures g;
    TMSOPicture* png = g.Add();
    png->LoadFromFile(QStringLiteral(QLY_TEST_DATA_DIR "/drawing-pic.png"));
    EXPECT_EQ(png->Type, 6);
    QFile f(QStringLiteral(QLY_TEST_DATA_DIR "/drawing-pic.png"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(png->Data(), f.readAll());
    EXPECT_EQ(png->Identifier, TMD4Hash::Digest(png->Data()));
    EXPECT_TRUE(png->Filename().endsWith("drawing-pic.png"));

    // a metafile is held deflated, identified by the deflated bytes; written, it reads back inflated
    QByteArray emf(3000, 0);
    for (int i = 0; i < emf.size(); ++i) emf[i] = char(i % 13);
    TMSOPicture* meta = g.Add();
    meta->LoadFromData(emf, 2);
    EXPECT_TRUE(meta->Compressed);
    EXPECT_LT(meta->Size(), emf.size());
    EXPECT_EQ(meta->Identifier, TMD4Hash::Digest(meta->Data()));
    // a bitmap loses its 14-byte file header
    TMSOPicture* bmp = g.Add();
    bmp->LoadFromData(QByteArray(14, 'h') + QByteArray(100, 'd'), 7);
    EXPECT_EQ(bmp->Data(), QByteArray(100, 'd'));
    TMSOPictures back;
    back.ReadDrawingGroup(g.WriteDrawingGroup());
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Items(1)->Data(), emf);
    EXPECT_EQ(back.Items(2)->Data(), QByteArray(100, 'd'));

    png->SetFilename("Bild.png");
    meta->SetFilename("Bild.emf");
    const struct { std::function<void()> call; const char* error; } cases[] = {
        {[&] { meta->SetFilename("BILD.PNG"); }, "A picture with this name already exists."},
        {[&] { g.Add()->LoadFromFile("bild.gif"); }, "Unknown picture type GIF"},
        {[&] { g.Add()->LoadFromData(QByteArray(32768, 'b'), 7); }, "Bitmap (BMP) pictures can be max 32767 bytes in size"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.error;
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), c.error);
        }
    }
    EXPECT_EQ(meta->Filename(), "Bild.emf");
}
