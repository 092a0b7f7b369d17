// Shared by the fuzz targets: reading an input as a small script of fields,
// and stopping loudly when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vellum::fuzz {

// The ini format's trimming, written again from its rules (every byte below
// 33 at either end) so that the reference readers do not borrow the code
// they check.
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) < 33)
    text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 33)
    text.remove_suffix(1);
  return text;
}

// A broken invariant is a finding like a crash: libFuzzer keeps the input
// that led here, and the message says which check it was.
[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}

// Faults found and reported but not fixed yet would be found again within
// seconds and hide everything else; the harnesses step around them unless
// VELLUM_FUZZ_KNOWN_BUGS=1 is set, which is how the reproducers kept in
// tests/fuzz/crashes/ are replayed.
inline bool KnownBugsAllowed() {
  static const bool allowed = [] {
    const char* value = std::getenv("VELLUM_FUZZ_KNOWN_BUGS");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
  }();
  return allowed;
}

// Reads fields from the front of the input. Running out of bytes is not an
// error: every later read gives zero or empty text, so any input has a
// meaning and short inputs are short scripts.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return rest_.empty(); }
  std::size_t Remaining() const { return rest_.size(); }

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }

  std::uint16_t U16() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }

  std::uint32_t U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
  }

  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

  // Up to `count` bytes, fewer when the input ends first.
  std::string Bytes(std::size_t count) {
    const std::string_view taken = rest_.substr(0, count);
    rest_.remove_prefix(taken.size());
    return std::string(taken);
  }

  // A length byte, then that many bytes.
  std::string Text() { return Bytes(Byte()); }

  // A 16-bit length, then that many bytes.
  std::string LongText() { return Bytes(U16()); }

  // Everything not read yet.
  std::string Rest() { return Bytes(rest_.size()); }

 private:
  std::string_view rest_;
};

}  // namespace vellum::fuzz

#define VELLUM_FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::vellum::fuzz::Fail(#condition, __FILE__, __LINE__))
