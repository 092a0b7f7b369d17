// Turns the XHTML that the SWORD library's filters make of a module's entry
// into markup that is safe to put on a book page. The module's text comes
// from anywhere, and the filters pass much of it through: only a small set
// of elements and attributes survives, every link and image from the module
// becomes plain text, and the only links on the page are the
// cross-references that our own filters mark.
#pragma once

#include <string>
#include <string_view>

namespace vellum::import {

// The element our filters put around a scripture reference, with the
// request texts it points to, blank-separated, in its "to" attribute:
// <vellum-ref to="GEN1:1 EXO2:3">Gen 1:1; Ex 2:3</vellum-ref>.
inline constexpr std::string_view kRefElement = "vellum-ref";

// How a cross-reference link names its target page: the page file of the
// book it points to, given by code (for example "gen.htm" for GEN).
std::string PageFileName(std::string_view usfm_code);

// Sanitizes one entry's XHTML. Each marked reference becomes a link whose
// URL ends in "$BCV" and its request text; a reference to a list of places
// becomes one link per place: its text is split at ";" (or ",") when it has
// as many parts as places, and otherwise the whole text links to the first
// and the others follow as links of their own, named as a reader names a
// place ("Gen 2:4"). A link runs from its first letter or digit to its last. The result is
// well-formed (every element closed), valid UTF-8, and has no NUL or other control character but
// tab and line feed.
std::string SanitizeEntryHtml(std::string_view xhtml);

// True when markup has a character to read outside its tags (a blank or a
// character reference alone is not).
bool HasVisibleText(std::string_view html);

// Text made safe as HTML element content: &, < and > escaped, invalid UTF-8
// replaced, control characters dropped.
std::string EscapeHtmlText(std::string_view text);

}  // namespace vellum::import
