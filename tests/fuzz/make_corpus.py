#!/usr/bin/env python3
"""Writes the seed corpora in tests/fuzz/corpus/: a few small hand-made inputs
per target, each a realistic case in the field layout its harness reads.
Run it again after changing a harness's layout; the fuzzers' own findings
are never added here (make fuzz works on a scratch copy)."""

import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


def text(data: bytes) -> bytes:
    """A length byte, then the bytes."""
    assert len(data) < 256
    return bytes([len(data)]) + data


def long_text(data: bytes) -> bytes:
    return struct.pack("<H", len(data)) + data


def i32(value: int) -> bytes:
    return struct.pack("<i", value)


def u16(value: int) -> bytes:
    return struct.pack("<H", value)


def record(name: bytes, code: bytes, chapter: int, verse: int, name_len=None, code_len=None,
           reserved=b"\0", tail=b"\0\0") -> bytes:
    """A 16-byte location record as the host sends it."""
    rec = bytes([len(name) if name_len is None else name_len]) + name.ljust(5, b"\0")[:5]
    rec += bytes([len(code) if code_len is None else code_len]) + code.ljust(3, b"\0")[:3]
    rec += reserved + bytes([chapter]) + struct.pack("<h", verse) + tail
    assert len(rec) == 16
    return rec


def location():
    def case(raw: bytes, other_name=b"Beta", reserved=b"\x07\x08\x09", chapter=2, verse=3,
             code=b"BET", raw_lengths=b"\x05\x03"):
        return (bytes([len(raw)]) + raw + text(other_name) + reserved + bytes([chapter]) +
                u16(verse & 0xFFFF) + text(code) + raw_lengths)

    yield "alpha", case(record(b"Alpha", b"ALP", 1, 1))
    yield "long-lengths", case(record(b"Alpha", b"ALP", 255, -1, name_len=9, code_len=200),
                               raw_lengths=b"\xff\x04")
    yield "short", case(record(b"Gen", b"GEN", 3, 16)[:9])
    yield "empty", case(b"", code=b"IDX")
    yield "cut-utf8", case(record("Gén".encode() + b"\xc3", b"ABT", 0, 0) + b"extra",
                           other_name="Éxodo".encode("cp1252"))


def ini():
    def case(rules, names, updates, probe, number, content):
        data = bytes([rules, len(names)]) + b"".join(text(n) for n in names)
        data += bytes([len(updates)])
        for section, key, value in updates:
            data += text(section) + text(key) + text(value)
        return data + text(probe) + i32(number) + content

    yield "settings", case(0, [b"Form1", b"left"], [(b"Form1", b"left", b"5")], b"0x40", -20,
                           b"[Form1]\r\nleft=10\r\ntop=20\r\nwidth=600\r\nheight=400\r\n"
                           b"[Misc]\r\nAlwaysOnTop=1\r\n")
    yield "catalogue", case(1, [b"ALP"], [(b"INFO", b"ShortName", b"Std")], b"$FFFFFFFF", 64,
                            b"; the catalogue\n[INFO]\nShortName = Std\n[Bookfiles]\n"
                            b"  alp = alpha.htm\nIDX=index.htm\nBET=beta.htm\n")
    yield "duplicates", case(0, [b"form1", b"LEFT"], [(b"Extra", b"k", b"v w"), (b"form1", b"TOP", b"-3")],
                             b"2147483648", 2147483647,
                             b"[Form1]\rleft=1\r[Misc]\r[Form1]\rleft = 2\rLEFT=3\r;left=4\rno key")
    yield "books", case(1, ["Gén".encode(), b"GEN"], [(b"BKA", b"EXO", "Éxodo".encode("cp1252"))],
                        b"-0x80000000", -1,
                        "[BKA]\r\nGEN=Génesis\r\nEXO=".encode() + "Éxodo".encode("cp1252") +
                        b"\r\nALP=Alphabet\r\n=empty key\r\n")


