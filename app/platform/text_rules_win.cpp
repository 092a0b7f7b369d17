#include <windows.h>

#include "app/platform/platform.h"

namespace vellum {

std::string LocaleTextRules::Upper(std::string_view text) const {
  std::string upper(text);
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

int LocaleTextRules::CompareIgnoringCase(std::string_view a, std::string_view b) const {
  const int order =
      CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                     b.data(), static_cast<int>(b.size()));
  if (order == 0) return AsciiTextRules().CompareIgnoringCase(a, b);  // call failed
  return order - CSTR_EQUAL;
}

}  // namespace vellum
