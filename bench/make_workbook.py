#!/usr/bin/python3
"""Writes the workbook the readers' benchmark reads: ROWS rows of ten columns (five numbers,
three strings from a pool of 1,000, a date, a boolean) under a header row. Up to 200,000 rows
the strings are shared strings; beyond, xlsxwriter keeps its memory bounded by writing them
inline in the sheet.

    make_workbook.py OUT ROWS
"""
import datetime
import sys

import xlsxwriter

out, rows = sys.argv[1], int(sys.argv[2])
wb = xlsxwriter.Workbook(out, {"constant_memory": rows > 200_000})
date = wb.add_format({"num_format": "yyyy-mm-dd"})
ws = wb.add_worksheet("Data")
ws.write_row(0, 0, ["N1", "N2", "N3", "N4", "N5", "S1", "S2", "S3", "When", "Flag"])
start = datetime.datetime(2020, 1, 1)
pool = ["item %d %s" % (i, "x" * (i % 17)) for i in range(1000)]
for r in range(1, rows + 1):
    ws.write_number(r, 0, r)
    ws.write_number(r, 1, r * 0.5)
    ws.write_number(r, 2, (r * 7919) % 10007 / 3.0)
    ws.write_number(r, 3, -r)
    ws.write_number(r, 4, r % 97)
    ws.write_string(r, 5, pool[r % 1000])
    ws.write_string(r, 6, pool[(r * 7) % 1000])
    ws.write_string(r, 7, pool[(r * 13) % 1000])
    ws.write_datetime(r, 8, start + datetime.timedelta(days=r % 3650), date)
    ws.write_boolean(r, 9, r % 2 == 0)
wb.close()
