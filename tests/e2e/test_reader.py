"""End-to-end tests of what a daily reader uses: choosing the library, and the page
that says what a library lacks."""
import os
import shutil
import subprocess

from session import BUILD, wait_until
from test_viewer import ViewerTest

PSALMS_PAGE = ("<html><body><h1>Psalms</h1><a name=\"CV119105\"></a>"
               "<p>Thy word is a lamp unto my feet.</p></body></html>")


class Libraries(ViewerTest):
    """The program folder's sample library ("Sample") and, in the user's library, one
    that has the Psalms alone ("Treasury")."""

    def add_treasury(self):
        folder = os.path.join(self.s.env["XDG_DATA_HOME"], "vellum", "Psalms.htm")
        os.makedirs(folder)
        with open(os.path.join(folder, "index.ini"), "w") as f:
            f.write("[INFO]\nShortName=Treasury\n[Bookfiles]\nIDX=index.htm\nPSA=psa.htm\n")
        with open(os.path.join(folder, "index.htm"), "w") as f:
            f.write("<html><body><a name=\"TOC\"></a>Treasury index</body></html>")
        with open(os.path.join(folder, "psa.htm"), "w") as f:
            f.write(PSALMS_PAGE)

    def text(self):
        return self.s.page("document.body.innerText")

    def test_the_users_library_is_shown_first_and_the_menu_switches_and_saves(self):
        self.add_treasury()
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.s.start_viewer(wait_for_start_page=False)
        self.s.wait_caption("Index Treasury", "SBtnINDEX", timeout=20)
        self.show("ALP", 1, 2)
        self.s.wait_caption("Alpha 1:2")
        wait_until(lambda: "Treasury has nothing on Alphabet." in self.text(),
                   what="the page that says what is missing")
        self.assertIn("Sample", self.text())
        before = os.listdir(self.s.dir)
        # The link switches: the same place, from the library that has it.
        self.s.click_page_element("a")
        self.s.wait_caption("Index Sample", "SBtnINDEX")
        wait_until(lambda: "/web.htm/alpha.htm" in self.s.page_url(),
                   what="Alphabet from the sample library")
        self.s.wait_anchor_at_top("CV001002")
        self.assertEqual(os.listdir(self.s.dir), before, "nothing was written")
        # And back from the menu, to the Treasury.
        items = self.open_menu_on_page()
        self.choose("Library", items)
        items = wait_until(lambda: self.s.menu_items().get("Treasury", {}).get("showing")
                           and self.s.menu_items(), what="the Library submenu")
        self.assertTrue(items["Sample"]["checked"])
        self.assertFalse(items["Treasury"]["checked"])
        self.choose("Treasury", items)
        self.s.wait_caption("Index Treasury", "SBtnINDEX")
        self.show("PSA", 119, 105)
        self.s.wait_caption(" 119:105")
        wait_until(lambda: "/Psalms.htm/psa.htm" in self.s.page_url(), what="the Psalms")
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("[Reader]\nLibrary=Psalms\nLibraryPlace=user\n", self.s.settings())
        # vellum-inspect reads the libraries as the viewer does, and marks the one shown.
        inspect = os.path.join(self.s.program, "vellum-inspect")
        shutil.copy2(os.path.join(BUILD, "vellum-inspect"), inspect)
        report = subprocess.run([inspect], env=self.s.env, capture_output=True, text=True,
                                timeout=30, check=True).stdout
        self.assertRegex(report, r"\n  \* Treasury  \(.*/vellum/Psalms\.htm, --library Psalms\)\n")
        self.assertRegex(report, r"\n    Sample  \(.*/program/web\.htm, --library web\)\n")
        # The saved choice stands at the next start; the command line's is for its run.
        self.s.start_viewer(wait_for_start_page=False, args=["--library", "sample"])
        self.s.wait_caption("Index Sample", "SBtnINDEX", timeout=20)
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("Library=Psalms\n", self.s.settings())

    def test_an_unknown_library_lists_those_found_and_exits_with_2(self):
        self.add_treasury()
        result = subprocess.run([self.s.viewer_path(), "--library", "Nothing"], env=self.s.env,
                                capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn('no library is called "Nothing"', result.stderr)
        self.assertIn("  Psalms  (Treasury, in ", result.stderr)
        self.assertIn("  web  (Sample, in ", result.stderr)
