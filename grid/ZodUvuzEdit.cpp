// The string grid's editing: whether a cell may be edited, which editor it gets, showing the editor
// over the cell, validating and writing the value back, and the moves after an edit.
#include "grid/ZodUvuzEdit.h"

#include "grid/EditLink.h"
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzFooter.h"
#include "grid/ZodUvuzInplace.h"
#include "grid/ZodUvuzRichEdit.h"
#include "grid/editors/GridEditors.h"
#include "grid/minihtml/MiniHTML.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QScopeGuard>

namespace grid {

using namespace editors;

TGridEditing::TGridEditing(TZedEzeravIvur* grid) : QObject(grid)
{
    QWidget* parent = grid->viewport();
    spin = new TGridSpin(grid, parent);
    combo = new TGridCombo(grid, parent);
    editBtn = new TGridEditBtn(grid, parent);
    unitEditBtn = new TGridUnitEditBtn(grid, parent);
    checkBox = new TGridCheckBox(grid, parent);
    datePicker = new TGridDatePicker(grid, parent);
    button = new TGridButton(grid, parent);
    uniEdit = new TGridUniEdit(grid, parent);
    uniEditBtn = new TGridUniEditBtn(grid, parent);
    uniEditBtn->SetButtonCaption(QStringLiteral("..."));
    uniMemo = new TGridUniMemo(grid, parent);
    uniCombo = new TGridUniCombo(grid, parent);
    // The combos and the button edits follow the desktop's themed look.
    const bool themed = grid->ThemedDrawing();
    combo->IsWinXP = themed;
    uniCombo->IsWinXP = themed;
    editBtn->SetIsWinXP(themed);
    unitEditBtn->SetIsWinXP(themed);
    uniEditBtn->SetIsWinXP(themed);
    for (QWidget* w : std::initializer_list<QWidget*>{spin, combo, editBtn, unitEditBtn, checkBox, datePicker, button,
                                                      uniEdit, uniEditBtn, uniMemo, uniCombo}) {
        w->hide();
        w->setEnabled(false);
    }
}

bool IsDefaultEditKind(TEditorType kind)
{
    switch (kind) {
    case edNormal: case edNumeric: case edPositiveNumeric: case edFloat: case edCapital: case edMixedCase:
    case edPassword: case edLowerCase: case edUpperCase:
        return true;
    default:
        return false;
    }
}

bool IsUnicodeKind(TEditorType kind)
{
    return kind == edUniEdit || kind == edUniEditBtn || kind == edUniMemo || kind == edUniComboEdit
           || kind == edUniComboList;
}

TGridEditing& TZedEzeravIvur::editing() const
{
    if (!m_editing)
        m_editing = new TGridEditing(const_cast<TZedEzeravIvur*>(this));
    return *m_editing;
}

TEditorType TZedEzeravIvur::CurrentEditorType() const { return editing().editorType; }
bool TZedEzeravIvur::EditorControlActive() const { return editing().controlActive; }
bool TZedEzeravIvur::EditingInProgress() const { return editing().editingInProgress; }
QWidget* TZedEzeravIvur::ShownEditorControl() const { return editing().shown; }
QString TZedEzeravIvur::EditStartText() { return editing().editStartText; }
TRichInplaceEdit* TZedEzeravIvur::RichEdit() const
{
    if (!m_richEdit)
        m_richEdit = new TRichInplaceEdit(const_cast<TZedEzeravIvur*>(this));
    return m_richEdit;
}

TGridSpin* TZedEzeravIvur::GridSpin() const { return editing().spin; }
TGridCombo* TZedEzeravIvur::GridCombo() const { return editing().combo; }
TGridEditBtn* TZedEzeravIvur::GridEditBtn() const { return editing().editBtn; }
TGridUnitEditBtn* TZedEzeravIvur::GridUnitEditBtn() const { return editing().unitEditBtn; }
TGridCheckBox* TZedEzeravIvur::GridCheckBox() const { return editing().checkBox; }
TGridDatePicker* TZedEzeravIvur::GridDatePicker() const { return editing().datePicker; }
TGridButton* TZedEzeravIvur::GridButton() const { return editing().button; }
TGridUniEdit* TZedEzeravIvur::GridUniEdit() const { return editing().uniEdit; }
TGridUniEditBtn* TZedEzeravIvur::GridUniEditBtn() const { return editing().uniEditBtn; }
TGridUniMemo* TZedEzeravIvur::GridUniMemo() const { return editing().uniMemo; }
TGridUniCombo* TZedEzeravIvur::GridUniCombo() const { return editing().uniCombo; }

bool TZedEzeravIvur::IsWideCell(int col, int row) const { return Cells(col, row).startsWith(QLatin1String("|\\")); }

std::u16string TZedEzeravIvur::WideCells(int col, int row) const
{
    const QString& t = Cells(col, row);
    return IsWideCell(col, row) ? UnpackWideCell(t) : t.toStdU16String();
}

void TZedEzeravIvur::SetWideCells(int col, int row, const std::u16string& value)
{
    SetCellText(col, row, PackWideCell(value));
}

QString TZedEzeravIvur::GetWideEditText()
{
    const QPoint b = BaseCell(Col(), Row());
    return QString::fromStdU16String(WideCells(RealColIndex(b.x()), b.y()));
}

void TZedEzeravIvur::SetWideEditText(const QString& value)
{
    const QPoint b = BaseCell(Col(), Row());
    SetWideCells(RealColIndex(b.x()), b.y(), value.toStdU16String());
}

bool TZedEzeravIvur::EditSelectAll() { return Navigation()->EditSelectAll; }

const TEditorLocale& TZedEzeravIvur::EditorLocale()
{
    TEditorLocale& l = editing().locale;
    const GridLocale& g = CurrentGridLocale();
    l.decimalSeparator = g.decimalSeparator;
    l.thousandSeparator = g.thousandSeparator;
    l.dateSeparator = g.dateSeparator;
    l.shortDateFormat = g.shortDateFormat;
    return l;
}

tk::TInplaceEditor* TZedEzeravIvur::CreateEditor()
{
    if (WantsMultiLineEditor())
        return new TZedInplaceMemo(this);
    return new TZedInplaceLineEdit(this);
}

bool TZedEzeravIvur::WantsMultiLineEditor()
{
    return Navigation()->AllowCtrlEnter && editing().editorType != edPassword && GetEditMask(Col(), Row()).isEmpty();
}

bool TZedEzeravIvur::EditorFits(tk::TInplaceEditor* editor) { return editor->MultiLine() == WantsMultiLineEditor(); }

// ------------------------------------------------------------------ permission

bool TZedEzeravIvur::IsEditableCell(int col, int row)
{
    if (!(GridOptions() & tk::goEditing) && !MouseActions()->RangeSelectAndEdit && !editing().optionRemoved)
        return false;
    const QPoint b = BaseCell(col, row);
    bool canEdit = true;
    CanEditCell(b.x(), b.y(), canEdit);
    bool fixed = false;
    GetCellFixed(b.x(), b.y(), fixed);
    return canEdit && !fixed;
}

bool TZedEzeravIvur::CanEditShow() const { return const_cast<TZedEzeravIvur*>(this)->canEditShowStep(); }

bool TZedEzeravIvur::canEditShowStep()
{
    TGridEditing& ed = editing();
    if (ed.suppressNextEditor)
        return false;
    const bool r = tk::TStringGrid::CanEditShow();
    if (Designing())
        return r;
    // A control shown over the cell keeps the default edit hidden.
    if (ed.controlActive && !IsDefaultEditKind(ed.editorType))
        return false;
    const QPoint b = BaseCell(Col(), Row());
    if (r && !ed.controlActive && IsControlCell(b.x(), b.y()))
        return false;
    if (r && !ed.controlActive) {
        ed.textAtStart = GetEditText(Col(), Row());
        TEditorType kind = DefaultEditor;
        GetCellEditor(b.x(), b.y(), kind);
        ed.editorKindSet = true;
        if (kind == edNone)
            return false;
        ed.editorType = kind;
        ed.controlActive = true;
        if (!IsDefaultEditKind(kind)) {
            ShowInplaceEdit(b.x(), b.y());
            if (!ed.editingInProgress)
                EditStarted(Col(), Row());
            ed.editingInProgress = true;
            return false;
        }
    }
    if (r) {
        if (!ed.editingInProgress)
            EditStarted(Col(), Row());
        ed.editingInProgress = true;
    }
    return r;
}

// ------------------------------------------------------------------ showing

namespace {
// The leading run of the number and the rest as the unit ("12.5kg": "12.5" and "kg").
void splitUnit(const QString& text, QString& value, QString& unit)
{
    int i = 0;
    while (i < text.size()
           && (text[i].isDigit() || text[i] == QLatin1Char(',') || text[i] == QLatin1Char('-')
               || text[i] == QLatin1Char('.')))
        ++i;
    value = text.left(i);
    unit = text.mid(i);
}

// The drop-down list at least as wide as its widest item.
void fitDropDownWidth(QComboBox* combo, int width)
{
    const QFontMetrics fm(combo->font());
    for (int i = 0; i < combo->count(); ++i)
        width = std::max(width, fm.horizontalAdvance(combo->itemText(i)) + 25);
    combo->view()->setMinimumWidth(width);
}
} // namespace

void TZedEzeravIvur::ShowInplaceEdit(int col, int row)
{
    TGridEditing& ed = editing();
    QRect r = MergedCellRect(col, row);
    if (layoutDirection() == Qt::RightToLeft)
        r.setLeft(r.left() + 1);
    const int w = r.width() - 1, h = r.height() - 1;

    bool wordWrap = WordWrap();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    tk::TFont font;
    font.SetFont(this->font());
    font.SetColor(gfx::clWindowText);
    TColor colorTo = gfx::clNone;
    TColor brush = Color();
    tk::TGridDrawState state = 0;
    GetCellColors(col, row, wordWrap, hAlign, vAlign, font, colorTo, brush, true, false, false, state);
    ed.shown = nullptr;

    const QString text = GetEditText(col, row);
    QWidget* control = nullptr;
    QRect place(r.left(), r.top(), w, h);
    const TEditorLocale& loc = EditorLocale();

    switch (ed.editorType) {
    case edSpinEdit: case edFloatSpinEdit: case edTimeSpinEdit: case edDateSpinEdit: {
        TGridSpin* s = ed.spin;
        s->Locale = loc;
        s->ExcelStyleDecimalSeparator = ExcelStyleDecimalSeparator;
        s->setText(text);
        if (ed.editorType == edSpinEdit) {
            s->SetSpinType(sptNormal);
            s->SetValue(s->Value());
        } else if (ed.editorType == edFloatSpinEdit) {
            s->SetSpinType(sptFloat);
            s->setText(text);
            s->SetFloatValue(s->FloatValue());
        } else if (ed.editorType == edTimeSpinEdit) {
            s->SetSpinType(sptTime);
            s->setText(text);
        } else {
            s->SetSpinType(sptDate);
            const QDate d = QDate::fromString(text, loc.shortDateFormat);
            s->SetDateValue(QDateTime(d.isValid() ? d : QDate::currentDate(), QTime(0, 0)));
        }
        ed.shownValue = s->text();
        control = s;
        break;
    }
    case edComboEdit: case edComboList: {
        TGridCombo* c = ed.combo;
        editors::SetComboEditable(c, ed.editorType == edComboEdit);
        const bool flat = Look() == glSoft || Look() == glZarn || Look() == glXP || Look() == glListView;
        c->SetFlat(flat);
        c->SetEtched(flat);
        if (ed.editorType == edComboEdit) {
            c->setCurrentIndex(c->findText(text, Qt::MatchExactly));
            c->setEditText(text);
        } else {
            const int i = c->findText(DisplayText(col, row), Qt::MatchExactly);
            if (i >= 0) {
                c->setCurrentIndex(i);
            } else {
                c->setCurrentIndex(0);
                if (c->count() > 0)
                    ComboChanged(0, c->itemText(0), c->itemData(0).value<QObject*>());
            }
        }
        if (Navigation()->AutoComboDropSize)
            fitDropDownWidth(c, w);
        control = c;
        break;
    }
    case edEditBtn: case edNumericEditBtn: case edFloatEditBtn: {
        TGridEditBtn* e = ed.editBtn;
        e->Kind = ed.editorType == edNumericEditBtn ? ebkNumeric : ed.editorType == edFloatEditBtn ? ebkFloat : ebkText;
        e->setMaxLength(MaxEditLength > 0 ? MaxEditLength : 32767);
        e->setText(text);
        control = e;
        break;
    }
    case edUnitEditBtn: {
        TGridUnitEditBtn* e = ed.unitEditBtn;
        QString value, unit;
        splitUnit(text, value, unit);
        e->setMaxLength(MaxEditLength > 0 ? MaxEditLength : 32767);
        e->setText(value);
        e->SetUnitID(unit);
        control = e;
        break;
    }
    case edCheckBox:
        ed.checkBox->setText(text);
        ed.checkBox->setChecked(false);
        control = ed.checkBox;
        break;
    case edDateEdit: case edDateEditUpDown: case edTimeEdit: {
        if (!DatePickerSupported)
            break;
        TGridDatePicker* p = ed.datePicker;
        p->TimeKind = ed.editorType == edTimeEdit;
        p->setCalendarPopup(ed.editorType == edDateEdit);
        if (p->TimeKind) {
            p->setDisplayFormat(loc.timeFormat);
            const QTime t = QTime::fromString(text, loc.timeFormat);
            p->setTime(t.isValid() ? t : QTime::currentTime());
        } else {
            p->setDisplayFormat(loc.shortDateFormat);
            const QDate d = QDate::fromString(text, loc.shortDateFormat);
            p->setDate(d.isValid() ? d : QDate::currentDate());
            place.setHeight(std::min(h, std::max(h, p->sizeHint().height())));
        }
        ed.shownValue = p->text();
        control = p;
        break;
    }
    case edButton:
        ed.button->setText(text);
        place = QRect(r.left() - 1, r.top() - 1, w + 2, h + 2);
        control = ed.button;
        break;
    case edUniEdit: case edUniMemo: case edUniEditBtn: {
        const QString wide = QString::fromStdU16String(WideCells(RealColIndex(col), row));
        const int mx = CellMarginX() + 2, my = CellMarginY() + 2;
        const QRect inside(r.left() + mx, r.top() + my, r.width() - 2 * CellMarginX() - 2, r.height() - 2 * CellMarginY() - 2);
        if (ed.editorType == edUniEdit) {
            ed.uniEdit->setText(wide);
            control = ed.uniEdit;
            place = inside;
        } else if (ed.editorType == edUniMemo) {
            ed.uniMemo->setPlainText(wide);
            control = ed.uniMemo;
            place = inside;
        } else {
            ed.uniEditBtn->setText(wide);
            control = ed.uniEditBtn;
        }
        control->setFont(this->font());
        break;
    }
    case edUniComboEdit: case edUniComboList: {
        TGridUniCombo* c = ed.uniCombo;
        QStringList items;
        for (int i = 0; i < c->count(); ++i)
            items << c->itemText(i);
        c->ClearItems();
        c->addItems(items);
        editors::SetComboEditable(c, ed.editorType == edUniComboEdit);
        const QString wide = QString::fromStdU16String(WideCells(RealColIndex(col), row));
        if (ed.editorType == edUniComboEdit) {
            c->setCurrentIndex(c->findText(wide, Qt::MatchExactly));
            c->setEditText(wide);
        } else {
            const int i = c->findText(wide, Qt::MatchExactly);
            c->setCurrentIndex(i >= 0 ? i : 0);
        }
        c->setFont(this->font());
        const bool flat = Look() == glSoft || Look() == glZarn || Look() == glXP || Look() == glListView;
        c->SetFlat(flat);
        c->SetEtched(flat);
        if (Navigation()->AutoComboDropSize)
            fitDropDownWidth(c, w);
        control = c;
        break;
    }
    case edCustom: {
        TEditLink* link = m_editLink;
        if (!link)
            break;
        link->attach(this, col, row);
        QWidget* popup = nullptr;
        if (link->EditStyle == esPopup) {
            popup = link->popupFor(this);
            const QPoint at = link->PopupLeft != -1 || link->PopupTop != -1
                                  ? QPoint(link->PopupLeft, link->PopupTop)
                                  : viewport()->mapToGlobal(r.topLeft());
            popup->move(at);
            popup->resize(link->AutoPopupWidth ? w : link->PopupWidth, link->PopupHeight);
            popup->show();
        }
        link->CreateEditor(popup ? popup : viewport());
        QWidget* c = link->GetEditControl();
        if (!c)
            break;
        if (popup)
            c->setGeometry(0, 0, popup->width(), popup->height());
        else
            link->SetRect(r);
        QPalette pal = c->palette();
        pal.setColor(QPalette::Base, tk::ToQColor(brush, pal));
        c->setPalette(pal);
        c->setFont(font.Font());
        link->SetCellProps(tk::ToQColor(brush, pal), font.Font());
        link->SetProperties();
        link->SetVisible(true);
        if (OnGetEditorProp)
            OnGetEditorProp(this, col, row, link);
        link->SetEditorValue(text);
        link->SetFocus(true);
        if (!m_pendingEditChar.isNull())
            QCoreApplication::postEvent(c, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(m_pendingEditChar)));
        ed.shown = c;
        m_pendingEditChar = QChar();
        return;
    }
    case edRichEdit: {
        TRichInplaceEdit* e = RichEdit();
        LoadRichTextToEdit(RealColIndex(col), row, e);
        if (Navigation()->EditSelectAll)
            e->selectAll();
        control = e;
        break;
    }
    default:
        // The data check box shows no editor.
        break;
    }
    if (control) {
        // Enabled first: a flat combo restores its own colour when it is enabled.
        control->setEnabled(true);
        QPalette pal = control->palette();
        const QColor c = tk::ToQColor(brush, pal);
        pal.setColor(QPalette::Base, c);
        pal.setColor(QPalette::Window, c);
        pal.setColor(QPalette::Button, c);
        control->setPalette(pal);
        control->setAutoFillBackground(true);
        if (control == ed.combo && ed.combo->lineEdit())
            ed.combo->lineEdit()->setPalette(pal);
        control->setGeometry(place);
        ed.shownCell = QPoint(col, row);
        ed.shownOffset = place.topLeft() - editorAnchor(col, row);
        control->setEnabled(true);
        control->show();
        control->raise();
        control->setFocus();
        if (!m_pendingEditChar.isNull()) {
            QCoreApplication::postEvent(control, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(m_pendingEditChar)));
        }
        ed.shown = control;
        if (ed.editorType == edComboEdit || ed.editorType == edComboList) {
            if (MouseActions()->DirectComboDrop)
                ed.combo->showPopup();
        } else if (ed.editorType == edUniComboEdit || ed.editorType == edUniComboList) {
            if (MouseActions()->DirectComboDrop)
                ed.uniCombo->showPopup();
        } else if ((ed.editorType == edDateEdit) && MouseActions()->DirectDateDrop) {
            ed.datePicker->DropDown();
        }
    }
    m_pendingEditChar = QChar();
}

