#pragma once
// A combo box that can draw itself flat (a thin border that turns sunken while hovered or focused),
// and the base class of cell checkers, which correct an edited cell's text or mark errors in it.
#include <QComboBox>
#include <QObject>
#include <QString>
#include <functional>

namespace grid::editors {

// Switches a combo between edit and list style. Qt deletes a dropped edit field only later, and
// that deletion clears the focus of a combo shown in the meantime: the field goes at once here.
void SetComboEditable(QComboBox* combo, bool editable);

// The flat look shared by the plain and the Unicode combo.
class TZEICustomCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TZEICustomCombo(QWidget* parent = nullptr);

    int ButtonWidth() const { return m_buttonWidth; }
    // Only 14 to 32 are taken.
    void SetButtonWidth(int value);
    bool Flat() const { return m_flat; }
    void SetFlat(bool value);
    bool Etched() const { return m_etched; }
    void SetEtched(bool value);
    bool FocusBorder = false;
    bool AutoFocus = false;
    int DropWidth() const { return m_dropWidth; }
    void SetDropWidth(int value);
    // The themed drop-down button (the "combobox" class of the visual styles).
    bool IsWinXP = false;
    bool MouseInControl() const { return m_mouseIn; }
    // The focused look: FocusBorder on and the mouse over the control or the focus in it.
    bool ActiveLook() const { return FocusBorder && (m_mouseIn || hasFocus()); }
    // Raised, in this order, when the user picks another item (from the list, by the arrow keys or
    // by typing its first letters); an item set by code raises neither.
    std::function<void(QObject* sender)> OnClick;
    std::function<void(QObject* sender)> OnChange;

protected:
    // The user's choice of an item: the edit field shows the item, then the click and change events.
    virtual void SelectionChanged(int index);
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The drop-down button in the rightmost ButtonWidth pixels, then its edge.
    virtual void PaintButton(QPainter& p, const QRect& button);
    virtual void PaintButtonEdge(QPainter& p, const QRect& button);
    // Draws the arrow button into r: themed (pressed while a mouse button is held), else flat.
    void DrawArrowButton(QPainter& p, const QRect& r);

private:
    int m_buttonWidth;
    bool m_flat = true;
    bool m_etched = false;
    int m_dropWidth = 0;
    bool m_mouseIn = false;
    QColor m_savedColor;
};

class TZEIComboBox : public TZEICustomCombo {
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
public:
    explicit TZEIComboBox(QWidget* parent = nullptr) : TZEICustomCombo(parent) {}
    virtual quint32 VersionNumber() const { return 0x01020000; }
    QString Version() const;
    void SetVersion(const QString&) {}
};

class TZEIUniComboBox;

// The items of a Unicode combo. Clearing them keeps the text in the combo's edit field.
class TComboBoxStrings {
public:
    explicit TComboBoxStrings(QComboBox* combo) : m_combo(combo) {}
    int Count() const { return m_combo->count(); }
    QString Get(int index) const { return m_combo->itemText(index); }
    int Add(const QString& text);
    void Insert(int index, const QString& text) { m_combo->insertItem(index, text); }
    void Delete(int index) { m_combo->removeItem(index); }
    int IndexOf(const QString& text) const { return m_combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive); }
    void Clear();

private:
    QComboBox* m_combo;
};

// The combo for Unicode text: every typed character, also each one of an input-method commit,
// passes BeforeEditChar and OnKeyPress with its real code; the button edge is drawn only while
// the control is active. It has no Version.
class TZEIUniComboBox : public TZEICustomCombo {
    Q_OBJECT
public:
    explicit TZEIUniComboBox(QWidget* parent = nullptr);
    TComboBoxStrings& Items() { return m_items; }
    // Sees every typed character; setting it to a null character drops it.
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;

protected:
    // Called with each typed character before anything else sees it.
    virtual void BeforeEditChar(QChar& ch) { (void)ch; }
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void PaintButton(QPainter& p, const QRect& button) override;
    void PaintButtonEdge(QPainter& p, const QRect& button) override;

private:
    // The typed text after BeforeEditChar and OnKeyPress saw each character.
    QString passChars(const QString& typed);
    TComboBoxStrings m_items;
};

class TZedEzeravIvurCheck : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool AutoCorrect MEMBER AutoCorrect)
    Q_PROPERTY(bool AutoMarkError MEMBER AutoMarkError)
    Q_PROPERTY(bool GotoCell MEMBER GotoCell)
    Q_PROPERTY(bool UseCorrect MEMBER UseCorrect)
    Q_PROPERTY(bool UseMarkError MEMBER UseMarkError)
public:
    explicit TZedEzeravIvurCheck(QObject* owner = nullptr) : QObject(owner) {}
    bool AutoCorrect = false;
    bool AutoMarkError = false;
    bool GotoCell = false;
    bool UseCorrect = false;
    bool UseMarkError = false;
    virtual QString MarkError(int col, int row, const QString& text) { (void)col; (void)row; return text; }
    virtual QString Correct(int col, int row, const QString& text) { (void)col; (void)row; return text; }
    virtual void StartCheck() {}
    virtual void StopCheck() {}
};

} // namespace grid::editors
