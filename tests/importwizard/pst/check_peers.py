#!/usr/bin/env python3
"""Reads every file of outlook_files.py, in each layout of the writer (Unicode and ANSI personal
folders files, offline folders files), with two independent readers, pffexport (pff-tools) and
readpst (pst-utils), and finds the values written. Exits 77 (skipped) when a reader is missing."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import outlook_files  # noqa: E402
import pstwriter  # noqa: E402

failures = []


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


FORMAT = "unicode"  # the layout of the files being checked


def check(condition, what):
    if not condition:
        failures.append("[%s] %s" % (FORMAT, what))


def as_readpst(text):
    """The text readpst gives for a value written: it reads an ANSI file's 8-bit texts as
    ISO-8859-1, so the characters Windows-1252 adds (the euro sign) come out as control codes."""
    if FORMAT.startswith("ansi"):
        return text.encode("cp1252").decode("latin-1")
    return text


def peers(plan, work, name):
    name = FORMAT + "-" + name
    pst = os.path.join(work, name + ".pst")
    pstwriter.write(plan, pst, FORMAT)
    out = os.path.join(work, name)
    subprocess.run(["pffexport", "-q", "-m", "items", "-t", out, pst], check=True, capture_output=True)
    rp = os.path.join(work, name + "-readpst")
    os.mkdir(rp)
    subprocess.run(["readpst", "-q", "-r", "-o", rp, pst], check=True, capture_output=True)
    return out + ".export/Oberste Ebene der Persönlichen Ordner", os.path.join(rp, plan["store"])


def properties(work):
    plan, expected = outlook_files.properties()
    export, readpst = peers(plan, work, "properties")
    values = expected["contacts"][0]
    contact = read(sorted(glob.glob(export + "/Kontakte/Contact*/Contact.txt"))[0])
    # What libpff itself knows of a contact, under its own labels.
    for label, name in [("Given name", "FirstName"), ("Surname", "LastName"), ("Email address 1", "Email1Address"),
                        ("Company name", "CompanyName"), ("Department name", "Department"), ("Job title", "JobTitle"),
                        ("Initials", "Initials"), ("Generational abbreviation", "Suffix"), ("File under", "FileAs"),
                        ("Country", "MailingAddressCountry"), ("Locality", "MailingAddressCity"),
                        ("Title", "Title"), ("Office location", "OfficeLocation"),
                        ("Email address 2", "Email2Address"), ("Email address 3", "Email3Address"),
                        ("Primary phone number", "PrimaryTelephoneNumber"),
                        ("Home phone number", "HomeTelephoneNumber"),
                        ("Mobile phone number", "MobileTelephoneNumber"),
                        ("Business fax number", "BusinessFaxNumber")]:
        line = next((l for l in contact.splitlines() if l.startswith(label + ":")), "")
        check(line.split(":", 1)[-1].strip() == values[name], "pffexport %s: %r, written %r" % (label, line, values[name]))
    check("Jürgen M. Größer" in contact, "pffexport display name")
    # What libpst knows, as vCards.
    cards = read(readpst + "/Kontakte/contacts")
    for name in ["FirstName", "LastName", "Email1Address", "Email2Address", "Email3Address", "JobTitle",
                 "BusinessTelephoneNumber", "HomeTelephoneNumber", "MobileTelephoneNumber", "BusinessFaxNumber",
                 "PagerNumber", "NickName", "AssistantName", "Profession", "Body", "FileAs", "OtherFaxNumber",
                 "HomeAddressStreet", "HomeAddressCity", "HomeAddressPostalCode", "MailingAddressStreet",
                 "OtherAddressCity"]:
        check(as_readpst(values[name]).replace(",", "\\,") in cards, "readpst lacks %s %r" % (name, values[name]))
    check("N:Größer;Jürgen;M.;" in cards, "readpst name")
    check(cards.count("VERSION:3.0") == 2, "readpst contacts")
    check("EMAIL:jürgen.größer@beispiel.de" in cards, "readpst umlaut address")


def mixed(work):
    plan, expected = outlook_files.mixed()
    export, readpst = peers(plan, work, "mixed")
    for folder in ["Kontakte", "Posteingang", "Posteingang/Archiv 2023", "Kalender", "Gelöschte Elemente",
                   "Suchergebnisse"]:
        check(os.path.isdir(os.path.join(export, folder)), "pffexport folder " + folder)
    check(os.path.isdir(os.path.join(export, "../Freebusy Data")), "pffexport outside folder")
    check(len(glob.glob(export + "/Kontakte/*")) == 5, "pffexport contacts folder items")
    headers = "".join(read(p) for p in sorted(glob.glob(export + "/Posteingang/Message*/OutlookHeaders.txt")))
    senders = [("anna@beispiel.de", "Anna Ähnlich"), ("/o=Firma/ou=Verwaltung/cn=meier", "Meier, Hans"),
               ("/o=Firma/ou=Verwaltung/cn=huber", "Huber")]
    for address, name in senders:
        check("Sender email address:\t\t\t" + address in headers, "pffexport sender " + address)
        check("Sender name:\t\t\t\t" + name in headers, "pffexport sender name " + name)
    mbox = read(readpst + "/Posteingang/mbox")
    check("<anna@beispiel.de>" in mbox and 'From: "Meier, Hans"' in mbox, "readpst senders")
    check("Subject: Bericht" in mbox, "readpst subject")
    cards = read(readpst + "/Kontakte/contacts")
    check("EMAIL:anna@beispiel.de" in cards, "readpst contact")
    check(os.path.exists(readpst + "/Posteingang/Archiv 2023/mbox"), "readpst nested folder")


def contacts(work):
    plan, expected = outlook_files.contacts(1000)
    export, readpst = peers(plan, work, "contacts")
    check(len(glob.glob(export + "/Kontakte/Contact*")) == 1000, "pffexport contact count")
    cards = read(readpst + "/Kontakte/contacts")
    check(cards.count("BEGIN:VCARD") == 1000, "readpst contact count")
    check("EMAIL:person998@beispiel.de" in cards and "N:Müller999;Jörg" in cards, "readpst last contacts")


def order(work):
    plan, expected = outlook_files.order()
    export, readpst = peers(plan, work, "order")
    # pffexport numbers a folder's items by the contents table's row identifiers.
    for n, name in enumerate(expected["first names"], 1):
        contact = read(export + "/Kontakte/Contact%05d/Contact.txt" % n)
        check("Given name:\t\t\t\t" + name + "\n" in contact, "pffexport contact %d: %s" % (n, name))
    cards = read(readpst + "/Kontakte/contacts")
    check(cards.count("BEGIN:VCARD") == 4 and "N:Reihe;Dora" in cards, "readpst contacts in another order")
    check("N:Privat;Paul" in read(readpst + "/Kontakte/Privat/contacts"), "readpst sub-folder")


def main():
    if not shutil.which("pffexport") or not shutil.which("readpst"):
        print("pffexport (pff-tools) or readpst (pst-utils) is not installed")
        return 77
    global FORMAT
    with tempfile.TemporaryDirectory() as work:
        for FORMAT in pstwriter.FORMATS:
            for scenario in (properties, mixed, contacts, order):
                scenario(work)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
