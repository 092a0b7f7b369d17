"""End-to-end tests of the Linux viewer: the real program, a real browser, X11."""
import hashlib
import os
import subprocess
import time
import unittest

from session import Session, wait_until


class ViewerTest(unittest.TestCase):
    settings = None
    window_manager = False
    books = None

    def setUp(self):
        self.s = Session(settings=self.settings, window_manager=self.window_manager,
                         books=self.books)
        self.addCleanup(self.s.close)

    def show(self, code, chapter, verse, *extra):
        self.s.host("show", code, str(chapter), str(verse), *extra, check=True)

    def open_menu_on_page(self):
        x, y = self.s.browser_origin()
        self.s.click(x + 200, y + 150, button=3)
        return wait_until(lambda: self.s.menu_items().get("About", {}).get("showing")
                          and self.s.menu_items(), what="the menu")

    def choose(self, item, items=None):
        items = items or self.open_menu_on_page()
        x, y, w, h = items[item]["extents"]
        self.s.click(x + w // 2, y + h // 2)

    def underlined(self):
        """Whether a line of the location button's blue runs under its caption."""
        x, y, w, h = self.s.control("SpeedButton2")["extents"]
        path = os.path.join(self.s.dir, "button.txt")
        self.s.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "txt:" + path])
        rows = {}
        with open(path) as f:
            for line in f:
                if line.startswith("#"):
                    continue
                where, _, rest = line.partition(":")
                px, py = (int(v) for v in where.split(","))
                # "(r,g,b)" with 16-bit channels.
                r, g, b = (int(v) // 257 for v in rest[rest.index("(") + 1:rest.index(")")].split(",")[:3])
                rows.setdefault(py, []).append((px, r < 160 and g < 160 and b > 200 and b - r > 90))
        for pixels in rows.values():
            run = best = 0
            for _, blue in sorted(pixels):
                run = run + 1 if blue else 0
                best = max(best, run)
            if best >= 15:
                return True
        return False


class StartAndLocations(ViewerTest):
    def test_start_page_and_index_caption(self):
        controls = self.s.controls()
        self.assertEqual(controls["SBtnINDEX"]["name"], "Index Sample")
        self.assertEqual(controls["SpeedButton2"]["name"], "About")
        self.assertFalse(controls["SpeedButton1"]["showing"])
        self.assertFalse(controls["SBtnBACK"]["enabled"])
        self.assertFalse(controls["SBtnFORWARD"]["enabled"])
        for designer, name in (("Image1", "Menu"), ("Image2", "Move"), ("SpeedButton4", "Minimize"),
                               ("SpeedButton3", "Close")):
            self.assertEqual(controls[designer]["name"], name)
        self.assertEqual(self.s.geometry(), (100, 100, 600, 400))
        self.assertTrue(self.s.page_url().endswith("/web.htm/index.htm"))

    def test_location_loads_scrolls_and_labels(self):
        self.show("ALP", 2, 4)
        self.s.wait_caption("Alpha 2:4")
        self.assertTrue(self.s.page_url().endswith("/web.htm/alpha.htm#CV002004"))
        self.s.wait_anchor_at_top("CV002004")
        self.assertTrue(wait_until(self.underlined, what="underline"))
        # Between two anchors: the one before; no underline.
        self.show("ALP", 2, 3)  # its anchor is the lower-case "cv002003", not indexed
        self.s.wait_caption("Alpha 2:3")
        self.s.wait_anchor_at_top("CV002002")
        self.assertFalse(self.underlined())

    def test_same_book_loads_nothing(self):
        self.show("BET", 1, 1)
        self.s.wait_caption("Beta 1:1")
        self.s.page("window.vellumMarker = 'still here'")
        self.show("BET", 3, 2)
        self.s.wait_caption("Beta 3:2")
        self.s.wait_anchor_at_top("CV003002")
        self.assertEqual(self.s.page("window.vellumMarker"), "still here")

    def test_a_burst_shows_only_its_last_location(self):
        for code in ("ALP", "GAM", "BET"):
            self.show(code, 1, 3)
            time.sleep(0.1)
        self.s.wait_caption("Beta 1:3")
        self.assertTrue(self.s.page_url().endswith("/web.htm/beta.htm#CV001003"))
        self.s.page("window.vellumMarker = 1")
        time.sleep(1.5)  # the dwell adds Beta alone: Back stays disabled
        self.assertFalse(self.s.control("SBtnBACK")["enabled"])
        self.assertEqual(self.s.page("window.vellumMarker"), 1)

    def test_missing_and_case_mismatched_book_files(self):
        self.show("DEL", 1, 1)
        self.s.wait_caption("Delta 1:1")
        wait_until(lambda: self.s.page_url() == "about:blank", what="a blank page")
        self.show("GAM", 2, 3)  # listed as Gamma.HTM, stored as gamma.htm
        self.s.wait_caption("Gamma 2:3")
        self.s.wait_anchor_at_top("CV002003")
        self.show("EPS", 2, 1)  # listed as extra\epsilon.htm
        self.s.wait_caption("Epsil 2:1")
        self.assertTrue(self.s.page_url().endswith("/web.htm/extra/epsilon.htm#CV002001"))

    def test_resizing_keeps_the_current_anchor_in_view(self):
        self.show("ALP", 3, 5)
        self.s.wait_anchor_at_top("CV003005")
        self.s.xdotool("windowsize", self.s.viewer_window(), "420", "300")
        wait_until(lambda: self.s.geometry()[2:] == (420, 300), what="the new size")
        self.s.wait_anchor_at_top("CV003005")
        back = self.s.control("SBtnBACK")["extents"]
        x, _, w, _ = self.s.geometry()
        self.assertEqual(back[0] - (x + 3), 420 - 6 - 126, "Back keeps its distance to the right")


class TitleBar(ViewerTest):
    BUTTONS = ["Image1", "SpeedButton2", "SpeedButton1", "SBtnINDEX", "SBtnBACK", "SBtnFORWARD",
               "SpeedButton4", "SpeedButton3"]

    def shown_parts(self):
        parts = {name: self.s.control(name) for name in self.BUTTONS + ["Image2", "Notice"]}
        return {name: c for name, c in parts.items() if c["showing"]}

    def test_the_keyboard_reaches_every_button_and_each_has_a_name(self):
        self.show("ALP", 1, 1)
        self.s.wait_caption("Alpha 1:1")
        time.sleep(1.2)  # dwelt on: Alpha enters the history
        self.show("BET", 1, 1)
        self.s.wait_caption("Beta 1:1")
        wait_until(lambda: self.s.control("SBtnBACK")["enabled"], what="Back")
        names = {name: c["name"] for name, c in self.shown_parts().items()}
        self.assertEqual(names["SBtnBACK"], "Back")
        self.assertEqual(names["SBtnFORWARD"], "Forward")
        self.assertEqual(names["SpeedButton4"], "Minimize")
        self.assertEqual(names["SpeedButton3"], "Close")
        self.assertEqual(names["Image1"], "Menu")
        self.assertEqual(names["SBtnINDEX"], "Index Sample")
        for name, control in self.shown_parts().items():
            w, h = control["extents"][2:]
            self.assertGreaterEqual((w, h), (24, 24), f"{name}: a 24-pixel target")
        # F6 takes the keys from the page to the title bar, Tab along it.
        x, y = self.s.browser_origin()
        self.s.click(x + 200, y + 100)
        wait_until(lambda: self.s.page("document.hasFocus()"), what="the page has the keys")
        self.s.xdotool("key", "F6")
        wait_until(lambda: self.s.control("Image1")["focused"], what="the menu icon focused")
        self.s.xdotool("key", "Tab")
        wait_until(lambda: self.s.control("SpeedButton2")["focused"], what="the location button")
        self.s.xdotool("key", "Tab")
        wait_until(lambda: self.s.control("SBtnINDEX")["focused"], what="Index")
        self.s.xdotool("key", "Tab")
        wait_until(lambda: self.s.control("SBtnBACK")["focused"], what="Back")
        self.s.xdotool("key", "Return")
        self.s.wait_caption("Alpha 1:1")
        # Back has nowhere more to go: Tab passes over it.
        if not self.s.control("Image1")["focused"]:
            self.s.xdotool("key", "F6")
        wait_until(lambda: self.s.control("Image1")["focused"], what="the menu icon again")
        self.s.xdotool("key", "Tab", "Tab", "Tab")
        wait_until(lambda: self.s.control("SBtnFORWARD")["focused"], what="Forward")
        self.s.xdotool("key", "shift+Tab", "shift+Tab")
        wait_until(lambda: self.s.control("SpeedButton2")["focused"], what="back along the bar")
        self.s.xdotool("key", "Tab", "space")
        wait_until(lambda: "/web.htm/index.htm#TOC" in self.s.page_url(), what="the Index")
        self.s.xdotool("key", "F6")
        wait_until(lambda: self.s.page("document.hasFocus()"), what="the page has the keys again")
        # The menu icon opens the menu from the keyboard.
        self.s.xdotool("key", "F6", "Return")
        wait_until(lambda: self.s.menu_items().get("Close", {}).get("showing"), what="the menu")

    def test_every_width_lays_the_bar_out_without_overlaps_and_widening_gives_it_back(self):
        self.show("ALP", 1, 1)
        self.s.wait_caption("Alpha 1:1")
        whole = self.s.control("SBtnINDEX")["extents"][2]
        def overlaps(width):
            parts = sorted(self.shown_parts().items(), key=lambda p: p[1]["extents"][0])
            ends = [(name, c["extents"][0], c["extents"][0] + c["extents"][2]) for name, c in parts]
            found = [(a[0], b[0]) for a, b in zip(ends, ends[1:]) if a[2] > b[1]]
            if ends[-1][2] > self.s.geometry()[0] + width:
                found.append((ends[-1][0], "the window's edge"))
            return found

        for width in (600, 400, 300, 220, 600):
            self.s.xdotool("windowsize", self.s.viewer_window(), str(width), "300")
            wait_until(lambda: self.s.geometry()[2] == width, what=f"{width} px")
            wait_until(lambda: not overlaps(width), what=f"{width} px laid out")
            if width >= 300:
                self.assertIn("SBtnINDEX", self.shown_parts(), f"{width} px: Index stays")
        wait_until(lambda: self.s.control("SBtnINDEX")["extents"][2] == whole,
                   what="Index whole again")


class HostMessages(ViewerTest):
    def test_close_writes_the_settings(self):
        self.assertEqual(self.s.host("close"), 0)
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertEqual(self.s.settings(),
                         "[Form1]\nleft=100\ntop=100\nwidth=600\nheight=400\n[Misc]\nAlwaysOnTop=0\n")
        self.assertEqual(self.s.host("close"), 3, "no viewer any more")

    def test_close_then_a_location_within_the_quiet_time(self):
        self.s.host("close", check=True)
        time.sleep(0.1)
        self.show("ALP", 1, 1)
        self.s.wait_caption("Alpha 1:1")
        time.sleep(0.5)
        self.assertIsNone(self.s.viewer.poll())

    def test_unknown_codes_and_short_payloads(self):
        for args in (("send", "0"), ("send", "2", "41424300"), ("send", "12"), ("send", "1"),
                     ("send", "1", "0000000000000342455400")):
            self.assertEqual(self.s.host(*args), 0)
            time.sleep(0.3)
        # The last, a short record of code BET and chapter 0, was shown.
        self.s.wait_caption("Beta 0:0")
        self.assertIsNone(self.s.viewer.poll())


class MinimizeWithoutWindowManager(ViewerTest):
    def test_minimize_withdraws_until_the_next_location(self):
        window = self.s.viewer_window()
        self.s.host("minimize", check=True)
        wait_until(lambda: "IsUnMapped" in self.s.run(["xwininfo", "-id", window]),
                   what="withdrawn")
        self.show("BET", 1, 1)
        wait_until(lambda: "IsViewable" in self.s.run(["xwininfo", "-id", window]),
                   what="shown again")
        self.s.wait_caption("Beta 1:1")


class HostMessagesWithWindowManager(ViewerTest):
    window_manager = True

    def test_minimize(self):
        self.s.host("minimize", check=True)
        wait_until(lambda: "_NET_WM_STATE_HIDDEN" in self.s.net_wm_state(), what="iconified")


class LinksAndRequests(ViewerTest):
    def setUp(self):
        super().setUp()
        self.server = self.s.serve("--answer", "--geometry", "300x300+720+100")

    def test_link_click_sends_its_text_and_the_page_stays(self):
        self.show("ALP", 1, 2)
        self.s.wait_caption("Alpha 1:2")
        self.s.wait_anchor_at_top("CV001002")
        self.s.click_page_element('a[href*="BCVBET2:5"]')
        wait_until(lambda: self.server.requests() == ["BET2:5"], what="the request")
        self.assertTrue(self.s.page_url().endswith("/web.htm/alpha.htm#CV001002"))
        # The answer waits on the pending-jump button; a click takes it.
        wait_until(lambda: self.s.control("SpeedButton1")["showing"], what="the pending jump")
        self.assertEqual(self.s.caption("SpeedButton1"), "Beta 2:5")
        self.assertEqual(self.s.caption(), "Alpha 1:2")
        self.s.click_control("SpeedButton1")
        self.s.wait_caption("Beta 2:5")
        self.s.wait_anchor_at_top("CV002005")
        self.assertFalse(self.s.control("SpeedButton1")["showing"])

    def test_location_button_sends_the_request_text(self):
        self.show("GAM", 2, 7)
        self.s.wait_caption("Gamma 2:7")
        self.s.click_control("SpeedButton2")
        wait_until(lambda: self.server.requests() == ["GAM2:7"], what="the request")
        self.assertFalse(self.s.control("SpeedButton1")["showing"])

    def test_index_page_links_ask_the_host(self):
        self.s.click_page_element('a[href$="BCVBET1:1"]')
        wait_until(lambda: self.server.requests() == ["BET1:1"], what="the request")
        wait_until(lambda: self.s.control("SpeedButton1")["showing"], what="the pending jump")


class RequestsToAHostOutOfSight:
    """A host that is minimized or hidden still hears the viewer's requests, as a
    lookup by window class finds it on Windows. hide() puts the host out of sight."""

    def test_location_button_reaches_the_host(self):
        server = self.s.serve("--geometry", "300x300+720+100")
        host = wait_until(lambda: self.s.xdotool_search("--class", "TFrmORUmain"),
                          what="the host window")[0]
        self.hide(host)
        self.show("GAM", 2, 7)
        self.s.wait_caption("Gamma 2:7")
        self.s.click_control("SpeedButton2")
        wait_until(lambda: server.requests() == ["GAM2:7"], what="the request")


class RequestsToAMinimizedHost(RequestsToAHostOutOfSight, ViewerTest):
    window_manager = True

    def hide(self, host):
        self.s.xdotool("windowminimize", "--sync", host)
        wait_until(lambda: "_NET_WM_STATE_HIDDEN" in self.s.run(["xprop", "-id", host,
                                                                  "_NET_WM_STATE"]),
                   what="the host minimized")


class RequestsToAWithdrawnHost(RequestsToAHostOutOfSight, ViewerTest):
    window_manager = True

    def hide(self, host):
        # The window manager lets go of it: it leaves the client list.
        self.s.xdotool("windowunmap", "--sync", host)
        wait_until(lambda: host not in [str(int(w, 16)) for w in self.s.run(
            ["xprop", "-root", "_NET_CLIENT_LIST"]).split("#")[-1].replace(",", " ").split()
            if w.startswith("0x")], what="the host unlisted")


class RequestsToAHiddenHostWithoutWindowManager(RequestsToAHostOutOfSight, ViewerTest):
    def hide(self, host):
        self.s.xdotool("windowunmap", "--sync", host)
        wait_until(lambda: "IsUnMapped" in self.s.run(["xwininfo", "-id", host]),
                   what="the host hidden")


class HostMessagesBehindAMessageBox(unittest.TestCase):
    """A message box of the viewer is not the viewer: while one is open the host's
    messages still reach the viewer's window (a books.ini that cannot be read shows
    one at start-up, before the window is shown)."""
    window_manager = False

    def setUp(self):
        self.s = Session(start=False, window_manager=self.window_manager)
        self.addCleanup(self.s.close)
        books = os.path.join(self.s.program, "books.ini")
        os.remove(books)
        os.mkdir(books)

    def test_close_arrives_while_the_message_is_up(self):
        self.s.start_viewer(wait_for_start_page=False)
        box = wait_until(lambda: self.s.xdotool_search("--onlyvisible", "--name", "^Vellum$"),
                         what="the message box")[0]
        self.assertEqual(self.s.host("close"), 0, "the viewer took the message")
        # The close has been acted on: it wrote the settings.
        wait_until(lambda: os.path.exists(self.s.settings_path()), what="the settings")
        self.assertIsNone(self.s.viewer.poll(), "the message is still up")
        self.s.xdotool("windowfocus", "--sync", box)
        self.s.xdotool("key", "Escape")
        self.assertEqual(self.s.wait_exit(), 0)


class HostMessagesBehindAMessageBoxWithWindowManager(HostMessagesBehindAMessageBox):
    window_manager = True


class History(ViewerTest):
    def dwell(self, code, chapter, verse, caption):
        self.show(code, chapter, verse)
        self.s.wait_caption(caption)
        time.sleep(1.2)

    def test_dwell_back_and_forward(self):
        self.dwell("ALP", 1, 1, "Alpha 1:1")
        self.dwell("BET", 1, 2, "Beta 1:2")
        self.dwell("GAM", 2, 3, "Gamma 2:3")
        self.assertTrue(self.s.control("SBtnBACK")["enabled"])
        self.choose("Back")  # the menu's, as the button's
        self.s.wait_caption("Beta 1:2")
        self.s.click_control("SBtnBACK")
        self.s.wait_caption("Alpha 1:1")
        wait_until(lambda: not self.s.control("SBtnBACK")["enabled"], what="Back disabled")
        self.s.click_control("SBtnFORWARD")
        self.s.wait_caption("Beta 1:2")
        self.s.wait_anchor_at_top("CV001002")

    def test_alt_left_and_alt_right_step_our_history_one_step_each(self):
        self.dwell("ALP", 1, 1, "Alpha 1:1")
        self.dwell("BET", 1, 2, "Beta 1:2")
        self.dwell("GAM", 2, 3, "Gamma 2:3")
        x, y = self.s.browser_origin()
        self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))  # focus follows
        self.s.xdotool("key", "alt+Left")
        self.s.wait_caption("Beta 1:2")
        self.s.wait_anchor_at_top("CV001002")
        self.s.xdotool("key", "alt+Left")
        self.s.wait_caption("Alpha 1:1")
        self.s.xdotool("key", "alt+Right")
        self.s.wait_caption("Beta 1:2")
        self.assertTrue(self.s.control("SBtnFORWARD")["enabled"], "one step, not two")

    def test_holding_back_repeats(self):
        for verse in range(1, 8):
            self.dwell("ALP", 1, verse, f"Alpha 1:{verse}")
        x, y, w, h = self.s.control("SBtnBACK")["extents"]
        self.s.xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2), "mousedown", "1")
        time.sleep(1.6)
        self.s.xdotool("mouseup", "1")
        wait_until(lambda: not self.s.control("SBtnBACK")["enabled"], what="the oldest entry")
        self.s.wait_caption("Alpha 1:1")

    def test_index_and_about_pages(self):
        self.dwell("ALP", 1, 1, "Alpha 1:1")
        self.s.click_control("SBtnINDEX")
        wait_until(lambda: self.s.page_url().endswith("/web.htm/index.htm#TOC"), what="the index")
        self.s.wait_caption("About")
        self.s.click_control("SpeedButton2")  # on the Index page: the About page
        wait_until(lambda: self.s.page_url().endswith("/about/about.htm"), what="the about page")
        # What Vellum is, its version, how books are added, where things are kept.
        text = self.s.page("document.body.innerText")
        for said in ("Vellum 0.", "vellum-import NAME", "~/.config/vellum/Vellum.ini",
                     "GNU General Public License"):
            self.assertIn(said, text)
        self.assertNotIn("@PROJECT_VERSION@", text)
        self.s.click_control("SBtnBACK")
        wait_until(lambda: self.s.page_url().endswith("/web.htm/index.htm"), what="the start page")
        self.s.click_control("SBtnBACK")
        self.s.wait_caption("Alpha 1:1")


