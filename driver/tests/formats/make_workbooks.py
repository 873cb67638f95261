#!/usr/bin/python3
"""Writes the workbooks the format readers' tests read, with independent writers
(xlsxwriter, openpyxl, xlwt) and, for hostile files, Python's zipfile and a few bytes by hand.

    make_workbooks.py OUTDIR
"""
import datetime
import os
import struct
import sys
import zipfile

import openpyxl
import xlsxwriter
import xlwt

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def xlsxwriter_book():
    wb = xlsxwriter.Workbook(path("kinds.xlsx"))
    date = wb.add_format({"num_format": "yyyy-mm-dd"})
    stamp = wb.add_format({"num_format": "dd/mm/yyyy hh:mm:ss"})
    elapsed = wb.add_format({"num_format": "[h]:mm"})
    time = wb.add_format({"num_format": "h:mm AM/PM"})
    money = wb.add_format({"num_format": "0.00"})
    days = wb.add_format({"num_format": '0 "days"'})
    red = wb.add_format({"num_format": "[Red]0.0"})
    builtin = wb.add_format({"num_format": 14})
    bold = wb.add_format({"bold": True})

    ws = wb.add_worksheet("Data")
    ws.write_row(0, 0, ["Name", "Amount", "When", "Flag", "Twice"])
    ws.write_string(1, 0, "Zürich")
    ws.write_number(1, 1, 42.5)
    ws.write_datetime(1, 2, datetime.datetime(2026, 1, 31), date)
    ws.write_boolean(1, 3, True)
    ws.write_formula(1, 4, "=B2*2", None, 85)
    ws.write_string(2, 0, "日本語 😀")
    ws.write_number(2, 1, -1.25e-3)
    ws.write_datetime(2, 2, datetime.datetime(2026, 2, 1, 13, 30, 15), stamp)
    ws.write_boolean(2, 3, False)
    ws.write_formula(2, 4, '="a"&"b"', None, "ab")
    ws.write_rich_string(3, 0, "plain ", bold, "bold", " end")
    ws.write_number(3, 1, 1.5, elapsed)
    ws.write_number(3, 2, 0.75, time)
    ws.write_number(3, 3, 3.25, money)
    ws.write_number(3, 4, 7, days)
    ws.write_number(4, 0, 2, red)
    ws.write_number(4, 1, 45000, builtin)
    ws.write_string(4, 2, "a_x0041_b")  # literal text that looks like an escape
    ws.write_string(4, 3, "bell\x07")    # a control character, written as an escape
    ws.write_string(4, 4, "Zürich")      # the same shared string again
    ws.write_number(5, 0, -1, date)      # no date has these serials
    ws.write_number(5, 1, 3e6, date)
    wb.define_name("Sales", "=Data!$A$1:$D$3")
    wb.define_name("Rate", "=0.05")
    wb.define_name("Pieces", "=Data!$A$1,Data!$B$2")
    ws.autofilter("A1:E5")

    odd = wb.add_worksheet("My $ Sheet")
    odd.write_string(2, 1, "sparse")
    odd.write_number(1048575, 3, 7)  # the last row a sheet has
    wb.define_name("'My $ Sheet'!Local", "='My $ Sheet'!$B$3:$D$4")

    wb.add_worksheet("Empty")
    wb.close()

    wb = xlsxwriter.Workbook(path("date1904.xlsx"), {"date_1904": True})
    ws = wb.add_worksheet("Dates")
    ws.write_datetime(0, 0, datetime.datetime(2026, 1, 31, 6), wb.add_format({"num_format": "yyyy-mm-dd hh:mm"}))
    wb.close()


def openpyxl_books():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Mixed"
    ws["A1"] = "text"
    ws["B1"] = 3
    ws["C1"] = True
    ws["D1"] = "#N/A"
    ws["E1"] = datetime.datetime(2026, 3, 4, 5, 6, 7)
    ws["A2"] = "=1+1"
    ws.column_dimensions["A"].width = 20
    wb.save(path("openpyxl.xlsx"))

    wb = openpyxl.Workbook(iso_dates=True)
    ws = wb.active
    ws.title = "Iso"
    ws["A1"] = datetime.datetime(2026, 3, 4, 5, 6, 7)
    ws["A2"] = datetime.date(1900, 1, 1)
    wb.save(path("isodates.xlsx"))


