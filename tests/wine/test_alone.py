"""vellum.exe on its own under Wine: the Go to bar from its key and the menu, with
the book's name completed as it is typed and what cannot be read said beside it; the
last place kept in Vellum.ini and opened again without a host; and the host's silence
told in the title bar. Wine renders no page, but captions and settings follow."""
import unittest

from wine_viewer import ViewerTestCase, WineViewer


class Alone(ViewerTestCase):
    @staticmethod
    def field(viewer, name):
        return WineViewer.child(viewer.probe(), name)

    def test_go_to_completes_reads_says_what_it_cannot_and_the_place_is_kept(self):
        viewer = self.viewer()
        page = [c for c in viewer.probe()["children"] if c["class"] == "Shell DocObject View"][0]
        viewer.click(*WineViewer.centre(page))
        viewer.xdotool("key", "ctrl+l")
        viewer.wait_for(lambda i: WineViewer.child(i, "GoToText")["visible"]
                        and i["focus"] == "Edit", "Ctrl+L to open the Go to bar")
        viewer.xdotool("type", "--delay", "50", "Alp")
        viewer.wait_for_caption("GoToText", "Alphabet")
        viewer.xdotool("key", "Tab")
        viewer.wait_for_caption("GoToText", "Alphabet ")
        viewer.xdotool("type", "--delay", "50", "3:7")
        viewer.xdotool("key", "Return")
        viewer.wait_for_caption("SpeedButton2", "Alpha 3:7")
        viewer.wait_for(lambda i: not WineViewer.child(i, "GoToText")["visible"], "the bar closed")

        viewer.choose("Go to")
        viewer.wait_for(lambda i: WineViewer.child(i, "GoToText")["visible"]
                        and i["focus"] == "Edit", "the menu to open the Go to bar")
        viewer.xdotool("type", "--delay", "50", "Nowhere 3")
        viewer.xdotool("key", "Return")
        viewer.wait_for_caption("GoToStatus", "No book is called \u201cNowhere\u201d.")
        self.assertEqual(self.field(viewer, "SpeedButton2")["text"], "Alpha 3:7")
        viewer.xdotool("key", "Escape")
        viewer.wait_for(lambda i: not WineViewer.child(i, "GoToText")["visible"],
                        "Escape to close the bar")

        viewer.stop()
        settings = viewer.settings()
        self.assertIn("Place=ALP 3:7\r\nPlaceLibrary=web\r\nPlaceLibraryPlace=program\r\n",
                      settings)
        # Started again without a host: there, its first history entry.
        viewer.start()
        info = viewer.wait_for_caption("SpeedButton2", "Alpha 3:7")
        self.assertFalse(WineViewer.child(info, "SBtnBACK")["enabled"])

    def test_a_request_the_host_does_not_answer_is_told_in_the_title_bar(self):
        viewer = self.viewer()
        # Beside the viewer, not over its title bar.
        self.serve("--geometry", "300x300+720+100")  # beside the viewer, never answering
        viewer.host("show", "BET", "1", "2")
        viewer.wait_for_caption("SpeedButton2", "Beta 1:2")
        self.assertFalse(self.field(viewer, "Notice")["visible"])
        viewer.click_control("SpeedButton2")  # asks the host, which never answers
        info = viewer.wait_for(lambda i: WineViewer.child(i, "Notice")["visible"], "the notice")
        self.assertEqual(WineViewer.child(info, "Notice")["text"], "The host did not answer")
        # The host speaks again: the notice goes.
        viewer.host("show", "GAM", "1", "1")
        viewer.wait_for(lambda i: not WineViewer.child(i, "Notice")["visible"], "the notice gone")


if __name__ == "__main__":
    unittest.main()
