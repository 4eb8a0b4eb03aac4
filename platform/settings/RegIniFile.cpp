#include "RegIniFile.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace settings {

namespace {

bool SameName(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) == 0; }

struct Value {
    QString name;
    bool binary = false;
    QString text;
    QByteArray data;
};

struct Node {
    QString name;
    std::vector<Value> values;
    // Comments and lines that are neither a section header nor a value, as they stood in this
    // section: written back after its values, so a damaged line is never lost by a rewrite.
    QStringList kept;
    std::vector<std::unique_ptr<Node>> children;

    Node* child(const QString& n) const
    {
        for (const auto& c : children)
            if (SameName(c->name, n))
                return c.get();
        return nullptr;
    }
    Node* addChild(const QString& n)
    {
        children.push_back(std::make_unique<Node>());
        children.back()->name = n;
        return children.back().get();
    }
    Value* value(const QString& n)
    {
        for (auto& v : values)
            if (SameName(v.name, n))
                return &v;
        return nullptr;
    }
};

QStringList SplitPath(const QString& section)
{
    return section.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// ---- file format -------------------------------------------------------------------------
// [Users\a@b.de]            a sub-key path (control characters and "%" written as %XX)
// "Name"="text"             a string value (\\ \" \n \r \t and \uXXXX escapes)
// "WindowPos"=hex:2c,00     a binary value
// Values before the first header belong to the key itself.

QString EscapeString(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        // A surrogate without its partner has no UTF-8 form: it is written as an escape.
        const bool loneSurrogate =
            (c.isHighSurrogate() && !(i + 1 < s.size() && s[i + 1].isLowSurrogate()))
            || (c.isLowSurrogate() && !(i > 0 && s[i - 1].isHighSurrogate()));
        if (loneSurrogate) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '"': out += QLatin1String("\\\""); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// Reads a quoted string starting at pos (which points at the opening quote); pos ends after the
// closing quote. False when the text is not a well-formed quoted string.
bool ParseString(const QString& line, qsizetype& pos, QString& out)
{
    out.clear();
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return false;
    ++pos;
    while (pos < line.size()) {
        const QChar c = line[pos++];
        if (c == QLatin1Char('"'))
            return true;
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        const QChar e = line[pos++];
        switch (e.unicode()) {
        case '\\': out += QLatin1Char('\\'); break;
        case '"': out += QLatin1Char('"'); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'u': {
            bool ok = false;
            const ushort u = line.mid(pos, 4).toUShort(&ok, 16);
            if (!ok || pos + 4 > line.size())
                return false;
            out += QChar(u);
            pos += 4;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

// A surrogate without its partner (it has no UTF-8 form) is written as %uXXXX.
QString EscapePathPart(const QString& s)
{
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if ((c.isHighSurrogate() && !(i + 1 < s.size() && s[i + 1].isLowSurrogate()))
            || (c.isLowSurrogate() && !(i > 0 && s[i - 1].isHighSurrogate())))
            out += QStringLiteral("%u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else if (c.unicode() < 0x20 || c == QLatin1Char('%'))
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString UnescapePathPart(const QString& s)
{
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        bool ok = false;
        if (s[i] == QLatin1Char('%') && i + 5 < s.size() && s[i + 1] == QLatin1Char('u')) {
            const ushort u = s.mid(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(u);
                i += 5;
                continue;
            }
        }
        if (s[i] == QLatin1Char('%') && i + 2 < s.size()) {
            const ushort u = s.mid(i + 1, 2).toUShort(&ok, 16);
            if (ok) {
                out += QChar(u);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

void Serialize(const Node& node, const QString& path, QString& out)
{
    if (!path.isEmpty()) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        out += QLatin1Char('[') + path + QLatin1String("]\n");
    }
    for (const Value& v : node.values) {
        out += EscapeString(v.name) + QLatin1Char('=');
        if (v.binary) {
            out += QLatin1String("hex:");
            out += QString::fromLatin1(v.data.toHex(','));
        } else {
            out += EscapeString(v.text);
        }
        out += QLatin1Char('\n');
    }
    for (const QString& line : node.kept)
        out += line + QLatin1Char('\n');
    for (const auto& c : node.children) {
        const QString childPath = path.isEmpty() ? EscapePathPart(c->name)
                                                 : path + QLatin1Char('\\') + EscapePathPart(c->name);
        Serialize(*c, childPath, out);
    }
}

void Parse(const QString& text, Node& root)
{
    Node* current = &root;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        // A kept line is written back with its own line end (CR LF), so that it reads the same
        // however many CRs it ends with.
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) {
            current->kept << raw;
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = &root;
            for (const QString& part : SplitPath(line.mid(1, line.size() - 2))) {
                // An escaped "\" (%5c) separates sub-keys as a plain one does: no name holds it.
                for (const QString& name : SplitPath(UnescapePathPart(part))) {
                    Node* c = current->child(name);
                    current = c ? c : current->addChild(name);
                }
            }
            continue;
        }
        qsizetype pos = 0;
        Value v;
        if (!ParseString(line, pos, v.name) || pos >= line.size() || line[pos] != QLatin1Char('=')) {
            current->kept << raw; // not a value line: kept as it stands
            continue;
        }
        ++pos;
        if (line.mid(pos, 4) == QLatin1String("hex:")) {
            const QByteArray hex = line.mid(pos + 4).toLatin1();
            v.binary = true;
            v.data = QByteArray::fromHex(QByteArray(hex).replace(',', QByteArray()));
        } else if (!ParseString(line, pos, v.text)) {
            current->kept << raw;
            continue;
        }
        if (Value* existing = current->value(v.name))
            *existing = v;
        else
            current->values.push_back(v);
    }
}

bool FileExists(const QString& file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0;
}

// Creates a folder and its missing parents with mode 0700.
bool MakePrivatePath(const QString& dir)
{
    const QStringList parts = dir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString& p : parts) {
        path += QLatin1Char('/') + p;
        const QByteArray native = QFile::encodeName(path);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What a key's file looked like when it was last read or written: a replacement (a new inode
// by rename), a change in place, a removal or a re-creation all change it.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};

    static FileStamp Of(const QString& file)
    {
        FileStamp s;
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) != 0)
            return s;
        s.exists = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtime = st.st_mtim;
        s.ctime = st.st_ctim;
        return s;
    }
    bool operator==(const FileStamp& o) const
    {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// The parsed content of one key's file, shared by every store object of the process that opens
// the key. It is read again only when the file's stamp changed (another process wrote it);
// the process's own writes go to the file and update the shared copy.
struct KeyContent {
    Node root;
    FileStamp stamp;
    bool loaded = false;
    bool readFailed = false;
};

std::recursive_mutex& StoreMutex()
{
    static std::recursive_mutex m;
    return m;
}

std::atomic<int> g_fileReads{0};

std::shared_ptr<KeyContent> SharedContent(const QString& fileName)
{
    static std::map<QString, std::weak_ptr<KeyContent>> contents;
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    std::shared_ptr<KeyContent> c = contents[fileName].lock();
    if (!c) {
        c = std::make_shared<KeyContent>();
        contents[fileName] = c;
    }
    return c;
}

} // namespace

int TRegIniFile::FileReads()
{
    return g_fileReads.load();
}

struct TRegIniFile::Impl {
    QString keyPath;
    QString fileName;
    std::shared_ptr<KeyContent> content;
    Node& root() { return content->root; }

    // Makes the shared copy match the file: reads it when it changed since it was last read or
    // written (by another process, or removed), else keeps what was read.
    void refresh()
    {
        const FileStamp now = FileStamp::Of(fileName);
        if (content->loaded && now == content->stamp)
            return;
        content->root = Node();
        content->readFailed = false;
        content->loaded = true;
        content->stamp = now;
        if (!now.exists)
            return;
        QFile f(fileName);
        if (f.open(QIODevice::ReadOnly)) {
            ++g_fileReads;
            Parse(QString::fromUtf8(f.readAll()), content->root);
        } else {
            content->readFailed = FileExists(fileName);
        }
    }

    // Finds a section; with create, missing sub-keys are made with the given spelling.
    Node* find(const QString& section, bool create)
    {
        Node* n = &root();
        for (const QString& part : SplitPath(section)) {
            Node* c = n->child(part);
            if (!c) {
                if (!create)
                    return nullptr;
                c = n->addChild(part);
            }
            n = c;
        }
        return n;
    }

    const Value* findValue(const QString& section, const QString& ident)
    {
        refresh();
        Node* n = find(section, false);
        return n ? n->value(ident) : nullptr;
    }

    [[noreturn]] void fail(const QString& why)
    {
        throw ERegistryException(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden (%1): %2")
                                     .arg(fileName, why));
    }

    // Runs a change under the key's lock on the current file content and writes the result.
    template <typename F>
    void change(F&& mutate)
    {
        const QFileInfo fi(fileName);
        if (!MakePrivatePath(fi.absolutePath()))
            fail(QString::fromLocal8Bit(std::strerror(errno)));
        QLockFile lock(fileName + QStringLiteral(".lock"));
        lock.setStaleLockTime(30000);
        if (!lock.tryLock(10000))
            fail(QStringLiteral("die Datei ist gesperrt"));
        refresh();
        if (content->readFailed)
            fail(QStringLiteral("die Datei kann nicht gelesen werden"));
        mutate();
        try {
            save();
        } catch (...) {
            // The file keeps its old content: so must the shared copy.
            content->loaded = false;
            throw;
        }
        content->stamp = FileStamp::Of(fileName);
    }

    void save()
    {
        QString text;
        Serialize(root(), QString(), text);
        const QByteArray bytes = text.toUtf8();

        const QFileInfo fi(fileName);
        QByteArray tmpl = QFile::encodeName(fi.absolutePath() + QStringLiteral("/.") + fi.fileName()
                                            + QStringLiteral(".XXXXXX"));
        const int fd = ::mkstemp(tmpl.data()); // 0600
        if (fd < 0)
            fail(QString::fromLocal8Bit(std::strerror(errno)));
        auto abandon = [&](int err) {
            ::close(fd);
            ::unlink(tmpl.constData());
            fail(QString::fromLocal8Bit(std::strerror(err)));
        };
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                abandon(errno);
            }
            done += w;
        }
        if (::fchmod(fd, 0600) != 0 || ::fsync(fd) != 0)
            abandon(errno);
        if (::close(fd) != 0) {
            const int err = errno;
            ::unlink(tmpl.constData());
            fail(QString::fromLocal8Bit(std::strerror(err)));
        }
        if (::rename(tmpl.constData(), QFile::encodeName(fileName).constData()) != 0) {
            const int err = errno;
            ::unlink(tmpl.constData());
            fail(QString::fromLocal8Bit(std::strerror(err)));
        }
        const int dirFd = ::open(QFile::encodeName(fi.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
};

QString TRegIniFile::FileNameForKey(const QString& keyPath)
{
    QStringList parts = SplitPath(keyPath);
    if (!parts.isEmpty() && SameName(parts.first(), QStringLiteral("Software")))
        parts.removeFirst();
    if (parts.isEmpty())
        parts << QStringLiteral("settings");
    for (QString& p : parts)
        p.replace(QLatin1Char('/'), QLatin1Char('_'));
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + parts.join(QLatin1Char('/')) + QStringLiteral(".conf");
}

TRegIniFile::TRegIniFile(const QString& keyPath) : d(std::make_unique<Impl>())
{
    d->keyPath = keyPath;
    d->fileName = FileNameForKey(keyPath);
    d->content = SharedContent(d->fileName);
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    // Opening creates the key when it is missing; a failure shows at the first write.
    if (!FileExists(d->fileName)) {
        try {
            d->change([] {});
        } catch (const ERegistryException&) {
        }
    }
}

TRegIniFile::~TRegIniFile() = default;

QString TRegIniFile::KeyPath() const { return d->keyPath; }
QString TRegIniFile::FileName() const { return d->fileName; }

static ERegistryException WrongType(const QString& ident)
{
    return ERegistryException(QStringLiteral("Ungültiger Datentyp für '%1'").arg(ident));
}

QString TRegIniFile::ReadString(const QString& section, const QString& ident, const QString& defaultValue) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    const Value* v = d->findValue(section, ident);
    if (!v)
        return defaultValue;
    if (v->binary)
        throw WrongType(ident);
    return v->text;
}

void TRegIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->change([&] {
        Node* n = d->find(section, true);
        Value* v = n->value(ident);
        if (!v) {
            n->values.push_back(Value{ident, false, {}, {}});
            v = &n->values.back();
        }
        v->binary = false;
        v->data.clear();
        v->text = value;
    });
}

int TRegIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    const Value* v = d->findValue(section, ident);
    if (!v)
        return defaultValue;
    if (v->binary)
        throw WrongType(ident);
    bool ok = false;
    const int n = v->text.toInt(&ok, 10);
    return ok ? n : defaultValue;
}

void TRegIniFile::WriteInteger(const QString& section, const QString& ident, int value)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    WriteString(section, ident, QString::number(value));
}

bool TRegIniFile::ReadBool(const QString& section, const QString& ident, bool defaultValue) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TRegIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

std::optional<QByteArray> TRegIniFile::ReadBinaryData(const QString& section, const QString& ident) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    const Value* v = d->findValue(section, ident);
    if (!v)
        return std::nullopt;
    if (!v->binary)
        throw WrongType(ident);
    return v->data;
}

void TRegIniFile::WriteBinaryData(const QString& section, const QString& ident, const QByteArray& data)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->change([&] {
        Node* n = d->find(section, true);
        Value* v = n->value(ident);
        if (!v) {
            n->values.push_back(Value{ident, true, {}, {}});
            v = &n->values.back();
        }
        v->binary = true;
        v->text.clear();
        v->data = data;
    });
}

QStringList TRegIniFile::ReadSubKeys(const QString& section) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->refresh();
    QStringList names;
    if (const Node* n = d->find(section, false))
        for (const auto& c : n->children)
            names << c->name;
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QStringList TRegIniFile::ReadSection(const QString& section) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->refresh();
    QStringList names;
    if (const Node* n = d->find(section, false))
        for (const Value& v : n->values)
            names << v.name;
    return names;
}

bool TRegIniFile::SectionExists(const QString& section) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->refresh();
    return d->find(section, false) != nullptr;
}

bool TRegIniFile::ValueExists(const QString& section, const QString& ident) const
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    return d->findValue(section, ident) != nullptr;
}

void TRegIniFile::EraseSection(const QString& section)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    const QStringList parts = SplitPath(section);
    d->change([&] {
        if (parts.isEmpty()) {
            d->root() = Node();
            return;
        }
        Node* parent = d->find(QStringList(parts.mid(0, parts.size() - 1)).join(QLatin1Char('\\')), false);
        if (!parent)
            return;
        auto& ch = parent->children;
        ch.erase(std::remove_if(ch.begin(), ch.end(),
                                [&](const std::unique_ptr<Node>& c) { return SameName(c->name, parts.last()); }),
                 ch.end());
    });
}

void TRegIniFile::DeleteKey(const QString& section, const QString& ident)
{
    std::lock_guard<std::recursive_mutex> lock(StoreMutex());
    d->change([&] {
        Node* n = d->find(section, false);
        if (!n)
            return;
        auto& vs = n->values;
        vs.erase(std::remove_if(vs.begin(), vs.end(), [&](const Value& v) { return SameName(v.name, ident); }),
                 vs.end());
    });
}

} // namespace settings
