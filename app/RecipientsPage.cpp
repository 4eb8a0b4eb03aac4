// The recipients page of the main window: the list name box and its buttons, the list grid with
// its context menu, the status, cleaning and column commands, the import and the list files.
#include "app/MainForm.h"
#include "controls/nbStatusBar.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/WizardDialogs.h"
#include "platform/graphics/Graphics.h"
#include "recipients/views/RecipientsGrid.h"
#include "recipients/views/RemoveDoubles.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace app {

namespace {

const QString kListFileFilter = QStringLiteral("CSV Dateien (*.csv)|*.csv|Text Dateien (*.txt)|*.txt|All Dateien (*.*)|*.*");

template <class W> W* PageNamed(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QToolButton* PageButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = QString())
{
    auto* b = PageNamed(new QToolButton(parent), name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

// The name box: asks before its list drops down; a refusal keeps it closed.
class TFavoritesComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<bool()> OnDropDown;
    void showPopup() override
    {
        if (!OnDropDown || OnDropDown())
            QComboBox::showPopup();
    }
};

// Key presses of a widget to a handler that may swallow them (key set to 0).
class TKeyDownFilter : public QObject {
public:
    TKeyDownFilter(QObject* parent, std::function<void(int&)> handler) : QObject(parent), FHandler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress) {
            int key = static_cast<QKeyEvent*>(e)->key();
            FHandler(key);
            if (key == 0)
                return true;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void(int&)> FHandler;
};

} // namespace

// ---- building ----------------------------------------------------------------------------------

void TMainForm::BuildRecipientsPage()
{
    TabRecipients = PageNamed(new QWidget, "TabRecipients");
    TabRecipients->setProperty("Caption", QStringLiteral("Empfänger"));
    BackGroundBottom->addWidget(TabRecipients);
    auto* v = new QVBoxLayout(TabRecipients);
    auto* row = new QHBoxLayout;
    auto* combo = PageNamed(new TFavoritesComboBox(TabRecipients), "ComboBoxFavorites");
    ComboBoxFavorites = combo;
    ComboBoxFavorites->setEditable(true);
    ComboBoxFavorites->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxFavorites->lineEdit()->setMaxLength(50);
    SpeedButtonSaveFavorite = PageButton(TabRecipients, "SpeedButtonSaveFavorite", QStringLiteral("Speichern"));
    SpeedButtonSaveFavorite->setEnabled(false);
    SpeedButton1 = PageButton(TabRecipients, "SpeedButton1", QStringLiteral("Neu"), QStringLiteral("Eine neuen Empföngerliste anlegen."));
    SpeedButtonDeleteFavorite = PageButton(TabRecipients, "SpeedButtonDeleteFavorite", QStringLiteral("Löschen"));
    row->addWidget(new QLabel(QStringLiteral("Empfängerliste :"), TabRecipients));
    row->addWidget(ComboBoxFavorites, 1);
    row->addWidget(SpeedButtonSaveFavorite);
    row->addWidget(SpeedButton1);
    row->addWidget(SpeedButtonDeleteFavorite);
    v->addLayout(row);

    PanelRecipientsGrid = PageNamed(new QWidget(TabRecipients), "PanelRecipientsGrid");
    auto* gridLayout = new QVBoxLayout(PanelRecipientsGrid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    StringGridFavorites = new recipients::TRecipientsGrid(PanelRecipientsGrid);
    gridLayout->addWidget(StringGridFavorites);
    v->addWidget(PanelRecipientsGrid, 1);

    // The two button groups below the grid.
    auto* groups = new QHBoxLayout;
    auto* lists = PageNamed(new QGroupBox(QStringLiteral("Listen Operationen"), TabRecipients), "GroupBoxListOperations");
    auto* listsRow = new QHBoxLayout(lists);
    auto* importHolder = new QWidget(lists);
    auto* stack = new QGridLayout(importHolder);
    stack->setContentsMargins(0, 0, 0, 0);
    const QString importHint = QStringLiteral("Eine Empfängerliste importieren");
    SpeedButtonImport = PageButton(importHolder, "SpeedButtonImport", QStringLiteral("Import"), importHint);
    SpeedButtonImport1 = PageButton(importHolder, "SpeedButtonImport1", QStringLiteral("Import"), importHint);
    SpeedButtonImport2 = PageButton(importHolder, "SpeedButtonImport2", QStringLiteral("Import"), importHint);
    SpeedButtonImport3 = PageButton(importHolder, "SpeedButtonImport3", QStringLiteral("Import"), importHint);
    for (QToolButton* b : { SpeedButtonImport, SpeedButtonImport1, SpeedButtonImport2, SpeedButtonImport3 })
        stack->addWidget(b, 0, 0);
    SpeedButtonImport1->setVisible(false);
    SpeedButtonImport2->setVisible(false);
    SpeedButtonImport3->setVisible(false);
    SpeedButtonToggleMarks = PageButton(lists, "SpeedButtonToggleMarks", QStringLiteral("Status"), QStringLiteral("Status einer Mail setzen"));
    SpeedButtonRemoveDoubles = PageButton(lists, "SpeedButtonRemoveDoubles", QStringLiteral("Tools"), QStringLiteral("Empfängerliste bereinigen"));
    SpeedButtonSearchRecipients = PageButton(lists, "SpeedButtonSearchRecipients", QStringLiteral("Suche"), QStringLiteral("Empfänger suchen"));
    listsRow->addWidget(importHolder);
    listsRow->addWidget(SpeedButtonToggleMarks);
    listsRow->addWidget(SpeedButtonRemoveDoubles);
    listsRow->addWidget(SpeedButtonSearchRecipients);
    auto* files = PageNamed(new QGroupBox(QStringLiteral("Dateisystem Operationen"), TabRecipients), "GroupBoxFileOperations");
    auto* filesRow = new QHBoxLayout(files);
    SpeedButtonLoadrecipients = PageButton(files, "SpeedButtonLoadrecipients", QStringLiteral("Öffnen"), QStringLiteral("Empfängerliste aus Datei laden"));
    SpeedButtonSaverecipients = PageButton(files, "SpeedButtonSaverecipients", QStringLiteral("Export"),
                                           QStringLiteral("Diese Empfängerliste in einer Datei speichern"));
    filesRow->addWidget(SpeedButtonLoadrecipients);
    filesRow->addWidget(SpeedButtonSaverecipients);
    groups->addWidget(lists);
    groups->addWidget(files);
    groups->addStretch(1);
    v->addLayout(groups);

    // Menus.
    auto action = [this](QMenu* menu, const char* name, const QString& caption, void (TMainForm::*handler)(),
                         const QKeySequence& shortcut = QKeySequence()) {
        auto* a = PageNamed(new QAction(caption, menu), name);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        menu->addAction(a);
        connect(a, &QAction::triggered, this, [this, handler] {
            try {
                (this->*handler)();
            } catch (...) {
                if (OnApplicationException)
                    OnApplicationException(std::current_exception());
            }
        });
        return a;
    };
    PopupMenuMarks = PageNamed(new QMenu(this), "PopupMenuMarks");
    MenuMarkSent = action(PopupMenuMarks, "MenuMarkSent", QStringLiteral("Selektierte Mail(s) als gesendet markieren"),
                          &TMainForm::MenuMarkSentClick);
    MenuMarkToSend = action(PopupMenuMarks, "MenuMarkToSend", QStringLiteral("Selektierte Mail(s) als zu senden markieren"),
                            &TMainForm::MenuMarkToSendClick);
    MenuMarkBlocked = action(PopupMenuMarks, "MenuMarkBlocked", QStringLiteral("Selektierte Mail(s) als blockiert markieren"),
                             &TMainForm::MenuMarkBlockedClick);
    PopupMenuMarks->addSeparator();
    MenuAllSentToSend = action(PopupMenuMarks, "MenuAllSentToSend", QStringLiteral("Alle gesendet als zu senden"),
                               &TMainForm::MenuAllSentToSendClick);
    MenuAllBlockedToSend = action(PopupMenuMarks, "MenuAllBlockedToSend", QStringLiteral("Alle blockiert als zu senden"),
                                  &TMainForm::MenuAllBlockedToSendClick);
    MenuAllBlocked = action(PopupMenuMarks, "MenuAllBlocked", QStringLiteral("Alle als blockiert markieren"),
                            &TMainForm::MenuAllBlockedClick);

    PopupMenuGridOperations = PageNamed(new QMenu(this), "PopupMenuGridOperations");
    MenuRemoveDoubles = action(PopupMenuGridOperations, "MenuRemoveDoubles", QStringLiteral("Duplikate entfernen"),
                               &TMainForm::MenuRemoveDoublesClick);
    MenuRemoveEmpty = action(PopupMenuGridOperations, "MenuRemoveEmpty", QStringLiteral("Leere E-Mail Adressen entfernen"),
                             &TMainForm::MenuRemoveEmptyClick);
    MenuRemoveInvalid = action(PopupMenuGridOperations, "MenuRemoveInvalid", QStringLiteral("Ungültige E-Mail Adressen entfernen"),
                               &TMainForm::MenuRemoveInvalidClick);
    PopupMenuGridOperations->addSeparator();
    MenuNextInvalid = action(PopupMenuGridOperations, "MenuNextInvalid", QStringLiteral("Springe zur nächsten ungültigen Adresse"),
                             &TMainForm::MenuNextInvalidClick);

    PopupMenuRecipientsGrid = PageNamed(new QMenu(this), "PopupMenuRecipientsGrid");
    QMenu* g = PopupMenuRecipientsGrid;
    const QString columnHint = QStringLiteral("Die Spalten E-Mail, First Name und Last Name können nicht umbenannt werden.");
    MenuAddColumn = action(g, "MenuAddColumn", QStringLiteral("Spalte hinzufügen"), &TMainForm::MenuAddColumnClick,
                           QKeySequence(Qt::CTRL | Qt::Key_Plus));
    MenuRenameColumn = action(g, "MenuRenameColumn", QStringLiteral("Spalte umbenennen"), &TMainForm::MenuRenameColumnClick);
    MenuRemoveColumn = action(g, "MenuRemoveColumn", QStringLiteral("Spalte entfernen"), &TMainForm::MenuRemoveColumnClick,
                              QKeySequence(Qt::CTRL | Qt::Key_Slash));
    MenuRenameColumn->setToolTip(columnHint);
    MenuRemoveColumn->setToolTip(columnHint);
    g->setToolTipsVisible(true);
    g->addSeparator();
    MenuInsertRow = action(g, "MenuInsertRow", QStringLiteral("Neue Reihe einfügen"), &TMainForm::MenuInsertRowClick);
    MenuInsertRow->setShortcut(QKeySequence()); // the grid's own Insert key
    MenuDeleteRows = action(g, "MenuDeleteRows", QStringLiteral("Gewählte Reihe(n) entfernen"), &TMainForm::MenuDeleteRowsClick,
                            QKeySequence(Qt::CTRL | Qt::Key_Delete));
    g->addSeparator();
    QMenu* cleaning = PageNamed(g->addMenu(QStringLiteral("Bereinigende Operationen")), "MenuCleaning");
    N1 = action(cleaning, "N1", QStringLiteral("Empfängerliste löschen"), &TMainForm::N1Click);
    cleaning->addActions(PopupMenuGridOperations->actions());
    g->addSeparator();
    QMenu* status = PageNamed(g->addMenu(QStringLiteral("Status ändern")), "MenuStatus");
    status->addActions(PopupMenuMarks->actions());
    g->addSeparator();
    MenuImport = action(g, "MenuImport", QStringLiteral("Eine Empfängerliste importieren"), &TMainForm::SpeedButtonImportClick,
                        QKeySequence(Qt::CTRL | Qt::Key_I));
    g->addSeparator();
    MenuLoadFromFile = action(g, "MenuLoadFromFile", QStringLiteral("Empfänger aus Datei laden"), &TMainForm::SpeedButtonLoadrecipientsClick,
                              QKeySequence(Qt::CTRL | Qt::Key_L));
    MenuSaveToFile = action(g, "MenuSaveToFile", QStringLiteral("Empfänger in Datei speichern"), &TMainForm::SpeedButtonSaverecipientsClick,
                            QKeySequence(Qt::CTRL | Qt::Key_S));
    g->addSeparator();
    MenuSearch = action(g, "MenuSearch", QStringLiteral("Empfänger suchen"), &TMainForm::SpeedButtonSearchRecipientsClick,
                        QKeySequence(Qt::CTRL | Qt::Key_F));
    // The shortcuts work in the grid also while its menu is closed.
    for (QAction* a : { MenuAddColumn, MenuRemoveColumn, MenuDeleteRows, MenuImport, MenuLoadFromFile, MenuSaveToFile, MenuSearch })
        StringGridFavorites->addAction(a);
    // A disabled item only lasts while the menu is open.
    connect(g, &QMenu::aboutToHide, this, [this] {
        MenuRenameColumn->setEnabled(true);
        MenuRemoveColumn->setEnabled(true);
        MenuDeleteRows->setEnabled(true);
    });

    // The duplicate dialog (two grids) is made when it is first opened.

    // Buttons and the name box.
    auto guarded = [this](void (TMainForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (...) {
                if (OnApplicationException)
                    OnApplicationException(std::current_exception());
            }
        };
    };
    connect(SpeedButtonSaveFavorite, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonSaveFavoriteClick));
    connect(SpeedButton1, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonDeleterecipientsClick));
    connect(SpeedButtonDeleteFavorite, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonDeleteFavoriteClick));
    connect(SpeedButtonImport, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonImportClick));
    connect(SpeedButtonToggleMarks, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonToggleMarksClick));
    connect(SpeedButtonRemoveDoubles, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonRemoveDoublesClick));
    connect(SpeedButtonSearchRecipients, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonSearchRecipientsClick));
    connect(SpeedButtonLoadrecipients, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonLoadrecipientsClick));
    connect(SpeedButtonSaverecipients, &QToolButton::clicked, this, guarded(&TMainForm::SpeedButtonSaverecipientsClick));
    connect(ComboBoxFavorites, &QComboBox::activated, this, guarded(&TMainForm::ComboBoxFavoritesSelect));
    combo->OnDropDown = [this] {
        bool allow = true;
        try {
            ComboBoxFavoritesDropDown(allow);
        } catch (...) {
            allow = false;
            if (OnApplicationException)
                OnApplicationException(std::current_exception());
        }
        return allow;
    };
    auto* keys = new TKeyDownFilter(ComboBoxFavorites, [this](int& key) { ComboBoxFavoritesKeyDown(key); });
    ComboBoxFavorites->installEventFilter(keys);
    ComboBoxFavorites->lineEdit()->installEventFilter(keys);
    StringGridFavorites->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StringGridFavorites, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenuRecipientsGridPopup();
        PopupMenuRecipientsGrid->popup(StringGridFavorites->mapToGlobal(pos));
    });
}

