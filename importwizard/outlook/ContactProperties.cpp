#include "importwizard/outlook/ContactProperties.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>

namespace outlook {

namespace {

using K = TContactProperty;
using S = TPropertySet;

struct Entry {
    const char* name;
    TContactProperty property;
};

// Property tags and named properties of the published contact format.
const Entry kProperties[] = {
    {"AssistantName", {K::Tag, 0x3A30}},
    {"AssistantTelephoneNumber", {K::Tag, 0x3A2E}},
    {"BillingInformation", {K::Named, 0x8535, S::Common}},
    {"Body", {K::Tag, 0x1000}},
    {"Business2TelephoneNumber", {K::Tag, 0x3A1B}},
    {"BusinessAddress", {K::Named, 0x801B, S::Address}},
    {"BusinessAddressCity", {K::Named, 0x8046, S::Address}},
    {"BusinessAddressCountry", {K::Named, 0x8049, S::Address}},
    {"BusinessAddressPostalCode", {K::Named, 0x8048, S::Address}},
    {"BusinessAddressPostOfficeBox", {K::Named, 0x804A, S::Address}},
    {"BusinessAddressState", {K::Named, 0x8047, S::Address}},
    {"BusinessAddressStreet", {K::Named, 0x8045, S::Address}},
    {"BusinessFaxNumber", {K::Tag, 0x3A24}},
    {"BusinessHomePage", {K::Tag, 0x3A51}},
    {"BusinessTelephoneNumber", {K::Tag, 0x3A08}},
    {"CallbackTelephoneNumber", {K::Tag, 0x3A02}},
    {"CarTelephoneNumber", {K::Tag, 0x3A1E}},
    {"Categories", {K::NamedText, 0, S::PublicStrings, "Keywords"}},
    {"Children", {K::Tag, 0x3A58}},
    {"Companies", {K::Named, 0x8539, S::Common}},
    {"CompanyAndFullName", {K::Composed}},
    {"CompanyLastFirstNoSpace", {K::Composed}},
    {"CompanyLastFirstSpaceOnly", {K::Composed}},
    {"CompanyMainTelephoneNumber", {K::Tag, 0x3A57}},
    {"CompanyName", {K::Tag, 0x3A16}},
    {"ComputerNetworkName", {K::Tag, 0x3A49}},
    {"ConversationIndex", {K::Tag, 0x0071}},
    {"ConversationTopic", {K::Tag, 0x0070}},
    {"CustomerID", {K::Tag, 0x3A4A}},
    {"Department", {K::Tag, 0x3A18}},
    {"Email1Address", {K::Named, 0x8083, S::Address}},
    {"Email1AddressType", {K::Named, 0x8082, S::Address}},
    {"Email1DisplayName", {K::Named, 0x8080, S::Address}},
    {"Email1EntryID", {K::Named, 0x8085, S::Address}},
    {"Email2Address", {K::Named, 0x8093, S::Address}},
    {"Email2AddressType", {K::Named, 0x8092, S::Address}},
    {"Email2DisplayName", {K::Named, 0x8090, S::Address}},
    {"Email2EntryID", {K::Named, 0x8095, S::Address}},
    {"Email3Address", {K::Named, 0x80A3, S::Address}},
    {"Email3AddressType", {K::Named, 0x80A2, S::Address}},
    {"Email3DisplayName", {K::Named, 0x80A0, S::Address}},
    {"Email3EntryID", {K::Named, 0x80A5, S::Address}},
    {"EntryID", {K::EntryId}},
    {"FileAs", {K::Named, 0x8005, S::Address}},
    {"FirstName", {K::Tag, 0x3A06}},
    {"FTPSite", {K::Tag, 0x3A4C}},
    {"FullName", {K::Tag, 0x3001}},
    {"FullNameAndCompany", {K::Composed}},
    {"GovernmentIDNumber", {K::Tag, 0x3A07}},
    {"Hobby", {K::Tag, 0x3A43}},
    {"Home2TelephoneNumber", {K::Tag, 0x3A2F}},
    {"HomeAddress", {K::Named, 0x801A, S::Address}},
    {"HomeAddressCity", {K::Tag, 0x3A59}},
    {"HomeAddressCountry", {K::Tag, 0x3A5A}},
    {"HomeAddressPostalCode", {K::Tag, 0x3A5B}},
    {"HomeAddressPostOfficeBox", {K::Tag, 0x3A5E}},
    {"HomeAddressState", {K::Tag, 0x3A5C}},
    {"HomeAddressStreet", {K::Tag, 0x3A5D}},
    {"HomeFaxNumber", {K::Tag, 0x3A25}},
    {"HomeTelephoneNumber", {K::Tag, 0x3A09}},
    {"Initials", {K::Tag, 0x3A0A}},
    {"InternetFreeBusyAddress", {K::Named, 0x80D8, S::Address}},
    {"ISDNNumber", {K::Tag, 0x3A2D}},
    {"JobTitle", {K::Tag, 0x3A17}},
    {"Language", {K::Tag, 0x3A0C}},
    {"LastFirstAndSuffix", {K::Composed}},
    {"LastFirstNoSpace", {K::Composed}},
    {"LastFirstNoSpaceCompany", {K::Composed}},
    {"LastFirstSpaceOnly", {K::Composed}},
    {"LastFirstSpaceOnlyCompany", {K::Composed}},
    {"LastName", {K::Tag, 0x3A11}},
    {"LastNameAndFirstName", {K::Composed}},
    {"MailingAddress", {K::Tag, 0x3A15}},
    {"MailingAddressCity", {K::Tag, 0x3A27}},
    {"MailingAddressCountry", {K::Tag, 0x3A26}},
    {"MailingAddressPostalCode", {K::Tag, 0x3A2A}},
    {"MailingAddressPostOfficeBox", {K::Tag, 0x3A2B}},
    {"MailingAddressState", {K::Tag, 0x3A28}},
    {"MailingAddressStreet", {K::Tag, 0x3A29}},
    {"ManagerName", {K::Tag, 0x3A4E}},
    {"MessageClass", {K::Tag, 0x001A}},
    {"MiddleName", {K::Tag, 0x3A44}},
    {"Mileage", {K::Named, 0x8534, S::Common}},
    {"MobileTelephoneNumber", {K::Tag, 0x3A1C}},
    // The conferencing names of old Outlook versions have no place in the published format.
    {"NetMeetingAlias", {K::Empty}},
    {"NetMeetingServer", {K::Empty}},
    {"NickName", {K::Tag, 0x3A4F}},
    {"OfficeLocation", {K::Tag, 0x3A19}},
    {"OrganizationalIDNumber", {K::Tag, 0x3A10}},
    {"OtherAddress", {K::Named, 0x801C, S::Address}},
    {"OtherAddressCity", {K::Tag, 0x3A5F}},
    {"OtherAddressCountry", {K::Tag, 0x3A60}},
    {"OtherAddressPostalCode", {K::Tag, 0x3A61}},
    {"OtherAddressPostOfficeBox", {K::Tag, 0x3A64}},
    {"OtherAddressState", {K::Tag, 0x3A62}},
    {"OtherAddressStreet", {K::Tag, 0x3A63}},
    {"OtherFaxNumber", {K::Tag, 0x3A23}},
    {"OtherTelephoneNumber", {K::Tag, 0x3A1F}},
    {"OutlookVersion", {K::Named, 0x8554, S::Common}},
    {"PagerNumber", {K::Tag, 0x3A21}},
    {"PersonalHomePage", {K::Tag, 0x3A50}},
    {"PrimaryTelephoneNumber", {K::Tag, 0x3A1A}},
    {"Profession", {K::Tag, 0x3A46}},
    {"RadioTelephoneNumber", {K::Tag, 0x3A1D}},
    {"ReferredBy", {K::Tag, 0x3A47}},
    {"Spouse", {K::Tag, 0x3A48}},
    {"Subject", {K::Tag, 0x0037}},
    {"Suffix", {K::Tag, 0x3A05}},
    {"TelexNumber", {K::Tag, 0x3A2C}},
    {"Title", {K::Tag, 0x3A45}},
    {"TTYTDDTelephoneNumber", {K::Tag, 0x3A4B}},
    {"User1", {K::Named, 0x804F, S::Address}},
    {"User2", {K::Named, 0x8050, S::Address}},
    {"User3", {K::Named, 0x8051, S::Address}},
    {"User4", {K::Named, 0x8052, S::Address}},
    {"UserCertificate", {K::Tag, 0x3A22}},
    {"WebPage", {K::Named, 0x802B, S::Address}},
    {"YomiCompanyName", {K::Named, 0x802E, S::Address}},
    {"YomiFirstName", {K::Named, 0x802C, S::Address}},
    {"YomiLastName", {K::Named, 0x802D, S::Address}},
};

const QHash<QString, const TContactProperty*>& Index()
{
    static const QHash<QString, const TContactProperty*> index = [] {
        QHash<QString, const TContactProperty*> h;
        for (const Entry& e : kProperties)
            h.insert(QString::fromLatin1(e.name), &e.property);
        return h;
    }();
    return index;
}

// The non-empty parts joined by sep.
QString Join(const QStringList& parts, const QString& sep)
{
    QStringList kept;
    for (const QString& p : parts) {
        if (!p.isEmpty())
            kept.append(p);
    }
    return kept.join(sep);
}

} // namespace

QByteArray PropertySetGuid(TPropertySet set)
{
    // As stored: the first three fields of the GUID little-endian.
    switch (set) {
    case TPropertySet::Address: {  // {00062004-0000-0000-C000-000000000046}
        static const QByteArray guid = QByteArray::fromHex("0420060000000000C000000000000046");
        return guid;
    }
    case TPropertySet::Common: {  // {00062008-0000-0000-C000-000000000046}
        static const QByteArray guid = QByteArray::fromHex("0820060000000000C000000000000046");
        return guid;
    }
    case TPropertySet::PublicStrings: {  // {00020329-0000-0000-C000-000000000046}
        static const QByteArray guid = QByteArray::fromHex("2903020000000000C000000000000046");
        return guid;
    }
    case TPropertySet::None:
        break;
    }
    return {};
}

const QStringList& ContactPropertyNames()
{
    static const QStringList names = [] {
        QStringList n;
        for (const Entry& e : kProperties)
            n.append(QString::fromLatin1(e.name));
        return n;
    }();
    return names;
}

const TContactProperty* FindContactProperty(const QString& name)
{
    return Index().value(name, nullptr);
}

QString ComposeContactName(const QString& name, const std::function<QString(const QString&)>& get)
{
    const QString last = get(QStringLiteral("LastName"));
    const QString first = get(QStringLiteral("FirstName"));
    const QString middle = get(QStringLiteral("MiddleName"));
    const QString company = get(QStringLiteral("CompanyName"));
    const QString full = get(QStringLiteral("FullName"));
    const QString blank = QStringLiteral(" ");
    const QString firstMiddle = Join({first, middle}, blank);
    // "Last, First Middle": the comma only between a last name and what follows it.
    const QString lastFirst = Join({last, firstMiddle}, QStringLiteral(", "));
    const QString noSpace = last + first + middle;
    const QString spaceOnly = Join({last, first, middle}, blank);
    if (name == QLatin1String("CompanyAndFullName"))
        return Join({company, full}, blank);
    if (name == QLatin1String("FullNameAndCompany"))
        return Join({full, company}, blank);
    if (name == QLatin1String("CompanyLastFirstNoSpace"))
        return Join({company, noSpace}, blank);
    if (name == QLatin1String("CompanyLastFirstSpaceOnly"))
        return Join({company, spaceOnly}, blank);
    if (name == QLatin1String("LastFirstAndSuffix"))
        return Join({lastFirst, get(QStringLiteral("Suffix"))}, blank);
    if (name == QLatin1String("LastFirstNoSpace"))
        return noSpace;
    if (name == QLatin1String("LastFirstNoSpaceCompany"))
        return Join({noSpace, company}, blank);
    if (name == QLatin1String("LastFirstSpaceOnly"))
        return spaceOnly;
    if (name == QLatin1String("LastFirstSpaceOnlyCompany"))
        return Join({spaceOnly, company}, blank);
    if (name == QLatin1String("LastNameAndFirstName"))
        return lastFirst;
    return {};
}

QString DateText(qint64 msecsSinceEpochUtc)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(msecsSinceEpochUtc, Qt::UTC).toLocalTime();
    if (t.time() == QTime(0, 0))
        return t.toString(QStringLiteral("dd.MM.yyyy"));
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString HexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

} // namespace outlook
