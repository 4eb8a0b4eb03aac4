// The data-file layer on the files of the project's writer: every contact property, names with
// umlauts, the stored SMTP forms of Exchange addresses, mail senders and the folder tree.
#include "../common/TestUtil.h"
#include "OutlookFiles.h"
#include "importwizard/outlook/ContactProperties.h"
#include "importwizard/outlook/OutlookFile.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace outlook;

namespace {

std::optional<quint32> FolderId(const TFolderNode& node, const QString& name)
{
    if (node.name == name)
        return node.id;
    for (const TFolderNode& child : node.children) {
        if (auto id = FolderId(child, name))
            return id;
    }
    return std::nullopt;
}

QStringList Names(const TFolderNode& node)
{
    QStringList names{node.name};
    for (const TFolderNode& child : node.children)
        names += Names(child);
    return names;
}

struct Opened {
    std::unique_ptr<IDataFile> file;
    TFolderNode tree;
    std::unique_ptr<IFolder> Folder(const QString& name)
    {
        auto id = FolderId(tree, name);
        EXPECT_TRUE(id.has_value()) << name.toStdString();
        return file->Folder(id.value_or(0));
    }
};

Opened Open(const QString& path)
{
    Opened o;
    o.file = OpenDataFile(path);
    o.file->OpenMessageStore();
    o.tree = o.file->FolderTree();
    return o;
}

} // namespace

// In every layout of the writer: an ANSI file stores its texts in Windows-1252, an offline
// folders file is read like a personal one.
TEST(OutlookWriterFiles, EveryContactPropertyReadsTheValueWritten)
{
    const QList<QPair<QString, TFileType>> layouts = {{"unicode", TFileType::Unicode64},
                                                      {"ansi", TFileType::Ansi32},
                                                      {"ost", TFileType::Unicode64},
                                                      {"ansi-ost", TFileType::Ansi32}};
    for (const auto& [format, type] : layouts) {
        SCOPED_TRACE(format.toStdString());
        qlytest::TempDir dir;
        const QString path = dir.file(format.endsWith("ost") ? "p.ost" : "p.pst");
        const QJsonObject expected = qlytest::MakeOutlookFile("properties", path, 0, format);
        Opened o = Open(path);
        EXPECT_EQ(o.file->FileType(), type);
        auto folder = o.Folder("Kontakte");
        ASSERT_EQ(folder->Count(), 2);
        const QJsonObject all = expected["contacts"].toArray()[0].toObject();
        ASSERT_EQ(all.size(), 120);
        auto item = folder->Item(1);
        ASSERT_EQ(item->Class(), olContact);
        for (const QString& name : ContactPropertyNames())
            EXPECT_EQ(item->ContactProperty(name), all[name].toString()) << name.toStdString();

        auto second = folder->Item(2);
        EXPECT_EQ(second->ContactProperty("FirstName"), "Jürgen");
        EXPECT_EQ(second->ContactProperty("LastName"), "Größer");
        EXPECT_EQ(second->ContactProperty("Email1Address"), "jürgen.größer@beispiel.de");
        EXPECT_EQ(second->ContactProperty("LastNameAndFirstName"), "Größer, Jürgen");
    }
}

TEST(OutlookWriterFiles, TreeSendersAndStoredSmtpAddresses)
{
    qlytest::TempDir dir;
    qlytest::MakeOutlookFile("mixed", dir.file("m.pst"));
    Opened o = Open(dir.file("m.pst"));
    EXPECT_EQ(o.tree.name, "Persönliche Ordner");
    EXPECT_EQ(Names(o.tree), QStringList({"Persönliche Ordner", "Kontakte", "Posteingang", "Archiv 2023", "Kalender",
                                          "Gelöschte Elemente"}));

    auto contacts = o.Folder("Kontakte");
    ASSERT_EQ(contacts->Count(), 5);
    QList<TItemClass> classes;
    for (int p = 1; p <= 5; ++p)
        classes.append(contacts->Item(p)->Class());
    EXPECT_EQ(classes, QList<TItemClass>({olContact, olUnusable, olUnusable, olContact, olContact}));
    auto blank = contacts->Item(4);
    EXPECT_EQ(blank->ContactProperty("Email1Address"), "");
    EXPECT_EQ(blank->SmtpAddress(""), "");
    auto exchange = contacts->Item(5);
    const QString ex = "/o=Firma/ou=Verwaltung/cn=meier";
    EXPECT_EQ(exchange->ContactProperty("Email1Address"), ex);
    EXPECT_EQ(exchange->SmtpAddress(ex), "meier@firma.de");
    EXPECT_EQ(exchange->SmtpAddress("/o=Firma/ou=Verwaltung/cn=huber"), "");
    // An SMTP address has no other form.
    EXPECT_EQ(contacts->Item(1)->SmtpAddress("anna@beispiel.de"), "");

    auto inbox = o.Folder("Posteingang");
    ASSERT_EQ(inbox->Count(), 4);
    auto first = inbox->Item(1);
    EXPECT_EQ(first->Class(), olMail);
    EXPECT_EQ(first->SenderEmailAddress(), "anna@beispiel.de");
    EXPECT_EQ(first->SenderName(), "Anna Ähnlich");
    auto withSmtp = inbox->Item(2);
    EXPECT_EQ(withSmtp->SenderEmailAddress(), ex);
    EXPECT_EQ(withSmtp->SmtpAddress(ex), "meier@firma.de");
    EXPECT_EQ(inbox->Item(3)->SmtpAddress("/o=Firma/ou=Verwaltung/cn=huber"), "");
    EXPECT_EQ(inbox->Item(4)->Class(), olUnusable);  // a delivery report
    EXPECT_EQ(o.Folder("Archiv 2023")->Count(), 1);
}

// A folder holding a sub-folder beside its items, its contents table's rows in another order than
// the items were written: every position gives the item libpff gives there (by row identifier),
// asked in any order and more than once, and positions outside the folder raise.
TEST(OutlookWriterFiles, PositionsFollowTheContentsTableBesideASubFolder)
{
    qlytest::TempDir dir;
    const QJsonObject expected = qlytest::MakeOutlookFile("order", dir.file("o.pst"));
    Opened o = Open(dir.file("o.pst"));
    auto contacts = o.Folder("Kontakte");
    ASSERT_EQ(contacts->Count(), 4);
    QStringList names(4);
    for (int p : {4, 2, 3, 1})
        names[p - 1] = contacts->Item(p)->ContactProperty("FirstName");
    EXPECT_EQ(names, expected["first names"].toVariant().toStringList());
    EXPECT_EQ(contacts->Item(3)->ContactProperty("FirstName"), names.value(2));
    for (int p : {0, 5})
        EXPECT_THROW(contacts->Item(p), EOutlookError) << p;
    auto privat = o.Folder("Privat");
    ASSERT_EQ(privat->Count(), 1);
    EXPECT_EQ(privat->Item(1)->ContactProperty("FirstName"), "Paul");
}
