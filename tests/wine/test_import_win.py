"""vellum-import.exe under Wine: the modules where Windows programs keep them, a library
written as the Linux import writes it, the viewer showing it, and module .zip files
read or refused. The modules are made here (osis2mod, imp2vs), as the Linux import
tests make theirs."""
import filecmp
import json
import os
import shutil
import sys
import tempfile
import time
import zipfile

from wine_session import WineTestCase
from wine_viewer import BUILD, WineViewer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import BIBLE, COMMENTARY, Library, run_import  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "biblesync"))
from sync_peers import wait_until  # noqa: E402

IMPORT = os.path.join(BUILD, "vellum-import.exe")


def module_tree(folder, name, add):
    """A module tree holding module name alone, made by add(library)."""
    library = Library(os.path.join(folder, name))
    add(library)
    shutil.rmtree(library.home)
    return library


def same_tree(left, right):
    """The relative paths of files that differ or are missing on either side."""
    found = []
    compared = filecmp.dircmp(left, right)
    found += compared.left_only + compared.right_only + compared.diff_files
    for sub in compared.common_dirs:
        found += [os.path.join(sub, f) for f in same_tree(os.path.join(left, sub),
                                                          os.path.join(right, sub))]
    return found


class ImportOnWindows(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.made = tempfile.mkdtemp(prefix="vellum-wine-import-")
        cls.comm = module_tree(cls.made, "comm", lambda l: l.add("TestComm", COMMENTARY))
        cls.bible = module_tree(cls.made, "bible", lambda l: l.add(
            "TestBible", BIBLE, kind="Bible", compressed=True))
        cls.thml = module_tree(cls.made, "thml", lambda l: l.add_imp(
            "TestThml", [("Psalms 23:1", "The <i>shepherd</i> psalm.")], "ThML"))
        # What the Linux import writes of the same module, to compare with.
        cls.linux = os.path.join(cls.made, "linux")
        code, _, err = run_import(cls.comm.env(), "TestComm", "--to", cls.linux)
        assert code == 0, err

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.made, ignore_errors=True)
        super().tearDownClass()

    def windows_folder(self, variable, below=""):
        """The Linux path of a folder named by a Windows environment variable."""
        value = self.w.run(["wine", "cmd", "/c", "echo", f"%{variable}%"]).stdout.strip()
        return os.path.join(self.w.run(["winepath", "-u", value]).stdout.strip(), below)

    def place(self, library, folder):
        os.makedirs(folder, exist_ok=True)
        for part in ("mods.d", "modules"):
            shutil.copytree(os.path.join(library.folder, part), os.path.join(folder, part),
                            dirs_exist_ok=True)
        self.addCleanup(shutil.rmtree, folder, True)

    def run_import(self, *args, sword_path=None):
        env = {"SWORD_PATH": self.w.run(["winepath", "-w", sword_path]).stdout.strip()} \
            if sword_path else {}
        return self.w.run(["wine", IMPORT, *args], timeout=300, env=env)

    def listed(self, **where):
        result = self.run_import("--list", "--machine", **where)
        self.assertEqual(result.returncode, 0, result.stderr)
        return {line.split("\t")[0]: line.split("\t") for line in result.stdout.splitlines()}

    def test_modules_where_windows_programs_keep_them_are_imported_as_on_linux(self):
        self.place(self.comm, self.windows_folder("APPDATA", "Sword"))
        self.place(self.bible, self.windows_folder("ALLUSERSPROFILE", "Application Data/Sword"))
        listed = self.listed(sword_path=self.thml.folder)
        for name, kind in (("TestComm", "Commentary"), ("TestBible", "Bible"),
                           ("TestThml", "Bible")):
            self.assertIn(name, listed, f"{name} from its place")
            self.assertEqual(listed[name][1:3], [kind, "en"], name)
            self.assertEqual(listed[name][4], "new", name)

        result = self.run_import("TestComm")  # into the user's library folder
        self.assertEqual(result.returncode, 0, result.stderr)
        library = self.windows_folder("LOCALAPPDATA", "Vellum")
        self.addCleanup(shutil.rmtree, library, True)
        self.assertEqual(same_tree(os.path.join(self.linux, "TestComm.htm"),
                                   os.path.join(library, "TestComm.htm")), [],
                         "the pages the Linux import writes, byte for byte")
        self.assertEqual(self.listed()["TestComm"][4], "imported")
        again = self.run_import("TestComm")
        self.assertEqual(again.returncode, 6, again.stderr)  # there already: not replaced
        self.assertIn("--force", again.stderr)

        viewer = WineViewer(self.w)
        shutil.rmtree(os.path.join(viewer.folder, "web.htm"))
        self.addCleanup(viewer.stop)
        viewer.start()
        viewer.wait_for_caption("SBtnINDEX", "Index TestComm")
        self.assertEqual(viewer.host("show", "GEN", "1", "2").returncode, 0)
        viewer.wait_for_caption("SpeedButton2", "Gen 1:2")

    def test_a_module_zip_is_read_and_a_damaged_one_refused(self):
        members = {}
        for root, _, files in os.walk(self.bible.folder):
            for f in files:
                full = os.path.join(root, f)
                with open(full, "rb") as data:
                    members[os.path.relpath(full, self.bible.folder)] = data.read()
        whole = os.path.join(self.w.dir, "TestBible.zip")
        with zipfile.ZipFile(whole, "w", zipfile.ZIP_DEFLATED) as z:
            for member, data in members.items():
                z.writestr(member, data)
        with open(whole, "rb") as f:
            data = f.read()
        cut = os.path.join(self.w.dir, "cut.zip")
        with open(cut, "wb") as f:
            f.write(data[:len(data) // 2])
        out = os.path.join(self.w.dir, "zipped")
        to = self.w.run(["winepath", "-w", out]).stdout.strip()

        result = self.run_import(self.w.run(["winepath", "-w", cut]).stdout.strip(), "--to", to)
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertIn("cannot be read cleanly: not a zip file", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(out, "TestBible.htm")))

        result = self.run_import(self.w.run(["winepath", "-w", whole]).stdout.strip(), "--to", to)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(out, "TestBible.htm", "psa.htm"), encoding="utf-8") as f:
            self.assertIn("Hear me when I call.", f.read())
        temp = self.windows_folder("TEMP")
        self.assertEqual([n for n in os.listdir(temp) if n.startswith("vellum-import")], [],
                         "the unpacked zip is gone")