class MenuAndCommands(ViewerTest):
    window_manager = True

    def test_right_click_opens_our_menu_and_about_works(self):
        items = self.open_menu_on_page()
        self.assertEqual(sorted(name for name, item in items.items() if item["showing"]),
                         ["About", "Always on top", "Back", "Close", "Copy", "Copy with reference",
                          "Find in page\u2026", "Follow BibleSync", "Forward", "Go to\u2026", "Index",
                          "Larger text", "Library", "Normal size", "Print\u2026", "Smaller text",
                          "Theme"])
        # Back and Forward go with their buttons: nothing to step to yet.
        self.assertFalse(items["Back"]["enabled"])
        self.assertFalse(items["Forward"]["enabled"])
        self.assertTrue(items["Off"]["checked"], "BibleSync is off unless chosen")
        self.choose("About", items)
        wait_until(lambda: self.s.page_url().endswith("/about/about.htm"), what="the about page")

    def test_menu_icon_opens_the_menu(self):
        self.s.click_control("Image1")
        wait_until(lambda: self.s.menu_items().get("Close", {}).get("showing"), what="the menu")

    def test_copy_reaches_the_clipboard(self):
        self.show("ALP", 1, 4)
        self.s.wait_anchor_at_top("CV001004")
        self.s.page("(function () { var p = document.anchors[4].parentNode;"
                    " window.getSelection().selectAllChildren(p); return 1; })()")
        self.choose("Copy")
        text = wait_until(lambda: self.s.run(["xclip", "-o", "-selection", "clipboard"]),
                          what="the clipboard")
        self.assertIn("1:4", text)
        self.assertIn("soot, gum and patience", text)

    def test_copy_with_reference_adds_the_verses_spanned_and_print_asks_the_system(self):
        self.show("ALP", 1, 4)
        self.s.wait_anchor_at_top("CV001004")
        # From inside verse 4 to inside verse 6.
        self.s.page("(function () { var a = document.anchors; var r = document.createRange();"
                    " r.setStart(a[4].parentNode.lastChild, 5);"
                    " r.setEnd(a[6].parentNode.lastChild, 8);"
                    " getSelection().removeAllRanges(); getSelection().addRange(r); return 1; })()")
        x, y = self.s.browser_origin()
        self.s.xdotool("mousemove", "--sync", str(x + 300), str(y + 200))
        self.s.xdotool("key", "ctrl+shift+c")
        text = wait_until(lambda: self.s.run(["xclip", "-o", "-selection", "clipboard"]),
                          what="the clipboard")
        lines = text.split("\n")
        self.assertEqual(lines[-1], "Alphabet 1:4-6, Sample")
        self.assertIn("soot, gum and patience", text)
        # The menu's item does the same.
        subprocess.run(["xclip", "-selection", "clipboard"], input="emptied", text=True,
                       env=self.s.env, check=True, timeout=10)
        self.choose("Copy with reference")
        wait_until(lambda: self.s.run(["xclip", "-o", "-selection", "clipboard"])
                   .startswith("Alphabet 1:4") or self.s.run(
                       ["xclip", "-o", "-selection", "clipboard"]).endswith("1:4-6, Sample"),
                   what="the menu's copy")
        self.s.xdotool("key", "ctrl+p")
        dialog = wait_until(lambda: self.s.xdotool_search("--name", "^Print$"),
                            what="the system's print dialog")
        self.s.xdotool("windowactivate", "--sync", dialog[0])
        self.s.xdotool("key", "Escape")
        wait_until(lambda: not self.s.xdotool_search("--name", "^Print$"), what="cancelled")
        self.s.host("show", "BET", "1", "1", check=True)
        self.s.wait_caption("Beta 1:1")  # the viewer goes on

    def test_stay_on_top_survives_a_restart_and_leaves_the_page(self):
        self.show("ALP", 2, 4)
        self.s.wait_caption("Alpha 2:4")
        self.s.wait_anchor_at_top("CV002004")
        self.choose("Always on top")
        wait_until(lambda: "_NET_WM_STATE_ABOVE" in self.s.net_wm_state(), what="kept above")
        self.assertEqual(self.s.caption(), "Alpha 2:4")
        self.assertTrue(self.s.page_url().endswith("/web.htm/alpha.htm#CV002004"))
        self.s.wait_anchor_at_top("CV002004")
        self.choose("Close")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertIn("AlwaysOnTop=1", self.s.settings())
        self.s.start_viewer(place=("Alpha 2:4", "/web.htm/alpha.htm#CV002004"))
        wait_until(lambda: "_NET_WM_STATE_ABOVE" in self.s.net_wm_state(), what="kept above")
        self.s.click_control("Image1")
        items = wait_until(lambda: self.s.menu_items().get("Close", {}).get("showing")
                           and self.s.menu_items(), what="the menu")
        self.assertTrue(items["Always on top"]["checked"])


