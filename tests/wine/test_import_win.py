"""vellum-import.exe under Wine: the modules where Windows programs keep them, a library
written as the Linux import writes it, the viewer showing it, and module .zip files
read or refused. The modules are made here (osis2mod, imp2vs), as the Linux import
tests make theirs."""
import filecmp
import os
import shutil
import sys
import tempfile
import zipfile

from wine_session import WineTestCase
from wine_viewer import BUILD, WineViewer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import BIBLE, COMMENTARY, Library, run_import  # noqa: E402

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
