// Sheet drawings as the reader fills them: shapes with their comments, texts and pictures filed
// as drawing objects and form controls, from LibreOffice workbooks and hand-built drawings.
#include "spreadsheet/XLSBook.h"
#include "spreadsheet/XLSStream.h"
#include "DrawingTestUtil.h"
#include "XlsTestUtil.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace xls;
using namespace xlstest;

namespace {

const QString dataDir = QStringLiteral(QLY_TEST_DATA_DIR "/");

QByteArray fileBytes(const QString& name)
{
    QFile f(dataDir + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Loaded {
    TXLSBook book;
    QStringList messages;
    QString error;
};

void load(Loaded& l, const QByteArray& sheetRecords, const QByteArray& globals = {}, const QByteArray& more = number(0, 0, 7))
{
    l.book.OnMessage = [&](const QString& m) { l.messages << m; };
    try {
        l.book.LoadFromData(compoundFile({{"Workbook", book8({{"S", sheetRecords + more}}, globals)}}).bytes);
    } catch (const EXLSError& e) {
        l.error = e.message();
    }
}

void loadFile(Loaded& l, const QString& name)
{
    l.book.OnMessage = [&](const QString& m) { l.messages << m; };
    l.book.Filename = dataDir + name;
    l.book.Read();
}

TestShape note(uint32_t id, int objectId, const QString& text)
{
    TestShape s;
    s.id = id;
    s.opt = esc(3, 1, 0xF00B, u16(128) + u32(0x1234));
    s.obj = objBody(25, objectId, 0x4011, u16(0x0D) + u16(22) + QByteArray(22, 0));
    s.txo = txoRecords(text);
    return s;
}

}   // namespace

TEST(XlsSheetDrawing, LibreOfficeShapesAndPictures)
{
    Loaded l;
    loadFile(l, "drawing-shapes.xls");
    EXPECT_TRUE(l.messages.isEmpty()) << l.messages.join('\n').toStdString();

    // the pictures of the group, byte for byte as the source files
    TMSOPictures& pics = l.book.MSOPictures();
    ASSERT_EQ(pics.Count(), 2);
    EXPECT_EQ(pics.Items(0)->Type, 6);
    EXPECT_EQ(pics.Items(0)->Data(), fileBytes("drawing-pic.png"));
    EXPECT_EQ(pics.Items(1)->Type, 5);
    EXPECT_EQ(pics.Items(1)->Data(), fileBytes("drawing-pic.jpg"));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(pics.Items(i)->Identifier, TMD4Hash::Digest(pics.Items(i)->Data()));

    TSheet* s = l.book.Sheets()[0];
    TDrawingObjects& o = s->DrawingObjects();
    ASSERT_EQ(o.Notes.Count(), 1);
    EXPECT_EQ(o.Notes[0]->CellCol(), 1);
    EXPECT_EQ(o.Notes[0]->CellRow(), 1);
    EXPECT_EQ(o.Notes[0]->Author(), "Tester");
    EXPECT_EQ(o.Notes[0]->Text(), QStringLiteral("Notiz Ä"));
    EXPECT_EQ(o.Notes[0]->DisplayName, "Note 0");

    ASSERT_EQ(o.Pictures.Count(), 2);
    EXPECT_EQ(o.Pictures[0]->PictureId(), 1);
    EXPECT_EQ(o.Pictures[1]->PictureId(), 2);
    EXPECT_EQ(o.Pictures[0]->Shape()->ShapeType, 75u);
    // 9 cm from the left edge lies in column D or E of default width, 0.5 cm down just past the
    // first row (0.45 cm)
    EXPECT_GE(o.Pictures[0]->Col1(), 3);
    EXPECT_LE(o.Pictures[0]->Col1(), 4);
    EXPECT_EQ(o.Pictures[0]->Row1(), 1);
    EXPECT_GT(o.Pictures[0]->Row1Offset(), 0.0);
    EXPECT_GE(o.Pictures[0]->Col2(), o.Pictures[0]->Col1());

    ASSERT_EQ(o.Texts.Count(), 1);
    EXPECT_EQ(o.Texts[0]->Text(), "Hallo Box");
    ASSERT_EQ(o.Basics.Count(), 3);
    EXPECT_EQ(o.Basics[0]->ShapeType(), bstRectangle);
    EXPECT_EQ(o.Basics[1]->ShapeType(), bstEllipse);
    EXPECT_EQ(o.Basics[2]->ShapeType(), bstLine);
    EXPECT_EQ(o.AutoShapes.Count(), 0);

    // every shape was filed once; the chart carries its substream
    int shapes = 0, charts = 0;
    s->Drawing().ForEachShape([&](TShape* sh) {
        ++shapes;
        if (auto* c = dynamic_cast<TShapeOutsideMsoChart*>(sh->Side.get())) {
            ++charts;
            ASSERT_TRUE(c->Root);
            ASSERT_GE(c->Root->Count(), 3);
            EXPECT_EQ(c->Root->Child(0)->Id, 0x0809);
            EXPECT_EQ(c->Root->Last()->Id, 0x000A);
        }
    });
    EXPECT_EQ(shapes, 1 + 2 + 1 + 3 + 1);
    EXPECT_EQ(charts, 1);
    // the drawing records are taken, not kept raw
    EXPECT_FALSE(hasRecord(s->RecordStorage(), 0x00EC));
    EXPECT_FALSE(hasRecord(s->RecordStorage(), 0x005D));

    // the second sheet's drawing holds only its root group
    TEscherDrawing& second = l.book.Sheets()[1]->Drawing();
    EXPECT_EQ(second.Root.Count(), 0);
    EXPECT_NE(second.DrawingId, 0u);
    EXPECT_TRUE(second.Root.Flags & 0x04);
    EXPECT_EQ(l.book.Sheets()[1]->CellText(0, 0), "x");
}

TEST(XlsSheetDrawing, LibreOfficeFormControls)
{
    Loaded l;
    loadFile(l, "drawing-controls.xls");
    EXPECT_TRUE(l.messages.isEmpty()) << l.messages.join('\n').toStdString();
    TControlObjects& c = l.book.Sheets()[0]->ControlsObjects();
    ASSERT_EQ(c.ListBoxes.Count(), 1);
    ASSERT_EQ(c.ComboBoxes.Count(), 1);
    ASSERT_EQ(c.Buttons.Count(), 1);
    EXPECT_EQ(c.ListBoxes[0]->DestCell(), "$C$5");
    EXPECT_EQ(c.ListBoxes[0]->SourceArea(), "$A$1:$A$6");
    EXPECT_EQ(c.ComboBoxes[0]->DestCell(), "$C$6");
    EXPECT_TRUE(c.ComboBoxes[0]->Control()->Combo);
    EXPECT_EQ(c.Buttons[0]->MacroName(), "Module1.Makro1");
    EXPECT_EQ(c.Buttons[0]->Text(), "Start");
    // the controls took their OBJ data
    EXPECT_EQ(c.ListBoxes[0]->Shape()->ObjRecords.Count(), 0);
    EXPECT_FALSE(c.ListBoxes[0]->Control()->Changed);

    // setters: an unchanged cell changes nothing, a new one marks the data changed
    TControlListBox* box = c.ListBoxes[0];
    box->SetDestCell("$C$5");
    EXPECT_FALSE(box->Control()->Changed);
    box->SetDestCell("B2");
    EXPECT_EQ(box->DestCell(), "$B$2");
    EXPECT_TRUE(box->Control()->Changed);
    box->SetSourceArea("A2:B9");
    EXPECT_EQ(box->SourceArea(), "$A$2:$B$9");
    c.Buttons[0]->SetMacroName("module1.makro1");
    EXPECT_EQ(c.Buttons[0]->Control()->Macro.toHex(), QByteArray("05000000000039020001000000"));
    EXPECT_EQ(c.Buttons[0]->MacroName(), "Module1.Makro1");

    const struct { std::function<void()> call; const char* error; } cases[] = {
        {[&] { box->SetDestCell("xyz"); }, "Invalid cell reference"},
        {[&] { box->SetSourceArea("1:"); }, "Invalid area reference"},
        {[&] { c.Buttons[0]->SetMacroName("Foo"); }, "Can not find Name Foo"},
        {[&] { box->Control()->CellLink = QByteArray(3, 0x24); box->DestCell(); }, "Unknown SBS formula."},
        {[&] { box->Control()->Source = QByteArray(8, 0x25); box->SourceArea(); }, "Unknown LBS formula."},
    };
    for (const auto& k : cases) {
        try {
            k.call();
            ADD_FAILURE() << k.error;
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), k.error);
        }
    }
}

