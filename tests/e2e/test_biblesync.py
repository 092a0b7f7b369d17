"""End-to-end tests of following other Bible programs (BibleSync): the real viewer
and other programs built on the real libbiblesync (vellum-sync-speaker), in a
private network namespace (tests/private-network.sh) that nothing can leave, with
another machine at the far end of its pretend local network."""
import os
import subprocess
import sys
import threading
import time
import unittest
import uuid

from session import BUILD, Session, wait_until

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "biblesync"))
from sync_peers import Speaker, header, send_from_here  # noqa: E402


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


class OtherMachine:
    """tests/e2e/peer_machine.py in the namespace at the far end of the pretend local
    network: it watches what reaches it and sends navigations from there."""

    def __init__(self, namespace):
        self.lines = []
        self.process = subprocess.Popen(
            ["nsenter", f"--net={namespace}", sys.executable,
             os.path.join(os.path.dirname(os.path.abspath(__file__)), "peer_machine.py")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        wait_until(lambda: "WATCHING" in self.lines, what="the other machine")

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def navigate(self, reference):
        self.process.stdin.write(f"nav {reference}\n")
        self.process.stdin.flush()
        wait_until(lambda: f"SENT {reference}" in self.lines, what=f"{reference} sent")

    def packets(self):
        """(protocol, source, destination) of each IPv4 packet that reached it."""
        return [tuple(line.split()[1:]) for line in self.lines if line.startswith("PACKET ")]

    def stop(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.flush()
                self.process.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


class TraceReading:
    """The viewer's BibleSync trace (VELLUM_TRACE) of the session self.s, and its
    Follow BibleSync submenu."""

    def open_sync_submenu(self):
        x, y = self.s.browser_origin()
        self.s.click(x + 200, y + 150, button=3)
        items = wait_until(lambda: self.s.menu_items().get("Follow BibleSync", {}).get("showing")
                           and self.s.menu_items(), what="the menu")
        x, y, w, h = items["Follow BibleSync"]["extents"]
        self.s.click(x + w // 2, y + h // 2)
        return wait_until(lambda: self.s.menu_items().get("Off", {}).get("showing")
                          and self.s.menu_items(), what="the Follow BibleSync submenu")

    def choose_in_submenu(self, label):
        """Chooses an item of the Follow BibleSync submenu; returns the items as they
        were (their check marks before the choice)."""
        items = self.open_sync_submenu()
        x, y, w, h = items[label]["extents"]
        self.s.click(x + w // 2, y + h // 2)
        return items

    def trace(self):
        with open(self.s.viewer_log, errors="replace") as f:
            return [line.rstrip("\n")[len("vellum: biblesync: "):] for line in f
                    if line.startswith("vellum: biblesync: ")]

    def wait_trace(self, text, count=1, timeout=25):
        return wait_until(lambda: len([l for l in self.trace() if text in l]) >= count,
                          timeout=timeout, what=f"{count} trace line(s) with {text!r}")


class CommandLine(unittest.TestCase):
    def test_help_lists_the_option_and_the_viewer_needs_no_biblesync_library(self):
        result = subprocess.run([os.path.join(BUILD, "vellum"), "--help"], capture_output=True,
                                text=True, timeout=30, env=dict(os.environ, DISPLAY=""))
        self.assertEqual(result.returncode, 0)
        self.assertIn("--biblesync", result.stdout)
        bad = subprocess.run([os.path.join(BUILD, "vellum"), "--bogus"], capture_output=True,
                             text=True, timeout=30)
        self.assertEqual(bad.returncode, 2)
        self.assertIn("--help", bad.stderr)
        linked = subprocess.run(["ldd", os.path.join(BUILD, "vellum")], capture_output=True,
                                text=True, timeout=30, check=True).stdout
        self.assertIn("libwebkit2gtk", linked)
        self.assertNotIn("biblesync", linked)


@unittest.skipUnless(os.environ.get("VELLUM_PRIVATE_NETWORK") == "1",
                     "needs a private network namespace (tests/private-network.sh, as root)")
class FollowingOtherPrograms(TraceReading, unittest.TestCase):
    """The speaker is already running when the viewer starts, as a user's other
    program usually is; it follows us once it has heard our beacon (one goes out
    as we join), and we follow it from its first navigation."""
    speaker_options = ()

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        lay_out_bible_books(self.s)
        self.other = None
        if os.environ.get("VELLUM_TEST_PEER"):
            self.other = OtherMachine(os.environ["VELLUM_TEST_PEER"])
            self.addCleanup(self.other.stop)
        self.speaker = Speaker(self.s.env, *self.speaker_options)
        self.addCleanup(self.speaker.stop)
        self.s.env["VELLUM_TRACE"] = "1"
        self.started = time.monotonic()
        self.s.start_viewer(args=["--biblesync"])
        self.wait_trace("joined", 1)
        wait_until(self.speaker.heard_us, what="the speaker to hear the viewer")


    def choose_follow(self, reach):
        """Chooses a reach in the Follow BibleSync submenu; whether "Off" was checked."""
        return self.choose_in_submenu(reach)["Off"]["checked"]

    def show_john_3_16(self):
        self.speaker.send("John.3.16", bible="WEB")
        self.s.wait_caption("John 3:16")

    def test_a_navigation_shows_its_page_at_its_verse(self):
        self.show_john_3_16()
        self.assertTrue(self.s.page_url().endswith("/web.htm/john.htm#CV003016"))
        self.s.wait_anchor_at_top("CV003016")
        taken = [l for l in self.trace() if "John.3.16" in l and "shows JHN 3:16" in l]
        self.assertEqual(len(taken), 1, self.trace())
        self.assertIn("ms after arrival", taken[0])

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

    def test_a_cross_reference_is_offered_at_once_and_following_goes_on(self):
        self.show_john_3_16()
        self.s.wait_anchor_at_top("CV003016")
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        wait_until(lambda: self.speaker.navigations() == [("WEB", "Matt.5.3")],
                   what="the speaker to hear Matt.5.3 in the Bible it used")
        wait_until(lambda: self.s.control("SpeedButton1")["showing"], what="the pending jump")
        self.assertEqual(self.s.caption("SpeedButton1"), "Matth 5:3")  # books.ini's Matthew
        self.assertEqual(self.s.caption(), "John 3:16")
        # Our own packet is not taken for a navigation.
        self.assertFalse([l for l in self.trace() if "navigation Matt.5.3" in l])
        # Nothing is awaited: the other program's next place is shown, the offer stands.
        self.speaker.send("John.3.17", bible="WEB")
        self.s.wait_caption("John 3:17")
        self.assertEqual(self.s.caption("SpeedButton1"), "Matth 5:3")
        self.s.click_control("SpeedButton1")
        self.s.wait_caption("Matth 5:3")
        self.s.wait_anchor_at_top("CV005003")
        # The location button tells them too.
        self.s.click_control("SpeedButton2")
        wait_until(lambda: len(self.speaker.navigations()) == 2, what="the second navigation")
        self.assertEqual(self.speaker.navigations()[1], ("WEB", "Matt.5.3"))

    def test_turning_it_off_stops_both_directions(self):
        self.show_john_3_16()
        self.assertFalse(self.choose_follow("Off"), "it was on")
        self.wait_trace("left")
        self.speaker.send("John.3.18")
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        self.assertTrue(self.choose_follow("Programs on this computer"), "it was off")
        self.wait_trace("joined", 2)
        self.speaker.send("John.3.19")
        self.s.wait_caption("John 3:19")
        self.assertFalse(self.s.control("SpeedButton1")["showing"])
        self.assertFalse([l for l in self.trace() if "John.3.18" in l], "nothing came in")
        self.assertEqual(self.speaker.navigations(), [], "nothing went out")
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("[BibleSync]\nFollow=1\n", self.s.settings())

    def test_malformed_packets_and_unmappable_references_do_no_harm(self):
        sender = uuid.uuid4()
        phrase = b"msg.sync.passPhrase=BibleSync\n"
        # A beacon without the optional app.version and app.device, then its navigation.
        presence = (f"app.name=Terse\napp.inst.uuid={sender}\napp.user=t\n").encode() + phrase
        navigation = (presence + b"msg.sync.bibleAbbrev=KJV\nmsg.sync.domain=BIBLE-VERSE\n"
                      b"msg.sync.group=1\nmsg.sync.verse=")
        send_from_here(header(3, sender.bytes) + presence,
                       header(2, sender.bytes) + navigation + b"John.3.15\n")
        self.s.wait_caption("John 3:15")
        send_from_here(
            header(2, sender.bytes)[:20],                                     # cut off
            header(2, sender.bytes, magic=0x11AF9C40) + navigation + b"Gen.1.1\n",
            header(2, sender.bytes, version=9) + navigation + b"Gen.1.1\n",
            header(7, sender.bytes) + navigation + b"Gen.1.1\n",             # no such type
            header(2, sender.bytes, count=b"\x02\x00\x01\x00") + navigation + b"Gen.1.1\n",
            header(2, sender.bytes) + navigation + b"Gen.1.1\n" + b"x" * 1300,  # too long
            header(2, sender.bytes) + navigation + b"Gen.1\x00.1\n",        # a NUL in it
            b"no BibleSync packet at all, but long enough to be one\n")
        # The speaker (libbiblesync) hears the malformed packets too, and now and then
        # does not survive them: a fresh one, joined after them, speaks instead. To the
        # viewer it is one more program on this machine.
        self.speaker.stop()
        self.speaker = Speaker(self.s.env, *self.speaker_options)
        self.addCleanup(self.speaker.stop)
        wait_until(self.speaker.heard_us, timeout=30, what="the new speaker to hear the viewer")
        self.speaker.send("Xyz.1.1", "John.300.1", "John.3.16,John.3.17", "John.3.20")
        self.s.wait_caption("John 3:20")
        self.wait_trace("7 errors")
        self.wait_trace("4 ignored")  # the NUL cut the reference: an empty one
        self.assertFalse([l for l in self.trace() if "shows GEN" in l])
        self.assertIsNone(self.s.viewer.poll())
        self.assertEqual(self.s.host("close"), 0, "the viewer still takes messages")
        self.assertEqual(self.s.wait_exit(), 0)

    def test_every_program_here_is_followed_at_once_a_restarted_one_too(self):
        self.show_john_3_16()
        second = Speaker(self.s.env)
        self.addCleanup(second.stop)
        second.send("John.3.21")
        self.s.wait_caption("John 3:21")
        self.speaker.send("John.3.22")
        self.s.wait_caption("John 3:22")
        # The first one quits and starts again, with a new identity, and speaks at once.
        self.speaker.stop()
        self.speaker = Speaker(self.s.env)
        self.speaker.send("John.3.23")
        self.s.wait_caption("John 3:23")
        self.assertEqual(len([l for l in self.trace() if "speaker" in l and "heard" in l]), 3,
                         self.trace())

    def test_the_other_machine_neither_moves_us_nor_hears_us(self):
        if self.other is None:
            self.skipTest("no other machine (veth pairs unavailable)")
        self.other.navigate("John.3.5")
        self.speaker.send("John.3.6")
        self.s.wait_caption("John 3:6")
        self.wait_trace("2 dropped")
        self.assertFalse([l for l in self.trace() if "John.3.5" in l], self.trace())
        self.assertTrue(any("datagram from 10.199.0.1 dropped unread" in l for l in self.trace()))
        # What we send goes nowhere near it.
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        wait_until(lambda: self.speaker.navigations(), what="the speaker to hear us")
        # Joining the group is announced to the network by the system (IGMP,
        # protocol 2): proof that the other machine sees what reaches it.
        wait_until(lambda: any(p[0] == "2" for p in self.other.packets()),
                   what="a membership report")
        self.assertEqual([p for p in self.other.packets() if p[0] == "17"], [],
                         "no UDP packet of ours reached the other machine")


    def test_nothing_leaves_when_multicast_is_routed_elsewhere_after_joining(self):
        """A VPN or a second network card can take the route to the group away from
        the interface the viewer joined on; a packet sent on an interface where
        nothing of ours is a member would leave the machine, time-to-live 0 or not."""
        if self.other is None:
            self.skipTest("no other machine (veth pairs unavailable)")
        peer_pid = self.other_pid()
        for command in (["ip", "link", "add", "lan2", "type", "veth", "peer", "name", "lan3"],
                        ["ip", "link", "set", "lan3", "netns", peer_pid],
                        ["ip", "addr", "add", "10.198.0.2/24", "dev", "lan2"],
                        ["ip", "link", "set", "lan2", "up"],
                        ["nsenter", f"--net={os.environ['VELLUM_TEST_PEER']}", "sh", "-c",
                         "ip addr add 10.198.0.1/24 dev lan3 && ip link set lan3 up"],
                        ["ip", "route", "add", "224.0.0.0/4", "dev", "lan2"]):
            subprocess.run(command, check=True, capture_output=True, timeout=30)
        self.addCleanup(subprocess.run, ["ip", "link", "del", "lan2"], capture_output=True)
        self.show_john_3_16()
        self.s.page("(window.scrollTo(0, 0), 1)")
        self.s.click_page_element('a[href*="BCVMAT5:3"]')
        wait_until(lambda: self.speaker.navigations(), what="the speaker to hear us")
        self.wait_trace("sent Matt.5.3")
        self.assertEqual([p for p in self.other.packets() if p[0] == "17"], [],
                         "no UDP packet of ours reached the other machine")

    def other_pid(self):
        return os.environ["VELLUM_TEST_PEER"].split("/")[2]


class FollowingAProgramThatWasThereFirst(FollowingOtherPrograms):
    """The speaker's next beacon is two minutes away: the viewer can learn of it
    only from its navigation."""
    speaker_options = ("--beacon-every", "120")

    def test_its_first_navigation_is_followed(self):
        self.speaker.send("John.3.16")
        self.s.wait_caption("John 3:16")
        followed = time.monotonic() - self.started
        heard = [l for l in self.trace() if "heard" in l]
        self.assertEqual(len(heard), 1, self.trace())
        self.assertIn("heard: navigation: vellum-sync-speaker", heard[0])
        print(f"\n  followed {followed:.1f} s after the viewer's start", end=" ", flush=True)

    # The other scenarios are run once, with the usual speaker.
    test_a_navigation_shows_its_page_at_its_verse = None
    test_a_burst_shows_only_its_last = None
    test_a_cross_reference_is_offered_at_once_and_following_goes_on = None
    test_turning_it_off_stops_both_directions = None
    test_malformed_packets_and_unmappable_references_do_no_harm = None
    test_every_program_here_is_followed_at_once_a_restarted_one_too = None
    test_the_other_machine_neither_moves_us_nor_hears_us = None
    test_nothing_leaves_when_multicast_is_routed_elsewhere_after_joining = None


if __name__ == "__main__":
    unittest.main()
