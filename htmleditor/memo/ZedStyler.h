#pragma once
// Stylers: the rules by which the source memo colours its text (keywords, strings, symbols,
// comments, numbers), and the web styler for HTML source.
#include "platform/graphics/Graphics.h"

#include <QObject>
#include <QRect>
#include <QStringList>
#include <memory>
#include <vector>

class QPainter;
class TZedMemoModel;

using gfx::TColor;

// Font styles as bits.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

struct TCharStyle {
    TColor TextColor = gfx::clBlack;
    TColor BkColor = gfx::clNone;  // clNone: the memo background
    TFontStyles Style = 0;
};

// The parts of a font a style uses.
struct TZedFont {
    QString Name = QStringLiteral("Courier New");
    int Size = 8;
    TColor Color = gfx::clBlack;
    TFontStyles Style = 0;
};

enum TStyleType { stKeyword, stBracket, stSymbol };

// The parameter lists the memo shows as a hint while the caret stands inside a call.
class THintParameter {
public:
    TColor TextColor = gfx::clBlack;
    TColor BkColor = gfx::clInfoBk;
    QChar HintCharStart = QLatin1Char('(');
    QChar HintCharEnd = QLatin1Char(')');
    QChar HintCharDelimiter = QLatin1Char(';');
    QChar HintCharWriteDelimiter = QLatin1Char(',');
    // One line per function: its name followed by its parameter list in the hint characters.
    QStringList Parameters;
    void Assign(const THintParameter& other) { *this = other; }
};

class TElementStyles;

class TElementStyle {
public:
    explicit TElementStyle(TElementStyles* owner);
    QStringList KeyWords;
    TZedFont Font;
    TColor BGColor;  // clNone: the memo background
    QString Info;
    TStyleType StyleType = stKeyword;
    int StyleNumber = -1;
    QChar BracketStart;
    QChar BracketEnd;
    QString Symbols;
    QString DisplayName() const { return Info; }
    void Assign(const TElementStyle& other);
    // Finds a word in the prepared (sorted) keyword list.
    bool HasKeyword(const QString& word) const;
};

class TElementStyles {
public:
    explicit TElementStyles(QObject* owner) : m_owner(owner) {}
    TElementStyle* Add();
    void Delete(int i);
    void Clear();
    int Count() const { return int(m_items.size()); }
    TElementStyle* operator[](int i) const { return m_items[size_t(i)].get(); }
    TElementStyle* Items(int i) const { return m_items[size_t(i)].get(); }
    // True for a character listed by a symbol style or a bracket style's start or end character.
    bool IsDelimiter(QChar ch) const;
    bool Modified = false;
    TZedMemoModel* Memo = nullptr;
    QObject* Owner() const { return m_owner; }

private:
    QObject* m_owner;
    std::vector<std::unique_ptr<TElementStyle>> m_items;
};

class TZedCustomMemoStyler : public QObject {
    Q_OBJECT
public:
    explicit TZedCustomMemoStyler(QObject* owner = nullptr);
    ~TZedCustomMemoStyler() override;

    TElementStyles AllStyles{this};
    QString LineComment;
    QString MultiCommentLeft;
    QString MultiCommentRight;
    TCharStyle CommentStyle{gfx::clSilver, gfx::clWhite, fsItalic};
    TCharStyle NumberStyle{gfx::clNavy, gfx::clWhite, fsBold};
    QStringList AutoCompletionList;
    THintParameter HintParameter;
    QString NumberChars = QStringLiteral("+-.0123456789");
    QString HexIdentifier;
    QString BlockEnd;
    QString BlockStart;
    QString EscapeChar;
    bool CustomKeywordDraw = false;
    QString Filter;
    QString DefaultExtension;
    QString Extensions;
    QString Description;
    QString StylerName;
    QString Version() const { return m_version; }

    // Index 1 stores the comment style, 2 the number style.
    virtual void SetCharStyle(int index, const TCharStyle& style);
    // Draws a keyword itself when CustomKeywordDraw is set.
    virtual void DrawKeyword(QPainter* /*canvas*/, const QString& /*word*/, const QRect& /*rect*/) {}

protected:
    QString m_version;
};

class TZedWebMemoStyler : public TZedCustomMemoStyler {
    Q_OBJECT
public:
    explicit TZedWebMemoStyler(QObject* owner = nullptr);
};

// The stylers among the children of an owner: those whose class derives directly from the base
// styler. Children added or removed later are followed.
class TZedStylerList : public QObject {
    Q_OBJECT
public:
    explicit TZedStylerList(QObject* owner);
    int Count() const { return int(m_items.size()); }
    TZedCustomMemoStyler* Items(int i) const { return m_items[size_t(i)]; }
    bool Contains(const TZedCustomMemoStyler* styler) const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Consider(QObject* child);
    QObject* m_owner;
    std::vector<TZedCustomMemoStyler*> m_items;
};

// The gutter colours of a desktop colour scheme ("NormalColor", "HomeStead", "Metallic"; any
// other name is scheme 0: white to the button face).
struct TZedThemeColors {
    TColor GutterColor;
    TColor GutterColorTo;
};
TZedThemeColors ThemeGutterColors(const QString& schemeName);
