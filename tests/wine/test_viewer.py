"""vellum.exe under Wine: its window, placement, host messages, title bar,
menu, drag and stay-on-top. Wine renders no page (no engine is installed), so
every navigation ends in a navigation error; page content is proven on Linux."""
import os
import subprocess
import time
import unittest

from wine_viewer import (HOST, PROBE, WS_BORDER, WS_DLGFRAME, WS_EX_TOPMOST, WS_MAXIMIZEBOX,
                         WS_MINIMIZEBOX, WS_POPUP, WS_SYSMENU, WS_THICKFRAME, ViewerTestCase,
                         WineViewer, settings_text)

# The WebBrowser control's windows: without a document, Wine has only the first two.
BROWSER_WINDOWS = ("Shell Embedding", "Shell DocObject View", "Internet Explorer_Server")


class Viewer(ViewerTestCase):
    def test_window_identity_style_and_title_bar(self):
        viewer = self.viewer()
        info = viewer.probe()
        self.assertEqual((info["class"], info["text"]), ("TfrmHView", "Vellum"))
        style = info["style"]
        for bit in (WS_POPUP, WS_BORDER, WS_THICKFRAME, WS_SYSMENU, WS_MINIMIZEBOX,
                    WS_MAXIMIZEBOX):
            self.assertEqual(style & bit, bit, hex(bit))
        self.assertEqual(style & WS_DLGFRAME, 0, "no caption bar")
        self.assertEqual(info["exstyle"] & WS_EX_TOPMOST, 0)
        self.assertEqual(info["owner"]["class"], "VellumApplication")
        # Without settings: 600 x 400 at (100, 100).
        self.assertEqual(info["rect"], [100, 100, 700, 500])

        ox, oy = info["client_origin"]
        width = info["client_size"][0]
        # Every button a target of 24 x 24 pixels.
        expected = {"Panel1": (0, 0, width, 26), "Image1": (1, 1, 24, 24),
                    "SpeedButton2": (28, 1, 77, 24),
                    "SBtnBACK": (width - 126, 1, 24, 24), "SBtnFORWARD": (width - 102, 1, 24, 24),
                    "Image2": (width - 76, 1, 24, 24), "SpeedButton4": (width - 50, 1, 24, 24),
                    "SpeedButton3": (width - 25, 1, 24, 24)}
        for name, (x, y, w, h) in expected.items():
            self.assertEqual(WineViewer.child(info, name)["rect"],
                             [ox + x, oy + y, ox + x + w, oy + y + h], name)
        # "Index Sample" whole: wider than the design's 40 px, short of Back.
        left, top, right, bottom = WineViewer.child(info, "SBtnINDEX")["rect"]
        self.assertEqual((left, top, bottom), (ox + 198, oy + 1, oy + 25))
        self.assertGreater(right - left, 40)
        self.assertLessEqual(right, WineViewer.child(info, "SBtnBACK")["rect"][0] - 4)
        captions = {c["name"]: (c["text"], c["visible"], c["enabled"])
                    for c in info["children"] if c["name"]}
        self.assertEqual(captions["SBtnINDEX"], ("Index Sample", True, True))
        self.assertEqual(captions["SpeedButton1"][1], False, "pending jump hidden")
        # Signs are drawn; the controls' names are words.
        self.assertEqual(captions["SBtnBACK"], ("Back", True, False))
        self.assertEqual(captions["SBtnFORWARD"], ("Forward", True, False))
        self.assertEqual(captions["SpeedButton3"][0], "Close")
        self.assertEqual(captions["SpeedButton4"][0], "Minimize")
        # Activating the window hands the keyboard on to the browser control.
        viewer.click(ox + 260, oy + 10)
        focus = viewer.wait_for(lambda i: i["focus"], "the keyboard focus")["focus"]
        self.assertIn(focus, BROWSER_WINDOWS)
        # The browser control fills the client area below the title bar.
        control = next(c for c in info["children"] if c["class"] == "Shell Embedding")
        self.assertEqual(control["rect"], [ox, oy + 26, ox + width, oy + info["client_size"][1]])

    def test_saved_places_are_limited_to_the_1024x768_screen(self):
        cases = [  # saved left, top, width, height -> placed rectangle
            ((2000, 100, 600, 400), (424, 100)),
            ((950, 100, 50, 400), (924, 100)),
            ((100, 700, 600, 400), (100, 368)),
            ((100, 760, 600, 10), (100, 738)),
            # Partly off the screen, the title bar still on it: left as saved.
            ((-300, -10, 600, 400), (-300, -10)),
            # On a monitor that is not there: brought onto the screen.
            ((-5000, -20, 600, 400), (0, 0)),
        ]
        for (left, top, width, height), (x, y) in cases:
            viewer = self.viewer(settings_text(left, top, width, height))
            info = viewer.probe()
            self.assertEqual(info["rect"], [x, y, x + width, y + height], (left, top))
            viewer.stop()

    def test_host_close_saves_bounds_and_stay_on_top_and_keeps_other_lines(self):
        extra = "; kept\r\n[Other]\r\nkey=value\r\n"
        viewer = self.viewer(settings_text(150, 120, 500, 350, on_top=True, extra=extra))
        self.assertEqual(viewer.probe()["exstyle"] & WS_EX_TOPMOST, WS_EX_TOPMOST)
        self.assertEqual(viewer.host("close").returncode, 0)
        self.assertEqual(viewer.wait_exit(), 0)
        saved = viewer.settings()
        for line in ("left=150", "top=120", "width=500", "height=350", "AlwaysOnTop=1",
                     "; kept", "[Other]", "key=value"):
            self.assertIn(line + "\r\n", saved)

    def test_host_minimize_hides_the_viewer_until_the_taskbar_entry_is_restored(self):
        viewer = self.viewer()
        self.assertEqual(viewer.host("minimize").returncode, 0)
        info = viewer.wait_for(lambda i: not i["visible"], "the viewer to hide")
        self.assertTrue(info["owner"]["iconic"], "the taskbar entry is minimized")
        self.assertEqual(self.w.wine(PROBE, "restore").returncode, 0)
        info = viewer.wait_for(lambda i: i["visible"], "the viewer to come back")
        self.assertFalse(info["owner"]["iconic"])
        # Activating the taskbar entry hands on to the viewer and its page.
        self.assertEqual(self.w.wine(PROBE, "activate").returncode, 0)
        viewer.wait_for(lambda i: i["foreground"] and i["focus"] in BROWSER_WINDOWS,
                        "the viewer active with the page focused")

    def test_a_burst_then_the_location_button_sends_only_the_last_location(self):
        server = self.serve()
        viewer = self.viewer()
        started = time.monotonic()
        self.assertEqual(viewer.burst("ALP:1:1", "BET:2:2", "GAM:3:3"), 0)
        viewer.wait_for_caption("SpeedButton2", "Gamma 3:3")
        # Every page fails under Wine; the wait ends with the error, long
        # before the ten-second limit.
        self.assertLess(time.monotonic() - started, 8)
        viewer.click_control("SpeedButton2")
        time.sleep(0.5)
        self.assertEqual(self.requests(server), ["REQUEST GAM3:3"])

    def test_a_hung_host_does_not_hang_the_viewer(self):
        self.serve("--hang")
        viewer = self.viewer()
        self.assertEqual(viewer.host("show", "ALP", "2", "3").returncode, 0)
        viewer.wait_for_caption("SpeedButton2", "Alpha 2:3")
        for _ in range(3):
            viewer.click_control("SpeedButton2")
        # The viewer still takes a message within the host tool's two seconds.
        self.assertEqual(viewer.host("show", "BET", "4", "5").returncode, 0)
        viewer.wait_for_caption("SpeedButton2", "Beta 4:5")

    def test_the_icon_opens_our_menu_and_right_clicks_on_the_title_bar_do_not(self):
        viewer = self.viewer()
        info = viewer.probe()
        left, top, _, _ = WineViewer.child(info, "Panel1")["rect"]
        viewer.click(left + 260, top + 10, button=3)
        self.assertEqual(viewer.probe()["menus"], [])
        icon = WineViewer.child(info, "Image1")
        x, y = icon["rect"][0] + 5, icon["rect"][1] + 6
        viewer.xdotool("mousemove", x, y)
        viewer.xdotool("mousedown", 1)
        menus = viewer.wait_for(lambda i: i["menus"], "the menu")["menus"]
        # Its corner: the icon's own offset in the title bar (1, 1) left of and above
        # the pointer.
        self.assertEqual(menus[0][:2], [x - 1, y - 1])
        viewer.xdotool("mouseup", 1)
        viewer.xdotool("key", "Escape")
        viewer.wait_for(lambda i: not i["menus"], "the menu to close")

    def test_always_on_top_from_the_menu_survives_a_restart_and_close_ends(self):
        viewer = self.viewer()
        viewer.host("show", "BET", "1", "2")
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")
        viewer.choose("Always on top")
        info = viewer.wait_for(lambda i: i["exstyle"] & WS_EX_TOPMOST, "stay on top")
        # The place stays where it was.
        self.assertEqual(WineViewer.child(info, "SpeedButton2")["text"], "Beta 1:2")
        viewer.stop()
        self.assertIn("AlwaysOnTop=1\r\n", viewer.settings())
        again = self.viewer(viewer.settings())
        self.assertEqual(again.probe()["exstyle"] & WS_EX_TOPMOST, WS_EX_TOPMOST)
        again.choose("Close")
        self.assertEqual(again.wait_exit(), 0)

    def test_the_text_size_from_the_menu_and_the_keys_is_saved(self):
        viewer = self.viewer()
        viewer.choose("Larger text")
        info = viewer.probe()
        page = [c for c in info["children"] if c["class"] == "Shell DocObject View"][0]
        viewer.click(*WineViewer.centre(page))
        viewer.xdotool("key", "ctrl+plus")
        viewer.xdotool("keydown", "ctrl", "click", "4", "keyup", "ctrl")  # the wheel, up
        viewer.stop()
        self.assertIn("[Reader]\r\nTextSize=150\r\n", viewer.settings())

    def test_the_find_bar_opens_from_the_menu_and_keys_and_escape_closes_it(self):
        viewer = self.viewer()

        def page(info):
            return [c for c in info["children"] if c["class"] == "Shell DocObject View"][0]

        page_top = page(viewer.probe())["rect"][1]
        viewer.choose("Find in page")
        info = viewer.wait_for(lambda i: WineViewer.child(i, "FindText")["visible"]
                               and i["focus"] == "Edit", "the find bar with the keyboard")
        field = WineViewer.child(info, "FindText")
        # The page makes room for the bar under the title bar.
        self.assertGreaterEqual(page(info)["rect"][1], field["rect"][3])
        self.assertGreater(page(info)["rect"][1], page_top)
        viewer.xdotool("type", "zqxj")
        viewer.wait_for_caption("FindText", "zqxj")
        viewer.wait_for_caption("FindStatus", "not found")
        viewer.xdotool("key", "Return", "F3", "shift+F3")
        self.assertEqual(viewer.child(viewer.probe(), "FindStatus")["text"], "not found")
        viewer.xdotool("key", "Escape")
        info = viewer.wait_for(lambda i: not WineViewer.child(i, "FindText")["visible"],
                               "the find bar to close")
        self.assertNotEqual(info["focus"], "Edit")
        self.assertEqual(page(info)["rect"][1], page_top)
        # From the page: Ctrl+F, and Escape there; then F3 opens it too,
        # with the last search kept.
        viewer.click(*WineViewer.centre(page(info)))
        viewer.xdotool("key", "ctrl+f")
        viewer.wait_for(lambda i: i["focus"] == "Edit", "Ctrl+F to open the find bar")
        viewer.click(*WineViewer.centre(page(viewer.probe())))
        viewer.xdotool("key", "Escape")
        viewer.wait_for(lambda i: not WineViewer.child(i, "FindText")["visible"],
                        "Escape on the page to close the bar")
        viewer.xdotool("key", "F3")
        info = viewer.wait_for(lambda i: WineViewer.child(i, "FindText")["visible"],
                               "F3 to open the find bar")
        self.assertEqual(WineViewer.child(info, "FindText")["text"], "zqxj")
        viewer.click_control("FindClose")
        viewer.wait_for(lambda i: not WineViewer.child(i, "FindText")["visible"],
                        "the close button to close the bar")
        self.assertIsNone(viewer.process.poll())

    def test_copy_with_reference_reaches_the_desktops_clipboard(self):
        viewer = self.viewer()
        viewer.host("show", "BET", "2", "3")
        viewer.wait_for_caption("SpeedButton2", "Beta 2:3")
        # No page renders here: nothing is selected, so the reference stands alone.
        viewer.choose("Copy with reference")
        deadline = time.monotonic() + 20
        text = ""
        while time.monotonic() < deadline and text != "Beta 2:3, Sample":
            text = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.w.env,
                                  capture_output=True, text=True, timeout=10).stdout
            time.sleep(0.2)
        self.assertEqual(text, "Beta 2:3, Sample")
        self.assertIsNone(viewer.process.poll())

    def test_f6_and_tab_reach_every_title_bar_button_and_the_keys_press_them(self):
        viewer = self.viewer()
        viewer.host("show", "ALP", "1", "1")
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")
        viewer.click(*WineViewer.centre(next(c for c in viewer.probe()["children"]
                                             if c["class"] == "Shell Embedding")))
        viewer.xdotool("key", "F6")
        viewer.wait_for(lambda i: i["focus_name"] == "Image1", "F6: the menu icon")
        walked = []
        for _ in range(4):  # Back and Forward are disabled: passed over
            viewer.xdotool("key", "Tab")
            walked.append(viewer.probe()["focus_name"])
        self.assertEqual(walked, ["SpeedButton2", "SBtnINDEX", "SpeedButton4", "SpeedButton3"])
        viewer.xdotool("key", "shift+Tab", "shift+Tab")
        viewer.wait_for(lambda i: i["focus_name"] == "SBtnINDEX", "Shift+Tab: back along")
        viewer.xdotool("key", "Return")
        viewer.wait_for_caption("SpeedButton2", "About")  # on the Index page
        viewer.xdotool("key", "F6")
        viewer.wait_for(lambda i: i["focus"] in BROWSER_WINDOWS, "F6: the page again")
        viewer.xdotool("key", "F6", "Return")
        viewer.wait_for(lambda i: i["menus"], "the menu from the icon")
        viewer.xdotool("key", "Escape")

    def test_the_find_bars_count_keeps_its_width_in_a_narrow_window(self):
        viewer = self.viewer(settings_text(100, 100, 260, 300))
        for _ in range(2):  # and after reopening
            viewer.xdotool("key", "ctrl+f")
            info = viewer.wait_for(lambda i: WineViewer.child(i, "FindText")["visible"], "open")
            viewer.xdotool("key", "Escape")
            viewer.wait_for(lambda i: not WineViewer.child(i, "FindText")["visible"], "closed")
        viewer.xdotool("key", "ctrl+f")
        viewer.xdotool("type", "zqxj")
        viewer.wait_for_caption("FindStatus", "not found")
        info = viewer.probe()
        status, close, following = (WineViewer.child(info, name)["rect"]
                                    for name in ("FindStatus", "FindClose", "FindNext"))
        self.assertGreaterEqual(status[2] - status[0], 120, "room for \"10000 of 10000+\"")
        self.assertLessEqual(following[2], status[0])
        self.assertLessEqual(status[2], close[0])
        self.assertLessEqual(close[2] - info["rect"][0], 260, "inside the window")

    def test_the_library_submenu_and_option_choose_and_the_choice_is_saved(self):
        viewer = self.viewer(start=False)
        # A second library, last in name order: the one shown by default.
        second = os.path.join(viewer.folder, "zz.htm")
        os.makedirs(second)
        with open(os.path.join(second, "index.ini"), "w", newline="") as f:
            f.write("[INFO]\r\nShortName=Zed & Co\r\n[Bookfiles]\r\nIDX=index.htm\r\n")
        viewer.start()
        viewer.wait_for_caption("SBtnINDEX", "Index Zed & Co")
        viewer.choose_library(1)  # the sample: listed after the real library
        viewer.wait_for_caption("SBtnINDEX", "Index Sample")
        viewer.stop()
        self.assertIn("[Reader]\r\nLibrary=web\r\nLibraryPlace=program\r\n", viewer.settings())
        viewer.start()
        viewer.wait_for_caption("SBtnINDEX", "Index Sample")
        viewer.stop()
        viewer.start("--library", "ZED & CO")
        viewer.wait_for_caption("SBtnINDEX", "Index Zed & Co")
        viewer.stop()
        result = subprocess.run(["wine", os.path.join(viewer.folder, "vellum.exe"), "--library",
                                 "Nothing"], env=self.w.env, capture_output=True, text=True,
                                timeout=60)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn('no library is called "Nothing"', result.stderr)
        self.assertIn("  zz  (Zed & Co, in ", result.stderr)

    def test_the_apps_mode_is_followed_and_the_theme_menu_overrides_it(self):
        key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize"
        self.w.wine("reg", "add", key, "/v", "AppsUseLightTheme", "/t", "REG_DWORD", "/d", "0",
                    "/f")
        self.addCleanup(self.w.wine, "reg", "delete", key, "/v", "AppsUseLightTheme", "/f")
        viewer = self.viewer()
        viewer.wait_for(lambda i: viewer.title_bar_brightness() < 80, "a dark title bar")
        viewer.choose_theme("Light")
        viewer.wait_for(lambda i: viewer.title_bar_brightness() > 150, "a light title bar")
        viewer.choose_theme("Follow system")
        viewer.wait_for(lambda i: viewer.title_bar_brightness() < 80, "dark again")
        # The desktop turns light: the viewer hears of it and follows.
        self.w.wine("reg", "add", key, "/v", "AppsUseLightTheme", "/t", "REG_DWORD", "/d", "1",
                    "/f")
        self.assertEqual(self.w.wine(PROBE, "colour-set-change").returncode, 0)
        viewer.wait_for(lambda i: viewer.title_bar_brightness() > 150, "the desktop's light")
        viewer.choose_theme("Dark")
        viewer.wait_for(lambda i: viewer.title_bar_brightness() < 80, "the chosen dark")
        viewer.stop()
        self.assertIn("[Reader]\r\nTheme=dark\r\n", viewer.settings())

    def test_title_bar_minimize_and_close_buttons(self):
        viewer = self.viewer(settings_text(200, 150, 480, 320))
        viewer.click_control("SpeedButton4")
        info = viewer.wait_for(lambda i: not i["visible"], "the viewer to hide")
        self.assertTrue(info["owner"]["iconic"])
        self.assertEqual(self.w.wine(PROBE, "restore").returncode, 0)
        viewer.wait_for(lambda i: i["visible"], "the viewer to come back")
        viewer.click_control("SpeedButton3")
        self.assertEqual(viewer.wait_exit(), 0)
        self.assertEqual(viewer.settings(), settings_text(200, 150, 480, 320, on_top=False))

    def test_unknown_codes_and_short_payloads(self):
        viewer = self.viewer()
        for args in (("send", "0"), ("send", "2", "41424300"), ("send", "12"), ("send", "1"),
                     ("send", "1", "0000000000000342455400")):
            self.assertEqual(viewer.host(*args).returncode, 0, args)
        # The last, a short record of code BET and chapter 0, was shown.
        viewer.wait_for_caption("SpeedButton2", "Beta 0:0")
        self.assertIsNone(viewer.process.poll())

    def dwell(self, viewer, code, chapter, verse, caption):
        self.assertEqual(viewer.host("show", code, str(chapter), str(verse)).returncode, 0)
        viewer.wait_for_caption("SpeedButton2", caption)
        time.sleep(1.3)

    def test_dwell_back_and_forward(self):
        viewer = self.viewer()
        self.dwell(viewer, "ALP", 1, 1, "Alpha 1:1")
        self.dwell(viewer, "BET", 1, 2, "Beta 1:2")
        self.dwell(viewer, "GAM", 2, 3, "Gamma 2:3")
        viewer.click_control("SBtnBACK")
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")
        viewer.click_control("SBtnBACK")
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")
        viewer.wait_for(lambda i: not WineViewer.child(i, "SBtnBACK")["enabled"], "Back disabled")
        viewer.click_control("SBtnFORWARD")
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")

    def test_the_mouse_buttons_and_alt_arrows_step_our_history(self):
        viewer = self.viewer()
        self.dwell(viewer, "ALP", 1, 1, "Alpha 1:1")
        self.dwell(viewer, "BET", 1, 2, "Beta 1:2")
        info = viewer.probe()
        # Over the page, the control's window: never its own history.
        page = [c for c in info["children"] if c["class"] == "Shell DocObject View"][0]
        viewer.click(*WineViewer.centre(page), button=8)
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")
        # Over the title bar, our own.
        left, top, _, _ = WineViewer.child(info, "Panel1")["rect"]
        viewer.click(left + 260, top + 10, button=9)
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")
        # Alt+Left and Alt+Right, with the keyboard on the page.
        viewer.click(*WineViewer.centre(page))
        viewer.xdotool("key", "alt+Left")
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")
        viewer.xdotool("key", "alt+Right")
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")

    def test_index_then_about_then_back(self):
        viewer = self.viewer()
        self.dwell(viewer, "ALP", 1, 1, "Alpha 1:1")
        viewer.click_control("SBtnINDEX")
        viewer.wait_for_caption("SpeedButton2", "About")
        viewer.click_control("SpeedButton2")  # on the Index page: the About page
        time.sleep(0.5)
        viewer.click_control("SBtnBACK")  # the Index entry
        time.sleep(0.5)
        viewer.click_control("SBtnBACK")
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")

    def test_holding_back_repeats_until_the_oldest_entry(self):
        viewer = self.viewer()
        for verse in range(1, 7):
            self.dwell(viewer, "ALP", 1, verse, f"Alpha 1:{verse}")
        x, y = WineViewer.centre(WineViewer.child(viewer.probe(), "SBtnBACK"))
        viewer.xdotool("mousemove", x, y)
        viewer.xdotool("mousedown", 1)
        time.sleep(1.5)
        viewer.xdotool("mouseup", 1)
        viewer.wait_for(lambda i: not WineViewer.child(i, "SBtnBACK")["enabled"],
                        "the oldest entry")
        viewer.wait_for_caption("SpeedButton2", "Alpha 1:1")

    def drag(self, viewer, dx, dy):
        x, y = WineViewer.centre(WineViewer.child(viewer.probe(), "Image2"))
        viewer.xdotool("mousemove", x, y)
        viewer.xdotool("mousedown", 1)
        viewer.xdotool("mousemove", x + dx, y + dy)
        viewer.xdotool("mouseup", 1)
        return viewer.probe()["rect"]

    def test_dragging_the_handle_docks_to_the_host_window(self):
        self.serve("--geometry", "400x300+100+100")  # R = (100, 100, 500, 400)
        viewer = self.viewer(settings_text(300, 300, 300, 400))
        cases = [  # raw left, top -> docked left, top
            ((505, 110), (500, 100)),   # right of the host, tops aligned
            ((525, 125), (525, 125)),   # both exactly 25 away: no snap
            ((-195, 300), (-200, 300)),  # its right edge on the host's left edge
            ((150, 412), (150, 400)),   # below the host
        ]
        for (raw_left, raw_top), (left, top) in cases:
            rect = viewer.probe()["rect"]
            moved = self.drag(viewer, raw_left - rect[0], raw_top - rect[1])
            self.assertEqual(moved, [left, top, left + 300, top + 400], (raw_left, raw_top))

    def test_aligning_left_edges_takes_the_hosts_width_when_close(self):
        self.serve("--geometry", "400x300+100+100")
        viewer = self.viewer(settings_text(300, 350, 390, 300))
        rect = viewer.probe()["rect"]
        self.assertEqual(self.drag(viewer, 110 - rect[0], 0), [100, 350, 500, 650])


if __name__ == "__main__":
    unittest.main()
