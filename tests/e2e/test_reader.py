"""End-to-end tests of what a daily reader uses: choosing the library, the page that
says what a library lacks, dark pages, text size, find in page and the Index caption."""
import os
import re
import select
import shutil
import subprocess
import sys
import time
import unittest

from session import BUILD, Session, wait_until
from test_viewer import ViewerTest

def rgb_of(css):
    """(r, g, b) of a computed "rgb(...)" or "rgba(...)" colour."""
    return tuple(int(float(v)) for v in css.partition("(")[2].rstrip(")").split(",")[:3])


def contrast_ratio(a, b):
    """WCAG 2's contrast ratio of two sRGB colours."""
    def luminance(rgb):
        def channel(v):
            v /= 255
            return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
        r, g, b = (channel(v) for v in rgb)
        return 0.2126 * r + 0.7152 * g + 0.0722 * b
    high, low = sorted((luminance(a), luminance(b)), reverse=True)
    return (high + 0.05) / (low + 0.05)


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
        self.assertTrue(items["Sample (sample, to try Vellum out)"]["checked"])
        self.assertFalse(items["Treasury"]["checked"])
        self.choose("Treasury", items)
        self.s.wait_caption("Index Treasury", "SBtnINDEX")
        self.show("PSA", 119, 105)
        self.s.wait_caption("Ps 119:105")  # the library names no books: English
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
        # The window is placed on the display's own screen, and a guess says so.
        self.assertIn("on a 1024x768 screen (the display's)", report)
        alone = dict(self.s.env)
        alone.pop("DISPLAY")
        report = subprocess.run([inspect], env=alone, capture_output=True, text=True,
                                timeout=30, check=True).stdout
        self.assertIn("on a 1024x768 screen (assumed: no display answers)", report)
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


class ThemeMenu:
    def page_colours(self):
        return self.s.page("[document.documentElement.className, "
                           "getComputedStyle(document.documentElement).backgroundColor]")

    def choose_theme(self, name):
        self.choose("Theme")
        items = wait_until(lambda: self.s.menu_items().get(name, {}).get("showing")
                           and self.s.menu_items(), what="the Theme submenu")
        self.choose(name, items)


