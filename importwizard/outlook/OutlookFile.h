#pragma once
// Outlook data files (.pst, .ost) as the import wizard reads them: a file, its message store and
// folder tree, a folder's items, and an item's contact properties, sender and SMTP addresses.
// One interface, so that the wizard can be tested with a scripted file; OpenDataFile gives the
// real one (see PffFile.h). Everything here raises EOutlookError on a failure.
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace outlook {

class EOutlookError : public std::runtime_error {
public:
    explicit EOutlookError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// The layouts of the files that can be read.
enum class TFileType { Ansi32, Unicode64, Unicode64Page4k, Other };

// The item classes the wizard tells apart; every other message class is unusable.
enum TItemClass { olUnusable = 0, olContact = 40, olMail = 43 };
// "IPM.Contact" is a contact, "IPM.Note" and "IPM.Note.*" are mails (case ignored).
TItemClass ClassOfMessageClass(const QString& messageClass);

// One folder of the tree the folder dialog shows.
struct TFolderNode {
    quint32 id = 0;  // the folder's identifier in its file (the store's: its IPM subtree)
    QString name;
    int itemCount = 0;
    QList<TFolderNode> children;
};

class IItem {
public:
    virtual ~IItem() = default;
    virtual TItemClass Class() const = 0;
    // The contact property of that name (one of ContactPropertyNames(), case counts) as text; an
    // empty text for a property the item does not hold and for any other name.
    virtual QString ContactProperty(const QString& name) = 0;
    virtual QString SenderEmailAddress() = 0;
    virtual QString SenderName() = 0;
    // The SMTP form the item stores for one of its addresses; empty when it stores none.
    virtual QString SmtpAddress(const QString& address) = 0;
};

class IFolder {
public:
    virtual ~IFolder() = default;
    virtual int Count() = 0;
    // The item at a 1-based position.
    virtual std::unique_ptr<IItem> Item(int position) = 0;
};

class IDataFile {
public:
    virtual ~IDataFile() = default;
    // Reads the message store; raises when the file has none that can be read.
    virtual void OpenMessageStore() = 0;
    virtual TFileType FileType() = 0;
    // The store's IPM subtree, named by the store's display name, with its folders; search
    // folders and folders outside the subtree are left out.
    virtual TFolderNode FolderTree() = 0;
    virtual std::unique_ptr<IFolder> Folder(quint32 id) = 0;
};

// The real file, read with libpff; raises when it cannot be opened as an Outlook data file.
std::unique_ptr<IDataFile> OpenDataFile(const QString& fileName);

} // namespace outlook