class Docking(ViewerTest):
    def test_drag_docks_to_the_host(self):
        self.s.serve("--geometry", "400x300+500+300")
        wx, wy, ww, wh = self.s.geometry()
        # Raw left 905 - 600 ... dock the viewer's right edge to the host's left edge (500).
        target = (500 - ww + 10, 320)
        self.s.drag_handle((target[0] - wx, target[1] - wy), (target[0] - wx + 1, target[1] - wy))
        wait_until(lambda: self.s.geometry()[:2] == (500 - ww, 300), what="docked")


class DraggingWithoutAHost(ViewerTest):
    def test_the_window_follows_the_mouse(self):
        self.s.drag_handle((37, 21), (38, 22))
        wait_until(lambda: self.s.geometry()[:2] == (138, 122), what="moved")

    def test_a_fast_drag_is_followed_to_its_end(self):
        # Without a window manager the focus follows the pointer, which outruns the
        # window at every step: losing the focus must not end the drag.
        self.s.drag_handle(*[(59 * i, 40 * i) for i in range(1, 7)])
        wait_until(lambda: self.s.geometry()[:2] == (100 + 354, 100 + 240), what="moved")


class BookNameText(ViewerTest):
    # Esaie in UTF-8 (its fifth byte falls inside a character) and Genese in
    # Windows-1252: five characters each.
    books = b"[BKA]\r\nZET=\xc3\x89sa\xc3\xafe\r\nWIN=Gen\xe8se\r\n"

    def test_names_show_as_utf8_or_windows_1252_and_cut_cleanly(self):
        self.show("ZET", 1, 1)
        self.s.wait_caption("\u00c9sa\u00efe 1:1")
        self.show("WIN", 2, 3)
        self.s.wait_caption("Gen\u00e8s 2:3")


