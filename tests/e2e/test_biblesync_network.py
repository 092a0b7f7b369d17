"""End-to-end tests of BibleSync beyond one network: following a program on another
computer by choice (the real libbiblesync in speaker mode, in the namespace at the far
end of the pretend local network), and hearing the programs on this computer however
the network around them is laid out or changes."""
import os
import subprocess
import sys
import unittest

from session import Session, wait_until
from test_biblesync import OtherMachine, TraceReading, lay_out_bible_books

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "biblesync"))
from sync_peers import GROUP, Speaker  # noqa: E402

PEER = os.environ.get("VELLUM_TEST_PEER")
REACHES = ("Off", "Programs on this computer", "Other computers too\u2026")


def ip(*args):
    subprocess.run(["ip", *args], check=True, capture_output=True, timeout=30)


class BibleSyncTest(TraceReading, unittest.TestCase):
    def start(self, settings=None, args=(), window_manager=False):
        self.s = Session(settings=settings, start=False, window_manager=window_manager)
        self.addCleanup(self.s.close)
        lay_out_bible_books(self.s)
        self.s.env["VELLUM_TRACE"] = "1"
        self.s.start_viewer(args=list(args))


@unittest.skipUnless(os.environ.get("VELLUM_PRIVATE_NETWORK") == "1" and PEER,
                     "needs a private network namespace with another machine "
                     "(tests/private-network.sh, as root)")
