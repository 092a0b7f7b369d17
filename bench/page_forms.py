"""What a page's own form does to the time a bare WebKit view takes to show a late anchor.

Run on demand (make bench-page-forms): the ideas tried for large pages, measured on
WebKit alone, so that what the viewer keeps rests on figures. Each page is loaded with
the anchor as its #fragment after a small page, runs alternating; the time runs from
the load request to the page's first scroll, as the page notes it on its console.

  plain             the page as it is
  chapter blocks    each chapter one block marked content-visibility: auto (as
                    vellum-import writes its pages)
  veiled            transparent until parsed, then scrolled to the anchor and shown
                    (what the viewer does with a page it expects at an anchor)
  laid out once     the body's content-visibility hidden until parsed, so that nothing
                    is laid out while the page loads, then shown and scrolled
"""
import os
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

import bench_pages  # noqa: E402
from linux_bench import RUNS, TOOL, Alone  # noqa: E402
from session import start_xvfb  # noqa: E402

# Shows the page and scrolls it to the fragment's anchor once it is parsed.
SHOW_WHEN_PARSED = (
    "<script>document.addEventListener('DOMContentLoaded', function () {{"
    " document.{target}.style.removeProperty('{property}');"
    " var a = document.getElementsByName(location.hash.slice(1))[0];"
    " if (a) a.scrollIntoView(true); }});</script>")

# Each form: the tag that starts hidden, as it is written then, and what the script
# takes back once the page is parsed.
FORMS = {
    "plain": None,
    "veiled": ("<html>", "<html style='opacity: 0'>", "documentElement", "opacity"),
    "laid out once": ("<body>", "<body style='content-visibility: hidden'>", "body",
                      "content-visibility"),
}


def write_page(write, path, form):
    reporter = bench_pages.REPORTER
    try:
        if form:
            bench_pages.REPORTER += SHOW_WHEN_PARSED.format(target=form[2], property=form[3])
        write(path)
    finally:
        bench_pages.REPORTER = reporter
    if form:
        with open(path) as f:
            text = f.read().replace(form[0], form[1], 1)
        with open(path, "w") as f:
            f.write(text)


def write_forms(folder):
    """Each form of both large pages; returns (title, file, anchor) rows."""
    rows = []
    for name, form in FORMS.items():
        slug = name.replace(" ", "-")
        big = os.path.join(folder, f"big-{slug}.htm")
        huge = os.path.join(folder, f"huge-{slug}.htm")
        write_page(bench_pages.verse_page, big, form)
        write_page(lambda path: bench_pages.commentary_page(path, blocks=False), huge, form)
        rows.append((f"31,000 verses, {name}", big, "CV100001"))
        rows.append((f"commentary 13 MB, {name}", huge, "CV048001"))
    blocks = os.path.join(folder, "huge-blocks.htm")
    bench_pages.commentary_page(blocks, blocks=True)
    rows.append(("commentary 13 MB, chapter blocks", blocks, "CV048001"))
    bench_pages.small_page(os.path.join(folder, "small.htm"))
    return sorted(rows)


def main():
    if not os.path.exists(TOOL):
        sys.exit(f"{TOOL} is missing: make bench-page-forms builds it")
    folder = tempfile.mkdtemp(prefix="vellum-forms-")
    env = dict(os.environ)
    xvfb = start_xvfb(env)
    try:
        rows = write_forms(folder)
        alone = Alone(env)
        times = {title: [] for title, _, _ in rows}
        for run in range(RUNS):
            for title, path, anchor in (rows if run % 2 else reversed(rows)):
                alone.load("file://" + os.path.join(folder, "small.htm"), "small.htm", "shown")
                times[title].append(
                    alone.load(f"file://{path}#{anchor}", os.path.basename(path), "scrolled"))
        alone.close()
    finally:
        xvfb.terminate()
        xvfb.wait()
    print(f"WebKit alone, {RUNS} runs each, alternating; median (lowest-highest), ms from the"
          " load request to the scroll.\n")
    print("| Page | Time to the late anchor |")
    print("|---|---|")
    for title, _, _ in rows:
        values = times[title]
        print(f"| {title} | {statistics.median(values):.0f} "
              f"({min(values):.0f}-{max(values):.0f}) |")


if __name__ == "__main__":
    main()
