// The family's private clipboard form: cells with their properties and graphics as a sequence of
// component-stream records.
#include "grid/ZodUvuz.h"

#include "grid/GridStartup.h"
#include "platform/grid/ObjectStream.h"
#include "platform/grid/WinCompat.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <QRandomGenerator>
#include <cmath>
#include <mutex>

namespace grid {

// ------------------------------------------------------------------ records

class TGridPropIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ColCount MEMBER ColCount)
    Q_PROPERTY(int RowCount MEMBER RowCount)
    Q_PROPERTY(QString ColWidths MEMBER ColWidths)
    Q_PROPERTY(QString RowHeights MEMBER RowHeights)
    Q_PROPERTY(bool FullGrid MEMBER FullGrid)
    Q_PROPERTY(int ID MEMBER ID)
    Q_PROPERTY(int Left MEMBER Left)
    Q_PROPERTY(int Top MEMBER Top)
public:
    explicit TGridPropIO(QWidget* parent = nullptr) : QObject(parent) {}
    int ColCount = 0;
    int RowCount = 0;
    QString ColWidths;
    QString RowHeights;
    bool FullGrid = false;
    int ID = 0;
    int Left = 0;
    int Top = 0;
};

class TGridCellIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Col MEMBER Col)
    Q_PROPERTY(int Row MEMBER Row)
    Q_PROPERTY(QString Cell MEMBER Cell)
    Q_PROPERTY(bool HasProp MEMBER HasProp)
public:
    explicit TGridCellIO(QWidget* parent = nullptr) : QObject(parent) {}
    int Col = 0;
    int Row = 0;
    QString Cell;
    bool HasProp = false;
};

// The published values of a cell's properties.
class TCellPropertiesIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool IsBaseCell MEMBER IsBaseCell)
    Q_PROPERTY(int CellSpanX MEMBER CellSpanX)
    Q_PROPERTY(int CellSpanY MEMBER CellSpanY)
    Q_PROPERTY(int OwnerCol MEMBER OwnerCol)
    Q_PROPERTY(int OwnerRow MEMBER OwnerRow)
    Q_PROPERTY(grid::TAlignment Alignment MEMBER Alignment)
    Q_PROPERTY(int BorderColor MEMBER BorderColor)
    Q_PROPERTY(int BorderWidth MEMBER BorderWidth)
    Q_PROPERTY(int BrushColor MEMBER BrushColor)
    Q_PROPERTY(int BrushColorTo MEMBER BrushColorTo)
    Q_PROPERTY(grid::TBrushStyle BrushStyle MEMBER BrushStyle)
    Q_PROPERTY(int FontColor MEMBER FontColor)
    Q_PROPERTY(QString FontName MEMBER FontName)
    Q_PROPERTY(int FontSize MEMBER FontSize)
    Q_PROPERTY(int FontStyle MEMBER FontStyle)
    Q_PROPERTY(grid::TEditorType Editor MEMBER Editor)
    Q_PROPERTY(bool ReadOnly MEMBER ReadOnly)
    Q_PROPERTY(grid::TVAlignment VAlignment MEMBER VAlignment)
    Q_PROPERTY(bool WordWrap MEMBER WordWrap)
    Q_PROPERTY(int NodeLevel MEMBER NodeLevel)
