"""vellum.exe under Wine, for what differs on a real Windows 10 or 11: the
answer to WM_COPYDATA, a program folder named outside the ANSI code page, the
layout at 150 % scale, and the page-side check that tells when no HTML engine
is there."""
import glob
import json
import os
import shutil
import time

from wine_session import WineTestCase
from wine_viewer import CHECK, PROBE, WineViewer, settings_text

# The title bar at 96 DPI: Panel1's height, and (left or distance from the
# right edge, width, height) of a few controls.
DESIGN = {"SpeedButton2": (28, 77, 24), "SpeedButton3": (-25, 24, 24), "Image2": (-76, 24, 24)}
# The Index button stands at its design place and is as wide as its caption
# needs: at least its design width, at most to Back less a gap.
INDEX = (198, 40, 24)
PANEL_HEIGHT = 26


def scaled(value, dpi):
    return (value * dpi + 48) // 96


class ViewerTestCase(WineTestCase):
    def setUp(self):
        self.viewers = []

    def tearDown(self):
        for viewer in self.viewers:
            viewer.stop()
        deadline = time.monotonic() + 10
        while self.viewers and self.viewers[0].probe() and time.monotonic() < deadline:
            time.sleep(0.2)

    def viewer(self, **kwargs):
        viewer = WineViewer(self.w, **kwargs)
        self.viewers.append(viewer)
        return viewer.start()

    def layout(self, info):
        """Where the title bar's controls stand, relative to the client area."""
        left, top = info["client_origin"]
        width = info["client_size"][0]
        panel = WineViewer.child(info, "Panel1")["rect"]
        places = {"panel_height": panel[3] - panel[1]}
        for name in DESIGN:
            l, t, r, b = WineViewer.child(info, name)["rect"]
            x = l - left if DESIGN[name][0] >= 0 else (l - left) - width
            places[name] = (x, r - l, b - t)
        l, t, r, b = WineViewer.child(info, "SBtnINDEX")["rect"]
        back = WineViewer.child(info, "SBtnBACK")["rect"]
        places["SBtnINDEX"] = (l - left, b - t, r <= back[0] - 4)
        places["index_width"] = r - l
        return places

    def assert_layout(self, info, dpi):
        places = self.layout(info)
        self.assertGreaterEqual(places.pop("index_width"), scaled(INDEX[1], dpi))
        self.assertEqual(places, self.expected_layout(dpi))

    def expected_layout(self, dpi):
        places = {"panel_height": scaled(PANEL_HEIGHT, dpi)}
        for name, (x, w, h) in DESIGN.items():
            places[name] = (scaled(x, dpi) if x >= 0 else -scaled(-x, dpi), scaled(w, dpi),
                            scaled(h, dpi))
        places["SBtnINDEX"] = (scaled(INDEX[0], dpi), scaled(INDEX[2], dpi), True)
        return places