void TMainForm::WireRecipientsPage()
{
    recipients::TRecipientsGrid* grid = StringGridFavorites;
    grid->SetStore(FListStore.get());
    grid->OnDataChange = [this](db::TDataSource*, db::TField*) { StringGridFavoritesDataChange(); };
    grid->OnEdited = [this] { StringGridEdited(); };
    grid->OnKeyDown = [this](xdb::TXCustomDBGrid*, int&, xdb::TShiftState) { StringGridFavoritesKeyDown(); };
    grid->OnMouseDown = [this](xdb::TXCustomDBGrid*, tk::TMouseButton, xdb::TShiftState, int, int) { StringGridFavoritesMouseDown(); };
    grid->OnEnter = [this](xdb::TXCustomDBGrid*) { StringGridFavoritesEnter(); };
    grid->OnTitleClick = [this](xdb::TXColumn* column) {
        try {
            StringGridFavoritesTitleClick(column);
        } catch (...) {
            if (OnApplicationException)
                OnApplicationException(std::current_exception());
        }
    };
    grid->OnPaintColumnCell = [this](xdb::TXCustomDBGrid*, const QRect&, int, xdb::TXColumn* column, bool, xdb::TSelections,
                                     tk::TColor&, tk::TFont& font, const QImage*&) { StringGridFavoritesPaintColumnCell(column, font); };
    grid->OnSearchNotFound = [this](QWidget* dialog) {
        if (BeepSound)
            BeepSound();
        else
            QApplication::beep();
        if (FlashWindow)
            FlashWindow(dialog);
        else
            QApplication::alert(dialog);
    };
}

