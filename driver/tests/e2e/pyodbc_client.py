"""pyodbc (Debian's python3-pyodbc) against the driver through unixODBC's driver manager.
Usage: pyodbc_client.py FOLDER (the workbooks of make_workbooks.py; data sources Sales, People
and Legacy made by the client). Fails with the first check that does not hold."""
import datetime
import os
import sys
import threading

import pyodbc

folder = sys.argv[1]
LONG = open(os.path.join(folder, "long.txt"), encoding="utf-8").read()


def rows_of(cursor):
    return [tuple(r) for r in cursor.fetchall()]


def expect_error(state, text, call, *args):
    try:
        call(*args)
    except pyodbc.Error as e:
        assert e.args[0] == state, e.args
        assert text in e.args[1], e.args
        return
    raise AssertionError("no error: expected %s %s" % (state, text))


# The default connect turns autocommit off: accepted, and commit succeeds.
cnxn = pyodbc.connect("DSN=Sales")
assert cnxn.autocommit is False
cur = cnxn.cursor()
rows = cur.execute("SELECT City, Amount, Day, Paid, Note FROM [Sales 2026$] ORDER BY Amount").fetchall()
assert [tuple(r) for r in rows] == [
    ("東京", 3.0, datetime.datetime(2026, 3, 1), True, None),
    ("Bern", 7.0, datetime.datetime(2026, 2, 1), False, LONG),
    ("Zürich", 12.5, datetime.datetime(2026, 1, 31), True, "first"),
    ("Basel", 100.25, datetime.datetime(2026, 3, 2), False, "last"),
], rows
assert [d[1] for d in cur.description] == [str, float, datetime.datetime, bool, str]
cnxn.commit()
cnxn.rollback()

# Non-ASCII text matches as a literal and as a parameter, whatever the locale.
assert cur.execute("SELECT Amount FROM [Sales 2026$] WHERE City = 'Zürich'").fetchall()[0][0] == 12.5
assert cur.execute("SELECT Amount FROM [Sales 2026$] WHERE City = ?", "東京").fetchone()[0] == 3.0
assert cur.execute("SELECT COUNT(*) FROM [Sales 2026$] WHERE Day >= ?", datetime.datetime(2026, 3, 1)).fetchone()[0] == 2
assert [r[0] for r in cur.execute("SELECT City FROM [Sales 2026$] WHERE Day = ?", datetime.date(2026, 3, 1)).fetchall()] == ["東京"]
assert cur.execute("SELECT COUNT(*) FROM [Sales 2026$] WHERE Amount > ?", 10).fetchone()[0] == 2
assert rows_of(cur.execute("SELECT TOP 2 N FROM [Numbers$] ORDER BY N DESC")) == [(10.0,), (9.0,)]
assert cur.execute("SELECT SUM(Half) FROM [Numbers$] WHERE N BETWEEN {fn FLOOR(2.5)} AND 4").fetchone()[0] == 4.5
assert rows_of(cur.execute("SELECT City FROM Cities WHERE Amount < 10 ORDER BY 1")) == [("Bern",), ("東京",)]
assert rows_of(cur.execute("SELECT s.City, n.Half FROM [Sales 2026$] s JOIN [Numbers$] n ON s.Amount = n.N "
                           "ORDER BY 2")) == [("東京", 1.5), ("Bern", 3.5)]

# The catalogue.
tables = [(t.table_name, t.table_type) for t in cur.tables()]
assert tables == [("Sales 2026$", "TABLE"), ("Mixed$", "TABLE"), ("Numbers$", "TABLE"), ("Cities", "TABLE")], tables
columns = [(c.column_name, c.type_name, c.ordinal_position) for c in cur.columns(table="Sales 2026$")]
assert columns == [("City", "VARCHAR", 1), ("Amount", "NUMBER", 2), ("Day", "DATETIME", 3),
                   ("Paid", "LOGICAL", 4), ("Note", "LONGCHAR", 5)], columns
assert cur.primaryKeys("Numbers$").fetchall() == []
assert cur.statistics("Numbers$").fetchall() == []
assert cur.foreignKeys("Numbers$").fetchall() == []
assert [r.type_name for r in cur.getTypeInfo(pyodbc.SQL_VARCHAR)] == ["VARCHAR"]
assert cnxn.getinfo(pyodbc.SQL_DBMS_NAME) == "EXCEL"
assert cnxn.getinfo(pyodbc.SQL_DATA_SOURCE_READ_ONLY) is True  # pyodbc reads "Y" as True
assert cnxn.getinfo(pyodbc.SQL_DRIVER_ODBC_VER) == "03.51"

# Refusals and failures.
expect_error("42S02", "[Tabrix] no table 'Sheet1$'", cur.execute, "SELECT * FROM [Sheet1$]")
expect_error("42S22", "[Tabrix] no column 'Nope'", cur.execute, "SELECT Nope FROM [Numbers$]")
expect_error("42000", "read-only: DELETE is refused", cur.execute, "DELETE FROM [Numbers$]")
expect_error("42000", "read-only: CREATE is refused", cur.execute, "CREATE TABLE t (x)")
expect_error("42000", "syntax error", cur.execute, "SELEKT 1")
expect_error("08001", "cannot open the workbook '%s/nothing.xlsx': no such file" % folder,
             pyodbc.connect, "DRIVER={Microsoft Excel Driver (*.xls)};DBQ=%s/nothing.xlsx" % folder)
expect_error("08001", "cannot open the workbook '%s': a folder, not a workbook" % folder,
             pyodbc.connect, "DRIVER={Microsoft Excel Driver (*.xls)};DBQ=%s" % folder)

# A connection string without a data source; HDR and IMEX.
plain = pyodbc.connect("DRIVER={Microsoft Excel Driver (*.xls)};DBQ=%s/sales.xlsx;HDR=No;IMEX=1" % folder,
                       autocommit=True)
rows = rows_of(plain.cursor().execute("SELECT F1 FROM [Mixed$] WHERE F1 IN ('Value', '12', 'n/a') ORDER BY F1"))
assert rows == [("12",), ("Value",), ("n/a",)], rows

# The other writers' workbooks, through their data sources.
people = pyodbc.connect("DSN=People").cursor().execute("SELECT Name, Born FROM [People$] ORDER BY Born").fetchall()
assert [tuple(r) for r in people] == [("Grace", datetime.datetime(1906, 12, 9, 6, 30)),
                                      ("Alan", datetime.datetime(1912, 6, 23))], people
legacy = rows_of(pyodbc.connect("DSN=Legacy").cursor().execute("SELECT Count FROM [Legacy$] WHERE Item = 'Zürich'"))
assert legacy == [(4.0,)], legacy

# Several connections and statements at once, from several threads.
errors = []


def worker():
    try:
        c = pyodbc.connect("DSN=Sales", autocommit=True)
        for _ in range(20):
            assert c.cursor().execute("SELECT COUNT(*) FROM [Numbers$]").fetchone()[0] == 10
            assert c.cursor().execute("SELECT Note FROM [Sales 2026$] WHERE City = 'Bern'").fetchone()[0] == LONG
    except Exception as e:  # noqa: BLE001 - every failure is reported below
        errors.append(e)


threads = [threading.Thread(target=worker) for _ in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
assert not errors, errors
print("all checks passed")
