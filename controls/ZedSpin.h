#pragma once
// TZedSpinEdit: a single-line edit with a pair of arrow buttons that steps an integer,
// floating-point, date, time or hexadecimal value. Numbers follow the locale's decimal
// separator; group separators are never accepted in the text.
#include "platform/graphics/SpinRepeatButton.h"

#include <QColor>
#include <QDateTime>
#include <QLineEdit>
#include <QPointer>
#include <functional>

class QLabel;

enum TZedSpinType { sptNormal, sptFloat, sptDate, sptTime, sptHex };
enum TSpinDirection { spVertical, spHorizontal };
enum TLabelPosition {
    lpLeftTop, lpLeftCenter, lpLeftBottom, lpTopLeft, lpBottomLeft,
    lpLeftTopLeft, lpLeftCenterLeft, lpLeftBottomLeft, lpTopCenter, lpBottomCenter
};
enum TEditAlign { eaLeft, eaRight, eaCenter };

// The pair of arrow buttons.
class TZedSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TZedSpinButton(QWidget* parent = nullptr);

    DAvoRorurAroruDadaze* UpButton() const { return FUpButton; }
    DAvoRorurAroruDadaze* DownButton() const { return FDownButton; }
    DAvoRorurAroruDadaze* FocusedButton() const { return FFocusedButton; }
    QWidget* FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget* w) { FFocusControl = w; }
    TSpinDirection Direction() const { return FDirection; }
    void SetDirection(TSpinDirection d);
    // A null pixmap loads the built-in arrow glyph.
    void SetUpGlyph(const QPixmap& glyph);
    void SetDownGlyph(const QPixmap& glyph);

    std::function<void()> OnUpClick;
    std::function<void()> OnDownClick;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void AdjustSize();
    void FocusStep(DAvoRorurAroruDadaze* pressed);

    DAvoRorurAroruDadaze* FUpButton;
    DAvoRorurAroruDadaze* FDownButton;
    DAvoRorurAroruDadaze* FFocusedButton;
    QPointer<QWidget> FFocusControl;
    TSpinDirection FDirection = spVertical;
};

class TZedSpinEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TZedSpinEdit(QWidget* parent = nullptr);
    ~TZedSpinEdit() override;

    static QString Version() { return QStringLiteral("1.4.0.0"); }

    // Values. Every read is clamped to the limits of its kind (see the setters of the limits).
    int Value() const;
    void SetValue(int v);
    double FloatValue() const;
    void SetFloatValue(double v);
    QDateTime DateValue() const;
    void SetDateValue(const QDateTime& v);
    // Time as days (whole days plus the fraction of a day).
    double TimeValue() const;
    void SetTimeValue(double v);
    int HexValue() const;
    void SetHexValue(int v);

    // Limits. Integers are clamped when MinValue or MaxValue is not 0, floats and dates when
    // their two limits differ.
    int MinValue() const { return FMinValue; }
    void SetMinValue(int v) { FMinValue = v; }
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int v) { FMaxValue = v; }
    double MinFloatValue() const { return FMinFloatValue; }
    void SetMinFloatValue(double v) { FMinFloatValue = v; }
    double MaxFloatValue() const { return FMaxFloatValue; }
    void SetMaxFloatValue(double v) { FMaxFloatValue = v; }
    QDateTime MinDateValue() const { return FMinDateValue; }
    void SetMinDateValue(const QDateTime& v) { FMinDateValue = v; }
    QDateTime MaxDateValue() const { return FMaxDateValue; }
    void SetMaxDateValue(const QDateTime& v) { FMaxDateValue = v; }

    int Increment() const { return FIncrement; }
    void SetIncrement(int v) { FIncrement = v; }
    double IncrementFloat() const { return FIncrementFloat; }
    void SetIncrementFloat(double v) { FIncrementFloat = v; }
    int IncrementPage() const { return FIncrementPage; }
    void SetIncrementPage(int v) { FIncrementPage = v; }
    double IncrementFloatPage() const { return FIncrementFloatPage; }
    void SetIncrementFloatPage(double v) { FIncrementFloatPage = v; }
    bool IncrementSmart() const { return FIncrementSmart; }
    void SetIncrementSmart(bool on) { FIncrementSmart = on; }
    int IncrementHours() const { return FIncrementHours; }
    void SetIncrementHours(int v) { FIncrementHours = v; }
    int IncrementMinutes() const { return FIncrementMinutes; }
    void SetIncrementMinutes(int v) { FIncrementMinutes = v; }

    TZedSpinType SpinType() const { return FSpinType; }
    void SetSpinType(TZedSpinType t);
    int Precision() const { return FPrecision; }
    void SetPrecision(int p);
    bool ShowSeconds() const { return FShowSeconds; }
    void SetShowSeconds(bool on);
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool on) { FEditorEnabled = on; }
    bool ReturnIsTab() const { return FReturnIsTab; }
    void SetReturnIsTab(bool on) { FReturnIsTab = on; }
    bool Signed() const { return FSigned; }
    void SetSigned(bool on) { FSigned = on; }
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool on) { FAutoSelect = on; }
    // Limits what the user can type or paste; texts set by the program are not cut.
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int n) { FMaxLength = n; }
    TEditAlign EditAlign() const { return FEditAlign; }
    void SetEditAlign(TEditAlign a);
    TSpinDirection Direction() const;
    void SetDirection(TSpinDirection d);

    bool Flat() const { return FFlat; }
    void SetFlat(bool on);
    QColor FlatLineColor() const { return FFlatLineColor; }
    void SetFlatLineColor(const QColor& c) { FFlatLineColor = c; update(); }
    // Invalid colours stand for "none".
    QColor FocusColor() const { return FFocusColor; }
    void SetFocusColor(const QColor& c) { FFocusColor = c; }
    QColor FocusBorderColor() const { return FFocusBorderColor; }
    void SetFocusBorderColor(const QColor& c) { FFocusBorderColor = c; }
    bool SpinFlat() const { return FSpinFlat; }
    void SetSpinFlat(bool on);
    bool SpinTransparent() const { return FSpinTransparent; }
    void SetSpinTransparent(bool on);
    bool AutoFocus() const { return FAutoFocus; }
    void SetAutoFocus(bool on) { FAutoFocus = on; }

    // Attached label (created on the first caption write, in the edit's parent).
    QString LabelCaption() const;
    void SetLabelCaption(const QString& caption);
    QLabel* Label() const { return FLabel; }
    TLabelPosition LabelPosition() const { return FLabelPosition; }
    void SetLabelPosition(TLabelPosition p);
    int LabelMargin() const { return FLabelMargin; }
    void SetLabelMargin(int m);
    bool LabelTransparent() const { return FLabelTransparent; }
    void SetLabelTransparent(bool on);
    QFont LabelFont() const { return FLabelFont; }
    void SetLabelFont(const QFont& f);
    bool LabelAlwaysEnabled() const { return FLabelAlwaysEnabled; }
    void SetLabelAlwaysEnabled(bool on) { FLabelAlwaysEnabled = on; }

    TZedSpinButton* SpinButton() const { return FButton; }

    // The up and down steps (arrow buttons, Up/Down keys, Ctrl+Enter).
    virtual void UpClick();
    virtual void DownClick();
    // Whether a typed character is accepted; may turn it into another one (separators).
    virtual bool IsValidChar(QChar& key) const;

    // Locale pieces the edit works with.
    static QChar DecimalSeparator();
    static QChar ThousandSeparator();
    static QChar TimeSeparator();
    static QChar DateSeparator();
    static QString ShortDateFormat();

    std::function<void()> OnChange;
    std::function<void()> OnEnter;
    std::function<void()> OnExit;
    // Gets Enter (character 13) before the edit swallows it.
    std::function<void(QChar&)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;

