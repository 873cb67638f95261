#!/usr/bin/python3
"""Writes the .dbf tables the dBase reader's tests read, with python3-dbf, and beside each
NAME.dbf the cells a reader must find in it, NAME.expect: one line per non-NULL value,
"row<TAB>column<TAB>kind<TAB>value" (rows counting the records not deleted). The values are
the ones given to python3-dbf, checked here against python3-dbfread as a second reader.

    make_tables.py OUTDIR
"""
import datetime
import decimal
import os
import sys

import dbf
import dbfread

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def render(value):
    """The kind and the text of a value, as the test prints a cell."""
    if isinstance(value, bool):
        return "Boolean", "1" if value else "0"
    if isinstance(value, (int, float, decimal.Decimal)):
        return "Number", "%.10g" % float(value)
    if isinstance(value, datetime.datetime):
        return "DateTime", value.strftime("%Y-%m-%d %H:%M:%S.") + "%03d" % (value.microsecond // 1000)
    if isinstance(value, datetime.date):
        return "DateTime", value.strftime("%Y-%m-%d 00:00:00.000")
    if isinstance(value, bytes):
        return "Binary", value.hex()
    text = value.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r").replace("\t", "\\t")
    return "Text", text


def write(name, specs, rows, dbf_type, codepage=None, deleted=(), compare=True):
    """Writes NAME.dbf with `rows` (tuples, None for NULL; text fields read back trimmed),
    deletes the records at the indexes in `deleted`, and writes NAME.expect."""
    filename = path(name + ".dbf")
    table = dbf.Table(filename, specs, dbf_type=dbf_type, codepage=codepage)
    table.open(dbf.READ_WRITE)
    nullable = {i for i, spec in enumerate(specs.split(";")) if spec.split()[-1] == "null"}
    for row in rows:
        # NULL itself where the field takes it; None elsewhere writes a blank value.
        table.append(tuple(dbf.Null if v is None and i in nullable else v
                           for i, v in enumerate(row)))
    for index in deleted:
        dbf.delete(table[index])
    table.close()

    lines = []
    live = [row for i, row in enumerate(rows) if i not in deleted]
    for r, row in enumerate(live):
        for c, value in enumerate(row):
            if value is None and c in memo_columns(specs) and dbf_type != "vfp":
                value = ""  # a memo never written is empty text, not NULL
            if value is None:
                continue
            if isinstance(value, str) and c not in memo_columns(specs):
                value = value.rstrip(" ")
            kind, text = render(value)
            lines.append("%d\t%d\t%s\t%s" % (r, c, kind, text))
    with open(path(name + ".expect"), "w", encoding="utf-8") as f:
        f.write("".join(line + "\n" for line in lines))

    if compare:
        again = list(dbfread.DBF(filename, char_decode_errors="strict"))
        assert len(again) == len(live), (name, len(again), len(live))
        for got, row in zip(again, live):
            for value, want in zip(got.values(), row):
                if want is None:
                    continue
                if isinstance(want, str) or value is None:
                    want = want.rstrip(" ")
                    value = (value or "").rstrip(" ")
                if isinstance(want, float) and value is not None:
                    value = float(value)
                assert value == want, (name, value, want)


def memo_columns(specs):
    return {i for i, spec in enumerate(specs.split(";")) if spec.split()[1][0] in "MG"}


def dbase3():
    memo = "A memo longer than one block: " + "0123456789" * 60 + "\r\nsecond line"
    write("dbase3", "name C(12); qty N(5,0); price N(9,2); ratio F(12,4); born D; ok L; note M",
          [("Zürich", 5, 12.5, 0.125, datetime.date(2024, 2, 29), True, memo),
           ("blank", None, None, None, None, None, None),
           ("gone", 1, 1.0, 1.0, datetime.date(2000, 1, 1), False, "deleted"),
           ("", -42, -0.01, -1.5, datetime.date(1900, 3, 1), False, "short"),
           ("Ærø Straße", 99999, 999999.99, 1234567.8912, datetime.date(9999, 12, 31), True, "")],
          "db3", codepage="cp1252", deleted=(2,))


def code_pages():
    for name, codepage, text in [
            ("cp437", "cp437", "Äpfel für €"[:-1] + "£"),
            ("cp850", "cp850", "Café ÿ"),
            ("cp852", "cp852", "Łódź"),
            ("cp866", "cp866", "Москва"),
            ("cp1250", "cp1250", "Příliš žluťoučký"),
            ("cp1251", "cp1251", "Київ"),
            ("cp1253", "cp1253", "Αθήνα"),
    ]:
        write(name, "city C(20)", [(text,)], "db3", codepage=codepage)


def foxpro():
    write("foxpro", "name C(10); amount N(12,3); day D; flag L; note M",
          [("fox", 3.25, datetime.date(1999, 12, 31), True, "memo in an fpt file"),
           ("hen", -0.5, None, None, "x" * 1000),
           ("owl", None, datetime.date(2026, 12, 9), False, None)],
          "fp")


def visual_foxpro():
    # Every field takes NULL: python3-dbf gives each field the null bit of its position, where
    # the published layout numbers the nullable fields only; with all nullable, both agree.
    specs = ("name C(12) null; count I null; ratio B null; price Y null; seen T null; "
             "day D null; note M null; blob G null; flag L null; amount N(10,2) null")
    rows = [("Привет", 42, 3.5, decimal.Decimal("12.3456"),
             datetime.datetime(2024, 1, 2, 3, 4, 5, 678000), datetime.date(2000, 1, 1),
             "memo text", b"\x00\x01binary\xff", True, 1.25),
            (None, -7, -0.5, decimal.Decimal("-1"), None, None, None, None, None, None),
            ("deleted", 1, 1.0, decimal.Decimal("1"), None, None, "gone", None, False, 2.0),
            ("last", 2147483646, 1e300, decimal.Decimal("922337203685.4775"),
             datetime.datetime(1900, 3, 1, 0, 0, 0), datetime.date(1900, 3, 1), "",
             b"x", False, -99999.99)]
    write("visualfoxpro", specs, rows, "vfp", codepage="cp1251", deleted=(2,), compare=False)
    # dbfread leaves _NullFlags to the caller: compare the tables without NULLs only.
    again = list(dbfread.DBF(path("visualfoxpro.dbf")))
    assert again[0]["NAME"] == "Привет" and again[0]["COUNT"] == 42
    assert again[0]["SEEN"] == datetime.datetime(2024, 1, 2, 3, 4, 5, 678000)


def many():
    rows = []
    for i in range(3000):
        rows.append(("row %d" % i, i, i * 0.5, datetime.date(2000, 1, 1) + datetime.timedelta(days=i),
                     i % 2 == 0, "memo %d" % i if i % 3 == 0 else None))
    write("many", "label C(60); n N(10,0); half N(12,1); day D; even L; note M", rows, "db3",
          deleted=tuple(range(0, 3000, 7)), compare=True)


def no_memo():
    write("plain", "code C(4); value N(6,2)", [("a", 1.5), ("b", None)], "db3")


dbase3()
code_pages()
foxpro()
visual_foxpro()
many()
no_memo()