TEST(XlsSheetDrawing, AnchorsAndPictureIds)
{
    Loaded l;
    loadFile(l, "drawing-shapes.xls");
    TDrwPicture* p = l.book.Sheets()[0]->DrawingObjects().Pictures[0];
    p->SetCol1Offset(1.5);
    EXPECT_EQ(p->Shape()->Anchor[2], 1024);
    EXPECT_EQ(p->Col1Offset(), 1.0);
    p->SetCol1Offset(-0.2);
    EXPECT_EQ(p->Shape()->Anchor[2], 0);
    p->SetRow2Offset(0.5);
    EXPECT_EQ(p->Shape()->Anchor[8], 128);
    p->SetFlipHorizontal(true);
    EXPECT_TRUE(p->FlipHorizontal());
    EXPECT_FALSE(p->FlipVertical());
    EXPECT_TRUE(p->Shape()->Flags & 0x40);
    p->SetFlipHorizontal(false);
    EXPECT_FALSE(p->Shape()->Flags & 0x40);

    // picture ids: 0 clears the name, above the count is out of range, a name finds its picture
    l.book.MSOPictures().Items(1)->SetFilename("C:\\Bilder\\foto.jpg");
    p->SetPictureId(2);
    EXPECT_EQ(p->PictureName(), "foto.jpg");
    p->SetPictureId(0);
    EXPECT_EQ(p->PictureName(), "");
    EXPECT_EQ(p->PictureId(), 0);
    p->SetPictureName("c:\\bilder\\FOTO.jpg");
    EXPECT_EQ(p->PictureId(), 2);
    for (int bad : {3, -1}) {
        try {
            p->SetPictureId(bad);
            ADD_FAILURE();
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), "Picture Id out of range.");
        }
    }
    // in a workbook without pictures, every id above 0 is out of range
    l.book.MSOPictures().Clear();
    try {
        p->SetPictureId(1);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Picture Id out of range.");
    }
}

