#include "grid/ZodUvuzInplace.h"

#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzEdit.h"
#include "grid/editors/EditMask.h"
#include "grid/editors/EditorHost.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>
#include <QMimeData>
#include <QContextMenuEvent>
#include <memory>

namespace grid {

TZedInplaceEdit::TZedInplaceEdit(TZedEzeravIvur* grid, tk::TInplaceEditor* editor) : m_grid(grid), m_ed(editor) {}

void TZedInplaceEdit::textChangedByUser()
{
    if (m_quiet)
        return;   // the change in progress reports itself once it is complete
    if (m_grid->OnEditChange)
        m_grid->OnEditChange(m_grid, m_grid->Col(), m_grid->Row(), m_ed->Text());
}

bool TZedInplaceEdit::isPasswordKind() const { return m_grid->editing().editorType == edPassword; }

bool TZedInplaceEdit::isTextKind() const
{
    switch (m_grid->editing().editorType) {
    case edNormal: case edCapital: case edMixedCase: case edLowerCase: case edUpperCase:
        return true;
    default:
        return false;
    }
}

void TZedInplaceEdit::SetVAlign(bool value)
{
    m_vAlign = value;
    if (m_ed->Visible())
        setInnerMargins();
}

void TZedInplaceEdit::contentsUpdated()
{
    // A newly shown or moved editor selects the cell's text whole, so typing replaces it (a mask
    // fills from its start); placing it again over the same cell keeps the caret.
    const QPoint cell(m_grid->Col(), m_grid->Row());
    if (!m_ed->Visible() || cell != m_contentsCell)
        m_ed->SelectAll();
    m_contentsCell = cell;
    // The cell's colours and font, without the selection colours.
    QWidget* w = m_ed->Widget();
    const int col = m_grid->RealColIndex(m_grid->Col()), row = m_grid->Row();
    bool wordWrap = m_grid->WordWrap();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    tk::TFont font;
    font.SetFont(m_grid->font());
    font.SetColor(gfx::clWindowText);
    TColor colorTo = gfx::clNone;
    TColor brush = m_grid->Color();
    tk::TGridDrawState state = 0;
    m_grid->GetCellColors(col, row, wordWrap, hAlign, vAlign, font, colorTo, brush, true, false, false, state);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, tk::ToQColor(brush, pal));
    pal.setColor(QPalette::Text, tk::ToQColor(font.Color(), pal));
    w->setPalette(pal);
    w->setFont(font.Font());
}

void TZedInplaceEdit::placeOverCell()
{
    QRect r = m_grid->MergedCellRect(m_grid->Col(), m_grid->Row());
    if (m_grid->layoutDirection() == Qt::RightToLeft)
        r.setLeft(r.left() + 1);
    m_ed->Widget()->setGeometry(r.left(), r.top(), r.width() - 1, r.height() - 1);
    setInnerMargins();
    m_ed->Show();
}

bool TZedInplaceEdit::handleTab(QEvent* event)
{
    // With the grid's tab option Tab goes to the key handling, not to the focus chain.
    if (event->type() == QEvent::KeyPress && (m_grid->GridOptions() & tk::goTabs)) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            handleKeyPress(k);
            return true;
        }
    }
    return false;
}

bool TZedInplaceEdit::validateOrRestore(bool caretAtEnd)
{
    TGridEditing& ed = m_grid->editing();
    const QString startBefore = ed.editStartText;
    const QString rejected = m_ed->Text();
    if (m_grid->ValidateCell(rejected))
        return true;
    m_ed->SetText(startBefore);
    const int size = int(m_ed->Text().size());
    if (m_grid->Navigation()->EditSelectAll)
        m_ed->SelectAll();
    else
        m_ed->SetCaretPos(caretAtEnd ? size : int(std::min<qsizetype>(rejected.size(), size)));
    m_ed->Widget()->update();
    ed.editStartText = startBefore;
    return false;
}

