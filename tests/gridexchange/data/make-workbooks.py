#!/usr/bin/python3
"""Makes the workbooks of the grid exchange tests with Debian's python3-xlwt.

exchange-sheets.xls: sheet "Erste" (A1 "nicht diese"), then the active sheet "Übersicht" with the
used range C2:D5:
    C2 "Müller"      D2 3.5
    C3 29.02.2024    D3 29.02.2024 13:45:30 (date-time format)
    C4 True          D4 =D2*2 (xlwt writes no cached result)
    C5 #DIV/0!       D5 (blank)
one-cell.xls: one sheet, B3 = "allein".
awkward-texts.xls: see the end of this script.
Usage: make-workbooks.py [output folder, default: this script's folder]
"""
import datetime
import os
import sys

import xlwt

out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

book = xlwt.Workbook(encoding="utf-8")
first = book.add_sheet("Erste")
first.write(0, 0, "nicht diese")
sheet = book.add_sheet("Übersicht")
date_style = xlwt.easyxf(num_format_str="DD.MM.YYYY")
datetime_style = xlwt.easyxf(num_format_str="DD.MM.YYYY hh:mm:ss")
sheet.write(1, 2, "Müller")
sheet.write(1, 3, 3.5)
sheet.write(2, 2, datetime.date(2024, 2, 29), date_style)
sheet.write(2, 3, datetime.datetime(2024, 2, 29, 13, 45, 30), datetime_style)
sheet.write(3, 2, True)
sheet.write(3, 3, xlwt.Formula("D2*2"))
sheet.row(4).set_cell_error(2, "#DIV/0!")
sheet.write(4, 3, "")
book.active_sheet = 1
sheet.set_selected(True)
first.set_selected(False)
book.save(os.path.join(out, "exchange-sheets.xls"))

one = xlwt.Workbook(encoding="utf-8")
s = one.add_sheet("Tabelle1")
s.write(2, 1, "allein")
one.save(os.path.join(out, "one-cell.xls"))

# awkward-texts.xls: sheet "Texte", A1..A9 texts the grid text stream must give back exactly
# (bare LF, CR, CR LF, TAB, quotes, NUL, characters 8 and 27, LF ESC at the start, 32767 characters).
awkward = xlwt.Workbook(encoding="utf-8")
t = awkward.add_sheet("Texte")
texts = [
    "zeile1\nzeile2",
    "a\rb",
    "a\r\nb",
    "tab\there",
    '"quoted" and ""double""',
    "nul\x00inside",
    "\x08 backspace and \x1b escape",
    "\n\x1bstarts with LF ESC",
    ("Zeile \u00fc\u20ac\r\n" * 5000)[:32767],
]
for i, text in enumerate(texts):
    t.write(i, 0, text)
awkward.save(os.path.join(out, "awkward-texts.xls"))