QPoint TZedEzeravIvur::editorAnchor(int col, int row) const
{
    // The top-left corner of the cell (of its range), also when it lies out of view.
    const QPoint b = BaseCell(col, row);
    QPoint at = CellRectAt(b.x(), b.y()).topLeft();
    if (layoutDirection() == Qt::RightToLeft)
        at.rx() += 1;
    return at;
}

void TZedEzeravIvur::FollowEditorControl()
{
    // A control editor moves with its cell when the cells scroll or change size, as the default
    // edit does: it keeps editing the cell it stands on.
    if (!m_editing)
        return;   // no editor was ever shown (the editors are made on first use)
    TGridEditing& ed = editing();
    QWidget* control = ed.shown;
    if (!ed.controlActive || !control || !control->isVisible())
        return;
    const QPoint cell = ed.shownCell;
    if (cell.x() < 0 || cell.y() < 0 || cell.x() >= ColCount() || cell.y() >= RowCount())
        return;
    control->move(editorAnchor(cell.x(), cell.y()) + ed.shownOffset);
}

void TZedEzeravIvur::RepositionCellControls()
{
    const int lastVisibleRow = TopRow() + VisibleRowCount();
    const int lastVisibleCol = LeftCol() + VisibleColCount();
    std::vector<QWidget*> shownControls;
    for (int r = 0; r < RowCount(); ++r) {
        tk::TStringGrid::TRowRecord& record = RecordAt(r);
        if (!record.objects)
            continue;
        const auto& objects = *record.objects;
        for (int c = 0; c < int(objects.size()); ++c) {
            const auto* p = static_cast<const TCellProperties*>(objects[size_t(c)]);
            if (!p || !p->Control)
                continue;
            QWidget* control = p->Control;
            const bool rowInView = r < FixedRows() || (r >= TopRow() && r <= lastVisibleRow);
            const bool colInView = c < FixedCols() || (c >= LeftCol() && c <= lastVisibleCol);
            // Cells beyond ColCount are those of hidden columns.
            if (c >= ColCount() || !rowInView || !colInView) {
                control->hide();
                continue;
            }
            QRect rect = MergedCellRect(c, r);
            if (control->parentWidget() && control->parentWidget() != viewport())
                rect.moveTopLeft(viewport()->mapTo(control->parentWidget(), rect.topLeft()));
            control->setGeometry(rect);
            control->show();
            shownControls.push_back(control);
        }
    }
    for (QWidget* control : shownControls)
        control->update();
}

