#include "htmleditor/memo/ZedStyler.h"

#include <QChildEvent>
#include <QPointer>
#include <algorithm>

#include "htmleditor/memo/ZedMemoModel.h"

#include <algorithm>

// --- TElementStyle ---

TElementStyle::TElementStyle(TElementStyles* /*owner*/)
    : BGColor(gfx::clWhite)
{
}

void TElementStyle::Assign(const TElementStyle& other)
{
    KeyWords = other.KeyWords;
    Font = other.Font;
    BGColor = other.BGColor;
    Info = other.Info;
    StyleType = other.StyleType;
    StyleNumber = other.StyleNumber;
    BracketStart = other.BracketStart;
    BracketEnd = other.BracketEnd;
    Symbols = other.Symbols;
}

bool TElementStyle::HasKeyword(const QString& word) const
{
    return std::binary_search(KeyWords.cbegin(), KeyWords.cend(), word);
}

// --- TElementStyles ---

TElementStyle* TElementStyles::Add()
{
    m_items.push_back(std::make_unique<TElementStyle>(this));
    return m_items.back().get();
}

void TElementStyles::Delete(int i)
{
    if (i < 0 || i >= Count())
        return;
    m_items.erase(m_items.begin() + i);
    Modified = true;
}

void TElementStyles::Clear()
{
    if (!m_items.empty())
        Modified = true;
    m_items.clear();
}

bool TElementStyles::IsDelimiter(QChar ch) const
{
    for (const auto& st : m_items) {
        if (st->StyleType == stSymbol && st->Symbols.contains(ch))
            return true;
        if (st->StyleType == stBracket && (st->BracketStart == ch || st->BracketEnd == ch) && !ch.isNull())
            return true;
    }
    return false;
}

// --- TZedCustomMemoStyler ---

TZedCustomMemoStyler::TZedCustomMemoStyler(QObject* owner) : QObject(owner) {}

TZedCustomMemoStyler::~TZedCustomMemoStyler() = default;

void TZedCustomMemoStyler::SetCharStyle(int index, const TCharStyle& style)
{
    if (index == 1)
        CommentStyle = style;
    else if (index == 2)
        NumberStyle = style;
}

// --- TZedWebMemoStyler ---

namespace {

QStringList CommaText(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(','));
}

}  // namespace

