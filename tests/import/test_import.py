"""vellum-import on real modules made by osis2mod (fixtures.py) and on a module from
Debian's packages: the pages, anchors, links, index page and ini files it writes, its
exit codes, and that a failed import leaves nothing behind."""
import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fixtures import BIBLE, COMMENTARY, IMPORT as IMPORT_TOOL, Library, run_import  # noqa: E402

LINK = re.compile(r"^([a-z0-9]{3})\.htm\$BCV([0-9A-Z]{3})(\d{1,3}):(\d{1,3})$")
# A Strong's number or a morphology code left as text, in any of the forms the
# library's filters print them: <1520>, &lt;G3588&gt;, ‹3588›, (V-PAI-3S).
WORD_STUDY = re.compile(r"(&lt;|<|‹)\s*[GH]?\d+\s*(&gt;|>|›)|class=\"(strongs|morph)\"|"
                        r"\((robinson:)?[A-Z]{1,4}-[A-Z0-9-]+\)")


class Page(html.parser.HTMLParser):
    """What a page holds: its anchors in order, its links (href, text), every other
    attribute that could load or lead somewhere, and its charset."""

    def __init__(self, path):
        super().__init__()
        self.anchors, self.links, self.elsewhere, self.charset = [], [], [], None
        self._link = None
        with open(path, encoding="utf-8") as f:  # fails on anything but UTF-8
            self.text = f.read()
        self.feed(self.text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "meta" and "charset" in attrs:
            self.charset = attrs["charset"]
        if tag == "a" and "name" in attrs:
            self.anchors.append(attrs["name"])
        if tag == "a" and "href" in attrs:
            self._link = [attrs["href"], ""]
        for key in ("src", "background", "action", "srcset", "data"):
            if key in attrs:
                self.elsewhere.append((tag, key, attrs[key]))
        if tag != "a" and "href" in attrs:
            self.elsewhere.append((tag, "href", attrs["href"]))

    def handle_data(self, data):
        if self._link is not None:
            self._link[1] += data

    def handle_endtag(self, tag):
        if tag == "a" and self._link is not None:
            self.links.append(tuple(self._link))
            self._link = None


def ini_sections(path):
    sections, current = {}, None
    with open(path, newline="") as f:
        content = f.read()
    for line in content.split("\r\n"):
        if line.startswith("["):
            current = sections.setdefault(line.strip("[]"), {})
        elif "=" in line and current is not None:
            key, value = line.split("=", 1)
            current[key] = value
    return sections, content


class ImportTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vellum-import-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.library = Library(os.path.join(self.dir, "sword"))
        self.out = os.path.join(self.dir, "out")

    def imported(self, *args, expect=0):
        code, out, err = run_import(self.library.env(), *args)
        self.assertEqual(code, expect, f"stdout: {out}\nstderr: {err}")
        return out, err

    def assert_nothing_left(self):
        """No library and no staging remains in the output folder."""
        left = os.listdir(self.out) if os.path.isdir(self.out) else []
        self.assertEqual([n for n in left if n != "books.ini"], [])

    def assert_links_stay_inside(self, page):
        self.assertEqual(page.elsewhere, [], "nothing may load or lead outside the library")
        for href, _ in page.links:
            match = LINK.match(href)
            self.assertIsNotNone(match, href)
            self.assertEqual(match.group(1), match.group(2).lower(), href)


class Commentary(ImportTestCase):
    def setUp(self):
        super().setUp()
        self.library.add("TestComm", COMMENTARY)
        out, err = self.imported("TestComm", "--to", self.out)
        self.assertIn("2 books, 7 entries", out)
        self.assertEqual(err, "", "no progress when standard error is not a terminal")
        self.folder = os.path.join(self.out, "TestComm.htm")

    def test_catalogue_lists_each_book_page_and_the_index(self):
        sections, content = ini_sections(os.path.join(self.folder, "index.ini"))
        self.assertEqual(sections["INFO"], {"ShortName": "TestComm", "Module": "TestComm"})
        self.assertEqual(sections["Bookfiles"],
                         {"IDX": "index.htm", "GEN": "gen.htm", "PSA": "psa.htm"})
        self.assertTrue(content.endswith("\r\n"))
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["books.ini", "gen.htm", "index.htm", "index.ini", "psa.htm"])

    def test_entries_start_with_their_anchors_in_order(self):
        page = Page(os.path.join(self.folder, "gen.htm"))
        self.assertEqual(page.charset, "utf-8")
        # Book and chapter introductions, a range at its first verse (1:3 is not
        # an entry of its own), and a later chapter, whose start has an anchor
        # of its own before its first entry.
        self.assertEqual(page.anchors, ["CV000000", "CV001000", "CV001001", "CV001002",
                                        "CV001026", "CV002000", "CV002004"])
        self.assertIn('<h3 class="r"><a name="CV002000"></a><a name="CV002004"></a>2:4</h3>',
                      page.text)
        self.assertIn("1:2-3", page.text)
        # A block per chapter, each laid out only when seen.
        blocks = re.findall(r'<div class="b" style="contain-intrinsic-size: auto \d+px;">',
                            page.text)
        self.assertEqual(len(blocks), 3)
        self.assertIn("content-visibility: auto", page.text)

    def test_references_become_cross_reference_links(self):
        page = Page(os.path.join(self.folder, "gen.htm"))
        self.assert_links_stay_inside(page)
        self.assertEqual(page.links, [
            ("jhn.htm$BCVJHN1:1", "John 1:1"),
            ("exo.htm$BCVEXO3:14", "Ex 3:14"),      # a list: one link per place
            ("isa.htm$BCVISA40:1", "Isa 40:1-3"),   # a range: its first verse
            ("psa.htm$BCVPSA23:1", "Ps 23:1"),      # no osisRef: read from its text
            ("mat.htm$BCVMAT1:1", "Mt 1:1"),
        ])

    def test_notes_inline_and_outside_links_as_plain_text(self):
        text = Page(os.path.join(self.folder, "gen.htm")).text
        self.assertIn('<span class="note">[A footnote with <i>style</i>.]</span>', text)
        self.assertIn("the web", text)
        self.assertNotIn("example.com", text)
        self.assertNotIn("picture.jpg", text)

    def test_index_page(self):
        page = Page(os.path.join(self.folder, "index.htm"))
        self.assertEqual(page.anchors[0], "TOC")
        self.assert_links_stay_inside(page)
        self.assertEqual(page.links, [("gen.htm$BCVGEN1:1", "Genesis"),
                                      ("psa.htm$BCVPSA23:1", "Psalms")])
        for text in ("TestComm, a test commentary", "<p>Made for the tests.</p>",
                     "<p>A second paragraph.</p>", "Public Domain"):
            self.assertIn(text, page.text)

    def test_book_names_of_its_own_beside_its_pages(self):
        sections, content = ini_sections(os.path.join(self.folder, "books.ini"))
        self.assertEqual(sections["INFO"], {"Language": "en"})
        self.assertEqual(sections["BKA"], {"GEN": "Gen", "PSA": "Ps"})
        self.assertEqual(sections["Names"], {"GEN": "Genesis", "PSA": "Psalms"})
        self.assertEqual(sections["Abbreviations"], {}, "English spellings are the viewer's own")
        # A books.ini the user keeps beside the libraries is theirs alone.
        self.assertFalse(os.path.exists(os.path.join(self.out, "books.ini")))

    def test_an_existing_library_is_replaced_only_with_force(self):
        marker = os.path.join(self.folder, "mine.txt")
        open(marker, "w").close()
        _, err = self.imported("TestComm", "--to", self.out, expect=6)
        self.assertIn("is there already; vellum-import TestComm --force replaces it", err)
        self.assertTrue(os.path.exists(marker))
        self.imported("TestComm", "--to", self.out, "--force")
        self.assertFalse(os.path.exists(marker))
        self.assertTrue(os.path.exists(os.path.join(self.folder, "gen.htm")))
        self.assertEqual(sorted(os.listdir(self.out)), ["TestComm.htm"])


