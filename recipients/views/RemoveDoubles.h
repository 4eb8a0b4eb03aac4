#pragma once
// TRemoveDoublesForm: the dialog "Suche nach Duplikaten". It lists the rows of the open list whose
// address occurs more than once (ignoring case), grouped by address, selects all but one row of
// each address and deletes ("Löschen") or blocks ("Blockieren") the selected rows.
#include "platform/db/ExtADODataSet.h"
#include "recipients/RecipientListStore.h"
#include "recipients/datagrid/XDBGrid.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <memory>

class QLabel;
class QPushButton;
class QRadioButton;

namespace recipients {

class TRecipientsGrid;

// The grid of the dialog: a click on a data cell toggles that row's selection.
class TDoublesGrid : public xdb::TXDBGrid {
    Q_OBJECT
public:
    explicit TDoublesGrid(QWidget* parent = nullptr) : xdb::TXDBGrid(parent) {}
    std::function<void()> OnCellClick;

protected:
    void MouseDown(tk::TMouseButton button, xdb::TShiftState shift, int x, int y) override;
};

class TRemoveDoublesForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemoveDoublesForm(QWidget* parent = nullptr);
    ~TRemoveDoublesForm() override;

    void SetConnection(db::Connection* connection);
    void SetTableName(const QString& table);
    void SetFieldNames(const QStringList& names) { FFieldNames = names; }
    // The name box's text ('' for the unsaved list); used in the headings.
    void SetListName(const QString& name) { FListName = name; }
    // The list grid: its store changes the rows, its status images are shown, and it is refreshed.
    void SetListGrid(TRecipientsGrid* grid) { FListGrid = grid; }

    void MyRefresh();
    void AutoSelect();
    int AutoSelectedCount() const { return FSelectedCount; }
    db::TExtADODataSet& DataSet() { return *FDataSet; }

    // ---- handlers
    void FormShow();
    void ButtonCloseClick() { close(); }
    void ButtonBlockClick();
    void ButtonRemoveClick();
    void RadioExceptOneClick();
    void XDBGridDoublesCellClick();

    TDoublesGrid* XDBGridDoubles;
    QLabel* Panel1;
    QPushButton *ButtonClose, *ButtonRemove, *ButtonBlock;
    QRadioButton *RadioExceptOne, *RadioCustom;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QList<qint64> SelectedIds() const;
    void SetControlsEnabled(bool on);
    void BuildColumns();
    void ShowFound(TDuplicateRows found);

    std::unique_ptr<db::TExtADODataSet> FDataSet;
    std::unique_ptr<db::TDataSource> FDataSource;
    QString FTableName;
    QStringList FFieldNames;
    int FSelectedCount = 0;
    TDuplicateRows FFound; // the shown rows and their automatic selection
    QString FListName;
    QPointer<TRecipientsGrid> FListGrid;
    bool FSelecting = false;
};

} // namespace recipients
