#pragma once
// The spin edit: a single-line edit with a pair of arrow buttons at its right edge that steps an
// integer, a number, a date or a time. The value lives in the text and is parsed on demand.
#include "grid/editors/EditorHost.h"
#include <QDateTime>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <functional>

class DAvoRorurAroruDadaze;

namespace grid::editors {

enum TVidAvezType { sptNormal, sptFloat, sptDate, sptTime };
enum TSpinDirection { spVertical, spHorizontal };
enum TEditAlign { eaLeft, eaRight, eaCenter };

// The arrows the pair shows by default (9 x 6 pixels; the resources "VidAvezUp" and "VidAvezDown").
QPixmap VidAvezGlyph(bool up);

// The arrow pair: two repeating arrow buttons; Up/Down keys and Space click them.
class TVidAvezButton : public QWidget {
    Q_OBJECT
public:
    explicit TVidAvezButton(QWidget* parent = nullptr);
    TSpinDirection Direction() const { return m_direction; }
    void SetDirection(TSpinDirection value);
    DAvoRorurAroruDadaze* UpButton() const { return m_up; }
    DAvoRorurAroruDadaze* DownButton() const { return m_down; }
    DAvoRorurAroruDadaze* FocusedButton() const { return m_focused; }
    // The arrow buttons' glyphs: a copy of the given one; an empty one brings the default arrow
    // back with one image.
    QPixmap UpGlyph() const;
    void SetUpGlyph(const QPixmap& value);
    QPixmap DownGlyph() const;
    void SetDownGlyph(const QPixmap& value);
    // Images in each glyph (1 to 4).
    int UpNumGlyphs() const;
    void SetUpNumGlyphs(int value);
    int DownNumGlyphs() const;
    void SetDownNumGlyphs(int value);
    QWidget* FocusControl = nullptr;
    std::function<void()> OnUpClick;
    std::function<void()> OnDownClick;
    // Lays the two buttons out for a size (widths below 15 / 20 are raised).
    QSize AdjustButtonBounds(int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setFocusedArrow(DAvoRorurAroruDadaze* button);
    void arrowPressed(DAvoRorurAroruDadaze* button);
    DAvoRorurAroruDadaze* m_up;
    DAvoRorurAroruDadaze* m_down;
    DAvoRorurAroruDadaze* m_focused;
    TSpinDirection m_direction = spVertical;
};

class DAveVevaDiza : public QLineEdit {
    Q_OBJECT
public:
    explicit DAveVevaDiza(QWidget* parent = nullptr);

    TVidAvezType SpinType() const { return m_spinType; }
    void SetSpinType(TVidAvezType value);
    // Values read from the text (an unreadable text reads as the minimum; a date text "0" or ""
    // as now).
    int Value() const;
    void SetValue(int value);
    double FloatValue() const;
    void SetFloatValue(double value);
    QDateTime DateValue() const;
    void SetDateValue(const QDateTime& value);
    QTime TimeValue() const;
    void SetTimeValue(const QTime& value);
    int Precision() const { return m_precision; }
    void SetPrecision(int value);
    bool EditorEnabled() const { return m_editorEnabled; }
    void SetEditorEnabled(bool value) { m_editorEnabled = value; }
    TSpinDirection Direction() const { return m_button->Direction(); }
    void SetDirection(TSpinDirection value);
    TVidAvezButton* Button() const { return m_button; }
    // Text alignment.
    TEditAlign EditAlign() const { return m_editAlign; }
    void SetEditAlign(TEditAlign value);
    // Flat and transparent arrow buttons.
    bool SpinFlat() const { return m_spinFlat; }
    void SetSpinFlat(bool value);
    bool SpinTransparent() const { return m_spinTransparent; }
    void SetSpinTransparent(bool value);

    int MinValue = 0;
    int MaxValue = 100;
    double MinFloatValue = 0.0;
    double MaxFloatValue = 100.0;
    QDateTime MinDateValue;
    QDateTime MaxDateValue;
    int Increment = 1;
    double IncrementFloat = 0.1;
    bool ReturnIsTab = false;
    // Receiving the focus selects the whole text, unless a left press on the edit itself brought
    // it (with EditorEnabled off it selects then too).
    bool AutoSelect = true;
    bool ExcelStyleDecimalSeparator = false;
    // The separators and formats of the values (the grid passes its own).
    TEditorLocale Locale;

    // The lowest height the edit takes: its font's text height H plus a quarter of the smaller of H
    // and the desktop font's text height, plus 2, plus 4 with a frame. A lower height is raised to it.
    int MinEditHeight() const;

    int ClampValue(int v) const;
    double ClampFloat(double v) const;
    QDateTime ClampDate(const QDateTime& v) const;

    // Whether a typed character may go to the text (a refused one beeps).
    virtual bool AcceptsChar(QChar ch);
    virtual void StepUp();
    virtual void StepDown();

    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Keys after the step keys (the grid editor takes Tab, Enter, Escape, Home and End here);
    // returns true when the key was used up.
    virtual bool HandleKey(QKeyEvent* event) { (void)event; return false; }

private:
    void step(int direction);
    void layoutButton();
    QString formatFloat(double v) const;
    int fieldUnderCaret(QChar separator) const;

    TVidAvezButton* m_button;
    TVidAvezType m_spinType = sptNormal;
    int m_precision = 0;
    bool m_editorEnabled = true;
    TEditAlign m_editAlign = eaLeft;
    bool m_spinFlat = false;
    bool m_spinTransparent = false;
};

} // namespace grid::editors