SETTINGS_FLAGS = {
    "system": 1 << 0, "program_read_only": 1 << 1, "beside": 1 << 2, "beside_read_only": 1 << 3,
    "beside_unreadable": 1 << 4, "user_folder": 1 << 5, "user": 1 << 6, "user_read_only": 1 << 7,
    "user_unreadable": 1 << 8, "no_user_folder": 1 << 9, "writes_fail": 1 << 10,
}


def settings():
    def case(flags, values, on_top, user, beside):
        bits = sum(SETTINGS_FLAGS[f] for f in flags)
        return (u16(bits) + b"".join(i32(v) for v in values) + bytes([on_top]) + long_text(user) +
                beside)

    yield "beside", case(["beside"], [10, 20, 469, 365], 1, b"",
                         b"[Form1]\r\nleft=100\r\ntop=100\r\nwidth=600\r\nheight=400\r\n"
                         b"[Misc]\r\nAlwaysOnTop=0\r\n")
    yield "installed", case(["program_read_only", "beside", "system"], [-5, 0, 800, 600], 0, b"",
                            b"; mine\n[Form1]\nleft=3\n[Other]\nx=y\n")
    yield "user-own", case(["beside", "user"], [1, 2, 3, 4], 1, b"[Misc]\nAlwaysOnTop=1",
                           b"[Form1]\r\nleft=9\r\n")
    yield "new-file", case([], [-2147483648, 2147483647, 0, -1], 0, b"", b"")
    yield "messy", case(["beside"], [7, 8, 9, 10], 1, b"",
                        b"[form1]\nLEFT = 1\n[Misc]\n[FORM1]\n  left=2\n;top=3\nTop\n[misc]\nalwaysontop=yes")
    yield "read-only", case(["beside", "beside_read_only", "no_user_folder"], [1, 1, 1, 1], 0, b"",
                            b"[Form1]\r\nleft=1\r\n")
    # A key line added with a lone CR in front of an empty LF line once swallowed it.
    yield "lone-cr-before-empty-line", case(["beside"], [1, 2, 3, 4], 0, b"", b"x\r[Misc]\n\n")


def catalogue():
    def case(flags, exe, folders, codes, index, books, settings_ini):
        data = bytes([flags | (2 if exe is not None else 0)])
        if exe is not None:
            data += text(exe)
        data += bytes([len(folders)])
        for name, attributes in folders:
            data += bytes([attributes]) + text(name)
        data += bytes([len(codes)]) + b"".join(text(c) for c in codes)
        return data + long_text(index) + long_text(books) + settings_ini

    index = (b"[INFO]\r\nShortName=Std\r\n[Bookfiles]\r\nIDX=index.htm\r\nALP=Alpha.htm\r\n"
             b"BET=Sub\\beta.htm\r\nalp=other.htm\r\n")
    books = b"[BKA]\r\nALP=Alphabet\r\nBET=Beta\r\nbet=second\r\n"
    yield "program", case(0, None, [(b"web.htm", 0)], [b"ALP", b"bet"], index, books,
                          b"[Form1]\r\nleft=$40\r\n[Misc]\r\nAlwaysOnTop=7\r\n")
    yield "folders", case(1, b"D:\\Apps\\Vellum\\vellum.exe",
                          [(b"a.htm", 0), (b"B.htm", 0), (b"z.htm", 1), (b"c.HTM", 0), (b"sys.htm", 2),
                           (b"notes", 0)],
                          [b"IDX"], index, books, b"")
    yield "no-data-folder", case(8, b"vellum", [(b"web", 0)], [b"ALP"], index, books, b"[Form1]\nwidth=abc\n")
    yield "paths", case(4, b"C:vellum.exe", [(b"Web.htm", 0)], [b"B.HTM", b"sub\\BETA.htm", b"..\\x"],
                        b"[Bookfiles]\nA=ALPHA.HTM\nB=sub/Beta.htm\nC=Sub\\\\beta.htm\nD=\\\n",
                        "[BKA]\nGEN=Génesis\nexo=".encode() + "Éxodo".encode("cp1252") + b"\n", b"")


def frame(code: int, sender: int, payload: bytes, length=None) -> bytes:
    return struct.pack("<III", code, sender, len(payload) if length is None else length) + payload