private:
    enum class Step { Up, Down };
    void DoStep(Step step);
    void SmartStep(Step step);
    void PlainStep(Step step);
    void DateStep(Step step);
    void TimeStep(Step step);
    bool HandleCharacter(QKeyEvent* e);
    void InsertLimited(const QString& s);
    void LayoutButton();
    void PlaceLabel();
    void WriteText(const QString& s, bool keepCaret);

    int CheckValue(int v) const;
    double CheckFloat(double v) const;
    QDateTime CheckDate(const QDateTime& v) const;
    int RawValue() const;
    double RawFloatValue() const;
    QDateTime RawDateValue() const;
    int RawHexValue() const;
    QString TimeFormat() const;
    bool MonthFirst() const;

    TZedSpinButton* FButton;
    QLabel* FLabel = nullptr;
    TLabelPosition FLabelPosition = lpLeftTop;
    int FLabelMargin = 4;
    bool FLabelAlwaysEnabled = false;
    int FMinValue = 0, FMaxValue = 0;
    double FMinFloatValue = 0, FMaxFloatValue = 0;
    QDateTime FMinDateValue, FMaxDateValue;
    QDateTime FDateValue;
    double FTimeValue = 0;
    int FHexValue = 0;
    int FIncrement = 1;
    double FIncrementFloat = 0.1;
    int FIncrementPage = 10;
    double FIncrementFloatPage = 1.0;
    bool FIncrementSmart = false;
    bool FEditorEnabled = true;
    bool FReturnIsTab = false;
    TZedSpinType FSpinType = sptNormal;
    int FPrecision = 0;
    bool FShowSeconds = true;
    int FIncrementHours = 1, FIncrementMinutes = 1;
    bool FSigned = false;
    bool FAutoSelect = true;
    bool FAutoFocus = false;
    int FMaxLength = 0;
    TEditAlign FEditAlign = eaLeft;
    bool FFlat = false;
    bool FSpinFlat = false;
    bool FSpinTransparent = false;
    bool FLabelTransparent = false;
    QFont FLabelFont;
    QColor FFlatLineColor = Qt::black;
    QColor FFocusColor;
    QColor FFocusBorderColor;
    QColor FNormalColor;
};
