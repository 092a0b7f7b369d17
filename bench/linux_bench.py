"""The Linux viewer against WebKit alone, on a generated page of about 31,000 anchors.

Run on demand (make bench-linux); prints a Markdown table for docs/performance.md.

  (a) host message to anchor in view when the book changes, against WebKit alone
      loading the same file with the anchor as its #fragment;
  (b) a location in the book already loaded;
  (c) building the anchor table (from the viewer's own trace);
  (d) the viewer's memory, its web and network processes included.

The page records the moment of its first scroll itself (window.vellumScrolledAt, on
the wall clock), so nothing polls it while it is being measured.
"""
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from session import Session, wait_until  # noqa: E402

DEBOUNCE_MS = 250
RUNS = 7
CHAPTERS, VERSES = 124, 250  # 31,000 anchors


def big_page(path):
    parts = ["<!DOCTYPE html><html><head><meta charset='utf-8'><title>Big</title><script>"
             "window.addEventListener('scroll', function () { if (!window.vellumScrolledAt)"
             " window.vellumScrolledAt = performance.timeOrigin + performance.now(); });"
             "</script></head><body>"]
    for c in range(1, CHAPTERS + 1):
        parts.append(f"<h2>Chapter {c}</h2>")
        for v in range(1, VERSES + 1):
            parts.append(f"<p><a name='CV{c:03d}{v:03d}'></a><b>{c}:{v}</b> "
                         "A line of verse.</p>")
    parts.append("</body></html>")
    with open(path, "w") as f:
        f.write("\n".join(parts))
    return os.path.getsize(path)


def pss_kib(pid):
    """Proportional set size of a process and all its descendants."""
    total = 0
    pids = [pid]
    while pids:
        p = pids.pop()
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                total += int(re.search(r"^Pss:\s+(\d+)", f.read(), re.M).group(1))
            with open(f"/proc/{p}/task/{p}/children") as f:
                pids += [int(c) for c in f.read().split()]
        except (OSError, AttributeError):
            continue
    return total


def scrolled_after(s, send, reset=True):
    if reset:
        s.page("window.vellumScrolledAt = 0")
    start = time.time() * 1000
    send()
    at = wait_until(lambda: s.page("window.vellumScrolledAt || 0"), timeout=30, interval=0.1,
                    what="the scroll")
    return at - start


def main():
    s = Session(start=False)
    try:
        size = big_page(os.path.join(s.program, "web.htm", "big.htm"))
        with open(os.path.join(s.program, "web.htm", "index.ini"), "a") as f:
            f.write("BIG=big.htm\r\n")
        s.env["VELLUM_TRACE"] = "1"
        s.start_viewer()

        change, same = [], []
        for run in range(RUNS):
            s.host("show", "ALP", "1", "1", check=True)
            s.wait_caption("Alpha 1:1")
            wait_until(lambda: s.page_url().endswith("/alpha.htm"), what="alpha")
            verse = 1 + run * 17
            change.append(scrolled_after(
                s, lambda: s.host("show", "BIG", "100", str(verse), check=True), reset=False))
            s.wait_caption(f" 100:{verse}")
            same.append(scrolled_after(
                s, lambda: s.host("show", "BIG", "20", str(verse + 3), check=True)))
        memory = pss_kib(s.viewer.pid)
        # What vellum-host itself costs: start, find the viewer, send, see it taken.
        sending = []
        for _ in range(RUNS):
            start = time.time()
            s.host("send", "0", check=True)
            sending.append((time.time() - start) * 1000)

        alone = []
        tool = os.path.join(ROOT, "build", "bench", "bench", "webkit_alone")
        for run in range(RUNS):
            out = subprocess.run([tool, os.path.join(s.program, "web.htm", "big.htm"),
                                  f"CV100{1 + run * 17:03d}"], env=s.env, capture_output=True,
                                 text=True, timeout=60)
            alone.append(float(out.stdout.split()[0]))

        with open(s.viewer_log) as f:
            trace = [float(m) for m in re.findall(r"31000 anchor names in one call, ([\d.]+) ms",
                                                  f.read())]
    finally:
        s.close()

    def median(values):
        return statistics.median(values)

    viewer_change = median(change) - DEBOUNCE_MS
    print(f"Page: {CHAPTERS * VERSES} anchors, {size / 1e6:.1f} MB; {RUNS} runs each, medians.\n")
    print("| Measure | Viewer | WebKit alone |")
    print("|---|---|---|")
    print(f"| (a) book change: host message to anchor in view, less the 250 ms quiet time "
          f"| {viewer_change:.0f} ms ({median(change):.0f} ms with it) "
          f"| {median(alone):.0f} ms (load with #fragment) |")
    print(f"| (b) location in the loaded book, less the quiet time | "
          f"{median(same) - DEBOUNCE_MS:.0f} ms, of which {median(sending):.0f} ms is "
          f"vellum-host starting and sending | |")
    print(f"| (c) anchor table: names read from the page | one call, {median(trace):.0f} ms "
          f"in the page for {CHAPTERS * VERSES} names | |")
    print(f"| (d) memory (PSS), web and network processes included | {memory / 1024:.0f} MiB | |")
    print(f"\n(a) viewer / WebKit alone: {viewer_change / median(alone):.2f}")


if __name__ == "__main__":
    main()
