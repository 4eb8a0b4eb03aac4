// The Outlook data file read with libpff.
#include "importwizard/outlook/ContactProperties.h"
#include "importwizard/outlook/OutlookFile.h"
#include "core/TextFile.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QTimeZone>
#include <QVariant>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>
// Debian's libpff headers announce the file-I/O handle library without shipping its header; the
// functions that take such handles are not used here.
#include <libpff/features.h>
#undef LIBPFF_HAVE_BFIO
#include <libpff.h>

namespace outlook {

TItemClass ClassOfMessageClass(const QString& messageClass)
{
    if (messageClass.compare(QLatin1String("IPM.Contact"), Qt::CaseInsensitive) == 0)
        return olContact;
    if (messageClass.compare(QLatin1String("IPM.Note"), Qt::CaseInsensitive) == 0
        || messageClass.startsWith(QLatin1String("IPM.Note."), Qt::CaseInsensitive))
        return olMail;
    return olUnusable;
}

namespace {

// Property tags the layer reads besides the contact table.
constexpr quint32 kDisplayName = 0x3001;
constexpr quint32 kMessageClass = 0x001A;
constexpr quint32 kRecordKey = 0x0FF9;
constexpr quint32 kIpmSubtreeEntryId = 0x35E0;
constexpr quint32 kFolderType = 0x3601;
constexpr quint32 kSenderName = 0x0C1A;
constexpr quint32 kSenderEmailAddress = 0x0C1F;
constexpr quint32 kSentRepresentingEmailAddress = 0x0065;
constexpr quint32 kSenderSmtpAddress = 0x5D01;
constexpr quint32 kSentRepresentingSmtpAddress = 0x5D02;
constexpr int kSearchFolder = 2;

QString ErrorText(libpff_error_t* error)
{
    if (!error)
        return QStringLiteral("libpff error");
    char buffer[1024] = {};
    libpff_error_sprint(error, buffer, sizeof buffer);
    libpff_error_free(&error);
    return QString::fromUtf8(buffer).trimmed();
}

// Raises with libpff's message when rc reports an error (-1).
int Check(int rc, libpff_error_t* error, const char* what)
{
    if (rc == -1)
        throw EOutlookError(QString::fromLatin1(what) + QStringLiteral(": ") + ErrorText(error));
    if (error)
        libpff_error_free(&error);
    return rc;
}

struct ItemHandle {
    libpff_item_t* item = nullptr;
    ItemHandle() = default;
    explicit ItemHandle(libpff_item_t* i) : item(i) {}
    ItemHandle(const ItemHandle&) = delete;
    ItemHandle& operator=(const ItemHandle&) = delete;
    ItemHandle(ItemHandle&& o) noexcept : item(o.item) { o.item = nullptr; }
    ItemHandle& operator=(ItemHandle&& o) noexcept
    {
        std::swap(item, o.item);
        return *this;
    }
    ~ItemHandle()
    {
        if (item)
            libpff_item_free(&item, nullptr);
    }
};

// One stored value, kept raw until it is asked for as text.
struct Value {
    quint32 type = 0;
    QVariant data;  // QString, QStringList, QByteArray, qint64, double, bool, or a QDateTime
};

QString ValueText(const Value& v)
{
    switch (v.data.typeId()) {
    case QMetaType::QString:
        return v.data.toString();
    case QMetaType::QStringList:
        return v.data.toStringList().join(QStringLiteral(", "));
    case QMetaType::QByteArray:
        return HexText(v.data.toByteArray());
    case QMetaType::Bool:
        return v.data.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::LongLong:
        return QString::number(v.data.toLongLong());
    case QMetaType::Double:
        return QLocale::c().toString(v.data.toDouble(), 'g', 15);
    case QMetaType::QDateTime:
        return DateText(v.data.toDateTime().toMSecsSinceEpoch());
    default:
        return {};
    }
}

QString Utf8Entry(libpff_record_entry_t* entry)
{
    size_t size = 0;
    if (Check(libpff_record_entry_get_data_as_utf8_string_size(entry, &size, nullptr), nullptr, "string") != 1
        || size == 0)
        return {};
    QByteArray buffer(qsizetype(size), '\0');
    libpff_error_t* error = nullptr;
    Check(libpff_record_entry_get_data_as_utf8_string(entry, reinterpret_cast<uint8_t*>(buffer.data()), size, &error),
          error, "string");
    return QString::fromUtf8(buffer.constData());
}

// A list of texts, read from the stored bytes (this libpff version counts no values in them): the
// count, an offset per text, then the texts without terminators.
QStringList MultiStrings(libpff_record_entry_t* entry, bool unicode)
{
    QStringList values;
    size_t size = 0;
    if (libpff_record_entry_get_data_size(entry, &size, nullptr) != 1 || size < 4)
        return values;
    QByteArray data(qsizetype(size), '\0');
    if (libpff_record_entry_get_data(entry, reinterpret_cast<uint8_t*>(data.data()), size, nullptr) != 1)
        return values;
    auto u32 = [&](qsizetype at) {
        return quint32(quint8(data[at])) | quint32(quint8(data[at + 1])) << 8 | quint32(quint8(data[at + 2])) << 16
               | quint32(quint8(data[at + 3])) << 24;
    };
    const quint32 count = u32(0);
    if (count > (size - 4) / 4)
        return values;
    for (quint32 i = 0; i < count; ++i) {
        const quint32 begin = u32(4 + 4 * i);
        const quint32 end = i + 1 < count ? u32(8 + 4 * i) : quint32(size);
        if (begin > end || end > size)
            return {};
        const QByteArray text = data.mid(begin, end - begin);
        // 8-bit texts in the code page libpff reads the single ones in (Windows-1252).
        QString value = unicode ? QString::fromUtf16(reinterpret_cast<const char16_t*>(text.constData()), text.size() / 2)
                                : core::DecodeWindows1252(text);
        while (value.endsWith(QChar(0)))
            value.chop(1);
        values.append(value);
    }
    return values;
}

// FILETIME (100 ns since 1601) and OLE dates (days since 1899-12-30) as milliseconds since 1970.
qint64 FileTimeMsecs(quint64 filetime)
{
    return qint64(filetime / 10000) - 11644473600000LL;
}

Value ReadValue(libpff_record_entry_t* entry, quint32 type)
{
    Value v;
    v.type = type;
    switch (type) {
    case 0x001E:
    case 0x001F:
        v.data = Utf8Entry(entry);
        break;
    case 0x101E:
    case 0x101F:
        v.data = MultiStrings(entry, type == 0x101F);
        break;
    case 0x0002: {
        uint16_t x = 0;
        if (libpff_record_entry_get_data_as_16bit_integer(entry, &x, nullptr) == 1)
            v.data = qint64(qint16(x));
        break;
    }
    case 0x0003: {
        uint32_t x = 0;
        if (libpff_record_entry_get_data_as_32bit_integer(entry, &x, nullptr) == 1)
            v.data = qint64(qint32(x));
        break;
    }
    case 0x0014: {
        uint64_t x = 0;
        if (libpff_record_entry_get_data_as_64bit_integer(entry, &x, nullptr) == 1)
            v.data = qint64(x);
        break;
    }
    case 0x0004:
    case 0x0005: {
        double x = 0;
        if (libpff_record_entry_get_data_as_floating_point(entry, &x, nullptr) == 1)
            v.data = x;
        break;
    }
    case 0x000B: {
        uint8_t x = 0;
        if (libpff_record_entry_get_data_as_boolean(entry, &x, nullptr) == 1)
            v.data = x != 0;
        break;
    }
    case 0x0040: {
        uint64_t x = 0;
        if (libpff_record_entry_get_data_as_filetime(entry, &x, nullptr) == 1)
            v.data = QDateTime::fromMSecsSinceEpoch(FileTimeMsecs(x), Qt::UTC);
        break;
    }
    case 0x0007: {
        double days = 0;
        if (libpff_record_entry_get_data_as_floating_point(entry, &days, nullptr) == 1)
            v.data = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)
                         .addMSecs(qint64(days * 86400000.0 + (days >= 0 ? 0.5 : -0.5)));
        break;
    }
    default: {
        // Binary values, GUIDs and anything else: the bytes.
        size_t size = 0;
        if (libpff_record_entry_get_data_size(entry, &size, nullptr) == 1) {
            QByteArray bytes(qsizetype(size), '\0');
            if (size == 0 || libpff_record_entry_get_data(entry, reinterpret_cast<uint8_t*>(bytes.data()), size, nullptr) == 1)
                v.data = bytes;
        }
        break;
    }
    }
    return v;
}

// What a named property's identifier (0x8000 and above) stands for. The file's name-to-id map
// gives every item the same meaning for an identifier, so the meanings are kept per file.
struct NamedKey {
    bool valid = false;
    quint64 number = 0;  // the set's index in the upper half, the property's number
    QByteArray text;     // for a string name: the set's index, '/', the name
};
using NameCache = QHash<quint32, NamedKey>;

quint64 SetIndex(TPropertySet set)
{
    return quint64(set);
}

// The index of a set the contact names use, or None for any other set.
TPropertySet SetOfGuid(const uint8_t* guid)
{
    for (TPropertySet set : {TPropertySet::Address, TPropertySet::Common, TPropertySet::PublicStrings}) {
        if (std::memcmp(PropertySetGuid(set).constData(), guid, 16) == 0)
            return set;
    }
    return TPropertySet::None;
}

NamedKey ResolveName(libpff_record_entry_t* entry)
{
    NamedKey key;
    libpff_name_to_id_map_entry_t* named = nullptr;
    if (libpff_record_entry_get_name_to_id_map_entry(entry, &named, nullptr) != 1 || !named)
        return key;
    uint8_t guid[16] = {};
    uint8_t kind = 0;
    if (libpff_name_to_id_map_entry_get_guid(named, guid, 16, nullptr) != 1
        || libpff_name_to_id_map_entry_get_type(named, &kind, nullptr) != 1)
        return key;
    const TPropertySet set = SetOfGuid(guid);
    if (set == TPropertySet::None)
        return key;  // no contact name lives there
    if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_STRING) {
        size_t size = 0;
        if (libpff_name_to_id_map_entry_get_utf8_string_size(named, &size, nullptr) == 1 && size > 0) {
            QByteArray name(qsizetype(size), '\0');
            if (libpff_name_to_id_map_entry_get_utf8_string(named, reinterpret_cast<uint8_t*>(name.data()), size, nullptr) == 1) {
                key.text = QByteArray::number(SetIndex(set)) + '/' + QByteArray(name.constData());
                key.valid = true;
            }
        }
    } else {
        uint32_t number = 0;
        if (libpff_name_to_id_map_entry_get_number(named, &number, nullptr) == 1) {
            key.number = SetIndex(set) << 32 | number;
            key.valid = true;
        }
    }
    return key;
}

