// The recipient list text file: a header line of the column names and one line per row, every
// value followed by ";", lines ended by CR LF. Written as UTF-8; read as UTF-8 when the bytes are
// valid UTF-8, otherwise as Windows-1252 (core::TextFileLineReader).
//
// A value that holds ";", a double quote or a line break, or that begins or ends with a blank or
// a control character, is written between double quotes with every double quote doubled (the
// way the CSV import reads it); its line breaks stay as they are. Reading keeps a quoted value
// as written, also across lines; unquoted values are trimmed. So a saved list loads back as the
// same table.
#include "core/TextFile.h"
#include "recipients/RecipientListStore.h"
#include "core/OrvUtils.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <sqlite3.h>

namespace recipients {

namespace {

const QString kInvalidFile = QStringLiteral("Diese Datei ist keine gültige Quillory Empfängerliste. \\n Bitte benutzen Sie den "
                                            "Import Assistenten um diese Liste zu laden.");

// Whether a value must be quoted to read back as it is.
bool NeedsQuotes(const char* text, qsizetype size)
{
    if (size == 0)
        return false;
    if (uchar(text[0]) <= 0x20 || uchar(text[size - 1]) <= 0x20)
        return true;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == ';' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

QByteArray Quoted(const char* text, qsizetype size)
{
    QByteArray out;
    out.reserve(size + 8);
    out += '"';
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] == '"')
            out += '"';
        out += text[i];
    }
    out += '"';
    return out;
}

bool IsTrimmedChar(QChar c) { return c.unicode() <= 0x20; }

// Splits one record of a list file at ";" into its values: unquoted values trimmed, quoted ones
// as written (a doubled quote is one quote), inner empty values kept, a trailing empty value
// dropped. A quoted value still open at the end of the line goes on in the next line, joined by
// the line's own line break.
void ReadRecord(core::TextFileLineReader& reader, QStringView line, QStringList& values)
{
    values.clear();
    qsizetype i = 0;
    for (;;) {
        // Start of a value: leading blanks skipped.
        qsizetype j = i;
        while (j < line.size() && line[j] != QLatin1Char(';') && IsTrimmedChar(line[j]))
            ++j;
        QString value;
        qsizetype k = j;
        const bool quoted = j < line.size() && line[j] == QLatin1Char('"');
        if (quoted) {
            ++k;
            for (;;) {
                if (k >= line.size()) {
                    // The line ends inside the quotes: the value goes on in the next line.
                    const QLatin1StringView end = reader.LineEnd();
                    QStringView next;
                    if (end.isEmpty() || !reader.NextLine(next)) {
                        values.append(value);
                        return;
                    }
                    value += end;
                    line = next;
                    k = 0;
                    continue;
                }
                if (line[k] == QLatin1Char('"')) {
                    if (k + 1 < line.size() && line[k + 1] == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        k += 2;
                        continue;
                    }
                    ++k;
                    break;
                }
                value += line[k++];
            }
        }
        // Up to the separator (after a closing quote: appended), trimmed.
        qsizetype e = k;
        while (e < line.size() && line[e] != QLatin1Char(';'))
            ++e;
        QStringView rest = line.mid(k, e - k);
        while (!rest.isEmpty() && IsTrimmedChar(rest.front()))
            rest = rest.mid(1);
        while (!rest.isEmpty() && IsTrimmedChar(rest.back()))
            rest.chop(1);
        value += rest;
        const bool last = e >= line.size();
        if (!last || quoted || !value.isEmpty())
            values.append(value);
        if (last)
            return;
        i = e + 1;
        if (i >= line.size())
            return; // the empty value after the last ";" is dropped
    }
}

} // namespace

