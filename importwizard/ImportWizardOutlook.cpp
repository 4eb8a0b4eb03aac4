// The Outlook source of the import wizard: the Outlook page with its six steps over a data file
// the user picks, the property lists of the mapping page, and the run with its summary.
#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportRules.h"
#include "importwizard/ImportWizardForm.h"
#include "importwizard/outlook/ContactProperties.h"
#include "importwizard/outlook/OutlookFile.h"
#include "platform/settings/RegIniFile.h"

#include <QComboBox>
#include <condition_variable>
#include <deque>
#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <chrono>
#include <mutex>
#include <thread>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace importwizard;
using outlook::EOutlookError;

namespace {

const QString kPreparing = QStringLiteral("Bereite einen Import aus Micorsoft Outlook vor ...");
const QString kFailed = QStringLiteral("Fehlgeschlagen.");
const QString kFound = QStringLiteral(" Einträge gefunden.");
const QString kNoValidItems = QStringLiteral(
    "In diesem Verzeichnis wurden keine gültigen Einträge gefunden. Bitte wählen Sie ein anderes Verzeichnis.");
const QString kFileFilter = QStringLiteral("Outlook-Datendateien (*.pst *.ost)|*.pst;*.ost");
const QString kSenderAddresses = QStringLiteral("E-Mail-Adressen der Absender");
const QString kSenderNames = QStringLiteral("Namen der Absender");
const QString kOverviewHint = QStringLiteral(
    "Im Falle unvollständiger Kontakte\r  kann die Anzahl der importierten  \r  von der unten angegebenen abweichen.");

const QStringList& StandardValues()
{
    static const QStringList values{QStringLiteral("CompanyName"), QStringLiteral("Department"),
                                    QStringLiteral("Email1Address"), QStringLiteral("FirstName"),
                                    QStringLiteral("LastName"), QStringLiteral("Title")};
    return values;
}

// The 120 names with "Profession" twice, as the list has always offered them (stored mappings
// count on these positions).
const QStringList& AllValues()
{
    static const QStringList values = [] {
        QStringList v = outlook::ContactPropertyNames();
        v.insert(v.indexOf(QStringLiteral("Profession")), QStringLiteral("Profession"));
        return v;
    }();
    return values;
}

// How long libpff may take for one step (or, in a run, for one item) before the file counts as
// damaged (it never returns on some damaged files).
int gOutlookStepLimit = 8000;

const QString kDamaged = QStringLiteral("Die Datei ist beschädigt oder kann nicht gelesen werden.");

// Runs work in a thread of its own while the window goes on painting and "Abbrechen" works
// (keepAlive is called every few milliseconds and may raise). True when the work ended within the
// time limit (its failure is raised again here); false when it was given up: the thread then
// goes on alone, and whatever it uses must outlive it.
bool InBackground(std::function<void()> work, const std::function<void()>& keepAlive, bool* givenUp)
{
    struct State {
        std::mutex lock;
        bool done = false;
        std::exception_ptr failure;
        std::function<void()> work;
    };
    auto state = std::make_shared<State>();
    state->work = std::move(work);
    std::thread([state] {
        std::exception_ptr failure;
        try {
            state->work();
        } catch (...) {
            failure = std::current_exception();
        }
        state->work = nullptr;
        std::lock_guard<std::mutex> guard(state->lock);
        state->failure = failure;
        state->done = true;
    }).detach();
    QElapsedTimer clock;
    clock.start();
    *givenUp = false;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(state->lock);
            if (state->done)
                break;
        }
        if (clock.elapsed() > gOutlookStepLimit) {
            *givenUp = true;
            return false;
        }
        try {
            keepAlive();
        } catch (...) {
            *givenUp = true;
            throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (state->failure)
        std::rethrow_exception(state->failure);
    return true;
}

// What the run's reading thread makes of one item.
struct TOutlookRow {
    enum TKind { Row, Blank, Failed } kind = Failed;
    QStringList values;
};

// What the run's reading thread shares with the window. The thread reads a bounded number of
// items ahead; the window hands them out and stops it.
struct TOutlookReader {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<TOutlookRow> ready;
    bool stop = false;      // set by the window
    bool finished = false;  // set by the thread once it no longer touches the file
    std::shared_ptr<void> kept;  // what a thread that did not come back still uses
    static constexpr size_t kAhead = 64;
};

// Failures of the settings store never stop the page.
int ReadOutlookInt(settings::TRegIniFile& s, const QString& name, int def)
{
    try {
        return s.ReadInteger(TImportWizardForm::SettingsSection, name, def);
    } catch (const settings::ERegistryException&) {
        return def;
    }
}

} // namespace