TZedWebMemoStyler::TZedWebMemoStyler(QObject* owner) : TZedCustomMemoStyler(owner)
{
    m_version = QStringLiteral("1.0");
    Description = QStringLiteral("Web pages");
    DefaultExtension = QStringLiteral(".html");
    StylerName = QStringLiteral("HTML document");
    Extensions = QStringLiteral("html;htm");
    Filter = QStringLiteral("HTML Document (*.htm,*.html)|*.htm;*.html");
    LineComment = QStringLiteral("//");
    MultiCommentLeft = QStringLiteral("<!--");
    MultiCommentRight = QStringLiteral("-->");
    CommentStyle = TCharStyle{gfx::clSilver, gfx::clWhite, fsItalic};
    NumberStyle = TCharStyle{gfx::clNavy, gfx::clWhite, fsBold};
    BlockStart = QStringLiteral("{");
    BlockEnd = QStringLiteral("}");
    HintParameter.Parameters = QStringList{QStringLiteral("alert(message)"), QStringLiteral("confirm(message)"),
                                           QStringLiteral("prompt(message,defaultvalue)")};
    AutoCompletionList = QStringList{QStringLiteral("alert"), QStringLiteral("confirm"), QStringLiteral("prompt")};

    TElementStyle* st = AllStyles.Add();
    st->Info = QStringLiteral("Script Standard Default");
    st->StyleType = stKeyword;
    st->Font.Color = 0xFF00FF;
    st->Font.Style = fsBold;
    st->KeyWords = CommaText("SCRIPT,OBJECT,FOR,IF,THEN,THIS,DO,WHILE,BREAK,{,},(,),SWITCH,ELSE,FUNCTION,"
                             "WINDOW,DOCUMENT,;,RETURN,STYLE,VAR,WINDOW,LOCATION");

    st = AllStyles.Add();
    st->Info = QStringLiteral("HTML Standard Default");
    st->StyleType = stKeyword;
    st->Font.Color = 0xFF00FF;
    st->Font.Style = fsBold;
    st->KeyWords = CommaText("A,B,I,U,P,BASE,BLINK,LINK,FONT,STRONG,IMG,BASEFONT,BGSOUND,DD,DEL,DFN,DIR,DIV,DL,"
                             "DT,COL,BR,HR,COLGROUP,TABLE,MULTICOL,TBODY,TD,TEXTAREA,TFOOT,TH,THEAD,TR,TT,"
                             "CAPTION,CENTER,CITE,CODE,BLOCKQUOTE,FORM,FRAME,IFRAME,ILAYER,FRAMESET,BUTTON,"
                             "LABEL,LAYER,OPTION");

    st = AllStyles.Add();
    st->Info = QStringLiteral("Single Quote");
    st->StyleType = stBracket;
    st->Font.Color = 0x008000;
    st->BracketStart = st->BracketEnd = QLatin1Char('\'');

    st = AllStyles.Add();
    st->Info = QStringLiteral("Double Quote");
    st->StyleType = stBracket;
    st->Font.Color = 0x808000;
    st->BracketStart = st->BracketEnd = QLatin1Char('"');

    st = AllStyles.Add();
    st->Info = QStringLiteral("Symbols Delimiters");
    st->StyleType = stSymbol;
    st->Font.Color = 0x808000;
    st->Symbols = QStringLiteral(" ,;:.()[]=-*/^%<>#\r\n");

    st = AllStyles.Add();
    st->Info = QStringLiteral("JavaScript Functions");
    st->StyleType = stKeyword;
    st->Font.Color = 0x008000;
    st->Font.Style = fsBold;
    st->KeyWords = CommaText("alert,confirm,prompt,indexOf,select,write,focus");
}

// ---------------------------------------------------------------------------------------------
// TZedStylerList

TZedStylerList::TZedStylerList(QObject* owner) : QObject(nullptr), m_owner(owner)
{
    if (!owner)
        return;
    for (QObject* child : owner->children())
        Consider(child);
    owner->installEventFilter(this);
}

bool TZedStylerList::Contains(const TZedCustomMemoStyler* styler) const
{
    return std::find(m_items.begin(), m_items.end(), styler) != m_items.end();
}

void TZedStylerList::Consider(QObject* child)
{
    if (child->metaObject()->superClass() != &TZedCustomMemoStyler::staticMetaObject)
        return;
    auto* styler = static_cast<TZedCustomMemoStyler*>(child);
    if (!Contains(styler))
        m_items.push_back(styler);
}

bool TZedStylerList::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_owner && (e->type() == QEvent::ChildAdded || e->type() == QEvent::ChildRemoved)) {
        QObject* child = static_cast<QChildEvent*>(e)->child();
        if (e->type() == QEvent::ChildRemoved) {
            m_items.erase(std::remove(m_items.begin(), m_items.end(), child), m_items.end());
        } else {
            // The child's class is known only once its constructor has run.
            QPointer<QObject> guard(child);
            QMetaObject::invokeMethod(
                this,
                [this, guard] {
                    if (guard && guard->parent() == m_owner)
                        Consider(guard);
                },
                Qt::QueuedConnection);
        }
    }
    return false;
}

TZedThemeColors ThemeGutterColors(const QString& schemeName)
{
    if (schemeName == QLatin1String("NormalColor"))
        return {0xE0A57D, 0xFCE1CB};
    if (schemeName == QLatin1String("HomeStead"))
        return {0x8CC0B1, 0xCFF0EA};
    if (schemeName == QLatin1String("Metallic"))
        return {0xB39698, 0xECE2E1};
    return {gfx::clWhite, gfx::clBtnFace};
}