void TZedEzeravIvur::StoreEditText(int col, int row, const QString& value)
{
    SetEditText(col, row, value);
    SetCellText(RealColIndex(col), row, value);
}

void TZedEzeravIvur::HideInplaceEdit(int col, int row)
{
    TGridEditing& ed = editing();
    const bool wasActive = ed.controlActive;
    ed.controlActive = false;
    QWidget* control = nullptr;
    bool store = false;
    QString value;
    switch (ed.editorType) {
    case edSpinEdit: case edFloatSpinEdit: case edTimeSpinEdit: case edDateSpinEdit:
        control = ed.spin;
        // A value the user did not change is not written back (the cell may hold no number at all).
        store = ed.spin->text() != ed.shownValue;
        value = ed.spin->text();
        // Float and date spins store a float or date cell (the grid's float format and date format).
        if (store && wasActive && (ed.editorType == edFloatSpinEdit || ed.editorType == edDateSpinEdit)) {
            if (ed.editorType == edFloatSpinEdit)
                SetFloatCell(RealColIndex(col), row, ed.spin->FloatValue());
            else
                SetDateCell(RealColIndex(col), row, ed.spin->DateValue().date());
            value = Cells(RealColIndex(col), row);
            store = false;
            if (ed.editorKindSet && value != ed.textAtStart)
                CellsChanged(QRect(col, row, 1, 1));
        }
        break;
    case edComboEdit: case edComboList:
        control = ed.combo;
        store = wasActive;
        value = ed.combo->currentText();
        break;
    case edEditBtn: case edNumericEditBtn: case edFloatEditBtn:
        control = ed.editBtn;
        store = true;
        value = ed.editBtn->text();
        break;
    case edUnitEditBtn:
        control = ed.unitEditBtn;
        store = true;
        value = ed.unitEditBtn->text() + ed.unitEditBtn->UnitID();
        break;
    case edCheckBox:
        control = ed.checkBox;
        break;
    case edButton:
        control = ed.button;
        break;
    case edDateEdit: case edDateEditUpDown: case edTimeEdit:
        if (!DatePickerSupported)
            break;
        control = ed.datePicker;
        value = ed.datePicker->ValueText();
        store = value != ed.shownValue;
        break;
    case edRichEdit:
        control = RichEdit();
        if (wasActive) {
            SaveRichTextFromEdit(RichEdit(), value);
            store = true;
        }
        break;
    case edCustom:
        if (TEditLink* link = m_editLink) {
            if (wasActive)
                StoreEditText(col, row, link->GetEditorValue());
            if (link->EditStyle != esPopup)
                link->SetVisible(false);
            control = link->GetEditControl();
            store = false;
        }
        break;
    case edUniEdit: case edUniEditBtn: case edUniMemo: case edUniComboEdit: case edUniComboList: {
        control = ed.editorType == edUniEdit      ? static_cast<QWidget*>(ed.uniEdit)
                  : ed.editorType == edUniEditBtn ? static_cast<QWidget*>(ed.uniEditBtn)
                  : ed.editorType == edUniMemo    ? static_cast<QWidget*>(ed.uniMemo)
                                                  : static_cast<QWidget*>(ed.uniCombo);
        const QString wide = ed.editorType == edUniEdit      ? ed.uniEdit->text()
                             : ed.editorType == edUniEditBtn ? ed.uniEditBtn->text()
                             : ed.editorType == edUniMemo    ? ed.uniMemo->toPlainText()
                                                             : ed.uniCombo->currentText();
        if (wasActive)
            SetWideCells(RealColIndex(col), row, wide.toStdU16String());
        break;
    }
    default:
        break;
    }
    if (!control)
        return;
    if (store && wasActive)
        StoreEditText(col, row, value);
    const bool hadFocus = control->hasFocus();
    control->hide();
    control->setEnabled(false);
    if (ed.shown == control)
        ed.shown = nullptr;
    if (hadFocus)
        setFocus();
    if (store && wasActive && ed.editorKindSet && value != ed.textAtStart)
        CellsChanged(QRect(col, row, 1, 1));
}

