#include "controls/HelpRouter.h"

#include "platform/app/Application.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

namespace {
std::unique_ptr<THtmlHelpBackend>& BackendSlot()
{
    static std::unique_ptr<THtmlHelpBackend> backend;
    return backend;
}
THelpRouter* g_router = nullptr;
QString g_helpFile;
bool g_helpFileSet = false;

QString PopupTopicsName(const QString& topics) { return topics.isEmpty() ? QStringLiteral("CSHelp.txt") : topics; }
}

bool THtmlHelpBackend::WinHelp(QWidget*, const QString&, unsigned, const THelpData&) { return false; }

THtmlHelpBackend& HelpBackend()
{
    if (!BackendSlot())
        BackendSlot() = CreateChmHelpBackend();
    return *BackendSlot();
}

void SetHelpBackend(std::unique_ptr<THtmlHelpBackend> backend) { BackendSlot() = std::move(backend); }

THelpEvent& ApplicationOnHelp()
{
    static THelpEvent onHelp;
    return onHelp;
}

QString ApplicationHelpFile()
{
    if (!g_helpFileSet)
        if (platform::Application* app = platform::Application::Instance())
            return app->HelpFile();
    return g_helpFile;
}

void SetApplicationHelpFile(const QString& file)
{
    g_helpFile = file;
    g_helpFileSet = true;
    if (platform::Application* app = platform::Application::Instance())
        app->SetHelpFile(file);
}

bool ApplicationHelpCommand(unsigned command, qintptr data)
{
    bool callHelp = true;
    if (ApplicationOnHelp())
        return ApplicationOnHelp()(command, data, callHelp);
    return false;
}

int WidgetHelpContext(const QWidget* w)
{
    for (; w; w = w->parentWidget()) {
        const int ctx = w->property("HelpContext").toInt();
        if (ctx != 0)
            return ctx;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

THelpRouter::THelpRouter(QWidget* owner) : QObject(owner), FOwner(owner)
{
    if (g_router)
        throw EHelpRouterError(QStringLiteral("Multiple instances of THelpRouter are not allowed"));
    FPreviousOnHelp = ApplicationOnHelp();
    ApplicationOnHelp() = [this](unsigned c, qintptr d, bool& call) { return HelpHook(c, d, call); };
    g_router = this;
    if (qApp)
        qApp->installEventFilter(this);
}

THelpRouter::~THelpRouter()
{
    ApplicationOnHelp() = FPreviousOnHelp;
    if (g_router == this)
        g_router = nullptr;
}

bool THelpRouter::eventFilter(QObject* watched, QEvent* e)
{
    // F1 on a control with a help context asks for that context.
    if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_F1 && k->modifiers() == Qt::NoModifier) {
            const int ctx = WidgetHelpContext(static_cast<QWidget*>(watched));
            if (ctx != 0) {
                ApplicationHelpCommand(HELP_CONTEXT, ctx);
                return true;
            }
        }
    }
    return false;
}

QWidget* THelpRouter::HelpWindowOwner() const
{
    QWidget* form = QApplication::activeWindow();
    if (!form)
        form = FOwner ? FOwner->window() : nullptr;
    return form;
}

QString THelpRouter::HelpFileInEffect() const
{
    if (!Helpfile.isEmpty())
        return Helpfile;
    if (QWidget* form = HelpWindowOwner()) {
        const QString own = form->property("HelpFile").toString();
        if (!own.isEmpty())
            return own;
    }
    return ApplicationHelpFile();
}

