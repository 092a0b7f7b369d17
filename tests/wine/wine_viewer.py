"""vellum.exe under Wine in a program folder of its own: started, seen through
vellum-probe.exe, driven by vellum-host.exe and xdotool, and stopped."""
import json
import os
import shutil
import subprocess
import tempfile
import time

from wine_session import WineTestCase

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "windows")
VIEWER = os.path.join(BUILD, "vellum.exe")
HOST = os.path.join(BUILD, "vellum-host.exe")
PROBE = os.path.join(BUILD, "tests", "vellum-probe.exe")
CHECK = os.path.join(BUILD, "vellum-check.exe")
LIBRARY = os.path.join(ROOT, "samples", "library")

WS_POPUP = 0x80000000
WS_BORDER = 0x00800000
WS_DLGFRAME = 0x00400000
WS_SYSMENU = 0x00080000
WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_EX_TOPMOST = 0x00000008


def settings_text(left=None, top=None, width=None, height=None, on_top=None, extra=""):
    """A Vellum.ini with the values given (None leaves a key out)."""
    lines = ["[Form1]"]
    for key, value in (("left", left), ("top", top), ("width", width), ("height", height)):
        if value is not None:
            lines.append(f"{key}={value}")
    lines.append("[Misc]")
    if on_top is not None:
        lines.append(f"AlwaysOnTop={1 if on_top else 0}")
    return "\r\n".join(lines) + "\r\n" + extra