void TZedEzeravIvur::EndInplaceEdit()
{
    TGridEditing& ed = editing();
    if (!ed.controlActive || m_tearingDown)
        return;
    HideEditor();
    const QPoint b = BaseCell(Col(), Row());
    HideInplaceEdit(b.x(), b.y());
    ed.controlActive = false;
    SelectCell(Col(), Row());
}

void TZedEzeravIvur::RestoreEditText()
{
    const int col = RealColIndex(Col());
    SetCellText(col, Row(), editing().textAtStart);
    InvalidateEditor();
}

QString TZedEzeravIvur::GetInplaceEditText()
{
    const QPoint b = BaseCell(Col(), Row());
    return Cells(RealColIndex(b.x()), b.y());
}

void TZedEzeravIvur::SetInplaceEditText(const QString& value)
{
    const QPoint b = BaseCell(Col(), Row());
    SetCellText(RealColIndex(b.x()), b.y(), value);
}

QString TZedEzeravIvur::EllipsClick(const QString& value)
{
    QString v = value;
    if (OnEllipsClick)
        OnEllipsClick(this, RealColIndex(Col()), Row(), v);
    return v;
}

void TZedEzeravIvur::SpinClicked(int spinKind, const QVariant& value, bool up)
{
    switch (spinKind) {
    case 0: if (OnSpinClick) OnSpinClick(this, Col(), Row(), value.toInt(), up); break;
    case 1: if (OnFloatSpinClick) OnFloatSpinClick(this, Col(), Row(), value.toDouble(), up); break;
    case 2: if (OnDateSpinClick) OnDateSpinClick(this, Col(), Row(), value.toDateTime(), up); break;
    default: if (OnTimeSpinClick) OnTimeSpinClick(this, Col(), Row(), value.toDateTime(), up); break;
    }
}