// The properties of one item: by tag, and named ones by their set and number or string name.
// Values are read when they are first asked for.
class Properties {
public:
    explicit Properties(libpff_item_t* item, NameCache* names = nullptr)
    {
        int sets = 0;
        libpff_error_t* error = nullptr;
        Check(libpff_item_get_number_of_record_sets(item, &sets, &error), error, "record sets");
        if (sets < 1)
            return;
        error = nullptr;
        Check(libpff_item_get_record_set_by_index(item, 0, &FSet, &error), error, "record set");
        int count = 0;
        libpff_record_set_get_number_of_entries(FSet, &count, nullptr);
        FEntries.reserve(count);
        for (int i = 0; i < count; ++i) {
            libpff_record_entry_t* entry = nullptr;
            if (libpff_record_set_get_entry_by_index(FSet, i, &entry, nullptr) != 1)
                continue;
            if (!Add(entry, names))
                libpff_record_entry_free(&entry, nullptr);
        }
    }
    ~Properties()
    {
        for (Entry& e : FEntries)
            libpff_record_entry_free(&e.entry, nullptr);
        if (FSet)
            libpff_record_set_free(&FSet, nullptr);
    }
    Properties(const Properties&) = delete;
    Properties& operator=(const Properties&) = delete;

    const Value* Tag(quint32 id)
    {
        auto it = FTags.constFind(id);
        return it == FTags.cend() ? nullptr : Read(*it);
    }
    const Value* Named(TPropertySet set, quint32 number)
    {
        auto it = FNamed.constFind(SetIndex(set) << 32 | number);
        return it == FNamed.cend() ? nullptr : Read(*it);
    }
    const Value* NamedText(TPropertySet set, const char* name)
    {
        auto it = FNamedText.constFind(QByteArray::number(SetIndex(set)) + '/' + name);
        return it == FNamedText.cend() ? nullptr : Read(*it);
    }
    QString Text(quint32 id)
    {
        const Value* v = Tag(id);
        return v ? ValueText(*v) : QString();
    }
    QByteArray Bytes(quint32 id)
    {
        const Value* v = Tag(id);
        return v ? v->data.toByteArray() : QByteArray();
    }

private:
    struct Entry {
        libpff_record_entry_t* entry = nullptr;
        quint32 valueType = 0;
        bool read = false;
        Value value;
    };

