#pragma once
// Editing cells in place: the grid's line edit with a button (ellipsis or drop-down), the pick list
// that drops down under it, and the mapping between stored values and shown pick texts.
//
// The pick list is a top-level tool window that never takes the focus: the editor keeps the focus
// and hands the keys the list needs to it. One key event in the editor runs two stages in order:
// the key-down stage (virtual keys: drop-down keys, the editor's own keys, keys for the grid) and
// the key-press stage (characters: the grid's KeyPress, then typing into the text).
#include "platform/grid/CustomGrid.h"
#include "recipients/datagrid/XDBGridColumns.h"
#include "recipients/datagrid/XDBGridPickText.h"
#include <QElapsedTimer>
#include <QListWidget>
#include <QPointer>
#include <functional>

namespace xdb {

class TXCustomDBGrid;

enum TEditStyle { esSimple = 0, esEllipsis = 1, esPickList = 2, esDropDown = 3 };

// ------------------------------------------------------------------ TXPopupListBox

class TXPopupListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TXPopupListBox(TXCustomDBGrid* grid);
    TXCustomDBGrid* Grid() const { return m_grid; }

    int ItemHeight() const;
    void SetItems(const QStringList& items);
    // Incremental search: Backspace and Esc clear the search text; a printable character after
    // more than 2000 ms starts a new one; up to 32 characters select the first item beginning
    // with them. `nowMs` is a monotonic time in milliseconds.
    void SearchKey(int key, QChar ch, qint64 nowMs);
    QString SearchText() const { return m_searchText; }

    // Raised when a mouse release closes the list (accept: released inside it).
    std::function<void(bool accept)> OnCloseUp;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    TXCustomDBGrid* m_grid;
    QString m_searchText;
    qint64 m_lastKey = 0;
    QElapsedTimer m_clock;
};

// ------------------------------------------------------------------ TXPopupDataList

// The lookup list: the records of a lookup dataset, shown by their list field and standing for
// their key value.
class TXPopupDataList : public TXPopupListBox {
    Q_OBJECT
public:
    explicit TXPopupDataList(TXCustomDBGrid* grid) : TXPopupListBox(grid) {}
    // Reads the lookup dataset's records (its position is kept) and selects the key value's one.
    void Fill(db::TDataSet* lookup, const QString& keyField, const QString& listField, const QVariant& keyValue);
    QVariant KeyValue() const; // of the selected item; null when none
};

// ------------------------------------------------------------------ TXInplaceEditList

class TXInplaceEditList : public tk::TInplaceEdit {
    Q_OBJECT
public:
    explicit TXInplaceEditList(tk::TCustomGrid* grid);
    ~TXInplaceEditList() override;

    TEditStyle EditStyle() const { return m_editStyle; }
    void SetEditStyle(TEditStyle value);
    int ButtonWidth() const { return m_buttonWidth; }
    QRect ButtonRect() const;
    int DropDownRows() const { return m_dropDownRows; }
    void SetDropDownRows(int value) { m_dropDownRows = value; }
    int DropDownWidth() const { return m_dropDownWidth; }
    void SetDropDownWidth(int value) { m_dropDownWidth = value; }
    bool ListVisible() const { return m_listVisible; }
    TXPopupListBox* PickList();                 // created on first use
    TXPopupListBox* ActiveList() const { return m_activeList; }
    bool Pressed() const { return m_pressed; }

    void UpdateContents() override;
    // The key-down stage of the drop-down styles; a handled key is set to 0.
    virtual void DoDropDownKeys(int& key, tk::TShiftState shift);
    virtual void DoEditButtonClick();
    virtual void CloseUp(bool accept);
    virtual void DoGetPickListItems();
    virtual void DropDown();
    virtual void KeyDown(int& key, tk::TShiftState shift);
    virtual void KeyPress(QChar& key);
    virtual void DblClick();

    std::function<void(int col, int row, QStringList& items)> OnGetPickListItems;
    std::function<void(QObject* sender)> OnEditButtonClick;

protected:
    // The items the pick list shows (base: none beyond OnGetPickListItems).
    virtual QStringList PickListItems() { return {}; }
    void SetActiveList(TXPopupListBox* list) { m_activeList = list; }
    void SetPickListLoaded(bool value) { m_pickListLoaded = value; }
    void SelectAllText();
    // The key of the event in progress comes from the numeric keypad.
    bool KeypadKey() const { return m_keypad; }

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BoundsChanged();
    void PassToList(QKeyEvent* event);
    // Inserts typed or pasted text within the edit limit; false when nothing fits.
    bool InsertLimited(const QString& text);

    TEditStyle m_editStyle = esSimple;
    int m_buttonWidth;
    TXPopupListBox* m_pickList = nullptr;
    TXPopupListBox* m_activeList = nullptr;
    int m_dropDownRows = 7;
    int m_dropDownWidth = 0;
    bool m_listVisible = false;
    bool m_tracking = false;
    bool m_pressed = false;
    bool m_pickListLoaded = false;
    bool m_mouseInButton = false;
    int m_editLimit = 0;
    bool m_keypad = false;
};

// ------------------------------------------------------------------ TXDBGridInplaceEdit

class TXDBGridInplaceEdit : public TXInplaceEditList {
    Q_OBJECT
public:
    explicit TXDBGridInplaceEdit(TXCustomDBGrid* grid);
    TXCustomDBGrid* DBGrid() const { return m_dbGrid; }

    void UpdateContents() override;
    void DoEditButtonClick() override;
    void CloseUp(bool accept) override;
    void DropDown() override;
    void KeyDown(int& key, tk::TShiftState shift) override;
    void KeyPress(QChar& key) override;
    void DblClick() override;

    // Selects the next (or prior) pick value into the field; false when nothing was done.
    bool SelectNextValue(bool next);
    // Delete: clears the value when the whole text is selected; false when nothing was done.
    bool ClearValue();
    // Forgets the cell last shown (the automatic drop-down fires again for it).
    void ForgetLastCell() { m_lastCol = m_lastRow = -1; }
    TXPopupDataList* LookupList();              // created on first use
    bool UsesLookupList() const { return m_useLookupList; }

protected:
    QStringList PickListItems() override;
    bool event(QEvent* event) override;

private:
    TXColumn* Column() const;
    // The lookup field's key field when the lookup list may set it (else null).
    db::TField* LookupKeyField() const;
    TXCustomDBGrid* m_dbGrid;
    TXPopupDataList* m_lookupList = nullptr;
    bool m_useLookupList = false;
    int m_lastCol = -1;
    int m_lastRow = -1;
};

} // namespace xdb