// ---- helpers -----------------------------------------------------------------------------------

void TMainForm::SetListChanged(bool on, bool edited)
{
    SpeedButtonSaveFavorite->setEnabled(on);
    FListEdited = on && (edited || FListEdited);
}

std::optional<QString> TMainForm::AskInput(const QString& caption, const QString& prompt, const QString& value)
{
    if (InputQuery)
        return InputQuery(caption, prompt, value);
    bool ok = false;
    const QString text = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, value, &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

QString TMainForm::AskFileName(bool save)
{
    if (FileDialog)
        return FileDialog(save, kListFileFilter, QStringLiteral("csv"));
    const QString filter = importwizard::ToNameFilter(kListFileFilter);
    if (!save)
        return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // The list code asks before it overwrites a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString TMainForm::RecipientsPositionText()
{
    recipients::TRecipientsGrid* grid = StringGridFavorites;
    const int count = grid->RowCount();
    const int row = grid->Row();
    QString text = row == -1 ? QString::number(count + 1) + QLatin1Char('/') + QString::number(count + 1)
                             : QString::number(row) + QLatin1Char('/') + QString::number(count);
    const int n = grid->SelectionCountWithCurrent();
    if (n > 0)
        text += QStringLiteral(" (") + QString::number(n) + QLatin1Char(')');
    return text;
}

// ---- the list at start and close ---------------------------------------------------------------

void TMainForm::NewUnsavedList()
{
    if (!ADOConnection1.Connected())
        return;
    ComboBoxFavorites->setCurrentIndex(-1);
    ComboBoxFavorites->setEditText(QString());
    FListStore->NewUnsavedList();
    SetListChanged(false);
}

void TMainForm::FillListNames()
{
    ComboBoxFavorites->clear();
    if (ADOConnection1.Connected())
        ComboBoxFavorites->addItems(FListStore->GetListNames());
    ComboBoxFavorites->setCurrentIndex(-1);
    ComboBoxFavorites->setEditText(QString());
}

void TMainForm::OpenRememberedList(int index, int listId)
{
    if (!ADOConnection1.Connected())
        return;
    QString name;
    if (listId >= 0)
        name = ADOConnection1.Scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                         .arg(db::QuoteName("Name"), db::QuoteName("RecipientsLists"), db::QuoteName("ID")),
                                     {listId})
                   .toString();
    if (name.isEmpty() && index >= 0 && index < ComboBoxFavorites->count())
        name = ComboBoxFavorites->itemText(index);
    const int item = ComboBoxFavorites->findText(name, Qt::MatchFixedString);
    // A list left behind by a run of this user that is gone is opened: its recovery is offered.
    QString lockedBy;
    const bool locked = !name.isEmpty() && FListStore->GetLockedBy(name, lockedBy) && !FListStore->IsStaleLock(lockedBy);
    if (name.isEmpty() || item < 0 || locked) {
        NewUnsavedList();
        return;
    }
    ComboBoxFavorites->setCurrentIndex(item);
    ComboBoxFavoritesSelect();
}

bool TMainForm::AskSaveList() { return AskSaveListAs(ComboBoxFavorites->currentText()); }

bool TMainForm::AskSaveListAs(const QString& name)
{
    if (!ADOConnection1.Connected() || !FListStore)
        return true;
    StringGridFavorites->PostPendingEdit();
    const bool changed = SpeedButtonSaveFavorite->isEnabled();
    const QStringList before = FListStore->GetListNames();
    const bool goOn = FListStore->AskSaveList(name, changed);
    if (goOn && changed)
        SetListChanged(false);
    if (FListStore->GetListNames() != before) {
        // Saved under a new name: the name box lists it.
        FillListNames();
        ShowListName(name);
    }
    return goOn;
}

void TMainForm::ShowListName(const QString& name)
{
    ComboBoxFavorites->setCurrentIndex(name.isEmpty() ? -1 : ComboBoxFavorites->findText(name, Qt::MatchFixedString));
    ComboBoxFavorites->setEditText(name);
}

void TMainForm::CloseList()
{
    // Releases a stored list's lock and backup, or drops the unsaved list's table.
    if (ADOConnection1.Connected())
        FListStore->CloseList();
}

// ---- the name box and its buttons --------------------------------------------------------------

void TMainForm::ComboBoxFavoritesSelect()
{
    if (!ADOConnection1.Connected())
        return;
    // Enter in the box (after its inline completion), a pick from its list, the wheel or a
    // paging key all arrive here: the open list is never replaced without the save question.
    const QString wanted = ComboBoxFavorites->currentText();
    const QString wantedTable = FListStore->ListNameToTable(wanted);
    const QString openTable = FListStore->TableName();
    if (!openTable.isEmpty()) {
        // A name of no stored list stays in the box as the name to save under.
        if (wantedTable.isEmpty() || wantedTable == FListStore->TEMP)
            return;
        const QString openName = FListStore->OpenListName();
        if (wantedTable == openTable) {
            ShowListName(openName);
            return;
        }
        StringGridFavorites->PostPendingEdit();
        // Keys typed into the box itself changed no row: picking a list by its name is no edit.
        if (SpeedButtonSaveFavorite->isEnabled() && FListEdited) {
            // The question is about the open list, under its own name (or "unbenannt").
            ShowListName(openName);
            if (!AskSaveListAs(openName))
                return;
        }
        ShowListName(wanted);
    }
    if (!FListStore->OpenStoredList(wanted)) {
        // Refused or unknown: the store started a new unsaved list.
        ComboBoxFavorites->setCurrentIndex(-1);
        ComboBoxFavorites->setEditText(QString());
    }
    SetListChanged(false);
    StringGridFavorites->setFocus();
}

void TMainForm::ComboBoxFavoritesDropDown(bool& allow) { allow = AskSaveList(); }

void TMainForm::ComboBoxFavoritesKeyDown(int& key)
{
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        // The arrows would switch lists over unsaved changes.
        if (SpeedButtonSaveFavorite->isEnabled())
            key = 0;
        return;
    }
    // Enter picks the list the box names (it reaches the box twice: from its line edit and
    // from the box itself); it types no name.
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return;
    // A name typed for saving under it; no row changed.
    SetListChanged(true, false);
}