    const Value* Read(int index)
    {
        Entry& e = FEntries[index];
        if (!e.read) {
            e.value = ReadValue(e.entry, e.valueType);
            e.read = true;
        }
        return &e.value;
    }

    bool Add(libpff_record_entry_t* entry, NameCache* names)
    {
        uint32_t entryType = 0;
        uint32_t valueType = 0;
        if (libpff_record_entry_get_entry_type(entry, &entryType, nullptr) != 1
            || libpff_record_entry_get_value_type(entry, &valueType, nullptr) != 1)
            return false;
        const int index = int(FEntries.size());
        if (entryType < 0x8000) {
            FTags.insert(entryType, index);
        } else {
            NamedKey key;
            auto cached = names ? names->constFind(entryType) : NameCache::const_iterator();
            if (names && cached != names->cend()) {
                key = *cached;
            } else {
                key = ResolveName(entry);
                if (names)
                    names->insert(entryType, key);
            }
            if (!key.valid)
                return false;
            if (key.text.isEmpty())
                FNamed.insert(key.number, index);
            else
                FNamedText.insert(key.text, index);
        }
        FEntries.push_back({entry, valueType, false, {}});
        return true;
    }

    libpff_record_set_t* FSet = nullptr;
    std::vector<Entry> FEntries;
    QHash<quint32, int> FTags;
    QHash<quint64, int> FNamed;
    QHash<QByteArray, int> FNamedText;
};

