// The ini reader and writer on arbitrary file bytes. Every getter is checked
// against a small reader written here from the format's rules (trimmed
// lines, ";" comments, the last section and the last key win, case ignored),
// integers against an independent parser, and the writer by a round trip:
// what it wrote reads back, and every other line stays byte for byte.
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/ini_file.h"
#include "core/text.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/kept_lines.h"
#include "tests/fuzz/text_rules.h"

namespace {

using vellum::fuzz::Trim;

using namespace vellum;
using vellum::fuzz::TextLine;

// The format as documented, read the plain way: section -> stored lines.
struct ReferenceIni {
  std::vector<std::pair<std::string, std::vector<std::string>>> sections;  // upper name

  ReferenceIni(std::string_view content, const TextRules& rules) {
    std::vector<std::string>* current = nullptr;
    for (const TextLine& raw : vellum::fuzz::SplitTextLines(content)) {
      const std::string_view line = Trim(raw.text);
      if (line.empty() || line.front() == ';') continue;
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        sections.emplace_back(rules.Upper(Trim(line.substr(1, line.size() - 2))),
                              std::vector<std::string>{});
        current = &sections.back().second;
        continue;
      }
      if (current == nullptr) continue;
      const std::size_t eq = line.find('=');
      if (eq == std::string_view::npos) {
        current->emplace_back(line);
      } else {
        current->push_back(std::string(Trim(line.substr(0, eq))) + "=" +
                           std::string(Trim(line.substr(eq + 1))));
      }
    }
  }

  std::vector<std::string> Lines(std::string_view section, const TextRules& rules) const {
    const std::string upper = rules.Upper(section);
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
      if (it->first == upper) return it->second;
    }
    return {};
  }

  std::optional<std::string> Value(std::string_view section, std::string_view key,
                                   const TextRules& rules) const {
    const std::vector<std::string> lines = Lines(section, rules);
    const std::string upper = rules.Upper(key);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      const std::size_t eq = it->find('=');
      if (eq != std::string::npos && rules.Upper(std::string_view(*it).substr(0, eq)) == upper) {
        return it->substr(eq + 1);
      }
    }
    return std::nullopt;
  }
};

