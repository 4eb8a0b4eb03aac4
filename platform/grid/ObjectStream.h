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
// A stored component is "TPF0", the class name, the object name, its properties and an end mark.
// A property is its name and a tagged value; the properties of an owned sub-object (a QObject*
// property) are written with dotted names ("CellNode.NodeIndent"). Which properties a class has
// comes from its Qt properties; a property whose value equals that of a freshly created instance
// (the stream default) is not written, unless the class names it in its "QlyAlwaysStored" class
// info (a comma-separated list). Enumerations are written by their identifiers.
// Values a class keeps outside its properties are written through DefineProperties.

class TWriter;
class TReader;

// Optional hooks of a streamed object (or sub-object).
class TStreamHooks {
public:
    virtual ~TStreamHooks() = default;
    // Values kept outside the Qt properties: `filer` asks for each by name.
    virtual void DefineProperties(class TFiler& filer) { (void)filer; }
    // Called on the created component once its properties are read.
    virtual void Loaded() {}
};

// A value stored under a name of its own: a list of strings or a block of bytes.
class TFiler {
public:
    virtual ~TFiler() = default;
    // Stores / reads a list of strings under `name`. `hasData` says whether there is anything to
    // store (ignored when reading).
    virtual void DefineStrings(const QString& name, const std::function<QStringList()>& write,
                               const std::function<void(const QStringList&)>& read, bool hasData) = 0;
};

class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

// Writes a component (defaults left out).
QByteArray WriteComponent(const QObject* component);
// Creates the component named in the stream, reads its properties and calls its Loaded hook. A
// stream that ends early or does not fit raises EReadError (or EClassNotFound) and leaves nothing
// behind.
QObject* ReadComponent(const QByteArray& data, QWidget* parent = nullptr);

} // namespace tk
