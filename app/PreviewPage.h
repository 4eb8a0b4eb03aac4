#pragma once
// The preview page: the mail as each recipient of the next mailing will receive it (sender,
// recipient, subject and body with the placeholders filled in), one recipient at a time with a
// navigator, and the mail's attachments.
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class IMailContent;
class QLabel;
class QPlainTextEdit;
class QToolButton;
class THtmlPreview;
class TOrvFileList;
namespace db { class TDataSource; class TExtADODataSet; }
namespace recipients { class TRecipients; }

namespace app {

struct TPreviewPageControls {
    QLabel* LabelPFrom = nullptr;
    QLabel* DBTextTo = nullptr;
    QLabel* DBTextFirstName = nullptr;
    QLabel* DBTextLastName = nullptr;
    QLabel* LabelPSubject = nullptr;
    QLabel* LabelPreviewPosition = nullptr;
    // DBNavigator1: first, prior, next, last
    QToolButton* NavFirst = nullptr;
    QToolButton* NavPrior = nullptr;
    QToolButton* NavNext = nullptr;
    QToolButton* NavLast = nullptr;
    QWidget* PanelWebBrowserP = nullptr;
    THtmlPreview* WebBrowserP = nullptr;
    QWidget* PanelPBody = nullptr;
    QPlainTextEdit* MemoPBody = nullptr;
    TOrvFileList* OrvFileListAttOverview = nullptr;
};

// Fills every placeholder of text with the record's values, field by field in field order,
// ignoring case. With html set the values are HTML-escaped and the placeholder is also found in
// its escaped form ("%Firma &amp; Co%").
QString FillPlaceholders(QString text, const QStringList& names, const QStringList& values, bool html);

class TPreviewPage : public QObject {
    Q_OBJECT
public:
    TPreviewPage(const TPreviewPageControls& controls, IMailContent& content, QObject* parent = nullptr);
    ~TPreviewPage() override;

    // ---- wiring
    std::function<const db::TExtADODataSet*()> ListDataSet; // the list grid's dataset
    std::function<QString()> From;  // EditFrom
    std::function<QString()> Name;  // EditName
    std::function<void(std::exception_ptr)> OnApplicationException;
    // An attachment file of the overview was renamed while the page was shown.
    std::function<void(const QString& oldPath, const QString& newPath)> OnAttachmentRenamed;

    // The attachment overview (before the page is shown): cleared, then every path added; hidden
    // when there are none.
    void FillAttachmentOverview(const QStringList& paths);
    void TabPreviewShow();
    void TabPreviewHide();
    void DataSourcePreviewDataChange();

    recipients::TRecipients* PreviewRecipients() const { return fPreviewRecipients.get(); }
    db::TDataSource& DataSourcePreview() { return *m_dataSource; }

private:
    void Navigate(int how);
    // Subject and body with the placeholders of these fields filled (none: as written).
    void ShowMail(const QStringList& names, const QStringList& values);
    void SetLabel(QLabel* label, const QString& text, const QColor& color, bool bold);

    TPreviewPageControls c;
    IMailContent& m_content;
    std::unique_ptr<db::TDataSource> m_dataSource;
    std::unique_ptr<recipients::TRecipients> fPreviewRecipients;
};

} // namespace app
