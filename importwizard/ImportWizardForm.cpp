#include "importwizard/ImportWizardForm.h"

#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/dataaccess/ChildWork.h"
#include "importwizard/dataaccess/ForeignDb.h"
#include "platform/settings/RegIniFile.h"
#include "spreadsheet/XLSBook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace importwizard;

const QString TImportWizardForm::SettingsSection = QStringLiteral("ImportWizard");

namespace {

const QString kNext = QStringLiteral("Weiter >");
const QString kFinish = QStringLiteral("Fertigstellen");
const QString kClose = QStringLiteral("Schließen");
const QString kNoFileName = QStringLiteral("Bitte geben Sie die für den Import benötigte Datei an.");
const QString kNoSuchFile = QStringLiteral("Der angegebene Dateiname existiert nicht.");
const QString kNoColumn = QStringLiteral("Bitte geben Sie mindestens eine Spalte an.");
const QString kNoSheet = QStringLiteral("Bitte geben Sie das benötigte Arbeitsblatt an.");
const QString kNoTable = QStringLiteral("Bitte bestimmen Sie eine Tabelle für den Import.");
const QString kOpenFailed = QStringLiteral(
    "Die angegebe Datei konnte nicht geöffnet werden. Bitte achten Sie darauf, dass die Datei nicht bereits "
    "von einer anderen Anwendung geöffnet ist.");

// The wizard whose window the waits for child processes keep alive.
TImportWizardForm* gWaitingWizard = nullptr;

struct SourceText {
    TImportType type;
    QString item;
    QString description;
};

const SourceText kSources[] = {
    {itCSV, QStringLiteral("Comma Separated Values (CSV)"),
     QStringLiteral("Eine CSV Datei (Comma Separated Values) enthält eine Tabelle als eine Serie von ASCII Zeichen, "
                    "wobei die Werte einer Spalte durch Trennzeichen getrennt werden und jeder neue Datensatz in "
                    "einer neuen Zeile beginnt.")},
    {itOutlook, QStringLiteral("Micosoft Outlook Verzeichnis"),
     QStringLiteral("Diese Option erlaubt Ihnen den direkten Import von Kontakten aus MS Outlook.\r\rHinweis: "
                    "\rUnterstützt Outlook 98 oder höher.")},
    {itDatabase, QStringLiteral("Datenbankverbindung / Microsoft Access Datei"),
     QStringLiteral("Nutzen Sie Verbindungen zu Datenbanken wie Microsoft Access oder SQL Server. Sie können alle "
                    "auf Ihrem System installierten ADO Treiber benutzen.")},
    {itExcel, QStringLiteral("Microsoft Excel Datei"),
     QStringLiteral("Diese Option erlaubt Ihnen Kontake direkt aus MS Excel Dateien zu importieren. \r\rHinweis: "
                    "\rEs wird keine Excel Installation benötigt.")},
    {itAccess, QStringLiteral("Microsoft Access Datei"),
     QStringLiteral("Diese Option erlaubt Ihnen Kontake direkt aus MS Access Dateien zu importieren.")},
};

QPixmap SidePicture()
{
    QPixmap pixmap(126, 226);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, 0, 226);
    gradient.setColorAt(0, QColor(38, 84, 150));
    gradient.setColorAt(1, QColor(170, 200, 235));
    p.fillRect(pixmap.rect(), gradient);
    p.setPen(QColor(255, 255, 255, 160));
    for (int i = 0; i < 5; ++i)
        p.drawRect(18 + i * 6, 150 - i * 22, 90 - i * 12, 60 - i * 4);
    return pixmap;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

void SetLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

// A value label 5 pixels right of its caption when the caption reaches beyond 60 pixels.
void PlaceValue(const QLabel* caption, QLabel* value)
{
    const int right = caption->x() + caption->fontMetrics().horizontalAdvance(caption->text());
    if (right > 60)
        value->move(right + 5, value->y());
}

} // namespace

// ---- creation ----------------------------------------------------------------------------

QString TImportWizardForm::SettingsKeyPath()
{
    return QStringLiteral("Software\\ORV Software\\") + QCoreApplication::applicationName();
}

TImportWizardForm::TImportWizardForm(QWidget* owner)
    : QDialog(owner)
    , FDialogs(&FQtDialogs)
{
    setProperty("HelpContext", 6); // F1 in the wizard opens the wizard's help page
    FOutlookOpener = outlook::OpenDataFile;
    // FormCreate
    FSettings = std::make_unique<settings::TRegIniFile>(SettingsKeyPath());
    FImportTypes = {itCSV, itDatabase, itExcel, itAccess};
    BuildWindow();
    // Files read by child processes (Access) keep the window painting and "Abbrechen" live; the
    // newest wizard is the one the user works with.
    gWaitingWizard = this;
    dataaccess::TChildWork::SetWaitHook([this] { KeepWindowAlive(); });
}

