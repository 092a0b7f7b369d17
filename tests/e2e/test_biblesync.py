"""End-to-end tests of following other Bible programs (BibleSync): the real viewer
and another program built on the real libbiblesync (vellum-sync-speaker), in a
private network namespace (tests/private-network.sh) that nothing can leave."""
import os
import socket
import struct
import subprocess
import threading
import time
import unittest

from session import BUILD, Session, wait_until

SPEAKER = os.path.join(BUILD, "tests", "vellum-sync-speaker")
GROUP = "239.225.27.227"


def book_page(title, chapters, verses, links=""):
    """A book page with CV anchors, tall enough for any verse to reach the top."""
    parts = [f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>{title}</title></head><body>",
             links]
    for c in chapters:
        parts.append(f"<h2>{title} {c}</h2>")
        parts.extend(f"<p><a name='CV{c:03d}{v:03d}'></a>{c}:{v} A line of {title}.</p>"
                     for v in range(1, verses + 1))
    parts.append("<div style='height:2000px'></div></body></html>")
    return "\n".join(parts)


def lay_out_bible_books(session):
    """The test's own books: John (no name in books.ini: its built-in short name
    shows), Matthew (named in books.ini) and Genesis."""
    web = os.path.join(session.program, "web.htm")
    pages = {
        "john.htm": book_page("John", range(1, 4), 25,
                              "<p><a href='john.htm$BCVMAT5:3'>See Matthew 5:3</a></p>"),
        "matthew.htm": book_page("Matthew", [5], 12),
        "genesis.htm": book_page("Genesis", [1], 5),
    }
    for name, text in pages.items():
        with open(os.path.join(web, name), "w") as f:
            f.write(text)
    with open(os.path.join(web, "index.ini"), "a") as f:
        f.write("JHN=john.htm\r\nMAT=matthew.htm\r\nGEN=genesis.htm\r\n")
    with open(os.path.join(session.program, "books.ini"), "a") as f:
        f.write("MAT=Matthew\r\n")


class Speaker:
    """A running vellum-sync-speaker: another Bible program on this desktop."""

    def __init__(self, session):
        self.lines = []
        self.process = subprocess.Popen([SPEAKER, "--seconds", "120"], env=session.env,
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


class LanWatch:
    """Every IPv4 packet that goes out on the pretend local network, read at its far
    end: what would have left the machine."""

    def __init__(self, interface):
        self.packets = []  # (protocol, destination)
        self.running = True
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0800))
        self.sock.bind((interface, 0))
        self.sock.settimeout(0.2)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            try:
                frame = self.sock.recv(65535)
            except socket.timeout:
                continue
            except OSError:
                return
            if len(frame) >= 34 and struct.unpack("!H", frame[12:14])[0] == 0x0800:
                self.packets.append((frame[23], socket.inet_ntoa(frame[30:34])))

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.sock.close()


class CommandLine(unittest.TestCase):
    def test_help_lists_the_option(self):
        result = subprocess.run([os.path.join(BUILD, "vellum"), "--help"], capture_output=True,
                                text=True, timeout=30, env=dict(os.environ, DISPLAY=""))
        self.assertEqual(result.returncode, 0)
        self.assertIn("--biblesync", result.stdout)
        bad = subprocess.run([os.path.join(BUILD, "vellum"), "--bogus"], capture_output=True,
                             text=True, timeout=30)
        self.assertEqual(bad.returncode, 2)
        self.assertIn("--help", bad.stderr)


@unittest.skipUnless(os.environ.get("VELLUM_PRIVATE_NETWORK") == "1",
                     "needs a private network namespace (tests/private-network.sh, as root)")
