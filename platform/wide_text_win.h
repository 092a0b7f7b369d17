// Text between UTF-16, which the -W calls take, and the two byte encodings
// the program keeps: UTF-8 for paths and messages, the ANSI code page where
// a format is defined in bytes (the host record, ini files, requests).
// Unconvertible input gives an empty result.
#pragma once

#include <string>
#include <string_view>

namespace vellum {

std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// Text that may be either: UTF-8 where it is valid UTF-8, else ANSI (a
// library's label joins a folder name, UTF-8, to a ShortName, ANSI).
std::wstring DisplayTextToWide(std::string_view text);

}  // namespace vellum