class PffItem : public IItem {
public:
    PffItem(ItemHandle item, const QByteArray& storeRecordKey, NameCache* names)
        : FItem(std::move(item))
        , FProps(FItem.item, names)
        , FRecordKey(storeRecordKey)
    {
        FClass = ClassOfMessageClass(FProps.Text(kMessageClass));
    }

    TItemClass Class() const override { return FClass; }

    QString ContactProperty(const QString& name) override
    {
        const TContactProperty* p = FindContactProperty(name);
        if (!p)
            return {};
        switch (p->kind) {
        case TContactProperty::Tag:
            return FProps.Text(p->id);
        case TContactProperty::Named: {
            const Value* v = FProps.Named(p->set, p->id);
            return v ? ValueText(*v) : QString();
        }
        case TContactProperty::NamedText: {
            const Value* v = FProps.NamedText(p->set, p->text);
            return v ? ValueText(*v) : QString();
        }
        case TContactProperty::Composed:
            return ComposeContactName(name, [this](const QString& part) { return ContactProperty(part); });
        case TContactProperty::EntryId: {
            // As Outlook gives it: four flag bytes, the store's record key, the item's identifier.
            uint32_t id = 0;
            if (FRecordKey.isEmpty() || libpff_item_get_identifier(FItem.item, &id, nullptr) != 1)
                return {};
            QByteArray bytes(4, '\0');
            bytes += FRecordKey;
            for (int i = 0; i < 4; ++i)
                bytes += char((id >> (8 * i)) & 0xFF);
            return HexText(bytes);
        }
        case TContactProperty::Empty:
            break;
        }
        return {};
    }