TEST(XlsSheetDrawing, HandBuiltNotesTextsAndRouting)
{
    TestShape rect;
    rect.id = 0x402;
    rect.type = 1;
    rect.obj = objBody(2, 2);
    TestShape sun;
    sun.id = 0x403;
    sun.type = 183;
    sun.obj = objBody(30, 3);
    TestShape other;   // a spinner: drawn, not filed
    other.id = 0x404;
    other.type = 201;
    other.obj = objBody(16, 4, 0x6011, u16(0x0C) + u16(20) + QByteArray(20, 0));
    const QString longText(8224, 'x');
    TestShape text;
    text.id = 0x405;
    text.obj = objBody(6, 5);
    text.txo = txoRecords(longText);
    Loaded l;
    load(l, sheetDrawing(1, {note(0x401, 7, "Hallo"), rect, sun, other, text}) + noteRecord(4, 2, 7, "Autor"));
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_TRUE(l.messages.isEmpty()) << l.messages.join('\n').toStdString();
    TSheet* s = l.book.Sheets()[0];
    TDrawingObjects& o = s->DrawingObjects();
    ASSERT_EQ(o.Notes.Count(), 1);
    EXPECT_EQ(o.Notes[0]->Text(), "Hallo");
    EXPECT_EQ(o.Notes[0]->Author(), "Autor");
    EXPECT_EQ(o.Notes[0]->CellCol(), 2);
    EXPECT_EQ(o.Notes[0]->CellRow(), 4);
    ASSERT_EQ(o.Basics.Count(), 1);
    EXPECT_EQ(o.Basics[0]->ShapeType(), bstRectangle);
    ASSERT_EQ(o.AutoShapes.Count(), 1);
    EXPECT_EQ(o.AutoShapes[0]->ShapeType(), astSun);
    // 8224 characters come in two CONTINUE records, 8223 and 1, then the runs
    ASSERT_EQ(o.Texts.Count(), 1);
    EXPECT_EQ(o.Texts[0]->Text(), longText);
    EXPECT_EQ(s->Drawing().Root.Count(), 5);
    EXPECT_EQ(s->Drawing().LastObjectId, 7);
    EXPECT_EQ(s->CellText(0, 0), "7");

    // basic shape type and auto shape type written back
    o.Basics[0]->SetShapeType(bstEllipse);
    EXPECT_EQ(o.Basics[0]->Shape()->ShapeType, 3u);
    EXPECT_EQ(o.Basics[0]->Shape()->ObjectType(), 3);
    o.AutoShapes[0]->SetShapeType(astQuadArrowCallout);
    EXPECT_EQ(o.AutoShapes[0]->Shape()->ShapeType, 83u);

    // clearing a collection takes its shapes out of the drawing
    o.Basics.Clear();
    EXPECT_EQ(s->Drawing().Root.Count(), 4);
    s->ClearSheet();
    EXPECT_EQ(s->Drawing().Root.Count(), 0);
    EXPECT_EQ(o.Notes.Count(), 0);
}

