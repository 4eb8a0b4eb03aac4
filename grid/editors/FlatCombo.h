#pragma once
// A combo box that can draw itself flat (a thin border that turns sunken while hovered or focused),
// and the base class of cell checkers, which correct an edited cell's text or mark errors in it.
#include <QComboBox>
#include <QObject>
#include <QString>

namespace grid::editors {

class TZEIComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
public:
    explicit TZEIComboBox(QWidget* parent = nullptr);

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
    bool IsWinXP = false;
    bool MouseInControl() const { return m_mouseIn; }

    virtual quint32 VersionNumber() const { return 0x01020000; }
    QString Version() const;
    void SetVersion(const QString&) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_buttonWidth;
    bool m_flat = true;
    bool m_etched = false;
    int m_dropWidth = 0;
    bool m_mouseIn = false;
    QColor m_savedColor;
    bool m_savedOwnColor = false;
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
