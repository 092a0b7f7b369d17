"""BibleSync: how soon a navigation reaches the viewer's host-location path, against
libbiblesync polled once a second as its manual asks, side by side in one run; and
the memory of both before and after a flood of datagrams.

Run on demand (make bench-sync); prints Markdown tables for docs/performance.md.
It runs in a private network namespace (tests/private-network.sh), as root.

One libbiblesync program (vellum-sync-speaker) sends NAVIGATIONS navigations, one
every SPACING_MS. Three receivers take each one in on this machine: the viewer
(its trace gives, for each, the time from the datagram's arrival, as the kernel
stamped it, to the moment the location was handed to the host-location path), a
second libbiblesync program (the moment its callback ran, printed on its wall
clock), and this script's own socket, which stamps every datagram's arrival the
same way (SO_TIMESTAMPNS), for the library's side. Then FLOOD datagrams of made-up
programs (a beacon and a navigation each, every one from a new UUID) go to both,
and each side's memory is read again: PSS of the viewer's UI process, of the
library program's process.
"""
import os
import re
import socket
import statistics
import struct
import subprocess
import sys
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "biblesync"))
sys.path.insert(0, os.path.join(ROOT, "tests"))

from session import Session, wait_until  # noqa: E402
from sync_peers import GROUP, PORT, Speaker, header, send_from_here  # noqa: E402
from testenv import enter_private_network  # noqa: E402

NAVIGATIONS = int(os.environ.get("BENCH_NAVIGATIONS", "40"))
SPACING_MS = 400
FLOOD = int(os.environ.get("BENCH_FLOOD", "5000"))
VIEWER_LATENCY = re.compile(r"navigation John\.3\.(\d+) .* \(([\d.]+) ms after arrival\)")
SO_TIMESTAMPNS = 35


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    return 0


class Stamper:
    """A socket in the group that notes when each navigation arrived."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self.sock.bind((GROUP, PORT))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                             socket.inet_aton(GROUP) + socket.inet_aton("0.0.0.0"))
        self.sock.setblocking(False)

    def arrivals(self):
        """{reference: arrival in ms since the epoch} of the navigations waiting."""
        found = {}
        while True:
            try:
                data, ancillary, _, _ = self.sock.recvmsg(2048, 64)
            except BlockingIOError:
                return found
            match = re.search(rb"msg\.sync\.verse=([^\n]*)\n", data)
            for level, kind, value in ancillary:
                if match and level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                    seconds, nanoseconds = struct.unpack("qq", value[:16])
                    found.setdefault(match.group(1).decode(), seconds * 1e3 + nanoseconds / 1e6)


def summary(values):
    values = sorted(values)
    return f"{statistics.median(values):.2f} ms ({values[0]:.2f}-{values[-1]:.2f})"


def flood():
    """FLOOD made-up programs, each a beacon and a navigation, 200 at a time."""
    presence = b"app.name=Flood\napp.version=1\napp.os=Linux\napp.device=x\napp.user=f\n"
    presence += b"msg.sync.passPhrase=BibleSync\n"
    for start in range(0, FLOOD, 200):
        batch = []
        for _ in range(min(200, FLOOD - start)):
            sender = uuid.uuid4()
            body = presence + f"app.inst.uuid={sender}\n".encode()
            batch.append(header(3, sender.bytes) + body)
            batch.append(header(2, sender.bytes) + body + b"msg.sync.bibleAbbrev=KJV\n"
                         b"msg.sync.domain=BIBLE-VERSE\nmsg.sync.group=1\nmsg.sync.altVerse=\n"
                         b"msg.sync.verse=Xyz.1.1\n")
        send_from_here(*batch)
        time.sleep(0.05)


def main():
    enter_private_network(__file__, "bench-sync")
    if os.environ.get("VELLUM_PRIVATE_NETWORK") != "1":
        sys.exit("bench-sync: needs a private network namespace (run as root)")
    session = Session(start=False)
    try:
        stamper = Stamper()
        # The library's listener hears the sender's first beacon before the
        # viewer's, so that it follows the sender.
        listener = Speaker(session.env, "--seconds", "600")
        sender = Speaker(session.env, "--seconds", "600")
        wait_until(lambda: any(l.startswith("EVENT S ") for l in listener.lines), timeout=20,
                   what="the library to hear the sender")
        session.env["VELLUM_TRACE"] = "1"
        session.start_viewer(args=["--biblesync"])
        wait_until(lambda: "joined" in open(session.viewer_log).read(), what="the viewer to join")
        ui_pid = session.viewer.pid
        before = (pss_kib(ui_pid), pss_kib(listener.process.pid))

        arrivals = {}
        for n in range(1, NAVIGATIONS + 1):
            sender.send(f"John.3.{n}")
            time.sleep(SPACING_MS / 1000)
            arrivals.update(stamper.arrivals())
        wait_until(lambda: len([l for l in listener.lines if l.startswith("EVENT N ")])
                   >= NAVIGATIONS, timeout=10, what="the library's callbacks")
        arrivals.update(stamper.arrivals())

        with open(session.viewer_log) as f:
            viewer_ms = [float(m.group(2)) for m in map(VIEWER_LATENCY.search, f) if m]
        library_ms = []
        for line in listener.lines:
            fields = dict(p.split("=", 1) for p in line.split()[2:] if "=" in p)
            if line.startswith("EVENT N ") and fields.get("ref") in arrivals:
                library_ms.append(float(fields["at"]) - arrivals[fields["ref"]])

        flood()
        time.sleep(2)
        after = (pss_kib(ui_pid), pss_kib(listener.process.pid))
        alive = session.viewer.poll() is None and listener.process.poll() is None

        print(f"BibleSync, {NAVIGATIONS} navigations one every {SPACING_MS} ms; median "
              "(lowest-highest), from the datagram's arrival:\n")
        print("| Receiver | Arrival to the navigation handed on | Taken |")
        print("|---|---|---|")
        print(f"| Vellum (socket watch on the GLib main loop) | {summary(viewer_ms)} | "
              f"{len(viewer_ms)} |")
        print(f"| libbiblesync polled once a second | {summary(library_ms)} | "
              f"{len(library_ms)} |")
        print(f"\nMemory (PSS, KiB) before and after {FLOOD} made-up programs "
              f"({2 * FLOOD} datagrams); both alive after: {alive}\n")
        print("| Process | Before | After |")
        print("|---|---|---|")
        print(f"| Vellum, UI process | {before[0]} | {after[0]} |")
        print(f"| libbiblesync program | {before[1]} | {after[1]} |")
        sender.stop()
        listener.stop()
    finally:
        session.close()


if __name__ == "__main__":
    main()