TEST(XlsSheetDrawing, DamagedDrawingsCostOnlyThemselves)
{
    TestShape badObj;
    badObj.obj = u16(0x02) + u16(0) + u32(0);
    TestShape mixed = note(0x401, 1, QString(8224, 'y'));
    // the second piece of the text comes as UTF-16 after an 8-bit start
    {
        QByteArray t = rec(0x01B6, u16(0x0212) + QByteArray(8, 0) + u16(8224) + u16(16) + u32(0));
        t += rec(0x003C, u8(0) + QByteArray(8223, 'y')) + rec(0x003C, u8(1) + u16('z')) + rec(0x003C, QByteArray(16, 0));
        mixed.txo = t;
    }
    const struct { QByteArray records; const char* error; } cases[] = {
        {sheetDrawing(1, {note(0x401, 1, "a")}, 0x01), "SP is not root"},
        {sheetDrawing(1, {note(0x401, 1, "a")}) + noteRecord(0, 0, 7, "X"), "Can not find shape for note #7"},
        {sheetDrawing(1, {badObj}), "Unknown OBJ record 02"},
        {sheetDrawing(1, {mixed}), "Unicode error in TXO"},
        // an OBJ record that is not there
        {sheetDrawing(1, {note(0x401, 1, "a")}).replace(QByteArray::fromHex("5d00"), QByteArray::fromHex("5e00")), "Expected record missing: OBJ"},
    };
    for (const auto& c : cases) {
        Loaded l;
        load(l, c.records);
        ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
        ASSERT_EQ(l.messages.size(), 1) << c.error << l.messages.join('\n').toStdString();
        EXPECT_TRUE(l.messages[0].endsWith(QLatin1String(c.error))) << l.messages[0].toStdString();
        EXPECT_EQ(l.book.Sheets()[0]->CellText(0, 0), "7") << c.error;
        EXPECT_TRUE(hasRecord(l.book.Sheets()[0]->RecordStorage(), 0x00EC) || QString(c.error).startsWith("Can not find")) << c.error;
    }
    // the shape number tells where the drawing failed
    Loaded l;
    load(l, sheetDrawing(1, {note(0x401, 1, "a"), badObj}));
    ASSERT_EQ(l.messages.size(), 1);
    EXPECT_TRUE(l.messages[0].contains("Error on reading shape #3\r")) << l.messages[0].toStdString();
    EXPECT_EQ(l.book.Sheets()[0]->DrawingObjects().Notes.Count(), 0);
    EXPECT_EQ(l.book.Sheets()[0]->Drawing().Root.Count(), 0);
}

TEST(XlsSheetDrawing, OnShapeSeesNestedShapes)
{
    // a group of two shapes inside the root, read through a drawing of its own
    const QByteArray child1 = esc(0xF, 0, 0xF004, esc(2, 1, 0xF00A, u32(0x403) + u32(0x0A02)) + esc(0, 0, 0xF00F, QByteArray(16, 0)));
    const QByteArray child2 = esc(0xF, 0, 0xF004, esc(2, 3, 0xF00A, u32(0x404) + u32(0x0A02)) + esc(0, 0, 0xF00F, QByteArray(16, 0)));
    const QByteArray groupSp = esc(0xF, 0, 0xF004, esc(1, 0, 0xF009, QByteArray(16, 0)) + esc(2, 0, 0xF00A, u32(0x402) + u32(0x0201)) +
                                                       esc(0, 0, 0xF010, QByteArray(18, 0)));
    const QByteArray nested = esc(0xF, 0, 0xF003, groupSp + child1 + child2);
    const QByteArray root = esc(0xF, 0, 0xF004, esc(1, 0, 0xF009, QByteArray(16, 0)) + esc(2, 0, 0xF00A, u32(0x400) + u32(5)));
    const QByteArray dg = esc(0, 1, 0xF008, u32(4) + u32(0x404));
    const QByteArray drawing = esc(0xF, 0, 0xF002, dg + esc(0xF, 0, 0xF003, root + nested));
    // split over an MSODRAWING and two CONTINUE records
    struct Source : TRecordSource {
        QList<QPair<uint16_t, QByteArray>> records;
        uint16_t PeekRecordId() override { return records.isEmpty() ? 0 : records.first().first; }
        QByteArray ReadRecord(uint16_t& id) override
        {
            auto r = records.takeFirst();
            id = r.first;
            return r.second;
        }
    } src;
    src.records = {{0x003C, drawing.mid(50, 30)}, {0x003C, drawing.mid(80)}};
    TMSOPictures group;
    TEscherDrawing d(&group);
    QList<uint32_t> seen;
    d.OnShape = [&](TShape* s) { seen << s->ShapeId; };
    d.ReadDrawing(drawing.left(50), src);
    EXPECT_EQ(seen, QList<uint32_t>({0x402, 0x403, 0x404}));
    ASSERT_EQ(d.Root.Count(), 1);
    auto* g = dynamic_cast<TShapeGroup*>(d.Root.Child(0));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Count(), 2);
    EXPECT_TRUE(dynamic_cast<TShapeChildAnchor*>(g->Child(1)));
    EXPECT_EQ(group.Dgg.Entries.size(), 1);
    EXPECT_EQ(group.Dgg.Entries[0].Drawing, &d);
}