void TImportWizardForm::BuildOutlookPage()
{
    QWidget* page = TabSheetConnectToOutlook;
    auto* caption = new QLabel(QStringLiteral("Vorbereiten eines Imports aus Microsoft Outlook:"), page);
    caption->setObjectName(QStringLiteral("LabelOutlookCaption"));
    caption->move(144, 8);
    caption->adjustSize();

    auto line = [&](const QString& name, const QString& text, int row) {
        auto* label = new TProgressLabel(page);
        label->setObjectName(name);
        label->SetDescription(text);
        label->SetPadding(5);
        // The source page has its own "LabelDescription".
        label->DescriptionLabel()->setObjectName(name + QStringLiteral("Description"));
        label->setGeometry(144, 24 + row * 16, 293, std::max(16, label->height()));
        return label;
    };
    PLCreate = line(QStringLiteral("PLCreate"), QStringLiteral("Erstelle Outlook Instanz"), 0);
    PLConnecting = line(QStringLiteral("PLConnecting"), QStringLiteral("Verbinde mit Outlook Instanz"), 1);
    PLCheckVersion = line(QStringLiteral("PLCheckVersion"), QStringLiteral("Überprüfe Version"), 2);
    PLLogon = line(QStringLiteral("PLLogon"), QStringLiteral("Anmeldung an Outlook"), 3);
    PLSelectFolder = line(QStringLiteral("PLSelectFolder"), QStringLiteral("Wähle Outlook Verzeichnis"), 4);
    PLSearchContacts = line(QStringLiteral("PLSearchContacts"), QStringLiteral("Suche Kontakte"), 5);

    auto* options = new QGroupBox(QStringLiteral("Optionen"), page);
    options->setObjectName(QStringLiteral("GroupBoxOutlookOptions"));
    options->setGeometry(144, 120, 293, 54);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(8, 0, 8, 2);
    optionsLayout->setSpacing(0);
    RadioButtonOutlookAllowDuplicates = new QRadioButton(QStringLiteral("Duplikate zulassen"), options);
    RadioButtonOutlookAllowDuplicates->setObjectName(QStringLiteral("RadioButtonOutlookAllowDuplicates"));
    RadioButtonOutlookNoDuplicates = new QRadioButton(QStringLiteral("Keine Duplikate erstellen"), options);
    RadioButtonOutlookNoDuplicates->setObjectName(QStringLiteral("RadioButtonOutlookNoDuplicates"));
    optionsLayout->addWidget(RadioButtonOutlookAllowDuplicates);
    optionsLayout->addWidget(RadioButtonOutlookNoDuplicates);
    RadioButtonOutlookAllowDuplicates->setChecked(true);

    auto* description = new QGroupBox(QStringLiteral("Beschreibung"), page);
    description->setObjectName(QStringLiteral("GroupBoxOutlookDescription"));
    description->setGeometry(144, 176, 293, 72);
    auto* descriptionLayout = new QVBoxLayout(description);
    descriptionLayout->setContentsMargins(8, 0, 8, 2);
    descriptionLayout->setSpacing(0);
    LabelOutlookDescription1 = new QLabel(kPreparing, description);
    LabelOutlookDescription1->setObjectName(QStringLiteral("LabelOutlookDescription1"));
    LabelOutlookDescription2 = new QLabel(kPreparing, description);
    LabelOutlookDescription2->setObjectName(QStringLiteral("LabelOutlookDescription2"));
    // The longer texts take two lines.
    for (QLabel* label : {LabelOutlookDescription1, LabelOutlookDescription2}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        descriptionLayout->addWidget(label);
    }
    descriptionLayout->addStretch();
}

bool TImportWizardForm::OutlookNoDuplicates() const
{
    return RadioButtonOutlookNoDuplicates->isChecked();
}

