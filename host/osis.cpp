#include "host/osis.h"

#include <array>
#include <cstdint>

#include "core/text.h"

namespace vellum::host {
namespace {

constexpr std::array<OsisBook, 84> kBooks = {{
    {"Gen", "GEN", "Gen"},
    {"Exod", "EXO", "Exod"},
    {"Lev", "LEV", "Lev"},
    {"Num", "NUM", "Num"},
    {"Deut", "DEU", "Deut"},
    {"Josh", "JOS", "Josh"},
    {"Judg", "JDG", "Judg"},
    {"Ruth", "RUT", "Ruth"},
    {"1Sam", "1SA", "1 Sam"},
    {"2Sam", "2SA", "2 Sam"},
    {"1Kgs", "1KI", "1 Kgs"},
    {"2Kgs", "2KI", "2 Kgs"},
    {"1Chr", "1CH", "1 Chr"},
    {"2Chr", "2CH", "2 Chr"},
    {"Ezra", "EZR", "Ezra"},
    {"Neh", "NEH", "Neh"},
    {"Esth", "EST", "Esth"},
    {"Job", "JOB", "Job"},
    {"Ps", "PSA", "Ps"},
    {"Prov", "PRO", "Prov"},
    {"Eccl", "ECC", "Eccl"},
    {"Song", "SNG", "Song"},
    {"Isa", "ISA", "Isa"},
    {"Jer", "JER", "Jer"},
    {"Lam", "LAM", "Lam"},
    {"Ezek", "EZK", "Ezek"},
    {"Dan", "DAN", "Dan"},
    {"Hos", "HOS", "Hos"},
    {"Joel", "JOL", "Joel"},
    {"Amos", "AMO", "Amos"},
    {"Obad", "OBA", "Obad"},
    {"Jonah", "JON", "Jonah"},
    {"Mic", "MIC", "Mic"},
    {"Nah", "NAM", "Nah"},
    {"Hab", "HAB", "Hab"},
    {"Zeph", "ZEP", "Zeph"},
    {"Hag", "HAG", "Hag"},
    {"Zech", "ZEC", "Zech"},
    {"Mal", "MAL", "Mal"},
    {"Matt", "MAT", "Matt"},
    {"Mark", "MRK", "Mark"},
    {"Luke", "LUK", "Luke"},
    {"John", "JHN", "John"},
    {"Acts", "ACT", "Acts"},
    {"Rom", "ROM", "Rom"},
    {"1Cor", "1CO", "1 Cor"},
    {"2Cor", "2CO", "2 Cor"},
    {"Gal", "GAL", "Gal"},
    {"Eph", "EPH", "Eph"},
    {"Phil", "PHP", "Phil"},
    {"Col", "COL", "Col"},
    {"1Thess", "1TH", "1 Th"},
    {"2Thess", "2TH", "2 Th"},
    {"1Tim", "1TI", "1 Tim"},
    {"2Tim", "2TI", "2 Tim"},
    {"Titus", "TIT", "Titus"},
    {"Phlm", "PHM", "Phlm"},
    {"Heb", "HEB", "Heb"},
    {"Jas", "JAS", "Jas"},
    {"1Pet", "1PE", "1 Pet"},
    {"2Pet", "2PE", "2 Pet"},
    {"1John", "1JN", "1 Jn"},
    {"2John", "2JN", "2 Jn"},
    {"3John", "3JN", "3 Jn"},
    {"Jude", "JUD", "Jude"},
    {"Rev", "REV", "Rev"},
    // The Apocrypha of the KJV, in its order.
    {"1Esd", "1ES", "1 Esd"},
    {"2Esd", "2ES", "2 Esd"},
    {"Tob", "TOB", "Tob"},
    {"Jdt", "JDT", "Jdt"},
    {"AddEsth", "ESG", "AdEst"},
    {"Wis", "WIS", "Wis"},
    {"Sir", "SIR", "Sir"},
    {"Bar", "BAR", "Bar"},
    {"PrAzar", "S3Y", "Azar"},
    {"Sus", "SUS", "Sus"},
    {"Bel", "BEL", "Bel"},
    {"PrMan", "MAN", "Man"},
    {"1Macc", "1MA", "1 Mac"},
    {"2Macc", "2MA", "2 Mac"},
    // Further books of Greek and Slavonic Bibles.
    {"EpJer", "LJE", "EpJer"},
    {"3Macc", "3MA", "3 Mac"},
    {"4Macc", "4MA", "4 Mac"},
    {"AddPs", "PS2", "Ps151"},
}};

// Longer than any reference a program sends; a longer text is not read at all.
constexpr std::size_t kMaxReferenceLength = 256;

constexpr int kMaxChapter = 255;
constexpr int kMaxVerse = 32767;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// A decimal number of one or more digits; values past `limit` read as
// limit + 1, so that "too large" is told apart from "not a number".
std::optional<int> Number(std::string_view text, int limit) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) value = limit + 1;
  }
  return value;
}