void TMainForm::SpeedButtonSaveFavoriteClick()
{
    if (!ADOConnection1.Connected())
        return;
    StringGridFavorites->PostPendingEdit();
    const QString name = ComboBoxFavorites->currentText();
    if (!FListStore->SaveList(name))
        return;
    FillListNames();
    ComboBoxFavorites->setCurrentIndex(ComboBoxFavorites->findText(name, Qt::MatchFixedString));
    ComboBoxFavorites->setEditText(name);
    SetListChanged(false);
}

void TMainForm::SpeedButtonDeleteFavoriteClick()
{
    if (!ADOConnection1.Connected())
        return;
    StringGridFavorites->PostPendingEdit();
    const QString name = ComboBoxFavorites->currentText();
    const QString table = FListStore->ListNameToTable(name);
    // Deleting another list than the open one (or discarding while a stored list is open)
    // replaces the open list afterwards: its changes are asked about first.
    const bool other = table.isEmpty() ? !FListStore->IsUnsavedOpen() : table != FListStore->TableName();
    if (other && SpeedButtonSaveFavorite->isEnabled() && !AskSaveListAs(FListStore->OpenListName())) {
        ShowListName(name);
        return;
    }
    ShowListName(name);
    QString nowOpen;
    if (!FListStore->DeleteList(name, nowOpen))
        return;
    FillListNames();
    if (!nowOpen.isEmpty()) {
        ComboBoxFavorites->setCurrentIndex(ComboBoxFavorites->findText(nowOpen, Qt::MatchFixedString));
        ComboBoxFavorites->setEditText(nowOpen);
    }
    SetListChanged(false);
    StringGridFavorites->FocusCell(1, 1);
}

