#include "importwizard/dataaccess/ForeignDb.h"

#include <QDate>
#include <QLocale>
#include <charconv>
#include <cmath>

namespace dataaccess {

const QString JetProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

QString AccessConnectionString(const QString& fileName)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + fileName
        + QStringLiteral(";Persist Security Info=False");
}

QList<TConnectionPart> SplitConnectionString(const QString& s)
{
    QList<TConnectionPart> parts;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        // The key runs to "=" or to the end of the pair.
        qsizetype j = i;
        while (j < n && s[j] != QLatin1Char('=') && s[j] != QLatin1Char(';'))
            ++j;
        TConnectionPart part;
        part.key = s.mid(i, j - i).trimmed();
        if (j < n && s[j] == QLatin1Char('=')) {
            ++j;
            while (j < n && s[j] == QLatin1Char(' '))
                ++j;
            if (j < n && s[j] == QLatin1Char('{')) {
                // A braced value runs to its closing brace; "}}" stands for "}".
                ++j;
                QString value;
                while (j < n) {
                    if (s[j] == QLatin1Char('}')) {
                        if (j + 1 < n && s[j + 1] == QLatin1Char('}')) {
                            value += QLatin1Char('}');
                            j += 2;
                            continue;
                        }
                        ++j;
                        break;
                    }
                    value += s[j++];
                }
                part.value = value;
                while (j < n && s[j] != QLatin1Char(';'))
                    ++j;
            } else {
                const qsizetype v = j;
                while (j < n && s[j] != QLatin1Char(';'))
                    ++j;
                part.value = s.mid(v, j - v).trimmed();
            }
        }
        part.text = s.mid(start, j - start);
        if (!part.key.isEmpty() || !part.text.trimmed().isEmpty())
            parts.append(part);
        i = j + 1;  // past the ";"
    }
    return parts;
}

QString ConnectionValue(const QString& connectionString, const QString& key)
{
    for (const TConnectionPart& part : SplitConnectionString(connectionString)) {
        if (part.key.compare(key, Qt::CaseInsensitive) == 0)
            return part.value;
    }
    return QString();
}

QString RemovePasswords(const QString& connectionString)
{
    QStringList kept;
    bool removed = false;
    for (const TConnectionPart& part : SplitConnectionString(connectionString)) {
        if (part.key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0
            || part.key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0) {
            removed = true;
            continue;
        }
        kept.append(part.text);
    }
    if (!removed)
        return connectionString;
    QString result = kept.join(QLatin1Char(';'));
    if (connectionString.trimmed().endsWith(QLatin1Char(';')) && !result.isEmpty())
        result += QLatin1Char(';');
    return result;
}

QString AccessFileOf(const QString& connectionString)
{
    if (ConnectionValue(connectionString, QStringLiteral("Provider")).compare(JetProvider, Qt::CaseInsensitive) != 0)
        return QString();
    return ConnectionValue(connectionString, QStringLiteral("Data Source"));
}

QString TableOfQuery(const QString& sql)
{
    static const QString prefix = QStringLiteral("SELECT * FROM  ");
    if (!sql.startsWith(prefix, Qt::CaseInsensitive))
        throw EForeignDbError(QStringLiteral("Die Abfrage wird nicht unterstützt: %1").arg(sql));
    const QString name = sql.mid(prefix.size());
    auto unquote = [&](QChar open, QChar close) -> QString {
        if (name.size() < 2 || name.front() != open || name.back() != close)
            return QString();
        QString inner = name.mid(1, name.size() - 2);
        // Every closing quote inside must be doubled.
        QString out;
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner[i] == close) {
                if (i + 1 >= inner.size() || inner[i + 1] != close)
                    throw EForeignDbError(QStringLiteral("Ungültiger Tabellenname: %1").arg(name));
                ++i;
            }
            out += inner[i];
        }
        return out;
    };
    if (name.startsWith(QLatin1Char('[')))
        return unquote(QLatin1Char('['), QLatin1Char(']'));
    if (name.startsWith(QLatin1Char('"')))
        return unquote(QLatin1Char('"'), QLatin1Char('"'));
    return name;
}

