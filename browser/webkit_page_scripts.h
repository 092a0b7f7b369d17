// The viewer's own scripts in a WebKit page. They run in a script world of
// their own ("vellum"): they see the page's document, but page scripts cannot
// see them, cannot fake their messages, and may be switched off without
// switching them off.
#pragma once

#include <string>

namespace vellum {

inline constexpr const char* kViewerWorld = "vellum";

// Every anchor name of the page in one go: the document's address (so that
// names of another document are never taken for the one waited for),
// newline, the count, ":", then the names percent-encoded and separated by
// blanks.
std::string TaggedAnchorNamesScript();

// Reports the document's ready state to the "vellumReady" message handler as
// it changes, from the start of every document, with the anchor names once
// the page is parsed. Message: the document's address, newline, state,
// newline, milliseconds the names took, newline, names. A page expected at
// an anchor (letters and digits only; "" for none) is kept out of sight
// until it stands at that anchor. See the script itself for the details.
std::string ReadyStateScript(const std::string& expected_anchor);

// Marks the document's root element with the class "vellum-dark" or
// "vellum-light" (and takes the other away), as soon as the root exists:
// pages written for the viewer colour themselves by it, whatever the
// desktop's preference; pages with no such rules do not change.
std::string ThemeClassScript(bool dark);

// Scrolls the page's anchor number `ordinal` to the top of the view, and
// shows the page if it was kept out of sight. The viewer has placed the
// page: a find's saved place is forgotten.
std::string ScrollScript(int ordinal);

// The reader's place while a find moves the page: kept before the find's
// first step (a place kept already stands), put back when a search ends
// without a match, and put back and forgotten when the bar closes.
std::string KeepFindPlaceScript();
std::string RestoreFindPlaceScript(bool forget);

// The selected match's position among the page's matches of `text`, case
// ignored, counted from the top: a number, 0 when nothing is selected.
std::string MatchPositionScript(const std::string& text);

// The selection and the chapter/verse anchors it spans, as one string: the
// first anchor's name, newline, the last's, newline, the selected text;
// null when nothing is selected.
std::string SelectionScript();

// The find bar's marks and the selection, in colours that keep text
// readable (WCAG AA, 4.5:1 and more) on light and dark pages alike,
// whatever a page's own rules say: the engine draws its own find highlight
// in a fixed yellow under the page's text colour, light on a dark page.
std::string ReadableMarksStyleSheet();
// The colours it gives, for the tests: text on background.
inline constexpr const char* kFindMarkColours[2] = {"#000000", "#ffe44d"};

// Marks every match of `text` in the page, case ignored, as the highlight
// "vellum-find" (at most `most`); "" takes the marks away.
std::string MarkMatchesScript(const std::string& text, unsigned most);

// `text` (UTF-8) as a JavaScript string literal, safe inside any script.
std::string JavaScriptString(const std::string& text);

}  // namespace vellum
