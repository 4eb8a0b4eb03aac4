#include "OrvUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace core {

int CountChar(const QString& s, QChar c)
{
    return int(std::count(s.cbegin(), s.cend(), c));
}

void ReplaceAllText(QString& s, const QString& oldText, const QString& newText)
{
    if (oldText.isEmpty())
        return;
    s.replace(oldText, newText, Qt::CaseInsensitive);
}

QString Blanks(int n)
{
    return n > 0 ? QString(n, QLatin1Char(' ')) : QString();
}

QString IncludeTrailingChar(const QString& s, QChar c)
{
    if (s.isEmpty() || s.back() == c)
        return s;
    return s + c;
}

namespace {
// Blanks and control characters, as trimmed from items.
bool IsTrimmed(QChar c) { return c.unicode() <= 0x20; }

QString TrimmedPart(const QString& s, qsizetype from, qsizetype to)
{
    while (from < to && IsTrimmed(s[from]))
        ++from;
    while (to > from && IsTrimmed(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}
} // namespace

void SplitString(const QString& text, const QString& separator, QStringList& list)
{
    if (separator.isEmpty()) {
        const QString t = TrimmedPart(text, 0, text.size());
        if (!t.isEmpty())
            list.append(t);
        return;
    }
    // Split first, trim each item afterwards: trimming the rest before searching would swallow
    // separators that are blanks or tabs themselves (empty fields of a tab-separated line).
    qsizetype from = 0;
    for (;;) {
        const qsizetype pos = text.indexOf(separator, from);
        if (pos < 0)
            break;
        list.append(TrimmedPart(text, from, pos));
        from = pos + separator.size();
    }
    const QString last = TrimmedPart(text, from, text.size());
    if (!last.isEmpty())
        list.append(last);
}

// ---- version -------------------------------------------------------------------------------

namespace {
QString& ProductVersion()
{
    static QString v;
    return v;
}
QString& FileVersion()
{
    static QString v;
    return v;
}
} // namespace

void SetProgramVersion(const QString& productVersion, const QString& fileVersion)
{
    ProductVersion() = productVersion;
    FileVersion() = fileVersion;
}

QString FormatVersionText(bool productOnly, const QString& productVersion, const QString& fileVersion)
{
    QString result = productVersion;
    if ((!productOnly || result.isEmpty()) && !fileVersion.isEmpty())
        result = result.isEmpty() ? fileVersion : result + QStringLiteral("   (") + fileVersion + QLatin1Char(')');
    return result;
}

QString GetVersionText(bool productOnly, const QString& fileName)
{
    if (!fileName.isEmpty()) {
        const QString own = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
        if (own.isEmpty() || QFileInfo(fileName).canonicalFilePath() != own)
            return QString();
    }
    return FormatVersionText(productOnly, ProductVersion(), FileVersion());
}

// ---- user and language ---------------------------------------------------------------------

QString GetWindowsUserName()
{
    QString name;
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name)
        name = QString::fromLocal8Bit(found->pw_name);
    if (name.isEmpty())
        name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("LOGNAME");
    return name.left(62);
}

int PrimaryLangId(quint16 langId)
{
    return langId & 0x3FF;
}

// ---- printing ------------------------------------------------------------------------------

PrintLayout LayoutPrintStrings(const QStringList& lines, int h, int pageHeightMm)
{
    PrintLayout layout;
    layout.lineHeight = h + h / 8;
    const int bottom = pageHeightMm * 10 - 100;
    const int footerY = bottom - 100;
    int page = 1;
    int offset = 100;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        layout.lines.append({page, 200, offset, lines[i]});
        offset += layout.lineHeight;
        // A full page gets its footer; the next page begins only when a line is left for it.
        if (offset > bottom - 180 && i + 1 < lines.size()) {
            layout.footers.append({page, 1000, footerY, QStringLiteral("Page %1").arg(page)});
            ++page;
            offset = 100;
        }
    }
    layout.footers.append({page, 1000, footerY, QStringLiteral("Page %1").arg(page)});
    layout.pageCount = page;
    return layout;
}

void PrintStrings(const QStringList& lines, int h)
{
    if (QPrinterInfo::defaultPrinter().isNull())
        throw EPrinter(QStringLiteral("Es ist kein Drucker eingerichtet."));
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    PrintStrings(lines, h, printer);
}

void PrintStrings(const QStringList& lines, int h, QPrinter& printer)
{
    const int pageHeightMm = int(printer.pageLayout().paintRect(QPageLayout::Millimeter).height());
    const PrintLayout layout = LayoutPrintStrings(lines, h, pageHeightMm);

    QPainter painter;
    if (!painter.begin(&printer))
        throw EPrinter(QStringLiteral("Der Druckauftrag konnte nicht gestartet werden."));
    try {
        // Work in 0.1 mm from the top left of the printable area.
        painter.scale(printer.resolution() / 254.0, printer.resolution() / 254.0);
        QFont font(QStringLiteral("Arial"));
        font.setBold(true);
        font.setPixelSize(std::max(1, h));
        painter.setFont(font);
        auto draw = [&](const PrintItem& item) {
            painter.drawText(QRectF(item.x, item.y, 100000, 2.0 * std::max(1, layout.lineHeight)),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, item.text);
        };
        qsizetype nextLine = 0;
        for (int page = 1; page <= layout.pageCount; ++page) {
            if (page > 1 && !printer.newPage())
                throw EPrinter(QStringLiteral("Der Drucker konnte keine neue Seite beginnen."));
            while (nextLine < layout.lines.size() && layout.lines[nextLine].page == page)
                draw(layout.lines[nextLine++]);
            for (const PrintItem& f : layout.footers)
                if (f.page == page)
                    draw(f);
        }
    } catch (...) {
        painter.end();
        throw;
    }
    if (!painter.end())
        throw EPrinter(QStringLiteral("Der Druckauftrag konnte nicht abgeschlossen werden."));
}

// ---- folders and file names ----------------------------------------------------------------

QString GetSpecialFolder(int csidl)
{
    QStandardPaths::StandardLocation loc;
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: loc = QStandardPaths::DesktopLocation; break;
    case CSIDL_PERSONAL: loc = QStandardPaths::DocumentsLocation; break;
    case CSIDL_MYMUSIC: loc = QStandardPaths::MusicLocation; break;
    case CSIDL_MYVIDEO: loc = QStandardPaths::MoviesLocation; break;
    case CSIDL_MYPICTURES: loc = QStandardPaths::PicturesLocation; break;
    case CSIDL_FONTS: loc = QStandardPaths::FontsLocation; break;
    case CSIDL_APPDATA:
    case CSIDL_LOCAL_APPDATA: loc = QStandardPaths::GenericDataLocation; break;
    case CSIDL_PROFILE: loc = QStandardPaths::HomeLocation; break;
    default: return QString();
    }
    return QStandardPaths::writableLocation(loc);
}

QString GetAppDataFolder(const QString& name)
{
    const QString base = GetSpecialFolder(CSIDL_APPDATA);
    if (base.isEmpty())
        return QString();
    const QString path = base + QStringLiteral("/ORV Software/") + name;
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return QString();
    return path;
}

QString MakeValidFileName(const QString& text, QChar c, bool shorten)
{
    QString result = shorten ? text.left(8).replace(QLatin1Char('.'), c) : text;
    static const QString invalid = QStringLiteral("\\/:*?<>|\"");
    for (QChar& ch : result)
        if (invalid.contains(ch))
            ch = c;
    return result;
}

} // namespace core
