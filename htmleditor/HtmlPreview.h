#pragma once
// THtmlPreview: a read-only web view for showing a finished HTML mail. Scripts are off and
// nothing is fetched from the network; local pictures (plain paths, file URLs) are shown.
#include <QWidget>

namespace htmleditor {
class TWebView;
}

class THtmlPreview : public QWidget {
    Q_OBJECT
public:
    explicit THtmlPreview(QWidget* parent = nullptr);
    ~THtmlPreview() override;

    // Replaces the shown document and waits until it is loaded; raises when the engine does not
    // load it in time.
    void SetDocument(const QString& html);
    // The shown document's HTML (for checks); empty before the first document.
    QString DocumentHtml();
    bool HasDocument() const { return m_hasDocument; }
    // The web view (of the web-engine module); created (and the web engine started) by the
    // first document or this call.
    QWidget* View();
    bool ViewCreated() const { return m_view != nullptr; }
    // The number of requests refused because they would have left the machine.
    int BlockedRequests() const;

private:
    void EnsureView();

    htmleditor::TWebView* m_view = nullptr;
    bool m_hasDocument = false;
};
