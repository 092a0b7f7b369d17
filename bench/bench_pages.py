"""The bench's pages: generated into a data folder, each noting on the console when
it was shown and when it scrolled, on its own wall clock."""
import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass

REPORTER = (
    "<script>(function () {"
    " function note(what) { console.log('vellum-bench ' + what + ' ' + location.pathname + ' '"
    " + (performance.timeOrigin + performance.now()).toFixed(1)); }"
    " window.addEventListener('load', function () {"
    "  requestAnimationFrame(function () { requestAnimationFrame(function () { note('shown'); });"
    " }); });"
    " window.addEventListener('scroll', function () { note('scrolled'); });"
    "})();</script>")

# Words for commentary-like text that does not repeat line after line.
WORDS = ("grace truth light word covenant promise spirit faith hope mercy kingdom law "
         "prophet servant shepherd temple river mountain bread vine witness glory people "
         "nations city wilderness journey blessing judgement peace righteousness").split()


def head(title, style=""):
    return (f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>{title}</title>"
            f"{style}{REPORTER}</head><body>")


def prose(seed, words):
    out = []
    for i in range(words):
        out.append(WORDS[(seed * 7 + i * 13 + i // 5) % len(WORDS)])
    return " ".join(out)


@dataclass
class Book:
    code: str
    page: str
    title: str
    chapters: int

    one_entry_per_chapter: bool = False

    def target(self, run):
        """Chapter and verse asked for in a run: late in the book, a new place each run."""
        if self.code == "BIG":
            return 100, 1 + run * 17
        if self.one_entry_per_chapter:
            return self.chapters - 2 - run % 5, 1
        return self.chapters - 2, 1 + run * 3


def verse_page(path):
    """124 chapters of 250 one-line verses: 31,000 anchors, about 2 MB."""
    parts = [head("Big")]
    for c in range(1, 125):
        parts.append(f"<h2>Chapter {c}</h2>")
        for v in range(1, 251):
            parts.append(f"<p><a name='CV{c:03d}{v:03d}'></a><b>{c}:{v}</b> A line of verse.</p>")
    parts.append("</body></html>")
    with open(path, "w") as f:
        f.write("\n".join(parts))


def commentary_page(path, blocks):
    """50 chapters of 30 long entries, about 13 MB: a large commentary book. With
    blocks, each chapter is one block that WebKit lays out only when it is near the
    screen, as vellum-import writes its pages."""
    style = ("<style>.chapter { content-visibility: auto; contain-intrinsic-size: auto 60000px; }"
             "</style>") if blocks else ""
    parts = [head("Commentary", style)]
    for c in range(1, 51):
        parts.append(f"<h2>Chapter {c}</h2>")
        if blocks:
            parts.append("<div class='chapter'>")
        for v in range(1, 31):
            parts.append(f"<p><a name='CV{c:03d}{v:03d}'></a><b>{c}:{v}</b> "
                         f"{prose(c * 31 + v, 250)}</p>")
            for k in range(4):
                parts.append(f"<p>{prose(c * 97 + v * 5 + k, 250)}</p>")
        if blocks:
            parts.append("</div>")
    parts.append("</body></html>")
    with open(path, "w") as f:
        f.write("\n".join(parts))


def small_page(path):
    parts = [head("Small")]
    for v in range(1, 6):
        parts.append(f"<p><a name='CV001{v:03d}'></a><b>1:{v}</b> A line of verse.</p>")
    parts.append("</body></html>")
    with open(path, "w") as f:
        f.write("\n".join(parts))


def index_page(path):
    with open(path, "w") as f:
        f.write(head("Index") + "<a name='TOC'></a><h1>Books</h1><p>The bench's library.</p>"
                "</body></html>")


def write_library(folder):
    """Writes the pages into the data folder, adds them to its index.ini and
    returns the books measured."""
    books = [Book("BIG", "big.htm", "31,000 anchors, 2 MB, flat", 124),
             Book("HUG", "huge.htm", "commentary, 13 MB, plain", 50),
             Book("HUB", "huge-blocks.htm", "commentary, 13 MB, chapter blocks", 50)]
    verse_page(os.path.join(folder, "big.htm"))
    commentary_page(os.path.join(folder, "huge.htm"), blocks=False)
    commentary_page(os.path.join(folder, "huge-blocks.htm"), blocks=True)
    small_page(os.path.join(folder, "small.htm"))
    index_page(os.path.join(folder, "index.htm"))
    with open(os.path.join(folder, "index.ini"), "a") as f:
        f.write("SML=small.htm\r\n")
        for book in books:
            f.write(f"{book.code}={book.page}\r\n")
    for book in books:
        book.title += f" ({os.path.getsize(os.path.join(folder, book.page)) / 1e6:.1f} MB)"
    return books


def imported_books(folder, tool):
    """Psalms of Debian's Treasury of David (one entry a psalm, about 13 MB) as
    vellum-import writes it, and the same page plain (without its blocks' rule), when
    the tool and the module are there; [] otherwise."""
    if not os.path.exists(tool):
        return []
    scratch = tempfile.mkdtemp(prefix="vellum-bench-import-")
    try:
        done = subprocess.run([tool, "TDavid", "--to", scratch], capture_output=True)
        page = os.path.join(scratch, "TDavid.htm", "psa.htm")
        if done.returncode != 0 or not os.path.exists(page):
            return []
        with open(page, encoding="utf-8") as f:
            text = f.read().replace("</head>", REPORTER + "</head>", 1)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    with open(os.path.join(folder, "tdavid.htm"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(folder, "tdavid-plain.htm"), "w", encoding="utf-8") as f:
        f.write(re.sub(r"\.b \{ content-visibility: auto; \}", "", text))
    with open(os.path.join(folder, "index.ini"), "a") as f:
        f.write("TDV=tdavid.htm\r\nTDP=tdavid-plain.htm\r\n")
    size = os.path.getsize(os.path.join(folder, "tdavid.htm")) / 1e6
    return [Book("TDV", "tdavid.htm", f"Treasury of David, Psalms, imported ({size:.1f} MB)", 150,
                 True),
            Book("TDP", "tdavid-plain.htm", f"the same, plain ({size:.1f} MB)", 150, True)]
