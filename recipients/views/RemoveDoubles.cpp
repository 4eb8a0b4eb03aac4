#include "recipients/views/RemoveDoubles.h"
#include "recipients/RecipientListStore.h"
#include "recipients/views/RecipientsGrid.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

namespace recipients {

namespace {

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

db::TBookmark BookmarkOfKey(qint64 key) { return db::TBookmark(reinterpret_cast<const char*>(&key), sizeof key); }

} // namespace

void TDoublesGrid::MouseDown(tk::TMouseButton button, xdb::TShiftState shift, int x, int y)
{
    // A plain click on a row toggles it, like Ctrl+click, so the automatic selection is kept.
    if (button == tk::mbLeft && !(shift & tk::ssShift))
        shift |= tk::ssCtrl;
    xdb::TXDBGrid::MouseDown(button, shift, x, y);
    if (button == tk::mbLeft && OnCellClick)
        OnCellClick();
}

TRemoveDoublesForm::TRemoveDoublesForm(QWidget* parent)
    : QDialog(parent), FDataSet(std::make_unique<db::TExtADODataSet>()), FDataSource(std::make_unique<db::TDataSource>())
{
    setObjectName(QStringLiteral("RemoveDoublesForm"));
    setWindowTitle(QStringLiteral("Suche nach Duplikaten"));
    setProperty("HelpContext", 7); // F1 in the dialog opens the help page on duplicates
    resize(720, 420);
    FDataSet->SetParamCheck(false);
    // Blocking rows changes the status of many of them: a refresh re-reads them all.
    FDataSet->SetRefreshType(db::rtResyncAll);
    FDataSource->SetDataSet(FDataSet.get());

    auto* v = new QVBoxLayout(this);
    Panel1 = new QLabel(QStringLiteral(" Duplikate gefunden in der Liste  "), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    v->addWidget(Panel1);
    XDBGridDoubles = new TDoublesGrid(this);
    XDBGridDoubles->setObjectName(QStringLiteral("XDBGridDoubles"));
    // Nothing sorts the dialog's rows, so a title click shows no sort marker either.
    XDBGridDoubles->SetOptions((XDBGridDoubles->Options() | xdb::dgMultiSelect) &
                               ~(xdb::dgEditing | xdb::dgAlwaysShowEditor | xdb::dgMarkerAutoToggle));
    XDBGridDoubles->SetReadOnly(true);
    XDBGridDoubles->Columns()->SetState(xdb::csCustomized);
    XDBGridDoubles->SetDataSource(FDataSource.get());
    XDBGridDoubles->OnCellClick = [this] { XDBGridDoublesCellClick(); };
    XDBGridDoubles->OnRowSelect = [this](xdb::TXCustomDBGrid*, xdb::TSelectAction) { XDBGridDoublesCellClick(); };
    v->addWidget(XDBGridDoubles, 1);

    auto* bottom = new QHBoxLayout;
    auto* radios = new QVBoxLayout;
    RadioExceptOne = new QRadioButton(QStringLiteral("Alle ausser einem Eintrag je Vorkomniss auswählen "), this);
    RadioExceptOne->setObjectName(QStringLiteral("RadioExceptOne"));
    RadioCustom = new QRadioButton(QStringLiteral("Benutzerdefinierte Auswahl"), this);
    RadioCustom->setObjectName(QStringLiteral("RadioCustom"));
    radios->addWidget(RadioExceptOne);
    radios->addWidget(RadioCustom);
    bottom->addLayout(radios, 1);
    ButtonRemove = new QPushButton(QStringLiteral("Löschen"), this);
    ButtonRemove->setObjectName(QStringLiteral("ButtonRemove"));
    ButtonBlock = new QPushButton(QStringLiteral("Blockieren"), this);
    ButtonBlock->setObjectName(QStringLiteral("ButtonBlock"));
    ButtonClose = new QPushButton(QStringLiteral("Schließen"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    for (QPushButton* b : { ButtonRemove, ButtonBlock, ButtonClose }) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    v->addLayout(bottom);

    connect(ButtonClose, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
    connect(ButtonRemove, &QPushButton::clicked, this, [this] { ButtonRemoveClick(); });
    connect(ButtonBlock, &QPushButton::clicked, this, [this] { ButtonBlockClick(); });
    connect(RadioExceptOne, &QRadioButton::clicked, this, [this] { RadioExceptOneClick(); });
}

TRemoveDoublesForm::~TRemoveDoublesForm()
{
    XDBGridDoubles->SetDataSource(nullptr);
    FDataSource->SetDataSet(nullptr);
}

void TRemoveDoublesForm::SetConnection(db::Connection* connection)
{
    FDataSet->Close();
    FDataSet->SetConnection(connection);
}

void TRemoveDoublesForm::SetTableName(const QString& table) { FTableName = table; }

void TRemoveDoublesForm::SetControlsEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{ XDBGridDoubles, ButtonRemove, ButtonBlock, RadioExceptOne, RadioCustom })
        w->setEnabled(on);
}

void TRemoveDoublesForm::BuildColumns()
{
    xdb::TXDBGridColumns* cols = XDBGridDoubles->Columns();
    cols->BeginUpdate();
    cols->Clear();
    xdb::TXColumn* check = cols->Add();
    check->SetCheckBox(true);
    check->Title()->SetCaption(QStringLiteral("löschen"));
    check->SetWidth(41);
    tk::TImageList* images = FListGrid ? FListGrid->ImageListStatus() : nullptr;
    for (const QString& name : FFieldNames) {
        if (name.startsWith(QLatin1Char('_')))
            continue;
        xdb::TXColumn* c = cols->Add();
        c->SetFieldName(name);
        c->SetReadOnly(true);
        c->SetShowEdit(false);
        if (name.compare(QLatin1String("Status"), Qt::CaseInsensitive) == 0) {
            c->SetImages(images);
            c->SetImageDraw(xdb::idCenter);
            c->SetAlignment(xdb::taCenter);
            c->SetTransparent(true);
            c->SetWidth(TRecipientsGrid::StatusWidth(*c, *XDBGridDoubles));
        } else {
            c->SetWidth(TRecipientsGrid::ColumnWidth);
        }
    }
    cols->EndUpdate();
}

void TRemoveDoublesForm::MyRefresh()
{
    WaitCursor wait;
    FDataSet->Close();
    FFound = {};
    db::Connection* conn = FDataSet->GetConnection();
    if (!conn)
        return;
    ShowFound(TRecipientListStore::FindDuplicates(*conn, FTableName));
}

void TRemoveDoublesForm::ShowFound(TDuplicateRows found)
{
    FDataSet->Close();
    FFound = std::move(found);
    FDataSet->SetCommandText(FFound.statement);
    FDataSet->SetKnownKeys(FFound.shown);
    FDataSet->Open();
    const bool named = !FListName.isEmpty();
    if (FDataSet->IsEmpty()) {
        Panel1->setText(named ? QStringLiteral(" Es konnten keine Duplikate in der Liste \"") + FListName +
                                    QStringLiteral("\" gefunden werden.")
                              : QStringLiteral(" Es konnten keine Duplikate in der ungespeicherten Liste gefunden werden."));
        SetControlsEnabled(false);
        return;
    }
    SetControlsEnabled(true);
    FDataSource->SetEnabled(true);
    Panel1->setText(named ? QStringLiteral(" Folgende Duplikate wurden in der Liste \"") + FListName + QStringLiteral("\" an:")
                          : QStringLiteral(" Folgende Duplikate wurden in der ungespeicherten Tabelle gefunden:"));
    BuildColumns();
}

void TRemoveDoublesForm::AutoSelect()
{
    WaitCursor wait;
    FSelecting = true;
    xdb::TXBookmarkList* rows = XDBGridDoubles->SelectedRows();
    rows->Clear();
    // All but the last row of each address (in the shown order) become selected.
    for (qint64 id : std::as_const(FFound.autoSelected))
        rows->AppendInOrder(BookmarkOfKey(id));
    XDBGridDoubles->InvalidateSelection();
    FSelectedCount = rows->Count();
    FSelecting = false;
}

QList<qint64> TRemoveDoublesForm::SelectedIds() const
{
    QList<qint64> ids;
    for (const db::TBookmark& b : XDBGridDoubles->SelectedRows()->List()) {
        qint64 key = 0;
        if (b.size() >= qsizetype(sizeof key)) {
            std::memcpy(&key, b.constData(), sizeof key);
            ids << key;
        }
    }
    return ids;
}

void TRemoveDoublesForm::FormShow()
{
    MyRefresh();
    AutoSelect();
    RadioExceptOne->setChecked(true);
}

void TRemoveDoublesForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TRemoveDoublesForm::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    FDataSet->Close();
    FFound = {};
    if (db::Connection* conn = FDataSet->GetConnection()) {
        try {
            TRecipientListStore::ForgetDuplicates(*conn);
        } catch (const db::EDatabaseError&) {
            // only memory of this connection; the next refresh fills the table anew
        }
    }
    if (FListGrid)
        FListGrid->RefreshIfChanged();
}

void TRemoveDoublesForm::RadioExceptOneClick() { AutoSelect(); }

void TRemoveDoublesForm::XDBGridDoublesCellClick()
{
    if (FSelecting || !FDataSet->Active())
        return;
    if (XDBGridDoubles->SelectedRows()->Count() != FSelectedCount)
        RadioCustom->setChecked(true);
}

void TRemoveDoublesForm::ButtonBlockClick()
{
    if (!FListGrid || !FListGrid->Store())
        return;
    const QList<qint64> ids = SelectedIds();
    {
        WaitCursor wait;
        // One statement per batch in one transaction; the dialog's rows show the new status.
        FListGrid->Store()->SetStatusOfIds(ids, 2);
        FDataSet->Refresh();
    }
    FListGrid->SetChanged(true);
    FListGrid->RefreshIfChanged();
}

void TRemoveDoublesForm::ButtonRemoveClick()
{
    if (!FListGrid || !FListGrid->Store())
        return;
    const QList<qint64> ids = SelectedIds();
    {
        WaitCursor wait;
        const qint64 deleted = FListGrid->Store()->DeleteRows(ids);
        FDataSet->Close();
        if (db::Connection* conn = FDataSet->GetConnection())
            ShowFound(TRecipientListStore::DuplicatesAfterDelete(*conn, FTableName, FFound, ids, deleted));
    }
    XDBGridDoubles->SelectedRows()->Validate();
    // DeleteRows has read the list again.
    FListGrid->RowsDeletedInStore();
}

} // namespace recipients
