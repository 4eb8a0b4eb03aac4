#pragma once
// The reporter's options of one module and their versioned stream.
#include "excreport/SivrelConsts.h"
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace excreport {

class TSivrelStream;

enum TSivrelTerminateAction : uint8_t { taTerminate = 0, taRestart = 1 };
enum TSivrelSendMode : uint8_t { smNone = 0, smMailClient = 1, smSmtpRelay = 2, smSmtpDirect = 3 };

// Sender address used until the program's options name one.
inline QString SivrelDefaultSmtpFrom()
{
    return QStringLiteral("report@example.invalid");
}

#define SIVREL_OPTION(Type, Name)                                   \
public:                                                             \
    Type Name() const { return m_##Name; }                          \
    void Set##Name(Type value) { m_##Name = value; NotifyChanged(); } \
private:                                                            \
    Type m_##Name{};

#define SIVREL_TEXT_OPTION(Name)                                                      \
public:                                                                               \
    const QString& Name() const { return m_##Name; }                                  \
    void Set##Name(const QString& value) { m_##Name = value; NotifyChanged(); }       \
private:                                                                              \
    QString m_##Name;

class TSivrelModuleOptions {
public:
    TSivrelModuleOptions(const QString& moduleName, bool bound);
    virtual ~TSivrelModuleOptions() = default;
    TSivrelModuleOptions(const TSivrelModuleOptions&) = delete;
    TSivrelModuleOptions& operator=(const TSivrelModuleOptions&) = delete;

    SIVREL_TEXT_OPTION(SmtpFrom)
    SIVREL_TEXT_OPTION(SmtpHost)
    SIVREL_TEXT_OPTION(SmtpUser)
    SIVREL_TEXT_OPTION(SmtpPassword)
    SIVREL_OPTION(uint16_t, SmtpPort)
    SIVREL_OPTION(TSivrelTerminateAction, TerminateAction)
    SIVREL_OPTION(int32_t, FreezeTimeout)
    SIVREL_TEXT_OPTION(FreezeMessage)
    SIVREL_OPTION(bool, CustomDialogLook)
    SIVREL_OPTION(uint32_t, LogSections)
    SIVREL_OPTION(bool, SpareSwitch)
    SIVREL_OPTION(bool, UseCustomMessages)
    SIVREL_OPTION(bool, ShowDialog)
    SIVREL_OPTION(bool, LogInMailBody)
    SIVREL_OPTION(bool, AttachScreenshot)
    SIVREL_OPTION(bool, ShowSmtpProgress)
    SIVREL_OPTION(bool, OfferTerminate)
    SIVREL_OPTION(bool, SaveLog)
    SIVREL_OPTION(bool, MailWholeLog)
    SIVREL_OPTION(uint8_t, LogFlags)
    SIVREL_OPTION(uint8_t, InitialTab)
    SIVREL_OPTION(int32_t, TerminateThreshold)
    SIVREL_TEXT_OPTION(OutputPath)
    SIVREL_TEXT_OPTION(EmailAddress)
    SIVREL_TEXT_OPTION(EmailSubject)
    SIVREL_TEXT_OPTION(EmailBody)
    SIVREL_OPTION(TSivrelSendMode, SendMode)

public:
    bool Bound() const { return m_Bound; }
    const QString& ModuleName() const { return m_ModuleName; }
    void SetModuleName(const QString& value) { m_ModuleName = value; NotifyChanged(); }

    int32_t MaxLogReports() const { return m_MaxLogReports; }
    void SetMaxLogReports(int32_t value);                 // 0 is stored as 1

    bool FreezeActive() const { return m_FreezeActive; }
    virtual void SetFreezeActive(bool value);
    bool Active() const { return m_Active; }
    virtual void SetActive(bool value);

    // The custom message of CustomMessageClasses()[i] is CustomMessages()[i].
    const QStringList& CustomMessageClasses() const { return m_CustomMessageClasses; }
    void SetCustomMessageClasses(const QStringList& value);
    const QStringList& CustomMessages() const { return m_CustomMessages; }
    void SetCustomMessages(const QStringList& value);

    QString GetText(int index) const;                     // empty outside 0 .. 70
    void SetText(int index, const QString& value);

    void BeginUpdate() { ++m_UpdateCount; }
    void EndUpdate() { --m_UpdateCount; }
    int UpdateCount() const { return m_UpdateCount; }

    // Raises EConvertError for a null source; the source itself does nothing. Active, ModuleName
    // and Bound are not copied.
    virtual void Assign(const TSivrelModuleOptions* source);
    virtual void SetDefaults();
    // Writes the current layout (every row, no skipped byte).
    virtual void SaveToStream(TSivrelStream& stream) const;
    // Reads the layout of the given data version; a stream that ends early raises EReadError.
    virtual void LoadFromStream(TSivrelStream& stream, int dataVersion);

    // The log file of ModuleName, and the log file for a module path.
    QString LogFileName() const;
    QString LogFilePath(const QString& path) const;

protected:
    // Called after a change of a bound object of this module (outside BeginUpdate/EndUpdate).
    virtual void Changed() {}
    void NotifyChanged();

private:
    bool m_Bound = false;
    int m_UpdateCount = 0;
    QString m_ModuleName;
    bool m_FreezeActive = false;
    bool m_Active = true;
    int32_t m_MaxLogReports = 32;
    QStringList m_CustomMessageClasses;
    QStringList m_CustomMessages;
    std::array<QString, SivrelTextCount> m_Texts;
};

#undef SIVREL_OPTION
#undef SIVREL_TEXT_OPTION

// The user's state folder ($XDG_STATE_HOME, by default ~/.local/state), where relative log paths lead.
QString SivrelStateFolder();

} // namespace excreport
