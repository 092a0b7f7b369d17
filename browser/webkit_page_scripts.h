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
// shows the page if it was kept out of sight.
std::string ScrollScript(int ordinal);

}  // namespace vellum