QChar TZedInplaceEdit::filterChar(QChar ch, bool& handled)
{
    handled = false;
    const GridLocale& loc = CurrentGridLocale();
    const QString t = m_ed->Text();
    const QString sel = m_ed->SelText();
    const bool hasSel = m_ed->HasSelection();
    const int caret = hasSel ? m_ed->SelStart() : m_ed->CaretPos();
    const bool control = ch == QChar(8) || ch == QChar(9) || ch == QChar(13) || ch == QChar(27);
    if (m_lengthLimit > 0 && t.size() >= m_lengthLimit && !hasSel && ch != QChar(8) && ch != QChar(27)
        && ch != QChar(13))
        return QChar();
    const QChar minus = QLatin1Char('-');
    switch (m_grid->editing().editorType) {
    case edNormal: case edPassword:
        return ch;
    case edNumeric:
        if (control || ch.isDigit())
            return ch;
        if (ch == minus && caret == 0 && !t.contains(minus))
            return ch;
        editors::Beep();
        return QChar();
    case edPositiveNumeric:
        if (control || ch.isDigit())
            return ch;
        editors::Beep();
        return QChar();
    case edFloat:
        if (control || ch.isDigit())
            return ch;
        if (ch == loc.decimalSeparator)
            return (!t.contains(ch) || sel.contains(ch)) ? ch : QChar();
        if (ch == loc.thousandSeparator)
            return QChar();
        if (ch == minus) {
            if ((caret == 0 && !t.contains(minus)) || sel.contains(minus))
                return ch;
            editors::Beep();
            return QChar();
        }
        return QChar();
    case edCapital: case edUpperCase:
        return ch.toUpper();
    case edLowerCase:
        return ch.toLower();
    case edMixedCase: {
        if (control || ch == QChar(10))
            return ch;
        handled = true;
        const int pos = caret;
        {
            QScopedValueRollback<bool> quiet(m_quiet, true);
            m_ed->InsertText(QString(ch));
            m_ed->SetText(ProperCaseName(m_ed->Text()));
        }
        m_ed->SetCaretPos(pos + 1);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), m_ed->Text());
        textChangedByUser();
        return QChar();
    }
    default:
        return QChar();
    }
}

void TZedInplaceEdit::insertLineBreak()
{
    if (!m_ed->MultiLine())
        return;
    m_ed->InsertText(QStringLiteral("\r\n"));
}

void TZedInplaceEdit::growRowForLineBreak()
{
    if (!m_ed->MultiLine() || !m_grid->SizeWhileTyping()->Height || !m_grid->Multilinecells)
        return;
    const int row = m_grid->Row();
    const int n = LineCountOf(m_ed->Text() + QStringLiteral("\r\n "), m_grid->Multilinecells);
    if (n < m_grid->MaxLinesInRow(row))
        m_grid->AutoSizeRow(row);
    else
        m_grid->SetRowLines(row, n, 2 * m_grid->CellMarginY());
    if (m_grid->OnEndRowSize)
        m_grid->OnEndRowSize(m_grid, row);
}

