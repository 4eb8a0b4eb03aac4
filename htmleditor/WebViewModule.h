#pragma once
// The web views of the HTML editor and the preview, as the web-engine module makes them.
//
// The program does not link the web engine: its libraries are large, and mapping and relocating
// them was most of a program start although the engine is only needed once the content or the
// preview page is shown. The code that touches the engine lives in a module of its own
// (quillory-webengine.so, beside the program), loaded on first need (WebEngineStart.h). This
// header is the whole contract between the module and the program: plain abstract classes and
// one entry function, nothing that needs the engine's headers. Module and program are built
// together; kWebViewModuleVersion guards against a stale module left beside a newer program.
#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>

class QWidget;

namespace htmleditor {

// A web view made by the module. The view is a child widget of the parent it was made for; this
// object is the view itself and goes with it.
class TWebView {
public:
    enum class TAction { Copy, Cut, Paste };

    virtual ~TWebView() = default;
    virtual QWidget* Widget() = 0;
    // Starts loading a document; OnLoadFinished reports its end.
    virtual void SetHtml(const QString& html, const QUrl& baseUrl) = 0;
    virtual void Load(const QUrl& url) = 0;
    // Runs a script in the document's own world (applicationWorld false) or in the application's
    // world, which also runs when the document's scripts are off. The result comes later, from
    // the event loop: a caller that may be gone by then guards itself (QPointer, weak_ptr).
    virtual void RunJavaScript(const QString& script, bool applicationWorld,
                               std::function<void(const QVariant&)> result) = 0;
    virtual void TriggerAction(TAction action) = 0;
    // Requests the preview refused because they would have left the machine (0 for the editor).
    virtual int BlockedRequests() const = 0;

    // Called at the end of every load with its success.
    std::function<void(bool ok)> OnLoadFinished;
};

// Clears a view's OnLoadFinished at the end of a scope that waits for a load.
struct TLoadWaitEnd {
    TWebView* View;
    ~TLoadWaitEnd() { View->OnLoadFinished = nullptr; }
};

// The editor's design view: drops refused, the document's scripts off, link clicks ignored;
// onNotice runs when the document writes the console message `notice`. Its documents are
// given a base URL of the picture scheme (kPictureScheme): the view reads no local file but the
// pictures that scheme serves.
using TCreateEditorView = TWebView* (*)(QWidget* parent, const QString& notice, std::function<void()> onNotice);
// The preview's view: an off-the-record profile of its own (a child of parent; the view must be
// deleted before it), scripts off, nothing fetched that would leave the machine.
using TCreatePreviewView = TWebView* (*)(QWidget* parent);

struct TWebViewModule {
    int Version;
    TCreateEditorView CreateEditorView;
    TCreatePreviewView CreatePreviewView;
};

constexpr int kWebViewModuleVersion = 2;

// The URL scheme through which the editor's documents reach local pictures: "qly-picture:" and
// an absolute path ("qly-picture:///home/a/logo.png"). It serves picture files only (and the one
// document a view was told to Load).
constexpr const char* kPictureScheme = "qly-picture";
inline QUrl PictureUrl(const QString& absolutePath)
{
    QUrl url;
    url.setScheme(QLatin1String(kPictureScheme));
    url.setPath(absolutePath);
    return url;
}
// The module's one exported function: extern "C" const TWebViewModule* qly_web_view_module().
constexpr const char* kWebViewModuleEntry = "qly_web_view_module";

} // namespace htmleditor