void TMainForm::SpeedButtonDeleterecipientsClick()
{
    StringGridFavorites->PostPendingEdit();
    if (!AskSaveList())
        return;
    CloseList();
    NewUnsavedList();
}

// ---- commands ----------------------------------------------------------------------------------

void TMainForm::SpeedButtonImportClick()
{
    if (!ADOConnection1.Connected() || StringGridFavorites->TableName().isEmpty())
        return;
    StringGridFavorites->PostPendingEdit();
    recipients::TRecipientsGrid* grid = StringGridFavorites;
    // The wizard's columns: the list's fields without "_"-names and Status, in table order.
    const QStringList columns = FListStore->ImportColumns();
    const qsizetype emailIndex = std::max<qsizetype>(0, columns.indexOf(QStringLiteral("Email"), 0));
    int failed = 0;
    QString firstFailedEmail;
    {
        TImportWizardForm wizard(this);
        wizard.SetDialogs(ImportWizardDialogs);
        wizard.SetImportTypes(TImportTypes::All());
        wizard.OnNewColumn = [grid](const QString& name) { return grid->AddColumn(name); };
        wizard.setDescriptions(columns);
        wizard.OnDoRowOutput = [grid](const QString& column, const QString& value) { return grid->IsDuplicate(column, value); };
        wizard.OnRowOutput = [&](QStringList& row) {
            const QString email = row.value(emailIndex);
            if (!grid->AddImportedRow(row) && failed++ == 0)
                firstFailedEmail = email;
        };
        // The run's rows go into one transaction, committed also after Cancel or a failure. Rows
        // the store held back and the database refused come back with Status first.
        wizard.OnRunStart = [&] {
            FListStore->BeginBulkInsert([&](const QStringList& values) {
                if (failed++ == 0)
                    firstFailedEmail = values.value(emailIndex + 1);
            });
        };
        wizard.OnRunEnd = [this] { FListStore->EndBulkInsert(); };
        wizard.ShowModal();
    }
    grid->Reopen();
    SetListChanged(true);
    if (failed > 0) {
        QString text = QStringLiteral("Ein Eintrag konnte der Dantenbank nicht hinzugefügt werden: \"") + firstFailedEmail + QLatin1Char('\'');
        if (failed > 1)
            text += QStringLiteral(" (") + QString::number(failed) + QStringLiteral(" Einträge insgesamt)");
        MessageBox(windowTitle(), text, QMessageBox::Ok);
    }
}