void TZedInplaceEdit::handleKeyPress(QKeyEvent* event)
{
    if (replaced())
        return;
    TGridEditing& ed = m_grid->editing();
    TNavigation* nav = m_grid->Navigation();
    tk::TInplaceEditor& e = *m_ed;
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier, alt = mods & Qt::AltModifier;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool lineFeedOnEnter = nav->LineFeedOnEnter;

    if (key == Qt::Key_Escape) {
        e.SetText(ed.textAtStart);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), e.Text());
        m_grid->EndInplaceEdit();
        toolkitKeyPress(event);
        return;
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (m_grid->GridOptions() & tk::goTabs)) {
        if (!m_grid->ValidateCell(e.Text())) {
            e.SetText(m_grid->GetInplaceEditText());
            if (nav->EditSelectAll)
                e.SelectAll();
            else
                e.SetCaretPos(int(e.Text().size()));
        }
        m_grid->EndInplaceEdit();
        m_grid->TabAdvance(key == Qt::Key_Backtab || shift);
        return;
    }
    // Up on the first line or Down on the last one leaves the editor: the text is validated first.
    if ((key == Qt::Key_Up && e.CaretOnFirstLine()) || (key == Qt::Key_Down && e.CaretOnLastLine())) {
        m_grid->SetInplaceEditText(e.Text());
        if (!validateOrRestore(false))
            return;
    }
    if (enter && !ctrl && !lineFeedOnEnter) {
        e.SetText(m_grid->GetInplaceEditText());
        if (!validateOrRestore(true))
            return;
        e.SetText(m_grid->GetInplaceEditText());
    }
    if (key == Qt::Key_Home && !ctrl && !shift)
        e.SetCaretPos(0);
    if (key == Qt::Key_End && !ctrl && !shift)
        e.SetCaretPos(int(e.Text().size()));
    if (enter && ctrl && lineFeedOnEnter) {
        // Ctrl+Enter is the grid's Enter: nothing is inserted.
        QChar c(13);
        m_grid->EditorKeyPress(c);
        return;
    }

    // The key-down step.
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        m_autoComplete = false;
    } else if (enter) {
        if (!nav->AllowCtrlEnter)
            ed.editingInProgress = false;
        // The row grows with a line break the editor is about to take.
        const bool breaks = (ctrl && !lineFeedOnEnter) || (lineFeedOnEnter && !ctrl && isTextKind());
        if (breaks)
            growRowForLineBreak();
    } else if ((key == Qt::Key_Left || key == Qt::Key_Right) && !e.HasSelection() && !ctrl && !shift && !alt
               && nav->CursorWalkEditor
               && (key == Qt::Key_Left ? e.CaretPos() == 0 : e.CaretPos() == int(e.Text().size()))) {
        const bool left = key == Qt::Key_Left;
        const int col = m_grid->Col(), row = m_grid->Row();
        const int next = left ? col - 1 : col + 1;
        const bool inside = left ? col > m_grid->FixedCols() : col < m_grid->ColCount() - m_grid->FixedRightCols() - 1;
        if (inside && m_grid->IsControlCell(next, row)) {
            if (m_grid->ValidateCell(e.Text())) {
                m_grid->EndInplaceEdit();
                m_grid->SetCol(next);
            }
            return;
        }
        const TAdvanceDirection before = nav->AdvanceDirection;
        nav->AdvanceDirection = adLeftRight;
        m_grid->AdvanceCell(col, row, false, !left, true, true);
        nav->AdvanceDirection = before;
        return;
    } else if ((key == Qt::Key_Up && !e.CaretOnFirstLine()) || (key == Qt::Key_Down && !e.CaretOnLastLine())) {
        // Between the editor's lines the caret moves; the grid stays.
        nativeKeyPress(event);
        return;
    } else {
        m_autoComplete = true;
    }

    if (event->matches(QKeySequence::Paste)) {
        PasteFromClipboard();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        CopyToClipboard();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        CutToClipboard();
        return;
    }
    if (enter) {
        // The grid's key-down step, then the character: Ctrl+Enter types a line feed.
        m_grid->EditorKeyDown(key, tk::ShiftStateOf(mods));
        charStage(QChar(ctrl ? 10 : 13), event);
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && !ctrl && (typed.at(0).isPrint() || typed.at(0) == QChar(8))) {
        charStage(typed.at(0), event);
        return;
    }
    toolkitKeyPress(event);
}

