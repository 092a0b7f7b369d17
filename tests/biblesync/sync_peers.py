"""Other BibleSync programs on this machine for the end-to-end and Wine tests:
vellum-sync-speaker (tests/biblesync/speaker.cpp) on the real libbiblesync, and
raw datagrams of our own making."""
import os
import socket
import struct
import subprocess
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SPEAKER = os.path.join(ROOT, "build", "linux", "tests", "vellum-sync-speaker")
GROUP = "239.225.27.227"
PORT = 22272


def wait_until(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


class Speaker:
    """A running vellum-sync-speaker: another Bible program on this desktop, on the
    real libbiblesync."""

    def __init__(self, env, *options, namespace=None):
        """namespace: the /proc path of another machine's network namespace to run in
        (with "--reach network", it leads that machine's local network)."""
        self.lines = []
        prefix = ["nsenter", f"--net={namespace}"] if namespace else []
        self.process = subprocess.Popen([*prefix, SPEAKER, "--seconds", "120", *options], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        wait_until(lambda: "READY" in self.lines, what="the speaker to join")

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def say(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def send(self, *references, bible="KJV"):
        """Sends navigations, waiting until the library has sent each."""
        for reference in references:
            self.say(f"send {reference} {bible}")
            wait_until(lambda: f"SENT {reference} 0" in self.lines, what=f"{reference} sent")

    def heard_us(self):
        return any(line.startswith("EVENT S ") for line in self.lines)

    def navigations(self):
        """The navigations it heard: (bible, reference) pairs."""
        heard = []
        for line in self.lines:
            if line.startswith("EVENT N "):
                fields = dict(part.split("=", 1) for part in line.split()[2:] if "=" in part)
                heard.append((fields.get("bible"), fields.get("ref")))
        return heard

    def stop(self):
        if self.process.poll() is None:
            try:
                self.say("quit")
                self.process.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


def header(kind, sender, count=b"\x01\x00\x00\x00", magic=0x409CAF11, version=3):
    return struct.pack("!IBB", magic, version, kind) + count + bytes(6) + sender


def send_from_here(*datagrams):
    """Raw datagrams to the BibleSync group, from this machine and kept on it."""
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 0)
    out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
    for datagram in datagrams:
        out.sendto(datagram, (GROUP, PORT))
    out.close()


