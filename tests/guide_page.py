#!/usr/bin/python3
"""The guide's web page as a reader sees it, in headless Chromium:

    guide_page.py SOURCE        makes the page from SOURCE/docs/podrecznik.md
                                (cmake/guide-page.py) and checks it
    guide_page.py --page FILE   checks the page FILE as it is

Fails when, in a window 1280 pixels wide, an element reaches past the page's
right edge or has to be scrolled sideways; when a form's box on a screen has
a line longer or shorter than its frame; when the text holds a control
character or a symbol drawn for one (the markup of the host's texts as the
transcripts show it); or when, printed on A4 (Chromium's own PDF, read back
here), any text is smaller than 8 pt, a page has no number in its bottom
margin, a page ends with a sentence whose screen or list begins the next,
or a page is filled less than a quarter though it is not the last of its
chapter. Runs offline, in a few seconds.
"""
import base64
import html
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

WINDOW_WIDTH = 1280
SMALLEST_PRINT_PT = 8.0
CHROMIUM = ("/usr/lib/chromium/chromium", "/usr/bin/chromium", "chromium")

# In the window: every element that ends past the page's right edge, or whose
# content is wider than its box (a block that would need sideways scrolling).
TOO_WIDE = """(() => {
  const page = document.documentElement.clientWidth, found = [];
  const name = e => e.tagName.toLowerCase() + (e.className ? "." + e.className.split(" ").join(".") : "");
  for (const e of document.body.querySelectorAll("*")) {
    const box = e.getBoundingClientRect();
    if (box.width === 0 && box.height === 0) continue;
    if (box.right > page + 0.5)
      found.push(`${name(e)} reaches ${Math.round(box.right)} px of a page ${page} px wide: ` +
                 e.textContent.trim().slice(0, 60));
    else if (e.scrollWidth > e.clientWidth + 1 && getComputedStyle(e).overflowX !== "visible")
      found.push(`${name(e)} scrolls sideways (${e.scrollWidth} px in ${e.clientWidth} px): ` +
                 e.textContent.trim().slice(0, 60));
  }
  if (document.documentElement.scrollWidth > page)
    found.push(`the page scrolls sideways: ${document.documentElement.scrollWidth} px in ${page} px`);
  return found;
})()"""

# A form keeps its frame: in each screen, the lines of a form's box are all as
# wide as its top line, whatever markup the page turned into bold.
BROKEN_FRAMES = """(() => {
  const found = [];
  for (const pre of document.querySelectorAll("pre")) {
    const lines = pre.textContent.split("\\n"), top = lines.find(l => l.startsWith("┌"));
    if (!top) continue;
    for (const line of lines)
      if (/^[│└]/.test(line) && line.length !== top.length)
        found.push(`a form's line is ${line.length} characters, its frame ${top.length}: ${line.trim()}`);
  }
  return found;
})()"""

# Control characters but line ends and tabs, and the Control Pictures block
# (U+2400-U+243F) that draws them.
CONTROL = re.compile("[\u0000-\u0008\u000b\u000c\u000e-\u001f\u007f\u2400-\u243f]")


