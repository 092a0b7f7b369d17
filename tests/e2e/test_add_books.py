"""End to end: books added without a terminal. Library > Add books… lists the modules
installed where the SWORD library looks, imports the ones ticked with vellum-import as a
child process (progress, Cancel, a plain line each), takes module .zip files from a
file chooser, and a library added can be shown from the dialog at once."""
import os
import shutil
import sys
import unittest
import zipfile

from session import BUILD, Session, wait_until

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import BIBLE, COMMENTARY, Library  # noqa: E402

DEBIAN_WEB = "/usr/share/sword/modules/texts/ztext/engWEB2015eb"


class AddBooks(unittest.TestCase):
    def setUp(self):
        self.s = Session(start=False, window_manager=True)
        self.addCleanup(self.s.close)
        self.sword = Library(os.path.join(self.s.dir, "sword"))
        self.sword.add("TestBible", BIBLE, kind="Bible", compressed=True)
        # Debian's World English Bible takes long enough to be cancelled.
        if os.path.isdir(DEBIAN_WEB):
            os.makedirs(os.path.join(self.sword.folder, "modules", "texts", "ztext"),
                        exist_ok=True)
            os.symlink(DEBIAN_WEB, os.path.join(self.sword.folder, "modules", "texts", "ztext",
                                                "engWEB2015eb"))
            shutil.copy("/usr/share/sword/mods.d/engWEB2015eb.conf",
                        os.path.join(self.sword.folder, "mods.d"))
        self.s.env["SWORD_PATH"] = self.sword.folder
        shutil.copy2(os.path.join(BUILD, "vellum-import"), self.s.program)
        self.s.start_viewer()

    def widget(self, name, role=None, part=False):
        """A showing widget by its name (or part of it), or by its designer name."""
        for w in self.s.widgets():
            named = name in w["name"] if part else name in (w["name"], w["description"])
            if named and (role is None or w["role"] == role) and w["showing"]:
                return w
        return None

    def wait_widget(self, name, role=None, part=False, timeout=20):
        return wait_until(lambda: self.widget(name, role, part), timeout=timeout,
                          interval=0.2, what=f"{role or 'a widget'} {name!r}")

    def click(self, w):
        x, y, width, height = w["extents"]
        self.s.click(x + width // 2, y + height // 2)

    def open_dialog(self):
        x, y = self.s.browser_origin()
        self.s.click(x + 200, y + 150, button=3)
        items = wait_until(lambda: self.s.menu_items().get("Library", {}).get("showing")
                           and self.s.menu_items(), what="the menu")
        self.click(items["Library"])
        items = wait_until(lambda: self.s.menu_items().get("Add books\u2026", {}).get("showing")
                           and self.s.menu_items(), what="the Library submenu")
        self.click(items["Add books\u2026"])
        self.wait_widget("AddBooksAdd")

    def add_file(self, path):
        self.click(self.wait_widget("AddBooksFromFile"))
        self.wait_widget("Open", "push button")
        self.s.xdotool("key", "ctrl+l")
        self.s.xdotool("type", path)
        wait_until(lambda: any(w["role"] == "text" and w.get("name") is not None
                               for w in self.s.widgets()), what="the typed path")
        self.click(self.wait_widget("Open", "push button"))
        self.wait_widget(os.path.basename(path) + " (a module .zip)", "check box")

    def test_add_cancel_refuse_and_show(self):
        self.open_dialog()
        bible = self.wait_widget("TestBible \u2014 ", "check box", part=True)
        self.assertFalse(bible["checked"], "nothing is ticked for the reader")
        self.assertFalse(self.widget("AddBooksAdd")["enabled"])
        # The keys: Space ticks the box under them, Enter adds.
        self.click(bible)
        self.click(bible)
        self.assertFalse(self.widget("TestBible \u2014 ", "check box", part=True)["checked"])
        self.s.xdotool("key", "space")
        wait_until(lambda: self.widget("TestBible \u2014 ", "check box", part=True)["checked"],
                   what="ticked by Space")
        self.s.xdotool("key", "Return")
        self.wait_widget("Added", "label")
        self.assertTrue(os.path.isdir(os.path.join(self.s.env["XDG_DATA_HOME"], "vellum",
                                                   "TestBible.htm")))
        # Shown from the dialog, and in the Library menu at once.
        self.click(self.wait_widget("Show TestBible", "push button"))
        wait_until(lambda: self.s.caption("SBtnINDEX") == "Index TestBible", timeout=20,
                   what="the library added on screen")

        # Listed again: it is there now. (Escape closes the window, as Close does.)
        self.click(self.wait_widget("AddBooksNote"))
        self.s.xdotool("key", "Escape")
        wait_until(lambda: not self.widget("AddBooksAdd"), what="the dialog closed")
        self.open_dialog()
        self.wait_widget("TestBible \u2014 ", "check box", part=True)
        self.assertIn("in your library",
                      self.widget("TestBible \u2014 ", "check box", part=True)["name"])

        # Removed again, after asking: another library takes its place on screen.
        self.click(self.wait_widget("Remove TestBible\u2026", "push button"))
        self.click(self.wait_widget("Remove", "push button"))
        self.wait_widget("Removed TestBible", "label")
        self.assertFalse(os.path.exists(os.path.join(self.s.env["XDG_DATA_HOME"], "vellum",
                                                     "TestBible.htm")))
        wait_until(lambda: self.s.caption("SBtnINDEX") != "Index TestBible",
                   what="another library on screen")
        self.assertFalse(self.widget("TestBible \u2014 ", "check box", part=True)["name"]
                         .endswith("in your library"))

        # A file that is no module: a plain reason, nothing written.
        bad = os.path.join(self.s.dir, "holiday.zip")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr("photo.jpg", b"\xff\xd8")
        self.add_file(bad)
        self.click(self.wait_widget("AddBooksAdd"))
        self.wait_widget("Cannot be read cleanly: not a SWORD module (no mods.d/*.conf in it)",
                         "label")

        if not os.path.isdir(DEBIAN_WEB):
            self.skipTest("Debian's sword-text-web is not installed: no import to cancel")
        web = self.wait_widget("engWEB2015eb \u2014 ", "check box", part=True)
        self.click(web)
        self.click(self.wait_widget("AddBooksAdd"))
        self.wait_widget("(book ", "progress bar", part=True, timeout=30)
        self.click(self.wait_widget("AddBooksClose"))
        self.wait_widget("Cancelled; nothing was written", "label", timeout=30)
        library = os.path.join(self.s.env["XDG_DATA_HOME"], "vellum")
        self.assertEqual([n for n in os.listdir(library) if n != "books.ini"], [],
                         "nothing half-written")


if __name__ == "__main__":
    unittest.main()
