"""A library that vellum-import wrote on Linux, read by the Windows viewer's own rules
under Wine: copied into a program folder, and into the user's %LOCALAPPDATA%\\Vellum.
vellum-inspect.exe reads a program folder exactly as the viewer starts; the viewer
itself then shows a host location of the library (Wine draws no page, but the
catalogue and the book names are the viewer's)."""
import os
import shutil
import sys
import tempfile

from wine_session import WineTestCase
from wine_viewer import BUILD, WineViewer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import COMMENTARY, Library, run_import  # noqa: E402

INSPECT = os.path.join(BUILD, "vellum-inspect.exe")


class ImportedLibraryOnWindows(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.made = tempfile.mkdtemp(prefix="vellum-wine-import-")
        library = Library(os.path.join(cls.made, "sword"))
        library.add("TestComm", COMMENTARY)
        cls.out = os.path.join(cls.made, "out")
        code, _, err = run_import(library.env(), "TestComm", "--to", cls.out)
        assert code == 0, err

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.made, ignore_errors=True)
        super().tearDownClass()

    def program_folder(self, with_library):
        folder = tempfile.mkdtemp(dir=self.w.dir, prefix="program-")
        shutil.copy(INSPECT, folder)
        if with_library:
            shutil.copytree(self.out, folder, dirs_exist_ok=True)
        return folder

    def inspect(self, folder):
        result = self.w.wine(os.path.join(folder, "vellum-inspect.exe"), timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.replace("\r\n", "\n")

    def assert_pages_found(self, report, data_folder):
        self.assertIn("Data folder:    " + data_folder, report)
        self.assertIn('Index button:   "Index TestComm"', report)
        for code, page in (("IDX", "index.htm"), ("GEN", "gen.htm"), ("PSA", "psa.htm")):
            self.assertIn(f"  {code} -> {data_folder}{page}\n", report)
        self.assertNotIn("[missing:", report)
        self.assertIn("  GEN=Gen\n", report)

    def test_copied_into_a_program_folder(self):
        folder = self.program_folder(with_library=True)
        report = self.inspect(folder)
        self.assertIn("[not used: no data folder in it]", report)
        windows_folder = self.w.run(["winepath", "-w", folder]).stdout.strip()
        self.assert_pages_found(report, windows_folder + "\\TestComm.htm\\")

    def test_in_the_users_local_application_data(self):
        local = self.w.run(["wine", "cmd", "/c", "echo", "%LOCALAPPDATA%"]).stdout.strip()
        library = os.path.join(self.w.run(["winepath", "-u", local]).stdout.strip(), "Vellum")
        shutil.copytree(self.out, library, dirs_exist_ok=True)
        self.addCleanup(shutil.rmtree, library, True)
        report = self.inspect(self.program_folder(with_library=False))
        self.assertIn(f"User library:   {local}\\Vellum\\  [used: it holds a data folder]",
                      report)
        self.assert_pages_found(report, f"{local}\\Vellum\\TestComm.htm\\")
        self.assertIn(f"Libraries (* the one shown):\n  * TestComm  ({local}\\Vellum\\"
                      "TestComm.htm, --library TestComm)\n", report)

    def test_the_viewer_follows_the_host_in_it(self):
        viewer = WineViewer(self.w)
        shutil.rmtree(os.path.join(viewer.folder, "web.htm"))
        shutil.copytree(self.out, viewer.folder, dirs_exist_ok=True)
        self.addCleanup(viewer.stop)
        viewer.start()
        viewer.wait_for_caption("SBtnINDEX", "Index TestComm")
        self.assertEqual(viewer.host("show", "PSA", "23", "1").returncode, 0)
        viewer.wait_for_caption("SpeedButton2", "Ps 23:1")
