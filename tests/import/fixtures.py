"""Real SWORD modules for the tests, made with the library's own osis2mod from OSIS
text written here, so that what a test expects follows from text it can see.

Library(folder) is a private module tree (mods.d and modules/); env() gives the
environment in which the SWORD library finds only its modules (SWORD_PATH, and a
HOME of its own so that ~/.sword is not read)."""
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IMPORT = os.environ.get("VELLUM_IMPORT", os.path.join(ROOT, "build", "linux", "vellum-import"))

OSIS_HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<osis xmlns="http://www.bibletechnologies.net/2003/OSIS/namespace">
<osisText osisIDWork="{name}" osisRefWork="{kind}" xml:lang="en">
<header><work osisWork="{name}"><title>{name}</title><refSystem>Bible.KJV</refSystem></work>
</header>
"""

# A commentary with a book and a chapter introduction, an entry for a range of
# verses, a list of references, a reference given only by its text, a footnote,
# a link and a picture that lead outside, and a second book.
COMMENTARY = """<div type="book" osisID="Gen">
<div type="introduction"><p>About the book of beginnings.</p></div>
<chapter osisID="Gen.1">
<div type="introduction"><p>The first chapter, in brief.</p></div>
<verse osisID="Gen.1.1">In the beginning: see <reference osisRef="John.1.1">John 1:1</reference>.</verse>
<verse osisID="Gen.1.2-Gen.1.3">Two verses in one entry: <reference osisRef="Exod.3.14 Isa.40.1-Isa.40.3">Ex 3:14; Isa 40:1-3</reference><note type="explanation">A footnote with <hi type="italic">style</hi>.</note> and <reference>Ps 23:1</reference>.</verse>
<verse osisID="Gen.1.26">Image <figure src="picture.jpg"/> and <a href="http://example.com/">the web</a>.</verse>
</chapter>
<chapter osisID="Gen.2"><verse osisID="Gen.2.4">Generations, as in <reference osisRef="Matt.1.1">Mt 1:1</reference>.</verse></chapter>
</div>
<div type="book" osisID="Ps"><chapter osisID="Ps.23"><verse osisID="Ps.23.1">The shepherd psalm.</verse></chapter></div>
"""

# A Bible whose psalm has a title before its first verse (verse 0).
BIBLE = """<div type="book" osisID="Ps">
<chapter osisID="Ps.3"><title canonical="true">A Psalm of David.</title>
<verse osisID="Ps.3.1">LORD, how are they increased that trouble me!</verse>
<verse osisID="Ps.3.2">Many there be which say of my soul.</verse>
</chapter>
<chapter osisID="Ps.4"><verse osisID="Ps.4.1">Hear me when I call.</verse></chapter>
</div>
<div type="book" osisID="Jude"><chapter osisID="Jude.1"><verse osisID="Jude.1.1">Jude, the servant.</verse></chapter></div>
"""


class Library:
    def __init__(self, folder):
        self.folder = folder
        self.home = os.path.join(folder, "home")
        os.makedirs(os.path.join(folder, "mods.d"), exist_ok=True)
        os.makedirs(self.home, exist_ok=True)

    def env(self, **extra):
        env = dict(os.environ, SWORD_PATH=self.folder, HOME=self.home)
        env.pop("XDG_DATA_HOME", None)
        env.update(extra)
        return env

    def add(self, name, body, kind="Commentary", compressed=False, conf_extra="", driver=None,
            data_of=None, lang="en"):
        """Builds module name from OSIS body with osis2mod and writes its conf.
        driver overrides the ModDrv the data was made for; data_of points the conf
        at another module's data; lang is the module's language."""
        folder_kind = ("comments" if kind == "Commentary" else "texts")
        data = f"modules/{folder_kind}/{'z' if compressed else 'raw'}/{(data_of or name).lower()}/"
        if data_of is None:
            os.makedirs(os.path.join(self.folder, data), exist_ok=True)
            source = os.path.join(self.folder, name + ".osis.xml")
            with open(source, "w", encoding="utf-8") as f:
                f.write(OSIS_HEAD.format(name=name, kind="Bible") + body + "</osisText></osis>\n")
            args = ["osis2mod", os.path.join(self.folder, data), source, "-v", "KJV"]
            if compressed:
                args += ["-z", "z"]
            result = subprocess.run(args, capture_output=True, text=True, timeout=60)
            if result.returncode != 0:
                raise RuntimeError(f"osis2mod failed: {result.stdout}{result.stderr}")
        made_for = {("Commentary", False): "RawCom", ("Commentary", True): "zCom",
                    ("Bible", False): "RawText", ("Bible", True): "zText"}[(kind, compressed)]
        conf = [f"[{name}]", f"DataPath=./{data}", f"ModDrv={driver or made_for}",
                "SourceType=OSIS", "Encoding=UTF-8", f"Lang={lang}", "Versification=KJV",
                f"Description={name}, a test {kind.lower()}",
                r"About=Made for the tests.\par A second paragraph.",
                "DistributionLicense=Public Domain"]
        if compressed:
            conf += ["CompressType=ZIP", "BlockType=BOOK"]
        with open(os.path.join(self.folder, "mods.d", name.lower() + ".conf"), "w") as f:
            f.write("\n".join(conf) + "\n" + conf_extra)
        return os.path.join(self.folder, data)


    def add_imp(self, name, entries, source_type, kind="Bible"):
        """Builds module name with imp2vs from (reference, markup) entries whose
        markup is of source_type (ThML, GBF, OSIS), and writes its conf."""
        data = f"modules/{'texts' if kind == 'Bible' else 'comments'}/rawtext/{name.lower()}/"
        os.makedirs(os.path.join(self.folder, data), exist_ok=True)
        source = os.path.join(self.folder, name + ".imp")
        with open(source, "w", encoding="utf-8") as f:
            f.write("".join(f"$$${ref}\n{text}\n" for ref, text in entries))
        result = subprocess.run(["imp2vs", source, "-o", os.path.join(self.folder, data)],
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            raise RuntimeError(f"imp2vs failed: {result.stdout}{result.stderr}")
        conf = [f"[{name}]", f"DataPath=./{data}",
                f"ModDrv={'RawText' if kind == 'Bible' else 'RawCom'}",
                f"SourceType={source_type}", "Encoding=UTF-8", "Lang=en", "Versification=KJV",
                f"Description={name}, a test {kind.lower()}"]
        with open(os.path.join(self.folder, "mods.d", name.lower() + ".conf"), "w") as f:
            f.write("\n".join(conf) + "\n")


def run_import(env, *args):
    """Runs vellum-import; returns (exit code, standard output, standard error)."""
    result = subprocess.run([IMPORT, *args], env=env, capture_output=True, text=True, timeout=300)
    return result.returncode, result.stdout, result.stderr
