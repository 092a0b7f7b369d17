"""End to end: a library written by vellum-import into the user's library folder is
what the viewer opens; a host location scrolls its page, and a cross-reference click
sends the link's CODEc:v to the host."""
import os
import sys
import unittest

from session import Session, wait_until

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import BIBLE, COMMENTARY, Library, run_import  # noqa: E402


# Enough chapters after the fixture's own that any entry can be scrolled to the
# top, each a block the browser skips until it is needed.
LATER_CHAPTERS = "".join(
    f'<chapter osisID="Gen.{c}"><verse osisID="Gen.{c}.1">'
    + f"Chapter {c} at length. " * 200 + "</verse></chapter>\n" for c in range(3, 41))


class ImportedLibrary(unittest.TestCase):
    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        library = Library(os.path.join(self.s.dir, "sword"))
        end_of_genesis = '</div>\n<div type="book" osisID="Ps">'
        library.add("TestComm", COMMENTARY.replace(end_of_genesis,
                                                   LATER_CHAPTERS + end_of_genesis))
        code, _, err = run_import(library.env(XDG_DATA_HOME=self.s.env["XDG_DATA_HOME"]),
                                  "TestComm")
        self.assertEqual(code, 0, err)
        self.s.start_viewer(wait_for_start_page=False)
        # The program folder still has its sample library: the user's comes first.
        wait_until(lambda: self.s.caption("SBtnINDEX") == "Index TestComm", timeout=20,
                   interval=0.2, what="the imported catalogue")
        wait_until(lambda: self.s.page_url().endswith("/vellum/TestComm.htm/index.htm"),
                   timeout=20, interval=0.2, what="the imported index page")

    def test_host_location_and_cross_reference_click(self):
        server = self.s.serve("--answer", "--geometry", "300x300+720+100")
        self.s.host("show", "GEN", "1", "2", check=True)
        self.s.wait_caption("Gen 1:2")  # the name from the library's own books.ini
        self.assertTrue(self.s.page_url().endswith("/TestComm.htm/gen.htm#CV001002"))
        self.s.wait_anchor_at_top("CV001002")
        self.s.click_page_element('a[href$="BCVISA40:1"]')
        wait_until(lambda: server.requests() == ["ISA40:1"], what="the request")
        self.assertTrue(self.s.page_url().endswith("/TestComm.htm/gen.htm#CV001002"))
        wait_until(lambda: self.s.control("SpeedButton1")["showing"], what="the pending jump")

    def test_a_late_entry_in_a_block_not_yet_laid_out(self):
        self.s.host("show", "GEN", "30", "1", check=True)
        self.s.wait_caption("Gen 30:1")
        self.s.wait_anchor_at_top("CV030001")

    def test_index_page_links_ask_the_host(self):
        server = self.s.serve("--answer", "--geometry", "300x300+720+100")
        self.s.click_page_element('a[href$="BCVPSA23:1"]')
        wait_until(lambda: server.requests() == ["PSA23:1"], what="the request")


def debian_session(test, module, shortname):
    """A session whose user imported a module from Debian's packages, its viewer
    started on it."""
    s = Session(start=False)
    test.addCleanup(s.close)
    env = dict(os.environ, XDG_DATA_HOME=s.env["XDG_DATA_HOME"], HOME=s.dir)
    env.pop("SWORD_PATH", None)
    code, _, err = run_import(env, module)
    test.assertEqual(code, 0, err)
    s.env["VELLUM_TRACE"] = "1"
    s.start_viewer(wait_for_start_page=False)
    wait_until(lambda: s.caption("SBtnINDEX") == f"Index {shortname}", timeout=20, interval=0.2,
               what="the imported catalogue")
    return s


@unittest.skipUnless(os.path.exists("/usr/share/sword/mods.d/tdavid.conf"),
                     "sword-comm-tdavid is not installed (tools/install-deps.sh installs it)")