// ---- text forms ----------------------------------------------------------------------------

QString DateText(double stored)
{
    if (!std::isfinite(stored) || std::fabs(stored) > 1e7)
        return QString::number(stored, 'g', 17);
    // The integer part counts days from 30.12.1899; the fraction is the time of that day, also
    // for dates before it (-1.25 is 29.12.1899 06:00).
    const double days = std::trunc(stored);
    qint64 seconds = qint64(std::llround(std::fabs(stored - days) * 86400.0));
    QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    if (seconds >= 86400) {
        seconds -= 86400;
        date = date.addDays(1);
    }
    QString text = QString::asprintf("%02d.%02d.%04d", date.day(), date.month(), date.year());
    if (seconds != 0)
        text += QString::asprintf(" %02d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return text;
}

namespace {

template <typename T>
QString ShortestText(T value)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    char buffer[64];
    // Plain notation for the usual magnitudes, exponent notation beyond them.
    const T magnitude = std::fabs(value);
    const auto format = (magnitude == 0 || (magnitude >= T(1e-5) && magnitude < T(1e15))) ? std::chars_format::fixed
                                                                                             : std::chars_format::general;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

QString DriverFailureCause(const QString& sqlState, const QString& text)
{
    const auto has = [&](const char* words) { return text.contains(QLatin1String(words), Qt::CaseInsensitive); };
    if (has("not a database") || has("file is encrypted") || has("unrecognized database format")
        || has("unknown database format"))
        return QStringLiteral("Die Datei ist keine Datenbank.");
    if (has("malformed") || has("corrupt") || has("damaged"))
        return QStringLiteral("Die Datei ist beschädigt oder kann nicht gelesen werden.");
    if (sqlState == QLatin1String("42S02") || has("no such table") || has("table not found")
        || has("doesn't exist") || has("does not exist"))
        return QStringLiteral("Die Tabelle gibt es in der Datenbank nicht.");
    if (sqlState == QLatin1String("28000") || sqlState == QLatin1String("42000") || has("permission denied")
        || has("access denied") || has("authentication failed") || has("unable to open database"))
        return QStringLiteral("Der Zugriff auf die Datenbank ist nicht erlaubt (keine Berechtigung).");
    if (sqlState == QLatin1String("IM002") || sqlState == QLatin1String("IM003") || has("can't open lib")
        || has("data source name not found"))
        return QStringLiteral("Die Datenquelle oder ihr Treiber ist auf diesem Rechner nicht eingerichtet.");
    if (sqlState.startsWith(QLatin1String("08")) || sqlState == QLatin1String("HYT00"))
        return QStringLiteral("Die Verbindung zur Datenbank ist fehlgeschlagen.");
    return QStringLiteral("Die Datenbank hat einen Fehler gemeldet.");
}

QString NumberText(double value)
{
    return ShortestText(value);
}

QString NumberText(float value)
{
    return ShortestText(value);
}

QString LocaleNumberText(const QString& cText)
{
    static const QString point = QLocale::system().decimalPoint();
    if (point == QLatin1String(".") || point.isEmpty())
        return cText;
    QString text = cText;
    return text.replace(QLatin1Char('.'), point);
}

QString CurrencyText(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    // The magnitude as unsigned, also for the smallest value.
    const quint64 magnitude = negative ? quint64(0) - quint64(tenThousandths) : quint64(tenThousandths);
    QString text = QString::number(magnitude / 10000);
    const quint64 fraction = magnitude % 10000;
    if (fraction != 0)
        text += QLatin1Char('.') + QString::asprintf("%04llu", static_cast<unsigned long long>(fraction));
    text = TrimDecimalText(text);
    return negative ? QLatin1Char('-') + text : text;
}

QString TrimDecimalText(const QString& text)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point < 0)
        return text;
    qsizetype end = text.size();
    while (end > point + 1 && text[end - 1] == QLatin1Char('0'))
        --end;
    if (end == point + 1)
        --end;
    return text.left(end);
}