namespace {

// The records of the first worksheet of a file from its first MSODRAWING to the last drawing,
// OBJ, TXO, NOTE or chart record before the sheet's EOF.
QByteArray drawingRecordsOf(const QString& path)
{
    TXLSStream st;
    st.Open(path);
    QByteArray all, kept;
    int bofs = 0;
    bool in = false, chart = false;
    uint16_t id, len;
    while (st.ReadHeader(id, len) == 4) {
        QByteArray b(len, 0);
        st.ReadBody(reinterpret_cast<uint8_t*>(b.data()), len);
        if (id == 0x0809) ++bofs;
        if (bofs < 2) continue;
        if (id == 0x0809 && bofs > 2) chart = true;
        if (id == 0x000A && !chart) break;
        if (id == 0x00EC) in = true;
        if (!in) continue;
        all += rec(id, b);
        if (chart || id == 0x00EC || id == 0x005D || id == 0x01B6 || id == 0x003C || id == 0x001C || id == 0x000A) kept = all;
        if (id == 0x000A) chart = false;
    }
    return kept;
}

void expectSameChartTree(const TChartRecord& a, const TChartRecord& b)
{
    ASSERT_EQ(a.Count(), b.Count()) << a.Id;
    for (int i = 0; i < a.Count(); ++i) {
        const TChartRecord &x = *a.Child(i), &y = *b.Child(i);
        EXPECT_EQ(x.Id, y.Id);
        EXPECT_EQ(x.Data, y.Data) << x.Id;
        EXPECT_EQ(x.Font, y.Font) << x.Id;
        expectSameChartTree(x, y);
    }
}

void expectSameShape(const TShape& a, const TShape& b)
{
    EXPECT_EQ(a.ShapeId, b.ShapeId);
    EXPECT_EQ(a.ShapeType, b.ShapeType);
    EXPECT_EQ(a.Flags, b.Flags);
    EXPECT_TRUE(a.Opt == b.Opt) << a.ShapeId;
    EXPECT_EQ(a.Other ? a.Other->WriteAll() : QByteArray(), b.Other ? b.Other->WriteAll() : QByteArray());
    if (auto* ca = dynamic_cast<const TShapeClientAnchor*>(&a)) {
        auto* cb = dynamic_cast<const TShapeClientAnchor*>(&b);
        ASSERT_TRUE(cb);
        EXPECT_TRUE(std::equal(std::begin(ca->Anchor), std::end(ca->Anchor), std::begin(cb->Anchor)));
    }
    ASSERT_EQ(a.ObjRecords.Count(), b.ObjRecords.Count());
    for (int i = 0; i < a.ObjRecords.Count(); ++i) {
        EXPECT_EQ(a.ObjRecords.Item(i)->Id, b.ObjRecords.Item(i)->Id);
        EXPECT_EQ(a.ObjRecords.Item(i)->Data, b.ObjRecords.Item(i)->Data);
    }
    EXPECT_EQ(a.ObjectType(), b.ObjectType());
    EXPECT_EQ(a.ObjectId(), b.ObjectId());
    if (auto* t = a.Text()) {
        ASSERT_TRUE(b.Text());
        EXPECT_EQ(t->Text, b.Text()->Text);
        EXPECT_EQ(t->Runs, b.Text()->Runs);
        EXPECT_EQ(t->Txo, b.Text()->Txo);
    }
    if (auto* n = dynamic_cast<const TShapeOutsideMsoNote*>(a.Side.get())) {
        auto* m = dynamic_cast<const TShapeOutsideMsoNote*>(b.Side.get());
        ASSERT_TRUE(m);
        EXPECT_EQ(n->Author, m->Author);
        EXPECT_EQ(n->Col, m->Col);
        EXPECT_EQ(n->Row, m->Row);
    }
    if (auto* l = dynamic_cast<const TShapeControlListBox*>(a.Side.get())) {
        auto* m = dynamic_cast<const TShapeControlListBox*>(b.Side.get());
        ASSERT_TRUE(m);
        EXPECT_EQ(l->CellLink, m->CellLink);
        EXPECT_EQ(l->Source, m->Source);
        EXPECT_EQ(l->Sbs, m->Sbs);
    }
    if (auto* l = dynamic_cast<const TShapeControlButton*>(a.Side.get())) {
        auto* m = dynamic_cast<const TShapeControlButton*>(b.Side.get());
        ASSERT_TRUE(m);
        EXPECT_EQ(l->Macro, m->Macro);
    }
    if (auto* c = dynamic_cast<const TShapeOutsideMsoChart*>(a.Side.get())) {
        auto* d = dynamic_cast<const TShapeOutsideMsoChart*>(b.Side.get());
        ASSERT_TRUE(d);
        ASSERT_EQ(bool(c->Root), bool(d->Root));
        if (c->Root) expectSameChartTree(*c->Root, *d->Root);
    }
}

}   // namespace