class ReadableMarks(ThemeMenu, ViewerTest):
    """Found words, the selection and links keep WCAG AA contrast on dark and light
    pages, as the engine draws them."""

    def contrast_in(self, rect):
        """The contrast ratio of a box of the page on screen: its commonest colour
        against the colour that stands out most from it (the text's)."""
        x, y = self.s.browser_origin()
        bar = self.s.control("FindBar")
        if bar["showing"]:  # the page starts below it
            y = bar["extents"][1] + bar["extents"][3] + 2
        # A little inside the box: the measure must not reach the page around it.
        left, top, width, height = (round(v) for v in rect)
        left, top, width, height = left + 2, top + 2, width - 4, height - 4
        crop = ["-crop", f"{width}x{height}+{x + left}+{y + top}"]
        if os.environ.get("VELLUM_KEEP_CROPS"):
            self.s.run(["import", "-window", "root", *crop, os.environ["VELLUM_KEEP_CROPS"]])
            self.s.run(["import", "-window", "root", os.environ["VELLUM_KEEP_CROPS"] + ".all.png"])
        out = self.s.run(["import", "-window", "root", *crop, "txt:-"])
        lines = out.splitlines()
        depth = int(lines[0].split(",")[2])  # "# ImageMagick pixel enumeration: W,H,MAX,srgb"
        pixels = []
        for line in lines[1:]:
            triple = line.partition("(")[2].partition(")")[0].split(",")[:3]
            pixels.append(tuple(round(float(v) * 255 / depth) for v in triple))
        background = max(set(pixels), key=pixels.count)
        return max(contrast_ratio(background, p) for p in pixels)

    def test_found_words_the_selection_and_links_stay_readable_in_both_themes(self):
        self.show("BET", 1, 1)
        self.s.wait_anchor_at_top("CV001001")
        x, y = self.s.browser_origin()
        for theme in ("Dark", "Light"):
            self.choose_theme(theme)
            wait_until(lambda: self.page_colours()[0] == f"vellum-{theme.lower()}", what=theme)
            self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
            self.s.xdotool("key", "ctrl+f")
            wait_until(lambda: self.s.control("FindBar")["showing"], what="the find bar")
            self.s.xdotool("key", "ctrl+a")
            self.s.xdotool("type", "the")
            # A match other than the one selected, as the engine draws it.
            rect = wait_until(lambda: self.s.page(
                "(function () { var h = CSS.highlights.get('vellum-find');"
                " if (!h || h.size < 3) return null; var r = [...h][2].getBoundingClientRect();"
                " return [r.left, r.top, r.width, r.height]; })()"), what="the marks")
            time.sleep(0.3)  # drawn
            self.assertGreaterEqual(self.contrast_in(rect), 4.5, f"a found word, {theme}")
            self.s.xdotool("key", "Escape")
            wait_until(lambda: not self.s.control("FindBar")["showing"], what="closed")
            wait_until(lambda: self.s.page("CSS.highlights.has('vellum-find')") is False,
                       what="the marks gone with the bar")
            # The reader's own selection, in a page that has the keyboard.
            rect = self.s.page(
                "(function () { var p = document.anchors[2].parentNode; var r = new Range();"
                " r.setStart(p.lastChild, 2); r.setEnd(p.lastChild, 12);"
                " getSelection().removeAllRanges(); getSelection().addRange(r);"
                " var b = r.getBoundingClientRect(); return [b.left, b.top, b.width, b.height];"
                " })()")
            time.sleep(0.3)
            self.assertGreaterEqual(self.contrast_in(rect), 4.5, f"the selection, {theme}")
            # Links, by the colours the engine computed for them: a book's page and
            # our own page for a book the library lacks.
            for code, book_page in (("BET", True), ("XYZ", False)):
                self.show(code, 1, 1)
                wait_until(lambda: ("/beta.htm" in self.s.page_url()) == book_page,
                           what=f"{code}'s page")
                wait_until(lambda: self.s.page("document.readyState") == "complete",
                           what=f"{code}'s page loaded")
                # A link of the page's own, or one added where it has none (our page
                # lists other libraries only where one has the book).
                colours = self.s.page(
                    "[getComputedStyle(document.querySelector('a[href]') || document.body"
                    ".appendChild(Object.assign(document.createElement('a'),"
                    " {href: '#', textContent: 'a link'}))).color,"
                    " getComputedStyle(document.documentElement).backgroundColor,"
                    " getComputedStyle(document.body).backgroundColor]")
                background = next((c for c in colours[1:]
                                   if not c.startswith("rgba(0, 0, 0, 0")), "rgb(255, 255, 255)")
                self.assertGreaterEqual(contrast_ratio(rgb_of(colours[0]), rgb_of(background)),
                                        4.5, f"links of {code}, {theme}: {colours}")
            self.show("BET", 1, 1)
            self.s.wait_anchor_at_top("CV001001")