bool TRecipientListStore::SaveToFile(const QString& fileName)
{
    if (m_table.isEmpty())
        return false;
    if (QFileInfo::exists(fileName) &&
        Ask(QStringLiteral("Die Datei \"") + fileName + QStringLiteral("' existert bereits. Möchten Sie sie überschreiben?"),
            TAskButtons::OkCancel) != TAnswer::Ok)
        return false;
    if (m_prompts)
        m_prompts->Busy(true);
    bool ok = false;
    try {
        if (m_dataSet->Active())
            m_dataSet->CheckBrowseMode();
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly))
            throw db::EDatabaseError(file.errorString());
        // The rows in the list's current order: the dataset's own statement.
        db::Statement read(m_conn, m_dataSet->CommandText());
        QList<int> columns;
        QString line;
        for (int i = 0; i < read.ColumnCount(); ++i) {
            if (read.ColumnName(i).compare(QLatin1String("_ID"), Qt::CaseInsensitive) == 0)
                continue;
            columns << i;
            const QByteArray name = read.ColumnName(i).toUtf8();
            line += QString::fromUtf8(NeedsQuotes(name.constData(), name.size()) ? Quoted(name.constData(), name.size()) : name) +
                    QLatin1Char(';');
        }
        line += QLatin1String("\r\n");
        // The lines are written into a buffer of its own (a QByteArray append per field cost
        // as much as reading the rows) and go to the file a megabyte at a time.
        constexpr qsizetype Chunk = 1 << 20;
        std::vector<char> buffer(size_t(Chunk) + 4096);
        qsizetype used = 0;
        auto writeOut = [&] {
            if (file.write(buffer.data(), used) != used)
                throw db::EDatabaseError(file.errorString());
            used = 0;
        };
        auto put = [&](const char* text, qsizetype size) {
            if (used + size > qsizetype(buffer.size())) {
                writeOut();
                if (size > qsizetype(buffer.size()))
                    buffer.resize(size_t(size));
            }
            memcpy(buffer.data() + used, text, size_t(size));
            used += size;
        };
        const QByteArray head = line.toUtf8();
        put(head.constData(), head.size());
        sqlite3_stmt* stmt = read.Handle();
        // The connection's lock is held while the rows are read, so each value is read without
        // taking it again.
        sqlite3_mutex* lock = sqlite3_db_mutex(m_conn.Handle());
        sqlite3_mutex_enter(lock);
        const auto unlock = qScopeGuard([lock] { sqlite3_mutex_leave(lock); });
        while (read.Step()) {
            for (int i : columns) {
                // Text and whole numbers as the database holds them (UTF-8); anything else as
                // its text.
                sqlite3_value* value = sqlite3_column_value(stmt, i);
                switch (sqlite3_value_type(value)) {
                case SQLITE_NULL:
                    break;
                case SQLITE_INTEGER:
                    put(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
                    break;
                case SQLITE_TEXT: {
                    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
                    const qsizetype size = sqlite3_value_bytes(value);
                    if (NeedsQuotes(text, size)) {
                        const QByteArray quoted = Quoted(text, size);
                        put(quoted.constData(), quoted.size());
                    } else {
                        put(text, size);
                    }
                    break;
                }
                default: {
                    const QByteArray text = read.Column(i).toString().toUtf8();
                    if (NeedsQuotes(text.constData(), text.size())) {
                        const QByteArray quoted = Quoted(text.constData(), text.size());
                        put(quoted.constData(), quoted.size());
                    } else {
                        put(text.constData(), text.size());
                    }
                }
                }
                put(";", 1);
            }
            put("\r\n", 2);
            if (used >= Chunk)
                writeOut();
        }
        writeOut();
        if (!file.commit())
            throw db::EDatabaseError(file.errorString());
        ok = true;
    } catch (const std::exception&) {
        Message(QStringLiteral("Datei kann nicht gespeichert werden: ") + fileName);
    }
    if (m_prompts)
        m_prompts->Busy(false);
    return ok;
}

