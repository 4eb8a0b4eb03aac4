#pragma once
// The string grid's default in-place edit: filters and transforms typed characters by the cell's
// editor kind, limits the length, validates when keys leave it, walks the caret into neighbouring
// cells, completes from the grid's lookup list and filters pasted text.
#include "platform/grid/CustomGrid.h"
#include <QPointer>

class QMenu;

namespace grid {

class TZedEzeravIvur;

// The behaviour both kinds of the default edit share. The grid's editor is a multi-line
// TZedInplaceMemo, or a TZedInplaceLineEdit when Ctrl+Enter line breaks are off or the cell is a
// password or masked; either one is reached as a TZedInplaceEdit (dynamic_cast from the grid's
// InplaceEditor()).
class TZedInplaceEdit {
public:
    TZedInplaceEdit(TZedEzeravIvur* grid, tk::TInplaceEditor* editor);
    virtual ~TZedInplaceEdit() = default;
    TZedInplaceEdit(const TZedInplaceEdit&) = delete;
    TZedInplaceEdit& operator=(const TZedInplaceEdit&) = delete;

    TZedEzeravIvur* ZodGrid() const { return m_grid; }
    tk::TInplaceEditor* Editor() const { return m_ed; }
    int LengthLimit() const { return m_lengthLimit; }
    void SetLengthLimit(int value) { m_lengthLimit = value; }
    bool AutoCompleteOn() const { return m_autoComplete; }
    // Centres the text vertically in the cell (otherwise it starts at the top).
    bool VAlign() const { return m_vAlign; }
    void SetVAlign(bool value);
    // The clipboard operations with their events (keys and the context menu).
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    // Pastes a text as the clipboard's paste does after its events (limit, the kind's filter).
    void PasteText(QString text);
    // Completes the text from the grid's lookup list (after a key release).
    void AutoComplete();
    // The editor's context menu, its cut, copy and paste going through the events above.
    QMenu* CreateContextMenu();

protected:
    // The widget classes forward their events here.
    void contentsUpdated();
    void placeOverCell();
    void handleKeyPress(QKeyEvent* event);
    void handleKeyRelease(QKeyEvent* event);
    void handleFocusIn(QFocusEvent* event);
    void handleFocusOut(QFocusEvent* event);
    void handleDoubleClick();
    void handleContextMenu(QContextMenuEvent* event);
    bool handleTab(QEvent* event);
    void textChangedByUser();

    // The widget's parts.
    virtual void toolkitKeyPress(QKeyEvent* event) = 0;   // the toolkit editor's key handling
    virtual void nativeKeyPress(QKeyEvent* event) = 0;    // the widget's own, without forwarding
    virtual void nativeCopy() = 0;
    virtual void nativeCut() = 0;
    virtual QMenu* standardContextMenu() = 0;
    virtual void applyKindStyles() = 0;                   // password, mask or wrapping
    virtual void setInnerMargins() = 0;   // by VAlign()
    virtual QString inputMaskOf() const { return QString(); }
    virtual QString maskedDisplayText() const { return QString(); }
    bool isPasswordKind() const;
    // Whether the grid has replaced this editor by one of the other kind (it is deleted soon).
    bool replaced() const;

private:
    bool validateOrRestore(bool caretAtEnd);
    // The typed character after the length limit and the kind's filter; a null character drops it.
    QChar filterChar(QChar ch, bool& handled);
    // The character stages of a key: the editor's filters, then the key-press steps.
    void charStage(QChar ch, QKeyEvent* event);
    void insertLineBreak();
    // Grows the row for a line break about to be typed.
    void growRowForLineBreak();
    bool isTextKind() const;

    TZedEzeravIvur* m_grid;
    tk::TInplaceEditor* m_ed;
    int m_lengthLimit = 0;
    bool m_autoComplete = true;
    bool m_vAlign = false;
    bool m_quiet = false;
    QPoint m_contentsCell{-1, -1};
};

// The single-line default edit (passwords, masks, Ctrl+Enter off).
class TZedInplaceLineEdit : public tk::TInplaceEdit, public TZedInplaceEdit {
    Q_OBJECT
public:
    explicit TZedInplaceLineEdit(TZedEzeravIvur* grid);
    void UpdateContents() override;
    void Move(const QRect& rect) override;

protected:
    void keyPressEvent(QKeyEvent* event) override { handleKeyPress(event); }
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override { handleContextMenu(event); }
    bool event(QEvent* event) override;

    void toolkitKeyPress(QKeyEvent* event) override { tk::TInplaceEdit::keyPressEvent(event); }
    void nativeKeyPress(QKeyEvent* event) override { NativeKeyPress(event); }
    void nativeCopy() override { copy(); }
    void nativeCut() override { cut(); }
    QMenu* standardContextMenu() override { return createStandardContextMenu(); }
    void applyKindStyles() override;
    void setInnerMargins() override;
    QString inputMaskOf() const override { return inputMask(); }
    QString maskedDisplayText() const override { return displayText(); }
};

// The multi-line default edit.
class TZedInplaceMemo : public tk::TInplaceMemo, public TZedInplaceEdit {
    Q_OBJECT
public:
    explicit TZedInplaceMemo(TZedEzeravIvur* grid);
    void UpdateContents() override;
    void Move(const QRect& rect) override;

protected:
    void keyPressEvent(QKeyEvent* event) override { handleKeyPress(event); }
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override { handleContextMenu(event); }
    bool event(QEvent* event) override;

    void toolkitKeyPress(QKeyEvent* event) override { tk::TInplaceMemo::keyPressEvent(event); }
    void nativeKeyPress(QKeyEvent* event) override { NativeKeyPress(event); }
    void nativeCopy() override { copy(); }
    void nativeCut() override { cut(); }
    QMenu* standardContextMenu() override { return createStandardContextMenu(); }
    void applyKindStyles() override;
    void setInnerMargins() override;
};

// The editor of a fixed cell: validated and stored when it is left; Enter is swallowed.
class TGridTransEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TGridTransEdit(TZedEzeravIvur* grid);
    int Col = 0;
    int Row = 0;
    // OnCellValidate may refuse or change the text: accepted, it is stored and the editor hides;
    // refused, the grid's current cell becomes the edited one and the editor keeps the focus.
    bool ValidateAndStore();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<TZedEzeravIvur> m_grid;
};

} // namespace grid
