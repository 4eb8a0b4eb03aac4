#include "app/PreviewPage.h"

#include "core/OrvUtils.h"
#include "controls/shell/OrvFileList.h"
#include "htmleditor/HtmlPreview.h"
#include "mailing/MailingJob.h"
#include "mailing/MyMessage.h"
#include "platform/db/DataSet.h"
#include "recipients/Recipients.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>

namespace app {

namespace {
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kOrange(255, 120, 0);
} // namespace

QString FillPlaceholders(QString text, const QStringList& names, const QStringList& values, bool html)
{
    for (int i = 0; i < names.size(); ++i) {
        const QString value = html ? EscapeHtml(values.value(i)) : values.value(i);
        core::ReplaceAllText(text, QLatin1Char('%') + names[i] + QLatin1Char('%'), value);
        if (html) {
            const QString escapedName = EscapeHtml(names[i]);
            if (escapedName != names[i])
                core::ReplaceAllText(text, QLatin1Char('%') + escapedName + QLatin1Char('%'), value);
        }
    }
    return text;
}

TPreviewPage::TPreviewPage(const TPreviewPageControls& controls, IMailContent& content, QObject* parent)
    : QObject(parent), c(controls), m_content(content), m_dataSource(std::make_unique<db::TDataSource>())
{
    m_dataSource->OnDataChange = [this](db::TDataSource*, db::TField*) { DataSourcePreviewDataChange(); };
    for (QLabel* l : {c.LabelPFrom, c.DBTextTo, c.DBTextFirstName, c.DBTextLastName, c.LabelPSubject, c.LabelPreviewPosition})
        if (l)
            l->setTextFormat(Qt::PlainText); // recipient values are text, never markup
    auto nav = [this](QToolButton* b, int how) {
        if (b)
            connect(b, &QToolButton::clicked, this, [this, how] { Navigate(how); });
    };
    nav(c.NavFirst, 0);
    nav(c.NavPrior, 1);
    nav(c.NavNext, 2);
    nav(c.NavLast, 3);
    if (TOrvFileList* l = c.OrvFileListAttOverview) {
        // The overview follows renames and deletions of its own files, and adds nothing: a file
        // created beside an attachment is not an attachment.
        l->Notifier().SetRecursive(false);
        l->Notifier().SetEventFilter(NotifySet(neFileDelete, neFileRename, neFolderDelete, neFolderRename));
        // A renamed attachment is renamed in the content page's list as well: the mailing sends
        // what that list holds.
        auto follow = l->Notifier().OnChange;
        l->Notifier().OnChange = [this, l, follow](TOrvShellChangeNotifier* sender, TNotificationEvent event, const QString& p1,
                                                  const QString& p2) {
            const bool renamed = event == neFileRename && l->ContainsPath(p1);
            if (follow)
                follow(sender, event, p1, p2);
            if (renamed && OnAttachmentRenamed)
                OnAttachmentRenamed(p1, p2);
        };
    }
}

TPreviewPage::~TPreviewPage()
{
    m_dataSource->OnDataChange = nullptr;
    m_dataSource->SetDataSet(nullptr);
}

void TPreviewPage::SetLabel(QLabel* label, const QString& text, const QColor& color, bool bold)
{
    if (!label)
        return;
    QFont f = label->font();
    f.setBold(bold);
    label->setFont(f);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    label->setText(text);
}

void TPreviewPage::FillAttachmentOverview(const QStringList& paths)
{
    TOrvFileList* list = c.OrvFileListAttOverview;
    list->Clear();
    list->setVisible(!paths.isEmpty());
    QStringList folders;
    for (const QString& p : paths) {
        list->AddFile(p);
        folders << shell::ExtractFilePath(p);
    }
    list->Notifier().SetDirectories(folders);
}

void TPreviewPage::Navigate(int how)
{
    if (!fPreviewRecipients || !fPreviewRecipients->Active())
        return;
    try {
        switch (how) {
        case 0: fPreviewRecipients->First(); break;
        case 1: fPreviewRecipients->Prior(); break;
        case 2: fPreviewRecipients->Next(); break;
        default: fPreviewRecipients->Last(); break;
        }
    } catch (...) {
        if (OnApplicationException)
            OnApplicationException(std::current_exception());
    }
}

void TPreviewPage::TabPreviewShow()
{
    const db::TExtADODataSet* list = ListDataSet ? ListDataSet() : nullptr;
    m_dataSource->SetDataSet(nullptr);
    fPreviewRecipients.reset();
    bool hasRecords = false;
    if (list) {
        fPreviewRecipients = std::make_unique<recipients::TRecipients>(*list);
        m_dataSource->SetDataSet(fPreviewRecipients.get());
        m_dataSource->SetEnabled(true);
        try {
            fPreviewRecipients->Open(); // shows the first recipient
            hasRecords = !fPreviewRecipients->IsEmpty();
        } catch (...) {
            if (OnApplicationException)
                OnApplicationException(std::current_exception());
        }
    }
    if (hasRecords) {
        SetLabel(c.DBTextTo, c.DBTextTo->text(), kBlack, false);
    } else {
        SetLabel(c.DBTextTo, QStringLiteral("Keine Empfänger in der Liste."), kRed, true);
        c.LabelPreviewPosition->setText(QStringLiteral("-/-"));
        for (QLabel* l : {c.DBTextFirstName, c.DBTextLastName})
            if (l)
                l->clear();
    }
    const QString from = From ? From() : QString();
    const QString name = Name ? Name() : QString();
    QString fromText = from.isEmpty() ? QStringLiteral("Keine gültige E-Mail Adresse angegeben.") : from;
    if (!name.isEmpty())
        fromText += QStringLiteral(" (") + name + QLatin1Char(')');
    SetLabel(c.LabelPFrom, fromText, from.isEmpty() ? kRed : kBlack, from.isEmpty());
    if (!hasRecords) {
        // No recipient: the mail with its placeholders as written.
        ShowMail({}, {});
    }
    if (!m_content.Subject().isEmpty())
        SetLabel(c.LabelPSubject, c.LabelPSubject->text(), kBlack, false);
    else
        SetLabel(c.LabelPSubject, QStringLiteral("Keine Betreffzeile angegeben."), kOrange, true);
}

void TPreviewPage::TabPreviewHide()
{
    m_dataSource->SetDataSet(nullptr);
    fPreviewRecipients.reset();
}

void TPreviewPage::DataSourcePreviewDataChange()
{
    recipients::TRecipients* r = fPreviewRecipients.get();
    if (!r || !r->Active())
        return;
    if (r->IsEmpty())
        return;
    c.LabelPreviewPosition->setText(QString::number(r->RecNo()) + QLatin1Char('/') + QString::number(r->RecordCount()));

    auto fieldText = [r](const char* name) {
        db::TField* f = r->FindField(QLatin1String(name));
        return f ? f->AsString() : QString();
    };
    const QString email = fieldText("Email"), first = fieldText("First Name"), last = fieldText("Last Name");
    const bool anyName = !first.isEmpty() || !last.isEmpty();
    c.DBTextTo->setText(email + (anyName ? QStringLiteral(" (") : QString()));
    c.DBTextFirstName->setText(first + (!first.isEmpty() && !last.isEmpty() ? QStringLiteral(" ") : QString()));
    c.DBTextFirstName->setVisible(!first.isEmpty());
    c.DBTextLastName->setText(last + (anyName ? QStringLiteral(")") : QString()));

    const QStringList names = r->FieldNames();
    QStringList values;
    for (const QString& n : names)
        values << r->FieldByName(n)->AsString();
    ShowMail(names, values);
}

void TPreviewPage::ShowMail(const QStringList& names, const QStringList& values)
{
    if (!m_content.Subject().isEmpty())
        c.LabelPSubject->setText(FillPlaceholders(m_content.Subject(), names, values, false));

    if (!m_content.HtmlMode()) {
        QString text = m_content.PlainBody();
        if (m_content.SignatureOn()) {
            // As the mailing appends it: on a line of its own.
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1Char('\r')))
                text += QLatin1Char('\n');
            text += m_content.Signature();
        }
        c.PanelWebBrowserP->setVisible(false);
        c.PanelPBody->setVisible(true);
        c.MemoPBody->setPlainText(FillPlaceholders(text, names, values, false));
        return;
    }
    const QString body = FillPlaceholders(m_content.Html(), names, values, true);
    if (body.isEmpty())
        return;
    try {
        c.WebBrowserP->SetDocument(body);
        c.PanelWebBrowserP->setVisible(true);
        c.PanelPBody->setVisible(false);
    } catch (...) {
        if (OnApplicationException)
            OnApplicationException(std::current_exception());
    }
}

} // namespace app
