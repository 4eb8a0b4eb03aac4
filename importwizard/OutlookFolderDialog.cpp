#include "importwizard/OutlookFolderDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace importwizard {

namespace {

constexpr int kIdRole = Qt::UserRole;

QTreeWidgetItem* MakeItem(const outlook::TFolderNode& node)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, node.name);
    item->setText(1, QString::number(node.itemCount));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, kIdRole, node.id);
    for (const outlook::TFolderNode& child : node.children)
        item->addChild(MakeItem(child));
    return item;
}

} // namespace

TOutlookFolderDialog::TOutlookFolderDialog(const outlook::TFolderNode& root, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("OutlookFolderDialog"));
    setWindowTitle(QStringLiteral("Ordner auswählen"));
    resize(340, 380);

    FTree = new QTreeWidget(this);
    FTree->setObjectName(QStringLiteral("TreeFolders"));
    FTree->setColumnCount(2);
    FTree->setHeaderHidden(true);
    FTree->setRootIsDecorated(true);
    FTree->setUniformRowHeights(true);
    QTreeWidgetItem* top = MakeItem(root);
    FTree->addTopLevelItem(top);
    FTree->expandItem(top);
    FTree->header()->setStretchLastSection(false);
    FTree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    FTree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    FTree->setCurrentItem(top);

    auto* buttons = new QDialogButtonBox(this);
    FOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    FOk->setObjectName(QStringLiteral("ButtonOK"));
    FOk->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FTree, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
    connect(FTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { FOk->setEnabled(current != nullptr); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FTree);
    layout->addWidget(buttons);
}

std::optional<quint32> TOutlookFolderDialog::SelectedFolder() const
{
    const QTreeWidgetItem* item = FTree->currentItem();
    if (!item)
        return std::nullopt;
    return item->data(0, kIdRole).toUInt();
}

std::optional<quint32> TOutlookFolderDialog::Execute(QWidget* parent, const outlook::TFolderNode& root)
{
    TOutlookFolderDialog dialog(root, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.SelectedFolder();
}

} // namespace importwizard
