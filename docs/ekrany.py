#!/usr/bin/env python3
"""The screens of the user guide, made from sessions of the stand-in host.

    docs/ekrany.py update HOST...   rewrites every screen block of the guide
    docs/ekrany.py check HOST...    fails when a block differs from what the
                                    plug-in shows now

HOST is the command that runs the stand-in host (torval_host, or under Wine
the runner, its prefix and torval_host.exe). A screen block of the guide is

    <!-- ekran: NAME [okna N,M,...] [plik FILE] [wiersze: STEP] -->
    ```text
    ...
    ```

NAME is the session docs/ekrany/NAME.session, run in a fresh working
folder. The block shows, from its transcript (the steps echoed with "> "
are left out):
  - by default the windows drawn: each run of lines that begin with a frame
    or a box line ("┌", "│", "└" or "|"), without the line that announces it,
    one after another with an empty line between them;
  - with "okna N,M" only the N-th, M-th ... of those windows;
  - with "wiersze: STEP" every line that the step STEP of the session
    wrote (the step as the session writes it, e.g. "show ledger-of 0");
  - with "plik FILE" the text file FILE that the session left in its working
    folder (UTF-8; a byte-order mark is left out).
The host shows the folder the plug-in was loaded from as "<plugin dir>"; a
screen shows it as the folder of a program installed as the guide says,
C:\TORVAL.

What a command does inside the host (the entries of a holder's ledger, the
plot list with its columns and totals) the host's transcript tells in its
own terms; the guide shows it as a Polish table, made from the same run:

    <!-- tabela: NAME konto: STEP -->     the ledger that step STEP showed
    <!-- tabela: NAME spis: STEP -->      the plot list that step STEP showed
    | ... Markdown table ... |
    <!-- /tabela -->
"""
import datetime
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
GUIDE = os.path.join(HERE, "podrecznik.md")
SESSIONS = os.path.join(HERE, "ekrany")
BLOCK = re.compile(r"(<!-- ekran: (?P<spec>[^>]*?) -->\n```text\n)(?P<body>.*?)(```)", re.S)
TABLE = re.compile(r"(<!-- tabela: (?P<spec>[^>]*?) -->\n)(?P<body>.*?)(<!-- /tabela -->)", re.S)
DRAWN = ("┌", "│", "└", "|")
PLUGIN_FOLDER = "C:\\TORVAL"


def transcript_lines(text, step=None):
    lines, inside = [], step is None
    for line in text.replace("\r\n", "\n").split("\n"):
        if line.startswith("> ") or line == ">":
            if step is not None:
                inside = line[2:].strip() == step
            continue
        if inside:
            lines.append(line)
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def dedented(lines):
    """The host indents what a step writes by two spaces, and a mark may stand
    in that margin (the plot list's cursor): the lines of one screen lose
    only the margin they all have."""
    margin = min((len(l) - len(l.lstrip(" ")) for l in lines if l.strip()), default=0)
    return [l[min(margin, 2):] for l in lines]


def windows(lines):
    found, current = [], []
    for line in lines:
        if line.lstrip().startswith(DRAWN):
            current.append(line.rstrip())
        elif current:
            found.append(current)
            current = []
    if current:
        found.append(current)
    return found


def run_session(name, host, cache):
    if name not in cache:
        work = tempfile.mkdtemp(prefix="q7-ekran-")
        script = os.path.join(SESSIONS, name + ".session")
        run = subprocess.run(host + [script, "--work", work], stdout=subprocess.PIPE, check=False)
        if run.returncode != 0:
            sys.exit(f"ekrany: the session {name} failed ({run.returncode})")
        cache[name] = (run.stdout.decode("utf-8").replace("<plugin dir>", PLUGIN_FOLDER), work)
    return cache[name]


def screen(spec, host, cache):
    spec, _, step = spec.partition("wiersze:")
    words = spec.split()
    name, options = words[0], words[1:]
    transcript, work = run_session(name, host, cache)
    if "plik" in options:
        with open(os.path.join(work, options[options.index("plik") + 1]), "rb") as f:
            text = f.read().decode("utf-8")
        return text.removeprefix("\ufeff").replace("\r\n", "\n").rstrip("\n") + "\n"
    if step:
        lines = transcript_lines(transcript, step.strip())
        if not lines:
            sys.exit(f"ekrany: the step '{step.strip()}' of the session {name} wrote nothing")
        return "\n".join(dedented(lines)) + "\n"
    lines = transcript_lines(transcript)
    chosen = windows(lines)
    if "okna" in options:
        numbers = [int(n) for n in options[options.index("okna") + 1].split(",")]
        if max(numbers) > len(chosen):
            sys.exit(f"ekrany: the session {name} shows {len(chosen)} windows, not {max(numbers)}")
        chosen = [chosen[n - 1] for n in numbers]
    if not chosen:
        sys.exit(f"ekrany: the session {name} shows no window")
    return "\n\n".join("\n".join(dedented(w)) for w in chosen) + "\n"


def polish_date(date, days=0):
    """YY.MM.DD of the host as DD.MM.YYYY, days later."""
    yy = int(date[:2])
    day = datetime.date(1900 + yy if yy >= 80 else 2000 + yy, int(date[3:5]), int(date[6:8]))
    return (day + datetime.timedelta(days=days)).strftime("%d.%m.%Y")


def polish_amount(amount):
    return amount.replace(".", ",")


def cell(text):
    return text.replace("|", "\\|")


