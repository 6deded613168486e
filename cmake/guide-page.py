#!/usr/bin/python3
"""Makes the user guide a web page: guide-page.py GUIDE.md VERSION PAGE.html

One self-contained HTML file that any browser opens from the disk: its
styles inside, nothing fetched from anywhere, a table of contents, the
screens as fixed-width blocks, and a print layout. Made by Debian's
python3-markdown (run by Debian's own Python, where that module lives), so
the same guide always gives the same bytes. The comments that mark the
guide's screens and tables for docs/ekrany.py are left out.

The screens in the guide's text keep the markup of the host's texts as the
stand-in host draws it (so that docs/ekrany.py compares them with real
runs); the page shows it as the program does: an emphasised stretch (byte 2,
or 5 in a button, up to byte 1) in bold, a layout directive (byte 1, letters
and numbers, byte 1) as the columns it sets, a tab as a space, a carriage
return not at all. A form's line keeps its frame where it was. A screen wider
than the text column spreads over the window's width, its type made smaller
as far as it must to fit. Printed: pages numbered in their bottom margin, the
table of contents with the chapters' numbers, screens beside their sentence,
one wider than the page made smaller; the report's view, with its section, on
a landscape page.
"""
import html
import re
import sys

import markdown

STYLE = """
body { font-family: "Segoe UI", Calibri, Arial, sans-serif; font-size: 11pt; line-height: 1.45;
       color: #1a1a1a; background: #fff; margin: 0; }
main { max-width: 62em; margin: 0 auto; padding: 1.5em 2em 4em; }
h1 { font-size: 1.8em; border-bottom: 2px solid #2f6b3a; padding-bottom: .2em; }
h2 { font-size: 1.4em; margin-top: 2em; border-bottom: 1px solid #b9cdb9; padding-bottom: .15em; }
h3 { font-size: 1.15em; margin-top: 1.6em; }
p.version { color: #555; margin-top: -.5em; }
nav.toc { background: #f3f7f3; border: 1px solid #cfdccf; padding: .6em 1.2em; }
nav.toc ul { margin: .2em 0; padding-left: 1.2em; }
table { border-collapse: collapse; margin: .8em 0; font-size: .95em; }
th, td { border: 1px solid #b8b8b8; padding: .25em .5em; vertical-align: top; }
th { background: #e8efe8; }
code { font-family: Consolas, "DejaVu Sans Mono", "Liberation Mono", "Courier New", monospace; font-size: .92em;
       background: #f2f2f2; padding: 0 .15em; }
pre { font-family: Consolas, "DejaVu Sans Mono", "Liberation Mono", "Courier New", monospace; font-size: 9pt;
      line-height: 1.25; white-space: pre-wrap; overflow-wrap: anywhere;
      background: #f7f7f2; border: 1px solid #d6d6c8; padding: .6em .8em; }
.screen pre { white-space: pre; overflow-wrap: normal; overflow-x: auto; }
.wide pre { width: max-content; max-width: calc(100vw - 4rem); box-sizing: border-box; position: relative;
           left: 50%; transform: translateX(-50%);
           font-size: max(6pt, min(9pt, calc((100vw - 6rem) / (var(--cols) * .61)))); }
pre code { background: none; padding: 0; font-size: inherit; }
pre strong { font-weight: bold; }
td code { white-space: pre; }
@media print {
  @page { size: A4; margin: 14mm 10mm 16mm;
          @bottom-center { content: counter(page); font-family: "Segoe UI", Calibri, Arial, sans-serif;
                           font-size: 9pt; color: #444; } }
  @page landscape { size: A4 landscape; margin: 10mm 10mm 14mm; }
  body { font-size: 10pt; }
  main { max-width: none; padding: 0; }
  nav.toc { background: none; border: none; padding: 0; }
  nav.toc ul { list-style: none; padding-left: 0; }
  nav.toc div.toc > ul { columns: 2; column-gap: 8mm; }
  nav.toc div.toc > ul > li { break-inside: avoid; margin-bottom: .5em; font-weight: bold; }
  nav.toc div.toc > ul > li > ul { font-weight: normal; padding-left: 1.2em; }
  h2 { break-before: page; }
  h2, h3 { break-after: avoid; }
  /* A sentence stays with the screen, command, list or table it introduces. */
  p:has(+ .screen, + pre, + ul, + ol, + table, + .landscape) { break-after: avoid; }
  pre { font-size: 8pt; padding: 1mm; overflow: visible; }
  /* Wider than the page: smaller, down to what fits (a monospace
     character is at most .603 of its size wide). */
  .wide pre { left: 0; transform: none; max-width: none;
              font-size: min(8pt, calc(187mm / (var(--cols) * .603))); }
  .landscape { page: landscape; }
  .landscape .wide pre { font-size: min(8pt, calc(274mm / (var(--cols) * .603))); }
  table, pre, tr { break-inside: avoid; }
  /* An amount, a date or a fee's formula is never broken across lines. */
  td code { white-space: pre; }
  table { font-size: 9pt; }
  th, td { padding: .2em .35em; }
  a { color: inherit; text-decoration: none; }
}
"""