// Integers as documented: blanks, a sign, then decimal digits, or hex digits
// after "$", "x", "X", "0x" or "0X"; decimal must fit, hex is a 32-bit pattern.
std::optional<std::int32_t> ReferenceInt32(std::string_view text) {
  while (text.starts_with(' '))
    text.remove_prefix(1);
  bool negative = false;
  if (text.starts_with('-') || text.starts_with('+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    unsigned digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    if (digit >= base) return std::nullopt;
    value = std::min<std::uint64_t>(value * base + digit, std::uint64_t{1} << 40);
  }
  if (base == 16) {
    if (value > 0xFFFFFFFFu) return std::nullopt;
    const auto pattern = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
  }
  if (negative) {
    if (value > 0x80000000u) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  if (value > 0x7FFFFFFFu) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

void CheckNumbers(const std::string& probe, std::int32_t n) {
  VELLUM_FUZZ_CHECK(ParseInt32(probe) == ReferenceInt32(probe));
  VELLUM_FUZZ_CHECK(ParseInt32(std::to_string(n)) == n);
  char hex[16];
  std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(n));
  VELLUM_FUZZ_CHECK(ParseInt32(hex) == n);
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(n));
  VELLUM_FUZZ_CHECK(ParseInt32(hex) == n);
}

void CheckStoredLine(const std::string& line) {
  VELLUM_FUZZ_CHECK(!line.empty() && line.front() != ';');
  VELLUM_FUZZ_CHECK(static_cast<unsigned char>(line.front()) >= 33);
  VELLUM_FUZZ_CHECK(static_cast<unsigned char>(line.back()) >= 33);
  VELLUM_FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
  if (!HasKey(line)) return;
  const std::string_view key = KeyOfLine(line);
  const std::string_view value = ValueOfLine(line);
  VELLUM_FUZZ_CHECK(key.size() + 1 + value.size() == line.size());
  VELLUM_FUZZ_CHECK(key.find('=') == std::string_view::npos);
  VELLUM_FUZZ_CHECK(Trim(key) == key && Trim(value) == value);
}

void CheckGetters(const IniFile& file, const ReferenceIni& reference, const std::string& section,
                  const std::vector<std::string>& extra_keys, const TextRules& rules) {
  const std::vector<std::string>& lines = file.SectionLines(section);
  VELLUM_FUZZ_CHECK(lines == reference.Lines(section, rules));

  std::vector<std::string> keys = extra_keys;
  for (const std::string& line : lines) {
    CheckStoredLine(line);
    if (HasKey(line)) keys.emplace_back(KeyOfLine(line));
  }
  for (const std::string& key : keys) {
    const std::optional<std::string> value = reference.Value(section, key, rules);
    VELLUM_FUZZ_CHECK(file.ReadString(section, key, "\x01") == value.value_or("\x01"));
    VELLUM_FUZZ_CHECK(file.ReadString(section, key, "") == value.value_or(""));
    // Names match ignoring case.
    VELLUM_FUZZ_CHECK(file.ReadString(vellum::fuzz::AsciiLower(section),
                                      vellum::fuzz::AsciiUpper(key),
                                      "\x01") == value.value_or("\x01"));

    const std::optional<std::int32_t> number = ReferenceInt32(value.value_or(""));
    VELLUM_FUZZ_CHECK(file.ReadInteger(section, key, 100) == number.value_or(100));
    VELLUM_FUZZ_CHECK(file.ReadInteger(section, key, -7) == number.value_or(-7));
    VELLUM_FUZZ_CHECK(file.ReadBool(section, key, true) == (number.value_or(1) != 0));
    VELLUM_FUZZ_CHECK(file.ReadBool(section, key, false) == (number.value_or(0) != 0));
  }
}

// Section and key names as a writer is given them: one line each, trimmed,
// and a key that cannot be read as a comment, a section or two keys.
std::string OneLine(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return std::string(Trim(text));
}

std::string KeyName(std::string text) {
  std::erase(text, '=');
  text = OneLine(std::move(text));
  if (!text.empty() && (text.front() == ';' || text.front() == '[')) text.insert(0, "k");
  return text;
}

void CheckWriter(const std::string& content, const std::vector<IniUpdate>& updates,
                 const TextRules& rules) {
  const std::string written = ApplyIniUpdates(content, updates, "\r\n", rules);
  const IniFile file = IniFile::Parse(written, rules);
  // The last write of each section and key is what reads back.
  std::map<std::pair<std::string, std::string>, std::string> expected;
  for (const IniUpdate& u : updates)
    expected[{rules.Upper(u.section), rules.Upper(u.key)}] = u.value;
  for (const IniUpdate& u : updates) {
    VELLUM_FUZZ_CHECK(file.ReadString(u.section, u.key, "\x01") ==
                      expected.at({rules.Upper(u.section), rules.Upper(u.key)}));
  }

  vellum::fuzz::LineEdits edits;
  edits.max_added = 2 * updates.size();
  edits.may_add = [&](const std::string& line) {
    for (const IniUpdate& u : updates) {
      if (line == u.key + "=" + u.value || line == "[" + u.section + "]") return true;
    }
    return false;
  };
  edits.may_replace = [&](const std::string& before, const std::string& after) {
    const std::string_view old_line = Trim(before);
    if (old_line.starts_with(';') || !HasKey(old_line)) return false;
    for (const IniUpdate& u : updates) {
      if (after == u.key + "=" + u.value &&
          rules.Upper(Trim(KeyOfLine(old_line))) == rules.Upper(u.key)) {
        return true;
      }
    }
    return false;
  };
  VELLUM_FUZZ_CHECK(vellum::fuzz::KeepsOtherLines(content, written, edits));
}

std::string OneLineEndings(const std::string& content) {
  std::string out;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
    out.push_back(content[i] == '\r' ? '\n' : content[i]);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vellum::fuzz::UseFixedLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vellum::fuzz::ByteReader input(data, size);
  const TextRules& rules = vellum::fuzz::PickRules(input.Byte() & 1);

  std::vector<std::string> names;
  for (int n = input.Byte() % 5; n > 0; --n)
    names.push_back(input.Text());
  std::vector<IniUpdate> updates;
  for (int n = input.Byte() % 4; n > 0; --n) {
    IniUpdate update;
    update.section = OneLine(input.Text());
    update.key = KeyName(input.Text());
    update.value = OneLine(input.Text());
    updates.push_back(std::move(update));
  }
  const std::string probe = input.Text();
  const std::int32_t number = input.I32();
  const std::string content = input.Rest();

  CheckNumbers(probe, number);

  const IniFile file = IniFile::Parse(content, rules);
  const ReferenceIni reference(content, rules);
  // Line endings of any kind read alike.
  const std::string unix_content = OneLineEndings(content);
  const IniFile unix_file = IniFile::Parse(unix_content, rules);

  std::vector<std::string> sections = {"Form1", "Misc", "INFO", "Bookfiles", "BKA"};
  sections.insert(sections.end(), names.begin(), names.end());
  for (const auto& [upper, lines] : reference.sections)
    sections.push_back(upper);
  for (const std::string& section : sections) {
    CheckGetters(file, reference, section, names, rules);
    VELLUM_FUZZ_CHECK(unix_file.SectionLines(section) == file.SectionLines(section));
  }

  CheckWriter(content, updates, rules);
  return 0;
}
