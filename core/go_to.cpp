#include "core/go_to.h"

#include <algorithm>

#include "core/english_books.h"
#include "core/ini_file.h"

namespace vellum {
namespace {

constexpr int kMaxChapter = 255;
// Anchors hold three digits of verse.
constexpr int kMaxGoToVerse = 999;
constexpr int kMaxRequestVerse = 32767;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsNumberSeparator(char c) {
  return c == ' ' || c == '\t' || c == ':' || c == '.' || c == ',' || c == '-';
}

// The base letter of a Latin letter with an accent, in lower case: U+00C0
// to U+017F. "." keeps the character (lowered, where it has a lower case).
constexpr std::u32string_view kLatinBases =
    U"aaaaaa.ceeeeiiiidnooooo.ouuuuy.."             // U+00C0
    U"aaaaaa.ceeeeiiiidnooooo.ouuuuy.y"             // U+00E0
    U"aaaaaaccccccccddddeeeeeeeeeegggg"             // U+0100
    U"gggghhhhiiiiiiiiii..jjkk.llllll."             // U+0120
    U".llnnnnnn...oooooo..rrrrrrssssss"             // U+0140
    U"ssttttttuuuuuuuuuuuuwwyyyzzzzzzs";            // U+0160
static_assert(kLatinBases.size() == 0x180 - 0xC0);  // U+015F

char32_t FoldLetter(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
  if (c >= 0xC0 && c <= 0x17F) {
    const char32_t base = kLatinBases[c - 0xC0];
    if (base != '.') return base;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c >= 0x100 && c % 2 == 0) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// Marks that readers leave out: combining accents, Hebrew points and
// cantillation, apostrophes and the Hebrew geresh.
bool IsLeftOut(char32_t c) {
  return c == ' ' || c == '\t' || c == '.' || c == '\'' || c == 0x2019 || c == 0x2018 ||
         (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x591 && c <= 0x5C7 && c != 0x5BE && c != 0x5C0 && c != 0x5C3 && c != 0x5C6) ||
         c == 0x5F3 || c == 0x5F4;
}

bool StartsWith(std::u32string_view text, std::u32string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Where the numbers at the end of typed text begin: the first digit from
// which on nothing but digits and separators follow; npos when none do.
std::size_t NumbersStart(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsDigit(text[i])) continue;
    if (std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                    [](char c) { return IsDigit(c) || IsNumberSeparator(c); }))
      return i;
  }
  return std::string_view::npos;
}

// A run of digits at text[at], as a number capped past any limit.
std::optional<int> Digits(std::string_view text, std::size_t& at) {
  const std::size_t start = at;
  int value = 0;
  while (at < text.size() && IsDigit(text[at])) {
    value = std::min(value * 10 + (text[at] - '0'), 1'000'000);
    ++at;
  }
  if (at == start) return std::nullopt;
  return value;
}

void SkipBlanks(std::string_view text, std::size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
    ++at;
}

std::string Quoted(std::string_view text) {
  std::string quoted("\xE2\x80\x9C");
  quoted.append(DisplayTextToUtf8(text));
  quoted.append("\xE2\x80\x9D");
  return quoted;
}

// Dashes a reader may type for a range read as "-".
std::string PlainDashes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("\xE2\x80\x93") || rest.starts_with("\xE2\x80\x94")) {
      out.push_back('-');
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

const EnglishBook* EnglishBookOf(std::string_view code) {
  for (const EnglishBook& book : EnglishBooks()) {
    if (AsciiTextRules().EqualIgnoringCase(book.code, code)) return &book;
  }
  return nullptr;
}

}  // namespace

std::u32string FoldBookName(std::string_view text) {
  const std::u32string in = DecodeDisplayText(text);
  std::u32string out;
  std::size_t start = 0;
  std::size_t ones = 0;
  while (ones < in.size() && ones < 3 && (in[ones] == 'I' || in[ones] == 'i'))
    ++ones;
  if (ones > 0 && ones < in.size() && in[ones] == ' ') {
    out.push_back(static_cast<char32_t>('0' + ones));
    start = ones + 1;
  }
  for (std::size_t i = start; i < in.size(); ++i) {
    if (!IsLeftOut(in[i])) out.push_back(FoldLetter(in[i]));
  }
  return out;
}

