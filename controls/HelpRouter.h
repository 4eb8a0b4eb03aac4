#pragma once
// Help routing: requests of the program's help (F1 on a control with a help context, the help
// menu) go through one THelpRouter to the help backend. The HTML-help backend shows the compiled
// help file in our own help window; WinHelp does not exist here and its calls answer false.
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QObject>
#include <functional>
#include <memory>
#include <stdexcept>

class QWidget;

// Help commands of the application's help event.
enum : unsigned {
    HELP_CONTEXT = 1, HELP_QUIT = 2, HELP_CONTENTS = 3, HELP_CONTEXTPOPUP = 8, HELP_FINDER = 11,
    HELP_SETPOPUP_POS = 13, HELP_TAB = 15, HELP_KEY = 257, HELP_COMMAND = 258, HELP_PARTIALKEY = 261
};
// Commands of the HTML-help backend.
enum : unsigned {
    HH_DISPLAY_TOPIC = 0x0, HH_DISPLAY_TOC = 0x1, HH_DISPLAY_INDEX = 0x2, HH_DISPLAY_TEXT_POPUP = 0xE,
    HH_HELP_CONTEXT = 0xF, HH_CLOSE_ALL = 0x12
};

// A text pop-up request.
struct THHPopup {
    int cbStruct = 52;
    quint32 idString = 0;
    QString pszText;
    QPoint pt;
    quint32 clrForeground = 0x1FFFFFFF;
    quint32 clrBackground = 0x1FFFFFFF;
    int rcMargins[4] = { -1, -1, -1, -1 };
    QString pszFont = QStringLiteral("MS Sans Serif, 8");
};

// What a help call carries: a number (context id, tab), a keyword, or a pop-up.
struct THelpData {
    qintptr number = 0;
    QString text;
    THHPopup popup;
};

class THtmlHelpBackend {
public:
    virtual ~THtmlHelpBackend() = default;
    virtual bool LoadHHCtrl() = 0;
    virtual bool HHCtrlLoaded() const = 0;
    virtual void UnloadHHCtrl() = 0;
    // Runs one command for a file ("file.chm" or "file.chm::/topic.htm"); the help window, or null.
    virtual QWidget* HtmlHelp(QWidget* caller, const QString& file, unsigned command, const THelpData& data) = 0;
    // The older help format does not exist here.
    virtual bool WinHelp(QWidget* caller, const QString& file, unsigned command, const THelpData& data);
};

// The backend the routers use; the compiled-help window backend unless replaced.
THtmlHelpBackend& HelpBackend();
void SetHelpBackend(std::unique_ptr<THtmlHelpBackend> backend);
std::unique_ptr<THtmlHelpBackend> CreateChmHelpBackend();

// The application's help event and help file.
using THelpEvent = std::function<bool(unsigned command, qintptr data, bool& callHelp)>;
THelpEvent& ApplicationOnHelp();
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& file);
// The application's help command: asks the help event; false when nobody handles it.
bool ApplicationHelpCommand(unsigned command, qintptr data);
// The help context of a widget (property "HelpContext"), looked up through its parents; 0 for none.
int WidgetHelpContext(const QWidget* w);

class EHelpRouterError : public std::runtime_error {
public:
    explicit EHelpRouterError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }
private:
    QString m_message;
};

enum THelpType { htWinhelp, htHTMLhelp, htMixedMode };
enum TShowType { stDefault, stMain };

class THelpRouter : public QObject {
    Q_OBJECT
public:
    // Raises EHelpRouterError when a router exists already.
    explicit THelpRouter(QWidget* owner);
    ~THelpRouter() override;

    THelpType HelpType = htHTMLhelp;
    TShowType ShowType = stDefault;
    QString Helpfile;
    QString CHMPopupTopics = QStringLiteral("CSHelp.txt");
    bool ValidateID = false;
    THelpEvent OnHelp;

    void ShowContents();
    bool ShowTopic(const QString& file, const QString& topic);
    bool ShowPopup(int x, int y, const QString& text, quint32 context);
    // The application help hook (the router's replacement of the application's help event).
    bool HelpHook(unsigned command, qintptr data, bool& callHelp);

    QPoint PopupPosition() const { return FPopupPos; }
    // The help file a request without its own file uses, and the window it belongs to.
    QString HelpFileInEffect() const;
    QWidget* HelpWindowOwner() const;

    static QString CleanTopic(const QString& topic);
    static QString ChangeFileExt(const QString& file, const QString& ext);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QPointer<QWidget> FOwner;
    THelpEvent FPreviousOnHelp;
    QPoint FPopupPos;
};
