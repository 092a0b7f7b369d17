"""The import's sanitizer read by a real HTML5 parser (html5lib), on generated module
entries full of what a parser closes or moves on its own: list items in list items,
blocks in paragraphs, headings in headings, tables with bare rows, cells and text,
dropped and void elements, references. For each entry, on a book page of either kind:

- the tree the parser builds is exactly the one the sanitized markup spells out,
  so the entry stays inside its entry element and its chapter block;
- every word of the input is there, in order, but for those inside dropped elements.

VELLUM_SANITIZE names the filter (tests/import/sanitize_filter.cpp); ENTRY_TREE_CASES
and ENTRY_TREE_SEED make longer or other runs."""
import html
import os
import random
import re
import struct
import subprocess
import sys
import unittest

import html5lib

FILTER = os.environ.get("VELLUM_SANITIZE", os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
    "build", "linux", "tests", "vellum-sanitize-filter"))
CASES = int(os.environ.get("ENTRY_TREE_CASES", "1500"))
SEED = int(os.environ.get("ENTRY_TREE_SEED", "20261209"))

KEPT = ["p", "div", "span", "b", "i", "em", "li", "ul", "ol", "dl", "dt", "dd", "h1", "h2", "h3",
        "pre", "blockquote", "center", "table", "thead", "tbody", "tfoot", "tr", "td", "th",
        "caption", "q", "sup"]
VOID = ["br", "hr", "wbr"]
GONE = ["embed src=x", "meta charset=x", "link rel=x", "frame src=x", "col", "input"]
UNWRAPPED = ["font", "a href='x'", "section", "nav"]
DROPPED = ["script", "style", "svg", "textarea"]
VOIDS_ON_OUTPUT = {"br", "hr", "wbr"}
WORD = re.compile(r"w(\d+)x")

PAGES = {
    # A Bible's page: verses as spans in the chapter's block.
    "bible": ('<div class="b"><a name="CV001001"></a><sup class="v">1</sup>'
              '<span class="e">{}</span>\n<a name="CV001002"></a><span class="e">end</span>\n'
              '</div><div class="b">next</div>',
              ["a", "sup", "span", "a", "span"], 2),
    # A commentary's page: entries as divs under their headings.
    "commentary": ('<div class="b"><h3 class="r">1:1</h3>\n<div class="e">{}</div>\n'
                   '<h3 class="r">1:2</h3>\n<div class="e">end</div>\n</div>'
                   '<div class="b">next</div>',
                   ["h3", "div", "h3", "div"], 1),
}


class Entry:
    """A generated entry and the words it holds, each kept or inside a dropped element,
    by the sanitizer's own rule: a dropped element ends at its own end tag, counted."""

    def __init__(self, rng):
        self.rng = rng
        self.parts, self.kept, self.dropped = [], [], []
        self.drop_name, self.drop_depth, self.words = None, 0, 0
        for _ in range(rng.randint(1, 40)):
            self.step()

    def word(self):
        self.words += 1
        name = f"w{self.words}x"
        (self.dropped if self.drop_depth else self.kept).append(self.words)
        return name

    def start(self, name, closing=False):
        if self.drop_depth and name == self.drop_name and not closing:
            self.drop_depth += 1
        elif not self.drop_depth and name in DROPPED and not closing:
            self.drop_name, self.drop_depth = name, 1

    def step(self):
        rng = self.rng
        roll = rng.random()
        if roll < 0.30:
            self.parts.append(rng.choice(["", " ", "\n", "; ", ", "]) + self.word() +
                              rng.choice(["", " ", "&amp;", ";", "\n"]))
        elif roll < 0.55:
            name = rng.choice(KEPT)
            attributes = rng.choice(["", ' class="c"', ' style="color:red;font-weight:bold"',
                                     ' colspan="2"'])
            closing = rng.random() < 0.1
            self.parts.append(f"<{name}{attributes}{'/' if closing else ''}>")
        elif roll < 0.75:
            name = rng.choice(KEPT + DROPPED + ["vellum-ref"])
            self.parts.append(f"</{name}>")
            if self.drop_depth and name == self.drop_name:
                self.drop_depth -= 1
        elif roll < 0.80:
            self.parts.append(f"<{rng.choice(VOID)}{rng.choice(['', '/'])}>")
        elif roll < 0.85:
            self.parts.append(f"<{rng.choice(GONE)}>")
        elif roll < 0.88:
            self.parts.append(f"<img alt='{self.word()}'>")
        elif roll < 0.91:
            self.parts.append(f"<{rng.choice(UNWRAPPED)}>")
        elif roll < 0.95:
            name = rng.choice(DROPPED)
            self.parts.append(f"<{name}>")
            self.start(name)
        else:
            self.parts.append(rng.choice(['<vellum-ref to="GEN1:1 EXO2:3">',
                                          '<vellum-ref to="JHN3:16">']))

    def text(self):
        return "".join(self.parts)


