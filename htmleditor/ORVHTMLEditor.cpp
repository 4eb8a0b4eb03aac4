#include "htmleditor/ORVHTMLEditor.h"
#include "htmleditor/WebEngineStart.h"

#include "htmleditor/memo/ZedMemo.h"
#include "htmleditor/memo/ZedStyler.h"
#include "core/TextFile.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QInputDialog>
#include <QJsonArray>
#include <QLineEdit>
#include <QPointer>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QStyle>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>

namespace {

const QString kChangeNotice = QStringLiteral("qly:document-changed");
const QString kEmptyDocument = QStringLiteral("<HTML><HEAD></HEAD><BODY></BODY></HTML>");
// setHtml() carries the document in a data URL, which the engine limits to 2 MB.
constexpr qsizetype kSetHtmlLimit = 1500 * 1024;

const char* const kImageNames[18] = {"NEW", "LOAD", "SAVE", "COPY", "CUT", "PASTE", "BOLD", "ITALIC", "UNDERLINE",
                                     "FORECOLOR", "JUSTIFYLEFT", "JUSTIFYCENTER", "JUSTIFYRIGHT",
                                     "INSERTUNORDEREDLIST", "INSERTORDEREDLIST", "CREATELINK", "INSERTIMAGE",
                                     "VIEWSOURCE"};

} // namespace

TORVHTMLEditor::TORVHTMLEditor(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The tool bar comes with CreateWnd: a tool bar's extension button loads the style's icon,
    // and the first icon read makes Qt try every image format plugin, too much for a start.

    // The web view comes with the first need (EnsureBrowser): starting the web engine is the most
    // expensive part of a program start and the editor is often never shown. The source memo
    // comes when it is first needed too (EnsureMemo): its monospaced font is loaded then.
    resize(680, 400);

    ShowError = [this](const QString& text) { QMessageBox::critical(this, QString(), text, QMessageBox::Ok); };
    AskOverwrite = [this](const QString& text) {
        return QMessageBox::question(this, QStringLiteral("Bestätigung"), text, QMessageBox::Ok | QMessageBox::Cancel) ==
               QMessageBox::Ok;
    };
    AskOpenFile = [this] { return QFileDialog::getOpenFileName(this); };
    AskSaveFile = [this] {
        return QFileDialog::getSaveFileName(this, QString(), QString(), QStringLiteral("HTML Dateien (*.html)"));
    };
    AskLinkUrl = [this] {
        return QInputDialog::getText(this, QStringLiteral("Link einfügen/bearbeiten"), QStringLiteral("URL:"),
                                     QLineEdit::Normal, QStringLiteral("http://"));
    };
    AskImageFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Bild einfügen"), QString(),
                                            QStringLiteral("Bilder (*.png *.jpg *.jpeg *.gif *.bmp *.webp);;Alle Dateien (*)"));
    };
    AskColor = [this](QColor& color) {
        const QColor c = QColorDialog::getColor(color, this);
        if (!c.isValid())
            return false;
        color = c;
        return true;
    };
}

void TORVHTMLEditor::EnsureMemo()
{
    if (m_memo)
        return;
    m_styler = std::make_unique<TZedWebMemoStyler>();
    if (m_styler->AllStyles.Count() > 5) {
        m_styler->AllStyles[0]->Font.Color = 0xFF0000;
        m_styler->AllStyles[1]->Font.Color = 0xFF0000;
        QStringList& kw = m_styler->AllStyles[1]->KeyWords;
        kw << QStringLiteral("head") << QStringLiteral("body") << QStringLiteral("html") << QStringLiteral("title")
           << QStringLiteral("meta") << QStringLiteral("h1") << QStringLiteral("h2") << QStringLiteral("h3")
           << QStringLiteral("h4") << QStringLiteral("h5") << QStringLiteral("li") << QStringLiteral("ul")
           << QStringLiteral("ol") << QStringLiteral("input") << QStringLiteral("button");
        m_styler->AllStyles[2]->Font.Color = 0x008000;
        m_styler->AllStyles[3]->Font.Color = 0x008000;
        m_styler->AllStyles[4]->Font.Color = 0x808000;
        m_styler->AllStyles[5]->Font.Color = 0xFFFF00;
    }
    m_memo = new TZedMemo(this);
    m_memo->setObjectName(QStringLiteral("SourceMemo"));
    m_memo->setVisible(false);
    static_cast<QVBoxLayout*>(layout())->addWidget(m_memo, 1);
    m_memo->SetSyntaxStyles(m_styler.get());
    m_memo->OnKeyDown = [this](int& key, Qt::KeyboardModifiers shift) { MemoKeyDown(key, shift); };
    m_memo->OnChange = [this] {
        if (!m_settingMemo)
            DoChange();
    };
    if (m_pendingMemoText) {
        const QString text = *m_pendingMemoText;
        m_pendingMemoText.reset();
        SetMemoText(text);
    }
}