void TMainForm::SpeedButtonToggleMarksClick()
{
    PopupMenuMarks->popup(SpeedButtonToggleMarks->mapToGlobal(QPoint(0, 0)));
}

void TMainForm::SpeedButtonRemoveDoublesClick()
{
    PopupMenuGridOperations->popup(SpeedButtonRemoveDoubles->mapToGlobal(QPoint(0, 0)));
}

void TMainForm::SpeedButtonSearchRecipientsClick() { StringGridFavorites->Search(); }

void TMainForm::SpeedButtonLoadrecipientsClick()
{
    if (!ADOConnection1.Connected() || !AskSaveList())
        return;
    const QString fileName = AskFileName(false);
    if (fileName.isEmpty())
        return;
    StringGridFavorites->LoadFromFile(fileName);
    ComboBoxFavorites->setCurrentIndex(-1);
    ComboBoxFavorites->setEditText(QString());
    SetListChanged(true);
}

void TMainForm::SpeedButtonSaverecipientsClick()
{
    if (!ADOConnection1.Connected())
        return;
    StringGridFavorites->PostPendingEdit();
    const QString fileName = AskFileName(true);
    if (!fileName.isEmpty())
        StringGridFavorites->SaveToFile(fileName);
}

void TMainForm::MenuMarkSentClick() { StringGridFavorites->SetStatusOfSelection(1); }
void TMainForm::MenuMarkToSendClick() { StringGridFavorites->SetStatusOfSelection(0); }
void TMainForm::MenuMarkBlockedClick() { StringGridFavorites->SetStatusOfSelection(2); }
void TMainForm::MenuAllSentToSendClick() { StringGridFavorites->MarkAllSentAsUnsent(); }
void TMainForm::MenuAllBlockedToSendClick() { StringGridFavorites->MarkAllBlockedAsUnsent(); }
void TMainForm::MenuAllBlockedClick() { StringGridFavorites->MarkAllAsBlocked(); }

