"""pyodbc (Debian's python3-pyodbc) against the Text driver through unixODBC's driver manager.
Usage: text_pyodbc.py FOLDER (the files of make_text_files.py; the data source Texts).
Fails with the first check that does not hold."""
import datetime
import decimal
import sys

import pyodbc

folder = sys.argv[1]


def expect_error(state, text, call, *args):
    try:
        call(*args)
    except pyodbc.Error as e:
        assert e.args[0] == state, e.args
        assert text in e.args[1], e.args
        return
    raise AssertionError("no error: expected %s %s" % (state, text))


# The default connect (autocommit off) is accepted.
cnxn = pyodbc.connect("DSN=Texts")
cur = cnxn.cursor()
rows = [tuple(r) for r in cur.execute("SELECT City, Amount, Day, Note FROM sales#csv ORDER BY Amount")]
assert rows == [
    ("東京", 3.0, datetime.datetime(2026, 3, 1), "two\nlines"),
    ("Bern", 7.0, datetime.datetime(2026, 2, 1), 'say "hi"'),
    ("Zürich", 12.5, datetime.datetime(2026, 1, 31), "first, of all"),
    ("Basel", 100.25, datetime.datetime(2026, 3, 2, 10, 30), None),
], rows
assert [d[1] for d in cur.description] == [str, float, datetime.datetime, str]
cnxn.commit()

# Parameters, non-ASCII text among them.
assert cur.execute("SELECT Amount FROM [sales.csv] WHERE City = ?", "東京").fetchone()[0] == 3.0
assert cur.execute("SELECT COUNT(*) FROM sales#csv WHERE Day >= ?", datetime.date(2026, 2, 1)).fetchone()[0] == 3

# The catalogue: the files are the tables, their columns as guessed or declared.
tables = sorted((t.table_name, t.table_type, t.remarks) for t in cur.tables())
assert [t[0] for t in tables] == ["mixed#csv", "odd#csv", "people#tab", "sales#csv", "semi#txt"], tables
assert all(t[1:] == ("TABLE", "file") for t in tables), tables
columns = [(c.column_name, c.type_name) for c in cur.columns(table="semi#txt")]
assert columns == [("Name", "VARCHAR"), ("Amount", "NUMBER"), ("Day", "DATETIME"), ("Paid", "LOGICAL")], columns

# Declared columns from schema.ini: code page 1252, decimal commas, dd.mm.yyyy dates, booleans.
rows = [tuple(r) for r in cur.execute("SELECT Name, Amount, Day, Paid FROM semi#txt ORDER BY Name")]
assert rows == [
    ("Müller", 12.5, datetime.datetime(2026, 1, 31), True),
    ("Ødegaard", 3.0, datetime.datetime(2026, 2, 1), False),
], rows

# A value the guessed type cannot hold is NULL, and the statement says so, naming the row.
cur.execute("SELECT N FROM mixed#csv WHERE N IS NULL")
assert [tuple(r) for r in cur.fetchall()] == [(None,)]
assert any("row 27 of 'mixed#csv'" in m[1] for m in cur.messages), cur.messages

# Ragged rows: missing fields NULL; an extra field a warning naming the line.
rows = [tuple(r) for r in cur.execute("SELECT A, B, C FROM odd#csv")]
assert rows == [(1.0, "x", None), (2.0, None, None), (3.0, "y", "z"), (4.0, 'q"uote', "w")], rows
assert any("odd.csv' line 4 has 4 fields" in m[1] for m in cur.messages), cur.messages

# Read-only, and unknown tables named with the ones there are.
expect_error("42000", "DELETE is refused", cur.execute, "DELETE FROM sales#csv")
expect_error("42S02", "its tables are 'mixed#csv'", cur.execute, "SELECT * FROM nope#csv")

# A connection string without a data source, and the folder as DBQ.
other = pyodbc.connect("DRIVER={Microsoft Text Driver (*.txt, *.csv)};DBQ=%s" % folder, autocommit=True)
assert other.cursor().execute("SELECT COUNT(*) FROM people#tab").fetchone()[0] == 2
expect_error("08001", "no such folder", pyodbc.connect,
             "DRIVER={Microsoft Text Driver (*.txt, *.csv)};DBQ=%s/missing" % folder)
print("text pyodbc: all checks passed")