TZedMemo* TORVHTMLEditor::Memo()
{
    EnsureMemo();
    return m_memo;
}

TORVHTMLEditor::~TORVHTMLEditor()
{
    // The memo refers to the styler; it goes first.
    delete m_memo;
    m_memo = nullptr;
}

void TORVHTMLEditor::showEvent(QShowEvent* e)
{
    CreateWnd();
    QWidget::showEvent(e);
}

void TORVHTMLEditor::EnsureBrowser()
{
    if (Browser)
        return;
    // Key releases and clicks in the document come back as console notices; the view refuses
    // drops (a dropped file would replace the mail) and ignores link clicks.
    m_web = htmleditor::WebEngineModule().CreateEditorView(this, kChangeNotice, [this] { DocumentChanged(); });
    Browser = m_web->Widget();
    Browser->setObjectName(QStringLiteral("Browser"));
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->insertWidget(m_memo ? box->indexOf(m_memo) : box->count(), Browser, 1);
    Browser->setVisible(!(m_memo && m_memo->isVisibleTo(this)));
    if (m_pendingHtml) {
        const QString html = *m_pendingHtml;
        const QUrl base = m_pendingBase;
        m_pendingHtml.reset();
        m_pendingBase.clear();
        LoadDocument(html, base);
        if (!base.isEmpty() && MakePictureSourcesAbsolute())
            SetMemoText(RunScript(QStringLiteral("document.documentElement.outerHTML")).toString());
    }
}

QStringList TORVHTMLEditor::ImageNames()
{
    QStringList names;
    for (const char* n : kImageNames)
        names << QStringLiteral("BUTTON_") + QLatin1String(n);
    return names;
}

QIcon TORVHTMLEditor::MakeImage(int index) const
{
    // Plain drawn glyphs; the standard icons where the style has one.
    switch (index) {
    case 0: return style()->standardIcon(QStyle::SP_FileIcon);
    case 1: return style()->standardIcon(QStyle::SP_DialogOpenButton);
    case 2: return style()->standardIcon(QStyle::SP_DialogSaveButton);
    default: break;
    }
    static const char* const glyphs[18] = {"", "", "", "", "✂", "", "B", "I", "U", "A", "≡", "≡", "≡",
                                           "•", "1.", "", "▣", "</>"};
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(palette().color(QPalette::ButtonText));
    switch (index) {
    case 3: // copy: two sheets
        p.drawRect(2, 2, 8, 9);
        p.fillRect(6, 5, 8, 9, palette().color(QPalette::Base));
        p.drawRect(6, 5, 8, 9);
        return QIcon(pm);
    case 5: // paste: a board with a sheet
        p.drawRect(2, 3, 10, 11);
        p.drawRect(5, 1, 4, 3);
        p.fillRect(7, 7, 7, 8, palette().color(QPalette::Base));
        p.drawRect(7, 7, 7, 8);
        return QIcon(pm);
    case 15: // link: two rings
        p.setRenderHint(QPainter::Antialiasing);
        p.drawEllipse(1, 5, 8, 6);
        p.drawEllipse(7, 5, 8, 6);
        return QIcon(pm);
    default:
        break;
    }
    QFont f = font();
    f.setPixelSize(index == 17 ? 8 : 12);
    f.setBold(index == 6 || index == 17);
    f.setItalic(index == 7);
    f.setUnderline(index == 8);
    p.setFont(f);
    p.setPen(index == 9 ? QColor(Qt::red) : palette().color(QPalette::ButtonText));
    Qt::Alignment align = Qt::AlignCenter;
    if (index == 10)
        align = Qt::AlignLeft | Qt::AlignVCenter;
    else if (index == 12)
        align = Qt::AlignRight | Qt::AlignVCenter;
    p.drawText(pm.rect(), int(align), QString::fromUtf8(glyphs[index]));
    return QIcon(pm);
}