void TImportWizardForm::TabSheetConnectToOutlookShow()
{
    if (ReadOutlookInt(*FSettings, QStringLiteral("OutlookAllowDuplicates"), 1) == 1)
        RadioButtonOutlookAllowDuplicates->setChecked(true);
    else
        RadioButtonOutlookNoDuplicates->setChecked(true);
}

void TImportWizardForm::TabSheetConnectToOutlookHide()
{
    try {
        FSettings->WriteInteger(SettingsSection, QStringLiteral("OutlookAllowDuplicates"),
                                RadioButtonOutlookAllowDuplicates->isChecked() ? 1 : 0);
    } catch (const settings::ERegistryException&) {
    }
}

// ---- the six steps -----------------------------------------------------------------------

bool TImportWizardForm::ConnectToOutlook()
{
    // The data file takes the place of the running program: the user picks it, and it opens.
    const QString fileName = FDialogs->OpenFileName(this, QStringLiteral("pst"), kFileFilter, FOutlookFileName);
    if (fileName.isEmpty())
        return false;
    FOutlookItem.reset();
    FOutlookFolder.reset();
    FOutlookFile.reset();
    auto opened = std::make_shared<std::unique_ptr<outlook::IDataFile>>();
    try {
        TBusy busy(this);
        bool givenUp = false;
        if (!InBackground([opened, opener = FOutlookOpener, fileName] { *opened = opener(fileName); },
                          [this] { KeepWindowAlive(); }, &givenUp)) {
            ShowOutlookFailure(kDamaged, QString());
            return false;
        }
    } catch (const TWorkCancelled&) {
        return false;
    } catch (const std::exception& e) {
        ShowOutlookFailure(kDamaged, QString::fromUtf8(e.what()));
        return false;
    }
    FOutlookFile = std::move(*opened);
    FOutlookFileName = fileName;
    return FOutlookFile != nullptr;
}

void TImportWizardForm::ShowOutlookFailure(const QString& cause, const QString& detail)
{
    LabelOutlookDescription1->setText(cause);
    LabelOutlookDescription2->setText(detail);
}

bool TImportWizardForm::OutlookStep(const std::function<void(outlook::IDataFile&)>& step)
{
    outlook::IDataFile* file = FOutlookFile.get();
    auto keep = std::make_shared<std::shared_ptr<void>>();
    bool givenUp = false;
    try {
        TBusy busy(this);
        if (InBackground([file, step, keep] { step(*file); }, [this] { KeepWindowAlive(); }, &givenUp))
            return true;
        ShowOutlookFailure(kDamaged, QString());
    } catch (const TWorkCancelled&) {
    } catch (const std::exception& e) {
        ShowOutlookFailure(kDamaged, QString::fromUtf8(e.what()));
    }
    if (givenUp)
        *keep = TakeOutlookFile();
    return false;
}

