#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelSupport.h"
#include "excreport/SivrelTypes.h"
#include <QDir>
#include <algorithm>

namespace excreport {

namespace {

// The scrambled-string writer drops a lone trailing CR LF: a text longer than one character whose
// first CR LF is its last two characters.
QString WithoutTrailingLineBreak(const QString& text)
{
    if (text.size() > 1 && text.indexOf(QStringLiteral("\r\n")) == text.size() - 2)
        return text.left(text.size() - 2);
    return text;
}

void WriteText(TSivrelStream& stream, const QString& text)
{
    stream.WriteScrambled(WithoutTrailingLineBreak(text));
}

// Texts that an older stream does not hold.
bool TextStored(int index, int v)
{
    if (index == 15 && v < 420)
        return false;
    if (index == 14 && v <= 420)
        return false;
    if (v < 450) {
        if ((index >= 8 && index <= 11) || (index >= 16 && index <= 18) || index == 23 || index == 37
            || index == 45 || index == 47 || index == 48 || index >= 53)
            return false;
    }
    return true;
}

// The file-name part of a path (after the last "/").
qsizetype FileNameStart(const QString& path)
{
    return path.lastIndexOf(u'/') + 1;
}

QString ExtensionOf(const QString& path)
{
    const qsizetype start = FileNameStart(path);
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= start ? path.mid(dot) : QString();
}

QString ChangeExtension(const QString& path, const QString& ext)
{
    const qsizetype start = FileNameStart(path);
    const qsizetype dot = path.lastIndexOf(u'.');
    return (dot >= start ? path.left(dot) : path) + ext;
}

QString InStateFolder(const QString& path)
{
    if (path.startsWith(u'/'))
        return path;
    const QString base = SivrelStateFolder();
    return path.isEmpty() ? base : base + u'/' + path;
}

} // namespace

QString SivrelStateFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.startsWith(u'/'))
        return state;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

TSivrelModuleOptions::TSivrelModuleOptions(const QString& moduleName, bool bound)
    : m_Bound(bound), m_ModuleName(moduleName)
{
    SetDefaults();
    m_UpdateCount = 0;
}

void TSivrelModuleOptions::NotifyChanged()
{
    if (m_UpdateCount <= 0 && m_Bound && m_ModuleName == SivrelThisModuleFileName())
        Changed();
}

void TSivrelModuleOptions::SetMaxLogReports(int32_t value)
{
    m_MaxLogReports = value == 0 ? 1 : value;
    NotifyChanged();
}

void TSivrelModuleOptions::SetFreezeActive(bool value)
{
    m_FreezeActive = value;
    NotifyChanged();
}

void TSivrelModuleOptions::SetActive(bool value)
{
    m_Active = value;
}

void TSivrelModuleOptions::SetCustomMessageClasses(const QStringList& value)
{
    m_CustomMessageClasses = value;
    NotifyChanged();
}

void TSivrelModuleOptions::SetCustomMessages(const QStringList& value)
{
    m_CustomMessages = value;
    NotifyChanged();
}

QString TSivrelModuleOptions::GetText(int index) const
{
    return index >= 0 && index < SivrelTextCount ? m_Texts[index] : QString();
}

void TSivrelModuleOptions::SetText(int index, const QString& value)
{
    if (index < 0 || index >= SivrelTextCount)
        return;
    m_Texts[index] = value;
    NotifyChanged();
}

void TSivrelModuleOptions::SetDefaults()
{
    BeginUpdate();
    m_Texts = SivrelDefaultTexts();
    SetSmtpFrom(SivrelDefaultSmtpFrom());
    SetSmtpHost(QString());
    SetSmtpUser(QString());
    SetSmtpPassword(QString());
    SetSmtpPort(25);
    SetTerminateAction(taRestart);
    SetFreezeActive(false);
    SetFreezeTimeout(60);
    SetFreezeMessage(QStringLiteral("The application seems to be frozen."));
    SetCustomDialogLook(true);
    SetLogSections(0xFFFFFFFFu);
    SetSpareSwitch(true);
    SetUseCustomMessages(true);
    SetShowDialog(true);
    SetLogInMailBody(false);
    SetAttachScreenshot(false);
    SetShowSmtpProgress(true);
    SetOfferTerminate(true);
    SetSaveLog(true);
    SetMailWholeLog(false);
    SetLogFlags(0);
    SetInitialTab(0);
    SetMaxLogReports(32);
    SetTerminateThreshold(3);
    SetOutputPath(QString());
    SetEmailAddress(QString());
    SetEmailSubject(QString());
    SetEmailBody(QString());
    SetSendMode(smNone);
    SetActive(true);
    EndUpdate();
    NotifyChanged();
}