class DarkPages(ThemeMenu, ViewerTest):
    """The desktop prefers dark (GTK's own setting); the menu overrides it."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        gtk = os.path.join(self.s.env["XDG_CONFIG_HOME"], "gtk-3.0")
        os.makedirs(gtk)
        with open(os.path.join(gtk, "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-application-prefer-dark-theme=1\n")
        self.s.start_viewer()

    def title_bar_is_dark(self):
        """The brightness of the title bar's own background, right of the Index button."""
        x, y, w, h = self.s.control("SBtnINDEX")["extents"]
        out = self.s.run(["import", "-window", "root", "-crop", f"1x1+{x + w + 12}+{y + 3}",
                          "txt:-"])
        # "0,0: (r,g,b)  #RRGGBB  srgb(...)", the first triple with 16-bit channels.
        pixel = out.splitlines()[-1].partition(":")[2]
        rgb = pixel[pixel.index("(") + 1:pixel.index(")")].split(",")[:3]
        return sum(int(float(v)) // 257 for v in rgb) / 3 < 80

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
        self.s.start_viewer(place=(" 1:1", "about:blank"))  # the last place, our own page
        wait_until(lambda: self.page_colours()[0] == "vellum-light", what="the saved Light")
        self.choose_theme("Follow system")
        wait_until(lambda: self.page_colours()[0] == "vellum-dark" and
                   self.s.page("getComputedStyle(document.body).backgroundColor")
                   == "rgb(28, 27, 25)", what="the desktop's dark again")
        self.assertTrue(self.title_bar_is_dark())


class DarkThemeNamed(DarkPages):
    """The desktop's theme is a dark variant, named through GTK_THEME; GTK's own
    prefer-dark stays off."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        self.s.env["GTK_THEME"] = "Adwaita:dark"
        self.s.start_viewer()

    def test_the_dark_theme_is_followed_and_light_makes_the_title_bar_light(self):
        wait_until(lambda: self.page_colours()[0] == "vellum-dark", what="a dark page")
        self.assertTrue(self.title_bar_is_dark())
        # The theme stays dark, the title bar takes its light colours all the same.
        self.choose_theme("Light")
        wait_until(lambda: self.page_colours()[0] == "vellum-light", what="a light page")
        wait_until(lambda: not self.title_bar_is_dark(), what="a light title bar")

    test_the_desktops_preference_is_followed_and_the_menu_overrides_it_and_is_saved = None


class DesktopPortal(DarkPages):
    """The desktop says dark through its settings portal alone, as GNOME and KDE do;
    GTK's own settings stay light."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_portal.py")
        self.portal = self.s._spawn([sys.executable, script, "1"], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.portal.stdout], [], [], 30)
        self.assertTrue(ready and self.portal.stdout.readline().strip() == "ready",
                        "the portal owns its name")
        self.s.start_viewer()

    def tell(self, scheme):
        self.portal.stdin.write(f"{scheme}\n")
        self.portal.stdin.flush()

    def test_the_portals_scheme_is_followed_as_it_changes_until_the_reader_chooses(self):
        wait_until(lambda: self.page_colours()[0] == "vellum-dark", what="a dark page")
        self.assertTrue(self.title_bar_is_dark())
        self.tell(0)  # no preference
        wait_until(lambda: self.page_colours()[0] == "vellum-light", what="light again")
        wait_until(lambda: not self.title_bar_is_dark(), what="a light title bar")
        self.tell(1)
        wait_until(lambda: self.page_colours()[0] == "vellum-dark", what="dark again")
        self.choose_theme("Light")
        wait_until(lambda: self.page_colours()[0] == "vellum-light", what="the reader's Light")
        self.choose_theme("Follow system")
        wait_until(lambda: self.page_colours()[0] == "vellum-dark", what="the portal's dark")

    test_the_desktops_preference_is_followed_and_the_menu_overrides_it_and_is_saved = None


class TextSize(ViewerTest):
    window_manager = True

    def width(self):
        return self.s.page("window.innerWidth")

    def test_keys_wheel_and_menu_size_every_page_keep_the_anchor_and_it_is_saved(self):
        self.show("ALP", 1, 5)
        self.s.wait_caption("Alpha 1:5")
        self.s.wait_anchor_at_top("CV001005")
        normal = self.width()
        x, y = self.s.browser_origin()
        self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
        self.s.xdotool("key", "ctrl+plus")
        wait_until(lambda: self.width() == round(normal / 1.1), what="110 %")
        self.s.wait_anchor_at_top("CV001005")
        self.s.xdotool("key", "ctrl+minus", "ctrl+minus")
        wait_until(lambda: self.width() == round(normal / 0.9), what="90 %")
        self.s.xdotool("keydown", "ctrl", "click", "4", "keyup", "ctrl")  # the wheel, up
        wait_until(lambda: self.width() == normal, what="100 % again")
        self.choose("Larger text")
        wait_until(lambda: self.width() == round(normal / 1.1), what="110 % from the menu")
        # Every page, the next one too.
        self.show("BET", 1, 2)
        self.s.wait_caption("Beta 1:2")
        self.assertEqual(self.width(), round(normal / 1.1))
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("[Reader]\nTextSize=110\n", self.s.settings())
        self.s.start_viewer(place=("Beta 1:2", "/web.htm/beta.htm#CV001002"))
        wait_until(lambda: self.width() == round(normal / 1.1), what="110 % after a restart")
        self.s.xdotool("key", "ctrl+0")
        wait_until(lambda: self.width() == normal, what="the normal size")


