#!/usr/bin/python3
"""Writes the dBase benchmark's table and the same values in a native SQLite file:
ROWS rows x 10 fields (five numbers, three texts from a pool of 1,000, a date, a logical).
The .dbf is written by python3-dbf; the SQLite file by Python's sqlite3.

    make_dbf.py OUT.dbf OUT.sqlite ROWS
"""
import datetime
import sqlite3
import sys

import dbf

out, native, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
start = datetime.date(2020, 1, 1)
pool = ["item %d %s" % (i, "x" * (i % 17)) for i in range(1000)]


def values():
    for r in range(1, rows + 1):
        yield (r, r * 0.5, round((r * 7919) % 10007 / 3.0, 6), -r, r % 97, pool[r % 1000],
               pool[(r * 7) % 1000], pool[(r * 13) % 1000],
               start + datetime.timedelta(days=r % 3650), r % 2 == 0)


table = dbf.Table(out, "N1 N(10,0); N2 N(12,1); N3 N(16,6); N4 N(10,0); N5 N(3,0); "
                  "S1 C(30); S2 C(30); S3 C(30); WHEN D; FLAG L", dbf_type="db3",
                  codepage="cp1252")
table.open(dbf.READ_WRITE)
for row in values():
    table.append(row)
table.close()

db = sqlite3.connect(native)
db.execute('CREATE TABLE Data (N1, N2, N3, N4, N5, S1, S2, S3, "When", Flag)')
db.executemany("INSERT INTO Data VALUES (?,?,?,?,?,?,?,?,?,?)",
               ((a, b, c, d, e, f, g, h, w.isoformat(), int(x))
                for a, b, c, d, e, f, g, h, w, x in values()))
db.commit()