class Chromium:
    """Headless Chromium driven through its DevTools protocol on a pipe
    (descriptors 3 and 4 of the browser, messages ended by a zero byte)."""

    def __init__(self):
        program = next((p for p in CHROMIUM if shutil.which(p)), None)
        if not program:
            sys.exit("guide_page: no Chromium (scripts/bootstrap installs the package chromium)")
        self.profile = tempfile.mkdtemp(prefix="q7-chromium-")
        commands_read, commands_write = os.pipe()
        answers_read, answers_write = os.pipe()

        def descriptors():
            a, b = os.dup(commands_read), os.dup(answers_write)
            os.dup2(a, 3)
            os.dup2(b, 4)

        self.process = subprocess.Popen(
            [shutil.which(program), "--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe",
             "--no-first-run", "--no-default-browser-check", "--disable-extensions",
             f"--user-data-dir={self.profile}"],
            preexec_fn=descriptors, close_fds=False, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(commands_read)
        os.close(answers_write)
        self.commands = os.fdopen(commands_write, "wb")
        self.answers = os.fdopen(answers_read, "rb")
        self.pending, self.number, self.events, self.session = b"", 0, [], None
        try:
            target = self.call("Target.createTarget", url="about:blank")["targetId"]
            self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        except BaseException:
            self.close()
            raise

    def message(self):
        while b"\0" not in self.pending:
            chunk = self.answers.read1(1 << 16)
            if not chunk:
                sys.exit("guide_page: Chromium ended")
            self.pending += chunk
        text, _, self.pending = self.pending.partition(b"\0")
        return json.loads(text)

    def call(self, method, **params):
        self.number += 1
        request = {"id": self.number, "method": method, "params": params}
        if self.session:
            request["sessionId"] = self.session
        self.commands.write(json.dumps(request).encode() + b"\0")
        self.commands.flush()
        while True:
            answer = self.message()
            if answer.get("id") == self.number:
                if "error" in answer:
                    sys.exit(f"guide_page: {method}: {answer['error']}")
                return answer["result"]
            self.events.append(answer.get("method"))

    def wait_for(self, event):
        while event not in self.events:
            self.events.append(self.message().get("method"))

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            sys.exit(f"guide_page: the page's script failed: {result['exceptionDetails']}")
        return result["result"]["value"]

    def close(self):
        self.process.kill()
        self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


# The PDF Chromium prints: its pages and the size every text is drawn in.

TOKEN = re.compile(rb"\((?:\\.|[^\\()])*\)|<<|>>|<[0-9A-Fa-f\s]*>|\[|\]|/[^\s/\[\]<>()%]+|"
                   rb"[-+]?(?:\d+\.?\d*|\.\d+)|[A-Za-z'\"*][A-Za-z0-9*]*|%[^\r\n]*")


def multiply(m, n):
    a, b, c, d, e, f = m
    A, B, C, D, E, F = n
    return (a * A + b * C, a * B + b * D, c * A + d * C, c * B + d * D, e * A + f * C + E, e * B + f * D + F)


def text_sizes(content):
    """The sizes in points that a page's content stream draws its texts in:
    the font size of each text shown, scaled by the text and page matrices."""
    identity = (1.0, 0.0, 0.0, 1.0, 0.0, 0.0)
    ctm, saved, tm, size, operands, sizes = identity, [], identity, 0.0, [], []
    for token in TOKEN.findall(content):
        if token[:1] in b"-+.0123456789":
            operands.append(float(token))
            continue
        if not token[:1].isalpha() and token[:1] not in b"'\"":
            operands.append(token)
            continue
        op = token.decode("latin-1")
        if op == "q":
            saved.append(ctm)
        elif op == "Q" and saved:
            ctm = saved.pop()
        elif op == "cm" and len(operands) >= 6:
            ctm = multiply(tuple(operands[-6:]), ctm)
        elif op == "BT":
            tm = identity
        elif op == "Tm" and len(operands) >= 6:
            tm = tuple(operands[-6:])
        elif op == "Tf" and operands:
            size = operands[-1]
        elif op in ("Tj", "TJ", "'", '"'):
            a, b, c, d, _, _ = multiply(tm, ctm)
            sizes.append(size * math.sqrt(abs(a * d - b * c)))
        operands = []
    return sizes


def printed_pages(pdf):
    """(width, height, text sizes) of each page of the PDF, in points."""
    objects = {int(m[1]): m[2] for m in re.finditer(rb"(?s)(?<![0-9])(\d+) 0 obj\s*(.*?)endobj", pdf)}

    def stream(number):
        body = objects[number]
        data = body[body.index(b"stream") + 6:].lstrip(b"\r\n")
        data = data[:data.rindex(b"endstream")]
        return zlib.decompress(data) if b"/FlateDecode" in body[:body.index(b"stream")] else data

    pages = []
    for body in objects.values():
        if not re.search(rb"/Type\s*/Page(?![a-zA-Z])", body):
            continue
        box = [float(x) for x in re.search(rb"/MediaBox\s*\[([^\]]*)\]", body)[1].split()]
        contents = re.search(rb"/Contents\s*(\[[^\]]*\]|\d+ 0 R)", body)[1]
        sizes = []
        for number in re.findall(rb"(\d+) 0 R", contents):
            sizes += text_sizes(stream(int(number)))
        pages.append((box[2] - box[0], box[3] - box[1], sizes))
    return pages


def printed_words(pdf):
    """(width, height, words) of each page as poppler reads it: each word
    with its box (x0, y0, x1, y1 from the page's top left) and its text."""
    with tempfile.NamedTemporaryFile(suffix=".pdf") as f:
        f.write(pdf)
        f.flush()
        run = subprocess.run(["pdftotext", "-bbox", f.name, "-"], stdout=subprocess.PIPE, check=False)
    if run.returncode != 0:
        sys.exit("guide_page: pdftotext failed (scripts/bootstrap installs the package poppler-utils)")
    word = re.compile(r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*?)</word>')
    return [(float(p[1]), float(p[2]),
             [(*(float(x) for x in w[:4]), html.unescape(w[4])) for w in word.findall(p[3])])
            for p in re.finditer(r'<page width="([\d.]+)" height="([\d.]+)">(.*?)</page>', run.stdout.decode(), re.S)]


def first_line(words):
    top = min(w[1] for w in words)
    return " ".join(w[4] for w in sorted(words, key=lambda w: w[0]) if w[1] < top + 2)


def last_line(words):
    bottom = max(w[3] for w in words)
    return " ".join(w[4] for w in sorted(words, key=lambda w: w[0]) if w[3] > bottom - 2)


def page_faults(pages, chapters):
    """Every printed page carries its number, centred below its text; no page
    ends with a sentence that introduces what follows (its screen, command or
    list is on the next page); no page is filled less than a quarter but the
    last page of a chapter (the page before one that begins a chapter, or the
    last)."""
    faults, body = [], []
    for number, (width, height, words) in enumerate(pages, 1):
        text = [w for w in words if w[4] != str(number) or abs((w[0] + w[2]) / 2 - width / 2) > 3]
        numbered = [w for w in words if w not in text]
        if not numbered or (text and min(w[1] for w in numbered) < max(w[3] for w in text)):
            faults.append(f"printed: page {number} has no number in the margin below its text")
        if text and last_line(text).endswith(":"):
            faults.append(f"printed: page {number} ends with a sentence whose screen or list is on the next: "
                          f"{last_line(text)[-60:]}")
        body.append((width > height, text))
    # The text area of each orientation: from the highest to the lowest word of any page.
    area = {}
    for landscape, text in body:
        if text:
            top, bottom = area.get(landscape, (1e9, 0))
            area[landscape] = (min(top, min(w[1] for w in text)), max(bottom, max(w[3] for w in text)))
    for number, (landscape, text) in enumerate(body, 1):
        last_of_chapter = number == len(body) or (body[number][1] and first_line(body[number][1]) in chapters)
        if last_of_chapter or not text:
            continue
        top, bottom = area[landscape]
        filled = (max(w[3] for w in text) - top) / (bottom - top)
        if filled < 0.25:
            faults.append(f"printed: page {number} is filled {filled:.0%}, less than a quarter: "
                          f"{first_line(text)[:60]}")
    return faults


def check(page_file):
    faults = []
    browser = Chromium()
    try:
        browser.call("Page.enable")
        browser.call("Emulation.setDeviceMetricsOverride", width=WINDOW_WIDTH, height=900,
                     deviceScaleFactor=1, mobile=False)
        browser.call("Page.navigate", url="file://" + os.path.abspath(page_file))
        browser.wait_for("Page.loadEventFired")
        faults += [f"at {WINDOW_WIDTH} px: {f}" for f in browser.evaluate(TOO_WIDE)]
        faults += browser.evaluate(BROKEN_FRAMES)
        text = browser.evaluate("document.body.innerText")
        for line in text.splitlines():
            if CONTROL.search(line):
                faults.append(f"a control character or its symbol in the text: {line.strip()[:80]}")
        printed = base64.b64decode(browser.call("Page.printToPDF", preferCSSPageSize=True,
                                                printBackground=True)["data"])
    finally:
        browser.close()
    pages = printed_pages(printed)
    with open(page_file, encoding="utf-8") as f:
        chapters = {re.sub(r"<[^>]+>|\s+", " ", h).strip() for h in re.findall(r"<h2[^>]*>(.*?)</h2>", f.read(), re.S)}
    faults += page_faults(printed_words(printed), chapters)
    if not pages or not any(sizes for _, _, sizes in pages):
        faults.append("printed: no page with text")
    for number, (width, height, sizes) in enumerate(pages, 1):
        if abs(min(width, height) - 595) > 2 or abs(max(width, height) - 842) > 2:
            faults.append(f"printed: page {number} is {width:.0f} x {height:.0f} pt, not A4")
        if sizes and min(sizes) < SMALLEST_PRINT_PT - 0.05:
            faults.append(f"printed: page {number} has text in {min(sizes):.1f} pt")
    return faults, len(pages)


def main(argv):
    if len(argv) == 3 and argv[1] == "--page":
        faults, pages = check(argv[2])
    elif len(argv) == 2:
        source = argv[1]
        work = tempfile.mkdtemp(prefix="q7-guide-page-")
        try:
            page = os.path.join(work, "podrecznik.html")
            subprocess.run(["/usr/bin/python3", os.path.join(source, "cmake", "guide-page.py"),
                            os.path.join(source, "docs", "podrecznik.md"), os.path.join(source, "VERSION"), page],
                           check=True)
            faults, pages = check(page)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    else:
        sys.exit(__doc__)
    for fault in faults:
        print(f"guide_page: {fault}")
    if faults:
        print(f"guide_page: {len(faults)} faults")
        return 1
    print(f"guide_page: the page fits {WINDOW_WIDTH} px, shows no control symbol, and prints {pages} numbered A4 "
          f"pages in {SMALLEST_PRINT_PT:g} pt or more, each filled a quarter or more but a chapter's last")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
