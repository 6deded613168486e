#!/usr/bin/env python3
"""The payments report's spreadsheet file opened in a real spreadsheet program.

    tests/sheet_in_calc.py HOST...
    tests/sheet_in_calc.py --sheet FILE --report INFO_TXT

HOST is the command that runs the stand-in host (torval_host, or under Wine
the runner, its prefix and torval_host.exe). The host runs the payments
report over cash documents whose payers' names hold a semicolon, quotes,
Polish letters and a leading =, +, - or @, whose plot numbers are typed with
a letter, dated in both centuries of the host's two-digit years. LibreOffice
Calc, headless, opens the report's spreadsheet file as a Polish user's would:
semicolons, quotes, UTF-8, language Polish (1045), special numbers detected.
Read back cell by cell: each date is a date, the document's own; each amount
is a number, the report's own (info.txt); each name is one text cell; an
empty row stands before the totals row, whose amounts are the sums of the
columns and the report's totals. With --sheet the same checks are made of a
file already written, against the report it came with.

LibreOffice missing is a failure: scripts/bootstrap installs it.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PERIOD = ("99.01.01", "11.12.31")
SHEET = "raport_wplat_1999-01-01_2011-12-31.csv"
# Semicolons, quotes, CSV as LibreOffice's filter takes it: separator 59 (;),
# text delimiter 34 ("), character set 76 (UTF-8), from line 1, standard
# columns, language 1045 (Polish), quoted fields not forced to text, special
# numbers (dates) detected.
INFILTER = "CSV:59,34,76,1,,1045,false,true"

# Documents: date, plot number, payer, (line text, amount)...
DOCUMENTS = [
    ("11.03.20", "1", "Anna Nowak", [("2011 opł. 300* 0.38=114.0", 114), ("2011 składka członk. 6.00", 6)]),
    ("99.12.31", "12a", "Kowalski; Jan", [("woda", 173.04), ("konserw.", 10)]),
    ("00.01.01", "3", 'Zofia "Żabka" Wiśniewska', [("centr.ogrz.", 150), ("opłata manipulacyjna", 5.5)]),
    ("11.12.31", "4", "=SUMA(A1;A2)", [("opł.", 120.84)]),
    ("11.06.30", "5", "+48 600 100 200", [("woda", -12.30)]),
    ("11.07.01", "6", "-Kowalska", [("energia", 40.01)]),
    ("11.07.02", "7", "@Nowak", [("składka członk.", 6)]),
    ("11.07.03", "8", "Łucja Ćwik-Źdźbło", [("woda", 0.1), ("Woda", 0.2)]),
]
# What each name reads as: a name a spreadsheet would take for a formula
# keeps the apostrophe that makes it a text.
SHOWN_NAMES = ["Anna Nowak", "Kowalski; Jan", 'Zofia "Żabka" Wiśniewska', "'=SUMA(A1;A2)",
               "'+48 600 100 200", "'-Kowalska", "'@Nowak", "Łucja Ćwik-Źdźbło"]
HEADER = ["Nazwisko", "Nr działki", "Data", "Składka członkowska", "Użytkowanie", "Energia", "Woda", "CO",
          "Inne", "Razem"]


def fail(message):
    sys.exit("sheet_in_calc: " + message)


def header_facts():
    """The cash record's layout and the Mazovia code page, read from abi/,
    where they are written once."""
    with open(os.path.join(SOURCE, "abi", "records.h"), encoding="utf-8") as f:
        records = f.read()
    offsets = {m[0]: int(m[1]) for m in re.findall(r"offsetof\(cash_record, (\w+)\) == (\d+)", records)}
    offsets["size"] = int(re.search(r"sizeof\(cash_record\) == (\d+)", records)[1])
    with open(os.path.join(SOURCE, "abi", "mazovia.h"), encoding="utf-8") as f:
        letters = {m[0]: int(m[1], 16) for m in re.findall(r"\{U'(.)', 0x([0-9A-F]{2}), 0x[0-9A-F]{2}\}", f.read())}
    if len(letters) != 18 or len(offsets) != 6:
        fail("cannot read the cash record or the code page from abi/")
    return offsets, letters


def cash_records():
    offsets, letters = header_facts()
    mazovia = lambda text: bytes(letters[c] if c in letters else ord(c) for c in text)
    out = b""
    for date, plot, payer, lines in DOCUMENTS:
        record = bytearray(offsets["size"])
        record[offsets["cash_date"]:offsets["cash_date"] + 8] = date.encode()
        for slot, (text, amount) in enumerate(lines):
            at = offsets["line_texts"] + 25 * slot
            record[at:at + 25] = mazovia(text).ljust(25)
            struct.pack_into("<d", record, offsets["line_amounts"] + 8 * slot, amount * 10000)
        name = mazovia(payer)
        record[offsets["payer_name"]:offsets["payer_name"] + len(name)] = name
        record[offsets["cash_plot_no"]:offsets["cash_plot_no"] + len(plot)] = plot.encode()
        out += record
    return out


def run_report(host, folder):
    with open(os.path.join(folder, "cash.bin"), "wb") as f:
        f.write(cash_records())
    script = os.path.join(folder, "report.session")
    with open(script, "w", encoding="utf-8") as f:
        f.write("config Sudma Pytaj 1\ncash raw cash.bin\nload\nstart\nactivate\nanswer yes\n"
                f"answer ok period {PERIOD[0]} {PERIOD[1]}\nanswer no\nkey 28 1\n")
    work = os.path.join(folder, "work")
    run = subprocess.run(host + [script, "--work", work], stdout=subprocess.PIPE, check=False)
    if run.returncode != 0:
        fail(f"the report's session failed ({run.returncode}):\n" + run.stdout.decode("utf-8", "replace"))
    return os.path.join(work, SHEET), os.path.join(work, "info.txt")


def calc_cells(sheet, folder):
    """The cells of the first table as LibreOffice reads the file: a list of
    rows, each a list of (type, value); type None for an empty cell."""
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        fail("LibreOffice (soffice) is not installed; scripts/bootstrap installs it")
    profile = "file://" + os.path.join(folder, "profile")
    converted = os.path.join(folder, "converted")
    run = subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore",
                          "--infilter=" + INFILTER, "--convert-to", "fods", "--outdir", converted, sheet],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False, timeout=240)
    name = os.path.join(converted, os.path.splitext(os.path.basename(sheet))[0] + ".fods")
    if run.returncode != 0 or not os.path.exists(name):
        fail("LibreOffice did not convert the file:\n" + run.stdout.decode("utf-8", "replace"))
    ns = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
          "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
          "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0"}
    q = lambda prefix, local: "{%s}%s" % (ns[prefix], local)
    rows = []
    for row in ET.parse(name).getroot().iter(q("table", "table-row")):
        repeated_rows = int(row.get(q("table", "number-rows-repeated"), "1"))
        cells = []
        for cell in row.iter(q("table", "table-cell")):
            kind = cell.get(q("office", "value-type"))
            text = "\n".join("".join(p.itertext()) for p in cell.iter(q("text", "p")))
            value = {"float": cell.get(q("office", "value")), "date": cell.get(q("office", "date-value")),
                     "string": text, None: None}.get(kind, text)
            cells += [(kind, value)] * int(cell.get(q("table", "number-columns-repeated"), "1"))
        while cells and cells[-1][0] is None:
            cells.pop()
        rows += [cells] * min(repeated_rows, 100)
    while rows and not rows[-1]:
        rows.pop()
    return rows


def report_amounts(info):
    """The seven amounts of each line of the report's file info.txt, and of its totals line."""
    with open(info, "rb") as f:
        lines = [l for l in f.read().decode("latin-1").split("\r\n") if l]
    amounts = [[float(a) for a in line.split("\t")[3:10]] for line in lines]
    if not lines or not lines[-1].startswith("RAZEM"):
        fail("the report's file has no totals line")
    return amounts[:-1], amounts[-1]


