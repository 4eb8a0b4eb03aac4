#include "app/MainForm.h"
#include "app/ContentPage.h"

#include "app/ProgramStart.h"
#include "controls/About.h"
#include "controls/HelpRouter.h"
#include "controls/OrvRollOverButtons.h"
#include "controls/StateImage.h"
#include "controls/ZedSpin.h"
#include "controls/nbStatusBar.h"
#include "htmleditor/ORVHTMLEditor.h"
#include "core/DatabaseLocation.h"
#include "core/OrvUtils.h"
#include "mailing/MailingLog.h"
#include "platform/app/Application.h"
#include "platform/settings/RegIniFile.h"
#include "recipients/views/RecipientsGrid.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextEdit>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtEndian>

namespace app {

namespace {
const QString kAllUser = QStringLiteral("allUser");
const QString kUsers = QStringLiteral("Users");
const QString kHelpFileName = QStringLiteral("Quillory.chm");
const QString kFaqTopic = QStringLiteral("faq");

TFormDesign MainDesign()
{
    TFormDesign d;
    d.Width = 800;
    d.Height = 540;
    d.BorderStyle = bsSizeable;
    d.MinWidth = 800;
    d.MinHeight = 540;
    return d;
}

template <class W> W* Named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QToolButton* Button(QWidget* parent, const char* name, const QString& caption, const QString& hint = QString())
{
    auto* b = Named(new QToolButton(parent), name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

} // namespace

// The list code's questions and messages, shown with the window's message boxes.
class TMainFormListPrompts : public recipients::IListPrompts {
public:
    explicit TMainFormListPrompts(TMainForm& form) : FForm(form) {}
    recipients::TAnswer Ask(const QString& text, recipients::TAskButtons buttons) override
    {
        using recipients::TAskButtons;
        const QMessageBox::StandardButtons b = buttons == TAskButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
            : buttons == TAskButtons::YesNoCancel ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                                  : QMessageBox::Ok | QMessageBox::Cancel;
        switch (FForm.MessageBox(QStringLiteral("Bestätigung"), text, b)) {
        case QMessageBox::Yes: return recipients::TAnswer::Yes;
        case QMessageBox::No: return recipients::TAnswer::No;
        case QMessageBox::Ok: return recipients::TAnswer::Ok;
        default: return recipients::TAnswer::Cancel;
        }
    }
    void Message(const QString& text) override { FForm.MessageBox(FForm.windowTitle(), text, QMessageBox::Ok); }
    void Information(const QString& text) override { FForm.MessageBox(FForm.windowTitle(), text, QMessageBox::Ok); }
    void Warning(const QString& text) override { FForm.MessageBox(FForm.windowTitle(), text, QMessageBox::Ok); }
    void Beep() override
    {
        if (FForm.BeepSound)
            FForm.BeepSound();
        else
            QApplication::beep();
    }
    void AlertMainWindow() override
    {
        if (FForm.FlashWindow)
            FForm.FlashWindow(&FForm);
        else
            QApplication::alert(&FForm);
    }
    void Busy(bool on) override
    {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }

private:
    TMainForm& FForm;
};

quint64 InstanceNumber()
{
    static const quint64 number = QRandomGenerator::system()->generate64() >> 1;
    return number;
}

QString TempTableName() { return QStringLiteral("temp") + QString::number(InstanceNumber()); }

// ---------------------------------------------------------------------------------------------

QByteArray TWindowPlacement::Encode() const
{
    QByteArray out(44, '\0');
    char* p = out.data();
    const qint32 v[11] = { qint32(length), qint32(flags), qint32(showCmd), ptMinPosition.x(), ptMinPosition.y(),
                           ptMaxPosition.x(), ptMaxPosition.y(), rcNormalPosition.left(), rcNormalPosition.top(),
                           rcNormalPosition.left() + rcNormalPosition.width(), rcNormalPosition.top() + rcNormalPosition.height() };
    for (int i = 0; i < 11; ++i)
        qToLittleEndian<qint32>(v[i], p + 4 * i);
    return out;
}

std::optional<TWindowPlacement> TWindowPlacement::Decode(const QByteArray& data)
{
    if (data.size() != 44)
        return std::nullopt;
    qint32 v[11];
    for (int i = 0; i < 11; ++i)
        v[i] = qFromLittleEndian<qint32>(data.constData() + 4 * i);
    TWindowPlacement wp;
    wp.length = quint32(v[0]);
    wp.flags = quint32(v[1]);
    wp.showCmd = quint32(v[2]);
    wp.ptMinPosition = QPoint(v[3], v[4]);
    wp.ptMaxPosition = QPoint(v[5], v[6]);
    wp.rcNormalPosition = QRect(QPoint(v[7], v[8]), QSize(v[9] - v[7], v[10] - v[8]));
    return wp;
}

// ---------------------------------------------------------------------------------------------

TMainForm::TMainForm(const TMainFormSite& site, QWidget* parent) : TORVForm(MainDesign(), parent), FSite(site)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillory"));
    setProperty("HelpContext", 1);
    MessageBox = [this](const QString& caption, const QString& text, QMessageBox::StandardButtons buttons) {
        QMessageBox box(QMessageBox::NoIcon, caption, text, buttons, this);
        return QMessageBox::StandardButton(box.exec());
    };
    OnApplicationException = [](std::exception_ptr e) { platform::HandleException(e); };
    if (site.messageBox)
        MessageBox = site.messageBox;
    if (site.onException)
        OnApplicationException = site.onException;

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    BuildTopPanel();
    outer->addWidget(Panel1);
    BackGroundBottom = Named(new QStackedWidget(this), "BackGroundBottom");
    outer->addWidget(BackGroundBottom, 1);
    BuildSenderPage();
    BuildRecipientsPage();
    BuildContentPage();
    BuildPreviewPage();
    BuildSendMailPage();
    BuildStatusBar();
    outer->addWidget(StatusBar1);
    // F1 on a page opens the help page of its step (the step buttons carry the same numbers).
    const std::pair<QWidget*, int> pageContexts[] = {{TabSender, 1}, {TabRecipients, 2}, {TabContent, 3}, {TabPreview, 4}, {TabSendMail, 5}};
    for (const auto& [page, context] : pageContexts)
        page->setProperty("HelpContext", context);

    HelpRouter1 = new THelpRouter(this);
    HelpRouter1->setObjectName(QStringLiteral("HelpRouter1"));
    HelpRouter1->HelpType = htHTMLhelp;
    HelpRouter1->CHMPopupTopics = QStringLiteral("CSHelp.txt");
    HelpRouter1->ValidateID = false;
    // The about box is made when first shown (it reads the program's icon).
    AboutBox = nullptr;

    BuildContentControls();
    WireSenderPage();
    WireMailingPage();
    OnCreate = [this] { FormCreate(); };
    DoCreate();
}

TMainForm::~TMainForm()
{
    ShutDownMailing();
    FormDestroy();
}

QMessageBox::StandardButton TMainForm::Ask(const QString& text, QMessageBox::StandardButtons buttons)
{
    return MessageBox(QStringLiteral("Bestätigung"), text, buttons);
}

// ---- layout --------------------------------------------------------------------------------

void TMainForm::BuildTopPanel()
{
    Panel1 = Named(new QWidget(this), "Panel1");
    Panel1->setFixedHeight(41);
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(6, 4, 6, 4);
    StepButtons = new QButtonGroup(this);
    StepButtons->setExclusive(true);
    auto step = [&](const char* name, const QString& caption, int ctx) {
        QToolButton* b = Button(Panel1, name, caption);
        b->setCheckable(true);
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setProperty("HelpContext", ctx);
        StepButtons->addButton(b);
        row->addWidget(b);
        return b;
    };
    auto mark = [&](const char* name) {
        auto* m = Named(new TStateImage(Panel1), name);
        row->addWidget(m);
        row->addSpacing(8);
        return m;
    };
    SpeedButtonSender = step("SpeedButtonSender", QStringLiteral("1. Absender"), 1);
    StateImageSender = mark("StateImageSender");
    SpeedButtonRecipients = step("SpeedButtonRecipients", QStringLiteral("2. Empfänger"), 2);
    StateImageRecipients = mark("StateImageRecipients");
    SpeedButtonContent = step("SpeedButtonContent", QStringLiteral("3. Inhalt"), 3);
    StateImageContent = mark("StateImageContent");
    SpeedButtonPreview = step("SpeedButtonPreview", QStringLiteral("4. Vorschau"), 4);
    StateImagePreview = mark("StateImagePreview");
    SpeedButtonSendMail = step("SpeedButtonSendMail", QStringLiteral("5. Mails senden"), 5);
    row->addStretch(1);
    SpeedButtonAbout = Button(Panel1, "SpeedButtonAbout", QStringLiteral("Hilfe"));
    row->addWidget(SpeedButtonAbout);

    PopupMenuAbout = Named(new QMenu(this), "PopupMenuAbout");
    PopupMenuAbout->addAction(QStringLiteral("Hilfe"), this, [this] { MenuHelpClick(); })->setObjectName(QStringLiteral("MenuHelp"));
    PopupMenuAbout->addAction(QStringLiteral("FAQ"), this, [this] { MenuFaqClick(); })->setObjectName(QStringLiteral("MenuFaq"));
    PopupMenuAbout->addAction(QStringLiteral("Über"), this, [this] { MenuAboutClick(); })->setObjectName(QStringLiteral("MenuAbout"));

    connect(SpeedButtonSender, &QToolButton::clicked, this, [this] { SpeedButtonSenderClick(); });
    connect(SpeedButtonRecipients, &QToolButton::clicked, this, [this] { SpeedButtonRecipientsClick(); });
    connect(SpeedButtonContent, &QToolButton::clicked, this, [this] { SpeedButtonContentClick(); });
    connect(SpeedButtonPreview, &QToolButton::clicked, this, [this] { SpeedButtonPreviewClick(); });
    connect(SpeedButtonSendMail, &QToolButton::clicked, this, [this] { SpeedButtonSendMailClick(); });
    connect(SpeedButtonAbout, &QToolButton::clicked, this, [this] { SpeedButtonAboutClick(); });
}

void TMainForm::BuildSenderPage()
{
    TabSender = Named(new QWidget, "TabSender");
    TabSender->setProperty("Caption", QStringLiteral("Absender"));
    BackGroundBottom->addWidget(TabSender);
    auto* columns = new QHBoxLayout(TabSender);

    // Absender Informationen
    auto* gbSender = Named(new QGroupBox(QStringLiteral("Absender Informationen"), TabSender), "GroupBoxSender");
    auto* g1 = new QGridLayout(gbSender);
    ComboBoxUserSelect = Named(new QComboBox(gbSender), "ComboBoxUserSelect");
    SpeedButtonCreateUser = Button(gbSender, "SpeedButtonCreateUser", QStringLiteral("Neu"), QStringLiteral("Einen neuen Benutzer anlegen"));
    SpeedButtonSaveUser = Button(gbSender, "SpeedButtonSaveUser", QStringLiteral("Speichern"), QStringLiteral("Diesen Benutzer speichern"));
    SpeedButtonDeleteUser = Button(gbSender, "SpeedButtonDeleteUser", QStringLiteral("Löschen"), QStringLiteral("Diesen Benutzer löschen"));
    SpeedButtonSaveUser->setEnabled(false);
    // The profile box takes the whole width of the group (profile names are addresses); its
    // buttons stand in the row below.
    auto* profileButtons = new QHBoxLayout;
    profileButtons->addStretch(1);
    profileButtons->addWidget(SpeedButtonCreateUser);
    profileButtons->addWidget(SpeedButtonSaveUser);
    profileButtons->addWidget(SpeedButtonDeleteUser);
    auto edit = [](QWidget* parent, const char* name, const QString& hint) {
        auto* e = Named(new QLineEdit(parent), name);
        e->setToolTip(hint);
        return e;
    };
    EditFrom = edit(gbSender, "EditFrom", QStringLiteral("E-Mail Adresse des Absenders"));
    EditName = edit(gbSender, "EditName", QStringLiteral("Name des Absenders"));
    EditReplyTo = edit(gbSender, "EditReplyTo", QStringLiteral("Reply To Adresse des Absenders"));
    g1->addWidget(new QLabel(QStringLiteral("Profil :"), gbSender), 0, 0);
    g1->addWidget(ComboBoxUserSelect, 0, 1);
    g1->addLayout(profileButtons, 1, 1);
    g1->addWidget(new QLabel(QStringLiteral("Von :"), gbSender), 2, 0);
    g1->addWidget(EditFrom, 2, 1);
    g1->addWidget(new QLabel(QStringLiteral("Name :"), gbSender), 3, 0);
    g1->addWidget(EditName, 3, 1);
    g1->addWidget(new QLabel(QStringLiteral("Reply to :"), gbSender), 4, 0);
    g1->addWidget(EditReplyTo, 4, 1);

    // Mail Server Einstellungen
    auto* gbServer = Named(new QGroupBox(QStringLiteral("Mail Server Einstellungen"), TabSender), "GroupBoxServer");
    auto* g2 = new QGridLayout(gbServer);
    EditSmtpServer = edit(gbServer, "EditSmtpServer", QStringLiteral("Bitte geben Sie Ihre SMTP Server an"));
    CheckBoxAuthentication = Named(new QCheckBox(QStringLiteral("Server benötigt SMTP Authentifizierung"), gbServer), "CheckBoxAuthentication");
    EditUserName = edit(gbServer, "EditUserName", QStringLiteral("SMTP Benutzername"));
    EditPassword = edit(gbServer, "EditPassword", QStringLiteral("SMTP Kennwort"));
    EditPassword->setEchoMode(QLineEdit::Password);
    OrvRollOverSpeedBtn1 = Named(new TOrvRollOverSpeedBtn(gbServer), "OrvRollOverSpeedBtn1");
    OrvRollOverSpeedBtn1->setText(QStringLiteral("Testen"));
    RadioSendSmtp = Named(new QRadioButton(QStringLiteral("Send via SMTP"), gbServer), "RadioSendSmtp");
    RadioSendMapi = Named(new QRadioButton(QStringLiteral("Send via MAPI"), gbServer), "RadioSendMapi");
    RadioSendSmtp->setVisible(false);
    RadioSendMapi->setVisible(false);
    g2->addWidget(new QLabel(QStringLiteral("SMTP Server :"), gbServer), 0, 0);
    // The connection test stands beside the server it tests.
    g2->addWidget(EditSmtpServer, 0, 1);
    g2->addWidget(OrvRollOverSpeedBtn1, 0, 2);
    g2->addWidget(CheckBoxAuthentication, 1, 0, 1, 3);
    g2->addWidget(new QLabel(QStringLiteral("Benutzername :"), gbServer), 2, 0);
    g2->addWidget(EditUserName, 2, 1, 1, 2);
    g2->addWidget(new QLabel(QStringLiteral("Passwort :"), gbServer), 3, 0);
    g2->addWidget(EditPassword, 3, 1, 1, 2);

    // E-mail Format
    auto* gbFormat = Named(new QGroupBox(QStringLiteral("E-mail Format"), TabSender), "GroupBoxFormat");
    auto* g3 = new QGridLayout(gbFormat);
    RadioButtonPlainTextMail = Named(new QRadioButton(QStringLiteral("Nur - Text Mail"), gbFormat), "RadioButtonPlainTextMail");
    RadioButtonHtmlMail = Named(new QRadioButton(QStringLiteral("HTML Mail"), gbFormat), "RadioButtonHtmlMail");
    CheckBoxSignature = Named(new QCheckBox(QStringLiteral("Signatur anhängen"), gbFormat), "CheckBoxSignature");
    MemoSignature = Named(new QPlainTextEdit(gbFormat), "MemoSignature");
    MemoSignature->setToolTip(QStringLiteral("Fügen Sie Ihren Nur - Text Mails eine Signatur hinzu."));
    ComboBoxCharset = Named(new QComboBox(gbFormat), "ComboBoxCharset");
    ComboBoxCharset->addItems({ "us-ascii", "iso-8859-1 Western Europe", "iso-8859-2 Eastern Europe", "iso-8859-3 SE Europe",
        "iso-8859-4 replaced with iso-8859-10", "iso-8859-5 Cyrillic", "windows-1251 Cyrillic", "iso-8859-6 Arabic",
        "iso 8859-7 Greek", "iso 8859-8 Hebrew", "iso-8859-9 Turkish",
        "iso-8859-10 Scandinavia Iceland Inuit Latvian Lithuanian non Skolt Sami", "iso-8859-11 Thai", "iso-8859-12 Celtic",
        "iso-8859-13 Baltic Lithuanian", "windows-1257 Lithuanian", "iso-8859-14 Sami", "iso-8859-16 extra Finnish and French signs" });
    ComboBoxCharset->setCurrentIndex(0);
    auto* mailGroup = new QButtonGroup(gbFormat);
    mailGroup->addButton(RadioButtonPlainTextMail);
    mailGroup->addButton(RadioButtonHtmlMail);
    g3->addWidget(RadioButtonPlainTextMail, 0, 0);
    g3->addWidget(RadioButtonHtmlMail, 0, 1);
    g3->addWidget(CheckBoxSignature, 1, 0, 1, 2);
    g3->addWidget(MemoSignature, 2, 0, 1, 2);
    g3->addWidget(new QLabel(QStringLiteral("Zeichensatz"), gbFormat), 3, 0);
    g3->addWidget(ComboBoxCharset, 3, 1);
    g3->setRowStretch(2, 1);

    // Konfigurations Hilfe
    auto* gbHelp = Named(new QGroupBox(QStringLiteral("Konfigurations Hilfe"), TabSender), "GroupBoxHelp");
    auto* g4 = new QVBoxLayout(gbHelp);
    LabelConfigurationHeader = Named(new QLabel(gbHelp), "LabelConfigurationHeader");
    QFont bold = LabelConfigurationHeader->font();
    bold.setBold(true);
    LabelConfigurationHeader->setFont(bold);
    LabelConfigurationDescription = Named(new QLabel(gbHelp), "LabelConfigurationDescription");
    LabelConfigurationDescription->setWordWrap(true);
    LabelConfigurationDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelTestConnection = Named(new QLabel(gbHelp), "LabelTestConnection");
    LabelTestConnection->setWordWrap(true);
    g4->addWidget(LabelConfigurationHeader);
    g4->addWidget(LabelConfigurationDescription, 1);
    g4->addWidget(LabelTestConnection);

    // Versand Optionen
    auto* gbSend = Named(new QGroupBox(QStringLiteral("Versand Optionen"), TabSender), "GroupBoxSendOptions");
    auto* g5 = new QGridLayout(gbSend);
    RadioButtonMultiThread = Named(new QRadioButton(QStringLiteral("Paralleler Versand"), gbSend), "RadioButtonMultiThread");
    RadioButtonScheduled = Named(new QRadioButton(QStringLiteral("Zeitversetzter Versand"), gbSend), "RadioButtonScheduled");
    auto* modeGroup = new QButtonGroup(gbSend);
    modeGroup->addButton(RadioButtonMultiThread);
    modeGroup->addButton(RadioButtonScheduled);
    LabelSend1 = Named(new QLabel(QStringLiteral("Sende"), gbSend), "LabelSend1");
    LabelMailsAtOnce = Named(new QLabel(QStringLiteral("Mails gleichzeitig."), gbSend), "LabelMailsAtOnce");
    LabelSend2 = Named(new QLabel(QStringLiteral("Sende"), gbSend), "LabelSend2");
    LabelMailsEvery = Named(new QLabel(QStringLiteral("Mail(s) alle"), gbSend), "LabelMailsEvery");
    LabelMinutes = Named(new QLabel(QStringLiteral("Minuten."), gbSend), "LabelMinutes");
    SpinEditThreads = Named(new TZedSpinEdit(gbSend), "SpinEditThreads");
    SpinEditThreads->SetMinValue(1);
    SpinEditThreads->SetMaxValue(64);
    SpinEditThreads->SetValue(1);
    SpinEditThreads->setToolTip(QStringLiteral("Anzahl der gleichzeitig zu sendenden Mails."));
    SpinEditScheduledMails = Named(new TZedSpinEdit(gbSend), "SpinEditScheduledMails");
    SpinEditScheduledMails->SetMinValue(1);
    SpinEditScheduledMails->SetMaxValue(10000);
    SpinEditScheduledMails->SetValue(20);
    SpinEditScheduledMails->setToolTip(QStringLiteral("Anzahl der pro Runde zu versendenden Mails."));
    SpinEditScheduledMinutes = Named(new TZedSpinEdit(gbSend), "SpinEditScheduledMinutes");
    SpinEditScheduledMinutes->SetSpinType(sptFloat);
    SpinEditScheduledMinutes->SetMinFloatValue(0.1);
    SpinEditScheduledMinutes->SetMaxFloatValue(1440.0);
    SpinEditScheduledMinutes->SetPrecision(1);
    SpinEditScheduledMinutes->SetIncrementFloat(1.0);
    SpinEditScheduledMinutes->SetIncrementFloatPage(1.0);
    SpinEditScheduledMinutes->SetMaxLength(4);
    SpinEditScheduledMinutes->SetFloatValue(5.0);
    SpinEditScheduledMinutes->setToolTip(QStringLiteral("Zeispanne zwischen den Sendevorgängen."));
    for (TZedSpinEdit* s : { SpinEditThreads, SpinEditScheduledMails, SpinEditScheduledMinutes })
        s->setFixedWidth(70);
    g5->addWidget(RadioButtonMultiThread, 0, 0, 1, 5);
    g5->addWidget(LabelSend1, 1, 0);
    g5->addWidget(SpinEditThreads, 1, 1);
    g5->addWidget(LabelMailsAtOnce, 1, 2, 1, 3);
    g5->addWidget(RadioButtonScheduled, 2, 0, 1, 5);
    g5->addWidget(LabelSend2, 3, 0);
    g5->addWidget(SpinEditScheduledMails, 3, 1);
    g5->addWidget(LabelMailsEvery, 3, 2);
    g5->addWidget(SpinEditScheduledMinutes, 3, 3);
    g5->addWidget(LabelMinutes, 3, 4);

    // The sending options keep their size, packed to the left.
    g5->setColumnStretch(5, 1);
    // Tight rows keep every field at its full height at the design size.
    for (QGridLayout* g : { g1, g2, g3, g5 }) {
        g->setContentsMargins(8, 4, 8, 4);
        g->setVerticalSpacing(3);
    }
    g4->setContentsMargins(8, 4, 8, 4);
    columns->setContentsMargins(6, 4, 6, 4);
    // Two columns: a taller window gives its room to the signature (left) and the help text
    // (right); the sender, server and sending groups keep their height.
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    left->addWidget(gbSender);
    left->addWidget(gbServer);
    left->addWidget(gbFormat, 1);
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(gbHelp, 1);
    right->addWidget(gbSend);
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
}

void TMainForm::BuildContentPage()
{
    TabContent = Named(new QWidget, "TabContent");
    TabContent->setProperty("Caption", QStringLiteral("Inhalt"));
    BackGroundBottom->addWidget(TabContent);
    auto* v = new QVBoxLayout(TabContent);
    auto* row = new QHBoxLayout;
    ComboBoxSubject = Named(new QComboBox(TabContent), "ComboBoxSubject");
    ComboBoxSubject->setEditable(true);
    ComboBoxSubject->lineEdit()->setMaxLength(255);
    ComboBoxSubject->setMaxVisibleItems(8);
    SpeedButtonNewMailForSubject = Button(TabContent, "SpeedButtonNewMailForSubject", QStringLiteral("Neu"), QStringLiteral("Eine neue Mail erstellen"));
    SpeedButtonSaveMailToDB = Button(TabContent, "SpeedButtonSaveMailToDB", QStringLiteral("Speichern"), QStringLiteral("Diese Mail in der Quillory Datenbank speichern"));
    SpeedButtonSaveMailToDB->setEnabled(false);
    SpeedButtonRemoveMailFromSubject = Button(TabContent, "SpeedButtonRemoveMailFromSubject", QStringLiteral("Löschen"), QStringLiteral("Diese Mail aus der Quillory Datenbank löschen"));
    SpeedButtonRemoveMailFromSubject->setEnabled(false);
    SpeedButtonInsertField = Button(TabContent, "SpeedButtonInsertField", QStringLiteral("Felder"), QStringLiteral("Einen Platzhalter einfügen"));
    row->addWidget(new QLabel(QStringLiteral("Betreff :"), TabContent));
    row->addWidget(ComboBoxSubject, 1);
    row->addWidget(SpeedButtonNewMailForSubject);
    row->addWidget(SpeedButtonSaveMailToDB);
    row->addWidget(SpeedButtonRemoveMailFromSubject);
    row->addWidget(SpeedButtonInsertField);
    v->addLayout(row);
    MemoMailBody = Named(new QPlainTextEdit(TabContent), "MemoMailBody");
    QFont courier(QStringLiteral("Courier New"));
    courier.setPixelSize(13);
    courier.setStyleHint(QFont::Monospace);
    MemoMailBody->setFont(courier);
    MemoMailBody->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ORVHTMLEditor1 = Named(new TORVHTMLEditor(TabContent), "ORVHTMLEditor1");
    ORVHTMLEditor1->setVisible(false);
    // The mail body takes three quarters of the room below the subject, the attachments the rest.
    v->addWidget(MemoMailBody, 3);
    v->addWidget(ORVHTMLEditor1, 3);
    auto* bottom = new QHBoxLayout;
    auto* gbAtt = Named(new QGroupBox(QStringLiteral("Anhänge"), TabContent), "GroupBoxAttachments");
    auto* ga = new QHBoxLayout(gbAtt);
    SpeedButtonAttachment = Button(gbAtt, "SpeedButtonAttachment", QStringLiteral(" Hinzufügen"), QStringLiteral("Dieser Mail Dateien anhängen"));
    SpeedButtonRemoveAttachment = Button(gbAtt, "SpeedButtonRemoveAttachment", QStringLiteral("Entfernen"));
    PanelAttachments = Named(new QWidget(gbAtt), "PanelAttachments");
    new QVBoxLayout(PanelAttachments);
    PanelAttachments->layout()->setContentsMargins(0, 0, 0, 0);
    auto* attButtons = new QVBoxLayout;
    attButtons->addWidget(SpeedButtonAttachment);
    attButtons->addWidget(SpeedButtonRemoveAttachment);
    attButtons->addStretch(1);
    ga->addLayout(attButtons);
    ga->addWidget(PanelAttachments, 1);
    auto* gbBody = Named(new QGroupBox(QStringLiteral("E-Mail Inhalt"), TabContent), "GroupBoxMailContent");
    auto* gb = new QHBoxLayout(gbBody);
    SpeedButtonLoadMail = Button(gbBody, "SpeedButtonLoadMail", QStringLiteral("Öffnen"), QStringLiteral("E-Mail aus einer Datei laden"));
    SpeedButtonPasteMail = Button(gbBody, "SpeedButtonPasteMail", QStringLiteral("Einfügen"), QStringLiteral("Text aus der Zwischenablage einfügen"));
    SpeedButtonSaveMail = Button(gbBody, "SpeedButtonSaveMail", QStringLiteral("Export"), QStringLiteral("E-mail in einer Datei speichern"));
    gb->addWidget(SpeedButtonLoadMail);
    gb->addWidget(SpeedButtonPasteMail);
    gb->addWidget(SpeedButtonSaveMail);
    // The attachment list grows with the window; the button group keeps its size.
    gbBody->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    bottom->addWidget(gbAtt, 1);
    bottom->addWidget(gbBody, 0, Qt::AlignTop);
    v->addLayout(bottom, 1);
}

void TMainForm::BuildPreviewPage()
{
    TabPreview = Named(new QWidget, "TabPreview");
    TabPreview->setProperty("Caption", QStringLiteral("Vorschau"));
    BackGroundBottom->addWidget(TabPreview);
    auto* v = new QVBoxLayout(TabPreview);
    auto* head = new QGridLayout;
    auto boldLabel = [this](const QString& t) {
        auto* l = new QLabel(t, TabPreview);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        return l;
    };
    LabelPFrom = Named(new QLabel(TabPreview), "LabelPFrom");
    LabelPTo = Named(new QLabel(TabPreview), "LabelPTo");
    LabelPSubject = Named(new QLabel(TabPreview), "LabelPSubject");
    LabelPreviewPosition = Named(new QLabel(TabPreview), "LabelPreviewPosition");
    LabelPreviewPosition->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    head->addWidget(boldLabel(QStringLiteral("Von:")), 0, 0);
    head->addWidget(LabelPFrom, 0, 1);
    head->addWidget(boldLabel(QStringLiteral("An:")), 1, 0);
    head->addWidget(LabelPTo, 1, 1);
    head->addWidget(LabelPreviewPosition, 1, 2);
    head->addWidget(boldLabel(QStringLiteral("Betreff:")), 2, 0);
    head->addWidget(LabelPSubject, 2, 1, 1, 2);
    head->setColumnStretch(1, 1);
    v->addLayout(head);
    PanelWebBrowserP = Named(new QWidget(TabPreview), "PanelWebBrowserP");
    new QVBoxLayout(PanelWebBrowserP);
    PanelWebBrowserP->setVisible(false);
    PanelPBody = Named(new QWidget(TabPreview), "PanelPBody");
    auto* pb = new QVBoxLayout(PanelPBody);
    pb->setContentsMargins(0, 0, 0, 0);
    MemoPBody = Named(new QPlainTextEdit(PanelPBody), "MemoPBody");
    MemoPBody->setReadOnly(true);
    QFont courier(QStringLiteral("Courier New"));
    courier.setPixelSize(13);
    courier.setStyleHint(QFont::Monospace);
    MemoPBody->setFont(courier);
    pb->addWidget(MemoPBody);
    v->addWidget(PanelWebBrowserP, 1);
    v->addWidget(PanelPBody, 1);
}

void TMainForm::BuildSendMailPage()
{
    TabSendMail = Named(new QWidget, "TabSendMail");
    TabSendMail->setProperty("Caption", QStringLiteral("SendMail"));
    BackGroundBottom->addWidget(TabSendMail);
    auto* v = new QVBoxLayout(TabSendMail);
    ProgressBar = Named(new QProgressBar(TabSendMail), "ProgressBar");
    ProgressBar->setValue(0);
    ProgressBar->setToolTip(QStringLiteral("Zeigt den Fortschritt des Mailings"));
    v->addWidget(ProgressBar);
    auto* gbLog = Named(new QGroupBox(TabSendMail), "GBLogView");
    auto* lv = new QVBoxLayout(gbLog);
    MemoLogFile = Named(new TMailingLog(gbLog), "MemoLogFile");
    lv->addWidget(MemoLogFile);
    v->addWidget(gbLog, 1);

    auto* row = new QHBoxLayout;
    auto* gbFile = new QGroupBox(QStringLiteral("Log Datei Operationen"), TabSendMail);
    auto* fr = new QHBoxLayout(gbFile);
    SpeedButtonPrintLogFile = Button(gbFile, "SpeedButtonPrintLogFile", QStringLiteral("Drucken"));
    SpeedButtonPrintLogFile->setToolTip(QStringLiteral("Log ausdrucken"));
    SpeedButtonCopyLogToClipboard = Button(gbFile, "SpeedButtonCopyLogToClipboard", QStringLiteral("Kopieren"));
    SpeedButtonCopyLogToClipboard->setToolTip(QStringLiteral("Log Datei in Zwischenablage kopieren"));
    SpeedButtonSaveLogFile = Button(gbFile, "SpeedButtonSaveLogFile", QStringLiteral("Speichern"));
    fr->addWidget(SpeedButtonPrintLogFile);
    fr->addWidget(SpeedButtonCopyLogToClipboard);
    fr->addWidget(SpeedButtonSaveLogFile);
    row->addWidget(gbFile);
    row->addStretch(1);
    auto* gbControl = new QGroupBox(QStringLiteral("Versand Steuerung"), TabSendMail);
    auto* cr = new QHBoxLayout(gbControl);
    AbortButton = Button(gbControl, "AbortButton", QStringLiteral("Abbrechen"));
    AbortButton->setToolTip(QStringLiteral("Senden der Mails abbrechen."));
    AbortButton->setEnabled(false);
    SpeedButtonSend = Button(gbControl, "SpeedButtonSend", QStringLiteral("Sende"));
    SpeedButtonSend->setToolTip(QStringLiteral("Senden der Mails"));
    for (QToolButton* b : { AbortButton, SpeedButtonSend }) {
        QFont font = b->font();
        font.setBold(true);
        b->setFont(font);
        cr->addWidget(b);
    }
    row->addWidget(gbControl);
    v->addLayout(row);
}

void TMainForm::BuildStatusBar()
{
    StatusBar1 = Named(new TnbStatusBar(this), "StatusBar1");
    for (int w : { 22, 100, 50 })
        StatusBar1->Panels().Add()->SetWidth(w);
    StatusBar1->Panels()[0]->SetText(QStringLiteral("   "));
    ProgressBarImport = Named(new QProgressBar(StatusBar1), "ProgressBarImport");
    ProgressBarImport->setVisible(false);
    ProgressBarImport->setGeometry(0, 2, 150, StatusBar1->height() - 4);
    StatusBar1->OnResize = [this] { StatusBar1Resize(); };
}

void TMainForm::StatusBar1Resize()
{
    const int w = StatusBar1->width() - 150;
    StatusBar1->Panels()[0]->SetWidth(w);
    ProgressBarImport->move(w - 160, ProgressBarImport->y());
}

// ---- wiring --------------------------------------------------------------------------------

void TMainForm::WireSenderPage()
{
    // Qt reports every change of a check state through toggled; the handlers run once per change,
    // for a radio group only for the button that became checked.
    connect(RadioSendSmtp, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioSendChange(); });
    connect(RadioSendMapi, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioSendChange(); });
    connect(CheckBoxAuthentication, &QCheckBox::toggled, this, [this] { CheckBoxAuthenticationClick(); });
    connect(RadioButtonPlainTextMail, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButtonMailTypeChange(); });
    connect(RadioButtonHtmlMail, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButtonMailTypeChange(); });
    connect(CheckBoxSignature, &QCheckBox::toggled, this, [this] { CheckBoxSignatureClick(); });
    connect(RadioButtonMultiThread, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButtonMultiThreadClick(); });
    connect(RadioButtonScheduled, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButtonMultiThreadClick(); });
    for (QLineEdit* e : { EditFrom, EditName, EditReplyTo, EditSmtpServer, EditUserName, EditPassword })
        connect(e, &QLineEdit::textChanged, this, [this] { EditChange(); });
    connect(MemoSignature, &QPlainTextEdit::textChanged, this, [this] { EditChange(); });
    connect(ComboBoxCharset, &QComboBox::currentIndexChanged, this, [this] { EditChange(); });
    for (TZedSpinEdit* s : { SpinEditThreads, SpinEditScheduledMails, SpinEditScheduledMinutes })
        s->OnChange = [this] { EditChange(); };
    for (QLabel* l : { LabelSend1, LabelMailsAtOnce, LabelSend2, LabelMailsEvery, LabelMinutes })
        l->installEventFilter(this);
    connect(ComboBoxUserSelect, &QComboBox::activated, this, [this] { ComboBoxUserSelectChange(); });
    connect(SpeedButtonSaveUser, &QToolButton::clicked, this, [this] { SpeedButtonSaveUserClick(); });
    connect(SpeedButtonDeleteUser, &QToolButton::clicked, this, [this] { SpeedButtonDeleteUserClick(); });
    connect(SpeedButtonCreateUser, &QToolButton::clicked, this, [this] { SpeedButtonCreateUserClick(); });
    for (QWidget* w : std::initializer_list<QWidget*>{ EditFrom, EditName, EditReplyTo, RadioSendSmtp, RadioSendMapi, EditSmtpServer,
             CheckBoxAuthentication, EditUserName, EditPassword, SpinEditThreads, RadioButtonMultiThread, RadioButtonScheduled,
             RadioButtonPlainTextMail, RadioButtonHtmlMail, CheckBoxSignature, MemoSignature, ComboBoxCharset,
             SpinEditScheduledMails, SpinEditScheduledMinutes })
        w->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::FocusIn && watched->isWidgetType())
        ShowConfigurationHelp(static_cast<QWidget*>(watched));
    if (e->type() == QEvent::MouseButtonRelease
        && (watched == LabelSend1 || watched == LabelMailsAtOnce || watched == LabelSend2 || watched == LabelMailsEvery || watched == LabelMinutes))
        EditChange();
    if (e->type() == QEvent::KeyPress && watched == EditSmtpServer) {
        auto* k = static_cast<QKeyEvent*>(e);
        try {
            EditSmtpServerKeyDown(k->key(), k->modifiers());
        } catch (...) {
            if (OnApplicationException)
                OnApplicationException(std::current_exception());
            return true;
        }
    }
    return TORVForm::eventFilter(watched, e);
}