def host_frames():
    yield "show", frame(1, 0x2a00007, record(b"Alpha", b"ALP", 1, 1))
    yield "request-close", frame(2, 0x1c00003, b"ALP1:1\0") + frame(10, 0x2a00007, b"\0" * 16)
    yield "cut", frame(11, 7, b"\0" * 16) + frame(1, 7, record(b"Gen", b"GEN", 3, 16))[:20]
    yield "too-long", frame(1, 7, b"", length=(1 << 20) + 1) + b"\0" * 8


def anchors():
    def cv(chapter, verse, kind=1, tail=b""):
        return bytes([kind]) + u16(chapter) + u16(verse) + (text(tail) if kind == 2 else b"")

    def case(mode, chapter, verse, names, raw=b""):
        return bytes([mode, chapter]) + u16(verse & 0xFFFF) + bytes([len(names)]) + b"".join(names) + raw

    yield "between", case(1, 3, 4, [cv(3, 1), cv(3, 5)])
    yield "names", case(0, 1, 1, [bytes([0]) + text(b"top"), bytes([0]) + text(b"cv001001"),
                                  cv(1, 1, 2, b"a"), cv(1, 300), bytes([0]) + text(b"CV0010")])
    yield "list", case(0, 2, 1, [cv(2, 1)], b"3:top CV002001 CV002%20x")
    yield "after-all", case(1, 5, 1, [cv(1, 1), cv(1, 2), cv(2, 1), cv(2, 7)])
    yield "negative-verse", case(1, 2, -1, [bytes([0]) + text(b"top"), cv(2, 1), cv(2, 2), cv(3, 1)])
    # Ten bytes that once asked for 32 GB: the count must be borne out by the text.
    yield "huge-count", case(0, 0, 0, [], b"999999999:")


def viewer():
    def show(code_sel, rec, null=False, code=b""):
        # Selector 7 takes the code itself from the next four bytes.
        return bytes([2, code_sel]) + code + bytes([len(rec) | (0x80 if null else 0)]) + rec

    def link(url: bytes):
        return bytes([0]) + text(url)

    wait = bytes([5])
    dwell = bytes([4, 100])
    alp = record(b"", b"ALP", 1, 3)
    bet = record(b"", b"BET", 2, 4)
    yield "link-and-jump", (bytes([0]) + show(0, alp) + wait + dwell +
                            link(b"file:///C:/Program/web.htm/alpha.htm$BCVBET2:4") +
                            bytes([9, 0, 0]) + bet + link(b"x$BCVGAM1:1") + wait + bytes([6]) + dwell)
    yield "location-button", (bytes([4, 3]) + text(b"top") + text(b"CV001001") + text(b"CV001005") +
                              show(1, alp) + wait + dwell + bytes([7]) + bytes([10, 0]) + bytes([7]) +
                              bytes([10, 2]) + bytes([10, 3]) + bytes([11]))
    yield "close", (show(0, alp) + bytes([4, 10]) + show(3, b"") + wait + link(b"$BCVALP1:1") +
                    show(0, bet) + wait)
    yield "odd-messages", (bytes([3]) + bytes([8]) + link(b"$BCV") + show(7, record(b"", b"BET", 1, 1)[:6],
                                                                              code=struct.pack("<I", 12)) +
                           show(0, b"", null=True) + show(6, alp) + wait +
                           bytes([8]) + link(b"BCVALP2:2") + link(b"a$bcvALP1:1") + bytes([10, 1]) + wait)
    # The page folder named inside a link's own text once moved the search for its "$".
    yield "page-folder-inside-link", bytes([0]) + link(b"$BCVALP1:1 C:/Program/web.htm/")


def entry_html():
    yield "osis-xhtml", (b'<h3 class="title x-s">Title</h3><br />\n<b>bold</b> '
                         b'<vellum-ref to="EXO3:14 ISA40:1">Ex 3:14; Isa 40:1-3</vellum-ref>'
                         b' <span class="note">[A <i>note</i>]</span> &amp; more')
    yield "module-markup", (b'<a href="http://x/">web</a><img src="/etc/passwd" alt="pic">'
                            b'<script>alert(1)</script><span style="color:red" onclick="x">s'
                            b'<td colspan="2">c</td><!-- c --><!p>\xff\x01')
    yield "reference-lists", b"Bible:Gen.1.1-Gen.1.3 Ps.23 1Thess.4.13!a"
    yield "nesting", b"<b><vellum-ref to='GEN1:1'>a</b><i>b</vellum-ref>c" + b"<div>" * 50


