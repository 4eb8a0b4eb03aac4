// Access files through mdbtools' C library: tables read by name, values taken from the stored
// bytes so that dates, numbers and currency get our own text forms. The library runs in a child
// process (TChildWork): on a damaged file it may loop for ever or crash.
#include "importwizard/dataaccess/ChildWork.h"
#include "importwizard/dataaccess/ForeignDb.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include <glib.h>
#include <mdbtools.h>

namespace dataaccess {

namespace {

struct MdbHandleDeleter {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleDeleter>;

struct TableDefDeleter {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefDeleter>;

MdbHandlePtr OpenFile(const QString& fileName)
{
    if (!QFileInfo(fileName).isFile())
        throw EForeignDbError(QStringLiteral("Die Datei \"%1\" existiert nicht.").arg(fileName));
    MdbHandlePtr mdb(mdb_open(QFile::encodeName(fileName).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw EForeignDbError(QStringLiteral("Die Datei \"%1\" ist keine lesbare Access-Datenbank.").arg(fileName));
    if (!mdb_read_catalog(mdb.get(), MDB_ANY))
        throw EForeignDbError(QStringLiteral("Das Verzeichnis der Datei \"%1\" kann nicht gelesen werden.").arg(fileName));
    return mdb;
}

template <typename T>
T Stored(const unsigned char* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);  // the files are little-endian, like this machine
    return value;
}

QString TakeString(char* text)
{
    const QString result = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return result;
}

// The reading done in the child: a table's field names, then its rows.
class MdbTableReader {
public:
    MdbTableReader(const QString& fileName, const QString& table)
    {
        FMdb = OpenFile(fileName);
        FTable = ReadTable(FMdb.get(), table);
        for (unsigned i = 0; i < FTable->num_cols; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(FTable->columns, i));
            FFields.append(QString::fromUtf8(col->name));
        }
        mdb_rewind_table(FTable.get());
    }

    static TableDefPtr ReadTable(MdbHandle* mdb, const QString& name)
    {
        QByteArray utf8 = name.toUtf8();
        TableDefPtr table(mdb_read_table_by_name(mdb, utf8.data(), MDB_TABLE));
        if (!table)
            throw EForeignDbError(QStringLiteral("Die Tabelle \"%1\" wurde nicht gefunden.").arg(name));
        if (!mdb_read_columns(table.get()))
            throw EForeignDbError(QStringLiteral("Die Spalten der Tabelle \"%1\" können nicht gelesen werden.").arg(name));
        return table;
    }

    QStringList FieldNames() const { return FFields; }

    bool Fetch(QStringList& values)
    {
        if (!mdb_fetch_row(FTable.get()))
            return false;
        // The row's bytes stand in the handle's page buffer only until the next fetch.
        values.clear();
        for (unsigned i = 0; i < FTable->num_cols; ++i)
            values.append(ValueText(static_cast<MdbColumn*>(g_ptr_array_index(FTable->columns, i))));
        return true;
    }

    int Count()
    {
        int count = 0;
        while (mdb_fetch_row(FTable.get()))
            ++count;
        return count;
    }

private:
    QString ValueText(MdbColumn* col) const
    {
        MdbHandle* mdb = FMdb.get();
        // A Yes/No value lives in the row's null mask: an unset bit is False.
        if (col->col_type == MDB_BOOL)
            return BoolText(col->cur_value_len == 0);
        const int start = col->cur_value_start;
        const int len = col->cur_value_len;
        if (len <= 0)
            return QString();  // null (or an empty text)
        if (start < 0 || len > MDB_PGSIZE || start > MDB_PGSIZE - len)
            return QString();  // a damaged row: nothing readable
        const unsigned char* p = mdb->pg_buf + start;
        auto need = [&](int bytes) { return len >= bytes; };
        switch (col->col_type) {
        case MDB_BYTE:
            return QString::number(p[0]);
        case MDB_INT:
            return need(2) ? QString::number(Stored<qint16>(p)) : QString();
        case MDB_LONGINT:
            return need(4) ? QString::number(Stored<qint32>(p)) : QString();
        case MDB_MONEY:
            return need(8) ? LocaleNumberText(CurrencyText(Stored<qint64>(p))) : QString();
        case MDB_FLOAT:
            return need(4) ? LocaleNumberText(NumberText(Stored<float>(p))) : QString();
        case MDB_DOUBLE:
            return need(8) ? LocaleNumberText(NumberText(Stored<double>(p))) : QString();
        case MDB_DATETIME:
            return need(8) ? DateText(Stored<double>(p)) : QString();
        case MDB_NUMERIC:
            return LocaleNumberText(TrimDecimalText(TakeString(mdb_col_to_string(mdb, mdb->pg_buf, start, col->col_type, len))));
        case MDB_TEXT:
        case MDB_MEMO:
        case MDB_REPID:
            return TakeString(mdb_col_to_string(mdb, mdb->pg_buf, start, col->col_type, len));
        default:
            // Pictures and other binary data have no text for a recipient list.
            return QString();
        }
    }

    MdbHandlePtr FMdb;
    TableDefPtr FTable;
    QStringList FFields;
};

// The cursor of the parent: a child reads the table from its start and sends its rows.
std::unique_ptr<IBackend::ICursor> MdbCursor(const QString& fileName, const QString& table)
{
    return std::make_unique<TChildCursor>(
        [fileName, table](const TChildWork::TSend& send) {
            MdbTableReader reader(fileName, table);
            send(reader.FieldNames());
            QStringList values;
            while (reader.Fetch(values))
                send(values);
        },
        [fileName, table](const TChildWork::TSend& send) {
            MdbTableReader reader(fileName, table);
            send({QString::number(reader.Count())});
        });
}

class MdbBackend : public IBackend {
public:
    explicit MdbBackend(const QString& fileName) : FFileName(fileName)
    {
        TChildWork child([fileName](const TChildWork::TSend& send) {
            MdbHandlePtr mdb = OpenFile(fileName);
            QStringList names;
            for (guint i = 0; i < mdb->num_catalog; ++i) {
                auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
                if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
                    names.append(QString::fromUtf8(entry->object_name));
            }
            send(names);
        });
        if (!child.Next(FTables))
            throw EForeignDbError(TChildWork::DamagedFileMessage());
    }

    QString ProviderName() const override { return JetProvider; }

    QStringList TableNames() override { return FTables; }

    std::unique_ptr<ICursor> Execute(const QString& sql) override
    {
        return MdbCursor(FFileName, TableOfQuery(sql));
    }

private:
    QString FFileName;
    QStringList FTables;
};

} // namespace

std::unique_ptr<IBackend> OpenAccessBackend(const QString& fileName)
{
    return std::make_unique<MdbBackend>(fileName);
}

} // namespace dataaccess
