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

# Long strings are sent at execution time (SQLParamData, SQLPutData): every length and script
# comes back whole.
for n in (127, 128, 255, 256, 4000, 100000):
    text = ("aé東😀" * n)[:n]
    echoed = cur.execute("SELECT ?, LEN(?) FROM [Numbers$] WHERE N = 1", text, text).fetchone()
    assert (echoed[0], echoed[1]) == (text, n), (n, len(echoed[0]), echoed[1])
assert cur.execute("SELECT City FROM [Sales 2026$] WHERE Note = ?", LONG).fetchone()[0] == "Bern"
assert cur.execute("SELECT LENGTH(?) FROM [Numbers$] WHERE N = 1", b"\x00\xff" * 3000).fetchone()[0] == 6000

# Time literals and parameters equal time-only cells.
shifts = pyodbc.connect("DSN=People", autocommit=True).cursor()
assert shifts.execute("SELECT Shift FROM [Times$] WHERE Starts = {t '14:30:00'}").fetchone()[0] == "late"
assert shifts.execute("SELECT Shift FROM [Times$] WHERE Starts = ?", datetime.time(22, 15, 30)).fetchone()[0] == "night"
assert shifts.execute("SELECT COUNT(*) FROM [Times$] WHERE Starts > #12:00#").fetchone()[0] == 2

# The dialect's date arithmetic and conversions, and TOP in each arm of a UNION.
assert cur.execute("SELECT {fn TIMESTAMPADD(SQL_TSI_MONTH, 1, Day)} FROM [Sales 2026$] WHERE City = 'Zürich'"
                   ).fetchone()[0] == datetime.datetime(2026, 2, 28)
assert tuple(cur.execute("SELECT DateDiff('d', Day, #2026-03-31#), {fn DAYOFWEEK(Day)}, DatePart('q', Day) "
                         "FROM [Sales 2026$] WHERE City = 'Bern'").fetchone()) == (58, 1, 1)
assert tuple(cur.execute("SELECT {fn CONVERT(Amount, SQL_INTEGER)}, {fn CONVERT(Amount, SQL_VARCHAR)} "
                         "FROM [Sales 2026$] WHERE City = 'Basel'").fetchone()) == (100, "100.25")
assert rows_of(cur.execute("SELECT TOP 1 N FROM [Numbers$] ORDER BY N UNION ALL "
                           "SELECT TOP 1 N FROM [Numbers$] ORDER BY N DESC")) == [(10.0,), (1.0,)]
assert cur.execute("SELECT COUNT(*) FROM (SELECT TOP 25 PERCENT N FROM [Numbers$])").fetchone()[0] == 3
expect_error("22018", "CONVERT: 'Zürich' is not a number", cur.execute,
             "SELECT {fn CONVERT(City, SQL_INTEGER)} FROM [Sales 2026$]")
# SQL_TIMEDATE_FUNCTIONS has SQL_FN_TD_TIMESTAMPADD and SQL_FN_TD_DAYOFWEEK; SQL_CONVERT_FUNCTIONS
# has SQL_FN_CVT_CONVERT (pyodbc names none of them).
assert cnxn.getinfo(52) & 0x2000 and cnxn.getinfo(52) & 0x8
assert cnxn.getinfo(48) & 0x1

# The query timeout stops a statement that runs too long; a cancel from another thread stops one.
SPIN = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000000) SELECT COUNT(*) FROM c"
timed = pyodbc.connect("DSN=Sales", autocommit=True)
timed.timeout = 1  # the query timeout of its statements
expect_error("HYT00", "timeout expired", timed.cursor().execute, SPIN)
assert timed.cursor().execute("SELECT COUNT(*) FROM [Numbers$]").fetchone()[0] == 10
cancelled = timed.cursor()
cancelled.connection.timeout = 0
done = threading.Event()


def canceller():
    while not done.wait(0.05):
        cancelled.cancel()


stopper = threading.Thread(target=canceller)
stopper.start()
try:
    expect_error("HY008", "cancelled", cancelled.execute, SPIN)
finally:
    done.set()
    stopper.join()

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
assert [r.type_name for r in cur.getTypeInfo(pyodbc.SQL_WVARCHAR)] == ["VARCHAR"]  # text, given as UTF-16
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
