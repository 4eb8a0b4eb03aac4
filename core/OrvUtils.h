#pragma once
// Text, file, folder, printing and version routines shared by the whole program. They hold no
// state except the program's own version, registered once at start.
#include <QChar>
#include <QString>
#include <QStringList>
#include <QVector>
#include <stdexcept>

class QPrinter;

namespace core {

// Number of 16-bit units of s that equal c.
int CountChar(const QString& s, QChar c);

// Replaces every occurrence of oldText in s by newText, ignoring case. The inserted text is not
// searched again. An empty oldText changes nothing.
void ReplaceAllText(QString& s, const QString& oldText, const QString& newText);

// n blanks; empty for n <= 0.
QString Blanks(int n);

// Empty for an empty s; s when it already ends with c; otherwise s followed by c.
QString IncludeTrailingChar(const QString& s, QChar c);

// Splits text at separator and appends the items to list (which is not cleared): each item is
// trimmed of blanks and control characters, inner empty items are kept and a trailing empty
// item (text ending with the separator) is dropped.
void SplitString(const QString& text, const QString& separator, QStringList& list);

// ---- version -----------------------------------------------------------------------------

// Registers the program's own version (what the program file carries); called once at start.
void SetProgramVersion(const QString& productVersion, const QString& fileVersion);
// The version text of a program file (empty name: this program). Files other than this program
// carry no version here, so their text is empty.
QString GetVersionText(bool productOnly, const QString& fileName = QString());
// The formatting of GetVersionText: the product version, then "   (" file version ")" unless
// productOnly is set and a product version exists.
QString FormatVersionText(bool productOnly, const QString& productVersion, const QString& fileVersion);

// ---- user and language -------------------------------------------------------------------

// Login name of the user running the program, at most 62 characters.
QString GetWindowsUserName();
// The primary language of a language id: its low 10 bits (7 is German).
int PrimaryLangId(quint16 langId);

// ---- printing ----------------------------------------------------------------------------

class EPrinter : public std::runtime_error {
public:
    explicit EPrinter(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

// Where PrintStrings puts things, in units of 0.1 mm measured down from the top left of the
// printable area of a page.
struct PrintItem {
    int page = 1;   // 1-based
    int x = 0;
    int y = 0;      // top of the text
    QString text;
};
struct PrintLayout {
    int lineHeight = 0;
    int pageCount = 0;
    QVector<PrintItem> lines;
    QVector<PrintItem> footers;  // "Page n", one per page
};
// Layout of PrintStrings for font height h on pages whose printable height is pageHeightMm.
PrintLayout LayoutPrintStrings(const QStringList& lines, int h, int pageHeightMm);

// Prints the lines in bold Arial of height h (0.1 mm) on the default printer, in one job, with
// "Page n" at the foot of every page. Raises EPrinter when there is no printer or printing fails;
// the job is ended in every case.
void PrintStrings(const QStringList& lines, int h);
// The same on a given printer (for example one that writes a PDF file).
void PrintStrings(const QStringList& lines, int h, QPrinter& printer);

// ---- folders and file names --------------------------------------------------------------

// Shell folder ids understood by GetSpecialFolder.
enum SpecialFolder : int {
    CSIDL_DESKTOPDIRECTORY = 0x0010,
    CSIDL_DESKTOP = 0x0000,
    CSIDL_PERSONAL = 0x0005,
    CSIDL_MYMUSIC = 0x000d,
    CSIDL_MYVIDEO = 0x000e,
    CSIDL_FONTS = 0x0014,
    CSIDL_APPDATA = 0x001a,
    CSIDL_LOCAL_APPDATA = 0x001c,
    CSIDL_MYPICTURES = 0x0027,
    CSIDL_PROFILE = 0x0028,
};
// The file-system folder of a shell folder id (XDG folders); empty when there is none.
QString GetSpecialFolder(int csidl);
// The program's data folder: the user's application-data folder + "/ORV Software/" + name,
// created when missing; empty when it cannot be created.
QString GetAppDataFolder(const QString& name);

// text (with shorten: its first 8 characters, "." replaced by c) with each of \ / : * ? < > | "
// replaced by c.
QString MakeValidFileName(const QString& text, QChar c, bool shorten);

} // namespace core