void TZedEzeravIvur::ComboChanged(int index, const QString& text, QObject* object, bool objectEvent)
{
    // An item's object is the QObject* its combo keeps as the item's data.
    if (!object && index >= 0) {
        if (auto* combo = qobject_cast<QComboBox*>(editing().shown.data()); combo && index < combo->count())
            object = combo->itemData(index).value<QObject*>();
    }
    if (OnComboChange)
        OnComboChange(this, Col(), Row(), index, text);
    if (objectEvent && OnComboObjectChange)
        OnComboObjectChange(this, Col(), Row(), index, text, object);
}

// ------------------------------------------------------------------ edit texts

QString TZedEzeravIvur::GetEditText(int col, int row)
{
    const QPoint b = BaseCell(RealColIndex(col), row);
    const QString text = tk::TStringGrid::GetEditText(b.x(), b.y());
    return EditWithTags ? text : minihtml::StripMiniHTMLTags(text);
}

void TZedEzeravIvur::SetEditText(int col, int row, const QString& value)
{
    const QPoint b = BaseCell(RealColIndex(col), row);
    tk::TStringGrid::SetEditText(b.x(), b.y(), value);
}

QString TZedEzeravIvur::GetEditMask(int col, int row)
{
    QString mask;
    if (OnGetEditMask)
        OnGetEditMask(this, col, row, mask);
    return mask;
}

QString TZedEzeravIvur::GetCellTextNoHTML(int col, int row) { return minihtml::StripMiniHTMLTags(Cells(col, row)); }

QStringList TZedEzeravIvur::HiddenRowItems(int realRow) const
{
    const auto& hidden = HiddenRows();
    for (auto it = hidden.rbegin(); it != hidden.rend(); ++it)
        if (it->Idx == realRow)
            return it->Items();
    return {};
}

QString TZedEzeravIvur::GetCellOfRealRow(int col, int realRow) const
{
    if (IsHiddenRow(realRow))
        return HiddenRowItems(realRow).value(col);
    return Cells(col, DisplRowIndex(realRow));
}

// ------------------------------------------------------------------ moving the current cell