// A work prefix: "KJV", "Bible.KJV", "Bible.en.KJV.1769".
bool IsWorkPrefix(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsAlnum(c) && c != '.' && c != '_' && c != '-') return false;
  }
  return true;
}

// Splits "a.b.c" at its dots into at most three parts; false for more, or
// for an empty part.
bool SplitDots(std::string_view text, std::array<std::string_view, 3>& parts, int& count) {
  count = 0;
  while (true) {
    if (count == 3) return false;
    const std::size_t dot = text.find('.');
    parts[static_cast<std::size_t>(count++)] = text.substr(0, dot);
    if (parts[static_cast<std::size_t>(count - 1)].empty()) return false;
    if (dot == std::string_view::npos) return true;
    text.remove_prefix(dot + 1);
  }
}

// One osisID with its optional work prefix and grain: "KJV:John.3.16!a".
MappedReference MapOsisId(std::string_view text) {
  MappedReference result;
  result.status = ReferenceStatus::kMalformed;
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    if (!IsWorkPrefix(text.substr(0, colon))) return result;
    text.remove_prefix(colon + 1);
  }
  const std::size_t bang = text.find('!');
  if (bang != std::string_view::npos) {
    const std::string_view grain = text.substr(bang + 1);
    if (grain.empty()) return result;
    for (const char c : grain) {
      if (!IsAlnum(c)) return result;
    }
    text = text.substr(0, bang);
  }
  std::array<std::string_view, 3> parts;
  int count = 0;
  if (!SplitDots(text, parts, count)) return result;
  for (const char c : parts[0]) {
    if (!IsAlnum(c)) return result;
  }
  std::optional<int> chapter = 1;
  std::optional<int> verse = 1;
  if (count >= 2) chapter = Number(parts[1], kMaxChapter);
  if (count == 3) verse = Number(parts[2], kMaxVerse);
  if (!chapter || !verse) return result;

  const OsisBook* book = BookByOsisName(parts[0]);
  if (book == nullptr) {
    result.status = ReferenceStatus::kUnknownBook;
    return result;
  }
  if (*chapter > kMaxChapter) {
    result.status = ReferenceStatus::kChapterTooLarge;
    return result;
  }
  // Refused as a request for it is never sent; verse 0 goes on as the
  // viewer's other places take it, the chapter's start.
  if (*chapter == 0) {
    result.status = ReferenceStatus::kChapterZero;
    return result;
  }
  if (*verse > kMaxVerse) {
    result.status = ReferenceStatus::kVerseTooLarge;
    return result;
  }
  result.status = ReferenceStatus::kMapped;
  SetCode(result.location, book->usfm);
  SetName(result.location, book->short_name);
  result.location.chapter = static_cast<std::uint8_t>(*chapter);
  result.location.verse = static_cast<std::int16_t>(*verse);
  return result;
}

