#include "htmleditor/HtmlPreview.h"
#include "htmleditor/WebEngineStart.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>

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

namespace {

class TPreviewPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked)
            return false; // a link in the mail never replaces the preview
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

constexpr qsizetype kSetHtmlLimit = 1500 * 1024;

} // namespace

THtmlPreview::THtmlPreview(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The profile and the view come with the first document (EnsureView): starting the web
    // engine is left until a preview is shown.
}

void THtmlPreview::EnsureView()
{
    if (m_view)
        return;
    htmleditor::PrepareWebEngine();
    m_profile = new QWebEngineProfile(this); // off the record, a profile of its own
    m_interceptor = new TInterceptor(m_profile);
    m_profile->setUrlRequestInterceptor(m_interceptor);
    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("WebBrowserPView"));
    auto* page = new TPreviewPage(m_profile, m_view);
    for (QWebEngineSettings* s : {m_profile->settings(), page->settings()}) {
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    }
    m_view->setPage(page);
    m_view->setAcceptDrops(false); // a dropped file would replace the preview
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool) {
        if (QWidget* proxy = m_view->focusProxy())
            proxy->setAcceptDrops(false);
    });
    layout()->addWidget(m_view);
}

QWebEngineView* THtmlPreview::View()
{
    EnsureView();
    return m_view;
}

THtmlPreview::~THtmlPreview()
{
    // The page must go before its profile.
    delete m_view;
    m_view = nullptr;
}

int THtmlPreview::BlockedRequests() const
{
    return m_interceptor ? m_interceptor->Blocked.load() : 0;
}

void THtmlPreview::SetDocument(const QString& html)
{
    EnsureView();
    auto loaded = std::make_shared<std::optional<bool>>();
    QEventLoop loop;
    auto conn = connect(m_view, &QWebEngineView::loadFinished, &loop, [loaded, &loop](bool ok) {
        *loaded = ok;
        loop.quit();
    });
    std::unique_ptr<QTemporaryFile> file;
    if (html.size() > kSetHtmlLimit / 2 && html.toUtf8().size() > kSetHtmlLimit) {
        file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/qly_preview_XXXXXX.html"));
        if (!file->open() || file->write(html.toUtf8()) < 0 || !file->flush())
            throw std::runtime_error("Die Vorschau kann nicht geladen werden.");
        file->close();
        m_view->load(QUrl::fromLocalFile(file->fileName()));
    } else {
        m_view->setHtml(html, QUrl(QStringLiteral("file:///")));
    }
    QElapsedTimer t;
    t.start();
    while (!loaded->has_value() && t.elapsed() < 30000) {
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    disconnect(conn);
    if (!loaded->has_value())
        throw std::runtime_error("Could not assign \"about:blank\".");
    m_hasDocument = true;
}

QString THtmlPreview::DocumentHtml()
{
    if (!m_hasDocument)
        return QString();
    struct State {
        QString html;
        bool done = false;
        QEventLoop loop;
    };
    auto state = std::make_shared<State>();
    std::weak_ptr<State> weak = state;
    // Scripts of the page are off; this runs in the application's own world.
    m_view->page()->runJavaScript(QStringLiteral("document.documentElement.outerHTML"), QWebEngineScript::ApplicationWorld,
                                  [weak](const QVariant& v) {
                                      if (auto s = weak.lock()) {
                                          s->html = v.toString();
                                          s->done = true;
                                          s->loop.quit();
                                      }
                                  });
    if (!state->done) {
        QTimer::singleShot(10000, &state->loop, &QEventLoop::quit);
        state->loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return state->html;
}
