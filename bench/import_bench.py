"""vellum-import on Debian's modules: the time an import takes, and on the pages it
writes, WebKit's time to a late anchor with the chapter blocks as written and with
content-visibility taken out (plain).

  make bench-import     (or: /usr/bin/python3 bench/import_bench.py)

Needs build/linux/vellum-import; the page measures need build/bench/bench/webkit_alone
(the bench preset) and run under a private Xvfb, warm (a small page shown before each
load), the page noting its first scroll on its console as in bench/linux_bench.py.
Modules that are not installed are left out (tools/install-deps.sh installs TDavid and
Scofield; sword-text-web is the Bible measured in docs/performance.md)."""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, HERE)
from testenv import start_xvfb, stop_processes  # noqa: E402
import bench_pages  # noqa: E402
from linux_bench import Alone  # noqa: E402

IMPORT = os.path.join(ROOT, "build", "linux", "vellum-import")
ALONE = os.path.join(ROOT, "build", "bench", "bench", "webkit_alone")
RUNS = 5
MODULES = ["TDavid", "Scofield", "engWEB2015eb"]
# (module, page, late anchor)
PAGES = [("TDavid", "psa.htm", "CV119001"), ("TDavid", "psa.htm", "CV150001"),
         ("engWEB2015eb", "psa.htm", "CV150001"), ("engWEB2015eb", "isa.htm", "CV066001")]


def installed():
    out = subprocess.run([IMPORT, "--list"], capture_output=True, text=True, check=True).stdout
    names = {line.split()[0] for line in out.splitlines()[1:] if line.strip()}
    return [m for m in MODULES if m in names]


def import_times(module, folder):
    seconds = []
    for _ in range(RUNS):
        start = time.monotonic()
        subprocess.run([IMPORT, module, "--to", folder, "--force"], check=True,
                       capture_output=True, text=True)
        seconds.append(time.monotonic() - start)
    library = os.path.join(folder, module + ".htm")
    size = sum(os.path.getsize(os.path.join(library, f)) for f in os.listdir(library))
    return statistics.median(seconds), len(os.listdir(library)) - 2, size


def variants(page, folder):
    """The page as written, and plain: the same markup without content-visibility."""
    with open(page, encoding="utf-8") as f:
        text = f.read().replace("</head>", bench_pages.REPORTER + "</head>", 1)
    written = os.path.join(folder, "written.htm")
    plain = os.path.join(folder, "plain.htm")
    with open(written, "w", encoding="utf-8") as f:
        f.write(text)
    with open(plain, "w", encoding="utf-8") as f:
        f.write(re.sub(r"\.b \{ content-visibility: auto; \}", "", text))
    return {"blocks per chapter": written, "plain": plain}


def anchor_ms(alone, small, pages, anchor):
    """Median ms from the load request to the scroll, for each page, runs alternating."""
    times = {name: [] for name in pages}
    for run in range(RUNS):
        for name, page in (pages.items() if run % 2 else reversed(pages.items())):
            alone.load("file://" + small, os.path.basename(small), "shown")
            times[name].append(alone.load(f"file://{page}#{anchor}", os.path.basename(page),
                                          "scrolled"))
    return {name: statistics.median(values) for name, values in times.items()}


def main():
    folder = tempfile.mkdtemp(prefix="vellum-import-bench-")
    processes = []
    try:
        modules = installed()
        print(f"{RUNS} runs each, medians.\n")
        print("| Module | Books | Written | Import |")
        print("|---|---|---|---|")
        for module in modules:
            seconds, books, size = import_times(module, folder)
            print(f"| {module} | {books} | {size / 1e6:.1f} MB | {seconds:.2f} s |")
        if not os.path.exists(ALONE):
            print(f"\n(no {ALONE}: page measures left out)")
            return 0
        env = dict(os.environ)
        processes.append(start_xvfb(env))
        small = os.path.join(folder, "small.htm")
        bench_pages.small_page(small)
        alone = Alone(env)
        print("\n| Page | Late anchor | Blocks per chapter | Plain |")
        print("|---|---|---|---|")
        for module, page, anchor in PAGES:
            if module not in modules:
                continue
            path = os.path.join(folder, module + ".htm", page)
            pages = variants(path, folder)
            ms = anchor_ms(alone, small, pages, anchor)
            print(f"| {module} {page} ({os.path.getsize(path) / 1e6:.1f} MB) | {anchor} "
                  f"| {ms['blocks per chapter']:.0f} ms | {ms['plain']:.0f} ms |")
        alone.close()
        return 0
    finally:
        stop_processes(processes)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
