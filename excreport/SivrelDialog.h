#pragma once
// The report dialog (message, OK, Terminate or Restart, Details with four tab pages, check boxes
// for mail, screenshot and clipboard) and the request dialog. GUI thread only.
#include "excreport/SivrelReportText.h"
#include <QDialog>
#include <QSize>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace excreport {

class TSivrelModuleOptions;
class TSivrelDialogLook;

// The metrics the collapsed layout depends on.
struct TSivrelDialogMetrics {
    std::function<QSize(const QString&)> Extent;  // size of one line in the message font
    int FrameWidth = 4;
    int FrameHeight = 4;
    int CaptionHeight = 0;
};
// The collapsed dialog's size and the message label's text height for a message.
struct TSivrelCollapsedLayout {
    QSize Window;
    int TextHeight = 0;
};
TSivrelCollapsedLayout CollapsedLayout(const QString& message, const TSivrelModuleOptions& options,
                                       const TSivrelDialogMetrics& metrics, int extraHeight);
// A module version on the Modules page: cut after its second "." with "x" appended.
QString ShortVersion(const QString& version);
// The list icon (SivrelLook.h) of a call-stack row and of a module row.
int CallStackIcon(const TSivrelDebugInfo& entry);
int ModuleIcon(const QString& fileName, uint8_t moduleType);
// Kilobytes rounded (halves to even) with " Kb".
QString SizeInKb(uint64_t bytes);
// "$XDG_CONFIG_HOME/SivrelLog.ini".
QString SivrelProfileFile();
// The 2052-byte message for a development environment: the unit as NUL-terminated text in 2048
// bytes, then the line as 32-bit little-endian number.
QByteArray IdeMessage(const QString& unit, int line);
// Sends it to the datagram socket "$XDG_RUNTIME_DIR/SivrelLog"; false when nobody listens.
bool SendIdeMessage(const QString& unit, int line);

// What the report dialog shows and what it gives back.
struct TSivrelDialogData {
    const TSivrelReportTexts* Texts = nullptr;
    const TSivrelModuleOptions* Options = nullptr;
    std::vector<TSivrelDebugInfo> CallStack;
    std::vector<TSivrelModuleRef> Modules;
    bool Duplicate = false;
    int ReportsThisRun = 1;
    bool SendSwitch = false;
    bool ScreenshotSwitch = false;
    bool CopySwitch = false;
    bool TerminateChosen = false;
};

// The dialog's data as bytes for a helper process (options, texts, call stack, modules, switches),
// read back into a packet that owns what the data points to.
QByteArray PackDialogData(const TSivrelDialogData& data);
struct TSivrelDialogPacket {
    TSivrelReportTexts Texts;
    std::shared_ptr<TSivrelModuleOptions> Options;
    TSivrelDialogData Data;
};
bool UnpackDialogData(const QByteArray& bytes, TSivrelDialogPacket& packet);
// The dialog's answer as a process exit code (64 plus one bit per switch) and back.
int DialogAnswerCode(const TSivrelDialogData& data);
bool ReadDialogAnswer(int code, TSivrelDialogData& data);
// The helper's step: shows the dialog over the packed data and returns the answer code (2 when
// the data cannot be read). With QLY_SIVREL_AUTOANSWER set the dialog is shown, described on
// stderr as "[dialog from helper] <message>|<call-stack rows>|<modules>", grabbed into the file
// QLY_SIVREL_AUTOANSWER_SHOT names, and answered with OK (the copy box ticked first when
// QLY_SIVREL_AUTOANSWER_COPY is set).
int RunDialogStep(const QByteArray& bytes);

class TSivrelReportDialog : public QDialog {
public:
    explicit TSivrelReportDialog(TSivrelDialogData& data, QWidget* parent = nullptr);
    ~TSivrelReportDialog() override;
    // Metrics for the collapsed layout (tests inject their own).
    void SetMetrics(const TSivrelDialogMetrics& metrics);
    bool Expanded() const { return m_expanded; }
    void SetExpanded(bool expanded);
    int ExtraHeight() const { return m_extraHeight; }
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowPage(int index);
    void StoreColumns();
    void StorePlacement();
    void Layout();
    QPoint ClientOrigin() const;
    int ButtonWidth() const;

    TSivrelDialogData& m_data;
    const TSivrelModuleOptions& m_options;
    TSivrelDialogMetrics m_metrics;
    TSivrelDialogLook* m_look = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_terminate = nullptr;
    QPushButton* m_details = nullptr;
    QTabWidget* m_tabs = nullptr;
    QCheckBox* m_send = nullptr;
    QCheckBox* m_screenshot = nullptr;
    QCheckBox* m_copy = nullptr;
    QWidget* m_page = nullptr;
    QTreeWidget* m_list = nullptr;
    int m_pageIndex = -1;
    bool m_expanded = false;
    bool m_remembered = false;
    int m_extraHeight = 20;
    int m_state = 1;
    QRect m_placement;
};

// The request dialog: the steps the user describes, trimmed, with runs of empty lines shortened.
class TSivrelRequestDialog : public QDialog {
public:
    explicit TSivrelRequestDialog(const TSivrelModuleOptions& options, QWidget* parent = nullptr);
    QString RequestText() const;
    void done(int result) override;

private:
    QPlainTextEdit* m_edit = nullptr;
};

} // namespace excreport