void TZedInplaceEdit::charStage(QChar ch, QKeyEvent* event)
{
    TNavigation* nav = m_grid->Navigation();
    tk::TInplaceEditor& e = *m_ed;
    const bool enterChar = ch == QChar(13);
    if (ch == QLatin1Char('.') && (event->modifiers() & Qt::KeypadModifier) && m_grid->ExcelStyleDecimalSeparator)
        ch = CurrentGridLocale().decimalSeparator;
    if (enterChar && nav->LineFeedOnEnter && isTextKind()) {
        // Enter types a line break in the text kinds (the single-line editor takes none).
        insertLineBreak();
        return;
    }
    bool handled = false;
    const QChar out = filterChar(ch, handled);
    if (handled || out.isNull())
        return;

    // The key-press steps.
    if (enterChar && !nav->LineFeedOnEnter && !m_grid->ValidateCell(e.Text())) {
        e.SetText(m_grid->GetInplaceEditText());
        return;
    }
    if (out == QChar(13) || out == QChar(10)) {
        // The grid sees the character first; a line feed then breaks the line.
        QChar c = out;
        m_grid->EditorKeyPress(c);
        if (c == QChar(10))
            insertLineBreak();
    } else if (out != ch || event->text().isEmpty() || ch != event->text().at(0)) {
        {
            QScopedValueRollback<bool> quiet(m_quiet, true);
            e.InsertText(QString(out));
        }
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), e.Text());
        textChangedByUser();
    } else {
        toolkitKeyPress(event);
    }
    // A masked entry that is complete moves on by itself.
    const QString mask = inputMaskOf();
    if (nav->AdvanceAuto && !mask.isEmpty() && out != QChar(13)) {
        const QChar blank = mask.size() >= 2 && mask.at(mask.size() - 2) == QLatin1Char(';') ? mask.back() : QChar(' ');
        const QString shown = maskedDisplayText();
        if (!shown.contains(blank) && e.CaretPos() >= int(shown.size())) {
            QChar c(13);
            m_grid->EditorKeyPress(c);
        }
    }
}

bool TZedInplaceEdit::replaced() const { return m_grid->InplaceEditor() != m_ed; }

void TZedInplaceEdit::handleKeyRelease(QKeyEvent* event)
{
    // A replaced editor shows no cell any more: what it would write would land in another one.
    if (replaced())
        return;
    const int key = event->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) {
        AutoComplete();
        // Sizing while typing: the column to its contents, the row when cells wrap.
        if (m_grid->SizeWhileTyping()->Width)
            m_grid->AutoSizeCol(m_grid->Col());
        if (m_grid->SizeWhileTyping()->Height && m_grid->WordWrap()) {
            m_grid->AutoSizeRow(m_grid->Row());
            if (m_grid->OnEndRowSize)
                m_grid->OnEndRowSize(m_grid, m_grid->Row());
        }
    }
    // The caret's place and whether the text is a formula, for descendants of the grid.
    const QString text = m_ed->Text();
    const int caret = m_ed->CaretPos();
    if (caret > 0)
        m_grid->EditorCaretChanged(text, m_ed->PosFromChar(caret - 1), caret);
    m_grid->EditorEqualsPrefix(text.startsWith(QLatin1Char('=')));
}

void TZedInplaceEdit::AutoComplete()
{
    tk::TInplaceEditor& e = *m_ed;
    if (!m_autoComplete || e.HasSelection() || m_grid->editing().editorType == edPassword)
        return;
    if (!m_grid->Lookup || m_grid->LookupItems().Count() == 0)
        return;
    const int typedLength = e.CaretPos();
    const QString current = e.Text();
    const QString typed = current.left(typedLength);
    if (typed.isEmpty())
        return;   // nothing typed completes nothing
    const Qt::CaseSensitivity cs = m_grid->LookupCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringList& items = m_grid->LookupItems().List();
    for (const QString& item : items) {
        if (!item.startsWith(typed, cs))
            continue;
        QString completed = typed + item.mid(typedLength);
        if (m_lengthLimit > 0)
            completed.truncate(m_lengthLimit);
        e.SetText(completed);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), completed);
        e.SetSelection(typedLength, int(completed.size()) - typedLength);
        return;
    }
}

