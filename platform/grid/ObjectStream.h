#pragma once
// The class registry: components that stored forms and streams create by their class name.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <stdexcept>
#include <vector>

class QObject;
class QWidget;
struct QMetaObject;

namespace tk {

// Errors of the registry and of component streams.
class EFilerError : public std::runtime_error {
public:
    explicit EFilerError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

class EClassNotFound : public EFilerError {
public:
    using EFilerError::EFilerError;
};

// Builds a new instance with the given parent (may be null).
using TComponentFactory = std::function<QObject*(QWidget* parent)>;

// Registers a class under its name. Registering the same class (same meta object) again changes
// nothing; another class under a registered name raises EFilerError
// "A class named <name> already exists".
void RegisterClass(const QString& name, const QMetaObject* meta, TComponentFactory factory);
template <class T>
void RegisterClass(const QString& name)
{
    RegisterClass(name, &T::staticMetaObject, [](QWidget* parent) -> QObject* { return new T(parent); });
}
void UnRegisterClass(const QString& name);
// The meta object registered under a name (ignoring case), or null.
const QMetaObject* GetClass(const QString& name);
// Creates an instance of a registered class; raises EClassNotFound "Class <name> not found".
QObject* CreateComponent(const QString& name, QWidget* parent = nullptr);

// ------------------------------------------------------------------ component stream
//
// A stored component is "TPF0", the class name, the object name, its properties, an end mark, its
// child components (each stored the same way) and a second end mark.
// A property is its name and a tagged value. Which properties a class has comes from its Qt
// properties; a property whose value equals that of a freshly created instance (the stream default)
// is not written, unless the class names it in its "QlyAlwaysStored" class info (a comma-separated
// list). Enumerations and sets are written by their identifiers.
// - A read-only QObject* property is an owned sub-object: its properties are written with dotted
//   names ("CellNode.NodeIndent").
// - A writable QObject* property refers to a component it does not own: it is written as that
//   component's name (nothing when the reference is empty or the component has no name) and set
//   once the whole stream is read, to the component of that name found in the component read, its
//   children, or its parent and the parent's children; it stays empty when none has that name.
// - A tk::TFont property is written as its parts with dotted names: Color, Height (a font sized in
//   pixels, negative) or Size (in points), Name and Style (a set of fsBold, fsItalic, fsUnderline,
//   fsStrikeOut).
// - Values a class keeps outside its properties (lists, collections) are written through
//   DefineProperties.
// - Children: the QObject children of a registered class that have a name.

class TWriter;
class TReader;

// Optional hooks of a streamed object (or sub-object).
class TStreamHooks {
public:
    virtual ~TStreamHooks() = default;
    // Values kept outside the Qt properties: `filer` asks for each by name.
    virtual void DefineProperties(class TFiler& filer) { (void)filer; }
    // Called on every component read from a stream once the whole stream is read and its
    // references are set (the outermost component first, then its children in stream order).
    virtual void Loaded() {}
};

// The items of a collection: values of a Q_GADGET class, reached through these functions.
struct TCollectionItems {
    const QMetaObject* itemClass = nullptr;
    std::function<int()> count;
    std::function<const void*(int index)> item;
    std::function<void*()> add;      // appends a default item and answers it
    std::function<void()> clear;
};

// A value stored under a name of its own: a list of strings or a collection.
class TFiler {
public:
    virtual ~TFiler() = default;
    // Stores / reads a list of strings under `name`. `hasData` says whether there is anything to
    // store (ignored when reading).
    virtual void DefineStrings(const QString& name, const std::function<QStringList()>& write,
                               const std::function<void(const QStringList&)>& read, bool hasData) = 0;
    // Stores / reads a collection under `name`: each item's properties that differ from a default
    // item's. An empty collection is not stored; reading replaces the items.
    virtual void DefineCollection(const QString& name, const TCollectionItems& items) = 0;
};

class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

// Writes a component (defaults left out) with its children.
QByteArray WriteComponent(const QObject* component);
// Creates the component named in the stream with its children, reads their properties, sets
// their references and calls their Loaded hooks. A stream that ends early or does not fit raises
// EReadError (or EClassNotFound) and leaves nothing behind.
QObject* ReadComponent(const QByteArray& data, QWidget* parent = nullptr);
// The same for one component of several stored one after another: reads from `pos` and leaves it
// after the component.
QObject* ReadComponent(const QByteArray& data, qsizetype& pos, QWidget* parent = nullptr);

} // namespace tk