bool TRecipientListStore::LoadFromFile(const QString& fileName)
{
    if (!QFileInfo::exists(fileName)) {
        if (m_prompts)
            m_prompts->Warning(QStringLiteral("Die Datei \"") + fileName +
                               QStringLiteral("\" konnte nicht gefunden werden. Bitte überprüfen Sie den Dateinamen."));
        return false;
    }
    const QString openFailed = QStringLiteral("Die angegebene Datei konnte nicht geöffnet werden: ") + fileName;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Message(openFailed + QStringLiteral(" (") + file.errorString() + QLatin1Char(')'));
        return false;
    }
    // Read in pieces: the encoding is decided over the whole file first, then the lines are
    // decoded and inserted piece by piece, so memory stays flat however long the list is.
    core::TextFileLineReader reader(file);
    if (!reader.ErrorString().isEmpty()) {
        Message(openFailed + QStringLiteral(" (") + reader.ErrorString() + QLatin1Char(')'));
        return false;
    }

    // The header: the fixed names first, then columns the column rule accepts.
    QStringView line;
    QStringList header;
    if (reader.NextLine(line))
        ReadRecord(reader, line, header);
    for (int i = 0; i < FixedColumns.size(); ++i) {
        if (i >= header.size() || header[i].compare(FixedColumns[i], Qt::CaseInsensitive) != 0) {
            Message(kInvalidFile);
            return false;
        }
    }
    const QStringList extras = header.mid(FixedColumns.size());
    QStringList existing = FixedColumns;
    for (const QString& c : extras) {
        if (!ColumnNameProblem(c, existing).isEmpty()) {
            Message(kInvalidFile);
            return false;
        }
        existing << c;
    }

    if (m_prompts)
        m_prompts->Busy(true);
    bool replaced = false;
    try {
        CloseList();
        DropTableIfExists(TEMP);
        CreateListTableWithColumns(TEMP, extras);
        OpenList(TEMP);
        replaced = true;
        BeginBulkInsert();
        try {
            // The rows go in many at a time through one prepared multi-row INSERT, their values
            // bound as UTF-8. When the database refuses such a statement (it then changes
            // nothing), its rows are inserted one by one, so a refused row is named as before.
            // Rows that InsertRow would refuse or stop at take the one-row path too, after the
            // rows before them.
            if (!m_insert)
                PrepareInsertCommand();
            if (!m_insert)
                throw db::EDatabaseError(QStringLiteral("Es ist keine Empfängerliste geöffnet."));
            const int columns = int(m_insertColumns.size());
            const int maxParams = sqlite3_limit(m_conn.Handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
            const int batchRows = std::clamp(maxParams / std::max(columns, 1), 1, 64);
            std::unique_ptr<db::Statement> batchInsert;
            if (batchRows > 1 && columns > 0) {
                QStringList quoted;
                for (const QString& c : m_insertColumns)
                    quoted << db::QuoteName(c);
                const QString tuple = QLatin1Char('(') + QStringLiteral("?,").repeated(columns - 1) + QStringLiteral("?)");
                QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(db::QuoteName(m_table), quoted.join(','));
                for (int r = 0; r < batchRows; ++r)
                    sql += (r ? QStringLiteral(",") : QString()) + tuple;
                batchInsert = std::make_unique<db::Statement>(m_conn, sql);
            }
            std::vector<QStringList> pending;
            pending.reserve(size_t(batchRows));
            std::vector<int> statuses;
            statuses.reserve(size_t(batchRows));
            QByteArray utf8;           // the texts of the pending rows, one after the other
            std::vector<qsizetype> ends; // where each pending text ends in utf8
            QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
            QString error;
            const auto insertOne = [&](const QStringList& row) {
                if (!InsertRow(row, &error))
                    Message(error);
            };
            const auto flush = [&] {
                if (pending.empty())
                    return;
                bool done = false;
                if (batchInsert && int(pending.size()) == batchRows) {
                    // the connection's lock held once for the whole statement, not per value
                    sqlite3_mutex* lock = sqlite3_db_mutex(m_conn.Handle());
                    sqlite3_mutex_enter(lock);
                    const auto unlock = qScopeGuard([lock] { sqlite3_mutex_leave(lock); });
                    int param = 1;
                    size_t text = 0;
                    qsizetype from = 0;
                    for (size_t r = 0; r < pending.size(); ++r) {
                        for (int i = 0; i < columns; ++i, ++param) {
                            if (i == m_statusColumn) {
                                batchInsert->Bind(param, statuses[r]);
                            } else {
                                const qsizetype to = ends[text++];
                                batchInsert->BindUtf8(param, QByteArrayView(utf8.constData() + from, to - from), false);
                                from = to;
                            }
                        }
                    }
                    try {
                        batchInsert->Step();
                        done = true;
                    } catch (const db::EDatabaseError&) {
                    }
                    batchInsert->Reset();
                }
                if (!done) {
                    for (const QStringList& row : pending)
                        insertOne(row);
                }
                pending.clear();
                statuses.clear();
                utf8.resize(0);
                ends.clear();
                BulkPiece();
            };
            QStringList values;
            while (reader.NextLine(line)) {
                if (line.trimmed().isEmpty())
                    continue; // a blank line holds no recipient
                ReadRecord(reader, line, values);
                int status = 0;
                bool plain = values.size() <= columns;
                if (plain && m_statusColumn >= 0) {
                    const QString t = values.value(m_statusColumn).trimmed();
                    if (t == QLatin1String("1") || t == QLatin1String("2"))
                        status = t.toInt();
                    else
                        plain = t.isEmpty() || t == QLatin1String("0");
                }
                if (!plain) {
                    flush();
                    insertOne(values);
                    continue;
                }
                for (int i = 0; i < columns; ++i) {
                    if (i == m_statusColumn)
                        continue;
                    if (i < values.size()) {
                        const QString& v = values[i];
                        const qsizetype at = utf8.size();
                        utf8.resize(at + encoder.requiredSpace(v.size()));
                        char* end = encoder.appendToBuffer(utf8.data() + at, v);
                        utf8.resize(end - utf8.constData());
                    }
                    ends.push_back(utf8.size());
                }
                statuses.push_back(status);
                pending.push_back(std::move(values));
                values = QStringList();
                if (int(pending.size()) == batchRows)
                    flush();
            }
            flush();
            if (!reader.ErrorString().isEmpty())
                throw db::EDatabaseError(reader.ErrorString());
        } catch (...) {
            EndBulkInsert(); // the rows before the failing line stay
            throw;
        }
        EndBulkInsert();
    } catch (const std::exception& e) {
        const QString reason = dynamic_cast<const db::EDatabaseError*>(&e) ? static_cast<const db::EDatabaseError&>(e).message()
                                                                           : QString::fromLocal8Bit(e.what());
        Message(openFailed + QStringLiteral(" (") + reason + QLatin1Char(')'));
        if (!replaced) {
            try {
                NewUnsavedList();
            } catch (const db::EDatabaseError&) {
            }
        }
    }
    try {
        Requery();
    } catch (const db::EDatabaseError&) {
    }
    if (m_prompts)
        m_prompts->Busy(false);
    return replaced;
}

} // namespace recipients
