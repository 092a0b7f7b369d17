"""vellum.exe under Wine follows another Bible program over BibleSync, and is followed
by it: the program is the Linux vellum-sync-speaker on the real libbiblesync, in the
same private network namespace (Wine's Winsock runs on the Linux network stack)."""
import json
import os
import socket
import struct
import sys
import threading
import time
import unittest

from wine_session import WineTestCase
from wine_viewer import PROBE, VIEWER, WineViewer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "biblesync"))
from sync_peers import GROUP, PORT, Speaker, header, wait_until  # noqa: E402


@unittest.skipUnless(os.environ.get("VELLUM_PRIVATE_NETWORK") == "1",
                     "needs a private network namespace (tests/private-network.sh, as root)")
class FollowingBibleSync(WineTestCase):
    def trace(self):
        with open(self.log, errors="replace") as f:
            return [line.rstrip("\r\n")[len("vellum: biblesync: "):] for line in f
                    if line.startswith("vellum: biblesync: ")]

    def wait_trace(self, text):
        wait_until(lambda: any(text in line for line in self.trace()), timeout=30,
                   what=f"a trace line with {text!r}")

    def test_both_directions_with_a_libbiblesync_program_and_the_menu_item(self):
        help_text = self.w.wine(VIEWER, "--help").stdout
        self.assertIn("--biblesync", help_text)

        # The other program is running before the viewer starts.
        speaker = Speaker(self.w.env)
        self.addCleanup(speaker.stop)
        viewer = WineViewer(self.w)
        self.log = os.path.join(viewer.folder, "trace.log")
        started = time.monotonic()
        viewer.start("--biblesync", env={"VELLUM_TRACE": "1"}, log=self.log)
        self.addCleanup(viewer.stop)
        self.wait_trace("joined in personal mode")
        wait_until(speaker.heard_us, timeout=30, what="the speaker to hear the viewer's beacon")

        speaker.send("John.3.16", bible="WEB")
        # No page is drawn under Wine; the location is taken all the same.
        viewer.wait_for_caption("SpeedButton2", "John 3:16")
        print(f"\n  followed {time.monotonic() - started:.1f} s after the start", end=" ",
              flush=True)
        self.assertTrue(any("navigation John.3.16" in l and "shows JHN 3:16" in l
                            for l in self.trace()), self.trace())

        # With no host window, the location button tells the other program.
        viewer.click_control("SpeedButton2")
        wait_until(lambda: speaker.navigations() == [("WEB", "John.3.16")], timeout=30,
                   what="the speaker to hear John.3.16 in the Bible it used")

        # "Off" in the Follow BibleSync submenu: nothing comes in until
        # "Programs on this computer" is chosen again.
        viewer.choose_in_submenu("Follow BibleSync", 0)
        self.wait_trace("left")
        speaker.send("John.3.17")
        viewer.choose_in_submenu("Follow BibleSync", 1)
        wait_until(lambda: len([l for l in self.trace() if "joined" in l]) == 2, timeout=30,
                   what="the second join")
        speaker.send("John.3.18")
        viewer.wait_for_caption("SpeedButton2", "John 3:18")
        self.assertFalse([l for l in self.trace() if "John.3.17" in l])

        viewer.click_control("SpeedButton3")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertIn("[BibleSync]\r\nFollow=1\r\n", viewer.settings())


    def test_a_ticked_program_on_another_computer_is_followed(self):
        peer = os.environ.get("VELLUM_TEST_PEER")
        if not peer:
            self.skipTest("no other machine (veth pairs unavailable)")
        # libbiblesync names its device "machine: system @ host"; the other machine is
        # this one's network namespace, with the same name.
        name = os.uname()
        key = f"vellum-sync-speaker/speaker/{name.machine}: {name.sysname} @ {name.nodename}"
        viewer = WineViewer(self.w, settings="[BibleSync]\r\nFollow=1\r\n"
                            f"FollowedPrograms={key}\r\n")
        self.log = os.path.join(viewer.folder, "trace.log")
        viewer.start(env={"VELLUM_TRACE": "1"}, log=self.log)
        self.addCleanup(viewer.stop)
        self.wait_trace("private to this machine")
        # "Other computers too…" asks for the passphrase in a dialog of its own.
        viewer.choose_in_submenu("Follow BibleSync", 2)
        wait_until(lambda: self.w.run(["xdotool", "search", "--name",
                                       "Follow other computers"]).returncode == 0,
                   timeout=30, what="the passphrase dialog")
        viewer.xdotool("type", "class 7")
        viewer.xdotool("key", "Return")
        self.wait_trace("hearing other computers")
        there = Speaker(self.w.env, "--passphrase", "class 7", "--reach", "network",
                        namespace=peer)
        self.addCleanup(there.stop)
        wrong = Speaker(self.w.env, "--passphrase", "class 8", "--reach", "network",
                        namespace=peer)
        self.addCleanup(wrong.stop)
        self.wait_trace("@ 10.199.0.1")
        wrong.send("John.3.17")
        self.wait_trace("with another passphrase")
        there.send("John.3.16")
        viewer.wait_for_caption("SpeedButton2", "John 3:16")
        self.assertEqual(there.navigations(), [], "we never lead another computer")
        viewer.click_control("SpeedButton3")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertIn("OtherComputers=1\r\nPassphrase=class 7\r\n", viewer.settings())

    def test_a_flood_never_holds_up_the_hosts_messages(self):
        """Datagrams as fast as this machine sends them: the viewer still takes a host
        message at once and shows its place while the flood goes on."""
        viewer = WineViewer(self.w)
        self.log = os.path.join(viewer.folder, "trace.log")
        viewer.start("--biblesync", env={"VELLUM_TRACE": "1"}, log=self.log)
        self.addCleanup(viewer.stop)
        self.wait_trace("joined in personal mode")
        done = threading.Event()
        sent = [0]

        def flood():
            out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 0)
            out.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
            datagram = header(3, bytes(range(16))) + b"app.name=flood\nmsg.sync.passPhrase=x\n"
            while sent[0] < 100_000 and not done.is_set():
                try:
                    out.sendto(datagram, (GROUP, PORT))
                    sent[0] += 1
                except OSError:  # the loopback's queue is full for a moment
                    time.sleep(0.001)
                if sent[0] % 1000 == 0:
                    time.sleep(0.005)  # long enough to last while the test looks
            out.close()

        flooding = threading.Thread(target=flood, daemon=True)
        self.addCleanup(done.set)
        flooding.start()
        wait_until(lambda: sent[0] > 5000, what="the flood to start")
        times = []
        for place in ("JHN:3:16", "JHN:3:17", "JHN:3:18"):
            answer = self.w.wine(PROBE, "answer-time", place)
            self.assertEqual(answer.returncode, 0, answer.stdout)
            times.append(json.loads(answer.stdout)["answer_ms"])
        viewer.wait_for_caption("SpeedButton2", "John 3:18")
        still_flooding = flooding.is_alive()
        done.set()
        print(f"\n  host messages taken in {', '.join(f'{t:.1f}' for t in times)} ms during "
              f"a flood of {sent[0]} datagrams", end=" ", flush=True)
        self.assertTrue(still_flooding, "the place was shown while the flood went on")
        self.assertTrue(any("mismatch" in l for l in self.trace()), "the flood was read")


if __name__ == "__main__":
    unittest.main()