def sanitized(inputs):
    """Each input through the sanitizer, in one run of the filter."""
    data = b"".join(struct.pack("<I", len(i)) + i for i in (t.encode() for t in inputs))
    out = subprocess.run([FILTER], input=data, capture_output=True, timeout=300, check=True).stdout
    results, at = [], 0
    while at < len(out):
        (length,) = struct.unpack("<I", out[at:at + 4])
        results.append(out[at + 4:at + 4 + length].decode())
        at += 4 + length
    return results


def merged(children):
    out = []
    for child in children:
        if isinstance(child, str) and out and isinstance(out[-1], str):
            out[-1] += child
        elif child != "":
            out.append(child)
    return out


def spelled_tree(markup):
    """The tree the well-formed markup spells out: (tag, children) with text. A line
    feed right after <pre> would be the parser's to drop: none may stand there."""
    root = ("#", [])
    stack = [root]
    after_pre = False
    for tag in re.finditer(r"<(/?)([a-z0-9]+)[^>]*>|([^<]+)", markup):
        if tag.group(3) is not None:
            text = html.unescape(tag.group(3))
            assert not (after_pre and text.startswith("\n")), "a line feed right after <pre>"
            stack[-1][1].append(text)
        elif tag.group(1):
            assert stack[-1][0] == tag.group(2), f"</{tag.group(2)}> closes {stack[-1][0]}"
            stack.pop()
        else:
            node = (tag.group(2), [])
            stack[-1][1].append(node)
            if tag.group(2) not in VOIDS_ON_OUTPUT:
                stack.append(node)
        after_pre = tag.group(2) == "pre" and not tag.group(1)
    assert len(stack) == 1, "every element closed"
    return normalised(root)


def normalised(node):
    tag, children = node
    return (tag, merged([normalised(c) if isinstance(c, tuple) else c for c in children]))


def parsed_tree(element):
    children = [element.text or ""]
    for child in element:
        children.append(parsed_tree(child))
        children.append(child.tail or "")
    return (element.tag, merged(children))


def text_of(node):
    return "".join(c if isinstance(c, str) else text_of(c) for c in node[1])


class EntryTree(unittest.TestCase):
    def test_the_parser_builds_the_tree_written_and_keeps_every_word(self):
        rng = random.Random(SEED)
        entries = [Entry(rng) for _ in range(CASES)]
        outputs = sanitized([e.text() for e in entries])
        parser = html5lib.HTMLParser(tree=html5lib.treebuilders.getTreeBuilder("etree"),
                                     namespaceHTMLElements=False)
        for number, (entry, out) in enumerate(zip(entries, outputs)):
            for kind, (page, block_children, entry_at) in PAGES.items():
                where = f"case {number} ({kind}): {entry.text()!r}\n-> {out!r}"
                document = parser.parse("<!DOCTYPE html><html><head><meta charset='utf-8'>"
                                        "</head><body>" + page.format(out) + "</body></html>")
                body = document.find("body")
                blocks = list(body)
                self.assertEqual([b.tag for b in blocks], ["div", "div"], where)
                self.assertEqual([c.tag for c in blocks[0]], block_children, where)
                self.assertEqual(blocks[1].text, "next", where)
                container = blocks[0][entry_at]
                self.assertEqual(parsed_tree(container)[1], spelled_tree(out)[1], where)
                words = [int(w) for w in WORD.findall(text_of(parsed_tree(container)))]
                self.assertEqual(words, entry.kept, where)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"entry tree: {result.testsRun - failed} passed, {failed} failed ({CASES} entries)")
    sys.exit(1 if failed else 0)