void TZedInplaceEdit::CopyToClipboard()
{
    bool allow = true;
    if (m_grid->OnClipboardCopy)
        m_grid->OnClipboardCopy(m_ed->Widget(), allow);
    if (allow)
        nativeCopy();
}

void TZedInplaceEdit::CutToClipboard()
{
    bool allow = true;
    if (m_grid->OnClipboardCut)
        m_grid->OnClipboardCut(m_ed->Widget(), allow);
    if (!allow)
        return;
    if (!m_grid->CanEditModify())
        return;
    nativeCut();
    m_grid->SetEditText(m_grid->Col(), m_grid->Row(), m_ed->Text());
}

void TZedInplaceEdit::PasteFromClipboard()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    QString text = data->text();
    bool allow = true;
    if (m_grid->OnClipboardPaste)
        m_grid->OnClipboardPaste(m_ed->Widget(), allow);
    if (m_grid->OnClipboardBeforePasteCell)
        m_grid->OnClipboardBeforePasteCell(m_ed->Widget(), m_grid->Col(), m_grid->Row(), text, allow);
    if (!allow)
        return;
    PasteText(text);
}

void TZedInplaceEdit::PasteText(QString pasted)
{
    if (pasted.isEmpty())
        return;
    tk::TInplaceEditor& e = *m_ed;
    if (e.MultiLine()) {
        // The grid's line breaks.
        pasted.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        pasted.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        pasted.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    }
    const int limit = m_lengthLimit;
    if (limit >= 1 && pasted.size() > limit)
        return;
    const bool hadSelection = e.HasSelection();
    const int start = hadSelection ? e.SelStart() : e.CaretPos();
    QString t = e.Text();
    t.replace(start, hadSelection ? e.SelLength() : 0, pasted);
    if (limit >= 1 && t.size() > limit)
        return;
    bool ok = true;
    switch (m_grid->editing().editorType) {
    case edNumeric: ok = NumberKind(t) == 0; break;
    case edPositiveNumeric: {
        // Digits only: a sign would make the number negative.
        ok = !t.isEmpty();
        for (QChar c : t)
            ok = ok && c.isDigit();
        break;
    }
    case edFloat: ok = NumberKind(t) == 0 || NumberKind(t) == 1; break;
    case edMixedCase: t = ProperCaseName(t); break;
    case edLowerCase: t = t.toLower(); break;
    case edUpperCase: t = t.toUpper(); break;
    default: break;
    }
    if (!ok)
        return;
    e.SetText(t);
    m_grid->SetInplaceEditText(t);
    if (hadSelection)
        e.SetSelection(start, int(pasted.size()));
    else
        e.SetCaretPos(start + int(pasted.size()));
}

QMenu* TZedInplaceEdit::CreateContextMenu()
{
    QMenu* menu = standardContextMenu();
    // The standard entries are known by their name (multi-line edit) or their shortcut (line edit).
    const auto is = [](const QAction* a, const char* name, QKeySequence::StandardKey key) {
        return a->objectName() == QLatin1String(name)
               || a->text().endsWith(QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText));
    };
    for (QAction* a : menu->actions()) {
        void (TZedInplaceEdit::*op)() = nullptr;
        if (is(a, "edit-cut", QKeySequence::Cut))
            op = &TZedInplaceEdit::CutToClipboard;
        else if (is(a, "edit-copy", QKeySequence::Copy))
            op = &TZedInplaceEdit::CopyToClipboard;
        else if (is(a, "edit-paste", QKeySequence::Paste))
            op = &TZedInplaceEdit::PasteFromClipboard;
        if (!op)
            continue;
        QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
        QObject::connect(a, &QAction::triggered, m_ed->Widget(), [this, op] { (this->*op)(); });
    }
    return menu;
}

void TZedInplaceEdit::handleFocusIn(QFocusEvent* event)
{
    (void)event;
    TNavigation* nav = m_grid->Navigation();
    if (!inputMaskOf().isEmpty() && nav->ImproveMaskSel) {
        m_ed->SetSelection(0, 1);
        return;
    }
    if (!nav->EditSelectAll)
        m_ed->SetCaretPos(int(m_ed->Text().size()));
}

