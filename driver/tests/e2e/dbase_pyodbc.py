"""pyodbc (Debian's python3-pyodbc) on the dBase and Visual FoxPro data sources through
unixODBC's driver manager. Usage: dbase_pyodbc.py FOLDER (the tables of make_tables.py, data
sources Towns and Stock). Fails with the first check that does not hold."""
import datetime
import decimal
import sys

import pyodbc

folder = sys.argv[1]

# dBase III: memo, code page 1252, a deleted record left out, a blank date NULL.
cnxn = pyodbc.connect("DSN=Towns")
cur = cnxn.cursor()
rows = [tuple(r) for r in cur.execute(
    "SELECT NAME, PEOPLE, AREA, FOUNDED, CAPITAL, NOTE FROM Cities ORDER BY PEOPLE")]
assert rows == [
    ("Bern", 134794.0, 51.62, datetime.datetime(1983, 11, 26), True, "Federal city"),
    ("Genève", 203856.0, 15.93, None, False, ""),
    ("Zürich", 421878.0, 87.88, datetime.datetime(1934, 1, 1), False,
     "On the Limmat,\nat the lake's end"),
], rows
assert [d[1] for d in cur.description] == [str, float, float, datetime.datetime, bool, str]
# The catalogue: every .dbf a table, its fields the columns.
tables = sorted(t.table_name for t in cur.tables())
assert tables == ["Cities", "orders"], tables
columns = [(c.column_name, c.type_name) for c in cur.columns(table="orders")]
assert [c[0] for c in columns] == ["ID", "CITY", "AMOUNT", "DAY"], columns
# Parameters and joins across the folder's tables.
total = cur.execute("SELECT SUM(o.AMOUNT) FROM orders o JOIN Cities c ON c.NAME = o.CITY "
                    "WHERE c.NAME = ?", "Zürich").fetchone()[0]
assert total == 99.95, total
try:
    cur.execute("SELECT * FROM Nowhere")
    raise AssertionError("no error for an unknown table")
except pyodbc.Error as e:
    assert e.args[0] == "42S02", e.args
try:
    cur.execute("DELETE FROM orders")
    raise AssertionError("no error for a DELETE")
except pyodbc.Error as e:
    assert "read-only" in e.args[1] or "refused" in e.args[1] or e.args[0] in ("HY000", "42000", "HYC00"), e.args

# Visual FoxPro: null flags, integers, currency, date-times, doubles, code page 1251.
cnxn = pyodbc.connect("DSN=Stock")
cur = cnxn.cursor()
rows = [tuple(r) for r in cur.execute("SELECT ITEM, QTY, PRICE, SEEN, RATIO FROM Stock")]
assert rows == [
    ("Москва", 5.0, 12.3456, datetime.datetime(2026, 12, 9, 10, 20, 30), 0.5),
    (None, None, None, None, None),
    ("Kyiv", -3.0, -0.0001, datetime.datetime(1999, 12, 31, 23, 59, 59), 1e10),
], rows
note = cur.execute("SELECT NOTE FROM Stock WHERE QTY < 0").fetchone()[0]
assert note == "x" * 300, note
print("dbase pyodbc: ok")
