"""End-to-end tests of what a daily reader uses: choosing the library, and the page
that says what a library lacks."""
import os
import shutil
import subprocess

from session import BUILD, Session, wait_until
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


class DarkPages(ViewerTest):
    """The desktop prefers dark (GTK's own setting); the menu overrides it."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        gtk = os.path.join(self.s.env["XDG_CONFIG_HOME"], "gtk-3.0")
        os.makedirs(gtk)
        with open(os.path.join(gtk, "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-application-prefer-dark-theme=1\n")
        self.s.start_viewer()

    def page_colours(self):
        return self.s.page("[document.documentElement.className, "
                           "getComputedStyle(document.documentElement).backgroundColor]")

    def title_bar_is_dark(self):
        """The brightness of the title bar's own background, right of the Index button."""
        x, y, w, h = self.s.control("SBtnINDEX")["extents"]
        out = self.s.run(["import", "-window", "root", "-crop", f"1x1+{x + w + 12}+{y + 3}",
                          "txt:-"])
        # "0,0: (r,g,b)  #RRGGBB  srgb(...)", the first triple with 16-bit channels.
        pixel = out.splitlines()[-1].partition(":")[2]
        rgb = pixel[pixel.index("(") + 1:pixel.index(")")].split(",")[:3]
        return sum(int(float(v)) // 257 for v in rgb) / 3 < 80

    def choose_theme(self, name):
        self.choose("Theme")
        items = wait_until(lambda: self.s.menu_items().get(name, {}).get("showing")
                           and self.s.menu_items(), what="the Theme submenu")
        self.choose(name, items)

    def test_the_desktops_preference_is_followed_and_the_menu_overrides_it_and_is_saved(self):
        dark = ["vellum-dark", "rgb(28, 27, 25)"]
        wait_until(lambda: self.page_colours() == dark, what="a dark start page")
        self.assertTrue(self.title_bar_is_dark())
        self.choose_theme("Light")
        wait_until(lambda: self.page_colours() == ["vellum-light", "rgba(0, 0, 0, 0)"],
                   what="a light page")
        wait_until(lambda: not self.title_bar_is_dark(), what="a light title bar")
        # Every page after, ours too: a book the library lacks.
        self.show("XYZ", 1, 1)
        wait_until(lambda: "Sample has nothing on XYZ." in self.s.page("document.body.innerText"),
                   what="our own page")
        self.assertEqual(self.s.page("getComputedStyle(document.body).backgroundColor"),
                         "rgb(255, 255, 255)")
        self.choose_theme("Dark")
        wait_until(lambda: self.s.page("getComputedStyle(document.body).backgroundColor")
                   == "rgb(28, 27, 25)", what="our own page dark")
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("[Reader]\nTheme=dark\n", self.s.settings())
        # Saved, it stands; "Follow system" gives the desktop's choice back.
        text = self.s.settings().replace("Theme=dark", "Theme=light")
        with open(self.s.settings_path(), "w") as f:
            f.write(text)
        self.s.start_viewer()
        wait_until(lambda: self.page_colours()[0] == "vellum-light", what="the saved Light")
        self.choose_theme("Follow system")
        wait_until(lambda: self.page_colours() == dark, what="the desktop's dark again")
        self.assertTrue(self.title_bar_is_dark())
