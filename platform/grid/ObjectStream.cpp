#include "platform/grid/ObjectStream.h"
#include "platform/grid/Toolkit.h"

#include <QBuffer>
#include <QImage>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QMutex>
#include <QStringList>
#include <functional>
#include <memory>
#include <cstring>
#include <QObject>
#include <QPointer>
#include <QWidget>
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
    tSet = 0x1B,       // 32-bit count, then identifiers
    tCollection = 0x1C, // 32-bit count, then per item its properties and an empty name
    tReference = 0x1D, // the name of a component referred to (string)
};

const QByteArray kSignature = QByteArrayLiteral("TPF0");

[[noreturn]] void readError(const QString& message = QStringLiteral("Stream read error"))
{
    throw EReadError(message);
}

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
    void idents(const QStringList& l)
    {
        byte(tSet);
        int32(qint32(l.size()));
        for (const QString& s : l)
            str(s);
    }
    QByteArray data;
};

class In {
public:
    explicit In(const QByteArray& d) : data(d) {}
    void need(qsizetype n) const
    {
        if (n < 0 || pos + n > data.size())
            readError();
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
    // A count that must fit in what is left of the stream (each entry takes at least `unit` bytes).
    qint32 count(qsizetype unit)
    {
        const qint32 n = int32();
        need(qsizetype(n) * unit);
        return n;
    }
    QString str()
    {
        const qint32 n = count(2);
        QString s(n, Qt::Uninitialized);
        for (qint32 i = 0; i < n; ++i) {
            const quint8 lo = byte(), hi = byte();
            s[i] = QChar(ushort(lo | hi << 8));
        }
        return s;
    }
    QByteArray bytes()
    {
        const qint32 n = count(1);
        QByteArray b = data.mid(pos, n);
        pos += n;
        return b;
    }
    const QByteArray& data;
    qsizetype pos = 0;
};

QString shortClassName(const QMetaObject* mo)
{
    return QString::fromLatin1(mo->className()).section(QStringLiteral("::"), -1);
}

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

bool isObjectProperty(const QMetaProperty& p)
{
    return p.metaType().flags().testFlag(QMetaType::PointerToQObject);
}
bool isSubObject(const QMetaProperty& p) { return isObjectProperty(p) && !p.isWritable(); }
bool isReference(const QMetaProperty& p) { return isObjectProperty(p) && p.isWritable(); }
bool isFont(const QMetaProperty& p) { return p.metaType() == QMetaType::fromType<TFont>(); }

// Font styles by identifier.
const std::pair<const char*, int> kFontStyles[] = {{"fsBold", 1}, {"fsItalic", 2}, {"fsUnderline", 4}, {"fsStrikeOut", 8}};

int fontStyle(const QFont& f)
{
    return (f.bold() ? 1 : 0) | (f.italic() ? 2 : 0) | (f.underline() ? 4 : 0) | (f.strikeOut() ? 8 : 0);
}

void writeFont(Out& out, const QString& prefix, const TFont& font)
{
    const QFont& f = font.Font();
    out.str(prefix + QStringLiteral("Color"));
    out.byte(tInt);
    out.int32(qint32(font.Color()));
    if (f.pixelSize() > 0) {
        out.str(prefix + QStringLiteral("Height"));
        out.byte(tInt);
        out.int32(-f.pixelSize());
    } else {
        out.str(prefix + QStringLiteral("Size"));
        double size = f.pointSizeF();
        qint64 bits;
        std::memcpy(&bits, &size, sizeof bits);
        out.byte(tDouble);
        out.int64(bits);
    }
    out.str(prefix + QStringLiteral("Name"));
    out.byte(tString);
    out.str(f.family());
    QStringList styles;
    for (const auto& [name, bit] : kFontStyles)
        if (fontStyle(f) & bit)
            styles << QString::fromLatin1(name);
    out.str(prefix + QStringLiteral("Style"));
    out.idents(styles);
}

void writeValue(Out& out, const QMetaProperty& p, const QVariant& v)
{
    if (p.isFlagType()) {
        const QByteArray keys = p.enumerator().valueToKeys(v.toInt());
        out.idents(keys.isEmpty() ? QStringList() : QString::fromLatin1(keys).split(QLatin1Char('|')));
        return;
    }
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

class DefinedWriter : public TFiler {
public:
    DefinedWriter(Out& o, const QString& prefix) : out(o), prefix(prefix) {}
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
    void DefineCollection(const QString& name, const TCollectionItems& items) override
    {
        const int n = items.count();
        if (n == 0)
            return;
        const QMetaObject* mo = items.itemClass;
        const QMetaType type = mo->metaType();
        std::unique_ptr<void, std::function<void(void*)>> fresh(type.create(), [type](void* p) { type.destroy(p); });
        out.str(prefix + name);
        out.byte(tCollection);
        out.int32(n);
        for (int i = 0; i < n; ++i) {
            const void* item = items.item(i);
            for (int k = mo->propertyOffset(); k < mo->propertyCount(); ++k) {
                const QMetaProperty p = mo->property(k);
                const QVariant v = p.readOnGadget(item);
                if (v == p.readOnGadget(fresh.get()))
                    continue;
                out.str(QString::fromLatin1(p.name()));
                writeValue(out, p, v);
            }
            out.str(QString());
        }
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
        if (isReference(p)) {
            const QObject* target = v.value<QObject*>();
            if (target && !target->objectName().isEmpty()) {
                out.str(prefix + name);
                out.byte(tReference);
                out.str(target->objectName());
            }
            continue;
        }
        if (proto && !always.contains(name) && p.read(proto) == v)
            continue;
        if (isFont(p)) {
            writeFont(out, prefix + name + QLatin1Char('.'), v.value<TFont>());
            continue;
        }
        out.str(prefix + name);
        writeValue(out, p, v);
    }
    if (auto* hooks = dynamic_cast<TStreamHooks*>(const_cast<QObject*>(obj))) {
        DefinedWriter w(out, prefix);
        hooks->DefineProperties(w);
    }
}

void writeComponent(Out& out, const QObject* component)
{
    const QString className = shortClassName(component->metaObject());
    // A fresh instance gives the stream defaults.
    std::unique_ptr<QObject> proto;
    if (GetClass(className) == component->metaObject())
        proto.reset(CreateComponent(className));
    out.str(className);
    out.str(component->objectName());
    writeProperties(out, component, proto.get(), QString());
    out.str(QString());   // end of the properties
    for (const QObject* child : component->children())
        if (!child->objectName().isEmpty() && GetClass(shortClassName(child->metaObject())) == child->metaObject())
            writeComponent(out, child);
    out.str(QString());   // end of the children
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
    case tIdent:
    case tReference: return in.str();
    case tStrings:
    case tSet: {
        const qint32 n = in.count(4);
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
            readError(QStringLiteral("Invalid image in stream"));
        return img;
    }
    default: readError(QStringLiteral("Invalid property value"));
    }
}

// A read value in the form the property takes (enumerations and sets from their identifiers).
QVariant propertyValue(const QMetaProperty& p, quint8 tag, const QVariant& value)
{
    if (p.isFlagType() && tag == tSet) {
        bool ok = true;
        const int v = value.toStringList().isEmpty()
                          ? 0
                          : p.enumerator().keysToValue(value.toStringList().join(QLatin1Char('|')).toLatin1().constData(), &ok);
        if (!ok)
            readError(QStringLiteral("Invalid property value"));
        return v;
    }
    if (p.isEnumType() && tag == tIdent) {
        bool ok = false;
        const int v = p.enumerator().keyToValue(value.toString().toLatin1().constData(), &ok);
        if (!ok)
            readError(QStringLiteral("Invalid property value"));
        return v;
    }
    if (tag == tSet || tag == tIdent || tag == tReference || tag == tCollection)
        readError(QStringLiteral("Invalid property value"));
    return value;
}

// What reading one stream collects: the components in stream order and the references to set.
struct ReadState {
    struct Fixup {
        QPointer<QObject> target;
        QByteArray property;
        QString name;
    };
    std::vector<QObject*> components;
    std::vector<Fixup> fixups;
};

class DefinedReader : public TFiler {
public:
    DefinedReader(const QString& n, In& in, quint8 tag) : wanted(n), in(in), tag(tag) {}
    void DefineStrings(const QString& name, const std::function<QStringList()>&,
                       const std::function<void(const QStringList&)>& read, bool) override
    {
        if (handled || name.compare(wanted, Qt::CaseInsensitive) != 0)
            return;
        if (tag != tStrings)
            readError(QStringLiteral("Invalid property value"));
        read(readValue(in, tag).toStringList());
        handled = true;
    }
    void DefineCollection(const QString& name, const TCollectionItems& items) override
    {
        if (handled || name.compare(wanted, Qt::CaseInsensitive) != 0)
            return;
        if (tag != tCollection)
            readError(QStringLiteral("Invalid property value"));
        handled = true;
        const QMetaObject* mo = items.itemClass;
        // The items are read whole before the collection changes: a broken stream leaves it as it
        // was. Each value is tried on a scratch item first.
        const QMetaType type = mo->metaType();
        std::unique_ptr<void, std::function<void(void*)>> scratch(type.create(), [type](void* p) { type.destroy(p); });
        std::vector<std::vector<std::pair<QMetaProperty, QVariant>>> read;
        const qint32 n = in.count(4);
        for (qint32 i = 0; i < n; ++i) {
            auto& values = read.emplace_back();
            for (;;) {
                const QString prop = in.str();
                if (prop.isEmpty())
                    break;
                const int idx = mo->indexOfProperty(prop.toLatin1().constData());
                if (idx < mo->propertyOffset())
                    readError(QStringLiteral("Property %1.%2 does not exist").arg(wanted, prop));
                const QMetaProperty p = mo->property(idx);
                const quint8 t = in.byte();
                QVariant v = propertyValue(p, t, readValue(in, t));
                if (p.isEnumType())
                    v = QVariant(v.toInt());
                if (!p.writeOnGadget(scratch.get(), v))
                    readError(QStringLiteral("Invalid property value"));
                values.emplace_back(p, v);
            }
        }
        items.clear();
        for (const auto& values : read) {
            void* item = items.add();
            for (const auto& [p, v] : values)
                p.writeOnGadget(item, v);
        }
    }
    QString wanted;
    In& in;
    quint8 tag;
    bool handled = false;
};

// Sets one font part ("Color", "Height", "Size", "Name", "Style").
void applyFontPart(QObject* target, const QMetaProperty& p, const QString& part, quint8 tag, const QVariant& value)
{
    TFont font = p.read(target).value<TFont>();
    QFont f = font.Font();
    const QString key = part.toLower();
    if (key == QLatin1String("color") && tag == tInt) {
        font.SetColor(TColor(value.toInt()));
    } else if (key == QLatin1String("height") && tag == tInt) {
        if (value.toInt() != 0)
            f.setPixelSize(std::abs(value.toInt()));
    } else if (key == QLatin1String("size") && (tag == tInt || tag == tDouble)) {
        if (value.toDouble() > 0)
            f.setPointSizeF(value.toDouble());
    } else if (key == QLatin1String("name") && tag == tString) {
        f.setFamily(value.toString());
    } else if (key == QLatin1String("style") && tag == tSet) {
        int style = 0;
        for (const QString& id : value.toStringList()) {
            int bit = 0;
            for (const auto& [name, b] : kFontStyles)
                if (id == QLatin1String(name))
                    bit = b;
            if (!bit)
                readError(QStringLiteral("Invalid property value"));
            style |= bit;
        }
        f.setBold(style & 1);
        f.setItalic(style & 2);
        f.setUnderline(style & 4);
        f.setStrikeOut(style & 8);
    } else {
        readError(QStringLiteral("Invalid property value"));
    }
    font.SetFont(f);
    if (!p.write(target, QVariant::fromValue(font)))
        readError(QStringLiteral("Invalid property value"));
}

void applyProperty(QObject* root, const QString& dotted, In& in, ReadState& state)
{
    const quint8 tag = in.byte();
    QObject* target = root;
    const QStringList parts = dotted.split(QLatin1Char('.'));
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QMetaObject* mo = target->metaObject();
        const int idx = mo->indexOfProperty(parts[i].toLatin1().constData());
        const QMetaProperty p = idx >= 0 ? mo->property(idx) : QMetaProperty();
        if (idx >= 0 && i + 2 == parts.size() && isFont(p)) {
            applyFontPart(target, p, parts.last(), tag, readValue(in, tag));
            return;
        }
        QObject* sub = idx >= 0 && isSubObject(p) ? p.read(target).value<QObject*>() : nullptr;
        if (!sub)
            readError(QStringLiteral("Property %1 does not exist").arg(dotted));
        target = sub;
    }
    const QString name = parts.last();
    const QMetaObject* mo = target->metaObject();
    const int idx = mo->indexOfProperty(name.toLatin1().constData());
    if (idx < firstOwnProperty(mo)) {
        if (auto* hooks = dynamic_cast<TStreamHooks*>(target)) {
            DefinedReader r(name, in, tag);
            hooks->DefineProperties(r);
            if (r.handled)
                return;
        }
        readError(QStringLiteral("Property %1 does not exist").arg(dotted));
    }
    const QMetaProperty p = mo->property(idx);
    const QVariant value = readValue(in, tag);
    if (isReference(p)) {
        if (tag != tReference)
            readError(QStringLiteral("Invalid property value"));
        state.fixups.push_back({target, QByteArray(p.name()), value.toString()});
        return;
    }
    const QVariant v = propertyValue(p, tag, value);
    if (p.isEnumType() ? !p.write(target, v.toInt()) : !p.write(target, v))
        readError(QStringLiteral("Invalid property value"));
}

