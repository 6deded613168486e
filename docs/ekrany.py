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
"""
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
DRAWN = ("┌", "│", "└", "|")


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


def screen(spec, host, cache):
    spec, _, step = spec.partition("wiersze:")
    words = spec.split()
    name, options = words[0], words[1:]
    if name not in cache:
        work = tempfile.mkdtemp(prefix="q7-ekran-")
        script = os.path.join(SESSIONS, name + ".session")
        run = subprocess.run(host + [script, "--work", work], stdout=subprocess.PIPE, check=False)
        if run.returncode != 0:
            sys.exit(f"ekrany: the session {name} failed ({run.returncode})")
        cache[name] = (run.stdout.decode("utf-8"), work)
    transcript, work = cache[name]
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

    updated = BLOCK.sub(fill, guide)
    for _, work in cache.values():
        shutil.rmtree(work, ignore_errors=True)
    if mode == "update":
        if updated != guide:
            with open(GUIDE, "w", encoding="utf-8") as f:
                f.write(updated)
        print(f"ekrany: {len(BLOCK.findall(guide))} screens, {len(stale)} rewritten")
        return 0
    for spec, old, new in stale:
        sys.stdout.writelines(difflib.unified_diff(old.splitlines(True), new.splitlines(True),
                                                   f"guide: {spec}", f"plug-in now: {spec}"))
    if stale:
        print(f"ekrany: {len(stale)} screens of the guide differ from what the plug-in shows;"
              " scripts/guide rewrites them")
        return 1
    print(f"ekrany: all {len(BLOCK.findall(guide))} screens of the guide are as the plug-in shows them")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