bool TZedEzeravIvur::SelectCell(int col, int row)
{
    if (UpdateCount() > 0)
        return true;
    TGridEditing& ed = editing();

    // The floating footer: a row hidden behind the panel scrolls up by one; the footer row itself
    // never becomes current. The panel keeps the room under the cells, so the cells end at the
    // viewport's bottom.
    if (m_floatingFooter && m_floatingFooter->Visible()) {
        const bool preview = m_floatingFooter->FooterStyle() != fsFixedLastRow;
        if (preview)
            m_footerPanel->update();
        else if (row == RowCount() - 1)
            return false;
        const QRect r = CellRect(std::max(col, 0), row);
        if (!r.isEmpty() && r.top() + r.height() > viewport()->height() + 2)
            SetTopRow(TopRow() + 1);
    }
    if (col < 0 || row < 0)
        return TBaseGrid::SelectCell(col, row);

    const int oldCol = Col(), oldRow = Row();
    bool allow = true;
    if (row != oldRow && OnRowChanging)
        OnRowChanging(this, oldRow, row, allow);
    if (col != oldCol && OnColChanging)
        OnColChanging(this, oldCol, col, allow);
    // The advance raises the cell event itself.
    if ((col != oldCol || row != oldRow) && OnCellChanging && !ed.advancing)
        OnCellChanging(this, oldRow, oldCol, row, col, allow);
    const tk::TGridOptions opts = GridOptions();
    // The node column never holds the current cell unless whole rows are selected.
    if (col == 0 && HasNodes() && !(opts & tk::goRowSelect))
        allow = false;
    if (!allow)
        return false;

    const int real = RealColIndex(col);
    if (col != oldCol || row != oldRow) {
        if (ed.controlActive && IsDefaultEditKind(ed.editorType)) {
            ed.controlActive = false;   // the default edit follows the current cell
        } else if (ed.editingInProgress || ed.controlActive) {
            // Ending the edit validates its value; a refused value keeps the edited cell current
            // with its editor open again.
            ed.validationRefused = false;
            EndInplaceEdit();
            if (ed.validationRefused)
                return false;
        }
    }
    if (IsControlCell(real, row)) {
        bool can = true;
        CanEditCell(real, row, can);
        ed.optionRemoved = false;
        if (!(opts & tk::goEditing) && !(opts & tk::goRowSelect) && can) {
            SkipNextInvalidate();
            SetGridOptions(opts | tk::goEditing);
        }
    } else {
        bool can = (opts & tk::goEditing) || ed.optionRemoved;
        CanEditCell(real, row, can);
        if (can) {
            ed.optionRemoved = false;
            if (!(opts & tk::goEditing)) {
                if (!ed.editingInProgress)
                    EditStarted(col, row);
                SkipNextInvalidate();
                SetGridOptions(opts | tk::goEditing);
            }
        } else if (opts & tk::goEditing) {
            SkipNextInvalidate();
            SetGridOptions(opts & ~tk::goEditing);
            ed.optionRemoved = true;
        }
    }
    bool answer;
    const bool editFocused = InplaceEditor() && InplaceEditor()->Focused();
    if (!ed.editingInProgress || editFocused) {
        answer = !IsFixedCell(col, row) && TBaseGrid::SelectCell(col, row);
    } else {
        const bool valid = IsUnicodeKind(ed.editorType) ? ValidateWideCell(GetWideEditText())
                                                        : ValidateCell(GetEditText(Col(), Row()));
        answer = valid && TBaseGrid::SelectCell(col, row);
    }

    // The marks that follow the current cell: the row indicator, the active headers, the active
    // row and the selection rectangle.
    if (!m_rowIndicator.isNull() && TBaseGrid::FixedCols() > 0) {
        RepaintCell(0, oldRow);
        RepaintCell(0, row);
    }
    if (m_activeCellShow) {
        auto headers = [this](int c, int r) {
            if (TBaseGrid::FixedCols() > 0)
                InvalidateCell(0, r);
            if (TBaseGrid::FixedRows() > 0)
                InvalidateCell(c, 0);
        };
        headers(oldCol, oldRow);
        headers(col, row);
        const tk::TGridRect sel = Selection();
        const int cornerCol = sel.Left == oldCol ? sel.Right : sel.Left;
        const int cornerRow = sel.Top == oldRow ? sel.Bottom : sel.Top;
        if (cornerCol != oldCol && cornerRow != oldRow)
            headers(cornerCol, cornerRow);
    }
    if (ActiveRowShow()) {
        InvalidateRow(oldRow);
        InvalidateRow(row);
    }
    if (m_selectionRectangle) {
        // Only the part on screen (one more row and column for the ones cut at the edges).
        const tk::TGridRect sel = Selection();
        const int top = std::max(sel.Top, TopRow()), bottom = std::min(sel.Bottom, TopRow() + VisibleRowCount());
        const int left = std::max(sel.Left, LeftCol()), right = std::min(sel.Right, LeftCol() + VisibleColCount());
        for (int r = top; r <= bottom; ++r)
            for (int c = left; c <= right; ++c)
                InvalidateCell(c, r);
    }

    // A refused move is no row change.
    if (answer && row != m_lastReportedRow && OnRowUpdate && m_updateCount == 0) {
        const int old = m_lastReportedRow;
        m_lastReportedRow = row;
        OnRowUpdate(this, old, row);
    }
    ed.textAtStart = DisplayText(real, row);
    return answer;
}

// ------------------------------------------------------------------ validation

void TZedEzeravIvur::EditStarted(int col, int row)
{
    TGridEditing& ed = editing();
    ed.editCol = col;
    ed.editRow = row;
    ed.editStartText = DisplayText(RealColIndex(col), row);
    ed.editStartWideText = WideCells(RealColIndex(col), row);
}

