"""vellum-setup.exe under Wine, in a prefix of its own: a silent install puts the program
folder into Program Files and writes the Start menu shortcut and the Uninstall entry; the
installed viewer starts, shows a location sent by the installed vellum-host.exe, closes
and keeps its settings in the user's %APPDATA%\\Vellum; a silent uninstall removes the
folder, the shortcut and the entry, and leaves the user's settings and libraries alone."""
import glob
import os
import re
import shutil
import struct
import sys
import time

from wine_session import WineTestCase
from wine_viewer import PROBE, ROOT, LIBRARY, WineViewer

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testenv import png_pixels, project_version  # noqa: E402

SETUP = os.path.join(ROOT, "build", "dist", "vellum-setup.exe")
ICON = os.path.join(ROOT, "build", "windows", "icons", "vellum.ico")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellum"
INSTALLED = r"C:\Program Files\Vellum"


def files_below(folder):
    return {os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/")
            for top, _, names in os.walk(folder) for name in names}


def wait_until(condition, what, timeout=90):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


class Installer(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The shortcut must not become a menu entry on the desktop of whoever runs
        # the tests.
        cls.w.env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
        drive_c = os.path.join(cls.w.env["WINEPREFIX"], "drive_c")
        cls.program = os.path.join(drive_c, "Program Files", "Vellum")
        cls.shortcut = os.path.join(drive_c, "ProgramData", "Microsoft", "Windows",
                                    "Start Menu", "Programs", "Vellum.lnk")
        cls.users = os.path.join(drive_c, "users")

    def registry(self, key):
        """The values of a registry key, by name; None when the key does not exist."""
        result = self.w.run(["wine", "reg", "query", key], timeout=60)
        if result.returncode != 0:
            return None
        return {m.group(1): m.group(3) for m in
                re.finditer(r"(?m)^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", result.stdout)}

    def user_folder(self, kind):
        """The user's %APPDATA% (Roaming) or %LOCALAPPDATA% (Local) folder's Vellum."""
        found = glob.glob(os.path.join(self.users, "*", "AppData", kind))
        self.assertEqual(len(found), 1, found)
        return os.path.join(found[0], "Vellum")

    def test_silent_install_run_upgrade_and_silent_uninstall(self):
        result = self.w.wine(SETUP, "/S", timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_installed()
        settings = self.run_installed_viewer()
        # A library of the user's own, and a page the user put into the bundled
        # one: uninstalling leaves both alone.
        library = os.path.join(self.user_folder("Local"), "Mine.htm")
        shutil.copytree(os.path.join(LIBRARY, "web.htm"), library)
        with open(os.path.join(self.program, "web.htm", "mine.htm"), "w") as f:
            f.write("<p>the user's own</p>")

        # Installing again while Vellum runs: it is closed first, as its host would.
        viewer = WineViewer(self.w, folder=self.program)
        self.addCleanup(viewer.stop)
        viewer.start()
        result = self.w.wine(SETUP, "/S", timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(viewer.wait_exit(60), 0)
        self.assertTrue(os.path.isfile(os.path.join(self.program, "vellum.exe")))

        result = self.w.wine(os.path.join(self.program, "uninstall.exe"), "/S", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        # The uninstaller hands its work to a copy of itself outside the folder it
        # removes, and returns at once.
        wait_until(lambda: files_below(self.program) == {"web.htm/mine.htm"} and
                   not os.path.exists(self.shortcut) and
                   self.registry(UNINSTALL_KEY) is None, "the uninstall to finish")
        self.assertEqual(sorted(os.listdir(self.program)), ["web.htm"])
        self.assertTrue(os.path.isfile(settings), "the user's settings stay")
        self.assertEqual(files_below(library), files_below(os.path.join(LIBRARY, "web.htm")))

    def test_an_install_for_the_current_user_alone(self):
        result = self.w.wine(SETUP, "/S", "/CurrentUser", timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        found = glob.glob(os.path.join(self.users, "*", "AppData", "Local", "Programs", "Vellum"))
        self.assertEqual(len(found), 1, found)
        program = found[0]
        self.assertIn("vellum.exe", os.listdir(program))
        self.assertFalse(os.path.exists(self.program), "nothing for all users")
        self.assertIsNone(self.registry(UNINSTALL_KEY))
        entry = self.registry(UNINSTALL_KEY.replace("HKLM", "HKCU"))
        self.assertIsNotNone(entry, "the user's own Uninstall entry")
        shortcut = glob.glob(os.path.join(self.users, "*", "AppData", "Roaming", "Microsoft",
                                          "Windows", "Start Menu", "Programs", "Vellum.lnk"))
        self.assertEqual(len(shortcut), 1)
        result = self.w.wine(os.path.join(program, "uninstall.exe"), "/S", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        wait_until(lambda: not os.path.exists(program) and not os.path.exists(shortcut[0]) and
                   self.registry(UNINSTALL_KEY.replace("HKLM", "HKCU")) is None,
                   "the uninstall to finish")

    def test_another_programs_window_of_the_class_is_left_alone(self):
        # A window of the viewer's class but not its title is another program's.
        stand_in = self.w.spawn_wine(PROBE, "stand-in", "TfrmHView", "Notes", "30000")
        self.assertEqual(stand_in.stdout.readline().strip(), '{"shown": true}')
        result = self.w.wine(SETUP, "/S", timeout=180)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isfile(os.path.join(self.program, "vellum.exe")))
        self.assertEqual(stand_in.communicate(timeout=60)[0].strip(), '{"asked_to_close": false}')
        result = self.w.wine(os.path.join(self.program, "uninstall.exe"), "/S", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        wait_until(lambda: not os.path.exists(os.path.join(self.program, "vellum.exe")),
                   "the uninstall to finish")

    def test_each_uninstaller_removes_its_own_copy_only(self):
        for args in (("/S",), ("/S", "/CurrentUser")):
            result = self.w.wine(SETUP, *args, timeout=180)
            self.assertEqual(result.returncode, 0, result.stderr)
        found = glob.glob(os.path.join(self.users, "*", "AppData", "Local", "Programs", "Vellum"))
        self.assertEqual(len(found), 1, found)
        own = found[0]
        # The per-user copy's uninstaller, run by an administrator (as Wine's user is).
        result = self.w.wine(os.path.join(own, "uninstall.exe"), "/S", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        wait_until(lambda: not os.path.exists(own) and
                   self.registry(UNINSTALL_KEY.replace("HKLM", "HKCU")) is None,
                   "the per-user copy to go")
        self.assertTrue(os.path.isfile(os.path.join(self.program, "vellum.exe")),
                        "the copy for all users stays")
        self.assertIsNotNone(self.registry(UNINSTALL_KEY), "and its Uninstall entry")
        self.assertTrue(os.path.exists(self.shortcut), "and its shortcut")
        result = self.w.wine(os.path.join(self.program, "uninstall.exe"), "/S", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        wait_until(lambda: not os.path.exists(os.path.join(self.program, "vellum.exe")) and
                   self.registry(UNINSTALL_KEY) is None, "the copy for all users to go")

    def test_the_icon_the_executables_carry(self):
        # An icon file of PNG images: its directory's sizes and places are what the
        # shell reads to pick the image for the Start menu, Explorer and Apps & features.
        with open(ICON, "rb") as f:
            data = f.read()
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            side, _, _, _, planes, bits, length, offset = struct.unpack(
                "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            width, height, _ = png_pixels(data[offset:offset + length])
            self.assertEqual((width, height), (side or 256, side or 256))
            self.assertEqual((planes, bits), (1, 32))
            sizes.append(width)
        self.assertEqual(sizes, [16, 24, 32, 48, 64, 256])
        self.assertEqual(offset + length, len(data))

    def check_installed(self):
        library = {f for f in files_below(LIBRARY)}
        self.assertEqual(files_below(self.program),
                         library | {"vellum.exe", "vellum-host.exe", "vellum-check.exe",
                                    "vellum-import.exe", "LICENSE.txt", "Vellum.ini",
                                    "uninstall.exe", "about/about.htm"})
        imports = self.w.wine(os.path.join(self.program, "vellum-import.exe"), "--version")
        self.assertEqual((imports.returncode, imports.stdout.split()[:1]), (0, ["vellum-import"]))
        own_settings = os.path.join(self.program, "Vellum.ini")
        self.assertEqual(os.path.getsize(own_settings), 0)
        self.assertEqual(os.stat(own_settings).st_mode & 0o222, 0, "read-only")
        self.assertTrue(os.path.isfile(self.shortcut))

        entry = self.registry(UNINSTALL_KEY)
        self.assertIsNotNone(entry, "the Uninstall entry")
        self.assertEqual(entry["DisplayName"], "Vellum")
        self.assertEqual(entry["DisplayVersion"], project_version())
        self.assertEqual(entry["Publisher"], "The Vellum developers")
        self.assertEqual(entry["DisplayIcon"], INSTALLED + r"\vellum.exe,0")
        self.assertEqual(entry["UninstallString"], f'"{INSTALLED}\\uninstall.exe"')
        self.assertEqual(entry["QuietUninstallString"], f'"{INSTALLED}\\uninstall.exe" /S')
        size = sum(os.path.getsize(os.path.join(self.program, f))
                   for f in files_below(self.program))
        self.assertAlmostEqual(int(entry["EstimatedSize"], 16), size / 1024, delta=64)

    def run_installed_viewer(self):
        """Starts the installed viewer, shows a location with the installed host tool and
        closes it; returns the path of the settings file the close wrote."""
        viewer = WineViewer(self.w, folder=self.program)
        self.addCleanup(viewer.stop)
        viewer.start()
        viewer.wait_for_caption("SBtnINDEX", "Index Sample")
        host = os.path.join(self.program, "vellum-host.exe")
        self.assertEqual(self.w.wine(host, "show", "ALP", "1", "2").returncode, 0)
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:2")
        self.assertEqual(self.w.wine(host, "close").returncode, 0)
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertEqual(os.path.getsize(os.path.join(self.program, "Vellum.ini")), 0)
        settings = os.path.join(self.user_folder("Roaming"), "Vellum.ini")
        with open(settings, newline="") as f:
            self.assertRegex(f.read(), r"\[Form1\]\r\nleft=-?\d+\r\ntop=-?\d+\r\n")
        return settings
