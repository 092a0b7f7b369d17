// The two sets of text rules the fuzz targets run with: the locale-free
// stand-in and the running system's locale rules that the Linux viewer uses.
#pragma once

#include <clocale>

#include "core/text.h"
#include "platform/platform.h"

namespace vellum::fuzz {

// The system's rules need a locale that knows characters beyond ASCII; a
// fixed one keeps every run reproducible whatever the caller's environment.
inline void UseFixedLocale() {
  std::setlocale(LC_ALL, "C.UTF-8");
}

inline const TextRules& PickRules(bool system) {
  static const AsciiTextRules ascii;
  static const LocaleTextRules locale;
  if (system) return locale;
  return ascii;
}

inline std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

inline std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace vellum::fuzz
