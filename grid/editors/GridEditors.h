#pragma once
// The grid's cell editor controls: one class per kind of editor, each created once by the grid,
// kept hidden and shown over the cell being edited. They hand their value back through the
// grid's editor host and give the keys that leave them back to the grid.
#include "grid/editors/EditButton.h"
#include "grid/editors/EditorHost.h"
#include "grid/editors/FlatCombo.h"
#include "grid/editors/SpinEdit.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

namespace grid::editors {

// What the grid editors share: the host, the commit step and the leave step.
class TGridEditorLink {
public:
    explicit TGridEditorLink(TEditorHost* host) : m_host(host) {}
    TEditorHost* Host() const { return m_host; }

protected:
    // Writes the text to the cell and validates it; on failure the cell's text comes back into the
    // editor with the caret at its end (unless `keepCaret`). Returns whether it was accepted.
    bool Commit(QLineEdit* edit, bool keepCaret = false);
    // Tab with the grid's Tab option advances; any other key goes back to the grid.
    void Leave(int key, Qt::KeyboardModifiers modifiers);

private:
    TEditorHost* m_host;
};

// Edit with a button at its right edge (an ellipsis by default): the button and F4 call
// ButtonPressed, which raises OnClickBtn.
class TDidEzevBtn : public QLineEdit {
    Q_OBJECT
public:
    explicit TDidEzevBtn(QWidget* parent = nullptr);
    // The speed button (for clicks) and the control hosting it.
    TZedSpeedButton* Button() const { return m_button->SpeedButton(); }
    TDidEzevButton* ButtonControl() const { return m_button; }
    QString ButtonCaption() const { return m_button->ButtonCaption(); }
    void SetButtonCaption(const QString& value) { m_button->SetButtonCaption(value); }
    QPixmap Glyph() const { return m_button->Glyph(); }
    void SetGlyph(const QPixmap& value) { m_button->SetGlyph(value); }
    // The last width written (0 until then); the button control is 18 pixels wide at first and
    // never narrower than 15.
    int ButtonWidth() const { return m_buttonWidth; }
    void SetButtonWidth(int value);
    bool EditorEnabled() const { return m_editorEnabled; }
    void SetEditorEnabled(bool value) { m_editorEnabled = value; }
    bool RightAlign() const { return m_rightAlign; }
    void SetRightAlign(bool value);
    // Receiving the focus selects the whole text, unless a left press on the edit itself brought it.
    // A press on the button focuses the edit only when it is released, as the button acts then.
    bool AutoSelect = true;
    // The themed look of the speed button.
    bool IsWinXP() const { return m_button->SpeedButton()->IsWinXP(); }
    void SetIsWinXP(bool value) { m_button->SpeedButton()->SetIsWinXP(value); }
    // The lowest height the edit takes: its font's text height H plus a quarter of the smaller of H
    // and the desktop font's text height. A lower height is raised to it.
    int MinEditHeight() const;
    // Called by the button and by F4.
    virtual void ButtonPressed();
    std::function<void(QObject* sender)> OnClickBtn;
    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    virtual bool HandleKey(QKeyEvent* event) { (void)event; return false; }
    // Pixels kept free between the text and the button (a unit edit's unit).
    void SetUnitWidth(int value);
    int UnitWidth() const { return m_unitWidth; }
    // The button control's place and the text's room beside it.
    void layoutButton();

private:
    TDidEzevButton* m_button;
    int m_buttonWidth = 0;
    int m_unitWidth = 0;
    bool m_editorEnabled = true;
    bool m_rightAlign = false;
    // The focus came with a left press that may be on the button (decided by the press or the release).
    bool m_focusByPress = false;
};

class TGridSpin : public DAveVevaDiza, public TGridEditorLink {
    Q_OBJECT
public:
    TGridSpin(TEditorHost* host, QWidget* parent);
    void StepUp() override;
    void StepDown() override;

protected:
    bool HandleKey(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void raiseSpin(bool up);
};

class TGridCombo : public TZEIComboBox, public TGridEditorLink {
    Q_OBJECT
public:
    TGridCombo(TEditorHost* host, QWidget* parent);
    bool IsDroppedDown() const { return m_dropped; }
    std::function<void(QObject* sender)> OnReturnKey;
    void showPopup() override;
    void hidePopup() override;
    // Completes the text from the items (then the grid's lookup list) after a key release.
    void AutoComplete();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The user's edits of the text report a change (the line edit is new after setEditable).
    void watchLineEdit();
    void textEditedByUser(const QString& text);
    bool m_autoComplete = true;
    bool m_dropped = false;
};

// Numeric and float kinds filter the typed characters.
enum TEditBtnKind { ebkText, ebkNumeric, ebkFloat };

class TGridEditBtn : public TDidEzevBtn, public TGridEditorLink {
    Q_OBJECT
public:
    TGridEditBtn(TEditorHost* host, QWidget* parent);
    TEditBtnKind Kind = ebkText;

protected:
    bool HandleKey(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool acceptsChar(QChar ch);
};

// Edit with a unit: the number in the edit, the unit (UnitID) picked from a menu of Units on the
// button.
class TGridUnitEditBtn : public TDidEzevBtn, public TGridEditorLink {
    Q_OBJECT
public:
    TGridUnitEditBtn(TEditorHost* host, QWidget* parent);
    QString UnitID() const { return m_unitID; }
    void SetUnitID(const QString& value);
    QStringList Units;
    // Pixels kept between the text and the button for the unit.
    int UnitSpace() const { return UnitWidth(); }
    void SetUnitSpace(int value);
    // The menu of units shown by the button (empty when there are no units).
    class QMenu* UnitMenu() const { return m_menu; }
    // Opens the unit menu instead of raising OnClickBtn.
    void ButtonPressed() override;

protected:
    bool HandleKey(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_unitID;
    class QMenu* m_menu;
};

class TGridCheckBox : public QCheckBox, public TGridEditorLink {
    Q_OBJECT
public:
    TGridCheckBox(TEditorHost* host, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class TGridDatePicker : public QDateTimeEdit, public TGridEditorLink {
    Q_OBJECT
public:
    TGridDatePicker(TEditorHost* host, QWidget* parent);
    bool TimeKind = false;
    // Opens the calendar (F4 and the direct drop).
    void DropDown();
    bool IsDroppedDown() const;
    // A date picked in the calendar: the user's change.
    void PickDate(QDate date);
    // The value in the display format: what the cell gets (a section still being typed counts
    // as the value it has given so far).
    QString ValueText();

protected:
    // Input events mark the changes they cause as the user's.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Two one-pixel frames in the system window colour over the frame: no 3D border shows.
    void paintEvent(QPaintEvent* event) override;

private:
    bool ownsActivePopup() const;
    bool m_byUser = false;
    // The last digit filled a section and the caret moved on by itself: a separator typed now
    // belongs to the section just left.
    bool m_sectionFilled = false;
};

class TGridButton : public QPushButton, public TGridEditorLink {
    Q_OBJECT
public:
    TGridButton(TEditorHost* host, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void hideSelf();
};

// ------------------------------------------------------------------ Unicode controls
// Qt's widgets hold UTF-16 text already; what these add is the key-press event with the real
// character, also for every character of an input-method commit.

class TZeiUniEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TZeiUniEdit(QWidget* parent = nullptr);
    // Sees every typed character; setting it to a null character drops it.
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;
    // Receiving the focus selects the whole text, unless a left press on the edit brought it.
    bool AutoSelect = true;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
};

class TZeiUniMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TZeiUniMemo(QWidget* parent = nullptr);
    bool WordWrap() const { return lineWrapMode() != QPlainTextEdit::NoWrap; }
    // The text stays across both changes.
    void SetWordWrap(bool value);
    void SetScrollBars(Qt::ScrollBarPolicy horizontal, Qt::ScrollBarPolicy vertical);
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
};

// Starts empty where the plain edit-with-button starts with "0".
class TZeiUniEditBtn : public TDidEzevBtn {
    Q_OBJECT
public:
    explicit TZeiUniEditBtn(QWidget* parent = nullptr) : TDidEzevBtn(parent) { clear(); }
};

class TGridUniEdit : public TZeiUniEdit, public TGridEditorLink {
    Q_OBJECT
public:
    TGridUniEdit(TEditorHost* host, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class TGridUniEditBtn : public TZeiUniEditBtn, public TGridEditorLink {
    Q_OBJECT
public:
    TGridUniEditBtn(TEditorHost* host, QWidget* parent);

protected:
    bool HandleKey(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class TGridUniMemo : public TZeiUniMemo, public TGridEditorLink {
    Q_OBJECT
public:
    TGridUniMemo(TEditorHost* host, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
};

class TGridUniCombo : public TZEIUniComboBox, public TGridEditorLink {
    Q_OBJECT
public:
    TGridUniCombo(TEditorHost* host, QWidget* parent);
    void AutoComplete();
    // Removes the items and keeps the edit text.
    void ClearItems() { Items().Clear(); }
    void showPopup() override;
    void hidePopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The grid's combo change event first, then the combo's own click and change events.
    void SelectionChanged(int index) override;

private:
    void watchLineEdit();
    void textEditedByUser(const QString& text);
    bool m_autoComplete = true;
    bool m_dropped = false;
};

} // namespace grid::editors
