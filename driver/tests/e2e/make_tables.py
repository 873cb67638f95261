#!/usr/bin/python3
"""Writes the tables the dBase and FoxPro data sources read, with python3-dbf:
FOLDER/dbase (dBase III tables, one with a memo file, one with a deleted record) and
FOLDER/foxpro (Visual FoxPro tables with memos, NULLs, currency and date-times).

    make_tables.py FOLDER
"""
import datetime
import decimal
import os
import sys

import dbf

folder = sys.argv[1]
for sub in ("dbase", "foxpro"):
    os.makedirs(os.path.join(folder, sub), exist_ok=True)


def table(path, specs, rows, dbf_type, codepage=None, deleted=()):
    t = dbf.Table(path, specs, dbf_type=dbf_type, codepage=codepage)
    t.open(dbf.READ_WRITE)
    for row in rows:
        t.append(row)
    for index in deleted:
        dbf.delete(t[index])
    t.close()


table(os.path.join(folder, "dbase", "Cities.dbf"),
      "NAME C(20); PEOPLE N(9,0); AREA N(8,2); FOUNDED D; CAPITAL L; NOTE M",
      [("Zürich", 421878, 87.88, datetime.date(1934, 1, 1), False,
        "On the Limmat,\nat the lake's end"),
       ("Bern", 134794, 51.62, datetime.date(1983, 11, 26), True, "Federal city"),
       ("Gone", 1, 1.0, datetime.date(2000, 1, 1), False, "deleted"),
       ("Genève", 203856, 15.93, None, False, None)],
      "db3", codepage="cp1252", deleted=(2,))
table(os.path.join(folder, "dbase", "orders.dbf"),
      "ID N(5,0); CITY C(20); AMOUNT N(10,2); DAY D",
      [(1, "Bern", 10.5, datetime.date(2026, 1, 31)),
       (2, "Zürich", 99.95, datetime.date(2026, 2, 1)),
       (3, "Bern", 0.25, datetime.date(2026, 2, 2))],
      "db3", codepage="cp1252")

n = dbf.Null
table(os.path.join(folder, "foxpro", "Stock.dbf"),
      "ITEM C(20) null; QTY I null; PRICE Y null; SEEN T null; NOTE M null; RATIO B null",
      [("Москва", 5, decimal.Decimal("12.3456"), datetime.datetime(2026, 12, 9, 10, 20, 30),
        "first memo", 0.5),
       (n, n, n, n, n, n),
       ("Kyiv", -3, decimal.Decimal("-0.0001"), datetime.datetime(1999, 12, 31, 23, 59, 59),
        "x" * 300, 1e10)],
      "vfp", codepage="cp1251")