public:
    explicit TCellPropertiesIO(QObject* parent = nullptr) : QObject(parent) {}
    bool IsBaseCell = true;
    int CellSpanX = -1;
    int CellSpanY = -1;
    int OwnerCol = 0;
    int OwnerRow = 0;
    TAlignment Alignment = taLeftJustify;
    int BorderColor = 0;
    int BorderWidth = 0;
    int BrushColor = gfx::clNone;
    int BrushColorTo = gfx::clNone;
    TBrushStyle BrushStyle = bsSolid;
    int FontColor = gfx::clNone;
    QString FontName;
    int FontSize = 0;
    int FontStyle = 0;
    TEditorType Editor = edNormal;
    bool ReadOnly = false;
    TVAlignment VAlignment = vtaTop;
    bool WordWrap = true;
    int NodeLevel = 0;

    void From(const TCellProperties& p)
    {
        IsBaseCell = p.IsBaseCell;
        CellSpanX = p.CellSpanX;
        CellSpanY = p.CellSpanY;
        OwnerCol = p.OwnerCol;
        OwnerRow = p.OwnerRow;
        Alignment = p.Alignment;
        BorderColor = int(p.BorderColor);
        BorderWidth = p.BorderWidth;
        BrushColor = int(p.BrushColor());
        BrushColorTo = int(p.BrushColorTo());
        BrushStyle = p.BrushStyle;
        FontColor = int(p.FontColor);
        FontName = p.FontName;
        FontSize = p.FontSize;
        FontStyle = p.FontStyle;
        Editor = p.Editor;
        ReadOnly = p.ReadOnly;
        VAlignment = p.VAlignment();
        WordWrap = p.WordWrap();
        NodeLevel = p.NodeLevel;
    }
    void To(TCellProperties& p) const
    {
        p.IsBaseCell = IsBaseCell;
        p.CellSpanX = CellSpanX;
        p.CellSpanY = CellSpanY;
        p.Alignment = Alignment;
        p.BorderColor = TColor(BorderColor);
        p.BorderWidth = BorderWidth;
        p.SetBrushColor(TColor(BrushColor));
        p.SetBrushColorTo(TColor(BrushColorTo));
        p.BrushStyle = BrushStyle;
        p.FontColor = TColor(FontColor);
        p.FontName = FontName;
        p.FontSize = FontSize;
        p.FontStyle = FontStyle;
        p.Editor = Editor;
        p.ReadOnly = ReadOnly;
        p.SetVAlignment(VAlignment);
        p.SetWordWrap(WordWrap);
        p.NodeLevel = NodeLevel;
    }
};

class TGridCellPropIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* CellProperties READ CellProperties)
    Q_PROPERTY(bool HasGraphic MEMBER HasGraphic)
public:
    explicit TGridCellPropIO(QWidget* parent = nullptr) : QObject(parent), Props(new TCellPropertiesIO(this)) {}
    QObject* CellProperties() const { return Props; }
    TCellPropertiesIO* Props;
    bool HasGraphic = false;
};

// The published values of a cell graphic.
class TCellGraphicIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(grid::TCellType CellType MEMBER CellType)
    Q_PROPERTY(grid::TCellVAlign CellVAlign MEMBER CellVAlign)
    Q_PROPERTY(grid::TCellHAlign CellHAlign MEMBER CellHAlign)
    Q_PROPERTY(int CellIndex MEMBER CellIndex)
    Q_PROPERTY(bool CellTransparent MEMBER CellTransparent)
    Q_PROPERTY(bool CellCreated MEMBER CellCreated)
    Q_PROPERTY(bool CellBoolean MEMBER CellBoolean)
    Q_PROPERTY(int CellAngle MEMBER CellAngle)
    Q_PROPERTY(double CellValue MEMBER CellValue)
    Q_PROPERTY(int CellErrFrom MEMBER CellErrFrom)
    Q_PROPERTY(int CellErrLen MEMBER CellErrLen)
    Q_PROPERTY(QString CellText MEMBER CellText)
public:
    explicit TCellGraphicIO(QObject* parent = nullptr) : QObject(parent) {}
    TCellType CellType = ctNone;
    TCellVAlign CellVAlign = vaTop;
    TCellHAlign CellHAlign = haLeft;
    int CellIndex = 0;
    bool CellTransparent = false;
    bool CellCreated = false;
    bool CellBoolean = false;
    int CellAngle = 0;
    double CellValue = 0;
    int CellErrFrom = 0;
    int CellErrLen = 0;
    QString CellText;
};

class TGridGraphicIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* CellGraphic READ CellGraphic)
public:
    explicit TGridGraphicIO(QWidget* parent = nullptr) : QObject(parent), Graphic(new TCellGraphicIO(this)) {}
    QObject* CellGraphic() const { return Graphic; }
    TCellGraphicIO* Graphic;
};

class TGridBMPIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QImage Bitmap MEMBER Bitmap)
public:
    explicit TGridBMPIO(QWidget* parent = nullptr) : QObject(parent) {}
    QImage Bitmap;
};

class TGridIconIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QImage Icon MEMBER Icon)
public:
    explicit TGridIconIO(QWidget* parent = nullptr) : QObject(parent) {}
    QImage Icon;
};

class TGridSLIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Strings MEMBER Strings)
public:
    explicit TGridSLIO(QWidget* parent = nullptr) : QObject(parent) {}
    QStringList Strings;
};

class TGridPicIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QImage Picture MEMBER Picture)
public:
    explicit TGridPicIO(QWidget* parent = nullptr) : QObject(parent) {}
    QImage Picture;
};