QToolButton* TORVHTMLEditor::AddButton(const QString& caption, int image, bool check, const QString& hint,
                                       const std::function<void()>& click)
{
    auto* b = new QToolButton(m_toolBar);
    b->setObjectName(QStringLiteral("ToolButton") + caption);
    b->setText(caption);
    b->setToolTip(hint);
    b->setCheckable(check);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    if (image >= 0 && image < int(m_images.size()))
        b->setIcon(m_images[size_t(image)]);
    connect(b, &QToolButton::clicked, this, [click] { click(); });
    m_toolBar->addWidget(b);
    m_items.push_back({check ? TItemKind::Check : TItemKind::Button, caption, hint, image, b});
    return b;
}

void TORVHTMLEditor::AddDivider()
{
    auto* d = new QFrame(m_toolBar);
    d->setObjectName(QStringLiteral("Divider"));
    d->setFrameShape(QFrame::VLine);
    d->setFrameShadow(QFrame::Sunken);
    d->setFixedWidth(10);
    m_toolBar->addWidget(d);
    m_items.push_back({TItemKind::Divider, QString(), QString(), -1, d});
}

QToolButton* TORVHTMLEditor::ToolButton(const QString& caption) const
{
    for (const TToolItem& it : m_items)
        if ((it.Kind == TItemKind::Button || it.Kind == TItemKind::Check) && it.Caption == caption)
            return static_cast<QToolButton*>(it.Widget);
    return nullptr;
}

