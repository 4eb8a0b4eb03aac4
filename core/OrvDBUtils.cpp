#include "OrvDBUtils.h"

#include <QFileInfo>
#include <QtDebug>
#include <sqlite3.h>

namespace core {

double MdacVersionFromText(const QString& versionText, const QLocale& locale)
{
    QString text = versionText.left(3);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        text[dot] = QLatin1Char(',');
    QLocale strict = locale;
    strict.setNumberOptions(strict.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = strict.toDouble(text, &ok);
    return ok ? v : 0.0;
}

double GetMdacVersion()
{
    try {
        return MdacVersionFromText(QString::fromLatin1(sqlite3_libversion()), QLocale());
    } catch (...) {
        return 0.0;
    }
}

void CreateAccessDatabase(const QString& fileName)
{
    qDebug().noquote() << QStringLiteral("DBConnection REsult:") + fileName;
    if (QFileInfo::exists(fileName))
        return;
    db::Connection conn;
    conn.Open(fileName, db::OpenMode::CreateIfMissing);
}

QString QuoteIdentifier(const QString& name, const QString& connectionString)
{
    const bool plain = std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.isLetter() || c.isDigit() || c == QLatin1Char('_');
    });
    if (plain)
        return name;
    QString n = name;
    if (connectionString.contains(QLatin1String(".Jet."), Qt::CaseInsensitive))
        return QLatin1Char('[') + n.replace(QLatin1Char(']'), QLatin1String("]]")) + QLatin1Char(']');
    return QLatin1Char('"') + n.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

} // namespace core
