#!/usr/bin/python3
"""Makes the user guide a web page: guide-page.py GUIDE.md VERSION PAGE.html

One self-contained HTML file that any browser opens from the disk: its
styles inside, nothing fetched from anywhere, a table of contents, the
screens as fixed-width blocks, and a print layout. Made by Debian's
python3-markdown (run by Debian's own Python, where that module lives), so
the same guide always gives the same bytes. The comments that mark the
guide's screens and tables for docs/ekrany.py are left out.
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
code { font-family: Consolas, "DejaVu Sans Mono", "Segoe UI Symbol", FreeMono, monospace; font-size: .92em;
       background: #f2f2f2; padding: 0 .15em; }
pre { font-family: Consolas, "DejaVu Sans Mono", "Segoe UI Symbol", FreeMono, monospace; font-size: 9pt;
      line-height: 1.25;
      background: #f7f7f2; border: 1px solid #d6d6c8; padding: .6em .8em; overflow-x: auto; }
pre code { background: none; padding: 0; font-size: inherit; }
td code { white-space: pre; }
@media print {
  @page { size: A4; margin: 15mm 12mm; }
  body { font-size: 10pt; }
  main { max-width: none; padding: 0; }
  nav.toc { display: none; }
  h2 { page-break-before: always; }
  h2, h3 { page-break-after: avoid; }
  pre { font-size: 5.6pt; white-space: pre-wrap; overflow: visible; page-break-inside: avoid; }
  table, pre { page-break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
}
"""

MARKS = re.compile(r"^<!-- (ekran|tabela): [^>]*-->\n|^<!-- /tabela -->\n", re.M)


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
    body = md.convert(guide)
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
