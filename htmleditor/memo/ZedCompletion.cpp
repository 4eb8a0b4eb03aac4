#include "htmleditor/memo/ZedCompletion.h"

#include "htmleditor/memo/ZedMemo.h"
#include "platform/grid/Toolkit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>

using gfx::ToQColor;

// ---------------------------------------------------------------------------------------------
// kind pictures

QImage ZarnBitmap(const QString& name)
{
    // Each kind gets a small coloured shape: a box for variables, a wrench-like bar for
    // properties, a flash for events, a circle for procedures, a diamond for methods.
    QColor color;
    int shape = 0;
    if (name == QLatin1String("Zarn_VAR")) {
        color = QColor(0x00, 0x00, 0xFF);
        shape = 0;
    } else if (name == QLatin1String("Zarn_PROP")) {
        color = QColor(0x00, 0x80, 0x80);
        shape = 1;
    } else if (name == QLatin1String("Zarn_EVENT")) {
        color = QColor(0xFF, 0x00, 0x00);
        shape = 2;
    } else if (name == QLatin1String("Zarn_PROC")) {
        color = QColor(0x00, 0x00, 0x80);
        shape = 3;
    } else if (name == QLatin1String("Zarn_METHOD")) {
        color = QColor(0x80, 0x00, 0x80);
        shape = 4;
    } else {
        return {};
    }
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    switch (shape) {
    case 0: p.drawRect(QRectF(3.5, 3.5, 9, 9)); break;
    case 1: p.drawRect(QRectF(2.5, 6.5, 11, 4)); p.drawRect(QRectF(2.5, 3.5, 3, 10)); break;
    case 2: p.drawPolygon(QPolygonF({QPointF(9, 1), QPointF(4, 9), QPointF(8, 9), QPointF(6, 15), QPointF(12, 6), QPointF(8, 6)})); break;
    case 3: p.drawEllipse(QRectF(3.5, 3.5, 9, 9)); break;
    default: p.drawPolygon(QPolygonF({QPointF(8, 2), QPointF(14, 8), QPointF(8, 14), QPointF(2, 8)})); break;
    }
    return img;
}

namespace {

const char* const kKindPictures[5] = {"Zarn_VAR", "Zarn_PROP", "Zarn_EVENT", "Zarn_PROC", "Zarn_METHOD"};

// The picture index of a kind (none for identifiers).
int PictureOfKind(int kind)
{
    switch (kind) {
    case ckVariable: return 0;
    case ckProperty: return 1;
    case ckEvent: return 2;
    case ckProcedure:
    case ckFunction: return 3;
    case ckMethod: return 4;
    default: return -1;
    }
}

// An entry cut into its kind word, its name and its parameter text.
struct EntryParts {
    QString Kind, Name, Params;
};

EntryParts PartsOf(const QString& entry)
{
    EntryParts p;
    p.Kind = CompletionKindWord(entry);
    const QString rest = CompletionName(entry);
    const int paren = rest.indexOf(QLatin1Char('('));
    p.Name = paren >= 0 ? rest.left(paren) : rest;
    p.Params = paren >= 0 ? rest.mid(paren) : QString();
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// the list

class TZedCompletionDelegate : public QStyledItemDelegate {
public:
    explicit TZedCompletionDelegate(TAutoCompletionListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {m_list->NeededWidth(), m_list->ItemHeight()};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int row = index.row();
        if (row < 0 || row >= int(m_list->m_entries.size()))
            return;
        const TCompletionEntry& e = m_list->m_entries[size_t(row)];
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        p->fillRect(option.rect, selected ? pal.highlight() : pal.base());
        int x = option.rect.left() + 2;
        if (m_list->m_showImages) {
            const QImage img = m_list->KindImage(e.Kind);
            if (!img.isNull())
                p->drawImage(QPoint(x, option.rect.top() + (option.rect.height() - img.height()) / 2), img);
            x += 20;
        }
        const EntryParts parts = PartsOf(e.Text);
        const QFont font = m_list->font();
        QFont bold = font;
        bold.setBold(true);
        const QColor text = selected ? pal.highlightedText().color() : pal.text().color();
        const QRect r(x, option.rect.top(), option.rect.right() - x, option.rect.height());
        p->setFont(font);
        p->setPen(selected ? text : ToQColor(m_list->KindColor(e.Kind), &pal));
        p->drawText(r, Qt::AlignVCenter | Qt::AlignLeft, parts.Kind);
        const int nameX = x + m_list->m_kindWidth;
        p->setFont(bold);
        p->setPen(text);
        p->drawText(QRect(nameX, r.top(), r.right() - nameX, r.height()), Qt::AlignVCenter | Qt::AlignLeft, parts.Name);
        const int paramsX = nameX + QFontMetrics(bold).horizontalAdvance(parts.Name);
        p->setFont(font);
        p->drawText(QRect(paramsX, r.top(), r.right() - paramsX, r.height()), Qt::AlignVCenter | Qt::AlignLeft,
                    parts.Params);
    }

private:
    TAutoCompletionListBox* m_list;
};

TAutoCompletionListBox::TAutoCompletionListBox(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("_lc"));
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new TZedCompletionDelegate(this));
    viewport()->setCursor(Qt::ArrowCursor);
    for (int i = 0; i < 5; ++i)
        m_images[i] = ZarnBitmap(QString::fromLatin1(kKindPictures[i]));
    SetLook(TAutoCompletion());
}