bool TImportWizardForm::PrepareImportFromOutlook()
{
    LabelOutlookDescription1->setText(kPreparing);
    LabelOutlookDescription2->clear();
    ButtonNext->setEnabled(false);

    PLCreate->ShowProgress();
    if (!ConnectToOutlook()) {
        PLCreate->ShowFailed();
        return false;
    }
    PLCreate->ShowDone();

    outlook::TFolderNode tree;
    {
        FDialogs->BeginWaitCursor();
        struct EndWait {
            IWizardDialogs* dialogs;
            ~EndWait() { dialogs->EndWaitCursor(); }
        } endWait{FDialogs};

        PLConnecting->ShowProgress();
        if (!OutlookStep([](outlook::IDataFile& file) { file.OpenMessageStore(); })) {
            PLConnecting->ShowFailed();
            return false;
        }
        PLConnecting->ShowDone();

        // A layout that cannot be told goes on, as a name that cannot be read did.
        PLCheckVersion->ShowProgress();
        try {
            if (FOutlookFile->FileType() == outlook::TFileType::Other) {
                PLCheckVersion->ShowFailed();
                ShowOutlookFailure(QStringLiteral("Die Datei ist keine Outlook-Datendatei, die gelesen werden kann."), QString());
                return false;
            }
            PLCheckVersion->ShowDone();
        } catch (const std::exception&) {
            PLCheckVersion->ShowFailed();
        }

        // A store's password only guards Outlook's own window: the folders are read without it.
        PLLogon->ShowProgress();
        auto read = std::make_shared<outlook::TFolderNode>();
        if (!OutlookStep([read](outlook::IDataFile& file) { *read = file.FolderTree(); })) {
            PLLogon->ShowFailed();
            return false;
        }
        tree = *read;
        PLLogon->ShowDone();
    }
    QCoreApplication::processEvents();

    PLSelectFolder->ShowProgress();
    FOutlookItem.reset();
    FOutlookFolder.reset();
    const std::optional<quint32> picked = FDialogs->PickOutlookFolder(this, tree);
    if (picked) {
        // libpff fetches a large folder's items in a while.
        auto folder = std::make_shared<std::unique_ptr<outlook::IFolder>>();
        const quint32 id = *picked;
        if (!OutlookStep([folder, id](outlook::IDataFile& file) { *folder = file.Folder(id); })) {
            PLSelectFolder->ShowFailed();
            return false;
        }
        FOutlookFolder = std::move(*folder);
        PLSelectFolder->ShowDone();
    }

    PLSearchContacts->ShowProgress();
    if (!FOutlookFolder) {
        PLSelectFolder->ShowFailed();
        // The line may still carry the count of an earlier attempt.
        PLSearchContacts->SetFailedString(kFailed);
        PLSearchContacts->ShowFailed();
        ButtonRetry->show();
        ButtonNext->hide();
        return false;
    }
    // Not guarded: a folder whose items cannot be counted reaches the general error handling.
    const int count = FOutlookFolder->Count();
    if (count != 0) {
        PLSearchContacts->SetDoneString(QString::number(count) + QLatin1Char(' ') + kFound);
        PLSearchContacts->ShowDone();
        ButtonRetry->hide();
        ButtonNext->show();
        LabelOutlookDescription1->setText(QStringLiteral("Import aus Microsoft Outlook wurde erfolgreich vorbereitet."));
        LabelOutlookDescription2->setText(QStringLiteral("Bitte drücken Sie \"Weiter\" um fortzufahren."));
    } else {
        PLSearchContacts->SetFailedString(QStringLiteral("0") + QLatin1Char(' ') + kFound);
        PLSearchContacts->ShowFailed();
        ButtonRetry->show();
        ButtonNext->hide();
        LabelOutlookDescription1->setText(QStringLiteral("Keine Einträge gefunden in diesem Verzeichnis."));
        LabelOutlookDescription2->setText(QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis."));
    }
    ButtonNext->setEnabled(true);
    raise();
    activateWindow();
    return true;
}

void TImportWizardForm::ButtonRetryClick()
{
    PrepareImportFromOutlook();
}

// ---- the mapping page --------------------------------------------------------------------

QStringList TImportWizardForm::OutlookValues() const
{
    if (FOutlookItem && FOutlookItem->Class() == outlook::olMail)
        return {kSenderAddresses, kSenderNames};
    return ComboBoxDefaultAll->currentIndex() == 1 ? AllValues() : StandardValues();
}

void TImportWizardForm::FillOutlookMapping(const QStringList& values, bool assign)
{
    FAssociationBox->SetDescriptions(FDescriptions);
    FAssociationBox->SetDropDownValues(values);
    if (assign)
        AssignSelectedItems(values, FDescriptions, QStringLiteral("MSOAssociations"));
}

void TImportWizardForm::SetOutlookTimeLimit(int milliseconds)
{
    gOutlookStepLimit = milliseconds;
}

std::shared_ptr<void> TImportWizardForm::TakeOutlookFile()
{
    struct TKept {
        std::unique_ptr<outlook::IDataFile> file;
        std::unique_ptr<outlook::IFolder> folder;
        std::unique_ptr<outlook::IItem> item;
    };
    auto kept = std::make_shared<TKept>();
    kept->file = std::move(FOutlookFile);
    kept->folder = std::move(FOutlookFolder);
    kept->item = std::move(FOutlookItem);
    return kept;
}

void TImportWizardForm::AssociateOutlook()
{
    // The first contact or mail decides the lists; the items are read in a thread with a time limit.
    FOutlookItem.reset();
    auto found = std::make_shared<std::unique_ptr<outlook::IItem>>();
    if (outlook::IFolder* folder = FOutlookFolder.get()) {
        auto keep = std::make_shared<std::shared_ptr<void>>();
        bool givenUp = false;
        bool read = false;
        try {
            TBusy busy(this);
            read = InBackground(
                [folder, found, keep] {
                    const int count = folder->Count();
                    for (int p = 1; p <= count; ++p) {
                        try {
                            std::unique_ptr<outlook::IItem> item = folder->Item(p);
                            const outlook::TItemClass itemClass = item->Class();
                            if (itemClass == outlook::olContact || itemClass == outlook::olMail) {
                                *found = std::move(item);
                                return;
                            }
                        } catch (const std::exception&) {
                            // An item that cannot be read is passed over.
                        }
                    }
                },
                [this] { KeepWindowAlive(); }, &givenUp);
        } catch (const TWorkCancelled&) {
        } catch (const std::exception&) {
        }
        if (givenUp)
            *keep = TakeOutlookFile();
        if (FCancelled)
            return;
        if (!read) {
            ShowMessage(kDamaged);
            ButtonBackClick();
            ButtonBackClick();
            return;
        }
        FOutlookItem = std::move(*found);
    }
    if (FOutlookItem) {
        const outlook::TItemClass itemClass = FOutlookItem->Class();
        if (itemClass == outlook::olContact) {
            ComboBoxDefaultAll->show();
            FillOutlookMapping(OutlookValues(), true);
            return;
        }
        if (itemClass == outlook::olMail) {
            ComboBoxDefaultAll->hide();
            FillOutlookMapping(OutlookValues(), true);
            return;
        }
    }
    // No contact and no mail, also when the last items could not be read: back to the source page.
    ShowMessage(kNoValidItems);
    ButtonBackClick();
    ButtonBackClick();
}

void TImportWizardForm::ComboBoxDefaultAllSelect()
{
    if (!FOutlookItem || FOutlookItem->Class() != outlook::olContact)
        return;
    // Every row keeps its property by name where the new list holds it.
    FAssociationBox->SetKeepSelection(false);
    FillOutlookMapping(OutlookValues(), false);
    FAssociationBox->SetKeepSelection(true);
}

// ---- reading values ----------------------------------------------------------------------

QString TImportWizardForm::getMAPIContactDetail(outlook::IItem& item, const QString& name)
{
    if (!outlook::FindContactProperty(name))
        return {};
    return item.ContactProperty(name);
}

QString TImportWizardForm::getMAPIMailDetail(outlook::IItem& item, const QString& name)
{
    if (name == kSenderAddresses)
        return item.SenderEmailAddress();
    if (name == kSenderNames)
        return item.SenderName();
    return {};
}

bool TImportWizardForm::IsPlausibleAddress(const QString& text)
{
    return text.contains(QLatin1Char('@')) && text.contains(QLatin1Char('.')) && text.size() > 6;
}

QString TImportWizardForm::ResolveSMTPAddress(outlook::IItem& item, const QString& address)
{
    // The address book asked is the data file itself: the item's stored SMTP forms.
    try {
        const QString smtp = item.SmtpAddress(address);
        if (IsPlausibleAddress(smtp))
            return smtp;
    } catch (const std::exception&) {
    }
    return address;
}

// ---- overview and run --------------------------------------------------------------------

void TImportWizardForm::OverviewOutlook()
{
    LabelFileCaption->setText(QStringLiteral("Hinweise:"));
    LabelFileCaption->adjustSize();
    LabelFileCaption->show();
    LabelFileValue->hide();
    LabelHint->setText(QString(kOverviewHint).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    LabelHint->adjustSize();
    LabelHint->show();
    for (QLabel* label : {LabelOptionsCaption, LabelOptionsValue, LabelSeparatorCaption, LabelSeparatorValue,
                          LabelIgnoreFirstRowCaption, LabelIgnoreFirstRowValue})
        label->hide();
    ProgressPanelImport->SetMax(FOutlookFolder->Count());
}

void TImportWizardForm::ImportFromOutlook()
{
    int failed = 0;
    int blank = 0;
    const outlook::TItemClass wrapper = FOutlookItem ? FOutlookItem->Class() : outlook::olUnusable;
    if (wrapper != outlook::olContact && wrapper != outlook::olMail)
        throw EOutlookError(QStringLiteral("Das Element konnte nicht gelesen werden."));
    const QStringList names = FAssociationBox->GetSelectedTexts();
    const bool noDuplicates = OutlookNoDuplicates();

    // The items are read in a thread of their own, a few ahead of the window, which hands out
    // each row as it arrives: the window stays live, and a file on which libpff stops answering
    // ends the run after the time limit with the rows handed out so far.
    auto reader = std::make_shared<TOutlookReader>();
    outlook::IFolder* folder = FOutlookFolder.get();
    std::thread([reader, folder, names] {
        int count = 0;
        try {
            count = folder->Count();
        } catch (const std::exception&) {
        }
        for (int p = 1; p <= count; ++p) {
            {
                std::unique_lock<std::mutex> guard(reader->lock);
                reader->changed.wait(guard, [&] { return reader->stop || reader->ready.size() < TOutlookReader::kAhead; });
                if (reader->stop)
                    break;
            }
            TOutlookRow row;
            try {
                std::unique_ptr<outlook::IItem> item = folder->Item(p);
                const outlook::TItemClass itemClass = item->Class();
                if (itemClass != outlook::olContact && itemClass != outlook::olMail)
                    throw EOutlookError(QStringLiteral("Wrong class type"));
                row.values.reserve(names.size());
                for (qsizetype i = names.size() - 1; i >= 0; --i)
                    row.values.append(itemClass == outlook::olContact ? getMAPIContactDetail(*item, names[i])
                                                                      : getMAPIMailDetail(*item, names[i]));
                if (!row.values.isEmpty() && !IsPlausibleAddress(row.values[0]))
                    row.values[0] = ResolveSMTPAddress(*item, row.values[0]);
                row.kind = row.values.join(QString()).trimmed().isEmpty() ? TOutlookRow::Blank : TOutlookRow::Row;
            } catch (const std::exception&) {
                row = TOutlookRow();
            }
            std::lock_guard<std::mutex> guard(reader->lock);
            reader->ready.push_back(std::move(row));
            reader->changed.notify_all();
        }
        std::lock_guard<std::mutex> guard(reader->lock);
        reader->finished = true;
        reader->changed.notify_all();
    }).detach();

    bool damaged = false;
    auto stopReader = [&] {
        std::unique_lock<std::mutex> guard(reader->lock);
        reader->stop = true;
        reader->changed.notify_all();
        // An item being read is finished within moments; a thread that does not come back keeps
        // the file.
        if (!reader->changed.wait_for(guard, std::chrono::milliseconds(damaged ? 0 : 300), [&] { return reader->finished; })) {
            reader->kept = TakeOutlookFile();
        }
    };
    try {
        Bracketed([&] {
            QElapsedTimer sinceLast;
            sinceLast.start();
            std::deque<TOutlookRow> batch;
            for (;;) {
                bool finished = false;
                {
                    std::unique_lock<std::mutex> guard(reader->lock);
                    if (reader->ready.empty() && !reader->finished)
                        reader->changed.wait_for(guard, std::chrono::milliseconds(5));
                    batch.swap(reader->ready);
                    finished = reader->finished && batch.empty();
                    reader->changed.notify_all();
                }
                if (finished || Cancelled())
                    break;
                if (batch.empty()) {
                    if (sinceLast.elapsed() > gOutlookStepLimit) {
                        damaged = true;
                        break;
                    }
                    ProcessMessages();
                    continue;
                }
                sinceLast.start();
                for (TOutlookRow& row : batch) {
                    if (Cancelled())
                        break;
                    if (row.kind == TOutlookRow::Failed)
                        ++failed;
                    else if (row.kind == TOutlookRow::Blank)
                        ++blank;
                    else
                        HandOutRow(row.values, noDuplicates);
                    ProcessMessages();
                    ProgressPanelImport->StepIt();
                }
                batch.clear();
            }
        });
    } catch (...) {
        stopReader();
        throw;
    }
    stopReader();

    if (damaged)
        ShowMessage(kDamaged);
    QString text;
    if (failed > 0)
        text = QString::number(failed + blank) + QStringLiteral(" Objekte konnten nicht importiert werden in ")
               + QCoreApplication::applicationName()
               + QStringLiteral(".\r Leider gibt Outlook keine weiteren Informationen zu diesen Objekten zurück.\r");
    if (blank > 0)
        text += QString::number(blank) + QStringLiteral(" Objekt(e) hatte(n) weder Namen noch Adresse.");
    if (!text.isEmpty())
        ShowMessage(text);
    SetFinished();
}
