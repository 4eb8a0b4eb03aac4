#pragma once
// TORVHTMLEditor: the editor of an HTML mail body. A formatting tool bar along the top, a web view
// that shows the document in design (editing) mode, and a hidden source memo that takes the web
// view's place while the user edits the HTML source. Formatting is done by the document's own
// editing commands; the editor moves HTML in and out of the document, switches the source view
// and reports changes.
#include "platform/graphics/Graphics.h"

#include <QIcon>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QTemporaryFile;
class QToolBar;
class QToolButton;
class TZedMemo;
class TZedWebMemoStyler;
namespace htmleditor {
class TWebView;
}

enum TORVHTMLEditorButton : unsigned {
    ebNew, ebLoad, ebSave, ebCopy, ebPaste, ebCut, ebBold, ebItalic, ebUnder, ebFont, ebHeight, ebFColor,
    ebLeft, ebCenter, ebRight, ebUnorderedList, ebOrderedList, ebInsertLink, ebInsertImage
};
using TORVHTMLEditorButtons = unsigned; // bit n = member n
constexpr TORVHTMLEditorButtons kAllEditorButtons = (1u << 19) - 1;
constexpr TORVHTMLEditorButtons EditorButton(TORVHTMLEditorButton b) { return 1u << unsigned(b); }

class TORVHTMLEditor : public QWidget {
    Q_OBJECT
public:
    explicit TORVHTMLEditor(QWidget* parent = nullptr);
    ~TORVHTMLEditor() override;

    // ---- properties (set before the control is first shown or CreateWnd runs)
    QStringList HTMLHeader;
    bool SecureFontsOnly = false;
    gfx::TColor SyntaxColor = gfx::clBlack;
    bool ShowFileOperations = false;
    bool AskBeforeSave = false;
    bool ShowSourceCode = false;
    TORVHTMLEditorButtons ToolBarButtons = kAllEditorButtons;

    // ---- events
    std::function<void()> OnChange;
    std::function<void()> OnSave;

    // ---- dialogs; replaceable (tests, embedding). Empty text / false for Cancel.
    std::function<void(const QString& text)> ShowError;         // error box with OK
    std::function<bool(const QString& text)> AskOverwrite;      // OK / Cancel
    std::function<QString()> AskOpenFile;
    std::function<QString()> AskSaveFile;
    std::function<QString()> AskLinkUrl;
    std::function<QString()> AskImageFile;
    std::function<bool(QColor& color)> AskColor;

    // Builds the tool bar and the first document; runs once, at the latest when first shown.
    void CreateWnd();

    // The document's HTML as one string. The list belongs to the editor. With the source view
    // open, the memo's text is applied to the document first.
    QStringList& GetHTML();
    // Replaces the document (append false) or adds the text behind its content (append true).
    void SetHTML(const QString& text, bool append);
    void LoadFromFile(const QString& name);
    // Writes the document's HTML; false when nothing was written (Cancel, an error).
    bool SaveToFile(const QString& name);
    void New();
    // Inserts text (as text, not markup) at the caret, or at the end of the body when the
    // document has no caret; into the memo while the source view is open.
    void InsertAtCaret(const QString& text);

    void RefreshToolBar();
    void ToggleSourceView();
    bool SourceViewShown() const;

    // Creates the web view (and starts the web engine) unless it exists. Everything that needs
    // the document does this itself; until then a document set is kept and shown in the memo.
    void EnsureBrowser();
    bool BrowserCreated() const { return Browser != nullptr; }

    // ---- parts
    // The design view (a web view of the web-engine module); nullptr until it is first needed
    // (EnsureBrowser).
    QWidget* Browser = nullptr;
    QWidget* BrowserWidget() const { return Browser; }
    TZedMemo* Memo(); // the source memo, made on first need (EnsureMemo)
    QToolBar* ToolBar() const { return m_toolBar; } // nullptr until CreateWnd
    TZedWebMemoStyler* Styler() const { return m_styler.get(); } // nullptr until the memo exists

    enum class TItemKind { Button, Check, Divider, Combo };
    struct TToolItem {
        TItemKind Kind;
        QString Caption;   // the browser command of a button; empty for dividers and combos
        QString Hint;
        int ImageIndex = -1;
        QWidget* Widget = nullptr;
    };
    const std::vector<TToolItem>& ToolItems() const { return m_items; }
    // The item with the caption (a button), or nullptr.
    QToolButton* ToolButton(const QString& caption) const;
    QComboBox* FontNameCombo() const { return m_fontName; }
    QComboBox* FontSizeCombo() const { return m_fontSize; }
    // The button images, indices 0 to 17, by resource name "BUTTON_NEW" ... "BUTTON_VIEWSOURCE".
    static QStringList ImageNames();

    // Runs a script in the document and waits for its result (an invalid value after a timeout).
    QVariant RunScript(const QString& script, int timeoutMs = 10000);
    // A JavaScript string literal of the text.
    static QString JsString(const QString& text);
    // Incremented whenever RefreshToolBar has applied the document's state.
    int ToolBarRefreshCount() const { return m_refreshCount; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void DocumentChanged();
    void DoChange();
    void LoadDocument(const QString& html, const QUrl& baseUrl = QUrl());
    // Rewrites the document's relative picture references to absolute paths (resolved against
    // the document's base); true when one was changed.
    bool MakePictureSourcesAbsolute();
    void FormatCommand(const QString& command);
    void DialogCommand(const QString& command);
    void ForeColorClick();
    void FontComboSelect(QComboBox* combo, const QString& command);
    void ExecCommand(const QString& command, const QString& jsValue);
    void EnsureMemo();
    void SetMemoText(const QString& text);
    void ApplyMemoToDocument();
    void MemoKeyDown(int& key, Qt::KeyboardModifiers shift);
    QToolButton* AddButton(const QString& caption, int image, bool check, const QString& hint,
                           const std::function<void()>& click);
    void AddDivider();
    QIcon MakeImage(int index) const;

    htmleditor::TWebView* m_web = nullptr; // Browser's engine side
    QToolBar* m_toolBar = nullptr;
    TZedMemo* m_memo = nullptr;
    std::unique_ptr<TZedWebMemoStyler> m_styler;
    QStringList m_result;
    std::vector<TToolItem> m_items;
    std::vector<QIcon> m_images;
    QToolButton* m_sourceButton = nullptr;
    QComboBox* m_fontName = nullptr;
    QComboBox* m_fontSize = nullptr;
    std::unique_ptr<QTemporaryFile> m_largeDocument;
    std::optional<QString> m_pendingHtml; // the document set before the view existed
    QUrl m_pendingBase;                   // and the folder its relative pictures are in
    std::optional<QString> m_pendingMemoText; // the memo's text set before the memo existed
    bool m_created = false;
    bool m_hasDocument = false;
    bool m_settingMemo = false;
    int m_refreshCount = 0;
};