// ---- life cycle ----------------------------------------------------------------------------

void TMainForm::RunSetupStep(const std::function<void()>& step) { step(); }

void TMainForm::FormCreate()
{
    try {
        // 1-2: the unsaved list's table; the page control shows no tabs (a stacked widget has none).
        FListPrompts = std::make_unique<TMainFormListPrompts>(*this);
        FListStore = std::make_unique<recipients::TRecipientListStore>(ADOConnection1, FListPrompts.get());
        FListStore->TEMP = TempTableName();
        FListStore->Instance = InstanceNumber();
        WireRecipientsPage();
        // 3
        fSettings = std::make_unique<settings::TRegIniFile>(FSite.settingsKey);
        // 4: a malformed placement is ignored.
        try {
            if (auto data = fSettings->ReadBinaryData(QString(), QStringLiteral("WindowPos")))
                if (auto wp = TWindowPlacement::Decode(*data))
                    ApplyWindowPlacement(*wp);
        } catch (const settings::ERegistryException&) {
        }
        // 5: there is no MAPI here; a stored MAPI flag sends by SMTP as well.
        fSettings->ReadBool(kAllUser, QStringLiteral("MAPI"), false);
        RadioSendSmtp->setChecked(true);
        RadioSendChange();
        // 6
        core::DatabaseSite site;
        site.title = FSite.title;
        site.programFolder = FSite.programFolder;
        site.appDataFolder = FSite.appDataFolder;
        core::DatabaseOpenHandlers handlers;
        auto show = [this](const QString& text) { MessageBox(FSite.title, text, QMessageBox::Ok); };
        handlers.showMessage = show;
        handlers.terminate = [] {
            if (platform::Application* a = platform::Application::Instance())
                a->Terminate();
        };
        // A recorded file that exists but cannot be used is asked about; a replaced message box (tests,
        // embedding) answers with the standard buttons, the program's own box names the choices.
        handlers.askUnusable = [this](const QString& text) {
            QMessageBox::StandardButton answer;
            if (FSite.messageBox) {
                answer = MessageBox(FSite.title, text, DatabaseQuestionButtons());
            } else {
                const std::unique_ptr<QMessageBox> box = MakeDatabaseQuestionBox(FSite.title, text, this);
                answer = QMessageBox::StandardButton(box->exec());
            }
            return DatabaseChoiceOf(answer);
        };
        // Without a database the application is ending: nothing more to set up.
        if (!OpenAndUpgradeDatabase(ADOConnection1, *fSettings, site, handlers, show))
            return;
        // Runs of the program on this database that are gone leave no tables behind.
        FListStore->MarkRunAlive(ADOConnection1.FileName());
        try {
            FListStore->RemoveOrphanTables();
        } catch (const db::EDatabaseError&) {
        }
        // From here on the window waits only briefly for another program that holds the
        // database; when it stays busy the action is asked about (see platform::Application).
        ADOConnection1.SetBusyTimeout(WindowBusyMs);
        // 7
        const QString programFolder = FSite.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : FSite.programFolder;
        SetApplicationHelpFile(core::IncludeTrailingChar(programFolder, QLatin1Char('/')) + kHelpFileName);
        // 8
        // In a folder only this user may write in: a fixed name in the shared temporary folder
        // could be made or replaced by anyone.
        TempFileName = PrivateTempFolder().isEmpty() ? QString() : PrivateTempFolder() + QStringLiteral("/cur_qly.html");
        QFile::remove(TempFileName);
        // 9: the body's file drop target is registered by the content code.
        // 10
        ControlSwitch(EditUserName, false);
        ControlSwitch(EditPassword, false);
        fProfileName.clear();
        MemoMailBody->setVisible(true);
        // 11
        FillUserList();
        ComboBoxUserSelect->setCurrentIndex(fSettings->ReadInteger(kAllUser, QStringLiteral("curUser"), 0));
        ComboBoxUserSelectChange();
        if (ComboBoxUserSelect->count() == 0)
            SpeedButtonDeleteUser->setEnabled(false);
        // 12
        FillListNames();
        // 13
        SpeedButtonSender->setChecked(true);
        SpeedButtonSenderClick();
        // 14
        if (!RadioButtonMultiThread->isChecked() && !RadioButtonScheduled->isChecked())
            RadioButtonMultiThread->setChecked(true);
        // 15: the list's ID when one was stored, else the remembered combo position.
        const int listId = fSettings->ReadInteger(kAllUser, QStringLiteral("curListID"), -1);
        const int curList = fSettings->ReadInteger(kAllUser, QStringLiteral("curList"), -1);
        if (curList < 0 && listId < 0)
            NewUnsavedList();
        else
            OpenRememberedList(curList, listId);
        // 16
        ClearMail();
        FillSubjectList(fSettings->ReadInteger(kAllUser, QStringLiteral("curMail"), -1));
        // 17
        SpeedButtonRemoveAttachment->setEnabled(false);
        SpeedButtonSenderClick();
        // The configuration help shows its first field's text until another field gets the focus.
        ShowConfigurationHelp(EditFrom);
    } catch (...) {
        if (OnApplicationException)
            OnApplicationException(std::current_exception());
    }
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (FClosing || FormCloseQuery())
        e->accept();
    else
        e->ignore();
}

