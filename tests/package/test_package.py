"""The Debian package as a user gets it, unpacked into a throwaway root (dpkg-deb -x):
what it holds, its dependencies, its desktop entry, metadata, manual pages and icons as
the desktop's own tools see them, its programs' command lines, and its viewer run from
the install tree under Xvfb with a fresh home folder, as an ordinary user and as root."""
import configparser
import glob
import hashlib
import os
import pwd
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from session import PROBE, Session, wait_until  # noqa: E402
from testenv import png_pixels, project_version  # noqa: E402

DIST = os.path.join(ROOT, "build", "dist")
SAMPLES = os.path.join(ROOT, "samples", "library")
PROGRAM_FOLDER = "usr/lib/vellum"
PROGRAMS = ("vellum", "vellum-host", "vellum-import", "vellum-inspect")
METAINFO = "usr/share/metainfo/org.vellumviewer.Vellum.metainfo.xml"
# The ordinary user the viewer runs as: the system's unprivileged account. It
# owns nothing, and it has the account entry a session bus insists on.
ORDINARY_USER = "nobody"


def tree(root):
    """Every entry below root, by relative path: ("dir", mode, mtime), ("link", target)
    or ("file", mode, size, mtime, sha256). A file written, replaced or made and removed
    again changes the entry or its folder's."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                entries[relative] = ("link", os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                entries[relative] = ("dir", stat.S_IMODE(st.st_mode), st.st_mtime_ns)
            else:
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                entries[relative] = ("file", stat.S_IMODE(st.st_mode), st.st_size,
                                     st.st_mtime_ns, digest)
    return entries


def deb822(text):
    """The fields of one paragraph of a Debian control-style file; continuation lines
    joined with newlines."""
    fields, key = {}, None
    for line in text.splitlines():
        if line.startswith((" ", "\t")) and key:
            fields[key] += "\n" + line.strip()
        elif ":" in line:
            key, value = line.split(":", 1)
            fields[key] = value.strip()
    return fields


def the_package():
    found = glob.glob(os.path.join(DIST, "vellum_*_amd64.deb"))
    if len(found) != 1:
        raise AssertionError(f"expected one package in {DIST} (make deb), found {found}")
    return found[0]


class Installed(unittest.TestCase):
    """The package unpacked into a root of its own, once per class."""

    @classmethod
    def setUpClass(cls):
        cls.deb = the_package()
        cls.dir = tempfile.mkdtemp(prefix="vellum-package-")
        os.chmod(cls.dir, 0o755)  # an ordinary user's viewer reads the tree
        cls.root = os.path.join(cls.dir, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.root, relative)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.deb, name], capture_output=True,
                              text=True, check=True).stdout.strip()


class Contents(Installed):
    def test_the_file_list(self):
        expected = {
            "usr/bin/vellum": ("link", "../lib/vellum/vellum"),
            "usr/bin/vellum-inspect": ("link", "../lib/vellum/vellum-inspect"),
            "usr/bin/vellum-host": 0o755,
            "usr/bin/vellum-import": 0o755,
            f"{PROGRAM_FOLDER}/vellum": 0o755,
            f"{PROGRAM_FOLDER}/vellum-inspect": 0o755,
            # Empty, and nobody may write it: settings go to each user's own folder.
            f"{PROGRAM_FOLDER}/Vellum.ini": 0o444,
            # The About page, which names the version.
            f"{PROGRAM_FOLDER}/about/about.htm": 0o644,
            "usr/share/applications/vellum.desktop": 0o644,
            METAINFO: 0o644,
            "usr/share/icons/hicolor/scalable/apps/vellum.svg": 0o644,
            "usr/share/icons/hicolor/48x48/apps/vellum.png": 0o644,
            "usr/share/icons/hicolor/128x128/apps/vellum.png": 0o644,
            "usr/share/doc/vellum/copyright": 0o644,
            **{f"usr/share/man/man1/{p}.1.gz": 0o644 for p in PROGRAMS},
        }
        samples = {}
        for folder, _, files in os.walk(SAMPLES):
            for name in files:
                source = os.path.join(folder, name)
                installed = os.path.join(PROGRAM_FOLDER, os.path.relpath(source, SAMPLES))
                expected[installed] = 0o644
                samples[installed] = source

        entries = tree(self.root)
        self.assertEqual(sorted(p for p, e in entries.items() if e[0] != "dir"), sorted(expected))
        for path, want in expected.items():
            with self.subTest(path=path):
                if isinstance(want, tuple):
                    self.assertEqual(entries[path], want)
                    self.assertTrue(os.path.isfile(self.path(path)), "the link leads to a file")
                else:
                    self.assertEqual(entries[path][:2], ("file", want))
        self.assertEqual(entries[f"{PROGRAM_FOLDER}/Vellum.ini"][2], 0)
        for installed, source in samples.items():
            with open(source, "rb") as f:
                self.assertEqual(entries[installed][4], hashlib.sha256(f.read()).hexdigest())
        for path, entry in entries.items():
            if entry[0] == "dir":
                self.assertEqual(entry[1], 0o755, path)

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "vellum")
        self.assertEqual(self.field("Version"), project_version())
        self.assertEqual(self.field("Architecture"), "amd64")
        self.assertEqual(os.path.basename(self.deb), f"vellum_{project_version()}_amd64.deb")

    def test_depends_names_the_package_of_every_linked_library(self):
        depends = {re.split(r"[\s(]", alternative.strip())[0]
                   for group in self.field("Depends").split(",") for alternative in group.split("|")}
        where = {}  # soname -> path, as the dynamic linker finds it
        for line in subprocess.run(["ldconfig", "-p"], capture_output=True, text=True,
                                   check=True).stdout.splitlines()[1:]:
            name, _, path = line.strip().partition(" => ")
            if "x86-64" in name:
                where.setdefault(name.split()[0], path)
        programs = [f"usr/bin/{p}" for p in ("vellum-host", "vellum-import")] + \
                   [f"{PROGRAM_FOLDER}/{p}" for p in ("vellum", "vellum-inspect")]
        for program in programs:
            dump = subprocess.run(["objdump", "-p", self.path(program)], capture_output=True,
                                  text=True, check=True).stdout
            for soname in re.findall(r"^\s*NEEDED\s+(\S+)", dump, re.M):
                with self.subTest(program=program, library=soname):
                    self.assertIn(soname, where)
                    self.assertIn(self.owner(where[soname]), depends)

    @staticmethod
    def owner(path):
        # Debian 12 records some libraries under /lib, some under /usr/lib.
        for candidate in (path, os.path.realpath(path), re.sub(r"^/usr/", "/", path),
                          re.sub(r"^/lib/", "/usr/lib/", path)):
            found = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
            if found.returncode == 0:
                return found.stdout.split(":")[0]
        raise AssertionError(f"no package holds {path}")

    def test_copyright_is_machine_readable(self):
        with open(self.path("usr/share/doc/vellum/copyright")) as f:
            paragraphs = [deb822(p) for p in f.read().split("\n\n") if p.strip()]
        self.assertEqual(paragraphs[0].get("Format"),
                         "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        self.assertEqual(paragraphs[0].get("Upstream-Name"), "Vellum")
        files = [p for p in paragraphs if "Files" in p]
        texts = {p["License"].split("\n")[0] for p in paragraphs if "Files" not in p and
                 "License" in p}
        self.assertEqual((files[0]["Files"], files[0]["License"]), ("*", "GPL-2+"))
        for paragraph in files:
            self.assertTrue(paragraph.get("Copyright"), paragraph)
            self.assertIn(paragraph["License"], texts, "every licence named has its text")
        with open(os.path.join(ROOT, "LICENSE")) as ours, \
                open("/usr/share/common-licenses/GPL-2") as gpl:
            self.assertEqual(ours.read(), gpl.read(), "LICENSE is the GPL version 2 in full")


class DesktopIntegration(Installed):
    def test_desktop_entry(self):
        desktop = self.path("usr/share/applications/vellum.desktop")
        result = subprocess.run(["desktop-file-validate", desktop], capture_output=True,
                                text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str  # keys keep their case
        parser.read(desktop)
        entry = parser["Desktop Entry"]
        self.assertTrue(os.path.isfile(self.path("usr/bin/" + entry["Exec"].split()[0])))
        self.assertIn("Education", entry["Categories"].split(";"))
        self.assertEqual(entry["Terminal"], "false")
        icons = glob.glob(self.path(f"usr/share/icons/hicolor/*/apps/{entry['Icon']}.*"))
        self.assertEqual(len(icons), 3, icons)

    def test_metainfo(self):
        result = subprocess.run(["appstreamcli", "validate", "--no-net", self.path(METAINFO)],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotRegex(result.stdout, r"(?m)^[EW]:")
        component = ElementTree.parse(self.path(METAINFO)).getroot()
        launchable = component.find("launchable").text
        self.assertTrue(os.path.isfile(self.path(f"usr/share/applications/{launchable}")))
        for binary in component.iter("binary"):
            self.assertTrue(os.path.exists(self.path(f"usr/bin/{binary.text}")), binary.text)

    def test_manual_pages(self):
        env = dict(os.environ, LC_ALL="C", MANWIDTH="80")
        for program in sorted(os.listdir(self.path("usr/bin"))):
            with self.subTest(program=program):
                page = self.path(f"usr/share/man/man1/{program}.1.gz")
                result = subprocess.run(["man", "--warnings", "-l", page], capture_output=True,
                                        text=True, env=env)
                self.assertEqual((result.returncode, result.stderr), (0, ""))
                self.assertRegex(result.stdout, rf"(?m)^NAME\n\s+{program}\s+- ")
                self.assertIn("EXIT STATUS", result.stdout)
                self.assertIn(f"Vellum {project_version()}", result.stdout)

    def test_icons(self):
        for size in (48, 128):
            with self.subTest(size=size):
                with open(self.path(f"usr/share/icons/hicolor/{size}x{size}/apps/vellum.png"),
                          "rb") as f:
                    width, height, rows = png_pixels(f.read())
                self.assertEqual((width, height), (size, size))
                alpha = [row[x * 4 + 3] for row in rows for x in range(width)]
                self.assertEqual((alpha[0], alpha[-1]), (0, 0), "transparent corners")
                self.assertGreater(alpha.count(255), size * size // 3, "a picture in the middle")
        svg = ElementTree.parse(self.path("usr/share/icons/hicolor/scalable/apps/vellum.svg"))
        self.assertEqual(svg.getroot().tag, "{http://www.w3.org/2000/svg}svg")
        self.assertEqual(svg.getroot().get("viewBox"), "0 0 64 64")
        self.assertGreater(len(svg.getroot().findall("{http://www.w3.org/2000/svg}polygon")), 3)


class CommandLines(Installed):
    def test_help_version_and_a_wrong_option(self):
        # Without a display: the viewer answers these before it opens one.
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        env["HOME"] = self.dir
        version = project_version()
        cases = (
            (["--help"], 0, "stdout", "Exit codes"),
            (["--version"], 0, "stdout", None),
            (["--no-such-option"], 2, "stderr", "sage:"),
        )
        for program in PROGRAMS:
            for args, code, stream, text in cases:
                with self.subTest(program=program, args=args):
                    result = subprocess.run([self.path(f"usr/bin/{program}"), *args],
                                            capture_output=True, text=True, env=env, timeout=30)
                    self.assertEqual(result.returncode, code, result.stderr)
                    output = getattr(result, stream)
                    if text is None:
                        self.assertEqual(output, f"{program} {version}\n")
                    else:
                        self.assertIn(text, output)


class InstalledSession(Session):
    """The installed viewer, started through its link in usr/bin as a user would start it:
    a fresh home folder, no XDG variables, and, for a user other than root, the viewer,
    its session bus and the accessibility probe running under that user's id."""

    def __init__(self, root, user):
        self.root = root
        self.user = user
        super().__init__(start=False)

    def _lay_out_program_folder(self, settings, books):
        os.chmod(self.dir, 0o755)
        self.program = os.path.join(self.root, PROGRAM_FOLDER)
        self.home = os.path.join(self.dir, "home")
        for folder in (self.home, os.path.join(self.dir, "run")):
            os.makedirs(folder, mode=0o700)
            os.chown(folder, self.user.pw_uid, self.user.pw_gid)

    def _environment(self):
        env = dict(os.environ, HOME=self.home)
        for name in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"):
            env.pop(name, None)
        return env

    def probe_script(self):
        # A copy in the session's own readable folder: the checkout may be one that
        # other users cannot enter (a home folder, any folder of mode 0700 above it).
        copy = os.path.join(self.dir, os.path.basename(PROBE))
        if not os.path.exists(copy):
            shutil.copy(PROBE, copy)
            os.chmod(copy, 0o644)
        return copy

    def as_user(self):
        if self.user.pw_uid == 0:
            return []
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}",
                "--clear-groups"]

    def viewer_path(self):
        return os.path.join(self.root, "usr/bin/vellum")

    def tool(self, name):
        return os.path.join(self.root, "usr/bin", name)

    def user_settings_path(self):
        return os.path.join(self.home, ".config", "vellum", "Vellum.ini")


