#include "grid/ZodUvuzInplace.h"

#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzEdit.h"
#include "grid/editors/EditMask.h"
#include "grid/editors/EditorHost.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

namespace grid {

TZedInplaceEdit::TZedInplaceEdit(TZedEzeravIvur* grid) : tk::TInplaceEdit(grid), m_grid(grid)
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_grid->OnEditChange)
            m_grid->OnEditChange(m_grid, m_grid->Col(), m_grid->Row(), text);
    });
}

void TZedInplaceEdit::UpdateContents()
{
    TGridEditing& ed = m_grid->editing();
    const bool password = ed.editorType == edPassword;
    setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    // The grid's password character.
    const QString sheet = password ? QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                                         .arg(m_grid->PasswordChar().unicode())
                                   : QString();
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
    m_lengthLimit = m_grid->MaxEditLength;
    m_autoComplete = true;
    const QString mask = editors::TranslateEditMask(m_grid->GetEditMask(m_grid->Col(), m_grid->Row())).inputMask;
    if (inputMask() != mask)
        setInputMask(mask);
    tk::TInplaceEdit::UpdateContents();
    // The cell's colours and font, without the selection colours.
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
    QPalette pal = palette();
    pal.setColor(QPalette::Base, tk::ToQColor(brush, pal));
    pal.setColor(QPalette::Text, tk::ToQColor(font.Color(), pal));
    setPalette(pal);
    setFont(font.Font());
}

void TZedInplaceEdit::Move(const QRect& rect)
{
    (void)rect;
    QRect r = m_grid->MergedCellRect(m_grid->Col(), m_grid->Row());
    if (m_grid->layoutDirection() == Qt::RightToLeft)
        r.setLeft(r.left() + 1);
    setGeometry(r.left(), r.top(), r.width() - 1, r.height() - 1);
    setTextMargins(2, 0, 2, 0);
    show();
}

bool TZedInplaceEdit::event(QEvent* event)
{
    // Tab goes to the key handling, not to the focus chain.
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return tk::TInplaceEdit::event(event);
}

bool TZedInplaceEdit::validateOrRestore(bool caretAtEnd)
{
    TGridEditing& ed = m_grid->editing();
    const QString startBefore = ed.editStartText;
    const QString rejected = text();
    if (m_grid->ValidateCell(rejected))
        return true;
    setText(startBefore);
    if (m_grid->Navigation()->EditSelectAll)
        selectAll();
    else
        setCursorPosition(caretAtEnd ? int(text().size()) : int(std::min(rejected.size(), text().size())));
    update();
    ed.editStartText = startBefore;
    return false;
}

QChar TZedInplaceEdit::filterChar(QChar ch, bool& handled)
{
    handled = false;
    const GridLocale& loc = CurrentGridLocale();
    const QString t = text();
    const QString sel = selectedText();
    const int caret = hasSelectedText() ? selectionStart() : cursorPosition();
    const bool control = ch == QChar(8) || ch == QChar(9) || ch == QChar(13) || ch == QChar(27);
    if (m_lengthLimit > 0 && t.size() >= m_lengthLimit && !hasSelectedText() && ch != QChar(8) && ch != QChar(27)
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
        handled = true;
        const int pos = caret;
        insert(QString(ch));
        setText(ProperCaseName(text()));
        setCursorPosition(pos + 1);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), text());
        return QChar();
    }
    default:
        return QChar();
    }
}

