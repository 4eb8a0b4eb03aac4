#pragma once
// What the grid's cell editors need from the grid that shows them: the current cell's text,
// validation, ending the edit, handing keys back, the separators and the lookup list. The string
// grid implements it; the editors know nothing else of the grid.
#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QWidget;

namespace grid::editors {

// Separators and formats the editors read and write values with (Qt date/time format strings).
struct TEditorLocale {
    QChar decimalSeparator = QLatin1Char('.');
    QChar thousandSeparator = QLatin1Char(',');
    QChar dateSeparator = QLatin1Char('/');
    QChar timeSeparator = QLatin1Char(':');
    QString shortDateFormat = QStringLiteral("M/d/yyyy");
    QString timeFormat = QStringLiteral("HH:mm:ss");
    // The system locale's (QLocale::system()): what an editor uses when no grid gives it one.
    static TEditorLocale FromSystem();
};

// Whether a line edit selects its whole text by itself when the focus comes for this reason (Tab,
// Backtab, a shortcut); the edits that follow AutoSelect hand such a focus on as a plain one.
inline bool SelectsOnFocusByItself(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
}

// The text height of the desktop's general font (the edits' minimum height counts with it).
int SystemFontTextHeight();

// The default beep of refused characters; replaceable (tests count the beeps).
void Beep();
void SetBeepHook(std::function<void()> hook);

class TEditorHost {
public:
    virtual ~TEditorHost() = default;
    virtual QWidget* HostWidget() = 0;
    // The current cell's edit text (its base cell's in a merged range).
    virtual QString GetInplaceEditText() = 0;
    virtual void SetInplaceEditText(const QString& value) = 0;
    // The current cell's text as wide text (the Unicode editors), and its validation.
    virtual QString GetWideEditText() = 0;
    virtual void SetWideEditText(const QString& value) = 0;
    virtual bool ValidateWideCell(const QString& value) = 0;
    // The text the cell had when editing began.
    virtual QString EditStartText() = 0;
    // End-of-edit validation; false keeps the editor open.
    virtual bool ValidateCell(const QString& value) = 0;
    virtual void EndInplaceEdit() = 0;
    // Ends editing and lets the grid act on the key (Tab, arrows, Enter).
    virtual void EditorKeyExit(int key, Qt::KeyboardModifiers modifiers) = 0;
    virtual void TabAdvance(bool backward) = 0;
    virtual void AdvanceCell(bool forward) = 0;
    virtual QString EllipsClick(const QString& value) = 0;
    virtual void RestoreEditText() = 0;
    virtual bool WantsTabs() = 0;
    virtual bool EditSelectAll() = 0;
    virtual const TEditorLocale& EditorLocale() = 0;
    // Lookup: completion from the grid's list and the history of left texts.
    virtual bool LookupEnabled() = 0;
    virtual bool LookupIsCaseSensitive() = 0;
    virtual bool LookupKeepsHistory() = 0;
    virtual int LookupCount() = 0;
    virtual QString LookupItem(int index) = 0;
    virtual void AddLookupItem(const QString& value) = 0;
    // Events of the grid raised by the editors (spin kind: 0 integer, 1 float, 2 date, 3 time).
    virtual void SpinClicked(int spinKind, const QVariant& value, bool up) = 0;
    // The combo change event, then (with `objectEvent`) the combo object change event.
    virtual void ComboChanged(int index, const QString& text, QObject* object, bool objectEvent = true) = 0;
    // The combo's list closed; a date or time changed by the user (never by code).
    virtual void ComboCloseUp() {}
    virtual void DateTimeChanged(const QDateTime& value) { (void)value; }
};

} // namespace grid::editors
