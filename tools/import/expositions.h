// Anchors inside long commentary entries. Some commentaries keep many verses
// in one entry (the Treasury of David: each psalm, Psalm 119 as 1.5 MB) and
// mark where each verse's exposition starts: "Ver. 105." or "Verses 7-8." at
// the start of a paragraph after an "EXPOSITION" heading. The verse's
// CVcccvvv anchor goes there, so that a location lands on its own verse, not
// on the entry's first.
#pragma once

#include <string>
#include <string_view>

namespace vellum::import {

// The entry's sanitized markup with an anchor before each marker that counts:
// at a paragraph's start (after a <br>, or right after the heading), inside
// an EXPOSITION section (up to the next heading), for a verse after
// first_verse up to last_verse, in increasing order, the first for each
// verse. An entry without such markers comes back as it was.
std::string AnchorExpositions(std::string_view html, int chapter, int first_verse, int last_verse);

}  // namespace vellum::import