class Settings(ViewerTest):
    settings = ("; kept\r\n[Form1]\r\nleft=2000\r\ntop=700\r\nwidth=600\r\nheight=400\r\n"
                "[Other]\r\nmine=yes\r\n")

    def test_crafted_settings_place_the_window_and_other_lines_stay(self):
        self.assertEqual(self.s.geometry(), (424, 368, 600, 400))
        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertEqual(self.s.settings(),
                         "; kept\r\n[Form1]\r\nleft=424\r\ntop=368\r\nwidth=600\r\nheight=400\r\n"
                         "[Other]\r\nmine=yes\r\n[Misc]\r\nAlwaysOnTop=0\r\n")


ESCAPE_PAGE = """<!DOCTYPE html><html><head><meta charset="utf-8">
<link rel="stylesheet" href="http://127.0.0.1:{port}/style.css">
<script>
var results = {{}};
try {{
  var request = new XMLHttpRequest();
  request.open('GET', 'file:///etc/passwd', false);
  request.send();
  results.file = request.responseText.length > 0 ? 'read' : 'empty';
}} catch (e) {{ results.file = 'blocked'; }}
var opened = null;
try {{ opened = window.open('about:blank'); }} catch (e) {{}}
results.window = opened ? 'opened' : 'blocked';
results.handler = window.webkit && window.webkit.messageHandlers &&
    window.webkit.messageHandlers.vellumReady ? 'visible' : 'hidden';
fetch('http://127.0.0.1:{port}/fetch').then(
    function () {{ results.fetch = 'reached'; }}, function () {{ results.fetch = 'blocked'; }});
window.vellumEscape = results;
</script></head>
<body><img src="http://127.0.0.1:{port}/image.png"><a name="CV001001"></a>1:1 A line.</body></html>
"""