// Reads one component and its children; `owner` is the component it belongs to (or null).
QObject* readComponent(In& in, QWidget* parent, QObject* owner, ReadState& state, const QString& className)
{
    const QString objectName = in.str();
    std::unique_ptr<QObject> obj(CreateComponent(className, parent));
    if (owner && !obj->parent())
        obj->setParent(owner);
    obj->setObjectName(objectName);
    QObject* result = obj.get();
    // From here the owner (or the caller's pointer) frees it when reading fails.
    if (owner)
        obj.release();
    state.components.push_back(result);
    for (;;) {
        const QString name = in.str();
        if (name.isEmpty())
            break;
        applyProperty(result, name, in, state);
    }
    for (;;) {
        const QString childClass = in.str();
        if (childClass.isEmpty())
            break;
        auto* asWidget = qobject_cast<QWidget*>(result);
        readComponent(in, asWidget, result, state, childClass);
    }
    return owner ? result : obj.release();
}

QObject* findComponent(QObject* scope, const QString& name)
{
    if (!scope)
        return nullptr;
    if (scope->objectName() == name)
        return scope;
    return scope->findChild<QObject*>(name);
}

} // namespace

QByteArray WriteComponent(const QObject* component)
{
    Out out;
    out.data = kSignature;
    writeComponent(out, component);
    return out.data;
}

QObject* ReadComponent(const QByteArray& data, QWidget* parent)
{
    qsizetype pos = 0;
    return ReadComponent(data, pos, parent);
}

QObject* ReadComponent(const QByteArray& data, qsizetype& pos, QWidget* parent)
{
    In in(data);
    in.pos = pos;
    in.need(4);
    if (data.mid(pos, 4) != kSignature)
        readError(QStringLiteral("Invalid stream format"));
    in.pos += 4;
    const QString className = in.str();
    ReadState state;
    std::unique_ptr<QObject> root(readComponent(in, parent, nullptr, state, className));
    for (const ReadState::Fixup& f : state.fixups) {
        if (!f.target)
            continue;
        QObject* found = findComponent(root.get(), f.name);
        if (!found && root->parent())
            found = findComponent(root->parent(), f.name);
        if (found)
            f.target->setProperty(f.property.constData(), QVariant::fromValue(found));
    }
    QObject* result = root.release();
    pos = in.pos;
    for (QObject* component : state.components)
        if (auto* hooks = dynamic_cast<TStreamHooks*>(component))
            hooks->Loaded();
    return result;
}

} // namespace tk