// ---- connection ----------------------------------------------------------------------------

TForeignConnection::TForeignConnection() = default;
TForeignConnection::~TForeignConnection() = default;

void TForeignConnection::SetConnectionString(const QString& connectionString)
{
    Close();
    FConnectionString = connectionString;
}

void TForeignConnection::Open()
{
    Close();
    const QString file = AccessFileOf(FConnectionString);
    if (!file.isEmpty())
        FBackend = OpenAccessBackend(file);
    else if (!ConnectionValue(FConnectionString, QStringLiteral("Provider")).isEmpty())
        throw EForeignDbError(QStringLiteral("Der Provider \"%1\" wird nicht unterstützt.")
                                  .arg(ConnectionValue(FConnectionString, QStringLiteral("Provider"))));
    else
        FBackend = OpenOdbcBackend(FConnectionString);
    ++FGeneration;
}

void TForeignConnection::Close()
{
    if (FBackend) {
        FBackend.reset();
        ++FGeneration;
    }
}

QString TForeignConnection::ProviderName() const
{
    if (!FBackend)
        throw EForeignDbError(QStringLiteral("Die Datenbankverbindung ist nicht geöffnet."));
    return FBackend->ProviderName();
}

QStringList TForeignConnection::TableNames()
{
    QStringList names;
    for (const QString& name : Backend().TableNames()) {
        if (!name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive))
            names.append(name);
    }
    return names;
}

IBackend& TForeignConnection::Backend()
{
    if (!FBackend)
        throw EForeignDbError(QStringLiteral("Die Datenbankverbindung ist nicht geöffnet."));
    return *FBackend;
}

// ---- query ---------------------------------------------------------------------------------

TForeignQuery::~TForeignQuery() = default;

void TForeignQuery::SetSQL(const QString& sql)
{
    Close();
    FSQL = sql;
}

void TForeignQuery::Open()
{
    Close();
    FCursor = FConnection.Backend().Execute(FSQL);
    FGeneration = FConnection.FGeneration;
    FFields = FCursor->FieldNames();
    First();
}

void TForeignQuery::Close()
{
    FCursor.reset();
    FFields.clear();
    FValues.clear();
    FIndex = -1;
    FEof = true;
    FRecordCount = -1;
}

bool TForeignQuery::Active() const
{
    return FCursor && FConnection.Connected() && FGeneration == FConnection.FGeneration;
}

void TForeignQuery::CheckActive() const
{
    if (!Active())
        throw EForeignDbError(QStringLiteral("Die Abfrage ist nicht geöffnet: %1").arg(FSQL));
}

QStringList TForeignQuery::FieldNames() const
{
    CheckActive();
    return FFields;
}

int TForeignQuery::RecordCount()
{
    CheckActive();
    if (FRecordCount < 0)
        FRecordCount = FCursor->RecordCount();
    return FRecordCount;
}

void TForeignQuery::First()
{
    CheckActive();
    FCursor->Rewind();
    FIndex = -1;
    FEof = false;
    Next();
}

void TForeignQuery::Next()
{
    CheckActive();
    if (FEof)
        return;
    if (FCursor->Fetch()) {
        ++FIndex;
        FValues = FCursor->Values();
    } else {
        FEof = true;
        FValues.clear();
    }
}

bool TForeignQuery::MoveTo(int index)
{
    CheckActive();
    if (index < 0)
        return false;
    if (FEof || index < FIndex)
        First();
    while (!FEof && FIndex < index)
        Next();
    return !FEof && FIndex == index;
}

QStringList TForeignQuery::Values() const
{
    CheckActive();
    if (FEof)
        throw EForeignDbError(QStringLiteral("Kein aktueller Datensatz: %1").arg(FSQL));
    return FValues;
}

} // namespace dataaccess
