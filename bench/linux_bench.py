"""The Linux viewer against WebKit alone, side by side in one run.

Run on demand (make bench-linux); prints Markdown tables for docs/performance.md.

Both sides are warm and unwatched: the bare view (bench/webkit_alone) has loaded a
small page before each measured load, as the viewer has; neither runs WebKit's
inspector, and nothing polls a page while it is measured. The bench pages note when
they were shown (the frame after their load event) and when they scrolled, on the
page's own wall clock, on the console, which both sides write to standard output.
The viewer's trace gives the moment each host message reached it.

  start-up      process start to the start page shown (the bare view: its first page)
  book change   host message to the anchor in view, less the viewer's 250 ms quiet
                time; the bare view: load request of FILE#ANCHOR to its scroll
  same book     host message to the scroll, less the quiet time
  memory        PSS of each process (UI, web, network) with the 31,000-anchor page shown

Runs alternate between the two sides; each figure is the median of RUNS with the
spread (lowest to highest) beside it.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, HERE)

from session import Session  # noqa: E402
from bench_pages import imported_books, write_library  # noqa: E402

DEBOUNCE_MS = 250
RUNS = int(os.environ.get("BENCH_RUNS", "7"))
TOOL = os.path.join(ROOT, "build", "bench", "bench", "webkit_alone")
IMPORT = os.path.join(ROOT, "build", "linux", "vellum-import")
REPORT = re.compile(r"vellum-bench (\w+) (\S+) ([\d.]+)")
HOST_MESSAGE = re.compile(r"vellum: \d+ host message\(s\) at ([\d.]+) ms")
NAMES = re.compile(r"(\d+) anchor names in one call, ([\d.]+) ms")


def now_ms():
    return time.time() * 1000


class Lines:
    """Every line a process writes, read as it comes, to wait on."""

    def __init__(self, stream):
        self.lines = []
        self.lock = threading.Condition()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self.lock:
                self.lines.append(line.rstrip("\n"))
                self.lock.notify_all()

    def mark(self):
        with self.lock:
            return len(self.lines)

    def wait(self, pattern, since, test=lambda m: True, timeout=60):
        """The first match of pattern in the lines from index since on."""
        deadline = time.time() + timeout
        with self.lock:
            while True:
                for line in self.lines[since:]:
                    m = pattern.search(line)
                    if m and test(m):
                        return m
                left = deadline - time.time()
                if left <= 0:
                    raise TimeoutError(f"no {pattern.pattern} in time; last lines: "
                                       f"{self.lines[-5:]}")
                self.lock.wait(left)


def report(lines, since, kind, page, timeout=60):
    m = lines.wait(REPORT, since, lambda m: m.group(1) == kind and m.group(2).endswith("/" + page),
                   timeout)
    return float(m.group(3))


class Viewer:
    def __init__(self, s):
        self.s = s
        env = dict(s.env, VELLUM_TRACE="1")
        self.started = now_ms()
        self.process = subprocess.Popen([os.path.join(s.program, "vellum")], cwd=s.program,
                                        env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, errors="replace")
        self.out = Lines(self.process.stdout)

    def show(self, code, chapter, verse, page):
        """Host message to the page's scroll, in milliseconds."""
        since = self.last = self.out.mark()
        self.s.host("show", code, str(chapter), str(verse), check=True)
        sent = float(self.out.wait(HOST_MESSAGE, since).group(1))
        return report(self.out, since, "scrolled", page) - sent

    def show_loaded(self, code, page):
        since = self.out.mark()
        self.s.host("show", code, "1", "1", check=True)
        report(self.out, since, "shown", page)

    def close(self):
        self.s.host("close")
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Alone:
    def __init__(self, env, first=None):
        self.started = now_ms()
        self.process = subprocess.Popen([TOOL] + ([first] if first else []), env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, errors="replace")
        self.out = Lines(self.process.stdout)

    def load(self, uri, page, kind):
        since = self.out.mark()
        self.process.stdin.write(f"load {uri}\n")
        self.process.stdin.flush()
        requested = float(self.out.wait(re.compile(r"^requested ([\d.]+)"), since).group(1))
        return report(self.out, since, kind, page) - requested

    def close(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.close()
            self.process.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()


def pss_by_process(pid):
    """PSS in KiB of a process and each of its descendants, by kind."""
    found = {}
    pids = [pid]
    while pids:
        p = pids.pop()
        try:
            with open(f"/proc/{p}/comm") as f:
                name = f.read().strip()
            with open(f"/proc/{p}/smaps_rollup") as f:
                pss = int(re.search(r"^Pss:\s+(\d+)", f.read(), re.M).group(1))
            with open(f"/proc/{p}/task/{p}/children") as f:
                pids += [int(c) for c in f.read().split()]
        except (OSError, AttributeError):
            continue
        kind = "web" if "WebProces" in name else "network" if "Network" in name else \
            "UI" if p == pid else name
        found[kind] = found.get(kind, 0) + pss
    return found


def figure(values):
    return f"{statistics.median(values):.0f} ({min(values):.0f}-{max(values):.0f})"


def ratio(ours, theirs):
    return f"{statistics.median(ours) / statistics.median(theirs):.2f}"


def measure_start_up(s, uri_index):
    viewer, alone = [], []
    for run in range(RUNS + 1):  # the first run of each only warms the disk cache
        for side in ((0, 1) if run % 2 else (1, 0)):
            if side == 0:
                v = Viewer(s)
                took = report(v.out, 0, "shown", "index.htm") - v.started
                v.close()
                (viewer if run else []).append(took)
            else:
                a = Alone(s.env, uri_index)
                took = report(a.out, 0, "shown", "index.htm") - a.started
                a.close()
                (alone if run else []).append(took)
    return viewer, alone


def fresh_memory(s, uri):
    """Both sides again, new processes that have shown only the small page before
    the 31,000-anchor one."""
    viewer = Viewer(s)
    report(viewer.out, 0, "shown", "index.htm")
    viewer.show_loaded("SML", "small.htm")
    viewer.show("BIG", 100, 1, "big.htm")
    alone = Alone(s.env)
    alone.load(uri("small.htm"), "small.htm", "shown")
    alone.load(uri("big.htm", "CV100001"), "big.htm", "scrolled")
    time.sleep(3)
    memory = (pss_by_process(viewer.process.pid), pss_by_process(alone.process.pid))
    viewer.close()
    alone.close()
    return memory


def main():
    if not os.path.exists(TOOL):
        sys.exit(f"{TOOL} is missing: make bench-linux builds it")
    s = Session(start=False)
    try:
        books = write_library(os.path.join(s.program, "web.htm"))
        books += imported_books(os.path.join(s.program, "web.htm"), IMPORT)
        folder = os.path.join(s.program, "web.htm")

        def uri(page, anchor=None):
            return "file://" + os.path.join(folder, page) + (f"#{anchor}" if anchor else "")

        start_viewer, start_alone = measure_start_up(s, uri("index.htm", "TOC"))

        viewer = Viewer(s)
        report(viewer.out, 0, "shown", "index.htm")
        alone = Alone(s.env)
        change = {book.code: ([], []) for book in books}
        same = []
        for run in range(RUNS):
            for book in books:
                chapter, verse = book.target(run)
                anchor = f"CV{chapter:03d}{verse:03d}"
                for side in ((0, 1) if run % 2 else (1, 0)):
                    if side == 0:
                        viewer.show_loaded("SML", "small.htm")
                        change[book.code][0].append(
                            viewer.show(book.code, chapter, verse, book.page) - DEBOUNCE_MS)
                        if book.code == "BIG":
                            # Once the page has finished loading, as a reader would find it.
                            report(viewer.out, viewer.last, "shown", book.page)
                            same.append(viewer.show(book.code, 20, verse + 3, book.page) -
                                        DEBOUNCE_MS)
                    else:
                        alone.load(uri("small.htm"), "small.htm", "shown")
                        change[book.code][1].append(
                            alone.load(uri(book.page, anchor), book.page, "scrolled"))

        # Memory with the 31,000-anchor page on screen on both sides, once they are idle.
        viewer.show("BIG", 100, 1, "big.htm")
        alone.load(uri("big.htm", "CV100001"), "big.htm", "scrolled")
        time.sleep(3)
        memory = (pss_by_process(viewer.process.pid), pss_by_process(alone.process.pid))
        names = [float(m.group(2)) for line in viewer.out.lines
                 for m in [NAMES.search(line)] if m and m.group(1) == "31000"]
        viewer.close()
        alone.close()
        memory += fresh_memory(s, uri)
    finally:
        s.close()

    print(f"{RUNS} runs each, alternating; median (lowest-highest), milliseconds.\n")
    print("| Measure | Viewer | WebKit alone | Ratio |")
    print("|---|---|---|---|")
    print(f"| Start-up to the start page shown | {figure(start_viewer)} | {figure(start_alone)} "
          f"| {ratio(start_viewer, start_alone)} |")
    for book in books:
        ours, theirs = change[book.code]
        print(f"| Book change, {book.title} | {figure(ours)} | {figure(theirs)} "
              f"| {ratio(ours, theirs)} |")
    pairs = (("HUB", "HUG", "generated commentary"), ("TDV", "TDP", "Treasury of David"))
    for blocks, plain, title in pairs:
        if blocks in change and plain in change:
            ours, theirs = change[blocks][0], change[plain][1]
            print(f"| Book change, {title}: the viewer on the page with blocks, WebKit alone "
                  f"on it plain | {figure(ours)} | {figure(theirs)} | {ratio(ours, theirs)} |")
    print(f"| Location in the loaded 31,000-anchor book | {figure(same)} | | |")
    if names:
        print(f"| Anchor names read by the page (31,000) | {figure(names)} | | |")
    print("\nMemory (PSS, MiB) with the 31,000-anchor page shown, after the runs above and in"
          " fresh processes that showed only the small page before it:\n")
    print("| Process | Viewer | WebKit alone | Viewer, fresh | WebKit alone, fresh |")
    print("|---|---|---|---|---|")
    for kind in ("UI", "web", "network"):
        print("| " + kind + " | " + " | ".join(f"{m.get(kind, 0) / 1024:.0f}" for m in memory)
              + " |")
    print("| all | " + " | ".join(f"{sum(m.values()) / 1024:.0f}" for m in memory) + " |")
    others = sorted({k for m in memory for k in m} - {"UI", "web", "network"})
    if others:
        print(f"\n(also counted: {', '.join(others)})")


if __name__ == "__main__":
    if shutil.which("Xvfb") is None:
        sys.exit("Xvfb is needed")
    main()
