"""vellum-host.exe under Wine: its command line, its waiting and its host window."""
import os
import time
import unittest

from wine_session import WineTestCase

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HOST = os.path.join(ROOT, "build", "windows", "vellum-host.exe")


class HostTool(WineTestCase):
    def test_exit_codes_without_a_viewer(self):
        cases = [
            (["show", "ALP", "1", "1"], 3),
            (["close"], 3),
            (["send", "12", "00FF"], 3),
            (["show", "ALP", "300", "1"], 2),
            (["jump"], 2),
            (["wait", "--timeout", "0.3"], 3),
        ]
        for args, code in cases:
            self.assertEqual(self.w.wine(HOST, *args).returncode, code, args)

    def test_serve_shows_the_host_window_for_its_time(self):
        started = time.monotonic()
        server = self.w.spawn_wine(HOST, "serve", "--geometry", "300x200+40+50", "--seconds", "3")
        deadline = time.monotonic() + 20
        found = ""
        while time.monotonic() < deadline and not found:
            found = self.w.run(["xdotool", "search", "--name", "^Host$"]).stdout.strip()
            time.sleep(0.1)
        self.assertTrue(found, "the host window")
        geometry = self.w.run(["xwininfo", "-id", found.split()[0]]).stdout
        self.assertIn("Absolute upper-left X:  40", geometry)
        self.assertEqual(server.wait(30), 0)
        self.assertGreaterEqual(time.monotonic() - started, 3)


if __name__ == "__main__":
    unittest.main()