class FollowingOtherPrograms(unittest.TestCase):
    window_manager = False

    def setUp(self):
        self.s = Session(start=False, window_manager=self.window_manager)
        self.addCleanup(self.s.close)
        lay_out_bible_books(self.s)
        self.lan = None
        if os.environ.get("VELLUM_TEST_LAN"):
            self.lan = LanWatch(os.environ["VELLUM_TEST_LAN"])
            self.addCleanup(self.lan.stop)
        # Each side follows the first program whose beacon it hears: one goes out
        # at every join, then one every ten seconds. The speaker joins first and
        # hears the viewer's first beacon; the viewer hears the speaker's next.
        self.speaker = Speaker(self.s)
        self.addCleanup(self.speaker.stop)
        self.s.env["VELLUM_TRACE"] = "1"
        self.s.start_viewer(args=["--biblesync"])
        self.wait_trace("joined", 1)
        wait_until(lambda: any(l.startswith("EVENT S ") for l in self.speaker.lines),
                   what="the speaker to hear the viewer")
        self.wait_trace("heard", 1)

    def trace(self):
        with open(self.s.viewer_log, errors="replace") as f:
            return [line.rstrip("\n")[len("vellum: biblesync: "):] for line in f
                    if line.startswith("vellum: biblesync: ")]

    def wait_trace(self, text, count=1, timeout=25):
        return wait_until(lambda: len([l for l in self.trace() if text in l]) >= count,
                          timeout=timeout, what=f"{count} trace line(s) with {text!r}")

    def choose_follow(self):
        x, y = self.s.browser_origin()
        self.s.click(x + 200, y + 150, button=3)
        items = wait_until(lambda: self.s.menu_items().get("Follow BibleSync", {}).get("showing")
                           and self.s.menu_items(), what="the menu")
        x, y, w, h = items["Follow BibleSync"]["extents"]
        self.s.click(x + w // 2, y + h // 2)
        return items["Follow BibleSync"]["checked"]

    def show_john_3_16(self):
        self.speaker.send("John.3.16", bible="WEB")
        self.s.wait_caption("John 3:16")

    def test_a_navigation_shows_its_page_at_its_verse(self):
        self.show_john_3_16()
        self.assertTrue(self.s.page_url().endswith("/web.htm/john.htm#CV003016"))
        self.s.wait_anchor_at_top("CV003016")
        self.assertTrue(any("John.3.16" in l and "shows JHN 3:16" in l for l in self.trace()))

    def test_a_burst_shows_only_its_last(self):
        self.show_john_3_16()
        self.s.page("window.vellumMarker = 'still here'")
        # One write: the speaker sends the three back to back.
        self.speaker.say("send Gen.1.1\nsend Matt.5.3\nsend John.3.17")
        self.s.wait_caption("John 3:17")
        self.s.wait_anchor_at_top("CV003017")
        # All three arrived, and neither Genesis nor Matthew was loaded.
        self.wait_trace("navigation Matt.5.3")
        self.assertTrue(any("navigation Gen.1.1" in l for l in self.trace()))
        self.assertEqual(self.s.page("window.vellumMarker"), "still here")

    def test_a_cross_reference_goes_to_the_other_programs_and_waits_on_the_pending_jump(self):
        self.show_john_3_16()
        self.s.wait_anchor_at_top("CV003016")
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        wait_until(lambda: self.speaker.navigations() == [("WEB", "Matt.5.3")],
                   what="the speaker to hear Matt.5.3 in the Bible it used")
        wait_until(lambda: self.s.control("SpeedButton1")["showing"], what="the pending jump")
        self.assertEqual(self.s.caption("SpeedButton1"), "Matth 5:3")  # books.ini's Matthew
        self.assertEqual(self.s.caption(), "John 3:16")
        self.assertTrue(self.s.page_url().endswith("/web.htm/john.htm#CV003016"))
        # Our own packet is not taken for a navigation.
        self.assertFalse([l for l in self.trace() if "navigation Matt.5.3" in l])
        self.s.click_control("SpeedButton1")
        self.s.wait_caption("Matth 5:3")
        self.s.wait_anchor_at_top("CV005003")
        # The location button tells them too.
        self.s.click_control("SpeedButton2")
        wait_until(lambda: len(self.speaker.navigations()) == 2, what="the second navigation")
        self.assertEqual(self.speaker.navigations()[1], ("WEB", "Matt.5.3"))

    def test_turning_it_off_stops_both_directions(self):
        self.show_john_3_16()
        self.assertTrue(self.choose_follow(), "it was on")
        self.wait_trace("left")
        self.speaker.send("John.3.18")
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        self.assertFalse(self.choose_follow(), "it was off")
        self.wait_trace("joined", 2)
        self.wait_trace("heard", 2)
        self.speaker.send("John.3.19")
        self.s.wait_caption("John 3:19")
        self.assertFalse(self.s.control("SpeedButton1")["showing"])
        self.assertFalse([l for l in self.trace() if "John.3.18" in l], "nothing came in")
        self.assertEqual(self.speaker.navigations(), [], "nothing went out")
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("[BibleSync]\nFollow=1\n", self.s.settings())

    def test_malformed_packets_and_unmappable_references_do_no_harm(self):
        for command in ("junk", "truncated"):
            self.speaker.say(command)
            wait_until(lambda: f"SENT {command} 0" in self.speaker.lines, what=command)
        self.speaker.send("Xyz.1.1", "John.300.1", "John.3.16,John.3.17", "John.3.20")
        self.s.wait_caption("John 3:20")
        self.wait_trace("2 errors")
        self.wait_trace("3 ignored")
        self.assertIsNone(self.s.viewer.poll())
        self.assertEqual(self.s.host("close"), 0, "the viewer still takes messages")
        self.assertEqual(self.s.wait_exit(), 0)

    def test_nothing_leaves_the_machine(self):
        if self.lan is None:
            self.skipTest("no pretend local network to watch (veth pairs unavailable)")
        self.show_john_3_16()
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        wait_until(lambda: self.speaker.navigations(), what="the speaker to hear us")
        # Joining the group is announced to the network by the system (IGMP,
        # protocol 2): proof that the watch sees what goes out there.
        wait_until(lambda: any(p[0] == 2 for p in self.lan.packets), what="a membership report")
        self.assertEqual([p for p in self.lan.packets if p[1] == GROUP and p[0] == 17], [],
                         "no BibleSync packet went onto the network")


if __name__ == "__main__":
    unittest.main()