TEST(XlsSheetDrawing, WrittenDrawingsReadBackAlike)
{
    for (const char* file : {"drawing-shapes.xls", "drawing-controls.xls", "drawing-charts.xls"}) {
        SCOPED_TRACE(file);
        Loaded l;
        loadFile(l, file);
        TEscherDrawing& d = l.book.Sheets()[0]->Drawing();
        const QByteArray written = d.WriteRecords();
        RecordList src(written);
        uint16_t id;
        const QByteArray first = src.ReadRecord(id);
        ASSERT_EQ(id, 0x00EC);
        TEscherDrawing back(&l.book.MSOPictures());
        back.Fonts = &l.book.Fonts();
        back.ReadDrawing(first, src);
        // what is left are the NOTE records
        while (src.Left() > 0) {
            const QByteArray n = src.ReadRecord(id);
            ASSERT_EQ(id, 0x001C);
            const auto* p = reinterpret_cast<const uint8_t*>(n.constData());
            back.AttachNote(GetWord(p + 2), GetWord(p), ReadBIFFString(p + 10, n.size() - 10, GetWord(p + 8)), GetWord(p + 6), GetWord(p + 4));
        }
        EXPECT_EQ(back.DrawingId, d.DrawingId);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(back.DG), 8), QByteArray(reinterpret_cast<const char*>(d.DG), 8));
        ASSERT_EQ(back.Root.Count(), d.Root.Count());
        for (int i = 0; i < d.Root.Count(); ++i) expectSameShape(*d.Root.Child(i), *back.Root.Child(i));
        // LibreOffice writes the records in the writer's order; the bytes differ only where the
        // writer has its own form: texts as UTF-16, a list box's list data with its real length
        const QByteArray original = drawingRecordsOf(dataDir + file);
        auto ids = [](const QByteArray& records) {
            QList<uint16_t> out;
            RecordList r(records);
            uint16_t i;
            while (r.Left() > 0) r.ReadRecord(i), out << i;
            return out;
        };
        EXPECT_EQ(ids(written), ids(original));
        if (QLatin1String(file) == QLatin1String("drawing-charts.xls")) EXPECT_EQ(written.toHex(), original.toHex());
    }
}