class InterruptedRuns(ImportTestCase):
    """What a run killed between its two renames, or before its clean-up, leaves behind,
    and what the next import of that module makes of it, whether that import works or
    not. Here the next import fails: Empty has no entries."""
    DEAD = 99999999  # no such process

    def leave(self, name, marker):
        os.makedirs(os.path.join(self.out, name))
        open(os.path.join(self.out, name, marker), "w").close()

    def test_a_library_moved_aside_is_put_back_or_given_up_only_for_a_new_one(self):
        self.library.add("Good", COMMENTARY, compressed=True)
        self.library.add("Empty", "", driver="RawCom", data_of="Good")
        dead, alive = self.DEAD, os.getpid()
        cases = (
            # (what the killed run left, library there before, library after, kept)
            ("moved aside, the new one not yet in place",
             [f".Empty.htm.previous-{dead}-a1B2c3"], None, "old", []),
            ("moved aside by an earlier version",
             [f".Empty.htm.part-{dead}-a1B2c3.old"], None, "old", []),
            ("the new one in place, the old not yet removed",
             [f".Empty.htm.previous-{dead}-a1B2c3"], "new", "new", []),
            ("a staging folder of a run that died",
             [f".Empty.htm.part-{dead}-a1B2c3"], None, None, []),
            ("a staging folder of a run still going, and names not of ours",
             [f".Empty.htm.part-{alive}-a1B2c3", f".Empty.htm.previous-{dead}-a1B2c",
              ".Empty.htm.previous-x-a1B2c3", f".Other.htm.previous-{dead}-a1B2c3"], None, None,
             [f".Empty.htm.part-{alive}-a1B2c3", f".Empty.htm.previous-{dead}-a1B2c",
              ".Empty.htm.previous-x-a1B2c3", f".Other.htm.previous-{dead}-a1B2c3"]),
        )
        for what, left, before, after, kept in cases:
            with self.subTest(what):
                shutil.rmtree(self.out, ignore_errors=True)
                for name in left:
                    self.leave(name, "old")
                if before:
                    self.leave("Empty.htm", before)
                _, err = self.imported("Empty", "--to", self.out, "--force", expect=4)
                found = sorted(os.listdir(self.out))
                expected = sorted(kept + (["Empty.htm"] if after else []))
                self.assertEqual(found, expected)
                if after:
                    self.assertEqual(os.listdir(os.path.join(self.out, "Empty.htm")), [after])
                self.assertEqual("put back" in err, after == "old" and before is None, err)