class TGridFilePicIO : public QObject {
    Q_OBJECT
    Q_PROPERTY(QImage Picture MEMBER Picture)
public:
    explicit TGridFilePicIO(QWidget* parent = nullptr) : QObject(parent) {}
    QImage Picture;
};

namespace {

void registerRecords()
{
    static std::once_flag once;
    std::call_once(once, [] {
        tk::RegisterClass<TGridPropIO>(QStringLiteral("TGridPropIO"));
        tk::RegisterClass<TGridCellIO>(QStringLiteral("TGridCellIO"));
        tk::RegisterClass<TGridCellPropIO>(QStringLiteral("TGridCellPropIO"));
        tk::RegisterClass<TGridGraphicIO>(QStringLiteral("TGridGraphicIO"));
        tk::RegisterClass<TGridBMPIO>(QStringLiteral("TGridBMPIO"));
        tk::RegisterClass<TGridIconIO>(QStringLiteral("TGridIconIO"));
        tk::RegisterClass<TGridSLIO>(QStringLiteral("TGridSLIO"));
        tk::RegisterClass<TGridPicIO>(QStringLiteral("TGridPicIO"));
        tk::RegisterClass<TGridFilePicIO>(QStringLiteral("TGridFilePicIO"));
    });
}

// The graphic types whose object the cell owns.
bool ownsObject(TCellType type)
{
    switch (type) {
    case ctBitmap: case ctIcon: case ctRadio: case ctImages: case ctPicture: case ctFilePicture: case ctBitButton:
        return true;
    default:
        return false;
    }
}

QString joinInts(const std::vector<int>& values)
{
    QStringList parts;
    parts.reserve(qsizetype(values.size()));
    for (int v : values)
        parts << QString::number(v);
    return parts.join(QLatin1Char(','));
}

// A comma list of exactly `count` numbers; false when it is not one.
bool splitInts(const QString& text, int count, std::vector<int>& values)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return false;
    values.clear();
    values.reserve(size_t(count));
    for (const QString& p : parts) {
        bool ok = false;
        values.push_back(p.toInt(&ok));
        if (!ok)
            return false;
    }
    return true;
}

[[noreturn]] void badBlock() { throw EZodUvuzError(QStringLiteral("Invalid cell data")); }

template <class T>
std::unique_ptr<T> readRecord(const QByteArray& data, qsizetype& pos)
{
    std::unique_ptr<QObject> object(tk::ReadComponent(data, pos));
    auto* record = qobject_cast<T*>(object.get());
    if (!record)
        badBlock();
    object.release();
    return std::unique_ptr<T>(record);
}

} // namespace

QString TZedEzeravIvur::CellFormMime()
{
    // The grid unit registers the format at start; a grid used without it registers it here.
    uint16_t format = GridCellsClipboardFormat();
    if (format == 0)
        format = tk::RegisterClipboardFormat(QStringLiteral("TZedEzeravIvur Cells"));
    return tk::ClipboardFormatMimeType(format);
}

int TZedEzeravIvur::ClipboardID()
{
    if (m_clipboardId == 0)
        m_clipboardId = int(QRandomGenerator::global()->bounded(1u, 0x80000000u));
    return m_clipboardId;
}