TEST(XlsSheetDrawing, ItemsMadeInCode)
{
    TXLSBook book;
    TSheet* s = book.Sheets()[0];
    TEscherDrawing& d = s->Drawing();
    d.NewTextId = [] { return 4242; };
    TDrawingObjects& o = s->DrawingObjects();
    TControlObjects& c = s->ControlsObjects();

    TDrwText* text = o.Texts.Add();
    // the first shape registers the drawing: cluster 1, the root as patriarch of the first block
    EXPECT_EQ(d.DrawingId, 1u);
    EXPECT_EQ(d.Root.Flags, 0x05u);
    EXPECT_EQ(d.Root.ShapeId, 1024u);
    ASSERT_EQ(book.MSOPictures().Dgg.Entries.size(), 1);
    EXPECT_EQ(book.MSOPictures().DefaultOpt.Value(385), 0x8000041);
    EXPECT_EQ(text->Shape()->ShapeId, 1025u);
    EXPECT_EQ(text->Shape()->ShapeType, 202u);
    EXPECT_EQ(text->Shape()->Opt.TextId(), 4242);
    EXPECT_EQ(text->Shape()->ObjectType(), 6);
    EXPECT_EQ(text->Shape()->ObjectId(), 1);
    EXPECT_EQ(text->Col2(), 3);
    EXPECT_EQ(text->Row2(), 5);
    text->SetText(QString(40000, 'a'));
    EXPECT_EQ(text->Text().size(), 32767);
    text->SetText("Hallo");

    TDrwNote* note = o.Notes.Add();
    EXPECT_EQ(note->Shape()->ObjectType(), 25);
    EXPECT_EQ(GetWord(note->Shape()->ObjRecords.Item(0)->Bytes() + 4), 0x4011);
    EXPECT_EQ(note->Shape()->ObjRecords.Item(1)->Id, 0x0D);
    note->SetText("Notiz");
    note->SetAuthor("Tester");
    note->SetCellCol(2);
    note->SetCellRow(3);
    const int fontIndex = GetWord(reinterpret_cast<const uint8_t*>(note->Shape()->Text()->Runs.constData()) + 2);
    ASSERT_TRUE(book.Fonts().Item(fontIndex));
    EXPECT_EQ(book.Fonts().Item(fontIndex)->Size20, 160);

    TDrwBasic* line = o.Basics.Add();
    EXPECT_EQ(line->ShapeType(), bstLine);
    line->SetShapeType(bstArrow);
    EXPECT_EQ(line->Shape()->ShapeType, 13u);
    EXPECT_EQ(line->Shape()->ObjectType(), 1);
    EXPECT_EQ(o.AutoShapes.Add()->ShapeType(), astSun);
    TDrwPicture* pic = o.Pictures.Add();
    EXPECT_EQ(pic->PictureId(), 0);
    EXPECT_EQ(pic->PictureName(), "[???]");
    // no picture in the workbook: every id but 0 is out of range
    try {
        pic->SetPictureId(1);
        ADD_FAILURE();
    } catch (const EXLSError& e) {
        EXPECT_EQ(e.message(), "Picture Id out of range.");
    }
    TControlListBox* list = c.ListBoxes.Add();
    EXPECT_EQ(list->DestCell(), "$B$2");
    EXPECT_EQ(list->SourceArea(), "$A$1:$A$6");
    EXPECT_TRUE(list->Control()->Changed);
    TControlComboBox* combo = c.ComboBoxes.Add();
    EXPECT_EQ(combo->Row2(), combo->Row1() + 1);
    TControlButton* button = c.Buttons.Add();
    EXPECT_EQ(button->Text(), "Button");
    EXPECT_EQ(button->MacroName(), "");
    TDrwChart* chart = s->Charts().Add();
    EXPECT_EQ(chart->Shape()->ObjectType(), 5);
    EXPECT_FALSE(chart->Root());
    // ids go on one by one
    EXPECT_EQ(d.Root.Count(), 9);
    EXPECT_EQ(d.Root.Child(8)->ShapeId, 1033u);
    EXPECT_EQ(d.LastObjectId, 9);
    EXPECT_EQ(d.LastShapeId(), 1033u);

    // written and read again: the same shapes, texts and control data; the TXO's text length and
    // the closing run are the writer's, so a second round gives the first exactly
    auto roundTrip = [&](const TEscherDrawing& from, TEscherDrawing& to) {
        RecordList src(from.WriteRecords());
        uint16_t id;
        const QByteArray first = src.ReadRecord(id);
        to.Fonts = &book.Fonts();
        to.ReadDrawing(first, src);
        while (src.Left() > 0) {
            const QByteArray n = src.ReadRecord(id);
            ASSERT_EQ(id, 0x001C);
            const auto* p = reinterpret_cast<const uint8_t*>(n.constData());
            to.AttachNote(GetWord(p + 2), GetWord(p), ReadBIFFString(p + 10, n.size() - 10, GetWord(p + 8)), GetWord(p + 6), GetWord(p + 4));
        }
    };
    TMSOPictures group;
    TEscherDrawing once(&group), twice(&group);
    roundTrip(d, once);
    roundTrip(once, twice);
    ASSERT_EQ(once.Root.Count(), d.Root.Count());
    ASSERT_EQ(twice.Root.Count(), d.Root.Count());
    for (int i = 0; i < d.Root.Count(); ++i) {
        const TShape &a = *d.Root.Child(i), &b = *once.Root.Child(i);
        EXPECT_EQ(a.ShapeId, b.ShapeId);
        EXPECT_EQ(a.ShapeType, b.ShapeType);
        EXPECT_TRUE(a.Opt == b.Opt);
        EXPECT_EQ(a.ObjectType(), b.ObjectType());
        EXPECT_EQ(a.ObjectId(), b.ObjectId());
        EXPECT_EQ(a.Text() ? a.Text()->Text : QString(), b.Text() ? b.Text()->Text : QString());
        expectSameShape(b, *twice.Root.Child(i));
    }
    auto* backNote = dynamic_cast<TShapeOutsideMsoNote*>(once.Root.Child(1)->Side.get());
    ASSERT_TRUE(backNote);
    EXPECT_EQ(backNote->Author, "Tester");
    EXPECT_EQ(backNote->Col, 2);
    auto* backList = dynamic_cast<TShapeControlListBox*>(once.Root.Child(5)->Side.get());
    ASSERT_TRUE(backList);
    EXPECT_EQ(backList->CellLink, list->Control()->CellLink);
    EXPECT_EQ(backList->Source, list->Control()->Source);

    // clearing a collection removes its shapes; the last shape gone, the drawing leaves the group
    o.Clear();
    c.Clear();
    s->Charts().Clear();
    EXPECT_EQ(d.Root.Count(), 0);
    EXPECT_EQ(book.MSOPictures().Dgg.Entries.size(), 0);
}

