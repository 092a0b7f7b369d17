// vellum-sanitize-filter: the import's sanitizer as a filter, for the tests
// that check its output with a real HTML parser. Reads records from standard
// input (a 4-byte little-endian length, then that many bytes of module
// markup) and writes each sanitized the same way, until the input ends.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/import/entry_html.h"

namespace {

bool ReadLength(std::uint32_t& length) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, stdin) != 4) return false;
  length =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return true;
}

bool WriteRecord(const std::string& text) {
  const auto length = static_cast<std::uint32_t>(text.size());
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(length & 0xFF), static_cast<unsigned char>((length >> 8) & 0xFF),
      static_cast<unsigned char>((length >> 16) & 0xFF), static_cast<unsigned char>(length >> 24)};
  return std::fwrite(bytes, 1, 4, stdout) == 4 &&
         std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main() {
  std::uint32_t length = 0;
  while (ReadLength(length)) {
    if (length > (1u << 24)) return 1;
    std::string input(length, '\0');
    if (std::fread(input.data(), 1, length, stdin) != length) return 1;
    if (!WriteRecord(vellum::import::SanitizeEntryHtml(input))) return 1;
  }
  return 0;
}
