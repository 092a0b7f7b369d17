"""vellum.exe under Wine follows another Bible program over BibleSync, and is followed
by it: the program is the Linux vellum-sync-speaker on the real libbiblesync, in the
same private network namespace (Wine's Winsock runs on the Linux network stack)."""
import os
import sys
import time
import unittest

from wine_session import WineTestCase
from wine_viewer import VIEWER, WineViewer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "biblesync"))
from sync_peers import Speaker, wait_until  # noqa: E402


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

        # "Follow BibleSync" turns it off: nothing comes in
        # until it is turned on again.
        viewer.choose("Follow BibleSync")
        self.wait_trace("left")
        speaker.send("John.3.17")
        viewer.choose("Follow BibleSync")
        wait_until(lambda: len([l for l in self.trace() if "joined" in l]) == 2, timeout=30,
                   what="the second join")
        speaker.send("John.3.18")
        viewer.wait_for_caption("SpeedButton2", "John 3:18")
        self.assertFalse([l for l in self.trace() if "John.3.17" in l])

        viewer.click_control("SpeedButton3")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertIn("[BibleSync]\r\nFollow=1\r\n", viewer.settings())


if __name__ == "__main__":
    unittest.main()