QString THelpRouter::ChangeFileExt(const QString& file, const QString& ext)
{
    const int slash = qMax(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    const int dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return file.left(dot) + ext;
    return file + ext;
}

bool THelpRouter::HelpHook(unsigned command, qintptr data, bool& callHelp)
{
    bool result = false;
    if (OnHelp)
        result = OnHelp(command, data, callHelp);
    if (callHelp && FPreviousOnHelp)
        result = FPreviousOnHelp(command, data, callHelp);
    if (!callHelp)
        return result;

    const QString file = HelpFileInEffect();
    QWidget* owner = HelpWindowOwner();
    if (ShowType == stMain) {
        if (command == HELP_CONTEXTPOPUP)
            command = HELP_CONTEXT;
        else if (command == HELP_SETPOPUP_POS)
            command = 0;
    }
    const bool html = HelpType == htHTMLhelp
        || (HelpType == htMixedMode && command != HELP_CONTEXTPOPUP && command != HELP_SETPOPUP_POS);
    THtmlHelpBackend& backend = HelpBackend();
    THelpData d;
    d.number = data;
    if (!html) {
        callHelp = false;
        if (command == 0)
            return true;
        QString target = ChangeFileExt(file, QStringLiteral(".hlp"));
        if (HelpType == htMixedMode && command == HELP_CONTEXTPOPUP
            && QFileInfo(CHMPopupTopics).suffix().compare(QLatin1String("hlp"), Qt::CaseInsensitive) == 0) {
            if (CHMPopupTopics.contains(QLatin1Char('/')))
                target = CHMPopupTopics;
            else
                target = QFileInfo(file).path() + QLatin1Char('/') + CHMPopupTopics;
        }
        return backend.WinHelp(owner, target, command, d);
    }
    if (command == HELP_QUIT && !backend.HHCtrlLoaded())
        return true;
    callHelp = false;
    if (!backend.HHCtrlLoaded() && !backend.LoadHHCtrl())
        return false;
    const QString chm = ChangeFileExt(file, QStringLiteral(".chm"));
    QWidget* win = nullptr;
    switch (command) {
    case HELP_CONTEXT: win = backend.HtmlHelp(nullptr, chm, HH_HELP_CONTEXT, d); break;
    case HELP_QUIT: win = backend.HtmlHelp(nullptr, QString(), HH_CLOSE_ALL, d); break;
    case HELP_CONTENTS:
    case HELP_FINDER: win = backend.HtmlHelp(nullptr, chm, HH_DISPLAY_TOC, d); break;
    case HELP_CONTEXTPOPUP: {
        const QPoint at = FPopupPos.isNull() ? QCursor::pos() : FPopupPos;
        ShowPopup(at.x(), at.y(), QString(), quint32(data));
        FPopupPos = QPoint(0, 0);
        return true;
    }
    case HELP_SETPOPUP_POS:
        FPopupPos = QPoint(qint16(data & 0xFFFF), qint16((data >> 16) & 0xFFFF));
        return false;
    case HELP_TAB: win = backend.HtmlHelp(nullptr, chm, data != 0 ? HH_DISPLAY_INDEX : HH_DISPLAY_TOC, d); break;
    case HELP_KEY:
    case HELP_PARTIALKEY:
        // data carries the address of the keyword text (a QString).
        d.text = data ? *reinterpret_cast<const QString*>(data) : QString();
        win = backend.HtmlHelp(nullptr, chm, HH_DISPLAY_INDEX, d);
        break;
    default: return false;
    }
    return win != nullptr;
}

void THelpRouter::ShowContents() { ApplicationHelpCommand(HELP_TAB, 0); }

QString THelpRouter::CleanTopic(const QString& topic)
{
    QString out;
    out.reserve(topic.size());
    for (QChar c : topic) {
        switch (c.unicode()) {
        case ' ': case '%': case '.': out += QLatin1Char('_'); break;
        case '"': case '\'': case ',': case '/': case ':': case '?': case '\\': case '|': case 0x00BF: break;
        case '&': case '*': out += QLatin1Char('+'); break;
        case '<': case '>': out += QLatin1Char('~'); break;
        case '[': out += QLatin1Char('('); break;
        case ']': out += QLatin1Char(')'); break;
        case 0x00C4: case 0x00E4: out += QLatin1Char('a'); break;
        case 0x00D6: case 0x00F6: out += QLatin1Char('o'); break;
        case 0x00DC: case 0x00FC: out += QLatin1Char('u'); break;
        case 0x00DF: out += QLatin1Char('s'); break;
        default: out += c; break;
        }
    }
    return out;
}

bool THelpRouter::ShowTopic(const QString& file, const QString& topic)
{
    QString f = file.isEmpty() ? HelpFileInEffect() : file;
    THtmlHelpBackend& backend = HelpBackend();
    THelpData d;
    if (HelpType == htHTMLhelp || HelpType == htMixedMode) {
        if (!backend.HHCtrlLoaded() && !backend.LoadHHCtrl())
            return false;
        f = ChangeFileExt(f, QStringLiteral(".chm"));
        QString t = topic;
        if (!t.isEmpty() && QFileInfo(t).suffix().toLower().left(3) != QLatin1String("htm")) {
            if (ValidateID)
                t = CleanTopic(t);
            t += QStringLiteral(".htm");
        }
        const QString address = t.isEmpty() ? f : f + QStringLiteral("::/") + t;
        return backend.HtmlHelp(nullptr, address, HH_DISPLAY_TOPIC, d) != nullptr;
    }
    f = ChangeFileExt(f, QStringLiteral(".hlp"));
    if (!backend.WinHelp(HelpWindowOwner(), f, HELP_CONTENTS, d))
        return false;
    d.text = QStringLiteral("JumpID(\"\",\"%1\")").arg(topic.left(255));
    return backend.WinHelp(HelpWindowOwner(), f, HELP_COMMAND, d);
}

bool THelpRouter::ShowPopup(int x, int y, const QString& text, quint32 context)
{
    THtmlHelpBackend& backend = HelpBackend();
    if (!backend.HHCtrlLoaded() && !backend.LoadHHCtrl())
        return false;
    THelpData d;
    d.popup.idString = text.isEmpty() ? context : 0;
    d.popup.pszText = text;
    d.popup.pt = QPoint(x, y);
    QString file;
    if (d.popup.idString != 0)
        file = ChangeFileExt(HelpFileInEffect(), QStringLiteral(".chm")) + QStringLiteral("::/") + PopupTopicsName(CHMPopupTopics);
    return backend.HtmlHelp(HelpWindowOwner(), file, HH_DISPLAY_TEXT_POPUP, d) != nullptr;
}
