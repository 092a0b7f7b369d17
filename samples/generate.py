#!/usr/bin/env python3
"""Writes the bundled sample library (samples/library) from the texts below.

The library is a program folder without the executable: books.ini and the
data folder web.htm with its catalogue and pages. Every text
here is our own. Run it again after changing this file; the output is
committed so that a fresh clone needs no Python.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "library")

BOOKS = {
    "ALP": ("Alphabet", "alpha.htm", [
        "Every letter began as a picture that someone grew tired of drawing in full.",
        "The scribe kept three reed pens, one for each thickness of stroke the lesson asked for.",
        "A mark pressed into wet clay keeps the shape of the hand long after the hand is gone.",
        "Children learn the round letters first, because the circle is the easiest promise to keep.",
        "When two sounds shared one sign, readers argued for a century about which came first.",
        "The ink was made of soot, gum and patience, in that order of expense.",
        "A line of writing leans forward the way a walker leans into a hill.",
        "Some alphabets were read from the right, some from the left, and one turned at every row.",
        "The copyist left a small gap wherever the old page was torn, so the next reader would know.",
        "Vowels arrived late to the page and were treated for a long time as guests.",
        "A good margin gives the eye a place to rest between thoughts.",
        "The last letter of the list is rarely the least used, whatever the schoolroom says.",
    ]),
    "BET": ("Beta", "beta.htm", [
        "The gardener sowed the beans in a double row so each would shade the other's roots.",
        "Frost found the lowest corner of the field first and stayed there longest.",
        "A wall of dry stone holds the day's warmth and gives it back to the pears at night.",
        "Bees visit the blue flowers in the morning and the yellow ones after noon.",
        "Compost is yesterday's harvest waiting patiently to become tomorrow's.",
        "The oldest apple tree bore fruit only every other year, and nobody blamed it.",
        "Water the seedlings at dusk, when the sun can no longer steal the drink.",
        "Weeds are only plants whose virtues have not yet been written down.",
        "The path between the beds was laid with broken tiles from the old roof.",
        "A scarecrow works best when it is moved a little every week.",
        "In a dry summer the deepest roots decide which plants will stay.",
        "Seeds saved from the strongest plants carry the garden's memory forward.",
    ]),
    "GAM": ("Gamma", "Gamma.HTM", [
        "Light bends when it passes from air into water, and the oar seems to break.",
        "A rainbow is only ever seen with the sun at the watcher's back.",
        "Clouds that pile up like towers in the afternoon often empty themselves by evening.",
        "The wind turns with the sun in one half of the world and against it in the other.",
        "Thunder is late because sound walks while light runs.",
        "Fog forms where warm, wet air lies down on cold ground for the night.",
        "The sky is blue for the same reason the far hills look pale.",
        "A halo around the moon has long been read as rain within two days.",
        "Snowflakes grow six arms because water freezes into six-sided order.",
        "Dew gathers most on grass, which loses its warmth to the clear sky fastest.",
        "The barometer falls before the storm, as if the air were holding its breath.",
        "After heavy rain the air smells of earth, stirred up and set free.",
    ]),
    "EPS": ("Epsilon", "extra\\epsilon.htm", [
        "The river carries the mountain to the sea one grain at a time.",
        "Where the current slows on the inside of a bend, sand settles and a beach grows.",
        "Fishermen read the surface of the water the way others read a face.",
    ]),
}

# Chapters and verses per book; extra anchors are listed per book below.
SHAPES = {
    "ALP": [10, 8, 12],
    "BET": [5, 5, 5, 5],
    "GAM": [9, 9],
}

CROSS_REFS = {
    ("ALP", 1, 2): ("beta.htm", "BET2:5", "Beta 2:5"),
    ("ALP", 2, 1): ("gamma.htm", "GAM1:4", "Gamma 1:4"),
    ("ALP", 3, 6): ("alpha.htm", "ALP1:10", "Alphabet 1:10"),
    ("BET", 1, 3): ("alpha.htm", "ALP3:7", "Alphabet 3:7"),
    ("BET", 4, 2): ("gamma.htm", "GAM2:9", "Gamma 2:9"),
    ("GAM", 1, 1): ("beta.htm", "BET1:1", "Beta 1:1"),
    ("GAM", 2, 5): ("alpha.htm", "ALP2:4", "Alphabet 2:4"),
}

# Dark where the reader's system prefers it, unless the viewer marks the page
# light; dark whenever the viewer marks it so (a browser that knows no
# prefers-color-scheme still takes the mark).
DARK_RULES = """{root} {{ color-scheme: dark; background: #1c1b19; color: #e2ddd3; }}
{root} b.v {{ color: #e08c7a; }}
{root} a {{ color: #8fb3ea; }}"""

STYLE = ("""body { font-family: Georgia, serif; margin: 1em 1.5em; line-height: 1.45; }
h1 { font-size: 1.4em; } h2 { font-size: 1.1em; margin-top: 1.6em; }
b.v { color: #7a1f1f; margin-right: 0.3em; }
a.x { color: #1f4f9a; }
@media (prefers-color-scheme: dark) {
""" + DARK_RULES.format(root="html:not(.vellum-light)") + """
}
""" + DARK_RULES.format(root="html.vellum-dark"))


def page(title, body):
    return (
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        f"<title>{title}</title>\n<style>\n{STYLE}\n</style>\n</head>\n<body>\n"
        f"{body}</body>\n</html>\n"
    )


def anchor_name(code, chapter, verse):
    name = f"CV{chapter:03d}{verse:03d}"
    # A few anchors that a reader of the format must handle with care.
    if (code, chapter, verse) == ("ALP", 1, 1):
        return name + "a"  # characters after the eighth are ignored
    if (code, chapter, verse) == ("ALP", 2, 3):
        return name.lower()  # lower-case "cv" is not a chapter/verse anchor
    return name


def verse_text(code, sentences, chapter, verse):
    n = len(sentences)
    first = sentences[(chapter * 5 + verse * 3) % n]
    second = sentences[(chapter * 7 + verse * 5 + 1) % n]
    text = first if first == second else f"{first} {second}"
    ref = CROSS_REFS.get((code, chapter, verse))
    if ref:
        target, location, label = ref
        text += f' <a class="x" href="{target}${"BCV"}{location}">See {label}.</a>'
    return text


def book_page(code, name, sentences, shape):
    parts = [f'<a name="top"></a>\n<h1>{name}</h1>\n']
    for chapter, verses in enumerate(shape, start=1):
        parts.append(f"<h2>Chapter {chapter}</h2>\n")
        for verse in range(1, verses + 1):
            parts.append(
                f'<p><a name="{anchor_name(code, chapter, verse)}"></a>'
                f'<b class="v">{chapter}:{verse}</b> '
                f"{verse_text(code, sentences, chapter, verse)}</p>\n"
            )
        if (code, chapter) == ("ALP", 3):
            # A verse number above 255 wraps to its low 8 bits (300 -> 44).
            parts.append(
                '<p><a name="CV003300"></a><b class="v">3:300</b> '
                "A very late verse, numbered past what one byte can count.</p>\n"
            )
    return page(name, "".join(parts))


def epsilon_page(sentences):
    body = (
        "<h1>Epsilon</h1>\n<p>A short book kept in a sub-folder of the data folder; "
        "its one chapter/verse anchor stands in chapter 2.</p>\n"
        + "".join(f"<p>{s}</p>\n" for s in sentences)
        + '<p><a name="CV002001"></a><b class="v">2:1</b> '
        "Every stream remembers the shape of the valley that made it.</p>\n"
    )
    return page("Epsilon", body)


def index_page():
    items = []
    for code, (name, _, _) in BOOKS.items():
        items.append(f'<li><a href="index.htm${"BCV"}{code}1:1">{name}</a></li>\n')
    body = (
        "<h1>Vellum sample library</h1>\n"
        "<p>A small collection written for trying Vellum out. Each book is one page; "
        "chapters and verses carry anchors the viewer scrolls to.</p>\n"
        '<a name="TOC"></a>\n<h2>Contents</h2>\n<ul>\n' + "".join(items) + "</ul>\n"
        "<p>A link in this list goes to the first verse of a book, by way of the host when one is running.</p>\n"
        '<p><a href="https://example.invalid/">An ordinary web link</a> is followed as usual.</p>\n'
    )
    return page("Index", body)


def write(relative, text, newline="\n"):
    path = os.path.join(OUT, *relative.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline=newline) as f:
        f.write(text)


def main():
    books_ini = "; Display names of the books, by book code.\n[BKA]\n" + "".join(
        f"{code}={name}\n" for code, (name, _, _) in BOOKS.items()
    )
    write("books.ini", books_ini, newline="\r\n")

    # Sample=1: listed after real libraries and never chosen over one.
    catalogue = "[INFO]\nShortName=Sample\nSample=1\n\n[Bookfiles]\nIDX=index.htm\n" + "".join(
        f"{code}={file}\n" for code, (_, file, _) in BOOKS.items()
    )
    write("web.htm/index.ini", catalogue, newline="\r\n")
    write("web.htm/index.htm", index_page())
    for code, shape in SHAPES.items():
        name, file, sentences = BOOKS[code]
        write("web.htm/" + file.lower(), book_page(code, name, sentences, shape))
    write("web.htm/extra/epsilon.htm", epsilon_page(BOOKS["EPS"][2]))


if __name__ == "__main__":
    main()