void TZedInplaceEdit::keyPressEvent(QKeyEvent* event)
{
    TGridEditing& ed = m_grid->editing();
    TNavigation* nav = m_grid->Navigation();
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier, alt = mods & Qt::AltModifier;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;

    if (key == Qt::Key_Escape) {
        setText(ed.textAtStart);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), text());
        m_grid->EndInplaceEdit();
        tk::TInplaceEdit::keyPressEvent(event);
        return;
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (m_grid->GridOptions() & tk::goTabs)) {
        if (!m_grid->ValidateCell(text())) {
            setText(m_grid->GetInplaceEditText());
            if (nav->EditSelectAll)
                selectAll();
            else
                setCursorPosition(int(text().size()));
        }
        m_grid->EndInplaceEdit();
        m_grid->TabAdvance(key == Qt::Key_Backtab || shift);
        return;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        m_grid->SetInplaceEditText(text());
        if (!validateOrRestore(false))
            return;
    }
    if (enter && !ctrl && !nav->LineFeedOnEnter) {
        setText(m_grid->GetInplaceEditText());
        if (!validateOrRestore(true))
            return;
        setText(m_grid->GetInplaceEditText());
    }
    if (key == Qt::Key_Home && !ctrl && !shift)
        setCursorPosition(0);
    if (key == Qt::Key_End && !ctrl && !shift)
        setCursorPosition(int(text().size()));

    // The key-down step.
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        m_autoComplete = false;
    } else if (enter) {
        if (!nav->AllowCtrlEnter)
            ed.editingInProgress = false;
    } else if ((key == Qt::Key_Left || key == Qt::Key_Right) && !hasSelectedText() && !ctrl && !shift && !alt
               && nav->CursorWalkEditor
               && (key == Qt::Key_Left ? cursorPosition() == 0 : cursorPosition() == int(text().size()))) {
        const bool left = key == Qt::Key_Left;
        const int col = m_grid->Col(), row = m_grid->Row();
        const int next = left ? col - 1 : col + 1;
        const bool inside = left ? col > m_grid->FixedCols() : col < m_grid->ColCount() - m_grid->FixedRightCols() - 1;
        if (inside && m_grid->IsControlCell(next, row)) {
            if (m_grid->ValidateCell(text())) {
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
    } else {
        m_autoComplete = true;
    }

    if (event->matches(QKeySequence::Paste)) {
        PasteText(QGuiApplication::clipboard()->text());
        return;
    }
    QString typed = event->text();
    if (!typed.isEmpty() && !ctrl && (typed.at(0).isPrint() || typed.at(0) == QChar(8))) {
        QChar ch = typed.at(0);
        if (ch == QLatin1Char('.') && (mods & Qt::KeypadModifier) && m_grid->ExcelStyleDecimalSeparator)
            ch = CurrentGridLocale().decimalSeparator;
        bool handled = false;
        const QChar out = filterChar(ch, handled);
        if (handled || out.isNull())
            return;
        if (out != typed.at(0)) {
            insert(QString(out));
            m_grid->SetEditText(m_grid->Col(), m_grid->Row(), text());
            if (m_grid->OnEditChange)
                m_grid->OnEditChange(m_grid, m_grid->Col(), m_grid->Row(), text());
            return;
        }
    }
    tk::TInplaceEdit::keyPressEvent(event);
}

void TZedInplaceEdit::keyReleaseEvent(QKeyEvent* event)
{
    tk::TInplaceEdit::keyReleaseEvent(event);
    if (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)
        AutoComplete();
}

void TZedInplaceEdit::AutoComplete()
{
    if (!m_autoComplete || hasSelectedText() || m_grid->editing().editorType == edPassword)
        return;
    if (!m_grid->Lookup || m_grid->LookupItems().Count() == 0)
        return;
    const int typedLength = cursorPosition();
    const QString current = text();
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
        setText(completed);
        m_grid->SetEditText(m_grid->Col(), m_grid->Row(), completed);
        setSelection(typedLength, int(completed.size()) - typedLength);
        return;
    }
}

void TZedInplaceEdit::PasteText(QString pasted)
{
    if (pasted.isEmpty())
        return;
    const int limit = m_lengthLimit;
    if (limit >= 1 && pasted.size() > limit)
        return;
    const bool hadSelection = hasSelectedText();
    const int start = hadSelection ? selectionStart() : cursorPosition();
    QString t = text();
    t.replace(start, hadSelection ? selectedText().size() : 0, pasted);
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
    setText(t);
    m_grid->SetInplaceEditText(t);
    if (hadSelection)
        setSelection(start, int(pasted.size()));
    else
        setCursorPosition(start + int(pasted.size()));
}

void TZedInplaceEdit::focusInEvent(QFocusEvent* event)
{
    tk::TInplaceEdit::focusInEvent(event);
    if (!m_grid->Navigation()->EditSelectAll)
        setCursorPosition(int(text().size()));
}

void TZedInplaceEdit::focusOutEvent(QFocusEvent* event)
{
    TGridEditing& ed = m_grid->editing();
    m_grid->m_pendingEditChar = QChar();
    if (m_grid->LookupHistory && ed.editorType != edPassword && !m_grid->LookupItems().List().contains(text()))
        m_grid->LookupItems().Add(text());
    tk::TInplaceEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason)
        return;
    QWidget* to = QApplication::focusWidget();
    const bool toGrid = to == m_grid || to == m_grid->viewport();
    if (!toGrid) {
        m_grid->ValidateCell(text());
        setText(m_grid->GetInplaceEditText());
    }
    m_grid->EndInplaceEdit();
    ed.editingInProgress = false;
    ed.controlActive = false;
    m_grid->SelectCell(m_grid->Col(), m_grid->Row());
    setText(m_grid->GetInplaceEditText());
    if (m_grid->OnEditingDone)
        m_grid->OnEditingDone(m_grid);
}

void TZedInplaceEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    tk::TInplaceEdit::mouseDoubleClickEvent(event);
    if (m_grid->OnDblClickCell)
        m_grid->OnDblClickCell(m_grid, m_grid->Row(), m_grid->Col());
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
