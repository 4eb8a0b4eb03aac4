#pragma once
// "Ordner auswählen": the folder tree of an Outlook data file, rooted at its store, each folder
// with its number of items. The user picks one folder with OK or double-click.
#include "importwizard/outlook/OutlookFile.h"

#include <QDialog>
#include <optional>

class QPushButton;
class QTreeWidget;

namespace importwizard {

class TOutlookFolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit TOutlookFolderDialog(const outlook::TFolderNode& root, QWidget* parent = nullptr);
    // The folder selected, nothing when none is.
    std::optional<quint32> SelectedFolder() const;
    QTreeWidget* Tree() const { return FTree; }

    // Shows the dialog modally; nothing when the user cancels.
    static std::optional<quint32> Execute(QWidget* parent, const outlook::TFolderNode& root);

private:
    QTreeWidget* FTree;
    QPushButton* FOk;
};

} // namespace importwizard
