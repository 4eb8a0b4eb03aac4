#pragma once
// What the import wizard asks of the desktop: message boxes, the input box, the file-open
// dialog, opening a file with its program and the wait cursor. The wizard reaches them only
// through this interface so that tests can answer in its place.
#include "importwizard/outlook/OutlookFile.h"

#include <QString>
#include <optional>

class QWidget;

namespace importwizard {

class IWizardDialogs {
public:
    virtual ~IWizardDialogs() = default;
    // A plain message box with an OK button.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // An input box; nothing when the user cancels.
    virtual std::optional<QString> InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                              const QString& value) = 0;
    // The file-open dialog. filter lists "description|mask" pairs separated by "|"; the result is
    // empty when the user cancels.
    virtual QString OpenFileName(QWidget* parent, const QString& defaultExt, const QString& filter,
                                 const QString& fileName) = 0;
    // Opens the file with the program the desktop associates with it.
    virtual bool OpenWithDesktop(const QString& fileName) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // The dialog that builds a database connection string, starting from initial; returns the
    // initial string when the user cancels.
    virtual QString PromptDataSource(QWidget* parent, const QString& initial) = 0;
    // "Ordner auswählen" over the folder tree of an Outlook data file: the chosen folder's
    // identifier, nothing when the user cancels. The real dialog unless overridden.
    virtual std::optional<quint32> PickOutlookFolder(QWidget* parent, const outlook::TFolderNode& root);
};

// The real dialogs (QMessageBox, QInputDialog, QFileDialog, QDesktopServices, the override cursor).
class TQtWizardDialogs : public IWizardDialogs {
public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    std::optional<QString> InputQuery(QWidget* parent, const QString& caption, const QString& prompt,
                                      const QString& value) override;
    QString OpenFileName(QWidget* parent, const QString& defaultExt, const QString& filter,
                         const QString& fileName) override;
    bool OpenWithDesktop(const QString& fileName) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    QString PromptDataSource(QWidget* parent, const QString& initial) override;
};

// "A (*.a)|*.a|B (*.b)|*.b" as a file dialog's name filter "A (*.a);;B (*.b)".
QString ToNameFilter(const QString& filter);

} // namespace importwizard