void TORVHTMLEditor::CreateWnd()
{
    if (m_created)
        return;
    m_created = true;
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_toolBar);
    for (int i = 0; i < 18; ++i)
        m_images.push_back(MakeImage(i));
    auto has = [this](TORVHTMLEditorButton b) { return (ToolBarButtons & EditorButton(b)) != 0; };
    auto fmt = [this](const QString& cmd) { return [this, cmd] { FormatCommand(cmd); }; };

    if (ShowFileOperations) {
        bool any = false;
        if (has(ebNew)) {
            AddButton(QStringLiteral("new"), 0, false, QStringLiteral("Eine neue HTML Mail erstellen."), [this] { New(); });
            any = true;
        }
        if (has(ebLoad)) {
            AddButton(QStringLiteral("load"), 1, false, QStringLiteral("Eine bestehende HTML Mail laden."), [this] {
                const QString name = AskOpenFile ? AskOpenFile() : QString();
                if (!name.isEmpty())
                    LoadFromFile(name);
            });
            any = true;
        }
        if (has(ebSave)) {
            AddButton(QStringLiteral("SaveAs"), 2, false, QStringLiteral("Die aktuelle Mail speichern."), [this] {
                if (OnSave)
                    OnSave();
                else
                    SaveToFile(QString());
            });
            any = true;
        }
        if (any)
            AddDivider();
    }
    if (has(ebCopy))
        AddButton(QStringLiteral("copy"), 3, false, QStringLiteral("Kopieren"), fmt(QStringLiteral("copy")));
    if (has(ebCut))
        AddButton(QStringLiteral("cut"), 4, false, QStringLiteral("Ausschneiden"), fmt(QStringLiteral("cut")));
    if (has(ebPaste))
        AddButton(QStringLiteral("paste"), 5, false, QStringLiteral("Einfügen"), fmt(QStringLiteral("paste")));
    if (has(ebCopy) || has(ebCut) || has(ebPaste))
        AddDivider();
    if (has(ebBold))
        AddButton(QStringLiteral("bold"), 6, true, QStringLiteral("Fett"), fmt(QStringLiteral("bold")));
    if (has(ebItalic))
        AddButton(QStringLiteral("italic"), 7, true, QStringLiteral("Kursiv"), fmt(QStringLiteral("italic")));
    if (has(ebUnder))
        AddButton(QStringLiteral("underline"), 8, true, QStringLiteral("Unterstrichen"), fmt(QStringLiteral("underline")));
    if (has(ebBold) || has(ebItalic) || has(ebUnder))
        AddDivider();
    if (has(ebFont)) {
        m_fontName = new QComboBox(m_toolBar);
        m_fontName->setObjectName(QStringLiteral("ComboBoxFontName"));
        m_fontName->setToolTip(QStringLiteral("Schriftart"));
        if (SecureFontsOnly)
            m_fontName->addItem(QStringLiteral("Arial"));
        else
            m_fontName->addItems(QFontDatabase::families());
        m_fontName->addItem(QStringLiteral("Helvetica"));
        m_fontName->addItem(QStringLiteral("Times New Roman"));
        connect(m_fontName, &QComboBox::activated, this,
                [this] { FontComboSelect(m_fontName, QStringLiteral("FontName")); });
        m_toolBar->addWidget(m_fontName);
        m_items.push_back({TItemKind::Combo, QString(), m_fontName->toolTip(), -1, m_fontName});
    }
    if (has(ebHeight)) {
        m_fontSize = new QComboBox(m_toolBar);
        m_fontSize->setObjectName(QStringLiteral("ComboBoxFontSize"));
        m_fontSize->setToolTip(QStringLiteral("Schriftgröße"));
        for (int i = 1; i <= 7; ++i)
            m_fontSize->addItem(QString::number(i));
        m_fontSize->setFixedWidth(40);
        connect(m_fontSize, &QComboBox::activated, this,
                [this] { FontComboSelect(m_fontSize, QStringLiteral("FontSize")); });
        m_toolBar->addWidget(m_fontSize);
        m_items.push_back({TItemKind::Combo, QString(), m_fontSize->toolTip(), -1, m_fontSize});
    }
    if (has(ebFColor))
        AddButton(QStringLiteral("ForeColor"), 9, false, QStringLiteral("Schriftfarbe"), [this] { ForeColorClick(); });
    if (has(ebFont) || has(ebHeight) || has(ebFColor))
        AddDivider();
    if (has(ebLeft))
        AddButton(QStringLiteral("JustifyLeft"), 10, true, QStringLiteral("Linksbündig"), fmt(QStringLiteral("JustifyLeft")));
    if (has(ebCenter))
        AddButton(QStringLiteral("JustifyCenter"), 11, true, QStringLiteral("Zentriert"), fmt(QStringLiteral("JustifyCenter")));
    if (has(ebRight))
        AddButton(QStringLiteral("JustifyRight"), 12, true, QStringLiteral("Rechtsbündig"), fmt(QStringLiteral("JustifyRight")));
    if (has(ebLeft) || has(ebCenter) || has(ebRight))
        AddDivider();
    if (has(ebUnorderedList))
        AddButton(QStringLiteral("InsertUnorderedList"), 13, true, QStringLiteral("Aufzählungszeichen"),
                  fmt(QStringLiteral("InsertUnorderedList")));
    if (has(ebOrderedList))
        AddButton(QStringLiteral("InsertOrderedList"), 14, true, QStringLiteral("Nummerierung"),
                  fmt(QStringLiteral("InsertOrderedList")));
    if (has(ebUnorderedList) || has(ebOrderedList))
        AddDivider();
    if (has(ebInsertLink)) {
        AddButton(QStringLiteral("CreateLink"), 15, false, QStringLiteral("Link einfügen/bearbeiten"),
                  [this] { DialogCommand(QStringLiteral("CreateLink")); });
        AddDivider();
    }
    if (has(ebInsertImage))
        AddButton(QStringLiteral("InsertImage"), 16, false, QStringLiteral("Bid einfügen/bearbeiten"),
                  [this] { DialogCommand(QStringLiteral("InsertImage")); });
    if (ShowSourceCode) {
        AddDivider();
        m_sourceButton = AddButton(QStringLiteral("HTMLCode"), 17, true, QStringLiteral("Quelltext"), [this] { ToggleSourceView(); });
    }
    EnsureBrowser();
    if (!m_hasDocument)
        New();
}

// ---- document in and out --------------------------------------------------------------------

