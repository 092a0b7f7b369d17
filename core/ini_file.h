// Reading and updating ini files: the catalogue "index.ini", the book names
// "books.ini" and the settings file "Vellum.ini" are all read the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace vellum {

// An ini file read whole into memory. Lines are trimmed of codes below 33;
// empty lines and ";" comments are dropped; key lines are stored as
// key=value with the blanks around "=" removed. Section names and keys match
// ignoring case; of a section named twice only its last occurrence is found,
// and of a key given twice its last occurrence.
class IniFile {
 public:
  IniFile() = default;
  static IniFile Parse(std::string_view content, const TextRules& rules = DefaultTextRules());

  // Every stored line of the section, in file order; empty when absent.
  const std::vector<std::string>& SectionLines(std::string_view section) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Integer rules of ParseInt32; empty, missing or malformed gives fallback.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // An integer whose default is 1 or 0; any non-zero integer is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

 private:
  struct Section {
    std::string upper_name;
    std::vector<std::string> lines;
  };
  const Section* FindSection(std::string_view name) const;

  const TextRules* rules_ = &DefaultTextRules();
  std::vector<Section> sections_;
};

// The key of a stored key=value line ("" when the line has no "=").
std::string_view KeyOfLine(std::string_view line);
std::string_view ValueOfLine(std::string_view line);
bool HasKey(std::string_view line);

struct IniUpdate {
  std::string section;
  std::string key;
  std::string value;
};

// Writes each key as one line key=value into the text of an ini file: a key
// that exists in its section is replaced in place, a missing key goes at the
// end of its section, a missing section at the end of the file. Every other
// line is kept byte for byte, with its own line ending. Writes go to the last
// occurrence of a section and of a key, the ones that reading finds. New lines
// take the file's line ending, or `new_file_eol` when the file has none.
std::string ApplyIniUpdates(std::string_view content, const std::vector<IniUpdate>& updates,
                            std::string_view new_file_eol,
                            const TextRules& rules = DefaultTextRules());

}  // namespace vellum