MARKS = re.compile(r"^<!-- (ekran|tabela): [^>]*-->\n|^<!-- /tabela -->\n", re.M)
SCREEN = re.compile(r'<pre><code class="language-text">(.*?)</code></pre>', re.S)
DIRECTIVE = re.compile(r"␁t([a-z0-9-]*)␁")
STOP = re.compile(r"([a-z])(-?\d+)")
OPEN, CLOSE, TAB, RETURN = ("␂", "␅"), "␁", "␉", "␍"
FRAME = "│"
WIDE = 104  # columns the guide's text column holds
REPORT_VIEW = re.compile(r"\| Nazwisko .*\n\| -{150}\n")


def columns(text, stops):
    """A line's tab-separated cells at the tab stops of its layout directive:
    "l18" a cell that begins at column 18, "p25" one that ends at 25 (the
    column of a number); without a directive, a tab is a space."""
    cells = text.split(TAB)
    line = cells[0]
    for number, cell in enumerate(cells[1:]):
        visible = len(re.sub("[␂␅␁]", "", cell))
        if number < len(stops):
            kind, at = stops[number]
            start = at - visible if kind == "p" else at
            line += " " * max(1, start - len(re.sub("[␂␅␁]", "", line))) + cell
        else:
            line += " " + cell
    return line


def screen_line(line, emphasis):
    """One line of a screen as the program shows it: markup bytes as bold,
    the frame of a form where the markup left it. Returns the HTML, whether
    emphasis is still open at its end, and its width in characters."""
    prefix = "| " if line.startswith("| ") else ""
    body = line[len(prefix):]
    if m := DIRECTIVE.match(body):
        body = columns(body[m.end():], [(k, int(n)) for k, n in STOP.findall(m[1])])
    else:
        body = columns(DIRECTIVE.sub("", body), [])
    body = body.replace(RETURN, "")
    out, width, marks = [prefix], len(html.unescape(prefix)), 0
    if emphasis:
        out.append("<strong>")
    for ch in body:
        if ch in OPEN or ch == CLOSE:
            marks += 1
            if ch in OPEN and not emphasis:
                out.append("<strong>")
                emphasis = True
            elif ch == CLOSE and emphasis:
                out.append("</strong>")
                emphasis = False
            continue
        out.append(ch)
    text = "".join(out)
    if emphasis:
        text += "</strong>"
    if marks and text.endswith(FRAME):
        text = text[:-1] + " " * marks + FRAME
    width = len(html.unescape(re.sub(r"</?strong>", "", text)))
    # A message's emphasis runs on over its next lines until it is closed.
    return text, emphasis and line.startswith("|"), width


def shown_screen(match):
    lines, emphasis, width = [], False, 0
    for line in match[1].split("\n"):
        if not line.startswith("|"):
            emphasis = False
        text, emphasis, w = screen_line(line, emphasis)
        lines.append(text)
        width = max(width, w)
    wide = f' wide" style="--cols: {width}' if width > WIDE else ""
    report = " report" if REPORT_VIEW.match(match[1]) else ""
    return f'<div class="screen{report}{wide}"><pre><code>' + "\n".join(lines) + "</code></pre></div>"


def landscape_pages(body):
    """The report's view, 150 columns, is printed on a landscape page, and
    with it the whole section it stands in, from the heading above it to the
    next: its sentences stay beside it, and no page is left with a few lines
    between a landscape one and the next."""
    out, done = [], 0
    for m in re.finditer(r'<div class="screen report', body):
        if m.start() < done:
            continue
        start = max(body.rfind("\n<h2", done, m.start()), body.rfind("\n<h3", done, m.start())) + 1 or done
        end = min((i + 1 for i in (body.find("\n<h2", m.end()), body.find("\n<h3", m.end())) if i >= 0),
                  default=len(body))
        out += [body[done:start], '<div class="landscape">', body[start:end], "</div>\n"]
        done = end
    return "".join(out + [body[done:]])


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    guide_path, version_path, page_path = argv[1:]
    with open(guide_path, encoding="utf-8") as f:
        guide = MARKS.sub("", f.read())
    with open(version_path, encoding="utf-8") as f:
        version = f.readline().strip()
    md = markdown.Markdown(extensions=["tables", "fenced_code", "toc"],
                           extension_configs={"toc": {"toc_depth": "2-3"}}, output_format="html5")
    body = landscape_pages(SCREEN.sub(shown_screen, md.convert(guide)))
    # The title, then the version and the table of contents.
    title_end = body.index("</h1>") + len("</h1>")
    title = re.sub(r"<[^>]+>", "", body[:title_end])
    body = (body[:title_end] + f'\n<p class="version">Wersja wtyczki {html.escape(version)}</p>\n'
            + '<nav class="toc"><strong>Spis treści</strong>\n' + md.toc + "</nav>" + body[title_end:])
    page = ('<!DOCTYPE html>\n<html lang="pl">\n<head>\n<meta charset="utf-8">\n'
            '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{title}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n<main>\n{body}\n</main>\n"
            "</body>\n</html>\n")
    with open(page_path, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)


if __name__ == "__main__":
    main(sys.argv)