def xlwt_books():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Legacy")
    ws.write(0, 0, "Name")
    ws.write(0, 1, "Amount")
    ws.write(0, 2, "When")
    ws.write(1, 0, "Zürich")
    ws.write(1, 1, 42.5)
    ws.write(1, 2, datetime.datetime(2026, 1, 31, 12, 0, 0),
             xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss"))
    ws.write(2, 1, 7)
    ws.write(2, 2, datetime.date(2026, 2, 1), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
    wb.add_sheet("Second Sheet").write(3, 3, "far")
    wb.save(path("legacy.xls"))

    wb = xlwt.Workbook()
    wb.dates_1904 = True
    ws = wb.add_sheet("Dates")
    ws.write(0, 0, datetime.date(2026, 1, 31), xlwt.easyxf(num_format_str="yyyy-mm-dd"))
    wb.save(path("legacy1904.xls"))


def xlwt_kinds():
    # Booleans and errors, which the format keeps in one kind of record; a long text (over
    # two records); a workbook whose one sheet is empty; a text as long as a cell holds, which
    # FreeXL cannot read.
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Kinds")
    ws.write(0, 0, True)
    ws.write(0, 1, False)
    ws.write(0, 2, 3.5)
    ws.row(1).set_cell_error(0, "#DIV/0!")
    ws.row(1).set_cell_error(1, 0x2A)  # #N/A, which xlwt names only by its code
    ws.write(2, 0, "\u00e9" + "x" * 9000)
    wb.save(path("kinds.xls"))

    wb = xlwt.Workbook(encoding="utf-8")
    wb.add_sheet("Long").write(0, 0, "x" * 32767)
    wb.save(path("longtext.xls"))

    wb = xlwt.Workbook()
    wb.add_sheet("Nothing")
    wb.save(path("emptysheet.xls"))


def record(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def damaged_xls():
    """Workbooks whose compound file or record stream is broken where FreeXL reads on: bytes
    changed in a file xlwt wrote, and compound files made by hand."""
    legacy = bytearray(open(path("legacy.xls"), "rb").read())
    bof = legacy.find(bytes.fromhex("0908100000060500"))
    flipped = bytearray(legacy)
    flipped[bof] ^= 0x5A
    open(path("flippedbof.xls"), "wb").write(flipped)

    # The first sheet's dimension says one row: FreeXL then drops the cells below it.
    sheet_bof = legacy.find(bytes.fromhex("0908100000061000"))
    dims = legacy.find(bytes.fromhex("00020e00"), sheet_bof)
    shrunk = bytearray(legacy)
    struct.pack_into("<I", shrunk, dims + 8, 1)
    open(path("lostcells.xls"), "wb").write(shrunk)

    # A record whose length runs past the end of the stream.
    cut = bytearray(legacy)
    struct.pack_into("<H", cut, dims + 2, 0x2000)
    open(path("longrecord.xls"), "wb").write(cut)

    globals_ = (record(0x0809, struct.pack("<HHHHII", 0x0600, 5, 0x0DBB, 0x07CC, 0, 6)) +
                record(0x000A))
    compound_file("nosheets.xls", {"Workbook": globals_.ljust(4096, b"\0")})
    payload = b"\0" * 5000
    # The stream's chain of sectors comes back to its start.
    compound_file("fatloop.xls", {"Workbook": payload},
                  edit_fat=lambda fat: fat.__setitem__(9, 0))
    # The directory gives the stream more bytes than its chain holds.
    compound_file("shortchain.xls", {"Workbook": payload}, claimed={"Workbook": 5500})
    # The chain leads to a sector beyond the end of the file.
    compound_file("outside.xls", {"Workbook": payload},
                  edit_fat=lambda fat: fat.__setitem__(3, 5000))


# ---- Hand-made packages, for what writers never produce ----------------------------------

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>"""
ROOT_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="{target}"/>
</Relationships>"""
WORKBOOK_RELS = """<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="/xl/sharedStrings.xml"/>
</Relationships>"""
WORKBOOK = """<?xml version="1.0" encoding="UTF-8"?>
<x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"
 xmlns:rel="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<x:sheets><x:sheet name="S" sheetId="1" rel:id="rId1"/></x:sheets></x:workbook>"""
STRINGS = """<?xml version="1.0" encoding="UTF-8"?>
<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="3" uniqueCount="3">
<si><t>one</t></si>
<si><r><t>ri</t></r><r><t xml:space="preserve">ch </t></r><rPh sb="0" eb="1"><t>PHONETIC</t></rPh></si>
<si><t>line_x000D__x000A_break _xD83D__xDE00_</t></si>
</sst>"""


def package(name, sheet, strings=STRINGS, target="xl/workbook.xml", extra=None,
            workbook=WORKBOOK):
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS.format(target=target))
        z.writestr("xl/_rels/workbook.xml.rels", WORKBOOK_RELS)
        z.writestr("xl/workbook.xml", workbook)
        z.writestr("xl/sharedStrings.xml", strings)
        z.writestr("xl/worksheets/sheet1.xml", sheet)
        for part, data in (extra or {}).items():
            z.writestr(part, data)


def sheet(cells):
    return ('<?xml version="1.0" encoding="UTF-8"?>'
            '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            '<sheetData>' + cells + '</sheetData></worksheet>')


def hand_made():
    # Cells out of order, cells without references, rows without numbers, a repeated cell.
    package("order.xlsx", sheet(
        '<row r="3"><c r="C3"><v>33</v></c><c r="A3"><v>31</v></c></row>'
        '<row r="1"><c r="B1" t="s"><v>0</v></c><c><v>12</v></c><c t="s"><v>1</v></c></row>'
        '<row><c><v>21</v></c><c r="B1"><v>99</v></c></row>'
        '<row><c r="A9" t="inlineStr"><is><t>in</t><r><t>line</t></r>'
        '<rPh><t>x</t></rPh></is></c><c r="B9" t="s"><v>2</v></c><c r="C9" t="e"><v>#REF!</v></c>'
        '<c r="D9" s="0"/><c r="E9" t="b"><v>1</v></c><c r="F9" t="str"><f>A1</f><v>via</v></c></row>'
        '<row r="12"><c r="C14"><v>5</v></c><c><v>6</v></c></row>'))
    package("noid.xlsx", sheet(""), workbook=WORKBOOK.replace(' rel:id="rId1"', ""))
    package("badindex.xlsx", sheet('<row r="7"><c r="B7" t="s"><v>40</v></c></row>'))
    package("badref.xlsx", sheet('<row r="1"><c r="1A"><v>1</v></c></row>'))
    package("badnumber.xlsx", sheet('<row r="2"><c r="C2"><v>12abc</v></c></row>'))
    package("malformed.xlsx", sheet('<row r="1"><c r="A1"><v>1</v></x></row>'))
    package("doctype.xlsx", '<?xml version="1.0"?><!DOCTYPE lol [<!ENTITY a "aaaa">]>'
            '<worksheet><sheetData><row><c><v>&a;</v></c></row></sheetData></worksheet>')
    package("binary.xlsx", sheet(""), target="xl/workbook.bin",
            extra={"xl/workbook.bin": b"\x83\x01\x00"})
    with zipfile.ZipFile(path("document.xlsx"), "w") as z:  # a word processor's document
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS.format(target="word/document.xml"))
        z.writestr("word/document.xml", '<w:document xmlns:w="w"><w:body/></w:document>')
    with zipfile.ZipFile(path("nobook.xlsx"), "w") as z:
        z.writestr("hello.txt", "not a workbook")

    # A part that inflates a thousandfold: refused long before it is all inflated.
    body = b" " * (1 << 20)
    with zipfile.ZipFile(path("bomb.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS.format(target="xl/workbook.xml"))
        z.writestr("xl/_rels/workbook.xml.rels", WORKBOOK_RELS)
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/sharedStrings.xml", STRINGS)
        with z.open("xl/worksheets/sheet1.xml", "w") as part:
            part.write(b'<worksheet><sheetData><row r="1"><c r="A1"><v>1</v></c></row>')
            for _ in range(100):
                part.write(body)
            part.write(b"</sheetData></worksheet>")

    # A part whose directory entry claims 3 GiB: refused before anything is inflated.
    package("huge.xlsx", sheet('<row r="1"><c r="A1"><v>1</v></c></row>'))
    data = bytearray(open(path("huge.xlsx"), "rb").read())
    with zipfile.ZipFile(path("huge.xlsx")) as z:
        info = z.getinfo("xl/worksheets/sheet1.xml")
    local = info.header_offset
    struct.pack_into("<I", data, local + 22, 3 << 30)
    pos = 0
    while True:  # the central entry of that part
        pos = data.find(b"PK\x01\x02", pos)
        n = struct.unpack_from("<H", data, pos + 28)[0]
        if data[pos + 46:pos + 46 + n] == b"xl/worksheets/sheet1.xml":
            struct.pack_into("<I", data, pos + 24, 3 << 30)
            break
        pos += 4
    open(path("huge.xlsx"), "wb").write(data)

    # Texts against the 32,767 characters a cell holds, counted in UTF-16 units after the
    # format's escapes: at the limit (an escape, a pair, the rest), one over it (the pair counts
    # two), far over it (50 MB in one item), inline, and an item no cell uses.
    def strings(*items):
        return ('<?xml version="1.0" encoding="UTF-8"?><sst xmlns="x">' +
                "".join("<si><t>%s</t></si>" % i for i in items) + "</sst>")
    at_limit = "_x000D_\U0001F600" + "x" * 32764
    over = "\U0001F600" + "x" * 32766
    package("atlimit.xlsx", sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>'),
            strings=strings(at_limit))
    package("overlimit.xlsx", sheet('<row r="2"><c r="B2" t="s"><v>0</v></c></row>'),
            strings=strings(over))
    package("unusedlong.xlsx", sheet('<row r="1"><c r="A1" t="s"><v>1</v></c></row>'),
            strings=strings("y" * 40000, "short"))
    package("inlinelong.xlsx", sheet('<row r="3"><c r="C3" t="inlineStr"><is><t>' +
                                     "z" * 32768 + "</t></is></c></row>"))
    with zipfile.ZipFile(path("hugestring.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS.format(target="xl/workbook.xml"))
        z.writestr("xl/_rels/workbook.xml.rels", WORKBOOK_RELS)
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/worksheets/sheet1.xml",
                   sheet('<row r="1"><c r="A1" t="s"><v>0</v></c></row>'))
        with z.open("xl/sharedStrings.xml", "w") as part:
            part.write(b'<sst xmlns="x"><si><t>')
            for _ in range(50):
                part.write(b"w" * (1 << 20))
            part.write(b"</t></si></sst>")

    # Booleans as the application reads them: any number but 0 is TRUE.
    package("booleans.xlsx", sheet(
        '<row r="1"><c r="A1" t="b"><v>1</v></c><c r="B1" t="b"><v>0</v></c>'
        '<c r="C1" t="b"><v>2</v></c><c r="D1" t="b"><v>-1</v></c><c r="E1" t="b"><v>0.5</v></c>'
        '<c r="F1" t="b"><v>true</v></c><c r="G1" t="b"><v> 0 </v></c></row>'))
    package("badboolean.xlsx", sheet('<row r="4"><c r="D4" t="b"><v>yes</v></c></row>'))

    # Sheets no writer makes: an empty part, a column past XFD, more cells in a row than a
    # sheet has columns, a row past 1048576, a declared dimension of the whole sheet, and
    # elements nested a hundred thousand deep.
    package("emptypart.xlsx", "")
    package("widecell.xlsx", sheet('<row r="1"><c r="XFE1"><v>1</v></c></row>'))
    package("widerow.xlsx", sheet('<row r="1"><c r="XFD1"><v>1</v></c><c><v>2</v></c></row>'))
    package("deeprow.xlsx", sheet('<row r="1048577"><c><v>1</v></c></row>'))
    package("lastcell.xlsx", '<?xml version="1.0"?><worksheet xmlns="x">'
            '<dimension ref="A1:XFD1048576"/><sheetData><row r="1048576">'
            '<c r="XFD1048576"><v>7</v></c></row></sheetData></worksheet>')
    package("nested.xlsx", sheet('<row r="1"><c r="A1"><v>1</v></c></row>' +
                                 "<x>" * 100000 + "</x>" * 100000))

    whole = open(path("kinds.xlsx"), "rb").read()
    open(path("truncated.xlsx"), "wb").write(whole[: len(whole) // 2])
    open(path("text.xlsx"), "w").write("Name,Amount\nZürich,42\n")
    open(path("empty.xlsx"), "wb").close()
    legacy = open(path("legacy.xls"), "rb").read()
    open(path("truncated.xls"), "wb").write(legacy[:1536])


def compound_file(name, streams, edit_fat=None, claimed=None):
    """A compound file of 512-byte sectors holding `streams` (name -> bytes, each stored in
    regular sectors): enough structure for a reader of its directory. `edit_fat` may change
    the allocation table (a list of sector numbers); `claimed` gives stream sizes that differ
    from the bytes stored."""
    sector = 512
    data_sectors = []
    chains = []
    for payload in streams.values():
        count = max(1, -(-len(payload) // sector))
        chains.append((len(data_sectors), count, len(payload)))
        for i in range(count):
            data_sectors.append(payload[i * sector:(i + 1) * sector].ljust(sector, b"\0"))
    fat_sector = len(data_sectors)
    dir_sector = fat_sector + 1
    fat = [0xFFFFFFFF] * (sector // 4)
    for start, count, _ in chains:
        for i in range(count):
            fat[start + i] = start + i + 1 if i + 1 < count else 0xFFFFFFFE
    fat[fat_sector] = 0xFFFFFFFD
    fat[dir_sector] = 0xFFFFFFFE
    if edit_fat:
        edit_fat(fat)

    def entry(entry_name, kind, start, size, child=0xFFFFFFFF, right=0xFFFFFFFF):
        encoded = (entry_name + "\0").encode("utf-16-le")
        e = encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1)
        e += struct.pack("<III", 0xFFFFFFFF, right, child) + b"\0" * 16 + b"\0" * 4
        e += b"\0" * 16 + struct.pack("<IQ", start, size)
        return e.ljust(128, b"\0")

    names = list(streams)
    entries = [entry("Root Entry", 5, 0xFFFFFFFE, 0, child=1)]
    for i, (n, (start, _, size)) in enumerate(zip(names, chains)):
        size = (claimed or {}).get(n, size)
        right = i + 2 if i + 1 < len(names) else 0xFFFFFFFF
        entries.append(entry(n, 2, start, size, right=right))
    directory = b"".join(entries).ljust(sector, b"\0")
    header = bytearray(512)
    header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHH", header, 0x18, 0x3E, 3, 0xFFFE, 9)
    struct.pack_into("<H", header, 0x20, 6)
    struct.pack_into("<I", header, 0x2C, 1)
    struct.pack_into("<I", header, 0x30, dir_sector)
    struct.pack_into("<I", header, 0x38, 4096)
    struct.pack_into("<I", header, 0x3C, 0xFFFFFFFE)
    struct.pack_into("<I", header, 0x44, 0xFFFFFFFE)
    header[0x4C:0x200] = b"\xff" * (0x200 - 0x4C)
    struct.pack_into("<I", header, 0x4C, fat_sector)
    with open(path(name), "wb") as f:
        f.write(header)
        for s in data_sectors:
            f.write(s)
        f.write(b"".join(struct.pack("<I", v) for v in fat))
        f.write(directory)


xlsxwriter_book()
openpyxl_books()
xlwt_books()
xlwt_kinds()
hand_made()
compound_file("encrypted.xlsx", {"EncryptionInfo": b"\x04\x00\x04\x00" + b"\0" * 600,
                                 "EncryptedPackage": b"\x10" + b"\0" * 1100})
compound_file("nostream.xls", {"Other": b"hello"})
damaged_xls()