    QString SenderEmailAddress() override { return FProps.Text(kSenderEmailAddress); }
    QString SenderName() override { return FProps.Text(kSenderName); }

    QString SmtpAddress(const QString& address) override
    {
        if (address.isEmpty())
            return {};
        if (FClass == olMail) {
            if (address.compare(FProps.Text(kSenderEmailAddress), Qt::CaseInsensitive) == 0
                || address.compare(FProps.Text(kSentRepresentingEmailAddress), Qt::CaseInsensitive) == 0) {
                const QString smtp = FProps.Text(kSenderSmtpAddress);
                return smtp.isEmpty() ? FProps.Text(kSentRepresentingSmtpAddress) : smtp;
            }
            return {};
        }
        // A contact's address of another type than SMTP keeps its SMTP form in the original
        // display name beside it.
        for (int n = 1; n <= 3; ++n) {
            const QString prefix = QStringLiteral("Email%1").arg(n);
            if (address.compare(ContactProperty(prefix + QStringLiteral("Address")), Qt::CaseInsensitive) != 0)
                continue;
            if (ContactProperty(prefix + QStringLiteral("AddressType")).compare(QLatin1String("SMTP"), Qt::CaseInsensitive) == 0)
                continue;
            const Value* v = FProps.Named(TPropertySet::Address, 0x8084 + 0x10 * (n - 1));
            const QString smtp = v ? ValueText(*v) : QString();
            if (!smtp.isEmpty())
                return smtp;
        }
        return {};
    }

private:
    ItemHandle FItem;
    Properties FProps;
    QByteArray FRecordKey;
    TItemClass FClass = olUnusable;
};