class FindInPage(ViewerTest):
    def selection_top(self):
        return self.s.page("(() => { const s = window.getSelection(); return s.rangeCount ? "
                           "Math.round(s.getRangeAt(0).getBoundingClientRect().top + "
                           "window.scrollY) : null; })()")

    def test_ctrl_f_counts_steps_both_ways_and_esc_gives_the_page_back(self):
        self.show("ALP", 1, 1)
        self.s.wait_caption("Alpha 1:1")
        x, y = self.s.browser_origin()
        self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
        self.assertFalse(self.s.control("FindBar")["showing"])
        self.s.xdotool("key", "ctrl+f")
        wait_until(lambda: self.s.control("FindBar")["showing"], what="the find bar")
        self.s.xdotool("type", "copyist")
        status = wait_until(lambda: re.fullmatch(r"\d+ of \d+", self.status()) and self.status(),
                            what="the count")
        self.assertGreater(int(status.split()[2]), 2)
        first = wait_until(self.selection_top, what="the first match selected")
        self.assertEqual(self.s.page("window.getSelection().toString().toLowerCase()"), "copyist")
        self.s.xdotool("key", "Return")
        second = wait_until(lambda: self.selection_top() != first and self.selection_top(),
                            what="the next match")
        self.assertGreater(second, first)
        self.s.xdotool("key", "F3")
        third = wait_until(lambda: self.selection_top() != second and self.selection_top(),
                           what="the next one again")
        self.s.xdotool("key", "shift+F3")
        wait_until(lambda: self.selection_top() == second, what="the previous match")
        self.assertNotEqual(third, second)
        # Another page under the open bar: counted again, and the place asked for is kept.
        self.show("BET", 1, 2)
        self.s.wait_caption("Beta 1:2")
        wait_until(lambda: self.s.control("FindStatus")["name"] == "not found",
                   what="the new page counted")
        self.s.wait_anchor_at_top("CV001002")
        self.show("ALP", 1, 1)
        wait_until(lambda: self.status() == status.split()[2] + " matches", what="counted again")
        # Emptied, the field has no count, and no late reply brings one back.
        self.s.xdotool("key", "ctrl+a", "BackSpace")
        wait_until(lambda: self.s.control("FindStatus")["name"] == "", what="no count")
        self.s.page("document.title")
        self.assertEqual(self.s.control("FindStatus")["name"], "")
        self.s.xdotool("type", "zzq")
        wait_until(lambda: self.s.control("FindStatus")["name"] == "not found", what="not found")
        self.s.xdotool("key", "Escape")
        wait_until(lambda: not self.s.control("FindBar")["showing"], what="the bar to close")
        wait_until(lambda: self.s.page("document.hasFocus()"), what="the page to have the keys")


    def status(self):
        return self.s.control("FindStatus")["name"]

    def position(self):
        match = re.fullmatch(r"(\d+) of (\d+)", self.status())
        return (int(match[1]), int(match[2])) if match else None

    def test_the_bar_says_which_match_and_gives_the_readers_place_back(self):
        self.show("BET", 3, 1)
        self.s.wait_anchor_at_top("CV003001")
        extents = []
        x, y = self.s.browser_origin()
        for narrow in (False, True, True):  # reopened, narrow too: the count is never cut
            self.s.xdotool("mousemove", "--sync", str(x + 100), str(y + 100))  # the keys' way in
            self.s.xdotool("key", "ctrl+f")
            wait_until(lambda: self.s.control("FindBar")["showing"], what="the find bar")
            extents.append(self.s.control("FindStatus")["extents"])
            if narrow:
                self.assertEqual(self.s.geometry()[2], 300, "the bar fits without widening")
            self.s.xdotool("key", "Escape")
            wait_until(lambda: not self.s.control("FindBar")["showing"], what="closed")
            self.s.xdotool("windowsize", self.s.viewer_window(), "300", "300")
        self.assertEqual({tuple(e[2:]) for e in extents}, {tuple(extents[0][2:])})
        place = self.s.page("window.scrollY")  # the reader's, in the narrow window
        self.assertGreater(place, 0)
        self.s.xdotool("key", "ctrl+f")
        wait_until(lambda: self.s.control("FindBar")["showing"], what="the find bar")
        self.s.xdotool("type", "garden")
        first, total = wait_until(self.position, what="where the match stands")
        self.assertGreater(total, 2)
        # The narrow window's layout may still be settling on a busy machine.
        def laid_out():
            status = self.s.control("FindStatus")["extents"]
            close = self.s.control("FindClose")["extents"]
            return (status, close) if status[0] + status[2] <= close[0] else None
        status, close = wait_until(laid_out, what="the status beside the close button, "
                                   "not under it")
        self.assertGreaterEqual(status[2], extents[0][2], "as wide as before")
        for key, step in (("Return", 1), ("F3", 1), ("shift+F3", -1), ("shift+Return", -1)):
            expected = (first - 1 + step) % total + 1
            self.s.xdotool("key", key)
            wait_until(lambda: self.position() == (expected, total), what=f"{key}: {expected}")
            first = expected
        self.assertNotEqual(self.s.page("window.scrollY"), place, "the match was shown")
        # A search that ends without a match gives the reader's place back; so does Esc.
        self.s.xdotool("type", "zq")
        wait_until(lambda: self.status() == "not found", what="not found")
        wait_until(lambda: self.s.page("window.scrollY") == place, what="the place back")
        self.s.xdotool("key", "ctrl+a")
        self.s.xdotool("type", "other's")  # a quote in the page's question
        wait_until(lambda: self.position() == (1, 1), what="1 of 1")
        self.s.xdotool("key", "ctrl+a")
        self.s.xdotool("type", "garden")
        wait_until(self.position, what="found again")
        self.s.xdotool("key", "Return")
        wait_until(lambda: self.s.page("window.scrollY") != place, what="moved by the find")
        self.s.xdotool("key", "Escape")
        wait_until(lambda: self.s.page("window.scrollY") == place, what="the place back at Esc")
        self.assertEqual(self.s.caption(), "Beta 3:1")