bool TZedEzeravIvur::ValidateWideCell(const QString& value)
{
    TGridEditing& ed = editing();
    if (!ed.editingInProgress || ed.suppressNextEditor)
        return true;
    ed.editingInProgress = false;
    ed.suppressNextEditor = true;
    const auto restart = qScopeGuard([this] {
        EditStarted(Col(), Row());
        editing().suppressNextEditor = false;
    });
    const int c = RealColIndex(ed.editCol), r = ed.editRow;
    if (c < 0 || r < 0 || c >= ColCount() || r >= RowCount())
        return true;
    bool valid = true;
    std::u16string v = value.toStdU16String();
    if (v != ed.editStartWideText) {
        RowChanged(c, r);
        if (OnCellValidateWide)
            OnCellValidateWide(this, c, r, v, valid);
        CellsChanged(QRect(c, r, 1, 1));
        if (valid) {
            SetWideCells(c, r, v);
            ed.textAtStart = DisplayText(c, r);
        } else {
            ed.validationRefused = true;
            SetWideCells(c, r, v != value.toStdU16String() ? v : ed.editStartWideText);
            if (Col() != ed.editCol || Row() != r)
                FocusCell(ed.editCol, r, true);
            ed.suppressNextEditor = false;
            ed.editingInProgress = true;
            ShowEditorForCurrentCell();
        }
        ed.editStartWideText = WideCells(c, r);
    }
    return valid;
}

bool TZedEzeravIvur::RowModified(int row) const
{
    const auto& rows = editing().modifiedRows;
    return row >= 0 && size_t(row) < rows.size() && rows[size_t(row)] == 1;
}

void TZedEzeravIvur::SetRowModified(int row, bool value)
{
    if (row < 0 || row >= RowCount() + NumHiddenRows())
        return;   // outside the rows: refused
    auto& rows = editing().modifiedRows;
    if (rows.size() < size_t(row) + 1)
        rows.resize(size_t(row) + 1, 0);
    rows[size_t(row)] = value ? 1 : 0;
}

bool TZedEzeravIvur::ValidateCell(const QString& value)
{
    TGridEditing& ed = editing();
    if (!ed.editingInProgress || ed.suppressNextEditor)
        return true;
    ed.editingInProgress = false;
    ed.suppressNextEditor = true;
    bool valid = true;
    const auto restart = qScopeGuard([this] {
        EditStarted(Col(), Row());
        editing().suppressNextEditor = false;
    });
    const int c = RealColIndex(ed.editCol), r = ed.editRow;
    if (c < 0 || r < 0 || c >= ColCount() || r >= RowCount())
        return true;
    QString v = value;
    if (v != ed.editStartText) {
        if (ShowModified()->Enabled && FixedCols() > 0) {
            SetRowModified(Row(), true);
            RepaintCell(0, Row());
        }
        const bool advance = Navigation()->AdvanceOnEnter;
        Navigation()->AdvanceOnEnter = false;
        auto* checker = qobject_cast<TZedEzeravIvurCheck*>(CellChecker());
        if (checker && checker->AutoCorrect)
            v = checker->Correct(c, r, v);
        if (OnCellValidate)
            OnCellValidate(this, c, r, v, valid);
        if (valid) {
            RowChanged(c, r);
            if (checker && checker->AutoMarkError)
                v = checker->MarkError(c, r, v);
            if (UndoRedo())
                UndoRedo()->RegisterChange(c, r, v, ed.editStartText);
            CellsChanged(QRect(c, r, 1, 1));
            SetCellText(c, r, v);
            // A validated text is the one Escape goes back to from now on.
            ed.textAtStart = DisplayText(c, r);
        } else {
            ed.validationRefused = true;
            // Hiding the editor can move the focus into the grid, which starts the edit tracking
            // over with the refused text already in the cell: the text to restore is taken first.
            const QString startText = ed.editStartText;
            HideEditor();
            SetCellText(c, r, v != value ? v : startText);
            if (Col() != ed.editCol || Row() != r)
                FocusCell(ed.editCol, r, true);
            ed.suppressNextEditor = false;
            ed.editingInProgress = true;
            ShowEditorForCurrentCell();
        }
        ed.editStartText = Cells(c, r);
        Navigation()->AdvanceOnEnter = advance;
    }
    return valid;
}

void TZedEzeravIvur::ShowEditorForCurrentCell()
{
    TGridEditing& ed = editing();
    if (ed.controlActive && ed.shown) {
        ed.shown->setFocus();
        return;
    }
    ShowEditor();
}

// ------------------------------------------------------------------ moves after an edit

void TZedEzeravIvur::EditorKeyExit(int key, Qt::KeyboardModifiers modifiers)
{
    EndInplaceEdit();
    setFocus();
    const tk::TShiftState shift = tk::ShiftStateOf(modifiers);
    switch (key) {
    case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up:
    case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown: {
        int k = key;
        KeyDown(k, shift);
        break;
    }
    case Qt::Key_Return: case Qt::Key_Enter:
        if (Navigation()->AdvanceOnEnter)
            AdvanceCell(Col(), Row(), false, true, false, false);
        break;
    default:
        break;
    }
}