class Bible(ImportTestCase):
    def test_verse_zero_and_verse_numbers(self):
        self.library.add("TestBible", BIBLE, kind="Bible", compressed=True)
        out, _ = self.imported("TestBible", "--to", self.out)
        self.assertIn("TestBible (Bible)", out)
        folder = os.path.join(self.out, "TestBible.htm")
        sections, _ = ini_sections(os.path.join(folder, "index.ini"))
        self.assertEqual(sections["Bookfiles"],
                         {"IDX": "index.htm", "PSA": "psa.htm", "JUD": "jud.htm"})
        page = Page(os.path.join(folder, "psa.htm"))
        self.assertEqual(page.anchors,
                         ["CV003000", "CV003001", "CV003002", "CV004000", "CV004001"])
        self.assertLess(page.text.index("A Psalm of David."), page.text.index('name="CV003001"'))
        self.assertIn('<sup class="v">2</sup>', page.text)


class ModuleZip(ImportTestCase):
    """A module .zip as CrossWire publishes them, read as it is: installed nowhere,
    and refused with a plain reason when it is not a module or not whole."""

    def zipped(self, name, members):
        path = os.path.join(self.dir, name)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for member, data in members.items():
                z.writestr(member, data)
        return path

    def module_members(self):
        """The members of the test Bible as a module .zip holds them."""
        self.library.add("ZipBible", BIBLE, kind="Bible", compressed=True)
        members = {}
        for root, _, files in os.walk(self.library.folder):
            for f in files:
                full = os.path.join(root, f)
                relative = os.path.relpath(full, self.library.folder)
                if relative.startswith(("mods.d", "modules")):
                    with open(full, "rb") as data:
                        members[relative] = data.read()
        shutil.rmtree(os.path.join(self.library.folder, "modules"))
        os.remove(os.path.join(self.library.folder, "mods.d", "zipbible.conf"))
        return members

    def test_a_module_zip_is_imported_and_nothing_is_installed(self):
        path = self.zipped("ZipBible.zip", self.module_members())
        scratch = os.path.join(self.dir, "tmp")
        os.mkdir(scratch)
        code, out, err = run_import(self.library.env(TMPDIR=scratch), path, "--to", self.out)
        self.assertEqual(code, 0, err)
        self.assertIn("ZipBible (Bible)", out)
        page = Page(os.path.join(self.out, "ZipBible.htm", "psa.htm"))
        self.assertIn("CV003001", page.anchors)
        self.assertEqual(os.listdir(os.path.join(self.library.folder, "mods.d")), [])
        self.assertEqual(os.listdir(scratch), [], "the unpacked module is gone")

    def test_what_is_not_a_whole_module_is_refused_and_writes_nothing(self):
        members = self.module_members()
        conf = members["mods.d/zipbible.conf"]
        damaged = dict(members)
        data = next(m for m in damaged if m.startswith("modules/") and m.endswith(".bzz"))
        cut = self.zipped("cut.zip", members)
        with open(cut, "rb") as f:
            whole = f.read()
        with open(cut, "wb") as f:
            f.write(whole[:len(whole) // 2])
        cases = [
            ("not a zip", "notes.zip", None, "not a zip file"),
            ("no module in it", "photos.zip", {"holiday.jpg": b"\xff\xd8"}, "no mods.d/*.conf"),
            ("a path out of its folder", "evil.zip",
             dict(members, **{"../../escaped.txt": b"x"}), "outside its folder"),
            ("data kept elsewhere", "elsewhere.zip",
             dict(members, **{"mods.d/zipbible.conf": conf.replace(
                 b"DataPath=./modules", b"DataPath=../../modules")}), "outside the module"),
            ("cut in half", "cut.zip", "keep", "not a zip file"),
            ("a member that does not unpack", "damaged.zip", None, "does not unpack whole"),
        ]
        for what, name, content, reason in cases:
            with self.subTest(what):
                path = os.path.join(self.dir, name)
                if content is None and name == "notes.zip":
                    with open(path, "w") as f:
                        f.write("just some notes\n")
                elif name == "damaged.zip":
                    path = self.zipped(name, members)
                    with open(path, "r+b") as f:
                        whole = bytearray(f.read())
                        at = whole.index(data.encode()) + len(data) + 40
                        whole[at:at + 8] = b"\x00" * 8
                        f.seek(0)
                        f.write(whole)
                elif content != "keep":
                    path = self.zipped(name, content)
                code, out, err = run_import(self.library.env(), path, "--to", self.out)
                self.assertEqual(code, 4, err)
                self.assertIn("cannot be read cleanly", err)
                self.assertIn(reason, err)
                self.assert_nothing_left()
                self.assertFalse(os.path.exists(os.path.join(self.dir, "escaped.txt")))


class Languages(ImportTestCase):
    """Book names, headings and the library's own books.ini in the module's language,
    from the SWORD library's locales (found beside the system's modules, although the
    tests' modules are elsewhere)."""

    def test_names_and_headings_in_the_modules_language(self):
        cases = (
            # lang, conf, Psalms in full, its short form, chapter heading, direction
            ("es", "", "Salmos", "Sal", "Capítulo 3", None),
            ("he", "Direction=RtoL\n", "תהילים", "תהילי", "פרק 3", "rtl"),
            ("xx", "", "Psalms", "Ps", "Chapter 3", None),  # no locale: English
        )
        for lang, conf, full, short, heading, direction in cases:
            with self.subTest(lang=lang):
                name = "Lang" + lang.capitalize()
                self.library.add(name, BIBLE, kind="Bible", lang=lang, conf_extra=conf)
                self.imported(name, "--to", self.out)
                folder = os.path.join(self.out, name + ".htm")
                index = Page(os.path.join(folder, "index.htm"))
                self.assertEqual(index.links[0], ("psa.htm$BCVPSA3:1", full))
                psalms = Page(os.path.join(folder, "psa.htm"))
                self.assertIn(f"<title>{full}</title>", psalms.text)
                self.assertIn(f'<a name="CV004000"></a>{heading[:-1]}4</h2>', psalms.text)
                self.assertIn(f' lang="{lang}"', psalms.text)
                self.assertEqual(f' dir="{direction}"' in psalms.text, direction is not None)
                sections, _ = ini_sections(os.path.join(folder, "books.ini"))
                self.assertEqual(sections["BKA"]["PSA"], short)
                self.assertEqual(sections["Names"]["PSA"], full)
                self.assertEqual(sections["INFO"]["Language"], "en" if lang == "xx" else lang)
                if lang == "es":
                    self.assertEqual(sections["Abbreviations"].get("SALMOS"), "PSA")


class WordStudies(ImportTestCase):
    """Strong's numbers, morphology and lemmas never become text, in each markup and
    whatever the module's configuration says about its option filters."""

    def test_no_number_or_code_in_the_text(self):
        osis = """<div type="book" osisID="John"><chapter osisID="John.3">
<verse osisID="John.3.16">Porque de tal manera amó Dios <w lemma="strong:G1519 G3588" morph="robinson:PREP robinson:T-ASM">al</w> <w lemma="strong:G2889 lemma.TR:κόσμος" morph="robinson:N-ASM">mundo</w>, <w lemma="x-Strongs:H07225">que</w> ha dado.</verse>
</chapter></div>"""
        self.library.add("Strongs", osis, kind="Bible", conf_extra="GlobalOptionFilter=OSISStrongs\n")
        self.library.add("Bare", osis, kind="Bible")  # no option filter named at all
        self.library.add_imp("Thml", [("John 3:16", 'Dios <sync type="Strongs" value="G2316"/>'
                                       '<sync type="morph" value="N-NSM"/> amó <sync type="lemma"'
                                       ' value="agapao"/>al <sync type="Dict" value="x"/>mundo')],
                             "ThML")
        self.library.add_imp("Gbf", [("John 3:16", "Dios<WG2316><WTN-NSM> amó<WH0157> al mundo")],
                             "GBF")
        for name, text in (("Strongs", "amó Dios al mundo, que ha dado."),
                           ("Bare", "amó Dios al mundo, que ha dado."),
                           ("Thml", "Dios amó al <b>mundo"), ("Gbf", "Dios amó al mundo")):
            with self.subTest(module=name):
                self.imported(name, "--to", self.out)
                page = Page(os.path.join(self.out, name + ".htm", "jhn.htm"))
                self.assertIn(text, re.sub(r"\s+", " ", page.text))
                self.assertIsNone(WORD_STUDY.search(page.text), page.text[-600:])


class ExitCodes(ImportTestCase):
    def test_bad_arguments(self):
        for args in ([], ["--to"], ["A", "B"], ["--frobnicate", "A"], ["--list", "A"],
                     ["--list", "--force"]):
            with self.subTest(args=args):
                _, err = self.imported(*args, expect=2)
                self.assertIn("Usage:", err)
        out, _ = self.imported("--help")
        self.assertIn("Exit codes", out)

    def test_no_such_module(self):
        _, err = self.imported("Nowhere", "--to", self.out, expect=3)
        self.assertIn("--list", err)
        self.assert_nothing_left()

    def test_a_module_name_that_is_no_plain_folder_name_writes_nothing(self):
        self.library.add("Good", COMMENTARY, compressed=True)
        with open(os.path.join(self.library.folder, "mods.d", "good.conf")) as f:
            conf = f.read()
        for name in ("/../x", "../x", "sub/x", "..", "a\\b", "x\x01y"):
            with self.subTest(name=name):
                with open(os.path.join(self.library.folder, "mods.d", "odd.conf"), "w") as f:
                    f.write(conf.replace("[Good]", f"[{name}]"))
                _, err = self.imported(name, "--to", self.out, expect=3)
                self.assertIn("cannot be a folder name", err)
                self.assert_nothing_left()
                self.assertEqual(sorted(os.listdir(self.dir)), ["out", "sword"]
                                 if os.path.isdir(self.out) else ["sword"])

    def test_damaged_and_misconfigured_modules_write_nothing(self):
        data = self.library.add("Good", COMMENTARY, compressed=True)
        # The driver of the larger index entries over data made for the smaller
        # ones: the library reports reads past the index.
        self.library.add("WrongDriver", "", compressed=True, driver="zCom4", data_of="Good")
        self.library.add("Unknown", "", driver="NoSuchDriver", data_of="Good")
        self.library.add("Empty", "", driver="RawCom", data_of="Good")
        broken = os.path.join(self.library.folder, "modules/comments/z/broken/")
        shutil.copytree(data, broken)
        with open(os.path.join(broken, "ot.bzz"), "r+b") as f:
            f.truncate(300)
        self.library.add("Broken", "", compressed=True, data_of="Broken")
        for name, said in (("WrongDriver", "Error reading"), ("Unknown", "NoSuchDriver"),
                           ("Empty", "no entries"), ("Broken", "Error reading compressed")):
            with self.subTest(module=name):
                _, err = self.imported(name, "--to", self.out, expect=4)
                self.assertIn(said, err)
                self.assert_nothing_left()
        self.imported("Good", "--to", self.out)

    def test_folder_that_cannot_be_written(self):
        self.library.add("TestComm", COMMENTARY)
        blocker = os.path.join(self.dir, "a-file")
        open(blocker, "w").close()
        _, err = self.imported("TestComm", "--to", os.path.join(blocker, "lib"), expect=5)
        self.assertIn("a-file", err)

    def test_list_and_the_default_folder(self):
        self.library.add("TestComm", COMMENTARY)
        self.library.add("TestBible", BIBLE, kind="Bible")
        out, _ = self.imported("--list")
        rows = [line.split(None, 3) for line in out.splitlines()[1:]]
        self.assertEqual(rows, [["TestBible", "Bible", "en", "TestBible, a test bible"],
                                ["TestComm", "Commentary", "en", "TestComm, a test commentary"]])
        data_home = os.path.join(self.dir, "data")
        code, out, err = run_import(self.library.env(XDG_DATA_HOME=data_home), "testcomm")
        self.assertEqual(code, 0, err)
        self.assertTrue(os.path.isfile(os.path.join(data_home, "vellum", "TestComm.htm",
                                                    "gen.htm")))
        # Listed again, what is in the library folder already is said, and an older
        # import is told from the module installed now.
        with open(os.path.join(self.library.folder, "mods.d", "testcomm.conf"), "a") as f:
            f.write("Version=1.10\n")
        catalogue = os.path.join(data_home, "vellum", "TestComm.htm", "index.ini")
        for version, state in (("1.10", "  [imported]"),
                               ("1.9", "  [imported, 1.9 (installed: 1.10)]")):
            with open(catalogue, newline="") as f:
                text = f.read()
            with open(catalogue, "w", newline="") as f:
                f.write(text.replace("Module=TestComm\r\n",
                                     f"Module=TestComm\r\nVersion={version}\r\n", 1)
                        if "Version=" not in text else
                        re.sub(r"Version=[^\r]*", f"Version={version}", text))
            code, out, _ = run_import(self.library.env(XDG_DATA_HOME=data_home), "--list")
            self.assertEqual(code, 0)
            lines = {line.split()[0]: line for line in out.splitlines()[1:]}
            self.assertTrue(lines["TestComm"].endswith("TestComm, a test commentary" + state),
                            lines["TestComm"])
            self.assertTrue(lines["TestBible"].endswith("TestBible, a test bible"))
        # Another folder holds none of them.
        _, out, _ = run_import(self.library.env(XDG_DATA_HOME=data_home), "--list", "--to",
                               os.path.join(self.dir, "elsewhere"))
        self.assertNotIn("[imported", out)

    def test_progress_on_a_terminal_names_the_book_among_all(self):
        import pty
        self.library.add("TestBible", BIBLE, kind="Bible")
        reader, writer = pty.openpty()
        try:
            result = subprocess.run([IMPORT_TOOL, "TestBible", "--to", self.out],
                                    env=self.library.env(), stdout=subprocess.PIPE,
                                    stderr=writer, timeout=120)
            os.close(writer)
            writer = None
            said = b""
            while True:
                try:
                    chunk = os.read(reader, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                said += chunk
        finally:
            if writer is not None:
                os.close(writer)
            os.close(reader)
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"Psalms (book 19 of 66), 27%: 1 entries", said)


@unittest.skipUnless(os.path.exists("/usr/share/sword/mods.d/scofield.conf"),
                     "sword-comm-scofield is not installed (tools/install-deps.sh installs it)")
class DebianModule(unittest.TestCase):
    """Scofield's notes and the Treasury of David as Debian packages them."""

    def test_scofield(self):
        out_dir = tempfile.mkdtemp(prefix="vellum-import-scofield-")
        self.addCleanup(shutil.rmtree, out_dir, True)
        env = dict(os.environ, HOME=out_dir)
        env.pop("SWORD_PATH", None)
        code, out, err = run_import(env, "Scofield", "--to", out_dir)
        self.assertEqual(code, 0, err)
        folder = os.path.join(out_dir, "Scofield.htm")
        pages = sorted(p for p in os.listdir(folder) if p.endswith(".htm"))
        self.assertEqual(len(pages), 67, "66 books and the index")
        sections, _ = ini_sections(os.path.join(folder, "index.ini"))
        self.assertEqual(len(sections["Bookfiles"]), 67)
        self.assertEqual(sections["Bookfiles"]["REV"], "rev.htm")
        genesis = Page(os.path.join(folder, "gen.htm"))
        self.assertEqual(genesis.anchors[:3], ["CV001000", "CV001001", "CV001002"])
        self.assertEqual(genesis.anchors, sorted(genesis.anchors))
        self.assertGreater(len(genesis.links), 50)
        anchors, starts = 0, 0
        code = re.compile(r"^(?:[1-4][A-Z]{2}|[A-Z][A-Z0-9]{2}) ?\d+:\d+$")
        for page in pages:
            parsed = Page(os.path.join(folder, page))
            self.assert_links_stay_inside(parsed)
            # A link's text is the reader's words, from its first letter or digit
            # to its last: never a code, never a "," or a blank at its end.
            for href, text in parsed.links:
                self.assertIsNone(code.match(text), f"{page}: {href} reads {text!r}")
                self.assertTrue(text[:1].isalnum() and text[-1:].isalnum(),
                                f"{page}: {href} reads {text!r}")
            verses = [a for a in parsed.anchors if a.startswith("CV")]
            anchors += len(verses)
            chapters = {a[2:5] for a in verses if a[2:5] != "000"}
            starts += len(chapters)
            # Each chapter starts with the anchor of its start, once.
            for chapter in chapters:
                first = next(a for a in verses if a[2:5] == chapter)
                self.assertEqual(first, f"CV{chapter}000", page)
                self.assertEqual(verses.count(first), 1, page)
        # Notes without expositions to mark: an anchor per entry, as before, and
        # one for each chapter's start where no entry stands at verse 0.
        entries = int(re.search(r"(\d+) entries", out).group(1))
        self.assertTrue(entries <= anchors <= entries + starts, (entries, anchors, starts))

    @unittest.skipUnless(os.path.exists("/usr/share/sword/mods.d/tdavid.conf"),
                         "sword-comm-tdavid is not installed")
    def test_treasury_of_david_gains_an_anchor_at_each_exposition(self):
        out_dir = tempfile.mkdtemp(prefix="vellum-import-tdavid-")
        self.addCleanup(shutil.rmtree, out_dir, True)
        env = dict(os.environ, HOME=out_dir)
        env.pop("SWORD_PATH", None)
        code, out, err = run_import(env, "TDavid", "--to", out_dir)
        self.assertEqual(code, 0, err)
        page = Page(os.path.join(out_dir, "TDavid.htm", "psa.htm"))
        self.assertIn('<a name="CV119105"></a><b>Ver. 105.</b> Thy word is a lamp unto my feet',
                      page.text)
        psalm_119 = [a for a in page.anchors if a.startswith("CV119")]
        self.assertGreater(len(psalm_119), 160, "nearly every verse of the psalm's 176")
        self.assertEqual(page.anchors, sorted(page.anchors), "in the page's order")
        self.assertEqual(len(page.anchors), len(set(page.anchors)), "each once")
        # One entry per psalm: a psalm's start is its own, not the last psalm's end.
        self.assertIn('<h3 class="r"><a name="CV023000"></a><a name="CV023001"></a>', page.text)

    assert_links_stay_inside = ImportTestCase.assert_links_stay_inside


def debian_text_modules():
    """The modules of every installed sword-text-* package, by their conf's section."""
    listed = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Status}\n", "sword-text-*"],
                            capture_output=True, text=True)
    modules = []
    for line in listed.stdout.splitlines():
        package = line.split()[0]
        if not line.endswith("install ok installed"):
            continue
        files = subprocess.run(["dpkg", "-L", package], capture_output=True, text=True).stdout
        for path in files.splitlines():
            if re.search(r"/mods\.d/[^/]+\.conf$", path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    match = re.search(r"^\[([^\]]+)\]", f.read(), re.M)
                if match:
                    modules.append((package, match.group(1)))
    return modules


@unittest.skipUnless(debian_text_modules(),
                     "no sword-text-* package is installed (tools/install-deps.sh installs some)")
@unittest.skipIf(os.environ.get("VELLUM_IMPORT_SANITIZED"),
                 "whole Bibles are walked with the plain build; a sanitized one takes minutes")
class DebianBibles(unittest.TestCase):
    """Every Bible Debian packages: no word-study apparatus left as text, a chapter's
    start found exactly, and the Spanish Bible in Spanish."""

    def test_every_bible_reads_clean_and_in_its_language(self):
        out_dir = tempfile.mkdtemp(prefix="vellum-import-bibles-")
        self.addCleanup(shutil.rmtree, out_dir, True)
        env = dict(os.environ, HOME=out_dir)
        env.pop("SWORD_PATH", None)
        for package, module in debian_text_modules():
            with self.subTest(package=package, module=module):
                code, _, err = run_import(env, module, "--to", out_dir)
                self.assertEqual(code, 0, err)
                folder = os.path.join(out_dir, module + ".htm")
                for page in sorted(os.listdir(folder)):
                    if not page.endswith(".htm"):
                        continue
                    parsed = Page(os.path.join(folder, page))
                    found = WORD_STUDY.search(parsed.text)
                    self.assertIsNone(found, f"{page}: {found and parsed.text[found.start() - 80:found.end() + 20]}")
                    verses = [a for a in parsed.anchors if a.startswith("CV") and a[2:5] != "000"]
                    if verses:
                        self.assertTrue(verses[0].endswith("000"), f"{page}: {verses[:2]}")
                sections, _ = ini_sections(os.path.join(folder, "books.ini"))
                if module == "spaRV1909eb":
                    self.assertEqual((sections["INFO"]["Language"], sections["BKA"]["JHN"],
                                      sections["BKA"]["GEN"], sections["Names"]["GEN"]),
                                     ("es", "Juan", "Gén", "Génesis"))
                    john = Page(os.path.join(folder, "jhn.htm"))
                    self.assertIn('<a name="CV003000"></a>Capítulo 3</h2>', john.text)
                    self.assertIn("<title>Juan</title>", john.text)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"import: {result.testsRun - failed} passed, {failed} failed")
    sys.exit(0 if failed == 0 and result.testsRun > 0 else 1)
