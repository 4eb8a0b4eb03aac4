#include "controls/ChmHelp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStringDecoder>
#include <QtEndian>
#include <chm_lib.h>

// ---------------------------------------------------------------------------------------------
// TChmFile

TChmFile::TChmFile(const QString& fileName) : FFileName(fileName)
{
    FHandle = chm_open(QFile::encodeName(fileName).constData());
}

TChmFile::~TChmFile()
{
    if (FHandle)
        chm_close(FHandle);
}

QByteArray TChmFile::Read(const QString& path) const
{
    if (!FHandle)
        return QByteArray();
    chmUnitInfo ui;
    const QByteArray p = path.toUtf8();
    if (chm_resolve_object(FHandle, p.constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return QByteArray();
    if (ui.length > 64 * 1024 * 1024)
        return QByteArray();
    QByteArray data(qsizetype(ui.length), Qt::Uninitialized);
    const LONGINT64 got = chm_retrieve_object(FHandle, &ui, reinterpret_cast<unsigned char*>(data.data()), 0, LONGINT64(ui.length));
    data.truncate(got > 0 ? qsizetype(got) : 0);
    return data;
}

bool TChmFile::Exists(const QString& path) const
{
    if (!FHandle)
        return false;
    chmUnitInfo ui;
    return chm_resolve_object(FHandle, path.toUtf8().constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

static int CollectPage(chmFile*, chmUnitInfo* ui, void* context)
{
    const QString path = QString::fromUtf8(ui->path);
    if (path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) || path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        static_cast<QStringList*>(context)->append(path);
    return CHM_ENUMERATOR_CONTINUE;
}

QStringList TChmFile::Pages() const
{
    QStringList pages;
    if (FHandle)
        chm_enumerate(FHandle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, CollectPage, &pages);
    return pages;
}

QString TChmFile::DefaultTopic() const
{
    // #SYSTEM: a 32-bit version, then records of (16-bit code, 16-bit length, data); code 2 is
    // the default topic.
    const QByteArray sys = Read(QStringLiteral("/#SYSTEM"));
    int pos = 4;
    while (pos + 4 <= sys.size()) {
        const quint16 code = qFromLittleEndian<quint16>(sys.constData() + pos);
        const quint16 len = qFromLittleEndian<quint16>(sys.constData() + pos + 2);
        pos += 4;
        if (pos + len > sys.size())
            break;
        if (code == 2) {
            QByteArray topic = sys.mid(pos, len);
            const int nul = topic.indexOf('\0');
            if (nul >= 0)
                topic.truncate(nul);
            if (!topic.isEmpty())
                return topic.startsWith('/') ? QString::fromLatin1(topic) : QLatin1Char('/') + QString::fromLatin1(topic);
        }
        pos += len;
    }
    const QStringList pages = Pages();
    return pages.isEmpty() ? QString() : pages.first();
}

QString TChmFile::TopicOfContext(quint32 context) const
{
    // #IVB: a 32-bit length, then pairs of (context id, offset of the page name in #STRINGS).
    const QByteArray ivb = Read(QStringLiteral("/#IVB"));
    const QByteArray strings = Read(QStringLiteral("/#STRINGS"));
    if (ivb.size() < 4)
        return QString();
    const int end = qMin(int(ivb.size()), 4 + int(qFromLittleEndian<quint32>(ivb.constData())));
    for (int pos = 4; pos + 8 <= end; pos += 8) {
        if (qFromLittleEndian<quint32>(ivb.constData() + pos) != context)
            continue;
        const quint32 offset = qFromLittleEndian<quint32>(ivb.constData() + pos + 4);
        if (offset >= quint32(strings.size()))
            return QString();
        const int nul = strings.indexOf('\0', int(offset));
        const QString name = QString::fromLatin1(strings.mid(int(offset), nul < 0 ? -1 : nul - int(offset)));
        // Some compilers record the page with the folder it was compiled from; the page is the
        // longest tail of that path that the file holds.
        const QStringList parts = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (int first = 0; first < parts.size(); ++first) {
            const QString candidate = QLatin1Char('/') + parts.mid(first).join(QLatin1Char('/'));
            if (Exists(candidate))
                return candidate;
        }
        return QString();
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// TChmHelpWindow

TChmHelpWindow::TChmHelpWindow(QWidget* parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Hilfe"));
    resize(760, 560);
    setOpenExternalLinks(true);
}

TChmHelpWindow::~TChmHelpWindow() = default;

bool TChmHelpWindow::ShowPage(const QString& chmFile, const QString& page)
{
    if (!FFile || FFile->FileName() != chmFile)
        FFile = std::make_unique<TChmFile>(chmFile);
    if (!FFile->IsOpen())
        return false;
    QString p = page.isEmpty() ? FFile->DefaultTopic() : page;
    if (!p.startsWith(QLatin1Char('/')))
        p.prepend(QLatin1Char('/'));
    if (!FFile->Exists(p))
        return false;
    setWindowTitle(QStringLiteral("Hilfe - ") + QFileInfo(chmFile).fileName());
    setSource(QUrl(QStringLiteral("chm:") + p));
    return true;
}

QString TChmHelpWindow::CurrentFile() const { return FFile ? FFile->FileName() : QString(); }

QString TChmHelpWindow::CurrentPage() const { return source().path(); }

QVariant TChmHelpWindow::loadResource(int type, const QUrl& name)
{
    if (FFile && (name.scheme() == QLatin1String("chm") || name.isRelative())) {
        QString path = name.path();
        if (!path.startsWith(QLatin1Char('/')))
            path.prepend(QLatin1Char('/'));
        const QByteArray data = FFile->Read(path);
        if (!data.isEmpty()) {
            if (type == QTextDocument::HtmlResource) {
                auto decoder = QStringDecoder(QStringDecoder::Utf8);
                QString text = decoder.decode(data);
                if (decoder.hasError())
                    text = QString::fromLatin1(data);
                return text;
            }
            return data;
        }
    }
    return QTextBrowser::loadResource(type, name);
}

// ---------------------------------------------------------------------------------------------
// The backend

std::function<void(QWidget*, const QString&)>& ChmHelpMessage()
{
    static std::function<void(QWidget*, const QString&)> show = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QStringLiteral("Hilfe"), text);
    };
    return show;
}

namespace {

// Reads the text of a pop-up topic (".topic <id>" blocks of the pop-up topics file).
QString PopupText(const TChmFile& file, const QString& topicsPath, quint32 id)
{
    const QString text = QString::fromLatin1(file.Read(topicsPath));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QString out;
    bool inTopic = false;
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        if (line.startsWith(QLatin1String(".topic"), Qt::CaseInsensitive)) {
            if (inTopic)
                break;
            inTopic = line.mid(6).trimmed().toUInt() == id;
            continue;
        }
        if (inTopic)
            out += (out.isEmpty() ? QString() : QStringLiteral("\n")) + line;
    }
    return out.trimmed();
}

class TChmHelpBackend : public THtmlHelpBackend {
public:
    bool LoadHHCtrl() override { return FLoaded = true; }
    bool HHCtrlLoaded() const override { return FLoaded; }
    void UnloadHHCtrl() override
    {
        delete FWindow;
        FLoaded = false;
    }

    QWidget* HtmlHelp(QWidget* caller, const QString& address, unsigned command, const THelpData& data) override
    {
        if (command == HH_CLOSE_ALL) {
            if (FWindow)
                FWindow->close();
            delete FPopup;
            return nullptr;
        }
        QString file = address, page;
        const int sep = address.indexOf(QLatin1String("::/"));
        if (sep >= 0) {
            file = address.left(sep);
            page = address.mid(sep + 2);
        }
        if (command == HH_DISPLAY_TEXT_POPUP && data.popup.idString == 0)
            return ShowPopupText(caller, data.popup.pszText, data.popup.pt);
        if (!QFileInfo(file).isFile()) {
            ChmHelpMessage()(caller, QStringLiteral("Die Hilfedatei \"%1\" wurde nicht gefunden.").arg(QDir::toNativeSeparators(file)));
            return nullptr;
        }
        if (command == HH_DISPLAY_TEXT_POPUP) {
            TChmFile chm(file);
            const QString text = PopupText(chm, page, data.popup.idString);
            return text.isEmpty() ? nullptr : ShowPopupText(caller, text, data.popup.pt);
        }
        if (command == HH_HELP_CONTEXT) {
            TChmFile chm(file);
            page = chm.TopicOfContext(quint32(data.number));
            if (page.isEmpty()) {
                ChmHelpMessage()(caller, QStringLiteral("Zu diesem Thema (Nummer %1) gibt es in der Hilfedatei keine Seite.").arg(data.number));
                return nullptr;
            }
        } else if (command != HH_DISPLAY_TOPIC) {
            page.clear(); // contents and index open at the start page
        }
        if (!FWindow)
            FWindow = new TChmHelpWindow;
        if (!FWindow->ShowPage(file, page)) {
            ChmHelpMessage()(caller, QStringLiteral("Die Seite \"%1\" fehlt in der Hilfedatei.").arg(page));
            return nullptr;
        }
        FWindow->show();
        FWindow->raise();
        return FWindow;
    }

private:
    QWidget* ShowPopupText(QWidget* caller, const QString& text, const QPoint& at)
    {
        if (text.isEmpty())
            return nullptr;
        delete FPopup;
        auto* label = new QLabel(text, caller, Qt::ToolTip);
        label->setObjectName(QStringLiteral("HelpPopup"));
        label->setAttribute(Qt::WA_DeleteOnClose);
        label->setWordWrap(true);
        label->setMargin(6);
        label->setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; color: black; border: 1px solid black; }"));
        label->adjustSize();
        label->move(at);
        label->show();
        FPopup = label;
        return label;
    }

    bool FLoaded = false;
    QPointer<TChmHelpWindow> FWindow;
    QPointer<QLabel> FPopup;
};

}

std::unique_ptr<THtmlHelpBackend> CreateChmHelpBackend() { return std::make_unique<TChmHelpBackend>(); }