void TSivrelModuleOptions::Assign(const TSivrelModuleOptions* source)
{
    if (!source)
        throw EConvertError(QStringLiteral("Impossible to assign nil as TSivrelModuleOptions."));
    if (source == this)
        return;
    BeginUpdate();
    m_CustomMessageClasses = source->m_CustomMessageClasses;
    m_CustomMessages = source->m_CustomMessages;
    m_Texts = source->m_Texts;
    SetSpareSwitch(source->SpareSwitch());
    SetSaveLog(source->SaveLog());
    SetCustomDialogLook(source->CustomDialogLook());
    SetFreezeActive(source->FreezeActive());
    SetFreezeTimeout(source->FreezeTimeout());
    SetFreezeMessage(source->FreezeMessage());
    SetSmtpFrom(source->SmtpFrom());
    SetSmtpHost(source->SmtpHost());
    SetSmtpPort(source->SmtpPort());
    SetSmtpUser(source->SmtpUser());
    SetSmtpPassword(source->SmtpPassword());
    SetShowSmtpProgress(source->ShowSmtpProgress());
    SetInitialTab(source->InitialTab());
    SetUseCustomMessages(source->UseCustomMessages());
    SetShowDialog(source->ShowDialog());
    SetLogInMailBody(source->LogInMailBody());
    SetMailWholeLog(source->MailWholeLog());
    SetAttachScreenshot(source->AttachScreenshot());
    SetOfferTerminate(source->OfferTerminate());
    SetTerminateAction(source->TerminateAction());
    SetLogFlags(source->LogFlags());
    SetMaxLogReports(source->MaxLogReports());
    SetTerminateThreshold(source->TerminateThreshold());
    SetOutputPath(source->OutputPath());
    SetEmailAddress(source->EmailAddress());
    SetEmailSubject(source->EmailSubject());
    SetEmailBody(source->EmailBody());
    SetSendMode(source->SendMode());
    SetLogSections(source->LogSections());
    EndUpdate();
    NotifyChanged();
}

void TSivrelModuleOptions::SaveToStream(TSivrelStream& s) const
{
    s.WriteByte(m_SpareSwitch);
    s.WriteByte(m_UseCustomMessages);
    s.WriteByte(m_LogFlags);
    s.WriteByte(m_ShowDialog);
    s.WriteByte(m_LogInMailBody);
    s.WriteByte(m_MailWholeLog);
    s.WriteByte(m_AttachScreenshot);
    s.WriteByte(m_ShowSmtpProgress);
    s.WriteByte(m_SaveLog);
    s.WriteByte(m_InitialTab);
    s.WriteByte(m_CustomDialogLook);
    s.WriteByte(m_FreezeActive);
    s.WriteInteger(m_FreezeTimeout);
    WriteText(s, m_FreezeMessage);
    WriteText(s, m_SmtpFrom);
    WriteText(s, m_SmtpHost);
    s.WriteWord(m_SmtpPort);
    WriteText(s, m_SmtpUser);
    WriteText(s, m_SmtpPassword);
    s.WriteByte(m_TerminateAction);
    s.WriteByte(m_OfferTerminate);
    s.WriteInteger(m_MaxLogReports);
    s.WriteInteger(m_TerminateThreshold);
    WriteText(s, m_EmailAddress);
    WriteText(s, m_EmailSubject);
    s.WriteByte(m_SendMode);
    s.WriteLongWord(m_LogSections);
    WriteText(s, m_OutputPath);
    const qsizetype count = std::max(m_CustomMessageClasses.size(), m_CustomMessages.size());
    s.WriteInteger(static_cast<int32_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        WriteText(s, m_CustomMessageClasses.value(i));
        WriteText(s, m_CustomMessages.value(i));
    }
    WriteText(s, m_EmailBody);
    for (const QString& text : m_Texts)
        WriteText(s, text);
}

