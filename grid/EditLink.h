#pragma once
// The link through which an application edits cells of the kind edCustom with a control of its
// own, in place over the cell or in a popup window ("gridform").
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

class QWidget;

namespace grid {

class TZedEzeravIvur;

enum TEditStyle { esInplace, esPopup };

class TEditLink : public QObject {
    Q_OBJECT
public:
    explicit TEditLink(QObject* owner = nullptr);
    ~TEditLink() override;

    TEditStyle EditStyle = esInplace;
    int PopupWidth = 0;
    int PopupHeight = 0;
    int PopupLeft = -1;   // -1: at the cell
    int PopupTop = -1;
    bool AutoPopupWidth = false;
    bool WantKeyLeftRight = false;
    bool WantKeyUpDown = false;
    bool WantKeyHomeEnd = false;
    bool WantKeyPriorNext = false;
    bool WantKeyReturn = false;
    bool WantKeyEscape = false;
    int Tag = 0;

    TZedEzeravIvur* Grid() const { return m_grid; }
    int EditCol() const { return m_col; }
    int EditRow() const { return m_row; }
    QWidget* PopupForm() const { return m_popup; }

    // For the control's key handling: the keys that leave the editor end the edit (Escape first
    // restores the text the cell had); Enter and Escape are then used up (key 0).
    virtual void EditKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers modifiers);
    virtual QWidget* GetEditControl() { return nullptr; }
    virtual void CreateEditor(QWidget* parent) { (void)parent; }
    virtual void DestroyEditor() {}
    // Shows and enables the control (true) and focuses it, or gives the focus to the grid.
    virtual void SetFocus(bool value);
    virtual void SetRect(const QRect& rect);
    virtual void SetVisible(bool value);
    virtual void SetProperties() {}
    virtual void SetCellProps(const QColor& color, const QFont& font) { (void)color; (void)font; }
    virtual QString GetEditorValue() { return QString(); }
    virtual void SetEditorValue(const QString& value) { (void)value; }

    // Stores the value, ends editing and hides the control (and the popup).
    void EndEdit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TZedEzeravIvur;
    void attach(TZedEzeravIvur* grid, int col, int row);
    QWidget* popupFor(QWidget* grid);
    void popupClosed();

    QPointer<TZedEzeravIvur> m_grid;
    int m_col = -1;
    int m_row = -1;
    QPointer<QWidget> m_popup;
    QPointer<QWidget> m_filtered;
    bool m_forcedExit = false;
    bool m_ending = false;
};

} // namespace grid