PlaceReader::PlaceReader(const StartupFiles& files, const TextRules& rules)
    : rules_(rules), files_(files) {
  // The library's books in its catalogue's own order.
  const std::vector<std::string>& lines = files.library && *files.library < files.libraries.size()
                                              ? files.libraries[*files.library].book_files
                                              : files.book_files.Lines();
  for (const std::string& line : lines) {
    const std::string code(KeyOfLine(line));
    if (!HasKey(line) || code.empty() || rules.EqualIgnoringCase(code, kIndexCode)) continue;
    if (std::none_of(library_codes_.begin(), library_codes_.end(),
                     [&](const std::string& c) { return rules.EqualIgnoringCase(c, code); }))
      library_codes_.push_back(code);
  }
  for (const std::string& code : library_codes_) {
    Add(code, code);
    Add(files.book_names.Lookup(code), code);
    Add(files.book_titles.Lookup(code), code);
    for (const auto& [spelling, spelled] : files.book_spellings) {
      if (rules.EqualIgnoringCase(spelled, code)) Add(spelling, code);
    }
  }
  // Names the library gives books it does not hold, then the English ones.
  for (const std::string& line : files.book_names.Lines()) {
    if (HasKey(line)) Add(ValueOfLine(line), KeyOfLine(line));
  }
  for (const EnglishBook& book : EnglishBooks()) {
    std::string code(book.code);
    for (const std::string& own : library_codes_) {
      if (rules.EqualIgnoringCase(own, code)) code = own;
    }
    Add(book.code, code);
    Add(book.name, code);
    std::size_t start = 0;
    while (start < book.spellings.size()) {
      const std::size_t end = std::min(book.spellings.find(' ', start), book.spellings.size());
      Add(book.spellings.substr(start, end - start), code);
      start = end + 1;
    }
  }
  const bool any = !library_codes_.empty();
  if (any) {
    for (const std::string& code : library_codes_)
      offered_.push_back(DisplayName(code));
  } else {
    for (const EnglishBook& book : EnglishBooks())
      offered_.emplace_back(book.name);
  }
}

void PlaceReader::Add(std::string_view spelling, std::string_view code) {
  std::u32string folded = FoldBookName(spelling);
  if (folded.empty() || code.empty()) return;
  spellings_.push_back({std::move(folded), std::string(code)});
}

std::string PlaceReader::DisplayName(const std::string& code) const {
  // Shown to the reader, as UTF-8 whatever the library's files hold.
  if (std::string title = files_.book_titles.Lookup(code); !title.empty())
    return DisplayTextToUtf8(title);
  if (const EnglishBook* book = EnglishBookOf(code)) return std::string(book->name);
  if (std::string name = files_.book_names.Lookup(code); !name.empty())
    return DisplayTextToUtf8(name);
  return DisplayTextToUtf8(code);
}

std::vector<std::string> PlaceReader::CodesFor(std::string_view book) const {
  const std::u32string folded = FoldBookName(book);
  std::vector<std::string> codes;
  for (const bool exact : {true, false}) {
    for (const Spelling& spelling : spellings_) {
      const bool match = exact ? spelling.folded == folded : StartsWith(spelling.folded, folded);
      if (!match) continue;
      if (std::none_of(codes.begin(), codes.end(), [&](const std::string& c) {
            return rules_.EqualIgnoringCase(c, spelling.code);
          }))
        codes.push_back(spelling.code);
    }
    if (!codes.empty()) break;
  }
  // Of several, the books the library holds are the ones meant.
  std::vector<std::string> held;
  for (const std::string& code : codes) {
    if (std::any_of(library_codes_.begin(), library_codes_.end(),
                    [&](const std::string& c) { return rules_.EqualIgnoringCase(c, code); }))
      held.push_back(code);
  }
  return held.empty() ? codes : held;
}

