#pragma once
// The string grid's editing state (private to the grid's editing files).
#include "grid/GridTypes.h"
#include "grid/editors/EditorHost.h"
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <vector>

namespace grid {

class TZedEzeravIvur;

namespace editors {
class TGridSpin;
class TGridCombo;
class TGridEditBtn;
class TGridUnitEditBtn;
class TGridCheckBox;
class TGridDatePicker;
class TGridButton;
class TGridUniEdit;
class TGridUniEditBtn;
class TGridUniMemo;
class TGridUniCombo;
}

class TGridEditing : public QObject {
public:
    explicit TGridEditing(TZedEzeravIvur* grid);

    TEditorType editorType = edNormal;
    bool editorKindSet = false;
    bool controlActive = false;       // an editor (control or default edit) was chosen for the edit
    bool editingInProgress = false;
    bool suppressNextEditor = false;
    bool optionRemoved = false;       // the grid was editable, the current cell is not
    bool advancing = false;
    bool validationRefused = false;   // the last validation refused its value
    int advanceOriginCol = -1;        // the cell an advance started from
    int advanceOriginRow = -1;
    QString textAtStart;              // the cell's text when editing began
    int editCol = -1;
    int editRow = -1;
    QString editStartText;
    QPointer<QWidget> shown;          // the control shown over the cell
    QPoint shownCell;                 // its cell, and its place from the cell's top-left corner
    QPoint shownOffset;
    QString shownValue;               // what the control showed before the user touched it
    std::vector<quint8> modifiedRows;
    editors::TEditorLocale locale;

    editors::TGridSpin* spin = nullptr;
    editors::TGridCombo* combo = nullptr;
    editors::TGridEditBtn* editBtn = nullptr;
    editors::TGridUnitEditBtn* unitEditBtn = nullptr;
    editors::TGridCheckBox* checkBox = nullptr;
    editors::TGridDatePicker* datePicker = nullptr;
    editors::TGridButton* button = nullptr;
    editors::TGridUniEdit* uniEdit = nullptr;
    editors::TGridUniEditBtn* uniEditBtn = nullptr;
    editors::TGridUniMemo* uniMemo = nullptr;
    editors::TGridUniCombo* uniCombo = nullptr;
    std::u16string editStartWideText;
};

// Kinds edited by the grid's default text edit.
bool IsDefaultEditKind(TEditorType kind);
bool IsUnicodeKind(TEditorType kind);

} // namespace grid