void TMainForm::MenuRemoveDoublesClick()
{
    if (StringGridFavorites->TableName().isEmpty())
        return;
    StringGridFavorites->PostPendingEdit();
    if (!RemoveDoublesForm)
        RemoveDoublesForm = new recipients::TRemoveDoublesForm(this);
    RemoveDoublesForm->SetConnection(&ADOConnection1);
    RemoveDoublesForm->SetTableName(StringGridFavorites->TableName());
    RemoveDoublesForm->SetFieldNames(StringGridFavorites->GetFieldNames());
    RemoveDoublesForm->SetListName(ComboBoxFavorites->currentText());
    RemoveDoublesForm->SetListGrid(StringGridFavorites);
    RemoveDoublesForm->exec();
    SetListChanged(true);
}

void TMainForm::MenuRemoveEmptyClick() { StringGridFavorites->RemoveEmptyAddresses(); }
void TMainForm::MenuRemoveInvalidClick() { StringGridFavorites->RemoveInvalidAddresses(); }

void TMainForm::MenuNextInvalidClick()
{
    // Without a further invalid address the list code beeps and flashes the window.
    StringGridFavorites->GotoNextInvalid();
}

void TMainForm::MenuAddColumnClick()
{
    const auto text = AskInput(QStringLiteral("Spalte hinzufügen"), QStringLiteral("Bitte geben Sie einen Namen für die neue Spalte an:"), QString());
    if (!text || text->isEmpty())
        return;
    StringGridFavorites->AddColumn(*text);
    SetListChanged(true);
}

