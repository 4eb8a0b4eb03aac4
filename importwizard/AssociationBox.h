#pragma once
// The rows of the wizard's mapping page: one row per target column, each a combo box of source
// columns with the target column's name beside it.
//
// Control order: the box keeps its rows in the reverse order of the target columns - with n
// target columns, row j belongs to target column n-1-j - while the screen shows them top-down in
// target order. A mapping (see ImportRules.h) lists one combo position per row in control order,
// "-1" for none.
#include <QScrollArea>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;

class TAssociationRow : public QWidget {
    Q_OBJECT
public:
    explicit TAssociationRow(QWidget* parent = nullptr);

    // Replaces the combo's items with the values as shown (see DisplayText). In text mode (keep
    // mode off) the item equal to the text shown before, ignoring case, is selected again; in keep
    // mode nothing is selected.
    void SetItems(const QStringList& values);
    // A source value as its item shows it: at most MaxShownLength characters, a longer one cut
    // and ended with "…". Only the display is cut: the rows take their values from the source.
    static constexpr int MaxShownLength = 80;
    static QString DisplayText(const QString& value);
    void SetCaption(const QString& text);
    // Selects item i; an i outside the items selects nothing.
    void SetItemIndex(int i);
    // The selected position, -1 when none (also when the user typed a text that is no item).
    int GetItemIndex() const;
    QString Text() const;

    bool KeepMode() const { return FKeepMode; }
    void SetKeepMode(bool keep) { FKeepMode = keep; }

    QComboBox* fComboBox;
    QLabel* fLabel;

private:
    void ShowTextStart();
    bool FKeepMode = true;
};

class TAssociationBox : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int RowHeight = 23;

    explicit TAssociationBox(QWidget* parent = nullptr);

    // Copies the target column names and rebuilds the rows, keeping the choices by position.
    void SetDescriptions(const QStringList& descriptions);
    QStringList Descriptions() const { return fDescriptions; }
    // Replaces the source columns of every row; in keep mode the current mapping is applied
    // again afterwards.
    void SetDropDownValues(const QStringList& values);
    QStringList DropDownValues() const { return fDropDownValues; }
    void RebuildRows();
    // Applies a mapping in control order; with more entries than rows the first ones are skipped.
    void SetSelectedItems(const QStringList& mapping);
    // The current mapping in control order.
    QStringList GetSelectedItems();
    // The combo texts in control order.
    QStringList GetSelectedTexts() const;

    bool KeepSelection() const { return FKeep; }
    void SetKeepSelection(bool keep) { FKeep = keep; }

    // Rows in control order.
    const QList<TAssociationRow*>& Rows() const { return FRows; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutRows();

    QWidget* FContent;
    QList<TAssociationRow*> FRows;
    QStringList fDropDownValues;
    QStringList fDescriptions;
    QStringList fSelectedItems;
    bool FKeep = true;
};
