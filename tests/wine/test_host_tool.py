"""vellum-host.exe under Wine: its command line, its waiting and its host window; and
the command lines of every Windows program."""
import os
import sys
import time
import unittest

from wine_session import WineTestCase

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testenv import project_version  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "windows")
HOST = os.path.join(BUILD, "vellum-host.exe")


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

    def test_every_program_answers_help_and_version(self):
        # vellum.exe has no console of its own: it answers on the output it was given.
        cases = (
            (["--help"], 0, "stdout", "Exit code"),
            (["--version"], 0, "stdout", None),
            (["--no-such-option"], 2, "stderr", "sage:"),
        )
        for program in ("vellum", "vellum-host", "vellum-check", "vellum-inspect"):
            for args, code, stream, text in cases:
                with self.subTest(program=program, args=args):
                    result = self.w.wine(os.path.join(BUILD, program + ".exe"), *args)
                    self.assertEqual(result.returncode, code, result.stderr)
                    output = getattr(result, stream).replace("\r\n", "\n")
                    if text is None:
                        self.assertEqual(output, f"{program} {project_version()}\n")
                    else:
                        self.assertIn(text, output)


if __name__ == "__main__":
    unittest.main()
