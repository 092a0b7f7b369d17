"""End-to-end tests of the viewer on its own: links that go by themselves where no host
is there, the Go to field, the host's silence told quietly, and the last place kept
from one run to the next."""
import os
import time
import unittest

from session import wait_until
from test_viewer import ViewerTest


class Alone(ViewerTest):
    """No host window, no program followed: the sample library, as a reader who
    started the viewer from the desktop's menu finds it."""

    def go_to(self, text, shown=None):
        """Opens the Go to bar with its key and types text into its field, which then
        shows `shown` (text, where nothing completes it)."""
        # Without a window manager the keyboard goes where the pointer is.
        x, y = self.s.browser_origin()
        self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
        self.s.xdotool("key", "ctrl+l")
        wait_until(lambda: self.s.control("GoToText")["showing"], what="the Go to bar")
        self.s.xdotool("type", "--delay", "30", text)
        wait_until(lambda: self.s.control("GoToText")["text"] == (shown or text),
                   what=f"{text!r} typed")

    def back(self):
        self.s.click_control("SBtnBACK")

    @staticmethod
    def dwell():
        """A place enters the history once shown for a second."""
        time.sleep(1.2)

    def test_links_go_by_themselves_and_go_to_reads_places_and_the_place_is_kept(self):
        # An Index entry goes straight to its book.
        self.s.click_page_element('a[href$="BCVBET1:1"]')
        self.s.wait_caption("Beta 1:1")
        wait_until(lambda: self.s.page_url().endswith("/web.htm/beta.htm#CV001001"),
                   what="Beta's page")
        self.s.wait_anchor_at_top("CV001001")
        self.dwell()
        # So does a cross-reference.
        self.s.page("(document.querySelector('a[href$=\"BCVGAM2:9\"]').scrollIntoView(), true)")
        self.s.click_page_element('a[href$="BCVGAM2:9"]')
        self.s.wait_caption("Gamma 2:9")
        wait_until(lambda: "/web.htm/gamma.htm" in self.s.page_url(), what="Gamma's page")
        self.assertFalse(self.s.control("SpeedButton1")["showing"], "nothing is pending")
        self.dwell()

        # Go to: a book's name completed from the library's names, then its place.
        self.go_to("Alp", shown="Alphabet")
        self.s.xdotool("key", "Tab")
        wait_until(lambda: self.s.control("GoToText")["text"] == "Alphabet ",
                   what="the name taken")
        self.s.xdotool("type", "--delay", "30", "3:7")
        self.s.xdotool("key", "Return")
        self.s.wait_caption("Alpha 3:7")
        self.s.wait_anchor_at_top("CV003007")
        wait_until(lambda: not self.s.control("GoToBar")["showing"], what="the bar closed")

        # What it cannot read, it says, and the place stays.
        self.go_to("Nowhere 3")
        self.s.xdotool("key", "Return")
        wait_until(lambda: "No book is called" in self.s.control("GoToStatus")["name"],
                   what="the problem told")
        self.assertEqual(self.s.caption(), "Alpha 3:7")
        self.s.xdotool("key", "Escape")
        wait_until(lambda: not self.s.control("GoToBar")["showing"], what="the bar closed")

        # The places dwelt on are the history.
        try:
            wait_until(lambda: self.s.control("SBtnBACK")["enabled"], what="Back")
        except AssertionError:
            print(self.s.controls(), open(self.s.viewer_log).read())
            self.s.screenshot("/tmp/x/fail.png")
            raise
        self.back()
        self.s.wait_caption("Gamma 2:9")
        self.back()
        self.s.wait_caption("Beta 1:1")

        # Closed alone, opened alone: there again, its first history entry.
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("Place=BET 1:1\n", self.s.settings())
        self.s.start_viewer(wait_for_start_page=False)
        self.s.wait_caption("Beta 1:1", timeout=20)
        wait_until(lambda: self.s.page_url().endswith("/web.htm/beta.htm#CV001001"),
                   what="Beta's page again")
        self.s.wait_anchor_at_top("CV001001")
        self.assertFalse(self.s.control("SBtnBACK")["enabled"], "one entry: the place")

        # The engine kept nothing of the pages in the reader's library folder.
        self.assertFalse(os.path.exists(os.path.join(self.s.env["XDG_DATA_HOME"], "vellum")))
        # Beside a host the start is the host's: the start page.
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.s.serve("--geometry", "300x300+720+100")
        self.s.start_viewer()
        self.assertEqual(self.s.caption(), "About")


class HostSilence(ViewerTest):
    def test_a_request_the_host_does_not_answer_is_told_quietly(self):
        server = self.s.serve("--geometry", "300x300+720+100")  # never answers
        self.s.click_page_element('a[href$="BCVGAM1:1"]')
        wait_until(lambda: server.requests() == ["GAM1:1"], what="the request")
        self.assertFalse(self.s.control("Notice")["showing"])
        notice = wait_until(lambda: self.s.control("Notice")["showing"]
                            and self.s.control("Notice"), timeout=10, what="the notice")
        self.assertEqual(notice["name"], "The host did not answer")
        self.assertEqual(self.s.caption(), "About", "nothing moved")
        # A late answer: offered as ever, and the notice goes.
        self.show("ALP", 1, 1)
        self.s.wait_caption("Alpha 1:1", "SpeedButton1")
        wait_until(lambda: not self.s.control("Notice")["showing"], what="the notice gone")


if __name__ == "__main__":
    unittest.main()