void TSivrelModuleOptions::LoadFromStream(TSivrelStream& s, int v)
{
    BeginUpdate();
    // EndUpdate also when the stream ends early: the object stays usable, the caller sees the error.
    struct Guard {
        TSivrelModuleOptions* o;
        ~Guard() { if (o) o->EndUpdate(); }
    } guard{this};

    SetSpareSwitch(s.ReadByte());
    SetUseCustomMessages(s.ReadByte());
    SetLogFlags(s.ReadByte());
    const bool showDialog = s.ReadByte() != 0;
    SetShowDialog(v < 450 ? !showDialog : showDialog);
    SetLogInMailBody(s.ReadByte());
    if (v >= 450) {
        SetMailWholeLog(s.ReadByte());
        SetAttachScreenshot(s.ReadByte());
        SetShowSmtpProgress(s.ReadByte());
    }
    if (v >= 401) {
        SetSaveLog(s.ReadByte());
        SetInitialTab(s.ReadByte());
    }
    if (v >= 403)
        SetCustomDialogLook(s.ReadByte());
    if (v >= 420) {
        SetFreezeActive(s.ReadByte());
        const int32_t timeout = s.ReadInteger();
        SetFreezeTimeout(v < 422 ? timeout / 1000 : timeout);
        SetFreezeMessage(s.ReadScrambled());
    }
    if (v >= 450)
        SetSmtpFrom(s.ReadScrambled());
    if (v >= 420)
        SetSmtpHost(s.ReadScrambled());
    if (v >= 450)
        SetSmtpPort(s.ReadWord());
    if (v >= 421) {
        SetSmtpUser(s.ReadScrambled());
        SetSmtpPassword(s.ReadScrambled());
        SetTerminateAction(static_cast<TSivrelTerminateAction>(s.ReadByte()));
    }
    SetOfferTerminate(s.ReadByte());
    SetMaxLogReports(s.ReadInteger());
    SetTerminateThreshold(s.ReadInteger());
    SetEmailAddress(s.ReadScrambled());
    SetEmailSubject(s.ReadScrambled());
    const uint8_t sendMode = s.ReadByte();
    if (v < 450 && sendMode != 0)
        SetSendMode(m_SmtpHost.isEmpty() ? smMailClient : smSmtpRelay);
    else
        SetSendMode(static_cast<TSivrelSendMode>(sendMode));
    SetLogSections(s.ReadLongWord());
    if (v < 450)
        s.Skip(1);
    SetOutputPath(s.ReadScrambled());
    const int32_t count = s.ReadInteger();
    m_CustomMessageClasses.clear();
    m_CustomMessages.clear();
    for (int32_t i = 0; i < count; ++i) {
        m_CustomMessageClasses.append(s.ReadScrambled());
        m_CustomMessages.append(s.ReadScrambled());
    }
    SetEmailBody(s.ReadScrambled());
    for (int i = 0; i < SivrelTextCount; ++i)
        if (TextStored(i, v))
            m_Texts[i] = s.ReadScrambled();
    guard.o = nullptr;
    EndUpdate();
    NotifyChanged();
}

QString TSivrelModuleOptions::LogFilePath(const QString& path) const
{
    if (ExtensionOf(m_OutputPath).toLower() == QStringLiteral(".slf"))
        return InStateFolder(m_OutputPath);
    QString folder = InStateFolder(m_OutputPath);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + path.mid(FileNameStart(path));
}

QString TSivrelModuleOptions::LogFileName() const
{
    // An OutputPath that names the log file is used as written: file names are case-sensitive here.
    if (ExtensionOf(m_OutputPath).toLower() == QStringLiteral(".slf"))
        return LogFilePath(m_ModuleName);
    return ChangeExtension(LogFilePath(m_ModuleName), QStringLiteral(".slf"));
}

} // namespace excreport