class WineViewer:
    def __init__(self, session, settings=None, prefix="program-", folder=None):
        """A fresh program folder with the built viewer and the sample library, or, with
        folder, the viewer in that folder as it is (an installed one)."""
        self.w = session
        self.folder = folder
        if folder is None:
            self.folder = tempfile.mkdtemp(dir=session.dir, prefix=prefix)
            shutil.copytree(LIBRARY, self.folder, dirs_exist_ok=True)
            shutil.copytree(os.path.join(BUILD, "about"), os.path.join(self.folder, "about"))
            shutil.copy(VIEWER, self.folder)
        if settings is not None:
            with open(self.settings_path, "w", newline="") as f:
                f.write(settings)
        self.process = None

    @property
    def settings_path(self):
        return os.path.join(self.folder, "Vellum.ini")

    def settings(self):
        with open(self.settings_path, newline="") as f:
            return f.read()

    def start(self, *args, env=None, log=None):
        """Starts the viewer with args; its standard error goes to the file log."""
        errors = open(log, "w") if log else subprocess.DEVNULL
        try:
            self.process = subprocess.Popen(
                ["wine", os.path.join(self.folder, "vellum.exe"), *args],
                env=dict(self.w.env, **(env or {})), stdout=subprocess.DEVNULL, stderr=errors)
        finally:
            if log:
                errors.close()
        self.w.processes.append(self.process)
        # Started: shown, with the catalogue's name on the Index button.
        # A window seen while it is still being made has no title bar yet.
        self.wait_for(lambda info: info.get("visible") and
                      any(c["name"] == "SBtnINDEX" and c["text"].startswith("Index")
                          for c in info.get("children", [])), "start-up")
        return self

    def probe(self):
        result = self.w.wine(PROBE, timeout=30)
        return json.loads(result.stdout) if result.returncode == 0 else {}

    def wait_for(self, condition, what, timeout=30):
        deadline = time.monotonic() + timeout
        info = {}
        while time.monotonic() < deadline:
            info = self.probe()
            if info and condition(info):
                return info
            time.sleep(0.1)
        raise AssertionError(f"timed out waiting for {what}: {json.dumps(info)[:2000]}")

    def wait_for_caption(self, name, text):
        return self.wait_for(lambda info: self.child(info, name)["text"] == text,
                             f"{name} to read {text!r}")

    @staticmethod
    def child(info, name):
        for child in info.get("children", []):
            if child["name"] == name:
                return child
        raise KeyError(name)

    @staticmethod
    def centre(child):
        left, top, right, bottom = child["rect"]
        return (left + right) // 2, (top + bottom) // 2

    def host(self, *args, timeout=30):
        return self.w.wine(HOST, *args, timeout=timeout)

    def burst(self, *locations):
        return self.w.wine(PROBE, "burst", *locations, timeout=30).returncode

    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.w.env, check=True,
                       timeout=30)
        time.sleep(0.15)

    def click(self, x, y, button=1):
        self.xdotool("mousemove", x, y)
        self.xdotool("click", button)

    # The popup menu's items, in order.
    # The popup menu's items, in order (separators are passed over by the keys;
    # Back and Forward, disabled at first, are not: the system passes over
    # them only in its own menus).
    MENU = ["Back", "Forward", "Index", "Copy", "Copy with reference", "Find in page", "Go to",
            "Print", "Library", "Theme",
            "Larger text", "Smaller text", "Normal size", "Always on top", "Follow BibleSync",
            "About", "Close"]
    THEMES = ["Follow system", "Light", "Dark"]

    def choose(self, item):
        """Opens the menu from its icon and chooses an item with the keyboard, as sure a
        way as any to hit an item of a menu whose item heights the test does not know."""
        self.click_control("Image1")
        self.wait_for(lambda i: i["menus"], "the menu")
        self.xdotool("key", *["Down"] * (self.MENU.index(item) + 1), "Return")
        # The menu closed, or the viewer with it ("Close").
        deadline = time.monotonic() + 30
        while self.probe().get("menus") and time.monotonic() < deadline:
            time.sleep(0.1)

    def choose_library(self, position):
        """Chooses the library at a position (0: the first) of the Library submenu."""
        self.choose_in_submenu("Library", position)

    def choose_theme(self, name):
        self.choose_in_submenu("Theme", self.THEMES.index(name))

    def choose_in_submenu(self, submenu, position):
        self.click_control("Image1")
        self.wait_for(lambda i: i["menus"], "the menu")
        # Right opens the submenu with its first item selected.
        self.xdotool("key", *["Down"] * (self.MENU.index(submenu) + 1), "Right")
        self.wait_for(lambda i: len(i["menus"]) == 2, f"the {submenu} submenu")
        self.xdotool("key", *["Down"] * position, "Return")
        deadline = time.monotonic() + 30
        while self.probe().get("menus") and time.monotonic() < deadline:
            time.sleep(0.1)

    def brightness(self, x, y):
        """The brightness (0-255) of one pixel of the screen."""
        out = self.w.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "txt:-"]).stdout
        pixel = out.splitlines()[-1].partition(":")[2]
        rgb = pixel[pixel.index("(") + 1:pixel.index(")")].split(",")[:3]
        return sum(int(float(v)) // 257 for v in rgb) / 3

    def title_bar_brightness(self):
        """Right of the Index button, on the title bar's own face."""
        left, top, right, _ = self.child(self.probe(), "SBtnINDEX")["rect"]
        return self.brightness(right + 12, top + 3)

    def click_control(self, name, button=1):
        self.click(*self.centre(self.child(self.probe(), name)), button=button)

    def wait_exit(self, timeout=20):
        return self.process.wait(timeout)

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        self.host("close")
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(5)


class ViewerTestCase(WineTestCase):
    """Tests of viewers started in program folders of their own, beside hosts that
    vellum-host.exe plays; every one is stopped after its test."""

    def setUp(self):
        self.viewers = []
        self.servers = []

    def tearDown(self):
        for viewer in self.viewers:
            viewer.stop()
        for server in self.servers:
            if server.poll() is None:
                server.kill()
                server.wait(10)
            server.stdout.close()
        # No viewer may outlive its test: the next one looks for "the" viewer.
        deadline = time.monotonic() + 10
        while self.viewers and self.viewers[0].probe() and time.monotonic() < deadline:
            time.sleep(0.2)

    def viewer(self, settings=None, start=True):
        viewer = WineViewer(self.w, settings)
        self.viewers.append(viewer)
        return viewer.start() if start else viewer

    def serve(self, *args):
        server = subprocess.Popen(["wine", HOST, "serve", *args], env=self.w.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.servers.append(server)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.w.run(["xdotool", "search", "--name", "^Host$"]).stdout.strip():
                return server
            time.sleep(0.1)
        self.fail("the host window did not appear")

    def requests(self, server):
        server.kill()
        out, _ = server.communicate(timeout=10)
        return [line for line in out.splitlines() if line.startswith("REQUEST ")]