void TZedInplaceEdit::handleFocusOut(QFocusEvent* event)
{
    // A replaced editor ends nothing, nor does the editor of a grid being destroyed.
    if (replaced() || m_grid->m_tearingDown)
        return;
    TGridEditing& ed = m_grid->editing();
    tk::TInplaceEditor& e = *m_ed;
    m_grid->m_pendingEditChar = QChar();
    if (m_grid->LookupHistory && ed.editorType != edPassword && !m_grid->LookupItems().List().contains(e.Text()))
        m_grid->LookupItems().Add(e.Text());
    m_grid->EditorEqualsPrefix(false);
    if (event->reason() == Qt::PopupFocusReason)
        return;
    QWidget* to = QApplication::focusWidget();
    const bool toGrid = to == m_grid || to == m_grid->viewport();
    if (!toGrid) {
        m_grid->ValidateCell(e.Text());
        e.SetText(m_grid->GetInplaceEditText());
    }
    m_grid->EndInplaceEdit();
    ed.editingInProgress = false;
    ed.controlActive = false;
    m_grid->SelectCell(m_grid->Col(), m_grid->Row());
    e.SetText(m_grid->GetInplaceEditText());
    m_grid->EditorCaretChanged(e.Text(), QPoint(-1, -1), -1);
    if (m_grid->OnEditingDone)
        m_grid->OnEditingDone(m_grid);
}

void TZedInplaceEdit::handleDoubleClick()
{
    if (m_grid->OnDblClickCell)
        m_grid->OnDblClickCell(m_grid, m_grid->Row(), m_grid->Col());
}

void TZedInplaceEdit::handleContextMenu(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu(CreateContextMenu());
    menu->exec(event->globalPos());
}

// ================================================================== TZedInplaceLineEdit

TZedInplaceLineEdit::TZedInplaceLineEdit(TZedEzeravIvur* grid) : tk::TInplaceEdit(grid), TZedInplaceEdit(grid, this)
{
    QWidget::setTabOrder(grid, this);   // Tab from the editor goes where Tab from the grid would
    connect(this, &QLineEdit::textEdited, this, [this] { textChangedByUser(); });
}

void TZedInplaceLineEdit::applyKindStyles()
{
    TZedEzeravIvur* g = ZodGrid();
    const bool password = isPasswordKind();
    setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    // The grid's password character.
    const QString sheet = password ? QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                                         .arg(g->PasswordChar().unicode())
                                   : QString();
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
    const QString mask = editors::TranslateEditMask(g->GetEditMask(g->Col(), g->Row())).inputMask;
    if (inputMask() != mask)
        setInputMask(mask);
}

void TZedInplaceLineEdit::setInnerMargins()
{
    setTextMargins(2, VAlign() ? 0 : 2, 2, 0);
    setAlignment(Qt::AlignLeft | (VAlign() ? Qt::AlignVCenter : Qt::AlignTop));
}

void TZedInplaceLineEdit::UpdateContents()
{
    applyKindStyles();
    SetLengthLimit(ZodGrid()->MaxEditLength);
    tk::TInplaceEdit::UpdateContents();
    contentsUpdated();
}

void TZedInplaceLineEdit::Move(const QRect& rect)
{
    (void)rect;
    placeOverCell();
}

void TZedInplaceLineEdit::keyReleaseEvent(QKeyEvent* event)
{
    tk::TInplaceEdit::keyReleaseEvent(event);
    handleKeyRelease(event);
}

void TZedInplaceLineEdit::focusInEvent(QFocusEvent* event)
{
    tk::TInplaceEdit::focusInEvent(event);
    handleFocusIn(event);
}

