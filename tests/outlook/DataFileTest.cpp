// The Outlook data-file layer on real files, checked against what pffexport and readpst read from
// the same files.
#include "../common/TestUtil.h"
#include "importwizard/outlook/ContactProperties.h"
#include "importwizard/outlook/OutlookFile.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace outlook;

namespace {

QStringList Names(const QList<TFolderNode>& nodes)
{
    QStringList names;
    for (const TFolderNode& n : nodes)
        names.append(n.name);
    return names;
}

const TFolderNode* Child(const TFolderNode& node, const QString& name)
{
    for (const TFolderNode& c : node.children) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

// Runs a peer tool; empty when it is not installed or fails.
bool RunPeer(const QString& program, const QStringList& args, const QString& dir)
{
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return false;
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(exe, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
}

} // namespace

TEST(OutlookDataFile, DistListTreeMatchesPffexportWithoutSystemFolders)
{
    QLY_EXTERNAL_FIXTURE(path, "outlook/dist-list.pst");
    auto file = OpenDataFile(path);
    file->OpenMessageStore();
    EXPECT_EQ(file->FileType(), TFileType::Unicode64);
    const TFolderNode root = file->FolderTree();
    EXPECT_EQ(root.name, "Personal Folders");
    ASSERT_NE(Child(root, "Contacts"), nullptr);
    EXPECT_EQ(Child(root, "Contacts")->itemCount, 2);
    EXPECT_EQ(Child(root, "Calendar")->itemCount, 1);
    EXPECT_EQ(Child(root, "Inbox")->itemCount, 0);
    for (const char* outside : {"Search Root", "Freebusy Data", "IPM_VIEWS", "Top of Personal Folders"})
        EXPECT_FALSE(Names(root.children).contains(outside)) << outside;

    qlytest::TempDir dir;
    if (!RunPeer("pffexport", {"-q", "-m", "items", "-t", dir.file("x"), path}, dir.path()))
        GTEST_SKIP() << "pffexport (pff-tools) is not installed";
    QStringList exported = QDir(dir.file("x.export/Top of Personal Folders")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList ours = Names(root.children);
    exported.sort();
    ours.sort();
    EXPECT_EQ(ours, exported);
}

TEST(OutlookDataFile, ContactsFolderHoldsDistListThenTheContactReadpstWrites)
{
    QLY_EXTERNAL_FIXTURE(path, "outlook/dist-list.pst");
    auto file = OpenDataFile(path);
    file->OpenMessageStore();
    const TFolderNode root = file->FolderTree();
    auto folder = file->Folder(Child(root, "Contacts")->id);
    ASSERT_EQ(folder->Count(), 2);
    auto list = folder->Item(1);
    EXPECT_EQ(list->Class(), olUnusable);
    auto contact = folder->Item(2);
    ASSERT_EQ(contact->Class(), olContact);
    EXPECT_EQ(contact->ContactProperty("FirstName"), "contact");
    EXPECT_EQ(contact->ContactProperty("LastName"), "1");
    EXPECT_EQ(contact->ContactProperty("MiddleName"), "name");
    EXPECT_EQ(contact->ContactProperty("Email1Address"), "contact1@rjohnson.id.au");
    EXPECT_EQ(contact->ContactProperty("FileAs"), "1, contact name");
    EXPECT_EQ(contact->ContactProperty("Initials"), "c.n.1.");
    EXPECT_EQ(contact->ContactProperty("MessageClass"), "IPM.Contact");
    EXPECT_EQ(contact->ContactProperty("LastNameAndFirstName"), "1, contact name");
    EXPECT_EQ(contact->ContactProperty("CompanyName"), "");
    EXPECT_EQ(contact->ContactProperty("lastname"), "");  // case counts
    EXPECT_EQ(contact->ContactProperty(""), "");
    // The entry identifier: flags, the store's record key, the item's identifier.
    EXPECT_EQ(contact->ContactProperty("EntryID").size(), 48);
    EXPECT_THROW(folder->Item(3), EOutlookError);

    qlytest::TempDir dir;
    if (!RunPeer("readpst", {"-q", "-r", "-o", dir.path(), path}, dir.path()))
        GTEST_SKIP() << "readpst (pst-utils) is not installed";
    const QString vcard = QString::fromUtf8(qlytest::readFileBytes(dir.file("Personal Folders/Contacts/contacts")));
    EXPECT_TRUE(vcard.contains("EMAIL:" + contact->ContactProperty("Email1Address"))) << vcard.toStdString();
    EXPECT_TRUE(vcard.contains("N:" + contact->ContactProperty("LastName") + ";" + contact->ContactProperty("FirstName")
                               + ";" + contact->ContactProperty("MiddleName")))
        << vcard.toStdString();
}

TEST(OutlookDataFile, PasswordedStoreIsReadWithoutAsking)
{
    QLY_EXTERNAL_FIXTURE(path, "outlook/passworded.pst");
    auto file = OpenDataFile(path);
    file->OpenMessageStore();
    const TFolderNode root = file->FolderTree();
    EXPECT_NE(Child(root, "Contacts"), nullptr) << Names(root.children).join(",").toStdString();
}

TEST(OutlookDataFile, FilesThatAreNoDataFileRaise)
{
    qlytest::TempDir dir;
    qlytest::writeFileBytes(dir.file("x.pst"), QByteArray("!BDN") + QByteArray(600, 'x'));
    qlytest::writeFileBytes(dir.file("text.pst"), "Email;Name\r\n");
    for (const QString name : {"x.pst", "text.pst", "missing.pst"})
        EXPECT_THROW(OpenDataFile(dir.file(name)), EOutlookError) << name.toStdString();
}

TEST(OutlookContactProperties, TableHoldsTheHundredTwentyNamesInOrder)
{
    const QStringList& names = ContactPropertyNames();
    ASSERT_EQ(names.size(), 120);
    for (qsizetype i = 1; i < names.size(); ++i)
        EXPECT_LT(names[i - 1].compare(names[i], Qt::CaseInsensitive), 0) << names[i].toStdString();
    for (const QString& n : names)
        EXPECT_NE(FindContactProperty(n), nullptr);
    EXPECT_EQ(FindContactProperty("Profession")->id, 0x3A46u);
    EXPECT_EQ(FindContactProperty("email1address"), nullptr);
}

TEST(OutlookContactProperties, ComposedNamesAndTexts)
{
    QHash<QString, QString> stored{{"LastName", "Größer"}, {"FirstName", "Jürgen"}, {"MiddleName", ""},
                                   {"CompanyName", "Firma"}, {"FullName", "Jürgen Größer"}, {"Suffix", "jr."}};
    auto get = [&](const QString& n) { return stored.value(n); };
    const QList<QPair<QString, QString>> cases = {
        {"CompanyAndFullName", "Firma Jürgen Größer"},   {"FullNameAndCompany", "Jürgen Größer Firma"},
        {"LastNameAndFirstName", "Größer, Jürgen"},       {"LastFirstAndSuffix", "Größer, Jürgen jr."},
        {"LastFirstNoSpace", "GrößerJürgen"},             {"LastFirstSpaceOnly", "Größer Jürgen"},
        {"LastFirstNoSpaceCompany", "GrößerJürgen Firma"}, {"LastFirstSpaceOnlyCompany", "Größer Jürgen Firma"},
        {"CompanyLastFirstNoSpace", "Firma GrößerJürgen"}, {"CompanyLastFirstSpaceOnly", "Firma Größer Jürgen"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(ComposeContactName(name, get), expected) << name.toStdString();
    stored = {{"FirstName", "Jürgen"}};
    EXPECT_EQ(ComposeContactName("LastNameAndFirstName", get), "Jürgen");
    EXPECT_EQ(ComposeContactName("CompanyAndFullName", get), "");

    EXPECT_EQ(HexText(QByteArray::fromHex("00ab10")), "00AB10");
    // Dates in local time, the time only when it is not midnight.
    EXPECT_EQ(DateText(QDateTime(QDate(2024, 5, 1), QTime(0, 0)).toMSecsSinceEpoch()), "01.05.2024");
    EXPECT_EQ(DateText(QDateTime(QDate(2024, 5, 1), QTime(13, 45, 10)).toMSecsSinceEpoch()), "01.05.2024 13:45:10");
    EXPECT_EQ(ClassOfMessageClass("IPM.Contact"), olContact);
    EXPECT_EQ(ClassOfMessageClass("ipm.note"), olMail);
    EXPECT_EQ(ClassOfMessageClass("IPM.Note.SMIME"), olMail);
    for (const char* other : {"IPM.DistList", "IPM.Appointment", "REPORT.IPM.Note.NDR", "IPM.Notes", ""})
        EXPECT_EQ(ClassOfMessageClass(other), olUnusable) << other;
}