void TAutoCompletionListBox::SetLook(const TAutoCompletion& look)
{
    setFont(look.Font);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(look.Color, &pal));
    setPalette(pal);
    for (int k = 0; k < 7; ++k)
        m_colors[k] = look.KindColor(k);
    m_showImages = look.ShowImages;
    m_itemHeight = std::max(16, QFontMetrics(look.Font).boundingRect(QStringLiteral("h_")).height());
    SetEntries(m_entries);
}

void TAutoCompletionListBox::SetKindImages(const QList<QImage>& images)
{
    for (int i = 0; i < 5; ++i)
        m_images[i] = i < images.size() && !images[i].isNull() ? images[i] : ZarnBitmap(QString::fromLatin1(kKindPictures[i]));
    viewport()->update();
}

QImage TAutoCompletionListBox::KindImage(int kind) const
{
    const int i = PictureOfKind(kind);
    return i >= 0 ? m_images[i] : QImage();
}

TColor TAutoCompletionListBox::KindColor(int kind) const
{
    return kind >= 0 && kind < 7 ? m_colors[kind] : m_colors[0];
}

void TAutoCompletionListBox::SetEntries(const TCompletionEntries& entries)
{
    m_entries = entries;
    const QFontMetrics fm(font());
    m_kindWidth = 0;
    for (const TCompletionEntry& e : m_entries) {
        const QString kind = CompletionKindWord(e.Text);
        if (!kind.isEmpty())
            m_kindWidth = std::max(m_kindWidth, fm.horizontalAdvance(kind + QLatin1Char(' ')));
    }
    clear();
    for (const TCompletionEntry& e : m_entries)
        addItem(e.Text);
    if (count() > 0)
        setCurrentRow(0);
}

TCompletionEntry TAutoCompletionListBox::Selected() const
{
    const int row = currentRow();
    return row >= 0 && row < int(m_entries.size()) ? m_entries[size_t(row)] : TCompletionEntry{};
}

int TAutoCompletionListBox::NeededWidth() const
{
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(font()), bm(bold);
    int widest = 0;
    for (const TCompletionEntry& e : m_entries) {
        const EntryParts parts = PartsOf(e.Text);
        widest = std::max(widest, bm.horizontalAdvance(parts.Name) + fm.horizontalAdvance(parts.Params));
    }
    return m_kindWidth + widest + (m_showImages ? 20 : 0) + 8 + verticalScrollBar()->sizeHint().width();
}

// ---------------------------------------------------------------------------------------------
// the popup

TZedAutoform::TZedAutoform(QWidget* owner) : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("_fa"));
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    m_list = new TAutoCompletionListBox(this);
    layout->addWidget(m_list);
    // The sizing frame of a tool window.
    layout->addWidget(new QSizeGrip(this), 0, Qt::AlignBottom | Qt::AlignRight);
    hide();
}

void TZedAutoform::closeEvent(QCloseEvent* e)
{
    e->ignore();
    hide();
}