class TreasuryOfDavid(unittest.TestCase):
    """Debian's Treasury of David keeps each psalm as one entry; a verse opens at its
    own exposition inside it, a psalm's verse 0 at its top, and its 12.8 MB page shows
    that it loads."""

    def test_psalm_119_105_opens_at_its_exposition_and_a_psalms_top_at_verse_0(self):
        s = debian_session(self, "TDavid", "TDavid")
        with open(s.viewer_log) as log:
            before = len(log.readlines())  # the start page may have taken its time too
        s.host("show", "PSA", "119", "105", check=True)
        wait_until(lambda: s.caption() == "Ps 119:105", timeout=30, what="the caption")
        s.wait_anchor_at_top("CV119105", timeout=60)
        text = s.page("document.getElementsByName('CV119105')[0].nextSibling.textContent")
        self.assertEqual(text, "Ver. 105.")
        # The big page took its time, and said so while it did.
        with open(s.viewer_log) as log:
            said = [line.strip() for line in log.readlines()[before:]
                    if line.startswith("vellum: loading ")]
        self.assertEqual(said, ["vellum: loading shown", "vellum: loading ended"])
        self.assertFalse(s.control("Loading")["showing"])
        # A psalm's verse 0: its own top, not the end of the psalm before.
        s.host("show", "PSA", "23", "0", check=True)
        s.wait_caption("Ps 23:0")
        s.wait_anchor_at_top("CV023000", timeout=60)  # the big page, on a busy machine
        self.assertTrue(s.page("document.getElementsByName('CV023000')[0].parentNode"
                               ".textContent.startsWith('23:1')"))


SPANISH = "/usr/share/sword/mods.d/spaRV1909eb.conf"


@unittest.skipUnless(os.path.exists(SPANISH),
                     "sword-text-sparv is not installed (tools/install-deps.sh installs it)")
class ReinaValera(unittest.TestCase):
    """Debian's Spanish Bible of 1909: Spanish names on the Index page, the captions and
    the headings, clean text, and the Go to field reading Spanish names."""

    def test_names_headings_text_and_go_to_in_spanish(self):
        s = debian_session(self, "spaRV1909eb", "RV1909")
        wait_until(lambda: "Génesis" in s.page("document.body.innerText"),
                   what="the Index page in Spanish")
        s.host("show", "JHN", "3", "16", check=True)
        s.wait_caption("Juan 3:16")
        self.verse_at_top(s, "CV003016")
        chapter = s.page("document.getElementsByName('CV003000')[0].parentNode.textContent")
        self.assertEqual(chapter, "Capítulo 3")
        text = s.page("document.body.innerText")
        self.assertIn("Porque de tal manera amó Dios al mundo", text)
        self.assertNotRegex(text, r"[<‹]\s*[GH]?\d+\s*[>›]")
        x, y = s.browser_origin()
        s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
        s.xdotool("key", "ctrl+l")
        wait_until(lambda: s.control("GoToText")["showing"], what="the Go to bar")
        s.xdotool("type", "--delay", "30", "Salmos 119:105")
        wait_until(lambda: s.control("GoToText")["text"] == "Salmos 119:105", what="typed")
        s.xdotool("key", "Return")
        s.wait_caption("Sal 119:105")
        self.verse_at_top(s, "CV119105")

    @staticmethod
    def verse_at_top(s, anchor):
        """A Bible's verse anchor stands inline, where the line before may end: its
        verse number is what starts the view."""
        wait_until(lambda: -2 <= s.page(f"document.getElementsByName('{anchor}')[0].nextSibling"
                                       ".getBoundingClientRect().top") <= 30,
                   what=f"verse {anchor} at the top")


class RightToLeft(unittest.TestCase):
    """A Hebrew Bible made with the module tools: its names and headings in Hebrew,
    written right to left."""

    def test_hebrew_names_and_headings_run_right_to_left(self):
        s = Session(start=False)
        self.addCleanup(s.close)
        library = Library(os.path.join(s.dir, "sword"))
        library.add("HebTest", BIBLE, kind="Bible", lang="he", conf_extra="Direction=RtoL\n")
        code, _, err = run_import(library.env(XDG_DATA_HOME=s.env["XDG_DATA_HOME"]), "HebTest")
        self.assertEqual(code, 0, err)
        s.start_viewer(wait_for_start_page=False)
        wait_until(lambda: s.caption("SBtnINDEX") == "Index HebTest", timeout=20, interval=0.2,
                   what="the imported catalogue")
        s.host("show", "PSA", "3", "1", check=True)
        s.wait_caption("תהילי 3:1")
        heading = s.page("(function () { var h = document.getElementsByName('CV004000')[0]"
                         ".parentNode; return [h.textContent, getComputedStyle(h).direction]; })()")
        self.assertEqual(heading, ["פרק 4", "rtl"])
