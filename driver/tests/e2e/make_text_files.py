"""Writes the Text driver's test folder: CSV and tab-separated files by Python's csv module,
the odd cases as hand-written bytes, and a schema.ini. Usage: make_text_files.py FOLDER"""
import csv
import os
import sys

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)


def write_csv(name, rows, encoding="utf-8", **kwargs):
    with open(os.path.join(folder, name), "w", newline="", encoding=encoding) as f:
        csv.writer(f, **kwargs).writerows(rows)


# Quoting as the csv module does it: separators, doubled quotes and line breaks inside fields.
write_csv("sales.csv", [
    ["City", "Amount", "Day", "Note"],
    ["Zürich", "12.5", "2026-01-31", "first, of all"],
    ["Bern", "7", "2026-02-01", 'say "hi"'],
    ["東京", "3", "2026-03-01", "two\nlines"],
    ["Basel", "100.25", "2026-03-02 10:30:00", ""],
])
# Tab-separated, by the csv module's own dialect.
write_csv("people.tab", [["Name", "Age"], ["Ann", "41"], ["Bob", ""]], dialect="excel-tab")
# Numbers in the first 25 rows, then text: the driver tells the value it cannot keep.
write_csv("mixed.csv", [["N"]] + [[str(i)] for i in range(1, 26)] + [["many"], ["27"]])
# Semicolons, decimal commas and no row of names, as schema.ini declares; code page 1252.
write_csv("semi.txt", [["Müller", "12,50", "31.01.2026", "Yes"], ["Ødegaard", "3,00", "01.02.2026", "No"]],
          encoding="cp1252", delimiter=";")
with open(os.path.join(folder, "schema.ini"), "w", encoding="ascii", newline="\r\n") as f:
    f.write("[semi.txt]\nFormat=Delimited(;)\nColNameHeader=False\nCharacterSet=ANSI\n"
            "DecimalSymbol=,\nDateTimeFormat=dd.mm.yyyy\n"
            "Col1=Name Text Width 40\nCol2=Amount Currency\nCol3=Day Date\nCol4=Paid Bit\n")
# By hand: a byte-order mark, CRLF line ends, a ragged row, an extra field, no end on the last line.
with open(os.path.join(folder, "odd.csv"), "wb") as f:
    f.write(b"\xef\xbb\xbfA,B,C\r\n1,x,\r\n2\r\n3,y,z,extra\r\n4,\"q\"\"uote\",w")
# Not tables: another extension, and a folder that looks like one.
with open(os.path.join(folder, "notes.md"), "w") as f:
    f.write("not a table\n")
os.makedirs(os.path.join(folder, "archive.csv"), exist_ok=True)
