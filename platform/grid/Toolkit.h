#pragma once
// Small toolkit classes that painted controls share: shift states, the grid exception, free
// notification, a font with a colour and a change notice, a string list whose IndexOf ignores case,
// and an image list of equally sized images.
#include "platform/grid/GridColors.h"
#include <QFont>
#include <QImage>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

class QPainter;
class QKeyEvent;
class QMouseEvent;

namespace tk {

// Stores a new property value; true when it differs from the old one (the caller then refreshes).
template <class T>
bool ChangeValue(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// ------------------------------------------------------------------ shift state

enum TShiftFlag { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = int;

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = Qt::NoButton);

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// ------------------------------------------------------------------ errors

class EInvalidGridOperation : public std::runtime_error {
public:
    explicit EInvalidGridOperation(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

// ------------------------------------------------------------------ free notification

// An object others may hold a pointer to: each subscriber is told when it goes away.
class TFreeNotifier {
public:
    TFreeNotifier() = default;
    TFreeNotifier(const TFreeNotifier&) = delete;
    TFreeNotifier& operator=(const TFreeNotifier&) = delete;
    virtual ~TFreeNotifier();

    void FreeNotification(const void* subscriber, std::function<void(TFreeNotifier*)> onFree);
    void RemoveFreeNotification(const void* subscriber);

private:
    std::vector<std::pair<const void*, std::function<void(TFreeNotifier*)>>> m_notifies;
};

// ------------------------------------------------------------------ font

// A QFont with a colour; every change raises OnChange.
class TFont {
public:
    TFont();
    TFont(const TFont& other) : m_font(other.m_font), m_color(other.m_color) {}
    TFont& operator=(const TFont& other) { Assign(other); return *this; }

    const QFont& Font() const { return m_font; }
    void SetFont(const QFont& font);
    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    // The toolkit's Height: negative = pixel size of the characters.
    void SetHeight(int height);
    void SetName(const QString& family);
    void Assign(const TFont& other);
    bool operator==(const TFont& other) const { return m_font == other.m_font && m_color == other.m_color; }

    std::function<void(TFont*)> OnChange;

private:
    void Changed();
    QFont m_font;
    TColor m_color = gfx::clWindowText;
};

// ------------------------------------------------------------------ objects

// The base of objects kept beside texts (string list items, grid cells).
class TObject {
public:
    virtual ~TObject() = default;
};

// ------------------------------------------------------------------ strings

// Strings with an object per item (not owned).
class TStringList {
public:
    int Count() const { return int(m_items.size()); }
    QString operator[](int i) const { return m_items.value(i); }
    QString Strings(int i) const { return m_items.value(i); }
    void SetStrings(int i, const QString& s);
    int Add(const QString& s);
    void Insert(int index, const QString& s);
    void Delete(int index);
    void Clear();
    // Case-insensitive, like the toolkit's default string list; -1 when missing.
    int IndexOf(const QString& s) const;
    // Lines joined by "\r\n" (each line followed by it); setting splits at CR, LF and CR LF.
    QString Text() const;
    void SetText(const QString& text);
    const QStringList& List() const { return m_items; }
    void Assign(const TStringList& other);
    TObject* Objects(int i) const { return i >= 0 && i < int(m_objects.size()) ? m_objects[size_t(i)] : nullptr; }
    void SetObjects(int i, TObject* object);
    int AddObject(const QString& s, TObject* object);

    std::function<void(TStringList*)> OnChange;

private:
    void Changed() { if (OnChange) OnChange(this); }
    QStringList m_items;
    std::vector<TObject*> m_objects;   // one per item
};

// ------------------------------------------------------------------ image list

// Images of one size. Drawing a missing index draws nothing.
class TImageList : public TFreeNotifier {
public:
    TImageList(int width = 16, int height = 16) : m_width(width), m_height(height) {}

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return int(m_images.size()); }
    const QImage& Image(int index) const { return m_images[size_t(index)]; }

    // Adds one image (scaled to the list's size when it differs).
    int Add(const QImage& image);
    // Cuts a strip into images of the list's width; pixels of the mask colour become transparent.
    void AddMasked(const QImage& strip, TColor maskColor);
    void Clear();

    // Draws image `index` at (x, y). A disabled image is drawn blended with `blendColor`.
    void Draw(QPainter& painter, int x, int y, int index, bool enabled = true,
              const QColor& blendColor = QColor()) const;

    // Background colour of the list (clNone: images carry their own transparency).
    TColor BkColor() const { return m_bkColor; }
    void SetBkColor(TColor c) { m_bkColor = c; }

    std::function<void(TImageList*)> OnChange;

private:
    int m_width;
    int m_height;
    TColor m_bkColor = gfx::clNone;
    std::vector<QImage> m_images;
};

// The image with every pixel of `color` (RGB, alpha ignored) made transparent.
QImage MakeTransparent(const QImage& image, const QColor& color);

} // namespace tk
Q_DECLARE_METATYPE(tk::TFont)