class WindowsSpecifics(ViewerTestCase):
    def test_copydata_is_answered_true(self):
        self.viewer()
        result = self.w.wine(PROBE, "copydata", timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json.loads(result.stdout), {"copydata_result": 1})

    def test_a_program_folder_named_outside_the_ansi_code_page(self):
        # Greek and CJK: no Western code page holds them, so an ANSI call
        # cannot even name the folder.
        viewer = self.viewer(prefix="\u0392\u03b9\u03b2\u03bb\u03af\u03b1-\u66f8-")
        info = viewer.probe()
        self.assertEqual(WineViewer.child(info, "SBtnINDEX")["text"], "Index Sample",
                         "the catalogue in the folder was read")
        viewer.host("close")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertIn("[Form1]", viewer.settings(), "the settings were written there")

    def test_the_layout_at_96_dpi_is_the_design_with_no_frame_along_the_top(self):
        viewer = self.viewer()
        info = viewer.probe()
        self.assert_layout(info, 96)
        # The title bar reaches the window's top edge: no sizing strip above it
        # (a white band on Windows 10 and 11); the other edges keep theirs.
        self.assertEqual(info["client_origin"][1], info["rect"][1])
        self.assertGreater(info["client_origin"][0], info["rect"][0])

    def test_the_window_stays_visible_to_clicks_while_pages_load(self):
        viewer = self.viewer()
        watch = self.w.spawn_wine(PROBE, "watch-visible", "8000")
        # Each location a page load: the window must never stop being visible
        # (hit testing skips a window without WS_VISIBLE, so clicks would fall
        # through to whatever lies below).
        for n, code in enumerate(["ALP", "BET", "GAM", "EPS"] * 3):
            viewer.host("show", code, str(n + 1), "1")
            viewer.wait_for(lambda i: WineViewer.child(i, "SpeedButton2")["text"].endswith(
                f" {n + 1}:1"), f"location {n + 1}")
        seen = json.loads(watch.communicate(timeout=60)[0])
        self.assertGreater(seen["samples"], 0)
        self.assertEqual(seen["invisible"], 0)

    def test_the_settings_are_written_when_the_session_ends(self):
        viewer = self.viewer(settings=settings_text(150, 120, 500, 300))
        viewer.host("show", "BET", "2", "2")
        viewer.wait_for_caption("SpeedButton2", "Beta 2:2")
        with open(viewer.settings_path, "w", newline="") as f:
            f.write("[Form1]\r\n")  # what the session's end must put right
        result = self.w.wine(PROBE, "end-session", timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(json.loads(result.stdout), {"query": 1})
        self.assertEqual(viewer.settings(), settings_text(150, 120, 500, 300, on_top=False) +
                         "[Reader]\r\nPlace=BET 2:2\r\nPlaceLibrary=web\r\n"
                         "PlaceLibraryPlace=program\r\n")

    def test_settings_that_cannot_be_written_at_the_sessions_end_hold_nothing_up(self):
        # Neither the program's Vellum.ini (read-only) nor the user's folder (a file
        # stands in its place) can take the settings: the failure is said without a
        # message box, which would stand on the shutdown screen.
        viewer = WineViewer(self.w, settings_text(150, 120, 500, 300))
        self.viewers.append(viewer)
        os.chmod(viewer.settings_path, 0o444)
        users = os.path.join(self.w.env["WINEPREFIX"], "drive_c", "users")
        roaming = [os.path.join(users, user, "AppData", "Roaming") for user in os.listdir(users)
                   if os.path.isdir(os.path.join(users, user, "AppData", "Roaming"))]
        self.assertTrue(roaming)
        for folder in roaming:
            blocker = os.path.join(folder, "Vellum")
            shutil.rmtree(blocker, ignore_errors=True)
            with open(blocker, "w") as f:
                f.write("not a folder")
            self.addCleanup(os.remove, blocker)
        viewer.start()
        result = self.w.wine(PROBE, "end-session", timeout=60)
        self.assertEqual(result.returncode, 0, "the session's end was held up: " + result.stdout)
        self.assertEqual(viewer.wait_exit(), 0)

    def test_the_bounds_check_finds_the_window_where_it_was_closed(self):
        viewer = WineViewer(self.w, settings_text(150, 120, 500, 300))
        shutil.copy(CHECK, viewer.folder)
        result = self.w.wine(os.path.join(viewer.folder, "vellum-check.exe"), "--bounds",
                             timeout=180)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("ok   window bounds: after a start and close 150, 120, 500 x 300; "
                      "after another the same", result.stdout)
        self.assertIn("ok   window bounds when minimised: the same after a minimise and close",
                      result.stdout)

    def test_pages_are_asked_for_in_the_newest_document_mode(self):
        key = (r"HKCU\Software\Microsoft\Internet Explorer\Main\FeatureControl"
               r"\FEATURE_BROWSER_EMULATION")
        for program in ("vellum.exe", "vellum-check.exe"):
            self.w.run(["wine", "reg", "delete", key, "/v", program, "/f"], timeout=60)
        self.viewer()
        self.w.wine(CHECK, timeout=120)
        for program in ("vellum.exe", "vellum-check.exe"):
            with self.subTest(program=program):
                # Another process's reg may fail now and then on a busy machine:
                # asked again until it answers, or for a while.
                deadline = time.monotonic() + 30
                while True:
                    query = self.w.run(["wine", "reg", "query", key, "/v", program], timeout=60)
                    if query.returncode == 0 or time.monotonic() > deadline:
                        break
                    time.sleep(0.5)
                self.assertEqual(query.returncode, 0, query.stdout + query.stderr)
                self.assertIn("0x2af9", query.stdout)  # 11001: IE11 edge mode

    def test_the_page_check_says_that_no_html_engine_is_present(self):
        result = self.w.wine(CHECK, timeout=120)
        lines = result.stdout.splitlines()
        self.assertNotEqual(result.returncode, 0)
        self.assertTrue(any("no HTML engine is present" in line for line in lines), result.stdout)
        self.assertTrue(any(line.startswith("ok   control:") for line in lines), result.stdout)
        self.assertRegex(lines[-1], r"^\d+ passed, [1-9]\d* failed$")
        usage = self.w.wine(CHECK, "--help", timeout=60)
        self.assertEqual(usage.returncode, 0)
        self.assertIn("usage: vellum-check", usage.stdout)


class InstalledCopy(ViewerTestCase):
    def test_a_settings_file_that_cannot_be_written_is_left_alone_and_close_closes(self):
        # As under Program Files: the program's own Vellum.ini cannot be written
        # (here: read-only, the one refusal Wine shows root). The close still
        # closes, and the settings go to the user's own folder.
        viewer = WineViewer(self.w, settings_text(150, 120, 469, 365, on_top=False, extra="[Own]\r\nkept=1\r\n"))
        self.viewers.append(viewer)
        os.chmod(viewer.settings_path, 0o444)
        before = viewer.settings()
        viewer.start()
        viewer.host("close")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertEqual(viewer.settings(), before)
        pattern = os.path.join(self.w.env["WINEPREFIX"], "drive_c", "users", "*", "AppData",
                               "Roaming", "Vellum", "Vellum.ini")
        found = glob.glob(pattern)
        self.assertEqual(len(found), 1, pattern)
        with open(found[0], newline="") as f:
            saved = f.read()
        self.assertIn("left=150", saved)
        self.assertIn("kept=1", saved, "the program's other lines carry over")


class ScaledViewer(ViewerTestCase):
    """The same viewer with the system at 144 DPI (150 %)."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for key in (r"HKCU\Control Panel\Desktop", r"HKCC\Software\Fonts"):
            cls.w.run(["wine", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                       "144", "/f"], timeout=60)

    def test_the_title_bar_grows_with_the_scale(self):
        viewer = self.viewer()
        self.assert_layout(viewer.probe(), 144)
