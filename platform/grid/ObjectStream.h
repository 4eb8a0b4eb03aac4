#pragma once
// The class registry: components that stored forms and streams create by their class name.
#include <QString>
#include <functional>
#include <stdexcept>

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

} // namespace tk
