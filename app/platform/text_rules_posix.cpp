#include <cwchar>
#include <cwctype>

#include "app/platform/platform.h"

namespace vellum {
namespace {

// Text of files and records is UTF-8 when valid, else Windows-1252; compare
// it as the characters it shows, upper-cased by the locale.
std::wstring UpperWide(std::string_view text) {
  std::wstring wide;
  for (char32_t c : DecodeDisplayText(text)) {
    wide.push_back(static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))));
  }
  return wide;
}

}  // namespace

std::string LocaleTextRules::Upper(std::string_view text) const {
  std::u32string upper;
  for (wchar_t c : UpperWide(text))
    upper.push_back(static_cast<char32_t>(c));
  return EncodeUtf8(upper);
}

int LocaleTextRules::CompareIgnoringCase(std::string_view a, std::string_view b) const {
  const std::wstring ua = UpperWide(a);
  const std::wstring ub = UpperWide(b);
  const int order = std::wcscoll(ua.c_str(), ub.c_str());
  if (order != 0) return order < 0 ? -1 : 1;
  // Equal for the locale but not the same characters: order them stably.
  const int raw = ua.compare(ub);
  return raw < 0 ? -1 : (raw > 0 ? 1 : 0);
}

}  // namespace vellum