void TZedEzeravIvur::WriteCellsToStream(const tk::TGridRect& range, QIODevice& stream)
{
    registerRecords();
    QByteArray out;
    {
        TGridPropIO header;
        header.ColCount = range.Right - range.Left + 1;
        header.RowCount = range.Bottom - range.Top + 1;
        std::vector<int> widths, heights;
        for (int c = range.Left; c <= range.Right; ++c)
            widths.push_back(ColWidths(c));
        for (int r = range.Top; r <= range.Bottom; ++r)
            heights.push_back(RowHeights(r));
        header.ColWidths = joinInts(widths);
        header.RowHeights = joinInts(heights);
        const tk::TGridRect whole{0, 0, ColCount() - 1, RowCount() - 1};
        const tk::TGridRect normal{FixedCols(), FixedRows(), ColCount() - 1, RowCount() - 1};
        header.FullGrid = StoreFixedCells ? range == whole : range == normal;
        header.ID = ClipboardID();
        header.Left = range.Left;
        header.Top = range.Top;
        out += tk::WriteComponent(&header);
    }
    int lastPercent = -1;
    for (int r = range.Top; r <= range.Bottom; ++r) {
        if (OnFileProgress) {
            const int percent = int(std::lround(double(r - range.Top) / std::max(1, range.Bottom - range.Top) * 100.0));
            if (percent != lastPercent) {
                lastPercent = percent;
                OnFileProgress(this, short(percent));
            }
        }
        for (int c = range.Left; c <= range.Right; ++c) {
            const QString& text = Cells(c, r);
            const TCellProperties* props = CellPropertiesOrNull(c, r);
            if (text.isEmpty() && !props)
                continue;
            TGridCellIO cell;
            cell.Col = c;
            cell.Row = r;
            cell.Cell = text;
            cell.HasProp = props != nullptr;
            out += tk::WriteComponent(&cell);
            if (!props)
                continue;
            const TCellGraphic* g = props->Graphic.get();
            // A graphic whose object the cell does not own is left out.
            const bool hasGraphic = g && g->CellType != ctEmpty && (!ownsObject(g->CellType) || g->CellCreated);
            TGridCellPropIO prop;
            prop.Props->From(*props);
            prop.HasGraphic = hasGraphic;
            out += tk::WriteComponent(&prop);
            if (!hasGraphic)
                continue;
            TGridGraphicIO graphic;
            TCellGraphicIO& gi = *graphic.Graphic;
            gi.CellType = g->CellType;
            gi.CellVAlign = g->CellVAlign;
            gi.CellHAlign = g->CellHAlign;
            gi.CellIndex = g->CellIndex;
            gi.CellTransparent = g->CellTransparent;
            gi.CellCreated = g->CellCreated;
            gi.CellBoolean = g->CellBoolean;
            gi.CellAngle = g->CellAngle;
            gi.CellValue = g->CellValue;
            gi.CellErrFrom = g->CellErrFrom;
            gi.CellErrLen = g->CellErrLen;
            gi.CellText = g->CellText;
            out += tk::WriteComponent(&graphic);
            switch (g->CellType) {
            case ctBitmap:
            case ctBitButton: {
                TGridBMPIO rec;
                rec.Bitmap = g->Picture;
                out += tk::WriteComponent(&rec);
                break;
            }
            case ctIcon: {
                TGridIconIO rec;
                const QList<QSize> sizes = g->Icon.availableSizes();
                rec.Icon = g->Icon.pixmap(sizes.isEmpty() ? QSize(32, 32) : sizes.back()).toImage();
                out += tk::WriteComponent(&rec);
                break;
            }
            case ctRadio:
            case ctImages: {
                TGridSLIO rec;
                if (g->CellType == ctRadio)
                    rec.Strings = g->Options;
                else
                    for (int index : g->Images)
                        rec.Strings << QString::number(index);
                out += tk::WriteComponent(&rec);
                break;
            }
            case ctPicture: {
                TGridPicIO rec;
                rec.Picture = g->Picture;
                out += tk::WriteComponent(&rec);
                break;
            }
            case ctFilePicture: {
                TGridFilePicIO rec;
                rec.Picture = g->Picture;
                out += tk::WriteComponent(&rec);
                break;
            }
            default:
                break;
            }
        }
    }
    stream.write(out);
}

