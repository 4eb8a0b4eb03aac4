#include "platform/grid/Toolkit.h"

#include <QPainter>
#include <QRegularExpression>

namespace tk {

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= ssShift;
    if (modifiers & Qt::AltModifier) s |= ssAlt;
    if (modifiers & Qt::ControlModifier) s |= ssCtrl;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

// ------------------------------------------------------------------ TFreeNotifier

TFreeNotifier::~TFreeNotifier()
{
    auto notifies = std::move(m_notifies);
    for (auto& n : notifies)
        if (n.second)
            n.second(this);
}

void TFreeNotifier::FreeNotification(const void* subscriber, std::function<void(TFreeNotifier*)> onFree)
{
    for (auto& n : m_notifies)
        if (n.first == subscriber) {
            n.second = std::move(onFree);
            return;
        }
    m_notifies.emplace_back(subscriber, std::move(onFree));
}

void TFreeNotifier::RemoveFreeNotification(const void* subscriber)
{
    std::erase_if(m_notifies, [&](const auto& n) { return n.first == subscriber; });
}

// ------------------------------------------------------------------ TFont

TFont::TFont()
{
    m_font = QFont();
}

void TFont::SetFont(const QFont& font)
{
    if (font == m_font)
        return;
    m_font = font;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    Changed();
}

void TFont::SetHeight(int height)
{
    QFont f = m_font;
    if (height < 0)
        f.setPixelSize(-height);
    else if (height > 0)
        f.setPixelSize(height);
    SetFont(f);
}

void TFont::SetName(const QString& family)
{
    QFont f = m_font;
    f.setFamily(family);
    SetFont(f);
}

void TFont::Assign(const TFont& other)
{
    if (other == *this)
        return;
    m_font = other.m_font;
    m_color = other.m_color;
    Changed();
}

void TFont::Changed()
{
    if (OnChange)
        OnChange(this);
}

// ------------------------------------------------------------------ TStringList

void TStringList::SetStrings(int i, const QString& s)
{
    if (i < 0 || i >= m_items.size())
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(i));
    m_items[i] = s;
    Changed();
}

int TStringList::Add(const QString& s)
{
    m_items.append(s);
    m_objects.push_back(nullptr);
    Changed();
    return int(m_items.size()) - 1;
}

void TStringList::Insert(int index, const QString& s)
{
    if (index < 0 || index > m_items.size())
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_items.insert(index, s);
    m_objects.insert(m_objects.begin() + index, nullptr);
    Changed();
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= m_items.size())
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_items.removeAt(index);
    m_objects.erase(m_objects.begin() + index);
    Changed();
}

void TStringList::Clear()
{
    if (m_items.isEmpty())
        return;
    m_items.clear();
    m_objects.clear();
    Changed();
}

int TStringList::IndexOf(const QString& s) const
{
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items[i].compare(s, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TStringList::Text() const
{
    QString t;
    for (const QString& s : m_items)
        t += s + QStringLiteral("\r\n");
    return t;
}

void TStringList::SetText(const QString& text)
{
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    m_items = lines;
    m_objects.assign(size_t(lines.size()), nullptr);
    Changed();
}

void TStringList::Assign(const TStringList& other)
{
    m_items = other.m_items;
    m_objects = other.m_objects;
    Changed();
}

void TStringList::SetObjects(int i, TObject* object)
{
    if (i < 0 || i >= m_items.size())
        throw EInvalidGridOperation(QStringLiteral("List index out of bounds (%1)").arg(i));
    m_objects[size_t(i)] = object;
}

int TStringList::AddObject(const QString& s, TObject* object)
{
    m_items.append(s);
    m_objects.push_back(object);
    Changed();
    return int(m_items.size()) - 1;
}

// ------------------------------------------------------------------ TImageList

int TImageList::Add(const QImage& image)
{
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    if (img.width() != m_width || img.height() != m_height)
        img = img.scaled(m_width, m_height);
    m_images.push_back(img);
    if (OnChange)
        OnChange(this);
    return Count() - 1;
}

void TImageList::AddMasked(const QImage& strip, TColor maskColor)
{
    const QImage masked = MakeTransparent(strip.convertToFormat(QImage::Format_ARGB32),
                                          QColor(gfx::RValue(maskColor), gfx::GValue(maskColor), gfx::BValue(maskColor)));
    for (int x = 0; x + m_width <= masked.width(); x += m_width)
        m_images.push_back(masked.copy(x, 0, m_width, m_height));
    if (OnChange)
        OnChange(this);
}

void TImageList::Clear()
{
    m_images.clear();
    if (OnChange)
        OnChange(this);
}

void TImageList::Draw(QPainter& painter, int x, int y, int index, bool enabled, const QColor& blendColor) const
{
    if (index < 0 || index >= Count())
        return;
    const QImage& img = m_images[size_t(index)];
    if (enabled || !blendColor.isValid()) {
        painter.drawImage(x, y, img);
        return;
    }
    // Disabled: half blended with the background colour, keeping the transparency.
    QImage blended = img;
    for (int yy = 0; yy < blended.height(); ++yy) {
        QRgb* line = reinterpret_cast<QRgb*>(blended.scanLine(yy));
        for (int xx = 0; xx < blended.width(); ++xx) {
            const QRgb p = line[xx];
            line[xx] = qRgba((qRed(p) + blendColor.red()) / 2, (qGreen(p) + blendColor.green()) / 2,
                             (qBlue(p) + blendColor.blue()) / 2, qAlpha(p));
        }
    }
    painter.drawImage(x, y, blended);
}

QImage MakeTransparent(const QImage& image, const QColor& color)
{
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = color.rgb() & 0xFFFFFF;
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
    }
    return img;
}

} // namespace tk
