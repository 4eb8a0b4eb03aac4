#include "platform/grid/ObjectStream.h"

#include <QMutex>
#include <QObject>
#include <vector>

namespace tk {

namespace {
struct Entry {
    QString name;
    const QMetaObject* meta;
    TComponentFactory factory;
};
QMutex g_lock;
std::vector<Entry>& registry()
{
    static std::vector<Entry> entries;
    return entries;
}
Entry* find(const QString& name)
{
    for (Entry& e : registry())
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}
} // namespace

void RegisterClass(const QString& name, const QMetaObject* meta, TComponentFactory factory)
{
    QMutexLocker lock(&g_lock);
    if (Entry* e = find(name)) {
        if (e->meta == meta)
            return;
        throw EFilerError(QStringLiteral("A class named %1 already exists").arg(name));
    }
    registry().push_back(Entry{name, meta, std::move(factory)});
}

void UnRegisterClass(const QString& name)
{
    QMutexLocker lock(&g_lock);
    auto& r = registry();
    for (auto it = r.begin(); it != r.end(); ++it)
        if (it->name.compare(name, Qt::CaseInsensitive) == 0) {
            r.erase(it);
            return;
        }
}

const QMetaObject* GetClass(const QString& name)
{
    QMutexLocker lock(&g_lock);
    const Entry* e = find(name);
    return e ? e->meta : nullptr;
}

QObject* CreateComponent(const QString& name, QWidget* parent)
{
    TComponentFactory factory;
    {
        QMutexLocker lock(&g_lock);
        const Entry* e = find(name);
        if (!e)
            throw EClassNotFound(QStringLiteral("Class %1 not found").arg(name));
        factory = e->factory;
    }
    return factory(parent);
}

} // namespace tk