class AddBooksDialog(WineTestCase):
    """Library > Add books… in the Windows viewer, driven by its keys: the modules
    listed by the vellum-import.exe beside it, one added with its outcome and shown,
    one cancelled, one removed, and a .zip from a file refused."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.made = tempfile.mkdtemp(prefix="vellum-wine-dialog-")
        cls.comm = module_tree(cls.made, "comm", lambda l: l.add("TestComm", COMMENTARY))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.made, ignore_errors=True)
        super().tearDownClass()

    def dialog(self):
        result = self.w.wine(os.path.join(BUILD, "tests", "vellum-probe.exe"), "dialog",
                             "Add books", timeout=30)
        return json.loads(result.stdout) if result.returncode == 0 else {}

    def wait_dialog(self, condition, what, timeout=120):
        """The dialog once condition holds of it."""
        deadline = time.monotonic() + timeout
        seen = {}
        while time.monotonic() < deadline:
            seen = self.dialog()
            if seen and condition(seen):
                return seen
            time.sleep(0.2)
        raise AssertionError(f"timed out waiting for {what}: {json.dumps(seen)[:3000]}")

    @staticmethod
    def control(dialog, text=None, kind=None):
        for c in dialog["controls"]:
            if (text is None or c["text"] == text) and (kind is None or c["class"] == kind):
                return c
        raise AssertionError(f"no control {text!r} {kind!r}: {dialog}")

    @staticmethod
    def says(dialog, text):
        return any(c["text"] == text for c in dialog["controls"])

    @staticmethod
    def modules(dialog):
        return dialog["controls"][1]["items"]  # the first list: the modules

    @staticmethod
    def libraries(dialog):
        return [c for c in dialog["controls"] if c["class"] == "ListBox"][1]["items"]

    def test_added_shown_cancelled_and_removed_with_the_keys(self):
        appdata = os.path.join(self.w.run(["winepath", "-u", self.w.run(
            ["wine", "cmd", "/c", "echo", "%APPDATA%"]).stdout.strip()]).stdout.strip(), "Sword")
        for part in ("mods.d", "modules"):
            shutil.copytree(os.path.join(self.comm.folder, part), os.path.join(appdata, part),
                            dirs_exist_ok=True)
        viewer = WineViewer(self.w)
        shutil.copy(IMPORT, viewer.folder)
        self.addCleanup(viewer.stop)
        # Debian's modules as well, through SWORD_PATH: a Bible big enough to cancel.
        viewer.start(env={"SWORD_PATH": "Z:\\usr\\share\\sword"})
        viewer.choose_in_submenu("Library", 1)  # the sample library, then Add books…
        listed = self.wait_dialog(lambda d: d["visible"] and len(self.modules(d)) > 1,
                                  "the modules listed")
        names = [item["text"].split(" ")[0] for item in self.modules(listed)]
        self.assertIn("TestComm", names)
        self.assertIn("engWEB2015eb", names)
        self.assertEqual(self.libraries(listed), [])
        viewer.xdotool("key", "Return")  # nothing ticked yet
        self.wait_dialog(lambda d: self.says(d, "Tick the books to add first (Space or a "
                                                "click)."), "the word to tick first")

        # The list has the keys: Down to a module, Space ticks it, Enter adds it.
        viewer.xdotool("key", *["Down"] * names.index("TestComm"), "space")
        self.wait_dialog(lambda d: self.modules(d)[names.index("TestComm")]["selected"],
                         "TestComm ticked")
        viewer.xdotool("key", "Return")
        added = self.wait_dialog(
            lambda d: self.modules(d)[names.index("TestComm")]["text"].endswith("\u2014 Added"),
            "TestComm added")
        self.assertEqual([i["text"] for i in self.libraries(added)], ["TestComm"])
        viewer.xdotool("key", "alt+s")  # Show
        viewer.wait_for_caption("SBtnINDEX", "Index TestComm")

        # A Bible started, then cancelled with Escape: nothing is written.
        web = names.index("engWEB2015eb")
        viewer.xdotool("key", "shift+Tab", "shift+Tab", "shift+Tab")  # back to the list
        self.wait_dialog(lambda d: d["focus_id"] == self.control(d, kind="ListBox")["id"],
                         "the list with the keys")
        viewer.xdotool("key", "Home", *["Down"] * web, "space", "Return")
        self.wait_dialog(lambda d: self.says(d, "&Cancel"), "the import at work")
        self.wait_dialog(lambda d: "(book " in d["controls"][3]["text"], "its progress")
        viewer.xdotool("key", "Escape")
        cancelled = self.wait_dialog(
            lambda d: self.modules(d)[web]["text"].endswith("Cancelled; nothing was written"),
            "the import cancelled")
        self.assertEqual([i["text"] for i in self.libraries(cancelled)], ["TestComm"])
        local = self.w.run(["winepath", "-u", self.w.run(
            ["wine", "cmd", "/c", "echo", "%LOCALAPPDATA%"]).stdout.strip()]).stdout.strip()
        self.assertEqual(sorted(os.listdir(os.path.join(local, "Vellum"))), ["TestComm.htm"])

        # Escape again closes; the menu opens it anew, listing TestComm as added.
        viewer.xdotool("key", "Escape")
        self.wait_dialog(lambda d: not d["visible"], "closed")
        viewer.choose_in_submenu("Library", 2)  # Sample, TestComm, then Add books…
        again = self.wait_dialog(lambda d: d["visible"] and len(self.modules(d)) > 1,
                                 "listed again")
        self.assertTrue(any(i["text"].startswith("TestComm ") and "in your library" in i["text"]
                            for i in self.modules(again)))

        # Removed, after asking: the viewer shows another library first.
        left, top = [c for c in again["controls"] if c["class"] == "ListBox"][1]["rect"][:2]
        viewer.click(left + 20, top + 6)  # the first of the reader's libraries
        viewer.xdotool("key", "alt+r")
        wait_until(lambda: self.w.run(["xdotool", "search", "--name", "Remove a library"])
                   .returncode == 0, timeout=30, what="the question")
        viewer.xdotool("key", "y")
        removed = self.wait_dialog(lambda d: self.says(d, "Removed TestComm"), "removed")
        self.assertEqual(self.libraries(removed), [])
        viewer.wait_for_caption("SBtnINDEX", "Index Sample")

        # From a file…: a .zip that is no module gets its line, and nothing is added.
        notes = os.path.join(self.w.dir, "notes.zip")
        with zipfile.ZipFile(notes, "w") as z:
            z.writestr("notes.txt", "not a module")
        viewer.xdotool("key", "alt+f")
        wait_until(lambda: self.w.run(["xdotool", "search", "--name",
                                       "Add books from a module .zip"]).returncode == 0,
                   timeout=30, what="the file dialog")
        viewer.xdotool("type", self.w.run(["winepath", "-w", notes]).stdout.strip())
        viewer.xdotool("key", "Return")
        chosen = self.wait_dialog(lambda d: self.modules(d)[-1]["text"].startswith("notes.zip"),
                                  "the file listed")
        self.assertTrue(self.modules(chosen)[-1]["selected"], "ticked")
        viewer.xdotool("key", "Return")
        refused = self.wait_dialog(lambda d: "Cannot be read cleanly" in
                                   self.modules(d)[-1]["text"], "the refusal")
        self.assertIn("not a SWORD module", self.modules(refused)[-1]["text"])
        self.assertEqual(self.libraries(refused), [])
