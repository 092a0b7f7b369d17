#include "platform/wide_text_win.h"

#include <windows.h>

namespace vellum {
namespace {

std::string FromWide(UINT code_page, std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(code_page, 0, text.data(), length, result.data(), size, nullptr,
                          nullptr) != size)
    return {};
  return result;
}

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  if (MultiByteToWideChar(code_page, 0, text.data(), length, result.data(), size) != size)
    return {};
  return result;
}

}  // namespace

std::string WideToAnsi(std::wstring_view text) {
  return FromWide(CP_ACP, text);
}

std::wstring AnsiToWide(std::string_view text) {
  return ToWide(CP_ACP, text);
}

std::string WideToUtf8(std::wstring_view text) {
  return FromWide(CP_UTF8, text);
}

std::wstring Utf8ToWide(std::string_view text) {
  return ToWide(CP_UTF8, text);
}

std::wstring DisplayTextToWide(std::string_view text) {
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0);
  return size > 0 || text.empty() ? Utf8ToWide(text) : AnsiToWide(text);
}

}  // namespace vellum