TEST(XlsSheetDrawing, ShapesCopied)
{
    TXLSBook book;
    TEscherDrawing& d = book.Sheets()[0]->Drawing();
    int nextText = 100;
    d.NewTextId = [&] { return nextText++; };
    TShapeClientAnchor* text = d.AddTextBox();
    text->Text()->Text = "Hallo";
    text->Anchor[1] = 7;
    TShapeClientAnchor copy;
    copy.ShapeId = d.NextShapeId();
    AssignShape(copy, *text, d);
    EXPECT_EQ(copy.ShapeType, 202u);
    EXPECT_EQ(copy.Anchor[1], 7);
    EXPECT_EQ(copy.Text()->Text, "Hallo");
    EXPECT_EQ(copy.Opt.TextId(), 101);   // a new text id
    EXPECT_EQ(copy.ObjRecords.Count(), text->ObjRecords.Count());
    text->Text()->Text = "geändert";
    EXPECT_EQ(copy.Text()->Text, "Hallo");   // its own side data

    // a group copies its children with new shape ids
    TShapeGroup group(&d);
    group.Flags = 0x201;
    for (int i = 0; i < 2; ++i) {
        auto c = std::make_unique<TShapeChildAnchor>();
        c->ShapeId = 5000 + i;
        c->Anchor[0] = 10 * i;
        group.Children.push_back(std::move(c));
    }
    TShapeGroup groupCopy(&d);
    AssignShape(groupCopy, group, d);
    ASSERT_EQ(groupCopy.Count(), 2);
    EXPECT_EQ(groupCopy.Child(0)->ShapeId, d.LastShapeId() - 1);
    EXPECT_EQ(groupCopy.Child(1)->ShapeId, d.LastShapeId());
    EXPECT_EQ(static_cast<TShapeChildAnchor*>(groupCopy.Child(1))->Anchor[0], 10);

    // what cannot be copied
    TShapeGroup withClient(&d);
    withClient.Children.push_back(std::make_unique<TShapeClientAnchor>());
    TShapeClientAnchor* list = d.AddListBox();
    TShapeGroup withPlain(&d);
    withPlain.Children.push_back(std::make_unique<TShape>());
    const struct { std::function<void()> call; const char* error; } cases[] = {
        {[&] { TShapeGroup g(&d); AssignShape(g, withPlain, d); }, "Dont know how to Copy this shape"},
        {[&] { TShapeGroup g(&d); AssignShape(g, withClient, d); }, "ClientAnchor in ShapeGroup"},
        {[&] { TShapeClientAnchor t; AssignShape(t, *list, d); }, "Can not assign this interface"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.error;
        } catch (const EXLSError& e) {
            EXPECT_EQ(e.message(), c.error);
        }
    }
}
