// The web views of the HTML editor and the preview (see htmleditor/WebViewModule.h): the code
// that needs Qt WebEngine, built as a module of its own so the program starts without mapping
// the engine's libraries.
#include "htmleditor/WebViewModule.h"

#include <QWebEnginePage>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <atomic>

namespace {

using htmleditor::TWebView;

// Lets through only what stays on this machine.
class TInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != QLatin1String("file") && scheme != QLatin1String("data") && scheme != QLatin1String("about") &&
            scheme != QLatin1String("qrc")) {
            info.block(true);
            ++Blocked;
        }
    }
    std::atomic<int> Blocked{0};
};

// Serves the picture scheme: a file whose first bytes are those of a PNG, GIF, JPEG, BMP or WebP
// picture, or a document a view was told to load; nothing else of the disk.
class TPictureSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void AllowDocument(const QString& path)
    {
        QMutexLocker lock(&m_mutex);
        m_documents.insert(path);
    }
    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const QString path = job->requestUrl().path();
        bool document;
        {
            QMutexLocker lock(&m_mutex);
            document = m_documents.contains(path);
        }
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        const QByteArray type = document ? QByteArray("text/html") : PictureType(file.peek(32));
        if (type.isEmpty()) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(file.readAll());
        buffer->open(QIODevice::ReadOnly);
        job->reply(type, buffer);
    }

private:
    static QByteArray PictureType(const QByteArray& b)
    {
        if (b.startsWith("\x89PNG\r\n\x1A\n"))
            return "image/png";
        if (b.startsWith("GIF87a") || b.startsWith("GIF89a"))
            return "image/gif";
        if (b.startsWith("\xFF\xD8\xFF"))
            return "image/jpeg";
        if (b.startsWith("RIFF") && b.mid(8, 4) == "WEBP")
            return "image/webp";
        if (b.startsWith("BM") && b.size() >= 18)
            return "image/bmp";
        return QByteArray();
    }
    QMutex m_mutex;
    QSet<QString> m_documents;
};

TPictureSchemeHandler* PictureHandler()
{
    // One for the editor's profile (the default one), made with it.
    static TPictureSchemeHandler* handler = [] {
        auto* h = new TPictureSchemeHandler(QWebEngineProfile::defaultProfile());
        QWebEngineProfile::defaultProfile()->installUrlSchemeHandler(htmleditor::kPictureScheme, h);
        return h;
    }();
    return handler;
}

// The page of the design view: the document's console notice comes back as a call; a link
// clicked in the document never replaces the mail.
class TEditorPage : public QWebEnginePage {
public:
    TEditorPage(QObject* parent, QString notice, std::function<void()> onNotice)
        : QWebEnginePage(parent), m_notice(std::move(notice)), m_onNotice(std::move(onNotice)) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override
    {
        if (message == m_notice && m_onNotice)
            m_onNotice();
    }
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked)
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    QString m_notice;
    std::function<void()> m_onNotice;
};

// A link in the mail never replaces the preview.
class TPreviewPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked)
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

class TEngineView final : public QWebEngineView, public TWebView {
public:
    explicit TEngineView(QWidget* parent) : QWebEngineView(parent)
    {
        setAcceptDrops(false); // a dropped file would replace the document
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            // The engine's own widget comes with the first load and takes the drops.
            if (QWidget* proxy = focusProxy())
                proxy->setAcceptDrops(false);
            if (OnLoadFinished) {
                const auto notify = OnLoadFinished; // the call may replace it
                notify(ok);
            }
        });
    }

    QWidget* Widget() override { return this; }
    void SetHtml(const QString& html, const QUrl& baseUrl) override { setHtml(html, baseUrl); }
    void Load(const QUrl& url) override
    {
        // The editor's view reaches its document, like its pictures, through the picture scheme.
        if (ServesPictures && url.isLocalFile()) {
            PictureHandler()->AllowDocument(url.toLocalFile());
            load(htmleditor::PictureUrl(url.toLocalFile()));
            return;
        }
        load(url);
    }
    bool ServesPictures = false;
    void RunJavaScript(const QString& script, bool applicationWorld,
                       std::function<void(const QVariant&)> result) override
    {
        page()->runJavaScript(script, applicationWorld ? QWebEngineScript::ApplicationWorld : QWebEngineScript::MainWorld,
                              result);
    }
    void TriggerAction(TAction action) override
    {
        switch (action) {
        case TAction::Copy: page()->triggerAction(QWebEnginePage::Copy); break;
        case TAction::Cut: page()->triggerAction(QWebEnginePage::Cut); break;
        case TAction::Paste: page()->triggerAction(QWebEnginePage::Paste); break;
        }
    }
    int BlockedRequests() const override { return Interceptor ? Interceptor->Blocked.load() : 0; }

    TInterceptor* Interceptor = nullptr;
};

TWebView* CreateEditorView(QWidget* parent, const QString& notice, std::function<void()> onNotice)
{
    auto* view = new TEngineView(parent);
    view->setPage(new TEditorPage(view, notice, std::move(onNotice)));
    // The document is the user's mail, loaded from files, stored mails or the clipboard: its
    // scripts never run (the program's editing scripts run in the application's world) and it
    // reads no local file but the pictures it shows.
    QWebEngineSettings* s = view->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    PictureHandler();
    view->ServesPictures = true;
    return view;
}

TWebView* CreatePreviewView(QWidget* parent)
{
    auto* profile = new QWebEngineProfile(parent); // off the record, a profile of its own
    auto* interceptor = new TInterceptor(profile);
    profile->setUrlRequestInterceptor(interceptor);
    auto* view = new TEngineView(parent);
    view->Interceptor = interceptor;
    auto* page = new TPreviewPage(profile, view);
    for (QWebEngineSettings* s : {profile->settings(), page->settings()}) {
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    }
    view->setPage(page);
    return view;
}

} // namespace

extern "C" Q_DECL_EXPORT const htmleditor::TWebViewModule* qly_web_view_module()
{
    // A scheme is registered before the engine's first class is made.
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(htmleditor::kPictureScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
        scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
    static const htmleditor::TWebViewModule module{htmleditor::kWebViewModuleVersion, &CreateEditorView,
                                                   &CreatePreviewView};
    return &module;
}