def osis():
    yield "verse", b"John.3.16"
    yield "range-with-work", b"KJV:Matt.5.3-Matt.5.12"
    yield "list", b"John.3.16,John.3.17"
    yield "request", b"1SA3:16"
    yield "too-large", b"Ps.256.1!a"


def places():
    spanish = ("[Bookfiles]\r\nIDX=index.htm\r\nPSA=psa.htm\r\nJHN=jhn.htm\r\n[BKA]\r\n"
               "PSA=Sal\r\nJHN=Juan\r\n[Names]\r\nPSA=Salmos\r\n[Abbreviations]\r\n"
               "LOS SALMOS=PSA\r\n").encode()
    yield "spanish", long_text(spanish) + text("Salmos 119:105".encode()) + b"PSA119:105"
    yield "english", long_text(b"") + text(b"1 Cor 13") + b"1CO13"
    yield "completion", long_text(spanish) + text(b"sal") + b"JHN 3:16"
    yield "saved", long_text(b"") + text(b"Jude 5") + b"ABC 255:-32768"
    yield "range", long_text(b"") + text("Juan 3:16\u201318".encode()) + b"IDX"


def biblesync():
    def datagram(kind, body, sender=bytes(range(16)), count=b"\x01\0\0\0", version=3,
                 magic=0x409CAF11):
        return struct.pack(">IBB", magic, version, kind) + count + bytes(6) + sender + body

    def heard(*datagrams, source=2, step=2):
        return b"".join(bytes([source, step]) + long_text(d) for d in datagrams)

    presence = (b"app.name=Xiphos\napp.version=4.2.1\n"
                b"app.inst.uuid=00010203-0405-0607-0809-0a0b0c0d0e0f\napp.os=Linux\n"
                b"app.device=x86_64\napp.user=anna\nmsg.sync.passPhrase=BibleSync\n")
    navigation = (presence + b"msg.sync.bibleAbbrev=KJV\nmsg.sync.domain=BIBLE-VERSE\n"
                  b"msg.sync.group=1\nmsg.sync.altVerse=\nmsg.sync.verse=John.3.16\n")
    yield "beacon-then-navigation", heard(datagram(3, presence), datagram(2, navigation))
    yield "terse-beacon", heard(datagram(3, b"app.name=x\nmsg.sync.passPhrase=BibleSync\n"))
    yield "other-passphrase", heard(datagram(2, navigation.replace(b"=BibleSync", b"=study")))
    yield "impostor", heard(datagram(3, presence), datagram(2, navigation), source=1) + heard(
        datagram(2, navigation), source=3)
    yield "silence", heard(datagram(3, presence), step=0) + heard(datagram(1, presence), step=70)
    yield "malformed", heard(datagram(2, navigation)[:20], datagram(9, navigation),
                             datagram(2, navigation, count=b"\x02\0\x01\0"),
                             datagram(2, navigation, version=1),
                             datagram(2, navigation, magic=0x11AF9C40),
                             datagram(2, navigation + b"x" * 1300))
    yield "odd-body", heard(datagram(2, b"msg.sync.verse=a\r\r\nmsg.sync.passPhrase=BibleSync\n"
                                        b"=x\nno-equals\nmsg.sync.verse=b\n\0tail\nlast=cut"))


def main():
    for name, cases in [("location", location), ("ini", ini), ("settings", settings),
                        ("catalogue", catalogue), ("host_frames", host_frames),
                        ("anchors", anchors), ("viewer", viewer), ("entry_html", entry_html),
                        ("osis", osis), ("places", places), ("biblesync", biblesync)]:
        folder = ROOT / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for case_name, data in cases():
            (folder / case_name).write_bytes(data)


if __name__ == "__main__":
    main()