tk::TGridRect TZedEzeravIvur::ReadCellsFromStream(QPoint target, QIODevice& stream, int* sourceId)
{
    registerRecords();
    const QByteArray data = stream.readAll();
    qsizetype pos = 0;
    const std::unique_ptr<TGridPropIO> header = readRecord<TGridPropIO>(data, pos);
    // Everything the header says is checked before anything changes.
    std::vector<int> widths, heights;
    if (header->ColCount < 1 || header->ColCount > 65536 || header->RowCount < 1 || header->RowCount > 16777216
        || header->Left < 0 || header->Top < 0 || header->Left > 65536 || header->Top > 16777216
        || !splitInts(header->ColWidths, header->ColCount, widths)
        || !splitInts(header->RowHeights, header->RowCount, heights))
        badBlock();
    if (sourceId)
        *sourceId = header->ID;
    int dx = target.x() - header->Left;
    int dy = target.y() - header->Top;
    tk::TGridRect placed{target.x(), target.y(), target.x() + header->ColCount - 1, target.y() + header->RowCount - 1};
    if (header->FullGrid) {
        // A whole grid comes back in place.
        for (int r = 0; r < RowCount(); ++r)
            for (int c = 0; c < ColCount(); ++c)
                SetCells(c, r, QString());
        FreeCellProperties();
        SetColCount(header->Left + header->ColCount);
        SetRowCount(header->Top + header->RowCount);
        for (int i = 0; i < header->ColCount; ++i)
            SetColWidths(header->Left + i, widths[size_t(i)]);
        for (int i = 0; i < header->RowCount; ++i)
            SetRowHeights(header->Top + i, heights[size_t(i)]);
        dx = dy = 0;
        placed = tk::TGridRect{header->Left, header->Top, header->Left + header->ColCount - 1,
                               header->Top + header->RowCount - 1};
    }
    // Records follow while more than one byte remains; bytes that start no record are ignored.
    while (data.size() - pos > 1 && data.mid(pos, 4) == "TPF0") {
        const std::unique_ptr<TGridCellIO> cell = readRecord<TGridCellIO>(data, pos);
        const qint64 c = qint64(cell->Col) + dx, r = qint64(cell->Row) + dy;
        const bool inside = c >= 0 && r >= 0 && c < ColCount() && r < RowCount();
        if (inside)
            SetCells(int(c), int(r), cell->Cell);
        if (!cell->HasProp)
            continue;
        const std::unique_ptr<TGridCellPropIO> prop = readRecord<TGridCellPropIO>(data, pos);
        TCellProperties* props = inside ? GetCellProperties(int(c), int(r)) : nullptr;
        if (props)
            prop->Props->To(*props);
        if (!prop->HasGraphic)
            continue;
        const std::unique_ptr<TGridGraphicIO> graphic = readRecord<TGridGraphicIO>(data, pos);
        const TCellGraphicIO& gi = *graphic->Graphic;
        auto g = std::make_unique<TCellGraphic>();
        g->CellType = gi.CellType;
        g->CellVAlign = gi.CellVAlign;
        g->CellHAlign = gi.CellHAlign;
        g->CellIndex = gi.CellIndex;
        g->CellTransparent = gi.CellTransparent;
        g->CellCreated = gi.CellCreated;
        g->CellBoolean = gi.CellBoolean;
        g->CellAngle = gi.CellAngle;
        g->CellValue = gi.CellValue;
        g->CellErrFrom = gi.CellErrFrom;
        g->CellErrLen = gi.CellErrLen;
        g->CellText = gi.CellText;
        switch (gi.CellType) {
        case ctBitmap:
        case ctBitButton: g->Picture = readRecord<TGridBMPIO>(data, pos)->Bitmap; break;
        case ctIcon: g->Icon = QIcon(QPixmap::fromImage(readRecord<TGridIconIO>(data, pos)->Icon)); break;
        case ctRadio: g->Options = readRecord<TGridSLIO>(data, pos)->Strings; break;
        case ctImages:
            for (const QString& s : readRecord<TGridSLIO>(data, pos)->Strings)
                g->Images.push_back(s.toInt());
            break;
        case ctPicture: g->Picture = readRecord<TGridPicIO>(data, pos)->Picture; break;
        case ctFilePicture: g->Picture = readRecord<TGridFilePicIO>(data, pos)->Picture; break;
        default: break;
        }
        g->CellCreated = g->CellCreated || ownsObject(g->CellType);
        if (props)
            SetCellGraphic(int(c), int(r), std::move(g));
    }
    return placed;
}

void TZedEzeravIvur::PutCellsOnClipboard(const tk::TGridRect& range)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteCellsToStream(range, buffer);
    // The forms already on the clipboard stay.
    auto* mime = new QMimeData;
    if (const QMimeData* old = clipboardMime())
        for (const QString& format : old->formats())
            mime->setData(format, old->data(format));
    mime->setData(CellFormMime(), buffer.data());
    setClipboardMime(mime);
}

bool TZedEzeravIvur::PasteCellForm(int col, int row, int& count)
{
    const QMimeData* mime = clipboardMime();
    if (!mime || !Navigation()->AllowFmtClipboard || !mime->hasFormat(CellFormMime()))
        return false;
    QBuffer buffer;
    buffer.setData(mime->data(CellFormMime()));
    buffer.open(QIODevice::ReadOnly);
    int id = 0;
    const tk::TGridRect placed = ReadCellsFromStream(QPoint(col, row), buffer, &id);
    const bool same = id == ClipboardID();
    CellsPasted(same ? m_copyOrigin : QPoint(-1, -1), placed, m_lastTransferWasCopy);
    CellsChanged(QRect(QPoint(placed.Left, placed.Top), QPoint(placed.Right, placed.Bottom)));
    count = (placed.Right - placed.Left + 1) * (placed.Bottom - placed.Top + 1);
    return true;
}

} // namespace grid

#include "ZodUvuzCellForm.moc"