class InstalledViewer(Installed):
    def test_runs_on_the_sample_library_and_keeps_its_settings_at_home(self):
        for user in (ORDINARY_USER, "root"):
            with self.subTest(user=user):
                self.run_viewer_as(pwd.getpwnam(user))

    def run_viewer_as(self, user):
        before = tree(self.root)
        session = InstalledSession(self.root, user)
        try:
            session.start_viewer()  # waits for the start page of a web.htm library
            library = "file://" + self.path(f"{PROGRAM_FOLDER}/web.htm")
            self.assertEqual(session.page_url(), library + "/index.htm")
            self.assertEqual(session.caption("SBtnINDEX"), "Index Sample")
            session.host("show", "ALP", "1", "2", check=True)
            session.wait_caption("Alpha 1:2")
            session.wait_anchor_at_top("CV001002")
            self.assertEqual(session.page_url().split("#")[0], library + "/alpha.htm")
            session.host("close", check=True)
            self.assertEqual(session.wait_exit(), 0)
            settings = session.user_settings_path()
            self.assertEqual(os.stat(settings).st_uid, user.pw_uid)
            with open(settings) as f:
                text = f.read()
            self.assertRegex(text, r"\[Form1\]\nleft=-?\d+\ntop=-?\d+\nwidth=\d+\nheight=\d+\n")
            self.assertIn("[Misc]\nAlwaysOnTop=0\n", text)
            self.start_on_a_library_at_home(session)
        finally:
            session.close()
        self.assertEqual(tree(self.root), before, "nothing under the install tree changed")

    def start_on_a_library_at_home(self, session):
        """A library in the user's library folder, as vellum-import writes one, is what
        the installed viewer opens next."""
        library = os.path.join(session.home, ".local", "share", "vellum", "Mine.htm")
        shutil.copytree(os.path.join(SAMPLES, "web.htm"), library)
        catalogue = os.path.join(library, "index.ini")
        with open(catalogue) as f:
            text = f.read().replace("ShortName=Sample", "ShortName=Mine")
            text = text.replace("Sample=1\n", "")  # what vellum-import writes is no sample
        with open(catalogue, "w") as f:
            f.write(text)
        session.start_viewer(wait_for_start_page=False)
        wait_until(lambda: session.caption("SBtnINDEX") == "Index Mine", timeout=20,
                   interval=0.2, what="the user's library")
        wait_until(lambda: session.page_url() == f"file://{library}/index.htm", timeout=20,
                   interval=0.2, what="its index page")
        self.add_books_finds_the_import(session)
        session.host("close", check=True)
        self.assertEqual(session.wait_exit(), 0)

    def add_books_finds_the_import(self, session):
        """Library > Add books… runs the installed vellum-import (in the prefix's bin
        folder, beside lib/vellum), which lists what is installed."""
        x, y = session.browser_origin()
        session.click(x + 200, y + 150, button=3)
        for item in ("Library", "Add books\u2026"):
            items = wait_until(lambda: session.menu_items().get(item, {}).get("showing")
                               and session.menu_items(), what=f"the menu's {item}")
            ex, ey, w, h = items[item]["extents"]
            session.click(ex + w // 2, ey + h // 2)

        def listed():
            widgets = [w for w in session.widgets() if w["showing"]]
            note = next((w["name"] for w in widgets if w["description"] == "AddBooksNote"), None)
            boxes = [w for w in widgets if w["role"] == "check box"]
            return (note, boxes) if note is not None and (boxes or note.startswith(("No ", "vellum"))) \
                else None
        note, boxes = wait_until(listed, timeout=30, interval=0.3, what="the modules listed")
        self.assertFalse(note.startswith("vellum-import is not installed"), note)
        if os.path.isdir("/usr/share/sword/mods.d"):
            self.assertTrue(boxes, "Debian's modules are listed")


if __name__ == "__main__":
    unittest.main()