// A folder's items in the order of its contents table. libpff keeps a folder's items as a sorted
// linked list and finds the item of a table row by walking that list from its start, so asking
// for each position in turn takes time growing with the square of the count (about 0.5 s for
// 10,000 items). The folder's items are therefore fetched once, each list position reached from
// the nearer end (a quarter of the steps, no comparisons), and kept by identifier; a position's
// item is a copy of the kept one.
class PffFolder : public IFolder {
public:
    PffFolder(ItemHandle folder, const QByteArray& storeRecordKey, std::shared_ptr<NameCache> names)
        : FFolder(std::move(folder))
        , FRecordKey(storeRecordKey)
        , FNames(std::move(names))
    {
        int count = 0;
        libpff_error_t* error = nullptr;
        Check(libpff_folder_get_number_of_sub_messages(FFolder.item, &count, &error), error, "item count");
        FCount = count;
        if (count > 0)
            IndexItems();
    }
    int Count() override { return FCount; }
    std::unique_ptr<IItem> Item(int position) override
    {
        if (position < 1 || position > FCount)
            throw EOutlookError(QStringLiteral("no item at %1").arg(position));
        libpff_item_t* item = nullptr;
        libpff_error_t* error = nullptr;
        if (!FRowIds.empty()) {
            auto it = FItems.find(FRowIds[size_t(position - 1)]);
            if (it == FItems.end())
                throw EOutlookError(QStringLiteral("no item at %1").arg(position));
            Check(libpff_item_clone(&item, it->second.item, &error), error, "item");
        } else {
            Check(libpff_folder_get_sub_message(FFolder.item, position - 1, &item, &error), error, "item");
        }
        if (!item)
            throw EOutlookError(QStringLiteral("no item at %1").arg(position));
        return std::make_unique<PffItem>(ItemHandle(item), FRecordKey, FNames.get());
    }

private:
    // The identifiers of the contents table's rows, and the folder's items that carry them. When
    // the table cannot be read this way, positions are asked of libpff one by one.
    void IndexItems()
    {
        libpff_item_t* table = nullptr;
        if (libpff_folder_get_sub_messages(FFolder.item, &table, nullptr) != 1 || !table)
            return;
        ItemHandle tableHandle(table);
        int rows = 0;
        if (libpff_item_get_number_of_record_sets(table, &rows, nullptr) != 1 || rows != FCount)
            return;
        std::vector<quint32> ids;
        ids.reserve(size_t(rows));
        std::unordered_map<quint32, ItemHandle> items;
        items.reserve(size_t(rows));
        for (int i = 0; i < rows; ++i) {
            libpff_record_set_t* set = nullptr;
            if (libpff_item_get_record_set_by_index(table, i, &set, nullptr) != 1)
                return;
            libpff_record_entry_t* entry = nullptr;
            uint32_t id = 0;
            const int found = libpff_record_set_get_entry_by_type(set, kRowId, 0x0003, &entry, 0, nullptr);
            const bool read = found == 1 && libpff_record_entry_get_data_as_32bit_integer(entry, &id, nullptr) == 1;
            if (entry)
                libpff_record_entry_free(&entry, nullptr);
            libpff_record_set_free(&set, nullptr);
            if (!read)
                return;
            ids.push_back(id);
            items.emplace(id, ItemHandle());
        }
        int children = 0;
        if (libpff_item_get_number_of_sub_items(FFolder.item, &children, nullptr) != 1)
            return;
        for (int k = 0; k < children; ++k) {
            libpff_item_t* child = nullptr;
            if (libpff_item_get_sub_item(FFolder.item, k, &child, nullptr) != 1 || !child)
                return;
            ItemHandle handle(child);
            uint32_t id = 0;
            if (libpff_item_get_identifier(child, &id, nullptr) != 1)
                return;
            auto it = items.find(id);
            if (it != items.end())
                it->second = std::move(handle);
        }
        for (const auto& [id, handle] : items) {
            if (!handle.item)
                return;
        }
        FRowIds = std::move(ids);
        FItems = std::move(items);
    }

    static constexpr quint32 kRowId = 0x67F2;

    ItemHandle FFolder;
    QByteArray FRecordKey;
    std::shared_ptr<NameCache> FNames;
    int FCount = 0;
    std::vector<quint32> FRowIds;
    std::unordered_map<quint32, ItemHandle> FItems;
};

class PffFile : public IDataFile {
public:
    explicit PffFile(const QString& fileName)
    {
        libpff_error_t* error = nullptr;
        Check(libpff_file_initialize(&FFile, &error), error, "initialize");
        error = nullptr;
        const QByteArray name = QFile::encodeName(fileName);
        if (libpff_file_open(FFile, name.constData(), libpff_get_access_flags_read(), &error) != 1) {
            const QString text = ErrorText(error);
            libpff_file_free(&FFile, nullptr);
            throw EOutlookError(QStringLiteral("open: ") + text);
        }
    }
    ~PffFile() override
    {
        FFolders.clear();
        FStore = ItemHandle();
        libpff_file_close(FFile, nullptr);
        libpff_file_free(&FFile, nullptr);
    }

    void OpenMessageStore() override
    {
        libpff_item_t* store = nullptr;
        libpff_error_t* error = nullptr;
        if (Check(libpff_file_get_message_store(FFile, &store, &error), error, "message store") != 1 || !store)
            throw EOutlookError(QStringLiteral("the file has no message store"));
        FStore = ItemHandle(store);
        Properties props(store);
        FStoreName = props.Text(kDisplayName);
        FRecordKey = props.Bytes(kRecordKey);
        const QByteArray subtree = props.Bytes(kIpmSubtreeEntryId);
        if (subtree.size() < 4)
            throw EOutlookError(QStringLiteral("the message store names no IPM subtree"));
        FSubtreeId = quint8(subtree[subtree.size() - 4]) | quint8(subtree[subtree.size() - 3]) << 8
                     | quint8(subtree[subtree.size() - 2]) << 16 | quint32(quint8(subtree[subtree.size() - 1])) << 24;
    }