bool TMainForm::FormCloseQuery()
{
    if (!MailingAllowsClose())
        return false;
    if (!AskSaveList())
        return false;
    if (fProfileModified) {
        const auto answer = Ask(QStringLiteral("Aktuellen Benutzer speichern?"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return false;
        if (answer == QMessageBox::Yes && !SaveProfileAsAnswered())
            return false; // could not be saved: stay open
    }
    if (SpeedButtonSaveMailToDB->isEnabled()) {
        const auto answer = Ask(QStringLiteral("Möchten Sie diese Mail speichern?"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return false;
        if (answer == QMessageBox::Yes) {
            SpeedButtonSaveMailToDBClick();
            if (SpeedButtonSaveMailToDB->isEnabled())
                return false;
        }
    }
    WriteClosingSettings();
    CloseList();
    FClosing = true;
    return true;
}

void TMainForm::EndOnSignal()
{
    // No question can be asked: a typed cell goes into the table; a stored list with edits keeps
    // its table, backup and lock (the lock names this process, so the next start recognises it
    // as left behind and offers the recovery); anything else is closed as usual.
    if (FClosing)
        return;
    try {
        if (StringGridFavorites)
            StringGridFavorites->PostPendingEdit();
        WriteClosingSettings();
        const bool keepForRecovery = FListStore && !FListStore->IsUnsavedOpen() && !FListStore->TableName().isEmpty() &&
                                     SpeedButtonSaveFavorite->isEnabled() && FListEdited;
        if (!keepForRecovery)
            CloseList();
    } catch (...) {
    }
    FClosing = true;
    if (FListStore)
        FListStore->ForgetOpenList();
}

void TMainForm::WriteClosingSettings()
{
    if (fSettings) {
        fSettings->WriteBool(kAllUser, QStringLiteral("MAPI"), RadioSendMapi->isChecked());
        fSettings->WriteBinaryData(QString(), QStringLiteral("WindowPos"), CurrentWindowPlacement().Encode());
        fSettings->WriteBool(kAllUser, QStringLiteral("html"), RadioButtonHtmlMail->isChecked());
        fSettings->WriteInteger(kAllUser, QStringLiteral("curUser"), ComboBoxUserSelect->currentIndex());
        fSettings->WriteInteger(kAllUser, QStringLiteral("curList"), ComboBoxFavorites->currentIndex());
        int listId = -1;
        const QString open = OpenListTable();
        if (open.startsWith(QLatin1String("RL")))
            listId = open.mid(2).toInt();
        fSettings->WriteInteger(kAllUser, QStringLiteral("curListID"), listId);
        fSettings->WriteInteger(kAllUser, QStringLiteral("curMail"), ComboBoxSubject->currentIndex());
    }
}

void TMainForm::FormDestroy()
{
    // A window that was never closed (the application quit) still releases its list.
    if (FListStore && !FListStore->TableName().isEmpty())
        CloseList();
    fSettings.reset();
}

void TMainForm::showEvent(QShowEvent* e)
{
    TORVForm::showEvent(e);
    if (FMaximizeOnShow) {
        FMaximizeOnShow = false;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TMainForm::ApplyWindowPlacement(const TWindowPlacement& wp)
{
    QRect r = wp.rcNormalPosition;
    if (r.width() <= 0 || r.height() <= 0)
        return;
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        r.setWidth(qBound(minimumWidth(), r.width(), qMax(minimumWidth(), avail.width())));
        r.setHeight(qBound(minimumHeight(), r.height(), qMax(minimumHeight(), avail.height())));
        r.moveLeft(qBound(avail.left(), r.left(), qMax(avail.left(), avail.right() - r.width() + 1)));
        r.moveTop(qBound(avail.top(), r.top(), qMax(avail.top(), avail.bottom() - r.height() + 1)));
    }
    setGeometry(r);
    FMaximizeOnShow = wp.showCmd == 3;
}

TWindowPlacement TMainForm::CurrentWindowPlacement() const
{
    TWindowPlacement wp;
    wp.showCmd = isMaximized() ? 3 : isMinimized() ? 2 : 1;
    wp.ptMinPosition = QPoint(-1, -1);
    wp.ptMaxPosition = QPoint(-1, -1);
    wp.rcNormalPosition = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    return wp;
}

// ---- profiles ------------------------------------------------------------------------------

QString TMainForm::ProfileKeyName(const QString& from)
{
    QString out;
    for (QChar c : from) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%25");
        else if (c == QLatin1Char('/'))
            out += QStringLiteral("%2F");
        else if (c == QLatin1Char('\\'))
            out += QStringLiteral("%5C");
        else
            out += c;
    }
    return out;
}

QString TMainForm::ProfileNameFromKey(const QString& key)
{
    QString out;
    for (int i = 0; i < key.size(); ++i) {
        const QStringView code = QStringView(key).mid(i, 3);
        if (code.compare(QLatin1String("%25"), Qt::CaseInsensitive) == 0) {
            out += QLatin1Char('%');
            i += 2;
        } else if (code.compare(QLatin1String("%2F"), Qt::CaseInsensitive) == 0) {
            out += QLatin1Char('/');
            i += 2;
        } else if (code.compare(QLatin1String("%5C"), Qt::CaseInsensitive) == 0) {
            out += QLatin1Char('\\');
            i += 2;
        } else {
            out += key.at(i);
        }
    }
    return out;
}

QString TMainForm::ProfileSection(const QString& from) { return kUsers + QLatin1Char('\\') + ProfileKeyName(from); }

void TMainForm::FillUserList()
{
    QSignalBlocker block(ComboBoxUserSelect);
    ComboBoxUserSelect->clear();
    for (const QString& key : fSettings->ReadSubKeys(kUsers))
        ComboBoxUserSelect->addItem(ProfileNameFromKey(key));
}

void TMainForm::SelectProfileInCombo(const QString& name)
{
    QSignalBlocker block(ComboBoxUserSelect);
    ComboBoxUserSelect->setCurrentIndex(ComboBoxUserSelect->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void TMainForm::ComboBoxUserSelectChange()
{
    if (fProfileModified) {
        const auto answer = Ask(QStringLiteral("Aktuellen Benutzer speichern?"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel) {
            SelectProfileInCombo(FShownProfile); // the box shows the profile the page shows
            return;
        }
        if (answer == QMessageBox::Yes && !SaveProfileAsAnswered()) {
            SelectProfileInCombo(FShownProfile); // nothing saved: the page keeps its values
            return;
        }
    }
    const QString name = ComboBoxUserSelect->currentIndex() >= 0 ? ComboBoxUserSelect->currentText() : QString();
    const QString section = name.isEmpty() ? kUsers + QLatin1Char('\\') : ProfileSection(name);
    settings::TRegIniFile& s = *fSettings;
    EditName->setText(s.ReadString(section, QStringLiteral("Name"), QString()));
    EditReplyTo->setText(s.ReadString(section, QStringLiteral("ReplyTo"), QString()));
    EditSmtpServer->setText(s.ReadString(section, QStringLiteral("SmtpServer"), QString()));
    EditUserName->setText(s.ReadString(section, QStringLiteral("UserName"), QString()));
    EditPassword->setText(s.ReadString(section, QStringLiteral("Password"), QString()));
    const bool plain = s.ReadBool(section, QStringLiteral("PlainText"), false);
    (plain ? RadioButtonPlainTextMail : RadioButtonHtmlMail)->setChecked(true);
    const bool multi = s.ReadBool(section, QStringLiteral("MultiThread"), true);
    (multi ? RadioButtonMultiThread : RadioButtonScheduled)->setChecked(true);
    const bool signature = s.ReadBool(section, QStringLiteral("Signature"), false);
    CheckBoxSignature->setChecked(signature);
    MemoSignature->setEnabled(signature);
    MemoSignature->setPlainText(s.ReadString(section, QStringLiteral("SignatureText"), QString()));
    CheckBoxAuthentication->setChecked(s.ReadBool(section, QStringLiteral("Authentication"), false));
    SpinEditThreads->SetValue(s.ReadInteger(section, QStringLiteral("Threads"), 1));
    SpinEditScheduledMails->SetValue(s.ReadInteger(section, QStringLiteral("ScheduledMails"), 20));
    SpinEditScheduledMinutes->setText(s.ReadString(section, QStringLiteral("ScheduledMinutes"), QStringLiteral("5")));
    EditFrom->setText(name);
    FShownProfile = name;
    fProfileModified = false;
    SpeedButtonSaveUser->setEnabled(false);
}

void TMainForm::SpeedButtonSaveUserClick()
{
    if (EditFrom->text().isEmpty())
        return;
    const QString section = ProfileSection(EditFrom->text());
    fProfileName = EditFrom->text();
    settings::TRegIniFile& s = *fSettings;
    s.WriteInteger(section, QStringLiteral("Threads"), SpinEditThreads->Value());
    s.WriteInteger(section, QStringLiteral("ScheduledMails"), SpinEditScheduledMails->Value());
    s.WriteString(section, QStringLiteral("ScheduledMinutes"), SpinEditScheduledMinutes->text());
    s.WriteString(section, QStringLiteral("Name"), EditName->text());
    s.WriteString(section, QStringLiteral("ReplyTo"), EditReplyTo->text());
    s.WriteString(section, QStringLiteral("SmtpServer"), EditSmtpServer->text());
    s.WriteString(section, QStringLiteral("UserName"), EditUserName->text());
    s.WriteString(section, QStringLiteral("Password"), EditPassword->text());
    s.WriteString(section, QStringLiteral("SignatureText"), MemoSignature->toPlainText());
    s.WriteBool(section, QStringLiteral("Authentication"), CheckBoxAuthentication->isChecked());
    s.WriteBool(section, QStringLiteral("PlainText"), RadioButtonPlainTextMail->isChecked());
    s.WriteBool(section, QStringLiteral("Signature"), CheckBoxSignature->isChecked());
    s.WriteBool(section, QStringLiteral("MultiThread"), RadioButtonMultiThread->isChecked());
    FillUserList();
    if (s.ReadInteger(section, QStringLiteral("Position"), 0) == 0)
        SpeedButtonDeleteUser->setEnabled(false);
    s.WriteInteger(section, QStringLiteral("Position"), ComboBoxUserSelect->count());
    if (ComboBoxUserSelect->count() >= 1)
        SpeedButtonDeleteUser->setEnabled(true);
    SelectProfileInCombo(fProfileName);
    FShownProfile = fProfileName;
    fProfileModified = false;
    SpeedButtonSaveUser->setEnabled(false);
}

bool TMainForm::SaveProfileAsAnswered()
{
    SpeedButtonSaveUserClick();
    if (!fProfileModified)
        return true;
    MessageBox(FSite.title, QStringLiteral("Der Benutzer kann nicht gespeichert werden: Bitte geben Sie im Feld \"Von\" eine E-Mail Adresse an."),
               QMessageBox::Ok);
    return false;
}

void TMainForm::SpeedButtonDeleteUserClick()
{
    const QString name = ComboBoxUserSelect->currentIndex() >= 0 ? ComboBoxUserSelect->currentText() : QString();
    if (name.isEmpty())
        return;
    fSettings->EraseSection(ProfileSection(name));
    FillUserList();
    for (int i = 0; i < ComboBoxUserSelect->count(); ++i)
        fSettings->WriteInteger(ProfileSection(ComboBoxUserSelect->itemText(i)), QStringLiteral("Position"), i + 1);
    {
        QSignalBlocker block(ComboBoxUserSelect);
        ComboBoxUserSelect->setCurrentIndex(ComboBoxUserSelect->count() > 0 ? 0 : -1);
    }
    fProfileModified = false; // the deleted profile's changes have nowhere to go
    ComboBoxUserSelectChange();
    if (ComboBoxUserSelect->count() == 0)
        SpeedButtonDeleteUser->setEnabled(false);
}

void TMainForm::SpeedButtonCreateUserClick()
{
    {
        QSignalBlocker block(ComboBoxUserSelect);
        ComboBoxUserSelect->setCurrentIndex(-1);
    }
    FShownProfile.clear();
    ClearSenderControls(TabSender);
    EditFrom->setFocus();
}

void TMainForm::ClearSenderControls(QWidget* container)
{
    for (QObject* o : container->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w)
            continue;
        if (qobject_cast<TZedSpinEdit*>(w))
            continue; // not a plain edit and not the toolkit's spin box: keeps its value
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->clear();
        else if (auto* sb = qobject_cast<QSpinBox*>(w))
            sb->setValue(1);
        else if (auto* cb = qobject_cast<QCheckBox*>(w))
            cb->setChecked(false);
        else if (!qobject_cast<QComboBox*>(w) && !qobject_cast<QAbstractScrollArea*>(w) && !qobject_cast<QAbstractButton*>(w)
                 && !qobject_cast<QAbstractSpinBox*>(w))
            ClearSenderControls(w);
    }
}

void TMainForm::EditChange()
{
    fProfileModified = true;
    SpeedButtonSaveUser->setEnabled(true);
}

void TMainForm::ControlSwitch(QWidget* control, bool on)
{
    const bool edit = (qobject_cast<QLineEdit*>(control) && !qobject_cast<TZedSpinEdit*>(control))
        || qobject_cast<QPlainTextEdit*>(control) || qobject_cast<QTextEdit*>(control) || qobject_cast<QComboBox*>(control)
        || qobject_cast<QSpinBox*>(control);
    if (!edit)
        return;
    QPalette pal = control->palette();
    const QPalette app = QApplication::palette();
    pal.setColor(QPalette::Base, on ? app.color(QPalette::Base) : app.color(QPalette::Midlight));
    control->setPalette(pal);
    control->setEnabled(on);
}

// ---- navigation ----------------------------------------------------------------------------

void TMainForm::SetMarks(int greens)
{
    TStateImage* marks[4] = { StateImageSender, StateImageRecipients, StateImageContent, StateImagePreview };
    for (int i = 0; i < 4; ++i)
        i < greens ? marks[i]->ShowGreen() : marks[i]->ShowGrey();
}

void TMainForm::ShowPage(QWidget* page)
{
    QWidget* old = BackGroundBottom->currentWidget();
    // The page buttons take no focus, so the grid's editor would keep a typed value unposted:
    // the table, the preview and the mailing must see it.
    if (old == TabRecipients && page != TabRecipients && StringGridFavorites)
        StringGridFavorites->PostPendingEdit();
    if (old == TabPreview && page != TabPreview)
        TabPreviewHide();
    BackGroundBottom->setCurrentWidget(page);
    if (page == TabPreview && old != TabPreview)
        TabPreviewShow();
    if (old == TabRecipients && page != TabRecipients)
        StatusBar1->Panels()[1]->SetText(QString());
}

void TMainForm::SpeedButtonSenderClick()
{
    SetMarks(0);
    ShowPage(TabSender);
    StatusBar1->Panels()[1]->SetText(QString());
}

void TMainForm::SpeedButtonRecipientsClick()
{
    SetMarks(1);
    ShowPage(TabRecipients);
    BackGroundBottom->repaint();
    PlayImportAnimation();
    if (QWidget* grid = PanelRecipientsGrid->findChild<QWidget*>(QStringLiteral("StringGridFavorites")))
        grid->setFocus();
}

void TMainForm::PlayImportAnimation()
{
    SpeedButtonImport->setVisible(false);
    QToolButton* frames[3] = { SpeedButtonImport1, SpeedButtonImport2, SpeedButtonImport3 };
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            frames[i - 1]->setVisible(false);
        frames[i]->setVisible(true);
        frames[i]->repaint();
        QThread::msleep(150);
    }
    SpeedButtonImport3->setVisible(false);
    SpeedButtonImport->setVisible(true);
}

void TMainForm::SpeedButtonContentClick()
{
    SetMarks(2);
    ShowPage(TabContent);
    StatusBar1->Panels()[1]->SetText(QString());
}

void TMainForm::SpeedButtonPreviewClick()
{
    SetMarks(3);
    FillAttachmentOverview();
    ShowPage(TabPreview);
}

// ---- the sender page -----------------------------------------------------------------------

void TMainForm::RadioSendChange()
{
    const bool s = RadioSendSmtp->isChecked();
    ControlSwitch(EditSmtpServer, s);
    if (CheckBoxAuthentication->isChecked()) {
        ControlSwitch(EditPassword, s);
        ControlSwitch(EditUserName, s);
    }
    CheckBoxAuthentication->setEnabled(s);
    for (QWidget* w : std::initializer_list<QWidget*>{ EditName, EditReplyTo, EditFrom, ComboBoxUserSelect })
        ControlSwitch(w, s);
}

void TMainForm::CheckBoxAuthenticationClick()
{
    ControlSwitch(EditUserName, CheckBoxAuthentication->isChecked());
    ControlSwitch(EditPassword, CheckBoxAuthentication->isChecked());
    EditChange();
}

void TMainForm::RadioButtonMailTypeChange()
{
    if (RadioButtonPlainTextMail->isChecked()) {
        ORVHTMLEditor1->setVisible(false);
        MemoMailBody->setVisible(true);
        CheckBoxSignature->setEnabled(true);
        ComboBoxCharset->setEnabled(true);
        CheckBoxSignatureClick();
    } else {
        ORVHTMLEditor1->setVisible(true);
        MemoMailBody->setVisible(false);
        ControlSwitch(MemoSignature, false);
        CheckBoxSignature->setEnabled(false);
        ComboBoxCharset->setEnabled(false);
    }
    EditChange();
}

void TMainForm::CheckBoxSignatureClick()
{
    ControlSwitch(MemoSignature, CheckBoxSignature->isChecked());
    EditChange();
}

void TMainForm::RadioButtonMultiThreadClick()
{
    const bool multi = RadioButtonMultiThread->isChecked();
    const bool scheduled = RadioButtonScheduled->isChecked();
    LabelSend1->setEnabled(multi);
    LabelMailsAtOnce->setEnabled(multi);
    SpinEditThreads->setEnabled(multi);
    LabelSend2->setEnabled(scheduled);
    LabelMailsEvery->setEnabled(scheduled);
    LabelMinutes->setEnabled(scheduled);
    SpinEditScheduledMails->setEnabled(scheduled);
    SpinEditScheduledMinutes->setEnabled(scheduled);
    EditChange();
}

void TMainForm::EditSmtpServerKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_E && (modifiers & Qt::ShiftModifier) && (modifiers & Qt::AltModifier))
        throw std::runtime_error("Exception Log Check");
}

void TMainForm::SpeedButtonAboutClick()
{
    const QPoint corner = SpeedButtonAbout->mapToGlobal(SpeedButtonAbout->rect().bottomRight());
    PopupMenuAbout->popup(corner - QPoint(PopupMenuAbout->sizeHint().width(), 0));
}

void TMainForm::MenuHelpClick()
{
    HelpRouter1->Helpfile = ApplicationHelpFile();
    HelpRouter1->ShowContents();
}

void TMainForm::MenuFaqClick() { HelpRouter1->ShowTopic(ApplicationHelpFile(), kFaqTopic); }

void TMainForm::MenuAboutClick()
{
    if (!AboutBox) {
        AboutBox = new TAboutBox(this);
        AboutBox->setWindowFlags(Qt::Dialog);
    }
    AboutBox->show();
    AboutBox->raise();
}

bool TMainForm::ShowConfigurationHelp(QWidget* control)
{
    static const QString hinweis = QStringLiteral("\r\rHinweis:\r");
    struct Entry { QWidget* control; QString header; QString text; };
    const QString scheduled = QStringLiteral("Legen Sie fest, wieviele Mails in einer vorgegenen Zeit versendet werden. ") + hinweis
        + QStringLiteral("Diese Werte sind Erfahrungswerte und müssen für jeden Provider individuell festgelegt werden.");
    const QString modes = QStringLiteral("Hier kann festgelegt werden, ob die Mails gleichzeitig oder zeitlich versetzt versendet werden sollen.") + hinweis
        + QStringLiteral("Der gleichzeitige Versand bringt die höchste Performance. Sollte Ihr Provider die Anzahl der Mails in einem bestimmten Zeitraum limitieren, wählen Sie die Option \"Zeitversetztes Senden\".");
    const Entry entries[] = {
        { EditFrom, QStringLiteral("Von"), QStringLiteral("Der Empfänger findet diese Adresse im \"Von\" Feld dieser Nachricht. Ist keine Reply-To Adresse angegeben, wird sie als Antwortadresse genutzt.") + hinweis + QStringLiteral("Hier muss eine gültige E-Mail Adresse angegeben werden. (z.B.: ") + FromHelpExample() + QStringLiteral(")") },
        { EditName, QStringLiteral("Name"), QStringLiteral("Wenn angegeben sieht der Empfänger diesen Namen an Stelle der Mailadresse im Feld \"Von\". ") + hinweis + QStringLiteral("Diese sinnvolle Feld ist optional.") },
        { EditReplyTo, QStringLiteral("Reply to"), QStringLiteral("Die Reply to Adresse wird benutzt, wenn der Empfänger den Antworten Button seiner Mailanwendung betätigt.") + hinweis + QStringLiteral("Wird hier kein Wert angegeben, so wird die Von Adresse benutzt.") },
        { RadioSendSmtp, QStringLiteral("Send via SMTP"), QStringLiteral("If you select send via SMTP, you have to specify an SMTP server. SMTP servers are provided by your Internet Service Provider.") + hinweis + QStringLiteral("Send via SMTP provides the full performance of Quillory.") },
        { RadioSendMapi, QStringLiteral("Send via MAPI"), QStringLiteral("E-mails that have been sent using MAPI will be sent through your default e-mail client and the sent messages appear in the \"Sent Messages\" folder there.") + hinweis + QStringLiteral("Send via MAPI provides not the full speed of Quillory. For higher performance use \"Send via SMTP\".") },
        { EditSmtpServer, QStringLiteral("SMTP Server: "), QStringLiteral("Ein SMTP Server bearbeitet ausgehende Mails.") + hinweis + QStringLiteral("Wenn Sie die Adresse Ihres SMTP Servers nicht wissen werfen Sie bitte einen Blick in die Einstellungen Ihres Mailprogramms oder kontaktieren Ihren Provider.") },
        { CheckBoxAuthentication, QStringLiteral("SMTP Authentifizierung"), QStringLiteral("Einige SMTP Server erwarten eine Authentifizierung. Ist diese Option gewählt muss ein Benutzername und Kennwort angegeben werden.") + hinweis + QStringLiteral("Wenn Sie nicht sicher sind, ob Sie SMTP Authentifizierung benötigen, schauen Sie in die Einstellungen Ihres Mailprogramms oder kontaktieren Ihren Provider.") },
        { EditUserName, QStringLiteral("SMTP Server Benutzername"), QStringLiteral("Bitte geben Sie den Benutzernamen für Ihren SMTP Server an.") + hinweis + QStringLiteral("Wenn Sie keinen Benutzernamen haben und keine Authentifizierung benötigen schalten Sie bitte \"Server benötigt Authentifizierung\" aus.") },
        { EditPassword, QStringLiteral("SMTP Server Passwort"), QStringLiteral("Bitte geben Sie das Passwort für Ihren SMTP Server an.") + hinweis + QStringLiteral("Wenn Sie kein Passwort haben und keine Authentifizierung benötigen schalten Sie bitte \"Server benötigt Authentifizierung\" aus.") },
        { SpinEditThreads, QStringLiteral("Anzahl der Threads"), QStringLiteral("Bestimmen Sie wieviele Mails Quillory gleichzeitig versenden soll.") + hinweis + QStringLiteral("Bis zu 64 Threads können genutzt werden, was eine optimale Ausnutzung Ihrer Internetanbindung ermöglicht.") },
        { RadioButtonMultiThread, QStringLiteral("Versand Optionen:"), modes },
        { RadioButtonScheduled, QStringLiteral("Versand Optionen:"), modes },
        { RadioButtonPlainTextMail, QStringLiteral("Nur - Text Mail"), QStringLiteral("Wählen Sie diese Option um reine Textmails zu versenden.") + hinweis + QStringLiteral("Textmails sind der kompatibelste Mail Typ. Sie können überall gut betrachtet werden, unterstützen aber zum Beispiel keine Bilder.") },
        { RadioButtonHtmlMail, QStringLiteral("HTML Mail:"), QStringLiteral("Wählen Sie diese Option um HTML Mails zu versenden.") + hinweis + QStringLiteral("HTML Mails bieten zahlreiche Möglickeiten der Gestaltung, können allerdings Probleme mit z.B. Spamfiltern haben.") },
        { CheckBoxSignature, QStringLiteral("Signatur anhängen"), QStringLiteral("Ist diese Option gewählt, wird jeder von Ihnen gesendeten Mail die untenstehende Signatur angehangen.") },
        { MemoSignature, QStringLiteral("Signatur"), QStringLiteral("Diese Signatur kann jeder von Ihnen gesendeten Mail angehängt werden.") + hinweis + QStringLiteral("Ein guter Platz für Ihren Namen, Telefonnummer und Internetadresse.") },
        { ComboBoxCharset, QStringLiteral("Charset:"), QStringLiteral("By default charset is set to \"us-ascii\" which is fine for most emails.") + hinweis + QStringLiteral("Nur für erfahrene Benutzer.") },
        { SpinEditScheduledMails, QStringLiteral("Zeitversetzter Versand:"), scheduled },
        { SpinEditScheduledMinutes, QStringLiteral("Zeitversetzter Versand:"), scheduled },
    };
    for (const Entry& e : entries) {
        if (e.control != control)
            continue;
        LabelTestConnection->clear();
        FConfigHeader = e.header;
        FConfigDescription = e.text;
        // The texts break lines with a lone CR, which a label does not show as a break.
        LabelConfigurationHeader->setText(QString(e.header).replace(QLatin1Char('\r'), QLatin1Char('\n')));
        LabelConfigurationDescription->setText(QString(e.text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
        return true;
    }
    return false;
}

} // namespace app
