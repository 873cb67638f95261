"""Writes the end-to-end tests' workbooks into the folder given, with independent writers:
python3-xlsxwriter, python3-openpyxl and python3-xlwt (run by /usr/bin/python3)."""
import datetime
import os
import sys

import openpyxl
import xlsxwriter
import xlwt

folder = sys.argv[1]
LONG = "".join(chr(ord("a") + i % 26) for i in range(5000)) + " Zürich 東京 😀"


def sales():
    wb = xlsxwriter.Workbook(os.path.join(folder, "sales.xlsx"))
    ws = wb.add_worksheet("Sales 2026")
    date = wb.add_format({"num_format": "yyyy-mm-dd"})
    ws.write_row(0, 0, ["City", "Amount", "Day", "Paid", "Note"])
    rows = [
        ("Zürich", 12.5, datetime.date(2026, 1, 31), True, "first"),
        ("Bern", 7, datetime.date(2026, 2, 1), False, LONG),
        ("東京", 3, datetime.date(2026, 3, 1), True, None),
        ("Basel", 100.25, datetime.date(2026, 3, 2), False, "last"),
    ]
    for r, (city, amount, day, paid, note) in enumerate(rows, 1):
        ws.write_string(r, 0, city)
        ws.write_number(r, 1, amount)
        ws.write_datetime(r, 2, datetime.datetime.combine(day, datetime.time()), date)
        ws.write_boolean(r, 3, paid)
        if note is not None:
            ws.write_string(r, 4, note)
    mixed = wb.add_worksheet("Mixed")
    mixed.write(0, 0, "Value")
    for r in range(1, 13):
        mixed.write_number(r, 0, r)
    mixed.write_string(13, 0, "n/a")
    numbers = wb.add_worksheet("Numbers")
    numbers.write_row(0, 0, ["N", "Half"])
    for r in range(1, 11):
        numbers.write_number(r, 0, r)
        numbers.write_number(r, 1, r / 2)
    wb.define_name("Cities", "='Sales 2026'!$A$1:$B$5")
    wb.close()


def openpyxl_book():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "People"
    ws.append(["Name", "Born"])
    ws.append(["Alan", datetime.datetime(1912, 6, 23)])
    ws.append(["Grace", datetime.datetime(1906, 12, 9, 6, 30)])
    times = wb.create_sheet("Times")  # times of day alone, as openpyxl writes them
    times.append(["Shift", "Starts"])
    for shift, starts in [("early", datetime.time(6, 0)), ("late", datetime.time(14, 30)),
                          ("night", datetime.time(22, 15, 30))]:
        times.append([shift, starts])
    wb.save(os.path.join(folder, "people.xlsx"))


def xlwt_book():
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Legacy")
    ws.write(0, 0, "Item")
    ws.write(0, 1, "Count")
    ws.write(1, 0, "Zürich")
    ws.write(1, 1, 4)
    ws.write(2, 0, "Genf")
    ws.write(2, 1, 2)
    wb.save(os.path.join(folder, "legacy.xls"))


sales()
openpyxl_book()
xlwt_book()
with open(os.path.join(folder, "long.txt"), "w", encoding="utf-8") as f:
    f.write(LONG)