class OtherComputers(BibleSyncTest):
    """One walk: the reach chosen in the settings, the silence notice, the passphrase
    dialog, a program elsewhere followed only once ticked and only with the passphrase,
    nothing of ours beyond presence reaching the other machine, and the choices kept."""

    def test_a_program_elsewhere_is_followed_only_when_ticked(self):
        other = OtherMachine(PEER)
        self.addCleanup(other.stop)
        # A window manager gives the passphrase dialog the keyboard.
        self.start("[BibleSync]\nFollow=1\nOtherComputers=1\nPassphrase=first\n",
                   window_manager=True)
        self.wait_trace("joined in personal mode, hearing other computers")
        items = self.open_sync_submenu()
        self.assertEqual([items[r]["checked"] for r in REACHES], [False, False, True])
        self.assertIn("No program heard on other computers yet", items)
        self.s.xdotool("key", "Escape", "Escape")
        # Nobody there: said once in the title bar, with the port.
        wait_until(lambda: "22272" in self.s.control("Notice")["name"], timeout=45,
                   what="the silence notice")
        self.wait_trace("nothing heard from other computers for 30 s")

        # The passphrase dialog: asked again when the reach is chosen again.
        self.choose_in_submenu(REACHES[2])
        wait_until(lambda: self.s.controls().get("Passphrase", {}).get("showing"),
                   what="the passphrase dialog")
        self.s.xdotool("key", "ctrl+a")
        self.s.xdotool("type", "class 7")
        self.s.xdotool("key", "Return")
        self.wait_trace("hearing other computers", 2)

        here = Speaker(self.s.env, "--passphrase", "class 7")
        self.addCleanup(here.stop)
        there = Speaker(self.s.env, "--passphrase", "class 7", "--reach", "network",
                        namespace=PEER)
        self.addCleanup(there.stop)
        wrong = Speaker(self.s.env, "--passphrase", "class 8", "--reach", "network",
                        namespace=PEER)
        self.addCleanup(wrong.stop)
        self.wait_trace("@ 10.199.0.1")
        self.assertTrue(any(name.startswith("vellum-sync-speaker (")
                            for name in self.open_sync_submenu()), "listed")
        self.s.xdotool("key", "Escape", "Escape")
        there.send("John.3.16")
        self.wait_trace("not followed: not ticked")
        self.assertNotEqual(self.s.caption(), "John 3:16")

        # Ticked: followed. Another passphrase: never.
        items = self.open_sync_submenu()
        program = next(name for name in items if name.startswith("vellum-sync-speaker ("))
        self.assertFalse(items[program]["checked"])
        self.assertIn("The passphrase keeps groups apart; it is no security: anyone on the "
                      "network can read and send BibleSync messages.", items)
        x, y, w, h = items[program]["extents"]
        self.s.click(x + w // 2, y + h // 2)
        there.send("John.3.17")
        self.s.wait_caption("John 3:17")
        wrong.send("John.3.18")
        self.wait_trace("with another passphrase")
        # A program here is followed as ever, and hears our cross-references.
        here.send("John.3.19")
        self.s.wait_caption("John 3:19")
        self.s.click_control("SpeedButton2")
        wait_until(lambda: here.navigations(), what="the program here to hear us")

        # Nothing of ours but our presence (announcements) reached the other machine.
        ours = [p for p in other.packets() if p[1] == "10.199.0.2" and p[0] == "17"]
        self.assertTrue(ours, "our presence was announced")
        self.assertEqual({p[3] for p in ours if len(p) > 3}, {"1"}, ours)
        self.assertEqual(there.navigations(), [], "we never lead another computer")

        # Back to this computer: the program elsewhere is no longer heard.
        self.choose_in_submenu(REACHES[1])
        self.wait_trace("private to this machine", 1)
        there.send("John.3.20")
        self.wait_trace("dropped unread")
        self.assertEqual(self.s.caption(), "John 3:19")

        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        section = self.s.settings().split("[BibleSync]", 1)[1]
        self.assertIn("Follow=1\nOtherComputers=0\nPassphrase=class 7\n", section)
        self.assertRegex(section, r"FollowedPrograms=vellum-sync-speaker/speaker/[^|\n]+\n")


@unittest.skipUnless(os.environ.get("VELLUM_PRIVATE_NETWORK") == "1" and PEER,
                     "needs a private network namespace with veth pairs "
                     "(tests/private-network.sh, as root)")
class NetworkAroundThisComputer(BibleSyncTest):
    """A program on this computer joins the group on the interface it picks (libbiblesync:
    the default route's), which need not be the one the group is routed to; and
    interfaces come, go and change their addresses while the viewer runs."""

    def add_second_interface(self):
        ip("link", "add", "vpn0", "type", "veth", "peer", "name", "vpn1")
        self.addCleanup(ip, "link", "del", "vpn0")
        ip("addr", "add", "10.200.0.2/24", "dev", "vpn0")
        ip("link", "set", "vpn0", "up")
        ip("link", "set", "vpn1", "up")

    def test_heard_when_the_group_is_routed_elsewhere(self):
        self.add_second_interface()
        ip("route", "add", f"{GROUP}/32", "dev", "vpn0")
        self.start(args=["--biblesync"])
        self.wait_trace("joined in personal mode")
        self.assertTrue(any("joined" in l and "vpn0 10.200.0.2" in l for l in self.trace()))
        speaker = Speaker(self.s.env)
        self.addCleanup(speaker.stop)
        speaker.send("John.3.16")
        self.s.wait_caption("John 3:16")

    def test_joined_again_when_an_address_changes_and_an_interface_comes(self):
        self.start(args=["--biblesync"])
        self.wait_trace("joined in personal mode")
        # Renumbered, as a DHCP lease renewed elsewhere would.
        ip("addr", "del", "10.199.0.2/24", "dev", "lan0")
        self.addCleanup(ip, "route", "replace", "default", "via", "10.199.0.1", "dev", "lan0")
        self.addCleanup(ip, "addr", "replace", "10.199.0.2/24", "dev", "lan0")
        self.addCleanup(ip, "addr", "del", "10.199.0.9/24", "dev", "lan0")
        ip("addr", "add", "10.199.0.9/24", "dev", "lan0")
        ip("route", "replace", "default", "via", "10.199.0.1", "dev", "lan0")
        self.wait_trace("lan0 10.199.0.9")
        self.assertTrue(any("the network changed" in l and "joined again" in l
                            for l in self.trace()), self.trace())
        # A network card plugged in; a program that joins on it is heard.
        self.add_second_interface()
        self.wait_trace("vpn0 10.200.0.2")
        ip("route", "replace", "default", "dev", "vpn0")
        speaker = Speaker(self.s.env)
        self.addCleanup(speaker.stop)
        speaker.send("John.3.16")
        self.s.wait_caption("John 3:16")
        # And our own navigations still go out (followed once our beacon is heard).
        wait_until(speaker.heard_us, timeout=15, what="the speaker to hear our beacon")
        self.s.click_control("SpeedButton2")
        wait_until(lambda: speaker.navigations(), what="the speaker to hear us")
        self.assertFalse([l for l in self.trace() if "failed" in l], self.trace())


if __name__ == "__main__":
    unittest.main()