void TZedAutoform::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    // A popup is hidden by the toolkit when the user clicks elsewhere: that cancels.
    if (!m_closing && OnDeactivate) {
        m_closing = true;
        OnDeactivate();
        m_closing = false;
    }
}

// ---------------------------------------------------------------------------------------------
// the hint window

TZedHintForm::TZedHintForm(TZedCustomMemo* memo)
    : QWidget(memo, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_memo(memo)
{
    setObjectName(QStringLiteral("_hf"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void TZedHintForm::SetColors(TColor text, TColor back)
{
    m_text = text;
    m_back = back;
    update();
}

QSize TZedHintForm::NeededSize() const
{
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(font()), bm(bold);
    const int w = fm.horizontalAdvance(m_parts.Before + m_parts.After) + bm.horizontalAdvance(m_parts.Current) + 6;
    return {w, fm.boundingRect(QStringLiteral("h,g_`")).height() + 4};
}

void TZedHintForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), ToQColor(m_back, &pal));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(font()), bm(bold);
    p.setPen(ToQColor(m_text, &pal));
    int x = 3;
    const int base = 2 + fm.ascent();
    p.setFont(font());
    p.drawText(x, base, m_parts.Before);
    x += fm.horizontalAdvance(m_parts.Before);
    p.setFont(bold);
    p.drawText(x, base, m_parts.Current);
    x += bm.horizontalAdvance(m_parts.Current);
    p.setFont(font());
    p.drawText(x, base, m_parts.After);
}

void TZedHintForm::mousePressEvent(QMouseEvent*)
{
    if (m_memo)
        m_memo->setFocus(Qt::MouseFocusReason);
}

void TZedHintForm::closeEvent(QCloseEvent* e)
{
    e->ignore();
    hide();
}

// ---------------------------------------------------------------------------------------------
// the memo's completion

TAutoCompletionListBox* TZedCustomMemo::CompletionList() const
{
    return m_autoform ? m_autoform->List() : nullptr;
}

void TZedCustomMemo::EnsureCompletionWindows()
{
    if (m_autoform)
        return;
    m_autoform = new TZedAutoform(this);
    m_autoform->OnDeactivate = [this] {
        if (OnCancelAutoCompletion)
            OnCancelAutoCompletion();
        m_caretOn = true;
        viewport()->update();
    };
    m_autoform->List()->installEventFilter(this);
    m_autoform->List()->viewport()->installEventFilter(this);
    m_hintForm = new TZedHintForm(this);
}

void TZedCustomMemo::SetAutoCompletionListImages(tk::TImageList* images)
{
    if (m_completionImages)
        m_completionImages->RemoveFreeNotification(this);
    m_completionImages = images;
    QList<QImage> pictures;
    if (images) {
        images->FreeNotification(this, [this](tk::TFreeNotifier*) {
            m_completionImages = nullptr;
            if (CompletionList())
                CompletionList()->SetKindImages({});
        });
        for (int i = 0; i < std::min(5, images->Count()); ++i)
            pictures << images->Image(i);
    }
    EnsureCompletionWindows();
    CompletionList()->SetKindImages(pictures);
}

void TZedCustomMemo::SetAutoHintParameterDelay(int ms)
{
    m_hintDelay = ms;
    if (ms > 0)
        m_hintTimer.setInterval(ms);
}

void TZedCustomMemo::SetAutoHintParameters(TAutoHintParameters mode)
{
    m_hintMode = mode;
    HideParameterHint();
}

bool TZedCustomMemo::CompletionShowing() const
{
    return m_autoform && m_autoform->isVisible();
}

void TZedCustomMemo::StartCompletion(bool byTimer)
{
    const TZedCustomMemoStyler* styler = UseStyler() ? SyntaxStyles() : nullptr;
    if (!m_autoCompletion.Active || ReadOnly || !styler || styler->AutoCompletionList.isEmpty())
        return;
    const TZedWord ident = IdentifierAroundCaret();
    if (byTimer) {
        if (!m_autoCompletion.AutoDisplay || ident.Text.isEmpty())
            return;
        m_completionByDot = true;
        m_completionStart = Caret();
    } else {
        m_completionByDot = ident.Text.contains(QLatin1Char('.'));
        if (m_completionByDot) {
            const QString s = LineText(CaretLine());
            int a = std::min<int>(CaretCol(), s.length());
            while (a > 0 && !IsTokenDelimiter(s[a - 1]))
                --a;
            m_completionStart = TZedPos{a, CaretLine()};
        }
    }
    const QString token = ident.Text.toUpper();
    bool show = true;
    if (OnBeforeAutoCompletion)
        OnBeforeAutoCompletion(token, show);
    if (!show)
        return;
    TCompletionEntries entries = EntriesForToken(CompletionEntriesOf(styler->AutoCompletionList), token);
    if (OnGetAutoCompletionList) {
        QStringList list;
        for (const TCompletionEntry& e : entries)
            list << e.Text;
        OnGetAutoCompletionList(token, list);
        entries = CompletionEntriesOf(list);
    }
    if (entries.empty())
        return;
    m_completionEntries = entries;

    EnsureCompletionWindows();
    TAutoCompletionListBox* list = CompletionList();
    list->SetLook(m_autoCompletion);
    list->SetEntries(entries);
    const QPoint origin = viewport()->mapToGlobal(QPoint(0, 0));
    const int gutter = m_gutter.Visible() ? m_gutter.GutterWidth() : 0;
    const int x = origin.x() + (CaretCol() - LeftColumn()) * m_cellWidth + gutter;
    const int y = origin.y() + (CaretLine() - TopLine() + 1) * m_cellHeight + 2;
    const int width = m_autoCompletion.SizeDropDown ? list->NeededWidth() : m_autoCompletion.Width;
    m_autoform->setGeometry(x, y, width, m_autoCompletion.Height);
    if (OnStartAutoCompletion)
        OnStartAutoCompletion();
    m_autoform->show();
    list->setFocus(Qt::PopupFocusReason);
    if (m_completionByDot)
        FilterCompletion(CompletionFilterWord());
}

QString TZedCustomMemo::CompletionFilterWord() const
{
    return m_completionByDot ? TokenAt(m_completionStart).Text : IdentifierAroundCaret().Text;
}

void TZedCustomMemo::FilterCompletion(const QString& word)
{
    if (TAutoCompletionListBox* list = CompletionList())
        list->SetEntries(FilterEntries(m_completionEntries, word));
}

void TZedCustomMemo::CloseCompletion()
{
    if (m_autoform) {
        auto deactivate = std::move(m_autoform->OnDeactivate);
        m_autoform->hide();
        m_autoform->OnDeactivate = std::move(deactivate);
    }
    setFocus(Qt::PopupFocusReason);
    m_caretOn = true;
    viewport()->update();
}

void TZedCustomMemo::CancelCompletion()
{
    if (!CompletionShowing())
        return;
    if (OnCancelAutoCompletion)
        OnCancelAutoCompletion();
    CloseCompletion();
}

void TZedCustomMemo::AcceptCompletion(bool byMouse)
{
    const TCompletionEntry selected = CompletionList() ? CompletionList()->Selected() : TCompletionEntry{};
    if (selected.Text.isEmpty()) {
        CloseCompletion();
        return;
    }
    QString entry = selected.Text;
    if (OnInsertAutoCompletionEntry)
        OnInsertAutoCompletionEntry(entry);
    bool parens = false;
    QString text = entry == selected.Text ? AcceptedEntryText(entry, &parens) : entry;
    if (byMouse && parens) {
        text.chop(2);
        parens = false;
    }
    const int line = CaretLine();
    TZedPos from, to;
    if (!m_completionByDot || entry.contains(QLatin1Char('.'))) {
        const TZedWord w = IdentifierAroundCaret();
        from = TZedPos{w.Col, line};
        to = TZedPos{w.Col + int(w.Text.length()), line};
    } else {
        // The typed part behind the start point (never text after it).
        from = m_completionStart;
        to = TZedPos{from.Col + int(TokenAt(from).Text.length()), from.Line};
    }
    if (OnAutoCompletion)
        OnAutoCompletion();
    SetCaret(to);
    if (from != to)
        SetSelection(from, to);
    else
        ClearSelection();
    InsertText(text);
    CloseCompletion();
    if (parens) {
        SetCaretCol(CaretCol() - 1);
        ShowParameterHint();
    }
}

bool TZedCustomMemo::CompletionKeyDown(QKeyEvent* e)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    switch (key) {
    case Qt::Key_Backspace: {
        if (!ReadOnly)
            Backspace();
        const QString word = CompletionFilterWord();
        if (m_completionByDot && !IdentifierAroundCaret().Text.contains(QLatin1Char('.')))
            CloseCompletion();
        else
            FilterCompletion(word);
        viewport()->update();
        return true;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        CloseCompletion();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        AcceptCompletion(false);
        return true;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return false;  // the list moves its selection itself
    case Qt::Key_Delete:
        if (!ReadOnly)
            DeleteChar();
        viewport()->update();
        return true;
    default:
        break;
    }
    const QString text = e->text();
    const bool typed = !text.isEmpty() && !(mods & (Qt::ControlModifier | Qt::AltModifier))
                       && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
    if (typed) {
        for (QChar ch : text)
            TypeChar(ch);
        FilterCompletion(CompletionFilterWord());
        viewport()->update();
        return true;
    }
    CancelCompletion();
    return true;
}

// ---------------------------------------------------------------------------------------------
// the memo's parameter hint

void TZedCustomMemo::ShowParameterHint()
{
    const TZedCustomMemoStyler* styler = UseStyler() ? SyntaxStyles() : nullptr;
    if (!styler || CaretLine() < TopLine() || CaretLine() > TopLine() + VisibleRows())
        return;
    const THintParameter& hp = styler->HintParameter;
    const THintScan scan = ScanParameterHint(LineText(CaretLine()), CaretCol(), hp, CaseSensitive());
    QString text;
    bool handled = false;
    if (scan.Found && OnGetParameterHint)
        OnGetParameterHint(scan.Name, text, handled);
    if (scan.Found && !handled)
        text = FindParameterText(hp.Parameters, scan.Name, CaseSensitive());
    if (text.isEmpty()) {
        HideParameterHint();
        return;
    }
    EnsureCompletionWindows();
    m_hintForm->setFont(m_font);
    m_hintForm->SetParts(SplitParameterHint(text, scan.Parameter, hp));
    m_hintForm->SetColors(hp.TextColor, hp.BkColor);
    const QPoint origin = viewport()->mapToGlobal(QPoint(0, 0));
    const int gutter = m_gutter.Visible() ? m_gutter.GutterWidth() : 0;
    const int x = origin.x() + gutter + (CaretCol() - LeftColumn()) * m_cellWidth;
    const int row = CaretLine() - TopLine() + (AutoHintParameterPosition == hpBelowCode ? 1 : -1);
    const int y = origin.y() + row * m_cellHeight + 2;
    m_hintForm->setGeometry(QRect(QPoint(x, y), m_hintForm->NeededSize()));
    m_hintForm->show();
    m_hintLine = CaretLine();
    m_hintTimer.start();
}

void TZedCustomMemo::HideParameterHint()
{
    if (m_hintForm)
        m_hintForm->hide();
    m_hintTimer.stop();
}

// ---------------------------------------------------------------------------------------------
// the memo's window events for the typing aids

bool TZedCustomMemo::eventFilter(QObject* watched, QEvent* e)
{
    TAutoCompletionListBox* list = CompletionList();
    if (list && watched == list && e->type() == QEvent::KeyPress)
        return CompletionKeyDown(static_cast<QKeyEvent*>(e));
    if (list && watched == list->viewport() && e->type() == QEvent::MouseButtonRelease) {
        if (list->itemAt(static_cast<QMouseEvent*>(e)->position().toPoint()))
            AcceptCompletion(true);
        return false;
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

bool TZedCustomMemo::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        const TZedPos cell = CellAt(he->pos());
        auto offer = [&](const auto& handler, const QString& value) {
            QString hint = value;
            bool show = true;
            if (!value.isEmpty())
                handler(he->pos().x(), he->pos().y(), value, hint, show);
            if (show && !value.isEmpty())
                QToolTip::showText(he->globalPos(), hint, viewport());
            else
                QToolTip::hideText();
        };
        if (OnHintForWord)
            offer(OnHintForWord, WordAt(cell).Text);
        else if (OnHintForToken)
            offer(OnHintForToken, TokenAt(cell).Text);
        else if (!toolTip().isEmpty())
            QToolTip::showText(he->globalPos(), toolTip(), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}
