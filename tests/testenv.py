"""What the end-to-end, Wine and package tests share: a private X server, ending a
session's processes, running a suite to one closing line, the project's version and
reading the icons' PNGs."""
import os
import re
import select
import struct
import subprocess
import sys
import unittest
import zlib


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def project_version():
    """The project's one version number, as CMakeLists.txt sets it."""
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(Vellum VERSION (\S+)", f.read()).group(1)


def png_pixels(data):
    """(width, height, RGBA rows) of an 8-bit RGBA PNG whose rows are unfiltered, as
    vellum-icons writes them; every chunk's checksum checked."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "a PNG signature"
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert zlib.crc32(kind + body) == crc, f"the checksum of {kind}"
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 6), "8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 4 * width
    assert len(raw) == stride * height, "whole rows"
    assert all(raw[y * stride] == 0 for y in range(height)), "unfiltered rows"
    return width, height, [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]


def start_xvfb(env):
    """Starts Xvfb on a free display (1024x768), sets DISPLAY in env and returns the
    process. The display number is read from -displayfd up to its newline."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp"], env=env,
                               pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    try:
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 15)
            if not ready:
                break
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    finally:
        os.close(read_end)
    if not number.strip():
        process.kill()
        raise RuntimeError("Xvfb did not start")
    env["DISPLAY"] = ":" + number.decode().strip()
    return process


def stop_processes(processes):
    """Ends the processes newest first (clients before the X server they use)."""
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


PRIVATE_NETWORK = os.path.join(ROOT, "tests", "private-network.sh")


def enter_private_network(script, label):
    """Runs the script again inside a private network namespace
    (tests/private-network.sh), when one can be made: no test's traffic can leave
    it, and the BibleSync tests, which need one, run. Elsewhere they are skipped."""
    if os.environ.get("VELLUM_PRIVATE_NETWORK") == "1":
        return
    try:
        probe = subprocess.run([PRIVATE_NETWORK, "true"], capture_output=True, text=True,
                               timeout=30)
        reason = probe.stderr.strip() if probe.returncode != 0 else None
    except (OSError, subprocess.TimeoutExpired) as error:
        reason = str(error)
    if reason is not None:
        print(f"{label}: no private network namespace ({reason}); BibleSync tests are skipped")
        return
    sys.stdout.flush()
    os.execv(PRIVATE_NETWORK, [PRIVATE_NETWORK, sys.executable, os.path.abspath(script),
                               *sys.argv[1:]])


def run_suite(folder, label, argv):
    """Runs the test_*.py files of folder (argv[1] may name another pattern, argv[2]
    a text the test ids must contain) and ends with "label: N passed, N failed".
    Returns the exit code: 0 only when tests ran and none failed."""
    pattern = argv[1] if len(argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(folder, pattern=pattern)
    if len(argv) > 2:
        wanted = argv[2]

        def matching(tests):
            for test in tests:
                if isinstance(test, unittest.TestSuite):
                    yield from matching(test)
                elif wanted in test.id():
                    yield test
        suite = unittest.TestSuite(list(matching(suite)))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    print(f"{label}: {result.testsRun - failed} passed, {failed} failed")
    return 0 if failed == 0 and result.testsRun > 0 else 1
