#pragma once
// A scripted Outlook data file for the wizard's page tests: folders of items whose class,
// properties, sender and stored SMTP forms the test sets, and failures at every step.
#include "importwizard/outlook/OutlookFile.h"

#include <QHash>
#include <QMap>
#include <functional>
#include <memory>

namespace wiztest {

struct FakeItemData {
    outlook::TItemClass itemClass = outlook::olContact;
    QHash<QString, QString> props;  // contact properties by name
    QString senderAddress;
    QString senderName;
    QHash<QString, QString> smtp;   // address -> its stored SMTP form
    bool unreadable = false;        // reading the item fails
};

inline FakeItemData Contact(const QString& email, const QString& last = {}, const QString& first = {})
{
    FakeItemData s;
    s.props = {{"Email1Address", email}, {"LastName", last}, {"FirstName", first}};
    return s;
}
inline FakeItemData Mail(const QString& address, const QString& name)
{
    FakeItemData s;
    s.itemClass = outlook::olMail;
    s.senderAddress = address;
    s.senderName = name;
    return s;
}
inline FakeItemData Other()
{
    FakeItemData s;
    s.itemClass = outlook::olUnusable;
    return s;
}

struct FakeStore {
    QString name = QStringLiteral("Persönliche Ordner");
    QMap<quint32, QPair<QString, QList<FakeItemData>>> folders;  // id -> name and items
    bool failStore = false;
    bool failType = false;
    outlook::TFileType type = outlook::TFileType::Unicode64;
    bool failTree = false;
    int opened = 0;
    std::function<void(int position)> onItem;  // called whenever an item is read

    quint32 Add(const QString& folderName, const QList<FakeItemData>& items)
    {
        const quint32 id = 0x8022 + 0x20 * quint32(folders.size());
        folders.insert(id, {folderName, items});
        return id;
    }
};

class FakeItem : public outlook::IItem {
public:
    explicit FakeItem(FakeItemData data) : S(std::move(data)) {}
    outlook::TItemClass Class() const override { return S.itemClass; }
    QString ContactProperty(const QString& name) override { return S.props.value(name); }
    QString SenderEmailAddress() override { return S.senderAddress; }
    QString SenderName() override { return S.senderName; }
    QString SmtpAddress(const QString& address) override { return S.smtp.value(address); }
    FakeItemData S;
};

class FakeFolder : public outlook::IFolder {
public:
    FakeFolder(FakeStore& store, quint32 id) : F(store), Id(id) {}
    int Count() override { return int(F.folders.value(Id).second.size()); }
    std::unique_ptr<outlook::IItem> Item(int position) override
    {
        if (F.onItem)
            F.onItem(position);
        const QList<FakeItemData> items = F.folders.value(Id).second;
        if (position < 1 || position > items.size() || items[position - 1].unreadable)
            throw outlook::EOutlookError(QStringLiteral("unreadable item"));
        return std::make_unique<FakeItem>(items[position - 1]);
    }
    FakeStore& F;
    quint32 Id;
};

class FakeFile : public outlook::IDataFile {
public:
    explicit FakeFile(FakeStore& store) : F(store) {}
    void OpenMessageStore() override
    {
        if (F.failStore)
            throw outlook::EOutlookError(QStringLiteral("no store"));
    }
    outlook::TFileType FileType() override
    {
        if (F.failType)
            throw outlook::EOutlookError(QStringLiteral("no type"));
        return F.type;
    }
    outlook::TFolderNode FolderTree() override
    {
        if (F.failTree)
            throw outlook::EOutlookError(QStringLiteral("no tree"));
        outlook::TFolderNode root;
        root.id = 0x8002;
        root.name = F.name;
        for (auto it = F.folders.cbegin(); it != F.folders.cend(); ++it)
            root.children.append({it.key(), it->first, int(it->second.size()), {}});
        return root;
    }
    std::unique_ptr<outlook::IFolder> Folder(quint32 id) override
    {
        if (!F.folders.contains(id))
            throw outlook::EOutlookError(QStringLiteral("no folder"));
        return std::make_unique<FakeFolder>(F, id);
    }
    FakeStore& F;
};

} // namespace wiztest
