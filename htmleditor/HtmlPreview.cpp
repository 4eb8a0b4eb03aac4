#include "htmleditor/HtmlPreview.h"
#include "htmleditor/WebEngineStart.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {
constexpr qsizetype kSetHtmlLimit = 1500 * 1024;
}

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
    // A profile of its own with scripts off and only local requests let through; the view
    // refuses drops (a dropped file would replace the preview) and ignores link clicks.
    m_view = htmleditor::WebEngineModule().CreatePreviewView(this);
    m_view->Widget()->setObjectName(QStringLiteral("WebBrowserPView"));
    layout()->addWidget(m_view->Widget());
}

QWidget* THtmlPreview::View()
{
    EnsureView();
    return m_view->Widget();
}

THtmlPreview::~THtmlPreview()
{
    // The page must go before its profile.
    if (m_view)
        delete m_view->Widget();
    m_view = nullptr;
}

int THtmlPreview::BlockedRequests() const
{
    return m_view ? m_view->BlockedRequests() : 0;
}

void THtmlPreview::SetDocument(const QString& html)
{
    EnsureView();
    auto loaded = std::make_shared<std::optional<bool>>();
    QEventLoop loop;
    m_view->OnLoadFinished = [loaded, &loop](bool ok) {
        *loaded = ok;
        loop.quit();
    };
    const htmleditor::TLoadWaitEnd waitEnd{m_view};
    std::unique_ptr<QTemporaryFile> file;
    if (html.size() > kSetHtmlLimit / 2 && html.toUtf8().size() > kSetHtmlLimit) {
        file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/qly_preview_XXXXXX.html"));
        if (!file->open() || file->write(html.toUtf8()) < 0 || !file->flush())
            throw std::runtime_error("Die Vorschau kann nicht geladen werden.");
        file->close();
        m_view->Load(QUrl::fromLocalFile(file->fileName()));
    } else {
        m_view->SetHtml(html, QUrl(QStringLiteral("file:///")));
    }
    QElapsedTimer t;
    t.start();
    while (!loaded->has_value() && t.elapsed() < 30000) {
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
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
    m_view->RunJavaScript(QStringLiteral("document.documentElement.outerHTML"), true, [weak](const QVariant& v) {
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