// The end of a range: a reference of its own, or the short forms "12" and
// "6.2" that leave out what the start already says.
bool IsRangeEnd(std::string_view text) {
  if (MapOsisId(text).status == ReferenceStatus::kMapped) return true;
  std::array<std::string_view, 3> parts;
  int count = 0;
  if (!SplitDots(text, parts, count) || count > 2) return false;
  for (int i = 0; i < count; ++i) {
    if (!Number(parts[static_cast<std::size_t>(i)], kMaxVerse)) return false;
  }
  return true;
}

}  // namespace

std::span<const OsisBook> OsisBooks() {
  return kBooks;
}

const OsisBook* BookByOsisName(std::string_view name) {
  for (const OsisBook& book : kBooks) {
    if (AsciiTextRules().EqualIgnoringCase(book.osis, name)) return &book;
  }
  return nullptr;
}

const OsisBook* BookByUsfmCode(std::string_view code) {
  for (const OsisBook& book : kBooks) {
    if (AsciiTextRules().EqualIgnoringCase(book.usfm, code)) return &book;
  }
  return nullptr;
}

std::string_view StatusText(ReferenceStatus status) {
  switch (status) {
    case ReferenceStatus::kMapped:
      return "mapped";
    case ReferenceStatus::kEmpty:
      return "empty reference";
    case ReferenceStatus::kMalformed:
      return "not an OSIS reference";
    case ReferenceStatus::kList:
      return "verse list";
    case ReferenceStatus::kUnknownBook:
      return "unknown book";
    case ReferenceStatus::kChapterTooLarge:
      return "chapter over 255";
    case ReferenceStatus::kChapterZero:
      return "chapter 0";
    case ReferenceStatus::kVerseTooLarge:
      return "verse over 32767";
  }
  return "?";
}

MappedReference MapOsisReference(std::string_view reference) {
  MappedReference result;
  reference = TrimBlanks(reference);
  if (reference.empty()) return result;
  result.status = ReferenceStatus::kMalformed;
  if (reference.size() > kMaxReferenceLength) return result;
  // Lists are "a b" in OSIS and "a,b" or "a;b" in common citation.
  for (const char c : reference) {
    if (c == ',' || c == ';' || IsBlank(c)) {
      result.status = ReferenceStatus::kList;
      return result;
    }
  }
  const std::size_t dash = reference.find('-');
  if (dash == std::string_view::npos) return MapOsisId(reference);
  result = MapOsisId(reference.substr(0, dash));
  if (result.status == ReferenceStatus::kMapped && !IsRangeEnd(reference.substr(dash + 1))) {
    result.status = ReferenceStatus::kMalformed;
    result.location = EmptyLocation();
  }
  return result;
}

std::string OsisReference(const OsisBook& book, int chapter, int verse) {
  return std::string(book.osis) + "." + std::to_string(chapter) + "." + std::to_string(verse);
}

std::optional<SyncRequest> RequestToReference(std::string_view request) {
  if (request.size() < 4) return std::nullopt;
  const OsisBook* book = BookByUsfmCode(request.substr(0, 3));
  if (book == nullptr) return std::nullopt;
  const std::string_view numbers = request.substr(3);
  const std::size_t colon = numbers.find(':');
  const std::optional<int> chapter = Number(numbers.substr(0, colon), kMaxChapter);
  if (!chapter || *chapter == 0 || *chapter > kMaxChapter) return std::nullopt;

  SyncRequest result{std::string(book->osis) + "." + std::to_string(*chapter), EmptyLocation()};
  // A whole chapter is shown at its first verse, as one received is.
  int verse = 1;
  if (colon != std::string_view::npos) {
    const std::optional<int> asked = Number(numbers.substr(colon + 1), kMaxVerse);
    if (!asked || *asked > kMaxVerse) return std::nullopt;
    verse = *asked;
    result.reference = OsisReference(*book, *chapter, verse);
  }
  SetCode(result.location, book->usfm);
  SetName(result.location, book->short_name);
  result.location.chapter = static_cast<std::uint8_t>(*chapter);
  result.location.verse = static_cast<std::int16_t>(verse);
  return result;
}

}  // namespace vellum::host