void TZedInplaceLineEdit::focusOutEvent(QFocusEvent* event)
{
    tk::TInplaceEdit::focusOutEvent(event);
    handleFocusOut(event);
}

void TZedInplaceLineEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    tk::TInplaceEdit::mouseDoubleClickEvent(event);
    handleDoubleClick();
}

bool TZedInplaceLineEdit::event(QEvent* event)
{
    return handleTab(event) || tk::TInplaceEdit::event(event);
}

// ================================================================== TZedInplaceMemo

TZedInplaceMemo::TZedInplaceMemo(TZedEzeravIvur* grid) : tk::TInplaceMemo(grid), TZedInplaceEdit(grid, this)
{
    QWidget::setTabOrder(grid, this);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (VAlign())
            setInnerMargins();   // the lines stay centred
        if (!SettingText())
            textChangedByUser();
    });
}

void TZedInplaceMemo::applyKindStyles()
{
    setLineWrapMode(ZodGrid()->WordWrap() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    // Without the grid's tab option Tab leaves the grid as from any other control.
    setTabChangesFocus(!(ZodGrid()->GridOptions() & tk::goTabs));
}

void TZedInplaceMemo::setInnerMargins()
{
    int top = 2;
    if (VAlign()) {
        const int lines = std::max(1, document()->blockCount());
        top = std::max(2, (height() - lines * fontMetrics().lineSpacing()) / 2);
    }
    SetTextMargins(2, top, 2, 0);
}

void TZedInplaceMemo::UpdateContents()
{
    applyKindStyles();
    SetLengthLimit(ZodGrid()->MaxEditLength);
    tk::TInplaceMemo::UpdateContents();
    contentsUpdated();
}

void TZedInplaceMemo::Move(const QRect& rect)
{
    (void)rect;
    placeOverCell();
}

void TZedInplaceMemo::keyReleaseEvent(QKeyEvent* event)
{
    tk::TInplaceMemo::keyReleaseEvent(event);
    handleKeyRelease(event);
}

void TZedInplaceMemo::focusInEvent(QFocusEvent* event)
{
    tk::TInplaceMemo::focusInEvent(event);
    const Qt::FocusReason r = event->reason();
    if (ZodGrid()->Navigation()->EditSelectAll
        && (r == Qt::TabFocusReason || r == Qt::BacktabFocusReason || r == Qt::ShortcutFocusReason))
        SelectAll();
    handleFocusIn(event);
}

void TZedInplaceMemo::focusOutEvent(QFocusEvent* event)
{
    tk::TInplaceMemo::focusOutEvent(event);
    handleFocusOut(event);
}

void TZedInplaceMemo::mouseDoubleClickEvent(QMouseEvent* event)
{
    tk::TInplaceMemo::mouseDoubleClickEvent(event);
    handleDoubleClick();
}

bool TZedInplaceMemo::event(QEvent* event)
{
    return handleTab(event) || tk::TInplaceMemo::event(event);
}

// ================================================================== TGridTransEdit

TGridTransEdit::TGridTransEdit(TZedEzeravIvur* grid) : QLineEdit(grid ? grid->viewport() : nullptr), m_grid(grid)
{
    setObjectName(QStringLiteral("GridTransEdit"));
    hide();
}

bool TGridTransEdit::ValidateAndStore()
{
    if (!m_grid) {
        hide();
        return true;
    }
    bool valid = true;
    QString value = text();
    if (m_grid->OnCellValidate)
        m_grid->OnCellValidate(m_grid, Col, Row, value, valid);
    if (valid) {
        if (m_grid->OnEditingDone)
            m_grid->OnEditingDone(m_grid);
        m_grid->SetCells(Col, Row, value);
        hide();
        return true;
    }
    m_grid->SetCol(Col);
    m_grid->SetRow(Row);
    setFocus();
    return false;
}

void TGridTransEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QLineEdit::keyPressEvent(event);
}

void TGridTransEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (isVisible())
        ValidateAndStore();
}

} // namespace grid