void TMainForm::MenuRenameColumnClick()
{
    const QString field = StringGridFavorites->FocusedFieldName();
    if (field.isEmpty())
        return;
    const auto text = AskInput(QStringLiteral("Spalte umbennen"),
                               QStringLiteral("Bitte geben Sie den neuen Namen für die Spalte '") + field + QStringLiteral("\" an:"), field);
    if (!text || text->isEmpty())
        return;
    StringGridFavorites->RenameColumn(field, *text);
    SetListChanged(true);
}

void TMainForm::MenuRemoveColumnClick()
{
    const QString field = StringGridFavorites->FocusedFieldName();
    if (field.isEmpty())
        return;
    const auto answer = MessageBox(QStringLiteral("Bestätigung"), QStringLiteral("Möchten Sie die Spalte \"") + field + QStringLiteral("\" wirklich löschen?"),
                                   QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok)
        StringGridFavorites->DropColumn(field);
    SetListChanged(true);
}

void TMainForm::MenuInsertRowClick()
{
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Insert, Qt::NoModifier);
    QApplication::sendEvent(StringGridFavorites, &up);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
    QApplication::sendEvent(StringGridFavorites, &down);
}

void TMainForm::MenuDeleteRowsClick() { StringGridFavorites->DeleteSelectedRows(); }

void TMainForm::PopupMenuRecipientsGridPopup()
{
    const bool userColumn = StringGridFavorites->FocusedColumnIndex() > 3;
    MenuRenameColumn->setEnabled(userColumn);
    MenuRemoveColumn->setEnabled(userColumn);
    MenuDeleteRows->setEnabled(StringGridFavorites->RowCount() > 0);
}

// ---- grid events -------------------------------------------------------------------------------

void TMainForm::StringGridFavoritesTitleClick(xdb::TXColumn* column)
{
    if (column)
        StringGridFavorites->SetSortField(column->FieldName());
}

void TMainForm::StringGridFavoritesDataChange()
{
    if (BackGroundBottom->currentWidget() == TabRecipients)
        StatusBar1->Panels()[1]->SetText(RecipientsPositionText());
}

void TMainForm::StringGridFavoritesPaintColumnCell(xdb::TXColumn* column, tk::TFont& font)
{
    if (column->FieldName().compare(QLatin1String("Email"), Qt::CaseInsensitive) != 0)
        return;
    const db::TField* field = column->Field();
    if (field && !recipients::TRecipientListStore::IsValidAddress(field->AsString()))
        font.SetColor(gfx::clRed);
}

void TMainForm::TabRecipientsHide() { StatusBar1->Panels()[1]->SetText(QString()); }

void TMainForm::StringGridFavoritesKeyDown() { SetListChanged(true); }

void TMainForm::StringGridEdited() { SetListChanged(true); }

void TMainForm::StringGridFavoritesEnter()
{
    if (StringGridFavorites->SelectedIndex() == 0)
        StringGridFavorites->SetSelectedIndex(1);
}

void TMainForm::StringGridFavoritesMouseDown() { StringGridFavorites->PostPendingEdit(); }

} // namespace app