    TFileType FileType() override
    {
        uint8_t type = 0;
        libpff_error_t* error = nullptr;
        Check(libpff_file_get_type(FFile, &type, &error), error, "file type");
        switch (type) {
        case LIBPFF_FILE_TYPE_32BIT:
            return TFileType::Ansi32;
        case LIBPFF_FILE_TYPE_64BIT:
            return TFileType::Unicode64;
        case LIBPFF_FILE_TYPE_64BIT_4K_PAGE:
            return TFileType::Unicode64Page4k;
        default:
            return TFileType::Other;
        }
    }

    TFolderNode FolderTree() override
    {
        if (!FStore.item)
            OpenMessageStore();
        TFolderNode root;
        root.name = FStoreName;
        root.id = FSubtreeId;
        FFolders.clear();
        ItemHandle subtree = ItemById(FSubtreeId);
        int items = 0;
        libpff_folder_get_number_of_sub_messages(subtree.item, &items, nullptr);
        root.itemCount = items;
        root.children = Children(subtree.item);
        FFolders.emplace(FSubtreeId, std::move(subtree));
        return root;
    }

    std::unique_ptr<IFolder> Folder(quint32 id) override
    {
        // A folder of the tree has read its contents table for the count already.
        auto it = FFolders.find(id);
        if (it == FFolders.end())
            return std::make_unique<PffFolder>(ItemById(id), FRecordKey, FNames);
        ItemHandle folder = std::move(it->second);
        FFolders.erase(it);
        return std::make_unique<PffFolder>(std::move(folder), FRecordKey, FNames);
    }

private:
    ItemHandle ItemById(quint32 id)
    {
        libpff_item_t* item = nullptr;
        libpff_error_t* error = nullptr;
        if (Check(libpff_file_get_item_by_identifier(FFile, id, &item, &error), error, "folder") != 1 || !item)
            throw EOutlookError(QStringLiteral("no folder %1").arg(id));
        return ItemHandle(item);
    }

    QList<TFolderNode> Children(libpff_item_t* folder)
    {
        QList<TFolderNode> nodes;
        int count = 0;
        libpff_error_t* error = nullptr;
        Check(libpff_folder_get_number_of_sub_folders(folder, &count, &error), error, "sub-folders");
        for (int i = 0; i < count; ++i) {
            libpff_item_t* sub = nullptr;
            error = nullptr;
            Check(libpff_folder_get_sub_folder(folder, i, &sub, &error), error, "sub-folder");
            ItemHandle handle(sub);
            uint32_t id = 0;
            libpff_item_get_identifier(sub, &id, nullptr);
            Properties props(sub);
            // Search folders (by their identifier's type or their folder type) are not shown.
            const Value* type = props.Tag(kFolderType);
            if ((id & 0x1F) == 0x03 || (type && type->data.toLongLong() == kSearchFolder))
                continue;
            TFolderNode node;
            node.id = id;
            node.name = props.Text(kDisplayName);
            int items = 0;
            libpff_folder_get_number_of_sub_messages(sub, &items, nullptr);
            node.itemCount = items;
            node.children = Children(sub);
            nodes.append(node);
            FFolders.emplace(id, std::move(handle));
        }
        return nodes;
    }

    libpff_file_t* FFile = nullptr;
    ItemHandle FStore;
    QString FStoreName;
    QByteArray FRecordKey;
    std::shared_ptr<NameCache> FNames = std::make_shared<NameCache>();
    std::unordered_map<quint32, ItemHandle> FFolders;  // the folders of the last tree
    quint32 FSubtreeId = 0;
};

} // namespace

std::unique_ptr<IDataFile> OpenDataFile(const QString& fileName)
{
    return std::make_unique<PffFile>(fileName);
}

} // namespace outlook
