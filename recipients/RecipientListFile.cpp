// The recipient list text file: a header line of the column names and one line per row, every
// value followed by ";", lines ended by CR LF. Written as UTF-8; read as UTF-8 when the bytes are
// valid UTF-8, otherwise as Windows-1252.
#include "core/TextFile.h"
#include "recipients/RecipientListStore.h"
#include "core/OrvUtils.h"
#include "platform/db/Connection.h"
#include "platform/db/ExtADODataSet.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace recipients {

namespace {

const QString kInvalidFile = QStringLiteral("Diese Datei ist keine gültige Quillory Empfängerliste. \\n Bitte benutzen Sie den "
                                            "Import Assistenten um diese Liste zu laden.");

// The next line of text from pos (CR LF, LF or a lone CR end it); false at the end.
bool NextLine(const QString& text, qsizetype& pos, QStringView& line)
{
    const qsizetype n = text.size();
    if (pos >= n)
        return false;
    const QChar* d = text.constData();
    qsizetype e = pos;
    while (e < n && d[e] != QLatin1Char('\n') && d[e] != QLatin1Char('\r'))
        ++e;
    line = QStringView(d + pos, e - pos);
    if (e < n && d[e] == QLatin1Char('\r') && e + 1 < n && d[e + 1] == QLatin1Char('\n'))
        ++e;
    pos = e + 1;
    return true;
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
            line += read.ColumnName(i) + QLatin1Char(';');
        }
        line += QLatin1String("\r\n");
        QByteArray buffer = line.toUtf8();
        while (read.Step()) {
            line.clear();
            for (int i : columns) {
                const QVariant v = read.Column(i);
                if (!v.isNull())
                    line += v.toString();
                line += QLatin1Char(';');
            }
            line += QLatin1String("\r\n");
            buffer += line.toUtf8();
            if (buffer.size() >= (1 << 20)) {
                if (file.write(buffer) != buffer.size())
                    throw db::EDatabaseError(file.errorString());
                buffer.clear();
            }
        }
        if (file.write(buffer) != buffer.size() || !file.commit())
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
    const QString text = core::DecodeTextFile(file.readAll());
    file.close();

    // The header: the fixed names first, then columns the column rule accepts.
    qsizetype pos = 0;
    QStringView line;
    QStringList header;
    if (NextLine(text, pos, line))
        core::SplitString(line.toString(), QStringLiteral(";"), header);
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
            QStringList values;
            QString error;
            while (NextLine(text, pos, line)) {
                if (line.trimmed().isEmpty())
                    continue; // a blank line holds no recipient
                values.clear();
                core::SplitString(line.toString(), QStringLiteral(";"), values);
                if (!InsertRow(values, &error))
                    Message(error);
            }
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
