#include "tools/import/references.h"

#include <array>
#include <charconv>

#include "core/text.h"

namespace vellum::import {
namespace {

const std::vector<BookCode> kBooks = {
    {"Gen", "GEN", "Gen"},      {"Exod", "EXO", "Exod"},   {"Lev", "LEV", "Lev"},
    {"Num", "NUM", "Num"},      {"Deut", "DEU", "Deut"},   {"Josh", "JOS", "Josh"},
    {"Judg", "JDG", "Judg"},    {"Ruth", "RUT", "Ruth"},   {"1Sam", "1SA", "1Sam"},
    {"2Sam", "2SA", "2Sam"},    {"1Kgs", "1KI", "1Kgs"},   {"2Kgs", "2KI", "2Kgs"},
    {"1Chr", "1CH", "1Chr"},    {"2Chr", "2CH", "2Chr"},   {"Ezra", "EZR", "Ezra"},
    {"Neh", "NEH", "Neh"},      {"Esth", "EST", "Esth"},   {"Job", "JOB", "Job"},
    {"Ps", "PSA", "Ps"},        {"Prov", "PRO", "Prov"},   {"Eccl", "ECC", "Eccl"},
    {"Song", "SNG", "Song"},    {"Isa", "ISA", "Isa"},     {"Jer", "JER", "Jer"},
    {"Lam", "LAM", "Lam"},      {"Ezek", "EZK", "Ezek"},   {"Dan", "DAN", "Dan"},
    {"Hos", "HOS", "Hos"},      {"Joel", "JOL", "Joel"},   {"Amos", "AMO", "Amos"},
    {"Obad", "OBA", "Obad"},    {"Jonah", "JON", "Jonah"}, {"Mic", "MIC", "Mic"},
    {"Nah", "NAM", "Nah"},      {"Hab", "HAB", "Hab"},     {"Zeph", "ZEP", "Zeph"},
    {"Hag", "HAG", "Hag"},      {"Zech", "ZEC", "Zech"},   {"Mal", "MAL", "Mal"},
    {"Matt", "MAT", "Matt"},    {"Mark", "MRK", "Mark"},   {"Luke", "LUK", "Luke"},
    {"John", "JHN", "John"},    {"Acts", "ACT", "Acts"},   {"Rom", "ROM", "Rom"},
    {"1Cor", "1CO", "1Cor"},    {"2Cor", "2CO", "2Cor"},   {"Gal", "GAL", "Gal"},
    {"Eph", "EPH", "Eph"},      {"Phil", "PHP", "Phil"},   {"Col", "COL", "Col"},
    {"1Thess", "1TH", "1Th"},   {"2Thess", "2TH", "2Th"},  {"1Tim", "1TI", "1Tim"},
    {"2Tim", "2TI", "2Tim"},    {"Titus", "TIT", "Titus"}, {"Phlm", "PHM", "Phlm"},
    {"Heb", "HEB", "Heb"},      {"Jas", "JAS", "Jas"},     {"1Pet", "1PE", "1Pet"},
    {"2Pet", "2PE", "2Pet"},    {"1John", "1JN", "1John"}, {"2John", "2JN", "2John"},
    {"3John", "3JN", "3John"},  {"Jude", "JUD", "Jude"},   {"Rev", "REV", "Rev"},
    {"Tob", "TOB", "Tob"},      {"Jdt", "JDT", "Jdt"},     {"EsthGr", "ESG", "EsGr"},
    {"AddEsth", "ADE", "AdEs"}, {"Wis", "WIS", "Wis"},     {"Sir", "SIR", "Sir"},
    {"Bar", "BAR", "Bar"},      {"EpJer", "LJE", "EpJer"}, {"PrAzar", "S3Y", "PrAz"},
    {"Sus", "SUS", "Sus"},      {"Bel", "BEL", "Bel"},     {"AddDan", "DAG", "DanGr"},
    {"1Macc", "1MA", "1Mac"},   {"2Macc", "2MA", "2Mac"},  {"3Macc", "3MA", "3Mac"},
    {"4Macc", "4MA", "4Mac"},   {"1Esd", "1ES", "1Esd"},   {"2Esd", "2ES", "2Esd"},
    {"PrMan", "MAN", "PrMan"},  {"AddPs", "PS2", "Ps151"}, {"Odes", "ODA", "Odes"},
    {"PssSol", "PSS", "PsSol"}, {"EpLao", "LAO", "Lao"},   {"1En", "ENO", "1En"},
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number of one to three digits; nothing else.
std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > kMaxNumber)
    return std::nullopt;
  return value;
}

// "Book[.chapter[.verse]]" with any "!grain" already cut off.
std::optional<VerseRef> ParseOsisId(std::string_view id) {
  const std::size_t first_dot = id.find('.');
  const BookCode* book = FindOsisBook(id.substr(0, first_dot));
  if (book == nullptr) return std::nullopt;
  VerseRef ref{std::string(book->usfm), 1, 1};
  if (first_dot == std::string_view::npos) return ref;
  const std::string_view rest = id.substr(first_dot + 1);
  const std::size_t second_dot = rest.find('.');
  const std::optional<int> chapter = SmallNumber(rest.substr(0, second_dot));
  if (!chapter) return std::nullopt;
  ref.chapter = *chapter;
  if (second_dot == std::string_view::npos) return ref;
  const std::optional<int> verse = SmallNumber(rest.substr(second_dot + 1));
  if (!verse) return std::nullopt;
  ref.verse = *verse;
  return ref;
}

std::optional<VerseRef> ParseOneReference(std::string_view token) {
  // Only the start of a range counts.
  token = token.substr(0, token.find('-'));
  // A work ("Bible:", "Bible.KJV:") names whose text; the place is the same.
  if (const std::size_t colon = token.find(':'); colon != std::string_view::npos)
    token.remove_prefix(colon + 1);
  // A grain ("!a", "@cp[3]") narrows the place within the verse.
  token = token.substr(0, token.find_first_of("!@"));
  return ParseOsisId(token);
}

}  // namespace