class UntrustedPages(unittest.TestCase):
    """A book page that tries every way out of its page: each one fails."""

    def setUp(self):
        import http.server
        import threading
        self.requests = []
        tests = self

        class Recorder(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 (the server's own name)
                tests.requests.append(self.path)
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.end_headers()
                self.wfile.write(b"reached")

            def log_message(self, *args):
                pass

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Recorder)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        with open(os.path.join(self.s.program, "web.htm", "escape.htm"), "w") as f:
            f.write(ESCAPE_PAGE.format(port=self.server.server_address[1]))
        with open(os.path.join(self.s.program, "web.htm", "index.ini"), "a") as f:
            f.write("ESC=escape.htm\r\n")

    def test_no_file_network_window_or_viewer_channel_is_reachable(self):
        self.s.start_viewer()
        self.s.host("show", "ESC", "1", "1", check=True)
        wait_until(lambda: self.s.page_url().endswith("/escape.htm#CV001001"), what="the page")
        results = wait_until(lambda: self.s.page("window.vellumEscape && window.vellumEscape.fetch"
                                                 " ? window.vellumEscape : null"),
                             what="the page's attempts")
        self.assertEqual(results, {"file": "blocked", "window": "blocked", "handler": "hidden",
                                   "fetch": "blocked"})
        self.assertEqual(self.requests, [], "nothing reached the network")
        # The viewer's own scripts still read the page: it is indexed and labelled.
        self.s.wait_caption(" 1:1")

    def test_without_the_network_filter_no_page_from_a_file_is_shown(self):
        # The filter is compiled in a temporary folder: with none to be had, it fails.
        self.s.env["TMPDIR"] = os.path.join(self.s.dir, "no-such-folder")
        self.s.start_viewer(wait_for_start_page=False)
        self.s.host("show", "ESC", "1", "1", check=True)
        # The start without a filter can take long on a busy machine.
        self.s.wait_caption(" 1:1", timeout=30)
        wait_until(lambda: "Book pages are not shown" in self.s.page(
            "document.body ? document.body.innerText : ''"), what="the page that says why")
        self.assertEqual(self.s.page_url(), "about:blank")
        with open(self.s.viewer_log) as log:
            self.assertIn("book pages are not shown: no folder for the filter", log.read())
        self.assertEqual(self.requests, [], "nothing reached the network")


class SavedOnAMonitorThatIsGone(ViewerTest):
    settings = "[Form1]\r\nleft=-5000\r\ntop=-4000\r\nwidth=600\r\nheight=400\r\n"

    def test_the_window_comes_back_onto_the_screen(self):
        # Saved on a monitor left of and above this one that is no longer
        # there: without a caption bar it could never be fetched back.
        self.assertEqual(self.s.geometry(), (0, 0, 600, 400))


# Runs a command with folder mounted read-only over itself, in a mount namespace
# of the command's own: a folder that refuses writes even to root, who is not
# stopped by permission bits. The command is exec'd, so it keeps the process id.
READ_ONLY_SCRIPT = 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" "$1" && shift && exec "$@"'


def read_only_wrap(folder):
    return ["unshare", "--mount", "sh", "-c", READ_ONLY_SCRIPT, "sh", folder]


def read_only_mount_refusal(folder):
    """None when a read-only mount really stops writes into folder; else why not."""
    try:
        result = subprocess.run([*read_only_wrap(folder), "sh", "-c", 'touch "$0/.probe"', folder],
                                capture_output=True, text=True, timeout=30)
    except OSError as error:
        return f"cannot run unshare: {error}"
    if os.path.exists(os.path.join(folder, ".probe")):
        os.remove(os.path.join(folder, ".probe"))
        return "a file could still be made under the read-only mount"
    if "Read-only file system" not in result.stderr:
        return f"no read-only mount in a namespace of its own: {result.stderr.strip()}"
    return None


def folder_state(folder):
    """Every entry below folder with its permissions and, for files, a hash."""
    state = {}
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(top, name)
            entry = [os.stat(path).st_mode]
            if name in files:
                with open(path, "rb") as f:
                    entry.append(hashlib.sha256(f.read()).hexdigest())
            state[os.path.relpath(path, folder)] = entry
    return state


class ReadOnlyProgramFolder(unittest.TestCase):
    """An installed copy: its folder cannot be written, so the settings live in the
    user's own settings folder ($XDG_CONFIG_HOME/vellum) and come back from there."""

    packaged = "; as packaged\n[Form1]\nleft=150\ntop=120\nwidth=600\nheight=400\n[Other]\nmine=yes\n"

    def setUp(self):
        self.s = Session(settings=self.packaged, start=False)
        self.addCleanup(self.s.close)
        refusal = read_only_mount_refusal(self.s.program)
        if refusal:
            self.skipTest(f"needs a read-only mount for the program folder: {refusal}")
        self.wrap = read_only_wrap(self.s.program)

    def test_settings_go_to_the_users_folder_and_are_read_back(self):
        before = folder_state(self.s.program)
        self.s.start_viewer(wrap=self.wrap)
        self.assertEqual(self.s.geometry(), (150, 120, 600, 400), "read from the program folder")
        self.s.drag_handle((37, 21), (38, 22))
        wait_until(lambda: self.s.geometry()[:2] == (188, 142), what="moved")

        self.s.click_control("SpeedButton3")
        self.assertEqual(self.s.wait_exit(), 0, "closed without a message in the way")
        with open(self.s.user_settings_path(), newline="") as f:
            self.assertEqual(f.read(), "; as packaged\n[Form1]\nleft=188\ntop=142\nwidth=600\n"
                                       "height=400\n[Other]\nmine=yes\n[Misc]\nAlwaysOnTop=0\n")
        self.assertEqual(folder_state(self.s.program), before, "the program folder is untouched")

        self.s.start_viewer(wrap=self.wrap)
        self.assertEqual(self.s.geometry(), (188, 142, 600, 400), "read from the user's folder")
        self.assertEqual(self.s.host("close"), 0)
        self.assertEqual(self.s.wait_exit(), 0)
        self.assertEqual(folder_state(self.s.program), before)


if __name__ == "__main__":
    unittest.main()
