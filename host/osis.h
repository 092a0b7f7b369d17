// Bible references as other Bible programs exchange them (OSIS, as in
// "John.3.16" or "KJV:Matt.5.3-Matt.5.12") and the viewer's locations, whose
// book codes are three-letter USFM codes ("JHN"). The mapping is done here, at
// the edge, so that the viewer itself only ever sees locations.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/location.h"

namespace vellum::host {

struct OsisBook {
  std::string_view osis;        // "1Sam"
  std::string_view usfm;        // "1SA"
  std::string_view short_name;  // "1 Sam": at most five characters, as a location's name
};

// Every book known by both names, in canonical order: the 66 books of the
// Protestant canon, then the deuterocanonical books of the KJV's Apocrypha
// and the few more that Greek and Slavonic Bibles add (the Letter of
// Jeremiah, 3 and 4 Maccabees, Psalm 151). Each OSIS name has exactly one
// USFM code and each code one name.
std::span<const OsisBook> OsisBooks();

// Lookups ignoring ASCII case; nullptr for a name or code not in the table.
const OsisBook* BookByOsisName(std::string_view name);
const OsisBook* BookByUsfmCode(std::string_view code);

// Why a reference received from another program is not shown.
enum class ReferenceStatus {
  kMapped,           // a location to show
  kEmpty,            // nothing but blanks
  kMalformed,        // not an OSIS reference
  kList,             // several references (",", ";" or a blank between them)
  kUnknownBook,      // a book name outside the table
  kChapterTooLarge,  // a chapter over 255: a location cannot hold it
  kChapterZero,      // chapter 0: no book has one (verse 0 is a chapter's heading)
  kVerseTooLarge,    // a verse over 32767: a location cannot hold it
};

// A few words for the trace: "unknown book", "verse list", ...
std::string_view StatusText(ReferenceStatus status);

struct MappedReference {
  ReferenceStatus status = ReferenceStatus::kEmpty;
  // When mapped: the book's USFM code, chapter and verse, the built-in short
  // name, and every other byte zero.
  TbcvRec location = EmptyLocation();
};

// Maps one OSIS reference: an optional work prefix ("KJV:", "Bible.KJV:"),
// a book name, a chapter and a verse ("John.3.16", grain such as "!a"
// ignored). A range ("Matt.5.3-Matt.5.12", "Matt.5.3-12") stands for its
// start, a whole chapter ("John.3") or book ("John") for its first verse.
MappedReference MapOsisReference(std::string_view reference);

// "John.3.16".
std::string OsisReference(const OsisBook& book, int chapter, int verse);

// A request of the viewer (a cross-reference link's text after "BCV", or the
// location button's "JHN3:16") as a reference for other programs.
struct SyncRequest {
  std::string reference;  // "John.3.16"
  TbcvRec location;       // the place it names, as a host's answer would give it
};

// Only requests of the form CODEchapter:verse ("JHN3:16" gives John.3.16) or
// CODEchapter ("JHN3" gives John.3, at verse 1), CODE a USFM book code in any
// case, chapter 1 to 255 and verse 0 to 32767, name a place other programs can
// go to; any other text gives nullopt.
std::optional<SyncRequest> RequestToReference(std::string_view request);

}  // namespace vellum::host