void TZedEzeravIvur::TabAdvance(bool backward)
{
    if (OnKeyDown) {
        int key = Qt::Key_Tab;
        OnKeyDown(this, key, backward ? Qt::ShiftModifier : Qt::NoModifier);
        if (key != Qt::Key_Tab)
            return;
    }
    const int firstCol = TBaseGrid::FixedCols(), lastCol = ColCount() - FixedRightCols() - 1;
    const int firstRow = TBaseGrid::FixedRows(), lastRow = RowCount() - FixedFooters() - 1;
    if (lastCol < firstCol || lastRow < firstRow)
        return;
    int col = Col(), row = Row();
    const bool topBottom = Navigation()->TabAdvanceDirection == adTopBottom;
    // One pass over the cells at most: a grid without another editable cell stays where it is.
    const int cells = (lastCol - firstCol + 1) * (lastRow - firstRow + 1);
    bool pastTheEnd = false;
    for (int i = 0; i < cells; ++i) {
        if (topBottom) {
            if (!backward) {
                const QPoint span = CellSpan(col, row);
                row += std::max(0, span.y()) + 1;
                if (row > lastRow) {
                    row = firstRow;
                    pastTheEnd = pastTheEnd || col >= lastCol;
                    col = col >= lastCol ? firstCol : col + 1;
                }
            } else if (--row < firstRow) {
                row = lastRow;
                col = col <= firstCol ? lastCol : col - 1;
            }
        } else if (!backward) {
            const QPoint span = CellSpan(col, row);
            col += std::max(0, span.x()) + 1;
            if (col > lastCol) {
                col = firstCol;
                pastTheEnd = pastTheEnd || row >= lastRow;
                row = row >= lastRow ? firstRow : row + 1;
            }
        } else if (--col < firstCol) {
            col = lastCol;
            row = row <= firstRow ? lastRow : row - 1;
        }
        if (!IsBaseCell(col, row) && !IsMergedCell(col, row))
            continue;
        if (IsEditableCell(col, row) || !(GridOptions() & tk::goEditing)) {
            FocusCell(col, row, true);
            break;
        }
    }
    // Past the last cell the focus moves on to the next control of the form.
    if (pastTheEnd && Navigation()->TabToNextAtEnd && parentWidget())
        QCoreApplication::postEvent(parentWidget(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
    if (Navigation()->AlwaysEdit)
        setFocus();
}

void TZedEzeravIvur::AdvanceCell(int col, int row, bool repeat, bool forward, bool keepEditing, bool force)
{
    if (!Navigation()->AdvanceOnEnter && !force)
        return;
    TGridEditing& ed = editing();
    if (MouseActions()->RangeSelectAndEdit && !(GridOptions() & tk::goEditing))
        SetGridOptions(GridOptions() | tk::goEditing);
    if (!repeat) {
        ed.advanceOriginCol = col;
        ed.advanceOriginRow = row;
    }
    m_pendingEditChar = QChar();
    const int firstCol = FirstNormalColumn(), firstRow = TBaseGrid::FixedRows();
    // Rows and columns may be added on the way.
    auto lastCol = [this] { return ColCount() - FixedRightCols() - 1; };
    auto lastRow = [this] { return RowCount() - FixedFooters() - 1; };
    if (lastCol() < firstCol || lastRow() < firstRow)
        return;
    const int oldCol = col, oldRow = row;
    const bool topBottom = Navigation()->AdvanceDirection == adTopBottom;
    const bool insert = Navigation()->AdvanceInsert;
    // The walk ends at the first editable cell in advancing order, after one pass at most.
    const int cells = (lastCol() - firstCol + 1) * (lastRow() - firstRow + 1) + 1;
    bool found = false;
    for (int i = 0; i < cells && !found; ++i) {
        const QPoint span = CellSpan(col, row);
        const int spanX = std::max(0, span.x());
        if (forward && !topBottom) {
            if (col + spanX < lastCol()) {
                col += spanX + 1;
            } else if (row < lastRow()) {
                col = firstCol;
                ++row;
            } else if (insert) {
                bool canAdd = true;
                if (OnCanAddRow)
                    OnCanAddRow(this, canAdd);
                col = firstCol;
                if (canAdd) {
                    // Footer rows stay the last rows.
                    if (FixedFooters() > 0)
                        InsertRows(RowCount() - FixedFooters(), 1);
                    else
                        AddRow();
                    ++row;
                    if (OnAutoAddRow)
                        OnAutoAddRow(this, lastRow());
                    bool any = false;
                    for (int c = firstCol; c <= lastCol() && !any; ++c)
                        any = IsEditableCell(RealColIndex(c), row);
                    if (!any)
                        return;
                }
            } else {
                col = firstCol;
                row = firstRow;
            }
        } else if (forward) {
            if (row < lastRow()) {
                ++row;
            } else if (col < lastCol()) {
                row = firstRow;
                ++col;
            } else if (insert) {
                SetColCount(ColCount() + 1);
                col += spanX + 1;
                row = firstRow;
                if (OnAutoInsertCol)
                    OnAutoInsertCol(this, lastCol());
            } else {
                col = firstCol;
                row = firstRow;
            }
            InvalidateGrid();
        } else if (!topBottom) {
            if (col > firstCol) --col;
            else { col = lastCol(); row = row > firstRow ? row - 1 : lastRow(); }
        } else {
            if (row > firstRow) --row;
            else { row = lastRow(); col = col > firstCol ? col - 1 : lastCol(); }
        }
        found = IsEditableCell(RealColIndex(col), row);
    }
    if (!found || (col == oldCol && row == oldRow))
        return;

    int newCol = col, newRow = row;
    bool allow = true;
    if (OnAutoAdvance)
        OnAutoAdvance(this, ed.advanceOriginRow, ed.advanceOriginCol, newRow, newCol, allow);
    if (allow && OnCellChanging)
        OnCellChanging(this, oldRow, oldCol, newRow, newCol, allow);
    ed.advancing = true;
    if (allow) {
        FocusCell(newCol, newRow, true);
        SetRowNotify(Row());
    } else {
        SelectCell(oldCol, oldRow);
    }
    ed.advancing = false;

    const int real = RealColIndex(Col());
    const bool moved = Col() != oldCol || Row() != oldRow;
    if (moved && IsEditableCell(real, Row())) {
        const bool control = IsControlCell(real, Row());
        if (keepEditing || control)
            ShowEditor();
        if (control) {
            const int curCol = Col(), curRow = Row();
            ed.advancing = true;
            FocusCell(oldCol, oldRow, true);
            FocusCell(curCol, curRow, true);
            ed.advancing = false;
            if (!IsControlCell(RealColIndex(oldCol), oldRow)) {
                // Coming from a text cell, the grid takes the focus from the editor, as a click
                // into the cell would give it. No click is delivered: it would toggle a check box,
                // pick a radio item or press a button merely by moving onto the cell; Space and
                // Enter do that once the cell is current.
                setFocus(Qt::OtherFocusReason);
                if (topBottom)
                    HideEditor();
            }
        }
    }
    if (OnCellChanging) {
        bool again = true;
        OnCellChanging(this, oldRow, oldCol, Row(), Col(), again);
    }
    TEditorType oldKind = DefaultEditor;
    GetCellEditor(RealColIndex(oldCol), oldRow, oldKind);
    if (!IsDefaultEditKind(oldKind))
        HideEditor();
}

} // namespace grid
