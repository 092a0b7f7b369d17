"""End-to-end tests of the Linux viewer with large pages: what a page loading slowly
must not mix up, and what a reader must not see while it loads."""
import os
import time
import unittest

from session import Session, wait_until


class AfterABigPage(unittest.TestCase):
    """A page of 30,000 anchors that loads slowly, and a small one asked for
    while it loads: the small page is indexed from its own anchors, never
    from those of the big page it follows."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        parts = ["<!DOCTYPE html><html><head><meta charset='utf-8'></head><body>"]
        for c in range(1, 121):
            parts.append(f"<h2>{c}</h2>")
            parts.extend(f"<p><a name='CV{c:03d}{v:03d}'></a>{c}:{v} A line.</p>"
                         for v in range(1, 251))
        parts.append("</body></html>")
        with open(os.path.join(self.s.program, "web.htm", "big.htm"), "w") as f:
            f.write("\n".join(parts))
        with open(os.path.join(self.s.program, "web.htm", "index.ini"), "a") as f:
            f.write("BIG=big.htm\r\n")
        with open(os.path.join(self.s.program, "books.ini"), "a") as f:
            f.write("BIG=Big\r\n")
        self.s.env["VELLUM_TRACE"] = "1"
        self.s.start_viewer()

    def names_read(self):
        """How many names each anchor read of the viewer's took in."""
        with open(self.s.viewer_log) as f:
            return [int(line.split()[1]) for line in f if "anchor names in one call" in line]

    def show(self, code, chapter, verse, caption):
        self.s.host("show", code, str(chapter), str(verse), check=True)
        self.s.wait_caption(caption, timeout=30)

    def test_a_small_page_asked_for_while_a_big_one_loads_scrolls_by_its_own_anchors(self):
        self.show("BIG", 120, 250, "Big 120:250")
        time.sleep(1.2)  # dwells into the history
        self.show("ALP", 1, 1, "Alpha 1:1")
        time.sleep(1.2)
        self.s.click_control("SBtnBACK")  # the big page loads again, slowly
        time.sleep(0.3)
        self.show("BET", 2, 5, "Beta 2:5")
        wait_until(lambda: self.s.page_url().endswith("/beta.htm#CV002005"), timeout=30,
                   what="the small page")
        self.s.wait_anchor_at_top("CV002005")
        self.assertEqual(self.names_read()[-1], 21, "the small page's own names")


# Notes, frame by frame from the start of the document, where the page stood and
# whether it could be seen, until a few frames after it was complete.
FRAME_LOG = """<script>
var vellumFrames = [], vellumAfter = 0;
(function () {
  function frame() {
    var root = document.documentElement;
    vellumFrames.push([Math.round(scrollY), root ? getComputedStyle(root).opacity : "none"]);
    if (document.readyState == "complete") vellumAfter++;
    if (vellumAfter < 5 && vellumFrames.length < 5000) requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
})();
</script>"""

WORDS = "grace truth light word covenant promise spirit faith hope mercy kingdom law".split()


def commentary(path, chapters=50, entries=30):
    """About 14 MB: large enough that WebKit paints it before it has parsed it all."""
    parts = ["<!DOCTYPE html><html style='color: black'><head><meta charset='utf-8'>",
             FRAME_LOG, "</head><body>"]
    for c in range(1, chapters + 1):
        parts.append(f"<h2>Chapter {c}</h2>")
        for v in range(1, entries + 1):
            parts.append(f"<p><a name='CV{c:03d}{v:03d}'></a><b>{c}:{v}</b></p>")
            for k in range(5):
                parts.append("<p>" + " ".join(WORDS[(c * 7 + v * 3 + k + i) % len(WORDS)]
                                              for i in range(250)) + "</p>")
    parts.append("</body></html>")
    with open(path, "w") as f:
        f.write("\n".join(parts))


class LargePageSeenOnlyAtItsAnchor(unittest.TestCase):
    """A large book page is never seen at its top and then jumping to the location:
    it shows once it stands at the anchor, and the page's own style is left as it was."""

    def setUp(self):
        self.s = Session(start=False)
        self.addCleanup(self.s.close)
        commentary(os.path.join(self.s.program, "web.htm", "huge.htm"))
        with open(os.path.join(self.s.program, "web.htm", "index.ini"), "a") as f:
            f.write("HUG=huge.htm\r\n")
        with open(os.path.join(self.s.program, "books.ini"), "a") as f:
            f.write("HUG=Huge\r\n")
        self.s.start_viewer()

    def frames_at(self, chapter, verse, anchor):
        self.s.host("show", "HUG", str(chapter), str(verse), check=True)
        self.s.wait_caption(f"Huge {chapter}:{verse}", timeout=30)
        wait_until(lambda: self.s.page("document.URL.indexOf('/huge.htm') >= 0 && vellumAfter >= 5"),
                   timeout=60, what="the large page, complete")
        self.s.wait_anchor_at_top(anchor)
        return self.s.page("vellumFrames")

    def check(self, frames):
        seen = [y for y, opacity in frames if opacity != "0"]
        self.assertTrue(seen, f"never seen: {frames[:20]}")
        self.assertNotIn(0, seen, f"seen at its top: {frames[:40]}")
        root = "document.documentElement.style"
        self.assertEqual(self.s.page(f"[{root}.opacity, {root}.color]"), ["", "black"])

    def test_a_location_with_its_own_anchor(self):
        self.check(self.frames_at(48, 2, "CV048002"))

    def test_a_location_without_one_shows_the_anchor_before_it(self):
        self.check(self.frames_at(48, 40, "CV048030"))
