"""vellum-import on Debian's modules: the time an import takes, and on the pages it
writes, WebKit's time to a late anchor with the chapter blocks as written and with
content-visibility taken out (plain).

  make bench-import     (or: /usr/bin/python3 bench/import_bench.py)

Needs build/linux/vellum-import; the page measures need build/bench/bench/webkit_alone
(the bench preset; VELLUM_WEBKIT_ALONE names another) and run under a private Xvfb.
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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from testenv import start_xvfb, stop_processes  # noqa: E402

IMPORT = os.path.join(ROOT, "build", "linux", "vellum-import")
ALONE = os.environ.get("VELLUM_WEBKIT_ALONE",
                       os.path.join(ROOT, "build", "bench", "bench", "webkit_alone"))
RUNS = 5
MODULES = ["TDavid", "Scofield", "engWEB2015eb"]
# (module, page, late anchor)
PAGES = [("TDavid", "psa.htm", "CV119001"), ("TDavid", "psa.htm", "CV150001"),
         ("engWEB2015eb", "psa.htm", "CV150001"), ("engWEB2015eb", "isa.htm", "CV066001")]
SCROLL_RECORDER = ("<script>window.addEventListener('scroll', function () {"
                   " if (!window.vellumScrolledAt) window.vellumScrolledAt ="
                   " performance.timeOrigin + performance.now(); });</script>")


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
        text = f.read().replace("</head>", SCROLL_RECORDER + "</head>", 1)
    written = os.path.join(folder, "written.htm")
    plain = os.path.join(folder, "plain.htm")
    with open(written, "w", encoding="utf-8") as f:
        f.write(text)
    with open(plain, "w", encoding="utf-8") as f:
        f.write(re.sub(r"\.b \{ content-visibility: auto; \}", "", text))
    return {"blocks per chapter": written, "plain": plain}


def anchor_ms(env, page, anchor):
    times = []
    for _ in range(RUNS):
        out = subprocess.run([ALONE, page, anchor], env=env, capture_output=True, text=True,
                             timeout=120)
        times.append(float(out.stdout.split()[0]))
    return statistics.median(times)


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
        print("\n| Page | Late anchor | Blocks per chapter | Plain |")
        print("|---|---|---|---|")
        for module, page, anchor in PAGES:
            if module not in modules:
                continue
            path = os.path.join(folder, module + ".htm", page)
            pages = variants(path, folder)
            ms = {name: anchor_ms(env, p, anchor) for name, p in pages.items()}
            print(f"| {module} {page} ({os.path.getsize(path) / 1e6:.1f} MB) | {anchor} "
                  f"| {ms['blocks per chapter']:.0f} ms | {ms['plain']:.0f} ms |")
        return 0
    finally:
        stop_processes(processes)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