TImportWizardForm::~TImportWizardForm()
{
    // FormDestroy: the query and the connection close before the window goes.
    FQuery.reset();
    FConnection.reset();
    if (gWaitingWizard == this) {
        gWaitingWizard = nullptr;
        dataaccess::TChildWork::SetWaitHook(nullptr);
    }
    // The Outlook objects go with the window.
    FOutlookItem.reset();
    FOutlookFolder.reset();
    FOutlookFile.reset();
}

void TImportWizardForm::SetDialogs(IWizardDialogs* dialogs)
{
    FDialogs = dialogs ? dialogs : &FQtDialogs;
}

void TImportWizardForm::SetOutlookOpener(TOutlookOpener opener)
{
    FOutlookOpener = opener ? std::move(opener) : TOutlookOpener(outlook::OpenDataFile);
}

void TImportWizardForm::BuildWindow()
{
    setObjectName(QStringLiteral("ImportWizardForm"));
    setWindowTitle(QStringLiteral("Import Wizard"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(445, 292);

    PageControlImportWizard = new QStackedWidget(this);
    PageControlImportWizard->setObjectName(QStringLiteral("PageControlImportWizard"));
    PageControlImportWizard->setGeometry(0, 0, 445, 250);

    auto makePage = [this](const QString& name) {
        auto* page = new QWidget;
        page->setObjectName(name);
        PageControlImportWizard->addWidget(page);
        return page;
    };
    TabSheetSelectSource = makePage(QStringLiteral("TabSheetSelectSource"));
    TabSheetCSVFiles = makePage(QStringLiteral("TabSheetCSVFiles"));
    TabSheetXLSFiles = makePage(QStringLiteral("TabSheetXLSFiles"));
    TabSheetXLSSheetSelect = makePage(QStringLiteral("TabSheetXLSSheetSelect"));
    TabSheetDBType = makePage(QStringLiteral("TabSheetDBType"));
    TabSheetConnectToOutlook = makePage(QStringLiteral("TabSheetConnectToOutlook"));
    TabSheetCSVAssociations = makePage(QStringLiteral("TabSheetCSVAssociations"));
    TabSheetOverview = makePage(QStringLiteral("TabSheetOverview"));

    // The picture of the left strip stands beside every page.
    ImageSide = new QLabel(this);
    ImageSide->setObjectName(QStringLiteral("ImageSide"));
    ImageSide->setFrameShape(QFrame::Box);
    ImageSide->setGeometry(8, 8, 128, 228);
    ImageSide->setPixmap(SidePicture());
    ImageSide->raise();

    auto makeButton = [this](const QString& name, const QString& text, int x, int w) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        button->setGeometry(x, 258, w, 25);
        return button;
    };
    ButtonCancel = makeButton(QStringLiteral("ButtonCancel"), QStringLiteral("Abbrechen"), 357, 80);
    ButtonNext = makeButton(QStringLiteral("ButtonNext"), kNext, 271, 84);
    ButtonBack = makeButton(QStringLiteral("ButtonBack"), QStringLiteral("< Zurück"), 185, 84);
    ButtonRetry = makeButton(QStringLiteral("ButtonRetry"), QStringLiteral("Wiederholen"), 271, 84);
    ButtonRetry->hide();
    ButtonAddField = makeButton(QStringLiteral("ButtonAddField"), QStringLiteral("Feld hinzufügen"), 8, 120);
    ButtonAddField->hide();

    connect(ButtonNext, &QPushButton::clicked, this, [this] { ButtonNextClick(); });
    connect(ButtonBack, &QPushButton::clicked, this, [this] { ButtonBackClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
    connect(ButtonAddField, &QPushButton::clicked, this, [this] { AddAColumn(); });
    connect(ButtonRetry, &QPushButton::clicked, this, [this] { ButtonRetryClick(); });

    BuildSourcePage();
    BuildCsvPage();
    BuildXlsPages();
    BuildDbPage();
    BuildOutlookPage();
    BuildMappingPage();
    BuildOverviewPage();

    FPageHooks.insert(TabSheetSelectSource, {[this] { TabSheetSelectSourceShow(); }, [this] { TabSheetSelectSourceHide(); }});
    FPageHooks.insert(TabSheetCSVFiles, {[this] { TabSheetCSVFilesShow(); }, [this] { TabSheetCSVFilesHide(); }});
    FPageHooks.insert(TabSheetXLSFiles, {[this] { TabSheetXLSFilesShow(); }, [this] { TabSheetXLSFilesHide(); }});
    FPageHooks.insert(TabSheetXLSSheetSelect, {nullptr, [this] { TabSheetXLSSheetSelectHide(); }});
    FPageHooks.insert(TabSheetDBType, {[this] { TabSheetDBTypeShow(); }, [this] { TabSheetDBTypeHide(); }});
    FPageHooks.insert(TabSheetConnectToOutlook,
                      {[this] { TabSheetConnectToOutlookShow(); }, [this] { TabSheetConnectToOutlookHide(); }});
    FPageHooks.insert(TabSheetCSVAssociations,
                      {[this] { TabSheetCSVAssociationsShow(); }, [this] { TabSheetCSVAssociationsHide(); }});
    FPageHooks.insert(TabSheetOverview, {[this] { TabSheetOverviewShow(); }, nullptr});
}

void TImportWizardForm::BuildSourcePage()
{
    QWidget* page = TabSheetSelectSource;
    MakeLabel(page, QStringLiteral("LabelSelectSource"), QStringLiteral("Bitte wählen Sie die Art des Imports"), 144, 8);
    ListBoxSourceType = new QListWidget(page);
    ListBoxSourceType->setObjectName(QStringLiteral("ListBoxSourceType"));
    ListBoxSourceType->setGeometry(144, 28, 293, 86);
    connect(ListBoxSourceType, &QListWidget::currentRowChanged, this, [this] { ListBoxSourceTypeClick(); });

    GroupBoxDescription = new QGroupBox(QStringLiteral("Beschreibung"), page);
    GroupBoxDescription->setObjectName(QStringLiteral("GroupBoxDescription"));
    GroupBoxDescription->setGeometry(144, 118, 293, 128);
    LabelDescription = new QLabel(GroupBoxDescription);
    LabelDescription->setObjectName(QStringLiteral("LabelDescription"));
    LabelDescription->setWordWrap(true);
    LabelDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(GroupBoxDescription);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(LabelDescription);
}

void TImportWizardForm::BuildCsvPage()
{
    QWidget* page = TabSheetCSVFiles;
    MakeLabel(page, QStringLiteral("LabelCSVFilename"), QStringLiteral("Dateiname:"), 144, 8);
    EditCSVFilename = new QLineEdit(page);
    EditCSVFilename->setObjectName(QStringLiteral("EditCSVFilename"));
    EditCSVFilename->setGeometry(144, 26, 237, 23);
    SpeedButtonFilenameDialog = new QToolButton(page);
    SpeedButtonFilenameDialog->setObjectName(QStringLiteral("SpeedButtonFilenameDialog"));
    SpeedButtonFilenameDialog->setText(QStringLiteral("..."));
    SpeedButtonFilenameDialog->setToolTip(QStringLiteral("Empfängerliste aus Datei laden"));
    SpeedButtonFilenameDialog->setGeometry(385, 26, 24, 23);
    SpeedButtonOpenImportEditor = new QToolButton(page);
    SpeedButtonOpenImportEditor->setObjectName(QStringLiteral("SpeedButtonOpenImportEditor"));
    SpeedButtonOpenImportEditor->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    SpeedButtonOpenImportEditor->setToolTip(QStringLiteral("Im Editor öffnen"));
    SpeedButtonOpenImportEditor->setGeometry(413, 26, 24, 23);
    connect(SpeedButtonFilenameDialog, &QToolButton::clicked, this, [this] { SpeedButtonFilenameDialogClick(); });
    connect(SpeedButtonOpenImportEditor, &QToolButton::clicked, this, [this] { SpeedButtonOpenImportEditorClick(); });

    auto* options = new QGroupBox(QStringLiteral("Optionen"), page);
    options->setObjectName(QStringLiteral("GroupBoxCSVOptions"));
    options->setGeometry(144, 58, 293, 106);
    auto* layout = new QVBoxLayout(options);
    RadioButtonCSVAllowDuplicates = new QRadioButton(QStringLiteral("Duplikate zulassen"), options);
    RadioButtonCSVAllowDuplicates->setObjectName(QStringLiteral("RadioButtonCSVAllowDuplicates"));
    RadioButtonCSVNoDuplicates = new QRadioButton(QStringLiteral("Keine Duplikate erstellen"), options);
    RadioButtonCSVNoDuplicates->setObjectName(QStringLiteral("RadioButtonCSVNoDuplicates"));
    RadioButtonCSVReplaceDuplicates = new QRadioButton(QStringLiteral("Duplikate durch neue Einträge ersetzten"), options);
    RadioButtonCSVReplaceDuplicates->setObjectName(QStringLiteral("RadioButtonCSVReplaceDuplicates"));
    layout->addWidget(RadioButtonCSVAllowDuplicates);
    layout->addWidget(RadioButtonCSVNoDuplicates);
    layout->addWidget(RadioButtonCSVReplaceDuplicates);
    RadioButtonCSVNoDuplicates->setChecked(true);

    BegrenzerComboBox = new QComboBox(page);
    BegrenzerComboBox->setObjectName(QStringLiteral("BegrenzerComboBox"));
    BegrenzerComboBox->setToolTip(QStringLiteral("Wählen Sie ein Trennzeichen"));
    BegrenzerComboBox->addItems({QStringLiteral(";"), QStringLiteral(":"), QStringLiteral(","), QStringLiteral("\tTab")});
    BegrenzerComboBox->setCurrentIndex(0);
    BegrenzerComboBox->setGeometry(144, 172, 80, 23);
    MakeLabel(page, QStringLiteral("LabelSeparator"), QStringLiteral("Trennzeichen"), 232, 176);
}

void TImportWizardForm::BuildMappingPage()
{
    QWidget* page = TabSheetCSVAssociations;
    MakeLabel(page, QStringLiteral("LabelAssociations"), QStringLiteral("Bitte weisen Sie die Spalten zu:"), 144, 8);
    FAssociationBox = new TAssociationBox(page);
    FAssociationBox->setObjectName(QStringLiteral("AssociationBox"));
    FAssociationBox->setGeometry(144, 28, 293, 186);

    CheckBoxIgnoreFirstRow = new QCheckBox(QStringLiteral("Erste Zeile ignorieren"), page);
    CheckBoxIgnoreFirstRow->setObjectName(QStringLiteral("CheckBoxIgnoreFirstRow"));
    CheckBoxIgnoreFirstRow->setGeometry(144, 222, 200, 22);
    CheckBoxIgnoreFirstRow->setChecked(true);
    connect(CheckBoxIgnoreFirstRow, &QCheckBox::toggled, this, [this] { CheckBoxIgnoreFirstRowClick(); });

    UpDown1 = new QWidget(page);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setToolTip(QStringLiteral("Ausgewählte Reihen ansehen"));
    UpDown1->setGeometry(393, 220, 44, 24);
    auto* prev = new QToolButton(UpDown1);
    prev->setObjectName(QStringLiteral("UpDown1Prev"));
    prev->setArrowType(Qt::LeftArrow);
    prev->setGeometry(0, 0, 22, 24);
    auto* next = new QToolButton(UpDown1);
    next->setObjectName(QStringLiteral("UpDown1Next"));
    next->setArrowType(Qt::RightArrow);
    next->setGeometry(22, 0, 22, 24);
    connect(prev, &QToolButton::clicked, this, [this] { UpDown1Click(btPrev); });
    connect(next, &QToolButton::clicked, this, [this] { UpDown1Click(btNext); });

    // The Outlook source's list selector, in the place of "Erste Zeile ignorieren".
    ComboBoxDefaultAll = new QComboBox(page);
    ComboBoxDefaultAll->setObjectName(QStringLiteral("ComboBoxDefaultAll"));
    ComboBoxDefaultAll->addItems({QStringLiteral("Standardwerte"), QStringLiteral("Alle Werte")});
    ComboBoxDefaultAll->setCurrentIndex(0);
    ComboBoxDefaultAll->setGeometry(144, 220, 130, 23);
    ComboBoxDefaultAll->hide();
    connect(ComboBoxDefaultAll, &QComboBox::currentIndexChanged, this, [this] { ComboBoxDefaultAllSelect(); });
}

void TImportWizardForm::BuildOverviewPage()
{
    QWidget* page = TabSheetOverview;
    QLabel* heading = MakeLabel(page, QStringLiteral("LabelOverview"), QStringLiteral("Import Übersicht"), 144, 8);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->adjustSize();

    auto* box = new QGroupBox(QStringLiteral("Optionen"), page);
    box->setObjectName(QStringLiteral("GroupBoxOverviewOptions"));
    box->setGeometry(144, 26, 293, 114);
    // Like the progress panel below it, a smaller font lets the longest option ("Duplikate durch
    // neue Einträge ersetzten") stand whole beside its caption.
    QFont boxFont = box->font();
    boxFont.setPointSizeF(QFontInfo(boxFont).pointSizeF() * 0.75);
    box->setFont(boxFont);
    QFont boldValue = boxFont;
    boldValue.setBold(true);
    auto value = [&](const QString& name, int y) {
        QLabel* label = MakeLabel(box, name, QString(), 66, y);
        label->setFont(boldValue);
        return label;
    };
    QLabel* typeCaption = MakeLabel(box, QStringLiteral("LabelTypeCaption"), QStringLiteral("Typ:"), 8, 20);
    LabelTypeValue = value(QStringLiteral("LabelTypeValue"), 20);
    LabelFileCaption = MakeLabel(box, QStringLiteral("LabelFileCaption"), QStringLiteral("Datei:"), 8, 38);
    LabelFileValue = value(QStringLiteral("LabelFileValue"), 38);
    LabelHint = MakeLabel(box, QStringLiteral("LabelHint"), QString(), 66, 38);
    LabelHint->hide();
    LabelOptionsCaption = MakeLabel(box, QStringLiteral("LabelOptionsCaption"), QStringLiteral("Optionen:"), 8, 56);
    LabelOptionsValue = value(QStringLiteral("LabelOptionsValue"), 56);
    LabelSeparatorCaption = MakeLabel(box, QStringLiteral("LabelSeparatorCaption"), QStringLiteral("Trennzeichen:"), 8, 74);
    LabelSeparatorValue = value(QStringLiteral("LabelSeparatorValue"), 74);
    LabelIgnoreFirstRowCaption =
        MakeLabel(box, QStringLiteral("LabelIgnoreFirstRowCaption"), QStringLiteral("Erste Zeile ignorieren:"), 8, 92);
    LabelIgnoreFirstRowValue = value(QStringLiteral("LabelIgnoreFirstRowValue"), 92);
    // The values stand right of the captions of the first rows, whatever the font.
    int valueX = 66;
    for (const QLabel* caption : {typeCaption, LabelFileCaption, LabelOptionsCaption})
        valueX = std::max(valueX, caption->x() + caption->width() + 6);
    for (QLabel* label : {LabelTypeValue, LabelFileValue, LabelHint, LabelOptionsValue, LabelSeparatorValue,
                          LabelIgnoreFirstRowValue})
        label->move(valueX, label->y());

    ProgressPanelImport = new TProgressPanel(page);
    ProgressPanelImport->setObjectName(QStringLiteral("ProgressPanelImport"));
    ProgressPanelImport->setTitle(QStringLiteral("Fortschritt"));
    // A smaller font keeps the four German captions and their values apart on the narrow page.
    QFont small = ProgressPanelImport->font();
    small.setPointSizeF(QFontInfo(small).pointSizeF() * 0.8);
    ProgressPanelImport->setFont(small);
    ProgressPanelImport->setGeometry(142, 144, 299, 100);
    ProgressPanelImport->SetCaptionLeft(QStringLiteral("Reihen verbleibend: "));
    ProgressPanelImport->SetCaptionDone(QStringLiteral("Reihen erledigt: "));
    ProgressPanelImport->SetCaptionTimeLeft(QStringLiteral("Zeit verbleibend: "));
    ProgressPanelImport->SetCaptionTimeNeeded(QStringLiteral("Zeit benötigt: "));
    ProgressPanelImport->SetDateTimeFormat(QStringLiteral("nn:ss"));
    ProgressPanelImport->SetMin(0);
    ProgressPanelImport->SetMax(0);
    ProgressPanelImport->SetStep(1);
}

// ---- settings ----------------------------------------------------------------------------
// A settings file that cannot be read or written never stops the wizard: reads fall back to
// their defaults and failed writes are dropped.

namespace {

int ReadInt(settings::TRegIniFile& s, const QString& name, int def)
{
    try {
        return s.ReadInteger(TImportWizardForm::SettingsSection, name, def);
    } catch (const settings::ERegistryException&) {
        return def;
    }
}

template <typename Write>
void Store(Write&& write)
{
    try {
        write();
    } catch (const settings::ERegistryException&) {
    }
}

} // namespace

// ---- page machine ------------------------------------------------------------------------

void TImportWizardForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TImportWizardForm::FormShow()
{
    ListBoxSourceType->clear();
    for (const SourceText& source : kSources) {
        if (!FImportTypes.Contains(source.type))
            continue;
        auto* item = new QListWidgetItem(source.item, ListBoxSourceType);
        item->setData(Qt::UserRole, int(source.type));
    }
    ListBoxSourceType->setCurrentRow(-1);
    ButtonRetry->hide();
    ButtonNext->show();
    FPreviewRow = 1;
    ListBoxSourceTypeClick();
    RadioButtonCSVReplaceDuplicates->setVisible(bool(OnReplaceDoubles));
    FCurrentPage = nullptr;
    SetActivePage(TabSheetSelectSource);
    ButtonBack->setEnabled(false);
}

void TImportWizardForm::SetActivePage(QWidget* page)
{
    if (FCurrentPage) {
        const PageHooks hooks = FPageHooks.value(FCurrentPage);
        if (hooks.leave)
            hooks.leave();
    }
    FCurrentPage = page;
    PageControlImportWizard->setCurrentWidget(page);
    const PageHooks hooks = FPageHooks.value(page);
    if (hooks.enter)
        hooks.enter();
}

int TImportWizardForm::SelectedSourceIndex() const
{
    return ListBoxSourceType->currentRow();
}

void TImportWizardForm::ShowMessage(const QString& text)
{
    FDialogs->ShowMessage(this, text);
}

void TImportWizardForm::Refuse(const QString& message)
{
    ShowMessage(message);
}

void TImportWizardForm::ListBoxSourceTypeClick()
{
    QListWidgetItem* item = ListBoxSourceType->currentItem();
    if (!item)
        return;
    const int type = item->data(Qt::UserRole).toInt();
    for (const SourceText& source : kSources) {
        if (source.type == type) {
            // The texts break their lines with CR.
            LabelDescription->setText(QString(source.description).replace(QLatin1Char('\r'), QLatin1Char('\n')));
            break;
        }
    }
}

void TImportWizardForm::TabSheetSelectSourceShow()
{
    const int index = ReadInt(*FSettings, QStringLiteral("SourceSelection"), 0);
    ListBoxSourceType->setCurrentRow(index >= 0 && index < ListBoxSourceType->count() ? index : -1);
    ListBoxSourceTypeClick();
}

void TImportWizardForm::TabSheetSelectSourceHide()
{
    const int index = SelectedSourceIndex();
    if (index >= 0)
        Store([&] { FSettings->WriteInteger(SettingsSection, QStringLiteral("SourceSelection"), index); });
}

void TImportWizardForm::ButtonNextClick()
{
    ButtonBack->setEnabled(true);
    if (ButtonNext->text() == kClose) {
        done(QDialog::Accepted);
        return;
    }
    QListWidgetItem* item = ListBoxSourceType->currentItem();
    if (!item)
        return;
    FImportType = TImportType(item->data(Qt::UserRole).toInt());

    QWidget* page = PageControlImportWizard->currentWidget();
    if (page == TabSheetSelectSource) {
        switch (FImportType) {
        case itCSV:
            SetActivePage(TabSheetCSVFiles);
            break;
        case itDatabase:
            AskForDataSource();
            // Without a connection and its tables the wizard stays on the source page.
            if (PageControlImportWizard->currentWidget() != TabSheetDBType)
                return;
            break;
        case itExcel:
        case itAccess:
            SetActivePage(TabSheetXLSFiles);
            break;
        case itOutlook:
            SetActivePage(TabSheetConnectToOutlook);
            repaint();
            if (!PrepareImportFromOutlook()) {
                ButtonNext->setEnabled(false);
                return;
            }
            break;
        }
    } else if (page == TabSheetCSVFiles) {
        const QString fileName = EditCSVFilename->text();
        if (fileName.isEmpty()) {
            Refuse(kNoFileName);
            return;
        }
        if (!QFileInfo(fileName).isFile()) {
            Refuse(kNoSuchFile);
            return;
        }
        if (const QString refusal = CsvRefusal(); !refusal.isEmpty()) {
            Refuse(refusal);
            return;
        }
        ShowMappingControls(true, true);
        SetActivePage(TabSheetCSVAssociations);
        // Loading "Erste Zeile ignorieren" may already have filled the page, or gone back when the
        // file could not be read.
        if (PageControlImportWizard->currentWidget() == TabSheetCSVAssociations)
            AssociateCSVFiles(FPreviewRow);
    } else if (page == TabSheetXLSFiles) {
        const QString fileName = EditXLSFileName->text();
        if (fileName.isEmpty()) {
            Refuse(kNoFileName);
            return;
        }
        if (!QFileInfo(fileName).isFile()) {
            Refuse(kNoSuchFile);
            return;
        }
        if (FImportType == itExcel) {
            try {
                GetXLSSheets();
            } catch (const std::exception&) {
                // Not a workbook, encrypted, or not readable: the page stays.
                Refuse(kOpenFailed);
                return;
            }
            SetActivePage(TabSheetXLSSheetSelect);
        } else {
            OpenAccessFile();
        }
    } else if (page == TabSheetXLSSheetSelect) {
        if (ListBoxXLSSheets->currentRow() < 0) {
            Refuse(kNoSheet);
            return;
        }
        ShowMappingControls(true, true);
        SetActivePage(TabSheetCSVAssociations);
        AssociateXLSRows(FPreviewRow);
    } else if (page == TabSheetDBType) {
        if (ComboBoxTables->currentText().isEmpty()) {
            Refuse(kNoTable);
            return;
        }
        ShowMappingControls(true, false);
        SetActivePage(TabSheetCSVAssociations);
        AssociateDBRows(FPreviewRow);
    } else if (page == TabSheetConnectToOutlook) {
        ShowMappingControls(false, false, true);
        SetActivePage(TabSheetCSVAssociations);
        AssociateOutlook();
    } else if (page == TabSheetCSVAssociations) {
        if (!MapsAnyColumn(FAssociationBox->GetSelectedItems())) {
            Refuse(kNoColumn);
            return;
        }
        if (FImportType == itExcel)
            ProgressPanelImport->SetMax(CountXLSRows());
        SetActivePage(TabSheetOverview);
        ButtonNext->setText(kFinish);
    } else if (page == TabSheetOverview) {
        ButtonNext->setEnabled(false);
        ButtonBack->setEnabled(false);
        DoImport();
    }
    ButtonNext->setEnabled(true);
}

void TImportWizardForm::ButtonBackClick()
{
    ButtonNext->setEnabled(true);
    ButtonNext->setText(kNext);
    QWidget* page = PageControlImportWizard->currentWidget();
    if (page == TabSheetCSVFiles || page == TabSheetXLSFiles || page == TabSheetDBType
        || page == TabSheetConnectToOutlook) {
        if (FImportType == itDatabase || FImportType == itAccess)
            CloseConnection();
        SetActivePage(TabSheetSelectSource);
        ButtonBack->setEnabled(false);
    } else if (page == TabSheetXLSSheetSelect) {
        SetActivePage(TabSheetXLSFiles);
    } else if (page == TabSheetCSVAssociations) {
        switch (FImportType) {
        case itCSV:
            SetActivePage(TabSheetCSVFiles);
            break;
        case itOutlook:
            SetActivePage(TabSheetConnectToOutlook);
            break;
        case itExcel:
            SetActivePage(TabSheetXLSSheetSelect);
            break;
        case itDatabase:
        case itAccess:
            SetActivePage(TabSheetDBType);
            CloseConnection();
            SetActivePage(TabSheetSelectSource);
            ButtonBack->setEnabled(false);
            break;
        }
    } else if (page == TabSheetOverview) {
        SetActivePage(TabSheetCSVAssociations);
    }
    if (ButtonRetry->isVisible()) {
        ButtonRetry->hide();
        ButtonNext->show();
    }
}

void TImportWizardForm::ButtonCancelClick()
{
    SetCancelled();
    done(QDialog::Rejected);
}

void TImportWizardForm::reject()
{
    if (ButtonCancel->isEnabled())
        ButtonCancelClick();
}

void TImportWizardForm::SetCancelled()
{
    FCancelled = true;
}

void TImportWizardForm::SetFinished()
{
    ButtonNext->setText(kClose);
    ButtonNext->setDefault(true);
    ButtonBack->setEnabled(false);
    ButtonCancel->setEnabled(false);
}

// ---- overview ----------------------------------------------------------------------------

QString TImportWizardForm::SelectedOption(std::initializer_list<const QRadioButton*> options) const
{
    for (const QRadioButton* radio : options) {
        if (radio->isChecked())
            return radio->text();
    }
    return QString();
}

void TImportWizardForm::TabSheetOverviewShow()
{
    QListWidgetItem* item = ListBoxSourceType->currentItem();
    if (!item)
        return;
    try {
        SetLabel(LabelTypeValue, item->text());
        QString valueName;
        switch (FImportType) {
        case itCSV:
            valueName = QStringLiteral("CSVAssociations");
            break;
        case itExcel:
            valueName = QStringLiteral("XLSAssociations");
            break;
        case itDatabase:
        case itAccess:
            valueName = QStringLiteral("DBAssociations");
            break;
        case itOutlook:
            valueName = QStringLiteral("MSOAssociations");
            break;
        }
        Store([&] { FSettings->WriteString(SettingsSection, valueName, JoinMapping(FAssociationBox->GetSelectedItems())); });
        switch (FImportType) {
        case itCSV:
            OverviewCsv();
            break;
        case itExcel:
            OverviewXls();
            break;
        case itDatabase:
        case itAccess:
            OverviewDb();
            break;
        case itOutlook:
            OverviewOutlook();
            break;
        }
    } catch (const std::exception&) {
        // What could not be filled in stays as it was.
    }
    FitOverviewValues();
}

void TImportWizardForm::FitOverviewValues()
{
    // The first values stand right of the widest of their captions (the second caption changes
    // with the source); a path, provider or sheet list too long for the box is shortened in its
    // middle and shows the whole text as its tip.
    QWidget* box = LabelTypeValue->parentWidget();
    int valueX = 66;
    for (const QLabel* caption : { box->findChild<const QLabel*>(QStringLiteral("LabelTypeCaption")),
                                   static_cast<const QLabel*>(LabelFileCaption), static_cast<const QLabel*>(LabelOptionsCaption) }) {
        if (caption && !caption->isHidden())
            valueX = std::max(valueX, caption->x() + caption->fontMetrics().horizontalAdvance(caption->text()) + 6);
    }
    for (QLabel* value : { LabelTypeValue, LabelFileValue, LabelHint, LabelOptionsValue })
        value->move(valueX, value->y());
    const int right = box->contentsRect().right() - 4;
    LabelSeparatorValue->setToolTip(QString()); // the file value's tip is set with its text
    for (QLabel* value : { LabelFileValue, LabelSeparatorValue }) {
        const QString text = value->text();
        const int room = right - value->x();
        if (value->fontMetrics().horizontalAdvance(text) <= room)
            continue;
        if (value->toolTip().isEmpty())
            value->setToolTip(text);
        SetLabel(value, value->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    }
}

namespace {

// The rows of the overview every source sets: the second row's caption and value, the options,
// the fourth row, and whether the last row is shown.
void SetOverviewRow(QLabel* caption, QLabel* value, const QString& captionText, bool visible = true)
{
    SetLabel(caption, captionText);
    caption->setVisible(visible);
    value->setVisible(visible);
}

} // namespace

void TImportWizardForm::OverviewCsv()
{
    const QString fileName = EditCSVFilename->text();
    SetOverviewRow(LabelFileCaption, LabelFileValue, QStringLiteral("Datei:"));
    LabelHint->hide();
    SetOverviewRow(LabelOptionsCaption, LabelOptionsValue, QStringLiteral("Optionen:"));
    SetLabel(LabelOptionsValue,
             SelectedOption({RadioButtonCSVAllowDuplicates, RadioButtonCSVNoDuplicates, RadioButtonCSVReplaceDuplicates}));
    SetOverviewRow(LabelSeparatorCaption, LabelSeparatorValue, QStringLiteral("Trennzeichen:"));
    SetLabel(LabelSeparatorValue, SeparatorDescription(CsvSeparator()));
    SetOverviewRow(LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue, QStringLiteral("Erste Zeile ignorieren:"));

    ProgressPanelImport->SetMax(CountCsvRecords());

    PlaceValue(LabelSeparatorCaption, LabelSeparatorValue);
    PlaceValue(LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue);
    SetLabel(LabelFileValue, ShortFileName(fileName));
    LabelFileValue->setToolTip(fileName.size() > 30 ? fileName : QString());

    const bool ignoreFirst = CheckBoxIgnoreFirstRow->isChecked();
    SetLabel(LabelIgnoreFirstRowValue, ignoreFirst ? QStringLiteral("Ja") : QStringLiteral("Nein"));
    if (ignoreFirst)
        ProgressPanelImport->SetMax(ProgressPanelImport->Max() - 1);
}

void TImportWizardForm::OverviewXls()
{
    const QString fileName = EditXLSFileName->text();
    SetOverviewRow(LabelFileCaption, LabelFileValue, QStringLiteral("Die Datei :"));
    LabelHint->hide();
    SetOverviewRow(LabelOptionsCaption, LabelOptionsValue, QStringLiteral("Optionen:"));
    SetLabel(LabelOptionsValue, SelectedOption({RadioButtonXLSAllowDuplicates, RadioButtonXLSNoDuplicates,
                                                RadioButtonXLSReplaceDuplicates}));
    SetOverviewRow(LabelSeparatorCaption, LabelSeparatorValue, QStringLiteral("Arbeitsblatt:"));
    QStringList sheets;
    for (const QListWidgetItem* sheet : ListBoxXLSSheets->selectedItems())
        sheets.append(sheet->text());
    SetLabel(LabelSeparatorValue, sheets.join(QStringLiteral(", ")));
    SetOverviewRow(LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue, QStringLiteral("Erste Zeile ignorieren:"));

    PlaceValue(LabelSeparatorCaption, LabelSeparatorValue);
    PlaceValue(LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue);
    SetLabel(LabelFileValue, ShortFileName(fileName));
    LabelFileValue->setToolTip(fileName.size() > 30 ? fileName : QString());

    // The maximum is the count taken when the mapping page was left.
    const bool ignoreFirst = CheckBoxIgnoreFirstRow->isChecked();
    SetLabel(LabelIgnoreFirstRowValue, ignoreFirst ? QStringLiteral("Ja") : QStringLiteral("Nein"));
    if (ignoreFirst)
        ProgressPanelImport->SetMax(ProgressPanelImport->Max() - 1);
}

void TImportWizardForm::OverviewDb()
{
    SetOverviewRow(LabelFileCaption, LabelFileValue, QStringLiteral("Provider:"));
    LabelHint->hide();
    SetOverviewRow(LabelOptionsCaption, LabelOptionsValue, QStringLiteral("Optionen:"));
    SetLabel(LabelOptionsValue,
             SelectedOption({RadioButtonDBAllowDuplicates, RadioButtonDBNoDuplicates, RadioButtonDBReplaceDuplicates}));
    SetOverviewRow(LabelSeparatorCaption, LabelSeparatorValue, QStringLiteral("Tabelle:"));
    SetLabel(LabelSeparatorValue, ComboBoxTables->currentText());
    SetOverviewRow(LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue, QStringLiteral("Erste Zeile ignorieren:"), false);

    PlaceValue(LabelSeparatorCaption, LabelSeparatorValue);
    SetLabel(LabelIgnoreFirstRowValue,
             CheckBoxIgnoreFirstRow->isChecked() ? QStringLiteral("Ja") : QStringLiteral("Nein"));
    // A provider that cannot be named does not keep the count from being taken.
    QString provider;
    try {
        provider = FConnection->ProviderName();
    } catch (const std::exception&) {
    }
    SetLabel(LabelFileValue, ShortFileName(provider));
    LabelFileValue->setToolTip(provider.size() > 30 ? provider : QString());

    // The run reads the query opened here.
    TBusy busy(this);
    FQuery->SetSQL(TableQueryText());
    FQuery->Open();
    ProgressPanelImport->SetMax(FQuery->RecordCount());
}

// ---- the run -----------------------------------------------------------------------------

void TImportWizardForm::DoImport()
{
    bool opened = true;
    FDialogs->BeginWaitCursor();
    try {
        switch (FImportType) {
        case itCSV:
            opened = ImportFromCSV();
            break;
        case itExcel:
            ImportFromXLS();
            break;
        case itDatabase:
        case itAccess:
            ImportFromDB();
            break;
        case itOutlook:
            ImportFromOutlook();
            break;
        }
    } catch (...) {
        FDialogs->EndWaitCursor();
        throw;
    }
    FDialogs->EndWaitCursor();
    // Nothing was handed out: "Fertigstellen" tries again, "Abbrechen" gives up.
    if (!opened)
        ShowMessage(CsvOpenFailedMessage());
}

void TImportWizardForm::HandOutRow(QStringList& row, bool noDuplicates)
{
    if (noDuplicates && OnDoRowOutput && OnDoRowOutput(QStringLiteral("Email"), row.value(0)))
        return;
    if (OnRowOutput)
        OnRowOutput(row);
}

void TImportWizardForm::ProcessMessages()
{
    // Often enough for a smooth window and a prompt "Abbrechen", seldom enough not to slow the run.
    if (FMessagesTimer.isValid() && FMessagesTimer.elapsed() < 10)
        return;
    QCoreApplication::processEvents();
    FMessagesTimer.start();
}
