#!/usr/bin/env python3
"""The Outlook data files of the tests, made with pstwriter.py, and what each one holds.

    python3 outlook_files.py SCENARIO OUT.pst [COUNT] [--format=unicode|ansi|ost|ansi-ost]

writes the file (a Unicode personal folders file unless a format is given) and prints, as JSON, the values a reader must find in it. Scenarios:
  properties  "Kontakte": one contact holding every contact property of the import, then
              "Jürgen Größer"
  mixed       "Kontakte": a contact, a distribution list, an appointment, a blank contact and a
              contact with an Exchange address; "Posteingang" with mails from SMTP and Exchange
              senders (with and without their SMTP address) and a nested folder; "Kalender" with
              appointments only; a search folder "Suchergebnisse"; "Freebusy Data" outside the IPM
              subtree
  contacts    "Kontakte" with COUNT contacts of six properties (every 50th repeats an address)
  order       "Kontakte": four contacts whose contents table's rows stand in another order than
              they were written (as a view sorts them), and a sub-folder "Privat" with a contact of
              its own; readers give the items by their row identifiers, as written
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pstwriter  # noqa: E402

T, MV, BIN = 0x001F, 0x101F, 0x0102

# Where a contact property lives, after the published contact format: a tag, or a named
# property of the address ("a") or common ("c") set, or a string name of the public strings.
PROPERTIES = {
    "AssistantName": 0x3A30, "AssistantTelephoneNumber": 0x3A2E, "BillingInformation": ("c", 0x8535),
    "Body": 0x1000, "Business2TelephoneNumber": 0x3A1B, "BusinessAddress": ("a", 0x801B),
    "BusinessAddressCity": ("a", 0x8046), "BusinessAddressCountry": ("a", 0x8049),
    "BusinessAddressPostalCode": ("a", 0x8048), "BusinessAddressPostOfficeBox": ("a", 0x804A),
    "BusinessAddressState": ("a", 0x8047), "BusinessAddressStreet": ("a", 0x8045), "BusinessFaxNumber": 0x3A24,
    "BusinessHomePage": 0x3A51, "BusinessTelephoneNumber": 0x3A08, "CallbackTelephoneNumber": 0x3A02,
    "CarTelephoneNumber": 0x3A1E, "Categories": ("public", "Keywords", MV), "Children": (0x3A58, MV),
    "Companies": ("c", 0x8539, MV), "CompanyMainTelephoneNumber": 0x3A57, "CompanyName": 0x3A16,
    "ComputerNetworkName": 0x3A49, "ConversationIndex": (0x0071, BIN), "ConversationTopic": 0x0070,
    "CustomerID": 0x3A4A, "Department": 0x3A18, "Email1Address": ("a", 0x8083), "Email1AddressType": ("a", 0x8082),
    "Email1DisplayName": ("a", 0x8080), "Email1EntryID": ("a", 0x8085, BIN), "Email2Address": ("a", 0x8093),
    "Email2AddressType": ("a", 0x8092), "Email2DisplayName": ("a", 0x8090), "Email2EntryID": ("a", 0x8095, BIN),
    "Email3Address": ("a", 0x80A3), "Email3AddressType": ("a", 0x80A2), "Email3DisplayName": ("a", 0x80A0),
    "Email3EntryID": ("a", 0x80A5, BIN), "FileAs": ("a", 0x8005), "FirstName": 0x3A06, "FTPSite": 0x3A4C,
    "FullName": 0x3001, "GovernmentIDNumber": 0x3A07, "Hobby": 0x3A43, "Home2TelephoneNumber": 0x3A2F,
    "HomeAddress": ("a", 0x801A), "HomeAddressCity": 0x3A59, "HomeAddressCountry": 0x3A5A,
    "HomeAddressPostalCode": 0x3A5B, "HomeAddressPostOfficeBox": 0x3A5E, "HomeAddressState": 0x3A5C,
    "HomeAddressStreet": 0x3A5D, "HomeFaxNumber": 0x3A25, "HomeTelephoneNumber": 0x3A09, "Initials": 0x3A0A,
    "InternetFreeBusyAddress": ("a", 0x80D8), "ISDNNumber": 0x3A2D, "JobTitle": 0x3A17, "Language": 0x3A0C,
    "LastName": 0x3A11, "MailingAddress": 0x3A15, "MailingAddressCity": 0x3A27, "MailingAddressCountry": 0x3A26,
    "MailingAddressPostalCode": 0x3A2A, "MailingAddressPostOfficeBox": 0x3A2B, "MailingAddressState": 0x3A28,
    "MailingAddressStreet": 0x3A29, "ManagerName": 0x3A4E, "MiddleName": 0x3A44, "Mileage": ("c", 0x8534),
    "MobileTelephoneNumber": 0x3A1C, "NickName": 0x3A4F, "OfficeLocation": 0x3A19,
    "OrganizationalIDNumber": 0x3A10, "OtherAddress": ("a", 0x801C), "OtherAddressCity": 0x3A5F,
    "OtherAddressCountry": 0x3A60, "OtherAddressPostalCode": 0x3A61, "OtherAddressPostOfficeBox": 0x3A64,
    "OtherAddressState": 0x3A62, "OtherAddressStreet": 0x3A63, "OtherFaxNumber": 0x3A23,
    "OtherTelephoneNumber": 0x3A1F, "OutlookVersion": ("c", 0x8554), "PagerNumber": 0x3A21,
    "PersonalHomePage": 0x3A50, "PrimaryTelephoneNumber": 0x3A1A, "Profession": 0x3A46,
    "RadioTelephoneNumber": 0x3A1D, "ReferredBy": 0x3A47, "Spouse": 0x3A48, "Subject": 0x0037, "Suffix": 0x3A05,
    "TelexNumber": 0x3A2C, "Title": 0x3A45, "TTYTDDTelephoneNumber": 0x3A4B, "User1": ("a", 0x804F),
    "User2": ("a", 0x8050), "User3": ("a", 0x8051), "User4": ("a", 0x8052), "UserCertificate": (0x3A22, BIN),
    "WebPage": ("a", 0x802B), "YomiCompanyName": ("a", 0x802E), "YomiFirstName": ("a", 0x802C),
    "YomiLastName": ("a", 0x802D),
}
# Names Outlook computes from the stored ones (and MessageClass, EntryID: the item's own).
COMPOSED = ["CompanyAndFullName", "CompanyLastFirstNoSpace", "CompanyLastFirstSpaceOnly", "FullNameAndCompany",
            "LastFirstAndSuffix", "LastFirstNoSpace", "LastFirstNoSpaceCompany", "LastFirstSpaceOnly",
            "LastFirstSpaceOnlyCompany", "LastNameAndFirstName"]
NOT_STORED = ["NetMeetingAlias", "NetMeetingServer"]
SETS = {"a": "address", "c": "common", "public": "public"}


def prop(name, value):
    where = PROPERTIES[name]
    ptype = T
    if isinstance(where, int):
        return {"tag": where, "type": ptype, "value": value}
    if isinstance(where[0], int):
        return {"tag": where[0], "type": where[1], "value": value}
    if len(where) == 3:
        ptype = where[2]
    key = "name" if isinstance(where[1], str) else "lid"
    return {"set": SETS[where[0]], key: where[1], "type": ptype, "value": value}


def contact(values, cls="IPM.Contact"):
    return {"class": cls, "props": [prop(n, v) for n, v in values.items()]}


def text_of(name, value):
    where = PROPERTIES[name]
    ptype = where[-1] if isinstance(where, tuple) and where[-1] in (MV, BIN) else T
    if ptype == MV:
        return ", ".join(value)
    if ptype == BIN:
        return value.upper()
    return value


def join(parts, sep=" "):
    return sep.join(p for p in parts if p)


def composed(v):
    last, first, middle = v.get("LastName", ""), v.get("FirstName", ""), v.get("MiddleName", "")
    company, full = v.get("CompanyName", ""), v.get("FullName", "")
    last_first = join([last, join([first, middle])], ", ")
    no_space = last + first + middle
    space_only = join([last, first, middle])
    return {
        "CompanyAndFullName": join([company, full]), "FullNameAndCompany": join([full, company]),
        "CompanyLastFirstNoSpace": join([company, no_space]), "CompanyLastFirstSpaceOnly": join([company, space_only]),
        "LastFirstAndSuffix": join([last_first, v.get("Suffix", "")]), "LastFirstNoSpace": no_space,
        "LastFirstNoSpaceCompany": join([no_space, company]), "LastFirstSpaceOnly": space_only,
        "LastFirstSpaceOnlyCompany": join([space_only, company]), "LastNameAndFirstName": last_first,
    }


def entry_id(index):
    """The entry identifier of the index-th message the writer makes."""
    w = pstwriter.Writer()
    return w.entry_id(pstwriter.nid(w.next_message + index, pstwriter.NID_TYPE_NORMAL_MESSAGE)).upper()


def properties():
    values = {}
    for n, where in PROPERTIES.items():
        ptype = where[-1] if isinstance(where, tuple) and where[-1] in (MV, BIN) else T
        if ptype == MV:
            values[n] = [n + " eins", "zwei – Größe 5 €"]
        elif ptype == BIN:
            values[n] = "00" + bytes(n[:6], "ascii").hex() + "ff"
        else:
            values[n] = "Wert " + n
    values.update({"LastName": "Größer", "FirstName": "Jürgen", "MiddleName": "M.", "CompanyName": "Firma & Söhne",
                   "FullName": "Jürgen M. Größer", "Suffix": "jun.", "JobTitle": "Kassenwart (€)", "Email1Address": "juergen@groesser.de",
                   "Email1AddressType": "SMTP"})
    expected = {n: text_of(n, v) for n, v in values.items()}
    expected.update(composed(values))
    expected.update({n: "" for n in NOT_STORED})
    expected["MessageClass"] = "IPM.Contact"
    expected["EntryID"] = entry_id(0)
    second = {"FirstName": "Jürgen", "LastName": "Größer", "Email1Address": "jürgen.größer@beispiel.de"}
    plan = {"store": "Persönliche Ordner",
            "folders": [{"name": "Kontakte", "class": "IPF.Contact", "items": [contact(values), contact(second)]}]}
    return plan, {"folder": "Kontakte", "contacts": [expected, {n: text_of(n, v) for n, v in second.items()}]}


def mail(address, name, subject, smtp=None, address_type="SMTP"):
    props = [{"tag": 0x0C1F, "type": T, "value": address}, {"tag": 0x0C1A, "type": T, "value": name},
             {"tag": 0x0C1E, "type": T, "value": address_type},
             {"tag": 0x0065, "type": T, "value": address}, {"tag": 0x0042, "type": T, "value": name},
             {"tag": 0x0064, "type": T, "value": address_type}, {"tag": 0x0037, "type": T, "value": subject}]
    if smtp:
        props.append({"tag": 0x5D01, "type": T, "value": smtp})
    return {"class": "IPM.Note", "props": props, "recipients": [{"name": "Ich", "address": "ich@beispiel.de"}]}


def mixed():
    exchange = "/o=Firma/ou=Verwaltung/cn=meier"
    contacts = [
        contact({"FirstName": "Anna", "LastName": "Ähnlich", "Email1Address": "anna@beispiel.de",
                 "Email1AddressType": "SMTP"}),
        {"class": "IPM.DistList", "props": [{"tag": 0x0037, "type": T, "value": "Verteiler"}]},
        {"class": "IPM.Appointment", "props": [{"tag": 0x0037, "type": T, "value": "Termin"}]},
        contact({}),
        contact({"FirstName": "Hans", "LastName": "Meier", "Email1Address": exchange, "Email1AddressType": "EX",
                 "Email1DisplayName": "Hans Meier"}),
    ]
    # The SMTP form of an Exchange address stands in the original display name beside it.
    contacts[4]["props"].append({"set": "address", "lid": 0x8084, "type": T, "value": "meier@firma.de"})
    mails = [mail("anna@beispiel.de", "Anna Ähnlich", "Hallo"),
             mail(exchange, "Meier, Hans", "Bericht", smtp="meier@firma.de", address_type="EX"),
             mail("/o=Firma/ou=Verwaltung/cn=huber", "Huber", "Ohne SMTP", address_type="EX"),
             {"class": "REPORT.IPM.Note.NDR", "props": [{"tag": 0x0037, "type": T, "value": "Unzustellbar"}]}]
    plan = {"store": "Persönliche Ordner",
            "folders": [{"name": "Kontakte", "class": "IPF.Contact", "items": contacts},
                        {"name": "Posteingang", "class": "IPF.Note", "items": mails,
                         "folders": [{"name": "Archiv 2023", "class": "IPF.Note", "items": [mail("a@b.de", "A", "Alt")]}]},
                        {"name": "Kalender", "class": "IPF.Appointment",
                         "items": [{"class": "IPM.Appointment", "props": [{"tag": 0x0037, "type": T, "value": "T%d" % i}]}
                                   for i in range(3)]},
                        {"name": "Suchergebnisse", "search": True, "items": []}],
            "outside": [{"name": "Freebusy Data", "items": []}]}
    expected = {
        "tree": {"Persönliche Ordner": ["Kontakte", "Posteingang", "Archiv 2023", "Kalender", "Gelöschte Elemente"]},
        "contacts": [["anna@beispiel.de", "Ähnlich", "Anna"], ["meier@firma.de", "Meier", "Hans"]],
        "mails": [["anna@beispiel.de", "Anna Ähnlich"], ["meier@firma.de", "Meier, Hans"],
                  ["/o=Firma/ou=Verwaltung/cn=huber", "Huber"]],
    }
    return plan, expected


def contacts(count):
    items = []
    for i in range(count):
        address = "person%d@beispiel.de" % (i - 17 if i % 50 == 49 else i)
        items.append(contact({"Email1Address": address, "Email1AddressType": "SMTP", "LastName": "Müller%d" % i,
                              "FirstName": "Jörg", "CompanyName": "Firma %d" % (i % 1000),
                              "Department": "Abteilung %d" % (i % 7), "Title": "Dr."}))
    plan = {"store": "Persönliche Ordner", "folders": [{"name": "Kontakte", "class": "IPF.Contact", "items": items}]}
    return plan, {"folder": "Kontakte", "count": count}


def order():
    names = ["Anna", "Bernd", "Clara", "Dora"]
    items = [contact({"FirstName": n, "LastName": "Reihe", "Email1Address": n.lower() + "@beispiel.de"}) for n in names]
    rows = [2, 0, 3, 1]
    plan = {"store": "Persönliche Ordner",
            "folders": [{"name": "Kontakte", "class": "IPF.Contact", "items": items, "rows": rows,
                         "folders": [{"name": "Privat", "class": "IPF.Contact",
                                      "items": [contact({"FirstName": "Paul", "LastName": "Privat"})]}]}]}
    return plan, {"folder": "Kontakte", "first names": names}


def main():
    fmt = "unicode"
    args = []
    for a in sys.argv[1:]:
        if a.startswith("--format="):
            fmt = a.split("=", 1)[1]
        else:
            args.append(a)
    sys.argv[1:] = args
    scenario, out = sys.argv[1], sys.argv[2]
    if scenario == "properties":
        plan, expected = properties()
    elif scenario == "mixed":
        plan, expected = mixed()
    elif scenario == "order":
        plan, expected = order()
    elif scenario == "contacts":
        plan, expected = contacts(int(sys.argv[3]) if len(sys.argv) > 3 else 1000)
    else:
        sys.exit("unknown scenario " + scenario)
    pstwriter.write(plan, out, fmt)
    json.dump(expected, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