def iso(date):
    """YY.MM.DD as the date it stands for: 80 to 99 of the last century."""
    yy = int(date[:2])
    return f"{1900 + yy if yy >= 80 else 2000 + yy}-{date[3:5]}-{date[6:8]}"


def check(sheet, info, folder):
    rows = calc_cells(sheet, folder)
    faults = []
    expect = lambda ok, what: ok or faults.append(what)
    row_amounts, total_amounts = report_amounts(info)
    expect(len(rows) == len(DOCUMENTS) + 3, f"{len(rows)} rows, not the header, {len(DOCUMENTS)} documents, "
                                            "an empty row and the totals")
    expect(rows and rows[0] == [("string", t) for t in HEADER], f"the header row reads {rows[:1]}")
    sums = [0.0] * 7
    for i, (date, plot, _, _) in enumerate(DOCUMENTS):
        cells = rows[i + 1] if i + 1 < len(rows) else []
        if len(cells) != 10:
            faults.append(f"document {i + 1}: {len(cells)} cells, not 10: {cells}")
            continue
        expect(cells[0] == ("string", SHOWN_NAMES[i]), f"document {i + 1}: the name reads {cells[0]}")
        plot_cell = ("float", plot) if plot.isdigit() else ("string", plot)
        expect(cells[1] == plot_cell, f"document {i + 1}: the plot number reads {cells[1]}, not {plot}")
        expect(cells[2] == ("date", iso(date)), f"document {i + 1}: the date {date} reads {cells[2]}, "
                                               f"not the date {iso(date)}")
        for column, (cell, amount) in enumerate(zip(cells[3:], row_amounts[i] if i < len(row_amounts) else [])):
            expect(cell[0] == "float" and abs(float(cell[1]) - amount) < 0.001,
                   f"document {i + 1}, {HEADER[column + 3]}: {cell}, the report has {amount:.2f}")
            if cell[0] == "float":
                sums[column] += float(cell[1])
    if len(rows) == len(DOCUMENTS) + 3:
        expect(rows[-2] == [], f"the row before the totals is not empty: {rows[-2]}")
        totals = rows[-1]
        expect(totals[:3] == [("string", "RAZEM"), (None, None), (None, None)],
               f"the totals row begins {totals[:3]}")
        for column, cell in enumerate(totals[3:10]):
            expect(cell[0] == "float" and abs(float(cell[1]) - sums[column]) < 0.001
                   and abs(float(cell[1]) - total_amounts[column]) < 0.001,
                   f"totals, {HEADER[column + 3]}: {cell}, the column sums to {sums[column]:.2f}, "
                   f"the report has {total_amounts[column]:.2f}")
    if faults:
        fail("the spreadsheet file does not read right in LibreOffice Calc:\n  " + "\n  ".join(faults))
    print(f"sheet_in_calc: {len(DOCUMENTS)} documents and their totals read right in LibreOffice Calc")


def main(argv):
    folder = tempfile.mkdtemp(prefix="q7-calc-")
    try:
        if len(argv) == 5 and argv[1] == "--sheet" and argv[3] == "--report":
            check(argv[2], argv[4], folder)
        elif len(argv) >= 2 and not argv[1].startswith("-"):
            sheet, info = run_report(argv[1:], folder)
            if not os.path.exists(sheet):
                fail(f"the report wrote no {SHEET}: {sorted(os.listdir(os.path.dirname(sheet)))}")
            check(sheet, info, folder)
        else:
            sys.exit(__doc__)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv)