GoToResult PlaceReader::Read(std::string_view typed) const {
  const std::string text = PlainDashes(TrimControls(typed));
  if (text.empty()) return {std::nullopt, "Type a place, such as John 3:16."};
  const std::size_t numbers_at = NumbersStart(text);
  std::string_view book = std::string_view(text).substr(0, numbers_at);
  book = TrimControls(book);
  if (FoldBookName(book).empty())
    return {std::nullopt, "Which book? Type its name before the numbers, as in John 3:16."};

  const std::vector<std::string> codes = CodesFor(book);
  if (codes.empty()) return {std::nullopt, "No book is called " + Quoted(book) + "."};
  if (codes.size() > 1) {
    std::string names;
    const std::size_t shown = std::min<std::size_t>(codes.size(), 4);
    for (std::size_t i = 0; i < shown; ++i) {
      if (i > 0) names += i + 1 == shown && codes.size() <= 4 ? " or " : ", ";
      names += DisplayName(codes[i]);
    }
    if (codes.size() > 4) names += " or another";
    return {std::nullopt, Quoted(book) + " could be " + names + ": type more of its name."};
  }

  std::vector<int> numbers;
  if (numbers_at != std::string::npos) {
    std::size_t at = numbers_at;
    numbers.push_back(*Digits(text, at));
    SkipBlanks(text, at);
    if (at < text.size() && (text[at] == ':' || text[at] == '.' || text[at] == ',')) {
      ++at;
      SkipBlanks(text, at);
    }
    if (const std::optional<int> second = Digits(text, at)) numbers.push_back(*second);
    SkipBlanks(text, at);
    // A range ("3:16-18") is shown at its start.
    if (at < text.size() && text[at] == '-') at = text.size();
    if (at != text.size())
      return {std::nullopt, "After the book, type a chapter and a verse, as in " +
                                DisplayName(codes[0]) + " 3:16."};
  }
  const EnglishBook* english = EnglishBookOf(codes[0]);
  if (numbers.size() == 1 && english != nullptr && english->one_chapter)
    numbers.insert(numbers.begin(), 1);  // "Jude 5": its one chapter, verse 5
  const int chapter = numbers.empty() ? 1 : numbers[0];
  const int verse = numbers.size() < 2 ? 1 : numbers[1];
  if (chapter == 0) return {std::nullopt, "There is no chapter 0: chapters start at 1."};
  if (chapter > kMaxChapter)
    return {std::nullopt, "Chapter " + std::to_string(chapter) + " is past the last one a place " +
                              "can name (" + std::to_string(kMaxChapter) + ")."};
  if (verse > kMaxGoToVerse)
    return {std::nullopt, "Verse " + std::to_string(verse) + " is past the last one a page can " +
                              "mark (" + std::to_string(kMaxGoToVerse) + ")."};

  TbcvRec location = EmptyLocation();
  SetCode(location, codes[0]);
  location.chapter = static_cast<std::uint8_t>(chapter);
  location.verse = static_cast<std::int16_t>(verse);
  return {location, {}};
}

bool PlaceReader::Completes(std::string_view typed, std::string_view name) {
  if (NumbersStart(typed) != std::string_view::npos) return false;
  const std::u32string book = FoldBookName(typed);
  return !book.empty() && StartsWith(FoldBookName(name), book);
}

std::optional<std::string> PlaceReader::CompleteInline(std::string_view typed) const {
  const std::u32string wanted = FoldBookName(typed);
  if (wanted.empty() || NumbersStart(typed) != std::string_view::npos) return std::nullopt;
  for (const std::string& name : offered_) {
    // Walk the name's characters as they fold until the typed ones are used
    // up: what follows is the completion, in the name's own spelling.
    const std::u32string characters = DecodeDisplayText(name);
    std::size_t matched = 0;
    std::size_t i = 0;
    for (; i < characters.size() && matched < wanted.size(); ++i) {
      if (IsLeftOut(characters[i])) continue;
      if (FoldLetter(characters[i]) != wanted[matched]) break;
      ++matched;
    }
    if (matched == wanted.size() && i < characters.size())
      return std::string(typed) + EncodeUtf8(std::u32string_view(characters).substr(i));
  }
  return std::nullopt;
}

std::optional<TbcvRec> PlaceOfRequest(std::string_view request, const StartupFiles& files,
                                      const TextRules& rules) {
  std::size_t code_length = 0;
  for (std::size_t length = std::min<std::size_t>(3, request.size()); length > 0; --length) {
    if (length >= request.size() || !IsDigit(request[length])) continue;
    const std::string_view code = request.substr(0, length);
    if (!files.book_files.Lookup(code).empty() || !files.book_names.Lookup(code).empty()) {
      code_length = length;
      break;
    }
  }
  const auto alnum = [](char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  if (code_length == 0 && request.size() > 3 && IsDigit(request[3]) &&
      std::all_of(request.begin(), request.begin() + 3, alnum))
    code_length = 3;
  if (code_length == 0) return std::nullopt;
  static_cast<void>(rules);

  std::size_t at = code_length;
  const std::optional<int> chapter = Digits(request, at);
  if (!chapter || *chapter > kMaxChapter) return std::nullopt;
  int verse = 1;
  if (at < request.size()) {
    if (request[at] != ':') return std::nullopt;
    ++at;
    const bool negative = at < request.size() && request[at] == '-';
    if (negative) ++at;
    const std::optional<int> number = Digits(request, at);
    if (!number || at != request.size() || *number > kMaxRequestVerse + (negative ? 1 : 0))
      return std::nullopt;
    verse = negative ? -*number : *number;
  }
  TbcvRec location = EmptyLocation();
  SetCode(location, request.substr(0, code_length));
  location.chapter = static_cast<std::uint8_t>(*chapter);
  location.verse = static_cast<std::int16_t>(verse);
  return location;
}

}  // namespace vellum
