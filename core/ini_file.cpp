#include "core/ini_file.h"

#include <optional>

namespace vellum {
namespace {

struct RawLine {
  std::string text;
  std::string eol;  // "\r\n", "\n", "\r" or "" for a last line without one
};

std::vector<RawLine> SplitLines(std::string_view content) {
  std::vector<RawLine> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back({std::string(content.substr(start)), ""});
      break;
    }
    std::size_t eol_length =
        (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') ? 2 : 1;
    lines.push_back({std::string(content.substr(start, end - start)),
                     std::string(content.substr(end, eol_length))});
    start = end + eol_length;
  }
  return lines;
}

bool IsComment(std::string_view trimmed) {
  return !trimmed.empty() && trimmed.front() == ';';
}

// The trimmed name of a section line, or nullopt for any other line.
std::optional<std::string_view> SectionNameOf(std::string_view trimmed) {
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
    return TrimControls(trimmed.substr(1, trimmed.size() - 2));
  }
  return std::nullopt;
}

std::string StoredLine(std::string_view trimmed) {
  const std::size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos) return std::string(trimmed);
  std::string line(TrimControls(trimmed.substr(0, eq)));
  line += '=';
  line += TrimControls(trimmed.substr(eq + 1));
  return line;
}

}  // namespace

std::string_view KeyOfLine(std::string_view line) {
  const std::size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view{} : line.substr(0, eq);
}

std::string_view ValueOfLine(std::string_view line) {
  const std::size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1);
}

bool HasKey(std::string_view line) {
  return line.find('=') != std::string_view::npos;
}

IniFile IniFile::Parse(std::string_view content, const TextRules& rules) {
  IniFile file;
  file.rules_ = &rules;
  Section* current = nullptr;
  for (const RawLine& raw : SplitLines(content)) {
    const std::string_view trimmed = TrimControls(raw.text);
    if (trimmed.empty() || IsComment(trimmed)) continue;
    if (auto name = SectionNameOf(trimmed)) {
      file.sections_.push_back({rules.Upper(*name), {}});
      current = &file.sections_.back();
    } else if (current != nullptr) {
      current->lines.push_back(StoredLine(trimmed));
    }
  }
  return file;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const std::string upper = rules_->Upper(name);
  for (auto it = sections_.rbegin(); it != sections_.rend(); ++it) {
    if (it->upper_name == upper) return &*it;
  }
  return nullptr;
}

const std::vector<std::string>& IniFile::SectionLines(std::string_view section) const {
  static const std::vector<std::string> kNone;
  const Section* found = FindSection(section);
  return found ? found->lines : kNone;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::string(fallback);
  const std::string upper_key = rules_->Upper(key);
  for (auto it = found->lines.rbegin(); it != found->lines.rend(); ++it) {
    if (HasKey(*it) && rules_->Upper(KeyOfLine(*it)) == upper_key) {
      return std::string(ValueOfLine(*it));
    }
  }
  return std::string(fallback);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  const std::string value = ReadString(section, key, "");
  return ParseInt32(value).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

namespace {

void ApplyOne(std::vector<RawLine>& lines, const IniUpdate& update, const std::string& eol,
              const TextRules& rules) {
  const std::string upper_section = rules.Upper(update.section);
  const std::string upper_key = rules.Upper(update.key);
  const std::string new_line = update.key + "=" + update.value;

  // Locate the last occurrence of the section: [header, end).
  std::optional<std::size_t> header;
  std::size_t end = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionNameOf(TrimControls(lines[i].text))) {
      if (header && end == lines.size() && i > *header) end = i;
      if (rules.Upper(*name) == upper_section) {
        header = i;
        end = lines.size();
      }
    }
  }

  if (!header) {
    if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
    lines.push_back({"[" + update.section + "]", eol});
    lines.push_back({new_line, eol});
    return;
  }

  std::optional<std::size_t> key_line;
  std::size_t insert_at = *header + 1;
  for (std::size_t i = *header + 1; i < end; ++i) {
    const std::string_view trimmed = TrimControls(lines[i].text);
    if (trimmed.empty()) continue;
    insert_at = i + 1;
    if (!IsComment(trimmed) && HasKey(trimmed) &&
        rules.Upper(TrimControls(KeyOfLine(trimmed))) == upper_key) {
      key_line = i;
    }
  }
  if (key_line) {
    lines[*key_line].text = new_line;
    return;
  }
  if (lines[insert_at - 1].eol.empty()) lines[insert_at - 1].eol = eol;
  // A lone CR in front of an empty LF line would read back as one CRLF and
  // swallow that line: the new line then ends in CRLF.
  std::string line_eol = eol;
  if (line_eol == "\r" && insert_at < lines.size() && lines[insert_at].text.empty() &&
      !lines[insert_at].eol.empty() && lines[insert_at].eol.front() == '\n')
    line_eol = "\r\n";
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), RawLine{new_line, line_eol});
}

}  // namespace

std::string ApplyIniUpdates(std::string_view content, const std::vector<IniUpdate>& updates,
                            std::string_view new_file_eol, const TextRules& rules) {
  std::vector<RawLine> lines = SplitLines(content);
  std::string eol(new_file_eol);
  for (const RawLine& line : lines) {
    if (!line.eol.empty()) {
      eol = line.eol;
      break;
    }
  }
  for (const IniUpdate& update : updates)
    ApplyOne(lines, update, eol, rules);

  std::string result;
  result.reserve(content.size() + 64);
  for (const RawLine& line : lines) {
    result += line.text;
    result += line.eol;
  }
  return result;
}

}  // namespace vellum
