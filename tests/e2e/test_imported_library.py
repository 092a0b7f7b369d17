"""End to end: a library written by vellum-import into the user's library folder is
what the viewer opens; a host location scrolls its page, and a cross-reference click
sends the link's CODEc:v to the host."""
import os
import sys
import unittest

from session import Session, wait_until

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "import"))
from fixtures import COMMENTARY, Library, run_import  # noqa: E402


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
        self.s.wait_caption("Gen 1:2")  # the name from books.ini beside the library
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


@unittest.skipUnless(os.path.exists("/usr/share/sword/mods.d/tdavid.conf"),
                     "sword-comm-tdavid is not installed (tools/install-deps.sh installs it)")
class TreasuryOfDavid(unittest.TestCase):
    """Debian's Treasury of David keeps each psalm as one entry; a verse opens at its
    own exposition inside it."""

    def test_psalm_119_105_opens_at_its_exposition(self):
        s = Session(start=False)
        self.addCleanup(s.close)
        env = dict(os.environ, XDG_DATA_HOME=s.env["XDG_DATA_HOME"], HOME=s.dir)
        env.pop("SWORD_PATH", None)
        code, _, err = run_import(env, "TDavid")
        self.assertEqual(code, 0, err)
        s.start_viewer(wait_for_start_page=False)
        wait_until(lambda: s.caption("SBtnINDEX") == "Index TDavid", timeout=20, interval=0.2,
                   what="the imported catalogue")
        s.host("show", "PSA", "119", "105", check=True)
        wait_until(lambda: s.caption().endswith(" 119:105"), timeout=30, what="the caption")
        s.wait_anchor_at_top("CV119105", timeout=60)
        text = s.page("document.getElementsByName('CV119105')[0].nextSibling.textContent")
        self.assertEqual(text, "Ver. 105.")