const BookCode* FindOsisBook(std::string_view osis_name) {
  for (const BookCode& book : kBooks) {
    if (book.osis == osis_name) return &book;
  }
  for (const BookCode& book : kBooks) {
    if (AsciiTextRules().EqualIgnoringCase(book.osis, osis_name)) return &book;
  }
  return nullptr;
}

const BookCode* FindUsfmBook(std::string_view usfm) {
  for (const BookCode& book : kBooks) {
    if (book.usfm == usfm) return &book;
  }
  return nullptr;
}

const std::vector<BookCode>& AllBooks() {
  return kBooks;
}

std::string RequestText(const VerseRef& ref) {
  return ref.code + std::to_string(ref.chapter) + ":" + std::to_string(ref.verse);
}

bool IsRequestText(std::string_view text) {
  if (text.size() < 3 || FindUsfmBook(text.substr(0, 3)) == nullptr) return false;
  const std::string_view numbers = text.substr(3);
  const std::size_t colon = numbers.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view chapter = numbers.substr(0, colon);
  const std::string_view verse = numbers.substr(colon + 1);
  for (const std::string_view part : std::array{chapter, verse}) {
    if (part.empty() || part.size() > 3) return false;
    for (const char c : part) {
      if (!IsDigit(c)) return false;
    }
  }
  return true;
}

std::optional<std::vector<VerseRef>> ParseOsisRefList(std::string_view text) {
  std::vector<VerseRef> refs;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    const std::size_t end = text.find_first_of(" \t\r\n", start);
    const std::string_view token =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const std::optional<VerseRef> ref = ParseOneReference(token);
    if (!ref) return std::nullopt;
    refs.push_back(*ref);
    at = end == std::string_view::npos ? text.size() : end;
  }
  if (refs.empty()) return std::nullopt;
  return refs;
}

}  // namespace vellum::import