QString TORVHTMLEditor::JsString(const QString& text)
{
    QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QVariant TORVHTMLEditor::RunScript(const QString& script, int timeoutMs)
{
    struct State {
        QVariant value;
        bool done = false;
        QEventLoop loop;
    };
    EnsureBrowser();
    auto state = std::make_shared<State>();
    std::weak_ptr<State> weak = state;
    // The program's own scripts run in the application's world: the document's scripts are off.
    m_web->RunJavaScript(script, true, [weak](const QVariant& v) {
        if (auto s = weak.lock()) {
            s->value = v;
            s->done = true;
            s->loop.quit();
        }
    });
    if (!state->done) {
        QTimer::singleShot(timeoutMs, &state->loop, &QEventLoop::quit);
        state->loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return state->value;
}

void TORVHTMLEditor::LoadDocument(const QString& html, const QUrl& baseUrl)
{
    if (!Browser) {
        // Kept until the view exists; the memo already shows it.
        m_pendingHtml = html;
        m_pendingBase = baseUrl;
        return;
    }
    auto loaded = std::make_shared<std::optional<bool>>();
    QEventLoop loop;
    m_web->OnLoadFinished = [loaded, &loop](bool ok) {
        *loaded = ok;
        loop.quit();
    };
    const htmleditor::TLoadWaitEnd waitEnd{m_web};
    // Pictures (absolute paths, or relative to the loaded file's folder) come through the
    // picture scheme, the only local files the view reads.
    const QUrl base = baseUrl.isEmpty() ? htmleditor::PictureUrl(QStringLiteral("/")) : baseUrl;
    if (html.size() > kSetHtmlLimit / 2 && html.toUtf8().size() > kSetHtmlLimit) {
        // Too large for setHtml(): through a temporary file.
        auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/qly_html_XXXXXX.html"));
        if (!file->open() || file->write(html.toUtf8()) < 0 || !file->flush())
            throw std::runtime_error("Das Dokument kann nicht geladen werden.");
        file->close();
        m_web->Load(QUrl::fromLocalFile(file->fileName()));
        m_largeDocument = std::move(file);
    } else {
        m_web->SetHtml(html, base);
        m_largeDocument.reset();
    }
    QElapsedTimer t;
    t.start();
    // The engine's first start can take a while on a busy machine.
    while (!loaded->has_value() && t.elapsed() < 30000) {
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!loaded->has_value())
        throw std::runtime_error("Could not assign \"about:blank\".");
    m_hasDocument = true;
    RunScript(QStringLiteral("document.designMode = 'on';"
                             "document.addEventListener('keyup', function () { console.log(%1); });"
                             "document.addEventListener('click', function () { console.log(%1); });")
                  .arg(JsString(kChangeNotice)));
}

bool TORVHTMLEditor::MakePictureSourcesAbsolute()
{
    // Only plain relative references: URLs (with a scheme), absolute and protocol-relative
    // paths stay as written.
    const QVariant changed = RunScript(QStringLiteral(
        "(function () { var n = 0;"
        " function fix(e, a) { var v = e.getAttribute(a); if (!v || /^[A-Za-z][A-Za-z0-9+.-]*:/.test(v) || v[0] === '/')"
        "  return; var u = new URL(v, document.baseURI); if (u.protocol !== %1) return;"
        "  e.setAttribute(a, decodeURIComponent(u.pathname)); ++n; }"
        " document.querySelectorAll('img[src]').forEach(function (e) { fix(e, 'src'); });"
        " document.querySelectorAll('[background]').forEach(function (e) { fix(e, 'background'); });"
        " return n; })()")
                                           .arg(JsString(QLatin1String(htmleditor::kPictureScheme) + QLatin1Char(':'))));
    return changed.toInt() > 0;
}

void TORVHTMLEditor::SetMemoText(const QString& text)
{
    if (!m_memo) {
        m_pendingMemoText = text; // the memo takes it when it comes
        return;
    }
    m_settingMemo = true;
    m_memo->Lines().SetText(text);
    m_memo->LinesChanged();
    // The whole text came from outside: older undo records do not fit it any more.
    m_memo->ClearUndo();
    m_settingMemo = false;
}

void TORVHTMLEditor::ApplyMemoToDocument()
{
    LoadDocument(Memo()->Lines().Text());
}

void TORVHTMLEditor::SetHTML(const QString& text, bool append)
{
    const QString html = text.isEmpty() ? kEmptyDocument : text;
    if (append && m_pendingHtml)
        EnsureBrowser(); // appending needs the document itself
    if (!append || !m_hasDocument) {
        LoadDocument(html);
        SetMemoText(html);
        return;
    }
    // Appending: the memo's edits are part of the document first, and the memo shows the
    // whole result afterwards (never the appended piece alone).
    if (SourceViewShown())
        ApplyMemoToDocument();
    RunScript(QStringLiteral("(function (t) { var b = document.body || document.documentElement;"
                             " b.insertAdjacentHTML('beforeend', t); })(%1)")
                  .arg(JsString(html)));
    SetMemoText(RunScript(QStringLiteral("document.documentElement.outerHTML")).toString());
}

QStringList& TORVHTMLEditor::GetHTML()
{
    if (SourceViewShown())
        ApplyMemoToDocument();
    else if (!m_hasDocument && !m_pendingHtml)
        New();
    m_result.clear();
    m_result << RunScript(QStringLiteral("document.documentElement.outerHTML")).toString();
    return m_result;
}

void TORVHTMLEditor::LoadFromFile(const QString& name)
{
    if (name.isEmpty()) {
        SetHTML(HTMLHeader.join(QLatin1Char('\n')), false);
        return;
    }
    try {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("Die Datei \"%1\" kann nicht geöffnet werden. %2")
                                         .arg(name, f.errorString())
                                         .toStdString());
        const QString text = core::DecodeTextFile(f.readAll());
        QString header = HTMLHeader.join(QLatin1Char('\n'));
        if (!header.isEmpty())
            header += QLatin1Char('\n');
        // Pictures given relative to the file are found beside it, and keep being found once
        // the mail no longer comes from that file (stored, sent): their paths become absolute.
        const QString html = header.isEmpty() && text.isEmpty() ? kEmptyDocument : header + text;
        const QUrl folder = htmleditor::PictureUrl(QFileInfo(name).absolutePath() + QLatin1Char('/'));
        LoadDocument(html, folder);
        SetMemoText(html);
        if (Browser && MakePictureSourcesAbsolute())
            SetMemoText(RunScript(QStringLiteral("document.documentElement.outerHTML")).toString());
    } catch (const std::exception& e) {
        if (ShowError)
            ShowError(QStringLiteral("Fehler: ") + QString::fromStdString(e.what()));
    }
}

bool TORVHTMLEditor::SaveToFile(const QString& name)
{
    if (name.isEmpty()) {
        const QString chosen = AskSaveFile ? AskSaveFile() : QString();
        return chosen.isEmpty() ? false : SaveToFile(chosen);
    }
    try {
        if (AskBeforeSave && QFileInfo::exists(name) && AskOverwrite &&
            !AskOverwrite(QStringLiteral("Die Datei \"") + name + QStringLiteral("\" existiert bereits. Möchten Sie sie überschreiben?")))
            return false;
        const QString html = GetHTML().value(0);
        // Written beside the old file and renamed over it: a failed write leaves the old file.
        QSaveFile f(name);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write((html + QLatin1Char('\n')).toUtf8());
        return f.commit();
    } catch (...) {
        return false;
    }
}

void TORVHTMLEditor::New()
{
    LoadFromFile(QString());
}

void TORVHTMLEditor::InsertAtCaret(const QString& text)
{
    if (SourceViewShown()) {
        Memo()->InsertText(text);
        return; // the memo's change notice raises OnChange
    }
    if (!m_hasDocument && !m_pendingHtml)
        New();
    RunScript(QStringLiteral(
                  "(function (t) {"
                  " var n = document.createTextNode(t); var s = window.getSelection();"
                  " var b = document.body || document.documentElement;"
                  " if (s && s.rangeCount > 0 && b.contains(s.getRangeAt(0).startContainer)) {"
                  "  var r = s.getRangeAt(0); r.deleteContents(); r.insertNode(n);"
                  "  r.setStartAfter(n); r.collapse(true); s.removeAllRanges(); s.addRange(r);"
                  " } else { b.appendChild(n); }"
                  "})(%1)")
                  .arg(JsString(text)));
    DoChange();
}

// ---- commands -------------------------------------------------------------------------------

void TORVHTMLEditor::ExecCommand(const QString& command, const QString& jsValue)
{
    EnsureBrowser();
    m_web->RunJavaScript(QStringLiteral("document.execCommand(%1, false, %2)").arg(JsString(command), jsValue), true,
                         nullptr);
}

void TORVHTMLEditor::FormatCommand(const QString& command)
{
    if (SourceViewShown()) {
        if (command == QLatin1String("copy"))
            Memo()->CopyToClipboard();
        else if (command == QLatin1String("cut"))
            Memo()->CutToClipboard();
        else if (command == QLatin1String("paste"))
            Memo()->PasteFromClipboard();
    } else if (command == QLatin1String("copy")) {
        EnsureBrowser();
        m_web->TriggerAction(htmleditor::TWebView::TAction::Copy);
    } else if (command == QLatin1String("cut")) {
        EnsureBrowser();
        m_web->TriggerAction(htmleditor::TWebView::TAction::Cut);
        DoChange();
    } else if (command == QLatin1String("paste")) {
        EnsureBrowser();
        m_web->TriggerAction(htmleditor::TWebView::TAction::Paste);
        DoChange();
    } else {
        ExecCommand(command, QStringLiteral("null"));
        DoChange();
    }
    RefreshToolBar();
}

void TORVHTMLEditor::DialogCommand(const QString& command)
{
    QString value;
    if (command == QLatin1String("CreateLink"))
        value = AskLinkUrl ? AskLinkUrl() : QString();
    else
        value = AskImageFile ? AskImageFile() : QString(); // a plain local path: the mail builder embeds it
    if (!value.isEmpty()) {
        ExecCommand(command, JsString(value));
        DoChange();
    }
    RefreshToolBar();
}

void TORVHTMLEditor::ForeColorClick()
{
    QColor color(Qt::black);
    if (AskColor && AskColor(color)) {
        ExecCommand(QStringLiteral("ForeColor"), JsString(color.name()));
        DoChange();
    }
    RefreshToolBar();
}

void TORVHTMLEditor::FontComboSelect(QComboBox* combo, const QString& command)
{
    ExecCommand(command, JsString(combo->currentText()));
    DoChange();
    RefreshToolBar();
}

void TORVHTMLEditor::RefreshToolBar()
{
    if (!m_hasDocument || !Browser)
        return;
    static const char* const states[8] = {"bold", "italic", "underline", "JustifyLeft", "JustifyRight",
                                          "JustifyCenter", "InsertUnorderedList", "InsertOrderedList"};
    QString script = QStringLiteral("(function () { var r = {};");
    for (const char* s : states)
        script += QStringLiteral(" r[%1] = document.queryCommandState(%1);").arg(JsString(QLatin1String(s)));
    script += QStringLiteral(" r.FontName = document.queryCommandValue('FontName');"
                             " r.FontSize = document.queryCommandValue('FontSize'); return r; })()");
    QPointer<TORVHTMLEditor> self(this);
    m_web->RunJavaScript(script, true, [self](const QVariant& v) {
        if (!self)
            return;
        const QVariantMap m = v.toMap();
        for (const TToolItem& it : self->m_items)
            if (it.Kind == TItemKind::Check && m.contains(it.Caption))
                static_cast<QToolButton*>(it.Widget)->setChecked(m.value(it.Caption).toBool());
        if (self->m_fontName)
            self->m_fontName->setCurrentText(m.value(QStringLiteral("FontName")).toString().remove(QLatin1Char('"')));
        if (self->m_fontSize)
            self->m_fontSize->setCurrentText(m.value(QStringLiteral("FontSize")).toString());
        ++self->m_refreshCount;
    });
}

bool TORVHTMLEditor::SourceViewShown() const
{
    return (m_memo && m_memo->isVisibleTo(const_cast<TORVHTMLEditor*>(this))) ||
           (m_sourceButton && m_sourceButton->isChecked());
}

void TORVHTMLEditor::ToggleSourceView()
{
    EnsureMemo();
    const bool down = m_sourceButton ? m_sourceButton->isChecked() : !m_memo->isVisibleTo(this);
    EnsureBrowser();
    if (down) {
        const QString html = RunScript(QStringLiteral("document.documentElement.outerHTML")).toString();
        SetMemoText(html);
        Browser->setVisible(false);
        m_memo->setVisible(true);
    } else {
        const QString text = m_memo->Lines().Text();
        m_memo->setVisible(false);
        Browser->setVisible(true);
        SetHTML(text, false);
    }
    for (size_t i = 1; i < m_items.size(); ++i)
        m_items[i].Widget->setEnabled(!down);
    for (const char* c : {"copy", "paste", "cut", "HTMLCode"})
        if (QToolButton* b = ToolButton(QLatin1String(c)))
            b->setEnabled(true);
}

void TORVHTMLEditor::MemoKeyDown(int& key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_Z && (shift & Qt::ControlModifier)) {
        m_memo->Undo();
        key = 0;
    }
}

// ---- change notification --------------------------------------------------------------------

void TORVHTMLEditor::DocumentChanged()
{
    RefreshToolBar();
    DoChange();
}

void TORVHTMLEditor::DoChange()
{
    if (OnChange)
        OnChange();
}
