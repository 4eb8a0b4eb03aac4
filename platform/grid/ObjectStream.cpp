#include "platform/grid/ObjectStream.h"

#include <QBuffer>
#include <QImage>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QMutex>
#include <QStringList>
#include <memory>
#include <cstring>
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

// ================================================================== component stream

namespace tk {

namespace {

// Value tags of this stream.
enum Tag : quint8 {
    tEnd = 0,
    tFalse = 0x11,
    tTrue = 0x12,
    tInt = 0x13,       // 32-bit little endian
    tInt64 = 0x14,
    tDouble = 0x15,    // IEEE 754, little endian
    tString = 0x16,    // 32-bit length in UTF-16 units, then the units
    tIdent = 0x17,     // an enumeration identifier (string)
    tStrings = 0x18,   // 32-bit count, then strings
    tBinary = 0x19,    // 32-bit length, then the bytes
    tImage = 0x1A,     // PNG as binary; an empty block is a null image
};

const QByteArray kSignature = QByteArrayLiteral("TPF0");

class Out {
public:
    void byte(quint8 b) { data.append(char(b)); }
    void int32(qint32 v)
    {
        for (int i = 0; i < 4; ++i)
            byte(quint8((quint32(v) >> (8 * i)) & 0xFF));
    }
    void int64(qint64 v)
    {
        for (int i = 0; i < 8; ++i)
            byte(quint8((quint64(v) >> (8 * i)) & 0xFF));
    }
    void str(const QString& s)
    {
        int32(qint32(s.size()));
        for (QChar c : s) {
            byte(quint8(c.unicode() & 0xFF));
            byte(quint8(c.unicode() >> 8));
        }
    }
    void bytes(const QByteArray& b)
    {
        int32(qint32(b.size()));
        data.append(b);
    }
    QByteArray data;
};

class In {
public:
    explicit In(const QByteArray& d) : data(d) {}
    void need(qsizetype n) const
    {
        if (n < 0 || pos + n > data.size())
            throw EReadError(QStringLiteral("Stream read error"));
    }
    quint8 byte()
    {
        need(1);
        return quint8(data[pos++]);
    }
    qint32 int32()
    {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v |= quint32(byte()) << (8 * i);
        return qint32(v);
    }
    qint64 int64()
    {
        quint64 v = 0;
        for (int i = 0; i < 8; ++i)
            v |= quint64(byte()) << (8 * i);
        return qint64(v);
    }
    QString str()
    {
        const qint32 n = int32();
        need(qsizetype(n) * 2);
        QString s(n, Qt::Uninitialized);
        for (qint32 i = 0; i < n; ++i) {
            const quint8 lo = byte(), hi = byte();
            s[i] = QChar(ushort(lo | hi << 8));
        }
        return s;
    }
    QByteArray bytes()
    {
        const qint32 n = int32();
        need(n);
        QByteArray b = data.mid(pos, n);
        pos += n;
        return b;
    }
    const QByteArray& data;
    qsizetype pos = 0;
};

QStringList alwaysStored(const QMetaObject* mo)
{
    QStringList names;
    for (int i = 0; i < mo->classInfoCount(); ++i)
        if (qstrcmp(mo->classInfo(i).name(), "QlyAlwaysStored") == 0)
            names += QString::fromLatin1(mo->classInfo(i).value()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return names;
}

// The first property of the class's own ancestry (Qt's classes publish nothing to the stream).
int firstOwnProperty(const QMetaObject* mo)
{
    const QMetaObject* own = mo;
    while (own->superClass() && own->superClass()->className()[0] != 'Q')
        own = own->superClass();
    return own->propertyOffset();
}

bool isSubObject(const QMetaProperty& p)
{
    return p.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

void writeValue(Out& out, const QMetaProperty& p, const QVariant& v)
{
    if (p.isEnumType()) {
        const QMetaEnum e = p.enumerator();
        const int iv = v.toInt();
        const char* key = e.valueToKey(iv);
        if (key) {
            out.byte(tIdent);
            out.str(QString::fromLatin1(key));
        } else {
            out.byte(tInt);
            out.int32(iv);
        }
        return;
    }
    switch (p.metaType().id()) {
    case QMetaType::Bool: out.byte(v.toBool() ? tTrue : tFalse); return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar: out.byte(tInt); out.int32(v.toInt()); return;
    case QMetaType::LongLong:
    case QMetaType::ULongLong: out.byte(tInt64); out.int64(v.toLongLong()); return;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        qint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        out.byte(tDouble);
        out.int64(bits);
        return;
    }
    case QMetaType::QString: out.byte(tString); out.str(v.toString()); return;
    case QMetaType::QStringList: {
        const QStringList l = v.toStringList();
        out.byte(tStrings);
        out.int32(qint32(l.size()));
        for (const QString& s : l)
            out.str(s);
        return;
    }
    case QMetaType::QByteArray: out.byte(tBinary); out.bytes(v.toByteArray()); return;
    case QMetaType::QImage: {
        QByteArray png;
        const QImage img = v.value<QImage>();
        if (!img.isNull()) {
            QBuffer buf(&png);
            buf.open(QIODevice::WriteOnly);
            img.save(&buf, "PNG");
        }
        out.byte(tImage);
        out.bytes(png);
        return;
    }
    default:
        throw EFilerError(QStringLiteral("Property %1 cannot be stored").arg(QString::fromLatin1(p.name())));
    }
}

class StringsWriter : public TFiler {
public:
    StringsWriter(Out& o, const QString& prefix) : out(o), prefix(prefix) {}
    void DefineStrings(const QString& name, const std::function<QStringList()>& write,
                       const std::function<void(const QStringList&)>&, bool hasData) override
    {
        if (!hasData)
            return;
        const QStringList l = write();
        out.str(prefix + name);
        out.byte(tStrings);
        out.int32(qint32(l.size()));
        for (const QString& s : l)
            out.str(s);
    }
    Out& out;
    QString prefix;
};

void writeProperties(Out& out, const QObject* obj, const QObject* proto, const QString& prefix)
{
    const QMetaObject* mo = obj->metaObject();
    const QStringList always = alwaysStored(mo);
    for (int i = firstOwnProperty(mo); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        const QString name = QString::fromLatin1(p.name());
        if (isSubObject(p)) {
            const QObject* sub = p.read(obj).value<QObject*>();
            const QObject* subProto = proto ? p.read(proto).value<QObject*>() : nullptr;
            if (sub)
                writeProperties(out, sub, subProto, prefix + name + QLatin1Char('.'));
            continue;
        }
        if (!p.isWritable() || !p.isStored())
            continue;
        const QVariant v = p.read(obj);
        if (proto && !always.contains(name) && p.read(proto) == v)
            continue;
        out.str(prefix + name);
        writeValue(out, p, v);
    }
    if (auto* hooks = dynamic_cast<TStreamHooks*>(const_cast<QObject*>(obj))) {
        StringsWriter w(out, prefix);
        hooks->DefineProperties(w);
    }
}

QVariant readValue(In& in, quint8 tag)
{
    switch (tag) {
    case tFalse: return false;
    case tTrue: return true;
    case tInt: return in.int32();
    case tInt64: return in.int64();
    case tDouble: {
        const qint64 bits = in.int64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case tString:
    case tIdent: return in.str();
    case tStrings: {
        const qint32 n = in.int32();
        if (n < 0)
            throw EReadError(QStringLiteral("Stream read error"));
        QStringList l;
        for (qint32 i = 0; i < n; ++i)
            l << in.str();
        return l;
    }
    case tBinary: return in.bytes();
    case tImage: {
        const QByteArray png = in.bytes();
        QImage img;
        if (!png.isEmpty() && !img.loadFromData(png, "PNG"))
            throw EReadError(QStringLiteral("Invalid image in stream"));
        return img;
    }
    default: throw EReadError(QStringLiteral("Invalid property value"));
    }
}

class StringsReader : public TFiler {
public:
    StringsReader(const QString& n, const QVariant& v) : wanted(n), value(v) {}
    void DefineStrings(const QString& name, const std::function<QStringList()>&,
                       const std::function<void(const QStringList&)>& read, bool) override
    {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0 && !handled) {
            read(value.toStringList());
            handled = true;
        }
    }
    QString wanted;
    QVariant value;
    bool handled = false;
};

void applyProperty(QObject* root, const QString& dotted, In& in)
{
    const quint8 tag = in.byte();
    const QVariant value = readValue(in, tag);
    QObject* target = root;
    const QStringList parts = dotted.split(QLatin1Char('.'));
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QMetaObject* mo = target->metaObject();
        const int idx = mo->indexOfProperty(parts[i].toLatin1().constData());
        QObject* sub = idx >= 0 && isSubObject(mo->property(idx)) ? mo->property(idx).read(target).value<QObject*>() : nullptr;
        if (!sub)
            throw EReadError(QStringLiteral("Property %1 does not exist").arg(dotted));
        target = sub;
    }
    const QString name = parts.last();
    const QMetaObject* mo = target->metaObject();
    const int idx = mo->indexOfProperty(name.toLatin1().constData());
    if (idx < firstOwnProperty(mo)) {
        if (auto* hooks = dynamic_cast<TStreamHooks*>(target)) {
            StringsReader r(name, value);
            hooks->DefineProperties(r);
            if (r.handled)
                return;
        }
        throw EReadError(QStringLiteral("Property %1 does not exist").arg(dotted));
    }
    const QMetaProperty p = mo->property(idx);
    QVariant v = value;
    if (p.isEnumType() && tag == tIdent) {
        bool ok = false;
        const int iv = p.enumerator().keyToValue(value.toString().toLatin1().constData(), &ok);
        if (!ok)
            throw EReadError(QStringLiteral("Invalid property value"));
        v = iv;
    }
    if (p.isEnumType() ? !p.write(target, v.toInt()) : !p.write(target, v))
        throw EReadError(QStringLiteral("Invalid property value"));
}

} // namespace

QByteArray WriteComponent(const QObject* component)
{
    const QString className = QString::fromLatin1(component->metaObject()->className()).section(QStringLiteral("::"), -1);
    // A fresh instance gives the stream defaults.
    std::unique_ptr<QObject> proto;
    if (GetClass(className) == component->metaObject())
        proto.reset(CreateComponent(className));
    Out out;
    out.data = kSignature;
    out.str(className);
    out.str(component->objectName());
    writeProperties(out, component, proto.get(), QString());
    out.str(QString());   // end of the properties
    return out.data;
}

QObject* ReadComponent(const QByteArray& data, QWidget* parent)
{
    In in(data);
    in.need(4);
    if (data.left(4) != kSignature)
        throw EReadError(QStringLiteral("Invalid stream format"));
    in.pos = 4;
    const QString className = in.str();
    const QString objectName = in.str();
    std::unique_ptr<QObject> obj(CreateComponent(className, parent));
    obj->setObjectName(objectName);
    for (;;) {
        const QString name = in.str();
        if (name.isEmpty())
            break;
        applyProperty(obj.get(), name, in);
    }
    if (auto* hooks = dynamic_cast<TStreamHooks*>(obj.get()))
        hooks->Loaded();
    return obj.release();
}

} // namespace tk