def ledger_table(lines):
    """The host's "#0 stamp 1/1 11.01.01 11.03.15 term 180 kind 24 code 0001
    amount 114.00" and '"title" "fee line"' lines as what the ledger holds."""
    entry = re.compile(r"#\d+ stamp \S+ (\S{8}) (\S{8}) term (-?\d+) kind \S+ code \S* amount (-?[\d.]+)"
                       r"(?: paid (-?[\d.]+))?$")
    texts = re.compile(r'"(.*)" "(.*)"$')
    rows, number = [], 0
    for line in (l.strip() for l in lines):
        if m := entry.match(line):
            number += 1
            document, entered, term, amount, paid = m.groups()
            rows.append([str(number), None, None, polish_date(document), polish_date(entered),
                         f"{polish_date(document, int(term))} ({term} dni)", polish_amount(amount),
                         polish_amount(paid) if paid else ""])
        elif (m := texts.match(line)) and rows:
            rows[-1][1], rows[-1][2] = cell(m[1]), "`" + m[2] + "`"
        elif line == "(no entries)":
            return "*(konto bez pozycji)*\n"
        elif not line.endswith(".KON:"):
            sys.exit(f"ekrany: a ledger line the guide cannot show: {line}")
    head = ["Poz.", "Tytuł", "Opis", "Data dokumentu", "Data wpisu", "Termin płatności", "Winien", "Ma"]
    if not any(r[-1] for r in rows):  # nothing paid: no column for it
        head, rows = head[:-1], [r[:-1] for r in rows]
    return markdown_table(head, rows, "rlllllrr")


def plot_table(lines):
    """The host's plot list (" row nr holder ... kwota2" and a line a plot,
    then "column totals: kwota1 X, kwota2 Y") as the list of firms shows it."""
    row = re.compile(r">?\s*\d+\s+(\S+) (.{24}) +(-?[\d.]+) (.{10}) +(-?[\d.]+) +(-?[\d.]+) +(-?[\d.]+) +"
                     r"(-?[\d.]+) +(-?[\d.]+)$")
    totals = re.compile(r"column totals: kwota1 (-?[\d.]+), kwota2 (-?[\d.]+)$")
    rows = []
    for line in lines:
        if line.strip().startswith("row "):
            continue
        if m := row.match(line.strip()):
            number, holder, area, letters, debit, credit, balance, kwota1, kwota2 = m.groups()
            area = area.rstrip("0").rstrip(".")
            rows.append([number, cell(holder.strip()), polish_amount(area),
                         "`" + letters.strip() + "`" if letters.strip() else "",
                         *(polish_amount(a) for a in (debit, credit, balance, kwota1, kwota2))])
        elif m := totals.search(line):
            rows.append(["", "**razem**", "", "", "", "", "", f"**{polish_amount(m[1])}**", f"**{polish_amount(m[2])}**"])
        else:
            sys.exit(f"ekrany: a line of the plot list the guide cannot show: {line}")
    head = ["Nr działki", "Działkowiec", "Powierzchnia m²", "Litery opłat", "Winien", "Ma", "Saldo", "kwota1", "kwota2"]
    return markdown_table(head, rows, "rlrlrrrrr")


def markdown_table(head, rows, align):
    bar = {"l": "---", "r": "---:"}
    lines = ["| " + " | ".join(head) + " |", "| " + " | ".join(bar[a] for a in align[:len(head)]) + " |"]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    return "\n".join(lines) + "\n"


def table(spec, host, cache):
    name, _, rest = spec.partition(" ")
    kind, _, step = rest.partition(":")
    transcript, _ = run_session(name, host, cache)
    lines = transcript_lines(transcript, step.strip())
    if not lines:
        sys.exit(f"ekrany: the step '{step.strip()}' of the session {name} wrote nothing")
    if kind.strip() == "konto":
        return ledger_table(lines)
    if kind.strip() == "spis":
        return plot_table(lines)
    sys.exit(f"ekrany: no table of the kind '{kind.strip()}'")


def main(argv):
    if len(argv) < 3 or argv[1] not in ("update", "check"):
        sys.exit(__doc__)
    mode, host = argv[1], argv[2:]
    with open(GUIDE, encoding="utf-8") as f:
        guide = f.read()
    cache, stale = {}, []

    def fill(match):
        body = screen(match.group("spec"), host, cache)
        if body != match.group("body"):
            stale.append((match.group("spec"), match.group("body"), body))
        return match.group(1) + body + match.group(4)

    def fill_table(match):
        body = table(match.group("spec"), host, cache)
        if body != match.group("body"):
            stale.append((match.group("spec"), match.group("body"), body))
        return match.group(1) + body + match.group(4)

    updated = TABLE.sub(fill_table, BLOCK.sub(fill, guide))
    for _, work in cache.values():
        shutil.rmtree(work, ignore_errors=True)
    if mode == "update":
        if updated != guide:
            with open(GUIDE, "w", encoding="utf-8") as f:
                f.write(updated)
        print(f"ekrany: {len(BLOCK.findall(guide)) + len(TABLE.findall(guide))} screens, {len(stale)} rewritten")
        return 0
    for spec, old, new in stale:
        sys.stdout.writelines(difflib.unified_diff(old.splitlines(True), new.splitlines(True),
                                                   f"guide: {spec}", f"plug-in now: {spec}"))
    if stale:
        print(f"ekrany: {len(stale)} screens of the guide differ from what the plug-in shows;"
              " scripts/guide rewrites them")
        return 1
    print(f"ekrany: all {len(BLOCK.findall(guide)) + len(TABLE.findall(guide))} screens of the guide are as the "
          "plug-in shows them")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