class IndexCaption(unittest.TestCase):
    """The Index button shows "Index" and the library's ShortName whole, in the title
    bar's free width; beyond it, the caption ends in an ellipsis."""

    def index_beside_back(self, short_name):
        s = Session(start=False)
        self.addCleanup(s.close)
        index = os.path.join(s.program, "web.htm", "index.ini")
        with open(index, newline="") as f:
            text = f.read()
        with open(index, "w", newline="") as f:
            f.write(text.replace("ShortName=Sample", f"ShortName={short_name}"))
        s.start_viewer()
        wait_until(lambda: s.control("SBtnINDEX")["name"] == f"Index {short_name}",
                   what="the caption")
        back = s.control("SBtnBACK")["extents"]
        return wait_until(lambda: s.control("SBtnINDEX")["extents"], what="the button"), back

    def test_the_button_grows_with_its_caption_up_to_the_free_width(self):
        ends = {}
        for name in ("Sample", "Sixteen letters!", "A library whose short name is far too long"):
            index, back = self.index_beside_back(name)
            ends[name] = (index[2], back[0] - 4 - (index[0] + index[2]))
        (short, _), (sixteen, room), (_, none_left) = ends.values()
        self.assertGreater(short, 40, "more than the design width: the caption is whole")
        self.assertGreater(sixteen, short)
        self.assertGreater(room, 0, "sixteen letters fit with room to spare")
        self.assertEqual(none_left, 0, "a longer one is cut at the free width, to Back less a gap")


class PageProcessLost(ViewerTest):
    def log(self):
        with open(self.s.viewer_log, errors="replace") as f:
            return f.read()

    def web_process(self):
        out = subprocess.run(["pgrep", "-P", str(self.s.viewer.pid), "WebKitWebProc"],
                             capture_output=True, text=True).stdout.split()
        return int(out[0]) if out else None

    def test_the_place_comes_back_when_the_page_process_ends(self):
        self.show("ALP", 1, 5)
        self.s.wait_caption("Alpha 1:5")
        self.s.wait_anchor_at_top("CV001005")
        width = self.s.page("window.innerWidth")
        lost = wait_until(self.web_process, what="the page's process")
        os.kill(lost, 9)
        wait_until(lambda: "the page's process ended (it crashed)" in self.log(),
                   what="the loss reported")
        wait_until(lambda: self.web_process() not in (None, lost), what="a new page process")
        self.s.wait_anchor_at_top("CV001005")
        self.assertTrue(self.s.page_url().endswith("alpha.htm#CV001005")
                        or self.s.page_url().endswith("alpha.htm"), self.s.page_url())
        self.assertEqual(self.s.page("window.innerWidth"), width)
        self.assertEqual(self.s.caption(), "Alpha 1:5")
